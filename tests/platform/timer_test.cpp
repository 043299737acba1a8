// Timer events: the real timer thread, and the fake clock the engine's tests drive.

#include <atomic>
#include <cstdlib>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/time/time.h"

namespace
{

constexpr uint64_t kMs = 1000000;

std::atomic<int> gnFired{0};
std::atomic<bool> gbOnTimerThread{false};
std::vector<uint64_t> gFireTimes;
int gnChainLeft = 0;

void Count(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    gbOnTimerThread = TimeIsTimerThread() != FALSE;
    ++gnFired;
}

// Re-arms itself from inside its own callback, as the engine's tick does.
void Chain(UINT, UINT, DWORD_PTR dwUser, DWORD_PTR, DWORD_PTR)
{
    gFireTimes.push_back(TimeNowNs());
    if (--gnChainLeft > 0)
    {
        EXPECT_NE(timeSetEvent(static_cast<UINT>(dwUser), 0, Chain, dwUser, TIME_ONESHOT), 0u);
    }
}

TEST(TimerTest, OneShotEventsFireOnceOnTheTimerThread)
{
    gnFired = 0;
    EXPECT_FALSE(TimeIsTimerThread());
    ASSERT_NE(timeSetEvent(5, 0, Count, 0, TIME_ONESHOT), 0u);
    for (int i = 0; i < 2000 && gnFired == 0; ++i)
        Sleep(1);
    Sleep(30);
    EXPECT_EQ(gnFired, 1);
    EXPECT_TRUE(gbOnTimerThread);
}

TEST(TimerTest, KilledEventsDoNotFireAndBadRequestsAreRefused)
{
    gnFired = 0;
    UINT id = timeSetEvent(50, 0, Count, 0, TIME_ONESHOT);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(timeKillEvent(id), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(timeKillEvent(id), static_cast<MMRESULT>(TIMERR_NOCANDO));
    Sleep(100);
    EXPECT_EQ(gnFired, 0);

    EXPECT_EQ(timeSetEvent(0, 0, Count, 0, TIME_ONESHOT), 0u);
    EXPECT_EQ(timeSetEvent(10, 0, nullptr, 0, TIME_ONESHOT), 0u);
    EXPECT_EQ(timeBeginPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(timeEndPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(timeBeginPeriod(0), static_cast<MMRESULT>(TIMERR_NOCANDO));
}

TEST(TimerTest, PeriodicEventsRepeatUntilKilled)
{
    gnFired = 0;
    UINT id = timeSetEvent(5, 0, Count, 0, TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    for (int i = 0; i < 5000 && gnFired < 5; ++i)
        Sleep(1);
    EXPECT_EQ(timeKillEvent(id), static_cast<MMRESULT>(TIMERR_NOERROR));
    int seen = gnFired;
    EXPECT_GE(seen, 5);
    Sleep(50);
    EXPECT_LE(gnFired, seen + 1) << "at most a callback already running when it was killed";
}

// A static made before the first timer event, which a callback uses (made as the test runs,
// so after the timer's own statics, whatever the link order).
std::atomic<bool> gbWatchedAlive{false};
struct Watched
{
    Watched() { gbWatchedAlive = true; }
    ~Watched()
    {
        gbWatchedAlive = false;
        Sleep(50); // time for a callback still running to see it gone
    }
};

void UseWatched(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    if (!gbWatchedAlive)
        _exit(7);
}

// In a fresh process, whose timer thread has not started yet.
TEST(TimerExitTest, TheThreadStopsBeforeTheStaticsMadeBeforeItAreDestroyed)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static Watched watched;
            timeSetEvent(1, 0, UseWatched, 0, TIME_PERIODIC);
            Sleep(20);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

class TimerFakeTest : public testing::Test
{
protected:
    void SetUp() override
    {
        TimeFakeClock(TRUE);
        TimeFakeSetNs(5000 * kMs);
        TimeFakeClearEvents();
        gFireTimes.clear();
    }
    void TearDown() override
    {
        TimeFakeClearEvents();
        TimeFakeClock(FALSE);
    }
};

TEST_F(TimerFakeTest, AChainReArmedFromItsCallbackKeepsAbsoluteDueTimes)
{
    gnChainLeft = 4;
    ASSERT_NE(timeSetEvent(20, 0, Chain, 20, TIME_ONESHOT), 0u);
    // Each callback runs 3 ms late, yet the chain stays on its 20 ms grid.
    while (TimeFakeFireNext(3))
    {
    }
    ASSERT_EQ(gFireTimes.size(), 4u);
    for (size_t i = 0; i < gFireTimes.size(); ++i)
        EXPECT_EQ(gFireTimes[i], (5000 + 20 * (i + 1) + 3) * kMs);
    EXPECT_EQ(TimeFakeTakeDelays(), (std::vector<UINT>{20, 20, 20, 20}));
}

TEST_F(TimerFakeTest, AChainFarBehindRestartsFromNowRatherThanBurst)
{
    gnChainLeft = 3;
    ASSERT_NE(timeSetEvent(20, 0, Chain, 20, TIME_ONESHOT), 0u);
    ASSERT_TRUE(TimeFakeFireNext(100)); // a long stall
    ASSERT_TRUE(TimeFakeFireNext(0));
    ASSERT_TRUE(TimeFakeFireNext(0));
    ASSERT_EQ(gFireTimes.size(), 3u);
    EXPECT_EQ(gFireTimes[1], gFireTimes[0]) << "one late event at once";
    EXPECT_EQ(gFireTimes[2], gFireTimes[1] + 20 * kMs);
}

TEST_F(TimerFakeTest, TheFakeClockDrivesTheCounters)
{
    TimeFakeSetNs(2000 * kMs);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    EXPECT_EQ(counter.QuadPart, 2 * DK_PERFORMANCE_FREQUENCY);
    EXPECT_EQ(timeGetTime(), 2000u);
    TimeFakeRefusePeriods(1u << 1);
    TimeFakeTakePeriodRequests();
    EXPECT_EQ(timeBeginPeriod(1), static_cast<MMRESULT>(TIMERR_NOCANDO));
    EXPECT_EQ(timeBeginPeriod(2), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(TimeFakeTakePeriodRequests(), (std::vector<UINT>{1, 2}));
    TimeFakeRefusePeriods(0);
}

} // namespace
