// The engine's 2D surfaces: DirectDraw surfaces wrapped in DK_SURFACE records, kept in the
// display's surface list, blitted with clipping and colour keys, filled and destroyed.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

class IDirectDrawSurface;

// x, y, w, h: covers x <= px < x + w, y <= py < y + h.
struct DK_RECT
{
    int16_t x;
    int16_t y;
    int16_t w;
    int16_t h;
};

// Red, green, blue and a flags byte: the layout DirectDraw's palette entries have, so a table
// of them goes to CreatePalette unchanged.
struct DK_PALETTE_ENTRY
{
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t flags;
};
static_assert(sizeof(DK_PALETTE_ENTRY) == 4, "a palette entry is 4 bytes");

struct DK_SURFACE
{
    IDirectDrawSurface* lpSurface;
    DK_RECT rect;
    int16_t nDepth;
    int32_t nAddedColumns;
    int32_t nAddedRows;
    DK_PALETTE_ENTRY aPalette[256];
};

#define DK_MAX_SURFACES 2048

// Creation flags.
#define DKCS_FORCE_VIDEO 0x01
#define DKCS_FORCE_SYSTEM 0x02
#define DKCS_SOURCE_TEXTURE 0x04
#define DKCS_DEST_TEXTURE 0x08
#define DKCS_PIXEL_FORMAT 0x10
#define DKCS_DUMP_LIST 0x20
#define DKCS_ALPHA_TEXTURE 0x40

DK_SURFACE* DkCreateNewSurface(int nWidth, int nHeight, int nDepth, uint32_t uFlags);
int DkDestroySurface(DK_SURFACE* pSurface, const char* pszCallerFile, int nCallerLine);
BOOL DestroyAllCreated2DSurfaces(void);
int DkBlitPC(DK_SURFACE* pSrc, const DK_RECT* pSrcRect, DK_SURFACE* pDest, const DK_RECT* pDestRect,
             uint32_t uKeyLow, uint32_t uKeyHigh, BOOL boUseKey, BOOL boClip);
int DkBlitSurfaceAt(DK_SURFACE* pSurface, int nX, int nY, const uint8_t* pColour, int nCount);
int DkClearSurface(DK_SURFACE* pSurface);
// Colours are 4 bytes: red, green, blue, alpha.
int DkFillPolyRect(DK_SURFACE* pSurface, const DK_RECT* pRect, const uint8_t* pColour);
int DkFillPolyRectAlpha(DK_SURFACE* pSurface, const DK_RECT* pRect, const uint8_t* pColour);
int DkFillRect(DK_SURFACE* pSurface, const DK_RECT* pRect, const uint8_t* pColour);
void DkDumpSurfaceList(void);

// Direct access to a surface's pixels: the first row, with the row pitch in bytes and the size
// in pixels; NULL when the surface can't be locked. Every successful lock is followed by
// DkUnlockSurface before the surface is blitted, flipped or locked again.
struct DK_SURFACE_LOCK
{
    void* pPixels;
    int32_t nPitch;
    int32_t nWidth;
    int32_t nHeight;
};
void* DkLockSurface(DK_SURFACE* pSurface, DK_SURFACE_LOCK* pLock);
void DkUnlockSurface(DK_SURFACE* pSurface);
void DkSurfaceNoOp(void* p);

// Debugging aids with no caller in the game. DkDrawTransparentBoxPC adds the value to the
// back surface's rectangle a 32-bit word at a time; DkRemapSurfaceRect replaces every pixel
// of a rectangle of an 8-bit surface by its entry in a 256-byte table.
BOOL DkDrawTransparentBoxPC(const DK_RECT* pRect, uint32_t uValue);
BOOL DkRemapSurfaceRect(DK_SURFACE* pSurface, const DK_RECT* pRect, const uint8_t* pRemap);

// Test hook: the "out of VRAM" line may be logged again, as at program start.
void DkResetVRAMWarningForTests(void);
