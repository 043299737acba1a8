#include "engine/pc/3d/dk_mats.h"

#include <cmath>

#include "engine/common/dk_heap.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/display/dk_image.h"
#include "platform/d3d/d3d.h"

uint32_t guNumMaterials = 0;
uint32_t guNumTextures = 0;

namespace
{

D3DCOLORVALUE Colour(const uint8_t* pBytes, bool withAlpha)
{
    D3DCOLORVALUE c{};
    if (pBytes == nullptr)
        return c;
    c.r = pBytes[0] / 255.0f;
    c.g = pBytes[1] / 255.0f;
    c.b = pBytes[2] / 255.0f;
    c.a = withAlpha ? pBytes[3] / 255.0f : 0.0f;
    return c;
}

} // namespace

uint16_t DkCreateMaterial(DK_MATERIAL** ppMaterial, const DK_TEXTURE* pTexture, BOOL boUseTexture,
                          const uint8_t* pDiffuse, const uint8_t* pAmbient,
                          const uint8_t* pSpecular, float fPower, int nRampSize)
{
    int nSlot = -1;
    for (int i = 0; i < DK_MAX_MATERIALS && nSlot < 0; ++i)
        if (d3d->apMaterials[i] == nullptr)
            nSlot = i;
    DK_MATERIAL* pMaterial =
        nSlot >= 0 ? static_cast<DK_MATERIAL*>(DkHeapAlloc(sizeof(DK_MATERIAL))) : nullptr;
    if (pMaterial == nullptr)
    {
        DKREPORT("DkCreateMaterial() : Unable to allocate memory for material!");
        return 0;
    }
    d3d->apMaterials[nSlot] = pMaterial;
    ++guNumMaterials;

    if (d3d->lpD3D2 != nullptr)
        TRYD3D(d3d->lpD3D2->CreateMaterial(&pMaterial->lpD3DMaterial2, nullptr));
    D3DMATERIAL desc{};
    desc.dwSize = sizeof desc;
    desc.diffuse = Colour(pDiffuse, true);
    desc.ambient = Colour(pAmbient, true);
    desc.specular = Colour(pSpecular, false);
    desc.power = fPower;
    desc.hTexture = boUseTexture && pTexture != nullptr ? pTexture->uHandle : 0;
    desc.dwRampSize = static_cast<DWORD>(nRampSize);
    if (pMaterial->lpD3DMaterial2 != nullptr)
    {
        TRYD3D(pMaterial->lpD3DMaterial2->SetMaterial(&desc));
        D3DMATERIALHANDLE handle = 0;
        TRYD3D(pMaterial->lpD3DMaterial2->GetHandle(d3d->lpD3DDevice2, &handle));
        pMaterial->uHandle = handle;
    }
    if (ppMaterial != nullptr)
        *ppMaterial = pMaterial;
    return static_cast<uint16_t>(nSlot);
}

void DkReleaseMaterial(DK_MATERIAL* pMaterial)
{
    if (pMaterial == nullptr)
        return;
    DkReleaseTraced(pMaterial->lpD3DMaterial2, "mat->lpD3DMaterial2");
    --guNumMaterials;
}

void DkReleaseTexture(DK_TEXTURE* pTexture)
{
    if (pTexture == nullptr)
        return;
    if (pTexture->lpTexture2 != nullptr)
        DkReleaseTraced(pTexture->lpTexture2, "lpTex->lpTexture2");
    if (pTexture->lpTexture != nullptr)
        DkReleaseTraced(pTexture->lpTexture, "lpTex->lpTexture");
    --guNumTextures;
}

BOOL MaterialDestructor(void)
{
    DkLog("Doing MaterialDestructor()");
    for (DK_TEXTURE*& pTexture : d3d->apTextures)
        if (pTexture != nullptr)
        {
            DkReleaseTexture(pTexture);
            pTexture = nullptr;
        }
    DkLog("All DestroyTexture's done");
    for (DK_MATERIAL*& pMaterial : d3d->apMaterials)
        if (pMaterial != nullptr)
        {
            DkReleaseMaterial(pMaterial);
            pMaterial = nullptr;
        }
    DkLog("MaterialDestructor() done");
    return TRUE;
}

uint32_t DkGetMaterialHandle(int nSlot)
{
    if (nSlot < 0 || nSlot >= DK_MAX_MATERIALS || d3d->apMaterials[nSlot] == nullptr)
        return 0;
    return d3d->apMaterials[nSlot]->uHandle;
}

float* DkNormaliseVector(float* pVector)
{
    if (pVector == nullptr)
        return pVector;
    // Components beyond the 16.16 range (or not numbers) cannot be converted; they are left
    // as they are.
    for (int i = 0; i < 3; ++i)
        if (!(pVector[i] > -32768.0f && pVector[i] < 32768.0f))
            return pVector;
    DK_VECTOR v = {static_cast<int32_t>(pVector[0] * 65536.0f),
                   static_cast<int32_t>(pVector[1] * 65536.0f),
                   static_cast<int32_t>(pVector[2] * 65536.0f)};
    int32_t length = FfVecLength(&v);
    // A zero vector stays zero rather than divide by nothing.
    if (length == 0)
        return pVector;
    float scale = static_cast<float>(length) / 65536.0f;
    for (int i = 0; i < 3; ++i)
        pVector[i] /= scale;
    return pVector;
}
