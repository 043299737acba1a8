// The controllers: keyboards through the key-state stand-in, joysticks through SDL's virtual
// joysticks, the force-feedback search through the recording fake.

#include "engine/pc/input/dk_input.h"

#include <SDL.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/input/dk_ffeed.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "platform/input/input_internal.h"
#include "platform/win/keys.h"
#include "platform/win/win.h"
#include "platform/win/win_internal.h"
#include "tests/support/engine_test.h"

namespace
{

constexpr uint32_t kAny = DKC_ANY_BUTTON;

class ControllerTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        WinKeysReset();
        DkResetDataPathsForTests();
        DkTempHeapInit(64 * 1024);
        DkHeapInit(256 * 1024);
        DkSetHardDrivePath("c:\\");
        // The search leaves key slots 16 and 17 as they were; start every test from a clean
        // table.
        std::memset(gaControllers, 0, sizeof gaControllers);
        output += CaptureOutput([] { DkSearchForControllers(2); });
    }
    void TearDown() override
    {
        WinKeysReset();
        CaptureOutput([] { DkCallAllDestructors(); });
        DkResetDataPathsForTests();
        LoggedTest::TearDown();
    }

    static void Keys(std::initializer_list<int> keys, BOOL down)
    {
        for (int key : keys)
            WinKeyEvent(key, down);
    }

    std::string output;
};

// One of SDL's virtual joysticks (2 axes, 12 buttons) as joystick id 0.
class JoystickTest : public ControllerTest
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 12, 0);
        ASSERT_GE(index, 0) << SDL_GetError();
        instance_ = SDL_JoystickGetDeviceInstanceID(index);
        handle_ = SDL_JoystickOpen(index);
        ASSERT_NE(handle_, nullptr) << SDL_GetError();
        ControllerTest::SetUp();
    }
    void TearDown() override
    {
        ControllerTest::TearDown();
        Detach();
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }

    void Detach()
    {
        if (handle_ != nullptr)
            SDL_JoystickClose(handle_);
        handle_ = nullptr;
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == instance_)
                SDL_JoystickDetachVirtual(i);
        instance_ = -1;
        DkGetAttachedControllersMask(); // lets the layer notice the removal
    }

    void Axes(Sint16 x, Sint16 y)
    {
        SDL_JoystickSetVirtualAxis(handle_, 0, x);
        SDL_JoystickSetVirtualAxis(handle_, 1, y);
    }
    void Button(int button, bool down)
    {
        SDL_JoystickSetVirtualButton(handle_, button, down ? SDL_PRESSED : SDL_RELEASED);
    }

    SDL_Joystick* handle_ = nullptr;
    SDL_JoystickID instance_ = -1;
};

TEST_F(ControllerTest, SearchWritesTheDefaultKeysOfTheFirstAndFurtherKeyboards)
{
    const uint8_t first[16] = {0x25, 0x27, 0x26, 0x28, 0x0D, 0x1B, 0x21, 0x2E,
                               0x60, 0x2D, 0x1B, 0xA0, 0x6D, 0x6B, 0x67, 0x69};
    const uint8_t further[16] = {0x41, 0x53, 0x52, 0x44, 0x0D, 0x1B, 0x70, 0x51,
                                 0x54, 0x09, 0x1B, 0xA0, 0x6D, 0x6B, 0x67, 0x69};
    gaControllers[2].auKeys[16] = 0x99;
    gaControllers[2].auKeys[17] = 0x98;
    uint32_t mask = 0;
    std::string out = CaptureOutput([&] { mask = DkSearchForControllers(3); });
    EXPECT_EQ(mask, 0b111u);
    for (int slot = 0; slot < 3; ++slot)
    {
        SCOPED_TRACE(slot);
        EXPECT_EQ(DkGetControllerType(slot), DKCT_KEYBOARD);
        EXPECT_EQ(gaControllers[slot].nPort, -1);
        EXPECT_EQ(std::memcmp(gaControllers[slot].auKeys, slot == 0 ? first : further, 16), 0);
    }
    // Slots 16 and 17 are not written.
    EXPECT_EQ(gaControllers[2].auKeys[16], 0x99);
    EXPECT_EQ(gaControllers[2].auKeys[17], 0x98);
    for (int slot = 3; slot < DK_MAX_CONTROLLERS; ++slot)
        EXPECT_EQ(DkGetControllerType(slot), DKCT_NONE) << slot;
    EXPECT_NE(out.find("*** CONTROLLER #2: Keyboard\n"), std::string::npos);
    // The fixture's search logged two keyboards before this one.
    std::string log = Log();
    EXPECT_EQ(CountOf(log, "       CONTROLLERS CONNECTED"), 2 + 3);
    EXPECT_NE(log.find("*** CONTROLLER #1: Keyboard"), std::string::npos);
}

TEST_F(ControllerTest, KeyboardReadsFunctionBitsWithLeftBeatingRight)
{
    struct Case
    {
        std::vector<int> keys;
        uint32_t held;
    };
    gaControllers[0].auKeys[16] = 'Z';
    gaControllers[0].auKeys[17] = 'X';
    const Case cases[] = {
        {{}, 0},
        {{VK_LEFT, VK_RIGHT}, DKC_LEFT},
        {{VK_RIGHT}, DKC_RIGHT},
        {{VK_UP, VK_DOWN}, 0x000C},
        {{VK_RETURN}, 0x0010 | kAny},
        {{VK_NUMPAD0}, 0x0100 | kAny},
        {{VK_NUMPAD9}, 0x8000 | kAny},
        {{'Z'}, 0x4000 | kAny},
        {{'X', VK_LEFT}, 0x8000 | DKC_LEFT | kAny},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "held " << c.held);
        WinKeysReset();
        for (int key : c.keys)
            WinKeyEvent(key, TRUE);
        DK_CONTROLLER* read = DkReadController(0);
        ASSERT_EQ(read, &gaControllers[0]);
        EXPECT_EQ(read->uHeld, c.held);
    }
}

TEST_F(ControllerTest, PressedHoldsOnlyTheBitsThatWentDown)
{
    WinKeyEvent('A', TRUE);
    DkReadController(1);
    EXPECT_EQ(gaControllers[1].uPressed, DKC_LEFT);
    WinKeyEvent(VK_RETURN, TRUE);
    DkReadAllControllers();
    EXPECT_EQ(gaControllers[1].uHeld, DKC_LEFT | 0x0010 | kAny);
    EXPECT_EQ(gaControllers[1].uPressed, 0x0010 | kAny);
    // Return is also keyboard 0's; both report it.
    EXPECT_EQ(DkGetAllControllersPressed(), 0x0010 | kAny);
    EXPECT_EQ(DkGetAllControllersHeld(), DKC_LEFT | 0x0010 | kAny);
    DkReadAllControllers();
    EXPECT_EQ(gaControllers[1].uPressed, 0u) << "a held key is no new press";
    Keys({'A', VK_RETURN}, FALSE);
    DkReadAllControllers();
    EXPECT_EQ(gaControllers[1].uHeld, 0u);
    EXPECT_EQ(gaControllers[1].uPressed, 0u);
}

TEST_F(ControllerTest, SlotsFromTwoNeedAPortOfZeroToThree)
{
    CaptureOutput([] { DkSearchForControllers(3); });
    WinKeyEvent('A', TRUE); // keyboards 1 and 2 both use A for left
    gaControllers[2].uHeld = 0x1234;
    gaControllers[2].uPressed = 0x55;
    DkReadAllControllers();
    EXPECT_EQ(gaControllers[1].uHeld, DKC_LEFT);
    EXPECT_EQ(DkReadController(2), nullptr) << "the third keyboard is never read";
    EXPECT_EQ(gaControllers[2].uHeld, 0x1234u);
    EXPECT_EQ(gaControllers[2].uPressed, 0x55u);

    for (int port : {-1, 4, 15})
    {
        SCOPED_TRACE(port);
        gaControllers[3].nType = DKCT_JOYPAD;
        gaControllers[3].nPort = port;
        gaControllers[3].uHeld = 0x20;
        std::string out;
        out = CaptureOutput([&] { EXPECT_EQ(DkReadController(3), nullptr); });
        EXPECT_EQ(CountReports(out), 0);
        EXPECT_EQ(gaControllers[3].uHeld, 0x20u);
    }
    EXPECT_EQ(DkReadController(-1), nullptr);
    EXPECT_EQ(DkReadController(DK_MAX_CONTROLLERS), nullptr);
    // An empty slot below 2 is read as nothing: pressed becomes 0.
    DkSetControllerType(1, DKCT_NONE);
    gaControllers[1].uPressed = 0x10;
    EXPECT_EQ(DkReadController(1), &gaControllers[1]);
    EXPECT_EQ(gaControllers[1].uPressed, 0u);
}

TEST_F(ControllerTest, KeyboardKeysAreReadAndRedefinedByFunctionBit)
{
    struct Case
    {
        uint32_t function;
        int keyboard;
        int key;
        const char* report;
    };
    const Case cases[] = {
        {DKC_LEFT, 0, VK_LEFT, nullptr},
        {0x0040, 1, VK_F1, nullptr},
        {0x8000, 1, VK_NUMPAD9, nullptr},
        {DKC_LEFT, 2, 0, "2 is an invalid keyboard number"},
        {0x0003, 0, 0, "Error - invalid joypad function"},
        {DKC_ANY_BUTTON, 0, 0, "Error - invalid joypad function"},
        {0, 1, 0, "Error - invalid joypad function"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.function << " on " << c.keyboard);
        int key = -1;
        std::string out = CaptureOutput([&] { key = DkGetKeyboardKey(c.function, c.keyboard); });
        EXPECT_EQ(key, c.key);
        if (c.report != nullptr)
            EXPECT_TRUE(Reported(out, c.report)) << out;
        else
            EXPECT_EQ(CountReports(out), 0);
    }

    std::string out = CaptureOutput([] { DkRedefineKeyboardKey(1, 0x0800, 'W'); });
    EXPECT_EQ(CountReports(out), 0);
    EXPECT_EQ(DkGetKeyboardKey(0x0800, 1), 'W');
    DK_CONTROLLER before = gaControllers[0];
    out = CaptureOutput([] { DkRedefineKeyboardKey(0, 0, 'W'); });
    EXPECT_EQ(CountReports(out), 0) << "a bit value of 0 does nothing";
    for (uint32_t bad : {0x0003u, 0x10000u})
    {
        out = CaptureOutput([&] { DkRedefineKeyboardKey(0, bad, 'W'); });
        EXPECT_TRUE(Reported(out, "Error - redefining keyboard - invalid joypad function")) << bad;
    }
    EXPECT_EQ(std::memcmp(before.auKeys, gaControllers[0].auKeys, DK_CONTROLLER_KEYS), 0);

    // Any controller's keys can be redefined, the last slot's too.
    out = CaptureOutput([] { DkRedefineKeyboardKey(17, 0x8000, 'Z'); });
    EXPECT_EQ(CountReports(out), 0);
    EXPECT_EQ(gaControllers[17].auKeys[15], 'Z');
}

TEST_F(ControllerTest, PressedKeyIsTheFirstDownFromFiveSkippingShift)
{
    struct Case
    {
        std::vector<int> keys;
        int key;
        int shift;
    };
    const Case cases[] = {
        {{}, -1, 7},
        {{4}, -1, 7},
        {{'Q', 'A'}, 'A', 0},
        {{VK_LSHIFT, 'B'}, 'B', 1},
        {{VK_LSHIFT}, VK_LSHIFT, 1},
        {{0xFE}, 0xFE, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.key);
        WinKeysReset();
        for (int key : c.keys)
            WinKeyEvent(key, TRUE);
        int shift = 7;
        EXPECT_EQ(DkGetPressedKey(&shift), c.key);
        EXPECT_EQ(shift, c.shift);
    }
}

TEST_F(ControllerTest, KeyStateServiceComparesTheLastTwoScans)
{
    Keys({'A', 'B'}, TRUE);
    DkScanKeyboard();
    WinKeyEvent('A', FALSE);
    Keys({'C', VK_RMENU, 0xA6, 4}, TRUE);
    DkScanKeyboard();
    struct Case
    {
        int key;
        int state;
    };
    // 2 went down, 1 held, 4 went up; only keys 5..165 are scanned.
    const Case cases[] = {{'C', 2},      {'B', 1},  {'A', 4}, {'D', 0},
                          {VK_RMENU, 2}, {0xA6, 0}, {4, 0},   {-1, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(DkGetKeyState(c.key), c.state) << c.key;
    DkClearKeyboardState();
    for (int key : {'A', 'B', 'C'})
        EXPECT_EQ(DkGetKeyState(key), 0) << key;
}

TEST_F(ControllerTest, AnyKeyPressedOnceFiresOncePerPressAfterAllKeysWentUp)
{
    DkScanKeyboard();
    EXPECT_EQ(DkAnyKeyPressedOnce(), 0);
    WinKeyEvent('A', TRUE);
    DkScanKeyboard();
    EXPECT_EQ(DkAnyKeyPressedOnce(), 1);
    EXPECT_EQ(DkAnyKeyPressedOnce(), 0);
    WinKeyEvent('B', TRUE);
    DkScanKeyboard();
    EXPECT_EQ(DkAnyKeyPressedOnce(), 0) << "not until all keys have been up";
    Keys({'A', 'B'}, FALSE);
    DkScanKeyboard();
    EXPECT_EQ(DkAnyKeyPressedOnce(), 0);
    WinKeyEvent('B', TRUE);
    DkScanKeyboard();
    EXPECT_EQ(DkAnyKeyPressedOnce(), 1);
}

TEST_F(ControllerTest, SensitivityOnlyChecksForAWheel)
{
    DkSetControllerType(2, DKCT_WHEEL);
    DkSetControllerType(3, DKCT_ANALOG);
    for (int slot : {2, 3})
    {
        std::string out = CaptureOutput(
            [&]
            {
                DkSetControllerSensitivity(slot, 5);
                EXPECT_EQ(DkGetControllerSensitivity(slot), 2);
            });
        EXPECT_EQ(CountReports(out), 0) << slot;
    }
    std::string out = CaptureOutput(
        []
        {
            DkSetControllerSensitivity(0, 5);
            EXPECT_EQ(DkGetControllerSensitivity(0), 2);
        });
    EXPECT_TRUE(Reported(out, "DkSetControllerSensitivity: Cannot set the sensitivity of "
                              "controller 0"));
    EXPECT_TRUE(Reported(out, "DkGetControllerSensitivity: Cannot get the sensitivity of "
                              "controller 0"));
    // Setting a keyboard also drops the port; the button count is only a joystick's.
    gaControllers[3].nPort = 2;
    gaControllers[3].nButtonCount = 6;
    EXPECT_EQ(DkGetControllerButtonCount(3), 6);
    DkSetControllerType(3, DKCT_KEYBOARD);
    EXPECT_EQ(gaControllers[3].nPort, -1);
    EXPECT_EQ(DkGetControllerButtonCount(3), 0);
}

// Distinct values in every field of every record.
void FillTable()
{
    for (int slot = 0; slot < DK_MAX_CONTROLLERS; ++slot)
    {
        DK_CONTROLLER& c = gaControllers[slot];
        std::memset(&c, 0, sizeof c);
        c.nType = slot % 3 == 0 ? DKCT_WHEEL : DKCT_KEYBOARD;
        c.uHeld = 0x11223344u + slot;
        c.uPressed = 0x80000000u | slot;
        c.nButtonCount = slot + 1;
        c.nPort = -slot;
        uint32_t* reading = &c.Reading.dwSize;
        for (int i = 0; i < 13; ++i)
            reading[i] = 0x01000000u * (i + 1) + slot;
        for (int i = 0; i < 12; ++i)
            c.auButtonMasks[i] = 0xA0000000u + 0x100u * i + slot;
        if (c.nType == DKCT_WHEEL)
        {
            c.anAxes[0] = -65536 + slot;
            c.anAxes[1] = 65532 - slot;
        }
        else
            for (int i = 0; i < DK_CONTROLLER_KEYS; ++i)
                c.auKeys[i] = static_cast<uint8_t>(0x30 + i + slot);
    }
}

uint32_t U32At(const std::string& bytes, size_t at)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

TEST_F(ControllerTest, ControlDatHoldsTheEighteenRecordsLittleEndian)
{
    FillTable();
    DK_CONTROLLER saved[DK_MAX_CONTROLLERS];
    std::memcpy(saved, gaControllers, sizeof saved);
    ASSERT_TRUE(DkSaveControllerConfig());
    std::string file = ReadWholeFile(env.DriveC() + "/CONTROL.DAT");
    ASSERT_EQ(file.size(), 2520u);
    for (int slot : {0, 1, 17})
    {
        SCOPED_TRACE(slot);
        size_t base = 140u * slot;
        const DK_CONTROLLER& c = saved[slot];
        EXPECT_EQ(U32At(file, base + 0), static_cast<uint32_t>(c.nType));
        EXPECT_EQ(U32At(file, base + 4), c.uHeld);
        EXPECT_EQ(U32At(file, base + 8), c.uPressed);
        EXPECT_EQ(U32At(file, base + 12), static_cast<uint32_t>(c.nButtonCount));
        EXPECT_EQ(U32At(file, base + 16), static_cast<uint32_t>(c.nPort));
        EXPECT_EQ(U32At(file, base + 20), c.Reading.dwSize);
        EXPECT_EQ(U32At(file, base + 28), c.Reading.dwXpos);
        EXPECT_EQ(U32At(file, base + 68), c.Reading.dwReserved2);
        EXPECT_EQ(U32At(file, base + 72), c.auButtonMasks[0]);
        EXPECT_EQ(U32At(file, base + 116), c.auButtonMasks[11]);
        if (c.nType == DKCT_WHEEL)
        {
            EXPECT_EQ(U32At(file, base + 120), static_cast<uint32_t>(c.anAxes[0]));
            EXPECT_EQ(U32At(file, base + 124), static_cast<uint32_t>(c.anAxes[1]));
        }
        else
            EXPECT_EQ(file.compare(base + 120, 18, reinterpret_cast<const char*>(c.auKeys), 18), 0);
    }
    EXPECT_EQ(file[1 * 140 + 4], static_cast<char>(0x45)) << "low byte first";

    std::memset(gaControllers, 0xEE, sizeof gaControllers);
    std::string out;
    out = CaptureOutput([] { EXPECT_TRUE(DkLoadControllerConfig()); });
    EXPECT_EQ(CountReports(out), 0);
    for (int slot = 0; slot < DK_MAX_CONTROLLERS; ++slot)
    {
        SCOPED_TRACE(slot);
        const DK_CONTROLLER& a = saved[slot];
        const DK_CONTROLLER& b = gaControllers[slot];
        EXPECT_EQ(std::memcmp(&a, &b, offsetof(DK_CONTROLLER, auKeys) + DK_CONTROLLER_KEYS), 0);
    }
}

TEST_F(ControllerTest, ControlDatOfAnotherSizeIsRefusedAndTheTableKept)
{
    FillTable();
    DK_CONTROLLER before[DK_MAX_CONTROLLERS];
    std::memcpy(before, gaControllers, sizeof before);
    for (size_t size : {size_t{0}, size_t{2519}, size_t{2521}, size_t{5040}})
    {
        SCOPED_TRACE(size);
        WriteWholeFile(env.DriveC() + "/CONTROL.DAT", std::string(size, '\x07'));
        std::string out = CaptureOutput([] { EXPECT_FALSE(DkLoadControllerConfig()); });
        EXPECT_TRUE(Reported(out, "*** Error opening 'control.dat' file for input.")) << out;
        EXPECT_EQ(std::memcmp(before, gaControllers, sizeof before), 0);
    }
    std::remove((env.DriveC() + "/CONTROL.DAT").c_str());
    std::string out = CaptureOutput([] { EXPECT_FALSE(DkLoadControllerConfig()); });
    EXPECT_TRUE(Reported(out, "*** Error opening 'control.dat' file for input.")) << out;
    EXPECT_EQ(std::memcmp(before, gaControllers, sizeof before), 0);
}

TEST_F(JoystickTest, SearchMakesTheJoystickAJoypadAfterTheKeyboards)
{
    uint32_t mask = 0;
    std::string out = CaptureOutput([&] { mask = DkSearchForControllers(2); });
    EXPECT_EQ(mask, 0b111u);
    EXPECT_EQ(DkGetControllerType(2), DKCT_JOYPAD);
    EXPECT_EQ(gaControllers[2].nPort, 0);
    EXPECT_EQ(DkGetControllerButtonCount(2), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(gaControllers[2].auButtonMasks[i], 1u << i);
    EXPECT_NE(out.find("*** CONTROLLER #2: Joypad (ID #0)\n"), std::string::npos);
    EXPECT_NE(out.find("*** Last controller ID = 3\n"), std::string::npos);
    // Bit 2 (after the two keyboards) stays clear; joystick 0 is bit 3.
    EXPECT_EQ(DkGetAttachedControllersMask(), 0b1011u);

    // With every slot a keyboard the joystick finds no room; its attached bit would lie
    // beyond 32 bits and is left out.
    out = CaptureOutput([&] { mask = DkSearchForControllers(31); });
    EXPECT_EQ(mask, (1u << DK_MAX_CONTROLLERS) - 1);
    for (int slot = 0; slot < DK_MAX_CONTROLLERS; ++slot)
        EXPECT_EQ(DkGetControllerType(slot), DKCT_KEYBOARD) << slot;
    EXPECT_EQ(out.find("Joypad"), std::string::npos);
    EXPECT_EQ(DkGetAttachedControllersMask(), 0x7FFFFFFFu);
}

TEST_F(JoystickTest, JoypadReadsDirectionsBeyondTheThresholdsAndButtons)
{
    CaptureOutput([] { DkSearchForControllers(2); });
    // joyGetPosEx reads SDL's value + 32768: X 10000 is SDL -22768, X 55536 is SDL 22768.
    struct Case
    {
        Sint16 x, y;
        int button;
        uint32_t held;
    };
    const Case cases[] = {
        {-22768, 0, -1, 0},
        {-22769, 0, -1, DKC_LEFT},
        {22768, 0, -1, 0},
        {22769, 0, -1, DKC_RIGHT},
        {0, -22769, -1, DKC_UP},
        {0, 22769, -1, DKC_DOWN},
        {-32768, 32767, -1, DKC_LEFT | DKC_DOWN},
        {0, 0, 0, 0x0010 | kAny},
        {0, 0, 4, 0x0100 | kAny},
        {0, 0, 11, 0x8000 | kAny},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y << " button " << c.button);
        Axes(c.x, c.y);
        for (int b = 0; b < 12; ++b)
            Button(b, b == c.button);
        std::string out = CaptureOutput([] { ASSERT_EQ(DkReadController(2), &gaControllers[2]); });
        EXPECT_EQ(CountReports(out), 0);
        EXPECT_EQ(gaControllers[2].uHeld, c.held);
        EXPECT_EQ(gaControllers[2].Reading.dwXpos, static_cast<uint32_t>(c.x + 32768));
    }
}

TEST_F(JoystickTest, HeldButtonIsPressedOnceAndALostJoypadHoldsNothing)
{
    CaptureOutput([] { DkSearchForControllers(2); });
    Axes(0, 0);
    DkReadController(2);
    Button(2, true);
    DkReadController(2);
    EXPECT_EQ(gaControllers[2].uPressed, 0x0040 | kAny);
    DkReadController(2);
    EXPECT_EQ(gaControllers[2].uHeld, 0x0040 | kAny);
    EXPECT_EQ(gaControllers[2].uPressed, 0u);

    // A wheel that stops answering keeps its bits; a joypad holds nothing.
    DkSetControllerType(2, DKCT_WHEEL);
    Axes(-32768, 0);
    DkReadController(2);
    EXPECT_EQ(gaControllers[2].uHeld, DKC_LEFT | 0x0040 | kAny);
    Detach();
    DkReadController(2);
    EXPECT_EQ(gaControllers[2].uHeld, DKC_LEFT | 0x0040 | kAny);
    EXPECT_EQ(gaControllers[2].uPressed, 0u);
    DkSetControllerType(2, DKCT_JOYPAD);
    DkReadController(2);
    EXPECT_EQ(gaControllers[2].uHeld, 0u);
    EXPECT_EQ(gaControllers[2].uPressed, 0u);
    EXPECT_EQ(DkGetAttachedControllersMask(), 0b11u);
}

TEST_F(JoystickTest, WheelRemovesTheDeadZoneAndScalesToSixteenSixteen)
{
    CaptureOutput([] { DkSearchForControllers(2); });
    DkSetControllerType(2, DKCT_WHEEL);
    // Dead zones X 2000, Y 2300. Position = SDL value + 32768.
    struct Case
    {
        Sint16 x, y;
        int32_t axisX, axisY;
        uint32_t held;
    };
    const Case cases[] = {
        {-32768, -32768, -65536, -65536, DKC_LEFT | DKC_UP},
        {32767, 32767, 65532, 65532, DKC_RIGHT | DKC_DOWN},
        {2000, 2300, 0, 0, 0},
        {-2000, -2300, 0, 0, 0},
        {2001, 2301, 2, 2, 0},
        // Half deflection is 0x8000 exactly and sets no direction.
        {17384, 0, 32768, 0, 0},
        {17385, 0, 32770, 0, DKC_RIGHT},
        {-17384, 0, -32768, 0, 0},
        {-17385, 0, -32770, 0, DKC_LEFT},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        Axes(c.x, c.y);
        std::string out = CaptureOutput([] { DkReadController(2); });
        EXPECT_EQ(CountReports(out), 0);
        EXPECT_EQ(gaControllers[2].anAxes[0], c.axisX);
        EXPECT_EQ(gaControllers[2].anAxes[1], c.axisY);
        EXPECT_EQ(gaControllers[2].uHeld, c.held);
    }

    // A dead zone outside 0..16384 is ignored; a valid one applies to both axes.
    Axes(2000, 0);
    DkSetAnalogDeadZone(16385, 0);
    DkReadController(2);
    EXPECT_EQ(gaControllers[2].anAxes[0], 0);
    DkSetAnalogDeadZone(0, 0);
    DkReadController(2);
    EXPECT_EQ(gaControllers[2].anAxes[0], 4000);
    DkSetAnalogDeadZone(2000, 2300);
}

TEST_F(JoystickTest, AnalogCompanionScalesToTheRange)
{
    DK_ANALOG_READING reading{};
    Axes(-32768, 32767);
    Button(1, true);
    ASSERT_EQ(DkReadAnalogJoystick(0, &reading), 1);
    EXPECT_EQ(reading.x, -512);
    EXPECT_EQ(reading.y, 512);
    EXPECT_EQ(reading.buttons, 0b10u);
    // An invalid range is reported and stored anyway.
    std::string out = CaptureOutput([] { DkSetAnalogRange(5, 40000); });
    EXPECT_TRUE(Reported(out, "X range is invalid"));
    EXPECT_TRUE(Reported(out, "Y range is invalid"));
    ASSERT_EQ(DkReadAnalogJoystick(0, &reading), 1);
    EXPECT_EQ(reading.x, -5);
    DkSetAnalogRange(512, 512);
    EXPECT_EQ(DkReadAnalogJoystick(1, &reading), 0);
}

TEST_F(ControllerTest, SearchWithAForceFeedbackJoystickStartsForceFeedback)
{
    ASSERT_TRUE(InitGameWindow(nullptr, &ghWnd, "Input Test", DefWindowProcA));
    DiUseFakeHapticForTests(true);
    uint32_t mask = 0;
    std::string out = CaptureOutput([&] { mask = DkSearchForControllers(2); });
    EXPECT_EQ(mask, 0b111u);
    EXPECT_EQ(DkGetControllerType(2), DKCT_JOYPAD);
    EXPECT_EQ(gaControllers[2].nPort, 0);
    EXPECT_TRUE(DkIsForceFeedbackPresent());
    EXPECT_TRUE(DkIsForceFeedbackInitialised());
    std::string log = Log();
    log = log.substr(log.rfind("*** CONTROLLER #1: Keyboard")); // this search's lines
    EXPECT_NE(log.find("Force feedback detected"), std::string::npos);
    EXPECT_EQ(log.find("Force feedback not detected"), std::string::npos);
    EXPECT_NE(log.find("*** CONTROLLER #2: Joypad (ID #0)"), std::string::npos);
    CaptureOutput([] { DkCallAllDestructors(); });
    EXPECT_FALSE(DkIsForceFeedbackInitialised());
    DiUseFakeHapticForTests(false);
}

} // namespace
