// The body update: after the step has moved a car, the car is put back in touch with the
// ground. A driving car's up axis takes the ground's normal unless it is leaving the ground; a
// car tipped too far tumbles, its spin damped as its axes cross the ground's plane, until it
// lies on its wheels again or is stuck on its roof or side and settled for a rescue. The
// suspension follows the ground and the wheels shake on rough surfaces.
#include "game/effects/forcefeedback.h"
#include "game/effects/prangsnd.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/vehicle/carmodel_internal.h"

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int32_t HALF = 0x8000;
// Leaving the ground: faster than 0.1 along the normal at a standstill, 0 from a speed of 0.75.
constexpr int32_t kLeaveSpeed = 0x1999;
constexpr int32_t kLeaveFullSpeed = 0xC000;
constexpr int32_t kTipped = 0xB334;     // 0.7: the up axis this far off the ground tumbles
constexpr int32_t kLevel = 0xFD70;      // 0.99: a car at rest this level keeps its rows
constexpr int32_t kGroundSpin = 0x1EB8; // 0.12 of the roll and pitch kept on the ground a tick
constexpr int32_t kNearGround = 0x3333; // 0.2
constexpr int kCornerTicks = 100;
constexpr int32_t kLandingSpeed = 4 * ONE;
constexpr int32_t kLandingDepth = -2 * ONE;
constexpr int32_t kCrossingDepth = -3 * ONE;
constexpr int32_t kCrossingSpeed = -0x3333;    // -0.2 into the ground
constexpr int32_t kLowestWheelDamping = 0xCCC; // 0.05
constexpr int32_t kSettleStep = 0x28F;         // 0.01 a tick
constexpr int32_t kBackOnWheels = 0xE666;      // 0.9
constexpr int32_t kStillSpin = 0x28F;          // 0.01
// The spin damping of a tumbling car.
constexpr int32_t kSpinShare = 5 * ONE;
constexpr int32_t kMostSpinShare = 0xCCCC; // 0.8
constexpr int32_t kDampingA = 0x9999;      // 0.6
constexpr int32_t kDampingB = 0x6666;      // 0.4
constexpr int32_t kSlowDampingA = 0xCCCC;  // 0.8
constexpr int32_t kSlowDampingB = 0x9999;  // 0.6
constexpr int32_t kSlowSlide = HALF;
constexpr int32_t kOnEnd = 0xE666;    // 0.9
constexpr int32_t kOnRoof = 0xF333;   // 0.95
constexpr int32_t kOnSide = 0xF333;   // 0.95
constexpr int32_t kNearlyUp = 0xFC29; // 0.985
constexpr int8_t kFlipTicks = 10;
// The settling of a tumbling car's rows.
constexpr int32_t kSettleRate = 0x1555; // 1 / 12.0 a tick
constexpr int32_t kLevelUp = 0xFAE1;    // 0.98
constexpr int32_t kSideDown = 0x3333;   // 0.2
constexpr int32_t kNoseLevel = 0x1999;  // 0.1
// The suspension and the wheels' shake.
constexpr int32_t kSuspensionUp = 0xCCCD; // 0.8 and below relaxes
constexpr int32_t kFollowReach = 0x28F;   // 0.01
constexpr int32_t kFollowStep = 0x41;     // 0.001
constexpr int32_t kDegreesToAngle = 5760;
constexpr int16_t kShakeRunOut = 568;
constexpr int kTvCamera = 8;
constexpr int16_t kBounceDrop = 18;
constexpr int16_t kBounceStep = 91;
constexpr int32_t kBounceDepth = HALF;
constexpr int32_t kBounceHeight = 0x1999; // 0.1

void RemoveSpeedIntoGround(CarBody* pBody)
{
    const int32_t v = FfVecDot(&pBody->GroundNormal, &pBody->Velocity);
    if (v < 0)
        pBody->Velocity = VecSub(pBody->Velocity, VecScaled(pBody->GroundNormal, v));
}

// The rows as they were at the start of the step.
void TakeBackRows(CarBody* pBody)
{
    pBody->OrientRow0 = pBody->OrientPrev[0];
    pBody->UpAxis = pBody->OrientPrev[1];
    pBody->OrientRow2 = pBody->OrientPrev[2];
}

// The tumbling car strikes the ground at xSpeed, at the point xDepth down the ground's normal
// (within the body's box): damage, the sounds and the player's device. The velocity impulse
// the damage model reads is the car's own again afterwards.
void GroundImpact(CarBody* pBody, int32_t xSpeed, int32_t xDepth)
{
    const DK_VECTOR saved = pBody->ExtForce;
    pBody->ExtForce = {xSpeed, 0, 0};
    const DK_VECTOR offset = CarModel_ToCar(pBody, VecScaled(pBody->GroundNormal, xDepth));
    const DK_VECTOR& half = pBody->HalfSize;
    pBody->ImpactOffset = {FfClamp(offset.x, FfNeg(half.x), half.x),
                           FfClamp(offset.y, FfNeg(half.y), half.y),
                           FfClamp(offset.z, FfNeg(half.z), half.z)};
    int32_t nKind = 0;
    int32_t xStrength = 0;
    if (!GameData_IsOptionSet(OPTION_FLAT_GRAVEL))
        Damage_ApplyImpact(pBody, &nKind, &xStrength);
    const DK_VECTOR point = VecAdd(CarModel_ToWorld(pBody, pBody->ImpactOffset), pBody->Position);
    const int nCar = pBody->nCarNumber;
    // The ghost's car makes no sound and shakes nothing.
    if (!(nCar == 1 && Ghost_IsPlaying()))
    {
        if (nKind != 0)
            PrangSnd_PlayObjectHit(nKind, &point);
        if (xStrength > 0)
        {
            PrangSnd_PlayImpact(xStrength, &point, 0);
            ForceFeedback_Jolt(nCar, xStrength, HALF);
            ForceFeedback_Impact(nCar, &pBody->GroundNormal, FfMul(xStrength, 2 * ONE), HALF, 1);
        }
    }
    pBody->ExtForce = saved;
}

// A counter of ticks in a lying pose: past 10 it raises the pose's flag. A raised flag's counter
// belongs to the settling and is left alone.
void CountPose(bool boInPose, int8_t* pTicks, int32_t* pFlag)
{
    if (*pFlag)
        return;
    if (!boInPose)
    {
        *pTicks = 0;
        return;
    }
    if (*pTicks < INT8_MAX)
        ++*pTicks;
    if (*pTicks > kFlipTicks)
        *pFlag = 1;
}

// A car stuck on its roof or side: its axis eased onto the ground's normal on the side it
// already points to, for the settling's ticks, then a rescue.
void SettleStuck(CarBody* pBody, CarMechanics* pMech)
{
    const bool boRoof = pMech->UpsideDown != 0;
    DK_VECTOR* pAxis = boRoof ? &pBody->UpAxis : &pBody->OrientRow2;
    DK_VECTOR* pSecond = boRoof ? &pBody->OrientRow2 : &pBody->OrientRow0;
    DK_VECTOR* pThird = boRoof ? &pBody->OrientRow0 : &pBody->UpAxis;
    int8_t& nTicks = boRoof ? pMech->FlipTicksUp : pMech->FlipTicksSide;
    const bool boDownwards = boRoof || pBody->OrientRow2.y < 0;
    const DK_VECTOR target = VecScaled(pBody->GroundNormal, boDownwards ? -ONE : ONE);
    const DK_VECTOR gap = VecSub(target, *pAxis);
    const int32_t xGap = FfVecLength(&gap);
    if (xGap <= kSettleStep)
        *pAxis = target;
    else
    {
        DK_VECTOR step;
        FfVecDivide(&step, &gap, xGap);
        *pAxis = VecNormalised(VecAdd(*pAxis, VecScaled(step, kSettleStep)));
    }
    *pSecond = VecNormalised(VecSub(*pSecond, VecScaled(*pAxis, FfVecDot(pAxis, pSecond))));
    *pThird = VecCross(*pAxis, *pSecond);
    if (nTicks > 0)
        --nTicks;
    if (nTicks <= 0)
    {
        pMech->Stuck = 0;
        pMech->UpsideDown = pMech->OnSide = 0;
        pMech->FlipTicksUp = pMech->FlipTicksSide = 0;
        pBody->NeedsRescue = 1;
    }
}

// The wheel sunk deepest into the ground; a change of it takes a twentieth off the spin that
// is not about the ground's normal.
void FindLowestWheel(CarBody* pBody)
{
    int8_t nLowest = -1;
    int32_t xDeepest = 0;
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        const int32_t xDrop = w < 2 ? pBody->FrontWheelDrop : pBody->RearWheelDrop;
        const DK_VECTOR p = VecAdd(pBody->ContactPoint[w], VecScaled(pBody->UpAxis, xDrop));
        const int64_t nGround = (static_cast<int64_t>(pBody->PointGroundHeight[w]) +
                                 pBody->PointGroundHeight[w + CAR_WHEELS]) /
                                2;
        const int64_t nDepth = nGround - p.y;
        if (nDepth > xDeepest)
        {
            xDeepest = nDepth > INT32_MAX ? INT32_MAX : static_cast<int32_t>(nDepth);
            nLowest = static_cast<int8_t>(w);
        }
    }
    if (nLowest != -1 && nLowest != pBody->LowestWheel)
    {
        const DK_VECTOR g = CarModel_ToCar(pBody, pBody->GroundNormal);
        const DK_VECTOR& spin = pBody->AngularVelocity;
        const DK_VECTOR rest = VecSub(spin, VecScaled(g, FfVecDot(&g, &spin)));
        pBody->AngularVelocity = VecSub(spin, VecScaled(rest, kLowestWheelDamping));
    }
    pBody->LowestWheel = nLowest;
    pBody->LowestWheelDepth = xDeepest;
}

// The matrix from the rows and the position; a leaning drawn body turns rows 1 and 2 about
// row 0 while the physics rows stay.
void WriteDrawnMatrix(CarBody* pBody)
{
    CarModel_WriteMatrix(pBody);
    if (pBody->RollAngle == 0)
        return;
    DK_VECTOR up = pBody->UpAxis;
    DK_VECTOR side = pBody->OrientRow2;
    CarModel_TurnRows(pBody->OrientRow0, pBody->RollAngle, &up, &side);
    FfMatSetRow1(&up, &pBody->Matrix);
    FfMatSetRow2(&side, &pBody->Matrix);
}

struct Shake
{
    int32_t xRate; // 16.16 degrees a tick at a speed of 1.0
    int32_t xAmplitude;
};

// Rough surfaces shake the wheels: gravel roads lightly, quarries, grass, mud banks, sand,
// water and litter more, ploughed mud and rock most.
Shake ShakeOf(int nSurface)
{
    auto in = [nSurface](int lo, int hi) { return nSurface >= lo && nSurface <= hi; };
    if (in(10, 13) || in(16, 17))
        return {200 * ONE, 0x3D7};
    if (in(14, 15) || in(20, 29) || in(40, 42) || nSurface == 45 || in(71, 72) || in(80, 83) ||
        in(98, 101))
        return {200 * ONE, 0x666};
    if (nSurface == 43 || in(90, 93))
        return {300 * ONE, 0xB85};
    return {0, 0};
}

int32_t Sine(int32_t nAngle)
{
    return gaSinTable[nAngle & DK_ANGLE_MASK];
}

// The wheels' travel follows the ground for the drawn wheels, and their shake on rough ground.
void FollowAndShake(CarBody* pBody, const CarMechanics* pMech, const int32_t axDepth[CAR_WHEELS])
{
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        int32_t x = FfClamp(FfSub(axDepth[w], pBody->SuspTravel[w]), -kFollowReach, kFollowReach);
        x = FfClamp(FfSub(x, pBody->SuspFollow[w]), -kFollowStep, kFollowStep);
        pBody->SuspFollow[w] = FfAdd(pBody->SuspFollow[w], x);

        const Shake shake = ShakeOf(pMech->WheelSurface[w]);
        int16_t& nPhase = pBody->WheelShakePhase[w];
        if (shake.xRate != 0 && pBody->PointOffGround[w] == 0 && pMech->Upright)
        {
            int32_t s =
                FfSub(pBody->Speed, FfVecDot(&pBody->PointVelocity[w], &pBody->GroundNormal));
            if (s > ONE)
                s = ONE;
            nPhase = static_cast<int16_t>((nPhase + FfMul(s, shake.xRate) / kDegreesToAngle) &
                                          DK_ANGLE_MASK);
        }
        else if (nPhase != 0)
        {
            const int nNext = nPhase + kShakeRunOut;
            nPhase = static_cast<int16_t>(nNext >= DK_ANGLE_MASK + 1 ? 0 : nNext);
        }
        if (nPhase != 0)
            pBody->WheelShake[w] = FfMul(Sine(nPhase), shake.xAmplitude);
    }
}

// On flat gravel only wheel 0 moves: it drops in, then bounces.
void BounceWheel(CarBody* pBody)
{
    int16_t& nPhase = pBody->WheelShakePhase[0];
    int32_t& xShake = pBody->WheelShake[0];
    if (xShake < 0)
    {
        const int nCar = pBody->nCarNumber;
        if (nCar >= 0 && nCar < CAMERA_PLAYERS && gaPlayerView[nCar].nCameraType == kTvCamera)
            return;
        nPhase = static_cast<int16_t>((nPhase + kBounceDrop) & DK_ANGLE_MASK);
        xShake = FfMul(Sine(nPhase - DK_QUARTER_TURN), kBounceDepth);
        if (xShake >= 0)
            nPhase = static_cast<int16_t>(FfAsin(FfSub(FfMul(xShake, 10 * ONE), ONE)));
        return;
    }
    nPhase = static_cast<int16_t>((nPhase + kBounceStep) & DK_ANGLE_MASK);
    xShake = FfMul(FfAdd(Sine(nPhase), ONE), kBounceHeight);
}

// The ground under the wheels for a car on its wheels. A car on its nose, tail or side fits
// the ground's normal under a face with two body corners, which the wheels' query puts far
// under the ground: its ground is taken under all eight points, or the nonsense normal would
// keep it "leaving the ground" above the ground for good.
void QueryGround(CarBody* pBody, CarMechanics* pMech)
{
    const int32_t xUp = FfAbs(pBody->UpAxis.y);
    if (xUp >= FfAbs(pBody->OrientRow0.y) && xUp >= FfAbs(pBody->OrientRow2.y))
        CarModel_UpdateWheelContacts(pBody, pMech);
    else
        CarModel_UpdateBodyContacts(pBody, pMech);
}

} // namespace

void CarModel_UpdateBody(CarBody* pBody, CarMechanics* pMech)
{
    if (pBody == nullptr || pMech == nullptr)
        return;
    gpCurrentCarBody = pBody;
    gpCurrentCarMechanics = pMech;
    pBody->GroundNormalPrev = pBody->GroundNormal;
    for (int w = 0; w < CAR_WHEELS; ++w)
        pBody->PointNormalPrev[w] = pBody->PointNormal[w];
    if (pBody->Rolling)
    {
        CarModel_UpdateRolling(pBody, pMech);
        return;
    }

    bool boQueried = false;
    if (pBody->AllPointsOff == 1)
    {
        QueryGround(pBody, pMech);
        CarModel_UpdateTouchingPoints();
        boQueried = true;
    }
    if (pBody->AllPointsOff == 0)
    {
        if (!boQueried)
            QueryGround(pBody, pMech);
        const DK_VECTOR oldNormal = pBody->GroundNormal;
        CarModel_GroundNormal();
        const int32_t v = FfVecDot(&pBody->GroundNormal, &pBody->Velocity);
        int32_t t = FfMul(pBody->Speed, FfDiv(ONE, kLeaveFullSpeed));
        if (t > ONE)
            t = ONE;
        if (v > FfMul(FfSub(ONE, t), kLeaveSpeed))
            pBody->GroundNormal = oldNormal; // leaving the ground: the rows stay as they fly
        else
        {
            const int32_t c = FfVecDot(&pBody->UpAxis, &pBody->GroundNormal);
            bool boTipped = false;
            if (c < kTipped)
            {
                pBody->Rolling = pBody->RollStarted = 1;
                boTipped = true;
            }
            else if (!pBody->AtRest || c < kLevel)
                CarModel_AlignToGround(pBody);
            else
                TakeBackRows(pBody);
            CarModel_TakeAxisDots(pBody);
            CarModel_WriteMatrix(pBody);
            CarModel_UpdateCorners(pBody);
            if (boTipped)
                CarModel_UpdateBodyContacts(pBody, pMech);
            else
                CarModel_UpdateWheelContacts(pBody, pMech);
        }
        CarModel_LiftOutOfGround();
        CarModel_UpdateTouchingPoints();
        if (pBody->AllPointsOff == 0)
        {
            const int32_t s = FfMul(kGroundSpin, gStepScale);
            if (v < 0)
                pBody->Velocity = VecSub(pBody->Velocity, VecScaled(pBody->GroundNormal, v));
            pBody->AngularVelocity.x = FfMul(pBody->AngularVelocity.x, s);
            pBody->AngularVelocity.z = FfMul(pBody->AngularVelocity.z, s);
        }
    }
    CarModel_UpdateSuspension();
    WriteDrawnMatrix(pBody);
    pBody->LowestWheelDepth = 0;
}

void CarModel_UpdateRolling(CarBody* pBody, CarMechanics* pMech)
{
    if (pBody == nullptr || pMech == nullptr)
        return;
    gpCurrentCarBody = pBody;
    gpCurrentCarMechanics = pMech;
    const bool boTouchedBefore = pBody->AllPointsOff == 0;
    if (pMech->Stuck)
        SettleStuck(pBody, pMech);
    else if (pMech->RescueActive)
    {
        // Held where it was while the rescue fades it out.
        TakeBackRows(pBody);
        pBody->Position = pBody->PositionPrev;
    }
    else
    {
        bool boCornerDown = false;
        for (int i = CAR_WHEELS; i < CAR_POINTS; ++i)
            boCornerDown = boCornerDown || pBody->PointOffGround[i] == 0;
        if (boCornerDown)
        {
            if (pBody->RollTicks < kCornerTicks)
                ++pBody->RollTicks;
            else
                pBody->NeedsRescue = 1;
        }
    }
    if (pBody->UpAxis.y < 0)
        pBody->WasUpsideDown = 1;

    CarModel_UpdateBodyContacts(pBody, pMech);
    CarModel_UpdateTouchingPoints();
    if (pBody->AllPointsOff)
    {
        bool boNear = false;
        for (int i = 0; i < CAR_POINTS; ++i)
            boNear = boNear ||
                     static_cast<int64_t>(pBody->ContactPoint[i].y) - pBody->PointGroundHeight[i] <=
                         kNearGround;
        if (boNear)
        {
            CarModel_GroundNormal();
            CarModel_RollDamping();
        }
    }
    else
    {
        CarModel_GroundNormal();
        CarModel_LiftOutOfGround();
        CarModel_UpdateTouchingPoints();
        if (!boTouchedBefore && pBody->PointsTouching > 0)
        {
            const int i = pBody->TouchingList[0];
            if (i >= 0 && i < CAR_POINTS)
            {
                const int32_t v = FfVecDot(&pBody->PointVelocity[i], &pBody->GroundNormal);
                GroundImpact(pBody, FfMul(kLandingSpeed, v), kLandingDepth);
            }
        }
        else
            CarModel_RollDamping();
        RemoveSpeedIntoGround(pBody);
    }
    CarModel_TakeAxisDots(pBody);

    FindLowestWheel(pBody);
    CarModel_SettleOrientation(1);
    CarModel_UpdateSuspension();

    if (pBody->AxisDotGround[1] < 0)
        pBody->RollStarted = 1;
    const DK_VECTOR& spin = pBody->AngularVelocity;
    if (pBody->JumpTicks == 0 && pBody->AxisDotGround[1] > kBackOnWheels &&
        FfAbs(spin.x) < kStillSpin && FfAbs(spin.z) < kStillSpin)
        pBody->Rolling = pBody->RollStarted = 0;
}

void CarModel_RollDamping(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    const DK_VECTOR& normal = pBody->GroundNormal;
    int32_t s = FfMul(FfVecLength(&pBody->AngularVelocity), kSpinShare);
    if (s > kMostSpinShare)
        s = kMostSpinShare;
    int32_t kA = FfMul(kDampingA, FfSub(ONE, s));
    int32_t kB = FfMul(kDampingB, FfSub(ONE, s));
    if (FfSub(pBody->Speed, FfAbs(FfVecDot(&normal, &pBody->Velocity))) < kSlowSlide)
    {
        kA = kSlowDampingA;
        kB = kSlowDampingB;
    }

    const DK_VECTOR* apRow[3] = {&pBody->OrientRow0, &pBody->UpAxis, &pBody->OrientRow2};
    DK_VECTOR aFlat[3];
    bool abCrossed[3];
    for (int k = 0; k < 3; ++k)
    {
        const int32_t d = FfVecDot(apRow[k], &normal);
        aFlat[k] = VecNormalised(VecSub(*apRow[k], VecScaled(normal, d)));
        abCrossed[k] = OppositeSigns(d, pBody->AxisDotGround[k]);
        pBody->AxisDotGround[k] = d;
    }
    const int32_t* d = pBody->AxisDotGround;
    CountPose(FfAbs(d[0]) > kOnEnd, &pMech->FlipTicksEnd, &pMech->OnEnd);
    CountPose(d[1] < -kOnRoof, &pMech->FlipTicksUp, &pMech->UpsideDown);
    CountPose(FfAbs(d[2]) > kOnSide, &pMech->FlipTicksSide, &pMech->OnSide);

    // An axis crossing the ground's plane loses its spin about the line it crosses on.
    DK_VECTOR& spin = pBody->AngularVelocity;
    for (int k = 0; k < 3; ++k)
    {
        if (!abCrossed[k])
            continue;
        const DK_VECTOR a = VecNormalised(VecCross(aFlat[k], normal));
        const int32_t k2 = k == 1 || d[1] < kNearlyUp ? kB : kA;
        const DK_VECTOR loss = VecScaled(a, FfMul(FfVecDot(&a, &spin), k2));
        if (k == 1)
            spin = VecSub(spin, loss);
        else
        {
            spin.x = FfSub(spin.x, loss.x);
            spin.z = FfSub(spin.z, loss.z);
        }
    }
    if (!abCrossed[0] && !abCrossed[1] && !abCrossed[2])
        return;
    for (int i = 0; i < CAR_POINTS; ++i)
    {
        const int32_t v = FfVecDot(&pBody->PointVelocity[i], &normal);
        if (v < kCrossingSpeed)
        {
            GroundImpact(pBody, v, kCrossingDepth);
            break;
        }
    }
}

void CarModel_SettleOrientation(int nStrong)
{
    CarBody* pBody = gpCurrentCarBody;
    const int32_t xBase = nStrong ? HALF : 0x1999;
    const int32_t xGain = nStrong ? HALF : 0x4CCC;
    const int32_t k = FfMul(FfDiv(ONE, kSettleRate), gStepScale);
    auto weight = [&](int32_t xMoved)
    {
        int32_t w = FfMul(xMoved, k);
        if (w > ONE)
            w = ONE;
        return FfAdd(FfMul(w, xGain), xBase);
    };

    if (FfAbs(pBody->AxisDotGround[1]) > kLevelUp)
    {
        const DK_VECTOR& before = pBody->OrientPrev[1];
        const DK_VECTOR d = VecSub(pBody->UpAxis, before);
        const int32_t xMoved = FfVecLength(&d);
        if (xMoved > 0)
            pBody->UpAxis = VecNormalised(VecAdd(before, VecScaled(d, weight(xMoved))));
    }
    if (FfAbs(pBody->AxisDotGround[2]) > kSideDown && FfAbs(pBody->AxisDotGround[0]) < kNoseLevel)
    {
        const DK_VECTOR& up = pBody->UpAxis;
        DK_VECTOR d = VecSub(pBody->OrientRow2, pBody->OrientPrev[2]);
        d = VecSub(d, VecScaled(up, FfVecDot(&up, &d)));
        const int32_t xMoved = FfVecLength(&d);
        if (xMoved > 0)
            pBody->OrientRow2 =
                VecNormalised(VecSub(pBody->OrientRow2, VecScaled(d, FfSub(ONE, weight(xMoved)))));
    }
    const DK_VECTOR& up = pBody->UpAxis;
    pBody->OrientRow2 =
        VecNormalised(VecSub(pBody->OrientRow2, VecScaled(up, FfVecDot(&up, &pBody->OrientRow2))));
    pBody->OrientRow0 = VecNormalised(VecCross(up, pBody->OrientRow2));
    CarModel_WriteMatrix(pBody);
}

void CarModel_UpdateSuspension(void)
{
    CarBody* pBody = gpCurrentCarBody;
    const CarMechanics* pMech = gpCurrentCarMechanics;
    const DK_VECTOR& normal = pBody->GroundNormal;
    const int32_t c = FfVecDot(&pBody->UpAxis, &normal);
    // Each wheel's depth in the ground measured along the vertical.
    int32_t axDepth[CAR_WHEELS];
    for (int w = 0; w < CAR_WHEELS; ++w)
        axDepth[w] =
            FfNeg(FfMul(FfSub(pBody->ContactPoint[w].y, pBody->PointGroundHeight[w]), normal.y));

    if (c < kSuspensionUp)
    {
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            pBody->SuspTravel[w] = FfApproach(pBody->SuspTravel[w], 0, pMech->SuspRelax);
            pBody->AntiRoll[w] = 0;
        }
    }
    else
    {
        const int32_t xLimit = FfMul(pMech->SuspRelax, c);
        const int32_t q = FfDiv(ONE, c);
        int32_t axTravel[CAR_WHEELS];
        int64_t nSum = 0;
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            axTravel[w] = FfMul(axDepth[w], q);
            pBody->SuspTravel[w] = FfClamp(FfApproach(pBody->SuspTravel[w], axTravel[w], xLimit),
                                           FfNeg(pMech->SuspTravelMax), pMech->SuspTravelMax);
            nSum += axTravel[w];
        }
        const int32_t xMean = static_cast<int32_t>(nSum / CAR_WHEELS);
        int32_t xLargest = 0;
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            pBody->AntiRoll[w] = FfMul(FfSub(axTravel[w], xMean), pMech->AntiRollGain);
            if (FfAbs(pBody->AntiRoll[w]) > xLargest)
                xLargest = FfAbs(pBody->AntiRoll[w]);
        }
        if (xLargest > ONE)
            for (int32_t& xRoll : pBody->AntiRoll)
                xRoll = FfDiv(xRoll, xLargest);
    }

    if (GameData_IsOptionSet(OPTION_FLAT_GRAVEL))
        BounceWheel(pBody);
    else if (!pBody->Rolling)
        FollowAndShake(pBody, pMech, axDepth);
}

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

void CarModel_ResetToGround(CarBody* pBody, CarMechanics* pMech)
{
    if (pBody == nullptr || pMech == nullptr)
        return;
    gpCurrentCarBody = pBody;
    gpCurrentCarMechanics = pMech;
    CarModel_AlignToGround(pBody);
    pBody->Velocity = pBody->VelocityPrev = pBody->AngularVelocity = {};
    pBody->Speed = 0;
    pMech->Throttle = pMech->BrakeInput = pMech->HandbrakeTorque = 0;
    pMech->AccelControl = pMech->BrakeControl = pMech->SteerControl = 0;
    pMech->AccelHeld = pMech->BrakeHeld = pMech->HandbrakeOn = 0;
    pMech->SteerAngle = pMech->TargetSteerAngle = 0;
    pMech->EngineRevs = pMech->EngineRevsPrev = pMech->EngineTarget = 0;
    for (int w = 0; w < CAR_WHEELS; ++w)
        pMech->WheelSpeed[w] = pMech->WheelSpinSpeed[w] = 0;
    pMech->Gear = 1;
    pMech->ClutchOut = 0;
    CarModel_WriteMatrix(pBody);
    CarModel_UpdateCorners(pBody);
    pBody->AxisDotGround[0] = pBody->AxisDotGround[2] = 0;
    pBody->AxisDotGround[1] = ONE;
}
