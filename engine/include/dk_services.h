// What the engine calls of the layers above it: the front end's per-pass entry and the game's
// display flag. They are defined there (frontend/, game/); test programs that link the engine
// without them define their own.
#pragma once

#include "engine/include/dk_types.h"

// One pass of the front end; WinMain calls it while the application is active. Returns 0.
int Frontend_Update(void);

// Splits and logs the command line at start-up.
void Frontend_LogCommandLine(char* lpCmdLine);

// Set once a stage, the school menu or the set-up screen has set up the game display.
extern BOOL gboGameDisplayReady;

// Set while the race flow shows its loading screen; texture fonts then blit at once rather
// than queue behind a scene that is not drawn.
extern BOOL gboLoadingScreenUp;

// The game state whose timed function ran last (0..12; 5 to 10 are the in-stage states).
int GetGameState(void);

// The front end's game data record and its rally-school flag, read by the game-type
// predicates of dk_ff.h.
struct GameData;
extern GameData* gpGame_Data;
extern int32_t gboRallySchool;
