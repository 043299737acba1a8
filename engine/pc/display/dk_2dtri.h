// The two batches of screen-space, untextured, Gouraud-coloured triangles (A and B) that the
// scene draws over the 3D scene: A between the middle and the front polygon-blit queues, B
// after the front queue. Surface fills and other 2D code queue into them.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

#define MAX_2DTRI 2047

// A screen position in 16.16 pixels.
struct DK_2D_VERTEX
{
    int32_t x;
    int32_t y;
};

void DkInitialise2DTriangles(void);
BOOL DkDestroy2DTriangles(void);

// Queue one triangle with an RGBA colour (4 bytes red, green, blue, alpha) at the given depth:
// DkDraw2DTriangle into batch A, DkDraw2DTriangleB into batch B. FALSE when it was dropped.
BOOL DkDraw2DTriangle(const DK_2D_VERTEX* p0, const DK_2D_VERTEX* p1, const DK_2D_VERTEX* p2,
                      const uint8_t* pColour, float fDepth);
BOOL DkDraw2DTriangleB(const DK_2D_VERTEX* p0, const DK_2D_VERTEX* p1, const DK_2D_VERTEX* p2,
                       const uint8_t* pColour, float fDepth);

// Draw and empty batch A or B.
void DkProcess2DTriangles(void);
void DkProcess2DTrianglesB(void);

// Test hook: the triangles waiting in batch A (0) or B (1).
int DkGet2DTriangleCount(int nBatch);
