// The file layer and the registry settings, reading what dezor-datakit writes.

#include "engine/pc/core/dk_file.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/reg/reg.h"
#include "tests/support/test_env.h"
#include "tools/datakit/dkpr_writer.h"
#include "tools/datakit/install.h"
#include "tools/datakit/registry_writer.h"

using namespace std::string_literals;

namespace
{

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string AsString(const void* data, uint32_t size)
{
    return std::string(static_cast<const char*>(data), size);
}

class DkFileTest : public testing::Test
{
protected:
    void SetUp() override
    {
        DkResetDataPathsForTests();
        DkTempHeapInit(64 * 1024);
        DkHeapInit(256 * 1024);
    }
    void TearDown() override
    {
        testing::internal::CaptureStderr();
        DkCallAllDestructors();
        testing::internal::GetCapturedStderr();
        DkResetDataPathsForTests();
    }

    // Loads and returns the data as text, or "<null>".
    std::string Load(const std::string& name, int kind)
    {
        testing::internal::CaptureStderr();
        void* data = DkMallocLoadFile(name.c_str(), kind);
        reports = testing::internal::GetCapturedStderr();
        return data != nullptr ? AsString(data, DkGetLastFileSize()) : "<null>";
    }

    TestEnv env;
    std::string reports;
};

TEST_F(DkFileTest, WrappedFilesLoadTheirDataWhetherStoredPlainOrCompressed)
{
    const std::string data = "stage data\0with a zero"s;
    datakit::WriteDkprFile(env.DriveC() + "/plain.dat", Bytes(data), false);
    datakit::WriteDkprFile(env.DriveC() + "/packed.dat", Bytes(data), true);
    EXPECT_EQ(Load("c:\\plain.dat", DKLF_AS_GIVEN), data);
    EXPECT_EQ(Load("c:\\packed.dat", DKLF_AS_GIVEN), data);
    EXPECT_EQ(DkGetLastFileSize(), data.size());
}

TEST_F(DkFileTest, OtherFilesLoadAsTheyAreStored)
{
    const std::vector<uint8_t> gzipped = datakit::Gzip(Bytes("BM not wrapped"));
    WriteWholeFile(env.DriveC() + "/image.gz", std::string(gzipped.begin(), gzipped.end()));
    WriteWholeFile(env.DriveC() + "/short.dat", "DKPR");
    WriteWholeFile(env.DriveC() + "/text.txt", "plain text");
    WriteWholeFile(env.DriveC() + "/empty.dat", "");

    EXPECT_EQ(Load("c:\\image.gz", DKLF_AS_GIVEN), std::string(gzipped.begin(), gzipped.end()));
    EXPECT_EQ(Load("c:\\short.dat", DKLF_AS_GIVEN), "DKPR");
    EXPECT_EQ(Load("c:\\text.txt", DKLF_AS_GIVEN), "plain text");
    EXPECT_EQ(Load("c:\\empty.dat", DKLF_AS_GIVEN), "");
}

TEST_F(DkFileTest, DamagedWrappersFailCleanly)
{
    // A wrapper promising more bytes than it holds, plain and compressed.
    std::vector<uint8_t> wrapper = datakit::DkprWrap(Bytes("0123456789"));
    wrapper.resize(wrapper.size() - 4);
    WriteWholeFile(env.DriveC() + "/cut.dat", std::string(wrapper.begin(), wrapper.end()));
    std::vector<uint8_t> packed = datakit::Gzip(wrapper);
    WriteWholeFile(env.DriveC() + "/cut.gz", std::string(packed.begin(), packed.end()));
    // A length of 0xFFFFFFFF, and one larger than the heap.
    WriteWholeFile(env.DriveC() + "/bad.dat", std::string("DKPR\xFF\xFF\xFF\xFF", 8) + "xx");
    WriteWholeFile(env.DriveC() + "/huge.dat", std::string("DKPR\x00\x00\x00\x7F", 8) + "xx");

    EXPECT_EQ(Load("c:\\cut.dat", DKLF_AS_GIVEN), "<null>");
    EXPECT_NE(reports.find("DkMallocLoadFile() : Only read 6 bytes of 10"), std::string::npos);
    EXPECT_EQ(Load("c:\\cut.gz", DKLF_AS_GIVEN), "<null>");
    EXPECT_EQ(Load("c:\\bad.dat", DKLF_AS_GIVEN), "<null>");
    EXPECT_NE(reports.find("DkMallocLoadFile() : Error getting file size"), std::string::npos);
    EXPECT_EQ(Load("c:\\huge.dat", DKLF_AS_GIVEN), "<null>");
    EXPECT_EQ(Load("c:\\missing.dat", DKLF_AS_GIVEN), "<null>");
    EXPECT_NE(reports.find("*** Error opening file 'c:\\missing.dat' for input."),
              std::string::npos);
}

TEST_F(DkFileTest, FilesParsedAtOnceGoToTheTemporaryHeap)
{
    for (const char* name : {"a.c3d", "b.OBJ", "c.bmp", "d.sht", "e.Fon", "f.shp", "g.hzn", "h.trg",
                             "i.dat", "j.pal", "bmp"})
        WriteWholeFile(env.DriveC() + "/" + name, name);

    void* tempBlock = DkTempHeapAlloc(0);
    for (const char* name :
         {"a.c3d", "b.OBJ", "c.bmp", "d.sht", "e.Fon", "f.shp", "g.hzn", "h.trg"})
    {
        SCOPED_TRACE(name);
        uint32_t used = DkHeapGetBytesUsed();
        void* data = DkMallocLoadFile((std::string("c:\\") + name).c_str(), DKLF_AS_GIVEN);
        EXPECT_EQ(data, tempBlock);
        EXPECT_EQ(DkHeapGetBytesUsed(), used) << "the main heap is untouched";
        EXPECT_EQ(AsString(data, DkGetLastFileSize()), name);
    }
    for (const char* name : {"i.dat", "j.pal", "bmp"})
    {
        SCOPED_TRACE(name);
        uint32_t used = DkHeapGetBytesUsed();
        void* data = DkMallocLoadFile((std::string("c:\\") + name).c_str(), DKLF_AS_GIVEN);
        EXPECT_NE(data, tempBlock);
        EXPECT_GT(DkHeapGetBytesUsed(), used);
    }
}

TEST_F(DkFileTest, RootsAndMixedCaseNamesFindTheirFiles)
{
    std::filesystem::create_directories(env.Path("disc/new_fe/Images"));
    std::filesystem::create_directories(env.DriveC() + "/Dezor/save");
    WriteWholeFile(env.Path("disc/new_fe/Images/Back.bmp"), "from the disc");
    WriteWholeFile(env.DriveC() + "/Dezor/save/diVevov.cfg", "from the hard disk");
    env.WriteRegistry("[Drives]\nC=" + env.DriveC() + "\nD=" + env.Path("disc") + "\n");

    DkSetHardDrivePath("C:\\DEZOR");
    DkSetCDPath("d:\\New_FE");
    EXPECT_STREQ(DkGetHardDrivePath(), "C:\\DEZOR\\");
    EXPECT_STREQ(DkGetCDPath(), "d:\\New_FE\\");
    EXPECT_EQ(Load("IMAGES\\back.BMP", DKLF_CD), "from the disc");
    EXPECT_EQ(Load("SAVE\\DIVEVOV.CFG", DKLF_HARDDRIVE), "from the hard disk");
}

TEST_F(DkFileTest, RootSettersAddTheirBackslashes)
{
    DkSetCDPath("d:\\game");
    EXPECT_STREQ(DkGetCDPath(), "d:\\game\\");
    DkSetCDPath("d:\\game\\");
    EXPECT_STREQ(DkGetCDPath(), "d:\\game\\\\");
    DkSetHardDrivePath("c:\\dezor");
    EXPECT_STREQ(DkGetHardDrivePath(), "c:\\dezor\\");
    DkSetHardDrivePath("c:\\dezor\\");
    EXPECT_STREQ(DkGetHardDrivePath(), "c:\\dezor\\");

    // Over-long roots are refused and the old root stays.
    testing::internal::CaptureStderr();
    DkSetHardDrivePath(std::string(261, 'h').c_str());
    DkSetCDPath(std::string(259, 'd').c_str());
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(DkGetHardDrivePath(), "c:\\dezor\\");
    EXPECT_STREQ(DkGetCDPath(), "d:\\game\\\\");
    EXPECT_NE(out.find("DkSetHardDrivePath() : String too long"), std::string::npos);
}

TEST_F(DkFileTest, UnsetRootsAreReportedAndTheNameIsUsedAsGiven)
{
    EXPECT_EQ(DkGetHardDrivePath(), nullptr);
    EXPECT_EQ(DkGetCDPath(), nullptr);
    WriteWholeFile(env.DriveC() + "/x.dat", "x");
    EXPECT_EQ(Load("c:\\x.dat", DKLF_HARDDRIVE), "x");
    EXPECT_NE(reports.find("DkMallocLoadFile() : HardDrive path has not been set.\nUse "
                           "DkSetHardDrivePath()"),
              std::string::npos);
    EXPECT_EQ(Load("c:\\x.dat", DKLF_CD), "x");
    EXPECT_NE(reports.find("DkMallocLoadFile() : CD path has not been set.\nUse DkSetCDPath()"),
              std::string::npos);

    EXPECT_EQ(Load("c:\\" + std::string(300, 'n'), DKLF_AS_GIVEN), "<null>");
    EXPECT_NE(reports.find("DkMallocLoadFile() : Filename too long"), std::string::npos);
}

TEST_F(DkFileTest, SavesReplaceTheFileWholeAndReportFailure)
{
    DkSetHardDrivePath("c:\\");
    ASSERT_TRUE(DkSaveFile("settings.cfg", DKLF_HARDDRIVE, "first version", 13));
    ASSERT_TRUE(DkSaveFile("settings.cfg", DKLF_HARDDRIVE, "second", 6));
    EXPECT_EQ(ReadWholeFile(env.DriveC() + "/settings.cfg"), "second");

    testing::internal::CaptureStderr();
    EXPECT_FALSE(DkSaveFile(nullptr, DKLF_AS_GIVEN, "x", 1));
    EXPECT_FALSE(DkSaveFile("q:\\nowhere.cfg", DKLF_AS_GIVEN, "x", 1)); // unmapped drive
    EXPECT_FALSE(DkSaveFile(std::string(260, 's').c_str(), DKLF_AS_GIVEN, "x", 1));
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("DkSaveFile() : NULL filename"), std::string::npos);
    EXPECT_NE(out.find("DkSaveFile() : Could not create file q:\\nowhere.cfg"), std::string::npos);
    EXPECT_NE(out.find("DkSaveFile() : Filename is longer than MAX_PATH"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(env.DriveC() + "/settings.cfg"), "second");
}

TEST_F(DkFileTest, AFailedSaveKeepsTheOldFile)
{
    // A save goes through a ".new" file beside the target; a directory standing in its place
    // makes the save fail.
    DkSetHardDrivePath("c:\\");
    ASSERT_TRUE(DkSaveFile("slot.dks", DKLF_HARDDRIVE, "old", 3));
    std::filesystem::create_directory(env.DriveC() + "/slot.dks.new");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(DkSaveFile("slot.dks", DKLF_HARDDRIVE, "new", 3));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadWholeFile(env.DriveC() + "/slot.dks"), "old");
}

class DkRegistryTest : public testing::Test
{
protected:
    TestEnv env;
};

TEST_F(DkRegistryTest, ReadsEverySettingOfADemoInstallation)
{
    datakit::InstallSummary demo = datakit::InstallDemo(env.Path("demo"));
    setenv("DEZOR_REGISTRY", demo.registryFile.c_str(), 1);
    RegReload();

    EXPECT_STREQ(DkRegGetString("CDPath"), "D:");
    EXPECT_STREQ(DkRegGetString("hdpath"), "C:\\Dezor");
    EXPECT_STREQ(DkRegGetString("WAVPath"), "D:\\music");
    EXPECT_STREQ(DkRegGetString("AVIPath"), "D:\\movies");
    EXPECT_STREQ(DkRegGetString("Missing"), "");
    EXPECT_EQ(DkRegGetLanguage(), 0);
    EXPECT_EQ(DkRegGetHardware(), 0);
}

TEST_F(DkRegistryTest, ValuesAreConvertedAsTheGameReadsThem)
{
    struct Case
    {
        const char* language;
        int16_t expectedLanguage;
        const char* hardware;
        int expectedHardware;
    };
    const Case cases[] = {
        {"ENGLISH", 0, "0", 0},    {"FRENCH", 1, "3", 3},    {"GERMAN", 2, "7", 7},
        {"SPANISH", 3, "3dfx", 3}, {"ITALIAN", 4, "12", 12}, {"french", 0, "none", 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.language);
        datakit::RegistryModel model;
        model.Set(datakit::kGameKey, "Language", c.language);
        model.Set(datakit::kGameKey, "Hardware", c.hardware);
        model.Set(datakit::kGameKey, "CDPath", std::string(100, 'p'));
        model.Set(datakit::kGameKey, "WAVPath", std::string(99, 'w'));
        datakit::WriteRegistryFile(env.RegistryFile(), model);
        RegReload();
        EXPECT_EQ(DkRegGetLanguage(), c.expectedLanguage);
        EXPECT_EQ(DkRegGetHardware(), c.expectedHardware);
        EXPECT_STREQ(DkRegGetString("CDPath"), "") << "100 characters do not fit the buffer";
        EXPECT_EQ(std::string(DkRegGetString("WAVPath")), std::string(99, 'w'));
    }
}

TEST_F(DkRegistryTest, AMissingKeyReadsAsEmptyValues)
{
    env.WriteRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Other]\nHDPath=c:\\x\n");
    testing::internal::CaptureStderr();
    EXPECT_STREQ(DkRegGetString("HDPath"), "");
    EXPECT_EQ(DkRegGetLanguage(), 0);
    EXPECT_EQ(DkRegGetHardware(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "nothing is reported";
}

} // namespace
