#include "game/race/netplay.h"

BOOL gboNetworkGame = FALSE;
NetPlayer gaNetPlayer[NETPLAY_PLAYERS];

namespace
{
int gnLocalTimesCalls = 0;
int16_t ganLastLocalTimes[3] = {};
} // namespace

void NetPlay_SetLocalTimes(int16_t nAngleX, int16_t nAngleY, int16_t nAngleZ)
{
    ++gnLocalTimesCalls;
    ganLastLocalTimes[0] = nAngleX;
    ganLastLocalTimes[1] = nAngleY;
    ganLastLocalTimes[2] = nAngleZ;
}

int NetPlay_GetLocalTimesCallsForTests(void)
{
    return gnLocalTimesCalls;
}

void NetPlay_GetLastLocalTimesForTests(int16_t anAngles[3])
{
    for (int k = 0; k < 3; ++k)
        anAngles[k] = ganLastLocalTimes[k];
}

void NetPlay_ResetForTests(void)
{
    gnLocalTimesCalls = 0;
    for (int16_t& nAngle : ganLastLocalTimes)
        nAngle = 0;
}
