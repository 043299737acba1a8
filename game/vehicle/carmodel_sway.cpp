// The body's sway on its springs: two spring states driven by the car's change of velocity, the
// first shifting load between the wheels, the second tilting the drawn body; and the drawn body
// following the physics body with a little lag, kept above the wheels.
#include "engine/common/dk_actor.h"
#include "game/race/gamedata.h"
#include "game/vehicle/carmodel_internal.h"

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int32_t kSpringStep = 0x13333;   // 1.2
constexpr int32_t kLeanPerCount = 13107;   // 0.2 degrees as 16.16
constexpr int32_t kDegreesPerAngle = 5760; // 16.16 degrees in one angle unit
constexpr int32_t kSnap = 66;              // a drawn row this near the physics row takes it

// What drives the springs: the change of velocity in car axes, the droop in the air, nothing
// for a car off its wheels or at rest.
DK_VECTOR SwayInput(const CarBody* pBody, const CarMechanics* pMech)
{
    DK_VECTOR input = {0, 0, 0};
    if (pBody->WheelsOnGround == 0)
    {
        const DK_VECTOR droop = {0, pMech->AirDroop, 0};
        DK_VECTOR seen;
        DkTransformPoint(&seen, &droop, &pBody->Matrix);
        input.y = seen.y > 0 ? seen.y : 0;
        return input;
    }
    if (!pMech->Upright || pBody->AtRest)
        return input;
    const DK_VECTOR change = VecSub(pBody->VelocityPrev, pBody->Velocity);
    DkTransformPoint(&input, &change, &pBody->Matrix);
    if (FfVecLength(&input) == 0)
        input = {0, 0, 0};
    return input;
}

void SpringStep(const CarMechanics* pMech, DK_VECTOR* pState, int32_t xSpring,
                const DK_VECTOR& input)
{
    const int32_t l = FfVecLength(pState);
    DK_VECTOR spring = {0, 0, 0};
    if (l > 0)
        spring = VecScaled(VecScaled(*pState, FfDiv(ONE, l)), FfNeg(FfMul(l, xSpring)));
    DK_VECTOR a = VecScaled(VecAdd(spring, input), FfMul(gStepScale, kSpringStep));
    // The horizontal change of a tick is limited; the vertical is not.
    const DK_VECTOR flat = {a.x, 0, a.z};
    const int32_t xFlat = FfVecLength(&flat);
    if (xFlat > pMech->SwayStepLimit && xFlat > 0)
    {
        const int32_t xShrink = FfDiv(pMech->SwayStepLimit, xFlat);
        a.x = FfMul(a.x, xShrink);
        a.z = FfMul(a.z, xShrink);
    }
    *pState = VecAdd(*pState, a);
}

int32_t Clamp(int32_t v, int32_t xLimit)
{
    return FfClamp(v, FfNeg(xLimit), xLimit);
}

// The sway matrix from a state: the up row leans by the state's clamped horizontal parts, and
// the body rises by its clamped vertical part.
void Tilt(CarMechanics* pMech, const DK_VECTOR& state, bool boUnclamped)
{
    const DK_VECTOR lean = boUnclamped
                               ? DK_VECTOR{state.x, pMech->SwayUpLength, FfNeg(state.z)}
                               : DK_VECTOR{Clamp(state.x, pMech->SwayLimitX), pMech->SwayUpLength,
                                           Clamp(state.z, pMech->SwayLimitZ)};
    const DK_VECTOR up = VecNormalised(lean);
    const DK_VECTOR row0 = VecNormalised(VecSub({ONE, 0, 0}, VecScaled(up, up.x)));
    const DK_VECTOR row2 = VecNormalised(VecCross(row0, up));
    const int32_t h = Clamp(FfMul(state.y, pMech->SwayHeightGain), pMech->SwayHeightLimit);
    const DK_VECTOR position = {0, FfAdd(h, pMech->SwayBaseHeight), 0};
    DK_MATRIX& sway = pMech->SwayMatrix;
    DkIdentityMatrix(&sway);
    FfMatSetRow0(&row0, &sway);
    FfMatSetRow1(&up, &sway);
    FfMatSetRow2(&row2, &sway);
    FfMatSetPosition(&position, &sway);
}

// The limiter's bounce leans the drawn body about its side axis, 0.2 degrees a count.
void Lean(CarMechanics* pMech, int nCount)
{
    DK_MATRIX turn;
    const DK_VECTOR axis = {0, 0, ONE};
    DkAxisAngleToMatrix(&turn, &axis, kLeanPerCount * nCount / kDegreesPerAngle);
    DK_MATRIX& sway = pMech->SwayMatrix;
    for (int r = 0; r < 3; ++r)
    {
        DK_VECTOR row;
        FfMatGetRow(&row, &sway, r);
        DK_VECTOR turned;
        DkTransformPointTransposed(&turned, &row, &turn);
        FfMatSetRow(&turned, &sway, r);
    }
}

} // namespace

void CarModel_UpdateLoadTransfer(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    const DK_VECTOR input = SwayInput(pBody, pMech);

    SpringStep(pMech, &pMech->SwayState, pMech->SwaySpring, input);
    Tilt(pMech, pMech->SwayState, false);
    const int32_t hx = pBody->HalfSize.x, hz = pBody->HalfSize.z;
    const DK_VECTOR corners[CAR_WHEELS] = {{hx, 0, hz}, {hx, 0, -hz}, {-hx, 0, hz}, {-hx, 0, -hz}};
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        DkTransformPointTransposed(&pMech->SwayCorner[w], &corners[w], &pMech->SwayMatrix);
        pMech->WheelSwayOffset[w] = pMech->SwayCorner[w].y;
    }

    // The drawn tilt answers twice as strongly across the car.
    const DK_VECTOR input2 = {input.x, input.y, FfMul(input.z, 2 * ONE)};
    SpringStep(pMech, &pMech->SwayState2, pMech->SwaySpring2, input2);
    Tilt(pMech, pMech->SwayState2, GameData_IsOptionSet(OPTION_FLAT_GRAVEL));
    if (pBody->LeanAngle != 0 && pMech->GearRatio[CarModel_GearIndex(pMech)] != 0)
        Lean(pMech, pBody->LeanAngle);

    if (pBody->WheelsOnGround == CAR_WHEELS)
        CarModel_SetWheelLoads();
    else
        for (int32_t& xLoad : pBody->PointLoad)
            xLoad = pBody->WheelLoad;
}

void CarModel_SetWheelLoads(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    int32_t m = 0;
    for (int32_t xOffset : pMech->WheelSwayOffset)
        if (FfAbs(xOffset) > m)
            m = FfAbs(xOffset);
    if (m > pMech->SwayOffsetLimit && m > 0)
    {
        const int32_t xShrink = FfDiv(pMech->SwayOffsetLimit, m);
        for (int32_t& xOffset : pMech->WheelSwayOffset)
            xOffset = FfMul(xOffset, xShrink);
    }
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        const int32_t xShift =
            FfAdd(FfMul(pMech->WheelSwayOffset[w], pMech->SwayLoadGain), pBody->AntiRoll[w]);
        pBody->PointLoad[w] = FfSub(pBody->Weight >> 2, FfMul(pMech->LoadTransferGain, xShift));
    }
}

void CarModel_UpdateDisplayBody(CarBody* pBody, CarMechanics* pMech)
{
    if (pBody == nullptr || pMech == nullptr)
        return;
    DK_MATRIX& drawn = pMech->DisplayMatrix;
    DK_VECTOR row0 = pBody->OrientRow0, up = pBody->UpAxis, row2 = pBody->OrientRow2;
    if (pBody->WheelsOnGround != 0 && pMech->Upright)
    {
        // The drawn up row follows the physics one, faster the further it lags.
        DK_VECTOR drawnUp, drawnRow2;
        FfMatGetRow1(&drawnUp, &drawn);
        FfMatGetRow2(&drawnRow2, &drawn);
        const DK_VECTOR d = VecSub(pBody->UpAxis, drawnUp);
        const int32_t l = FfVecLength(&d);
        int32_t f = pMech->FollowBase;
        if (l > pMech->FollowThreshold)
        {
            int32_t xMore = FfMul(FfSub(l, pMech->FollowThreshold), pMech->FollowGain);
            if (xMore > ONE)
                xMore = ONE;
            f = FfAdd(f, FfMul(xMore, pMech->FollowExtra));
        }
        const bool boUpSnaps = l < kSnap;
        if (!boUpSnaps)
            up = VecNormalised(VecAdd(drawnUp, VecScaled(d, f)));
        const DK_VECTOR d2 = VecSub(pBody->OrientRow2, drawnRow2);
        const bool boSideSnaps = FfVecLength(&d2) < kSnap;
        if (!boSideSnaps)
            row2 =
                VecSub(pBody->OrientRow2, VecScaled(up, FfMul(FfVecDot(&d2, &up), FfSub(ONE, f))));
        if (!boUpSnaps || !boSideSnaps)
        {
            row2 = VecNormalised(VecSub(row2, VecScaled(up, FfVecDot(&up, &row2))));
            row0 = VecNormalised(VecCross(up, row2));
        }
    }
    FfMatSetRow0(&row0, &drawn);
    FfMatSetRow1(&up, &drawn);
    FfMatSetRow2(&row2, &drawn);

    // Kept above the wheels: no sway corner, as drawn and seen from the physics body, lower than
    // the lowest height allowed.
    const int32_t h = pMech->SwayMatrix.m[3][1];
    int32_t xShortfall = 0;
    for (DK_VECTOR& corner : pMech->SwayCorner)
    {
        corner.y = FfAdd(corner.y, h);
        DK_VECTOR world, seen;
        DkTransformPointTransposed(&world, &corner, &drawn);
        DkTransformPoint(&seen, &world, &pBody->Matrix);
        const int32_t xShort = FfSub(pMech->MinCornerHeight, seen.y);
        if (xShort > xShortfall)
            xShortfall = xShort;
    }
    DK_VECTOR position = pBody->Position;
    if (xShortfall > 0)
        position = VecAdd(position, VecScaled(pBody->UpAxis, xShortfall));
    FfMatSetPosition(&position, &drawn);
}
