#include "game/effects/sky.h"

void Sky_InterpolateLight(int32_t) {}
