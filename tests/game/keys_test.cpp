// The in-race keys: controllers and the keyboard turned into a car's control words, the pause
// and camera keys, and the menu and podium readers.
#include "game/race/keys.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine/pc/input/dk_input.h"
#include "game/hud/pause.h"
#include "game/hud/podium.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/vehicle/carmodel.h"
#include "platform/win/win_internal.h"
#include "tests/game/race_fixture.h"

namespace
{

constexpr int32_t kFull = KEY_FULL_LEVEL;
constexpr int32_t kAxisTop = 63 * 1024; // an axis at its end: 63/64

// Player p's record in the game data: its controller, the type its map was made for, its seven
// masks and its analogue option bits.
struct PlayerSetup
{
    int nController = 0;
    int nMappedType = DKCT_KEYBOARD;
    uint16_t auMasks[7] = {0x4000, 0x2000, 0x1000, 0x0800, 0x0400, 0x0200, 0x0100};
    uint8_t uOptions = 0;
};

class KeysTest : public RaceTest
{
protected:
    void SetUp() override
    {
        RaceTest::SetUp();
        Keys_ResetForTests();
        PauseMenu_ResetForTests();
        Cameras_ResetForTests();
        Podium_SetReplayDoneForTests(FALSE);
        GameHandler_SetFinishedForTests(0, FALSE);
        GameHandler_SetFinishedForTests(1, FALSE);
        WinKeysReset();
        for (DK_CONTROLLER& c : gaControllers)
            c = DK_CONTROLLER{};
        for (CarBody& b : gaCarBody)
            b.StartCountdown = 0;
        mech = CarMechanics{};
        mech.GearboxMode = 1;
        Player(0, PlayerSetup{});
    }
    void TearDown() override
    {
        WinKeysReset();
        Keys_ResetForTests();
        RaceTest::TearDown();
    }

    static void Player(int p, const PlayerSetup& s)
    {
        uint8_t* pInfo = gaRaceGameData.data() + GD_LOCAL_PLAYERS + p * GAME_DATA_PLAYER_SIZE;
        pInfo[PI_CONTROLLER] = static_cast<uint8_t>(s.nController);
        pInfo[PI_CONTROLLER + 1] = static_cast<uint8_t>(s.nController >> 8);
        const uint32_t uType = static_cast<uint32_t>(s.nMappedType);
        for (int i = 0; i < 4; ++i)
            pInfo[PI_CONTROLLER_TYPE + i] = static_cast<uint8_t>(uType >> (8 * i));
        for (int i = 0; i < 7; ++i)
        {
            pInfo[PI_FUNCTION_BITS + 4 + 2 * i] = static_cast<uint8_t>(s.auMasks[i]);
            pInfo[PI_FUNCTION_BITS + 5 + 2 * i] = static_cast<uint8_t>(s.auMasks[i] >> 8);
        }
        pInfo[PI_CONTROLLER_OPTIONS] = s.uOptions;
    }
    static void Controller(int n, int nType, uint32_t uHeld, uint32_t uPressed, int32_t x = 0,
                           int32_t y = 0)
    {
        DK_CONTROLLER& c = gaControllers[n];
        c.nType = nType;
        c.uHeld = uHeld;
        c.uPressed = uPressed;
        if (nType == DKCT_WHEEL || nType == DKCT_ANALOG)
        {
            c.anAxes[0] = x;
            c.anAxes[1] = y;
        }
    }
    static void Option(int nByte, int nBit)
    {
        gaRaceGameData[nByte] |= static_cast<uint8_t>(1u << nBit);
    }
    void Read(int nPlayer = 0) { ReadGameKeys(&mech, 0, nPlayer); }

    CarMechanics mech{};
};

// One tick of keys against the words they give, one case a row.
TEST_F(KeysTest, ControlWordsFromKeysAndAxes)
{
    struct Case
    {
        const char* pszName;
        int nType; // the controller's type (the player's map is for a keyboard)
        uint32_t uHeld;
        uint32_t uPressed;
        int32_t x, y;                // axes, for types 2 and 4
        uint8_t uOptions;            // analogue option bits
        int nOptionByte, nOptionBit; // a game-data option set (-1 none)
        int nGearboxMode;
        int32_t left, right, accel, brake, handbrake, second;
        int gear;
        int analogueSteer, analogueAccel, analogueBrake;
    };
    // clang-format off
    const Case aCases[] = {
        {"player's own accelerate mask", DKCT_KEYBOARD, 0x4000, 0, 0, 0, 0, -1, 0, 1, 0, 0, kFull, 0, 0, 0, 0, 0, 0, 0},
        {"the default mask is not the player's", DKCT_KEYBOARD, 4, 0, 0, 0, 0, -1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"a joypad on a keyboard's map: default masks", DKCT_JOYPAD, 4 | 8 | 256, 0, 0, 0, 0, -1, 0, 1, 0, 0, kFull, kFull, 1, 0, 0, 0, 0, 0},
        {"left", DKCT_KEYBOARD, DKC_LEFT, 0, 0, 0, 0, -1, 0, 1, kFull, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"left and right together steer straight", DKCT_KEYBOARD, DKC_LEFT | DKC_RIGHT, 0, 0, 0, 0, -1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"mirrored stage (37 bit 5): left steers right", DKCT_KEYBOARD, DKC_LEFT, 0, 0, 0, 0, 37, 5, 1, 0, kFull, 0, 0, 0, 0, 0, 0, 0, 0},
        {"mirrored stage (37 bit 4)", DKCT_KEYBOARD, DKC_RIGHT, 0, 0, 0, 0, 37, 4, 1, kFull, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"gear up", DKCT_KEYBOARD, 0, 0x0800, 0, 0, 0, -1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
        {"gear down wins over gear up", DKCT_KEYBOARD, 0, 0x0800 | 0x0400, 0, 0, 0, -1, 0, 1, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0},
        {"no gear keys in gearbox mode 2", DKCT_KEYBOARD, 0, 0x0800, 0, 0, 0, -1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"handbrake", DKCT_KEYBOARD, 0x1000, 0, 0, 0, 0, -1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0},
        {"handbrake under 36 bit 6 goes to the second word", DKCT_KEYBOARD, 0x1000, 0, 0, 0, 0, 36, 6, 1, 0, 0, 0, 0, 0, 0x1000, 0, 0, 0, 0},
        {"wheel full right, pedal full down", DKCT_WHEEL, 0, 0, 65536, -65536, 7, -1, 0, 1, 0, kAxisTop, kAxisTop, 0, 0, 0, 0, 1, 1, 1},
        {"wheel full left, brake full", DKCT_ANALOG, 0, 0, -65536, 65536, 7, -1, 0, 1, kAxisTop, 0, 0, kAxisTop, 0, 0, 0, 1, 1, 1},
        {"half way: 32/64", DKCT_WHEEL, 0, 0, 32768, -32768, 7, -1, 0, 1, 0, 32768, 32768, 0, 0, 0, 0, 1, 1, 1},
        {"just off centre: 1/64 steps", DKCT_WHEEL, 0, 0, -1000, 1000, 7, -1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1},
        {"axes on a mirrored stage", DKCT_WHEEL, 0, 0, 65536, 0, 7, 37, 4, 1, kAxisTop, 0, 0, 0, 0, 0, 0, 1, 1, 1},
        {"a wheel with steering only on its axis", DKCT_WHEEL, 4 | 8, 0, -65536, 65536, 4, -1, 0, 1, kAxisTop, 0, kFull, kFull, 0, 0, 0, 1, 0, 0},
        {"a joypad's axes are not read", DKCT_JOYPAD, 0, 0, 65536, 65536, 7, -1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    // clang-format on
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        PlayerSetup s;
        s.uOptions = c.uOptions;
        Player(0, s);
        if (c.nOptionByte >= 0)
            Option(c.nOptionByte, c.nOptionBit);
        Controller(0, c.nType, c.uHeld, c.uPressed, c.x, c.y);
        mech.GearboxMode = c.nGearboxMode;
        mech.InputGearChange = 5; // cleared every tick
        Read();
        EXPECT_EQ(mech.InputSteerLeft, c.left);
        EXPECT_EQ(mech.InputSteerRight, c.right);
        EXPECT_EQ(mech.InputAccel, c.accel);
        EXPECT_EQ(mech.InputBrake, c.brake);
        EXPECT_EQ(mech.InputHandbrake, c.handbrake);
        EXPECT_EQ(mech.InputSecond, c.second);
        EXPECT_EQ(mech.InputGearChange, c.gear);
        EXPECT_EQ(mech.AnalogueSteer, c.analogueSteer);
        EXPECT_EQ(mech.AnalogueThrottle, c.analogueAccel);
        EXPECT_EQ(mech.AnalogueBrake, c.analogueBrake);
    }
}

// A joypad's buttons and player p's own keyboard (controller p) both count; a keyboard
// player's keyboard is read once.
TEST_F(KeysTest, AJoypadPlayerAlsoDrivesFromTheKeyboardOfItsNumber)
{
    PlayerSetup s;
    s.nController = 5;
    s.nMappedType = DKCT_JOYPAD;
    Player(1, s);
    Controller(5, DKCT_JOYPAD, 0x4000, 0);
    Controller(1, DKCT_KEYBOARD, DKC_LEFT, 0);
    Read(1);
    EXPECT_EQ(mech.InputAccel, kFull);
    EXPECT_EQ(mech.InputSteerLeft, kFull);
}

// A controller number from the record beyond the 18 controllers is reported and not read.
TEST_F(KeysTest, AControllerNumberBeyondTheControllersIsReportedAndNotRead)
{
    PlayerSetup s;
    s.nController = 18;
    Player(0, s);
    Controller(0, DKCT_KEYBOARD, DKC_RIGHT, 0);
    const std::string out = CaptureOutput([&] { Read(); });
    EXPECT_EQ(CountReports(out), 1);
    // Controller 0 is still player 0's own keyboard.
    EXPECT_EQ(mech.InputSteerRight, kFull);
}

// The toggled throttle (38 bit 3): a switch gives a three-tick pulse of about 1, 2/3 and 1/3,
// then nothing, however long the car rolls on; the handbrake key only switches it off.
TEST_F(KeysTest, TheToggledThrottleGivesAThreeTickPulseAndNoMore)
{
    Option(38, 3);
    Controller(0, DKCT_KEYBOARD, 0x4000, 0);
    Read();
    EXPECT_NEAR(mech.InputAccel / 65536.0, 1.0, 0.01);
    Controller(0, DKCT_KEYBOARD, 0, 0);
    Read();
    EXPECT_NEAR(mech.InputAccel / 65536.0, 2.0 / 3.0, 0.01);
    Read();
    EXPECT_NEAR(mech.InputAccel / 65536.0, 1.0 / 3.0, 0.01);
    for (int t = 0; t < 600; ++t)
    {
        Read();
        ASSERT_EQ(mech.InputAccel, 0) << "tick " << t;
    }
    Controller(0, DKCT_KEYBOARD, 0x1000, 0);
    Read();
    EXPECT_NEAR(mech.InputAccel / 65536.0, 1.0, 0.01) << "switching off pulses too";
    EXPECT_EQ(mech.InputHandbrake, 0);
}

// Escape opens the pause menu once; held through the pause's close it does nothing until it is
// released and pressed again.
TEST_F(KeysTest, EscapeMustBeReleasedBeforeItPausesAgain)
{
    Controller(0, DKCT_KEYBOARD, 0, 0);
    Read();
    WinKeyEvent(DK_VK_ESCAPE, TRUE);
    Read();
    EXPECT_EQ(PauseMenu_GetRequestsForTests(), 1);
    EXPECT_EQ(PauseMenu_GetLastPlayerForTests(), 0);
    for (int t = 0; t < 5; ++t)
        Read();
    EXPECT_EQ(PauseMenu_GetRequestsForTests(), 1);
    WinKeyEvent(DK_VK_ESCAPE, FALSE);
    Read();
    WinKeyEvent(DK_VK_ESCAPE, TRUE);
    Read();
    EXPECT_EQ(PauseMenu_GetRequestsForTests(), 2);
    const std::string log = TakeLog();
    EXPECT_NE(log.find("Pause Button Pressed..."), std::string::npos);
    EXPECT_NE(log.find("Doing Pause Mode..."), std::string::npos);
}

// Who may pause: not a finished player, not player 1 unless the two take turns, not under the
// lock; and a car's vertical-motion word disarms it.
TEST_F(KeysTest, PauseIsRefusedWhereItMustNotOpen)
{
    struct Case
    {
        const char* pszName;
        int nPlayer;
        int nGameType;
        bool boFinished, boLocked, boMoving;
        int nRequests;
    };
    const Case aCases[] = {
        {"player 0", 0, 0, false, false, false, 1},
        {"finished", 0, 0, true, false, false, 0},
        {"locked", 0, 0, false, true, false, 0},
        {"a car's vertical-motion word", 0, 0, false, false, true, 0},
        {"player 1 on a split screen", 1, 1, false, false, false, 0},
        {"player 1 taking turns", 1, 2, false, false, false, 1},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        gnRaceGameType = c.nGameType;
        Player(1, PlayerSetup{1});
        GameHandler_SetFinishedForTests(c.nPlayer, c.boFinished ? TRUE : FALSE);
        gboPauseLocked = c.boLocked ? TRUE : FALSE;
        // The lock holds while Escape, which set it, stays down.
        if (c.boLocked)
            WinKeyEvent(DK_VK_ESCAPE, TRUE);
        Read(c.nPlayer);
        gaCarBody[3].StartCountdown = c.boMoving ? -5 : 0;
        WinKeyEvent(DK_VK_ESCAPE, TRUE);
        Read(c.nPlayer);
        EXPECT_EQ(PauseMenu_GetRequestsForTests(), c.nRequests);
    }
}

// On the podium, once its replays are done, Escape skips it instead of pausing.
TEST_F(KeysTest, OnTheFinishedPodiumEscapeSkipsIt)
{
    boThisIsPodiumStage = TRUE;
    Podium_SetReplayDoneForTests(TRUE);
    Read();
    WinKeyEvent(DK_VK_ESCAPE, TRUE);
    Read();
    EXPECT_TRUE(gboPodiumSkip);
    EXPECT_EQ(PauseMenu_GetRequestsForTests(), 0);
}

// The camera key changes the mode once per press: the first press blends to the bonnet view,
// holding the key changes nothing more, the next press goes on to the roof view.
TEST_F(KeysTest, TheCameraKeyActsOncePerPress)
{
    const auto settle = []
    {
        for (int t = 0; t < 60; ++t)
            Cameras_Update(0);
        return gaPlayerView[0].nCameraType;
    };
    Controller(0, DKCT_KEYBOARD, 0, 0x0200);
    Read();
    EXPECT_EQ(settle(), CAMERA_TYPE_BONNET);
    Read();
    EXPECT_EQ(settle(), CAMERA_TYPE_BONNET);
    Controller(0, DKCT_KEYBOARD, 0, 0);
    Read();
    Controller(0, DKCT_KEYBOARD, 0, 0x0200);
    Read();
    EXPECT_EQ(settle(), CAMERA_TYPE_ROOF);
}

// The menu reader answers a word only when it changed.
TEST_F(KeysTest, MenuKeysAnswerOnlyAChange)
{
    EXPECT_EQ(ReadMenuKeys(0), 0u);
    WinKeyEvent(DK_VK_ESCAPE, TRUE);
    WinKeyEvent(DK_VK_UP, TRUE);
    EXPECT_EQ(ReadMenuKeys(0), MENU_KEY_BACK | MENU_KEY_UP);
    EXPECT_EQ(ReadMenuKeys(0), 0u);
    EXPECT_EQ(ReadMenuKeys(MENU_KEY_SELECT), MENU_KEY_BACK | MENU_KEY_UP | MENU_KEY_SELECT);
    WinKeysReset();
    EXPECT_EQ(ReadMenuKeys(0), 0u);
    WinKeyEvent(DK_VK_RETURN, TRUE);
    WinKeyEvent(DK_VK_LEFT, TRUE);
    WinKeyEvent(DK_VK_RIGHT, TRUE);
    WinKeyEvent(DK_VK_DOWN, TRUE);
    EXPECT_EQ(ReadMenuKeys(0), MENU_KEY_SELECT | MENU_KEY_LEFT | MENU_KEY_RIGHT | MENU_KEY_DOWN);
}

// The podium reader: Escape or Return on the podium ends it once its replays are done.
TEST_F(KeysTest, ThePodiumReaderSkipsAFinishedPodium)
{
    struct Case
    {
        const char* pszName;
        bool boPodium, boDone, boSchool;
        uint32_t uPressed;
        bool boSkip;
    };
    const Case aCases[] = {
        {"Return", true, true, false, MENU_KEY_SELECT, true},
        {"Escape", true, true, false, MENU_KEY_BACK, true},
        {"another key", true, true, false, MENU_KEY_UP, false},
        {"replays still running", true, false, false, MENU_KEY_SELECT, false},
        {"not the podium", false, true, false, MENU_KEY_SELECT, false},
        {"in the school", true, true, true, MENU_KEY_SELECT, false},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        boThisIsPodiumStage = c.boPodium ? TRUE : FALSE;
        gboRaceSchool = c.boSchool ? TRUE : FALSE;
        Podium_SetReplayDoneForTests(c.boDone ? TRUE : FALSE);
        Controller(0, DKCT_KEYBOARD, 0, c.uPressed);
        ReadPodiumKeys();
        EXPECT_EQ(gboPodiumSkip != FALSE, c.boSkip);
    }
}

} // namespace
