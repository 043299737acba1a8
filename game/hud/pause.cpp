#include "game/hud/pause.h"

namespace
{
int gnRequests = 0;
int gnLastPlayer = -1;
int gnResets = 0;
} // namespace

void DoPauseMode(int nPlayer)
{
    ++gnRequests;
    gnLastPlayer = nPlayer;
}

void PauseMenu_Reset(void)
{
    ++gnResets;
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
    gnRequests = gnResets = 0;
    gnLastPlayer = -1;
}

BOOL PauseMenu_Start(void)
{
    return FALSE;
}

void PauseMenu_HandleInput(void) {}

void PauseMenu_Draw(void) {}

void PauseMenu_Leave(void) {}

BOOL PauseMenu_TakeEnteredFlag(void)
{
    return FALSE;
}

BOOL PauseMenu_TakeResumedFlag(void)
{
    return FALSE;
}

BOOL PauseMenu_TakeResumedFlagB(void)
{
    return FALSE;
}

BOOL PauseMenu_GetQuitChoice(void)
{
    return FALSE;
}

BOOL PauseMenu_GetModeChoice(void)
{
    return FALSE;
}

BOOL PauseMenu_GetSchoolQuitChoice(void)
{
    return FALSE;
}
