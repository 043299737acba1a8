// Image files the engine reads: Windows BMP (4, 8 and 24 bits, uncompressed), TIM (4 and 8 bits
// with a colour table), and bitmap fonts (".fon").
//
// BMP: a 14-byte file header ("BM", file size, 0, offset of the pixels), a 40-byte information
// header, the colour table (4 bytes blue, green, red, 0 per colour; none for 24 bits), then the
// rows bottom row first, each padded to a multiple of 4 bytes. 4-bit rows hold two pixels a
// byte, the high nibble first; 24-bit pixels are blue, green, red.
//
// TIM: identifier 0x10, flags (pixel mode in bits 0-1, 8 = a colour table follows), the colour
// table block (length, x, y, colours, 1, then 5:5:5 colours with red in the low bits), then the
// image block (length, x, y, width in 16-bit units, height, rows top row first).
//
// Font: an 8-bit BMP with a full 256-colour table, so its pixels start at byte 1,078, followed
// by a 24-byte header (version 3, glyph count, line height, space width, extra advance after a
// glyph and after a line) and 16 bytes per glyph (code, 0, source rectangle x, y, w, h).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/file_io.h" // Error

namespace datakit
{

struct Rgb
{
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

// An image as the writers take it: pixels top row first, `width` a row. For 4 and 8 bits a
// pixel is a colour index; for 24 bits three bytes red, green, blue.
struct Image
{
    int width = 0;
    int height = 0;
    int bits = 8;             // 4, 8 or 24
    std::vector<Rgb> colours; // the colour table (at most 16 for 4 bits, 256 for 8)
    std::vector<uint8_t> pixels;
};

// Offset of the pixel rows in a BMP whose colour table has `colours` entries.
inline constexpr uint32_t BmpPixelOffset(size_t colours)
{
    return static_cast<uint32_t>(14 + 40 + 4 * colours);
}

// The BMP file's bytes; throws Error for an image the format cannot hold.
std::vector<uint8_t> FormatBmp(const Image& image);

// The TIM file's bytes of a 4-bit (mode 0) or 8-bit (mode 1) image. Its width must be a whole
// number of 16-bit units (a multiple of 4 pixels for 4 bits, of 2 for 8 bits).
std::vector<uint8_t> FormatTim(const Image& image);

inline constexpr uint32_t kFontPixelOffset = 1078;
inline constexpr int kFontVersion = 3;
inline constexpr size_t kFontHeaderSize = 24;
inline constexpr size_t kFontGlyphSize = 16;

// A font drawn from the built-in 8x8 glyph set, each glyph pixel `scale` pixels square, in
// colour index 1 (`ink`) on index 0 (transparent), with a dark outline in index 2 when
// `outline` is set.
struct FontStyle
{
    int scale = 1;
    Rgb ink{255, 255, 255};
    bool outline = false;
};

// The font file's bytes.
std::vector<uint8_t> FormatFont(const FontStyle& style);

// A screen picture for the demo data: an 8-bit image over a 256-grey colour table (entry i is
// grey i), a dark gradient with the lines of text centred in white, the first one large.
Image DemoScreen(int width, int height, const std::vector<std::string>& lines);

// The car shadow's soft blob, `size` pixels square: its colour (24 bits, black) and its alpha
// (8 bits over the grey ramp, index = alpha): 255 within the inner half of the radius, falling
// smoothly to 0 at the edge of the circle inside the square.
Image ShadowColourImage(int size);
Image ShadowAlphaImage(int size);

// The developer overlay's frame-rate image: "FPS" on a small screen picture, 64x16.
Image FpsImage();

// Writes any of the above atomically; throws Error when it cannot.
void WriteImageFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

} // namespace datakit
