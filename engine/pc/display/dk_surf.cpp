#include "engine/pc/display/dk_surf.h"

#include <algorithm>
#include <cstring>

#include "engine/common/checkmem.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_entries.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/3dinit_internal.h"
#include "engine/pc/display/dk_2dtri.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/ddraw/ddraw.h"

// The TIM writer of the original debugging aids is left out: nothing calls it and no tool
// reads what it wrote.

namespace
{

// Written at most once a run, whatever happens to the display.
BOOL gboOutOfVRAMLogged = FALSE;

// Outside the stage, hardware type 6 fills 2D rectangles through DirectDraw rather than the
// triangle batches.
constexpr int kFillByDirectDrawHardware = 6;

const char* const kReleasedName = "pdksSurface->lpSurface";

struct DepthFormat
{
    int nDepth;
    DWORD dwFlags;
    DWORD dwRedMask;
    DWORD dwGreenMask;
    DWORD dwBlueMask;
};

constexpr DepthFormat kDepthFormats[] = {
    {1, DDPF_RGB | DDPF_PALETTEINDEXED1, 0, 0, 0}, {2, DDPF_RGB | DDPF_PALETTEINDEXED2, 0, 0, 0},
    {4, DDPF_RGB | DDPF_PALETTEINDEXED4, 0, 0, 0}, {8, DDPF_RGB | DDPF_PALETTEINDEXED8, 0, 0, 0},
    {16, DDPF_RGB, 0xF800, 0x07E0, 0x001F},        {24, DDPF_RGB, 0xFF0000, 0xFF00, 0xFF},
};

const DepthFormat* FormatForDepth(int nDepth)
{
    for (const DepthFormat& format : kDepthFormats)
        if (format.nDepth == nDepth)
            return &format;
    return nullptr;
}

DWORD ChooseCaps(uint32_t uFlags)
{
    if (d3d->nHardwareDevice == 0)
        return DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE;
    if (uFlags & DKCS_SOURCE_TEXTURE)
        return DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE;
    if (uFlags & DKCS_DEST_TEXTURE)
        return DDSCAPS_ALLOCONLOAD | DDSCAPS_VIDEOMEMORY | DDSCAPS_TEXTURE;
    if (uFlags & DKCS_FORCE_SYSTEM)
        return DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN;
    return DDSCAPS_VIDEOMEMORY | DDSCAPS_OFFSCREENPLAIN;
}

HRESULT CreateDDSurface(DDSURFACEDESC* pDesc, IDirectDrawSurface** ppSurface)
{
    *ppSurface = nullptr;
    if (d2d->lpDD2 == nullptr)
        return DDERR_INVALIDOBJECT;
    HRESULT hr = d2d->lpDD2->CreateSurface(pDesc, ppSurface, nullptr);
    if (hr != DD_OK)
        *ppSurface = nullptr;
    return hr;
}

BOOL FillArgumentsGiven(const DK_RECT* pRect, const uint8_t* pColour)
{
    BOOL boGiven = TRUE;
    if (pRect == nullptr)
    {
        DKREPORT("DkFillPolyRect(): Passed rectangle is NULL");
        boGiven = FALSE;
    }
    if (pColour == nullptr)
    {
        DKREPORT("DkFillPolyRect(): Passed rgbaColour is NULL");
        boGiven = FALSE;
    }
    return boGiven;
}

BOOL FillsByDirectDraw(void)
{
    return DkGetHardwareType() == kFillByDirectDrawHardware && !DkEntries().IsStageRunning();
}

// The DirectDraw colour fill with the palette index nearest to the colour.
void ColourFill(DK_SURFACE* pSurface, const DK_RECT* pRect, const uint8_t* pColour)
{
    IDirectDrawSurface* lpTarget =
        pSurface != nullptr ? pSurface->lpSurface : d2d->PrimarySurface.lpSurface;
    if (lpTarget == nullptr)
    {
        // A display already torn down: reported as DirectDraw would answer.
        TRYDD(DDERR_INVALIDOBJECT);
        return;
    }
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof(DDBLTFX);
    fx.dwFillColor = static_cast<DWORD>(DkMatchColour(pColour[0], pColour[1], pColour[2])) & 0xFF;
    RECT rect{pRect->x, pRect->y, pRect->x + pRect->w, pRect->y + pRect->h};
    TRYDD(lpTarget->Blt(&rect, nullptr, nullptr,
                        DDBLT_COLORFILL | DDBLT_WAIT | DDBLT_ALPHAEDGEBLEND, &fx));
}

// An edge in 16.16 pixels. The far edge of a rectangle (x + w) may pass what 16.16 holds; it is
// kept at the last whole pixel that does, which lies far off any display.
int32_t EdgeFixed(int nEdge)
{
    return std::clamp(nEdge, -32768, 32767) * 65536;
}

// The two triangles covering the rectangle, in 16.16 pixels.
void RectTriangles(const DK_RECT* pRect, DK_2D_VERTEX aFirst[3], DK_2D_VERTEX aSecond[3])
{
    const int32_t nLeft = EdgeFixed(pRect->x);
    const int32_t nTop = EdgeFixed(pRect->y);
    const int32_t nRight = EdgeFixed(pRect->x + pRect->w);
    const int32_t nBottom = EdgeFixed(pRect->y + pRect->h);
    aFirst[0] = {nLeft, nTop};
    aFirst[1] = {nRight, nTop};
    aFirst[2] = {nLeft, nBottom};
    aSecond[0] = {nRight, nTop};
    aSecond[1] = {nRight, nBottom};
    aSecond[2] = {nLeft, nBottom};
}

// The part of the rectangle that lies on the surface, as pixel edges; FALSE when none does.
BOOL ClipToSurface(const DK_RECT* pRect, const DDSURFACEDESC& desc, int* pnLeft, int* pnTop,
                   int* pnRight, int* pnBottom)
{
    *pnLeft = pRect->x < 0 ? 0 : pRect->x;
    *pnTop = pRect->y < 0 ? 0 : pRect->y;
    *pnRight = pRect->x + pRect->w;
    *pnBottom = pRect->y + pRect->h;
    if (*pnRight > static_cast<int>(desc.dwWidth))
        *pnRight = static_cast<int>(desc.dwWidth);
    if (*pnBottom > static_cast<int>(desc.dwHeight))
        *pnBottom = static_cast<int>(desc.dwHeight);
    return *pnLeft < *pnRight && *pnTop < *pnBottom;
}

BOOL LockSurface(IDirectDrawSurface* lpSurface, DDSURFACEDESC* pDesc)
{
    std::memset(pDesc, 0, sizeof *pDesc);
    pDesc->dwSize = sizeof(DDSURFACEDESC);
    return TRYDD(lpSurface->Lock(nullptr, pDesc, DDLOCK_WAIT, nullptr));
}

} // namespace

DK_SURFACE* DkCreateNewSurface(int nWidth, int nHeight, int nDepth, uint32_t uFlags)
{
    if ((uFlags & DKCS_ALPHA_TEXTURE) && !(uFlags & (DKCS_SOURCE_TEXTURE | DKCS_DEST_TEXTURE)))
        DKREPORT("DkCreateNewSurface() : If you specify DKCS_ALPHA_TEXTURE, thenyou must also "
                 "specify whether it is a source or dest texture");

    if (nDepth == 0)
        nDepth = d2d->nBitsPerPixel;

    int nEntry = 0;
    while (nEntry < DK_MAX_SURFACES && d2d->apSurfaces[nEntry] != nullptr)
        ++nEntry;
    if (nEntry == DK_MAX_SURFACES)
    {
        DKREPORT("NO MORE SPACE IN SURFACE LIST!");
        return nullptr;
    }

    DK_SURFACE* pSurface = static_cast<DK_SURFACE*>(DkHeapAlloc(sizeof(DK_SURFACE)));
    if (pSurface == nullptr)
    {
        DKREPORT("alloc failure");
        return nullptr;
    }

    DDSURFACEDESC ddsd;
    std::memset(&ddsd, 0, sizeof ddsd);
    ddsd.dwSize = sizeof(DDSURFACEDESC);
    ddsd.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    ddsd.dwHeight = static_cast<DWORD>(nHeight);
    ddsd.dwWidth = static_cast<DWORD>(nWidth);
    ddsd.ddsCaps.dwCaps = ChooseCaps(uFlags);

    if (uFlags & DKCS_PIXEL_FORMAT)
    {
        const DepthFormat* pFormat = FormatForDepth(nDepth);
        if (pFormat == nullptr)
            DKREPORT("DkCreateSurface() : Invalid bit-depth requested");
        ddsd.dwFlags |= DDSD_PIXELFORMAT;
        if (pFormat == nullptr)
        {
            DKREPORT("You have requested an invalid surface depth");
            return nullptr;
        }
        DDPIXELFORMAT& pf = ddsd.ddpfPixelFormat;
        pf.dwSize = sizeof(DDPIXELFORMAT);
        pf.dwFlags = pFormat->dwFlags;
        pf.dwRGBBitCount = static_cast<DWORD>(nDepth);
        pf.dwRBitMask = pFormat->dwRedMask;
        pf.dwGBitMask = pFormat->dwGreenMask;
        pf.dwBBitMask = pFormat->dwBlueMask;
        pf.dwRGBAlphaBitMask = 0;
    }
    else if (uFlags & (DKCS_SOURCE_TEXTURE | DKCS_DEST_TEXTURE))
    {
        const DK_TEXTURE_FORMAT* pFormat = d3d->pStandardTextureFormat;
        if ((uFlags & DKCS_ALPHA_TEXTURE) && d3d->pAlphaTextureFormat != nullptr)
            pFormat = d3d->pAlphaTextureFormat;
        // Before the 3D set-up there is no device format to copy: the display's is used.
        if (pFormat != nullptr)
        {
            ddsd.dwFlags |= DDSD_PIXELFORMAT;
            ddsd.ddpfPixelFormat = pFormat->ddsd.ddpfPixelFormat;
            ddsd.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        }
    }

    HRESULT hr = CreateDDSurface(&ddsd, &pSurface->lpSurface);
    if (hr != DD_OK)
    {
        const BOOL boNoSecondChance =
            (uFlags & (DKCS_FORCE_SYSTEM | DKCS_FORCE_VIDEO | DKCS_SOURCE_TEXTURE)) ||
            ((uFlags & DKCS_DEST_TEXTURE) && d3d->nHardwareDevice == 0);
        if (boNoSecondChance)
        {
            if (uFlags & DKCS_FORCE_SYSTEM)
                DkLog("DkCreateNewSurface() failed : DKCS_FORCE_SYSTEM");
            else if (uFlags & DKCS_FORCE_VIDEO)
                DkLog("DkCreateNewSurface() failed : DKCS_FORCE_VIDEO");
            else if (uFlags & DKCS_SOURCE_TEXTURE)
                DkLog("DkCreateNewSurface() failed : DKCS_SOURCE_TEXTURE");
            else
                DkLog("DkCreateNewSurface() failed : DKCS_DEST_TEXTURE");
            TRYDD(hr);
            return nullptr;
        }

        if (uFlags & DKCS_DEST_TEXTURE)
        {
            DkDumpMemoryBlocksMatching("VRAM surface");
            DkDumpMemoryBlocksMatching("SYSTEM surface");
            if (!gboOutOfVRAMLogged)
            {
                DkLog("Ran out of VRAM - Some textures will be missing");
                gboOutOfVRAMLogged = TRUE;
            }
        }
        DkDebugOutput("DkCreateNewSurface() : Failed to allocate videomemory, trying system RAM\n");
        if (!(ddsd.ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY))
            DKREPORT("Only VRAM gets a second chance");
        ddsd.ddsCaps.dwCaps &= ~DDSCAPS_VIDEOMEMORY;
        ddsd.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
        hr = CreateDDSurface(&ddsd, &pSurface->lpSurface);
        if (hr != DD_OK)
        {
            DkDebugOutput("DkCreateNewSurface() : 2nd attempt failed!\n");
            if (uFlags & DKCS_DUMP_LIST)
                DkDumpSurfaceList();
            TRYDD(hr);
            return nullptr;
        }
    }

    if (FormatForDepth(nDepth) == nullptr)
    {
        DKREPORT(DkFormatString("%d is an invalid surface depth", nDepth));
        // The surface would otherwise be lost with its record, which stays on the heap.
        DkReleaseTraced(pSurface->lpSurface, kReleasedName);
        return nullptr;
    }

    pSurface->rect = {0, 0, static_cast<int16_t>(nWidth), static_cast<int16_t>(nHeight)};
    pSurface->nAddedColumns = 0;
    pSurface->nAddedRows = 0;
    pSurface->nDepth = static_cast<int16_t>(nDepth);
    if (uFlags & DKCS_DUMP_LIST)
        DkDumpSurfaceList();
    d2d->apSurfaces[nEntry] = pSurface;
    return pSurface;
}

int DkDestroySurface(DK_SURFACE* pSurface, const char* pszCallerFile, int nCallerLine)
{
    int nEntry = 0;
    while (nEntry < DK_MAX_SURFACES && d2d->apSurfaces[nEntry] != pSurface)
        ++nEntry;
    if (pSurface == nullptr || nEntry == DK_MAX_SURFACES)
    {
        DKREPORT(
            DkFormatString("DkDestroySurface() : Surface not in list!\nCall made in %s, line %d",
                           pszCallerFile != nullptr ? pszCallerFile : "", nCallerLine));
        return 0;
    }
    DkReleaseTraced(pSurface->lpSurface, kReleasedName);
    // Stale pointers to the record show up as 0x66 patterns in the debugger.
    std::memset(pSurface, 0x66, sizeof(DK_SURFACE));
    d2d->apSurfaces[nEntry] = nullptr;
    return 1;
}

BOOL DestroyAllCreated2DSurfaces(void)
{
    for (DK_SURFACE*& pSurface : d2d->apSurfaces)
        if (pSurface != nullptr)
            DkDestroySurface(pSurface, __FILE__, __LINE__);
    DkDebugOutput("DestroyAllCreated2DSurfaces() Done\n");
    return TRUE;
}

int DkBlitPC(DK_SURFACE* pSrc, const DK_RECT* pSrcRect, DK_SURFACE* pDest, const DK_RECT* pDestRect,
             uint32_t uKeyLow, uint32_t uKeyHigh, BOOL boUseKey, BOOL)
{
    if (pSrc == nullptr || pSrc->lpSurface == nullptr)
    {
        DKREPORT("DkBlitPC() : No source surface specified");
        return 0;
    }
    if (pDest == nullptr || pDest->lpSurface == nullptr)
    {
        DKREPORT("DkBlitPC() : No destination surface specified");
        return 0;
    }

    const int nSrcWidth = pSrc->rect.w;
    const int nSrcHeight = pSrc->rect.h;
    BOOL boSourceInside = TRUE;
    if (pSrcRect->x >= nSrcWidth)
    {
        DKREPORT(DkFormatString("DkBlitPC() : source-x >= h-size of src-surface\n(src-x = %d, "
                                "src-surf.w = %d)",
                                pSrcRect->x, nSrcWidth));
        boSourceInside = FALSE;
    }
    if (pSrcRect->x + pSrcRect->w > nSrcWidth)
    {
        DKREPORT(DkFormatString("DkBlitPC() : source-x+source-width > h-size of src-surface\n"
                                "(src-x = %d, src-width = %d, src-surf.w = %d)",
                                pSrcRect->x, pSrcRect->w, nSrcWidth));
        boSourceInside = FALSE;
    }
    if (pSrcRect->y >= nSrcHeight)
    {
        DKREPORT(DkFormatString("DkBlitPC() : source-y >= v-size of src-surface\n(src-y = %d, "
                                "src-surf.h = %d)",
                                pSrcRect->y, nSrcHeight));
        boSourceInside = FALSE;
    }
    if (pSrcRect->y + pSrcRect->h > nSrcHeight)
    {
        DKREPORT(DkFormatString("DkBlitPC() : source-y+source-height > v-size of src-surface\n"
                                "(src-y = %d, src-height = %d, src-surf.h = %d)",
                                pSrcRect->y, pSrcRect->h, nSrcHeight));
        boSourceInside = FALSE;
    }
    // Reading past the source would take pixels from outside it: refused.
    if (!boSourceInside)
        return 0;

    RECT src{pSrcRect->x, pSrcRect->y, pSrcRect->x + pSrcRect->w, pSrcRect->y + pSrcRect->h};
    RECT dest{pDestRect->x, pDestRect->y, pDestRect->x + pDestRect->w, pDestRect->y + pDestRect->h};
    const BOOL boFast = pSrcRect->w == pDestRect->w && pSrcRect->h == pDestRect->h;

    const LONG nDestWidth = pDest->rect.w;
    const LONG nDestHeight = pDest->rect.h;
    if (dest.left >= nDestWidth || dest.right <= 0 || dest.top >= nDestHeight || dest.bottom <= 0)
        return 1;
    // Trimmed in destination pixels, stretch blits too.
    if (dest.left < 0)
    {
        src.left -= dest.left;
        dest.left = 0;
    }
    if (dest.right > nDestWidth)
    {
        src.right -= dest.right - nDestWidth;
        dest.right = nDestWidth;
    }
    if (dest.top < 0)
    {
        src.top -= dest.top;
        dest.top = 0;
    }
    if (dest.bottom > nDestHeight)
    {
        src.bottom -= dest.bottom - nDestHeight;
        dest.bottom = nDestHeight;
    }

    if (boUseKey)
    {
        DDCOLORKEY key{uKeyLow, uKeyHigh};
        TRYDD(pSrc->lpSurface->SetColorKey(DDCKEY_SRCBLT, &key));
    }

    HRESULT hr;
    if (boFast)
    {
        hr = pDest->lpSurface->BltFast(static_cast<DWORD>(dest.left), static_cast<DWORD>(dest.top),
                                       pSrc->lpSurface, &src,
                                       DDBLTFAST_WAIT | (boUseKey ? DDBLTFAST_SRCCOLORKEY : 0));
        if (hr != DD_OK)
            DkDebugOutput(DkFormatString(
                "*** dkBlit() [FAST] failure!\nSrc (x,y) = %d, %d  width = %d, height = %d\nDest "
                "(x,y) = %d, %d",
                (int)src.left, (int)src.top, (int)(src.right - src.left),
                (int)(src.bottom - src.top), (int)dest.left, (int)dest.top));
    }
    else
    {
        hr = pDest->lpSurface->Blt(&dest, pSrc->lpSurface, &src,
                                   DDBLT_WAIT | (boUseKey ? DDBLT_KEYSRC : 0), nullptr);
        if (hr != DD_OK)
            DkDebugOutput(DkFormatString(
                "*** dkBlit() [STRETCH] failure!\nSrc (x,y) = %d, %d  width = %d, height = "
                "%d\nDest (x,y) = %d, %d  width = %d, height = %d",
                (int)src.left, (int)src.top, (int)(src.right - src.left),
                (int)(src.bottom - src.top), (int)dest.left, (int)dest.top,
                (int)(dest.right - dest.left), (int)(dest.bottom - dest.top)));
    }
    if (hr != DD_OK)
    {
        DkDebugOutput("\n");
        return 0;
    }
    return 1;
}

int DkBlitSurfaceAt(DK_SURFACE* pSurface, int nX, int nY, const uint8_t*, int)
{
    if (pSurface == nullptr)
        return DkBlitPC(nullptr, nullptr, &d2d->BackSurface, nullptr, 0, 0, TRUE, TRUE);
    DK_RECT dest{static_cast<int16_t>(nX), static_cast<int16_t>(nY), pSurface->rect.w,
                 pSurface->rect.h};
    return DkBlitPC(pSurface, &pSurface->rect, &d2d->BackSurface, &dest, 0, 0, TRUE, TRUE);
}

void* DkLockSurface(DK_SURFACE* pSurface, DK_SURFACE_LOCK* pLock)
{
    if (pSurface == nullptr || pSurface->lpSurface == nullptr || pLock == nullptr)
        return nullptr;
    DDSURFACEDESC ddsd;
    std::memset(&ddsd, 0, sizeof ddsd);
    ddsd.dwSize = sizeof(DDSURFACEDESC);
    if (pSurface->lpSurface->Lock(nullptr, &ddsd, DDLOCK_WAIT, nullptr) != DD_OK)
        return nullptr;
    pLock->pPixels = ddsd.lpSurface;
    pLock->nPitch = ddsd.lPitch;
    pLock->nWidth = static_cast<int32_t>(ddsd.dwWidth);
    pLock->nHeight = static_cast<int32_t>(ddsd.dwHeight);
    return pLock->pPixels;
}

void DkUnlockSurface(DK_SURFACE* pSurface)
{
    if (pSurface != nullptr && pSurface->lpSurface != nullptr)
        pSurface->lpSurface->Unlock(nullptr);
}

int DkClearSurface(DK_SURFACE* pSurface)
{
    if (pSurface == nullptr)
    {
        DKREPORT("DkClearSurface() : dk_surface is NULL");
        return 1;
    }
    if (pSurface->lpSurface == nullptr)
    {
        DKREPORT("DkClearSurface() : DD Surface is NULL");
        return 1;
    }
    DDSURFACEDESC ddsd;
    std::memset(&ddsd, 0, sizeof ddsd);
    ddsd.dwSize = sizeof(DDSURFACEDESC);
    if (!TRYDD(pSurface->lpSurface->GetSurfaceDesc(&ddsd)))
        return 1;

    DDBLTFX fx;
    std::memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof(DDBLTFX);
    fx.dwFillColor = 0;
    RECT whole{0, 0, static_cast<LONG>(ddsd.dwWidth), static_cast<LONG>(ddsd.dwHeight)};
    if (ddsd.ddsCaps.dwCaps & DDSCAPS_MODEX)
    {
        // The buffer behind the visible one is cleared and brought to the front.
        DDSCAPS caps{DDSCAPS_BACKBUFFER};
        IDirectDrawSurface* lpBack = nullptr;
        if (TRYDD(pSurface->lpSurface->GetAttachedSurface(&caps, &lpBack)))
        {
            TRYDD(lpBack->Blt(&whole, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
            lpBack->Release();
        }
        TRYDD(pSurface->lpSurface->Flip(nullptr, DDFLIP_WAIT));
    }
    else
    {
        TRYDD(
            pSurface->lpSurface->Blt(&whole, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
    }
    return 1;
}

int DkFillPolyRect(DK_SURFACE* pSurface, const DK_RECT* pRect, const uint8_t* pColour)
{
    if (!FillArgumentsGiven(pRect, pColour))
        return 1;
    if (FillsByDirectDraw())
    {
        ColourFill(pSurface, pRect, pColour);
        return 1;
    }
    DK_2D_VERTEX aFirst[3];
    DK_2D_VERTEX aSecond[3];
    RectTriangles(pRect, aFirst, aSecond);
    DkDraw2DTriangleB(&aFirst[0], &aFirst[1], &aFirst[2], pColour, 0.0f);
    DkDraw2DTriangleB(&aSecond[0], &aSecond[1], &aSecond[2], pColour, 0.0f);
    return 1;
}

int DkFillPolyRectAlpha(DK_SURFACE* pSurface, const DK_RECT* pRect, const uint8_t* pColour)
{
    if (FillsByDirectDraw())
        return DkFillPolyRect(pSurface, pRect, pColour);
    if (!FillArgumentsGiven(pRect, pColour))
        return 1;
    DK_2D_VERTEX aFirst[3];
    DK_2D_VERTEX aSecond[3];
    RectTriangles(pRect, aFirst, aSecond);
    DkDraw2DTriangle(&aFirst[0], &aFirst[1], &aFirst[2], pColour, 0.5f);
    DkDraw2DTriangle(&aSecond[0], &aSecond[1], &aSecond[2], pColour, 0.5f);
    return 1;
}

int DkFillRect(DK_SURFACE* pSurface, const DK_RECT* pRect, const uint8_t* pColour)
{
    if (FillArgumentsGiven(pRect, pColour))
        ColourFill(pSurface, pRect, pColour);
    return 1;
}

void DkDumpSurfaceList(void)
{
    DkDebugOutput("========= Surface list : Debug dump =========\n");
    int nVideoBytes = 0;
    int nSystemBytes = 0;
    for (int nEntry = 0; nEntry < DK_MAX_SURFACES; ++nEntry)
    {
        DK_SURFACE* pSurface = d2d->apSurfaces[nEntry];
        if (pSurface == nullptr || pSurface->lpSurface == nullptr)
            continue;
        DDSURFACEDESC ddsd;
        std::memset(&ddsd, 0, sizeof ddsd);
        ddsd.dwSize = sizeof(DDSURFACEDESC);
        if (!TRYDD(pSurface->lpSurface->GetSurfaceDesc(&ddsd)))
            continue;

        const int nPixels = static_cast<int>(ddsd.dwWidth * ddsd.dwHeight);
        int nBits = 0;
        int nBytes = 0;
        if (ddsd.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8)
        {
            nBits = 8;
            nBytes = nPixels;
        }
        else if (ddsd.ddpfPixelFormat.dwFlags & DDPF_RGB)
        {
            if (ddsd.ddpfPixelFormat.dwRGBBitCount != 16)
                DKREPORT("Error, RGB surface is not 16bit");
            nBits = 16;
            nBytes = nPixels * 2;
        }
        else
        {
            DKREPORT("DkDumpSurfaceList() : Bad surface format");
        }

        DkDebugOutput(DkFormatString("*** Surface #%d :- ", nEntry));
        const DWORD dwCaps = ddsd.ddsCaps.dwCaps;
        const int nWidth = static_cast<int>(ddsd.dwWidth);
        const int nHeight = static_cast<int>(ddsd.dwHeight);
        if (dwCaps & DDSCAPS_SYSTEMMEMORY)
        {
            DkDebugOutput(DkFormatString("SYSTEMMEMORY Surface : %dx%dx%d = %d bytes\n", nWidth,
                                         nHeight, nBits, nBytes));
            nSystemBytes += nBytes;
        }
        else
        {
            DkDebugOutput(DkFormatString("VIDEOMEMORY Surface : %dx%dx%d = %d bytes\n", nWidth,
                                         nHeight, nBits, nBytes));
            nVideoBytes += nBytes;
        }
        const struct
        {
            DWORD dwCap;
            const char* pszLine;
        } kCapLines[] = {
            {DDSCAPS_BACKBUFFER, "DDSCAPS_BACKBUFFER\n"},
            {DDSCAPS_FLIP, "DDSCAPS_FLIP\n"},
            {DDSCAPS_MIPMAP, "DDSCAPS_MIPMAP\n"},
            {DDSCAPS_OFFSCREENPLAIN, "DDSCAPS_OFFSCREENPLAIN\n"},
            {DDSCAPS_PALETTE, "DDSCAPS_PALETTE\n"},
            {DDSCAPS_PRIMARYSURFACE, "DDSCAPS_PRIMARYSURFACE\n"},
            {DDSCAPS_TEXTURE, "DDSCAPS_TEXTURE\n"},
        };
        for (const auto& cap : kCapLines)
            if (dwCaps & cap.dwCap)
                DkDebugOutput(cap.pszLine);
    }
    DkDebugOutput(DkFormatString("Total VRAM used by surfaces : %d bytes\n", nVideoBytes));
    DkDebugOutput(
        DkFormatString("Total System RAM used by surfaces : %d bytes\n\n\n", nSystemBytes));
}

void DkSurfaceNoOp(void*) {}

BOOL DkDrawTransparentBoxPC(const DK_RECT* pRect, uint32_t uValue)
{
    IDirectDrawSurface* lpBack = d2d->BackSurface.lpSurface;
    if (lpBack == nullptr)
    {
        DKREPORT("DkDrawTransparentBoxPC() : ARGH - no back surface????");
        return FALSE;
    }
    if (pRect == nullptr)
    {
        DKREPORT("DkDrawTransparentBoxPC() : no rectangle");
        return FALSE;
    }
    DDSURFACEDESC ddsd;
    if (!LockSurface(lpBack, &ddsd))
        return FALSE;
    const int nPixelBytes =
        ddsd.ddpfPixelFormat.dwRGBBitCount >= 8 ? ddsd.ddpfPixelFormat.dwRGBBitCount / 8 : 1;
    int nLeft, nTop, nRight, nBottom;
    if (ClipToSurface(pRect, ddsd, &nLeft, &nTop, &nRight, &nBottom))
    {
        for (int nY = nTop; nY < nBottom; ++nY)
        {
            uint8_t* pRow = static_cast<uint8_t*>(ddsd.lpSurface) + nY * ddsd.lPitch;
            // Whole words only, so nothing beyond the rectangle's right edge changes.
            for (int nByte = nLeft * nPixelBytes; nByte + 4 <= nRight * nPixelBytes; nByte += 4)
            {
                uint32_t uWord;
                std::memcpy(&uWord, pRow + nByte, 4);
                uWord += uValue;
                std::memcpy(pRow + nByte, &uWord, 4);
            }
        }
    }
    TRYDD(lpBack->Unlock(ddsd.lpSurface));
    return TRUE;
}

BOOL DkRemapSurfaceRect(DK_SURFACE* pSurface, const DK_RECT* pRect, const uint8_t* pRemap)
{
    if (pSurface == nullptr || pSurface->lpSurface == nullptr || pRect == nullptr ||
        pRemap == nullptr)
    {
        DKREPORT("DkRemapSurfaceRect() : NULL surface, rectangle or table");
        return FALSE;
    }
    DDSURFACEDESC ddsd;
    if (!LockSurface(pSurface->lpSurface, &ddsd))
        return FALSE;
    BOOL boDone = FALSE;
    int nLeft, nTop, nRight, nBottom;
    if (ddsd.ddpfPixelFormat.dwRGBBitCount != 8)
    {
        DKREPORT("DkRemapSurfaceRect() : surface is not 8-bit");
    }
    else
    {
        if (ClipToSurface(pRect, ddsd, &nLeft, &nTop, &nRight, &nBottom))
            for (int nY = nTop; nY < nBottom; ++nY)
            {
                uint8_t* pRow = static_cast<uint8_t*>(ddsd.lpSurface) + nY * ddsd.lPitch;
                for (int nX = nLeft; nX < nRight; ++nX)
                    pRow[nX] = pRemap[pRow[nX]];
            }
        boDone = TRUE;
    }
    TRYDD(pSurface->lpSurface->Unlock(ddsd.lpSurface));
    return boDone;
}

void DkResetVRAMWarningForTests(void)
{
    gboOutOfVRAMLogged = FALSE;
}
