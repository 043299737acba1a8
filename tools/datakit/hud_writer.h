// What the race's on-screen display reads: the start lights and a stage's cat's eyes.
//
// images\cntdown2.bmp  the start lights: five red lamps in a row on a dark panel, 160 x 32
// images\go!.bmp       the go light: a green lamp on the same panel, 32 x 32
// NAME.cat             the stage's cat's eyes, 28-byte little-endian records, no header:
//                      x, y, z (16.16), the direction of travel dirX, dirY, dirZ (16.16, unit
//                      length), a split flag byte, a no-placing byte and a 16-bit order number
#pragma once

#include <cstdint>
#include <vector>

#include "tools/datakit/image_writer.h"
#include "tools/datakit/stage_writer.h"

namespace datakit
{

Image StartLightsImage();
Image GoLightImage();

inline constexpr size_t kCatsEyeRecordSize = 28;

struct CatsEye
{
    double x = 0, y = 0, z = 0;
    double dirX = 0, dirY = 0, dirZ = 1;
    bool split = false;
    bool noPlace = false;
    uint16_t order = 0;
};

// The records' bytes; throws Error for a position or direction that 16.16 cannot hold.
std::vector<uint8_t> FormatCatsEyes(const std::vector<CatsEye>& eyes);

// The demo stage's chain: a cat's eye every 20.0 up the road's centre line from z = 30 to the
// finish line at z = 1,230 (the last one), facing up the road; the three at the split lines
// (z = 330, 650 and 970) are split points.
inline constexpr double kDemoCatsEyeFirstZ = 30.0;
inline constexpr double kDemoCatsEyeStep = 20.0;
std::vector<CatsEye> DemoCatsEyes();

} // namespace datakit
