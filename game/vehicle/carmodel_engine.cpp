// The engine and the drive train: the engine's torque from throttle and revs, its split over the
// wheels by gear and drive share, the revs following the wheels or running free, the engine's
// start, the rev limiter, the axle equaliser, and the wheel speeds as shown and heard.
#include "game/vehicle/carmodel_internal.h"

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int32_t HALF = 0x8000;
constexpr int32_t kRevsPerTorque = 0xA0000; // 10.0
constexpr int32_t kStartWait = 25;          // ticks of the start's rev sweep
constexpr int32_t kSweepTurn = 0x638;       // the sweep's angle over its 25 ticks, 4096 a turn
constexpr int32_t kNoLimiter = 0xCCCD;      // an overshoot below this is only clipped
constexpr int32_t kLimiterStart = 0xCCCC;
constexpr int32_t kLimiterCut = 0x51EB; // 0.32
constexpr int32_t kAxleSpread = 0x1999; // 0.1
constexpr int32_t kGripShare = 0x9999;  // 0.6
constexpr int32_t kSpinStep = 69907;    // 1.0667
constexpr int32_t kGripBoost = 109445;  // 1.67
constexpr int32_t kQuarter = 0x4000;
constexpr int32_t kSpinFloor = 1966;       // 0.03
constexpr int32_t kBouncePerCount = 13107; // 0.2 off the limit per count of the bounce
constexpr int32_t kBounceMargin = 656;     // 0.01
constexpr int8_t kBounceCounts = 3;

// The engine running free: the start's wait and rev sweep, then the torque turning the revs.
void FreeEngine(CarBody* pBody, CarMechanics* pMech)
{
    if (pBody->EngineStarting)
    {
        if (pBody->EngineStartTicks < 2)
        {
            pBody->EngineStarting = 0;
            pBody->EngineStartTicks = kStartWait;
        }
        else
            --pBody->EngineStartTicks;
        return;
    }
    if (pBody->EngineStartTicks > 0)
    {
        // The revs rise along a sine over the sweep, the throttle held open for its first part.
        const int32_t n = pBody->EngineStartTicks;
        const int32_t xDone = FfMul((kStartWait - n) * ONE, FfDiv(ONE, kStartWait * ONE));
        const int32_t nAngle = FfMul(xDone, kSweepTurn);
        pMech->EngineRevs = FfMul(gaSinTable[nAngle & DK_ANGLE_MASK], pMech->MaxRevs);
        --pBody->EngineStartTicks;
        if (nAngle < DK_QUARTER_TURN)
            pMech->Throttle = ONE;
        return;
    }
    pMech->EngineRevs = FfAdd(pMech->EngineRevs, FfMul(pBody->EngineTorque, kRevsPerTorque));
}

// Half the sum of two wheels' speeds through the gear.
int32_t AxleRevs(const CarMechanics* pMech, int w, int32_t xRatio)
{
    return FfAdd(FfMul(pMech->WheelSpeed[w], xRatio), FfMul(pMech->WheelSpeed[w + 1], xRatio)) >> 1;
}

// A wheel the driver pushes: its spin grows with its torque, never against the way it rolls
// (or, driven in gear, against the gear), and no faster than the gear allows.
void PushWheel(CarMechanics* pMech, int w, int g, int32_t k, int32_t xTop)
{
    int32_t& xSpin = pMech->WheelSpinSpeed[w];
    const int32_t xSpeed = pMech->WheelSpeed[w];
    const int32_t xTorque = pMech->WheelTorqueOut[w];
    const int32_t xRatio = pMech->GearRatio[g];
    xSpin = FfAdd(xSpin, FfMul(FfMul(xTorque, k), FfMul(gStepScale, kSpinStep)));
    if (g == 0 || pMech->ClutchOut || !CarModel_AxleDriven(pMech, w))
    {
        if (OppositeSigns(xSpeed, xSpin))
            xSpin = 0;
    }
    else if (OppositeSigns(xRatio, xSpin))
        xSpin = 0;
    if (xTorque > 0 && xSpin < xSpeed)
        xSpin = xSpeed;
    else if (xTorque < 0 && xSpin > xSpeed)
        xSpin = xSpeed;
    if (xTop > 0 ? xSpin > xTop : xSpin < xTop)
        xSpin = xTop;
}

// The shown wheel speeds in gear, and the revs they ask of the engine.
void GearedWheelSpeeds(const CarBody* pBody, CarMechanics* pMech, int g)
{
    const int32_t xRatio = pMech->GearRatio[g];
    int32_t xScaleSum = 0;
    for (int w = 0; w < CAR_WHEELS; ++w)
        xScaleSum = FfAdd(xScaleSum, pMech->GripScale[w]);
    const int32_t a = FfMul(kGripShare, xScaleSum / CAR_WHEELS);
    const int32_t xLimit =
        xRatio < 0 ? pMech->MaxRevs : FfMul(pMech->RevBandHigh[g], pMech->MaxRevs);
    const int32_t xTop = FfMul(xLimit, pMech->InverseGearRatio[g]);
    int32_t t = FfClamp(FfMul(FfSub(xLimit, pMech->EngineRevs), pMech->InverseMaxRevs), 0, ONE);
    const int32_t y = FfMul(FfSub(ONE, FfMul(t, FfSub(ONE, a))), xTop);
    int32_t q = FfAdd(FfMul(FfAbs(FfVecDot(&pBody->OrientRow2, &pBody->Velocity)), HALF),
                      xRatio < 0 || g == 0 ? ONE : FfDiv(ONE, g * ONE));
    if (q > ONE)
        q = ONE;
    const int32_t k = FfMul(a, q);

    const BOOL boAccel = pMech->InputSwap ? pMech->BrakeHeld : pMech->AccelHeld;
    const BOOL boBrake = pMech->InputSwap ? pMech->AccelHeld : pMech->BrakeHeld;
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        const bool boBraked = w < 2 ? pMech->BrakeBalance != 0 : pMech->BrakeBalance != ONE;
        const bool boPushed = (boAccel && CarModel_AxleDriven(pMech, w)) || (boBrake && boBraked) ||
                              (pMech->HandbrakeOn && w >= 2);
        if (boPushed)
        {
            if (!pMech->RevLimiterOn)
                PushWheel(pMech, w, g, k, y);
            continue;
        }
        // Left alone, the shown speed runs back to the wheel's by at most 1.0 a tick.
        const int32_t xGap = FfSub(pMech->WheelSpeed[w], pMech->WheelSpinSpeed[w]);
        pMech->WheelSpinSpeed[w] = FfAdd(pMech->WheelSpinSpeed[w], FfClamp(xGap, -ONE, ONE));
    }
    for (int32_t& xSpin : pMech->WheelSpinSpeed)
        if (FfAbs(xSpin) < kSpinFloor)
            xSpin = 0;

    const int32_t* pSpin = pMech->WheelSpinSpeed;
    const int32_t xFront = FfAdd(pSpin[0], pSpin[1]) >> 1;
    const int32_t xRear = FfAdd(pSpin[2], pSpin[3]) >> 1;
    int32_t xTarget =
        FfMul(FfAdd(xRear, FfMul(FfSub(xFront, xRear), pMech->DriveShareFront)), xRatio);
    // The revs may rise towards the target only by the share of the room left that t allows,
    // more with a grippy tyre.
    int32_t u = FfSub(FfMul(a, kGripBoost), ONE);
    if (u < 0)
        u = 0;
    t = FfAdd(t, FfMul(FfMul(u, kGripBoost), kQuarter));
    if (t > ONE)
        t = ONE;
    const int32_t xRevs = pMech->EngineRevs;
    const int32_t xRise = FfMul(FfSub(pMech->MaxRevs, xRevs), t);
    if (xRevs < xTarget && xRise < FfSub(xTarget, xRevs))
        xTarget = FfAdd(xRevs, xRise);
    pMech->EngineTarget = xTarget;
}

// The limiter's bounce: once the revs touch the limit they are held there and the limit drops
// 0.2 a count while the counter runs from 3 down.
void LimiterBounce(CarBody* pBody, CarMechanics* pMech)
{
    int8_t& nCount = pBody->LeanAngle;
    const bool boCounting = nCount != 0;
    const int32_t xLimit = FfSub(pMech->MaxRevs, kBouncePerCount * nCount);
    if (pMech->EngineRevs > FfSub(xLimit, kBounceMargin))
    {
        pMech->EngineRevs = pMech->EngineTarget = xLimit;
        if (!boCounting)
            nCount = kBounceCounts;
    }
    if (boCounting)
        --nCount;
}

} // namespace

void CarModel_ApplyGearRatio(CarMechanics* pMech)
{
    if (pMech == nullptr)
        return;
    const int32_t t = FfMul(pMech->EngineRevs, pMech->InverseGearRatio[CarModel_GearIndex(pMech)]);
    for (int w = 0; w < CAR_WHEELS; ++w)
        if (CarModel_AxleDriven(pMech, w))
            pMech->WheelSpeed[w] = pMech->WheelSpinSpeed[w] = t;
    pMech->LaunchTicks = 10;
}

void CarModel_UpdateWheelSpeeds(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    const int g = CarModel_GearIndex(pMech);
    if (pMech->GearRatio[g] == 0)
    {
        pMech->EngineTarget = pMech->EngineRevs;
        for (int32_t& xSpin : pMech->WheelSpinSpeed)
            xSpin = 0;
    }
    else
        GearedWheelSpeeds(pBody, pMech, g);
    LimiterBounce(pBody, pMech);
}

void CarModel_DriveTorque(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    const int g = CarModel_GearIndex(pMech);
    const int32_t r = pMech->EngineRevs;
    const int32_t xDrag = FfMul(pMech->EngineFriction, FfMul(r, r));
    if (pMech->RevLimiterOn)
        pBody->EngineTorque = FfNeg(pMech->RevLimiterCut);
    else if (r < pMech->MaxRevs)
        // In gear with the clutch out the engine runs up by its friction's measure, throttle
        // or not: the flare of a gear change, which the revs of the coupled gear replace as
        // the clutch comes back.
        pBody->EngineTorque =
            g == 0 || pMech->ClutchOut != 1
                ? FfSub(FfMul(pMech->Throttle, CarModel_Damage(pBody).DamageEngine), xDrag)
                : xDrag;
    else if (g != 0)
        pBody->EngineTorque = 0;
    else
    {
        // Free at the limit: the open throttle holds the revs there, a closed one brakes them.
        pBody->EngineTorque = pMech->AccelControl != 0 ? 0 : FfNeg(xDrag);
        pMech->EngineRevs = pMech->MaxRevs;
    }

    if (g != 0 && pMech->ClutchOut == 0)
    {
        const int32_t d = FfMul(pBody->EngineTorque, pMech->GearRatio[g]);
        const int32_t f = FfMul(d, pMech->DriveShareFront) / 2;
        pBody->WheelTorque[0] = pBody->WheelTorque[1] = f;
        pBody->WheelTorque[2] = pBody->WheelTorque[3] = FfSub(d / 2, f);
    }
    else
        for (int32_t& xTorque : pBody->WheelTorque)
            xTorque = 0;
    CarModel_TyreForces();
}

void CarModel_UpdateEngineRevs(void)
{
    CarBody* pBody = gpCurrentCarBody;
    CarMechanics* pMech = gpCurrentCarMechanics;
    const int g = CarModel_GearIndex(pMech);
    if (g == 0 || pMech->ClutchOut != 0)
        FreeEngine(pBody, pMech);
    else
    {
        // Coupled: the revs take the wheels' speed through the gear.
        const int32_t xRatio = pMech->GearRatio[g];
        const int32_t xFront = AxleRevs(pMech, 0, xRatio);
        const int32_t xRear = AxleRevs(pMech, 2, xRatio);
        const int32_t xTarget = FfAdd(xRear, FfMul(FfSub(xFront, xRear), pMech->DriveShareFront));
        pMech->EngineRevs = FfAdd(pMech->EngineRevs, FfMul(FfSub(xTarget, pMech->EngineRevs), ONE));
    }

    int32_t& xRevs = pMech->EngineRevs;
    if (xRevs < 0)
    {
        xRevs = 0;
        pMech->RevLimiterOn = 0;
    }
    else if (xRevs > pMech->MaxRevs)
    {
        const int32_t e = FfSub(xRevs, pMech->MaxRevs);
        if (e < kNoLimiter)
            pMech->RevLimiterOn = 0;
        else
        {
            int32_t xOver = FfMul(FfSub(e, kLimiterStart), ONE);
            if (xOver > ONE)
                xOver = ONE;
            pMech->RevLimiterCut = FfMul(xOver, kLimiterCut);
            pMech->RevLimiterOn = 1;
        }
        xRevs = pMech->MaxRevs;
    }
    else
        pMech->RevLimiterOn = 0;
}

void CarModel_EqualiseAxles(void)
{
    int32_t* pSpeed = gpCurrentCarMechanics->WheelSpeed;
    for (int w = 0; w < CAR_WHEELS; w += 2)
    {
        const int64_t nGap = static_cast<int64_t>(pSpeed[w]) - pSpeed[w + 1];
        if ((nGap < 0 ? -nGap : nGap) > kAxleSpread)
            pSpeed[w] = pSpeed[w + 1] = FfMul(FfAdd(pSpeed[w], pSpeed[w + 1]), HALF);
    }
}
