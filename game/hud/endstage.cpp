#include "game/hud/endstage.h"

#include "game/race/netplay.h"

namespace
{
// The results table's scroll offset at the last two ticks, and the one drawn between them.
int16_t gnScrollPrevious = 0;
int16_t gnScrollCurrent = 0;
int16_t gnScrollDrawn = 0;
} // namespace

void EndStage_Update(void)
{
    // A network game's finished player watches the others race on.
    if (gboNetworkGame)
        NetPlay_CycleViewedCar();
}

int32_t EndStage_IsActive(void)
{
    return 0;
}

int32_t EndStage_GetSelection(void)
{
    return 0;
}

void ResultsScreen_Draw(void) {}

void EndStageQuit(void) {}

void EndStage_ContinueFromNetwork(BOOL) {}

void EndStage_SetTableScroll(int16_t nScroll)
{
    gnScrollPrevious = gnScrollCurrent;
    gnScrollCurrent = nScroll;
}

void EndStage_InterpolateTableScroll(int32_t xFraction)
{
    // In 16.16, so that the half rounds up; 64 bits hold any fraction the display passes.
    const int64_t xOffset = (static_cast<int64_t>(gnScrollPrevious) << 16) +
                            static_cast<int64_t>(xFraction) * (gnScrollCurrent - gnScrollPrevious);
    gnScrollDrawn = static_cast<int16_t>((xOffset + 0x8000) >> 16);
}

int16_t EndStage_GetDrawnTableScroll(void)
{
    return gnScrollDrawn;
}

void EndStage_LoadLogos(void) {}

void EndSnd_Load(void) {}
