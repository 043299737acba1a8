// 3D bitmaps: textured quads placed in the scene and turned towards the camera (particles,
// smoke, spray, rain and snow, halos). Effects queue chains of bitmap records during a tick, one
// texture a call; the scene turns each into a quad and draws every call with one draw, then
// empties the queue. Whether 3D bitmaps are used at all is DkGetUse3DBitmaps (c3d.h).
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/common/matrixop.h"

struct DK_ACTOR;
struct DK_TEXTURE;

#define MAX_3DBITMAPS 600
// One call queues at most this many: the shared index list covers this many quads.
#define MAX_3DBITMAPS_A_CALL 400

// Type bits: turns about the vertical only; lies in the camera's plane; drawn additive.
#define DK3DB_UPRIGHT 0x01
#define DK3DB_SCREEN_ALIGNED 0x02
#define DK3DB_ADDITIVE 0x04

// A bitmap, owned by its caller and chained to the next. The corners are (a, b) pairs taken
// from the extents: (e4, e3), (e4, e6), (e7, e3), (e7, e6); a runs along the camera's X axis
// (the vertical for upright quads), b along its Y axis (across the view).
struct DK_3DBITMAP
{
    DK_VECTOR Position;  // 16.16, world space or the parent actor's
    int32_t axExtent[6]; // e3 .. e8, 16.16
    DK_ACTOR* pParent;   // whose world matrix places the position; NULL: world space
    DK_3DBITMAP* pNext;
    uint32_t uWord11;
    uint32_t uColourA; // low byte: alpha, or the grey of an additive quad
    uint32_t uWord13;
    uint32_t uColourB; // low byte: the grey of a plain quad
};

void DkInitialise3DBitmaps(void);
BOOL DkDestroy3DBitmaps(void);
// Queues n records from the chain at pFirst with one texture; uType is of the DK3DB_ bits,
// nFlip non-zero mirrors the texture left to right.
void DkDraw3DBitmap(const DK_3DBITMAP* pFirst, int n, const DK_TEXTURE* pTexture, uint8_t uType,
                    int nFlip);
// Builds the queued quads facing pCamera, draws them and empties the queue.
void DkProcess3DBitmaps(const DK_ACTOR* pCamera);

// Test hooks: the bitmaps and the calls queued.
int DkGet3DBitmapCount(void);
int DkGet3DBitmapBatchCount(void);
