// The game flow: the stage's start with its lights, the stage's initialisation and the game's,
// the stepping onto the next stage and country, the pause, the exchange of the two players'
// data, the finish, the two-player end stage and the language texts. The car-touching calls of
// the tick are stubbed: the flow's own words are what is looked at.
#include "game/race/gameflow.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/dk_text.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/dk_light.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/input/dk_input.h"
#include "game/effects/codriver.h"
#include "game/effects/prangsnd.h"
#include "game/hud/catseye.h"
#include "game/hud/osd.h"
#include "game/hud/pause.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/keys.h"
#include "game/race/pertick.h"
#include "game/race/replay.h"
#include "game/race/splttime.h"
#include "game/race/stageinfo.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carmodel.h"
#include "platform/reg/reg.h"
#include "platform/win/win_internal.h"
#include "tests/game/race_fixture.h"
#include "tools/datakit/install.h"

namespace
{

constexpr int kVkShift = 0x10;

// Whether the log holds line a with line b right after it (whatever the line ends).
bool LinesFollow(const std::string& log, const std::string& a, const std::string& b)
{
    const size_t at = log.find(a);
    if (at == std::string::npos)
        return false;
    size_t next = at + a.size();
    while (next < log.size() && (log[next] == '\r' || log[next] == '\n'))
        ++next;
    return log.compare(next, b.size(), b) == 0;
}

class GameFlowTest : public RaceTest
{
protected:
    void SetUp() override
    {
        RaceTest::SetUp();
        DK_ENTRIES entries{};
        entries.GetWritableGameData = [] { return gaRaceGameData.data(); };
        DkRegisterEntries(&entries);
        GameHandler_ResetForTests();
        Keys_ResetForTests();
        PauseMenu_Reset();
        PauseMenu_ResetForTests();
        StageTimer_ResetForTests();
        PrangSnd_ResetCountdownForTests();
        Replay_Destructor();
        gpreplSuperCPU = nullptr;
        gnSuperCPUStartFrame = 0;
        Cameras_ResetForTests();
        SuperSpecial_SetForTests(FALSE);
        StageInfo_SetLightForTests(2);
        WinKeysReset();
        for (DK_CONTROLLER& c : gaControllers)
            c = DK_CONTROLLER{};
        for (int n = 0; n < MAX_CARS; ++n)
        {
            gaCarBody[n] = CarBody{};
            gaCarMechanics[n] = CarMechanics{};
        }
        for (PlayerView& v : gaPlayerView)
            v = PlayerView{};
        gnNumMechCars = 1;
        gboRaceFinished = FALSE;
        StubPerTickCarCalls();
    }
    void TearDown() override
    {
        PerTick_ResetForTests();
        WinKeysReset();
        Keys_ResetForTests();
        PauseMenu_Reset();
        GameHandler_ResetForTests();
        gnNumMechCars = 0;
        RaceTest::TearDown();
    }

    static void SetByte(int nOffset, uint8_t uValue) { gaRaceGameData[nOffset] = uValue; }
    // Player 0's recorder: none, one whose recording starts, or one already recording (so that
    // the start's recording fails).
    static void GiveRecorder(bool boRecorder, bool boStarts)
    {
        Replay_Destructor();
        if (!boRecorder)
            return;
        ReplayHeader* r = Replay_Create(1, 100);
        ASSERT_NE(r, nullptr);
        if (!boStarts)
            Replay_StartRecording(r, 0, 0);
    }
    // A race tick as the machine runs it: the state recorded as the one that ticked.
    static int RaceTick()
    {
        GameHandler_SetStateForTests(GAME_STATE_RACE);
        return GameState_Race();
    }
};

// The start at 25 and 50 ticks a second and in the school: the phases' lengths, the car held
// while the start waits, the lights and their samples, and the stage's clock and recording
// started as the lights go out.
TEST_F(GameFlowTest, TheStartSequenceRunsItsPhasesAtEachRate)
{
    struct Case
    {
        const char* pszName;
        bool bo50Hz, boSchool;
        int nStepTicks;
        int nIntroTicks, nHeldTicks, nHoldTicks;
        int nLights, nLightTicks, nRunInTicks;
    };
    const Case aCases[] = {
        {"25 ticks a second", false, false, 19, 1, 75, 1, 5, 20, 19},
        {"50 ticks a second", true, false, 39, 1, 150, 1, 5, 40, 19},
        // Three lights over 2.5 s: each as many whole ticks as make up its third.
        {"school at 25", false, true, 19, 0, 0, 0, 3, 21, 19},
        {"school at 50", true, true, 40, 0, 0, 0, 3, 42, 19},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        SetByte(GD_SCHOOL_SELECTION, 2 << 5); // a lesson with a start
        gbo50HzMode = c.bo50Hz ? TRUE : FALSE;
        GiveRecorder(true, true);
        InitPlayerStart(0);
        EXPECT_EQ(StartLights_GetStepTicks(), c.nStepTicks);
        gboFirstFrameDrawn = TRUE;
        TakeLog();

        int anPhaseTicks[6] = {};
        int nHeld = 0;
        std::vector<int> lightChanges;
        int nTimerStartTick = -1;
        int nCameraAfterIntro = -1;
        int nTick = 0;
        while (GameFlow_GetStartPhaseForTests(0) != 0 && nTick < 1000)
        {
            const int nPhase = GameFlow_GetStartPhaseForTests(0);
            ++anPhaseTicks[nPhase];
            ++nTick;
            ASSERT_EQ(RaceTick(), GAME_STATE_RACE);
            if (nPhase == 1)
                nCameraAfterIntro = gaPlayerView[0].nCameraType;
            if (StartSeq_IsHoldingCar(0))
                ++nHeld;
            if (nPhase == 4 && StartLights_GetChanged(0))
                lightChanges.push_back(nTick);
            if (nTimerStartTick < 0 && StageTimer_IsRunning(0))
            {
                nTimerStartTick = nTick;
                EXPECT_EQ(gaCarMechanics[0].Started, 1);
            }
            else if (nTimerStartTick < 0)
            {
                EXPECT_EQ(gaCarMechanics[0].Started, 0);
            }
        }
        EXPECT_EQ(anPhaseTicks[1], c.nIntroTicks);
        if (c.nIntroTicks > 0)
        {
            EXPECT_EQ(nCameraAfterIntro, 8) << "the TV camera";
        }
        EXPECT_EQ(nHeld, c.nHeldTicks);
        // The wait's last tick lets the car go; the hold lasts a tick.
        EXPECT_EQ(anPhaseTicks[2], c.nHeldTicks > 0 ? c.nHeldTicks + 1 : 0);
        EXPECT_EQ(anPhaseTicks[3], c.nHoldTicks);
        EXPECT_EQ(anPhaseTicks[4], c.nLights * c.nLightTicks);
        ASSERT_EQ(static_cast<int>(lightChanges.size()), c.nLights);
        for (size_t i = 1; i < lightChanges.size(); ++i)
            EXPECT_EQ(lightChanges[i] - lightChanges[i - 1], c.nLightTicks);
        EXPECT_EQ(anPhaseTicks[5], c.nRunInTicks);
        EXPECT_EQ(nTimerStartTick, lightChanges.back()) << "the clock starts as the lights go";
        // The lights' samples count down, then the "go".
        ASSERT_EQ(PrangSnd_GetCountdownCallsForTests(), c.nLights);
        for (int i = 0; i < c.nLights; ++i)
            EXPECT_EQ(PrangSnd_GetCountdownLightsForTests(i), c.nLights - i);
        EXPECT_EQ(PrangSnd_GetGoCallsForTests(), 1);
        const std::string log = TakeLog();
        EXPECT_TRUE(LinesFollow(log, "Replay constructed...", "Started recording successfully"))
            << log;
        if (c.boSchool)
        {
            EXPECT_LE(2.5, c.nLights * c.nLightTicks / (c.bo50Hz ? 50.0 : 25.0));
        }
    }
}

// The recording started as the lights go out: its outcome logged, or no recorder.
TEST_F(GameFlowTest, TheLightsGoingOutLogTheRecording)
{
    struct Case
    {
        BOOL boRecorder, boStarts;
        const char* pszLine;
    };
    const Case aCases[] = {
        {TRUE, TRUE, "Started recording successfully"},
        {TRUE, FALSE, "Recording unsuccessful"},
        {FALSE, FALSE, nullptr},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszLine != nullptr ? c.pszLine : "no recorder");
        TearDown();
        SetUp();
        GiveRecorder(c.boRecorder, c.boStarts);
        InitPlayerStart(0);
        TakeLog();
        for (int n = 0; n < 200 && !StageTimer_IsRunning(0); ++n)
            StartSeq_Countdown(0);
        ASSERT_TRUE(StageTimer_IsRunning(0));
        const std::string log = TakeLog();
        if (c.pszLine != nullptr)
            EXPECT_TRUE(LinesFollow(log, "Replay constructed...", c.pszLine)) << log;
        else
            EXPECT_NE(log.find("Replay not constructed..."), std::string::npos) << log;
    }
}

// The podium, the demo and the first school lessons have no start: the car goes at once.
TEST_F(GameFlowTest, NoStartSequenceWhereThereIsNoStart)
{
    struct Case
    {
        const char* pszName;
        bool boPodium, boDemo, boSchool;
        int nSchoolTask;
        bool boSequence;
    };
    const Case aCases[] = {
        {"a stage", false, false, false, 0, true},
        {"the podium", true, false, false, 0, false},
        {"the demo", false, true, false, 0, false},
        {"school lesson task 1", false, false, true, 1, false},
        {"school lesson task 2", false, false, true, 2, true},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        boThisIsPodiumStage = c.boPodium ? TRUE : FALSE;
        SetByte(GD_SESSION_FLAGS, c.boDemo ? 1 : 0);
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        SetByte(GD_SCHOOL_SELECTION, static_cast<uint8_t>(c.nSchoolTask << 5));
        InitPlayerStart(0);
        EXPECT_EQ(StartSeq_IsRunning(0) != FALSE, c.boSequence);
        EXPECT_EQ(gaCarMechanics[0].Started, c.boSequence ? 0 : 1);
        EXPECT_EQ(gaStartHold[0], START_HOLD_TICKS);
    }
}

// The stage's start looks up its conditions and lights the world with their track colours: the
// dark mode's night darkens the first record; the stage's faces keep their own colours.
TEST_F(GameFlowTest, InitStageLightsTheWorldByTheStageConditions)
{
    for (const bool boDark : {false, true})
    {
        SCOPED_TRACE(boDark ? "dark" : "day");
        TearDown();
        SetUp();
        gboC3dLoadOption = FALSE;
        SetByte(35, boDark ? 0x80 : 0);
        InitStage();
        EXPECT_EQ(StageInfo_GetLight() == STAGEINFO_LIGHT_NIGHT, boDark);
        EXPECT_TRUE(gboC3dLoadOption);
        const uint8_t* pColour = StageInfo_GetTrackColour(0);
        EXPECT_EQ(std::memcmp(gaAmbientLight[0], pColour, 4), 0);
        if (boDark)
        {
            EXPECT_EQ(gaAmbientLight[0][0], 50);
        }
    }
}

// The stage's rate and the state it starts in.
TEST_F(GameFlowTest, InitStageChoosesTheRateAndTheFirstState)
{
    struct Case
    {
        const char* pszName;
        bool boSchool;
        int nGameType;
        int nLight;
        bool boFiftyAllowed;
        bool boPodium, boDemo;
        BOOL bo50Hz;
        int nState;
    };
    const Case aCases[] = {
        {"allowed", false, 0, 2, true, false, false, TRUE, GAME_STATE_RACE},
        {"not allowed (38 bit 2)", false, 0, 2, false, false, false, FALSE, GAME_STATE_RACE},
        {"the school", true, 0, 2, true, false, false, FALSE, GAME_STATE_SCHOOL},
        {"two players", false, 1, 2, true, false, false, FALSE, GAME_STATE_RACE},
        {"two players with collisions", false, 3, 2, true, false, false, FALSE, GAME_STATE_RACE},
        {"players taking turns", false, 2, 2, true, false, false, TRUE, GAME_STATE_RACE},
        {"light type 8", false, 0, 8, true, false, false, FALSE, GAME_STATE_RACE},
        {"the podium", false, 0, 2, true, true, false, TRUE, GAME_STATE_REPLAY},
        {"the attract demo", false, 0, 2, true, false, true, TRUE, GAME_STATE_END_STAGE},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        gnRaceGameType = c.nGameType;
        // The stage's conditions are looked up at the stage's start: the dark mode gives light
        // type 8.
        SetByte(35, c.nLight == STAGEINFO_LIGHT_NIGHT ? 0x80 : 0);
        SetByte(38, c.boFiftyAllowed ? 4 : 0);
        gboGoToPodium = c.boPodium ? TRUE : FALSE;
        SetByte(GD_SESSION_FLAGS, c.boDemo ? 1 : 0);
        gbo50HzMode = !c.bo50Hz;
        gboPodiumSkip = TRUE; // a skip of the last podium does not end the next at once
        EXPECT_EQ(InitStage(), c.nState);
        EXPECT_FALSE(gboPodiumSkip);
        EXPECT_EQ(gbo50HzMode, c.bo50Hz);
        EXPECT_EQ(boThisIsPodiumStage, c.boPodium ? TRUE : FALSE);
        EXPECT_EQ(gNumberOfPlayers, c.nGameType == 1 || c.nGameType == 3 ? 2 : 1);
    }
}

// A game starts at the welcome screen in the school, else at the service screen (the welcome
// screen is not shown); a first stage is set up by the stage mode, a restart starts over.
TEST_F(GameFlowTest, InitGameSetsUpTheFirstStage)
{
    struct Case
    {
        const char* pszName;
        bool boSchool, boRestart;
        uint8_t uGameType, uCounters, uSelection, uMask, uLanguage;
        int nState;
        uint8_t uSelectionAfter, uCountersAfter;
        bool boFieldSet;
    };
    const Case aCases[] = {
        {"school", true, false, 0, 0, 0x32, 0, 0, GAME_STATE_WELCOME, 0x32, 0, false},
        {"championship", false, false, 0, 0, 0x32, 0, 0, GAME_STATE_SETUP_REPAIR, 0x02, 0, true},
        {"rally", false, false, 1, 0, 0x34, 0, 0, GAME_STATE_SETUP_REPAIR, 0x04, 0, true},
        {"bonus rally", false, false, 0x21, 0, 0x34, 0, 0, GAME_STATE_SETUP_REPAIR, 0x61, 0, true},
        {"time trial", false, false, 2, 0, 0x04, 0x14, 0, GAME_STATE_SETUP_REPAIR, 0x24, 0, true},
        {"a stage run already", false, false, 0, 2, 0x24, 0, 0, GAME_STATE_SETUP_REPAIR, 0x24, 2,
         false},
        {"restart", false, true, 0, 0x42, 0x24, 0, 0, GAME_STATE_SETUP_REPAIR, 0x04, 0x40, false},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        gboStageRestart = c.boRestart ? TRUE : FALSE;
        SetByte(GD_GAME_TYPE, c.uGameType);
        SetByte(GD_STAGE_COUNTERS, c.uCounters);
        SetByte(GD_STAGE_SELECTION, c.uSelection);
        SetByte(GD_COUNTRY_WORD, c.uMask);
        SetByte(GD_LANGUAGE, c.uLanguage);
        for (int i = 0; i < 256; ++i)
            SetByte(GD_ENTRANTS + i, 0xAA);
        EXPECT_EQ(InitGame(), c.nState);
        EXPECT_EQ(gaRaceGameData[GD_STAGE_SELECTION], c.uSelectionAfter);
        EXPECT_EQ(gaRaceGameData[GD_STAGE_COUNTERS], c.uCountersAfter);
        EXPECT_FALSE(gboStageRestart);
        if (!c.boFieldSet)
        {
            EXPECT_EQ(gaRaceGameData[GD_ENTRANTS], 0xAA);
            continue;
        }
        // The field's records cleared, each driver its index; drivers 0, 6, 9 and 10 take no
        // wins without the championship layout.
        for (int e = 0; e < 16; ++e)
        {
            const uint8_t* p = gaRaceGameData.data() + GD_ENTRANTS + 16 * e;
            EXPECT_EQ(p[0] | p[1] | p[2] | p[3], 0);
            EXPECT_EQ(p[12], e);
            EXPECT_EQ(p[13], e == 0 || e == 6 || e == 9 || e == 10 ? 255 : 0) << e;
        }
    }
}

// The next stage by the stage mode, and the next country of a championship.
TEST_F(GameFlowTest, StepOntoNextStageFollowsTheStageMode)
{
    struct Case
    {
        const char* pszName;
        uint8_t uGameType, uLayout, uStages, uCounters, uSelection, uMask;
        bool boPodium, boRestart, boSecondTurn, boRunning, boSchool;
        int nResult;
        uint8_t uSelectionAfter, uCountersAfter, uStagesAfter;
    };
    // clang-format off
    const Case aCases[] = {
        {"championship: next stage", 0, 0, 6, 1, 0x10, 0, false, false, false, true, false, 1, 0x20, 2, 6},
        {"championship without layout: 3 stages a country", 0, 0, 6, 2, 0x22, 0, false, false, false, true, false, 1, 0x03, 3, 7},
        {"championship with layout: the country's count", 0, 0x08, 6, 2, 0x22, 0, false, false, false, true, false, 1, 0x32, 3, 6},
        {"championship with layout: count reached", 0, 0x08, 6, 5, 0x52, 0, false, false, false, true, false, 1, 0x03, 6, 7},
        {"last country without layout (above 4)", 0, 0, 6, 2, 0x25, 0, false, false, false, true, false, 0, 0x35, 3, 6},
        {"country 4 without layout goes on", 0, 0, 6, 2, 0x24, 0, false, false, false, true, false, 1, 0x05, 3, 7},
        {"last country with layout (above 6)", 0, 0x10, 3, 2, 0x27, 0, false, false, false, true, false, 0, 0x37, 3, 3},
        {"country 6 with layout goes on", 0, 0x10, 3, 2, 0x26, 0, false, false, false, true, false, 1, 0x07, 3, 7},
        {"rally: next stage", 1, 0, 6, 0, 0x03, 0, false, false, false, true, false, 1, 0x13, 1, 6},
        {"rally: over where a championship steps on", 1, 0, 6, 2, 0x23, 0, false, false, false, true, false, 0, 0x33, 3, 6},
        {"bonus rally: the next listed country", 0x21, 0, 6, 1, 0x63, 0, false, false, false, true, false, 1, 0x65, 2, 6},
        {"bonus rally: over after 4", 0x21, 0, 6, 3, 0x67, 0, false, false, false, true, false, 0, 0x67, 4, 6},
        {"time trial: next ticked stage", 2, 0, 6, 0, 0x14, 0x2A, false, false, false, true, false, 1, 0x34, 1, 6},
        {"time trial: none left", 2, 0, 6, 0, 0x54, 0x2A, false, false, false, true, false, 0, 0x54, 1, 6},
        {"mode 3: over", 3, 0, 6, 0, 0x10, 0, false, false, false, true, false, 0, 0x10, 1, 6},
        {"the podium next: no step", 0, 0, 6, 1, 0x10, 0, true, false, false, true, false, 1, 0x10, 1, 6},
        {"a restart: no step", 0, 0, 6, 1, 0x10, 0, false, true, false, true, false, 1, 0x10, 1, 6},
        {"the second turn steps past the podium flag", 0, 0, 6, 1, 0x10, 0, true, false, true, true, false, 1, 0x20, 2, 6},
        {"no game running", 0, 0, 6, 1, 0x10, 0, false, false, false, false, false, 0, 0x10, 1, 6},
        {"the school steps whatever", 0, 0, 6, 0x41, 0x10, 0, true, false, false, false, true, 1, 0x20, 0x42, 6},
    };
    // clang-format on
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        SetByte(GD_GAME_TYPE, c.uGameType);
        SetByte(GD_LANGUAGE, c.uLayout);
        SetByte(GD_COUNTRY_STAGES, c.uStages);
        SetByte(GD_STAGE_COUNTERS, c.uCounters);
        SetByte(GD_STAGE_SELECTION, c.uSelection);
        SetByte(GD_COUNTRY_WORD, c.uMask);
        gboGoToPodium = c.boPodium ? TRUE : FALSE;
        gboStageRestart = c.boRestart ? TRUE : FALSE;
        if (c.boSecondTurn)
        {
            gnRaceGameType = 2;
            gboSecondPlayerTurn = TRUE;
        }
        gboGameRunning = c.boRunning ? TRUE : FALSE;
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        for (int i = 0; i < 4; ++i)
            SetByte(GD_ENTRANTS + 16 * 3 + i, 0x11);
        EXPECT_EQ(StepOntoNextStage(), c.nResult);
        EXPECT_EQ(gaRaceGameData[GD_STAGE_SELECTION], c.uSelectionAfter);
        EXPECT_EQ(gaRaceGameData[GD_STAGE_COUNTERS], c.uCountersAfter);
        EXPECT_EQ(gaRaceGameData[GD_COUNTRY_STAGES], c.uStagesAfter);
    }
}

// Escape held through the pause's close does not open it again until it is let go and pressed;
// Shift+Q leaves the stage at once; resuming goes back to the race, or to the school's state.
TEST_F(GameFlowTest, ThePauseOpensAndClosesOnEscape)
{
    gboFirstFrameDrawn = TRUE;
    InitPlayerStart(0);
    EXPECT_EQ(RaceTick(), GAME_STATE_RACE); // the intro
    EXPECT_EQ(RaceTick(), GAME_STATE_RACE); // Escape up: the pause is armed
    WinKeyEvent(DK_VK_ESCAPE, TRUE);
    ASSERT_EQ(RaceTick(), GAME_STATE_PAUSE);
    // Held into the menu, Escape does nothing there; let go and pressed, it resumes.
    EXPECT_EQ(PauseGame(), GAME_STATE_PAUSE);
    WinKeyEvent(DK_VK_ESCAPE, FALSE);
    EXPECT_EQ(PauseGame(), GAME_STATE_PAUSE);
    WinKeyEvent(DK_VK_ESCAPE, TRUE);
    ASSERT_EQ(PauseGame(), GAME_STATE_RACE);
    EXPECT_TRUE(gboPauseLocked);
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(RaceTick(), GAME_STATE_RACE) << "Escape still held from the pause";
    WinKeyEvent(DK_VK_ESCAPE, FALSE);
    EXPECT_EQ(RaceTick(), GAME_STATE_RACE);
    EXPECT_FALSE(gboPauseLocked);
    WinKeyEvent(DK_VK_ESCAPE, TRUE);
    ASSERT_EQ(RaceTick(), GAME_STATE_PAUSE) << "pressed again, it pauses";
    WinKeyEvent(DK_VK_ESCAPE, FALSE);

    // Shift+Q in the pause.
    EXPECT_EQ(PauseGame(), GAME_STATE_PAUSE);
    WinKeyEvent(kVkShift, TRUE);
    WinKeyEvent('Q', TRUE);
    EXPECT_EQ(PauseGame(), GAME_STATE_LEAVE_GAME);
    WinKeyEvent('Q', FALSE);
    WinKeyEvent(kVkShift, FALSE);
}

TEST_F(GameFlowTest, ThePauseResumesTheStateItCameFrom)
{
    struct Case
    {
        const char* pszName;
        bool boSchool;
        int nFrom;
    };
    const Case aCases[] = {
        {"the race", false, GAME_STATE_RACE},
        {"the school's state", true, GAME_STATE_SCHOOL},
        {"the school's run", true, GAME_STATE_RACE},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        SetByte(GD_SCHOOL_SELECTION, 2 << 5);
        InitPlayerStart(0);
        gboFirstFrameDrawn = TRUE;
        DoPauseMode(0);
        GameHandler_SetStateForTests(c.nFrom);
        ASSERT_EQ(c.nFrom == GAME_STATE_SCHOOL ? GameState_School() : GameState_Race(),
                  GAME_STATE_PAUSE);
        EXPECT_EQ(PauseGame(), GAME_STATE_PAUSE);
        PauseMenu_Leave();
        EXPECT_EQ(PauseGame(), c.nFrom);
    }
}

// The second player's turn: once exchanged the second player's data sits in slot 0, twice
// every value is back.
TEST_F(GameFlowTest, SwappingThePlayersTwiceRestoresEveryValue)
{
    // Slot 1 gets its own values in every per-player record.
    auto Fill = [](int nSlot, uint8_t uSeed)
    {
        uint8_t* pBody = reinterpret_cast<uint8_t*>(&gaCarBody[nSlot]);
        for (size_t i = 0; i < sizeof(CarBody); ++i)
            pBody[i] = static_cast<uint8_t>(uSeed + i);
        uint8_t* pMech = reinterpret_cast<uint8_t*>(&gaCarMechanics[nSlot]);
        for (size_t i = 0; i < sizeof(CarMechanics); ++i)
            pMech[i] = static_cast<uint8_t>(uSeed * 3 + i);
        gaStartHold[nSlot] = uSeed;
        gaPlayerStartScale[nSlot] = uSeed * 7;
        gaPlayerFinishTime[nSlot] = uSeed * 11;
        for (int s = 0; s < SPLIT_TIMES; ++s)
            gaSplitTimeTable[nSlot][s] = uSeed * 13 + s;
        gaSplitsPassed[nSlot] = uSeed;
        gaCatsEyeHead[nSlot] = uSeed * 17;
        gaNearestCheckpoint[nSlot] = uSeed * 19;
        gaCarTrackSection[nSlot] = uSeed * 23;
        gaPlayerView[nSlot].nCameraType = uSeed;
    };
    struct Image
    {
        std::vector<uint8_t> bytes;
        int nPhase;
        BOOL boFinished, boHolding;
    };
    auto Take = [](int nSlot)
    {
        Image image;
        auto Add = [&](const void* p, size_t n)
        {
            const uint8_t* b = static_cast<const uint8_t*>(p);
            image.bytes.insert(image.bytes.end(), b, b + n);
        };
        Add(&gaCarBody[nSlot], sizeof(CarBody));
        Add(&gaCarMechanics[nSlot], sizeof(CarMechanics));
        Add(&gaStartHold[nSlot], sizeof gaStartHold[0]);
        Add(&gaPlayerStartScale[nSlot], sizeof gaPlayerStartScale[0]);
        Add(&gaPlayerFinishTime[nSlot], sizeof gaPlayerFinishTime[0]);
        Add(gaSplitTimeTable[nSlot], sizeof gaSplitTimeTable[0]);
        Add(&gaSplitsPassed[nSlot], sizeof gaSplitsPassed[0]);
        Add(&gaCatsEyeHead[nSlot], sizeof gaCatsEyeHead[0]);
        Add(&gaNearestCheckpoint[nSlot], sizeof gaNearestCheckpoint[0]);
        Add(&gaCarTrackSection[nSlot], sizeof gaCarTrackSection[0]);
        Add(&gaPlayerView[nSlot], sizeof gaPlayerView[0]);
        image.nPhase = GameFlow_GetStartPhaseForTests(nSlot);
        image.boFinished = HasPlayerFinished(nSlot);
        image.boHolding = StartSeq_IsHoldingCar(nSlot);
        return image;
    };
    Fill(0, 1);
    Fill(1, 101);
    // Player 0 waits at the start, player 1 has finished and is held.
    InitPlayerStart(0);
    GameHandler_SetFinishedForTests(1, TRUE);
    StartSeq_SetHoldingForTests(1, TRUE);
    const Image first = Take(0), second = Take(1);
    ASSERT_NE(first.bytes, second.bytes);

    SwapTwoPlayerAlternateCars();
    const Image now0 = Take(0), now1 = Take(1);
    EXPECT_EQ(now0.bytes, second.bytes);
    EXPECT_EQ(now1.bytes, first.bytes);
    EXPECT_EQ(now0.nPhase, second.nPhase);
    EXPECT_EQ(now0.boFinished, TRUE);
    EXPECT_EQ(now0.boHolding, TRUE);
    EXPECT_EQ(now1.nPhase, first.nPhase);

    SwapTwoPlayerAlternateCars();
    const Image back0 = Take(0), back1 = Take(1);
    EXPECT_EQ(back0.bytes, first.bytes);
    EXPECT_EQ(back1.bytes, second.bytes);
    EXPECT_EQ(back0.nPhase, first.nPhase);
    EXPECT_EQ(back1.boFinished, TRUE);
    EXPECT_EQ(back1.boHolding, TRUE);
    gaCarBody[0] = gaCarBody[1] = CarBody{};
    gaCarMechanics[0] = gaCarMechanics[1] = CarMechanics{};
}

// The finish is recorded, and the co-driver's comment played, only for the one player of a
// one-player race; the finished flag is set whatever.
TEST_F(GameFlowTest, OnPlayerFinishedRecordsOnlyTheOnePlayerRace)
{
    struct Case
    {
        const char* pszName;
        int nPlayer;
        bool boSchool, boDemo, boAlreadyFinished;
        int nGameType, nState;
        bool boRecorded;
    };
    const Case aCases[] = {
        {"one player racing", 0, false, false, false, 0, GAME_STATE_RACE, true},
        {"the school", 0, true, false, false, 0, GAME_STATE_RACE, false},
        {"the end stage", 0, false, false, false, 0, GAME_STATE_END_STAGE, false},
        {"finished already", 0, false, false, true, 0, GAME_STATE_RACE, false},
        {"the demo", 0, false, true, false, 0, GAME_STATE_RACE, false},
        {"two players", 0, false, false, false, 1, GAME_STATE_RACE, false},
        {"taking turns", 0, false, false, false, 2, GAME_STATE_RACE, false},
        {"player 1", 1, false, false, false, 0, GAME_STATE_RACE, false},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        SetByte(GD_SESSION_FLAGS, c.boDemo ? 1 : 0);
        gnRaceGameType = c.nGameType;
        GameHandler_SetFinishedForTests(c.nPlayer, c.boAlreadyFinished ? TRUE : FALSE);
        GameHandler_SetStateForTests(c.nState);
        StageTimer_Start(0);
        for (int n = 0; n < 30; ++n)
            StageTimer_Advance(65536);
        gaPlayerFinishTime[0] = -1;
        const int nComments = CoDriver_GetEndStageCommentsForTests();
        OnPlayerFinished(c.nPlayer);
        EXPECT_TRUE(HasPlayerFinished(c.nPlayer));
        EXPECT_EQ(CoDriver_GetEndStageCommentsForTests() - nComments, c.boRecorded ? 1 : 0);
        EXPECT_EQ(gaPlayerFinishTime[0], c.boRecorded ? 3000 : -1);
    }
}

// In a two-player end stage the shown car changes after every 10 s of the end stage's clock
// while the other car still drives; once it has finished, the view stays.
TEST_F(GameFlowTest, TheTwoPlayerEndStageShowsTheOtherCarEveryTenSeconds)
{
    for (const BOOL bo50Hz : {FALSE, TRUE})
    {
        SCOPED_TRACE(bo50Hz ? "50" : "25");
        TearDown();
        SetUp();
        gnRaceGameType = 1;
        gNumberOfPlayers = 2;
        gnNumMechCars = 2;
        gbo50HzMode = bo50Hz;
        const int32_t xTick = 65536 / (bo50Hz ? 50 : 25);
        // The first tick whose time is past 0x9ffff.
        const int nSwitch = 0x9ffff / xTick + 1;
        std::vector<int> switches;
        int nShown = GameFlow_GetShownCarForTests();
        for (int n = 1; n <= 2 * nSwitch + 5; ++n)
        {
            GameState_EndStage();
            if (GameFlow_GetShownCarForTests() != nShown)
            {
                nShown = GameFlow_GetShownCarForTests();
                switches.push_back(n);
                EXPECT_EQ(gaPlayerView[0].nCameraType, 9);
            }
        }
        ASSERT_EQ(switches.size(), 2u);
        EXPECT_EQ(switches[0], nSwitch);
        EXPECT_EQ(switches[1], 2 * nSwitch);
        // The car not shown (car 1 now... or 0) has finished: no more switches.
        GameHandler_SetFinishedForTests(1 - nShown, TRUE);
        for (int n = 0; n < nSwitch + 5; ++n)
            GameState_EndStage();
        EXPECT_EQ(GameFlow_GetShownCarForTests(), nShown);
    }
}

// The language index of the game data (three bits) is checked before the five files are named.
TEST_F(GameFlowTest, TheLanguageIndexIsCheckedBeforeUse)
{
    for (int nLanguage = 5; nLanguage < 8; ++nLanguage)
    {
        SCOPED_TRACE(nLanguage);
        SetByte(GD_LANGUAGE, static_cast<uint8_t>(0x18 | nLanguage));
        TakeLog();
        EXPECT_FALSE(LoadLanguageText());
        const std::string log = TakeLog();
        EXPECT_NE(log.find("the language index is out of range"), std::string::npos) << log;
    }

    datakit::InstallSummary demo = datakit::InstallDemo(env.Path("demo"));
    {
        SavedVariable registry("DEZOR_REGISTRY");
        setenv("DEZOR_REGISTRY", demo.registryFile.c_str(), 1);
        RegReload();
        DkResetDataPathsForTests();
        SetCDPathFromRegistry();
        const char* const aszFirstText[] = {"Game text 0", "Texte du jeu 0"};
        for (int nLanguage = 0; nLanguage <= 4; ++nLanguage)
        {
            SCOPED_TRACE(nLanguage);
            SetByte(GD_LANGUAGE, static_cast<uint8_t>(0x18 | nLanguage));
            EXPECT_TRUE(LoadLanguageText());
            if (nLanguage < 2)
            {
                EXPECT_STREQ(DkGetText(0), aszFirstText[nLanguage]);
            }
        }
        DkFreeLanguageText();
        DkResetDataPathsForTests();
    }
    RegReload();
}

// The hand-back to the front end writes each player's stage time for DEZOR_RESULTS.
TEST_F(GameFlowTest, TheResultsHookGetsEachPlayersTime)
{
    const std::string path = env.Path("results.txt");
    SavedVariable results("DEZOR_RESULTS");
    setenv("DEZOR_RESULTS", path.c_str(), 1);
    gNumberOfPlayers = 2;
    gaPlayerFinishTime[0] = 12345;
    gaPlayerFinishTime[1] = 6789;
    gboGoIntoGame = 1;
    gboFrontendActive = 0;
    GameHandler_ReturnToFrontend();
    EXPECT_EQ(gboGoIntoGame.load(), 0);
    EXPECT_EQ(gboFrontendActive.load(), 1);
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "12345\n6789\n");
}

} // namespace
