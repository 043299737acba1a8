// The driver controls and gearbox. Each tick the car step hands every car's control words to
// CarControl_Update, which turns them into what the car physics reads: the throttle, brake and
// handbrake pedals (ramped from keys, or straight from an analogue axis), the front wheels'
// angle (from an axis, or from keys with a speed-sensitive lock and a self-centring that the
// surface under the front wheels weakens), and the gear, by one of three gearbox modes:
// 0 automatic, 1 manual (the driver's gear requests), 2 automatic with brake-to-reverse. A gear
// change waits a tick, then engages with the clutch out for a moment. The per-tick driver holds
// cars at the start and parks finished ones.
#pragma once

#include <cstdint>

struct CarBody;
struct CarMechanics;

// Each car slot's steering sensitivity from its local player's STEERING choice (slots 0 and
// 1; the others take the default choice), logged "Sensitivity %d for player %d".
void CarControl_SetSteeringSensitivity(void);
// One tick of the car's controls; nCarNumber is the car's place in the step's list.
void CarControl_Update(CarMechanics* pMechanics, CarBody* pBody, int nCarNumber);
// Run on the manual box every tick: sets the hint flag while the revs ask for no lower gear.
void CarControl_ShiftHint(void);
// The per-tick driver's holds: a car not yet started stands on its brakes; the start sequence
// holds its inputs; a finished car rolls to a stop.
void CarControl_HoldCarAtStart(CarMechanics* pMechanics, CarBody* pBody, int nCarNumber);
// A parked car's inputs: brakes and handbrake on, nothing else.
void CarControl_ClearInputs(CarBody* pBody, CarMechanics* pMechanics);
// The maximum throttle and its copy lowered by 1%. Nothing calls it.
void CarControl_ReduceThrottle(CarMechanics* pMechanics);

// Test hooks. While passing through, CarControl_Update leaves the control values as they are
// (the car step's tests write them directly). The calls since the last reset and the list
// position of the last one are counted either way. Reset: counts 0, not passing through,
// every slot at the default sensitivity.
void CarControl_SetPassThroughForTests(bool boPassThrough);
int CarControl_GetUpdateCallsForTests(void);
int CarControl_GetLastListPositionForTests(void);
void CarControl_ResetForTests(void);
struct SteeringSensitivity
{
    int32_t xDigitalRate; // a tick at 25 ticks a second
    int32_t xLockFactor;  // the lock's loss per unit of forward speed
    int32_t xAnalogueGain;
};
SteeringSensitivity CarControl_GetSensitivityForTests(int nSlot);
