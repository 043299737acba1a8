#include "engine/pc/3d/drawprim.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "engine/common/dk_heap.h"
#include "engine/common/dk_model.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/display/dk_image.h"

namespace
{

constexpr uint32_t kOpaqueBlack = 0xFF000000u;
constexpr int kSavedWords = 3;

// Vertices whose texture coordinates took their texture's padding already.
bool gabScaled[DK_DRAWPRIM_MAX_SHAPE_VERTICES];

// The run being collected: the shape's index of each vertex taken, its saved words, its copy,
// and the run's own indices.
uint16_t gauRunSource[DK_DRAWPRIM_MAX_NODE_VERTICES];
float gafRunSaved[DK_DRAWPRIM_MAX_NODE_VERTICES * kSavedWords];
DK_VERTEX gaRunVertices[DK_DRAWPRIM_MAX_NODE_VERTICES];
uint16_t gauRunIndices[DK_DRAWPRIM_MAX_NODE_FACES * 3];
int gnRunVertices = 0;
int gnRunIndices = 0;

const DK_FACE* Faces(const DK_MODEL* pModel)
{
    return static_cast<const DK_FACE*>(pModel->pFaces);
}

// Texture coordinates of a face whose texture was padded square: the padding is not part of
// the image. A vertex shared by faces of several textures is scaled by the first one only.
void FixTextureCoordinates(DK_MODEL* pModel, const DK_FACE& face)
{
    if (face.nTexture < 0 || face.nTexture >= DK_MAX_TEXTURES)
        return;
    const DK_TEXTURE* pTexture = d3d->apTextures[face.nTexture];
    if (pTexture == nullptr || pTexture->pSourceSurface == nullptr)
        return;
    const DK_SURFACE& surface = *pTexture->pSourceSurface;
    const float fWidth = static_cast<float>(surface.rect.w);
    const float fHeight = static_cast<float>(surface.rect.h);
    const int nColumns = surface.nAddedColumns;
    const int nRows = surface.nAddedRows;
    for (uint16_t v : face.auVertices)
    {
        if (gabScaled[v])
            continue;
        DK_VERTEX& vertex = pModel->pVertices[v];
        if (nRows != 0)
            vertex.v = vertex.v * static_cast<float>(surface.rect.h - nRows) / fHeight;
        if (nColumns != 0)
            vertex.u = vertex.u * static_cast<float>(surface.rect.w - nColumns) / fWidth;
    }
    for (uint16_t v : face.auVertices)
        gabScaled[v] = true;
}

uint32_t CornerColour(const uint8_t* auRgba)
{
    return static_cast<uint32_t>(auRgba[3]) << 24 | static_cast<uint32_t>(auRgba[0]) << 16 |
           static_cast<uint32_t>(auRgba[1]) << 8 | auRgba[2];
}

// A heap copy of a work area, or NULL when it is empty or the heap is full (reported there).
template <typename T> T* HeapCopy(const T* pFrom, int nCount)
{
    if (nCount == 0)
        return nullptr;
    auto* pTo = static_cast<T*>(DkHeapAlloc(sizeof(T) * static_cast<size_t>(nCount)));
    if (pTo != nullptr)
        std::memcpy(pTo, pFrom, sizeof(T) * static_cast<size_t>(nCount));
    return pTo;
}

// The run into the node. A node whose arrays the heap could not give draws nothing.
void CloseRun(DK_MODEL_NODE* pNode, int32_t nTexture)
{
    pNode->nTexture = nTexture;
    pNode->puIndices = HeapCopy(gauRunIndices, gnRunIndices);
    pNode->pVertices = HeapCopy(gaRunVertices, gnRunVertices);
    pNode->pfPositions = HeapCopy(gafRunSaved, gnRunVertices * kSavedWords);
    if (gnRunIndices != 0 && (pNode->puIndices == nullptr || pNode->pVertices == nullptr ||
                              pNode->pfPositions == nullptr))
    {
        pNode->puIndices = nullptr;
        pNode->pVertices = nullptr;
        pNode->pfPositions = nullptr;
        gnRunVertices = 0;
        gnRunIndices = 0;
    }
    pNode->nNumVertices = gnRunVertices;
    pNode->nNumIndices = gnRunIndices;
    gnRunVertices = 0;
    gnRunIndices = 0;
}

// The next node of the chain, or NULL when the heap is full.
DK_MODEL_NODE* NextNode(DK_MODEL_NODE* pNode)
{
    auto* pNext = static_cast<DK_MODEL_NODE*>(DkHeapAlloc(sizeof(DK_MODEL_NODE)));
    pNode->pNext = pNext;
    return pNext;
}

// The run's index of shape vertex v, appended when the run has not taken it yet.
uint16_t RunIndexOf(const DK_MODEL* pModel, uint16_t v, const float* pfSaved)
{
    for (int i = 0; i < gnRunVertices; ++i)
        if (gauRunSource[i] == v)
            return static_cast<uint16_t>(i);
    const int i = gnRunVertices++;
    gauRunSource[i] = v;
    std::memcpy(&gafRunSaved[i * kSavedWords], &pfSaved[v * kSavedWords],
                sizeof(float) * kSavedWords);
    gaRunVertices[i] = pModel->pVertices[v];
    return static_cast<uint16_t>(i);
}

} // namespace

void DkCreateDrawPrimitiveModel(DK_MODEL* pModel, int nLevel, int nType, uint8_t uFlags)
{
    if (pModel == nullptr || nLevel < 0 || nLevel >= DK_MODEL_LEVELS)
    {
        DKREPORT("DkCreateDrawPrimitiveModel() : no such model level");
        return;
    }
    // The scaled flags and the run's indices hold this many vertices; the DK3D reader refuses
    // larger shapes.
    const int nVertices = pModel->nNumVertices;
    if (nVertices < 0 || nVertices > DK_DRAWPRIM_MAX_SHAPE_VERTICES ||
        (nVertices > 0 && pModel->pVertices == nullptr) ||
        (pModel->nNumFaces > 0 && pModel->pFaces == nullptr) || pModel->nNumFaces < 0)
    {
        DKREPORT(
            DkFormatString("DkCreateDrawPrimitiveModel() : a level of %d vertices", nVertices));
        return;
    }
    const DK_FACE* pFaces = Faces(pModel);
    for (int f = 0; f < pModel->nNumFaces; ++f)
        for (uint16_t v : pFaces[f].auVertices)
            if (v >= nVertices)
            {
                DKREPORT(
                    DkFormatString("DkCreateDrawPrimitiveModel() : face %d uses vertex %d of %d", f,
                                   v, nVertices));
                return;
            }

    std::fill(std::begin(gabScaled), std::end(gabScaled), false);
    auto* pfSaved = static_cast<float*>(
        DkHeapAlloc(sizeof(float) * kSavedWords * static_cast<size_t>(std::max(nVertices, 1))));
    if (pfSaved == nullptr)
        return;
    for (int i = 0; i < nVertices; ++i)
        std::memcpy(&pfSaved[i * kSavedWords], pModel->pVertices[i].afNormal,
                    sizeof(float) * kSavedWords);

    DK_MODEL_LEVEL& level = pModel->aLevels[nLevel];
    level.uFlags = uFlags;
    for (int f = 0; f < pModel->nNumFaces; ++f)
    {
        const DK_FACE& face = pFaces[f];
        if (nType == DK_VERTEX_UNLIT)
        {
            if (face.nTexture == -1)
                for (uint16_t v : face.auVertices)
                    pModel->pVertices[v].Lit.uColour = kOpaqueBlack;
            else
                FixTextureCoordinates(pModel, face);
        }
        else if (nType == DK_VERTEX_LIT)
        {
            for (int k = 0; k < 3; ++k)
            {
                DK_VERTEX_LIGHT& lit = pModel->pVertices[face.auVertices[k]].Lit;
                lit.uColour = face.nTexture == -1 ? kOpaqueBlack : CornerColour(face.aauColours[k]);
                lit.uSpecular = kOpaqueBlack;
            }
            if (face.nTexture != -1)
                FixTextureCoordinates(pModel, face);
        }
    }
    if (nType == DK_VERTEX_SCREEN)
        DKREPORT("TLVERTICES not yet supported in DRAWPRIMITIVE creation");

    level.nVertexType = nType;
    level.pFirstNode = static_cast<DK_MODEL_NODE*>(DkHeapAlloc(sizeof(DK_MODEL_NODE)));
    if (level.pFirstNode != nullptr)
        DkBuildDrawPrimitiveLists(pModel, level.pFirstNode, pfSaved);
}

void DkBuildDrawPrimitiveLists(DK_MODEL* pModel, DK_MODEL_NODE* pFirst, const float* pfSaved)
{
    if (pModel == nullptr || pFirst == nullptr)
        return;
    const DK_FACE* pFaces = Faces(pModel);
    gnRunVertices = 0;
    gnRunIndices = 0;
    if (pModel->nNumFaces <= 0 || pFaces == nullptr)
    {
        CloseRun(pFirst, -1);
        pFirst->pNext = nullptr;
        return;
    }

    DK_MODEL_NODE* pNode = pFirst;
    int32_t nTexture = pFaces[0].nTexture;
    for (int f = 0; f < pModel->nNumFaces; ++f)
    {
        const DK_FACE& face = pFaces[f];
        // A new texture starts a new node; so does a run that fills the work area, which goes
        // on in a node of the same texture.
        const bool boFull = gnRunIndices / 3 >= DK_DRAWPRIM_MAX_NODE_FACES ||
                            gnRunVertices + 3 > DK_DRAWPRIM_MAX_NODE_VERTICES;
        if (face.nTexture != nTexture || boFull)
        {
            CloseRun(pNode, nTexture);
            pNode = NextNode(pNode);
            if (pNode == nullptr)
                return;
            nTexture = face.nTexture;
        }
        for (uint16_t v : face.auVertices)
            gauRunIndices[gnRunIndices++] = RunIndexOf(pModel, v, pfSaved);
    }
    CloseRun(pNode, nTexture);
    pNode->pNext = nullptr;
}
