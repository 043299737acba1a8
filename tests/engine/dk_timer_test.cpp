// The tick and the critical section, on the fake clock (where the test fires each timer event
// itself) and on the real one.

#include "engine/pc/core/dk_timer.h"

#include <atomic>
#include <cmath>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/time/time.h"

namespace
{

constexpr uint64_t kMs = 1000000;

std::atomic<int> gnTicks{0};
std::atomic<int> gnTicksOnTimerThread{0};
std::atomic<int> gnSecondTicks{0};

int CountingTick()
{
    ++gnTicks;
    if (TimeIsTimerThread())
        ++gnTicksOnTimerThread;
    return 7;
}

int SecondTick()
{
    ++gnSecondTicks;
    return 0;
}

// Uses 8 ms of a 10 ms period.
int HeavyTick()
{
    ++gnTicks;
    TimeFakeSetNs(TimeNowNs() + 8 * kMs);
    return 0;
}

int ReportingTick()
{
    ++gnTicks;
    DKREPORT("raised inside a tick");
    return 0;
}

// As a deferred tick runs at the exit of the section, it lets the timer fire on a thread of
// its own (the event due after the deferred one) and gives it time to get there.
std::thread gFiringThread;
int TickThatLetsTheTimerFire()
{
    ++gnTicks;
    if (TimeIsTimerThread())
        ++gnTicksOnTimerThread;
    else if (!gFiringThread.joinable())
    {
        gFiringThread = std::thread([] { TimeFakeFireNext(0); });
        Sleep(50);
    }
    return 0;
}

class DkTimerFakeTest : public testing::Test
{
protected:
    void SetUp() override
    {
        TimeFakeClock(TRUE);
        TimeFakeSetNs(1000000 * kMs);
        TimeFakeClearEvents();
        TimeFakeRefusePeriods(0);
        gnTicks = 0;
        gnTicksOnTimerThread = 0;
        gnSecondTicks = 0;
        testing::internal::CaptureStderr();
    }
    void TearDown() override
    {
        DkStopTimerProcedure();
        DkCallAllDestructors();
        stderrText = testing::internal::GetCapturedStderr();
        TimeFakeClearEvents();
        TimeFakeRefusePeriods(0);
        TimeFakeClock(FALSE);
    }

    // Fires n events on time and returns the delays the timer asked for meanwhile.
    static std::vector<UINT> Fire(int n, DWORD lateMs = 0)
    {
        for (int i = 0; i < n; ++i)
            EXPECT_TRUE(TimeFakeFireNext(lateMs));
        return TimeFakeTakeDelays();
    }

    std::string stderrText;
};

TEST_F(DkTimerFakeTest, RatesHoldOnAverageThroughOneMillisecondCorrections)
{
    struct Case
    {
        unsigned rate;
        UINT shortDelay;
        UINT longDelay;
    };
    for (Case c : {Case{43, 23, 24}, Case{50, 20, 20}, Case{25, 40, 40}})
    {
        SCOPED_TRACE(c.rate);
        ASSERT_TRUE(DkStartTimerProcedure(33, CountingTick, c.rate));
        EXPECT_EQ(TimeFakeTakeDelays(), std::vector<UINT>{33}) << "the first tick after 33 ms";
        Fire(1);

        std::vector<UINT> delays = Fire(c.rate * 10);
        ASSERT_EQ(delays.size(), c.rate * 10u);
        for (UINT d : delays)
            EXPECT_TRUE(d == c.shortDelay || d == c.longDelay) << d;
        // Ten seconds' worth of ticks take ten seconds, to the millisecond.
        uint64_t total = std::accumulate(delays.begin(), delays.end(), uint64_t{0});
        EXPECT_NEAR(static_cast<double>(total), 10000.0, 1.0);
        if (c.shortDelay != c.longDelay)
        {
            EXPECT_NE(std::count(delays.begin(), delays.end(), c.longDelay), 0);
            EXPECT_GT(std::count(delays.begin(), delays.end(), c.shortDelay),
                      std::count(delays.begin(), delays.end(), c.longDelay));
        }
        EXPECT_TRUE(DkStopTimerProcedure());
        TimeFakeClearEvents();
    }
    EXPECT_EQ(gnTicks, gnTicksOnTimerThread) << "every tick ran on the timer thread";
}

TEST_F(DkTimerFakeTest, ALateCallbackResetsTheErrorInsteadOfShorteningLaterTicks)
{
    ASSERT_TRUE(DkStartTimerProcedure(33, CountingTick, 43));
    Fire(20);
    std::vector<UINT> afterLate = Fire(1, 5);
    ASSERT_EQ(afterLate.size(), 1u);
    EXPECT_EQ(afterLate[0], 23u);
    EXPECT_EQ(DkGetTimerAccumulatedError(), 0);
}

TEST_F(DkTimerFakeTest, TicksDueInsideTheSectionRunOnceAtTheExitOnTheMainThread)
{
    ASSERT_TRUE(DkStartTimerProcedure(33, CountingTick, 43));
    Fire(1);
    ASSERT_EQ(gnTicks, 1);

    DkEnterCriticalSection();
    EXPECT_TRUE(DkIsInCriticalSection());
    Fire(2);
    EXPECT_EQ(gnTicks, 1) << "nothing runs inside the section";
    EXPECT_EQ(DkExitCriticalSection(), 7) << "the exit returns the deferred tick's result";
    EXPECT_EQ(gnTicks, 2);
    EXPECT_EQ(gnTicksOnTimerThread, 1);
    EXPECT_FALSE(DkIsInCriticalSection());

    // Nothing was deferred this time.
    DkEnterCriticalSection();
    EXPECT_EQ(DkExitCriticalSection(), 0);
    EXPECT_EQ(gnTicks, 2);
}

TEST_F(DkTimerFakeTest, ATickDueWhileTheExitRunsTheDeferredOneIsNotLost)
{
    ASSERT_TRUE(DkStartTimerProcedure(33, TickThatLetsTheTimerFire, 43));
    DkEnterCriticalSection();
    Fire(1);
    EXPECT_EQ(gnTicks, 0);
    DkExitCriticalSection();
    ASSERT_TRUE(gFiringThread.joinable());
    gFiringThread.join();
    EXPECT_EQ(gnTicks, 2) << "the tick that fell due during the exit ran as well";
    EXPECT_EQ(gnTicksOnTimerThread, 1) << "the second on the timer thread, after the exit";
}

TEST_F(DkTimerFakeTest, ADeferredTickWithoutAFunctionIsReportedNotCalled)
{
    ASSERT_TRUE(DkStartTimerProcedure(33, CountingTick, 43));
    DkEnterCriticalSection();
    Fire(1);
    EXPECT_TRUE(DkStopTimerProcedure());
    EXPECT_EQ(DkExitCriticalSection(), 0);
    EXPECT_EQ(gnTicks, 0);
    std::string out = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    EXPECT_NE(out.find("DkExitCriticalSection()\nArgh - interrupt enabled but no function "
                       "to call!!!"),
              std::string::npos);
}

TEST_F(DkTimerFakeTest, TheTickFractionRisesToOneAndStaysThere)
{
    ASSERT_TRUE(DkStartTimerProcedure(33, CountingTick, 50));
    Fire(3); // the tick length is now one 20 ms period
    EXPECT_LE(DkGetTickFraction(), 3) << "a tick that has just ended";
    TimeFakeSetNs(TimeNowNs() + 10 * kMs);
    EXPECT_NEAR(DkGetTickFraction(), 0x8000, 8);
    // One tick length (20 ms, to within a count of the counter) after the tick.
    TimeFakeSetNs(TimeNowNs() + 10 * kMs + 1000);
    EXPECT_EQ(DkGetTickFraction(), 0x10000);
    TimeFakeSetNs(TimeNowNs() + 30 * kMs);
    EXPECT_EQ(DkGetTickFraction(), 0x10000);
}

TEST_F(DkTimerFakeTest, StopEndsTheChainAndASecondStopReturnsFalse)
{
    ASSERT_TRUE(DkStartTimerProcedure(33, CountingTick, 43));
    Fire(3);
    EXPECT_TRUE(DkStopTimerProcedure());
    EXPECT_FALSE(DkStopTimerProcedure());
    EXPECT_FALSE(TimeFakeFireNext(0)) << "the pending one-shot went with the stop";

    // A quick restart runs one chain, the new one.
    ASSERT_TRUE(DkStartTimerProcedure(33, SecondTick, 43));
    Fire(5);
    EXPECT_EQ(gnTicks, 3);
    EXPECT_EQ(gnSecondTicks, 5);
    EXPECT_FALSE(DkIsInCriticalSection());
}

TEST_F(DkTimerFakeTest, StartingWhileRunningReplacesTheChain)
{
    ASSERT_TRUE(DkStartTimerProcedure(33, CountingTick, 43));
    ASSERT_TRUE(DkStartTimerProcedure(33, SecondTick, 43));
    Fire(4);
    EXPECT_EQ(gnTicks, 0) << "the first chain must not tick";
    EXPECT_EQ(gnSecondTicks, 4);
}

TEST_F(DkTimerFakeTest, AFailedStartWhileRunningLeavesTheTimerStopped)
{
    ASSERT_TRUE(DkStartTimerProcedure(33, CountingTick, 43));
    // A period of 0 makes no event.
    EXPECT_FALSE(DkStartTimerProcedure(0, SecondTick, 0));
    EXPECT_FALSE(DkIsTimerEnabled());
    EXPECT_FALSE(TimeFakeFireNext(0)) << "no chain is left ticking";
}

TEST_F(DkTimerFakeTest, VeryHighRatesKeepTicking)
{
    ASSERT_TRUE(DkStartTimerProcedure(1, CountingTick, 900));
    Fire(50);
    EXPECT_EQ(gnTicks, 50);
}

TEST_F(DkTimerFakeTest, AccuracyFallsBackAndKeepsTheLastThatWorked)
{
    TimeFakeTakePeriodRequests();
    TimeFakeRefusePeriods((1u << 1) | (1u << 2));
    ASSERT_TRUE(DkStartTimerProcedure(33, CountingTick, 43));
    EXPECT_EQ(TimeFakeTakePeriodRequests(), (std::vector<UINT>{1, 2, 3}));
    EXPECT_EQ(DkGetTimerAccuracy(), 3u);
    DkStopTimerProcedure();

    TimeFakeRefusePeriods(0);
    ASSERT_TRUE(DkStartTimerProcedure(33, CountingTick, 43));
    EXPECT_EQ(TimeFakeTakePeriodRequests(), std::vector<UINT>{3});
    DkStopTimerProcedure();

    TimeFakeRefusePeriods((1u << 2) | (1u << 3));
    EXPECT_FALSE(DkStartTimerProcedure(33, CountingTick, 43));
    EXPECT_FALSE(DkIsTimerEnabled());
    EXPECT_FALSE(TimeFakeFireNext(0)) << "a failed start arms nothing";
    EXPECT_EQ(DkGetTimerAccuracy(), 3u);
    TimeFakeRefusePeriods(0);
}

TEST_F(DkTimerFakeTest, APeriodicTimerBacksOffWhenTheTickUsesTooMuchOfThePeriod)
{
    ASSERT_TRUE(DkStartTimerProcedure(10, HeavyTick, 0));
    EXPECT_EQ(TimeFakeTakeDelays(), std::vector<UINT>{10});
    // After 30 ticks the ring is full; ten overloads in a row restart with 20 ms.
    std::vector<UINT> delays = Fire(45);
    EXPECT_EQ(delays, std::vector<UINT>{20});
    EXPECT_TRUE(DkIsTimerEnabled());
    EXPECT_GE(DkGetAverageInterruptLoad(), 40);
}

TEST_F(DkTimerFakeTest, AReportInsideATickLeavesTheSectionAlone)
{
    ASSERT_TRUE(DkStartTimerProcedure(33, ReportingTick, 43));
    Fire(2);
    EXPECT_EQ(gnTicks, 2);
    EXPECT_FALSE(DkIsInCriticalSection());
}

TEST(DkTimerRealClockTest, EnteringWaitsForARunningTick)
{
    static std::atomic<bool> running{false};
    static std::atomic<bool> started{false};
    auto slowTick = []() -> int
    {
        running = true;
        started = true;
        Sleep(30);
        running = false;
        return 0;
    };
    testing::internal::CaptureStderr();
    ASSERT_TRUE(DkStartTimerProcedure(5, slowTick, 20));
    for (int i = 0; i < 1000 && !started; ++i)
        Sleep(1);
    ASSERT_TRUE(started);
    for (int i = 0; i < 50; ++i)
    {
        while (!running)
            Sleep(1);
        DkEnterCriticalSection();
        EXPECT_FALSE(running) << "a tick ran inside the section";
        Sleep(2);
        EXPECT_FALSE(running);
        DkExitCriticalSection();
    }
    DkStopTimerProcedure();
    DkCallAllDestructors();
    testing::internal::GetCapturedStderr();
}

// The mean rate over a few seconds, measured on the real clock. A busy machine can hold the
// timer thread off for longer than its catch-up allows, so a rate that misses is measured again
// a few times before it counts; a wrong period misses every time.
double MeasureMeanRate(unsigned rate)
{
    static std::atomic<int> ticks;
    static std::atomic<uint64_t> first, last;
    ticks = 0;
    auto tick = []() -> int
    {
        uint64_t now = TimeNowNs();
        if (ticks++ == 0)
            first = now;
        last = now;
        return 0;
    };
    testing::internal::CaptureStderr();
    bool started = DkStartTimerProcedure(33, tick, rate);
    Sleep(2500);
    DkStopTimerProcedure();
    DkCallAllDestructors();
    testing::internal::GetCapturedStderr();
    if (!started || ticks <= 10)
        return 0;
    double seconds = static_cast<double>(last - first) / 1e9;
    return (ticks - 1) / seconds;
}

TEST(DkTimerRealClockTest, MeanRatesHoldOnTheRealClock)
{
    for (unsigned rate : {25u, 43u, 50u})
    {
        SCOPED_TRACE(rate);
        double measured = 0;
        for (int attempt = 0; attempt < 4; ++attempt)
        {
            measured = MeasureMeanRate(rate);
            if (std::abs(measured - rate) <= rate * 0.01)
                break;
        }
        EXPECT_NEAR(measured, rate, rate * 0.01);
    }
}

} // namespace
