// Joysticks by id over SDL2. The timer thread reads positions while the main thread pumps SDL,
// so everything here runs under one lock.

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/input/input_internal.h"

namespace
{

// With JOY_RETURNCENTERED, an axis within this many units (of 65536) of the centre reads
// exactly the centre, so a stick at rest never reads a small deflection.
constexpr int kCentreDeadZone = 512;
constexpr DWORD kCentre = 32768;
constexpr int kMaxAxes = 6;
constexpr int kMaxButtons = 12;

struct Slot
{
    SDL_Joystick* joystick = nullptr;
    SDL_JoystickID instance = -1;
};

std::mutex gMutex;
bool gbInitTried = false;
bool gbJoystickUp = false;
std::array<Slot, JOY_MAX_IDS> gaSlots;

// Brings the subsystem up once, then lets SDL notice arrivals and removals: a removed device
// frees its id, and a new one takes the first free id.
bool Refresh()
{
    if (!gbInitTried)
    {
        gbInitTried = true;
        gbJoystickUp = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
    }
    if (!gbJoystickUp)
        return false;
    SDL_JoystickUpdate();

    for (Slot& slot : gaSlots)
        if (slot.joystick != nullptr && !SDL_JoystickGetAttached(slot.joystick))
        {
            SDL_JoystickClose(slot.joystick);
            slot = Slot{};
        }

    int count = SDL_NumJoysticks();
    for (int index = 0; index < count; ++index)
    {
        SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(index);
        if (instance < 0)
            continue;
        bool known = std::any_of(gaSlots.begin(), gaSlots.end(),
                                 [&](const Slot& s) { return s.instance == instance; });
        if (known)
            continue;
        auto freeSlot = std::find_if(gaSlots.begin(), gaSlots.end(),
                                     [](const Slot& s) { return s.joystick == nullptr; });
        if (freeSlot == gaSlots.end())
            break;
        if (SDL_Joystick* joystick = SDL_JoystickOpen(index))
        {
            freeSlot->joystick = joystick;
            freeSlot->instance = SDL_JoystickInstanceID(joystick);
        }
    }
    return true;
}

// Looks up an id after a refresh; the result code when there is nothing to read.
MMRESULT Find(UINT id, SDL_Joystick** out)
{
    if (id >= JOY_MAX_IDS)
        return JOYERR_PARMS;
    if (!Refresh())
        return MMSYSERR_NODRIVER;
    *out = gaSlots[id].joystick;
    return *out != nullptr ? JOYERR_NOERROR : JOYERR_UNPLUGGED;
}

DWORD ReadAxis(SDL_Joystick* joystick, int axis, bool centred)
{
    if (axis >= SDL_JoystickNumAxes(joystick))
        return kCentre;
    DWORD value = static_cast<DWORD>(SDL_JoystickGetAxis(joystick, axis) + 32768);
    int offset = static_cast<int>(value) - static_cast<int>(kCentre);
    if (centred && offset >= -kCentreDeadZone && offset <= kCentreDeadZone)
        return kCentre;
    return value;
}

DWORD ReadPov(SDL_Joystick* joystick)
{
    if (SDL_JoystickNumHats(joystick) < 1)
        return JOY_POVCENTERED;
    switch (SDL_JoystickGetHat(joystick, 0))
    {
        case SDL_HAT_UP:
            return 0;
        case SDL_HAT_RIGHTUP:
            return 4500;
        case SDL_HAT_RIGHT:
            return 9000;
        case SDL_HAT_RIGHTDOWN:
            return 13500;
        case SDL_HAT_DOWN:
            return 18000;
        case SDL_HAT_LEFTDOWN:
            return 22500;
        case SDL_HAT_LEFT:
            return 27000;
        case SDL_HAT_LEFTUP:
            return 31500;
        default:
            return JOY_POVCENTERED;
    }
}

} // namespace

MMRESULT joyGetPosEx(UINT uJoyID, JOYINFOEX* pji)
{
    if (pji == nullptr)
        return MMSYSERR_INVALPARAM;
    if (pji->dwSize != sizeof(JOYINFOEX))
        return JOYERR_PARMS;
    std::lock_guard<std::mutex> lock(gMutex);
    SDL_Joystick* joystick = nullptr;
    if (MMRESULT result = Find(uJoyID, &joystick))
        return result;

    DWORD flags = pji->dwFlags;
    bool centred = (flags & JOY_RETURNCENTERED) != 0;
    DWORD* const axes[kMaxAxes] = {&pji->dwXpos, &pji->dwYpos, &pji->dwZpos,
                                   &pji->dwRpos, &pji->dwUpos, &pji->dwVpos};
    for (int axis = 0; axis < kMaxAxes; ++axis)
        if (flags & (JOY_RETURNX << axis))
            *axes[axis] = ReadAxis(joystick, axis, centred);
    if (flags & JOY_RETURNBUTTONS)
    {
        int count = std::min(kMaxButtons, SDL_JoystickNumButtons(joystick));
        DWORD mask = 0;
        DWORD held = 0;
        for (int button = 0; button < count; ++button)
            if (SDL_JoystickGetButton(joystick, button))
            {
                mask |= 1u << button;
                ++held;
            }
        pji->dwButtons = mask;
        pji->dwButtonNumber = held;
    }
    if (flags & JOY_RETURNPOV)
        pji->dwPOV = ReadPov(joystick);
    return JOYERR_NOERROR;
}

MMRESULT joyGetDevCapsA(UINT uJoyID, JOYCAPSA* pjc, UINT cbjc)
{
    if (pjc == nullptr || cbjc != sizeof(JOYCAPSA))
        return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> lock(gMutex);
    SDL_Joystick* joystick = nullptr;
    if (MMRESULT result = Find(uJoyID, &joystick))
        return result;

    JOYCAPSA caps{};
    caps.wMid = SDL_JoystickGetVendor(joystick);
    caps.wPid = SDL_JoystickGetProduct(joystick);
    const char* name = SDL_JoystickName(joystick);
    std::snprintf(caps.szPname, sizeof caps.szPname, "%s", name != nullptr ? name : "Joystick");
    caps.wXmax = caps.wYmax = caps.wZmax = caps.wRmax = caps.wUmax = caps.wVmax = 65535;
    caps.wNumButtons = static_cast<UINT>(std::min(kMaxButtons, SDL_JoystickNumButtons(joystick)));
    caps.wMaxButtons = kMaxButtons;
    caps.wNumAxes = static_cast<UINT>(std::clamp(SDL_JoystickNumAxes(joystick), 0, kMaxAxes));
    caps.wMaxAxes = kMaxAxes;
    // Positions are read on demand, so any polling period will do.
    caps.wPeriodMin = 10;
    caps.wPeriodMax = 1000;
    static constexpr UINT kAxisCaps[kMaxAxes] = {
        0, 0, JOYCAPS_HASZ, JOYCAPS_HASR, JOYCAPS_HASU, JOYCAPS_HASV};
    for (UINT axis = 2; axis < caps.wNumAxes; ++axis)
        caps.wCaps |= kAxisCaps[axis];
    if (SDL_JoystickNumHats(joystick) > 0)
        caps.wCaps |= JOYCAPS_HASPOV | JOYCAPS_POV4DIR;
    std::snprintf(caps.szRegKey, sizeof caps.szRegKey, "%s", "DEZOR");
    *pjc = caps;
    return JOYERR_NOERROR;
}

int JoyListDevices(JoyDeviceInfo* devices, int max)
{
    std::lock_guard<std::mutex> lock(gMutex);
    if (!Refresh())
        return 0;
    bool hapticUp = SDL_WasInit(SDL_INIT_HAPTIC) != 0;
    int n = 0;
    for (int id = 0; id < JOY_MAX_IDS && n < max; ++id)
    {
        SDL_Joystick* joystick = gaSlots[id].joystick;
        if (joystick == nullptr)
            continue;
        JoyDeviceInfo& info = devices[n++];
        info = JoyDeviceInfo{};
        info.id = id;
        const char* name = SDL_JoystickName(joystick);
        std::snprintf(info.name, sizeof info.name, "%s", name != nullptr ? name : "Joystick");
        info.vendor = SDL_JoystickGetVendor(joystick);
        info.product = SDL_JoystickGetProduct(joystick);
        info.axes = SDL_JoystickNumAxes(joystick);
        info.buttons = SDL_JoystickNumButtons(joystick);
        info.hats = SDL_JoystickNumHats(joystick);
        info.haptic = hapticUp && SDL_JoystickIsHaptic(joystick) == SDL_TRUE;
    }
    return n;
}

SDL_Haptic* JoyOpenHaptic(int id)
{
    std::lock_guard<std::mutex> lock(gMutex);
    if (id < 0 || id >= JOY_MAX_IDS || !Refresh() || gaSlots[id].joystick == nullptr ||
        !SDL_WasInit(SDL_INIT_HAPTIC))
        return nullptr;
    return SDL_HapticOpenFromJoystick(gaSlots[id].joystick);
}
