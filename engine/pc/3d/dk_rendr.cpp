#include "engine/pc/3d/dk_rendr.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/common/dk_actor.h"
#include "engine/common/dk_model.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_2dtri.h"
#include "engine/pc/display/dk_image.h"
#include "engine/pc/display/dk_pblit.h"
#include "engine/pc/display/dk_surf.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_3dbmp.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/3d/dk_fog.h"
#include "engine/pc/3d/dk_light.h"
#include "engine/pc/3d/dk_line.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/3d/dk_shad.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/3d/dk_tri.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"

namespace
{

// gnLastTextureIndex when no list's texture is known to be selected.
constexpr int32_t kNoLastTexture = -2;

uint32_t guCachedTextureHandle = 0;
uint32_t guCachedMaterialHandle = 0;
uint32_t guCachedTextureFilter = 2;
uint32_t guCachedTextureMinFilter = 2;
int gnCachedZEnable = 0;
int gnCachedZWriteEnable = 0;
uint32_t guCachedFillMode = D3DFILL_SOLID;
int64_t gnCachedCullMode = -1; // -1: the CullMode cache entry, taken on first use

uint8_t guObjectDetailLevel = 3;
BOOL gboShowAllObjects = TRUE;
// Set while an id-111 part's subtree is drawn translucent.
BOOL gboInTranslucentPart = FALSE;

const D3DMATRIX kIdentity = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                             0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

IDirect3DDevice2* Device()
{
    return d3d->lpD3DDevice2;
}

bool IsHardware()
{
    return d3d->nHardwareTexturing != 0;
}

void Send(D3DRENDERSTATETYPE state, DWORD value)
{
    if (Device() != nullptr)
        TRYDD(Device()->SetRenderState(state, value));
}

void SetWorld(const D3DMATRIX& m)
{
    if (Device() != nullptr)
        TRYDD(Device()->SetTransform(D3DTRANSFORMSTATE_WORLD, &m));
}

D3DMATRIX DeviceMatrix(const DK_ACTOR* pActor)
{
    D3DMATRIX m;
    static_assert(sizeof m == sizeof pActor->afDevice, "a device matrix is 16 floats");
    std::memcpy(&m, pActor->afDevice, sizeof m);
    return m;
}

int32_t FloatBits(float f)
{
    int32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

void SendTextureHandle(uint32_t uHandle)
{
    guCachedTextureHandle = uHandle;
    Send(D3DRENDERSTATE_TEXTUREHANDLE, uHandle);
}

void SendTextureFilter(uint32_t uFilter)
{
    // Without clamped addressing the device filters by nearest texel only.
    DWORD sent = DkCapTextureClamp() ? uFilter : static_cast<DWORD>(D3DFILTER_NEAREST);
    Send(D3DRENDERSTATE_TEXTUREMAG, sent);
    Send(D3DRENDERSTATE_TEXTUREMIN, sent);
    guCachedTextureFilter = uFilter;
    guCachedTextureMinFilter = sent;
}

// The cached texture and material changes; each says whether it sent anything.
bool ChangeTextureHandle(uint32_t uHandle)
{
    if (uHandle == guCachedTextureHandle)
        return false;
    SendTextureHandle(uHandle);
    return true;
}

bool ChangeMaterialHandle(uint32_t uHandle)
{
    if (uHandle == guCachedMaterialHandle)
        return false;
    guCachedMaterialHandle = uHandle;
    if (Device() != nullptr)
        TRYDD(Device()->SetLightState(D3DLIGHTSTATE_MATERIAL, uHandle));
    return true;
}

// What a change made outside the list selection leaves: the next list selects its own texture
// and, on a hardware device, material 0 again.
void ForgetSelectedList()
{
    gnLastTextureIndex = kNoLastTexture;
    gboForceDefaultMaterial = TRUE;
}

DK_MODEL* ModelOf(const DK_ACTOR* pActor)
{
    return pActor->uType == DK_ACTOR_MODEL ? static_cast<DK_MODEL*>(pActor->pObject) : nullptr;
}

const DK_MODEL_LEVEL* CurrentLevel(const DK_MODEL* pModel)
{
    return pModel->uCurrentLevel < DK_MODEL_LEVELS ? &pModel->aLevels[pModel->uCurrentLevel]
                                                   : nullptr;
}

bool InPass(const DK_ACTOR* pActor, int nPass)
{
    return nPass >= 0 && nPass < 8 && (pActor->uPassMask >> nPass & 1u);
}

// The tests an object and, in a tree walk, its whole subtree must pass.
bool IsShown(const DK_ACTOR* pActor, int nPass)
{
    const DK_MODEL* pModel = ModelOf(pActor);
    return (DkIsWorldSpaceModel(pModel) || pActor->uAlwaysDraw || gboShowAllObjects) &&
           pActor->uMinimumDetail <= guObjectDetailLevel && InPass(pActor, nPass);
}

bool IsDrawableModel(const DK_ACTOR* pActor)
{
    return ModelOf(pActor) != nullptr && pActor != gpHorizonActor;
}

// The list's draw as it stands, a failure reported in the caller's words.
void DrawIndexed(const DK_MODEL_NODE* pNode, int32_t nVertexType, DK_VERTEX* pList,
                 const char* pszWhat)
{
    if (Device() == nullptr)
        return;
    const HRESULT hr = Device()->DrawIndexedPrimitive(
        D3DPT_TRIANGLELIST, static_cast<D3DVERTEXTYPE>(nVertexType), pList,
        static_cast<DWORD>(pNode->nNumVertices), pNode->puIndices,
        static_cast<DWORD>(pNode->nNumIndices), D3DDP_DONOTUPDATEEXTENTS);
    const char* pszFailure = hr == D3DERR_INVALIDRAMPTEXTURE ? "invalid ramp"
                             : hr == E_INVALIDARG            ? "invalid PARAM"
                                                             : nullptr;
    if (pszFailure == nullptr)
        return;
    if (pszWhat != nullptr)
        DKREPORT(DkFormatString("%s:%s", pszWhat, pszFailure));
    else
        DKREPORT(pszFailure);
}

// The current level's lists, each selected and drawn.
void DrawLevel(const DK_MODEL_LEVEL& level, int32_t xFogDistance, const uint8_t* pTint,
               const char* pszWhat)
{
    for (const DK_MODEL_NODE* pNode = level.pFirstNode; pNode != nullptr; pNode = pNode->pNext)
    {
        DkSelectListTexture(pNode->nTexture, TRUE);
        DkDrawPrimitiveList(pNode, level.nVertexType, nullptr, xFogDistance, pTint, pszWhat);
    }
}

// One model actor: world-space models with the identity world, never tinted and fogged per
// vertex; level flag bit 0 draws with culling off.
void DrawModelActor(DK_ACTOR* pActor, const char* pszWhat)
{
    const DK_MODEL* pModel = ModelOf(pActor);
    const bool boWorldSpace = DkIsWorldSpaceModel(pModel);
    SetWorld(boWorldSpace ? kIdentity : DeviceMatrix(pActor));
    const DK_MODEL_LEVEL* pLevel = CurrentLevel(pModel);
    if (pLevel == nullptr)
        return;
    const bool boCullOff = pLevel->uFlags & 1u;
    if (boCullOff)
        DkSetCullMode(D3DCULL_NONE);
    DrawLevel(*pLevel, boWorldSpace ? 0 : gxObjectDistance,
              gboActorTintLighting && !boWorldSpace ? pActor->auColour : nullptr, pszWhat);
    if (boCullOff)
        DkSetCullMode(static_cast<uint32_t>(d3d->anRenderStateCache[DKRS_CULLMODE]));
}

// A facing level's lists are four-vertex quads all drawn from one four-vertex buffer.
bool IsFourVertexLevel(const DK_MODEL_LEVEL& level)
{
    const DK_MODEL_NODE* pFirst = level.pFirstNode;
    if (pFirst == nullptr || pFirst->pVertices == nullptr || pFirst->nNumVertices < 4)
        return false;
    for (const DK_MODEL_NODE* pNode = pFirst; pNode != nullptr; pNode = pNode->pNext)
    {
        if (pNode->nNumVertices < 0 || pNode->nNumVertices > 4 || pNode->nNumIndices < 0 ||
            (pNode->puIndices == nullptr && pNode->nNumIndices > 0))
            return false;
        for (int32_t i = 0; i < pNode->nNumIndices; ++i)
            if (pNode->puIndices[i] >= 4)
                return false;
    }
    return true;
}

// A car part (no always-draw, detail or world-space tests). A part with id 111 shows only where
// translucency can look like glass.
void DrawCarPart(DK_ACTOR* pPart, int nPass, const char* pszWhat)
{
    const DK_MODEL* pModel = ModelOf(pPart);
    if (pModel == nullptr || !InPass(pPart, nPass))
        return;
    if (pPart->uId == DK_SPHERE_MAPPED_PART_ID && !DkCapGetD() && DkGetDisplayModeIndex() == 0)
        return;
    SetWorld(DeviceMatrix(pPart));
    if (const DK_MODEL_LEVEL* pLevel = CurrentLevel(pModel))
        DrawLevel(*pLevel, gxObjectDistance, nullptr, pszWhat);
}

void DrawCarSubtree(DK_ACTOR* pPart, int nPass)
{
    if (!InPass(pPart, nPass))
        return;
    DrawCarPart(pPart, nPass, "DrawCarRecursive");
    if (pPart->pChild != nullptr)
        DrawCarRecursive(pPart->pChild, nPass);
}

// An id-111 part and its subtree, translucent and sphere-mapped. Translucency is switched only
// around the outermost such part, so a nested one leaves the rest of the subtree translucent.
void DrawSphereMappedPart(DK_ACTOR* pPart, int nPass)
{
    const bool boOutermost = !gboInTranslucentPart;
    if (boOutermost)
    {
        if (DkGetHardwareType() != 0 && DkCapGetD())
            DkSetTextureBlendMode(3);
        else
            DkSetTranslucent(1);
        gboInTranslucentPart = TRUE;
    }
    DkSetSphereMapCoords(pPart);
    DrawCarSubtree(pPart, nPass);
    if (boOutermost)
    {
        DkSetTranslucent(0);
        gboInTranslucentPart = FALSE;
    }
}

} // namespace

int32_t gnLastTextureIndex = kNoLastTexture;
BOOL gboForceDefaultMaterial = TRUE;
int32_t gxObjectDistance = 0;
DK_VECTOR gFogEyePoint = {0, 0, 0};
DK_ACTOR* gpRenderCameraActor = nullptr;
int32_t gxObjectClipDistance = 100 << 16;
BOOL gboGameScene3D = FALSE;

int SetRenderState(int nReset)
{
    int32_t* cache = d3d->anRenderStateCache;
    if (nReset)
    {
        const bool hardware = IsHardware();
        const int32_t defaults[DK_RENDER_STATE_CACHE] = {
            1,
            1,
            hardware ? D3DSHADE_GOURAUD : D3DSHADE_FLAT,
            hardware ? D3DFILTER_LINEAR : D3DFILTER_NEAREST,
            hardware ? D3DTBLEND_MODULATE : D3DTBLEND_COPY,
            D3DFILL_SOLID,
            D3DBLEND_SRCALPHA,
            D3DBLEND_INVSRCALPHA,
            0,
            0,
            0,
            0,
            0x969696,
            3,
            FloatBits(10.0f),
            FloatBits(250.0f),
            D3DCULL_CCW,
        };
        std::memcpy(cache, defaults, sizeof defaults);
    }
    if (d3d->lpD3DViewport2 == nullptr)
    {
        DKREPORT("SetRenderState() : No viewport");
        return 1;
    }
    Send(D3DRENDERSTATE_SHADEMODE, cache[DKRS_SHADEMODE]);
    Send(D3DRENDERSTATE_ALPHABLENDENABLE, DkIsZBufferlessDevice() ? 1 : 0);
    Send(D3DRENDERSTATE_COLORKEYENABLE, 1);
    Send(D3DRENDERSTATE_TEXTUREADDRESS, D3DTADDRESS_CLAMP);
    Send(D3DRENDERSTATE_STIPPLEDALPHA, 0);
    Send(D3DRENDERSTATE_SRCBLEND, cache[DKRS_SRCBLEND]);
    Send(D3DRENDERSTATE_DESTBLEND, cache[DKRS_DESTBLEND]);
    Send(D3DRENDERSTATE_TEXTUREPERSPECTIVE, cache[DKRS_TEXTUREPERSPECTIVE]);
    Send(D3DRENDERSTATE_ZENABLE, cache[DKRS_ZENABLE]);
    Send(D3DRENDERSTATE_ZWRITEENABLE, cache[DKRS_ZENABLE]);
    Send(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
    Send(D3DRENDERSTATE_CULLMODE, cache[DKRS_CULLMODE]);
    Send(D3DRENDERSTATE_TEXTUREMAPBLEND, cache[DKRS_TEXTUREMAPBLEND]);
    Send(D3DRENDERSTATE_FILLMODE, cache[DKRS_FILLMODE]);
    Send(D3DRENDERSTATE_DITHERENABLE, cache[DKRS_DITHERENABLE]);
    Send(D3DRENDERSTATE_SPECULARENABLE, cache[DKRS_SPECULARENABLE]);
    Send(D3DRENDERSTATE_ANTIALIAS, cache[DKRS_ANTIALIAS]);
    Send(D3DRENDERSTATE_FOGENABLE, cache[DKRS_FOGENABLE]);
    Send(D3DRENDERSTATE_FOGCOLOR, 0xFFFFFF);
    // The sends above went past the setters: their caches take what the device now holds, so
    // the first setter call after a reset is never skipped on a stale cache.
    gnCachedZEnable = cache[DKRS_ZENABLE];
    gnCachedZWriteEnable = cache[DKRS_ZENABLE];
    gnCachedCullMode = static_cast<uint32_t>(cache[DKRS_CULLMODE]);
    guCachedFillMode = static_cast<uint32_t>(cache[DKRS_FILLMODE]);
    SendTextureHandle(0);
    ForgetSelectedList();
    SendTextureFilter(static_cast<uint32_t>(cache[DKRS_TEXTUREFILTER]));
    return 1;
}

void DkSendRenderState(uint32_t uState, uint32_t uValue)
{
    Send(static_cast<D3DRENDERSTATETYPE>(uState), uValue);
}

void DkSetTextureHandle(uint32_t uHandle)
{
    if (ChangeTextureHandle(uHandle))
        ForgetSelectedList();
}

void DkSetMaterialHandle(uint32_t uHandle)
{
    if (ChangeMaterialHandle(uHandle))
        ForgetSelectedList();
}

void DkSetTextureFilter(uint32_t uFilter)
{
    if (uFilter != guCachedTextureFilter)
        SendTextureFilter(uFilter);
}

void DkSetTextureMinFilter(uint32_t uFilter)
{
    if (uFilter == guCachedTextureMinFilter)
        return;
    guCachedTextureMinFilter = uFilter;
    Send(D3DRENDERSTATE_TEXTUREMIN, uFilter);
}

int DkSetZEnable(int nOn)
{
    if (nOn != gnCachedZEnable)
    {
        gnCachedZEnable = nOn;
        Send(D3DRENDERSTATE_ZENABLE, static_cast<DWORD>(nOn));
    }
    return nOn;
}

int DkSetZWriteEnable(int nOn)
{
    if (nOn != gnCachedZWriteEnable)
    {
        gnCachedZWriteEnable = nOn;
        Send(D3DRENDERSTATE_ZWRITEENABLE, static_cast<DWORD>(nOn));
    }
    return nOn;
}

void DkSetCullMode(uint32_t uMode)
{
    if (gnCachedCullMode < 0)
        gnCachedCullMode = static_cast<uint32_t>(d3d->anRenderStateCache[DKRS_CULLMODE]);
    if (uMode == gnCachedCullMode)
        return;
    gnCachedCullMode = uMode;
    Send(D3DRENDERSTATE_CULLMODE, uMode);
}

void DkSetCullingOrder(uint32_t uMode)
{
    if (d3d == nullptr)
        return;
    d3d->anRenderStateCache[DKRS_CULLMODE] = static_cast<int32_t>(uMode);
    if (d3d->lpD3DDevice2 != nullptr)
        DkSetCullMode(uMode);
}

void DkSetFillMode(uint32_t uMode)
{
    if (uMode == guCachedFillMode)
        return;
    guCachedFillMode = uMode;
    Send(D3DRENDERSTATE_FILLMODE, uMode);
}

void DkResetSetterCaches(void)
{
    guCachedTextureHandle = 0;
    guCachedMaterialHandle = 0;
    guCachedTextureFilter = 2;
    guCachedTextureMinFilter = 2;
    gnCachedZEnable = 0;
    gnCachedZWriteEnable = 0;
    guCachedFillMode = D3DFILL_SOLID;
    gnCachedCullMode = -1;
    ForgetSelectedList();
    // A new device's viewport is the whole display, whatever rectangle was applied before.
    gpLastViewportRect = nullptr;
}

void DkSetTranslucent(int nOn)
{
    if (DkGetHardwareType() == 3 || !IsHardware())
        return;
    const D3DRENDERSTATETYPE state =
        DkCapGetD() ? D3DRENDERSTATE_ALPHABLENDENABLE : D3DRENDERSTATE_STIPPLEDALPHA;
    if (!nOn)
    {
        Send(state, 0);
        return;
    }
    Send(state, 1);
    Send(D3DRENDERSTATE_TEXTUREMAPBLEND,
         DkIsZBufferlessDevice() ? D3DTBLEND_MODULATEALPHA : D3DTBLEND_MODULATE);
    Send(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    Send(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

int DkSetTextureBlendMode(int nMode)
{
    if (DkGetHardwareType() == 3 || !IsHardware())
        return 1;
    auto blend = [](DWORD source, DWORD destination)
    {
        Send(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_MODULATEALPHA);
        Send(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
        Send(D3DRENDERSTATE_SRCBLEND, source);
        Send(D3DRENDERSTATE_DESTBLEND, destination);
    };
    switch (nMode)
    {
        case 0:
            Send(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_MODULATE);
            Send(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
            if (DkCapGetB())
                Send(D3DRENDERSTATE_COLORKEYENABLE, 0);
            return 1;
        case 1:
            if (DkCapGetB())
            {
                Send(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_MODULATE);
                Send(D3DRENDERSTATE_ALPHABLENDENABLE, DkGetHardwareType() == 2 ? 1 : 0);
                Send(D3DRENDERSTATE_COLORKEYENABLE, 1);
            }
            else
                blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
            return 1;
        case 3:
            if (DkCapGetC())
            {
                blend(D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR);
                return 1;
            }
            [[fallthrough]];
        case 2:
            if (DkCapAlphaBlend())
                blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
            return 1;
        default:
            DKREPORT("DkSetTextureBlendMode() : Unknown blend mode");
            return 0;
    }
}

void DkSelectListTexture(int32_t nTexture, BOOL boShortcut)
{
    if (boShortcut && nTexture == gnLastTextureIndex)
        return;
    if (nTexture < 0)
    {
        ChangeMaterialHandle(0);
        gboForceDefaultMaterial = TRUE;
        ChangeTextureHandle(0);
    }
    else
    {
        // A slot with no texture in it draws untextured rather than through a null.
        const DK_TEXTURE* pTexture =
            nTexture < DK_MAX_TEXTURES ? d3d->apTextures[nTexture] : nullptr;
        if (!IsHardware())
            ChangeMaterialHandle(
                DkGetMaterialHandle(pTexture != nullptr ? pTexture->nMaterial : 0));
        else if (gboForceDefaultMaterial)
        {
            ChangeMaterialHandle(DkGetMaterialHandle(0));
            gboForceDefaultMaterial = FALSE;
        }
        ChangeTextureHandle(pTexture != nullptr ? pTexture->uHandle : 0);
    }
    gnLastTextureIndex = boShortcut ? nTexture : kNoLastTexture;
}

void DkDrawPrimitiveList(const DK_MODEL_NODE* pNode, int32_t nVertexType, DK_VERTEX* pVertices,
                         int32_t xFogDistance, const uint8_t* pTint, const char* pszWhat)
{
    DK_VERTEX* pList = pVertices != nullptr ? pVertices : pNode->pVertices;
    const int nCount = pNode->nNumVertices;
    // Device-lit vertices have a normal where the lit ones keep their colours: neither fog nor
    // tint is written into them.
    if (DkIsVertexFogOn() && nVertexType != DK_VERTEX_UNLIT)
        DkApplyVertexFog(pList, nCount, xFogDistance, &gFogEyePoint);
    if (pTint != nullptr && nVertexType == DK_VERTEX_LIT && pList != nullptr)
    {
        const uint32_t uRgb =
            static_cast<uint32_t>(pTint[0]) << 16 | static_cast<uint32_t>(pTint[1]) << 8 | pTint[2];
        for (int i = 0; i < nCount; ++i)
            pList[i].Lit.uColour = (pList[i].Lit.uColour & 0xFF000000u) | uRgb;
    }
    DrawIndexed(pNode, nVertexType, pList, pszWhat);
}

void DrawObject(DK_ACTOR* pActor, int nPass)
{
    if (pActor == nullptr)
        return;
    if (IsDrawableModel(pActor) && IsShown(pActor, nPass))
        DrawModelActor(pActor, "DrawObject");
    // A hidden actor's children are still drawn here, unlike in the tree walk.
    if (pActor->pChild != nullptr)
        DrawObjectRecursive(pActor->pChild, nPass);
}

void DrawObjectRecursive(DK_ACTOR* pFirst, int nPass)
{
    for (DK_ACTOR* pActor = pFirst; pActor != nullptr; pActor = pActor->pNext)
    {
        if (!IsShown(pActor, nPass))
            continue;
        if (IsDrawableModel(pActor))
            DrawModelActor(pActor, "DrawObjectRecursive");
        if (pActor->pChild != nullptr)
            DrawObjectRecursive(pActor->pChild, nPass);
    }
}

void DkDrawObjectFacing(DK_ACTOR* pActor, const DK_VECTOR* pSide, int)
{
    const DK_MODEL* pModel = pActor != nullptr ? ModelOf(pActor) : nullptr;
    if (pModel == nullptr)
    {
        DKREPORT("DkDrawObjectFacing: theoretically shouldn't reach here!");
        return;
    }
    if (!(pActor->uAlwaysDraw || gboShowAllObjects) || pActor->uMinimumDetail > guObjectDetailLevel)
        return;
    const DK_MODEL_LEVEL* pLevel = CurrentLevel(pModel);
    if (pLevel == nullptr || !IsFourVertexLevel(*pLevel))
    {
        DKREPORT("DkDrawObjectFacing: a facing level must be four-vertex lists");
        return;
    }

    // The quad's z is its width along the side vector, so it always turns square to the view.
    DK_VERTEX aQuad[4];
    std::memcpy(aQuad, pLevel->pFirstNode->pVertices, sizeof aQuad);
    const DK_VECTOR side = pSide != nullptr ? *pSide : DK_VECTOR{0, 0, 0};
    for (DK_VERTEX& v : aQuad)
    {
        const int32_t xWidth = DkFloatToFixed(v.z);
        v.x = static_cast<float>(FfMul(xWidth, FfNeg(side.x)) / 65536.0);
        v.z = static_cast<float>(FfMul(xWidth, FfNeg(side.z)) / 65536.0);
    }

    D3DMATRIX world = DeviceMatrix(pActor);
    world._11 = static_cast<float>(pActor->Scale.x / 65536.0);
    world._12 = world._13 = 0.0f;
    world._21 = world._23 = 0.0f;
    world._22 = static_cast<float>(pActor->Scale.y / 65536.0);
    world._31 = world._32 = 0.0f;
    world._33 = static_cast<float>(pActor->Scale.z / 65536.0);
    SetWorld(world);

    const uint8_t* pTint = gboActorTintLighting ? pActor->auColour : nullptr;
    for (const DK_MODEL_NODE* pNode = pLevel->pFirstNode; pNode != nullptr; pNode = pNode->pNext)
    {
        DkSelectListTexture(pNode->nTexture, TRUE);
        DkDrawPrimitiveList(pNode, pLevel->nVertexType, aQuad, gxObjectDistance, pTint,
                            "DrawObjectFacing");
    }
}

void DrawHorizon(DK_ACTOR* pActor, int)
{
    // The sky lies beyond the track's far plane.
    const int32_t xSavedFar = gxTrackClipDistance;
    DkSetProjection(0, 0, 0x61A80000, 0);
    const DK_MODEL* pModel = pActor != nullptr ? ModelOf(pActor) : nullptr;
    if (pModel != nullptr)
    {
        SetWorld(DeviceMatrix(pActor));
        if (const DK_MODEL_LEVEL* pLevel = CurrentLevel(pModel))
            DrawLevel(*pLevel, DkGetHorizonFogDistance(), nullptr, "Horizon");
    }
    DkSetProjection(0, 0, xSavedFar, 0);
}

void DrawCar(DK_ACTOR* pCar, int nPass)
{
    if (pCar == nullptr)
        return;
    DrawCarPart(pCar, nPass, "DrawCar");
    if (pCar->pChild != nullptr)
        DrawCarRecursive(pCar->pChild, nPass);
}

void DrawCarRecursive(DK_ACTOR* pFirst, int nPass)
{
    // Each part once: an id-111 part with its subtree translucent, the peers after it as they
    // are.
    for (DK_ACTOR* pPart = pFirst; pPart != nullptr; pPart = pPart->pNext)
    {
        if (pPart->uId == DK_SPHERE_MAPPED_PART_ID)
            DrawSphereMappedPart(pPart, nPass);
        else
            DrawCarSubtree(pPart, nPass);
    }
}

void DkSetSphereMapCoords(DK_ACTOR* pActor)
{
    // Nothing to reflect before a frame has chosen its camera.
    if (pActor == nullptr || gpRenderCameraActor == nullptr)
        return;
    const DK_MODEL* pModel = ModelOf(pActor);
    const DK_MODEL_LEVEL* pLevel = pModel != nullptr ? CurrentLevel(pModel) : nullptr;
    if (pLevel == nullptr || pLevel->pFirstNode == nullptr)
        return;
    DK_MATRIX inverse;
    DkInvertMatrix(&inverse, &gpRenderCameraActor->World);
    DK_MATRIX toView;
    DkMultiplyMatrix(&toView, &pActor->World, &inverse);
    const DK_MODEL_NODE& node = *pLevel->pFirstNode;
    if (node.pVertices == nullptr)
        return;
    for (int32_t i = 0; i < node.nNumVertices; ++i)
    {
        DK_VERTEX& v = node.pVertices[i];
        DK_VECTOR d = {FfNeg(DkFloatToFixed(v.x)), FfNeg(DkFloatToFixed(v.y)),
                       FfNeg(DkFloatToFixed(v.z))};
        FfVecNormalise(&d, &d);
        DK_VECTOR r;
        DkTransformPointTransposed(&r, &d, &toView);
        v.u = static_cast<float>(r.x / 65536.0f / 2.0f + 0.5f);
        v.v = static_cast<float>(r.y / 65536.0f / 2.0f + 0.5f);
    }
}

void DkSetObjectDetailLevel(int nLevel)
{
    guObjectDetailLevel = static_cast<uint8_t>(nLevel);
}

int DkGetObjectDetailLevel(void)
{
    return guObjectDetailLevel;
}

void DkSetAlwaysDrawOnly(int nFlag)
{
    gboShowAllObjects = nFlag ? FALSE : TRUE;
}

void DkSetEngineOptionA(int nFlag)
{
    gboDkEngineOptionA = nFlag ? TRUE : FALSE;
}

void DkSetC3dLoadOption(int nFlag)
{
    gboC3dLoadOption = nFlag ? TRUE : FALSE;
}

// The scene frame.

int32_t gxHorizonDistance = 500 << 16;
int32_t gxNearObjectDistance = 0x70000;
BOOL gboBlendNearObjects = FALSE;
BOOL gboDrawOverlaysInScene = TRUE;
const DK_RECT* gpLastViewportRect = nullptr;
BOOL gboDrawingFrame = FALSE;

namespace
{

constexpr uint32_t kNoPixel = 0x04030201u;
constexpr uint32_t kPointOutside = 0x01020304u;
// A vertex nearer than this, in the ground plane, lights a car from the track (500.0, 500.0).
constexpr int64_t kNoVertexNearer = 2 * (int64_t{500} << 16) * (int64_t{500} << 16);

struct SamplePoint
{
    int nX;
    int nY;
};
SamplePoint gDepthSample = {-1, -1};
int32_t gnLastDepthResult = 0;
SamplePoint gPixelSample = {-1, -1};
uint32_t guLastSample = 0x02010102u;

// What one view's object culling works with.
struct View
{
    DK_ACTOR* pCamera;
    DK_ACTOR* pCar;
    DK_ACTOR* pCarRoot;
    int nPass;
    DK_VECTOR Eye;
    int32_t xDx, xDz; // the unit ground direction
    DK_VECTOR Side;   // (dz, 0, -dx), for camera-facing objects
    DK_WEDGE Near;    // out to gxObjectClipDistance
    DK_WEDGE Far;     // out to gxHorizonDistance
    DK_ACTOR* apDeferred[DK_MAX_DEFERRED_OBJECTS];
    int nDeferred;
};

bool InsideDisplay(int nX, int nY)
{
    return nX >= 0 && nY >= 0 && nX < d2d->nWidth && nY < d2d->nHeight;
}

// The viewport of a rectangle, or of the whole display without one.
void ApplyViewport(const DK_RECT* pRect)
{
    if (d3d->lpD3DViewport2 == nullptr)
        return;
    D3DVIEWPORT2 vp;
    DkDescribeViewport(pRect, &vp);
    TRYD3D(d3d->lpD3DViewport2->SetViewport2(&vp));
}

void ClearDisplay(DWORD uFlags)
{
    if (d3d->lpD3DViewport2 == nullptr)
        return;
    D3DRECT all{0, 0, d2d->nWidth, d2d->nHeight};
    TRYD3D(d3d->lpD3DViewport2->Clear(1, &all, uFlags));
}

// Hardware types 0, 2, 3 and 4 and z-bufferless devices filter objects by nearest texel.
bool IsFilterType()
{
    const int nType = DkGetHardwareType();
    return nType == 0 || nType == 2 || nType == 3 || nType == 4 || DkIsZBufferlessDevice();
}

// The cars of the race each light the visible track (night stages on a hardware device).
void LightTrackFromCars()
{
    if (!gboActorTintLighting || !IsHardware())
        return;
    const int nCars = std::min(DkEntries().GetNumMechCars(), MAXLIGHTS);
    for (int i = 0; i < nCars; ++i)
        DkLightActor(i);
}

DK_POINT_XZ GroundPoint(const DK_ACTOR* pActor)
{
    return {pActor->World.m[3][0], pActor->World.m[3][2]};
}

// Ground distance from the eye; far ones saturate rather than wrap (see DkGroundDistance).
int32_t DistanceFromEye(const DK_ACTOR* pActor, int32_t xEyeX, int32_t xEyeZ)
{
    return DkGroundDistance(static_cast<int64_t>(pActor->World.m[3][0]) - xEyeX,
                            static_cast<int64_t>(pActor->World.m[3][2]) - xEyeZ);
}

void DrawTrackPass()
{
    for (int i = 0; i < gnNumVisibleBlocks; ++i)
    {
        const int nBlock = gaVisibleBlocks[i];
        if (nBlock >= static_cast<int>(std::min<uint32_t>(guNumTrackBlocks, MAXTRACKBLOCKS)))
        {
            // An entry past the blocks names no block: reported and skipped.
            DKREPORT(DkFormatString("(3dinit) model is not a track block (%d) (%d)\n", nBlock,
                                    static_cast<int>(guNumTrackBlocks)));
            continue;
        }
        const DK_TRACK_BLOCK& block = gaTrackBlocks[nBlock];
        if (block.pMesh == nullptr || block.nClipCode >= 2)
            continue;
        if (const DK_MODEL_LEVEL* pLevel = CurrentLevel(block.pMesh))
            DrawLevel(*pLevel, 0, nullptr, "Track");
    }
}

// The colour word of the block mesh's level-0 vertex nearest to the actor in the ground plane;
// false when the block has no mesh or no lit vertex lies within the starting offset.
bool NearestTrackColour(const DK_ACTOR* pActor, uint32_t* puColour)
{
    const int nBlock =
        DkGetTrackBlockIndex(pActor->World.m[3][0], pActor->World.m[3][1], pActor->World.m[3][2]);
    DK_MODEL* pMesh = gaTrackBlocks[nBlock].pMesh;
    if (pMesh == nullptr)
        return false;
    int64_t nBest = kNoVertexNearer;
    bool boFound = false;
    DkForEachLitVertex(pMesh, 0,
                       [&](const DK_VERTEX& v)
                       {
                           const int64_t dx =
                               static_cast<int64_t>(DkFloatToFixed(v.x)) - pActor->World.m[3][0];
                           const int64_t dz =
                               static_cast<int64_t>(DkFloatToFixed(v.z)) - pActor->World.m[3][2];
                           const int64_t nSquared = dx * dx + dz * dz;
                           if (nSquared < nBest)
                           {
                               nBest = nSquared;
                               *puColour = v.Lit.uColour;
                               boFound = true;
                           }
                       });
    return boFound;
}

// A moveable actor without a model: a car's root, drawn with its parts. Another car than the
// view's is drawn translucent; the view's car may take its light from the track under it.
void DrawCarOnBlock(View& v, DK_ACTOR* pX)
{
    const bool boFilter = IsFilterType();
    const bool boRootOfType2 = DkGetHardwareType() == 2 && pX == v.pCarRoot;
    const bool boOtherCar = pX != v.pCar && pX != v.pCarRoot && v.pCar != v.pCarRoot;
    if (boRootOfType2)
        Send(D3DRENDERSTATE_COLORKEYENABLE, 0);
    else if (boOtherCar)
        DkSetTranslucent(1);
    uint32_t uColour = 0;
    if (gboCarVertexLighting && !gboActorTintLighting &&
        (pX == v.pCar || pX == v.pCarRoot || v.pCar == v.pCarRoot) && IsHardware() &&
        NearestTrackColour(pX, &uColour))
        DkTintActorTree(v.pCarRoot, uColour);
    if (boFilter)
        DkSetTextureFilter(static_cast<uint32_t>(d3d->anRenderStateCache[DKRS_TEXTUREFILTER]));
    DrawCar(pX, v.nPass);
    if (boFilter)
        DkSetTextureFilter(D3DFILTER_NEAREST);
    if (boRootOfType2)
        Send(D3DRENDERSTATE_COLORKEYENABLE, 1);
    else if (boOtherCar)
        DkSetTranslucent(0);
}

// At the given level: camera-facing when the level says so.
void DrawAtLevel(View& v, DK_ACTOR* pX, DK_MODEL* pModel, uint8_t uLevel)
{
    pModel->uCurrentLevel = uLevel;
    if (pModel->aLevels[uLevel].uFlags & 4u)
        DkDrawObjectFacing(pX, &v.Side, v.nPass);
    else
        DrawObject(pX, v.nPass);
}

// Near objects wait for the end of the blocks, while there is room for them.
void DeferOrDraw(View& v, DK_ACTOR* pX, DK_MODEL* pModel)
{
    if (gxObjectDistance < gxNearObjectDistance && v.nDeferred < DK_MAX_DEFERRED_OBJECTS)
        v.apDeferred[v.nDeferred++] = pX;
    else
        DrawAtLevel(v, pX, pModel, 0);
}

// An object of the visible blocks, by the two wedges: out of the near wedge it is tried a
// radius further on against the far one; in the near wedge but beyond the far one (a far wedge
// shorter than the near) it is drawn coarse.
void DrawCulledObject(View& v, DK_ACTOR* pX, DK_MODEL* pModel)
{
    DK_POINT_XZ p = GroundPoint(pX);
    const bool boSoftwareOrType2 = !IsHardware() || DkGetHardwareType() == 2;
    if (!DkPointInWedge(&p, &v.Near))
    {
        p.x = FfAdd(p.x, FfMul(v.xDx, pModel->xRadius));
        p.z = FfAdd(p.z, FfMul(v.xDz, pModel->xRadius));
        if (DkPointInWedge(&p, &v.Far))
            DeferOrDraw(v, pX, pModel);
        return;
    }
    if (boSoftwareOrType2)
        DkSetZWriteEnable(0);
    if (!DkPointInWedge(&p, &v.Far))
    {
        Send(D3DRENDERSTATE_TEXTUREPERSPECTIVE, 0);
        DrawAtLevel(v, pX, pModel, pModel->uNumLevels != 1 ? 1 : 0);
        Send(D3DRENDERSTATE_TEXTUREPERSPECTIVE,
             static_cast<DWORD>(d3d->anRenderStateCache[DKRS_TEXTUREPERSPECTIVE]));
    }
    else
        DeferOrDraw(v, pX, pModel);
    if (boSoftwareOrType2)
        DkSetZWriteEnable(1);
}

void DrawObjectPass(View& v)
{
    const bool boFilter = IsFilterType();
    const bool boSort = DkGetHardwareType() == 2 || !IsHardware();
    for (int i = 0; i < gnNumVisibleBlocks; ++i)
    {
        const int nBlock = gaVisibleBlocks[i];
        if (nBlock >= static_cast<int>(std::min<uint32_t>(guNumTrackBlocks, MAXTRACKBLOCKS)))
            continue;
        if (boSort)
            DkSortBlockActorsByDistance(v.Eye.x, v.Eye.z, i);
        for (DK_ACTOR* pX = gaTrackBlocks[nBlock].pMoveableList; pX != nullptr; pX = pX->pBlockLink)
        {
            if (boFilter)
                DkSetTextureFilter(D3DFILTER_NEAREST);
            gxObjectDistance = DistanceFromEye(pX, v.Eye.x, v.Eye.z);
            DK_MODEL* pModel = ModelOf(pX);
            if (pModel == nullptr)
                DrawCarOnBlock(v, pX);
            else if (DkIsWorldSpaceModel(pModel))
            {
                pModel->uCurrentLevel = 0;
                DrawObject(pX, v.nPass);
            }
            else
                DrawCulledObject(v, pX, pModel);
        }
    }
}

void DrawDeferredObjects(View& v)
{
    for (int i = 0; i < v.nDeferred; ++i)
    {
        if (gboBlendNearObjects)
            DkSetTranslucent(1);
        gxObjectDistance = DK_FIXED_ONE;
        DrawAtLevel(v, v.apDeferred[i], ModelOf(v.apDeferred[i]), 0);
        if (gboBlendNearObjects)
            DkSetTranslucent(0);
    }
    if (IsFilterType())
        DkSetTextureFilter(static_cast<uint32_t>(d3d->anRenderStateCache[DKRS_TEXTUREFILTER]));
}

// The 2D overlays over the whole display: world triangles, then with depth off the blit
// queues 3 and 2, batch A, queue 1 and batch B.
void DrawOverlays(const DK_CAMERA* pCameraRecord)
{
    ApplyViewport(nullptr);
    // The device no longer holds the remembered rectangle's viewport: the next view applies its
    // own again, or a view smaller than the display would be drawn over all of it.
    gpLastViewportRect = nullptr;
    DkProcessWorldTriangles(pCameraRecord);
    DkSetCullMode(D3DCULL_NONE);
    DkSetZEnable(0);
    DkSetZWriteEnable(0);
    DkDrawPolyBlitQueue3();
    DkDrawPolyBlitQueue2();
    DkProcess2DTriangles();
    DkDrawPolyBlitQueue1();
    DkProcess2DTrianglesB();
    DkSetZEnable(1);
    DkSetZWriteEnable(1);
}

View MakeView(DK_ACTOR* pCamera, DK_ACTOR* pCar, DK_ACTOR* pCarRoot, int nPass)
{
    View v{};
    v.pCamera = pCamera;
    v.pCar = pCar;
    v.pCarRoot = pCarRoot;
    v.nPass = nPass;
    FfMatGetPosition(&v.Eye, &pCamera->World);
    DkGetGroundDirection(pCamera, &v.xDx, &v.xDz);
    v.Side = {v.xDz, 0, FfNeg(v.xDx)};
    const DK_POINT_XZ apex = {v.Eye.x, v.Eye.z};
    v.Near = DkMakeViewWedge(apex, v.xDx, v.xDz, gxObjectClipDistance);
    v.Far = DkMakeViewWedge(apex, v.xDx, v.xDz, gxHorizonDistance);
    return v;
}

const char* LockFailureName(HRESULT hr)
{
    switch (hr)
    {
        case DDERR_INVALIDOBJECT:
            return "DDERR_INVALIDOBJECT ";
        case DDERR_INVALIDPARAMS:
            return "DDERR_INVALIDPARAMS  ";
        case DDERR_OUTOFMEMORY:
            return "DDERR_OUTOFMEMORY  ";
        case DDERR_SURFACEBUSY:
            return "DDERR_SURFACEBUSY  ";
        case DDERR_SURFACELOST:
            return "DDERR_SURFACELOST  ";
        case DDERR_WASSTILLDRAWING:
            return "DDERR_WASSTILLDRAWING  ";
    }
    return nullptr;
}

// A channel of a 16-bit pixel by its mask, moved down to bit 0 and up to fill 8 bits.
uint32_t Channel(uint32_t uPixel, uint32_t uMask)
{
    if (uMask == 0)
        return 0;
    const int nLow = std::countr_zero(uMask);
    const int nBits = std::popcount(uMask);
    const uint32_t uValue = (uPixel & uMask) >> nLow;
    return nBits >= 8 ? uValue >> (nBits - 8) : uValue << (8 - nBits);
}

} // namespace

void DkDescribeViewport(const DK_RECT* pRect, D3DVIEWPORT2* pViewport)
{
    D3DVIEWPORT2& vp = *pViewport;
    vp = D3DVIEWPORT2{};
    vp.dwSize = sizeof vp;
    if (pRect != nullptr)
    {
        vp.dwX = static_cast<DWORD>(pRect->x);
        vp.dwY = static_cast<DWORD>(pRect->y);
        vp.dwWidth = static_cast<DWORD>(pRect->w);
        vp.dwHeight = static_cast<DWORD>(pRect->h);
    }
    else
    {
        vp.dwWidth = static_cast<DWORD>(d2d->nWidth);
        vp.dwHeight = static_cast<DWORD>(d2d->nHeight);
    }
    const float fAspect =
        vp.dwHeight != 0 ? static_cast<float>(vp.dwWidth) / static_cast<float>(vp.dwHeight) : 0.0f;
    vp.dvClipX = -1.0f;
    vp.dvClipY = fAspect;
    vp.dvClipWidth = 2.0f;
    vp.dvClipHeight = 2.0f * fAspect;
    vp.dvMinZ = 0.0f;
    vp.dvMaxZ = 1.0f;
}

int DkRender3D(DK_ACTOR* pRoot, DK_ACTOR* pCamera, const DK_RECT* pRect, DK_ACTOR* pCar,
               DK_ACTOR* pCarRoot, int nPass)
{
    gboGameScene3D = TRUE;
    if (pRect == nullptr)
    {
        DKREPORT("ERROR (DkRender3D): Pointer to viewport is NULL!");
        return 1;
    }
    if (pCar == nullptr)
        DKREPORT("ERROR (DkRender3D): Pointer to current car actor is NULL");
    if (pRect != gpLastViewportRect)
    {
        gpLastViewportRect = pRect;
        ApplyViewport(pRect);
    }
    if (gboTrackBlocksActive)
    {
        DkComputeVisibleTrackBlocks(pCamera, pRect);
        const int nType = DkGetHardwareType();
        if (nType == 2 || nType == 6)
            DkSortVisibleTrackBlocks();
    }
    DkUpdateActorTree(pRoot);
    DkSyncActorTreeD3D(pRoot);
    DkSetCameraTransform(pCamera);
    if (pCamera != nullptr)
        DrawTrack(pCamera, pCar, pCarRoot, nPass);
    return 1;
}

int DkRender3DActorTree(DK_ACTOR* pRoot, DK_ACTOR* pCamera, const DK_RECT* pRect, int nPass)
{
    gboGameScene3D = FALSE;
    DkUpdateActorTree(pRoot);
    DkSyncActorTreeD3D(pRoot);
    DkSetCameraTransform(pCamera);
    if (pRect == nullptr)
    {
        DKREPORT("ERROR (DkRender3D): Pointer to viewport is NULL!");
        return 1;
    }
    ApplyViewport(pRect);
    gpLastViewportRect = pRect;
    if (Device() == nullptr)
        return 1;
    TRYD3D(Device()->BeginScene());
    DrawObject(pRoot, nPass);
    SetWorld(kIdentity);
    DkSetZEnable(0);
    DkDrawPolyBlitQueue3();
    DkDrawPolyBlitQueue2();
    DkDrawPolyBlitQueue1();
    DkSetZEnable(1);
    DkRenderLines(pCamera);
    TRYD3D(Device()->EndScene());
    return 1;
}

int DkClearTarget(void)
{
    ClearDisplay(D3DCLEAR_TARGET);
    return 1;
}

int DkClearZBuffer(void)
{
    if (!DkIsZBufferlessDevice())
        ClearDisplay(D3DCLEAR_ZBUFFER);
    return 1;
}

int DrawTrack(DK_ACTOR* pCamera, DK_ACTOR* pCar, DK_ACTOR* pCarRoot, int nPass)
{
    if (pCamera == nullptr || Device() == nullptr)
        return 1;
    gpRenderCameraActor = pCamera;
    gxObjectDistance = 0;
    View v = MakeView(pCamera, pCar, pCarRoot, nPass);
    gFogEyePoint = v.Eye;
    const DK_CAMERA* pCameraRecord = pCamera->uType == DK_ACTOR_CAMERA
                                         ? static_cast<const DK_CAMERA*>(pCamera->pObject)
                                         : nullptr;
    const int nType = DkGetHardwareType();

    LightTrackFromCars();
    Send(D3DRENDERSTATE_FOGENABLE, 1);
    TRYD3D(Device()->BeginScene());

    if (gpHorizonActor != nullptr)
    {
        // The sky behind everything: no colour key, no depth.
        Send(D3DRENDERSTATE_COLORKEYENABLE, 0);
        if (nType != 4)
            DkSetZEnable(0);
        DkSetZWriteEnable(0);
        DrawHorizon(gpHorizonActor, nPass);
        if (nType != 4)
            DkSetZEnable(1);
        DkSetZWriteEnable(1);
    }
    SetWorld(kIdentity);

    if (guNumTrackBlocks == 0)
        DrawAllActors(&v.Side);
    else
    {
        DrawTrackPass();
        Send(D3DRENDERSTATE_COLORKEYENABLE, 1);
        if (IsHardware() && !DkIsZBufferlessDevice())
        {
            DkSetTranslucent(1);
            DkProcessShadows();
            DkSetTranslucent(0);
        }
        DrawObjectPass(v);
        DrawDeferredObjects(v);
    }

    DkSetTranslucent(1);
    SetWorld(kIdentity);
    // Actor triangles are opaque where the device cannot blend by texture alpha.
    const bool boOpaqueTriangles = !DkCapGetD() && nType != 3;
    if (boOpaqueTriangles)
    {
        Send(D3DRENDERSTATE_STIPPLEDALPHA, 0);
        Send(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
    }
    DkProcessTriangles(pCameraRecord);
    if (boOpaqueTriangles)
    {
        Send(D3DRENDERSTATE_STIPPLEDALPHA, 1);
        Send(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    }
    if (DkGetUse3DBitmaps())
    {
        DkSetTextureFilter(D3DFILTER_NEAREST);
        DkProcess3DBitmaps(pCamera);
        DkSetTextureFilter(D3DFILTER_LINEAR);
    }
    gnLastDepthResult = DkReadDepthAt(gDepthSample.nX, gDepthSample.nY);
    if (nType == 3)
        DkSetTranslucent(0);
    DkRenderLines(pCamera);
    if (nType == 3)
        DkSetTranslucent(1);
    Send(D3DRENDERSTATE_FOGENABLE, 0);
    if (gboDrawOverlaysInScene)
        DrawOverlays(pCameraRecord);
    DkSetCullMode(static_cast<uint32_t>(d3d->anRenderStateCache[DKRS_CULLMODE]));
    DkSetTranslucent(0);
    TRYD3D(Device()->EndScene());
    return 1;
}

void DrawAllActors(const DK_VECTOR* pSide)
{
    DkSetTranslucent(0);
    uint32_t uSeen = 0;
    for (int i = 0; i < MAXACTORS && uSeen < guNumActors; ++i)
    {
        DK_ACTOR* pActor = gapActors[i];
        if (pActor == nullptr)
            continue;
        ++uSeen;
        const DK_MODEL* pModel = ModelOf(pActor);
        const DK_MODEL_LEVEL* pLevel = pModel != nullptr ? CurrentLevel(pModel) : nullptr;
        if (pLevel == nullptr)
            continue;
        if (pLevel->uFlags & 4u)
        {
            DkDrawObjectFacing(pActor, pSide, 0);
            continue;
        }
        SetWorld(DeviceMatrix(pActor));
        const bool boCullOff = pLevel->uFlags & 1u;
        if (boCullOff)
            DkSetCullMode(D3DCULL_NONE);
        // Each list selects its texture afresh and leaves nothing for the next to skip.
        for (const DK_MODEL_NODE* pNode = pLevel->pFirstNode; pNode != nullptr;
             pNode = pNode->pNext)
        {
            DkSelectListTexture(pNode->nTexture, FALSE);
            DrawIndexed(pNode, pLevel->nVertexType, pNode->pVertices, nullptr);
        }
        if (boCullOff)
            DkSetCullMode(static_cast<uint32_t>(d3d->anRenderStateCache[DKRS_CULLMODE]));
    }
}

void DkSortBlockActorsByDistance(int32_t xEyeX, int32_t xEyeZ, int nPosition)
{
    if (nPosition < 0 || nPosition >= gnNumVisibleBlocks)
        return;
    const int nBlock = gaVisibleBlocks[nPosition];
    if (nBlock >= static_cast<int>(std::min<uint32_t>(guNumTrackBlocks, MAXTRACKBLOCKS)))
        return;
    // One pass: the farther of two neighbours moves ahead of the nearer.
    for (DK_ACTOR** ppLink = &gaTrackBlocks[nBlock].pMoveableList;
         *ppLink != nullptr && (*ppLink)->pBlockLink != nullptr; ppLink = &(*ppLink)->pBlockLink)
    {
        DK_ACTOR* pFirst = *ppLink;
        DK_ACTOR* pSecond = pFirst->pBlockLink;
        if (DistanceFromEye(pFirst, xEyeX, xEyeZ) < DistanceFromEye(pSecond, xEyeX, xEyeZ))
        {
            pFirst->pBlockLink = pSecond->pBlockLink;
            pSecond->pBlockLink = pFirst;
            *ppLink = pSecond;
        }
    }
}

void DkSetTrackDrawParamA(int nOn)
{
    gboDrawOverlaysInScene = nOn ? TRUE : FALSE;
}

int DkSetTrackDrawParamB(int nOn)
{
    gboBlendNearObjects = nOn ? TRUE : FALSE;
    return nOn;
}

int32_t DkSetTrackDrawParamC(int32_t xDistance)
{
    gxNearObjectDistance = xDistance;
    return xDistance;
}

int DkSetDrawingFrame(int nValue)
{
    gboDrawingFrame = nValue;
    return nValue;
}

int DkGetDrawingFrame(void)
{
    return gboDrawingFrame;
}

int32_t DkSetDepthSamplePoint(int nX, int nY)
{
    if (!InsideDisplay(nX, nY))
        return 0;
    gDepthSample = {nX, nY};
    return gnLastDepthResult;
}

uint32_t DkSetSamplePoint(int nX, int nY)
{
    if (!InsideDisplay(nX, nY))
        return kPointOutside;
    gPixelSample = {nX, nY};
    return guLastSample;
}

uint32_t DkSampleBackSurface(void)
{
    guLastSample = DkReadBackSurfacePixel(gPixelSample.nX, gPixelSample.nY);
    return guLastSample;
}

uint32_t DkGetLastSample(void)
{
    return guLastSample;
}

uint32_t DkReadBackSurfacePixel(int nX, int nY)
{
    if (!IsHardware() || !InsideDisplay(nX, nY))
        return kNoPixel;
    IDirectDrawSurface* lpBack = d2d->BackSurface.lpSurface;
    if (lpBack == nullptr)
    {
        DkLog("Backsurface == NULL");
        return kNoPixel;
    }
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    const HRESULT hr = lpBack->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr);
    if (hr != DD_OK)
    {
        if (const char* pszName = LockFailureName(hr))
            DkLog(pszName);
        DkLog("Can't lock backbuffer");
        return kNoPixel;
    }
    // A mode that could not be set leaves the surface smaller than the display.
    if (desc.ddpfPixelFormat.dwRGBBitCount != 16 || static_cast<DWORD>(nX) >= desc.dwWidth ||
        static_cast<DWORD>(nY) >= desc.dwHeight)
    {
        lpBack->Unlock(nullptr);
        return kNoPixel;
    }
    const uint8_t* pRow = static_cast<const uint8_t*>(desc.lpSurface) +
                          static_cast<ptrdiff_t>(nY) * (desc.lPitch / 2) * 2;
    const uint32_t uPixel = static_cast<uint32_t>(pRow[2 * nX] | pRow[2 * nX + 1] << 8);
    lpBack->Unlock(nullptr);
    const DDPIXELFORMAT& f = desc.ddpfPixelFormat;
    return Channel(uPixel, f.dwRBitMask) | Channel(uPixel, f.dwGBitMask) << 8 |
           Channel(uPixel, f.dwBBitMask) << 16;
}

int DkReadDepthAt(int nX, int nY)
{
    IDirectDrawSurface* lpDepth = d2d->ZBuffer.lpSurface;
    if (!IsHardware() || lpDepth == nullptr || !InsideDisplay(nX, nY))
        return 0;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (lpDepth->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK)
        return 1;
    int nResult = 0;
    if (desc.ddpfPixelFormat.dwZBufferBitDepth == 16 && static_cast<DWORD>(nX) < desc.dwWidth &&
        static_cast<DWORD>(nY) < desc.dwHeight)
    {
        const uint8_t* pRow =
            static_cast<const uint8_t*>(desc.lpSurface) + static_cast<ptrdiff_t>(nY) * desc.lPitch;
        nResult = (pRow[2 * nX] | pRow[2 * nX + 1] << 8) == 0xFFFF ? 1 : 0;
    }
    lpDepth->Unlock(nullptr);
    return nResult;
}

void DkResetSamplePointsForTests(void)
{
    gDepthSample = {-1, -1};
    gnLastDepthResult = 0;
    gPixelSample = {-1, -1};
    guLastSample = 0x02010102u;
}
