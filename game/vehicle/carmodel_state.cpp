// The records' state image: both records field by field in record order, little-endian, each
// field at the next multiple of its element's size, pointer slots 4 bytes of 0. The field lists
// below are checked against the records at compile time: every member, in memory order.
#include <array>
#include <cstddef>
#include <cstring>

#include "engine/include/dk_services.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/heightdata.h"

namespace
{

enum class Kind : uint8_t
{
    Pointer,
    Word,
    Half,
    Byte
};

template <typename T> struct Element;
template <> struct Element<int32_t>
{
    static constexpr Kind kKind = Kind::Word;
};
template <> struct Element<uint32_t> : Element<int32_t>
{
};
template <> struct Element<DK_VECTOR> : Element<int32_t>
{
};
template <> struct Element<DK_MATRIX> : Element<int32_t>
{
};
template <> struct Element<int16_t>
{
    static constexpr Kind kKind = Kind::Half;
};
template <> struct Element<uint16_t> : Element<int16_t>
{
};
template <> struct Element<int8_t>
{
    static constexpr Kind kKind = Kind::Byte;
};
template <> struct Element<uint8_t> : Element<int8_t>
{
};
template <typename T> struct Element<T*>
{
    static constexpr Kind kKind = Kind::Pointer;
};
template <typename T, size_t N> struct Element<T[N]> : Element<T>
{
};

constexpr size_t MemorySize(Kind k)
{
    return k == Kind::Pointer ? sizeof(void*) : k == Kind::Word ? 4 : k == Kind::Half ? 2 : 1;
}

constexpr size_t ImageSize(Kind k)
{
    return k == Kind::Pointer || k == Kind::Word ? 4 : k == Kind::Half ? 2 : 1;
}

struct Field
{
    size_t uOffset; // in memory
    size_t uSize;   // in memory
    Kind kind;
    constexpr size_t Count() const { return uSize / MemorySize(kind); }
};

#define CAR_FIELD(Record, name)                                                                    \
    Field{offsetof(Record, name), sizeof(Record::name), Element<decltype(Record::name)>::kKind},
#define BODY_FIELD(name) CAR_FIELD(CarBody, name)
#define MECH_FIELD(name) CAR_FIELD(CarMechanics, name)

// clang-format off
constexpr Field kBodyFields[] = {
    BODY_FIELD(paCar) BODY_FIELD(paSpecialActor) BODY_FIELD(paBodyDummy) BODY_FIELD(paWheel)
    BODY_FIELD(paReflection) BODY_FIELD(BoxSize) BODY_FIELD(HalfSize) BODY_FIELD(InverseBoxSize)
    BODY_FIELD(BoundingRadius) BODY_FIELD(Weight) BODY_FIELD(InverseWeight)
    BODY_FIELD(InverseInertia) BODY_FIELD(LocalCorner) BODY_FIELD(AxisDotGround)
    BODY_FIELD(Position) BODY_FIELD(Velocity) BODY_FIELD(VelocityPrev) BODY_FIELD(Speed)
    BODY_FIELD(AngularVelocity) BODY_FIELD(ContactPoint) BODY_FIELD(ContactPointStart)
    BODY_FIELD(StartCorner) BODY_FIELD(StartRow) BODY_FIELD(StartPosition)
    BODY_FIELD(StartGroundNormal) BODY_FIELD(OrientRow0) BODY_FIELD(UpAxis)
    BODY_FIELD(OrientRow2) BODY_FIELD(OrientPrev) BODY_FIELD(pMatrix) BODY_FIELD(Matrix)
    BODY_FIELD(PointGroundHeight) BODY_FIELD(PointObjectDepth) BODY_FIELD(GroundNormal)
    BODY_FIELD(GroundNormalPrev) BODY_FIELD(PointNormal) BODY_FIELD(PointNormalPrev)
    BODY_FIELD(ExtForce) BODY_FIELD(ExtTorque) BODY_FIELD(PositionPrev) BODY_FIELD(ImpactOffset)
    BODY_FIELD(PointGroundForce) BODY_FIELD(PointForce) BODY_FIELD(PointVelocity)
    BODY_FIELD(GravityForce) BODY_FIELD(SlideDamping) BODY_FIELD(WheelLoad)
    BODY_FIELD(EngineTorque) BODY_FIELD(WheelTorque) BODY_FIELD(FrontWheelSide)
    BODY_FIELD(FrontWheelForward) BODY_FIELD(SuspTravel) BODY_FIELD(SuspFollow)
    BODY_FIELD(WheelShakePhase) BODY_FIELD(WheelShake) BODY_FIELD(AntiRoll)
    BODY_FIELD(WheelRestPosition) BODY_FIELD(RearWheelForward) BODY_FIELD(nWord1504)
    BODY_FIELD(WheelHubOffset) BODY_FIELD(WheelSpinAngle) BODY_FIELD(RollAngle)
    BODY_FIELD(TipValue) BODY_FIELD(TipCounter) BODY_FIELD(SinkTicks) BODY_FIELD(FrontOverhang)
    BODY_FIELD(RearOverhang) BODY_FIELD(HalfTrack) BODY_FIELD(RearWheelDrop)
    BODY_FIELD(FrontWheelDrop) BODY_FIELD(LowestWheelDepth) BODY_FIELD(LowestWheel)
    BODY_FIELD(PointLoad) BODY_FIELD(WheelsOnGround) BODY_FIELD(RollTicks)
    BODY_FIELD(NeedsRescue) BODY_FIELD(Rolling) BODY_FIELD(WasUpsideDown)
    BODY_FIELD(RollStarted) BODY_FIELD(WheelOnGround) BODY_FIELD(PointInObject)
    BODY_FIELD(anWords1724) BODY_FIELD(WallHit) BODY_FIELD(WallHitPrev)
    BODY_FIELD(nCounter1764) BODY_FIELD(EngineStarting) BODY_FIELD(EngineStartTicks)
    BODY_FIELD(DamageActive) BODY_FIELD(nWord1780) BODY_FIELD(WetStage) BODY_FIELD(nWord1788)
    BODY_FIELD(AtRest) BODY_FIELD(JoltRequest) BODY_FIELD(anWords1800)
    BODY_FIELD(SlopeTipCounter) BODY_FIELD(SecondCounter) BODY_FIELD(nCarNumber)
    BODY_FIELD(nCarType) BODY_FIELD(PointOffGround) BODY_FIELD(PointsTouching)
    BODY_FIELD(AllPointsOff) BODY_FIELD(TouchingList) BODY_FIELD(LeanAngle)
    BODY_FIELD(PreJumpByte) BODY_FIELD(JumpTicks) BODY_FIELD(nCurrentBlock)
    BODY_FIELD(anNeighbourBlocks) BODY_FIELD(TyreType) BODY_FIELD(StartCountdown)
    BODY_FIELD(NoDamage) BODY_FIELD(nEffectsWord)
};

constexpr Field kMechanicsFields[] = {
    MECH_FIELD(pSwayMatrix) MECH_FIELD(pDisplayMatrix) MECH_FIELD(SwayMatrix)
    MECH_FIELD(DisplayMatrix) MECH_FIELD(SwayState) MECH_FIELD(SwayCorner) MECH_FIELD(SwayBaseY)
    MECH_FIELD(WheelSwayOffset) MECH_FIELD(SwaySpring) MECH_FIELD(SwaySpring2) MECH_FIELD(SwayLimitX)
    MECH_FIELD(SwayLimitZ) MECH_FIELD(SwayUpLength) MECH_FIELD(SwayHeightGain)
    MECH_FIELD(SwayHeightLimit) MECH_FIELD(SwayStepLimit) MECH_FIELD(SwayBaseHeight) MECH_FIELD(FollowThreshold)
    MECH_FIELD(FollowGain) MECH_FIELD(SwayOffsetLimit) MECH_FIELD(SwayLoadGain)
    MECH_FIELD(FollowBase) MECH_FIELD(FollowExtra) MECH_FIELD(MinCornerHeight)
    MECH_FIELD(LoadTransferGain) MECH_FIELD(AntiRollGain) MECH_FIELD(SuspTravelMax)
    MECH_FIELD(SuspRelax) MECH_FIELD(SlopeChangeThreshold) MECH_FIELD(SlopeChangeGain)
    MECH_FIELD(SwayState2) MECH_FIELD(SuspensionConstant) MECH_FIELD(Mass)
    MECH_FIELD(EngineFriction) MECH_FIELD(SteerLimit) MECH_FIELD(SteerLimitBase)
    MECH_FIELD(SteerRate) MECH_FIELD(SteerRateBase) MECH_FIELD(DriveShareFront)
    MECH_FIELD(MaxRevs) MECH_FIELD(InverseMaxRevs) MECH_FIELD(TopSpeedFactor) MECH_FIELD(TopSpeed)
    MECH_FIELD(RampValue) MECH_FIELD(BrakeBalance) MECH_FIELD(RampRateA) MECH_FIELD(RampRateABase)
    MECH_FIELD(RampRateB) MECH_FIELD(RampRateBBase) MECH_FIELD(RampRateMid) MECH_FIELD(RampRateC)
    MECH_FIELD(RampRateCBase) MECH_FIELD(RevBandHigh) MECH_FIELD(RevBandLow)
    MECH_FIELD(GearRatio) MECH_FIELD(InverseGearRatio) MECH_FIELD(GearRatioCopy)
    MECH_FIELD(InverseGearRatioCopy) MECH_FIELD(CarGripOffset) MECH_FIELD(WheelGripOffset)
    MECH_FIELD(WheelGripOffset2) MECH_FIELD(TyreGripOffset) MECH_FIELD(TyreValue2)
    MECH_FIELD(GripScale) MECH_FIELD(WheelSpeed) MECH_FIELD(WheelSpinSpeed)
    MECH_FIELD(WheelTorqueOut) MECH_FIELD(Throttle) MECH_FIELD(xFixed732) MECH_FIELD(EngineRevs)
    MECH_FIELD(EngineRevsPrev) MECH_FIELD(EngineTarget) MECH_FIELD(BrakeInput)
    MECH_FIELD(xFixed752) MECH_FIELD(HandbrakeTorque) MECH_FIELD(xFixed760)
    MECH_FIELD(AccelControl) MECH_FIELD(BrakeControl) MECH_FIELD(AccelHeld) MECH_FIELD(BrakeHeld)
    MECH_FIELD(HandbrakeOn) MECH_FIELD(JumpControl) MECH_FIELD(QuickDrying) MECH_FIELD(SteerControl)
    MECH_FIELD(PointSlideLimit) MECH_FIELD(PointPeakLimit) MECH_FIELD(PeakGrip)
    MECH_FIELD(SlideGrip) MECH_FIELD(RearGripOffset) MECH_FIELD(WheelFrames)
    MECH_FIELD(WheelSlipOut) MECH_FIELD(WheelSideSpeed) MECH_FIELD(PointTriangleCache)
    MECH_FIELD(SteerAngle) MECH_FIELD(TargetSteerAngle) MECH_FIELD(ResetRotation) MECH_FIELD(Stuck)
    MECH_FIELD(GearboxMode) MECH_FIELD(UpsideDown) MECH_FIELD(OnSide) MECH_FIELD(OnEnd)
    MECH_FIELD(AirDroop) MECH_FIELD(Upright) MECH_FIELD(InputSwap) MECH_FIELD(ClutchOut)
    MECH_FIELD(anWords1036) MECH_FIELD(RescueActive) MECH_FIELD(PowerSlide)
    MECH_FIELD(RescueTimer) MECH_FIELD(RescueFade) MECH_FIELD(WheelSurface) MECH_FIELD(Gear)
    MECH_FIELD(LaunchTicks) MECH_FIELD(FlipTicksUp) MECH_FIELD(FlipTicksSide)
    MECH_FIELD(FlipTicksEnd) MECH_FIELD(ControlByte) MECH_FIELD(RevLimiterOn)
    MECH_FIELD(RevLimiterCut) MECH_FIELD(anWords1092) MECH_FIELD(RescuePenalty)
};

// The later fields: the mechanics' first, then the body's from the next 4-byte boundary.
constexpr Field kExtraFields[] = {
    MECH_FIELD(RevSweepOn) MECH_FIELD(RevSweepPeriod) MECH_FIELD(InputSteerLeft)
    MECH_FIELD(InputSteerRight) MECH_FIELD(InputAccel) MECH_FIELD(InputBrake)
    MECH_FIELD(InputHandbrake) MECH_FIELD(InputSecond) MECH_FIELD(InputGearChange)
    MECH_FIELD(AnalogueSteer) MECH_FIELD(AnalogueThrottle) MECH_FIELD(AnalogueBrake)
    MECH_FIELD(Started) MECH_FIELD(ThrottleRamp) MECH_FIELD(BrakeRamp) MECH_FIELD(HandbrakeRamp)
    MECH_FIELD(SteerPosition) MECH_FIELD(SteerDirection) MECH_FIELD(TargetGear)
    MECH_FIELD(ShiftPending) MECH_FIELD(ShiftDelay) MECH_FIELD(ShiftTimer)
    MECH_FIELD(ShiftDirection) MECH_FIELD(GearboxDamageCounter) MECH_FIELD(ShiftHint)
    MECH_FIELD(MaxThrottle) MECH_FIELD(MaxThrottleCopy)
};

constexpr Field kBodyExtraFields[] = {
    BODY_FIELD(BrakeLamp) BODY_FIELD(Reversing) BODY_FIELD(Finished) BODY_FIELD(Parked)
    BODY_FIELD(FinishAccel) BODY_FIELD(PointObjectDepthPrev) BODY_FIELD(Collided)
    BODY_FIELD(StaticKeys) BODY_FIELD(StaticKeysPrev) BODY_FIELD(nStaticKeys)
    BODY_FIELD(nStaticKeysPrev) BODY_FIELD(MovingKeys) BODY_FIELD(MovingKeysPrev)
    BODY_FIELD(nMovingKeys) BODY_FIELD(nMovingKeysPrev)
};
// clang-format on

#undef BODY_FIELD
#undef MECH_FIELD
#undef CAR_FIELD

constexpr size_t AlignUp(size_t u, size_t uAlign)
{
    return (u + uAlign - 1) / uAlign * uAlign;
}

// Where the list's field at memory offset uMemory lands in the image; the end of the list for
// an offset it does not hold.
template <size_t N> constexpr size_t ImageOffsetOf(const Field (&fields)[N], size_t uMemory)
{
    size_t uAt = 0;
    for (const Field& f : fields)
    {
        uAt = AlignUp(uAt, ImageSize(f.kind));
        if (f.uOffset == uMemory)
            return uAt;
        uAt += f.Count() * ImageSize(f.kind);
    }
    return uAt;
}

template <size_t N> constexpr size_t ImageEnd(const Field (&fields)[N])
{
    return ImageOffsetOf(fields, ~size_t{0});
}

// The list holds every member from uFrom on, in order, each where the compiler put it, and
// ends where the next list (or the record's padding) begins.
template <size_t N> constexpr bool CoversMemory(const Field (&fields)[N], size_t uFrom, size_t uTo)
{
    size_t uAt = uFrom;
    for (const Field& f : fields)
    {
        if (f.uOffset != AlignUp(uAt, MemorySize(f.kind)) || f.uSize % MemorySize(f.kind) != 0)
            return false;
        uAt = f.uOffset + f.uSize;
    }
    return uAt <= uTo && uTo - uAt < alignof(void*);
}

constexpr size_t kBodyFieldsEnd = ImageEnd(kBodyFields);
constexpr size_t kMechanicsFieldsEnd = ImageEnd(kMechanicsFields);

static_assert(CoversMemory(kBodyFields, 0, offsetof(CarBody, BrakeLamp)),
              "every CarBody member of the first layout, in order");
static_assert(CoversMemory(kBodyExtraFields, offsetof(CarBody, BrakeLamp),
                           offsetof(CarBody, DisplayRow)),
              "every later CarBody member before the display's copies, in order");
static_assert(offsetof(CarBody, DisplayGroundNormal) + sizeof(DK_VECTOR) == sizeof(CarBody),
              "the display's copies end the record");
static_assert(CoversMemory(kMechanicsFields, 0, offsetof(CarMechanics, RevSweepOn)),
              "every CarMechanics member of the first layout, in order");
static_assert(CoversMemory(kExtraFields, offsetof(CarMechanics, RevSweepOn), sizeof(CarMechanics)),
              "every later CarMechanics member, in order");

static_assert(kBodyFieldsEnd == CAR_BODY_IMAGE_SIZE, "the body section is 1,896 bytes");
// The mechanics fields take 1,116 bytes; 8 reserved bytes of 0 end the section.
static_assert(kMechanicsFieldsEnd == 1116, "the mechanics fields take 1,116 bytes");
constexpr size_t kBodyExtraAt = AlignUp(ImageEnd(kExtraFields), 4);
static_assert(kBodyExtraAt + AlignUp(ImageEnd(kBodyExtraFields), 4) == CAR_EXTRA_IMAGE_SIZE,
              "the later fields");

static_assert(ImageOffsetOf(kBodyFields, offsetof(CarBody, Position)) == 200);
static_assert(ImageOffsetOf(kBodyFields, offsetof(CarBody, ContactPoint)) == 252);
static_assert(ImageOffsetOf(kBodyFields, offsetof(CarBody, OrientRow0)) == 600);
static_assert(ImageOffsetOf(kBodyFields, offsetof(CarBody, Matrix)) == 676);
static_assert(ImageOffsetOf(kBodyFields, offsetof(CarBody, ExtForce)) == 972);
static_assert(ImageOffsetOf(kBodyFields, offsetof(CarBody, NeedsRescue)) == 1660);
static_assert(ImageOffsetOf(kBodyFields, offsetof(CarBody, nCarNumber)) == 1848);
static_assert(ImageOffsetOf(kBodyFields, offsetof(CarBody, StartCountdown)) == 1884);
static_assert(ImageOffsetOf(kMechanicsFields, offsetof(CarMechanics, MaxRevs)) == 348);
static_assert(ImageOffsetOf(kMechanicsFields, offsetof(CarMechanics, GearRatio)) == 464);
static_assert(ImageOffsetOf(kMechanicsFields, offsetof(CarMechanics, EngineRevs)) == 736);
static_assert(ImageOffsetOf(kMechanicsFields, offsetof(CarMechanics, Gear)) == 1078);

// An element of the record as an unsigned number of its own width, whatever the host's order.
uint32_t LoadElement(const uint8_t* p, Kind kind)
{
    if (kind == Kind::Word)
    {
        uint32_t u;
        std::memcpy(&u, p, sizeof(u));
        return u;
    }
    if (kind == Kind::Half)
    {
        uint16_t u;
        std::memcpy(&u, p, sizeof(u));
        return u;
    }
    return *p;
}

void StoreElement(uint8_t* p, Kind kind, uint32_t uValue)
{
    if (kind == Kind::Word)
        std::memcpy(p, &uValue, sizeof(uValue));
    else if (kind == Kind::Half)
    {
        const uint16_t u = static_cast<uint16_t>(uValue);
        std::memcpy(p, &u, sizeof(u));
    }
    else
        *p = static_cast<uint8_t>(uValue);
}

// Writes the listed fields of the record at pOut; returns the bytes the fields took.
template <size_t N> size_t WriteFields(const Field (&fields)[N], const void* pRecord, uint8_t* pOut)
{
    const uint8_t* pBase = static_cast<const uint8_t*>(pRecord);
    size_t uAt = 0;
    for (const Field& f : fields)
    {
        const size_t uImage = ImageSize(f.kind);
        const size_t uMemory = MemorySize(f.kind);
        uAt = AlignUp(uAt, uImage);
        for (size_t k = 0; k < f.Count(); ++k, uAt += uImage)
        {
            const uint32_t uValue =
                f.kind == Kind::Pointer ? 0 : LoadElement(pBase + f.uOffset + k * uMemory, f.kind);
            for (size_t b = 0; b < uImage; ++b)
                pOut[uAt + b] = static_cast<uint8_t>(uValue >> (8 * b));
        }
    }
    return uAt;
}

// Reads the listed fields from pIn into the record; pointer slots are skipped.
template <size_t N> void ReadFields(const Field (&fields)[N], void* pRecord, const uint8_t* pIn)
{
    uint8_t* pBase = static_cast<uint8_t*>(pRecord);
    size_t uAt = 0;
    for (const Field& f : fields)
    {
        const size_t uImage = ImageSize(f.kind);
        const size_t uMemory = MemorySize(f.kind);
        uAt = AlignUp(uAt, uImage);
        for (size_t k = 0; k < f.Count(); ++k, uAt += uImage)
        {
            if (f.kind == Kind::Pointer)
                continue;
            uint32_t uValue = 0;
            for (size_t b = 0; b < uImage; ++b)
                uValue |= static_cast<uint32_t>(pIn[uAt + b]) << (8 * b);
            StoreElement(pBase + f.uOffset + k * uMemory, f.kind, uValue);
        }
    }
}

bool InRange(int nValue, int nLow, int nHigh)
{
    return nValue >= nLow && nValue <= nHigh;
}

// What the car model indexes tables with; NULL when every index is in range.
const char* BadIndex(const CarBody& body, const CarMechanics& mech)
{
    if (!InRange(body.nCarNumber, 0, MAX_CARS - 1))
        return "car number";
    if (!InRange(body.nCarType, 0, NUM_CAR_TYPES - 1))
        return "car type";
    if (!InRange(mech.Gear, 0, CAR_GEARS - 1))
        return "gear";
    if (!InRange(mech.TargetGear, 0, CAR_GEARS - 1))
        return "target gear";
    if (!InRange(body.PointsTouching, 0, CAR_POINTS))
        return "touching-point count";
    for (int k = 0; k < body.PointsTouching; ++k)
        if (!InRange(body.TouchingList[k], 0, CAR_POINTS - 1))
            return "touching point";
    if (!InRange(body.LowestWheel, -1, CAR_WHEELS - 1))
        return "lowest wheel";
    for (int16_t nSurface : mech.WheelSurface)
        if (!InRange(nSurface, 0, HEIGHT_DATA_SURFACES - 1))
            return "surface";
    if (!InRange(body.nCurrentBlock, -1, MAXTRACKBLOCKS - 1))
        return "track block";
    for (int16_t nBlock : body.anNeighbourBlocks)
        if (!InRange(nBlock, -1, MAXTRACKBLOCKS - 1))
            return "track block";
    for (int16_t nCount : {body.nStaticKeys, body.nStaticKeysPrev, body.nMovingKeys,
                           body.nMovingKeysPrev})
        if (!InRange(nCount, 0, 5))
            return "contact key count";
    return nullptr;
}

} // namespace

uint32_t CarModel_WriteState(const CarBody* pBody, const CarMechanics* pMechanics, uint8_t* pOut,
                             uint32_t uSize)
{
    if (pBody == nullptr || pMechanics == nullptr || pOut == nullptr ||
        uSize < CAR_STATE_IMAGE_SIZE)
        return 0;
    std::memset(pOut, 0, CAR_STATE_IMAGE_SIZE);
    WriteFields(kBodyFields, pBody, pOut);
    WriteFields(kMechanicsFields, pMechanics, pOut + CAR_BODY_IMAGE_SIZE);
    uint8_t* pExtra = pOut + CAR_BODY_IMAGE_SIZE + CAR_MECHANICS_IMAGE_SIZE;
    WriteFields(kExtraFields, pMechanics, pExtra);
    WriteFields(kBodyExtraFields, pBody, pExtra + kBodyExtraAt);
    return CAR_STATE_IMAGE_SIZE;
}

BOOL CarModel_ReadState(CarBody* pBody, CarMechanics* pMechanics, const uint8_t* pIn,
                        uint32_t uSize)
{
    if (pBody == nullptr || pMechanics == nullptr)
        return FALSE;
    if (pIn == nullptr || uSize < CAR_STATE_IMAGE_SIZE)
    {
        DKREPORT(DkFormatString("CarModel_ReadState() : %u bytes, a car state takes %d", uSize,
                                CAR_STATE_IMAGE_SIZE));
        return FALSE;
    }
    // Into copies, so that a refused image leaves the records as they were.
    CarBody body = *pBody;
    CarMechanics mech = *pMechanics;
    ReadFields(kBodyFields, &body, pIn);
    ReadFields(kMechanicsFields, &mech, pIn + CAR_BODY_IMAGE_SIZE);
    const uint8_t* pExtra = pIn + CAR_BODY_IMAGE_SIZE + CAR_MECHANICS_IMAGE_SIZE;
    ReadFields(kExtraFields, &mech, pExtra);
    ReadFields(kBodyExtraFields, &body, pExtra + kBodyExtraAt);
    if (const char* pszBad = BadIndex(body, mech))
    {
        DKREPORT(DkFormatString("CarModel_ReadState() : %s out of range", pszBad));
        return FALSE;
    }
    *pBody = body;
    *pMechanics = mech;
    pBody->pMatrix = &pBody->Matrix;
    pMechanics->pSwayMatrix = &pMechanics->SwayMatrix;
    pMechanics->pDisplayMatrix = &pMechanics->DisplayMatrix;
    return TRUE;
}
