#include "game/race/attract.h"

namespace
{
int32_t gnFinished = 0;
int gnDonutLoads = 0;
int gnRollInits = 0;
} // namespace

int32_t MessageRoll_IsFinished(void)
{
    return gnFinished;
}

void MessageRoll_SetFinishedForTests(int32_t nFinished)
{
    gnFinished = nFinished;
}

void LoadDonutReplay(const char*)
{
    ++gnDonutLoads;
}

void MessageRoll_Init(BOOL)
{
    ++gnRollInits;
}

int Attract_GetDonutLoadsForTests(void)
{
    return gnDonutLoads;
}

int MessageRoll_GetInitCallsForTests(void)
{
    return gnRollInits;
}

void Attract_ResetForTests(void)
{
    gnDonutLoads = gnRollInits = 0;
}
