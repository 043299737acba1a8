#include "platform/win/win.h"
#include "dk_debug.h"
#include "../../../game/race/gmhndlr.h"
