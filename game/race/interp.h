// Interpolation between ticks: each tick leaves, per car record, the previous and the current
// tick's values, and every frame places the scene at their blend by the fraction of the tick
// period passed since the last tick, so that motion looks smooth at any frame rate. Records 0
// and 1 are the local cars; in a network game records 1 to 7 are the remote cars of remote
// slots 0 to 6, shown through loaded car k's root actor (gaLoadedCar) and gaCarWheelActors[k].
//
// The blends run on the main thread inside the engine's critical section, so no tick changes
// what they read; the remote cars' ground fit runs inside the tick.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"
#include "game/vehicle/carmodel.h"

struct DK_ACTOR;

#define SNAP_RECORDS 8
#define SNAP_WHEELS 4
// The pairs: [SNAP_PREVIOUS] the previous tick's, [SNAP_CURRENT] this tick's; the car matrix
// keeps a third, the previous-but-one, for the remote cars.
#define SNAP_PREVIOUS 0
#define SNAP_CURRENT 1
#define SNAP_PREVIOUS_BUT_ONE 2

// The car's own matrix (body record), shown by the body object; a remote car's placement.
extern DK_MATRIX gaSnapCarMatrix[SNAP_RECORDS][3];
// The mechanics record's second matrix, shown by the root actor.
extern DK_MATRIX gaSnapRootMatrix[SNAP_RECORDS][2];
// The mechanics record's first matrix, its height raised by the car's height offset, shown by
// the body part actor.
extern DK_MATRIX gaSnapPartMatrix[SNAP_RECORDS][2];
// The ground normal under the car.
extern DK_VECTOR gaSnapBodyVector[SNAP_RECORDS][2];
// The mechanics record's fade byte.
extern uint8_t gaSnapFadeLevel[SNAP_RECORDS][2];
// The body's first and second height corrections.
extern int32_t gaSnapHeightLift[SNAP_RECORDS][2];
extern int32_t gaSnapSecondLift[SNAP_RECORDS][2];
// The lift of a car whose vertical-motion word is below -(6 x rate).
extern int32_t gaSnapImpactLift[SNAP_RECORDS][2];

// Per car and wheel the drawn wheel's spin angle (4096 a turn), advanced by every tick, and
// whether the wheel is drawn turned half a turn (its other face outward).
extern int16_t gaWheelSpinAngle[SNAP_RECORDS][SNAP_WHEELS];
extern int32_t gaWheelReversed[SNAP_RECORDS][SNAP_WHEELS];

// Per car or remote record the four wheel actors (ids 1 to 4), set by the car loaders.
extern DK_ACTOR* gaCarWheelActors[SNAP_RECORDS][SNAP_WHEELS];
// Per remote record (1 to 7) the one spin angle of all four drawn wheels, advanced by every
// frame from how far the car moved along its length.
extern int16_t gaRemoteWheelSpin[SNAP_RECORDS];
// Per car the fade level of the frame (0..255), for the fade rectangle.
extern uint8_t gaDisplayFadeLevel[SNAP_RECORDS];
// Each player's camera position of the frame.
#define INTERP_PLAYERS 2
extern DK_VECTOR gaCameraPosition[INTERP_PLAYERS];
// Per car type, the sideways shift of the narrow tyres (type 3): each wheel moves half of it.
extern const int32_t gaNarrowTyreOffset[NUM_CAR_TYPES];
// Cleared by the stage's initialisation; the first frame after the first tick copies the
// simulated placement into the cars' display copies and sets it. Until then the shadows use the
// simulated values.
extern BOOL gboInitialShadowPositionSet;

// Every snapshot, spin angle and flag back to zero.
void Interp_ClearAll(void);

// The frame's placement of the scene at tick fraction xFraction (0 the previous tick, 1.0 the
// current): the local cars' actors, display copies, wheels and fade levels, the knocked-over
// objects, the remote cars and their wheels in a network game; the fraction handed on to the
// cameras, the scripted objects, the results table, the attract title and the sky.
void InterpolateSceneForDisplay(int32_t xFraction);
// The pause's blend: the remote cars alone, their wheels as they were.
void InterpolateRemoteCars(int32_t xFraction);
// Raises remote record nRecord's (1..7) current placement out of the ground, never lowers it.
void RemoteCar_FitToGround(int nRecord);
// How far the box of the eight corners (TransformPoint's order) must rise for its corner facing
// the ground to lie on the ground plane under pPosition; negative when that corner is above it,
// 0 off the height data or on a ground without a vertical normal.
int32_t RemoteCar_GroundLift(const DK_VECTOR* pPosition, const DK_MATRIX* pMatrix,
                             const DK_VECTOR aCorners[8]);

// The drawn body part's height above the physics body's centre: half the loaded car's wheel
// radius less half the body's height, 0 with the half-size cars or a car without a loaded model.
int32_t Interp_GetHeightOffset(const CarBody* pBody);
// 16.16 radians as angle units (4096 a turn), truncated towards zero: v x 4096 / (2 pi 65536).
int32_t Interp_RadiansToAngle(int32_t xRadians);
