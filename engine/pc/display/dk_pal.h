// Palette fades and wipes. A wipe moves an integer from one value to another over a number of
// frames along one of five curves; the front end and the game screens step one per display
// frame or menu tick for every sliding panel, text and fade. The fade blocks while it moves the
// 8-bit display palette to a target, one vertical blank per pass.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/pc/display/dk_surf.h"

#define DK_MAX_WIPES 32
// Frames of the bounce at the end of types 1 and 4.
#define DK_WIPE_BOUNCE_FRAMES 17
// Frames a lingering wipe still counts as running after its length.
#define DK_WIPE_LINGER_FRAMES 3

// Wipe curves.
#define DKWIPE_LINEAR 0
#define DKWIPE_LINEAR_BOUNCE 1
#define DKWIPE_DECELERATE 2
#define DKWIPE_ACCELERATE 3
#define DKWIPE_DECELERATE_BOUNCE 4
// The type of a free slot.
#define DKWIPE_FREE 5

// A handle is a byte the caller owns: DkStartWipe writes the slot number into it, and the slot
// belongs to the handle while the slot remembers that byte's address. A wipe of nFrames <= 0
// is already at its end value. A negative delay counts as none.
void DkStartWipe(uint8_t* pHandle, int nType, int nFrames, int nDelay, int32_t nFrom, int32_t nTo,
                 BOOL boLinger);
// The wipe's value for this frame; advances it. Takes the handle byte's value.
int32_t DkStepWipe(uint8_t uHandle);
BOOL DkIsWipeRunning(const uint8_t* pHandle);
void DkStopWipe(const uint8_t* pHandle);
void DkStopAllWipes(void);
// While set, new wipes start and stay at their end value, with no delay and no linger.
void DkSetWipesInstant(BOOL boInstant);

// Fades the display palette to the 256 entries of pTarget; nSpeed 0..6 takes 257, 129, 65,
// 33, 17, 9 or 5 vertical blanks. FALSE when the display palette cannot be read (or there is
// none, or no target).
BOOL SyncFadeToPalette(const DK_PALETTE_ENTRY* pTarget, int nSpeed);
