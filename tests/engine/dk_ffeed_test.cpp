// Force feedback through the recording fake joystick: what reaches the device is read back as
// the fake's converted SDL effect.

#include "engine/pc/input/dk_ffeed.h"

#include <SDL.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/core/main.h"
#include "platform/input/input_internal.h"
#include "tests/support/engine_test.h"
#include "platform/win/win.h"

namespace
{

constexpr HRESULT kInvalid = static_cast<HRESULT>(0x80070057u);

// The fake's scale: -10000..10000 to -32767..32767, at full gain unless given.
Sint16 Force(int value, int gain = 10000)
{
    return static_cast<Sint16>(int64_t{value} * gain * 32767 / (int64_t{10000} * 10000));
}

// A window, and the fake force-feedback joystick; the derived fixture initialises on it.
class WindowTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        DiUseFakeHapticForTests(true);
        ASSERT_TRUE(InitGameWindow(nullptr, &ghWnd, "FF Test", DefWindowProcA));
    }
    void TearDown() override
    {
        CaptureOutput([] { DkCallAllDestructors(); });
        DiUseFakeHapticForTests(false);
        LoggedTest::TearDown();
    }

    static std::vector<DiFakeRecord> Of(DiFakeOp op)
    {
        std::vector<DiFakeRecord> found;
        for (const DiFakeRecord& r : DiFakeRecords())
            if (r.op == op)
                found.push_back(r);
        return found;
    }
    static DiFakeRecord Last(DiFakeOp op)
    {
        std::vector<DiFakeRecord> found = Of(op);
        if (found.empty())
        {
            ADD_FAILURE() << "no record of op " << static_cast<int>(op);
            return DiFakeRecord{};
        }
        return found.back();
    }
};

class ForceFeedbackTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_EQ(DkInitForceFeedback(), 1);
    }

    // A constant force of 5000 from 27000, 1.5 s, no envelope levels.
    static HRESULT Constant(int trigger = DK_FF_NO_TRIGGER)
    {
        return DkCreateConstantForceEffect(1500000, 27000, 5000, 0, 0, 0, 0, trigger);
    }
};

TEST_F(ForceFeedbackTest, InitialisingStopsAllEffectsAndASecondInitKeepsTheDevice)
{
    EXPECT_TRUE(DkIsForceFeedbackInitialised());
    EXPECT_EQ(Of(DiFakeOp::StopAll).size(), 1u);
    ASSERT_EQ(Constant(), DI_OK);
    DiFakeClearRecords();
    int result = 0;
    std::string out = CaptureOutput([&] { result = DkInitForceFeedback(); });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(Reported(out, "Force feedback already initialized !")) << out;
    EXPECT_TRUE(DiFakeRecords().empty()) << "no new device, no stop, no effect released";
    EXPECT_EQ(DkSetEffectGain(0, 5000), DI_OK);
    ASSERT_EQ(Constant(), DI_OK);
    EXPECT_EQ(Last(DiFakeOp::Create).effect, 1) << "the slots go on";
}

TEST_F(WindowTest, CallsBeforeInitialisationAreRefusedAndTouchNothing)
{
    const std::function<HRESULT()> calls[] = {
        [] { return DkCreatePeriodicEffect(1, 1000, 1000, 0, 10000, 0, 0, 0, 0, 0, -1); },
        [] { return DkCreateConstantForceEffect(1000, 0, 10000, 0, 0, 0, 0, -1); },
        [] { return DkCreateRampForceEffect(1000, 0, 0, 10000, 0, 0, 0, 0, -1); },
        [] { return DkCreateSpringEffect(1000, 100, 0, 100, 0, -1); },
        [] { return DkCreateFrictionEffect(1000, 100, 100, -1); },
        [] { return DkCreateDamperEffect(1000, 100, 0, -1); },
        [] { return DkCreateStoredSpringEffect(1000, 100, 0, -1); },
        [] { return DkSetEffectGain(0, 100); },
        [] { return DkSetEffectDirection(0, 100); },
        [] { return DkSetEffectParams(0, 100, 100); },
        [] { return DkSetEffectCoefficient(0, 100); },
    };
    for (const auto& call : calls)
        EXPECT_EQ(call(), kInvalid);
    DkStartEffect(0);
    DkStopEffect(0);
    DkStopAllEffects();
    DkSetForceFeedbackAutoCenter(1);
    EXPECT_TRUE(DiFakeRecords().empty());
}

TEST_F(ForceFeedbackTest, PeriodicKindsGiveTheirWaveAndPhase)
{
    struct Case
    {
        int kind;
        Uint16 type;
        Uint16 phase;
    };
    const Case cases[] = {
        {1, SDL_HAPTIC_SINE, 0},       {2, SDL_HAPTIC_SINE, 9000},
        {3, SDL_HAPTIC_LEFTRIGHT, 0},  {4, SDL_HAPTIC_LEFTRIGHT, 18000}, // the fake's square
        {5, SDL_HAPTIC_TRIANGLE, 0},   {6, SDL_HAPTIC_TRIANGLE, 18000},
        {7, SDL_HAPTIC_SAWTOOTHUP, 0}, {8, SDL_HAPTIC_SAWTOOTHDOWN, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.kind);
        ASSERT_EQ(DkCreatePeriodicEffect(c.kind, 2000000, 50000, 9000, 6000, -1000, 100000, 8000,
                                         300000, 2000, -1),
                  DI_OK);
        const SDL_HapticPeriodic& p = Last(DiFakeOp::Create).data.periodic;
        EXPECT_EQ(p.type, c.type);
        EXPECT_EQ(p.phase, c.phase);
        EXPECT_EQ(p.direction.type, SDL_HAPTIC_POLAR);
        EXPECT_EQ(p.direction.dir[0], 9000);
        EXPECT_EQ(p.length, 2000u);
        EXPECT_EQ(p.period, 50);
        EXPECT_EQ(p.magnitude, Force(6000));
        EXPECT_EQ(p.offset, Force(-1000));
        EXPECT_EQ(p.attack_length, 100);
        EXPECT_EQ(p.attack_level, Force(8000));
        EXPECT_EQ(p.fade_length, 300);
        EXPECT_EQ(p.fade_level, Force(2000));
        EXPECT_EQ(p.button, 0) << "no trigger";
    }
    DiFakeClearRecords();
    for (int kind : {0, 9, 10, 11, -1})
        EXPECT_EQ(DkCreatePeriodicEffect(kind, 1000, 1000, 0, 100, 0, 0, 0, 0, 0, -1), kInvalid)
            << kind;
    EXPECT_TRUE(Of(DiFakeOp::Create).empty());
}

TEST_F(ForceFeedbackTest, TriggerButtonIsTheButtonsOffsetOrNone)
{
    // The fake turns offset 48 + n into SDL button n + 1 and no trigger into 0.
    struct Case
    {
        int trigger;
        Uint16 button;
    };
    const Case cases[] = {{-1, 0}, {0, 1}, {3, 4}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.trigger);
        ASSERT_EQ(Constant(c.trigger), DI_OK);
        EXPECT_EQ(Last(DiFakeOp::Create).data.constant.button, c.button);
        ASSERT_EQ(DkCreateSpringEffect(1000, 100, 0, 0, 0, c.trigger), DI_OK);
        EXPECT_EQ(Last(DiFakeOp::Create).data.condition.button, c.button);
        ASSERT_EQ(DkCreateDamperEffect(1000, 100, 0, c.trigger), DI_OK);
        EXPECT_EQ(Last(DiFakeOp::Create).data.condition.button, c.button);
    }
}

TEST_F(ForceFeedbackTest, ConstantAndRampForcesArePolarWithAnEnvelope)
{
    ASSERT_EQ(DkCreateConstantForceEffect(1500000, 27000, 5000, 200000, 10000, 300000, 5000, -1),
              DI_OK);
    const SDL_HapticConstant& c = Last(DiFakeOp::Create).data.constant;
    EXPECT_EQ(c.type, SDL_HAPTIC_CONSTANT);
    EXPECT_EQ(c.direction.type, SDL_HAPTIC_POLAR);
    EXPECT_EQ(c.direction.dir[0], 27000);
    EXPECT_EQ(c.length, 1500u);
    EXPECT_EQ(c.level, Force(5000));
    EXPECT_EQ(c.attack_length, 200);
    EXPECT_EQ(c.attack_level, Force(10000));
    EXPECT_EQ(c.fade_length, 300);
    EXPECT_EQ(c.fade_level, Force(5000));

    ASSERT_EQ(DkCreateRampForceEffect(1000000, 4500, -3000, 7000, 0, 0, 0, 0, -1), DI_OK);
    const SDL_HapticRamp& r = Last(DiFakeOp::Create).data.ramp;
    EXPECT_EQ(r.type, SDL_HAPTIC_RAMP);
    EXPECT_EQ(r.direction.dir[0], 4500);
    EXPECT_EQ(r.start, Force(-3000));
    EXPECT_EQ(r.end, Force(7000));
}

TEST_F(ForceFeedbackTest, ConditionsUseTheAxesWithACoefficient)
{
    struct Case
    {
        const char* name;
        std::function<HRESULT()> create;
        Uint16 type;
        bool x, y; // axes in use
        Sint16 coeffX, coeffY, centreX, centreY;
    };
    const Case cases[] = {
        {"spring on Y only", [] { return DkCreateSpringEffect(1000, 0, 300, 500, -200, -1); },
         SDL_HAPTIC_SPRING, false, true, 0, Force(500), 0, Force(-200)},
        {"damper on X only", [] { return DkCreateDamperAxesEffect(1000, 700, 100, 0, 50, -1); },
         SDL_HAPTIC_DAMPER, true, false, Force(700), 0, Force(100), 0},
        {"inertia on both", [] { return DkCreateInertiaEffect(1000, 700, 100, -400, 50, -1); },
         SDL_HAPTIC_INERTIA, true, true, Force(700), Force(-400), Force(100), Force(50)},
        {"friction with no coefficient", [] { return DkCreateFrictionEffect(1000, 0, 0, -1); },
         SDL_HAPTIC_FRICTION, true, true, 0, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.create(), DI_OK);
        const SDL_HapticCondition& d = Last(DiFakeOp::Create).data.condition;
        EXPECT_EQ(d.type, c.type);
        EXPECT_EQ(d.direction.type, SDL_HAPTIC_CARTESIAN);
        EXPECT_EQ(d.length, 1u);
        // Saturations are 10000 (65535 in SDL) on the axes in use and 0 elsewhere.
        EXPECT_EQ(d.right_sat[0], c.x ? 65535 : 0);
        EXPECT_EQ(d.left_sat[1], c.y ? 65535 : 0);
        EXPECT_EQ(d.right_coeff[0], c.coeffX);
        EXPECT_EQ(d.left_coeff[0], c.coeffX);
        EXPECT_EQ(d.right_coeff[1], c.coeffY);
        EXPECT_EQ(d.left_coeff[1], c.coeffY);
        EXPECT_EQ(d.center[0], c.centreX);
        EXPECT_EQ(d.center[1], c.centreY);
        EXPECT_EQ(d.deadband[0], 0);
    }
}

TEST_F(ForceFeedbackTest, ChangesCarryOnlyTheirOwnFields)
{
    ASSERT_EQ(Constant(), DI_OK); // slot 0: 5000 from 27000 for 1.5 s
    struct Case
    {
        const char* name;
        std::function<HRESULT()> change;
        Sint16 level;
        Uint16 direction;
        Uint32 length;
    };
    const Case cases[] = {
        {"gain", [] { return DkSetEffectGain(0, 5000); }, Force(5000, 5000), 27000, 1500},
        {"direction", [] { return DkSetEffectDirection(0, 9000); }, Force(5000, 5000), 9000, 1500},
        {"duration", [] { return DkSetEffectDuration(0, 2000000); }, Force(5000, 5000), 9000, 2000},
        {"sample period", [] { return DkSetEffectSamplePeriod(0, 20000); }, Force(5000, 5000), 9000,
         2000},
        {"direction and gain", [] { return DkSetEffectDirectionAndMagnitude(0, 2000, 18000); },
         Force(5000, 2000), 18000, 2000},
        {"gain and sample period", [] { return DkSetEffectParams(0, 10000, 5000); }, Force(5000),
         18000, 2000},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.change(), DI_OK);
        const SDL_HapticConstant& e = Last(DiFakeOp::Update).data.constant;
        EXPECT_EQ(e.level, c.level);
        EXPECT_EQ(e.direction.dir[0], c.direction);
        EXPECT_EQ(e.length, c.length);
    }
}

TEST_F(ForceFeedbackTest, CoefficientReplacesOnlyTheStoredCondition)
{
    ASSERT_EQ(DkCreateDamperEffect(1000000, 1000, 200, -1), DI_OK);
    const SDL_HapticCondition& created = Last(DiFakeOp::Create).data.condition;
    EXPECT_EQ(created.type, SDL_HAPTIC_DAMPER);
    EXPECT_EQ(created.right_coeff[0], Force(1000));
    EXPECT_EQ(created.center[0], Force(200));
    EXPECT_EQ(created.right_sat[1], 0) << "one axis, X";
    // A gain and duration changed since creation survive: only the condition is sent.
    ASSERT_EQ(DkSetEffectGain(0, 5000), DI_OK);
    ASSERT_EQ(DkSetEffectDuration(0, 3000000), DI_OK);
    ASSERT_EQ(DkSetEffectCoefficient(0, 2000), DI_OK);
    const SDL_HapticCondition& d = Last(DiFakeOp::Update).data.condition;
    EXPECT_EQ(d.right_coeff[0], Force(2000, 5000));
    EXPECT_EQ(d.left_coeff[0], Force(2000, 5000));
    EXPECT_EQ(d.center[0], 0);
    EXPECT_EQ(d.right_sat[0], 32767) << "10000 at gain 5000";
    EXPECT_EQ(d.length, 3000u);

    ASSERT_EQ(DkCreateStoredSpringEffect(1000000, 300, 0, -1), DI_OK);
    EXPECT_EQ(Last(DiFakeOp::Create).data.condition.type, SDL_HAPTIC_SPRING);
    ASSERT_EQ(DkSetEffectCoefficient(1, -600), DI_OK);
    EXPECT_EQ(Last(DiFakeOp::Update).effect, 1);
    EXPECT_EQ(Last(DiFakeOp::Update).data.condition.right_coeff[0], Force(-600));
}

TEST_F(ForceFeedbackTest, EmptyAndOutOfRangeSlotsAreRefused)
{
    ASSERT_EQ(Constant(), DI_OK);
    DiFakeClearRecords();
    for (int slot : {-1, 1, 9, 10})
    {
        SCOPED_TRACE(slot);
        EXPECT_EQ(DkSetEffectGain(slot, 100), kInvalid);
        EXPECT_EQ(DkSetEffectDirection(slot, 100), kInvalid);
        EXPECT_EQ(DkSetEffectDuration(slot, 100), kInvalid);
        EXPECT_EQ(DkSetEffectSamplePeriod(slot, 100), kInvalid);
        EXPECT_EQ(DkSetEffectDirectionAndMagnitude(slot, 100, 100), kInvalid);
        EXPECT_EQ(DkSetEffectParams(slot, 100, 100), kInvalid);
        EXPECT_EQ(DkSetEffectCoefficient(slot, 100), kInvalid);
        DkStartEffect(slot);
        DkStopEffect(slot);
    }
    EXPECT_TRUE(DiFakeRecords().empty());
}

TEST_F(ForceFeedbackTest, TenEffectsFitAndTheEleventhIsRefused)
{
    for (int i = 0; i < DK_MAX_FF_EFFECTS; ++i)
        ASSERT_EQ(i % 2 ? Constant() : DkCreateDamperEffect(1000, 100, 0, -1), DI_OK) << i;
    DiFakeClearRecords();
    EXPECT_EQ(Constant(), kInvalid);
    EXPECT_EQ(DkCreateDamperEffect(1000, 100, 0, -1), kInvalid);
    EXPECT_EQ(DkCreateSpringEffect(1000, 100, 0, 100, 0, -1), kInvalid);
    EXPECT_TRUE(Of(DiFakeOp::Create).empty());
    EXPECT_EQ(DkSetEffectGain(9, 100), DI_OK) << "the tenth is in slot 9";

    // Releasing all starts again from slot 0.
    DkReleaseAllEffects();
    EXPECT_EQ(Of(DiFakeOp::Destroy).size(), 10u);
    EXPECT_EQ(DkSetEffectGain(0, 100), kInvalid);
    ASSERT_EQ(Constant(), DI_OK);
    EXPECT_EQ(DkSetEffectGain(0, 100), DI_OK);
    EXPECT_EQ(DkSetEffectGain(1, 100), kInvalid);
}

TEST_F(ForceFeedbackTest, FailedCreationUsesUpItsSlotAndLeavesItEmpty)
{
    ASSERT_EQ(Constant(), DI_OK);
    DiFakeFailCreateEffect(DIERR_DEVICEFULL);
    EXPECT_EQ(Constant(), DIERR_DEVICEFULL) << "the device's code comes back unchanged";
    EXPECT_EQ(DkCreateDamperEffect(1000, 100, 0, -1), DIERR_DEVICEFULL);
    DiFakeFailCreateEffect(DI_OK);
    ASSERT_EQ(Constant(), DI_OK);
    DiFakeClearRecords();
    for (int slot : {1, 2})
    {
        SCOPED_TRACE(slot);
        EXPECT_EQ(DkSetEffectGain(slot, 100), kInvalid);
        EXPECT_EQ(DkSetEffectCoefficient(slot, 100), kInvalid);
        DkStartEffect(slot);
    }
    EXPECT_TRUE(DiFakeRecords().empty());
    EXPECT_EQ(DkSetEffectGain(3, 100), DI_OK) << "the next create took slot 3";
}

TEST_F(ForceFeedbackTest, StartingAPlayingEffectDoesNotRestartIt)
{
    ASSERT_EQ(Constant(), DI_OK);
    DkStartEffect(0);
    ASSERT_EQ(Of(DiFakeOp::Start).size(), 1u);
    EXPECT_EQ(Last(DiFakeOp::Start).value, 1u) << "one iteration";
    DkStartEffect(0);
    EXPECT_EQ(Of(DiFakeOp::Start).size(), 1u);
    DkStopEffect(0);
    EXPECT_EQ(Of(DiFakeOp::Stop).size(), 1u);
    DkStartEffect(0);
    EXPECT_EQ(Of(DiFakeOp::Start).size(), 2u);
    DkStopAllEffects();
    DkStartEffect(0);
    EXPECT_EQ(Of(DiFakeOp::Start).size(), 3u) << "stopping all stops this one too";
    DkSetForceFeedbackAutoCenter(1);
    EXPECT_EQ(Last(DiFakeOp::Autocenter).value, 100u);
}

TEST_F(ForceFeedbackTest, DestructorRunsOnceAndReleasesEverything)
{
    ASSERT_EQ(Constant(), DI_OK);
    ASSERT_EQ(Constant(), DI_OK);
    DiFakeClearRecords();
    CaptureOutput([] { DkCallAllDestructors(); });
    EXPECT_EQ(Of(DiFakeOp::Destroy).size(), 2u);
    EXPECT_FALSE(DkIsForceFeedbackInitialised());
    EXPECT_TRUE(DkForceFeedbackDestructor());
    EXPECT_EQ(Of(DiFakeOp::Destroy).size(), 2u);
    EXPECT_EQ(DkSetEffectGain(0, 100), kInvalid);
    EXPECT_EQ(Constant(), kInvalid);
    EXPECT_EQ(CountOf(Log(), "Force Feedback Destructor done"), 1);
}

TEST_F(WindowTest, DeviceCreationRefusesMissingArguments)
{
    IDirectInputA* di = nullptr;
    IDirectInputDevice2A* device = nullptr;
    EXPECT_EQ(DkCreateForceFeedbackDevice(nullptr, &di, &device), kInvalid);
    EXPECT_EQ(DkCreateForceFeedbackDevice(ghWnd, nullptr, &device), kInvalid);
    EXPECT_EQ(DkCreateForceFeedbackDevice(ghWnd, &di, nullptr), kInvalid);
    // Without a force-feedback joystick there is nothing to initialise.
    DiUseFakeHapticForTests(false);
    EXPECT_EQ(DkInitForceFeedback(), 0);
    EXPECT_FALSE(DkIsForceFeedbackInitialised());
}

} // namespace
