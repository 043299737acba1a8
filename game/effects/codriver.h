// The co-driver: the pace-note calls read out during a stage. So far only the queue that the
// pace-note triggers feed, recorded.
#pragma once

#include <cstdint>

// Puts a pace-note call word into the co-driver's queue for player nPlayer.
void CoDriver_QueueCall(int32_t nCall, int nPlayer);

// Test hooks: the calls queued since the last reset, and the last one.
struct CoDriverCall
{
    int32_t nCall;
    int nPlayer;
};
int CoDriver_GetQueuedCallsForTests(void);
CoDriverCall CoDriver_GetLastCallForTests(void);
void CoDriver_ResetForTests(void);

// Opens the co-driver's channel and loads the speech of a one-player stage. Counted so far.
void CoDriver_LoadSamples(void);
int CoDriver_GetLoadCallsForTests(void);
// Lets the co-driver speak again after the pause. Counted so far.
void CoDriver_Unmute(void);
int CoDriver_GetUnmuteCallsForTests(void);

// The co-driver in the race: one tick of the calls, silenced at the stage's end, and the
// comment on the stage's result (hundredths). Seams so far; the comments are counted.
void CoDriver_Update(void);
void CoDriver_Mute(void);
void CoDriver_PlayEndStageComment(int32_t nResult);
int CoDriver_GetEndStageCommentsForTests(void);
