// The entries the layers above register with the engine.

#include "engine/include/dk_entries.h"

#include <gtest/gtest.h>

#include "engine/include/dk_ff.h"

namespace
{

int gnPasses = 0;
int CountPass(void)
{
    return ++gnPasses;
}
int Alternating(void)
{
    return 2;
}
BOOL Yes(void)
{
    return TRUE;
}

class DkEntriesTest : public testing::Test
{
protected:
    void SetUp() override { DkResetEntries(); }
    void TearDown() override { DkResetEntries(); }
};

TEST_F(DkEntriesTest, NothingRegisteredAnswersAsAnIdleOnePlayerProgram)
{
    const DK_ENTRIES& e = DkEntries();
    EXPECT_EQ(0, e.Frontend_Update());
    char line[] = "-a -b";
    e.Frontend_LogCommandLine(line);
    EXPECT_EQ(0, e.GetGameType());
    EXPECT_EQ(0, e.GetGameTypeByte());
    EXPECT_FALSE(e.IsRallySchool());
    EXPECT_FALSE(e.IsGameDisplayReady());
    EXPECT_FALSE(e.IsLoadingScreenUp());
    EXPECT_FALSE(e.IsStageRunning());
    EXPECT_EQ(0, e.GetNumMechCars());
    EXPECT_FALSE(IsTwoPlayerGame());
    EXPECT_FALSE(IsAlternatingGame());
    const uint8_t* pGameData = e.GetGameData();
    ASSERT_NE(pGameData, nullptr);
    for (int i = 0; i < DK_GAME_DATA_SIZE; ++i)
        ASSERT_EQ(pGameData[i], 0) << i;
    EXPECT_EQ(e.GetWritableGameData(), nullptr) << "nothing the game writes is kept";
}

TEST_F(DkEntriesTest, EachLayerRegistersItsOwnWithoutUndoingTheOther)
{
    DK_ENTRIES frontend{};
    frontend.Frontend_Update = CountPass;
    frontend.GetGameType = Alternating;
    DkRegisterEntries(&frontend);
    DK_ENTRIES game{};
    game.IsStageRunning = Yes;
    DkRegisterEntries(&game);
    DkRegisterEntries(nullptr);

    EXPECT_EQ(1, DkEntries().Frontend_Update());
    EXPECT_TRUE(IsAlternatingGame());
    EXPECT_TRUE(DkEntries().IsStageRunning());
    EXPECT_FALSE(DkEntries().IsLoadingScreenUp());

    DkResetEntries();
    EXPECT_FALSE(DkEntries().IsStageRunning());
    EXPECT_FALSE(IsAlternatingGame());
}

} // namespace
