#include "../../platform/win/win.h"
#include "frontend/frontend.h"
