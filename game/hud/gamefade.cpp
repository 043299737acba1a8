#include "game/hud/gamefade.h"

void GameFade_In(int32_t) {}

void GameFade_Out(int32_t) {}

namespace
{
BOOL gboRunningForTests = FALSE;
int32_t gxLevelForTests = 0x10000;
} // namespace

int32_t GameFade_Step(void)
{
    return gboRunningForTests ? gxLevelForTests : 0x10000;
}

BOOL GameFade_IsDone(void)
{
    return gboRunningForTests ? FALSE : TRUE;
}

void GameFade_SetForTests(BOOL boRunning, int32_t xLevel)
{
    gboRunningForTests = boRunning;
    gxLevelForTests = xLevel;
}
