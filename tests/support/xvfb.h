// Running a program on a virtual X display, as a test of a real window does.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <vector>

#include "tests/support/test_env.h"

extern char** environ;

inline bool HaveXvfbRun()
{
    return system("command -v xvfb-run >/dev/null 2>&1") == 0;
}

// Starts `command` under xvfb-run with a 640x480 screen, in a process group of its own (so a
// hung run can be ended whole: kill(-pid, ...)), with no input, no output and its standard
// error in `stderrPath`; the environment is the test's. xvfb-run's pid (whose exit status is the
// command's), or -1.
inline pid_t SpawnUnderXvfb(const TestEnv& env, const std::vector<std::string>& command,
                            const std::string& stderrPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    // An authority file of our own: xvfb-run's own temporary directory for it can fail to go
    // at the end, and xvfb-run then ends with 5 whatever the program returned.
    const std::string authority = env.Path("Xauthority");
    WriteWholeFile(authority, "");
    std::vector<std::string> args = {"xvfb-run", "-a", "-f",
                                     authority,  "-s", "-screen 0 640x480x24"};
    args.insert(args.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "xvfb-run", &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return rc == 0 ? pid : -1;
}
