// The body update: a car leaving the ground keeps its rows, a resting car keeps its pose, a
// car tipped too far tumbles and lands back on its wheels only when still; the spin damped only
// near the ground and as an axis crosses it; a car on its roof settled and rescued; a car
// touching with a corner for too long rescued; a tumbling car's landing dents it; the wheels'
// shake by surface and the bounce of the flat-gravel wheel.
#include <cmath>

#include <gtest/gtest.h>

#include "game/effects/forcefeedback.h"
#include "game/effects/prangsnd.h"
#include "game/race/cameras.h"
#include "game/race/gmhndlr.h"
#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/damage.h"
#include "tests/game/car_fixture.h"
#include "tools/bench/car_drive.h"

namespace
{

class CarBodyTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        CarModel_SetStepRate(25 * ONE);
        b = &gaCarBody[0];
        m = &gaCarMechanics[0];
        gaPlayerView[0].nCameraType = 0;
    }

    // A car set up on the ground at (0, 100), facing +x.
    void Stand(const char* ground)
    {
        StandOn(ground);
        ASSERT_TRUE(SetUpCar(0, 0)) << last;
        gpCurrentCarBody = b;
        gpCurrentCarMechanics = m;
    }

    // The rows turned by the given up axis (unit, in the x-y plane), and the matrix and
    // corners after them; the rows at the start of the step are these too.
    void Tilt(int32_t xUpY)
    {
        const int32_t xUpX = FfSqrt(FfSub(ONE, FfMul(xUpY, xUpY)));
        b->UpAxis = {xUpX, xUpY, 0};
        b->OrientRow0 = {xUpY, FfNeg(xUpX), 0};
        b->OrientRow2 = VecCross(b->OrientRow0, b->UpAxis);
        Place();
    }

    void Place()
    {
        b->OrientPrev[0] = b->OrientRow0;
        b->OrientPrev[1] = b->UpAxis;
        b->OrientPrev[2] = b->OrientRow2;
        CarModel_WriteMatrix(b);
        CarModel_UpdateCorners(b);
        b->PositionPrev = b->Position;
    }

    CarBody* b = nullptr;
    CarMechanics* m = nullptr;
};

TEST_F(CarBodyTest, ACarLeavingTheGroundKeepsItsNormalAndItsRows)
{
    // On the tilted plane with level rows and a level normal kept from before: staying on the
    // ground the rows stand on the plane; leaving it (faster along the normal than
    // (1 - speed / 0.75) x 0.1) everything stays.
    struct Case
    {
        const char* name;
        double along; // the speed along the plane's normal
        double ahead; // and along the road
        bool leaves;
    } cases[] = {
        {"slowly off a standstill", 0.05, 0.0, false},
        {"fast off a standstill", 0.1, 0.0, true},
        {"at speed, just up", 0.01, 1.0, true},
        {"at speed, just down", -0.01, 1.0, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        Stand("tilted-plane");
        const DK_VECTOR plane = b->GroundNormal;
        b->OrientRow0 = VecNormalised({b->OrientRow0.x, 0, b->OrientRow0.z});
        b->UpAxis = {0, ONE, 0};
        b->OrientRow2 = VecCross(b->OrientRow0, b->UpAxis);
        Place();
        b->GroundNormal = {0, ONE, 0};
        b->AllPointsOff = 0;
        b->AtRest = 0;
        const DK_VECTOR ahead = VecNormalised(
            VecSub(b->OrientRow0, VecScaled(plane, FfVecDot(&plane, &b->OrientRow0))));
        b->Velocity = VecAdd(VecScaled(plane, Fixed(c.along)), VecScaled(ahead, Fixed(c.ahead)));
        b->Speed = FfVecLength(&b->Velocity);
        CarModel_UpdateBody(b, m);
        if (c.leaves)
        {
            EXPECT_EQ(b->GroundNormal.y, ONE);
            EXPECT_EQ(b->UpAxis.y, ONE);
        }
        else
        {
            EXPECT_NEAR(b->GroundNormal.y, plane.y, 32);
            EXPECT_EQ(b->UpAxis.y, b->GroundNormal.y);
        }
        EXPECT_EQ(b->Rolling, 0);
    }
}

TEST_F(CarBodyTest, AResterKeepsItsPoseWithin0_99AndATiltBelow0_7Tumbles)
{
    // Up axes against the level ground's normal (as fitted, a few raw units short of 1.0).
    const DK_VECTOR kept = VecNormalised({Fixed(0.05), ONE, 0}); // the rows before the step
    struct Case
    {
        const char* name;
        int32_t up; // the up axis's height
        int atRest;
        const char* pose; // "kept", "level" or "tumbling"
    } cases[] = {
        {"at rest within 0.99", Fixed(0.995), 1, "kept"},
        {"at rest past 0.99", Fixed(0.985), 1, "level"},
        {"moving within 0.99", Fixed(0.995), 0, "level"},
        {"above 0.7", Fixed(0.71), 0, "level"},
        {"below 0.7", Fixed(0.69), 0, "tumbling"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        Stand("flat-tarmac");
        Tilt(c.up);
        b->OrientPrev[1] = kept;
        b->OrientPrev[0] = VecNormalised(VecCross(kept, b->OrientRow2));
        b->AllPointsOff = 0;
        b->AtRest = c.atRest;
        CarModel_UpdateBody(b, m);
        const std::string pose = c.pose;
        EXPECT_EQ(b->Rolling, pose == "tumbling" ? 1 : 0);
        EXPECT_EQ(b->RollStarted, pose == "tumbling" ? 1 : 0);
        if (pose == "kept")
        {
            EXPECT_EQ(b->UpAxis.x, kept.x);
            EXPECT_EQ(b->UpAxis.y, kept.y);
        }
        else if (pose == "level")
        {
            EXPECT_EQ(b->UpAxis.y, b->GroundNormal.y);
            EXPECT_EQ(b->UpAxis.x, 0);
        }
        else
        {
            EXPECT_EQ(b->UpAxis.y, c.up);
        }
    }
}

TEST_F(CarBodyTest, ATumblingCarIsBackOnItsWheelsOnlyLevelStillAndOutOfItsJump)
{
    struct Case
    {
        const char* name;
        int jump;
        int32_t up;
        double spinX, spinZ;
        int rolling;
    } cases[] = {
        {"level and still", 0, ONE, 0.0, 0.0, 0},      {"in the jump", 5, ONE, 0.0, 0.0, 1},
        {"rolling about x", 0, ONE, 0.02, 0.0, 1},     {"pitching", 0, ONE, 0.0, -0.02, 1},
        {"spinning slowly", 0, ONE, 0.009, 0.009, 0},  {"tilted past 0.9", 0, 0xE666, 0.0, 0.0, 1},
        {"tilted within 0.9", 0, 0xE800, 0.0, 0.0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        Stand("flat-tarmac");
        if (c.up != ONE)
            Tilt(c.up);
        b->Rolling = 1;
        b->JumpTicks = static_cast<uint8_t>(c.jump);
        b->AngularVelocity = {Fixed(c.spinX), 0, Fixed(c.spinZ)};
        CarModel_TakeAxisDots(b);
        CarModel_UpdateBody(b, m);
        EXPECT_EQ(b->Rolling, c.rolling);
        EXPECT_EQ(b->RollStarted, 0); // never turned past level
    }
}

TEST_F(CarBodyTest, TheSpinIsDampedOnlyNearTheGroundAndOnlyAsAnAxisCrossesIt)
{
    struct Case
    {
        const char* name;
        double clearance; // of the lowest point
        bool crossing;    // the forward axis was last seen on the other side of the ground's plane
        bool damped;
    } cases[] = {
        {"high, crossing", 0.5, true, false},
        {"within 0.2, crossing", 0.15, true, true},
        {"within 0.2, not crossing", 0.15, false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        Stand("flat-tarmac");
        Tilt(Fixed(0.995)); // the nose a little down
        int32_t xLowest = b->ContactPoint[0].y;
        for (const DK_VECTOR& point : b->ContactPoint)
            xLowest = std::min(xLowest, point.y);
        b->Position.y = FfAdd(FfSub(b->Position.y, xLowest), Fixed(c.clearance));
        Place();
        b->Rolling = 1;
        b->AllPointsOff = 1;
        CarModel_TakeAxisDots(b);
        if (c.crossing)
            b->AxisDotGround[0] = FfNeg(b->AxisDotGround[0]);
        const DK_VECTOR spin = {Fixed(0.1), Fixed(0.05), Fixed(0.1)};
        b->AngularVelocity = spin;
        CarModel_UpdateBody(b, m);
        EXPECT_EQ(b->AllPointsOff, 1) << "nothing touches";
        const bool boDamped = b->AngularVelocity.x != spin.x || b->AngularVelocity.z != spin.z;
        EXPECT_EQ(boDamped, c.damped);
    }
}

// A tumbling car that touches the ground after a tick with nothing down strikes it at four times
// its first touching point's speed into the ground, below its centre (within its box): the
// damage model dents it, and the impact is heard and felt, except from the ghost's car; the
// flat-gravel option leaves the body whole. The car's own impulse is its own again afterwards.
TEST_F(CarBodyTest, ATumblingCarsLandingStrikesTheGroundAtFourTimesItsSpeed)
{
    struct Case
    {
        const char* name;
        double speed; // into the ground
        bool flatGravel;
        bool ghost; // the car is car 1 while the ghost plays
        bool heard;
        bool dented;
    } cases[] = {
        {"hard", 0.2, false, false, true, true},
        {"below the least impact", 0.03, false, false, false, false},
        {"flat gravel", 0.2, true, false, false, false},
        {"the ghost's car", 0.2, false, true, false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        Stand("flat-tarmac");
        gnNumMechCars = 1;
        output += CaptureOutput([] { InitialiseDamage(); });
        ASSERT_GT(gaDamage[0].nNoOfParts, 0);
        gaTestGameData[38] = c.flatGravel ? 0x02 : 0;
        Ghost_SetPlayingForTests(c.ghost ? TRUE : FALSE);
        b->nCarNumber = static_cast<int8_t>(c.ghost ? 1 : 0);
        PrangSnd_ResetForTests();
        ForceFeedback_ResetForTests();
        // Its nose a little down and its lowest point just in the ground, falling.
        Tilt(Fixed(0.995));
        int32_t xLowest = b->ContactPoint[0].y;
        for (const DK_VECTOR& point : b->ContactPoint)
            xLowest = std::min(xLowest, point.y);
        b->Position.y = FfSub(FfSub(b->Position.y, xLowest), Fixed(0.05));
        Place();
        b->Rolling = 1;
        b->AllPointsOff = 1;
        CarModel_TakeAxisDots(b);
        const DK_VECTOR falling = {0, FfNeg(Fixed(c.speed)), 0};
        b->Velocity = falling;
        for (DK_VECTOR& v : b->PointVelocity)
            v = falling;
        const DK_VECTOR impulse = {Fixed(0.01), Fixed(0.02), Fixed(0.03)};
        b->ExtForce = impulse;
        CarModel_UpdateBody(b, m);

        EXPECT_EQ(b->AllPointsOff, 0) << "it is down";
        EXPECT_EQ(b->ExtForce.x, impulse.x);
        EXPECT_EQ(b->ExtForce.y, impulse.y);
        EXPECT_EQ(b->ExtForce.z, impulse.z);
        if (!c.flatGravel)
            EXPECT_EQ(b->ImpactOffset.y, FfNeg(b->HalfSize.y)) << "2.0 down, within the box";
        bool boDented = false;
        for (int32_t xDeformation : gaDamage[0].xDeformation)
            boDented = boDented || xDeformation != 0;
        EXPECT_EQ(boDented, c.dented);
        EXPECT_EQ(PrangSnd_GetImpactCallsForTests(), c.heard ? 1 : 0);
        EXPECT_EQ(ForceFeedback_GetJoltCallsForTests(), c.heard ? 1 : 0);
        if (c.heard)
        {
            // (4 x 0.2 - 0.149) / 1.044
            EXPECT_NEAR(Units(PrangSnd_GetLastImpactForTests().nValue), 0.6236, 2e-3);
            EXPECT_EQ(ForceFeedback_GetLastJoltForTests().xStrength,
                      PrangSnd_GetLastImpactForTests().nValue);
        }
    }
    Ghost_SetPlayingForTests(FALSE);
    gaTestGameData[38] = 0;
}

TEST_F(CarBodyTest, ACarOnItsRoofIsSettledFor20TicksThenRescued)
{
    Stand("flat-tarmac");
    // Upside down, its roof on the ground, tumbling.
    b->UpAxis = {0, -ONE, 0};
    b->OrientRow2 = VecCross(b->OrientRow0, b->UpAxis);
    Place();
    CarModel_UpdateBodyContacts(b, m);
    CarModel_UpdateTouchingPoints();
    CarModel_LiftOutOfGround();
    CarModel_UpdateTouchingPoints();
    CarModel_TakeAxisDots(b);
    b->Rolling = 1;
    m->Started = 1;
    const int16_t anList[1] = {0};
    int nUpsideDown = 0, nStuck = 0, nRescue = 0;
    for (int nTick = 1; nTick <= 60 && nRescue == 0; ++nTick)
    {
        output += CaptureOutput([&] { drive::Tick(anList, 1); });
        if (nUpsideDown == 0 && m->UpsideDown)
            nUpsideDown = nTick;
        if (nStuck == 0 && m->Stuck)
            nStuck = nTick;
        if (b->NeedsRescue)
            nRescue = nTick;
    }
    // Counted from the first tick lying there: more than 10 raise the flag; the next step
    // settles the car, which takes 20 ticks.
    EXPECT_EQ(nUpsideDown, 11);
    EXPECT_EQ(nStuck, 12);
    EXPECT_EQ(nRescue, nStuck + 19);
    EXPECT_EQ(m->Stuck, 0);
    EXPECT_EQ(m->UpsideDown, 0);
    EXPECT_LT(b->UpAxis.y, -ONE + 8) << "lying flat on its roof";
}

TEST_F(CarBodyTest, ACornerDownFor100TicksAsksForARescueOnTheNext)
{
    Stand("flat-tarmac");
    // On its roof, its top corners down, tumbling, never settled (the step does that).
    b->UpAxis = {0, -ONE, 0};
    b->OrientRow2 = VecCross(b->OrientRow0, b->UpAxis);
    Place();
    CarModel_UpdateBodyContacts(b, m);
    CarModel_UpdateTouchingPoints();
    CarModel_LiftOutOfGround();
    CarModel_UpdateTouchingPoints();
    b->Rolling = 1;
    for (int nTick = 1; nTick <= 101; ++nTick)
    {
        CarModel_UpdateBody(b, m);
        ASSERT_EQ(b->NeedsRescue, nTick > 100 ? 1 : 0) << nTick;
        ASSERT_EQ(b->RollTicks, std::min(nTick, 100));
    }
    // Held still while the rescue runs, and not counted.
    b->NeedsRescue = 0;
    b->RollTicks = 0;
    m->RescueActive = 1;
    b->PositionPrev = b->Position;
    b->Position.x = FfAdd(b->Position.x, ONE);
    CarModel_UpdateBody(b, m);
    EXPECT_EQ(b->Position.x, b->PositionPrev.x);
    EXPECT_EQ(b->RollTicks, 0);
}

TEST_F(CarBodyTest, WheelsShakeByTheirSurfaceAndRunOutInTheAir)
{
    struct Case
    {
        const char* name;
        int16_t surface;
        int32_t phase; // after one tick at a speed of 1.0
        int32_t amplitude;
    } cases[] = {
        {"tarmac", 0, 0, 0},
        {"grey gravel road", 10, 2275, 0x3D7},
        {"red gravel", 17, 2275, 0x3D7},
        {"quarry", 14, 2275, 0x666},
        {"grass", 25, 2275, 0x666},
        {"mud ditch", 42, 2275, 0x666},
        {"sea", 82, 2275, 0x666},
        {"leaves", 101, 2275, 0x666},
        {"ploughed mud", 43, 3413, 0xB85},
        {"rock bank", 93, 3413, 0xB85},
        {"stone bridge", 94, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        Stand("flat-tarmac");
        m->Upright = 1;
        b->Speed = ONE;
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            m->WheelSurface[w] = c.surface;
            b->PointVelocity[w] = {};
            b->WheelShake[w] = 7;
        }
        CarModel_UpdateSuspension();
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            EXPECT_EQ(b->WheelShakePhase[w], c.phase) << w;
            EXPECT_EQ(b->WheelShake[w], c.phase ? FfMul(gaSinTable[c.phase], c.amplitude) : 7);
        }
        if (c.phase == 0)
            continue;
        // In the air the phase runs on by 568 a tick and stops once past a turn.
        b->PointOffGround[0] = 1;
        int nTicks = 0;
        do
        {
            CarModel_UpdateSuspension();
            ++nTicks;
        } while (b->WheelShakePhase[0] != 0 && nTicks < 20);
        EXPECT_EQ(nTicks, (4096 - c.phase + 567) / 568);
    }
}

TEST_F(CarBodyTest, OnFlatGravelOnlyWheelZeroDropsInThenBounces)
{
    gaTestGameData[38] = 0x02;
    Stand("flat-tarmac");
    m->Upright = 1;
    ASSERT_EQ(b->WheelShake[0], -ONE / 2);
    // The television camera holds it.
    gaPlayerView[0].nCameraType = 8;
    CarModel_UpdateSuspension();
    EXPECT_EQ(b->WheelShake[0], -ONE / 2);
    gaPlayerView[0].nCameraType = 0;
    int nTicks = 0;
    while (b->WheelShake[0] < 0 && nTicks < 100)
    {
        CarModel_UpdateSuspension();
        ++nTicks;
        if (b->WheelShake[0] < 0)
        {
            ASSERT_EQ(b->WheelShake[0], FfMul(gaSinTable[(18 * nTicks - 1024) & 4095], ONE / 2));
        }
    }
    EXPECT_EQ(nTicks, 57); // 18 a tick to a quarter turn
    int32_t xLow = ONE, xHigh = -ONE;
    for (int k = 0; k < 100; ++k)
    {
        CarModel_UpdateSuspension();
        xLow = std::min(xLow, b->WheelShake[0]);
        xHigh = std::max(xHigh, b->WheelShake[0]);
    }
    EXPECT_GE(xLow, 0);
    EXPECT_NEAR(Units(xHigh), 0.2, 0.01);
    for (int w = 1; w < CAR_WHEELS; ++w)
    {
        EXPECT_EQ(b->WheelShake[w], -ONE / 2) << w;
        EXPECT_EQ(b->WheelShakePhase[w], 0) << w;
    }
}

} // namespace
