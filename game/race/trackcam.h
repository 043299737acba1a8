// Track-side cameras and start positions. The stage's camera points (".tsc") from which the
// director films the car, and where the cars stand at the start (".csp").
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

struct CameraView;

void TrackCam_LoadCameras(const char* pszPath);
void TrackCam_LoadStartPositions(const char* pszPath);
void TrackCam_LinkTargets(void);
// Where car nCar starts: its position and its angles (4096 a turn). FALSE, with the origin
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
