#include "platform/time/time.h"

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

} // namespace

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
    timespec ts = Now(CLOCK_MONOTONIC);
    // floor(ns * F / 1e9) computed in 128 bits, so the count is exact and never steps back.
    unsigned __int128 ns = static_cast<unsigned __int128>(ts.tv_sec) * 1000000000u +
                           static_cast<unsigned __int128>(ts.tv_nsec);
    lpPerformanceCount->QuadPart =
        static_cast<LONGLONG>(ns * DK_PERFORMANCE_FREQUENCY / 1000000000u);
    return TRUE;
}

DWORD timeGetTime(void)
{
    timespec ts = Now(CLOCK_MONOTONIC);
    uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
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
