// Animated textures: a texture slot whose image is switched, frame by frame, between the images
// of other textures of the same DK3D file (flags, water, signs, screens). Faces keep pointing at
// the animated texture's own slot, so a change of frame costs two stores. The DK3D reader makes
// the records; the stage's animation file starts them by name; the race flow steps them once a
// tick.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

struct DK_TEXTURE;

#define DK_MAX_ANIMTEXTURES 16
#define DK_MAX_ANIMFRAMES 16
#define DK_ANIMTEXTURE_NAME 20

// End modes: what follows the last frame.
#define DK_ANIM_LOOP 0
#define DK_ANIM_STOP 1
#define DK_ANIM_REWIND_STOP 2

struct DK_ANIMTEXTURE
{
    char szName[DK_ANIMTEXTURE_NAME]; // the 'A' record's name, NUL-terminated
    uint16_t uSlot;                   // the animated texture's own texture slot
    int32_t nEndMode;
    uint16_t auFrameSlots[DK_MAX_ANIMFRAMES];
    uint32_t auFrameHandles[DK_MAX_ANIMFRAMES];
    uint8_t auFrameDelays[DK_MAX_ANIMFRAMES]; // ticks each frame stays up
    uint8_t auFrameWidths[DK_MAX_ANIMFRAMES]; // low bytes of each frame texture's size
    uint8_t auFrameHeights[DK_MAX_ANIMFRAMES];
    uint8_t uNumFrames; // 1..16
    uint8_t uCurrentFrame;
    uint8_t uTick; // ticks spent on the current frame
    int32_t nActive;
    void* pVertexList; // a four-vertex screen list no caller sets
};

extern DK_ANIMTEXTURE gaAnimTextures[DK_MAX_ANIMTEXTURES];
extern uint8_t guNumAnimTextures;

// A new animated texture in the first free texture slot, stepping through the nFrames textures
// of apFrames (each made already, with its delay in auDelays), inactive on frame 0 and showing
// it. NULL, reported, when 16 are loaded, no slot is free or a frame has no texture.
DK_TEXTURE* DkCreateAnimatedTexture(const char* pszName, int nFrames, DK_TEXTURE* const* apFrames,
                                    const uint8_t* auDelays);
// 1 when a record of that name exists, which then runs with the end mode from where it stands.
int DkStartAnimatedTexture(const char* pszName, int nEndMode);
// One tick of every running record: its frame counters. The textures show the new frames only
// at DkShowAnimatedTextures, which the drawing thread calls at a moment no tick runs (the race's
// frame snapshot), so the tick never writes what a frame being drawn reads.
void DkUpdateAnimatedTextures(void);
void DkShowAnimatedTextures(void);
// Forgets every record (the display set-up does it; their textures go with the display).
void DkClearAnimatedTextures(void);
