// Network play's display side: the remote cars' models, their name tags and fades, the debug
// displays and spectating after the finish.
#include "game/race/netplay.h"

namespace
{
int gnViewedCar = 0;
} // namespace

BOOL NetPlay_LoadRemoteCars(void)
{
    return TRUE;
}

BOOL NetPlay_LoadRemoteCarModel(int)
{
    return TRUE;
}

void NetPlay_DrawNameTags(int) {}

void NetPlay_SetModelFade(int) {}

void NetPlay_DrawDebugLines(int) {}

void NetPlay_DrawDebugStats(void) {}

void NetPlay_DrawReplayDebug(void) {}

void NetPlay_CycleViewedCar(void) {}

BOOL NetPlay_IsF10Pressed(void)
{
    return FALSE;
}

int NetPlay_GetViewedCar(void)
{
    return gnViewedCar;
}
