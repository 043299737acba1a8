// Images and textures. The texture record is here; the converters come with the image layer.
#pragma once

#include <cstdint>

#include "engine/pc/dk_surf.h"

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
