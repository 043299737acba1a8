// Stage conditions: each stage's weather, time of day and light, looked up once a stage from
// tables by rally (country) and stage, or by rally-school level and task; the track's colour
// level by the light type; and the stage-information text of the loading and results screens
// (conditions, length and surface mix).
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

struct DK_FONT;

// The countries of the tables (0 to 7); any other country takes the defaults: weather 1,
// time 1, light 2, no length and no surface mix.
#define STAGEINFO_COUNTRIES 8
#define STAGEINFO_STAGES 7
#define STAGEINFO_SCHOOL_LEVELS 3
#define STAGEINFO_SCHOOL_TASKS 5
// The light type of the darkest stages (night flags, lamps).
#define STAGEINFO_LIGHT_NIGHT 8
#define STAGEINFO_TRACK_COLOURS 6

// Looks up the three types of the stage the game data selects and sets the track colour level
// from the light type.
void StageInfo_InitConditions(void);

// The types of a stage: in rally school nRally is the level and nStage the task index.
int StageInfo_LookupWeather(int nRally, int nStage);
int StageInfo_LookupTime(int nRally, int nStage);
int StageInfo_LookupLight(int nRally, int nStage);

int StageInfo_GetWeather(void);
int StageInfo_GetTime(void);
// The stage's light type; 8 is the night light type.
int StageInfo_GetLight(void);

// The ambient level of a light type 0..8 (out of range: that of light 2).
int StageInfo_GetAmbientLevel(int nLight);
// The six track colour records (red, green, blue, alpha) handed to the renderer.
void StageInfo_SetTrackColour(int nLevel);
const uint8_t* StageInfo_GetTrackColour(int nRecord);

// The stage's length in tenths of a kilometre (0 where there is none) and its surface mix:
// three bytes, each the percentage / 10 in the high nibble and the surface kind in the low.
int StageInfo_GetLength(int nRally, int nStage);
const uint8_t* StageInfo_GetSurfaceMix(int nRally, int nStage);

// The stage-information text of the loading screen at (xX, xY), 16.16 fractions of the screen,
// in the font and colour; returns the y below it.
int32_t StageInfo_DrawLine(int nRally, int nStage, int32_t xX, int32_t xY, DK_FONT* pFont,
                           const uint8_t* pColour);
// The results screen's: the title at xY, the lines from xY2. While the screen reveals them
// (boReveal) the title and the five lines grow by two characters a call, one at a time.
int32_t StageInfo_DrawDetails(int nRally, int nStage, int32_t xX, int32_t xY, int32_t xY2,
                              DK_FONT* pFont, const uint8_t* pColour, BOOL boReveal = FALSE);
// Starts the reveal again from nothing shown.
void StageInfo_ResetReveal(void);

// Test hooks: the light type the next calls answer (until the next StageInfo_InitConditions),
// and the text the last draw call printed ('^' between lines).
void StageInfo_SetLightForTests(int nLight);
const char* StageInfo_GetLastTextForTests(void);
