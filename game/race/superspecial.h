// The super special stage: two cars side by side on separate lanes. So far only the test the
// car set-up makes.
#pragma once

#include "engine/include/dk_types.h"

BOOL IsSuperSpecialStage(void);

// Test hook: what the next calls answer (FALSE until set).
void SuperSpecial_SetForTests(BOOL boSuperSpecial);

// The lane ghost of the stage at the stage path (game root, folder and stem) for lane nLane
// (0 left, 1 right). Counted so far.
void SuperSpecial_LoadReplay(const char* pszStagePath, int nLane);
// Places the two cars on their lanes at the start. Counted so far.
void PositionSuperSpecialCars(int nPlayer);
int SuperSpecial_GetLoadReplayCallsForTests(void);
int SuperSpecial_GetPositionCallsForTests(void);
void SuperSpecial_ResetForTests(void);

// The lane car nCar drives on: 0 left, 1 right. Always the left lane so far.
int SuperSpecial_GetLaneSide(int nCar);

// Whether the rally index is one of the four whose country holds a super special stage (1, 3,
// 5 and 7).
BOOL SuperSpecial_IsLaneKey(int nRally);
