// The crash sounds. So far only the impact and object-hit sounds the car model plays, recorded.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"

// Plays impact sound nSound (0..16; 0 the car on the ground) at the world point, its volume and
// pitch from the strength (16.16, 1.0 full). Records the call so far.
void PrangSnd_PlayImpact(int32_t xStrength, const DK_VECTOR* pPoint, int nSound);
// Plays the hit sound of a struck object's kind at the world point. Records the call so far.
void PrangSnd_PlayObjectHit(int32_t nKind, const DK_VECTOR* pPoint);

// Test hooks: what was asked since the last reset.
struct PrangSndCall
{
    int32_t nValue; // the strength of an impact, the kind of an object hit
    DK_VECTOR Point;
    int nSound; // impacts only
};
int PrangSnd_GetImpactCallsForTests(void);
PrangSndCall PrangSnd_GetLastImpactForTests(void);
int PrangSnd_GetObjectHitCallsForTests(void);
PrangSndCall PrangSnd_GetLastObjectHitForTests(void);
void PrangSnd_ResetForTests(void);

// Loads the crash sounds of the stage. Counted so far.
void PrangSnd_Load(void);
int PrangSnd_GetLoadCallsForTests(void);
