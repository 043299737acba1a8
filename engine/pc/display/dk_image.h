// Images and textures: BMP and TIM files already in memory made into surfaces of the display's
// format and into textures of the device's. The caller owns the file's bytes and frees them
// after the call; every reader is told how many there are and reads nothing beyond them.
#pragma once

#include <cstdint>

#include "engine/pc/display/dk_surf.h"

class IDirect3DTexture2;

struct DK_TEXTURE
{
    int16_t nMaterial; // software device: the material slot made for the texture
    uint16_t uSlot;
    char szName[12];
    uint32_t uHandle;
    DK_SURFACE* pDeviceSurface;
    IDirect3DTexture2* lpTexture;
    DK_SURFACE* pSourceSurface;
    IDirect3DTexture2* lpTexture2;
    uint32_t uHandle2;
};

extern uint32_t guNumTextures;

// Flags of DkImageToSurface and DkTimToSurface.
#define ITS_CREATE_SURFACE 0x001
#define ITS_DUMP_LIST 0x008
#define ITS_TEXTURE_DATA 0x010
#define ITS_KEY_COLOUR 0x040
#define ITS_KEEP_INDICES 0x080
#define ITS_QUARTER_SIZE 0x100
#define ITS_HALF_SIZE 0x200
#define ITS_KEY_COLOUR_8BIT 0x400

// Flags of DkImageToTexture.
#define ITT_BMP 0x01
#define ITT_TIM 0x02
#define ITT_KEEP_SOURCE 0x04
#define ITT_KEY_COLOUR 0x08
#define ITT_KEEP_INDICES 0x10
#define ITT_QUARTER_SIZE 0x20
#define ITT_HALF_SIZE 0x40
#define ITT_KEY_COLOUR_8BIT 0x80

// Size reduction: every texture is quartered while set (the DK3D reader sets it for one kind of
// load); the conversion DkBmpToTexture starts notes whether it reduces.
extern BOOL gboDkShrinkAllTextures;
extern BOOL gboDkEngineOptionA; // the renderer's first engine option (defined with the display)
extern BOOL gboTextureReduced;

// The colours a software device maps 8-bit images onto (the display palette).
void DkSetImagePalette(const DK_PALETTE_ENTRY* pEntries);

DK_SURFACE* DkImageToSurface(DK_SURFACE* pSurface, const void* pData, uint32_t uSize,
                             uint32_t uFlags);
DK_TEXTURE* DkImageToTexture(const void* pData, uint32_t uSize, uint32_t uFlags);
DK_TEXTURE* DkBmpToTexture(const void* pData, uint32_t uSize, uint32_t uFlags);
DK_TEXTURE* DkTimToTexture(const void* pData, uint32_t uSize, uint32_t uFlags);
// The lowest free texture slot with a new, zeroed record in it, counted; NULL, reported with
// pszFailure, when no slot is free or the heap is full.
DK_TEXTURE* DkTakeTextureSlot(const char* pszFailure);
// Gives a texture back at once: its interfaces, surfaces, software material and slot. For a
// copy made only to be compared with a texture already loaded.
void DkDestroyTexture(DK_TEXTURE* pTexture);
int DkTimToSurface(DK_SURFACE* pSurface, const void* pData, uint32_t uSize, uint32_t uFlags);
// A texture with alpha from a 24-bit colour BMP and an 8-bit alpha BMP of the same size (files
// loaded from the disc root); NULL when the device has no alpha texture format.
DK_TEXTURE* DkBmpToAlphaTexture(const char* pszColourFile, const char* pszAlphaFile, int nWidth,
                                int nHeight);
// Copies the BMP's pixels (8 or 24 bits) top row first without row padding into pDest, which
// holds nWidth * nHeight pixels. FALSE when the file does not hold them.
BOOL ExtractPixels(const void* pData, uint32_t uSize, uint8_t* pDest, int nBitsPerPixel, int nWidth,
                   int nHeight);
