// Cars driven by scripts on the data kit's grounds, at 25 and 50 ticks a second: the engine
// starts and the car goes up the gears, brakes to rest and turns both ways; the suspension
// keeps within its travel on bumpy gravel; a crest throws the car, which keeps its normal and
// lands on its wheels; the side ramp rolls it onto its roof or side, where it is settled and
// rescued; the sea swallows it. Then the determinism scenario against its stored hashes.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/damage.h"
#include "tests/game/car_fixture.h"
#include "tools/bench/car_drive.h"

namespace
{

constexpr int16_t kFacingPlusZ = -1024;
constexpr int16_t kFacingMinusZ = 1024;

class CarDriveTest : public CarTest, public testing::WithParamInterface<int>
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        rate = GetParam();
        CarModel_SetStepRate(rate * ONE);
        b = &gaCarBody[0];
        m = &gaCarMechanics[0];
    }

    // The car set up on the ground, held at the start for a second while its engine starts,
    // then released.
    void Start(const char* ground, int nCarType, double x, double z, int16_t nHeading)
    {
        StandOn(ground);
        ASSERT_TRUE(SetUpCar(0, nCarType, x, 0.0, z, nHeading)) << last;
        for (int k = 0; k < rate * 2; ++k)
            Tick();
        EXPECT_EQ(b->EngineStarting, 0);
        EXPECT_EQ(b->EngineStartTicks, 0);
        EXPECT_GT(m->EngineRevs, 0) << "the engine runs";
        drive::ReleaseCar(0);
    }

    void Tick()
    {
        const int16_t anList[1] = {0};
        output += CaptureOutput([&] { drive::Tick(anList, 1); });
    }

    // Runs the script (ticks at 25 a second), calling the check after every tick.
    template <typename Check> void Drive(const drive::Script& script, Check check)
    {
        const int nTicks = drive::ScriptTicks(script) * rate / 25;
        for (int nTick = 0; nTick < nTicks; ++nTick)
        {
            drive::ApplyScript(script, nTick, rate, m);
            Tick();
            check(nTick);
        }
    }

    int rate = 25;
    CarBody* b = nullptr;
    CarMechanics* m = nullptr;
};

TEST_P(CarDriveTest, OnTarmacTheCarGoesUpTheGearsAndBrakesToRest)
{
    Start("flat-tarmac", 0, 0.0, 10.0, kFacingPlusZ);
    int nTopGear = 0, nLastGear = 1;
    int nDownWhileAccelerating = 0;
    bool boAtRest = false;
    const int nBraking = 95 * rate / 25;
    Drive({{95, 1.0}, {120, 0, 1.0}},
          [&](int nTick)
          {
              if (nTick < nBraking && m->Gear < nLastGear)
                  ++nDownWhileAccelerating;
              nLastGear = m->Gear;
              nTopGear = std::max(nTopGear, static_cast<int>(m->Gear));
              boAtRest = boAtRest || (nTick >= nBraking && b->AtRest);
          });
    EXPECT_GE(nTopGear, 3);
    EXPECT_EQ(nDownWhileAccelerating, 0) << "no hunting between gears";
    EXPECT_TRUE(boAtRest);
    EXPECT_GT(Units(b->Position.z), 60.0);
    EXPECT_NEAR(Units(b->Position.x), 0.0, 0.01) << "straight along the road";
    EXPECT_EQ(b->Rolling, 0);
}

TEST_P(CarDriveTest, TheHeadingTurnsTheWayTheCarIsSteered)
{
    struct Case
    {
        const char* name;
        int steer;
        double side; // the heading's turn towards the side row it started with
    } cases[] = {{"left", 1, 1.0}, {"right", -1, -1.0}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        Start("flat-tarmac", 0, 0.0, 10.0, kFacingPlusZ);
        const DK_VECTOR side = b->OrientRow2;
        Drive({{30, 1.0}, {30, 0.6, 0, c.steer}}, [](int) {});
        const double turn = Units(FfVecDot(&b->OrientRow0, &side));
        EXPECT_GT(turn * c.side, 0.3);
        EXPECT_GT(Units(b->Position.x) * Units(side.x) * c.side, 1.0) << "it went that way";
    }
}

TEST_P(CarDriveTest, OnBumpyGravelTheSuspensionStaysWithinItsTravel)
{
    Start("bumpy-gravel", 5, 0.0, 10.0, kFacingPlusZ);
    int nMoved = 0;
    Drive({{150, 0.7}, {30, 0.7, 0, 1}, {30, 0, 1.0}},
          [&](int)
          {
              for (int w = 0; w < CAR_WHEELS; ++w)
              {
                  ASSERT_LE(FfAbs(b->SuspTravel[w]), m->SuspTravelMax) << w;
                  nMoved += b->SuspTravel[w] != 0 ? 1 : 0;
              }
              ASSERT_EQ(b->Rolling, 0);
          });
    EXPECT_GT(nMoved, 0) << "the bumps moved the wheels";
}

TEST_P(CarDriveTest, OverTheCrestTheCarFliesKeepsItsNormalAndLandsOnItsWheels)
{
    Start("crest", 0, 0.0, 10.0, kFacingPlusZ);
    b->JoltRequest = 1;
    int nFlying = 0, nLanded = -1;
    DK_VECTOR flightNormal{};
    int nJoltsBefore = 0;
    Drive({{150, 1.0}},
          [&](int nTick)
          {
              if (b->WheelsOnGround == 0 && b->AllPointsOff)
              {
                  if (nFlying == 0)
                      flightNormal = b->GroundNormal;
                  ++nFlying;
                  EXPECT_EQ(b->GroundNormal.y, flightNormal.y) << "the normal it left with";
                  EXPECT_EQ(b->GroundNormal.z, flightNormal.z);
                  nJoltsBefore = ForceFeedback_GetJoltCallsForTests();
              }
              else if (nFlying > 0 && nLanded < 0)
                  nLanded = nTick;
              ASSERT_EQ(b->Rolling, 0) << nTick;
          });
    EXPECT_GT(nFlying, 5);
    EXPECT_GT(nLanded, 0);
    EXPECT_LT(flightNormal.y, ONE) << "it left the rising side of the crest";
    EXPECT_GT(ForceFeedback_GetJoltCallsForTests(), nJoltsBefore) << "the landing jolts";
    EXPECT_GT(gaCarCamBData[0], 0);
    EXPECT_EQ(m->Upright, 1);
    EXPECT_GT(b->UpAxis.y, Fixed(0.99));
}

TEST_P(CarDriveTest, TheSideRampRollsTheCarWhichIsSettledRescuedAndDrivesOff)
{
    // Flat out down the road onto the ramp's rising end: along its middle at 25 ticks a second,
    // along its edge at 50, where the same run lands on the wheels.
    Start("side-ramp", 0, rate == 25 ? 2.0 : 4.5, rate == 25 ? 170.0 : 150.0, kFacingMinusZ);
    int nRolled = -1;
    bool boRescue = false;
    for (int nTick = 0; nTick < 400 * rate / 25 && !boRescue; ++nTick)
    {
        m->InputAccel = ONE;
        Tick();
        if (nRolled < 0 && b->Rolling)
            nRolled = nTick;
        boRescue = b->NeedsRescue != 0;
    }
    ASSERT_GE(nRolled, 0);
    ASSERT_TRUE(boRescue);
    EXPECT_LT(b->UpAxis.y, Fixed(0.3)) << "on its roof or side";
    EXPECT_EQ(m->Stuck, 0) << "settled";

    // The checkpoint code puts it back at the last marker: placed on the 10th tick after its
    // first call, faded in 10 ticks later.
    const DK_VECTOR point = {Fixed(-8.0), 0, Fixed(120.0)};
    const DK_VECTOR heading = {0, 0, -ONE};
    int nPlaced = -1, nDone = -1;
    for (int nTick = 0; nTick <= 30 && nDone < 0; ++nTick)
    {
        if (b->NeedsRescue)
            CarModel_PlaceOnTrack(b, m, &point, &heading, 0);
        if (nPlaced < 0 && m->RescueFade == 255)
            nPlaced = nTick;
        if (nPlaced > 0 && !b->NeedsRescue)
            nDone = nTick;
        Tick();
    }
    EXPECT_EQ(nPlaced, 10);
    EXPECT_EQ(nDone, 20);
    EXPECT_EQ(b->Rolling, 0);
    EXPECT_GT(b->UpAxis.y, Fixed(0.99));
    // And away.
    const DK_VECTOR from = b->Position;
    Drive({{50, 1.0}}, [](int) {});
    EXPECT_LT(Units(b->Position.z), Units(from.z) - 10.0);
    EXPECT_EQ(b->Rolling, 0);
}

TEST_P(CarDriveTest, TheSeaSwallowsTheCarUntilItsRescueOnThe201stWheelQuery)
{
    // Standing in the sea (held at the start). The set-up asks for the ground under every
    // point once; each tick asks for the wheels' up to twice, as the body update takes the
    // ground and again once the car stands on it. The points sink 0.003 deeper each time.
    StandOn("snow-water-sea");
    ASSERT_TRUE(SetUpCar(0, 0, 0.0, 0.0, 140.0, kFacingPlusZ)) << last;
    int nRescue = 0;
    int32_t xLowest = b->Position.y;
    int32_t xAsked = 0;
    for (int nTick = 1; nTick <= 250 && nRescue == 0; ++nTick)
    {
        Tick();
        ASSERT_LE(b->Position.y, xLowest) << "sinking";
        xLowest = b->Position.y;
        xAsked = 0;
        for (int32_t xTicks : b->SinkTicks)
            xAsked = std::max(xAsked, xTicks);
        if (b->NeedsRescue)
            nRescue = nTick;
        else
            ASSERT_LT(xAsked, 201 * ONE);
    }
    EXPECT_GT(nRescue, 0);
    EXPECT_GE(xAsked, 201 * ONE);
    EXPECT_LT(xAsked, 203 * ONE);
    // Put back on the gravel before the sea.
    const DK_VECTOR point = {0, 0, Fixed(100.0)};
    const DK_VECTOR heading = {0, 0, ONE};
    for (int nTick = 0; nTick < 25 && b->NeedsRescue; ++nTick)
    {
        CarModel_PlaceOnTrack(b, m, &point, &heading, 0);
        Tick();
    }
    EXPECT_EQ(b->NeedsRescue, 0);
    EXPECT_EQ(b->SinkTicks[0], 0);
    EXPECT_NEAR(Units(b->Position.z), 100.0, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Rates, CarDriveTest, testing::Values(25, 50),
                         [](const testing::TestParamInfo<int>& info)
                         { return "At" + std::to_string(info.param); });

// The stored hashes: one line a rate, "25 0123456789abcdef".
std::map<int, std::string> ReadHashes(void)
{
    std::map<int, std::string> hashes;
    std::ifstream in(DEZOR_DRIVE_HASHES);
    int nRate = 0;
    std::string hash;
    while (in >> nRate >> hash)
        hashes[nRate] = hash;
    return hashes;
}

class CarScenarioTest : public CarTest
{
};

// Eight cars of different types, each with its own script, 2,000 ticks at each rate; the state,
// damage and wobble images of every car go into the hash. The hash changes only on purpose: run
// with DEZOR_RENEW_DRIVE_HASHES=1 to write the new ones, and give the reason in the commit.
TEST_F(CarScenarioTest, TheScenarioRunsToTheStoredHashes)
{
    const std::map<int, std::string> stored = ReadHashes();
    std::map<int, std::string> computed;
    for (int nRate : {25, 50})
    {
        SCOPED_TRACE(nRate);
        output += CaptureOutput([&] { DkKillAllObjects(); });
        world = nullptr;
        output += CaptureOutput([&] { world = DkCreateWorldActor(); });
        bool boReady = false;
        output += CaptureOutput([&] { boReady = drive::SetUpScenario(world, nRate); });
        ASSERT_TRUE(boReady) << output;
        uint64_t uHash = 0;
        output += CaptureOutput([&] { uHash = drive::RunScenario(2000, nRate); });
        char acHash[17];
        std::snprintf(acHash, sizeof(acHash), "%016llx", static_cast<unsigned long long>(uHash));
        computed[nRate] = acHash;
        // The rolled car's landings reach the damage model.
        bool boDamaged = false;
        for (int n = 0; n < gnNumMechCars; ++n)
            for (int32_t xValue : gaDamage[n].DamageValue)
                boDamaged = boDamaged || xValue != 0;
        EXPECT_TRUE(boDamaged) << "some car is damaged by the end";
        const auto it = stored.find(nRate);
        EXPECT_TRUE(it != stored.end() && it->second == acHash)
            << "the scenario at " << nRate << " ticks a second hashes to " << acHash;
    }
    if (std::getenv("DEZOR_RENEW_DRIVE_HASHES") != nullptr)
    {
        std::ofstream out(DEZOR_DRIVE_HASHES);
        for (const auto& [nRate, hash] : computed)
            out << nRate << " " << hash << "\n";
    }
}

} // namespace
