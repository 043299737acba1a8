// The patch program's install, run headless: the step machine drives a recording window, and
// small resource tables stand in for the program's own.
#include "patcher/patch_dlg.h"
#include "patcher/patch_resources.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/test_env.h"
#include "tools/datakit/dkpr_writer.h"

namespace fs = std::filesystem;

namespace
{

// The window, as the step machine sees it.
class RecordingView : public CPatchView
{
public:
    void SetCurrentFileBar(unsigned nPos) override
    {
        current = nPos;
        currentHistory.push_back(nPos);
    }
    void SetOverallBar(unsigned nPos) override
    {
        overall = nPos;
        overallHistory.push_back(nPos);
    }
    void SetStatusText(const char* pszText) override { status = pszText; }
    void EnableOkButton(bool bEnable) override { okEnabled = bEnable; }
    void SetTimer(unsigned nId, unsigned nMilliseconds) override
    {
        EXPECT_EQ(nId, 1u);
        EXPECT_EQ(nMilliseconds, 10u);
        timerRunning = true;
    }
    void KillTimer(unsigned nId) override
    {
        EXPECT_EQ(nId, 1u);
        timerRunning = false;
    }
    void EndDialog(int nResult) override
    {
        EXPECT_EQ(result, -1) << "ended twice";
        result = nResult;
        timerRunning = false; // the window goes, and its timer with it
    }
    int RunConfirmDialog(const std::string& sInstallPath) override
    {
        ++confirmations;
        confirmedPath = sInstallPath;
        if (duringConfirm)
            duringConfirm();
        return confirmAnswer;
    }
    void ReportError(const std::string& sLine) override { errors.push_back(sLine); }

    unsigned current = 0;
    unsigned overall = 0;
    std::vector<unsigned> currentHistory;
    std::vector<unsigned> overallHistory;
    std::string status;
    bool okEnabled = true;
    bool timerRunning = false;
    int result = -1;
    int confirmations = 0;
    std::string confirmedPath;
    int confirmAnswer = CONFIRM_INSTALL;
    std::function<void()> duringConfirm;
    std::vector<std::string> errors;
};

std::vector<uint8_t> Noise(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    uint32_t x = seed;
    for (auto& b : v)
    {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return v;
}

// A resource as the program carries it: a DKPR record in one gzip member.
std::vector<uint8_t> Resource(const std::vector<uint8_t>& data)
{
    return datakit::Gzip(datakit::DkprWrap(data));
}

std::vector<uint8_t> Bytes(const std::string& s)
{
    return {s.begin(), s.end()};
}

std::string Text(const std::vector<uint8_t>& v)
{
    return {v.begin(), v.end()};
}

const char* const kInstallKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00]\n";

class PatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(InstallDir());
        fs::create_directories(WindowsDir());
        WriteRegistryWith(std::string(kInstallKey) + "HDPath=C:\\Dezor\n");
    }

    std::string InstallDir() const { return env.DriveC() + "/Dezor"; }
    std::string WindowsDir() const { return env.Path("windows"); }
    std::string Target(const std::string& name) const { return InstallDir() + "/" + name; }
    std::string TempFile() const { return WindowsDir() + "/Temp/ZUZIrozo.tmp"; }

    void WriteRegistryWith(const std::string& text)
    {
        env.WriteRegistry("[Drives]\nC=" + env.DriveC() + "\nWindows=" + WindowsDir() + "\n\n" +
                          text);
    }

    // Runs the dialog from its start until it ends or its timer stops; the ticks it took.
    static int Run(CPatchDlg& dlg, RecordingView& v, int limit = 100000)
    {
        dlg.OnInitDialog();
        int ticks = 0;
        while (v.timerRunning && ticks < limit)
        {
            dlg.OnTimer(1);
            ++ticks;
        }
        return ticks;
    }

    // Files the install directory holds that a finished or failed install must not leave.
    std::vector<std::string> Leftovers() const
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(InstallDir()))
            if (entry.path().extension() == ".part")
                found.push_back(entry.path().filename().string());
        return found;
    }

    TestEnv env;
    RecordingView view;
};

// One target per table, so that the ticks of each length can be counted alone.
TEST_F(PatchTest, TicksPerTargetAndBytesWritten)
{
    struct Case
    {
        size_t length;
        int inflateTicks; // the write of the resource to the temporary file comes first
    };
    const Case cases[] = {
        {0, 1},            // opens, reads the header, writes nothing, closes
        {1, 1},            //
        {4095, 1},         //
        {4096, 2},         // a whole chunk, then a tick that writes nothing
        {3 * 4096, 4},     // n chunks: n + 1 ticks
        {3 * 4096 + 1, 4}, //
        {10 * 4096, 11},   //
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE("length " + std::to_string(c.length));
        std::vector<uint8_t> data = Noise(c.length, static_cast<uint32_t>(c.length));
        std::vector<uint8_t> gz = Resource(data);
        const PatchRow rows[] = {{201, "Data.bin"}};
        const PatchResource resources[] = {{201, gz}};
        RecordingView local;
        CPatchDlg dlg(local, rows, resources);
        ASSERT_TRUE(dlg.FindInstallPath());
        ASSERT_TRUE(dlg.PrepareTempPath());

        ASSERT_EQ(dlg.ExtractStep(), CPatchDlg::EXTRACT_GO_ON); // the write phase
        EXPECT_EQ(ReadWholeFile(TempFile()), Text(gz));
        int ticks = 0;
        while (dlg.FileIndex() == 0 && ticks < 1000)
        {
            ASSERT_EQ(dlg.ExtractStep(), CPatchDlg::EXTRACT_GO_ON);
            ++ticks;
        }
        EXPECT_EQ(ticks, c.inflateTicks);
        EXPECT_EQ(dlg.ExtractStep(), CPatchDlg::EXTRACT_ALL_DONE);
        ASSERT_TRUE(FileExists(Target("Data.bin")));
        EXPECT_EQ(ReadWholeFile(Target("Data.bin")), Text(data));
        EXPECT_TRUE(Leftovers().empty());
    }
}

TEST_F(PatchTest, WholeRunWritesEveryTargetAndCleansUp)
{
    // Seven resources for the program's own payload rows, each with its own bytes.
    std::vector<std::vector<uint8_t>> data;
    std::vector<std::vector<uint8_t>> gz;
    std::vector<PatchResource> resources;
    std::span<const PatchRow> rows = PatchPayloadRows();
    ASSERT_EQ(rows.size(), 7u);
    for (size_t i = 0; i < rows.size(); ++i)
        data.push_back(Noise(i * 3000 + 17, static_cast<uint32_t>(i + 1)));
    for (size_t i = 0; i < rows.size(); ++i)
        gz.push_back(Resource(data[i]));
    for (size_t i = 0; i < rows.size(); ++i)
        resources.push_back({rows[i].nResource, gz[i]});

    WriteWholeFile(Target("Q53.dll"), "obsolete");
    WriteWholeFile(Target("Marvane.exe"), "the old game");
    chmod(Target("Marvane.exe").c_str(), 0755);

    CPatchDlg dlg(view, rows, resources);
    int ticks = Run(dlg, view);
    // Find, prepare, per row a write tick and n / 4096 + 1 inflate ticks, the tick that finds
    // all done, clean-up.
    int expected = 4;
    for (const auto& d : data)
        expected += 2 + static_cast<int>(d.size() / 4096);
    EXPECT_EQ(ticks, expected);
    EXPECT_EQ(view.result, -1) << "the finished dialog waits for OK";
    EXPECT_EQ(dlg.Step(), CPatchDlg::STEP_FINISHED);
    EXPECT_TRUE(view.okEnabled);
    EXPECT_EQ(view.status, "Patch completed successfully.");
    EXPECT_EQ(view.confirmations, 1);
    EXPECT_EQ(view.confirmedPath, "C:\\Dezor\\");

    // Rows 0 and 1 both write Kelvory.exe: row 1's bytes stay.
    EXPECT_EQ(ReadWholeFile(Target("Kelvory.exe")), Text(data[1]));
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(ReadWholeFile(Target(rows[i].pszTarget)), Text(data[i])) << rows[i].pszTarget;
    struct stat st;
    ASSERT_EQ(stat(Target("Marvane.exe").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u) << "the replaced program stays executable";
    EXPECT_FALSE(FileExists(Target("Q53.dll")));
    EXPECT_FALSE(FileExists(TempFile()));
    EXPECT_TRUE(Leftovers().empty());

    dlg.OnTimer(1); // a late tick does nothing
    dlg.OnOK();
    EXPECT_EQ(view.result, PATCH_DONE);
    EXPECT_EQ(PatchResultMessage(view.result), nullptr);
}

// Escape on the finished dialog: every file is in, so it ends as OK does, not as an error.
TEST_F(PatchTest, EscapeOnTheFinishedDialogEndsAsOk)
{
    std::vector<uint8_t> gz = Resource(Bytes("payload"));
    const PatchRow rows[] = {{1, "File.dat"}};
    const PatchResource resources[] = {{1, gz}};
    CPatchDlg dlg(view, rows, resources);
    Run(dlg, view);
    ASSERT_EQ(dlg.Step(), CPatchDlg::STEP_FINISHED);
    ASSERT_EQ(view.result, -1);
    dlg.OnCancel();
    EXPECT_EQ(view.result, PATCH_DONE);
    EXPECT_EQ(PatchResultMessage(view.result), nullptr);
    EXPECT_EQ(ReadWholeFile(Target("File.dat")), "payload");
}

// A new file is made executable (the payload is programs and libraries); a replaced one keeps
// its own permission bits.
TEST_F(PatchTest, ModesOfNewAndReplacedFiles)
{
    struct Case
    {
        const char* target;
        int oldMode; // -1: no such file before
        unsigned mode;
    };
    const Case cases[] = {
        {"New.exe", -1, 0755},
        {"Private.dll", 0600, 0600},
        {"Plain.dll", 0644, 0644},
        {"Game.exe", 0750, 0750},
    };
    std::vector<uint8_t> gz = Resource(Bytes("bytes"));
    std::vector<PatchRow> rows;
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        rows.push_back({1, cases[i].target});
        if (cases[i].oldMode >= 0)
        {
            WriteWholeFile(Target(cases[i].target), "old");
            ASSERT_EQ(chmod(Target(cases[i].target).c_str(), cases[i].oldMode), 0);
        }
    }
    const PatchResource resources[] = {{1, gz}};
    CPatchDlg dlg(view, rows, resources);
    Run(dlg, view);
    ASSERT_EQ(dlg.Step(), CPatchDlg::STEP_FINISHED);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.target);
        struct stat st;
        ASSERT_EQ(stat(Target(c.target).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(ReadWholeFile(Target(c.target)), "bytes");
    }
}

TEST_F(PatchTest, BarsAfterTheFirstRowAndAtTheEnd)
{
    // Seven rows of 0, 8192 (two chunks and a closing tick), and small files.
    const PatchRow rows[] = {{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}, {5, "E"}, {6, "F"}, {7, "G"}};
    const size_t lengths[] = {0, 8192, 10, 0, 5000, 1, 4096};
    std::vector<std::vector<uint8_t>> gz;
    for (size_t n : lengths)
        gz.push_back(Resource(Noise(n, 7)));
    std::vector<PatchResource> resources;
    for (int i = 0; i < 7; ++i)
        resources.push_back({i + 1, gz[static_cast<size_t>(i)]});

    CPatchDlg dlg(view, rows, resources);
    dlg.OnInitDialog();
    EXPECT_EQ(view.current, 0u);
    EXPECT_EQ(view.overall, 0u);
    EXPECT_FALSE(view.okEnabled);
    EXPECT_EQ(view.status, "Extracting files...");

    dlg.OnTimer(1); // find and confirm
    dlg.OnTimer(1); // prepare
    dlg.OnTimer(1); // row 0: the write phase
    EXPECT_EQ(view.overall, 0u);
    dlg.OnTimer(1); // row 0: the empty record, done
    EXPECT_EQ(dlg.FileIndex(), 1);
    EXPECT_EQ(view.current, 0u);
    EXPECT_EQ(view.overall, 14u);

    dlg.OnTimer(1); // row 1: write
    dlg.OnTimer(1); // row 1: 4096 of 8192
    EXPECT_EQ(view.current, 49u);
    EXPECT_EQ(view.overall, (99u + 49u) / 7u);
    for (int i = 0; i < 1000 && dlg.Step() == CPatchDlg::STEP_UNPACK; ++i)
        dlg.OnTimer(1);
    EXPECT_EQ(view.overall, 99u);
    EXPECT_EQ(view.current, 0u);
    for (unsigned pos : view.currentHistory)
        EXPECT_LE(pos, 99u);
    for (size_t i = 1; i < view.overallHistory.size(); ++i)
        EXPECT_GE(view.overallHistory[i], view.overallHistory[i - 1]);
}

// The resources built into the program: one per payload row, each a gzip member with a zero
// time stamp; 104 unpacks to the game program, the others to empty files.
TEST_F(PatchTest, BuiltInResourcesCarryTheGameProgram)
{
    std::span<const PatchRow> rows = PatchPayloadRows();
    std::span<const PatchResource> resources = PatchEmbeddedResources();
    ASSERT_EQ(resources.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
    {
        SCOPED_TRACE(rows[i].nResource);
        EXPECT_EQ(resources[i].nId, rows[i].nResource);
        const std::vector<uint8_t> header(resources[i].bytes.begin(),
                                          resources[i].bytes.begin() + 8);
        EXPECT_EQ(header, (std::vector<uint8_t>{0x1F, 0x8B, 8, 0, 0, 0, 0, 0}));
        if (rows[i].nResource != 104)
        {
            EXPECT_EQ(resources[i].bytes.size(), 26u);
        }
    }

    WriteWholeFile(Target("Marvane.exe"), "the old game");
    chmod(Target("Marvane.exe").c_str(), 0755);
    CPatchDlg dlg(view, rows, resources);
    Run(dlg, view);
    ASSERT_EQ(dlg.Step(), CPatchDlg::STEP_FINISHED);
    const std::string game = ReadWholeFile(DEZOR_GAME_PROGRAM);
    ASSERT_FALSE(game.empty());
    EXPECT_TRUE(ReadWholeFile(Target("Marvane.exe")) == game) << "Marvane.exe is not the game";
    for (const char* name : {"Kelvory.exe", "Plosset.vxd", "Q7712.dll", "Vlm1.dll", "Vlm2.dll"})
    {
        EXPECT_TRUE(FileExists(Target(name))) << name;
        EXPECT_EQ(ReadWholeFile(Target(name)), "") << name;
    }
}

// A file over 43 MB: bytes x 99 no longer fits in 32 bits, and the bar must not jump back.
TEST_F(PatchTest, CurrentBarOfALargeFileKeepsRising)
{
    const size_t length = 44u * 1024 * 1024;
    std::vector<uint8_t> gz = datakit::Gzip(datakit::DkprWrap(std::vector<uint8_t>(length)), 1);
    const PatchRow rows[] = {{1, "Big.bin"}};
    const PatchResource resources[] = {{1, gz}};
    CPatchDlg dlg(view, rows, resources);
    Run(dlg, view);
    ASSERT_EQ(dlg.Step(), CPatchDlg::STEP_FINISHED);
    for (size_t i = 1; i + 1 < view.currentHistory.size(); ++i)
        ASSERT_GE(view.currentHistory[i], view.currentHistory[i - 1]) << "tick " << i;
    EXPECT_EQ(view.currentHistory[view.currentHistory.size() - 2], 99u);
    EXPECT_EQ(fs::file_size(Target("Big.bin")), length);
}

TEST_F(PatchTest, FindsTheInstallPath)
{
    struct Case
    {
        const char* registry;
        bool found;
        const char* path;
    };
    const std::string key = kInstallKey;
    const Case cases[] = {
        {"HDPath=C:\\Dezor\n", true, "C:\\Dezor\\"},
        {"HDPath=C:\\Dezor\\\n", true, "C:\\Dezor\\"},
        {"HDPath=/opt/dezor\n", true, "/opt/dezor\\"},
        // An empty value names no installation, rather than the root.
        {"HDPath=\n", false, nullptr},
        {"CDPath=D:\\\n", false, nullptr},
        {"", false, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.registry);
        WriteRegistryWith(key + c.registry);
        gsInstallPath = "unchanged";
        CPatchDlg dlg(view, {}, {});
        EXPECT_EQ(dlg.FindInstallPath(), c.found ? TRUE : FALSE);
        if (c.found)
        {
            EXPECT_EQ(gsInstallPath, c.path);
        }
    }
    // Any key of the path missing.
    for (const char* partial :
         {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor]\nHDPath=C:\\x\n",
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.01]\nHDPath=C:\\x\n",
          "[HKEY_CURRENT_USER\\SOFTWARE\\Velmorra\\Dezor\\1.00]\nHDPath=C:\\x\n"})
    {
        SCOPED_TRACE(partial);
        WriteRegistryWith(partial);
        CPatchDlg dlg(view, {}, {});
        EXPECT_FALSE(dlg.FindInstallPath());
    }
}

TEST_F(PatchTest, ResultsAndTheirMessages)
{
    std::vector<uint8_t> gz = Resource(Bytes("payload"));
    const PatchRow rows[] = {{1, "File.dat"}};
    const PatchResource resources[] = {{1, gz}};
    struct Case
    {
        const char* name;
        const char* registry; // under the install key
        int confirm;
        bool withResource;
        int result;
        const char* message;
    };
    const Case cases[] = {
        {"finished, then OK", "HDPath=C:\\Dezor\n", CONFIRM_INSTALL, true, PATCH_DONE, nullptr},
        {"no HDPath", "CDPath=D:\\\n", CONFIRM_INSTALL, true, PATCH_NOT_INSTALLED,
         "Unable to find previous Dravik Dezor installation."},
        {"empty HDPath", "HDPath=\n", CONFIRM_INSTALL, true, PATCH_NOT_INSTALLED,
         "Unable to find previous Dravik Dezor installation."},
        {"resource missing", "HDPath=C:\\Dezor\n", CONFIRM_INSTALL, false, PATCH_FAILED,
         "An error occurred during file update."},
        {"declined", "HDPath=C:\\Dezor\n", CONFIRM_DECLINE, true, PATCH_DECLINED, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        WriteRegistryWith(std::string(kInstallKey) + c.registry);
        fs::remove(Target("File.dat"));
        RecordingView local;
        local.confirmAnswer = c.confirm;
        CPatchDlg dlg(local, rows,
                      c.withResource ? std::span<const PatchResource>(resources)
                                     : std::span<const PatchResource>());
        Run(dlg, local);
        if (local.result == -1 && dlg.Step() == CPatchDlg::STEP_FINISHED)
            dlg.OnOK();
        EXPECT_EQ(local.result, c.result);
        EXPECT_FALSE(local.timerRunning);
        const char* message = PatchResultMessage(local.result);
        if (c.message == nullptr)
        {
            EXPECT_EQ(message, nullptr);
        }
        else
        {
            EXPECT_STREQ(message, c.message);
        }
        EXPECT_EQ(FileExists(Target("File.dat")), c.result == PATCH_DONE);
        EXPECT_EQ(local.confirmations, c.result == PATCH_NOT_INSTALLED ? 0 : 1);
    }
}

// The confirmation dialog runs its own loop while the timer keeps firing: those ticks are idle.
TEST_F(PatchTest, TicksDuringTheConfirmationDoNothing)
{
    std::vector<uint8_t> gz = Resource(Bytes("x"));
    const PatchRow rows[] = {{1, "File.dat"}};
    const PatchResource resources[] = {{1, gz}};
    CPatchDlg dlg(view, rows, resources);
    view.duringConfirm = [&]
    {
        for (int i = 0; i < 5; ++i)
            dlg.OnTimer(1);
        dlg.OnTimer(2); // not our timer
    };
    dlg.OnInitDialog();
    dlg.OnTimer(1);
    EXPECT_EQ(view.confirmations, 1);
    EXPECT_EQ(dlg.Step(), CPatchDlg::STEP_PREPARE);
    EXPECT_TRUE(dlg.TempPath().empty());
    dlg.OnTimer(2);
    EXPECT_EQ(dlg.Step(), CPatchDlg::STEP_PREPARE);
}

// A resource made by another gzip implementation: Python's, with its own header fields (and a
// file name in one case).
TEST_F(PatchTest, UnpacksAResourceMadeByPythonsGzip)
{
    if (system("python3 -c 'import gzip' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with its gzip module is not available";
    std::vector<uint8_t> data = Noise(3 * 4096 + 123, 99);
    std::string record = env.Path("record.bin");
    WriteWholeFile(record, Text(datakit::DkprWrap(data)));
    struct Case
    {
        const char* name;
        const char* script;
    };
    const Case cases[] = {
        {"gzip.compress", "import gzip,sys; d=open(sys.argv[1],'rb').read(); "
                          "open(sys.argv[2],'wb').write(gzip.compress(d, compresslevel=6))"},
        {"GzipFile with a name",
         "import gzip,sys; d=open(sys.argv[1],'rb').read(); "
         "f=gzip.GzipFile(filename='payload.bin', mode='wb', fileobj=open(sys.argv[2],'wb'), "
         "mtime=1234567); f.write(d); f.close()"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string out = env.Path("python.gz");
        std::string command =
            std::string("python3 -c \"") + c.script + "\" '" + record + "' '" + out + "'";
        ASSERT_EQ(system(command.c_str()), 0) << command;
        std::vector<uint8_t> gz = Bytes(ReadWholeFile(out));
        ASSERT_GE(gz.size(), 10u);
        EXPECT_EQ(gz[0], 0x1F);
        EXPECT_EQ(gz[1], 0x8B);

        const PatchRow rows[] = {{1, "Python.bin"}};
        const PatchResource resources[] = {{1, gz}};
        RecordingView local;
        CPatchDlg dlg(local, rows, resources);
        Run(dlg, local);
        EXPECT_EQ(dlg.Step(), CPatchDlg::STEP_FINISHED);
        EXPECT_EQ(ReadWholeFile(Target("Python.bin")), Text(data));
    }
}

// Whatever goes wrong ends with the error result; the file the target would replace stays
// whole, and no half-written file is left.
TEST_F(PatchTest, FailuresEndWithTheErrorAndKeepTheOldFile)
{
    std::vector<uint8_t> data = Noise(5 * 4096 + 7, 5);
    std::vector<uint8_t> good = Resource(data);
    auto truncated = [&]
    { return std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2); };
    auto flipped = [&](size_t at)
    {
        std::vector<uint8_t> v = good;
        v[at] ^= 0x55;
        return v;
    };
    auto longer = [&]
    {
        std::vector<uint8_t> record = datakit::DkprWrap(Noise(100, 1));
        record[5] = 0x40; // claims 16,484 bytes, holds 100
        return datakit::Gzip(record);
    };
    // Standard error gets one line naming the file and the cause; the dialog shows only its
    // one message.
    const std::string damaged = "damaged resource 1 for " + Target("Game.exe") + ": ";
    const std::string part = Target("Game.exe.part");
    struct Case
    {
        const char* name;
        std::function<std::vector<uint8_t>()> resource;
        std::function<void()> setUp;
        std::string error;
    };
    const Case cases[] = {
        {"stream cut short", truncated, nullptr, damaged + "unexpected end of file"},
        // (noise is stored, not compressed: the damage shows in the CRC)
        {"damaged deflate data", [&] { return flipped(good.size() / 2); }, nullptr,
         damaged + "incorrect data check"},
        {"damaged CRC", [&] { return flipped(good.size() - 6); }, nullptr,
         damaged + "incorrect data check"},
        {"cut-off trailer", [&] { return std::vector<uint8_t>(good.begin(), good.end() - 8); },
         nullptr, damaged + "unexpected end of file"},
        {"record longer than its data", longer, nullptr,
         damaged + "the record is longer than its data"},
        {"header under 8 bytes", [] { return datakit::Gzip(Bytes("DKPR")); }, nullptr,
         damaged + "the record's header is cut short"},
        {"target write fails", [&] { return good; },
         [&] { ASSERT_EQ(symlink("/dev/full", part.c_str()), 0); },
         "cannot write " + part + ": No space left on device"},
        {"a directory in the way of the target", [&] { return good; },
         [&] { fs::create_directories(part + "/inside"); },
         "cannot create " + part + ": Is a directory"},
        {"temporary file cannot be made", [&] { return good; },
         [&]
         {
             WriteWholeFile(env.Path("not-a-dir"), "");
             env.WriteRegistry("[Drives]\nC=" + env.DriveC() + "\nWindows=" +
                               env.Path("not-a-dir") + "\n\n" + kInstallKey + "HDPath=C:\\Dezor\n");
         },
         "cannot create " + env.Path("not-a-dir") + "/Temp/ZUZIrozo.tmp: Not a directory"},
        {"resource missing", [] { return std::vector<uint8_t>(); }, nullptr,
         "no resource 1 for " + Target("Game.exe")},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        WriteRegistryWith(std::string(kInstallKey) + "HDPath=C:\\Dezor\n");
        WriteWholeFile(Target("Game.exe"), "the old game");
        if (c.setUp)
            c.setUp();
        std::vector<uint8_t> gz = c.resource();
        const PatchRow rows[] = {{1, "Game.exe"}};
        const PatchResource resources[] = {{1, gz}};
        RecordingView local;
        CPatchDlg dlg(local, rows, resources);
        Run(dlg, local);
        EXPECT_EQ(local.result, PATCH_FAILED);
        EXPECT_FALSE(local.okEnabled);
        EXPECT_EQ(ReadWholeFile(Target("Game.exe")), "the old game");
        ASSERT_EQ(local.errors.size(), 1u);
        EXPECT_EQ(local.errors[0].rfind(c.error, 0), 0u) << local.errors[0];
        std::error_code ec;
        if (fs::is_directory(part))
            fs::remove_all(part, ec);
        EXPECT_TRUE(Leftovers().empty());
        fs::remove(part, ec);
    }
}

// The old file cannot be replaced (a directory stands in its place): the line names both files.
TEST_F(PatchTest, AFailedRenameNamesBothFiles)
{
    std::vector<uint8_t> gz = Resource(Bytes("new"));
    fs::create_directories(Target("Game.exe") + "/inside");
    const PatchRow rows[] = {{1, "Game.exe"}};
    const PatchResource resources[] = {{1, gz}};
    CPatchDlg dlg(view, rows, resources);
    Run(dlg, view);
    EXPECT_EQ(view.result, PATCH_FAILED);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0], "cannot rename " + Target("Game.exe.part") + " to " +
                                  Target("Game.exe") + ": Is a directory");
    EXPECT_TRUE(fs::is_directory(Target("Game.exe/inside")));
    EXPECT_TRUE(Leftovers().empty());
}

// A .part left by an interrupted run (longer than the new file, read-only) is written over
// from its start, not appended to or kept.
TEST_F(PatchTest, AStalePartFromAnEarlierRunIsReplaced)
{
    std::vector<uint8_t> data = Noise(4096 + 10, 11);
    std::vector<uint8_t> gz = Resource(data);
    WriteWholeFile(Target("Game.exe"), "the old game");
    WriteWholeFile(Target("Game.exe.part"), std::string(3 * 4096, 'x'));
    ASSERT_EQ(chmod(Target("Game.exe.part").c_str(), 0444), 0);
    const PatchRow rows[] = {{1, "Game.exe"}};
    const PatchResource resources[] = {{1, gz}};
    CPatchDlg dlg(view, rows, resources);
    Run(dlg, view);
    ASSERT_EQ(dlg.Step(), CPatchDlg::STEP_FINISHED);
    EXPECT_TRUE(view.errors.empty());
    EXPECT_EQ(ReadWholeFile(Target("Game.exe")), Text(data));
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(PatchTest, EscapeMidFileKeepsTheOldFile)
{
    std::vector<uint8_t> gz = Resource(Noise(3 * 4096, 3));
    WriteWholeFile(Target("Game.exe"), "the old game");
    const PatchRow rows[] = {{1, "Game.exe"}};
    const PatchResource resources[] = {{1, gz}};
    {
        CPatchDlg dlg(view, rows, resources);
        dlg.OnInitDialog();
        for (int i = 0; i < 100 && dlg.BytesWritten() < 2 * 4096; ++i)
            dlg.OnTimer(1);
        ASSERT_EQ(dlg.BytesWritten(), 2u * 4096);
        ASSERT_FALSE(Leftovers().empty()) << "the target is written under another name";
        dlg.OnCancel();
        EXPECT_EQ(view.result, PATCH_FAILED);
        EXPECT_FALSE(view.timerRunning);
        EXPECT_STREQ(PatchResultMessage(view.result), "An error occurred during file update.");
    }
    EXPECT_EQ(ReadWholeFile(Target("Game.exe")), "the old game");
    EXPECT_TRUE(Leftovers().empty());

    // A signal mid-file: the same, and no more ticks.
    {
        RecordingView signalled;
        CPatchDlg dlg(signalled, rows, resources);
        dlg.OnInitDialog();
        for (int i = 0; i < 100 && dlg.BytesWritten() == 0; ++i)
            dlg.OnTimer(1);
        ASSERT_EQ(dlg.BytesWritten(), 4096u);
        ASSERT_FALSE(Leftovers().empty());
        dlg.OnInterrupt();
        EXPECT_FALSE(signalled.timerRunning);
        EXPECT_TRUE(Leftovers().empty());
        EXPECT_EQ(ReadWholeFile(Target("Game.exe")), "the old game");
    }

    // The dialog torn down mid-file (the program ending) leaves the same.
    RecordingView other;
    {
        CPatchDlg dlg(other, rows, resources);
        dlg.OnInitDialog();
        for (int i = 0; i < 100 && dlg.BytesWritten() == 0; ++i)
            dlg.OnTimer(1);
        ASSERT_EQ(dlg.BytesWritten(), 4096u);
    }
    EXPECT_EQ(ReadWholeFile(Target("Game.exe")), "the old game");
    EXPECT_TRUE(Leftovers().empty());
}

} // namespace
