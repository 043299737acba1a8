#include "game/race/replay.h"

void Replay_UpdateAll(void) {}

void Replay_StepAllPlaybacks(void) {}

void Replay_ResetGhostFlags(void)
{
}
