// Knocked-over objects' images, read into a record as a replay snapshot hands them over; an
// image the reader takes is written back and read again, then the record is filed into its
// set's lists and stepped for a while, moving between blocks of a small grid.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/common/matrixop.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/gencoll.h"
#include "game/vehicle/knockedover.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool boReady = []
    {
        fuzz::InitEngineHeaps(1024 * 1024, 64 * 1024);
        DkInitialiseTrigTables();
        gxTrackCellSize = 16 * DK_FIXED_ONE;
        gxTrackHalfCell = 8 * DK_FIXED_ONE;
        gxTrackMinX = 0;
        gxTrackMaxZ = 0;
        guTrackGridWidth = 16;
        guTrackGridRows = 16;
        guNumTrackBlocks = 256;
        CarModel_SetStepRate(25 * DK_FIXED_ONE);
        return true;
    }();
    (void)boReady;
    Coll_ClearAll();
    gboAllCarsMoveObjects = FALSE;
    HitObject* pObject = &gaHitObjects[0][0];
    *pObject = HitObject{};
    if (!HitObjects_ReadImage(pObject, data, static_cast<uint32_t>(size)))
        return 0;
    uint8_t first[HIT_OBJECT_IMAGE_SIZE], second[HIT_OBJECT_IMAGE_SIZE];
    HitObjects_WriteImage(pObject, first, sizeof(first));
    if (!HitObjects_ReadImage(pObject, first, sizeof(first)))
        __builtin_trap();
    HitObjects_WriteImage(pObject, second, sizeof(second));
    if (std::memcmp(first, second, sizeof(first)) != 0)
        __builtin_trap();
    // A second record beside it, so that the lists hold more than one.
    gaHitObjects[0][1] = *pObject;
    gaHitObjects[0][1].Position.x = FfAdd(pObject->Position.x, 20 * DK_FIXED_ONE);
    gnNumMovingObjects = 2;
    MovingObjects_Reset(0);
    for (int nTick = 0; nTick < 100; ++nTick)
    {
        HitObjects_UpdateAll();
        MovingObjects_Relink();
    }
    HitObjects_Reset(0);
    gnNumMovingObjects = 0;
    return 0;
}
