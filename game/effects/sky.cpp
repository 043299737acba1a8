#include "game/effects/sky.h"

#include <algorithm>

#include "engine/common/dk_actor.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/display/2dinit.h"

namespace
{
// Far enough off the screen to mean "outside", near enough to stay a 16.16 word.
constexpr int64_t kPixelLimit = int64_t{1} << 30;
constexpr int64_t kNdcLimit = int64_t{1} << 24;

int32_t Clamp(int64_t v)
{
    return static_cast<int32_t>(std::clamp(v, -kPixelLimit, kPixelLimit));
}
} // namespace

void Sky_InterpolateLight(int32_t) {}

BOOL Sky_ProjectPoint(int32_t* pOut, const DK_VECTOR* pPoint, const DK_ACTOR* pCamera)
{
    if (pOut == nullptr || pPoint == nullptr || pCamera == nullptr)
        return FALSE;
    const int64_t nWidth = d2d->nWidth;
    const int64_t nHeight = d2d->nHeight;
    if (nWidth <= 0 || nHeight <= 0)
        return FALSE;
    const DK_MATRIX& world = pCamera->World;
    const int64_t d[3] = {int64_t{pPoint->x} - world.m[3][0], int64_t{pPoint->y} - world.m[3][1],
                          int64_t{pPoint->z} - world.m[3][2]};
    // The point in the camera's frame: its distance along each of the camera's rows.
    const auto along = [&](int r)
    { return (d[0] * world.m[r][0] + d[1] * world.m[r][1] + d[2] * world.m[r][2]) >> 16; };
    const int64_t vx = along(0);
    const int64_t vy = along(1);
    const int64_t vz = along(2);
    if (vz <= 0)
        return FALSE;
    // The projection's x and y scales give the device's -1..1 across the viewport's width and
    // -w/h..w/h down its height (y up).
    // (A point far off to the side of a near plane is held where the products stay in range.)
    const int64_t xNdcX = std::clamp(vx * d3d->Projection.m[0][0] / vz, -kNdcLimit, kNdcLimit);
    const int64_t xNdcY = std::clamp(vy * d3d->Projection.m[1][1] / vz, -kNdcLimit, kNdcLimit);
    pOut[0] = Clamp((DK_FIXED_ONE + xNdcX) * nWidth / 2);
    pOut[1] = Clamp(nHeight * DK_FIXED_ONE / 2 - xNdcY * nHeight * nHeight / (2 * nWidth));
    return TRUE;
}
