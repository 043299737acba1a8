// The controllers: 18 records holding keyboards and joysticks alike, each read into one word of
// held function bits and one of newly pressed bits, so that the game and the menus never ask
// which kind of device a player uses.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

#define DK_MAX_CONTROLLERS 18
#define DK_CONTROLLER_KEYS 18
#define DK_CONTROLLER_FILE_SIZE (DK_MAX_CONTROLLERS * 140)

// Controller types.
#define DKCT_NONE (-1)
#define DKCT_JOYPAD 0
#define DKCT_KEYBOARD 1
#define DKCT_WHEEL 2
#define DKCT_ANALOG 4

// Function bits.
#define DKC_LEFT 0x0001u
#define DKC_RIGHT 0x0002u
#define DKC_UP 0x0004u
#define DKC_DOWN 0x0008u
#define DKC_ANY_BUTTON 0x10000u

// A joystick reading as the multimedia joystick calls fill it: 13 words.
struct DK_JOYREADING
{
    uint32_t dwSize;
    uint32_t dwFlags;
    uint32_t dwXpos;
    uint32_t dwYpos;
    uint32_t dwZpos;
    uint32_t dwRpos;
    uint32_t dwUpos;
    uint32_t dwVpos;
    uint32_t dwButtons;
    uint32_t dwButtonNumber;
    uint32_t dwPOV;
    uint32_t dwReserved1;
    uint32_t dwReserved2;
};
static_assert(sizeof(DK_JOYREADING) == 52, "a joystick reading is 13 words");

struct DK_CONTROLLER
{
    int32_t nType;
    uint32_t uHeld;
    uint32_t uPressed;
    int32_t nButtonCount;
    int32_t nPort;
    DK_JOYREADING Reading;
    uint32_t auButtonMasks[12];
    // Keyboard: a virtual-key code per function slot. Wheel/analog: the same bytes hold the X
    // and Y axes as two int32, -65536..65536.
    union
    {
        uint8_t auKeys[DK_CONTROLLER_KEYS];
        int32_t anAxes[2];
    };
};

extern DK_CONTROLLER gaControllers[DK_MAX_CONTROLLERS];

uint32_t DkSearchForControllers(int nKeyboards);
void DkReadAllControllers(void);
DK_CONTROLLER* DkReadController(int nSlot);
DK_CONTROLLER* DkGetController(int nSlot);
int DkGetControllerType(int nSlot);
void DkSetControllerType(int nSlot, int nType);
int DkGetControllerButtonCount(int nSlot);
uint32_t DkGetAllControllersHeld(void);
uint32_t DkGetAllControllersPressed(void);
uint32_t DkGetConfiguredControllersMask(void);
uint32_t DkGetAttachedControllersMask(void);
int DkGetPressedKey(int* pnShift);
int DkGetKeyboardKey(uint32_t uFunction, int nKeyboard);
void DkRedefineKeyboardKey(int nSlot, uint32_t uFunction, int nKey);
int DkRunJoystickControlPanel(void);
BOOL DkIsForceFeedbackPresent(void);
void DkSetControllerSensitivity(int nSlot, int nValue);
int DkGetControllerSensitivity(int nSlot);
BOOL DkSaveControllerConfig(void);
BOOL DkLoadControllerConfig(void);

// Virtual keys as the keyboard numbers them.
#define DK_VK_RETURN 0x0D
#define DK_VK_ESCAPE 0x1B
#define DK_VK_LEFT 0x25
#define DK_VK_UP 0x26
#define DK_VK_RIGHT 0x27
#define DK_VK_DOWN 0x28

// Whether a virtual key is held at this moment (the keyboard read directly, as the menus and
// the front end read it).
BOOL DkIsKeyHeld(int nKey);
// Test hook: whether the input script (DEZOR_INPUT) has run out; never while none runs.
BOOL DkInputScriptEnded(void);
// Test hook: the game reports one of its moments by name (the start lights going out are "go");
// the input script's sections that count from it start their clocks.
void DkInputScriptMark(const char* pszName);

// The key-state service.
void DkScanKeyboard(void);
int DkGetKeyState(int nKey);
int DkAnyKeyPressedOnce(void);
void DkClearKeyboardState(void);

// The analog companion: dead zones and output ranges.
struct DK_ANALOG_READING
{
    int32_t x;
    int32_t y;
    uint32_t buttons;
};
int DkReadAnalogJoystick(int nJoystick, DK_ANALOG_READING* pOut);
void DkSetAnalogRange(int nRangeX, int nRangeY);
void DkSetAnalogDeadZone(int nDeadZoneX, int nDeadZoneY);
