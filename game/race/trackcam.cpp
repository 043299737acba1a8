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
