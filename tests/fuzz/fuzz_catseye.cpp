// The stage's cat's eyes (".cat") read from their bytes as the stage loader hands them over,
// each record checked against the input, then the chain walked: player 0's car placed at every
// cat's eye, beside it either way and at a point drawn from the input, each tested as on an
// ordinary stage and on the loop of a super special stage (its offset into the loop drawn from
// the input too). The same bytes loaded as a file, run forwards and in reverse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/common/matrixop.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "game/hud/catseye.h"
#include "game/hud/osd.h"
#include "game/race/gamedata.h"
#include "game/vehicle/carmodel.h"
#include "tests/fuzz/fuzz_support.h"

namespace
{

constexpr int32_t ONE = 0x10000;
uint8_t gaGameData[DK_GAME_DATA_SIZE];

int32_t Le32(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

void Check(const uint8_t* data, size_t size, const CatsEyeRecord* pRecords, int32_t nCount)
{
    const size_t uWhole = size / 28;
    if (nCount != (uWhole <= 32767 ? static_cast<int32_t>(uWhole) : 0) ||
        (nCount > 0) != (pRecords != nullptr))
        std::abort();
    for (int32_t i = 0; i < nCount; ++i)
    {
        const uint8_t* p = data + static_cast<size_t>(i) * 28;
        const CatsEyeRecord& r = pRecords[i];
        if (r.x != Le32(p) || r.z != Le32(p + 8) || r.dirZ != Le32(p + 20) ||
            r.splitFlags != (p[24] != 0 ? 0xFF : 0) || r.noPlace != p[25] ||
            r.order != (p[26] | p[27] << 8))
            std::abort();
    }
}

void Test(const DK_VECTOR& at)
{
    gaCarBody[0].Position = at;
    CatsEye_UpdateCar(0);
    CatsEye_UpdateCarLoop(0);
    if (gaCatsEyeHead[0] < 0 || gaCatsEyeHead[0] > gnNumCatsEyes)
        std::abort();
}

void Walk(const uint8_t* data, size_t size)
{
    CatsEye_ResetState();
    gaNearestCheckpoint[0] = fuzz::Word(data, size, 0);
    for (int32_t i = 0; i < gnNumCatsEyes && i < 64; ++i)
    {
        const CatsEyeRecord& r = gpCatsEyes[i];
        const DK_VECTOR p{r.x, r.y, r.z};
        Test(p);
        for (int32_t side : {ONE, -ONE})
            Test({FfAdd(p.x, FfMul(r.dirX, side)), p.y, FfAdd(p.z, FfMul(r.dirZ, side))});
    }
    Test({fuzz::Word(data, size, 4), fuzz::Word(data, size, 8), fuzz::Word(data, size, 12)});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Set up on the first input, so that the replay test drives the target as libFuzzer does.
    static const bool boReady = []
    {
        fuzz::InitEngineHeaps(16 * 1024 * 1024, 1024 * 1024);
        DkInitialiseTrigTables();
        DK_ENTRIES entries{};
        entries.GetGameData = [] { return static_cast<const uint8_t*>(gaGameData); };
        DkRegisterEntries(&entries);
        return true;
    }();
    (void)boReady;
    int32_t nCount = -1;
    CatsEyeRecord* pRecords = CatsEye_ReadChain(data, static_cast<uint32_t>(size), &nCount);
    Check(data, size, pRecords, nCount);
    gpCatsEyes = pRecords;
    gnNumCatsEyes = nCount;
    Walk(data, size);

    // As the stage's file, the stage run either way.
    static const std::string path = fuzz::DriveCPath("stage.cat");
    fuzz::WriteFile(path, data, size);
    for (int reverse = 0; reverse < 2; ++reverse)
    {
        gaGameData[OPTION_REVERSE_DIRECTION.nByte] =
            static_cast<uint8_t>(reverse << OPTION_REVERSE_DIRECTION.nBit);
        const int nMark = gnNumDestructors;
        CatsEye_Load("c:\\stage.cat");
        if (gnNumCatsEyes != nCount)
            std::abort();
        Walk(data, size);
        DkCallDestructors(nMark);
        if (gpCatsEyes != nullptr || gnNumCatsEyes != 0)
            std::abort();
    }
    gpCatsEyes = nullptr;
    gnNumCatsEyes = 0;
    DkHeapReset();
    return 0;
}
