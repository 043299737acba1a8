// Replays: the recorder and player of the tick's controls. So far the tick's two calls, which do
// nothing, and the stage's slots.
#pragma once

// Records or plays each active replay slot for this tick.
void Replay_UpdateAll(void);
// Steps the playback of every recorder slot, then of every loaded slot.
void Replay_StepAllPlaybacks(void);

// Clears the ghost flags at a stage's load; nothing yet.
void Replay_ResetGhostFlags(void);

struct ReplayHeader;

// Recorder and loaded-replay slots.
#define REPLAY_SLOTS 5
extern ReplayHeader* gapLoadedReplays[REPLAY_SLOTS];

// Stage start: registers "Replay destructor", logs the two record sizes and empties both slot
// tables.
void Replay_Init(void);
// A recorder of nScenes scenes of nFrames frames each in the next recorder slot; NULL so far
// (counted).
ReplayHeader* Replay_Create(int nScenes, int nFrames);
// The replay file at the path as given, loaded whole; NULL so far (the path recorded).
ReplayHeader* Replay_LoadFile(const char* pszPath);

// Test hooks: the recorders asked for and the files asked for since the last Replay_Init.
int Replay_GetCreateCallsForTests(void);
// The frames each scene of the last recorder asked for (0 before any).
int Replay_GetLastCreateFramesForTests(void);
int Replay_GetLoadCallsForTests(void);
const char* Replay_GetLastLoadPathForTests(void);

// What the game flow asks of the replays. Seams so far: no player has a recorder, no replay
// plays, the podium has none.
#include <cstdint>

#include "engine/include/dk_types.h"

// The super special stage's computer car replay (NULL: none), and the tick it started at.
extern ReplayHeader* gpreplSuperCPU;
extern uint16_t gnSuperCPUStartFrame;
// Whether the player has a recorder, and starting its recording (FALSE: the stage runs
// without a replay).
BOOL Replay_HasRecorder(int nPlayer);
BOOL Replay_StartRecording(int nPlayer);
// The player's recorded replay, and the podium's three (slot 0 to 2); NULL when there is none.
ReplayHeader* Replay_GetPlayerSlot(int nPlayer);
ReplayHeader* Replay_GetPodiumSlot(int nSlot);
// Plays the replay from scene nScene on the player's car; NULL is ignored.
void Replay_StartPlayback(ReplayHeader* pReplay, int32_t nScene, int nPlayer, int nFlags);
void Replay_StopPlayback(ReplayHeader* pReplay);
// Whether the replay plays, and whether it has played to its end since it started.
BOOL Replay_IsPlaying(const ReplayHeader* pReplay);
BOOL Replay_HasPlayed(const ReplayHeader* pReplay);
// The podium's donut replay once the message roll has finished.
void PlayDonutReplay(void);

// Test hooks: whether the player has a recorder and whether its recording starts; the
// recordings started, playbacks started and stopped since the reset.
void Replay_SetRecorderForTests(int nPlayer, BOOL boHasRecorder, BOOL boStarts);
int Replay_GetRecordingStartsForTests(void);
int Replay_GetPlaybackStartsForTests(void);
int Replay_GetPlaybackStopsForTests(void);
void Replay_ResetFlowForTests(void);
