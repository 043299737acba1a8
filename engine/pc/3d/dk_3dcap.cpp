#include "engine/pc/3d/dk_3dcap.h"

#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/d3d/d3d.h"

namespace
{

DK_3DCAPS gCaps;

int32_t Has(DWORD bits, DWORD flag)
{
    return (bits & flag) ? 1 : 0;
}

} // namespace

void DkGet3DCapabilities(void)
{
    if (d3d->lpD3D == nullptr)
        DKREPORT("DkGet3DCapabilities() : No D3d interface");
    if (d3d->lpD3DDevice == nullptr)
        DKREPORT("DkGet3DCapabilities() : No 3d device");
    gCaps = DK_3DCAPS{};
    if (d3d->lpD3DDevice == nullptr)
        return;

    D3DDEVICEDESC hw{};
    D3DDEVICEDESC hel{};
    hw.dwSize = sizeof hw;
    hel.dwSize = sizeof hel;
    if (!TRYD3D(d3d->lpD3DDevice->GetCaps(&hw, &hel)))
        return;
    const D3DPRIMCAPS& tri = hw.dpcTriCaps;
    gCaps.nHardwareDevice = hw.dwFlags != 0 ? 1 : 0;
    gCaps.nCullNone = Has(tri.dwMiscCaps, D3DPMISCCAPS_CULLNONE);
    gCaps.nCullCCW = Has(tri.dwMiscCaps, D3DPMISCCAPS_CULLCCW);
    gCaps.nCullCW = Has(tri.dwMiscCaps, D3DPMISCCAPS_CULLCW);
    gCaps.nVideoMemoryTextures = Has(hw.dwDevCaps, D3DDEVCAPS_TEXTUREVIDEOMEMORY);
    gCaps.nSystemMemoryTextures = Has(hw.dwDevCaps, D3DDEVCAPS_TEXTURESYSTEMMEMORY);
    gCaps.nDrawPrimTLVertex = Has(hw.dwDevCaps, D3DDEVCAPS_DRAWPRIMTLVERTEX);
    gCaps.nTextureMapping = Has(tri.dwTextureFilterCaps, D3DPTFILTERCAPS_NEAREST);
    gCaps.nTextureClamp = Has(tri.dwTextureAddressCaps, D3DPTADDRESSCAPS_CLAMP);
    gCaps.nPerspectiveCorrection = Has(tri.dwTextureCaps, D3DPTEXTURECAPS_PERSPECTIVE);
    gCaps.nSquareOnly = Has(tri.dwTextureCaps, D3DPTEXTURECAPS_SQUAREONLY);
    gCaps.nBilinear = Has(tri.dwTextureFilterCaps, D3DPTFILTERCAPS_LINEAR);
    gCaps.nMipMapping = Has(tri.dwTextureFilterCaps, D3DPTFILTERCAPS_LINEARMIPLINEAR);
    gCaps.nTextureTransparency = Has(tri.dwTextureCaps, D3DPTEXTURECAPS_TRANSPARENCY);
    gCaps.nAlphaTextures = Has(tri.dwTextureCaps, D3DPTEXTURECAPS_ALPHA);
    gCaps.nStipple = Has(tri.dwRasterCaps, D3DPRASTERCAPS_STIPPLE);
    gCaps.nFlatAlpha = Has(tri.dwShadeCaps, D3DPSHADECAPS_ALPHAFLATBLEND);
    gCaps.nFlatAlphaStippled = Has(tri.dwShadeCaps, D3DPSHADECAPS_ALPHAFLATSTIPPLED);
    gCaps.nGouraudAlpha = Has(tri.dwShadeCaps, D3DPSHADECAPS_ALPHAGOURAUDBLEND);
    gCaps.nGouraudAlphaStippled = Has(tri.dwShadeCaps, D3DPSHADECAPS_ALPHAGOURAUDSTIPPLED);
    gCaps.nZBufferDepths = static_cast<int32_t>(hw.dwDeviceZBufferBitDepth);
    gCaps.nZBufferless = Has(tri.dwRasterCaps, D3DPRASTERCAPS_ZBUFFERLESSHSR);
    gCaps.nZCompareAlways = Has(tri.dwZCmpCaps, D3DPCMPCAPS_ALWAYS);
    gCaps.nExecuteSystemMemory = Has(hw.dwDevCaps, D3DDEVCAPS_EXECUTESYSTEMMEMORY);
    gCaps.nExecuteVideoMemory = Has(hw.dwDevCaps, D3DDEVCAPS_EXECUTEVIDEOMEMORY);
    gCaps.nVertexFog = Has(tri.dwRasterCaps, D3DPRASTERCAPS_FOGVERTEX);
    gCaps.nTableFog = Has(tri.dwRasterCaps, D3DPRASTERCAPS_FOGTABLE);
    gCaps.nAlphaBlend = Has(tri.dwSrcBlendCaps, D3DPBLENDCAPS_SRCALPHA) &
                        Has(tri.dwDestBlendCaps, D3DPBLENDCAPS_INVSRCALPHA);
    gCaps.nBlendOneInvSrcColor = Has(tri.dwSrcBlendCaps, D3DPBLENDCAPS_ONE) &
                                 Has(tri.dwDestBlendCaps, D3DPBLENDCAPS_INVSRCCOLOR);
    gCaps.nTextureBlendAdd = Has(tri.dwTextureBlendCaps, D3DPTBLENDCAPS_ADD);
    gCaps.nTextureBlendCopy = Has(tri.dwTextureBlendCaps, D3DPTBLENDCAPS_COPY);
    gCaps.nTextureBlendDecal = Has(tri.dwTextureBlendCaps, D3DPTBLENDCAPS_DECAL);
    gCaps.nTextureBlendDecalAlpha = Has(tri.dwTextureBlendCaps, D3DPTBLENDCAPS_DECALALPHA);
    gCaps.nTextureBlendModulate = Has(tri.dwTextureBlendCaps, D3DPTBLENDCAPS_MODULATE);
    gCaps.nTextureBlendModulateAlpha = Has(tri.dwTextureBlendCaps, D3DPTBLENDCAPS_MODULATEALPHA);
    gCaps.nTextureBlendModulateMask = Has(tri.dwTextureBlendCaps, D3DPTBLENDCAPS_MODULATEMASK);
}

void DkClear3DCapabilities(void)
{
    gCaps = DK_3DCAPS{};
}

void DkDump3DCapabilities(void)
{
    DkLog("\n********************************");
    DkLog("*** 3d-hardware capabilities ***");
    DkLog("********************************");
    const struct
    {
        const char* format;
        int32_t value;
    } lines[] = {
        {"Hardware device?\t\t%d", gCaps.nHardwareDevice},
        {"No cull?\t\t\t%d", gCaps.nCullNone},
        {"Cull CW?\t\t\t%d", gCaps.nCullCW},
        {"Cull CCW?\t\t\t%d", gCaps.nCullCCW},
        {"VRAM Textures?\t\t\t%d", gCaps.nVideoMemoryTextures},
        {"System Textures?\t\t%d", gCaps.nSystemMemoryTextures},
        {"Texture mapping?\t\t%d", gCaps.nTextureMapping},
        {"Perspective correction?\t\t%d", gCaps.nPerspectiveCorrection},
        {"Square only textures?\t\t%d", gCaps.nSquareOnly},
        {"Bilinear filtering?\t\t%d", gCaps.nBilinear},
        {"MIP filtering?\t\t\t%d", gCaps.nMipMapping},
        {"Texture transparency?\t\t%d", gCaps.nTextureTransparency},
        {"Alpha textures?\t\t\t%d", gCaps.nAlphaTextures},
        {"Stippled textures?\t\t%d", gCaps.nStipple},
        {"Flat alpha?\t\t\t%d", gCaps.nFlatAlpha},
        {"Flat alpha stippled?\t\t%d", gCaps.nFlatAlphaStippled},
        {"Gouraud alpha?\t\t\t%d", gCaps.nGouraudAlpha},
        {"Gouraud alpha stippled?\t\t%d", gCaps.nGouraudAlphaStippled},
        {"Ex-Buffers in sys. RAM?\t\t%d", gCaps.nExecuteSystemMemory},
        {"Ex-Buffers in VRAM?\t\t%d", gCaps.nExecuteVideoMemory},
        {"Texture clamping?\t\t%d", gCaps.nTextureClamp},
    };
    for (const auto& line : lines)
        DkLog(DkFormatString(line.format, line.value));
    const struct
    {
        DWORD flag;
        const char* text;
    } depths[] = {{DDBD_8, "8-bit z-buffer"},
                  {DDBD_16, "16-bit z-buffer"},
                  {DDBD_24, "24-bit z-buffer"},
                  {DDBD_32, "32-bit z-buffer"}};
    for (const auto& depth : depths)
        if (static_cast<DWORD>(gCaps.nZBufferDepths) & depth.flag)
            DkLog(depth.text);
}

int DkCapHardwareDevice(void)
{
    return gCaps.nHardwareDevice;
}
int DkCapCullNone(void)
{
    return gCaps.nCullNone;
}
int DkCapCullCCW(void)
{
    return gCaps.nCullCCW;
}
int DkCapCullCW(void)
{
    return gCaps.nCullCW;
}
int DkCapVideoMemoryTextures(void)
{
    return gCaps.nVideoMemoryTextures;
}
int DkCapSystemMemoryTextures(void)
{
    return gCaps.nSystemMemoryTextures;
}
int DkCapDrawPrimTLVertex(void)
{
    return gCaps.nDrawPrimTLVertex;
}
int DkCapTextureMapping(void)
{
    return gCaps.nTextureMapping;
}
int DkCapTextureClamp(void)
{
    return gCaps.nTextureClamp;
}
int DkCapPerspectiveCorrection(void)
{
    return gCaps.nPerspectiveCorrection;
}
int DkCapGetA(void)
{
    return gCaps.nSquareOnly;
}
int DkCapBilinear(void)
{
    return gCaps.nBilinear;
}
int DkCapMipMapping(void)
{
    return gCaps.nMipMapping;
}
int DkCapGetB(void)
{
    return gCaps.nTextureTransparency;
}
int DkCapGetD(void)
{
    return DkGetHardwareType() == 7 ? 0 : gCaps.nAlphaTextures;
}
int DkCapStipple(void)
{
    return gCaps.nStipple;
}
int DkCapFlatAlpha(void)
{
    return gCaps.nFlatAlpha;
}
int DkCapFlatAlphaStippled(void)
{
    return gCaps.nFlatAlphaStippled;
}
int DkCapGouraudAlpha(void)
{
    return gCaps.nGouraudAlpha;
}
int DkCapGouraudAlphaStippled(void)
{
    return gCaps.nGouraudAlphaStippled;
}
int DkCapZBufferDepths(void)
{
    return gCaps.nZBufferDepths;
}
int DkIsZBufferlessDevice(void)
{
    return gCaps.nZBufferless;
}
int DkCapZCompareAlways(void)
{
    return gCaps.nZCompareAlways;
}
int DkCapExecuteSystemMemory(void)
{
    return gCaps.nExecuteSystemMemory;
}
int DkCapExecuteVideoMemory(void)
{
    return gCaps.nExecuteVideoMemory;
}
int DkCapVertexFog(void)
{
    return gCaps.nVertexFog;
}
int DkCapTableFog(void)
{
    return gCaps.nTableFog;
}
int DkCapAlphaBlend(void)
{
    return gCaps.nAlphaBlend;
}
int DkCapGetC(void)
{
    return gCaps.nBlendOneInvSrcColor;
}
int DkCapTextureBlendAdd(void)
{
    return gCaps.nTextureBlendAdd;
}
int DkCapTextureBlendCopy(void)
{
    return gCaps.nTextureBlendCopy;
}
int DkCapTextureBlendDecal(void)
{
    return gCaps.nTextureBlendDecal;
}
int DkCapTextureBlendDecalAlpha(void)
{
    return d3d->pAlphaTextureFormat != nullptr ? gCaps.nTextureBlendDecalAlpha : 0;
}
int DkCapTextureBlendModulate(void)
{
    return gCaps.nTextureBlendModulate;
}
int DkCapTextureBlendModulateAlpha(void)
{
    return d3d->pAlphaTextureFormat != nullptr ? gCaps.nTextureBlendModulateAlpha : 0;
}
int DkCapTextureBlendModulateMask(void)
{
    return gCaps.nTextureBlendModulateMask;
}
