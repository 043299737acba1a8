#include "game/race/trackcam.h"

void TrackCam_LoadCameras(const char*) {}

void TrackCam_LoadStartPositions(const char*) {}

void TrackCam_LinkTargets(void) {}

BOOL TrackCam_GetStartPosition(int, DK_VECTOR* pPosition, int16_t* panAngles)
{
    if (pPosition != nullptr)
        *pPosition = DK_VECTOR{};
    if (panAngles != nullptr)
        panAngles[0] = panAngles[1] = panAngles[2] = 0;
    return FALSE;
}

int TrackCam_FindNearest(int, int32_t*)
{
    return -1;
}

BOOL TrackCam_GetPoint(int, DK_VECTOR*)
{
    return FALSE;
}

void TrackCam_AttachFixed(CameraView*, const DK_VECTOR*) {}
void TrackCam_AttachStatic(CameraView*, const DK_VECTOR*) {}
void TrackCam_AttachMoving(CameraView*, const DK_VECTOR*) {}
void TrackCam_Aim(CameraView*, const DK_VECTOR*) {}
