// Replays: the frame codec, the run-length recorder (continuous, by frames a scene and by track
// cameras), the loader and the files it refuses, the player with its held start and its end, the
// car snapshot, and drives recorded and played back through the tick, tick for tick.
#include "game/race/replay.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/hud/catseye.h"
#include "game/race/gameflow.h"
#include "game/race/interp.h"
#include "game/race/keys.h"
#include "game/race/trackcam.h"
#include "game/vehicle/gencoll.h"
#include "game/vehicle/knockedover.h"
#include "tests/game/car_fixture.h"
#include "tests/game/object_grid.h"
#include "tools/bench/car_drive.h"
#include "tools/datakit/file_io.h"
#include "tools/datakit/trackcam_writer.h"

namespace
{

namespace fs = std::filesystem;

constexpr int16_t kFacingPlusZ = -1024;

// The controls a tick's key reader leaves on a car.
struct Controls
{
    int32_t accel = 0, brake = 0, left = 0, right = 0;
    int32_t first = 0, second = 0;
    int gear = 0;
    bool analogueSteer = false, analogueThrottle = false, analogueBrake = false;
};

void Apply(const Controls& c, CarMechanics* m)
{
    m->InputAccel = c.accel;
    m->InputBrake = c.brake;
    m->InputSteerLeft = c.left;
    m->InputSteerRight = c.right;
    m->InputHandbrake = c.first;
    m->InputSecond = c.second;
    m->InputGearChange = static_cast<int8_t>(c.gear);
    m->AnalogueSteer = c.analogueSteer ? 1 : 0;
    m->AnalogueThrottle = c.analogueThrottle ? 1 : 0;
    m->AnalogueBrake = c.analogueBrake ? 1 : 0;
}

Controls Read(const CarMechanics& m)
{
    return {m.InputAccel,        m.InputBrake,         m.InputSteerLeft,
            m.InputSteerRight,   m.InputHandbrake,     m.InputSecond,
            m.InputGearChange,   m.AnalogueSteer != 0, m.AnalogueThrottle != 0,
            m.AnalogueBrake != 0};
}

bool operator==(const Controls& a, const Controls& b)
{
    return a.accel == b.accel && a.brake == b.brake && a.left == b.left && a.right == b.right &&
           a.first == b.first && a.second == b.second && a.gear == b.gear &&
           a.analogueSteer == b.analogueSteer && a.analogueThrottle == b.analogueThrottle &&
           a.analogueBrake == b.analogueBrake;
}

std::ostream& operator<<(std::ostream& os, const Controls& c)
{
    return os << "{accel " << c.accel << " brake " << c.brake << " left " << c.left << " right "
              << c.right << " buttons " << c.first << "," << c.second << " gear " << c.gear
              << " analogue " << c.analogueSteer << c.analogueThrottle << c.analogueBrake << "}";
}

using Frame = std::array<uint8_t, REPLAY_FRAME_STATESAVE_SIZE>;

constexpr int32_t kKey = KEY_FULL_LEVEL; // a digital control on, as the key reader writes it

void PutI16(std::vector<uint8_t>& bytes, size_t at, int16_t n)
{
    bytes[at] = static_cast<uint8_t>(n);
    bytes[at + 1] = static_cast<uint8_t>(static_cast<uint16_t>(n) >> 8);
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t u)
{
    for (int b = 0; b < 4; ++b)
        bytes[at + b] = static_cast<uint8_t>(u >> (8 * b));
}

class ReplayTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        CarModel_SetStepRate(25 * ONE);
        gbo50HzMode = FALSE;
        Interp_ClearAll();
        TrackCam_ResetForTests();
        gpCatsEyes = nullptr;
        gnNumCatsEyes = 0;
        for (int n = 0; n < 8; ++n)
            gaCatsEyeHead[n] = gaNearestCheckpoint[n] = 0;
        gaStartHold[0] = gaStartHold[1] = 0;
        gboSecondPlayerTurn = FALSE;
        gboAllCarsMoveObjects = FALSE;
        gnNumMovingObjects = 0;
        for (auto& set : gaHitObjects)
            for (HitObject& o : set)
                o = HitObject{};
        for (int16_t& n : gaNumMovingInList)
            n = 0;
        output += CaptureOutput([] { Replay_Init(); });
    }
    void TearDown() override
    {
        output += CaptureOutput([] { Replay_Destructor(); });
        TrackCam_ResetForTests();
        gpCatsEyes = nullptr;
        gnNumCatsEyes = 0;
        gnNumMovingObjects = 0;
        CarTest::TearDown();
    }

    // One tick of the recorders with the car's controls set first.
    void RecordTick(const Controls& c, int nCar = 0)
    {
        Apply(c, &gaCarMechanics[nCar]);
        output += CaptureOutput([] { Replay_UpdateAll(); });
    }
    static Frame FrameAt(ReplayHeader* r, int nScene, int nFrame)
    {
        const uint8_t* p = Replay_Frame(r, nScene, nFrame);
        return {p[0], p[1], p[2], p[3]};
    }
    static int RepeatAt(ReplayHeader* r, int nScene, int nFrame)
    {
        return Replay_Frame(r, nScene, nFrame)[2] & 0x3F;
    }
    static std::vector<uint8_t> BlockBytes(const ReplayHeader* r)
    {
        const auto* p = reinterpret_cast<const uint8_t*>(r);
        return {p, p + Replay_GetBlockSize(r)};
    }
    // The bytes as "c:\<name>"; its game path.
    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        datakit::WriteFileAtomically(fs::path(env.DriveC()) / name, bytes);
        return "c:\\" + name;
    }
    ReplayHeader* Load(const std::string& path)
    {
        ReplayHeader* r = nullptr;
        last = CaptureOutput([&] { r = Replay_LoadFile(path.c_str()); });
        output += last;
        return r;
    }
    // A stopped recording of car 0 in one scene of nFrames frames: three ticks of the
    // accelerator, two of the brake, one of both buttons.
    ReplayHeader* SmallRecording(int nFrames = 10)
    {
        ReplayHeader* r = Replay_Create(1, nFrames);
        EXPECT_NE(r, nullptr);
        EXPECT_EQ(Replay_StartRecording(r, 0, 0), 1);
        for (int k = 0; k < 3; ++k)
            RecordTick({.accel = kKey});
        for (int k = 0; k < 2; ++k)
            RecordTick({.brake = kKey});
        RecordTick({.first = 1, .second = 1});
        EXPECT_EQ(Replay_StopRecording(r), 1);
        return r;
    }
    // The car's position for this tick, as the track cameras take it.
    static void PlaceCar(double x, double y, double z)
    {
        const DK_VECTOR p = {Fixed(x), Fixed(y), Fixed(z)};
        DkIdentityMatrix(&gaSnapCarMatrix[0][SNAP_CURRENT]);
        FfMatSetPosition(&p, &gaSnapCarMatrix[0][SNAP_CURRENT]);
    }
    void LoadCameras(const std::vector<datakit::TrackCamera>& cameras)
    {
        TrackCam_LoadCameras(WriteFile("stage.tsc", datakit::FormatTrackCameras(cameras)).c_str());
    }
};

// --- The codec

TEST_F(ReplayTest, TheCodecRecordsSixBitValuesOnePedalTheGearAndButtonsAndPlaysThemBack)
{
    struct Case
    {
        const char* name;
        Controls in;
        Frame frame; // after one tick: repeat count 1
        Controls out;
    } cases[] = {
        {"analogue 0.5 records 32 and plays 32,768",
         {.left = 32768, .analogueSteer = true},
         {0x03 | 32 << 2, 0x01, 0x01, 0x00},
         {.left = 32768, .analogueSteer = true}},
        {"analogue steering right 0.75 records 48 with both steer bits",
         {.right = 49152, .analogueSteer = true},
         {0x03, 0x01 | 48 << 2, 0x01, 0x00},
         {.right = 49152, .analogueSteer = true}},
        {"analogue 1.0 records 63, held there",
         {.accel = ONE, .analogueThrottle = true, .analogueBrake = true},
         {0x00, 0x01, 0x01, 63 | 0x40 | 0x80},
         {.accel = 63 * 1024, .analogueThrottle = true, .analogueBrake = true}},
        {"analogue below 1/64 records 0",
         {.accel = 1023, .analogueThrottle = true, .analogueBrake = true},
         {0x00, 0x01, 0x01, 0x40 | 0x80},
         {.accel = 0, .analogueThrottle = true, .analogueBrake = true}},
        {"a digital press records 1 and plays 65,470",
         {.right = kKey},
         {0x00, 0x01 | 1 << 2, 0x01, 0x00},
         {.right = 65470}},
        {"a digital 1.0 also plays 65,470",
         {.left = ONE},
         {1 << 2, 0x01, 0x01, 0x00},
         {.left = 65470}},
        {"a digital trace records 1", {.brake = 1}, {0x00, 0x01, 0x01, 0x01}, {.brake = 65470}},
        {"a down-shift records gear field 0 and plays -1",
         {.gear = -1},
         {0x00, 0x00, 0x01, 0x00},
         {.gear = -1}},
        {"no shift records 1 and plays 0", {.gear = 0}, {0x00, 0x01, 0x01, 0x00}, {.gear = 0}},
        {"an up-shift records 2", {.gear = 1}, {0x00, 0x02, 0x01, 0x00}, {.gear = 1}},
        {"both pedals keep the accelerator",
         {.accel = kKey, .brake = kKey},
         {0x00, 0x01, 0x01, 0x01 | 0x40},
         {.accel = 65470}},
        {"the brake alone clears the selector",
         {.brake = kKey},
         {0x00, 0x01, 0x01, 0x01},
         {.brake = 65470}},
        {"an analogue brake: the pedal bit from the brake's flag",
         {.brake = 16384, .analogueBrake = true},
         {0x00, 0x01, 0x01, 16 | 0x80},
         {.brake = 16384, .analogueThrottle = true, .analogueBrake = true}},
        {"the accelerator takes its bit from the throttle's flag, not the brake's",
         {.accel = 32768, .analogueBrake = true},
         {0x00, 0x01, 0x01, 0x01 | 0x40},
         {.accel = 65470}},
        {"the first button", {.first = 1}, {0x00, 0x01, 0x01 | 0x80, 0x00}, {.first = 1}},
        {"the second button, any bit set",
         {.second = 0x20},
         {0x00, 0x01, 0x01 | 0x40, 0x00},
         {.second = 1}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarMechanics m{};
        Apply(c.in, &m);
        Frame frame{};
        Replay_EncodeControls(frame.data(), &m);
        EXPECT_EQ(frame, c.frame);
        CarMechanics played{};
        Apply({.accel = 7, .brake = 7, .left = 7, .right = 7, .first = 7, .second = 7, .gear = 7},
              &played);
        uint8_t uCounter = 0;
        EXPECT_TRUE(Replay_DecodeControls(frame.data(), &played, &uCounter));
        EXPECT_EQ(Read(played), c.out);
        EXPECT_EQ(uCounter, 0);
    }
}

TEST_F(ReplayTest, DecodingTakesEachChannelsAnalogueBitAndCountsTheRunsTicks)
{
    // A frame from a file: steer left analogue 10, steer right digital (value 10 read as on),
    // a digital accelerator.
    const Frame mixed = {0x01 | 10 << 2, 0x01 | 10 << 2, 0x03, 0x40 | 5};
    CarMechanics m{};
    uint8_t uCounter = 0;
    EXPECT_FALSE(Replay_DecodeControls(mixed.data(), &m, &uCounter));
    EXPECT_EQ(Read(m),
              (Controls{.accel = 65470, .left = 10240, .right = 65470, .analogueSteer = true}));
    // Only the right bit still makes the steering analogue.
    const Frame right = {0x02, 0x01 | 3 << 2, 0x01, 0x00};
    uint8_t uOther = 0;
    EXPECT_TRUE(Replay_DecodeControls(right.data(), &m, &uOther));
    EXPECT_EQ(m.AnalogueSteer, 1);
    EXPECT_EQ(m.InputSteerRight, 3 * 1024);
    EXPECT_EQ(m.InputSteerLeft, 0);

    // A run of 3 ticks is used up on its third; one of 0 on its first.
    struct Case
    {
        int repeat;
        std::vector<int> used; // the decode's answer tick by tick
    } cases[] = {{3, {0, 0, 1, 0, 0, 1}}, {1, {1, 1}}, {0, {1, 1}}, {63, {}}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.repeat);
        const Frame f = {0x00, 0x01, static_cast<uint8_t>(c.repeat), 0x00};
        uint8_t uTicks = 0;
        for (size_t k = 0; k < c.used.size(); ++k)
            EXPECT_EQ(Replay_DecodeControls(f.data(), &m, &uTicks), c.used[k]) << k;
        if (c.repeat == 63)
        {
            for (int k = 1; k < 63; ++k)
                EXPECT_FALSE(Replay_DecodeControls(f.data(), &m, &uTicks)) << k;
            EXPECT_TRUE(Replay_DecodeControls(f.data(), &m, &uTicks));
        }
    }

    // Encoding counts the ticks of the run up to 63 and writes the buttons of the tick.
    Frame f{};
    CarMechanics held{};
    held.InputHandbrake = 1;
    for (int k = 0; k < 70; ++k)
        Replay_EncodeControls(f.data(), &held);
    EXPECT_EQ(f[2], 0x80 | 63);
    held.InputHandbrake = 0;
    Replay_EncodeControls(f.data(), &held);
    EXPECT_EQ(f[2], 63) << "the button's bit cleared with the tick's controls";
}

// --- The recorder

TEST_F(ReplayTest, UnchangedControlsRecordRunsOfAtMost63Ticks)
{
    ReplayHeader* r = Replay_Create(1, 100);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(Replay_StartRecording(r, 0, 0), 1);
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENES_USED), 0);
    EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_OPEN), 1);
    for (int k = 0; k < 130; ++k)
        RecordTick({.accel = kKey, .left = kKey});
    EXPECT_EQ(Replay_GetFrameCount(r, 0), 2) << "two finished runs and one in progress";
    EXPECT_EQ(RepeatAt(r, 0, 0), 63);
    EXPECT_EQ(RepeatAt(r, 0, 1), 63);
    EXPECT_EQ(RepeatAt(r, 0, 2), 4);
    EXPECT_EQ(FrameAt(r, 0, 2), (Frame{1 << 2, 0x01, 4, 0x41}));
    EXPECT_EQ(Replay_CountFrames(r), 0) << "no scene is closed yet";
    EXPECT_EQ(Replay_StopRecording(r), 1);
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENES_USED), 1);
    EXPECT_EQ(Replay_CountFrames(r), 130) << "the run in progress at the close counts";
    EXPECT_EQ(Replay_StopRecording(r), 0) << "already stopped";
    EXPECT_FALSE(Replay_IsRecording(r));
}

TEST_F(ReplayTest, AnyFieldThatDiffersOpensANewFrameAndFieldsNotStoredDoNot)
{
    const Controls base = {.accel = 40 * 1024,
                           .left = 20 * 1024,
                           .first = 1,
                           .analogueSteer = true,
                           .analogueThrottle = true,
                           .analogueBrake = true};
    // Amounts of 1/64 record 1 whether analogue or not: only the analogue bit differs.
    const Controls low = {.accel = 1024,
                          .left = 1024,
                          .right = 1024,
                          .analogueSteer = true,
                          .analogueThrottle = true,
                          .analogueBrake = true};
    struct Case
    {
        const char* name;
        Controls before;
        std::function<void(Controls&)> change;
        bool opens;
    } cases[] = {
        {"steer left", base, [](Controls& c) { c.left += 1024; }, true},
        {"steer right", base, [](Controls& c) { c.right = 1024; }, true},
        {"the pedal value", base, [](Controls& c) { c.accel = 41 * 1024; }, true},
        {"the pedal selector", base, [](Controls& c) { c.accel = 0, c.brake = 40 * 1024; }, true},
        {"the gear", base, [](Controls& c) { c.gear = 1; }, true},
        {"the first button", base, [](Controls& c) { c.first = 0; }, true},
        {"the second button", base, [](Controls& c) { c.second = 1; }, true},
        {"the steering's analogue bits", low, [](Controls& c) { c.analogueSteer = false; }, true},
        {"the pedal's analogue bit", low, [](Controls& c) { c.analogueThrottle = false; }, true},
        {"an amount within the same 1/64", base, [](Controls& c) { c.accel += 1023; }, false},
        {"a digital amount", {.brake = kKey}, [](Controls& c) { c.brake = ONE / 2; }, false},
        {"the brake under the accelerator", base, [](Controls& c) { c.brake = kKey; }, false},
        {"the brake's flag under the accelerator", base,
         [](Controls& c) { c.analogueBrake = false; }, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        output += CaptureOutput([] { Replay_Destructor(); });
        ReplayHeader* r = Replay_Create(1, 10);
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(Replay_StartRecording(r, 0, 0), 1);
        for (int k = 0; k < 5; ++k)
            RecordTick(c.before);
        Controls changed = c.before;
        c.change(changed);
        RecordTick(changed);
        RecordTick(changed);
        if (c.opens)
        {
            EXPECT_EQ(Replay_GetFrameCount(r, 0), 1);
            EXPECT_EQ(RepeatAt(r, 0, 0), 5);
            EXPECT_EQ(RepeatAt(r, 0, 1), 2);
        }
        else
        {
            EXPECT_EQ(Replay_GetFrameCount(r, 0), 0);
            EXPECT_EQ(RepeatAt(r, 0, 0), 7);
        }
    }
}

TEST_F(ReplayTest, AFullSceneClosesAtMFramesAndRecordingStopsAtNScenesThenBothPlay)
{
    // Two scenes of three frames; every tick's controls differ from the last.
    ReplayHeader* r = Replay_Create(2, 3);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(Replay_StartRecording(r, 0, 0), 1);
    auto tick = [&](int k) { RecordTick({.left = (k + 1) * 1024, .analogueSteer = true}); };
    for (int k = 0; k < 3; ++k)
        tick(k);
    EXPECT_EQ(Replay_GetFrameCount(r, 0), 2);
    tick(3); // the fourth run: the count reaches M and the scene closes, the tick unrecorded
    EXPECT_EQ(Replay_GetFrameCount(r, 0), 3);
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENES_USED), 1);
    EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_OPEN), 0);
    EXPECT_TRUE(Replay_IsRecording(r));
    EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_OPENED), 0);
    tick(4); // opens scene 1, records nothing
    EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_OPEN), 1);
    EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_OPENED), 1);
    EXPECT_EQ(Replay_GetFrameCount(r, 1), 0);
    for (int k = 5; k < 8; ++k)
        tick(k);
    EXPECT_TRUE(Replay_IsRecording(r));
    tick(8);
    EXPECT_FALSE(Replay_IsRecording(r)) << "N scenes used";
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENES_USED), 2);
    EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_OPENED), 0);
    EXPECT_EQ(Replay_CountFrames(r), 6) << "never past M frames a scene";
    tick(9);
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENES_USED), 2) << "stopped";

    // Played: scene 0's three ticks, a tick starting scene 1, its three, then the end.
    ASSERT_EQ(Replay_StartPlayback(r, 0, 0, 0), 1);
    const int32_t expected[] = {1, 2, 3, 3, 6, 7, 8};
    for (int k = 0; k < 7; ++k)
    {
        SCOPED_TRACE(k);
        EXPECT_TRUE(Replay_IsPlaying(r));
        output += CaptureOutput([] { Replay_StepAllPlaybacks(); });
        EXPECT_EQ(gaCarMechanics[0].InputSteerLeft, expected[k] * 1024);
        EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENE), k < 2 ? 0 : 1);
        EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_STARTED), k >= 3 && k < 6 ? 1 : 0);
    }
    EXPECT_FALSE(Replay_IsPlaying(r));
    EXPECT_TRUE(Replay_HasPlayed(r));
}

TEST_F(ReplayTest, CameraCutScenesOpenNearerThan35AndCloseFartherThan50)
{
    // Two cameras 80.0 apart along z; the car's distance is to the nearer.
    LoadCameras({{0, 0, 0, 1}, {0, 0, 80, 1}});
    ReplayHeader* r = Replay_Create(4, 100);
    ASSERT_NE(r, nullptr);
    PlaceCar(0, 0, 5);
    ASSERT_EQ(Replay_StartRecording(r, 1, 0), 1);
    const Controls c = {.accel = kKey};
    RecordTick(c);
    EXPECT_EQ(RepeatAt(r, 0, 0), 1) << "scene 0 is open from the start";

    struct Step
    {
        const char* name;
        double x, z;
        int open;   // the scene-open word after the tick
        int used;   // scenes used
        int opened; // the scene-opened signal
        int repeat; // of the open scene's frame 0
    } steps[] = {
        {"far from both: scene 0 closes", 100, 40, 0, 1, 0, -1},
        {"40.0 from each camera opens none", 0, 40, 0, 1, 0, -1},
        {"and still none", 0, 40, 0, 1, 0, -1},
        {"35.0 opens none", 0, 35, 0, 1, 0, -1},
        {"34.9 opens scene 1, recording nothing yet", 0, 34.9, 1, 1, 1, 0},
        {"recording", 0, 34.9, 1, 1, 1, 1},
        {"40.0 still records", 0, 40, 1, 1, 1, 2},
        {"49.9 still records", 0, -49.9, 1, 1, 1, 3},
        {"near the second camera", 0, 120, 1, 1, 1, 4},
        {"50.1 from the nearest closes", 0, -50.1, 0, 2, 1, -1},
        {"back near opens scene 2", 0, 10, 1, 2, 1, 0},
    };
    for (const Step& s : steps)
    {
        SCOPED_TRACE(s.name);
        PlaceCar(s.x, 0, s.z);
        RecordTick(c);
        EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_OPEN), s.open);
        EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENES_USED), s.used);
        EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_OPENED), s.opened);
        if (s.repeat >= 0)
        {
            EXPECT_EQ(Replay_GetFrameCount(r, s.used), 0);
            EXPECT_EQ(RepeatAt(r, s.used, 0), s.repeat);
        }
        EXPECT_TRUE(Replay_IsRecording(r));
    }
    EXPECT_EQ(Replay_StopRecording(r), 1);
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENES_USED), 3);
    EXPECT_EQ(Replay_CountFrames(r), 1 + 4 + 0) << "each scene's run in progress at its close";
}

TEST_F(ReplayTest, WithoutTrackCamerasACameraCutSceneNeitherRecordsNorCloses)
{
    ReplayHeader* r = Replay_Create(2, 10);
    ASSERT_NE(r, nullptr);
    PlaceCar(0, 0, 0);
    ASSERT_EQ(Replay_StartRecording(r, 1, 0), 1);
    for (int k = 0; k < 5; ++k)
        RecordTick({.accel = kKey});
    EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_OPEN), 1);
    EXPECT_EQ(RepeatAt(r, 0, 0), 0);
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENES_USED), 0);
}

// --- The tables and the loader

TEST_F(ReplayTest, ASixthRecorderIsRefusedWithNothingAllocated)
{
    for (int n = 0; n < REPLAY_SLOTS; ++n)
    {
        ReplayHeader* r = Replay_Create(1, 10);
        ASSERT_NE(r, nullptr) << n;
        EXPECT_EQ(gapRecorders[n], r);
        EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENES), 1);
        EXPECT_EQ(Replay_GetHalf(r, REPLAY_FRAMES), 10);
        EXPECT_EQ(Replay_GetBlockSize(r), 64u + 86510u + 40u);
    }
    const uint32_t uUsed = DkHeapGetBytesUsed();
    EXPECT_EQ(Replay_Create(1, 10), nullptr);
    EXPECT_EQ(DkHeapGetBytesUsed(), uUsed);
    output += CaptureOutput([] { Replay_Destructor(); });
    struct Case
    {
        int scenes, frames;
    } bad[] = {{0, 10}, {1, 0}, {-1, 10}, {1, -5}};
    for (const Case& c : bad)
    {
        SCOPED_TRACE(c.scenes * 1000 + c.frames);
        const uint32_t uBefore = DkHeapGetBytesUsed();
        EXPECT_EQ(Replay_Create(c.scenes, c.frames), nullptr);
        EXPECT_EQ(DkHeapGetBytesUsed(), uBefore);
    }
}

TEST_F(ReplayTest, AFileLoadsWithItsRunTimeWordsCleared)
{
    ReplayHeader* rec = SmallRecording();
    std::vector<uint8_t> bytes = BlockBytes(rec);
    // Saved half-way through a playback: every run-time word set.
    for (int at : {4, 8, 12, 16, 20, 24, 32, 36, 40, 44, 56})
        PutU32(bytes, at, 0x01020304);
    bytes[29] = 9;
    PutI16(bytes, 60, 1);
    PutI16(bytes, 62, -7);
    bytes[28] = 1; // played by car 1
    const std::string path = WriteFile("good.REP", bytes);
    TakeLog();
    ReplayHeader* r = Load(path);
    ASSERT_NE(r, nullptr) << last;
    EXPECT_EQ(CountReports(last), 0) << last;
    EXPECT_EQ(gapLoadedReplays[0], r);
    EXPECT_NE(TakeLog().find("Scene 0 size after loading: 2"), std::string::npos);
    for (ReplayHeaderField f :
         {REPLAY_PLAYING, REPLAY_SCENE_RUNNING, REPLAY_RECORDING, REPLAY_SCENE_OPEN,
          REPLAY_SCENE_STARTED, REPLAY_SCENE_OPENED, REPLAY_SNAPSHOTS_ADDRESS,
          REPLAY_PLAY_SNAPSHOT_ADDRESS, REPLAY_RECORD_SNAPSHOT_ADDRESS, REPLAY_FRAMES_ADDRESS,
          REPLAY_COUNTS_ADDRESS})
        EXPECT_EQ(Replay_GetWord(r, f), 0) << f;
    EXPECT_EQ(Replay_GetByte(r, REPLAY_REPEAT_COUNTER), 0);
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENE), 0);
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_CURSOR), 0);
    EXPECT_EQ(Replay_GetByte(r, REPLAY_CAR), 1);
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_SCENES_USED), 1);
    EXPECT_EQ(Replay_GetFrameCount(r, 0), 2);
    EXPECT_EQ(FrameAt(r, 0, 0), FrameAt(rec, 0, 0));
    EXPECT_EQ(FrameAt(r, 0, 2), FrameAt(rec, 0, 2));
    EXPECT_EQ(Replay_CountFrames(r), 6);
    EXPECT_FALSE(Replay_IsPlaying(r));

    // It plays from its snapshot: three ticks of the accelerator, two of the brake.
    gaCarMechanics[0].InputSteerLeft = 5;
    ASSERT_EQ(Replay_StartPlayback(r, 0, 0, 0), 1);
    for (int k = 0; k < 5; ++k)
    {
        output += CaptureOutput([] { Replay_StepAllPlaybacks(); });
        EXPECT_EQ(gaCarMechanics[0].InputAccel, k < 3 ? 65470 : 0) << k;
        EXPECT_EQ(gaCarMechanics[0].InputBrake, k < 3 ? 0 : 65470) << k;
    }
    EXPECT_TRUE(Replay_HasPlayed(r));
    EXPECT_FALSE(Replay_HasPlayed(rec)) << "each slot its own";
}

TEST_F(ReplayTest, AFileOfTheWrongSizeIsRefusedAndTakesNoSlot)
{
    const std::vector<uint8_t> good = BlockBytes(SmallRecording());
    struct Case
    {
        const char* name;
        size_t size;
    } cases[] = {{"one byte longer", good.size() + 1},
                 {"one byte shorter", good.size() - 1},
                 {"shorter than a header", 10},
                 {"empty", 0}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = good;
        bytes.resize(c.size, 0);
        EXPECT_EQ(Load(WriteFile("sized.REP", bytes)), nullptr);
        if (c.size > 0)
        {
            EXPECT_TRUE(Reported(last, "Replay file size doesn't match structure size, replay "
                                       "not loaded"))
                << last;
        }
        EXPECT_EQ(gapLoadedReplays[0], nullptr);
    }
    EXPECT_EQ(Load("c:\\missing.REP"), nullptr);
    EXPECT_EQ(gapLoadedReplays[0], nullptr);
}

TEST_F(ReplayTest, UnsoundFilesAreRefusedAndTakeNoSlot)
{
    // One scene of 10 frames; scene 0's snapshot at 64, its frame count at the end.
    ReplayHeader* rec = SmallRecording();
    const std::vector<uint8_t> good = BlockBytes(rec);
    const size_t countAt = good.size() - 2;
    // The snapshot scene 0 holds when the live records are spoiled as the case says (and put
    // back after).
    auto snapshot = [&](const std::function<void()>& spoil)
    {
        const CarBody body = gaCarBody[0];
        const CarMechanics mech = gaCarMechanics[0];
        const DamageRecord damage = gaDamage[0];
        const std::vector<HitObject> objects(std::begin(gaHitObjects[0]),
                                             std::end(gaHitObjects[0]));
        const int32_t nHead = gaCatsEyeHead[0];
        const int32_t nObjects = gnNumMovingObjects;
        spoil();
        std::vector<uint8_t> state(REPLAY_GAME_STATESAVE_SIZE);
        Replay_SaveGameState(state.data(), 0);
        gaCarBody[0] = body;
        gaCarMechanics[0] = mech;
        gaDamage[0] = damage;
        std::copy(objects.begin(), objects.end(), gaHitObjects[0]);
        gaCatsEyeHead[0] = nHead;
        gnNumMovingObjects = nObjects;
        return state;
    };
    struct Case
    {
        const char* name;
        const char* cause;                                // in the report
        std::function<void(std::vector<uint8_t>&)> spoil; // the file's bytes
        std::function<void()> spoilCar = nullptr;         // the live records scene 0 is saved from
    } cases[] = {
        {"no scenes", "Replay file size doesn't match structure size",
         [](std::vector<uint8_t>& b) { PutI16(b, REPLAY_SCENES, 0); }},
        {"no frames", "Replay file size doesn't match structure size",
         [](std::vector<uint8_t>& b) { PutI16(b, REPLAY_FRAMES, 0); }},
        {"negative scenes", "Replay file size doesn't match structure size",
         [](std::vector<uint8_t>& b) { PutI16(b, REPLAY_SCENES, -1); }},
        {"N + 1 scenes used", "scenes used out of range",
         [](std::vector<uint8_t>& b) { PutI16(b, REPLAY_SCENES_USED, 2); }},
        {"negative scenes used", "scenes used out of range",
         [](std::vector<uint8_t>& b) { PutI16(b, REPLAY_SCENES_USED, -1); }},
        {"a frame count of M + 1", "frame count out of range",
         [&](std::vector<uint8_t>& b) { PutI16(b, countAt, 11); }},
        {"a negative frame count", "frame count out of range",
         [&](std::vector<uint8_t>& b) { PutI16(b, countAt, -1); }},
        {"car index 8", "car index out of range",
         [](std::vector<uint8_t>& b) { b[REPLAY_CAR] = 8; }},
        {"car type 14", "car type out of range", nullptr,
         [] { gaCarBody[0].nCarType = NUM_CAR_TYPES; }},
        {"gear 8", "gear out of range", nullptr, [] { gaCarMechanics[0].Gear = CAR_GEARS; }},
        {"a track block past the grid", "track block out of range", nullptr,
         [] { gaCarBody[0].nCurrentBlock = MAXTRACKBLOCKS; }},
        {"31 damage parts", "part count out of range", nullptr,
         [] { gaDamage[0].nNoOfParts = DAMAGE_PARTS + 1; }},
        {"a checkpoint past the cat's eyes", "checkpoint 1 out of range", nullptr,
         [] { gaCatsEyeHead[0] = 1; }},
        {"a negative checkpoint", "checkpoint -1 out of range", nullptr,
         [] { gaCatsEyeHead[0] = -1; }},
        {"a knocked-over object on a block past the grid", "block 4096 out of range", nullptr,
         []
         {
             gnNumMovingObjects = 4;
             gaHitObjects[0][3].uBlock = COLL_TRACK_BLOCKS;
         }},
        {"a knocked-over object in state 6", "flags 48", nullptr,
         [] { gaHitObjects[0][499].uFlags = 6 << HIT_STATE_SHIFT; }},
    };
    output += CaptureOutput([] { Replay_Destructor(); });
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = good;
        if (c.spoil)
            c.spoil(bytes);
        if (c.spoilCar)
        {
            const std::vector<uint8_t> state = snapshot(c.spoilCar);
            std::copy(state.begin(), state.end(), bytes.begin() + REPLAY_HEADER_SIZE);
        }
        EXPECT_EQ(Load(WriteFile("unsound.REP", bytes)), nullptr);
        EXPECT_GE(CountReports(last), 1) << last;
        EXPECT_NE(last.find(c.cause), std::string::npos) << last;
        EXPECT_EQ(gapLoadedReplays[0], nullptr);
    }
    // The unspoiled file still loads, in the first slot.
    ReplayHeader* r = Load(WriteFile("good.REP", good));
    EXPECT_NE(r, nullptr) << last;
    EXPECT_EQ(gapLoadedReplays[0], r);
}

TEST_F(ReplayTest, ASixthLoadedFileIsRefused)
{
    const std::string path = WriteFile("five.REP", BlockBytes(SmallRecording()));
    for (int n = 0; n < REPLAY_SLOTS; ++n)
    {
        ReplayHeader* r = Load(path);
        ASSERT_NE(r, nullptr) << n << last;
        EXPECT_EQ(gapLoadedReplays[n], r);
    }
    EXPECT_EQ(Load(path), nullptr);
    EXPECT_EQ(CountReports(last), 1) << last;
    EXPECT_NE(last.find("all 5 replay slots are in use"), std::string::npos) << last;
    for (ReplayHeader* r : gapLoadedReplays)
        EXPECT_EQ(Replay_GetFrameCount(r, 0), 2) << "the five loaded stay as they were";
}

// --- The player

TEST_F(ReplayTest, APlaybackStartsOnlyOnAUsedSceneOfAnIdleReplayAndKeepsTheTurnFlag)
{
    ReplayHeader* r = SmallRecording();
    for (BOOL boTurn : {FALSE, TRUE})
    {
        SCOPED_TRACE(boTurn);
        gboSecondPlayerTurn = boTurn;
        EXPECT_EQ(Replay_StartPlayback(r, 1, 0, 0), 0) << "scene 1 is not below the one used";
        EXPECT_EQ(static_cast<BOOL>(gboSecondPlayerTurn), boTurn);
        EXPECT_EQ(Replay_StartPlayback(nullptr, 0, 0, 0), 0);
        EXPECT_EQ(static_cast<BOOL>(gboSecondPlayerTurn), boTurn);
        EXPECT_EQ(Replay_StartPlayback(r, 0, 0, 0), 1);
        EXPECT_EQ(static_cast<BOOL>(gboSecondPlayerTurn), boTurn);
        EXPECT_EQ(Replay_StartPlayback(r, 0, 0, 0), 0) << "already playing";
        EXPECT_EQ(Replay_StartRecording(r, 0, 0), 0) << "playing";
        EXPECT_EQ(static_cast<BOOL>(gboSecondPlayerTurn), boTurn);
        EXPECT_EQ(Replay_StopPlayback(r), 1);
        EXPECT_EQ(Replay_GetWord(r, REPLAY_PLAYING), 0);
        EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_RUNNING), 0);
        EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_STARTED), 0);
        EXPECT_EQ(Replay_StopPlayback(r), 0) << "not playing";
        EXPECT_FALSE(Replay_HasPlayed(r)) << "stopped before its end";
    }
    // A recorder recording cannot play, and an empty one has no scene.
    ReplayHeader* busy = Replay_Create(1, 10);
    ASSERT_EQ(Replay_StartRecording(busy, 0, 0), 1);
    EXPECT_EQ(Replay_StartPlayback(busy, 0, 0, 0), 0);
    EXPECT_EQ(Replay_StartRecording(busy, 0, 0), 0) << "already recording";
    ReplayHeader* empty = Replay_Create(1, 10);
    EXPECT_EQ(Replay_StartPlayback(empty, 0, 0, 0), 0);
    EXPECT_EQ(Replay_StopPlayback(nullptr), 0);
    EXPECT_EQ(Replay_StopRecording(nullptr), 0);
}

TEST_F(ReplayTest, AHoldOf12TicksRestoresTheSnapshotOn12TicksAndFeedsTheFirstFrameOnThe13th)
{
    CarBody& b = gaCarBody[0];
    CarMechanics& m = gaCarMechanics[0];
    const DK_VECTOR start = {Fixed(3.0), Fixed(1.0), Fixed(40.0)};
    const DK_VECTOR moved = {Fixed(-8.0), Fixed(2.0), Fixed(90.0)};
    b.Position = start;
    m.InputSteerLeft = 12345; // what the snapshot's control words hold
    ReplayHeader* r = Replay_Create(1, 10);
    ASSERT_EQ(Replay_StartRecording(r, 0, 0), 1);
    for (int k = 0; k < 3; ++k)
        RecordTick({.accel = kKey});
    RecordTick({.brake = kKey});
    ASSERT_EQ(Replay_StopRecording(r), 1);

    b.Position = moved;
    ASSERT_EQ(Replay_StartPlayback(r, 0, 12, 0), 1);
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_CURSOR), -12);
    EXPECT_EQ(b.Position.z, start.z) << "restored by the start";
    for (int nTick = 1; nTick <= 14; ++nTick)
    {
        SCOPED_TRACE(nTick);
        b.Position = moved;
        Apply({.accel = 1, .brake = 2, .left = 3, .right = 4}, &m);
        output += CaptureOutput([] { Replay_StepAllPlaybacks(); });
        if (nTick <= 12)
        {
            EXPECT_EQ(b.Position.z, start.z) << "held on the snapshot";
            EXPECT_EQ(Replay_GetHalf(r, REPLAY_CURSOR), nTick - 12);
        }
        else
            EXPECT_EQ(b.Position.z, moved.z) << "driving";
        if (nTick <= 11)
            EXPECT_EQ(Read(m), Controls{}) << "the four control words clear";
        else if (nTick == 12)
            EXPECT_EQ(m.InputSteerLeft, 12345) << "the last held tick keeps the snapshot's";
        else
            EXPECT_EQ(Read(m), (Controls{.accel = 65470})) << "the first frame";
    }
    EXPECT_EQ(Replay_GetHalf(r, REPLAY_CURSOR), 0);
    EXPECT_EQ(Replay_GetByte(r, REPLAY_REPEAT_COUNTER), 2);
}

TEST_F(ReplayTest, PlaybackStopsByItselfAfterTheLastFinishedFrame)
{
    ReplayHeader* r = Replay_Create(1, 100);
    ASSERT_EQ(Replay_StartRecording(r, 0, 0), 1);
    for (int k = 0; k < 130; ++k)
        RecordTick({.right = kKey});
    ASSERT_EQ(Replay_StopRecording(r), 1);
    EXPECT_EQ(Replay_CountFrames(r), 130);
    for (int nRound = 0; nRound < 2; ++nRound)
    {
        SCOPED_TRACE(nRound);
        ASSERT_EQ(Replay_StartPlayback(r, 0, 0, 0), 1);
        EXPECT_FALSE(Replay_HasPlayed(r));
        // The two finished runs of 63 play; the run in progress at the close does not.
        int nTicks = 0;
        while (Replay_IsPlaying(r) && nTicks < 200)
        {
            output += CaptureOutput([] { Replay_StepAllPlaybacks(); });
            ++nTicks;
        }
        EXPECT_EQ(nTicks, 126);
        EXPECT_TRUE(Replay_HasPlayed(r));
        EXPECT_EQ(Replay_GetWord(r, REPLAY_SCENE_RUNNING), 0);
        EXPECT_EQ(gaCarMechanics[0].InputSteerRight, 65470);
    }
}

// --- Snapshots

TEST_F(ReplayTest, ARestoreKeepsTheLiveCarsNumberAndLinksAndTakesTheSavedState)
{
    StandOn("flat-tarmac");
    ASSERT_TRUE(SetUpCar(0, 0, 0.0, 0.0, 10.0, kFacingPlusZ)) << last;
    ASSERT_TRUE(SetUpCar(1, 0, 6.0, 0.0, 30.0, kFacingPlusZ)) << last;
    gnNumMechCars = 2;
    for (int k = 0; k < 50; ++k)
        output += CaptureOutput([] { UpdateMechanics(); });
    drive::ReleaseCar(0);
    drive::ReleaseCar(1);
    std::vector<CatsEyeRecord> eyes(10);
    gpCatsEyes = eyes.data();
    gnNumCatsEyes = 10;
    // Car 0's state, its player's words and a knocked-over object of set 0.
    gaCatsEyeHead[0] = 7;
    gaNearestCheckpoint[0] = 1234;
    gaStartHold[0] = 33;
    gaDamage[0].DamageValue[7] = ONE / 3;
    DK_ACTOR* pObjectActor = DkCreateActor(world);
    gnNumMovingObjects = 3;
    HitObject& o = gaHitObjects[0][2];
    o.pActor = pObjectActor;
    o.Position = o.Translation = {Fixed(20.0), Fixed(0.5), Fixed(60.0)};
    o.aRows[0] = {ONE, 0, 0};
    o.aRows[1] = {0, ONE, 0};
    o.aRows[2] = {0, 0, ONE};
    std::vector<uint8_t> state(REPLAY_GAME_STATESAVE_SIZE, 0xEE);
    Replay_SaveGameState(state.data(), 0);
    EXPECT_EQ(state[REPLAY_STATE_ACTIVE], 1);
    const CarBody saved = gaCarBody[0];

    // Car 0 drives on; the words and the object change.
    gaCarMechanics[0].InputAccel = kKey;
    for (int k = 0; k < 30; ++k)
        output += CaptureOutput([] { UpdateMechanics(); });
    ASSERT_GT(gaCarBody[0].Position.z, saved.Position.z + ONE);
    gaCatsEyeHead[0] = 2;
    gaNearestCheckpoint[0] = 0;
    gaStartHold[0] = 0;
    gaDamage[0].DamageValue[7] = 0;
    o.Position = o.Translation = {Fixed(25.0), Fixed(3.0), Fixed(70.0)};

    struct Case
    {
        const char* name;
        int car;
        bool objects; // the object set is restored with this car
    } cases[] = {{"on car 1", 1, false}, {"on car 0", 0, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarBody& b = gaCarBody[c.car];
        const CarBody live = b;
        gaSnapCarMatrix[c.car][SNAP_PREVIOUS] = gaSnapCarMatrix[c.car][SNAP_CURRENT] = DK_MATRIX{};
        // The live wheel actors stand elsewhere than the saved wheel positions.
        for (int w = 0; w < CAR_WHEELS; ++w)
            b.paWheel[w]->Local.m[3][1] += ONE / 4;
        BOOL boRestored = FALSE;
        output += CaptureOutput([&] { boRestored = Replay_RestoreGameState(state.data(), c.car); });
        ASSERT_TRUE(boRestored);
        EXPECT_EQ(b.nCarNumber, c.car) << "the live car number";
        EXPECT_EQ(b.paCar, live.paCar);
        for (int w = 0; w < CAR_WHEELS; ++w)
            EXPECT_EQ(b.paWheel[w], live.paWheel[w]) << w;
        EXPECT_EQ(b.paBodyDummy, live.paBodyDummy);
        EXPECT_EQ(b.pMatrix, &b.Matrix);
        EXPECT_EQ(0, std::memcmp(&b.Position, &saved.Position, sizeof b.Position));
        EXPECT_EQ(0, std::memcmp(&b.Velocity, &saved.Velocity, sizeof b.Velocity));
        EXPECT_EQ(0, std::memcmp(&b.Matrix, &saved.Matrix, sizeof b.Matrix));
        EXPECT_EQ(0, std::memcmp(&b.UpAxis, &saved.UpAxis, sizeof b.UpAxis));
        EXPECT_EQ(0, std::memcmp(b.WheelRestPosition, saved.WheelRestPosition,
                                 sizeof b.WheelRestPosition))
            << "the saved wheel positions, not the wheel actors'";
        for (int s : {SNAP_PREVIOUS, SNAP_CURRENT})
            EXPECT_EQ(0, std::memcmp(&gaSnapCarMatrix[c.car][s], &b.Matrix, sizeof b.Matrix)) << s;
        EXPECT_EQ(gaCatsEyeHead[c.car], 7);
        EXPECT_EQ(gaNearestCheckpoint[c.car], 1234);
        EXPECT_EQ(gaStartHold[c.car], 33);
        EXPECT_EQ(gaDamage[c.car].DamageValue[7], ONE / 3);
        EXPECT_EQ(o.Position.x, Fixed(c.objects ? 20.0 : 25.0));
        EXPECT_EQ(o.pActor, pObjectActor) << "the object keeps its actor";
        if (c.objects)
        {
            EXPECT_EQ(pObjectActor->Local.m[3][2], Fixed(60.0)) << "written back to its actor";
        }
    }
    gpCatsEyes = nullptr;
    gnNumCatsEyes = 0;
}

TEST_F(ReplayTest, ARestoreRefusesASnapshotThatDoesNotReadAndLeavesTheCar)
{
    gaCarBody[0].Position = {ONE, 2 * ONE, 3 * ONE};
    std::vector<uint8_t> state(REPLAY_GAME_STATESAVE_SIZE);
    Replay_SaveGameState(state.data(), 0);
    PutU32(state, REPLAY_STATE_CHECKPOINT, 4); // no cat's eyes
    gaCarBody[0].Position = {};
    std::string out;
    BOOL boRestored = TRUE;
    out = CaptureOutput([&] { boRestored = Replay_RestoreGameState(state.data(), 0); });
    EXPECT_FALSE(boRestored);
    EXPECT_EQ(CountReports(out), 1) << out;
    EXPECT_EQ(gaCarBody[0].Position.x, 0) << "unchanged";
    EXPECT_FALSE(Replay_RestoreGameState(state.data(), MAX_CARS));
    EXPECT_FALSE(Replay_RestoreGameState(nullptr, 0));
}

// --- A drive through the tick, played back

// What the comparison looks at each tick: the car's position and frame, and the objects'
// positions.
std::vector<int32_t> Pose(int nObjects)
{
    const CarBody& b = gaCarBody[0];
    std::vector<int32_t> pose;
    for (const DK_VECTOR* v : {&b.Position, &b.OrientRow0, &b.UpAxis, &b.OrientRow2})
        pose.insert(pose.end(), {v->x, v->y, v->z});
    for (const auto& row : b.Matrix.m)
        pose.insert(pose.end(), std::begin(row), std::end(row));
    for (int i = 0; i < nObjects; ++i)
    {
        const DK_VECTOR& p = gaHitObjects[0][i].Position;
        pose.insert(pose.end(), {p.x, p.y, p.z});
    }
    return pose;
}

class ReplayDriveTest : public ReplayTest
{
protected:
    // Records nTicks of the script on car 0 through the tick from where it stands, then plays
    // the recording back on it: every played tick poses the car (and the first nObjects objects
    // of set 0) as the recorded tick did. The ticks played.
    int RecordAndPlay(const std::function<Controls(int)>& script, int nTicks, int nObjects)
    {
        ReplayHeader* r = Replay_Create(1, 2000);
        EXPECT_NE(r, nullptr);
        EXPECT_EQ(Replay_StartRecording(r, 0, 0), 1);
        std::vector<std::vector<int32_t>> recorded;
        for (int t = 0; t < nTicks; ++t)
        {
            Apply(script(t), &gaCarMechanics[0]);
            output += CaptureOutput([] { UpdateMechanics(); });
            recorded.push_back(Pose(nObjects));
        }
        EXPECT_EQ(Replay_StopRecording(r), 1);
        EXPECT_EQ(Replay_CountFrames(r), nTicks);
        // The run in progress at the stop is not played.
        const int nFinished = nTicks - RepeatAt(r, 0, Replay_GetFrameCount(r, 0));
        int nPlayed = 0;
        EXPECT_EQ(Replay_StartPlayback(r, 0, 0, 0), 1);
        while (Replay_IsPlaying(r) && nPlayed < nTicks)
        {
            output += CaptureOutput([] { UpdateMechanics(); });
            EXPECT_EQ(Pose(nObjects), recorded[nPlayed]) << "tick " << nPlayed;
            if (HasFailure())
                break;
            ++nPlayed;
        }
        EXPECT_EQ(nPlayed, nFinished);
        EXPECT_FALSE(Replay_IsPlaying(r));
        return nPlayed;
    }
};

// Analogue values whole 1/64ths and digital ones as the keys give them, so that the frames hold
// the drive exactly.
Controls FlatDrive(int t)
{
    Controls c;
    if (t < 60)
        c.accel = kKey;
    else if (t < 90)
        c = {.accel = kKey, .left = kKey};
    else if (t < 120)
        c = {.accel = 40 * 1024,
             .right = 30 * 1024,
             .analogueSteer = true,
             .analogueThrottle = true,
             .analogueBrake = true};
    else if (t < 160)
        c = {.accel = kKey, .first = t >= 140 && t < 146 ? 1 : 0, .gear = t == 120 ? 1 : 0};
    else if (t < 200)
        c.brake = kKey;
    else if (t < 240)
        c = {.accel = 63 * 1024,
             .left = 20 * 1024,
             .gear = t == 200 ? -1 : 0,
             .analogueSteer = true,
             .analogueThrottle = true,
             .analogueBrake = true};
    else
        c = {.accel = kKey, .right = kKey, .second = t % 20 < 3 ? 1 : 0};
    return c;
}

TEST_F(ReplayDriveTest, ADriveOnTarmacWithObjectsInFlightPlaysBackTickForTick)
{
    StandOn("flat-tarmac");
    // The object grid of 16.0 blocks the knocked-over objects are filed on.
    SetObjectGrid();
    Coll_ClearAll();
    ASSERT_TRUE(SetUpCar(0, 0, 0.0, 0.0, 10.0, kFacingPlusZ)) << last;
    gnNumMechCars = 1;
    for (int k = 0; k < 50; ++k)
        output += CaptureOutput([] { UpdateMechanics(); });
    drive::ReleaseCar(0);
    // Three boxes far off the car's way, struck as the recording starts.
    constexpr int kObjects = 3;
    gnNumMovingObjects = kObjects;
    for (int i = 0; i < kObjects; ++i)
    {
        HitObject& o = gaHitObjects[0][i];
        MakeKnockableBox(&o, DkCreateActor(world),
                         {Fixed(-15.0 + 5.0 * i), Fixed(0.5), Fixed(180.0)}, 1,
                         static_cast<uint16_t>(i + 1));
        o.uFlags |= HIT_STATE_HIT << HIT_STATE_SHIFT;
        o.Impulse = {Fixed(1500.0), Fixed(300.0 + 100.0 * i), Fixed(200.0)};
        o.SpinImpulse = {Fixed(-300.0), 0, Fixed(-500.0)};
    }
    EXPECT_GT(RecordAndPlay(FlatDrive, 300, kObjects), 250);
    EXPECT_GT(gaCarBody[0].Position.z, Fixed(40.0)) << "it drove";
    EXPECT_NE(gaHitObjects[0][0].Position.x, Fixed(-15.0)) << "the objects flew";
}

TEST_F(ReplayDriveTest, ADriveThatRollsAndDentsTheCarPlaysBackTickForTick)
{
    // The determinism scenario's field: its kicker rolls the first car, whose landings damage
    // it; only that car runs.
    bool boReady = false;
    output += CaptureOutput([&] { boReady = drive::SetUpScenario(world, 25); });
    ASSERT_TRUE(boReady) << output;
    gnNumMechCars = 1;
    ASSERT_NE(gaCarBody[0].DamageActive, 0);
    auto damage = []
    {
        int32_t xSum = 0;
        for (int32_t xValue : gaDamage[0].DamageValue)
            xSum |= xValue;
        return xSum;
    };
    ASSERT_EQ(damage(), 0);
    EXPECT_GT(RecordAndPlay(
                  [](int t)
                  {
                      if (t < 40)
                          return Controls{.accel = kKey};
                      if (t < 65)
                          return Controls{.accel = kKey, .left = kKey};
                      return Controls{.brake = kKey};
                  },
                  150, 0),
              100);
    EXPECT_NE(damage(), 0) << "dented";
    drive::ClearLines();
}

} // namespace
