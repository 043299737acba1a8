// Two lists of untextured, vertex-coloured 3D triangles that effects queue during a tick (tyre
// marks, debris, decals on cars): world triangles with a colour a corner, drawn in the scene's
// overlay step; and actor triangles in an actor's own space with one colour, placed by the
// actor's world matrix when they are drawn.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/common/matrixop.h"

struct DK_ACTOR;
struct DK_CAMERA;

#define MAX_WORLD_TRIANGLE_VERTICES 3072
#define MAX_ACTOR_TRIANGLES 1024

void DkInitialiseTriangles(void);
BOOL DkTriangleDestructor(void);
// Points are 16.16; each colour is four bytes red, green, blue, alpha.
void DkDrawTriangle(const DK_VECTOR* p0, const DK_VECTOR* p1, const DK_VECTOR* p2,
                    const uint8_t* pRgba0, const uint8_t* pRgba1, const uint8_t* pRgba2);
// With nMirror the points are mirrored in z, two of them swapped so the facing stays.
void DkDrawActorTriangle(DK_ACTOR* pActor, const DK_VECTOR* p0, const DK_VECTOR* p1,
                         const DK_VECTOR* p2, const uint8_t* pRgba, int nMirror);
// Draw and empty the actor triangles and the world triangles; the camera is not needed.
void DkProcessTriangles(const DK_CAMERA* pCamera);
void DkProcessWorldTriangles(const DK_CAMERA* pCamera);

// Test hooks: the world triangles' vertices and the actor triangles queued.
int DkGetWorldTriangleVertexCount(void);
int DkGetActorTriangleCount(void);
