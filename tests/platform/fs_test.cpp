#include "platform/fs/fs.h"

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/reg/reg.h"
#include "tests/support/test_env.h"

namespace
{

namespace stdfs = std::filesystem;

class FsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        stdfs::create_directories(env.DriveC() + "/save");
        WriteWholeFile(env.DriveC() + "/save/diVevov.cfg", "config");
    }

    HANDLE Open(const char* name, DWORD access, DWORD disposition)
    {
        return CreateFileA(name, access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    std::string HostPath(const char* name)
    {
        std::string path;
        EXPECT_TRUE(FsHostPath(name, path)) << name;
        return path;
    }

    TestEnv env;
};

// Runs the body with the current directory changed, and changes it back.
class ScopedCwd
{
public:
    explicit ScopedCwd(const std::string& dir)
    {
        char buffer[PATH_MAX];
        EXPECT_NE(getcwd(buffer, sizeof buffer), nullptr);
        old_ = buffer;
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~ScopedCwd() { EXPECT_EQ(chdir(old_.c_str()), 0); }

private:
    std::string old_;
};

TEST_F(FsTest, NamesResolveToTheSpellingOnDisk)
{
    stdfs::create_directories(env.DriveC() + "/Data");
    stdfs::create_directories(env.DriveC() + "/data");
    stdfs::create_directories(env.DriveC() + "/DATA");
    const std::string c = env.DriveC();
    struct Case
    {
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"C:\\SAVE\\DiVevov.CFG", c + "/save/diVevov.cfg"},
        {"c:/save/divevov.cfg", c + "/save/diVevov.cfg"},
        {"C:save\\\\DIVEVOV.cfg", c + "/save/diVevov.cfg"},
        {"c:\\", c},
        {"c:", c},
        {"C:\\Save\\New.cfg", c + "/save/New.cfg"}, // new file in an existing dir
        {"C:\\Save\\NewDir\\File.txt", c + "/save/NewDir/File.txt"},
        {"c:\\save\\..\\SAVE\\.\\diVEVOV.cfg", c + "/save/./diVevov.cfg"},
        {"c:\\data", c + "/data"},                          // an exact match wins
        {"c:\\dAtA", c + "/DATA"},                          // else the first in byte order
        {c + "/SAVE/DIVEVOV.CFG", c + "/save/diVevov.cfg"}, // a host path
    };
    for (const Case& entry : cases)
    {
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(HostPath(entry.name.c_str()), entry.expected);
    }
}

TEST_F(FsTest, RelativeNamesResolveFromTheCurrentDirectory)
{
    ScopedCwd cwd(env.DriveC());
    EXPECT_EQ(HostPath("Save\\DIVEVOV.cfg"), "save/diVevov.cfg");
    EXPECT_EQ(HostPath("SAVE\\"), "save");

    HANDLE file = Open("save\\DIVEVOV.CFG", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[16] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "config");
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FsTest, DriveLettersMapThroughTheRegistry)
{
    stdfs::create_directories(env.Path("disc/Images"));
    WriteWholeFile(env.Path("disc/Images/Main.bmp"), "BM");
    env.WriteRegistry("[Drives]\nC=" + env.DriveC() + "\nQ=" + env.Path("disc") + "/\n");

    EXPECT_EQ(HostPath("q:\\images\\main.BMP"), env.Path("disc/Images/Main.bmp"));
    EXPECT_EQ(HostPath("Q:IMAGES"), env.Path("disc/Images"));
    // ".." climbs inside the drive and stops at its root.
    EXPECT_EQ(HostPath("q:\\images\\..\\images\\main.bmp"), env.Path("disc/Images/Main.bmp"));
    EXPECT_EQ(HostPath("q:\\..\\..\\images"), env.Path("disc/Images"));

    std::string path;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(FsHostPath("z:\\file.txt", path));
    EXPECT_EQ(Open("z:\\file.txt", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("z:\\"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FsTest, DefaultDriveCIsCreatedOnFirstUse)
{
    env.WriteRegistry("[Drives]\nQ=/nowhere\n");
    std::string state = env.Path("state/dezor");
    ASSERT_FALSE(FileExists(state));
    EXPECT_EQ(HostPath("C:\\ERROR.TXT"), state + "/ERROR.TXT");
    EXPECT_TRUE(stdfs::is_directory(state));

    HANDLE file = Open("c:\\error.txt", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(FileExists(state + "/error.txt"));
}

TEST_F(FsTest, NullNamesAreInvalidParameters)
{
    std::string path;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(FsHostPath(nullptr, path));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(Open(nullptr, GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(DeleteFileA(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CopyFileA("c:\\save\\divevov.cfg", nullptr, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FsTest, CreationDispositions)
{
    struct Case
    {
        const char* label;
        DWORD disposition;
        const char* name;
        bool succeeds;
        DWORD error;
        const char* contentAfter; // of the existing file, or nullptr when it should not exist
    };
    const Case cases[] = {
        {"new on existing", CREATE_NEW, "c:\\SAVE\\DIVEVOV.CFG", false, ERROR_FILE_EXISTS,
         "config"},
        {"new on missing", CREATE_NEW, "c:\\save\\fresh.cfg", true, 0, ""},
        {"always on existing", CREATE_ALWAYS, "c:\\SAVE\\DIVEVOV.CFG", true, 0, ""},
        {"open existing", OPEN_EXISTING, "c:\\SAVE\\DIVEVOV.CFG", true, 0, "config"},
        {"open missing", OPEN_EXISTING, "c:\\save\\fresh.cfg", false, ERROR_FILE_NOT_FOUND,
         nullptr},
        {"open in missing dir", OPEN_EXISTING, "c:\\nodir\\fresh.cfg", false, ERROR_PATH_NOT_FOUND,
         nullptr},
        {"open always on existing", OPEN_ALWAYS, "c:\\SAVE\\DIVEVOV.CFG", true, 0, "config"},
        {"open always on missing", OPEN_ALWAYS, "c:\\save\\fresh.cfg", true, 0, ""},
        {"truncate existing", TRUNCATE_EXISTING, "c:\\SAVE\\DIVEVOV.CFG", true, 0, ""},
        {"truncate missing", TRUNCATE_EXISTING, "c:\\save\\fresh.cfg", false, ERROR_FILE_NOT_FOUND,
         nullptr},
        {"a directory", OPEN_EXISTING, "c:\\save", false, ERROR_ACCESS_DENIED, nullptr},
        {"bad disposition", 99, "c:\\SAVE\\DIVEVOV.CFG", false, ERROR_INVALID_PARAMETER, "config"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.label);
        WriteWholeFile(env.DriveC() + "/save/diVevov.cfg", "config");
        stdfs::remove(env.DriveC() + "/save/fresh.cfg");

        SetLastError(ERROR_SUCCESS);
        HANDLE file = Open(c.name, GENERIC_READ | GENERIC_WRITE, c.disposition);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.succeeds);
        if (file != INVALID_HANDLE_VALUE)
            EXPECT_TRUE(CloseHandle(file));
        else
            EXPECT_EQ(GetLastError(), c.error);

        std::string path = HostPath(c.name);
        if (c.contentAfter == nullptr)
            EXPECT_FALSE(stdfs::is_regular_file(path));
        else
            EXPECT_EQ(ReadWholeFile(path), c.contentAfter);
    }
}

TEST_F(FsTest, HandlesAreClosedOnExec)
{
    HANDLE file = Open("c:\\save\\divevov.cfg", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string target = env.DriveC() + "/save/diVevov.cfg";
    int found = 0;
    for (const auto& entry : stdfs::directory_iterator("/proc/self/fd"))
    {
        std::error_code ec;
        if (stdfs::read_symlink(entry.path(), ec) != target)
            continue;
        int fd = std::stoi(entry.path().filename().string());
        EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
        ++found;
    }
    EXPECT_EQ(found, 1);
    CloseHandle(file);
}

TEST_F(FsTest, ReadWriteSizeAndSeek)
{
    HANDLE file = Open("c:\\save\\data.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    // Large enough that the kernel may take it in pieces.
    std::vector<char> big(3 * 1024 * 1024 + 17);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, big.data(), static_cast<DWORD>(big.size()), &done, nullptr));
    EXPECT_EQ(done, big.size());
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(file, &high), big.size());
    EXPECT_EQ(high, 0u);
    EXPECT_TRUE(FlushFileBuffers(file));

    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_BEGIN), 0u);
    std::vector<char> back(big.size());
    ASSERT_TRUE(ReadFile(file, back.data(), static_cast<DWORD>(back.size()), &done, nullptr));
    EXPECT_EQ(done, back.size());
    EXPECT_TRUE(back == big);

    // At the end a read succeeds with nothing read.
    char one = 0;
    done = 99;
    EXPECT_TRUE(ReadFile(file, &one, 1, &done, nullptr));
    EXPECT_EQ(done, 0u);

    struct Seek
    {
        LONG distance;
        DWORD method;
        DWORD expected;
    };
    const DWORD size = static_cast<DWORD>(big.size());
    const Seek seeks[] = {
        {10, FILE_BEGIN, 10},   {5, FILE_CURRENT, 16}, // each read below moves on by one
        {-5, FILE_CURRENT, 12}, {-7, FILE_END, size - 7}, {0, FILE_END, size},
    };
    for (const Seek& s : seeks)
    {
        EXPECT_EQ(SetFilePointer(file, s.distance, nullptr, s.method), s.expected);
        EXPECT_TRUE(ReadFile(file, &one, 1, &done, nullptr));
        if (s.expected < size)
        {
            EXPECT_EQ(one, big[s.expected]);
        }
    }

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);

    // A 64-bit position goes through the high part both ways.
    LONG moveHigh = 1;
    EXPECT_EQ(SetFilePointer(file, 16, &moveHigh, FILE_BEGIN), 16u);
    EXPECT_EQ(moveHigh, 1);
    moveHigh = 0;
    EXPECT_EQ(SetFilePointer(file, 0, &moveHigh, FILE_CURRENT), 16u);
    EXPECT_EQ(moveHigh, 1);
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FsTest, SizeAboveFourGigabytesHasAHighPart)
{
    std::string path = env.DriveC() + "/save/sparse.bin";
    WriteWholeFile(path, "");
    const uint64_t size = (uint64_t{5} << 32) + 123;
    if (truncate(path.c_str(), static_cast<off_t>(size)) != 0)
        GTEST_SKIP() << "no sparse files here";
    HANDLE file = Open("c:\\save\\SPARSE.bin", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 0;
    EXPECT_EQ(GetFileSize(file, &high), 123u);
    EXPECT_EQ(high, 5u);
    CloseHandle(file);
}

TEST_F(FsTest, FailedReadsAndWritesSayWhy)
{
    HANDLE readOnly = Open("c:\\save\\divevov.cfg", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    DWORD done = 99;
    EXPECT_FALSE(WriteFile(readOnly, "x", 1, &done, nullptr));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(readOnly);
    EXPECT_EQ(ReadWholeFile(env.DriveC() + "/save/diVevov.cfg"), "config");

    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    HANDLE full = Open("/dev/full", GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(full, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteFile(full, "data", 4, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    CloseHandle(full);
}

TEST_F(FsTest, ClosingRefusesHandlesItDoesNotKnow)
{
    HANDLE file = Open("c:\\save\\divevov.cfg", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(file));

    int notAFile = 0x46494C45; // even one that looks like the tag
    for (HANDLE bad :
         {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE, file, static_cast<HANDLE>(&notAFile)})
    {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        char byte;
        DWORD done;
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(ReadFile(bad, &byte, 1, &done, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(GetFileSize(bad, nullptr), INVALID_FILE_SIZE);
    }
}

TEST_F(FsTest, CopyMoveAndDelete)
{
    const std::string save = env.DriveC() + "/save/";

    EXPECT_TRUE(CopyFileA("C:\\SAVE\\DIVEVOV.CFG", "c:\\save\\Copy.cfg", TRUE));
    EXPECT_EQ(ReadWholeFile(save + "Copy.cfg"), "config");

    WriteWholeFile(save + "Copy.cfg", "a much longer older copy");
    EXPECT_FALSE(CopyFileA("c:\\save\\divevov.cfg", "c:\\save\\copy.cfg", TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_TRUE(CopyFileA("c:\\save\\divevov.cfg", "c:\\save\\copy.cfg", FALSE));
    EXPECT_EQ(ReadWholeFile(save + "Copy.cfg"), "config");

    // Onto itself: refused, and the file survives.
    EXPECT_FALSE(CopyFileA("c:\\save\\divevov.cfg", "C:\\SAVE\\DIVEVOV.CFG", FALSE));
    EXPECT_EQ(ReadWholeFile(save + "diVevov.cfg"), "config");

    EXPECT_FALSE(CopyFileA("c:\\save\\missing.cfg", "c:\\save\\other.cfg", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(FileExists(save + "other.cfg"));

    WriteWholeFile(save + "next.cfg", "next");
    EXPECT_FALSE(MoveFileExA("c:\\save\\NEXT.cfg", "c:\\save\\copy.cfg", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadWholeFile(save + "Copy.cfg"), "config");
    EXPECT_TRUE(MoveFileExA("c:\\save\\NEXT.cfg", "c:\\save\\copy.cfg", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadWholeFile(save + "Copy.cfg"), "next");
    EXPECT_FALSE(FileExists(save + "next.cfg"));
    EXPECT_TRUE(MoveFileExA("c:\\save\\copy.cfg", "c:\\save\\Moved.cfg", 0));
    EXPECT_EQ(ReadWholeFile(save + "Moved.cfg"), "next");
    EXPECT_FALSE(MoveFileExA("c:\\save\\copy.cfg", "c:\\save\\again.cfg", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    EXPECT_TRUE(DeleteFileA("C:\\Save\\MOVED.CFG"));
    EXPECT_FALSE(FileExists(save + "Moved.cfg"));
    EXPECT_FALSE(DeleteFileA("c:\\save\\moved.cfg"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA("c:\\nodir\\moved.cfg"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA("c:\\save"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(FsTest, DirectoriesAndAttributes)
{
    EXPECT_TRUE(CreateDirectoryA("c:\\Replays", nullptr));
    EXPECT_TRUE(stdfs::is_directory(env.DriveC() + "/Replays"));
    EXPECT_FALSE(CreateDirectoryA("C:\\REPLAYS", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA("c:\\a\\b", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    EXPECT_EQ(GetFileAttributesA("c:\\replays"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA("c:\\save\\DIVEVOV.CFG"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesA("c:\\save\\none.cfg"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("c:\\nodir\\none.cfg"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FsTest, LastErrorBelongsToTheThread)
{
    SetLastError(ERROR_FILE_EXISTS);
    DWORD seen = 0;
    std::thread other(
        [&seen]
        {
            seen = GetLastError();
            SetLastError(ERROR_DISK_FULL);
        });
    other.join();
    EXPECT_EQ(seen, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

TEST_F(FsTest, WindowsDirectoryFromTheDriveMapOrAPrivateOne)
{
    // Named by the drive map.
    env.WriteRegistry("[Drives]\nC=" + env.DriveC() + "\nWindows=" + env.Path("win") + "\n");
    char small[4];
    UINT needed = GetWindowsDirectoryA(small, sizeof small);
    EXPECT_EQ(needed, env.Path("win").size() + 1);
    std::string buffer(needed, '\0');
    EXPECT_EQ(GetWindowsDirectoryA(buffer.data(), needed), needed - 1);
    EXPECT_STREQ(buffer.c_str(), env.Path("win").c_str());

    // Otherwise a private temporary one with a Temp folder, the same on every call.
    env.WriteRegistry("");
    const char* oldTmp = getenv("TMPDIR");
    std::string savedTmp = oldTmp != nullptr ? oldTmp : "";
    setenv("TMPDIR", env.Root().c_str(), 1);
    char first[PATH_MAX];
    char second[PATH_MAX];
    UINT length = GetWindowsDirectoryA(first, sizeof first);
    if (oldTmp != nullptr)
        setenv("TMPDIR", savedTmp.c_str(), 1);
    else
        unsetenv("TMPDIR");
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::string(first).rfind(env.Root() + "/dezor-windows-", 0), 0u) << first;
    EXPECT_EQ(stdfs::status(first).permissions() & stdfs::perms::all, stdfs::perms::owner_all);
    EXPECT_TRUE(stdfs::is_directory(std::string(first) + "/Temp"));
    EXPECT_EQ(GetWindowsDirectoryA(second, sizeof second), length);
    EXPECT_STREQ(first, second);
}

} // namespace
