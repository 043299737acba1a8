// The pause menu: the request the in-race keys make, entering the pause with the car sounds
// silenced, Escape leaving it, and the flags and results the game-state machine reads. The
// menu's pages are not built yet: Escape is the only key that acts.
#pragma once

#include "engine/include/dk_types.h"

// Asks for the pause menu on behalf of the player (0 or 1); the next tick builds it. Sets the
// requested and entered flags and clears both resumed flags.
void DoPauseMode(int nPlayer);
// Clears every flag and result.
void PauseMenu_Reset(void);

// Test hooks: the requests since the last reset and the player of the last one (-1 none), the
// resets, and a fresh start.
int PauseMenu_GetRequestsForTests(void);
int PauseMenu_GetLastPlayerForTests(void);
int PauseMenu_GetResetsForTests(void);
void PauseMenu_ResetForTests(void);
// Sets the results the menu's pages would choose.
void PauseMenu_SetChoicesForTests(BOOL boQuit, BOOL boRestart, BOOL boSchoolQuit);

// When the pause was asked for or the window lost its focus: silences the car sounds, builds the
// menu and returns TRUE (the game then enters the pause state); FALSE otherwise.
BOOL PauseMenu_Start(void);
// One tick of the pause menu's input, the first player's menu keys: Escape leaves the pause once
// the keys act, which they do from the first poll with no new menu key.
void PauseMenu_HandleInput(void);
// Draws the pause menu.
void PauseMenu_Draw(void);
// Leaves the pause: both resumed flags set, the focus-lost flag cleared, the input disarmed.
void PauseMenu_Leave(void);
// The entered flag, cleared when taken.
BOOL PauseMenu_TakeEnteredFlag(void);
// The resumed flag, cleared when taken (the co-driver is heard again then); the second copy.
BOOL PauseMenu_TakeResumedFlag(void);
BOOL PauseMenu_TakeResumedFlagB(void);
// The results: quit, restart, and quitting the school lesson.
BOOL PauseMenu_GetQuitChoice(void);
BOOL PauseMenu_GetModeChoice(void);
BOOL PauseMenu_GetSchoolQuitChoice(void);
