#include "game/race/loading.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/core/cmd_line.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_text.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_font.h"
#include "engine/pc/display/dk_image.h"
#include "engine/pc/display/dk_2dtri.h"
#include "engine/pc/display/dk_pblit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_3dbmp.h"
#include "engine/pc/3d/dk_line.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/3d/dk_shad.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/timebar.h"
#include "engine/pc/core/main.h"
#include "engine/pc/sound/dk_qsnd.h"
#include "engine/include/dk_ff.h"
#include "game/effects/codriver.h"
#include "game/effects/crowdsnd.h"
#include "game/effects/effects.h"
#include "game/effects/forcefeedback.h"
#include "game/effects/lights.h"
#include "game/effects/menusnd.h"
#include "game/effects/muddycar.h"
#include "game/effects/prangsnd.h"
#include "game/effects/pregame.h"
#include "game/effects/vrooom.h"
#include "game/effects/wchhhh.h"
#include "game/effects/weathsnd.h"
#include "game/hud/endstage.h"
#include "game/hud/gamefade.h"
#include "game/hud/osd.h"
#include "game/hud/podium.h"
#include "game/race/attract.h"
#include "game/race/cameras.h"
#include "game/race/display.h"
#include "game/race/netplay.h"
#include "game/vehicle/damage.h"
#include "game/vehicle/gencoll.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/hud/catseye.h"
#include "game/hud/rs_main.h"
#include "game/race/gmhndlr.h"
#include "game/race/replay.h"
#include "game/race/splttime.h"
#include "game/race/stageinfo.h"
#include "game/race/startup.h"
#include "game/race/superspecial.h"
#include "game/race/trackcam.h"
#include "game/vehicle/notmvble.h"
#include "game/vehicle/trigger.h"

namespace
{
#define NUM_COUNTRIES 8
#define NUM_CAR_CODES 14

const char* const kCountryFolder[NUM_COUNTRIES] = {"NZ\\%d", "GR\\%d", "MC\\%d", "AU\\%d",
                                                   "SW\\%d", "CO\\%d", "IN\\%d", "UK\\%d"};
const char* const kCountryStem[NUM_COUNTRIES] = {"NZ%d", "GR%d", "MC%d", "AU%d",
                                                 "SW%d", "CO%d", "IN%d", "UK%d"};
const char* const kSchoolLevelFolder[3] = {"EASY", "MEDIUM", "HARD"};
const char* const kSecretStage[4] = {"SECRET\\DANGER\\DANGER", "SECRET\\MILEHIGH\\MILEHIGH",
                                     "SECRET\\RETSIL\\RETSIL", "SECRET\\TROUT\\TROUT"};
// The car folder under "OBJECTS\CARS\" and the car file's code, by car type.
const char* const kCarCode[NUM_CAR_CODES] = {"ORI", "PEL", "BRA", "TOR", "KV2", "MK2", "KOR",
                                             "TM",  "ALI", "SAN", "DRY", "LUM", "M4R", "ALC"};

constexpr int kPodiumStage = 8;
constexpr uint8_t kSecretBit = 0x40;
// The highest number word of the command line that is not a stage path.
constexpr int kHighestNumberWord = 11;

bool IsNumberWord(const char* pszWord)
{
    char number[8];
    for (int n = 0; n <= kHighestNumberWord; ++n)
    {
        std::snprintf(number, sizeof number, "%d", n);
        if (std::strcmp(pszWord, number) == 0)
            return true;
    }
    return false;
}

// "NZ\3\NZ3": the country's folder and stem for stage number nStage (1-based).
bool CountryStagePath(char* pszOut, int nCountry, int nStage)
{
    if (nCountry < 0 || nCountry >= NUM_COUNTRIES)
        return false;
    char folder[32];
    char stem[32];
    std::snprintf(folder, sizeof folder, kCountryFolder[nCountry], nStage);
    std::snprintf(stem, sizeof stem, kCountryStem[nCountry], nStage);
    std::snprintf(pszOut, STAGE_PATH_LENGTH, "%s\\%s", folder, stem);
    return true;
}
// The stages whose horizon gives way to a plain background on hardware type 2 with little
// video memory: AU 2 and 6, CO 6, UK 5 (country, stage index).
constexpr int kLowMemoryPlainStages[][2] = {{3, 1}, {3, 5}, {5, 5}, {7, 4}};
constexpr int kLowMemoryHardware = 2;

int gnLoadingStep = 0;
int gnLoadingSteps = 0;
BOOL gboLoadingShown = FALSE;
BOOL gboPodiumFollows = FALSE;
DK_SURFACE* gpBarSurface = nullptr;
DK_SURFACE* gpLineSurface = nullptr;
DK_FONT* gpLoadingTitleFont = nullptr;
DK_FONT* gpLoadingDataFont = nullptr;

const char* const kCountryCode[NUM_COUNTRIES] = {"NZ", "GR", "MC", "AU", "SW", "CO", "IN", "UK"};
const char* const kSecretFolder[4] = {"SECRET\\DANGER\\", "SECRET\\MILEHIGH\\", "SECRET\\RETSIL\\",
                                      "SECRET\\TROUT\\"};
const char* const kScreenFolder[4] = {"320\\", "512\\", "640\\", "800\\"};
// The welcome folders by country, 8 the super special country's.
const char* const kWelcomeCode[NUM_COUNTRIES + 1] = {"NEW", "GRE", "MON", "AUS", "SWE",
                                                     "COR", "IND", "UK",  "SUP"};
constexpr int kNarrowScreen = 512;
constexpr int32_t kFixedOne = 1 << 16;
constexpr int kTextCongratulations = 119;
// The rendering hardware type that draws on an 8-bit palettised display.
constexpr int kPalettisedHardware = 6;
// The watch-replay bit of the game data's first byte.
constexpr uint8_t kWatchReplayBit = 0x01;
// The game fade's frames at 50 and at 25 ticks a second.
constexpr int32_t kFadeFrames50 = 25;
constexpr int32_t kFadeFrames25 = 12;

// The palette of the game's screens on the palettised display.
DK_PALETTE_ENTRY gaGamePalette[256];

bool Palettised()
{
    return DkGetHardwareType() == kPalettisedHardware;
}

bool WatchingReplay()
{
    return (GameData_GetByte(GD_SESSION_FLAGS) & kWatchReplayBit) != 0;
}


// A BMP loaded onto a surface of its own; NULL when the file is missing or bad.
DK_SURFACE* LoadImage(const char* pszPath)
{
    void* pData = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    if (pData == nullptr)
        return nullptr;
    DK_SURFACE* pSurface =
        DkImageToSurface(nullptr, pData, DkGetLastFileSize(), ITS_CREATE_SURFACE);
    DkHeapFree(pData);
    return pSurface;
}

void FreeImage(DK_SURFACE*& pSurface)
{
    if (pSurface != nullptr)
        DkDestroySurface(pSurface, __FILE__, __LINE__);
    pSurface = nullptr;
}

bool SecretStage()
{
    return (GameData_GetByte(GD_GAME_TYPE) & kSecretBit) != 0;
}

// The folder the loading screen's palette and fonts come from: the secret stage's, or the
// country's ("NZ\" for a country outside the table).
std::string LoadingFolder()
{
    const uint8_t uSelection = GameData_GetByte(GD_STAGE_SELECTION);
    if (SecretStage() && (uSelection >> 4) < 4)
        return kSecretFolder[uSelection >> 4];
    const int nCountry = uSelection & 0x0F;
    return std::string(kCountryCode[nCountry < NUM_COUNTRIES ? nCountry : 0]) + "\\";
}

int ScreenIndex()
{
    return GameData_GetByte(GD_SCREEN_SIZE) & 3;
}

int32_t ScaledColour(int32_t xFade)
{
    return static_cast<int32_t>((static_cast<int64_t>(224) * xFade) >> 16);
}

// The clean car's texture is kept once a stage.
BOOL gboCleanCarStoredThisStage = FALSE;

BOOL StageDataDestructor(void)
{
    gboStageInitialised = FALSE;
    gboCleanCarStoredThisStage = FALSE;
    return TRUE;
}

void SetExtension(char* pszSlot, const char* pszExtension)
{
    std::memcpy(pszSlot, pszExtension, 4);
}

bool PlainBackground()
{
    if (GameData_IsOptionSet(OPTION_DARK_STAGE))
        return true;
    if (DkGetHardwareType() != kLowMemoryHardware || !gboLowVideoMemory)
        return false;
    const uint8_t uSelection = GameData_GetByte(GD_STAGE_SELECTION);
    for (const auto& stage : kLowMemoryPlainStages)
        if ((uSelection & 0x0F) == stage[0] && (uSelection >> 4) == stage[1])
            return true;
    return false;
}
} // namespace

BOOL gboStageInitialised = FALSE;
BOOL gboLowVideoMemory = FALSE;

char gszGameRoot[STAGE_PATH_LENGTH] = "";

void Loading_BuildGameRoot(void)
{
    const char* pszCd = DkRegGetString("CDPath");
    std::string root = pszCd != nullptr ? pszCd : "";
    if (!root.empty() && root.back() == '\\')
        root.pop_back();
    root = root.empty() ? std::string("Q:\\Game") : root + "\\game";
    std::snprintf(gszGameRoot, sizeof gszGameRoot, "%s\\", root.c_str());
}

void Loading_GetBarLayout(int nWidth, int nHeight, int nStep, DK_RECT* pBar, DK_RECT* pLine)
{
    const bool boNarrow = nWidth < kNarrowScreen;
    pBar->x = static_cast<int16_t>((boNarrow ? 350 : 386) * nWidth / 640);
    pBar->y = static_cast<int16_t>(boNarrow ? 106 : nHeight * 216 / 480);
    pBar->w = static_cast<int16_t>(nWidth * 213 * nStep / 16640);
    pBar->h = static_cast<int16_t>(nHeight * 13 / 480);
    pLine->x = pBar->x;
    pLine->y = static_cast<int16_t>(nHeight * 205 / 480);
    pLine->w = static_cast<int16_t>(boNarrow ? 141 : nWidth * 216 / 640);
    pLine->h = 1;
}

void Loading_Init(const char* pszBasePath, int nSteps)
{
    FreeImage(gpBarSurface);
    FreeImage(gpLineSurface);
    gboLoadingShown = FALSE;
    gboPodiumFollows = !GameData_IsRallySchool() && boThisIsPodiumStage;
    if (gboPodiumFollows)
    {
        Congrats_ShowScreen();
        return;
    }
    gnLoadingStep = 0;
    gnLoadingSteps = nSteps;

    char path[STAGE_PATH_LENGTH];
    if (Palettised())
    {
        // The loading screen's own colours: the school's or the country's (or secret stage's).
        const std::string palette = GameData_IsRallySchool()
                                        ? std::string("rallschl\\tracks\\loading.pal")
                                        : LoadingFolder() + "Loading.pal";
        DK_PALETTE_ENTRY entries[256] = {};
        if (DkLoadPalette(palette.c_str(), entries, DKLF_CD))
            DkSetPalette(entries);
    }
    if (GameData_IsRallySchool())
    {
        std::snprintf(path, sizeof path, "rallschl\\fonts\\loading\\%sfont.fon",
                      kScreenFolder[ScreenIndex()]);
        DkCreateAndLoadFont(&gpLoadingTitleFont, path);
        std::snprintf(path, sizeof path, "%srallschl\\images\\loading\\r_school.bmp", gszGameRoot);
    }
    else
    {
        const std::string fonts = LoadingFolder() + "FONT\\" + kScreenFolder[ScreenIndex()];
        DkCreateAndLoadFont(&gpLoadingTitleFont, (fonts + "Title.fon").c_str());
        DkCreateAndLoadFont(&gpLoadingDataFont, (fonts + "Data.fon").c_str());
        const bool boWide = d2d != nullptr && d2d->nWidth >= kNarrowScreen;
        std::snprintf(path, sizeof path, "%s%s", pszBasePath, boWide ? ".LOA" : ".LOL");
    }
    DK_SURFACE* pBackground = LoadImage(path);
    if (pBackground != nullptr && d2d != nullptr)
    {
        DK_RECT rect = pBackground->rect;
        rect.w = static_cast<int16_t>(rect.w - 1);
        rect.h = static_cast<int16_t>(rect.h - 1);
        DkBlitPC(pBackground, &rect, &d2d->BackSurface, &rect, 0, 0, FALSE, TRUE);
        DkBlitPC(pBackground, &rect, &d2d->PrimarySurface, &rect, 0, 0, FALSE, TRUE);
        FreeImage(pBackground);
        gboLoadingShown = TRUE;
    }
    Loading_DrawStageCaption(gpLoadingTitleFont, gpLoadingDataFont, kFixedOne);
    if (d2d != nullptr)
        DkFlip();
    Loading_DrawStageCaption(gpLoadingTitleFont, gpLoadingDataFont, kFixedOne);
}

BOOL Loading_IsShown(void)
{
    if (GameData_IsRallySchool())
        return TRUE;
    return gboLoadingShown && !gboPodiumFollows ? TRUE : FALSE;
}

void Loading_Step(void)
{
    if (!gboLoadingShown)
        return;
    if (!GameData_IsRallySchool())
    {
        Loading_DrawBar(gnLoadingStep, kFixedOne);
        if (gnLoadingStep < gnLoadingSteps)
            ++gnLoadingStep;
    }
    if (d2d != nullptr)
        DkFlip();
}

int Loading_GetStep(void)
{
    return gnLoadingStep;
}

void Loading_DrawBar(int nStep, int32_t)
{
    if (d2d == nullptr)
        return;
    DK_RECT bar;
    DK_RECT line;
    Loading_GetBarLayout(d2d->nWidth, d2d->nHeight, nStep, &bar, &line);
    char path[STAGE_PATH_LENGTH];
    if (gpBarSurface == nullptr)
    {
        std::snprintf(path, sizeof path, "%sIMAGES\\LOADING\\BAR.BMP", gszGameRoot);
        gpBarSurface = LoadImage(path);
    }
    if (gpBarSurface != nullptr && bar.w > 0)
    {
        const DK_RECT source = {0, 0, std::min(bar.w, gpBarSurface->rect.w),
                                std::min(bar.h, gpBarSurface->rect.h)};
        const DK_RECT dest = {bar.x, bar.y, source.w, source.h};
        DkBlitPC(gpBarSurface, &source, &d2d->BackSurface, &dest, 0, 0, FALSE, TRUE);
    }
    if (gpLineSurface == nullptr)
    {
        // Not drawn the first time.
        std::snprintf(path, sizeof path, "%sIMAGES\\LOADING\\LINE.BMP", gszGameRoot);
        gpLineSurface = LoadImage(path);
        return;
    }
    const DK_RECT source = {0, 0, std::min(line.w, gpLineSurface->rect.w), 1};
    const DK_RECT dest = {line.x, line.y, source.w, 1};
    DkBlitPC(gpLineSurface, &source, &d2d->BackSurface, &dest, 0, 0, FALSE, TRUE);
}

void Loading_DrawStageCaption(DK_FONT* pTitle, DK_FONT* pData, int32_t xFade)
{
    if (d2d == nullptr || pTitle == nullptr)
        return;
    const uint8_t uLevel = static_cast<uint8_t>(ScaledColour(xFade));
    const uint8_t colour[4] = {uLevel, uLevel, uLevel, 255};
    DK_SURFACE* pBack = &d2d->BackSurface;
    const uint8_t uSelection = GameData_GetByte(GD_STAGE_SELECTION);
    const int nCountry = uSelection & 0x0F;
    const int nStage = uSelection >> 4;
    char text[256];
    if (GameData_IsRallySchool())
    {
        const int nLevel = GameData_GetSchoolGroup();
        const int nTask = GameData_GetSchoolTask();
        const int nLevelText = 47 + (nLevel < 3 ? nLevel : 0);
        const int nTaskText = (nLevel == 0 ? 51 : 54) + nTask;
        std::snprintf(text, sizeof text, "%s:^%s - %s", DkGetText(70), DkGetText(nLevelText),
                      DkGetText(nTaskText));
        DkPrintTextScaled(kFixedOne / 2, kFixedOne * 85 / 100, text, pTitle, pBack, colour,
                          DKJ_CENTRE);
        return;
    }
    const bool boNarrow = d2d->nWidth < kNarrowScreen;
    const int32_t xX = boNarrow ? kFixedOne * 55 / 100 : kFixedOne * 603 / 1000;
    const int nLayout = GameData_GetByte(GD_LANGUAGE) & 7;
    const int nCountryText = SecretStage() ? 303 : (nCountry < NUM_COUNTRIES ? 60 + nCountry : 60);
    std::snprintf(text, sizeof text, "%s -%c%s", DkGetText(70),
                  nLayout == 1 || nLayout == 4 ? '^' : ' ', DkGetText(nCountryText));
    DkPrintTextScaled(xX, kFixedOne * 421 / 1000, text, pTitle, pBack, colour, 0);
    if (SecretStage())
        std::snprintf(text, sizeof text, "%s", DkGetText(304 + (nStage & 3)));
    else if (IsSuperSpecialStage())
        std::snprintf(text, sizeof text, "%s", DkGetText(68));
    else
        std::snprintf(text, sizeof text, "%s : %d", DkGetText(37), nStage + 1);
    const int32_t xBelow =
        DkPrintTextScaled(xX, kFixedOne * 488 / 1000, text, pData, pBack, colour, 0);
    StageInfo_DrawLine(nCountry, nStage, xX, xBelow, pData, colour);
}

void Loading_EndScreen(void)
{
    if (Palettised() && d2d != nullptr)
    {
        DkClearSurface(&d2d->BackSurface);
        DkFlip();
    }
    if (!GameData_IsRallySchool())
    {
        FreeImage(gpBarSurface);
        FreeImage(gpLineSurface);
    }
    if (Palettised())
        DkSetPalette(gaGamePalette);
    if (!WatchingReplay())
        GameFade_In(gbo50HzMode ? kFadeFrames50 : kFadeFrames25);
    if (d2d != nullptr)
    {
        for (int i = 0; i < 2; ++i)
        {
            DkClearSurface(&d2d->BackSurface);
            DkFlip();
        }
    }
    gboLoadingShown = FALSE;
}

void Congrats_ShowScreen(void)
{
    DkLog("\nENTERING CONGRATS SCREEN\n");
    DkDebugOutput("\nENTERING CONGRATS SCREEN\n");
    const int nCountry = GameData_GetByte(GD_STAGE_SELECTION) & 0x0F;
    const char* pszCode = kWelcomeCode[nCountry <= NUM_COUNTRIES ? nCountry : 0];
    const char* pszCd = DkRegGetString("CDPath");
    char folder[STAGE_PATH_LENGTH];
    std::snprintf(folder, sizeof folder, "%s\\GAME\\WELCOME\\%s\\", pszCd != nullptr ? pszCd : "",
                  pszCode);
    char path[STAGE_PATH_LENGTH];
    DK_FONT* pWelcomeFont = nullptr;
    DK_FONT* pMainFont = nullptr;
    std::snprintf(path, sizeof path, "%sfonts\\%s_wel.fon", folder, pszCode);
    DkCreateAndLoadFont(&pWelcomeFont, path);
    std::snprintf(path, sizeof path, "%sfonts\\main_%s.fon", folder, pszCode);
    DkCreateAndLoadFont(&pMainFont, path);
    std::snprintf(path, sizeof path, "%sflag_%s.bmp", folder, pszCode);
    DK_SURFACE* pFlag = LoadImage(path);
    if (d2d == nullptr)
    {
        FreeImage(pFlag);
        return;
    }
    DK_FONT* pFont = d2d->nWidth == 320 ? pWelcomeFont : pMainFont;
    for (int i = 0; i < 2; ++i)
    {
        if (pFlag != nullptr)
        {
            const DK_RECT screen = {0, 0, static_cast<int16_t>(d2d->nWidth),
                                    static_cast<int16_t>(d2d->nHeight)};
            DkBlitPC(pFlag, &pFlag->rect, &d2d->BackSurface, &screen, 0, 0, FALSE, TRUE);
        }
        if (pFont != nullptr)
            DkPrintTextScaled(kFixedOne / 2, kFixedOne * 7 / 10, DkGetText(kTextCongratulations),
                              pFont, &d2d->BackSurface, nullptr, DKJ_CENTRE);
        DkFlip();
    }
    FreeImage(pFlag);
}

void LoadStageData(char* pszPath, char* pszSlot)
{
    DkAddDestructor(StageDataDestructor, "Stage Data Destructor");
    const bool boSchool = DkEntries().IsRallySchool() != FALSE;

    SetExtension(pszSlot, ".c3d");
    Startup_LoadTrack(pszPath);
    Loading_Step();

    DkSetDrawAllTrackBlocks(0);
    Loading_Step();

    SetExtension(pszSlot, ".dat");
    Startup_LoadWallLines(pszPath);
    Startup_BeginObjectActors();

    SetExtension(pszSlot, ".obj");
    Startup_LoadObjects(pszPath);
    Startup_EndObjectActors();
    DkLog(DkFormatString("Object actors range: %d to %d", gnFirstObjectActor, gnLastObjectActor));
    Loading_Step();

    SetExtension(pszSlot, ".moj");
    MovingObjects_Load(pszPath);
    Loading_Step();

    SetExtension(pszSlot, ".sht");
    Startup_LoadShadowObjects(pszPath);

    SetExtension(pszSlot, ".ars");
    Startup_LoadHorizonData(pszPath);
    Loading_Step();

    SetExtension(pszSlot, ".hzn");
    if (PlainBackground())
        Startup_CreateBackground(0, 0, 0);
    else
        Startup_LoadHorizon(pszPath);
    Loading_Step();

    SetExtension(pszSlot, ".tsc");
    TrackCam_LoadCameras(pszPath);
    SetExtension(pszSlot, ".csp");
    TrackCam_LoadStartPositions(pszPath);
    Loading_Step();

    SetExtension(pszSlot, ".cat");
    CatsEye_Load(pszPath);
    if (!boSchool && GameData_IsOptionSet(OPTION_REVERSE_DIRECTION) && !IsSuperSpecialStage())
        Trigger_MirrorRecords();
    TrackCam_LinkTargets();
    Loading_Step();

    SetExtension(pszSlot, ".spl");
    SplitTime_InitStage();
    Loading_Step();

    SetExtension(pszSlot, ".anm");
    Startup_LoadAnimations(pszPath);

    SetExtension(pszSlot, ".rsf");
    if (boSchool && !School_Init(pszPath))
    {
        DkLog("\nFailed to init rally school - NOT IN RALLY SCHOOL\n");
        School_Leave();
    }

    // The ghost's file is named here but read by the replays.
    SetExtension(pszSlot, ".fuz");
    Replay_ResetGhostFlags();
    Loading_Step();
}

namespace
{
// The stage's loading bar has this many steps.
constexpr int kStageLoadingSteps = 26;
// Less surface memory than this marks the device as short of video memory.
constexpr int kLowVideoMemoryBytes = 1536000;
// The game data's byte whose zero switches the renderer's texture reduction on, and the music
// level byte.
constexpr int kTextureReductionByte = 12;
// The game data's graphics option byte: bit 6 the weather and sky effects.
constexpr int kGraphicsOptionByte = 8;
constexpr uint8_t kEffectsBit = 0x40;
// Fonts the stage may create.
constexpr int kStageFonts = 13;
// The UK's podium also rolls the messages.
constexpr int kCountryUk = 7;
// A recorder's scenes and frames a scene (a stage at 50 ticks a second in one scene).
// The fade-in's frames at most.
constexpr int32_t kFadeFramesCap = 1000;


// The car palettes by car type under "\palettes\cars\".
const char* const kCarPalette[13] = {"sub64.pal", "sea64.pal", "sko64.pal", "qua64.pal", "rs264.pal",
                                     "mk264.pal", "mit64.pal", "vw64.pal",  "int64.pal", "cor64.pal",
                                     "cos64.pal", "meg64.pal", "m4r64.pal"};
const char* const kCountryPalette[NUM_COUNTRIES] = {"nz.pal",  "gre.pal", "mon.pal", "aus.pal",
                                                    "swe.pal", "cor.pal", "ind.pal", "uk.pal"};

// On the palettised display: the country's palette with the car's 64 colours over its first
// entries becomes the palette images are converted through.
void SetUpImagePalette()
{
    for (int i = 0; i < 256; ++i)
        gaGamePalette[i].flags = i == 0 || i == 255 ? 0x40 : 0x44;
    const int nCarType = GameData_GetPlayerInfo(0)[PI_CAR_TYPE] & 0x0F;
    const int nTwoPlayerType = (GameData_GetByte(GD_GAME_TYPE) >> 2) & 7;
    const bool boSharedPalette = nCarType > 12 || nTwoPlayerType == 1 || nTwoPlayerType >= 3 ||
                                 (GameData_GetByte(GD_GAME_TYPE) & 0x20) != 0 ||
                                 boThisIsPodiumStage;
    char path[STAGE_PATH_LENGTH];
    DK_PALETTE_ENTRY car[256] = {};
    std::snprintf(path, sizeof path, "\\palettes\\cars\\%s",
                  boSharedPalette ? "cars64.pal" : kCarPalette[nCarType]);
    DkLoadPalette(path, car, DKLF_CD);
    const int nCountry = GameData_GetByte(GD_STAGE_SELECTION) & 0x0F;
    DK_PALETTE_ENTRY image[256] = {};
    std::snprintf(path, sizeof path, "\\palettes\\countries\\%s",
                  kCountryPalette[nCountry < NUM_COUNTRIES ? nCountry : 0]);
    DkLoadPalette(path, image, DKLF_CD);
    for (int i = 0; i < 64; ++i)
        image[i] = car[i];
    DkSetImagePalette(image);
}


// The stage's replays: the school's recorders, the replay being watched, the podium's, the
// super special stage's lane ghosts, and a recorder for each player. The base path's last four
// characters are its extension slot.
void LoadReplays(char* pszBasePath, char* pszSlot, const char* pszStagePath)
{
    if (GameData_IsRallySchool())
    {
        School_LoadKeyHelpImage();
        Disp_AllocReplayStates();
        return;
    }
    // The stage's own replay, the stage's first load: loaded slot 0.
    if (WatchingReplay())
    {
        SetExtension(pszSlot, ".REP");
        Replay_LoadFile(pszBasePath);
    }
    if (boThisIsPodiumStage)
    {
        Podium_LoadReplays();
        if ((GameData_GetByte(GD_STAGE_SELECTION) & 0x0F) == kCountryUk)
        {
            LoadDonutReplay(pszStagePath);
            MessageRoll_Init(FALSE);
        }
    }
    else if (!gboNetworkGame && IsSuperSpecialStage())
    {
        if (!IsTwoPlayerGame())
            SuperSpecial_LoadReplay(pszStagePath, 0);
        if (IsAlternatingGame())
            SuperSpecial_LoadReplay(pszStagePath, 1);
    }
    Disp_AllocReplayStates();
}

void LoadSounds(char* pszBasePath)
{
    const bool boOnePlayer = gNumberOfPlayers == 1;
    MenuSound_Load();
    CarSound_Load();
    PrangSnd_Load();
    CoDriver_LoadSamples();
    PreSnd_Load();
    if (boOnePlayer)
    {
        SurfaceNoise_Load(pszBasePath);
        WeatherNoise_Load();
        CrowdNoise_Load();
    }
    SplitTime_LoadSounds();
    if (boOnePlayer)
        EndSnd_Load();
}


// The viewports: the full screen twice, the top and bottom halves, the left and right halves.
void SetViewportRects()
{
    const int16_t w = static_cast<int16_t>(d2d->nWidth);
    const int16_t h = static_cast<int16_t>(d2d->nHeight);
    const int16_t hw = static_cast<int16_t>(w / 2);
    const int16_t hh = static_cast<int16_t>(h / 2);
    gaViewportRects[0] = {0, 0, w, h};
    gaViewportRects[1] = {0, 0, w, h};
    gaViewportRects[2] = {0, 0, w, hh};
    gaViewportRects[3] = {0, hh, w, hh};
    gaViewportRects[4] = {0, 0, hw, h};
    gaViewportRects[5] = {hw, 0, hw, h};
}

// The display, 3D and 2D services of the stage's screen.
void SetUpDisplay()
{
    DK_PALETTE_ENTRY* pPalette = nullptr;
    if (Palettised())
    {
        DkLoadPalette("ini\\loadpal.pal", gaGamePalette, DKLF_HARDDRIVE);
        pPalette = gaGamePalette;
    }
    DkSetActivateDispatch(FALSE);
    DkInitialiseDisplay(pPalette, ScreenIndex(), nullptr, DKID_16BIT, DKLF_CD);
    DkSetActivateDispatch(TRUE);
    DkClearSurface(&d2d->PrimarySurface);
    DkClearSurface(&d2d->BackSurface);
    DkInitialiseFonts(kStageFonts);
}
} // namespace

DK_RECT gaViewportRects[NUM_VIEWPORT_RECTS];
BOOL gboDoEffects = FALSE;

int32_t DispInitStage(void)
{
    DkLog("\n********************************");
    DkLog("** FUNCTION : DispInitStage() **");
    DkLog("********************************\n");
    if (d2d->PrimarySurface.lpSurface != nullptr && d2d->BackSurface.lpSurface != nullptr)
        return 0;

    NetPlay_CountPlayers(TRUE);
    NetPlay_ActivateJoinedPlayers();

    Loading_BuildGameRoot();
    // The file layer adds its own backslash to the root.
    std::string root = gszGameRoot;
    root.pop_back();
    DkSetCDPath(root.c_str());
    DkSetAlwaysDrawOnly(IsTwoPlayerGame());

    SetUpDisplay();

    char szStagePath[STAGE_PATH_LENGTH];
    const BOOL boCommandLine = BuildTrackPath(szStagePath) ? TRUE : FALSE;
    Osd_SetTrackName(szStagePath);
    // Room for the extension the steps write after the stem.
    static char szBasePath[STAGE_PATH_LENGTH + 8];
    const std::string base =
        boCommandLine ? std::string(szStagePath) : std::string(gszGameRoot) + szStagePath;
    if (base.size() >= STAGE_PATH_LENGTH)
    {
        DKREPORT(DkFormatString("The stage path %s is too long", base.c_str()));
        return 0;
    }
    std::memcpy(szBasePath, base.c_str(), base.size() + 1);

    DkLog(DkFormatString("\nUsing %s for path in game\n", szBasePath));
    Loading_Init(szBasePath, kStageLoadingSteps);

    if (Palettised())
        SetUpImagePalette();

    DkInit3D();
    gboLowVideoMemory = DkReportTotalVRAM() < kLowVideoMemoryBytes ? TRUE : FALSE;
    DkSetEngineOptionA(GameData_GetByte(kTextureReductionByte) == 0);
    DkInitQSound();
    DkInitialise2DTriangles();
    if (!boCommandLine)
        std::strcat(szBasePath, ".BFP");
    const size_t uLength = std::strlen(szBasePath);
    if (uLength < 4)
    {
        DKREPORT(DkFormatString("The stage path \"%s\" has no extension", szBasePath));
        return 0;
    }
    char* pszSlot = szBasePath + uLength - 4;

    DkInitialisePolyBlits();
    Loading_Step();
    DkInitialise3DBitmaps();
    Loading_Step();
    DkCreateWorldActor();
    Loading_Step();
    Lights_Init();
    DkInitialiseLines();
    Loading_Step();
    DkInitialiseShadows();
    Osd_Load();
    Effects_CheckHardware();
    Lights_LoadGlowTextures();
    if (!GameData_IsRallySchool())
        EndStage_LoadLogos();
    Loading_Step();
    Replay_Init();

    LoadStageData(szBasePath, pszSlot);

    DkLog("\n Loading Fonts..");
    SplitTime_LoadFont();
    LoadResultFonts();
    DkLog("Fonts Loaded\n");

    LoadReplays(szBasePath, pszSlot, szStagePath);

    if (!Startup_LoadCars(1))
        return 0;

    if (!DkGetUse3DBitmaps() ||
        (GameData_GetByte(kGraphicsOptionByte) & kEffectsBit) == 0)
    {
        DkLog("No 3D Hardware or does not support 3D Bitmaps so No effects");
        DkLog("Or its a secret mode");
        gboDoEffects = FALSE;
    }
    else
    {
        DkLog("Have 3D Hardware which can do 3D Bitmaps so doing effects");
        gboDoEffects = TRUE;
    }

    if (!gboCleanCarStoredThisStage && DkGetUse3DBitmaps() && !Palettised())
    {
        StoreCleanCar(IsAlternatingGame() ? gnCurrentPlayer : 0);
        gboCleanCarStoredThisStage = TRUE;
    }

    const int nMode = GameData_GetByte(GD_GAME_TYPE) & 3;
    if (gboNetworkGame)
        NetPlay_LoadRemoteCars();
    if (boThisIsPodiumStage)
        Podium_FindCarNodes();
    else if (nMode == 0 && IsSuperSpecialStage())
        Damage_FindSuperSpecialShell();
    if (!GameData_IsRallySchool() && IsSuperSpecialStage())
        PositionSuperSpecialCars(gnCurrentPlayer);

    Loading_Step();
    LoadSounds(szBasePath);

    Loading_Step();
    DkInitialiseTrackBlocks();
    Loading_Step();
    InitialiseTrackObjects();
    Startup_InitMovingObjects();
    MovingObjects_Check();
    Startup_CleanObjectFlags();
    Loading_Step();
    MovingObjects_DebugDump();
    Loading_Step();
    Cameras_Init();
    Loading_Step();

    SetViewportRects();
    SetRenderState(1);
    Loading_Step();
    DkAddDestructor(DkKillAllObjects, "ObjectsDestructor");
    Loading_Step();
    Loading_Step();
    Effects_InitialiseStage(gapPlayerCamera[0]);
    Loading_Step();
    DkDumpDestructors();
    ResetFinishFlags();
    DkResetTimeBars();
    for (int i = 0; i < 6; ++i)
        Loading_Step();

    Loading_EndScreen();
    // A fade that never ends must not hold the stage.
    for (int n = 0; n < kFadeFramesCap && !GameFade_IsDone(); ++n)
        GameFade_Step();
    if (Palettised())
        DkSetPalette(gaGamePalette);
    gboStageInitialised = TRUE;
    if (!WatchingReplay())
        ForceFeedback_StartEffects();

    if (boThisIsPodiumStage)
        PlayFrontendMusic();

    gboGameDisplayReady = TRUE;
    return 0;
}

int BuildTrackPath(char* pszOut)
{
    pszOut[0] = '\0';
    const char* pszWord = gnNumCommandLineParams > 0 ? GetCommandLineParameter(0) : nullptr;
    if (pszWord != nullptr && pszWord[0] != '\0' && !IsNumberWord(pszWord))
    {
        DkLog("GETTING IN HERE !!!!!!!!!!!!!!!!!!!!!!!!!!!");
        std::snprintf(pszOut, STAGE_PATH_LENGTH, "%s", pszWord);
        return 1;
    }
    const uint8_t uSelection = GameData_GetByte(GD_STAGE_SELECTION);
    const int nCountry = uSelection & 0x0F;
    const int nStage = uSelection >> 4;
    if (boThisIsPodiumStage)
    {
        if (CountryStagePath(pszOut, nCountry, kPodiumStage))
            DkLog(DkFormatString("\nPodium filename : %s\n", pszOut));
        else
            DKREPORT("The podium's country has no stage folder");
        return 0;
    }
    if (DkEntries().IsRallySchool())
    {
        const int nLevel = GameData_GetSchoolGroup();
        const int nTask = GameData_GetSchoolTask() + 1;
        if (nLevel < 3)
            std::snprintf(pszOut, STAGE_PATH_LENGTH, "RALLSCHL\\TRACKS\\%s\\TASK%d\\TASK%d",
                          kSchoolLevelFolder[nLevel], nTask, nTask);
        else
            DKREPORT("The rally-school level has no stage folder");
        return 0;
    }
    if (GameData_GetByte(GD_GAME_TYPE) & kSecretBit)
    {
        if (nStage < 4)
            std::snprintf(pszOut, STAGE_PATH_LENGTH, "%s", kSecretStage[nStage]);
        else
            DKREPORT("The secret stage selection has no stage folder");
        return 0;
    }
    if (!CountryStagePath(pszOut, nCountry, nStage + 1))
        DKREPORT("The stage's country has no stage folder");
    return 0;
}

const char* Loading_GetCarCode(int nCarType)
{
    return kCarCode[nCarType >= 0 && nCarType < NUM_CAR_CODES ? nCarType : 0];
}

void BuildCarTypePath(int nCarType, char* pszFolderOut, char* pszNameOut)
{
    const char* pszCode = Loading_GetCarCode(nCarType);
    std::snprintf(pszFolderOut, STAGE_PATH_LENGTH, "OBJECTS\\CARS\\%s", pszCode);
    std::snprintf(pszNameOut, STAGE_PATH_LENGTH, "%s%s", pszCode, "DAY");
}

int BuildCarObjectPath(int nPlayer, char* pszFolderOut, char* pszNameOut)
{
    const int nCarType = GameData_GetPlayerInfo(nPlayer)[PI_CAR_TYPE] & 0x0F;
    BuildCarTypePath(nCarType, pszFolderOut, pszNameOut);
    return nCarType;
}
