#include "wintypes.h"
#include "engine/pc/core/main.h"
