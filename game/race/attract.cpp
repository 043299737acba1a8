#include "game/race/attract.h"

namespace
{
int32_t gnFinished = 0;
} // namespace

int32_t MessageRoll_IsFinished(void)
{
    return gnFinished;
}

void MessageRoll_SetFinishedForTests(int32_t nFinished)
{
    gnFinished = nFinished;
}
