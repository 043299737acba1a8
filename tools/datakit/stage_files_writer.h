// The small per-stage files beside a stage's DK3D, height and trigger files.
//
// NAME.ars   the horizon record: four signed 32-bit little-endian 16.16 words, the horizon
//            height, the object clip distance, the far clip distance and the horizon distance
// NAME.anm   the animated textures: 13-byte records, each an 8.3 texture name padded with
//            zeros (so the name's terminator lies within the record)
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/file_io.h" // Error
#include "tools/datakit/image_writer.h"

namespace datakit
{

struct HorizonRecord
{
    double horizonHeight = -10.0;
    double objectClip = 150.0;
    double farClip = 200.0;
    double horizonDistance = 100.0;
};
std::vector<uint8_t> FormatHorizonRecord(const HorizonRecord& record);

// Names of 12 characters at most; a longer one throws Error.
std::vector<uint8_t> FormatAnimations(const std::vector<std::string>& names);

// The loading screen's images (8-bit BMP): the progress bar, a golden strip 213 x 13 (the
// screen draws its first columns), the separator line 216 x 1, and a background of the
// screen's size, NAME.LOA (512 wide and more) or NAME.LOL.
Image LoadingBarImage();
Image LoadingLineImage();
Image LoadingBackground(int width, int height);
inline constexpr Rgb kLoadingBarColour = {230, 180, 40};

// The demo stage's own: its far clip and the animated "SIGN" board.
HorizonRecord DemoHorizonRecord();
std::vector<std::string> DemoAnimations();

} // namespace datakit
