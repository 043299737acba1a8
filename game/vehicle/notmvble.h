// Scripted moving objects: track objects the cars cannot knock over that move by themselves,
// circling, travelling to a target, swinging out and back, or spinning. The stage's ".moj"
// file gives one 48-byte record an object; each record is bound to the track actor standing at
// its position. Every tick advances each object's phases and builds its transform; every frame
// blends the last two transforms and writes the result into the actor.
//
// The ".moj" file is a bare array of records, little-endian, 16.16 unless said otherwise:
//   0  i32  ground: non-zero, the height follows the ground every frame
//   4  i16  start angle, 4096 a turn; the direction (sin, 0, cos)
//   8  i32  distance: the circle's diameter (types 1, 2), to the target (3, 4)
//   16 i32  x, 20 y, 24 z: the start position (x and z equal the actor's exactly)
//   28 i32  motion period, whole seconds
//   32 i32  spin period about x, 36 about y, 40 a second one about x; seconds, 0 none, negative
//           the other way
//   44 u32  type: 0 ignored, 1 circle clockwise, 2 anticlockwise, 3 to target, 4 ping-pong,
//           others spin only
// Bytes 6-7 and 12-15 are reserved.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

struct DK_ACTOR;

#define MOVING_OBJECT_RECORD_SIZE 48
#define MAX_MOVING_OBJECTS 96

#define MOVING_TYPE_NONE 0
#define MOVING_TYPE_CIRCLE_CW 1
#define MOVING_TYPE_CIRCLE_ACW 2
#define MOVING_TYPE_TO_TARGET 3
#define MOVING_TYPE_PING_PONG 4

struct MovingObjectRecord
{
    int32_t nGround;
    int16_t nAngle;
    int32_t xDistance;
    DK_VECTOR Start;
    int32_t nMotionPeriod;
    int32_t nSpinXPeriod;
    int32_t nSpinYPeriod;
    int32_t nSpinX2Period;
    uint32_t uType;
};

// Counters and periods in ticks: motion, spin x, spin y, second spin x.
#define MOVING_MOTION 0
#define MOVING_SPIN_X 1
#define MOVING_SPIN_Y 2
#define MOVING_SPIN_X2 3

struct MovingObjectState
{
    MovingObjectRecord Record;
    DK_ACTOR* pActor;
    DK_MATRIX Base;
    DK_MATRIX Current;
    DK_MATRIX Previous;
    DK_VECTOR MotionPoint; // the circle's centre or the target
    int32_t anCounter[4];
    int32_t anPeriod[4];
    int32_t nArrived;
    int16_t nGroundTriangle;
};

extern MovingObjectState gaMovingObjects[MAX_MOVING_OBJECTS];
extern int16_t gnNumScriptedObjects;

// Reads the file at the path as given; no file, or a size that is not a multiple of 48, loads
// nothing. MovingObjects_Parse does the same from bytes in memory.
void MovingObjects_Load(const char* pszPath);
void MovingObjects_Parse(const uint8_t* pBytes, uint32_t uSize);
// Binds the first record standing exactly at the actor's x and z to it.
void MovingObjects_BindActor(DK_ACTOR* pActor);
// TRUE when every record is bound; otherwise all are disabled, with a report.
BOOL MovingObjects_Check(void);
// One step of every object; the player index is not used.
void MovingObjects_Update(int nPlayer);
// Each frame: blends the objects' last two transforms by the fraction into their actors.
void MovingObjects_PlaceOnGround(int32_t xFraction);

// The motion steps and spins on an object's current transform; the phase is 16.16, 0 to just
// under 1.0.
void MovingObjects_CircleClockwise(MovingObjectRecord* pRecord, MovingObjectState* pState,
                                   int32_t xPhase);
void MovingObjects_CircleAnticlockwise(MovingObjectRecord* pRecord, MovingObjectState* pState,
                                       int32_t xPhase);
void MovingObjects_MoveToTarget(MovingObjectRecord* pRecord, MovingObjectState* pState,
                                int32_t xPhase);
void MovingObjects_PingPong(MovingObjectRecord* pRecord, MovingObjectState* pState,
                            int32_t xPhase);
void MovingObjects_SpinAboutX(MovingObjectRecord* pRecord, MovingObjectState* pState,
                              int32_t xPhase);
void MovingObjects_SpinAboutY(MovingObjectRecord* pRecord, MovingObjectState* pState,
                              int32_t xPhase);
