// The real program, started headless as a player or a second copy would start it.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <cstdlib>
#include <span>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/time/time.h"
#include "platform/win/win.h"
#include "tests/integration/drive_plan_run.h"
#include "tests/support/png_read.h"
#include "tests/support/test_env.h"
#include "tests/support/xvfb.h"
#include "tools/datakit/install.h"
#include "tools/datakit/replay_writer.h"

extern char** environ;

namespace
{

const std::string kBangs(48, '!');

struct Process
{
    pid_t pid = -1;
    std::string stderrPath;
};

// Starts dezor with the test's environment plus SDL's dummy drivers, standard error to a file;
// with `debugger`, DEZOR_DEBUG=1 lets the engine's debugger output through as well. Without
// `display`, nothing names a display or a video driver, as on a machine without one.
Process Start(const TestEnv& env, const std::string& name, const std::string& script,
              const std::string& captureDir = "", bool debugger = true, bool display = true)
{
    SavedVariable x11("DISPLAY"), wayland("WAYLAND_DISPLAY"), driver("SDL_VIDEODRIVER");
    Process p;
    std::string scriptPath = env.Path(name + ".input");
    WriteWholeFile(scriptPath, script);
    p.stderrPath = env.Path(name + ".stderr");

    if (display)
        setenv("SDL_VIDEODRIVER", "dummy", 1);
    else
    {
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("DEZOR_INPUT", scriptPath.c_str(), 1);
    unsetenv("DEZOR_LOG");
    if (captureDir.empty())
        unsetenv("DEZOR_CAPTURE");
    else
        setenv("DEZOR_CAPTURE", captureDir.c_str(), 1);
    const char* was = std::getenv("DEZOR_DEBUG");
    const std::string debugWas = was != nullptr ? was : "";
    if (debugger)
        setenv("DEZOR_DEBUG", "1", 1);
    else
        unsetenv("DEZOR_DEBUG");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, p.stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    char* argv[] = {const_cast<char*>(DEZOR_BINARY), nullptr};
    int rc = posix_spawn(&p.pid, DEZOR_BINARY, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    unsetenv("DEZOR_INPUT");
    unsetenv("DEZOR_CAPTURE");
    if (was != nullptr)
        setenv("DEZOR_DEBUG", debugWas.c_str(), 1);
    else
        unsetenv("DEZOR_DEBUG");
    EXPECT_EQ(rc, 0) << "cannot start " << DEZOR_BINARY;
    return p;
}

// A game started at once by the game data hook (gameData) on a fresh demo installation, with its
// states traced into NAME.trace and the debugger's output on standard error.
// The finishing times go to NAME.results, the frames (with captureDir) there. With replayFile,
// that file is the demo stage's replay.
Process StartOnDemo(const TestEnv& env, const std::string& name, const char* gameData,
                    const std::string& script, const std::string& captureDir = "",
                    const std::string& replayFile = "")
{
    const datakit::InstallSummary demo = datakit::InstallDemo(env.Path("demo"));
    if (!replayFile.empty())
        for (const std::filesystem::path& file : demo.files)
            if (file.filename() == "NZ1.REP")
                std::filesystem::copy_file(replayFile, file,
                                           std::filesystem::copy_options::overwrite_existing);
    SavedVariable registry("DEZOR_REGISTRY"), hook("DEZOR_GAME_DATA"), tracePath("DEZOR_TRACE"),
        results("DEZOR_RESULTS");
    setenv("DEZOR_REGISTRY", demo.registryFile.c_str(), 1);
    setenv("DEZOR_GAME_DATA", gameData, 1);
    setenv("DEZOR_TRACE", env.Path(name + ".trace").c_str(), 1);
    setenv("DEZOR_RESULTS", env.Path(name + ".results").c_str(), 1);
    if (!captureDir.empty())
        std::filesystem::create_directories(captureDir);
    return Start(env, name, script, captureDir, true);
}

// How many reports (failed assertions) standard error holds.
size_t CountReports(const std::string& errors)
{
    size_t uReports = 0;
    for (size_t at = 0; (at = errors.find("ASSERT() failed!", at)) != std::string::npos; ++at)
        ++uReports;
    return uReports;
}

// The exit status, or -1 when the process did not end within the time allowed.
int WaitFor(const Process& p, int seconds)
{
    for (int i = 0; i < seconds * 100; ++i)
    {
        int status = 0;
        pid_t done = waitpid(p.pid, &status, WNOHANG);
        if (done == p.pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        Sleep(10);
    }
    kill(p.pid, SIGKILL);
    waitpid(p.pid, nullptr, 0);
    return -1;
}

TEST(DezorRunTest, AHeadlessRunStartsReportsAndEndsCleanly)
{
    TestEnv env;
    Process p = Start(env, "run", "100 tap ESCAPE\n");
    ASSERT_EQ(WaitFor(p, 60), 0);

    std::string err = ReadWholeFile(p.stderrPath);
    std::string block = "\n" + kBangs + "\nASSERT() failed!\n";
    size_t start = err.find(block);
    ASSERT_NE(start, std::string::npos) << err;
    size_t message = err.find("\nTRYBOOLS SHOULD NOW BE DISABLED !!!!!!!\n", start);
    size_t end = err.find("\n" + kBangs + "\n\n", start + block.size());
    EXPECT_NE(message, std::string::npos) << err;
    EXPECT_LT(message, end) << "the message stands between the two rows";

    ASSERT_TRUE(FileExists(env.DriveC() + "/error.txt"));
    EXPECT_EQ(ReadWholeFile(env.DriveC() + "/error.txt"), "");
}

// What the engine writes for a debugger is dropped without one: a player's start and exit
// leaves standard error empty.
TEST(DezorRunTest, WithoutADebuggerARunLeavesStandardErrorEmpty)
{
    TestEnv env;
    Process p = Start(env, "quiet", "100 tap ESCAPE\n", "", false);
    ASSERT_EQ(WaitFor(p, 60), 0);
    EXPECT_EQ(ReadWholeFile(p.stderrPath), "");
}

// A capture directory that cannot be made (it would lie under a regular file) is reported
// once, not at every one of the frames presented.
TEST(DezorRunTest, AnUnwritableCaptureDirectoryIsReportedOnce)
{
    TestEnv env;
    WriteWholeFile(env.Path("plain"), "a file, not a directory");
    const std::string frames = env.Path("plain/frames");
    Process p = Start(env, "badcapture", "400 tap ESCAPE\n", frames, false);
    ASSERT_EQ(WaitFor(p, 60), 0);
    EXPECT_EQ(ReadWholeFile(p.stderrPath), "dezor: cannot write the frame " + frames +
                                               "/frame-00001.png; no more frames are captured\n");
}

// With no display the program does not run unseen: it says so and fails, after the usual
// shutdown (the log file is closed as ever).
TEST(DezorRunTest, WithoutADisplayItSaysSoAndFails)
{
    TestEnv env;
    Process p = Start(env, "nodisplay", "5000 tap ESCAPE\n", "", false, false);
    EXPECT_EQ(WaitFor(p, 60), 1);
    EXPECT_EQ(ReadWholeFile(p.stderrPath),
              "dezor: no display found (DISPLAY is not set); start it from a desktop session, or "
              "set SDL_VIDEODRIVER=dummy to run without one\n");
    EXPECT_TRUE(FileExists(env.DriveC() + "/error.txt"));
}

// A window destroyed from outside (not asked to close) ends the game as a quit does: the
// usual shutdown, no X error, status 0. On a virtual X display, where the game runs on the
// X11 driver as on a desktop.
TEST(DezorRunTest, AWindowDestroyedFromOutsideEndsTheGameAsAQuit)
{
    if (!HaveXvfbRun())
        GTEST_SKIP() << "xvfb-run is not installed";
    TestEnv env;
    const std::string scriptPath = env.Path("long.input");
    WriteWholeFile(scriptPath, "60000 end\n");
    const std::string errPath = env.Path("destroyed.stderr");
    SavedVariable driver("SDL_VIDEODRIVER"), input("DEZOR_INPUT"), debug("DEZOR_DEBUG"),
        asan("ASAN_OPTIONS");
    unsetenv("SDL_VIDEODRIVER");
    // The system's GL driver is unloaded at exit and leaves allocations LeakSanitizer cannot
    // name (any run on a real display does); the leak check belongs to the headless tests.
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    unsetenv("DEZOR_DEBUG");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("DEZOR_INPUT", scriptPath.c_str(), 1);

    // The shell's status is the game's; 99 when the window never came.
    const char* shell = "\"$0\" & pid=$!; \"$1\" \"Dravik Dezor\" || { kill $pid; exit 99; }; "
                        "wait $pid";
    Process p;
    p.stderrPath = errPath;
    p.pid = SpawnUnderXvfb(env, {"sh", "-c", shell, DEZOR_BINARY, X11_CLOSE_WINDOW}, errPath);
    ASSERT_GT(p.pid, 0);

    int status = WaitFor(p, 90);
    if (status == -1)
        kill(-p.pid, SIGKILL);
    EXPECT_EQ(status, 0) << ReadWholeFile(errPath);
    EXPECT_EQ(ReadWholeFile(errPath).find("X Error"), std::string::npos);
    EXPECT_TRUE(FileExists(env.DriveC() + "/error.txt"));
}

TEST(DezorRunTest, TheDisplayShowsFramesThatACaptureSaves)
{
    TestEnv env;
    const std::string frames = env.Path("frames");
    std::filesystem::create_directories(frames);
    Process p = Start(env, "capture", "400 tap ESCAPE\n", frames);
    ASSERT_EQ(WaitFor(p, 60), 0) << ReadWholeFile(p.stderrPath);

    std::string png = ReadWholeFile(frames + "/frame-00001.png");
    std::vector<BYTE> rgb;
    DWORD width = 0, height = 0;
    ASSERT_TRUE(DecodePng(png, rgb, width, height)) << "the first frame was saved";
    // The 640x480 display of the front end.
    EXPECT_EQ(width, 640u);
    EXPECT_EQ(height, 480u);
}

TEST(DezorRunTest, ASecondCopyReturnsAtOnceAndLeavesTheLogUntouched)
{
    TestEnv env;
    // The first copy runs until it is told to stop.
    Process first = Start(env, "first", "600000 end\n");
    bool up = false;
    for (int i = 0; i < 3000 && !up; ++i)
    {
        up = FindWindowA("Dravik Dezor", "Dravik Dezor") != nullptr;
        if (!up)
            Sleep(10);
    }
    ASSERT_TRUE(up) << ReadWholeFile(first.stderrPath);

    const std::string logPath = env.DriveC() + "/error.txt";
    WriteWholeFile(logPath, "written while the first copy runs");

    Process second = Start(env, "second", "");
    EXPECT_EQ(WaitFor(second, 30), 0);
    EXPECT_EQ(ReadWholeFile(second.stderrPath), "") << "the second copy reports nothing";
    EXPECT_EQ(ReadWholeFile(logPath), "written while the first copy runs");

    // An interrupt from the system ends the first copy normally.
    kill(first.pid, SIGINT);
    EXPECT_EQ(WaitFor(first, 60), 0);
    EXPECT_EQ(FindWindowA("Dravik Dezor", "Dravik Dezor"), nullptr);
}

// The game data hook starts a game at once: the front end hands its passes to the game
// handler, whose ticks the trace records, and the input script still ends the program. Return
// at the test card starts one the same way.
TEST(DezorRunTest, AGameStartedByTheHookOrByReturnRunsUntilTheScriptEnds)
{
    struct Case
    {
        const char* name;
        const char* gameData; // nullptr: no hook
        const char* script;
    };
    const Case cases[] = {
        {"hook", "20=0,358=0x00,0x2c=0", "1500 end\n"},
        {"optimised", "20=1", "1500 end\n"},
        {"return", nullptr, "300 tap RETURN\n1500 end\n"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        TestEnv env;
        const std::string trace = env.Path(std::string(c.name) + ".trace");
        SavedVariable hook("DEZOR_GAME_DATA"), tracePath("DEZOR_TRACE");
        if (c.gameData != nullptr)
            setenv("DEZOR_GAME_DATA", c.gameData, 1);
        else
            unsetenv("DEZOR_GAME_DATA");
        setenv("DEZOR_TRACE", trace.c_str(), 1);
        Process p = Start(env, c.name, c.script, "", false);
        ASSERT_EQ(WaitFor(p, 60), 0) << ReadWholeFile(p.stderrPath);
        EXPECT_EQ(ReadWholeFile(p.stderrPath), "");
        ASSERT_TRUE(FileExists(trace));
        // With no welcome screen to show, the game goes through its set-up and the stage's
        // initialisation into the race, where it stays.
        const std::string lines = ReadWholeFile(trace);
        EXPECT_EQ(lines.rfind("state 3 next 4\nstate 4 next 5\n", 0), 0u) << lines.substr(0, 200);
        EXPECT_NE(lines.find("state 5 next 5"), std::string::npos) << lines.substr(0, 200);
        EXPECT_EQ(lines.find("next 6"), std::string::npos);
        EXPECT_EQ(lines.find("next 8"), std::string::npos);
        EXPECT_EQ(lines.find("next 11"), std::string::npos);
    }
}

// Escape pauses the race and Shift+Q leaves the stage; a game with no stage after it (stage
// mode 3) goes back to the test card, where Return starts the next one.
TEST(DezorRunTest, ShiftQInThePauseLeavesTheGameForTheTestCardAndReturnStartsAnother)
{
    TestEnv env;
    const std::string trace = env.Path("again.trace");
    SavedVariable hook("DEZOR_GAME_DATA"), tracePath("DEZOR_TRACE");
    setenv("DEZOR_GAME_DATA", "358=3", 1);
    setenv("DEZOR_TRACE", trace.c_str(), 1);
    // The stage's display, 3D device and heaps are all let go on the way back: the leak check
    // of a sanitized build sees nothing left of the first game.
    Process p = Start(env, "again",
                      "5000 down ESCAPE\n5200 up ESCAPE\n6000 down SHIFT\n6100 down Q\n"
                      "6400 up Q\n6500 up SHIFT\n8000 tap RETURN\n11000 end\n",
                      "", false);
    ASSERT_EQ(WaitFor(p, 60), 0) << ReadWholeFile(p.stderrPath);
    const std::string lines = ReadWholeFile(trace);
    const size_t pause = lines.find("state 5 next 10 ");
    ASSERT_NE(pause, std::string::npos) << lines.substr(0, 200);
    const size_t leave = lines.find("state 10 next 11 ", pause);
    ASSERT_NE(leave, std::string::npos) << lines.substr(pause, 300);
    const size_t over = lines.find("state 11 next 12 ", leave);
    ASSERT_NE(over, std::string::npos) << lines.substr(leave, 300);
    EXPECT_NE(lines.find("state 3 next 4", over), std::string::npos)
        << "a second game: " << lines.substr(over, 300);
}

// On the demo installation a game started by the hook loads the demo stage and races it: the
// set-up screen and the stage's initialisation, then the race, where it stays, reporting
// nothing.
TEST(DezorRunTest, OnTheDemoInstallationTheGameRacesTheDemoStage)
{
    TestEnv env;
    // The reports go to standard error: the only one is the start-up's own notice.
    Process p = StartOnDemo(env, "demo", "358=0", "4000 end\n");
    ASSERT_EQ(WaitFor(p, 60), 0) << ReadWholeFile(p.stderrPath);
    const std::string errors = ReadWholeFile(p.stderrPath);
    EXPECT_EQ(CountReports(errors), 1u) << errors;
    EXPECT_NE(errors.find("TRYBOOLS SHOULD NOW BE DISABLED"), std::string::npos) << errors;
    const std::string lines = ReadWholeFile(env.Path("demo.trace"));
    ASSERT_EQ(lines.rfind("state 3 next 4\nstate 4 next 5", 0), 0u) << lines.substr(0, 200);
    int nRace = 0;
    for (size_t at = lines.find("\nstate 4 next 5") + 1;
         (at = lines.find('\n', at)) != std::string::npos;)
    {
        ++at;
        if (at >= lines.size())
            break;
        ASSERT_EQ(lines.compare(at, 15, "state 5 next 5 "), 0) << lines.substr(at, 100);
        ++nRace;
    }
    EXPECT_GT(nRace, 25) << "a second of the race at least";
}

// The demo race driven by the keys: the car accelerates, changes up and steers, the change-view
// key blends through the cameras, and a pause comes and goes, while the ticks run on the timer
// thread beside the frames. It reports nothing but the start-up's notice and ends cleanly (under
// ThreadSanitizer too, where any race the two threads run makes the exit status fail).
TEST(DezorRunTest, TheDemoRaceDrivenByTheKeysRunsCleanBesideItsFrames)
{
    TestEnv env;
    // The conventional pacing: the ticks on the timer thread.
    Process p = StartOnDemo(env, "driven", "358=0,20=0",
                            "3000 down UP\n4000 down NUMPAD6\n4200 up NUMPAD6\n4500 down NUMPAD8\n"
                            "4700 up NUMPAD8\n5000 down LEFT\n5600 up LEFT\n6000 down NUMPAD6\n"
                            "6200 up NUMPAD6\n7000 down NUMPAD6\n7200 up NUMPAD6\n8000 up UP\n"
                            "8200 down ESCAPE\n8400 up ESCAPE\n9000 down ESCAPE\n9200 up ESCAPE\n"
                            "9500 down UP\n11000 end\n");
    ASSERT_EQ(WaitFor(p, 120), 0) << ReadWholeFile(p.stderrPath);
    const std::string errors = ReadWholeFile(p.stderrPath);
    EXPECT_EQ(CountReports(errors), 1u) << errors;
    const std::string lines = ReadWholeFile(env.Path("driven.trace"));
    EXPECT_NE(lines.find("state 5 next 10"), std::string::npos) << "the pause";
    EXPECT_NE(lines.find("state 10 next 5"), std::string::npos) << "back to the race";
}

// The states a trace passed through (those that ticked and the last one next), each once, in
// the order first reached.
std::vector<int> StatesReached(const std::string& trace)
{
    std::vector<int> states;
    for (size_t at = 0; at < trace.size();)
    {
        int anStates[2] = {-1, -1};
        if (std::sscanf(trace.c_str() + at, "state %d next %d", &anStates[0], &anStates[1]) == 2)
            for (int nState : anStates)
                if (std::find(states.begin(), states.end(), nState) == states.end())
                    states.push_back(nState);
        const size_t next = trace.find('\n', at);
        at = next == std::string::npos ? trace.size() : next + 1;
    }
    return states;
}

// The first player's stage time in hundredths from the results, or -1.
int StageTime(const TestEnv& env, const std::string& name)
{
    int nTime = -1;
    std::sscanf(ReadWholeFile(env.Path(name + ".results")).c_str(), "%d", &nTime);
    return nTime;
}

// The demo stage driven with the keys from the lights to the finish, twice. The script's keys
// count from the lights going out, so the drive does not depend on how long the loading took;
// each key change falls half a tick before the tick that reads it, and the ticks read the
// script's due keys themselves, so both runs drive the plan's drive and finish in its time.
TEST(DezorRunTest, TheDemoStageIsDrivenWithTheKeysFromTheLightsToTheFinish)
{
    TestEnv env;
    const DrivePlan plan = PlanDrive(env);
    ASSERT_GT(plan.nFinishTicks, 0) << ReadWholeFile(env.Path("plan.stderr"));
    // After the finish the stage ends, the game returns to the test card, and the script's end
    // closes the program.
    const std::string script =
        plan.script + std::to_string(plan.nFinishTicks * 40 + 8000) + " end\n";
    // The shortest time the stage's road allows the plan's cruising speed (0.9 a tick), from
    // the start at 22.5 to the finish at 1230, in hundredths.
    const int nFastest = static_cast<int>((1230.0 - 22.5) / (0.9 * 25) * 100);
    int anTimes[2] = {-1, -1};
    for (int run = 0; run < 2; ++run)
    {
        SCOPED_TRACE(run == 0 ? "the first run" : "the second run");
        const std::string name = run == 0 ? "drive" : "again";
        Process p = StartOnDemo(env, name, "20=0", script);
        ASSERT_EQ(WaitFor(p, 240), 0) << ReadWholeFile(p.stderrPath);
        const std::string errors = ReadWholeFile(p.stderrPath);
        EXPECT_EQ(CountReports(errors), 1u) << errors;
        EXPECT_EQ(StatesReached(ReadWholeFile(env.Path(name + ".trace"))),
                  (std::vector<int>{3, 4, 5, 8, 11, 12}));
        anTimes[run] = StageTime(env, name);
        // The stage clock counts hundredths, four a tick.
        EXPECT_GE(anTimes[run], nFastest);
        EXPECT_NEAR(anTimes[run], plan.nFinishTicks * 4, 5 * 4);
    }
    EXPECT_NEAR(anTimes[1], anTimes[0], 5 * 4) << "the second run finishes within a few ticks";
}

// Scene 0 of a replay file: the car's snapshot and the frames it plays.
struct ReplayScene
{
    std::vector<uint8_t> snapshot;
    std::vector<datakit::ReplayFrame> frames;
};

bool ReadScene0(const std::string& file, ReplayScene& scene)
{
    if (file.size() < datakit::kReplayHeaderSize + datakit::kReplaySnapshotSize)
        return false;
    const auto* p = reinterpret_cast<const uint8_t*>(file.data());
    const auto half = [p](size_t at) { return static_cast<int16_t>(p[at] | p[at + 1] << 8); };
    const int nScenes = half(48), nFrames = half(50);
    const size_t uFrames = datakit::kReplayHeaderSize + nScenes * datakit::kReplaySnapshotSize;
    const size_t uCounts = uFrames + static_cast<size_t>(nScenes) * nFrames * 4;
    if (nScenes < 1 || nFrames < 1 || file.size() != uCounts + 2 * nScenes)
        return false;
    const int nCount = half(uCounts);
    if (nCount < 0 || nCount > nFrames)
        return false;
    scene.snapshot.assign(p + 64, p + 64 + datakit::kReplaySnapshotSize);
    scene.frames.resize(nCount);
    for (int k = 0; k < nCount; ++k)
        std::memcpy(scene.frames[k].data(), p + uFrames + 4 * k, 4);
    return true;
}

// The frames as the data kit's runs text, one run a frame.
std::string RunsText(const std::vector<datakit::ReplayFrame>& frames)
{
    std::string text = "# The demo drive's controls from the start signal, 25 ticks a second, one "
                       "run a line:\n# TICKS ACCEL BRAKE LEFT RIGHT BUTTON1 BUTTON2 GEAR "
                       "ANALOGUE\n# Amounts in 16.16 (65536 = 1.0); ANALOGUE bit 0 steer left, "
                       "bit 1 steer right, bit 2 pedals.\n# Recorded by the game from the planned "
                       "drive of the end-to-end test (DEZOR_UPDATE_GOLDEN=1).\n";
    for (const datakit::ReplayFrame& f : frames)
    {
        const auto amount = [](int nBits, bool boAnalogue)
        { return boAnalogue ? nBits * 1024 : nBits != 0 ? 65470 : 0; };
        const bool boLeft = f[0] & 1, boRight = f[0] & 2, boPedal = f[3] & 0x80;
        const int nPedal = amount(f[3] & 0x3F, boPedal);
        const bool boAccelerator = f[3] & 0x40;
        text += std::to_string(f[2] & 0x3F) + " " + std::to_string(boAccelerator ? nPedal : 0) +
                " " + std::to_string(boAccelerator ? 0 : nPedal) + " " +
                std::to_string(amount(f[0] >> 2, boLeft)) + " " +
                std::to_string(amount(f[1] >> 2, boRight)) + " " + std::to_string(f[2] >> 7) +
                " " + std::to_string((f[2] >> 6) & 1) + " " + std::to_string((f[1] & 3) - 1) +
                " " + std::to_string((boLeft ? 1 : 0) | (boRight ? 2 : 0) | (boPedal ? 4 : 0)) +
                "\n";
    }
    return text;
}

// The cars' columns of every traced tick that has cars.
std::vector<std::string> CarLines(const std::string& trace)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < trace.size();)
    {
        const size_t end = std::min(trace.find('\n', at), trace.size());
        const size_t bar = trace.find('|', at);
        if (bar < end)
            lines.push_back(trace.substr(bar, end - bar));
        at = end + 1;
    }
    return lines;
}

// One run drives the demo stage and writes its recorder's replay through DEZOR_REPLAY_OUT; that
// recording is the data kit's demo drive (the snapshot and controls kept in tools/datakit/golden,
// rewritten from this run with DEZOR_UPDATE_GOLDEN=1); a second run plays the recorded file in
// the attract demo, and its car drives tick for tick as the first run's did.
TEST(DezorRunTest, ARecordedDriveReplaysTickForTickInTheAttractDemo)
{
    TestEnv env;
    const DrivePlan plan = PlanDrive(env);
    ASSERT_GT(plan.nFinishTicks, 0) << ReadWholeFile(env.Path("plan.stderr"));
    const std::string recorded = env.Path("recorded");
    std::filesystem::create_directories(recorded);
    {
        // The stage's random numbers (the engine's idle at the start) as when the data kit's
        // drive was recorded.
        SavedVariable out("DEZOR_REPLAY_OUT"), seed("DEZOR_RANDOM_SEED");
        setenv("DEZOR_REPLAY_OUT", recorded.c_str(), 1);
        setenv("DEZOR_RANDOM_SEED", "1", 1);
        Process p = StartOnDemo(env, "record", "20=0",
                                plan.script + std::to_string(plan.nFinishTicks * 40 + 8000) +
                                    " end\n");
        ASSERT_EQ(WaitFor(p, 240), 0) << ReadWholeFile(p.stderrPath);
    }
    const std::string replayPath = recorded + "/recorder0.REP";
    const std::string file = ReadWholeFile(replayPath);
    // The player's recorder: one scene of 7,500 frames.
    ASSERT_EQ(file.size(), 64u + 86510u + 7500u * 4u);
    ReplayScene scene;
    ASSERT_TRUE(ReadScene0(file, scene));
    int nTicks = 0;
    for (const datakit::ReplayFrame& f : scene.frames)
        nTicks += f[2] & 0x3F;
    EXPECT_GE(nTicks, plan.nFinishTicks) << "the recording holds the drive to the finish";

    const char* pszUpdate = std::getenv("DEZOR_UPDATE_GOLDEN");
    if (pszUpdate != nullptr && std::string(pszUpdate) == "1")
    {
        const std::string golden = std::string(DEZOR_SOURCE_DIR) + "/tools/datakit/golden/";
        WriteWholeFile(golden + "demo_drive.snapshot",
                       std::string(scene.snapshot.begin(), scene.snapshot.end()));
        WriteWholeFile(golden + "demo_drive.runs", RunsText(scene.frames));
    }
    else
    {
        const std::span<const uint8_t> snapshot = datakit::DemoDriveSnapshot();
        EXPECT_TRUE(std::equal(snapshot.begin(), snapshot.end(), scene.snapshot.begin(),
                               scene.snapshot.end()))
            << "the data kit's demo snapshot is not the game's: run this test with "
               "DEZOR_UPDATE_GOLDEN=1 and rebuild";
        EXPECT_TRUE(datakit::ReplayFrames(datakit::ParseReplayRuns(datakit::DemoDriveRuns())) ==
                    scene.frames)
            << "the data kit's demo drive is not the game's recording: run this test with "
               "DEZOR_UPDATE_GOLDEN=1 and rebuild";
    }

    // The attract demo plays the recorded file as the stage's replay; the script's end closes
    // the program once the replay has played through.
    Process q = StartOnDemo(env, "attract", "0=1,20=0",
                            std::to_string(nTicks * 40 + 15000) + " end\n", "", replayPath);
    ASSERT_EQ(WaitFor(q, 240), 0) << ReadWholeFile(q.stderrPath);
    EXPECT_EQ(CountReports(ReadWholeFile(q.stderrPath)), 1u) << ReadWholeFile(q.stderrPath);
    const std::string attractTrace = ReadWholeFile(env.Path("attract.trace"));
    // The demo runs in the end-stage state until the script closes the program.
    EXPECT_EQ(StatesReached(attractTrace), (std::vector<int>{3, 4, 8}));

    // From the first tick the replayed car moves, the two runs' cars agree tick for tick, past
    // the finish.
    const std::vector<std::string> driven = CarLines(ReadWholeFile(env.Path("record.trace")));
    const std::vector<std::string> replayed = CarLines(attractTrace);
    ASSERT_FALSE(replayed.empty());
    const auto moves = std::find_if(replayed.begin(), replayed.end(),
                                    [&](const std::string& s) { return s != replayed[0]; });
    ASSERT_NE(moves, replayed.end()) << "the replayed car never moves";
    const auto from = std::find(driven.begin(), driven.end(), *moves);
    ASSERT_NE(from, driven.end()) << "the replayed car's first move is not the driven car's";
    const auto agree = std::mismatch(moves, replayed.end(), from, driven.end());
    EXPECT_GE(agree.first - moves, plan.nFinishTicks)
        << "first difference: " << (agree.first != replayed.end() ? *agree.first : "") << " / "
        << (agree.second != driven.end() ? *agree.second : "");
}

// Two players share the screen, each on a keyboard layout of their own: two views side by side,
// each following its own car from behind, while each player's keys drive their own car.
TEST(DezorRunTest, TwoPlayersOnTheTwoKeyboardLayoutsEachHaveAViewAndACar)
{
    TestEnv env;
    const std::string frames = env.Path("frames");
    // Player 1 accelerates and steers left (arrows); player 2 accelerates (R) and steers right
    // (S) a moment later.
    Process p = StartOnDemo(env, "split", "20=0,358=7",
                            "0 from go\n20 down UP\n20 down R\n1500 down LEFT\n1900 up LEFT\n"
                            "2500 down S\n2900 up S\n4000 end\n",
                            frames);
    ASSERT_EQ(WaitFor(p, 120), 0) << ReadWholeFile(p.stderrPath);
    EXPECT_EQ(CountReports(ReadWholeFile(p.stderrPath)), 1u);

    // Both cars drove off, and apart: each player's keys reached their own car.
    const std::string trace = ReadWholeFile(env.Path("split.trace"));
    const size_t last = trace.rfind("state 5 next 5 ");
    ASSERT_NE(last, std::string::npos);
    int x0 = 0, y0 = 0, z0 = 0, x1 = 0, y1 = 0, z1 = 0;
    const char* pLine = trace.c_str() + last;
    const char* pCar1 = std::strstr(pLine, "| car 1 ");
    ASSERT_EQ(std::sscanf(pLine, "state 5 next 5 | car 0 %d %d %d", &x0, &y0, &z0), 3);
    ASSERT_NE(pCar1, nullptr) << "two cars";
    ASSERT_EQ(std::sscanf(pCar1, "| car 1 %d %d %d", &x1, &y1, &z1), 3);
    constexpr int kStartZ = 22 * 65536;
    EXPECT_GT(z0, kStartZ + 20 * 65536);
    EXPECT_GT(z1, kStartZ + 20 * 65536);
    EXPECT_GT(std::abs(x1 - x0), 65536) << "the two drives differ";

    // The last frame of the race: two views side by side, each with the sky above the ground,
    // and a seam where they meet.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(frames))
        names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    ASSERT_GT(names.size(), 50u);
    std::vector<BYTE> rgb;
    DWORD width = 0, height = 0;
    // The program's last frames are the test card's; the race's last lies a little before.
    bool found = false;
    for (auto it = names.rbegin(); it != names.rend() && !found; ++it)
    {
        ASSERT_TRUE(DecodePng(ReadWholeFile(*it), rgb, width, height));
        auto at = [&](DWORD x, DWORD y) { return &rgb[(y * width + x) * 3]; };
        auto sky = [&](DWORD x, DWORD y)
        {
            const BYTE* c = at(x, y);
            return c[2] > 150 && c[2] > c[0] + 20 && c[1] > 150;
        };
        const DWORD half = width / 2;
        found = sky(half / 2, 4) && sky(half + half / 2, 4) && !sky(half / 2, height - 4) &&
                !sky(half + half / 2, height - 4);
        if (!found)
            continue;
        // Where two views meet, neighbouring columns show different pictures; inside a view
        // they hardly differ.
        auto breaks = [&](DWORD x)
        {
            int nRows = 0;
            for (DWORD y = 0; y < height; ++y)
            {
                int nDiff = 0;
                for (int c = 0; c < 3; ++c)
                    nDiff += std::abs(at(x - 1, y)[c] - at(x, y)[c]);
                nRows += nDiff > 24;
            }
            return nRows;
        };
        EXPECT_GT(breaks(half), 3 * breaks(half / 2) + 10) << *it;
    }
    EXPECT_TRUE(found) << "no frame shows two views";
}

// A malformed entry of the hook is named on standard error and left out; the rest applies and
// the game starts.
TEST(DezorRunTest, AMalformedGameDataEntryIsReportedAndLeftOut)
{
    TestEnv env;
    const std::string trace = env.Path("bad.trace");
    SavedVariable hook("DEZOR_GAME_DATA"), tracePath("DEZOR_TRACE");
    setenv("DEZOR_GAME_DATA", "1732=1,20=0", 1);
    setenv("DEZOR_TRACE", trace.c_str(), 1);
    Process p = Start(env, "bad", "1000 end\n", "", false);
    ASSERT_EQ(WaitFor(p, 60), 0);
    EXPECT_EQ(ReadWholeFile(p.stderrPath),
              "DEZOR_GAME_DATA: \"1732=1\" is not offset=value (offset 0 to 1731, value 0 to "
              "255); left out\n");
    EXPECT_TRUE(FileExists(trace));
}

} // namespace
