// The drive planner (drive_plan.cpp) run from a test: the keys of a drive of the demo stage
// from the lights to the finish, planned on the stage run in-process. The test target defines
// DRIVE_PLAN as the planner's path.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>

#include "tests/support/test_env.h"

extern char** environ;

// The script's lines, and the ticks the plan took from the lights to the finish (-1 when no
// plan was made).
struct DrivePlan
{
    std::string script;
    int nFinishTicks = -1;
};

// Plans the drive on a demo installation of its own under the test's directory, within two
// minutes.
inline DrivePlan PlanDrive(const TestEnv& env)
{
    DrivePlan plan;
    const std::string scriptPath = env.Path("plan.input"), outPath = env.Path("plan.out");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, env.Path("plan.stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string installDir = env.Path("plan-demo");
    char* argv[] = {const_cast<char*>(DRIVE_PLAN), const_cast<char*>(installDir.c_str()),
                    const_cast<char*>(scriptPath.c_str()), nullptr};
    SavedVariable driver("SDL_VIDEODRIVER"), audio("SDL_AUDIODRIVER");
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, DRIVE_PLAN, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return plan;
    int status = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (waitpid(pid, &status, WNOHANG) != pid)
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return plan;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return plan;
    plan.script = ReadWholeFile(scriptPath);
    std::sscanf(ReadWholeFile(outPath).c_str(), "finish %d", &plan.nFinishTicks);
    return plan;
}
