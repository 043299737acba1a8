// The front end's entries as the engine sees them once registered.

#include "frontend/frontend.h"

#include <gtest/gtest.h>

#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "frontend/game_data.h"

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

} // namespace
