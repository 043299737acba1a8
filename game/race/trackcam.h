// Track-side cameras and start positions. So far the stage loading's calls: the two files'
// loaders and the linking of the camera targets, which do nothing yet.
#pragma once

void TrackCam_LoadCameras(const char* pszPath);
void TrackCam_LoadStartPositions(const char* pszPath);
void TrackCam_LinkTargets(void);
