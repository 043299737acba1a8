#include "game/vehicle/damage.h"

DamageRecord gaDamage[MAX_DAMAGE_RECORDS];
