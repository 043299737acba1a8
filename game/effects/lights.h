// Car lights: lamps, glows, water flicker and broken lamps. So far only the breakage test the
// damage model calls.
#pragma once

struct CarBody;

// A hard frontal impact at night may break the car's extra front lamps (records the call so far).
void Lights_CheckBreakage(CarBody* pBody);

// Test hooks: the calls since the last reset, and the car of the last.
int Lights_GetBreakageCallsForTests(void);
const CarBody* Lights_GetLastBreakageCarForTests(void);
void Lights_ResetForTests(void);
