// The stage conditions: the tables by country and stage or school level and task, their
// overrides, the track colour level and the stage-information text.
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/dk_text.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/stageinfo.h"
#include "game/race/superspecial.h"
#include "tests/game/race_fixture.h"

namespace
{
class StageInfoTest : public RaceTest
{
protected:
    void SetUp() override
    {
        RaceTest::SetUp();
        SuperSpecial_SetForTests(FALSE);
        // String n of the one language reads "Tn".
        for (int n = 0; n < 400; ++n)
            image += "T" + std::to_string(n) + "\n";
        char* apImages[1] = {image.data()};
        const uint32_t auSizes[1] = {static_cast<uint32_t>(image.size())};
        DkInitialiseLanguageText(1, 400, apImages, auSizes);
    }
    void TearDown() override
    {
        StageInfo_SetLightForTests(0);
        RaceTest::TearDown();
    }
    void Select(int nCountry, int nStage)
    {
        gaRaceGameData[GD_STAGE_SELECTION] = static_cast<uint8_t>(nStage << 4 | nCountry);
    }
    std::string Line(int nCountry, int nStage)
    {
        StageInfo_DrawLine(nCountry, nStage, 0, 0, nullptr, nullptr);
        return StageInfo_GetLastTextForTests();
    }
    std::string image;
};

TEST_F(StageInfoTest, EveryTableAnswersItsEntries)
{
    struct Case
    {
        bool boSchool;
        int nRally, nStage;
        int nWeather, nTime, nLight, nLength;
    };
    const Case cases[] = {
        {false, 0, 0, 2, 1, 1, 49},
        {false, 0, 4, 3, 2, 6, 51},
        {false, 1, 6, 1, 1, 4, 17},
        {false, 2, 3, 2, 1, 8, 59},
        {false, 3, 1, 1, 1, 4, 53},
        {false, 4, 1, 4, 2, 4, 52},
        {false, 5, 6, 1, 1, 4, 26},
        {false, 6, 2, 3, 3, 7, 58},
        {false, 7, 4, 5, 1, 7, 58},
        {false, 7, 6, 3, 2, 4, 25},
        {false, 0, 6, 0, 0, 0, 0},
        {true, 0, 2, 1, 1, 4, 0},
        {true, 1, 3, 3, 1, 5, 0},
        {true, 2, 4, 2, 1, 8, 0},
        {true, 0, 4, 0, 0, 0, 0},
        // Outside the tables: the defaults.
        {false, 8, 0, 1, 1, 2, 0},
        {false, 15, 3, 1, 1, 2, 0},
        {false, 0, 7, 1, 1, 2, 0},
        {false, -1, 0, 1, 1, 2, 0},
        {true, 3, 0, 1, 1, 2, 0},
        {true, 0, 5, 1, 1, 2, 0},
    };
    for (const Case& c : cases)
    {
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        SCOPED_TRACE(testing::Message() << c.boSchool << " " << c.nRally << " " << c.nStage);
        EXPECT_EQ(StageInfo_LookupWeather(c.nRally, c.nStage), c.nWeather);
        EXPECT_EQ(StageInfo_LookupTime(c.nRally, c.nStage), c.nTime);
        EXPECT_EQ(StageInfo_LookupLight(c.nRally, c.nStage), c.nLight);
        if (!c.boSchool)
        {
            EXPECT_EQ(StageInfo_GetLength(c.nRally, c.nStage), c.nLength);
        }
    }
    const int aAmbient[9] = {200, 150, 180, 210, 240, 210, 180, 140, 70};
    for (int l = 0; l < 9; ++l)
        EXPECT_EQ(StageInfo_GetAmbientLevel(l), aAmbient[l]);
}

TEST_F(StageInfoTest, OverridesApplyInOrder)
{
    struct Case
    {
        const char* what;
        bool boSchool, boPodium, boDark, boStorm;
        int nWeather, nTime, nLight;
    };
    // Country 7 stage 2 (index 1): weather 2, time 1, light 3; school level 2 task 5: 2, 1, 8.
    const Case cases[] = {
        {"table", false, false, false, false, 2, 1, 3},
        {"school before all", true, true, true, true, 2, 1, 8},
        {"podium", false, true, true, true, 2, 1, 4},
        {"dark", false, false, true, true, 1, 1, 8},
        {"bit 6", false, false, false, true, 5, 1, 3},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        boThisIsPodiumStage = c.boPodium ? TRUE : FALSE;
        gaRaceGameData[OPTION_DARK_STAGE.nByte] =
            static_cast<uint8_t>((c.boDark ? 1 << OPTION_DARK_STAGE.nBit : 0) |
                                 (c.boStorm ? 1 << OPTION_STORM_STAGE.nBit : 0));
        const int nRally = c.boSchool ? 2 : 7;
        const int nStage = c.boSchool ? 4 : 1;
        EXPECT_EQ(StageInfo_LookupWeather(nRally, nStage), c.nWeather);
        EXPECT_EQ(StageInfo_LookupTime(nRally, nStage), c.nTime);
        EXPECT_EQ(StageInfo_LookupLight(nRally, nStage), c.nLight);
    }
}

TEST_F(StageInfoTest, InitialisingTakesTheSelectionOrTheLessonAndSetsTheTrackColour)
{
    struct Case
    {
        bool boSchool;
        int nSelectCountry, nSelectStage, nSchoolByte;
        int nWeather, nTime, nLight, nLevel, nLow;
    };
    const Case cases[] = {
        // Country 2 stage 4: light 8, ambient 70, records 1, 5 and 6 at 50.
        {false, 2, 3, 0, 2, 1, 8, 70, 50},
        {false, 0, 0, 0, 2, 1, 1, 150, 150},
        // A secret country takes the defaults.
        {false, 8, 2, 0, 1, 1, 2, 180, 180},
        // School level 1 task 4 (bits 3-4 and 5-7).
        {true, 0, 0, 1 << 3 | 3 << 5, 3, 1, 5, 210, 210},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.nSelectCountry << " " << c.boSchool);
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        Select(c.nSelectCountry, c.nSelectStage);
        gaRaceGameData[GD_SCHOOL_SELECTION] = static_cast<uint8_t>(c.nSchoolByte);
        TakeLog();
        StageInfo_InitConditions();
        EXPECT_EQ(StageInfo_GetWeather(), c.nWeather);
        EXPECT_EQ(StageInfo_GetTime(), c.nTime);
        EXPECT_EQ(StageInfo_GetLight(), c.nLight);
        for (int r = 0; r < STAGEINFO_TRACK_COLOURS; ++r)
        {
            const int nLevel = r == 0 || r == 4 || r == 5 ? c.nLow : c.nLevel;
            const uint8_t* p = StageInfo_GetTrackColour(r);
            EXPECT_EQ(p[0], nLevel) << r;
            EXPECT_EQ(p[1], nLevel) << r;
            EXPECT_EQ(p[2], nLevel) << r;
            EXPECT_EQ(p[3], 255) << r;
        }
        const std::string expected = "Track r, g, b : " + std::to_string(c.nLow) + ", " +
                                     std::to_string(c.nLow) + ", " + std::to_string(c.nLow);
        EXPECT_NE(TakeLog().find(expected), std::string::npos);
    }
}

TEST_F(StageInfoTest, TheLoadingScreenLineShowsTheConditionsAndSurfaceMix)
{
    struct Case
    {
        const char* what;
        int nRally, nStage;
        bool boSchool, boSuperSpecial, boSecret;
        std::string text;
    };
    const Case cases[] = {
        {"whole-stage surface without a percentage", 0, 0, false, false, false,
         "T181: T60 1^T142: 4.9KM^T143: T113^T35: T182^T301: T96"},
        {"two parts", 0, 2, false, false, false,
         "T181: T60 3^T142: 5.8KM^T143: T114^T35: T108^T301: 70% T98^30% T101^"},
        {"time type 3 shows text 117 for the weather", 6, 2, false, false, false,
         "T181: T66 3^T142: 5.8KM^T143: T117^T35: T110^T301: T101"},
        {"weather and light 0, no length and no mix", 0, 6, false, false, false,
         "T181: T60 7^T143: ^T35: "},
        {"three parts, light 6", 7, 3, false, false, false,
         "T181: T67 4^T142: 7.1KM^T143: T113^T35: T184^T301: 50% T93^30% T99^20% T96^"},
        {"school: no name, no length", 2, 4, true, false, false, "T143: T113^T35: T111^T301: T99"},
        {"super special: no name", 1, 0, false, true, false,
         "T142: 5.2KM^T143: T112^T35: T182^T301: T97"},
        {"secret stage of country 8 named, with defaults", 8, 1, false, true, true,
         "T181: T305^T143: T112^T35: T107"},
        {"a country outside the tables", 12, 0, false, false, false, "T143: T112^T35: T107"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        SuperSpecial_SetForTests(c.boSuperSpecial ? TRUE : FALSE);
        gaRaceGameData[GD_GAME_TYPE] = c.boSecret ? 0x40 : 0;
        EXPECT_EQ(Line(c.nRally, c.nStage), c.text);
    }
}

TEST_F(StageInfoTest, TheResultsScreenHasATitleAndRevealsTwoCharactersACall)
{
    StageInfo_DrawDetails(3, 1, 0, 0, 0, nullptr, nullptr);
    EXPECT_EQ(std::string(StageInfo_GetLastTextForTests()),
              "\"T255\"|T181: T63 2^T142: 5.3KM^T143: T112^T144: T108^T301: 90% T97^10% T94^");

    StageInfo_ResetReveal();
    std::vector<std::string> shown;
    for (int i = 0; i < 4; ++i)
    {
        StageInfo_DrawDetails(3, 1, 0, 0, 0, nullptr, nullptr, TRUE);
        shown.push_back(StageInfo_GetLastTextForTests());
    }
    EXPECT_EQ(shown[0], "\"T|");
    EXPECT_EQ(shown[1], "\"T25|");
    EXPECT_EQ(shown[2], "\"T255\"|"); // the title is whole and the next line starts
    EXPECT_EQ(shown[3], "\"T255\"|T1");
}
} // namespace
