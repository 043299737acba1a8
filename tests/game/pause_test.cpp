// The pause: entering it when asked or when the window lost its focus, Escape leaving it once
// the keys act, and the flags and results the game-state machine reads.
#include "game/hud/pause.h"

#include <gtest/gtest.h>

#include "engine/pc/core/main.h"
#include "engine/pc/input/dk_input.h"
#include "game/effects/codriver.h"
#include "game/effects/vrooom.h"
#include "game/race/keys.h"
#include "platform/win/win_internal.h"
#include "tests/game/race_fixture.h"

namespace
{

class PauseTest : public RaceTest
{
protected:
    void SetUp() override
    {
        RaceTest::SetUp();
        PauseMenu_ResetForTests();
        Keys_ResetForTests();
        WinKeysReset();
        gboFocusLostInGame = FALSE;
        for (DK_CONTROLLER& c : gaControllers)
            c = DK_CONTROLLER{};
    }
    void TearDown() override
    {
        WinKeysReset();
        Keys_ResetForTests();
        PauseMenu_ResetForTests();
        gboFocusLostInGame = FALSE;
        RaceTest::TearDown();
    }
    static void Escape(bool boDown) { WinKeyEvent(DK_VK_ESCAPE, boDown ? TRUE : FALSE); }
};

TEST_F(PauseTest, ThePauseStartsWhenAskedOrWhenTheFocusIsLost)
{
    struct Case
    {
        const char* pszName;
        bool boAsked;
        bool boFocusLost;
        int nGameType;
        BOOL boStarts;
        int nSilenced; // engine sounds set to level 0
    };
    const Case aCases[] = {
        {"neither", false, false, 0, FALSE, 0},
        {"asked", true, false, 0, TRUE, 1},
        {"focus lost", false, true, 0, TRUE, 1},
        {"asked, two players on one screen", true, false, 1, TRUE, 2},
        {"asked, two players taking turns", true, false, 2, TRUE, 1},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        PauseMenu_ResetForTests();
        gnRaceGameType = c.nGameType;
        gboFocusLostInGame = c.boFocusLost ? TRUE : FALSE;
        if (c.boAsked)
            DoPauseMode(0);
        const int nLevels = CarSound_GetSetLevelCallsForTests();
        EXPECT_EQ(PauseMenu_Start(), c.boStarts);
        EXPECT_EQ(CarSound_GetSetLevelCallsForTests() - nLevels, c.nSilenced);
        // The request is taken by the start; a lost focus holds until the pause is left.
        EXPECT_EQ(PauseMenu_Start(), c.boFocusLost ? TRUE : FALSE);
        EXPECT_EQ(PauseMenu_TakeEnteredFlag(), c.boAsked ? TRUE : FALSE);
        EXPECT_FALSE(PauseMenu_TakeEnteredFlag());
    }
}

// Escape held into the pause does not leave it: the keys act only after a poll with no new key,
// and a new press of Escape then resumes.
TEST_F(PauseTest, EscapeLeavesThePauseOnlyOnceTheKeysAct)
{
    gboFocusLostInGame = TRUE;
    Escape(true);
    DoPauseMode(0);
    ASSERT_TRUE(PauseMenu_Start());
    for (int nPoll = 0; nPoll < 3; ++nPoll)
    {
        PauseMenu_HandleInput();
        EXPECT_FALSE(PauseMenu_TakeResumedFlagB()) << nPoll;
    }
    Escape(false);
    PauseMenu_HandleInput();
    EXPECT_FALSE(PauseMenu_TakeResumedFlagB());
    EXPECT_TRUE(gboFocusLostInGame.load());

    const int nUnmutes = CoDriver_GetUnmuteCallsForTests();
    Escape(true);
    PauseMenu_HandleInput();
    EXPECT_FALSE(gboFocusLostInGame.load()) << "leaving the pause forgets the lost focus";
    EXPECT_TRUE(PauseMenu_TakeResumedFlag());
    EXPECT_FALSE(PauseMenu_TakeResumedFlag()) << "taken once";
    EXPECT_EQ(CoDriver_GetUnmuteCallsForTests() - nUnmutes, 1);
    EXPECT_TRUE(PauseMenu_TakeResumedFlagB());
    EXPECT_FALSE(PauseMenu_TakeResumedFlagB());
    EXPECT_FALSE(PauseMenu_Start()) << "nothing asks for the pause any more";
    EXPECT_FALSE(PauseMenu_GetQuitChoice());
    EXPECT_FALSE(PauseMenu_GetModeChoice());
    EXPECT_FALSE(PauseMenu_GetSchoolQuitChoice());
}

TEST_F(PauseTest, ResetClearsEveryFlagAndResult)
{
    DoPauseMode(1);
    PauseMenu_Leave();
    PauseMenu_SetChoicesForTests(TRUE, TRUE, TRUE);
    DoPauseMode(1); // a new request clears the resumed flags...
    EXPECT_FALSE(PauseMenu_TakeResumedFlag());
    PauseMenu_Leave(); // ...which leaving sets again
    PauseMenu_Reset();
    EXPECT_FALSE(PauseMenu_Start());
    EXPECT_FALSE(PauseMenu_TakeEnteredFlag());
    EXPECT_FALSE(PauseMenu_TakeResumedFlag());
    EXPECT_FALSE(PauseMenu_TakeResumedFlagB());
    EXPECT_FALSE(PauseMenu_GetQuitChoice());
    EXPECT_FALSE(PauseMenu_GetModeChoice());
    EXPECT_FALSE(PauseMenu_GetSchoolQuitChoice());
}

} // namespace
