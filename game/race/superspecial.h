// The super special stage: two cars side by side on separate lanes. So far only the test the
// car set-up makes.
#pragma once

#include "engine/include/dk_types.h"

BOOL IsSuperSpecialStage(void);

// Test hook: what the next calls answer (FALSE until set).
void SuperSpecial_SetForTests(BOOL boSuperSpecial);
