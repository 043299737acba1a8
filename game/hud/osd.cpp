#include "game/hud/osd.h"

namespace
{
int gnSplitMarkCalls = 0;
OsdSplitMark gLastSplitMark{-1, FALSE, -1};
} // namespace

void Osd_SetSplitMark(int nSplit, BOOL boBetter, int nPlayer)
{
    ++gnSplitMarkCalls;
    gLastSplitMark = {nSplit, boBetter, nPlayer};
}

int Osd_GetSplitMarkCallsForTests(void)
{
    return gnSplitMarkCalls;
}

OsdSplitMark Osd_GetLastSplitMarkForTests(void)
{
    return gLastSplitMark;
}

void Osd_ResetForTests(void)
{
    gnSplitMarkCalls = 0;
    gLastSplitMark = {-1, FALSE, -1};
}
