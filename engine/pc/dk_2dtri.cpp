// The batches themselves (vertex buffers, drawing, set-up and teardown) come with the 2D
// triangle module; until then the triangles are only counted.

#include "engine/pc/dk_2dtri.h"

namespace
{
int ganTrianglesGiven[2] = {0, 0};
}

BOOL DkDraw2DTriangle(const DK_2D_VERTEX*, const uint8_t*, float)
{
    ++ganTrianglesGiven[0];
    return TRUE;
}

BOOL DkDraw2DTriangleB(const DK_2D_VERTEX*, const uint8_t*, float)
{
    ++ganTrianglesGiven[1];
    return TRUE;
}

int DkGet2DTrianglesGiven(int nBatch)
{
    return nBatch == 0 || nBatch == 1 ? ganTrianglesGiven[nBatch] : 0;
}
