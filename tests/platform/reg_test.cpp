#include "platform/reg/reg.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/test_env.h"

namespace
{

const char* const kGameKey = "SOFTWARE\\Velmorra\\Dezor\\1.00";

const char* const kRegistry = "; game settings\n"
                              "# written by hand\n"
                              "Stray=ignored before any section\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00]\n"
                              "HDPath=c:\\dezor\n"
                              "  Language  =English\r\n"
                              "Command=run=fast  \n"
                              "CDPath =  q:\\disc\n"
                              "Empty=\n"
                              "; keep me\n"
                              "\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VelmorraTools]\n"
                              "Editor=1\n";

// Sets or unsets an environment variable for the life of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = getenv(name))
            old_ = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

class RegTest : public ::testing::Test
{
protected:
    void SetUp() override { env.WriteRegistry(kRegistry); }

    HKEY OpenGameKey()
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGameKey, 0, KEY_READ, &key), ERROR_SUCCESS);
        return key;
    }

    std::string Query(HKEY key, const char* name)
    {
        char buffer[256] = {};
        DWORD size = sizeof buffer;
        DWORD type = REG_NONE;
        LONG result =
            RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        if (result != ERROR_SUCCESS)
            return "<error " + std::to_string(result) + ">";
        EXPECT_EQ(type, REG_SZ);
        EXPECT_EQ(size, strlen(buffer) + 1);
        return buffer;
    }

    LONG Set(HKEY key, const char* name, const char* value)
    {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                              static_cast<DWORD>(strlen(value) + 1));
    }

    TestEnv env;
};

TEST_F(RegTest, OpensKeysByFullOrPartialPathWithoutRegardToCase)
{
    struct Case
    {
        const char* subKey;
        LONG expected;
    };
    const Case cases[] = {
        {"SOFTWARE\\Velmorra\\Dezor\\1.00", ERROR_SUCCESS},
        {"software\\VELMORRA\\dezor\\1.00", ERROR_SUCCESS},
        {"SOFTWARE", ERROR_SUCCESS}, // only deeper sections exist
        {"SOFTWARE\\Velmorra", ERROR_SUCCESS},
        {"SOFTWARE\\Velmorra\\Dezor\\1.0", ERROR_REG_FILE_NOT_FOUND},
        {"SOFTWARE\\Velmorr", ERROR_REG_FILE_NOT_FOUND}, // a prefix of a name is not a key
        {"SOFTWARE\\Velmorra\\Dezor\\1.00\\Deeper", ERROR_REG_FILE_NOT_FOUND},
        {"Nothing", ERROR_REG_FILE_NOT_FOUND},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.subKey);
        HKEY sentinel = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
        HKEY key = sentinel;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.subKey, 0, KEY_READ, &key), c.expected);
        if (c.expected == ERROR_SUCCESS)
        {
            EXPECT_NE(key, sentinel);
            EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        }
        else
        {
            EXPECT_EQ(key, sentinel);
        }
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kGameKey, 0, KEY_READ, &key),
              ERROR_REG_FILE_NOT_FOUND);
}

TEST_F(RegTest, OpensStepByStepAndReopensWithEmptySubKey)
{
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &software), ERROR_SUCCESS);
    HKEY game = nullptr;
    ASSERT_EQ(RegOpenKeyA(software, "Velmorra\\Dezor\\1.00", &game), ERROR_SUCCESS);
    EXPECT_EQ(Query(game, "HDPath"), "c:\\dezor");

    for (const char* same : {static_cast<const char*>(nullptr), ""})
    {
        HKEY again = nullptr;
        ASSERT_EQ(RegOpenKeyExA(game, same, 0, KEY_READ, &again), ERROR_SUCCESS);
        EXPECT_NE(again, game);
        EXPECT_EQ(Query(again, "HDPath"), "c:\\dezor");
        EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    }
    EXPECT_EQ(RegCloseKey(game), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(software), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RegTest, RefusesHandlesItDidNotHandOut)
{
    int notAKey = 0;
    HKEY bogus = reinterpret_cast<HKEY>(&notAKey);
    HKEY closed = OpenGameKey();
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);

    for (HKEY bad : {bogus, closed, static_cast<HKEY>(nullptr)})
    {
        HKEY key = nullptr;
        DWORD size = 0;
        EXPECT_EQ(RegOpenKeyA(bad, "x", &key), ERROR_REG_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueExA(bad, "HDPath", nullptr, nullptr, nullptr, &size),
                  ERROR_REG_INVALID_HANDLE);
        EXPECT_EQ(Set(bad, "HDPath", "x"), ERROR_REG_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(bad), ERROR_REG_INVALID_HANDLE);
    }
}

TEST_F(RegTest, ReadsValuesAsTheFileWritesThem)
{
    HKEY key = OpenGameKey();
    struct Case
    {
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"HDPath", "c:\\dezor"},
        {"hdpath", "c:\\dezor"},
        {"Language", "English"}, // spaces around the name and CR dropped
        {"Command", "run=fast"}, // split at the first '=', trailing spaces dropped
        {"CDPath", "q:\\disc"},  // spaces around the value dropped
        {"Empty", ""},
        {"Stray", "<error 2>"},  // lines before any section belong to no key
        {"Editor", "<error 2>"}, // another key's value
        {"; keep me", "<error 2>"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Query(key, c.name), c.expected);
    }
    RegCloseKey(key);
}

TEST_F(RegTest, QueryReportsSizesAndNeverWritesPastTheBuffer)
{
    HKEY key = OpenGameKey();
    const DWORD needed = sizeof "c:\\dezor"; // with its NUL

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "HDPath", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, needed);

    char buffer[16];
    memset(buffer, '#', sizeof buffer);
    size = needed - 1;
    DWORD type = REG_NONE;
    EXPECT_EQ(
        RegQueryValueExA(key, "HDPath", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, needed);
    for (char c : buffer)
        EXPECT_EQ(c, '#');

    size = needed;
    EXPECT_EQ(
        RegQueryValueExA(key, "HDPath", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, needed);
    EXPECT_STREQ(buffer, "c:\\dezor");
    EXPECT_EQ(buffer[needed], '#');

    size = sizeof buffer;
    EXPECT_EQ(
        RegQueryValueExA(key, "Missing", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
        ERROR_REG_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegTest, SetKeepsTheRestOfTheFileAndAddsSectionsAtTheEnd)
{
    HKEY key = OpenGameKey();
    EXPECT_EQ(Set(key, "hdpath", "d:\\games"), ERROR_SUCCESS); // keeps the name's spelling
    EXPECT_EQ(Set(key, "Volume", "7"), ERROR_SUCCESS);
    RegCloseKey(key);

    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &software), ERROR_SUCCESS);
    EXPECT_EQ(Set(software, "Owner", "me"), ERROR_SUCCESS);
    RegCloseKey(software);

    const std::string expected = "[Drives]\n"
                                 "C=" +
                                 env.DriveC() +
                                 "\n"
                                 "\n"
                                 "; game settings\n"
                                 "# written by hand\n"
                                 "Stray=ignored before any section\n"
                                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00]\n"
                                 "HDPath=d:\\games\n"
                                 "  Language  =English\r\n"
                                 "Command=run=fast  \n"
                                 "CDPath =  q:\\disc\n"
                                 "Empty=\n"
                                 "Volume=7\n"
                                 "; keep me\n"
                                 "\n"
                                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VelmorraTools]\n"
                                 "Editor=1\n"
                                 "\n"
                                 "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
                                 "Owner=me\n";
    EXPECT_EQ(ReadWholeFile(env.RegistryFile()), expected);

    // Nothing is left beside the file.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(env.Root()))
        entries += entry.path().filename().string().rfind("registry.ini", 0) == 0;
    EXPECT_EQ(entries, 1);

    RegReload();
    key = OpenGameKey();
    EXPECT_EQ(Query(key, "HDPath"), "d:\\games");
    EXPECT_EQ(Query(key, "Volume"), "7");
    RegCloseKey(key);
}

TEST_F(RegTest, SetTakesTextUpToTheFirstNulOrTheGivenSize)
{
    HKEY key = OpenGameKey();
    struct Case
    {
        const char* bytes;
        DWORD size;
        const char* expected;
    };
    const Case cases[] = {
        {"abc", 4, "abc"},
        {"abcdef", 3, "abc"}, // no NUL within the size
        {"ab\0cd", 6, "ab"},
        {"", 0, ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.expected);
        ASSERT_EQ(
            RegSetValueExA(key, "Data", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.bytes), c.size),
            ERROR_SUCCESS);
        EXPECT_EQ(Query(key, "Data"), c.expected);
    }
    ASSERT_EQ(RegSetValueExA(key, "Data", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Data"), "");
    RegCloseKey(key);
}

TEST_F(RegTest, SetRefusesWhatCannotBeStored)
{
    HKEY key = OpenGameKey();
    const BYTE dword[4] = {1, 0, 0, 0};
    EXPECT_EQ(RegSetValueExA(key, "Number", 0, 4 /* a DWORD */, dword, sizeof dword),
              ERROR_REG_INVALID_PARAMETER);
    EXPECT_EQ(Set(key, "Text", "two\nlines"), ERROR_REG_INVALID_PARAMETER);
    EXPECT_EQ(Set(key, "a=b", "x"), ERROR_REG_INVALID_PARAMETER);
    EXPECT_EQ(Set(key, "[Section]", "x"), ERROR_REG_INVALID_PARAMETER);
    EXPECT_EQ(Query(key, "Number"), "<error 2>");
    RegCloseKey(key);
}

TEST_F(RegTest, SetCreatesTheFileAndItsDirectory)
{
    std::string file = env.Path("new/deeper/registry.ini");
    ScopedEnv registry("DEZOR_REGISTRY", file.c_str());
    RegReload();
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software", &key), ERROR_REG_FILE_NOT_FOUND);
    EXPECT_EQ(Set(HKEY_CURRENT_USER, "Name", "value"), ERROR_SUCCESS);
    EXPECT_EQ(ReadWholeFile(file), "[HKEY_CURRENT_USER]\nName=value\n");
}

TEST_F(RegTest, FailedWriteIsReportedAndChangesNothing)
{
    // The file's directory cannot be made because a plain file stands in its way.
    WriteWholeFile(env.Path("blocker"), "");
    ScopedEnv registry("DEZOR_REGISTRY", env.Path("blocker/registry.ini").c_str());
    RegReload();
    EXPECT_EQ(Set(HKEY_CURRENT_USER, "Name", "value"), ERROR_REG_CANTWRITE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "Name", nullptr, nullptr, nullptr, &size),
              ERROR_REG_FILE_NOT_FOUND);
}

// Names in the registry file's directory that start with its own name.
std::vector<std::string> RegistryFiles(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
    {
        std::string name = entry.path().filename().string();
        if (name.rfind("registry.ini", 0) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The registry as SetUp wrote it with "Counter=<digits>" added to the game's key, or as it was.
bool WholeFile(const std::string& text, const std::string& original)
{
    if (text == original)
        return true;
    const size_t at = original.find("Empty=\n") + 7;
    if (text.compare(0, at, original, 0, at) != 0 || text.compare(at, 8, "Counter=") != 0)
        return false;
    size_t end = at + 8;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
        ++end;
    return end > at + 8 && text.compare(end, std::string::npos, "\n" + original.substr(at)) == 0;
}

TEST_F(RegTest, AWriteReplacesTheTemporaryAKilledWriteLeft)
{
    const std::string original = ReadWholeFile(env.RegistryFile());
    const std::string temp = env.RegistryFile() + ".new";
    const std::string elsewhere = env.Path("elsewhere.txt");
    struct Case
    {
        const char* what;
        std::function<void()> leave;
    } cases[] = {
        {"half a file", [&] { WriteWholeFile(temp, "[HKEY_LOCAL_MACHINE\\SOFTW"); }},
        {"an empty file", [&] { WriteWholeFile(temp, ""); }},
        {"a read-only file",
         [&]
         {
             WriteWholeFile(temp, "stale\n");
             chmod(temp.c_str(), 0444);
         }},
        {"a link to another file",
         [&]
         {
             WriteWholeFile(elsewhere, "not the registry\n");
             ASSERT_EQ(symlink(elsewhere.c_str(), temp.c_str()), 0);
         }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        WriteWholeFile(env.RegistryFile(), original);
        c.leave();
        RegReload();
        HKEY key = OpenGameKey();
        EXPECT_EQ(Set(key, "Counter", "7"), ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(RegistryFiles(env.Root()), std::vector<std::string>{"registry.ini"});
        const std::string text = ReadWholeFile(env.RegistryFile());
        EXPECT_TRUE(WholeFile(text, original) && text != original) << text;
    }
    EXPECT_EQ(ReadWholeFile(elsewhere), "not the registry\n") << "a link is not written through";
}

TEST_F(RegTest, WritesKilledPartWayLeaveTheFileWholeAndOneTemporaryAtMost)
{
    const std::string original = ReadWholeFile(env.RegistryFile());
    for (int kill = 0; kill < 20; ++kill)
    {
        SCOPED_TRACE("kill " + std::to_string(kill));
        RegReload();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
        {
            // Writes until it is killed.
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGameKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
                _exit(1);
            for (unsigned n = 0;; ++n)
            {
                const std::string value = std::to_string(n);
                RegSetValueExA(key, "Counter", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>(value.size() + 1));
            }
        }
        // Kill points spread over a few writes.
        usleep(static_cast<useconds_t>(2000 + 5000 * kill));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer was killed, not finished";

        const std::vector<std::string> files = RegistryFiles(env.Root());
        EXPECT_TRUE(files == std::vector<std::string>{"registry.ini"} ||
                    files == (std::vector<std::string>{"registry.ini", "registry.ini.new"}))
            << ::testing::PrintToString(files);
        const std::string text = ReadWholeFile(env.RegistryFile());
        EXPECT_TRUE(WholeFile(text, original)) << text;
    }
    // The next write leaves the file alone in its directory.
    RegReload();
    HKEY key = OpenGameKey();
    EXPECT_EQ(Set(key, "Counter", "99"), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Counter"), "99");
    RegCloseKey(key);
    EXPECT_EQ(RegistryFiles(env.Root()), std::vector<std::string>{"registry.ini"});
    EXPECT_TRUE(WholeFile(ReadWholeFile(env.RegistryFile()), original));
}

TEST_F(RegTest, FileIsFoundThroughTheEnvironment)
{
    std::string home = env.Path("home");
    std::string config = env.Path("config");
    struct Case
    {
        const char* registry;
        const char* configHome;
        std::string expected;
    };
    const Case cases[] = {
        {"/elsewhere/reg.ini", config.c_str(), "/elsewhere/reg.ini"},
        {nullptr, config.c_str(), config + "/dezor/registry.ini"},
        {"", config.c_str(), config + "/dezor/registry.ini"},
        {nullptr, nullptr, home + "/.config/dezor/registry.ini"},
        {nullptr, "relative/config", home + "/.config/dezor/registry.ini"},
    };
    ScopedEnv homeEnv("HOME", home.c_str());
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.expected);
        ScopedEnv registry("DEZOR_REGISTRY", c.registry);
        ScopedEnv configHome("XDG_CONFIG_HOME", c.configHome);
        EXPECT_EQ(RegFilePath(), c.expected);
    }
}

TEST_F(RegTest, DriveMapComesFromTheDrivesSection)
{
    env.WriteRegistry("[Drives]\nq=/discs/one\nC=/state/c\nE=\n");
    EXPECT_EQ(RegDriveDirectory('Q'), "/discs/one");
    EXPECT_EQ(RegDriveDirectory('q'), "/discs/one");
    EXPECT_EQ(RegDriveDirectory('c'), "/state/c");
    EXPECT_EQ(RegDriveDirectory('E'), "");
    EXPECT_EQ(RegDriveDirectory('D'), "");
    EXPECT_EQ(RegDriveDirectory('1'), "");

    // Without a C entry, C: is the state directory.
    env.WriteRegistry("[Drives]\nQ=/discs/one\n");
    EXPECT_EQ(RegDriveDirectory('C'), env.Path("state") + "/dezor");
    {
        ScopedEnv state("XDG_STATE_HOME", nullptr);
        ScopedEnv home("HOME", "/home/someone");
        EXPECT_EQ(RegDriveDirectory('c'), "/home/someone/.local/state/dezor");
    }
}

} // namespace
