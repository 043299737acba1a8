#include "game/vehicle/notmvble.h"

MovingObjectState gaMovingObjects[MAX_MOVING_OBJECTS];
int16_t gnNumScriptedObjects = 0;

void MovingObjects_Load(const char*) {}
void MovingObjects_Parse(const uint8_t*, uint32_t) {}
void MovingObjects_BindActor(DK_ACTOR*) {}
BOOL MovingObjects_Check(void) { return TRUE; }
void MovingObjects_Update(int) {}
void MovingObjects_PlaceOnGround(int32_t) {}
void MovingObjects_CircleClockwise(MovingObjectRecord*, MovingObjectState*, int32_t) {}
void MovingObjects_CircleAnticlockwise(MovingObjectRecord*, MovingObjectState*, int32_t) {}
void MovingObjects_MoveToTarget(MovingObjectRecord*, MovingObjectState*, int32_t) {}
void MovingObjects_PingPong(MovingObjectRecord*, MovingObjectState*, int32_t) {}
void MovingObjects_SpinAboutX(MovingObjectRecord*, MovingObjectState*, int32_t) {}
void MovingObjects_SpinAboutY(MovingObjectRecord*, MovingObjectState*, int32_t) {}
