// The attract mode and the message roll. So far the question the tyre model asks
// and the podium's set-up calls.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// Non-zero once the message roll has finished (0 until a test says otherwise).
int32_t MessageRoll_IsFinished(void);

// Test hook: what the next calls answer.
void MessageRoll_SetFinishedForTests(int32_t nFinished);

// The donut replay under the game root ("<name>.DNT"). Counted so far.
void LoadDonutReplay(const char* pszName);
// Sets the message roll up; with boEnabled its reward lines too. Counted so far.
void MessageRoll_Init(BOOL boEnabled);
int Attract_GetDonutLoadsForTests(void);
int MessageRoll_GetInitCallsForTests(void);
void Attract_ResetForTests(void);

// What the game flow asks of the message roll and the demo's logo. Seams so far.
// The roll back to its start, and its entrance shown again.
void MessageRoll_Reset(void);
void MessageRoll_ResetEntrance(void);
// The demo title's entrance placed at the frame's tick fraction. Nothing yet.
void MessageRoll_SetEntrancePosition(int32_t xFraction);
// The roll's mode (0: no reward; 1 to 6 grant one on country 7's podium).
int32_t MessageRoll_GetMode(void);
void MessageRoll_GrantReward(void);
// Ends the roll early; one tick of the roll, non-zero when it has ended.
void MessageRoll_Finish(void);
int32_t MessageRoll_Update(void);
// One tick of the attract demo's logo; non-zero when the demo is over.
int32_t DemoLogo_Update(void);
// The frame's drawing of the message roll and of the demo's logo. Nothing yet.
void MessageRoll_Draw(void);
void DemoLogo_Draw(void);
// Whether the message roll runs (shown on country 7's podium in its place). Not yet.
BOOL MessageRoll_IsRunning(void);
