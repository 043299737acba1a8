// The DKPR wrapper that any data file of the game may be stored in:
//
//   bytes 0-3   "DKPR"
//   bytes 4-7   data length N, unsigned 32-bit little-endian
//   bytes 8-    the N data bytes
//
// stored either as it is or as one gzip stream whose content is the whole wrapper.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "tools/datakit/file_io.h" // Error

namespace datakit
{

inline constexpr size_t kDkprHeaderSize = 8;
// A length of 0xFFFFFFFF reads as an error, so the largest data is one byte less.
inline constexpr uint64_t kDkprMaxData = 0xFFFFFFFEu;
inline constexpr int kGzipBestLevel = 9;

// The plain wrapper around `data`. Throws Error for data longer than kDkprMaxData.
std::vector<uint8_t> DkprWrap(std::span<const uint8_t> data);

// One gzip stream (deflate, no file name, time stamp 0) holding `bytes`. Level -1 (zlib's
// default) or 0 to 9; throws Error for other levels or when zlib fails.
std::vector<uint8_t> Gzip(std::span<const uint8_t> bytes, int level = kGzipBestLevel);

// Wraps `data` and writes it atomically to `path`, gzip-compressed when asked.
void WriteDkprFile(const std::filesystem::path& path, std::span<const uint8_t> data,
                   bool compressed);

} // namespace datakit
