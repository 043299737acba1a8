#include "game/race/camviews.h"

#include <array>
#include <cstdint>

#include "engine/common/dk_rand.h"
#include "engine/common/matrixop.h"
#include "engine/include/dk_ff.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/interp.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carmodel.h"

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;

// A real number as 16.16, rounded to the nearest step (compile-time only).
constexpr int32_t Fx(double v)
{
    return static_cast<int32_t>(v * 65536.0 + (v < 0 ? -0.5 : 0.5));
}

// The view values every car-following view shares.
constexpr int32_t kFieldOfView = Fx(0.625);
constexpr int32_t kValueBCarMounted = Fx(0.1);
// The car-mounted views are never turned toward a point above the car when lifted: the
// camera is fixed to the body.
constexpr int32_t kCarMountedLiftHeight = 0;

// ---- The car's frame --------------------------------------------------------------------

int CarOf(const CameraView* pView)
{
    return pView->nCar < MAX_CARS ? pView->nCar : 0;
}

DK_VECTOR Row(const DK_MATRIX* pMatrix, int nRow)
{
    DK_VECTOR v;
    FfMatGetRow(&v, pMatrix, nRow);
    return v;
}

DK_VECTOR Negated(const DK_VECTOR& v)
{
    return {FfNeg(v.x), FfNeg(v.y), FfNeg(v.z)};
}

DK_VECTOR Sum(const DK_VECTOR& a, const DK_VECTOR& b)
{
    return {FfAdd(a.x, b.x), FfAdd(a.y, b.y), FfAdd(a.z, b.z)};
}

void SetRows(DK_MATRIX* pOut, const DK_VECTOR& side, const DK_VECTOR& up, const DK_VECTOR& forward,
             const DK_VECTOR& position)
{
    FfMatSetRow0(&side, pOut);
    FfMatSetRow1(&up, pOut);
    FfMatSetRow2(&forward, pOut);
    FfMatSetPosition(&position, pOut);
    pOut->m[0][3] = pOut->m[1][3] = pOut->m[2][3] = 0;
    pOut->m[3][3] = ONE;
}

// The car's frame as a view: the car's forward (its first row) becomes the view's forward and
// the negated side (its third row) the view's side; looking back, both turn round. The
// position is the car's.
void CarViewMatrix(DK_MATRIX* pOut, int nCar, bool boLookBack)
{
    const DK_MATRIX* pCar = Cameras_GetCarMatrix(nCar);
    const DK_VECTOR forward = Row(pCar, 0);
    const DK_VECTOR side = Row(pCar, 2);
    if (boLookBack)
        SetRows(pOut, side, Row(pCar, 1), Negated(forward), Row(pCar, 3));
    else
        SetRows(pOut, Negated(side), Row(pCar, 1), forward, Row(pCar, 3));
}

// The eye: the car's position plus the offset turned into the view's frame.
void PlaceEye(CameraView* pView, const DK_VECTOR& offset)
{
    DK_VECTOR turned;
    DkTransformPointTransposed(&turned, &offset, &pView->View);
    const DK_VECTOR eye = Sum(Row(Cameras_GetCarMatrix(CarOf(pView)), 3), turned);
    FfMatSetPosition(&eye, &pView->View);
}

void SetValues(CameraView* pView, int32_t xLift, int32_t xValueB, int32_t xTrackDraw,
               int32_t xLiftHeight)
{
    pView->xLift = xLift;
    pView->xValueB = xValueB;
    pView->xTrackDraw = xTrackDraw;
    pView->xFieldOfView = kFieldOfView;
    pView->xLiftHeight = xLiftHeight;
}

// 0..xMax from the engine's generator, both ends included.
int32_t RandomUpTo(int32_t xMax)
{
    return static_cast<int32_t>(static_cast<int64_t>(xMax) * DkRand() / DK_RAND_MAX);
}

int32_t Cosine(int nAngle)
{
    return gaSinTable[(nAngle + DK_QUARTER_TURN) & DK_ANGLE_MASK];
}

int32_t Sine(int nAngle)
{
    return gaSinTable[nAngle & DK_ANGLE_MASK];
}

// ---- Family A: bonnet (variant 1) and roof (variant 0) --------------------------------------

constexpr int kCarTypes = NUM_CAR_TYPES;

// The bonnet eye's distance forward of the car's centre, by car type (0.5 up).
constexpr std::array<int32_t, kCarTypes> kBonnetForward = {
    Fx(1.9355), Fx(1.7065), Fx(1.7275), Fx(1.8765), Fx(1.785), Fx(1.7985), Fx(1.92),
    Fx(1.7675), Fx(1.75),   Fx(1.835),  Fx(1.86),   Fx(1.73),  Fx(1.1993), Fx(1.5092)};
constexpr int32_t kBonnetUp = Fx(0.5);

// The roof eye's height and distance forward, by car type.
struct RoofEye
{
    int32_t xUp;
    int32_t xForward;
};
constexpr std::array<RoofEye, kCarTypes> kRoofEye = {{{Fx(1.0), Fx(0.3)},
                                                      {Fx(1.0), Fx(0.05)},
                                                      {Fx(0.95), Fx(0.15)},
                                                      {Fx(1.0), Fx(0.1)},
                                                      {Fx(0.95), Fx(0.15)},
                                                      {Fx(0.95), Fx(0.3)},
                                                      {Fx(1.05), Fx(0.1)},
                                                      {Fx(1.05), Fx(0.1)},
                                                      {Fx(1.0), Fx(0.15)},
                                                      {Fx(1.0), Fx(0.15)},
                                                      {Fx(1.0), Fx(0.15)},
                                                      {Fx(1.0), Fx(0.05)},
                                                      {Fx(1.0), Fx(0.92)},
                                                      {Fx(0.92), Fx(0.37)}}};

// The roof view looks down at the road: 113 units, 227 for car type 12 (its roof sits high
// over a short bonnet).
constexpr int kRoofPitch = 113;
constexpr int kRoofPitchType12 = 227;
// In a two-player game split into stacked views the roof eye sits lower.
constexpr int32_t kRoofSplitDrop = Fx(0.25);
// How far the view turns toward the car's rotation each tick.
constexpr int32_t kFamilyAFollow25 = Fx(3.125 / 25);
constexpr int32_t kFamilyAFollow50 = Fx(3.125 / 50);

// Below this vertical motion (per tick at 25 ticks a second, doubled at 50) the eye rises.
constexpr int kVerticalLimit25 = -150;
constexpr int kVerticalLimit50 = -300;
constexpr int32_t kRisePerUnit = Fx(0.02);

int CarTypeOf(int nCar)
{
    const int nType = gaCarBody[nCar].nCarType;
    return nType >= 0 && nType < kCarTypes ? nType : 0;
}

int RecordCarType(const CameraView* pView)
{
    const int nType = pView->nCarCamType;
    return nType >= 0 && nType < kCarTypes ? nType : 0;
}

// The family A view's rotation for its car: the car's frame, pitched for the roof view.
void FamilyATarget(const CameraView* pView, DK_MATRIX* pOut)
{
    CarViewMatrix(pOut, CarOf(pView), false);
    const DK_VECTOR origin = {0, 0, 0};
    FfMatSetPosition(&origin, pOut);
    if (pView->nCarCamVariant == 0)
        Cameras_ResetOrientation(pOut, RecordCarType(pView) == 12 ? kRoofPitchType12 : kRoofPitch);
}

// ---- Family B: chase views (modes 0 and 3) and the view back at the car (mode 6) -----------

#define CHASE_MODE_NEAR 0
#define CHASE_MODE_FAR 3
#define CHASE_MODE_BACK 6

// The eye offsets in the view's frame: rows 0-2 the near view (one player, stacked split,
// side-by-side split), 3-5 the far view likewise, 6 the view back at the car.
constexpr std::array<DK_VECTOR, 7> kChaseOffsets = {{{0, Fx(1.5), Fx(-6.0)},
                                                     {0, Fx(1.3), Fx(-8.0)},
                                                     {0, Fx(1.5), Fx(-6.0)},
                                                     {0, Fx(2.0), Fx(-10.0)},
                                                     {0, Fx(1.9), Fx(-13.0)},
                                                     {0, Fx(2.0), Fx(-10.0)},
                                                     {0, Fx(1.0), Fx(-6.0)}}};
// The view stays while every rotation component lies this close to its target.
constexpr int32_t kChaseDeadBand = Fx(0.02);
constexpr int32_t kChaseFollow25 = Fx(1.7857 / 25);
constexpr int32_t kChaseFollow50 = Fx(1.7857 / 50);
constexpr int32_t kBounceScale = Fx(0.25);

int ChaseMode(int nMode)
{
    return nMode == CHASE_MODE_FAR || nMode == CHASE_MODE_BACK ? nMode : CHASE_MODE_NEAR;
}

int ChaseRow(int nMode)
{
    if (nMode == CHASE_MODE_BACK)
        return 6;
    int nSplit = 0;
    if (gNumberOfPlayers == 2)
        nSplit = gboSplitHorizontal ? 1 : 2;
    return nMode + nSplit;
}

int BounceLength(void)
{
    return gbo50HzMode ? 50 : 25;
}

// Up made vertical, the side level, so that the view has no roll. A forward pointing straight
// up or down has no level side: the matrix is left as it is.
void Level(DK_MATRIX* pMatrix)
{
    const DK_VECTOR forward = Row(pMatrix, 2);
    const DK_VECTOR vertical = {0, ONE, 0};
    DK_VECTOR side, up;
    FfVecCross(&side, &vertical, &forward);
    if (FfVecNormalise(&side, &side) == 0)
        return;
    FfVecCross(&up, &forward, &side);
    FfMatSetRow0(&side, pMatrix);
    FfMatSetRow1(&up, pMatrix);
}

bool RotationWithin(const DK_MATRIX* pA, const DK_MATRIX* pB, int32_t xTolerance)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
        {
            const int32_t d = FfSub(pA->m[r][c], pB->m[r][c]);
            if (d > xTolerance || d < -xTolerance)
                return false;
        }
    return true;
}

// ---- The orbit cameras --------------------------------------------------------------------

#define ORBIT_HIGH 1
#define ORBIT_NEAR 0

constexpr int32_t kOrbitHighRadius = Fx(20.0);
constexpr int32_t kOrbitHighLead = Fx(5.0);
constexpr int32_t kOrbitVelocityFollow = Fx(1.0 / 16);
constexpr int32_t kOrbitNearRadius = Fx(4.5);
constexpr int32_t kOrbitNearRadiusSpread = Fx(5.5);
constexpr int32_t kOrbitNearLowest = Fx(0.5);
constexpr int32_t kOrbitTilt = Fx(0.4);
constexpr int32_t kFarTrackDraw = Fx(7.0);

int32_t HorizontalLength(const DK_VECTOR& v)
{
    const DK_VECTOR flat = {v.x, 0, v.z};
    return FfVecLength(&flat);
}

void PlaceOrbitEye(CameraView* pView)
{
    DK_VECTOR eye = Sum(Row(Cameras_GetCarMatrix(CarOf(pView)), 3), pView->OrbitOffset);
    if (pView->nOrbitVariant == ORBIT_HIGH)
    {
        DK_VECTOR lead;
        FfVecScale(&lead, &pView->OrbitVelocity, kOrbitHighLead);
        eye = Sum(eye, lead);
    }
    FfMatSetPosition(&eye, &pView->View);
}

// ---- The TV intro camera -------------------------------------------------------------------

// The shot table: 32-byte records, little-endian. Bytes 8-9 the tilt (4096 a turn), 12 the
// height, 16 the distance, 20 the turn about the car (in turns), all 16.16; then the four
// easing limits of the tilt, height, distance and turn at bytes 24, 28, 32 and 36 of the
// shot, the last two in the first bytes of the following record, so a seventh record carries
// the sixth shot's. A shot starts at its framing and eases to the far chase view (2.0 up, 10.0
// behind) as its 3 seconds run out; a limit below 1.0 holds the framing until the share of
// time left falls to it.
#define TV_SHOTS 6
#define TV_SHOT_SIZE 32
#define TV_SHOT_ANGLE 8
#define TV_SHOT_HEIGHT 12
#define TV_SHOT_DISTANCE 16
#define TV_SHOT_TURN 20
#define TV_SHOT_LIMITS 24
#define TV_SHOT_FACTORS 4

constexpr int kTvShotTableSize = (TV_SHOTS + 1) * TV_SHOT_SIZE;
static_assert((TV_SHOTS - 1) * TV_SHOT_SIZE + TV_SHOT_LIMITS + TV_SHOT_FACTORS * 4 <=
                  kTvShotTableSize,
              "the last shot's limits lie inside the table");

struct TvShot
{
    int16_t nAngle;
    int32_t xHeight, xDistance, xTurn;
    int32_t axLimit[TV_SHOT_FACTORS]; // tilt, height, distance, turn
};

// 0 ahead looking back; 1 beside on the right; 2 and 3 low at the front corners (right, left);
// 4 and 5 high on the left and on the right, outside the lanes of a super special stage.
constexpr std::array<TvShot, TV_SHOTS> kTvShots = {{
    {128, Fx(0.8), Fx(-5.5), Fx(0.5), {Fx(0.5), Fx(0.5), Fx(0.6), Fx(1.0)}},
    {200, Fx(1.0), Fx(-7.0), Fx(0.25), {Fx(0.6), Fx(0.6), Fx(0.6), Fx(0.8)}},
    {-24, Fx(0.4), Fx(-4.5), Fx(0.375), {Fx(0.4), Fx(0.5), Fx(0.5), Fx(1.0)}},
    {-24, Fx(0.4), Fx(-4.5), Fx(0.625), {Fx(0.4), Fx(0.5), Fx(0.5), Fx(1.0)}},
    {340, Fx(1.5), Fx(-9.0), Fx(0.75), {Fx(0.5), Fx(0.5), Fx(0.5), Fx(0.7)}},
    {340, Fx(1.5), Fx(-9.0), Fx(0.25), {Fx(0.5), Fx(0.5), Fx(0.5), Fx(0.7)}},
}};

constexpr void Put16(std::array<uint8_t, kTvShotTableSize>& table, int nOffset, int16_t nValue)
{
    const auto u = static_cast<uint16_t>(nValue);
    table[nOffset] = static_cast<uint8_t>(u);
    table[nOffset + 1] = static_cast<uint8_t>(u >> 8);
}

constexpr void Put32(std::array<uint8_t, kTvShotTableSize>& table, int nOffset, int32_t nValue)
{
    const auto u = static_cast<uint32_t>(nValue);
    for (int i = 0; i < 4; ++i)
        table[nOffset + i] = static_cast<uint8_t>(u >> (8 * i));
}

constexpr std::array<uint8_t, kTvShotTableSize> BuildTvShotTable()
{
    std::array<uint8_t, kTvShotTableSize> table{};
    for (int s = 0; s < TV_SHOTS; ++s)
    {
        const TvShot& shot = kTvShots[s];
        const int nBase = s * TV_SHOT_SIZE;
        Put16(table, nBase + TV_SHOT_ANGLE, shot.nAngle);
        Put32(table, nBase + TV_SHOT_HEIGHT, shot.xHeight);
        Put32(table, nBase + TV_SHOT_DISTANCE, shot.xDistance);
        Put32(table, nBase + TV_SHOT_TURN, shot.xTurn);
        for (int f = 0; f < TV_SHOT_FACTORS; ++f)
            Put32(table, nBase + TV_SHOT_LIMITS + 4 * f, shot.axLimit[f]);
    }
    return table;
}

constexpr std::array<uint8_t, kTvShotTableSize> kTvShotTable = BuildTvShotTable();

int16_t ReadShot16(int nShot, int nOffset)
{
    const uint8_t* p = &kTvShotTable[nShot * TV_SHOT_SIZE + nOffset];
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

int32_t ReadShot32(int nShot, int nOffset)
{
    const uint8_t* p = &kTvShotTable[nShot * TV_SHOT_SIZE + nOffset];
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) |
                                (static_cast<uint32_t>(p[3]) << 24));
}

int ShotOf(const CameraView* pView)
{
    return pView->nTvShot >= 0 && pView->nTvShot < TV_SHOTS ? pView->nTvShot : 0;
}

int TvShotTicks(void)
{
    return gbo50HzMode ? 150 : 75;
}

// The easing ends at the far chase view: 2.0 up and 10.0 behind the car.
constexpr int32_t kTvRestHeight = Fx(2.0);
constexpr int32_t kTvRestDistance = Fx(10.0);
constexpr int32_t kDegreesPerTurn = Fx(360.0);

// Soft ground beside the road (mud and snow, ids 32..63; snow banks and sand, 64..79) would
// bury the low shots at the car's front corners.
constexpr int kSoftGroundFirst = 32;
constexpr int kSoftGroundLast = 79;

bool ShotSuitsGround(int nShot, int nSurface, bool boSuperSpecial)
{
    if (!boSuperSpecial && nShot >= 4)
        return false;
    const bool boLowShot = nShot == 2 || nShot == 3;
    return !(boLowShot && nSurface >= kSoftGroundFirst && nSurface <= kSoftGroundLast);
}

void PlaceTvShot(CameraView* pView, const int32_t (&axFactor)[TV_SHOT_FACTORS])
{
    const int nShot = ShotOf(pView);
    const int32_t xHeight = FfAdd(
        kTvRestHeight, FfMul(FfSub(ReadShot32(nShot, TV_SHOT_HEIGHT), kTvRestHeight), axFactor[1]));
    const int32_t xDistance =
        FfSub(FfMul(FfAdd(ReadShot32(nShot, TV_SHOT_DISTANCE), kTvRestDistance), axFactor[2]),
              kTvRestDistance);
    const int32_t xTurnDegrees =
        FfMul(FfMul(ReadShot32(nShot, TV_SHOT_TURN), kDegreesPerTurn), axFactor[3]);
    const int nTurn = static_cast<int>(static_cast<int64_t>(xTurnDegrees) * (DK_ANGLE_MASK + 1) /
                                       kDegreesPerTurn);
    const int nTilt = static_cast<int>(
        (static_cast<int64_t>(ReadShot16(nShot, TV_SHOT_ANGLE)) * axFactor[0]) >> 16);

    // The arm: tilted (a positive tilt lifts the eye and looks down), then turned about the
    // car's vertical; the eye at (0, height, distance) on it, so the car stays straight ahead.
    const int32_t ct = Cosine(nTilt), st = Sine(nTilt);
    const int32_t cy = Cosine(nTurn), sy = Sine(nTurn);
    DK_MATRIX tilt{}, turn{}, arm;
    SetRows(&tilt, {ONE, 0, 0}, {0, ct, st}, {0, FfNeg(st), ct}, {0, 0, 0});
    SetRows(&turn, {cy, 0, sy}, {0, ONE, 0}, {FfNeg(sy), 0, cy}, {0, 0, 0});
    DkMultiplyMatrix(&arm, &tilt, &turn);
    const DK_VECTOR local = {0, xHeight, xDistance};
    DK_VECTOR eye;
    DkTransformPointTransposed(&eye, &local, &arm);
    FfMatSetPosition(&eye, &arm);

    DK_MATRIX car;
    CarViewMatrix(&car, CarOf(pView), false);
    DkMultiplyMatrix(&pView->View, &arm, &car);
    SetValues(pView, 0, ONE, CamViews_TrackDrawValue(kFarTrackDraw),
              xDistance < 0 ? FfNeg(xDistance) : xDistance);
}

} // namespace

// ---- Shared -------------------------------------------------------------------------------

int32_t CamViews_TrackDrawValue(int32_t xValue)
{
    if ((GameData_GetByte(360) & 0x0F) == 8)
        return 0;
    if (GameData_IsRallySchool() && GameData_GetByte(1728) < 64)
        return 0;
    return xValue;
}

int32_t CamViews_CarEyeLift(int nCar)
{
    if (nCar < 0 || nCar >= MAX_CARS)
        return 0;
    int32_t xLift = gaSnapHeightLift[nCar][SNAP_CURRENT];
    if (GameData_IsOptionSet(OPTION_FLAT_GRAVEL))
        xLift = FfAdd(xLift, gaSnapSecondLift[nCar][SNAP_CURRENT]);
    const int nLimit = gbo50HzMode ? kVerticalLimit50 : kVerticalLimit25;
    const int nMotion = gaCarBody[nCar].StartCountdown;
    if (nMotion < nLimit)
        xLift = FfAdd(xLift, (nLimit - nMotion) * kRisePerUnit);
    return xLift;
}

// ---- Family A -------------------------------------------------------------------------------

void CarCamA_SetViewWithOffset(CameraView* pView, int nVariant)
{
    pView->nCarCamVariant = static_cast<int8_t>(nVariant != 0 ? 1 : 0);
    pView->nCarCamType = static_cast<int8_t>(CarTypeOf(CarOf(pView)));
    FamilyATarget(pView, &pView->View);
    CarCamA_FinishView(pView);
}

void CarCamA_SetView(CameraView* pView)
{
    CarCamA_SetViewWithOffset(pView, pView->nCarCamVariant);
}

void CarCamA_SetViewRotated(CameraView* pView, BOOL boHold)
{
    DK_MATRIX target;
    FamilyATarget(pView, &target);
    const int32_t xWeight = boHold ? ONE : gbo50HzMode ? kFamilyAFollow50 : kFamilyAFollow25;
    BlendMatrices(&pView->View, &pView->View, &target, ONE, xWeight, 0, 1);
    CarCamA_FinishView(pView);
}

void CarCamA_FinishView(CameraView* pView)
{
    const int nType = RecordCarType(pView);
    const bool boRoof = pView->nCarCamVariant == 0;
    DK_VECTOR offset;
    if (boRoof)
    {
        offset = {0, kRoofEye[nType].xUp, kRoofEye[nType].xForward};
        if (gNumberOfPlayers == 2 && gboSplitHorizontal && !GameData_IsRallySchool())
            offset.y = FfSub(offset.y, kRoofSplitDrop);
    }
    else
    {
        offset = {0, kBonnetUp, kBonnetForward[nType]};
    }
    PlaceEye(pView, offset);
    pView->View.m[3][1] = FfAdd(pView->View.m[3][1], CamViews_CarEyeLift(CarOf(pView)));
    SetValues(pView, boRoof ? ONE : 0, kValueBCarMounted, 0, kCarMountedLiftHeight);
}

// ---- Family B -------------------------------------------------------------------------------

void CarCamB_SetViewWithMode(CameraView* pView, int nMode)
{
    const int nCar = CarOf(pView);
    pView->nCarCamVariant = static_cast<int8_t>(ChaseMode(nMode));
    CarViewMatrix(&pView->View, nCar, pView->nCarCamVariant == CHASE_MODE_BACK);
    pView->nBounceTicks = -1;
    pView->xBounceAmplitude = 0;
    gaCarCamBData[nCar] = 0;
    CarCamB_SetViewTurned(pView);
}

void CarCamB_SetView(CameraView* pView)
{
    CarCamB_SetViewWithMode(pView, pView->nCarCamVariant);
}

void CarCamB_SetViewRotated(CameraView* pView, BOOL boHold)
{
    const int nCar = CarOf(pView);
    const bool boBack = pView->nCarCamVariant == CHASE_MODE_BACK;
    // Held, the view keeps its own rotation (already turned round when looking back); else it
    // follows the car's frame.
    DK_MATRIX target;
    if (boHold)
        target = pView->View;
    else
        CarViewMatrix(&target, nCar, boBack);
    if (boHold || boBack)
        Level(&target);
    if (!RotationWithin(&pView->View, &target, kChaseDeadBand))
        BlendMatrices(&pView->View, &pView->View, &target, ONE,
                      gbo50HzMode ? kChaseFollow50 : kChaseFollow25, 0, 1);

    if (pView->nBounceTicks >= 0)
        --pView->nBounceTicks;
    // A landing starts one bounce: the impact is taken so that it does not start another.
    if (pView->nBounceTicks < 0 && gaCarCamBData[nCar] > 0)
    {
        pView->nBounceTicks = static_cast<int16_t>(BounceLength());
        pView->xBounceAmplitude = gaCarCamBData[nCar];
        gaCarCamBData[nCar] = 0;
    }
    CarCamB_SetViewTurned(pView);
}

void CarCamB_SetViewTurned(CameraView* pView)
{
    const int nMode = ChaseMode(pView->nCarCamVariant);
    const DK_VECTOR& row = kChaseOffsets[ChaseRow(nMode)];
    DK_VECTOR offset = row;
    if (nMode == CHASE_MODE_NEAR)
    {
        // Faster, further back.
        const DK_VECTOR forward = Row(Cameras_GetCarMatrix(CarOf(pView)), 0);
        offset.z = FfSub(offset.z, FfVecDot(&forward, &gaCarBody[CarOf(pView)].Velocity));
    }
    if (pView->nBounceTicks > 0)
    {
        // One damped swing: sin(2 pi f) x f, f the share of the bounce left.
        const int32_t f = pView->nBounceTicks * ONE / BounceLength();
        const int32_t xSwing = FfMul(Sine(f >> 4), f);
        offset.y = FfSub(offset.y, FfMul(FfMul(xSwing, kBounceScale), pView->xBounceAmplitude));
    }
    PlaceEye(pView, offset);
    SetValues(pView, 0, ONE, CamViews_TrackDrawValue(FfSub(FfNeg(row.z), ONE)),
              row.z < 0 ? FfNeg(row.z) : row.z);
}

// ---- The orbit cameras ----------------------------------------------------------------------

void TvCam_PlaceRandomOrbit(CameraView* pView, int nVariant)
{
    const int nCar = CarOf(pView);
    pView->nOrbitVariant = static_cast<int8_t>(nVariant != 0 ? ORBIT_HIGH : ORBIT_NEAR);
    DK_VECTOR direction;
    int32_t xRadius;
    int32_t xTilt = 0;
    if (pView->nOrbitVariant == ORBIT_HIGH)
    {
        const DK_VECTOR up = {ONE, 2 * ONE, ONE};
        FfVecNormalise(&direction, &up);
        xRadius = kOrbitHighRadius;
        pView->OrbitVelocity = gaCarBody[nCar].Velocity;
    }
    else
    {
        xRadius = FfAdd(kOrbitNearRadius, RandomUpTo(kOrbitNearRadiusSpread));
        const int32_t x = FfSub(RandomUpTo(2 * xRadius), xRadius);
        const int32_t z = FfSub(RandomUpTo(2 * xRadius), xRadius);
        DK_VECTOR place = {x, 0, z};
        place.y = FfAdd(kOrbitNearLowest, RandomUpTo(HorizontalLength(place) / 2));
        FfVecNormalise(&direction, &place);
        xTilt = FfSub(RandomUpTo(2 * kOrbitTilt), kOrbitTilt);
        pView->OrbitVelocity = {0, 0, 0};
    }
    FfVecScale(&pView->OrbitOffset, &direction, xRadius);

    // Looking back along the direction at the car, the side level but for the tilt; the rows
    // are made square to the forward so that the view stays a true rotation.
    const DK_VECTOR forward = Negated(direction);
    DK_VECTOR side = {FfNeg(direction.z), xTilt, direction.x};
    DK_VECTOR up;
    FfVecCross(&up, &forward, &side);
    if (FfVecNormalise(&up, &up) == 0)
    {
        // Straight above the car: any level side will do.
        side = {ONE, 0, 0};
        FfVecCross(&up, &forward, &side);
        FfVecNormalise(&up, &up);
    }
    FfVecCross(&side, &up, &forward);
    SetRows(&pView->View, side, up, forward, {0, 0, 0});
    PlaceOrbitEye(pView);
    SetValues(pView, 0, ONE, CamViews_TrackDrawValue(kFarTrackDraw),
              HorizontalLength(pView->OrbitOffset));
}

void TvCam_UpdateOrbit(CameraView* pView)
{
    if (pView->nOrbitVariant == ORBIT_HIGH)
    {
        const DK_VECTOR& velocity = gaCarBody[CarOf(pView)].Velocity;
        DK_VECTOR& kept = pView->OrbitVelocity;
        kept.x = FfAdd(kept.x, FfMul(FfSub(velocity.x, kept.x), kOrbitVelocityFollow));
        kept.y = FfAdd(kept.y, FfMul(FfSub(velocity.y, kept.y), kOrbitVelocityFollow));
        kept.z = FfAdd(kept.z, FfMul(FfSub(velocity.z, kept.z), kOrbitVelocityFollow));
    }
    PlaceOrbitEye(pView);
}

// ---- The TV intro camera ---------------------------------------------------------------------

int32_t TvCam_ShapeFactor(int32_t xFactor, int32_t xLimit)
{
    if (xFactor > xLimit)
        return ONE;
    if (xLimit <= 0)
        return 0;
    if (xLimit == ONE)
        return FfMul(xFactor, xFactor);
    // g = f / L; c = (1 + cos(pi (1 - g))) / 2; the result c x c.
    const int32_t g = FfDiv(xFactor, xLimit);
    const int nAngle = FfSub(ONE, g) >> 5; // pi (1 - g): 2048 units a half turn
    const int32_t c = FfAdd(ONE, Cosine(nAngle)) / 2;
    return FfMul(c, c);
}

void TvCam_PickRandomType(CameraView* pView)
{
    const int nCar = CarOf(pView);
    const bool boSuperSpecial = IsSuperSpecialStage() != FALSE;
    const bool boAnyShot = !boSuperSpecial || GameData_IsRallySchool();
    const int nSurface = gaCarMechanics[nCar].WheelSurface[0];
    int nShot;
    do
    {
        if (boAnyShot)
            nShot = DkRand() % TV_SHOTS;
        else
            nShot = SuperSpecial_GetLaneSide(nCar) != 0 ? 5 : 4;
    } while (!ShotSuitsGround(nShot, nSurface, boSuperSpecial));
    pView->nTvShot = static_cast<int8_t>(nShot);
    pView->xTvTimer = TvShotTicks() * ONE;
    const int32_t axFactor[TV_SHOT_FACTORS] = {ONE, ONE, ONE, ONE};
    PlaceTvShot(pView, axFactor);
}

void TvCam_UpdateShake(CameraView* pView)
{
    int32_t axFactor[TV_SHOT_FACTORS] = {0, 0, 0, 0};
    if (pView->xTvTimer > 0)
    {
        const int32_t f = FfDiv(pView->xTvTimer, TvShotTicks() * ONE);
        const int nShot = ShotOf(pView);
        for (int i = 0; i < TV_SHOT_FACTORS; ++i)
            axFactor[i] = TvCam_ShapeFactor(f, ReadShot32(nShot, TV_SHOT_LIMITS + 4 * i));
        pView->xTvTimer = FfSub(pView->xTvTimer, ONE);
    }
    PlaceTvShot(pView, axFactor);
}
