// The stage files loaded in their fixed order from a stage the data kit writes under the game
// root, then with each file removed in turn.
#include <algorithm>
#include <array>
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
