// Track-side cameras and start positions. So far the stage loading's calls: the two files'
// loaders, the linking of the camera targets and the cars' start positions, which do nothing
// yet.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

void TrackCam_LoadCameras(const char* pszPath);
void TrackCam_LoadStartPositions(const char* pszPath);
void TrackCam_LinkTargets(void);
// Where car nCar starts: its position and its angles (4096 a turn). FALSE, with the origin
// facing along z, while the stage has no start positions.
BOOL TrackCam_GetStartPosition(int nCar, DK_VECTOR* pPosition, int16_t* panAngles);
