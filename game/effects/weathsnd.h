// The weather sounds: rain and wet roads. So far only the stage loader's call, counted.
#pragma once

void WeatherNoise_Load(void);

// Test hooks: the calls since the last reset.
int WeatherNoise_GetLoadCallsForTests(void);
void WeatherNoise_ResetForTests(void);

// One tick of the weather sounds, and their stop at the stage's end. Nothing yet.
void WeatherNoise_Update(void);
void WeatherNoise_Stop(void);
// The camera director's news of a change of camera type (rain is heard inside the car).
// Nothing yet.
void WeatherNoise_OnViewChange(int nOldType, int nNewType);
