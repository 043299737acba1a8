#include "game/vehicle/gencoll.h"

#include "game/vehicle/knockedover.h"

TrackObjectNode* gapTrackObjects[COLL_TRACK_BLOCKS];
BOOL gboCarsCollided = FALSE;
int32_t gnCollisionEndCounter = 0;

BOOL Coll_CarVsTrackObjects(CarBody*) { return FALSE; }
BOOL Coll_CarVsMovingObjects(CarBody*) { return FALSE; }
BOOL Coll_CarVsCar(CarBody*, CarBody*) { return FALSE; }
BOOL Coll_OverlapMovingObject(CarBody*, HitObject*) { return FALSE; }
void MovingObjects_Reset(int) {}
void MovingObjects_Relink(void) {}
void MovingObjects_Link(int, HitObject*) {}
void MovingObjects_DebugDump(void) {}
HitObject* MovingObjects_GetList(int, int) { return nullptr; }
int MovingObjects_GetListCount(int) { return 0; }
uint8_t Coll_GetLastHitKind(void) { return 0; }
int Coll_GetHitCount(void) { return 0; }
void TransformPoint(DK_VECTOR[8], const DK_VECTOR*, const DK_VECTOR[3], const DK_VECTOR*) {}
void InitTrackObjectBounds(const DK_VECTOR[3], const DK_VECTOR[8], TrackObjectCollision*,
                           const DK_VECTOR*) {}
void InitTrackObjectBox(const DK_VECTOR[3], const DK_VECTOR[8], TrackObjectCollision*,
                        const DK_VECTOR*) {}
void Coll_ClearAll(void) {}
