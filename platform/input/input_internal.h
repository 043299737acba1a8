// What the joystick and force-feedback parts share, and the force-feedback test hooks.
#pragma once

#include <SDL.h>

#include <vector>

#include "platform/input/input.h"

#define JOY_MAX_IDS 16

struct JoyDeviceInfo
{
    int id;
    char name[MAXPNAMELEN];
    Uint16 vendor;
    Uint16 product;
    int axes;
    int buttons;
    int hats;
    bool haptic;
};

// The attached joysticks in id order (noticing arrivals and removals first); 0 when there is
// no joystick subsystem. Force feedback is reported only once the haptic subsystem is up.
int JoyListDevices(JoyDeviceInfo* devices, int max);
// Opens the force feedback of the joystick at this id, or NULL.
SDL_Haptic* JoyOpenHaptic(int id);

// ---- Test hooks ----

// While on, DirectInput offers one fake force-feedback joystick (and no other device) whose
// haptic layer records every call here instead of reaching SDL. Turning it off or on clears
// the record.
void DiUseFakeHapticForTests(bool on);

enum class DiFakeOp
{
    Create, // effect: the converted effect
    Update, // effect: the converted effect after SetParameters
    Start,  // value: iterations (SDL_HAPTIC_INFINITY for INFINITE)
    Stop,
    Destroy,
    StopAll,
    Pause,
    Continue,
    Autocenter, // value: SDL's 0..100
};

struct DiFakeRecord
{
    DiFakeOp op;
    int effect; // the fake's effect number (creation order from 0), -1 for the whole device
    SDL_HapticEffect data;
    Uint32 value;
};

std::vector<DiFakeRecord> DiFakeRecords(void);
// Makes the fake's CreateEffect answer this code (DI_OK: create again) until the fake is
// switched, so that callers' handling of a refused effect can be tested.
void DiFakeFailCreateEffect(HRESULT hr);
void DiFakeClearRecords(void);
