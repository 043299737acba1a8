// The stage's display set-up on the data kit's demo installation: every step in its order on a
// display it sets up itself, the bar's steps, the destructors and the flags; a second call
// once the display is up; the sounds by the number of players; a car that does not load.
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_model.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/2dinit.h"
#include "game/effects/codriver.h"
#include "game/effects/crowdsnd.h"
#include "game/effects/effects.h"
#include "game/effects/forcefeedback.h"
#include "game/effects/menusnd.h"
#include "game/effects/pregame.h"
#include "game/effects/prangsnd.h"
#include "game/effects/vrooom.h"
#include "game/effects/wchhhh.h"
#include "game/effects/weathsnd.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/loading.h"
#include "game/race/replay.h"
#include "game/race/startup.h"
#include "platform/reg/reg.h"
#include "tests/game/car_fixture.h"
#include "tools/bench/stage_frame.h"
#include "tools/datakit/install.h"
#include "tools/datakit/stage_writer.h"
#include "tools/datakit/trackcam_writer.h"

namespace
{
namespace fs = std::filesystem;

class DispInitStageTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        // The installation is the test's own world: its registry, drive C: and the disc.
        output += CaptureOutput([&] { datakit::InstallDemo(env.Root()); });
        RegReload();
        hardDisk = fs::path(env.DriveC()) / "Dezor";
        for (auto reset : {MenuSound_ResetForTests, PreSnd_ResetForTests,
                           SurfaceNoise_ResetForTests, WeatherNoise_ResetForTests})
            reset();
        Effects_ResetForTests();
        PrangSnd_ResetForTests();
        CoDriver_ResetForTests();
        Cameras_ResetForTests();
        gboStageInitialised = FALSE;
        gboGameDisplayReady = FALSE;
    }
    void TearDown() override
    {
        output += CaptureOutput([] { stage::CloseDisplay(); });
        DkResetDataPathsForTests();
        CarTest::TearDown();
    }
    // Tears the stage down as the end of a phase does (after the display's mark) and sets up
    // the next: the display's modes and the game's entries, nothing on screen.
    void NextStage()
    {
        output += CaptureOutput([] { stage::CloseDisplay(); });
        stage::DisplayOptions options;
        options.width = 320;
        options.height = 240;
        std::string problem;
        output += CaptureOutput([&] { ASSERT_TRUE(stage::PrepareDisplay(options, &problem)); });
        RegisterTestEntries();
        DkSetHardDrivePath(hardDisk.string().c_str());
        // The full-detail car, on a 320 x 240 screen.
        gaTestGameData[GD_CAR_RESOLUTION] = 1;
        gaTestGameData[GD_SCREEN_SIZE] = 0;
        gboStageInitialised = FALSE;
        gboGameDisplayReady = FALSE;
    }
    // One call of the display function: its log, and its reports in `out`.
    std::string Run(std::string* pOut)
    {
        TakeLog();
        *pOut = CaptureOutput([] { DispInitStage(); });
        return TakeLog();
    }

    fs::path hardDisk;
    std::string output;
};

// Lines each step leaves in the log, in the order of the steps.
const std::vector<std::string> kStepMarks = {
    "** FUNCTION : DispInitStage() **",
    "Setting display mode 320x240x16",
    "\nUsing D:\\game\\NZ\\1\\NZ1 for path in game\n",
    "Lights initialised",
    "\nSize of REPLAY_GAME_STATESAVE: 86508 bytes",
    "\nLOADED TRACK AND HEIGHT DATA\n",
    "Object actors range: ",
    "Loaded horizon",
    "\n Loading Fonts..",
    "Fonts Loaded\n",
    "nNumCarsToLoad 1",
    "Cars loaded (mask 1)",
    "3D Bitmaps so",
    "InitialiseTrackObjects - start",
    "\nNumber of loaded moving objects: ",
    "Moving Objects",
};

TEST_F(DispInitStageTest, SetsTheDisplayUpAndLoadsTheStageStepByStep)
{
    NextStage();
    const int nDestructors = gnNumDestructors;
    std::string out;
    const std::string log = Run(&out);
    EXPECT_EQ(CountReports(out + log), 0) << out << log;
    size_t uLast = 0;
    for (const std::string& mark : kStepMarks)
    {
        const size_t uAt = log.find(mark);
        ASSERT_NE(uAt, std::string::npos) << mark << "\n" << log;
        EXPECT_GE(uAt, uLast) << mark;
        uLast = uAt;
    }
    // The stage's three destructors are on the registry, the objects' after the objects.
    for (const char* pszName : {"= \"Stage Data Destructor\"", "= \"Car Data Destructor\"",
                                "= \"ObjectsDestructor\""})
        EXPECT_NE(log.find(pszName), std::string::npos) << pszName;
    EXPECT_GT(log.find("= \"ObjectsDestructor\""), uLast);
    EXPECT_GT(gnNumDestructors, nDestructors);
    EXPECT_EQ(Loading_GetStep(), 26) << "the bar filled, however many steps were called";
    EXPECT_TRUE(gboStageInitialised);
    EXPECT_TRUE(gboGameDisplayReady);
    EXPECT_EQ(Effects_GetInitialiseStageCallsForTests(), 1);
    EXPECT_NE(gapPlayerCamera[0], nullptr) << "the player's camera";
    EXPECT_EQ(gaPlayerView[0].nCameraType, CAMERA_TYPE_CHASE_NEAR);
    EXPECT_EQ(ForceFeedback_GetStartCallsForTests(), 1);
    EXPECT_NE(gapRecorders[0], nullptr) << "a recorder for the one player";
    EXPECT_EQ(gapRecorders[1], nullptr);
    EXPECT_EQ(gapLoadedReplays[0], nullptr);
    ASSERT_NE(gaLoadedCar[0].paCar, nullptr);
    // The reflection shell (untextured in its file) wears the map on its last level.
    const DK_ACTOR* pShell = gaCarBody[0].paReflection;
    ASSERT_NE(pShell, nullptr);
    const DK_MODEL* pModel = static_cast<const DK_MODEL*>(pShell->pObject);
    ASSERT_NE(pModel, nullptr);
    ASSERT_GT(pModel->uNumLevels, 0);
    const DK_MODEL_NODE* pNode = pModel->aLevels[pModel->uNumLevels - 1].pFirstNode;
    ASSERT_NE(pNode, nullptr);
    EXPECT_GE(pNode->nTexture, 0);
    EXPECT_GT(Startup_GetNumTrackObjects(), 0);
    // The car stands on the road at its start, facing up it.
    const DK_VECTOR& at = gaCarBody[0].Position;
    const datakit::StagePoint road = datakit::DemoCentreLine(at.z / 65536.0);
    EXPECT_NEAR(at.z / 65536.0, datakit::kDemoStartZ, 2.0);
    EXPECT_LT(std::abs(at.x / 65536.0 - road.x) * road.dz, datakit::kDemoRoadHalfWidth);
    EXPECT_NEAR(at.y / 65536.0, road.y, 2.0);
    const DK_VECTOR& forward = gaCarBody[0].OrientRow0;
    EXPECT_GT((forward.x * road.dx + forward.z * road.dz) / 65536.0, 0.99);
    EXPECT_EQ(gaViewportRects[3].y, 120);
    EXPECT_EQ(gaViewportRects[5].x, 160);

    // Once the display is up, the next call returns after its banner.
    const int nAfter = gnNumDestructors;
    const std::string again = Run(&out);
    EXPECT_EQ(CountReports(out + again), 0) << out << again;
    EXPECT_NE(again.find("** FUNCTION : DispInitStage() **"), std::string::npos);
    EXPECT_EQ(again.find("Using "), std::string::npos) << again;
    EXPECT_EQ(gnNumDestructors, nAfter);
    EXPECT_EQ(Effects_GetInitialiseStageCallsForTests(), 1);

    // The end of the stage clears the stage's flag.
    output += CaptureOutput([&] { DkCallDestructors(nDestructors); });
    EXPECT_FALSE(gboStageInitialised);
}

TEST_F(DispInitStageTest, TheSoundsLoadedFollowTheNumberOfPlayers)
{
    struct Case
    {
        const char* what;
        int nGameType, nPlayers;
        int nSurface; // loads of each one-player sound: surface, weather, crowd
    };
    const Case cases[] = {
        {"one player", 0, 1, 1},
        {"two on one screen", 1, 2, 0},
        {"two taking turns drive one car at a time", 2, 1, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        NextStage();
        for (auto reset : {MenuSound_ResetForTests, PreSnd_ResetForTests,
                           SurfaceNoise_ResetForTests, WeatherNoise_ResetForTests})
            reset();
        CarSound_ResetForTests();
        PrangSnd_ResetForTests();
        CoDriver_ResetForTests();
        CrowdNoise_ResetForTests();
        gnTestGameType = c.nGameType;
        gNumberOfPlayers = c.nPlayers;
        gaTestGameData[GD_GAME_TYPE] = static_cast<uint8_t>(c.nGameType);
        std::string out;
        const std::string log = Run(&out);
        EXPECT_EQ(CountReports(out + log), 0) << out << log;
        EXPECT_TRUE(gboStageInitialised);
        for (int nCalls : {MenuSound_GetLoadCallsForTests(), CarSound_GetLoadCallsForTests(),
                           PrangSnd_GetLoadCallsForTests(), CoDriver_GetLoadCallsForTests(),
                           PreSnd_GetLoadCallsForTests()})
            EXPECT_EQ(nCalls, 1);
        EXPECT_EQ(SurfaceNoise_GetLoadCallsForTests(), c.nSurface);
        EXPECT_EQ(WeatherNoise_GetLoadCallsForTests(), c.nSurface);
        EXPECT_EQ(CrowdNoise_GetLoadCallsForTests(), c.nSurface);
        for (int p = 0; p < 2; ++p)
            EXPECT_EQ(gapRecorders[p] != nullptr, p < c.nPlayers) << p;
    }
}

// Every model actor of a subtree that the renderer draws when it shows only the always-drawn
// actors (two players on one screen): those whose draw byte is 0 are counted.
int CountHiddenOnSplitScreen(const DK_ACTOR* pFirst)
{
    int nHidden = 0;
    for (const DK_ACTOR* pActor = pFirst; pActor != nullptr; pActor = pActor->pNext)
    {
        if (pActor->uType == DK_ACTOR_MODEL && pActor->pObject != nullptr &&
            pActor->uAlwaysDraw == 0)
            ++nHidden;
        nHidden += CountHiddenOnSplitScreen(pActor->pChild);
    }
    return nHidden;
}

// With two players on one screen the renderer draws only always-drawn actors, and a car's body
// and parts are drawn as objects: each player's car, as the demo installation's car files mark
// it, shows whole in both views, in a race without collisions as in one with them.
TEST_F(DispInitStageTest, TwoPlayersOnOneScreenDrawBothCarsWhole)
{
    for (int nGameType : {1, 3})
    {
        SCOPED_TRACE(nGameType);
        NextStage();
        gnTestGameType = nGameType;
        gNumberOfPlayers = 2;
        gaTestGameData[GD_GAME_TYPE] = static_cast<uint8_t>(nGameType);
        std::string out;
        const std::string log = Run(&out);
        EXPECT_EQ(CountReports(out + log), 0) << out << log;
        ASSERT_TRUE(gboStageInitialised);
        for (int nCar = 0; nCar < 2; ++nCar)
        {
            SCOPED_TRACE(nCar);
            const DK_ACTOR* pBody = gaLoadedCar[nCar].paCar;
            const DK_ACTOR* pRoot = gaLoadedCar[nCar].paBodyDummy;
            ASSERT_NE(pBody, nullptr);
            ASSERT_NE(pRoot, nullptr);
            EXPECT_NE(pBody->uAlwaysDraw, 0) << "the body";
            EXPECT_EQ(CountHiddenOnSplitScreen(pBody->pChild), 0) << "the body's parts";
            EXPECT_EQ(CountHiddenOnSplitScreen(pRoot->pChild), 0) << "the root's parts";
        }
    }
    gnTestGameType = 0;
    gNumberOfPlayers = 1;
    gaTestGameData[GD_GAME_TYPE] = 0;
}

TEST_F(DispInitStageTest, ACarThatDoesNotLoadEndsItBeforeTheSounds)
{
    NextStage();
    fs::remove(hardDisk / "OBJECTS" / "CARS" / "ORI" / "ORIDAY.C3D");
    std::string out;
    const std::string log = Run(&out);
    EXPECT_TRUE(Reported(out + log, "The car file OBJECTS\\CARS\\ORI\\ORIDAY.C3D is missing or "
                                    "holds no car"))
        << out << log;
    EXPECT_NE(log.find("Fonts Loaded\n"), std::string::npos) << "the stage's files loaded";
    EXPECT_EQ(log.find("Cars loaded"), std::string::npos);
    EXPECT_EQ(MenuSound_GetLoadCallsForTests(), 0);
    EXPECT_EQ(CarSound_GetLoadCallsForTests(), 0);
    EXPECT_EQ(log.find("InitialiseTrackObjects - start"), std::string::npos);
    EXPECT_FALSE(gboStageInitialised);
    EXPECT_FALSE(gboGameDisplayReady);
}

TEST_F(DispInitStageTest, ThePalettesOfThePalettisedDisplayAreInstalled)
{
    // What the 8-bit display loads for the demo stage: the start-up palette from the hard
    // disk, the loading screen's, the cars' (each car's own and the shared one) and the
    // country's from the disc. Our display has no 8-bit mode, so they are read here directly.
    NextStage();
    DkSetCDPath("D:\\game");
    struct Case
    {
        const char* pszPath;
        int nKind;
    };
    const Case cases[] = {
        {"ini\\loadpal.pal", DKLF_HARDDRIVE},       {"NZ\\Loading.pal", DKLF_CD},
        {"\\palettes\\cars\\sub64.pal", DKLF_CD},   {"\\palettes\\cars\\cars64.pal", DKLF_CD},
        {"\\palettes\\countries\\nz.pal", DKLF_CD},
    };
    for (const Case& c : cases)
    {
        DK_PALETTE_ENTRY entries[256] = {};
        std::string out =
            CaptureOutput([&] { EXPECT_TRUE(DkLoadPalette(c.pszPath, entries, c.nKind)); });
        EXPECT_EQ(CountReports(out), 0) << c.pszPath << out;
    }
}
} // namespace
