// What the engine's own modules read of the 3D set-up beyond its public header: the texture
// formats as the device offered them, which hold the platform's surface description. Game
// code never needs them, so they stay out of the engine's public face.
#pragma once

#include <cstdint>

#include "engine/pc/3d/3dinit.h"
#include "platform/ddraw/ddraw.h"

// A texture pixel format as the device offered it.
struct DK_TEXTURE_FORMAT
{
    DDSURFACEDESC ddsd;
    int32_t nPalettised;
    uint8_t uIndexBits;
    uint8_t uRedBits;
    uint8_t uBlueBits;
    uint8_t uGreenBits;
    uint8_t uAlphaBits;
    uint8_t uRedShift;
    uint8_t uBlueShift;
    uint8_t uGreenShift;
    uint8_t uAlphaShift;
};
