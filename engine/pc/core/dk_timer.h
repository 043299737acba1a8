// The engine's tick: one tick function run on the multimedia timer at a rate kept exact
// against the performance counter, and the critical section, the one guard between the main
// thread and the timer thread. While the main thread is inside the section a tick that falls
// due is put off and run by DkExitCriticalSection on the main thread.
#pragma once

#include <cstdint>

// The critical section itself (DkEnterCriticalSection, DkExitCriticalSection,
// DkIsInCriticalSection, DkIsTimerThread) is declared with the core services.
#include "engine/include/dk_services.h"

#define DK_TIMER_LOAD_RING 30
#define MAX_PERCENTAGE_INTERRUPT_TIME 60

typedef int (*DK_TICK_FN)(void);

// Starts the tick: the first comes uPeriod ms (1..1000) after the start; with a rate the
// following ones come uRate times a second, else every uPeriod ms.
BOOL DkStartTimerProcedure(unsigned int uPeriod, DK_TICK_FN pfnTick, unsigned int uRate);
// Stops it (the destroy callback "DkStopTimerProcedure"); FALSE when it was not running.
BOOL DkStopTimerProcedure(void);
// The periodic mode's back-off: restarts with a longer period.
void RestartTimerProc(unsigned int uNewPeriod);

// How far the present moment is into the current tick, 0..0x10000.
int32_t DkGetTickFraction(void);

BOOL DkIsTimerEnabled(void);
BOOL DkIsInInterruptFunction(void);
uint32_t DkGetLastTickDelta(void);
void DkSetTimerAutoAdjust(uint8_t uAutoAdjust);
int DkGetAverageInterruptLoad(void);
uint32_t DkGetMilliseconds(void);

// Test hooks.
int32_t DkGetTimerAccumulatedError(void);
unsigned int DkGetTimerAccuracy(void);
