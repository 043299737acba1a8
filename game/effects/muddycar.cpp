#include "game/effects/muddycar.h"

namespace
{
int gnHits = 0;
MuddyCarHit gLastHit{};
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
    gnHits = 0;
    gLastHit = MuddyCarHit{};
}
