// The track-camera and start-position writers: their bytes, what they refuse, the demo stage's
// cameras and starts against its road, and the commands that write them from a list.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "tests/support/test_env.h"
#include "tools/datakit/file_io.h"
#include "tools/datakit/hud_writer.h"
#include "tools/datakit/stage_writer.h"
#include "tools/datakit/trackcam_writer.h"

namespace
{

using Bytes = std::vector<uint8_t>;

uint32_t U32(const Bytes& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

int16_t I16(const Bytes& b, size_t at)
{
    return static_cast<int16_t>(b[at] | b[at + 1] << 8);
}

TEST(TrackCameraWriter, StoresSixteenByteRecords)
{
    const Bytes b = datakit::FormatTrackCameras({{1.5, -2.0, 300.25, 6, -2}, {0, 0, 0, 2, 400}});
    ASSERT_EQ(b.size(), 32u);
    EXPECT_EQ(U32(b, 0), 0x18000u);
    EXPECT_EQ(U32(b, 4), 0xFFFE0000u);
    EXPECT_EQ(U32(b, 8), 0x12C4000u);
    EXPECT_EQ(b[12], 6);
    EXPECT_EQ(b[13], 0) << "padding";
    EXPECT_EQ(I16(b, 14), -2);
    EXPECT_EQ(b[16 + 12], 2);
    EXPECT_EQ(I16(b, 16 + 14), 400);
    EXPECT_TRUE(datakit::FormatTrackCameras({}).empty());
}

TEST(StartPositionWriter, StoresPositionsThenRotationsPerSet)
{
    datakit::StartSet first = {};
    first[0] = {1, 2, 3, {10, 20, 30}};
    first[1] = {-4, 5, 6, {-1, 4095, 0}};
    datakit::StartSet second = first;
    second[1].z = 7.5;
    const Bytes b = datakit::FormatStartPositions({first, second});
    ASSERT_EQ(b.size(), 80u);
    EXPECT_EQ(U32(b, 0), 0x10000u);
    EXPECT_EQ(U32(b, 8), 0x30000u);
    EXPECT_EQ(U32(b, 12), 0xFFFC0000u) << "car 2's position follows car 1's";
    for (int a = 0; a < 3; ++a)
        EXPECT_EQ(I16(b, 24 + 2 * a), 10 * (a + 1)) << "car 1's angles after both positions";
    EXPECT_EQ(I16(b, 30), 0) << "padding";
    EXPECT_EQ(I16(b, 32), -1);
    EXPECT_EQ(I16(b, 34), 4095);
    EXPECT_EQ(U32(b, 40 + 20), 0x78000u) << "the second set directly behind the first";
    EXPECT_EQ(datakit::FormatStartPositions({first}).size(), 40u);
}

TEST(TrackCameraWriter, RefusesWhatTheFilesCannotHold)
{
    const datakit::StartSet set = {};
    const struct
    {
        const char* name;
        std::function<void()> write;
    } cases[] = {
        {"kind 7", [] { datakit::FormatTrackCameras({{0, 0, 0, 7, 0}}); }},
        {"kind -1", [] { datakit::FormatTrackCameras({{0, 0, 0, -1, 0}}); }},
        {"a link of 32,768", [] { datakit::FormatTrackCameras({{0, 0, 0, 2, 32768}}); }},
        {"a camera at 32,768.0", [] { datakit::FormatTrackCameras({{0, 32768.0, 0, 1, 0}}); }},
        {"no start set", [] { datakit::FormatStartPositions({}); }},
        {"three start sets", [&] { datakit::FormatStartPositions({set, set, set}); }},
        {"an angle of 32,768",
         []
         {
             datakit::StartSet s = {};
             s[1].angles[2] = 32768;
             datakit::FormatStartPositions({s});
         }},
        {"a start at -40,000.0",
         []
         {
             datakit::StartSet s = {};
             s[0].x = -40000.0;
             datakit::FormatStartPositions({s});
         }},
    };
    for (const auto& c : cases)
        EXPECT_THROW(c.write(), datakit::Error) << c.name;
}

// How far a point lies from the demo road's centre line, across it (nearly square to it).
double Across(double x, double z)
{
    const datakit::StagePoint c = datakit::DemoCentreLine(z);
    return (x - c.x) * c.dz;
}

// The heading a car at this angle faces: its forward axis (cos a, 0, -sin a).
void Facing(int angle, double* pdx, double* pdz)
{
    const double a = angle * 2 * 3.14159265358979 / 4096;
    *pdx = std::cos(a);
    *pdz = -std::sin(a);
}

TEST(DemoTrackCameras, StandBesideTheRoadOfEveryKindAndKindTwoBesideACatsEye)
{
    const std::vector<datakit::TrackCamera> cameras = datakit::DemoTrackCameras();
    const std::vector<datakit::CatsEye> eyes = datakit::DemoCatsEyes();
    std::set<int> kinds;
    double lastZ = 0;
    for (size_t i = 0; i < cameras.size(); ++i)
    {
        SCOPED_TRACE(i);
        const datakit::TrackCamera& c = cameras[i];
        kinds.insert(c.kind);
        EXPECT_GT(c.z, lastZ) << "up the road in order";
        lastZ = c.z;
        EXPECT_GT(std::abs(Across(c.x, c.z)), datakit::kDemoRoadHalfWidth) << "off the road";
        EXPECT_LT(std::abs(Across(c.x, c.z)), 10.0);
        EXPECT_GT(c.y, datakit::DemoGroundHeight(c.x, c.z) + 1.0) << "above the ground";
        if (c.kind != 2)
            continue;
        ASSERT_GE(c.link, 0);
        ASSERT_LT(c.link, static_cast<int>(eyes.size()));
        const double dx = eyes[c.link].x - c.x, dz = eyes[c.link].z - c.z;
        EXPECT_LT(std::hypot(dx, dz), 75.0) << "the linked cat's eye is in range";
        bool beside = false;
        for (const datakit::CatsEye& e : eyes)
            beside = beside || std::hypot(e.x - c.x, e.z - c.z) < 10.0;
        EXPECT_TRUE(beside);
    }
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_GT(cameras.front().z, datakit::kDemoRoadStart);
    EXPECT_LT(cameras.back().z, datakit::kDemoFinishZ);
    // The director cuts to a camera within 75.0: the road has one all along.
    for (double z = cameras.front().z; z < cameras.back().z; z += 5.0)
    {
        const datakit::StagePoint p = datakit::DemoCentreLine(z);
        double nearest = 1e9;
        for (const datakit::TrackCamera& c : cameras)
            nearest = std::min(nearest, std::hypot(c.x - p.x, c.z - p.z));
        EXPECT_LT(nearest, 75.0) << z;
    }
}

TEST(DemoStartPositions, TwoCarsSideBySideOnTheRoadFacingAlongIt)
{
    const std::vector<datakit::StartSet> sets = datakit::DemoStartPositions();
    ASSERT_EQ(sets.size(), 2u) << "forwards, and the reverse run";
    const struct
    {
        const char* name;
        double z;
        double along; // 1 up the road, -1 down it
    } cases[] = {{"forwards at the road's start", 22.0, 1.0},
                 {"in reverse at the road's end", 1256.0, -1.0}};
    for (size_t s = 0; s < sets.size(); ++s)
    {
        SCOPED_TRACE(cases[s].name);
        const datakit::StartSet& set = sets[s];
        for (const datakit::StartPosition& p : set)
        {
            EXPECT_NEAR(p.z, cases[s].z, 2.0);
            EXPECT_GT(p.z, datakit::kDemoRoadStart);
            EXPECT_LT(p.z, datakit::kDemoRoadEnd);
            EXPECT_LT(std::abs(Across(p.x, p.z)), datakit::kDemoRoadHalfWidth - 1.0);
            EXPECT_NEAR(p.y, datakit::DemoGroundHeight(p.x, p.z), 1e-9);
            const datakit::StagePoint c = datakit::DemoCentreLine(p.z);
            double dx, dz;
            Facing(p.angles[1], &dx, &dz);
            EXPECT_GT((dx * c.dx + dz * c.dz) * cases[s].along, 0.999);
            EXPECT_EQ(p.angles[0], 0);
            EXPECT_EQ(p.angles[2], 0);
        }
        EXPECT_GT(std::hypot(set[0].x - set[1].x, set[0].z - set[1].z), 2.5) << "side by side";
        EXPECT_LT(Across(set[0].x, set[0].z) * Across(set[1].x, set[1].z), 0.0)
            << "either side of the centre line";
    }
    EXPECT_EQ(datakit::FormatStartPositions(sets).size(), 80u);
}

int RunCommand(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DatakitCommand, WritesTrackCamerasAndStartPositionsFromAList)
{
    TestEnv env;
    const std::string kit = std::string("'") + DATAKIT_BINARY + "'";
    const std::string tsc = env.Path("stage.tsc"), csp = env.Path("stage.csp");
    ASSERT_EQ(RunCommand(kit + " tsc '" + tsc + "' 1.5,-2,300.25,6 0,0,0,2,400 > /dev/null"), 0);
    const Bytes cameras = datakit::FormatTrackCameras({{1.5, -2, 300.25, 6, 0}, {0, 0, 0, 2, 400}});
    EXPECT_EQ(ReadWholeFile(tsc), std::string(cameras.begin(), cameras.end()));

    ASSERT_EQ(RunCommand(kit + " csp '" + csp + "' 1,2,3,0,1024,0 -4,5,6.5,0,-1,0 > /dev/null"), 0);
    datakit::StartSet set = {};
    set[0] = {1, 2, 3, {0, 1024, 0}};
    set[1] = {-4, 5, 6.5, {0, -1, 0}};
    const Bytes one = datakit::FormatStartPositions({set});
    EXPECT_EQ(ReadWholeFile(csp), std::string(one.begin(), one.end()));
    ASSERT_EQ(RunCommand(kit + " csp '" + csp +
                         "' 1,2,3,0,1024,0 -4,5,6.5,0,-1,0 1,2,3,0,1024,0 -4,5,6.5,0,-1,0"
                         " > /dev/null"),
              0);
    const Bytes two = datakit::FormatStartPositions({set, set});
    EXPECT_EQ(ReadWholeFile(csp), std::string(two.begin(), two.end()));

    for (const std::string bad :
         {"tsc", "tsc out", "tsc out 1,2,3", "tsc out 1,2,3,0,1,9", "tsc out 1,2,x,0",
          "tsc out 1,2,3,1.5", "csp out 1,2,3,0,0,0", "csp out 1,2,3,0,0,0 1,2,3,0,0",
          "csp out 1,2,3,0,0,0 1,2,3,0,0,0 1,2,3,0,0,0", "csp out 1,2,3,0,0.5,0 1,2,3,0,0,0"})
        EXPECT_EQ(RunCommand(kit + " " + bad + " > /dev/null 2>&1"), 2) << bad;
    // What the writers refuse fails the command.
    EXPECT_EQ(RunCommand(kit + " tsc '" + tsc + "' 0,0,0,7 > /dev/null 2>&1"), 1);
}

} // namespace
