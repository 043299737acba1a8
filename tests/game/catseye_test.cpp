// The stage's cat's eyes: the ".cat" reader with the data kit's chains, and a car finishing on
// passing the last cat's eye, on an ordinary stage and on the loop of a super special stage.
#include "game/hud/catseye.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pc/core/dk_file.h"
#include "game/effects/codriver.h"
#include "game/hud/osd.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/splttime.h"
#include "game/vehicle/carmodel.h"
#include "tests/game/race_fixture.h"
#include "tools/datakit/file_io.h"
#include "tools/datakit/hud_writer.h"

namespace
{

namespace fs = std::filesystem;

class CatsEyeTest : public RaceTest
{
protected:
    void SetUp() override
    {
        RaceTest::SetUp();
        gpCatsEyes = nullptr;
        gnNumCatsEyes = 0;
        for (int32_t& n : gaNearestCheckpoint)
            n = 0;
        Osd_ResetState();
        ResetFinishFlags();
        GameHandler_SetStateForTests(GAME_STATE_RACE);
        for (CarBody& b : gaCarBody)
            b.Position = {0, 0, 0};
    }
    void TearDown() override
    {
        GameHandler_SetStateForTests(GAME_STATE_NONE);
        ResetFinishFlags();
        gpCatsEyes = nullptr;
        gnNumCatsEyes = 0;
        RaceTest::TearDown();
    }

    // Writes the bytes as "c:\stage.cat" and loads them.
    void Load(const std::vector<uint8_t>* pBytes)
    {
        const fs::path file = fs::path(env.DriveC()) / "stage.cat";
        fs::remove(file);
        if (pBytes != nullptr)
            datakit::WriteFileAtomically(file, *pBytes);
        CatsEye_Load("c:\\stage.cat");
    }

    // A straight chain of n cat's eyes up +z, 10.0 apart from z = 10, facing up the road.
    static std::vector<datakit::CatsEye> Straight(int n)
    {
        std::vector<datakit::CatsEye> eyes;
        for (int i = 0; i < n; ++i)
        {
            datakit::CatsEye e;
            e.x = 2.0;
            e.y = 0.5;
            e.z = 10.0 * (i + 1);
            e.order = static_cast<uint16_t>(i);
            e.split = i == 1;
            eyes.push_back(e);
        }
        return eyes;
    }

    static void PlaceCar(int nCar, double x, double z)
    {
        gaCarBody[nCar].Position = {Fixed(x), 0, Fixed(z)};
    }
};

TEST_F(CatsEyeTest, TheChainHoldsEveryWholeRecordOfTheFile)
{
    const std::vector<uint8_t> three = datakit::FormatCatsEyes(Straight(3));
    struct Case
    {
        const char* pszName;
        bool boFile;
        size_t uBytes; // of the three records' bytes, then zeros
        int32_t nCount;
    };
    const Case aCases[] = {
        {"three whole records", true, 3 * 28, 3},
        {"a tail shorter than a record is left out", true, 3 * 28 + 27, 3},
        {"less than one record", true, 27, 0},
        {"an empty file", true, 0, 0},
        {"no file", false, 0, 0},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        // A chain already loaded never survives the next stage's load.
        Load(&three);
        ASSERT_EQ(gnNumCatsEyes, 3);
        std::vector<uint8_t> bytes(three.begin(), three.begin() + std::min(c.uBytes, three.size()));
        bytes.resize(c.uBytes, 0);
        Load(c.boFile ? &bytes : nullptr);
        EXPECT_EQ(gnNumCatsEyes, c.nCount);
        EXPECT_EQ(gpCatsEyes != nullptr, c.nCount > 0);
        for (int32_t i = 0; i < gnNumCatsEyes; ++i)
        {
            const CatsEyeRecord& r = gpCatsEyes[i];
            EXPECT_EQ(r.x, Fixed(2.0));
            EXPECT_EQ(r.y, Fixed(0.5));
            EXPECT_EQ(r.z, Fixed(10.0 * (i + 1)));
            EXPECT_EQ(r.dirZ, Fixed(1.0));
            EXPECT_EQ(r.splitFlags, i == 1 ? 0xFF : 0) << "a split point, one bit a player";
            EXPECT_EQ(r.order, i);
        }
    }
}

// A stage run in reverse visits the cat's eyes from the finish, facing the other way.
TEST_F(CatsEyeTest, AReversedStageTurnsTheChainRound)
{
    const std::vector<uint8_t> bytes = datakit::FormatCatsEyes(Straight(3));
    gaRaceGameData[OPTION_REVERSE_DIRECTION.nByte] |= 1u << OPTION_REVERSE_DIRECTION.nBit;
    Load(&bytes);
    ASSERT_EQ(gnNumCatsEyes, 3);
    for (int32_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(gpCatsEyes[i].z, Fixed(10.0 * (3 - i)));
        EXPECT_EQ(gpCatsEyes[i].dirZ, Fixed(-1.0));
        EXPECT_EQ(gpCatsEyes[i].order, i);
    }
}

// A car driving up the chain finishes once it has passed the last cat's eye, and only once.
TEST_F(CatsEyeTest, PassingTheLastCatsEyeFinishesOnce)
{
    const std::vector<uint8_t> bytes = datakit::FormatCatsEyes(Straight(5));
    struct Case
    {
        const char* pszName;
        bool boSchool;
        int nCar;
        bool boFinishes;
    };
    const Case aCases[] = {
        {"player 1", false, 0, true},
        {"player 2", false, 1, true},
        {"in the rally school nobody finishes here", true, 0, false},
        {"a car no player drives", false, 3, false},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        Load(&bytes);
        Osd_ResetState();
        ResetFinishFlags();
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        const int nComments = CoDriver_GetEndStageCommentsForTests();
        for (double z = 0.0; z <= 70.0; z += 0.5)
        {
            PlaceCar(c.nCar, 2.0, z);
            CatsEye_UpdateCar(c.nCar);
            // Within a step of the last cat's eye the car has not passed it yet.
            if (z <= 50.0)
                ASSERT_FALSE(c.nCar < 2 && HasPlayerFinished(c.nCar)) << z;
        }
        EXPECT_EQ(gaCatsEyeHead[c.nCar], 5);
        if (c.nCar < 2)
            EXPECT_EQ(HasPlayerFinished(c.nCar), c.boFinishes ? TRUE : FALSE);
        EXPECT_EQ(CoDriver_GetEndStageCommentsForTests() - nComments,
                  c.boFinishes && c.nCar == 0 ? 1 : 0);
    }
}

// Driving back past the last cat's eye passed counts the car back; five backward passes in a
// row make it the wrong way.
TEST_F(CatsEyeTest, DrivingBackCountsTheCarBack)
{
    const std::vector<uint8_t> bytes = datakit::FormatCatsEyes(Straight(8));
    Load(&bytes);
    Osd_ResetState();
    PlaceCar(0, 2.0, 79.0);
    for (int n = 0; n < 7; ++n)
        CatsEye_UpdateCar(0);
    ASSERT_EQ(gaCatsEyeHead[0], 7);
    for (int n = 6; n >= 0; --n)
    {
        PlaceCar(0, 2.0, 10.0 * (n + 1) - 1.0);
        CatsEye_UpdateCar(0);
        EXPECT_EQ(gaCatsEyeHead[0], n);
        EXPECT_EQ(CatsEye_IsWrongWay(0), n <= 2 ? TRUE : FALSE) << n;
    }
    EXPECT_FALSE(HasPlayerFinished(0));
}

// On the closed loop the car runs one lap and finishes on passing the second cat's eye of the
// next; its time is taken then.
TEST_F(CatsEyeTest, OnTheLoopTheCarFinishesAfterALap)
{
    // Four cat's eyes round a square, anticlockwise seen from above.
    std::vector<datakit::CatsEye> loop(4);
    const double aCorner[4][4] = {{0, -20, 1, 0}, {20, 0, 0, 1}, {0, 20, -1, 0}, {-20, 0, 0, -1}};
    for (int i = 0; i < 4; ++i)
    {
        loop[i].x = aCorner[i][0];
        loop[i].z = aCorner[i][1];
        loop[i].dirX = aCorner[i][2];
        loop[i].dirZ = aCorner[i][3];
        loop[i].order = static_cast<uint16_t>(i);
    }
    const std::vector<uint8_t> bytes = datakit::FormatCatsEyes(loop);
    Load(&bytes);
    Osd_ResetState();
    gaPlayerFinishTime[0] = -1;
    // Just past cat's eye k, along its direction.
    const auto past = [&](int k)
    {
        PlaceCar(0, aCorner[k][0] + aCorner[k][2], aCorner[k][1] + aCorner[k][3]);
        CatsEye_UpdateCarLoop(0);
    };
    for (int k : {0, 1, 2, 3})
        past(k);
    EXPECT_EQ(gaCatsEyeHead[0], 0) << "the head wraps after a lap";
    EXPECT_FALSE(HasPlayerFinished(0));
    past(0);
    EXPECT_TRUE(HasPlayerFinished(0));
    EXPECT_EQ(gaPlayerFinishTime[0], StageTimer_GetHundredths(0));
}

// The demo stage's chain runs up its road, the last at its finish line.
TEST_F(CatsEyeTest, TheDemoChainEndsAtTheFinish)
{
    const std::vector<uint8_t> bytes = datakit::FormatCatsEyes(datakit::DemoCatsEyes());
    Load(&bytes);
    ASSERT_GT(gnNumCatsEyes, 2);
    EXPECT_EQ(gpCatsEyes[gnNumCatsEyes - 1].z, Fixed(datakit::kDemoFinishZ));
    for (int32_t i = 1; i < gnNumCatsEyes; ++i)
        EXPECT_GT(gpCatsEyes[i].z, gpCatsEyes[i - 1].z);
}

} // namespace
