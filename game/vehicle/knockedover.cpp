#include "game/vehicle/knockedover.h"

HitObject gaHitObjects[HIT_OBJECT_SETS][HIT_OBJECT_RECORDS];
int32_t gnNumMovingObjects = 0;
BOOL gboAllCarsMoveObjects = FALSE;
int16_t gaMovingObjectList[HIT_OBJECT_SETS][HIT_OBJECT_MOVING];
int16_t gaNumMovingInList[HIT_OBJECT_SETS];

int HitObjects_NumSets(void) { return 1; }
void HitObjects_UpdateAll(void) {}
void HitObjects_Reset(int) {}
void HitObjects_RotateAboutAxes(DK_VECTOR[3], const int16_t[3]) {}
int32_t HitObjects_GroundPenetration(HitObject*, DK_VECTOR*) { return 0; }
uint32_t HitObjects_WriteImage(const HitObject*, uint8_t*, uint32_t) { return 0; }
BOOL HitObjects_ReadImage(HitObject*, const uint8_t*, uint32_t) { return FALSE; }
