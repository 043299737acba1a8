// DirectInput-shaped force feedback over SDL2's haptic API, with a recording fake for tests.
//
// Each effect keeps its DirectInput parameters; every create or change converts the whole set
// into one SDL_HapticEffect, since SDL updates effects whole. Conversions:
//   magnitudes, levels, offsets, coefficients  -10000..10000 -> -32767..32767, times gain/10000
//   condition saturations                      0..10000 -> 0..65535, times gain/10000
//   condition dead band (half the axis at 10000) 0..10000 -> 0..32767
//   durations, periods, envelope times          microseconds -> milliseconds, rounded;
//                                               INFINITE -> SDL_HAPTIC_INFINITY
//   polar directions                            hundredths of a degree, kept as they are: both
//                                               count clockwise from north (0) and name the
//                                               direction the force comes from
//   trigger button                              DIJOFS_BUTTON(n) -> n + 1, none -> 0
// The sample period has no SDL counterpart and is only kept.
//
// The game drives effects from the timer thread and sets the device up on the main thread,
// so every call runs under one lock.

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/input/input_internal.h"

#define DI_GUID_TAIL                                                                               \
    0x8E33, 0x11D0,                                                                                \
    {                                                                                              \
        0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35                                             \
    }

const GUID GUID_ConstantForce = {0x13541C20, DI_GUID_TAIL};
const GUID GUID_RampForce = {0x13541C21, DI_GUID_TAIL};
const GUID GUID_Square = {0x13541C22, DI_GUID_TAIL};
const GUID GUID_Sine = {0x13541C23, DI_GUID_TAIL};
const GUID GUID_Triangle = {0x13541C24, DI_GUID_TAIL};
const GUID GUID_SawtoothUp = {0x13541C25, DI_GUID_TAIL};
const GUID GUID_SawtoothDown = {0x13541C26, DI_GUID_TAIL};
const GUID GUID_Spring = {0x13541C27, DI_GUID_TAIL};
const GUID GUID_Damper = {0x13541C28, DI_GUID_TAIL};
const GUID GUID_Inertia = {0x13541C29, DI_GUID_TAIL};
const GUID GUID_Friction = {0x13541C2A, DI_GUID_TAIL};

const IID IID_IDirectInputDeviceA = {
    0x5944E680, 0xC92E, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID IID_IDirectInputDevice2A = {
    0x5944E682, 0xC92E, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

const DIDATAFORMAT c_dfDIJoystick = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 1, 80, 0, nullptr};

namespace
{

std::recursive_mutex gMutex;

// Instance GUIDs carry the joystick id in the low byte of the first word.
constexpr uint32_t kInstanceBase = 0xDE207000u;
constexpr uint32_t kFakeId = 0xFF;
constexpr GUID kInstanceTail = {0, 0x4A11, 0x11F0, {'D', 'E', 'Z', 'O', 'R', 'J', 'O', 'Y'}};

GUID InstanceGuid(uint32_t id)
{
    GUID guid = kInstanceTail;
    guid.Data1 = kInstanceBase + id;
    return guid;
}

// The id an instance GUID names, or -1.
int IdOfInstance(const GUID& guid)
{
    GUID probe = guid;
    probe.Data1 = kInstanceTail.Data1;
    if (!IsEqualGUID(probe, kInstanceTail) || (guid.Data1 & ~0xFFu) != kInstanceBase)
        return -1;
    return static_cast<int>(guid.Data1 & 0xFFu);
}

struct FakeState
{
    bool on = false;
    int nextEffect = 0;
    HRESULT createResult = DI_OK;
    std::vector<DiFakeRecord> records;
} gFake;

void Record(DiFakeOp op, int effect, const SDL_HapticEffect* data = nullptr, Uint32 value = 0)
{
    DiFakeRecord record{};
    record.op = op;
    record.effect = effect;
    if (data != nullptr)
        record.data = *data;
    record.value = value;
    gFake.records.push_back(record);
}

enum class Kind
{
    Constant,
    Ramp,
    Periodic,
    Condition,
};

struct KindOf
{
    const GUID* guid;
    Kind kind;
    Uint16 sdlType;
};

const KindOf kKinds[] = {
    {&GUID_ConstantForce, Kind::Constant, SDL_HAPTIC_CONSTANT},
    {&GUID_RampForce, Kind::Ramp, SDL_HAPTIC_RAMP},
    {&GUID_Square, Kind::Periodic, SDL_HAPTIC_LEFTRIGHT},
    {&GUID_Sine, Kind::Periodic, SDL_HAPTIC_SINE},
    {&GUID_Triangle, Kind::Periodic, SDL_HAPTIC_TRIANGLE},
    {&GUID_SawtoothUp, Kind::Periodic, SDL_HAPTIC_SAWTOOTHUP},
    {&GUID_SawtoothDown, Kind::Periodic, SDL_HAPTIC_SAWTOOTHDOWN},
    {&GUID_Spring, Kind::Condition, SDL_HAPTIC_SPRING},
    {&GUID_Damper, Kind::Condition, SDL_HAPTIC_DAMPER},
    {&GUID_Inertia, Kind::Condition, SDL_HAPTIC_INERTIA},
    {&GUID_Friction, Kind::Condition, SDL_HAPTIC_FRICTION},
};

constexpr int kMaxAxes = 3;

// An effect's parameters as DirectInput gave them.
struct Params
{
    DWORD coordinates = 0; // DIEFF_CARTESIAN or DIEFF_POLAR
    DWORD duration = 0;
    DWORD samplePeriod = 0;
    DWORD gain = DI_FFNOMINALMAX;
    DWORD trigger = DIEB_NOTRIGGER;
    DWORD triggerRepeat = 0;
    DWORD axisCount = 0;
    int axes[kMaxAxes] = {}; // SDL axis indices
    LONG direction[kMaxAxes] = {};
    bool hasEnvelope = false;
    DIENVELOPE envelope{};
    DICONSTANTFORCE constant{};
    DIRAMPFORCE ramp{};
    DIPERIODIC periodic{};
    DICONDITION conditions[kMaxAxes]{};
    DWORD conditionCount = 0;
};

int AxisIndex(DWORD offset)
{
    switch (offset)
    {
        case DIJOFS_X:
            return 0;
        case DIJOFS_Y:
            return 1;
        case DIJOFS_Z:
            return 2;
        default:
            return -1;
    }
}

size_t TypeSpecificSize(Kind kind)
{
    switch (kind)
    {
        case Kind::Constant:
            return sizeof(DICONSTANTFORCE);
        case Kind::Ramp:
            return sizeof(DIRAMPFORCE);
        case Kind::Periodic:
            return sizeof(DIPERIODIC);
        case Kind::Condition:
            return sizeof(DICONDITION);
    }
    return 0;
}

// Merges the fields that `flags` names into `p`; `p` is left alone when anything is wrong.
HRESULT Apply(const DIEFFECT* e, DWORD flags, Kind kind, Params& p)
{
    if (e == nullptr || (e->dwSize != sizeof(DIEFFECT) && e->dwSize != DIEFFECT_SIZE_32) ||
        (flags & ~DIEP_ALLPARAMS) != 0)
        return DIERR_INVALIDPARAM;
    Params n = p;
    if (flags & DIEP_DURATION)
        n.duration = e->dwDuration;
    if (flags & DIEP_SAMPLEPERIOD)
        n.samplePeriod = e->dwSamplePeriod;
    if (flags & DIEP_GAIN)
    {
        if (e->dwGain > DI_FFNOMINALMAX)
            return DIERR_INVALIDPARAM;
        n.gain = e->dwGain;
    }
    if (flags & DIEP_TRIGGERBUTTON)
        n.trigger = e->dwTriggerButton;
    if (flags & DIEP_TRIGGERREPEATINTERVAL)
        n.triggerRepeat = e->dwTriggerRepeatInterval;
    if (flags & DIEP_AXES)
    {
        if (e->cAxes < 1 || e->cAxes > kMaxAxes || e->rgdwAxes == nullptr ||
            !(e->dwFlags & DIEFF_OBJECTOFFSETS))
            return DIERR_INVALIDPARAM;
        for (DWORD i = 0; i < e->cAxes; ++i)
            if ((n.axes[i] = AxisIndex(e->rgdwAxes[i])) < 0)
                return DIERR_INVALIDPARAM;
        n.axisCount = e->cAxes;
    }
    if (flags & DIEP_DIRECTION)
    {
        DWORD system = e->dwFlags & (DIEFF_CARTESIAN | DIEFF_POLAR);
        if ((system != DIEFF_CARTESIAN && system != DIEFF_POLAR) || e->rglDirection == nullptr ||
            e->cAxes != n.axisCount || (system == DIEFF_POLAR && e->cAxes != 2))
            return DIERR_INVALIDPARAM;
        n.coordinates = system;
        for (DWORD i = 0; i < e->cAxes; ++i)
            n.direction[i] = e->rglDirection[i];
    }
    if (flags & DIEP_ENVELOPE)
    {
        if (e->lpEnvelope != nullptr && e->lpEnvelope->dwSize != sizeof(DIENVELOPE))
            return DIERR_INVALIDPARAM;
        n.hasEnvelope = e->lpEnvelope != nullptr;
        n.envelope = n.hasEnvelope ? *e->lpEnvelope : DIENVELOPE{};
    }
    if (flags & DIEP_TYPESPECIFICPARAMS)
    {
        size_t unit = TypeSpecificSize(kind);
        size_t bytes = e->cbTypeSpecificParams;
        if (e->lpvTypeSpecificParams == nullptr || bytes == 0 || bytes % unit != 0 ||
            bytes / unit > (kind == Kind::Condition ? kMaxAxes : 1u))
            return DIERR_INVALIDPARAM;
        void* dest = kind == Kind::Constant   ? static_cast<void*>(&n.constant)
                     : kind == Kind::Ramp     ? static_cast<void*>(&n.ramp)
                     : kind == Kind::Periodic ? static_cast<void*>(&n.periodic)
                                              : static_cast<void*>(n.conditions);
        std::memcpy(dest, e->lpvTypeSpecificParams, bytes);
        if (kind == Kind::Condition)
            n.conditionCount = static_cast<DWORD>(bytes / unit);
    }
    // A condition gives one record per axis.
    if (kind == Kind::Condition && n.conditionCount != 0 && n.axisCount != 0 &&
        n.conditionCount != n.axisCount)
        return DIERR_INVALIDPARAM;
    p = n;
    return DI_OK;
}

Sint16 Force(LONG value, DWORD gain)
{
    int64_t v = std::clamp<int64_t>(value, -DI_FFNOMINALMAX, DI_FFNOMINALMAX);
    return static_cast<Sint16>(v * gain * 32767 / (int64_t{DI_FFNOMINALMAX} * DI_FFNOMINALMAX));
}

Uint16 Scaled(DWORD value, DWORD gain, int64_t top)
{
    int64_t v = std::min<int64_t>(value, DI_FFNOMINALMAX);
    return static_cast<Uint16>(v * gain * top / (int64_t{DI_FFNOMINALMAX} * DI_FFNOMINALMAX));
}

Uint32 Milliseconds(DWORD microseconds)
{
    if (microseconds == INFINITE)
        return SDL_HAPTIC_INFINITY;
    return static_cast<Uint32>((uint64_t{microseconds} + 500) / 1000);
}

Uint16 Milliseconds16(DWORD microseconds)
{
    return static_cast<Uint16>(std::min<uint64_t>((uint64_t{microseconds} + 500) / 1000, 0xFFFF));
}

SDL_HapticEffect Convert(const KindOf& kind, const Params& p)
{
    SDL_HapticEffect out;
    std::memset(&out, 0, sizeof out);
    out.type = kind.sdlType;

    SDL_HapticDirection direction{};
    if (p.coordinates == DIEFF_POLAR)
    {
        direction.type = SDL_HAPTIC_POLAR;
        direction.dir[0] = ((p.direction[0] % 36000) + 36000) % 36000;
    }
    else
    {
        direction.type = SDL_HAPTIC_CARTESIAN;
        for (DWORD i = 0; i < p.axisCount; ++i)
            direction.dir[p.axes[i]] = p.direction[i];
    }
    Uint32 length = Milliseconds(p.duration);
    Uint16 button = 0;
    if (p.trigger != DIEB_NOTRIGGER && p.trigger >= DIJOFS_BUTTON(0) &&
        p.trigger < DIJOFS_BUTTON(32))
        button = static_cast<Uint16>(p.trigger - DIJOFS_BUTTON(0) + 1);
    Uint16 interval = Milliseconds16(p.triggerRepeat);
    Uint16 attackLength = Milliseconds16(p.envelope.dwAttackTime);
    Uint16 attackLevel = Scaled(p.envelope.dwAttackLevel, p.gain, 32767);
    Uint16 fadeLength = Milliseconds16(p.envelope.dwFadeTime);
    Uint16 fadeLevel = Scaled(p.envelope.dwFadeLevel, p.gain, 32767);

    switch (kind.kind)
    {
        case Kind::Constant:
            out.constant = {kind.sdlType,
                            direction,
                            length,
                            0,
                            button,
                            interval,
                            Force(p.constant.lMagnitude, p.gain),
                            attackLength,
                            attackLevel,
                            fadeLength,
                            fadeLevel};
            break;
        case Kind::Ramp:
            out.ramp = {kind.sdlType,
                        direction,
                        length,
                        0,
                        button,
                        interval,
                        Force(p.ramp.lStart, p.gain),
                        Force(p.ramp.lEnd, p.gain),
                        attackLength,
                        attackLevel,
                        fadeLength,
                        fadeLevel};
            break;
        case Kind::Periodic:
            out.periodic = {
                kind.sdlType,
                direction,
                length,
                0,
                button,
                interval,
                Milliseconds16(p.periodic.dwPeriod),
                Force(static_cast<LONG>(std::min<DWORD>(p.periodic.dwMagnitude, DI_FFNOMINALMAX)),
                      p.gain),
                Force(p.periodic.lOffset, p.gain),
                static_cast<Uint16>(p.periodic.dwPhase % 36000),
                attackLength,
                attackLevel,
                fadeLength,
                fadeLevel};
            break;
        case Kind::Condition:
        {
            SDL_HapticCondition& c = out.condition;
            c.type = kind.sdlType;
            c.direction = direction;
            c.length = length;
            c.button = button;
            c.interval = interval;
            for (DWORD i = 0; i < p.conditionCount && i < p.axisCount; ++i)
            {
                const DICONDITION& d = p.conditions[i];
                int axis = p.axes[i];
                c.right_sat[axis] = Scaled(d.dwPositiveSaturation, p.gain, 65535);
                c.left_sat[axis] = Scaled(d.dwNegativeSaturation, p.gain, 65535);
                c.right_coeff[axis] = Force(d.lPositiveCoefficient, p.gain);
                c.left_coeff[axis] = Force(d.lNegativeCoefficient, p.gain);
                c.deadband[axis] = Scaled(static_cast<DWORD>(std::max<LONG>(d.lDeadBand, 0)),
                                          DI_FFNOMINALMAX, 32767);
                c.center[axis] = Force(d.lOffset, DI_FFNOMINALMAX);
            }
            break;
        }
    }
    return out;
}

class Device;

class Effect final : public IDirectInputEffect
{
public:
    Effect(Device* device, const KindOf& kind, const Params& params, int handle);
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT SetParameters(const DIEFFECT* peff, DWORD dwFlags) override;
    HRESULT Start(DWORD dwIterations, DWORD dwFlags) override;
    HRESULT Stop() override;
    HRESULT GetEffectStatus(DWORD* pdwFlags) override;

    bool playing = false;

private:
    Device* mDevice;
    const KindOf& mKind;
    Params mParams;
    int mHandle;
    ULONG mRefs = 1;
    Uint32 mStartTicks = 0;
    Uint32 mIterations = 0;
};

class Device final : public IDirectInputDevice2A
{
public:
    Device(int id, SDL_Haptic* haptic) : mId(id), mHaptic(haptic) {}
    HRESULT QueryInterface(REFIID riid, void** ppvObj) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetCapabilities(DIDEVCAPS* lpDIDevCaps) override;
    HRESULT SetDataFormat(const DIDATAFORMAT* lpdf) override;
    HRESULT SetCooperativeLevel(HWND hwnd, DWORD dwFlags) override;
    HRESULT SetProperty(const GUID* rguidProp, const DIPROPHEADER* pdiph) override;
    HRESULT Acquire() override;
    HRESULT Unacquire() override;
    HRESULT CreateEffect(REFIID rguid, const DIEFFECT* lpeff, IDirectInputEffect** ppdeff,
                         void* punkOuter) override;
    HRESULT SendForceFeedbackCommand(DWORD dwFlags) override;

    bool Fake() const { return mId == static_cast<int>(kFakeId); }
    bool ExclusivelyAcquired() const { return mAcquired && (mCooperation & DISCL_EXCLUSIVE); }
    SDL_Haptic* Haptic() const { return mHaptic; }
    void Forget(Effect* effect) { std::erase(mEffects, effect); }
    void StopAll();

private:
    ~Device() override;

    int mId;
    SDL_Haptic* mHaptic;
    ULONG mRefs = 1;
    bool mFormatSet = false;
    DWORD mCooperation = 0;
    bool mAcquired = false;
    std::vector<Effect*> mEffects;
};

Effect::Effect(Device* device, const KindOf& kind, const Params& params, int handle)
    : mDevice(device), mKind(kind), mParams(params), mHandle(handle)
{
    mDevice->AddRef();
}

ULONG Effect::AddRef()
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    return ++mRefs;
}

ULONG Effect::Release()
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    if (--mRefs > 0)
        return mRefs;
    if (mDevice->Fake())
        Record(DiFakeOp::Destroy, mHandle);
    else if (mDevice->Haptic() != nullptr)
        SDL_HapticDestroyEffect(mDevice->Haptic(), mHandle);
    mDevice->Forget(this);
    mDevice->Release();
    delete this;
    return 0;
}

HRESULT Effect::SetParameters(const DIEFFECT* peff, DWORD dwFlags)
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    Params next = mParams;
    if (HRESULT hr = Apply(peff, dwFlags, mKind.kind, next); hr != DI_OK)
        return hr;
    SDL_HapticEffect converted = Convert(mKind, next);
    if (mDevice->Fake())
        Record(DiFakeOp::Update, mHandle, &converted);
    else if (SDL_HapticUpdateEffect(mDevice->Haptic(), mHandle, &converted) < 0)
        return DIERR_GENERIC;
    mParams = next;
    return DI_OK;
}

HRESULT Effect::Start(DWORD dwIterations, DWORD dwFlags)
{
    (void)dwFlags;
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    if (dwIterations == 0)
        return DIERR_INVALIDPARAM;
    if (!mDevice->ExclusivelyAcquired())
        return DIERR_NOTEXCLUSIVEACQUIRED;
    Uint32 iterations = dwIterations == INFINITE ? SDL_HAPTIC_INFINITY : dwIterations;
    if (mDevice->Fake())
        Record(DiFakeOp::Start, mHandle, nullptr, iterations);
    else if (SDL_HapticRunEffect(mDevice->Haptic(), mHandle, iterations) < 0)
        return DIERR_GENERIC;
    playing = true;
    mStartTicks = SDL_GetTicks();
    mIterations = iterations;
    return DI_OK;
}

HRESULT Effect::Stop()
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    if (!mDevice->ExclusivelyAcquired())
        return DIERR_NOTEXCLUSIVEACQUIRED;
    if (mDevice->Fake())
        Record(DiFakeOp::Stop, mHandle);
    else if (SDL_HapticStopEffect(mDevice->Haptic(), mHandle) < 0)
        return DIERR_GENERIC;
    playing = false;
    return DI_OK;
}

HRESULT Effect::GetEffectStatus(DWORD* pdwFlags)
{
    if (pdwFlags == nullptr)
        return DIERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    bool now = playing;
    // The fake plays until stopped; a device that cannot report is estimated from the
    // effect's length.
    if (!mDevice->Fake() && playing)
    {
        SDL_Haptic* haptic = mDevice->Haptic();
        if (SDL_HapticQuery(haptic) & SDL_HAPTIC_STATUS)
            now = SDL_HapticGetEffectStatus(haptic, mHandle) == 1;
        else
        {
            Uint32 length = Milliseconds(mParams.duration);
            if (length != SDL_HAPTIC_INFINITY && mIterations != SDL_HAPTIC_INFINITY)
                now = uint64_t{SDL_GetTicks() - mStartTicks} < uint64_t{length} * mIterations;
        }
    }
    *pdwFlags = now ? DIEGES_PLAYING : 0;
    return DI_OK;
}

Device::~Device()
{
    if (mHaptic != nullptr)
        SDL_HapticClose(mHaptic);
}

HRESULT Device::QueryInterface(REFIID riid, void** ppvObj)
{
    if (ppvObj == nullptr)
        return DIERR_INVALIDPARAM;
    if (IsEqualGUID(riid, IID_IDirectInputDeviceA) || IsEqualGUID(riid, IID_IDirectInputDevice2A))
    {
        AddRef();
        *ppvObj = static_cast<IDirectInputDevice2A*>(this);
        return DI_OK;
    }
    *ppvObj = nullptr;
    return DIERR_NOINTERFACE;
}

ULONG Device::AddRef()
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    return ++mRefs;
}

ULONG Device::Release()
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    if (--mRefs > 0)
        return mRefs;
    delete this;
    return 0;
}

HRESULT Device::GetCapabilities(DIDEVCAPS* caps)
{
    if (caps == nullptr || caps->dwSize != sizeof(DIDEVCAPS))
        return DIERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    DIDEVCAPS out{};
    out.dwSize = sizeof(DIDEVCAPS);
    out.dwDevType = DIDEVTYPE_JOYSTICK;
    if (Fake())
    {
        out.dwFlags = DIDC_ATTACHED | DIDC_FORCEFEEDBACK;
        out.dwAxes = 2;
        out.dwButtons = 12;
    }
    else
    {
        JoyDeviceInfo devices[JOY_MAX_IDS];
        int count = JoyListDevices(devices, JOY_MAX_IDS);
        for (int i = 0; i < count; ++i)
            if (devices[i].id == mId)
            {
                out.dwFlags = DIDC_ATTACHED;
                out.dwAxes = static_cast<DWORD>(devices[i].axes);
                out.dwButtons = static_cast<DWORD>(devices[i].buttons);
                out.dwPOVs = static_cast<DWORD>(devices[i].hats);
            }
        if (mHaptic != nullptr)
            out.dwFlags |= DIDC_FORCEFEEDBACK;
    }
    if (out.dwFlags & DIDC_FORCEFEEDBACK)
    {
        out.dwFFSamplePeriod = 1000;
        out.dwFFMinTimeResolution = 1000; // SDL times effects in milliseconds
    }
    *caps = out;
    return DI_OK;
}

HRESULT Device::SetDataFormat(const DIDATAFORMAT* lpdf)
{
    if (lpdf == nullptr)
        return DIERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    if (mAcquired)
        return DIERR_ACQUIRED;
    mFormatSet = true;
    return DI_OK;
}

HRESULT Device::SetCooperativeLevel(HWND hwnd, DWORD dwFlags)
{
    (void)hwnd;
    DWORD access = dwFlags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
    DWORD focus = dwFlags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
    if ((access != DISCL_EXCLUSIVE && access != DISCL_NONEXCLUSIVE) ||
        (focus != DISCL_FOREGROUND && focus != DISCL_BACKGROUND))
        return DIERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    mCooperation = dwFlags;
    return DI_OK;
}

HRESULT Device::SetProperty(const GUID* rguidProp, const DIPROPHEADER* pdiph)
{
    if (pdiph == nullptr)
        return DIERR_INVALIDPARAM;
    if (rguidProp != DIPROP_AUTOCENTER)
        return DIERR_UNSUPPORTED;
    if (pdiph->dwSize != sizeof(DIPROPDWORD) || pdiph->dwHeaderSize != sizeof(DIPROPHEADER) ||
        pdiph->dwObj != 0 || pdiph->dwHow != DIPH_DEVICE)
        return DIERR_INVALIDPARAM;
    DWORD value = reinterpret_cast<const DIPROPDWORD*>(pdiph)->dwData;
    if (value != DIPROPAUTOCENTER_OFF && value != DIPROPAUTOCENTER_ON)
        return DIERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    int autocenter = value == DIPROPAUTOCENTER_ON ? 100 : 0;
    if (Fake())
        Record(DiFakeOp::Autocenter, -1, nullptr, static_cast<Uint32>(autocenter));
    else if (mHaptic == nullptr || !(SDL_HapticQuery(mHaptic) & SDL_HAPTIC_AUTOCENTER) ||
             SDL_HapticSetAutocenter(mHaptic, autocenter) < 0)
        return DIERR_UNSUPPORTED;
    return DI_OK;
}

HRESULT Device::Acquire()
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    if (!mFormatSet)
        return DIERR_INVALIDPARAM;
    if (mAcquired)
        return DI_NOEFFECT;
    mAcquired = true;
    return DI_OK;
}

void Device::StopAll()
{
    if (Fake())
        Record(DiFakeOp::StopAll, -1);
    else if (mHaptic != nullptr)
        SDL_HapticStopAll(mHaptic);
    for (Effect* effect : mEffects)
        effect->playing = false;
}

HRESULT Device::Unacquire()
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    if (!mAcquired)
        return DI_NOEFFECT;
    // Letting the device go stops its effects.
    StopAll();
    mAcquired = false;
    return DI_OK;
}

HRESULT Device::CreateEffect(REFIID rguid, const DIEFFECT* lpeff, IDirectInputEffect** ppdeff,
                             void* punkOuter)
{
    if (ppdeff == nullptr || punkOuter != nullptr)
        return DIERR_INVALIDPARAM;
    *ppdeff = nullptr;
    const KindOf* kind = nullptr;
    for (const KindOf& k : kKinds)
        if (IsEqualGUID(*k.guid, rguid))
            kind = &k;
    if (kind == nullptr)
        return DIERR_DEVICENOTREG;
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    if (!Fake() && (mHaptic == nullptr || !(SDL_HapticQuery(mHaptic) & kind->sdlType)))
        return DIERR_UNSUPPORTED;
    if (Fake() && gFake.createResult != DI_OK)
        return gFake.createResult;
    Params params;
    if (HRESULT hr = Apply(lpeff, DIEP_ALLPARAMS, kind->kind, params); hr != DI_OK)
        return hr;
    if (params.axisCount == 0 || (kind->kind == Kind::Condition && params.conditionCount == 0))
        return DIERR_INCOMPLETEEFFECT;
    SDL_HapticEffect converted = Convert(*kind, params);
    int handle;
    if (Fake())
    {
        handle = gFake.nextEffect++;
        Record(DiFakeOp::Create, handle, &converted);
    }
    else if ((handle = SDL_HapticNewEffect(mHaptic, &converted)) < 0)
        return DIERR_DEVICEFULL;
    Effect* effect = new Effect(this, *kind, params, handle);
    mEffects.push_back(effect);
    *ppdeff = effect;
    return DI_OK;
}

HRESULT Device::SendForceFeedbackCommand(DWORD dwFlags)
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    if (!ExclusivelyAcquired())
        return DIERR_NOTEXCLUSIVEACQUIRED;
    switch (dwFlags)
    {
        // Effects stay downloaded here, so a reset only has to stop them.
        case DISFFC_RESET:
        case DISFFC_STOPALL:
            StopAll();
            return DI_OK;
        case DISFFC_PAUSE:
            if (Fake())
                Record(DiFakeOp::Pause, -1);
            else if (SDL_HapticPause(mHaptic) < 0)
                return DIERR_UNSUPPORTED;
            return DI_OK;
        case DISFFC_CONTINUE:
            if (Fake())
                Record(DiFakeOp::Continue, -1);
            else if (SDL_HapticUnpause(mHaptic) < 0)
                return DIERR_UNSUPPORTED;
            return DI_OK;
        default:
            return DIERR_INVALIDPARAM;
    }
}

class DirectInput final : public IDirectInputA
{
public:
    ULONG AddRef() override
    {
        std::lock_guard<std::recursive_mutex> lock(gMutex);
        return ++mRefs;
    }
    ULONG Release() override
    {
        std::lock_guard<std::recursive_mutex> lock(gMutex);
        if (--mRefs > 0)
            return mRefs;
        delete this;
        return 0;
    }
    HRESULT EnumDevices(DWORD dwDevType, LPDIENUMDEVICESCALLBACKA lpCallback, LPVOID pvRef,
                        DWORD dwFlags) override;
    HRESULT CreateDevice(REFIID rguid, IDirectInputDeviceA** lplpDirectInputDevice,
                         void* pUnkOuter) override;

private:
    ULONG mRefs = 1;
};

HRESULT DirectInput::EnumDevices(DWORD dwDevType, LPDIENUMDEVICESCALLBACKA lpCallback, LPVOID pvRef,
                                 DWORD dwFlags)
{
    if (lpCallback == nullptr || (dwFlags & ~(DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK)) != 0)
        return DIERR_INVALIDPARAM;
    if (dwDevType != 0 && dwDevType != DIDEVTYPE_JOYSTICK)
        return DI_OK;

    // The list is taken first so that the callback may create devices.
    std::vector<DIDEVICEINSTANCEA> found;
    auto add = [&](uint32_t id, const char* name, Uint16 vendor, Uint16 product)
    {
        DIDEVICEINSTANCEA instance{};
        instance.dwSize = sizeof instance;
        instance.guidInstance = InstanceGuid(id);
        instance.guidProduct = kInstanceTail;
        instance.guidProduct.Data1 = (uint32_t{product} << 16) | vendor;
        instance.dwDevType = DIDEVTYPE_JOYSTICK;
        std::snprintf(instance.tszInstanceName, sizeof instance.tszInstanceName, "%s", name);
        std::snprintf(instance.tszProductName, sizeof instance.tszProductName, "%s", name);
        found.push_back(instance);
    };
    bool fake;
    {
        std::lock_guard<std::recursive_mutex> lock(gMutex);
        fake = gFake.on;
    }
    if (fake)
        add(kFakeId, "Dezor test force-feedback joystick", 0, 0);
    else
    {
        JoyDeviceInfo devices[JOY_MAX_IDS];
        int count = JoyListDevices(devices, JOY_MAX_IDS);
        for (int i = 0; i < count; ++i)
            if (devices[i].haptic || !(dwFlags & DIEDFL_FORCEFEEDBACK))
                add(static_cast<uint32_t>(devices[i].id), devices[i].name, devices[i].vendor,
                    devices[i].product);
    }
    for (const DIDEVICEINSTANCEA& instance : found)
        if (lpCallback(&instance, pvRef) == DIENUM_STOP)
            break;
    return DI_OK;
}

HRESULT DirectInput::CreateDevice(REFIID rguid, IDirectInputDeviceA** out, void* pUnkOuter)
{
    if (out == nullptr || pUnkOuter != nullptr)
        return DIERR_INVALIDPARAM;
    *out = nullptr;
    int id = IdOfInstance(rguid);
    bool fake;
    {
        std::lock_guard<std::recursive_mutex> lock(gMutex);
        fake = gFake.on;
    }
    if (id == static_cast<int>(kFakeId))
    {
        if (!fake)
            return DIERR_DEVICENOTREG;
        *out = new Device(id, nullptr);
        return DI_OK;
    }
    if (id < 0 || fake)
        return DIERR_DEVICENOTREG;
    JoyDeviceInfo devices[JOY_MAX_IDS];
    int count = JoyListDevices(devices, JOY_MAX_IDS);
    bool attached =
        std::any_of(devices, devices + count, [&](const JoyDeviceInfo& d) { return d.id == id; });
    if (!attached)
        return DIERR_DEVICENOTREG;
    *out = new Device(id, JoyOpenHaptic(id));
    return DI_OK;
}

} // namespace

HRESULT DirectInputCreateA(HINSTANCE hinst, DWORD dwVersion, IDirectInputA** lplpDirectInput,
                           void* punkOuter)
{
    (void)hinst;
    (void)dwVersion;
    if (lplpDirectInput == nullptr || punkOuter != nullptr)
        return DIERR_INVALIDPARAM;
    {
        // Without a haptic subsystem the joysticks are still offered, none with force feedback.
        std::lock_guard<std::recursive_mutex> lock(gMutex);
        static bool hapticTried = false;
        if (!hapticTried)
        {
            hapticTried = true;
            SDL_InitSubSystem(SDL_INIT_HAPTIC);
        }
    }
    *lplpDirectInput = new DirectInput;
    return DI_OK;
}

void DiUseFakeHapticForTests(bool on)
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    gFake.on = on;
    gFake.nextEffect = 0;
    gFake.createResult = DI_OK;
    gFake.records.clear();
}

std::vector<DiFakeRecord> DiFakeRecords(void)
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    return gFake.records;
}

void DiFakeClearRecords(void)
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    gFake.records.clear();
}

void DiFakeFailCreateEffect(HRESULT hr)
{
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    gFake.createResult = hr;
}
