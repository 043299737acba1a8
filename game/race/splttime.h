// The stage timer and split times: one game clock per stage, each local player's timer
// against it, and for a while after each split point the time there and its difference to the
// reference, with a sign, a colour and a spoken cue. Times are shown as minutes, seconds and
// hundredths.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

struct DK_FONT;

#define SPLIT_PLAYERS 2
#define SPLIT_TIMES 9
#define SPLIT_TEXT_SIZE 40
// The game clock's ceiling: one hour, 16.16 seconds.
#define STAGE_CLOCK_LIMIT 0xE100000
// How long a split stays up, in ticks, and the tick from which it fades.
#define SPLIT_DISPLAY_TICKS 120
#define SPLIT_FADE_TICK 96

// Per player number the split index the display shows (-1 none; 8 the finish): the checkpoint
// code sets it at each split, the display puts it back to -1 when the split has been shown.
// Player 0's cat's-eye head when the last split time was taken (-1 before any) and that time
// in hundredths; set once the finish's split time was taken.
extern int16_t gaSplitsPassed[8];
extern int32_t gnLastSplitTime;
extern int32_t gnLastSplitState;
extern int32_t gboFinishReached;
// Per player the final time (hundredths; follows the timer until the player finishes) and the
// times taken at the nine splits.
extern int32_t gaPlayerFinishTime[SPLIT_PLAYERS];
extern int32_t gaSplitTimeTable[SPLIT_PLAYERS][SPLIT_TIMES];
// The time font, in both slots.
extern DK_FONT* gapTimeFont[2];

// The timers. A player outside 0..1 has none: starting or stopping it does nothing, it reads 0.
void StageTimer_Start(int nPlayer);
void StageTimer_Stop(int nPlayer);
BOOL StageTimer_IsRunning(int nPlayer);
// The clock back to 0 and both timers stopped.
void StageTimer_ResetAll(void);
// Adds the 16.16 seconds to the game clock while the clock is below one hour.
void StageTimer_Advance(int32_t xSeconds);
// The running timer's elapsed whole seconds, or hundredths; 0 while it is stopped.
int32_t StageTimer_GetSeconds(int nPlayer);
int32_t StageTimer_GetHundredths(int nPlayer);

// The split state of a new stage: no split shown, both timers stopped, no last difference.
void SplitTime_Reset(void);
// The time font of the screen size, from the hard-disk data root.
void SplitTime_LoadFont(void);
// The stage's ".spl" file is not read: its name only enables the split differences.
void SplitTime_EnableSplits(const char* pszPath);
// Writes |a - b| through pOut (when given) and returns whether a < b.
BOOL SplitTime_Difference(uint32_t* pOut, uint32_t uA, uint32_t uB);
// The frame's copy of each player's time and split index, taken inside the display's critical
// section; a split whose display ended in the last frame leaves the tick's record here.
void SplitTime_TakeFrame(void);
// One frame of the player's clock and, when asked, its split line, from the frame's copy; with
// boAdvance the split's display moves on a tick.
void SplitTime_Draw(int nPlayer, BOOL boShowSplit, BOOL boAdvance);
// Each race tick: the final time of every player still driving follows the timer.
void SplitTime_RecordFinish(void);
// "DOWN.WAV" and "UP.WAV" from the game root's sounds folder, on a channel of their own.
void SplitTime_LoadSounds(void);
// The stage loader's ".spl" row: SplitTime_Reset and SplitTime_EnableSplits.
void SplitTime_InitStage(void);

// The folder's font for a screen width.
const char* SplitTime_GetFontPath(int nWidth);
// Where the player's clock is drawn on a screen of the size, in pixels.
void SplitTime_GetClockPosition(int nPlayer, int nWidth, int nHeight, int* pnX, int* pnY);

// Test hooks. The clock (16.16 seconds), how often Advance was called and its last argument,
// and a fresh start at 0 (the split state too).
int32_t StageTimer_GetClockForTests(void);
int StageTimer_GetAdvanceCallsForTests(void);
int32_t StageTimer_GetLastAdvanceForTests(void);
void StageTimer_ResetForTests(void);
// The player's split line as last drawn: its text, colour (alpha last), comparison state (0
// slower, 1 faster, 2 equal), display counter; the cues played (0 "DOWN.WAV", 1 "UP.WAV") and
// the last one (-1 none).
struct SplitTimeView
{
    char szText[SPLIT_TEXT_SIZE];
    uint8_t auColour[4];
    int nState;
    int nCounter;
};
SplitTimeView SplitTime_GetViewForTests(int nPlayer);
int SplitTime_GetCuesForTests(void);
int SplitTime_GetLastCueForTests(void);
BOOL SplitTime_GetSplitsEnabledForTests(void);
