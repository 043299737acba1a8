#include "game/effects/muddycar.h"

namespace
{
int gnHits = 0;
MuddyCarHit gLastHit{};
int gnStoreCleanCarCalls = 0;
int gnInitialiseCalls = 0;
int gnDetailNodeCalls = 0;
} // namespace

void MuddyCar_CountHit(int nPlayer, int nCorner, int32_t xValue)
{
    ++gnHits;
    gLastHit = {nPlayer, nCorner, xValue};
}

int MuddyCar_GetHitsForTests(void)
{
    return gnHits;
}

MuddyCarHit MuddyCar_GetLastHitForTests(void)
{
    return gLastHit;
}

void MuddyCar_ResetForTests(void)
{
    gnStoreCleanCarCalls = gnInitialiseCalls = gnDetailNodeCalls = 0;
    gnHits = 0;
    gLastHit = MuddyCarHit{};
}

void StoreCleanCar(int)
{
    ++gnStoreCleanCarCalls;
}

void MuddyCar_RestoreCleanCar(int) {}

int MuddyCar_GetStoreCleanCallsForTests(void)
{
    return gnStoreCleanCarCalls;
}

BOOL gboMuddyCarInitialised[MUDDY_CARS] = {};

void InitialiseMuddyCar(int, int nPlayer)
{
    ++gnInitialiseCalls;
    if (nPlayer >= 0 && nPlayer < MUDDY_CARS)
        gboMuddyCarInitialised[nPlayer] = FALSE;
}

void MuddyCar_InitDetailNode(int)
{
    ++gnDetailNodeCalls;
}

int MuddyCar_GetInitialiseCallsForTests(void)
{
    return gnInitialiseCalls;
}

int MuddyCar_GetDetailNodeCallsForTests(void)
{
    return gnDetailNodeCalls;
}
