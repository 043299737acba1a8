#include "game/race/interp.h"

#include <cstring>

DK_MATRIX gaSnapCarMatrix[SNAP_RECORDS][3];
DK_MATRIX gaSnapRootMatrix[SNAP_RECORDS][2];
DK_MATRIX gaSnapPartMatrix[SNAP_RECORDS][2];
DK_VECTOR gaSnapBodyVector[SNAP_RECORDS][2];
uint8_t gaSnapFadeLevel[SNAP_RECORDS][2];
int32_t gaSnapHeightLift[SNAP_RECORDS][2];
int32_t gaSnapSecondLift[SNAP_RECORDS][2];
int32_t gaSnapImpactLift[SNAP_RECORDS][2];
int16_t gaWheelSpinAngle[SNAP_RECORDS][SNAP_WHEELS];
int32_t gaWheelReversed[SNAP_RECORDS][SNAP_WHEELS];

void Interp_ClearAll(void)
{
    std::memset(gaSnapCarMatrix, 0, sizeof(gaSnapCarMatrix));
    std::memset(gaSnapRootMatrix, 0, sizeof(gaSnapRootMatrix));
    std::memset(gaSnapPartMatrix, 0, sizeof(gaSnapPartMatrix));
    std::memset(gaSnapBodyVector, 0, sizeof(gaSnapBodyVector));
    std::memset(gaSnapFadeLevel, 0, sizeof(gaSnapFadeLevel));
    std::memset(gaSnapHeightLift, 0, sizeof(gaSnapHeightLift));
    std::memset(gaSnapSecondLift, 0, sizeof(gaSnapSecondLift));
    std::memset(gaSnapImpactLift, 0, sizeof(gaSnapImpactLift));
    std::memset(gaWheelSpinAngle, 0, sizeof(gaWheelSpinAngle));
    std::memset(gaWheelReversed, 0, sizeof(gaWheelReversed));
}
