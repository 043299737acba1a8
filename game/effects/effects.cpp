#include "game/effects/effects.h"

namespace
{
int gnWallImpacts = 0;
EffectsWallImpact gLastWallImpact{};
} // namespace

void Effects_QueueWallImpact(int nPlayer, int nCorner, int32_t xValue)
{
    ++gnWallImpacts;
    gLastWallImpact = {nPlayer, nCorner, xValue};
}

void Effects_Tick(void) {}

int Effects_GetWallImpactsForTests(void)
{
    return gnWallImpacts;
}

EffectsWallImpact Effects_GetLastWallImpactForTests(void)
{
    return gLastWallImpact;
}

void Effects_ResetForTests(void)
{
    gnWallImpacts = 0;
    gLastWallImpact = EffectsWallImpact{};
}
