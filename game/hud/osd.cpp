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

BOOL gboRaceFinished = FALSE;

void Osd_SetTrackName(const char*) {}

const char* Osd_GetTrackName(void)
{
    return "";
}

BOOL Osd_Load(void)
{
    return FALSE;
}

void Osd_ResetState(void) {}

void Osd_PrepareView(int) {}

void Osd_DrawPlayerView(int) {}

void Osd_DrawFinish(int) {}

void Osd_DrawDebugText(int) {}

void Osd_ClearMessageSlot(int, int) {}

void Osd_FindNearestCheckpoint(int) {}
