// The ground under the contact points: the height data's answer, adjusted by the surface found.
// Deep snow, water and the sea let the car sink; the sea swallows it slowly and then calls for
// a rescue; a point pressed into a soft object rides up; a damaged wheel bumps.
#include "game/race/gamedata.h"
#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/heightdata.h"

namespace
{

constexpr int16_t kDeepSnow = 59;
constexpr int16_t kSnowBankFront = 63;
constexpr int16_t kSnowBankRear = 64;
constexpr int16_t kDeepWater = 81;
constexpr int16_t kSea = 82;
constexpr int16_t kStream = 83;
constexpr int16_t kFlatGravelSurface = 10;
constexpr int32_t kSink = 0x4CCC;        // 0.3
constexpr int32_t kSeaSink = 0xC4;       // 0.003 a tick on the sea
constexpr int32_t kObjectLift = 0x9999;  // 0.6
constexpr int32_t kCornerDrop = 0x50000; // 5.0

bool IsSnow(int16_t nSurface)
{
    return nSurface == kDeepSnow || nSurface == kSnowBankFront || nSurface == kSnowBankRear;
}

bool IsSinking(int16_t nSurface)
{
    return IsSnow(nSurface) || nSurface == kDeepWater || nSurface == kSea || nSurface == kStream;
}

void UpdatePoint(CarBody* pBody, CarMechanics* pMech, int i)
{
    constexpr DK_VECTOR kLevel = {0, DK_FIXED_ONE, 0};
    int32_t& xHeight = pBody->PointGroundHeight[i];
    int16_t& nSurface = pMech->WheelSurface[i];
    xHeight = FindHeightOnTrack(&pBody->ContactPoint[i], &pBody->PointNormal[i], &nSurface,
                                &pMech->PointTriangleCache[i], xHeight);
    if (pBody->PointInObject[i])
    {
        int32_t xPress = FfMul(pBody->PointObjectDepth[i], 2 * DK_FIXED_ONE);
        if (xPress > DK_FIXED_ONE)
            xPress = DK_FIXED_ONE;
        xHeight = FfAdd(xHeight, FfMul(xPress, kObjectLift));
    }
    if (IsSinking(nSurface))
        xHeight = FfSub(xHeight, kSink);
    if (IsSnow(nSurface))
        pBody->PointNormal[i] = kLevel;
    if (nSurface == kSea)
    {
        // The count runs on while the point is off the sea: 201 ticks in all call the rescue.
        xHeight = FfSub(xHeight, FfMul(kSeaSink, pBody->SinkTicks[i]));
        pBody->SinkTicks[i] = FfAdd(pBody->SinkTicks[i], DK_FIXED_ONE);
        if (pBody->SinkTicks[i] >= FfDiv(kSink * 2, kSeaSink))
            pBody->NeedsRescue = 1;
    }
    if (i < CAR_WHEELS)
        xHeight = FfSub(xHeight, pBody->WheelHubOffset[i][1]);
    if (GameData_IsOptionSet(OPTION_FLAT_GRAVEL))
    {
        xHeight = FfAdd(xHeight, DK_FIXED_ONE);
        pBody->PointNormal[i] = kLevel;
        nSurface = kFlatGravelSurface;
    }
}

} // namespace

int32_t CarModel_GroundHeightWithSink(const DK_VECTOR* pPoint, DK_VECTOR* pNormal,
                                      int16_t* pTriangleCache, int16_t* pSurface,
                                      int32_t xFallbackHeight)
{
    const int32_t xHeight =
        FindHeightOnTrack(pPoint, pNormal, pSurface, pTriangleCache, xFallbackHeight);
    return IsSinking(*pSurface) ? FfSub(xHeight, kSink) : xHeight;
}

void CarModel_UpdateBodyContacts(CarBody* pBody, CarMechanics* pMech)
{
    for (int i = 0; i < CAR_POINTS; ++i)
        UpdatePoint(pBody, pMech, i);
}

void CarModel_UpdateWheelContacts(CarBody* pBody, CarMechanics* pMech)
{
    for (int i = 0; i < CAR_WHEELS; ++i)
        UpdatePoint(pBody, pMech, i);
    // The body corners out of reach while the car drives on its wheels.
    for (int i = CAR_WHEELS; i < CAR_POINTS; ++i)
        pBody->PointGroundHeight[i] = FfSub(pBody->PointGroundHeight[i - CAR_WHEELS], kCornerDrop);
}
