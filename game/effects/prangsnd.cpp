#include "game/effects/prangsnd.h"

namespace
{
int gnImpactCalls = 0;
PrangSndCall gLastImpact{};
int gnObjectHitCalls = 0;
PrangSndCall gLastObjectHit{};
int gnPrangSndLoadCalls = 0;
} // namespace

void PrangSnd_PlayImpact(int32_t xStrength, const DK_VECTOR* pPoint, int nSound)
{
    ++gnImpactCalls;
    gLastImpact = {xStrength, pPoint != nullptr ? *pPoint : DK_VECTOR{}, nSound};
}

void PrangSnd_PlayObjectHit(int32_t nKind, const DK_VECTOR* pPoint)
{
    ++gnObjectHitCalls;
    gLastObjectHit = {nKind, pPoint != nullptr ? *pPoint : DK_VECTOR{}, 0};
}

int PrangSnd_GetImpactCallsForTests(void)
{
    return gnImpactCalls;
}

PrangSndCall PrangSnd_GetLastImpactForTests(void)
{
    return gLastImpact;
}

int PrangSnd_GetObjectHitCallsForTests(void)
{
    return gnObjectHitCalls;
}

PrangSndCall PrangSnd_GetLastObjectHitForTests(void)
{
    return gLastObjectHit;
}

void PrangSnd_ResetForTests(void)
{
    gnPrangSndLoadCalls = 0;
    gnImpactCalls = gnObjectHitCalls = 0;
    gLastImpact = gLastObjectHit = PrangSndCall{};
}

void PrangSnd_Load(void)
{
    ++gnPrangSndLoadCalls;
}

int PrangSnd_GetLoadCallsForTests(void)
{
    return gnPrangSndLoadCalls;
}

namespace
{
constexpr int kKeptCountdowns = 8;
int gnCountdownCalls = 0;
int ganCountdownLights[kKeptCountdowns] = {};
int gnGoCalls = 0;
} // namespace

void PrangSnd_Update(void) {}

void PrangSnd_PlayCountdown(int nLightsLeft)
{
    if (gnCountdownCalls < kKeptCountdowns)
        ganCountdownLights[gnCountdownCalls] = nLightsLeft;
    ++gnCountdownCalls;
}

void PrangSnd_PlayGo(void)
{
    ++gnGoCalls;
}

int PrangSnd_GetCountdownCallsForTests(void)
{
    return gnCountdownCalls;
}

int PrangSnd_GetCountdownLightsForTests(int nCall)
{
    return nCall >= 0 && nCall < kKeptCountdowns ? ganCountdownLights[nCall] : -1;
}

int PrangSnd_GetGoCallsForTests(void)
{
    return gnGoCalls;
}

void PrangSnd_ResetCountdownForTests(void)
{
    gnCountdownCalls = gnGoCalls = 0;
}
