// The demo installation: what a machine looks like after the game was installed from its
// disc, laid out under one directory.
//
//   DIR/registry.ini                 drive map (C:, D:) and the game's key
//   DIR/c/                           drive C: (the game's log c:\error.txt lands here)
//   DIR/c/Dezor/save/                hard-disk root, HDPath=C:\Dezor
//   DIR/c/Dezor/ini/                 start-up screens: legal.bmp per language directory,
//                                    loading.bmp, and their palettes legal.pal, loading.pal
//   DIR/disc/                        drive D:, the game disc, CDPath=D:
//   DIR/disc/game/language/*.txt     the game's texts, DKPR gzip
//   DIR/disc/game/images/            the car shadow's image (shadpc.bmp colour, shadam.bmp
//                                    alpha) and the frame-rate image fps2.bmp
//   DIR/disc/game/stages/demo/       the demo stage: demo.c3d, .obj, .sht, .hzn, .hpc, .dat
//   DIR/disc/new_fe/language/*.txt   the front end's texts, plain
//   DIR/disc/new_fe/FONTS/*.FON      the front end's sixteen menu fonts
//   DIR/disc/music/                  WAVPath=D:\music: the front end's music stream
//                                    (new_fe/sounds/music/frontend.wav)
//   DIR/disc/movies/                 AVIPath=D:\movies: the rally school's introduction movie
//                                    (game/rallschl/avi/zoom.avi)
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/file_io.h" // Error

namespace datakit
{

// Each data directory on the disc has its own set of texts.
enum class TextSet
{
    FrontEnd,
    Game,
};

inline constexpr int kFrontEndStrings = 254;
inline constexpr int kGameStrings = 322;
// The screen-size folders of the loading screen's fonts.
inline constexpr const char* kLoadingFontSizes[] = {"320", "512", "640", "800"};
inline constexpr int kLanguageCount = 5;
// File base names in the game's language order (0 English ... 4 Italian).
inline constexpr const char* kLanguageFiles[kLanguageCount] = {"english", "french", "german",
                                                               "spanish", "italian"};
inline constexpr const char* kGameKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00";

// The front end's menu fonts ("FONTS\<name>.FON" under its disc root), in loading order.
inline constexpr int kFrontEndFontCount = 16;
inline constexpr const char* kFrontEndFonts[kFrontEndFontCount] = {
    "TITLE",   "OP_RED",  "OPTIONS", "OPT_GREY", "RED_DY",  "BLUE_DY", "GREY_DY", "GR_INFO",
    "BL_INFO", "RED_LCD", "WHITTIT", "WHITSEAR", "BLUETIT", "WHITE",   "GREY",    "YELLOW"};
// The car shadow's images are this many pixels square.
inline constexpr int kShadowImageSize = 64;
// Language directories of the legal screen, in the game's language order.
inline constexpr const char* kLanguageDirectories[kLanguageCount] = {"ENGLISH", "FRENCH", "GERMAN",
                                                                     "SPANISH", "ITALIAN"};

// Stand-in texts until the real ones exist: string n reads "<set's word> n" in the language.
std::vector<std::string> PlaceholderTexts(TextSet set, int language, int count);

struct InstallSummary
{
    std::filesystem::path root; // absolute
    std::filesystem::path registryFile;
    std::vector<std::filesystem::path> directories; // deepest ones made, parents implied
    std::vector<std::filesystem::path> files;
};

// Creates or refreshes the installation under `dir` (created when missing), rewriting the
// same data files each time. An existing registry file keeps the values of the game's key and
// gains the ones it lacks; its drive map is set to this installation. Throws Error on failure.
InstallSummary InstallDemo(const std::filesystem::path& dir);

} // namespace datakit
