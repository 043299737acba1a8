// The effects manager: the particle emitters, marks and sparks of each player's car. So far only
// the wall-impact request that the wall collision makes, recorded.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

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

struct DK_ACTOR;

// Set by Effects_CheckHardware: the device can draw the translucent effects (its capability
// answers and the hardware type is not 3).
extern BOOL gboEffectsCapable;
// The stage loading's checks, before the glow textures and the effects' set-up.
void Effects_CheckHardware(void);
// The stage's effects set-up with player 1's camera, once the track objects exist. Counted so
// far.
void Effects_InitialiseStage(DK_ACTOR* pCamera);
int Effects_GetInitialiseStageCallsForTests(void);

// The effects' tick in the game states after the cars have moved. Nothing yet.
void Effects_UpdateAll(void);
// A replay's jump: every particle system emptied, and the tyre marks cleared. Nothing yet.
void Effects_KillAllParticles(void);
void Effects_ResetTyreMarks(void);

// The frame's part of the effects, on the main thread. Nothing yet: the car's particles placed
// at the tick fraction; once a view, the update, the sky seen through the camera, the car's
// fade rectangle over the view, and the effects drawn.
void Effects_InterpolateParticles(int nCar, int32_t xFraction);
void Effects_Update(void);
void Effects_DrawSky(DK_ACTOR* pCamera, int nPlayer);
void Effects_DrawFadeRect(int nPlayer);
void Effects_Draw(int nPlayer);

// The screen position of a point that moves with an actor: the position of pActor's world
// matrix plus pOffset (NULL: none), projected through pCamera (Sky_ProjectPoint) and written to
// pOut[0] and pOut[1] as 16.16 fractions of the screen's width and height. Returns the point's
// depth, its distance along the camera's forward row (16.16, negative behind the camera); the
// position is written only for a point in front of the camera. Without an actor or a camera
// the result is EFFECTS_NO_DEPTH and nothing is written.
#define EFFECTS_NO_DEPTH (-9999 * 0x10000)
int32_t Effects_ProjectToScreen(const DK_ACTOR* pActor, const DK_ACTOR* pCamera, int32_t* pOut,
                                const DK_VECTOR* pOffset);
