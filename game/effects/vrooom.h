// The engine sound. So far only the hook a rescue calls.
#pragma once

// Does nothing.
void CarSound_Nothing(int nCar);

// Test hooks: the calls since the last reset and the car of the last one.
int CarSound_GetNothingCallsForTests(void);
int CarSound_GetLastNothingCarForTests(void);
void CarSound_ResetForTests(void);

// Loads the engine sounds of the stage's cars. Counted so far.
void CarSound_Load(void);
int CarSound_GetLoadCallsForTests(void);
// Sets the engine sound's level for the player's car (0 silences it). Recorded so far.
void CarSound_SetLevel(int nLevel, int nPlayer);
// Test hooks: the calls so far and the last one's arguments.
int CarSound_GetSetLevelCallsForTests(void);
int CarSound_GetLastLevelForTests(void);
int CarSound_GetLastLevelPlayerForTests(void);

// The car's sound each tick: its pan and its engine; the volume put back for the second turn.
// Seams so far.
void CarSound_UpdatePan(int nCar);
void CarSound_Update(int nCar);
void CarSound_RestoreVolume(void);
