#include <FL/Fl.H>
#include "platform/fs/fs.h"
#include <engine/pc/core/dk_file.h>
#include "gamever.h"
