// Track-side cameras and start positions. The stage's camera points (".tsc") from which the
// director films the car, and where the cars stand at the start (".csp").
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

struct CameraView;

// One track-side camera as a ".tsc" file holds it: a headerless array of 16-byte records,
// little-endian: the point (16.16), the kind 0..6, a padding byte and, for kind 2, the cat's eye
// whose direction the camera looks along (filled at load by TrackCam_LinkTargets).
struct TrackCameraRecord
{
    int32_t x, y, z;
    uint8_t nKind;
    uint8_t nPadding;
    int16_t nLinkedCheckpoint;
};
#define TRACKCAM_RECORD_SIZE 16

// The camera kinds: how the camera looks at the car.
#define TRACKCAM_KIND_NEAR 0    // stands 6.0 from the car on the line from its point
#define TRACKCAM_KIND_FIXED 1   // looks at the car from its point
#define TRACKCAM_KIND_ALONG 2   // looks along the road by its linked cat's eye
#define TRACKCAM_KIND_HALFWAY 3 // stands half way from its point to the car
#define TRACKCAM_KIND_ZOOM 4    // zooms with the distance
#define TRACKCAM_KIND_HIGH 5    // raised by a tenth of the distance
#define TRACKCAM_KIND_HIGH_ZOOM 6

// A ".csp" file: one set of 40 bytes, optionally a second set directly behind it (the stage run
// in reverse). A set holds two positions (three i32, 16.16), car 1's and car 2's, then their two
// rotations (three i16 angles, 4096 a turn, and 2 bytes of padding).
#define TRACKCAM_START_SET_SIZE 40
struct StartPositionSet
{
    DK_VECTOR aPosition[2];
    int16_t aanAngles[2][3];
};

// The cameras in a ".tsc" file's bytes, on the main heap, and their count through pnCount:
// every whole record, a shorter tail ignored; NULL (count 0) when the bytes hold no whole record
// or more than a camera index (16 bits) can name.
TrackCameraRecord* TrackCam_ReadCameras(const uint8_t* pData, uint32_t uSize, int32_t* pnCount);
// The set of a ".csp" file's bytes: the second when boSecond and the bytes hold it whole, else
// the first. FALSE when the bytes are shorter than one set.
BOOL TrackCam_ReadStartPositions(const uint8_t* pData, uint32_t uSize, BOOL boSecond,
                                 StartPositionSet* pSet);

// Loads the stage's cameras (none when the file is missing).
void TrackCam_LoadCameras(const char* pszPath);
// Loads the stage's start positions; without them (no file, or one shorter than a set) reports
// "No start positions - Press Abort now!!!" and goes on. The second set is chosen on a stage
// run in reverse, outside the rally school and the super special stages, when the file has it.
void TrackCam_LoadStartPositions(const char* pszPath);
// "Car start position destructor": the start positions are gone.
BOOL TrackCam_FreeStartPositions(void);
// After the cat's eyes are loaded: each kind-2 camera takes the farthest cat's eye within 75.0
// (the first found on a tie); one with none in range keeps the link stored in its file.
void TrackCam_LinkTargets(void);
// Where car nCar starts: its position and its angles (4096 a turn). Cars take the set's two
// positions in turn: even car numbers the first, odd ones the second. FALSE, with the origin
// facing along z, while the stage has no start positions.
BOOL TrackCam_GetStartPosition(int nCar, DK_VECTOR* pPosition, int16_t* panAngles);

// The camera in the search range nearest car nCar in whole horizontal units, the first found
// on a tie; -1 when there is none. pxDistance, when given, receives the full distance from the
// camera to the car.
int TrackCam_FindNearest(int nCar, int32_t* pxDistance);
// Camera nCamera's point; FALSE when there is no such camera.
BOOL TrackCam_GetPoint(int nCamera, DK_VECTOR* pPoint);

// A type-11 record on its camera (pView->nTrackCamera): the aim point on the car, then aimed;
// the same on a re-attach; each tick, the aim point following the car.
void TrackCam_AttachFixed(CameraView* pView, const DK_VECTOR* pCarPosition);
void TrackCam_AttachStatic(CameraView* pView, const DK_VECTOR* pCarPosition);
void TrackCam_AttachMoving(CameraView* pView, const DK_VECTOR* pCarPosition);
// The record's view matrix and view values from its camera and aim point.
void TrackCam_Aim(CameraView* pView, const DK_VECTOR* pCarPosition);

// Test hooks: the loaded cameras (NULL, count 0 when none), and every camera and start position
// forgotten.
const TrackCameraRecord* TrackCam_GetCamerasForTests(int32_t* pnCount);
void TrackCam_ResetForTests(void);
