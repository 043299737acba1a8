// The survey of display devices, their video memory, usable modes and 3D rating, made once.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

#define DK_MAX_DISPLAY_DEVICES 3
#define DK_MAX_MODES 20

// One display device: 32 words.
struct DK_DISPLAY_DEVICE
{
    void* lpGuid; // &guid, or null for the primary display driver
    uint32_t guid[4];
    int32_t nUnused;
    int32_t nTextureMapping;
    int32_t nBilinear;
    int32_t nZBuffer;
    int32_t nZBufferBits;
    int32_t nTexturesInVideoMemory;
    int32_t nTexturesInSystemMemory;
    int32_t nVideoMemory;
    int32_t nNum8BitModes;
    int32_t a8BitModes[8]; // width, height pairs: 320x240, 512x384, 640x480, 800x600
    int32_t nNum16BitModes;
    int32_t a16BitModes[8];
    int32_t nRating;
};

struct DISPLAYCAPS
{
    uint32_t uNumDevices;
    uint32_t uBestDevice;
    uint32_t uBestDevice2;
    DK_DISPLAY_DEVICE aDevices[DK_MAX_DISPLAY_DEVICES];
};

extern BOOL gboMode320x240x16OK;
extern BOOL gboPowerVR;
extern BOOL gboDeviceTextureAlpha;
extern BOOL gbo3DHardware;

int GetDisplayCapabilities(DISPLAYCAPS* pCaps, HWND hWnd);
// Video memory for main surfaces and for textures of a display device (0 when unknown).
uint32_t DkGetDeviceSurfaceMemory(int nDevice);
uint32_t DkGetDeviceTextureMemory(int nDevice);
// The display devices the survey found, and whether the 3D device of the chosen one maps
// textures point-sampled.
int DkGetNumDisplayDevices(void);
BOOL DkHasPointSampledTextures(void);
// Test hook: forgets the cached survey.
void DkForgetDisplayCapabilities(void);
