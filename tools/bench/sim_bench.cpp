// The simulation's benchmarks. The ground query: every wheel, body corner, object and shadow
// point asks it every tick, on the data kit's bumpy gravel ground (4,000 triangles under a grid
// four levels deep). Cached: the point still lies in the triangle its cache names, one
// point-in-triangle test. Uncached: the grid descent and the tests of the cell's triangles.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/common/dk_heap.h"
#include "engine/common/matrixop.h"
#include "game/vehicle/heightdata.h"
#include "tools/datakit/grounds.h"

namespace
{

constexpr int kPoints = 4096;

// Points spread over the road, the same every run.
const std::vector<DK_VECTOR>& GroundPoints()
{
    static const std::vector<DK_VECTOR> points = []
    {
        std::vector<DK_VECTOR> v;
        uint32_t seed = 12345;
        auto next = [&seed]
        {
            seed = seed * 1103515245u + 12345u;
            return seed >> 8;
        };
        for (int i = 0; i < kPoints; ++i)
            v.push_back({static_cast<int32_t>(next() % (38 << 16)) - (19 << 16), 0,
                         static_cast<int32_t>(next() % (198 << 16)) + (1 << 16)});
        return v;
    }();
    return points;
}

bool LoadGround()
{
    static const bool loaded = []
    {
        DkHeapInit(16 * 1024 * 1024);
        DkInitialiseTrigTables();
        static const std::vector<uint8_t> file =
            datakit::FormatHeightData(datakit::GroundMesh(datakit::MakeGround("bumpy-gravel")));
        return HeightData_Parse(file.data(), static_cast<uint32_t>(file.size())) == TRUE;
    }();
    return loaded;
}

void Query(benchmark::State& state, bool cached)
{
    if (!LoadGround())
    {
        state.SkipWithError("the ground did not load");
        return;
    }
    const std::vector<DK_VECTOR>& points = GroundPoints();
    std::vector<int16_t> caches(kPoints, -1);
    DK_VECTOR normal{};
    int16_t surface = 0;
    // Fill the caches once, so that the cached run starts warm.
    for (int i = 0; i < kPoints; ++i)
        FindHeightOnTrack(&points[i], &normal, &surface, &caches[i], 0);
    int i = 0;
    int32_t sum = 0;
    for (auto _ : state)
    {
        int16_t none = -1;
        sum += FindHeightOnTrack(&points[i], &normal, &surface, cached ? &caches[i] : &none, 0);
        i = (i + 1) & (kPoints - 1);
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}

void BM_FindHeightCached(benchmark::State& state)
{
    Query(state, true);
}
BENCHMARK(BM_FindHeightCached);

void BM_FindHeightUncached(benchmark::State& state)
{
    Query(state, false);
}
BENCHMARK(BM_FindHeightUncached);

} // namespace

BENCHMARK_MAIN();
