// Joysticks and force feedback. Joysticks are read by id (winmm-shaped) over SDL2's joystick
// API; force-feedback devices and their effects are DirectInput-5-shaped over SDL2's haptic
// API. Both are called from the main thread and the timer thread and lock inside.
//
// Joystick ids 0..15 are given in the order devices are noticed; a device that goes away
// leaves its id reading as unplugged until a new device takes the first free id. Devices are
// noticed on every call, so hot-plugging needs no message.
//
// With no joystick subsystem the joystick calls answer MMSYSERR_NODRIVER; with no haptic
// subsystem or no force-feedback device DirectInputCreateA still succeeds and the device
// search finds no force-feedback device, as on a machine without one.
#pragma once

#include "platform/ddraw/ddraw.h"
#include "platform/win/wintypes.h"

// ---- Joysticks (winmm) ----

#define JOYSTICKID1 0
#define JOYSTICKID2 1

#define JOYERR_NOERROR 0
#define JOYERR_PARMS 165
#define JOYERR_UNPLUGGED 167
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_INVALPARAM 11

#define JOY_RETURNX 0x00000001u
#define JOY_RETURNY 0x00000002u
#define JOY_RETURNZ 0x00000004u
#define JOY_RETURNR 0x00000008u
#define JOY_RETURNU 0x00000010u
#define JOY_RETURNV 0x00000020u
#define JOY_RETURNPOV 0x00000040u
#define JOY_RETURNBUTTONS 0x00000080u
#define JOY_RETURNCENTERED 0x00000400u
#define JOY_RETURNALL                                                                              \
    (JOY_RETURNX | JOY_RETURNY | JOY_RETURNZ | JOY_RETURNR | JOY_RETURNU | JOY_RETURNV |           \
     JOY_RETURNPOV | JOY_RETURNBUTTONS)

// Point of view in hundredths of a degree clockwise from forward, or centred.
#define JOY_POVCENTERED 0xFFFFu
#define JOY_POVFORWARD 0u
#define JOY_POVRIGHT 9000u
#define JOY_POVBACKWARD 18000u
#define JOY_POVLEFT 27000u

// Capability bits (wCaps).
#define JOYCAPS_HASZ 0x0001u
#define JOYCAPS_HASR 0x0002u
#define JOYCAPS_HASU 0x0004u
#define JOYCAPS_HASV 0x0008u
#define JOYCAPS_HASPOV 0x0010u
#define JOYCAPS_POV4DIR 0x0020u

#define MAXPNAMELEN 32
#define MAX_JOYSTICKOEMVXDNAME 260

// Kept in the controller image on disk, so its layout is fixed.
struct JOYINFOEX
{
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwXpos;
    DWORD dwYpos;
    DWORD dwZpos;
    DWORD dwRpos;
    DWORD dwUpos;
    DWORD dwVpos;
    DWORD dwButtons;
    DWORD dwButtonNumber;
    DWORD dwPOV;
    DWORD dwReserved1;
    DWORD dwReserved2;
};
static_assert(sizeof(JOYINFOEX) == 52);

struct JOYCAPSA
{
    WORD wMid;
    WORD wPid;
    CHAR szPname[MAXPNAMELEN];
    UINT wXmin;
    UINT wXmax;
    UINT wYmin;
    UINT wYmax;
    UINT wZmin;
    UINT wZmax;
    UINT wNumButtons;
    UINT wPeriodMin;
    UINT wPeriodMax;
    UINT wRmin;
    UINT wRmax;
    UINT wUmin;
    UINT wUmax;
    UINT wVmin;
    UINT wVmax;
    UINT wCaps;
    UINT wMaxAxes;
    UINT wNumAxes;
    UINT wMaxButtons;
    CHAR szRegKey[MAXPNAMELEN];
    CHAR szOEMVxD[MAX_JOYSTICKOEMVXDNAME];
};

typedef UINT MMRESULT;

// Axes read 0..65535 (X, Y, Z, R, U, V are SDL axes 0..5; an axis the device lacks reads the
// centre), buttons are a mask of the first 12, and the point of view comes from the first hat.
// Only the fields asked for in dwFlags are written.
MMRESULT joyGetPosEx(UINT uJoyID, JOYINFOEX* pji);
MMRESULT joyGetDevCapsA(UINT uJoyID, JOYCAPSA* pjc, UINT cbjc);

// ---- Force feedback (DirectInput 5) ----

#define DIRECTINPUT_VERSION 0x0500

#define DI_OK S_OK
#define DI_NOEFFECT ((HRESULT)1)
#define DI_DOWNLOADSKIPPED ((HRESULT)3)
#define DIERR_INVALIDPARAM E_INVALIDARG
#define DIERR_GENERIC E_FAIL
#define DIERR_UNSUPPORTED E_NOTIMPL
#define DIERR_OUTOFMEMORY E_OUTOFMEMORY
#define DIERR_NOINTERFACE E_NOINTERFACE
#define DIERR_DEVICENOTREG ((HRESULT)0x80040154u)
#define DIERR_NOTINITIALIZED ((HRESULT)0x80070015u)
#define DIERR_NOTACQUIRED ((HRESULT)0x8007000Cu)
#define DIERR_INPUTLOST ((HRESULT)0x8007001Eu)
#define DIERR_ACQUIRED ((HRESULT)0x800700AAu)
#define DIERR_DEVICEFULL ((HRESULT)0x80040201u)
#define DIERR_NOTEXCLUSIVEACQUIRED ((HRESULT)0x80040205u)
#define DIERR_INCOMPLETEEFFECT ((HRESULT)0x80040206u)

#define DIENUM_STOP 0
#define DIENUM_CONTINUE 1

#define DIDEVTYPE_JOYSTICK 4

#define DIEDFL_ALLDEVICES 0x00000000u
#define DIEDFL_ATTACHEDONLY 0x00000001u
#define DIEDFL_FORCEFEEDBACK 0x00000100u

#define DISCL_EXCLUSIVE 0x00000001u
#define DISCL_NONEXCLUSIVE 0x00000002u
#define DISCL_FOREGROUND 0x00000004u
#define DISCL_BACKGROUND 0x00000008u

#define DIDC_ATTACHED 0x00000001u
#define DIDC_FORCEFEEDBACK 0x00000100u

#define DISFFC_RESET 0x00000001u
#define DISFFC_STOPALL 0x00000002u
#define DISFFC_PAUSE 0x00000004u
#define DISFFC_CONTINUE 0x00000008u

#define DIEFF_OBJECTOFFSETS 0x00000002u
#define DIEFF_CARTESIAN 0x00000010u
#define DIEFF_POLAR 0x00000020u

#define DIEP_DURATION 0x00000001u
#define DIEP_SAMPLEPERIOD 0x00000002u
#define DIEP_GAIN 0x00000004u
#define DIEP_TRIGGERBUTTON 0x00000008u
#define DIEP_TRIGGERREPEATINTERVAL 0x00000010u
#define DIEP_AXES 0x00000020u
#define DIEP_DIRECTION 0x00000040u
#define DIEP_ENVELOPE 0x00000080u
#define DIEP_TYPESPECIFICPARAMS 0x00000100u
#define DIEP_ALLPARAMS 0x000001FFu

#define DIEGES_PLAYING 0x00000001u

#define DI_FFNOMINALMAX 10000
#define DI_DEGREES 100
#define DI_SECONDS 1000000
#ifndef INFINITE
#define INFINITE 0xFFFFFFFFu
#endif
#define DIEB_NOTRIGGER 0xFFFFFFFFu

// Offsets of the joystick state's objects, as effect axes and trigger buttons name them.
#define DIJOFS_X 0
#define DIJOFS_Y 4
#define DIJOFS_Z 8
#define DIJOFS_BUTTON(n) (48 + (n))

#define DIPH_DEVICE 0
// Property ids are small numbers passed where a GUID pointer goes.
#define DIPROP_AUTOCENTER ((const GUID*)(uintptr_t)9)
#define DIPROPAUTOCENTER_OFF 0
#define DIPROPAUTOCENTER_ON 1

extern const IID IID_IDirectInputDeviceA;
extern const IID IID_IDirectInputDevice2A;

extern const GUID GUID_ConstantForce;
extern const GUID GUID_RampForce;
extern const GUID GUID_Square;
extern const GUID GUID_Sine;
extern const GUID GUID_Triangle;
extern const GUID GUID_SawtoothUp;
extern const GUID GUID_SawtoothDown;
extern const GUID GUID_Spring;
extern const GUID GUID_Damper;
extern const GUID GUID_Inertia;
extern const GUID GUID_Friction;

#define MAX_PATH_DI 260

struct DIDEVICEINSTANCEA
{
    DWORD dwSize;
    GUID guidInstance;
    GUID guidProduct;
    DWORD dwDevType;
    CHAR tszInstanceName[MAX_PATH_DI];
    CHAR tszProductName[MAX_PATH_DI];
    GUID guidFFDriver;
    WORD wUsagePage;
    WORD wUsage;
};
static_assert(sizeof(DIDEVICEINSTANCEA) == 580);

struct DIDEVCAPS
{
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwDevType;
    DWORD dwAxes;
    DWORD dwButtons;
    DWORD dwPOVs;
    DWORD dwFFSamplePeriod;
    DWORD dwFFMinTimeResolution;
    DWORD dwFirmwareRevision;
    DWORD dwHardwareRevision;
    DWORD dwFFDriverVersion;
};
static_assert(sizeof(DIDEVCAPS) == 44);

struct DIOBJECTDATAFORMAT
{
    const GUID* pguid;
    DWORD dwOfs;
    DWORD dwType;
    DWORD dwFlags;
};

struct DIDATAFORMAT
{
    DWORD dwSize;
    DWORD dwObjSize;
    DWORD dwFlags;
    DWORD dwDataSize;
    DWORD dwNumObjs;
    DIOBJECTDATAFORMAT* rgodf;
};

// The standard joystick format. The device's state is read through joyGetPosEx, so the
// format is only checked for being given.
extern const DIDATAFORMAT c_dfDIJoystick;

struct DIPROPHEADER
{
    DWORD dwSize;
    DWORD dwHeaderSize;
    DWORD dwObj;
    DWORD dwHow;
};

struct DIPROPDWORD
{
    DIPROPHEADER diph;
    DWORD dwData;
};
static_assert(sizeof(DIPROPDWORD) == 20);

struct DIENVELOPE
{
    DWORD dwSize;
    DWORD dwAttackLevel;
    DWORD dwAttackTime;
    DWORD dwFadeLevel;
    DWORD dwFadeTime;
};
static_assert(sizeof(DIENVELOPE) == 20);

struct DICONSTANTFORCE
{
    LONG lMagnitude;
};

struct DIRAMPFORCE
{
    LONG lStart;
    LONG lEnd;
};

struct DIPERIODIC
{
    DWORD dwMagnitude;
    LONG lOffset;
    DWORD dwPhase;
    DWORD dwPeriod;
};

struct DICONDITION
{
    LONG lOffset;
    LONG lPositiveCoefficient;
    LONG lNegativeCoefficient;
    DWORD dwPositiveSaturation;
    DWORD dwNegativeSaturation;
    LONG lDeadBand;
};
static_assert(sizeof(DICONDITION) == 24);

// 52 bytes on the original 32-bit layout; larger here because of the pointers. dwSize may be
// either.
struct DIEFFECT
{
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwDuration;
    DWORD dwSamplePeriod;
    DWORD dwGain;
    DWORD dwTriggerButton;
    DWORD dwTriggerRepeatInterval;
    DWORD cAxes;
    DWORD* rgdwAxes;
    LONG* rglDirection;
    DIENVELOPE* lpEnvelope;
    DWORD cbTypeSpecificParams;
    void* lpvTypeSpecificParams;
};
#define DIEFFECT_SIZE_32 52

class IDirectInputEffect
{
public:
    virtual ~IDirectInputEffect() = default;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT SetParameters(const DIEFFECT* peff, DWORD dwFlags) = 0;
    // Starts from the beginning; dwIterations INFINITE repeats until stopped.
    virtual HRESULT Start(DWORD dwIterations, DWORD dwFlags) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetEffectStatus(DWORD* pdwFlags) = 0;
};

class IDirectInputDeviceA
{
public:
    virtual ~IDirectInputDeviceA() = default;
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObj) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT GetCapabilities(DIDEVCAPS* lpDIDevCaps) = 0;
    virtual HRESULT SetDataFormat(const DIDATAFORMAT* lpdf) = 0;
    virtual HRESULT SetCooperativeLevel(HWND hwnd, DWORD dwFlags) = 0;
    virtual HRESULT SetProperty(const GUID* rguidProp, const DIPROPHEADER* pdiph) = 0;
    virtual HRESULT Acquire() = 0;
    virtual HRESULT Unacquire() = 0;
};

class IDirectInputDevice2A : public IDirectInputDeviceA
{
public:
    virtual HRESULT CreateEffect(REFIID rguid, const DIEFFECT* lpeff, IDirectInputEffect** ppdeff,
                                 void* punkOuter) = 0;
    virtual HRESULT SendForceFeedbackCommand(DWORD dwFlags) = 0;
};

typedef BOOL (*LPDIENUMDEVICESCALLBACKA)(const DIDEVICEINSTANCEA* lpddi, LPVOID pvRef);

class IDirectInputA
{
public:
    virtual ~IDirectInputA() = default;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Joysticks in id order (devType 0 or DIDEVTYPE_JOYSTICK); with DIEDFL_FORCEFEEDBACK only
    // those with force feedback.
    virtual HRESULT EnumDevices(DWORD dwDevType, LPDIENUMDEVICESCALLBACKA lpCallback, LPVOID pvRef,
                                DWORD dwFlags) = 0;
    virtual HRESULT CreateDevice(REFIID rguid, IDirectInputDeviceA** lplpDirectInputDevice,
                                 void* pUnkOuter) = 0;
};

HRESULT DirectInputCreateA(HINSTANCE hinst, DWORD dwVersion, IDirectInputA** lplpDirectInput,
                           void* punkOuter);
