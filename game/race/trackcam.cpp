#include "game/race/trackcam.h"

#include <algorithm>
#include <cstdlib>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"
#include "engine/pc/core/dk_file.h"
#include "game/hud/catseye.h"
#include "game/race/cameras.h"
#include "game/race/camviews.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/superspecial.h"
#include "game/vehicle/le_bytes.h"

namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
// Camera indices are 16-bit in the camera records.
constexpr uint32_t kMaxCameras = 32767;
// A kind-2 camera links a cat's eye closer than this.
constexpr int64_t kLinkRange = 75LL * ONE;
// The nearest camera is looked for within this many whole units squared.
constexpr int64_t kNearestBound = 1000000;
// The view values.
constexpr int32_t kNarrowView = 40960;   // 0.625
constexpr int32_t kZoomPerUnit = 1748;   // 2 / 75: kinds 4 and 6 widen D by this a unit
constexpr int32_t kRisePerUnit = 6554;   // 0.1: kinds 5 and 6 raise the eye by this a unit
constexpr int32_t kNearOffset = 6 * ONE; // kind 0 stands this far from the aim point
constexpr int32_t kTrackDraw = 7 * ONE;
// The moving aim point closes 8.33/25 of its gap to the car a tick (8.33/50 at 50 a second).
constexpr int32_t kFollow25 = 21837;
constexpr int32_t kFollow50 = 10918;
// Beyond this a vector is shifted down before it is squared in 16.16.
constexpr int64_t kSquareLimit = 100LL * ONE;

TrackCameraRecord* gpCameras = nullptr;
int32_t gnCameras = 0;
// The part of the list TrackCam_FindNearest looks through: the whole list after a load.
int32_t gnSearchFirst = 0;
int32_t gnSearchEnd = 0;

// The start positions' file image and the set chosen from it.
void* gpStartImage = nullptr;
BOOL gboStartPositions = FALSE;
StartPositionSet gStartSet = {};

const TrackCameraRecord* Camera(int nCamera)
{
    return gpCameras != nullptr && nCamera >= 0 && nCamera < gnCameras ? &gpCameras[nCamera]
                                                                       : nullptr;
}

DK_VECTOR Point(const TrackCameraRecord& camera)
{
    return {camera.x, camera.y, camera.z};
}

// A difference of two points too long for 16.16 squares, shifted down until it fits; the shift
// is returned through pnShift.
DK_VECTOR Scaled(const DK_VECTOR& to, const DK_VECTOR& from, int* pnShift)
{
    int64_t d[3] = {static_cast<int64_t>(to.x) - from.x, static_cast<int64_t>(to.y) - from.y,
                    static_cast<int64_t>(to.z) - from.z};
    int nShift = 0;
    while (std::llabs(d[0]) > kSquareLimit || std::llabs(d[1]) > kSquareLimit ||
           std::llabs(d[2]) > kSquareLimit)
    {
        for (int64_t& v : d)
            v >>= 1;
        ++nShift;
    }
    *pnShift = nShift;
    return {static_cast<int32_t>(d[0]), static_cast<int32_t>(d[1]), static_cast<int32_t>(d[2])};
}

// The distance between two points, however far apart (held at the largest 16.16 value).
int32_t Distance(const DK_VECTOR& a, const DK_VECTOR& b)
{
    int nShift = 0;
    const DK_VECTOR d = Scaled(a, b, &nShift);
    const int64_t nLength = static_cast<int64_t>(FfVecLength(&d)) << nShift;
    return static_cast<int32_t>(std::min<int64_t>(nLength, INT32_MAX));
}

// The unit vector from one point to another (zero when they are the same).
DK_VECTOR Direction(const DK_VECTOR& to, const DK_VECTOR& from)
{
    int nShift = 0;
    DK_VECTOR d = Scaled(to, from, &nShift);
    FfVecNormalise(&d, &d);
    return d;
}

// The side row of a view looking along forward: level, square to it.
DK_VECTOR SideOf(const DK_VECTOR& forward)
{
    DK_VECTOR side = {forward.z, 0, FfNeg(forward.x)};
    FfVecNormalise(&side, &side);
    return side;
}

void SetView(DK_MATRIX* pView, const DK_VECTOR& side, const DK_VECTOR& up, const DK_VECTOR& forward,
             const DK_VECTOR& position)
{
    const DK_VECTOR* apRows[4] = {&side, &up, &forward, &position};
    for (int r = 0; r < 4; ++r)
    {
        pView->m[r][0] = apRows[r]->x;
        pView->m[r][1] = apRows[r]->y;
        pView->m[r][2] = apRows[r]->z;
        pView->m[r][3] = r == 3 ? ONE : 0;
    }
}

// The look-at step: the view from the eye toward the target; with an offset the view stands
// that far from the target on the line from the eye. An eye on the target keeps the view's
// rotation and only moves it there.
void LookAt(DK_MATRIX* pView, const DK_VECTOR& eye, const DK_VECTOR& target,
            const int32_t* pxOffset)
{
    const DK_VECTOR forward = Direction(target, eye);
    DK_VECTOR position = eye;
    if (pxOffset != nullptr)
    {
        DK_VECTOR back;
        FfVecScale(&back, &forward, *pxOffset);
        position = {FfSub(target.x, back.x), FfSub(target.y, back.y), FfSub(target.z, back.z)};
    }
    if (forward.x == 0 && forward.y == 0 && forward.z == 0)
    {
        FfMatSetPosition(&position, pView);
        return;
    }
    const DK_VECTOR side = SideOf(forward);
    DK_VECTOR up;
    FfVecCross(&up, &forward, &side);
    FfVecNormalise(&up, &up);
    SetView(pView, side, up, forward, position);
}

// The direction along the road of a kind-2 camera: toward its linked cat's eye. FALSE when the
// link names none of the chain, or the cat's eye stands right above or below the camera, so
// that no level side row follows from it.
BOOL RoadDirection(const TrackCameraRecord& camera, DK_VECTOR* pDirection)
{
    if (camera.nKind != TRACKCAM_KIND_ALONG || gpCatsEyes == nullptr ||
        camera.nLinkedCheckpoint < 0 || camera.nLinkedCheckpoint >= gnNumCatsEyes)
        return FALSE;
    const CatsEyeRecord& eye = gpCatsEyes[camera.nLinkedCheckpoint];
    *pDirection = Direction({eye.x, eye.y, eye.z}, Point(camera));
    return pDirection->x != 0 || pDirection->z != 0 ? TRUE : FALSE;
}

void ForgetCameras()
{
    gpCameras = nullptr;
    gnCameras = 0;
    gnSearchFirst = gnSearchEnd = 0;
}

void ForgetStartPositions()
{
    if (gpStartImage != nullptr)
        DkHeapFree(gpStartImage);
    gpStartImage = nullptr;
    gboStartPositions = FALSE;
    gStartSet = {};
}

DK_VECTOR ReadVector(const uint8_t* p)
{
    return {LeRead32(p), LeRead32(p + 4), LeRead32(p + 8)};
}

} // namespace

TrackCameraRecord* TrackCam_ReadCameras(const uint8_t* pData, uint32_t uSize, int32_t* pnCount)
{
    if (pnCount != nullptr)
        *pnCount = 0;
    const uint32_t uCount = pData != nullptr ? uSize / TRACKCAM_RECORD_SIZE : 0;
    if (uCount == 0 || uCount > kMaxCameras)
        return nullptr;
    auto* pCameras =
        static_cast<TrackCameraRecord*>(DkHeapAlloc(uCount * sizeof(TrackCameraRecord)));
    if (pCameras == nullptr)
        return nullptr;
    for (uint32_t i = 0; i < uCount; ++i)
    {
        const uint8_t* p = pData + i * TRACKCAM_RECORD_SIZE;
        TrackCameraRecord& c = pCameras[i];
        c.x = LeRead32(p);
        c.y = LeRead32(p + 4);
        c.z = LeRead32(p + 8);
        c.nKind = p[12];
        c.nPadding = p[13];
        c.nLinkedCheckpoint = static_cast<int16_t>(LeRead16(p + 14));
    }
    if (pnCount != nullptr)
        *pnCount = static_cast<int32_t>(uCount);
    return pCameras;
}

BOOL TrackCam_ReadStartPositions(const uint8_t* pData, uint32_t uSize, BOOL boSecond,
                                 StartPositionSet* pSet)
{
    if (pData == nullptr || pSet == nullptr || uSize < TRACKCAM_START_SET_SIZE)
        return FALSE;
    // The second set only when the file holds it whole.
    const uint8_t* p = pData;
    if (boSecond && uSize >= 2 * TRACKCAM_START_SET_SIZE)
        p += TRACKCAM_START_SET_SIZE;
    for (int nCar = 0; nCar < 2; ++nCar)
    {
        pSet->aPosition[nCar] = ReadVector(p + 12 * nCar);
        const uint8_t* pAngles = p + 24 + 8 * nCar;
        for (int a = 0; a < 3; ++a)
            pSet->aanAngles[nCar][a] = static_cast<int16_t>(LeRead16(pAngles + 2 * a));
    }
    return TRUE;
}

void TrackCam_LoadCameras(const char* pszPath)
{
    ForgetCameras();
    // A stage without track cameras is no fault (the file layer reports the missing file).
    if (pszPath == nullptr || DkGetFileSize(pszPath, DKLF_AS_GIVEN) == 0)
        return;
    void* pFile = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    if (pFile == nullptr)
        return;
    int32_t nCount = 0;
    TrackCameraRecord* pCameras =
        TrackCam_ReadCameras(static_cast<const uint8_t*>(pFile), DkGetLastFileSize(), &nCount);
    DkHeapFree(pFile);
    gpCameras = pCameras;
    gnCameras = nCount;
    gnSearchFirst = 0;
    gnSearchEnd = nCount;
}

void TrackCam_LoadStartPositions(const char* pszPath)
{
    ForgetStartPositions();
    // The file layer reports a file it cannot open; a file too short for a set is no better.
    void* pFile = pszPath != nullptr ? DkMallocLoadFile(pszPath, DKLF_AS_GIVEN) : nullptr;
    const BOOL boSecond = GameData_IsOptionSet(OPTION_REVERSE_DIRECTION) &&
                          !GameData_IsRallySchool() && !IsSuperSpecialStage();
    if (pFile == nullptr || !TrackCam_ReadStartPositions(static_cast<const uint8_t*>(pFile),
                                                         DkGetLastFileSize(), boSecond, &gStartSet))
    {
        if (pFile != nullptr)
            DkHeapFree(pFile);
        DKREPORT("No start positions - Press Abort now!!!");
        return;
    }
    gpStartImage = pFile;
    gboStartPositions = TRUE;
    if (!DkIsDestructorAdded(TrackCam_FreeStartPositions))
        DkAddDestructor(TrackCam_FreeStartPositions, "Car start position destructor");
}

BOOL TrackCam_FreeStartPositions(void)
{
    ForgetStartPositions();
    // The cameras lay on the same stage heap.
    ForgetCameras();
    return TRUE;
}

void TrackCam_LinkTargets(void)
{
    if (gpCatsEyes == nullptr)
        return;
    for (int32_t c = 0; c < gnCameras; ++c)
    {
        TrackCameraRecord& camera = gpCameras[c];
        if (camera.nKind != TRACKCAM_KIND_ALONG)
            continue;
        int64_t nFarthest = -1;
        for (int32_t i = 0; i < gnNumCatsEyes; ++i)
        {
            const int64_t dx = static_cast<int64_t>(gpCatsEyes[i].x) - camera.x;
            const int64_t dz = static_cast<int64_t>(gpCatsEyes[i].z) - camera.z;
            if (std::llabs(dx) >= kLinkRange || std::llabs(dz) >= kLinkRange)
                continue;
            const int64_t nSquared = dx * dx + dz * dz;
            if (nSquared < kLinkRange * kLinkRange && nSquared > nFarthest)
            {
                nFarthest = nSquared;
                camera.nLinkedCheckpoint = static_cast<int16_t>(i);
            }
        }
    }
}

BOOL TrackCam_GetStartPosition(int nCar, DK_VECTOR* pPosition, int16_t* panAngles)
{
    const bool boKnown = gboStartPositions && nCar >= 0;
    const int nSlot = boKnown ? nCar & 1 : 0;
    if (pPosition != nullptr)
        *pPosition = boKnown ? gStartSet.aPosition[nSlot] : DK_VECTOR{};
    if (panAngles != nullptr)
        for (int a = 0; a < 3; ++a)
            panAngles[a] = boKnown ? gStartSet.aanAngles[nSlot][a] : 0;
    return boKnown ? TRUE : FALSE;
}

int TrackCam_FindNearest(int nCar, int32_t* pxDistance)
{
    DK_VECTOR car;
    FfMatGetPosition(&car, Cameras_GetCarMatrix(nCar));
    int64_t nBest = kNearestBound;
    int nNearest = -1;
    const int32_t nEnd = std::min(gnSearchEnd, gnCameras);
    for (int32_t i = std::max(gnSearchFirst, 0); i < nEnd; ++i)
    {
        const int64_t dx = (static_cast<int64_t>(gpCameras[i].x) - car.x) >> 16;
        const int64_t dz = (static_cast<int64_t>(gpCameras[i].z) - car.z) >> 16;
        const int64_t nSquared = dx * dx + dz * dz;
        if (nSquared < nBest)
        {
            nBest = nSquared;
            nNearest = i;
        }
    }
    if (pxDistance != nullptr && nNearest >= 0)
        *pxDistance = Distance(Point(gpCameras[nNearest]), car);
    return nNearest;
}

BOOL TrackCam_GetPoint(int nCamera, DK_VECTOR* pPoint)
{
    const TrackCameraRecord* pCamera = Camera(nCamera);
    if (pCamera == nullptr)
        return FALSE;
    if (pPoint != nullptr)
        *pPoint = Point(*pCamera);
    return TRUE;
}

void TrackCam_AttachFixed(CameraView* pView, const DK_VECTOR* pCarPosition)
{
    if (pView == nullptr || pCarPosition == nullptr)
        return;
    pView->AimPoint = *pCarPosition;
    TrackCam_Aim(pView, pCarPosition);
}

void TrackCam_AttachStatic(CameraView* pView, const DK_VECTOR* pCarPosition)
{
    TrackCam_AttachFixed(pView, pCarPosition);
}

void TrackCam_AttachMoving(CameraView* pView, const DK_VECTOR* pCarPosition)
{
    if (pView == nullptr || pCarPosition == nullptr)
        return;
    const TrackCameraRecord* pCamera = Camera(pView->nTrackCamera);
    if (pCamera != nullptr && pCamera->nKind != TRACKCAM_KIND_NEAR &&
        !GameData_IsOptionSet(OPTION_DIRECTOR_BLENDS))
    {
        const int64_t xRate = gbo50HzMode ? kFollow50 : kFollow25;
        int32_t* apAim[3] = {&pView->AimPoint.x, &pView->AimPoint.y, &pView->AimPoint.z};
        const int32_t aCar[3] = {pCarPosition->x, pCarPosition->y, pCarPosition->z};
        for (int a = 0; a < 3; ++a)
            *apAim[a] = static_cast<int32_t>(
                *apAim[a] + ((static_cast<int64_t>(aCar[a]) - *apAim[a]) * xRate >> 16));
    }
    else
        pView->AimPoint = *pCarPosition;
    TrackCam_Aim(pView, pCarPosition);
}

void TrackCam_Aim(CameraView* pView, const DK_VECTOR* pCarPosition)
{
    if (pView == nullptr || pCarPosition == nullptr)
        return;
    const TrackCameraRecord* pCamera = Camera(pView->nTrackCamera);
    if (pCamera == nullptr)
        return;
    const DK_VECTOR point = Point(*pCamera);
    const int32_t xDistance = Distance(*pCarPosition, point);
    const DK_VECTOR level = {pCarPosition->x, point.y, pCarPosition->z};
    const int32_t xHorizontal = Distance(level, point);

    DK_VECTOR forward;
    if (RoadDirection(*pCamera, &forward))
    {
        // Along the road: toward the linked cat's eye, or away from it when the car is behind.
        const int64_t nToAim =
            static_cast<int64_t>(forward.x) * (static_cast<int64_t>(pView->AimPoint.x) - point.x) +
            static_cast<int64_t>(forward.z) * (static_cast<int64_t>(pView->AimPoint.z) - point.z);
        if (nToAim < 0)
        {
            forward.x = FfNeg(forward.x);
            forward.z = FfNeg(forward.z);
        }
        const DK_VECTOR side = SideOf(forward);
        DK_VECTOR up;
        FfVecCross(&up, &forward, &side);
        SetView(&pView->View, side, up, forward, point);
        pView->xFieldOfView = kNarrowView;
    }
    else
    {
        const uint8_t nKind = pCamera->nKind;
        DK_VECTOR eye = point;
        if (nKind == TRACKCAM_KIND_HIGH || nKind == TRACKCAM_KIND_HIGH_ZOOM)
            eye.y = FfAdd(eye.y, FfMul(xDistance, kRisePerUnit));
        const int32_t xHalfway = xDistance / 2;
        const int32_t* pxOffset = nKind == TRACKCAM_KIND_NEAR      ? &kNearOffset
                                  : nKind == TRACKCAM_KIND_HALFWAY ? &xHalfway
                                                                   : nullptr;
        pView->xFieldOfView = nKind == TRACKCAM_KIND_ZOOM || nKind == TRACKCAM_KIND_HIGH_ZOOM
                                  ? FfAdd(ONE, FfMul(xDistance, kZoomPerUnit))
                                  : kNarrowView;
        LookAt(&pView->View, eye, pView->AimPoint, pxOffset);
    }
    pView->xLift = 0;
    pView->xValueB = ONE;
    pView->xLiftHeight = xHorizontal;
    pView->xTrackDraw = CamViews_TrackDrawValue(kTrackDraw);
}

const TrackCameraRecord* TrackCam_GetCamerasForTests(int32_t* pnCount)
{
    if (pnCount != nullptr)
        *pnCount = gnCameras;
    return gpCameras;
}

void TrackCam_ResetForTests(void)
{
    ForgetStartPositions();
    ForgetCameras();
}
