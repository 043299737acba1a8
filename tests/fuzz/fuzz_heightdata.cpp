// Height data (".hpc"), parsed from the bytes as the stage loader hands them over, then asked
// for the ground at every vertex, between neighbouring vertices, just beside them and at points
// drawn from the input, each with no cache, with the cache the last query left and with a
// cached number of the input's choosing.
#include <cstddef>
#include <cstdint>

#include "engine/common/dk_heap.h"
#include "engine/common/matrixop.h"
#include "game/vehicle/heightdata.h"
#include "tests/fuzz/fuzz_support.h"

namespace
{

int32_t Midway(int32_t a, int32_t b)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) + b) / 2);
}

// a + d, wrapping as the engine's 16.16 sums do.
int32_t Beside(int32_t a, int64_t d)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a + d));
}

void Ask(const DK_VECTOR& p, int16_t& cache, int16_t chosen)
{
    DK_VECTOR normal{};
    int16_t surface = 0;
    int16_t none = -1;
    FindHeightOnTrack(&p, &normal, &surface, &none, p.y);
    FindHeightOnTrack(&p, &normal, &surface, &cache, p.y);
    FindHeightOnTrack(&p, &normal, &surface, &chosen, p.y);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Set up on the first input, so that the replay test drives the target as libFuzzer does.
    static const bool boReady = []
    {
        fuzz::InitEngineHeaps(64 * 1024 * 1024, 1024 * 1024);
        DkInitialiseTrigTables();
        return true;
    }();
    (void)boReady;
    if (HeightData_Parse(data, static_cast<uint32_t>(size)))
    {
        int nVertices = 0;
        const DK_VECTOR* pVertices = HeightData_GetVertices(&nVertices);
        int16_t cache = -1;
        uint32_t uSeed = static_cast<uint32_t>(size);
        for (size_t i = 0; i < size; ++i)
            uSeed = uSeed * 31 + data[i];
        auto next = [&uSeed]
        {
            uSeed = uSeed * 1103515245u + 12345u;
            return uSeed;
        };
        const int nQueried = nVertices < 48 ? nVertices : 48;
        for (int i = 0; i < nQueried; ++i)
        {
            const DK_VECTOR& a = pVertices[i];
            const DK_VECTOR& b = pVertices[(i + 1) % nVertices];
            const int16_t chosen = static_cast<int16_t>(next());
            Ask(a, cache, chosen);
            Ask({Midway(a.x, b.x), Midway(a.y, b.y), Midway(a.z, b.z)}, cache, chosen);
            Ask({Beside(a.x, -1), a.y, Beside(a.z, -1)}, cache, chosen);
            Ask({Beside(a.x, int64_t{next() % 0x40000} - 0x20000), a.y,
                 Beside(a.z, int64_t{next() % 0x40000} - 0x20000)},
                cache, chosen);
        }
        for (int i = 0; i < 16; ++i)
        {
            const DK_VECTOR around = nVertices > 0 ? pVertices[next() % nVertices] : DK_VECTOR{};
            const uint32_t uSpread = next();
            Ask({Beside(around.x, uSpread % 0x4000000), static_cast<int32_t>(next()),
                 Beside(around.z, -int64_t{uSpread % 0x2000000})},
                cache, static_cast<int16_t>(next()));
            Ask({static_cast<int32_t>(next()), static_cast<int32_t>(next()),
                 static_cast<int32_t>(next())},
                cache, -1);
        }
        HeightData_Report();
    }
    HeightData_Destructor();
    DkHeapReset();
    return 0;
}
