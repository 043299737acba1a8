// The game's force-feedback effects. So far only the jolt and the directional impact the car
// model asks for, recorded.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"

// A jolt on the car's player's device: strength and length 16.16.
void ForceFeedback_Jolt(int nCar, int32_t xStrength, int32_t xLength);
// A directional impact along the world direction; nFlag is 0 or 1.
void ForceFeedback_Impact(int nCar, const DK_VECTOR* pDirection, int32_t xStrength, int32_t xLength,
                          int nFlag);
// One tick of the player's force-feedback effects (0 or 1). Nothing yet.
void ForceFeedback_Update(int nPlayer);

// Test hooks: what was asked since the last reset.
struct ForceFeedbackCall
{
    int nCar;
    DK_VECTOR Direction; // impacts only
    int32_t xStrength;
    int32_t xLength;
    int nFlag; // impacts only
};
int ForceFeedback_GetJoltCallsForTests(void);
ForceFeedbackCall ForceFeedback_GetLastJoltForTests(void);
int ForceFeedback_GetImpactCallsForTests(void);
ForceFeedbackCall ForceFeedback_GetLastImpactForTests(void);
void ForceFeedback_ResetForTests(void);

// Starts the stage's force-feedback effects for the players who have force feedback. Counted so
// far.
void ForceFeedback_StartEffects(void);
int ForceFeedback_GetStartCallsForTests(void);

// The stage's force-feedback effects: made at the stage's start, stopped while the game pauses
// or the end stage restarts its replays. Nothing yet.
void ForceFeedback_CreateEffects(void);
void ForceFeedback_StopEffects(void);
