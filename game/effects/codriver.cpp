#include "game/effects/codriver.h"

namespace
{
int gnQueuedCalls = 0;
CoDriverCall gLastCall{};
int gnCoDriverLoadSamplesCalls = 0;
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
    gnCoDriverLoadSamplesCalls = 0;
    gnQueuedCalls = 0;
    gLastCall = CoDriverCall{};
}

void CoDriver_LoadSamples(void)
{
    ++gnCoDriverLoadSamplesCalls;
}

int CoDriver_GetLoadCallsForTests(void)
{
    return gnCoDriverLoadSamplesCalls;
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

namespace
{
int gnEndStageComments = 0;
} // namespace

void CoDriver_Update(void) {}

void CoDriver_Mute(void) {}

void CoDriver_PlayEndStageComment(int32_t)
{
    ++gnEndStageComments;
}

int CoDriver_GetEndStageCommentsForTests(void)
{
    return gnEndStageComments;
}
