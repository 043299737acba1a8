// The per-tick driver: UpdateMechanics advances every car and everything that moves with the
// cars by one simulation tick, in a fixed order, and leaves each car's snapshot of the tick for
// the display's blend (game/race/interp.h). The running game states call it once a tick, on
// whichever thread runs the ticks.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/include/dk_types.h"

struct CarBody;
struct CarMechanics;

#define PERTICK_CARS 8
#define PERTICK_PLAYERS 2

extern int32_t gaCarTrackSection[PERTICK_CARS];

// Set while UpdateMechanics runs.
extern std::atomic<BOOL> gboInMechanics;
// Set by the stage's initialisation; the stage's first tick clears it (and in a network game
// seeds the remote cars' snapshots from car 0).
extern BOOL gboFirstMechanicsTick;
// Ticks run since the last rendered frame; the frame sets it to 0.
extern std::atomic<int32_t> gnTicksSinceFrame;
// Set at the end of every tick; the stage's initialisation clears it.
extern std::atomic<BOOL> gboMechanicsTickDone;
// The car-state messages of a network game: ticks left until the next one is sent.
extern int32_t gnNetSendCountdown;

// One tick; returns 1.
int UpdateMechanics(void);

// Asks the next tick to copy the player's current snapshot over the previous one, so that the
// next frame shows the car where it now is without a blend. Players outside 0..1 are ignored.
void SetViewCopyPending(int nPlayer);
// Asks the next tick to re-attach the player's camera to its car.
void SetCameraReselectPending(int nPlayer);

// The tick's view of a car's wheel w (0, 1 front; 2, 3 rear): whether the drawn wheel is held
// still, from the car's two wheel-hold flags and its hold value (see the source).
BOOL PerTick_IsWheelHeld(BOOL boFirstHold, BOOL boSecondHold, int32_t xHoldValue, int nWheel);

// What UpdateMechanics calls, one member a callee, so that a test can put recording fakes in
// their place. The defaults are the real functions.
struct PerTickCallees
{
    void (*Replay_UpdateAll)(void);
    void (*Replay_StepAllPlaybacks)(void);
    void (*QuickTime_Start)(const char* pszName);
    BOOL (*QuickTime_End)(const char* pszName);
    void (*CarControl_HoldCarAtStart)(CarMechanics* pMechanics, CarBody* pBody, int nCar);
    void (*CarControl_ClearInputs)(CarBody* pBody, CarMechanics* pMechanics);
    void (*CarModel_StepCars)(CarMechanics* paMechanics, CarBody* paBodies, const int16_t* panList,
                              int16_t nCount);
    void (*NetPlay_SendCarState)(int nFinal);
    void (*NetPlay_Poll)(void);
    void (*MovingObjects_Relink)(void);
    void (*CarModel_OffsetCorners)(CarBody* pBody);
    BOOL (*Coll_CarVsTrackObjects)(CarBody* pBody);
    BOOL (*Coll_CarVsMovingObjects)(CarBody* pBody);
    BOOL (*Coll_CarVsCar)(CarBody* pBody, CarBody* pOther);
    void (*Trigger_ProcessCar)(CarBody* pBody, CarMechanics* pMechanics, int nPlayer);
    void (*CarModel_UnoffsetCorners)(CarBody* pBody);
    void (*HitObjects_UpdateAll)(void);
    void (*MovingObjects_Update)(int nPlayer);
    void (*CarModel_SpinWheels)(CarBody* pBody, CarMechanics* pMechanics);
    void (*CarModel_UpdateBody)(CarBody* pBody, CarMechanics* pMechanics);
    void (*CarModel_UpdateDisplayBody)(CarBody* pBody, CarMechanics* pMechanics);
    void (*CatsEye_PlaceCar)(int nCar);
    void (*Effects_Tick)(void);
    void (*NetPlay_PredictRemoteCars)(void);
    void (*NetReplay_Record)(void);
    void (*NetReplay_Play)(void);
    void (*Cameras_Reattach)(int nPlayer);
    void (*Cameras_Update)(int nPlayer);
    void (*CatsEye_UpdateCar)(int nCar);
    void (*CatsEye_UpdateCarLoop)(int nCar);
    void (*ForceFeedback_Update)(int nPlayer);
};
PerTickCallees& PerTick_Callees(void);

// Test hooks: whether the player's copy is pending; every flag, counter and callee back to its
// start.
BOOL PerTick_IsViewCopyPending(int nPlayer);
void PerTick_ResetForTests(void);
