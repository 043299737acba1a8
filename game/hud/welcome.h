// The welcome screen shown before a rally's first stage and after the podium.
#pragma once

#include "engine/include/dk_types.h"

// TRUE when the welcome screen is shown before the coming stage.
BOOL Welcome_IsShown(void);
// One tick of the welcome screen; TRUE when it is over.
BOOL Welcome_Update(void);
// Draws the welcome screen.
void Welcome_Handler(void);
