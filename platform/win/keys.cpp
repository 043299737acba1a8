// The key-state table. The main thread writes it as it pumps events; the timer thread reads it
// in the game's ticks, so every entry is atomic.

#include <SDL.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/win/keys.h"
#include "platform/win/win_internal.h"

namespace
{

enum : uint8_t
{
    KEY_DOWN = 0x80,
    KEY_TOGGLED = 0x01,
    KEY_PRESSED_SINCE_QUERY = 0x02,
};

std::array<std::atomic<uint8_t>, 256> gaKeys;
std::atomic<bool> gbTogglesRead{false};

struct KeyName
{
    const char* name;
    int vk;
};

constexpr KeyName kKeyNames[] = {
    {"BACK", VK_BACK},
    {"TAB", VK_TAB},
    {"CLEAR", VK_CLEAR},
    {"RETURN", VK_RETURN},
    {"SHIFT", VK_SHIFT},
    {"CONTROL", VK_CONTROL},
    {"MENU", VK_MENU},
    {"PAUSE", VK_PAUSE},
    {"CAPITAL", VK_CAPITAL},
    {"ESCAPE", VK_ESCAPE},
    {"SPACE", VK_SPACE},
    {"PRIOR", VK_PRIOR},
    {"NEXT", VK_NEXT},
    {"END", VK_END},
    {"HOME", VK_HOME},
    {"LEFT", VK_LEFT},
    {"UP", VK_UP},
    {"RIGHT", VK_RIGHT},
    {"DOWN", VK_DOWN},
    {"SELECT", VK_SELECT},
    {"PRINT", VK_PRINT},
    {"EXECUTE", VK_EXECUTE},
    {"SNAPSHOT", VK_SNAPSHOT},
    {"INSERT", VK_INSERT},
    {"DELETE", VK_DELETE},
    {"HELP", VK_HELP},
    {"LWIN", VK_LWIN},
    {"RWIN", VK_RWIN},
    {"APPS", VK_APPS},
    {"MULTIPLY", VK_MULTIPLY},
    {"ADD", VK_ADD},
    {"SEPARATOR", VK_SEPARATOR},
    {"SUBTRACT", VK_SUBTRACT},
    {"DECIMAL", VK_DECIMAL},
    {"DIVIDE", VK_DIVIDE},
    {"NUMLOCK", VK_NUMLOCK},
    {"SCROLL", VK_SCROLL},
    {"LSHIFT", VK_LSHIFT},
    {"RSHIFT", VK_RSHIFT},
    {"LCONTROL", VK_LCONTROL},
    {"RCONTROL", VK_RCONTROL},
    {"LMENU", VK_LMENU},
    {"RMENU", VK_RMENU},
    {"OEM_1", VK_OEM_1},
    {"OEM_PLUS", VK_OEM_PLUS},
    {"OEM_COMMA", VK_OEM_COMMA},
    {"OEM_MINUS", VK_OEM_MINUS},
    {"OEM_PERIOD", VK_OEM_PERIOD},
    {"OEM_2", VK_OEM_2},
    {"OEM_3", VK_OEM_3},
    {"OEM_4", VK_OEM_4},
    {"OEM_5", VK_OEM_5},
    {"OEM_6", VK_OEM_6},
    {"OEM_7", VK_OEM_7},
    {"OEM_102", VK_OEM_102},
};

// The generic Shift, Control and Alt keys are down while either of their sides is.
int GenericOf(int vKey)
{
    switch (vKey)
    {
        case VK_LSHIFT:
        case VK_RSHIFT:
            return VK_SHIFT;
        case VK_LCONTROL:
        case VK_RCONTROL:
            return VK_CONTROL;
        case VK_LMENU:
        case VK_RMENU:
            return VK_MENU;
        default:
            return 0;
    }
}

void SetDown(int vKey, bool down)
{
    std::atomic<uint8_t>& key = gaKeys[vKey & 0xFF];
    if (down)
    {
        uint8_t old = key.load();
        uint8_t now;
        do
        {
            now = old | KEY_DOWN | KEY_PRESSED_SINCE_QUERY;
            if (!(old & KEY_DOWN))
                now ^= KEY_TOGGLED;
        } while (!key.compare_exchange_weak(old, now));
    }
    else
    {
        key.fetch_and(static_cast<uint8_t>(~KEY_DOWN));
    }
}

// The lock keys start in the state the system has them in.
void ReadToggles()
{
    if (gbTogglesRead.exchange(true) || !SDL_WasInit(SDL_INIT_VIDEO))
        return;
    SDL_Keymod mod = SDL_GetModState();
    if (mod & KMOD_NUM)
        gaKeys[VK_NUMLOCK].fetch_or(KEY_TOGGLED);
    if (mod & KMOD_CAPS)
        gaKeys[VK_CAPITAL].fetch_or(KEY_TOGGLED);
}

} // namespace

int WinVirtualKeyFromScancode(int scancode)
{
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
        return 'A' + (scancode - SDL_SCANCODE_A);
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
        return '1' + (scancode - SDL_SCANCODE_1);
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12)
        return VK_F1 + (scancode - SDL_SCANCODE_F1);
    if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9)
        return VK_NUMPAD1 + (scancode - SDL_SCANCODE_KP_1);

    switch (scancode)
    {
        case SDL_SCANCODE_0:
            return '0';
        case SDL_SCANCODE_RETURN:
            return VK_RETURN;
        case SDL_SCANCODE_ESCAPE:
            return VK_ESCAPE;
        case SDL_SCANCODE_BACKSPACE:
            return VK_BACK;
        case SDL_SCANCODE_TAB:
            return VK_TAB;
        case SDL_SCANCODE_SPACE:
            return VK_SPACE;
        case SDL_SCANCODE_MINUS:
            return VK_OEM_MINUS;
        case SDL_SCANCODE_EQUALS:
            return VK_OEM_PLUS;
        case SDL_SCANCODE_LEFTBRACKET:
            return VK_OEM_4;
        case SDL_SCANCODE_RIGHTBRACKET:
            return VK_OEM_6;
        case SDL_SCANCODE_BACKSLASH:
            return VK_OEM_5;
        case SDL_SCANCODE_NONUSHASH:
            return VK_OEM_5;
        case SDL_SCANCODE_SEMICOLON:
            return VK_OEM_1;
        case SDL_SCANCODE_APOSTROPHE:
            return VK_OEM_7;
        case SDL_SCANCODE_GRAVE:
            return VK_OEM_3;
        case SDL_SCANCODE_COMMA:
            return VK_OEM_COMMA;
        case SDL_SCANCODE_PERIOD:
            return VK_OEM_PERIOD;
        case SDL_SCANCODE_SLASH:
            return VK_OEM_2;
        case SDL_SCANCODE_NONUSBACKSLASH:
            return VK_OEM_102;
        case SDL_SCANCODE_CAPSLOCK:
            return VK_CAPITAL;
        case SDL_SCANCODE_PRINTSCREEN:
            return VK_SNAPSHOT;
        case SDL_SCANCODE_SCROLLLOCK:
            return VK_SCROLL;
        case SDL_SCANCODE_PAUSE:
            return VK_PAUSE;
        case SDL_SCANCODE_INSERT:
            return VK_INSERT;
        case SDL_SCANCODE_HOME:
            return VK_HOME;
        case SDL_SCANCODE_PAGEUP:
            return VK_PRIOR;
        case SDL_SCANCODE_DELETE:
            return VK_DELETE;
        case SDL_SCANCODE_END:
            return VK_END;
        case SDL_SCANCODE_PAGEDOWN:
            return VK_NEXT;
        case SDL_SCANCODE_RIGHT:
            return VK_RIGHT;
        case SDL_SCANCODE_LEFT:
            return VK_LEFT;
        case SDL_SCANCODE_DOWN:
            return VK_DOWN;
        case SDL_SCANCODE_UP:
            return VK_UP;
        case SDL_SCANCODE_NUMLOCKCLEAR:
            return VK_NUMLOCK;
        case SDL_SCANCODE_KP_DIVIDE:
            return VK_DIVIDE;
        case SDL_SCANCODE_KP_MULTIPLY:
            return VK_MULTIPLY;
        case SDL_SCANCODE_KP_MINUS:
            return VK_SUBTRACT;
        case SDL_SCANCODE_KP_PLUS:
            return VK_ADD;
        case SDL_SCANCODE_KP_ENTER:
            return VK_RETURN;
        case SDL_SCANCODE_KP_0:
            return VK_NUMPAD0;
        case SDL_SCANCODE_KP_PERIOD:
            return VK_DECIMAL;
        case SDL_SCANCODE_APPLICATION:
            return VK_APPS;
        case SDL_SCANCODE_LCTRL:
            return VK_LCONTROL;
        case SDL_SCANCODE_LSHIFT:
            return VK_LSHIFT;
        case SDL_SCANCODE_LALT:
            return VK_LMENU;
        case SDL_SCANCODE_LGUI:
            return VK_LWIN;
        case SDL_SCANCODE_RCTRL:
            return VK_RCONTROL;
        case SDL_SCANCODE_RSHIFT:
            return VK_RSHIFT;
        case SDL_SCANCODE_RALT:
            return VK_RMENU;
        case SDL_SCANCODE_RGUI:
            return VK_RWIN;
        default:
            return 0;
    }
}

int WinVirtualKeyFromName(const char* name)
{
    if (name == nullptr || name[0] == '\0')
        return 0;
    if (name[1] == '\0')
    {
        char c = name[0];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            return c;
    }
    if (name[0] >= '0' && name[0] <= '9')
    {
        char* end = nullptr;
        // Decimal, or hexadecimal after 0x; a leading zero does not make it octal.
        bool hex = name[0] == '0' && (name[1] == 'x' || name[1] == 'X');
        long value = std::strtol(name, &end, hex ? 16 : 10);
        return (*end == '\0' && value > 0 && value < 256) ? static_cast<int>(value) : 0;
    }
    if ((name[0] == 'F' || name[0] == 'f') && name[1] >= '1' && name[1] <= '9')
    {
        char* end = nullptr;
        long n = std::strtol(name + 1, &end, 10);
        if (*end == '\0' && n >= 1 && n <= 12)
            return static_cast<int>(VK_F1 + n - 1);
    }
    if (strncasecmp(name, "NUMPAD", 6) == 0 && name[6] >= '0' && name[6] <= '9' && name[7] == '\0')
        return VK_NUMPAD0 + (name[6] - '0');
    for (const KeyName& k : kKeyNames)
        if (strcasecmp(k.name, name) == 0)
            return k.vk;
    return 0;
}

void WinKeyEvent(int vKey, BOOL down)
{
    if (vKey <= 0 || vKey > 0xFF)
        return;
    ReadToggles();
    bool wasDown = (gaKeys[vKey].load() & KEY_DOWN) != 0;
    SetDown(vKey, down);
    const int generic = GenericOf(vKey);
    if (generic != 0)
    {
        bool any = down;
        if (!down)
            for (int side = 0; side < 256; ++side)
                if (GenericOf(side) == generic && (gaKeys[side].load() & KEY_DOWN))
                    any = true;
        // Letting one side go while the other is held is no new press of the generic key.
        if (down || !any)
            SetDown(generic, down);
    }

    // The message carries the generic code, as the system's keyboard messages do; the bits of
    // lParam give the repeat count 1, the previous state and the transition.
    int messageKey = generic != 0 ? generic : vKey;
    LPARAM lParam = 1 | (wasDown ? (1L << 30) : 0) | (down ? 0 : (1L << 31));
    bool alt = (gaKeys[VK_MENU].load() & KEY_DOWN) != 0;
    UINT message = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
    if (HWND hWnd = WinCurrentWindow())
        WinQueuePost(hWnd, message, static_cast<WPARAM>(messageKey), lParam);
}

void WinKeysReset(void)
{
    for (auto& key : gaKeys)
        key.store(0);
    gbTogglesRead.store(false);
}

SHORT GetAsyncKeyState(int vKey)
{
    if (vKey < 0 || vKey > 0xFF)
        return 0;
    uint8_t state = gaKeys[vKey].fetch_and(static_cast<uint8_t>(~KEY_PRESSED_SINCE_QUERY));
    int result = ((state & KEY_DOWN) ? 0x8000 : 0) | ((state & KEY_PRESSED_SINCE_QUERY) ? 1 : 0);
    return static_cast<SHORT>(result);
}

SHORT GetKeyState(int nVirtKey)
{
    if (nVirtKey < 0 || nVirtKey > 0xFF)
        return 0;
    ReadToggles();
    uint8_t state = gaKeys[nVirtKey].load();
    int result = ((state & KEY_DOWN) ? 0xFF80 : 0) | ((state & KEY_TOGGLED) ? 1 : 0);
    return static_cast<SHORT>(result);
}

BOOL GetKeyboardState(BYTE* lpKeyState)
{
    if (lpKeyState == nullptr)
        return FALSE;
    ReadToggles();
    for (int i = 0; i < 256; ++i)
        lpKeyState[i] = gaKeys[i].load() & (KEY_DOWN | KEY_TOGGLED);
    return TRUE;
}

SHORT VkKeyScanA(CHAR ch)
{
    constexpr int kShift = 0x100;
    // Punctuation of a US layout: the character unshifted, then shifted, and its key.
    struct Punctuation
    {
        char plain;
        char shifted;
        int vk;
    };
    static constexpr Punctuation kPunctuation[] = {
        {';', ':', VK_OEM_1},      {'=', '+', VK_OEM_PLUS},   {',', '<', VK_OEM_COMMA},
        {'-', '_', VK_OEM_MINUS},  {'.', '>', VK_OEM_PERIOD}, {'/', '?', VK_OEM_2},
        {'`', '~', VK_OEM_3},      {'[', '{', VK_OEM_4},      {'\\', '|', VK_OEM_5},
        {']', '}', VK_OEM_6},      {'\'', '"', VK_OEM_7},     {' ', '\0', VK_SPACE},
        {'\t', '\0', VK_TAB},      {'\r', '\0', VK_RETURN},   {'\b', '\0', VK_BACK},
        {'\x1b', '\0', VK_ESCAPE},
    };
    static constexpr char kShiftedDigits[] = ")!@#$%^&*(";

    if (ch >= 'a' && ch <= 'z')
        return static_cast<SHORT>(ch - 'a' + 'A');
    if (ch >= 'A' && ch <= 'Z')
        return static_cast<SHORT>(kShift | ch);
    if (ch >= '0' && ch <= '9')
        return static_cast<SHORT>(ch);
    if (ch == '\0')
        return -1;
    if (const char* digit = std::strchr(kShiftedDigits, ch))
        return static_cast<SHORT>(kShift | ('0' + (digit - kShiftedDigits)));
    for (const Punctuation& p : kPunctuation)
    {
        if (ch == p.plain)
            return static_cast<SHORT>(p.vk);
        if (p.shifted != '\0' && ch == p.shifted)
            return static_cast<SHORT>(kShift | p.vk);
    }
    return -1;
}
