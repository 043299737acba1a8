// #include "platform/win/keys.h"
#include "engine/include/dk_types.h"
#include "platform/win/keys.h"
