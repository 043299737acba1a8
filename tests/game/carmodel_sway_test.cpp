// The body's sway: the wheel loads it shifts, its input on the wheels, in the air and on the
// side, the tilt's clamps and its coming to rest, the limiter's lean; and the drawn body
// following the physics body, snapping to it and kept above the wheels.
#include <cmath>

#include <gtest/gtest.h>

#include "game/race/gamedata.h"
#include "game/vehicle/carmodel_internal.h"
#include "tests/game/car_fixture.h"

namespace
{

class CarSwayTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        StandOn("flat-tarmac");
        ASSERT_TRUE(SetUpCar(0, 0)) << last;
        b = &gaCarBody[0];
        m = &gaCarMechanics[0];
        gpCurrentCarBody = b;
        gpCurrentCarMechanics = m;
        b->WheelsOnGround = 4;
        b->WheelLoad = b->Weight >> 2;
        m->Upright = 1;
    }

    // The velocity change the springs feel this tick, in world axes (before less now).
    void Brake(double x, double y, double z)
    {
        b->VelocityPrev = {Fixed(0.5 + x), Fixed(y), Fixed(z)};
        b->Velocity = {Fixed(0.5), 0, 0};
    }

    // The sway matrix's up row.
    DK_VECTOR SwayUp() const
    {
        DK_VECTOR up;
        FfMatGetRow1(&up, &m->SwayMatrix);
        return up;
    }

    // Rolls the car about its forward row by the angle, keeping the matrix in step.
    void Roll(double degrees)
    {
        const double a = degrees * M_PI / 180.0;
        b->UpAxis = {0, Fixed(std::cos(a)), Fixed(std::sin(a))};
        b->OrientRow2 = {0, Fixed(-std::sin(a)), Fixed(std::cos(a))};
        b->OrientRow0 = {ONE, 0, 0};
        CarModel_WriteMatrix(b);
    }

    CarBody* b = nullptr;
    CarMechanics* m = nullptr;
};

TEST_F(CarSwayTest, FourWheelsShareTheWeightLessTheAntiRollAndBrakingLoadsTheFront)
{
    // The set-up leaves no droop and no lowest corner: both read 0.
    EXPECT_EQ(m->AirDroop, 0);
    EXPECT_EQ(m->MinCornerHeight, 0);

    Brake(0, 0, 0);
    const double anti[CAR_WHEELS] = {0.1, -0.1, 0.3, 0.0};
    for (int w = 0; w < CAR_WHEELS; ++w)
        b->AntiRoll[w] = Fixed(anti[w]);
    for (int i = CAR_WHEELS; i < CAR_POINTS; ++i)
        b->PointLoad[i] = 123;
    CarModel_UpdateLoadTransfer();
    const double weight = Units(b->Weight);
    for (int w = 0; w < CAR_WHEELS; ++w)
        EXPECT_NEAR(Units(b->PointLoad[w]), weight / 4 - weight / 8 * anti[w], 0.01) << w;
    for (int i = CAR_WHEELS; i < CAR_POINTS; ++i)
        EXPECT_EQ(b->PointLoad[i], 123);

    // Braking for a while: the body pitches forward, the front wheels carry more, the total
    // stays.
    for (int w = 0; w < CAR_WHEELS; ++w)
        b->AntiRoll[w] = 0;
    Brake(0.02, 0, 0);
    for (int nTick = 0; nTick < 30; ++nTick)
        CarModel_UpdateLoadTransfer();
    EXPECT_GT(b->PointLoad[0], b->PointLoad[2] + Fixed(20.0));
    EXPECT_EQ(b->PointLoad[0], b->PointLoad[1]);
    EXPECT_EQ(b->PointLoad[2], b->PointLoad[3]);
    double total = 0;
    for (int w = 0; w < CAR_WHEELS; ++w)
        total += Units(b->PointLoad[w]);
    EXPECT_NEAR(total, weight, 0.05);

    // With fewer wheels down every point carries the wheels' share.
    for (int nWheels : {3, 1, 0})
    {
        b->WheelsOnGround = nWheels;
        b->WheelLoad = Fixed(321.0);
        CarModel_UpdateLoadTransfer();
        for (int i = 0; i < CAR_POINTS; ++i)
            EXPECT_EQ(b->PointLoad[i], Fixed(321.0)) << nWheels << " " << i;
    }
}

TEST_F(CarSwayTest, TheSwayIsDrivenOnTheWheelsByTheVelocityChangeAndInTheAirByTheDroop)
{
    // In the air: the droop as the car sees it, here rolled 60 degrees so half of it is left.
    // Each state settles where its spring holds the input.
    b->WheelsOnGround = 0;
    m->AirDroop = Fixed(0.05);
    Roll(60.0);
    m->SwayState = m->SwayState2 = {Fixed(0.05), 0, Fixed(-0.05)};
    for (int nTick = 0; nTick < 400; ++nTick)
        CarModel_UpdateLoadTransfer();
    EXPECT_NEAR(Units(m->SwayState2.y), 0.025, 1e-3);
    EXPECT_NEAR(Units(m->SwayState.y), 0.025 / 0.09, 0.01);
    EXPECT_NEAR(Units(m->SwayState.x), 0.0, 0.005);
    EXPECT_NEAR(Units(m->SwayState2.z), 0.0, 0.005);

    // Upside down the droop points away from the car's up: no input, the state runs down.
    Roll(180.0);
    for (int nTick = 0; nTick < 400; ++nTick)
        CarModel_UpdateLoadTransfer();
    EXPECT_NEAR(Units(m->SwayState.y), 0.0, 0.005);

    // Touching but not upright, or at rest: the velocity change is not felt.
    Roll(0.0);
    struct Case
    {
        const char* name;
        int upright;
        int atRest;
        bool felt;
    } cases[] = {
        {"on its wheels", 1, 0, true},
        {"on its side", 0, 0, false},
        {"at rest", 1, 1, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        b->WheelsOnGround = 2;
        m->Upright = c.upright;
        b->AtRest = c.atRest;
        m->SwayState = m->SwayState2 = {0, 0, 0};
        Brake(0.01, 0.0, -0.01);
        CarModel_UpdateLoadTransfer();
        EXPECT_EQ(m->SwayState.x != 0 || m->SwayState.z != 0, c.felt);
        EXPECT_EQ(m->SwayState2.x != 0 || m->SwayState2.z != 0, c.felt);
    }
}

TEST_F(CarSwayTest, TheTiltStaysInsideItsClampsAndTheSwayComesToRest)
{
    // A hard, steady shove forward, sideways and down.
    Brake(0.5, 0.3, -0.5);
    const double limitX = Units(m->SwayLimitX) / Units(m->SwayUpLength);
    const double limitZ = Units(m->SwayLimitZ) / Units(m->SwayUpLength);
    for (int nTick = 0; nTick < 200; ++nTick)
    {
        CarModel_UpdateLoadTransfer();
        const DK_VECTOR up = SwayUp();
        ASSERT_GT(up.y, 0);
        ASSERT_LE(std::abs(Units(up.x) / Units(up.y)), limitX + 1e-3) << nTick;
        ASSERT_LE(std::abs(Units(up.z) / Units(up.y)), limitZ + 1e-3) << nTick;
        const double rise = Units(m->SwayMatrix.m[3][1]) - Units(m->SwayBaseHeight);
        ASSERT_LE(std::abs(rise), Units(m->SwayHeightLimit) + 1e-4) << nTick;
    }
    // It leans as far as it may.
    EXPECT_NEAR(std::abs(Units(SwayUp().x) / Units(SwayUp().y)), limitX, 1e-3);

    // Left alone, both states come to rest near nothing.
    Brake(0, 0, 0);
    for (int nTick = 0; nTick < 600; ++nTick)
        CarModel_UpdateLoadTransfer();
    const DK_VECTOR s1 = m->SwayState, s2 = m->SwayState2;
    CarModel_UpdateLoadTransfer();
    EXPECT_TRUE(s1.x == m->SwayState.x && s1.y == m->SwayState.y && s1.z == m->SwayState.z);
    EXPECT_TRUE(s2.x == m->SwayState2.x && s2.y == m->SwayState2.y && s2.z == m->SwayState2.z);
    for (const DK_VECTOR& s : {s1, s2})
    {
        EXPECT_LT(std::abs(Units(s.x)), 0.005);
        EXPECT_LT(std::abs(Units(s.y)), 0.005);
        EXPECT_LT(std::abs(Units(s.z)), 0.005);
    }

    // With the flat-gravel option the drawn tilt follows the second state unclamped, its side
    // part turned round.
    gaTestGameData[OPTION_FLAT_GRAVEL.nByte] = 1 << OPTION_FLAT_GRAVEL.nBit;
    m->SwayState2 = {Fixed(0.3), 0, Fixed(0.2)};
    Brake(0, 0, 0);
    m->SwaySpring2 = 0;
    CarModel_UpdateLoadTransfer();
    EXPECT_NEAR(Units(SwayUp().x) / Units(SwayUp().y), 0.3, 1e-3);
    EXPECT_NEAR(Units(SwayUp().z) / Units(SwayUp().y), -0.2, 1e-3);
}

TEST_F(CarSwayTest, TheLimitersBounceLeansTheBodyInGear)
{
    Brake(0, 0, 0);
    b->LeanAngle = 3; // 0.6 degrees: 6 angle units
    m->Gear = 0;
    CarModel_UpdateLoadTransfer();
    EXPECT_EQ(SwayUp().x, 0);
    m->Gear = 2;
    CarModel_UpdateLoadTransfer();
    EXPECT_NEAR(std::abs(Units(SwayUp().x)), std::sin(6 * 2 * M_PI / 4096), 2e-4);
    EXPECT_EQ(SwayUp().z, 0);
}

TEST_F(CarSwayTest, TheDrawnBodyFollowsSnapsAndStaysAboveTheWheels)
{
    m->SwayMatrix = {};
    m->SwayCorner[0] = m->SwayCorner[1] = m->SwayCorner[2] = m->SwayCorner[3] = {0, 0, 0};
    const DK_VECTOR tilted = VecNormalised({Fixed(0.2), ONE, 0});
    struct Case
    {
        const char* name;
        int wheels, upright;
        DK_VECTOR drawnUp;
        bool follows; // the drawn up lags rather than taking the physics up
    } cases[] = {
        {"within 65 raw", 4, 1, {65, ONE, 0}, false},
        {"tilted", 4, 1, tilted, true},
        {"tilted in the air", 0, 1, tilted, false},
        {"tilted on its side", 4, 0, tilted, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        b->WheelsOnGround = c.wheels;
        m->Upright = c.upright;
        m->DisplayMatrix = b->Matrix;
        FfMatSetRow1(&c.drawnUp, &m->DisplayMatrix);
        CarModel_UpdateDisplayBody(b, m);
        DK_VECTOR up, row0, row2;
        FfMatGetRow0(&row0, &m->DisplayMatrix);
        FfMatGetRow1(&up, &m->DisplayMatrix);
        FfMatGetRow2(&row2, &m->DisplayMatrix);
        if (!c.follows)
        {
            EXPECT_EQ(up.x, b->UpAxis.x);
            EXPECT_EQ(up.y, b->UpAxis.y);
            EXPECT_EQ(row0.x, b->OrientRow0.x);
            EXPECT_EQ(row2.z, b->OrientRow2.z);
        }
        else
        {
            // 0.2 off: the follow is 0.35 + min(1, 0.1 x 2.4) x 0.55 of the way.
            const double f = 0.35 + 0.1 * 2.4 * 0.55;
            EXPECT_NEAR(Units(up.x) / Units(up.y), (0.2 / std::sqrt(1.04)) * (1 - f), 0.01);
            EXPECT_NEAR(Units(FfVecDot(&up, &row2)), 0.0, 1e-3);
            EXPECT_NEAR(Units(FfVecDot(&up, &row0)), 0.0, 1e-3);
            EXPECT_NEAR(Units(FfVecDot(&row0, &row2)), 0.0, 1e-3);
        }
        DK_VECTOR at;
        FfMatGetPosition(&at, &m->DisplayMatrix);
        EXPECT_EQ(at.y, b->Position.y);
    }

    // Kept above the wheels: a body dropped 0.3 by its sway is raised back along the up row,
    // unless it may sink that far.
    Roll(20.0);
    m->DisplayMatrix = b->Matrix;
    struct Raise
    {
        double lowest;
        double raise;
    } raises[] = {{0.0, 0.3}, {-0.5, 0.0}, {-0.2, 0.1}};
    for (const Raise& r : raises)
    {
        SCOPED_TRACE(r.lowest);
        m->MinCornerHeight = Fixed(r.lowest);
        m->SwayMatrix.m[3][1] = Fixed(-0.3);
        for (DK_VECTOR& corner : m->SwayCorner)
            corner = {Fixed(2.0), 0, Fixed(-0.9)};
        CarModel_UpdateDisplayBody(b, m);
        DK_VECTOR at;
        FfMatGetPosition(&at, &m->DisplayMatrix);
        const DK_VECTOR lift = VecSub(at, b->Position);
        EXPECT_NEAR(Units(lift.y), r.raise * Units(b->UpAxis.y), 1e-3);
        EXPECT_NEAR(Units(lift.z), r.raise * Units(b->UpAxis.z), 1e-3);
        EXPECT_EQ(m->SwayCorner[0].y, Fixed(-0.3)); // the corner keeps the sway's height
    }
}

} // namespace
