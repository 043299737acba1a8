#include "engine/include/dk_types.h"
#include "dk_heap.h"
#include "engine/pc/core/dk_debug.h"
