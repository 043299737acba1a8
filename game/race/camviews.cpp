#include "game/race/camviews.h"

#include "game/race/cameras.h"

// The placements are not built yet: each leaves the record as it is.
void CarCamA_SetViewWithOffset(CameraView*, int) {}
void CarCamA_SetView(CameraView*) {}
void CarCamA_SetViewRotated(CameraView*, BOOL) {}
void CarCamA_FinishView(CameraView*) {}
void CarCamB_SetViewWithMode(CameraView*, int) {}
void CarCamB_SetView(CameraView*) {}
void CarCamB_SetViewRotated(CameraView*, BOOL) {}
void CarCamB_SetViewTurned(CameraView*) {}
void TvCam_PlaceRandomOrbit(CameraView*, int) {}
void TvCam_UpdateOrbit(CameraView*) {}
void TvCam_PickRandomType(CameraView*) {}
void TvCam_UpdateShake(CameraView*) {}
