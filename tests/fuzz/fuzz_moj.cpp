// Scripted moving objects (".moj"), parsed from the bytes as the stage loader hands them over;
// an actor is then set at every second record's start so that some bind and some do not, the
// check runs, and the objects are stepped and blended for a while.
#include <cstddef>
#include <cstdint>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/matrixop.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/notmvble.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool boReady = []
    {
        fuzz::InitEngineHeaps(4 * 1024 * 1024, 64 * 1024);
        DkInitialiseTrigTables();
        return true;
    }();
    (void)boReady;
    MovingObjects_Parse(data, static_cast<uint32_t>(size));
    static DK_ACTOR actors[MAX_MOVING_OBJECTS];
    const int nLoaded = gnNumScriptedObjects;
    for (int i = 0; i < nLoaded; ++i)
    {
        DK_ACTOR& a = actors[i];
        a = DK_ACTOR{};
        DkIdentityMatrix(&a.Local);
        const DK_VECTOR& at = gaMovingObjects[i].Record.Start;
        a.Local.m[3][0] = static_cast<int32_t>(static_cast<uint32_t>(at.x) + (i % 3 == 2 ? 1u : 0u));
        a.Local.m[3][1] = at.y;
        a.Local.m[3][2] = at.z;
        MovingObjects_BindActor(&a);
    }
    const bool bo50 = size > 0 && (data[0] & 1);
    CarModel_SetStepRate((bo50 ? 50 : 25) * DK_FIXED_ONE);
    MovingObjects_Check();
    for (int nTick = 0; nTick < 300; ++nTick)
    {
        MovingObjects_Update(0);
        MovingObjects_PlaceOnGround(static_cast<int32_t>((nTick * 7919u) & 0xFFFF));
    }
    CarModel_SetStepRate(25 * DK_FIXED_ONE);
    return 0;
}
