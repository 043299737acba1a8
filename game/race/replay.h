// Replays: the recorder and player of the tick's controls. So far the tick's two calls, which do
// nothing.
#pragma once

// Records or plays each active replay slot for this tick.
void Replay_UpdateAll(void);
// Steps the playback of every recorder slot, then of every loaded slot.
void Replay_StepAllPlaybacks(void);

// Clears the ghost flags at a stage's load; nothing yet.
void Replay_ResetGhostFlags(void);
