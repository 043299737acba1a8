// The camera director: per player two camera records of which one is active, the switch from
// one camera type to another with a smooth blend, the chosen type's placement every tick, and in
// replays and at the end of a stage a television director that cuts between the track-side
// cameras and cameras near the car. The placements themselves live in camviews (the car-mounted,
// orbit and TV views), headdk (the in-car view) and trackcam (the track-side cameras).
//
// Everything here runs inside the tick; the display reads the records only inside the timer's
// critical section (Cameras_GetBlendedMatrix), and keeps what the rendering needs afterwards.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

#define CAMERA_PLAYERS 2
#define CAMERA_RECORDS (2 * CAMERA_PLAYERS)

// The camera types.
#define CAMERA_TYPE_NONE 0
#define CAMERA_TYPE_BONNET 1     // car-mounted, variant 1
#define CAMERA_TYPE_ROOF 2       // car-mounted, variant 0
#define CAMERA_TYPE_IN_CAR 3     // the driver's head
#define CAMERA_TYPE_SPARE 4      // a type only
#define CAMERA_TYPE_CHASE_NEAR 5 // chase, mode 0
#define CAMERA_TYPE_CHASE_FAR 6  // chase, mode 3
#define CAMERA_TYPE_ORBIT_HIGH 7 // orbit, variant 1
#define CAMERA_TYPE_TV 8         // the race intro's TV shots
#define CAMERA_TYPE_ORBIT 9      // orbit, variant 0
#define CAMERA_TYPE_LOOK_BACK 10 // chase, mode 6
#define CAMERA_TYPE_TRACK 11     // track-side camera
#define CAMERA_TYPE_BLEND 12     // a blend between two types runs
#define CAMERA_TYPES 13

// One camera's placement. The view values blend with the matrix.
struct CameraView
{
    uint8_t nIndex;  // record 0..3
    uint8_t nPlayer; // nIndex / 2
    uint8_t nCar;    // the car the camera looks at
    int32_t nType;
    DK_MATRIX View;       // rotation rows (side, up, forward) and the eye
    int32_t xLift;        // A: how much of the ground lift the view takes
    int32_t xValueB;      // B: carried to the renderer
    int32_t xTrackDraw;   // C: the near-object distance of the track drawer; 0 off
    int32_t xFieldOfView; // D
    int32_t xLiftHeight;  // E: the height above the car the lifted view turns to
    int16_t nTrackCamera; // type 11: the track-side camera in use
    // The placements' own state.
    int8_t nCarCamVariant; // car-mounted views: variant (A) or mode (B)
    int8_t nCarCamType;    // the car type the family A offsets were taken for
    int16_t nBounceTicks;  // family B: ticks of the landing bounce left, -1 idle
    int32_t xBounceAmplitude;
    int8_t nOrbitVariant;
    DK_VECTOR OrbitOffset;
    DK_VECTOR OrbitVelocity; // the car's velocity, smoothed
    int8_t nTvShot;
    int32_t xTvTimer; // 16.16 ticks
    DK_VECTOR AimPoint;
};

// Each player's view as the tick left it: the current type (12 while a blend runs) and the
// output record (the active one, or the blend of both).
struct PlayerView
{
    int32_t nCameraType;
    CameraView View;
};

extern PlayerView gaPlayerView[CAMERA_PLAYERS];
extern CameraView gaCameraViews[CAMERA_RECORDS];

// The two-player split-screen layout: set, the views are stacked (a horizontal split).
extern BOOL gboSplitHorizontal;

// What the frame's view leaves for the renderer, per player: written by
// Cameras_GetBlendedMatrix inside the critical section, read by Cameras_GetFieldOfView outside.
struct CameraFrameView
{
    int32_t xValueB;
    int32_t xTrackDraw;
    int32_t xFieldOfView;
    BOOL boDirector;
};
extern CameraFrameView gaCameraFrameView[CAMERA_PLAYERS];

// Blends two matrices into pOut: the translation by the position weight, the rows by the
// rotation weight, the up row re-normalised and the other two rebuilt square to it by cross
// products. Mode 0 blends the side and up rows, any other the forward and up rows; the second
// weight is not used. pOut may be either input.
void BlendMatrices(DK_MATRIX* pOut, const DK_MATRIX* pFrom, const DK_MATRIX* pTo,
                   int32_t xPositionWeight, int32_t xRotationWeight, int32_t xSecondWeight,
                   int nMode);

// Stage start: numbers the records; per player the engine camera, type 0, no blend, the
// director off, then the near chase view and one update.
void Cameras_Init(void);
// Switches the player's camera to nType (nothing while a blend runs). A switch to or from the
// in-car view never blends. nTrackCamera is the track-side camera of type 11.
void Cameras_SetMode(int nPlayer, int nType, BOOL boBlend, int nTrackCamera = 0);
// The change-view key: the next allowed type, blended; the choice is stored in the player's
// record.
void Cameras_NextMode(int nPlayer);
// The player's stored choice (the race start, the school).
void Cameras_SetStoredMode(int nPlayer, BOOL boBlend);
// One tick of the player's cameras.
void Cameras_Update(int nPlayer);
// Re-places both of the player's records for their types.
void Cameras_Reattach(int nPlayer);
// Switches the director and the followed car; with boCut the view cuts to the track-side camera
// nearest the car.
void Cameras_SetLookBack(BOOL boDirector, BOOL boCut, int nPlayer, int nCar);
// The player's output view for rendering (the active record finished, blended with the other
// during a blend), copied into gaPlayerView.
void Cameras_GetActiveView(int nPlayer);
// The frame's view at the tick fraction into the player's engine camera, lifted clear of the
// ground; the values the renderer needs kept in gaCameraFrameView.
void Cameras_GetBlendedMatrix(int nPlayer, int32_t xFraction);
// The player's projection and track-draw setting for the frame's view.
void Cameras_GetFieldOfView(int nPlayer);
// The car whose view the player's active record shows.
int Cameras_GetType(int nPlayer);
// 1 for the views inside or on the car (types 1, 2 and 3).
BOOL Cameras_IsInCar(int nPlayer);
// Headings 0..4095 from the forward row of the player's view or of car nCar's matrix.
int Cameras_GetHeadingFromView(int nPlayer);
int Cameras_GetHeadingFromObject(int nCar);
// The vector from the active record's eye to the player view's eye.
void Cameras_GetRelativePosition(int nPlayer, DK_VECTOR* pOut);
// Pitches the matrix about its side axis by nAngle (4096 a turn), its position kept.
void Cameras_ResetOrientation(DK_MATRIX* pMatrix, int nAngle);
// The weight of the new record after nTicksLeft of a blend of nLength ticks: 1 - c^2 with
// c = (1 + cos(pi f)) / 2 and f = 1 - left / length.
int32_t Cameras_BlendWeight(int nTicksLeft, int nLength);

// The car's placement the placements follow: its current tick matrix (records 0..7).
const DK_MATRIX* Cameras_GetCarMatrix(int nCar);

// The director's state, for the tests.
struct CameraDirector
{
    int nActive;         // which of the player's records is active: 1 the first
    int16_t nBlendTicks; // -1: none
    int16_t nBlendLength;
    BOOL boViewChanged;
    BOOL boViewChangedPrev;
    int32_t xGroundLift;
    BOOL boDirector;
    int16_t nLastNearest;   // -2 forces a new decision
    int16_t nTicksSinceCut; // -1: cut to the track camera at once
    CameraView Previous;    // the active record at the start of the tick
};
extern CameraDirector gaCameraDirector[CAMERA_PLAYERS];

// Test hook: every record and the director state back to their start.
void Cameras_ResetForTests(void);
