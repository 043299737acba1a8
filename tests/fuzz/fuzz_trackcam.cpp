// The stage's track cameras (".tsc") read from their bytes as the stage loader hands them over,
// each record checked against the input; then linked to a chain of cat's eyes drawn from the
// input, and every camera aimed at a car standing at points drawn from the input and at the
// cameras themselves, as the director does each tick. The same bytes loaded as a file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/common/matrixop.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "game/hud/catseye.h"
#include "game/race/cameras.h"
#include "game/race/gameflow.h"
#include "game/race/interp.h"
#include "game/race/trackcam.h"
#include "tests/fuzz/fuzz_support.h"

namespace
{

uint8_t gaGameData[DK_GAME_DATA_SIZE];
constexpr int kMaxEyes = 16;
constexpr int kMaxCameras = 64;
CatsEyeRecord gaEyes[kMaxEyes];

void Check(const uint8_t* data, size_t size, const TrackCameraRecord* pCameras, int32_t nCount)
{
    const size_t uWhole = size / 16;
    if (nCount != (uWhole <= 32767 ? static_cast<int32_t>(uWhole) : 0) ||
        (nCount > 0) != (pCameras != nullptr))
        std::abort();
    for (int32_t i = 0; i < nCount; ++i)
    {
        const size_t at = static_cast<size_t>(i) * 16;
        const uint8_t* p = data + at;
        const TrackCameraRecord& c = pCameras[i];
        if (c.x != fuzz::Word(data, size, at) || c.y != fuzz::Word(data, size, at + 4) ||
            c.z != fuzz::Word(data, size, at + 8) || c.nKind != p[12] ||
            c.nLinkedCheckpoint != static_cast<int16_t>(p[14] | p[15] << 8))
            std::abort();
    }
}

void SetCar(const DK_VECTOR& at)
{
    DkIdentityMatrix(&gaSnapCarMatrix[0][SNAP_CURRENT]);
    FfMatSetPosition(&at, &gaSnapCarMatrix[0][SNAP_CURRENT]);
}

// The director's use of the cameras with the car at `at`.
void Film(const DK_VECTOR& at, int32_t nCount)
{
    SetCar(at);
    int32_t xDistance = -1;
    const int nNearest = TrackCam_FindNearest(0, &xDistance);
    if (nNearest < -1 || nNearest >= nCount || (nNearest >= 0 && xDistance < 0))
        std::abort();
    CameraView view{};
    for (int c = 0; c < nCount && c < kMaxCameras; ++c)
    {
        view.nTrackCamera = static_cast<int16_t>(c);
        TrackCam_AttachFixed(&view, &at);
        TrackCam_AttachMoving(&view, &at);
        DK_VECTOR point;
        if (!TrackCam_GetPoint(c, &point))
            std::abort();
        TrackCam_AttachMoving(&view, &point);
        TrackCam_AttachStatic(&view, &point);
        TrackCam_Aim(&view, &at);
    }
    view.nTrackCamera = static_cast<int16_t>(nCount);
    TrackCam_Aim(&view, &at);
}

void Run(const uint8_t* data, size_t size, int32_t nCount)
{
    // The links against a chain of cat's eyes near the first cameras, or none.
    const TrackCameraRecord* pCameras = TrackCam_GetCamerasForTests(nullptr);
    const int nEyes = static_cast<int>(static_cast<uint32_t>(fuzz::Word(data, size, 0)) % kMaxEyes);
    for (int i = 0; i < nEyes; ++i)
    {
        const TrackCameraRecord& c = pCameras[i % nCount];
        const int32_t w = fuzz::Word(data, size, 4 * static_cast<size_t>(i));
        gaEyes[i] = {};
        gaEyes[i].x = FfAdd(c.x, w);
        gaEyes[i].y = c.y;
        gaEyes[i].z = FfSub(c.z, w >> (i & 7));
    }
    gpCatsEyes = nEyes > 0 ? gaEyes : nullptr;
    gnNumCatsEyes = nEyes;
    int16_t anStored[kMaxCameras];
    for (int c = 0; c < nCount && c < kMaxCameras; ++c)
        anStored[c] = pCameras[c].nLinkedCheckpoint;
    TrackCam_LinkTargets();
    for (int c = 0; c < nCount && c < kMaxCameras; ++c)
    {
        const int16_t n = pCameras[c].nLinkedCheckpoint;
        if (n != anStored[c] && (pCameras[c].nKind != 2 || n < 0 || n >= nEyes))
            std::abort();
    }
    for (int k = 0; k < 2; ++k)
    {
        gbo50HzMode = k;
        gaGameData[39] = static_cast<uint8_t>(k << 1);
        Film({fuzz::Word(data, size, 4), fuzz::Word(data, size, 8), fuzz::Word(data, size, 12)},
             nCount);
        Film({0, 0, 0}, nCount);
    }
    gbo50HzMode = FALSE;
    gaGameData[39] = 0;
    gpCatsEyes = nullptr;
    gnNumCatsEyes = 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Set up on the first input, so that the replay test drives the target as libFuzzer does.
    static const bool boReady = []
    {
        fuzz::InitEngineHeaps(16 * 1024 * 1024, 1024 * 1024);
        DkInitialiseTrigTables();
        DK_ENTRIES entries{};
        entries.GetGameData = [] { return static_cast<const uint8_t*>(gaGameData); };
        DkRegisterEntries(&entries);
        return true;
    }();
    (void)boReady;
    int32_t nCount = -1;
    const TrackCameraRecord* pCameras =
        TrackCam_ReadCameras(data, static_cast<uint32_t>(size), &nCount);
    Check(data, size, pCameras, nCount);

    // As the stage's file.
    static const std::string path = fuzz::DriveCPath("stage.tsc");
    fuzz::WriteFile(path, data, size);
    TrackCam_LoadCameras("c:\\stage.tsc");
    int32_t nLoaded = -1;
    if (TrackCam_GetCamerasForTests(&nLoaded) == nullptr ? nLoaded != 0 : nLoaded != nCount)
        std::abort();
    if (nLoaded > 0)
        Run(data, size, nLoaded);
    else if (TrackCam_FindNearest(0, nullptr) != -1)
        std::abort();
    TrackCam_ResetForTests();
    DkHeapReset();
    return 0;
}
