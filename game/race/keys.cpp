#include "game/race/keys.h"

#include <algorithm>
#include <utility>

#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"
#include "engine/pc/input/dk_input.h"
#include "game/hud/pause.h"
#include "game/hud/podium.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/le_bytes.h"

BOOL gboPauseLocked = FALSE;
BOOL gboPodiumSkip = FALSE;

namespace
{

constexpr int kPlayers = 2;
constexpr int kMasks = 8;
enum
{
    kAccelerate,
    kBrake,
    kHandbrake,
    kGearUp,
    kGearDown,
    kCamera,
    kSeventh,
    kEighth
};
// The player's seven masks follow the left and right function bits of the record.
constexpr int kFirstMaskOffset = PI_FUNCTION_BITS + 2 * 2;
constexpr uint32_t kDefaultMasks[kMasks] = {4, 8, 256, 512, 128, 64, 1024, 2048};
constexpr uint32_t kEighthMask = 2048;

constexpr int kOptionBrakeAxis = 0x01;
constexpr int kOptionAccelerateAxis = 0x02;
constexpr int kOptionSteerAxis = 0x04;
constexpr GameOption kToggledThrottle = {38, 3};
constexpr GameOption kSecondHandbrake = {36, 6};
constexpr GameOption kMirrorA = {37, 4};
constexpr GameOption kMirrorB = {37, 5};
// The toggled throttle's pulse: 100 at a switch, full while above 96, a third less a tick.
constexpr uint8_t kPulseStart = 100;
constexpr uint8_t kPulseEnd = 96;
constexpr int32_t kThird = 21823;

uint32_t gauKeyRepeat[8] = {};
int gnCachedType = -1;
int gnCachedPlayer = -1;
uint32_t gauMasks[kMasks] = {};
BOOL gaboCameraReleased[kPlayers] = {TRUE, TRUE};
BOOL gaboAnalogue[kPlayers] = {};
BOOL gaboThrottleOn[kPlayers] = {};
uint8_t gauThrottlePulse[kPlayers] = {};
BOOL gboPauseArmed = FALSE;
uint32_t guLastMenuKeys = 0;

// The player's controller number, or -1 (reported) when the record holds none of the 18.
int ControllerOf(const uint8_t* pInfo)
{
    const uint32_t uController = LeRead16(pInfo + PI_CONTROLLER);
    if (!TRYBOOL_MSG(uController < DK_MAX_CONTROLLERS,
                     "The player's controller number is out of range"))
        return -1;
    return static_cast<int>(uController);
}

void LoadMasks(const uint8_t* pInfo, int nType, int nPlayer)
{
    gnCachedPlayer = nPlayer;
    const bool boMapped = nType == LeRead32(pInfo + PI_CONTROLLER_TYPE);
    for (int i = 0; i < kEighth; ++i)
        gauMasks[i] = boMapped ? LeRead16(pInfo + kFirstMaskOffset + 2 * i) : kDefaultMasks[i];
    gauMasks[kEighth] = kEighthMask;
    gnCachedType = nType;
}

// An axis pushed towards its end: 1/256 steps below 1.0, then whole 1/64 steps.
int32_t AxisLevel(int32_t xAmount)
{
    return (std::min(xAmount >> 8, 255) << 8) & ~1023;
}

void Pause(int nPlayer)
{
    if (HasPlayerFinished(nPlayer) || (nPlayer != 0 && !IsAlternatingGame()))
        return;
    // Escape that closed the pause stays locked out until it is let go.
    if (gboPauseLocked)
    {
        if (DkIsKeyHeld(DK_VK_ESCAPE))
            return;
        gboPauseLocked = FALSE;
    }
    if (!DkIsKeyHeld(DK_VK_ESCAPE))
    {
        gboPauseArmed = TRUE;
        return;
    }
    DkLog("Pause Button Pressed...");
    PauseMenu_Reset();
    if (boThisIsPodiumStage && !DkEntries().IsRallySchool() && Podium_IsReplayDone())
        gboPodiumSkip = TRUE;
    else if (gboPauseArmed)
    {
        DkLog("Doing Pause Mode...");
        DoPauseMode(nPlayer);
        gboPauseArmed = FALSE;
    }
}

} // namespace

void ReadGameKeys(CarMechanics* m, int, int nPlayer)
{
    if (m == nullptr ||
        !TRYBOOL_MSG(nPlayer >= 0 && nPlayer < kPlayers, "ReadGameKeys: no such player"))
        return;
    const int p = nPlayer;
    for (const CarBody& body : gaCarBody)
        if (body.StartCountdown != 0)
            gboPauseArmed = FALSE;

    const uint8_t* pInfo = GameData_GetPlayerInfo(p);
    const int nController = ControllerOf(pInfo);
    const int nType = nController >= 0 ? DkGetControllerType(nController) : DKCT_NONE;
    if ((nType != DKCT_NONE && nType != gnCachedType) || p != gnCachedPlayer)
        LoadMasks(pInfo, nType, p);

    uint32_t uHeld = 0, uPressed = 0;
    const DK_CONTROLLER* pController = nullptr;
    if (nController >= 0)
    {
        pController = DkGetController(nController);
        uHeld = pController->uHeld;
        uPressed = pController->uPressed;
    }
    if (nType != DKCT_KEYBOARD)
    {
        uHeld |= DkGetController(p)->uHeld;
        uPressed |= DkGetController(p)->uPressed;
    }

    Pause(p);

    m->InputGearChange = 0;
    if (m->GearboxMode != 2)
    {
        if (uPressed & gauMasks[kGearUp])
            m->InputGearChange = 1;
        if (uPressed & gauMasks[kGearDown])
            m->InputGearChange = -1;
    }

    if (uPressed & gauMasks[kCamera])
    {
        if (gaboCameraReleased[p])
            Cameras_NextMode(p);
        gaboCameraReleased[p] = FALSE;
    }
    else
        gaboCameraReleased[p] = TRUE;

    const bool boAxes = pController != nullptr &&
                        (pController->nType == DKCT_WHEEL || pController->nType == DKCT_ANALOG);
    gaboAnalogue[p] = boAxes ? TRUE : FALSE;
    const int nOptions = pInfo[PI_CONTROLLER_OPTIONS];
    const bool boMirrored = GameData_IsOptionSet(kMirrorA) || GameData_IsOptionSet(kMirrorB);

    int32_t xLeft = 0, xRight = 0;
    if (boAxes && (nOptions & kOptionSteerAxis))
    {
        m->AnalogueSteer = 1;
        const int32_t x = pController->anAxes[0];
        if (x >= 0)
            xRight = std::min(x >> 10, 63) * 1024;
        else
            xLeft = AxisLevel(-x);
    }
    else
    {
        m->AnalogueSteer = 0;
        const bool boLeft = (uHeld & DKC_LEFT) != 0, boRight = (uHeld & DKC_RIGHT) != 0;
        if (boLeft && !boRight)
            xLeft = KEY_FULL_LEVEL;
        if (boRight && !boLeft)
            xRight = KEY_FULL_LEVEL;
    }
    if (boMirrored)
        std::swap(xLeft, xRight);
    m->InputSteerLeft = xLeft;
    m->InputSteerRight = xRight;

    const bool boToggled = GameData_IsOptionSet(kToggledThrottle);
    if (boAxes && (nOptions & kOptionAccelerateAxis))
    {
        const int32_t y = pController->anAxes[1];
        m->InputAccel = y < 0 ? AxisLevel(-y) : 0;
        m->AnalogueThrottle = 1;
    }
    else
    {
        if (boToggled)
        {
            const bool boAccelerate = (uHeld & gauMasks[kAccelerate]) != 0;
            const bool boHandbrake = (uHeld & gauMasks[kHandbrake]) != 0;
            if (boAccelerate != boHandbrake)
            {
                gaboThrottleOn[p] = boAccelerate ? TRUE : FALSE;
                gauThrottlePulse[p] = kPulseStart;
            }
            // The count stops at 0: an 8-bit count wrapping to 255 would open the throttle
            // far past full once every 256 ticks.
            if (gauThrottlePulse[p] > 0)
                --gauThrottlePulse[p];
            m->InputAccel = gauThrottlePulse[p] > kPulseEnd
                                ? FfMul(KEY_FULL_LEVEL, (gauThrottlePulse[p] - kPulseEnd) * kThird)
                                : 0;
        }
        else
            m->InputAccel = (uHeld & gauMasks[kAccelerate]) ? KEY_FULL_LEVEL : 0;
        m->AnalogueThrottle = 0;
    }

    if (boAxes && (nOptions & kOptionBrakeAxis))
    {
        const int32_t y = pController->anAxes[1];
        m->InputBrake = y > 0 ? AxisLevel(y) : 0;
        m->AnalogueBrake = 1;
    }
    else
    {
        m->InputBrake = (uHeld & gauMasks[kBrake]) ? KEY_FULL_LEVEL : 0;
        m->AnalogueBrake = 0;
    }

    if (boToggled)
        m->InputHandbrake = 0;
    else if (GameData_IsOptionSet(kSecondHandbrake))
    {
        m->InputHandbrake = 0;
        m->InputSecond = static_cast<int32_t>(uHeld & gauMasks[kHandbrake]);
    }
    else
        m->InputHandbrake = (uHeld & gauMasks[kHandbrake]) ? 1 : 0;
}

uint32_t ReadMenuKeys(uint32_t uBits)
{
    constexpr std::pair<int, uint32_t> kKeys[] = {
        {DK_VK_ESCAPE, MENU_KEY_BACK}, {DK_VK_UP, MENU_KEY_UP},
        {DK_VK_DOWN, MENU_KEY_DOWN},   {DK_VK_LEFT, MENU_KEY_LEFT},
        {DK_VK_RIGHT, MENU_KEY_RIGHT}, {DK_VK_RETURN, MENU_KEY_SELECT}};
    for (const auto& [nKey, uBit] : kKeys)
        if (DkIsKeyHeld(nKey))
            uBits |= uBit;
    const bool boChanged = uBits != guLastMenuKeys;
    guLastMenuKeys = uBits;
    return boChanged ? uBits : 0;
}

void ReadPodiumKeys(void)
{
    const int nController = ControllerOf(GameData_GetPlayerInfo(0));
    const uint32_t uKeys =
        ReadMenuKeys(nController >= 0 ? DkGetController(nController)->uPressed : 0);
    if (boThisIsPodiumStage && !DkEntries().IsRallySchool() &&
        (uKeys & (MENU_KEY_BACK | MENU_KEY_SELECT)) && Podium_IsReplayDone())
        gboPodiumSkip = TRUE;
}

void ReadGameKeys_Reset(void)
{
    for (uint32_t& u : gauKeyRepeat)
        u = 0;
    gnCachedType = -1;
}

void Keys_ResetForTests(void)
{
    ReadGameKeys_Reset();
    gnCachedPlayer = -1;
    for (int p = 0; p < kPlayers; ++p)
    {
        gaboCameraReleased[p] = TRUE;
        gaboAnalogue[p] = gaboThrottleOn[p] = FALSE;
        gauThrottlePulse[p] = 0;
    }
    gboPauseArmed = FALSE;
    gboPauseLocked = FALSE;
    gboPodiumSkip = FALSE;
    guLastMenuKeys = 0;
}
