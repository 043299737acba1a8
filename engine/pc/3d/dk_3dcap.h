// What the 3D device can do: its hardware description read once after the device is made,
// kept as flat answers, and one query per answer. Every module asks these rather than the
// device, so a device without a feature switches paths in one place.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

struct DK_3DCAPS
{
    int32_t nHardwareDevice;
    int32_t nCullNone;
    int32_t nCullCCW;
    int32_t nCullCW;
    int32_t nVideoMemoryTextures;
    int32_t nSystemMemoryTextures;
    int32_t nDrawPrimTLVertex;
    int32_t nTextureMapping;
    int32_t nTextureClamp;
    int32_t nPerspectiveCorrection;
    int32_t nSquareOnly;
    int32_t nBilinear;
    int32_t nMipMapping;
    int32_t nTextureTransparency;
    int32_t nAlphaTextures;
    int32_t nStipple;
    int32_t nFlatAlpha;
    int32_t nFlatAlphaStippled;
    int32_t nGouraudAlpha;
    int32_t nGouraudAlphaStippled;
    int32_t nZBufferDepths;
    int32_t nZBufferless;
    int32_t nZCompareAlways;
    int32_t nExecuteSystemMemory;
    int32_t nExecuteVideoMemory;
    int32_t nVertexFog;
    int32_t nTableFog;
    int32_t nAlphaBlend;
    int32_t nBlendOneInvSrcColor;
    int32_t nTextureBlendAdd;
    int32_t nTextureBlendCopy;
    int32_t nTextureBlendDecal;
    int32_t nTextureBlendDecalAlpha;
    int32_t nTextureBlendModulate;
    int32_t nTextureBlendModulateAlpha;
    int32_t nTextureBlendModulateMask;
};
static_assert(sizeof(DK_3DCAPS) == 36 * 4, "36 answers");

void DkGet3DCapabilities(void);
// Test hook: forgets the answers, as before the first device.
void DkClear3DCapabilities(void);
void DkDump3DCapabilities(void);

int DkCapHardwareDevice(void);
int DkCapCullNone(void);
int DkCapCullCCW(void);
int DkCapCullCW(void);
int DkCapVideoMemoryTextures(void);
int DkCapSystemMemoryTextures(void);
int DkCapDrawPrimTLVertex(void);
int DkCapTextureMapping(void);
int DkCapTextureClamp(void);
int DkCapPerspectiveCorrection(void);
int DkCapGetA(void); // square-only textures
int DkCapBilinear(void);
int DkCapMipMapping(void);
int DkCapGetB(void); // texture transparency
int DkCapGetD(void); // alpha in textures (never on hardware type 7)
int DkCapStipple(void);
int DkCapFlatAlpha(void);
int DkCapFlatAlphaStippled(void);
int DkCapGouraudAlpha(void);
int DkCapGouraudAlphaStippled(void);
int DkCapZBufferDepths(void);
int DkIsZBufferlessDevice(void);
int DkCapZCompareAlways(void);
int DkCapExecuteSystemMemory(void);
int DkCapExecuteVideoMemory(void);
int DkCapVertexFog(void);
int DkCapTableFog(void);
int DkCapAlphaBlend(void);
int DkCapGetC(void); // source ONE with destination INVSRCCOLOR
int DkCapTextureBlendAdd(void);
int DkCapTextureBlendCopy(void);
int DkCapTextureBlendDecal(void);
int DkCapTextureBlendDecalAlpha(void);
int DkCapTextureBlendModulate(void);
int DkCapTextureBlendModulateAlpha(void);
int DkCapTextureBlendModulateMask(void);
