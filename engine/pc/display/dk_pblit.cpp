#include "engine/pc/display/dk_pblit.h"

#include <bit>
#include <cstring>
#include <utility>

#include "engine/common/destruct.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/display/dk_image.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/3d/dk_rendr.h"
#include "platform/d3d/d3d.h"

namespace
{

constexpr int kQueues = 3;
// A queue keeps its last place free.
constexpr int kQueueLimit = DK_MAX_POLYBLITS - 1;

DK_POLYBLIT gaPolyBlitQueues[kQueues][DK_MAX_POLYBLITS];
int ganPolyBlitCounts[kQueues];
// One set of four strip corners per entry, rebuilt for each queue as it is drawn.
D3DTLVERTEX gaPolyBlitVertices[DK_MAX_POLYBLITS * 4];
BOOL boPolyBlitsInitialised = FALSE;
DK_MATERIAL* gpPolyBlitMaterial = nullptr;

bool ValidOrder(int nOrder)
{
    return nOrder >= BLIT_TO_FRONT && nOrder <= BLIT_TO_BACK;
}

// The depth of a queue's blits: the back queue lies just in front of the far plane.
float QueueDepth(int nOrder)
{
    switch (nOrder)
    {
        case BLIT_TO_FRONT:
            return 0.0f;
        case BLIT_TO_MIDDLE:
            return 0.5f;
        default:
            return std::bit_cast<float>(0x3F7FFFEFu);
    }
}

// The blit's angle in 4096ths of a turn. Whole turns wrap away in 16 bits.
int16_t AngleUnits(int nDegrees)
{
    return static_cast<int16_t>(static_cast<int64_t>(nDegrees) * 4096 / 360);
}

int Append(int nOrder, const DK_RECT* pSource, const DK_RECT* pDestination, const DK_RECT* pClip,
           DK_TEXTURE* pTexture, const uint8_t colour[4], int nAngle, DK_VECTOR pivot,
           uint32_t uFlags)
{
    int& nCount = ganPolyBlitCounts[nOrder - 1];
    // A full queue drops the blit without a word: a busy frame loses its last pictures.
    if (nCount >= kQueueLimit)
        return 0;
    DK_POLYBLIT& entry = gaPolyBlitQueues[nOrder - 1][nCount++];
    entry.source = *pSource;
    entry.destination = *pDestination;
    entry.clip = pClip != nullptr ? *pClip : DK_RECT{0, 0, 0, 0};
    entry.pTexture = pTexture;
    std::memcpy(entry.colour, colour, sizeof entry.colour);
    entry.order = static_cast<uint8_t>(nOrder);
    entry.angle = AngleUnits(nAngle);
    entry.pivot = pivot;
    entry.flags = uFlags;
    return 1;
}

// Both blit calls read the rectangles and the order; neither is safe to take unchecked.
bool CheckedArguments(const char* pszCaller, const DK_RECT* pSource, const DK_RECT* pDestination,
                      int nOrder)
{
    if (pSource == nullptr || pDestination == nullptr)
    {
        DKREPORT(DkFormatString("ERROR (%s): Rectangle passed is NULL", pszCaller));
        return false;
    }
    if (!ValidOrder(nOrder))
    {
        DKREPORT(DkFormatString(
            "%s(): Invalid BltOrder. Use BLIT_TO_FRONT, BLIT_TO_MIDDLE or BLIT_TO_BACK!",
            pszCaller));
        return false;
    }
    return true;
}

// The size of the texture's device surface; false when there is none to draw from.
bool TextureSize(const DK_TEXTURE* pTexture, int* pnWidth, int* pnHeight)
{
    if (pTexture == nullptr || pTexture->pDeviceSurface == nullptr)
        return false;
    *pnWidth = pTexture->pDeviceSurface->rect.w;
    *pnHeight = pTexture->pDeviceSurface->rect.h;
    return *pnWidth > 0 && *pnHeight > 0;
}

// The four strip corners of an entry: top left, top right, bottom left, bottom right.
void BuildCorners(const DK_POLYBLIT& entry, int nTextureWidth, int nTextureHeight, float fDepth,
                  D3DTLVERTEX* pCorners)
{
    const DK_RECT& src = entry.source;
    const float tw = static_cast<float>(nTextureWidth);
    const float th = static_cast<float>(nTextureHeight);
    float uLeft = static_cast<float>(src.x) / tw;
    float uRight = static_cast<float>(src.x + src.w) / tw;
    float vTop = static_cast<float>(src.y) / th;
    float vBottom = static_cast<float>(src.y + src.h) / th;
    if (DkGetHardwareType() == 0)
    {
        uRight += 0.001f;
        vBottom += 0.001f;
    }
    if (entry.flags & (DKPB_MIRROR_U | DKPB_MIRROR_BOTH))
        std::swap(uLeft, uRight);
    if (entry.flags & (DKPB_MIRROR_V | DKPB_MIRROR_BOTH))
        std::swap(vTop, vBottom);

    const DK_RECT& dst = entry.destination;
    const int x[4] = {dst.x, dst.x + dst.w, dst.x, dst.x + dst.w};
    const int y[4] = {dst.y, dst.y, dst.y + dst.h, dst.y + dst.h};
    const float u[4] = {uLeft, uRight, uLeft, uRight};
    const float v[4] = {vTop, vTop, vBottom, vBottom};
    const D3DCOLOR colour = static_cast<D3DCOLOR>(entry.colour[3]) << 24 |
                            static_cast<D3DCOLOR>(entry.colour[0]) << 16 |
                            static_cast<D3DCOLOR>(entry.colour[1]) << 8 | entry.colour[2];

    DK_MATRIX turn;
    DK_VECTOR pivot = entry.pivot;
    if (entry.angle != 0)
    {
        DkRotationMatrixZ(&turn, entry.angle);
        if (pivot.x == -1 && pivot.y == -1 && pivot.z == -1)
            pivot = {dst.x + dst.w / 2, dst.y + dst.h / 2, 0};
    }
    for (int i = 0; i < 4; ++i)
    {
        D3DTLVERTEX& corner = pCorners[i];
        corner = {static_cast<float>(x[i]),
                  static_cast<float>(y[i]),
                  fDepth,
                  1.0f,
                  colour,
                  0xFF000000u,
                  u[i],
                  v[i]};
        if (entry.angle != 0)
        {
            // The turn works in whole pixels, depth included, so a turned blit lies at depth 0.
            DK_VECTOR point = {x[i], y[i], static_cast<int32_t>(fDepth)};
            DK_VECTOR turned;
            DkRotateAboutPoint(&turned, &point, &pivot, &turn);
            corner.sx = static_cast<float>(turned.x);
            corner.sy = static_cast<float>(turned.y);
            corner.sz = static_cast<float>(turned.z);
        }
    }
}

uint32_t MaterialHandle(const DK_TEXTURE* pTexture)
{
    const int nSlot = pTexture->nMaterial;
    if (nSlot < 0 || nSlot >= DK_MAX_MATERIALS || d3d->apMaterials[nSlot] == nullptr)
        return 0;
    return d3d->apMaterials[nSlot]->uHandle;
}

void SetBlend(DWORD uSource, DWORD uDestination)
{
    IDirect3DDevice2* lpDevice = d3d->lpD3DDevice2;
    if (lpDevice == nullptr)
        return;
    TRYD3D(lpDevice->SetRenderState(D3DRENDERSTATE_SRCBLEND, uSource));
    TRYD3D(lpDevice->SetRenderState(D3DRENDERSTATE_DESTBLEND, uDestination));
}

// Draws one entry whose corners are built; with a clip rectangle, inside that viewport only.
void DrawEntry(const DK_POLYBLIT& entry, const D3DTLVERTEX* pCorners)
{
    IDirect3DDevice2* lpDevice = d3d->lpD3DDevice2;
    IDirect3DViewport2* lpViewport = d3d->lpD3DViewport2;
    const DK_RECT& clip = entry.clip;
    const bool boClip = clip.w != 0;
    D3DVIEWPORT2 saved{};
    if (boClip)
    {
        // A clip rectangle without area shows nothing of the blit.
        if (clip.w < 0 || clip.h <= 0)
            return;
        if (lpViewport != nullptr)
        {
            saved.dwSize = sizeof saved;
            TRYD3D(lpViewport->GetViewport2(&saved));
            D3DVIEWPORT2 view;
            DkDescribeViewport(&clip, &view);
            TRYD3D(lpViewport->SetViewport2(&view));
        }
    }

    DkSetTextureHandle(entry.pTexture->uHandle);
    DkSetMaterialHandle(MaterialHandle(entry.pTexture));
    if (entry.flags & DKPB_ADDITIVE)
    {
        DkSetZWriteEnable(0);
        const int nType = DkGetHardwareType();
        if (nType == 0 || nType == 1)
            SetBlend(D3DBLEND_ONE, D3DBLEND_ONE);
        else
            SetBlend(D3DBLEND_INVSRCCOLOR, D3DBLEND_ONE);
    }
    if (entry.flags & DKPB_SURFACE_BLIT)
    {
        DkBlitPC(entry.pTexture->pDeviceSurface, &entry.source, &d2d->BackSurface,
                 &entry.destination, 0, 0, TRUE, TRUE);
    }
    else
    {
        if (entry.flags & DKPB_ZTEST)
            DkSetZEnable(1);
        if (lpDevice != nullptr)
            TRYD3D(lpDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DVT_TLVERTEX, pCorners, 4,
                                           D3DDP_DONOTUPDATEEXTENTS));
        if (entry.flags & DKPB_ZTEST)
            DkSetZEnable(0);
    }
    if (entry.flags & DKPB_ADDITIVE)
    {
        DkSetZWriteEnable(1);
        SetBlend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    }
    if (boClip && lpViewport != nullptr)
        TRYD3D(lpViewport->SetViewport2(&saved));
}

void DrawQueue(int nOrder)
{
    int& nCount = ganPolyBlitCounts[nOrder - 1];
    if (nCount == 0)
        return;
    const DK_POLYBLIT* aQueue = gaPolyBlitQueues[nOrder - 1];
    const float fDepth = QueueDepth(nOrder);
    bool abDrawn[DK_MAX_POLYBLITS];
    for (int i = 0; i < nCount; ++i)
    {
        int nWidth = 0;
        int nHeight = 0;
        abDrawn[i] = TextureSize(aQueue[i].pTexture, &nWidth, &nHeight);
        if (abDrawn[i])
            BuildCorners(aQueue[i], nWidth, nHeight, fDepth, &gaPolyBlitVertices[i * 4]);
    }
    DkSetTextureMinFilter(D3DFILTER_NEAREST);
    for (int i = 0; i < nCount; ++i)
        if (abDrawn[i])
            DrawEntry(aQueue[i], &gaPolyBlitVertices[i * 4]);
    DkSetTextureMinFilter(D3DFILTER_LINEAR);
    nCount = 0;
}

} // namespace

void DkInitialisePolyBlits(void)
{
    if (boPolyBlitsInitialised)
        DKREPORT("ERROR(boPolyBlitsInitialised): Polygon Blits already initialised!");
    const uint8_t grey[4] = {200, 200, 200, 100};
    DkCreateMaterial(&gpPolyBlitMaterial, nullptr, FALSE, grey, grey, grey, 20.0f, 16);
    for (int& nCount : ganPolyBlitCounts)
        nCount = 0;
    boPolyBlitsInitialised = TRUE;
    DkAddDestructor(DkDestroyPolyBlits, "Polygon Bitmaps");
    DkLog("Polygon Bitmaps E.B. Has been initialised");
}

int DkPolyAlphaBlit(const DK_RECT* pSource, const DK_RECT* pDestination, DK_TEXTURE* pTexture,
                    const uint8_t* pColour, int nOrder, int nAngle, DK_VECTOR pivot,
                    const DK_RECT* pClip, uint32_t uFlags)
{
    if (!boPolyBlitsInitialised)
        DKREPORT("ERROR(DkPolyAlphaBlit): Polygon blits NOT initialised!");
    if (pSource == nullptr || pDestination == nullptr || pColour == nullptr)
    {
        DKREPORT("ERROR (DkPolyAlphaBlit): Rectangle or colour passed is NULL");
        return 0;
    }
    if (pTexture == nullptr)
    {
        DKREPORT(
            DkFormatString("ERROR (DkPolyBlit): Texture passed is NULL (destrect = %d,%d,%d,%d)",
                           pDestination->x, pDestination->y, pDestination->w, pDestination->h));
        return 0;
    }
    if (!CheckedArguments("DkPolyAlphaBlit", pSource, pDestination, nOrder))
        return 0;
    int nWidth = 0;
    int nHeight = 0;
    if (TextureSize(pTexture, &nWidth, &nHeight) && (pSource->w > nWidth || pSource->h > nHeight))
        DKREPORT("ERROR (DkPolyAlphaBlit): Source rectangle outside textures dimensions!");
    // Without alpha from textures a blit is drawn opaque whatever alpha it was given.
    const uint8_t colour[4] = {pColour[0], pColour[1], pColour[2],
                               static_cast<uint8_t>(DkCapGetD() ? pColour[3] : 255)};
    return Append(nOrder, pSource, pDestination, pClip, pTexture, colour, nAngle, pivot, uFlags);
}

int DkPolyAlphaBlitRotated(const DK_RECT* pSource, const DK_RECT* pDestination,
                           DK_TEXTURE* pTexture, int nOrder, int nAngle, DK_VECTOR pivot,
                           const DK_RECT* pClip, uint32_t uFlags)
{
    if (!CheckedArguments("DkPolyAlphaBlitRotated", pSource, pDestination, nOrder))
        return 0;
    const uint8_t colour[4] = {200, 200, 200, 255};
    return Append(nOrder, pSource, pDestination, pClip, pTexture, colour, nAngle, pivot, uFlags);
}

void DkDrawPolyBlitQueue3(void)
{
    DrawQueue(BLIT_TO_BACK);
}

void DkDrawPolyBlitQueue2(void)
{
    DrawQueue(BLIT_TO_MIDDLE);
}

void DkDrawPolyBlitQueue1(void)
{
    DrawQueue(BLIT_TO_FRONT);
}

BOOL DkDestroyPolyBlits(void)
{
    if (!boPolyBlitsInitialised)
        DKREPORT("ERROR(DkDestroyPolyBlits): Polygon Bitmaps NOT initialised!");
    boPolyBlitsInitialised = FALSE;
    // The material goes with the display's materials.
    gpPolyBlitMaterial = nullptr;
    return TRUE;
}

int DkGetPolyBlitCount(int nOrder)
{
    return ValidOrder(nOrder) ? ganPolyBlitCounts[nOrder - 1] : 0;
}

const DK_POLYBLIT* DkGetPolyBlit(int nOrder, int nIndex)
{
    if (!ValidOrder(nOrder) || nIndex < 0 || nIndex >= ganPolyBlitCounts[nOrder - 1])
        return nullptr;
    return &gaPolyBlitQueues[nOrder - 1][nIndex];
}
