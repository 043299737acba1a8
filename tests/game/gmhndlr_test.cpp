// The game-state machine and its pacing, driven by test functions in the state table: on the
// fake clock (the timed and display functions move it as long as they take; the slot wait
// moves it a millisecond a turn), and once on the real timer thread.

#include "game/race/gmhndlr.h"

#include <atomic>
#include <utility>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/include/dk_entries.h"
#include "engine/pc/core/dk_timer.h"
#include "engine/pc/core/main.h"
#include "game/race/gamedata.h"
#include "platform/time/time.h"
#include "tests/support/engine_test.h"

namespace
{

constexpr uint64_t kMs = 1000000;
// A slot's start on the fake clock; half a millisecond in, so that the performance counter's
// milliseconds read the whole ones.
constexpr uint64_t kStartMs = 40 * 25000;

uint8_t gaGameData[DK_GAME_DATA_SIZE];
const uint8_t* TestGameData(void)
{
    return gaGameData;
}

// What the test functions do and saw.
struct Script
{
    std::vector<std::string> events;
    // Per state: the state its timed function returns (-1 itself), and how long its timed and
    // display functions take, in ms; a list of durations is used up first, one a call.
    int next[NUM_GAME_STATES];
    std::vector<int> tickMs[NUM_GAME_STATES];
    std::vector<int> displayMs[NUM_GAME_STATES];
    int spins = 0;
};
Script gScript;

void Advance(int nMs)
{
    TimeFakeSetNs(TimeNowNs() + static_cast<uint64_t>(nMs) * kMs);
}

int TakeMs(std::vector<int>& durations)
{
    if (durations.empty())
        return 0;
    const int nMs = durations.front();
    durations.erase(durations.begin());
    return nMs;
}

template <int S> int32_t Timed(void)
{
    gScript.events.push_back("tick " + std::to_string(S));
    Advance(TakeMs(gScript.tickMs[S]));
    return gScript.next[S] >= 0 ? gScript.next[S] : S;
}

template <int S> int32_t Display(void)
{
    gScript.events.push_back("display " + std::to_string(S));
    Advance(TakeMs(gScript.displayMs[S]));
    return 0;
}

void Spin(void)
{
    ++gScript.spins;
    Advance(1);
}

template <int... S> void InstallAll(std::integer_sequence<int, S...>)
{
    (GameHandler_SetStateFnsForTests(S, Timed<S>, Display<S>), ...);
}

uint32_t NowMs()
{
    return DkGetMilliseconds();
}

class GameHandlerTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        TimeFakeClock(TRUE);
        TimeFakeSetNs(kStartMs * kMs + kMs / 2);
        TimeFakeClearEvents();
        TimeFakeRefusePeriods(0);
        TimeFakeTakeDelays();
        gfIsActive = TRUE;
        GameHandler_ResetForTests();
        gScript = Script{};
        for (int& n : gScript.next)
            n = -1;
        InstallAll(std::make_integer_sequence<int, NUM_GAME_STATES>{});
        GameHandler_SetSpinHookForTests(Spin);
        for (uint8_t& b : gaGameData)
            b = 0;
        DkResetEntries();
        DK_ENTRIES entries{};
        entries.GetGameData = TestGameData;
        DkRegisterEntries(&entries);
        nMark = gnNumDestructors;
    }
    void TearDown() override
    {
        DkCallDestructors(nMark);
        DkStopTimerProcedure();
        TimeFakeClearEvents();
        TimeFakeRefusePeriods(0);
        TimeFakeClock(FALSE);
        GameHandler_ResetForTests();
        DkResetEntries();
        gfIsActive = FALSE;
        LoggedTest::TearDown();
    }

    static void SetOptimised(bool boOn) { gaGameData[GD_PACING_MODE] = boOn ? 1 : 0; }
    // A game whose first pass has run, in state nState.
    static void InState(int nState)
    {
        GameHandler_SetInitialised(TRUE);
        gnGameState = nState;
    }
    // The events since the last call.
    static std::vector<std::string> Take()
    {
        std::vector<std::string> events;
        events.swap(gScript.events);
        return events;
    }
    using Events = std::vector<std::string>;

    int nMark = 0;
};

TEST_F(GameHandlerTest, TheFirstPassRunsInitGameDirectlyThenItsDisplay)
{
    gScript.next[GAME_STATE_INIT_GAME] = GAME_STATE_SETUP_REPAIR;
    GameHandler_Frame();
    EXPECT_EQ(Take(), (Events{"tick 1", "display 1"}));
    EXPECT_TRUE(GameHandler_IsInitialised());
    EXPECT_TRUE(gboGameRunning.load());
    EXPECT_EQ(gnGameState.load(), GAME_STATE_SETUP_REPAIR);
    // Outside the tick: no state has ticked yet.
    EXPECT_EQ(GetGameState(), GAME_STATE_NONE);
    EXPECT_NE(Log().find("entry display and game state fns completed\r\n"), std::string::npos);
}

TEST_F(GameHandlerTest, StatesZeroAndTwelveIdleInNullFunction)
{
    for (int nState : {GAME_STATE_NONE, GAME_STATE_OVER})
    {
        SCOPED_TRACE(nState);
        GameHandler_ResetForTests();
        InState(nState);
        const std::string out = CaptureOutput([] { GameHandler_Frame(); });
        EXPECT_NE(out.find("*******GAME_STATE NullFunction*********"), std::string::npos);
        EXPECT_EQ(gnGameState.load(), GAME_STATE_NONE);
        EXPECT_EQ(GetGameState(), nState);
    }
}

// A state outside the table is reported and the machine runs state 0's functions; nothing is
// read beyond the table.
TEST_F(GameHandlerTest, AStateOutsideTheTableRunsStateZero)
{
    for (int nState : {-1, NUM_GAME_STATES, 1000})
    {
        SCOPED_TRACE(nState);
        GameHandler_ResetForTests();
        InstallAll(std::make_integer_sequence<int, NUM_GAME_STATES>{});
        Take();
        InState(nState);
        const std::string out = CaptureOutput([] { GameHandler_Frame(); });
        EXPECT_TRUE(Reported(out, "Invalid State")) << out;
        EXPECT_EQ(Take(), (Events{"tick 0", "display 0"}));
        EXPECT_EQ(GetGameState(), GAME_STATE_NONE);
        EXPECT_EQ(gnGameState.load(), GAME_STATE_NONE);
        EXPECT_EQ(GetStateDisplayFn(nState), GetStateDisplayFn(GAME_STATE_NONE));
    }
}

TEST_F(GameHandlerTest, SlotsAreFortyMillisecondsOfTheClock)
{
    struct Case
    {
        uint32_t t0, t1;
        BOOL crossed;
    };
    for (Case c : {Case{0, 39, FALSE}, Case{39, 40, TRUE}, Case{40, 79, FALSE}, Case{79, 200, TRUE},
                   Case{0xFFFFFFFFu, 0, TRUE}})
        EXPECT_EQ(GameHandler_CrossedSlot(c.t0, c.t1), c.crossed) << c.t0 << " " << c.t1;
    Advance(17);
    GameHandler_WaitForNextSlot();
    EXPECT_EQ(NowMs(), kStartMs + 40);
    EXPECT_EQ(gScript.spins, 23);
}

// Optimised pacing: a running state ticks once a slot and draws, 25 ticks a second whatever
// the 50-step flag says.
TEST_F(GameHandlerTest, OptimisedPacingTicksOnceASlot)
{
    SetOptimised(true);
    for (BOOL bo50Hz : {FALSE, TRUE})
    {
        SCOPED_TRACE(bo50Hz);
        gbo50HzMode = bo50Hz;
        InState(GAME_STATE_RACE);
        const uint32_t uStart = NowMs();
        gScript.tickMs[GAME_STATE_RACE] = std::vector<int>(25, 3);
        gScript.displayMs[GAME_STATE_RACE] = std::vector<int>(25, 10);
        for (int nPass = 0; nPass < 25; ++nPass)
        {
            GameHandler_Frame();
            EXPECT_EQ(Take(), (Events{"tick 5", "display 5"})) << nPass;
        }
        EXPECT_EQ(NowMs() - uStart, 1000u) << "25 ticks a second";
    }
    EXPECT_EQ(TimeFakeTakeDelays(), std::vector<UINT>{}) << "no timer";
}

// A tick that runs into the next slot is followed at once by another; a display that does
// makes the next pass tick without drawing; then all is as before.
TEST_F(GameHandlerTest, OptimisedPacingCatchesUpAfterAnOverrun)
{
    SetOptimised(true);
    InState(GAME_STATE_RACE);
    gScript.tickMs[GAME_STATE_RACE] = {45, 5, 5, 5, 5};
    gScript.displayMs[GAME_STATE_RACE] = {5, 50, 5};
    GameHandler_Frame();
    EXPECT_EQ(Take(), (Events{"tick 5", "tick 5", "display 5"}));
    EXPECT_EQ(NowMs(), kStartMs + 80) << "waited for the slot after the two ticks";
    GameHandler_Frame();
    EXPECT_EQ(Take(), (Events{"tick 5", "display 5"}));
    EXPECT_EQ(NowMs(), kStartMs + 135) << "no wait after the display that overran";
    EXPECT_EQ(gnOptimisedDisplayPhase, 1);
    GameHandler_Frame();
    EXPECT_EQ(Take(), (Events{"tick 5"}));
    EXPECT_EQ(NowMs(), kStartMs + 160);
    GameHandler_Frame();
    EXPECT_EQ(Take(), (Events{"tick 5", "display 5"}));
    EXPECT_EQ(NowMs(), kStartMs + 200);
}

// Entry and leaving states tick once and draw once a pass, without waiting for a slot.
TEST_F(GameHandlerTest, OptimisedPacingRunsEntryAndLeavingStatesWithoutWaiting)
{
    SetOptimised(true);
    for (int nState : {GAME_STATE_WELCOME, GAME_STATE_INIT_STAGE, GAME_STATE_LEAVE_GAME})
    {
        SCOPED_TRACE(nState);
        InState(nState);
        const std::string tick = "tick " + std::to_string(nState);
        const std::string display = "display " + std::to_string(nState);
        for (int nPass = 0; nPass < 3; ++nPass)
        {
            GameHandler_Frame();
            EXPECT_EQ(Take(), (Events{tick, display}));
        }
    }
    EXPECT_EQ(gScript.spins, 0);
    EXPECT_EQ(NowMs(), kStartMs);
}

// Conventional pacing: entry states tick on the main thread once a pass; the first pass that
// finds a running state starts the timer at the stage's rate, which from then on runs every
// tick; the heap reset's callbacks stop it and clear the flag.
TEST_F(GameHandlerTest, ConventionalPacingStartsTheTimerOnTheFirstRunningState)
{
    struct Case
    {
        BOOL bo50Hz;
        UINT delay;
    };
    for (Case c : {Case{FALSE, 40}, Case{TRUE, 20}})
    {
        SCOPED_TRACE(c.bo50Hz);
        GameHandler_ResetForTests();
        InstallAll(std::make_integer_sequence<int, NUM_GAME_STATES>{});
        gScript.next[GAME_STATE_INIT_STAGE] = GAME_STATE_RACE;
        gbo50HzMode = c.bo50Hz;
        TimeFakeTakeDelays();
        InState(GAME_STATE_SETUP_REPAIR);
        GameHandler_Frame();
        EXPECT_EQ(Take(), (Events{"tick 3", "display 3"}));
        gnGameState = GAME_STATE_INIT_STAGE;
        GameHandler_Frame();
        EXPECT_EQ(Take(), (Events{"tick 4", "display 4"}));
        EXPECT_FALSE(gboGameInterruptRunning.load());
        EXPECT_EQ(TimeFakeTakeDelays(), std::vector<UINT>{});

        // The pass that starts the timer ticks no more on the main thread, and state 4 has
        // been drawn for its one tick.
        GameHandler_Frame();
        EXPECT_EQ(Take(), (Events{}));
        EXPECT_TRUE(gboGameInterruptRunning.load());
        EXPECT_TRUE(DkIsTimerEnabled());
        EXPECT_EQ(TimeFakeTakeDelays(), std::vector<UINT>{33});
        EXPECT_TRUE(DkIsDestructorAdded(HighLevelTimerProcDestructor));

        ASSERT_TRUE(TimeFakeFireNext(0));
        EXPECT_EQ(Take(), (Events{"tick 5"}));
        EXPECT_EQ(TimeFakeTakeDelays(), std::vector<UINT>{c.delay});
        for (int nPass = 0; nPass < 3; ++nPass)
        {
            GameHandler_Frame();
            EXPECT_EQ(Take(), (Events{"display 5"})) << "a running state draws every pass";
        }

        DkCallDestructors(nMark);
        EXPECT_FALSE(DkIsTimerEnabled());
        EXPECT_FALSE(gboGameInterruptRunning.load());
        EXPECT_FALSE(TimeFakeFireNext(0));
        GameHandler_Frame();
        EXPECT_EQ(Take(), (Events{"display 5"})) << "started again on the next pass";
        DkCallDestructors(nMark);
    }
    std::string log = Log();
    EXPECT_EQ(CountOf(log, "starting interrupt\r\n"), 4);
}

// A timer that cannot be started would leave the game without ticks: the game falls back to
// the optimised slots on the main thread, and says so.
TEST_F(GameHandlerTest, ATimerThatCannotStartFallsBackToTheOptimisedSlots)
{
    TimeFakeRefusePeriods((1u << 1) | (1u << 2) | (1u << 3));
    InState(GAME_STATE_RACE);
    const std::string out = CaptureOutput([] { GameHandler_Frame(); });
    EXPECT_TRUE(Reported(out, "Error : Cannot do timeBeginPeriod()")) << out;
    EXPECT_EQ(Take(), (Events{}));
    EXPECT_FALSE(gboGameInterruptRunning.load());
    EXPECT_TRUE(GameHandler_IsPacingFallbackForTests());
    const uint32_t uStart = NowMs();
    for (int nPass = 0; nPass < 5; ++nPass)
    {
        GameHandler_Frame();
        EXPECT_EQ(Take(), (Events{"tick 5", "display 5"}));
    }
    EXPECT_EQ(NowMs() / 40 - uStart / 40, 5u);
    EXPECT_NE(Log().find("could not start the interrupt, using the optimised interrupt\r\n"),
              std::string::npos);
    // A new game tries the timer again.
    GameHandler_SetInitialised(FALSE);
    GameHandler_Frame();
    EXPECT_FALSE(GameHandler_IsPacingFallbackForTests());
}

// An entry state that returns itself is drawn once for each tick (and once more); without
// ticks (the application inactive, in either pacing) it is not drawn again, and the log says
// so. A running state draws every pass.
TEST_F(GameHandlerTest, EntryStatesAreDrawnOncePerTick)
{
    for (bool boOptimised : {false, true})
    {
        SCOPED_TRACE(boOptimised);
        GameHandler_ResetForTests();
        InstallAll(std::make_integer_sequence<int, NUM_GAME_STATES>{});
        SetOptimised(boOptimised);
        gfIsActive = TRUE;
        InState(GAME_STATE_WELCOME);
        for (int nPass = 0; nPass < 3; ++nPass)
        {
            GameHandler_Frame();
            EXPECT_EQ(Take(), (Events{"tick 2", "display 2"}));
        }
        gfIsActive = FALSE;
        Events events;
        for (int nPass = 0; nPass < 4; ++nPass)
        {
            GameHandler_Frame();
            for (const std::string& e : Take())
                events.push_back(e);
        }
        EXPECT_EQ(events, (Events{"display 2"})) << "no tick, one display beyond the ticks";
        gfIsActive = TRUE;
        GameHandler_Frame();
        EXPECT_EQ(Take(), (Events{"tick 2", "display 2"}));
    }
    EXPECT_EQ(CountOf(Log(), "**not doing display this frame**\r\n"), 6);

    // A change of state starts the count again for the new state.
    GameHandler_ResetForTests();
    InstallAll(std::make_integer_sequence<int, NUM_GAME_STATES>{});
    gfIsActive = TRUE;
    gScript.next[GAME_STATE_WELCOME] = GAME_STATE_SETUP_REPAIR;
    InState(GAME_STATE_WELCOME);
    GameHandler_Frame();
    EXPECT_EQ(Take(), (Events{"tick 2", "display 2"}));
    GameHandler_Frame();
    EXPECT_EQ(Take(), (Events{"tick 3", "display 3"}));
}

TEST_F(GameHandlerTest, NothingTicksWhileTheApplicationIsInactive)
{
    gfIsActive = FALSE;
    InState(GAME_STATE_RACE);
    SetOptimised(true);
    GameHandler_Frame();
    SetOptimised(false);
    GameHandler_Frame();
    ASSERT_TRUE(gboGameInterruptRunning.load());
    ASSERT_TRUE(TimeFakeFireNext(0));
    for (const std::string& e : Take())
        EXPECT_EQ(e.rfind("tick", 0), std::string::npos) << e;
}

// The conventional pacing on the real timer thread: the ticks and the main thread's display
// step meet only in atomic words.
std::atomic<int> gnRealTicks{0};
std::atomic<int> gnRealDisplays{0};
int32_t CountingRace(void)
{
    ++gnRealTicks;
    return GAME_STATE_RACE;
}
int32_t CountingDisplay(void)
{
    ++gnRealDisplays;
    return 0;
}

TEST(GameHandlerThreadsTest, TicksOnTheTimerThreadWhileTheMainThreadDraws)
{
    TestEnv env;
    GameHandler_ResetForTests();
    DkResetEntries();
    gfIsActive = TRUE;
    const int nMark = gnNumDestructors;
    gnRealTicks = 0;
    gnRealDisplays = 0;
    gbo50HzMode = TRUE;
    GameHandler_SetStateFnsForTests(GAME_STATE_RACE, CountingRace, CountingDisplay);
    GameHandler_SetInitialised(TRUE);
    gnGameState = GAME_STATE_RACE;
    for (int i = 0; i < 20000 && gnRealTicks.load() < 10; ++i)
    {
        GameHandler_Frame();
        Sleep(1);
    }
    DkCallDestructors(nMark);
    EXPECT_GE(gnRealTicks.load(), 10);
    EXPECT_GT(gnRealDisplays.load(), 0);
    EXPECT_FALSE(gboGameInterruptRunning.load());
    GameHandler_ResetForTests();
    gfIsActive = FALSE;
}

} // namespace
