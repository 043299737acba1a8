// The front end: its main step, its start-up logging, and the game data it fills and the game
// reads.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

struct GameData;

// One pass of the front end; the engine's message loop calls it while the application is
// active. Returns 0.
int Frontend_Update(void);

// Splits and logs the command line at start-up.
void Frontend_LogCommandLine(char* lpCmdLine);

// The front end's game data record and its rally-school flag.
extern GameData* gpGame_Data;
extern int32_t gboRallySchool;

// The game type: bits 2-4 of byte 358 of the game data. 1 and 3 are two players on one screen
// (3 with collisions between their cars), 2 is two players taking turns.
int Frontend_GetGameType(void);
// The whole of that byte (bits 0-1 game mode, 2-4 game type, 5 special car, 6 secret stage).
int Frontend_GetGameTypeByte(void);
// The game data's bytes, which the game reads through its registered entry.
const uint8_t* Frontend_GetGameData(void);
// The same bytes for the game to write its results into.
uint8_t* Frontend_GetWritableGameData(void);

// Registers the front end's entries with the engine (engine/include/dk_entries.h).
void Frontend_RegisterEntries(void);
