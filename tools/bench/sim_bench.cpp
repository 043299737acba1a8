// The simulation's benchmarks. The ground query: every wheel, body corner, object and shadow
// point asks it every tick, on the data kit's bumpy gravel ground (4,000 triangles under a grid
// four levels deep). Cached: the point still lies in the triangle its cache names, one
// point-in-triangle test. Uncached: the grid descent and the tests of the cell's triangles.
// The car tick: eight cars of the determinism scenario through one tick (controls, the car
// step, wheel spin, body update, drawn body), the scenario set up again every 2,000 ticks.
// The objects tick: a car (a box body moved by hand, no car model) crossing the bumpy gravel
// through rows of static boxes and 300 knockable boxes, tested against both every tick, the
// knocked boxes stepped and refiled, and 96 scripted objects stepped; all put back every 250
// ticks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "engine/common/dk_heap.h"
#include "engine/common/matrixop.h"
#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/gencoll.h"
#include "game/vehicle/heightdata.h"
#include "game/vehicle/knockedover.h"
#include "game/vehicle/notmvble.h"
#include "tools/bench/car_drive.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/moving_objects_writer.h"

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
    // Set up once; every 2,000 ticks the cars are put back as they started, from their state
    // images.
    static std::vector<std::vector<uint8_t>> images;
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
            CarModel_ReadState(&gaCarBody[n], &gaCarMechanics[n], images[n].data(),
                               CAR_STATE_IMAGE_SIZE);
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

constexpr int32_t ONE = DK_FIXED_ONE;

DK_VECTOR At(double x, double y, double z)
{
    return {static_cast<int32_t>(x * ONE), static_cast<int32_t>(y * ONE),
            static_cast<int32_t>(z * ONE)};
}

// The car's body as the collisions read it: 4.0 x 1.4 x 2.0, level, facing +z.
void PlaceBoxCar(CarBody* pCar, const DK_VECTOR& at, const DK_VECTOR& velocity)
{
    static const double kCorner[4][2] = {{-1.0, 2.0}, {1.0, 2.0}, {1.0, -2.0}, {-1.0, -2.0}};
    pCar->Position = at;
    pCar->Velocity = velocity;
    pCar->PositionPrev = {at.x - velocity.x, at.y - velocity.y, at.z - velocity.z};
    pCar->Speed = FfVecLength(&velocity);
    for (int i = 0; i < CAR_POINTS; ++i)
        pCar->ContactPoint[i] = {at.x + static_cast<int32_t>(kCorner[i % 4][0] * ONE),
                                 at.y + (i < 4 ? -45875 : 45875),
                                 at.z + static_cast<int32_t>(kCorner[i % 4][1] * ONE)};
    FfMatSetPosition(&at, &pCar->Matrix);
    pCar->ExtForce = pCar->ExtTorque = {0, 0, 0};
    pCar->nCurrentBlock = DkGetTrackBlockIndex(at.x, at.y, at.z);
    for (int k = 0; k < 3; ++k)
        pCar->anNeighbourBlocks[k] = -1;
}

void BM_ObjectsTick(benchmark::State& state)
{
    constexpr int kRunTicks = 250;
    static std::vector<TrackObject> objects(80);
    static std::vector<TrackObjectCollision> collisions(80);
    static std::vector<TrackObjectNode> nodes(80);
    static std::vector<HitObject> start;
    static std::vector<DK_ACTOR> actors(MAX_MOVING_OBJECTS);
    static const std::vector<uint8_t> ground =
        datakit::FormatHeightData(datakit::GroundMesh(datakit::MakeGround("bumpy-gravel")));
    DkHeapInit(16 * 1024 * 1024);
    DkInitialiseTrigTables();
    if (HeightData_Parse(ground.data(), static_cast<uint32_t>(ground.size())) != TRUE)
    {
        state.SkipWithError("the ground did not load");
        return;
    }
    // A grid of 16.0 blocks over the road.
    gxTrackCellSize = 16 * ONE;
    gxTrackHalfCell = 8 * ONE;
    gxTrackMinX = -24 * ONE;
    gxTrackMaxZ = 208 * ONE;
    guTrackGridWidth = 4;
    guTrackGridRows = 16;
    guNumTrackBlocks = 64;
    Coll_ClearAll();
    CarModel_ClearAll();
    CarModel_SetStepRate(25 * ONE);
    gnNumMechCars = 1;
    gboAllCarsMoveObjects = FALSE;
    const DK_VECTOR rows[3] = {{ONE, 0, 0}, {0, ONE, 0}, {0, 0, ONE}};
    // Static boxes down both sides of the car's path, the car grazing them.
    for (int i = 0; i < 80; ++i)
    {
        TrackObject& o = objects[i];
        o = TrackObject{};
        o.Centre = At(i % 2 ? 1.4 : -1.4, 0.5, 5.0 + 2.4 * (i / 2));
        o.aRows[0] = rows[0];
        o.aRows[1] = rows[1];
        o.aRows[2] = rows[2];
        o.uKind = 3;
        const DK_VECTOR half = At(0.5, 0.5, 0.5);
        DK_VECTOR corners[8];
        TransformPoint(corners, &o.Centre, o.aRows, &half);
        InitTrackObjectBox(o.aRows, corners, &collisions[i], &o.Centre);
        const int16_t nBlock = DkGetTrackBlockIndex(o.Centre.x, 0, o.Centre.z);
        nodes[i] = {&o, &collisions[i], gapTrackObjects[nBlock]};
        gapTrackObjects[nBlock] = &nodes[i];
    }
    // Knockable boxes across the path in rows, of the four mass classes.
    gnNumMovingObjects = 300;
    start.assign(300, HitObject{});
    for (int i = 0; i < 300; ++i)
    {
        HitObject& o = start[i];
        o.Position = o.Translation = At(-1.5 + 0.6 * (i % 6), 0.3, 3.0 + 1.9 * (i / 6));
        o.HalfExtents = At(0.25, 0.25, 0.25);
        o.aRows[0] = rows[0];
        o.aRows[1] = rows[1];
        o.aRows[2] = rows[2];
        o.auInverseInertia[0] = o.auInverseInertia[1] = o.auInverseInertia[2] = ONE;
        o.xRadius = At(0.44, 0, 0).x;
        o.uKind = static_cast<uint16_t>(i << 5 | (i % 7 == 0 ? 13 : 3));
        o.nGroundTriangle = -1;
        o.uFlags = static_cast<uint8_t>(i % 4);
        o.uRestFlags = i % 7 == 0 ? 0x02 : 0x07;
    }
    // The scripted objects, every type.
    std::vector<datakit::MovingObject> scripted;
    for (int i = 0; i < MAX_MOVING_OBJECTS; ++i)
    {
        datakit::MovingObject m;
        m.type = 1 + i % 5;
        m.start = {-15.0 + (i % 8), 0.0, 10.0 + 2.0 * (i / 8)};
        m.distance = 4.0;
        m.motionSeconds = 3 + i % 4;
        m.spinYSeconds = i % 3 == 0 ? -10 : 0;
        m.spinXSeconds = i % 4 == 0 ? 6 : 0;
        m.followGround = i % 2 == 0;
        scripted.push_back(m);
    }
    const std::vector<uint8_t> moj = datakit::FormatMovingObjects(scripted);
    MovingObjects_Parse(moj.data(), static_cast<uint32_t>(moj.size()));
    for (int i = 0; i < MAX_MOVING_OBJECTS; ++i)
    {
        actors[i] = DK_ACTOR{};
        DkIdentityMatrix(&actors[i].Local);
        FfMatSetPosition(&gaMovingObjects[i].Record.Start, &actors[i].Local);
        MovingObjects_BindActor(&actors[i]);
    }
    CarBody* pCar = &gaCarBody[0];
    pCar->HalfSize = At(1.0, 0.7, 2.0);
    pCar->BoundingRadius = At(2.35, 0, 0).x;
    pCar->Weight = 1120 * ONE;
    pCar->OrientRow0 = rows[2];
    pCar->UpAxis = rows[1];
    pCar->OrientRow2 = {-ONE, 0, 0};
    FfMatSetRow0(&pCar->OrientRow0, &pCar->Matrix);
    FfMatSetRow1(&pCar->UpAxis, &pCar->Matrix);
    FfMatSetRow2(&pCar->OrientRow2, &pCar->Matrix);
    pCar->pMatrix = &pCar->Matrix;
    pCar->WheelsOnGround = CAR_WHEELS;
    const DK_VECTOR velocity = At(0.0, 0.0, 0.8);
    auto restart = [&]
    {
        std::copy(start.begin(), start.end(), gaHitObjects[0]);
        gaNumMovingInList[0] = 0;
        MovingObjects_Reset(0);
        PlaceBoxCar(pCar, At(0.0, 0.7, 0.0), velocity);
    };
    restart();
    int nTick = 0;
    int64_t nContacts = 0;
    for (auto _ : state)
    {
        if (nTick == kRunTicks)
        {
            state.PauseTiming();
            restart();
            nTick = 0;
            state.ResumeTiming();
        }
        ++nTick;
        nContacts += gaNumMovingInList[0];
        const DK_VECTOR next = {pCar->Position.x, pCar->Position.y, pCar->Position.z + velocity.z};
        PlaceBoxCar(pCar, next, velocity);
        MovingObjects_Relink();
        nContacts += Coll_CarVsTrackObjects(pCar) + Coll_CarVsMovingObjects(pCar);
        HitObjects_UpdateAll();
        MovingObjects_Update(0);
    }
    state.SetItemsProcessed(state.iterations());
    // Contacts and knocked boxes in motion, a tick on average.
    state.counters["busy"] =
        benchmark::Counter(static_cast<double>(nContacts), benchmark::Counter::kAvgIterations);
    Coll_ClearAll();
    gnNumMovingObjects = 0;
    gnNumScriptedObjects = 0;
}
BENCHMARK(BM_ObjectsTick);

} // namespace

BENCHMARK_MAIN();
