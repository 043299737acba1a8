// The stage timer and split times. So far only the stage clock that a rescue's penalty
// advances.
#pragma once

#include <cstdint>

// Adds the 16.16 seconds to the stage clock while the clock is below one hour.
void StageTimer_Advance(int32_t xSeconds);

// Test hooks: the clock (16.16 seconds), how often Advance was called and its last argument,
// and a fresh start at 0.
int32_t StageTimer_GetClockForTests(void);
int StageTimer_GetAdvanceCallsForTests(void);
int32_t StageTimer_GetLastAdvanceForTests(void);
void StageTimer_ResetForTests(void);
