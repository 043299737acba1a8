// The frames of the running states on the data kit's demo stage, loaded on a 320 x 240 display:
// the viewports by state and players, a frame during the second turn's set-up, the fade layer,
// the start's lights and run-in through the real start sequence, the finish display ending the
// race, the super special stage's finish passed to the tick through the snapshot, the scene
// drawn through the player's camera, and the recorders' size.
#include <cmath>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/dk_qtime.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_font.h"
#include "game/hud/gamefade.h"
#include "game/hud/osd.h"
#include "game/race/cameras.h"
#include "game/race/display.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/loading.h"
#include "game/race/pertick.h"
#include "game/race/replay.h"
#include "game/race/superspecial.h"
#include "platform/reg/reg.h"
#include "tests/game/car_fixture.h"
#include "tools/bench/stage_frame.h"
#include "tools/datakit/install.h"

namespace
{
namespace fs = std::filesystem;

constexpr int kWidth = 320;
constexpr int kHeight = 240;

class DisplayTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        output += CaptureOutput([&] { datakit::InstallDemo(env.Root()); });
        RegReload();
        Cameras_ResetForTests();
        Disp_ResetForTests();
        GameFade_SetForTests(FALSE, ONE);
        gboStageInitialised = FALSE;
        gboGameDisplayReady = FALSE;
        stage::DisplayOptions options;
        options.width = kWidth;
        options.height = kHeight;
        std::string problem;
        output += CaptureOutput([&] { ASSERT_TRUE(stage::PrepareDisplay(options, &problem)); });
        RegisterTestEntries();
        DkSetHardDrivePath((fs::path(env.DriveC()) / "Dezor").string().c_str());
        gaTestGameData[GD_CAR_RESOLUTION] = 1;
        gaTestGameData[GD_SCREEN_SIZE] = 0;
        output += CaptureOutput([] { DispInitStage(); });
        ASSERT_TRUE(gboStageInitialised) << output;
        // The race ticks time their parts, as the program's start-up lets them.
        QuickTime_Init();
        // The set-up's own reports (the heaps made again) are not the frames'.
        output.clear();
    }
    void TearDown() override
    {
        GameFade_SetForTests(FALSE, ONE);
        Disp_ResetForTests();
        DkSetHardwareType(0);
        output += CaptureOutput([] { stage::CloseDisplay(); });
        DkResetDataPathsForTests();
        CarTest::TearDown();
    }
    // One frame of the state as the display draws it: the snapshot, then the frame.
    DispFrameRecord Frame(int nState, BOOL boStartLights = FALSE)
    {
        GameHandler_SetStateForTests(nState);
        Disp_TakeFrameSnapshot(0);
        output += CaptureOutput([&] { Disp_RenderFrame(FALSE, FALSE, boStartLights); });
        return Disp_GetFrameRecordForTests();
    }
    std::string output;
};

bool SameRect(const DK_RECT& a, const DK_RECT& b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

// Two players race and pause in two viewports, stacked or side by side; every other state, one
// player and the school draw one full-screen viewport.
TEST_F(DisplayTest, TheViewportsFollowTheStateAndThePlayers)
{
    const DK_RECT whole = {0, 0, kWidth, kHeight};
    const DK_RECT top = {0, 0, kWidth, kHeight / 2}, bottom = {0, kHeight / 2, kWidth, kHeight / 2};
    const DK_RECT left = {0, 0, kWidth / 2, kHeight}, right = {kWidth / 2, 0, kWidth / 2, kHeight};
    struct Case
    {
        const char* what;
        int nState, nPlayers;
        BOOL boSchool, boStacked;
        int nViews;
        DK_RECT first, second;
    };
    const Case cases[] = {
        {"one player's race", GAME_STATE_RACE, 1, FALSE, FALSE, 1, whole, {}},
        {"two players' race, stacked", GAME_STATE_RACE, 2, FALSE, TRUE, 2, top, bottom},
        {"two players' race, side by side", GAME_STATE_RACE, 2, FALSE, FALSE, 2, left, right},
        {"two players' pause", GAME_STATE_PAUSE, 2, FALSE, TRUE, 2, top, bottom},
        {"two players' end of stage", GAME_STATE_END_STAGE, 2, FALSE, TRUE, 1, whole, {}},
        {"two players' podium", GAME_STATE_REPLAY, 2, FALSE, TRUE, 1, whole, {}},
        {"the school's race", GAME_STATE_RACE, 2, TRUE, TRUE, 1, whole, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        gNumberOfPlayers = c.nPlayers;
        gboTestRallySchool = c.boSchool;
        gboSplitHorizontal = c.boStacked;
        const DispFrameRecord r = Frame(c.nState);
        ASSERT_TRUE(r.boDrawn);
        EXPECT_EQ(r.nViewports, c.nViews);
        EXPECT_TRUE(SameRect(r.aViewports[0], c.first));
        if (c.nViews == 2)
            EXPECT_TRUE(SameRect(r.aViewports[1], c.second));
    }
    gboTestRallySchool = FALSE;
    EXPECT_EQ(CountReports(output), 0) << output;
}

// While the second player's turn is set up a frame draws nothing and counts no frame.
TEST_F(DisplayTest, AFrameDuringTheSecondTurnsSetUpDrawsNothing)
{
    const int32_t nFrames = Disp_GetFrameCount();
    gboTurnSwitch = TRUE;
    EXPECT_FALSE(Frame(GAME_STATE_RACE).boDrawn);
    EXPECT_EQ(Disp_GetFrameCount(), nFrames);
    // The race's display clears the flag: its frame is drawn.
    GameHandler_SetStateForTests(GAME_STATE_RACE);
    output += CaptureOutput([] { DispRace(); });
    EXPECT_FALSE(gboTurnSwitch.load());
    EXPECT_TRUE(Disp_GetFrameRecordForTests().boDrawn);
    EXPECT_EQ(Disp_GetFrameCount(), nFrames + 1);
}

// While a fade runs the screen is covered in black at 255 - (level x 255 >> 16); hardware
// type 6 draws no fade layer, and no fade none.
TEST_F(DisplayTest, TheFadeLayersAlphaFollowsTheFadesLevel)
{
    struct Case
    {
        BOOL boRunning;
        int32_t xLevel;
        int nHardware;
        int nAlpha;
    } const cases[] = {
        {TRUE, 0, 0, 255}, {TRUE, ONE / 2, 0, 128}, {TRUE, ONE / 4, 0, 192},
        {TRUE, ONE, 0, 0}, {TRUE, 0, 6, -1},        {FALSE, 0, 0, -1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << c.xLevel << " on type " << c.nHardware);
        GameFade_SetForTests(c.boRunning, c.xLevel);
        DkSetHardwareType(c.nHardware);
        EXPECT_EQ(Frame(GAME_STATE_RACE).nFadeAlpha, c.nAlpha);
    }
}

// The start through the game flow's ticks: nothing in the intro, the wait, then each light
// fading and shrinking from 0.6 of the width as its ticks run out, then the run-in's light
// growing to 0.8 of the width as it fades, every 20 ticks.
TEST_F(DisplayTest, TheStartLightsFollowTheLightAndRunInCounters)
{
    GameHandler_SetStateForTests(GAME_STATE_RACE);
    gboFirstFrameDrawn = TRUE;
    InitPlayerStart(0);
    int nLightFrames = 0, nRunInFrames = 0, nWaitFrames = 0;
    for (int nTick = 0; nTick < 200; ++nTick)
    {
        output += CaptureOutput([] { GameState_Race(); });
        const DispFrameRecord r = Frame(GAME_STATE_RACE, TRUE);
        const DISP_FRAME_SNAPSHOT& fr = gDispFrame;
        SCOPED_TRACE(::testing::Message() << "tick " << nTick << " phase " << r.nStartPhase);
        if (r.nStartPhase == DISP_START_WAIT)
            ++nWaitFrames;
        else if (r.nStartPhase == DISP_START_LIGHTS)
        {
            ++nLightFrames;
            const double t = static_cast<double>(fr.anLightTicks[0]) / fr.nStepTicks;
            EXPECT_NEAR(r.nLightAlpha, t * 255 + 1, 1.0);
            EXPECT_NEAR(r.lightRect.w, t * 0.6 * kWidth, 1.0);
            EXPECT_NEAR(r.lightRect.h, t * kHeight, 1.0);
            EXPECT_NEAR(r.lightRect.x + r.lightRect.w / 2.0, kWidth / 2.0, 1.0);
            EXPECT_NEAR(r.lightRect.y + r.lightRect.h / 2.0, kHeight / 2.0, 1.0);
            EXPECT_EQ(r.nLightSource, fr.anLightsLeft[0] - 1);
        }
        else if (r.nStartPhase == DISP_START_RUN_IN)
        {
            ++nRunInFrames;
            const double t = (20 - fr.anRunIn[0] % 20) / 20.0;
            EXPECT_NEAR(r.nLightAlpha, 255 - t * 255, 1.0);
            EXPECT_NEAR(r.lightRect.w, t * 0.8 * kWidth, 1.0);
            EXPECT_NEAR(r.lightRect.h, t * kHeight, 1.0);
            EXPECT_NEAR(r.lightRect.x + r.lightRect.w / 2.0, kWidth / 2.0, 1.0);
        }
    }
    // 3 s of waiting at 25 ticks a second, five lights of 20 ticks (the first tick of each
    // light drawn with its ticks already counted), then the run-in.
    EXPECT_GE(nWaitFrames, 75);
    EXPECT_GE(nLightFrames, 95);
    EXPECT_GT(nRunInFrames, 10);
    EXPECT_EQ(CountReports(output), 0) << output;
}

// A finished player's finish display ends the race once the after-finish hold has run out;
// a player still driving gets none.
TEST_F(DisplayTest, TheFinishDisplayEndsTheRaceOnceTheHoldHasRunOut)
{
    struct Case
    {
        BOOL boFinished;
        int32_t nHold;
        int nCalls;
        BOOL boOver;
    } const cases[] = {{FALSE, 0, 0, FALSE}, {TRUE, 5, 1, FALSE}, {TRUE, 0, 1, TRUE}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << c.boFinished << " hold " << c.nHold);
        output += CaptureOutput([] { Osd_ResetState(); });
        GameHandler_SetFinishedForTests(0, c.boFinished);
        gaStartHold[0] = c.nHold;
        EXPECT_EQ(Frame(GAME_STATE_RACE).nFinishCalls, c.nCalls);
        EXPECT_EQ(gboRaceFinished, c.boOver);
    }
}

// On a super special stage the finish display runs 100 frames; then the next snapshot, inside
// the critical section, ends the stage and both holds.
TEST_F(DisplayTest, ASuperSpecialFinishEndsTheStageThroughTheSnapshot)
{
    SuperSpecial_SetForTests(TRUE);
    GameHandler_SetFinishedForTests(0, TRUE);
    gboEndOfStage = FALSE;
    gaStartHold[0] = gaStartHold[1] = START_HOLD_TICKS;
    for (int n = 0; n < START_HOLD_TICKS; ++n)
    {
        EXPECT_EQ(Frame(GAME_STATE_RACE).nFinishCalls, 0);
        ASSERT_FALSE(gboEndOfStage) << "frame " << n;
    }
    Disp_TakeFrameSnapshot(0);
    EXPECT_TRUE(gboEndOfStage);
    EXPECT_EQ(gaStartHold[0], 0);
    EXPECT_EQ(gaStartHold[1], 0);
    // The next stage's finish display runs its 100 frames again.
    GameHandler_SetFinishedForTests(0, FALSE);
    Disp_TakeFrameSnapshot(0);
    GameHandler_SetFinishedForTests(0, TRUE);
    gboEndOfStage = FALSE;
    Frame(GAME_STATE_RACE);
    Disp_TakeFrameSnapshot(0);
    EXPECT_FALSE(gboEndOfStage);
    SuperSpecial_SetForTests(FALSE);
}

// The race's frame blends, then draws the stage through player 0's camera, which follows its car.
TEST_F(DisplayTest, TheRaceIsDrawnThroughThePlayersCamera)
{
    ASSERT_NE(gapPlayerCamera[0], nullptr);
    GameHandler_SetStateForTests(GAME_STATE_RACE);
    output += CaptureOutput(
        []
        {
            UpdateMechanics();
            UpdateMechanics();
            DispRace();
        });
    EXPECT_EQ(CountReports(output), 0) << output;
    EXPECT_EQ(Disp_GetFrameRecordForTests().nRenders, 1);
    EXPECT_EQ(gpRenderCameraActor, gapPlayerCamera[0]);
    EXPECT_TRUE(gboFirstFrameDrawn.load());
    // The near chase camera stands 6.0 behind and 1.5 above the car.
    const DK_MATRIX& camera = gapPlayerCamera[0]->World;
    const DK_MATRIX& car = gaCarBody[0].paCar->World;
    double d2 = 0;
    for (int k = 0; k < 3; ++k)
        d2 += std::pow((camera.m[3][k] - car.m[3][k]) / 65536.0, 2);
    EXPECT_NEAR(std::sqrt(d2), std::sqrt(6.0 * 6.0 + 1.5 * 1.5), 0.05);
}

// The projection of a view: its scales from the field-of-view value and the screen's shape,
// the split screen's halves, mirror mode's flipped x and culling order, the far plane nearer
// while the director films, and the track drawer's near objects from value C.
TEST_F(DisplayTest, TheProjectionFollowsTheViewAndTheScreen)
{
    struct Case
    {
        const char* what;
        int nPlayers;
        BOOL boStacked;
        int nState;
        uint8_t uOption37;
        BOOL boDirector;
        double dScaleX, dScaleY;
    };
    const double x = 1.14 * 2.46 * 0.625 * kWidth / kHeight, y = 2.73 * 2.46 * 0.625;
    const Case cases[] = {
        {"one player", 1, FALSE, GAME_STATE_RACE, 0, FALSE, x, y},
        {"two stacked", 2, TRUE, GAME_STATE_RACE, 0, FALSE, x, 4 * y},
        {"two side by side", 2, FALSE, GAME_STATE_RACE, 0, FALSE, 2 * x, y / 2},
        {"two at the end of the stage", 2, FALSE, GAME_STATE_END_STAGE, 0, TRUE, x, y},
        {"two leaving", 2, TRUE, GAME_STATE_LEAVE_GAME, 0, TRUE, x, y},
        {"mirror mode", 1, FALSE, GAME_STATE_RACE, 0x20, FALSE, -x, y},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        gNumberOfPlayers = c.nPlayers;
        gboSplitHorizontal = c.boStacked;
        gaTestGameData[37] = c.uOption37;
        GameHandler_SetStateForTests(c.nState);
        gaCameraFrameView[0] = {ONE, 7 * ONE, 40960, c.boDirector};
        Cameras_GetFieldOfView(0);
        EXPECT_NEAR(d3d->Projection.m[0][0] / 65536.0, c.dScaleX / 2, 0.002);
        EXPECT_NEAR(d3d->Projection.m[1][1] / 65536.0, c.dScaleY / 2, 0.002);
        EXPECT_EQ(d3d->anRenderStateCache[DKRS_CULLMODE], c.uOption37 ? 2 : 3);
        EXPECT_NEAR(gxTrackClipDistance / 65536.0,
                    gxHorizonDistance / 65536.0 * (c.boDirector ? 0.8 : 1.0), 0.01);
        EXPECT_TRUE(gboBlendNearObjects);
        EXPECT_EQ(gxNearObjectDistance, 7 * ONE);
    }
    gaCameraFrameView[0].xTrackDraw = 0;
    Cameras_GetFieldOfView(0);
    EXPECT_FALSE(gboBlendNearObjects);
    gaTestGameData[37] = 0;
    gNumberOfPlayers = 1;
    gboSplitHorizontal = FALSE;
}

// The result fonts come from the folder of the screen's size; the title font of the 800-wide
// screen is the 640x480 one (the data has no 800x600 title), taller than the 320-wide one. (The
// stage's font table has room for two more loads.)
TEST_F(DisplayTest, TheTitleFontOfTheWidestScreenIsThe640x480One)
{
    const int nWidth = d2d->nWidth;
    int32_t anTitleHeight[2] = {};
    const int anWidths[2] = {800, 320};
    for (int i = 0; i < 2; ++i)
    {
        SCOPED_TRACE(anWidths[i]);
        d2d->nWidth = anWidths[i];
        output += CaptureOutput([] { LoadResultFonts(); });
        ASSERT_NE(gpTitleFont, nullptr) << output;
        EXPECT_NE(gpResultFont, nullptr);
        EXPECT_NE(gpResultGrFont, nullptr);
        anTitleHeight[i] = gpTitleFont->nHeight;
    }
    d2d->nWidth = nWidth;
    EXPECT_EQ(CountReports(output), 0) << output;
    EXPECT_GT(anTitleHeight[0], anTitleHeight[1]);
}

// The recorders hold 7,500 frames, 15,000 at 50 ticks a second, one for each player.
TEST_F(DisplayTest, TheRecordersHoldFiveMinutesOfTicks)
{
    for (const auto& [boFifty, nFrames] : {std::pair{FALSE, 7500}, std::pair{TRUE, 15000}})
    {
        gbo50HzMode = boFifty;
        gNumberOfPlayers = 2;
        Replay_Destructor();
        Disp_AllocReplayStates();
        for (int p = 0; p < 2; ++p)
        {
            ASSERT_NE(gapRecorders[p], nullptr);
            EXPECT_EQ(Replay_GetHalf(gapRecorders[p], REPLAY_SCENES), 1);
            EXPECT_EQ(Replay_GetHalf(gapRecorders[p], REPLAY_FRAMES), nFrames);
        }
        EXPECT_EQ(gapRecorders[2], nullptr);
        Replay_Destructor();
    }
    gbo50HzMode = FALSE;
}

} // namespace
