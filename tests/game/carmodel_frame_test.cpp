// The body-frame operations: the drawn wheels' spin and wobble, the corners pushed out and
// pulled back, the body turned by a tick's angles, and the pull towards remote cars.
#include <cmath>

#include <gtest/gtest.h>

#include "tests/game/car_fixture.h"

namespace
{

class CarFrameTest : public CarTest
{
protected:
    // Car 0 at the origin along the world axes, current.
    CarBody& Square()
    {
        CarBody& b = gaCarBody[0];
        b.OrientRow0 = {ONE, 0, 0};
        b.UpAxis = {0, ONE, 0};
        b.OrientRow2 = {0, 0, ONE};
        b.Position = {};
        DkIdentityMatrix(&b.Matrix);
        gpCurrentCarBody = &b;
        gpCurrentCarMechanics = &gaCarMechanics[0];
        return b;
    }
};

void ExpectVector(const DK_VECTOR& v, double x, double y, double z, int32_t tolerance)
{
    EXPECT_NEAR(v.x, Fixed(x), tolerance);
    EXPECT_NEAR(v.y, Fixed(y), tolerance);
    EXPECT_NEAR(v.z, Fixed(z), tolerance);
}

TEST_F(CarFrameTest, WheelsTurnAgainstTheirSpeedAtMostARadianATick)
{
    struct Case
    {
        int32_t speed;
        int turn;
    } cases[] = {{0, 0},          {ONE / 2, -325},     {ONE, -651},
                 {ONE + 1, -651}, {3 * ONE / 2, -651}, {-ONE / 4, 162},
                 {-ONE, 651},     {-2 * ONE, 651}};
    CarBody& b = gaCarBody[0];
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.speed);
        b.WheelSpinAngle[1] = 2000;
        gaCarMechanics[0].WheelSpinSpeed[1] = c.speed;
        CarModel_SpinWheels(&b, &gaCarMechanics[0]);
        EXPECT_EQ(b.WheelSpinAngle[1], 2000 + c.turn);
    }

    // The wobble of a damaged wheel: a circle of 0.04 of its damage, by the wheel's angle.
    struct Wobble
    {
        int16_t angle;
        int32_t damage, x, y;
    } wobbles[] = {{1024, ONE, 0xA3D, 0},
                   {0, ONE, 0, -0xA3D},
                   {2048, 2 * ONE, 0, 2 * 0xA3D},
                   {1024, 0, 0, 0},
                   {1024, -ONE, 0, 0}};
    gaCarMechanics[0].WheelSpinSpeed[3] = 0;
    for (const Wobble& w : wobbles)
    {
        SCOPED_TRACE(w.angle);
        b.WheelSpinAngle[3] = w.angle;
        gaDamage[0].DamageValue[3] = w.damage;
        b.WheelHubOffset[3][0] = b.WheelHubOffset[3][1] = 99;
        CarModel_SpinWheels(&b, &gaCarMechanics[0]);
        EXPECT_NEAR(b.WheelHubOffset[3][0], w.x, 1);
        EXPECT_NEAR(b.WheelHubOffset[3][1], w.y, 1);
    }
}

TEST_F(CarFrameTest, CornersArePulledInAndPushedOutExactly)
{
    CarBody& b = Square();
    b.Position = {Fixed(10.0), Fixed(1.0), Fixed(-4.0)};
    FfMatSetPosition(&b.Position, &b.Matrix);
    b.HalfSize = {Fixed(2.0), Fixed(0.5), Fixed(1.0)};
    b.FrontOverhang = Fixed(1.5);
    b.RearOverhang = Fixed(1.25);
    b.HalfTrack = Fixed(0.25);
    CarModel_UpdateCorners(&b);
    // Bottom corners at the box; top ones pulled in by the overhangs and the half track.
    ExpectVector(b.ContactPoint[0], 12.0, 0.5, -3.0, 0);
    ExpectVector(b.ContactPoint[3], 8.0, 0.5, -5.0, 0);
    ExpectVector(b.ContactPoint[4], 10.5, 1.5, -3.25, 0);
    ExpectVector(b.ContactPoint[5], 10.5, 1.5, -4.75, 0);
    ExpectVector(b.ContactPoint[6], 9.25, 1.5, -3.25, 0);
    ExpectVector(b.ContactPoint[7], 9.25, 1.5, -4.75, 0);
    CarModel_OffsetCorners(&b);
    ExpectVector(b.ContactPoint[4], 12.0, 1.5, -3.0, 0);
    ExpectVector(b.ContactPoint[7], 8.0, 1.5, -5.0, 0);
    ExpectVector(b.ContactPoint[1], 12.0, 0.5, -5.0, 0);

    // A car on bumpy ground, turned: out and back in returns every corner to its place.
    StandOn("bumpy-gravel");
    ASSERT_TRUE(SetUpCar(2, 11, 4.0, 0.0, 140.0, 1234)) << last;
    CarBody& c = gaCarBody[2];
    DK_VECTOR before[CAR_POINTS];
    std::memcpy(before, c.ContactPoint, sizeof(before));
    CarModel_OffsetCorners(&c);
    EXPECT_NE(std::memcmp(before, c.ContactPoint, sizeof(before)), 0);
    CarModel_UnoffsetCorners(&c);
    EXPECT_EQ(std::memcmp(before, c.ContactPoint, sizeof(before)), 0);
}

TEST_F(CarFrameTest, TheBodyTurnsAboutUpThenSideThenForward)
{
    const double h = std::sqrt(0.5);
    struct Case
    {
        int16_t angles[3];
        double row0[3], up[3], row2[3];
    } cases[] = {
        {{0, 1024, 0}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
        {{0, 0, 1024}, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},
        {{1024, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
        // The forward turn uses the forward row the first turn left.
        {{1024, 1024, 0}, {0, 0, -1}, {1, 0, 0}, {0, -1, 0}},
        // The side turn uses the side row the first turn left.
        {{0, 1024, 1024}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
        {{512, 0, 0}, {1, 0, 0}, {0, h, h}, {0, -h, h}},
        {{0, -512, 0}, {h, 0, h}, {0, 1, 0}, {-h, 0, h}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.angles[0] << " " << c.angles[1] << " " << c.angles[2]);
        CarBody& b = Square();
        CarModel_RotateBody(c.angles);
        // Normalised through the square-root table, a unit row reads 65,522.
        ExpectVector(b.OrientRow0, c.row0[0], c.row0[1], c.row0[2], 16);
        ExpectVector(b.UpAxis, c.up[0], c.up[1], c.up[2], 16);
        ExpectVector(b.OrientRow2, c.row2[0], c.row2[1], c.row2[2], 16);
    }
    // No angle, no turn: rows stay as they are, unnormalised.
    CarBody& b = Square();
    b.OrientRow0.x = ONE + 300;
    const int16_t none[3] = {0, 0, 0};
    CarModel_RotateBody(none);
    EXPECT_EQ(b.OrientRow0.x, ONE + 300);
}

TEST_F(CarFrameTest, ThePullStartsBeyond3AndStopsGrowingAt153)
{
    const double r3 = 1.0 / std::sqrt(3.0);
    struct Case
    {
        double from[3], towards[3];
        double force[3]; // in raw units
    } cases[] = {
        {{1, 2, 3}, {1, 2, 3}, {0, 0, 0}},
        {{0, 0, 0}, {2.9, 0, 0}, {0, 0, 0}},
        {{0, 0, 0}, {3.0, 0, 0}, {0, 0, 0}},
        {{0, 0, 0}, {103.0, 0, 0}, {100 * 262, 0, 0}},
        {{0, 50, 0}, {0, -103, 0}, {0, -150 * 262, 0}},
        {{0, 0, -5000}, {0, 0, 5000}, {0, 0, 150 * 262}},
        {{-5000, -5000, -5000}, {5000, 5000, 5000}, {39300 * r3, 39300 * r3, 39300 * r3}},
        {{10, 0, 20}, {15, 0, 8}, {10 * 262 * 5 / 13.0, 0, -10 * 262 * 12 / 13.0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << c.towards[0] << " " << c.towards[1] << " " << c.towards[2]);
        const DK_VECTOR from = {Fixed(c.from[0]), Fixed(c.from[1]), Fixed(c.from[2])};
        const DK_VECTOR towards = {Fixed(c.towards[0]), Fixed(c.towards[1]), Fixed(c.towards[2])};
        DK_VECTOR force = {1, 1, 1};
        CarModel_PullForce(&towards, &from, &force);
        // The direction is divided by a table root of about 1.0002.
        EXPECT_NEAR(force.x, c.force[0], 12);
        EXPECT_NEAR(force.y, c.force[1], 12);
        EXPECT_NEAR(force.z, c.force[2], 12);
    }
}

TEST_F(CarFrameTest, TheLocalCarIsPulledTowardsTheRemoteCarsInTheGame)
{
    // Remote slot k's in-game word.
    auto join = [](int slot) { gaTestGameData[628 + 156 * slot + 144] = 1; };
    CarBody& b = Square();
    gaNetPlayer[2] = {{0, 0, Fixed(103.0)}, {ONE, 0, 0}};
    gaNetPlayer[3] = {{Fixed(50.0), 0, 0}, {ONE, 0, 0}};
    join(2);

    CarModel_NetworkPull();
    ExpectVector(b.ExtForce, 0, 0, 0, 0);

    gboNetworkGame = TRUE;
    CarModel_NetworkPull();
    // 2.0 ahead of each car: 103.0 apart along z, pulled 100 x 0.004, turning about y.
    EXPECT_EQ(b.ExtForce.x, 0);
    EXPECT_NEAR(b.ExtForce.z, 100 * 262, 8);
    EXPECT_NEAR(b.ExtTorque.y, 2 * 100 * 262, 16);
    EXPECT_EQ(b.ExtTorque.x, 0);

    b.ExtForce = b.ExtTorque = {};
    join(3);
    CarModel_NetworkPull();
    EXPECT_NEAR(b.ExtForce.x, 47 * 262, 8);
    EXPECT_NEAR(b.ExtForce.z, 100 * 262, 8);
}

} // namespace
