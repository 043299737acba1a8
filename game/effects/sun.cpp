#include "game/effects/sun.h"

#include "engine/pc/3d/dk_light.h"
#include "engine/pc/3d/dk_rendr.h"
#include "game/race/stageinfo.h"

namespace
{
int gnLoadCalls = 0;
} // namespace

void Sun_LoadData(const char*)
{
    ++gnLoadCalls;
}

int Sun_GetLoadCallsForTests(void)
{
    return gnLoadCalls;
}

void Sun_ResetForTests(void)
{
    gnLoadCalls = 0;
}

void InitialiseAmbientLight(void)
{
    StageInfo_InitConditions();
    // The stage's faces carry their own (baked) colours; the track colours the conditions chose
    // light the world, the objects and the cars.
    DkSetC3dLoadOption(1);
    DkSetAmbientLightStates(StageInfo_GetTrackColour(0), StageInfo_GetTrackColour(1),
                            StageInfo_GetTrackColour(2), StageInfo_GetTrackColour(3),
                            StageInfo_GetTrackColour(4), StageInfo_GetTrackColour(5));
}
