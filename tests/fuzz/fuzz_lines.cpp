// The stage's trigger lines (".dat") read, numbered and cleared as the stage loader does it,
// filed on a grid of track blocks and walked by a box-shaped car on every block and at the ends
// of the first lines, forwards and (the records mirrored) backwards; and the same bytes read as
// the older combined lines file.
#include <cstddef>
#include <cstdint>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/hud/catseye.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/points.h"
#include "game/vehicle/trigger.h"
#include "tests/fuzz/fuzz_support.h"

namespace
{

constexpr int32_t ONE = 0x10000;
constexpr int kColumns = 2;
constexpr int kRows = 7;
constexpr int32_t kCell = 32 * ONE;

// A car 4.0 long, 1.4 high and 1.8 wide facing +z, centred at (x, 0.7, z), that has just moved
// by (dx, 0, dz).
void PlaceCar(CarBody& car, int32_t x, int32_t z, int32_t dx, int32_t dz)
{
    car = CarBody{};
    car.BoxSize = {4 * ONE, ONE * 14 / 10, ONE * 18 / 10};
    car.HalfSize = {2 * ONE, ONE * 7 / 10, ONE * 9 / 10};
    car.BoundingRadius = ONE * 23 / 10;
    car.OrientRow0 = {0, 0, ONE};
    car.UpAxis = {0, ONE, 0};
    car.OrientRow2 = {-ONE, 0, 0};
    car.Position = {x, ONE * 7 / 10, z};
    car.PositionPrev = {FfSub(x, dx), ONE * 7 / 10, FfSub(z, dz)};
    car.Velocity = {dx, 0, dz};
    FfMatSetRow0(&car.OrientRow0, &car.Matrix);
    FfMatSetRow1(&car.UpAxis, &car.Matrix);
    FfMatSetRow2(&car.OrientRow2, &car.Matrix);
    FfMatSetPosition(&car.Position, &car.Matrix);
    car.pMatrix = &car.Matrix;
    for (int i = 0; i < CAR_POINTS; ++i)
    {
        const int32_t f = i & 2 ? -car.HalfSize.x : car.HalfSize.x;
        const int32_t s = i & 1 ? -car.HalfSize.z : car.HalfSize.z;
        const int32_t y = i & 4 ? 2 * car.HalfSize.y : 0;
        car.ContactPoint[i] = {FfAdd(x, s), y, FfAdd(z, f)};
        car.ContactPointStart[i] = {FfSub(FfAdd(x, s), dx), y, FfSub(FfAdd(z, f), dz)};
    }
    car.nCurrentBlock = DkGetTrackBlockIndex(x, 0, z);
}

void WalkEveryBlock(void)
{
    CarBody& car = gaCarBody[0];
    for (int b = 0; b < kColumns * kRows; ++b)
    {
        const DK_VECTOR& centre = gaTrackBlocks[b].Reference;
        PlaceCar(car, centre.x, centre.z, 0, ONE / 2);
        for (int tick = 0; tick < 2; ++tick)
            Trigger_ProcessCar(&car, &gaCarMechanics[0], tick);
    }
    // Cars over an end of each of the first lines, and across their middles coming from either
    // side, for the end-point, crossing and wall geometry.
    for (int32_t i = 0; i < gnNumWallLines && i < 16; ++i)
    {
        const TrackTrigger r = gpWallLines[i];
        PlaceCar(car, FfAdd(r.ax, ONE / 3), FfSub(r.az, ONE / 5), 0, ONE / 2);
        Trigger_ProcessCar(&car, &gaCarMechanics[0], i & 7);
        const int32_t mx = FfAdd(r.ax / 2, r.bx / 2), mz = FfAdd(r.az / 2, r.bz / 2);
        for (int32_t side : {ONE / 2, -ONE / 2})
        {
            const int32_t nx = FfMul(r.nx, side), nz = FfMul(r.nz, side);
            PlaceCar(car, FfAdd(mx, nx), FfAdd(mz, nz), FfNeg(nx), FfNeg(nz));
            car.WallHitPrev = i & 1;
            Trigger_ProcessCar(&car, &gaCarMechanics[0], i & 7);
        }
    }
}

} // namespace

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
    if (pRecords != nullptr)
    {
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c)
                gaTrackBlocks[r * kColumns + c].Reference = {-16 * ONE + c * kCell, 0,
                                                             208 * ONE - r * kCell};
        guNumTrackBlocks = kColumns * kRows;
        DkInitialiseTrackBlocks();
        WalkEveryBlock();
        gnNumCatsEyes = 3;
        Trigger_MirrorRecords();
        WalkEveryBlock();
        DkCallAllDestructors();
        DkClearTrackBlocks();
    }
    Points_Load(data, static_cast<uint32_t>(size));
    Points_Destructor();
    gpWallLines = nullptr;
    gnNumWallLines = 0;
    DkHeapReset();
    return 0;
}
