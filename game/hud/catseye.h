// The cat's-eye checkpoints along a stage. So far only the players' current checkpoint that the
// split markers set, and the count of checkpoints.
#pragma once

#include <cstdint>

// The cat's-eye index each player last passed, one entry per player number (0..7) so that any
// player's marker can be kept.
extern int32_t gaCatsEyeHead[8];
// The stage's cat's-eye checkpoints.
extern int32_t gnNumCatsEyes;
