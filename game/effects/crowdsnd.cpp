#include "game/effects/crowdsnd.h"

namespace
{
int gnAbductCalls = 0;
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
    gnAbductCalls = 0;
}
