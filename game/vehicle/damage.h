// The damage model. So far the per-car record's fields the car model reads, undamaged until the
// damage model fills them, and the least of the per-tick and impact calls the car model makes.
#pragma once

#include <cstdint>

#define MAX_DAMAGE_RECORDS 8
#define DAMAGE_WHEELS 4

struct CarBody;
struct CarMechanics;

struct DamageRecord
{
    int32_t DamageWheel[DAMAGE_WHEELS] = {};     // 0 or less: undamaged
    int32_t DamageWheelDrag[DAMAGE_WHEELS] = {}; // torque added to each wheel's brakes
    int32_t DamageFrontBrake = 0x10000;          // 1.0: undamaged
    int32_t DamageRearBrake = 0x10000;
    int32_t DamageEngine = 0x10000;
    int16_t SteeringOffset = 0; // added to the front wheels' steering angle
};

// Indexed by car number.
extern DamageRecord gaDamage[MAX_DAMAGE_RECORDS];

// The wobble of loose body parts, one tick; does nothing so far.
void Damage_UpdateWobble(int nListPosition);
// Water damage and drying, one tick; does nothing so far.
void Damage_UpdateWater(CarBody* pBody, CarMechanics* pMechanics);
// An impact: its speed is the length of the body's ExtForce. Below 0.149 the strength is 0,
// else min(1.0, (speed - 0.149) / 1.044); no part is damaged so far and the struck object's
// kind is 0. Both outputs are always written.
void Damage_ApplyImpact(CarBody* pBody, int32_t* pnKind, int32_t* pxStrength);

// Test hooks: the calls since the last reset, with the last arguments.
int Damage_GetWobbleCallsForTests(void);
int Damage_GetLastWobblePositionForTests(void);
int Damage_GetWaterCallsForTests(void);
const CarBody* Damage_GetLastWaterBodyForTests(void);
void Damage_ResetForTests(void);
