// Collisions with track objects and cars: the static objects' lists by block, the knockable
// objects' lists by player set, the shared footprint geometry, and the three responses.
#include "game/vehicle/gencoll.h"

#include <cstdint>

#include "engine/common/dk_actor.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/effects/forcefeedback.h"
#include "game/effects/prangsnd.h"
#include "game/race/gmhndlr.h"
#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/knockedover.h"

static_assert(COLL_TRACK_BLOCKS == MAXTRACKBLOCKS, "one static list a track block");

TrackObjectNode* gapTrackObjects[COLL_TRACK_BLOCKS];
BOOL gboCarsCollided = FALSE;
int32_t gnCollisionEndCounter = 0;

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int32_t kNearlyVertical = 64881; // about 0.99
constexpr int32_t kLeastAxisShare = 65;    // a ratio along an axis this flat is not used
constexpr int32_t kNoExit = 32000 * ONE;
constexpr int32_t kEndBand = 98304;      // 1.5 in from the car's ends
constexpr int32_t kSideBand = 39321;     // 0.6 in from its sides
constexpr int32_t kCornerThreshold = 87949;
constexpr int32_t kRollThreshold = 10 * ONE;
constexpr int32_t kDiagonalRollThreshold = ONE / 2;
constexpr int32_t kKickLever = -50 * ONE;
constexpr DK_VECTOR kKickScale = {100 * ONE, ONE, 50 * ONE};
constexpr int32_t kKickLift = ONE / 2;
constexpr DK_VECTOR kSpinLimit = {8 * ONE, 4 * ONE, 8 * ONE};
constexpr int32_t kSoftDrag = -1310; // 2% of the speed across the up row
constexpr int32_t kSoftLimit = 49152; // 0.75
constexpr int32_t kLiftSpeed = ONE / 2;
constexpr int32_t kLiftGain = 100 * ONE;
constexpr int32_t kCarImpactSound = 5;
constexpr int32_t kMaterialMask = 0x1F; // a knockable object's kind word
constexpr int kCollisionEndFrames = 60;

// A rectangle in the ground plane with its height range: two unit axes, the half-extents
// along them, the four corners (at the rectangle's height), and the centre whose height the
// top and bottom are measured from (the car's footprint keeps absolute heights, centre y 0).
struct Footprint
{
    DK_VECTOR Centre;
    DK_VECTOR Axis1;
    DK_VECTOR Axis2;
    int32_t e1;
    int32_t e2;
    int32_t xTop;
    int32_t xBottom;
    DK_VECTOR aCorners[4];
};

// The scratch of one test.
Footprint gCarPrint;
bool gboCarPrintBuilt = false;
Footprint gObstaclePrint;
DK_VECTOR gNormal = {ONE, 0, 0};
int32_t gxRollThreshold = kRollThreshold;
int32_t gxCornerThreshold = kCornerThreshold;
// The contact of the last narrow test: whether pass 2 found car corners in the obstacle.
bool gboCarCornersIn = false;

// The corner normals in the car's frame, built once.
DK_VECTOR gDiagonal1;
DK_VECTOR gDiagonal2;
bool gboDiagonalsBuilt = false;

// The knockable objects' lists, per player set.
HitObject* gaapListHead[HIT_OBJECT_SETS][COLL_LIST_HEADS];
int16_t gaanListBlock[HIT_OBJECT_SETS][COLL_LIST_HEADS];
int16_t ganListCount[HIT_OBJECT_SETS];

// The remembered hits.
BOOL gboNewObjectHit = FALSE;
BOOL gboCarsTouching = FALSE;
uint8_t guLastHitKind = 0;
int32_t gnHitTicks = 0;
DK_ACTOR* gapLastHitActors[3];

DK_VECTOR Flat(const DK_VECTOR& v)
{
    return {v.x, 0, v.z};
}

DK_VECTOR Multiply(const DK_VECTOR& a, const DK_VECTOR& b)
{
    return {FfMul(a.x, b.x), FfMul(a.y, b.y), FfMul(a.z, b.z)};
}

DK_VECTOR ClampEach(const DK_VECTOR& v, const DK_VECTOR& limit)
{
    return {FfClamp(v.x, FfNeg(limit.x), limit.x), FfClamp(v.y, FfNeg(limit.y), limit.y),
            FfClamp(v.z, FfNeg(limit.z), limit.z)};
}

void BuildDiagonals(void)
{
    DK_VECTOR n;
    const DK_VECTOR v = {98304, 0, 39321}; // (1.5, 0, 0.6)
    FfVecNormalise(&n, &v);
    gDiagonal1 = {FfNeg(n.z), 0, n.x};
    gDiagonal2 = {FfNeg(n.z), 0, FfNeg(n.x)};
    gboDiagonalsBuilt = true;
}

bool ValidBlock(int nBlock)
{
    return nBlock >= 0 && nBlock < COLL_TRACK_BLOCKS;
}

// The car's block and its three neighbours; -1 where unused.
void CarBlocks(const CarBody* pCar, int anBlocks[4])
{
    anBlocks[0] = pCar->nCurrentBlock;
    for (int i = 0; i < 3; ++i)
        anBlocks[i + 1] = pCar->anNeighbourBlocks[i];
}

bool BroadPhase(const DK_VECTOR& a, int32_t rA, const DK_VECTOR& b, int32_t rB)
{
    const int64_t r = static_cast<int64_t>(rA) + rB;
    const int64_t dx = static_cast<int64_t>(b.x) - a.x;
    const int64_t dy = static_cast<int64_t>(b.y) - a.y;
    const int64_t dz = static_cast<int64_t>(b.z) - a.z;
    if (dx > r || dx < -r || dy > r || dy < -r || dz > r || dz < -r)
        return false;
    return ((dx * dx) >> 16) + ((dy * dy) >> 16) + ((dz * dz) >> 16) < ((r * r) >> 16);
}

// The unit horizontal axis of a row, or of the fallback row when the first stands nearly upright.
DK_VECTOR HorizontalAxis(const DK_VECTOR& row, const DK_VECTOR& fallback)
{
    const DK_VECTOR& r = FfAbs(row.y) >= kNearlyVertical ? fallback : row;
    return VecNormalised(Flat(r));
}

// A footprint from eight points about a centre: the extents are the points' largest
// projections, top and bottom their highest and lowest (absolute when bAbsolute).
void BuildFootprint(Footprint* pF, const DK_VECTOR& centre, const DK_VECTOR& row,
                    const DK_VECTOR& fallback, const DK_VECTOR aPoints[8], bool boAbsolute)
{
    pF->Centre = centre;
    pF->Axis1 = HorizontalAxis(row, fallback);
    pF->Axis2 = {pF->Axis1.z, 0, FfNeg(pF->Axis1.x)};
    pF->e1 = pF->e2 = pF->xTop = pF->xBottom = 0;
    for (int i = 0; i < 8; ++i)
    {
        const DK_VECTOR d = VecSub(aPoints[i], centre);
        const int32_t p1 = FfVecDot(&d, &pF->Axis1);
        const int32_t p2 = FfVecDot(&d, &pF->Axis2);
        if (p1 > pF->e1)
            pF->e1 = p1;
        if (p2 > pF->e2)
            pF->e2 = p2;
        if (d.y > pF->xTop)
            pF->xTop = d.y;
        if (d.y < pF->xBottom)
            pF->xBottom = d.y;
    }
    if (boAbsolute)
    {
        pF->xTop = FfAdd(pF->xTop, centre.y);
        pF->xBottom = FfAdd(pF->xBottom, centre.y);
        pF->Centre.y = 0;
    }
    const DK_VECTOR a = VecScaled(pF->Axis1, pF->e1);
    const DK_VECTOR b = VecScaled(pF->Axis2, pF->e2);
    const DK_VECTOR c = {centre.x, 0, centre.z};
    pF->aCorners[0] = VecAdd(c, VecAdd(a, b));
    pF->aCorners[1] = VecAdd(c, VecSub(a, b));
    pF->aCorners[2] = VecSub(c, VecAdd(a, b));
    pF->aCorners[3] = VecAdd(c, VecSub(b, a));
    const int32_t xHeight = boAbsolute ? pF->xTop : FfAdd(centre.y, pF->xTop);
    for (DK_VECTOR& corner : pF->aCorners)
        corner.y = xHeight;
}

void BuildCarFootprint(const CarBody* pCar, Footprint* pF)
{
    BuildFootprint(pF, pCar->Position, pCar->OrientRow0, pCar->UpAxis, pCar->ContactPoint, true);
}

void EnsureCarFootprint(const CarBody* pCar)
{
    if (!gboCarPrintBuilt)
    {
        BuildCarFootprint(pCar, &gCarPrint);
        gboCarPrintBuilt = true;
    }
}

// A static object's footprint from its stored collision record.
void StaticFootprint(const TrackObject* pObject, const TrackObjectCollision* pC, Footprint* pF)
{
    pF->Centre = pObject->Centre;
    pF->Axis1 = pC->Axis1;
    pF->Axis2 = pC->Axis2;
    pF->e1 = pC->xHalfLength;
    pF->e2 = pC->xHalfWidth;
    pF->xTop = static_cast<int32_t>(pC->nTop) * 512;
    pF->xBottom = static_cast<int32_t>(pC->nBottom) * 512;
    for (int i = 0; i < 4; ++i)
        pF->aCorners[i] = {FfAdd(pObject->Centre.x, static_cast<int32_t>(pC->anCorners[i][0]) * 512),
                           FfAdd(pObject->Centre.y, pF->xTop),
                           FfAdd(pObject->Centre.z, static_cast<int32_t>(pC->anCorners[i][1]) * 512)};
}

void HitObjectFootprint(const HitObject* pObject, Footprint* pF)
{
    DK_VECTOR corners[8];
    TransformPoint(corners, &pObject->Position, pObject->aRows, &pObject->HalfExtents);
    BuildFootprint(pF, pObject->Position, pObject->aRows[0], pObject->aRows[1], corners, false);
}

// The car's height range against the obstacle's, which is measured from its centre.
bool HeightsOverlap(const Footprint& car, const Footprint& obstacle)
{
    const int32_t y = obstacle.Centre.y;
    return !(FfSub(car.xTop, y) < obstacle.xBottom || obstacle.xTop < FfSub(car.xBottom, y));
}

bool Inside(const Footprint& f, const DK_VECTOR& point, int32_t* pp1, int32_t* pp2)
{
    const DK_VECTOR d = Flat(VecSub(point, f.Centre));
    *pp1 = FfVecDot(&d, &f.Axis1);
    *pp2 = FfVecDot(&d, &f.Axis2);
    return FfAbs(*pp1) <= f.e1 && FfAbs(*pp2) <= f.e2;
}

// How far the point must move along D to leave the rectangle through the nearer side.
int32_t ExitDistance(const Footprint& f, const DK_VECTOR& d, int32_t p1, int32_t p2)
{
    int32_t xExit = kNoExit;
    const int32_t aP[2] = {p1, p2};
    const int32_t aE[2] = {f.e1, f.e2};
    const int32_t aShare[2] = {FfVecDot(&d, &f.Axis1), FfVecDot(&d, &f.Axis2)};
    for (int k = 0; k < 2; ++k)
    {
        int32_t x = kNoExit;
        if (aShare[k] > kLeastAxisShare)
            x = FfDiv(FfSub(aE[k], aP[k]), aShare[k]);
        else if (aShare[k] < -kLeastAxisShare)
            x = FfDiv(FfAdd(aE[k], aP[k]), FfNeg(aShare[k]));
        if (x < xExit)
            xExit = x;
    }
    return xExit;
}

void MoveCar(CarBody* pCar, const DK_VECTOR& by)
{
    pCar->Position = VecAdd(pCar->Position, by);
    for (DK_VECTOR& p : pCar->ContactPoint)
        p = VecAdd(p, by);
    gCarPrint.Centre = VecAdd(gCarPrint.Centre, Flat(by));
    for (DK_VECTOR& c : gCarPrint.aCorners)
        c = VecAdd(c, Flat(by));
}

void ChooseContactNormal(const CarBody* pCar)
{
    if (!gboDiagonalsBuilt)
        BuildDiagonals();
    gxRollThreshold = kRollThreshold;
    gxCornerThreshold = kCornerThreshold;
    if (pCar->WheelsOnGround != CAR_WHEELS)
        return;
    const int32_t x = pCar->ImpactOffset.x;
    const int32_t z = pCar->ImpactOffset.z;
    const int32_t L = FfSub(pCar->HalfSize.x, kEndBand);
    const int32_t W = FfSub(pCar->HalfSize.z, kSideBand);
    const bool boFront = x > L;
    const bool boRear = x < FfNeg(L);
    if (boFront || boRear)
    {
        const DK_VECTOR* pDiagonal = nullptr;
        if (z > W)
            pDiagonal = boFront ? &gDiagonal2 : &gDiagonal1;
        else if (z < FfNeg(W))
            pDiagonal = boFront ? &gDiagonal1 : &gDiagonal2;
        if (pDiagonal != nullptr)
        {
            gNormal = CarModel_ToWorld(pCar, *pDiagonal);
            int32_t k = ONE;
            if (pCar->Speed > 0)
            {
                DK_VECTOR travel;
                FfVecDivide(&travel, &pCar->Velocity, pCar->Speed);
                const DK_VECTOR local = CarModel_ToCar(pCar, travel);
                k = FfAbs(FfVecDot(&local, pDiagonal));
            }
            gxRollThreshold = kDiagonalRollThreshold;
            gxCornerThreshold = FfMul(kCornerThreshold, k);
            return;
        }
        gNormal = pCar->OrientRow0;
        return;
    }
    gNormal = pCar->OrientRow2;
}

// Which of the four corners lie in the rectangle, their count, and the largest distance one
// of them must move along the direction to leave it (0 when none lies in it).
int CornersInside(const Footprint& rect, const DK_VECTOR aCorners[4], const DK_VECTOR& d,
                  bool abIn[4], int32_t* pxMost)
{
    int nIn = 0;
    *pxMost = 0;
    for (int i = 0; i < 4; ++i)
    {
        int32_t p1, p2;
        if (!Inside(rect, aCorners[i], &p1, &p2))
            continue;
        abIn[i] = true;
        const int32_t x = ExitDistance(rect, d, p1, p2);
        if (nIn++ == 0 || x > *pxMost)
            *pxMost = x;
    }
    return nIn;
}

// The push-out of the car from the obstacle along its approach and the contact point; false
// when no corner of either lies in the other.
bool NarrowPhase(CarBody* pCar, const Footprint& obstacle)
{
    if (!HeightsOverlap(gCarPrint, obstacle))
        return false;
    const DK_VECTOR d = VecNormalised(Flat(VecSub(obstacle.Centre, pCar->PositionPrev)));
    const DK_VECTOR back = VecScaled(d, -ONE);
    // Pass 1: the obstacle's corners in the car's footprint; pass 2: the car's corners in the
    // obstacle's rectangle, leaving it the other way. Each moves the car back along D.
    bool abObstacleIn[4] = {};
    int32_t xMost = 0;
    const int nObstacleIn = CornersInside(gCarPrint, obstacle.aCorners, d, abObstacleIn, &xMost);
    if (xMost > 0)
        MoveCar(pCar, VecScaled(d, FfNeg(xMost)));
    bool abCarIn[4] = {};
    const int nCarIn = CornersInside(obstacle, gCarPrint.aCorners, back, abCarIn, &xMost);
    if (xMost > 0)
        MoveCar(pCar, VecScaled(d, FfNeg(xMost)));
    if (nObstacleIn == 0 && nCarIn == 0)
        return false;
    DK_VECTOR sum = {0, 0, 0};
    int nCount = 0;
    gboCarCornersIn = nCarIn > 0;
    for (int i = 0; i < 4; ++i)
    {
        if (gboCarCornersIn ? abCarIn[i] : abObstacleIn[i])
        {
            const DK_VECTOR& p = gboCarCornersIn ? pCar->ContactPoint[i] : obstacle.aCorners[i];
            sum = VecAdd(sum, VecSub(p, pCar->Position));
            ++nCount;
        }
    }
    DK_VECTOR offset = {sum.x / nCount, 0, sum.z / nCount};
    if (!gboCarCornersIn)
        offset.y = FfSub(obstacle.Centre.y, pCar->Position.y);
    pCar->ImpactOffset = CarModel_ToCar(pCar, offset);
    ChooseContactNormal(pCar);
    return true;
}

bool Overlap(const Footprint& a, const Footprint& b)
{
    int32_t p1, p2;
    for (int i = 0; i < 4; ++i)
        if (Inside(b, a.aCorners[i], &p1, &p2) || Inside(a, b.aCorners[i], &p1, &p2))
            return true;
    return false;
}

bool HasKey(const uint16_t* pKeys, int16_t nCount, uint16_t uKey)
{
    for (int i = 0; i < nCount && i < COLL_CONTACT_KEYS; ++i)
        if (pKeys[i] == uKey)
            return true;
    return false;
}

void AddKey(uint16_t* pKeys, int16_t* pnCount, uint16_t uKey)
{
    if (*pnCount >= 0 && *pnCount < COLL_CONTACT_KEYS)
        pKeys[(*pnCount)++] = uKey;
}

bool EffectsAllowed(const CarBody* pCar)
{
    return !(pCar->nCarNumber == 1 && Ghost_IsPlaying());
}

// The car's share of a contact: the roll decision, the impulse (halved while it rolls) into
// its velocity change and the spin from the collision point. Returns the impulse applied.
DK_VECTOR ApplyCarImpulse(CarBody* pCar, const DK_VECTOR& impulse)
{
    const DK_VECTOR& half = pCar->HalfSize;
    pCar->ImpactOffset = {FfClamp(pCar->ImpactOffset.x, FfNeg(half.x), half.x),
                          FfClamp(pCar->ImpactOffset.y, FfNeg(half.y), half.y),
                          FfClamp(pCar->ImpactOffset.z, FfNeg(half.z), half.z)};
    enum
    {
        NoRoll,
        RollWithKick,
        Roll
    } roll = NoRoll;
    if (pCar->Rolling == 0)
    {
        const DK_VECTOR sideways =
            VecScaled(pCar->OrientRow2, FfVecDot(&pCar->Velocity, &pCar->OrientRow2));
        if (FfAbs(FfVecDot(&pCar->Velocity, &gNormal)) > gxCornerThreshold)
            roll = RollWithKick;
        else if (FfAbs(FfVecDot(&sideways, &gNormal)) > gxRollThreshold)
            roll = Roll;
    }
    if (roll != NoRoll)
        pCar->Rolling = pCar->RollStarted = 1;
    const DK_VECTOR applied = pCar->Rolling ? VecScaled(impulse, ONE / 2) : impulse;
    pCar->ExtForce = VecAdd(pCar->ExtForce, applied);
    const DK_VECTOR local = CarModel_ToCar(pCar, applied);
    const DK_VECTOR point = {pCar->ImpactOffset.x, 0, pCar->ImpactOffset.z};
    if (roll == NoRoll && pCar->Rolling == 0)
        pCar->ExtTorque = VecAdd(pCar->ExtTorque, VecCross(point, local));
    else if (roll == RollWithKick)
    {
        const DK_VECTOR lever = VecAdd(pCar->ImpactOffset, {0, kKickLever, 0});
        pCar->ExtTorque = VecAdd(pCar->ExtTorque, Multiply(VecCross(lever, local), kKickScale));
        pCar->ExtForce.y = FfAdd(pCar->ExtForce.y, kKickLift);
    }
    else if (roll == Roll)
    {
        DK_VECTOR spin = VecCross(point, local);
        spin.y = FfMul(spin.y, 2 * ONE);
        pCar->ExtTorque = VecAdd(pCar->ExtTorque, spin);
    }
    pCar->ExtTorque = ClampEach(pCar->ExtTorque, kSpinLimit);
    return applied;
}

// Damage, sounds and force feedback of an object contact. A continuing contact plays only the
// object-hit sound of the object's material kind.
void ContactEffects(CarBody* pCar, const DK_VECTOR& impulse, bool boNew, int32_t nKind)
{
    int32_t nSound = 0;
    int32_t xDamage = 0;
    if (boNew)
        Damage_ApplyImpact(pCar, &nSound, &xDamage);
    else
        nSound = nKind;
    const DK_VECTOR point = VecAdd(CarModel_ToWorld(pCar, pCar->ImpactOffset), pCar->Position);
    if (!EffectsAllowed(pCar))
        return;
    if (nSound != 0)
        PrangSnd_PlayObjectHit(nSound, &point);
    if (boNew && xDamage > 0)
    {
        PrangSnd_PlayImpact(xDamage, &point, nKind);
        ForceFeedback_Jolt(pCar->nCarNumber, FfMul(xDamage, 3 * ONE / 2), 19661);
        ForceFeedback_Impact(pCar->nCarNumber, &impulse, FfMul(xDamage, 2 * ONE), 2 * ONE, 0);
    }
}

void RespondTrackObject(CarBody* pCar, const TrackObject* pObject)
{
    const DK_VECTOR impulse = VecScaled(gNormal, FfNeg(FfVecDot(&pCar->Velocity, &gNormal)));
    const bool boNew = !HasKey(pCar->StaticKeysPrev, pCar->nStaticKeysPrev, 0);
    const DK_VECTOR applied = ApplyCarImpulse(pCar, impulse);
    const int32_t nKind = static_cast<int32_t>(pObject->uKind & TRACK_OBJECT_KIND_MASK);
    if (DkEntries().IsRallySchool())
        guLastHitKind = static_cast<uint8_t>(nKind);
    ContactEffects(pCar, applied, boNew, nKind);
    AddKey(pCar->StaticKeys, &pCar->nStaticKeys, 0);
}

void SoftObject(CarBody* pCar, const TrackObject* pObject, const TrackObjectCollision* pC)
{
    if (!HeightsOverlap(gCarPrint, gObstaclePrint) || !Overlap(gCarPrint, gObstaclePrint))
        return;
    const int32_t xAlong = FfVecDot(&pCar->Velocity, &pCar->UpAxis);
    const DK_VECTOR across = VecSub(pCar->Velocity, VecScaled(pCar->UpAxis, xAlong));
    pCar->Velocity = VecAdd(pCar->Velocity, VecScaled(across, kSoftDrag));
    for (int i = 0; i < CAR_POINTS; ++i)
    {
        pCar->PointInObject[i] = 1;
        const DK_VECTOR d = VecSub(pCar->ContactPoint[i], pObject->Centre);
        const int32_t xDistance = FfVecLength(&d);
        int32_t xValue = 0;
        if (xDistance <= pC->xRadius && pC->xRadius > 0)
        {
            xValue = FfSub(ONE, FfDiv(xDistance, pC->xRadius));
            xValue = FfClamp(xValue, 0, kSoftLimit);
            xValue = FfDiv(xValue, kSoftLimit);
        }
        pCar->PointObjectDepth[i] = xValue;
    }
}

// Whether the actor's object takes part: two-player games test only the objects allowed in
// them, and the detail level hides those above it.
bool ActorGates(const DK_ACTOR* pActor, int nDetail)
{
    if (pActor == nullptr)
        return true;
    if (IsTwoPlayerGame() && pActor->uAlwaysDraw == 0)
        return false;
    return pActor->uMinimumDetail <= nDetail;
}

int32_t MassOfClass(int nClass)
{
    static const int32_t kMass[4] = {100 * ONE, 500 * ONE, 5000 * ONE, 0};
    return kMass[nClass & HIT_MASS_MASK];
}

void NoteObjectHit(DK_ACTOR* pActor)
{
    const int nLimit = CarModel_TicksPerSecond() * 2;
    if (gnHitTicks > nLimit)
    {
        gapLastHitActors[0] = gapLastHitActors[1] = gapLastHitActors[2] = nullptr;
        gnHitTicks = 0;
    }
    for (DK_ACTOR* p : gapLastHitActors)
        if (p == pActor)
            return;
    gboNewObjectHit = TRUE;
    gapLastHitActors[2] = gapLastHitActors[1];
    gapLastHitActors[1] = gapLastHitActors[0];
    gapLastHitActors[0] = pActor;
    gnHitTicks = 0;
}

// The common speed of two bodies along the normal (no bounce) and each one's impulse.
void ShareImpulse(int32_t u, int32_t mA, int32_t w, int32_t mB, const DK_VECTOR& n,
                  DK_VECTOR* pA, DK_VECTOR* pB)
{
    const int32_t xMass = FfAdd(mA, mB);
    const int32_t V = xMass != 0 ? FfDiv(FfAdd(FfMul(u, mA), FfMul(w, mB)), xMass) : u;
    *pA = VecScaled(n, FfSub(V, u));
    *pB = VecScaled(n, FfSub(V, w));
}

bool OnGround(const CarBody* pCar)
{
    return pCar->WheelsOnGround > 0;
}

void RespondMovingObject(CarBody* pCar, HitObject* pObject, uint16_t uKey)
{
    const int nClass = pObject->uFlags & HIT_MASS_MASK;
    const int32_t xMass = MassOfClass(nClass);
    const int32_t u = FfVecDot(&pCar->Velocity, &gNormal);
    const int32_t w = FfVecDot(&pObject->Velocity, &gNormal);
    DK_VECTOR carImpulse, objectImpulse;
    ShareImpulse(u, pCar->Weight, w, xMass, gNormal, &carImpulse, &objectImpulse);
    if (nClass == 0)
        carImpulse = {0, 0, 0};
    const bool boObjectGrounded = (pObject->uFlags & HIT_AIRBORNE) == 0;
    if (!OnGround(pCar) && carImpulse.y < 0)
    {
        objectImpulse.y = FfAdd(objectImpulse.y, carImpulse.y);
        carImpulse.y = 0;
    }
    if (boObjectGrounded && objectImpulse.y < 0)
    {
        carImpulse.y = FfAdd(carImpulse.y, objectImpulse.y);
        objectImpulse.y = 0;
    }
    const bool boNew = !HasKey(pCar->MovingKeysPrev, pCar->nMovingKeysPrev, uKey);
    const DK_VECTOR applied = ApplyCarImpulse(pCar, carImpulse);
    const int32_t nKind = pObject->uKind & kMaterialMask;
    if (DkEntries().IsRallySchool())
        guLastHitKind = static_cast<uint8_t>(nKind);
    ContactEffects(pCar, applied, boNew, nKind);
    // The object: its impulse, its spin from where it was struck, and a lift off the ground.
    pObject->Impulse = VecAdd(pObject->Impulse, objectImpulse);
    const DK_VECTOR contact = VecAdd(CarModel_ToWorld(pCar, pCar->ImpactOffset), pCar->Position);
    const DK_VECTOR offset = VecSub(contact, pObject->Position);
    const DK_VECTOR rowsOf[3] = {pObject->aRows[0], pObject->aRows[1], pObject->aRows[2]};
    const DK_VECTOR localOffset = {FfVecDot(&rowsOf[0], &offset), FfVecDot(&rowsOf[1], &offset),
                                   FfVecDot(&rowsOf[2], &offset)};
    const DK_VECTOR localImpulse = {FfVecDot(&rowsOf[0], &objectImpulse),
                                    FfVecDot(&rowsOf[1], &objectImpulse),
                                    FfVecDot(&rowsOf[2], &objectImpulse)};
    const DK_VECTOR spin = VecAdd(pObject->SpinImpulse, VecCross(localOffset, localImpulse));
    if (spin.y >= 0)
        pObject->SpinImpulse = ClampEach(spin, kSpinLimit);
    const DK_VECTOR relative = VecSub(pCar->Velocity, pObject->Velocity);
    const int32_t xRelative = FfVecLength(&relative);
    if (boObjectGrounded && xRelative > kLiftSpeed && xMass != 0)
        pObject->Impulse.y = FfAdd(pObject->Impulse.y, FfDiv(FfMul(kLiftGain, xRelative), xMass));
    AddKey(pCar->MovingKeys, &pCar->nMovingKeys, uKey);
}

int FindList(int nSet, int nBlock)
{
    for (int i = 0; i < ganListCount[nSet] && i < COLL_LIST_HEADS; ++i)
        if (gaanListBlock[nSet][i] == nBlock)
            return i;
    return -1;
}

// A new list for the block at the next free slot; -1, with a report, when all are in use.
int OpenList(int nSet, int nBlock)
{
    if (ganListCount[nSet] >= COLL_LIST_HEADS)
    {
        DKREPORT(DkFormatString("MovingObjects: player %d has objects on more than %d blocks; "
                                "block %d is left without a list",
                                nSet, COLL_LIST_HEADS, nBlock));
        return -1;
    }
    const int nSlot = ganListCount[nSet]++;
    gaanListBlock[nSet][nSlot] = static_cast<int16_t>(nBlock);
    gaapListHead[nSet][nSlot] = nullptr;
    return nSlot;
}

int16_t BlockOf(const HitObject& o)
{
    return DkGetTrackBlockIndex(o.Position.x, o.Position.y, o.Position.z);
}

int RecordCount(void)
{
    return gnNumMovingObjects < 0                    ? 0
           : gnNumMovingObjects > HIT_OBJECT_RECORDS ? HIT_OBJECT_RECORDS
                                                     : gnNumMovingObjects;
}

bool ValidSet(int nSet)
{
    return nSet >= 0 && nSet < HIT_OBJECT_SETS;
}

void Unlink(int nSet, HitObject* pObject)
{
    if (pObject->pPrev != nullptr)
        pObject->pPrev->pNext = pObject->pNext;
    else
    {
        int nSlot = -1;
        for (int i = 0; i < ganListCount[nSet] && i < COLL_LIST_HEADS; ++i)
            if (gaapListHead[nSet][i] == pObject)
                nSlot = i;
        if (nSlot < 0)
            DkTryBoolFailed("Oh bother - VLX", 378, __FILE__);
        else
            gaapListHead[nSet][nSlot] = pObject->pNext;
    }
    if (pObject->pNext != nullptr)
        pObject->pNext->pPrev = pObject->pPrev;
    pObject->pNext = pObject->pPrev = nullptr;
}

// Puts the record at the front of its block's list, opening one when the block has none.
void PushFront(int nSet, HitObject* pObject)
{
    int nSlot = FindList(nSet, pObject->uBlock);
    if (nSlot < 0)
        nSlot = OpenList(nSet, pObject->uBlock);
    if (nSlot < 0)
        return;
    pObject->pPrev = nullptr;
    pObject->pNext = gaapListHead[nSet][nSlot];
    if (pObject->pNext != nullptr)
        pObject->pNext->pPrev = pObject;
    gaapListHead[nSet][nSlot] = pObject;
}

} // namespace

void TransformPoint(DK_VECTOR aCorners[8], const DK_VECTOR* pCentre, const DK_VECTOR aRows[3],
                    const DK_VECTOR* pHalf)
{
    // Corner i lies on the -x side with bit 1 set, the +y side with bit 2, the -z side with bit 0.
    for (int i = 0; i < 8; ++i)
    {
        const int32_t x = (i & 2) ? FfNeg(pHalf->x) : pHalf->x;
        const int32_t y = (i & 4) ? pHalf->y : FfNeg(pHalf->y);
        const int32_t z = (i & 1) ? FfNeg(pHalf->z) : pHalf->z;
        aCorners[i] = VecAdd(*pCentre, VecAdd(VecAdd(VecScaled(aRows[0], x), VecScaled(aRows[1], y)),
                                             VecScaled(aRows[2], z)));
    }
}

void InitTrackObjectBounds(const DK_VECTOR aRows[3], const DK_VECTOR aCorners[8],
                           TrackObjectCollision* pC, const DK_VECTOR* pCentre)
{
    pC->Axis1 = HorizontalAxis(aRows[0], aRows[1]);
    pC->Axis2 = {pC->Axis1.z, 0, FfNeg(pC->Axis1.x)};
    pC->xHalfLength = pC->xHalfWidth = 0;
    int32_t xTop = 0;
    int32_t xBottom = 0;
    for (int i = 0; i < 8; ++i)
    {
        const DK_VECTOR d = VecSub(aCorners[i], *pCentre);
        const int32_t p1 = FfAbs(FfVecDot(&d, &pC->Axis1));
        const int32_t p2 = FfAbs(FfVecDot(&d, &pC->Axis2));
        if (p1 > pC->xHalfLength)
            pC->xHalfLength = p1;
        if (p2 > pC->xHalfWidth)
            pC->xHalfWidth = p2;
        if (d.y > xTop)
            xTop = d.y;
        if (d.y < xBottom)
            xBottom = d.y;
    }
    pC->nTop = static_cast<int16_t>(FfClamp(xTop >> 9, 0, INT16_MAX));
    pC->nBottom = static_cast<int16_t>(FfClamp(xBottom >> 9, INT16_MIN, 0));
}

void InitTrackObjectBox(const DK_VECTOR aRows[3], const DK_VECTOR aCorners[8],
                        TrackObjectCollision* pC, const DK_VECTOR* pCentre)
{
    InitTrackObjectBounds(aRows, aCorners, pC, pCentre);
    const DK_VECTOR a = VecScaled(pC->Axis1, pC->xHalfLength);
    const DK_VECTOR b = VecScaled(pC->Axis2, pC->xHalfWidth);
    const DK_VECTOR corners[4] = {VecSub(a, b), VecAdd(a, b), VecScaled(VecAdd(a, b), -ONE),
                                  VecSub(b, a)};
    for (int i = 0; i < 4; ++i)
    {
        pC->anCorners[i][0] = static_cast<int16_t>(FfClamp(corners[i].x >> 9, INT16_MIN, INT16_MAX));
        pC->anCorners[i][1] = static_cast<int16_t>(FfClamp(corners[i].z >> 9, INT16_MIN, INT16_MAX));
    }
    const DK_VECTOR diagonal = VecSub(aCorners[7], aCorners[0]);
    pC->xRadius = FfVecLength(&diagonal) / 2;
    for (int i = 1; i < 8; ++i)
    {
        const DK_VECTOR d = VecSub(aCorners[i], *pCentre);
        const int32_t r = FfVecLength(&d);
        if (r > pC->xRadius)
            pC->xRadius = r;
    }
}

BOOL Coll_CarVsTrackObjects(CarBody* pCar)
{
    for (int i = 0; i < CAR_POINTS; ++i)
    {
        pCar->PointObjectDepthPrev[i] = pCar->PointObjectDepth[i];
        pCar->PointObjectDepth[i] = 0;
    }
    gboCarPrintBuilt = false;
    pCar->nStaticKeys = 0;
    const int nDetail = DkGetObjectDetailLevel();
    int anBlocks[4];
    CarBlocks(pCar, anBlocks);
    BOOL boContact = FALSE;
    for (int nBlock : anBlocks)
    {
        if (!ValidBlock(nBlock))
            continue;
        for (TrackObjectNode* pNode = gapTrackObjects[nBlock]; pNode != nullptr;
             pNode = pNode->pNext)
        {
            const TrackObject* pObject = pNode->pObject;
            const TrackObjectCollision* pC = pNode->pCollision;
            if (pObject == nullptr || pC == nullptr || !ActorGates(pObject->pActor, nDetail))
                continue;
            boContact = FALSE;
            if (!BroadPhase(pCar->Position, pCar->BoundingRadius, pObject->Centre, pC->xRadius))
                continue;
            EnsureCarFootprint(pCar);
            StaticFootprint(pObject, pC, &gObstaclePrint);
            if (pObject->uKind & TRACK_OBJECT_SOFT)
            {
                SoftObject(pCar, pObject, pC);
                continue;
            }
            if (NarrowPhase(pCar, gObstaclePrint))
            {
                RespondTrackObject(pCar, pObject);
                boContact = TRUE;
            }
        }
    }
    for (int i = 0; i < COLL_CONTACT_KEYS; ++i)
        pCar->StaticKeysPrev[i] = pCar->StaticKeys[i];
    pCar->nStaticKeysPrev = pCar->nStaticKeys;
    return boContact;
}

BOOL Coll_CarVsMovingObjects(CarBody* pCar)
{
    ++gnHitTicks;
    gboNewObjectHit = FALSE;
    // The static pass moved the car's footprint with the car; built afresh it is the same.
    gboCarPrintBuilt = false;
    pCar->nMovingKeys = 0;
    const int nSet = gboAllCarsMoveObjects ? pCar->nCarNumber : 0;
    BOOL boContact = FALSE;
    if (ValidSet(nSet))
    {
        const int nDetail = DkGetObjectDetailLevel();
        int anBlocks[4];
        CarBlocks(pCar, anBlocks);
        for (int nBlock : anBlocks)
        {
            if (!ValidBlock(nBlock))
                continue;
            for (HitObject* pO = MovingObjects_GetList(nSet, nBlock); pO != nullptr; pO = pO->pNext)
            {
                if (((pO->uFlags & HIT_STATE_MASK) >> HIT_STATE_SHIFT) == HIT_STATE_INERT ||
                    !ActorGates(pO->pActor, nDetail))
                    continue;
                boContact = FALSE;
                if (!BroadPhase(pCar->Position, pCar->BoundingRadius, pO->Position, pO->xRadius))
                    continue;
                EnsureCarFootprint(pCar);
                HitObjectFootprint(pO, &gObstaclePrint);
                if (!NarrowPhase(pCar, gObstaclePrint))
                    continue;
                RespondMovingObject(pCar, pO, static_cast<uint16_t>(pO->uKind >> 5));
                pO->uFlags = static_cast<uint8_t>((pO->uFlags & ~HIT_STATE_MASK) |
                                                  (HIT_STATE_HIT << HIT_STATE_SHIFT));
                if (pO->pActor != nullptr)
                    DkMarkActorDirty(pO->pActor);
                NoteObjectHit(pO->pActor);
                boContact = TRUE;
            }
        }
    }
    for (int i = 0; i < COLL_CONTACT_KEYS; ++i)
        pCar->MovingKeysPrev[i] = pCar->MovingKeys[i];
    pCar->nMovingKeysPrev = pCar->nMovingKeys;
    return boContact;
}

BOOL Coll_OverlapMovingObject(CarBody* pCar, HitObject* pObject)
{
    if (pObject == nullptr ||
        !BroadPhase(pCar->Position, pCar->BoundingRadius, pObject->Position, pObject->xRadius))
        return FALSE;
    Footprint car, object;
    BuildCarFootprint(pCar, &car);
    HitObjectFootprint(pObject, &object);
    return HeightsOverlap(car, object) && Overlap(car, object) ? TRUE : FALSE;
}

BOOL Coll_CarVsCar(CarBody* pCar, CarBody* pOther)
{
    if (DkEntries().IsRallySchool() || pCar == nullptr || pOther == nullptr)
        return FALSE;
    int anA[4], anB[4];
    CarBlocks(pCar, anA);
    CarBlocks(pOther, anB);
    bool boShared = false;
    for (int a : anA)
        for (int b : anB)
            boShared = boShared || (a >= 0 && a == b);
    BOOL boContact = FALSE;
    if (boShared &&
        BroadPhase(pCar->Position, pCar->BoundingRadius, pOther->Position, pOther->BoundingRadius))
    {
        BuildCarFootprint(pCar, &gCarPrint);
        gboCarPrintBuilt = true;
        BuildCarFootprint(pOther, &gObstaclePrint);
        // The other car's heights are measured from its centre, as an obstacle's are.
        gObstaclePrint.Centre.y = pOther->Position.y;
        gObstaclePrint.xTop = FfSub(gObstaclePrint.xTop, pOther->Position.y);
        gObstaclePrint.xBottom = FfSub(gObstaclePrint.xBottom, pOther->Position.y);
        boContact = NarrowPhase(pCar, gObstaclePrint) ? TRUE : FALSE;
    }
    if (boContact)
    {
        const int32_t u = FfVecDot(&pCar->Velocity, &gNormal);
        const int32_t w = FfVecDot(&pOther->Velocity, &gNormal);
        DK_VECTOR a, b;
        ShareImpulse(u, pCar->Weight, w, pOther->Weight, gNormal, &a, &b);
        if (!OnGround(pCar) && a.y < 0)
        {
            b.y = FfAdd(b.y, a.y);
            a.y = 0;
        }
        if (!OnGround(pOther) && b.y < 0)
        {
            a.y = FfAdd(a.y, b.y);
            b.y = 0;
        }
        const DK_VECTOR point = VecAdd(CarModel_ToWorld(pCar, pCar->ImpactOffset), pCar->Position);
        pOther->ImpactOffset = CarModel_ToCar(pOther, VecSub(point, pOther->Position));
        CarBody* apCars[2] = {pCar, pOther};
        const DK_VECTOR impulses[2] = {a, b};
        const bool boNew = !gboCarsTouching;
        int32_t axDamage[2] = {0, 0};
        int32_t anSound[2] = {0, 0};
        for (int k = 0; k < 2; ++k)
        {
            CarBody* p = apCars[k];
            p->ExtForce = VecAdd(p->ExtForce, impulses[k]);
            const DK_VECTOR local = CarModel_ToCar(p, impulses[k]);
            const DK_VECTOR lever = {p->ImpactOffset.x, 0, p->ImpactOffset.z};
            p->ExtTorque = ClampEach(VecAdd(p->ExtTorque, VecCross(lever, local)), kSpinLimit);
            if (boNew)
                Damage_ApplyImpact(p, &anSound[k], &axDamage[k]);
        }
        if (EffectsAllowed(pCar))
        {
            PrangSnd_PlayObjectHit(boNew && anSound[0] != 0 ? anSound[0] : kCarImpactSound,
                                   &point);
            if (boNew)
            {
                PrangSnd_PlayImpact(axDamage[0], &point, kCarImpactSound);
                for (int k = 0; k < 2; ++k)
                {
                    ForceFeedback_Jolt(apCars[k]->nCarNumber, FfMul(axDamage[k], 3 * ONE / 2),
                                       19661);
                    ForceFeedback_Impact(apCars[k]->nCarNumber, &impulses[k],
                                         FfMul(axDamage[k], 2 * ONE), 2 * ONE, 0);
                }
            }
        }
        if (gNumberOfPlayers == 1)
        {
            pOther->Collided = 1;
            gboCarsCollided = TRUE;
            gnCollisionEndCounter = kCollisionEndFrames;
        }
    }
    gboCarsTouching = boContact;
    return boContact;
}

HitObject* MovingObjects_GetList(int nSet, int nBlock)
{
    if (!ValidSet(nSet))
        return nullptr;
    const int nSlot = FindList(nSet, nBlock);
    return nSlot < 0 ? nullptr : gaapListHead[nSet][nSlot];
}

int MovingObjects_GetListCount(int nSet)
{
    return ValidSet(nSet) ? ganListCount[nSet] : 0;
}

void MovingObjects_Reset(int nSet)
{
    if (!ValidSet(nSet))
        return;
    for (int i = 0; i < COLL_LIST_HEADS; ++i)
    {
        gaapListHead[nSet][i] = nullptr;
        gaanListBlock[nSet][i] = -1;
    }
    ganListCount[nSet] = 0;
    for (int i = 0; i < RecordCount(); ++i)
    {
        HitObject* pO = &gaHitObjects[nSet][i];
        pO->pNext = pO->pPrev = nullptr;
        pO->uBlock = static_cast<uint16_t>(BlockOf(*pO));
        int nSlot = FindList(nSet, pO->uBlock);
        if (nSlot >= 0)
        {
            HitObject* pLast = gaapListHead[nSet][nSlot];
            while (pLast->pNext != nullptr)
                pLast = pLast->pNext;
            pLast->pNext = pO;
            pO->pPrev = pLast;
            continue;
        }
        nSlot = OpenList(nSet, pO->uBlock);
        if (nSlot >= 0)
            gaapListHead[nSet][nSlot] = pO;
    }
}

void MovingObjects_Link(int nSet, HitObject* pObject)
{
    if (ValidSet(nSet) && pObject != nullptr)
        PushFront(nSet, pObject);
}

void MovingObjects_Relink(void)
{
    const int nRecords = RecordCount();
    for (int nSet = 0; nSet < HitObjects_NumSets(); ++nSet)
    {
        const int nMoving = FfClamp(gaNumMovingInList[nSet], 0, HIT_OBJECT_MOVING);
        for (int k = 0; k < nMoving; ++k)
        {
            const int nIndex = gaMovingObjectList[nSet][k];
            if (nIndex < 0 || nIndex >= nRecords)
                continue;
            HitObject* pO = &gaHitObjects[nSet][nIndex];
            const uint16_t uBlock = static_cast<uint16_t>(BlockOf(*pO));
            if (uBlock == pO->uBlock)
                continue;
            pO->uBlock = uBlock;
            Unlink(nSet, pO);
            PushFront(nSet, pO);
        }
    }
}

void MovingObjects_DebugDump(void)
{
    for (int nSet = 0; nSet < HitObjects_NumSets(); ++nSet)
        MovingObjects_Reset(nSet);
    DkLog("Moving Objects");
    for (int nSet = 0; nSet < HitObjects_NumSets(); ++nSet)
    {
        DkLog(DkFormatString("Player %d", nSet));
        for (int i = 0; i < ganListCount[nSet]; ++i)
        {
            int nObjects = 0;
            for (HitObject* p = gaapListHead[nSet][i]; p != nullptr; p = p->pNext)
                ++nObjects;
            DkLog(DkFormatString("Block = %d, Objects = %d", gaanListBlock[nSet][i], nObjects));
        }
    }
    BuildDiagonals();
}

uint8_t Coll_GetLastHitKind(void)
{
    return guLastHitKind;
}

int Coll_GetHitCount(void)
{
    return gboNewObjectHit ? 1 : 0;
}

void Coll_GetContactForTests(DK_VECTOR* pNormal, int32_t* pxRollThreshold,
                             int32_t* pxCornerThreshold)
{
    *pNormal = gNormal;
    *pxRollThreshold = gxRollThreshold;
    *pxCornerThreshold = gxCornerThreshold;
}

void Coll_ClearAll(void)
{
    for (TrackObjectNode*& p : gapTrackObjects)
        p = nullptr;
    for (int nSet = 0; nSet < HIT_OBJECT_SETS; ++nSet)
    {
        for (int i = 0; i < COLL_LIST_HEADS; ++i)
        {
            gaapListHead[nSet][i] = nullptr;
            gaanListBlock[nSet][i] = -1;
        }
        ganListCount[nSet] = 0;
    }
    gboNewObjectHit = gboCarsTouching = FALSE;
    guLastHitKind = 0;
    gnHitTicks = 0;
    gapLastHitActors[0] = gapLastHitActors[1] = gapLastHitActors[2] = nullptr;
    gboCarsCollided = FALSE;
    gnCollisionEndCounter = 0;
    gNormal = {ONE, 0, 0};
    gxRollThreshold = kRollThreshold;
    gxCornerThreshold = kCornerThreshold;
}
