#include "game/effects/wchhhh.h"

namespace
{
int gnLoadCalls = 0;
} // namespace

void SurfaceNoise_Load(char*)
{
    ++gnLoadCalls;
}

int SurfaceNoise_GetLoadCallsForTests(void)
{
    return gnLoadCalls;
}

void SurfaceNoise_ResetForTests(void)
{
    gnLoadCalls = 0;
}

void SurfaceNoise_Update(void) {}

void SurfaceNoise_StopAll(void) {}

void SurfaceNoise_OnViewChange(int, int) {}
