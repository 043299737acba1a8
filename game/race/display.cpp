#include "game/race/display.h"

int32_t DispStateNone(void)
{
    return 0;
}
int32_t DispInitGame(void)
{
    return 0;
}
int32_t DispWelcome(void)
{
    return 0;
}
int32_t DispSetupRepair(void)
{
    return 0;
}
int32_t DispRace(void)
{
    return 0;
}
int32_t DispSchool(void)
{
    return 0;
}
int32_t DispEndStage(void)
{
    return 0;
}
int32_t DispExitPan(void)
{
    return 0;
}
int32_t DispPause(void)
{
    return 0;
}
int32_t DispLeaveGame(void)
{
    return 0;
}
