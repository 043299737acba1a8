// Lights: actors of type 1 carrying a device light description, made for the front end's
// scenes and, on stages, one per car as a moving pool of light. On track stages with hardware
// texturing the engine colours the visible track itself, from each vertex's or object's distance
// to each car's light, once per frame before the track is drawn. Also the ambient colours the
// DK3D reader bakes into what it loads.
//
// DkDeleteLight, DkDeleteAllLights and DkSyncLightD3D are declared with the core services,
// since the actor tree calls them.
#pragma once

#include <cstdint>

#include "engine/include/dk_services.h"
#include "engine/common/matrixop.h"

struct DK_MODEL;

#define MAXLIGHTS 16

// Light kinds of the description.
#define DK_LIGHT_POINT 1
#define DK_LIGHT_SPOT 2
#define DK_LIGHT_DIRECTIONAL 3
#define DK_LIGHT_PARALLELPOINT 4

// The device's 80-byte light description. The engine keeps it in step with the light's actor;
// no device light object is made from it.
struct DK_LIGHT_DESC
{
    uint32_t uSize;
    uint32_t uType;
    float afColour[4]; // r, g, b, a
    float afPosition[3];
    float afDirection[3];
    float fRange;
    float fFalloff;
    float afAttenuation[3];
    float fTheta;
    float fPhi;
    uint32_t uFlags;
};
static_assert(sizeof(DK_LIGHT_DESC) == 80, "a light description is 80 bytes");

struct DK_LIGHT
{
    DK_LIGHT_DESC Light;
    int32_t nEnabled;
    int32_t axColour[3]; // r, g, b as given, 16.16
};

extern DK_LIGHT* gapLights[MAXLIGHTS];
extern uint32_t guNumLights;
// The light actor of each car slot.
extern DK_ACTOR* gapLightActors[MAXLIGHTS];
// Falloff radius of the car lights, 16.16.
extern int32_t gxLightRadius;
// RGBA colours by DK3D load kind: 0 track, 1 objects, 2 shadows, 3 horizon; and the cars'.
extern uint8_t gaAmbientLight[4][4];
extern uint8_t gCarAmbientLight[4];
// R, G, B and a spare byte, left by the last vertex DkTintActorTree moved.
extern uint8_t gLastTintColour[4];

// nType: 0 point, 1 spot, 2 directional, 3 parallel point. The light shines from pPosition
// towards the parent's origin. NULL for a NULL parent or a full light or actor table.
DK_ACTOR* DkCreateLight(int nType, int32_t r, int32_t g, int32_t b, const DK_VECTOR* pPosition,
                        const int16_t* pAngles, DK_ACTOR* pParent);
BOOL DkLightDestructor(void);
// Six RGBA colours; the first four become gaAmbientLight, the last two are only checked.
void DkSetAmbientLightStates(const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
                             const uint8_t* c3, const uint8_t* c4, const uint8_t* c5);
void DkSetCarAmbientLight(const uint8_t* c0, const uint8_t* c1);
// The point light of car slot nSlot (0 to 15) under pParent, at an offset the first call of
// the run fixes from its radius.
DK_ACTOR* DkCreateCarLight(DK_ACTOR* pParent, int32_t xRadius, int nSlot);
// Grey level of the light at a point: 255 near the light, falling to 40 at the radius; in the
// three low bytes.
uint32_t DkLightFalloff(const DK_VECTOR* pLight, const DK_VECTOR* pPoint);
// Lights the visible track from the light of car slot nSlot; slot 0 first resets it.
void DkLightActor(int nSlot);
// Lights the lit vertices of detail level 0 (moved by pOffset unless boAsTheyAre).
void DkLightModelVertices(DK_MODEL* pModel, const DK_VECTOR* pOffset, const DK_VECTOR* pLight,
                          BOOL boAsTheyAre);
void DkResetModelVertexLight(DK_MODEL* pModel);
// Moves the vertex colours of the model actors from pFirst on (and below) towards uColour
// (A R G B), 5 a channel; only with hardware texturing.
void DkTintActorTree(DK_ACTOR* pFirst, uint32_t uColour);
uint32_t DkGetLightingValue(void);
