// The stage's start positions (".csp") read from their bytes either way (the first set, or the
// second where the file holds it whole), checked against the input; then loaded as the stage's
// file on a stage run forwards and in reverse, each car's place read back, and the positions
// forgotten by their destructor.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_entries.h"
#include "game/race/gamedata.h"
#include "game/race/trackcam.h"
#include "tests/fuzz/fuzz_support.h"

namespace
{

uint8_t gaGameData[DK_GAME_DATA_SIZE];

// The set read from the bytes is the one at `offset`.
void CheckSet(const uint8_t* data, size_t size, size_t offset, const StartPositionSet& set)
{
    const uint8_t* p = data + offset;
    for (int car = 0; car < 2; ++car)
    {
        const DK_VECTOR& v = set.aPosition[car];
        const size_t at = offset + 12 * car;
        if (v.x != fuzz::Word(data, size, at) || v.y != fuzz::Word(data, size, at + 4) ||
            v.z != fuzz::Word(data, size, at + 8))
            std::abort();
        for (int a = 0; a < 3; ++a)
        {
            const uint8_t* q = p + 24 + 8 * car + 2 * a;
            if (set.aanAngles[car][a] != static_cast<int16_t>(q[0] | q[1] << 8))
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool boReady = []
    {
        fuzz::InitEngineHeaps(4 * 1024 * 1024, 1024 * 1024);
        DK_ENTRIES entries{};
        entries.GetGameData = [] { return static_cast<const uint8_t*>(gaGameData); };
        DkRegisterEntries(&entries);
        return true;
    }();
    (void)boReady;
    for (BOOL boSecond : {FALSE, TRUE})
    {
        StartPositionSet set{};
        const BOOL boRead =
            TrackCam_ReadStartPositions(data, static_cast<uint32_t>(size), boSecond, &set);
        if (boRead != (size >= 40 ? TRUE : FALSE))
            std::abort();
        if (boRead)
            CheckSet(data, size, boSecond && size >= 80 ? 40 : 0, set);
    }

    static const std::string path = fuzz::DriveCPath("stage.csp");
    fuzz::WriteFile(path, data, size);
    for (int reverse = 0; reverse < 2; ++reverse)
    {
        gaGameData[OPTION_REVERSE_DIRECTION.nByte] =
            static_cast<uint8_t>(reverse << OPTION_REVERSE_DIRECTION.nBit);
        const int nMark = gnNumDestructors;
        TrackCam_LoadStartPositions("c:\\stage.csp");
        for (int nCar = -1; nCar < 4; ++nCar)
        {
            DK_VECTOR at;
            int16_t anAngles[3];
            const BOOL boKnown = TrackCam_GetStartPosition(nCar, &at, anAngles);
            if (boKnown != (size >= 40 && nCar >= 0 ? TRUE : FALSE))
                std::abort();
        }
        DkCallDestructors(nMark);
        if (TrackCam_GetStartPosition(0, nullptr, nullptr))
            std::abort();
    }
    TrackCam_ResetForTests();
    DkHeapReset();
    return 0;
}
