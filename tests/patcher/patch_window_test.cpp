// The real patch program on a virtual X display (xvfb-run), its dialogs answered by a script,
// each answered dialog captured and looked at.
#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/png/png.h"
#include "tests/support/test_env.h"
#include "tests/support/xvfb.h"
#include "tools/datakit/dkpr_writer.h"

extern char** environ;

namespace fs = std::filesystem;

namespace
{

// The program's captures, as 8-bit RGB.
struct Image
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    bool At(int x, int y, uint8_t r, uint8_t g, uint8_t b) const
    {
        size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return rgb[i] == r && rgb[i + 1] == g && rgb[i + 2] == b;
    }
};

bool ReadCapture(const std::string& path, Image& image)
{
    std::string png = ReadWholeFile(path);
    uint32_t width = 0, height = 0;
    if (!PngDecodeRgb(png.data(), png.size(), image.rgb, width, height))
        return false;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    return true;
}

class PatchWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HaveXvfbRun())
            GTEST_SKIP() << "xvfb-run is not installed";
        fs::create_directories(env.DriveC() + "/Dezor");
        fs::create_directories(env.Path("resources"));
        fs::create_directories(env.Path("capture"));
        fs::create_directories(env.Path("windows"));
        // Small stand-ins for the program's resources: 104 spans a few chunks.
        for (int id = 101; id <= 107; ++id)
        {
            std::string data =
                id == 104 ? std::string(3 * 4096 + 100, 'g') : "file " + std::to_string(id);
            payload[id] = data;
            std::vector<uint8_t> gz = datakit::Gzip(
                datakit::DkprWrap({reinterpret_cast<const uint8_t*>(data.data()), data.size()}));
            WriteWholeFile(env.Path("resources/" + std::to_string(id)),
                           std::string(gz.begin(), gz.end()));
        }
    }

    // The installation with no Windows directory of its own: the program makes a private one
    // under $TMPDIR.
    void RegistryWithoutWindows()
    {
        env.WriteRegistry("[Drives]\nC=" + env.DriveC() +
                          "\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00]\n"
                          "HDPath=C:\\Dezor\n");
    }

    void Registry(const std::string& values)
    {
        env.WriteRegistry("[Drives]\nC=" + env.DriveC() + "\nWindows=" + env.Path("windows") +
                          "\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00]\n" + values);
    }

    // Runs dezor-patch on a virtual display with the scripted answers; its exit status, or -1.
    int RunPatch(const std::string& answers) { return WaitPatch(StartPatch(answers)); }

    // Starts dezor-patch under xvfb-run, in a process group of its own; xvfb-run's pid, or -1.
    pid_t StartPatch(const std::string& answers)
    {
        errPath = env.Path("patch.stderr");
        setenv("DEZOR_PATCH_RESOURCES", env.Path("resources").c_str(), 1);
        setenv("DEZOR_PATCH_ANSWERS", answers.c_str(), 1);
        setenv("DEZOR_PATCH_CAPTURE", env.Path("capture").c_str(), 1);

        pid_t pid = SpawnUnderXvfb(env, {DEZOR_PATCH_BINARY}, errPath);
        unsetenv("DEZOR_PATCH_RESOURCES");
        unsetenv("DEZOR_PATCH_ANSWERS");
        unsetenv("DEZOR_PATCH_CAPTURE");
        if (pid < 0)
        {
            ADD_FAILURE() << "cannot start xvfb-run";
            return -1;
        }
        return pid;
    }

    // Waits for a run StartPatch began; its exit status, or -1.
    int WaitPatch(pid_t pid)
    {
        if (pid < 0)
            return -1;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0)
        {
            if (std::chrono::steady_clock::now() > deadline)
            {
                kill(-pid, SIGKILL);
                waitpid(pid, &status, 0);
                ADD_FAILURE() << "dezor-patch did not finish; its output:\n" << Stderr();
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Stderr() const { return ReadWholeFile(errPath); }
    std::string Target(const std::string& name) const { return env.DriveC() + "/Dezor/" + name; }

    TestEnv env;
    std::map<int, std::string> payload;
    std::string errPath;
};

TEST_F(PatchWindowTest, RunsToCompletionWithAScriptedConfirmation)
{
    Registry("HDPath=C:\\Dezor\n");
    WriteWholeFile(Target("Q53.dll"), "obsolete");
    ASSERT_EQ(RunPatch("ok,ok"), 0) << Stderr();
    std::string err = Stderr();
    EXPECT_NE(err.find("\"About to install\" shows \"This patch will be installed to: C:\\Dezor\\ "
                       "Do you wish to continue with the installation?\"; answering ok"),
              std::string::npos)
        << err;
    EXPECT_NE(
        err.find("\"Dravik Dezor Patch\" shows \"Patch completed successfully.\"; answering ok"),
        std::string::npos)
        << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;

    EXPECT_EQ(ReadWholeFile(Target("Kelvory.exe")), payload[102]);
    EXPECT_EQ(ReadWholeFile(Target("Plosset.vxd")), payload[103]);
    EXPECT_EQ(ReadWholeFile(Target("Marvane.exe")), payload[104]);
    EXPECT_EQ(ReadWholeFile(Target("Q7712.dll")), payload[105]);
    EXPECT_EQ(ReadWholeFile(Target("Vlm1.dll")), payload[106]);
    EXPECT_EQ(ReadWholeFile(Target("Vlm2.dll")), payload[107]);
    EXPECT_FALSE(FileExists(Target("Q53.dll")));
    EXPECT_FALSE(FileExists(env.Path("windows/Temp/ZUZIrozo.tmp")));

    // The confirmation, then the finished progress dialog: overall bar full to 99, current empty.
    Image confirm;
    ASSERT_TRUE(ReadCapture(env.Path("capture/patch-01.png"), confirm));
    EXPECT_EQ(confirm.width, 372);
    EXPECT_EQ(confirm.height, 170);
    Image done;
    ASSERT_TRUE(ReadCapture(env.Path("capture/patch-02.png"), done));
    ASSERT_EQ(done.width, 372);
    ASSERT_EQ(done.height, 164);
    EXPECT_TRUE(done.At(200, 88, 0, 0, 128)) << "overall bar";
    EXPECT_TRUE(done.At(340, 88, 0, 0, 128)) << "overall bar";
    EXPECT_TRUE(done.At(200, 56, 255, 255, 255)) << "current file bar";
}

TEST_F(PatchWindowTest, EveryOtherEndAndItsMessage)
{
    struct Case
    {
        const char* name;
        const char* registry;
        const char* answers;
        bool withGame;
        int status;
        const char* message; // shown in a message box, or none
    };
    const Case cases[] = {
        {"no installation", "CDPath=D:\\\n", "ok", true, 1,
         "Unable to find previous Dravik Dezor installation."},
        {"declined", "HDPath=C:\\Dezor\n", "cancel", true, 3, nullptr},
        {"Escape declines too", "HDPath=C:\\Dezor\n", "escape", true, 3, nullptr},
        // Every file is in: Escape and the close box end the finished dialog as OK does.
        {"Escape after finishing", "HDPath=C:\\Dezor\n", "ok,escape", true, 0, nullptr},
        {"closed after finishing", "HDPath=C:\\Dezor\n", "ok,close", true, 0, nullptr},
        // OK is the default button of both the confirmation and the finished dialog.
        {"Return presses OK", "HDPath=C:\\Dezor\n", "return,return", true, 0, nullptr},
        {"resource missing", "HDPath=C:\\Dezor\n", "ok,ok", false, 2,
         "An error occurred during file update."},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Registry(c.registry);
        if (!c.withGame)
            fs::remove(env.Path("resources/104"));
        EXPECT_EQ(RunPatch(c.answers), c.status) << Stderr();
        std::string err = Stderr();
        if (c.message != nullptr)
        {
            EXPECT_NE(
                err.find("\"dezor-patch\" shows \"" + std::string(c.message) + "\"; answering ok"),
                std::string::npos)
                << err;
        }
        else
        {
            EXPECT_EQ(err.find("\"dezor-patch\" shows"), std::string::npos) << err;
        }
        EXPECT_EQ(FileExists(Target("Marvane.exe")), c.status != 1 && c.status != 3 && c.withGame);
        fs::remove(Target("Marvane.exe"));
    }
}

// Scripted answers that run out while a dialog waits end the program with 2, said in one line,
// rather than leave it waiting for a user who is not there.
TEST_F(PatchWindowTest, ScriptedAnswersRunningOutEndWithAnError)
{
    struct Case
    {
        const char* name;
        const char* registry;
        const char* answers;
        const char* waiting; // the dialog left without an answer
        bool installed;
    };
    const Case cases[] = {
        {"at the confirmation", "HDPath=C:\\Dezor\n", "", "About to install", false},
        {"at the finished dialog", "HDPath=C:\\Dezor\n", "ok", "Dravik Dezor Patch", true},
        {"at a message box", "CDPath=D:\\\n", "", "dezor-patch", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Registry(c.registry);
        EXPECT_EQ(RunPatch(c.answers), 2) << Stderr();
        std::string err = Stderr();
        EXPECT_NE(err.find("dezor-patch: the scripted answers ran out at \"" +
                           std::string(c.waiting) + "\"; ending with status 2\n"),
                  std::string::npos)
            << err;
        EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
        EXPECT_EQ(FileExists(Target("Marvane.exe")), c.installed);
        fs::remove(Target("Marvane.exe"));
    }
}

// Without a Windows directory in the drive map the program makes a private one, which goes at
// the end even when an error has kept its temporary file.
TEST_F(PatchWindowTest, APrivateWindowsDirectoryGoesAtTheEnd)
{
    struct Case
    {
        const char* name;
        bool withGame;
        int status;
    };
    const Case cases[] = {
        {"finished", true, 0},
        {"an error at the game program", false, 2},
    };
    const std::string tmp = env.Path("tmp");
    fs::create_directories(tmp);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        RegistryWithoutWindows();
        if (!c.withGame)
            fs::remove(env.Path("resources/104"));
        int status = 0;
        {
            SavedVariable saved("TMPDIR");
            setenv("TMPDIR", tmp.c_str(), 1);
            status = RunPatch("ok,ok");
        }
        EXPECT_EQ(status, c.status) << Stderr();
        EXPECT_EQ(ReadWholeFile(Target("Plosset.vxd")), payload[103]);
        for (const auto& entry : fs::directory_iterator(tmp))
            EXPECT_NE(entry.path().filename().string().rfind("dezor-windows-", 0), 0u)
                << entry.path() << " is left behind";
    }
}

// The dezor-patch process under a run StartPatch began (its process group): its pid, or -1.
pid_t FindPatchProcess(pid_t group)
{
    for (const auto& entry : fs::directory_iterator("/proc"))
    {
        std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        // "pid (comm) state ppid pgrp ..."
        std::string stat = ReadWholeFile(entry.path().string() + "/stat");
        size_t close = stat.rfind(')');
        size_t open = stat.find('(');
        if (open == std::string::npos || close == std::string::npos || close < open)
            continue;
        if (stat.substr(open + 1, close - open - 1) != "dezor-patch")
            continue;
        int ppid = 0, pgrp = 0;
        char state = 0;
        if (sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &ppid, &pgrp) == 3 &&
            pgrp == group)
            return static_cast<pid_t>(std::stoi(name));
    }
    return -1;
}

// SIGTERM or SIGINT while a file is being unpacked: the program discards that file's .part,
// keeps the old file, keeps the files already replaced, removes its private Windows directory
// and ends with 128 + the signal's number.
TEST_F(PatchWindowTest, ASignalMidUnpackLeavesNoMess)
{
    // The game program large enough (10,240 ticks) to be caught mid-file.
    std::string big(40u * 1024 * 1024, '\0');
    std::vector<uint8_t> gz = datakit::Gzip(
        datakit::DkprWrap({reinterpret_cast<const uint8_t*>(big.data()), big.size()}));
    WriteWholeFile(env.Path("resources/104"), std::string(gz.begin(), gz.end()));
    const std::string tmp = env.Path("tmp");
    fs::create_directories(tmp);
    for (int sig : {SIGTERM, SIGINT})
    {
        SCOPED_TRACE(sig == SIGTERM ? "SIGTERM" : "SIGINT");
        RegistryWithoutWindows();
        WriteWholeFile(Target("Marvane.exe"), "the old game");
        fs::remove(Target("Plosset.vxd"));
        pid_t group = -1;
        {
            SavedVariable saved("TMPDIR");
            setenv("TMPDIR", tmp.c_str(), 1);
            group = StartPatch("ok,ok");
        }
        ASSERT_GT(group, 0);

        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!FileExists(Target("Marvane.exe.part")) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        pid_t patch = FindPatchProcess(group);
        EXPECT_TRUE(FileExists(Target("Marvane.exe.part")));
        EXPECT_GT(patch, 0);
        if (patch > 0)
            kill(patch, sig);
        else
            kill(-group, SIGKILL);
        EXPECT_EQ(WaitPatch(group), 128 + sig) << Stderr();
        std::string err = Stderr();
        EXPECT_NE(err.find("dezor-patch: interrupted by signal " + std::to_string(sig)),
                  std::string::npos)
            << err;
        EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;

        EXPECT_FALSE(FileExists(Target("Marvane.exe.part")));
        EXPECT_EQ(ReadWholeFile(Target("Marvane.exe")), "the old game");
        EXPECT_EQ(ReadWholeFile(Target("Plosset.vxd")), payload[103]) << "already replaced";
        for (const auto& entry : fs::directory_iterator(tmp))
            EXPECT_NE(entry.path().filename().string().rfind("dezor-windows-", 0), 0u)
                << entry.path() << " is left behind";
    }
}

// A failure says which file and why on standard error; the message box keeps its one text.
TEST_F(PatchWindowTest, AFailureNamesTheFileAndTheCause)
{
    Registry("HDPath=C:\\Dezor\n");
    fs::create_directories(Target("Marvane.exe.part") + "/inside");
    EXPECT_EQ(RunPatch("ok,ok"), 2) << Stderr();
    std::string err = Stderr();
    EXPECT_NE(err.find("\ndezor-patch: cannot create " + Target("Marvane.exe.part") +
                       ": Is a directory\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("\"dezor-patch\" shows \"An error occurred during file update.\""),
              std::string::npos)
        << err;
}

// Without a display the program says so and ends with a status of its own, not FLTK's 1 (which
// is "no installation found"). Needs no X server.
TEST(PatchNoDisplayTest, EndsWithItsOwnStatusAndMessage)
{
    struct Case
    {
        const char* name;
        const char* display; // nullptr: unset
        std::string message;
    };
    const Case cases[] = {
        {"DISPLAY unset", nullptr, "dezor-patch: no display found (DISPLAY is not set)\n"},
        {"DISPLAY empty", "", "dezor-patch: no display found (DISPLAY is not set)\n"},
        {"no server there", ":4917",
         "dezor-patch: no display found (cannot open display \":4917\")\n"},
    };
    TestEnv env;
    const std::string errPath = env.Path("patch.stderr");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<std::string> vars;
        for (char** p = environ; *p != nullptr; ++p)
        {
            std::string var = *p;
            if (var.rfind("DISPLAY=", 0) != 0 && var.rfind("WAYLAND_DISPLAY=", 0) != 0)
                vars.push_back(var);
        }
        if (c.display != nullptr)
            vars.push_back(std::string("DISPLAY=") + c.display);
        std::vector<char*> envp;
        for (std::string& var : vars)
            envp.push_back(var.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        const char* argv[] = {DEZOR_PATCH_BINARY, nullptr};
        pid_t pid = -1;
        int rc = posix_spawn(&pid, DEZOR_PATCH_BINARY, &actions, nullptr, const_cast<char**>(argv),
                             envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(rc, 0);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 4);
        EXPECT_EQ(ReadWholeFile(errPath), c.message);
    }
}

} // namespace
