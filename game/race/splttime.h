// The stage timer and split times. So far only the stage clock that a rescue's penalty
// advances and the split state that the split markers write.
#pragma once

#include <cstdint>

// Player 0's count of splits passed (8 the finish) in entry 0, one entry per player number;
// player 0's cat's-eye head when the last split time was taken (-1 before any) and that time
// in hundredths; set once the finish's split time was taken.
extern int16_t gaSplitsPassed[8];
extern int32_t gnLastSplitTime;
extern int32_t gnLastSplitState;
extern int32_t gboFinishReached;

// Adds the 16.16 seconds to the stage clock while the clock is below one hour.
void StageTimer_Advance(int32_t xSeconds);
// The player's stage time in hundredths of a second (so far the one stage clock's).
int32_t StageTimer_GetHundredths(int nPlayer);

// Test hooks: the clock (16.16 seconds), how often Advance was called and its last argument,
// and a fresh start at 0 (the split state too).
int32_t StageTimer_GetClockForTests(void);
int StageTimer_GetAdvanceCallsForTests(void);
int32_t StageTimer_GetLastAdvanceForTests(void);
void StageTimer_ResetForTests(void);

// The stage's split times: resets the split state and enables splits. Nothing yet.
void SplitTime_InitStage(void);
