#include "game/race/superspecial.h"

namespace
{
BOOL gboSuperSpecial = FALSE;
int gnLoadReplayCalls = 0;
int gnPositionCalls = 0;
} // namespace

BOOL IsSuperSpecialStage(void)
{
    return gboSuperSpecial;
}

void SuperSpecial_SetForTests(BOOL boSuperSpecial)
{
    gboSuperSpecial = boSuperSpecial;
}

void SuperSpecial_LoadReplay(const char*, int)
{
    ++gnLoadReplayCalls;
}

void PositionSuperSpecialCars(int)
{
    ++gnPositionCalls;
}

int SuperSpecial_GetLoadReplayCallsForTests(void)
{
    return gnLoadReplayCalls;
}

int SuperSpecial_GetPositionCallsForTests(void)
{
    return gnPositionCalls;
}

void SuperSpecial_ResetForTests(void)
{
    gnLoadReplayCalls = gnPositionCalls = 0;
}

BOOL SuperSpecial_IsLaneKey(int nRally)
{
    return nRally == 1 || nRally == 3 || nRally == 5 || nRally == 7 ? TRUE : FALSE;
}

int SuperSpecial_GetLaneSide(int)
{
    return 0;
}
