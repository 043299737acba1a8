#include "tools/datakit/image_writer.h"

#include <algorithm>
#include <cmath>

#include "platform/win/font8x8.h"

namespace datakit
{

namespace
{

void CheckImage(const Image& image, const char* what)
{
    if (image.width <= 0 || image.height <= 0)
        throw Error(std::string(what) + ": an image needs a width and a height");
    if (image.bits != 4 && image.bits != 8 && image.bits != 24)
        throw Error(std::string(what) + ": " + std::to_string(image.bits) +
                    " bits a pixel is not 4, 8 or 24");
    const size_t bytesPerPixel = image.bits == 24 ? 3 : 1;
    if (image.pixels.size() !=
        static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * bytesPerPixel)
        throw Error(std::string(what) + ": the pixels do not fill the image");
    const size_t maxColours = image.bits == 4 ? 16 : image.bits == 8 ? 256 : 0;
    if (image.colours.size() > maxColours)
        throw Error(std::string(what) + ": too many colours for the depth");
    if (image.bits == 4)
        for (uint8_t index : image.pixels)
            if (index >= 16)
                throw Error(std::string(what) + ": a 4-bit pixel above 15");
}

// Rows as the BMP stores them: padded to 4 bytes.
size_t BmpStride(const Image& image)
{
    return (static_cast<size_t>(image.width) * image.bits + 31) / 32 * 4;
}

} // namespace

std::vector<uint8_t> FormatBmp(const Image& image)
{
    CheckImage(image, "BMP");
    const size_t stride = BmpStride(image);
    const uint32_t offset = BmpPixelOffset(image.colours.size());
    const size_t pixelBytes = stride * static_cast<size_t>(image.height);
    std::vector<uint8_t> out;
    out.reserve(offset + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    AppendLittleEndian(out, static_cast<uint32_t>(offset + pixelBytes), 4);
    AppendLittleEndian(out, 0, 4);
    AppendLittleEndian(out, offset, 4);
    AppendLittleEndian(out, 40, 4);
    AppendLittleEndian(out, static_cast<uint32_t>(image.width), 4);
    AppendLittleEndian(out, static_cast<uint32_t>(image.height), 4);
    AppendLittleEndian(out, 1, 2);
    AppendLittleEndian(out, static_cast<uint32_t>(image.bits), 2);
    AppendLittleEndian(out, 0, 4); // no compression
    AppendLittleEndian(out, static_cast<uint32_t>(pixelBytes), 4);
    AppendLittleEndian(out, 2835, 4); // 72 dots an inch
    AppendLittleEndian(out, 2835, 4);
    AppendLittleEndian(out, static_cast<uint32_t>(image.colours.size()), 4);
    AppendLittleEndian(out, 0, 4);
    for (const Rgb& c : image.colours)
        out.insert(out.end(), {c.blue, c.green, c.red, 0});
    for (int y = image.height - 1; y >= 0; --y)
    {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < image.width; ++x)
        {
            const size_t at = static_cast<size_t>(y) * image.width + x;
            if (image.bits == 24)
            {
                row[x * 3] = image.pixels[at * 3 + 2];
                row[x * 3 + 1] = image.pixels[at * 3 + 1];
                row[x * 3 + 2] = image.pixels[at * 3];
            }
            else if (image.bits == 8)
            {
                row[x] = image.pixels[at];
            }
            else
            {
                row[x / 2] |= static_cast<uint8_t>((image.pixels[at] & 0x0F) << (x % 2 ? 0 : 4));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<uint8_t> FormatTim(const Image& image)
{
    CheckImage(image, "TIM");
    if (image.bits == 24)
        throw Error("TIM: only 4-bit and 8-bit images are written");
    const int pixelsPerUnit = image.bits == 4 ? 4 : 2;
    if (image.width % pixelsPerUnit != 0)
        throw Error("TIM: the width is not a whole number of 16-bit units");
    const size_t colours = image.bits == 4 ? 16 : 256;
    const int units = image.width / pixelsPerUnit;
    std::vector<uint8_t> out;
    AppendLittleEndian(out, 0x10, 4);
    AppendLittleEndian(out, (image.bits == 4 ? 0u : 1u) | 8u, 4);
    AppendLittleEndian(out, static_cast<uint32_t>(12 + colours * 2), 4);
    AppendLittleEndian(out, 0, 2);
    AppendLittleEndian(out, 0, 2);
    AppendLittleEndian(out, static_cast<uint32_t>(colours), 2);
    AppendLittleEndian(out, 1, 2);
    for (size_t i = 0; i < colours; ++i)
    {
        const Rgb c = i < image.colours.size() ? image.colours[i] : Rgb{0, 0, 0};
        AppendLittleEndian(
            out, static_cast<uint32_t>(c.red >> 3 | (c.green >> 3) << 5 | (c.blue >> 3) << 10), 2);
    }
    AppendLittleEndian(out, static_cast<uint32_t>(12 + units * 2 * image.height), 4);
    AppendLittleEndian(out, 0, 2);
    AppendLittleEndian(out, 0, 2);
    AppendLittleEndian(out, static_cast<uint32_t>(units), 2);
    AppendLittleEndian(out, static_cast<uint32_t>(image.height), 2);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; x += pixelsPerUnit / 2)
        {
            const size_t at = static_cast<size_t>(y) * image.width + x;
            if (image.bits == 8)
                out.push_back(image.pixels[at]);
            else
                out.push_back(static_cast<uint8_t>((image.pixels[at] & 0x0F) |
                                                   (image.pixels[at + 1] & 0x0F) << 4));
        }
    return out;
}

std::vector<uint8_t> FormatFont(const FontStyle& style)
{
    if (style.scale < 1 || style.scale > 8)
        throw Error("font: the scale must be 1 to 8");
    using font8x8::kFirstGlyph;
    using font8x8::kGlyphs;
    using font8x8::kGlyphSize;
    using font8x8::kLastGlyph;
    const int s = style.scale;
    const int border = style.outline ? 1 : 0;
    const int cell = kGlyphSize * s + 2 * border;
    constexpr int kPerRow = 16;
    // Every printable character but the space, which the printer advances over by itself.
    const int glyphs = kLastGlyph - kFirstGlyph;
    const int rows = (glyphs + kPerRow - 1) / kPerRow;

    Image image;
    image.bits = 8;
    image.width = kPerRow * (cell + 1);
    image.height = rows * (cell + 1);
    image.colours.assign(256, Rgb{0, 0, 0});
    image.colours[1] = style.ink;
    image.colours[2] = Rgb{24, 24, 24};
    image.pixels.assign(static_cast<size_t>(image.width) * image.height, 0);

    std::vector<uint8_t> table;
    for (int n = 0; n < glyphs; ++n)
    {
        const int code = kFirstGlyph + 1 + n;
        const auto& bitsOf = kGlyphs[code - kFirstGlyph];
        // The glyph's own columns, so the font is proportional.
        int first = kGlyphSize, last = -1;
        for (int row = 0; row < kGlyphSize; ++row)
            for (int col = 0; col < kGlyphSize; ++col)
                if (bitsOf[row] & (0x80 >> col))
                    first = std::min(first, col), last = std::max(last, col);
        if (last < 0)
            first = 0, last = 0;
        const int cellX = (n % kPerRow) * (cell + 1);
        const int cellY = (n / kPerRow) * (cell + 1);
        auto plot = [&](int x, int y, uint8_t value)
        {
            uint8_t& p = image.pixels[static_cast<size_t>(y) * image.width + x];
            if (value == 1 || p == 0)
                p = value;
        };
        for (int row = 0; row < kGlyphSize; ++row)
            for (int col = first; col <= last; ++col)
                if (bitsOf[row] & (0x80 >> col))
                    for (int dy = 0; dy < s; ++dy)
                        for (int dx = 0; dx < s; ++dx)
                        {
                            const int x = cellX + border + (col - first) * s + dx;
                            const int y = cellY + border + row * s + dy;
                            for (int oy = -border; oy <= border; ++oy)
                                for (int ox = -border; ox <= border; ++ox)
                                    plot(x + ox, y + oy, 2);
                            plot(x, y, 1);
                        }
        const int w = (last - first + 1) * s + 2 * border;
        AppendLittleEndian(table, static_cast<uint32_t>(code), 1);
        AppendLittleEndian(table, 0, 1);
        AppendLittleEndian(table, static_cast<uint32_t>(cellX), 2);
        AppendLittleEndian(table, static_cast<uint32_t>(cellY), 2);
        AppendLittleEndian(table, static_cast<uint32_t>(w), 2);
        AppendLittleEndian(table, static_cast<uint32_t>(cell), 2);
        AppendLittleEndian(table, 0, 4);
        AppendLittleEndian(table, 0, 2);
    }

    std::vector<uint8_t> out = FormatBmp(image);
    AppendLittleEndian(out, kFontVersion, 1);
    AppendLittleEndian(out, static_cast<uint32_t>(glyphs), 1);
    AppendLittleEndian(out, 0, 2);
    AppendLittleEndian(out, static_cast<uint32_t>(cell), 4);  // line height
    AppendLittleEndian(out, static_cast<uint32_t>(4 * s), 4); // space width
    AppendLittleEndian(out, static_cast<uint32_t>(s), 4);     // after each glyph
    AppendLittleEndian(out, static_cast<uint32_t>(s), 4);     // after each line
    AppendLittleEndian(out, 0, 4);
    out.insert(out.end(), table.begin(), table.end());
    return out;
}

Image DemoScreen(int width, int height, const std::vector<std::string>& lines)
{
    using font8x8::kFirstGlyph;
    using font8x8::kGlyphs;
    using font8x8::kGlyphSize;
    using font8x8::kLastGlyph;
    if (width <= 0 || height <= 0)
        throw Error("screen picture: the image needs a width and a height");
    Image image;
    image.width = width;
    image.height = height;
    image.bits = 8;
    for (int i = 0; i < 256; ++i)
        image.colours.push_back(
            {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)});
    image.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        std::fill_n(image.pixels.begin() + static_cast<ptrdiff_t>(y) * width, width,
                    static_cast<uint8_t>(16 + 48 * y / height));
    int top = height / 3;
    for (size_t n = 0; n < lines.size(); ++n)
    {
        const int scale = std::max(1, (n == 0 ? width / 160 : width / 320));
        const int advance = kGlyphSize * scale;
        const int left = (width - static_cast<int>(lines[n].size()) * advance) / 2;
        for (size_t i = 0; i < lines[n].size(); ++i)
        {
            const int code = static_cast<unsigned char>(lines[n][i]);
            if (code < kFirstGlyph || code > kLastGlyph)
                continue;
            const auto& rows = kGlyphs[code - kFirstGlyph];
            for (int row = 0; row < kGlyphSize; ++row)
                for (int col = 0; col < kGlyphSize; ++col)
                    if (rows[row] & (0x80 >> col))
                        for (int dy = 0; dy < scale; ++dy)
                            for (int dx = 0; dx < scale; ++dx)
                            {
                                const int x =
                                    left + static_cast<int>(i) * advance + col * scale + dx;
                                const int y = top + row * scale + dy;
                                if (x >= 0 && x < width && y >= 0 && y < height)
                                    image.pixels[static_cast<size_t>(y) * width + x] = 255;
                            }
        }
        top += advance + advance / 2;
    }
    return image;
}

namespace
{

// A black square of `size` pixels at the given depth; 8 bits over the grey ramp.
Image BlackSquare(int size, int bits)
{
    if (size <= 0)
        throw Error("shadow image: the image needs a size");
    Image image;
    image.width = image.height = size;
    image.bits = bits;
    if (bits == 8)
        for (int i = 0; i < 256; ++i)
            image.colours.push_back(
                {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)});
    image.pixels.assign(static_cast<size_t>(size) * size * (bits / 8), 0);
    return image;
}

} // namespace

Image ShadowColourImage(int size)
{
    return BlackSquare(size, 24);
}

Image ShadowAlphaImage(int size)
{
    Image image = BlackSquare(size, 8);
    const double radius = size / 2.0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
        {
            // Distance of the pixel's centre from the middle, as a fraction of the radius.
            const double dx = x + 0.5 - radius, dy = y + 0.5 - radius;
            const double r = std::sqrt(dx * dx + dy * dy) / radius;
            const double t = std::clamp((r - 0.5) / 0.5, 0.0, 1.0);
            const double alpha = 255.0 * (1.0 - t * t * (3.0 - 2.0 * t));
            image.pixels[static_cast<size_t>(y) * size + x] =
                static_cast<uint8_t>(std::lround(alpha));
        }
    return image;
}

Image FpsImage()
{
    return DemoScreen(64, 16, {"FPS"});
}

void WriteImageFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    WriteFileAtomically(path, bytes);
}

} // namespace datakit
