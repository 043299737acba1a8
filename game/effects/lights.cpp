#include "game/effects/lights.h"

#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/dk_light.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/dk_image.h"
#include "game/effects/effects.h"

namespace
{
int gnBreakageCalls = 0;
const CarBody* gpLastBreakageCar = nullptr;
// The glows' texture flags.
constexpr uint32_t kGlowTextureFlags = 41;
constexpr int32_t kStageLightDistance = 100 << 16;

DK_TEXTURE* LoadGlow(const char* pszPath)
{
    void* pImage = DkMallocLoadFile(pszPath, DKLF_CD);
    if (pImage == nullptr)
        return nullptr;
    DK_TEXTURE* pTexture = DkImageToTexture(pImage, DkGetLastFileSize(), kGlowTextureFlags);
    DkHeapFree(pImage);
    return pTexture;
}
} // namespace

DK_TEXTURE* gpHeadGlowTexture = nullptr;
DK_TEXTURE* gpBrakeGlowTexture = nullptr;

void Lights_Init(void)
{
    const DK_VECTOR position = {kStageLightDistance, kStageLightDistance, kStageLightDistance};
    const int16_t anAngles[3] = {0, 0, 0};
    DkCreateLight(0, 1 << 16, 1 << 16, 1 << 16, &position, anAngles, DkGetWorldActor());
    DkLog("Lights initialised");
}

void Lights_LoadGlowTextures(void)
{
    gpHeadGlowTexture = gpBrakeGlowTexture = nullptr;
    if (!gboEffectsCapable)
        return;
    gpHeadGlowTexture = LoadGlow("images\\headglow.bmp");
    gpBrakeGlowTexture = LoadGlow("images\\bglow2.bmp");
}

void Lights_CheckBreakage(CarBody* pBody)
{
    ++gnBreakageCalls;
    gpLastBreakageCar = pBody;
}

int Lights_GetBreakageCallsForTests(void)
{
    return gnBreakageCalls;
}

const CarBody* Lights_GetLastBreakageCarForTests(void)
{
    return gpLastBreakageCar;
}

void Lights_ResetForTests(void)
{
    gnBreakageCalls = 0;
    gpLastBreakageCar = nullptr;
}
