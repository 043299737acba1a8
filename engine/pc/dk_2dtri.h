// The two batches of screen-space 2D triangles (A and B) that the scene draws over the 3D
// scene; surface fills queue into them.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// A screen position in 16.16 pixels.
struct DK_2D_VERTEX
{
    int32_t x;
    int32_t y;
};

// Queue one triangle (three vertices) with an RGBA colour (4 bytes red, green, blue, alpha)
// at the given depth: DkDraw2DTriangle into batch A, DkDraw2DTriangleB into batch B.
BOOL DkDraw2DTriangle(const DK_2D_VERTEX* pVertices, const uint8_t* pColour, float fDepth);
BOOL DkDraw2DTriangleB(const DK_2D_VERTEX* pVertices, const uint8_t* pColour, float fDepth);

// Test hook: the triangles given to batch A (0) or B (1) since start-up.
int DkGet2DTrianglesGiven(int nBatch);
