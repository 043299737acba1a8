// The rally school's menus, shown in the welcome state while the school runs.
#pragma once

#include "engine/include/dk_types.h"

// One tick of the school menus; TRUE once a lesson has been chosen or the school is left.
BOOL SchoolMenu_Handler(void);
// TRUE when the school menus' fade has run out.
BOOL SchoolMenu_IsFadeDone(void);
// Draws the school menus.
void SchoolMenu_Draw(void);
// Asks the school menus to close.
void SchoolMenu_RequestExit(void);
