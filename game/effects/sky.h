// The sky: the sun's lens flare, the moon and stars of a clear night, and the tint of a view in
// water. So far the night-sky light's blend between ticks, which the frame's placement calls.
#pragma once

#include <cstdint>

// The night sky's light at the frame's tick fraction. Nothing yet.
void Sky_InterpolateLight(int32_t xFraction);
