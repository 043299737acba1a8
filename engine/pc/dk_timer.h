// The engine's timer tick and its critical section: the one guard between the main thread
// and the timer thread. While the main thread is inside the section a tick that falls due is
// put off and run by DkExitCriticalSection on the main thread.
#pragma once

#include "engine/include/dk_types.h"

void DkEnterCriticalSection(void);
// Leaves the section (it does not nest: the first exit ends it); returns the result of a
// deferred tick it ran, else 0.
int DkExitCriticalSection(void);

// Whether the section is held, and whether the caller is the timer thread.
BOOL DkIsInCriticalSection(void);
BOOL DkIsTimerThread(void);
