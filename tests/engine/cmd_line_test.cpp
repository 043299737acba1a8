#include "engine/pc/core/cmd_line.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/pc/core/dk_debug.h"

namespace
{

class CmdLineTest : public testing::Test
{
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        testing::internal::CaptureStderr();
        DkCallAllDestructors();
        DkFreeCommandLine();
        testing::internal::GetCapturedStderr();
    }
    static std::vector<std::string> Words()
    {
        std::vector<std::string> words;
        for (int i = 0; i < gnNumCommandLineParams; ++i)
            words.emplace_back(GetCommandLineParameter(static_cast<unsigned>(i)));
        return words;
    }
};

TEST_F(CmdLineTest, SplitsAtSpacesOnly)
{
    struct Case
    {
        const char* line;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"stage", {"stage"}},
        {"a b", {"a", "b"}},
        {"a b ", {"a", "b", ""}},                 // a trailing space makes an empty word
        {" a", {"a"}},                            // leading spaces are skipped
        {"a   b", {"a", "b"}},                    // runs of spaces separate once
        {"a\tb \"c d\"", {"a\tb", "\"c", "d\""}}, // tabs and quotes are ordinary
        {"   ", {""}},
        {"1 2 3 4 5 6 7", {"1", "2", "3", "4", "5"}}, // the table holds five
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.line);
        Reset();
        testing::internal::CaptureStderr();
        EXPECT_EQ(DkParseCommandLine(c.line), static_cast<int>(c.words.size()));
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(Words(), c.words);
    }
}

TEST_F(CmdLineTest, ParsingRegistersTheDestructorThatFreesTheWords)
{
    ASSERT_EQ(DkParseCommandLine("stages\\test.trk"), 1);
    ASSERT_EQ(gnNumDestructors, 1);
    EXPECT_STREQ(gaDestructors[0].szName, "Command line string destructor");
    DkCallAllDestructors();

    testing::internal::CaptureStderr();
    EXPECT_EQ(GetCommandLineParameter(0), nullptr) << "no freed word is handed out";
    testing::internal::GetCapturedStderr();
}

TEST_F(CmdLineTest, AnEmptyLineYieldsNoWordsAndNoDestructor)
{
    EXPECT_EQ(DkParseCommandLine(""), 0);
    EXPECT_EQ(DkParseCommandLine(nullptr), 0);
    EXPECT_EQ(gnNumDestructors, 0);

    testing::internal::CaptureStderr();
    EXPECT_EQ(GetCommandLineParameter(0), nullptr);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("Command line has not been parsed"), std::string::npos);
    EXPECT_NE(out.find("GetCommandLineParameter() : Parameter number is > gnNumCommandLineParams"),
              std::string::npos);
}

TEST_F(CmdLineTest, LookupsOutsideTheWordsAreReportedAndYieldNull)
{
    ASSERT_EQ(DkParseCommandLine("one two"), 2);
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetCommandLineParameter(5), nullptr);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("GetCommandLineParameter() : Parameter number is > MAX_PARAMS"),
              std::string::npos);

    testing::internal::CaptureStderr();
    EXPECT_EQ(GetCommandLineParameter(2), nullptr);
    out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("Parameter number is > gnNumCommandLineParams"), std::string::npos);
}

TEST_F(CmdLineTest, LongWordsAreCutAndASecondParseKeepsTheFirstWords)
{
    std::string longWord(400, 'w');
    ASSERT_EQ(DkParseCommandLine((longWord + " next").c_str()), 2);
    EXPECT_EQ(std::string(GetCommandLineParameter(0)), std::string(259, 'w'));
    EXPECT_STREQ(GetCommandLineParameter(1), "next");

    testing::internal::CaptureStderr();
    EXPECT_EQ(DkParseCommandLine("other words here"), 2);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("Command line already parsed"), std::string::npos);
    EXPECT_STREQ(GetCommandLineParameter(1), "next");
}

} // namespace
