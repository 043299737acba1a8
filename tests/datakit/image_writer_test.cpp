// The image writers: BMP rows bottom-up and padded, TIM blocks, font files, and the images
// they refuse. (The engine's image and font tests read these files back.)
#include "tools/datakit/image_writer.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace
{

using datakit::Image;

uint32_t U32(const std::vector<uint8_t>& b, size_t at)
{
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

Image Make(int w, int h, int bits, std::vector<uint8_t> pixels, size_t colours)
{
    Image image;
    image.width = w;
    image.height = h;
    image.bits = bits;
    image.pixels = std::move(pixels);
    image.colours.assign(colours, datakit::Rgb{1, 2, 3});
    return image;
}

TEST(ImageWriter, BmpRowsAreStoredBottomUpAndPadded)
{
    struct Case
    {
        const char* what;
        Image image;
        std::vector<uint8_t> rows; // as stored, bottom row first
    } cases[] = {
        {"4 bits, high nibble first",
         Make(3, 2, 4, {1, 2, 3, 4, 5, 6}, 16),
         {0x45, 0x60, 0, 0, 0x12, 0x30, 0, 0}},
        {"8 bits",
         Make(5, 2, 8, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 256),
         {6, 7, 8, 9, 10, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0}},
        {"24 bits as blue, green, red",
         Make(1, 2, 24, {10, 20, 30, 40, 50, 60}, 0),
         {60, 50, 40, 0, 30, 20, 10, 0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> file = datakit::FormatBmp(c.image);
        const uint32_t offset = datakit::BmpPixelOffset(c.image.colours.size());
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(U32(file, 2), file.size());
        EXPECT_EQ(U32(file, 10), offset);
        EXPECT_EQ(U32(file, 18), static_cast<uint32_t>(c.image.width));
        EXPECT_EQ(file[28], c.image.bits);
        EXPECT_EQ(U32(file, 46), c.image.colours.size());
        EXPECT_EQ(std::vector<uint8_t>(file.begin() + offset, file.end()), c.rows);
    }
}

TEST(ImageWriter, TimAndFontFilesHaveTheirBlocksInPlace)
{
    const std::vector<uint8_t> tim = datakit::FormatTim(Make(4, 1, 4, {1, 2, 3, 4}, 16));
    EXPECT_EQ(U32(tim, 0), 0x10u);
    EXPECT_EQ(U32(tim, 4), 8u) << "4-bit with a colour table";
    EXPECT_EQ(U32(tim, 8), 12u + 32u);
    const size_t image = 8 + 12 + 32;
    EXPECT_EQ(tim[image + 8], 1) << "one 16-bit unit wide";
    EXPECT_EQ(tim[image + 10], 1);
    EXPECT_EQ(tim[image + 12], 0x21) << "low nibble first";
    EXPECT_EQ(tim[image + 13], 0x43);
    EXPECT_EQ(tim.size(), image + 14);

    for (int scale : {1, 3})
    {
        const std::vector<uint8_t> font = datakit::FormatFont({scale, {255, 255, 255}, false});
        EXPECT_EQ(U32(font, 10), datakit::kFontPixelOffset);
        const size_t header =
            datakit::kFontPixelOffset + ((U32(font, 18) + 3) & ~3u) * U32(font, 22);
        EXPECT_EQ(font[header], datakit::kFontVersion);
        EXPECT_EQ(U32(font, header + 4), static_cast<uint32_t>(8 * scale)) << "line height";
        EXPECT_EQ(font.size(),
                  header + datakit::kFontHeaderSize + font[header + 1] * datakit::kFontGlyphSize);
        EXPECT_EQ(font[header + datakit::kFontHeaderSize], '!') << "the first glyph";
    }
}

TEST(ImageWriter, ImagesTheFormatsCannotHoldAreRefused)
{
    const std::vector<Image> bad = {
        Make(0, 1, 8, {}, 256),          // no width
        Make(2, 2, 16, {0, 0, 0, 0}, 0), // a depth of neither
        Make(2, 2, 8, {1, 2, 3}, 256),   // pixels missing
        Make(2, 1, 4, {1, 16}, 16),      // a 4-bit pixel above 15
        Make(1, 1, 4, {0}, 17),          // colours beyond the depth
    };
    for (const Image& image : bad)
        EXPECT_THROW(datakit::FormatBmp(image), datakit::Error);
    EXPECT_THROW(datakit::FormatTim(Make(3, 1, 8, {1, 2, 3}, 256)), datakit::Error)
        << "not a whole number of 16-bit units";
    EXPECT_THROW(datakit::FormatFont({0, {0, 0, 0}, false}), datakit::Error);
    EXPECT_THROW(datakit::FormatFont({9, {0, 0, 0}, false}), datakit::Error);
}

// The shadow's blob: solid in the middle, gone at the corners, fading without a step between.
TEST(ImageWriter, TheShadowBlobIsSolidInTheMiddleAndFadesToNothing)
{
    const Image alpha = datakit::ShadowAlphaImage(64);
    ASSERT_EQ(alpha.pixels.size(), 64u * 64u);
    auto at = [&](int x, int y) { return alpha.pixels[static_cast<size_t>(y) * 64 + x]; };
    EXPECT_EQ(at(31, 31), 255);
    EXPECT_EQ(at(24, 32), 255) << "the inner half of the radius is solid";
    EXPECT_EQ(at(0, 0), 0);
    EXPECT_LE(at(0, 32), 2) << "the edge of the circle";
    for (int x = 1; x < 32; ++x)
    {
        EXPECT_GE(at(x, 32), at(x - 1, 32)) << x;
        EXPECT_LE(at(x, 32) - at(x - 1, 32), 40) << x;
    }
    EXPECT_EQ(alpha.colours.size(), 256u);
    const Image colour = datakit::ShadowColourImage(64);
    EXPECT_EQ(colour.bits, 24);
    EXPECT_EQ(colour.pixels, std::vector<uint8_t>(64 * 64 * 3, 0));
    EXPECT_NO_THROW(datakit::FormatBmp(alpha));
    EXPECT_NO_THROW(datakit::FormatBmp(colour));
}

} // namespace
