#include "game/effects/codriver.h"

namespace
{
int gnQueuedCalls = 0;
CoDriverCall gLastCall{};
} // namespace

void CoDriver_QueueCall(int32_t nCall, int nPlayer)
{
    ++gnQueuedCalls;
    gLastCall = {nCall, nPlayer};
}

int CoDriver_GetQueuedCallsForTests(void)
{
    return gnQueuedCalls;
}

CoDriverCall CoDriver_GetLastCallForTests(void)
{
    return gLastCall;
}

void CoDriver_ResetForTests(void)
{
    gnQueuedCalls = 0;
    gLastCall = CoDriverCall{};
}
namespace
{
int gnUnmuteCalls = 0;
} // namespace

void CoDriver_Unmute(void)
{
    ++gnUnmuteCalls;
}

int CoDriver_GetUnmuteCallsForTests(void)
{
    return gnUnmuteCalls;
}
