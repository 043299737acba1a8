// The stage files' load time: the data kit's demo stage as the game names it ("NZ\1\NZ1"),
// loaded through the fourteen stage-file rows onto a fresh 640x480x16 display each time (the
// display's set-up and teardown are not timed).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "engine/common/dk_actor.h"
#include "game/race/loading.h"
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

} // namespace

BENCHMARK(StageLoad)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_MAIN();
