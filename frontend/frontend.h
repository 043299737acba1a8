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

// Test hook behind DEZOR_GAME_DATA: sets game data bytes from "offset=value,..." (decimal or
// 0x hexadecimal; offsets 0 to 1731, values 0 to 255). A malformed entry is reported on
// standard error and left out. Returns the number of bytes set.
int Frontend_ApplyGameDataHook(const char* pszEntries);
// What a game's start does to the controls: the controllers found, and both local players on
// their own keyboard controller with the default keys.
void Frontend_SetUpControllers(void);

// Sets the game data's option bits for the coming stage (see DK_ENTRIES::SetGameOptionBits).
// Until the front end keeps its own record, the bytes stay as they are.
void DkSetGameOptionBits(BOOL boDemo, BOOL boSchool, BOOL boSuperSpecial, int nStageMode);

// Registers the front end's entries with the engine (engine/include/dk_entries.h).
void Frontend_RegisterEntries(void);
