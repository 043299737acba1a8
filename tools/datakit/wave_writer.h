// Sound files (".wav"): a RIFF WAVE file of 16-bit PCM with the plain 44-byte header:
//
//   bytes 0-3     "RIFF", then the size of the rest of the file
//   bytes 8-15    "WAVE" "fmt "
//   bytes 16-19   format chunk size 16
//   bytes 20-35   format tag 1 (PCM), channels, samples a second, bytes a second, block
//                 alignment, bits a sample (16)
//   bytes 36-43   "data", then the data size
//   bytes 44-     the samples, little-endian, channels interleaved
//
// The game takes the format from its own code, skips the 44 header bytes and leaves the last
// 100 bytes of every file unplayed, so each file ends with 100 bytes of silence.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "tools/datakit/file_io.h" // Error

namespace datakit
{

inline constexpr size_t kWaveHeaderSize = 44;
inline constexpr size_t kWaveTailSize = 100;

// The file's bytes: mono or stereo (interleaved samples) at 11,025 or 22,050 Hz. The samples
// are followed by the silent tail. Throws Error for any other format.
std::vector<uint8_t> FormatWaveFile(std::span<const int16_t> samples, uint32_t rate,
                                    int channels = 1);
void WriteWaveFile(const std::filesystem::path& path, std::span<const int16_t> samples,
                   uint32_t rate, int channels = 1);

// Sounds of our own: a sine tone, and white noise from a fixed seed.
std::vector<int16_t> Tone(double hertz, size_t frames, uint32_t rate, int16_t amplitude);
std::vector<int16_t> Noise(size_t frames, int16_t amplitude, uint32_t seed);

} // namespace datakit
