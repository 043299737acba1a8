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

// Whether the race is over: set by the finish display once the after-finish hold has run out
// (in a network game once every player has finished). The race state reads it as the stage's end.
extern BOOL gboRaceFinished;

// Stores the file-name part of the stage path as the track name the display shows.
void Osd_SetTrackName(const char* pszPath);
// The stored track name.
const char* Osd_GetTrackName(void);
// Loads the display of the stage (the start-light textures among it); FALSE when one is missing.
BOOL Osd_Load(void);
// Resets the per-stage state of the display and of the cat's-eye checkpoints.
void Osd_ResetState(void);
// Per view and frame: prepares the values shown, then draws the view.
void Osd_PrepareView(int nPlayer);
void Osd_DrawPlayerView(int nPlayer);
// Per view and frame once the player has finished: the finish display and the end of the race.
void Osd_DrawFinish(int nPlayer);
// Draws debug line nLine (0 or 1).
void Osd_DrawDebugText(int nLine);
// Clears a pace-note icon of a player's view.
void Osd_ClearMessageSlot(int nIcon, int nPlayer);
// Sets the player's nearest cat's eye (gaNearestCheckpoint) from the car's position.
void Osd_FindNearestCheckpoint(int nCar);
