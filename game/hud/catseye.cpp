#include "game/hud/catseye.h"

int32_t gaCatsEyeHead[8];
CatsEyeRecord* gpCatsEyes = nullptr;
int32_t gnNumCatsEyes = 0;
int32_t gaNearestCheckpoint[8];
uint32_t gaBestSplitTimes[NUM_SPLIT_TIMES] = {
    NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE,
    NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE, NO_SPLIT_REFERENCE};

void CatsEye_PlaceCar(int) {}

void CatsEye_UpdateCar(int) {}

void CatsEye_UpdateCarLoop(int) {}

void CatsEye_Load(const char*)
{
}

void OverrideSuperSpecialTime(int) {}
