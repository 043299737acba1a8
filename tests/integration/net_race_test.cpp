// Three real copies of the program race the demo stage over the network on 127.0.0.1: a host
// and two joiners, headless, each with its own installation, registry and window lock, brought
// together by the lobby's stand-in (DEZOR_NET) and driven by input scripts from the lights.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/integration/drive_plan_run.h"
#include "tests/support/test_env.h"
#include "tools/datakit/install.h"

extern char** environ;

namespace
{

// A port of this test's own, so that other tests hosting sessions do not meet it.
constexpr const char* kPort = "28731";
// The car-state rate the host sets and the joiners take from its settings: a state every
// (10 - 5) + 1 = 6 ticks.
constexpr int kRate = 5;
constexpr int kSendEvery = (10 - kRate) + 1;
constexpr int kTicksPerSecond = 25;
constexpr int kRemoteSlots = 7;

using Clock = std::chrono::steady_clock;

struct Machine
{
    std::string name;
    std::string net;  // DEZOR_NET
    int nDelayMs = 0; // the drive starts this long after the lights
    pid_t pid = -1;
    int nStatus = -2; // exit status, 128 + signal, or -1 when it did not end in time
};

// Starts dezor as machine m: its own demo installation, registry, drive C, window lock and
// trace, standard error to a file (with the debugger's output, DEZOR_DEBUG).
pid_t Start(const TestEnv& env, const Machine& m, const std::string& script,
            const std::map<std::string, std::string>& overrides = {})
{
    const datakit::InstallSummary demo = datakit::InstallDemo(env.Path(m.name));
    const std::string runtime = env.Path(m.name + "-run");
    mkdir(runtime.c_str(), 0700);
    WriteWholeFile(env.Path(m.name + ".input"), script);
    std::map<std::string, std::string> vars;
    for (char** p = environ; *p != nullptr; ++p)
    {
        const std::string entry = *p;
        const size_t eq = entry.find('=');
        if (eq != std::string::npos)
            vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    vars["SDL_VIDEODRIVER"] = "dummy";
    vars["SDL_AUDIODRIVER"] = "dummy";
    vars["XDG_RUNTIME_DIR"] = runtime;
    vars["DEZOR_REGISTRY"] = demo.registryFile;
    vars["DEZOR_INPUT"] = env.Path(m.name + ".input");
    vars["DEZOR_TRACE"] = env.Path(m.name + ".trace");
    vars["DEZOR_NET"] = m.net;
    vars["DEZOR_NET_TIMEOUT"] = "60";
    vars["DEZOR_DPLAY_PORT"] = kPort;
    vars["DEZOR_DPLAY_HOSTS"] = std::string("127.0.0.1:") + kPort;
    vars["DEZOR_DEBUG"] = "1";
    // The demo stage on the conventional pacing; the host's car-state rate.
    vars["DEZOR_GAME_DATA"] =
        m.net.rfind("host", 0) == 0 ? "20=0,1721=" + std::to_string(kRate) : "20=0";
    vars.erase("DEZOR_LOG");
    vars.erase("DEZOR_CAPTURE");
    vars["DEZOR_RESULTS"] = env.Path(m.name + ".results");
    for (const auto& [key, value] : overrides)
        vars[key] = value;
    if (vars["DEZOR_DEBUG"].empty())
        vars.erase("DEZOR_DEBUG");
    std::vector<std::string> entries;
    for (const auto& [key, value] : vars)
        entries.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, env.Path(m.name + ".stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    char* argv[] = {const_cast<char*>(DEZOR_BINARY), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, DEZOR_BINARY, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(rc, 0) << "cannot start " << DEZOR_BINARY;
    return rc == 0 ? pid : -1;
}

// The exit status, or -1 (the process killed) when it did not end within the time allowed.
int WaitFor(pid_t pid, int seconds)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < deadline)
    {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// The plan's keys moved nDelayMs later (they count from the lights), then the script's end.
std::string Delayed(const std::string& script, int nDelayMs, int nEndMs)
{
    std::istringstream in(script);
    std::string out, line;
    while (std::getline(in, line))
    {
        int nAt = 0;
        char rest[64] = {};
        if (line.empty() || line[0] == '#' || line.find("from go") != std::string::npos ||
            std::sscanf(line.c_str(), "%d %63[^\n]", &nAt, rest) != 2)
            out += line + "\n";
        else
            out += std::to_string(nAt + nDelayMs) + " " + rest + "\n";
    }
    return out + std::to_string(nEndMs) + " end\n";
}

struct Vec
{
    double x = 0, y = 0, z = 0;
};

double Distance(const Vec& a, const Vec& b)
{
    return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
}

// One tick of a trace: the local car (when there is one) and each remote slot's view.
struct Tick
{
    bool boCar = false;
    Vec car;
    bool aboActive[kRemoteSlots] = {};
    Vec aView[kRemoteSlots];
};

std::vector<Tick> ReadTrace(const std::string& text)
{
    std::vector<Tick> ticks;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
    {
        Tick t;
        size_t at = 0;
        while ((at = line.find(" | ", at)) != std::string::npos)
        {
            at += 3;
            int n = -1, nActive = 0, x = 0, y = 0, z = 0;
            if (std::sscanf(line.c_str() + at, "car %d %d %d %d", &n, &x, &y, &z) == 4 && n == 0)
            {
                t.boCar = true;
                t.car = {x / 65536.0, y / 65536.0, z / 65536.0};
            }
            else if (std::sscanf(line.c_str() + at, "remote %d %d %d %d %d", &n, &nActive, &x, &y,
                                 &z) == 5 &&
                     n >= 0 && n < kRemoteSlots)
            {
                t.aboActive[n] = nActive != 0;
                t.aView[n] = {x / 65536.0, y / 65536.0, z / 65536.0};
            }
        }
        ticks.push_back(t);
    }
    return ticks;
}

// The first tick whose car has left its place on the road by more than half a unit: the
// drive's first keys took hold. -1 when it never moved.
int FirstMove(const std::vector<Tick>& ticks)
{
    const Vec* pRest = nullptr;
    for (size_t i = 0; i < ticks.size(); ++i)
    {
        if (!ticks[i].boCar)
            continue;
        if (pRest == nullptr)
            pRest = &ticks[i].car;
        else if (std::hypot(ticks[i].car.x - pRest->x, ticks[i].car.z - pRest->z) > 0.5)
            return static_cast<int>(i);
    }
    return -1;
}

// The most the car moved in one tick before tick nEnd.
double TopSpeed(const std::vector<Tick>& ticks, size_t uEnd)
{
    double top = 0;
    for (size_t i = 1; i < ticks.size() && i < uEnd; ++i)
        if (ticks[i].boCar && ticks[i - 1].boCar)
            top = std::max(top, Distance(ticks[i].car, ticks[i - 1].car));
    return top;
}

// The active slots of a trace's last line.
int ActiveSlotsNow(const std::string& path)
{
    const std::vector<Tick> ticks = ReadTrace(ReadWholeFile(path));
    if (ticks.empty())
        return -1;
    return static_cast<int>(
        std::count(std::begin(ticks.back().aboActive), std::end(ticks.back().aboActive), true));
}

// The local player's stage time in hundredths from machine m's results, or -1.
int StageTime(const TestEnv& env, const std::string& name)
{
    int nTime = -1;
    std::sscanf(ReadWholeFile(env.Path(name + ".results")).c_str(), "%d", &nTime);
    return nTime;
}

size_t CountLines(const std::string& path)
{
    const std::string text = ReadWholeFile(path);
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The finishing times machine m's debugger output reports, by remote slot.
std::map<int, int> FinishesLogged(const TestEnv& env, const std::string& name)
{
    std::map<int, int> finishes;
    const std::string log = ReadWholeFile(env.Path(name + ".stderr"));
    for (size_t at = 0; (at = log.find("Network player ", at)) != std::string::npos; ++at)
    {
        int nSlot = -1;
        unsigned uTime = 0;
        if (std::sscanf(log.c_str() + at, "Network player %d finished: %u", &nSlot, &uTime) == 2)
            finishes[nSlot] = static_cast<int>(uTime);
    }
    return finishes;
}

// The lobby's stand-in fails cleanly: a setting it cannot use, or a wait that runs out, is
// said on standard error and the program ends with status 1 (the debugger's output is off, so
// standard error holds that line alone).
TEST(NetRaceTest, TheLobbyStandInSaysWhyItCannotStartAndFails)
{
    struct Case
    {
        const char* net;
        const char* timeout;
        const char* said;
    };
    const Case cases[] = {
        {"join", "2", "DEZOR_NET: no session found in time\n"},
        {"host:2", "2", "DEZOR_NET: the players did not all come in time\n"},
        {"host:1", "60", "DEZOR_NET: host:N needs N from 2 to 8\n"},
        {"host:9", "60", "DEZOR_NET: host:N needs N from 2 to 8\n"},
        {"guest", "60", "DEZOR_NET: expected host:N or join\n"},
        {"join", "0", "DEZOR_NET: DEZOR_NET_TIMEOUT needs seconds from 1 to 3600\n"},
    };
    TestEnv env;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.net) + ", time-out " + c.timeout);
        Machine m{"alone", c.net, 0};
        m.pid =
            Start(env, m, "60000 end\n", {{"DEZOR_NET_TIMEOUT", c.timeout}, {"DEZOR_DEBUG", ""}});
        ASSERT_GT(m.pid, 0);
        EXPECT_EQ(WaitFor(m.pid, 60), 1);
        EXPECT_EQ(ReadWholeFile(env.Path("alone.stderr")), c.said);
    }
}

// A host for three and two joiners race; the second joiner is killed mid-race.
//  - The handshake: every machine's car moves after the lights. A trace's lines are ticks,
//    not a clock (each machine began its stage when its loading was done), so each trace is
//    aligned on its own lights going out: its drive's first move less the drive's delay.
//  - Each machine's view of each other car follows that car's own trace, tick by tick on that
//    alignment. A view carries a state at most one send interval old (a state every kSendEvery
//    ticks), plus the time the state takes to arrive through the host (well under a tick on
//    127.0.0.1), the two machines' tick timers out of step (under a tick) and the lights
//    going out on the start message (a tick or two apart): four ticks in all. Dead reckoning
//    moves the view on the state's last displacement, so it can be no further from the car
//    than the car can go in kSendEvery + 4 ticks at its top speed. A machine whose lights went
//    out before the start message, or a view of the wrong car (the drives start 25 ticks, 22
//    units, apart), fails the bound.
//  - The finishing times of the two who finish reach each other.
//  - The killed joiner's slot goes inactive on both others within the transport's time-out
//    (5 s without an answer), while they race on to the finish.
TEST(NetRaceTest, ThreeMachinesRaceTheDemoStageAndLoseAKilledJoiner)
{
    TestEnv env;
    const DrivePlan plan = PlanDrive(env);
    ASSERT_GT(plan.nFinishTicks, 0) << ReadWholeFile(env.Path("plan.stderr"));
    const int nEndMs = plan.nFinishTicks * 40 + 16000;

    std::vector<Machine> machines = {
        {"host", "host:3", 0}, {"first", "join", 1000}, {"second", "join", 2000}};
    for (Machine& m : machines)
    {
        m.pid = Start(env, m, Delayed(plan.script, m.nDelayMs, nEndMs));
        ASSERT_GT(m.pid, 0);
        // The host's session is open before the joiners look for it (they retry anyway).
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    // Whatever fails, no copy outlives the test.
    struct Reaper
    {
        std::vector<Machine>& machines;
        ~Reaper()
        {
            for (Machine& m : machines)
                if (m.nStatus == -2 && m.pid > 0)
                    m.nStatus = WaitFor(m.pid, 0);
        }
    } reaper{machines};
    Machine& host = machines[0];
    Machine& first = machines[1];
    Machine& second = machines[2];

    // Mid-race: the second joiner has driven about 400 ticks (16 s) after its drive began.
    const std::string secondTrace = env.Path("second.trace");
    const Clock::time_point raceDeadline = Clock::now() + std::chrono::seconds(150);
    bool boMidRace = false;
    while (!boMidRace && Clock::now() < raceDeadline)
    {
        const std::vector<Tick> ticks = ReadTrace(ReadWholeFile(secondTrace));
        const int nMove = FirstMove(ticks);
        boMidRace = nMove >= 0 && static_cast<int>(ticks.size()) > nMove + 400;
        if (!boMidRace)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(boMidRace) << "the race did not get going:\n"
                           << ReadWholeFile(env.Path("host.stderr")) << "\n"
                           << ReadWholeFile(env.Path("second.stderr"));
    ASSERT_EQ(ActiveSlotsNow(env.Path("host.trace")), 2);
    ASSERT_EQ(ActiveSlotsNow(env.Path("first.trace")), 2);
    kill(second.pid, SIGKILL);
    second.nStatus = WaitFor(second.pid, 10);
    const size_t uHostAtKill = CountLines(env.Path("host.trace"));
    const size_t uFirstAtKill = CountLines(env.Path("first.trace"));

    // The transport lets a silent machine go after 5 s; the host then tells the first joiner.
    const Clock::time_point goneDeadline = Clock::now() + std::chrono::seconds(15);
    bool boGone = false;
    while (!boGone && Clock::now() < goneDeadline)
    {
        boGone = ActiveSlotsNow(env.Path("host.trace")) == 1 &&
                 ActiveSlotsNow(env.Path("first.trace")) == 1;
        if (!boGone)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(boGone) << "the killed joiner's car stayed on the others";

    host.nStatus = WaitFor(host.pid, 150);
    first.nStatus = WaitFor(first.pid, 60);
    EXPECT_EQ(host.nStatus, 0) << ReadWholeFile(env.Path("host.stderr"));
    EXPECT_EQ(first.nStatus, 0) << ReadWholeFile(env.Path("first.stderr"));
    EXPECT_EQ(second.nStatus, 128 + SIGKILL);

    std::map<std::string, std::vector<Tick>> traces;
    std::map<std::string, int> go;
    for (const Machine& m : machines)
    {
        SCOPED_TRACE(m.name);
        traces[m.name] = ReadTrace(ReadWholeFile(env.Path(m.name + ".trace")));
        const int nMove = FirstMove(traces[m.name]);
        ASSERT_GE(nMove, 0) << "the car never moved: the lights did not go";
        go[m.name] = nMove - m.nDelayMs * kTicksPerSecond / 1000;
    }

    // Which of a machine's slots shows which other machine: the one its view follows.
    for (const Machine& viewer : machines)
    {
        if (&viewer == &second)
            continue;
        SCOPED_TRACE("the view of " + viewer.name);
        const std::vector<Tick>& mine = traces[viewer.name];
        std::vector<std::string> shown;
        for (int s = 0; s < kRemoteSlots; ++s)
        {
            bool boUsed = false;
            for (const Tick& t : mine)
                boUsed = boUsed || t.aboActive[s];
            if (!boUsed)
                continue;
            std::string follows;
            for (const Machine& sender : machines)
            {
                if (&sender == &viewer)
                    continue;
                const std::vector<Tick>& theirs = traces[sender.name];
                // Up to the sender's finish, after which its car is put aside.
                const size_t uRaceEnd = static_cast<size_t>(
                    go[sender.name] + sender.nDelayMs * kTicksPerSecond / 1000 + plan.nFinishTicks);
                const double bound = (kSendEvery + 4) * TopSpeed(theirs, uRaceEnd);
                double worst = 0;
                int nCompared = 0;
                for (size_t u = 0; u < mine.size(); ++u)
                {
                    const long v = static_cast<long>(u) - go[viewer.name] + go[sender.name];
                    const Vec& view = mine[u].aView[s];
                    // No state has come yet while the view is still at the origin.
                    if (!mine[u].aboActive[s] || v < 0 ||
                        v >= static_cast<long>(std::min(theirs.size(), uRaceEnd)) ||
                        !theirs[v].boCar || (view.x == 0 && view.y == 0 && view.z == 0))
                        continue;
                    worst = std::max(worst, Distance(view, theirs[v].car));
                    ++nCompared;
                }
                if (nCompared > 400 && worst <= bound)
                    follows = sender.name;
                std::printf("%s slot %d vs %s: %d ticks compared, worst %.2f, bound %.2f\n",
                            viewer.name.c_str(), s, sender.name.c_str(), nCompared, worst, bound);
            }
            EXPECT_FALSE(follows.empty()) << "slot " << s << " follows no other car";
            shown.push_back(follows);
            if (follows == "second")
            {
                // Active until the kill, inactive from a few seconds after it to the end.
                const size_t uAtKill = &viewer == &host ? uHostAtKill : uFirstAtKill;
                ASSERT_LT(uAtKill, mine.size());
                EXPECT_TRUE(mine[uAtKill > 0 ? uAtKill - 1 : 0].aboActive[s]);
                size_t uGone = uAtKill;
                while (uGone < mine.size() && mine[uGone].aboActive[s])
                    ++uGone;
                EXPECT_LE(uGone - uAtKill, static_cast<size_t>(10 * kTicksPerSecond))
                    << "ticks from the kill until the slot went";
                for (size_t u = uGone; u < mine.size(); ++u)
                    ASSERT_FALSE(mine[u].aboActive[s]) << "tick " << u;
                // The viewer races on: its own car still covers road after the slot went.
                ASSERT_LT(uGone + 100, mine.size());
                EXPECT_GT(Distance(mine[uGone + 100].car, mine[uGone].car), 20.0);
            }
        }
        std::sort(shown.begin(), shown.end());
        std::vector<std::string> others;
        for (const Machine& m : machines)
            if (&m != &viewer)
                others.push_back(m.name);
        std::sort(others.begin(), others.end());
        EXPECT_EQ(shown, others) << "each other machine in a slot of its own";
    }

    // Each finisher's time reached the other as its own results give it.
    const std::map<int, int> hostHeard = FinishesLogged(env, "host");
    const std::map<int, int> firstHeard = FinishesLogged(env, "first");
    ASSERT_EQ(hostHeard.size(), 1u) << "the host heard one finish";
    ASSERT_EQ(firstHeard.size(), 1u) << "the first joiner heard one finish";
    EXPECT_EQ(hostHeard.begin()->second, StageTime(env, "first"));
    EXPECT_EQ(firstHeard.begin()->second, StageTime(env, "host"));
}

} // namespace
