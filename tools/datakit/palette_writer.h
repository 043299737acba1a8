// Palette files (".pal"): a RIFF "PAL " file of 256 colours, 1,048 bytes:
//
//   bytes 0-3     "RIFF"
//   bytes 4-7     size of the rest of the file (1,040), unsigned 32-bit little-endian
//   bytes 8-11    "PAL "
//   bytes 12-15   "data"
//   bytes 16-19   data chunk size (1,028)
//   bytes 20-21   version 0x0300, 16-bit little-endian
//   bytes 22-23   entry count 256
//   bytes 24-     256 entries of red, green, blue and a flags byte (0)
//
// The game reads the entries at byte 24 and nothing else of the file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "tools/datakit/file_io.h" // Error

namespace datakit
{

inline constexpr size_t kPaletteColours = 256;
inline constexpr size_t kPaletteEntriesOffset = 24;
inline constexpr size_t kPaletteFileSize = kPaletteEntriesOffset + kPaletteColours * 4;
static_assert(kPaletteFileSize == 1048, "a palette file is 1,048 bytes");

struct PaletteColour
{
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

using Palette = std::array<PaletteColour, kPaletteColours>;

// The file's bytes.
std::vector<uint8_t> FormatPaletteFile(const Palette& palette);

// Writes the file atomically; throws Error when it cannot.
void WritePaletteFile(const std::filesystem::path& path, const Palette& palette);

// Built-in palettes: a grey ramp from black (0) to white (255), and a fully saturated hue
// sweep red, yellow, green, cyan, blue, magenta and back towards red.
Palette GreyPalette();
Palette SpectrumPalette();

} // namespace datakit
