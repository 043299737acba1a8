// The stage's load time: the data kit's demo stage as the game names it ("NZ\1\NZ1"), loaded
// through the fourteen stage-file rows onto a fresh 640x480x16 display each time (the display's
// set-up and teardown not timed); and the whole display set-up of the stage on the data kit's
// demo installation, from no display to the faded-in stage (its teardown not timed); and one
// race frame of the loaded stage (the blend, the snapshot and the viewport drawn, no flip).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "engine/common/dk_actor.h"
#include "engine/include/dk_entries.h"
#include "engine/pc/core/dk_file.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/dk_rendr.h"
#include "game/effects/sun.h"
#include "game/race/display.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/interp.h"
#include "game/race/loading.h"
#include "game/race/pertick.h"
#include "platform/d3d/d3d.h"
#include "tools/bench/bench_install.h"
#include "tools/bench/stage_frame.h"
#include "tools/datakit/file_io.h"
#include "tools/datakit/stage_files_writer.h"
#include "tools/datakit/stage_writer.h"

namespace
{
namespace fs = std::filesystem;

// The data under a fresh directory, which becomes the working directory the stage path is
// relative to.
void WriteData()
{
    static const bool boWritten = []
    {
        char pattern[] = "/tmp/dezor-bench-load-XXXXXX";
        const std::string dir = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        stage::WriteData(dir);
        const fs::path stageDir = fs::path(dir) / "NZ" / "1";
        datakit::WriteDemoStage(stageDir, "NZ1");
        datakit::WriteFileAtomically(stageDir / "NZ1.ars",
                                     datakit::FormatHorizonRecord(datakit::DemoHorizonRecord()));
        datakit::WriteFileAtomically(stageDir / "NZ1.anm",
                                     datakit::FormatAnimations(datakit::DemoAnimations()));
        return chdir(dir.c_str()) == 0;
    }();
    (void)boWritten;
}

void StageLoad(benchmark::State& state)
{
    WriteData();
    stage::DisplayOptions options;
    std::string problem;
    for (auto _ : state)
    {
        state.PauseTiming();
        stage::CloseDisplay();
        if (!stage::OpenDisplay(options, &problem))
        {
            state.SkipWithError(problem.c_str());
            break;
        }
        DkCreateWorldActor();
        char path[STAGE_PATH_LENGTH] = "NZ\\1\\NZ1.BFP";
        state.ResumeTiming();
        LoadStageData(path, path + std::strlen(path) - 4);
        benchmark::DoNotOptimize(path);
    }
    stage::CloseDisplay();
}

// One player on a 640x480 screen with the full-detail car.
std::array<uint8_t, DK_GAME_DATA_SIZE> gaGameData{};

// A fresh display with the game's entries and the installation's hard disk, nothing on screen;
// FALSE (the benchmark skipped) when the display cannot be made.
bool PrepareStageDisplay(benchmark::State& state, const std::string& hardDisk)
{
    stage::DisplayOptions options;
    std::string problem;
    stage::CloseDisplay();
    if (!stage::PrepareDisplay(options, &problem))
    {
        state.SkipWithError(problem.c_str());
        return false;
    }
    DK_ENTRIES entries{};
    entries.GetGameData = [] { return static_cast<const uint8_t*>(gaGameData.data()); };
    DkRegisterEntries(&entries);
    DkSetHardDrivePath(hardDisk.c_str());
    return true;
}

void WholeStage(benchmark::State& state)
{
    const std::string hardDisk = bench::InstallDemoOnce();
    gaGameData[GD_SCREEN_SIZE] = 2;
    gaGameData[GD_CAR_RESOLUTION] = 1;
    for (auto _ : state)
    {
        state.PauseTiming();
        if (!PrepareStageDisplay(state, hardDisk))
            break;
        state.ResumeTiming();
        DispInitStage();
        if (!gboStageInitialised)
        {
            state.SkipWithError("the stage did not load");
            break;
        }
    }
    stage::CloseDisplay();
}

// One race frame of the demo stage at 640x480x16 as the race's display draws it, without the
// flip and its wait: the blend and the snapshot in the critical section, the viewport with its
// display and the start's light, the scene through the player's camera, the drawing finished.
void RaceFrame(benchmark::State& state)
{
    const std::string hardDisk = bench::InstallDemoOnce();
    gaGameData[GD_SCREEN_SIZE] = 2;
    gaGameData[GD_CAR_RESOLUTION] = 1;
    gaGameData[GD_OBJECT_PRIORITY] = 2;
    if (!PrepareStageDisplay(state, hardDisk))
        return;
    // The stage's start lights the world before the stage loads.
    InitialiseAmbientLight();
    DispInitStage();
    if (!gboStageInitialised)
    {
        state.SkipWithError("the stage did not load");
        return;
    }
    GameHandler_SetStateForTests(GAME_STATE_RACE);
    // Two ticks fill the snapshots the frame blends.
    UpdateMechanics();
    UpdateMechanics();
    int32_t xFraction = 0;
    const uint32_t uTrianglesBefore = stage::TrianglesDrawn();
    for (auto _ : state)
    {
        DkEnterCriticalSection();
        InterpolateSceneForDisplay(xFraction);
        Disp_TakeFrameSnapshot(xFraction);
        DkExitCriticalSection();
        DkSetDrawingFrame(1);
        Disp_RenderFrame(FALSE, FALSE, TRUE);
        D3dFinishDrawing();
        xFraction = (xFraction + 0x1000) & 0xFFFF;
    }
    state.counters["views"] = Disp_GetFrameRecordForTests().nRenders;
    if (state.iterations() > 0)
        state.counters["triangles"] =
            static_cast<double>(stage::TrianglesDrawn() - uTrianglesBefore) /
            static_cast<double>(state.iterations());
    stage::CloseDisplay();
}

} // namespace

BENCHMARK(RaceFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(WholeStage)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(StageLoad)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_MAIN();
