// The driver controls and gearbox. So far only the per-tick update the car step calls, which
// leaves the control values as they are.
#pragma once

struct CarBody;
struct CarMechanics;

// Turns the driver's inputs into the car's control values; does nothing so far.
void CarControl_Update(CarMechanics* pMechanics, CarBody* pBody, int nListPosition);

// Test hooks: the calls since the last reset and the list position of the last one.
int CarControl_GetUpdateCallsForTests(void);
int CarControl_GetLastListPositionForTests(void);
void CarControl_ResetForTests(void);
