#include "engine/pc/3d/dk_fog.h"

#include <cmath>

#include "engine/include/dk_ff.h"
#include "engine/common/dk_model.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/3d/dk_rendr.h"
#include "platform/d3d/d3d.h"

namespace
{

constexpr int32_t kClear = 255 << 16;

int32_t gxFogStart = 0;
int32_t gxFogEnd = 0;
int32_t gxFogSlope = 0; // 255.0 / (end - start), worked out when the range is set
uint32_t guFogColour = 0;
int gnVertexFogOn = 0;
int32_t gxFogFloor = 0;
int32_t gxHorizonFogDistance = 0;

// The fog factor of a distance, 16.16: clear up to the start, the floor beyond the end, a
// straight line between. The start itself is clear: the truncated slope would give it 254.
int32_t FogValue(int32_t xDistance)
{
    if (xDistance <= gxFogStart)
        return kClear;
    if (xDistance > gxFogEnd)
        return gxFogFloor;
    const int32_t xValue = FfMul(gxFogSlope, FfSub(gxFogEnd, xDistance));
    return xValue < gxFogFloor ? gxFogFloor : xValue;
}

uint32_t FogSpecular(int32_t xDistance)
{
    return (static_cast<uint32_t>(FogValue(xDistance)) >> 16 & 0xFF) << 24;
}

} // namespace

int32_t DkGroundDistance(int64_t xDx, int64_t xDz)
{
    const uint64_t ax = static_cast<uint64_t>(xDx < 0 ? -xDx : xDx);
    const uint64_t az = static_cast<uint64_t>(xDz < 0 ? -xDz : xDz);
    const uint64_t sum = (ax * ax >> 16) + (az * az >> 16);
    if (sum > UINT32_MAX)
        return INT32_MAX;
    return FfSqrt(static_cast<int32_t>(static_cast<uint32_t>(sum)));
}

void DkSetFog(int32_t xStart, int32_t xEnd, uint32_t uColour)
{
    if (DkIsZBufferlessDevice())
        return;
    gxFogStart = xStart;
    gxFogEnd = xEnd;
    // A range of no width is reported by the divide, once here rather than once a vertex.
    gxFogSlope = FfDiv(kClear, FfSub(xEnd, xStart));
    guFogColour = uColour;
    if (!DkCapTableFog())
        return;
    d3d->anRenderStateCache[DKRS_FOGENABLE] = 1;
    DkSendRenderState(D3DRENDERSTATE_FOGENABLE, 1);
    gnVertexFogOn = 1;
    DkSendRenderState(D3DRENDERSTATE_FOGCOLOR, guFogColour);
}

void DkDisableFog(void)
{
    d3d->anRenderStateCache[DKRS_FOGENABLE] = 0;
    DkSendRenderState(D3DRENDERSTATE_FOGENABLE, 0);
    gnVertexFogOn = 0;
}

void DkSetFogDensity(float fDensity)
{
    const int32_t xClear = static_cast<int32_t>(std::lround((1.0f - fDensity) * 65536.0f));
    // 256.0 x the clear part; kept to a byte's range, as a density of 0 would give 256.0,
    // whose byte wraps to full fog.
    int32_t xFloor = FfMul(0x1000000, xClear);
    if (xFloor < 0)
        xFloor = 0;
    if (xFloor > kClear)
        xFloor = kClear;
    gxFogFloor = xFloor;
}

void DkSetHorizonFogDistance(int32_t xDistance)
{
    gxHorizonFogDistance = xDistance;
}

int32_t DkGetHorizonFogDistance(void)
{
    return gxHorizonFogDistance;
}

int DkIsVertexFogOn(void)
{
    return gnVertexFogOn;
}

void DkApplyVertexFog(DK_VERTEX* pVertices, int nCount, int32_t xDistance, const DK_VECTOR* pEye)
{
    if (pVertices == nullptr)
        return;
    if (xDistance != 0)
    {
        const uint32_t uSpecular = FogSpecular(xDistance);
        for (int i = 0; i < nCount; ++i)
            pVertices[i].Lit.uSpecular = uSpecular;
        return;
    }
    const DK_VECTOR eye = pEye != nullptr ? *pEye : DK_VECTOR{0, 0, 0};
    for (int i = 0; i < nCount; ++i)
        pVertices[i].Lit.uSpecular = FogSpecular(
            DkGroundDistance(static_cast<int64_t>(DkFloatToFixed(pVertices[i].x)) - eye.x,
                             static_cast<int64_t>(DkFloatToFixed(pVertices[i].z)) - eye.z));
}
