// Models: the drawable geometry of a model actor, up to four detail levels each a chain of
// per-texture vertex and index lists, plus the whole-shape vertex list the track blocks read.
// Fixed models are static scenery with a centre point, hung on the track block nearest to
// them rather than on the actor tree. The DK3D reader fills both; the renderer draws them.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/common/matrixop.h"

#define MAXMODELS 8196
#define MAXFIXEDMODELS 1024
#define DK_MODEL_LEVELS 4
#define DK_MODEL_LEVEL_NAME 15

// The vertex layouts of a level (the device's vertex types).
#define DK_VERTEX_UNLIT 1
#define DK_VERTEX_LIT 2

// The three words after the position in the lit layout.
struct DK_VERTEX_LIGHT
{
    uint32_t uReserved;
    uint32_t uColour; // A R G B from the high byte down
    uint32_t uSpecular;
};

// 32 bytes in either device layout: unlit (position, normal, u, v; the whole-shape lists) or
// lit (position, reserved, colour, specular, u, v). The vertex-colour operations write the
// colour word of lit vertices.
struct DK_VERTEX
{
    float x;
    float y;
    float z;
    union
    {
        float afNormal[3];
        DK_VERTEX_LIGHT Lit;
    };
    float u;
    float v;
};
static_assert(sizeof(DK_VERTEX) == 32, "a device vertex is 32 bytes");

struct DK_MODEL_NODE
{
    int32_t nTexture;   // -1: untextured, flat colour
    // Three words a vertex, filled by the draw-list builder: what followed each position (the
    // normal) before the builder wrote colours there.
    float* pfPositions;
    int32_t nNumVertices;
    DK_VERTEX* pVertices;
    int32_t nNumIndices;
    uint16_t* puIndices; // three per triangle
    DK_MODEL_NODE* pNext;
};

struct DK_MODEL_LEVEL
{
    uint8_t uFlags; // bit 0: the renderer changes render states while drawing the level
    char szName[DK_MODEL_LEVEL_NAME]; // the DK3D shape name, NUL-terminated
    int32_t nVertexType;              // DK_VERTEX_UNLIT or DK_VERTEX_LIT
    DK_MODEL_NODE* pFirstNode;
};

struct DK_MODEL
{
    DK_VERTEX* pVertices;  // whole shape, unlit layout: world coordinates for track pieces
    DK_VERTEX* pVertices2; // copies kept for deformable car bodies
    DK_VERTEX* pVertices3;
    int32_t nNumVertices;
    int32_t nNumFaces;
    void* pFaces; // the DK3D reader's face records
    DK_MODEL_LEVEL aLevels[DK_MODEL_LEVELS];
    uint8_t uCurrentLevel;
    uint8_t uNumLevels;
    // (-1.0, -1.0, -1.0) marks a world-space model: drawn with the identity transform and
    // coloured by the car lights.
    DK_VECTOR Scale;
    DK_VECTOR Second;
    int32_t xRadius; // largest horizontal extent of the vertices, 16.16
};

struct DK_FIXED_MODEL
{
    DK_VECTOR Centre;
    DK_MODEL* pModel;      // its own record, not in gapModels
    DK_FIXED_MODEL* pNext; // next fixed model on the same track block
};

extern DK_MODEL* gapModels[MAXMODELS];
extern uint32_t guNumModels;
extern DK_FIXED_MODEL* gapFixedModels[MAXFIXEDMODELS];
extern uint32_t guNumFixedModels;

// The first free slot, filled with a zeroed record; NULL (reported) when the table is full.
DK_MODEL* DkCreateModel(void);
// A new model whose record is a copy of pSource (its level chains are shared); NULL when no
// model could be created.
DK_MODEL* DkCopyModel(const DK_MODEL* pSource);
void DkDeleteModel(DK_MODEL* pModel);
DK_FIXED_MODEL* DkCreateFixedModel(void);
void DkDeleteFixedModel(DK_FIXED_MODEL* pFixedModel);
// Replaces the alpha byte of every lit vertex of levels 0 to 2.
void DkSetModelAlpha(DK_MODEL* pModel, int nAlpha);
BOOL DkIsWorldSpaceModel(const DK_MODEL* pModel);
// The box of the model's whole-shape vertices: their lowest and highest x, y and z in 16.16
// (the vertices came from 16.16 words, so they convert back exactly). FALSE for a model
// without vertices.
BOOL DkGetModelBounds(const DK_MODEL* pModel, DK_VECTOR* pMin, DK_VECTOR* pMax);

// Calls fn(vertex) for every vertex of every node of one level of the model, where the level
// holds the lit layout (the only one with a colour word).
template <typename Fn> void DkForEachLitVertex(DK_MODEL* pModel, int nLevel, Fn&& fn)
{
    if (pModel == nullptr || nLevel < 0 || nLevel >= DK_MODEL_LEVELS)
        return;
    const DK_MODEL_LEVEL& level = pModel->aLevels[nLevel];
    if (level.nVertexType != DK_VERTEX_LIT)
        return;
    for (DK_MODEL_NODE* pNode = level.pFirstNode; pNode != nullptr; pNode = pNode->pNext)
        if (pNode->pVertices != nullptr)
            for (int32_t i = 0; i < pNode->nNumVertices; ++i)
                fn(pNode->pVertices[i]);
}
