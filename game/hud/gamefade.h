// The game fade: the one shared brightness ramp of the game screens (16.16, 0 black to 1.0 full).
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// Starts the ramp from black up to full brightness over nFrames frames.
void GameFade_In(int32_t nFrames);
// Starts the ramp from full brightness down to black over nFrames frames.
void GameFade_Out(int32_t nFrames);
// Advances the ramp one frame and returns its level (16.16).
int32_t GameFade_Step(void);
// TRUE when no fade runs.
BOOL GameFade_IsDone(void);

// Test hook: a fade that runs (Step returns xLevel) or none.
void GameFade_SetForTests(BOOL boRunning, int32_t xLevel);
