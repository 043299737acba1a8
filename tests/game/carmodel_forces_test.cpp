// The body forces: the tip on a steep slope and its wall reset, a car coming to rest unturned,
// the steering's side force and its reversal, the roll started by a large torque, and the timed
// jump's timeline at both tick rates.
#include <cmath>

#include <gtest/gtest.h>

#include "game/effects/prangsnd.h"
#include "game/race/gamedata.h"
#include "game/vehicle/carmodel_internal.h"
#include "tests/game/car_fixture.h"

namespace
{

class CarForcesTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        PrangSnd_ResetForTests();
        CarModel_SetStepRate(25 * ONE);
        StandOn("flat-tarmac");
        ASSERT_TRUE(SetUpCar(0, 0)) << last;
        b = &gaCarBody[0];
        m = &gaCarMechanics[0];
        Current();
    }

    void Current()
    {
        gpCurrentCarBody = b;
        gpCurrentCarMechanics = m;
    }

    // The slope's angle (4096 a turn) of a ground normal leaning over the car's side.
    static DK_VECTOR NormalOfSlope(int nAngle)
    {
        // The height whose arcsine leaves the angle, found as the body forces measure it.
        int32_t y = ONE;
        while (y > 0 && DK_QUARTER_TURN - FfAsin(y) < nAngle)
            --y;
        const int32_t z = FfSqrt(FfSub(ONE, FfMul(y, y)));
        return {0, y, z};
    }

    CarBody* b = nullptr;
    CarMechanics* m = nullptr;
};

TEST_F(CarForcesTest, ASlopeOf30DegreesTipsTheCarHarderEachTickForUpTo200Ticks)
{
    struct Case
    {
        const char* name;
        int slope;
        bool tips;
    } cases[] = {{"below 342", 341, false}, {"at 342", 342, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        b->WheelsOnGround = 4;
        b->Rolling = 0;
        b->SlopeTipCounter = 0;
        b->WallHit = 0;
        b->GroundNormal = NormalOfSlope(c.slope);
        b->GravityForce = {0, -ONE, 0};
        ASSERT_EQ(DK_QUARTER_TURN - FfAsin(b->GroundNormal.y), c.slope);
        int32_t xTorqueBefore = 0;
        for (int nTick = 1; nTick <= 210; ++nTick)
        {
            b->ExtTorque = {};
            CarModel_RollOver();
            ASSERT_EQ(b->SlopeTipCounter, c.tips ? std::min(nTick, 200) : 0) << nTick;
            const int32_t xTorque = FfAbs(b->ExtTorque.x);
            if (c.tips && nTick > 1 && nTick <= 201)
            {
                ASSERT_GT(xTorque, xTorqueBefore) << "harder each tick " << nTick;
            }
            xTorqueBefore = xTorque;
        }
        EXPECT_EQ(b->Rolling, c.tips ? 1 : 0);
        // A wall holds the car.
        b->WallHit = 1;
        CarModel_RollOver();
        EXPECT_EQ(b->SlopeTipCounter, 0);
    }
}

TEST_F(CarForcesTest, ACarNotTurningAndSlowerThan0_04IsAtRestAndUnturned)
{
    struct Case
    {
        const char* name;
        int32_t speed;
        int32_t yaw; // the spin about the up axis
        int32_t accel;
        int atRest;
        bool turned;
    } cases[] = {
        {"still", 0, 0, 0, 1, false},
        {"below 0.04", 2600, 0, 0, 1, false},
        {"above 0.04", 2700, 0, 0, 0, false},
        {"a small yaw, no pedal", 0, 9 * 100, 0, 1, false},
        {"a small yaw on the throttle", 0, 9 * 100, ONE, 0, true},
        {"a yaw of 10 units", 0, 10 * 101, 0, 0, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        ASSERT_TRUE(SetUpCar(0, 0)) << last;
        Current();
        const DK_VECTOR row0 = b->OrientRow0;
        b->Velocity = VecScaled(row0, c.speed);
        b->Speed = c.speed;
        b->AngularVelocity = {0, c.yaw, 0};
        m->AccelControl = c.accel;
        m->Upright = 1;
        CarModel_IntegrateBody();
        EXPECT_EQ(b->AtRest, c.atRest);
        EXPECT_EQ(b->OrientRow0.x != row0.x || b->OrientRow0.z != row0.z, c.turned);
    }
}

TEST_F(CarForcesTest, TheSteeringsSideForcePushesTheFrontAcrossAndTheOptionTurnsItRound)
{
    struct Case
    {
        const char* name;
        bool reversed;
        int handbrake;
        double force; // along the side row, per unit of speed and steering
    } cases[] = {
        {"normal", false, 0, 30.0},
        {"option byte 37 bit 4", true, 0, -30.0},
        {"handbrake", false, 1, 90.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        gaTestGameData[37] = c.reversed ? 0x10 : 0;
        for (DK_VECTOR& f : b->PointForce)
            f = {};
        b->WheelsOnGround = 4;
        m->Upright = 1;
        m->SteerAngle = 0;
        m->SteerControl = ONE / 2;
        m->HandbrakeOn = c.handbrake;
        b->Velocity = VecScaled(b->OrientRow0, ONE);
        b->Speed = ONE;
        const DK_VECTOR side = b->OrientRow2;
        CarModel_SteerAndSlide();
        for (int i = 0; i < 2; ++i)
            EXPECT_NEAR(Units(FfVecDot(&b->PointForce[i], &side)), c.force * 0.5, 0.01) << i;
        for (int i = 2; i < CAR_POINTS; ++i)
            EXPECT_EQ(FfVecLength(&b->PointForce[i]), 0) << i;
    }
}

TEST_F(CarForcesTest, ATorqueBeyond3000AboutTheLongOrTheSideAxisStartsTheRoll)
{
    // The torque is taken times the weight (1,120.0): raw 175,542 makes just under 3,000.0.
    struct Case
    {
        const char* name;
        DK_VECTOR torque;
        int rolls;
    } cases[] = {
        {"x just under", {175542, 0, 0}, 0},           {"x just over", {175543, 0, 0}, 1},
        {"z just over, negative", {0, 0, -175543}, 1}, {"x and z together", {87772, 0, -87772}, 1},
        {"about the up axis", {0, 999999, 0}, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        b->Rolling = b->RollStarted = 0;
        b->AxisDotGround[1] = 0;
        b->ExtTorque = c.torque;
        b->WheelsOnGround = 0;
        b->PointsTouching = 0;
        const int32_t xUpDot = FfVecDot(&b->UpAxis, &b->GroundNormal);
        CarModel_IntegrateBody();
        EXPECT_EQ(b->Rolling, c.rolls);
        EXPECT_EQ(b->RollStarted, c.rolls);
        // Taken as the roll starts, before the tick's turn.
        EXPECT_EQ(b->AxisDotGround[1], c.rolls ? xUpDot : 0);
    }
}

TEST_F(CarForcesTest, TheJumpLasts4SecondsPushesFor0_4AndPitchesFor0_2)
{
    struct Case
    {
        int rate;
        int ticks, pushing, pitching, pitch;
    } cases[] = {
        {25, 100, 10, 5, 79},
        {50, 200, 20, 10, 39},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.rate);
        CarModel_SetStepRate(c.rate * ONE);
        PrangSnd_ResetForTests();
        ForceFeedback_ResetForTests();
        b->JumpTicks = 0;
        b->WheelsOnGround = 4;
        m->Upright = 1;
        m->Gear = 1;
        m->JumpControl = 1;
        // Off, nothing jumps.
        gaTestGameData[36] = 0;
        CarModel_JumpBoost();
        EXPECT_EQ(b->JumpTicks, 0);
        gaTestGameData[36] = 0x40;
        int nTicks = 0, nPushing = 0, nPitching = 0;
        do
        {
            const DK_VECTOR before = b->OrientRow0;
            const DK_VECTOR up = b->UpAxis;
            b->ExtForce = {};
            b->Rolling = 0;
            CarModel_JumpBoost();
            ++nTicks;
            if (nTicks == 1)
            {
                EXPECT_EQ(b->JumpTicks, c.ticks - 1);
            }
            if (b->Rolling)
            {
                ++nPushing;
                EXPECT_NEAR(Units(FfVecDot(&b->ExtForce, &b->UpAxis)), 0.3, 1e-3);
                EXPECT_NEAR(Units(FfVecDot(&b->ExtForce, &b->OrientRow0)), 0.5, 1e-3);
            }
            // The turn in the plane of the forward and up rows.
            const double turn = std::atan2(Units(FfVecDot(&b->OrientRow0, &up)),
                                           Units(FfVecDot(&b->OrientRow0, &before)));
            const double units = std::fabs(turn) * 4096 / (2 * M_PI);
            if (units > 1.0)
            {
                ++nPitching;
                EXPECT_NEAR(units, c.pitch, 1.0) << nTicks;
            }
            // The sound and the jolts on the first tick only.
            EXPECT_EQ(PrangSnd_GetImpactCallsForTests(), 1);
            EXPECT_EQ(ForceFeedback_GetJoltCallsForTests(), 1);
            EXPECT_EQ(ForceFeedback_GetImpactCallsForTests(), 1);
        } while (b->JumpTicks != 0 && nTicks < 1000);
        EXPECT_EQ(nTicks, c.ticks);
        EXPECT_EQ(nPushing, c.pushing);
        EXPECT_EQ(nPitching, c.pitching);
        EXPECT_EQ(PrangSnd_GetLastImpactForTests().nValue, ONE);
        EXPECT_EQ(ForceFeedback_GetLastJoltForTests().xStrength, ONE);
        // Not in reverse or neutral.
        m->Gear = 7;
        CarModel_JumpBoost();
        EXPECT_EQ(b->JumpTicks, 0);
    }
}

} // namespace
