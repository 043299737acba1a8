// Distance fog: the engine works out each vertex's fog factor itself and hands it to the device
// in the alpha byte of the specular colour (255 clear, 0 fully fogged); the device's fog colour
// does the blend. The weather turns it on with a start, an end, a colour and a density, or off.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/common/matrixop.h"

struct DK_VERTEX;

// Start and end in 16.16, colour 0x00RRGGBB. Nothing at all on a z-bufferless device; fog comes
// on only where the device has table fog.
void DkSetFog(int32_t xStart, int32_t xEnd, uint32_t uColour);
void DkDisableFog(void);
// The fog beyond the end: 1.0 fogs fully, 0 not at all.
void DkSetFogDensity(float fDensity);
// The one distance (16.16) all horizon vertices take.
void DkSetHorizonFogDistance(int32_t xDistance);
int32_t DkGetHorizonFogDistance(void);
int DkIsVertexFogOn(void);
// The ground distance (16.16) of the offset (dx, dz), its squares summed wide: a sum past 32
// bits (beyond 256 units) would wrap back near, so it stands for the farthest distance.
int32_t DkGroundDistance(int64_t xDx, int64_t xDz);
// Writes the fog factor into the specular word of nCount 32-byte vertices: one value for
// xDistance (16.16), or with xDistance 0 each vertex's own ground distance from pEye (x, z).
void DkApplyVertexFog(DK_VERTEX* pVertices, int nCount, int32_t xDistance, const DK_VECTOR* pEye);
