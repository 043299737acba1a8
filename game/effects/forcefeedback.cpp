#include "game/effects/forcefeedback.h"

namespace
{
int gnJoltCalls = 0;
ForceFeedbackCall gLastJolt{};
int gnImpactCalls = 0;
ForceFeedbackCall gLastImpact{};
int gnStartCalls = 0;
} // namespace

void ForceFeedback_Jolt(int nCar, int32_t xStrength, int32_t xLength)
{
    ++gnJoltCalls;
    gLastJolt = {nCar, {0, 0, 0}, xStrength, xLength, 0};
}

void ForceFeedback_Impact(int nCar, const DK_VECTOR* pDirection, int32_t xStrength, int32_t xLength,
                          int nFlag)
{
    ++gnImpactCalls;
    gLastImpact = {nCar, pDirection != nullptr ? *pDirection : DK_VECTOR{0, 0, 0}, xStrength,
                   xLength, nFlag};
}

void ForceFeedback_Update(int) {}

int ForceFeedback_GetJoltCallsForTests(void)
{
    return gnJoltCalls;
}

ForceFeedbackCall ForceFeedback_GetLastJoltForTests(void)
{
    return gLastJolt;
}

int ForceFeedback_GetImpactCallsForTests(void)
{
    return gnImpactCalls;
}

ForceFeedbackCall ForceFeedback_GetLastImpactForTests(void)
{
    return gLastImpact;
}

void ForceFeedback_ResetForTests(void)
{
    gnJoltCalls = gnImpactCalls = gnStartCalls = 0;
    gLastJolt = gLastImpact = ForceFeedbackCall{};
}

void ForceFeedback_StartEffects(void)
{
    ++gnStartCalls;
}

int ForceFeedback_GetStartCallsForTests(void)
{
    return gnStartCalls;
}

void ForceFeedback_CreateEffects(void) {}

void ForceFeedback_StopEffects(void) {}
