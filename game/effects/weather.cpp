#include "game/effects/weather.h"

namespace
{
BOOL gboWetStage = FALSE;
} // namespace

BOOL Weather_IsWetStage(void)
{
    return gboWetStage;
}

void Weather_SetWetForTests(BOOL boWet)
{
    gboWetStage = boWet;
}
