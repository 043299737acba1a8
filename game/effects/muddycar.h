// Dirt and scrapes on the players' cars. So far only the wall-scrape count that the wall
// collision feeds, recorded.
#pragma once

#include <cstdint>

// Counts a wall scrape on corner nCorner (0..3) of player nPlayer's car; xValue 16.16.
void MuddyCar_CountHit(int nPlayer, int nCorner, int32_t xValue);

// Test hooks: the hits counted since the last reset, and the last one.
struct MuddyCarHit
{
    int nPlayer;
    int nCorner;
    int32_t xValue;
};
int MuddyCar_GetHitsForTests(void);
MuddyCarHit MuddyCar_GetLastHitForTests(void);
void MuddyCar_ResetForTests(void);
