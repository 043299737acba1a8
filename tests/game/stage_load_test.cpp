// The stage files loaded in their fixed order from a stage the data kit writes under the game
// root, then with each file removed in turn.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/dk_actor.h"
#include "engine/include/dk_entries.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/core/dk_file.h"
#include "game/effects/sun.h"
#include "game/effects/surface.h"
#include "game/hud/rs_main.h"
#include "game/race/gmhndlr.h"
#include "game/race/loading.h"
#include "game/race/startup.h"
#include "game/vehicle/points.h"
#include "tests/support/engine_test.h"
#include "tools/bench/stage_frame.h"
#include "tools/datakit/file_io.h"
#include "tools/datakit/stage_files_writer.h"
#include "tools/datakit/stage_writer.h"

namespace
{
namespace fs = std::filesystem;

BOOL gboSchool = FALSE;
BOOL School(void)
{
    return gboSchool;
}

class StageLoadTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        output += CaptureOutput([&] { stage::WriteData(env.DriveC() + "/disc"); });
        stageDir = fs::path(env.DriveC()) / "game" / "NZ" / "1";
        datakit::WriteDemoStage(stageDir, "NZ1");
        datakit::WriteFileAtomically(stageDir / "NZ1.ars",
                                     datakit::FormatHorizonRecord(datakit::DemoHorizonRecord()));
        datakit::WriteFileAtomically(stageDir / "NZ1.anm",
                                     datakit::FormatAnimations(datakit::DemoAnimations()));
        // Files whose readers are elsewhere: a few bytes each.
        const std::vector<uint8_t> bytes(48, 0);
        for (const char* extension : {".rsf", ".srf", ".moj"})
            datakit::WriteFileAtomically(stageDir / (std::string("NZ1") + extension), bytes);

        gboSchool = FALSE;
        gxStageFarClipDistance = 200 << 16;
        Surface_ResetForTests();
        Sun_ResetForTests();
        School_ResetForTests();
    }
    void TearDown() override
    {
        output += CaptureOutput([] { stage::CloseDisplay(); });
        DkResetEntries();
        DkResetDataPathsForTests();
        LoggedTest::TearDown();
    }
    // Loads the stage on a fresh display; the log of the load, its reports in `out`.
    std::string Load(std::string* pOut)
    {
        std::string problem;
        stage::DisplayOptions options;
        options.width = 320;
        options.height = 240;
        output += CaptureOutput([&] { EXPECT_TRUE(stage::OpenDisplay(options, &problem)); });
        // After the display's own entries.
        DK_ENTRIES entries{};
        entries.IsRallySchool = School;
        DkRegisterEntries(&entries);
        DkCreateWorldActor();
        std::strcpy(path, "c:\\game\\NZ\\1\\NZ1.BFP");
        Log();
        DkOpenLogFile("c:\\error.txt");
        *pOut = CaptureOutput([&] { LoadStageData(path, path + std::strlen(path) - 4); });
        return Log();
    }
    // Where each text first stands in the log (npos when absent).
    static std::vector<size_t> Positions(const std::string& log,
                                         const std::vector<std::string>& texts)
    {
        std::vector<size_t> at;
        for (const std::string& text : texts)
            at.push_back(log.find(text));
        return at;
    }

    fs::path stageDir;
    char path[STAGE_PATH_LENGTH] = {};
    std::string output;
};

const std::vector<std::string> kRowMarks = {
    "\nLOADED TRACK AND HEIGHT DATA\n",
    "Determined effects textures to load",
    "Loaded object file: c:\\game\\NZ\\1\\NZ1.obj",
    "Object actors range: ",
    "Loaded object file: c:\\game\\NZ\\1\\NZ1.sht",
    "horizon height and clip distance loaded",
    "Loaded horizon",
};

TEST_F(StageLoadTest, TheRowsRunInOrderOverTheWholeStage)
{
    std::string out;
    const std::string log = Load(&out);
    EXPECT_EQ(CountReports(out), 0) << out;
    const std::vector<size_t> at = Positions(log, kRowMarks);
    for (size_t i = 0; i < at.size(); ++i)
    {
        ASSERT_NE(at[i], std::string::npos) << kRowMarks[i] << "\n" << log;
        if (i > 0)
        {
            EXPECT_GT(at[i], at[i - 1]) << kRowMarks[i];
        }
    }
    EXPECT_STREQ(path, "c:\\game\\NZ\\1\\NZ1.fuz") << "the last row's extension stays";
    EXPECT_EQ(guNumTrackBlocks,
              static_cast<uint32_t>(datakit::kDemoStageColumns * datakit::kDemoStageRows));
    EXPECT_GT(gnNumWallLines, 0);
    EXPECT_LT(gnFirstObjectActor, gnLastObjectActor);
    EXPECT_EQ(Surface_GetLoadCallsForTests(), 1);
    EXPECT_EQ(Sun_GetLoadCallsForTests(), 1);
    EXPECT_EQ(gxStageFarClipDistance, 240 << 16);
    EXPECT_EQ(gxTrackClipDistance, 240 << 16);
    EXPECT_EQ(gxHorizonHeight, -20 << 16);
    EXPECT_EQ(gxLoadedObjectClipDistance, 160 << 16);
    EXPECT_EQ(gxLoadedHorizonDistance, 150 << 16);
    EXPECT_EQ(School_GetLeaveCallsForTests(), 0);

    // The clean-up leaves the low 10 bits of every object actor's attribute word, and nothing
    // outside the objects' range.
    for (int32_t i = gnFirstObjectActor; i < gnLastObjectActor; ++i)
        gapActors[i]->uId |= 0xFFFFFC00u;
    DK_ACTOR* pOutside = gapActors[gnFirstObjectActor - 1];
    const uint32_t uOutside = pOutside->uId;
    Startup_CleanObjectFlags();
    for (int32_t i = gnFirstObjectActor; i < gnLastObjectActor; ++i)
        EXPECT_EQ(gapActors[i]->uId & 0xFFFFFC00u, 0u) << i;
    EXPECT_EQ(pOutside->uId, uOutside);
}

TEST_F(StageLoadTest, AMissingFileSkipsItsRowAndNothingElse)
{
    struct Case
    {
        const char* extension;
        std::vector<std::string> absent; // row marks the log lacks
        bool boHeightData, boHorizonData;
    };
    const Case cases[] = {
        {".c3d", {kRowMarks[0], kRowMarks[1]}, false, true},
        {".hpc", {kRowMarks[0], kRowMarks[1]}, false, true},
        {".srf", {}, true, true},
        {".moj", {}, true, true},
        {".dat", {}, true, true},
        {".obj", {kRowMarks[2]}, true, true},
        {".sht", {kRowMarks[4]}, true, true},
        {".ars", {kRowMarks[5]}, true, false},
        {".hzn", {kRowMarks[6]}, true, true},
        {".anm", {}, true, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.extension);
        const fs::path file = stageDir / (std::string("NZ1") + c.extension);
        const std::vector<uint8_t> keep = datakit::ReadFileBytes(file);
        fs::remove(file);
        Surface_ResetForTests();
        Sun_ResetForTests();
        gxStageFarClipDistance = 200 << 16;
        std::string out;
        const std::string log = Load(&out);
        output += CaptureOutput([] { stage::CloseDisplay(); });
        datakit::WriteFileAtomically(file, keep);

        const std::vector<size_t> at = Positions(log, kRowMarks);
        for (size_t i = 0; i < kRowMarks.size(); ++i)
        {
            const bool boAbsent =
                std::find(c.absent.begin(), c.absent.end(), kRowMarks[i]) != c.absent.end();
            EXPECT_EQ(at[i] == std::string::npos, boAbsent) << kRowMarks[i];
        }
        EXPECT_STREQ(path, "c:\\game\\NZ\\1\\NZ1.fuz");
        EXPECT_EQ(Surface_GetLoadCallsForTests(), c.boHeightData ? 1 : 0);
        EXPECT_EQ(Sun_GetLoadCallsForTests(), c.boHeightData ? 1 : 0);
        EXPECT_EQ(Reported(out, "horizon/clip distance e.t.c. data invalid"), !c.boHorizonData)
            << out;
        // The projection takes the far clip distance in force before the stage.
        EXPECT_EQ(gxTrackClipDistance, c.boHorizonData ? 240 << 16 : 200 << 16);
    }
}

TEST_F(StageLoadTest, AShortHorizonRecordCountsAsMissing)
{
    std::vector<uint8_t> bytes = datakit::FormatHorizonRecord(datakit::DemoHorizonRecord());
    bytes.resize(15);
    datakit::WriteFileAtomically(stageDir / "NZ1.ars", bytes);
    std::string out;
    const std::string log = Load(&out);
    EXPECT_TRUE(Reported(out, "horizon/clip distance e.t.c. data invalid")) << out;
    EXPECT_EQ(log.find("horizon height and clip distance loaded"), std::string::npos);
    EXPECT_EQ(gxStageFarClipDistance, 200 << 16);
    EXPECT_NE(gxHorizonHeight, -20 << 16) << "taken from the height data's lowest point";
}

TEST_F(StageLoadTest, TheSchoolLeavesSchoolModeWithoutItsLinesFile)
{
    for (const bool boLines : {true, false})
    {
        SCOPED_TRACE(boLines);
        if (!boLines)
            fs::remove(stageDir / "NZ1.rsf");
        gboSchool = TRUE;
        School_ResetForTests();
        std::string out;
        const std::string log = Load(&out);
        output += CaptureOutput([] { stage::CloseDisplay(); });
        EXPECT_EQ(log.find("\nFailed to init rally school - NOT IN RALLY SCHOOL\n") !=
                      std::string::npos,
                  !boLines);
        EXPECT_EQ(School_GetLeaveCallsForTests(), boLines ? 0 : 1);
        EXPECT_NE(log.find("Loaded horizon"), std::string::npos) << "the stage goes on";
    }
}

TEST(StageFileReaders, AnimationRecordsNeedTheirTerminator)
{
    struct Case
    {
        const char* what;
        std::vector<uint8_t> bytes;
        std::vector<std::string> names;
    };
    std::vector<uint8_t> two = datakit::FormatAnimations({"SIGN", "WATER12.BMP"});
    std::vector<uint8_t> unterminated = two;
    std::fill(unterminated.begin(), unterminated.begin() + 13, 'A');
    std::vector<uint8_t> tail = two;
    tail.insert(tail.end(), {'F', 'L', 'A', 'G', 0});
    const Case cases[] = {
        {"two records", two, {"SIGN", "WATER12.BMP"}},
        {"a record without its terminator is skipped", unterminated, {"WATER12.BMP"}},
        {"a tail shorter than a record is ignored", tail, {"SIGN", "WATER12.BMP"}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        static std::vector<std::string> gNames;
        gNames.clear();
        const int n =
            Startup_ReadAnimations(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()),
                                   [](const char* pszName) { gNames.push_back(pszName); });
        EXPECT_EQ(gNames, c.names);
        EXPECT_EQ(n, static_cast<int>(c.names.size()));
    }
}
} // namespace

namespace
{
TEST(LoadingBar, StandsWhereTheScreenSizeSays)
{
    struct Case
    {
        int nWidth, nHeight, nStep;
        DK_RECT bar, line;
    };
    const Case cases[] = {
        {320, 240, 26, {175, 106, 106, 6}, {175, 102, 141, 1}},
        {640, 480, 26, {386, 216, 213, 13}, {386, 205, 216, 1}},
        {640, 480, 13, {386, 216, 106, 13}, {386, 205, 216, 1}},
        {800, 600, 0, {482, 270, 0, 16}, {482, 256, 270, 1}},
        {512, 384, 26, {308, 172, 170, 10}, {308, 164, 172, 1}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.nWidth << " step " << c.nStep);
        DK_RECT bar;
        DK_RECT line;
        Loading_GetBarLayout(c.nWidth, c.nHeight, c.nStep, &bar, &line);
        EXPECT_EQ(bar.x, c.bar.x);
        EXPECT_EQ(bar.y, c.bar.y);
        EXPECT_EQ(bar.w, c.bar.w);
        EXPECT_EQ(bar.h, c.bar.h);
        EXPECT_EQ(line.x, c.line.x);
        EXPECT_EQ(line.y, c.line.y);
        EXPECT_EQ(line.w, c.line.w);
        EXPECT_EQ(line.h, c.line.h);
    }
}

class LoadingScreenTest : public StageLoadTest
{
protected:
    void SetUp() override
    {
        StageLoadTest::SetUp();
        const fs::path root = fs::path(env.DriveC()) / "game";
        fs::create_directories(root / "IMAGES" / "LOADING");
        datakit::WriteFileAtomically(root / "IMAGES" / "LOADING" / "BAR.BMP",
                                     datakit::FormatBmp(datakit::LoadingBarImage()));
        datakit::WriteFileAtomically(root / "IMAGES" / "LOADING" / "LINE.BMP",
                                     datakit::FormatBmp(datakit::LoadingLineImage()));
        datakit::WriteFileAtomically(stageDir / "NZ1.LOL",
                                     datakit::FormatBmp(datakit::LoadingBackground(320, 240)));
        std::strcpy(gszGameRoot, "c:\\game\\");
    }
    void TearDown() override
    {
        boThisIsPodiumStage = FALSE;
        StageLoadTest::TearDown();
    }
    void Open()
    {
        std::string problem;
        stage::DisplayOptions options;
        options.width = 320;
        options.height = 240;
        output += CaptureOutput([&] { EXPECT_TRUE(stage::OpenDisplay(options, &problem)); });
    }
    // The back surface's colour at (x, y).
    static std::array<uint8_t, 3> Pixel(int x, int y)
    {
        const std::vector<uint8_t> rgb = stage::BackRgb();
        const size_t at = (static_cast<size_t>(y) * 320 + x) * 3;
        return {rgb[at], rgb[at + 1], rgb[at + 2]};
    }
    // The bar's colour, within the display's 16-bit rounding.
    static bool Gold(int x, int y)
    {
        const std::array<uint8_t, 3> p = Pixel(x, y);
        return std::abs(p[0] - 230) < 8 && std::abs(p[1] - 180) < 8 && std::abs(p[2] - 40) < 8;
    }
};

TEST_F(LoadingScreenTest, TheBarGrowsStepByStepAndStopsAtTheLimit)
{
    Open();
    std::string out = CaptureOutput([] { Loading_Init("c:\\game\\NZ\\1\\NZ1", 26); });
    EXPECT_TRUE(Loading_IsShown());
    EXPECT_EQ(Loading_GetStep(), 0);
    for (int i = 0; i < 13; ++i)
        out += CaptureOutput([] { Loading_Step(); });
    EXPECT_EQ(Loading_GetStep(), 13);
    // The back surface holds the frame before the last flip: the bar of step 11, 45 pixels
    // from x 175 (320 * 213 * 11 / 16640).
    EXPECT_TRUE(Gold(176, 108));
    EXPECT_TRUE(Gold(175 + 44, 108));
    EXPECT_FALSE(Gold(175 + 46, 108));
    for (int i = 0; i < 30; ++i)
        out += CaptureOutput([] { Loading_Step(); });
    EXPECT_EQ(Loading_GetStep(), 26);
    EXPECT_TRUE(Gold(175 + 105, 108));
    EXPECT_FALSE(Gold(175 + 107, 108));
    EXPECT_FALSE(Gold(175, 106 + 6)) << "6 rows high";
    // The separator line, from the second step on.
    const std::array<uint8_t, 3> line = Pixel(176, 102);
    EXPECT_GT(line[0] + line[1] + line[2], 3 * 240);
    out += CaptureOutput([] { Loading_EndScreen(); });
    EXPECT_FALSE(Loading_IsShown());
}

TEST_F(LoadingScreenTest, APodiumBoundStageShowsTheCongratulationsInstead)
{
    Open();
    boThisIsPodiumStage = TRUE;
    const int nStep = Loading_GetStep();
    Log();
    DkOpenLogFile("c:\\error.txt");
    CaptureOutput([] { Loading_Init("c:\\game\\NZ\\1\\NZ1", 26); });
    for (int i = 0; i < 5; ++i)
        CaptureOutput([] { Loading_Step(); });
    EXPECT_NE(Log().find("\nENTERING CONGRATS SCREEN\n"), std::string::npos);
    EXPECT_FALSE(Loading_IsShown());
    EXPECT_EQ(Loading_GetStep(), nStep);
    EXPECT_FALSE(Gold(176, 108)) << "no bar";
}
} // namespace
