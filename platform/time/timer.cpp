// Multimedia timer events on one timer thread.

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/time/time.h"

namespace
{

constexpr uint64_t kNsPerMs = 1000000u;
constexpr UINT kMaxDelay = 1000000;

struct TimerEvent
{
    UINT id;
    uint64_t dueNs;
    uint64_t periodNs; // 0 for a one-shot event
    LPTIMECALLBACK proc;
    DWORD_PTR user;
};

std::mutex gLock;
std::condition_variable gWake;
std::vector<TimerEvent> gEvents;
UINT guNextId = 1;
bool gbStopThread = false;
bool gbThreadStarted = false;
std::thread gThread;
std::vector<UINT> gFakeDelays;
std::vector<UINT> gFakePeriodRequests;
uint32_t guRefusedPeriods = 0;

// The thread running a callback, and the due time of the event it runs.
thread_local bool tlInCallback = false;
thread_local uint64_t tlRunningDueNs = 0;

// Stops and joins the thread when the program ends. It is made when the thread starts, so it
// goes before every static made until then (the callbacks may use them) and before what the
// thread uses here.
struct ThreadOwner
{
    ~ThreadOwner()
    {
        {
            std::lock_guard<std::mutex> lock(gLock);
            gbStopThread = true;
        }
        gWake.notify_all();
        if (gThread.joinable())
            gThread.join();
    }
};

std::vector<TimerEvent>::iterator Earliest()
{
    return std::min_element(gEvents.begin(), gEvents.end(),
                            [](const TimerEvent& a, const TimerEvent& b)
                            { return a.dueNs < b.dueNs || (a.dueNs == b.dueNs && a.id < b.id); });
}

// Takes the event due first off the list (a periodic one stays, due one period later) and
// returns it. Called with the lock held and the list not empty.
TimerEvent TakeEarliest(uint64_t nowNs)
{
    auto it = Earliest();
    TimerEvent event = *it;
    if (it->periodNs != 0)
    {
        it->dueNs += it->periodNs;
        // After a stall the period restarts from now rather than firing a burst.
        if (it->dueNs < nowNs)
            it->dueNs = nowNs + it->periodNs;
    }
    else
        gEvents.erase(it);
    return event;
}

void RunCallback(const TimerEvent& event)
{
    tlInCallback = true;
    tlRunningDueNs = event.dueNs;
    event.proc(event.id, 0, event.user, 0, 0);
    tlInCallback = false;
}

void ThreadMain()
{
    std::unique_lock<std::mutex> lock(gLock);
    while (!gbStopThread)
    {
        if (gEvents.empty() || TimeIsFakeClock())
        {
            gWake.wait_for(lock, std::chrono::milliseconds(50));
            continue;
        }
        uint64_t now = TimeNowNs();
        uint64_t due = Earliest()->dueNs;
        if (due > now)
        {
            gWake.wait_for(lock, std::chrono::nanoseconds(due - now));
            continue;
        }
        TimerEvent event = TakeEarliest(now);
        lock.unlock();
        RunCallback(event);
        lock.lock();
    }
}

} // namespace

MMRESULT timeSetEvent(UINT uDelay, UINT, LPTIMECALLBACK lpTimeProc, DWORD_PTR dwUser, UINT fuEvent)
{
    if (lpTimeProc == nullptr || uDelay < 1 || uDelay > kMaxDelay)
        return 0;
    uint64_t now = TimeNowNs();
    uint64_t base = tlInCallback ? tlRunningDueNs : now;
    uint64_t due = base + uDelay * kNsPerMs;
    // A chain that fell behind by more than a delay starts again from now: one late event,
    // not a burst.
    if (due < now)
        due = now;

    MMRESULT id;
    {
        std::lock_guard<std::mutex> lock(gLock);
        id = guNextId++;
        if (guNextId == 0)
            guNextId = 1;
        uint64_t period = (fuEvent & TIME_PERIODIC) ? uDelay * kNsPerMs : 0;
        gEvents.push_back({id, due, period, lpTimeProc, dwUser});
        if (TimeIsFakeClock())
            gFakeDelays.push_back(uDelay);
        if (!gbThreadStarted)
        {
            gbThreadStarted = true;
            gThread = std::thread(ThreadMain);
            static ThreadOwner owner;
        }
    }
    gWake.notify_all();
    return id;
}

MMRESULT timeKillEvent(UINT uTimerID)
{
    std::lock_guard<std::mutex> lock(gLock);
    auto it = std::find_if(gEvents.begin(), gEvents.end(),
                           [uTimerID](const TimerEvent& e) { return e.id == uTimerID; });
    if (it == gEvents.end())
        return TIMERR_NOCANDO;
    gEvents.erase(it);
    return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(UINT uPeriod)
{
    std::lock_guard<std::mutex> lock(gLock);
    if (TimeIsFakeClock())
    {
        gFakePeriodRequests.push_back(uPeriod);
        if (uPeriod < 32 && (guRefusedPeriods & (1u << uPeriod)))
            return TIMERR_NOCANDO;
    }
    return (uPeriod >= 1 && uPeriod <= 1000) ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

MMRESULT timeEndPeriod(UINT uPeriod)
{
    return (uPeriod >= 1 && uPeriod <= 1000) ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

BOOL TimeIsTimerThread(void)
{
    return tlInCallback ? TRUE : FALSE;
}

BOOL TimeFakeFireNext(DWORD uLateMs)
{
    TimerEvent event;
    {
        std::lock_guard<std::mutex> lock(gLock);
        if (gEvents.empty())
            return FALSE;
        uint64_t due = Earliest()->dueNs;
        TimeFakeSetNs(std::max(due, TimeNowNs()) + uLateMs * kNsPerMs);
        event = TakeEarliest(TimeNowNs());
    }
    RunCallback(event);
    return TRUE;
}

std::vector<UINT> TimeFakeTakeDelays(void)
{
    std::lock_guard<std::mutex> lock(gLock);
    std::vector<UINT> delays;
    delays.swap(gFakeDelays);
    return delays;
}

void TimeFakeRefusePeriods(uint32_t uMask)
{
    std::lock_guard<std::mutex> lock(gLock);
    guRefusedPeriods = uMask;
}

std::vector<UINT> TimeFakeTakePeriodRequests(void)
{
    std::lock_guard<std::mutex> lock(gLock);
    std::vector<UINT> requests;
    requests.swap(gFakePeriodRequests);
    return requests;
}

void TimeFakeClearEvents(void)
{
    std::lock_guard<std::mutex> lock(gLock);
    gEvents.clear();
    gFakeDelays.clear();
    gFakePeriodRequests.clear();
}
