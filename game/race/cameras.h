// The camera director and the camera views. So far only each player's view record with the
// camera type the car model reads: type 8 stops the bounce of the flat-gravel wheel.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

#define CAMERA_PLAYERS 2

struct PlayerView
{
    int32_t nCameraType;
};

extern PlayerView gaPlayerView[CAMERA_PLAYERS];

// The two-player split-screen layout: set, the views are stacked (a horizontal split).
extern BOOL gboSplitHorizontal;

// Blends two matrices into pOut: the translation by the position weight, the rows by the
// rotation weight, the up row re-normalised and the other two rebuilt square to it by cross
// products. Mode 0 blends the side and up rows, any other the forward and up rows; the second
// weight is not used. pOut may be either input.
void BlendMatrices(DK_MATRIX* pOut, const DK_MATRIX* pFrom, const DK_MATRIX* pTo,
                   int32_t xPositionWeight, int32_t xRotationWeight, int32_t xSecondWeight,
                   int nMode);

// One tick of the player's cameras (0 or 1), and the re-attach of both its camera records to
// their car. Nothing yet.
void Cameras_Update(int nPlayer);
void Cameras_Reattach(int nPlayer);
// The frame's view of the player at the tick fraction, into the player's engine camera. Nothing
// yet.
void Cameras_GetBlendedMatrix(int nPlayer, int32_t xFraction);
// Sets the player's projection (its field of view) for the frame's view. Nothing yet: the
// stage's projection stands.
void Cameras_GetFieldOfView(int nPlayer);

// The player's camera key: the next camera mode. Counted so far.
void Cameras_NextMode(int nPlayer);
// Test hooks: how often the player (0 or 1) asked for the next mode; back to none.
int Cameras_GetNextModeCallsForTests(int nPlayer);
void Cameras_ResetForTests(void);

// Stage start: each player's camera records and engine camera. Counted so far.
void Cameras_Init(void);
int Cameras_GetInitCallsForTests(void);

// What the game flow asks of the cameras: the player's camera type (8 the TV camera of the
// start's intro, 7 after the lights, 9 the end stage's replays, 6 the second turn's start),
// the start view and the look-back view.
void Cameras_SetType(int nPlayer, int nType);
void Cameras_SetStartView(int nPlayer);
void Cameras_SetLookBack(int nPlayer, BOOL boOn);
