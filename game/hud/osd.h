// The on-screen display. So far the track name, the start lights' textures, the end of the race
// the finish display decides, and the split markers the split-time display sets, recorded.
#pragma once

#include <atomic>

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
// (in a network game once every player has finished). The race state reads it as the stage's end,
// on the timer thread.
extern std::atomic<BOOL> gboRaceFinished;

struct DK_TEXTURE;
// The start lights the start sequence draws ("images\cntdown2.bmp", "images\go!.bmp" from the
// game root); NULL when missing.
extern DK_TEXTURE* gpOsdCountdownTexture;
extern DK_TEXTURE* gpOsdGoTexture;

// Stores the file-name part of the stage path (after its last backslash), upper-cased, as the
// track name the display shows; "NO TRACK" for an empty path.
void Osd_SetTrackName(const char* pszPath);
const char* Osd_GetTrackName(void);
// Loads the display of the stage after a reset of its state: so far the start lights' textures.
// FALSE when one is missing.
BOOL Osd_Load(void);
// The display's per-stage state back to its start: the cat's-eye checkpoints' state, the finish
// flags and the race not finished.
void Osd_ResetState(void);
// Per view and frame: prepares the values shown, then draws the view.
void Osd_PrepareView(int nPlayer);
// The player's instrument panel. Nothing yet.
void Osd_DrawPlayerPanel(int nPlayer);
void Osd_DrawPlayerView(int nPlayer);
// Per view and frame once the player has finished: in a network game the finish message goes
// out once; while the player's after-finish hold runs the finish is shown; once it has run out
// the race is over (gboRaceFinished): at once with one player, in a network game once every
// player has finished, with two players on one screen once both holds have run out. The car's
// engine sound is lowered once.
void Osd_DrawFinish(int nPlayer);
// Whether the finish has been shown in the player's view this stage.
BOOL Osd_IsFinishShown(int nPlayer);
// Draws debug line nLine (0 or 1).
void Osd_DrawDebugText(int nLine);
// Clears a pace-note icon of a player's view.
void Osd_ClearMessageSlot(int nIcon, int nPlayer);
// Sets the player's nearest cat's eye (gaNearestCheckpoint) from the car's position.
void Osd_FindNearestCheckpoint(int nCar);
// Remote slot nSlot's place (1..8) in the network race's order table, 0 when it has none. No
// order table yet: 0, or what a test set.
int Osd_GetNetworkPlace(int nSlot);
void Osd_SetNetworkPlaceForTests(int nSlot, int nPlace);
