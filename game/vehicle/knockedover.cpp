// Knocked-over objects: the rigid-body step of the records the collisions set moving, their
// reset for a replay, and the record's byte image.
#include "game/vehicle/knockedover.h"

#include <cstddef>

#include "engine/common/dk_actor.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/gencoll.h"
#include "game/vehicle/heightdata.h"
#include "game/vehicle/le_bytes.h"

HitObject gaHitObjects[HIT_OBJECT_SETS][HIT_OBJECT_RECORDS];
int32_t gnNumMovingObjects = 0;
BOOL gboAllCarsMoveObjects = FALSE;
int16_t gaMovingObjectList[HIT_OBJECT_SETS][HIT_OBJECT_MOVING];
int16_t gaNumMovingInList[HIT_OBJECT_SETS];

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int32_t kTickLength = 2621;   // 0.04 s at one step a tick
constexpr int32_t kGravity = 2621;      // 0.04, x dt a tick on the vertical velocity
constexpr int32_t kImpulseShare = 13107; // 0.2
constexpr int32_t kDamping = 52428;      // 0.8
constexpr int32_t kLeastSpeed = 65;      // 0.001
constexpr int32_t kLeastSpin = 655;      // 0.01
constexpr int32_t kAirborneDepth = -6553; // more than 0.1 above the ground
constexpr int32_t kSettleStep = 13107;    // 0.2 of the way a tick
constexpr int32_t kSettledWithin = 654;
constexpr int32_t kRadiansToAngle = 651; // 4096 / 2 pi

int State(const HitObject& o)
{
    return (o.uFlags & HIT_STATE_MASK) >> HIT_STATE_SHIFT;
}

void SetState(HitObject* pO, int nState)
{
    pO->uFlags = static_cast<uint8_t>((pO->uFlags & ~HIT_STATE_MASK) | (nState << HIT_STATE_SHIFT));
}

bool IsCone(const HitObject& o)
{
    return (o.uKind & HIT_KIND_MASK) == HIT_KIND_CONE && (o.uRestFlags & 0x02) != 0;
}

int32_t Component(const DK_VECTOR& v, int i)
{
    return i == 0 ? v.x : i == 1 ? v.y : v.z;
}

// The length of a vector in raw units, exact: the 16.16 length of a vector this short is 0.
int32_t RawLength(const DK_VECTOR& v)
{
    const uint64_t uSquares = static_cast<uint64_t>(static_cast<int64_t>(v.x) * v.x) +
                              static_cast<uint64_t>(static_cast<int64_t>(v.y) * v.y) +
                              static_cast<uint64_t>(static_cast<int64_t>(v.z) * v.z);
    uint64_t uRoot = 0;
    for (uint64_t uBit = uint64_t{1} << 32; uBit != 0; uBit >>= 1)
    {
        const uint64_t uTry = uRoot | uBit;
        if (uTry <= UINT32_MAX && uTry * uTry <= uSquares)
            uRoot = uTry;
    }
    return uRoot > INT32_MAX ? INT32_MAX : static_cast<int32_t>(uRoot);
}

// The ground normal in the object's own axes.
DK_VECTOR ToObject(const HitObject& o, const DK_VECTOR& v)
{
    return {FfVecDot(&o.aRows[0], &v), FfVecDot(&o.aRows[1], &v), FfVecDot(&o.aRows[2], &v)};
}


// Turns the rows toward the ground normal; TRUE once the rest axis lies on it.
bool Settle(HitObject* pO, const DK_VECTOR& n)
{
    int nAxis = -1;
    int32_t xBest = -1;
    for (int k = 0; k < 3; ++k)
    {
        if (!(pO->uRestFlags & (1 << k)))
            continue;
        const int32_t xDot = FfVecDot(&pO->aRows[k], &n);
        if (xDot < 0 && !(pO->uRestFlags & (8 << k)))
            continue;
        if (FfAbs(xDot) > xBest)
        {
            xBest = FfAbs(xDot);
            nAxis = k;
        }
    }
    if (nAxis < 0)
        nAxis = 1;
    DK_VECTOR& row = pO->aRows[nAxis];
    const bool boUpsideDown = FfVecDot(&row, &n) < 0 && (pO->uRestFlags & (8 << nAxis));
    const DK_VECTOR target = boUpsideDown ? VecScaled(n, -ONE) : n;
    const DK_VECTOR gap = VecSub(target, row);
    const bool boSettled = FfVecLength(&gap) <= kSettledWithin;
    row = boSettled ? target : VecNormalised(VecAdd(row, VecScaled(gap, kSettleStep)));
    DK_VECTOR& next = pO->aRows[(nAxis + 1) % 3];
    DK_VECTOR& last = pO->aRows[(nAxis + 2) % 3];
    next = VecNormalised(VecCross(last, row));
    last = VecNormalised(VecCross(row, next));
    if (boSettled)
    {
        // Set on the face: its half-extent along the rest axis above the ground.
        const int32_t xUp = n.y != 0 ? FfDiv(Component(pO->HalfExtents, nAxis), n.y) : 0;
        const int32_t xRise = FfSub(FfAdd(pO->xGroundHeight, xUp), pO->Position.y);
        if (!IsCone(*pO))
        {
            pO->Position.y = FfAdd(pO->Position.y, xRise);
            pO->Translation.y = FfAdd(pO->Translation.y, xRise);
        }
    }
    return boSettled;
}

void StepRecord(HitObject* pO, int32_t dt)
{
    int nState = State(*pO);
    const bool boJustHit = nState == HIT_STATE_HIT || nState == HIT_STATE_HIT_UNLISTED;
    DK_VECTOR impulseTerm{};
    if (boJustHit)
    {
        impulseTerm = VecScaled(VecScaled(pO->Impulse, kImpulseShare), dt);
        pO->Velocity = VecAdd(pO->Velocity, impulseTerm);
        const DK_VECTOR spinChange = {
            FfMul(FfMul(pO->SpinImpulse.x, static_cast<int32_t>(pO->auInverseInertia[0])), dt),
            FfMul(FfMul(pO->SpinImpulse.y, static_cast<int32_t>(pO->auInverseInertia[1])), dt),
            FfMul(FfMul(pO->SpinImpulse.z, static_cast<int32_t>(pO->auInverseInertia[2])), dt)};
        pO->Spin = VecSub(pO->Spin, spinChange);
        pO->Impulse = pO->SpinImpulse = {0, 0, 0};
        nState = nState == HIT_STATE_HIT ? HIT_STATE_MOVING : HIT_STATE_MOVING_UNLISTED;
        SetState(pO, nState);
        pO->uFlags |= HIT_SPINNING | HIT_MOVING;
    }
    if (pO->uFlags & HIT_MOVING)
    {
        const DK_VECTOR d = VecSub(VecScaled(pO->Velocity, dt), VecScaled(impulseTerm, dt / 2));
        pO->Position = VecAdd(pO->Position, d);
        pO->Translation = VecAdd(pO->Translation, d);
    }
    if (pO->uFlags & HIT_SPINNING)
    {
        const DK_VECTOR turn = VecScaled(pO->Spin, dt);
        const int16_t anAngles[3] = {
            static_cast<int16_t>((static_cast<int64_t>(turn.x) * kRadiansToAngle) >> 16),
            static_cast<int16_t>((static_cast<int64_t>(turn.y) * kRadiansToAngle) >> 16),
            static_cast<int16_t>((static_cast<int64_t>(turn.z) * kRadiansToAngle) >> 16)};
        HitObjects_RotateAboutAxes(pO->aRows, anAngles);
    }
    DK_VECTOR n = {0, ONE, 0};
    const int32_t xDepth = HitObjects_GroundPenetration(pO, &n);
    const bool boAirborne = xDepth < kAirborneDepth;
    if (boAirborne)
    {
        pO->uFlags |= HIT_AIRBORNE | HIT_MOVING;
        pO->Velocity.y = FfSub(pO->Velocity.y, FfMul(kGravity, dt));
    }
    else
    {
        pO->uFlags &= ~HIT_AIRBORNE;
        const int nClass = pO->uFlags & HIT_MASS_MASK;
        const DK_VECTOR nObject = ToObject(*pO, n);
        if (nClass != 0 || IsCone(*pO))
            pO->Spin = VecScaled(nObject, FfVecDot(&pO->Spin, &nObject));
        pO->Position.y = FfAdd(pO->Position.y, xDepth);
        pO->Translation.y = FfAdd(pO->Translation.y, xDepth);
        const int32_t xInto = FfVecDot(&pO->Velocity, &n);
        if (xInto < 0)
            pO->Velocity = VecSub(pO->Velocity, VecScaled(n, xInto));
    }
    if (!boJustHit)
    {
        if (pO->uFlags & HIT_MOVING)
        {
            pO->Velocity = VecScaled(pO->Velocity, kDamping);
            if (RawLength(pO->Velocity) < kLeastSpeed)
            {
                pO->Velocity = {0, 0, 0};
                pO->uFlags &= ~HIT_MOVING;
            }
        }
        if (pO->uFlags & HIT_SPINNING)
        {
            pO->Spin = VecScaled(pO->Spin, kDamping);
            if (RawLength(pO->Spin) < kLeastSpin)
            {
                pO->Spin = {0, 0, 0};
                pO->uFlags &= ~HIT_SPINNING;
            }
        }
    }
    // Only an object on the ground settles. A light object tries once its tumbling (its spin
    // across the ground normal) has died away.
    bool boSettled = false;
    if (!boAirborne)
    {
        bool boTry = (pO->uFlags & HIT_MASS_MASK) != 0 || !(pO->uFlags & HIT_SPINNING);
        if (!boTry)
        {
            const DK_VECTOR nObject = ToObject(*pO, n);
            const DK_VECTOR across =
                VecSub(pO->Spin, VecScaled(nObject, FfVecDot(&pO->Spin, &nObject)));
            boTry = RawLength(across) < kLeastSpin;
        }
        if (boTry)
        {
            boSettled = Settle(pO, n);
            if (boSettled && IsCone(*pO))
            {
                const int32_t xLift = HitObjects_GroundPenetration(pO, &n);
                pO->Position.y = FfAdd(pO->Position.y, xLift);
                pO->Translation.y = FfAdd(pO->Translation.y, xLift);
            }
        }
    }
    if (boSettled && !(pO->uFlags & (HIT_MOVING | HIT_SPINNING)))
        SetState(pO, (pO->uFlags & HIT_MASS_MASK) == 0 && !IsCone(*pO) ? HIT_STATE_INERT
                                                                         : HIT_STATE_REST);
}

void UpdateSet(int nSet, int32_t dt)
{
    gaNumMovingInList[nSet] = 0;
    const int nRecords = gnNumMovingObjects < 0                    ? 0
                         : gnNumMovingObjects > HIT_OBJECT_RECORDS ? HIT_OBJECT_RECORDS
                                                                   : gnNumMovingObjects;
    for (int i = 0; i < nRecords; ++i)
    {
        HitObject* pO = &gaHitObjects[nSet][i];
        const int nState = State(*pO);
        if (nState == HIT_STATE_REST || nState == HIT_STATE_INERT || nState > HIT_STATE_MOVING_UNLISTED)
            continue;
        StepRecord(pO, dt);
        if (nState == HIT_STATE_HIT_UNLISTED || nState == HIT_STATE_MOVING_UNLISTED)
            pO->uBlock = static_cast<uint16_t>(
                DkGetTrackBlockIndex(pO->Position.x, pO->Position.y, pO->Position.z));
        else if (gaNumMovingInList[nSet] < HIT_OBJECT_MOVING)
            gaMovingObjectList[nSet][gaNumMovingInList[nSet]++] = static_cast<int16_t>(i);
    }
}

// The image's fields: offset, and count of 32-bit words, in record order.
constexpr size_t kPositionAt = 4;
constexpr size_t kHalfExtentsAt = 16;
constexpr size_t kVelocityAt = 28;
constexpr size_t kSpinAt = 40;
constexpr size_t kSpinImpulseAt = 52;
constexpr size_t kImpulseAt = 64;
constexpr size_t kInverseInertiaAt = 76;
constexpr size_t kRowsAt = 88;
constexpr size_t kTranslationAt = 124;
constexpr size_t kRadiusAt = 136;
constexpr size_t kGroundHeightAt = 140;
constexpr size_t kKindAt = 144;
constexpr size_t kGroundTriangleAt = 146;
constexpr size_t kBlockAt = 148;
constexpr size_t kFlagsAt = 150;
constexpr size_t kRestFlagsAt = 151;
constexpr size_t kNextAt = 152;
constexpr size_t kPrevAt = 156;
static_assert(kHalfExtentsAt == kPositionAt + 12 && kVelocityAt == kHalfExtentsAt + 12);
static_assert(kSpinAt == kVelocityAt + 12 && kSpinImpulseAt == kSpinAt + 12);
static_assert(kImpulseAt == kSpinImpulseAt + 12 && kInverseInertiaAt == kImpulseAt + 12);
static_assert(kRowsAt == kInverseInertiaAt + 12 && kTranslationAt == kRowsAt + 36);
static_assert(kRadiusAt == kTranslationAt + 12 && kGroundHeightAt == kRadiusAt + 4);
static_assert(kKindAt == kGroundHeightAt + 4 && kGroundTriangleAt == kKindAt + 2);
static_assert(kBlockAt == kGroundTriangleAt + 2 && kFlagsAt == kBlockAt + 2);
static_assert(kRestFlagsAt == kFlagsAt + 1 && kNextAt == kRestFlagsAt + 1);
static_assert(kPrevAt + 4 == HIT_OBJECT_IMAGE_SIZE, "the image is 160 bytes");

void PutVector(uint8_t* p, const DK_VECTOR& v)
{
    LeWrite32(p, v.x);
    LeWrite32(p + 4, v.y);
    LeWrite32(p + 8, v.z);
}

DK_VECTOR GetVector(const uint8_t* p)
{
    return {LeRead32(p), LeRead32(p + 4), LeRead32(p + 8)};
}

} // namespace

int HitObjects_NumSets(void)
{
    if (!gboAllCarsMoveObjects)
        return 1;
    return gnNumMechCars < 1 ? 1 : gnNumMechCars > HIT_OBJECT_SETS ? HIT_OBJECT_SETS : gnNumMechCars;
}

void HitObjects_UpdateAll(void)
{
    const int32_t dt = FfMul(kTickLength, gStepScale);
    for (int nSet = 0; nSet < HitObjects_NumSets(); ++nSet)
        UpdateSet(nSet, dt);
}

void HitObjects_Reset(int nSet)
{
    if (nSet < 0 || nSet >= HIT_OBJECT_SETS)
        return;
    const int nRecords = gnNumMovingObjects > HIT_OBJECT_RECORDS ? HIT_OBJECT_RECORDS
                                                                 : gnNumMovingObjects;
    for (int i = 0; i < nRecords; ++i)
    {
        HitObject& o = gaHitObjects[nSet][i];
        if (o.pActor == nullptr)
            continue;
        FfMatSetRow0(&o.aRows[0], &o.pActor->Local);
        FfMatSetRow1(&o.aRows[1], &o.pActor->Local);
        FfMatSetRow2(&o.aRows[2], &o.pActor->Local);
        FfMatSetPosition(&o.Translation, &o.pActor->Local);
        DkMarkActorDirty(o.pActor);
    }
    gaNumMovingInList[nSet] = 0;
    MovingObjects_Reset(nSet);
}

void HitObjects_RotateAboutAxes(DK_VECTOR aRows[3], const int16_t anAngles[3])
{
    // About x the y and z rows turn, about y the z and x rows, about z the x and y rows.
    for (int k = 0; k < 3; ++k)
    {
        if (anAngles[k] == 0)
            continue;
        const int32_t s = gaSinTable[anAngles[k] & DK_ANGLE_MASK];
        const int32_t c = gaSinTable[(anAngles[k] + DK_QUARTER_TURN) & DK_ANGLE_MASK];
        DK_VECTOR& a = aRows[(k + 1) % 3];
        DK_VECTOR& b = aRows[(k + 2) % 3];
        const DK_VECTOR a2 = VecAdd(VecScaled(a, c), VecScaled(b, s));
        const DK_VECTOR b2 = VecSub(VecScaled(b, c), VecScaled(a, s));
        a = a2;
        b = b2;
    }
}

int32_t HitObjects_GroundPenetration(HitObject* pO, DK_VECTOR* pNormal)
{
    DK_VECTOR n = {0, DK_FIXED_ONE, 0};
    int16_t nSurface = 0;
    pO->xGroundHeight = FindHeightOnTrack(&pO->Position, &n, &nSurface, &pO->nGroundTriangle,
                                          pO->Position.y);
    *pNormal = n;
    DK_VECTOR corners[8];
    TransformPoint(corners, &pO->Position, pO->aRows, &pO->HalfExtents);
    const DK_VECTOR ground = {pO->Position.x, pO->xGroundHeight, pO->Position.z};
    DK_VECTOR lowest;
    if (IsCone(*pO))
    {
        // The four base corners and the apex, above the middle of the base.
        lowest = VecAdd(corners[4], VecScaled(VecSub(corners[7], corners[4]), ONE / 2));
        for (int i = 0; i < 4; ++i)
            if (FfVecDot(&corners[i], &n) < FfVecDot(&lowest, &n))
                lowest = corners[i];
    }
    else
    {
        const DK_VECTOR down = ToObject(*pO, VecScaled(n, -ONE));
        lowest = corners[(down.y >= 0 ? 4 : 0) + (down.x < 0 ? 2 : 0) + (down.z < 0 ? 1 : 0)];
    }
    const DK_VECTOR gap = VecSub(ground, lowest);
    return n.y != 0 ? FfDiv(FfVecDot(&gap, &n), n.y) : 0;
}

uint32_t HitObjects_WriteImage(const HitObject* pO, uint8_t* pOut, uint32_t uSize)
{
    if (pO == nullptr || pOut == nullptr || uSize < HIT_OBJECT_IMAGE_SIZE)
        return 0;
    LeWrite32(pOut, 0);
    PutVector(pOut + kPositionAt, pO->Position);
    PutVector(pOut + kHalfExtentsAt, pO->HalfExtents);
    PutVector(pOut + kVelocityAt, pO->Velocity);
    PutVector(pOut + kSpinAt, pO->Spin);
    PutVector(pOut + kSpinImpulseAt, pO->SpinImpulse);
    PutVector(pOut + kImpulseAt, pO->Impulse);
    for (int k = 0; k < 3; ++k)
    {
        LeWrite32(pOut + kInverseInertiaAt + 4 * k, static_cast<int32_t>(pO->auInverseInertia[k]));
        PutVector(pOut + kRowsAt + 12 * k, pO->aRows[k]);
    }
    PutVector(pOut + kTranslationAt, pO->Translation);
    LeWrite32(pOut + kRadiusAt, pO->xRadius);
    LeWrite32(pOut + kGroundHeightAt, pO->xGroundHeight);
    LeWrite16(pOut + kKindAt, pO->uKind);
    LeWrite16(pOut + kGroundTriangleAt, pO->nGroundTriangle);
    LeWrite16(pOut + kBlockAt, pO->uBlock);
    pOut[kFlagsAt] = pO->uFlags;
    pOut[kRestFlagsAt] = pO->uRestFlags;
    LeWrite32(pOut + kNextAt, 0);
    LeWrite32(pOut + kPrevAt, 0);
    return HIT_OBJECT_IMAGE_SIZE;
}

BOOL HitObjects_ReadImage(HitObject* pO, const uint8_t* pIn, uint32_t uSize)
{
    if (pO == nullptr || pIn == nullptr || uSize < HIT_OBJECT_IMAGE_SIZE)
    {
        DKREPORT("HitObjects_ReadImage(): short image");
        return FALSE;
    }
    const uint8_t uFlags = pIn[kFlagsAt];
    const uint16_t uBlock = LeRead16(pIn + kBlockAt);
    if (((uFlags & HIT_STATE_MASK) >> HIT_STATE_SHIFT) > HIT_STATE_MOVING_UNLISTED ||
        uBlock >= COLL_TRACK_BLOCKS)
    {
        DKREPORT(DkFormatString("HitObjects_ReadImage(): flags %d, block %d out of range", uFlags,
                                uBlock));
        return FALSE;
    }
    pO->Position = GetVector(pIn + kPositionAt);
    pO->HalfExtents = GetVector(pIn + kHalfExtentsAt);
    pO->Velocity = GetVector(pIn + kVelocityAt);
    pO->Spin = GetVector(pIn + kSpinAt);
    pO->SpinImpulse = GetVector(pIn + kSpinImpulseAt);
    pO->Impulse = GetVector(pIn + kImpulseAt);
    for (int k = 0; k < 3; ++k)
    {
        pO->auInverseInertia[k] = static_cast<uint32_t>(LeRead32(pIn + kInverseInertiaAt + 4 * k));
        pO->aRows[k] = GetVector(pIn + kRowsAt + 12 * k);
    }
    pO->Translation = GetVector(pIn + kTranslationAt);
    pO->xRadius = LeRead32(pIn + kRadiusAt);
    pO->xGroundHeight = LeRead32(pIn + kGroundHeightAt);
    pO->uKind = LeRead16(pIn + kKindAt);
    pO->nGroundTriangle = static_cast<int16_t>(LeRead16(pIn + kGroundTriangleAt));
    pO->uBlock = uBlock;
    pO->uFlags = uFlags;
    pO->uRestFlags = pIn[kRestFlagsAt];
    return TRUE;
}
