#include "file_io.h"
#include "platform/win/font8x8.h"
#include "engine/pc/display/dk_image.h"
