// The in-car view: the driver's seat with the dashboard, the wheel, the arms and the wipers, seen
// from a head that lags behind the car. So far the camera director's calls, which do nothing.
#pragma once

#include "engine/include/dk_types.h"

struct CameraView;

// Type 3 starts on the record for the car type; each tick (boHold as for the car-mounted views);
// leaving type 3 stops it.
void HeadCam_Start(CameraView* pView, int nCarType);
void HeadCam_Update(CameraView* pView, BOOL boHold);
void HeadCam_Stop(int nPlayer);
// The driver's colours: nSecond 0 on entering the car-mounted views, 1 on leaving them.
void HeadCam_SetDriverColours(int nPlayer, int nFirst, int nSecond);
