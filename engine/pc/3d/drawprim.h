// Indexed primitive lists: one detail level of a model, as the DK3D reader leaves it (the
// shape's vertex list and its face list), turned into what the renderer draws with
// DrawIndexedPrimitive: a chain of nodes, one per run of faces of one texture, each with its own
// compact vertices, their saved normals and 16-bit indices. Vertex colours and texture
// coordinates are fixed up here for the level's vertex type. Load time only.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

struct DK_MODEL;
struct DK_MODEL_NODE;

// A face as the DK3D reader hands it over (28 bytes).
struct DK_FACE
{
    uint16_t uSurface;        // the surface code, kept for the track kinds
    int32_t nTexture;         // texture slot, -1: flat colour
    uint8_t aauColours[3][4]; // each corner's red, green, blue, alpha
    uint16_t auVertices[3];
};
static_assert(sizeof(DK_FACE) == 28, "a device face is 28 bytes");

// The device's screen-space vertex type, beside DK_VERTEX_UNLIT and DK_VERTEX_LIT (dk_model.h);
// levels are never built with it.
#define DK_VERTEX_SCREEN 3

// Vertices a shape may have (the scaled-flag table) and what one node collects.
#define DK_DRAWPRIM_MAX_SHAPE_VERTICES 1024
#define DK_DRAWPRIM_MAX_NODE_VERTICES 4096
#define DK_DRAWPRIM_MAX_NODE_FACES 4096

// Builds level nLevel of the model from its vertex and face lists, with vertex type nType
// (DK_VERTEX_UNLIT or DK_VERTEX_LIT) and the shape's flags byte.
void DkCreateDrawPrimitiveModel(DK_MODEL* pModel, int nLevel, int nType, uint8_t uFlags);
// Fills the node chain from pFirst with the model's faces; pfSaved holds three words a vertex.
void DkBuildDrawPrimitiveLists(DK_MODEL* pModel, DK_MODEL_NODE* pFirst, const float* pfSaved);
