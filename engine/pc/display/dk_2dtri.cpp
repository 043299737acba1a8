#include "engine/pc/display/dk_2dtri.h"

#include <algorithm>
#include <utility>

#include "engine/common/destruct.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/3d/dk_rendr.h"
#include "platform/d3d/d3d.h"

namespace
{

struct DK_2DTRI_BATCH
{
    // Fields a triangle does not set (rhw, specular, u, v) keep what the buffer holds.
    D3DTLVERTEX aVertices[MAX_2DTRI * 3];
    uint32_t uCount;
};

DK_2DTRI_BATCH gaBatches[2];
BOOL gbo2DTrianglesInitialised = FALSE;
DK_MATERIAL* gp2DTriangleMaterial = nullptr;

BOOL Queue(DK_2DTRI_BATCH& batch, const DK_2D_VERTEX* p0, const DK_2D_VERTEX* p1,
           const DK_2D_VERTEX* p2, const uint8_t* pColour, float fDepth)
{
    if (!gbo2DTrianglesInitialised)
        DKREPORT("ERROR(DkDraw2DTriangle): 2D Triangles has not been initialised!");
    if (batch.uCount > MAX_2DTRI - 1)
    {
        DKREPORT("ERROR (DkDraw2DTriangle): The number of trianmglesis greater than MAX_2DTRI!");
        return FALSE;
    }
    // The colour is read as much as the corners, so it is checked with them.
    if (p0 == nullptr || p1 == nullptr || p2 == nullptr || pColour == nullptr)
    {
        DKREPORT("ERROR(DkDraw2DTriangle): Hey, At least one of your passed pointers is NULL!");
        return FALSE;
    }
    const D3DCOLOR colour = static_cast<D3DCOLOR>(pColour[3]) << 24 |
                            static_cast<D3DCOLOR>(pColour[0]) << 16 |
                            static_cast<D3DCOLOR>(pColour[1]) << 8 | pColour[2];
    const DK_2D_VERTEX* const corners[3] = {p0, p1, p2};
    D3DTLVERTEX* pVertex = &batch.aVertices[batch.uCount * 3];
    for (const DK_2D_VERTEX* p : corners)
    {
        pVertex->sx = static_cast<float>(p->x) / 65536.0f;
        pVertex->sy = static_cast<float>(p->y) / 65536.0f;
        pVertex->sz = fDepth;
        pVertex->color = colour;
        ++pVertex;
    }
    ++batch.uCount;
    return TRUE;
}

void Process(DK_2DTRI_BATCH& batch)
{
    if (!gbo2DTrianglesInitialised)
        DKREPORT("ERROR(DkProcess2DTriangles): 2D Triangles have not been initialised!");
    if (batch.uCount == 0)
        return;
    DkSetMaterialHandle(0);
    DkSetTextureHandle(0);
    IDirect3DDevice2* lpDevice = d3d->lpD3DDevice2;
    if (lpDevice != nullptr)
    {
        // The first two triangles are drawn wound the other way as well, so that they show
        // whichever way the caller wound them. Only triangles of this batch are drawn so: a
        // lone triangle brings no stale one from an earlier frame with it.
        const uint32_t uReversed = std::min<uint32_t>(batch.uCount, 2);
        D3DTLVERTEX* v = batch.aVertices;
        for (uint32_t i = 0; i < uReversed; ++i)
            std::swap(v[i * 3], v[i * 3 + 1]);
        lpDevice->DrawPrimitive(D3DPT_TRIANGLELIST, D3DVT_TLVERTEX, v, uReversed * 3,
                                D3DDP_DONOTUPDATEEXTENTS);
        for (uint32_t i = 0; i < uReversed; ++i)
            std::swap(v[i * 3], v[i * 3 + 1]);
        lpDevice->DrawPrimitive(D3DPT_TRIANGLELIST, D3DVT_TLVERTEX, v, batch.uCount * 3,
                                D3DDP_DONOTCLIP | D3DDP_DONOTUPDATEEXTENTS);
    }
    batch.uCount = 0;
}

} // namespace

void DkInitialise2DTriangles(void)
{
    if (gbo2DTrianglesInitialised)
        DKREPORT("ERROR (DkInitialised2DTriangles): Already Initiailised");
    gbo2DTrianglesInitialised = TRUE;
    gaBatches[0].uCount = 0;
    gaBatches[1].uCount = 0;
    const uint8_t white[4] = {255, 255, 255, 255};
    DkCreateMaterial(&gp2DTriangleMaterial, nullptr, FALSE, white, white, white, 20.0f, 16);
    DkAddDestructor(DkDestroy2DTriangles, "DkDestroy2DTriangles");
}

BOOL DkDestroy2DTriangles(void)
{
    if (!gbo2DTrianglesInitialised)
        DKREPORT("ERROR (DkDestroy2DTriangles): Not Initiailised");
    gbo2DTrianglesInitialised = FALSE;
    // The material goes with the display's materials.
    gp2DTriangleMaterial = nullptr;
    return TRUE;
}

BOOL DkDraw2DTriangle(const DK_2D_VERTEX* p0, const DK_2D_VERTEX* p1, const DK_2D_VERTEX* p2,
                      const uint8_t* pColour, float fDepth)
{
    return Queue(gaBatches[0], p0, p1, p2, pColour, fDepth);
}

BOOL DkDraw2DTriangleB(const DK_2D_VERTEX* p0, const DK_2D_VERTEX* p1, const DK_2D_VERTEX* p2,
                       const uint8_t* pColour, float fDepth)
{
    return Queue(gaBatches[1], p0, p1, p2, pColour, fDepth);
}

void DkProcess2DTriangles(void)
{
    Process(gaBatches[0]);
}

void DkProcess2DTrianglesB(void)
{
    Process(gaBatches[1]);
}

int DkGet2DTriangleCount(int nBatch)
{
    return nBatch == 0 || nBatch == 1 ? static_cast<int>(gaBatches[nBatch].uCount) : 0;
}
