#include "tools/datakit/install.h"

#include <system_error>
#include <utility>

#include "tools/datakit/avi_writer.h"
#include "tools/datakit/c3d_writer.h"
#include "tools/datakit/file_io.h"
#include "tools/datakit/hud_writer.h"
#include "tools/datakit/image_writer.h"
#include "tools/datakit/language_writer.h"
#include "tools/datakit/palette_writer.h"
#include "tools/datakit/registry_writer.h"
#include "tools/datakit/replay_writer.h"
#include "tools/datakit/stage_files_writer.h"
#include "tools/datakit/stage_writer.h"
#include "tools/datakit/trackcam_writer.h"
#include "tools/datakit/wave_writer.h"

namespace fs = std::filesystem;

namespace datakit
{

namespace
{

// 8-bit texts in the Latin-1 range, as the game's fonts expect.
constexpr const char* kFrontEndWords[kLanguageCount] = {"Menu text", "Texte de menu", "Men\xFCtext",
                                                        "Texto de men\xFA", "Testo del menu"};
constexpr const char* kGameWords[kLanguageCount] = {"Game text", "Texte du jeu", "Spieltext",
                                                    "Texto del juego", "Testo del gioco"};
// The car folders' and files' codes, by car type.
constexpr const char* kCarCodes[] = {"ORI", "PEL", "BRA", "TOR", "KV2", "MK2", "KOR",
                                     "TM",  "ALI", "SAN", "DRY", "LUM", "M4R", "ALC"};

fs::path AbsoluteDirectory(const fs::path& dir)
{
    fs::path p = fs::absolute(dir).lexically_normal();
    // "/x/y/" normalises with an empty last component; the drive map wants "/x/y".
    if (!p.has_filename() && p.has_relative_path())
        p = p.parent_path();
    return p;
}

void MakeDirectory(InstallSummary& summary, const fs::path& dir)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir))
        throw Error("cannot create directory " + dir.string() + ": " +
                    (ec ? ec.message() : "a file of that name is in the way"));
    summary.directories.push_back(dir);
}

void WriteTextSet(InstallSummary& summary, const fs::path& dataDir, TextSet set)
{
    fs::path dir = dataDir / "language";
    MakeDirectory(summary, dir);
    int count = set == TextSet::Game ? kGameStrings : kFrontEndStrings;
    for (int language = 0; language < kLanguageCount; ++language)
    {
        fs::path file = dir / (std::string(kLanguageFiles[language]) + ".txt");
        // The game's set is compressed and the front end's is not, so the demo data has both
        // stored forms.
        WriteLanguageFile(file, PlaceholderTexts(set, language, count), set == TextSet::Game);
        summary.files.push_back(file);
    }
}

// The menu fonts at the size of the front end's 640x480 screen: titles large, the rest at
// twice the built-in glyph size, each in the colour its name gives.
FontStyle FrontEndFontStyle(const std::string& name)
{
    const Rgb white{255, 255, 255}, red{230, 40, 30}, blue{70, 130, 255}, grey{140, 140, 140},
        green{60, 210, 60}, yellow{255, 215, 0};
    Rgb ink = white;
    if (name.find("RED") != std::string::npos)
        ink = red;
    else if (name.find("BL") == 0)
        ink = blue;
    else if (name.find("GR") == 0 && name != "GR_INFO")
        ink = grey;
    else if (name == "OPT_GREY")
        ink = grey;
    else if (name == "GR_INFO")
        ink = green;
    else if (name == "YELLOW" || name == "TITLE")
        ink = yellow;
    const bool title = name == "TITLE" || name.ends_with("TIT");
    return FontStyle{title ? 3 : 2, ink, title};
}

void WriteFrontEndFonts(InstallSummary& summary, const fs::path& dataDir)
{
    fs::path dir = dataDir / "FONTS";
    MakeDirectory(summary, dir);
    for (const char* name : kFrontEndFonts)
    {
        fs::path file = dir / (std::string(name) + ".FON");
        WriteImageFile(file, FormatFont(FrontEndFontStyle(name)));
        summary.files.push_back(file);
    }
}

void WriteStartScreens(InstallSummary& summary, const fs::path& hardDisk)
{
    fs::path ini = hardDisk / "ini";
    for (const char* language : kLanguageDirectories)
    {
        MakeDirectory(summary, ini / language);
        fs::path file = ini / language / "legal.bmp";
        WriteImageFile(file, FormatBmp(DemoScreen(640, 480, {"DEZOR", "Demo data", language})));
        summary.files.push_back(file);
    }
    fs::path loading = ini / "loading.bmp";
    WriteImageFile(loading, FormatBmp(DemoScreen(640, 480, {"DEZOR", "Loading..."})));
    summary.files.push_back(loading);
    // The pictures' colour tables are the grey ramp, so 8-bit displays show them as drawn.
    for (const char* name : {"legal.pal", "loading.pal"})
    {
        WritePaletteFile(ini / name, GreyPalette());
        summary.files.push_back(ini / name);
    }
}

// The game's own pictures on the disc: the car shadow's soft blob (colour and alpha), the
// frame-rate image of the developer's overlay, and the start lights.
void WriteGameImages(InstallSummary& summary, const fs::path& gameDir)
{
    fs::path dir = gameDir / "images";
    MakeDirectory(summary, dir);
    const std::pair<const char*, Image> images[] = {
        {"shadpc.bmp", ShadowColourImage(kShadowImageSize)},
        {"shadam.bmp", ShadowAlphaImage(kShadowImageSize)},
        {"fps2.bmp", FpsImage()},
        // The car lamps' glows: a soft round blob over the grey ramp.
        {"headglow.bmp", ShadowAlphaImage(32)},
        {"bglow2.bmp", ShadowAlphaImage(32)},
        {"cntdown2.bmp", StartLightsImage()},
        {"go!.bmp", GoLightImage()},
    };
    for (const auto& [name, image] : images)
    {
        WriteImageFile(dir / name, FormatBmp(image));
        summary.files.push_back(dir / name);
    }
}

// The demo stage under the game's disc root, "stages\\demo\\demo" and its extensions.
void WriteDemoStageFiles(InstallSummary& summary, const fs::path& gameDir)
{
    const fs::path dir = gameDir / "stages" / kDemoStageName;
    MakeDirectory(summary, dir);
    for (const fs::path& file : WriteDemoStage(dir).All())
        summary.files.push_back(file);
}

// The demo stage as the game loads it, "NZ\\1\\NZ1" under the game root: beside the stage's
// files the horizon record, animations, cat's eyes, track cameras, start positions and the
// demo's replay, and what its loading screen shows: the backgrounds for wide (.LOA) and narrow
// (.LOL) screens, the bar and line images, and the title and data fonts of each screen-size
// folder.
void WriteGameStageFiles(InstallSummary& summary, const fs::path& gameDir)
{
    const fs::path dir = gameDir / "NZ" / "1";
    MakeDirectory(summary, gameDir / "NZ");
    MakeDirectory(summary, dir);
    for (const fs::path& file : WriteDemoStage(dir, "NZ1").All())
        summary.files.push_back(file);
    const auto add = [&](const fs::path& file, const std::vector<uint8_t>& bytes)
    {
        WriteImageFile(file, bytes);
        summary.files.push_back(file);
    };
    add(dir / "NZ1.ars", FormatHorizonRecord(DemoHorizonRecord()));
    add(dir / "NZ1.anm", FormatAnimations(DemoAnimations()));
    // The surfaces the road and the verges carry, and no scripted moving objects.
    add(dir / "NZ1.srf", {static_cast<uint8_t>(kDemoRoadSurface),
                          static_cast<uint8_t>(kDemoGrassSurface)});
    add(dir / "NZ1.moj", {});
    add(dir / "NZ1.cat", FormatCatsEyes(DemoCatsEyes()));
    add(dir / "NZ1.tsc", FormatTrackCameras(DemoTrackCameras()));
    add(dir / "NZ1.csp", FormatStartPositions(DemoStartPositions()));
    add(dir / "NZ1.REP", DemoReplay());
    add(dir / "NZ1.LOA", FormatBmp(LoadingBackground(640, 480)));
    add(dir / "NZ1.LOL", FormatBmp(LoadingBackground(320, 240)));
    const fs::path images = gameDir / "images" / "LOADING";
    MakeDirectory(summary, images);
    add(images / "BAR.BMP", FormatBmp(LoadingBarImage()));
    add(images / "LINE.BMP", FormatBmp(LoadingLineImage()));
    const fs::path fonts = gameDir / "NZ" / "FONT";
    MakeDirectory(summary, fonts);
    // Glyphs grow with the screen: 1, 1, 2 and 2 times the built-in size, titles one more.
    int scale = 1;
    for (const char* size : kLoadingFontSizes)
    {
        MakeDirectory(summary, fonts / size);
        add(fonts / size / "Title.fon", FormatFont(FontStyle{scale + 1, {240, 240, 240}, true}));
        add(fonts / size / "Data.fon", FormatFont(FontStyle{scale, {224, 224, 224}, false}));
        if (std::string(size) == "512")
            ++scale;
    }
}

// The palettes of the 8-bit palettised display: the hard disk's start-up palette, the demo
// country's loading-screen palette, a 64-colour palette for every car and the shared one, and
// every country's scenery palette.
void WriteStagePalettes(InstallSummary& summary, const fs::path& hardDisk, const fs::path& gameDir)
{
    const auto add = [&](const fs::path& file, const Palette& palette)
    {
        WritePaletteFile(file, palette);
        summary.files.push_back(file);
    };
    MakeDirectory(summary, hardDisk / "ini");
    add(hardDisk / "ini" / "loadpal.pal", GreyPalette());
    add(gameDir / "NZ" / "Loading.pal", GreyPalette());
    const fs::path cars = gameDir / "palettes" / "cars";
    const fs::path countries = gameDir / "palettes" / "countries";
    MakeDirectory(summary, gameDir / "palettes");
    MakeDirectory(summary, cars);
    MakeDirectory(summary, countries);
    for (const char* name : {"sub64.pal", "sea64.pal", "sko64.pal", "qua64.pal", "rs264.pal",
                             "mk264.pal", "mit64.pal", "vw64.pal", "int64.pal", "cor64.pal",
                             "cos64.pal", "meg64.pal", "m4r64.pal", "cars64.pal"})
        add(cars / name, SpectrumPalette());
    for (const char* name : {"nz.pal", "gre.pal", "mon.pal", "aus.pal", "swe.pal", "cor.pal",
                             "ind.pal", "uk.pal"})
        add(countries / name, GreyPalette());
}

// The congratulations screen shown before the demo country's podium: "WELCOME\NEW\" under the
// game folder with its palette, the flag and the two fonts.
void WriteCongratulationsScreen(InstallSummary& summary, const fs::path& gameDir)
{
    const fs::path dir = gameDir / "WELCOME" / "NEW";
    MakeDirectory(summary, gameDir / "WELCOME");
    MakeDirectory(summary, dir);
    MakeDirectory(summary, dir / "fonts");
    WritePaletteFile(dir / "NEW.pal", GreyPalette());
    summary.files.push_back(dir / "NEW.pal");
    const std::pair<fs::path, std::vector<uint8_t>> files[] = {
        {dir / "flag_NEW.bmp", FormatBmp(DemoScreen(640, 480, {"DEZOR", "Well done"}))},
        {dir / "fonts" / "NEW_wel.fon", FormatFont(FontStyle{1, {255, 255, 255}, true})},
        {dir / "fonts" / "main_NEW.fon", FormatFont(FontStyle{2, {255, 255, 255}, true})},
    };
    for (const auto& [file, bytes] : files)
    {
        WriteImageFile(file, bytes);
        summary.files.push_back(file);
    }
}

// The results screens' fonts under the game root's "fonts\\<size>\\": names and times, the options
// not chosen in grey, and the headings (no 800x600 title: that screen takes the 640x480 one).
void WriteResultFonts(InstallSummary& summary, const fs::path& gameDir)
{
    int scale = 1;
    for (const char* size : {"320x240", "512x384", "640x480", "800x600"})
    {
        const fs::path dir = gameDir / "fonts" / size;
        MakeDirectory(summary, dir);
        std::vector<std::pair<const char*, FontStyle>> fonts = {
            {"result.fon", FontStyle{scale, {255, 255, 255}, true}},
            {"resultgr.fon", FontStyle{scale, {150, 150, 150}, true}}};
        if (std::string(size) != "800x600")
            fonts.push_back({"title.fon", FontStyle{scale + 1, {250, 210, 60}, true}});
        for (const auto& [name, style] : fonts)
        {
            WriteImageFile(dir / name, FormatFont(style));
            summary.files.push_back(dir / name);
        }
        if (std::string(size) == "512x384")
            ++scale;
    }
}

// The cars under the hard disk's "OBJECTS\\CARS\\<code>\\" as the stage loads them: by day and at
// night the full-detail car, at medium detail (day and night alike) the coarser one, and the day
// car's reflection shell and map. Every face is textured: the cars load with pre-lit vertices,
// which an untextured face leaves opaque black. The shell's own texture stands in until the map
// replaces it.
void WriteCarModels(InstallSummary& summary, const fs::path& hardDisk)
{
    const std::vector<uint8_t> full = FormatC3d(C3dCar(C3dCarParts::Full));
    const std::vector<uint8_t> medium = FormatC3d(C3dCar(C3dCarParts::Medium));
    const C3dRgba sky{200, 210, 230, 255};
    C3dScene shell;
    shell.textures.push_back({"REFSHELL", C3dSolidBmp(16, 16, sky), {}});
    // Lengthwise as the body (x forward) and just around it, so the reflection shows on it.
    shell.shapes.push_back(C3dBox("REFSHELL", 2.25, 0.65, 1.05, 0));
    shell.objects.push_back(C3dPlaced(-1, {0}));
    shell.objects.back().alwaysDraw = 1;
    const std::vector<uint8_t> reflection = FormatC3d(shell);
    const std::vector<uint8_t> map = C3dSolidBmp(16, 16, sky);
    const fs::path cars = hardDisk / "OBJECTS" / "CARS";
    MakeDirectory(summary, hardDisk / "OBJECTS");
    MakeDirectory(summary, cars);
    for (const char* code : kCarCodes)
    {
        const fs::path dir = cars / code;
        MakeDirectory(summary, dir);
        const std::string stem = code;
        for (const auto& [name, bytes] :
             {std::pair<std::string, const std::vector<uint8_t>*>{stem + "DAY.C3D", &full},
              {stem + "NIGHT.C3D", &full},
              {stem + "DAYmed.C3D", &medium},
              {stem + "DAYref.c3d", &reflection},
              {"ref_map.bmp", &map}})
        {
            WriteImageFile(dir / name, *bytes);
            summary.files.push_back(dir / name);
        }
    }
}

// The front end's music: a short tune of rising and falling tones that loops cleanly.
std::vector<int16_t> DemoMusic()
{
    constexpr uint32_t kRate = 22050;
    constexpr double kNotes[] = {220.0, 277.18, 329.63, 440.0, 329.63, 277.18};
    constexpr size_t kNoteFrames = kRate / 4;
    std::vector<int16_t> music;
    for (double note : kNotes)
    {
        std::vector<int16_t> tone = Tone(note, kNoteFrames, kRate, 6000);
        // Short fades at both ends of each note keep the joins free of clicks.
        for (size_t i = 0; i < 256; ++i)
        {
            tone[i] = static_cast<int16_t>(tone[i] * static_cast<int>(i) / 256);
            tone[kNoteFrames - 1 - i] =
                static_cast<int16_t>(tone[kNoteFrames - 1 - i] * static_cast<int>(i) / 256);
        }
        music.insert(music.end(), tone.begin(), tone.end());
    }
    return music;
}

// The race's stage clock: the time font of each screen size on the hard disk, and the split
// cues under the game root, a rising pair of tones for a faster split and a falling pair for a
// slower one, 11,025 Hz as the game loads them.
void WriteStageClock(InstallSummary& summary, const fs::path& hardDisk, const fs::path& gameDir)
{
    int scale = 1;
    for (const char* size : {"320x240", "512x384", "640x480", "800x600"})
    {
        const fs::path dir = hardDisk / "fonts" / size;
        MakeDirectory(summary, dir);
        WriteImageFile(dir / "timenum.fon", FormatFont(FontStyle{scale, {255, 255, 255}, true}));
        summary.files.push_back(dir / "timenum.fon");
        if (std::string(size) == "512x384")
            ++scale;
    }
    const fs::path sounds = gameDir / "sounds";
    MakeDirectory(summary, sounds);
    constexpr uint32_t kRate = 11025;
    const auto cue = [&](const char* name, double first, double second)
    {
        std::vector<int16_t> samples = Tone(first, kRate / 8, kRate, 8000);
        const std::vector<int16_t> next = Tone(second, kRate / 8, kRate, 8000);
        samples.insert(samples.end(), next.begin(), next.end());
        WriteWaveFile(sounds / name, samples, kRate);
        summary.files.push_back(sounds / name);
    };
    cue("UP.WAV", 660.0, 880.0);
    cue("DOWN.WAV", 440.0, 330.0);
}

void WriteSoundsAndMovies(InstallSummary& summary, const fs::path& disc)
{
    // Where the registry's WAVPath and AVIPath lead the front end's music and the rally
    // school's introduction movie.
    fs::path musicDir = disc / "music" / "new_fe" / "sounds" / "music";
    MakeDirectory(summary, musicDir);
    fs::path music = musicDir / "frontend.wav";
    WriteWaveFile(music, DemoMusic(), 22050);
    summary.files.push_back(music);

    fs::path movieDir = disc / "movies" / "game" / "rallschl" / "avi";
    MakeDirectory(summary, movieDir);
    fs::path movie = movieDir / "zoom.avi";
    WriteAviFile(movie, DemoMovie());
    summary.files.push_back(movie);
}

} // namespace

std::vector<std::string> PlaceholderTexts(TextSet set, int language, int count)
{
    if (language < 0 || language >= kLanguageCount)
        throw Error("no language number " + std::to_string(language));
    const char* word = set == TextSet::Game ? kGameWords[language] : kFrontEndWords[language];
    std::vector<std::string> texts;
    for (int n = 0; n < count; ++n)
        texts.push_back(std::string(word) + " " + std::to_string(n));
    return texts;
}

InstallSummary InstallDemo(const fs::path& dir)
{
    InstallSummary summary;
    summary.root = AbsoluteDirectory(dir);
    const fs::path driveC = summary.root / "c";
    const fs::path disc = summary.root / "disc";

    MakeDirectory(summary, driveC / "Dezor" / "save");
    WriteSoundsAndMovies(summary, disc);
    WriteTextSet(summary, disc / "game", TextSet::Game);
    WriteTextSet(summary, disc / "new_fe", TextSet::FrontEnd);
    WriteFrontEndFonts(summary, disc / "new_fe");
    WriteGameImages(summary, disc / "game");
    WriteDemoStageFiles(summary, disc / "game");
    WriteGameStageFiles(summary, disc / "game");
    WriteResultFonts(summary, disc / "game");
    WriteStartScreens(summary, driveC / "Dezor");
    WriteCarModels(summary, driveC / "Dezor");
    WriteStageClock(summary, driveC / "Dezor", disc / "game");
    WriteStagePalettes(summary, driveC / "Dezor", disc / "game");
    WriteCongratulationsScreen(summary, disc / "game");

    RegistryModel registry;
    registry.Set(kDrivesSection, "C", driveC.string());
    registry.Set(kDrivesSection, "D", disc.string());
    registry.Set(kGameKey, "CDPath", "D:");
    registry.Set(kGameKey, "HDPath", "C:\\Dezor");
    registry.Set(kGameKey, "WAVPath", "D:\\music");
    registry.Set(kGameKey, "AVIPath", "D:\\movies");
    registry.Set(kGameKey, "Language", "ENGLISH");
    registry.Set(kGameKey, "Hardware", "0");
    summary.registryFile = summary.root / "registry.ini";
    // The game key is the player's to edit (Language, Hardware): an existing file keeps its
    // values and gains only those it lacks. The drive map always names this installation.
    if (fs::exists(summary.registryFile))
    {
        const std::vector<uint8_t> bytes = ReadFileBytes(summary.registryFile);
        RegistryModel kept = ParseRegistry(std::string(bytes.begin(), bytes.end()));
        for (const RegistrySection& section : registry.sections)
            for (const RegistryValue& value : section.values)
                if (section.name == kDrivesSection || !kept.Has(section.name, value.name))
                    kept.Set(section.name, value.name, value.value);
        registry = kept;
    }
    WriteRegistryFile(summary.registryFile, registry);
    summary.files.push_back(summary.registryFile);
    return summary;
}

} // namespace datakit
