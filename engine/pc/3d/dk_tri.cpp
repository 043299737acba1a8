#include "engine/pc/3d/dk_tri.h"

#include "engine/include/dk_ff.h"
#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/d3d/d3d.h"

namespace
{

struct DK_ACTOR_TRIANGLE
{
    DK_VECTOR aPoints[3]; // actor space, 16.16
    uint8_t auColour[4];  // R, G, B, A
};
static_assert(sizeof(DK_ACTOR_TRIANGLE) == 40, "an actor triangle is 40 bytes");

D3DLVERTEX gaWorldVertices[MAX_WORLD_TRIANGLE_VERTICES];
int gnNumWorldVertices = 0;
DK_ACTOR_TRIANGLE gaActorTriangles[MAX_ACTOR_TRIANGLES];
const DK_ACTOR* gapTriangleActors[MAX_ACTOR_TRIANGLES];
int gnNumActorTriangles = 0;
D3DLVERTEX gaActorVertices[MAX_ACTOR_TRIANGLES * 3];
int gnNumActorVertices = 0;
BOOL gboTrianglesInitialised = FALSE;
DK_MATERIAL* gpTriangleMaterial = nullptr;

D3DCOLOR Argb(const uint8_t* pRgba)
{
    return static_cast<D3DCOLOR>(pRgba[3]) << 24 | static_cast<D3DCOLOR>(pRgba[0]) << 16 |
           static_cast<D3DCOLOR>(pRgba[1]) << 8 | pRgba[2];
}

void SetVertex(D3DLVERTEX& v, const DK_VECTOR& p, D3DCOLOR colour)
{
    v.x = static_cast<float>(p.x / 65536.0);
    v.y = static_cast<float>(p.y / 65536.0);
    v.z = static_cast<float>(p.z / 65536.0);
    v.dwReserved = 0;
    v.color = colour;
    v.specular = 0xFF000000u;
    v.tu = 0.0f;
    v.tv = 0.0f;
}

// The colours are read as much as the points, so they are checked with them.
template <typename... T> bool AnyNull(const T*... p)
{
    return ((p == nullptr) || ...);
}

void DrawList(const D3DLVERTEX* pVertices, int nCount)
{
    if (IDirect3DDevice2* lpDevice = d3d->lpD3DDevice2)
        TRYDD(lpDevice->DrawPrimitive(D3DPT_TRIANGLELIST, D3DVT_LVERTEX, pVertices,
                                      static_cast<DWORD>(nCount), D3DDP_DONOTUPDATEEXTENTS));
}

} // namespace

void DkInitialiseTriangles(void)
{
    if (gboTrianglesInitialised)
        DKREPORT("DkInitialiseTriangles(): Already initialised!");
    const uint8_t diffuse[4] = {100, 100, 100, 255};
    const uint8_t ambient[4] = {64, 64, 64, 255};
    const uint8_t specular[4] = {250, 250, 250, 255};
    DkCreateMaterial(&gpTriangleMaterial, nullptr, FALSE, diffuse, ambient, specular, 20.0f, 16);
    gnNumWorldVertices = 0;
    gnNumActorTriangles = 0;
    gnNumActorVertices = 0;
    gboTrianglesInitialised = TRUE;
    // A second set-up keeps the one registration.
    if (!DkIsDestructorAdded(DkTriangleDestructor))
        DkAddDestructor(DkTriangleDestructor, "DkTriangleDestructor");
}

BOOL DkTriangleDestructor(void)
{
    if (!gboTrianglesInitialised)
        DKREPORT("DkDrawTriangle(): Not initialised!");
    DkDebugOutput("DkTriangleDestructor\n");
    gnNumWorldVertices = 0;
    gnNumActorTriangles = 0;
    gnNumActorVertices = 0;
    gboTrianglesInitialised = FALSE;
    // The material goes with the display's materials.
    gpTriangleMaterial = nullptr;
    DkDebugOutput("Triangle destructed\n");
    return TRUE;
}

void DkDrawTriangle(const DK_VECTOR* p0, const DK_VECTOR* p1, const DK_VECTOR* p2,
                    const uint8_t* pRgba0, const uint8_t* pRgba1, const uint8_t* pRgba2)
{
    if (!gboTrianglesInitialised)
        DKREPORT("DkDrawTriangle(): Not initialised!");
    if (AnyNull(p0, p1, p2, pRgba0, pRgba1, pRgba2))
    {
        DKREPORT("DkDrawTriangle(): One of the vectors passed is NULL!");
        return;
    }
    // Counts go in threes, so the list fills exactly.
    if (gnNumWorldVertices > MAX_WORLD_TRIANGLE_VERTICES - 1)
        return;
    const DK_VECTOR* const points[3] = {p0, p1, p2};
    const uint8_t* const colours[3] = {pRgba0, pRgba1, pRgba2};
    for (int k = 0; k < 3; ++k)
        SetVertex(gaWorldVertices[gnNumWorldVertices++], *points[k], Argb(colours[k]));
}

void DkDrawActorTriangle(DK_ACTOR* pActor, const DK_VECTOR* p0, const DK_VECTOR* p1,
                         const DK_VECTOR* p2, const uint8_t* pRgba, int nMirror)
{
    if (!gboTrianglesInitialised)
        DKREPORT("DkDrawTriangle(): Not initialised!");
    if (AnyNull(p0, p1, p2, pRgba))
    {
        DKREPORT("DkDrawTriangle(): One of the vectors passed is NULL!");
        return;
    }
    if (pActor == nullptr)
    {
        DKREPORT("DkDrawActorTriangle(): Pointer to actor is NULL!");
        return;
    }
    if (gnNumActorTriangles >= MAX_ACTOR_TRIANGLES)
        return;
    DK_ACTOR_TRIANGLE& t = gaActorTriangles[gnNumActorTriangles];
    if (nMirror)
    {
        // Mirroring turns the winding; swapping two corners turns it back.
        const DK_VECTOR* const order[3] = {p0, p2, p1};
        for (int k = 0; k < 3; ++k)
            t.aPoints[k] = {order[k]->x, order[k]->y, FfNeg(order[k]->z)};
    }
    else
    {
        t.aPoints[0] = *p0;
        t.aPoints[1] = *p1;
        t.aPoints[2] = *p2;
    }
    for (int c = 0; c < 4; ++c)
        t.auColour[c] = pRgba[c];
    gapTriangleActors[gnNumActorTriangles++] = pActor;
}

void DkProcessTriangles(const DK_CAMERA*)
{
    if (gnNumActorTriangles == 0)
        return;
    gnNumActorVertices = 0;
    // Placed now, so a triangle follows its actor to where it is drawn.
    for (int i = 0; i < gnNumActorTriangles; ++i)
    {
        const DK_ACTOR_TRIANGLE& t = gaActorTriangles[i];
        const D3DCOLOR colour = Argb(t.auColour);
        for (const DK_VECTOR& p : t.aPoints)
        {
            DK_VECTOR world;
            DkApplyMatrixToVector(&world, &p, &gapTriangleActors[i]->World);
            SetVertex(gaActorVertices[gnNumActorVertices++], world, colour);
        }
    }
    DkSetTextureHandle(0);
    DkSetMaterialHandle(0);
    const bool boAlwaysPass = DkCapZCompareAlways();
    if (boAlwaysPass)
        DkSetZWriteEnable(0);
    DrawList(gaActorVertices, gnNumActorVertices);
    if (boAlwaysPass)
        DkSetZWriteEnable(1);
    gnNumActorTriangles = 0;
    gnNumActorVertices = 0;
}

void DkProcessWorldTriangles(const DK_CAMERA*)
{
    if (gnNumWorldVertices == 0)
        return;
    DkSetTextureHandle(0);
    DkSetMaterialHandle(0);
    DrawList(gaWorldVertices, gnNumWorldVertices);
    gnNumWorldVertices = 0;
}

int DkGetWorldTriangleVertexCount(void)
{
    return gnNumWorldVertices;
}

int DkGetActorTriangleCount(void)
{
    return gnNumActorTriangles;
}
