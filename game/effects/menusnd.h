// The menu sounds the game screens play. So far only the stage loader's call, counted.
#pragma once

// Loads the menu sounds, before any other sound of the stage.
void MenuSound_Load(void);

// Test hooks: the calls since the last reset.
int MenuSound_GetLoadCallsForTests(void);
void MenuSound_ResetForTests(void);
