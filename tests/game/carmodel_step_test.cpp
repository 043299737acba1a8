// The car step: the order of its nine passes over the listed cars, the housekeeping of the first
// (event timer, landing jolt, wobble, tyre values, launch), the controls' still-car rule, the
// upright test, the ground's normal and slope grip, the load shared over the points, the
// corners' velocities and the steered heading.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "game/effects/surfaces.h"
#include "game/race/gamedata.h"
#include "game/vehicle/carmodel_internal.h"
#include "tests/game/car_fixture.h"

namespace
{

std::vector<std::pair<int, int>> gVisits; // (pass, car)

void RecordVisit(int nPass, int, int nCar)
{
    gVisits.emplace_back(nPass, nCar);
}

class CarStepTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        gVisits.clear();
        // The control values are the cases' own.
        CarControl_SetPassThroughForTests(true);
    }

    // Steps the listed cars once, keeping what was reported.
    void Step(const std::vector<int16_t>& list)
    {
        output += CaptureOutput(
            [&] {
                CarModel_StepCars(gaCarMechanics, gaCarBody, list.data(),
                                  static_cast<int16_t>(list.size()));
            });
    }

    // A car standing still on level ground with an identity frame, as the set-up leaves it.
    void StandCar(int nCar)
    {
        CarBody& b = gaCarBody[nCar];
        b.nCarNumber = static_cast<int8_t>(nCar);
        b.OrientRow0 = {ONE, 0, 0};
        b.UpAxis = {0, ONE, 0};
        b.OrientRow2 = {0, 0, ONE};
        b.Position = {0, Fixed(0.7), 0};
        b.pMatrix = &b.Matrix;
        DkIdentityMatrix(&b.Matrix);
        FfMatSetPosition(&b.Position, &b.Matrix);
        b.GroundNormal = {0, ONE, 0};
        b.RearWheelForward = b.OrientRow0;
        b.Weight = 73400320;
        b.HalfSize = {Fixed(2.0), Fixed(0.7), Fixed(0.9)};
        CarModel_UpdateCorners(&b);
    }
};

TEST_F(CarStepTest, EveryPassVisitsEveryCarFromTheListsLastEntryBeforeTheNextPass)
{
    CarModel_SetStepPassHook(RecordVisit);
    struct Case
    {
        const char* name;
        std::vector<int16_t> list;
        std::vector<int> order; // the cars in the order each pass visits them
        bool reported;
    } cases[] = {
        {"two", {0, 1}, {1, 0}, false},
        {"two out of order", {3, 1}, {1, 3}, false},
        {"eight", {0, 1, 2, 3, 4, 5, 6, 7}, {7, 6, 5, 4, 3, 2, 1, 0}, false},
        {"entries outside the cars", {2, 8, -1, 5}, {5, 2}, true},
        {"nine listed", {0, 1, 2, 3, 4, 5, 6, 7, 0}, {7, 6, 5, 4, 3, 2, 1, 0}, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        for (int nCar = 0; nCar < MAX_CARS; ++nCar)
        {
            StandCar(nCar);
            gaCarBody[nCar].DamageActive = 1;
            gaDamage[nCar] = DamageRecord{};
            gaDamage[nCar].xWaterFactor = ONE / 2;
            gaDamage[nCar].nDrying = 1;
        }
        gVisits.clear();
        output.clear();
        Step(c.list);
        std::vector<std::pair<int, int>> expected;
        for (int nPass = 1; nPass <= 9; ++nPass)
            for (int nCar : c.order)
                expected.emplace_back(nPass, nCar);
        EXPECT_EQ(gVisits, expected);
        EXPECT_EQ(CountReports(output) > 0, c.reported) << output;
        // The last pass hands each listed car to the damage model once: its water dries a step.
        for (int nCar = 0; nCar < MAX_CARS; ++nCar)
        {
            const bool listed = std::count(c.order.begin(), c.order.end(), nCar) != 0;
            EXPECT_EQ(gaDamage[nCar].xWaterFactor, ONE / 2 + (listed ? 32 : 0)) << nCar;
        }
    }
}

TEST_F(CarStepTest, TheEventTimerPlaysTheCrowdThenTakesTheCarOver)
{
    struct Case
    {
        int32_t rate;
        int16_t start;
        int state;
        int abductTick; // the tick that sees the timer at 10 seconds; 0: never
        int rescueTick;
    } cases[] = {
        {25, 300, 5, 51, 525},
        {50, 600, 5, 101, 1050},
        {25, 300, 7, 0, 525},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.rate);
        CarModel_ClearAll();
        StandCar(0);
        CarModel_SetStepRate(c.rate * ONE);
        GameHandler_SetStateForTests(c.state);
        CrowdNoise_ResetForTests();
        CarBody& b = gaCarBody[0];
        b.StartCountdown = c.start;
        int nAbductTick = 0;
        for (int nTick = 1; nTick <= c.rescueTick; ++nTick)
        {
            Step({0});
            if (nAbductTick == 0 && CrowdNoise_GetAbductCallsForTests() > 0)
                nAbductTick = nTick;
            if (nTick == c.start)
            {
                EXPECT_EQ(b.StartCountdown, -1); // 0 is never kept
            }
            if (nTick == c.rescueTick - 1)
            {
                EXPECT_EQ(b.NeedsRescue, 0);
                EXPECT_EQ(gaCarMechanics[0].RescuePenalty, 0);
            }
        }
        EXPECT_EQ(nAbductTick, c.abductTick);
        EXPECT_EQ(CrowdNoise_GetAbductCallsForTests(), c.abductTick != 0 ? 1 : 0);
        EXPECT_EQ(b.NeedsRescue, 1);
        EXPECT_EQ(gaCarMechanics[0].RescuePenalty, 1);
    }

    // An unarmed timer stays at 0.
    CarModel_ClearAll();
    StandCar(0);
    Step({0});
    EXPECT_EQ(gaCarBody[0].StartCountdown, 0);
    EXPECT_EQ(gaCarBody[0].NeedsRescue, 0);
}

TEST_F(CarStepTest, ALandingJoltsTheDeviceAndTheUprightCarsCamera)
{
    struct Case
    {
        const char* name;
        double rise; // vertical velocity now less before
        int upright;
        double strength; // of the camera's bounce; 0 with no jolt
    } cases[] = {
        {"a fall", -0.3, 1, 0.0},
        {"level", 0.0, 1, 0.0},
        {"a landing", 0.3, 1, 0.3 * 1.6667},
        {"a hard landing", 0.9, 1, 1.0},
        {"a landing on its side", 0.3, 0, 0.3 * 1.6667},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        StandCar(2);
        ForceFeedback_ResetForTests();
        gaCarCamBData[2] = 0;
        CarBody& b = gaCarBody[2];
        b.JoltRequest = 1;
        b.VelocityPrev = {0, Fixed(-0.5), 0};
        b.Velocity = {0, Fixed(-0.5 + c.rise), 0};
        gaCarMechanics[2].Upright = c.upright;
        Step({2});
        const bool boJolt = c.strength > 0;
        EXPECT_EQ(ForceFeedback_GetJoltCallsForTests(), boJolt ? 1 : 0);
        EXPECT_EQ(ForceFeedback_GetImpactCallsForTests(), boJolt ? 1 : 0);
        EXPECT_NEAR(Units(gaCarCamBData[2]), c.upright ? c.strength : 0.0, 1e-4);
        if (!boJolt)
            continue;
        const ForceFeedbackCall jolt = ForceFeedback_GetLastJoltForTests();
        EXPECT_EQ(jolt.nCar, 2);
        EXPECT_NEAR(Units(jolt.xStrength), 1.5 * c.strength, 1e-4);
        EXPECT_EQ(jolt.xLength, ONE / 2);
        const ForceFeedbackCall impact = ForceFeedback_GetLastImpactForTests();
        EXPECT_EQ(impact.Direction.x, -ONE);
        EXPECT_NEAR(Units(impact.xStrength), 3.0 * c.strength, 1e-4);
        EXPECT_EQ(impact.xLength, 2 * ONE);
        EXPECT_EQ(impact.nFlag, 1);
    }
}

TEST_F(CarStepTest, HousekeepingWobblesTakesTyreValuesAndEndsTheLaunch)
{
    CarModel_ClearAll();
    StandCar(0);
    StandCar(1);
    CarBody& b = gaCarBody[1];
    CarMechanics& m = gaCarMechanics[1];

    // The wobble runs with the option bit or on a car that takes no damage, each car's own: a
    // still car's phase moves 5 degrees (56 units) a tick.
    Step({1, 0});
    EXPECT_EQ(gaDamageWobble[0].nPhase, 0);
    EXPECT_EQ(gaDamageWobble[1].nPhase, 0);
    b.NoDamage = 1;
    Step({1, 0});
    EXPECT_EQ(gaDamageWobble[0].nPhase, 0);
    EXPECT_EQ(gaDamageWobble[1].nPhase, 56);
    b.NoDamage = 0;
    gaTestGameData[OPTION_WOBBLE_ALWAYS.nByte] = 1 << OPTION_WOBBLE_ALWAYS.nBit;
    Step({1, 0});
    EXPECT_EQ(gaDamageWobble[0].nPhase, 56);
    EXPECT_EQ(gaDamageWobble[1].nPhase, 112);
    gaTestGameData[OPTION_WOBBLE_ALWAYS.nByte] = 0;

    // The tyre table is neutral, and a tyre type outside it reads the neutral row.
    for (int32_t nTyre : {0, 7, -1, 8})
    {
        SCOPED_TRACE(nTyre);
        b.TyreType = nTyre;
        m.WheelSurface[0] = SURFACE_SEA;
        m.WheelSurface[3] = 119;
        m.GripScale[0] = m.TyreGripOffset[1] = m.TyreValue2[2] = 12345;
        Step({1});
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            EXPECT_EQ(m.TyreGripOffset[w], 0);
            EXPECT_EQ(m.TyreValue2[w], 0);
            EXPECT_EQ(m.GripScale[w], ONE);
        }
    }

    // The launch ends once the driven wheels run no more than 0.1 ahead of 4 x the speed.
    struct Launch
    {
        int32_t share;
        int drivenWheel;
        int32_t ahead; // of 4 x the speed of 1.0
        int left;      // launch ticks after one step from 5
    } launches[] = {
        {0, 2, 0, 0},        {0, 2, 0x1998, 0},     {0, 2, 0x1999, 4},
        {ONE, 0, 0x1999, 4}, {ONE / 2, 0, -ONE, 0}, {ONE / 4, 0, ONE, 4},
    };
    for (const Launch& l : launches)
    {
        SCOPED_TRACE(l.ahead);
        m.DriveShareFront = l.share;
        b.Speed = ONE;
        for (int w = 0; w < CAR_WHEELS; ++w)
            m.WheelSpeed[w] = w == l.drivenWheel ? 4 * ONE + l.ahead : 9 * ONE;
        m.LaunchTicks = 5;
        Step({1});
        EXPECT_EQ(m.LaunchTicks, l.left);
    }
}

TEST_F(CarStepTest, ControlsAreClearedOnlyBelowAStillSpeed)
{
    CarModel_ClearAll();
    StandCar(0);
    StandCar(4);
    CarMechanics& m = gaCarMechanics[4];
    for (int32_t xSpeed : {326, 327})
    {
        SCOPED_TRACE(xSpeed);
        gaCarBody[4].Speed = xSpeed;
        m.AccelControl = m.BrakeControl = 0xFFBE;
        CarControl_ResetForTests();
        CarControl_SetPassThroughForTests(true);
        Step({4, 0});
        EXPECT_EQ(m.AccelControl, xSpeed < 327 ? 0 : 0xFFBE);
        EXPECT_EQ(m.BrakeControl, xSpeed < 327 ? 0 : 0xFFBE);
        // Each car's controls, by list position, the last entry first.
        EXPECT_EQ(CarControl_GetUpdateCallsForTests(), 2);
        EXPECT_EQ(CarControl_GetLastListPositionForTests(), 0);
    }
}

TEST_F(CarStepTest, TheCarIsUprightWhileTheGroundsNormalLeansInsideItsCone)
{
    // The ground's normal seen from the car: at most tan 30 x |y| along the car's forward axis
    // and tan 60 x |y| across it, with y above 0.004.
    const int32_t y = ONE / 2;
    const int32_t x = FfMul(37837, y), z = FfMul(113511, y);
    struct Case
    {
        const char* name;
        DK_VECTOR normal;
        int upright;
    } cases[] = {
        {"level", {0, ONE, 0}, 1},
        {"y at 0.004", {0, 262, 0}, 0},
        {"y just above", {0, 263, 0}, 1},
        {"upside down", {0, -ONE, 0}, 0},
        {"forward at the edge", {x, y, 0}, 1},
        {"forward past it", {x + 1, y, 0}, 0},
        {"backward at the edge", {-x, y, 0}, 1},
        {"across at the edge", {0, y, z}, 1},
        {"across past it", {0, y, -z - 1}, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        StandCar(0);
        gaCarBody[0].GroundNormal = c.normal;
        Step({0});
        EXPECT_EQ(gaCarMechanics[0].Upright, c.upright);
    }

    // The normal is taken into the car's frame: a car facing -z sees a lean along world x
    // across it.
    CarModel_ClearAll();
    StandCar(0);
    CarBody& b = gaCarBody[0];
    b.OrientRow0 = {0, 0, -ONE};
    b.OrientRow2 = {ONE, 0, 0};
    CarModel_WriteMatrix(&b);
    b.GroundNormal = VecNormalised({ONE, ONE, 0}); // 45 degrees
    Step({0});
    EXPECT_EQ(gaCarMechanics[0].Upright, 1);
    b.GroundNormal = VecNormalised({0, ONE, ONE});
    Step({0});
    EXPECT_EQ(gaCarMechanics[0].Upright, 0);
}

TEST_F(CarStepTest, TheGroundsNormalIsFittedUnderTheFaceNearestTheGround)
{
    // On the data kit's tilted plane the fit is the plane's normal.
    StandOn("tilted-plane");
    ASSERT_TRUE(SetUpCar(0, 3, 2.0, 0.125 * 2.0 + 0.0625 * 80.0, 80.0, 300)) << last;
    CarBody& b = gaCarBody[0];
    CarModel_UpdateBodyContacts(&b, &gaCarMechanics[0]);
    b.GroundNormal = {0, 0, 0};
    gpCurrentCarBody = &b;
    CarModel_GroundNormal();
    const double len = std::sqrt(0.125 * 0.125 + 1.0 + 0.0625 * 0.0625);
    EXPECT_NEAR(b.GroundNormal.x, Fixed(-0.125 / len), 8);
    EXPECT_NEAR(b.GroundNormal.y, Fixed(1.0 / len), 8);
    EXPECT_NEAR(b.GroundNormal.z, Fixed(-0.0625 / len), 8);

    // The face is named by the row with the largest height; ties go to the up row, then to the
    // forward row. Only that face's points lie on the plane y = 0.5 x - 0.25 z.
    const double s = std::sqrt(0.5);
    struct Case
    {
        const char* name;
        DK_VECTOR forward, up, side;
        int face[4];
    } cases[] = {
        {"on its wheels", {ONE, 0, 0}, {0, ONE, 0}, {0, 0, ONE}, {0, 1, 2, 3}},
        {"on its nose", {0, -ONE, 0}, {ONE, 0, 0}, {0, 0, ONE}, {0, 1, 4, 5}},
        {"on its side", {ONE, 0, 0}, {0, 0, ONE}, {0, ONE, 0}, {0, 2, 4, 6}},
        {"up ties forward", {0, Fixed(s), 0}, {0, Fixed(-s), 0}, {0, 0, 0}, {0, 1, 2, 3}},
        {"forward ties side", {0, Fixed(s), 0}, {0, 0, 0}, {0, Fixed(-s), 0}, {0, 1, 4, 5}},
        {"all tie", {0, ONE / 2, 0}, {0, ONE / 2, 0}, {0, -ONE / 2, 0}, {0, 1, 2, 3}},
    };
    const double corners[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        b.OrientRow0 = c.forward;
        b.UpAxis = c.up;
        b.OrientRow2 = c.side;
        for (int i = 0; i < CAR_POINTS; ++i)
        {
            b.ContactPoint[i] = {Fixed(0.3 * i), 0, Fixed(-0.2 * i)};
            b.PointGroundHeight[i] = Fixed(5.0 + i); // off the plane
        }
        for (int k = 0; k < 4; ++k)
        {
            const double px = 3.0 * corners[k][0], pz = 2.0 * corners[k][1];
            b.ContactPoint[c.face[k]] = {Fixed(px), Fixed(9.0), Fixed(pz)};
            b.PointGroundHeight[c.face[k]] = Fixed(0.5 * px - 0.25 * pz);
        }
        CarModel_GroundNormal();
        const double n = std::sqrt(0.25 + 1.0 + 0.0625);
        EXPECT_NEAR(b.GroundNormal.x, Fixed(-0.5 / n), 8);
        EXPECT_NEAR(b.GroundNormal.y, Fixed(1.0 / n), 8);
        EXPECT_NEAR(b.GroundNormal.z, Fixed(0.25 / n), 8);
    }
}

TEST_F(CarStepTest, SlopeGripFallsFromFullOnFlatGroundToNoneAtASteepSlope)
{
    CarBody& b = gaCarBody[0];
    gpCurrentCarBody = &b;
    struct Case
    {
        int32_t y;
        double grip;
    } cases[] = {
        {ONE, 0.9},          {61603, 0.9},      {61602, 0.9 * (61602 / 65536.0 - 0.7) / 0.24},
        {Fixed(0.82), 0.45}, {Fixed(0.7), 0.0}, {Fixed(0.6), 0.0},
        {-ONE, 0.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.y);
        b.GroundNormal = {0, c.y, 0};
        gxSlopeGrip = -1;
        CarModel_SlopeGripFactor();
        EXPECT_NEAR(Units(gxSlopeGrip), c.grip, 3e-4);
    }
    b.GroundNormal.y = 61603;
    CarModel_SlopeGripFactor();
    EXPECT_EQ(gxSlopeGrip, 58982);
}

TEST_F(CarStepTest, TheLoadIsSharedOverTheTouchingPoints)
{
    CarBody& b = gaCarBody[0];
    CarMechanics& m = gaCarMechanics[0];
    gpCurrentCarBody = &b;
    gpCurrentCarMechanics = &m;
    b.Weight = Fixed(1120.0);
    b.GroundNormal = {0, ONE, 0};
    for (int i = 0; i < CAR_POINTS; ++i)
        b.PointNormal[i] = {0, ONE, 0};
    m.WheelSurface[0] = SURFACE_DRY_TARMAC;
    m.WheelSurface[1] = SURFACE_DRY_GRASS1;
    m.WheelSurface[2] = SURFACE_ICE;
    m.WheelSurface[3] = 200; // outside the table: an unnamed surface's row
    m.WheelSurface[4] = SURFACE_DRY_GRASS1;

    struct Case
    {
        const char* name;
        int touching[8]; // 1: the point is on the ground
        int upright;
        double damping;
    } cases[] = {
        {"four wheels", {1, 1, 1, 1, 0, 0, 0, 0}, 1, 280.0},
        {"three points", {1, 0, 0, 0, 1, 0, 0, 1}, 1, 1120.0 / 3},
        {"two corners on its side", {0, 0, 0, 0, 1, 1, 0, 0}, 0, 560.0},
        {"nothing", {0, 0, 0, 0, 0, 0, 0, 0}, 1, 0.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        int n = 0;
        for (int i = 0; i < CAR_POINTS; ++i)
        {
            b.PointOffGround[i] = c.touching[i] ? 0 : 1;
            n += c.touching[i];
            b.PointGroundForce[i] = {0, 0, 0};
            b.PointLoad[i] = Fixed(250.0);
            m.PointPeakLimit[i] = m.PointSlideLimit[i] = 77;
        }
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            b.WheelOnGround[w] = 0;
            m.PeakGrip[w] = m.SlideGrip[w] = 77;
        }
        b.PointsTouching = static_cast<int8_t>(n);
        b.WheelsOnGround = 0;
        m.Upright = c.upright;
        b.GravityForce = {0, Fixed(-336.0), 0};
        CarModel_DistributeLoad();

        EXPECT_NEAR(Units(b.SlideDamping), c.damping, 1e-4);
        const double w = (c.damping + 30.0) * 0.5;
        const double first[8] = {0.24, 0.15, 0.20, 0.24, 0.15, 0.24, 0.24, 0.24};
        for (int i = 0; i < CAR_POINTS; ++i)
        {
            SCOPED_TRACE(i);
            // Four touching points carry the car by their springs alone.
            const double lift = c.touching[i] && n != 4 ? w : 0.0;
            EXPECT_NEAR(Units(b.PointGroundForce[i].y), lift, 1e-3);
            if (!c.touching[i])
            {
                EXPECT_EQ(m.PointPeakLimit[i], 0);
                if (i < CAR_WHEELS)
                {
                    EXPECT_EQ(m.PeakGrip[i], 0);
                }
            }
            else if (i < CAR_WHEELS && c.upright)
            {
                EXPECT_NEAR(Units(m.PeakGrip[i]), (250.0 + 30.0) * 0.5 * first[i], 5e-3);
                EXPECT_NEAR(Units(m.SlideGrip[i]), (250.0 + 30.0) * 0.5 * (first[i] - 0.04), 5e-3);
                EXPECT_EQ(m.PointPeakLimit[i], 77); // a driving wheel's point limits stay
            }
            else
                EXPECT_NEAR(Units(m.PointPeakLimit[i]), w * first[i], 5e-3);
        }
        // Level ground: nothing of gravity lies along it.
        EXPECT_EQ(b.GravityForce.y, n > 0 ? 0 : Fixed(-336.0));
    }

    // On a slope the touching car keeps the part of gravity along the ground its grip lets go.
    b.GroundNormal = VecNormalised({0, ONE, ONE}); // 45 degrees: no slope grip
    b.GravityForce = {0, Fixed(-100.0), 0};
    gxSlopeGrip = 0;
    b.PointsTouching = 1;
    CarModel_DistributeLoad();
    EXPECT_NEAR(Units(b.GravityForce.y), -50.0, 0.05);
    EXPECT_NEAR(Units(b.GravityForce.z), 50.0, 0.05);
    EXPECT_EQ(TickGravity.x | TickGravity.y | TickGravity.z, 0);
}

TEST_F(CarStepTest, CornersMoveWithTheCarAndItsSpinInTheCarsAxes)
{
    CarBody& b = gaCarBody[0];
    gpCurrentCarBody = &b;
    b.HalfSize = {Fixed(2.0), Fixed(0.5), Fixed(1.0)};
    // Facing -z: forward (0, 0, -1), up (0, 1, 0), side (1, 0, 0).
    DkIdentityMatrix(&b.Matrix);
    const DK_VECTOR forward = {0, 0, -ONE}, side = {ONE, 0, 0};
    FfMatSetRow0(&forward, &b.Matrix);
    FfMatSetRow2(&side, &b.Matrix);
    b.Velocity = {Fixed(0.5), 0, Fixed(-1.0)};

    // Spin about the car's up axis: the front corners swing towards the car's side as w x r.
    b.AngularVelocity = {0, Fixed(0.1), 0};
    CarModel_CornerVelocities();
    // Corner 0 lies at forward x 2 - up x 0.5 + side x 1 = (1, -0.5, -2).
    EXPECT_NEAR(Units(b.PointVelocity[0].x), 0.5 + 0.1 * -2.0, 1e-4);
    EXPECT_NEAR(Units(b.PointVelocity[0].y), 0.0, 1e-4);
    EXPECT_NEAR(Units(b.PointVelocity[0].z), -1.0 - 0.1 * 1.0, 1e-4);
    // Corner 7, opposite: (-1, 0.5, 2).
    EXPECT_NEAR(Units(b.PointVelocity[7].x), 0.5 + 0.1 * 2.0, 1e-4);
    EXPECT_NEAR(Units(b.PointVelocity[7].z), -1.0 + 0.1 * 1.0, 1e-4);

    // Roll about the car's forward axis (world -z) lifts one side.
    b.AngularVelocity = {Fixed(0.1), 0, 0};
    CarModel_CornerVelocities();
    // w = (0, 0, -0.1); corner 0 at (1, -0.5, -2): w x r = (-0.05, -0.1, 0).
    EXPECT_NEAR(Units(b.PointVelocity[0].x), 0.5 - 0.05, 1e-4);
    EXPECT_NEAR(Units(b.PointVelocity[0].y), -0.1, 1e-4);
    EXPECT_NEAR(Units(b.PointVelocity[0].z), -1.0, 1e-4);
}

TEST_F(CarStepTest, TheRearHeadingLagsAndTheFrontWheelsTurnByTheSteering)
{
    CarModel_ClearAll();
    StandCar(0);
    CarBody& b = gaCarBody[0];
    CarMechanics& m = gaCarMechanics[0];
    struct Case
    {
        const char* name;
        double throttle;
        DK_VECTOR rear; // before the step
        bool caughtUp;
    } cases[] = {
        {"along the body", 0.0, {ONE, 0, 0}, true},
        {"off by a right angle, coasting", 0.0, {0, 0, ONE}, false},
        {"off by a right angle, on the throttle", 1.0, {0, 0, ONE}, true},
        {"tilted up out of the ground", 0.0, {ONE, ONE, 0}, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        m.Throttle = Fixed(c.throttle);
        m.SteerAngle = 0;
        b.RearWheelForward = c.rear;
        Step({0});
        if (c.caughtUp)
        {
            EXPECT_NEAR(b.RearWheelForward.x, ONE, 4);
            EXPECT_NEAR(b.RearWheelForward.z, 0, 4);
        }
        else
        {
            // 1.414 x 1.2 x 0.2 of the way, then normalised.
            const double r = std::sqrt(2.0) * 1.2 * 0.2;
            const double len = std::sqrt(r * r + (1 - r) * (1 - r));
            EXPECT_NEAR(Units(b.RearWheelForward.x), r / len, 2e-3);
            EXPECT_NEAR(Units(b.RearWheelForward.z), (1 - r) / len, 2e-3);
        }
        EXPECT_EQ(b.FrontWheelForward.x, b.RearWheelForward.x);
    }

    // The front wheels: the rear heading turned by the steering and the damage's offset.
    b.RearWheelForward = b.OrientRow0;
    m.SteerAngle = 200;
    gaDamage[0].SteeringOffset = 56; // 256 in all: 22.5 degrees
    Step({0});
    EXPECT_NEAR(Units(b.FrontWheelForward.x), std::cos(M_PI / 8), 1e-3);
    EXPECT_NEAR(Units(std::abs(b.FrontWheelForward.z)), std::sin(M_PI / 8), 1e-3);
    EXPECT_EQ(b.FrontWheelForward.y, 0);
    const DK_VECTOR side = VecCross(b.FrontWheelForward, b.UpAxis);
    EXPECT_EQ(b.FrontWheelSide.x, side.x);
    EXPECT_EQ(b.FrontWheelSide.z, side.z);
}

} // namespace
