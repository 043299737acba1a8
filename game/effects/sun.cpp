#include "game/effects/sun.h"

namespace
{
int gnLoadCalls = 0;
} // namespace

void Sun_LoadData(const char*)
{
    ++gnLoadCalls;
}

int Sun_GetLoadCallsForTests(void)
{
    return gnLoadCalls;
}

void Sun_ResetForTests(void)
{
    gnLoadCalls = 0;
}

void InitialiseAmbientLight(void) {}
