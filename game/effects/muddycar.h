// Dirt and scrapes on the players' cars. So far only the wall-scrape count that the wall
// collision feeds, recorded.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

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

// Keeps a clean copy of the player's car body texture at the stage start. Counted so far.
void StoreCleanCar(int nPlayer);
// A replay's start: the player's car takes its clean body and wheel textures back. Nothing yet.
void MuddyCar_RestoreCleanCar(int nPlayer);
int MuddyCar_GetStoreCleanCallsForTests(void);

// Per car: its muddy detail has been set up this stage.
#define MUDDY_CARS 8
extern BOOL gboMuddyCarInitialised[MUDDY_CARS];
// At the car's load: the car is not yet identified nor ready for painting. Counted so far.
void InitialiseMuddyCar(int nCarType, int nPlayer);
// Once the car's detail model is built: finds its body texture and sets its colour tables,
// scrapes and wheels up. Counted so far.
void MuddyCar_InitDetailNode(int nPlayer);
int MuddyCar_GetInitialiseCallsForTests(void);
int MuddyCar_GetDetailNodeCallsForTests(void);
