// The tyres: wheels spinning and braking in the air, the coasting brake, the handbrake on the
// rear wheels, the three grip regimes, the drag of the sea, streams and soft objects, the push
// of a sharp change of slope, and the friction of a body lying on the ground.
#include <cmath>

#include <gtest/gtest.h>

#include "game/effects/surfaces.h"
#include "game/vehicle/carmodel_internal.h"
#include "game/vehicle/carmodel_surfaces.h"
#include "tests/game/car_fixture.h"

namespace
{

class CarTyreTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        b = &gaCarBody[0];
        m = &gaCarMechanics[0];
        gpCurrentCarBody = b;
        gpCurrentCarMechanics = m;
        // Level ground, the car facing +x, every wheel heading along it.
        b->OrientRow0 = {ONE, 0, 0};
        b->UpAxis = {0, ONE, 0};
        b->OrientRow2 = {0, 0, ONE};
        b->GroundNormal = {0, ONE, 0};
        b->FrontWheelForward = b->RearWheelForward = {ONE, 0, 0};
        b->FrontWheelSide = {0, 0, ONE};
        for (int w = 0; w < CAR_WHEELS; ++w)
            b->PointNormal[w] = b->PointNormalPrev[w] = {0, ONE, 0};
        b->WheelLoad = ONE; // so the force scale K is 1.0
        m->BrakeBalance = ONE / 2;
        m->RearGripOffset = -19660;
        for (int g = 1; g < 7; ++g)
            m->GearRatio[g] = ONE;
        m->GearRatio[7] = -ONE;
    }

    // Every wheel on the ground, rolling alike.
    void AllDown(double velocityX, double velocityZ, int32_t xWheelSpeed)
    {
        b->WheelsOnGround = 4;
        m->Upright = 1;
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            b->WheelOnGround[w] = 1;
            b->PointVelocity[w] = {Fixed(velocityX), 0, Fixed(velocityZ)};
            m->WheelSpeed[w] = xWheelSpeed;
        }
    }

    CarBody* b = nullptr;
    CarMechanics* m = nullptr;
};

TEST_F(CarTyreTest, WithNoWheelDownTheWheelsSpinFreelyAndBrakeToAStop)
{
    struct Case
    {
        const char* name;
        int gear;
        int32_t brakeControl;
        double drag;        // every wheel's, from its damage
        double speed;       // every wheel's, before
        double torque;      // every wheel's drive
        double front, rear; // torques kept for the sound
        double after;       // a front wheel's speed
    } cases[] = {
        // Coasting in gear brakes with 0.1, three quarters to the front here; the brake input
        // plays no part.
        {"coasting in gear", 1, 0, 0.0, 2.0, 0.0, -0.075, -0.025, 2.0 - 0.75},
        // On the pedal: 5.0 x the damaged front brake 0.5 x 0.75, and the wheels' drag; the
        // driven wheels in gear stop rather than turn against it.
        {"braking", 1, 0xFFBE, 0.1, 2.0, 0.0, -1.875 - 0.1, -1.25 - 0.1, 0.0},
        // A still wheel takes no brake and spins up at just over ten times the step.
        {"spinning up", 1, 0, 0.0, 0.0, 0.05, 0.05, 0.05, 0.5},
        {"braked to a stop, not through it", 0, 0xFFBE, 0.0, 0.01, 0.0, -1.875, -1.25, 0.0},
        {"backwards to a stop", 0, 0xFFBE, 0.0, -0.01, 0.0, 1.875, 1.25, 0.0},
        {"in reverse never forwards", 7, 0, 0.0, 0.0, 0.5, 0.5, 0.5, 0.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        b->WheelsOnGround = 0;
        m->Upright = 1;
        m->Gear = static_cast<int8_t>(c.gear);
        m->AccelControl = 0;
        m->BrakeControl = c.brakeControl;
        m->BrakeInput = 5 * ONE;
        m->BrakeBalance = Fixed(0.75);
        m->DriveShareFront = ONE / 2;
        gaDamage[0].DamageFrontBrake = ONE / 2;
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            gaDamage[0].DamageWheelDrag[w] = Fixed(c.drag);
            m->WheelSpeed[w] = Fixed(c.speed);
            b->WheelTorque[w] = Fixed(c.torque);
            b->PointForce[w] = {0, 0, 0};
        }
        CarModel_TyreForces();
        EXPECT_NEAR(Units(m->WheelTorqueOut[1]), c.front, 1e-4);
        EXPECT_NEAR(Units(m->WheelTorqueOut[2]), c.rear, 1e-4);
        EXPECT_NEAR(Units(m->WheelSpeed[1]), c.after, 1e-3);
        for (int w = 0; w < CAR_WHEELS; ++w)
            EXPECT_EQ(b->PointForce[w].x | b->PointForce[w].y | b->PointForce[w].z, 0);
    }

    // At 50 ticks a second the spin-up is half as much.
    CarModel_SetStepRate(50 * ONE);
    m->Gear = 1;
    m->BrakeControl = 0;
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        m->WheelSpeed[w] = 0;
        b->WheelTorque[w] = Fixed(0.05);
    }
    CarModel_TyreForces();
    EXPECT_NEAR(Units(m->WheelSpeed[0]), 0.25, 1e-3);
}

TEST_F(CarTyreTest, TheHandbrakeHoldsARearWheelUnlessItOutrunsTheRoad)
{
    struct Case
    {
        const char* name;
        double velocity;    // along the car
        double spin;        // every wheel's speed
        double front, rear; // the speeds after
    } cases[] = {
        // Slower than the road: the front wheel is driven up by the slip, the held rear one is
        // only braked by the handbrake's 0.3.
        {"rolling forwards", 1.0, 2.0, 2.0 + 0.125 * 1.0667, 2.0 - 0.3 * 1.0667},
        // Faster than the road: the rear wheel takes its slip torque again, on top of the brake.
        {"outrunning the road", 0.25, 2.0, 2.0 - 0.125 * 1.0667, 2.0 - 0.425 * 1.0667},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        AllDown(c.velocity, 0.0, Fixed(c.spin));
        m->Gear = 0;
        m->AccelControl = ONE; // not coasting: the slip torque goes in by an eighth
        m->BrakeInput = 0;
        m->HandbrakeOn = 1;
        m->HandbrakeTorque = Fixed(0.3);
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            b->WheelTorque[w] = 0;
            m->SlideGrip[w] = ONE; // the slip torque's limit
            m->PeakGrip[w] = 100 * ONE;
        }
        CarModel_TyreForces();
        EXPECT_NEAR(Units(m->WheelSpeed[0]), c.front, 2e-3);
        EXPECT_NEAR(Units(m->WheelSpeed[2]), c.rear, 2e-3);
        // The handbrake's torque is what the held wheel reports.
        EXPECT_NEAR(Units(m->WheelTorqueOut[2]), -0.3, 1e-4);
    }
}

TEST_F(CarTyreTest, TheGripRegimeTurnsOnTheSlipAlongAndAcrossAt0_4)
{
    // A rear wheel held still by a handbrake of no torque slides on a tiny peak grip, so its
    // force is the slide limit: the surface's grip (less the rear's 0.3) times the wheel's, the
    // wheel's alone, or the two blended by the slip's direction.
    const auto blended = [](double grip, double l, double t)
    {
        const double a = std::atan(l * grip / t);
        return std::sqrt(std::pow(grip * std::cos(a), 2) + std::pow(std::sin(a), 2));
    };
    const double tarmac = 3.0 - 0.3, ice = 1.1 - 0.3;
    struct Case
    {
        const char* name;
        int surface;
        // |L|, and the slide across that gives |T| (a little less: the wheel's side axis
        // normalises to 0.99976)
        int32_t along, across;
        double slide; // times the wheel's slide grip
    } cases[] = {
        {"along below", SURFACE_DRY_TARMAC, 0x6665, Fixed(0.8), tarmac},
        {"along below on ice", SURFACE_ICE, 0x6665, Fixed(0.8), ice},
        {"across below", SURFACE_DRY_TARMAC, 0x6666, 0x6665, 1.0},
        {"across below on ice", SURFACE_ICE, 0x6666, 0x6665, 1.0},
        {"both at 0.4", SURFACE_DRY_TARMAC, 0x6666, 0x6670, blended(tarmac, 0.4, 0.4)},
        {"both above", SURFACE_DRY_TARMAC, 0x6666, Fixed(1.5), blended(tarmac, 0.4, 1.5)},
        {"both above on ice", SURFACE_ICE, 0x6666, Fixed(1.5), blended(ice, 0.4, 1.5)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        // Still along the car, so L = slip / 4 = -(wheel speed) / 4; sliding across at T.
        AllDown(0.0, Units(c.across), -4 * c.along);
        m->Gear = 0;
        m->AccelControl = m->BrakeControl = 0;
        m->BrakeInput = 0;
        m->HandbrakeOn = 1;
        m->HandbrakeTorque = 0;
        m->PowerSlide = 0;
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            b->WheelTorque[w] = 0;
            m->WheelSurface[w] = static_cast<int16_t>(c.surface);
            m->PeakGrip[w] = 1;
            m->SlideGrip[w] = ONE / 4;
        }
        CarModel_TyreForces();
        ASSERT_EQ(m->WheelSpeed[2], -4 * c.along); // held
        EXPECT_NEAR(Units(FfVecLength(&b->PointForce[2])), 0.25 * c.slide, 2e-3);
        // Backwards with the wheel's backward spin, and against the slide across.
        EXPECT_LT(b->PointForce[2].x, 0);
        EXPECT_LT(b->PointForce[2].z, 0);
    }
}

TEST_F(CarTyreTest, SoftAndWetGroundDragsTheRollingWheelBack)
{
    struct Case
    {
        const char* name;
        int surface;
        int inObject;
        double drag;
    } cases[] = {
        {"tarmac", SURFACE_DRY_TARMAC, 0, 0.0},
        {"the sea", SURFACE_SEA, 0, 5.0},
        {"a stream", SURFACE_STREAM, 0, 0.1},
        {"deep snow", SURFACE_POWDER_TERRAIN_SNOW_DEEP, 0, 0.5},
        {"a soft object on tarmac", SURFACE_DRY_TARMAC, 1, 0.5},
        {"a soft object in the sea", SURFACE_SEA, 1, 0.5},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        // Rolling at 0.4 without slip: no force but the drag, (0.4 / 4) x the factor.
        AllDown(0.4, 0.0, 4 * Fixed(0.4));
        m->Gear = 0;
        m->BrakeInput = 0;
        m->HandbrakeOn = 0;
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            b->WheelTorque[w] = 0;
            m->WheelSurface[w] = static_cast<int16_t>(c.surface);
            b->PointInObject[w] = c.inObject;
        }
        CarModel_TyreForces();
        EXPECT_NEAR(Units(b->PointForce[0].x), -0.1 * c.drag, 1e-3);
        EXPECT_EQ(b->PointForce[0].z, 0);
    }
    int32_t xLargest = 0;
    for (int32_t xDrag : SurfaceDrag)
        xLargest = xDrag > xLargest ? xDrag : xLargest;
    EXPECT_EQ(xLargest, SurfaceDrag[SURFACE_SEA]);
}

TEST_F(CarTyreTest, ASharpChangeOfSlopePushesAWheelBack)
{
    // Wheel 0 runs at 0.5 into ground that tilts up ahead of it by the angle; one wheel counts,
    // so its share is 20.0 and the push is 0.5 x 20 x f, f growing from 10 to 60 degrees. The
    // change is read in whole angle units: 9.9 degrees reads 9.84, 10 reads 10.02.
    struct Case
    {
        const char* name;
        double degrees;
        double velocity;
        double push;
    } cases[] = {
        {"5 degrees", 5.0, 0.5, 0.0},
        {"9.9 degrees", 9.9, 0.5, 0.0},
        {"20 degrees", 20.0, 0.5, 10.0 * 10.04 / 50.0},
        {"35 degrees", 35.0, 0.5, 10.0 * 25.07 / 50.0},
        {"just under 60", 59.9, 0.5, 10.0 * 49.94 / 50.0},
        {"60 degrees", 60.0, 0.5, 10.0},
        {"80 degrees", 80.0, 0.5, 10.0},
        {"running away from it", 35.0, -0.5, 0.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        AllDown(c.velocity, 0.0, 4 * Fixed(c.velocity));
        m->Gear = 0;
        m->BrakeInput = 0;
        m->HandbrakeOn = 0;
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            b->WheelTorque[w] = 0;
            m->WheelSurface[w] = SURFACE_DRY_TARMAC;
        }
        const double a = c.degrees * M_PI / 180.0;
        b->PointNormal[0] = {Fixed(-std::sin(a)), Fixed(std::cos(a)), 0};
        CarModel_TyreForces();
        EXPECT_NEAR(Units(b->PointForce[0].x), c.velocity > 0 ? -c.push : 0.0, 0.01);
        EXPECT_EQ(b->PointForce[1].x, 0);
    }

    // Two wheels share the push.
    const double a = 80.0 * M_PI / 180.0;
    b->PointNormal[0] = b->PointNormal[1] = {Fixed(-std::sin(a)), Fixed(std::cos(a)), 0};
    AllDown(0.5, 0.0, Fixed(2.0));
    CarModel_TyreForces();
    EXPECT_NEAR(Units(b->PointForce[0].x), -5.0, 0.01);
    EXPECT_NEAR(Units(b->PointForce[1].x), -5.0, 0.01);
}

TEST_F(CarTyreTest, ABodyLyingOnTheGroundRubsOnlyWhenNotUpright)
{
    struct Case
    {
        const char* name;
        int upright;
        double velocity; // point 5's, along +x, plus 0.3 into the ground
        int32_t peak, slide;
        double force;
    } cases[] = {
        {"upright", 1, 0.5, 100 * ONE, 50 * ONE, 0.0},
        {"on its side", 0, 0.5, 100 * ONE, 50 * ONE, -0.5 * 2.0},
        {"past the peak", 0, 0.5, ONE / 2, Fixed(0.3), -0.3},
        {"only into the ground", 0, 0.0, 100 * ONE, 50 * ONE, 0.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        m->Upright = c.upright;
        b->SlideDamping = 2 * ONE;
        for (int i = 0; i < CAR_POINTS; ++i)
        {
            b->PointOffGround[i] = i == 5 ? 0 : 1;
            b->PointVelocity[i] = {Fixed(c.velocity), Fixed(-0.3), 0};
            b->PointForce[i] = {0, 0, 0};
            m->PointPeakLimit[i] = c.peak;
            m->PointSlideLimit[i] = c.slide;
        }
        CarModel_BodyPointFriction();
        EXPECT_NEAR(Units(b->PointForce[5].x), c.force, 1e-3);
        EXPECT_EQ(b->PointForce[5].y, 0);
        EXPECT_EQ(b->PointForce[4].x, 0); // off the ground
    }
}

} // namespace
