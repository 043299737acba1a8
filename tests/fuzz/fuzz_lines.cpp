// The stage's trigger lines (".dat") read, numbered and cleared as the stage loader does it,
// and the same bytes read as the older combined lines file.
#include <cstddef>
#include <cstdint>

#include "engine/common/dk_heap.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/vehicle/points.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Set up on the first input, so that the replay test drives the target as libFuzzer does.
    static const bool boReady = []
    {
        fuzz::InitEngineHeaps(16 * 1024 * 1024, 1024 * 1024);
        return true;
    }();
    (void)boReady;
    TrackTrigger* pRecords = Points_ReadTriggers(data, static_cast<uint32_t>(size));
    Points_NumberSplitLines(pRecords);
    Points_ClearWallLines(pRecords);
    Points_Load(data, static_cast<uint32_t>(size));
    Points_Destructor();
    gpWallLines = nullptr;
    gnNumWallLines = 0;
    DkHeapReset();
    return 0;
}
