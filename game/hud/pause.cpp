#include "game/hud/pause.h"

#include <atomic>

#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"
#include "engine/pc/core/main.h"
#include "engine/pc/input/dk_input.h"
#include "game/effects/codriver.h"
#include "game/effects/vrooom.h"
#include "game/effects/wchhhh.h"
#include "game/race/gamedata.h"
#include "game/race/keys.h"
#include "game/vehicle/le_bytes.h"

namespace
{
// The menu's flags: asked for (until the menu is built), entered (until taken), left (two
// copies, each until taken), the three results, and whether the keys act (only after a poll
// with no menu key down, so that a key held into the menu does nothing).
BOOL gboRequested = FALSE;
// Set by the tick, taken by the race frame on the main thread.
std::atomic<BOOL> gboEntered{FALSE};
int gnPausingPlayer = 0;
BOOL gboResumed = FALSE;
BOOL gboResumedB = FALSE;
BOOL gboQuitChosen = FALSE;
BOOL gboSchoolQuitChosen = FALSE;
BOOL gboRestartChosen = FALSE;
BOOL gboInputArmed = FALSE;

int gnRequests = 0;
int gnLastPlayer = -1;
int gnResets = 0;

// Takes a flag: its value, and it is cleared.
BOOL Take(BOOL& boFlag)
{
    const BOOL bo = boFlag;
    boFlag = FALSE;
    return bo;
}

// The first player's menu keys of this poll: the keyboard's, with a controller's new presses.
uint32_t ReadPauseKeys(void)
{
    const uint32_t uController = LeRead16(GameData_GetPlayerInfo(0) + PI_CONTROLLER);
    uint32_t uBits = 0;
    if (uController < DK_MAX_CONTROLLERS)
    {
        const DK_CONTROLLER* pController = DkGetController(static_cast<int>(uController));
        if (pController->nType != DKCT_KEYBOARD)
            uBits = pController->uPressed;
    }
    return ReadMenuKeys(uBits);
}
} // namespace

void DoPauseMode(int nPlayer)
{
    ++gnRequests;
    gnLastPlayer = nPlayer;
    gboRequested = TRUE;
    gboEntered = TRUE;
    gnPausingPlayer = nPlayer;
    gboResumed = gboResumedB = FALSE;
    DkLog("In DoPauseMode...");
}

BOOL PauseMenu_Start(void)
{
    if (!gboRequested && !gboFocusLostInGame)
        return FALSE;
    CarSound_SetLevel(0, 0);
    if (IsTwoPlayerGame())
        CarSound_SetLevel(0, 1);
    SurfaceNoise_StopAll();
    CoDriver_Mute();
    gboInputArmed = FALSE;
    gboRequested = FALSE;
    return TRUE;
}

void PauseMenu_HandleInput(void)
{
    const uint32_t uKeys = ReadPauseKeys();
    if ((uKeys & MENU_KEY_BACK) && gboInputArmed)
        PauseMenu_Leave();
    else if (uKeys == 0)
        gboInputArmed = TRUE;
}

void PauseMenu_Draw(void) {}

void PauseMenu_Leave(void)
{
    gboFocusLostInGame = FALSE;
    gboResumed = gboResumedB = TRUE;
    gboInputArmed = FALSE;
}

BOOL PauseMenu_TakeEnteredFlag(void)
{
    return gboEntered.exchange(FALSE);
}

BOOL PauseMenu_TakeResumedFlag(void)
{
    if (gboResumed)
        CoDriver_Unmute();
    return Take(gboResumed);
}

BOOL PauseMenu_TakeResumedFlagB(void)
{
    return Take(gboResumedB);
}

BOOL PauseMenu_GetQuitChoice(void)
{
    return gboQuitChosen;
}

BOOL PauseMenu_GetModeChoice(void)
{
    return gboRestartChosen;
}

BOOL PauseMenu_GetSchoolQuitChoice(void)
{
    return gboSchoolQuitChosen;
}

void PauseMenu_Reset(void)
{
    ++gnResets;
    gboRequested = FALSE;
    gboEntered = FALSE;
    gnPausingPlayer = 0;
    gboResumed = gboResumedB = FALSE;
    gboQuitChosen = gboSchoolQuitChosen = gboRestartChosen = FALSE;
    gboInputArmed = FALSE;
}

int PauseMenu_GetRequestsForTests(void)
{
    return gnRequests;
}

int PauseMenu_GetLastPlayerForTests(void)
{
    return gnLastPlayer;
}

int PauseMenu_GetResetsForTests(void)
{
    return gnResets;
}

void PauseMenu_ResetForTests(void)
{
    PauseMenu_Reset();
    gnRequests = gnResets = 0;
    gnLastPlayer = -1;
}

void PauseMenu_SetChoicesForTests(BOOL boQuit, BOOL boRestart, BOOL boSchoolQuit)
{
    gboQuitChosen = boQuit;
    gboRestartChosen = boRestart;
    gboSchoolQuitChosen = boSchoolQuit;
}
