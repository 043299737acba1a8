// Small per-tick operations on a car's frame: the drawn wheels' spin and the wobble of damaged
// wheels, the top corners pushed out for object collisions, turning the body by a tick's
// angles, and the pull towards the remote cars of a network game.
#include "engine/common/dk_actor.h"
#include "game/race/gamedata.h"
#include "game/race/netplay.h"
#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/damage.h"

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
// One radian in angle units: the drawn spin's cap per tick.
constexpr int16_t kRadian = 651;
// 2^48 / (32 pi): 16.16 radians to angle units (4096 / (2 pi 65536)) as a 48-bit fraction.
constexpr int64_t kRadiansToAngle = 2799883368761LL;
constexpr int32_t kWobble = 0xA3D; // 0.04 of the wheel's damage
constexpr int32_t kPullReach = 3 * ONE;
constexpr int32_t kPullSpan = 150 * ONE;
constexpr int32_t kPullGain = 0x106; // 0.004
constexpr int32_t kNoseLength = 2 * ONE;

// w x 4096 / (2 pi 65536) truncated towards zero; |w| is at most 1.0.
int32_t RadiansToAngle(int32_t w)
{
    const int64_t nMagnitude = (static_cast<int64_t>(w < 0 ? -w : w) * kRadiansToAngle) >> 48;
    return static_cast<int32_t>(w < 0 ? -nMagnitude : nMagnitude);
}

int16_t AddAngle(int16_t nAngle, int32_t nDelta)
{
    return static_cast<int16_t>(static_cast<uint16_t>(nAngle) + static_cast<uint32_t>(nDelta));
}

void CornerOffsets(const CarBody* pBody, DK_VECTOR aOffset[4])
{
    const DK_VECTOR a = VecScaled(pBody->OrientRow0, pBody->FrontOverhang);
    const DK_VECTOR c = VecScaled(pBody->OrientRow0, pBody->RearOverhang);
    const DK_VECTOR b = VecScaled(pBody->OrientRow2, pBody->HalfTrack);
    aOffset[0] = VecAdd(a, b);
    aOffset[1] = VecSub(a, b);
    aOffset[2] = VecSub(b, c);
    aOffset[3] = VecSub(VecScaled(c, -ONE), b);
}

} // namespace

void CarModel_SpinWheels(CarBody* pBody, CarMechanics* pMech)
{
    const int nCar =
        pBody->nCarNumber >= 0 && pBody->nCarNumber < MAX_DAMAGE_RECORDS ? pBody->nCarNumber : 0;
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        const int32_t xSpin = pMech->WheelSpinSpeed[w];
        int16_t& nAngle = pBody->WheelSpinAngle[w];
        if (xSpin > ONE)
            nAngle = AddAngle(nAngle, -kRadian);
        else if (xSpin < -ONE)
            nAngle = AddAngle(nAngle, kRadian);
        else
            nAngle = AddAngle(nAngle, -RadiansToAngle(xSpin));

        const int32_t xDamage = gaDamage[nCar].DamageValue[w];
        if (xDamage <= 0)
        {
            pBody->WheelHubOffset[w][0] = pBody->WheelHubOffset[w][1] = 0;
            continue;
        }
        const int32_t xRadius = FfMul(xDamage, kWobble);
        const int32_t xSin = gaSinTable[nAngle & DK_ANGLE_MASK];
        const int32_t xCos = gaSinTable[(nAngle + DK_QUARTER_TURN) & DK_ANGLE_MASK];
        pBody->WheelHubOffset[w][0] = FfMul(xSin, xRadius);
        pBody->WheelHubOffset[w][1] = FfNeg(FfMul(xCos, xRadius));
    }
}

void CarModel_OffsetCorners(CarBody* pBody)
{
    DK_VECTOR aOffset[4];
    CornerOffsets(pBody, aOffset);
    for (int k = 0; k < 4; ++k)
        pBody->ContactPoint[4 + k] = VecAdd(pBody->ContactPoint[4 + k], aOffset[k]);
}

void CarModel_UnoffsetCorners(CarBody* pBody)
{
    DK_VECTOR aOffset[4];
    CornerOffsets(pBody, aOffset);
    for (int k = 0; k < 4; ++k)
        pBody->ContactPoint[4 + k] = VecSub(pBody->ContactPoint[4 + k], aOffset[k]);
}

void CarModel_RotateBody(const int16_t anAngles[3])
{
    CarBody* pBody = gpCurrentCarBody;
    CarModel_TurnRows(pBody->UpAxis, anAngles[1], &pBody->OrientRow0, &pBody->OrientRow2);
    CarModel_TurnRows(pBody->OrientRow2, anAngles[2], &pBody->OrientRow0, &pBody->UpAxis);
    CarModel_TurnRows(pBody->OrientRow0, anAngles[0], &pBody->UpAxis, &pBody->OrientRow2);
}

void CarModel_PullForce(const DK_VECTOR* pTowards, const DK_VECTOR* pFrom, DK_VECTOR* pOut)
{
    *pOut = {};
    const DK_VECTOR d = VecSub(*pTowards, *pFrom);
    // The largest component first, so that far-apart cars keep the length in range.
    int32_t xLargest = FfAbs(d.x);
    if (FfAbs(d.y) > xLargest)
        xLargest = FfAbs(d.y);
    if (FfAbs(d.z) > xLargest)
        xLargest = FfAbs(d.z);
    if (xLargest == 0)
        return;
    const DK_VECTOR v = {FfDiv(d.x, xLargest), FfDiv(d.y, xLargest), FfDiv(d.z, xLargest)};
    const int32_t xLength = FfVecLength(&v);
    const int32_t xDistance = FfMul(xLength, xLargest);
    if (xDistance < kPullReach)
        return;
    const DK_VECTOR u = {FfDiv(v.x, xLength), FfDiv(v.y, xLength), FfDiv(v.z, xLength)};
    int32_t xBeyond = FfSub(xDistance, kPullReach);
    if (xBeyond > kPullSpan)
        xBeyond = kPullSpan;
    *pOut = VecScaled(u, FfMul(xBeyond, kPullGain));
}

void CarModel_NetworkPull(void)
{
    if (!gboNetworkGame)
        return;
    CarBody* pCar = &gaCarBody[0];
    const DK_VECTOR local = VecAdd(pCar->Position, VecScaled(pCar->OrientRow0, kNoseLength));
    const DK_VECTOR arm = {kNoseLength, 0, 0};
    for (int nSlot = 0; nSlot < GAME_DATA_REMOTE_PLAYERS; ++nSlot)
    {
        if (!GameData_IsRemotePlayerActive(nSlot))
            continue;
        const NetPlayer& remote = gaNetPlayer[nSlot];
        const DK_VECTOR other = VecAdd(remote.Position, VecScaled(remote.Heading, kNoseLength));
        DK_VECTOR force;
        CarModel_PullForce(&other, &local, &force);
        DK_VECTOR inCar;
        DkTransformPoint(&inCar, &force, &pCar->Matrix);
        pCar->ExtForce = VecAdd(pCar->ExtForce, force);
        pCar->ExtTorque = VecAdd(pCar->ExtTorque, VecCross(inCar, arm));
    }
}

void CarModel_SyncFromActor(CarBody* pBody, CarMechanics* pMech)
{
    if (pBody->paCar == nullptr || pBody->paBodyDummy == nullptr ||
        pBody->paSpecialActor == nullptr)
        return;
    const DK_MATRIX& car = pBody->paCar->Local;
    FfMatGetRow0(&pBody->OrientRow0, &car);
    FfMatGetRow1(&pBody->UpAxis, &car);
    FfMatGetRow2(&pBody->OrientRow2, &car);
    FfMatGetPosition(&pBody->Position, &car);
    pBody->Speed = FfVecLength(&pBody->Velocity);
    CarModel_WriteMatrix(pBody);
    CarModel_UpdateCorners(pBody);
    FfMatCopy(&pBody->paSpecialActor->Local, &pMech->SwayMatrix);
    FfMatCopy(&pBody->paBodyDummy->Local, &pMech->DisplayMatrix);
    DkSetActorPosition(pBody->paCar, &pBody->Position);
    DkSetActorPosition(pBody->paBodyDummy, &pBody->Position);
    const int32_t hx = pBody->HalfSize.x, hz = pBody->HalfSize.z;
    const DK_VECTOR corners[CAR_WHEELS] = {{hx, 0, hz}, {hx, 0, -hz}, {-hx, 0, hz}, {-hx, 0, -hz}};
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        pMech->SwayCorner[w] = corners[w];
        pMech->WheelSwayOffset[w] = corners[w].y;
        pMech->SwayCorner[w].y = FfAdd(pMech->SwayCorner[w].y, pMech->SwayMatrix.m[3][1]);
    }
}
