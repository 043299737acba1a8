// The pause menu. So far only the request the in-race keys make and the reset they ask for,
// counted.
#pragma once

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
