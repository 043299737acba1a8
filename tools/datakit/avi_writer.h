// Movie files (".avi"): a RIFF AVI file with one uncompressed video stream (24-bit BI_RGB
// frames, stored bottom row first) and, when the movie has sound, one stream of 16-bit mono
// PCM. The chunks of each frame and its share of the sound are interleaved in the "movi" list,
// and an "idx1" index follows it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "tools/datakit/file_io.h" // Error

namespace datakit
{

struct AviMovie
{
    int width = 0;
    int height = 0;
    int framesPerSecond = 0;
    // Each frame: width x height red, green, blue triples, top row first.
    std::vector<std::vector<uint8_t>> frames;
    std::vector<int16_t> sound; // mono, may be empty
    uint32_t soundRate = 22050;
};

// The file's bytes. Throws Error for a movie without frames, frames of the wrong size, a size
// or rate out of reason, or a file too large for RIFF.
std::vector<uint8_t> FormatAviFile(const AviMovie& movie);
void WriteAviFile(const std::filesystem::path& path, const AviMovie& movie);

// A frame filled with one colour above row `split` and another from it down.
std::vector<uint8_t> TwoColourFrame(int width, int height, int split, const uint8_t (&top)[3],
                                    const uint8_t (&bottom)[3]);

// The demo movie: a bar sweeping across a colour ramp, with a falling tone.
AviMovie DemoMovie();

} // namespace datakit
