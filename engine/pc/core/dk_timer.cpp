// The tick and the critical section.
//
// The timer callback re-arms itself as a one-shot event each tick and keeps the mean rate by
// measuring the counts between callbacks against the target and moving the next delay by one
// millisecond while the accumulated error is beyond a millisecond's worth. Without a rate it runs
// as a periodic event and backs off when the tick uses too much of the period.
//
// gTickLock is held by the callback from its test of the critical section to the end of its
// tick, and by the main thread while it enters or leaves the section, starts or stops the
// timer: a tick either runs before the main thread is inside, or is deferred and run at the
// exit, or waits for the exit to finish. It is recursive because the
// reports these functions raise enter the section themselves.

#include "engine/pc/core/dk_timer.h"

#include <atomic>
#include <cmath>
#include <mutex>

#include "engine/common/destruct.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/main.h"
#include "platform/time/time.h"
#include "platform/win/win.h"

namespace
{

constexpr uint32_t kInitialTickLength = 50000;

std::recursive_mutex gTickLock;

std::atomic<BOOL> gfInterruptEnabled{FALSE};
std::atomic<BOOL> gboRecursiveTimer{FALSE};
std::atomic<DK_TICK_FN> gpfnInterruptFunction{nullptr};
std::atomic<bool> gboInCriticalSection{false};
std::atomic<bool> gboTickDeferred{false};
std::atomic<BOOL> gboTimerCallbackBusy{FALSE};
std::atomic<BOOL> gboInInterruptFunction{FALSE};
std::atomic<uint32_t> guLastCallbackDelta{0};
std::atomic<uint64_t> gllTickEnd{0};
std::atomic<uint32_t> guTickLength{kInitialTickLength};
// A chain's events carry its generation; a stop moves it on, so a stale event ends quietly.
std::atomic<uintptr_t> guGeneration{1};
std::atomic<UINT> guEventId{0};

// Under gTickLock.
unsigned guPeriod = 0;
unsigned guTimerAccuracy = 1;
uint32_t guTargetCounts = 0;
int32_t gnErrorBound = 0;
int32_t gnAccumulatedError = 0;
uint32_t guLastCallbackCount = 0;
uint32_t guPeriodCounts = 1;
BOOL gboPriorityRaised = FALSE;
int32_t gaLoadRing[DK_TIMER_LOAD_RING];
int gnLoadIndex = 0;
int gnTicksCounted = 0;
int gnOverloads = 0;
int gnOverloadStreak = 0;
uint8_t guAutoAdjust = 1;
BOOL gboRestarting = FALSE;

uint64_t Counter()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart);
}

uint32_t Frequency()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<uint32_t>(frequency.QuadPart);
}

using TickLock = std::lock_guard<std::recursive_mutex>;

// The mean of the load ring, in percent of the period. Under gTickLock.
int AverageLoad()
{
    int sum = 0;
    for (int32_t load : gaLoadRing)
        sum += load;
    return sum / DK_TIMER_LOAD_RING;
}

void DkTimerCallback(UINT, UINT, DWORD_PTR dwUser, DWORD_PTR, DWORD_PTR)
{
    TickLock lock(gTickLock);
    if (dwUser != guGeneration.load())
        return;
    if (!gfInterruptEnabled && !gboRecursiveTimer)
        DKREPORT("DkTimerCallback() : gfInterruptEnabled is FALSE");
    DK_TICK_FN pfnTick = gpfnInterruptFunction.load();
    if (pfnTick == nullptr)
        return;

    if (gboRecursiveTimer)
    {
        uint32_t now = static_cast<uint32_t>(Counter());
        uint32_t delta = now - guLastCallbackCount;
        guLastCallbackDelta = delta;
        guLastCallbackCount = now;
        gnAccumulatedError += static_cast<int32_t>(delta - guTargetCounts);
        if (gnAccumulatedError > 2 * gnErrorBound || gnAccumulatedError < -2 * gnErrorBound)
            gnAccumulatedError = 0;
        // The error is not moved by the correction itself: the next interval measured already
        // carries the millisecond added or taken, and counting it twice would let the rate
        // drift (43 a second would run at 43.2).
        unsigned delay = guPeriod;
        if (gnAccumulatedError > gnErrorBound)
            delay = guPeriod - 1;
        else if (gnAccumulatedError < -gnErrorBound)
            delay = guPeriod + 1;
        // Rates above 500 a second leave no millisecond to take; the chain must not stop.
        if (delay < 1)
            delay = 1;
        // Armed before the tick runs, so the tick's own length does not move the next one.
        guEventId = timeSetEvent(delay, 0, DkTimerCallback, dwUser, TIME_ONESHOT);
    }

    if (gboInCriticalSection)
    {
        gboTickDeferred = true;
        return;
    }
    if (gboTimerCallbackBusy)
        return;
    gboTimerCallbackBusy = TRUE;

    if (!gboPriorityRaised)
    {
        SetThreadPriority(GetCurrentThread(), gboRecursiveTimer ? THREAD_PRIORITY_HIGHEST
                                                                : THREAD_PRIORITY_TIME_CRITICAL);
        gboPriorityRaised = TRUE;
    }

    uint64_t tickStart = Counter();
    gboInInterruptFunction = TRUE;
    DkSuspendStateHandler();
    pfnTick();
    uint64_t tickEnd = Counter();
    guTickLength = static_cast<uint32_t>(tickEnd) - static_cast<uint32_t>(gllTickEnd.load());
    gllTickEnd = tickEnd;
    DkResumeStateHandler();
    gboInInterruptFunction = FALSE;

    uint32_t used = static_cast<uint32_t>(Counter()) - static_cast<uint32_t>(tickStart);
    int32_t load = static_cast<int32_t>(static_cast<uint64_t>(used) * 100 / guPeriodCounts);
    gaLoadRing[gnLoadIndex] = load;
    gnLoadIndex = (gnLoadIndex + 1) % DK_TIMER_LOAD_RING;

    ++gnTicksCounted;
    if (!gboRecursiveTimer && guAutoAdjust && gnTicksCounted > DK_TIMER_LOAD_RING)
    {
        if (load > MAX_PERCENTAGE_INTERRUPT_TIME)
        {
            ++gnOverloads;
            ++gnOverloadStreak;
            if (gnOverloadStreak >= 10 || gnOverloads * 100 / gnTicksCounted >= 10)
            {
                RestartTimerProc(guPeriod + 10);
                gboTimerCallbackBusy = FALSE;
                return;
            }
        }
        else if (gnOverloadStreak > 0)
        {
            --gnOverloadStreak;
        }
    }
    gboTimerCallbackBusy = FALSE;
}

} // namespace

BOOL DkStartTimerProcedure(unsigned int uPeriod, DK_TICK_FN pfnTick, unsigned int uRate)
{
    TickLock lock(gTickLock);
    if (uPeriod < 1 || uPeriod > 1000)
        DKREPORT("'uInterruptPeriod >= 1 && uInterruptPeriod <= 1000' FAILED!!!");
    if (pfnTick == nullptr)
        DKREPORT("ARGH - 'pFunc' == NULL");
    if (gfInterruptEnabled)
    {
        DKREPORT("ARGH (DkStartTimerprocedure)- interrupt already set,\ncannot have another!!!");
        // The old chain is stopped here, so that the new start never runs two chains side by
        // side and a failed start leaves the timer stopped.
        DkStopTimerProcedure();
    }

    uint32_t frequency = Frequency();
    if (uRate != 0)
    {
        gboRecursiveTimer = TRUE;
        guTargetCounts = frequency / uRate;
        gnErrorBound = static_cast<int32_t>(frequency / 1000);
        DkLog(DkFormatString("***--- TIMER VALUES - li.Low = %i - exact = %i - errorbound = %i",
                             static_cast<int>(frequency), static_cast<int>(guTargetCounts),
                             static_cast<int>(gnErrorBound)));
    }
    else
    {
        gboRecursiveTimer = FALSE;
    }
    gboInInterruptFunction = FALSE;
    guAutoAdjust = 1;

    if (timeBeginPeriod(guTimerAccuracy) != TIMERR_NOERROR)
    {
        guTimerAccuracy = 2;
        DkLog("timeBeginPeriod failed, trying timer accurracy 2");
        if (timeBeginPeriod(guTimerAccuracy) != TIMERR_NOERROR)
        {
            guTimerAccuracy = 3;
            DkLog("timeBeginPeriod failed, trying timer accurracy 3");
            if (timeBeginPeriod(guTimerAccuracy) != TIMERR_NOERROR)
            {
                DKREPORT("Error : Cannot do timeBeginPeriod()");
                return FALSE;
            }
        }
    }

    guPeriodCounts = static_cast<uint32_t>(frequency * uPeriod / 1000);
    if (guPeriodCounts == 0)
        guPeriodCounts = 1;
    uintptr_t generation = guGeneration.load();
    UINT id;
    if (uRate != 0)
    {
        guPeriod = 1000 / uRate;
        guLastCallbackCount = static_cast<uint32_t>(Counter());
        id = timeSetEvent(uPeriod, 0, DkTimerCallback, generation, TIME_ONESHOT);
    }
    else
    {
        guPeriod = uPeriod;
        id = timeSetEvent(uPeriod, 0, DkTimerCallback, generation, TIME_PERIODIC);
    }
    if (id == 0)
    {
        DKREPORT("timeSetEvent() failed!");
        timeEndPeriod(guTimerAccuracy);
        return FALSE;
    }
    guEventId = id;

    gfInterruptEnabled = TRUE;
    gboInCriticalSection = false;
    gboTickDeferred = false;
    gpfnInterruptFunction = pfnTick;
    gnTicksCounted = 0;
    gnOverloads = 0;
    gnOverloadStreak = 0;
    if (!gboRestarting)
        DkAddDestructor(DkStopTimerProcedure, "DkStopTimerProcedure");
    return TRUE;
}

BOOL DkStopTimerProcedure(void)
{
    TickLock lock(gTickLock);
    if (!gfInterruptEnabled)
        return FALSE;
    gboInInterruptFunction = FALSE;
    // The pending event goes in either mode, and any that escapes finds a newer generation,
    // so a quick restart never runs two chains.
    timeKillEvent(guEventId.load());
    ++guGeneration;
    timeEndPeriod(guTimerAccuracy);

    if (!gboRecursiveTimer)
    {
        if (gnTicksCounted > DK_TIMER_LOAD_RING)
            DkLog(DkFormatString("DkStopTimerProcedure() : Average percentage of interrupt used : "
                                 "%d%%\n(MAX_PERCENTAGE_INTERRUPT_TIME = %d)",
                                 AverageLoad(), MAX_PERCENTAGE_INTERRUPT_TIME));
        else
            DkLog("Cannot report avg. interrupt time, not enough interrupts counted");
    }

    gnOverloads = 0;
    gnOverloadStreak = 0;
    gnTicksCounted = 0;
    gnLoadIndex = 0;
    gboPriorityRaised = FALSE;
    gfInterruptEnabled = FALSE;
    gpfnInterruptFunction = nullptr;
    return TRUE;
}

void RestartTimerProc(unsigned int uNewPeriod)
{
    if (gboRecursiveTimer)
        DKREPORT("RestartTimerProc : Can't restart a recursive callback timer");
    DK_TICK_FN pfnTick = gpfnInterruptFunction.load();
    DkStopTimerProcedure();
    gpfnInterruptFunction = pfnTick;
    DkLog(
        DkFormatString("Stopped the interrupt, new period is %dms.", static_cast<int>(uNewPeriod)));
    gboRestarting = TRUE;
    DkStartTimerProcedure(uNewPeriod, pfnTick, 0);
    gboRestarting = FALSE;
}

void DkEnterCriticalSection(void)
{
    if (TimeIsTimerThread())
        return;
    // Waits for a tick that is running now.
    TickLock lock(gTickLock);
    gboInCriticalSection = true;
    gboTickDeferred = false;
}

int DkExitCriticalSection(void)
{
    if (TimeIsTimerThread())
        return 0;
    // Held to the end: a tick falling due meanwhile waits and runs once the section is open,
    // rather than being deferred after the deferral was looked at, and lost.
    TickLock lock(gTickLock);
    int result = 0;
    if (gboTickDeferred)
    {
        DK_TICK_FN pfnTick = gpfnInterruptFunction.load();
        if (pfnTick == nullptr)
            DKREPORT(
                "DkExitCriticalSection()\nArgh - interrupt enabled but no function to call!!!");
        else
            result = pfnTick();
        gboTickDeferred = false;
    }
    gboInCriticalSection = false;
    return result;
}

int32_t DkGetTickFraction(void)
{
    uint32_t elapsed = static_cast<uint32_t>(Counter()) - static_cast<uint32_t>(gllTickEnd.load());
    if (elapsed == 0)
        elapsed = 1;
    uint32_t length = guTickLength.load();
    if (length == 0)
        return 0x10000;
    float fraction = static_cast<float>(elapsed) / static_cast<float>(length);
    float scaled = std::nearbyint(fraction * 65536.0f);
    if (scaled >= 65536.0f)
        return 0x10000;
    return scaled < 0.0f ? 0 : static_cast<int32_t>(scaled);
}

BOOL DkIsTimerEnabled(void)
{
    return gfInterruptEnabled;
}

BOOL DkIsInInterruptFunction(void)
{
    return gboInInterruptFunction;
}

uint32_t DkGetLastTickDelta(void)
{
    return guLastCallbackDelta;
}

void DkSetTimerAutoAdjust(uint8_t uAutoAdjust)
{
    TickLock lock(gTickLock);
    guAutoAdjust = uAutoAdjust;
}

int DkGetAverageInterruptLoad(void)
{
    TickLock lock(gTickLock);
    if (!gfInterruptEnabled)
        return -1;
    return AverageLoad();
}

uint32_t DkGetMilliseconds(void)
{
    return static_cast<uint32_t>(Counter() * 1000 / Frequency());
}

BOOL DkIsInCriticalSection(void)
{
    return gboInCriticalSection ? TRUE : FALSE;
}

BOOL DkIsTimerThread(void)
{
    return TimeIsTimerThread();
}

int32_t DkGetTimerAccumulatedError(void)
{
    TickLock lock(gTickLock);
    return gnAccumulatedError;
}

unsigned int DkGetTimerAccuracy(void)
{
    TickLock lock(gTickLock);
    return guTimerAccuracy;
}
