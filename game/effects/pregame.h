// The countdown sounds. So far only the stage loader's call, counted.
#pragma once

void PreSnd_Load(void);

// Test hooks: the calls since the last reset.
int PreSnd_GetLoadCallsForTests(void);
void PreSnd_ResetForTests(void);
