#include "platform/win/wintypes.h"
