// The wheels and tyres: which wheels touch the ground and how the weight is shared over them.
#include "game/vehicle/carmodel_internal.h"

void CarModel_CountWheelsOnGround(void)
{
    CarBody* pBody = gpCurrentCarBody;
    constexpr int32_t kReach = 52428; // 0.8
    int nOnGround = 0;
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        const int64_t nGap =
            static_cast<int64_t>(pBody->PointGroundHeight[w]) - pBody->ContactPoint[w].y;
        const bool boOn = (nGap < 0 ? -nGap : nGap) < kReach;
        pBody->WheelOnGround[w] = boOn ? 1 : 0;
        nOnGround += boOn ? 1 : 0;
    }
    pBody->WheelsOnGround = nOnGround;
    const int32_t xWeight = pBody->Weight;
    pBody->WheelLoad = nOnGround == 4   ? xWeight >> 2
                       : nOnGround == 2 ? xWeight >> 1
                       : nOnGround == 1 ? xWeight
                       : nOnGround == 3 ? xWeight / 3
                                        : 0;
}
