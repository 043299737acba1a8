#include "engine/common/dk_model.h"

#include "engine/common/dk_heap.h"
#include "engine/include/dk_services.h"

DK_MODEL* gapModels[MAXMODELS];
uint32_t guNumModels = 0;
DK_FIXED_MODEL* gapFixedModels[MAXFIXEDMODELS];
uint32_t guNumFixedModels = 0;

namespace
{

// The raw 16.16 word of -1.0 in each component of a world-space model's scale vector.
const int32_t kWorldSpaceMarker = static_cast<int32_t>(0xFFFF0000u);

template <typename T, size_t N> int FirstFreeSlot(T* const (&apTable)[N])
{
    for (size_t i = 0; i < N; ++i)
        if (apTable[i] == nullptr)
            return static_cast<int>(i);
    return -1;
}

template <typename T, size_t N> int SlotOf(T* const (&apTable)[N], const T* pRecord)
{
    for (size_t i = 0; i < N; ++i)
        if (apTable[i] == pRecord)
            return static_cast<int>(i);
    return -1;
}

void FreeNodeChain(DK_MODEL_NODE* pNode)
{
    while (pNode != nullptr)
    {
        DK_MODEL_NODE* pNext = pNode->pNext;
        DkHeapFree(pNode->pVertices);
        pNode->pVertices = nullptr;
        DkHeapFree(pNode->puIndices);
        pNode->puIndices = nullptr;
        DkHeapFree(pNode->pfPositions);
        pNode->pfPositions = nullptr;
        DkHeapFree(pNode);
        pNode = pNext;
    }
}

} // namespace

DK_MODEL* DkCreateModel(void)
{
    // The table fills densely from slot 0, so with no model counted every slot should be free.
    if (guNumModels == 0)
        for (int i = 0; i < MAXMODELS; ++i)
            if (gapModels[i] != nullptr)
                DKREPORT(DkFormatString("Shit! Model #%d is not NULL!", i));

    int nSlot = FirstFreeSlot(gapModels);
    if (nSlot < 0)
    {
        DKREPORT("DkCreateModel() : No more array space for models");
        return nullptr;
    }
    auto* pModel = static_cast<DK_MODEL*>(DkHeapAlloc(sizeof(DK_MODEL)));
    if (pModel == nullptr)
    {
        DKREPORT("ERROR (DkCreateModel): Unable to allocate memory");
        return nullptr;
    }
    pModel->xRadius = 0;
    if (static_cast<uint32_t>(nSlot) != guNumModels)
        DKREPORT("DkCreateModel() : Array index no. != guNumModels");
    gapModels[nSlot] = pModel;
    ++guNumModels;
    return pModel;
}

DK_MODEL* DkCopyModel(const DK_MODEL* pSource)
{
    DK_MODEL* pModel = DkCreateModel();
    if (pModel != nullptr && pSource != nullptr)
        *pModel = *pSource;
    return pModel;
}

void DkDeleteModel(DK_MODEL* pModel)
{
    if (pModel == nullptr)
    {
        DKREPORT("DkDeleteModel() : pModel is NULL");
        return;
    }
    int nSlot = SlotOf(gapModels, pModel);
    if (nSlot < 0)
    {
        DKREPORT("ERROR: The model we were trying to delete cannot be found!");
        return;
    }
    // The shape lists stay: the heap reclaims everything at its reset anyway.
    for (DK_MODEL_LEVEL& level : pModel->aLevels)
        FreeNodeChain(level.pFirstNode);
    DkHeapFree(pModel);
    gapModels[nSlot] = nullptr;
    if (guNumModels == 0 || guNumModels > MAXMODELS)
        DKREPORT("guNumModels >= MAXMODELS");
    if (guNumModels != 0)
        --guNumModels;
}

DK_FIXED_MODEL* DkCreateFixedModel(void)
{
    int nSlot = FirstFreeSlot(gapFixedModels);
    if (nSlot < 0)
    {
        DKREPORT("DkCreateFixedModel() : No more array space for Fixed models");
        return nullptr;
    }
    auto* pFixed = static_cast<DK_FIXED_MODEL*>(DkHeapAlloc(sizeof(DK_FIXED_MODEL)));
    if (pFixed == nullptr)
    {
        DKREPORT("ERROR (DkCreateFixedModel): Unable to allocate memory for center point");
        return nullptr;
    }
    pFixed->pModel = static_cast<DK_MODEL*>(DkHeapAlloc(sizeof(DK_MODEL)));
    if (pFixed->pModel == nullptr)
    {
        DKREPORT("ERROR (DkCreateFixedModel): Unable to allocate memory");
        return nullptr;
    }
    gapFixedModels[nSlot] = pFixed;
    ++guNumFixedModels;
    return pFixed;
}

void DkDeleteFixedModel(DK_FIXED_MODEL* pFixedModel)
{
    if (pFixedModel == nullptr)
    {
        DKREPORT("DkDeleteFixedModel() : pModel is NULL");
        return;
    }
    int nSlot = SlotOf(gapFixedModels, pFixedModel);
    if (nSlot < 0)
    {
        DkDebugOutput("ERROR(DkDeleteFixedModel): Cannot find model - started around 20/04/98\n");
        return;
    }
    gapFixedModels[nSlot] = nullptr;
    if (guNumFixedModels != 0)
        --guNumFixedModels;
}

void DkSetModelAlpha(DK_MODEL* pModel, int nAlpha)
{
    const uint32_t uAlpha = static_cast<uint32_t>(nAlpha & 0xFF) << 24;
    // Level 3 keeps its alpha.
    for (int nLevel = 0; nLevel < 3; ++nLevel)
        DkForEachLitVertex(pModel, nLevel,
                           [uAlpha](DK_VERTEX& v)
                           { v.Lit.uColour = (v.Lit.uColour & 0x00FFFFFFu) | uAlpha; });
}

BOOL DkIsWorldSpaceModel(const DK_MODEL* pModel)
{
    return pModel != nullptr && pModel->Scale.x == kWorldSpaceMarker &&
                   pModel->Scale.y == kWorldSpaceMarker && pModel->Scale.z == kWorldSpaceMarker
               ? TRUE
               : FALSE;
}

BOOL DkGetModelBounds(const DK_MODEL* pModel, DK_VECTOR* pMin, DK_VECTOR* pMax)
{
    if (pModel == nullptr || pModel->pVertices == nullptr || pModel->nNumVertices <= 0)
        return FALSE;
    const DK_VERTEX& first = pModel->pVertices[0];
    float afMin[3] = {first.x, first.y, first.z};
    float afMax[3] = {first.x, first.y, first.z};
    for (int32_t i = 1; i < pModel->nNumVertices; ++i)
    {
        const DK_VERTEX& v = pModel->pVertices[i];
        const float af[3] = {v.x, v.y, v.z};
        for (int k = 0; k < 3; ++k)
        {
            afMin[k] = af[k] < afMin[k] ? af[k] : afMin[k];
            afMax[k] = af[k] > afMax[k] ? af[k] : afMax[k];
        }
    }
    *pMin = {DkFloatToFixed(afMin[0]), DkFloatToFixed(afMin[1]), DkFloatToFixed(afMin[2])};
    *pMax = {DkFloatToFixed(afMax[0]), DkFloatToFixed(afMax[1]), DkFloatToFixed(afMax[2])};
    return TRUE;
}
