// Replay files, loaded through the file layer as the stage loader loads a ".REP", then played:
// each input starts on a fresh heap with two cars of the data kit's model on flat tarmac (the
// loaded block lives on the main heap, which gives nothing back before a reset), and a file the
// loader takes plays from scene 0 after a held start for 50 ticks of the car step, on the car
// its header names folded onto the two; the tables are then emptied. The header's padding
// (bytes 30 and 31), which the loader does not read, picks whether every car moves objects and
// the held ticks.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_rand.h"
#include "engine/common/matrixop.h"
#include "engine/pc/3d/dk_mats.h"
#include "game/hud/catseye.h"
#include "game/race/gameflow.h"
#include "game/race/replay.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"
#include "game/vehicle/knockedover.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/bench/car_drive.h"

namespace
{
constexpr int kCars = 2;
constexpr int kTicks = 50;

// The stage as the replay meets it: the ground, both cars set up, their damage records built
// and the cars released, as at the lights.
void SetUpStage()
{
    // The last input's actors, models and materials go before the heap that holds them.
    DkKillAllObjects();
    MaterialDestructor();
    DkHeapReset();
    DkTempHeapReset();
    CarModel_ClearAll();
    CarModel_SetStepRate(25 << 16);
    DkSRand(1);
    for (DamageRecord& record : gaDamage)
        record = DamageRecord{};
    for (int n = 0; n < kCars; ++n)
    {
        for (HitObject& object : gaHitObjects[n])
            object = HitObject{};
        gaCatsEyeHead[n] = gaNearestCheckpoint[n] = gaStartHold[n] = 0;
    }
    DK_ACTOR* pWorld = DkCreateWorldActor();
    if (pWorld == nullptr || !drive::LoadGround("flat-tarmac"))
        __builtin_trap();
    for (int n = 0; n < kCars; ++n)
        if (!drive::SetUpCar(pWorld, n, n, 6.0 * n, 0.0, 20.0, 0))
            __builtin_trap();
    gnNumMechCars = kCars;
    InitialiseDamage();
    for (int n = 0; n < kCars; ++n)
        drive::ReleaseCar(n);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = []
    {
        fuzz::InitEngineHeaps(2 * 1024 * 1024, 256 * 1024);
        DkInitialiseTrigTables();
        Replay_Init();
        return fuzz::DriveCPath("input.rep");
    }();
    fuzz::WriteFile(path, data, size);
    SetUpStage();
    gboAllCarsMoveObjects = size > 30 && (data[30] & 1) != 0 ? TRUE : FALSE;

    ReplayHeader* pReplay = Replay_LoadFile("c:\\input.rep");
    if (pReplay != nullptr)
    {
        const int nCar = Replay_GetByte(pReplay, REPLAY_CAR) % kCars;
        const int nHold = 2 + (data[31] & 3);
        (void)Replay_CountFrames(pReplay);
        if (Replay_StartPlayback(pReplay, 0, nHold, nCar))
        {
            const int16_t anList[kCars] = {0, 1};
            for (int nTick = 0; nTick < kTicks && Replay_IsPlaying(pReplay); ++nTick)
            {
                Replay_StepAllPlaybacks();
                drive::Tick(anList, kCars);
            }
            (void)Replay_HasPlayed(pReplay);
        }
    }
    Replay_Destructor();
    return 0;
}
