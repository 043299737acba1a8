#include "game/effects/surface.h"

namespace
{
int gnLoadCalls = 0;
} // namespace

void Surface_LoadSurvey(const uint8_t*, uint32_t)
{
    ++gnLoadCalls;
}

int Surface_GetLoadCallsForTests(void)
{
    return gnLoadCalls;
}

void Surface_ResetForTests(void)
{
    gnLoadCalls = 0;
}
