#include "game/hud/osd.h"

#include <cctype>
#include <cstring>

#include "engine/common/dk_heap.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/dk_image.h"
#include "game/effects/vrooom.h"
#include "game/hud/catseye.h"
#include "game/race/display.h"
#include "game/race/gmhndlr.h"
#include "game/race/netplay.h"

std::atomic<BOOL> gboRaceFinished{FALSE};
DK_TEXTURE* gpOsdCountdownTexture = nullptr;
DK_TEXTURE* gpOsdGoTexture = nullptr;

namespace
{
constexpr int kViews = 2;
constexpr const char* kNoTrack = "NO TRACK";

int gnSplitMarkCalls = 0;
OsdSplitMark gLastSplitMark{-1, FALSE, -1};

char gszOsdTrackName[DK_HD_PATH_SIZE] = "NO TRACK";
// Per view, the finish has been shown; per stage, the finish message has gone out and the
// engine sound has been lowered.
BOOL gaboFinishShown[kViews];
BOOL gboFinishMessageSent = FALSE;
BOOL gboEngineLowered = FALSE;
// What a test set as the remote slots' network places.
int ganNetworkPlace[NETPLAY_REMOTE_SLOTS] = {};

DK_TEXTURE* LoadTexture(const char* pszPath)
{
    void* pImage = DkMallocLoadFile(pszPath, DKLF_CD);
    if (pImage == nullptr)
        return nullptr;
    DK_TEXTURE* pTexture = DkImageToTexture(pImage, DkGetLastFileSize(), ITT_BMP);
    DkHeapFree(pImage);
    return pTexture;
}

// Whether the view's player has run out the after-finish hold, as the frame's copy has it (the
// tick counts the hold down).
bool HoldRunOut(int nPlayer)
{
    return gDispFrame.anStartHold[nPlayer] <= 0;
}
} // namespace

void Osd_SetSplitMark(int nSplit, BOOL boBetter, int nPlayer)
{
    ++gnSplitMarkCalls;
    gLastSplitMark = {nSplit, boBetter, nPlayer};
}

void Osd_SetTrackName(const char* pszPath)
{
    if (pszPath == nullptr || pszPath[0] == '\0')
    {
        std::strcpy(gszOsdTrackName, kNoTrack);
        return;
    }
    const char* pszSlash = std::strrchr(pszPath, '\\');
    const char* pszName = pszSlash != nullptr ? pszSlash + 1 : pszPath;
    size_t n = 0;
    for (; pszName[n] != '\0' && n + 1 < sizeof(gszOsdTrackName); ++n)
        gszOsdTrackName[n] =
            static_cast<char>(std::toupper(static_cast<unsigned char>(pszName[n])));
    gszOsdTrackName[n] = '\0';
}

const char* Osd_GetTrackName(void)
{
    return gszOsdTrackName;
}

BOOL Osd_Load(void)
{
    Osd_ResetState();
    gpOsdGoTexture = LoadTexture("images\\go!.bmp");
    gpOsdCountdownTexture = LoadTexture("images\\cntdown2.bmp");
    return gpOsdGoTexture != nullptr && gpOsdCountdownTexture != nullptr ? TRUE : FALSE;
}

void Osd_ResetState(void)
{
    CatsEye_ResetState();
    for (BOOL& bo : gaboFinishShown)
        bo = FALSE;
    gboFinishMessageSent = FALSE;
    gboEngineLowered = FALSE;
    gboRaceFinished = FALSE;
}

void Osd_PrepareView(int) {}

void Osd_DrawPlayerPanel(int) {}

void Osd_DrawPlayerView(int) {}

void Osd_DrawFinish(int nPlayer)
{
    if (nPlayer < 0 || nPlayer >= kViews)
        return;
    if (gboNetworkGame && !gboFinishMessageSent)
    {
        NetPlay_SendFinish();
        gboFinishMessageSent = TRUE;
    }
    if (!HoldRunOut(nPlayer))
    {
        if (!DkEntries().IsRallySchool())
            gaboFinishShown[nPlayer] = TRUE;
    }
    else if (gboNetworkGame)
    {
        if (NetPlay_HaveAllFinished())
            gboRaceFinished = TRUE;
    }
    else if (IsTwoPlayerGame())
    {
        if (HoldRunOut(0) && HoldRunOut(1))
            gboRaceFinished = TRUE;
    }
    else
        gboRaceFinished = TRUE;
    if (!gboEngineLowered)
    {
        CarSound_SetLevel(0, nPlayer);
        gboEngineLowered = TRUE;
    }
}

BOOL Osd_IsFinishShown(int nPlayer)
{
    return nPlayer >= 0 && nPlayer < kViews ? gaboFinishShown[nPlayer] : FALSE;
}

void Osd_DrawDebugText(int) {}

void Osd_ClearMessageSlot(int, int) {}

void Osd_FindNearestCheckpoint(int) {}

int Osd_GetNetworkPlace(int nSlot)
{
    return nSlot >= 0 && nSlot < NETPLAY_REMOTE_SLOTS ? ganNetworkPlace[nSlot] : 0;
}

void Osd_SetNetworkPlaceForTests(int nSlot, int nPlace)
{
    if (nSlot >= 0 && nSlot < NETPLAY_REMOTE_SLOTS)
        ganNetworkPlace[nSlot] = nPlace;
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
