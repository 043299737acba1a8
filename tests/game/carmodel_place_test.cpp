// The step rate, the rescue's timeline and placing, and the drop at a start point in the gear
// that fits the speed.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "tests/game/car_fixture.h"

namespace
{

class CarPlaceTest : public CarTest
{
};

TEST_F(CarPlaceTest, StepRateScalesTheRates)
{
    struct Case
    {
        int32_t rate, rateScale, stepScale, steerRate, rampRateC;
    } cases[] = {
        {25 * ONE, 65525, 65547, 3276, 13109},
        {50 * ONE, 131050, 32773, 1638, 6554},
    };
    StandOn("flat-tarmac");
    ASSERT_TRUE(SetUpCar(0, 0)) << last;
    CarMechanics& m = gaCarMechanics[0];
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.rate);
        CarModel_SetStepRate(c.rate);
        EXPECT_EQ(gRateScale, c.rateScale);
        EXPECT_EQ(gStepScale, c.stepScale);
        CarModel_ScaleRates(&gaCarBody[0], &m);
        EXPECT_EQ(m.SteerRate, c.steerRate);
        EXPECT_EQ(m.RampRateA, c.steerRate);
        EXPECT_EQ(m.RampRateB, c.steerRate);
        EXPECT_EQ(m.RampRateC, c.rampRateC);
        CarModel_CopyRates(&gaCarBody[0], &m);
        EXPECT_EQ(m.SteerRate, 3276);
        EXPECT_EQ(m.RampRateC, 13107);
    }
}

TEST_F(CarPlaceTest, TheTimerIsMeasuredAgainstTheEnginesCounter)
{
    TakeLog();
    CarModel_MeasureTimer();
    EXPECT_EQ(gTicksPerStep, 1193182u / 25);
    EXPECT_TRUE(gboTicksPerStepMeasured);
    EXPECT_NE(TakeLog().find("ticks per step: 47727\r\n"), std::string::npos);
}

TEST_F(CarPlaceTest, ARescueFadesOutPlacesAndFadesIn)
{
    struct Case
    {
        bool penalty;
        int placed, done; // calls, the first being 1
        int halfway;      // a call whose timer is 5.0
        int halfwayFade;
    } cases[] = {
        {false, 11, 21, 6, 127},
        // 20 calls at 0.5 down to the placing, 7 at 1.5 past -10.0; the fade doubled.
        {true, 21, 28, 11, 254},
    };
    StandOn("flat-tarmac");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.penalty ? "penalty" : "plain");
        CarModel_ClearAll();
        StageTimer_ResetForTests();
        CarSound_ResetForTests();
        PerTick_ResetForTests();
        ASSERT_TRUE(SetUpCar(1, 4, 0.0, 0.0, 40.0)) << last;
        CarBody& b = gaCarBody[1];
        CarMechanics& m = gaCarMechanics[1];
        b.NeedsRescue = 1;
        m.RescuePenalty = c.penalty ? 1 : 0;
        const DK_VECTOR point = {Fixed(-5.0), Fixed(0.5), Fixed(150.0)};
        const DK_VECTOR heading = {0, 0, ONE};
        std::vector<int> fades;
        int placed = 0;
        for (int call = 1; call <= 40 && (call == 1 || m.RescueActive); ++call)
        {
            CarModel_PlaceOnTrack(&b, &m, &point, &heading, 0);
            fades.push_back(m.RescueFade);
            if (placed == 0 && gaCarTrackSection[1] == 1)
                placed = call;
        }
        EXPECT_EQ(placed, c.placed);
        EXPECT_EQ(static_cast<int>(fades.size()), c.done);
        ASSERT_GE(fades.size(), static_cast<size_t>(c.placed));
        EXPECT_EQ(fades.front(), 0);
        EXPECT_EQ(fades[c.placed - 1], 255);
        EXPECT_EQ(fades[c.halfway - 1], c.halfwayFade);
        EXPECT_EQ(fades.back(), 0);
        EXPECT_NEAR(Units(b.Position.z), 150.0, 1e-3);
        EXPECT_EQ(b.NeedsRescue, 0);
        EXPECT_EQ(m.RescuePenalty, 0);
        EXPECT_EQ(b.NoDamage, c.penalty ? 1 : 0);
        EXPECT_EQ(StageTimer_GetAdvanceCallsForTests(), c.penalty ? 1 : 0);
        EXPECT_EQ(StageTimer_GetClockForTests(), c.penalty ? 540 * ONE : 0);
        EXPECT_EQ(CarSound_GetNothingCallsForTests(), c.penalty ? 1 : 0);
        EXPECT_TRUE(PerTick_IsViewCopyPending(1));
    }
}

TEST_F(CarPlaceTest, AForcedCallPlacesAtOnceOnTheSlopeAndStopsTheCar)
{
    StandOn("tilted-plane");
    ASSERT_TRUE(SetUpCar(0, 10, -6.0, 0.0, 30.0)) << last;
    CarBody& b = gaCarBody[0];
    CarMechanics& m = gaCarMechanics[0];
    b.Velocity = {ONE, 2 * ONE, 0};
    b.Speed = 3 * ONE;
    b.AngularVelocity = {100, 200, 300};
    b.Rolling = 1;
    b.SinkTicks[2] = 40 * ONE;
    b.StartCountdown = 77;
    m.EngineRevs = 5 * ONE;
    m.WheelSpeed[3] = 7 * ONE;
    m.Gear = 4;
    m.ClutchOut = 1;
    m.UpsideDown = 1;
    const DK_VECTOR point = {Fixed(4.0), Fixed(9.0), Fixed(120.0)};
    const DK_VECTOR heading = {Fixed(-3.0), Fixed(1.0), Fixed(4.0)};
    CarModel_PlaceOnTrack(&b, &m, &point, &heading, 1);

    EXPECT_EQ(m.RescueActive, 1) << "the rescue goes on";
    EXPECT_EQ(gaCarTrackSection[0], 1);
    EXPECT_NEAR(Units(b.Position.x), 4.0, 1e-3);
    EXPECT_NEAR(Units(b.Position.z), 120.0, 1e-3);
    // Facing the heading's horizontal part, standing along the plane's normal.
    EXPECT_NEAR(Units(b.OrientRow0.x) / Units(b.OrientRow0.z), -0.75, 0.02);
    const double len = std::sqrt(0.125 * 0.125 + 1.0 + 0.0625 * 0.0625);
    EXPECT_NEAR(b.UpAxis.y, Fixed(1.0 / len), 8);
    const DK_VECTOR* rows[3] = {&b.OrientRow0, &b.UpAxis, &b.OrientRow2};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_NEAR(FfVecDot(rows[i], rows[i]), ONE, 16) << i;
        EXPECT_NEAR(FfVecDot(rows[i], rows[(i + 1) % 3]), 0, 16) << i;
    }
    // Resting: no point below the ground, the bottom ones on it.
    int32_t deepest = INT32_MIN;
    for (int i = 0; i < CAR_POINTS; ++i)
        deepest = std::max(deepest, FfSub(b.PointGroundHeight[i], b.ContactPoint[i].y));
    EXPECT_EQ(deepest, 0);
    EXPECT_EQ(b.WheelsOnGround, 4);
    EXPECT_EQ(b.AllPointsOff, 0);
    // Stopped.
    EXPECT_EQ(b.Velocity.y, 0);
    EXPECT_EQ(b.Speed, 0);
    EXPECT_EQ(b.AngularVelocity.z, 0);
    EXPECT_EQ(b.Rolling, 0);
    EXPECT_EQ(b.SinkTicks[2], 0);
    EXPECT_EQ(b.StartCountdown, 0);
    EXPECT_EQ(m.EngineRevs, 0);
    EXPECT_EQ(m.WheelSpeed[3], 0);
    EXPECT_EQ(m.UpsideDown, 0);
    EXPECT_EQ(m.Gear, 1);
    EXPECT_EQ(m.ClutchOut, 1) << "the clutch is left as it was";
    EXPECT_EQ(b.AxisDotGround[1], ONE);
    EXPECT_EQ(b.GroundNormalPrev.y, b.GroundNormal.y);
    EXPECT_EQ(b.RearWheelForward.x, b.OrientRow0.x);
    EXPECT_EQ(m.SwayMatrix.m[1][1], ONE);
    EXPECT_EQ(m.SwayMatrix.m[3][1], 0);
    EXPECT_EQ(m.DisplayMatrix.m[0][0], b.Matrix.m[0][0]);
}

TEST_F(CarPlaceTest, AStartDropTakesTheFirstGearWhoseRevsFitItsBand)
{
    struct Case
    {
        double speed;
        int gear;
        int32_t revs;
    } cases[] = {
        {0.0, 1, 0},      {0.5, 1, 411566}, {0.8, 2, 465566},
        {1.2, 3, 528478}, {1.6, 5, 486536}, {3.0, 1, 0}, // past every band: first gear, no revs
    };
    StandOn("crest");
    gaTestGameData[PlayerByte(0, 109)] = 2;
    ASSERT_TRUE(SetUpCar(0, 5)) << last;
    CarBody& b = gaCarBody[0];
    CarMechanics& m = gaCarMechanics[0];
    const datakit::Ground ground = datakit::MakeGround("crest");
    DK_ACTOR* pActor = DkCreateActor(world);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.speed);
        m.ClutchOut = 1;
        m.BrakeInput = ONE;
        CarModel_PlaceAtStart(pActor, &b, &m, Fixed(c.speed), 1024, Fixed(3.0), Fixed(70.0));
        EXPECT_EQ(m.Gear, c.gear);
        EXPECT_EQ(m.EngineRevs, c.revs);
        EXPECT_EQ(m.WheelSpeed[2], 4 * Fixed(c.speed));
        EXPECT_NEAR(Units(FfVecLength(&b.Velocity)), c.speed, 1e-3);
        EXPECT_EQ(m.ClutchOut, 0);
        EXPECT_EQ(m.BrakeInput, 0);
        EXPECT_NEAR(Units(b.Position.x), 3.0, 1e-3);
        // Dropped from far below onto the crest, wheels on the ground.
        const datakit::GroundPoint under =
            datakit::GroundSurface(ground, Units(b.Position.x), Units(b.Position.z), 0.0);
        EXPECT_NEAR(Units(b.Position.y) - Units(b.HalfSize.y), under.height, 0.2);
    }
}

} // namespace
