// The simulation's benchmarks. The ground query: every wheel, body corner, object and shadow
// point asks it every tick, on the data kit's bumpy gravel ground (4,000 triangles under a grid
// four levels deep). Cached: the point still lies in the triangle its cache names, one
// point-in-triangle test. Uncached: the grid descent and the tests of the cell's triangles.
// The car tick: eight cars of the determinism scenario through one tick (controls, the car
// step, wheel spin, body update, drawn body, damage), the scenario put back every 2,000 ticks.
// The objects tick: the objects' scene (object_scene.h) through one tick, two box cars against
// rows of static and knockable boxes and each other, the knocked boxes stepped and refiled, 96
// scripted objects stepped; put back every 250 ticks.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/common/dk_heap.h"
#include "engine/common/matrixop.h"
#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"
#include "game/vehicle/heightdata.h"
#include "tools/bench/car_drive.h"
#include "tools/bench/object_scene.h"
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

void BM_CarTick(benchmark::State& state)
{
    constexpr int kRate = 25;
    constexpr int kRunTicks = 2000;
    // Set up once; every 2,000 ticks the cars are put back as they started, from their state,
    // damage and wobble images, their bodies reshaped undented.
    static std::vector<std::vector<uint8_t>> images;
    static std::vector<std::vector<uint8_t>> damages;
    static std::vector<std::vector<uint8_t>> wobbles;
    static const bool boReady = []
    {
        DkCallAllDestructors();
        drive::OpenEngine();
        DK_ACTOR* pWorld = DkCreateWorldActor();
        if (pWorld == nullptr || !drive::SetUpScenario(pWorld, kRate))
            return false;
        for (int n = 0; n < gnNumMechCars; ++n)
        {
            std::vector<uint8_t> image(CAR_STATE_IMAGE_SIZE);
            CarModel_WriteState(&gaCarBody[n], &gaCarMechanics[n], image.data(),
                                CAR_STATE_IMAGE_SIZE);
            images.push_back(image);
            std::vector<uint8_t> damage(DAMAGE_RECORD_IMAGE_SIZE);
            Damage_WriteRecord(&gaDamage[n], damage.data(), DAMAGE_RECORD_IMAGE_SIZE);
            damages.push_back(damage);
            std::vector<uint8_t> wobble(DAMAGE_WOBBLE_IMAGE_SIZE);
            Damage_WriteWobble(&gaDamageWobble[n], wobble.data(), DAMAGE_WOBBLE_IMAGE_SIZE);
            wobbles.push_back(wobble);
        }
        return true;
    }();
    if (!boReady)
    {
        state.SkipWithError("the scenario did not set up");
        return;
    }
    auto restart = []
    {
        for (int n = 0; n < gnNumMechCars; ++n)
        {
            CarModel_ReadState(&gaCarBody[n], &gaCarMechanics[n], images[n].data(),
                               CAR_STATE_IMAGE_SIZE);
            Damage_ReadRecord(&gaDamage[n], damages[n].data(), DAMAGE_RECORD_IMAGE_SIZE);
            Damage_ReadWobble(&gaDamageWobble[n], wobbles[n].data(), DAMAGE_WOBBLE_IMAGE_SIZE);
            Damage_RebuildShapes(&gaCarBody[n]);
        }
    };
    restart();
    int nTick = 0;
    for (auto _ : state)
    {
        if (nTick == kRunTicks)
        {
            state.PauseTiming();
            restart();
            nTick = 0;
            state.ResumeTiming();
        }
        drive::ScenarioTick(nTick++, kRate);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CarTick);

void BM_ObjectsTick(benchmark::State& state)
{
    constexpr int kRunTicks = 250;
    DkHeapInit(16 * 1024 * 1024);
    DkInitialiseTrigTables();
    if (!objects::SetUpScene(25))
    {
        state.SkipWithError("the scene did not set up");
        return;
    }
    int nTick = 0;
    int64_t nContacts = 0;
    for (auto _ : state)
    {
        if (nTick == kRunTicks)
        {
            state.PauseTiming();
            objects::PutSceneBack();
            nTick = 0;
            state.ResumeTiming();
        }
        ++nTick;
        nContacts += objects::SceneTick();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["contacts"] =
        benchmark::Counter(static_cast<double>(nContacts), benchmark::Counter::kAvgIterations);
    objects::ClearScene();
}
BENCHMARK(BM_ObjectsTick);

} // namespace

BENCHMARK_MAIN();
