#include "game/hud/setuprepair.h"

BOOL SetupRepair_IsAvailable(void)
{
    return FALSE;
}

BOOL SetupRepair_Handler(void)
{
    return TRUE;
}

void SetupRepair_Update(void) {}
