// The damage model. So far only the per-car record's fields the car model reads; they hold 0
// until the damage model fills them.
#pragma once

#include <cstdint>

#define MAX_DAMAGE_RECORDS 8
#define DAMAGE_WHEELS 4

struct DamageRecord
{
    int32_t DamageWheel[DAMAGE_WHEELS];     // 0 or less: undamaged
    int32_t DamageWheelDrag[DAMAGE_WHEELS]; // torque added to each wheel's brakes
    int32_t DamageFrontBrake;               // 1.0: undamaged
    int32_t DamageRearBrake;
    int32_t DamageEngine;
    int16_t SteeringOffset; // added to the front wheels' steering angle
};

// Indexed by car number.
extern DamageRecord gaDamage[MAX_DAMAGE_RECORDS];
