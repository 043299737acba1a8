// The end-of-stage screens: results, standings and the choice of what follows the stage.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// One tick of the end-of-stage screens.
void EndStage_Update(void);
// 1 while the end-of-stage screens run, 0 when they are over.
int32_t EndStage_IsActive(void);
// The entry chosen on the end-of-stage screens.
int32_t EndStage_GetSelection(void);
// Draws the current results screen.
void ResultsScreen_Draw(void);
// Ends the stage for everyone (network message 22).
void EndStageQuit(void);
// The host's settings for the next stage have arrived in a network game: the end-of-stage
// screens go on to it (boRallyOver: the stage ended a rally game's rally). Nothing yet.
void EndStage_ContinueFromNetwork(BOOL boRallyOver);

// The results table's scroll offset of the last two ticks, and the one drawn: SetTableScroll
// moves the current offset into the previous one and takes a new current one.
void EndStage_SetTableScroll(int16_t nScroll);
// Sets the drawn offset to previous + xFraction x (current - previous), xFraction in 16.16,
// rounded to the nearest whole value (a half goes up).
void EndStage_InterpolateTableScroll(int32_t xFraction);
int16_t EndStage_GetDrawnTableScroll(void);

// While the stage loads: the results screens' logo images, and the spoken comments of a
// one-player stage. Nothing yet.
void EndStage_LoadLogos(void);
void EndSnd_Load(void);
