// Stage loading: the stage's path from the game data and the command line, and the cars'.
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pc/core/cmd_line.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/loading.h"
#include "game/race/netplay.h"
#include "game/race/startup.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carmodel.h"
#include "tests/game/race_fixture.h"

namespace
{
using LoadingTest = RaceTest;

TEST_F(LoadingTest, TheStagePathFollowsTheFirstRuleThatApplies)
{
    struct Case
    {
        const char* what;
        const char* pszCommandLine; // nullptr: none
        bool boPodium, boSchool;
        int nGameType, nSelection, nSchoolByte;
        const char* pszPath;
        int nResult;
        const char* pszLogged; // a line the log holds
        bool boReport;
    };
    const Case cases[] = {
        {"a command-line path", "STAGES\\TEST\\TEST.c3d", true, true, 0x40, 0x23, 0,
         "STAGES\\TEST\\TEST.c3d", 1, "GETTING IN HERE !!!!!!!!!!!!!!!!!!!!!!!!!!!", false},
        {"number word 0 is no path", "0", false, false, 0, 0x20, 0, "NZ\\3\\NZ3", 0, nullptr,
         false},
        {"number word 11 is no path", "11 x", false, false, 0, 0x20, 0, "NZ\\3\\NZ3", 0, nullptr,
         false},
        {"number word 12 is a path", "12", false, false, 0, 0x20, 0, "12", 1, nullptr, false},
        {"the podium", nullptr, true, true, 0x40, 0x30, 0, "NZ\\8\\NZ8", 0,
         "\nPodium filename : NZ\\8\\NZ8\n", false},
        {"the podium in the UK", nullptr, true, false, 0, 0x07, 0, "UK\\8\\UK8", 0, nullptr, false},
        {"the school, level 1 task 3", nullptr, false, true, 0x40, 0x30, 1 << 3 | 2 << 5,
         "RALLSCHL\\TRACKS\\MEDIUM\\TASK3\\TASK3", 0, nullptr, false},
        {"secret stage 0", nullptr, false, false, 0x40, 0x08, 0, "SECRET\\DANGER\\DANGER", 0,
         nullptr, false},
        {"secret stage 1", nullptr, false, false, 0x40, 0x18, 0, "SECRET\\MILEHIGH\\MILEHIGH", 0,
         nullptr, false},
        {"secret stage 2", nullptr, false, false, 0x40, 0x28, 0, "SECRET\\RETSIL\\RETSIL", 0,
         nullptr, false},
        {"secret stage 3", nullptr, false, false, 0x40, 0x38, 0, "SECRET\\TROUT\\TROUT", 0, nullptr,
         false},
        {"a secret selection of 64", nullptr, false, false, 0x40, 0x40, 0, "", 0, nullptr, true},
        {"New Zealand stage 3", nullptr, false, false, 0, 0x20, 0, "NZ\\3\\NZ3", 0, nullptr, false},
        {"Greece stage 7", nullptr, false, false, 0, 0x61, 0, "GR\\7\\GR7", 0, nullptr, false},
        {"country 8 outside the secret stages", nullptr, false, false, 0, 0x18, 0, "", 0, nullptr,
         true},
        {"the podium of country 9", nullptr, true, false, 0, 0x09, 0, "", 0, nullptr, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        CaptureOutput([] { DkCallAllDestructors(); });
        if (c.pszCommandLine != nullptr)
            DkParseCommandLine(c.pszCommandLine);
        boThisIsPodiumStage = c.boPodium ? TRUE : FALSE;
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        gaRaceGameData[GD_GAME_TYPE] = static_cast<uint8_t>(c.nGameType);
        gaRaceGameData[GD_STAGE_SELECTION] = static_cast<uint8_t>(c.nSelection);
        gaRaceGameData[GD_SCHOOL_SELECTION] = static_cast<uint8_t>(c.nSchoolByte);
        char path[STAGE_PATH_LENGTH];
        std::memset(path, 'x', sizeof path);
        TakeLog();
        int nResult = -1;
        const std::string out = CaptureOutput([&] { nResult = BuildTrackPath(path); });
        const std::string log = TakeLog();
        EXPECT_STREQ(path, c.pszPath);
        EXPECT_EQ(nResult, c.nResult);
        if (c.pszLogged != nullptr)
        {
            EXPECT_NE(log.find(c.pszLogged), std::string::npos) << log;
        }
        EXPECT_EQ(log.find("GETTING IN HERE") != std::string::npos, c.nResult == 1) << log;
        EXPECT_EQ(CountReports(out), c.boReport ? 1 : 0) << out;
    }
}

TEST_F(LoadingTest, ACarPathTakesThePlayersCarType)
{
    struct Case
    {
        int nPlayer, nCarByte;
        const char *pszFolder, *pszName;
        int nType;
    };
    const Case cases[] = {
        {0, 0x00, "OBJECTS\\CARS\\ORI", "ORIDAY", 0},
        {1, 0x1C, "OBJECTS\\CARS\\M4R", "M4RDAY", 12},
        {0, 0x0D, "OBJECTS\\CARS\\ALC", "ALCDAY", 13},
        // A type the table does not hold takes the first car's files.
        {1, 0x0F, "OBJECTS\\CARS\\ORI", "ORIDAY", 15},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.nCarByte);
        gaRaceGameData.fill(0);
        gaRaceGameData[44 + 156 * c.nPlayer + PI_CAR_TYPE] = static_cast<uint8_t>(c.nCarByte);
        char folder[STAGE_PATH_LENGTH];
        char name[STAGE_PATH_LENGTH];
        EXPECT_EQ(BuildCarObjectPath(c.nPlayer, folder, name), c.nType);
        EXPECT_STREQ(folder, c.pszFolder);
        EXPECT_STREQ(name, c.pszName);
    }
}

TEST_F(LoadingTest, TheCarsAndTheirDetailFollowTheGame)
{
    struct Case
    {
        const char* what;
        bool boSchool, boNetwork, boPodium, boSuperSpecial;
        int nGameType, nMode, nPlayers, nResolution;
        int nToLoad, nMech, nMedium;
        std::vector<std::string> logged;
    };
    const Case cases[] = {
        {"school", true, false, false, false, 0, 0, 1, 1, 1, 1, 0, {"gboMediumDetailCar : 0"}},
        {"network", false, true, false, false, 0, 1, 1, 1, 1, 1, 0, {}},
        {"podium",
         false,
         false,
         true,
         false,
         0,
         1,
         1,
         1,
         3,
         1,
         1,
         {"Using Medium detail car as :", "boThisIsPodiumStage is TRUE",
          "gpGame_Data->Options.Graphics.uCarResolution has value 1",
          "gpGame_Data->Options.Graphics.uObjectPriority has value 3"}},
        {"super special, mode 0", false, false, false, true, 0, 0, 1, 1, 3, 2, 0, {}},
        {"super special, mode 1", false, false, false, true, 0, 1, 1, 1, 2, 2, 0, {}},
        {"super special, mode 2", false, false, false, true, 0, 2, 1, 1, 1, 1, 0, {}},
        {"super special, mode 2 on one screen",
         false,
         false,
         false,
         true,
         1,
         2,
         2,
         1,
         2,
         2,
         1,
         {"IsTwoPlayerGame() is TRUE"}},
        {"one player", false, false, false, false, 0, 1, 1, 1, 1, 1, 0, {"nNumCarsToLoad 1"}},
        {"two on one screen", false, false, false, false, 3, 1, 2, 1, 2, 2, 1, {}},
        {"taking turns doubles", false, false, false, false, 2, 1, 1, 1, 2, 1, 0, {}},
        {"low resolution is medium",
         false,
         false,
         false,
         false,
         0,
         1,
         1,
         0,
         1,
         1,
         1,
         {"Forcing no med. res as Car Resolution Low", "uCarResolution : 0"}},
        {"high resolution never",
         false,
         false,
         true,
         false,
         1,
         1,
         2,
         2,
         3,
         1,
         0,
         {"Forcing no med. res as Car Resolution High", "gboMediumDetailCar : 0"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        gboNetworkGame = c.boNetwork ? TRUE : FALSE;
        boThisIsPodiumStage = c.boPodium ? TRUE : FALSE;
        SuperSpecial_SetForTests(c.boSuperSpecial ? TRUE : FALSE);
        gnRaceGameType = c.nGameType;
        gNumberOfPlayers = c.nPlayers;
        gaRaceGameData[GD_GAME_TYPE] = static_cast<uint8_t>(c.nMode);
        gaRaceGameData[GD_CAR_RESOLUTION] = static_cast<uint8_t>(c.nResolution);
        gaRaceGameData[GD_OBJECT_PRIORITY] = 3;
        TakeLog();
        EXPECT_EQ(Startup_CountCars(), c.nToLoad);
        const std::string log = TakeLog();
        EXPECT_EQ(gnNumMechCars, c.nMech);
        EXPECT_EQ(gboMediumDetailCar, c.nMedium);
        for (const std::string& line : c.logged)
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        EXPECT_EQ(log.find("Using Medium detail car as :") != std::string::npos, c.nMedium == 1);
    }
    gboNetworkGame = FALSE;
    gNumberOfPlayers = 1;
    gnNumMechCars = 0;
    gboMediumDetailCar = 0;
    SuperSpecial_SetForTests(FALSE);
}
} // namespace
