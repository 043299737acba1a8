#include "engine/pc/input/dk_ffeed.h"

#include <cstring>

#include "engine/common/destruct.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/main.h"
#include "platform/input/input.h"

namespace
{

constexpr DWORD kPolarFlags = DIEFF_OBJECTOFFSETS | DIEFF_POLAR;         // 0x22
constexpr DWORD kCartesianFlags = DIEFF_OBJECTOFFSETS | DIEFF_CARTESIAN; // 0x12
constexpr DWORD kSamplePeriod = 10000;
constexpr DWORD kFullGain = 10000;

struct PeriodicKind
{
    const GUID* guid;
    DWORD phase;
};
// Kinds 1..8.
const PeriodicKind kPeriodicKinds[8] = {
    {&GUID_Sine, 0},     {&GUID_Sine, 9000},      {&GUID_Square, 0},     {&GUID_Square, 18000},
    {&GUID_Triangle, 0}, {&GUID_Triangle, 18000}, {&GUID_SawtoothUp, 0}, {&GUID_SawtoothDown, 0},
};
// Kinds 11..14.
const GUID* const kConditionKinds[4] = {&GUID_Spring, &GUID_Inertia, &GUID_Damper, &GUID_Friction};

BOOL gboInitialised = FALSE;
BOOL gboDestroyed = FALSE;
IDirectInputA* gpDirectInput = nullptr;
IDirectInputDevice2A* gpDevice = nullptr;
IDirectInputEffect* gapEffects[DK_MAX_FF_EFFECTS];
int gnNextEffect = 0;
DWORD guLastStatus = 0;

// The stored conditions, whose strength DkSetEffectCoefficient changes later.
DICONDITION gaStoredConditions[DK_MAX_FF_EFFECTS];
DIEFFECT gaStoredEffects[DK_MAX_FF_EFFECTS];

DWORD gaPolarAxes[2] = {DIJOFS_X, DIJOFS_Y};

DWORD Trigger(int nTrigger)
{
    return nTrigger < 0 ? DIEB_NOTRIGGER : static_cast<DWORD>(DIJOFS_BUTTON(nTrigger));
}

DIEFFECT Description(DWORD dwFlags, uint32_t uDuration, int nTrigger)
{
    DIEFFECT effect{};
    effect.dwSize = DIEFFECT_SIZE_32;
    effect.dwFlags = dwFlags;
    effect.dwDuration = uDuration;
    effect.dwSamplePeriod = kSamplePeriod;
    effect.dwGain = kFullGain;
    effect.dwTriggerButton = Trigger(nTrigger);
    effect.dwTriggerRepeatInterval = 0;
    return effect;
}

// Takes the next slot (it moves on whether or not the effect is made) and creates the effect
// there. A slot whose creation failed stays empty, so later calls see no effect in it.
HRESULT CreateInNextSlot(const GUID& guid, const DIEFFECT& description)
{
    if (!gboInitialised || gpDevice == nullptr)
        return DIERR_INVALIDPARAM;
    if (gnNextEffect >= DK_MAX_FF_EFFECTS)
        return DIERR_INVALIDPARAM;
    int slot = gnNextEffect++;
    if (gapEffects[slot] != nullptr)
    {
        gapEffects[slot]->Release();
        gapEffects[slot] = nullptr;
    }
    IDirectInputEffect* effect = nullptr;
    HRESULT hr = gpDevice->CreateEffect(guid, &description, &effect, nullptr);
    gapEffects[slot] = hr == DI_OK ? effect : nullptr;
    if (hr != DI_OK && effect != nullptr)
        effect->Release();
    return hr;
}

HRESULT CreatePolar(const GUID& guid, uint32_t uDuration, int32_t nDirection, uint32_t uAttackTime,
                    uint32_t uAttackLevel, uint32_t uFadeTime, uint32_t uFadeLevel, int nTrigger,
                    void* pSpecific, DWORD cbSpecific)
{
    LONG direction[2] = {nDirection, 0};
    DIENVELOPE envelope = {sizeof(DIENVELOPE), uAttackLevel, uAttackTime, uFadeLevel, uFadeTime};
    DIEFFECT effect = Description(kPolarFlags, uDuration, nTrigger);
    effect.cAxes = 2;
    effect.rgdwAxes = gaPolarAxes;
    effect.rglDirection = direction;
    effect.lpEnvelope = &envelope;
    effect.cbTypeSpecificParams = cbSpecific;
    effect.lpvTypeSpecificParams = pSpecific;
    return CreateInNextSlot(guid, effect);
}

DICONDITION Condition(int32_t nOffset, int32_t nCoefficient)
{
    return DICONDITION{nOffset, nCoefficient, nCoefficient, 10000, 10000, 0};
}

// A condition on the axes whose coefficient is not 0 (both when both are 0).
HRESULT CreateConditionEffect(int nKind, uint32_t uDuration, int32_t nXCoefficient,
                              int32_t nXOffset, int32_t nYCoefficient, int32_t nYOffset,
                              int nTrigger)
{
    if (nKind < 11 || nKind > 14)
        return DIERR_INVALIDPARAM;
    DWORD axes[2];
    DICONDITION conditions[2];
    DWORD count = 0;
    bool both = nXCoefficient == 0 && nYCoefficient == 0;
    if (nXCoefficient != 0 || both)
    {
        axes[count] = DIJOFS_X;
        conditions[count++] = Condition(nXOffset, nXCoefficient);
    }
    if (nYCoefficient != 0 || both)
    {
        axes[count] = DIJOFS_Y;
        conditions[count++] = Condition(nYOffset, nYCoefficient);
    }
    LONG direction[2] = {0, 0};
    DIEFFECT effect = Description(kCartesianFlags, uDuration, nTrigger);
    effect.cAxes = count;
    effect.rgdwAxes = axes;
    effect.rglDirection = direction;
    effect.cbTypeSpecificParams = count * sizeof(DICONDITION);
    effect.lpvTypeSpecificParams = conditions;
    return CreateInNextSlot(*kConditionKinds[nKind - 11], effect);
}

HRESULT CreateStoredConditionEffect(int nKind, uint32_t uDuration, int32_t nCoefficient,
                                    int32_t nOffset, int nTrigger)
{
    if (!gboInitialised || gpDevice == nullptr || gnNextEffect >= DK_MAX_FF_EFFECTS)
        return DIERR_INVALIDPARAM;
    int slot = gnNextEffect;
    static DWORD axis = DIJOFS_X;
    static LONG direction = 0;
    gaStoredConditions[slot] = Condition(nOffset, nCoefficient);
    DIEFFECT& effect = gaStoredEffects[slot];
    effect = Description(kCartesianFlags, uDuration, nTrigger);
    effect.cAxes = 1;
    effect.rgdwAxes = &axis;
    effect.rglDirection = &direction;
    effect.cbTypeSpecificParams = sizeof(DICONDITION);
    effect.lpvTypeSpecificParams = &gaStoredConditions[slot];
    return CreateInNextSlot(*kConditionKinds[nKind - 11], effect);
}

IDirectInputEffect* Effect(int nSlot)
{
    if (!gboInitialised || nSlot < 0 || nSlot >= DK_MAX_FF_EFFECTS)
        return nullptr;
    return gapEffects[nSlot];
}

HRESULT Change(int nSlot, DIEFFECT& effect, DWORD dwFlags)
{
    IDirectInputEffect* target = Effect(nSlot);
    if (target == nullptr)
        return DIERR_INVALIDPARAM;
    return target->SetParameters(&effect, dwFlags);
}

DIEFFECT Fresh()
{
    DIEFFECT effect{};
    effect.dwSize = DIEFFECT_SIZE_32;
    return effect;
}

struct FindContext
{
    BOOL boFound;
    DIDEVICEINSTANCEA instance;
};

BOOL FindFirstJoystick(const DIDEVICEINSTANCEA* pInstance, LPVOID pContext)
{
    FindContext* context = static_cast<FindContext*>(pContext);
    if (pInstance->dwDevType != DIDEVTYPE_JOYSTICK)
        return DIENUM_CONTINUE;
    context->instance = *pInstance;
    context->boFound = TRUE;
    return DIENUM_STOP;
}

} // namespace

HRESULT DkCreateForceFeedbackDevice(void* hWnd, IDirectInputA** ppDI,
                                    IDirectInputDevice2A** ppDevice)
{
    if (hWnd == nullptr || ppDI == nullptr || ppDevice == nullptr)
        return DIERR_INVALIDPARAM;
    IDirectInputA* di = nullptr;
    HRESULT hr = DirectInputCreateA(ghInstance, DIRECTINPUT_VERSION, &di, nullptr);
    if (hr != DI_OK)
        return hr;
    FindContext context{};
    hr = di->EnumDevices(DIDEVTYPE_JOYSTICK, FindFirstJoystick, &context, DIEDFL_FORCEFEEDBACK);
    IDirectInputDeviceA* first = nullptr;
    if (hr == DI_OK)
        hr = di->CreateDevice(context.instance.guidInstance, &first, nullptr);
    IDirectInputDevice2A* device = nullptr;
    if (hr == DI_OK)
    {
        hr = first->QueryInterface(IID_IDirectInputDevice2A, reinterpret_cast<void**>(&device));
        first->Release();
    }
    if (hr == DI_OK)
        hr = device->SetDataFormat(&c_dfDIJoystick);
    if (hr == DI_OK)
        hr = device->SetCooperativeLevel(static_cast<HWND>(hWnd),
                                         DISCL_EXCLUSIVE | DISCL_BACKGROUND);
    if (hr == DI_OK)
        hr = device->Acquire();
    if (hr != DI_OK)
    {
        if (device != nullptr)
            device->Release();
        di->Release();
        return hr;
    }
    *ppDI = di;
    *ppDevice = device;
    return DI_OK;
}

int DkInitForceFeedback(void)
{
    if (gboInitialised)
    {
        // The device in hand stays; a second one would be made and leaked.
        DKREPORT("Force feedback already initialized !");
        return 1;
    }
    IDirectInputA* di = nullptr;
    IDirectInputDevice2A* device = nullptr;
    if (DkCreateForceFeedbackDevice(ghWnd, &di, &device) != DI_OK)
        return 0;
    gpDirectInput = di;
    gpDevice = device;
    gboInitialised = TRUE;
    gboDestroyed = FALSE;
    for (IDirectInputEffect*& effect : gapEffects)
        effect = nullptr;
    gnNextEffect = 0;
    DkAddDestructor(DkForceFeedbackDestructor, "Force Feedback Destructor");
    gpDevice->SendForceFeedbackCommand(DISFFC_STOPALL);
    return 1;
}

void DkReleaseAllEffects(void)
{
    for (IDirectInputEffect*& effect : gapEffects)
        if (effect != nullptr)
        {
            effect->Release();
            effect = nullptr;
        }
    gnNextEffect = 0;
}

BOOL DkForceFeedbackDestructor(void)
{
    if (gboDestroyed)
        return TRUE;
    gboDestroyed = TRUE;
    DkReleaseAllEffects();
    if (gpDevice != nullptr)
    {
        gpDevice->Unacquire();
        gpDevice->Release();
        gpDevice = nullptr;
    }
    if (gpDirectInput != nullptr)
    {
        gpDirectInput->Release();
        gpDirectInput = nullptr;
    }
    gboInitialised = FALSE;
    DkLog("Force Feedback Destructor done");
    return TRUE;
}

HRESULT DkCreatePeriodicEffect(int nKind, uint32_t uDuration, uint32_t uPeriod, int32_t nDirection,
                               uint32_t uMagnitude, int32_t nOffset, uint32_t uAttackTime,
                               uint32_t uAttackLevel, uint32_t uFadeTime, uint32_t uFadeLevel,
                               int nTrigger)
{
    if (nKind < 1 || nKind > 8)
        return DIERR_INVALIDPARAM;
    const PeriodicKind& kind = kPeriodicKinds[nKind - 1];
    DIPERIODIC periodic = {uMagnitude, nOffset, kind.phase, uPeriod};
    return CreatePolar(*kind.guid, uDuration, nDirection, uAttackTime, uAttackLevel, uFadeTime,
                       uFadeLevel, nTrigger, &periodic, sizeof periodic);
}

HRESULT DkCreateConstantForceEffect(uint32_t uDuration, int32_t nDirection, int32_t nMagnitude,
                                    uint32_t uAttackTime, uint32_t uAttackLevel, uint32_t uFadeTime,
                                    uint32_t uFadeLevel, int nTrigger)
{
    DICONSTANTFORCE constant = {nMagnitude};
    return CreatePolar(GUID_ConstantForce, uDuration, nDirection, uAttackTime, uAttackLevel,
                       uFadeTime, uFadeLevel, nTrigger, &constant, sizeof constant);
}

HRESULT DkCreateRampForceEffect(uint32_t uDuration, int32_t nDirection, int32_t nStart,
                                int32_t nEnd, uint32_t uAttackTime, uint32_t uAttackLevel,
                                uint32_t uFadeTime, uint32_t uFadeLevel, int nTrigger)
{
    DIRAMPFORCE ramp = {nStart, nEnd};
    return CreatePolar(GUID_RampForce, uDuration, nDirection, uAttackTime, uAttackLevel, uFadeTime,
                       uFadeLevel, nTrigger, &ramp, sizeof ramp);
}

HRESULT DkCreateSpringEffect(uint32_t uDuration, int32_t nXCoefficient, int32_t nXOffset,
                             int32_t nYCoefficient, int32_t nYOffset, int nTrigger)
{
    return CreateConditionEffect(11, uDuration, nXCoefficient, nXOffset, nYCoefficient, nYOffset,
                                 nTrigger);
}

HRESULT DkCreateDamperAxesEffect(uint32_t uDuration, int32_t nXCoefficient, int32_t nXOffset,
                                 int32_t nYCoefficient, int32_t nYOffset, int nTrigger)
{
    return CreateConditionEffect(13, uDuration, nXCoefficient, nXOffset, nYCoefficient, nYOffset,
                                 nTrigger);
}

HRESULT DkCreateInertiaEffect(uint32_t uDuration, int32_t nXCoefficient, int32_t nXOffset,
                              int32_t nYCoefficient, int32_t nYOffset, int nTrigger)
{
    return CreateConditionEffect(12, uDuration, nXCoefficient, nXOffset, nYCoefficient, nYOffset,
                                 nTrigger);
}

HRESULT DkCreateFrictionEffect(uint32_t uDuration, int32_t nXCoefficient, int32_t nYCoefficient,
                               int nTrigger)
{
    return CreateConditionEffect(14, uDuration, nXCoefficient, 0, nYCoefficient, 0, nTrigger);
}

HRESULT DkCreateDamperEffect(uint32_t uDuration, int32_t nCoefficient, int32_t nOffset,
                             int nTrigger)
{
    return CreateStoredConditionEffect(13, uDuration, nCoefficient, nOffset, nTrigger);
}

HRESULT DkCreateStoredSpringEffect(uint32_t uDuration, int32_t nCoefficient, int32_t nOffset,
                                   int nTrigger)
{
    return CreateStoredConditionEffect(11, uDuration, nCoefficient, nOffset, nTrigger);
}

HRESULT DkSetEffectGain(int nSlot, uint32_t uGain)
{
    DIEFFECT effect = Fresh();
    effect.dwGain = uGain;
    return Change(nSlot, effect, DIEP_GAIN);
}

HRESULT DkSetEffectDirection(int nSlot, int32_t nDirection)
{
    LONG direction[2] = {nDirection, 0};
    DIEFFECT effect = Fresh();
    effect.dwFlags = kPolarFlags;
    effect.cAxes = 2;
    effect.rglDirection = direction;
    return Change(nSlot, effect, DIEP_DIRECTION);
}

HRESULT DkSetEffectDuration(int nSlot, uint32_t uDuration)
{
    DIEFFECT effect = Fresh();
    effect.dwDuration = uDuration;
    return Change(nSlot, effect, DIEP_DURATION);
}

HRESULT DkSetEffectSamplePeriod(int nSlot, uint32_t uSamplePeriod)
{
    DIEFFECT effect = Fresh();
    effect.dwSamplePeriod = uSamplePeriod;
    return Change(nSlot, effect, DIEP_SAMPLEPERIOD);
}

HRESULT DkSetEffectDirectionAndMagnitude(int nSlot, uint32_t uGain, int32_t nDirection)
{
    LONG direction[2] = {nDirection, 0};
    DIEFFECT effect = Fresh();
    effect.dwGain = uGain;
    effect.dwFlags = kPolarFlags;
    effect.cAxes = 2;
    effect.rglDirection = direction;
    return Change(nSlot, effect, DIEP_GAIN | DIEP_DIRECTION);
}

HRESULT DkSetEffectParams(int nSlot, uint32_t uGain, uint32_t uSamplePeriod)
{
    DIEFFECT effect = Fresh();
    effect.dwGain = uGain;
    effect.dwSamplePeriod = uSamplePeriod;
    return Change(nSlot, effect, DIEP_GAIN | DIEP_SAMPLEPERIOD);
}

HRESULT DkSetEffectCoefficient(int nSlot, int32_t nCoefficient)
{
    if (Effect(nSlot) == nullptr)
        return DIERR_INVALIDPARAM;
    gaStoredConditions[nSlot] = Condition(0, nCoefficient);
    // Only the type-specific part goes: the stored axis list served the creation alone.
    DIEFFECT effect = Fresh();
    effect.cbTypeSpecificParams = sizeof(DICONDITION);
    effect.lpvTypeSpecificParams = &gaStoredConditions[nSlot];
    return Change(nSlot, effect, DIEP_TYPESPECIFICPARAMS);
}

void DkStartEffect(int nSlot)
{
    IDirectInputEffect* effect = Effect(nSlot);
    if (effect == nullptr)
        return;
    DWORD status = 0;
    effect->GetEffectStatus(&status);
    guLastStatus = status;
    if (status & DIEGES_PLAYING)
        return;
    effect->Start(1, 0);
}

void DkStopEffect(int nSlot)
{
    if (IDirectInputEffect* effect = Effect(nSlot))
        effect->Stop();
}

void DkStopAllEffects(void)
{
    if (gboInitialised && gpDevice != nullptr)
        gpDevice->SendForceFeedbackCommand(DISFFC_STOPALL);
}

void DkSetForceFeedbackAutoCenter(uint32_t uValue)
{
    if (!gboInitialised || gpDevice == nullptr)
        return;
    DIPROPDWORD property{};
    property.diph.dwSize = sizeof(DIPROPDWORD);
    property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    property.diph.dwObj = 0;
    property.diph.dwHow = DIPH_DEVICE;
    property.dwData = uValue;
    gpDevice->SetProperty(DIPROP_AUTOCENTER, &property.diph);
}

BOOL DkIsForceFeedbackInitialised(void)
{
    return gboInitialised;
}
