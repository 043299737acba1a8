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

// The crash sounds' tick, and the start's countdown: the sample for the lights left and the
// "go". Seams so far, counted.
void PrangSnd_Update(void);
void PrangSnd_PlayCountdown(int nLightsLeft);
void PrangSnd_PlayGo(void);
// Test hooks: the countdown samples and their lights left in order (at most 8 kept), the "go"s.
int PrangSnd_GetCountdownCallsForTests(void);
int PrangSnd_GetCountdownLightsForTests(int nCall);
int PrangSnd_GetGoCallsForTests(void);
void PrangSnd_ResetCountdownForTests(void);
