// The on-screen display's part in the end of a stage: the finish display ends the race once the
// after-finish hold has run out, and the track name.
#include "game/hud/osd.h"

#include <gtest/gtest.h>

#include "game/effects/vrooom.h"
#include "game/race/display.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/netplay.h"
#include "tests/game/race_fixture.h"

namespace
{

class OsdTest : public RaceTest
{
protected:
    void SetUp() override
    {
        RaceTest::SetUp();
        NetPlay_ResetForTests();
        Osd_ResetState();
    }
    void TearDown() override
    {
        gboNetworkGame = FALSE;
        gaStartHold[0] = gaStartHold[1] = START_HOLD_TICKS;
        NetPlay_ResetForTests();
        Osd_ResetState();
        RaceTest::TearDown();
    }
};

TEST_F(OsdTest, TheRaceIsOverOnceTheHoldHasRunOut)
{
    struct Case
    {
        const char* pszName;
        int nGameType;
        BOOL boNetwork;
        BOOL boAllFinished; // every network player
        int32_t nHold0, nHold1;
        int nView;
        BOOL boOver;
    };
    const Case aCases[] = {
        {"one player, holding", 0, FALSE, TRUE, 1, 100, 0, FALSE},
        {"one player, run out", 0, FALSE, TRUE, 0, 100, 0, TRUE},
        {"one player, counted past 0", 0, FALSE, TRUE, -2, 100, 0, TRUE},
        {"two players, the other still driving", 1, FALSE, TRUE, 0, 100, 0, FALSE},
        {"two players, the other holding", 3, FALSE, TRUE, 40, 0, 1, FALSE},
        {"two players, both run out", 1, FALSE, TRUE, 0, 0, 1, TRUE},
        {"taking turns counts one player", 2, FALSE, TRUE, 0, 100, 0, TRUE},
        {"network, others still racing", 0, TRUE, FALSE, 0, 100, 0, FALSE},
        {"network, all finished", 0, TRUE, TRUE, 0, 100, 0, TRUE},
        {"network, holding", 0, TRUE, TRUE, 7, 100, 0, FALSE},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        Osd_ResetState();
        NetPlay_ResetForTests();
        gnRaceGameType = c.nGameType;
        gboNetworkGame = c.boNetwork;
        // One remote player in the race, finished or not.
        gaRaceGameData[GD_REMOTE_PLAYERS + PI_IN_GAME] = c.boNetwork ? 1 : 0;
        gaNetRemoteCar[0].boFinished = c.boAllFinished;
        gaStartHold[0] = c.nHold0;
        gaStartHold[1] = c.nHold1;
        // The finish display reads the holds from the frame's copy of them.
        Disp_TakeFrameSnapshot(0);
        const int nLevels = CarSound_GetSetLevelCallsForTests();
        // The finish display runs every frame once the player has finished.
        for (int nFrame = 0; nFrame < 3; ++nFrame)
            Osd_DrawFinish(c.nView);
        EXPECT_EQ(gboRaceFinished, c.boOver);
        EXPECT_EQ(Osd_IsFinishShown(c.nView), gaStartHold[c.nView] > 0 ? TRUE : FALSE);
        EXPECT_EQ(CarSound_GetSetLevelCallsForTests() - nLevels, 1);
        EXPECT_EQ(CarSound_GetLastLevelForTests(), 0);
        EXPECT_EQ(CarSound_GetLastLevelPlayerForTests(), c.nView);
    }
}

// The hold counts down frame by frame elsewhere; the race ends on the first frame after it.
TEST_F(OsdTest, TheRaceEndsWhenTheHoldReachesZero)
{
    gaStartHold[0] = 3;
    for (; gaStartHold[0] > 0; --gaStartHold[0])
    {
        Disp_TakeFrameSnapshot(0);
        Osd_DrawFinish(0);
        EXPECT_FALSE(gboRaceFinished);
    }
    Disp_TakeFrameSnapshot(0);
    Osd_DrawFinish(0);
    EXPECT_TRUE(gboRaceFinished);
    Osd_ResetState();
    EXPECT_FALSE(gboRaceFinished) << "a new stage's display starts with the race on";
}

TEST_F(OsdTest, TheTrackNameIsThePathsLastPartUpperCased)
{
    const struct
    {
        const char* pszPath;
        const char* pszName;
    } aCases[] = {
        {"d:\\game\\nz\\1\\nz1", "NZ1"},
        {"stage1", "STAGE1"},
        {"", "NO TRACK"},
        {"c:\\dir\\", ""},
    };
    for (const auto& c : aCases)
    {
        Osd_SetTrackName(c.pszPath);
        EXPECT_STREQ(Osd_GetTrackName(), c.pszName) << c.pszPath;
    }
}

} // namespace
