// One race tick of the demo stage: UpdateMechanics on the data kit's demo installation, the
// stage set up by DispInitStage as a game start does, with one player's car and with two
// players sharing the screen (game type 1, no collisions between the cars), each car driving.
//
// What a tick covers: the holds, the snapshots' shift, the car step (controls, the car model,
// the ground queries of wheels and body), the objects, the collisions with the track's objects,
// the triggers, the wheels' spin, the body and the drawn body, the cat's eyes, the effects, the
// cameras and the force feedback of every player. Not covered: the keys (the accelerator is
// written into the car's input word before each tick, as the keys would), the start lights
// (each car is released in first gear and its stage clock started as the lights going out do)
// and drawing.
// Unsteered, a car soon leaves the road for the verges and hills beside it; it is put back where
// it stood after the lights every kPutBack ticks (not timed), before it runs off the end of the
// stage's ground, so that every tick has the ground under its wheels.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <string>

#include "engine/include/dk_entries.h"
#include "engine/include/dk_services.h"
#include "engine/pc/core/dk_file.h"
#include "game/race/display.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/gmhndlr.h"
#include "game/race/keys.h"
#include "game/race/loading.h"
#include "game/race/pertick.h"
#include "game/race/splttime.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/carcontrol.h"
#include "tools/bench/bench_install.h"
#include "tools/bench/stage_frame.h"

namespace
{

// Sixteen seconds of driving at 25 ticks a second: about 1,000 along the stage.
constexpr int kPutBack = 400;

// A 640x480 screen with the full-detail car.
std::array<uint8_t, DK_GAME_DATA_SIZE> gaGameData{};
int gnGameType = 0;

// Holds the accelerator of the stage's cars down.
void HoldAccelerator(int nCars)
{
    for (int n = 0; n < nCars; ++n)
    {
        CarMechanics& m = gaCarMechanics[n];
        m.InputAccel = KEY_FULL_LEVEL;
        m.InputBrake = 0;
        m.InputHandbrake = 0;
        m.InputSteerLeft = m.InputSteerRight = 0;
    }
}

void RaceTick(benchmark::State& state)
{
    const int nPlayers = static_cast<int>(state.range(0));
    const std::string hardDisk = bench::InstallDemoOnce();
    gaGameData[GD_SCREEN_SIZE] = 2;
    gaGameData[GD_CAR_RESOLUTION] = 1;
    gaGameData[GD_OBJECT_PRIORITY] = 2;
    gnGameType = nPlayers == 2 ? 1 : 0;
    gaGameData[GD_GAME_TYPE] = static_cast<uint8_t>(gnGameType);

    stage::DisplayOptions options;
    std::string problem;
    stage::CloseDisplay();
    if (!stage::PrepareDisplay(options, &problem))
    {
        state.SkipWithError(problem.c_str());
        return;
    }
    DK_ENTRIES entries{};
    entries.GetGameData = [] { return static_cast<const uint8_t*>(gaGameData.data()); };
    entries.GetGameType = [] { return gnGameType; };
    DkRegisterEntries(&entries);
    DkSetHardDrivePath(hardDisk.c_str());
    gNumberOfPlayers = nPlayers;

    DispInitStage();
    if (!gboStageInitialised || gnNumMechCars != nPlayers)
    {
        state.SkipWithError("the stage did not load with the players' cars");
        stage::CloseDisplay();
        return;
    }
    GameHandler_SetStateForTests(GAME_STATE_RACE);
    // The lights go out: each car released in first gear with its gear's ratio, its clock
    // running; in first it drives off and changes up.
    for (int n = 0; n < nPlayers; ++n)
    {
        StartSeq_SetHoldingForTests(n, FALSE);
        gaCarMechanics[n].Started = 1;
        gaCarMechanics[n].Gear = 1;
        CarModel_ApplyGearRatio(&gaCarMechanics[n]);
        StageTimer_Start(n);
    }
    // Two ticks fill the snapshots; the cars as they stand are where they are put back to.
    HoldAccelerator(nPlayers);
    UpdateMechanics();
    UpdateMechanics();
    std::array<CarBody, 2> aBodies{};
    std::array<CarMechanics, 2> aMechanics{};
    for (int n = 0; n < nPlayers; ++n)
    {
        aBodies[n] = gaCarBody[n];
        aMechanics[n] = gaCarMechanics[n];
    }

    int nTicks = 0;
    int64_t nSpeedSum = 0;
    int64_t nSpeeds = 0;
    for (auto _ : state)
    {
        if (nTicks == kPutBack)
        {
            state.PauseTiming();
            for (int n = 0; n < nPlayers; ++n)
            {
                gaCarBody[n] = aBodies[n];
                gaCarMechanics[n] = aMechanics[n];
            }
            nTicks = 0;
            state.ResumeTiming();
        }
        HoldAccelerator(nPlayers);
        benchmark::DoNotOptimize(UpdateMechanics());
        ++nTicks;
        nSpeedSum += gaCarBody[0].Speed;
        ++nSpeeds;
    }
    // The first car's mean speed over the ticks (the car model's units), a check that it drove.
    if (nSpeeds > 0)
        state.counters["speed"] = static_cast<double>(nSpeedSum) / static_cast<double>(nSpeeds);
    gNumberOfPlayers = 1;
    stage::CloseDisplay();
}

} // namespace

BENCHMARK(RaceTick)->ArgName("players")->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK_MAIN();
