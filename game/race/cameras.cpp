#include "game/race/cameras.h"

#include <algorithm>
#include <cstdlib>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_rand.h"
#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/display/2dinit.h"
#include "game/effects/wchhhh.h"
#include "game/effects/weathsnd.h"
#include "game/race/camviews.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/gmhndlr.h"
#include "game/race/headdk.h"
#include "game/race/interp.h"
#include "game/race/startup.h"
#include "game/race/superspecial.h"
#include "game/race/trackcam.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/heightdata.h"

PlayerView gaPlayerView[CAMERA_PLAYERS];
CameraView gaCameraViews[CAMERA_RECORDS];
CameraDirector gaCameraDirector[CAMERA_PLAYERS];
CameraFrameView gaCameraFrameView[CAMERA_PLAYERS];
BOOL gboSplitHorizontal = FALSE;

namespace
{
constexpr int32_t ONE = DK_FIXED_ONE;

// A blend lasts one second, two when a track-side camera is in it.
constexpr int kBlendTicks = 25;
constexpr int kTrackBlendTicks = 50;
// The director: a track camera counts within 75.0 of the car; a car camera is held at least
// three seconds before a cut to a track camera; one cut in five from a track camera goes to a
// car camera.
constexpr int32_t kDirectorRange = 75 * ONE;
constexpr int kDirectorHoldTicks = 75;
// The ground lift keeps the eye 1.0 above the ground; it rises at once and sinks back by
// 23.75/25 of the gap a step at 25 ticks a second (23.75/50 at 50).
constexpr int32_t kGroundClearance = ONE;
constexpr int32_t kLiftFall = 62259; // 0.95
// The projection: the horizontal and vertical scales by the field-of-view value D.
constexpr int32_t kFovScale = 161219;        // 2.46
constexpr int32_t kFovScaleX = 74711;        // 1.14
constexpr int32_t kFovScaleY = 178913;       // 2.73
constexpr int32_t kDirectorFarScale = 52429; // 0.8
// The culling order: counter-clockwise faces are culled, clockwise in mirror mode.
constexpr uint32_t kCullClockwise = 2;
constexpr uint32_t kCullCounterClockwise = 3;
// The clip and horizon distances by the detail level 0..6.
constexpr int32_t kDetailScale[7] = {ONE / 2, 3 * ONE / 4, ONE, 183501, 4 * ONE, 4 * ONE, 4 * ONE};
// The stored choice, bits 2-6 of the player record's camera byte: codes 0 to 4.
constexpr int kChoiceShift = 2;
constexpr uint8_t kChoiceMask = 0x1F << kChoiceShift;
constexpr int kChoiceTypes[5] = {CAMERA_TYPE_CHASE_NEAR, CAMERA_TYPE_CHASE_FAR, CAMERA_TYPE_ROOF,
                                 CAMERA_TYPE_BONNET, CAMERA_TYPE_IN_CAR};

constexpr GameOption OPTION_RESTRICTED_CAMERAS = {37, 2};
constexpr GameOption OPTION_MIRROR_MODE = {37, 5};
constexpr GameOption OPTION_NO_IN_CAR_VIEW = {38, 0};

// The detail level the clip distances were last scaled for (-1: none yet).
int gnScaledDetail = -1;
int gnScaledCountry = -1;

int RateScale()
{
    return gbo50HzMode ? 2 : 1;
}

int ClampPlayer(int nPlayer)
{
    return nPlayer >= 0 && nPlayer < CAMERA_PLAYERS ? nPlayer : -1;
}

CameraView& ActiveRecord(int nPlayer)
{
    return gaCameraViews[2 * nPlayer + (gaCameraDirector[nPlayer].nActive ? 0 : 1)];
}

CameraView& OtherRecord(int nPlayer)
{
    return gaCameraViews[2 * nPlayer + (gaCameraDirector[nPlayer].nActive ? 1 : 0)];
}

DK_VECTOR CarPosition(int nCar)
{
    DK_VECTOR position;
    FfMatGetPosition(&position, Cameras_GetCarMatrix(nCar));
    return position;
}

const CarBody* Body(int nCar)
{
    return nCar >= 0 && nCar < MAX_CARS ? &gaCarBody[nCar] : nullptr;
}

// The chase views hold their own rotation while the car rolls over or the finish holds it.
BOOL ChaseHold(const CameraView& view)
{
    const CarBody* pBody = Body(view.nCar);
    const bool boRolling = pBody != nullptr && pBody->Rolling != 0;
    const bool boFinished = view.nPlayer < 2 && gaStartHold[view.nPlayer] < START_HOLD_TICKS;
    return boRolling || boFinished ? TRUE : FALSE;
}

// The car-mounted and in-car views take the car's rotation at once while it rolls over or waits
// to be put back on the road.
BOOL MountedHold(const CameraView& view)
{
    const CarBody* pBody = Body(view.nCar);
    return pBody != nullptr && (pBody->Rolling != 0 || pBody->NeedsRescue != 0) ? TRUE : FALSE;
}

void NotifyViewChange(int nPlayer, int nOldType, int nNewType)
{
    SurfaceNoise_OnViewChange(nPlayer, nNewType);
    WeatherNoise_OnViewChange(nOldType, nNewType);
}

// The placement that starts a type on a record.
void StartType(CameraView& view, int nType, int nTrackCamera)
{
    view.nType = nType;
    switch (nType)
    {
        case CAMERA_TYPE_BONNET:
            CarCamA_SetViewWithOffset(&view, 1);
            break;
        case CAMERA_TYPE_ROOF:
            CarCamA_SetViewWithOffset(&view, 0);
            break;
        case CAMERA_TYPE_IN_CAR:
        {
            const CarBody* pBody = Body(view.nCar);
            HeadCam_Start(&view, pBody != nullptr ? pBody->nCarType : 0);
            break;
        }
        case CAMERA_TYPE_CHASE_NEAR:
            CarCamB_SetViewWithMode(&view, 0);
            break;
        case CAMERA_TYPE_CHASE_FAR:
            CarCamB_SetViewWithMode(&view, 3);
            break;
        case CAMERA_TYPE_ORBIT_HIGH:
            TvCam_PlaceRandomOrbit(&view, 1);
            break;
        case CAMERA_TYPE_TV:
            TvCam_PickRandomType(&view);
            break;
        case CAMERA_TYPE_ORBIT:
            TvCam_PlaceRandomOrbit(&view, 0);
            break;
        case CAMERA_TYPE_LOOK_BACK:
            CarCamB_SetViewWithMode(&view, 6);
            break;
        case CAMERA_TYPE_TRACK:
        {
            view.nTrackCamera = static_cast<int16_t>(nTrackCamera);
            const DK_VECTOR car = CarPosition(view.nCar);
            TrackCam_AttachFixed(&view, &car);
            break;
        }
        default:
            break;
    }
}

// What a record's type does when it is left, and when it is entered.
void LeaveType(const CameraView& view)
{
    if (view.nType == CAMERA_TYPE_IN_CAR)
        HeadCam_Stop(view.nPlayer);
    else if (view.nType == CAMERA_TYPE_BONNET || view.nType == CAMERA_TYPE_ROOF)
        HeadCam_SetDriverColours(view.nPlayer, 0, 1);
}

void EnterType(const CameraView& view)
{
    if (view.nType == CAMERA_TYPE_BONNET || view.nType == CAMERA_TYPE_ROOF)
        HeadCam_SetDriverColours(view.nPlayer, 0, 0);
}

void TickType(CameraView& view)
{
    switch (view.nType)
    {
        case CAMERA_TYPE_BONNET:
        case CAMERA_TYPE_ROOF:
            CarCamA_SetViewRotated(&view, MountedHold(view));
            break;
        case CAMERA_TYPE_IN_CAR:
            HeadCam_Update(&view, MountedHold(view));
            break;
        case CAMERA_TYPE_CHASE_NEAR:
        case CAMERA_TYPE_CHASE_FAR:
        case CAMERA_TYPE_LOOK_BACK:
            CarCamB_SetViewRotated(&view, ChaseHold(view));
            break;
        case CAMERA_TYPE_ORBIT_HIGH:
        case CAMERA_TYPE_ORBIT:
            TvCam_UpdateOrbit(&view);
            break;
        case CAMERA_TYPE_TV:
            TvCam_UpdateShake(&view);
            break;
        case CAMERA_TYPE_TRACK:
        {
            const DK_VECTOR car = CarPosition(view.nCar);
            TrackCam_AttachMoving(&view, &car);
            break;
        }
        default:
            break;
    }
}

void FinishType(CameraView& view)
{
    switch (view.nType)
    {
        case CAMERA_TYPE_BONNET:
        case CAMERA_TYPE_ROOF:
            CarCamA_FinishView(&view);
            break;
        case CAMERA_TYPE_CHASE_NEAR:
        case CAMERA_TYPE_CHASE_FAR:
        case CAMERA_TYPE_LOOK_BACK:
            CarCamB_SetViewTurned(&view);
            break;
        case CAMERA_TYPE_TRACK:
        {
            const DK_VECTOR car = CarPosition(view.nCar);
            TrackCam_Aim(&view, &car);
            break;
        }
        default:
            break;
    }
}

void ReplaceType(CameraView& view)
{
    switch (view.nType)
    {
        case CAMERA_TYPE_BONNET:
        case CAMERA_TYPE_ROOF:
            CarCamA_SetView(&view);
            break;
        case CAMERA_TYPE_CHASE_NEAR:
        case CAMERA_TYPE_CHASE_FAR:
        case CAMERA_TYPE_LOOK_BACK:
            CarCamB_SetView(&view);
            break;
        case CAMERA_TYPE_TRACK:
        {
            const int nNearest = TrackCam_FindNearest(view.nCar, nullptr);
            if (nNearest >= 0)
                view.nTrackCamera = static_cast<int16_t>(nNearest);
            const DK_VECTOR car = CarPosition(view.nCar);
            TrackCam_AttachStatic(&view, &car);
            break;
        }
        default:
            break;
    }
}

int32_t Lerp(int32_t a, int32_t b, int32_t xWeight)
{
    return FfAdd(a, FfMul(FfSub(b, a), xWeight));
}

// The blend of two records by the weight of the second: the matrix and the five view values.
void BlendRecords(CameraView* pOut, const CameraView& from, const CameraView& to, int32_t xWeight)
{
    CameraView out = to;
    BlendMatrices(&out.View, &from.View, &to.View, xWeight, xWeight, xWeight, 1);
    out.xLift = Lerp(from.xLift, to.xLift, xWeight);
    out.xValueB = Lerp(from.xValueB, to.xValueB, xWeight);
    out.xTrackDraw = Lerp(from.xTrackDraw, to.xTrackDraw, xWeight);
    out.xFieldOfView = Lerp(from.xFieldOfView, to.xFieldOfView, xWeight);
    out.xLiftHeight = Lerp(from.xLiftHeight, to.xLiftHeight, xWeight);
    *pOut = out;
}

// The director's cuts: to a car camera (orbit or look-back, even chance), or to a track camera.
void CutToCarCamera(int nPlayer)
{
    CameraDirector& d = gaCameraDirector[nPlayer];
    const int nType = (DkRand() & 1) != 0 ? CAMERA_TYPE_LOOK_BACK : CAMERA_TYPE_ORBIT;
    d.nTicksSinceCut = 0;
    Cameras_SetMode(nPlayer, nType, GameData_IsOptionSet(OPTION_DIRECTOR_BLENDS));
}

void CutToTrackCamera(int nPlayer, int nCamera)
{
    Cameras_SetMode(nPlayer, CAMERA_TYPE_TRACK, GameData_IsOptionSet(OPTION_DIRECTOR_BLENDS),
                    nCamera);
}

// The track camera nearest the followed car that the director may cut to, or -1. While a cut to
// the track cameras is asked for (the tick count negative) any camera counts; otherwise only one
// within 75.0 of the car.
int DirectorNearest(int nCar, int nTicksSinceCut)
{
    const int nNearest = TrackCam_FindNearest(nCar, nullptr);
    if (nNearest < 0 || nTicksSinceCut < 0)
        return nNearest;
    DK_VECTOR point;
    if (!TrackCam_GetPoint(nNearest, &point))
        return -1;
    const DK_VECTOR car = CarPosition(nCar);
    const int64_t dx = static_cast<int64_t>(point.x) - car.x;
    const int64_t dz = static_cast<int64_t>(point.z) - car.z;
    const int64_t nRange = kDirectorRange;
    if (std::llabs(dx) > nRange || std::llabs(dz) > nRange || dx * dx + dz * dz > nRange * nRange)
        return -1;
    return nNearest;
}

void RunDirector(int nPlayer)
{
    CameraDirector& d = gaCameraDirector[nPlayer];
    const CameraView& active = ActiveRecord(nPlayer);
    const int nHold = kDirectorHoldTicks * RateScale();
    const int nNearest = DirectorNearest(active.nCar, d.nTicksSinceCut);
    if (active.nType != CAMERA_TYPE_TRACK && d.nTicksSinceCut >= 0 && d.nTicksSinceCut < nHold)
        ++d.nTicksSinceCut;
    if (nNearest != d.nLastNearest)
    {
        if (active.nType == CAMERA_TYPE_TRACK)
        {
            if (nNearest < 0)
                CutToCarCamera(nPlayer);
            else if (nNearest != active.nTrackCamera)
            {
                // One cut in five goes to a car camera.
                if (d.nTicksSinceCut >= 0 && DkRand() < (DK_RAND_MAX + 1) / 5)
                    CutToCarCamera(nPlayer);
                else
                    CutToTrackCamera(nPlayer, nNearest);
            }
        }
        else if (nNearest >= 0)
        {
            // A car camera is held its time before the cut; until then the camera in range
            // stays new, so the cut comes as soon as the time is up.
            if (d.nTicksSinceCut >= 0 && d.nTicksSinceCut < nHold)
                return;
            CutToTrackCamera(nPlayer, nNearest);
        }
    }
    d.nLastNearest = static_cast<int16_t>(nNearest);
}

// The eye lifted clear of the ground under it, turned back toward the point it looked at. The
// lift sinks back slowly; it rises at once.
void LiftView(int nPlayer, DK_MATRIX* pView, const CameraView& view)
{
    CameraDirector& d = gaCameraDirector[nPlayer];
    DK_VECTOR eye;
    FfMatGetPosition(&eye, pView);
    DK_VECTOR normal{0, ONE, 0};
    int16_t nSurface = 0;
    int16_t nTriangle = -1;
    const int32_t xGround = FindHeightOnTrack(&eye, &normal, &nSurface, &nTriangle, eye.y);
    int32_t xLift = FfSub(FfAdd(xGround, kGroundClearance), eye.y);
    if (xLift < 0)
        xLift = 0;
    if (xLift < d.xGroundLift)
    {
        const int32_t xFall = FfMul(FfSub(d.xGroundLift, xLift), kLiftFall) / RateScale();
        xLift = FfSub(d.xGroundLift, xFall);
    }
    d.xGroundLift = xLift;
    if (xLift <= 0)
        return;
    if (IsSuperSpecialStage() && !GameData_IsRallySchool() &&
        GetGameState() != GAME_STATE_END_STAGE)
        return;
    const int32_t xRise = FfMul(view.xLift, xLift);
    if (xRise == 0)
        return;
    DK_VECTOR forward;
    FfMatGetRow2(&forward, pView);
    DK_VECTOR target;
    FfVecScale(&target, &forward, view.xLiftHeight);
    target = {FfAdd(eye.x, target.x), FfAdd(eye.y, target.y), FfAdd(eye.z, target.z)};
    eye.y = FfAdd(eye.y, xRise);
    FfMatSetPosition(&eye, pView);
    if (view.xLiftHeight == 0)
        return;
    DK_VECTOR look = {FfSub(target.x, eye.x), FfSub(target.y, eye.y), FfSub(target.z, eye.z)};
    FfVecNormalise(&look, &look);
    DK_VECTOR side = {look.z, 0, FfNeg(look.x)};
    FfVecNormalise(&side, &side);
    DK_VECTOR up;
    FfVecCross(&up, &look, &side);
    FfVecNormalise(&up, &up);
    FfMatSetRow0(&side, pView);
    FfMatSetRow1(&up, pView);
    FfMatSetRow2(&look, pView);
}

// The clip and horizon distances for the detail level, once per change; on the stages of
// country 1 never beyond the stage's own.
void ScaleClipDistances()
{
    const int nDetail = std::min<int>(GameData_GetByte(GD_OBJECT_PRIORITY), 6);
    const int nCountry = GameData_GetByte(GD_STAGE_SELECTION) & 0x0F;
    if (nDetail == gnScaledDetail && nCountry == gnScaledCountry)
        return;
    gnScaledDetail = nDetail;
    gnScaledCountry = nCountry;
    int32_t xScale = kDetailScale[nDetail];
    if (nCountry == 1)
        xScale = std::min(xScale, ONE);
    gxObjectClipDistance = FfMul(gxLoadedObjectClipDistance, xScale);
    gxHorizonDistance = FfMul(gxLoadedHorizonDistance, xScale);
}

BOOL IsPlayer(int nPlayer)
{
    return ClampPlayer(nPlayer) >= 0 ? TRUE : FALSE;
}

} // namespace

namespace
{
DK_VECTOR BlendRow(const DK_MATRIX* pFrom, const DK_MATRIX* pTo, int nRow, int32_t xWeight)
{
    DK_VECTOR a, b, d;
    FfMatGetRow(&a, pFrom, nRow);
    FfMatGetRow(&b, pTo, nRow);
    const DK_VECTOR diff = {FfSub(b.x, a.x), FfSub(b.y, a.y), FfSub(b.z, a.z)};
    FfVecScale(&d, &diff, xWeight);
    return {FfAdd(a.x, d.x), FfAdd(a.y, d.y), FfAdd(a.z, d.z)};
}
} // namespace

void BlendMatrices(DK_MATRIX* pOut, const DK_MATRIX* pFrom, const DK_MATRIX* pTo,
                   int32_t xPositionWeight, int32_t xRotationWeight, int32_t, int nMode)
{
    // The rows are worked on copies, so pOut may be either input.
    const DK_MATRIX from = *pFrom;
    const DK_MATRIX to = *pTo;
    *pOut = to;
    const DK_VECTOR position = BlendRow(&from, &to, 3, xPositionWeight);
    DK_VECTOR up = BlendRow(&from, &to, 1, xRotationWeight);
    FfVecNormalise(&up, &up);
    DK_VECTOR side, forward;
    if (nMode == 0)
    {
        // Side and up: forward = side x up, then the side made square to both.
        side = BlendRow(&from, &to, 0, xRotationWeight);
        FfVecCross(&forward, &side, &up);
        FfVecNormalise(&forward, &forward);
        FfVecCross(&side, &up, &forward);
    }
    else
    {
        // Forward and up: side = up x forward, then the forward made square to both.
        forward = BlendRow(&from, &to, 2, xRotationWeight);
        FfVecCross(&side, &up, &forward);
        FfVecNormalise(&side, &side);
        FfVecCross(&forward, &side, &up);
    }
    FfMatSetRow0(&side, pOut);
    FfMatSetRow1(&up, pOut);
    FfMatSetRow2(&forward, pOut);
    FfMatSetPosition(&position, pOut);
}

const DK_MATRIX* Cameras_GetCarMatrix(int nCar)
{
    if (nCar < 0 || nCar >= SNAP_RECORDS)
        nCar = 0;
    return &gaSnapCarMatrix[nCar][SNAP_CURRENT];
}

int32_t Cameras_BlendWeight(int nTicksLeft, int nLength)
{
    if (nLength <= 0)
        return ONE;
    const int32_t xF =
        ONE - static_cast<int32_t>((static_cast<int64_t>(nTicksLeft) << 16) / nLength);
    const int32_t xCos = gaSinTable[((xF * 2048 >> 16) + 1024) & DK_ANGLE_MASK];
    const int32_t xC = (ONE + xCos) / 2;
    return ONE - FfMul(xC, xC);
}

namespace
{
// Every record numbered and empty, every player without a blend, director or lift.
void ResetRecords()
{
    for (int i = 0; i < CAMERA_RECORDS; ++i)
    {
        CameraView& v = gaCameraViews[i];
        v = CameraView{};
        v.nIndex = static_cast<uint8_t>(i);
        v.nPlayer = static_cast<uint8_t>(i / 2);
        v.nCar = static_cast<uint8_t>(i / 2);
        v.nBounceTicks = -1;
        DkIdentityMatrix(&v.View);
    }
    for (int p = 0; p < CAMERA_PLAYERS; ++p)
    {
        CameraDirector& d = gaCameraDirector[p];
        d = CameraDirector{};
        d.nBlendTicks = -1;
        d.nLastNearest = -2;
        d.Previous = gaCameraViews[2 * p + 1];
        gaPlayerView[p].nCameraType = CAMERA_TYPE_NONE;
        gaPlayerView[p].View = gaCameraViews[2 * p + 1];
        gaCameraFrameView[p] = CameraFrameView{};
    }
    gnScaledDetail = -1;
    gnScaledCountry = -1;
}
} // namespace

void Cameras_ResetForTests(void)
{
    ResetRecords();
    gboSplitHorizontal = FALSE;
}

void Cameras_Init(void)
{
    ResetRecords();
    const int nPlayers = std::clamp<int>(gNumberOfPlayers, 1, CAMERA_PLAYERS);
    for (int p = 0; p < nPlayers; ++p)
    {
        if (gapPlayerCamera[p] == nullptr)
            gapPlayerCamera[p] = DkCreateCamera(nullptr, nullptr, nullptr, DkGetWorldActor());
        Cameras_SetMode(p, CAMERA_TYPE_CHASE_NEAR, FALSE);
        Cameras_Update(p);
    }
}

void Cameras_SetMode(int nPlayer, int nType, BOOL boBlend, int nTrackCamera)
{
    if (!IsPlayer(nPlayer) || nType < 0 || nType >= CAMERA_TYPES ||
        gaPlayerView[nPlayer].nCameraType == CAMERA_TYPE_BLEND)
        return;
    CameraDirector& d = gaCameraDirector[nPlayer];
    CameraView& active = ActiveRecord(nPlayer);
    const int nOldType = active.nType;
    if (nOldType == CAMERA_TYPE_IN_CAR || nType == CAMERA_TYPE_IN_CAR)
        boBlend = FALSE;
    if (!boBlend)
    {
        LeaveType(active);
        StartType(active, nType, nTrackCamera);
        EnterType(active);
        d.boViewChanged = TRUE;
        gaPlayerView[nPlayer].nCameraType = nType;
        NotifyViewChange(nPlayer, nOldType, nType);
        return;
    }
    CameraView& other = OtherRecord(nPlayer);
    const uint8_t nIndex = other.nIndex;
    other = active;
    other.nIndex = nIndex;
    StartType(other, nType, nTrackCamera);
    const bool boTrack = nOldType == CAMERA_TYPE_TRACK || nType == CAMERA_TYPE_TRACK;
    d.nBlendLength = static_cast<int16_t>((boTrack ? kTrackBlendTicks : kBlendTicks) * RateScale());
    d.nBlendTicks = d.nBlendLength;
    gaPlayerView[nPlayer].nCameraType = CAMERA_TYPE_BLEND;
}

namespace
{
// The types the change-view key steps through.
bool IsAllowedType(int nType)
{
    if (GameData_IsOptionSet(OPTION_RESTRICTED_CAMERAS))
        return nType == CAMERA_TYPE_CHASE_NEAR || nType == CAMERA_TYPE_CHASE_FAR ||
               nType == CAMERA_TYPE_ORBIT_HIGH;
    switch (nType)
    {
        case CAMERA_TYPE_BONNET:
        case CAMERA_TYPE_ROOF:
        case CAMERA_TYPE_CHASE_NEAR:
        case CAMERA_TYPE_CHASE_FAR:
            return true;
        case CAMERA_TYPE_IN_CAR:
            return !gboMediumDetailCar != 0 && !GameData_IsOptionSet(OPTION_NO_IN_CAR_VIEW);
        default:
            return false;
    }
}

// The record that keeps the player's camera choice: the driver's own in a game of turns.
int ChoicePlayer(int nPlayer)
{
    return IsAlternatingGame() ? gnCurrentPlayer : nPlayer;
}
} // namespace

void Cameras_NextMode(int nPlayer)
{
    if (!IsPlayer(nPlayer))
        return;
    const int nType = gaPlayerView[nPlayer].nCameraType;
    if (nType == CAMERA_TYPE_TV || nType == CAMERA_TYPE_BLEND)
        return;
    int nNext = nType;
    for (int k = 1; k <= CAMERA_TYPES; ++k)
    {
        const int nCandidate = (nType + k) % CAMERA_TYPES;
        if (IsAllowedType(nCandidate))
        {
            nNext = nCandidate;
            break;
        }
    }
    Cameras_SetMode(nPlayer, nNext, TRUE);
    const int* pCode = std::find(std::begin(kChoiceTypes), std::end(kChoiceTypes), nNext);
    uint8_t* pRecord = GameData_GetPlayerInfoForWrite(ChoicePlayer(nPlayer));
    if (pCode != std::end(kChoiceTypes) && pRecord != nullptr)
    {
        const auto uCode = static_cast<uint8_t>(pCode - std::begin(kChoiceTypes));
        pRecord[PI_CAMERA_CHOICE] = static_cast<uint8_t>(
            (pRecord[PI_CAMERA_CHOICE] & ~kChoiceMask) | (uCode << kChoiceShift));
    }
}

void Cameras_SetStoredMode(int nPlayer, BOOL boBlend)
{
    if (!IsPlayer(nPlayer))
        return;
    int nType = CAMERA_TYPE_CHASE_NEAR;
    if (!GameData_IsOptionSet(OPTION_RESTRICTED_CAMERAS))
    {
        const uint8_t* pRecord = GameData_GetPlayerInfo(ChoicePlayer(nPlayer));
        const int nCode = (pRecord[PI_CAMERA_CHOICE] & kChoiceMask) >> kChoiceShift;
        nType = nCode < 5 ? kChoiceTypes[nCode] : CAMERA_TYPE_NONE;
        if (nType == CAMERA_TYPE_IN_CAR && gboMediumDetailCar != 0)
            nType = CAMERA_TYPE_ROOF;
    }
    Cameras_SetMode(nPlayer, nType, boBlend);
}

void Cameras_Update(int nPlayer)
{
    if (!IsPlayer(nPlayer))
        return;
    CameraDirector& d = gaCameraDirector[nPlayer];
    CameraView& active = ActiveRecord(nPlayer);
    d.Previous = active;
    TickType(active);
    if (d.nBlendTicks >= 0)
    {
        CameraView& other = OtherRecord(nPlayer);
        TickType(other);
        if (d.nBlendTicks == 0)
        {
            LeaveType(active);
            d.nActive = d.nActive ? 0 : 1;
            EnterType(other);
            NotifyViewChange(nPlayer, active.nType, other.nType);
            gaPlayerView[nPlayer].nCameraType = other.nType;
        }
    }
    Cameras_GetActiveView(nPlayer);
    if (d.nBlendTicks >= 0)
        --d.nBlendTicks;
    d.boViewChangedPrev = d.boViewChanged;
    d.boViewChanged = FALSE;
    if (d.boDirector)
        RunDirector(nPlayer);
}

void Cameras_GetActiveView(int nPlayer)
{
    if (!IsPlayer(nPlayer))
        return;
    CameraDirector& d = gaCameraDirector[nPlayer];
    CameraView& active = ActiveRecord(nPlayer);
    FinishType(active);
    if (d.nBlendTicks > 0)
    {
        CameraView& other = OtherRecord(nPlayer);
        FinishType(other);
        BlendRecords(&gaPlayerView[nPlayer].View, active, other,
                     Cameras_BlendWeight(d.nBlendTicks, d.nBlendLength));
    }
    else
        gaPlayerView[nPlayer].View = active;
}

void Cameras_Reattach(int nPlayer)
{
    if (!IsPlayer(nPlayer))
        return;
    CameraDirector& d = gaCameraDirector[nPlayer];
    ReplaceType(gaCameraViews[2 * nPlayer]);
    ReplaceType(gaCameraViews[2 * nPlayer + 1]);
    d.nLastNearest = -2;
    d.boViewChanged = TRUE;
    d.xGroundLift = 0;
}

void Cameras_SetLookBack(BOOL boDirector, BOOL boCut, int nPlayer, int nCar)
{
    if (!IsPlayer(nPlayer))
        return;
    CameraDirector& d = gaCameraDirector[nPlayer];
    const auto nRestart = static_cast<int16_t>(boCut ? -1 : 0);
    if ((boDirector && !d.boDirector) || (boCut != 0) != (d.nTicksSinceCut < 0))
        d.nTicksSinceCut = nRestart;
    d.boDirector = boDirector;
    d.nLastNearest = -2;
    CameraView& active = ActiveRecord(nPlayer);
    if (nCar >= 0 && nCar < SNAP_RECORDS && nCar != active.nCar)
    {
        gaCameraViews[2 * nPlayer].nCar = static_cast<uint8_t>(nCar);
        gaCameraViews[2 * nPlayer + 1].nCar = static_cast<uint8_t>(nCar);
        Cameras_Reattach(nPlayer);
        d.nTicksSinceCut = nRestart;
        if (d.nBlendTicks >= 0)
        {
            d.nBlendTicks = -1;
            gaPlayerView[nPlayer].nCameraType = active.nType;
        }
    }
    if (boCut)
    {
        const int nNearest = TrackCam_FindNearest(active.nCar, nullptr);
        if (nNearest >= 0)
            Cameras_SetMode(nPlayer, CAMERA_TYPE_TRACK, FALSE, nNearest);
    }
}

void Cameras_GetBlendedMatrix(int nPlayer, int32_t xFraction)
{
    if (!IsPlayer(nPlayer))
        return;
    const CameraDirector& d = gaCameraDirector[nPlayer];
    const CameraView& view = gaPlayerView[nPlayer].View;
    DK_MATRIX m;
    BlendMatrices(&m, &d.Previous.View, &view.View, xFraction, xFraction, xFraction, 1);
    CameraFrameView& frame = gaCameraFrameView[nPlayer];
    frame.xValueB = view.xValueB;
    frame.xTrackDraw = view.xTrackDraw;
    frame.xFieldOfView = view.xFieldOfView;
    frame.boDirector = d.boDirector;
    LiftView(nPlayer, &m, view);
    DK_ACTOR* pCamera = gapPlayerCamera[nPlayer];
    if (pCamera != nullptr)
    {
        pCamera->Local = m;
        DkMarkActorDirty(pCamera);
    }
}

void Cameras_GetFieldOfView(int nPlayer)
{
    if (!IsPlayer(nPlayer) || d2d == nullptr || d2d->nHeight <= 0)
        return;
    const CameraFrameView& frame = gaCameraFrameView[nPlayer];
    ScaleClipDistances();
    const int32_t xBase = FfMul(kFovScale, frame.xFieldOfView);
    int32_t xScaleX = static_cast<int32_t>(static_cast<int64_t>(FfMul(kFovScaleX, xBase)) *
                                           d2d->nWidth / d2d->nHeight);
    int32_t xScaleY = FfMul(kFovScaleY, xBase);
    const int nState = GetGameState();
    if (gNumberOfPlayers == 2 && nState != GAME_STATE_END_STAGE && nState != GAME_STATE_LEAVE_GAME)
    {
        if (gboSplitHorizontal)
            xScaleY *= 4;
        else
        {
            xScaleY /= 2;
            xScaleX *= 2;
        }
    }
    const bool boMirror = GameData_IsOptionSet(OPTION_MIRROR_MODE) != 0;
    if (boMirror)
        xScaleX = -xScaleX;
    DkSetCullingOrder(boMirror ? kCullClockwise : kCullCounterClockwise);
    int32_t xFar = gxHorizonDistance;
    if (frame.boDirector)
        xFar = FfMul(xFar, kDirectorFarScale);
    if (xScaleX != 0 && xScaleY != 0 && xFar > 0)
        DkSetProjection(xScaleX, xScaleY, xFar, 0);
    if (frame.xTrackDraw != 0)
    {
        DkSetTrackDrawParamB(1);
        DkSetTrackDrawParamC(frame.xTrackDraw);
    }
    else
        DkSetTrackDrawParamB(0);
}

int Cameras_GetType(int nPlayer)
{
    return IsPlayer(nPlayer) ? ActiveRecord(nPlayer).nCar : 0;
}

BOOL Cameras_IsInCar(int nPlayer)
{
    if (!IsPlayer(nPlayer))
        return FALSE;
    const int nType = ActiveRecord(nPlayer).nType;
    return nType == CAMERA_TYPE_BONNET || nType == CAMERA_TYPE_ROOF || nType == CAMERA_TYPE_IN_CAR
               ? TRUE
               : FALSE;
}

namespace
{
int HeadingOfRow(const DK_VECTOR& forward)
{
    int nAngle = FfAtan(std::abs(forward.x), std::abs(forward.z));
    if (forward.z < 0)
        nAngle = 2048 - nAngle;
    if (forward.x < 0)
        nAngle = -nAngle;
    return nAngle & DK_ANGLE_MASK;
}
} // namespace

int Cameras_GetHeadingFromView(int nPlayer)
{
    if (!IsPlayer(nPlayer))
        return 0;
    DK_VECTOR forward;
    FfMatGetRow2(&forward, &gaPlayerView[nPlayer].View.View);
    return HeadingOfRow(forward);
}

int Cameras_GetHeadingFromObject(int nCar)
{
    DK_VECTOR forward;
    FfMatGetRow0(&forward, Cameras_GetCarMatrix(nCar));
    return HeadingOfRow(forward);
}

void Cameras_GetRelativePosition(int nPlayer, DK_VECTOR* pOut)
{
    if (pOut == nullptr)
        return;
    *pOut = DK_VECTOR{};
    if (!IsPlayer(nPlayer))
        return;
    DK_VECTOR from, to;
    FfMatGetPosition(&from, &ActiveRecord(nPlayer).View);
    FfMatGetPosition(&to, &gaPlayerView[nPlayer].View.View);
    *pOut = {FfSub(to.x, from.x), FfSub(to.y, from.y), FfSub(to.z, from.z)};
}

void Cameras_ResetOrientation(DK_MATRIX* pMatrix, int nAngle)
{
    if (pMatrix == nullptr)
        return;
    const int32_t s = gaSinTable[nAngle & DK_ANGLE_MASK];
    const int32_t c = gaSinTable[(nAngle + 1024) & DK_ANGLE_MASK];
    DK_VECTOR up, forward;
    FfMatGetRow1(&up, pMatrix);
    FfMatGetRow2(&forward, pMatrix);
    const DK_VECTOR newUp = {FfAdd(FfMul(c, up.x), FfMul(s, forward.x)),
                             FfAdd(FfMul(c, up.y), FfMul(s, forward.y)),
                             FfAdd(FfMul(c, up.z), FfMul(s, forward.z))};
    const DK_VECTOR newForward = {FfSub(FfMul(c, forward.x), FfMul(s, up.x)),
                                  FfSub(FfMul(c, forward.y), FfMul(s, up.y)),
                                  FfSub(FfMul(c, forward.z), FfMul(s, up.z))};
    FfMatSetRow1(&newUp, pMatrix);
    FfMatSetRow2(&newForward, pMatrix);
}
