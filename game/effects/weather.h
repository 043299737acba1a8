// Weather particles and fog. So far only the wet-stage question the car set-up asks.
#pragma once

#include "engine/include/dk_types.h"

BOOL Weather_IsWetStage(void);

// Test hook: what the next calls answer (FALSE until set).
void Weather_SetWetForTests(BOOL boWet);
