// Debug lines: coloured 3D segments that game code queues during a frame to show otherwise
// invisible geometry (walls, triggers, damage, network positions), drawn as line lists near the
// end of the scene in whatever transforms the device then holds, and emptied.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/common/matrixop.h"

struct DK_ACTOR;

#define MAX_LINES 10000

struct DK_LINE
{
    DK_VECTOR Start; // 16.16, world space
    DK_VECTOR End;
    DK_ACTOR* pActor;    // the caller's, kept and not used
    uint8_t auColour[4]; // R, G, B, A
};

extern DK_LINE gaLines[MAX_LINES];
extern int32_t gnNumLines;

void DkInitialiseLines(void);
BOOL DkLineDestructor(void);
// The colour is four bytes red, green, blue, alpha; the line fades to alpha 0 at its end.
void DkDrawLine(const DK_VECTOR* pStart, const DK_VECTOR* pEnd, const uint8_t* pColour,
                DK_ACTOR* pActor);
// Draws the queue and empties it.
void DkRenderLines(const DK_ACTOR* pCamera);
