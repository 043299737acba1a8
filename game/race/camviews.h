// The placements of the camera types that follow a car: the car-mounted views of family A
// (bonnet and roof, types 1 and 2), the chase views of family B (types 5, 6 and 10), the orbit
// cameras (types 7 and 9) and the TV intro camera (type 8). Each writes a camera record's view
// matrix and view values; the car's placement is its current tick matrix
// (Cameras_GetCarMatrix). A view built from the car matrix takes the car's first row as its
// third and the negated third row as its first.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

struct CameraView;

// Family A: set up with variant 1 (bonnet) or 0 (roof); the re-attach; the tick (boHold: the
// view takes the car's rotation at once); the eye and the view values.
void CarCamA_SetViewWithOffset(CameraView* pView, int nVariant);
void CarCamA_SetView(CameraView* pView);
void CarCamA_SetViewRotated(CameraView* pView, BOOL boHold);
void CarCamA_FinishView(CameraView* pView);

// Family B: set up with mode 0, 3 or 6 (looking back); the re-attach; the tick (boHold: the
// view keeps its own rotation, levelled); the eye and the view values.
void CarCamB_SetViewWithMode(CameraView* pView, int nMode);
void CarCamB_SetView(CameraView* pView);
void CarCamB_SetViewRotated(CameraView* pView, BOOL boHold);
void CarCamB_SetViewTurned(CameraView* pView);

// The orbit cameras: placed at random about the car with variant 1 or 0; the tick.
void TvCam_PlaceRandomOrbit(CameraView* pView, int nVariant);
void TvCam_UpdateOrbit(CameraView* pView);

// The TV intro camera: a shot drawn for the ground under the car; the tick.
void TvCam_PickRandomType(CameraView* pView);
void TvCam_UpdateShake(CameraView* pView);
// One of a TV shot's four easing factors (16.16): 1.0 while the factor is above its limit,
// f x f for a limit of 1.0, else a cosine ease from 1.0 at the limit down to 0.
int32_t TvCam_ShapeFactor(int32_t xFactor, int32_t xLimit);

// The track-draw value (view value C) of the views away from the car's body: xValue, or 0 on
// the stages of country 8 and in the school's lessons below 64 (byte 1728), which draw no near
// objects.
int32_t CamViews_TrackDrawValue(int32_t xValue);

// What the views fixed to the car add to their eye's height: the body's height correction, the
// second one on the flat raised gravel, and 0.02 for each unit the car's vertical motion lies
// below -150 (-300 at 50 ticks a second), so that a hard landing does not put the eye into the
// ground.
int32_t CamViews_CarEyeLift(int nCar);
