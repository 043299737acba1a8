// The shared two-choice prompt (a menu with a title and two choices, drawn with the caller's
// fonts and colours), and a byte-swap routine the game code uses.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// Exchanges the first nLength bytes of pA and pB; a length of 0 or less does nothing.
void DkSwapBytes(void* pA, void* pB, int32_t nLength);
