#include "game/race/headdk.h"

void HeadCam_Start(CameraView*, int) {}
void HeadCam_Update(CameraView*, BOOL) {}
void HeadCam_Stop(int) {}
void HeadCam_SetDriverColours(int, int, int) {}
