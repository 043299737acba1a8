// Interpolation between ticks.
//
// The blends read only the snapshot pairs and the tick values that the critical section keeps
// still (wheel spin and steering, wheel heights and offsets, damage, the vertical-motion word,
// the knocked-over objects); everything they write (the actors' matrices, the display copies,
// the fade levels, the camera positions, the remote wheels) is read later in the same frame on
// the same thread.
#include "game/race/interp.h"

#include <bit>
#include <cstring>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_model.h"
#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/cameras.h"
#include "game/effects/sky.h"
#include "game/hud/endstage.h"
#include "game/race/attract.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/netplay.h"
#include "game/race/pertick.h"
#include "game/race/startup.h"
#include "game/vehicle/damage.h"
#include "game/vehicle/gencoll.h"
#include "game/vehicle/heightdata.h"
#include "game/vehicle/knockedover.h"
#include "game/vehicle/notmvble.h"

DK_MATRIX gaSnapCarMatrix[SNAP_RECORDS][3];
DK_MATRIX gaSnapRootMatrix[SNAP_RECORDS][2];
DK_MATRIX gaSnapPartMatrix[SNAP_RECORDS][2];
DK_VECTOR gaSnapBodyVector[SNAP_RECORDS][2];
uint8_t gaSnapFadeLevel[SNAP_RECORDS][2];
int32_t gaSnapHeightLift[SNAP_RECORDS][2];
int32_t gaSnapSecondLift[SNAP_RECORDS][2];
int32_t gaSnapImpactLift[SNAP_RECORDS][2];
int16_t gaWheelSpinAngle[SNAP_RECORDS][SNAP_WHEELS];
int32_t gaWheelReversed[SNAP_RECORDS][SNAP_WHEELS];
DK_ACTOR* gaCarWheelActors[SNAP_RECORDS][SNAP_WHEELS];
int16_t gaRemoteWheelSpin[SNAP_RECORDS];
uint8_t gaDisplayFadeLevel[SNAP_RECORDS];
DK_VECTOR gaCameraPosition[INTERP_PLAYERS];
BOOL gboInitialShadowPositionSet = FALSE;

// 0.15, 0.145, 0.13, 0.11, 0.133, 0.132, 0.15, 0.115, 0.14, 0.13, 0.15, 0.15, 0.18, 0.146.
const int32_t gaNarrowTyreOffset[NUM_CAR_TYPES] = {9830, 9502, 8519, 7208, 8716, 8650, 9830,
                                                   7536, 9175, 8519, 9830, 9830, 11796, 9568};

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int kRemoteSlots = 7;
constexpr int16_t kHalfTurn = 2048;
// 16.16 degrees to angle units: x 4096 / 360 / 65536.
constexpr int32_t kDegreesToAngle = 5760;
// A fully damaged corner leans its wheel by 5 degrees.
constexpr int32_t kWheelLean = 5 * ONE;
constexpr int32_t kRightAngle = 90 * ONE;
// The remote wheels: radius 0.25, so a distance turns them by 4 x itself in radians; above half
// a radian a frame the other face of the wheel model is shown.
constexpr int32_t kRemoteWheelTurn = 4 * ONE;
constexpr int32_t kRemoteReverseTurn = ONE / 2;
// An inactive remote slot's car is parked this far under the stage.
constexpr int32_t kParkDepth = 100 * ONE;
constexpr uint32_t kFitActorId = 6;
constexpr int kNarrowTyres = 3;
constexpr uint8_t kAttractDemoBit = 0x01;
// The night-sky step of the light.
constexpr GameOption kOptionNightSky = {37, 7};

// The double 4096 / (2 pi) / 65536 = 0x1.45f306dc9c883p-7 = kAngleMantissa / 2^59, exactly.
constexpr uint64_t kAngleMantissa = 5734161139222659ULL;
constexpr int kAngleShift = 59;
constexpr int kDoubleMantissaBits = 53;

int32_t Blend(int32_t xPrevious, int32_t xCurrent, int32_t f)
{
    return FfAdd(xPrevious, FfMul(FfSub(xCurrent, xPrevious), f));
}

DK_VECTOR BlendVector(const DK_VECTOR& previous, const DK_VECTOR& current, int32_t f)
{
    const DK_VECTOR d = {FfSub(current.x, previous.x), FfSub(current.y, previous.y),
                         FfSub(current.z, previous.z)};
    DK_VECTOR scaled;
    FfVecScale(&scaled, &d, f);
    return {FfAdd(previous.x, scaled.x), FfAdd(previous.y, scaled.y), FfAdd(previous.z, scaled.z)};
}

uint8_t BlendByte(uint8_t uPrevious, uint8_t uCurrent, int32_t f)
{
    return static_cast<uint8_t>(Blend(uPrevious * ONE, uCurrent * ONE, f) >> 16);
}

// The pair blended into the actor's matrix: rows and translation; its fourth column stays.
void BlendInto(DK_MATRIX* pOut, const DK_MATRIX pair[2], int32_t f)
{
    DK_MATRIX m;
    BlendMatrices(&m, &pair[SNAP_PREVIOUS], &pair[SNAP_CURRENT], f, f, f, 0);
    FfMatCopyTo(pOut, &m);
}

void RaiseHeight(DK_ACTOR* pActor, int32_t xLift)
{
    if (pActor != nullptr)
        pActor->Local.m[3][1] = FfAdd(pActor->Local.m[3][1], xLift);
}

DK_VECTOR Translation(const DK_MATRIX& m)
{
    return {m.m[3][0], m.m[3][1], m.m[3][2]};
}

void Rows(const DK_MATRIX& m, DK_VECTOR aRows[3])
{
    for (int r = 0; r < 3; ++r)
        FfMatGetRow(&aRows[r], &m, r);
}

void SetRotation(DK_ACTOR* pActor, int32_t x, int32_t y, int32_t z)
{
    const int16_t anAngles[3] = {static_cast<int16_t>(x), static_cast<int16_t>(y),
                                 static_cast<int16_t>(z)};
    DkSetActorRotation(pActor, anAngles);
}

int TicksPerSecond()
{
    return gbo50HzMode ? 50 : 25;
}

// The body's second height correction: the third height value of wheel 0, the bounce of the
// flat-gravel mode.
int32_t SecondHeightCorrection(const CarBody& body)
{
    return body.WheelShake[0];
}

// The remote car of record k: loaded car k's root actor (NULL: no car).
DK_ACTOR* RemoteRoot(int k)
{
    return k >= 1 && k < MAX_LOADED_CARS ? gaLoadedCar[k].paBodyDummy : nullptr;
}

void ShowLocalCar(int k, int32_t f)
{
    CarBody& body = gaCarBody[k];
    DK_ACTOR* pCar = body.paCar;
    DK_ACTOR* pRoot = body.paBodyDummy;
    DK_ACTOR* pPart = body.paSpecialActor;
    if (pCar == nullptr || pRoot == nullptr)
        return;

    // 1, 2. The ground normal; the body object and the display copies the shadows read.
    body.DisplayGroundNormal =
        BlendVector(gaSnapBodyVector[k][SNAP_PREVIOUS], gaSnapBodyVector[k][SNAP_CURRENT], f);
    BlendInto(&pCar->Local, gaSnapCarMatrix[k], f);
    Rows(pCar->Local, body.DisplayRow);
    body.DisplayPosition = Translation(pCar->Local);
    TransformPoint(body.DisplayCorner, &body.DisplayPosition, body.DisplayRow, &body.HalfSize);

    // 3. The root and the body part on it.
    BlendInto(&pRoot->Local, gaSnapRootMatrix[k], f);
    if (pPart != nullptr)
        BlendInto(&pPart->Local, gaSnapPartMatrix[k], f);

    // 4. The first height correction raises, never lowers.
    const int32_t xLift =
        Blend(gaSnapHeightLift[k][SNAP_PREVIOUS], gaSnapHeightLift[k][SNAP_CURRENT], f);
    if (xLift > 0)
    {
        RaiseHeight(pCar, xLift);
        RaiseHeight(pRoot, xLift);
    }

    // 5. The flat-gravel mode: the root bounces and the body follows the part on it.
    if (GameData_IsOptionSet(OPTION_FLAT_GRAVEL))
    {
        RaiseHeight(pRoot,
                    Blend(gaSnapSecondLift[k][SNAP_PREVIOUS], gaSnapSecondLift[k][SNAP_CURRENT], f));
        if (pPart != nullptr)
            DkMultiplyMatrix(&pCar->Local, &pPart->Local, &pRoot->Local);
    }

    // 6. The landing lift, only while the car still falls faster than the limit.
    if (body.StartCountdown < -6 * TicksPerSecond())
    {
        const int32_t xImpact =
            Blend(gaSnapImpactLift[k][SNAP_PREVIOUS], gaSnapImpactLift[k][SNAP_CURRENT], f);
        RaiseHeight(pCar, xImpact);
        RaiseHeight(pRoot, xImpact);
    }

    // 7. The half-size cars grow with the start light's scale.
    if (GameData_IsOptionSet(OPTION_HALF_SIZE))
    {
        const int32_t xStartScale = k < 2 ? gaPlayerStartScale[k] : ONE;
        const int32_t s = FfAdd(ONE / 2, FfMul(ONE / 2, xStartScale));
        const int32_t xRaise = FfMul(body.HalfSize.y, FfSub(s, ONE / 2));
        for (DK_ACTOR* pActor : {pCar, pRoot})
        {
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    pActor->Local.m[r][c] = FfMul(pActor->Local.m[r][c], s);
            RaiseHeight(pActor, xRaise);
        }
    }

    // 8, 9.
    DkMarkActorDirty(pRoot);
    gaDisplayFadeLevel[k] =
        BlendByte(gaSnapFadeLevel[k][SNAP_PREVIOUS], gaSnapFadeLevel[k][SNAP_CURRENT], f);
}

// An inactive slot's loaded car, parked out of sight under its last current placement.
void ParkRemoteCar(DK_ACTOR* pRoot, int k)
{
    DK_VECTOR at = Translation(gaSnapCarMatrix[k][SNAP_CURRENT]);
    at.y = FfSub(at.y, kParkDepth);
    FfMatSetPosition(&at, &pRoot->Local);
    DkMarkActorDirty(pRoot);
    DkUpdateActorMatrix(pRoot);
}

// The remote cars, slot 6 down to 0; with boWheels their wheels turn with the distance moved.
void ShowRemoteCars(int32_t f, bool boWheels)
{
    if (!gboNetworkGame)
        return;
    for (int s = kRemoteSlots - 1; s >= 0; --s)
    {
        const int k = s + 1;
        DK_ACTOR* pRoot = RemoteRoot(k);
        if (pRoot == nullptr)
            continue;
        if (!GameData_IsRemotePlayerActive(s))
        {
            ParkRemoteCar(pRoot, k);
            continue;
        }
        const DK_VECTOR from = Translation(pRoot->Local);
        BlendInto(&pRoot->Local, gaSnapCarMatrix[k], f);
        DkMarkActorDirty(pRoot);
        DkUpdateActorMatrix(pRoot);
        if (!boWheels)
            continue;
        const DK_VECTOR to = Translation(pRoot->Local);
        const DK_VECTOR moved = {FfSub(to.x, from.x), FfSub(to.y, from.y), FfSub(to.z, from.z)};
        DK_VECTOR forward;
        FfMatGetRow0(&forward, &pRoot->Local);
        const int32_t r = FfMul(FfVecDot(&forward, &moved), kRemoteWheelTurn);
        gaRemoteWheelSpin[k] = static_cast<int16_t>(static_cast<uint16_t>(gaRemoteWheelSpin[k]) -
                                                    static_cast<uint32_t>(Interp_RadiansToAngle(r)));
        const bool boFast = (r < 0 ? -static_cast<int64_t>(r) : r) > kRemoteReverseTurn;
        for (int w = 0; w < SNAP_WHEELS; ++w)
            gaWheelReversed[k][w] = (w == 0 || w == 2) == boFast ? 1 : 0;
        const int32_t nSpin = gaRemoteWheelSpin[k];
        for (int w = 0; w < SNAP_WHEELS; ++w)
        {
            DK_ACTOR* pWheel = gaCarWheelActors[k][w];
            if (pWheel == nullptr)
                continue;
            if (gaWheelReversed[k][w])
                SetRotation(pWheel, 0, kHalfTurn, -nSpin);
            else
                SetRotation(pWheel, 0, 0, nSpin);
        }
    }
}

// The knocked-over objects where the tick left them: they move in whole ticks.
void ShowKnockedOverObjects()
{
    const int nRecords = gnNumMovingObjects < 0                    ? 0
                         : gnNumMovingObjects > HIT_OBJECT_RECORDS ? HIT_OBJECT_RECORDS
                                                                   : gnNumMovingObjects;
    for (int i = nRecords - 1; i >= 0; --i)
        for (int nSet = HitObjects_NumSets() - 1; nSet >= 0; --nSet)
        {
            const HitObject& o = gaHitObjects[nSet][i];
            DK_ACTOR* pActor = o.pActor;
            if (pActor == nullptr)
                continue;
            // Each unit axis takes the length the actor's placement gives it.
            const int32_t axScale[3] = {pActor->Scale.x, pActor->Scale.y, pActor->Scale.z};
            for (int r = 0; r < 3; ++r)
            {
                DK_VECTOR row;
                FfVecScale(&row, &o.aRows[r], axScale[r]);
                FfMatSetRow(&row, &pActor->Local, r);
            }
            FfMatSetPosition(&o.Translation, &pActor->Local);
            DkMarkActorDirty(pActor);
        }
}

// The flat-gravel mode's wheels: turned flat by the bounce of wheel 0, nothing else set.
void PoseFlatGravelWheels(int nCars)
{
    for (int k = 0; k < nCars; ++k)
    {
        const CarBody& body = gaCarBody[k];
        const int32_t h = SecondHeightCorrection(body);
        const int32_t a =
            h >= 0 ? DK_QUARTER_TURN
                   : FfMul(FfAdd(ONE, 2 * h), kRightAngle) / kDegreesToAngle;
        for (int w = 0; w < CAR_WHEELS; ++w)
            if (body.paWheel[w] != nullptr)
                SetRotation(body.paWheel[w], a, (w == 1 || w == 3) ? kHalfTurn : 0, 0);
    }
}

// The local cars' wheels: lean by damage, steering, spin, the suspension's height and the
// narrow tyres.
void PoseWheels(int nCars)
{
    const bool boRearSteer = GameData_IsOptionSet(OPTION_SWAPPED_FRAMES) != FALSE;
    for (int k = 0; k < nCars; ++k)
    {
        const CarBody& body = gaCarBody[k];
        const CarMechanics& mech = gaCarMechanics[k];
        const int32_t o = Interp_GetHeightOffset(&body);
        const int32_t t = mech.AnalogueSteer ? mech.TargetSteerAngle : mech.SteerAngle;
        const bool boNarrow = body.TyreType == kNarrowTyres;
        // A car type outside the table shifts nothing.
        const int32_t n = boNarrow && body.nCarType >= 0 && body.nCarType < NUM_CAR_TYPES
                              ? FfMul(ONE / 2, gaNarrowTyreOffset[body.nCarType])
                              : 0;
        const DamageRecord* pDamage = body.nCarNumber >= 0 && body.nCarNumber < MAX_DAMAGE_RECORDS
                                          ? &gaDamage[body.nCarNumber]
                                          : nullptr;
        for (int w = CAR_WHEELS - 1; w >= 0; --w)
        {
            DK_ACTOR* pWheel = body.paWheel[w];
            if (pWheel == nullptr)
                continue;
            const int32_t e =
                pDamage != nullptr ? FfMul(kWheelLean, pDamage->DamageValue[w]) / kDegreesToAngle
                                   : 0;
            const bool boSteered = (w < 2) != boRearSteer;
            const int32_t nSteer = boSteered ? t : 0;
            const int32_t g = gaWheelSpinAngle[k][w];
            if (gaWheelReversed[k][w])
                SetRotation(pWheel, -e, nSteer + kHalfTurn, -g);
            else
                SetRotation(pWheel, e, nSteer, g);

            DK_VECTOR at = body.WheelRestPosition[w];
            at.x = FfAdd(at.x, body.WheelHubOffset[w][0]);
            at.y = FfAdd(at.y, FfAdd(FfAdd(body.SuspTravel[w], body.SuspFollow[w]),
                                     FfAdd(body.WheelShake[w], o)));
            at.y = FfAdd(at.y, body.WheelHubOffset[w][1]);
            if (boNarrow)
            {
                DK_VECTOR axle;
                FfMatGetRow2(&axle, &pWheel->Local);
                FfVecScale(&axle, &axle, ONE / 2);
                FfMatSetRow2(&axle, &pWheel->Local);
                at.z = (w == 0 || w == 2) ? FfAdd(at.z, n) : FfSub(at.z, n);
            }
            FfMatSetPosition(&at, &pWheel->Local);
            DkMarkActorDirty(pWheel);
        }
    }
}

// The first frame after the first tick: the display copies take the simulated placement.
void SetInitialShadowPosition(int nCars)
{
    DkLog("Setting initial shadow position");
    for (int k = 0; k < nCars; ++k)
    {
        CarBody& body = gaCarBody[k];
        body.DisplayGroundNormal = body.GroundNormal;
        body.DisplayPosition = body.Position;
        body.DisplayRow[0] = body.OrientRow0;
        body.DisplayRow[1] = body.UpAxis;
        body.DisplayRow[2] = body.OrientRow2;
        for (int i = 0; i < CAR_POINTS; ++i)
            body.DisplayCorner[i] = body.ContactPoint[i];
    }
    gboInitialShadowPositionSet = TRUE;
}

int LocalCars()
{
    return gnNumMechCars < 0 ? 0 : gnNumMechCars > MAX_CARS ? MAX_CARS : gnNumMechCars;
}

} // namespace

void Interp_ClearAll(void)
{
    std::memset(gaSnapCarMatrix, 0, sizeof(gaSnapCarMatrix));
    std::memset(gaSnapRootMatrix, 0, sizeof(gaSnapRootMatrix));
    std::memset(gaSnapPartMatrix, 0, sizeof(gaSnapPartMatrix));
    std::memset(gaSnapBodyVector, 0, sizeof(gaSnapBodyVector));
    std::memset(gaSnapFadeLevel, 0, sizeof(gaSnapFadeLevel));
    std::memset(gaSnapHeightLift, 0, sizeof(gaSnapHeightLift));
    std::memset(gaSnapSecondLift, 0, sizeof(gaSnapSecondLift));
    std::memset(gaSnapImpactLift, 0, sizeof(gaSnapImpactLift));
    std::memset(gaWheelSpinAngle, 0, sizeof(gaWheelSpinAngle));
    std::memset(gaWheelReversed, 0, sizeof(gaWheelReversed));
    std::memset(gaRemoteWheelSpin, 0, sizeof(gaRemoteWheelSpin));
    std::memset(gaDisplayFadeLevel, 0, sizeof(gaDisplayFadeLevel));
    std::memset(gaCameraPosition, 0, sizeof(gaCameraPosition));
}

void InterpolateSceneForDisplay(int32_t xFraction)
{
    const int32_t f = xFraction;
    const int nCars = LocalCars();

    // 1. A reset-rotation word can only come in with a replay's snapshot.
    CarMechanics& first = gaCarMechanics[0];
    if (first.ResetRotation != 0)
    {
        if (gaCarBody[0].paCar != nullptr)
            SetRotation(gaCarBody[0].paCar, 0, 0, 0);
        first.ResetRotation = 0;
    }

    // 2, 3, 4. The local cars, the remote cars, the knocked-over objects.
    for (int k = nCars - 1; k >= 0; --k)
        ShowLocalCar(k, f);
    ShowRemoteCars(f, true);
    ShowKnockedOverObjects();

    // 5, 6.
    for (int k = 0; k < nCars; ++k)
        if (gaCarBody[k].paCar != nullptr)
            DkMarkActorDirty(gaCarBody[k].paCar);
    if (GameData_IsOptionSet(OPTION_FLAT_GRAVEL))
        PoseFlatGravelWheels(nCars);
    else
        PoseWheels(nCars);

    // 7. The cameras.
    const int nPlayers = gNumberOfPlayers == 2 ? 2 : 1;
    for (int p = 0; p < nPlayers; ++p)
        Cameras_GetBlendedMatrix(p, f);
    for (int p = 0; p < nPlayers; ++p)
        if (gapPlayerCamera[p] != nullptr)
            gaCameraPosition[p] = Translation(gapPlayerCamera[p]->Local);

    // 8 to 11. What else moves between ticks.
    for (int p = 0; p < nPlayers; ++p)
        MovingObjects_PlaceOnGround(f);
    if (GetGameState() == GAME_STATE_END_STAGE)
        EndStage_InterpolateTableScroll(f);
    if ((GameData_GetByte(GD_SESSION_FLAGS) & kAttractDemoBit) != 0)
        MessageRoll_SetEntrancePosition(f);
    if (GameData_IsOptionSet(kOptionNightSky))
        Sky_InterpolateLight(f);

    // 12.
    if (!gboInitialShadowPositionSet && gboMechanicsTickDone)
        SetInitialShadowPosition(nCars);
}

void InterpolateRemoteCars(int32_t xFraction)
{
    ShowRemoteCars(xFraction, false);
}

void RemoteCar_FitToGround(int nRecord)
{
    DK_ACTOR* pRoot = RemoteRoot(nRecord);
    if (pRoot == nullptr)
        return;
    const DK_ACTOR* pBox = DkFindActorById(pRoot->pChild, kFitActorId);
    if (pBox == nullptr || pBox->uType != DK_ACTOR_MODEL || pBox->pObject == nullptr)
        return;
    DK_VECTOR low, high;
    if (!DkGetModelBounds(static_cast<const DK_MODEL*>(pBox->pObject), &low, &high))
        return;
    const int32_t axScaled[3] = {FfMul(FfSub(high.x, low.x), pBox->Scale.x),
                                 FfMul(FfSub(high.y, low.y), pBox->Scale.y),
                                 FfMul(FfSub(high.z, low.z), pBox->Scale.z)};
    if (axScaled[0] == 0 || axScaled[1] == 0 || axScaled[2] == 0)
        return;
    const DK_VECTOR half = {axScaled[0] / 2, axScaled[1] / 2, axScaled[2] / 2};

    DK_MATRIX& current = gaSnapCarMatrix[nRecord][SNAP_CURRENT];
    const DK_VECTOR centre = Translation(current);
    DK_VECTOR aRows[3];
    Rows(current, aRows);
    DK_VECTOR aCorners[8];
    TransformPoint(aCorners, &centre, aRows, &half);
    const int32_t xLift = RemoteCar_GroundLift(&centre, &current, aCorners);
    if (xLift >= 0)
        current.m[3][1] = FfAdd(current.m[3][1], xLift);
}

int32_t RemoteCar_GroundLift(const DK_VECTOR* pPosition, const DK_MATRIX* pMatrix,
                             const DK_VECTOR aCorners[8])
{
    // A fresh cache stays -1 when no triangle lies under the point; the normal stays 0 then.
    int16_t nCache = -1;
    int16_t nSurface = 0;
    DK_VECTOR n = {0, 0, 0};
    const int32_t h = FindHeightOnTrack(pPosition, &n, &nSurface, &nCache, 0);
    FfVecNormalise(&n, &n);
    if (nCache < 0 || n.y == 0)
        return 0;

    // Down, in the box's own axes, picks the corner facing the ground.
    const DK_VECTOR down = {FfNeg(n.x), FfNeg(n.y), FfNeg(n.z)};
    DK_VECTOR local;
    DkTransformPoint(&local, &down, pMatrix);
    const int nCorner = (local.y >= 0 ? 4 : 0) + (local.x < 0 ? 2 : 0) + (local.z < 0 ? 1 : 0);
    const DK_VECTOR& corner = aCorners[nCorner];

    const DK_VECTOR gap = {FfSub(pPosition->x, corner.x), FfSub(h, corner.y),
                           FfSub(pPosition->z, corner.z)};
    return FfDiv(FfVecDot(&gap, &n), n.y);
}

int32_t Interp_GetHeightOffset(const CarBody* pBody)
{
    if (pBody == nullptr || GameData_IsOptionSet(OPTION_HALF_SIZE))
        return 0;
    if (pBody->nCarNumber < 0 || pBody->nCarNumber >= MAX_CARS)
        return 0;
    const int nLoaded = gaCarIndexByDamageSlot[pBody->nCarNumber];
    if (nLoaded < 0 || nLoaded >= MAX_LOADED_CARS)
        return 0;
    return FfSub(gaLoadedCar[nLoaded].xHalfWheelRadius, pBody->HalfSize.y);
}

int32_t Interp_RadiansToAngle(int32_t xRadians)
{
    // The product with the constant as a double gives: the exact product, rounded to the
    // double's 53 bits (to nearest, ties to even), then truncated.
    const uint64_t uMagnitude =
        xRadians < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(xRadians)) : xRadians;
    unsigned __int128 uProduct = static_cast<unsigned __int128>(uMagnitude) * kAngleMantissa;
    const uint64_t uHigh = static_cast<uint64_t>(uProduct >> 64);
    const int nBits = uHigh != 0 ? 128 - std::countl_zero(uHigh)
                                 : 64 - std::countl_zero(static_cast<uint64_t>(uProduct));
    if (nBits > kDoubleMantissaBits)
    {
        const int nDrop = nBits - kDoubleMantissaBits;
        const unsigned __int128 uUnit = static_cast<unsigned __int128>(1) << nDrop;
        const unsigned __int128 uRest = uProduct & (uUnit - 1);
        const unsigned __int128 uHalf = uUnit >> 1;
        uProduct -= uRest;
        if (uRest > uHalf || (uRest == uHalf && (uProduct & uUnit) != 0))
            uProduct += uUnit;
    }
    const int32_t nAngle = static_cast<int32_t>(uProduct >> kAngleShift);
    return xRadians < 0 ? -nAngle : nAngle;
}
