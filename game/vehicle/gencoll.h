// Collisions of the cars with the track's objects and with each other, once a car a tick: the
// static track objects of the car's block and its three neighbours, the knockable objects
// (HitObject records, knockedover.h) of the same blocks, and the other car. Every test is a
// sphere test, then an overlap of two oriented rectangles in the ground plane (the car's
// footprint and the obstacle's) gated by their height ranges, a push-out along the car's
// direction of approach and a response that removes the normal velocity completely (no
// bounce). Damage, crash sounds and force feedback come only on the first tick of a contact.
//
// The module also files the knockable objects into per-block lists: each player set has 256
// list heads, each serving one distinct track block, and the block each serves.
//
// Everything is 16.16 fixed point.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"
#include "game/vehicle/carmodel.h"

struct DK_ACTOR;
struct HitObject;

#define COLL_TRACK_BLOCKS 4096 // one list head per block of the track grid
#define COLL_LIST_HEADS 256    // distinct blocks a player set of knockable objects serves
#define COLL_CONTACT_KEYS 5    // object keys a car remembers per tick and family

// The track object's kind word: bits 0-6 its material kind, bit 7 a soft object the car drives
// through.
#define TRACK_OBJECT_KIND_MASK 0x7F
#define TRACK_OBJECT_SOFT 0x80

// The collision shape of a static track object, filled at load.
struct TrackObjectCollision
{
    // The rectangle's corners relative to the centre, x and z in units of 1/128 (value >> 9),
    // in the order A-B, A+B, -A-B, -A+B of the two half-axis vectors A and B.
    int16_t anCorners[4][2];
    int32_t xRadius;     // the bounding sphere's
    int16_t nTop;        // highest corner above the centre, >> 9, never below 0
    int16_t nBottom;     // lowest corner below the centre, >> 9, never above 0
    int32_t xHalfLength; // largest projection of the box corners on Axis1
    int32_t xHalfWidth;  // largest projection of the box corners on Axis2
    DK_VECTOR Axis1;     // unit, horizontal
    DK_VECTOR Axis2;     // Axis1 turned a quarter turn in the ground plane
};

struct TrackObject
{
    DK_ACTOR* pActor; // its always-draw byte allows collision in two-player games
    DK_VECTOR Centre; // the model box's centre, raised by half its height
    DK_VECTOR aRows[3];
    uint32_t uKind;
    uint16_t nNumber;
};

struct TrackObjectNode
{
    TrackObject* pObject;
    TrackObjectCollision* pCollision;
    TrackObjectNode* pNext;
};

// The static objects by track block; new objects go at the front of their block's list.
extern TrackObjectNode* gapTrackObjects[COLL_TRACK_BLOCKS];

// Set with gnCollisionEndCounter (60) when the cars touch in a one-player game.
extern BOOL gboCarsCollided;
extern int32_t gnCollisionEndCounter;

// The per-tick tests. Each returns whether the last object it tested (or the other car)
// produced a contact.
BOOL Coll_CarVsTrackObjects(CarBody* pCar);
BOOL Coll_CarVsMovingObjects(CarBody* pCar);
BOOL Coll_CarVsCar(CarBody* pCar, CarBody* pOther);
// The overlap of the car and a knockable object, without push or response.
BOOL Coll_OverlapMovingObject(CarBody* pCar, HitObject* pObject);

// The knockable objects' lists. Reset empties the set's lists and files each of its records
// again; Relink moves each record of every set's moving list to the list of the block it now
// lies in; Link puts one record at the front of its block's list (or opens a list for it).
void MovingObjects_Reset(int nSet);
void MovingObjects_Relink(void);
void MovingObjects_Link(int nSet, HitObject* pObject);
// Files every set, logs the lists and builds the corner normals.
void MovingObjects_DebugDump(void);
// The list a set keeps for a block, NULL when it has none; and the number of lists in use.
HitObject* MovingObjects_GetList(int nSet, int nBlock);
int MovingObjects_GetListCount(int nSet);

// The material kind of the last object hit (set in the rally school only), and whether a
// knockable object not among the last three hit was hit this tick.
uint8_t Coll_GetLastHitKind(void);
int Coll_GetHitCount(void);

// The 8 corners of the box of the half-extents about the centre, turned by the rows: corner i
// lies on the -x side when bit 1 is set, on the +y side when bit 2 is, on the -z side when
// bit 0 is.
void TransformPoint(DK_VECTOR aCorners[8], const DK_VECTOR* pCentre, const DK_VECTOR aRows[3],
                    const DK_VECTOR* pHalfExtents);
// Fill a track object's collision record from its rows, its box's 8 corners and its centre.
void InitTrackObjectBounds(const DK_VECTOR aRows[3], const DK_VECTOR aCorners[8],
                           TrackObjectCollision* pCollision, const DK_VECTOR* pCentre);
void InitTrackObjectBox(const DK_VECTOR aRows[3], const DK_VECTOR aCorners[8],
                        TrackObjectCollision* pCollision, const DK_VECTOR* pCentre);

// Test hook: the contact normal and the roll and corner thresholds the last contact chose.
void Coll_GetContactForTests(DK_VECTOR* pNormal, int32_t* pxRollThreshold,
                             int32_t* pxCornerThreshold);

// Empties the static lists, the knockable lists and the remembered hits (stage start, tests).
void Coll_ClearAll(void);
