// Polygon blits: textured, coloured screen rectangles (HUD panels, logos, icons, glyphs of
// texture fonts) queued during a frame into three depth queues and drawn through the 3D
// device after the scene, back queue first, optionally turned, mirrored and blended.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/pc/display/dk_surf.h"
#include "engine/common/matrixop.h"

struct DK_TEXTURE;

// Blit orders: the queue a blit goes into and its depth.
#define BLIT_TO_FRONT 1  // depth 0.0, drawn last
#define BLIT_TO_MIDDLE 2 // depth 0.5
#define BLIT_TO_BACK 3   // depth just below 1.0, drawn first

// Places of each queue; the last place is never used, so a queue holds one fewer.
#define DK_MAX_POLYBLITS 2048

// Drawing flags.
#define DKPB_MIRROR_U 0x01     // texture u reversed
#define DKPB_MIRROR_V 0x02     // texture v reversed
#define DKPB_MIRROR_BOTH 0x04  // both: a half turn through the texture coordinates
#define DKPB_NONE 0x08         // no effect (the text printer passes it)
#define DKPB_ADDITIVE 0x10     // added to what is on screen, Z writing off while drawn
#define DKPB_SURFACE_BLIT 0x40 // a 2D blit to the back surface instead of a polygon
#define DKPB_ZTEST 0x80        // Z testing on while drawn

// A pivot of (-1, -1, -1) turns the blit about its destination's centre.
#define DK_PIVOT_CENTRE (DK_VECTOR{-1, -1, -1})

struct DK_POLYBLIT
{
    DK_RECT source;      // in texels of the texture's device surface
    DK_RECT destination; // screen pixels
    DK_RECT clip;        // viewport for this blit; all zero = none
    DK_TEXTURE* pTexture;
    uint8_t colour[4]; // red, green, blue, alpha
    uint8_t order;
    int16_t angle; // 4096 units a turn
    DK_VECTOR pivot;
    uint32_t flags;
};

void DkInitialisePolyBlits(void);
// The colour is four bytes: red, green, blue, alpha. The angle is in degrees. The clip
// rectangle may be NULL. The result carries no meaning.
int DkPolyAlphaBlit(const DK_RECT* pSource, const DK_RECT* pDestination, DK_TEXTURE* pTexture,
                    const uint8_t* pColour, int nOrder, int nAngle, DK_VECTOR pivot,
                    const DK_RECT* pClip, uint32_t uFlags);
// As DkPolyAlphaBlit in the colour (200, 200, 200, 255).
int DkPolyAlphaBlitRotated(const DK_RECT* pSource, const DK_RECT* pDestination,
                           DK_TEXTURE* pTexture, int nOrder, int nAngle, DK_VECTOR pivot,
                           const DK_RECT* pClip, uint32_t uFlags);
// Draw and empty the back (3), middle (2) and front (1) queue.
void DkDrawPolyBlitQueue3(void);
void DkDrawPolyBlitQueue2(void);
void DkDrawPolyBlitQueue1(void);
BOOL DkDestroyPolyBlits(void);

// Test hooks: the entries waiting in the queue of an order (1..3), and one of them.
int DkGetPolyBlitCount(int nOrder);
const DK_POLYBLIT* DkGetPolyBlit(int nOrder, int nIndex);
