// The per-tick driver of every car. So far only what a placed car asks of it: the per-car
// track section and the view copy of the next tick.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

#define PERTICK_CARS 8
#define PERTICK_PLAYERS 2

extern int32_t gaCarTrackSection[PERTICK_CARS];

// Asks the next tick to copy the player's current snapshot over the previous one, so that the
// next frame shows the car where it now is without a blend. Players outside 0..1 are ignored.
void SetViewCopyPending(int nPlayer);

// Test hooks: whether the player's copy is pending, and every flag cleared.
BOOL PerTick_IsViewCopyPending(int nPlayer);
void PerTick_ResetForTests(void);
