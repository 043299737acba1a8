// The wheels and tyres: which wheels touch the ground and how the weight is shared over them,
// the brakes and the road turning the wheels, the tyres' forces on the road within their grip,
// the push of a sharp change of slope, and the friction of a body lying on the ground.
#include "engine/include/dk_entries.h"
#include "game/race/attract.h"
#include "game/race/gamedata.h"
#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/carmodel_surfaces.h"

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

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int32_t HALF = 0x8000;
constexpr int32_t kCoastBrake = 6553;        // 0.1
constexpr int32_t kAirSpinDivisor = 0x1999;  // 0.1: free wheels spin ten times as fast
constexpr int32_t kSlipScale = 0xF000;       // 0.9375
constexpr int32_t kSpinStep = 0x11113;       // 1.0667
constexpr int32_t kLaunchSlip = 0x147A;      // 0.08
constexpr int32_t kGripBlend = 0x6666;       // 0.4
constexpr int32_t kPowerSlideShare = 0x1999; // 0.1
constexpr int32_t kObjectDrag = HALF;
constexpr int32_t kSlopeChangeMin = 0xA0000;    // 10 degrees
constexpr int32_t kDegreesPerAngle = 0x1680;    // 360 / 4096 as 16.16
constexpr int32_t kSlopeChangeShare = 0x140000; // 20.0 over the counting wheels

// The tick's brake torques: the front's, and the rear's with the handbrake.
struct Brakes
{
    int32_t xFront;
    int32_t xRear;
};

Brakes TickBrakes(const CarBody* pBody, const CarMechanics* pMech)
{
    const int32_t xBalance = pMech->BrakeBalance;
    const int32_t xRearShare = FfSub(ONE, xBalance);
    Brakes brakes;
    if (pMech->AccelControl == 0 && pMech->BrakeControl == 0 && CarModel_GearIndex(pMech) != 0)
    {
        // Coasting in gear: the engine holds the car back a little.
        brakes.xFront = FfMul(kCoastBrake, xBalance);
        brakes.xRear = FfMul(kCoastBrake, xRearShare);
    }
    else
    {
        const DamageRecord& damage = CarModel_Damage(pBody);
        brakes.xFront = FfMul(FfMul(pMech->BrakeInput, damage.DamageFrontBrake), xBalance);
        brakes.xRear = FfMul(FfMul(pMech->BrakeInput, damage.DamageRearBrake), xRearShare);
    }
    if (pMech->HandbrakeOn)
        brakes.xRear = FfAdd(brakes.xRear, pMech->HandbrakeTorque);
    return brakes;
}

// Brake torque works against the wheel's turning; a still wheel takes none.
void ApplyBrakes(CarBody* pBody, const Brakes& brakes, int w)
{
    const int32_t xSpeed = gpCurrentCarMechanics->WheelSpeed[w];
    const int32_t xBrake =
        FfAdd(w < 2 ? brakes.xFront : brakes.xRear, CarModel_Damage(pBody).DamageWheelDrag[w]);
    int32_t& xTorque = pBody->WheelTorque[w];
    if (xSpeed > 0)
        xTorque = FfSub(xTorque, xBrake);
    else if (xSpeed < 0)
        xTorque = FfAdd(xTorque, xBrake);
}

// The wheel's torque turns its speed. Brakes stop a wheel the drive does not hold, never turn
// it back; a driven wheel in gear never turns against the gear.
void SpinWheel(const CarBody* pBody, CarMechanics* pMech, int w, int32_t s)
{
    int32_t& xSpeed = pMech->WheelSpeed[w];
    const int32_t xOld = xSpeed;
    xSpeed = FfAdd(xSpeed, FfMul(pBody->WheelTorque[w], s));
    const int g = CarModel_GearIndex(pMech);
    const bool boFree = g == 0 || pMech->ClutchOut != 0 || !CarModel_AxleDriven(pMech, w);
    if (OppositeSigns(boFree ? xOld : pMech->GearRatio[g], xSpeed))
        xSpeed = 0;
}

// A frame vector: v along the ground, normalised; FALSE (and 0) when nothing is left of it.
BOOL GroundFrame(const DK_VECTOR& v, const DK_VECTOR& normal, DK_VECTOR* pOut)
{
    const DK_VECTOR along = VecSub(v, VecScaled(normal, FfVecDot(&normal, &v)));
    if (FfVecLength(&along) == 0)
    {
        *pOut = {0, 0, 0};
        return FALSE;
    }
    *pOut = VecNormalised(along);
    return TRUE;
}

struct AxleFrame
{
    DK_VECTOR Forward;
    DK_VECTOR Side;
    BOOL boForward;
    BOOL boSide;
};

// The front and rear wheels' frames on the ground, with the game data's mirrored or swapped
// rear; stored for the other code in the order front forward, rear forward, front side, rear
// side.
void WheelFrames(const CarBody* pBody, CarMechanics* pMech, AxleFrame* pFront, AxleFrame* pRear)
{
    const DK_VECTOR& normal = pBody->GroundNormal;
    pFront->boForward = GroundFrame(pBody->FrontWheelForward, normal, &pFront->Forward);
    pFront->boSide = GroundFrame(pBody->FrontWheelSide, normal, &pFront->Side);
    pRear->boForward = GroundFrame(pBody->RearWheelForward, normal, &pRear->Forward);
    pRear->boSide =
        GroundFrame(VecCross(pBody->RearWheelForward, pBody->UpAxis), normal, &pRear->Side);

    if (GameData_IsOptionSet(OPTION_MIRRORED_REAR) ||
        (!DkEntries().IsRallySchool() && MessageRoll_IsFinished()))
    {
        // The rear wheels steer against the fronts: the front heading mirrored in the rear side.
        const DK_VECTOR& f = pFront->Forward;
        const DK_VECTOR& sr = pRear->Side;
        pRear->Forward = VecSub(f, VecScaled(sr, FfMul(2 * ONE, FfVecDot(&f, &sr))));
        pRear->boForward = pFront->boForward;
        const DK_VECTOR side =
            VecSub(sr, VecScaled(pRear->Forward, FfVecDot(&pRear->Forward, &sr)));
        pRear->boSide = FfVecLength(&side) != 0 ? TRUE : FALSE;
        pRear->Side = VecNormalised(side);
    }
    else if (GameData_IsOptionSet(OPTION_SWAPPED_FRAMES))
    {
        const AxleFrame front = *pFront;
        *pFront = *pRear;
        *pRear = front;
    }
    pMech->WheelFrames[0] = pFront->Forward;
    pMech->WheelFrames[1] = pRear->Forward;
    pMech->WheelFrames[2] = pFront->Side;
    pMech->WheelFrames[3] = pRear->Side;
}

// A driven wheel is locked to the engine while the launch runs.
bool LaunchLocked(const CarMechanics* pMech, int w)
{
    return pMech->LaunchTicks != 0 && CarModel_AxleDriven(pMech, w);
}

// What the surface and the tyre give to the grip limits of a wheel.
int32_t GripOffsets(const CarMechanics* pMech, int w)
{
    const int32_t xOffsets = FfAdd(pMech->TyreGripOffset[w], pMech->WheelGripOffset[w]);
    return w < 2 ? xOffsets : FfAdd(xOffsets, pMech->RearGripOffset);
}

// Grip against a slip that is both along and across the wheel: the surface's grip blended by
// the slip's direction.
int32_t BlendedGrip(int32_t xSurface, int32_t l, int32_t t, int32_t xWheel)
{
    const int32_t nAngle = FfAtan(FfMul(l, xSurface), t);
    const int32_t c = FfMul(xSurface, gaSinTable[(nAngle + DK_QUARTER_TURN) & DK_ANGLE_MASK]);
    const int32_t s = gaSinTable[nAngle & DK_ANGLE_MASK];
    return FfMul(FfSqrt(FfAdd(FfMul(c, c), FfMul(s, s))), xWheel);
}

// The force of one wheel on the ground from its slip along and across, within its grip.
void WheelForce(CarBody* pBody, CarMechanics* pMech, int w, const AxleFrame& frame, int32_t k)
{
    const DK_VECTOR& velocity = pBody->PointVelocity[w];
    const int g = CarModel_GearIndex(pMech);
    const int32_t xRatio = pMech->GearRatio[g];
    int32_t L = 0, T = 0;
    if (frame.boForward)
    {
        const int32_t v = FfVecDot(&velocity, &frame.Forward);
        const int32_t xRoll = FfMul(v, 4 * ONE);
        const int32_t xSlip = FfSub(xRoll, pMech->WheelSpeed[w]);
        pMech->WheelSlipOut[w] = FfSub(xRoll, pMech->WheelSpinSpeed[w]);
        int32_t a = 0;
        if (FfAbs(xSlip) < ONE)
        {
            // Gravity along the wheel, less the rolling resistance, and none that would push
            // the car against its gear when no brake is held.
            a = FfNeg(FfVecDot(&TickGravity, &frame.Forward));
            const int32_t b = FfMul(v, k);
            if ((a > 0 && b > 0) || (a < 0 && b < 0))
                a = FfAbs(b) < FfAbs(a) ? FfSub(a, b) : 0;
            if (pMech->BrakeInput == 0 &&
                (xRatio == 0 || (xRatio > 0 && a < 0) || (xRatio < 0 && a > 0)))
                a = 0;
        }
        L = FfNeg(FfMul(FfMul(xSlip, 0x4000), k));
        if (LaunchLocked(pMech, w))
            L = FfMul(L, kLaunchSlip);
        L = FfAdd(L, a);
    }
    if (frame.boSide)
    {
        const int32_t u = FfVecDot(&velocity, &frame.Side);
        pMech->WheelSideSpeed[w] = u;
        const int32_t gSide = FfAbs(u) < ONE ? FfNeg(FfVecDot(&TickGravity, &frame.Side)) : 0;
        T = FfAdd(FfNeg(FfMul(u, k)), gSide);
    }

    // The force's direction, and its size measured as the squared length the normaliser gives.
    DK_VECTOR& force = pBody->PointForce[w];
    const int32_t l = FfAbs(L), t = FfAbs(T);
    int32_t m;
    if (l <= ONE && t <= ONE)
    {
        const DK_VECTOR sum = VecAdd(VecScaled(frame.Forward, L), VecScaled(frame.Side, T));
        m = FfVecNormalise(&force, &sum);
    }
    else
    {
        const int32_t M = l > t ? l : t;
        const DK_VECTOR sum =
            VecAdd(VecScaled(frame.Forward, FfDiv(L, M)), VecScaled(frame.Side, FfDiv(T, M)));
        m = FfMul(FfVecNormalise(&force, &sum), M);
    }

    const int s = SurfaceRow(pMech->WheelSurface[w]);
    const int32_t xOffsets = GripOffsets(pMech, w);
    const int32_t xBase = FfAdd(SurfacePeakGrip[s].xGrip, xOffsets);
    const int32_t xSlide = FfAdd(SurfaceSlideGrip[s].xGrip, xOffsets);
    int32_t xPeak, xSliding;
    if (l < kGripBlend)
    {
        xPeak = FfMul(pMech->PeakGrip[w], xBase);
        xSliding = FfMul(pMech->SlideGrip[w], xSlide);
    }
    else if (t < kGripBlend)
    {
        xPeak = pMech->PeakGrip[w];
        xSliding = pMech->SlideGrip[w];
    }
    else
    {
        xPeak = BlendedGrip(xBase, l, t, pMech->PeakGrip[w]);
        xSliding = BlendedGrip(xSlide, l, t, pMech->SlideGrip[w]);
    }
    if (xPeak < m)
        m = xSliding;
    force = VecScaled(force, m);

    // Power slide: the wheel spinning faster than it rolls, the way the gear drives, pushes on
    // and lets the tail step out as far as the lateral slip allows.
    const int32_t d = FfSub(pMech->WheelSpinSpeed[w], pMech->WheelSpeed[w]);
    if (pMech->PowerSlide && ((d > 0 && xRatio > 0) || (d < 0 && xRatio < 0)))
    {
        int32_t P = FfMul(FfMul(d, 0x4000), FfMul(k, kPowerSlideShare));
        if (FfAbs(P) > pMech->PeakGrip[w])
            P = P > 0 ? pMech->SlideGrip[w] : FfNeg(pMech->SlideGrip[w]);
        force = VecAdd(force, VecScaled(frame.Forward, P));
        const int32_t xAcross = FfVecDot(&force, &frame.Side);
        const int32_t r = FfSub(t, FfAbs(xAcross));
        if (r > 0)
        {
            int32_t c = r < FfAbs(P) ? r : FfAbs(P);
            if (xAcross <= 0)
                c = FfNeg(c);
            force = VecAdd(force, VecScaled(frame.Side, c));
        }
    }

    // Soft and wet ground, and soft objects, drag the wheel back.
    const BOOL boInObject = pBody->PointInObject[w];
    if (SurfaceDrag[s] != 0 || boInObject)
    {
        const int32_t xRolling = FfVecDot(&frame.Forward, &velocity);
        if (xRolling != 0)
        {
            const int32_t xDrag =
                FfMul(xRolling >> 2, FfMul(k, boInObject ? kObjectDrag : SurfaceDrag[s]));
            force = VecAdd(force, VecScaled(frame.Forward, FfNeg(xDrag)));
        }
    }
}

} // namespace

void CarModel_TyreForces(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    const Brakes brakes = TickBrakes(pBody, pMech);

    if (pBody->WheelsOnGround == 0 || !pMech->Upright)
    {
        // In the air (or off its wheels) the wheels only spin and brake, freely.
        const int32_t s = FfMul(gStepScale, FfDiv(ONE, kAirSpinDivisor));
        for (int w = CAR_WHEELS - 1; w >= 0; --w)
        {
            ApplyBrakes(pBody, brakes, w);
            SpinWheel(pBody, pMech, w, s);
            pMech->WheelTorqueOut[w] = pBody->WheelTorque[w];
        }
        CarModel_EqualiseAxles();
        return;
    }

    AxleFrame front, rear;
    WheelFrames(pBody, pMech, &front, &rear);
    const int32_t k = FfMul(pBody->WheelLoad, gRateScale);
    const int32_t xSlipScale = FfMul(gRateScale, kSlipScale);
    const int32_t s = FfMul(gStepScale, kSpinStep);

    for (int w = CAR_WHEELS - 1; w >= 0; --w)
    {
        if (pBody->WheelOnGround[w])
        {
            const AxleFrame& frame = w < 2 ? front : rear;
            ApplyBrakes(pBody, brakes, w);
            int32_t xSlip = 0;
            bool boReversing = false;
            if (frame.boForward)
            {
                const int32_t v = FfVecDot(&pBody->PointVelocity[w], &frame.Forward);
                xSlip = FfSub(FfMul(v, 4 * ONE), pMech->WheelSpeed[w]);
                boReversing = OppositeSigns(v, xSlip);
            }
            if (w < 2 || !pMech->HandbrakeOn || boReversing)
            {
                // The road turns the wheel towards its rolling speed, within its slide grip.
                pMech->WheelTorqueOut[w] = pBody->WheelTorque[w];
                const int32_t xGrip = pMech->SlideGrip[w];
                const int32_t T =
                    FfClamp(FfMul(4 * ONE, FfMul(xSlip, xSlipScale)), FfNeg(xGrip), xGrip);
                const int nShift = LaunchLocked(pMech, w)                                 ? 5
                                   : pMech->AccelControl == 0 && pMech->BrakeControl == 0 ? 2
                                                                                          : 3;
                pBody->WheelTorque[w] = FfAdd(pBody->WheelTorque[w], T >> nShift);
            }
            else
            {
                // A rear wheel held by the handbrake only brakes.
                pBody->WheelTorque[w] = 0;
                ApplyBrakes(pBody, brakes, w);
                pMech->WheelTorqueOut[w] = pBody->WheelTorque[w];
            }
        }
        SpinWheel(pBody, pMech, w, s);
    }
    CarModel_EqualiseAxles();

    for (int w = CAR_WHEELS - 1; w >= 0; --w)
        if (pBody->WheelOnGround[w])
            WheelForce(pBody, pMech, w, w < 2 ? front : rear, k);
    CarModel_SlopeChangeForce(k);
}

void CarModel_SlopeChangeForce(int32_t xForceScale)
{
    CarBody* pBody = gpCurrentCarBody;
    int32_t axAngle[CAR_WHEELS] = {};
    bool aboCounts[CAR_WHEELS] = {};
    int nCounting = 0;
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        if (!pBody->WheelOnGround[w])
            continue;
        const DK_VECTOR& normal = pBody->PointNormal[w];
        const DK_VECTOR& before = pBody->PointNormalPrev[w];
        const int32_t c = FfVecDot(&normal, &before);
        // The change between the two ground queries in 16.16 degrees.
        axAngle[w] = c < ONE ? (DK_QUARTER_TURN - FfAsin(c)) * kDegreesPerAngle : 0;
        // It counts where the ground tilts up ahead of a wheel running into it.
        const DK_VECTOR& velocity = pBody->PointVelocity[w];
        const DK_VECTOR p = VecSub(velocity, VecScaled(before, FfVecDot(&velocity, &before)));
        aboCounts[w] =
            axAngle[w] > kSlopeChangeMin && normal.y < before.y && FfVecDot(&p, &normal) < 0;
        nCounting += aboCounts[w] ? 1 : 0;
    }
    if (nCounting == 0)
        return;
    const int32_t xPush = FfMul(xForceScale, kSlopeChangeShare / nCounting);
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        if (!aboCounts[w])
            continue;
        const DK_VECTOR& normal = pBody->PointNormal[w];
        const DK_VECTOR& before = pBody->PointNormalPrev[w];
        DK_VECTOR dir =
            VecNormalised(VecSub(normal, VecScaled(before, FfVecDot(&normal, &before))));
        const int32_t q = FfVecDot(&dir, &pBody->PointVelocity[w]);
        dir = VecScaled(dir, FfClamp(q, -ONE, ONE));
        int32_t f = FfMul(FfSub(axAngle[w], kSlopeChangeMin), FfDiv(ONE, 50 * ONE));
        if (f > ONE)
            f = ONE;
        pBody->PointForce[w] = VecAdd(pBody->PointForce[w], VecScaled(dir, FfNeg(FfMul(f, xPush))));
    }
}

void CarModel_BodyPointFriction(void)
{
    CarBody* pBody = gpCurrentCarBody;
    const CarMechanics* pMech = gpCurrentCarMechanics;
    if (pMech->Upright)
        return;
    const DK_VECTOR& normal = pBody->GroundNormal;
    for (int i = CAR_POINTS - 1; i >= 0; --i)
    {
        if (pBody->PointOffGround[i] != 0)
            continue;
        const DK_VECTOR& velocity = pBody->PointVelocity[i];
        const DK_VECTOR p = VecSub(velocity, VecScaled(normal, FfVecDot(&normal, &velocity)));
        const int32_t l = FfVecLength(&p);
        if (l <= 0)
            continue;
        int32_t f = FfNeg(FfMul(l, pBody->SlideDamping));
        if (l < ONE)
            f = FfSub(f, FfVecLength(&TickGravity));
        if (FfAbs(f) > pMech->PointPeakLimit[i])
            f = f <= 0 ? FfNeg(pMech->PointSlideLimit[i]) : pMech->PointSlideLimit[i];
        pBody->PointForce[i] = VecScaled(VecScaled(p, FfDiv(ONE, l)), f);
    }
}
