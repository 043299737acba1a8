// The stage's height data: the drivable ground as a soup of triangles under a grid of square
// cells, each cell listing the triangles that touch it or split into 4 x 4 smaller cells, down
// to five levels (cells of 256.0, 64.0, 16.0, 4.0 and 1.0 units). It answers how high the
// ground is under a horizontal point, its normal there and its surface id. Callers keep a
// cached triangle number per query point (-1: none), so most queries test one triangle.
//
// The ".hpc" file, little-endian: origin x and z (16.16); five signed 16-bit node counts,
// levels 0 to 4; the node tables, level by level, 8 bytes a node (signed 16-bit triangle count
// or -1 when subdivided, 2 unused bytes, signed 32-bit index: the first of the node's 16
// children in the next level's table, rows of four with x fastest, or the first entry of its
// triangles in the index list); the vertex count (16 bits, then 2 unused bytes) and the
// vertices (x, y, z, 16.16); the triangle count (likewise) and the triangles (three 16-bit
// vertex numbers and a 16-bit surface id); the index-list length (signed 32-bit) and its 16-bit
// triangle numbers; the level-0 cell counts along x and z (signed 16-bit each).
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

#define HEIGHT_DATA_LEVELS 5
#define HEIGHT_DATA_SURFACES 120

// Reads the file's bytes into tables of its own, checking every count, index and range against
// the byte count, and registers "Height Data Destructor". A bad file is reported and leaves no
// height data (queries then return their reference height). Replaces any height data loaded
// before, so callers' caches must be reset to -1.
BOOL HeightData_Parse(const uint8_t* pBytes, uint32_t uSize);

// Frees the tables; queries answer with the reference height until the next parse.
BOOL HeightData_Destructor(void);

// The 16.16 height of the ground under the point (its x and z), the unit normal and surface id
// of the triangle there, which stays in the caller's cache. Among stacked triangles the one
// whose mean height is nearest the reference height is taken; with no triangle under the point
// the reference height is returned, normal and surface left as they were. A negative cached
// number, or one past the triangles, means none.
int32_t FindHeightOnTrack(const DK_VECTOR* pPoint, DK_VECTOR* pNormal, int16_t* pSurface,
                          int16_t* pTriangleCache, int32_t nReferenceHeight);

// The grid descent to the point's cell and the pick among its triangles; on success the
// triangle's number is stored in the cache.
BOOL HeightData_FindTriangle(const DK_VECTOR* pPoint, int16_t* pTriangleCache,
                             int32_t nReferenceHeight);
// Of a leaf's listed triangles, the one whose outline holds the point and whose mean vertex
// height is nearest the reference (the first on a tie); -1 when none holds it.
int HeightData_PickTriangle(int32_t nFirstEntry, int nCount, int32_t x, int32_t z,
                            int32_t nReferenceHeight);
// Whether (x, z) lies inside the triangle's outline seen from above; edges count as inside.
BOOL HeightData_PointInTriangle(int32_t x, int32_t z, int nTriangle);
// The height of the triangle's plane under the point, writing its normal and surface id; the
// reference height for a vertical triangle.
int32_t HeightData_HeightOnTriangle(const DK_VECTOR* pPoint, int nTriangle, DK_VECTOR* pNormal,
                                    int16_t* pSurface, int32_t nReferenceHeight);

// Logs the triangle count and the lowest vertex height; returns that height less 5.0 (the
// lowest starts at 0).
int32_t HeightData_Report(void);

// Test hooks: the loaded vertices (NULL and 0 without height data), the triangle count, and a
// count of point-in-triangle tests since the last reset.
const DK_VECTOR* HeightData_GetVertices(int* pnCount);
int HeightData_GetTriangleCount(void);
uint32_t HeightData_GetTriangleTests(void);
void HeightData_ResetTriangleTests(void);
