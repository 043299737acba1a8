#include "game/race/trackcam.h"

void TrackCam_LoadCameras(const char*) {}

void TrackCam_LoadStartPositions(const char*) {}

void TrackCam_LinkTargets(void) {}
