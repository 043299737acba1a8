#include "game/effects/crowdsnd.h"

namespace
{
int gnAbductCalls = 0;
int gnCrowdNoiseLoadCalls = 0;
} // namespace

void CrowdNoise_PlayAbduct(void)
{
    ++gnAbductCalls;
}

int CrowdNoise_GetAbductCallsForTests(void)
{
    return gnAbductCalls;
}

void CrowdNoise_ResetForTests(void)
{
    gnCrowdNoiseLoadCalls = 0;
    gnAbductCalls = 0;
}

void CrowdNoise_Load(void)
{
    ++gnCrowdNoiseLoadCalls;
}

int CrowdNoise_GetLoadCallsForTests(void)
{
    return gnCrowdNoiseLoadCalls;
}

void CrowdNoise_Update(void) {}
