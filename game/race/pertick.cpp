#include "game/race/pertick.h"

int32_t gaCarTrackSection[PERTICK_CARS];

namespace
{
BOOL gaboViewCopyPending[PERTICK_PLAYERS];
} // namespace

void SetViewCopyPending(int nPlayer)
{
    if (nPlayer >= 0 && nPlayer < PERTICK_PLAYERS)
        gaboViewCopyPending[nPlayer] = TRUE;
}

BOOL PerTick_IsViewCopyPending(int nPlayer)
{
    return nPlayer >= 0 && nPlayer < PERTICK_PLAYERS ? gaboViewCopyPending[nPlayer] : FALSE;
}

void PerTick_ResetForTests(void)
{
    for (BOOL& boPending : gaboViewCopyPending)
        boPending = FALSE;
    for (int32_t& nSection : gaCarTrackSection)
        nSection = 0;
}
