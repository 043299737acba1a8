#include "tools/datakit/language_writer.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/datakit/gunzip.h"
#include "tests/support/test_env.h"
#include "tools/datakit/dkpr_writer.h"

namespace fs = std::filesystem;

TEST(LanguageWriter, OneStringPerCrLfLine)
{
    // '^' (the printed line break), spaces, DEL and 8-bit letters all stay inside a string.
    const std::vector<std::string> strings = {"Start race", "Line one^Line two", "Caf\xE9 \x7F~",
                                              " padded "};
    EXPECT_EQ(datakit::FormatLanguageText(strings),
              "Start race\r\nLine one^Line two\r\nCaf\xE9 \x7F~\r\n padded \r\n");
}

TEST(LanguageWriter, RefusesStringsTheGameWouldSplitOrDrop)
{
    struct Case
    {
        const char* why;
        std::vector<std::string> strings;
    };
    const Case cases[] = {
        {"no strings", {}},     {"empty string", {"a", "", "c"}},
        {"tab", {"a\tb"}},      {"CR", {"a\rb"}},
        {"LF", {"a", "b\n"}},   {"NUL", {std::string("a\0b", 3)}},
        {"byte 31", {"a\x1F"}}, {"byte 1", {"\x01"}},
    };
    TestEnv env;
    const fs::path file = env.Path("bad.txt");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.why);
        EXPECT_THROW(datakit::FormatLanguageText(c.strings), datakit::Error);
        EXPECT_THROW(datakit::WriteLanguageFile(file, c.strings, false), datakit::Error);
        EXPECT_THROW(datakit::WriteLanguageFile(file, c.strings, true), datakit::Error);
        EXPECT_FALSE(FileExists(file.string()));
    }
}

TEST(LanguageWriter, PlainAndCompressedFilesHoldTheSameText)
{
    TestEnv env;
    const std::vector<std::string> strings = {"Yes", "No", "Quit^to desktop"};
    const std::string text = datakit::FormatLanguageText(strings);

    datakit::WriteLanguageFile(env.Path("plain.txt"), strings);
    datakit::WriteLanguageFile(env.Path("packed.txt"), strings, true);

    EXPECT_EQ(ReadWholeFile(env.Path("plain.txt")), text);
    EXPECT_EQ(Gunzip(BytesOf(ReadWholeFile(env.Path("packed.txt")))),
              datakit::DkprWrap(BytesOf(text)));
}
