#include "engine/pc/3d/dk_3dbmp.h"

#include <cstring>

#include "engine/include/dk_ff.h"
#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_image.h"
#include "platform/d3d/d3d.h"

namespace
{

struct DK_3DBITMAP_ENTRY
{
    int32_t axCorners[4][2]; // (a, b) of corners 0-3
    uint32_t uTexture;
    int16_t nMaterial;
    DK_VECTOR Position;
    uint8_t uType;
    uint8_t uColourA;
    uint8_t uColourB;
    const DK_ACTOR* pParent;
    int32_t nFlip;
};

DK_3DBITMAP_ENTRY gaEntries[MAX_3DBITMAPS];
int gnNumEntries = 0;
int gaBatches[MAX_3DBITMAPS]; // entries of each call, in order
int gnNumBatches = 0;
D3DLVERTEX gaVertices[MAX_3DBITMAPS * 4];
WORD gauIndices[MAX_3DBITMAPS_A_CALL * 6];
BOOL gbo3DBitmapsInitialised = FALSE;
DK_MATERIAL* gp3DBitmapMaterial = nullptr;

// Texture coordinates of corners 0-3, by type (screen-aligned, upright) and flip: a flip
// mirrors u alike for both.
constexpr float kUv[2][2][4][2] = {
    {{{0, 1}, {0, 0}, {1, 1}, {1, 0}}, {{1, 1}, {1, 0}, {0, 1}, {0, 0}}},
    {{{1, 1}, {0, 1}, {1, 0}, {0, 0}}, {{0, 1}, {1, 1}, {0, 0}, {1, 0}}},
};

float ToFloat(int32_t x)
{
    return static_cast<float>(x / 65536.0);
}

// The four vertices of entry e, facing the camera whose world axes are X and Y and whose
// ground direction across the view is (nx, nz).
void BuildQuad(const DK_3DBITMAP_ENTRY& e, const DK_MATRIX& camera, int32_t nx, int32_t nz,
               D3DLVERTEX* v)
{
    const D3DCOLOR colour = e.uType & DK3DB_ADDITIVE
                                ? 0xFF000000u | e.uColourA << 16 | e.uColourA << 8 | e.uColourA
                                : static_cast<D3DCOLOR>(e.uColourA) << 24 | e.uColourB << 16 |
                                      e.uColourB << 8 | e.uColourB;
    DK_VECTOR p = e.Position;
    if (e.pParent != nullptr)
        DkApplyMatrixToVector(&p, &e.Position, &e.pParent->World);
    const bool boScreen = e.uType & DK3DB_SCREEN_ALIGNED;
    const bool boUpright = e.uType & DK3DB_UPRIGHT;
    if (!boScreen && !boUpright)
        DKREPORT("DkProcess3DBitmaps(): Hey, Bitmap type is invalid!");
    const auto& uv = kUv[boScreen ? 0 : 1][e.nFlip != 0 ? 1 : 0];
    for (int k = 0; k < 4; ++k)
    {
        const int32_t a = e.axCorners[k][0], b = e.axCorners[k][1];
        DK_VECTOR q = p; // an invalid type keeps its places as a quad of no area
        auto along = [&](int32_t xp, int c)
        { return FfAdd(xp, FfAdd(FfMul(a, camera.m[0][c]), FfMul(b, camera.m[1][c]))); };
        if (boScreen)
            q = {along(p.x, 0), along(p.y, 1), along(p.z, 2)};
        else if (boUpright)
            q = {FfAdd(p.x, FfMul(b, nz)), FfAdd(p.y, a), FfSub(p.z, FfMul(b, nx))};
        D3DLVERTEX& out = v[k];
        out.x = ToFloat(q.x);
        out.y = ToFloat(q.y);
        out.z = ToFloat(q.z);
        out.dwReserved = 0;
        out.color = colour;
        out.specular = 0xFF000000u;
        out.tu = uv[k][0];
        out.tv = uv[k][1];
    }
}

void DrawBatch(int nFirst, int nCount)
{
    IDirect3DDevice2* lpDevice = d3d->lpD3DDevice2;
    if (lpDevice == nullptr)
        return;
    TRYDD(lpDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DVT_LVERTEX, &gaVertices[nFirst * 4],
                                         static_cast<DWORD>(nCount * 4), gauIndices,
                                         static_cast<DWORD>(nCount * 6), D3DDP_DONOTUPDATEEXTENTS));
}

// Additive quads add their colour to what lies behind, and write no depth so that the ones
// behind still show.
void DrawAdditiveBatch(int nFirst, int nCount)
{
    const int nType = DkGetHardwareType();
    if (nType != 3)
        DkSendRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    if (nType == 0 || nType == 1 || DkIsZBufferlessDevice())
    {
        DkSendRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
        DkSendRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
    }
    else
    {
        DkSendRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_INVSRCCOLOR);
        DkSendRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
    }
    DkSetZWriteEnable(0);
    DrawBatch(nFirst, nCount);
    DkSetZWriteEnable(1);
    DkSendRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    DkSendRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

} // namespace

void DkInitialise3DBitmaps(void)
{
    if (gbo3DBitmapsInitialised)
        DKREPORT("ERROR(DkInitialise3DBitmaps): 3DBitmaps already initialised!");
    const uint8_t diffuse[4] = {200, 200, 200, 200};
    const uint8_t ambient[4] = {64, 64, 64, 200};
    const uint8_t specular[4] = {64, 64, 64, 200};
    DkCreateMaterial(&gp3DBitmapMaterial, nullptr, FALSE, diffuse, ambient, specular, 20.0f, 16);
    gnNumEntries = 0;
    gnNumBatches = 0;
    for (int q = 0; q < MAX_3DBITMAPS_A_CALL; ++q)
    {
        const WORD w = static_cast<WORD>(4 * q);
        const WORD quad[6] = {w, static_cast<WORD>(w + 3), static_cast<WORD>(w + 2),
                              w, static_cast<WORD>(w + 1), static_cast<WORD>(w + 3)};
        std::memcpy(&gauIndices[q * 6], quad, sizeof quad);
    }
    gbo3DBitmapsInitialised = TRUE;
    // A second set-up keeps the one registration.
    if (!DkIsDestructorAdded(DkDestroy3DBitmaps))
        DkAddDestructor(DkDestroy3DBitmaps, "3D Bitmaps");
    DkLog("3D Bitmaps Has been initialised");
}

BOOL DkDestroy3DBitmaps(void)
{
    if (!gbo3DBitmapsInitialised)
        DKREPORT("ERROR(DkDestroy3DBitmaps): 3DBitmaps NOT initialised!");
    gnNumEntries = 0;
    gnNumBatches = 0;
    gbo3DBitmapsInitialised = FALSE;
    // The material goes with the display's materials.
    gp3DBitmapMaterial = nullptr;
    return TRUE;
}

void DkDraw3DBitmap(const DK_3DBITMAP* pFirst, int n, const DK_TEXTURE* pTexture, uint8_t uType,
                    int nFlip)
{
    if (n <= 0)
    {
        DKREPORT("ERROR (DkDraw3DBitmap): Number of bitmaps is NOT > 0");
        if (n < 0)
            return;
    }
    if (!gbo3DBitmapsInitialised)
        DKREPORT("ERROR(DkDraw3DBitmap): 3DBitmaps NOT initialised!");
    if (pTexture == nullptr)
    {
        DKREPORT("ERROR (DkDraw3DBitmap): Texture passed is NULL");
        return;
    }
    // One draw covers at most the shared index list's quads.
    if (n > MAX_3DBITMAPS_A_CALL)
        n = MAX_3DBITMAPS_A_CALL;
    if (gnNumEntries >= MAX_3DBITMAPS - n)
        return;
    if (gnNumBatches >= MAX_3DBITMAPS)
    {
        DKREPORT("ERROR (DkDraw3DBitmap): Exceeded texture block array !");
        return;
    }
    // Only the records reached are queued and counted: a chain cut short draws what it holds.
    int nQueued = 0;
    const DK_3DBITMAP* pBitmap = pFirst;
    for (; nQueued < n; ++nQueued, pBitmap = pBitmap->pNext)
    {
        if (pBitmap == nullptr)
        {
            DKREPORT("ERROR: The bitmap is NULL!");
            break;
        }
        DK_3DBITMAP_ENTRY& e = gaEntries[gnNumEntries + nQueued];
        const int32_t* x = pBitmap->axExtent; // e3 at x[0]
        const int32_t corners[4][2] = {{x[1], x[0]}, {x[1], x[3]}, {x[4], x[0]}, {x[4], x[3]}};
        std::memcpy(e.axCorners, corners, sizeof corners);
        e.uTexture = pTexture->uHandle;
        e.nMaterial = pTexture->nMaterial;
        e.Position = pBitmap->Position;
        e.uType = uType;
        e.uColourA = static_cast<uint8_t>(pBitmap->uColourA);
        e.uColourB = static_cast<uint8_t>(pBitmap->uColourB);
        e.pParent = pBitmap->pParent;
        e.nFlip = nFlip;
    }
    gaBatches[gnNumBatches++] = nQueued;
    gnNumEntries += nQueued;
}

void DkProcess3DBitmaps(const DK_ACTOR* pCamera)
{
    if (!gbo3DBitmapsInitialised)
        DKREPORT("ERROR(DkDestroy3DBitmaps): 3DBitmaps NOT initialised!");
    if (gnNumEntries == 0 && gnNumBatches == 0)
        return;
    if (pCamera != nullptr && gnNumEntries > 0)
    {
        const DK_MATRIX& camera = pCamera->World;
        DK_VECTOR ground = {FfNeg(camera.m[2][0]), 0, FfNeg(camera.m[2][2])};
        FfVecNormalise(&ground, &ground);
        for (int i = 0; i < gnNumEntries; ++i)
            BuildQuad(gaEntries[i], camera, ground.x, ground.z, &gaVertices[i * 4]);

        int nFirst = 0;
        for (int b = 0; b < gnNumBatches; ++b)
        {
            const int nCount = gaBatches[b];
            if (nCount > 0)
            {
                const DK_3DBITMAP_ENTRY& e = gaEntries[nFirst];
                DkSetMaterialHandle(DkGetMaterialHandle(e.nMaterial));
                DkSetTextureHandle(e.uTexture);
                if (e.uType & DK3DB_ADDITIVE)
                    DrawAdditiveBatch(nFirst, nCount);
                else
                    DrawBatch(nFirst, nCount);
            }
            nFirst += nCount;
        }
    }
    gnNumEntries = 0;
    gnNumBatches = 0;
}

int DkGet3DBitmapCount(void)
{
    return gnNumEntries;
}

int DkGet3DBitmapBatchCount(void)
{
    return gnNumBatches;
}
