// The critical section. The timer itself comes with the tick procedure; until it runs, no
// tick can fall due, so entering only marks the section and leaving clears the mark.

#include "engine/pc/dk_timer.h"

#include <atomic>

namespace
{
std::atomic<bool> gboInCriticalSection{false};
}

void DkEnterCriticalSection(void)
{
    gboInCriticalSection.store(true);
}

int DkExitCriticalSection(void)
{
    gboInCriticalSection.store(false);
    return 0;
}

BOOL DkIsInCriticalSection(void)
{
    return gboInCriticalSection.load() ? TRUE : FALSE;
}

BOOL DkIsTimerThread(void)
{
    return FALSE;
}
