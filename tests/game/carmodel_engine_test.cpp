// The engine and drive train: the torque's split over the wheels, the engine at its limit, the
// rev limiter and the clip of negative revs, the engine's start, the axle equaliser, and the
// wheel speeds as shown: the gear ratio applied, the run back to the wheel, the snap to 0, the
// gear's top spin and the limiter's bounce.
#include <cmath>

#include <gtest/gtest.h>

#include "tests/game/car_fixture.h"

namespace
{

constexpr int32_t kMaxRevs = 625410; // 9.543

class CarEngineTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        b = &gaCarBody[0];
        m = &gaCarMechanics[0];
        gpCurrentCarBody = b;
        gpCurrentCarMechanics = m;
        const int32_t ratios[CAR_GEARS] = {0, 205783, 145489, 110100, 89784, 76021, 65536, -205783};
        for (int g = 0; g < CAR_GEARS; ++g)
        {
            m->GearRatio[g] = ratios[g];
            m->InverseGearRatio[g] = g == 0 ? 0 : FfDiv(ONE, ratios[g]);
            m->RevBandHigh[g] = 64225;
        }
        m->MaxRevs = kMaxRevs;
        m->InverseMaxRevs = FfDiv(ONE, kMaxRevs);
        m->EngineFriction = 131;
        for (int32_t& xScale : m->GripScale)
            xScale = ONE;
    }

    CarBody* b = nullptr;
    CarMechanics* m = nullptr;
};

TEST_F(CarEngineTest, TheDriveIsSplitOverTheAxlesByTheFrontShare)
{
    // 0.8 of throttle at no revs in first gear: d = 0.8 x 3.14.
    const int32_t d = FfMul(Fixed(0.8), 205783);
    struct Case
    {
        const char* name;
        int gear;
        int32_t clutch;
        int32_t share;
        double front, rear; // fractions of d
    } cases[] = {
        {"rear drive", 1, 0, 0, 0.0, 0.5},    {"front drive", 1, 0, ONE, 0.5, 0.0},
        {"even", 1, 0, ONE / 2, 0.25, 0.25},  {"a quarter forward", 1, 0, ONE / 4, 0.125, 0.375},
        {"neutral", 0, 0, ONE / 4, 0.0, 0.0}, {"clutch out", 1, 1, ONE / 4, 0.0, 0.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        m->Gear = static_cast<int8_t>(c.gear);
        m->ClutchOut = c.clutch;
        m->DriveShareFront = c.share;
        m->Throttle = Fixed(0.8);
        m->EngineRevs = 0;
        for (int32_t& xSpeed : m->WheelSpeed)
            xSpeed = 0; // no coasting brake on a still wheel
        CarModel_DriveTorque();
        EXPECT_NEAR(b->WheelTorque[0], c.front * d, 1.0);
        EXPECT_EQ(b->WheelTorque[1], b->WheelTorque[0]);
        EXPECT_NEAR(b->WheelTorque[2], c.rear * d, 1.0);
        EXPECT_EQ(b->WheelTorque[3], b->WheelTorque[2]);
        if (c.gear != 0 && c.clutch == 0)
        {
            EXPECT_EQ(b->WheelTorque[0] + b->WheelTorque[2], d / 2);
        }
    }

    // The halvings truncate towards zero: d = -7 raw in a reverse of -1.0.
    m->GearRatio[7] = -ONE;
    m->Gear = 7;
    m->ClutchOut = 0;
    m->Throttle = 7;
    struct Raw
    {
        int32_t share;
        int32_t front, rear;
    } raws[] = {{ONE, -3, 0}, {ONE / 2, -2, -1}, {0, 0, -3}};
    for (const Raw& r : raws)
    {
        SCOPED_TRACE(r.share);
        m->DriveShareFront = r.share;
        for (int32_t& xSpeed : m->WheelSpeed)
            xSpeed = 0;
        CarModel_DriveTorque();
        EXPECT_EQ(b->WheelTorque[0], r.front);
        EXPECT_EQ(b->WheelTorque[2], r.rear);
    }
}

TEST_F(CarEngineTest, TheEnginesTorqueFromThrottleRevsAndTheLimit)
{
    const double drag = 131.0 / 65536.0;
    struct Case
    {
        const char* name;
        int gear;
        int32_t clutch;
        double revs;
        int32_t accel;
        int32_t limiter;
        double torque;
        double revsAfter;
    } cases[] = {
        {"free", 0, 0, 5.0, 0, 0, 0.5 * 0.6 - drag * 25.0, 5.0},
        {"in gear", 2, 0, 5.0, 0, 0, 0.5 * 0.6 - drag * 25.0, 5.0},
        // With the clutch out the engine flares by its friction's measure.
        {"changing gear", 2, 1, 5.0, 0, 0, drag * 25.0, 5.0},
        // At the limit in neutral the revs are pinned; a closed throttle brakes them.
        {"neutral at the limit, released", 0, 0, 10.0, 0, 0, -drag * 100.0, 9.543},
        {"neutral at the limit, pressed", 0, 0, 10.0, ONE, 0, 0.0, 9.543},
        {"in gear at the limit", 2, 0, 10.0, 0, 0, 0.0, 10.0},
        {"limiter", 2, 0, 5.0, 0, 1, -0.2, 5.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        m->Gear = static_cast<int8_t>(c.gear);
        m->ClutchOut = c.clutch;
        m->EngineRevs = Fixed(c.revs);
        m->AccelControl = c.accel;
        m->Throttle = Fixed(0.5);
        gaDamage[0].DamageEngine = Fixed(0.6);
        m->RevLimiterOn = c.limiter;
        m->RevLimiterCut = Fixed(0.2);
        CarModel_DriveTorque();
        EXPECT_NEAR(Units(b->EngineTorque), c.torque, 1e-3);
        EXPECT_NEAR(Units(m->EngineRevs), c.revsAfter, 1e-4);
    }
}

TEST_F(CarEngineTest, RevsPastTheLimitAreClippedAndSwitchTheLimiterOnFrom0_8)
{
    struct Case
    {
        const char* name;
        int32_t revs;
        int32_t on;
        int32_t cut;
        int32_t after;
    } cases[] = {
        {"inside", kMaxRevs - 1, 0, 99, kMaxRevs - 1},
        {"at the limit", kMaxRevs, 0, 99, kMaxRevs},
        {"over by 0xCCCC", kMaxRevs + 0xCCCC, 0, 99, kMaxRevs},
        {"over by 0xCCCD", kMaxRevs + 0xCCCD, 1, 0, kMaxRevs},
        {"over by 1.3", kMaxRevs + 0xCCCC + ONE / 2, 1, FfMul(ONE / 2, 0x51EB), kMaxRevs},
        {"over by 5.0", kMaxRevs + 5 * ONE, 1, 0x51EB, kMaxRevs},
        {"negative", -ONE, 0, 99, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        // Free and idle: the revs move by nothing of their own.
        m->Gear = 0;
        b->EngineTorque = 0;
        m->EngineRevs = c.revs;
        m->RevLimiterOn = 1;
        m->RevLimiterCut = 99;
        CarModel_UpdateEngineRevs();
        EXPECT_EQ(m->RevLimiterOn, c.on);
        EXPECT_EQ(m->RevLimiterCut, c.cut);
        EXPECT_EQ(m->EngineRevs, c.after);
    }

    // Free revs follow the torque ten to one; coupled ones take the wheels through the gear.
    m->Gear = 0;
    m->EngineRevs = Fixed(3.0);
    b->EngineTorque = Fixed(0.05);
    CarModel_UpdateEngineRevs();
    EXPECT_NEAR(Units(m->EngineRevs), 3.5, 1e-4);
    m->Gear = 2;
    m->ClutchOut = 0;
    m->DriveShareFront = ONE / 4;
    m->WheelSpeed[0] = m->WheelSpeed[1] = ONE;
    m->WheelSpeed[2] = m->WheelSpeed[3] = 2 * ONE;
    CarModel_UpdateEngineRevs();
    EXPECT_NEAR(Units(m->EngineRevs), 2.0 * 2.22 + (2.22 - 4.44) * 0.25, 1e-3);
}

TEST_F(CarEngineTest, TheEngineWaitsThenSweepsItsRevsWithTheThrottleOpen)
{
    for (int16_t nWait : {13, 23})
    {
        SCOPED_TRACE(nWait);
        m->Gear = 0;
        b->EngineStarting = 1;
        b->EngineStartTicks = nWait;
        b->EngineTorque = Fixed(0.05);
        m->EngineRevs = Fixed(1.0);
        for (int nTick = 0; nTick < nWait; ++nTick)
        {
            m->Throttle = 0;
            CarModel_UpdateEngineRevs();
            EXPECT_EQ(m->EngineRevs, Fixed(1.0)) << nTick;
            EXPECT_EQ(m->Throttle, 0);
        }
        EXPECT_EQ(b->EngineStarting, 0);
        int nOpen = 0;
        int32_t xPeak = 0;
        for (int nTick = 0; nTick < 25; ++nTick)
        {
            m->Throttle = 0;
            CarModel_UpdateEngineRevs();
            if (nTick == 0)
            {
                EXPECT_EQ(m->EngineRevs, 0);
            }
            if (m->Throttle == ONE)
            {
                EXPECT_EQ(nOpen, nTick); // the first ticks of the sweep
                ++nOpen;
            }
            xPeak = m->EngineRevs > xPeak ? m->EngineRevs : xPeak;
        }
        EXPECT_EQ(nOpen, 17);
        EXPECT_NEAR(Units(xPeak), Units(kMaxRevs), 0.01);
        EXPECT_EQ(b->EngineStartTicks, 0);
        // Then normal running.
        const int32_t xBefore = m->EngineRevs;
        CarModel_UpdateEngineRevs();
        EXPECT_NEAR(Units(m->EngineRevs), Units(xBefore) + 0.5, 1e-4);
    }
}

TEST_F(CarEngineTest, AnAxlesWheelsAreAveragedOnlyWhenMoreThan0_1Apart)
{
    struct Case
    {
        int32_t a, b;
        bool averaged;
        int32_t mean;
    } cases[] = {
        {ONE, ONE + 0x1999, false, 0},   {ONE, ONE + 0x199A, true, ONE + 0xCCD},
        {-ONE, -ONE - 0x1999, false, 0}, {-0x1999, 0, false, 0},
        {-0x199A, 0, true, -0xCCD},      {2 * ONE, -2 * ONE, true, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.b);
        for (int pair = 0; pair < CAR_WHEELS; pair += 2)
        {
            m->WheelSpeed[pair] = c.a;
            m->WheelSpeed[pair + 1] = c.b;
        }
        CarModel_EqualiseAxles();
        for (int pair = 0; pair < CAR_WHEELS; pair += 2)
        {
            EXPECT_EQ(m->WheelSpeed[pair], c.averaged ? c.mean : c.a);
            EXPECT_EQ(m->WheelSpeed[pair + 1], c.averaged ? c.mean : c.b);
        }
    }
}

TEST_F(CarEngineTest, AGearChangeMatchesTheDrivenWheelsToTheEngine)
{
    struct Case
    {
        int32_t share;
        bool front, rear;
    } cases[] = {
        {0, false, true}, {ONE, true, false}, {ONE / 2, true, true}, {ONE / 4, true, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.share);
        m->DriveShareFront = c.share;
        m->Gear = 2;
        m->EngineRevs = Fixed(6.0);
        for (int w = 0; w < CAR_WHEELS; ++w)
            m->WheelSpeed[w] = m->WheelSpinSpeed[w] = Fixed(0.5);
        m->LaunchTicks = 0;
        CarModel_ApplyGearRatio(m);
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            const bool boDriven = w < 2 ? c.front : c.rear;
            const double expected = boDriven ? 6.0 / 2.22 : 0.5;
            EXPECT_NEAR(Units(m->WheelSpeed[w]), expected, 1e-3) << w;
            EXPECT_EQ(m->WheelSpinSpeed[w], m->WheelSpeed[w]) << w;
        }
        EXPECT_EQ(m->LaunchTicks, 10);
    }
}

TEST_F(CarEngineTest, ShownWheelSpeedsRunBackSnapToZeroAndStayWithinTheGear)
{
    m->Gear = 1;
    m->DriveShareFront = ONE;
    m->BrakeBalance = ONE / 2;
    m->EngineRevs = Fixed(2.0);

    // A wheel left alone runs back to its own speed by at most 1.0 a tick; below 0.03 it is 0.
    const int32_t xSpeeds[CAR_WHEELS] = {Fixed(2.5), Fixed(-1.5), 1966, 1965};
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        m->WheelSpeed[w] = xSpeeds[w];
        m->WheelSpinSpeed[w] = 0;
    }
    const double steps[3][2] = {{1.0, -1.0}, {2.0, -1.5}, {2.5, -1.5}};
    for (const auto& step : steps)
    {
        CarModel_UpdateWheelSpeeds();
        EXPECT_NEAR(Units(m->WheelSpinSpeed[0]), step[0], 1e-4);
        EXPECT_NEAR(Units(m->WheelSpinSpeed[1]), step[1], 1e-4);
        EXPECT_EQ(m->WheelSpinSpeed[2], 1966);
        EXPECT_EQ(m->WheelSpinSpeed[3], 0);
    }

    // A driven wheel on the throttle spins no faster than the gear's band allows at these revs,
    // and no slower than it rolls; the undriven rear wheels only run back.
    m->AccelHeld = 1;
    m->EngineRevs = FfMul(64225, kMaxRevs); // the top of first gear's band
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        m->WheelSpeed[w] = Fixed(1.0);
        m->WheelSpinSpeed[w] = 0;
        m->WheelTorqueOut[w] = 1000 * ONE;
    }
    CarModel_UpdateWheelSpeeds();
    const double top = 0.98 * 9.543 / 3.14;
    EXPECT_NEAR(Units(m->WheelSpinSpeed[0]), top, 1e-3);
    EXPECT_NEAR(Units(m->WheelSpinSpeed[2]), 1.0, 1e-4);
    m->WheelTorqueOut[0] = m->WheelTorqueOut[1] = 1;
    m->WheelSpinSpeed[0] = m->WheelSpinSpeed[1] = 0;
    CarModel_UpdateWheelSpeeds();
    EXPECT_EQ(m->WheelSpinSpeed[0], Fixed(1.0));

    // In neutral nothing is shown turning and the engine aims at its own revs.
    m->Gear = 0;
    m->EngineRevs = Fixed(3.0);
    CarModel_UpdateWheelSpeeds();
    for (int32_t xSpin : m->WheelSpinSpeed)
        EXPECT_EQ(xSpin, 0);
    EXPECT_EQ(m->EngineTarget, Fixed(3.0));
}

TEST_F(CarEngineTest, TheLimiterBouncesTheRevsDown0_2ACountFrom3)
{
    m->Gear = 0;
    struct Tick
    {
        double revs;
        int count;
    } ticks[] = {{9.543, 3}, {9.543 - 0.6, 2}, {9.543 - 0.4, 1}, {9.543 - 0.2, 0}, {9.543, 3}};
    for (const Tick& t : ticks)
    {
        // An engine held at its limit.
        m->EngineRevs = kMaxRevs + 1;
        CarModel_UpdateWheelSpeeds();
        EXPECT_NEAR(Units(m->EngineRevs), t.revs, 1e-4);
        EXPECT_EQ(m->EngineTarget, m->EngineRevs);
        EXPECT_EQ(b->LeanAngle, t.count);
    }
    // Below the limit less 0.01 nothing bounces.
    b->LeanAngle = 0;
    m->EngineRevs = kMaxRevs - 656;
    CarModel_UpdateWheelSpeeds();
    EXPECT_EQ(m->EngineRevs, kMaxRevs - 656);
    EXPECT_EQ(b->LeanAngle, 0);
}

} // namespace
