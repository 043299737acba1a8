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

void MessageRoll_Reset(void) {}

void MessageRoll_ResetEntrance(void) {}

void MessageRoll_SetEntrancePosition(int32_t) {}

int32_t MessageRoll_GetMode(void)
{
    return 0;
}

void MessageRoll_GrantReward(void) {}

void MessageRoll_Finish(void) {}

int32_t MessageRoll_Update(void)
{
    return 1;
}

int32_t DemoLogo_Update(void)
{
    return 0;
}

void MessageRoll_Draw(void) {}

void DemoLogo_Draw(void) {}

BOOL MessageRoll_IsRunning(void)
{
    return FALSE;
}
