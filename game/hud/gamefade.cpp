#include "game/hud/gamefade.h"

void GameFade_In(int32_t) {}

void GameFade_Out(int32_t) {}

int32_t GameFade_Step(void)
{
    return 0x10000;
}

BOOL GameFade_IsDone(void)
{
    return TRUE;
}
