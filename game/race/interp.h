// Interpolation between ticks: each tick leaves, per car record, the previous and the current
// tick's values that the display blends by the fraction of the tick period passed. Records 0
// and 1 are the local cars; in a network game records 1 to 7 are the remote cars of remote
// slots 0 to 6. So far the snapshots themselves, which the tick fills.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"

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

// Every snapshot, spin angle and flag back to zero.
void Interp_ClearAll(void);
