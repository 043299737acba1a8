// The crowd and weather sounds. So far only the abduction sample the car step's event timer
// plays.
#pragma once

// Plays the abduction sample once at full volume; records the call so far.
void CrowdNoise_PlayAbduct(void);

// Test hooks: the calls since the last reset.
int CrowdNoise_GetAbductCallsForTests(void);
void CrowdNoise_ResetForTests(void);

// Loads the crowd and thunder sounds of a one-player stage. Counted so far.
void CrowdNoise_Load(void);
int CrowdNoise_GetLoadCallsForTests(void);

// One tick of the crowd's noise. Nothing yet.
void CrowdNoise_Update(void);
