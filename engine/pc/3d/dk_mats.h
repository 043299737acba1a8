// Direct3D materials in the 3D context's 2,048 slots, and the release of every material and
// texture when the display goes down.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

class IDirect3DMaterial2;
struct DK_TEXTURE;

struct DK_MATERIAL
{
    uint32_t uUnused;
    IDirect3DMaterial2* lpD3DMaterial2;
    uint32_t uHandle;
};

extern uint32_t guNumMaterials;

// Colours are bytes: diffuse and ambient red, green, blue, alpha; specular red, green, blue.
// The result is the new slot. 0 also means "no slot was free", which *ppMaterial tells apart:
// it is left NULL then (slot 0 itself is only ever the first material of a display).
uint16_t DkCreateMaterial(DK_MATERIAL** ppMaterial, const DK_TEXTURE* pTexture, BOOL boUseTexture,
                          const uint8_t* pDiffuse, const uint8_t* pAmbient,
                          const uint8_t* pSpecular, float fPower, int nRampSize);
BOOL MaterialDestructor(void);
// The device handle of the material in slot nSlot; 0 for an empty slot or one out of range.
uint32_t DkGetMaterialHandle(int nSlot);
void DkReleaseMaterial(DK_MATERIAL* pMaterial);
void DkReleaseTexture(DK_TEXTURE* pTexture);
float* DkNormaliseVector(float* pVector);
