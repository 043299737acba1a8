#include "game/effects/menusnd.h"

namespace
{
int gnLoadCalls = 0;
} // namespace

void MenuSound_Load(void)
{
    ++gnLoadCalls;
}

int MenuSound_GetLoadCallsForTests(void)
{
    return gnLoadCalls;
}

void MenuSound_ResetForTests(void)
{
    gnLoadCalls = 0;
}
