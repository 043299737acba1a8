#include "tools/datakit/registry_writer.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/test_env.h"

namespace fs = std::filesystem;
using datakit::RegistryModel;

TEST(RegistryWriter, FormatsSectionsAndValuesInOrder)
{
    RegistryModel model;
    model.Set("Drives", "C", "/home/me/dezor/c");
    model.Set("HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00", "HDPath", "C:\\Old");
    model.Set("Drives", "D", "/media/disc");
    // Names match without case, as the reader matches them: this replaces HDPath in place.
    model.Set("hkey_local_machine\\software\\velmorra\\dezor\\1.00", "hdpath", "C:\\Dezor");
    model.Set("HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00", "Empty", "");
    model.Set("HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00", "Sum", "a=b c");

    EXPECT_EQ(datakit::FormatRegistry(model),
              "; Dezor settings and drive map, written by dezor-datakit.\n"
              "\n"
              "[Drives]\n"
              "C=/home/me/dezor/c\n"
              "D=/media/disc\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00]\n"
              "HDPath=C:\\Dezor\n"
              "Empty=\n"
              "Sum=a=b c\n");
}

TEST(RegistryWriter, RefusesWhatWouldReadBackDifferently)
{
    struct Case
    {
        const char* why;
        std::string section, name, value;
    };
    const Case cases[] = {
        {"empty section", "", "N", "v"},
        {"section with leading space", " Key", "N", "v"},
        {"section with trailing tab", "Key\t", "N", "v"},
        {"section with line break", "Ke\ny", "N", "v"},
        {"empty key in path", "A\\\\B", "N", "v"},
        {"path ends with backslash", "A\\B\\", "N", "v"},
        {"path starts with backslash", "\\A", "N", "v"},
        {"empty name", "K", "", "v"},
        {"name with =", "K", "a=b", "v"},
        {"name starting with [", "K", "[x", "v"},
        {"name starting with ;", "K", ";x", "v"},
        {"name starting with #", "K", "#x", "v"},
        {"name with leading space", "K", " x", "v"},
        {"name with trailing space", "K", "x ", "v"},
        {"name with CR", "K", "x\ry", "v"},
        {"value with LF", "K", "N", "a\nb"},
        {"value with NUL", "K", "N", std::string("a\0b", 3)},
        {"value with leading space", "K", "N", " v"},
        {"value with trailing CR", "K", "N", "v\r"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.why);
        RegistryModel model;
        model.sections.push_back({c.section, {{c.name, c.value}}});
        EXPECT_THROW(datakit::FormatRegistry(model), datakit::Error);
    }

    RegistryModel twoSections;
    twoSections.sections = {{"Drives", {{"C", "/c"}}}, {"DRIVES", {{"D", "/d"}}}};
    EXPECT_THROW(datakit::FormatRegistry(twoSections), datakit::Error);
    RegistryModel twoValues;
    twoValues.sections = {{"Drives", {{"C", "/c"}, {"c", "/other"}}}};
    EXPECT_THROW(datakit::FormatRegistry(twoValues), datakit::Error);
}

TEST(RegistryWriter, WritesWholeFilesOnly)
{
    TestEnv env;
    const fs::path dir = env.Path("settings");
    const fs::path file = dir / "registry.ini";
    fs::create_directories(dir);
    WriteWholeFile(file.string(), "old text that is longer than the new file\n");

    RegistryModel good;
    good.Set("Drives", "C", "/c");
    datakit::WriteRegistryFile(file, good);
    EXPECT_EQ(ReadWholeFile(file.string()), datakit::FormatRegistry(good));

    RegistryModel bad;
    bad.Set("Drives", "C", "/c\n[Injected]");
    try
    {
        datakit::WriteRegistryFile(file, bad);
        FAIL() << "no error";
    }
    catch (const datakit::Error& e)
    {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadWholeFile(file.string()), datakit::FormatRegistry(good));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}
