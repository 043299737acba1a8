// The front end's entries as the engine sees them once registered.

#include "frontend/frontend.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "frontend/game_data.h"
#include "game/race/gamedata.h"

namespace
{

class FrontendEntriesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        DkResetEntries();
        Frontend_RegisterEntries();
    }
    void TearDown() override { DkResetEntries(); }
};

TEST_F(FrontendEntriesTest, GameTypePredicatesReadTheGameData)
{
    unsigned char& byte = gpGame_Data->raw[358];
    const unsigned char saved = byte;
    struct Expected
    {
        BOOL twoPlayer, alternating, collisions;
    };
    const Expected expected[8] = {
        {FALSE, FALSE, FALSE}, {TRUE, FALSE, FALSE},  {FALSE, TRUE, FALSE},  {TRUE, FALSE, TRUE},
        {FALSE, FALSE, FALSE}, {FALSE, FALSE, FALSE}, {FALSE, FALSE, FALSE}, {FALSE, FALSE, FALSE},
    };
    for (int32_t school : {0, 1})
        for (int type = 0; type < 8; ++type)
        {
            SCOPED_TRACE(testing::Message() << "type " << type << ", school " << school);
            // The bits around the game type must not matter.
            byte = static_cast<unsigned char>((type << 2) | 0xE3);
            gboRallySchool = school;
            const Expected e = school ? Expected{FALSE, FALSE, FALSE} : expected[type];
            EXPECT_EQ(e.twoPlayer, IsTwoPlayerGame());
            EXPECT_EQ(e.alternating, IsAlternatingGame());
            EXPECT_EQ(e.collisions, IsSplitScreenCollisionGame());
            EXPECT_EQ(DkEntries().GetGameTypeByte(), byte);
        }
    gboRallySchool = 0;
    byte = saved;
}

TEST_F(FrontendEntriesTest, TheGameReadsOptionsAndPlayersChoicesFromTheGameData)
{
    uint8_t* raw = gpGame_Data->raw;
    const GameData saved = *gpGame_Data;
    raw[37] = 0x04;
    raw[44 + 156 + 105] = 0x3A; // player 2's brakes: choice 2, start choice 7
    raw[44 + 109] = 0x04;       // player 1's gear ratios
    raw[44 + 138] = 0x15;       // player 1's car type 5 and the gearbox bit
    raw[628 + 156 * 6 + 147] = 0x80;
    raw[1728] = 3 << 3 | 5 << 5;
    EXPECT_TRUE(GameData_IsOptionSet(OPTION_HALF_SIZE));
    EXPECT_FALSE(GameData_IsOptionSet(OPTION_LOW_GRAVITY));
    EXPECT_EQ(GameData_GetSetupChoice(1, SETUP_BRAKES), 2);
    EXPECT_EQ(GameData_GetSetupChoice(0, SETUP_BRAKES), 0);
    EXPECT_EQ(GameData_GetSetupChoice(0, SETUP_GEAR_RATIO), 4);
    // Car numbers without a record of their own read the first player's.
    EXPECT_EQ(GameData_GetSetupChoice(6, SETUP_GEAR_RATIO), 4);
    EXPECT_TRUE(GameData_GetGearboxBit(0));
    EXPECT_FALSE(GameData_GetGearboxBit(1));
    EXPECT_TRUE(GameData_IsRemotePlayerActive(6));
    EXPECT_FALSE(GameData_IsRemotePlayerActive(5));
    EXPECT_FALSE(GameData_IsRemotePlayerActive(7));
    EXPECT_EQ(GameData_GetSchoolGroup(), 3);
    EXPECT_EQ(GameData_GetSchoolTask(), 5);
    EXPECT_EQ(GameData_GetByte(DK_GAME_DATA_SIZE), 0);
    // The game writes its results into the local players' records, and only theirs.
    ASSERT_EQ(GameData_GetPlayerInfoForWrite(1), raw + 44 + 156);
    EXPECT_EQ(GameData_GetPlayerInfoForWrite(2), nullptr);
    EXPECT_EQ(GameData_GetPlayerInfoForWrite(-1), nullptr);
    *gpGame_Data = saved;
}

// The game data hook sets the bytes it names; an entry that is not offset=value within the
// record and a byte is reported and left out.
TEST_F(FrontendEntriesTest, TheGameDataHookSetsTheBytesItNames)
{
    const GameData saved = *gpGame_Data;
    struct Case
    {
        const char* entries;
        int applied;
        std::vector<std::pair<int, int>> bytes;
        int reports;
    };
    const Case cases[] = {
        {"20=1,358=0x0c,1731=255", 3, {{20, 1}, {358, 12}, {1731, 255}}, 0},
        {"0x2c=7", 1, {{44, 7}}, 0},
        {"1732=1,-1=2,5=256,6=-1,7=,=3,8", 0, {}, 7},
        {"9=1,,10=2", 2, {{9, 1}, {10, 2}}, 1},
        {"11=3x,12=4", 1, {{11, 0}, {12, 4}}, 1},
        {"", 0, {}, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.entries);
        *gpGame_Data = GameData{};
        testing::internal::CaptureStderr();
        EXPECT_EQ(Frontend_ApplyGameDataHook(c.entries), c.applied);
        const std::string err = testing::internal::GetCapturedStderr();
        int reports = 0;
        for (size_t at = err.find("DEZOR_GAME_DATA:"); at != std::string::npos;
             at = err.find("DEZOR_GAME_DATA:", at + 1))
            ++reports;
        EXPECT_EQ(reports, c.reports) << err;
        for (auto [offset, value] : c.bytes)
            EXPECT_EQ(gpGame_Data->raw[offset], value) << offset;
    }
    *gpGame_Data = saved;
}

} // namespace
