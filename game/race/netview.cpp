// Network play's display side: the remote cars' models, their name tags and fades, the debug
// displays and spectating after the finish.
//
// Remote slot s is shown through loaded car k = s + 1: its root actor (gaLoadedCar[k].paBodyDummy)
// and its four wheels (gaCarWheelActors[k]); the frame's blend places them (interp.cpp).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_model.h"
#include "engine/common/dk_text.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_line.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_font.h"
#include "engine/pc/input/dk_input.h"
#include "game/effects/effects.h"
#include "game/hud/osd.h"
#include "game/race/cameras.h"
#include "game/race/display.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/interp.h"
#include "game/race/loading.h"
#include "game/race/netplay.h"
#include "game/race/netreplay.h"
#include "game/race/splttime.h"
#include "game/race/stageinfo.h"
#include "game/race/startup.h"
#include "game/race/superspecial.h"
#include "game/race/trackcam.h"

namespace
{
constexpr int kVkF10 = 0x79;
// Ticks from the start until the remote cars begin to fade in, and the fade's length.
constexpr int kFadeDelay50 = 100;
constexpr int kFadeDelay25 = 50;
constexpr int kFadeLength50 = 500;
constexpr int kFadeLength25 = 250;
constexpr int kFullFade = 100;
// Drawn always once faded in; the loader leaves the cars to the track's culling.
constexpr uint8_t kAlwaysDrawn = 255;
constexpr uint8_t kNotAlwaysDrawn = 0;
// A tag stands this far (16.16) above the car's root.
constexpr int32_t kTagHeight = 3 << 15;
constexpr int kNameLength = 12;
constexpr int kInitialsOffset = 12;
constexpr int kInitialsLength = 4;
constexpr int kPausedText = 312;
// The wheels' ids under the car's body, front pair first.
constexpr uint32_t kFirstWheel = 1;
// The debug text's rows, below the overlay's four large lines.
constexpr int kDebugLeft = 10;
constexpr int kDebugTop = 70;
constexpr int kDebugRow = 12;
constexpr uint32_t kDebugColour = 0xFFFFFF;
constexpr uint8_t kReceivedColour[4] = {255, 0, 0, 255};
constexpr uint8_t kPredictedColour[4] = {0, 255, 0, 255};

int gnViewedCar = 0;
BOOL gboF10Held = FALSE;
// -1 until the race has started; then the ticks left before the fade-in.
int gnFadeDelay = -1;
int gnFadeCounter = 0;
int gnFadeLength = kFadeLength50;
int gnModelFade = 0;
// The loaded cars this module filled, one bit a record.
uint32_t guRemoteCarsLoaded = 0;

NetNameTag gaTags[NETPLAY_REMOTE_SLOTS];
int gnTags = 0;
std::vector<std::string> gDebugText;

bool SlotActive(int nSlot)
{
    return GameData_IsRemotePlayerActive(nSlot) != FALSE;
}

// nLength bytes of the slot's record from nOffset, terminated within the field.
void RecordText(int nSlot, int nOffset, int nLength, char* pszOut)
{
    std::memcpy(pszOut, GameData_GetRemotePlayer(nSlot) + nOffset, nLength);
    pszOut[nLength] = '\0';
}

// Every actor of the subtree from pActor (its peers after it included when boPeers).
template <typename F> void ForEachActor(DK_ACTOR* pActor, bool boPeers, const F& fn)
{
    for (; pActor != nullptr; pActor = boPeers ? pActor->pNext : nullptr)
    {
        fn(pActor);
        ForEachActor(pActor->pChild, true, fn);
    }
}

DK_ACTOR* RemoteRoot(int nSlot)
{
    return (guRemoteCarsLoaded >> (nSlot + 1) & 1) != 0 ? gaLoadedCar[nSlot + 1].paBodyDummy
                                                        : nullptr;
}

void SetDrawValue(int nSlot, uint8_t uValue)
{
    ForEachActor(RemoteRoot(nSlot), false,
                 [uValue](DK_ACTOR* pActor) { pActor->uAlwaysDraw = uValue; });
}

void SetCarFade(int nSlot, int nFade)
{
    const int nAlpha = nFade * 255 / kFullFade;
    ForEachActor(RemoteRoot(nSlot), false,
                 [nAlpha](DK_ACTOR* pActor)
                 {
                     if (pActor->uType == DK_ACTOR_MODEL && pActor->pObject != nullptr)
                         DkSetModelAlpha(static_cast<DK_MODEL*>(pActor->pObject), nAlpha);
                 });
}

void ForgetRemoteCar(int k)
{
    if ((guRemoteCarsLoaded >> k & 1) == 0)
        return;
    gaLoadedCar[k] = LoadedCar{};
    for (DK_ACTOR*& pWheel : gaCarWheelActors[k])
        pWheel = nullptr;
    guRemoteCarsLoaded &= ~(1u << k);
}

// The models go with the stage's heaps and actors: no record may point at them afterwards.
BOOL RemoteCarsDestructor(void)
{
    for (int k = 1; k <= NETPLAY_REMOTE_SLOTS; ++k)
        ForgetRemoteCar(k);
    return TRUE;
}

void ResetView()
{
    gnViewedCar = 0;
    gboF10Held = FALSE;
    gnFadeDelay = -1;
    gnFadeCounter = 0;
    gnModelFade = 0;
    gnTags = 0;
}

} // namespace

void NetPlay_StepNameTagFade(void)
{
    if (!gboNetworkGame || !NetPlay_IsStartReceived())
        return;
    if (gnFadeDelay < 0)
    {
        gnFadeDelay = gbo50HzMode ? kFadeDelay50 : kFadeDelay25;
        gnFadeLength = gbo50HzMode ? kFadeLength50 : kFadeLength25;
    }
    if (gnFadeDelay > 0)
    {
        if (--gnFadeDelay > 0)
            return;
        for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
            SetDrawValue(s, kAlwaysDrawn);
        gnFadeCounter = gnFadeLength;
        NetPlay_SetModelFade(0);
        return;
    }
    if (gnFadeCounter <= 0)
        return;
    --gnFadeCounter;
    NetPlay_SetModelFade(kFullFade - gnFadeCounter * kFullFade / gnFadeLength);
}

namespace
{
int64_t SquareRoot(uint64_t u)
{
    uint64_t r = 0;
    for (uint64_t bit = uint64_t{1} << 62; bit != 0; bit >>= 2)
        if (u >= r + bit)
        {
            u -= r + bit;
            r = (r >> 1) + bit;
        }
        else
            r >>= 1;
    return static_cast<int64_t>(r);
}

// The distance between two world positions, 16.16.
int64_t Distance(const DK_MATRIX& a, const DK_MATRIX& b)
{
    uint64_t uSquared = 0;
    for (int i = 0; i < 3; ++i)
    {
        const int64_t d = int64_t{a.m[3][i]} - b.m[3][i];
        uSquared += static_cast<uint64_t>(d * d);
    }
    return SquareRoot(uSquared);
}

void Print(int32_t xX, int32_t xY, const char* pszText, const uint8_t* pColour)
{
    if (gpResultFont != nullptr && pszText[0] != '\0')
        DkPrintTextScaled(xX, xY, pszText, gpResultFont, &d2d->BackSurface, pColour,
                          DKJ_CENTRE | DKJ_BOTTOM);
}

void DebugLine(const std::string& line)
{
    DkDebugText(line.c_str(), kDebugLeft,
                kDebugTop + kDebugRow * static_cast<int>(gDebugText.size()), kDebugColour);
    gDebugText.push_back(line);
}
} // namespace

// ---- The remote cars' models ----

BOOL NetPlay_LoadRemoteCars(void)
{
    ResetView();
    if (IsSuperSpecialStage())
        gboDoInterior = FALSE;
    if (!DkIsDestructorAdded(RemoteCarsDestructor))
        DkAddDestructor(RemoteCarsDestructor, "Remote Cars Destructor");
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
        if (SlotActive(s))
            NetPlay_LoadRemoteCarModel(s);
    return TRUE;
}

BOOL NetPlay_LoadRemoteCarModel(int nSlot)
{
    if (nSlot < 0 || nSlot >= NETPLAY_REMOTE_SLOTS)
        return FALSE;
    const int k = nSlot + 1;
    ForgetRemoteCar(k);
    if (!SlotActive(nSlot))
        return TRUE;
    const int nCarType = GameData_GetRemotePlayer(nSlot)[PI_CAR_TYPE] & 0x0F;
    char szFolder[STAGE_PATH_LENGTH];
    char szStem[STAGE_PATH_LENGTH];
    BuildCarTypePath(nCarType, szFolder, szStem);
    char szPath[2 * STAGE_PATH_LENGTH + 8];
    std::snprintf(szPath, sizeof szPath, "%s\\%smed.C3D", szFolder, szStem);

    DK_ACTOR* pRoot = DkCreateActor(DkGetWorldActor());
    if (pRoot == nullptr)
    {
        DKREPORT(DkFormatString("No actor for remote player %d's car", nSlot));
        return FALSE;
    }
    DK_ACTOR* pBody = Startup_LoadCarFile(szPath, DK3D_MEDIUM_CAR, pRoot);
    if (pBody == nullptr)
    {
        DKREPORT(DkFormatString("Remote player %d's car file %s is missing or holds no car", nSlot,
                                szPath));
        DkDestroyActor(pRoot);
        return FALSE;
    }

    LoadedCar& loaded = gaLoadedCar[k];
    loaded.nCarType = static_cast<int8_t>(nCarType);
    loaded.paBodyDummy = pRoot;
    loaded.paCar = pBody;
    loaded.xHalfWheelRadius = Startup_GetHalfWheelRadius(pBody);
    for (uint32_t w = 0; w < SNAP_WHEELS; ++w)
        gaCarWheelActors[k][w] = DkFindActorById(pBody->pChild, kFirstWheel + w);
    guRemoteCarsLoaded |= 1u << k;

    // Hidden until the race has started and the fade-in begins.
    SetDrawValue(nSlot, kNotAlwaysDrawn);
    SetCarFade(nSlot, 0);
    DK_VECTOR at;
    int16_t anAngles[3];
    TrackCam_GetStartPosition(0, &at, anAngles);
    DkSetActor(pRoot, &at, anAngles);
    return TRUE;
}

// ---- Name tags and fades ----

void NetPlay_SetModelFade(int nFade)
{
    gnModelFade = std::clamp(nFade, 0, kFullFade);
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
        SetCarFade(s, gnModelFade);
}

int NetPlay_GetModelFade(void)
{
    return gnModelFade;
}

void NetPlay_DrawNameTags(int nPlayer)
{
    gnTags = 0;
    if (!gboNetworkGame || !NetPlay_IsStartReceived())
        return;
    if (nPlayer < 0 || nPlayer >= DK_PLAYER_CAMERAS || nPlayer >= CAMERA_PLAYERS)
        return;
    const DK_ACTOR* pCamera = gapPlayerCamera[nPlayer];
    if (pCamera == nullptr)
        return;
    const int nCameraType = gaPlayerView[nPlayer].nCameraType;
    const bool boNameOnly = nCameraType == CAMERA_TYPE_TV || nCameraType == CAMERA_TYPE_TRACK;
    const int nFadeAlpha = gnModelFade * 255 / kFullFade;
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
    {
        const DK_ACTOR* pRoot = RemoteRoot(s);
        if (pRoot == nullptr || !SlotActive(s))
            continue;
        const DK_VECTOR offset = {0, kTagHeight, 0};
        int32_t axAt[2] = {0, 0};
        if (Effects_ProjectToScreen(pRoot, pCamera, axAt, &offset) <= 0)
            continue;
        const int64_t xDistance = Distance(pRoot->World, pCamera->World);
        if (xDistance >= NETPLAY_TAG_DISTANCE)
            continue;
        const int nAlpha =
            std::min(255 - static_cast<int>(xDistance * 255 / NETPLAY_TAG_DISTANCE), nFadeAlpha);
        if (nAlpha <= 0)
            continue;

        NetNameTag& tag = gaTags[gnTags++];
        tag = NetNameTag{};
        tag.nSlot = s;
        tag.xX = axAt[0];
        tag.xY = axAt[1];
        tag.nAlpha = nAlpha;
        char szName[kNameLength + 1];
        RecordText(s, 0, kNameLength, szName);
        if (gaNetRemoteCar[s].boPaused)
        {
            char szInitials[kInitialsLength + 1];
            RecordText(s, kInitialsOffset, kInitialsLength, szInitials);
            std::snprintf(tag.szUpper, sizeof tag.szUpper, "%s", szInitials);
            std::snprintf(tag.szLower, sizeof tag.szLower, "%s", DkGetText(kPausedText));
        }
        else
        {
            const int nPlace = Osd_GetNetworkPlace(s);
            if (!boNameOnly && nPlace > 0)
                std::snprintf(tag.szUpper, sizeof tag.szUpper, "%d", nPlace);
            std::snprintf(tag.szLower, sizeof tag.szLower, "%s", szName);
        }
        const uint8_t auColour[4] = {255, 255, 255, static_cast<uint8_t>(nAlpha)};
        Print(tag.xX, tag.xY, tag.szLower, auColour);
        if (tag.szUpper[0] != '\0' && gpResultFont != nullptr)
            Print(tag.xX, tag.xY - DkStringHeightScaled(tag.szLower, gpResultFont), tag.szUpper,
                  auColour);
    }
}

// ---- The debug displays ----

void NetPlay_DrawDebugLines(int nPlayer)
{
    if (nPlayer < 0 || nPlayer >= DK_PLAYER_CAMERAS || gapPlayerCamera[nPlayer] == nullptr)
        return;
    DK_VECTOR eye;
    FfMatGetPosition(&eye, &gapPlayerCamera[nPlayer]->World);
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
    {
        if (!SlotActive(s))
            continue;
        const NetRemoteCar& car = gaNetRemoteCar[s];
        DkDrawLine(&eye, &car.ReceivedPosition, kReceivedColour, nullptr);
        DkDrawLine(&eye, &car.PredictedPosition, kPredictedColour, nullptr);
    }
}

void NetPlay_DrawDebugStats(void)
{
    gDebugText.clear();
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
    {
        char szName[kNameLength + 1];
        RecordText(s, 0, kNameLength, szName);
        const NetRemoteCar& car = gaNetRemoteCar[s];
        DebugLine(SlotActive(s) ? DkFormatString("%s missed: %d(%d). received:%d)", szName,
                                                 car.nMissed, car.nMostMissed, car.nReceived)
                                : DkFormatString("%s: DEAD", szName));
    }
    DebugLine(DkFormatString("Local Player   nhead:%d, time: %d", Cameras_GetHeadingFromObject(0),
                             StageTimer_GetHundredths(0)));
}

void NetPlay_DrawReplayDebug(void)
{
    gDebugText.clear();
    DebugLine(DkFormatString("nNetworkReplayCar %d", NetReplay_GetSampleCount()));
}

// ---- Spectating ----

BOOL NetPlay_IsF10Pressed(void)
{
    const BOOL boHeld = DkIsKeyHeld(kVkF10);
    const BOOL boPressed = boHeld && !gboF10Held ? TRUE : FALSE;
    gboF10Held = boHeld;
    return boPressed;
}

void NetPlay_CycleViewedCar(void)
{
    const BOOL boPressed = NetPlay_IsF10Pressed();
    const bool boViewedLeft = gnViewedCar > 0 && !SlotActive(gnViewedCar - 1);
    if (!boPressed && !boViewedLeft)
        return;
    // The next active remote player after the one viewed (car v is slot v - 1, so the search
    // starts at slot v), or the local car past the last.
    int nNext = 0;
    for (int s = gnViewedCar; s < NETPLAY_REMOTE_SLOTS; ++s)
        if (SlotActive(s))
        {
            nNext = s + 1;
            break;
        }
    if (nNext == gnViewedCar)
        return;
    gnViewedCar = nNext;
    Cameras_SetLookBack(TRUE, TRUE, 0, gnViewedCar);
}

int NetPlay_GetViewedCar(void)
{
    return gnViewedCar;
}

// ---- Test hooks ----

void NetPlay_ResetViewForTests(void)
{
    ResetView();
    gDebugText.clear();
}

int NetPlay_GetNameTagsForTests(const NetNameTag** ppTags)
{
    if (ppTags != nullptr)
        *ppTags = gaTags;
    return gnTags;
}

int NetPlay_GetDebugTextCountForTests(void)
{
    return static_cast<int>(gDebugText.size());
}

const char* NetPlay_GetDebugTextForTests(int i)
{
    return i >= 0 && i < static_cast<int>(gDebugText.size())
               ? gDebugText[static_cast<size_t>(i)].c_str()
               : "";
}
