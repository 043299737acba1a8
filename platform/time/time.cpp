#include "platform/time/time.h"

#include <atomic>

#include <cerrno>
#include <ctime>

#include <sched.h>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace
{

timespec Now(clockid_t clock)
{
    timespec ts;
    clock_gettime(clock, &ts);
    return ts;
}

std::atomic<bool> gbFakeClock{false};
std::atomic<uint64_t> guFakeNs{0};

} // namespace

uint64_t TimeNowNs(void)
{
    if (gbFakeClock.load())
        return guFakeNs.load();
    timespec ts = Now(CLOCK_MONOTONIC);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

void TimeFakeClock(BOOL bFake)
{
    if (bFake)
        guFakeNs.store(TimeNowNs());
    gbFakeClock.store(bFake != FALSE);
}

BOOL TimeIsFakeClock(void)
{
    return gbFakeClock.load() ? TRUE : FALSE;
}

void TimeFakeSetNs(uint64_t ns)
{
    guFakeNs.store(ns);
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency)
{
    if (lpFrequency == nullptr)
        return FALSE;
    lpFrequency->QuadPart = DK_PERFORMANCE_FREQUENCY;
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount)
{
    if (lpPerformanceCount == nullptr)
        return FALSE;
    // floor(ns * F / 1e9) computed in 128 bits, so the count is exact and never steps back.
    unsigned __int128 ns = TimeNowNs();
    lpPerformanceCount->QuadPart =
        static_cast<LONGLONG>(ns * DK_PERFORMANCE_FREQUENCY / 1000000000u);
    return TRUE;
}

DWORD timeGetTime(void)
{
    return static_cast<DWORD>(TimeNowNs() / 1000000u);
}

DWORD GetTickCount(void)
{
    return timeGetTime();
}

void Sleep(DWORD dwMilliseconds)
{
    if (dwMilliseconds == 0)
    {
        sched_yield();
        return;
    }
    timespec left;
    left.tv_sec = static_cast<time_t>(dwMilliseconds / 1000u);
    left.tv_nsec = static_cast<long>(dwMilliseconds % 1000u) * 1000000L;
    while (nanosleep(&left, &left) != 0 && errno == EINTR)
    {
    }
}

uint64_t DkReadCycleCounter(void)
{
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    timespec ts = Now(CLOCK_MONOTONIC_RAW);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
#endif
}
