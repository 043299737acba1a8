#include "game/race/replay.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"
#include "engine/pc/core/dk_file.h"
#include "game/effects/effects.h"
#include "game/effects/muddycar.h"
#include "game/hud/catseye.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/interp.h"
#include "game/race/netplay.h"
#include "game/race/netreplay.h"
#include "game/race/startup.h"
#include "game/race/trackcam.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"
#include "game/vehicle/knockedover.h"

static_assert(REPLAY_STATE_MECHANICS == REPLAY_STATE_DAMAGE + DAMAGE_RECORD_IMAGE_SIZE);
static_assert(REPLAY_STATE_LATER_FIELDS == REPLAY_STATE_MECHANICS + CAR_MECHANICS_IMAGE_SIZE);
static_assert(REPLAY_STATE_BODY == REPLAY_STATE_LATER_FIELDS + CAR_EXTRA_IMAGE_SIZE);
static_assert(REPLAY_STATE_OBJECTS == REPLAY_STATE_BODY + CAR_BODY_IMAGE_SIZE);
static_assert(REPLAY_STATE_CHECKPOINT ==
              REPLAY_STATE_OBJECTS + HIT_OBJECT_RECORDS * HIT_OBJECT_IMAGE_SIZE);
static_assert(REPLAY_STATE_ACTIVE == REPLAY_STATE_CHECKPOINT + 4);
static_assert(REPLAY_STATE_DISTANCE == REPLAY_STATE_ACTIVE + 4);
static_assert(REPLAY_STATE_START_HOLD == REPLAY_STATE_DISTANCE + 4);
static_assert(REPLAY_GAME_STATESAVE_SIZE == REPLAY_STATE_START_HOLD + 4);
static_assert(REPLAY_CURSOR + 2 == REPLAY_HEADER_SIZE);

ReplayHeader* gapRecorders[REPLAY_SLOTS] = {};
ReplayHeader* gapLoadedReplays[REPLAY_SLOTS] = {};
ReplayHeader* gpreplSuperCPU = nullptr;
uint16_t gnSuperCPUStartFrame = 0;

namespace
{
constexpr int32_t ONE = 1 << 16;
// Camera-cut recording: a scene opens nearer a track camera than this and closes farther than
// the second.
constexpr int32_t kOpenDistance = 35 * ONE;
constexpr int32_t kCloseDistance = 50 * ONE;
// A digital control plays back as this (0.99899).
constexpr int32_t kDigitalLevel = 65470;
constexpr int kMaxCars = MAX_CARS;

int gnNumRecorders = 0;
int gnNumLoadedReplays = 0;
// Per slot of each table: the replay has played to its end since it last started.
BOOL gaboRecorderPlayed[REPLAY_SLOTS] = {};
BOOL gaboLoadedPlayed[REPLAY_SLOTS] = {};

// --- The block's bytes, little-endian whatever the host

uint32_t LoadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void StoreU32(uint8_t* p, uint32_t u)
{
    for (int b = 0; b < 4; ++b)
        p[b] = static_cast<uint8_t>(u >> (8 * b));
}

int16_t LoadI16(const uint8_t* p)
{
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
}

void StoreI16(uint8_t* p, int16_t n)
{
    const uint16_t u = static_cast<uint16_t>(n);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
}

uint8_t* Bytes(ReplayHeader* r)
{
    return r->aBytes;
}

const uint8_t* Bytes(const ReplayHeader* r)
{
    return r->aBytes;
}

void SetWord(ReplayHeader* r, ReplayHeaderField f, int32_t n)
{
    StoreU32(Bytes(r) + f, static_cast<uint32_t>(n));
}

void SetHalf(ReplayHeader* r, ReplayHeaderField f, int16_t n)
{
    StoreI16(Bytes(r) + f, n);
}

void SetByte(ReplayHeader* r, ReplayHeaderField f, uint8_t u)
{
    Bytes(r)[f] = u;
}

int Scenes(const ReplayHeader* r)
{
    return Replay_GetHalf(r, REPLAY_SCENES);
}

int FramesPerScene(const ReplayHeader* r)
{
    return Replay_GetHalf(r, REPLAY_FRAMES);
}

uint64_t FramesAt(const ReplayHeader* r)
{
    return REPLAY_HEADER_SIZE + static_cast<uint64_t>(Scenes(r)) * REPLAY_GAME_STATESAVE_SIZE;
}

uint64_t CountsAt(const ReplayHeader* r)
{
    return FramesAt(r) + static_cast<uint64_t>(Scenes(r)) * FramesPerScene(r) *
                             REPLAY_FRAME_STATESAVE_SIZE;
}

void SetFrameCount(ReplayHeader* r, int nScene, int16_t nCount)
{
    StoreI16(Bytes(r) + CountsAt(r) + 2 * static_cast<uint64_t>(nScene), nCount);
}

// The frame's fields.
constexpr uint8_t kRepeatMask = 0x3F;
constexpr uint8_t kSecondButton = 0x40;
constexpr uint8_t kFirstButton = 0x80;
constexpr uint8_t kLeftAnalogue = 0x01;
constexpr uint8_t kRightAnalogue = 0x02;
constexpr uint8_t kGearMask = 0x03;
constexpr uint8_t kPedalIsAccelerator = 0x40;
constexpr uint8_t kPedalAnalogue = 0x80;

int Repeat(const uint8_t* pFrame)
{
    return pFrame[2] & kRepeatMask;
}

void ClearRepeat(uint8_t* pFrame)
{
    pFrame[2] = static_cast<uint8_t>(pFrame[2] & ~kRepeatMask);
}

// A control amount as six bits: amount / 1024 (at most 63, so that a full 1.0 stays full)
// from an analogue channel, else 1 for any amount.
uint8_t SixBits(int32_t xAmount, bool boAnalogue)
{
    if (xAmount <= 0)
        return 0;
    if (!boAnalogue)
        return 1;
    return static_cast<uint8_t>(std::min(xAmount >> 10, 63));
}

int32_t Amount(uint8_t uBits, bool boAnalogue)
{
    if (boAnalogue)
        return static_cast<int32_t>(uBits) * 1024;
    return uBits != 0 ? kDigitalLevel : 0;
}

// The controls' bytes of a frame, its repeat count left 0.
void PackControls(uint8_t* pOut, const CarMechanics& m)
{
    const bool boSteer = m.AnalogueSteer != 0;
    const bool boAccelerator = m.InputAccel > 0;
    const bool boPedal = boAccelerator ? m.AnalogueThrottle != 0 : m.AnalogueBrake != 0;
    const int32_t xPedal = boAccelerator ? m.InputAccel : m.InputBrake;
    pOut[0] = static_cast<uint8_t>((boSteer ? kLeftAnalogue | kRightAnalogue : 0) |
                                   SixBits(m.InputSteerLeft, boSteer) << 2);
    pOut[1] = static_cast<uint8_t>(((m.InputGearChange + 1) & kGearMask) |
                                   SixBits(m.InputSteerRight, boSteer) << 2);
    pOut[2] = static_cast<uint8_t>((m.InputHandbrake != 0 ? kFirstButton : 0) |
                                   (m.InputSecond != 0 ? kSecondButton : 0));
    pOut[3] = static_cast<uint8_t>(SixBits(xPedal, boPedal) |
                                   (boAccelerator ? kPedalIsAccelerator : 0) |
                                   (boPedal ? kPedalAnalogue : 0));
}

bool ValidCar(int nCar)
{
    return nCar >= 0 && nCar < kMaxCars;
}

// The knocked-over objects' set a car's snapshot holds, or -1 when it holds none: each car's own
// when every car moves objects, else the one set, with car 0's snapshot.
int ObjectSet(int nCar)
{
    if (gboAllCarsMoveObjects)
        return nCar < HIT_OBJECT_SETS ? nCar : -1;
    return nCar == 0 ? 0 : -1;
}

// The car records' image in the order the car model writes it (body, mechanics, later fields)
// from the snapshot's order (mechanics, later fields, body), and back.
void CarImageFromSnapshot(uint8_t* pImage, const uint8_t* pSnapshot)
{
    std::memcpy(pImage, pSnapshot + REPLAY_STATE_BODY, CAR_BODY_IMAGE_SIZE);
    std::memcpy(pImage + CAR_BODY_IMAGE_SIZE, pSnapshot + REPLAY_STATE_MECHANICS,
                CAR_MECHANICS_IMAGE_SIZE + CAR_EXTRA_IMAGE_SIZE);
}

void SnapshotFromCarImage(uint8_t* pSnapshot, const uint8_t* pImage)
{
    std::memcpy(pSnapshot + REPLAY_STATE_BODY, pImage, CAR_BODY_IMAGE_SIZE);
    std::memcpy(pSnapshot + REPLAY_STATE_MECHANICS, pImage + CAR_BODY_IMAGE_SIZE,
                CAR_MECHANICS_IMAGE_SIZE + CAR_EXTRA_IMAGE_SIZE);
}

int32_t SnapshotWord(const uint8_t* pSnapshot, int nAt)
{
    return static_cast<int32_t>(LoadU32(pSnapshot + nAt));
}

// Whether every record of the snapshot reads and every index it restores lies inside its table:
// the reads go into scratch records, so nothing live changes. The readers report what they
// refuse; the checkpoint is reported here.
bool SnapshotIsSound(const uint8_t* pSnapshot, bool boObjects)
{
    auto pDamage = std::make_unique<DamageRecord>();
    if (!Damage_ReadRecord(pDamage.get(), pSnapshot + REPLAY_STATE_DAMAGE,
                           DAMAGE_RECORD_IMAGE_SIZE))
        return false;
    auto pBody = std::make_unique<CarBody>();
    auto pMechanics = std::make_unique<CarMechanics>();
    uint8_t aImage[CAR_STATE_IMAGE_SIZE];
    CarImageFromSnapshot(aImage, pSnapshot);
    if (!CarModel_ReadState(pBody.get(), pMechanics.get(), aImage, sizeof aImage))
        return false;
    if (boObjects)
        for (int k = 0; k < HIT_OBJECT_RECORDS; ++k)
        {
            HitObject scratch{};
            if (!HitObjects_ReadImage(&scratch,
                                      pSnapshot + REPLAY_STATE_OBJECTS + k * HIT_OBJECT_IMAGE_SIZE,
                                      HIT_OBJECT_IMAGE_SIZE))
                return false;
        }
    // A stage without cat's eyes still starts at checkpoint 0.
    const int32_t nCheckpoint = SnapshotWord(pSnapshot, REPLAY_STATE_CHECKPOINT);
    if (nCheckpoint < 0 || (nCheckpoint > 0 && nCheckpoint >= gnNumCatsEyes))
    {
        DKREPORT(DkFormatString("Replay snapshot : checkpoint %d out of range (%d cat's eyes)",
                                nCheckpoint, gnNumCatsEyes));
        return false;
    }
    return true;
}

BOOL* PlayedFlag(const ReplayHeader* r)
{
    for (int n = 0; n < REPLAY_SLOTS; ++n)
    {
        if (gapRecorders[n] == r)
            return &gaboRecorderPlayed[n];
        if (gapLoadedReplays[n] == r)
            return &gaboLoadedPlayed[n];
    }
    return nullptr;
}

void SetPlayed(const ReplayHeader* r, BOOL boPlayed)
{
    if (BOOL* pbo = PlayedFlag(r))
        *pbo = boPlayed;
}

void EmptySlots()
{
    for (int n = 0; n < REPLAY_SLOTS; ++n)
    {
        gapRecorders[n] = gapLoadedReplays[n] = nullptr;
        gaboRecorderPlayed[n] = gaboLoadedPlayed[n] = FALSE;
    }
    gnNumRecorders = gnNumLoadedReplays = 0;
}

// The run-time words of a block that has just been made or loaded: nothing plays or records,
// no scene runs, and the address words hold 0.
void ClearRunTimeWords(ReplayHeader* r)
{
    for (ReplayHeaderField f :
         {REPLAY_PLAYING, REPLAY_SCENE_RUNNING, REPLAY_RECORDING, REPLAY_SCENE_OPEN,
          REPLAY_SCENE_STARTED, REPLAY_SCENE_OPENED, REPLAY_SNAPSHOTS_ADDRESS,
          REPLAY_PLAY_SNAPSHOT_ADDRESS, REPLAY_RECORD_SNAPSHOT_ADDRESS, REPLAY_FRAMES_ADDRESS,
          REPLAY_COUNTS_ADDRESS})
        SetWord(r, f, 0);
    SetByte(r, REPLAY_REPEAT_COUNTER, 0);
    SetHalf(r, REPLAY_SCENE, 0);
    SetHalf(r, REPLAY_CURSOR, 0);
}

// Why a loaded image cannot be played, or NULL when it can.
const char* LoadedBlockFault(const ReplayHeader* r)
{
    const int nScenes = Scenes(r);
    const int nUsed = Replay_GetHalf(r, REPLAY_SCENES_USED);
    if (nUsed < 0 || nUsed > nScenes)
        return "scenes used";
    for (int s = 0; s < nScenes; ++s)
    {
        const int nCount = Replay_GetFrameCount(r, s);
        if (nCount < 0 || nCount > FramesPerScene(r))
            return "frame count";
    }
    const int nCar = Replay_GetByte(r, REPLAY_CAR);
    if (!ValidCar(nCar))
        return "car index";
    // Any car may play the file: every knocked-over object is checked.
    for (int s = 0; s < nUsed; ++s)
        if (!SnapshotIsSound(Replay_Snapshot(const_cast<ReplayHeader*>(r), s), true))
            return "snapshot";
    return nullptr;
}

// --- The recorder

void CloseScene(ReplayHeader* r)
{
    SetWord(r, REPLAY_SCENE_OPEN, 0);
    const int16_t nUsed = static_cast<int16_t>(Replay_GetHalf(r, REPLAY_SCENES_USED) + 1);
    SetHalf(r, REPLAY_SCENES_USED, nUsed);
    if (nUsed >= Scenes(r))
        Replay_StopRecording(r);
}

void OpenScene(ReplayHeader* r)
{
    const int s = Replay_GetHalf(r, REPLAY_SCENES_USED);
    SetFrameCount(r, s, 0);
    ClearRepeat(Replay_Frame(r, s, 0));
    SetWord(r, REPLAY_SCENE_OPENED, 1);
    SetWord(r, REPLAY_SCENE_OPEN, 1);
}

void RecordTick(ReplayHeader* r)
{
    const int nCar = Replay_GetByte(r, REPLAY_CAR);
    const bool boOpen = Replay_GetWord(r, REPLAY_SCENE_OPEN) != 0;
    bool boRecord = false, boClose = false, boOpenScene = false;
    if (Replay_GetWord(r, REPLAY_CAMERA_CUT) != 0)
    {
        int32_t xDistance = 0;
        const int nCamera = TrackCam_FindNearest(nCar, &xDistance);
        if (nCamera >= 0 && boOpen)
        {
            if (xDistance <= kCloseDistance)
                boRecord = true;
            else
                boClose = true;
        }
        else if (nCamera >= 0 && xDistance < kOpenDistance)
            boOpenScene = true;
    }
    else if (boOpen)
        boRecord = true;
    else
        boOpenScene = true;

    if (boRecord)
    {
        const int s = Replay_GetHalf(r, REPLAY_SCENES_USED);
        int nCount = Replay_GetFrameCount(r, s);
        uint8_t* pFrame = Replay_Frame(r, s, nCount);
        if (!Replay_CompareInputFrame(pFrame, nCar))
        {
            ++nCount;
            SetFrameCount(r, s, static_cast<int16_t>(nCount));
            if (nCount >= FramesPerScene(r))
                boClose = true;
            else
            {
                pFrame = Replay_Frame(r, s, nCount);
                ClearRepeat(pFrame);
            }
        }
        if (!boClose)
            Replay_PackFrame(pFrame, nCar);
    }
    if (boClose)
        CloseScene(r);
    if (boOpenScene && Replay_IsRecording(r))
        OpenScene(r);
}

// The four control words a held start keeps clear.
void ClearHeldControls(CarMechanics& m)
{
    m.InputSteerLeft = m.InputSteerRight = m.InputAccel = m.InputBrake = 0;
}

// The recorder blocks as files, for a test that plays them in another run.
const char* ReplayOutDirectory()
{
    const char* pszDir = std::getenv("DEZOR_REPLAY_OUT");
    return pszDir != nullptr && *pszDir != '\0' ? pszDir : nullptr;
}
} // namespace

// --- The block

uint64_t Replay_BlockSize(int nScenes, int nFrames)
{
    if (nScenes < 1 || nFrames < 1)
        return 0;
    return REPLAY_HEADER_SIZE +
           static_cast<uint64_t>(nScenes) * (REPLAY_GAME_STATESAVE_SIZE + 2) +
           static_cast<uint64_t>(nScenes) * nFrames * REPLAY_FRAME_STATESAVE_SIZE;
}

uint64_t Replay_GetBlockSize(const ReplayHeader* pReplay)
{
    return pReplay != nullptr ? Replay_BlockSize(Scenes(pReplay), FramesPerScene(pReplay)) : 0;
}

int32_t Replay_GetWord(const ReplayHeader* pReplay, ReplayHeaderField field)
{
    return static_cast<int32_t>(LoadU32(Bytes(pReplay) + field));
}

int16_t Replay_GetHalf(const ReplayHeader* pReplay, ReplayHeaderField field)
{
    return LoadI16(Bytes(pReplay) + field);
}

uint8_t Replay_GetByte(const ReplayHeader* pReplay, ReplayHeaderField field)
{
    return Bytes(pReplay)[field];
}

uint8_t* Replay_Snapshot(ReplayHeader* pReplay, int nScene)
{
    return Bytes(pReplay) + REPLAY_HEADER_SIZE +
           static_cast<uint64_t>(nScene) * REPLAY_GAME_STATESAVE_SIZE;
}

uint8_t* Replay_Frame(ReplayHeader* pReplay, int nScene, int nFrame)
{
    return Bytes(pReplay) + FramesAt(pReplay) +
           (static_cast<uint64_t>(nScene) * FramesPerScene(pReplay) + nFrame) *
               REPLAY_FRAME_STATESAVE_SIZE;
}

int16_t Replay_GetFrameCount(const ReplayHeader* pReplay, int nScene)
{
    return LoadI16(Bytes(pReplay) + CountsAt(pReplay) + 2 * static_cast<uint64_t>(nScene));
}

// --- The tables

void Replay_Init(void)
{
    DkAddDestructor(Replay_Destructor, "Replay destructor");
    DkLog(DkFormatString("\nSize of REPLAY_GAME_STATESAVE: %d bytes", REPLAY_GAME_STATESAVE_SIZE));
    DkLog(DkFormatString("Size of REPLAY_FRAME_STATESAVE %d bytes\n", REPLAY_FRAME_STATESAVE_SIZE));
    EmptySlots();
}

BOOL Replay_Destructor(void)
{
    for (int n = 0; n < REPLAY_SLOTS; ++n)
    {
        if (gapRecorders[n] != nullptr)
            DkHeapFree(gapRecorders[n]);
        if (gapLoadedReplays[n] != nullptr)
            DkHeapFree(gapLoadedReplays[n]);
    }
    EmptySlots();
    gpreplSuperCPU = nullptr;
    return TRUE;
}

ReplayHeader* Replay_Create(int nScenes, int nFrames)
{
    if (gnNumRecorders >= REPLAY_SLOTS)
        return nullptr;
    const uint64_t uSize = Replay_BlockSize(nScenes, nFrames);
    if (uSize == 0 || nScenes > INT16_MAX || nFrames > INT16_MAX || uSize > UINT32_MAX)
        return nullptr;
    auto* r = static_cast<ReplayHeader*>(DkHeapAlloc(static_cast<size_t>(uSize)));
    if (r == nullptr)
        return nullptr;
    SetHalf(r, REPLAY_SCENES, static_cast<int16_t>(nScenes));
    SetHalf(r, REPLAY_FRAMES, static_cast<int16_t>(nFrames));
    ClearRunTimeWords(r);
    SetHalf(r, REPLAY_SCENES_USED, 0);
    for (int n = 0; n < REPLAY_SLOTS; ++n)
        if (gapRecorders[n] == nullptr)
        {
            gapRecorders[n] = r;
            gaboRecorderPlayed[n] = FALSE;
            break;
        }
    ++gnNumRecorders;
    return r;
}

ReplayHeader* Replay_LoadFile(const char* pszPath)
{
    if (pszPath == nullptr)
        return nullptr;
    void* pImage = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    if (pImage == nullptr)
        return nullptr;
    auto* r = static_cast<ReplayHeader*>(pImage);
    const uint32_t uSize = DkGetLastFileSize();
    if (uSize < REPLAY_HEADER_SIZE || uSize != Replay_GetBlockSize(r))
    {
        DKREPORT("Replay file size doesn't match structure size, replay not loaded");
        DkHeapFree(pImage);
        return nullptr;
    }
    if (const char* pszFault = LoadedBlockFault(r))
    {
        DKREPORT(DkFormatString("Replay file %s : %s out of range, replay not loaded", pszPath,
                                pszFault));
        DkHeapFree(pImage);
        return nullptr;
    }
    if (gnNumLoadedReplays >= REPLAY_SLOTS)
    {
        DKREPORT(DkFormatString("Replay file %s : all %d replay slots are in use, replay not "
                                "loaded",
                                pszPath, REPLAY_SLOTS));
        DkHeapFree(pImage);
        return nullptr;
    }
    ClearRunTimeWords(r);
    gaboLoadedPlayed[gnNumLoadedReplays] = FALSE;
    gapLoadedReplays[gnNumLoadedReplays++] = r;
    DkLog(DkFormatString("Scene 0 size after loading: %d", Replay_GetFrameCount(r, 0)));
    return r;
}

// --- Recording and playing

int Replay_StartRecording(ReplayHeader* pReplay, uint32_t uCameraCut, int nCar)
{
    if (pReplay == nullptr || Replay_IsRecording(pReplay) || Replay_IsPlaying(pReplay) ||
        !ValidCar(nCar))
        return 0;
    ReplayHeader* r = pReplay;
    SetWord(r, REPLAY_CAMERA_CUT, static_cast<int32_t>(uCameraCut));
    SetByte(r, REPLAY_CAR, static_cast<uint8_t>(nCar));
    SetWord(r, REPLAY_RECORDING, 1);
    SetHalf(r, REPLAY_SCENES_USED, 0);
    SetWord(r, REPLAY_SCENE_OPEN, 1);
    SetFrameCount(r, 0, 0);
    ClearRepeat(Replay_Frame(r, 0, 0));
    Replay_SaveGameState(Replay_Snapshot(r, 0), nCar);
    SetWord(r, REPLAY_SCENE_OPENED, 0);
    if (gboNetworkGame)
        NetReplay_ResetRecording();
    return 1;
}

int Replay_StopRecording(ReplayHeader* pReplay)
{
    if (pReplay == nullptr || !Replay_IsRecording(pReplay))
        return 0;
    ReplayHeader* r = pReplay;
    SetWord(r, REPLAY_RECORDING, 0);
    if (Replay_GetWord(r, REPLAY_SCENE_OPEN) != 0)
        SetHalf(r, REPLAY_SCENES_USED,
                static_cast<int16_t>(Replay_GetHalf(r, REPLAY_SCENES_USED) + 1));
    SetWord(r, REPLAY_SCENE_OPEN, 0);
    SetWord(r, REPLAY_SCENE_OPENED, 0);
    return 1;
}

int Replay_StartPlayback(ReplayHeader* pReplay, int nScene, int nHoldTicks, int nCar)
{
    // The second player's turn reads as set while the car takes the replay's state, and as it
    // was on every return.
    const BOOL boTurn = gboSecondPlayerTurn.load();
    gboSecondPlayerTurn = TRUE;
    const auto done = [boTurn](int nResult)
    {
        gboSecondPlayerTurn = boTurn;
        return nResult;
    };
    if (pReplay == nullptr || Replay_IsRecording(pReplay) || Replay_IsPlaying(pReplay) ||
        nScene < 0 || nScene >= Replay_GetHalf(pReplay, REPLAY_SCENES_USED) || !ValidCar(nCar))
        return done(0);
    ReplayHeader* r = pReplay;
    if (!Replay_RestoreGameState(Replay_Snapshot(r, nScene), nCar))
        return done(0);
    SetByte(r, REPLAY_CAR, static_cast<uint8_t>(nCar));
    SetWord(r, REPLAY_PLAYING, 1);
    SetHalf(r, REPLAY_SCENE, static_cast<int16_t>(nScene));
    SetWord(r, REPLAY_SCENE_RUNNING, 1);
    SetHalf(r, REPLAY_CURSOR, static_cast<int16_t>(-std::clamp(nHoldTicks, 0, INT16_MAX)));
    SetByte(r, REPLAY_REPEAT_COUNTER, 0);
    SetWord(r, REPLAY_SCENE_STARTED, 0);
    SetPlayed(r, FALSE);
    Effects_KillAllParticles();
    for (int p = 0; p < 2; ++p)
        MuddyCar_RestoreCleanCar(p);
    NetReplay_ResetPlayback();
    return done(1);
}

int Replay_StopPlayback(ReplayHeader* pReplay)
{
    if (pReplay == nullptr || !Replay_IsPlaying(pReplay))
        return 0;
    SetWord(pReplay, REPLAY_PLAYING, 0);
    SetWord(pReplay, REPLAY_SCENE_RUNNING, 0);
    SetWord(pReplay, REPLAY_SCENE_STARTED, 0);
    return 1;
}

BOOL Replay_IsPlaying(const ReplayHeader* pReplay)
{
    return pReplay != nullptr && Replay_GetWord(pReplay, REPLAY_PLAYING) != 0 ? TRUE : FALSE;
}

BOOL Replay_IsRecording(const ReplayHeader* pReplay)
{
    return pReplay != nullptr && Replay_GetWord(pReplay, REPLAY_RECORDING) != 0 ? TRUE : FALSE;
}

BOOL Replay_HasPlayed(const ReplayHeader* pReplay)
{
    const BOOL* pbo = pReplay != nullptr ? PlayedFlag(pReplay) : nullptr;
    return pbo != nullptr ? *pbo : FALSE;
}

namespace
{
// Whether the test holds for any block of either table.
BOOL AnySlot(BOOL (*pfnTest)(const ReplayHeader*))
{
    for (const ReplayHeader* r : gapRecorders)
        if (pfnTest(r))
            return TRUE;
    for (const ReplayHeader* r : gapLoadedReplays)
        if (pfnTest(r))
            return TRUE;
    return FALSE;
}
} // namespace

BOOL Replay_IsAnyRecording(void)
{
    return AnySlot(Replay_IsRecording);
}

BOOL Replay_IsAnyPlaying(void)
{
    return AnySlot(Replay_IsPlaying);
}

void Replay_UpdateAll(void)
{
    for (ReplayHeader* r : gapRecorders)
        if (Replay_IsRecording(r))
            RecordTick(r);
}

void Replay_StepAllPlaybacks(void)
{
    for (ReplayHeader* r : gapRecorders)
        Replay_StepPlayback(r);
    for (ReplayHeader* r : gapLoadedReplays)
        Replay_StepPlayback(r);
}

void Replay_StepPlayback(ReplayHeader* pReplay)
{
    if (!Replay_IsPlaying(pReplay))
        return;
    ReplayHeader* r = pReplay;
    const int nCar = Replay_GetByte(r, REPLAY_CAR);
    const int s = Replay_GetHalf(r, REPLAY_SCENE);
    if (Replay_GetWord(r, REPLAY_SCENE_RUNNING) == 0)
    {
        SetHalf(r, REPLAY_CURSOR, 0);
        SetByte(r, REPLAY_REPEAT_COUNTER, 0);
        SetWord(r, REPLAY_SCENE_STARTED, 1);
        SetWord(r, REPLAY_SCENE_RUNNING, 1);
        return;
    }
    int nCursor = Replay_GetHalf(r, REPLAY_CURSOR);
    if (nCursor < 0)
    {
        // The held start: the car stands on the scene's snapshot, its controls clear but on the
        // last held tick; the first frame plays on the tick after.
        Replay_RestoreGameState(Replay_Snapshot(r, s), nCar);
        if (nCursor != -1)
            ClearHeldControls(gaCarMechanics[nCar]);
        SetHalf(r, REPLAY_CURSOR, static_cast<int16_t>(nCursor + 1));
        return;
    }
    const int nCount = Replay_GetFrameCount(r, s);
    if (nCursor < nCount)
    {
        uint8_t uCounter = Replay_GetByte(r, REPLAY_REPEAT_COUNTER);
        if (Replay_UnpackFrame(Replay_Frame(r, s, nCursor), nCar, &uCounter))
            ++nCursor;
        SetByte(r, REPLAY_REPEAT_COUNTER, uCounter);
        SetHalf(r, REPLAY_CURSOR, static_cast<int16_t>(nCursor));
    }
    if (nCursor >= nCount)
    {
        SetWord(r, REPLAY_SCENE_RUNNING, 0);
        const int nNext = s + 1;
        if (nNext >= Replay_GetHalf(r, REPLAY_SCENES_USED))
        {
            Replay_StopPlayback(r);
            SetPlayed(r, TRUE);
        }
        else
            SetHalf(r, REPLAY_SCENE, static_cast<int16_t>(nNext));
    }
}

int16_t Replay_CountFrames(const ReplayHeader* pReplay)
{
    if (pReplay == nullptr)
        return 0;
    auto* r = const_cast<ReplayHeader*>(pReplay);
    const int nUsed = std::clamp<int>(Replay_GetHalf(r, REPLAY_SCENES_USED), 0, Scenes(r));
    int32_t nTicks = 0;
    for (int s = 0; s < nUsed; ++s)
    {
        const int nLast = std::min<int>(Replay_GetFrameCount(r, s), FramesPerScene(r) - 1);
        for (int k = 0; k <= nLast; ++k)
            nTicks += Repeat(Replay_Frame(r, s, k));
    }
    return static_cast<int16_t>(std::min<int32_t>(nTicks, INT16_MAX));
}

// --- The codec

void Replay_EncodeControls(uint8_t* pFrame, const CarMechanics* pMechanics)
{
    if (pFrame == nullptr || pMechanics == nullptr)
        return;
    uint8_t aControls[REPLAY_FRAME_STATESAVE_SIZE];
    PackControls(aControls, *pMechanics);
    const int nRepeat = std::min(Repeat(pFrame) + 1, static_cast<int>(kRepeatMask));
    pFrame[0] = aControls[0];
    pFrame[1] = aControls[1];
    pFrame[2] = static_cast<uint8_t>(aControls[2] | nRepeat);
    pFrame[3] = aControls[3];
}

BOOL Replay_DecodeControls(const uint8_t* pFrame, CarMechanics* pMechanics, uint8_t* puCounter)
{
    if (pFrame == nullptr || pMechanics == nullptr || puCounter == nullptr)
        return FALSE;
    CarMechanics& m = *pMechanics;
    const bool boLeft = (pFrame[0] & kLeftAnalogue) != 0;
    const bool boRight = (pFrame[0] & kRightAnalogue) != 0;
    const bool boPedal = (pFrame[3] & kPedalAnalogue) != 0;
    m.InputSteerLeft = Amount(pFrame[0] >> 2, boLeft);
    m.InputSteerRight = Amount(pFrame[1] >> 2, boRight);
    const int32_t xPedal = Amount(pFrame[3] & 0x3F, boPedal);
    const bool boAccelerator = (pFrame[3] & kPedalIsAccelerator) != 0;
    m.InputAccel = boAccelerator ? xPedal : 0;
    m.InputBrake = boAccelerator ? 0 : xPedal;
    m.InputHandbrake = (pFrame[2] & kFirstButton) != 0 ? 1 : 0;
    m.InputSecond = (pFrame[2] & kSecondButton) != 0 ? 1 : 0;
    m.InputGearChange = static_cast<int8_t>((pFrame[1] & kGearMask) - 1);
    m.AnalogueSteer = boLeft || boRight ? 1 : 0;
    m.AnalogueThrottle = m.AnalogueBrake = boPedal ? 1 : 0;
    // A run of 0 ticks would never be used up: it lasts one.
    const int nRepeat = std::max(Repeat(pFrame), 1);
    ++*puCounter;
    if (*puCounter < nRepeat)
        return FALSE;
    *puCounter = 0;
    return TRUE;
}

void Replay_PackFrame(uint8_t* pFrame, int nCar)
{
    if (ValidCar(nCar))
        Replay_EncodeControls(pFrame, &gaCarMechanics[nCar]);
}

BOOL Replay_UnpackFrame(const uint8_t* pFrame, int nCar, uint8_t* puCounter)
{
    return ValidCar(nCar) ? Replay_DecodeControls(pFrame, &gaCarMechanics[nCar], puCounter)
                          : FALSE;
}

BOOL Replay_CompareInputFrame(const uint8_t* pFrame, int nCar)
{
    if (pFrame == nullptr || !ValidCar(nCar))
        return FALSE;
    const int nRepeat = Repeat(pFrame);
    if (nRepeat == 0)
        return TRUE;
    if (nRepeat >= REPLAY_MAX_REPEAT)
        return FALSE;
    uint8_t aNow[REPLAY_FRAME_STATESAVE_SIZE];
    PackControls(aNow, gaCarMechanics[nCar]);
    return aNow[0] == pFrame[0] && aNow[1] == pFrame[1] &&
                   aNow[2] == (pFrame[2] & (kFirstButton | kSecondButton)) && aNow[3] == pFrame[3]
               ? TRUE
               : FALSE;
}

// --- Snapshots

void Replay_SaveGameState(uint8_t* pSnapshot, int nCar)
{
    if (pSnapshot == nullptr || !ValidCar(nCar))
        return;
    Damage_WriteRecord(&gaDamage[nCar], pSnapshot + REPLAY_STATE_DAMAGE, DAMAGE_RECORD_IMAGE_SIZE);
    uint8_t aImage[CAR_STATE_IMAGE_SIZE];
    CarModel_WriteState(&gaCarBody[nCar], &gaCarMechanics[nCar], aImage, sizeof aImage);
    SnapshotFromCarImage(pSnapshot, aImage);
    const int nSet = ObjectSet(nCar);
    if (nSet >= 0)
        for (int k = 0; k < HIT_OBJECT_RECORDS; ++k)
            HitObjects_WriteImage(&gaHitObjects[nSet][k],
                                  pSnapshot + REPLAY_STATE_OBJECTS + k * HIT_OBJECT_IMAGE_SIZE,
                                  HIT_OBJECT_IMAGE_SIZE);
    StoreU32(pSnapshot + REPLAY_STATE_CHECKPOINT, static_cast<uint32_t>(gaCatsEyeHead[nCar]));
    // The car takes part in the stage.
    pSnapshot[REPLAY_STATE_ACTIVE] = 1;
    std::memset(pSnapshot + REPLAY_STATE_ACTIVE + 1, 0, 3);
    StoreU32(pSnapshot + REPLAY_STATE_DISTANCE, static_cast<uint32_t>(gaNearestCheckpoint[nCar]));
    StoreU32(pSnapshot + REPLAY_STATE_START_HOLD,
             static_cast<uint32_t>(nCar < 2 ? gaStartHold[nCar] : 0));
}

BOOL Replay_RestoreGameState(const uint8_t* pSnapshot, int nCar)
{
    if (pSnapshot == nullptr || !ValidCar(nCar) ||
        !SnapshotIsSound(pSnapshot, ObjectSet(nCar) >= 0 && !GameData_IsRallySchool()))
        return FALSE;
    CarBody& body = gaCarBody[nCar];
    CarMechanics& mech = gaCarMechanics[nCar];

    // The records keep their links and the car its number; the tyres are set again.
    const int8_t nCarNumber = body.nCarNumber;
    uint8_t aImage[CAR_STATE_IMAGE_SIZE];
    CarImageFromSnapshot(aImage, pSnapshot);
    CarModel_ReadState(&body, &mech, aImage, sizeof aImage);
    body.nCarNumber = nCarNumber;
    Car_SetTyreType(&body, body.TyreType);

    // The display blends from where the car now stands.
    if (nCar < SNAP_RECORDS)
    {
        FfMatCopyTo(&gaSnapCarMatrix[nCar][SNAP_PREVIOUS], &body.Matrix);
        FfMatCopyTo(&gaSnapCarMatrix[nCar][SNAP_CURRENT], &body.Matrix);
    }

    if (body.DamageActive != 0)
        Damage_ReadRecord(&gaDamage[nCar], pSnapshot + REPLAY_STATE_DAMAGE,
                          DAMAGE_RECORD_IMAGE_SIZE);
    Damage_RebuildShapes(&body);
    Effects_ResetTyreMarks();
    Effects_KillAllParticles();

    const int nSet = ObjectSet(nCar);
    if (!GameData_IsRallySchool() && nSet >= 0)
    {
        for (int k = 0; k < HIT_OBJECT_RECORDS; ++k)
            HitObjects_ReadImage(&gaHitObjects[nSet][k],
                                 pSnapshot + REPLAY_STATE_OBJECTS + k * HIT_OBJECT_IMAGE_SIZE,
                                 HIT_OBJECT_IMAGE_SIZE);
        HitObjects_Reset(nSet);
    }

    gaCatsEyeHead[nCar] = SnapshotWord(pSnapshot, REPLAY_STATE_CHECKPOINT);
    gaNearestCheckpoint[nCar] = SnapshotWord(pSnapshot, REPLAY_STATE_DISTANCE);
    if (nCar < 2)
        gaStartHold[nCar] = SnapshotWord(pSnapshot, REPLAY_STATE_START_HOLD);
    ResetFinishFlags();
    return TRUE;
}

// --- What the game flow plays

void Replay_ResetGhostFlags(void) {}

ReplayHeader* Replay_GetPlayerSlot(int nPlayer)
{
    if (nPlayer < 0 || nPlayer >= REPLAY_SLOTS)
        return nullptr;
    if (GameData_IsAttractDemo() && nPlayer == 0)
        return gapLoadedReplays[0];
    return gapRecorders[nPlayer];
}

ReplayHeader* Replay_GetPodiumSlot(int nSlot)
{
    return nSlot >= 0 && nSlot < REPLAY_SLOTS ? gapLoadedReplays[nSlot] : nullptr;
}

void PlayDonutReplay(void) {}

void Replay_WriteRecordersForTests(void)
{
    const char* pszDir = ReplayOutDirectory();
    if (pszDir == nullptr)
        return;
    for (int n = 0; n < REPLAY_SLOTS; ++n)
    {
        ReplayHeader* r = gapRecorders[n];
        if (r == nullptr)
            continue;
        char path[1024];
        std::snprintf(path, sizeof path, "%s/recorder%d.REP", pszDir, n);
        FILE* pFile = std::fopen(path, "wb");
        const uint64_t uSize = Replay_GetBlockSize(r);
        if (pFile == nullptr || std::fwrite(r, 1, uSize, pFile) != uSize)
            std::fprintf(stderr, "DEZOR_REPLAY_OUT: cannot write %s\n", path);
        if (pFile != nullptr)
            std::fclose(pFile);
    }
}
