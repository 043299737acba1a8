#include "engine/pc/input/dk_input.h"

#include <cstddef>
#include <cstring>

#include "engine/common/dk_heap.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/input/dk_ffeed.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "platform/input/input.h"
#include "platform/win/keys.h"
#include "platform/win/win.h"

static_assert(sizeof(DK_CONTROLLER) == 140, "a controller record is 140 bytes");
static_assert(offsetof(DK_CONTROLLER, Reading) == 20, "the reading starts at byte 20");
static_assert(offsetof(DK_CONTROLLER, auButtonMasks) == 72, "the masks start at byte 72");
static_assert(offsetof(DK_CONTROLLER, auKeys) == 120, "the keys start at byte 120");
static_assert(sizeof(DK_JOYREADING) == sizeof(JOYINFOEX), "a reading is a JOYINFOEX");

DK_CONTROLLER gaControllers[DK_MAX_CONTROLLERS];

namespace
{

constexpr uint32_t kJoypadFlags = JOY_RETURNX | JOY_RETURNY | JOY_RETURNBUTTONS;
constexpr uint32_t kAnalogFlags = kJoypadFlags | JOY_RETURNCENTERED;

const uint8_t kFirstKeyboardKeys[16] = {
    VK_LEFT,    VK_RIGHT,  VK_UP,     VK_DOWN,   VK_RETURN,   VK_ESCAPE, VK_PRIOR,   VK_DELETE,
    VK_NUMPAD0, VK_INSERT, VK_ESCAPE, VK_LSHIFT, VK_SUBTRACT, VK_ADD,    VK_NUMPAD7, VK_NUMPAD9};
const uint8_t kOtherKeyboardKeys[16] = {
    'A', 'S',    'R',       'D',       VK_RETURN,   VK_ESCAPE, VK_F1,      'Q',
    'T', VK_TAB, VK_ESCAPE, VK_LSHIFT, VK_SUBTRACT, VK_ADD,    VK_NUMPAD7, VK_NUMPAD9};

int gnNumKeyboards = 0;
int gnNextSlot = 0;
int gnNextJoystick = 0;
int gnForceFeedbackDevices = 0;
uint8_t gaCurrentKeys[256];
uint8_t gaPreviousKeys[256];
BOOL gboAnyKey = FALSE;
BOOL gboAnyKeyLatch = FALSE;

// The analog companion.
int gnDeadZoneX = 2000;
int gnDeadZoneY = 2300;
int gnRangeX = 512;
int gnRangeY = 512;

bool KeyDown(int vKey)
{
    return vKey != 0 && GetAsyncKeyState(vKey) < 0;
}

// The slot of a single function bit 0x0001..0x8000, or -1.
int SlotOfFunction(uint32_t uFunction)
{
    for (int slot = 0; slot < 16; ++slot)
        if (uFunction == (1u << slot))
            return slot;
    return -1;
}

// Buttons 1..12 go to bits 0x0010..0x8000.
uint32_t ButtonBits(uint32_t dwButtons)
{
    return (dwButtons & 0xFFFu) << 4;
}

uint32_t WithAnyButton(uint32_t held)
{
    return (held & ~0xFu) ? held | DKC_ANY_BUTTON : held;
}

void ReadJoypad(DK_CONTROLLER& c)
{
    if (c.nType != DKCT_JOYPAD)
        DKREPORT("not a pad");
    if (c.nPort < 0 || c.nPort > 3)
        DKREPORT(DkFormatString("DkReadJoypad() : Port must be between 0 and 3 (%d)", c.nPort));
    c.uHeld = 0;
    JOYINFOEX info{};
    info.dwSize = sizeof info;
    info.dwFlags = kJoypadFlags;
    if (joyGetPosEx(static_cast<UINT>(c.nPort), &info) != JOYERR_NOERROR)
        return;
    std::memcpy(&c.Reading, &info, sizeof info);
    uint32_t held = 0;
    if (info.dwXpos < 10000)
        held |= DKC_LEFT;
    else if (info.dwXpos > 55536)
        held |= DKC_RIGHT;
    if (info.dwYpos < 10000)
        held |= DKC_UP;
    else if (info.dwYpos > 55536)
        held |= DKC_DOWN;
    c.uHeld = WithAnyButton(held | ButtonBits(info.dwButtons));
}

void ReadKeyboard(DK_CONTROLLER& c)
{
    uint32_t held = 0;
    // Left wins over right; up and down may both be held.
    if (KeyDown(c.auKeys[0]))
        held |= DKC_LEFT;
    else if (KeyDown(c.auKeys[1]))
        held |= DKC_RIGHT;
    if (KeyDown(c.auKeys[2]))
        held |= DKC_UP;
    if (KeyDown(c.auKeys[3]))
        held |= DKC_DOWN;
    for (int slot = 4; slot < 16; ++slot)
        if (KeyDown(c.auKeys[slot]))
            held |= 1u << slot;
    if (KeyDown(c.auKeys[16]))
        held |= 0x4000u;
    if (KeyDown(c.auKeys[17]))
        held |= 0x8000u;
    c.uHeld = WithAnyButton(held);
}

int32_t AnalogAxis(uint32_t position, int deadZone)
{
    int32_t v = static_cast<int32_t>(position) - 0x8000;
    if ((v < 0 ? -v : v) <= deadZone)
        return 0;
    int32_t beyond = v > 0 ? v - deadZone : v + deadZone;
    v = static_cast<int32_t>(static_cast<int64_t>(beyond) * 32768 / (0x8000 - deadZone));
    return v * 2;
}

void ReadAnalog(DK_CONTROLLER& c)
{
    if (c.nType != DKCT_WHEEL && c.nType != DKCT_ANALOG)
        DKREPORT("not a wheely/analog");
    JOYINFOEX info{};
    info.dwSize = sizeof info;
    info.dwFlags = kAnalogFlags;
    if (joyGetPosEx(static_cast<UINT>(c.nPort), &info) != JOYERR_NOERROR)
        return;
    int32_t x = AnalogAxis(info.dwXpos, gnDeadZoneX);
    int32_t y = AnalogAxis(info.dwYpos, gnDeadZoneY);
    c.anAxes[0] = x;
    c.anAxes[1] = y;
    uint32_t held = 0;
    if (x < -0x8000)
        held |= DKC_LEFT;
    else if (x > 0x8000)
        held |= DKC_RIGHT;
    if (y < -0x8000)
        held |= DKC_UP;
    else if (y > 0x8000)
        held |= DKC_DOWN;
    c.uHeld = WithAnyButton(held | ButtonBits(info.dwButtons));
}

// CONTROL.DAT: the records in slot order, 140 bytes each, little-endian, field by field.
void PutU32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void WriteRecord(const DK_CONTROLLER& c, uint8_t* p)
{
    PutU32(p + 0, static_cast<uint32_t>(c.nType));
    PutU32(p + 4, c.uHeld);
    PutU32(p + 8, c.uPressed);
    PutU32(p + 12, static_cast<uint32_t>(c.nButtonCount));
    PutU32(p + 16, static_cast<uint32_t>(c.nPort));
    const uint32_t* reading = &c.Reading.dwSize;
    for (int i = 0; i < 13; ++i)
        PutU32(p + 20 + 4 * i, reading[i]);
    for (int i = 0; i < 12; ++i)
        PutU32(p + 72 + 4 * i, c.auButtonMasks[i]);
    std::memcpy(p + 120, c.auKeys, DK_CONTROLLER_KEYS);
    p[138] = p[139] = 0;
}

void ReadRecord(DK_CONTROLLER& c, const uint8_t* p)
{
    c.nType = static_cast<int32_t>(GetU32(p + 0));
    c.uHeld = GetU32(p + 4);
    c.uPressed = GetU32(p + 8);
    c.nButtonCount = static_cast<int32_t>(GetU32(p + 12));
    c.nPort = static_cast<int32_t>(GetU32(p + 16));
    uint32_t* reading = &c.Reading.dwSize;
    for (int i = 0; i < 13; ++i)
        reading[i] = GetU32(p + 20 + 4 * i);
    for (int i = 0; i < 12; ++i)
        c.auButtonMasks[i] = GetU32(p + 72 + 4 * i);
    std::memcpy(c.auKeys, p + 120, DK_CONTROLLER_KEYS);
}

// Once per attached joystick, in DirectInput's order: a force-feedback one also starts force
// feedback; every joystick becomes a joypad in the next slot.
BOOL DkEnumForceFeedbackCallback(const DIDEVICEINSTANCEA* pInstance, LPVOID pContext)
{
    IDirectInputA* di = static_cast<IDirectInputA*>(pContext);
    // The table holds 18 controllers; joysticks beyond it are not taken.
    if (gnNextSlot >= DK_MAX_CONTROLLERS)
        return DIENUM_STOP;
    IDirectInputDeviceA* first = nullptr;
    if (di->CreateDevice(pInstance->guidInstance, &first, nullptr) == DI_OK)
    {
        IDirectInputDevice2A* device = nullptr;
        HRESULT hr =
            first->QueryInterface(IID_IDirectInputDevice2A, reinterpret_cast<void**>(&device));
        first->Release();
        if (hr == DI_OK && device != nullptr)
        {
            DIDEVCAPS caps{};
            caps.dwSize = sizeof caps;
            if (device->GetCapabilities(&caps) == DI_OK && (caps.dwFlags & DIDC_FORCEFEEDBACK))
            {
                DkInitForceFeedback();
                ++gnForceFeedbackDevices;
                DkLog("Force feedback detected");
            }
            device->Release();
        }
    }

    const char* line =
        DkFormatString("*** CONTROLLER #%d: Joypad (ID #%d)\n", gnNextSlot, gnNextJoystick);
    DkDebugOutput(line);
    DkLog(line);
    DK_CONTROLLER& c = gaControllers[gnNextSlot];
    c.nType = DKCT_JOYPAD;
    c.nPort = gnNextJoystick;
    JOYCAPSA caps{};
    c.nButtonCount =
        joyGetDevCapsA(static_cast<UINT>(gnNextJoystick), &caps, sizeof caps) == JOYERR_NOERROR
            ? static_cast<int32_t>(caps.wNumButtons)
            : 2;
    for (int i = 0; i < 12; ++i)
        c.auButtonMasks[i] = 1u << i;
    ++gnNextSlot;
    ++gnNextJoystick;
    return DIENUM_CONTINUE;
}

} // namespace

uint32_t DkSearchForControllers(int nKeyboards)
{
    DkDebugOutput("*** Searching for controllers...\n***\n");
    gnNumKeyboards = nKeyboards;
    DkClearKeyboardState();
    gnNextSlot = 0;
    gnNextJoystick = 0;
    for (DK_CONTROLLER& c : gaControllers)
    {
        c.nType = DKCT_NONE;
        c.nPort = -1;
    }

    for (int i = 0; i < nKeyboards && gnNextSlot < DK_MAX_CONTROLLERS; ++i)
    {
        DkLog(" ");
        DkLog("=====================================");
        DkLog("       CONTROLLERS CONNECTED");
        DkLog("=====================================");
        const char* line = DkFormatString("*** CONTROLLER #%d: Keyboard\n", gnNextSlot);
        DkDebugOutput(line);
        DkLog(line);
        DK_CONTROLLER& c = gaControllers[gnNextSlot];
        c.nType = DKCT_KEYBOARD;
        std::memcpy(c.auKeys, i == 0 ? kFirstKeyboardKeys : kOtherKeyboardKeys, 16);
        ++gnNextSlot;
    }

    IDirectInputA* di = nullptr;
    if (DirectInputCreateA(ghInstance, DIRECTINPUT_VERSION, &di, nullptr) == DI_OK && di != nullptr)
    {
        di->EnumDevices(DIDEVTYPE_JOYSTICK, DkEnumForceFeedbackCallback, di, DIEDFL_ATTACHEDONLY);
        if (gnForceFeedbackDevices == 0)
            DkLog("Force feedback not detected");
        di->Release();
    }

    DkDebugOutput(DkFormatString("***\n*** Last controller ID = %d\n", gnNextSlot));
    DkLog("=====================================");
    DkLog(" ");
    return DkGetConfiguredControllersMask();
}

DK_CONTROLLER* DkReadController(int nSlot)
{
    if (nSlot < 0 || nSlot >= DK_MAX_CONTROLLERS)
        return nullptr;
    DK_CONTROLLER& c = gaControllers[nSlot];
    // Only ports 0..3 are read beyond the two first slots.
    if (nSlot >= 2 && (c.nPort < 0 || c.nPort > 3))
        return nullptr;
    uint32_t before = c.uHeld;
    switch (c.nType)
    {
        case DKCT_JOYPAD:
            ReadJoypad(c);
            break;
        case DKCT_KEYBOARD:
            ReadKeyboard(c);
            break;
        case DKCT_WHEEL:
        case DKCT_ANALOG:
            ReadAnalog(c);
            break;
        default:
            break;
    }
    c.uPressed = (before ^ c.uHeld) & c.uHeld;
    return &c;
}

void DkReadAllControllers(void)
{
    WinInputScriptPump();
    for (int slot = 0; slot < DK_MAX_CONTROLLERS; ++slot)
        DkReadController(slot);
}

DK_CONTROLLER* DkGetController(int nSlot)
{
    return &gaControllers[nSlot];
}

int DkGetControllerType(int nSlot)
{
    return gaControllers[nSlot].nType;
}

void DkSetControllerType(int nSlot, int nType)
{
    gaControllers[nSlot].nType = nType;
    if (nType == DKCT_KEYBOARD)
        gaControllers[nSlot].nPort = -1;
}

int DkGetControllerButtonCount(int nSlot)
{
    int type = gaControllers[nSlot].nType;
    return (type == DKCT_JOYPAD || type == DKCT_WHEEL || type == DKCT_ANALOG)
               ? gaControllers[nSlot].nButtonCount
               : 0;
}

uint32_t DkGetAllControllersHeld(void)
{
    uint32_t bits = 0;
    for (const DK_CONTROLLER& c : gaControllers)
        if (c.nType != DKCT_NONE)
            bits |= c.uHeld;
    return bits;
}

uint32_t DkGetAllControllersPressed(void)
{
    uint32_t bits = 0;
    for (const DK_CONTROLLER& c : gaControllers)
        if (c.nType != DKCT_NONE)
            bits |= c.uPressed;
    return bits;
}

uint32_t DkGetConfiguredControllersMask(void)
{
    uint32_t mask = 0;
    for (int slot = 0; slot < DK_MAX_CONTROLLERS; ++slot)
        if (gaControllers[slot].nType != DKCT_NONE)
            mask |= 1u << slot;
    return mask;
}

uint32_t DkGetAttachedControllersMask(void)
{
    uint32_t mask = 0;
    for (int i = 0; i < gnNumKeyboards && i < 32; ++i)
        mask |= 1u << i;
    // Bit k (after the k keyboards) stays clear; callers count on it. Joysticks whose bit
    // would lie beyond the mask are not shown.
    for (int j = 0; j < 16 && gnNumKeyboards + 1 + j < 32; ++j)
    {
        JOYINFOEX info{};
        info.dwSize = sizeof info;
        info.dwFlags = kJoypadFlags;
        if (joyGetPosEx(static_cast<UINT>(j), &info) == JOYERR_NOERROR)
            mask |= 1u << (gnNumKeyboards + 1 + j);
    }
    return mask;
}

int DkGetPressedKey(int* pnShift)
{
    for (int key = 5; key <= 254; ++key)
    {
        if (key == VK_SHIFT || !KeyDown(key))
            continue;
        if (pnShift != nullptr)
            *pnShift = KeyDown(VK_SHIFT) ? 1 : 0;
        return key;
    }
    return -1;
}

int DkGetKeyboardKey(uint32_t uFunction, int nKeyboard)
{
    if (nKeyboard < 0 || nKeyboard > 1)
    {
        DKREPORT(DkFormatString("%d is an invalid keyboard number", nKeyboard));
        return 0;
    }
    int slot = SlotOfFunction(uFunction);
    if (slot < 0)
    {
        DKREPORT("Error - invalid joypad function");
        return 0;
    }
    return gaControllers[nKeyboard].auKeys[slot];
}

void DkRedefineKeyboardKey(int nSlot, uint32_t uFunction, int nKey)
{
    if (uFunction == 0)
        return;
    // Only the sixteen single function bits have a key of their own to redefine.
    int function = SlotOfFunction(uFunction);
    if (function < 0 || nSlot < 0 || nSlot >= DK_MAX_CONTROLLERS)
    {
        DKREPORT("Error - redefining keyboard - invalid joypad function");
        return;
    }
    gaControllers[nSlot].auKeys[function] = static_cast<uint8_t>(nKey);
}

int DkRunJoystickControlPanel(void)
{
    SendMessageA(ghWnd, WM_ACTIVATEAPP, FALSE, 0);
    return static_cast<int>(WinExec("control joy.cpl", SW_HIDE));
}

BOOL DkIsForceFeedbackPresent(void)
{
    return gnForceFeedbackDevices > 0 ? TRUE : FALSE;
}

void DkSetControllerSensitivity(int nSlot, int)
{
    int type = gaControllers[nSlot].nType;
    if (type != DKCT_WHEEL && type != DKCT_ANALOG)
        DKREPORT(DkFormatString(
            "DkSetControllerSensitivity: Cannot set the sensitivity of controller %d", nSlot));
}

int DkGetControllerSensitivity(int nSlot)
{
    int type = gaControllers[nSlot].nType;
    if (type != DKCT_WHEEL && type != DKCT_ANALOG)
        DKREPORT(DkFormatString(
            "DkGetControllerSensitivity: Cannot get the sensitivity of controller %d", nSlot));
    return 2;
}

BOOL DkSaveControllerConfig(void)
{
    uint8_t image[DK_CONTROLLER_FILE_SIZE];
    for (int slot = 0; slot < DK_MAX_CONTROLLERS; ++slot)
        WriteRecord(gaControllers[slot], image + 140 * slot);
    return DkSaveFile("CONTROL.DAT", DKLF_HARDDRIVE, image, sizeof image);
}

BOOL DkLoadControllerConfig(void)
{
    const uint8_t* image =
        static_cast<const uint8_t*>(DkMallocLoadFile("CONTROL.DAT", DKLF_HARDDRIVE));
    // Only a whole image of the 18 records is taken; anything else leaves the table alone.
    if (image == nullptr || DkGetLastFileSize() != DK_CONTROLLER_FILE_SIZE)
    {
        DKREPORT("*** Error opening 'control.dat' file for input.");
        if (image != nullptr)
            DkHeapFree(const_cast<uint8_t*>(image));
        return FALSE;
    }
    for (int slot = 0; slot < DK_MAX_CONTROLLERS; ++slot)
        ReadRecord(gaControllers[slot], image + 140 * slot);
    DkHeapFree(const_cast<uint8_t*>(image));
    return TRUE;
}

static_assert(DK_VK_ESCAPE == VK_ESCAPE, "the engine numbers keys as the keyboard does");

BOOL DkIsKeyHeld(int nKey)
{
    return (GetAsyncKeyState(nKey) & 0x8000) != 0 ? TRUE : FALSE;
}

BOOL DkInputScriptEnded(void)
{
    return WinInputScriptEnded();
}

void DkInputScriptMark(const char* pszName)
{
    WinInputScriptMark(pszName);
}

void DkScanKeyboard(void)
{
    std::memcpy(gaPreviousKeys, gaCurrentKeys, sizeof gaPreviousKeys);
    std::memset(gaCurrentKeys, 0, sizeof gaCurrentKeys);
    gboAnyKey = FALSE;
    for (int key = 5; key <= 165; ++key)
        if (KeyDown(key))
        {
            gaCurrentKeys[key] = 1;
            gboAnyKey = TRUE;
        }
}

int DkGetKeyState(int nKey)
{
    unsigned key = static_cast<unsigned>(nKey) & 0xFFu;
    if (gaCurrentKeys[key] && !gaPreviousKeys[key])
        return 2;
    if (gaCurrentKeys[key])
        return 1;
    if (gaPreviousKeys[key])
        return 4;
    return 0;
}

int DkAnyKeyPressedOnce(void)
{
    if (!gboAnyKey)
    {
        gboAnyKeyLatch = FALSE;
        return 0;
    }
    if (gboAnyKeyLatch)
        return 0;
    gboAnyKeyLatch = TRUE;
    return 1;
}

void DkClearKeyboardState(void)
{
    std::memset(gaCurrentKeys, 0, sizeof gaCurrentKeys);
    std::memset(gaPreviousKeys, 0, sizeof gaPreviousKeys);
    gboAnyKey = FALSE;
}

int DkReadAnalogJoystick(int nJoystick, DK_ANALOG_READING* pOut)
{
    JOYINFOEX info{};
    info.dwSize = sizeof info;
    info.dwFlags = kJoypadFlags;
    if (pOut == nullptr || joyGetPosEx(static_cast<UINT>(nJoystick), &info) != JOYERR_NOERROR)
        return 0;
    auto axis = [](uint32_t position, int deadZone, int range)
    {
        int32_t v = static_cast<int32_t>(position) - 0x7FFF;
        if ((v < 0 ? -v : v) <= deadZone)
            return 0;
        int32_t beyond = v > 0 ? v - deadZone : v + deadZone;
        return static_cast<int>(static_cast<int64_t>(beyond) * range / (0x7FFF - deadZone));
    };
    pOut->x = axis(info.dwXpos, gnDeadZoneX, gnRangeX);
    pOut->y = axis(info.dwYpos, gnDeadZoneY, gnRangeY);
    pOut->buttons = info.dwButtons;
    return 1;
}

void DkSetAnalogRange(int nRangeX, int nRangeY)
{
    if (nRangeX < 10 || nRangeX > 32767)
        DKREPORT("X range is invalid");
    if (nRangeY < 10 || nRangeY > 32767)
        DKREPORT("Y range is invalid");
    gnRangeX = nRangeX;
    gnRangeY = nRangeY;
}

void DkSetAnalogDeadZone(int nDeadZoneX, int nDeadZoneY)
{
    if (nDeadZoneX < 0 || nDeadZoneX > 16384 || nDeadZoneY < 0 || nDeadZoneY > 16384)
        return;
    gnDeadZoneX = nDeadZoneX;
    gnDeadZoneY = nDeadZoneY;
}
