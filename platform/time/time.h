// Clocks: the performance counter (1,193,182 counts a second, like the PC's timer chip), the
// millisecond clock, and the processor's cycle counter.
#pragma once

#include "platform/win/wintypes.h"

#define DK_PERFORMANCE_FREQUENCY 1193182

BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);

// Milliseconds since the system started, modulo 2^32.
DWORD timeGetTime(void);
DWORD GetTickCount(void);

void Sleep(DWORD dwMilliseconds);

// The processor's cycle counter (the time-stamp counter on x86).
uint64_t DkReadCycleCounter(void);
