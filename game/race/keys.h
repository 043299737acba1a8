// The in-race keys: each race tick turns the driving player's controller into the control
// words of the player's car, and arms and triggers the pause menu and the camera key. Two
// smaller readers serve the menus and the podium.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

struct CarMechanics;

// The menu key bits.
#define MENU_KEY_LEFT 0x01u
#define MENU_KEY_RIGHT 0x02u
#define MENU_KEY_UP 0x04u
#define MENU_KEY_DOWN 0x08u
#define MENU_KEY_SELECT 0x10u
#define MENU_KEY_BACK 0x20u

// A key's full level: just under 1.0.
#define KEY_FULL_LEVEL 65470

// Set when Escape closed the pause menu and is still held: until it is let go, Escape neither
// arms nor opens the pause menu.
extern BOOL gboPauseLocked;
// Set when Escape or Return ends the podium once its replays are done.
extern BOOL gboPodiumSkip;

// One tick of the keys of local player nPlayer (0 or 1) into the car's control words; the
// second argument is not used.
void ReadGameKeys(CarMechanics* pMechanics, int nUnused, int nPlayer);
// ORs the keyboard's menu keys into the bits and returns the word when it differs from the
// last call's, else 0.
uint32_t ReadMenuKeys(uint32_t uBits);
// The podium's keys: the first player's new presses; Escape or Return ends a podium whose
// replays are done.
void ReadPodiumKeys(void);
// The stage's fresh start: the key-repeat words cleared and the masks read again.
void ReadGameKeys_Reset(void);

// Test hook: every word of the module back to its start.
void Keys_ResetForTests(void);
