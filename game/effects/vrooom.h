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
