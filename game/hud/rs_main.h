// The rally school's lesson run. So far only the hook the car set-up calls, the line the school
// lines report and the attempts left.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// The attempts left in the lesson; the school lines act only while it is non-zero.
extern int32_t gnSchoolAttempts;

// Keeps player 1's car and control records before a school run (records the call so far).
void School_SavePlayerInfo(void);
// The car crossed school line nLine (records the call so far).
void School_PassLine(int32_t nLine);

// Reads the school's lines (".rsf"); FALSE when the file is missing. So far it only asks the
// file layer whether the file is there.
BOOL School_Init(const char* pszPath);
// Leaves the rally-school mode after a failed start (records the call so far).
void School_Leave(void);
int School_GetLeaveCallsForTests(void);

// Test hooks: the calls since the last reset, and the last line passed.
int School_GetSaveCallsForTests(void);
int School_GetPassLineCallsForTests(void);
int32_t School_GetLastLineForTests(void);
void School_ResetForTests(void);

// The school's tick during a lesson, and the check whether the run has ended.
void School_UpdateInGame(void);
void School_CheckRunEnd(void);
// Draws the loops left of a looping lesson, and the lesson's state message.
void School_DrawLapsLeft(void);
void School_DrawStateMessage(void);
// The attempts left of the lesson. Nothing yet.
void School_DrawAttemptsLeft(void);
// Whether the lesson shows the race's on-screen display. Not yet.
BOOL School_IsOsdShown(void);
// The lesson's run word (set while a run goes on) and its step (0 before the run). Not yet.
BOOL School_IsRunActive(void);
int32_t School_GetStep(void);
// Applies the lesson's options to the stage.
void School_SetLessonOptions(void);
// Play the intro and exit pans: non-zero while the pan plays.
int32_t School_PlayIntroPan(void);
int32_t School_PlayExitPan(void);
// Puts back player 1's car and control records after a school run.
void School_RestorePlayerInfo(void);
// Numbers the rally-school lines among nRecords trigger records before the splits are numbered.
void School_NumberLines(void* pRecords, int32_t nRecords);
// While a school stage loads: the key-help image. Nothing yet.
void School_LoadKeyHelpImage(void);
