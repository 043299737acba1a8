// The cat's-eye checkpoints along a stage. So far only the players' current checkpoint that the
// split markers set, and the count of checkpoints.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// The cat's-eye index each player last passed, one entry per player number (0..7) so that any
// player's marker can be kept.
extern int32_t gaCatsEyeHead[8];
// One cat's eye of the stage's chain, as a ".cat" file holds it (28 bytes, little-endian):
// position and direction of travel in 16.16; splitFlags non-zero marks a split point (255 after
// loading, one bit a player, cleared as that player passes it); noPlace forbids putting a car
// back on the road there; order is the record's sequence number.
struct CatsEyeRecord
{
    int32_t x, y, z;
    int32_t dirX, dirY, dirZ;
    uint8_t splitFlags;
    uint8_t noPlace;
    uint16_t order;
};
#define CATSEYE_RECORD_SIZE 28

// The stage's cat's-eye checkpoints and their count (none when the file is missing or bad).
extern CatsEyeRecord* gpCatsEyes;
extern int32_t gnNumCatsEyes;
// Per player, the cat's eye nearest the car when the super special stage placed it.
extern int32_t gaNearestCheckpoint[8];
// The best time of the other drivers at each of the nine splits, hundredths; the split-time
// display's reference. NO_SPLIT_REFERENCE: none.
#define NUM_SPLIT_TIMES 9
#define NO_SPLIT_REFERENCE 1000000000u
extern uint32_t gaBestSplitTimes[NUM_SPLIT_TIMES];

// The tick's checkpoint work for car nCar, last car first: a car asking to be put back on the
// road is placed at a cat's eye after its physics (nothing yet); then the test against the
// chain on an ordinary stage or in the rally school, or against the closed loop of a super
// special stage. A car moves on past the next cat's eye once that one lies behind it, and back
// when it is behind the last one passed; a player's car that has passed the last cat's eye
// finishes (outside the school). On the loop the car finishes on passing the second cat's eye
// of its next lap.
void CatsEye_PlaceCar(int nCar);
void CatsEye_UpdateCar(int nCar);
void CatsEye_UpdateCarLoop(int nCar);
// TRUE while the car has driven back past several cat's eyes in a row.
BOOL CatsEye_IsWrongWay(int nCar);
// The checkpoint state of a stage's start: every car at the first cat's eye, one lap to run,
// no wrong-way passes.
void CatsEye_ResetState(void);

// Loads the stage's checkpoint records (".cat": whole 28-byte records, a shorter tail ignored),
// turned round on a stage run in reverse; none when the file is missing or holds no record.
void CatsEye_Load(const char* pszPath);
// The chain in a ".cat" file's bytes, on the main heap, and its count through pnCount; NULL
// (count 0) when the bytes hold no whole record, or more than a chain may hold.
CatsEyeRecord* CatsEye_ReadChain(const uint8_t* pData, uint32_t uSize, int32_t* pnCount);
// Sets the player's stage time from the length of the computer car's replay (super special).
void OverrideSuperSpecialTime(int nPlayer);
