#include "engine/pc/core/dk_debug.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine/pc/core/dk_timer.h"
#include "tests/support/engine_test.h"

namespace
{

const std::string kBangs(48, '!');
const char kClick[] =
    "Click ABORT to terminate this process,any other button to continue program execution";

using DkDebugTest = LoggedTest;

std::string LogBlock(int line, const char* file, const std::string& text)
{
    return "\r\n" + kBangs + "\r\nASSERT() failed!\r\nLine " + std::to_string(line) + ", in " +
           file + "\r\n" + text + "\r\n" + kBangs + "\r\n\r\n";
}

std::string DebugBlock(int line, const char* file, const std::string& text)
{
    return "\n" + kBangs + "\nASSERT() failed!\nLine " + std::to_string(line) + ", in " + file +
           "\n" + text + "\n" + kBangs + "\n\n";
}

struct ReportCase
{
    const char* name;
    int (*report)(const char* message, int line, const char* file);
    const char* message;
    std::string expected;
};

int TryDD(const char*, int line, const char* file)
{
    return DkTryDDFailed(static_cast<HRESULT>(0x88760000u + 120), line, file);
}
int TryD3D(const char*, int line, const char* file)
{
    return DkTryD3DFailed(static_cast<HRESULT>(0x887602DAu), line, file);
}

TEST_F(DkDebugTest, EveryReportWritesItsTextToTheLogAndTheDebuggerOutput)
{
    const std::string click = kClick;
    const ReportCase cases[] = {
        {"TRYBOOL with a message", DkTryBoolFailed, "disc not found",
         "TRYBOOL failed on line 12, in file dk_file.cpp\n\ndisc not found\n\n\n" + click},
        {"TRYBOOL alone", DkTryBoolFailed, nullptr,
         "TRYBOOL failed on line 12, in file dk_file.cpp\n\n\n" + click},
        {"TRYFUNCBOOL with a message", DkTryFuncBoolFailed, "bad call",
         "TRYFUNCBOOL failed on line 12, in file dk_file.cpp\n\nbad call\n\n\n" + click},
        {"TRYFUNCBOOL alone", DkTryFuncBoolFailed, nullptr,
         "TRYFUNCBOOL failed on line 12, in file dk_file.cpp\n\n" + click},
        {"TRYDD", TryDD, nullptr,
         "TRYDD failed on line 12, in file dk_file.cpp\n\nDirectDraw error : DirectDraw does not "
         "support the requested mode.\n\nClick ABORT to terminate this process, any other button "
         "to continue program execution"},
        {"TRYD3D", TryD3D, nullptr,
         "TRYD3D failed on line 12, in file dk_file.cpp\n\nDirect3D error : Material Create "
         "Failed.\n\n" +
             click},
    };
    std::string expectedLog;
    for (const ReportCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStderr();
        c.report(c.message, 12, "dk_file.cpp");
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  DebugBlock(12, "dk_file.cpp", c.expected));
        expectedLog += LogBlock(12, "dk_file.cpp", c.expected);
    }
    EXPECT_EQ(Log(), expectedLog);
}

TEST_F(DkDebugTest, LongTextsAreCutAtTheirBuffers)
{
    const std::string longMessage(2000, 'm');

    testing::internal::CaptureStderr();
    DkTryBoolFailed(longMessage.c_str(), 7, "x.cpp");
    std::string out = testing::internal::GetCapturedStderr();
    // The composed text holds 511 characters at most.
    const std::string head = "TRYBOOL failed on line 7, in file x.cpp\n\n";
    std::string composed = head + std::string(511 - head.size(), 'm');
    EXPECT_EQ(out, DebugBlock(7, "x.cpp", composed));

    char* formatted = DkFormatString("%s", longMessage.c_str());
    EXPECT_EQ(std::strlen(formatted), static_cast<size_t>(DK_FORMAT_BUFFER_SIZE - 1));

    testing::internal::CaptureStderr();
    DkReportAssert(longMessage.c_str(), "caption", 0, 1, longMessage.c_str());
    out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find(longMessage), std::string::npos) << "the report's own text is not cut";
}

TEST_F(DkDebugTest, LogLinesEndInCrLfAndNothingIsWrittenWhileDisabled)
{
    EXPECT_TRUE(DkLog("first"));
    DkDisableLog();
    EXPECT_TRUE(DkLog("hidden"));
    DkEnableLog();
    EXPECT_TRUE(DkLog("second"));
    EXPECT_EQ(Log(), "first\r\nsecond\r\n");
}

TEST(DkLogTest, LogThatWasNeverOpenedRefusesLinesOnlyWhenEnabled)
{
    DkCloseLogFile();
    DkDisableLog();
    EXPECT_TRUE(DkLog("nothing"));
    DkEnableLog();
    EXPECT_FALSE(DkLog("nothing"));
    DkDisableLog();
}

TEST(DkLogTest, OpeningTruncatesAnOldLogAndAnUnmappedDriveFails)
{
    TestEnv env;
    WriteWholeFile(env.DriveC() + "/error.txt", "old contents");
    ASSERT_TRUE(DkOpenLogFile("c:\\error.txt"));
    DkCloseLogFile();
    EXPECT_EQ(ReadWholeFile(env.DriveC() + "/error.txt"), "");
    EXPECT_FALSE(DkOpenLogFile("q:\\error.txt"));
}

TEST(DkErrorTextTest, ResultCodesGiveTheirTexts)
{
    struct Case
    {
        uint32_t code;
        const char* dd;
        const char* d3d;
    };
    const char* unknownDD = "Unrecognized Direct Draw error value.";
    const char* unknownD3D = "Unrecognized Direct 3D error value.";
    const Case cases[] = {
        {0, "No error.", "No error."},
        {0x88760000u + 730, unknownDD, "Material Create Failed."},
        {0x88760000u + 740, unknownDD, "Material Create Failed."},
        {0x88760000u + 763, unknownDD, "Scene End Failed."},
        {0x88760000u + 5, "This object is already initialized.", unknownD3D},
        {0x88760000u + 120, "DirectDraw does not support the requested mode.", unknownD3D},
        {0x88760000u + 160,
         "Operation could not be carried out because one or more surfaces are locked.", unknownD3D},
        {0x88760000u + 225,
         "Operation requires the application to have exclusive mode but the application does "
         "not have exclusive mode.",
         unknownD3D},
        {0x88760000u + 310,
         "Operation could not be carried out because there is no hardware support for "
         "stretching.",
         unknownD3D},
        {0x80004001u, "Action not supported.", unknownD3D},
        {0x80004005u, "Generic failure.", unknownD3D},
        {0x88760000u + 6, unknownDD, unknownD3D},
        {0x88760000u + 590, unknownDD, unknownD3D},
        {0x12345678u, unknownDD, unknownD3D},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << std::hex << c.code);
        EXPECT_STREQ(DkDDErrorText(static_cast<HRESULT>(c.code)), c.dd);
        EXPECT_STREQ(DkD3DErrorText(static_cast<HRESULT>(c.code)), c.d3d);
    }
}

TEST(DkErrorTextTest, EveryDirectDrawCodeOfTheListHasItsOwnSentence)
{
    std::vector<uint32_t> codes = {0, 0x80004001u, 0x80004005u, 0x8007000Eu, 0x80070057u};
    for (int n : {5,   10,  20,  40,  55,  90,  95,  100, 110, 120, 130, 145, 150, 160,
                  170, 180, 205, 210, 212, 215, 220, 225, 230, 240, 250, 255, 260, 280,
                  290, 310, 316, 317, 320, 330, 335, 340, 350, 360, 380, 382, 384, 387,
                  400, 410, 420, 430, 440, 450, 460, 470, 480, 490, 510, 520, 537, 540})
        codes.push_back(0x88760000u + n);
    for (int n = 560; n <= 589; ++n)
        codes.push_back(0x88760000u + n);
    ASSERT_EQ(codes.size(), 91u);
    for (uint32_t code : codes)
    {
        const char* text = DkDDErrorText(static_cast<HRESULT>(code));
        EXPECT_STRNE(text, "Unrecognized Direct Draw error value.") << std::hex << code;
        EXPECT_EQ(text[std::strlen(text) - 1], '.') << std::hex << code;
    }
}

TEST(DkReportSectionTest, AReportLeavesASectionItDidNotTakeHeld)
{
    testing::internal::CaptureStderr();
    DkTryBoolFailed("outside", 1, "a.cpp");
    EXPECT_FALSE(DkIsInCriticalSection());

    DkEnterCriticalSection();
    DkTryBoolFailed("inside", 2, "a.cpp");
    EXPECT_TRUE(DkIsInCriticalSection()) << "a report must not end the caller's section";
    DkExitCriticalSection();
    testing::internal::GetCapturedStderr();
}

TEST_F(DkDebugTest, TimeStampsReportCyclesSinceThePreviousStampOfTheSameId)
{
    DkTimeStamp("load", "start");
    DkTimeStamp("draw", "frame");
    DkTimeStamp("load", "end");
    DkDumpTimeStamps();
    std::string log = Log();
    // Three lines; the third measures from the first, the first has no earlier stamp.
    size_t first = log.find("load: ");
    size_t third = log.find("load: ", first + 1);
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(third, std::string::npos);
    EXPECT_NE(log.find("from last ID)", first), std::string::npos);
    std::string firstLine = log.substr(first, log.find("\r\n", first) - first);
    std::string thirdLine = log.substr(third, log.find("\r\n", third) - third);
    EXPECT_NE(firstLine.find("(         0 from last ID)"), std::string::npos) << firstLine;
    EXPECT_EQ(thirdLine.find("(         0 from last ID)"), std::string::npos) << thirdLine;
}

} // namespace
