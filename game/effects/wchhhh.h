// The surface noise under the wheels. So far only the stage loader's call, counted.
#pragma once

// Loads the stage's surface sounds named from the stage base path (its extension is rewritten).
void SurfaceNoise_Load(char* pszBasePath);

// Test hooks: the calls since the last reset.
int SurfaceNoise_GetLoadCallsForTests(void);
void SurfaceNoise_ResetForTests(void);

// One tick of the surface noise, and all of it silenced (the stage's end, the pause). Nothing
// yet.
void SurfaceNoise_Update(void);
void SurfaceNoise_StopAll(void);
// The camera director's news of a new camera type for the player: the view class of the
// samples. Nothing yet.
void SurfaceNoise_OnViewChange(int nPlayer, int nType);
