// The engine's tick: one tick function run on the multimedia timer at a rate kept exact
// against the performance counter, and the critical section, the one guard between the main
// thread and the timer thread. While the main thread is inside the section a tick that falls
// due is put off and run by DkExitCriticalSection on the main thread.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

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

// Entering waits for a tick already running on the timer thread. The section does not nest:
// the first exit ends it, and returns the result of a deferred tick it ran, else 0. On the
// timer thread both do nothing: a running tick already excludes the main thread's section.
void DkEnterCriticalSection(void);
int DkExitCriticalSection(void);

// How far the present moment is into the current tick, 0..0x10000.
int32_t DkGetTickFraction(void);

BOOL DkIsTimerEnabled(void);
BOOL DkIsInInterruptFunction(void);
uint32_t DkGetLastTickDelta(void);
void DkSetTimerAutoAdjust(uint8_t uAutoAdjust);
int DkGetAverageInterruptLoad(void);
uint32_t DkGetMilliseconds(void);

// Whether the section is held, and whether the caller is the timer thread.
BOOL DkIsInCriticalSection(void);
BOOL DkIsTimerThread(void);

// Test hooks.
int32_t DkGetTimerAccumulatedError(void);
unsigned int DkGetTimerAccuracy(void);
