#include "game/hud/rs_menu.h"

BOOL SchoolMenu_Handler(void)
{
    return FALSE;
}

BOOL SchoolMenu_IsFadeDone(void)
{
    return TRUE;
}

void SchoolMenu_Draw(void) {}

void SchoolMenu_RequestExit(void) {}
