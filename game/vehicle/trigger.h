// Track triggers: each tick every car walks the trigger lines of its current track block (the
// block's wall list, linked through each line's uNext) and acts on each line by its type: pace
// notes queue the co-driver's call once per player, split markers take the split time, the
// finish hands the car over, camera lines switch the clip distances, the timed event arms the
// car's event timer, and walls push the car out, bounce it, spin it, damage it and ask for
// sounds, sparks and force feedback.
//
// The pass's pieces work on the module's state of the pass under way: the car, its mechanics,
// the record being handled, the car's footprint (forward and side axes with their extents), the
// side the car came from, and the corners classified against the record's line. A line runs
// from A to B with the unit normal N; its direction along the ground is D = (-N.z, 0, N.x).
// Everything is 16.16 fixed point.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_trigger.h"
#include "game/vehicle/carmodel.h"

// Trigger types.
#define TRIGGER_PACE_NOTE 0
#define TRIGGER_SPLIT 1
#define TRIGGER_WALL 2
#define TRIGGER_SCHOOL_LINE 3
#define TRIGGER_FINISH 6
#define TRIGGER_FIRST_CAMERA_SET 7
#define TRIGGER_LAST_CAMERA_SET 11
#define TRIGGER_FIRST_MATERIAL_WALL 12
#define TRIGGER_LAST_MATERIAL_WALL 20
#define TRIGGER_TIMED_EVENT 21
#define TRIGGER_PARTICLE_WALL 22

#define TRACK_CAMERA_SETS 5

// What a scraping wall leaves for the sparks, one record per car number.
struct WallImpact
{
    int32_t xIntensity;  // 0..2.0
    DK_VECTOR Direction; // unit, against the slide
    DK_VECTOR SparkPoint;
    DK_VECTOR Slide; // the step's movement along the wall
    int32_t nActive; // 1 once filled
};
extern WallImpact gaWallImpact[MAX_CARS];

// The clip distances of the five track-camera sets (50.0, 75.0, 100.0, 150.0, 250.0), and the
// clip distance of the set last chosen.
extern const int32_t gaTrackCameraClip[TRACK_CAMERA_SETS];
extern int32_t gnTrackCameraClipSel;

// One pass over the triggers of the car's current block for player nPlayer (0..7; when rally
// school is off in a game where two take turns, the player whose turn it is).
void Trigger_ProcessCar(CarBody* pBody, CarMechanics* pMechanics, int nPlayer);
// Marks the record fired for player nPlayer, with its identical neighbours in the stage's table
// (one line stored once per block it crosses).
void Trigger_MarkDoneForPlayer(TrackTrigger* pRecord, int nPlayer);
// Switches the clip distances to set nSet (0..4) when the car crosses the record's line.
void Trigger_SelectTrackCamera(int nSet);
// Reverse-direction stages: numbers the cat's-eye index of every split marker from the stage's
// other end.
void Trigger_MirrorRecords(void);
// Queues a debug line for each trigger of car 0's block, at the car's height: red pace notes,
// green split markers, blue school lines, white the rest.
void Trigger_DrawDebugLines(void);

// The pass's pieces, on the pass's car and record.
void Trigger_ComputeCarExtents(void);
int Trigger_TestCarAgainstPoint(const DK_VECTOR* pPoint, int nWhichEnd);
int Trigger_TestWallEnds(void);
int Trigger_NearEitherSide(void);
int Trigger_NearFrontSide(void);
void Trigger_ClassifyCorners(void);
int Trigger_CarCrosses(int nTwoSided);
int Trigger_OutsideHeightSpan(void);
int Trigger_CollideCarWithWall(int nKind, int nPlayer);

// Test hook: makes the body and the record those of a pass under way, with the footprint not yet
// computed, so that the pieces above can be called alone.
void Trigger_SetPassForTests(CarBody* pBody, TrackTrigger* pRecord);
