// Setting a car up: its actors, its per-type constants, the player's set-up choices and its
// resting pose on the ground at the start.
#include <cstring>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_rand.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_services.h"
#include "game/effects/weather.h"
#include "game/hud/rs_main.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/stageinfo.h"
#include "game/race/startup.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carmodel_internal.h"

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int32_t HALF = 0x8000;

constexpr int32_t kMass = 65536000; // 1000.0
constexpr int32_t kWeightExtra = 120 * ONE;
constexpr int32_t kSteerLimitCut = 1310;  // 0.02
constexpr int32_t kMorePowerRevs = 78643; // 1.2
constexpr int32_t kBandHigh = 64225;      // 0.98
constexpr int32_t kBandLowSecond = HALF;
constexpr int32_t kBandLowUpper = 43253; // 0.66
constexpr int32_t kBaseRatios[CAR_GEARS] = {0,     205783, 145489, 110100,
                                            89784, 76021,  65536,  -205783};
constexpr int32_t kRate005 = 3276;
constexpr int32_t kRate02 = 13107;
constexpr int32_t kRearGripOffset = -19660;
constexpr int32_t kLowGravity = 0x1999;    // 0.1
constexpr int32_t kNormalGravity = 0x9999; // 0.6
constexpr int kSchoolTyreEntries = 16;
constexpr int kSpecialLight = 8;
constexpr uint32_t kSpecialActorId = 5;
constexpr uint32_t kReflectionActorId = 111;

// Sets the per-type and common values of a valid type, and logs the type's text.
void SetTypeValues(CarBody* pBody, CarMechanics* pMech, int nCarType)
{
    const CarTypeRow& row = gaCarTypeTable[nCarType];
    pBody->BoxSize = {row.xLength, row.xHeight, row.xWidth};
    pMech->SteerLimit = row.xSteerLimit;
    pMech->DriveShareFront = row.xDriveShareFront;
    pMech->RampValue = row.xRampValue;
    pMech->MaxRevs = row.xMaxRevs;
    pBody->FrontOverhang = row.xFrontOverhang;
    pBody->RearOverhang = row.xRearOverhang;
    pBody->HalfTrack = row.xHalfTrack;
    pBody->FrontWheelDrop = row.xFrontWheelDrop;
    pBody->RearWheelDrop = row.xRearWheelDrop;

    pMech->Mass = kMass;
    for (int g = 1; g <= 5; ++g)
        pMech->RevBandHigh[g] = kBandHigh;
    pMech->RevBandLow[2] = kBandLowSecond;
    for (int g = 3; g <= 6; ++g)
        pMech->RevBandLow[g] = kBandLowUpper;
    std::memcpy(pMech->GearRatio, kBaseRatios, sizeof(kBaseRatios));
    DkLog(row.pszName);
}

// The tyre the rally school's lesson gives, or -1 for the player's own.
int SchoolTyre(void)
{
    const int g = GameData_GetSchoolGroup();
    const int t = GameData_GetSchoolTask();
    if (g >= 2 && t >= 4)
        return -1;
    const int nEntry = g * 5 + t;
    // Group 3 with tasks 1 to 3 lies past the table: those lessons keep the player's tyres.
    return nEntry < kSchoolTyreEntries ? gaSchoolTyreTable[nEntry] : -1;
}

BOOL IsHalfSize(void)
{
    return GameData_IsOptionSet(OPTION_HALF_SIZE);
}

} // namespace

BOOL CarModel_BindActors(int nIndex, CarBody* pBody)
{
    if (pBody == nullptr || nIndex < 0 || nIndex >= MAX_LOADED_CARS)
    {
        DKREPORT(DkFormatString("CarModel_BindActors() : no loaded car %d", nIndex));
        return FALSE;
    }
    const LoadedCar& car = gaLoadedCar[nIndex];
    if (car.paBodyDummy == nullptr || car.paCar == nullptr)
    {
        DKREPORT(DkFormatString("CarModel_BindActors() : loaded car %d has no model", nIndex));
        return FALSE;
    }
    // Everything is found before anything moves: the wheels hang under the body, which leaves
    // the root below.
    DK_ACTOR* apWheel[CAR_WHEELS];
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        apWheel[w] = DkFindActorById(car.paCar->pChild, static_cast<uint32_t>(w + 1));
        if (apWheel[w] == nullptr)
        {
            DKREPORT(
                DkFormatString("CarModel_BindActors() : car %d has no wheel %d", nIndex, w + 1));
            return FALSE;
        }
    }
    DK_ACTOR* pSpecial = DkFindActorById(car.paBodyDummy->pChild, kSpecialActorId);
    if (pSpecial == nullptr)
    {
        DKREPORT(DkFormatString("CarModel_BindActors() : car %d has no actor %u", nIndex,
                                kSpecialActorId));
        return FALSE;
    }

    pBody->paCar = car.paCar;
    pBody->paBodyDummy = car.paBodyDummy;
    if (pBody->nCarNumber >= 0 && pBody->nCarNumber < MAX_CARS)
        gaCarIndexByDamageSlot[pBody->nCarNumber] = nIndex;
    pBody->paSpecialActor = pSpecial;
    for (int w = 0; w < CAR_WHEELS; ++w)
        pBody->paWheel[w] = apWheel[w];
    pBody->paReflection = DkFindActorById(car.paBodyDummy->pChild, kReflectionActorId);
    // The scene root is the world actor.
    dkChangeActorParent(car.paCar, DkGetWorldActor());
    dkChangeActorParent(pSpecial, car.paBodyDummy);
    for (int w = 0; w < CAR_WHEELS; ++w)
        FfMatGetPosition(&pBody->WheelRestPosition[w], &apWheel[w]->Local);
    return TRUE;
}

BOOL InitialiseCar(CarBody* pBody, CarMechanics* pMech, DK_ACTOR* pStartActor, int nCarType,
                   const DK_VECTOR* pStartPosition, int nCarNumber)
{
    // A type beyond the table (the front end's "default" entry) gets no per-type values, and a
    // car without them divides by zero further on: it is refused before anything is set.
    if (nCarType < 0 || nCarType >= NUM_CAR_TYPES)
    {
        DKREPORT("Error in InitialiseCar: Pass a real car in (not DEFAULT)");
        return FALSE;
    }
    if (pBody == nullptr || pMech == nullptr || pStartActor == nullptr ||
        pStartPosition == nullptr || nCarNumber < 0 || nCarNumber >= MAX_CARS)
    {
        DKREPORT(
            DkFormatString("InitialiseCar() : car %d has no records, start or number", nCarNumber));
        return FALSE;
    }

    gpCurrentCarBody = pBody;
    gpCurrentCarMechanics = pMech;
    // The car number first: the binding files the loaded model under it.
    pBody->nCarNumber = static_cast<int8_t>(nCarNumber);
    if (!CarModel_BindActors(nCarNumber, pBody))
        return FALSE;
    pBody->nCarType = static_cast<int8_t>(nCarType);
    pBody->Position = *pStartPosition;

    const DK_MATRIX& start = pStartActor->Local;
    if (!DkEntries().IsRallySchool() && (IsSplitScreenCollisionGame() || IsTwoPlayerGame()) &&
        !IsSuperSpecialStage())
    {
        // Two cars start side by side.
        DK_VECTOR side;
        FfMatGetRow2(&side, &start);
        pBody->Position =
            VecAdd(pBody->Position, VecScaled(side, nCarNumber == 0 ? 2 * ONE : -2 * ONE));
    }

    pBody->Velocity = {};
    pBody->AngularVelocity = {};
    pMech->EngineRevs = 0;
    pMech->BrakeInput = 0;
    pMech->xFixed752 = 0;
    pMech->HandbrakeTorque = 0;
    pMech->xFixed760 = 0;
    pMech->AccelControl = 0;
    pMech->SteerAngle = 0;
    pMech->ClutchOut = 0;
    pMech->Gear = boThisIsPodiumStage ? 1 : 0;
    for (int w = 0; w < CAR_WHEELS; ++w)
        pMech->WheelGripOffset[w] = pMech->WheelGripOffset2[w] = 0;

    pBody->pMatrix = &pBody->Matrix;
    FfMatGetRow0(&pBody->OrientRow0, &start);
    FfMatGetRow1(&pBody->UpAxis, &start);
    FfMatGetRow2(&pBody->OrientRow2, &start);
    FfMatSetRow0(&pBody->OrientRow0, &pBody->Matrix);
    FfMatSetRow1(&pBody->UpAxis, &pBody->Matrix);
    FfMatSetRow2(&pBody->OrientRow2, &pBody->Matrix);
    pMech->pSwayMatrix = &pMech->SwayMatrix;
    pMech->pDisplayMatrix = &pMech->DisplayMatrix;
    // The id-5 actor's rows are copied last and stand.
    FfMatCopy(&pBody->paBodyDummy->Local, &pBody->Matrix);
    FfMatCopy(&pBody->paSpecialActor->Local, &pBody->Matrix);
    pMech->SwayBaseY = pMech->SwayMatrix.m[3][1];

    SetTypeValues(pBody, pMech, nCarType);
    pMech->SteerLimit -= kSteerLimitCut;
    if (GameData_IsOptionSet(OPTION_MORE_POWER))
    {
        pMech->MaxRevs = FfMul(pMech->MaxRevs, kMorePowerRevs);
        pMech->SteerLimit = FfMul(pMech->SteerLimit, 2 * ONE);
    }
    if (IsHalfSize())
    {
        pBody->BoxSize = VecScaled(pBody->BoxSize, HALF);
        pBody->FrontOverhang = FfMul(pBody->FrontOverhang, HALF);
        pBody->RearOverhang = FfMul(pBody->RearOverhang, HALF);
        pBody->HalfTrack = FfMul(pBody->HalfTrack, HALF);
        pBody->FrontWheelDrop = FfMul(pBody->FrontWheelDrop, HALF);
        pBody->RearWheelDrop = FfMul(pBody->RearWheelDrop, HALF);
    }
    pBody->Weight = pMech->Mass + kWeightExtra;
    pBody->InverseWeight = FfDiv(ONE, pBody->Weight);

    CarModel_SetBrakeBalance();
    CarModel_SetGearRatios();
    CarModel_SetSuspension();

    Car_SetTyreType(pBody, DkEntries().IsRallySchool() ? SchoolTyre() : -1);

    pMech->SteerLimitBase = pMech->SteerLimit;
    pBody->Speed = 0;
    pMech->InputSwap = 0;
    pMech->RevBandHigh[6] = kBandHigh;
    pMech->RevBandLow[1] = HALF;
    pMech->EngineFriction = 131;
    pMech->SteerRate = pMech->SteerRateBase = kRate005;
    pMech->InverseMaxRevs = FfDiv(ONE, pMech->MaxRevs);
    pMech->RampRateA = pMech->RampRateABase = kRate005;
    pMech->RampRateB = pMech->RampRateBBase = kRate005;
    pMech->RampRateMid = HALF;
    pMech->ControlByte = 3;
    pMech->TargetSteerAngle = 682;
    pMech->RampRateC = pMech->RampRateCBase = kRate02;
    pMech->MaxThrottle = pMech->MaxThrottleCopy = ONE;

    pMech->InverseGearRatio[0] = 0;
    for (int g = 1; g < CAR_GEARS; ++g)
        pMech->InverseGearRatio[g] = FfDiv(ONE, pMech->GearRatio[g]);
    std::memcpy(pMech->GearRatioCopy, pMech->GearRatio, sizeof(pMech->GearRatio));
    std::memcpy(pMech->InverseGearRatioCopy, pMech->InverseGearRatio,
                sizeof(pMech->InverseGearRatio));

    const int32_t xTopSpeed = FfMul(pMech->MaxRevs, pMech->InverseGearRatio[6]);
    pMech->TopSpeed = xTopSpeed;
    pMech->TopSpeedFactor = FfDiv(ONE, FfDiv(xTopSpeed, 4 * ONE));

    pBody->BoundingRadius = FfMul(FfVecLength(&pBody->BoxSize), HALF);
    pBody->InverseInertia = {1, 2, 1};
    if (IsHalfSize())
        pBody->InverseInertia = VecScaled(pBody->InverseInertia, 2 * ONE);
    pBody->InverseBoxSize = {FfDiv(ONE, pBody->BoxSize.x), FfDiv(ONE, pBody->BoxSize.y),
                             FfDiv(ONE, pBody->BoxSize.z)};

    for (int i = 0; i < CAR_POINTS; ++i)
        pMech->PointSlideLimit[i] = pMech->PointPeakLimit[i] = 0;
    pBody->HalfSize = {pBody->BoxSize.x >> 1, pBody->BoxSize.y >> 1, pBody->BoxSize.z >> 1};
    const int32_t hx = pBody->HalfSize.x, hy = pBody->HalfSize.y, hz = pBody->HalfSize.z;
    const DK_VECTOR corners[CAR_POINTS] = {{hx, -hy, hz},   {hx, -hy, -hz}, {-hx, -hy, hz},
                                           {-hx, -hy, -hz}, {hx, hy, hz},   {hx, hy, -hz},
                                           {-hx, hy, hz},   {-hx, hy, -hz}};
    std::memcpy(pBody->LocalCorner, corners, sizeof(corners));

    const BOOL boFlatGravel = GameData_IsOptionSet(OPTION_FLAT_GRAVEL);
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        pMech->WheelSpeed[w] = 0;
        pMech->WheelSpinSpeed[w] = 0;
        pBody->WheelShake[w] = boFlatGravel ? -HALF : 0;
        pBody->WheelShakePhase[w] = 0;
    }
    pMech->CarGripOffset[0] = pMech->CarGripOffset[1] = 0;

    CarModel_UpdateCorners(pBody);
    for (int16_t& nSurface : pMech->WheelSurface)
        nSurface = 0;
    // A cleared cache names triangle 0; the car stands somewhere new.
    CarModel_ForgetTriangles(pMech);
    gDownVector = {0, -HALF, 0};
    CarModel_UpdateBodyContacts(pBody, pMech);
    CarModel_GroundNormal();

    CarModel_AlignToGround(pBody);
    CarModel_WriteMatrix(pBody);
    CarModel_UpdateCorners(pBody);

    pBody->Position.y =
        FfAdd(pBody->Position.y, FfSub(pBody->PointGroundHeight[0], pBody->ContactPoint[0].y));
    FfMatSetPosition(&pBody->Position, &pBody->Matrix);
    DkSetActorPosition(pBody->paBodyDummy, &pBody->Position);
    CarModel_UpdateCorners(pBody);
    CarModel_UpdateTouchingPoints();

    pBody->ExtForce = {};
    pBody->ExtTorque = {};
    pBody->AxisDotGround[0] = 0;
    pBody->AxisDotGround[1] = ONE;
    pBody->AxisDotGround[2] = 0;
    for (int w = 0; w < CAR_WHEELS; ++w)
        pMech->WheelSlipOut[w] = pMech->WheelSideSpeed[w] = 0;

    pMech->GearboxMode = GameData_GetGearboxBit(nCarNumber) ? 1 : 2;
    pMech->Stuck = pMech->UpsideDown = pMech->OnSide = pMech->OnEnd = 0;
    pMech->FlipTicksUp = pMech->FlipTicksSide = pMech->FlipTicksEnd = 0;
    pBody->WasUpsideDown = 0;
    pBody->RollAngle = 0;
    pBody->TipValue = 0;
    pBody->TipCounter = 0;
    pBody->RearWheelForward = pBody->OrientRow0;
    pMech->RearGripOffset = kRearGripOffset;
    pBody->RollTicks = 0;
    pBody->nCounter1764 = 0;
    pMech->RescueActive = 0;

    pBody->WetStage = StageInfo_GetLight() == kSpecialLight || Weather_IsWetStage() ? 1 : 0;
    pBody->DamageActive = 1;

    if (gNumberOfPlayers == 2 || DkEntries().IsRallySchool())
    {
        pMech->RevSweepOn = 0;
        pMech->RevSweepPeriod = 0;
    }
    else
    {
        pMech->RevSweepOn = 1;
        pMech->RevSweepPeriod = static_cast<int16_t>(10 * (DkRand() % 2) + 13);
    }
    // The engine start waits and sweeps on the body's copies.
    pBody->EngineStarting = pMech->RevSweepOn;
    pBody->EngineStartTicks = pMech->RevSweepPeriod;

    std::memcpy(pBody->StartCorner, pBody->ContactPoint, sizeof(pBody->ContactPoint));
    pBody->StartRow[0] = pBody->OrientRow0;
    pBody->StartRow[1] = pBody->UpAxis;
    pBody->StartRow[2] = pBody->OrientRow2;
    pBody->StartPosition = pBody->Position;
    pBody->StartGroundNormal = pBody->GroundNormal;

    pBody->PreJumpByte = 0;
    pBody->JumpTicks = 0;
    pMech->RescueFade = 0;
    pMech->PowerSlide = 1;

    gxGravityScale = GameData_IsOptionSet(OPTION_LOW_GRAVITY) ? kLowGravity : kNormalGravity;
    if (DkEntries().IsRallySchool())
        School_SavePlayerInfo();
    return TRUE;
}

void CarModel_SetBrakeBalance(void)
{
    const int nChoice = GameData_GetSetupChoice(gpCurrentCarBody->nCarNumber, SETUP_BRAKES);
    DkLog(DkFormatString("Brakes chosen %d", nChoice));
    gpCurrentCarMechanics->BrakeBalance = nChoice == 0 ? 0x4000 : nChoice == 1 ? 0x8000 : 0xC000;
}

void CarModel_SetGearRatios(void)
{
    struct Spread
    {
        int32_t xScale, xShift;
    };
    // Choices 0 to 3; any other takes the last row.
    static constexpr Spread kSpreads[] = {
        {72089, -13107}, {68812, -6553}, {ONE, 0}, {62259, 6553}, {58983, 13107}};
    const int nChoice = GameData_GetSetupChoice(gpCurrentCarBody->nCarNumber, SETUP_GEAR_RATIO);
    DkLog(DkFormatString("Gear ratios chosen %d", nChoice));
    const Spread& spread = kSpreads[nChoice < 4 ? nChoice : 4];
    int32_t* pRatio = gpCurrentCarMechanics->GearRatio;
    int32_t axGap[5];
    for (int i = 1; i <= 5; ++i)
        axGap[i - 1] = FfMul(FfSub(pRatio[i + 1], pRatio[i]), spread.xScale);
    pRatio[1] = FfAdd(pRatio[1], spread.xShift);
    for (int i = 1; i <= 5; ++i)
        pRatio[i + 1] = FfAdd(pRatio[i], axGap[i - 1]);
}

void CarModel_SetSuspension(void)
{
    struct Column
    {
        int32_t xLastSway, xChoice, xFollowBase, xFollowExtra, xTravelMax, xRelax, xThreshold;
        int32_t xSlopeDivisor, xAntiRollDivisor;
    };
    // Choices 0 to 2; any other takes the first column.
    static constexpr Column kColumns[] = {
        {13107, 13107, 22937, 36044, 3276, 655, 65, 436928, 19660},
        {39321, 26214, 22937, 36044, 3276, 655, 65, 327680, 13107},
        {ONE, 39321, HALF, 26214, 0, 1310, 65, 218431, 6553},
    };
    CarMechanics* pMech = gpCurrentCarMechanics;
    const int nChoice =
        GameData_IsOptionSet(OPTION_FLAT_GRAVEL)
            ? 0
            : GameData_GetSetupChoice(gpCurrentCarBody->nCarNumber, SETUP_SUSPENSION);
    DkLog(DkFormatString("Suspension chosen %d", nChoice));
    const Column& c = kColumns[nChoice == 1 || nChoice == 2 ? nChoice : 0];

    // The nine sway constants in record order; the drawn-body sway names them (carmodel.h).
    pMech->SwaySpring = 5898;
    pMech->SwaySpring2 = ONE;
    pMech->SwayLimitX = 5898;
    pMech->SwayLimitZ = 6553;
    pMech->SwayUpLength = ONE;
    pMech->SwayHeightGain = -19660;
    pMech->SwayHeightLimit = 13107;
    pMech->SwayStepLimit = FfMul(786, gStepScale);
    pMech->SwayBaseHeight = c.xLastSway;
    pMech->FollowThreshold = 6553;
    pMech->FollowGain = FfMul(157286, gStepScale);
    pMech->SwayOffsetLimit = 0x4000;
    pMech->SwayLoadGain = FfDiv(ONE, 0x4000);
    pMech->FollowBase = c.xFollowBase;
    pMech->FollowExtra = c.xFollowExtra;
    pMech->LoadTransferGain = gpCurrentCarBody->Weight >> 3;
    pMech->AntiRollGain = FfDiv(ONE, c.xAntiRollDivisor);
    pMech->SuspTravelMax = c.xTravelMax;
    pMech->SuspRelax = c.xRelax;
    pMech->SlopeChangeThreshold = c.xThreshold;
    pMech->SlopeChangeGain = FfMul(FfDiv(ONE, c.xSlopeDivisor), gStepScale);
    pMech->SuspensionConstant = c.xChoice;
}
