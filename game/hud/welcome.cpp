#include "game/hud/welcome.h"

BOOL Welcome_IsShown(void)
{
    return FALSE;
}

BOOL Welcome_Update(void)
{
    return TRUE;
}

void Welcome_Handler(void) {}
