#include "game/hud/podium.h"

namespace
{
BOOL gboReplayDone = FALSE;
} // namespace

BOOL Podium_IsReplayDone(void)
{
    return gboReplayDone;
}

void Podium_SetReplayDoneForTests(BOOL boDone)
{
    gboReplayDone = boDone;
}

void Podium_Init(void) {}

void Podium_Draw(void) {}

void Podium_LoadReplays(void) {}

void Podium_FindCarNodes(void) {}
