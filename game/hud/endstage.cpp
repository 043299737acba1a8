#include "game/hud/endstage.h"

void EndStage_Update(void) {}

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

void EndStage_SetTableScroll(int16_t) {}

void EndStage_InterpolateTableScroll(int32_t) {}

int16_t EndStage_GetDrawnTableScroll(void)
{
    return 0;
}

void EndStage_LoadLogos(void) {}

void EndSnd_Load(void) {}
