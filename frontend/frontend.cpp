#include "frontend/frontend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_entries.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/core/cmd_line.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/input/dk_input.h"
#include "frontend/game_data.h"
#include "frontend/netlobby.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"

namespace
{
// The byte of the game data whose bits 2-4 hold the game type.
constexpr int kGameTypeByte = 358;
// The stage mode (bits 0-1 of the game-type byte) of a game of one stage.
constexpr uint8_t kSingleStageMode = 3;
constexpr uint8_t kMiddleObjectDetail = 2;

constexpr int kVkReturn = 0x0D;

int gnFrontendCommandLineParams = 0;
GameData gGameData;
BOOL gboFrontendDisplayUp = FALSE;
DK_PALETTE_ENTRY gaFrontendPalette[256];
// The next game pass is the first after leaving the test card: the shutdown is still to do.
BOOL gboFirstGamePass = TRUE;
BOOL gboReturnedFromGame = FALSE;
// DEZOR_GAME_DATA is read on the first pass; with it the first game starts at once.
BOOL gboGameDataHookRead = FALSE;
BOOL gboStartAtOnce = FALSE;
// DEZOR_NET: the lobby's stand-in runs its exchange each pass until the game starts.
BOOL gboInNetLobby = FALSE;
// Return starts a game when it goes down, not while it is held from before.
BOOL gboReturnWasHeld = TRUE;
// Escape that left a game does not also quit at the test card: it must come up first.
BOOL gboEscapeFromGame = FALSE;

// The default keyboard controls of the two local players, by function bit: the eight controls
// of the player record, then Escape.
struct DefaultKey
{
    uint32_t uFunction;
    int anKey[2];
};
constexpr DefaultKey kDefaultKeys[9] = {
    {0x1, {37, 65}},   {0x2, {39, 83}},  {0x4, {38, 82}},   {0x8, {40, 68}},   {0x100, {100, 84}},
    {0x200, {104, 9}}, {0x80, {98, 81}}, {0x40, {102, 92}}, {0x400, {27, 27}},
};
constexpr int kPlayerControls = 8;

void PutLittleEndian(uint8_t* p, uint32_t uValue, int nBytes)
{
    for (int i = 0; i < nBytes; ++i)
        p[i] = static_cast<uint8_t>(uValue >> (8 * i));
}

// Both local players on their own keyboard controller with the default keys, in the engine's
// keyboard tables and in their records.
void SetDefaultControls()
{
    for (int p = 0; p < GAME_DATA_LOCAL_PLAYERS; ++p)
    {
        uint8_t* pPlayer = gGameData.raw + GD_LOCAL_PLAYERS + p * GAME_DATA_PLAYER_SIZE;
        PutLittleEndian(pPlayer + PI_CONTROLLER, static_cast<uint32_t>(p), 2);
        PutLittleEndian(pPlayer + PI_CONTROLLER_TYPE, 1, 4);
        for (int k = 0; k < kPlayerControls; ++k)
        {
            PutLittleEndian(pPlayer + PI_FUNCTION_BITS + 2 * k, kDefaultKeys[k].uFunction, 2);
            PutLittleEndian(pPlayer + PI_KEYS + 4 * k,
                            static_cast<uint32_t>(kDefaultKeys[k].anKey[p]), 4);
        }
        for (const DefaultKey& key : kDefaultKeys)
            DkRedefineKeyboardKey(p, key.uFunction, key.anKey[p]);
    }
}

// Leaves the test card for a game: the controllers found, the players given their controls,
// and the game takes the next pass.
void StartGame()
{
    Frontend_SetUpControllers();
    gboFrontendActive = 0;
    gboGoIntoGame = 1;
}

// The two data roots from the registry: the disc's front-end folder and the installation on
// the hard disk (where the game also finds its cars and the clock's fonts).
void Startup_SetPaths()
{
    const char* pszCd = DkRegGetString("CDPath");
    if (pszCd != nullptr && pszCd[0] != '\0')
        DkSetCDPath((std::string(pszCd) + "\\new_fe").c_str());
    else
    {
        DkSetCDPath("q:\\new_fe");
        DkLog(DkFormatString("\nNO REGISTRY ENTRY : CD path is %s\n", DkGetCDPath()));
    }
    DkLog(DkFormatString("Using '%s' as a CD path\n", DkGetCDPath()));
    const char* pszHd = DkRegGetString("HDPath");
    if (pszHd != nullptr && pszHd[0] != '\0')
        DkSetHardDrivePath(pszHd);
    else
    {
        DkSetHardDrivePath("c:\\velmorra\\divevov");
        DkLog(DkFormatString("\nNO REGISTRY ENTRY : HD path is %s\n", DkGetHardDrivePath()));
    }
    DkLog(DkFormatString("Using '%s' as a HD path\n", DkGetHardDrivePath()));
}

// The front end's teardown before a game: its display and everything on the heaps.
void Frontend_Shutdown()
{
    DkDumpDestructors();
    DkResetAllHeaps();
    gboFrontendDisplayUp = FALSE;
    gboFirstGamePass = FALSE;
}

// The game's passes, until it returns to the test card.
void GamePass()
{
    if (gboFirstGamePass)
    {
        Frontend_Shutdown();
        DkLog("\n\n***************************");
        DkLog("*** GOING INTO THE GAME ***");
        DkLog("***************************\n\n");
    }
    GameHandler_Frame();
    if (!gboGoIntoGame)
    {
        // The game leaves its stage to the heaps' reset of its last frame; when that frame
        // never came (the timer ran on into the idle state first), the stage's display, sound
        // and heaps are let go here, before the front end sets its own up again.
        if (d2d != nullptr && d2d->PrimarySurface.lpSurface != nullptr)
            DkResetAllHeaps();
        gboFrontendNeedsInit = 1;
        gboReturnedFromGame = TRUE;
        gboEscapeFromGame = TRUE;
        gboFirstGamePass = TRUE;
    }
}

// Until the menus exist, the front end shows a test card: colour bars of the 5:6:5 display
// and the program's name.
void DrawTestCard()
{
    DK_SURFACE_LOCK lock;
    if (DkLockSurface(&d2d->BackSurface, &lock) == nullptr)
        return;
    static const uint16_t kBars[8] = {0xFFFF, 0xFFE0, 0x07FF, 0x07E0,
                                      0xF81F, 0xF800, 0x001F, 0x0000};
    for (int32_t y = 0; y < lock.nHeight; ++y)
    {
        uint16_t* row =
            reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(lock.pPixels) + y * lock.nPitch);
        for (int32_t x = 0; x < lock.nWidth; ++x)
            row[x] = y < lock.nHeight * 2 / 3
                         ? kBars[x * 8 / lock.nWidth]
                         : static_cast<uint16_t>((x * 32 / lock.nWidth) * 0x0841);
    }
    DkUnlockSurface(&d2d->BackSurface);
    DkDebugTextLarge("Dravik Dezor", d2d->nWidth / 16, d2d->nHeight * 3 / 4, 0x00FFFFFF);
}
BOOL IsRallySchool(void)
{
    return gboRallySchool != 0 ? TRUE : FALSE;
}
} // namespace

GameData* gpGame_Data = &gGameData;
int32_t gboRallySchool = 0;

int Frontend_Update(void)
{
    if (!gboGameDataHookRead)
    {
        gboGameDataHookRead = TRUE;
        // Until the menus choose a championship, a game is the one stage of the stage
        // selection (stage mode 3: no stage follows it) and hands back to the test card.
        gGameData.raw[kGameTypeByte] = kSingleStageMode;
        // The graphics options' middle object detail: the stage's own clip and horizon
        // distances.
        gGameData.raw[GD_OBJECT_PRIORITY] = kMiddleObjectDetail;
        const char* pszHook = std::getenv("DEZOR_GAME_DATA");
        if (pszHook != nullptr)
        {
            Frontend_ApplyGameDataHook(pszHook);
            gboStartAtOnce = TRUE;
        }
        // Before the display: the link it opens must outlive the display's teardown.
        const NetLobbyStatus net = NetLobby_Begin();
        if (net == NETLOBBY_FAILED)
        {
            DkRequestQuitWithFailure();
            return 0;
        }
        if (net == NETLOBBY_WAITING)
        {
            gboInNetLobby = TRUE;
            gboStartAtOnce = FALSE;
        }
    }
    if (!gboFrontendActive)
    {
        if (gboGoIntoGame)
            GamePass();
        else
            DkTryBoolFailed("ERROR : The game state 0 is not valid", __LINE__, __FILE__);
        // A test's input script still ends the program in a game.
        if (DkInputScriptEnded())
            DkRequestQuit();
        return 0;
    }
    if (!gboFrontendDisplayUp || gboFrontendNeedsInit)
    {
        Startup_SetPaths();
        DkSetActivateDispatch(FALSE);
        DkInitialiseDisplay(gaFrontendPalette, 2, "", DKID_16BIT, DKLF_AS_GIVEN);
        DkInit3D();
        DkSetActivateDispatch(TRUE);
        gboFrontendDisplayUp = TRUE;
        gboFrontendNeedsInit = 0;
    }
    DrawTestCard();
    DkWaitAndFlip();
    const BOOL boReturnHeld = DkIsKeyHeld(kVkReturn);
    const BOOL boReturnPressed = boReturnHeld && !gboReturnWasHeld;
    gboReturnWasHeld = boReturnHeld;
    if (gboInNetLobby)
    {
        const NetLobbyStatus net = NetLobby_Update();
        if (net == NETLOBBY_FAILED)
            DkRequestQuitWithFailure();
        else if (net == NETLOBBY_START)
        {
            gboInNetLobby = FALSE;
            StartGame();
        }
        return 0;
    }
    if (gboStartAtOnce || boReturnPressed)
    {
        gboStartAtOnce = FALSE;
        StartGame();
        return 0;
    }
    // The player leaves with Escape (a test, when its input script ends).
    const BOOL boEscapeHeld = DkIsKeyHeld(DK_VK_ESCAPE);
    if (!boEscapeHeld)
        gboEscapeFromGame = FALSE;
    if ((boEscapeHeld && !gboEscapeFromGame) || DkInputScriptEnded())
        DkRequestQuit();
    return 0;
}

void Frontend_SetUpControllers(void)
{
    DkSearchForControllers(2);
    SetDefaultControls();
}

int Frontend_ApplyGameDataHook(const char* pszEntries)
{
    int nApplied = 0;
    const char* p = pszEntries;
    while (*p != '\0')
    {
        const char* pEnd = std::strchr(p, ',');
        const size_t uLength = pEnd != nullptr ? static_cast<size_t>(pEnd - p) : std::strlen(p);
        char szEntry[64] = {};
        bool boGood = uLength > 0 && uLength < sizeof(szEntry);
        long nOffset = -1, nValue = -1;
        if (boGood)
        {
            std::memcpy(szEntry, p, uLength);
            char* pAfter = nullptr;
            nOffset = std::strtol(szEntry, &pAfter, 0);
            boGood = pAfter != szEntry && *pAfter == '=';
            if (boGood)
            {
                const char* pValue = pAfter + 1;
                nValue = std::strtol(pValue, &pAfter, 0);
                boGood = pAfter != pValue && *pAfter == '\0';
            }
        }
        if (boGood && nOffset >= 0 && nOffset < DK_GAME_DATA_SIZE && nValue >= 0 && nValue <= 255)
        {
            gGameData.raw[nOffset] = static_cast<uint8_t>(nValue);
            ++nApplied;
        }
        else
        {
            std::fprintf(stderr,
                         "DEZOR_GAME_DATA: \"%.*s\" is not offset=value (offset 0 to %d, value 0 "
                         "to 255); left out\n",
                         static_cast<int>(uLength), p, DK_GAME_DATA_SIZE - 1);
        }
        if (pEnd == nullptr)
            break;
        p = pEnd + 1;
    }
    return nApplied;
}

void DkSetGameOptionBits(BOOL, BOOL, BOOL, int)
{
    // Until the front end keeps its own record, the game data's option bits stay as they are.
}

void Frontend_LogCommandLine(char* lpCmdLine)
{
    gnFrontendCommandLineParams = DkParseCommandLine(lpCmdLine);
    DkLog(DkFormatString("Found %d Command Line parameters\n", gnFrontendCommandLineParams));
}

int Frontend_GetGameType(void)
{
    return (gpGame_Data->raw[kGameTypeByte] >> 2) & 7;
}

int Frontend_GetGameTypeByte(void)
{
    return gpGame_Data->raw[kGameTypeByte];
}

static_assert(sizeof(GameData) == DK_GAME_DATA_SIZE, "the game reads the whole record");

const uint8_t* Frontend_GetGameData(void)
{
    return gpGame_Data->raw;
}

uint8_t* Frontend_GetWritableGameData(void)
{
    return gpGame_Data->raw;
}

void Frontend_RegisterEntries(void)
{
    DK_ENTRIES entries{};
    entries.Frontend_Update = Frontend_Update;
    entries.Frontend_LogCommandLine = Frontend_LogCommandLine;
    entries.GetGameType = Frontend_GetGameType;
    entries.GetGameTypeByte = Frontend_GetGameTypeByte;
    entries.GetGameData = Frontend_GetGameData;
    entries.GetWritableGameData = Frontend_GetWritableGameData;
    entries.IsRallySchool = IsRallySchool;
    entries.SetGameOptionBits = DkSetGameOptionBits;
    DkRegisterEntries(&entries);
}
