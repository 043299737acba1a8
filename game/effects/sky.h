// The sky: the sun's lens flare, the moon and stars of a clear night, and the tint of a view in
// water. So far the night-sky light's blend between ticks, which the frame's placement calls,
// and the camera's projection of a world point onto the screen.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

struct DK_ACTOR;

// The night sky's light at the frame's tick fraction. Nothing yet.
void Sky_InterpolateLight(int32_t xFraction);

// Projects a world point through the camera (its world matrix: side, up and forward rows, then
// its position) with the device's projection onto the whole screen, as the renderer maps its
// viewport: pOut[0] and pOut[1] are the pixel column and row, 16.16. FALSE, with nothing
// written, for a point at or behind the camera's plane, without a camera or without a screen.
BOOL Sky_ProjectPoint(int32_t* pOut, const DK_VECTOR* pPoint, const DK_ACTOR* pCamera);
