#include "game/effects/effects.h"

#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/display/2dinit.h"

namespace
{
int gnWallImpacts = 0;
EffectsWallImpact gLastWallImpact{};
int gnInitialiseStageCalls = 0;
// The hardware type that cannot draw the translucent effects.
constexpr int kNoTranslucentHardware = 3;
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
    gnInitialiseStageCalls = 0;
}

BOOL gboEffectsCapable = FALSE;

void Effects_CheckHardware(void)
{
    gboEffectsCapable =
        DkCapGetC() != 0 && DkGetHardwareType() != kNoTranslucentHardware ? TRUE : FALSE;
}

void Effects_InitialiseStage(DK_ACTOR*)
{
    ++gnInitialiseStageCalls;
}

int Effects_GetInitialiseStageCallsForTests(void)
{
    return gnInitialiseStageCalls;
}

void Effects_UpdateAll(void) {}

void Effects_KillAllParticles(void) {}

void Effects_ResetTyreMarks(void) {}

void Effects_InterpolateParticles(int, int32_t) {}

void Effects_Update(void) {}

void Effects_DrawSky(DK_ACTOR*, int) {}

void Effects_DrawFadeRect(int) {}

void Effects_Draw(int) {}
