// The cycle-counting profiler: code brackets a stretch with QuickTime_Start and QuickTime_End
// under a name, and at exit a report lists, per name, the average and the ten fastest and ten
// slowest runs. It also measures the processor's clock rate against the performance counter.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

#define MAX_QTIMERS 20
#define DK_QTIMER_NAME_LENGTH 32
#define DK_QTIMER_RUNS_KEPT 10
// What the bracket itself costs; shorter runs count as 0.
#define DK_QTIMER_OVERHEAD 35

struct DK_QTIMER
{
    BOOL boInUse;
    uint32_t uStart;                         // low 32 bits of the cycle counter
    uint32_t auSlowest[DK_QTIMER_RUNS_KEPT]; // longest first
    uint32_t auFastest[DK_QTIMER_RUNS_KEPT]; // shortest first
    char szName[DK_QTIMER_NAME_LENGTH + 1];  // room for the terminator after 32 characters
    uint32_t uCount;
    uint64_t ullTotal;
};

void QuickTime_Init(void);
void QuickTime_Start(const char* pszName);
BOOL QuickTime_End(const char* pszName);
// Destroy callback: writes the report.
BOOL QuickTime_Destroy(void);

// Counts one run of the named timer that took uRawCycles between the two counter reads; the
// overhead is taken off here. QuickTime_End passes its measurement through it.
BOOL DkQuickTimeRecordRun(const char* pszName, uint32_t uRawCycles);
// Read-only view of a slot, for checks; NULL outside 0..MAX_QTIMERS-1.
const DK_QTIMER* DkQuickTimeGetSlot(int nSlot);

// The performance counter's rate, counts a second.
uint32_t DkGetPerformanceFrequency(void);

// The processor's clock rate in Hz, a whole number of MHz x 1,000,000. Blocks the caller for
// the measured span (one second).
uint32_t DkMeasureCpuClock(void);
// The rate from ullCycles counted over uCounts of a counter running at uFrequency: the MHz are
// those of one second, so the cycles are scaled by uFrequency / uCounts, and MHz = cycles /
// 1,000,000 + 1. Rates beyond 32 bits are held at the largest whole MHz that fits.
uint32_t DkClockRateFromCycles(uint64_t ullCycles, uint32_t uCounts, uint32_t uFrequency);
// Test hook: the span DkMeasureCpuClock measures, in performance-counter counts; 0 restores
// the default, one second.
void DkSetClockMeasureCounts(uint32_t uCounts);

// uNumber x uNumerator / uDenominator through a 64-bit product, rounded to the nearest; -1
// when the denominator is 0 or the result does not fit an int32.
int32_t MulDiv(uint32_t uNumber, uint32_t uNumerator, uint32_t uDenominator);
