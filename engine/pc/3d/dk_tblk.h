// Track blocks: a stage's track as square blocks on a regular grid in the ground (X-Z) plane.
// The grid's rows run towards -Z (row 0 holds the largest Z) and its columns towards +X. Each
// block keeps the fixed models, moving actors and wall lines that lie on it and its four shared
// corner heights; before each view the blocks the camera can see are listed. Coordinates are
// 16.16 fixed point.
//
// DkIsTrackBlockVisible, DkIsTrackBlockInVisibleSet, DkUpdateActorTrackBlock,
// DkAppendActorToTrackBlock and DkClearTrackBlocks are declared with the core services, since
// the actor tree calls them.
#pragma once

#include <cstdint>

#include "engine/include/dk_services.h"
#include "engine/include/dk_trigger.h"
#include "engine/common/matrixop.h"

struct DK_ACTOR;
struct DK_MODEL;
struct DK_FIXED_MODEL;
struct DK_RECT;

#define MAXTRACKBLOCKS 4096
#define DK_VISIBLE_BLOCK_WORDS (MAXTRACKBLOCKS / 32)

// A point of the ground plane.
struct DK_POINT_XZ
{
    int32_t x;
    int32_t z;
};

// A right-angled wedge of the ground plane: its apex at a camera, opening 45 degrees to each
// side of the view, its far edge a reach ahead. The view test and the object culling use it.
struct DK_WEDGE
{
    DK_POINT_XZ Apex;
    DK_POINT_XZ B;
    DK_POINT_XZ C;
};

struct DK_TRACK_BLOCK
{
    DK_VECTOR Reference;        // the block's centre as loaded
    DK_MODEL* pMesh;            // world-space track mesh, NULL: none
    DK_FIXED_MODEL* pFixedList; // chained through the fixed models' pNext
    int32_t nNumFixed;
    DK_ACTOR* pMoveableList; // chained through the actors' pBlockLink
    int32_t nNumMoveable;
    int32_t nNumWalls;
    // First wall line on the block; the rest follow through each line's uNext (index + 1).
    TrackTrigger* pWallList;
    // 0 = (-X, +Z), 1 = (+X, +Z), 2 = (+X, -Z), 3 = (-X, -Z) of the centre; y is the height
    // the neighbours share.
    DK_VECTOR aCorners[4];
    DK_POINT_XZ aFootprint[4]; // bounds in the ground plane, for the view test
    int32_t xDistanceKey;      // squared ground distance from the camera, listed blocks only
    int32_t nClipCode;         // 0 for every listed block
    int32_t nListed;
};

extern DK_TRACK_BLOCK gaTrackBlocks[MAXTRACKBLOCKS];
extern uint32_t guNumTrackBlocks;

extern int32_t gxTrackCellSize;
extern int32_t gxTrackHalfCell;
extern int32_t gxTrackMinX;
extern int32_t gxTrackMaxZ;
extern uint32_t guTrackGridWidth;
extern uint32_t guTrackGridRows;

extern uint16_t gaVisibleBlocks[MAXTRACKBLOCKS];
extern int32_t gnNumVisibleBlocks;
// Block i is bit (i & 31) of word i >> 5.
extern uint32_t gaVisibleBlockBits[DK_VISIBLE_BLOCK_WORDS];
extern BOOL gboDrawAllTrackBlocks;
// Set by the grid build, cleared by the 3D set-up: the renderer lists visible blocks only
// while it is set.
extern BOOL gboTrackBlocksActive;

// The stage's wall lines, handed over by the game's loader; on entry each line's uNext holds
// the index of its block.
extern TrackTrigger* gpWallLines;
extern int32_t gnNumWallLines;

// Builds the grid from the loaded blocks (in rows of equal z, rows in falling z) and files the
// fixed models, the world actor's children and the wall lines on their blocks.
void DkInitialiseTrackBlocks(void);
// The block under (x, z); y is not used. Positions off the grid fold back onto it by the
// absolute distances, and indices outside it give 0.
int16_t DkGetTrackBlockIndex(int32_t x, int32_t y, int32_t z);
// -1 when there is no block.
int16_t DkFindNearestTrackBlock(const DK_VECTOR* pPoint);
void DkComputeVisibleTrackBlocks(const DK_ACTOR* pCamera, const DK_RECT* pViewport);
// Largest distance key first.
void DkSortVisibleTrackBlocks(void);
void DkSetDrawAllTrackBlocks(int16_t nValue);
void DkAddActorToTrackBlock(DK_ACTOR* pActor);
DK_ACTOR* DkRemoveActorFromTrackBlock(DK_ACTOR* pActor);
// The nearest block to the fixed model's centre, with up to three neighbours it overlaps in
// anNeighbours (-1 where unused).
int16_t DkFindModelTrackBlocks(const DK_FIXED_MODEL* pFixedModel, int16_t* anNeighbours);
// Height of the block mesh's vertex nearest, in the ground plane, to corner nCorner.
int32_t DkCheckBlockHeight(int nCorner, int nBlock);
void DkComputeTrackBlockBounds(void);
// Inside (edges included) the triangle A, B, C of the ground plane, in integer arithmetic.
BOOL DkPointInTriangleXZ(const DK_POINT_XZ* pPoint, const DK_POINT_XZ* pA, const DK_POINT_XZ* pB,
                         const DK_POINT_XZ* pC);
// The camera's view along the ground: its world Z axis without y, made unit length (both 0
// for a camera looking straight up or down).
void DkGetGroundDirection(const DK_ACTOR* pCamera, int32_t* pxDx, int32_t* pxDz);
// The wedge with its apex at Apex around the unit direction (dx, dz), xReach deep.
DK_WEDGE DkMakeViewWedge(DK_POINT_XZ Apex, int32_t xDx, int32_t xDz, int32_t xReach);
BOOL DkPointInWedge(const DK_POINT_XZ* pPoint, const DK_WEDGE* pWedge);
BOOL DkTrackDestructor(void);
void DkInitialiseLowLevelTBlockEB(void);
BOOL DkDestroyLowLevelTBlockEB(void);
