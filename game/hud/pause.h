// The pause menu. So far only the request the in-race keys make and the reset they ask for,
// counted.
#pragma once

#include "engine/include/dk_types.h"

// Asks for the pause menu on behalf of the player (0 or 1); the next tick builds it.
void DoPauseMode(int nPlayer);
// Puts the pause menu back to its start.
void PauseMenu_Reset(void);

// Test hooks: the requests since the last reset and the player of the last one (-1 none), the
// resets, and a fresh start.
int PauseMenu_GetRequestsForTests(void);
int PauseMenu_GetLastPlayerForTests(void);
int PauseMenu_GetResetsForTests(void);
void PauseMenu_ResetForTests(void);

// When the pause was asked for or the window lost its focus: silences the car sounds, builds the
// menu and returns TRUE (the game then enters the pause state); FALSE otherwise.
BOOL PauseMenu_Start(void);
// One tick of the pause menu's input.
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
