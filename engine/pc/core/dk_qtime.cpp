#include "engine/pc/core/dk_qtime.h"

#include <cstdio>
#include <cstring>

#include "engine/common/destruct.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/time/time.h"
#include "platform/win/win.h"

namespace
{

DK_QTIMER gaQTimers[MAX_QTIMERS];
BOOL gboQTimerInitialised = FALSE;
uint32_t guLastEndCycles = 0;
// 0: one second of the performance counter.
uint32_t guClockMeasureCounts = 0;

const char kReportLine[] = "-------------------------------------"; // 37

uint32_t ReadCycles(void)
{
    return static_cast<uint32_t>(DkReadCycleCounter());
}

int FindTimer(const char* pszName)
{
    for (int i = 0; i < MAX_QTIMERS; ++i)
        if (gaQTimers[i].boInUse &&
            std::strncmp(gaQTimers[i].szName, pszName, DK_QTIMER_NAME_LENGTH) == 0)
            return i;
    return -1;
}

DK_QTIMER* FindEndedTimer(const char* pszName)
{
    int nSlot = FindTimer(pszName != nullptr ? pszName : "");
    if (nSlot < 0)
    {
        DKREPORT("QuickTime_End() : Couldn't match the name to an existing timer\nCheck for case!");
        return nullptr;
    }
    return &gaQTimers[nSlot];
}

void CountRun(DK_QTIMER& timer, uint32_t uRawCycles)
{
    uint32_t uRun = uRawCycles >= DK_QTIMER_OVERHEAD ? uRawCycles - DK_QTIMER_OVERHEAD : 0;
    ++timer.uCount;
    timer.ullTotal += uRun;

    const size_t uLast = DK_QTIMER_RUNS_KEPT - 1;
    for (size_t i = 0; i < DK_QTIMER_RUNS_KEPT; ++i)
        if (timer.auFastest[i] > uRun)
        {
            std::memmove(&timer.auFastest[i + 1], &timer.auFastest[i],
                         (uLast - i) * sizeof timer.auFastest[0]);
            timer.auFastest[i] = uRun;
            break;
        }
    for (size_t i = 0; i < DK_QTIMER_RUNS_KEPT; ++i)
        if (timer.auSlowest[i] < uRun)
        {
            std::memmove(&timer.auSlowest[i + 1], &timer.auSlowest[i],
                         (uLast - i) * sizeof timer.auSlowest[0]);
            timer.auSlowest[i] = uRun;
            break;
        }
}

void LogRuns(const char* pszTitle, const uint32_t* auRuns, uint32_t uAverage)
{
    DkLog(DkFormatString(pszTitle, DK_QTIMER_RUNS_KEPT));
    for (unsigned int j = 0; j < DK_QTIMER_RUNS_KEPT; ++j)
        DkLog(DkFormatString("\t\t%u: %u cycles (%i)", j, auRuns[j],
                             static_cast<int>(uAverage - auRuns[j])));
}

} // namespace

void QuickTime_Init(void)
{
    if (gboQTimerInitialised)
    {
        // The runs measured so far stay.
        DKREPORT("Quick timer already inited");
        return;
    }
    std::memset(gaQTimers, 0, sizeof gaQTimers);
    for (DK_QTIMER& timer : gaQTimers)
        for (uint32_t& uFastest : timer.auFastest)
            uFastest = 0xFFFFFFFFu;
    DkAddDestructor(QuickTime_Destroy, "QuickTime_Destroy");
    gboQTimerInitialised = TRUE;
}

void QuickTime_Start(const char* pszName)
{
    const char* name = pszName != nullptr ? pszName : "";
    if (!gboQTimerInitialised)
        DKREPORT("QuickTime_Start() : Quick timer not yet initialised");
    int nSlot = FindTimer(name);
    if (nSlot < 0)
    {
        for (nSlot = 0; nSlot < MAX_QTIMERS && gaQTimers[nSlot].boInUse; ++nSlot)
        {
        }
        if (nSlot == MAX_QTIMERS)
        {
            DKREPORT("QuickTime_Start() : Too many timers added. Increase MAX_QTIMERS");
            return;
        }
        gaQTimers[nSlot].boInUse = TRUE;
        std::snprintf(gaQTimers[nSlot].szName, sizeof gaQTimers[nSlot].szName, "%s", name);
    }
    gaQTimers[nSlot].uStart = ReadCycles();
}

BOOL QuickTime_End(const char* pszName)
{
    // First of all, so that the rest of the bracket is not measured.
    uint32_t uEnd = ReadCycles();
    guLastEndCycles = uEnd;
    if (!gboQTimerInitialised)
        DKREPORT("QuickTime_Start() : Quick timer not yet initialised");
    DK_QTIMER* pTimer = FindEndedTimer(pszName);
    if (pTimer == nullptr)
        return FALSE;
    CountRun(*pTimer, uEnd - pTimer->uStart);
    return TRUE;
}

BOOL DkQuickTimeRecordRun(const char* pszName, uint32_t uRawCycles)
{
    DK_QTIMER* pTimer = FindEndedTimer(pszName);
    if (pTimer == nullptr)
        return FALSE;
    CountRun(*pTimer, uRawCycles);
    return TRUE;
}

const DK_QTIMER* DkQuickTimeGetSlot(int nSlot)
{
    if (nSlot < 0 || nSlot >= MAX_QTIMERS)
        return nullptr;
    return &gaQTimers[nSlot];
}

BOOL QuickTime_Destroy(void)
{
    gboQTimerInitialised = FALSE;
    uint32_t uClock = DkMeasureCpuClock();
    DkLog("\n--- QUICK-TIME REPORT ---");
    for (const DK_QTIMER& timer : gaQTimers)
    {
        if (!timer.boInUse)
            continue;
        if (timer.uCount == 0)
        {
            DkLog(DkFormatString("%s not timed (QUICKTIME_END() not called)", timer.szName));
            continue;
        }
        uint32_t uAverage = static_cast<uint32_t>(timer.ullTotal / timer.uCount);
        DkLog(DkFormatString("Average Clock Ticks for '%s' : %d cycles", timer.szName,
                             static_cast<int>(uAverage)));
        if (uClock == 0)
        {
            DKREPORT("DBZ error");
        }
        else
        {
            int32_t nNanos = MulDiv(uAverage % uClock, 1000000000u, uClock);
            if (nNanos == -1)
            {
                DkLog("MulDiv() error! Cannot calculate time.");
            }
            else
            {
                char szTime[48];
                std::snprintf(szTime, sizeof szTime, "%lu.%.9lus",
                              static_cast<unsigned long>(uAverage / uClock),
                              static_cast<unsigned long>(nNanos));
                DkLog(DkFormatString("Time : %s\n", szTime));
            }
        }
        LogRuns("%i Fastest Clock Times:", timer.auFastest, uAverage);
        LogRuns("%i Slowest Clock Times:", timer.auSlowest, uAverage);
        DkLog(kReportLine);
    }
    return TRUE;
}

uint32_t DkClockRateFromCycles(uint64_t ullCycles, uint32_t uCounts, uint32_t uFrequency)
{
    const uint32_t kMegahertz = 1000000u;
    const uint32_t kMaxMegahertz = UINT32_MAX / kMegahertz;
    unsigned __int128 uPerSecond = ullCycles;
    if (uCounts != 0)
        uPerSecond = uPerSecond * uFrequency / uCounts;
    unsigned __int128 uWhole = uPerSecond / kMegahertz;
    uint32_t uMegahertz =
        uWhole >= kMaxMegahertz ? kMaxMegahertz : static_cast<uint32_t>(uWhole) + 1;
    return uMegahertz * kMegahertz;
}

void DkSetClockMeasureCounts(uint32_t uCounts)
{
    guClockMeasureCounts = uCounts;
}

uint32_t DkGetPerformanceFrequency(void)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<uint32_t>(frequency.QuadPart);
}

uint32_t DkMeasureCpuClock(void)
{
    SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    uint32_t uFrequency = static_cast<uint32_t>(frequency.QuadPart);
    uint32_t uCounts = guClockMeasureCounts != 0 ? guClockMeasureCounts : uFrequency;

    // The cycle counter is read whole: today's clocks pass 2^32 cycles within the second, so
    // its low 32 bits would wrap during the measurement.
    uint64_t ullT0 = 0;
    uint64_t ullT1 = 0;
    do
    {
        LARGE_INTEGER now;
        uint32_t uNow = 0;
        uint32_t uTarget = 0;
        do
        {
            QueryPerformanceCounter(&now);
            uNow = static_cast<uint32_t>(now.QuadPart);
            uTarget = uNow + uCounts;
        } while (uTarget < uNow);
        ullT0 = DkReadCycleCounter();
        do
        {
            QueryPerformanceCounter(&now);
        } while (static_cast<uint32_t>(now.QuadPart) < uTarget);
        ullT1 = DkReadCycleCounter();
    } while (ullT1 < ullT0);

    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    uint32_t uRate = DkClockRateFromCycles(ullT1 - ullT0, uCounts, uFrequency);
    DkLog(DkFormatString("PC Clock speed : %dMHz", static_cast<int>(uRate / 1000000u)));
    return uRate;
}

int32_t MulDiv(uint32_t uNumber, uint32_t uNumerator, uint32_t uDenominator)
{
    if (uDenominator == 0)
        return -1;
    // Two 32-bit factors always fit the 64-bit product.
    uint64_t ullProduct = static_cast<uint64_t>(uNumber) * uNumerator;
    uint64_t ullResult = (ullProduct + uDenominator / 2) / uDenominator;
    if (ullResult > INT32_MAX)
        return -1;
    return static_cast<int32_t>(ullResult);
}
