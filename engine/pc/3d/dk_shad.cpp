#include "engine/pc/3d/dk_shad.h"

#include <cstring>

#include "engine/include/dk_ff.h"
#include "engine/common/destruct.h"
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

constexpr int kMaxShadowVertices = 15;

DK_SHADOW gaShadows[MAX_SHADOWS];
int gnNumShadows = 0;
D3DLVERTEX gaShadowVertices[MAX_SHADOWS * kMaxShadowVertices];
BOOL gboShadowsInitialised = FALSE;
DK_TEXTURE* gpShadowTexture = nullptr;
BOOL gboShadowTextureLoaded = FALSE;
DK_MATERIAL* gpShadowMaterial = nullptr;
WORD gauRing6[24];
WORD gauRing10[36];

void BuildIndexLists()
{
    const WORD ring6[24] = {0, 1,  3, 1, 2,  3, 5, 10, 4, 6, 10, 5,
                            7, 10, 6, 8, 10, 7, 9, 10, 8, 4, 10, 9};
    std::memcpy(gauRing6, ring6, sizeof ring6);
    const WORD quad[6] = {0, 1, 3, 1, 2, 3};
    std::memcpy(gauRing10, quad, sizeof quad);
    for (int i = 0; i < 9; ++i)
    {
        WORD* t = &gauRing10[6 + i * 3];
        t[0] = static_cast<WORD>(i + 5);
        t[1] = 14;
        t[2] = static_cast<WORD>(i + 4);
    }
    gauRing10[33] = 4;
    gauRing10[34] = 14;
    gauRing10[35] = 13;
}

D3DLVERTEX Vertex(const DK_VECTOR& p, D3DCOLOR colour, float tu, float tv)
{
    D3DLVERTEX v;
    v.x = static_cast<float>(p.x / 65536.0);
    v.y = static_cast<float>(p.y / 65536.0);
    v.z = static_cast<float>(p.z / 65536.0);
    v.dwReserved = 0;
    v.color = colour;
    v.specular = 0xFF000000u;
    v.tu = tu;
    v.tv = tv;
    return v;
}

// Appends the shadow's vertices at v; the number appended (0 for an unknown shape).
int BuildShadow(const DK_SHADOW& s, D3DCOLOR inner, D3DCOLOR outer, D3DLVERTEX* v)
{
    const DK_VECTOR* P = s.aPoints;
    if (s.nShape == DK_SHADOW_QUAD)
    {
        v[0] = Vertex(P[1], inner, 1, 0);
        v[1] = Vertex(P[2], inner, 1, 1);
        v[2] = Vertex(P[0], inner, 0, 0);
        v[3] = Vertex(P[3], inner, 0, 1);
        return 4;
    }
    if (s.nShape != DK_SHADOW_RING6 && s.nShape != DK_SHADOW_RING10)
        return 0;
    v[0] = Vertex(P[0], inner, 0, 0);
    v[1] = Vertex(P[1], inner, 1, 0);
    v[2] = Vertex(P[2], inner, 1, 1);
    v[3] = Vertex(P[3], inner, 0, 1);
    // The ring starts on the quad's own corners, so the fade begins at its edge.
    const int nRingPoints = s.nShape == DK_SHADOW_RING6 ? 3 : 7; // from point 4 on
    int n = 4;
    v[n++] = Vertex(P[0], outer, 0, 0.7f);
    v[n++] = Vertex(P[1], outer, 0, 0.3f);
    for (int i = 0; i < nRingPoints; ++i, ++n)
        v[n] = Vertex(P[4 + i], outer, 0, n % 2 == 0 ? 0.7f : 0.3f);
    v[n] = Vertex(P[3], outer, 0, n % 2 == 0 ? 0.7f : 0.3f);
    ++n;
    const DK_VECTOR centre = {FfAdd(P[0].x, FfMul(FfSub(P[5].x, P[0].x), 0x8000)),
                              FfAdd(P[0].y, FfMul(FfSub(P[5].y, P[0].y), 0x8000)),
                              FfAdd(P[0].z, FfMul(FfSub(P[5].z, P[0].z), 0x8000))};
    v[n++] = Vertex(centre, outer, 0.5f, 0.5f);
    return n;
}

} // namespace

void DkInitialiseShadows(void)
{
    if (DkIsZBufferlessDevice())
        return;
    if (gboShadowsInitialised)
        DKREPORT("DkInitialiseShadows(): Already initialised!");
    gnNumShadows = 0;
    gpShadowTexture = DkBmpToAlphaTexture(DK_SHADOW_COLOUR_FILE, DK_SHADOW_ALPHA_FILE, 64, 64);
    gboShadowTextureLoaded = gpShadowTexture != nullptr;
    const uint8_t diffuse[4] = {100, 100, 100, 170};
    const uint8_t black[4] = {0, 0, 0, 255};
    DkCreateMaterial(&gpShadowMaterial, nullptr, FALSE, diffuse, black, black, 20.0f, 16);
    BuildIndexLists();
    gboShadowsInitialised = TRUE;
    // A second set-up keeps the one registration.
    if (!DkIsDestructorAdded(DkDestroyShadows))
        DkAddDestructor(DkDestroyShadows, "DkDestroyShadows");
}

BOOL DkDestroyShadows(void)
{
    if (!gboShadowsInitialised)
        DKREPORT("DkDrawShadow(): Shadows NOT initialised!");
    gboShadowsInitialised = FALSE;
    // The texture and material go with the display's.
    gpShadowTexture = nullptr;
    gboShadowTextureLoaded = FALSE;
    gpShadowMaterial = nullptr;
    return TRUE;
}

void DkDrawShadow(const DK_SHADOW* pShadow)
{
    if (DkIsZBufferlessDevice())
        return;
    if (!gboShadowsInitialised)
        DKREPORT("DkDrawShadow(): Shadows NOT initialised!");
    if (pShadow == nullptr)
    {
        DKREPORT("DkDrawShadow(): Shadow points are NULL!");
        return;
    }
    if (gnNumShadows >= MAX_SHADOWS)
        return;
    std::memcpy(&gaShadows[gnNumShadows++], pShadow, sizeof(DK_SHADOW));
}

void DkProcessShadows(void)
{
    if (DkIsZBufferlessDevice() || gnNumShadows == 0)
        return;
    // Without alpha in textures, and in the first display mode, translucency cannot be shown:
    // the shadow is black.
    const bool boTranslucent = DkCapGetD() || DkGetDisplayModeIndex() != 0;
    const D3DCOLOR inner = boTranslucent ? 0xC8000000u : 0xFF000000u;
    const D3DCOLOR outer = boTranslucent ? 0xAA000000u : 0xFF000000u;
    int anFirst[MAX_SHADOWS];
    int nVertices = 0;
    for (int i = 0; i < gnNumShadows; ++i)
    {
        anFirst[i] = nVertices;
        nVertices += BuildShadow(gaShadows[i], inner, outer, &gaShadowVertices[nVertices]);
    }

    DkSetZWriteEnable(0);
    if (gboShadowTextureLoaded)
    {
        if (!d3d->nHardwareTexturing)
            DkSetMaterialHandle(DkGetMaterialHandle(gpShadowTexture->nMaterial));
        DkSetTextureHandle(gpShadowTexture->uHandle);
    }
    else
        DkSetTextureHandle(0);
    IDirect3DDevice2* lpDevice = d3d->lpD3DDevice2;
    for (int i = 0; i < gnNumShadows && lpDevice != nullptr; ++i)
    {
        D3DLVERTEX* v = &gaShadowVertices[anFirst[i]];
        switch (gaShadows[i].nShape)
        {
            case DK_SHADOW_QUAD:
                TRYDD(lpDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DVT_LVERTEX, v, 4,
                                              D3DDP_DONOTUPDATEEXTENTS));
                break;
            case DK_SHADOW_RING6:
                TRYDD(lpDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DVT_LVERTEX, v, 11,
                                                     gauRing6, 24, D3DDP_DONOTUPDATEEXTENTS));
                break;
            case DK_SHADOW_RING10:
                TRYDD(lpDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DVT_LVERTEX, v, 15,
                                                     gauRing10, 36, D3DDP_DONOTUPDATEEXTENTS));
                break;
        }
    }
    DkSetZWriteEnable(1);
    gnNumShadows = 0;
}

int DkGetShadowCount(void)
{
    return gnNumShadows;
}
