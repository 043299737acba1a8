#include "platform/win/win.h"
#include "dk_debug.h"
