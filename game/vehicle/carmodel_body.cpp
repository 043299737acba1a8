// The body update's pieces that keep the car in touch with the ground: which points touch,
// lifting the car out of the ground, and marking a car stuck on its roof or side.
#include "game/vehicle/carmodel_internal.h"

void CarModel_UpdateTouchingPoints(void)
{
    CarBody* pBody = gpCurrentCarBody;
    constexpr int64_t kClearance = 0x1999; // 0.1; a point exactly that high still touches
    pBody->PointsTouching = 0;
    pBody->AllPointsOff = 1;
    for (int i = CAR_POINTS - 1; i >= 0; --i)
    {
        const int64_t nAbove =
            static_cast<int64_t>(pBody->ContactPoint[i].y) - pBody->PointGroundHeight[i];
        if (nAbove > kClearance)
        {
            pBody->PointOffGround[i] = 1;
            continue;
        }
        pBody->PointOffGround[i] = 0;
        pBody->AllPointsOff = 0;
        pBody->TouchingList[pBody->PointsTouching++] = static_cast<int8_t>(i);
    }
}

void CarModel_LiftOutOfGround(void)
{
    CarBody* pBody = gpCurrentCarBody;
    int32_t xLift = 0;
    const int nTouching = pBody->PointsTouching < CAR_POINTS ? pBody->PointsTouching : CAR_POINTS;
    for (int k = 0; k < nTouching; ++k)
    {
        const int i = pBody->TouchingList[k];
        if (i < 0 || i >= CAR_POINTS)
            continue;
        const int32_t xDepth = FfSub(pBody->PointGroundHeight[i], pBody->ContactPoint[i].y);
        if (xDepth > xLift)
            xLift = xDepth;
    }
    pBody->Position.y = FfAdd(pBody->Position.y, xLift);
    for (DK_VECTOR& point : pBody->ContactPoint)
        point.y = FfAdd(point.y, xLift);
}

void CarModel_MarkStuck(void)
{
    CarMechanics* pMech = gpCurrentCarMechanics;
    constexpr int8_t kSettleTicks = 20;
    if (pMech->UpsideDown)
    {
        pMech->Stuck = 1;
        pMech->FlipTicksUp = kSettleTicks;
    }
    else if (pMech->OnSide)
    {
        pMech->Stuck = 1;
        pMech->FlipTicksSide = kSettleTicks;
    }
    else if (pMech->OnEnd)
    {
        // A car on its nose or tail is not settled: it falls one way or the other.
        pMech->OnEnd = 0;
        pMech->FlipTicksEnd = 0;
    }
}
