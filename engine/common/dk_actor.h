// The actor tree: every thing the engine places in 3D (track pieces, scenery, cars and their
// parts, lights, cameras, the horizon) is a node of one tree whose root, the world actor, lives
// in the 3D context. An actor carries a local matrix relative to its parent, a world matrix the
// per-frame update derives from it, and the float copy the device takes. All matrix arithmetic
// is 16.16 fixed point.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/common/matrixop.h"

#define MAXACTORS 8196

#define DK_ACTOR_ID_MASK 0xFFF
#define DK_WORLD_ACTOR_ID 1000
#define DK_CAMERA_ACTOR_ID 999

// Actor types: what the object pointer holds.
#define DK_ACTOR_MODEL 0
#define DK_ACTOR_LIGHT 1
#define DK_ACTOR_CAMERA 2
#define DK_ACTOR_DUMMY 3

struct DK_ACTOR
{
    DK_ACTOR* pNext;    // next peer in the parent's child list
    DK_ACTOR* pChild;   // first child
    DK_ACTOR* pParent;  // NULL only for a root
    void* pObject;      // DK_MODEL, DK_LIGHT or DK_CAMERA by type; NULL for a dummy
    DK_VECTOR Position; // as last given to the setters; kept for lights and cameras only
    // As last given, 4096 a turn; kept for lights and cameras only. A directional light keeps
    // its direction here.
    int16_t anAngles[3];
    int16_t nBlock;               // track block whose moveable list holds the actor, -1: none
    int16_t anNeighbourBlocks[3]; // further blocks the actor overlaps, -1: unused
    uint32_t uId;                 // the low 12 bits are the identifier proper
    DK_VECTOR Scale;
    DK_MATRIX Base;       // the placement as loaded; the setters start from it
    DK_MATRIX Local;      // relative to the parent
    DK_MATRIX World;      // computed by the update
    float afDevice[16];   // World element by element / 65536
    DK_ACTOR* pBlockLink; // next actor in the same track block's moveable list
    uint32_t uDirty;      // 1: the matrices changed since the last conversion
    uint32_t uType;
    uint8_t uPassMask;   // one bit per render pass; 0 also stops the update here
    int32_t nInherit;    // non-zero: World is the parent's World, Local is ignored
    uint8_t auColour[4]; // R, G, B, A tint
    uint8_t uAlwaysDraw;
    uint8_t uMinimumDetail;
};

extern DK_ACTOR* gapActors[MAXACTORS];
extern uint32_t guNumActors;
// Set by the game's horizon loader: the sky, whose world axes never turn.
extern DK_ACTOR* gpHorizonActor;

// Creation and destruction.
DK_ACTOR* DkCreateActor(DK_ACTOR* pParent);
void DkInitActorRecord(DK_ACTOR* pActor);
void DkLinkActorToParent(DK_ACTOR* pActor, DK_ACTOR* pParent);
DK_ACTOR* DkCreateWorldActor(void);
void DkSetActorObject(DK_ACTOR* pActor, uint32_t uType, void* pObject);
// Unlinks the actor and frees it with its subtree, keeping (DkDestroyActor) or deleting
// (DkDeleteObject) the attached objects. 1, or 0 when the actor is not in its parent's list.
int DkDestroyActor(DK_ACTOR* pActor);
int DkDeleteObject(DK_ACTOR* pActor);
void DkFreeActorSubtree(DK_ACTOR* pFirst, BOOL boDeleteObjects);
BOOL DestroyAllActors(void);
BOOL DkKillAllObjects(void);

// Placement. Angles are three int16 (x, y, z); a NULL vector or angle triple counts as zero.
void DkSetActor(DK_ACTOR* pActor, const DK_VECTOR* pPosition, const int16_t* pAngles);
void DkSetActorPosition(DK_ACTOR* pActor, const DK_VECTOR* pPosition);
void DkSetActorRotation(DK_ACTOR* pActor, const int16_t* pAngles);
void DkMoveActor(DK_ACTOR* pActor, const DK_VECTOR* pDelta, const int16_t* pDeltaAngles);
void DkMoveActorPosition(DK_ACTOR* pActor, const DK_VECTOR* pDelta);
void DkMoveActorRotation(DK_ACTOR* pActor, const int16_t* pDeltaAngles);
void DkMoveActorForward(DK_ACTOR* pActor, int32_t xDistance);
void DkMoveActorSideways(DK_ACTOR* pActor, int32_t xDistance);
// Turns the local axes about themselves (Y, then Z, then X) and adds pDelta to the
// translation, unrotated.
void DkMoveActor2(DK_ACTOR* pActor, const DK_VECTOR* pDelta, const int16_t* pAngles);
DK_MATRIX* DkAxisAngleToMatrix(DK_MATRIX* pOut, const DK_VECTOR* pAxis, int32_t nAngle);

// Tree and look-up.
int dkChangeActorParent(DK_ACTOR* pActor, DK_ACTOR* pNewParent);
DK_ACTOR* DkFindActorById(DK_ACTOR* pFirst, uint32_t uId);
// Flags the actor and every ancestor; returns the root reached.
DK_ACTOR* DkMarkActorDirty(DK_ACTOR* pActor);
DK_ACTOR* DkDuplicateActor(DK_ACTOR* pActor, int nBlock);
DK_ACTOR* DkCloneActorTree(DK_ACTOR* pActor);
void DkCloneActorChildren(DK_ACTOR* pFirstChild, DK_ACTOR* pNewParent);

// Model detail.
void DkSetActorDetail(DK_ACTOR* pActor, int nLevel);
int DKActorGetMaxDetail(DK_ACTOR* pActor);
int DkActorGetDetail(DK_ACTOR* pActor);

// Per-frame update and conversion, once per rendered view.
void DkUpdateActorTree(DK_ACTOR* pFirst);
void DkSyncActorTreeD3D(DK_ACTOR* pFirst);
int DkUpdateActorMatrix(DK_ACTOR* pActor);
void DkUpdateActorAncestors(DK_ACTOR* pActor);
BOOL DkIsActorBlockVisible(const DK_ACTOR* pActor);
void DkUpdateActorList(DK_ACTOR* pFirst);
void DkSyncActorListD3D(DK_ACTOR* pFirst);
