// The game handler: the game's per-pass entry and its state machine.
#pragma once

#include "engine/include/dk_types.h"

// Set once a stage, the school menu or the set-up screen has set up the game display.
extern BOOL gboGameDisplayReady;

// Set while the race flow shows its loading screen.
extern BOOL gboLoadingScreenUp;

// The game state whose timed function ran last (0..12; 5 to 10 are the in-stage states).
int GetGameState(void);

// Registers the game's entries with the engine (engine/include/dk_entries.h).
void GameHandler_RegisterEntries(void);
