#include "platform/input/input.h"

#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/win/keys.h"
#include "platform/win/win.h"

namespace
{

// One of SDL's virtual joysticks, attached for the test and detached after it.
class VirtualJoystick : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 14, 1);
        ASSERT_GE(index, 0) << SDL_GetError();
        instance_ = SDL_JoystickGetDeviceInstanceID(index);
        handle_ = SDL_JoystickOpen(index);
        ASSERT_NE(handle_, nullptr) << SDL_GetError();
        // Let the layer notice the new device.
        JOYINFOEX info = Info(JOY_RETURNX);
        ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
    }

    void TearDown() override
    {
        if (handle_ != nullptr)
            SDL_JoystickClose(handle_);
        if (instance_ >= 0)
            for (int i = 0; i < SDL_NumJoysticks(); ++i)
                if (SDL_JoystickGetDeviceInstanceID(i) == instance_)
                    SDL_JoystickDetachVirtual(i);
        JOYINFOEX info = Info(JOY_RETURNX);
        joyGetPosEx(0, &info);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }

    static JOYINFOEX Info(DWORD flags)
    {
        JOYINFOEX info{};
        info.dwSize = sizeof info;
        info.dwFlags = flags;
        return info;
    }

    void SetAxis(int axis, Sint16 value) { SDL_JoystickSetVirtualAxis(handle_, axis, value); }

    void Detach()
    {
        SDL_JoystickClose(handle_);
        handle_ = nullptr;
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == instance_)
            {
                ASSERT_EQ(SDL_JoystickDetachVirtual(i), 0);
            }
        instance_ = -1;
    }

    SDL_Joystick* handle_ = nullptr;
    SDL_JoystickID instance_ = -1;
};

TEST_F(VirtualJoystick, AxesMapToTheUnsignedRange)
{
    struct Case
    {
        Sint16 sdl;
        DWORD flags;
        DWORD expected;
    };
    const Case cases[] = {
        {-32768, JOY_RETURNX | JOY_RETURNY, 0},
        {32767, JOY_RETURNX | JOY_RETURNY, 65535},
        {0, JOY_RETURNX | JOY_RETURNY, 32768},
        {-1, JOY_RETURNX | JOY_RETURNY, 32767},
        // Inside the dead zone a centred reading is exactly the centre; outside it is not.
        {-300, JOY_RETURNX | JOY_RETURNY, 32468},
        {-300, JOY_RETURNX | JOY_RETURNY | JOY_RETURNCENTERED, 32768},
        {512, JOY_RETURNX | JOY_RETURNY | JOY_RETURNCENTERED, 32768},
        {513, JOY_RETURNX | JOY_RETURNY | JOY_RETURNCENTERED, 33281},
        {-512, JOY_RETURNX | JOY_RETURNY | JOY_RETURNCENTERED, 32768},
        {-513, JOY_RETURNX | JOY_RETURNY | JOY_RETURNCENTERED, 32255},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "sdl " << c.sdl << " flags " << c.flags);
        SetAxis(0, c.sdl);
        SetAxis(1, static_cast<Sint16>(c.sdl == -32768 ? 32767 : -c.sdl - 1));
        JOYINFOEX info = Info(c.flags);
        ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
        EXPECT_EQ(info.dwXpos, c.expected);
        if (!(c.flags & JOY_RETURNCENTERED))
        {
            EXPECT_EQ(info.dwYpos, 65535 - c.expected) << "Y is axis 1";
        }
    }
}

TEST_F(VirtualJoystick, OnlyTheFieldsAskedForAreWritten)
{
    SetAxis(0, 32767);
    JOYINFOEX info = Info(JOY_RETURNY);
    info.dwXpos = 7;
    info.dwButtons = 9;
    ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
    EXPECT_EQ(info.dwXpos, 7u);
    EXPECT_EQ(info.dwButtons, 9u);
    EXPECT_EQ(info.dwYpos, 32768u);
    // An axis the device lacks reads the centre.
    info = Info(JOY_RETURNALL);
    ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
    EXPECT_EQ(info.dwZpos, 32768u);
    EXPECT_EQ(info.dwVpos, 32768u);
    EXPECT_EQ(info.dwPOV, JOY_POVCENTERED);
}

TEST_F(VirtualJoystick, ButtonsAreAMaskOfTheFirstTwelve)
{
    for (int button : {0, 5, 11, 12, 13})
        SDL_JoystickSetVirtualButton(handle_, button, SDL_PRESSED);
    SDL_JoystickSetVirtualHat(handle_, 0, SDL_HAT_RIGHT);
    JOYINFOEX info = Info(JOY_RETURNBUTTONS | JOY_RETURNPOV);
    ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
    EXPECT_EQ(info.dwButtons, (1u << 0) | (1u << 5) | (1u << 11));
    EXPECT_EQ(info.dwButtonNumber, 3u);
    EXPECT_EQ(info.dwPOV, JOY_POVRIGHT);

    for (int button : {0, 5, 11, 12, 13})
        SDL_JoystickSetVirtualButton(handle_, button, SDL_RELEASED);
    ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
    EXPECT_EQ(info.dwButtons, 0u);
    EXPECT_EQ(info.dwButtonNumber, 0u);
}

TEST_F(VirtualJoystick, BadArgumentsAndAbsentDevices)
{
    JOYINFOEX info = Info(JOY_RETURNALL);
    EXPECT_EQ(joyGetPosEx(16, &info), static_cast<MMRESULT>(JOYERR_PARMS));
    EXPECT_EQ(joyGetPosEx(1, &info), static_cast<MMRESULT>(JOYERR_UNPLUGGED));
    EXPECT_EQ(joyGetPosEx(0, nullptr), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    for (DWORD size : {0u, 48u, 56u})
    {
        info.dwSize = size;
        EXPECT_EQ(joyGetPosEx(0, &info), static_cast<MMRESULT>(JOYERR_PARMS)) << size;
    }

    JOYCAPSA caps{};
    EXPECT_EQ(joyGetDevCapsA(0, &caps, sizeof caps - 1),
              static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    EXPECT_EQ(joyGetDevCapsA(0, nullptr, sizeof caps), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    EXPECT_EQ(joyGetDevCapsA(16, &caps, sizeof caps), static_cast<MMRESULT>(JOYERR_PARMS));
    EXPECT_EQ(joyGetDevCapsA(1, &caps, sizeof caps), static_cast<MMRESULT>(JOYERR_UNPLUGGED));
}

TEST_F(VirtualJoystick, ARemovedDeviceReadsUnpluggedAndANewOneTakesItsId)
{
    Detach();
    JOYINFOEX info = Info(JOY_RETURNX);
    EXPECT_EQ(joyGetPosEx(0, &info), static_cast<MMRESULT>(JOYERR_UNPLUGGED));
    JOYCAPSA caps{};
    EXPECT_EQ(joyGetDevCapsA(0, &caps, sizeof caps), static_cast<MMRESULT>(JOYERR_UNPLUGGED));

    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 12, 0);
    ASSERT_GE(index, 0);
    instance_ = SDL_JoystickGetDeviceInstanceID(index);
    EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
}

TEST_F(VirtualJoystick, Capabilities)
{
    JOYCAPSA caps{};
    ASSERT_EQ(joyGetDevCapsA(0, &caps, sizeof caps), JOYERR_NOERROR);
    EXPECT_EQ(caps.wNumButtons, 12u) << "14 buttons report as the 12 that are read";
    EXPECT_EQ(caps.wMaxButtons, 12u);
    EXPECT_EQ(caps.wNumAxes, 2u);
    EXPECT_EQ(caps.wXmin, 0u);
    EXPECT_EQ(caps.wXmax, 65535u);
    EXPECT_EQ(caps.wYmax, 65535u);
    EXPECT_EQ(caps.wCaps & (JOYCAPS_HASZ | JOYCAPS_HASR), 0u);
    EXPECT_NE(caps.wCaps & JOYCAPS_HASPOV, 0u);
    EXPECT_NE(std::string(caps.szPname), "");
}

// The timer thread reads while the main thread pumps SDL and asks for capabilities.
TEST_F(VirtualJoystick, ReadsFromTwoThreads)
{
    std::atomic<bool> bad{false};
    std::thread reader(
        [&]
        {
            for (int i = 0; i < 2000; ++i)
            {
                JOYINFOEX info = Info(JOY_RETURNALL);
                if (joyGetPosEx(0, &info) != JOYERR_NOERROR || info.dwXpos > 65535)
                    bad = true;
            }
        });
    for (int i = 0; i < 2000; ++i)
    {
        SetAxis(0, static_cast<Sint16>(i * 16));
        SDL_PumpEvents();
        JOYCAPSA caps{};
        if (joyGetDevCapsA(0, &caps, sizeof caps) != JOYERR_NOERROR)
            bad = true;
    }
    reader.join();
    EXPECT_FALSE(bad);
}

TEST(VkKeyScanA, UsLayout)
{
    struct Case
    {
        char ch;
        SHORT expected;
    };
    const Case cases[] = {
        {'a', 'A'},
        {'z', 'Z'},
        {'A', 0x100 | 'A'},
        {'Q', 0x100 | 'Q'},
        {'0', '0'},
        {'9', '9'},
        {')', 0x100 | '0'},
        {'!', 0x100 | '1'},
        {'(', 0x100 | '9'},
        {' ', VK_SPACE},
        {';', VK_OEM_1},
        {':', 0x100 | VK_OEM_1},
        {'=', VK_OEM_PLUS},
        {'+', 0x100 | VK_OEM_PLUS},
        {',', VK_OEM_COMMA},
        {'<', 0x100 | VK_OEM_COMMA},
        {'-', VK_OEM_MINUS},
        {'_', 0x100 | VK_OEM_MINUS},
        {'.', VK_OEM_PERIOD},
        {'?', 0x100 | VK_OEM_2},
        {'`', VK_OEM_3},
        {'~', 0x100 | VK_OEM_3},
        {'[', VK_OEM_4},
        {'|', 0x100 | VK_OEM_5},
        {'}', 0x100 | VK_OEM_6},
        {'\'', VK_OEM_7},
        {'"', 0x100 | VK_OEM_7},
        {'\t', VK_TAB},
        {'\0', -1},
        {'\x7f', -1},
        {static_cast<char>(0xE9), -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VkKeyScanA(c.ch), c.expected) << "character " << static_cast<int>(c.ch);
}

TEST(WinExec, SaysItCannotRunTheCommandAndFails)
{
    testing::internal::CaptureStderr();
    UINT result = WinExec("control joy.cpl", SW_HIDE);
    std::string text = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 2u);
    EXPECT_EQ(text, "dezor: cannot run \"control joy.cpl\" here\n");
}

} // namespace
