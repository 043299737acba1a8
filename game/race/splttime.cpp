#include "game/race/splttime.h"

namespace
{
constexpr int32_t kOneHour = 0xE100000;

int32_t gxStageClock = 0;
int gnAdvanceCalls = 0;
int32_t gxLastAdvance = 0;
} // namespace

int16_t gaSplitsPassed[8];
int32_t gnLastSplitTime = 0;
int32_t gnLastSplitState = -1;
int32_t gboFinishReached = 0;

void StageTimer_Advance(int32_t xSeconds)
{
    ++gnAdvanceCalls;
    gxLastAdvance = xSeconds;
    if (gxStageClock < kOneHour)
        gxStageClock += xSeconds;
}

int32_t StageTimer_GetHundredths(int)
{
    return static_cast<int32_t>(static_cast<int64_t>(gxStageClock) * 100 >> 16);
}

int32_t StageTimer_GetClockForTests(void)
{
    return gxStageClock;
}

int StageTimer_GetAdvanceCallsForTests(void)
{
    return gnAdvanceCalls;
}

int32_t StageTimer_GetLastAdvanceForTests(void)
{
    return gxLastAdvance;
}

void StageTimer_ResetForTests(void)
{
    gxStageClock = 0;
    gnAdvanceCalls = 0;
    gxLastAdvance = 0;
    for (int16_t& nPassed : gaSplitsPassed)
        nPassed = 0;
    gnLastSplitTime = 0;
    gnLastSplitState = -1;
    gboFinishReached = 0;
}

void SplitTime_InitStage(void)
{
}
