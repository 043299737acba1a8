#include "game/vehicle/carcontrol.h"

#include <array>

#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"
#include "game/effects/surfaces.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/vehicle/carmodel_internal.h"

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;

// The car's own constants that its records hold no field for, and where the others come from:
//   maximum throttle     MaxThrottle, 1.0 at set-up
//   maximum brake        1.0: the full pedal of a car held at the start
//   handbrake strength   1.0: likewise
//   ramp rates a tick    RampRateA (throttle), RampRateB (brake), RampRateC (handbrake)
//   self-centring        SteerRate a tick, 0.05 at 25 ticks a second
//   maximum wheel angle  SteerLimit, taken as radians
//   shift speeds         RevBandHigh (up) and RevBandLow (down) x MaxRevs
//   base ratios          GearRatio; the active ones GearRatioCopy and InverseGearRatioCopy,
//                        which the damaged gearbox rewrites
//   steering options     ControlByte bit 0 (lock falls with speed), bit 1 (the digital rate
//                        falls towards full lock)
constexpr int32_t kMaxBrake = ONE;
constexpr int32_t kHandbrakeStrength = ONE;
constexpr int32_t kRadianToAngle = 651 * ONE;
constexpr uint8_t kSpeedLock = 1;
constexpr uint8_t kEasingRate = 2;

// Every sensitivity: the lock loses at most 0.7 with speed; no hold-back off the centre.
constexpr int32_t kMostLockLoss = 45875;
constexpr int32_t kHoldBack = 0;
constexpr int32_t kWheelTurn = 34; // angle units a tick, more on slippery ground
constexpr SteeringSensitivity kSensitivityRows[3] = {
    {3276, 0x8000, 0x8000}, // 0.05, 1/2, 0.5
    {4915, 21845, 49152},   // 0.075, 1/3, 0.75
    {6553, 0x4000, ONE},    // 0.1, 1/4, 1.0
};
constexpr int kDefaultSensitivity = 1;

// Gear changes.
constexpr int8_t kNeutral = 0;
constexpr int8_t kFirst = 1;
constexpr int8_t kSecond = 2;
constexpr int8_t kTop = 6;
constexpr int8_t kReverse = 7;
constexpr uint8_t kUp = 2;
constexpr uint8_t kDown = 1;
constexpr uint8_t kShiftTimerTicks = 10;  // a change may not be undone within them
constexpr int32_t kGearboxBroken = 45875; // 0.7: above it second gear is skipped
constexpr uint8_t kSecondGearChances = 5;
constexpr int32_t kReverseRevs = 6553; // 0.1
// The clutch stays out after a change for 0.08 seconds.
constexpr int kClutchTicksAt25 = 2;

// Finish and start holds.
constexpr int32_t kStartDamping = 64225;  // 0.02 of the speed lost a tick
constexpr int32_t kFinishDamping = 64880; // 0.01
constexpr int32_t kParkSpeed = 0x1999;    // 0.1

// The share of the self-centring and of the steering that the ground under the front wheels
// takes away: 0.2 on every surface with a name, none on the unused ids.
constexpr std::array<int32_t, NUM_SURFACES> MakeSteeringGrip(void)
{
    std::array<int32_t, NUM_SURFACES> table{};
    for (int32_t& x : table)
        x = 13107;
    for (int id : {3,  4,  5,  6,  8,  19, 65, 66, 67,  68,  69,  73,  74,  75,  76,  77,
                   78, 79, 84, 85, 86, 87, 88, 89, 112, 113, 114, 115, 116, 117, 118, 119})
        table[id] = 0;
    return table;
}
constexpr std::array<int32_t, NUM_SURFACES> kSteeringGrip = MakeSteeringGrip();

SteeringSensitivity gaSensitivity[MAX_CARS] = {
    kSensitivityRows[1], kSensitivityRows[1], kSensitivityRows[1], kSensitivityRows[1],
    kSensitivityRows[1], kSensitivityRows[1], kSensitivityRows[1], kSensitivityRows[1]};

// The car the controls work on.
CarMechanics* gpMech = nullptr;
CarBody* gpBody = nullptr;

bool gboPassThrough = false;
int gnUpdateCalls = 0;
int gnLastListPosition = -1;

const DamageRecord& CarDamage(void)
{
    return CarModel_Damage(gpBody);
}

const SteeringSensitivity& Sensitivity(void)
{
    const int n = gpBody->nCarNumber;
    return gaSensitivity[n >= 0 && n < MAX_CARS ? n : 0];
}

int GearOf(int nGear)
{
    return nGear >= 0 && nGear < CAR_GEARS ? nGear : kNeutral;
}

int32_t Sine(int32_t nAngle)
{
    return gaSinTable[nAngle & DK_ANGLE_MASK];
}

// A ramp's pedal: the maximum times the sine of the ramp's quarter turn.
int32_t RampPedal(int32_t xRamp, int32_t xMaximum)
{
    return FfMul(xMaximum, Sine(FfMul(xRamp, DK_QUARTER_TURN)));
}

// The change from gear j by one in nStep's direction; with a broken gearbox a change into
// second skips it once its last chances are spent (the chances are counted only by a real
// change).
int StepGear(int j, int nStep, bool boShift)
{
    int nNext = j + nStep;
    if (nNext != kSecond || CarDamage().DamageValue[DAMAGE_VALUE_GEARBOX] <= kGearboxBroken)
        return nNext;
    uint8_t& nChances = gpMech->GearboxDamageCounter;
    if (nChances > 0)
    {
        if (boShift)
            --nChances;
        return nNext;
    }
    if (boShift)
        nChances = kSecondGearChances;
    return nNext + nStep;
}

// The gear the revs ask for: up while they reach the gear's up-shift speed, down while they
// fall to its down-shift speed, never both ways, never out of the forward gears.
int ChooseGear(bool boShift)
{
    const CarMechanics* m = gpMech;
    int j = GearOf(m->Gear);
    int32_t s = m->EngineRevs;
    const int32_t c = FfMul(s, m->InverseGearRatioCopy[j]);
    int nMoved = 0;
    for (int nGuard = 0; nGuard < CAR_GEARS; ++nGuard)
    {
        const int32_t xDown = FfMul(m->RevBandLow[j], m->MaxRevs);
        const int32_t xUp = FfMul(m->RevBandHigh[j], m->MaxRevs);
        if (xDown < s && s < xUp)
            break;
        if (s >= xUp && s > xDown)
        {
            if (j < kFirst || j > kTop - 1 || nMoved < 0)
                break;
            j = StepGear(j, 1, boShift);
            nMoved = 1;
        }
        else
        {
            if (j < kSecond || j > kTop || nMoved > 0)
                break;
            j = StepGear(j, -1, boShift);
            nMoved = -1;
        }
        s = FfMul(c, m->GearRatio[GearOf(j)]);
    }
    return GearOf(j);
}

void AskForGear(int nGear)
{
    gpMech->TargetGear = static_cast<int8_t>(GearOf(nGear));
    gpMech->ShiftPending = 1;
}

bool WheelsTouch(void)
{
    for (int w = 0; w < CAR_WHEELS; ++w)
        if (gpBody->PointOffGround[w] == 0)
            return true;
    return false;
}

// The gear change: the gear engaged with the clutch out, the engine running free on its
// friction; when the clutch comes back in the engine takes the wheels' speed through the new
// gear. (Matching the wheels to the engine instead, as the start does, would spin them up on
// every up-shift and the automatic boxes would hunt between gears.)
void Engage(int nGear)
{
    gpMech->Gear = static_cast<int8_t>(GearOf(nGear));
    gpMech->ClutchOut = 1;
    gpMech->ShiftDelay = static_cast<uint8_t>(kClutchTicksAt25 * CarModel_TicksPerSecond() / 25);
}

void ChooseByRevs(void)
{
    CarMechanics* m = gpMech;
    if (m->ShiftTimer > 0)
        --m->ShiftTimer;
    if ((m->InputAccel == 0 && m->InputBrake == 0) || !WheelsTouch())
        return;
    // Every car starts in neutral, which the choice by revs never leaves: the accelerator puts
    // it into first.
    if (m->Gear == kNeutral)
    {
        if (m->InputAccel != 0)
        {
            AskForGear(kFirst);
            m->ShiftDirection = kUp;
            m->ShiftTimer = kShiftTimerTicks;
        }
        return;
    }
    const int nGear = ChooseGear(true);
    if (nGear == m->Gear)
        return;
    const uint8_t nDirection = nGear > m->Gear ? kUp : kDown;
    if (m->ShiftTimer > 0 && m->ShiftDirection != 0 && nDirection != m->ShiftDirection)
        return;
    AskForGear(nGear);
    m->ShiftDirection = nDirection;
    m->ShiftTimer = kShiftTimerTicks;
}

void AutoShift(void)
{
    ChooseByRevs();
    CarMechanics* m = gpMech;
    if (m->InputGearChange != 0 && (m->Gear == kFirst || m->Gear == kReverse))
        AskForGear(m->Gear == kFirst ? kReverse : kFirst);
}

void ManualShift(void)
{
    CarMechanics* m = gpMech;
    const int g = m->Gear;
    if (m->InputGearChange > 0)
    {
        if (g == kReverse)
            AskForGear(kFirst);
        else if (g >= kNeutral && g < kTop)
            AskForGear(StepGear(g, 1, true));
    }
    else if (m->InputGearChange < 0 && g >= kFirst && g <= kTop)
    {
        const int nLower = StepGear(g, -1, true);
        AskForGear(nLower == kNeutral ? kReverse : nLower);
    }
}

void AutoShiftReverse(int nCar)
{
    ChooseByRevs();
    CarMechanics* m = gpMech;
    const bool boReleased = DkEntries().IsRallySchool() || !StartSeq_IsHoldingCar(nCar);
    if (!boReleased)
        return;
    const bool boAccel = m->InputAccel != 0;
    const bool boBrake = m->InputBrake != 0;
    if (boBrake && !boAccel && m->Gear == kFirst && m->EngineRevs < kReverseRevs)
    {
        AskForGear(kReverse);
        m->InputSwap = 1;
    }
    else if (boAccel && !boBrake && m->Gear == kReverse)
    {
        AskForGear(kFirst);
        m->InputSwap = 0;
    }
}

void ChangeGear(int nCar)
{
    CarMechanics* m = gpMech;
    if (m->ShiftDelay > 0)
    {
        if (--m->ShiftDelay == 0)
            m->ClutchOut = 0;
        return;
    }
    if (m->Started == 0 || gpBody->Finished)
        return;
    if (m->ShiftPending)
    {
        m->ShiftPending = 0;
        Engage(m->TargetGear);
        return;
    }
    if (m->GearboxMode == 0)
        AutoShift();
    else if (m->GearboxMode == 1)
    {
        if (m->InputGearChange != 0)
            ManualShift();
    }
    else if (m->GearboxMode == 2)
        AutoShiftReverse(nCar);
}

// The wheels' lock, as 16.16 angle units: less at speed when the option asks for it.
int32_t SteerLock(void)
{
    const int32_t xMost = FfMul(gpMech->SteerLimit, kRadianToAngle);
    if ((gpMech->ControlByte & kSpeedLock) == 0)
        return xMost;
    const int32_t xForward = FfAbs(FfVecDot(&gpBody->Velocity, &gpBody->OrientRow0));
    int32_t xLoss = FfMul(xForward, Sensitivity().xLockFactor);
    if (xLoss > kMostLockLoss)
        xLoss = kMostLockLoss;
    return FfMul(xMost, FfSub(ONE, xLoss));
}

int16_t AngleOf(int32_t xUnits)
{
    return static_cast<int16_t>(xUnits / ONE);
}

int32_t SteeringGrip(int nSurface)
{
    return kSteeringGrip[nSurface >= 0 && nSurface < NUM_SURFACES ? nSurface : 0];
}

void SteerWheel(void)
{
    CarMechanics* m = gpMech;
    int32_t e =
        FfMul(FfMul(FfSub(m->InputSteerRight, m->InputSteerLeft), Sensitivity().xAnalogueGain),
              CarDamage().xSteeringFactor);
    e = FfClamp(e, -ONE, ONE);
    m->SteerAngle = m->TargetSteerAngle = AngleOf(FfMul(SteerLock(), e));
    m->SteerPosition = m->SteerControl = FfNeg(e);
}

void SteerDigital(void)
{
    CarMechanics* m = gpMech;
    const bool boLeft = m->InputSteerLeft != 0;
    const bool boRight = !boLeft && m->InputSteerRight != 0;
    int32_t& xDirection = m->SteerDirection;
    if (boLeft)
        xDirection = xDirection < 0 ? 0 : ONE;
    else if (boRight)
        xDirection = xDirection > 0 ? 0 : -ONE;
    else
        xDirection = 0;

    int32_t& xPosition = m->SteerPosition;
    int32_t xRate = FfMul(Sensitivity().xDigitalRate, gStepScale);
    if (m->ControlByte & kEasingRate)
    {
        const int32_t xToLock = FfSub(FfAbs(xPosition), ONE);
        xRate = FfMul(xRate, FfMul(xToLock, xToLock));
    }
    int32_t xChange = FfMul(xRate, FfAbs(xDirection));
    if (xDirection < 0)
        xChange = FfNeg(xChange);
    int32_t xCentring = xPosition > 0 ? FfNeg(m->SteerRate) : xPosition < 0 ? m->SteerRate : 0;

    const int32_t xGrip =
        FfAdd(SteeringGrip(m->WheelSurface[0]), SteeringGrip(m->WheelSurface[1])) / 2;
    const int32_t f = FfMul(FfSub(ONE, xGrip), CarDamage().xSteeringFactor);
    xChange = FfMul(xChange, f);
    xCentring = FfMul(xCentring, f);

    if ((!boLeft && !boRight) || (boLeft && xCentring > 0) || (boRight && xCentring < 0))
    {
        // Towards the centre, stopping there.
        const int32_t xNext = FfAdd(FfAdd(xPosition, xChange), xCentring);
        xPosition = (xPosition > 0 && xNext < 0) || (xPosition < 0 && xNext > 0) ? 0 : xNext;
    }
    else
    {
        xPosition = FfAdd(xPosition, xChange);
        const int32_t xHold = FfMul(kHoldBack, f);
        xPosition =
            boRight ? FfClamp(xPosition, -ONE, FfNeg(xHold)) : FfClamp(xPosition, xHold, ONE);
    }
    m->SteerControl = xPosition;

    m->TargetSteerAngle = AngleOf(FfNeg(FfMul(SteerLock(), xPosition)));
    const int32_t nStep = kWheelTurn + FfMul(kWheelTurn, FfSub(ONE, f));
    const int32_t nGap = m->TargetSteerAngle - m->SteerAngle;
    m->SteerAngle = nGap > nStep    ? static_cast<int16_t>(m->SteerAngle + nStep)
                    : nGap < -nStep ? static_cast<int16_t>(m->SteerAngle - nStep)
                                    : m->TargetSteerAngle;
}

// A pedal's ramp one tick on: up by the rate while held, else down by the rate times nFall
// (0: at once); the pedal follows the ramp's sine up to its maximum.
void Ramp(bool boHeld, int32_t xRate, int nFall, int32_t xMaximum, int32_t* pRamp, int32_t* pPedal)
{
    int32_t& xRamp = *pRamp;
    if (boHeld)
        xRamp = FfAdd(xRamp, xRate);
    else
        // The fall wraps as the 32-bit sums do: a car state from a replay may hold any rate.
        xRamp = nFall == 0 ? 0
                           : FfSub(xRamp, static_cast<int32_t>(static_cast<uint32_t>(xRate) *
                                                               static_cast<uint32_t>(nFall)));
    if (xRamp > ONE)
    {
        xRamp = ONE;
        *pPedal = xMaximum;
    }
    else if (xRamp <= 0)
    {
        xRamp = 0;
        *pPedal = 0;
    }
    else
        *pPedal = RampPedal(xRamp, xMaximum);
}

void RampThrottle(void)
{
    CarMechanics* m = gpMech;
    const bool boHeld = m->InputAccel != 0 || (m->InputSwap && m->InputBrake != 0);
    Ramp(boHeld, m->RampRateA, 3, m->MaxThrottle, &m->ThrottleRamp, &m->Throttle);
}

void RampBrake(void)
{
    CarMechanics* m = gpMech;
    if (m->InputBrake == 0 || m->InputSwap)
    {
        m->BrakeRamp = m->BrakeInput = 0;
        return;
    }
    Ramp(true, m->RampRateB, 0, kMaxBrake, &m->BrakeRamp, &m->BrakeInput);
}

void RampHandbrake(void)
{
    CarMechanics* m = gpMech;
    Ramp(m->InputHandbrake != 0, m->RampRateC, 0, kHandbrakeStrength, &m->HandbrakeRamp,
         &m->HandbrakeTorque);
}

} // namespace

void CarControl_SetSteeringSensitivity(void)
{
    for (int nSlot = 0; nSlot < MAX_CARS; ++nSlot)
    {
        const int nChoice = nSlot < GAME_DATA_LOCAL_PLAYERS
                                ? GameData_GetSetupChoice(nSlot, SETUP_STEERING)
                                : kDefaultSensitivity;
        gaSensitivity[nSlot] = kSensitivityRows[nChoice == 0 ? 0 : nChoice == 2 ? 2 : 1];
        DkLog(DkFormatString("Sensitivity %d for player %d", nChoice, nSlot));
    }
}

void CarControl_Update(CarMechanics* pMechanics, CarBody* pBody, int nCarNumber)
{
    ++gnUpdateCalls;
    gnLastListPosition = nCarNumber;
    if (pMechanics == nullptr || pBody == nullptr || gboPassThrough)
        return;
    gpMech = pMechanics;
    gpBody = pBody;
    CarMechanics* m = pMechanics;

    m->Gear = static_cast<int8_t>(GearOf(m->Gear));
    pBody->Reversing = m->GearRatioCopy[m->Gear] < 0 ? 1 : 0;
    pBody->BrakeLamp = (m->InputSwap ? m->InputAccel : m->InputBrake) != 0 ? 1 : 0;
    m->AccelControl = m->InputAccel;
    m->BrakeControl = m->InputBrake;
    m->AccelHeld = m->InputAccel != 0 ? 1 : 0;
    m->BrakeHeld = m->InputBrake != 0 ? 1 : 0;
    m->HandbrakeOn = m->InputHandbrake != 0 ? 1 : 0;
    m->JumpControl = m->InputSecond != 0 ? 1 : 0;

    ChangeGear(pBody->nCarNumber);

    if (m->AnalogueSteer)
        SteerWheel();
    else
        SteerDigital();

    if (m->AnalogueThrottle)
        m->Throttle = m->InputAccel != 0 ? FfMul(m->MaxThrottle, m->InputAccel) : 0;
    else
        RampThrottle();

    if (m->AnalogueBrake)
    {
        if (m->InputSwap && m->InputBrake != 0)
        {
            m->Throttle = FfMul(m->MaxThrottle, m->InputBrake);
            m->BrakeInput = 0;
        }
        else
            m->BrakeInput = FfMul(kMaxBrake, m->InputBrake);
    }
    else
    {
        RampBrake();
        if (m->AnalogueThrottle && m->InputSwap)
            m->Throttle = FfMul(m->MaxThrottle, m->InputBrake);
    }
    RampHandbrake();

    if (GameData_IsOptionSet(OPTION_FLAT_GRAVEL))
        pBody->BrakeLamp = 1;
    if (m->GearboxMode == 1)
        CarControl_ShiftHint();
}

void CarControl_ShiftHint(void)
{
    if (gpMech == nullptr || gpBody == nullptr)
        return;
    gpMech->ShiftHint = ChooseGear(false) >= gpMech->Gear ? 1 : 0;
}

void CarControl_HoldCarAtStart(CarMechanics* pMechanics, CarBody* pBody, int nCarNumber)
{
    if (pMechanics == nullptr || pBody == nullptr)
        return;
    CarMechanics* m = pMechanics;
    if (m->Started == 0)
    {
        m->BrakeInput = ONE;
        m->HandbrakeTorque = ONE;
        pBody->Velocity = pBody->AngularVelocity = {};
        pBody->Speed = 0;
    }
    if (!DkEntries().IsRallySchool() && StartSeq_IsHoldingCar(nCarNumber))
    {
        m->InputBrake = m->InputSwap ? 0 : ONE;
        m->InputHandbrake = 1;
        m->InputAccel = 0;
        FfVecScale(&pBody->Velocity, &pBody->Velocity, kStartDamping);
    }
    if (pBody->Finished)
    {
        pBody->FinishAccel = m->InputAccel;
        m->InputAccel = m->InputBrake = m->InputHandbrake = m->InputSecond = 0;
        m->InputGearChange = 0;
        if (pBody->Speed < kParkSpeed)
            m->InputHandbrake = 1;
        FfVecScale(&pBody->Velocity, &pBody->Velocity, kFinishDamping);
    }
}

void CarControl_ClearInputs(CarBody* pBody, CarMechanics* pMechanics)
{
    if (pBody == nullptr || pMechanics == nullptr || !pBody->Parked)
        return;
    CarMechanics* m = pMechanics;
    m->InputSteerLeft = m->InputSteerRight = m->InputAccel = 0;
    m->InputBrake = ONE;
    m->InputHandbrake = 1;
    m->InputSecond = 0;
    m->InputGearChange = 0;
}

void CarControl_ReduceThrottle(CarMechanics* pMechanics)
{
    constexpr int32_t kKeep = 64880; // 0.99
    if (pMechanics == nullptr)
        return;
    pMechanics->MaxThrottle = FfMul(pMechanics->MaxThrottle, kKeep);
    pMechanics->MaxThrottleCopy = FfMul(pMechanics->MaxThrottleCopy, kKeep);
}

void CarControl_SetPassThroughForTests(bool boPassThrough)
{
    gboPassThrough = boPassThrough;
}

int CarControl_GetUpdateCallsForTests(void)
{
    return gnUpdateCalls;
}

int CarControl_GetLastListPositionForTests(void)
{
    return gnLastListPosition;
}

void CarControl_ResetForTests(void)
{
    gnUpdateCalls = 0;
    gnLastListPosition = -1;
    gboPassThrough = false;
    for (SteeringSensitivity& s : gaSensitivity)
        s = kSensitivityRows[kDefaultSensitivity];
}

SteeringSensitivity CarControl_GetSensitivityForTests(int nSlot)
{
    return gaSensitivity[nSlot >= 0 && nSlot < MAX_CARS ? nSlot : 0];
}
