#include "game/effects/weathsnd.h"

namespace
{
int gnLoadCalls = 0;
} // namespace

void WeatherNoise_Load(void)
{
    ++gnLoadCalls;
}

int WeatherNoise_GetLoadCallsForTests(void)
{
    return gnLoadCalls;
}

void WeatherNoise_ResetForTests(void)
{
    gnLoadCalls = 0;
}

void WeatherNoise_Update(void) {}

void WeatherNoise_Stop(void) {}

void WeatherNoise_OnViewChange(int, int) {}
