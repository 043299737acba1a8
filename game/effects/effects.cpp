#include "game/effects/effects.h"

#include <algorithm>

#include "engine/common/dk_actor.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/display/2dinit.h"
#include "game/effects/sky.h"

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

int32_t Effects_ProjectToScreen(const DK_ACTOR* pActor, const DK_ACTOR* pCamera, int32_t* pOut,
                                const DK_VECTOR* pOffset)
{
    if (pActor == nullptr || pCamera == nullptr)
        return EFFECTS_NO_DEPTH;
    const DK_MATRIX& at = pActor->World;
    const DK_VECTOR offset = pOffset != nullptr ? *pOffset : DK_VECTOR{};
    const DK_VECTOR point = {static_cast<int32_t>(int64_t{at.m[3][0]} + offset.x),
                             static_cast<int32_t>(int64_t{at.m[3][1]} + offset.y),
                             static_cast<int32_t>(int64_t{at.m[3][2]} + offset.z)};
    const DK_MATRIX& eye = pCamera->World;
    const int64_t xDepth = ((int64_t{point.x} - eye.m[3][0]) * eye.m[2][0] +
                            (int64_t{point.y} - eye.m[3][1]) * eye.m[2][1] +
                            (int64_t{point.z} - eye.m[3][2]) * eye.m[2][2]) >>
                           16;
    int32_t aPixel[2];
    if (pOut != nullptr && Sky_ProjectPoint(aPixel, &point, pCamera))
    {
        pOut[0] = aPixel[0] / d2d->nWidth;
        pOut[1] = aPixel[1] / d2d->nHeight;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(xDepth, INT32_MIN + 1, INT32_MAX));
}
