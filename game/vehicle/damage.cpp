#include "game/vehicle/damage.h"

#include "engine/include/dk_ff.h"
#include "game/vehicle/carmodel.h"

DamageRecord gaDamage[MAX_DAMAGE_RECORDS];

namespace
{

constexpr int32_t kLeastImpact = 0x2624; // 0.149
constexpr int32_t kImpactSpan = 68420;   // 1.044
int gnWobbleCalls = 0;
int gnLastWobblePosition = -1;
int gnWaterCalls = 0;
const CarBody* gpLastWaterBody = nullptr;

} // namespace

void Damage_UpdateWobble(int nListPosition)
{
    ++gnWobbleCalls;
    gnLastWobblePosition = nListPosition;
}

void Damage_UpdateWater(CarBody* pBody, CarMechanics* /*pMechanics*/)
{
    ++gnWaterCalls;
    gpLastWaterBody = pBody;
}

void Damage_ApplyImpact(CarBody* pBody, int32_t* pnKind, int32_t* pxStrength)
{
    int32_t xStrength = 0;
    if (pBody != nullptr)
    {
        const int32_t xSpeed = FfVecLength(&pBody->ExtForce);
        if (xSpeed >= kLeastImpact)
        {
            xStrength = FfDiv(FfSub(xSpeed, kLeastImpact), kImpactSpan);
            if (xStrength > DK_FIXED_ONE)
                xStrength = DK_FIXED_ONE;
        }
    }
    if (pnKind != nullptr)
        *pnKind = 0;
    if (pxStrength != nullptr)
        *pxStrength = xStrength;
}

int Damage_GetWobbleCallsForTests(void)
{
    return gnWobbleCalls;
}

int Damage_GetLastWobblePositionForTests(void)
{
    return gnLastWobblePosition;
}

int Damage_GetWaterCallsForTests(void)
{
    return gnWaterCalls;
}

const CarBody* Damage_GetLastWaterBodyForTests(void)
{
    return gpLastWaterBody;
}

void Damage_ResetForTests(void)
{
    gnWobbleCalls = 0;
    gnLastWobblePosition = -1;
    gnWaterCalls = 0;
    gpLastWaterBody = nullptr;
}
