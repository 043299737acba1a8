#include "platform/ddraw/ddraw.h"
