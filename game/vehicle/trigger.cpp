#include "game/vehicle/trigger.h"

#include <cstdint>

#include "engine/include/dk_ff.h"
#include "engine/pc/3d/dk_line.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/effects/codriver.h"
#include "game/effects/effects.h"
#include "game/effects/forcefeedback.h"
#include "game/effects/muddycar.h"
#include "game/effects/prangsnd.h"
#include "game/hud/catseye.h"
#include "game/hud/rs_main.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/splttime.h"
#include "game/race/stageinfo.h"
#include "game/race/startup.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/damage.h"

WallImpact gaWallImpact[MAX_CARS];
const int32_t gaTrackCameraClip[TRACK_CAMERA_SETS] = {50 << 16, 75 << 16, 100 << 16, 150 << 16,
                                                      250 << 16};
int32_t gnTrackCameraClipSel = 0;

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int kPlayers = 8;
constexpr int kFinishSplits = 8;
constexpr int kSpecialLight = 8;
constexpr int kEventSeconds = 12;

constexpr int32_t kSteepForward = 64881;       // 0.99: the forward row stands nearly upright
constexpr int32_t kFarDistance = 32000 << 16;  // no end of the footprint nearer than this
constexpr int32_t kNoDepth = 10000 << 16;      // start of the deepest-corner search
constexpr int32_t kBounce = -72089;            // -1.1: the normal speed kept at a tenth, reversed
constexpr int32_t kContactReach = 2 << 16;     // the contact point's distance along the normal
constexpr int32_t kJoltLength = 19660;         // 0.3
constexpr int32_t kImpactLength = 2 << 16;
constexpr int32_t kLeastSlide = 655;           // 0.01
constexpr int32_t kFullSlide = 98304;          // 1.5: a slide this long scrapes at full intensity
constexpr int32_t kScrapeValue = 6553;         // 0.1
constexpr int32_t kRollSpeedChange = 78643;    // 1.2
constexpr int32_t kSpinGain = 163840;          // 2.5
constexpr int32_t kLargestSpinChange = 216268; // 3.3
constexpr int32_t kRollCornerDrop = 20 << 16;
constexpr int32_t kRollLiftX = 40 << 16;
constexpr int32_t kRollLiftZ = 20 << 16;
constexpr int32_t kRollHop = ONE / 2;
constexpr int32_t kLargestSpin = 8 << 16;
constexpr int32_t kSparkBack = 13107;    // 0.2
constexpr int32_t kSparkForward = 6553;  // 0.1
constexpr int32_t kSparkSide = 6553;     // 0.1

// Impact sounds of the wall materials 12 to 20.
constexpr int kMaterialSounds[9] = {2, 3, 5, 6, 13, 16, 0, 15, 9};

// The pass under way.
CarBody* gpBody = nullptr;
TrackTrigger* gpRecord = nullptr;
TrackTrigger* gpHitRecord = nullptr;
// The footprint: forward and side axes along the ground and the extents along them.
DK_VECTOR gForward{};
DK_VECTOR gSide{};
int32_t gxForwardExtent = 0;
int32_t gxSideExtent = 0;
bool gboExtentsDone = false;
// 1 when the car started the step on the side away from the normal (or on the line).
int gnApproachSide = 0;
// Each corner's signed distance behind the line, and the candidate corners on either side.
int32_t gaxCornerDistance[CAR_POINTS];
int gnNonNegative = 0;
int gnNegative = 0;
int ganNonNegative[CAR_POINTS];
int ganNegative[CAR_POINTS];
int gnChosenCorner = 0;

bool RallySchool(void)
{
    return DkEntries().IsRallySchool() != FALSE;
}

// A stage driven backwards: its pace notes are for the other direction.
bool ReverseStage(void)
{
    return !RallySchool() && GameData_IsOptionSet(OPTION_REVERSE_DIRECTION) &&
           !IsSuperSpecialStage();
}

uint8_t PlayerBit(int nPlayer)
{
    return nPlayer >= 0 && nPlayer < kPlayers ? static_cast<uint8_t>(1u << nPlayer) : 0;
}

DK_VECTOR EndA(const TrackTrigger& r)
{
    return {r.ax, r.ay, r.az};
}

DK_VECTOR EndB(const TrackTrigger& r)
{
    return {r.bx, r.by, r.bz};
}

DK_VECTOR Normal(const TrackTrigger& r)
{
    return {r.nx, r.ny, r.nz};
}

int32_t Dot(const DK_VECTOR& a, const DK_VECTOR& b)
{
    return FfVecDot(&a, &b);
}

// The ground-plane offset of a point from another.
DK_VECTOR GroundOffset(const DK_VECTOR& to, const DK_VECTOR& from)
{
    return {FfSub(to.x, from.x), 0, FfSub(to.z, from.z)};
}

// Moves the car and its eight corners.
void MoveCar(CarBody* pBody, const DK_VECTOR& by)
{
    pBody->Position = VecAdd(pBody->Position, by);
    for (DK_VECTOR& corner : pBody->ContactPoint)
        corner = VecAdd(corner, by);
}

// How far along a direction component the point leaves the footprint: num / den, den > 0 and
// num >= 0, held at the far distance where the quotient would pass it (a direction nearly
// along the other axis gives a huge one, which must not wrap to a small or negative distance).
int32_t DistanceToEdge(int32_t xNum, int32_t xDen)
{
    const int64_t q = static_cast<int64_t>(xNum) * ONE / xDen;
    return q > kFarDistance ? kFarDistance : static_cast<int32_t>(q);
}

// The lines of the block through their links, in list order. A link past the table ends the
// walk, and so does a walk as long as the table, so that a bad link can neither read outside
// the table nor loop.
template <typename Visit> void ForEachLineOfBlock(int nBlock, Visit visit)
{
    if (gpWallLines == nullptr || gnNumWallLines <= 0 || nBlock < 0 || nBlock >= MAXTRACKBLOCKS ||
        static_cast<uint32_t>(nBlock) >= guNumTrackBlocks)
        return;
    const uintptr_t uFirst = reinterpret_cast<uintptr_t>(gpWallLines);
    const uintptr_t uHead = reinterpret_cast<uintptr_t>(gaTrackBlocks[nBlock].pWallList);
    if (uHead < uFirst || (uHead - uFirst) % sizeof(TrackTrigger) != 0 ||
        (uHead - uFirst) / sizeof(TrackTrigger) >= static_cast<uintptr_t>(gnNumWallLines))
        return;
    TrackTrigger* pLine = gaTrackBlocks[nBlock].pWallList;
    for (int32_t nSteps = 0; nSteps < gnNumWallLines; ++nSteps)
    {
        visit(pLine);
        const uint32_t uLink = pLine->uNext;
        if (uLink == 0 || uLink > static_cast<uint32_t>(gnNumWallLines))
            return;
        pLine = &gpWallLines[uLink - 1];
    }
}

// The split marker's part: the player's cat's-eye head, and the split time when player 0's
// head moved on, or once at the finish.
void PassSplit(const TrackTrigger& record, int nPlayer)
{
    if (nPlayer >= 0 && nPlayer < kPlayers)
        gaCatsEyeHead[nPlayer] = record.nParam;
    const int32_t nHead = gaCatsEyeHead[0];
    bool boTake = false;
    if (nHead != gnLastSplitState && gaSplitsPassed[0] < kFinishSplits)
        boTake = true;
    else if (gaSplitsPassed[0] == kFinishSplits && gboFinishReached == 0)
    {
        gboFinishReached = 1;
        boTake = true;
    }
    if (boTake)
    {
        gnLastSplitTime = StageTimer_GetHundredths(0);
        gnLastSplitState = nHead;
    }
}

// The depth of the corner pressed furthest past the line for the approach side among the
// listed corners; its corner becomes the chosen one.
int32_t DeepestCorner(const int* pnCorners, int nCount)
{
    int32_t xDepth = gnApproachSide == 0 ? FfNeg(kNoDepth) : kNoDepth;
    for (int k = 0; k < nCount; ++k)
    {
        const int i = pnCorners[k];
        const int32_t s = gaxCornerDistance[i];
        if (gnApproachSide == 0 ? s > xDepth : s < xDepth)
        {
            xDepth = s;
            gnChosenCorner = i;
        }
    }
    return xDepth;
}

bool AllCornersNonNegative(void)
{
    for (int32_t s : gaxCornerDistance)
        if (s < 0)
            return false;
    return true;
}

bool AllCornersNegative(void)
{
    for (int32_t s : gaxCornerDistance)
        if (s >= 0)
            return false;
    return true;
}

// The sparks and marks of a car scraping along a wall of kind 14, 15 or 18.
void Scrape(CarBody* pBody, int nCorner, int nPlayer, const DK_VECTOR& normal)
{
    const DK_VECTOR move = VecSub(pBody->Position, pBody->PositionPrev);
    DK_VECTOR slide = VecSub(move, VecScaled(normal, Dot(move, normal)));
    const int32_t xLength = FfVecLength(&slide);
    if (xLength <= kLeastSlide)
        return;
    const int nCar = pBody->nCarNumber;
    WallImpact* pImpact = nCar >= 0 && nCar < MAX_CARS ? &gaWallImpact[nCar] : nullptr;
    if (pImpact != nullptr)
        pImpact->Slide = slide;
    const int32_t xAgainst = FfNeg(xLength);
    slide = {FfDiv(slide.x, xAgainst), FfDiv(slide.y, xAgainst), FfDiv(slide.z, xAgainst)};
    int32_t k = FfDiv(xLength, kFullSlide);
    if (k > ONE)
        k = ONE;
    const bool boFront = nCorner < 2;
    const int32_t xDrop = (boFront ? pBody->FrontWheelDrop : pBody->RearWheelDrop) / 2;
    const int32_t xAlong = boFront ? FfNeg(kSparkForward) : kSparkBack;
    const int32_t xAcross = nCorner == 0 || nCorner == 2 ? FfNeg(kSparkSide) : kSparkSide;
    const DK_VECTOR spark =
        VecAdd(VecAdd(VecAdd(pBody->ContactPoint[nCorner], VecScaled(pBody->UpAxis, xDrop)),
                      VecScaled(pBody->OrientRow0, xAlong)),
               VecScaled(pBody->OrientRow2, xAcross));
    if (pImpact != nullptr)
    {
        pImpact->xIntensity = 2 * k;
        pImpact->nActive = 1;
        pImpact->SparkPoint = spark;
        pImpact->Direction = slide;
    }
    MuddyCar_CountHit(nPlayer, nCorner, kScrapeValue);
}

// The spin a wall gives a car that is not yet tumbling; a speed change above 1.2 starts it
// tumbling, lifted about a corner lowered well under the car.
void SpinFromWall(CarBody* pBody, DK_VECTOR dv)
{
    const int32_t d = FfVecLength(&dv);
    if (d > kRollSpeedChange)
    {
        pBody->Rolling = 1;
        pBody->RollStarted = 1;
    }
    dv = VecScaled(dv, kSpinGain);
    if (FfMul(d, kSpinGain) > kLargestSpinChange)
        dv = VecScaled(VecNormalised(dv), kLargestSpinChange);
    DK_VECTOR q;
    DkTransformPoint(&q, &dv, &pBody->Matrix);
    DK_VECTOR corner = VecSub(pBody->ContactPoint[gnChosenCorner], pBody->Position);
    if (pBody->Rolling != 0)
        corner.y = FfSub(corner.y, kRollCornerDrop);
    DK_VECTOR inCar;
    DkTransformPoint(&inCar, &corner, &pBody->Matrix);
    DK_VECTOR w = VecCross(q, inCar);
    if (pBody->Rolling != 0)
    {
        w.x = FfMul(w.x, kRollLiftX);
        w.z = FfMul(w.z, kRollLiftZ);
        pBody->Velocity.y = FfAdd(pBody->Velocity.y, kRollHop);
    }
    w = {FfClamp(w.x, FfNeg(kLargestSpin), kLargestSpin),
         FfClamp(w.y, FfNeg(kLargestSpin), kLargestSpin),
         FfClamp(w.z, FfNeg(kLargestSpin), kLargestSpin)};
    pBody->ExtTorque = VecAdd(pBody->ExtTorque, w);
}

} // namespace

void Trigger_ProcessCar(CarBody* pBody, CarMechanics*, int nPlayer)
{
    if (pBody == nullptr)
        return;
    const int nGiven = nPlayer;
    if (IsAlternatingGame())
        nPlayer = gnCurrentPlayer;
    gpBody = pBody;
    pBody->WallHit = 0;
    gpHitRecord = nullptr;
    gboExtentsDone = false;
    const uint8_t uBit = PlayerBit(nPlayer);

    ForEachLineOfBlock(
        pBody->nCurrentBlock,
        [&](TrackTrigger* pRecord)
        {
            if (pRecord->uPlayerBits & uBit)
                return;
            gpRecord = pRecord;
            const int nType = pRecord->uType;
            switch (nType)
            {
            case TRIGGER_PACE_NOTE:
                if (ReverseStage() || !Trigger_CarCrosses(1))
                    break;
                if (pBody->Rolling == 0)
                    CoDriver_QueueCall(pRecord->nParam, nPlayer);
                // In a super special taken in turns only the first player's pass marks it.
                if (!(IsAlternatingGame() && IsSuperSpecialStage() && nGiven != 0))
                    Trigger_MarkDoneForPlayer(pRecord, nPlayer);
                break;
            case TRIGGER_SPLIT:
                if (!RallySchool() && !IsSuperSpecialStage() && Trigger_CarCrosses(1))
                    PassSplit(*pRecord, nPlayer);
                break;
            case TRIGGER_SCHOOL_LINE:
                if (RallySchool() && gnSchoolAttempts != 0 && Trigger_CarCrosses(1))
                    School_PassLine(pRecord->nParam);
                break;
            case 4:
            case 5:
                break;
            case TRIGGER_FINISH:
                if (!Trigger_OutsideHeightSpan() && Trigger_CarCrosses(1))
                    pBody->NeedsRescue = 1;
                break;
            case TRIGGER_TIMED_EVENT:
                if (!RallySchool() && !IsTwoPlayerGame() && Trigger_CarCrosses(1) &&
                    pBody->StartCountdown == 0 && StageInfo_GetLight() == kSpecialLight)
                    pBody->StartCountdown =
                        static_cast<int16_t>(kEventSeconds * CarModel_TicksPerSecond());
                break;
            default:
                if (nType >= TRIGGER_FIRST_CAMERA_SET && nType <= TRIGGER_LAST_CAMERA_SET)
                    Trigger_SelectTrackCamera(nType - TRIGGER_FIRST_CAMERA_SET);
                else if (!Trigger_OutsideHeightSpan())
                {
                    if (pRecord->uTwoSided != 0)
                        Trigger_TestWallEnds();
                    Trigger_CollideCarWithWall(nType == TRIGGER_WALL ? 0 : nType, nPlayer);
                }
                break;
            }
        });
    pBody->WallHitPrev = pBody->WallHit;
}

void Trigger_MarkDoneForPlayer(TrackTrigger* pRecord, int nPlayer)
{
    const uint8_t uBit = PlayerBit(nPlayer);
    if (pRecord == nullptr || uBit == 0)
        return;
    pRecord->uPlayerBits |= uBit;
    // Only a record of the table has neighbours.
    const uintptr_t uFirst = reinterpret_cast<uintptr_t>(gpWallLines);
    const uintptr_t uAt = reinterpret_cast<uintptr_t>(pRecord);
    if (gpWallLines == nullptr || uAt < uFirst || (uAt - uFirst) % sizeof(TrackTrigger) != 0 ||
        (uAt - uFirst) / sizeof(TrackTrigger) >= static_cast<uintptr_t>(gnNumWallLines))
        return;
    const int32_t nAt = static_cast<int32_t>((uAt - uFirst) / sizeof(TrackTrigger));
    auto same = [pRecord](const TrackTrigger& r)
    {
        return r.uType == pRecord->uType && r.ax == pRecord->ax && r.az == pRecord->az &&
               r.bx == pRecord->bx && r.bz == pRecord->bz;
    };
    for (int32_t i = nAt - 1; i >= 0 && same(gpWallLines[i]); --i)
        gpWallLines[i].uPlayerBits |= uBit;
    for (int32_t i = nAt + 1; i < gnNumWallLines && same(gpWallLines[i]); ++i)
        gpWallLines[i].uPlayerBits |= uBit;
}

void Trigger_SelectTrackCamera(int nSet)
{
    if (nSet < 0 || nSet >= TRACK_CAMERA_SETS)
        return;
    if (!(RallySchool() || !IsTwoPlayerGame()) || !Trigger_CarCrosses(0) ||
        StageInfo_GetLight() == kSpecialLight)
        return;
    const int32_t xClip = gaTrackCameraClip[nSet];
    gnTrackCameraClipSel = xClip;
    gxLoadedObjectClipDistance = xClip < gxStageObjectClipDistance ? xClip
                                                                   : gxStageObjectClipDistance;
    gxLoadedHorizonDistance = xClip < gxStageHorizonDistance ? xClip : gxStageHorizonDistance;
    gxObjectClipDistance = gxLoadedObjectClipDistance;
    gxHorizonDistance = gxLoadedHorizonDistance;
}

void Trigger_MirrorRecords(void)
{
    if (gpWallLines == nullptr)
        return;
    // The fired bits stay clear: the loader has cleared them, and the split count with them, so
    // mirroring them too would mark every split marker fired for every player.
    for (int32_t i = 0; i < gnNumWallLines; ++i)
    {
        TrackTrigger& r = gpWallLines[i];
        if (r.uType == TRIGGER_SPLIT)
            r.nParam = FfSub(FfSub(gnNumCatsEyes, 1), r.nParam);
    }
}

void Trigger_DrawDebugLines(void)
{
    const CarBody& car = gaCarBody[0];
    static const uint8_t kRed[4] = {255, 0, 0, 255};
    static const uint8_t kGreen[4] = {0, 255, 0, 255};
    static const uint8_t kBlue[4] = {0, 0, 255, 255};
    static const uint8_t kWhite[4] = {255, 255, 255, 255};
    ForEachLineOfBlock(car.nCurrentBlock,
                       [&car](TrackTrigger* pLine)
                       {
                           const DK_VECTOR a = {pLine->ax, car.Position.y, pLine->az};
                           const DK_VECTOR b = {pLine->bx, car.Position.y, pLine->bz};
                           const uint8_t* pColour = pLine->uType == TRIGGER_PACE_NOTE ? kRed
                                                    : pLine->uType == TRIGGER_SPLIT   ? kGreen
                                                    : pLine->uType == TRIGGER_SCHOOL_LINE
                                                        ? kBlue
                                                        : kWhite;
                           DkDrawLine(&a, &b, pColour, nullptr);
                       });
}

void Trigger_ComputeCarExtents(void)
{
    const CarBody* pBody = gpBody;
    const DK_VECTOR& row = FfAbs(pBody->OrientRow0.y) >= kSteepForward ? pBody->UpAxis
                                                                         : pBody->OrientRow0;
    const DK_VECTOR flat = {row.x, 0, row.z};
    gForward = VecNormalised(flat);
    gSide = {gForward.z, 0, FfNeg(gForward.x)};
    gxForwardExtent = gxSideExtent = 0;
    for (const DK_VECTOR& corner : pBody->ContactPoint)
    {
        const DK_VECTOR d = VecSub(corner, pBody->Position);
        const int32_t a = Dot(d, gForward);
        const int32_t b = Dot(d, gSide);
        if (a > gxForwardExtent)
            gxForwardExtent = a;
        if (b > gxSideExtent)
            gxSideExtent = b;
    }
    gboExtentsDone = true;
}

int Trigger_TestCarAgainstPoint(const DK_VECTOR* pPoint, int)
{
    if (!gboExtentsDone)
        Trigger_ComputeCarExtents();
    CarBody* pBody = gpBody;
    const DK_VECTOR d = GroundOffset(*pPoint, pBody->Position);
    const int32_t a = Dot(d, gForward);
    const int32_t b = Dot(d, gSide);
    if (FfAbs(a) > gxForwardExtent || FfAbs(b) > gxSideExtent)
        return 0;
    const DK_VECTOR m = GroundOffset(*pPoint, pBody->PositionPrev);
    const int32_t xLength = FfVecLength(&m);
    if (xLength <= 0)
        return 0;
    const DK_VECTOR u = {FfDiv(m.x, xLength), 0, FfDiv(m.z, xLength)};
    const int32_t ua = Dot(u, gForward);
    const int32_t ub = Dot(u, gSide);
    int32_t t = kFarDistance;
    auto nearer = [&t](int32_t x)
    {
        if (x < t)
            t = x;
    };
    if (ua > 0)
        nearer(DistanceToEdge(FfSub(gxForwardExtent, a), ua));
    else if (ua < 0)
        nearer(DistanceToEdge(FfAbs(FfSub(FfNeg(a), gxForwardExtent)), FfNeg(ua)));
    if (ub > 0)
        nearer(DistanceToEdge(FfSub(gxSideExtent, b), ub));
    else if (ub < 0)
        nearer(DistanceToEdge(FfAbs(FfSub(FfNeg(b), gxSideExtent)), FfNeg(ub)));
    MoveCar(pBody, {FfNeg(FfMul(u.x, t)), 0, FfNeg(FfMul(u.z, t))});
    return 1;
}

int Trigger_TestWallEnds(void)
{
    CarBody* pBody = gpBody;
    const TrackTrigger& r = *gpRecord;
    const int32_t xReach = FfAdd(pBody->BoxSize.x, pBody->BoxSize.x);
    const int32_t xRadius = pBody->BoundingRadius;
    int nMoved = 0;
    const DK_VECTOR aEnds[2] = {EndA(r), EndB(r)};
    for (int nEnd = 0; nEnd < 2; ++nEnd)
    {
        const DK_VECTOR d = GroundOffset(aEnds[nEnd], pBody->Position);
        if (FfAbs(d.x) <= xReach && FfAbs(d.z) <= xReach &&
            Dot(d, d) < FfMul(xRadius, xRadius) &&
            Trigger_TestCarAgainstPoint(&aEnds[nEnd], nEnd))
            nMoved = 1;
    }
    if (nMoved)
        pBody->WallHit = 1;
    return nMoved;
}

namespace
{

// N.(A - P) for the car's position at the start of the step and now, and whether the car is
// within twice its bounding radius of the line.
bool NearLine(int32_t* pxStart)
{
    const TrackTrigger& r = *gpRecord;
    const DK_VECTOR a = EndA(r), n = Normal(r);
    *pxStart = Dot(n, VecSub(a, gpBody->PositionPrev));
    const int32_t xNow = Dot(n, VecSub(a, gpBody->Position));
    const int32_t xLimit = FfAdd(gpBody->BoundingRadius, gpBody->BoundingRadius);
    return FfAbs(xNow) <= xLimit;
}

} // namespace

int Trigger_NearEitherSide(void)
{
    int32_t xStart = 0;
    if (!NearLine(&xStart))
        return 0;
    gnApproachSide = xStart >= 0 ? 1 : 0;
    return 1;
}

int Trigger_NearFrontSide(void)
{
    int32_t xStart = 0;
    if (!NearLine(&xStart) || xStart > 0)
        return 0;
    gnApproachSide = xStart >= 0 ? 1 : 0;
    return 1;
}

void Trigger_ClassifyCorners(void)
{
    const TrackTrigger& r = *gpRecord;
    const DK_VECTOR a = EndA(r), b = EndB(r), n = Normal(r);
    const DK_VECTOR along = {FfNeg(r.nz), 0, r.nx};
    gnNonNegative = gnNegative = 0;
    for (int i = 0; i < CAR_POINTS; ++i)
    {
        const DK_VECTOR& c = gpBody->ContactPoint[i];
        const int32_t ai = Dot(VecSub(a, c), along);
        const int32_t bi = Dot(VecSub(b, c), along);
        const int32_t si = Dot(VecSub(a, c), n);
        gaxCornerDistance[i] = si;
        if (!(ai == 0 || bi == 0 || OppositeSigns(ai, bi)))
            continue;
        const bool boFarSide = gnApproachSide == 0 ? si >= 0 : si < 0;
        if (boFarSide)
        {
            // A corner already past the line as the tick began stays past it only if it went
            // no further back.
            const int32_t ti = Dot(VecSub(a, gpBody->ContactPointStart[i]), n);
            if (si > 0 && ti > si)
                continue;
            if (si < 0 && ti < si)
                continue;
        }
        if (si < 0)
            ganNegative[gnNegative++] = i;
        else
            ganNonNegative[gnNonNegative++] = i;
    }
}

int Trigger_CarCrosses(int nTwoSided)
{
    if (!(nTwoSided ? Trigger_NearEitherSide() : Trigger_NearFrontSide()))
        return 0;
    Trigger_ClassifyCorners();
    if (gnNonNegative > 0 && gnNegative > 0)
        return 1;
    return (gnNonNegative > 0 || gnNegative > 0) && gnApproachSide == 1 && AllCornersNegative()
               ? 1
               : 0;
}

int Trigger_OutsideHeightSpan(void)
{
    const TrackTrigger& r = *gpRecord;
    const int32_t yLow = r.ay < r.by ? r.ay : r.by;
    const int32_t yHigh = r.ay < r.by ? r.by : r.ay;
    for (const DK_VECTOR& c : gpBody->ContactPoint)
        if (c.y > yLow && c.y < yHigh)
            return 0;
    return 1;
}

int Trigger_CollideCarWithWall(int nKind, int nPlayer)
{
    CarBody* pBody = gpBody;
    TrackTrigger& r = *gpRecord;
    const bool boTwoSided = r.uTwoSided != 0;
    if (!(boTwoSided ? Trigger_NearEitherSide() : Trigger_NearFrontSide()))
        return 0;
    int nEnds = 0;
    if (!boTwoSided)
        nEnds = Trigger_TestWallEnds();

    Trigger_ClassifyCorners();
    int32_t xDepth = 0;
    if (gnNonNegative > 0 && gnNegative > 0)
        xDepth = gnApproachSide == 0 ? DeepestCorner(ganNonNegative, gnNonNegative)
                                     : DeepestCorner(ganNegative, gnNegative);
    else if ((gnNonNegative > 0 || gnNegative > 0) &&
             ((gnApproachSide == 0 && AllCornersNonNegative()) ||
              (gnApproachSide == 1 && AllCornersNegative())))
    {
        static constexpr int kAllCorners[CAR_POINTS] = {0, 1, 2, 3, 4, 5, 6, 7};
        xDepth = DeepestCorner(kAllCorners, CAR_POINTS);
    }
    else
        return nEnds;
    gpHitRecord = &r;

    const DK_VECTOR a = EndA(r), n = Normal(r);
    if (xDepth != 0)
        MoveCar(pBody, VecScaled(n, xDepth));

    DK_VECTOR dv{};
    const int32_t vn = Dot(pBody->Velocity, n);
    if (vn != 0)
    {
        dv = VecScaled(n, FfMul(kBounce, vn));
        pBody->Velocity = VecAdd(pBody->Velocity, dv);
    }

    // The contact point in the car's frame, inside its box.
    const DK_VECTOR reach =
        VecScaled(n, Dot(VecSub(a, pBody->Position), n) > 0 ? kContactReach : FfNeg(kContactReach));
    DK_VECTOR offset;
    DkTransformPoint(&offset, &reach, &pBody->Matrix);
    const DK_VECTOR& half = pBody->HalfSize;
    pBody->ImpactOffset = {FfClamp(offset.x, FfNeg(half.x), half.x),
                           FfClamp(offset.y, FfNeg(half.y), half.y),
                           FfClamp(offset.z, FfNeg(half.z), half.z)};

    const DK_VECTOR savedForce = pBody->ExtForce;
    pBody->ExtForce = dv;
    int32_t nHitKind = 0;
    int32_t xStrength = 0;
    const bool boFirstTouch = pBody->WallHitPrev == 0;
    if (boFirstTouch)
        Damage_ApplyImpact(pBody, &nHitKind, &xStrength);
    DK_VECTOR contact;
    DkTransformPointTransposed(&contact, &pBody->ImpactOffset, &pBody->Matrix);
    contact = VecAdd(contact, pBody->Position);

    const int nCar = pBody->nCarNumber;
    if (!(Ghost_IsPlaying() && nCar == 1))
    {
        if (nHitKind != 0)
            PrangSnd_PlayObjectHit(nHitKind, &contact);
        const int nCorner = gnChosenCorner >= 4 ? gnChosenCorner - 4 : gnChosenCorner;
        if (boFirstTouch)
        {
            if (xStrength > 0)
            {
                if (nKind >= TRIGGER_FIRST_MATERIAL_WALL && nKind <= TRIGGER_LAST_MATERIAL_WALL)
                    PrangSnd_PlayImpact(xStrength, &contact,
                                        kMaterialSounds[nKind - TRIGGER_FIRST_MATERIAL_WALL]);
                ForceFeedback_Jolt(nCar, xStrength, kJoltLength);
                const DK_VECTOR away = VecScaled(n, Dot(VecSub(pBody->Position, a), n));
                ForceFeedback_Impact(nCar, &away, FfAdd(xStrength, xStrength), kImpactLength, 0);
            }
        }
        else if (nKind == 14 || nKind == 15 || nKind == 18)
            Scrape(pBody, nCorner, nPlayer, n);
        else if (nKind == TRIGGER_PARTICLE_WALL)
            Effects_QueueWallImpact(nPlayer, nCorner, kScrapeValue);
    }
    pBody->ExtForce = savedForce;

    if (pBody->Rolling == 0)
        SpinFromWall(pBody, dv);
    pBody->WallHit = 1;
    return 1;
}

void Trigger_SetPassForTests(CarBody* pBody, TrackTrigger* pRecord)
{
    gpBody = pBody;
    gpRecord = pRecord;
    gboExtentsDone = false;
}
