// Setting cars up: the fourteen types, the option bits and the players' choices, the start
// side by side, the pose on sloping ground, and the set-ups that are refused.
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "tests/game/car_fixture.h"

namespace
{

constexpr int kTyres = 101, kSuspension = 103, kBrakes = 105, kGearRatio = 109, kCarByte = 138;

class CarSetupTest : public CarTest
{
protected:
    void Choose(int nPlayer, int nPairByte, int nChoice)
    {
        gaTestGameData[PlayerByte(nPlayer, nPairByte)] = static_cast<uint8_t>(nChoice);
    }
};

// The Part's raw rows, column by column: length, height, width, steering limit, front drive,
// ramp, maximum revs, front overhang, rear overhang, half track, front drop, rear drop.
struct TypeRow
{
    const char* name;
    int32_t v[12];
};
const TypeRow kTypes[NUM_CAR_TYPES] = {
    {"Oriban",
     {279904, 89784, 118751, 22282, 32768, 52428, 625410, 117964, 85196, 19660, 45219, 64159}},
    {"Pela Salma",
     {249888, 93716, 115998, 17694, 65536, 26214, 586285, 98304, 32768, 19660, 49741, 68222}},
    {"Brank",
     {252641, 92733, 111738, 18350, 65536, 52428, 566755, 91750, 39321, 19660, 28049, 43122}},
    {"Arlo Torquad",
     {272171, 86507, 123404, 39321, 32768, 104857, 820838, 124518, 65536, 19660, 39976, 71368}},
    {"Talven KV220",
     {260177, 85852, 115998, 39321, 16384, 104857, 820838, 117964, 65536, 19660, 36634, 56164}},
    {"Mark II Talven",
     {261947, 87883, 113901, 13107, 0, 52428, 547225, 111411, 72089, 16384, 50921, 53542}},
    {"Korvansaki",
     {277872, 94371, 112721, 22282, 32768, 52428, 586285, 111411, 72089, 19660, 50266, 81461}},
    {"TM Pika",
     {257884, 93716, 114819, 19005, 65536, 78643, 566755, 98304, 32768, 19660, 38338, 42401}},
    {"Mirela",
     {255590, 90112, 115998, 30146, 32768, 78643, 723124, 104857, 39321, 19660, 50135, 61014}},
    {"Sanryu",
     {266731, 90439, 117964, 21626, 32768, 26214, 664469, 111411, 19660, 19660, 48431, 62193}},
    {"Draymoor",
     {270008, 93388, 115343, 21626, 32768, 78643, 586285, 98304, 65536, 19660, 36372, 59768}},
    {"Lumier",
     {252968, 88473, 120586, 19005, 65536, 78643, 547225, 98304, 58982, 19660, 49545, 75169}},
    {"M4R",
     {235274, 97845, 120848, 32768, 32768, 52428, 625410, 80609, 60293, 41287, 43253, 47054}},
    {"ALCYNA",
     {281804, 77332, 117964, 24248, 32768, 52428, 625410, 125108, 64159, 18350, 29491, 58916}},
};

TEST_F(CarSetupTest, EveryTypeStoresItsRowLogsItsNameAndWeighsTheSame)
{
    StandOn("flat-tarmac");
    int nRearDriven = 0, nFrontDriven = 0;
    for (int t = 0; t < NUM_CAR_TYPES; ++t)
    {
        SCOPED_TRACE(kTypes[t].name);
        CarModel_ClearAll();
        TakeLog();
        ASSERT_TRUE(SetUpCar(0, t)) << last;
        const CarBody& b = gaCarBody[0];
        const CarMechanics& m = gaCarMechanics[0];
        const int32_t* v = kTypes[t].v;
        EXPECT_EQ(b.BoxSize.x, v[0]);
        EXPECT_EQ(b.BoxSize.y, v[1]);
        EXPECT_EQ(b.BoxSize.z, v[2]);
        EXPECT_EQ(m.SteerLimit, v[3] - 1310);
        EXPECT_EQ(m.SteerLimitBase, v[3] - 1310);
        EXPECT_EQ(m.DriveShareFront, v[4]);
        EXPECT_EQ(m.RampValue, v[5]);
        EXPECT_EQ(m.MaxRevs, v[6]);
        EXPECT_EQ(b.FrontOverhang, v[7]);
        EXPECT_EQ(b.RearOverhang, v[8]);
        EXPECT_EQ(b.HalfTrack, v[9]);
        EXPECT_EQ(b.FrontWheelDrop, v[10]);
        EXPECT_EQ(b.RearWheelDrop, v[11]);
        EXPECT_EQ(b.HalfSize.x, v[0] >> 1);
        EXPECT_EQ(b.Weight, 73400320);
        EXPECT_EQ(b.nCarType, t);
        EXPECT_NE(TakeLog().find(std::string(kTypes[t].name) + "\r\n"), std::string::npos);
        nRearDriven += m.DriveShareFront == 0;
        nFrontDriven += m.DriveShareFront == ONE;
        EXPECT_EQ(m.DriveShareFront == 0, t == 5);
        EXPECT_EQ(m.DriveShareFront == ONE, t == 1 || t == 2 || t == 7 || t == 11);
        EXPECT_EQ(m.DriveShareFront == ONE / 4, t == 4);
    }
    EXPECT_EQ(nRearDriven, 1);
    EXPECT_EQ(nFrontDriven, 4);
}

TEST_F(CarSetupTest, OptionBitsScaleTheCar)
{
    struct Case
    {
        const char* name;
        int byte, bits;
        std::function<void(const CarBody&, const CarMechanics&)> check;
    } cases[] = {
        {"no bits", 37, 0,
         [](const CarBody& b, const CarMechanics& m)
         {
             EXPECT_EQ(b.InverseInertia.x, 1);
             EXPECT_EQ(b.InverseInertia.y, 2);
             EXPECT_EQ(m.MaxRevs, 625410);
             EXPECT_EQ(gxGravityScale, 0x9999);
             EXPECT_EQ(m.SuspTravelMax, 0);
             EXPECT_EQ(b.WheelShake[0], 0);
         }},
        {"37 bit 2 halves the car", 37, 4,
         [](const CarBody& b, const CarMechanics&)
         {
             EXPECT_EQ(b.BoxSize.x, 139952);
             EXPECT_EQ(b.BoxSize.y, 44892);
             EXPECT_EQ(b.BoxSize.z, 59375);
             EXPECT_EQ(b.FrontOverhang, 58982);
             EXPECT_EQ(b.RearOverhang, 42598);
             EXPECT_EQ(b.HalfTrack, 9830);
             EXPECT_EQ(b.FrontWheelDrop, 22609);
             EXPECT_EQ(b.RearWheelDrop, 32079);
             EXPECT_EQ(b.InverseInertia.x, 2);
             EXPECT_EQ(b.InverseInertia.y, 4);
             EXPECT_EQ(b.InverseInertia.z, 2);
         }},
        {"37 bit 1 more power", 37, 2,
         [](const CarBody&, const CarMechanics& m)
         {
             EXPECT_EQ(m.MaxRevs, 750490); // x 1.2 as raw 78,643
             EXPECT_EQ(m.SteerLimit, 2 * (22282 - 1310));
             EXPECT_EQ(m.InverseMaxRevs, FfDiv(ONE, 750490));
         }},
        {"37 bit 0 low gravity", 37, 1,
         [](const CarBody&, const CarMechanics&) { EXPECT_EQ(gxGravityScale, 0x1999); }},
        {"38 bit 1 flat gravel", 38, 2,
         [](const CarBody& b, const CarMechanics& m)
         {
             // The player chose suspension 2; the bit takes the first column.
             EXPECT_EQ(m.SuspTravelMax, 3276);
             EXPECT_EQ(m.SuspensionConstant, 13107);
             for (int w = 0; w < CAR_WHEELS; ++w)
                 EXPECT_EQ(b.WheelShake[w], -ONE / 2);
         }},
    };
    StandOn("flat-tarmac");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        gaTestGameData.fill(0);
        Choose(0, kSuspension, 2);
        gaTestGameData[c.byte] = static_cast<uint8_t>(c.bits);
        ASSERT_TRUE(SetUpCar(0, 0)) << last;
        c.check(gaCarBody[0], gaCarMechanics[0]);
    }
}

TEST_F(CarSetupTest, GearRatioChoicesSpreadTheForwardGears)
{
    struct Case
    {
        int choice;
        int32_t ratios[CAR_GEARS];
    } cases[] = {
        // First gear 2.94 (raw 192,676), gaps x 1.1 (raw 72,089).
        {0, {0, 192676, 126353, 87425, 65077, 49937, 38403, -205783}},
        {1, {0, 199230, 135922, 98763, 77431, 62980, 51970, -205783}},
        {2, {0, 205783, 145489, 110100, 89784, 76021, 65536, -205783}},
        {3, {0, 212336, 155056, 121436, 102135, 89060, 79099, -205783}},
        // Every choice above 3 spreads by 0.9 (raw 58,983) from 3.34.
        {5, {0, 218890, 164624, 132773, 114488, 102101, 92664, -205783}},
        {7, {0, 218890, 164624, 132773, 114488, 102101, 92664, -205783}},
    };
    StandOn("flat-tarmac");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.choice);
        CarModel_ClearAll();
        Choose(1, kGearRatio, c.choice);
        TakeLog();
        ASSERT_TRUE(SetUpCar(1, 3)) << last;
        const CarMechanics& m = gaCarMechanics[1];
        for (int g = 0; g < CAR_GEARS; ++g)
        {
            EXPECT_EQ(m.GearRatio[g], c.ratios[g]) << "gear " << g;
            EXPECT_EQ(m.GearRatioCopy[g], c.ratios[g]) << "gear " << g;
        }
        EXPECT_EQ(m.InverseGearRatio[0], 0);
        EXPECT_EQ(m.InverseGearRatio[7], FfDiv(ONE, -205783));
        EXPECT_NE(TakeLog().find("Gear ratios chosen " + std::to_string(c.choice) + "\r\n"),
                  std::string::npos);
    }
}

TEST_F(CarSetupTest, BrakeSuspensionAndGearboxChoices)
{
    struct Case
    {
        int brakes, suspension;
        bool gearbox;
        int32_t balance;
        // Last sway constant, choice constant, follow base and extra, travel, relax, slope
        // gain, anti-roll gain.
        int32_t columns[8];
    } cases[] = {
        {0, 0, true, 0x4000, {13107, 13107, 22937, 36044, 3276, 655, 9829, 218462}},
        {1, 1, false, 0x8000, {39321, 26214, 22937, 36044, 3276, 655, 13107, 327685}},
        {2, 2, false, 0xC000, {ONE, 39321, 32768, 26214, 0, 1310, 19662, 655420}},
        {7, 5, true, 0xC000, {13107, 13107, 22937, 36044, 3276, 655, 9829, 218462}},
    };
    StandOn("flat-tarmac");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.brakes);
        CarModel_ClearAll();
        Choose(0, kBrakes, c.brakes);
        Choose(0, kSuspension, c.suspension);
        gaTestGameData[PlayerByte(0, kCarByte)] = c.gearbox ? 0x10 : 0;
        TakeLog();
        ASSERT_TRUE(SetUpCar(0, 8)) << last;
        const CarMechanics& m = gaCarMechanics[0];
        EXPECT_EQ(m.BrakeBalance, c.balance);
        EXPECT_EQ(m.SwayBaseHeight, c.columns[0]);
        EXPECT_EQ(m.SuspensionConstant, c.columns[1]);
        EXPECT_EQ(m.FollowBase, c.columns[2]);
        EXPECT_EQ(m.FollowExtra, c.columns[3]);
        EXPECT_EQ(m.SuspTravelMax, c.columns[4]);
        EXPECT_EQ(m.SuspRelax, c.columns[5]);
        EXPECT_EQ(m.SlopeChangeThreshold, 65);
        EXPECT_EQ(m.SlopeChangeGain, c.columns[6]);
        EXPECT_EQ(m.AntiRollGain, c.columns[7]);
        EXPECT_EQ(m.LoadTransferGain, 73400320 >> 3);
        EXPECT_EQ(m.SwayLoadGain, 4 * ONE);
        EXPECT_EQ(m.GearboxMode, c.gearbox ? 1 : 2);
        const std::string log = TakeLog();
        EXPECT_NE(log.find("Brakes chosen " + std::to_string(c.brakes) + "\r\n"),
                  std::string::npos);
        EXPECT_NE(log.find("Suspension chosen " + std::to_string(c.suspension) + "\r\n"),
                  std::string::npos);
    }
}

TEST_F(CarSetupTest, StepScaleReachesTheScaledSuspensionConstants)
{
    StandOn("flat-tarmac");
    CarModel_SetStepRate(50 * ONE);
    ASSERT_TRUE(SetUpCar(0, 0)) << last;
    const CarMechanics& m = gaCarMechanics[0];
    EXPECT_EQ(m.SwayStepLimit, FfMul(786, 32773));
    EXPECT_EQ(m.FollowGain, FfMul(157286, 32773));
    EXPECT_EQ(m.SlopeChangeGain, FfMul(9829, 32773));
}

TEST_F(CarSetupTest, SchoolLessonsChooseTheTyres)
{
    struct Case
    {
        bool school;
        int group, task;
        int32_t tyre; // -1: the player's own, 6
    } cases[] = {
        {false, 1, 3, -1},
        {true, 0, 0, 1},
        {true, 1, 3, 2},
        {true, 0, 3, -1},
        {true, 0, 4, -1},
        {true, 1, 4, -1},
        {true, 2, 4, -1},
        {true, 3, 7, -1},
        {true, 2, 3, 1},
        {true, 3, 0, 1},
        // Past the table's 16 entries: the player's own tyres.
        {true, 3, 1, -1},
        {true, 3, 3, -1},
    };
    StandOn("flat-tarmac");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.school << " " << c.group << "/" << c.task);
        CarModel_ClearAll();
        School_ResetForTests();
        gboTestRallySchool = c.school ? TRUE : FALSE;
        gaTestGameData[1728] = static_cast<uint8_t>(c.group << 3 | c.task << 5);
        Choose(0, kTyres, 6);
        ASSERT_TRUE(SetUpCar(0, 2)) << last;
        EXPECT_EQ(gaCarBody[0].TyreType, c.tyre == -1 ? 6 : c.tyre);
        EXPECT_EQ(School_GetSaveCallsForTests(), c.school ? 1 : 0);
    }
}

TEST_F(CarSetupTest, SplitScreenCarsStartSideBySide)
{
    struct Case
    {
        const char* name;
        int gameType;
        bool school, superSpecial;
        double offset; // along the start's side row, car 0; car 1 the other way
    } cases[] = {
        {"one player", 0, false, false, 0.0},
        {"split screen", 1, false, false, 2.0},
        {"split screen with collisions", 3, false, false, 2.0},
        {"turns", 2, false, false, 0.0},
        {"super special", 1, false, true, 0.0},
        {"school", 1, true, false, 0.0},
    };
    StandOn("flat-tarmac");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        gnTestGameType = c.gameType;
        gboTestRallySchool = c.school ? TRUE : FALSE;
        SuperSpecial_SetForTests(c.superSpecial ? TRUE : FALSE);
        for (int car = 0; car < 2; ++car)
        {
            ASSERT_TRUE(SetUpCar(car, 6, 1.0, 0.0, 100.0, 512)) << last;
            DK_VECTOR side;
            FfMatGetRow2(&side, &start->Local);
            EXPECT_NEAR(Units(side.x) * Units(side.x), 0.5, 1e-3) << "turned 45 degrees";
            const double along = car == 0 ? c.offset : -c.offset;
            EXPECT_NEAR(Units(gaCarBody[car].Position.x), 1.0 + along * Units(side.x), 1e-3);
            EXPECT_NEAR(Units(gaCarBody[car].Position.z), 100.0 + along * Units(side.z), 1e-3);
        }
    }
}

TEST_F(CarSetupTest, OnTheTiltedPlaneTheCarStandsAlongItsNormal)
{
    StandOn("tilted-plane");
    const datakit::Ground ground = datakit::MakeGround("tilted-plane");
    for (int16_t heading : {0, 700, -1500})
    {
        SCOPED_TRACE(heading);
        CarModel_ClearAll();
        ASSERT_TRUE(SetUpCar(0, 12, 2.0, 0.125 * 2.0 + 0.0625 * 80.0, 80.0, heading)) << last;
        const CarBody& b = gaCarBody[0];
        const double len = std::sqrt(0.125 * 0.125 + 1.0 + 0.0625 * 0.0625);
        EXPECT_NEAR(b.UpAxis.x, Fixed(-0.125 / len), 8);
        EXPECT_NEAR(b.UpAxis.y, Fixed(1.0 / len), 8);
        EXPECT_NEAR(b.UpAxis.z, Fixed(-0.0625 / len), 8);
        EXPECT_NEAR(FfVecDot(&b.OrientRow0, &b.UpAxis), 0, 8);
        EXPECT_NEAR(FfVecDot(&b.OrientRow2, &b.UpAxis), 0, 8);
        // The first corners are placed by the id-5 actor's rows, which are level: only a car
        // facing along x finds point 0 where it ends up.
        if (heading == 0)
        {
            const DK_VECTOR& p0 = b.ContactPoint[0];
            const datakit::GroundPoint under =
                datakit::GroundSurface(ground, Units(p0.x), Units(p0.z), Units(p0.y));
            ASSERT_TRUE(under.found);
            EXPECT_NEAR(Units(p0.y), under.height, 0.02);
            EXPECT_EQ(b.PointOffGround[0], 0);
            EXPECT_EQ(b.AllPointsOff, 0);
        }
        // The start copies keep the pose.
        EXPECT_EQ(b.StartPosition.y, b.Position.y);
        EXPECT_EQ(b.StartRow[1].x, b.UpAxis.x);
        EXPECT_EQ(b.StartCorner[3].z, b.ContactPoint[3].z);
    }
}

TEST_F(CarSetupTest, AFreshCarStandsOnTheGroundNearestItsStartNotOnTriangleZero)
{
    // Triangle 0 is a deck at 6.0 over the start; the road at 0 lies under it. A cleared
    // record's caches name triangle 0, which holds the point: set-up forgets them.
    datakit::HeightMesh mesh;
    mesh.vertices = {{-10, 6, 90}, {-10, 6, 110}, {10, 6, 90}, {10, 6, 110},
                     {-20, 0, 80}, {-20, 0, 120}, {20, 0, 80}, {20, 0, 120}};
    mesh.triangles = {{{0, 1, 2}, 94}, {{1, 3, 2}, 94}, {{4, 5, 6}, 0}, {{5, 7, 6}, 0}};
    const std::vector<uint8_t> bytes = datakit::FormatHeightData(mesh);
    ASSERT_TRUE(HeightData_Parse(bytes.data(), static_cast<uint32_t>(bytes.size())));
    ASSERT_TRUE(SetUpCar(0, 0, -4.0, 0.0, 96.0)) << last;
    const CarBody& b = gaCarBody[0];
    for (int i = 0; i < CAR_POINTS; ++i)
        EXPECT_EQ(gaCarMechanics[0].WheelSurface[i], 0) << i;
    EXPECT_NEAR(Units(b.ContactPoint[0].y), 0.0, 0.01);
}

TEST_F(CarSetupTest, TheRestOfTheSetUp)
{
    struct Case
    {
        const char* name;
        int players;
        bool school, podium, wet;
        int light;
        uint32_t seed;
    } cases[] = {
        {"one player", 1, false, false, false, 0, 1},
        {"another seed", 1, false, false, false, 0, 3},
        {"two players", 2, false, false, false, 0, 1},
        {"school", 1, true, false, false, 0, 1},
        {"podium", 1, false, true, false, 0, 1},
        {"wet", 1, false, false, true, 0, 1},
        {"light 8", 1, false, false, false, 8, 1},
    };
    StandOn("flat-tarmac");
    bool periods[2] = {};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        gNumberOfPlayers = c.players;
        gboTestRallySchool = c.school ? TRUE : FALSE;
        boThisIsPodiumStage = c.podium ? TRUE : FALSE;
        Weather_SetWetForTests(c.wet ? TRUE : FALSE);
        StageInfo_SetLightForTests(c.light);
        DkSRand(c.seed);
        const int nDrawn = 10 * (DkRand() % 2) + 13;
        DkSRand(c.seed);
        ASSERT_TRUE(SetUpCar(0, 9)) << last;
        const CarBody& b = gaCarBody[0];
        const CarMechanics& m = gaCarMechanics[0];
        const bool sweep = c.players == 1 && !c.school;
        EXPECT_EQ(m.RevSweepOn, sweep ? 1 : 0);
        EXPECT_EQ(m.RevSweepPeriod, sweep ? nDrawn : 0);
        if (sweep)
            periods[m.RevSweepPeriod == 23] = true;
        EXPECT_EQ(m.Gear, c.podium ? 1 : 0);
        EXPECT_EQ(b.WetStage, c.wet || c.light == 8 ? 1 : 0);
        EXPECT_EQ(b.DamageActive, 1);
        EXPECT_EQ(m.PowerSlide, 1);
        EXPECT_EQ(m.TargetSteerAngle, 682);
        EXPECT_EQ(m.ControlByte, 3);
        EXPECT_EQ(m.RearGripOffset, -19660);
        EXPECT_EQ(m.RevBandHigh[6], 64225);
        EXPECT_EQ(m.RevBandLow[1], ONE / 2);
        EXPECT_EQ(b.AxisDotGround[1], ONE);
        EXPECT_EQ(b.pMatrix, &b.Matrix);
        EXPECT_EQ(m.pSwayMatrix, &m.SwayMatrix);
    }
    EXPECT_TRUE(periods[0] && periods[1]) << "both periods came up";
}

TEST_F(CarSetupTest, BindingFindsTheModelsActorsAndFilesItUnderTheCarNumber)
{
    StandOn("flat-tarmac");
    ASSERT_TRUE(SetUpCar(3, 1)) << last;
    const CarBody& b = gaCarBody[3];
    const LoadedCar& car = gaLoadedCar[3];
    // Filed under the car being set up, not under the cleared record's number 0.
    EXPECT_EQ(gaCarIndexByDamageSlot[3], 3);
    EXPECT_EQ(gaCarIndexByDamageSlot[0], -1);
    EXPECT_EQ(b.paCar, car.paCar);
    EXPECT_EQ(b.paBodyDummy, car.paBodyDummy);
    EXPECT_EQ(b.paCar->pParent, world) << "the body model hangs under the world";
    ASSERT_NE(b.paSpecialActor, nullptr);
    EXPECT_EQ(b.paSpecialActor->uId, 5u);
    EXPECT_EQ(b.paSpecialActor->pParent, car.paBodyDummy);
    ASSERT_NE(b.paReflection, nullptr);
    EXPECT_EQ(b.paReflection->uId, 111u);
    // In the car's frame, x forward: wheels 1 and 2 the front axle, 1 and 3 on the +z side.
    const double rest[4][2] = {{1.4, 1.0}, {1.4, -1.0}, {-1.4, 1.0}, {-1.4, -1.0}};
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        ASSERT_NE(b.paWheel[w], nullptr);
        EXPECT_EQ(b.paWheel[w]->uId, static_cast<uint32_t>(w + 1));
        EXPECT_EQ(b.WheelRestPosition[w].x, Fixed(rest[w][0]));
        EXPECT_EQ(b.WheelRestPosition[w].z, Fixed(rest[w][1]));
    }
    EXPECT_EQ(car.paBodyDummy->Local.m[3][1], b.Position.y) << "the root stands at the car";
}

TEST_F(CarSetupTest, RefusedSetUpsLeaveTheRecordsCleared)
{
    // The model without one of its actors: an object's id changed to one the binding ignores.
    auto without = [](uint32_t id)
    {
        datakit::C3dScene scene = datakit::C3dCar();
        scene.textures.clear();
        for (datakit::C3dShape& shape : scene.shapes)
            for (datakit::C3dFace& face : shape.faces)
                face.texture = -1;
        for (datakit::C3dObject& o : scene.objects)
            if (o.flags == id)
                o.flags = 40;
        return scene;
    };
    struct Case
    {
        const char* name;
        int type;
        uint32_t missing; // 0: none
        bool done;
        const char* report;
    } cases[] = {
        {"type 14", 14, 0, false, "Error in InitialiseCar: Pass a real car in (not DEFAULT)"},
        {"type -1", -1, 0, false, "Error in InitialiseCar: Pass a real car in (not DEFAULT)"},
        {"no wheel 3", 0, 3, false, "CarModel_BindActors() : car 0 has no wheel 3"},
        {"no actor 5", 0, 5, false, "CarModel_BindActors() : car 0 has no actor 5"},
        {"no actor 111", 0, 111, true, nullptr},
    };
    StandOn("flat-tarmac");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        LoadCarScene(0, without(c.missing));
        DK_ACTOR* pStart = StartActor(0.0, 1.0, 100.0);
        const DK_VECTOR at = {0, ONE, 100 * ONE};
        BOOL boDone = FALSE;
        const std::string out = CaptureOutput(
            [&]
            { boDone = InitialiseCar(&gaCarBody[0], &gaCarMechanics[0], pStart, c.type, &at, 0); });
        EXPECT_EQ(boDone, c.done ? TRUE : FALSE);
        EXPECT_EQ(out.find("DIVIDE BY ZERO"), std::string::npos);
        if (c.done)
        {
            EXPECT_EQ(gaCarBody[0].paReflection, nullptr);
            EXPECT_EQ(CountReports(out), 0) << out;
            continue;
        }
        EXPECT_TRUE(Reported(out, c.report)) << out;
        EXPECT_EQ(gaCarBody[0].Weight, 0);
        EXPECT_EQ(gaCarBody[0].paCar, nullptr);
        EXPECT_EQ(gaCarMechanics[0].MaxRevs, 0);
    }
}

} // namespace
