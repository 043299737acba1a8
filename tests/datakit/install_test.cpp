#include "tools/datakit/install.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "tests/datakit/gunzip.h"
#include "tests/support/test_env.h"
#include "tools/datakit/dkpr_writer.h"

namespace fs = std::filesystem;

namespace
{

const char* const kLanguages[] = {"english", "french", "german", "spanish", "italian"};

std::string ExpectedRegistry(const std::string& root)
{
    return "; Dezor settings and drive map, written by dezor-datakit.\n"
           "\n"
           "[Drives]\n"
           "C=" +
           root +
           "/c\n"
           "D=" +
           root +
           "/disc\n"
           "\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00]\n"
           "CDPath=D:\n"
           "HDPath=C:\\Dezor\n"
           "WAVPath=D:\\music\n"
           "AVIPath=D:\\movies\n"
           "Language=ENGLISH\n"
           "Hardware=0\n";
}

// Every entry under `root`, relative, with file contents ("/" marks a directory).
std::map<std::string, std::string> Tree(const fs::path& root)
{
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root))
    {
        std::string name = entry.path().lexically_relative(root).string();
        tree[name] = entry.is_directory() ? "/" : ReadWholeFile(entry.path().string());
    }
    return tree;
}

// Splits a language image the way the game does: at every run of bytes below 32.
std::vector<std::string> GameStrings(const std::string& image)
{
    std::vector<std::string> strings;
    size_t i = 0;
    while (i < image.size())
    {
        size_t end = i;
        while (end < image.size() && static_cast<unsigned char>(image[end]) >= 32)
            ++end;
        strings.push_back(image.substr(i, end - i));
        while (end < image.size() && static_cast<unsigned char>(image[end]) < 32)
            ++end;
        i = end;
    }
    return strings;
}

// The text inside a DKPR gzip file, after checking the wrapper.
std::string Unwrap(const std::string& stored)
{
    std::vector<uint8_t> plain = Gunzip(BytesOf(stored));
    EXPECT_GE(plain.size(), 8u);
    if (plain.size() < 8)
        return "";
    EXPECT_EQ(std::string(plain.begin(), plain.begin() + 4), "DKPR");
    uint32_t n = plain[4] | plain[5] << 8 | plain[6] << 16 | uint32_t(plain[7]) << 24;
    EXPECT_EQ(n, plain.size() - 8);
    return std::string(plain.begin() + 8, plain.end());
}

void ExpectDemoTree(const fs::path& root)
{
    std::map<std::string, std::string> tree = Tree(root);
    std::set<std::string> names;
    for (const auto& [name, content] : tree)
        names.insert(name);
    std::set<std::string> expected = {"registry.ini",
                                      "c",
                                      "c/Dezor",
                                      "c/Dezor/save",
                                      "disc",
                                      "disc/music",
                                      "disc/movies",
                                      "disc/game",
                                      "disc/game/language",
                                      "disc/game/images",
                                      "disc/game/images/shadpc.bmp",
                                      "disc/game/images/shadam.bmp",
                                      "disc/game/images/fps2.bmp",
                                      "disc/game/images/headglow.bmp",
                                      "disc/game/images/bglow2.bmp",
                                      "disc/game/images/cntdown2.bmp",
                                      "disc/game/images/go!.bmp",
                                      "disc/new_fe",
                                      "disc/new_fe/language",
                                      "disc/music/new_fe",
                                      "disc/music/new_fe/sounds",
                                      "disc/music/new_fe/sounds/music",
                                      "disc/music/new_fe/sounds/music/frontend.wav",
                                      "disc/movies/game",
                                      "disc/movies/game/rallschl",
                                      "disc/movies/game/rallschl/avi",
                                      "disc/movies/game/rallschl/avi/zoom.avi"};
    for (const char* language : kLanguages)
    {
        expected.insert(std::string("disc/game/language/") + language + ".txt");
        expected.insert(std::string("disc/new_fe/language/") + language + ".txt");
    }
    expected.insert({"disc/new_fe/FONTS", "c/Dezor/ini", "c/Dezor/ini/loading.bmp",
                     "c/Dezor/ini/legal.pal", "c/Dezor/ini/loading.pal"});
    for (const char* font : datakit::kFrontEndFonts)
        expected.insert(std::string("disc/new_fe/FONTS/") + font + ".FON");
    expected.insert({"disc/game/stages", "disc/game/stages/demo"});
    for (const char* extension : {".c3d", ".obj", ".sht", ".hzn", ".hpc", ".dat"})
        expected.insert(std::string("disc/game/stages/demo/demo") + extension);
    // The demo stage as the game loads it, with its loading screen.
    expected.insert({"disc/game/NZ", "disc/game/NZ/1", "disc/game/NZ/FONT",
                     "disc/game/images/LOADING", "disc/game/images/LOADING/BAR.BMP",
                     "disc/game/images/LOADING/LINE.BMP"});
    for (const char* extension :
         {".c3d", ".obj", ".sht", ".hzn", ".hpc", ".dat", ".ars", ".anm", ".cat", ".LOA", ".LOL"})
        expected.insert(std::string("disc/game/NZ/1/NZ1") + extension);
    // Its track cameras, start positions and the demo's replay.
    for (const char* extension : {".tsc", ".csp", ".REP"})
        expected.insert(std::string("disc/game/NZ/1/NZ1") + extension);
    // Its surfaces, and no scripted moving objects.
    for (const char* extension : {".srf", ".moj"})
        expected.insert(std::string("disc/game/NZ/1/NZ1") + extension);
    for (const char* size : datakit::kLoadingFontSizes)
    {
        expected.insert(std::string("disc/game/NZ/FONT/") + size);
        expected.insert(std::string("disc/game/NZ/FONT/") + size + "/Title.fon");
        expected.insert(std::string("disc/game/NZ/FONT/") + size + "/Data.fon");
    }
    for (const char* language : datakit::kLanguageDirectories)
    {
        expected.insert(std::string("c/Dezor/ini/") + language);
        expected.insert(std::string("c/Dezor/ini/") + language + "/legal.bmp");
    }
    // The stage clock: the time fonts on the hard disk, the split cues under the game root.
    expected.insert({"c/Dezor/fonts", "disc/game/sounds", "disc/game/sounds/UP.WAV",
                     "disc/game/sounds/DOWN.WAV"});
    for (const char* size : {"320x240", "512x384", "640x480", "800x600"})
    {
        expected.insert(std::string("c/Dezor/fonts/") + size);
        expected.insert(std::string("c/Dezor/fonts/") + size + "/timenum.fon");
    }
    // The results screens' fonts under the game root (no title font at 800x600).
    expected.insert("disc/game/fonts");
    for (const char* size : {"320x240", "512x384", "640x480", "800x600"})
    {
        const std::string dir = std::string("disc/game/fonts/") + size;
        expected.insert({dir, dir + "/result.fon", dir + "/resultgr.fon"});
        if (std::string(size) != "800x600")
            expected.insert(dir + "/title.fon");
    }
    // The cars on the hard disk, a folder a car code.
    expected.insert({"c/Dezor/OBJECTS", "c/Dezor/OBJECTS/CARS"});
    for (const std::string code : {"ORI", "PEL", "BRA", "TOR", "KV2", "MK2", "KOR", "TM", "ALI",
                                   "SAN", "DRY", "LUM", "M4R", "ALC"})
    {
        const std::string dir = "c/Dezor/OBJECTS/CARS/" + code;
        expected.insert(dir);
        for (const std::string name : {code + "DAY.C3D", code + "NIGHT.C3D", code + "DAYmed.C3D",
                                       code + "DAYref.c3d", std::string("ref_map.bmp")})
            expected.insert(dir + "/" + name);
    }
    // The palettised display's palettes: the start-up palette on the hard disk, the demo
    // country's loading palette, the cars' and the countries' under the game root.
    expected.insert({"c/Dezor/ini/loadpal.pal", "disc/game/NZ/Loading.pal", "disc/game/palettes",
                     "disc/game/palettes/cars", "disc/game/palettes/countries"});
    for (const char* name : {"sub64", "sea64", "sko64", "qua64", "rs264", "mk264", "mit64",
                             "vw64", "int64", "cor64", "cos64", "meg64", "m4r64", "cars64"})
        expected.insert(std::string("disc/game/palettes/cars/") + name + ".pal");
    for (const char* name : {"nz", "gre", "mon", "aus", "swe", "cor", "ind", "uk"})
        expected.insert(std::string("disc/game/palettes/countries/") + name + ".pal");
    // The congratulations screen of the demo country.
    expected.insert({"disc/game/WELCOME", "disc/game/WELCOME/NEW", "disc/game/WELCOME/NEW/fonts",
                     "disc/game/WELCOME/NEW/NEW.pal", "disc/game/WELCOME/NEW/flag_NEW.bmp",
                     "disc/game/WELCOME/NEW/fonts/NEW_wel.fon",
                     "disc/game/WELCOME/NEW/fonts/main_NEW.fon"});
    EXPECT_EQ(names, expected);
    // The demo's replay: one scene, its size as its header's frames per scene make it.
    {
        const std::string& rep = tree["disc/game/NZ/1/NZ1.REP"];
        ASSERT_GE(rep.size(), 64u);
        const auto i16 = [&](size_t at)
        { return static_cast<int16_t>(static_cast<uint8_t>(rep[at]) | rep[at + 1] << 8); };
        EXPECT_EQ(i16(48), 1) << "scenes";
        EXPECT_GE(i16(50), 1) << "frames per scene";
        EXPECT_EQ(rep.size(), 64 + 86510 + i16(50) * 4u);
    }
    // Fonts: pixels at byte 1,078, the version-3 header right after the rows.
    for (const char* font : datakit::kFrontEndFonts)
    {
        const std::string& f = tree[std::string("disc/new_fe/FONTS/") + font + ".FON"];
        ASSERT_GT(f.size(), 1078u) << font;
        auto u32 = [&](size_t at)
        {
            uint32_t v;
            std::memcpy(&v, f.data() + at, 4);
            return v;
        };
        EXPECT_EQ(u32(10), 1078u) << font;
        const size_t header = 1078 + ((u32(18) + 3) & ~3u) * u32(22);
        ASSERT_LT(header + 24, f.size()) << font;
        EXPECT_EQ(f[header], 3) << font;
        EXPECT_EQ(f.size(), header + 24 + static_cast<uint8_t>(f[header + 1]) * 16u) << font;
    }
    EXPECT_EQ(tree["c/Dezor/ini/loading.bmp"].substr(0, 2), "BM");
    for (const char* image : {"shadpc.bmp", "shadam.bmp", "fps2.bmp", "cntdown2.bmp", "go!.bmp"})
        EXPECT_EQ(tree[std::string("disc/game/images/") + image].substr(0, 2), "BM") << image;
    EXPECT_EQ(tree["registry.ini"], ExpectedRegistry(root.string()));

    struct Set
    {
        const char* dir;
        bool gzip;
        size_t strings;
    };
    std::set<std::string> firstStrings;
    for (const Set& set : {Set{"disc/game", true, 322}, Set{"disc/new_fe", false, 254}})
        for (const char* language : kLanguages)
        {
            std::string name = std::string(set.dir) + "/language/" + language + ".txt";
            SCOPED_TRACE(name);
            const std::string& stored = tree[name];
            std::string text = set.gzip ? Unwrap(stored) : stored;
            EXPECT_EQ(stored.substr(0, 2) == "\x1F\x8B", set.gzip);
            std::vector<std::string> strings = GameStrings(text);
            ASSERT_EQ(strings.size(), set.strings);
            // String n is numbered n, so a text shown on screen names the id asked for.
            for (size_t n = 0; n < strings.size(); ++n)
                ASSERT_TRUE(strings[n].ends_with(" " + std::to_string(n))) << strings[n];
            firstStrings.insert(strings[0]);
        }
    EXPECT_EQ(firstStrings.size(), 10u) << "each file has texts of its own";
}

int RunCommand(const std::string& command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

} // namespace

TEST(Install, WritesTheDemoTreeIntoANewDirectory)
{
    TestEnv env;
    const fs::path root = env.Path("a/b/demo");
    datakit::InstallSummary summary = datakit::InstallDemo(env.Path("a/b/demo/"));
    EXPECT_EQ(summary.root, root);
    EXPECT_EQ(summary.registryFile, root / "registry.ini");
    ExpectDemoTree(root);
}

TEST(Install, SecondRunRestoresTheSameTree)
{
    TestEnv env;
    const fs::path root = env.Path("demo");
    datakit::InstallDemo(root);
    std::map<std::string, std::string> first = Tree(root);

    WriteWholeFile((root / "registry.ini").string(), "[Drives]\nC=/elsewhere\n");
    WriteWholeFile((root / "disc/new_fe/language/french.txt").string(), "x");
    fs::remove(root / "disc/game/language/german.txt");
    datakit::InstallDemo(root);

    EXPECT_EQ(Tree(root), first);
}

TEST(Install, AnotherRunKeepsThePlayersSettingsAndAddsWhatIsMissing)
{
    TestEnv env;
    const fs::path root = env.Path("demo");
    datakit::InstallDemo(root);
    // The player's edits: another language, a value of the game's own, a line taken out, and
    // a drive map from a copy that lived elsewhere.
    WriteWholeFile((root / "registry.ini").string(),
                   "[Drives]\nC=/moved/c\n\n"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00]\n"
                   "; mine\n  language = FRENCH \nCDPath=D:\nHDPath=C:\\Dezor\n"
                   "WAVPath=D:\\music\nAVIPath=D:\\movies\nPlayerName=Ana\n");
    datakit::InstallDemo(root);

    std::string want = ExpectedRegistry(root.string());
    want.replace(want.find("Language=ENGLISH\nHardware=0\n"), 28, "");
    want.replace(want.find("CDPath=D:\n"), 0, "language=FRENCH\n");
    want += "PlayerName=Ana\nHardware=0\n";
    EXPECT_EQ(ReadWholeFile((root / "registry.ini").string()), want);
}

TEST(Install, FailsWhenAFileIsInTheWay)
{
    TestEnv env;
    WriteWholeFile(env.Path("demo"), "not a directory");
    EXPECT_THROW(datakit::InstallDemo(env.Path("demo")), datakit::Error);
    fs::create_directories(env.Path("demo2/disc"));
    WriteWholeFile(env.Path("demo2/disc/game"), "not a directory");
    EXPECT_THROW(datakit::InstallDemo(env.Path("demo2")), datakit::Error);
}

TEST(DatakitCommand, InstallsIntoARelativeDirectory)
{
    TestEnv env;
    const std::string out = env.Path("out.txt");
    ASSERT_EQ(RunCommand("cd " + Quote(env.Root()) + " && " + Quote(DATAKIT_BINARY) +
                         " install demo > " + Quote(out)),
              0);
    const fs::path root = env.Path("demo");
    ExpectDemoTree(root);
    EXPECT_NE(ReadWholeFile(out).find("DEZOR_REGISTRY=" + (root / "registry.ini").string() + "\n"),
              std::string::npos)
        << ReadWholeFile(out);
}

TEST(DatakitCommand, WrapsOneFile)
{
    TestEnv env;
    const std::string data = "track data\x01\x02\xFF";
    WriteWholeFile(env.Path("in.bin"), data);
    const std::string command = Quote(DATAKIT_BINARY) + " dkpr ";
    ASSERT_EQ(RunCommand(command + Quote(env.Path("in.bin")) + " " + Quote(env.Path("plain.dkp")) +
                         " > /dev/null"),
              0);
    ASSERT_EQ(RunCommand(command + "--gzip " + Quote(env.Path("in.bin")) + " " +
                         Quote(env.Path("packed.dkp")) + " > /dev/null"),
              0);
    EXPECT_EQ(BytesOf(ReadWholeFile(env.Path("plain.dkp"))), datakit::DkprWrap(BytesOf(data)));
    EXPECT_EQ(Gunzip(BytesOf(ReadWholeFile(env.Path("packed.dkp")))),
              datakit::DkprWrap(BytesOf(data)));
}

TEST(DatakitCommand, ExitStatus)
{
    TestEnv env;
    struct Case
    {
        const char* arguments;
        int status;
    };
    const Case cases[] = {
        {"help", 0},
        {"", 2},
        {"bogus", 2},
        {"install", 2},
        {"install a b", 2},
        {"dkpr in", 2},
        {"dkpr --gzip in", 2},
        {"dkpr --fast in out", 2},
        {"dkpr missing-input out", 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(RunCommand("cd " + Quote(env.Root()) + " && " + Quote(DATAKIT_BINARY) + " " +
                             c.arguments + " > /dev/null 2>&1"),
                  c.status);
    }
    EXPECT_FALSE(FileExists(env.Path("out")));
}
