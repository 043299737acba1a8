#include "platform/input/input.h"

#include <SDL.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/input/input_internal.h"

namespace
{

BOOL CollectDevice(const DIDEVICEINSTANCEA* instance, LPVOID ref)
{
    static_cast<std::vector<DIDEVICEINSTANCEA>*>(ref)->push_back(*instance);
    return DIENUM_CONTINUE;
}

std::vector<DIDEVICEINSTANCEA> Enumerate(IDirectInputA* di, DWORD flags)
{
    std::vector<DIDEVICEINSTANCEA> found;
    EXPECT_EQ(di->EnumDevices(DIDEVTYPE_JOYSTICK, CollectDevice, &found, flags), DI_OK);
    return found;
}

// The engine's set-up of the fake force-feedback joystick, acquired exclusively.
class FakeForceFeedback : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DiUseFakeHapticForTests(true);
        ASSERT_EQ(DirectInputCreateA(nullptr, DIRECTINPUT_VERSION, &di_, nullptr), DI_OK);
        std::vector<DIDEVICEINSTANCEA> found =
            Enumerate(di_, DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].dwSize, sizeof(DIDEVICEINSTANCEA));
        EXPECT_EQ(found[0].dwDevType, static_cast<DWORD>(DIDEVTYPE_JOYSTICK));
        IDirectInputDeviceA* first = nullptr;
        ASSERT_EQ(di_->CreateDevice(found[0].guidInstance, &first, nullptr), DI_OK);
        void* second = nullptr;
        ASSERT_EQ(first->QueryInterface(IID_IDirectInputDevice2A, &second), DI_OK);
        EXPECT_EQ(first->Release(), 1u);
        device_ = static_cast<IDirectInputDevice2A*>(second);
        ASSERT_EQ(device_->SetDataFormat(&c_dfDIJoystick), DI_OK);
        ASSERT_EQ(device_->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_BACKGROUND), DI_OK);
        ASSERT_EQ(device_->Acquire(), DI_OK);
        DiFakeClearRecords();
    }

    void TearDown() override
    {
        for (IDirectInputEffect* effect : effects_)
            effect->Release();
        if (device_ != nullptr)
        {
            device_->Unacquire();
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (di_ != nullptr)
        {
            EXPECT_EQ(di_->Release(), 0u);
        }
        DiUseFakeHapticForTests(false);
    }

    // A description the way the engine fills one: 2 axes by offset, polar or Cartesian.
    DIEFFECT Describe(DWORD coordinates, void* specific, DWORD bytes)
    {
        DIEFFECT e{};
        e.dwSize = sizeof e;
        e.dwFlags = DIEFF_OBJECTOFFSETS | coordinates;
        e.dwDuration = 1500000;
        e.dwSamplePeriod = 10000;
        e.dwGain = 10000;
        e.dwTriggerButton = DIEB_NOTRIGGER;
        e.cAxes = 2;
        e.rgdwAxes = axes_;
        e.rglDirection = direction_;
        e.lpEnvelope = coordinates == DIEFF_POLAR ? &envelope_ : nullptr;
        e.cbTypeSpecificParams = bytes;
        e.lpvTypeSpecificParams = specific;
        return e;
    }

    IDirectInputEffect* Create(const GUID& kind, const DIEFFECT& e)
    {
        IDirectInputEffect* effect = nullptr;
        EXPECT_EQ(device_->CreateEffect(kind, &e, &effect, nullptr), DI_OK);
        if (effect != nullptr)
            effects_.push_back(effect);
        return effect;
    }

    static DiFakeRecord Last(DiFakeOp op)
    {
        std::vector<DiFakeRecord> records = DiFakeRecords();
        for (auto it = records.rbegin(); it != records.rend(); ++it)
            if (it->op == op)
                return *it;
        ADD_FAILURE() << "no record of op " << static_cast<int>(op);
        return DiFakeRecord{};
    }

    static DWORD Status(IDirectInputEffect* effect)
    {
        DWORD status = 0xDEAD;
        EXPECT_EQ(effect->GetEffectStatus(&status), DI_OK);
        return status;
    }

    IDirectInputA* di_ = nullptr;
    IDirectInputDevice2A* device_ = nullptr;
    std::vector<IDirectInputEffect*> effects_;
    DWORD axes_[2] = {DIJOFS_X, DIJOFS_Y};
    LONG direction_[2] = {27000, 0};
    DIENVELOPE envelope_ = {sizeof(DIENVELOPE), 10000, 200000, 5000, 300000};
};

TEST_F(FakeForceFeedback, DeviceReportsForceFeedback)
{
    DIDEVCAPS caps{};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(device_->GetCapabilities(&caps), DI_OK);
    EXPECT_EQ(caps.dwFlags & (DIDC_ATTACHED | DIDC_FORCEFEEDBACK),
              DIDC_ATTACHED | DIDC_FORCEFEEDBACK);
    caps.dwSize = 40;
    EXPECT_EQ(device_->GetCapabilities(&caps), DIERR_INVALIDPARAM);
}

TEST_F(FakeForceFeedback, PeriodicKindsConvert)
{
    struct Case
    {
        const GUID* guid;
        Uint16 type;
    };
    const Case cases[] = {
        {&GUID_Sine, SDL_HAPTIC_SINE},
        {&GUID_Square, SDL_HAPTIC_LEFTRIGHT},
        {&GUID_Triangle, SDL_HAPTIC_TRIANGLE},
        {&GUID_SawtoothUp, SDL_HAPTIC_SAWTOOTHUP},
        {&GUID_SawtoothDown, SDL_HAPTIC_SAWTOOTHDOWN},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.type);
        DIPERIODIC periodic = {5000, -2000, 9000, 50000};
        DIEFFECT e = Describe(DIEFF_POLAR, &periodic, sizeof periodic);
        e.dwTriggerButton = DIJOFS_BUTTON(0);
        Create(*c.guid, e);
        const SDL_HapticPeriodic p = Last(DiFakeOp::Create).data.periodic;
        EXPECT_EQ(p.type, c.type);
        EXPECT_EQ(p.direction.type, SDL_HAPTIC_POLAR);
        EXPECT_EQ(p.direction.dir[0], 27000);
        EXPECT_EQ(p.length, 1500u);
        EXPECT_EQ(p.button, 1) << "button 0 is SDL's button 1; 0 is none";
        EXPECT_EQ(p.magnitude, 16383);
        EXPECT_EQ(p.offset, -6553);
        EXPECT_EQ(p.phase, 9000);
        EXPECT_EQ(p.period, 50);
        EXPECT_EQ(p.attack_length, 200);
        EXPECT_EQ(p.attack_level, 32767);
        EXPECT_EQ(p.fade_length, 300);
        EXPECT_EQ(p.fade_level, 16383);
    }
}

TEST_F(FakeForceFeedback, ConstantAndRampConvert)
{
    DICONSTANTFORCE constant = {-10000};
    direction_[0] = -9000; // the same as 27000
    Create(GUID_ConstantForce, Describe(DIEFF_POLAR, &constant, sizeof constant));
    SDL_HapticConstant c = Last(DiFakeOp::Create).data.constant;
    EXPECT_EQ(c.type, SDL_HAPTIC_CONSTANT);
    EXPECT_EQ(c.level, -32767);
    EXPECT_EQ(c.direction.dir[0], 27000);
    EXPECT_EQ(c.button, 0);

    DIRAMPFORCE ramp = {10000, -5000};
    Create(GUID_RampForce, Describe(DIEFF_POLAR, &ramp, sizeof ramp));
    SDL_HapticRamp r = Last(DiFakeOp::Create).data.ramp;
    EXPECT_EQ(r.type, SDL_HAPTIC_RAMP);
    EXPECT_EQ(r.start, 32767);
    EXPECT_EQ(r.end, -16383);
}

TEST_F(FakeForceFeedback, ConditionKindsConvertPerAxis)
{
    struct Case
    {
        const GUID* guid;
        Uint16 type;
    };
    const Case cases[] = {
        {&GUID_Spring, SDL_HAPTIC_SPRING},
        {&GUID_Damper, SDL_HAPTIC_DAMPER},
        {&GUID_Inertia, SDL_HAPTIC_INERTIA},
        {&GUID_Friction, SDL_HAPTIC_FRICTION},
    };
    direction_[0] = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.type);
        DICONDITION conditions[2] = {{1000, 5000, 5000, 10000, 10000, 0},
                                     {-1000, 2500, -2500, 5000, 10000, 10000}};
        Create(*c.guid, Describe(DIEFF_CARTESIAN, conditions, sizeof conditions));
        SDL_HapticCondition k = Last(DiFakeOp::Create).data.condition;
        EXPECT_EQ(k.type, c.type);
        EXPECT_EQ(k.direction.type, SDL_HAPTIC_CARTESIAN);
        EXPECT_EQ(k.center[0], 3276);
        EXPECT_EQ(k.center[1], -3276);
        EXPECT_EQ(k.right_coeff[0], 16383);
        EXPECT_EQ(k.left_coeff[1], -8191);
        EXPECT_EQ(k.right_sat[0], 65535);
        EXPECT_EQ(k.right_sat[1], 32767);
        EXPECT_EQ(k.deadband[0], 0);
        EXPECT_EQ(k.deadband[1], 32767);
    }
}

TEST_F(FakeForceFeedback, OneAxisConditionLandsOnThatAxis)
{
    // A spring on Y alone, as the engine makes one when the X coefficient is 0.
    axes_[0] = DIJOFS_Y;
    DICONDITION condition = {0, 500, 500, 10000, 10000, 0};
    DIEFFECT e = Describe(DIEFF_CARTESIAN, &condition, sizeof condition);
    e.cAxes = 1;
    Create(GUID_Spring, e);
    SDL_HapticCondition k = Last(DiFakeOp::Create).data.condition;
    EXPECT_EQ(k.right_coeff[0], 0);
    EXPECT_EQ(k.right_coeff[1], 1638);

    // Two conditions for one axis do not fit.
    DICONDITION two[2] = {condition, condition};
    e.cbTypeSpecificParams = sizeof two;
    e.lpvTypeSpecificParams = two;
    IDirectInputEffect* effect = nullptr;
    EXPECT_EQ(device_->CreateEffect(GUID_Spring, &e, &effect, nullptr), DIERR_INVALIDPARAM);
    EXPECT_EQ(effect, nullptr);
}

TEST_F(FakeForceFeedback, GainFoldsIntoEveryForce)
{
    DIPERIODIC periodic = {10000, 4000, 0, 100000};
    IDirectInputEffect* sine = Create(GUID_Sine, Describe(DIEFF_POLAR, &periodic, sizeof periodic));
    DICONDITION condition[2] = {{2000, 10000, 10000, 10000, 10000, 5000},
                                {0, 0, 0, 10000, 10000, 0}};
    IDirectInputEffect* spring =
        Create(GUID_Spring, Describe(DIEFF_CARTESIAN, condition, sizeof condition));

    DIEFFECT change{};
    change.dwSize = DIEFFECT_SIZE_32; // the engine's 32-bit size is taken too
    change.dwGain = 5000;
    ASSERT_EQ(sine->SetParameters(&change, DIEP_GAIN), DI_OK);
    SDL_HapticPeriodic p = Last(DiFakeOp::Update).data.periodic;
    EXPECT_EQ(p.magnitude, 16383);
    EXPECT_EQ(p.offset, 6553);
    EXPECT_EQ(p.attack_level, 16383);
    EXPECT_EQ(p.period, 100) << "what the change left alone stays";

    ASSERT_EQ(spring->SetParameters(&change, DIEP_GAIN), DI_OK);
    SDL_HapticCondition k = Last(DiFakeOp::Update).data.condition;
    EXPECT_EQ(k.right_coeff[0], 16383);
    EXPECT_EQ(k.right_sat[0], 32767);
    EXPECT_EQ(k.center[0], 6553) << "positions do not scale with gain";
    EXPECT_EQ(k.deadband[0], 16383);

    change.dwGain = 10001;
    EXPECT_EQ(sine->SetParameters(&change, DIEP_GAIN), DIERR_INVALIDPARAM);
}

TEST_F(FakeForceFeedback, ChangesCarryOnlyTheNamedFields)
{
    DIPERIODIC periodic = {10000, 0, 0, 20000};
    IDirectInputEffect* sine = Create(GUID_Sine, Describe(DIEFF_POLAR, &periodic, sizeof periodic));

    // Direction the way the engine sends it: polar over two axes.
    LONG direction[2] = {4500, 0};
    DIEFFECT change{};
    change.dwSize = sizeof change;
    change.dwFlags = DIEFF_OBJECTOFFSETS | DIEFF_POLAR;
    change.cAxes = 2;
    change.rglDirection = direction;
    change.dwGain = 2500;
    ASSERT_EQ(sine->SetParameters(&change, DIEP_DIRECTION | DIEP_GAIN), DI_OK);
    SDL_HapticPeriodic p = Last(DiFakeOp::Update).data.periodic;
    EXPECT_EQ(p.direction.dir[0], 4500);
    EXPECT_EQ(p.magnitude, 8191);
    EXPECT_EQ(p.length, 1500u);

    change.dwDuration = INFINITE;
    ASSERT_EQ(sine->SetParameters(&change, DIEP_DURATION), DI_OK);
    EXPECT_EQ(Last(DiFakeOp::Update).data.periodic.length, SDL_HAPTIC_INFINITY);

    DIPERIODIC weaker = {2000, 0, 18000, 20000};
    change.cbTypeSpecificParams = sizeof weaker;
    change.lpvTypeSpecificParams = &weaker;
    ASSERT_EQ(sine->SetParameters(&change, DIEP_TYPESPECIFICPARAMS), DI_OK);
    p = Last(DiFakeOp::Update).data.periodic;
    EXPECT_EQ(p.magnitude, 1638);
    EXPECT_EQ(p.phase, 18000);
    EXPECT_EQ(p.direction.dir[0], 4500);

    change.cbTypeSpecificParams = sizeof(DICONSTANTFORCE);
    EXPECT_EQ(sine->SetParameters(&change, DIEP_TYPESPECIFICPARAMS), DIERR_INVALIDPARAM);
}

TEST_F(FakeForceFeedback, StartStopAndStatus)
{
    DICONSTANTFORCE constant = {5000};
    DIEFFECT e = Describe(DIEFF_POLAR, &constant, sizeof constant);
    e.dwDuration = INFINITE;
    IDirectInputEffect* first = Create(GUID_ConstantForce, e);
    IDirectInputEffect* second = Create(GUID_ConstantForce, e);
    EXPECT_EQ(Last(DiFakeOp::Create).data.constant.length, SDL_HAPTIC_INFINITY);
    EXPECT_EQ(Status(first), 0u) << "created effects do not start";

    ASSERT_EQ(first->Start(1, 0), DI_OK);
    EXPECT_EQ(Last(DiFakeOp::Start).value, 1u);
    ASSERT_EQ(second->Start(INFINITE, 0), DI_OK);
    DiFakeRecord start = Last(DiFakeOp::Start);
    EXPECT_EQ(start.value, SDL_HAPTIC_INFINITY);
    EXPECT_EQ(start.effect, 1);
    EXPECT_EQ(Status(first), DIEGES_PLAYING);

    ASSERT_EQ(first->Stop(), DI_OK);
    EXPECT_EQ(Last(DiFakeOp::Stop).effect, 0);
    EXPECT_EQ(Status(first), 0u);
    EXPECT_EQ(Status(second), DIEGES_PLAYING);

    ASSERT_EQ(device_->SendForceFeedbackCommand(DISFFC_STOPALL), DI_OK);
    Last(DiFakeOp::StopAll);
    EXPECT_EQ(Status(second), 0u);

    EXPECT_EQ(first->Start(0, 0), DIERR_INVALIDPARAM);
    EXPECT_EQ(device_->SendForceFeedbackCommand(DISFFC_STOPALL | DISFFC_RESET), DIERR_INVALIDPARAM);

    // Effects play only on a device acquired exclusively.
    ASSERT_EQ(device_->Unacquire(), DI_OK);
    EXPECT_EQ(first->Start(1, 0), DIERR_NOTEXCLUSIVEACQUIRED);
    EXPECT_EQ(device_->SendForceFeedbackCommand(DISFFC_STOPALL), DIERR_NOTEXCLUSIVEACQUIRED);
}

TEST_F(FakeForceFeedback, ReleasingAnEffectDestroysIt)
{
    DICONSTANTFORCE constant = {5000};
    IDirectInputEffect* effect = nullptr;
    DIEFFECT e = Describe(DIEFF_POLAR, &constant, sizeof constant);
    ASSERT_EQ(device_->CreateEffect(GUID_ConstantForce, &e, &effect, nullptr), DI_OK);
    EXPECT_EQ(effect->Release(), 0u);
    EXPECT_EQ(Last(DiFakeOp::Destroy).effect, 0);
}

TEST_F(FakeForceFeedback, AutoCentre)
{
    DIPROPDWORD property{};
    property.diph.dwSize = sizeof property;
    property.diph.dwHeaderSize = sizeof property.diph;
    property.diph.dwHow = DIPH_DEVICE;
    property.dwData = DIPROPAUTOCENTER_OFF;
    ASSERT_EQ(device_->SetProperty(DIPROP_AUTOCENTER, &property.diph), DI_OK);
    EXPECT_EQ(Last(DiFakeOp::Autocenter).value, 0u);
    property.dwData = DIPROPAUTOCENTER_ON;
    ASSERT_EQ(device_->SetProperty(DIPROP_AUTOCENTER, &property.diph), DI_OK);
    EXPECT_EQ(Last(DiFakeOp::Autocenter).value, 100u);

    property.diph.dwHeaderSize = 20;
    EXPECT_EQ(device_->SetProperty(DIPROP_AUTOCENTER, &property.diph), DIERR_INVALIDPARAM);
}

TEST_F(FakeForceFeedback, BadEffectRequests)
{
    DICONSTANTFORCE constant = {5000};
    DIEFFECT e = Describe(DIEFF_POLAR, &constant, sizeof constant);
    IDirectInputEffect* effect = nullptr;
    EXPECT_EQ(device_->CreateEffect(IID_IDirectInputDevice2A, &e, &effect, nullptr),
              DIERR_DEVICENOTREG);
    DIEFFECT wrong = e;
    wrong.dwSize = 48;
    EXPECT_EQ(device_->CreateEffect(GUID_ConstantForce, &wrong, &effect, nullptr),
              DIERR_INVALIDPARAM);
    wrong = e;
    wrong.cAxes = 1; // polar needs two
    EXPECT_EQ(device_->CreateEffect(GUID_ConstantForce, &wrong, &effect, nullptr),
              DIERR_INVALIDPARAM);
    wrong = e;
    envelope_.dwSize = 16;
    EXPECT_EQ(device_->CreateEffect(GUID_ConstantForce, &wrong, &effect, nullptr),
              DIERR_INVALIDPARAM);
    EXPECT_EQ(effect, nullptr);
    EXPECT_TRUE(DiFakeRecords().empty());
}

TEST(DirectInputWithoutForceFeedback, FindsNothingAndCreatesNothing)
{
    // No joystick is attached in the test run, and the fake is off.
    DiUseFakeHapticForTests(false);
    IDirectInputA* di = nullptr;
    ASSERT_EQ(DirectInputCreateA(nullptr, DIRECTINPUT_VERSION, &di, nullptr), DI_OK);
    EXPECT_TRUE(Enumerate(di, DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK).empty());

    // The fake's device, offered while the fake was on, is gone with it.
    DiUseFakeHapticForTests(true);
    std::vector<DIDEVICEINSTANCEA> fake = Enumerate(di, DIEDFL_ATTACHEDONLY);
    ASSERT_EQ(fake.size(), 1u);
    DiUseFakeHapticForTests(false);
    IDirectInputDeviceA* device = nullptr;
    EXPECT_EQ(di->CreateDevice(fake[0].guidInstance, &device, nullptr), DIERR_DEVICENOTREG);
    EXPECT_EQ(di->CreateDevice(GUID_Sine, &device, nullptr), DIERR_DEVICENOTREG);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(di->Release(), 0u);
}

TEST(DirectInputWithoutForceFeedback, PlainJoysticksAreListedWithoutForceFeedback)
{
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 12, 0);
    ASSERT_GE(index, 0);
    SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(index);

    IDirectInputA* di = nullptr;
    ASSERT_EQ(DirectInputCreateA(nullptr, DIRECTINPUT_VERSION, &di, nullptr), DI_OK);
    std::vector<DIDEVICEINSTANCEA> all = Enumerate(di, DIEDFL_ATTACHEDONLY);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_TRUE(Enumerate(di, DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK).empty());

    IDirectInputDeviceA* device = nullptr;
    ASSERT_EQ(di->CreateDevice(all[0].guidInstance, &device, nullptr), DI_OK);
    DIDEVCAPS caps{};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(device->GetCapabilities(&caps), DI_OK);
    EXPECT_EQ(caps.dwFlags & DIDC_FORCEFEEDBACK, 0u);
    EXPECT_EQ(caps.dwButtons, 12u);
    void* second = nullptr;
    ASSERT_EQ(device->QueryInterface(IID_IDirectInputDevice2A, &second), DI_OK);
    auto* device2 = static_cast<IDirectInputDevice2A*>(second);
    DICONSTANTFORCE constant = {5000};
    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG direction[2] = {0, 0};
    DIEFFECT e{sizeof(DIEFFECT),
               DIEFF_OBJECTOFFSETS | DIEFF_POLAR,
               1000000,
               0,
               10000,
               DIEB_NOTRIGGER,
               0,
               2,
               axes,
               direction,
               nullptr,
               sizeof constant,
               &constant};
    IDirectInputEffect* effect = nullptr;
    EXPECT_EQ(device2->CreateEffect(GUID_ConstantForce, &e, &effect, nullptr), DIERR_UNSUPPORTED);
    EXPECT_EQ(device2->Release(), 1u);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(di->Release(), 0u);

    for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickGetDeviceInstanceID(i) == instance)
            SDL_JoystickDetachVirtual(i);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

} // namespace
