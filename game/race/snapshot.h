// The developer's free camera ("snapshot mode"): a camera per player flown about the car by keys.
// So far what the frame asks of it, which does nothing.
#pragma once

#include "engine/include/dk_types.h"

// Whether snapshot mode is on (the frame then keeps what the free camera drew).
BOOL Snapshot_IsEnabled(void);
// Moves the developer's marker to the player's car.
void Snapshot_MoveMarker(int nPlayer);
