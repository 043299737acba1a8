#include "game/race/stageinfo.h"

#include <cstdio>
#include <algorithm>
#include <string>

#include "engine/common/dk_text.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_services.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_font.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/superspecial.h"

namespace
{
// Rows country 0..7, columns stage 1..7.
const int8_t kRallyWeather[STAGEINFO_COUNTRIES][STAGEINFO_STAGES] = {
    {2, 1, 3, 2, 3, 2, 0}, {1, 1, 1, 1, 1, 1, 1}, {2, 2, 2, 2, 2, 2, 0}, {1, 1, 1, 2, 1, 1, 1},
    {2, 4, 2, 2, 4, 4, 0}, {1, 1, 1, 2, 1, 1, 1}, {2, 2, 3, 3, 2, 1, 0}, {2, 2, 2, 2, 5, 3, 3},
};
const int8_t kRallyTime[STAGEINFO_COUNTRIES][STAGEINFO_STAGES] = {
    {1, 1, 1, 1, 2, 1, 0}, {1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 0}, {1, 1, 1, 1, 1, 1, 1},
    {1, 2, 1, 1, 2, 2, 0}, {1, 1, 1, 1, 1, 1, 1}, {1, 1, 3, 2, 1, 1, 0}, {1, 1, 1, 1, 1, 1, 2},
};
const int8_t kRallyLight[STAGEINFO_COUNTRIES][STAGEINFO_STAGES] = {
    {1, 2, 4, 5, 6, 7, 0}, {1, 2, 5, 5, 6, 7, 4}, {2, 2, 5, 8, 2, 5, 0}, {2, 4, 5, 8, 2, 4, 7},
    {2, 4, 7, 8, 2, 5, 0}, {2, 4, 7, 8, 2, 4, 4}, {2, 4, 7, 8, 2, 4, 0}, {2, 3, 4, 6, 7, 8, 4},
};
// Rows level 0..2, columns task 1..5.
const int8_t kSchoolWeather[STAGEINFO_SCHOOL_LEVELS][STAGEINFO_SCHOOL_TASKS] = {
    {1, 1, 1, 0, 0}, {1, 1, 2, 3, 0}, {1, 1, 2, 3, 2}};
const int8_t kSchoolTime[STAGEINFO_SCHOOL_LEVELS][STAGEINFO_SCHOOL_TASKS] = {
    {1, 1, 1, 0, 0}, {1, 1, 1, 1, 0}, {1, 1, 1, 2, 1}};
const int8_t kSchoolLight[STAGEINFO_SCHOOL_LEVELS][STAGEINFO_SCHOOL_TASKS] = {
    {2, 2, 4, 0, 0}, {2, 2, 4, 5, 0}, {2, 2, 4, 5, 8}};
// Tenths of a kilometre.
const uint8_t kRallyLength[STAGEINFO_COUNTRIES][STAGEINFO_STAGES] = {
    {49, 57, 58, 51, 51, 52, 0},  {52, 53, 46, 52, 47, 47, 17}, {55, 49, 52, 59, 56, 55, 0},
    {55, 53, 48, 54, 58, 56, 12}, {52, 52, 54, 51, 61, 52, 0},  {40, 42, 47, 44, 42, 47, 26},
    {54, 44, 58, 54, 45, 41, 0},  {56, 64, 44, 71, 58, 53, 25},
};
const uint8_t kRallySurface[STAGEINFO_COUNTRIES][STAGEINFO_STAGES][3] = {
    {{0xa4}, {0xa4}, {0x76, 0x39}, {0xa4}, {0x76, 0x39}, {0x74, 0x37}, {}},
    {{0xa5}, {0xa5}, {0xa5}, {0xa5}, {0x75, 0x32}, {0xa5}, {0xa5}},
    {{0x5c, 0x5b}, {0x2c, 0x8b}, {0x73, 0x3b}, {0xa1}, {0xa1}, {0xab}, {}},
    {{0xa5}, {0x95, 0x12}, {0xa5}, {0xa5}, {0xa5}, {0xa5}, {0xa5}},
    {{0x9a, 0x1b}, {0x5b, 0x5c}, {0x5b, 0x5c}, {0x5b, 0x5c}, {0x5b, 0x5c}, {0x5b, 0x5c}, {}},
    {{0xa1}, {0xa1}, {0xa1}, {0xa1}, {0xa1}, {0xa1}, {0xa1}},
    {{0x62, 0x4d}, {0x62, 0x48}, {0xa9}, {0xa9}, {0x57, 0x52}, {0x62, 0x4d}, {}},
    {{0x5b, 0x59}, {0x69, 0x4b}, {0x67, 0x41}, {0x51, 0x37, 0x24}, {0xa7}, {0xa9}, {0xa9}},
};
const uint8_t kSchoolSurface[STAGEINFO_SCHOOL_LEVELS][STAGEINFO_SCHOOL_TASKS][3] = {
    {{0xa4}, {0xa4}, {0xa7}, {}, {}},
    {{0xa4}, {0xa4}, {0xa7}, {0xa9}, {}},
    {{0xa4}, {0xa4}, {0xa7}, {0xa9}, {0xa7}},
};
const uint8_t kNoSurface[3] = {};
const int kAmbientLevel[9] = {200, 150, 180, 210, 240, 210, 180, 140, 70};

constexpr int kDefaultWeather = 1;
constexpr int kDefaultTime = 1;
constexpr int kDefaultLight = 2;
constexpr int kSecretCountry = 8;
// The track colour records that keep a low level on night stages.
constexpr int kNightTrackLevel = 50;

// Texts by number.
constexpr int kTextStageName = 181;
constexpr int kTextLength = 142;
constexpr int kTextWeather = 143;
constexpr int kTextWeatherFirst = 112; // weather 1..5
constexpr int kTextWeatherTimeThree = 117;
constexpr int kTextLightLoading = 35;
constexpr int kTextLightResults = 144;
constexpr int kTextSurface = 301;
constexpr int kTextSurfaceKinds = 92; // + kind 1..14; kinds outside that: 92 itself
constexpr int kTextCountryFirst = 60;
constexpr int kTextSecretNameFirst = 304;
constexpr int kTextSchoolTitle = 320;
constexpr int kTextSecretTitleFirst = 313;
constexpr int kTextCountryTitleFirst = 252;
const int kLightText[9] = {0, 182, 107, 183, 108, 109, 184, 110, 111};

int gnStageWeather = kDefaultWeather;
int gnStageTime = kDefaultTime;
int gnStageLight = 0;
uint8_t gaTrackColour[STAGEINFO_TRACK_COLOURS][4] = {};
std::string gLastText;

// Reveal of the results screen: the title and five lines, two characters a call.
constexpr int kRevealParts = 6;
int gnRevealPart = 0;
int gnRevealChars = 0;

bool RallySchool()
{
    return DkEntries().IsRallySchool() != FALSE;
}

bool InRally(int nRally, int nStage)
{
    return nRally >= 0 && nRally < STAGEINFO_COUNTRIES && nStage >= 0 && nStage < STAGEINFO_STAGES;
}

bool InSchool(int nLevel, int nTask)
{
    return nLevel >= 0 && nLevel < STAGEINFO_SCHOOL_LEVELS && nTask >= 0 &&
           nTask < STAGEINFO_SCHOOL_TASKS;
}

bool SecretStage()
{
    return (GameData_GetByte(GD_GAME_TYPE) & 0x40) != 0;
}

int RallyEntry(const int8_t table[STAGEINFO_COUNTRIES][STAGEINFO_STAGES], int nRally, int nStage,
               int nDefault)
{
    return InRally(nRally, nStage) ? table[nRally][nStage] : nDefault;
}

int SchoolEntry(const int8_t table[STAGEINFO_SCHOOL_LEVELS][STAGEINFO_SCHOOL_TASKS], int nLevel,
                int nTask, int nDefault)
{
    return InSchool(nLevel, nTask) ? table[nLevel][nTask] : nDefault;
}

std::string Text(int nText)
{
    return DkGetText(nText);
}

std::string Line(int nText, const std::string& value)
{
    return Text(nText) + ": " + value;
}

// The stage name line, where the stage has one shown.
bool NameLine(int nRally, int nStage, std::string* pLine)
{
    const bool boSecret = SecretStage() && nRally == kSecretCountry;
    if ((RallySchool() || IsSuperSpecialStage()) && !boSecret)
        return false;
    std::string name;
    if (boSecret)
        name = Text(kTextSecretNameFirst + nStage);
    else if (nRally >= 0 && nRally < STAGEINFO_COUNTRIES)
        name = Text(kTextCountryFirst + nRally) + " " + std::to_string(nStage + 1);
    else
        return false;
    *pLine = Line(kTextStageName, name);
    return true;
}

std::string SurfaceValue(const uint8_t* pMix)
{
    std::string value;
    for (int i = 0; i < 3; ++i)
    {
        const int nKind = pMix[i] & 0x0F;
        const int nTenths = pMix[i] >> 4;
        if (nKind == 0)
            break;
        const int nText = nKind <= 14 ? kTextSurfaceKinds + nKind : kTextSurfaceKinds;
        if (nTenths == 10)
            return Text(nText);
        char buffer[160];
        std::snprintf(buffer, sizeof buffer, "%d%% %s^", nTenths * 10, DkGetText(nText));
        value += buffer;
    }
    return value;
}

// The condition lines: name, length, weather, light, surface (those the stage has).
void ConditionLines(int nRally, int nStage, int nLightText, std::string aLines[5])
{
    for (int i = 0; i < 5; ++i)
        aLines[i].clear();
    NameLine(nRally, nStage, &aLines[0]);
    const int nLength = StageInfo_GetLength(nRally, nStage);
    if (!RallySchool() && nLength > 0)
    {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%d.%dKM", nLength / 10, nLength % 10);
        aLines[1] = Line(kTextLength, buffer);
    }
    const int nWeather = StageInfo_LookupWeather(nRally, nStage);
    std::string weather;
    if (StageInfo_LookupTime(nRally, nStage) == 3)
        weather = Text(kTextWeatherTimeThree);
    else if (nWeather >= 1 && nWeather <= 5)
        weather = Text(kTextWeatherFirst + nWeather - 1);
    aLines[2] = Line(kTextWeather, weather);
    const int nLight = StageInfo_LookupLight(nRally, nStage);
    aLines[3] =
        Line(nLightText, nLight >= 1 && nLight <= 8 ? Text(kLightText[nLight]) : std::string());
    const std::string surface = SurfaceValue(StageInfo_GetSurfaceMix(nRally, nStage));
    if (!surface.empty())
        aLines[4] = Line(kTextSurface, surface);
}

std::string Join(const std::string* pLines, int nLines)
{
    std::string text;
    for (int i = 0; i < nLines; ++i)
    {
        if (pLines[i].empty())
            continue;
        if (!text.empty() && text.back() != '^')
            text += '^';
        text += pLines[i];
    }
    return text;
}

int32_t Print(const std::string& text, int32_t xX, int32_t xY, DK_FONT* pFont,
              const uint8_t* pColour)
{
    gLastText = text;
    if (d2d == nullptr || pFont == nullptr || text.empty())
        return xY;
    return DkPrintTextScaled(xX, xY, text.c_str(), pFont, &d2d->BackSurface, pColour, 0);
}
} // namespace

void StageInfo_InitConditions(void)
{
    int nRally = GameData_GetByte(GD_STAGE_SELECTION) & 0x0F;
    int nStage = GameData_GetByte(GD_STAGE_SELECTION) >> 4;
    if (RallySchool())
    {
        nRally = GameData_GetSchoolGroup();
        nStage = GameData_GetSchoolTask();
    }
    gnStageWeather = StageInfo_LookupWeather(nRally, nStage);
    gnStageTime = StageInfo_LookupTime(nRally, nStage);
    gnStageLight = StageInfo_LookupLight(nRally, nStage);
    StageInfo_SetTrackColour(StageInfo_GetAmbientLevel(gnStageLight));
}

int StageInfo_LookupWeather(int nRally, int nStage)
{
    if (RallySchool())
        return SchoolEntry(kSchoolWeather, nRally, nStage, kDefaultWeather);
    if (boThisIsPodiumStage)
        return 2;
    if (GameData_IsOptionSet(OPTION_DARK_STAGE))
        return 1;
    if (GameData_IsOptionSet(OPTION_STORM_STAGE))
        return 5;
    return RallyEntry(kRallyWeather, nRally, nStage, kDefaultWeather);
}

int StageInfo_LookupTime(int nRally, int nStage)
{
    if (RallySchool())
        return SchoolEntry(kSchoolTime, nRally, nStage, kDefaultTime);
    if (boThisIsPodiumStage)
        return 1;
    return RallyEntry(kRallyTime, nRally, nStage, kDefaultTime);
}

int StageInfo_LookupLight(int nRally, int nStage)
{
    if (RallySchool())
        return SchoolEntry(kSchoolLight, nRally, nStage, kDefaultLight);
    if (boThisIsPodiumStage)
        return 4;
    if (GameData_IsOptionSet(OPTION_DARK_STAGE))
        return STAGEINFO_LIGHT_NIGHT;
    return RallyEntry(kRallyLight, nRally, nStage, kDefaultLight);
}

int StageInfo_GetWeather(void)
{
    return gnStageWeather;
}

int StageInfo_GetTime(void)
{
    return gnStageTime;
}

int StageInfo_GetLight(void)
{
    return gnStageLight;
}

int StageInfo_GetAmbientLevel(int nLight)
{
    return kAmbientLevel[nLight >= 0 && nLight <= 8 ? nLight : kDefaultLight];
}

void StageInfo_SetTrackColour(int nLevel)
{
    for (int i = 0; i < STAGEINFO_TRACK_COLOURS; ++i)
    {
        const bool boLow = gnStageLight == STAGEINFO_LIGHT_NIGHT && (i == 0 || i == 4 || i == 5);
        const uint8_t uLevel = static_cast<uint8_t>(boLow ? kNightTrackLevel : nLevel);
        gaTrackColour[i][0] = gaTrackColour[i][1] = gaTrackColour[i][2] = uLevel;
        gaTrackColour[i][3] = 255;
    }
    DkLog(DkFormatString("Track r, g, b : %d, %d, %d", gaTrackColour[0][0], gaTrackColour[0][1],
                         gaTrackColour[0][2]));
}

const uint8_t* StageInfo_GetTrackColour(int nRecord)
{
    return gaTrackColour[nRecord >= 0 && nRecord < STAGEINFO_TRACK_COLOURS ? nRecord : 0];
}

int StageInfo_GetLength(int nRally, int nStage)
{
    return InRally(nRally, nStage) ? kRallyLength[nRally][nStage] : 0;
}

const uint8_t* StageInfo_GetSurfaceMix(int nRally, int nStage)
{
    if (RallySchool())
        return InSchool(nRally, nStage) ? kSchoolSurface[nRally][nStage] : kNoSurface;
    return InRally(nRally, nStage) ? kRallySurface[nRally][nStage] : kNoSurface;
}

int32_t StageInfo_DrawLine(int nRally, int nStage, int32_t xX, int32_t xY, DK_FONT* pFont,
                           const uint8_t* pColour)
{
    std::string aLines[5];
    ConditionLines(nRally, nStage, kTextLightLoading, aLines);
    return Print(Join(aLines, 5), xX, xY, pFont, pColour);
}

int32_t StageInfo_DrawDetails(int nRally, int nStage, int32_t xX, int32_t xY, int32_t xY2,
                              DK_FONT* pFont, const uint8_t* pColour, BOOL boReveal)
{
    std::string aParts[kRevealParts];
    int nTitle = -1;
    if (RallySchool())
        nTitle = kTextSchoolTitle;
    else if (SecretStage() && nRally == kSecretCountry)
        nTitle = kTextSecretTitleFirst + nStage;
    else if (nRally >= 0 && nRally < STAGEINFO_COUNTRIES)
        nTitle = kTextCountryTitleFirst + nRally;
    if (nTitle >= 0)
        aParts[0] = "\"" + Text(nTitle) + "\"";
    ConditionLines(nRally, nStage, kTextLightResults, &aParts[1]);
    if (boReveal)
    {
        // Lines before the one growing are whole, those after it not shown yet; a line moves
        // on once it is whole (an empty one at once).
        const int nPart = gnRevealPart;
        if (nPart < kRevealParts)
        {
            gnRevealChars += 2;
            if (gnRevealChars >= static_cast<int>(aParts[nPart].size()))
            {
                ++gnRevealPart;
                gnRevealChars = 0;
            }
        }
        for (int i = 0; i < kRevealParts; ++i)
        {
            if (i > nPart)
                aParts[i].clear();
            else if (i == nPart && nPart == gnRevealPart)
                aParts[i].resize(std::min<size_t>(aParts[i].size(), gnRevealChars));
        }
    }
    Print(aParts[0], xX, xY, pFont, pColour);
    const std::string title = gLastText;
    const int32_t xBelow = Print(Join(&aParts[1], 5), xX, xY2, pFont, pColour);
    gLastText = title + "|" + gLastText;
    return xBelow;
}

void StageInfo_ResetReveal(void)
{
    gnRevealPart = 0;
    gnRevealChars = 0;
}

void StageInfo_SetLightForTests(int nLight)
{
    gnStageLight = nLight;
}

const char* StageInfo_GetLastTextForTests(void)
{
    return gLastText.c_str();
}
