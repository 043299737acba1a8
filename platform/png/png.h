// PNG files: encoding and decoding of 8-bit RGB images through libpng. Frame capture, the
// patch program's screenshots and the tests' golden frames share it; it needs nothing of SDL.
//
// Pixels are 8-bit RGB triples, rows top to bottom, with no padding between rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The largest width or height either way; larger images are refused.
constexpr uint32_t kPngMaxSide = 16384;

// The bytes of a PNG file holding the image. False (and png empty) when a side is 0 or over
// kPngMaxSide, rgb does not hold exactly width * height * 3 bytes, or libpng fails.
bool PngEncodeRgb(std::span<const uint8_t> rgb, uint32_t width, uint32_t height, std::string& png);

// The same, written to the file at path; false when it is not written in full.
bool PngSaveRgb(const char* path, std::span<const uint8_t> rgb, uint32_t width, uint32_t height);

// Decodes the size bytes at data, which may be anything. Palette, grey and 16-bit images
// are converted to 8-bit RGB; an alpha channel is dropped. False (and rgb empty, the sides
// 0) for a damaged or truncated file, a side over kPngMaxSide, or a file too short to hold
// the pixels it declares.
bool PngDecodeRgb(const void* data, size_t size, std::vector<uint8_t>& rgb, uint32_t& width,
                  uint32_t& height);
