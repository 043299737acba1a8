#include "engine/pc/3d/dk_light.h"

#include <algorithm>
#include <iterator>

#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_model.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/3d/dk_tblk.h"

DK_LIGHT* gapLights[MAXLIGHTS];
uint32_t guNumLights = 0;
DK_ACTOR* gapLightActors[MAXLIGHTS];
int32_t gxLightRadius = 500 << 16;
uint8_t gaAmbientLight[4][4];
uint8_t gCarAmbientLight[4];
uint8_t gLastTintColour[4];

namespace
{

const uint8_t kUnlit = 40;
const uint32_t kUnlitGrey = 0x282828;
const uint32_t kLightFlags = 3; // active, no specular
const int kTintStep = 5;

BOOL gboLightDestructorAdded = FALSE;
// Where the car lights sit on their cars, fixed by the first car light of the run.
BOOL gboCarLightOffsetFixed = FALSE;
DK_VECTOR gCarLightOffset;

int32_t Abs32(int32_t n)
{
    return n < 0 ? FfNeg(n) : n;
}

float Unfixed(int32_t x)
{
    return static_cast<float>(x / 65536.0);
}

uint8_t Level(uint32_t uColour)
{
    return static_cast<uint8_t>(uColour & 0xFF);
}

DK_MODEL* ModelOf(const DK_ACTOR* pActor)
{
    return pActor->uType == DK_ACTOR_MODEL ? static_cast<DK_MODEL*>(pActor->pObject) : nullptr;
}

DK_VECTOR Translation(const DK_ACTOR* pActor)
{
    DK_VECTOR v;
    FfMatGetPosition(&v, &pActor->World);
    return v;
}

void SetActorGrey(DK_ACTOR* pActor, uint8_t uLevel)
{
    pActor->auColour[0] = pActor->auColour[1] = pActor->auColour[2] = uLevel;
}

// Calls fn for each model actor of a block: from its first moveable actor on, down to the first
// child where there is one, else along the block's list. Children on other blocks could make
// that walk circle, so it stops after as many steps as there can be actors.
template <typename Fn> void ForEachBlockModelActor(const DK_TRACK_BLOCK& block, Fn&& fn)
{
    int nSteps = 0;
    for (DK_ACTOR* pActor = block.pMoveableList; pActor != nullptr && nSteps < MAXACTORS;
         pActor = pActor->pChild != nullptr ? pActor->pChild : pActor->pBlockLink, ++nSteps)
        if (DK_MODEL* pModel = ModelOf(pActor))
            fn(pActor, pModel);
}

template <typename Fn> void ForEachVisibleBlock(Fn&& fn)
{
    for (int i = 0; i < gnNumVisibleBlocks && i < MAXTRACKBLOCKS; ++i)
        if (gaVisibleBlocks[i] < guNumTrackBlocks && gaVisibleBlocks[i] < MAXTRACKBLOCKS)
            fn(gaTrackBlocks[gaVisibleBlocks[i]]);
}

uint8_t TintChannel(uint32_t uValue, uint32_t uTarget)
{
    int n = static_cast<int>(uValue & 0xFF);
    const int nTarget = static_cast<int>(uTarget & 0xFF);
    // A channel within one step of its target stops short of it.
    if (n < nTarget)
        n += kTintStep;
    if (n > nTarget)
        n -= kTintStep;
    return static_cast<uint8_t>(std::min(n, 255));
}

void TintModel(DK_MODEL* pModel, uint32_t uTarget)
{
    DkForEachLitVertex(pModel, 0,
                       [uTarget](DK_VERTEX& v)
                       {
                           const uint32_t c = v.Lit.uColour;
                           const uint8_t r = TintChannel(c >> 16, uTarget >> 16);
                           const uint8_t g = TintChannel(c >> 8, uTarget >> 8);
                           const uint8_t b = TintChannel(c, uTarget);
                           v.Lit.uColour = (c & 0xFF000000u) | (static_cast<uint32_t>(r) << 16) |
                                           (static_cast<uint32_t>(g) << 8) | b;
                           gLastTintColour[0] = r;
                           gLastTintColour[1] = g;
                           gLastTintColour[2] = b;
                       });
}

} // namespace

DK_ACTOR* DkCreateLight(int nType, int32_t r, int32_t g, int32_t b, const DK_VECTOR* pPosition,
                        const int16_t* pAngles, DK_ACTOR* pParent)
{
    if (pParent == nullptr)
    {
        DKREPORT("DkCreateLight(): Parent is NULL!");
        return nullptr;
    }
    if (!gboLightDestructorAdded)
        gboLightDestructorAdded = DkAddDestructor(DkLightDestructor, "Light destructor") >= 0;

    auto* pFree = std::find(std::begin(gapLights), std::end(gapLights), nullptr);
    if (pFree == std::end(gapLights))
    {
        DKREPORT("ERROR (DkCreateLight): No more array space");
        return nullptr;
    }
    auto* pLight = static_cast<DK_LIGHT*>(DkHeapAlloc(sizeof(DK_LIGHT)));
    if (pLight == nullptr)
        return nullptr;
    // With the actor table full there is no light: nothing is left in the light table.
    DK_ACTOR* pActor = DkCreateActor(pParent);
    if (pActor == nullptr)
    {
        DkHeapFree(pLight);
        return nullptr;
    }

    const DK_VECTOR position = pPosition != nullptr ? *pPosition : DK_VECTOR{0, 0, 0};
    pLight->nEnabled = 1;
    pLight->axColour[0] = r;
    pLight->axColour[1] = g;
    pLight->axColour[2] = b;
    DK_LIGHT_DESC& desc = pLight->Light;
    desc = DK_LIGHT_DESC{};
    desc.uSize = sizeof(DK_LIGHT_DESC);
    desc.afColour[0] = Unfixed(r);
    desc.afColour[1] = Unfixed(g);
    desc.afColour[2] = Unfixed(b);
    desc.afColour[3] = Unfixed(1);
    desc.afPosition[0] = Unfixed(position.x);
    desc.afPosition[1] = Unfixed(position.y);
    desc.afPosition[2] = Unfixed(position.z);
    desc.afAttenuation[1] = 1.0f;
    desc.fRange = 500.0f;
    desc.uFlags = kLightFlags;
    switch (nType)
    {
        case 0:
            desc.uType = DK_LIGHT_POINT;
            break;
        case 1:
            desc.uType = DK_LIGHT_SPOT;
            desc.fFalloff = 1.0f;
            break;
        case 2:
            desc.uType = DK_LIGHT_DIRECTIONAL;
            break;
        case 3:
            desc.uType = DK_LIGHT_PARALLELPOINT;
            break;
        default:
            break;
    }
    // From the position towards the parent's origin.
    DK_VECTOR direction = {FfNeg(position.x), FfNeg(position.y), FfNeg(position.z)};
    FfVecNormalise(&direction, &direction);
    desc.afDirection[0] = Unfixed(direction.x);
    desc.afDirection[1] = Unfixed(direction.y);
    desc.afDirection[2] = Unfixed(direction.z);

    *pFree = pLight;
    DkSetActorObject(pActor, DK_ACTOR_LIGHT, pLight);
    DkSetActor(pActor, &position, pAngles);
    ++guNumLights;
    return pActor;
}

void DkDeleteLight(DK_LIGHT* pLight)
{
    if (pLight == nullptr)
    {
        DKREPORT("DkDeleteLight() : pLight is NULL");
        return;
    }
    auto* pSlot = std::find(std::begin(gapLights), std::end(gapLights), pLight);
    if (pSlot == std::end(gapLights))
        return;
    *pSlot = nullptr;
    if (guNumLights != 0)
        --guNumLights;
    // A car slot must not keep a light that is gone.
    for (DK_ACTOR*& pActor : gapLightActors)
        if (pActor != nullptr && pActor->pObject == pLight)
            pActor = nullptr;
}

void DkDeleteAllLights(void)
{
    for (DK_LIGHT* pLight : gapLights)
        if (pLight != nullptr)
            DkDeleteLight(pLight);
    guNumLights = 0;
}

BOOL DkLightDestructor(void)
{
    gboLightDestructorAdded = FALSE;
    DkDeleteAllLights();
    return TRUE;
}

void DkSyncLightD3D(DK_ACTOR* pActor)
{
    if (pActor == nullptr || pActor->uType != DK_ACTOR_LIGHT || pActor->pObject == nullptr)
        return;
    DK_LIGHT_DESC& desc = static_cast<DK_LIGHT*>(pActor->pObject)->Light;
    const DK_MATRIX& world = pActor->World;
    switch (desc.uType)
    {
        case DK_LIGHT_DIRECTIONAL:
            DkTransformScreenPoint(desc.afDirection, pActor->anAngles, &world);
            DkNormaliseVector(desc.afDirection);
            break;
        case DK_LIGHT_SPOT:
            // The raw 16.16 words of the X axis, as they are.
            for (int i = 0; i < 3; ++i)
                desc.afDirection[i] = static_cast<float>(world.m[0][i]);
            [[fallthrough]];
        case DK_LIGHT_POINT:
            DkTransformPointToFloat(desc.afPosition, pActor->Position.x, pActor->Position.y,
                                    pActor->Position.z, &world);
            break;
        default:
            break;
    }
}

void DkSetAmbientLightStates(const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
                             const uint8_t* c3, const uint8_t* c4, const uint8_t* c5)
{
    if (c0 == nullptr || c1 == nullptr || c2 == nullptr || c3 == nullptr || c4 == nullptr ||
        c5 == nullptr)
    {
        DKREPORT("ERROR(DkSetAmbientLightStates): Pointer to a colour is NULL");
        return;
    }
    const uint8_t* apColours[4] = {c0, c1, c2, c3};
    for (int i = 0; i < 4; ++i)
        std::copy(apColours[i], apColours[i] + 4, gaAmbientLight[i]);
}

void DkSetCarAmbientLight(const uint8_t* c0, const uint8_t* c1)
{
    if (c0 == nullptr || c1 == nullptr)
    {
        DKREPORT("ERROR(DkSetCarAmbientLight): Pointer to a colour is NULL");
        return;
    }
    std::copy(c0, c0 + 4, gCarAmbientLight);
}

DK_ACTOR* DkCreateCarLight(DK_ACTOR* pParent, int32_t xRadius, int nSlot)
{
    if (nSlot < 0 || nSlot >= MAXLIGHTS)
    {
        DKREPORT(DkFormatString("DkCreateCarLight(): car slot %d is out of range", nSlot));
        return nullptr;
    }
    if (!gboCarLightOffsetFixed)
    {
        gCarLightOffset = {FfSub(xRadius, DK_FIXED_ONE), DK_FIXED_ONE, 0};
        gboCarLightOffsetFixed = TRUE;
    }
    gxLightRadius = xRadius;
    DK_ACTOR* pLight = DkCreateLight(0, 0, 0, DK_FIXED_ONE, nullptr, nullptr, pParent);
    gapLightActors[nSlot] = pLight;
    if (pLight != nullptr)
        DkSetActorPosition(pLight, &gCarLightOffset);
    return pLight;
}

uint32_t DkLightFalloff(const DK_VECTOR* pLight, const DK_VECTOR* pPoint)
{
    const int32_t xRadius = gxLightRadius;
    const int32_t dx = FfSub(pPoint->x, pLight->x);
    const int32_t dz = FfSub(pPoint->z, pLight->z);
    int32_t nLevel = kUnlit;
    // Heights do not count; the square is rejected before the root is taken.
    if (Abs32(dx) < xRadius && Abs32(dz) < xRadius)
    {
        const int32_t xDistance = FfSqrt(FfAdd(FfMul(dx, dx), FfMul(dz, dz)));
        if (xDistance < xRadius)
            nLevel = std::min<int32_t>(
                FfSub(16 << 16, FfMul(FfDiv(16 << 16, xRadius), xDistance)) >> 12, 255);
    }
    const uint32_t uLevel = static_cast<uint32_t>(std::max<int32_t>(nLevel, kUnlit));
    return uLevel | (uLevel << 8) | (uLevel << 16);
}

void DkLightModelVertices(DK_MODEL* pModel, const DK_VECTOR* pOffset, const DK_VECTOR* pLight,
                          BOOL boAsTheyAre)
{
    if (pLight == nullptr)
        return;
    const bool boMove = !boAsTheyAre && pOffset != nullptr;
    DkForEachLitVertex(
        pModel, 0,
        [&](DK_VERTEX& v)
        {
            DK_VECTOR p = {DkFloatToFixed(v.x), DkFloatToFixed(v.y), DkFloatToFixed(v.z)};
            if (boMove)
                p = {FfAdd(p.x, pOffset->x), FfAdd(p.y, pOffset->y), FfAdd(p.z, pOffset->z)};
            const uint32_t uGrey = DkLightFalloff(pLight, &p);
            if (Level(uGrey) > kUnlit)
                v.Lit.uColour = 0xFF000000u | uGrey;
        });
}

void DkResetModelVertexLight(DK_MODEL* pModel)
{
    DkForEachLitVertex(pModel, 0,
                       [](DK_VERTEX& v)
                       { v.Lit.uColour = (v.Lit.uColour & 0xFF000000u) | kUnlitGrey; });
}

void DkLightActor(int nSlot)
{
    if (nSlot < 0 || nSlot >= MAXLIGHTS)
    {
        DKREPORT(DkFormatString("DkLightActor(): car slot %d is out of range", nSlot));
        return;
    }
    if (nSlot == 0)
        ForEachVisibleBlock(
            [](DK_TRACK_BLOCK& block)
            {
                ForEachBlockModelActor(block,
                                       [](DK_ACTOR* pActor, DK_MODEL* pModel)
                                       {
                                           if (DkIsWorldSpaceModel(pModel))
                                               DkResetModelVertexLight(pModel);
                                           else
                                               SetActorGrey(pActor, kUnlit);
                                       });
                DkResetModelVertexLight(block.pMesh);
            });

    const DK_ACTOR* pLightActor = gapLightActors[nSlot];
    if (pLightActor == nullptr)
        return;
    const DK_VECTOR light = Translation(pLightActor);
    // Later lights overwrite earlier ones wherever their own level is above the floor.
    ForEachVisibleBlock(
        [&light](DK_TRACK_BLOCK& block)
        {
            ForEachBlockModelActor(block,
                                   [&light](DK_ACTOR* pActor, DK_MODEL* pModel)
                                   {
                                       if (DkIsWorldSpaceModel(pModel))
                                       {
                                           DkLightModelVertices(pModel, nullptr, &light, TRUE);
                                           return;
                                       }
                                       const DK_VECTOR at = Translation(pActor);
                                       const uint32_t uGrey = DkLightFalloff(&light, &at);
                                       if (Level(uGrey) > kUnlit)
                                           SetActorGrey(pActor, Level(uGrey));
                                   });
            DkLightModelVertices(block.pMesh, nullptr, &light, TRUE);
        });
}

void DkTintActorTree(DK_ACTOR* pFirst, uint32_t uColour)
{
    if (!d3d->nHardwareTexturing)
        return;
    for (DK_ACTOR* pActor = pFirst; pActor != nullptr; pActor = pActor->pNext)
    {
        const uint32_t uIdentifier = pActor->uId & DK_ACTOR_ID_MASK;
        DK_MODEL* pModel = ModelOf(pActor);
        if (pModel != nullptr && pActor != gpHorizonActor && uIdentifier != 0 && uIdentifier != 6)
            TintModel(pModel, uColour);
        if (pActor->pChild != nullptr)
            DkTintActorTree(pActor->pChild, uColour);
    }
}

uint32_t DkGetLightingValue(void)
{
    return static_cast<uint32_t>(gLastTintColour[0]) |
           (static_cast<uint32_t>(gLastTintColour[1]) << 8) |
           (static_cast<uint32_t>(gLastTintColour[2]) << 16) |
           (static_cast<uint32_t>(gLastTintColour[3]) << 24);
}
