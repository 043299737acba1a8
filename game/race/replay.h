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
int Replay_GetLoadCallsForTests(void);
const char* Replay_GetLastLoadPathForTests(void);
