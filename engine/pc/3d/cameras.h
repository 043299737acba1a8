// Cameras: actors of type 2 whose world matrix is the viewer's placement. The renderer turns
// the current camera into the device's view transform before it draws.
//
// DkRemoveCamera and DkRemoveAllCameras are declared with the core services, since the actor
// tree calls them.
#pragma once

#include <cstdint>

#include "engine/include/dk_services.h"
#include "engine/common/matrixop.h"

#define MAXCAMERAS 256

// A camera's placement is its actor's world matrix; the record carries nothing of its own.
struct DK_CAMERA
{
    uint32_t uUnused;
};

extern DK_CAMERA* gapCameras[MAXCAMERAS];
extern uint32_t guNumCameras;
// Each local player's camera actor, as the game's camera set-up made it (NULL: none); emptied
// with the cameras.
#define DK_PLAYER_CAMERAS 2
extern DK_ACTOR* gapPlayerCamera[DK_PLAYER_CAMERAS];

// Makes pExisting a camera (id 999) without moving it, or a new actor under pParent placed at
// the position and angles (three int16). NULL when the camera table or the actor table is full.
DK_ACTOR* DkCreateCamera(const DK_VECTOR* pPosition, const int16_t* pAngles, DK_ACTOR* pExisting,
                         DK_ACTOR* pParent);
BOOL DkCameraDestructor(void);
// The view := the inverse of the camera's world matrix, into the 3D context and the device;
// nothing while the camera actor is clean.
void DkSetCameraTransform(DK_ACTOR* pCamera);
