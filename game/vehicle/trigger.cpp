#include "game/vehicle/trigger.h"

WallImpact gaWallImpact[MAX_CARS];
const int32_t gaTrackCameraClip[TRACK_CAMERA_SETS] = {50 << 16, 75 << 16, 100 << 16, 150 << 16,
                                                      250 << 16};
int32_t gnTrackCameraClipSel = 0;

void Trigger_ProcessCar(CarBody*, CarMechanics*, int) {}
void Trigger_MarkDoneForPlayer(TrackTrigger*, int) {}
void Trigger_SelectTrackCamera(int) {}
void Trigger_MirrorRecords(void) {}
void Trigger_DrawDebugLines(void) {}
void Trigger_ComputeCarExtents(void) {}
int Trigger_TestCarAgainstPoint(const DK_VECTOR*, int)
{
    return 0;
}
int Trigger_TestWallEnds(void)
{
    return 0;
}
int Trigger_NearEitherSide(void)
{
    return 0;
}
int Trigger_NearFrontSide(void)
{
    return 0;
}
void Trigger_ClassifyCorners(void) {}
int Trigger_CarCrosses(int)
{
    return 0;
}
int Trigger_OutsideHeightSpan(void)
{
    return 0;
}
int Trigger_CollideCarWithWall(int, int)
{
    return 0;
}
