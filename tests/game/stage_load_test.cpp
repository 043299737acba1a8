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
#include "game/hud/catseye.h"
#include "game/hud/rs_main.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/loading.h"
#include "game/race/startup.h"
#include "game/race/trackcam.h"
#include "game/vehicle/gencoll.h"
#include "game/vehicle/knockedover.h"
#include "game/vehicle/points.h"
#include "tests/support/engine_test.h"
#include "tools/bench/stage_frame.h"
#include "tools/datakit/c3d_writer.h"
#include "tools/datakit/file_io.h"
#include "tools/datakit/hud_writer.h"
#include "tools/datakit/stage_files_writer.h"
#include "tools/datakit/stage_writer.h"
#include "tools/datakit/trackcam_writer.h"

namespace
{
namespace fs = std::filesystem;

BOOL gboSchool = FALSE;
BOOL School(void)
{
    return gboSchool;
}
std::array<uint8_t, DK_GAME_DATA_SIZE> gaGameData{};

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
        datakit::WriteFileAtomically(stageDir / "NZ1.cat",
                                     datakit::FormatCatsEyes(datakit::DemoCatsEyes()));
        datakit::WriteFileAtomically(stageDir / "NZ1.tsc",
                                     datakit::FormatTrackCameras(datakit::DemoTrackCameras()));
        datakit::WriteFileAtomically(stageDir / "NZ1.csp",
                                     datakit::FormatStartPositions(datakit::DemoStartPositions()));
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
        entries.GetGameData = [] { return static_cast<const uint8_t*>(gaGameData.data()); };
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
    // The track cameras, the kind-2 ones linked to cat's eyes, and the start positions.
    int32_t nCameras = 0;
    const TrackCameraRecord* pCameras = TrackCam_GetCamerasForTests(&nCameras);
    EXPECT_EQ(nCameras, static_cast<int32_t>(datakit::DemoTrackCameras().size()));
    for (int32_t i = 0; i < nCameras; ++i)
        if (pCameras[i].nKind == TRACKCAM_KIND_ALONG)
        {
            EXPECT_GE(pCameras[i].nLinkedCheckpoint, 0) << i;
            EXPECT_LT(pCameras[i].nLinkedCheckpoint, gnNumCatsEyes) << i;
        }
    EXPECT_TRUE(TrackCam_GetStartPosition(0, nullptr, nullptr));

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
        {".tsc", {}, true, true},
        {".csp", {}, true, true},
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

// Track objects loaded onto the demo stage's grid (13 x 40 blocks of 32.0 from x 0 and z 0)
// from a scenery file of boxes.
class TrackObjectsTest : public StageLoadTest
{
protected:
    void TearDown() override
    {
        gaGameData[OPTION_REVERSE_DIRECTION.nByte] = 0;
        StageLoadTest::TearDown();
    }

    struct Box
    {
        double x, z;
        uint32_t uAttribute;
        int nParent = -1; // a child of an earlier object
        bool boModel = true;
    };
    static uint32_t Static(int nMaterial, bool boSolid, int nType = 201)
    {
        return static_cast<uint32_t>(nType) | static_cast<uint32_t>(nMaterial) << 18 |
               (boSolid ? 1u << 29 : 0u);
    }
    static uint32_t Knockable(int nKind, int nMaterial, int nMass)
    {
        return 210u | static_cast<uint32_t>(nKind) << 16 | static_cast<uint32_t>(nMaterial) << 18 |
               static_cast<uint32_t>(nMass) << 24;
    }
    // Loads the demo stage, builds its blocks, loads the boxes (0.5 x 1.0 x 0.75 half
    // extents, standing on y = 0) as its object range and sets the objects up; the reports.
    // With pBefore, that is called first (after the blocks, before the objects' files).
    std::string SetUpObjects(const std::vector<Box>& boxes, void (*pfnBefore)(void) = nullptr)
    {
        std::string out;
        Load(&out);
        EXPECT_EQ(CountReports(out), 0) << out;
        DkOpenLogFile("c:\\error.txt");
        datakit::C3dScene scene;
        scene.shapes.push_back(datakit::C3dBox("BOX", 0.5, 1.0, 0.75, -1));
        for (const Box& b : boxes)
            scene.objects.push_back(datakit::C3dPlaced(
                b.nParent, b.boModel ? std::vector<int>{0} : std::vector<int>{},
                datakit::C3dTranslation(b.x, 0.0, b.z), b.uAttribute));
        datakit::WriteFileAtomically(stageDir / "BOXES.obj", datakit::FormatC3d(scene));
        std::string reports = CaptureOutput(
            [&]
            {
                DkInitialiseTrackBlocks();
                if (pfnBefore != nullptr)
                    pfnBefore();
                Startup_BeginObjectActors();
                Startup_LoadObjects("c:\\game\\NZ\\1\\BOXES.obj");
                Startup_EndObjectActors();
                InitialiseTrackObjects();
                Startup_InitMovingObjects();
            });
        return reports;
    }
    static DK_ACTOR* Actor(int nObject) { return gapActors[gnFirstObjectActor + nObject]; }
    // The static object on the block's list whose actor this is, or NULL.
    static const TrackObjectNode* Filed(int nBlock, const DK_ACTOR* pActor)
    {
        for (const TrackObjectNode* p = gapTrackObjects[nBlock]; p != nullptr; p = p->pNext)
            if (p->pObject->pActor == pActor)
                return p;
        return nullptr;
    }
};

TEST_F(TrackObjectsTest, StaticBoxesAreFiledOnTheBlockUnderThem)
{
    const std::vector<Box> boxes = {
        {100.0, 500.0, Static(5, true)},
        {130.0, 520.0, Static(7, false)},
        {-300.0, 500.0, Static(5, true)}, // off the grid
        {200.0, 700.0, Static(3, true), -1, false},
        {2.0, 0.0, 0, 3}, // a child of the dummy: at 202, 700
        {300.0, 900.0, Knockable(1, 4, 2)},
    };
    const std::string out = SetUpObjects(boxes);
    EXPECT_EQ(CountReports(out), 1) << out;
    EXPECT_TRUE(Reported(out, "Track object 2 lies off the track's grid: no collisions")) << out;
    EXPECT_EQ(Startup_GetNumTrackObjects(), 3);
    struct Case
    {
        int nObject;
        double x, z;
        uint32_t uKind;
    };
    const Case cases[] = {
        {0, 100.0, 500.0, 5},
        {1, 130.0, 520.0, 7 | TRACK_OBJECT_SOFT},
        {4, 202.0, 700.0, 3}, // the dummy's attribute
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.nObject);
        const int16_t nBlock = DkGetTrackBlockIndex(static_cast<int32_t>(c.x * 65536), 0,
                                                    static_cast<int32_t>(c.z * 65536));
        const TrackObjectNode* p = Filed(nBlock, Actor(c.nObject));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->pObject->uKind, c.uKind);
        EXPECT_EQ(p->pObject->Centre.x, static_cast<int32_t>(c.x * 65536));
        EXPECT_EQ(p->pObject->Centre.y, 1 << 16) << "the box's middle";
        EXPECT_EQ(p->pObject->Centre.z, static_cast<int32_t>(c.z * 65536));
        EXPECT_NEAR(p->pCollision->xHalfLength + p->pCollision->xHalfWidth, 32768 + 49152, 32)
            << "0.75 and 0.5 (or 0.5 and 0.75) along the ground, within the box's rounding";
    }
    // Nothing else was filed: neither the knockable box nor the one off the grid.
    int nFiled = 0;
    for (const TrackObjectNode* pHead : gapTrackObjects)
        for (const TrackObjectNode* p = pHead; p != nullptr; p = p->pNext)
            ++nFiled;
    EXPECT_EQ(nFiled, 3);

    // The clean-up after the set-up leaves every object's low 10 bits.
    Startup_CleanObjectFlags();
    for (size_t i = 0; i < boxes.size(); ++i)
        EXPECT_EQ(Actor(static_cast<int>(i))->uId, boxes[i].uAttribute & 0x3FF) << i;
}

TEST_F(TrackObjectsTest, KnockableBoxesBecomeKnockedOverRecordsTurnedOnMirroredStages)
{
    std::string out = SetUpObjects({
        {100.0, 500.0, Knockable(1, 13, 2)},
        {110.0, 500.0, Static(5, true)},
        {120.0, 500.0, Knockable(2, 4, 3)},
    });
    const std::string log = Log();
    EXPECT_NE(log.find("\nNumber of loaded moving objects: 2"), std::string::npos) << log;
    for (const bool boMirrored : {false, true})
    {
        SCOPED_TRACE(boMirrored);
        if (boMirrored)
        {
            // The same objects set up again on a mirrored stage.
            gaGameData[OPTION_REVERSE_DIRECTION.nByte] =
                static_cast<uint8_t>(1 << OPTION_REVERSE_DIRECTION.nBit);
            out += CaptureOutput(
                []
                {
                    InitialiseTrackObjects();
                    Startup_InitMovingObjects();
                });
        }
        EXPECT_EQ(CountReports(out), 0) << out;
        ASSERT_EQ(gnNumMovingObjects, 2);
        EXPECT_EQ(Startup_GetNumTrackObjects(), 1);
        const int32_t xSign = boMirrored ? -65536 : 65536;
        for (int nSet = 0; nSet < HIT_OBJECT_SETS; ++nSet)
        {
            const HitObject& a = gaHitObjects[nSet][0];
            const HitObject& b = gaHitObjects[nSet][1];
            EXPECT_EQ(a.pActor, Actor(0));
            EXPECT_EQ(b.pActor, Actor(2));
            EXPECT_EQ(a.Position.x, 100 << 16);
            EXPECT_EQ(a.Position.y, 1 << 16);
            EXPECT_EQ(a.HalfExtents.x, 1 << 15);
            EXPECT_EQ(a.HalfExtents.z, 49152);
            EXPECT_EQ(a.aRows[0].x, xSign);
            EXPECT_EQ(a.aRows[1].y, 65536);
            EXPECT_EQ(a.aRows[2].z, xSign);
            EXPECT_EQ(a.uKind & HIT_KIND_MASK, 13);
            EXPECT_EQ(b.uKind & HIT_KIND_MASK, 4);
            EXPECT_NE(a.uKind >> 5, b.uKind >> 5) << "each its own collision key";
            EXPECT_EQ(a.uFlags & HIT_MASS_MASK, 2);
            EXPECT_EQ(b.uFlags & HIT_MASS_MASK, 3);
            EXPECT_EQ(a.auInverseInertia[1], 65536u);
            EXPECT_EQ(b.auInverseInertia[1], 5u << 16) << "kind 2 weighted 5.0";
        }
        EXPECT_EQ(Actor(0)->Local.m[0][0], xSign) << "the actor turned with its record";
        EXPECT_NE(MovingObjects_GetList(0, DkGetTrackBlockIndex(100 << 16, 0, 500 << 16)),
                  nullptr);
    }
}

TEST_F(TrackObjectsTest, AnActorMadeBeforeTheObjectsIsNoneOfThem)
{
    // A slot freed below an actor that stays: the first box fills it.
    static DK_ACTOR* gpKept = nullptr;
    const std::string out = SetUpObjects(
        {{100.0, 500.0, Static(5, true)}, {110.0, 500.0, Static(5, true)},
         {120.0, 500.0, Static(5, true)}},
        []
        {
            DK_ACTOR* pFreed = DkCreateActor(DkGetWorldActor());
            gpKept = DkCreateActor(DkGetWorldActor());
            gpKept->uId = 0xABCDE123u;
            DkDestroyActor(pFreed);
        });
    EXPECT_EQ(CountReports(out), 0) << out;
    EXPECT_EQ(Startup_GetNumTrackObjects(), 3) << "every box, the one in the freed slot too";
    Startup_CleanObjectFlags();
    EXPECT_EQ(gpKept->uId, 0xABCDE123u) << "the actor made before keeps its attribute";
}

TEST_F(TrackObjectsTest, ThePositionMarksAndTheKnockableRecordsAreCapped)
{
    std::vector<Box> boxes;
    for (int i = 0; i < HIT_OBJECT_RECORDS + 1; ++i)
        boxes.push_back({20.0 + (i % 20) * 10.0, 20.0 + (i / 20) * 10.0, Knockable(1, 1, 0)});
    for (int i = 0; i < MAX_TYPE14_POSITIONS + 1; ++i)
        boxes.push_back({20.0 + i * 5.0, 600.0, Static(1, true, OBJECT_TYPE_POSITION_MARK)});
    const std::string out = SetUpObjects(boxes);
    EXPECT_EQ(CountReports(out), 2) << out;
    EXPECT_TRUE(Reported(out, "More than 500 movable objects: the rest stay fixed")) << out;
    EXPECT_TRUE(Reported(out, "More than 49 objects of type 14: the rest unrecorded")) << out;
    EXPECT_EQ(gnNumMovingObjects, HIT_OBJECT_RECORDS);
    EXPECT_EQ(gnNumType14Positions, MAX_TYPE14_POSITIONS);
    EXPECT_EQ(gaType14Positions[MAX_TYPE14_POSITIONS - 1].x, (20 + 48 * 5) << 16);
    EXPECT_EQ(Startup_GetNumTrackObjects(), MAX_TYPE14_POSITIONS + 1) << "all keep their boxes";
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
