#include "game/race/splttime.h"

namespace
{
constexpr int32_t kOneHour = 0xE100000;

int32_t gxStageClock = 0;
int gnAdvanceCalls = 0;
int32_t gxLastAdvance = 0;
} // namespace

void StageTimer_Advance(int32_t xSeconds)
{
    ++gnAdvanceCalls;
    gxLastAdvance = xSeconds;
    if (gxStageClock < kOneHour)
        gxStageClock += xSeconds;
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
}
