// The effects manager: the particle emitters, marks and sparks of each player's car. So far only
// the wall-impact request that the wall collision makes, recorded.
#pragma once

#include <cstdint>

// Asks for wall-impact particles at corner nCorner (0..3) of player nPlayer's car at the next
// effects update; xValue 16.16.
void Effects_QueueWallImpact(int nPlayer, int nCorner, int32_t xValue);
// One simulation tick of every player's effects, at the end of the mechanics tick. Nothing yet.
void Effects_Tick(void);

// Test hooks: the requests since the last reset, and the last one.
struct EffectsWallImpact
{
    int nPlayer;
    int nCorner;
    int32_t xValue;
};
int Effects_GetWallImpactsForTests(void);
EffectsWallImpact Effects_GetLastWallImpactForTests(void);
void Effects_ResetForTests(void);
