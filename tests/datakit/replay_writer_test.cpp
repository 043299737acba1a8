// The replay writer: how a tick's controls become a frame, how runs become frames, the file's
// layout, the runs text it reads, and the demo drive built into the program.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/datakit/file_io.h"
#include "tools/datakit/replay_writer.h"

namespace
{

using Bytes = std::vector<uint8_t>;
using datakit::ReplayFrame;
using datakit::ReplayRun;

constexpr int32_t kHalf = 32768;
constexpr int32_t kOne = 65536;
constexpr int32_t kDigitalOn = 65470; // what a key press gives

uint32_t U32(const Bytes& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

int16_t I16(const Bytes& b, size_t at)
{
    return static_cast<int16_t>(b[at] | b[at + 1] << 8);
}

ReplayRun Accelerating(int ticks)
{
    ReplayRun run;
    run.ticks = ticks;
    run.accel = kDigitalOn;
    return run;
}

std::vector<int> Lengths(const std::vector<ReplayFrame>& frames)
{
    std::vector<int> ticks;
    for (const ReplayFrame& f : frames)
        ticks.push_back(f[2] & 0x3F);
    return ticks;
}

TEST(ReplayFrameEncoder, PacksEachControlWhereTheFrameKeepsIt)
{
    const struct
    {
        const char* name;
        std::function<void(ReplayRun&)> set;
        ReplayFrame frame; // of one tick
    } cases[] = {
        {"nothing pressed: gear field 1 (no change), the brake's 0",
         [](ReplayRun&) {},
         {0x00, 0x01, 0x01, 0x00}},
        {"analogue steer left 0.5 records 32",
         [](ReplayRun& r)
         {
             r.steerLeft = kHalf;
             r.analogueLeft = true;
         },
         {32 << 2 | 1, 0x01, 0x01, 0x00}},
        {"analogue steer right 1.0 records 63, not 0",
         [](ReplayRun& r)
         {
             r.steerRight = kOne;
             r.analogueRight = true;
         },
         {0x02, 63 << 2 | 1, 0x01, 0x00}},
        {"an analogue amount under 1/64 records 0, its bit still set",
         [](ReplayRun& r)
         {
             r.steerLeft = 1023;
             r.analogueLeft = true;
         },
         {0x01, 0x01, 0x01, 0x00}},
        {"a digital press records 1 whatever its amount",
         [](ReplayRun& r)
         {
             r.steerLeft = kDigitalOn;
             r.steerRight = 5;
         },
         {1 << 2, 1 << 2 | 1, 0x01, 0x00}},
        {"a down-shift records gear field 0",
         [](ReplayRun& r) { r.gear = -1; },
         {0x00, 0x00, 0x01, 0x00}},
        {"an up-shift records gear field 2",
         [](ReplayRun& r) { r.gear = 1; },
         {0x00, 0x02, 0x01, 0x00}},
        {"the accelerator above zero is the pedal kept, bit 6 set",
         [](ReplayRun& r)
         {
             r.accel = kHalf;
             r.brake = kOne;
             r.analoguePedal = true;
         },
         {0x00, 0x01, 0x01, 32 | 0x40 | 0x80}},
        {"else the brake, bit 6 clear",
         [](ReplayRun& r)
         {
             r.brake = kOne / 4;
             r.analoguePedal = true;
         },
         {0x00, 0x01, 0x01, 16 | 0x80}},
        {"a digital brake records 1",
         [](ReplayRun& r) { r.brake = kDigitalOn; },
         {0x00, 0x01, 0x01, 1}},
        {"a digital accelerator records 1 with bit 6",
         [](ReplayRun& r) { r.accel = kDigitalOn; },
         {0x00, 0x01, 0x01, 1 | 0x40}},
        {"the first button is byte 2's bit 7",
         [](ReplayRun& r) { r.firstButton = 1; },
         {0x00, 0x01, 0x81, 0x00}},
        {"the second button is byte 2's bit 6",
         [](ReplayRun& r) { r.secondButton = 1; },
         {0x00, 0x01, 0x41, 0x00}},
    };
    for (const auto& c : cases)
    {
        ReplayRun run;
        c.set(run);
        EXPECT_EQ(datakit::EncodeReplayFrame(run, 1), c.frame) << c.name;
    }
    ReplayRun both;
    both.firstButton = both.secondButton = 1;
    EXPECT_EQ(datakit::EncodeReplayFrame(both, 63)[2], 0xFF) << "63 ticks beside both buttons";
}

TEST(ReplayFrameEncoder, RefusesControlsAFrameCannotHold)
{
    const struct
    {
        const char* name;
        std::function<void(ReplayRun&)> set;
        int ticks;
    } cases[] = {
        {"a negative steer amount", [](ReplayRun& r) { r.steerRight = -1; }, 1},
        {"a negative analogue brake",
         [](ReplayRun& r)
         {
             r.brake = -kHalf;
             r.analoguePedal = true;
         },
         1},
        {"button 1 at 2", [](ReplayRun& r) { r.firstButton = 2; }, 1},
        {"button 2 at -1", [](ReplayRun& r) { r.secondButton = -1; }, 1},
        {"gear 2", [](ReplayRun& r) { r.gear = 2; }, 1},
        {"gear -2", [](ReplayRun& r) { r.gear = -2; }, 1},
        {"a frame of 0 ticks", [](ReplayRun&) {}, 0},
        {"a frame of 64 ticks", [](ReplayRun&) {}, 64},
    };
    for (const auto& c : cases)
    {
        ReplayRun run;
        c.set(run);
        EXPECT_THROW(datakit::EncodeReplayFrame(run, c.ticks), datakit::Error) << c.name;
    }
}

TEST(ReplayFrames, SplitRunsAsTheRecorderDoes)
{
    ReplayRun left;
    left.ticks = 10;
    left.steerLeft = kDigitalOn;
    ReplayRun pressedLightly = Accelerating(40);
    pressedLightly.accel = 1; // digital: encodes as the full press
    const struct
    {
        const char* name;
        std::vector<ReplayRun> runs;
        std::vector<int> ticks;
    } cases[] = {
        {"130 ticks of the same controls: 63, 63 and 4", {Accelerating(130)}, {63, 63, 4}},
        {"exactly 63 ticks: one frame", {Accelerating(63)}, {63}},
        {"64 ticks: 63 and 1", {Accelerating(64)}, {63, 1}},
        {"two runs that encode alike carry one frame on",
         {Accelerating(40), pressedLightly},
         {63, 17}},
        {"a change of controls starts a frame",
         {Accelerating(40), left, Accelerating(5)},
         {40, 10, 5}},
        {"no runs, no frames", {}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Lengths(datakit::ReplayFrames(c.runs)), c.ticks) << c.name;

    const std::vector<ReplayFrame> frames = datakit::ReplayFrames({Accelerating(130)});
    for (const ReplayFrame& f : frames)
        EXPECT_EQ(f[3], 1 | 0x40) << "every piece keeps the run's controls";
}

TEST(ReplayFrames, RefuseEmptyRunsAndMoreFramesThanASceneHolds)
{
    for (int ticks : {0, -5})
    {
        try
        {
            datakit::ReplayFrames({Accelerating(10), Accelerating(ticks)});
            ADD_FAILURE() << ticks << " ticks accepted";
        }
        catch (const datakit::Error& e)
        {
            EXPECT_NE(std::string(e.what()).find("run 2"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(datakit::ReplayFrames({Accelerating(63 * 32767)}).size(), 32767u);
    EXPECT_THROW(datakit::ReplayFrames({Accelerating(63 * 32767 + 1)}), datakit::Error);
    // Refused before the frames of a huge run are made.
    EXPECT_THROW(datakit::ReplayFrames({Accelerating(INT32_MAX)}), datakit::Error);
}

TEST(ReplayFile, IsTheHeaderOneSnapshotTheFramesAndTheirCount)
{
    Bytes snapshot(datakit::kReplaySnapshotSize);
    for (size_t i = 0; i < snapshot.size(); ++i)
        snapshot[i] = static_cast<uint8_t>(i * 7 + 1);
    ReplayRun brake;
    brake.ticks = 3;
    brake.brake = kDigitalOn;
    const Bytes b = datakit::FormatReplay(snapshot, {Accelerating(70), brake}, 1);
    const size_t frames = 3; // 63, 7, 3
    ASSERT_EQ(b.size(), 64 + 86510 + frames * 4);
    EXPECT_EQ(U32(b, 0), 0u) << "recorded continuously";
    for (size_t at = 4; at < 28; ++at)
        EXPECT_EQ(b[at], 0) << "run-time word byte " << at;
    EXPECT_EQ(b[28], 1) << "car index";
    EXPECT_EQ(b[29], 0) << "repeat counter";
    for (size_t at : {32, 36, 40, 44, 56})
        EXPECT_EQ(U32(b, at), 0u) << "address word at " << at;
    EXPECT_EQ(I16(b, 48), 1) << "N";
    EXPECT_EQ(I16(b, 50), 3) << "M";
    EXPECT_EQ(I16(b, 52), 1) << "scenes used";
    EXPECT_EQ(I16(b, 60), 0) << "scene played";
    EXPECT_EQ(I16(b, 62), 0) << "playback cursor";
    EXPECT_TRUE(std::equal(snapshot.begin(), snapshot.end(), b.begin() + 64));
    const size_t frameAt = 64 + datakit::kReplaySnapshotSize;
    const Bytes expected = {0x00, 0x01, 63, 0x41, 0x00, 0x01, 7, 0x41, 0x00, 0x01, 3, 0x01};
    EXPECT_EQ(Bytes(b.begin() + frameAt, b.begin() + frameAt + 12), expected);
    EXPECT_EQ(I16(b, b.size() - 2), 3) << "the scene plays every frame";

    const Bytes empty = datakit::FormatReplay(snapshot, {});
    ASSERT_EQ(empty.size(), 64 + 86510 + 4u) << "one frame slot with no runs";
    EXPECT_EQ(I16(empty, 50), 1);
    EXPECT_EQ(I16(empty, empty.size() - 2), 0) << "and nothing to play";
    EXPECT_EQ(empty[28], 0) << "car 0 by default";
}

TEST(ReplayFile, RefusesABadSnapshotOrCar)
{
    const Bytes snapshot(datakit::kReplaySnapshotSize);
    for (size_t size :
         {size_t{0}, datakit::kReplaySnapshotSize - 1, datakit::kReplaySnapshotSize + 1})
        EXPECT_THROW(datakit::FormatReplay(Bytes(size), {Accelerating(1)}), datakit::Error) << size;
    for (int car : {-1, 256})
        EXPECT_THROW(datakit::FormatReplay(snapshot, {Accelerating(1)}, car), datakit::Error)
            << car;
    EXPECT_EQ(datakit::FormatReplay(snapshot, {Accelerating(1)}, 255)[28], 255);
}

TEST(ReplayRunsText, ReadsRunsSkippingCommentsAndBlankLines)
{
    const std::vector<ReplayRun> runs =
        datakit::ParseReplayRuns("# TICKS ACCEL BRAKE LEFT RIGHT BUTTON1 BUTTON2 GEAR ANALOGUE\n"
                                 "\n"
                                 "250 65470 0 0 0 0 0 0 0\n"
                                 "   # an indented comment\r\n"
                                 "\t12  0 32768\t0 65536 1 0 -1 6\r\n"
                                 "1 0 0 16384 0 0 1 1 1");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].ticks, 250);
    EXPECT_EQ(runs[0].accel, 65470);
    EXPECT_FALSE(runs[0].analogueLeft || runs[0].analogueRight || runs[0].analoguePedal);
    EXPECT_EQ(runs[1].ticks, 12);
    EXPECT_EQ(runs[1].brake, 32768);
    EXPECT_EQ(runs[1].steerRight, 65536);
    EXPECT_EQ(runs[1].firstButton, 1);
    EXPECT_EQ(runs[1].gear, -1);
    EXPECT_TRUE(!runs[1].analogueLeft && runs[1].analogueRight && runs[1].analoguePedal);
    EXPECT_EQ(runs[2].steerLeft, 16384);
    EXPECT_EQ(runs[2].secondButton, 1);
    EXPECT_EQ(runs[2].gear, 1);
    EXPECT_TRUE(runs[2].analogueLeft && !runs[2].analogueRight && !runs[2].analoguePedal);
    EXPECT_TRUE(datakit::ParseReplayRuns("# nothing\n\n").empty());
}

TEST(ReplayRunsText, RefusesMalformedLinesNamingTheLineAndField)
{
    const struct
    {
        const char* line;
        const char* message; // part of it
    } cases[] = {
        {"250 65470 0 0 0 0 0 0", "ANALOGUE is missing"},
        {"250 65470 0 0 0 0 0 0 0 0", "more follow"},
        {"250 65470 0 0 0 0 0 0 x", "ANALOGUE is not an integer"},
        {"250 1.5 0 0 0 0 0 0 0", "ACCEL is not an integer"},
        {"250,65470 0 0 0 0 0 0 0", "TICKS is not an integer"},
        {"+250 65470 0 0 0 0 0 0 0", "TICKS is not an integer"},
        {"99999999999999999999 0 0 0 0 0 0 0 0", "TICKS is not an integer"},
        {"0 65470 0 0 0 0 0 0 0", "TICKS 0 is not 1 to"},
        {"3000000000 0 0 0 0 0 0 0 0", "TICKS 3000000000 is not 1 to"},
        {"250 -1 0 0 0 0 0 0 0", "ACCEL -1 is not 0 to"},
        {"250 0 0 -5 0 0 0 0 0", "LEFT -5 is not 0 to"},
        {"250 0 0 0 0 2 0 0 0", "BUTTON1 2 is not 0 to 1"},
        {"250 0 0 0 0 0 1 2 0", "GEAR 2 is not -1 to 1"},
        {"250 0 0 0 0 0 0 0 8", "ANALOGUE 8 is not 0 to 7"},
        {"250 65470 0 0 0 0 0 0 0 # a note", "more follow"},
    };
    for (const auto& c : cases)
    {
        const std::string text = std::string("# header\n1 0 0 0 0 0 0 0 0\n") + c.line + "\n";
        try
        {
            datakit::ParseReplayRuns(text);
            ADD_FAILURE() << "accepted: " << c.line;
        }
        catch (const datakit::Error& e)
        {
            const std::string what = e.what();
            EXPECT_NE(what.find("line 3: "), std::string::npos) << what;
            EXPECT_NE(what.find(c.message), std::string::npos) << what;
        }
    }
}

// The files in tools/datakit/golden, whatever drive they hold: the right snapshot size and
// runs the writer takes.
TEST(DemoReplay, IsBuiltFromTheGoldenDrive)
{
    EXPECT_EQ(datakit::DemoDriveSnapshot().size(), datakit::kReplaySnapshotSize);
    const std::vector<ReplayRun> runs = datakit::ParseReplayRuns(datakit::DemoDriveRuns());
    ASSERT_FALSE(runs.empty());
    const Bytes b = datakit::DemoReplay();
    ASSERT_GE(b.size(), 64 + 86510 + 4u);
    const int m = I16(b, 50);
    EXPECT_EQ(b.size(), 64 + 86510 + m * 4u);
    EXPECT_EQ(I16(b, b.size() - 2), m);
    EXPECT_EQ(b[28], 0) << "car 0";
}

} // namespace
