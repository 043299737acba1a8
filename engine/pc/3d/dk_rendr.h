// The renderer's device states: the 17-entry render-state cache of the 3D context, the reset
// that sends it to a new device, and the cached setters every draw goes through.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// Cache entries (indices into DK_D3D's cache, 0-based).
enum
{
    DKRS_ZENABLE,
    DKRS_TEXTUREPERSPECTIVE,
    DKRS_SHADEMODE,
    DKRS_TEXTUREFILTER,
    DKRS_TEXTUREMAPBLEND,
    DKRS_FILLMODE,
    DKRS_SRCBLEND,
    DKRS_DESTBLEND,
    DKRS_DITHERENABLE,
    DKRS_SPECULARENABLE,
    DKRS_ANTIALIAS,
    DKRS_FOGENABLE,
    DKRS_FOGCOLOUR,
    DKRS_FOGTABLEMODE,
    DKRS_FOGSTART,
    DKRS_FOGEND,
    DKRS_CULLMODE,
};

// With bReset, writes the defaults of the device kind into the cache first; then sends the
// cached states to the device. Returns 1.
int SetRenderState(int nReset);
void DkSetTextureHandle(uint32_t uHandle);
void DkSetMaterialHandle(uint32_t uHandle);
void DkSetTextureFilter(uint32_t uFilter);
// The minification filter alone (D3DFILTER_*).
void DkSetTextureMinFilter(uint32_t uFilter);
// Depth test and depth write, 0 or 1; each returns what it was given.
int DkSetZEnable(int nOn);
int DkSetZWriteEnable(int nOn);
// Forgets what the setters last sent (a new device knows nothing of it).
void DkResetSetterCaches(void);
