#include "game/hud/catseye.h"

int32_t gaCatsEyeHead[8];
int32_t gnNumCatsEyes = 0;
