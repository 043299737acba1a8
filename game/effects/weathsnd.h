// The weather sounds: rain and wet roads. So far only the stage loader's call, counted.
#pragma once

void WeatherNoise_Load(void);

// Test hooks: the calls since the last reset.
int WeatherNoise_GetLoadCallsForTests(void);
void WeatherNoise_ResetForTests(void);
