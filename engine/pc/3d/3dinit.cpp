// The Direct3D context of the display: z-buffer, device, texture formats, viewport,
// background material and projection, built once per display set-up.

#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/3dinit_internal.h"

#include <cstring>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/3d/dk_tblk.h"
#include "platform/d3d/d3d.h"

namespace
{

DK_D3D gD3D;

BOOL gboHardwareExtras = FALSE;
float gfScaleX = 2.0f;
float gfScaleY = 157286 / 65536.0f;
float gfFar = 250.0f;
float gfNear = 1.0f;

// The texture-format search of one set-up.
struct FormatSearch
{
    BOOL boPalettised;
    BOOL boRGB;
    BOOL boAlpha;
    BOOL boTook4444;
    DK_TEXTURE_FORMAT palettised;
    DK_TEXTURE_FORMAT rgb;
    DK_TEXTURE_FORMAT alpha;
};
FormatSearch gSearch;

// Bits and shift of a mask: a run of ones after the trailing zeros.
void CountMask(DWORD mask, uint8_t* pBits, uint8_t* pShift, const char* pszBad)
{
    uint8_t shift = 0;
    uint8_t bits = 0;
    if (mask != 0)
    {
        while (!(mask & 1u))
        {
            mask >>= 1;
            ++shift;
        }
        while (mask & 1u)
        {
            mask >>= 1;
            ++bits;
        }
        if (bits == 0)
            DKREPORT(pszBad);
    }
    *pBits = bits;
    *pShift = shift;
}

HRESULT EnumTextureFormat(DDSURFACEDESC* pDesc, LPVOID)
{
    const DDPIXELFORMAT& pf = pDesc->ddpfPixelFormat;
    if (pf.dwFlags & DDPF_PALETTEINDEXED8)
    {
        if (pf.dwFlags & DDPF_ALPHAPIXELS)
            return DDENUMRET_OK;
        gSearch.palettised = DK_TEXTURE_FORMAT{};
        gSearch.palettised.ddsd = *pDesc;
        gSearch.palettised.nPalettised = 1;
        gSearch.palettised.uIndexBits = 8;
        gSearch.boPalettised = TRUE;
        return DDENUMRET_OK;
    }
    if (!(pf.dwFlags & DDPF_RGB))
        return DDENUMRET_OK;

    DK_TEXTURE_FORMAT format{};
    format.ddsd = *pDesc;
    CountMask(pf.dwRBitMask, &format.uRedBits, &format.uRedShift, "Bad red count");
    CountMask(pf.dwGBitMask, &format.uGreenBits, &format.uGreenShift, "Bad green count");
    CountMask(pf.dwBBitMask, &format.uBlueBits, &format.uBlueShift, "Bad blue count");
    CountMask(pf.dwRGBAlphaBitMask & ~(pf.dwRBitMask | pf.dwGBitMask | pf.dwBBitMask),
              &format.uAlphaBits, &format.uAlphaShift, "Bad alpha count");
    int r = format.uRedBits, g = format.uGreenBits, b = format.uBlueBits, a = format.uAlphaBits;

    if (pf.dwFlags & DDPF_ALPHAPIXELS)
    {
        DkLog(DkFormatString("Found RGBA texture format %d:%d:%d %d", r, g, b, a));
        if (a == 0)
            DKREPORT("Pixelformat has flagged DDPF_ALPHAPIXELSbut alpha bits == 0");
        bool is4444 = r == 4 && g == 4 && b == 4 && a == 4;
        bool is3328 = r == 3 && g == 3 && b == 2 && a == 8;
        // The first 4:4:4:4 wins over everything; a later 3:3:2:8 replaces an earlier one.
        if ((is4444 || is3328) && !gSearch.boTook4444)
        {
            gSearch.alpha = format;
            gSearch.boAlpha = TRUE;
            gSearch.boTook4444 = is4444 ? TRUE : FALSE;
        }
        return DDENUMRET_OK;
    }
    if (a != 0)
        DkLog("pixelformat has not flagged DDPF_ALPHAPIXELSbut alpha bits is not 0");
    DkLog(DkFormatString("Found RGB texture format %d:%d:%d %d", r, g, b, 0));
    if (r == 5 && b == 5 && (g == 5 || g == 6))
    {
        gSearch.rgb = format;
        gSearch.boRGB = TRUE;
    }
    return DDENUMRET_OK;
}

} // namespace

DK_D3D* d3d = &gD3D;
BOOL gbo3DReady = FALSE;
// The track blocks' clip distance, set with the projection (16.16).
int32_t gxTrackClipDistance = 1000 << 16;
IDirect3DExecuteBuffer* gpExecuteBuffers[DK_MAX_EXECUTE_BUFFERS];
uint32_t guNumExecuteBuffers = 0;

int DkInit3D(void)
{
    d3d->pStandardTextureFormat =
        static_cast<DK_TEXTURE_FORMAT*>(DkHeapAlloc(sizeof(DK_TEXTURE_FORMAT)));
    d3d->pAlphaTextureFormat =
        static_cast<DK_TEXTURE_FORMAT*>(DkHeapAlloc(sizeof(DK_TEXTURE_FORMAT)));
    gbo3DReady = TRUE;

    // The capability record is still the previous set-up's here: a z-bufferless device gets a
    // z-buffer only the first time.
    if (!DkIsZBufferlessDevice() && d2d->lpDD2 != nullptr)
    {
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_ZBUFFERBITDEPTH;
        desc.dwWidth = static_cast<DWORD>(d2d->nWidth);
        desc.dwHeight = static_cast<DWORD>(d2d->nHeight);
        desc.dwZBufferBitDepth = 16;
        desc.ddsCaps.dwCaps =
            DDSCAPS_ZBUFFER | (d3d->nHardwareDevice ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);
        if (TRYDD(d2d->lpDD2->CreateSurface(&desc, &d2d->ZBuffer.lpSurface, nullptr)) &&
            d2d->BackSurface.lpSurface != nullptr)
            TRYDD(d2d->BackSurface.lpSurface->AddAttachedSurface(d2d->ZBuffer.lpSurface));
    }

    if (d3d->lpD3D2 != nullptr && d2d->BackSurface.lpSurface != nullptr)
    {
        const IID& kind = d3d->nHardwareDevice && d3d->nHardwareTexturing ? IID_IDirect3DHALDevice
                                                                          : IID_IDirect3DRampDevice;
        TRYD3D(d3d->lpD3D2->CreateDevice(kind, d2d->BackSurface.lpSurface, &d3d->lpD3DDevice2));
    }
    if (d3d->lpD3DDevice2 != nullptr)
        TRYD3D(d3d->lpD3DDevice2->QueryInterface(IID_IDirect3DDevice,
                                                 reinterpret_cast<void**>(&d3d->lpD3DDevice)));

    DkGet3DCapabilities();
    DkDump3DCapabilities();

    gSearch = FormatSearch{};
    if (d3d->pStandardTextureFormat != nullptr)
        *d3d->pStandardTextureFormat = DK_TEXTURE_FORMAT{};
    if (d3d->lpD3DDevice != nullptr)
        d3d->lpD3DDevice->EnumTextureFormats(EnumTextureFormat, nullptr);
    if (!gSearch.boPalettised && !gSearch.boRGB)
        DKREPORT("DkInit3D() : No 8 or 16-bit textures?");
    if (d3d->pStandardTextureFormat != nullptr)
    {
        if (gSearch.boPalettised && DkUseHardwareExtras())
        {
            *d3d->pStandardTextureFormat = gSearch.palettised;
            DkLog("Standard texture format : 8 bit palettised");
        }
        else if (gSearch.boRGB)
        {
            *d3d->pStandardTextureFormat = gSearch.rgb;
            DkLog(DkFormatString("Standard texture format : RGB %d:%d:%d", gSearch.rgb.uRedBits,
                                 gSearch.rgb.uGreenBits, gSearch.rgb.uBlueBits));
        }
    }
    if (gSearch.boAlpha && d3d->pAlphaTextureFormat != nullptr)
    {
        *d3d->pAlphaTextureFormat = gSearch.alpha;
        DkLog(DkFormatString("Alpha texture format : RGBA %d:%d:%d:%d", gSearch.alpha.uRedBits,
                             gSearch.alpha.uGreenBits, gSearch.alpha.uBlueBits,
                             gSearch.alpha.uAlphaBits));
    }
    else
    {
        d3d->pAlphaTextureFormat = nullptr;
    }

    if (d3d->lpD3D2 != nullptr && d3d->lpD3DDevice2 != nullptr)
    {
        TRYD3D(d3d->lpD3D2->CreateViewport(&d3d->lpD3DViewport2, nullptr));
        if (d3d->lpD3DViewport2 != nullptr)
        {
            TRYD3D(d3d->lpD3DDevice2->AddViewport(d3d->lpD3DViewport2));
            const float w = static_cast<float>(d2d->nWidth);
            const float h = static_cast<float>(d2d->nHeight);
            D3DVIEWPORT2 viewport{};
            viewport.dwSize = sizeof viewport;
            viewport.dwX = 0;
            viewport.dwY = 0;
            viewport.dwWidth = static_cast<DWORD>(d2d->nWidth);
            viewport.dwHeight = static_cast<DWORD>(d2d->nHeight);
            viewport.dvClipX = -1.0f;
            viewport.dvClipY = w / h;
            viewport.dvClipWidth = 2.0f;
            viewport.dvClipHeight = 2.0f * w / h;
            viewport.dvMinZ = 0.0f;
            viewport.dvMaxZ = 1.0f;
            TRYD3D(d3d->lpD3DViewport2->SetViewport2(&viewport));
            TRYD3D(d3d->lpD3DDevice2->SetCurrentViewport(d3d->lpD3DViewport2));
        }
    }

    DkResetSetterCaches();
    SetRenderState(1);

    if (d3d->lpD3D != nullptr)
    {
        IDirect3DMaterial2* lpMaterial = nullptr;
        TRYD3D(d3d->lpD3D->CreateMaterial(&lpMaterial, nullptr));
        d3d->lpBackgroundMaterial = lpMaterial;
        if (lpMaterial != nullptr)
        {
            D3DMATERIAL material{};
            material.dwSize = sizeof material;
            material.diffuse = {0.7f, 0.8f, 0.9f, 0.0f};
            material.dwRampSize = 1;
            TRYD3D(lpMaterial->SetMaterial(&material));
            D3DMATERIALHANDLE handle = 0;
            TRYD3D(lpMaterial->GetHandle(d3d->lpD3DDevice, &handle));
            d3d->uBackgroundHandle = handle;
            if (d3d->lpD3DViewport2 != nullptr)
                TRYD3D(d3d->lpD3DViewport2->SetBackground(handle));
        }
    }

    DkSetProjection(2 << 16, 157286, 250 << 16, 1 << 16);
    // A new context has no track until a stage builds its blocks (the front end never does).
    gboTrackBlocksActive = FALSE;
    DkAddDestructor(Direct3DDestructor, "Direct3DDestructor");
    return DkAddDestructor(MaterialDestructor, "MaterialDestructor");
}

void DkSetProjection(int32_t nScaleX, int32_t nScaleY, int32_t nFar, int32_t nNear)
{
    if (nScaleX != 0)
        gfScaleX = nScaleX / 65536.0f;
    if (nScaleY != 0)
        gfScaleY = nScaleY / 65536.0f;
    if (nFar != 0)
        gfFar = nFar / 65536.0f;
    if (nNear != 0)
        gfNear = nNear / 65536.0f;
    const float q = gfFar / (gfFar - gfNear);
    D3DMATRIX m{};
    m._11 = 0.5f * gfScaleX;
    m._22 = 0.5f * gfScaleY;
    m._33 = q;
    m._34 = 1.0f;
    m._43 = -gfFar * gfNear / (gfFar - gfNear);
    float elements[16];
    static_assert(sizeof elements == sizeof m, "a matrix is 16 floats");
    std::memcpy(elements, &m, sizeof elements);
    for (int i = 0; i < 16; ++i)
        d3d->Projection.m[i / 4][i % 4] = static_cast<int32_t>(elements[i] * 65536.0f);
    if (d3d->lpD3DDevice2 != nullptr)
        d3d->lpD3DDevice2->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &m);
    gxTrackClipDistance = nFar;
}

int DkUseHardwareExtras(void)
{
    if (d3d->nHardwareTexturing)
    {
        int type = DkGetHardwareType();
        gboHardwareExtras = gSearch.boPalettised && !DkIsZBufferlessDevice() && type != 0 &&
                                    type != 1 && type != 3 && type != 4
                                ? TRUE
                                : FALSE;
    }
    else
    {
        gboHardwareExtras = TRUE;
    }
    return gboHardwareExtras;
}

BOOL Direct3DDestructor(void)
{
    if (d3d->lpBackgroundMaterial != nullptr)
        DkReleaseTraced(d3d->lpBackgroundMaterial, "d3d->Mats.BackGround.lpD3DMaterial", TRUE);
    DkReleaseTraced(d3d->lpD3DViewport2, "d3d->lpD3DViewport2", TRUE);
    DkReleaseTraced(d3d->lpD3D2, "d3d->lpD3D2", TRUE);
    DkReleaseTraced(d3d->lpD3D, "d3d->lpD3D", TRUE);
    DkDebugPrint("released d3d->lpD3D");
    DkReleaseTraced(d3d->lpD3DDevice2, "d3d->lpD3DDevice2", TRUE);
    DkReleaseTraced(d3d->lpD3DDevice, "d3d->lpD3DDevice", TRUE);
    return TRUE;
}

DK_ACTOR* DkGetWorldActor(void)
{
    return d3d->pWorldRoot;
}

void DkSetWorldActor(DK_ACTOR* pActor)
{
    d3d->pWorldRoot = pActor;
}

void DkReleaseExecuteBuffers(void)
{
    for (IDirect3DExecuteBuffer*& lpBuffer : gpExecuteBuffers)
    {
        if (lpBuffer == nullptr)
            continue;
        DkReleaseTraced(lpBuffer, "gpExecuteBuffers[nLoop]");
        if (lpBuffer != nullptr)
            DKREPORT("E.B. Released, but it is not NULL");
    }
    guNumExecuteBuffers = 0;
}
