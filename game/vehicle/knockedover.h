// Knocked-over objects: boxes on the track that rest until a car hits them (the collisions set
// them moving), then move as rigid bodies under gravity, slide and spin on the ground with
// damping, settle onto one of their faces and come to rest. Every player set holds up to 500
// records; with gboAllCarsMoveObjects each car has its own set (its car number), else set 0
// serves every car. Each set also lists the records that moved this tick (up to 50), which the
// collisions' lists refile.
//
// Everything is 16.16 fixed point.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"
#include "game/vehicle/carmodel.h"

struct DK_ACTOR;

#define HIT_OBJECT_SETS MAX_CARS
#define HIT_OBJECT_RECORDS 500
#define HIT_OBJECT_MOVING 50
#define HIT_OBJECT_IMAGE_SIZE 160

// The flags byte: mass class, airborne, state, spinning, moving.
#define HIT_MASS_MASK 0x03
#define HIT_AIRBORNE 0x04
#define HIT_STATE_SHIFT 3
#define HIT_STATE_MASK 0x38
#define HIT_SPINNING 0x40
#define HIT_MOVING 0x80

// States: 0 at rest (can be hit), 1 just hit, 2 in motion, 3 inert (never tested again), 4 just
// hit and 5 in motion, both without the moving list (the block is updated directly).
#define HIT_STATE_REST 0
#define HIT_STATE_HIT 1
#define HIT_STATE_MOVING 2
#define HIT_STATE_INERT 3
#define HIT_STATE_HIT_UNLISTED 4
#define HIT_STATE_MOVING_UNLISTED 5

// The kind word: bits 0-4 the material kind (13 is a cone when rest-flag bit 1 is set too),
// bits 5-15 the collision key.
#define HIT_KIND_MASK 0x1F
#define HIT_KIND_CONE 13

struct HitObject
{
    DK_ACTOR* pActor;
    DK_VECTOR Position;    // the box's centre
    DK_VECTOR HalfExtents; // along the object's own axes
    DK_VECTOR Velocity;    // world units a second
    DK_VECTOR Spin;        // about the object's own axes, radians a second
    DK_VECTOR SpinImpulse; // gathered from this tick's collisions
    DK_VECTOR Impulse;
    uint32_t auInverseInertia[3];
    DK_VECTOR aRows[3]; // x, y (up) and z axes
    DK_VECTOR Translation;
    int32_t xRadius;
    int32_t xGroundHeight;
    uint16_t uKind;
    int16_t nGroundTriangle;
    uint16_t uBlock;
    uint8_t uFlags;
    uint8_t uRestFlags; // bits 0-2 may rest on x, y, z; bits 3-5 also upside down on it
    HitObject* pNext;
    HitObject* pPrev;
};

extern HitObject gaHitObjects[HIT_OBJECT_SETS][HIT_OBJECT_RECORDS];
// Records in use in each set (the same in every set), at most HIT_OBJECT_RECORDS.
extern int32_t gnNumMovingObjects;
extern BOOL gboAllCarsMoveObjects;
// Per set, the records in motion this tick.
extern int16_t gaMovingObjectList[HIT_OBJECT_SETS][HIT_OBJECT_MOVING];
extern int16_t gaNumMovingInList[HIT_OBJECT_SETS];

// The sets the lists and the step walk: every car's with gboAllCarsMoveObjects, else set 0.
int HitObjects_NumSets(void);

// One tick of every set.
void HitObjects_UpdateAll(void);
// Every record of the set back on its stored transform (the actor's rows and translation from
// the record's), the moving list emptied and the set refiled.
void HitObjects_Reset(int nSet);
// Turns the rows about the object's own x, y and z axes by the three angles (4096 a turn).
void HitObjects_RotateAboutAxes(DK_VECTOR aRows[3], const int16_t anAngles[3]);
// How far the object's lowest point lies below the ground (negative above it); the ground's
// normal there into pNormal.
int32_t HitObjects_GroundPenetration(HitObject* pObject, DK_VECTOR* pNormal);

// The record's 160-byte image for the replay snapshot: little-endian, field by field, pointer
// slots 0. Writing needs HIT_OBJECT_IMAGE_SIZE bytes and returns the count written (0 when
// short). Reading refuses a short image or one whose state or block is out of range (FALSE,
// the record unchanged); it keeps the record's actor and links.
uint32_t HitObjects_WriteImage(const HitObject* pObject, uint8_t* pOut, uint32_t uSize);
BOOL HitObjects_ReadImage(HitObject* pObject, const uint8_t* pIn, uint32_t uSize);
