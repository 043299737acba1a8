// Car shadows: game code queues, per car and frame, the ground points under the car; the scene
// draws them once a view, translucent and without depth writes, with a soft shadow image: a
// quad, or a quad ringed by six or ten outer points that fade it out.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/common/matrixop.h"

#define MAX_SHADOWS 8

// Shapes.
#define DK_SHADOW_QUAD 0
#define DK_SHADOW_RING6 1
#define DK_SHADOW_RING10 2

// Points 0-3 go round the quad in order; the rings use points 4-6 (six) or 4-10 (ten), and the
// fade's centre lies half way from point 0 to point 5.
struct DK_SHADOW
{
    DK_VECTOR aPoints[11]; // 16.16, world space
    int32_t nShape;
};
static_assert(sizeof(DK_SHADOW) == 136, "a shadow is copied as its 136 bytes");

// Files of the shadow image under the disc root: colour (24 bits) and alpha (8 bits), 64x64.
#define DK_SHADOW_COLOUR_FILE "images\\shadpc.bmp"
#define DK_SHADOW_ALPHA_FILE "images\\shadam.bmp"

void DkInitialiseShadows(void);
BOOL DkDestroyShadows(void);
void DkDrawShadow(const DK_SHADOW* pShadow);
// Draws the queued shadows and empties the queue.
void DkProcessShadows(void);

// Test hook: the shadows queued.
int DkGetShadowCount(void);
