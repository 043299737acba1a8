// The on-screen display. So far only the split markers the split-time display sets, recorded.
#pragma once

#include "engine/include/dk_types.h"

// Sets the marker of split nSplit in the player's view: better (the split's difference is no
// worse than the last one's) or not. Recorded so far.
void Osd_SetSplitMark(int nSplit, BOOL boBetter, int nPlayer);

// Test hooks: the calls since the last reset and the last one's arguments.
struct OsdSplitMark
{
    int nSplit;
    BOOL boBetter;
    int nPlayer;
};
int Osd_GetSplitMarkCallsForTests(void);
OsdSplitMark Osd_GetLastSplitMarkForTests(void);
void Osd_ResetForTests(void);
