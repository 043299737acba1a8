#include "platform/time/time.h"

#include <csignal>
#include <ctime>

#include <sys/time.h>

#include <gtest/gtest.h>

namespace
{

int64_t MonotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t Counter()
{
    LARGE_INTEGER count;
    EXPECT_TRUE(QueryPerformanceCounter(&count));
    return count.QuadPart;
}

TEST(TimeTest, FrequencyIsTheTimerChipRate)
{
    LARGE_INTEGER frequency;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 1193182);
    EXPECT_FALSE(QueryPerformanceFrequency(nullptr));
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
}

TEST(TimeTest, ClocksFollowTheMonotonicClock)
{
    // Each reading must fall between monotonic-clock readings taken around it.
    int64_t before = MonotonicNs();
    int64_t count = Counter();
    DWORD ms = timeGetTime();
    int64_t after = MonotonicNs();

    auto toCounts = [](int64_t ns)
    { return static_cast<int64_t>(static_cast<__int128>(ns) * 1193182 / 1000000000); };
    EXPECT_GE(count, toCounts(before));
    EXPECT_LE(count, toCounts(after));
    EXPECT_GE(ms, static_cast<DWORD>(before / 1000000));
    EXPECT_LE(ms, static_cast<DWORD>(after / 1000000));
}

TEST(TimeTest, CountersNeverStepBack)
{
    int64_t lastCount = Counter();
    DWORD lastMs = GetTickCount();
    uint64_t lastCycles = DkReadCycleCounter();
    for (int i = 0; i < 10000; ++i)
    {
        int64_t count = Counter();
        DWORD ms = GetTickCount();
        uint64_t cycles = DkReadCycleCounter();
        ASSERT_GE(count, lastCount);
        ASSERT_GE(ms, lastMs);
        ASSERT_GE(cycles, lastCycles);
        lastCount = count;
        lastMs = ms;
        lastCycles = cycles;
    }
}

TEST(TimeTest, SleepMovesBothClocksByAtLeastItsLength)
{
    int64_t count0 = Counter();
    DWORD ms0 = timeGetTime();
    uint64_t cycles0 = DkReadCycleCounter();
    Sleep(50);
    uint64_t cycles1 = DkReadCycleCounter();
    DWORD ms1 = timeGetTime();
    int64_t count1 = Counter();

    int64_t counts = count1 - count0;
    DWORD ms = ms1 - ms0;
    EXPECT_GE(counts, 50 * 1193182 / 1000);
    EXPECT_GE(ms, 50u);
    EXPECT_GT(cycles1, cycles0);
    // The counter's span contains the ms clock's; loose above, as CI machines stall.
    int64_t countMs = counts * 1000 / 1193182;
    EXPECT_GE(countMs, static_cast<int64_t>(ms) - 1);
    EXPECT_LE(countMs, static_cast<int64_t>(ms) + 1000);
}

void IgnoreAlarm(int) {}

TEST(TimeTest, SleepResumesAfterASignal)
{
    struct sigaction action = {};
    struct sigaction old = {};
    action.sa_handler = IgnoreAlarm; // no SA_RESTART: nanosleep returns EINTR
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &action, &old), 0);
    itimerval timer = {};
    timer.it_value.tv_usec = 10000;
    timer.it_interval.tv_usec = 10000;
    ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);

    DWORD start = timeGetTime();
    Sleep(100);
    DWORD slept = timeGetTime() - start;

    timer = {};
    setitimer(ITIMER_REAL, &timer, nullptr);
    sigaction(SIGALRM, &old, nullptr);
    EXPECT_GE(slept, 100u);
}

} // namespace
