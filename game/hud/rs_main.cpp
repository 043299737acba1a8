#include "game/hud/rs_main.h"

namespace
{
int gnSaveCalls = 0;
} // namespace

void School_SavePlayerInfo(void)
{
    ++gnSaveCalls;
}

int School_GetSaveCallsForTests(void)
{
    return gnSaveCalls;
}

void School_ResetForTests(void)
{
    gnSaveCalls = 0;
}
