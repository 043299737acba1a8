// The driver controls and gearbox: the steering sensitivity of every car slot, the automatic
// boxes' choice by the revs (not in the air, not undone within ten ticks), the manual box's
// requests, the broken gearbox that skips second, brake-to-reverse, the pedals' ramps, the
// front wheels' turn on digital and analogue steering, and the start, finish and parking holds.
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "game/race/gamedata.h"
#include "game/vehicle/carcontrol.h"
#include "tests/game/car_fixture.h"
#include "tools/bench/car_drive.h"

namespace
{

constexpr int32_t kGearboxBroken = 45875; // 0.7

class CarControlTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        StartSeq_SetHoldingForTests(0, FALSE);
        StandOn("flat-tarmac");
        ASSERT_TRUE(SetUpCar(0, 0)) << last;
        b = &gaCarBody[0];
        m = &gaCarMechanics[0];
        m->Started = 1;
        m->Gear = 1;
    }

    void Update() { CarControl_Update(m, b, 0); }

    // Revs as a fraction of the car's limit.
    void Revs(double fraction) { m->EngineRevs = FfMul(Fixed(fraction), m->MaxRevs); }

    // Updates until the change asked for is engaged, and the clutch is back in.
    void Engage()
    {
        for (int k = 0; k < 4 && (m->ShiftPending || m->ClutchOut); ++k)
            Update();
    }

    CarBody* b = nullptr;
    CarMechanics* m = nullptr;
};

TEST_F(CarControlTest, EveryCarSlotTakesASensitivityRow)
{
    struct Row
    {
        double rate, lock, gain;
    };
    const Row rows[3] = {{0.05, 0.5, 0.5}, {0.075, 1.0 / 3, 0.75}, {0.1, 0.25, 1.0}};
    struct Case
    {
        int choice0, choice1;
        int row0, row1;
    } cases[] = {{0, 2, 0, 2}, {1, 5, 1, 1}, {2, 0, 2, 0}};
    const int nSteeringByte = 100 + 2 * SETUP_STEERING + 1;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.choice0);
        gaTestGameData[PlayerByte(0, nSteeringByte)] = static_cast<uint8_t>(c.choice0);
        gaTestGameData[PlayerByte(1, nSteeringByte)] = static_cast<uint8_t>(c.choice1);
        TakeLog();
        CarControl_SetSteeringSensitivity();
        const std::string log = TakeLog();
        for (int nSlot = 0; nSlot < MAX_CARS; ++nSlot)
        {
            const int nChoice = nSlot == 0 ? c.choice0 : nSlot == 1 ? c.choice1 : 1;
            const Row& row = rows[nSlot == 0 ? c.row0 : nSlot == 1 ? c.row1 : 1];
            const SteeringSensitivity s = CarControl_GetSensitivityForTests(nSlot);
            EXPECT_NEAR(Units(s.xDigitalRate), row.rate, 1e-4) << nSlot;
            EXPECT_NEAR(Units(s.xLockFactor), row.lock, 1e-4) << nSlot;
            EXPECT_NEAR(Units(s.xAnalogueGain), row.gain, 1e-4) << nSlot;
            const std::string line =
                "Sensitivity " + std::to_string(nChoice) + " for player " + std::to_string(nSlot);
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        }
    }
}

TEST_F(CarControlTest, AnAutomaticBoxShiftsByTheRevsOnlyOnTheGround)
{
    for (int nMode : {0, 2})
    {
        SCOPED_TRACE(nMode);
        m->GearboxMode = nMode;
        m->Gear = 1;
        m->ShiftPending = m->ShiftTimer = m->ShiftDelay = 0;
        m->ClutchOut = 0;
        m->InputAccel = ONE;
        Revs(0.99);
        // In the air: the gear stays.
        for (uint8_t& off : b->PointOffGround)
            off = 1;
        for (int k = 0; k < 5; ++k)
            Update();
        EXPECT_EQ(m->Gear, 1);
        EXPECT_EQ(m->ShiftPending, 0);
        // One wheel down: up to second, the clutch out for two ticks.
        b->PointOffGround[3] = 0;
        Update();
        EXPECT_EQ(m->ShiftPending, 1);
        EXPECT_EQ(m->TargetGear, 2);
        Update();
        EXPECT_EQ(m->Gear, 2);
        EXPECT_EQ(m->ClutchOut, 1);
        Update();
        EXPECT_EQ(m->ClutchOut, 1);
        Update();
        EXPECT_EQ(m->ClutchOut, 0);
        // Nothing held: no change, however the revs.
        m->InputAccel = 0;
        Revs(0.2);
        Update();
        EXPECT_EQ(m->ShiftPending, 0);
    }
}

// A car starts in neutral: the automatic boxes put it into first when the accelerator is held
// (the revs alone would never leave neutral); the brake alone, or the manual box, leaves it
// there.
TEST_F(CarControlTest, TheAutomaticBoxesLeaveNeutralForFirstOnTheAccelerator)
{
    struct Case
    {
        int nMode;
        int32_t xAccel, xBrake;
        int nGear;
    };
    const Case cases[] = {
        {0, ONE, 0, 1}, {2, ONE, 0, 1}, {0, 0, ONE, 0}, {2, 0, ONE, 0}, {1, ONE, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "mode " << c.nMode << " accel " << c.xAccel);
        m->GearboxMode = c.nMode;
        m->Gear = 0;
        m->ShiftPending = m->ShiftTimer = m->ShiftDelay = 0;
        m->ClutchOut = 0;
        m->InputGearChange = 0;
        m->InputAccel = c.xAccel;
        m->InputBrake = c.xBrake;
        Revs(0.1);
        Update();
        Engage();
        EXPECT_EQ(m->Gear, c.nGear);
    }
}

TEST_F(CarControlTest, AChangeIsNotUndoneWithinTenTicks)
{
    struct Case
    {
        const char* name;
        uint8_t lastDirection; // 2 up, 1 down
        double revs;
        int firstAsked; // the update that asks for the change
        int target;
    } cases[] = {
        {"down after an up-shift", 2, 0.3, 10, 1},
        {"up after an up-shift", 2, 0.99, 1, 4},
        {"up after a down-shift", 1, 0.99, 10, 4},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        m->GearboxMode = 0;
        m->Gear = 3;
        m->ShiftPending = 0;
        m->ShiftTimer = 10;
        m->ShiftDirection = c.lastDirection;
        m->InputAccel = ONE;
        Revs(c.revs);
        int nAsked = 0;
        for (int k = 1; k <= 12 && nAsked == 0; ++k)
        {
            Update();
            if (m->ShiftPending)
                nAsked = k;
        }
        EXPECT_EQ(nAsked, c.firstAsked);
        EXPECT_EQ(m->TargetGear, c.target);
        EXPECT_EQ(m->ShiftTimer, 10);
    }
}

TEST_F(CarControlTest, TheManualBoxTakesTheDriversRequests)
{
    struct Case
    {
        int gear, request;
        int target; // -1: nothing asked
    } cases[] = {
        {0, 1, 1},  {1, 1, 2},  {5, 1, 6},   {6, 1, -1},  {7, 1, 1},
        {3, -1, 2}, {1, -1, 7}, {7, -1, -1}, {0, -1, -1}, {4, 0, -1},
    };
    m->GearboxMode = 1;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.gear << " " << c.request);
        m->Gear = static_cast<int8_t>(c.gear);
        m->ShiftPending = 0;
        Revs(0.5);
        m->InputGearChange = static_cast<int8_t>(c.request);
        Update();
        EXPECT_EQ(m->ShiftPending, c.target >= 0 ? 1 : 0);
        if (c.target < 0)
            continue;
        EXPECT_EQ(m->TargetGear, c.target);
        m->InputGearChange = 0;
        Engage();
        EXPECT_EQ(m->Gear, c.target);
    }
}

TEST_F(CarControlTest, ABrokenGearboxSkipsSecondOnceItsChancesAreSpent)
{
    struct Case
    {
        const char* name;
        int32_t damage;
        uint8_t chances;
        int gear, request;
        int target;
        uint8_t chancesAfter;
    } cases[] = {
        {"0.7 never skips", kGearboxBroken, 0, 1, 1, 2, 0},
        {"above 0.7 up from first", kGearboxBroken + 1, 0, 1, 1, 3, 5},
        {"above 0.7 down from third", kGearboxBroken + 1, 0, 3, -1, 1, 5},
        {"a chance left", kGearboxBroken + 1, 5, 1, 1, 2, 4},
        {"not into second", kGearboxBroken + 1, 0, 3, 1, 4, 0},
    };
    m->GearboxMode = 1;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        gaDamage[0].DamageValue[DAMAGE_VALUE_GEARBOX] = c.damage;
        m->GearboxDamageCounter = c.chances;
        m->Gear = static_cast<int8_t>(c.gear);
        m->ShiftPending = 0;
        m->InputGearChange = static_cast<int8_t>(c.request);
        Update();
        EXPECT_EQ(m->TargetGear, c.target);
        EXPECT_EQ(m->GearboxDamageCounter, c.chancesAfter);
    }

    // The automatic box by the revs: up from first past second.
    gaDamage[0].DamageValue[DAMAGE_VALUE_GEARBOX] = kGearboxBroken + 1;
    m->GearboxDamageCounter = 0;
    m->GearboxMode = 0;
    m->Gear = 1;
    m->ShiftPending = 0;
    m->InputGearChange = 0;
    m->InputAccel = ONE;
    Revs(0.99);
    Update();
    EXPECT_EQ(m->TargetGear, 3);
    EXPECT_EQ(m->GearboxDamageCounter, 5);
}

TEST_F(CarControlTest, TheBrakeSelectsReverseInFirstAtTheLowestRevsAndTheThrottleFirstAgain)
{
    m->GearboxMode = 2;
    struct Case
    {
        const char* name;
        int gear;
        int32_t revs;
        int32_t accel, brake;
        BOOL holding;
        int target; // -1: nothing asked
        int swap;
    } cases[] = {
        {"brake below 0.1", 1, 6552, 0, ONE, FALSE, 7, 1},
        {"brake at 0.1", 1, 6553, 0, ONE, FALSE, -1, 0},
        {"both pedals", 1, 0, ONE, ONE, FALSE, -1, 0},
        {"held at the start", 1, 0, 0, ONE, TRUE, -1, 0},
        {"second gear", 2, 0, 0, ONE, FALSE, 1, 0}, // the revs ask for first
        {"throttle in reverse", 7, 0, ONE, 0, FALSE, 1, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        m->Gear = static_cast<int8_t>(c.gear);
        m->ShiftPending = m->ShiftTimer = 0;
        m->InputSwap = c.gear == 7 ? 1 : 0;
        m->EngineRevs = c.revs;
        m->InputAccel = c.accel;
        m->InputBrake = c.brake;
        StartSeq_SetHoldingForTests(0, c.holding);
        Update();
        EXPECT_EQ(m->ShiftPending, c.target >= 0 ? 1 : 0);
        if (c.target >= 0)
        {
            EXPECT_EQ(m->TargetGear, c.target);
        }
        EXPECT_EQ(m->InputSwap, c.swap);
    }

    // In reverse by the brake the brake is the throttle and lights the reversing lamps, while
    // the accelerator would light the brake lamps.
    StartSeq_SetHoldingForTests(0, FALSE);
    m->Gear = 1;
    m->ShiftPending = 0;
    m->EngineRevs = 0;
    m->InputAccel = 0;
    m->InputBrake = ONE;
    Update();
    Engage();
    EXPECT_EQ(m->Gear, 7);
    Update();
    EXPECT_GT(m->Throttle, 0);
    EXPECT_EQ(m->BrakeInput, 0);
    EXPECT_EQ(b->Reversing, 1);
    EXPECT_EQ(b->BrakeLamp, 0);
}

TEST_F(CarControlTest, ThePedalsRampAlongASineAndTheThrottleFallsThreeTimesAsFast)
{
    struct Case
    {
        const char* name;
        int32_t CarMechanics::*input;
        int32_t CarMechanics::*ramp;
        int32_t CarMechanics::*pedal;
        int32_t CarMechanics::*rate;
        int ticksUp, ticksDown;
    } cases[] = {
        {"throttle", &CarMechanics::InputAccel, &CarMechanics::ThrottleRamp,
         &CarMechanics::Throttle, &CarMechanics::RampRateA, 21, 7},
        {"brake", &CarMechanics::InputBrake, &CarMechanics::BrakeRamp, &CarMechanics::BrakeInput,
         &CarMechanics::RampRateB, 21, 1},
        {"handbrake", &CarMechanics::InputHandbrake, &CarMechanics::HandbrakeRamp,
         &CarMechanics::HandbrakeTorque, &CarMechanics::RampRateC, 6, 1},
    };
    m->GearboxMode = 1; // no gear changes
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        m->*c.input = c.input == &CarMechanics::InputHandbrake ? 1 : ONE;
        int nUp = 0;
        do
        {
            Update();
            ++nUp;
            const int32_t xRamp = m->*c.ramp;
            ASSERT_EQ(xRamp, std::min(ONE, nUp * (m->*c.rate)));
            ASSERT_EQ(m->*c.pedal, xRamp == ONE ? ONE : FfMul(ONE, gaSinTable[FfMul(xRamp, 1024)]));
        } while (m->*c.pedal < ONE && nUp < 100);
        EXPECT_EQ(nUp, c.ticksUp);
        m->*c.input = 0;
        int nDown = 0;
        do
        {
            Update();
            ++nDown;
        } while (m->*c.ramp > 0 && nDown < 100);
        EXPECT_EQ(nDown, c.ticksDown);
        EXPECT_EQ(m->*c.pedal, 0);
    }
}

TEST_F(CarControlTest, TheFrontWheelsTurnFasterOnSlipperyGroundAndFromAnAxisAtOnce)
{
    // At a standstill the lock is the steering limit, 0.32 radians: 208 units.
    struct Case
    {
        const char* name;
        int16_t surface0, surface1;
        int32_t steeringFactor;
        int step; // units a tick: 34 + 34 x (1 - f)
    } cases[] = {
        {"tarmac", 0, 0, ONE, 40},
        {"unused ids", 3, 3, ONE, 34},
        {"tarmac and an unused id", 0, 3, ONE, 37},
        {"damaged steering", 0, 0, ONE / 2, 54},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        gaDamage[0].xSteeringFactor = c.steeringFactor;
        m->WheelSurface[0] = c.surface0;
        m->WheelSurface[1] = c.surface1;
        m->AnalogueSteer = 0;
        m->SteerPosition = ONE;
        m->SteerDirection = ONE;
        m->SteerAngle = 0;
        m->InputSteerLeft = ONE;
        m->InputSteerRight = 0;
        Update();
        EXPECT_EQ(m->TargetSteerAngle, -208);
        int nExpected = 0;
        for (int k = 0; k < 8; ++k)
        {
            nExpected = std::max(nExpected - c.step, -208);
            ASSERT_EQ(m->SteerAngle, nExpected) << k;
            Update();
        }
    }

    // An axis sets the wheels at once, right positive, by its gain (0.75 by default).
    gaDamage[0].xSteeringFactor = ONE;
    m->AnalogueSteer = 1;
    m->InputSteerLeft = 0;
    m->InputSteerRight = ONE / 2;
    Update();
    EXPECT_EQ(m->SteerAngle, 78); // 208 x 0.375
    EXPECT_EQ(m->SteerControl, -Fixed(0.375));
}

TEST_F(CarControlTest, DigitalSteeringCentresByItselfAndStopsAtTheCentre)
{
    m->WheelSurface[0] = m->WheelSurface[1] = 3; // no surface to slow it
    m->ControlByte = 0;
    m->InputSteerLeft = ONE;
    // 0.075 a tick at the default sensitivity.
    Update();
    EXPECT_EQ(m->SteerPosition, 4915);
    Update();
    EXPECT_EQ(m->SteerPosition, 2 * 4915);
    // Let go: back by the centring (0.05 a tick), never past the centre.
    m->InputSteerLeft = 0;
    Update();
    EXPECT_EQ(m->SteerPosition, 2 * 4915 - m->SteerRate);
    for (int k = 0; k < 3; ++k)
        Update();
    EXPECT_EQ(m->SteerPosition, 0);
    // Right, pressed against a left position: towards the centre with the centring.
    m->SteerPosition = ONE / 2;
    m->InputSteerRight = ONE;
    Update();
    EXPECT_EQ(m->SteerDirection, -ONE);
    EXPECT_EQ(m->SteerPosition, ONE / 2 - 4915 - m->SteerRate);
    // Straight from left to right the direction passes through none for a tick.
    m->InputSteerRight = 0;
    m->InputSteerLeft = ONE;
    Update();
    EXPECT_EQ(m->SteerDirection, 0); // from right to left through none too
    Update();
    EXPECT_EQ(m->SteerDirection, ONE);
    m->InputSteerLeft = 0;
    m->InputSteerRight = ONE;
    const int32_t xBefore = m->SteerPosition;
    Update();
    EXPECT_EQ(m->SteerDirection, 0);
    EXPECT_EQ(m->SteerPosition, xBefore - m->SteerRate);
    // With option bit 1 the rate falls towards full lock: a quarter at half lock.
    m->ControlByte = 2;
    m->InputSteerRight = 0;
    m->InputSteerLeft = ONE;
    m->SteerDirection = ONE;
    m->SteerPosition = ONE / 2;
    Update();
    EXPECT_EQ(m->SteerPosition, ONE / 2 + 4915 / 4);
}

TEST_F(CarControlTest, TheStartHoldsTheCarTheFinishSlowsItAndAParkedCarBrakes)
{
    // Not yet started: on full brakes and handbrake, not moving.
    m->Started = 0;
    b->Velocity = {ONE, 0, 0};
    b->AngularVelocity = {0, ONE, 0};
    CarControl_HoldCarAtStart(m, b, 0);
    EXPECT_EQ(m->BrakeInput, ONE);
    EXPECT_EQ(m->HandbrakeTorque, ONE);
    EXPECT_EQ(FfVecLength(&b->Velocity), 0);
    EXPECT_EQ(FfVecLength(&b->AngularVelocity), 0);
    const int16_t anList[1] = {0};
    const DK_VECTOR at = b->Position;
    m->InputAccel = ONE;
    for (int k = 0; k < 50; ++k)
        output += CaptureOutput([&] { drive::Tick(anList, 1); });
    EXPECT_EQ(m->Gear, 1) << "no gear changes";
    EXPECT_NEAR(Units(b->Position.x), Units(at.x), 1e-3);
    EXPECT_NEAR(Units(b->Position.z), Units(at.z), 1e-3);

    // The start sequence's hold: brakes on (off with reverse by the brake), no throttle.
    struct Hold
    {
        int swap;
        int32_t brake;
    } holds[] = {{0, ONE}, {1, 0}};
    m->Started = 1;
    StartSeq_SetHoldingForTests(0, TRUE);
    for (const Hold& h : holds)
    {
        m->InputSwap = h.swap;
        m->InputAccel = ONE;
        m->InputBrake = 7;
        b->Velocity = {ONE, 0, 0};
        CarControl_HoldCarAtStart(m, b, 0);
        EXPECT_EQ(m->InputBrake, h.brake);
        EXPECT_EQ(m->InputHandbrake, 1);
        EXPECT_EQ(m->InputAccel, 0);
        EXPECT_NEAR(Units(b->Velocity.x), 0.98, 1e-4);
    }
    StartSeq_SetHoldingForTests(0, FALSE);

    // Finished: the accelerator kept, the inputs cleared, the handbrake on once slow.
    m->Started = 1;
    b->Finished = 1;
    struct Finish
    {
        double speed;
        int handbrake;
    } finishes[] = {{0.2, 0}, {0.05, 1}};
    for (const Finish& f : finishes)
    {
        m->InputAccel = ONE / 2;
        m->InputBrake = ONE;
        m->InputHandbrake = 0;
        m->InputGearChange = 1;
        b->Speed = Fixed(f.speed);
        b->Velocity = {Fixed(f.speed), 0, 0};
        CarControl_HoldCarAtStart(m, b, 0);
        EXPECT_EQ(b->FinishAccel, ONE / 2);
        EXPECT_EQ(m->InputAccel, 0);
        EXPECT_EQ(m->InputBrake, 0);
        EXPECT_EQ(m->InputGearChange, 0);
        EXPECT_EQ(m->InputHandbrake, f.handbrake);
        EXPECT_NEAR(Units(b->Velocity.x), f.speed * 0.99, 1e-4);
    }

    // Parked: brakes and handbrake on, nothing else; not parked, untouched.
    m->InputSteerLeft = m->InputAccel = ONE;
    m->InputBrake = 0;
    CarControl_ClearInputs(b, m);
    EXPECT_EQ(m->InputAccel, ONE);
    b->Parked = 1;
    m->InputGearChange = -1;
    m->InputSecond = 1;
    CarControl_ClearInputs(b, m);
    EXPECT_EQ(m->InputSteerLeft, 0);
    EXPECT_EQ(m->InputSteerRight, 0);
    EXPECT_EQ(m->InputAccel, 0);
    EXPECT_EQ(m->InputBrake, ONE);
    EXPECT_EQ(m->InputHandbrake, 1);
    EXPECT_EQ(m->InputSecond, 0);
    EXPECT_EQ(m->InputGearChange, 0);
}

TEST_F(CarControlTest, ReducingTheThrottleTakesOnePercentOfTheMaximumAndItsCopy)
{
    CarControl_ReduceThrottle(m);
    EXPECT_EQ(m->MaxThrottle, 64880);
    EXPECT_EQ(m->MaxThrottleCopy, 64880);
    m->InputAccel = ONE;
    m->GearboxMode = 1;
    for (int k = 0; k < 25; ++k)
        Update();
    EXPECT_EQ(m->Throttle, 64880);
}

} // namespace
