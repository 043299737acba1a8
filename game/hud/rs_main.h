// The rally school's lesson run. So far only the hook the car set-up calls.
#pragma once

// Keeps player 1's car and control records before a school run (records the call so far).
void School_SavePlayerInfo(void);

// Test hooks: the calls since the last reset.
int School_GetSaveCallsForTests(void);
void School_ResetForTests(void);
