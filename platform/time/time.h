// Clocks: the performance counter (1,193,182 counts a second, like the PC's timer chip), the
// millisecond clock, and the processor's cycle counter.
#pragma once

#include <vector>

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

// Multimedia timer events, run on one timer thread of their own. Due times are absolute: an
// event set from inside a timer callback counts its delay from the due time of the event
// being run, so a chain of one-shot events keeps its mean rate however late each one runs.
typedef UINT MMRESULT;
typedef uintptr_t DWORD_PTR;
typedef void (*LPTIMECALLBACK)(UINT uTimerID, UINT uMsg, DWORD_PTR dwUser, DWORD_PTR dw1,
                               DWORD_PTR dw2);

#define TIME_ONESHOT 0x0000
#define TIME_PERIODIC 0x0001
#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97

// The event's id, or 0 when it could not be made (a delay outside 1..1,000,000 ms).
MMRESULT timeSetEvent(UINT uDelay, UINT uResolution, LPTIMECALLBACK lpTimeProc, DWORD_PTR dwUser,
                      UINT fuEvent);
// Cancels an event that has not fired (or a periodic one); TIMERR_NOCANDO for an unknown id.
MMRESULT timeKillEvent(UINT uTimerID);
// The resolution asked for, in ms: 1 to 1000 are granted.
MMRESULT timeBeginPeriod(UINT uPeriod);
MMRESULT timeEndPeriod(UINT uPeriod);

// Whether the caller is running a timer callback.
BOOL TimeIsTimerThread(void);

// Test hooks. The fake clock moves only when told to; while it is on, timer events are not
// run by the timer thread but fired one at a time by TimeFakeFireNext on the calling thread
// (which counts as the timer thread while the callback runs), and timeBeginPeriod can be made
// to refuse given resolutions.
uint64_t TimeNowNs(void);
void TimeFakeClock(BOOL bFake);
BOOL TimeIsFakeClock(void);
void TimeFakeSetNs(uint64_t ns);
// Moves the fake clock to the earliest event's due time plus uLateMs and runs it. FALSE when
// no event is pending.
BOOL TimeFakeFireNext(DWORD uLateMs);
// The delays (ms) of the events made since the last call, in order.
std::vector<UINT> TimeFakeTakeDelays(void);
// Resolutions timeBeginPeriod refuses (bit n refuses resolution n, for n = 1..31); 0 grants
// all.
void TimeFakeRefusePeriods(uint32_t uMask);
// Resolutions asked of timeBeginPeriod since the last call, in order.
std::vector<UINT> TimeFakeTakePeriodRequests(void);
// Drops every pending event (between tests).
void TimeFakeClearEvents(void);
