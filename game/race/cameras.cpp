#include "game/race/cameras.h"

PlayerView gaPlayerView[CAMERA_PLAYERS];

void BlendMatrices(DK_MATRIX* pOut, const DK_MATRIX* pFrom, const DK_MATRIX* pTo,
                   int32_t xPositionWeight, int32_t xRotationWeight, int32_t, int)
{
    (void)pOut;
    (void)pFrom;
    (void)pTo;
    (void)xPositionWeight;
    (void)xRotationWeight;
}

void Cameras_Update(int) {}

void Cameras_Reattach(int) {}
