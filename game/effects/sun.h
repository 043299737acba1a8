// Ambient light and the sun. So far the stage's ambient light and the sun data's loader, which
// the stage loading calls with the stage's ".shp" file.
#pragma once

// Loads the sun data of the stage; a missing file leaves the defaults. Keeps nothing yet
// (records the call).
void Sun_LoadData(const char* pszPath);

// Test hooks: the calls since the reset.
int Sun_GetLoadCallsForTests(void);
void Sun_ResetForTests(void);

// The stage's start: the stage conditions looked up, the stage's own face colours switched on
// for the loads to come, and the conditions' track colours as the renderer's ambient light.
void InitialiseAmbientLight(void);
