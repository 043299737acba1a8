#include "game/effects/pregame.h"

namespace
{
int gnLoadCalls = 0;
} // namespace

void PreSnd_Load(void)
{
    ++gnLoadCalls;
}

int PreSnd_GetLoadCallsForTests(void)
{
    return gnLoadCalls;
}

void PreSnd_ResetForTests(void)
{
    gnLoadCalls = 0;
}
