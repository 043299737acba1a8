// The body forces: the steering's turn of the heading with its side force and the slope's
// braking, the tip of a car on a steep slope or in a wide slide, the timed jump, then the sum of
// the tick's forces and torques, the drag, and the integration of velocity, spin, position and
// orientation.
#include "game/effects/forcefeedback.h"
#include "game/effects/prangsnd.h"
#include "game/race/gamedata.h"
#include "game/race/netplay.h"
#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/carmodel_surfaces.h"

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int32_t kYawScale = 1000 * ONE;
constexpr int32_t kYawDamping = 1572; // 0.024 a tick
constexpr int32_t kYawUnscale = 65;   // 0.001
constexpr int32_t kSteerPull = 9732;  // 0.1485 of the speed
constexpr int32_t kHeadingStep = 786; // 0.012 a tick
constexpr int32_t kSideForce = 30 * ONE;
constexpr int32_t kTipSlope = 342; // 30 degrees
constexpr int32_t kTipLever = 40 * ONE;
constexpr uint16_t kTipSteps = 200;
constexpr int32_t kTipDivisor = 4395368; // 67.068: the tip limits' bytes as slide speeds
constexpr int32_t kTipStep = 6553;       // 0.1 a tick
constexpr int32_t kTipOver = 52428;      // 0.8
constexpr int32_t kTipKick = -10 * ONE;
constexpr int64_t kRollTorque = 3000LL * ONE;
constexpr int32_t kAccelStep = 0x3333; // 0.2
constexpr int32_t kSpinClamp = 0x3333; // 0.2 while tipping on a slope
constexpr int32_t kRadianToAngle = 651;
constexpr int kStillAngle = 10;
constexpr int32_t kLevelEnough = 0xCCCC; // 0.8
constexpr int32_t kMovingSpeed = 3276;   // 0.05
constexpr int32_t kRestSpeed = 2621;     // 0.04
// The jump: 4 seconds in all, pitching for the first 0.2 and pushing for the first 0.4.
constexpr int kJumpSeconds = 4;
constexpr int32_t kJumpPitch = 7 * ONE;       // raw, over 5760, the pitch a tick
constexpr int32_t kDegreesToAngle = 5760;     // 16.16 degrees to 4096 units
constexpr int32_t kJumpLift = 0x4CCC;         // 0.3
constexpr int32_t kJumpThrust = 0x8000;       // 0.5
constexpr int32_t kJumpRollDamping = 62259;   // 0.95
constexpr int32_t kJumpJoltLength = 0x4CCC;   // 0.3
constexpr int32_t kJumpImpactLength = 0x1999; // 0.1

void StartRolling(CarBody* pBody)
{
    pBody->Rolling = 1;
    CarModel_TakeAxisDots(pBody);
}

// A wheel pair's tip limit as a sideways slide speed: the mean of the four wheels' bytes.
int32_t TipSpeed(const CarMechanics* pMech, bool boFullRoll)
{
    int32_t nSum = 0;
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        const carsurfaces::TipLimits& limits =
            gaSurfaceTipLimits[SurfaceRow(pMech->WheelSurface[w])];
        nSum += boFullRoll ? limits.nFullRoll : limits.nThreshold;
    }
    return FfDiv(nSum * (ONE / 4), kTipDivisor);
}

int16_t ToAngle(int32_t xRadians)
{
    return static_cast<int16_t>(FfMul(xRadians, kRadianToAngle));
}

bool Small(int16_t nAngle)
{
    return nAngle > -kStillAngle && nAngle < kStillAngle;
}

} // namespace

void CarModel_SteerAndSlide(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    if (pBody->WheelsOnGround <= 0 || !pMech->Upright)
        return;

    // The yaw's damping, worked at a thousand times the spin.
    int32_t w = FfMul(pBody->AngularVelocity.y, kYawScale);
    w = FfSub(w, FfMul(w, FfMul(kYawDamping, gStepScale)));
    pBody->AngularVelocity.y = FfMul(w, kYawUnscale);

    // The heading drawn towards the steered wheels, by at most 0.012 a tick.
    const int32_t nAngle = pMech->SteerAngle;
    const DK_VECTOR steerCar = {gaSinTable[(nAngle + DK_QUARTER_TURN) & DK_ANGLE_MASK], 0,
                                FfNeg(gaSinTable[nAngle & DK_ANGLE_MASK])};
    DK_VECTOR steer = VecScaled(CarModel_ToWorld(pBody, steerCar), FfMul(pBody->Speed, kSteerPull));
    if (FfVecDot(&pBody->Velocity, &pBody->OrientRow0) < 0)
        steer = VecScaled(steer, -ONE);
    const DK_VECTOR n = VecNormalised(VecAdd(pBody->OrientRow0, steer));
    const DK_VECTOR diff = VecSub(n, pBody->OrientRow0);
    const int32_t d = FfVecLength(&diff);
    const int32_t xLimit = FfMul(kHeadingStep, gStepScale);
    if (d < xLimit || d == 0)
        pBody->OrientRow0 = n;
    else
    {
        DK_VECTOR step;
        FfVecDivide(&step, &diff, d);
        pBody->OrientRow0 = VecNormalised(VecAdd(pBody->OrientRow0, VecScaled(step, xLimit)));
    }
    const DK_VECTOR& forward = pBody->OrientRow0;
    pBody->OrientRow2 = VecNormalised(
        VecSub(pBody->OrientRow2, VecScaled(forward, FfVecDot(&forward, &pBody->OrientRow2))));
    pBody->UpAxis = VecNormalised(VecCross(pBody->OrientRow2, forward));

    // The steering's side force on the front points while the car moves across the ground.
    const DK_VECTOR& up = pBody->UpAxis;
    const DK_VECTOR across =
        VecSub(pBody->Velocity, VecScaled(up, FfVecDot(&up, &pBody->Velocity)));
    if (FfVecLength(&across) > 0)
    {
        int32_t k = FfMul(FfMul(kSideForce, pBody->Speed), pMech->SteerControl);
        if (pMech->HandbrakeOn)
            k = FfMul(k, 3 * ONE);
        if (GameData_IsOptionSet(OPTION_SWAPPED_FRAMES))
            k = FfNeg(k);
        const DK_VECTOR f = VecScaled(pBody->OrientRow2, k);
        pBody->PointForce[0] = VecAdd(pBody->PointForce[0], f);
        pBody->PointForce[1] = VecAdd(pBody->PointForce[1], f);
    }

    // Running onto a slope that falls away less (or rises) than the last brakes the car.
    DK_VECTOR h = {pBody->Velocity.x, 0, pBody->Velocity.z};
    if (h.x == 0 && h.z == 0)
        return;
    h = VecNormalised(h);
    const int32_t dn =
        FfSub(FfVecDot(&h, &pBody->GroundNormalPrev), FfVecDot(&h, &pBody->GroundNormal));
    if (dn > pMech->SlopeChangeThreshold)
    {
        int32_t k = FfMul(dn, pMech->SlopeChangeGain);
        if (k > ONE)
            k = ONE;
        pBody->Velocity = VecScaled(pBody->Velocity, FfSub(ONE, k));
    }
}

void CarModel_RollOver(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    if (pBody->WheelsOnGround == 0 && pBody->PointsTouching == 0)
        return;

    // On a slope of 30 degrees or more gravity tips the car over the downhill side, harder
    // each tick for 200 ticks; a wall holds it.
    const DK_VECTOR& normal = pBody->GroundNormal;
    const int32_t nSlope = normal.y < ONE ? DK_QUARTER_TURN - FfAsin(normal.y) : 0;
    if (nSlope < kTipSlope || pBody->WallHit)
        pBody->SlopeTipCounter = 0;
    else
    {
        const DK_VECTOR p = CarModel_ToCar(pBody, VecScaled(normal, kTipLever));
        const int32_t xShare = pBody->SlopeTipCounter * FfMul(FfDiv(ONE, 200 * ONE), ONE / 2);
        const DK_VECTOR q = CarModel_ToCar(pBody, VecScaled(pBody->GravityForce, xShare));
        const DK_VECTOR t = VecScaled(VecCross(q, p), pBody->InverseWeight);
        if (pBody->Rolling == 0)
            StartRolling(pBody);
        pBody->ExtTorque = VecAdd(pBody->ExtTorque, t);
        if (pBody->SlopeTipCounter < kTipSteps)
            ++pBody->SlopeTipCounter;
    }

    if (pBody->Rolling != 0)
        return;
    // A slide across the car beyond its wheels' surfaces' threshold leans it, and past 0.8 of
    // the way to the full-roll slide turns it over.
    const int32_t xStart = TipSpeed(pMech, false);
    const DK_VECTOR sideways = VecNormalised(
        VecSub(pBody->OrientRow2, VecScaled(normal, FfVecDot(&normal, &pBody->OrientRow2))));
    const int32_t vs = FfVecDot(&sideways, &pBody->Velocity);
    int32_t r = 0;
    if (FfAbs(vs) > xStart)
    {
        const int32_t xSpan = FfSub(TipSpeed(pMech, true), xStart);
        r = FfClamp(FfDiv(vs <= 0 ? FfAdd(vs, xStart) : FfSub(vs, xStart), xSpan), -ONE, ONE);
    }
    pBody->TipValue = FfApproach(pBody->TipValue, r, kTipStep);
    if (FfAbs(pBody->TipValue) > kTipOver)
        ++pBody->TipCounter;
    else
        pBody->TipCounter = 0;
    pBody->RollAngle = static_cast<int16_t>(FfAtan(pBody->TipValue, 2 * ONE));
    if (pBody->TipCounter > 0)
    {
        pBody->RollAngle = 0;
        pBody->TipCounter = 0;
        StartRolling(pBody);
        pBody->ExtTorque.x = FfAdd(pBody->ExtTorque.x, FfMul(vs, kTipKick));
    }
}

void CarModel_JumpBoost(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    if (!GameData_IsOptionSet(OPTION_TIMED_JUMP))
        return;
    const int nRate = CarModel_TicksPerSecond();
    if (pMech->JumpControl && pBody->JumpTicks == 0 && pMech->Upright &&
        pBody->WheelsOnGround > 0 && pMech->GearRatio[CarModel_GearIndex(pMech)] > 0)
        pBody->JumpTicks = static_cast<uint8_t>(kJumpSeconds * nRate);
    if (pBody->JumpTicks == 0)
        return;

    const int nTicks = pBody->JumpTicks;
    const int nCar = pBody->nCarNumber;
    if (nTicks == kJumpSeconds * nRate)
    {
        PrangSnd_PlayImpact(ONE, &pBody->Position, 0);
        ForceFeedback_Jolt(nCar, ONE, kJumpJoltLength);
        const DK_VECTOR back = VecScaled(pBody->OrientRow0, -ONE);
        ForceFeedback_Impact(nCar, &back, ONE, kJumpImpactLength, 1);
    }
    // Above 3.8 and 3.6 seconds left: 19 and 18 twentieths of the jump.
    if (nTicks * 20 > 19 * kJumpSeconds * nRate)
        CarModel_TurnRows(pBody->OrientRow2, FfMul(kJumpPitch, gStepScale) / kDegreesToAngle,
                          &pBody->OrientRow0, &pBody->UpAxis);
    if (nTicks * 20 > 18 * kJumpSeconds * nRate)
    {
        const DK_VECTOR push =
            VecAdd(VecScaled(pBody->UpAxis, kJumpLift), VecScaled(pBody->OrientRow0, kJumpThrust));
        pBody->ExtForce = VecAdd(pBody->ExtForce, push);
        pBody->Rolling = 1;
    }
    pBody->AngularVelocity.z = FfMul(pBody->AngularVelocity.z, kJumpRollDamping);
    --pBody->JumpTicks;
}

void CarModel_IntegrateBody(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    CarModel_SteerAndSlide();
    CarModel_RollOver();
    CarModel_JumpBoost();
    if (GameData_IsOptionSet(OPTION_NETWORK_PULL))
        CarModel_NetworkPull();

    // The forces: gravity, the body points' own, the tyres' on the wheels down; the torques of
    // every touching point's ground force and the same forces about the centre.
    DK_VECTOR F = pBody->GravityForce;
    DK_VECTOR T = {0, 0, 0};
    const int nTouching = pBody->PointsTouching < CAR_POINTS ? pBody->PointsTouching : CAR_POINTS;
    for (int k = nTouching - 1; k >= 0; --k)
    {
        const int i = pBody->TouchingList[k];
        if (i < 0 || i >= CAR_POINTS)
            continue;
        DK_VECTOR f = pBody->PointGroundForce[i];
        if (i >= CAR_WHEELS)
        {
            f = VecAdd(f, pBody->PointForce[i]);
            F = VecAdd(F, pBody->PointForce[i]);
        }
        T = VecAdd(T, VecCross(CarModel_ToCar(pBody, f), pBody->LocalCorner[i]));
    }
    for (int w = CAR_WHEELS - 1; w >= 0; --w)
    {
        if (!pBody->WheelOnGround[w])
            continue;
        F = VecAdd(F, pBody->PointForce[w]);
        T = VecAdd(T, VecCross(CarModel_ToCar(pBody, pBody->PointForce[w]), pBody->LocalCorner[w]));
    }

    DK_VECTOR& ext = pBody->ExtTorque;
    ext = VecScaled(ext, pBody->Weight);
    if (pBody->Rolling == 0 && static_cast<int64_t>(FfAbs(ext.x)) + FfAbs(ext.z) > kRollTorque)
    {
        StartRolling(pBody);
        pBody->RollStarted = 1;
    }

    F = VecSub(F, VecScaled(pBody->Velocity, FfAbs(pBody->Speed)));
    const DK_VECTOR A = VecAdd(VecScaled(F, pBody->InverseWeight), pBody->ExtForce);
    *gpCarAcceleration = A;
    const DK_VECTOR torque = VecAdd(T, ext);
    const DK_VECTOR W = {FfNeg(FfMul(torque.x, pBody->InverseInertia.x)),
                         FfNeg(FfMul(torque.y, pBody->InverseInertia.y)),
                         FfNeg(FfMul(torque.z, pBody->InverseInertia.z))};

    const DK_VECTOR dA = VecScaled(VecScaled(A, kAccelStep), gStepScale);
    pBody->VelocityPrev = pBody->Velocity;
    pBody->Velocity = VecAdd(pBody->Velocity, dA);
    pBody->Speed = FfVecLength(&pBody->Velocity);
    const DK_VECTOR dW = VecScaled(W, gStepScale);
    pBody->AngularVelocity = VecAdd(pBody->AngularVelocity, dW);

    // The move and the turn of the tick, each the mean over the tick unless the car tumbles.
    const int32_t xHalfStep = gStepScale / 2;
    DK_VECTOR m = VecSub(VecScaled(pBody->Velocity, gStepScale), VecScaled(dA, xHalfStep));
    DK_VECTOR& spin = pBody->AngularVelocity;
    if (pBody->SlopeTipCounter != 0 || pBody->SecondCounter != 0)
        spin = {FfClamp(spin.x, -kSpinClamp, kSpinClamp), FfClamp(spin.y, -kSpinClamp, kSpinClamp),
                FfClamp(spin.z, -kSpinClamp, kSpinClamp)};
    DK_VECTOR turn = VecScaled(spin, gStepScale);
    if (pBody->Rolling == 0)
        turn = VecSub(turn, VecScaled(dW, xHalfStep));
    int16_t anAngles[3] = {ToAngle(turn.x), ToAngle(turn.y), ToAngle(turn.z)};

    // Small turns of a car on the ground are dropped, so that it comes to rest.
    if (pBody->PointsTouching > 0)
    {
        if (Small(anAngles[0]) &&
            FfAbs(FfVecDot(&pBody->UpAxis, &pBody->GroundNormal)) > kLevelEnough)
            anAngles[0] = 0;
        if (Small(anAngles[1]) &&
            ((pMech->AccelControl == 0 && pMech->BrakeControl == 0) || !pMech->Upright))
            anAngles[1] = 0;
        if (Small(anAngles[2]))
            anAngles[2] = 0;
        if (pBody->Speed < kMovingSpeed)
            m = {0, 0, 0};
    }
    // A car settling on its roof turns only about its up axis, on its side about its side axis.
    if (pMech->Stuck)
    {
        if (pMech->UpsideDown)
        {
            spin.x = spin.z = 0;
            anAngles[0] = anAngles[2] = 0;
        }
        else if (pMech->OnSide)
        {
            spin.x = spin.y = 0;
            anAngles[0] = anAngles[1] = 0;
        }
    }

    pBody->Position = VecAdd(pBody->Position, m);
    pBody->AtRest = 0;
    if (anAngles[0] == 0 && anAngles[1] == 0 && anAngles[2] == 0)
    {
        if (pBody->Speed < kRestSpeed)
            pBody->AtRest = 1;
    }
    else
        CarModel_RotateBody(anAngles);
    if (gboNetworkGame)
        NetPlay_SetLocalTimes(anAngles[0], anAngles[1], anAngles[2]);

    CarModel_WriteMatrix(pBody);
    CarModel_UpdateCorners(pBody);
}
