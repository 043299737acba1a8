#include "engine/common/dk_text.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_file.h"
#include "platform/reg/reg.h"
#include "tests/support/engine_test.h"
#include "tools/datakit/install.h"

namespace
{

class DkTextTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        DkTempHeapInit(64 * 1024);
        DkHeapInit(1024 * 1024);
    }
    void TearDown() override
    {
        DkFreeLanguageText();
        CaptureOutput([] { DkCallAllDestructors(); });
        LoggedTest::TearDown();
    }
    // A file image on the main heap, as the loader hands it over.
    char* Image(const std::string& bytes)
    {
        char* image = static_cast<char*>(DkHeapAlloc(bytes.size()));
        std::memcpy(image, bytes.data(), bytes.size());
        return image;
    }
};

TEST_F(DkTextTest, RunsOfControlBytesSeparateStrings)
{
    struct Case
    {
        std::string file;
        std::vector<std::string> strings;
    };
    const Case cases[] = {
        {"One\r\nTwo\r\n", {"One", "Two", ""}},
        {"\r\nAfter a blank start\r\n", {"", "After a blank start", ""}},
        {"One\r\n\r\n\r\n\nTwo", {"One", "Two", ""}},
        {"Tab\tsplits", {"Tab", "splits", ""}},
        {"Spaces stay ^ and so do carets\n\xE9t\xE9\n",
         {"Spaces stay ^ and so do carets", "\xE9t\xE9", ""}},
        {std::string("nul\0ends", 8), {"nul", "ends", ""}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.file);
        char* image = Image(c.file);
        uint32_t size = static_cast<uint32_t>(c.file.size());
        DkInitialiseLanguageText(1, 3, &image, &size);
        for (int n = 0; n < 3; ++n)
            EXPECT_EQ(std::string(DkGetText(n)), c.strings[n]) << "string " << n;
    }
}

TEST_F(DkTextTest, LanguagesAreSelectedAndBadNumbersAreLogged)
{
    char* images[2] = {Image("Yes\r\nNo\r\n"), Image("Oui\r\nNon\r\n")};
    uint32_t sizes[2] = {9, 10};
    DkInitialiseLanguageText(2, 2, images, sizes);
    EXPECT_STREQ(DkGetText(1), "No");
    DkSetLanguage(1);
    EXPECT_STREQ(DkGetText(0), "Oui");
    DkSetLanguage(2);
    EXPECT_STREQ(DkGetText(1), "Non") << "an unknown language keeps the current one";
    EXPECT_STREQ(DkGetText(2), "INVALID TEXT STRING");
    EXPECT_STREQ(DkGetText(-1), "INVALID TEXT STRING");

    std::string log = Log();
    EXPECT_NE(log.find("ERROR - Language 2 is invalid (max 2 languages allowed)!\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("ERROR - Text string 2 is invalid in language 1 (max 2 strings allowed)!"),
              std::string::npos);
}

TEST_F(DkTextTest, AFailedBuildLeavesEveryLookupInvalid)
{
    char* image = Image("Text\r\n");
    uint32_t size = 6;
    // Far more entries than the heap holds.
    DkInitialiseLanguageText(5, 1 << 20, &image, &size);
    EXPECT_STREQ(DkGetText(0), "INVALID TEXT STRING");
    EXPECT_NE(Log().find("\nERROR - Cannot allocate \"ppLanguageData\"!\n"), std::string::npos);
}

TEST_F(DkTextTest, ZeroLanguagesAreRefusedAndLookupsStayInvalid)
{
    char* image = Image("One\r\nTwo\r\n");
    uint32_t size = 10;
    // A good table first: the refused build must not leave it half in place either.
    DkInitialiseLanguageText(1, 2, &image, &size);
    ASSERT_STREQ(DkGetText(1), "Two");
    DkInitialiseLanguageText(0, 3, &image, &size);
    for (int32_t n : {0, 1, 2, 3})
        EXPECT_STREQ(DkGetText(n), "INVALID TEXT STRING") << n;
    DkSetLanguage(0);
    EXPECT_STREQ(DkGetText(0), "INVALID TEXT STRING");
    const std::string log = Log();
    EXPECT_NE(log.find("\nERROR - Cannot build \"ppLanguageData\" for 0 languages (3 "
                       "strings)!\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("ERROR - Language 0 is invalid (max 0 languages allowed)!"),
              std::string::npos)
        << log;
}

TEST_F(DkTextTest, TheDemoTextsLoadThroughTheFileLayer)
{
    datakit::InstallSummary demo = datakit::InstallDemo(env.Path("demo"));
    setenv("DEZOR_REGISTRY", demo.registryFile.c_str(), 1);
    RegReload();
    DkResetDataPathsForTests();
    DkSetCDPath((std::string(DkRegGetString("CDPath")) + "\\game").c_str());

    char* images[5];
    uint32_t sizes[5];
    for (int i = 0; i < 5; ++i)
    {
        std::string name = std::string("language\\") + datakit::kLanguageFiles[i] + ".txt";
        images[i] = static_cast<char*>(DkMallocLoadFile(name.c_str(), DKLF_CD));
        ASSERT_NE(images[i], nullptr) << name;
        sizes[i] = DkGetLastFileSize();
    }
    DkInitialiseLanguageText(5, datakit::kGameStrings, images, sizes);
    DkSetLanguage(0);
    EXPECT_STREQ(DkGetText(17), "Game text 17");
    EXPECT_STREQ(DkGetText(datakit::kGameStrings - 1), "Game text 321");
    DkSetLanguage(1);
    EXPECT_STREQ(DkGetText(0), "Texte du jeu 0");
    DkResetDataPathsForTests();
}

} // namespace
