// Stage conditions: the weather, time of day and light of the stage. So far only the light
// type the car set-up asks for.
#pragma once

// The stage's light type; 8 is the special light type.
int StageInfo_GetLight(void);

// Test hook: the light type the next calls answer (0 until set).
void StageInfo_SetLightForTests(int nLight);
