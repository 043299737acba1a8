#include "../../platform/win/win.h"
