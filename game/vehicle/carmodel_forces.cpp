// The body forces: the tick's forces and torques integrated into the car's motion.
#include "game/vehicle/carmodel_internal.h"

// Nothing yet: the car keeps its motion; the acceleration the car step selected stays as it was.
void CarModel_IntegrateBody(void) {}
