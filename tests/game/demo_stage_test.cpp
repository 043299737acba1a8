// The data kit's demo stage, loaded back as the game loads it: every file through the file layer
// (the DK3D files on the temporary heap), the DK3D reader by load kind onto a display, the track
// grid, the height data and the trigger lines, all within the game's limits, and the ground the
// cars drive on where the track is drawn.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>

#include <gtest/gtest.h>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_model.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/core/dk_file.h"
#include "game/vehicle/heightdata.h"
#include "game/vehicle/points.h"
#include "tests/support/engine_test.h"
#include "tools/bench/stage_frame.h"
#include "tools/datakit/stage_writer.h"

namespace
{

constexpr uint32_t kTemporaryHeap = 3145728;
constexpr uint32_t kMainHeap = 15204352;

class DemoStageTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        dir = env.DriveC() + "/disc";
        output += CaptureOutput([&] { stage::WriteData(dir); });
    }
    void TearDown() override
    {
        output += CaptureOutput([] { stage::CloseDisplay(); });
        DkResetDataPathsForTests();
        LoggedTest::TearDown();
    }
    std::string dir;
    std::string output;
};

TEST_F(DemoStageTest, EveryFileLoadsThroughTheReadersWithinTheGamesLimits)
{
    const std::filesystem::path stageDir = std::filesystem::path(dir) / "stages" / "demo";
    for (const char* extension : {".c3d", ".obj", ".sht", ".hzn"})
    {
        SCOPED_TRACE(extension);
        EXPECT_LE(std::filesystem::file_size(stageDir / (std::string("demo") + extension)),
                  kTemporaryHeap)
            << "each DK3D file is parsed from the temporary heap";
    }

    std::string problem;
    stage::DisplayOptions options;
    options.width = 320;
    options.height = 240;
    output += CaptureOutput([&] { ASSERT_TRUE(stage::OpenDisplay(options, &problem)) << problem; });
    stage::Stage s;
    const std::string load =
        CaptureOutput([&] { EXPECT_TRUE(stage::LoadStage(false, &s, &problem)) << problem; });
    EXPECT_EQ(CountReports(load), 0) << load;

    // The grid as the track blocks build it: 13 columns of 40 rows, the road's blocks filed
    // with the scenery standing on them.
    EXPECT_EQ(guNumTrackBlocks,
              static_cast<uint32_t>(datakit::kDemoStageColumns * datakit::kDemoStageRows));
    EXPECT_EQ(guTrackGridWidth, static_cast<uint32_t>(datakit::kDemoStageColumns));
    EXPECT_EQ(guTrackGridRows, static_cast<uint32_t>(datakit::kDemoStageRows));
    EXPECT_EQ(gxTrackCellSize, static_cast<int32_t>(datakit::kDemoStageCell * 65536));
    EXPECT_EQ(guNumFixedModels, 6u);
    int moveable = 0;
    for (uint32_t i = 0; i < guNumTrackBlocks; ++i)
    {
        ASSERT_NE(gaTrackBlocks[i].pMesh, nullptr) << i;
        moveable += gaTrackBlocks[i].nNumMoveable;
    }
    EXPECT_GT(moveable, 300) << "posts, trees, the signpost, shadow casters and the car";
    for (const char* name : {"GRASS", "ROAD", "SIGNA", "SIGNB", "TREE", "PUFF", "PANEL", "SKY"})
        EXPECT_NE(DkFindC3dTexture(name), nullptr) << name;
    EXPECT_EQ(gpGrassTexture, DkFindC3dTexture("GRASS"));
    for (uint32_t i = 0; i < MAXMODELS; ++i)
    {
        if (const DK_MODEL* m = gapModels[i])
        {
            EXPECT_LE(m->nNumVertices, 1024) << i;
        }
    }
    EXPECT_LE(DkHeapGetBytesUsed(), kMainHeap);
    EXPECT_LT(DkHeapGetBlockCount(), static_cast<uint32_t>(DK_HEAP_MAX_BLOCKS));

    // The height data and the trigger lines, read by the game.
    const std::string heights = CaptureOutput(
        [&]
        {
            const auto* pBytes =
                static_cast<const uint8_t*>(DkMallocLoadFile("stages\\demo\\demo.hpc", DKLF_CD));
            ASSERT_NE(pBytes, nullptr);
            EXPECT_TRUE(HeightData_Parse(pBytes, DkGetLastFileSize()));
        });
    EXPECT_EQ(CountReports(heights), 0) << heights;
    EXPECT_LT(HeightData_GetTriangleCount(), 32768) << "a car's triangle cache is 16 bits";
    TrackTrigger* pLines = nullptr;
    output +=
        CaptureOutput([&] { pLines = Points_LoadTriggerFile("stages\\demo\\demo.dat", DKLF_CD); });
    ASSERT_NE(pLines, nullptr);
    Points_NumberSplitLines(pLines);
    EXPECT_EQ(Points_GetSplitCount(), 3);
    int nWalls = 0;
    for (int32_t i = 0; i < gnNumWallLines; ++i)
    {
        const TrackTrigger& r = pLines[i];
        EXPECT_LT(r.uNext, guNumTrackBlocks) << "each record names the block it is on";
        if (r.uType != 2)
            continue;
        // A wall's end heights are the span a car's corners must reach into to meet it: from
        // below the ground at both ends to well above a car standing there.
        ++nWalls;
        for (const auto& [x, z] : {std::pair{r.ax, r.az}, std::pair{r.bx, r.bz}})
        {
            const double ground = datakit::DemoGroundHeight(x / 65536.0, z / 65536.0);
            EXPECT_LT(std::min(r.ay, r.by) / 65536.0, ground) << i;
            EXPECT_GT(std::max(r.ay, r.by) / 65536.0, ground + 2.0) << i;
        }
    }
    EXPECT_GT(nWalls, 0);

    // The ground under the road is the road's height (the verges' coarser mesh only follows the
    // hills), and its surface the road's or the grass's.
    for (double z = 20.0; z < 1260.0; z += 37.0)
        for (double across : {0.0, -3.0, 6.0, 15.0})
        {
            const datakit::StagePoint p = datakit::DemoCentreLine(z);
            const double x = p.x + across;
            DK_VECTOR point = {static_cast<int32_t>(x * 65536), 0, static_cast<int32_t>(z * 65536)};
            DK_VECTOR normal{};
            int16_t surface = -1, cache = -1;
            const int32_t y = FindHeightOnTrack(&point, &normal, &surface, &cache, 100 << 16);
            const bool road = std::abs(across) < datakit::kDemoRoadHalfWidth;
            if (road)
            {
                EXPECT_NEAR(y / 65536.0, datakit::DemoGroundHeight(x, z), 0.05) << x << ", " << z;
            }
            EXPECT_EQ(surface, road ? datakit::kDemoRoadSurface : datakit::kDemoGrassSurface)
                << x << ", " << z;
        }
}

} // namespace
