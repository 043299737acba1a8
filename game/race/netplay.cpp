#include "game/race/netplay.h"

#include "game/race/gamedata.h"

BOOL gboNetworkGame = FALSE;
NetPlayer gaNetPlayer[NETPLAY_PLAYERS];

namespace
{
int gnLocalTimesCalls = 0;
int16_t ganLastLocalTimes[3] = {};
int gnLoadRemoteCarsCalls = 0;
} // namespace

void NetPlay_SetLocalTimes(int16_t nAngleX, int16_t nAngleY, int16_t nAngleZ)
{
    ++gnLocalTimesCalls;
    ganLastLocalTimes[0] = nAngleX;
    ganLastLocalTimes[1] = nAngleY;
    ganLastLocalTimes[2] = nAngleZ;
}

void NetPlay_SendCarState(int) {}

void NetPlay_Poll(void) {}

void NetPlay_PredictRemoteCars(void) {}

namespace
{
int gnSendFinishCalls = 0;
BOOL gboAllFinished = TRUE;
} // namespace

void NetPlay_SendFinish(void)
{
    ++gnSendFinishCalls;
}

BOOL NetPlay_HaveAllFinished(void)
{
    return gboAllFinished;
}

int NetPlay_GetSendInterval(void)
{
    const int nRate = GameData_GetByte(GD_CAR_STATE_RATE);
    return 10 - (nRate > 9 ? 9 : nRate);
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
    gnLoadRemoteCarsCalls = 0;
    gnLocalTimesCalls = 0;
    for (int16_t& nAngle : ganLastLocalTimes)
        nAngle = 0;
    gnSendFinishCalls = 0;
    gboAllFinished = TRUE;
}

int NetPlay_GetSendFinishCallsForTests(void)
{
    return gnSendFinishCalls;
}

void NetPlay_SetAllFinishedForTests(BOOL boAllFinished)
{
    gboAllFinished = boAllFinished;
}

int NetPlay_CountPlayers(BOOL boActiveOnly)
{
    if (!gboNetworkGame)
        return 0;
    int nPlayers = 0;
    for (int n = 0; n < GAME_DATA_REMOTE_PLAYERS; ++n)
        if (!boActiveOnly || GameData_IsRemotePlayerActive(n))
            ++nPlayers;
    return nPlayers;
}

void NetPlay_ActivateJoinedPlayers(void) {}

BOOL NetPlay_LoadRemoteCars(void)
{
    ++gnLoadRemoteCarsCalls;
    return TRUE;
}

int NetPlay_GetLoadRemoteCarsCallsForTests(void)
{
    return gnLoadRemoteCarsCalls;
}

void NetPlay_InitGame(void) {}

void NetPlay_ResetRemoteHistory(void) {}

BOOL NetPlay_IsStartReceived(void)
{
    return TRUE;
}

BOOL NetPlay_IsReady(void)
{
    return FALSE;
}

void NetPlay_SendReady(void) {}

void NetPlay_SetReadyToRace(void) {}

void NetPlay_DrawDebugLines(int) {}

void NetPlay_DrawNameTags(int) {}

void NetPlay_DrawStatistics(void) {}
