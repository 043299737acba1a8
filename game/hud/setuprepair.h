// The set-up and repair screen between stages.
#pragma once

#include "engine/include/dk_types.h"

// TRUE when the service screen is shown before the coming stage.
BOOL SetupRepair_IsAvailable(void);
// One tick of the service screen; TRUE when it is over.
BOOL SetupRepair_Handler(void);
// Draws the service screen.
void SetupRepair_Update(void);
