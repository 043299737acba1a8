// BMP and TIM files written by dezor-datakit, read back into surfaces and textures on the
// display's devices; truncated and corrupt files are refused without reading past their end.
#include "engine/pc/display/dk_image.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/3dinit_internal.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/display/dk_dvice.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw_internal.h"
#include "tests/engine/device_fixture.h"
#include "tests/support/engine_test.h"
#include "tools/datakit/image_writer.h"

namespace
{

using datakit::Image;
using Bytes = std::vector<uint8_t>;

// An image of w x h pixels at the depth with value(x, y) for each pixel (an index, or for 24
// bits a grey level) and a colour table of `colours` greys, entry i = (i, i, i) * step.
Image MakeImage(int w, int h, int bits, const std::function<int(int, int)>& value,
                std::vector<datakit::Rgb> colours = {})
{
    Image image;
    image.width = w;
    image.height = h;
    image.bits = bits;
    image.colours = std::move(colours);
    if (image.colours.empty() && bits != 24)
        for (int i = 0; i < (bits == 4 ? 16 : 256); ++i)
            image.colours.push_back(
                {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const uint8_t v = static_cast<uint8_t>(value(x, y));
            if (bits == 24)
                image.pixels.insert(image.pixels.end(), {v, v, v});
            else
                image.pixels.push_back(v);
        }
    return image;
}

uint32_t Size(const Bytes& b)
{
    return static_cast<uint32_t>(b.size());
}

const DdSurfaceData& Data(const DK_SURFACE* s)
{
    return *DdData(s->lpSurface);
}

uint8_t Byte(const DK_SURFACE* s, int x, int y)
{
    return DdRow(Data(s), static_cast<DWORD>(y))[x];
}

uint16_t Word(const DK_SURFACE* s, int x, int y)
{
    uint16_t v;
    std::memcpy(&v, DdRow(Data(s), static_cast<DWORD>(y)) + x * 2, 2);
    return v;
}

// The image tests' display and device (device_fixture.h), with conversions whose reports are
// kept.
class ImageTest : public DeviceTest
{
protected:
    DK_TEXTURE* Texture(const Bytes& file, uint32_t flags)
    {
        DK_TEXTURE* t = nullptr;
        output += CaptureOutput([&] { t = DkImageToTexture(file.data(), Size(file), flags); });
        return t;
    }

    DK_SURFACE* Surface(const Bytes& file, uint32_t flags, DK_SURFACE* into = nullptr)
    {
        DK_SURFACE* s = nullptr;
        output +=
            CaptureOutput([&] { s = DkImageToSurface(into, file.data(), Size(file), flags); });
        return s;
    }
};

void NoSquares(D3DDEVICEDESC& d)
{
    d.dpcTriCaps.dwTextureCaps &= ~D3DPTEXTURECAPS_SQUAREONLY;
}
void SquaresOnly(D3DDEVICEDESC& d)
{
    d.dpcTriCaps.dwTextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
}
void NoTransparency(D3DDEVICEDESC& d)
{
    d.dpcTriCaps.dwTextureCaps &= ~D3DPTEXTURECAPS_TRANSPARENCY;
}

TEST_F(ImageTest, TexturesAreSquaredByTheDevicesRules)
{
    struct Case
    {
        const char* what;
        int bits;
        void (*tweak)(D3DDEVICEDESC&);
        int w, h;
        int wantW, wantH, addedColumns, addedRows;
    } cases[] = {
        {"hardware, any shape", 16, NoSquares, 100, 60, 100, 60, 0, 0},
        {"hardware, squares only", 16, SquaresOnly, 100, 60, 100, 100, 0, 41},
        {"software device", 8, nullptr, 100, 60, 100, 100, 0, 41},
        {"taller than wide, hardware", 16, NoSquares, 60, 100, 100, 100, 41, 0},
        {"taller than wide, software", 8, nullptr, 60, 100, 100, 100, 41, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Open(c.bits, c.tweak);
        const Bytes file = datakit::FormatBmp(
            MakeImage(c.w, c.h, 8, [](int x, int y) { return 1 + (x + y) % 200; }));
        DK_TEXTURE* t = Texture(file, ITT_BMP | ITT_KEEP_SOURCE);
        ASSERT_NE(t, nullptr) << output;
        EXPECT_EQ(d3d->apTextures[t->uSlot], t);
        EXPECT_EQ(t->pDeviceSurface->rect.w, c.wantW);
        EXPECT_EQ(t->pDeviceSurface->rect.h, c.wantH);
        EXPECT_EQ(t->pSourceSurface->nAddedColumns, c.addedColumns);
        EXPECT_EQ(t->pSourceSurface->nAddedRows, c.addedRows);
        EXPECT_NE(t->uHandle, 0u);
        // The image keeps its own size in the top-left corner; what was added stays empty.
        if (c.bits == 16)
        {
            EXPECT_NE(Word(t->pSourceSurface, c.w - 1, c.h - 1), 0);
            if (c.addedRows)
            {
                EXPECT_EQ(Word(t->pSourceSurface, 0, c.h), 0);
            }
        }
        if (c.bits == 8)
        {
            EXPECT_NE(d3d->apMaterials[t->nMaterial], nullptr)
                << "a software texture has a material";
        }
        TearDown();
        SetUp();
    }
}

TEST_F(ImageTest, ASixPixelRowMakesAnEightPixelSurfaceShowingItsPadding)
{
    Open(8);
    Bytes file =
        datakit::FormatBmp(MakeImage(6, 2, 8, [](int x, int y) { return 10 * y + x + 1; }));
    // Padding bytes of each stored row (bottom row first).
    const uint32_t offset = datakit::BmpPixelOffset(256);
    file[offset + 6] = 0x77, file[offset + 7] = 0x78;
    file[offset + 14] = 0x79, file[offset + 15] = 0x7A;
    DK_SURFACE* s = Surface(file, ITS_CREATE_SURFACE | ITS_KEEP_INDICES);
    ASSERT_NE(s, nullptr) << output;
    EXPECT_EQ(s->rect.w, 8);
    EXPECT_EQ(s->rect.h, 2);
    const std::vector<int> top = {1, 2, 3, 4, 5, 6, 0x79, 0x7A};
    const std::vector<int> bottom = {11, 12, 13, 14, 15, 16, 0x77, 0x78};
    for (int x = 0; x < 8; ++x)
    {
        EXPECT_EQ(Byte(s, x, 0), top[x]) << x;
        EXPECT_EQ(Byte(s, x, 1), bottom[x]) << x;
    }
}

TEST_F(ImageTest, FourEightAndTwentyFourBitFilesBecomeSurfacesOfTheDisplay)
{
    struct Case
    {
        const char* what;
        int display, bits;
        int (*value)(int x, int y);
        // The pixel expected at (x, y) on the surface.
        uint32_t (*want)(int x, int y);
    } cases[] = {
        {"4 bits on 8", 8, 4, [](int x, int y) { return (x + y) % 16; },
         [](int x, int y) { return static_cast<uint32_t>((x + y) % 16); }},
        {"4 bits on 16", 16, 4, [](int x, int) { return x % 16; },
         [](int x, int) { return static_cast<uint32_t>(x >> 3 << 11 | x >> 2 << 5 | x >> 3); }},
        {"8 bits on 16", 16, 8, [](int x, int y) { return x * 16 + y; },
         [](int x, int y)
         {
             const int g = x * 16 + y;
             return static_cast<uint32_t>(g >> 3 << 11 | g >> 2 << 5 | g >> 3);
         }},
        {"24 bits on 8, nearest display colour", 8, 24, [](int x, int y) { return x * 30 + y; },
         [](int x, int y) { return static_cast<uint32_t>(x * 30 + y); }},
        {"24 bits on 16", 16, 24, [](int x, int y) { return x * 20 + y; },
         [](int x, int y)
         {
             const int g = x * 20 + y;
             return static_cast<uint32_t>(g >> 3 << 11 | g >> 2 << 5 | g >> 3);
         }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Open(c.display);
        DK_PALETTE_ENTRY grey[256];
        for (int i = 0; i < 256; ++i)
            grey[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                       0};
        DkSetPalette(grey);
        const Bytes file = datakit::FormatBmp(MakeImage(8, 4, c.bits, c.value));
        DK_SURFACE* s = Surface(file, ITS_CREATE_SURFACE | ITS_KEEP_INDICES);
        ASSERT_NE(s, nullptr) << output;
        EXPECT_EQ(s->rect.w, 8);
        EXPECT_EQ(s->rect.h, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(c.display == 8 ? Byte(s, x, y) : Word(s, x, y), c.want(x, y))
                    << x << ", " << y;
        TearDown();
        SetUp();
    }
}

TEST_F(ImageTest, ReductionTakesEveryFourthPixelOfEveryFourthRow)
{
    struct Case
    {
        const char* what;
        BOOL optionA, shrinkAll;
        uint32_t flags;
        int size, want;
    } cases[] = {
        {"quarter size", TRUE, FALSE, ITT_QUARTER_SIZE, 256, 64},
        {"too small to quarter", TRUE, FALSE, ITT_QUARTER_SIZE, 32, 32},
        {"quarter without the option", FALSE, FALSE, ITT_QUARTER_SIZE, 256, 256},
        {"half size", TRUE, FALSE, ITT_HALF_SIZE, 128, 64},
        {"every texture of a shrinking load", FALSE, TRUE, 0, 32, 8},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Open(16, NoSquares);
        gboDkEngineOptionA = c.optionA;
        gboDkShrinkAllTextures = c.shrinkAll;
        const Bytes file = datakit::FormatBmp(
            MakeImage(c.size, c.size, 8, [](int x, int y) { return (x % 16) * 16 + y % 16; }));
        DK_TEXTURE* t = Texture(file, ITT_BMP | ITT_KEEP_SOURCE | c.flags);
        ASSERT_NE(t, nullptr) << output;
        EXPECT_EQ(t->pDeviceSurface->rect.w, c.want);
        EXPECT_EQ(t->pDeviceSurface->rect.h, c.want);
        const int step = c.size / c.want;
        EXPECT_EQ(gboTextureReduced, step > 1);
        // Entry i of the grey table packs as 5:6:5 grey i.
        for (int y = 0; y < c.want; y += 3)
            for (int x = 0; x < c.want; x += 5)
            {
                const int index = (x * step % 16) * 16 + y * step % 16;
                const uint16_t grey =
                    static_cast<uint16_t>((index >> 3) << 11 | (index >> 2) << 5 | (index >> 3));
                ASSERT_EQ(Word(t->pSourceSurface, x, y), grey) << x << ", " << y;
            }
        TearDown();
        SetUp();
    }
}

TEST_F(ImageTest, IndexZeroIsTheKeyAndTheKeyColourKeepsOtherBlacksOpaque)
{
    std::vector<datakit::Rgb> colours = {{0, 0, 0}, {0, 0, 0}, {255, 255, 255}};
    const Bytes file = datakit::FormatBmp(MakeImage(
        4, 1, 8, [](int x, int) { return x % 3; }, colours));
    // (48, 55, 1) packed as the 5:6:5 display packs it.
    const uint16_t keyColour = static_cast<uint16_t>(48 >> 3 << 11 | 55 >> 2 << 5);
    struct Case
    {
        const char* what;
        void (*tweak)(D3DDEVICEDESC&);
        bool texture;
        uint32_t flags;
        uint16_t key;
        bool blackIsKeyed;
    } cases[] = {
        {"surface", NoSquares, false, ITS_CREATE_SURFACE, 0, true},
        {"surface, key colour", NoSquares, false, ITS_CREATE_SURFACE | ITS_KEY_COLOUR, keyColour,
         false},
        // A 4:4:4:4 texture: the key colour still packs as the display's, so its texels are
        // nearly see-through rather than an opaque dark green.
        {"texture without transparency, key colour",
         [](D3DDEVICEDESC& d) { NoSquares(d), NoTransparency(d); }, true,
         ITT_BMP | ITT_KEEP_SOURCE | ITT_KEY_COLOUR, keyColour, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Open(16, c.tweak);
        DK_SURFACE* s = nullptr;
        if (c.texture)
        {
            DK_TEXTURE* t = Texture(file, c.flags);
            ASSERT_NE(t, nullptr) << output;
            s = t->pSourceSurface;
        }
        else
        {
            s = Surface(file, c.flags);
        }
        ASSERT_NE(s, nullptr) << output;
        DDCOLORKEY key{};
        ASSERT_EQ(s->lpSurface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
        EXPECT_EQ(key.dwColorSpaceLowValue, c.key);
        EXPECT_EQ(Word(s, 0, 0), c.key) << "index 0 is the key";
        EXPECT_EQ(Word(s, 1, 0) == key.dwColorSpaceLowValue, c.blackIsKeyed);
        EXPECT_EQ(Word(s, 2, 0), 0xFFFF);
        TearDown();
        SetUp();
    }
}

TEST_F(ImageTest, WithoutTextureTransparencyBlackTexelsAreSeeThrough)
{
    Open(16, [](D3DDEVICEDESC& d) { NoSquares(d), NoTransparency(d); });
    std::vector<datakit::Rgb> colours = {{0, 0, 0}, {255, 0, 0}, {0, 0, 0}, {17, 34, 255}};
    const Bytes file = datakit::FormatBmp(MakeImage(
        4, 4, 8, [](int x, int) { return x; }, colours));
    DK_TEXTURE* t = Texture(file, ITT_BMP);
    ASSERT_NE(t, nullptr) << output;
    const DdSurfaceData& s = Data(t->pDeviceSurface);
    EXPECT_EQ(s.format.dwRGBAlphaBitMask, 0xF000u) << "the texture is 4:4:4:4";
    EXPECT_EQ(Word(t->pDeviceSurface, 0, 0), 0x0000);
    EXPECT_EQ(Word(t->pDeviceSurface, 1, 0), 0xFF00);
    EXPECT_EQ(Word(t->pDeviceSurface, 2, 3), 0x0000);
    EXPECT_EQ(Word(t->pDeviceSurface, 3, 2), 0xF12F);
}

TEST_F(ImageTest, EightBitTexturesCarryTheirPalettes)
{
    std::vector<datakit::Rgb> colours(256, datakit::Rgb{0, 0, 0});
    colours[5] = {200, 0, 0};
    colours[6] = {0, 100, 0};
    const Bytes file = datakit::FormatBmp(MakeImage(
        8, 8, 8, [](int x, int) { return 5 + x % 2; }, colours));

    // Hardware with palettised textures: the indices stay, the texture has the file's colours.
    Open(16, NoSquares, 2);
    ASSERT_TRUE(d3d->pStandardTextureFormat->nPalettised);
    DK_TEXTURE* t = Texture(file, ITT_BMP);
    ASSERT_NE(t, nullptr) << output;
    EXPECT_EQ(Byte(t->pDeviceSurface, 0, 0), 5);
    EXPECT_EQ(Byte(t->pDeviceSurface, 1, 0), 6);
    const DdPaletteData* palette = DdSurfacePalette(Data(t->pDeviceSurface));
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(palette->entries[5].peRed, 200);
    EXPECT_EQ(palette->entries[6].peGreen, 100);
    TearDown();
    SetUp();

    // Software device: the indices map onto the display palette's nearest colours.
    Open(8);
    DK_PALETTE_ENTRY display[256] = {};
    display[9] = {201, 0, 0, 0};
    display[3] = {0, 90, 0, 0};
    DkSetPalette(display);
    t = Texture(file, ITT_BMP);
    ASSERT_NE(t, nullptr) << output;
    EXPECT_EQ(Byte(t->pDeviceSurface, 0, 0), 9);
    EXPECT_EQ(Byte(t->pDeviceSurface, 1, 0), 3);
    EXPECT_EQ(DdData(t->pDeviceSurface->lpSurface)->palette,
              static_cast<IDirectDrawPalette*>(d2d->lpDDPal));
    EXPECT_NE(d3d->apMaterials[t->nMaterial], nullptr);
    // Kept indices stay as the file has them.
    t = Texture(file, ITT_BMP | ITT_KEEP_INDICES);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(Byte(t->pDeviceSurface, 0, 0), 5);
}

TEST_F(ImageTest, RestoringSurfacesReloadsHardwareTexturesFromTheirCopies)
{
    const Bytes file =
        datakit::FormatBmp(MakeImage(8, 8, 8, [](int x, int y) { return 20 + x * 25 + y * 3; }));
    for (int type : {0, 2})
    {
        SCOPED_TRACE(type);
        Open(16, NoSquares, type);
        DK_TEXTURE* t = Texture(file, ITT_BMP);
        ASSERT_NE(t, nullptr) << output;
        ASSERT_EQ(t->pSourceSurface, nullptr) << "only the texture keeps the system copy";
        const uint16_t texel = Word(t->pDeviceSurface, 3, 5);
        ASSERT_NE(texel, 0);

        // Lost video memory comes back with whatever it holds.
        DdSurfaceData& device = *DdData(t->pDeviceSurface->lpSurface);
        std::fill(device.pixels.begin(), device.pixels.end(), 0);
        DdLoseAllSurfaces();
        output += CaptureOutput([] { DkRestoreSurfaces(); });
        EXPECT_EQ(CountReports(output), 0) << output;
        EXPECT_EQ(Word(t->pDeviceSurface, 3, 5), type == 2 ? 0 : texel)
            << "hardware type 2 keeps its textures itself";
        TearDown();
        SetUp();
    }
}

TEST_F(ImageTest, ColourAndAlphaFilesMakeOneAlphaTexture)
{
    Open(16, NoSquares);
    ASSERT_NE(d3d->pAlphaTextureFormat, nullptr);
    Image colour = MakeImage(4, 2, 24, [](int x, int) { return x * 80; });
    colour.pixels[0] = 0xF0; // red of the top-left pixel
    Image alpha = MakeImage(4, 2, 8, [](int x, int y) { return y == 0 ? x * 0x40 : 0xFF; });
    const Bytes c = datakit::FormatBmp(colour), a = datakit::FormatBmp(alpha);
    WriteWholeFile(env.DriveC() + "/col.bmp", std::string(c.begin(), c.end()));
    WriteWholeFile(env.DriveC() + "/alp.bmp", std::string(a.begin(), a.end()));
    DkSetCDPath("c:");
    DK_TEXTURE* t = nullptr;
    output += CaptureOutput([&] { t = DkBmpToAlphaTexture("col.bmp", "alp.bmp", 4, 2); });
    ASSERT_NE(t, nullptr) << output;
    ASSERT_EQ(d3d->pAlphaTextureFormat->uAlphaBits, 4);
    EXPECT_EQ(Word(t->pDeviceSurface, 0, 0), 0x0F00) << "alpha 0, red 0xF0";
    EXPECT_EQ(Word(t->pDeviceSurface, 1, 0), 0x4555);
    EXPECT_EQ(Word(t->pDeviceSurface, 3, 1), 0xFFFF);
    EXPECT_EQ(t->pSourceSurface, nullptr);

    // A missing file or one of the wrong size gives nothing.
    output += CaptureOutput([&] { t = DkBmpToAlphaTexture("col.bmp", "none.bmp", 4, 2); });
    EXPECT_EQ(t, nullptr);
    output += CaptureOutput([&] { t = DkBmpToAlphaTexture("col.bmp", "alp.bmp", 64, 64); });
    EXPECT_EQ(t, nullptr);
}

TEST_F(ImageTest, TimFilesBecomeTexturesOfPowerOfTwoSizes)
{
    Open(16, NoSquares);
    struct Case
    {
        const char* what;
        int bits, w, h;
        bool made;
    } cases[] = {
        {"4-bit, 64 units wide", 4, 256, 4, true},
        {"8-bit", 8, 16, 8, true},
        {"48 units wide", 4, 192, 4, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<datakit::Rgb> colours(c.bits == 4 ? 16 : 256, datakit::Rgb{0, 0, 0});
        colours[1] = {248, 0, 0};
        colours[2] = {0, 0, 248};
        const Bytes file = datakit::FormatTim(MakeImage(
            c.w, c.h, c.bits, [](int x, int) { return 1 + x % 2; }, colours));
        const uint32_t uTexturesBefore = guNumTextures;
        DK_TEXTURE* t = Texture(file, ITT_TIM | ITT_KEEP_SOURCE);
        if (!c.made)
        {
            EXPECT_EQ(t, nullptr);
            EXPECT_TRUE(Reported(output, "DkTIMToTexture() : Bitmap is not a power of 2"))
                << output;
            // A refused file takes no texture slot.
            EXPECT_EQ(guNumTextures, uTexturesBefore);
            continue;
        }
        ASSERT_NE(t, nullptr) << output;
        EXPECT_EQ(t->pDeviceSurface->rect.w, c.w);
        EXPECT_EQ(t->pDeviceSurface->rect.h, c.h);
        // 5:6:5 textures pack as red << 11 | green << 6 | blue from 5-bit colours.
        EXPECT_EQ(Word(t->pDeviceSurface, 0, 0), 31 << 11);
        EXPECT_EQ(Word(t->pDeviceSurface, 1, c.h - 1), 31);
        EXPECT_EQ(t->pSourceSurface->aPalette[1].red, 248);
    }
}

TEST_F(ImageTest, ConversionsWithoutAUsableTargetAreRefusedInTheirOwnWords)
{
    Open(16, NoSquares);
    const Bytes bmp = datakit::FormatBmp(MakeImage(8, 8, 8, [](int x, int) { return x; }));
    const Bytes tim = datakit::FormatTim(MakeImage(8, 8, 8, [](int x, int) { return x; }));
    DK_SURFACE* into = nullptr;
    CaptureOutput([&] { into = DkCreateNewSurface(16, 8, 16, DKCS_SOURCE_TEXTURE); });
    ASSERT_NE(into, nullptr);
    struct Case
    {
        bool isTim;
        bool withSurface;
        uint32_t flags;
        std::vector<std::string> reports;
    } cases[] = {
        {false,
         false,
         0,
         {"DkImageToSurface() : ITS_CREATE_SURFACE not set, but pdksSurface is NULL"}},
        {false,
         false,
         ITS_TEXTURE_DATA,
         {"DkImageToSurface() : ITS_CREATE_SURFACE not set, but pdksSurface is NULL"}},
        {false,
         true,
         ITS_CREATE_SURFACE | ITS_TEXTURE_DATA,
         {"DkImageToSurface() : ITS_CREATE_SURFACE and ITS_TEXTURE_DATA cannot be specified "
          "simultaneously\n(i.e. You must create the surface previously) "}},
        {true,
         false,
         ITS_CREATE_SURFACE,
         {"DkTimToSurface() : ITS_CREATE_SURFACE flag not working (Hit Quon)"}},
        {true,
         true,
         ITS_CREATE_SURFACE,
         {"DkTimToSurface() : ITS_CREATE_SURFACE flag not working (Hit Quon)",
          "DkTimToSurface() : ITS_CREATE_SURFACE set, but pdksSurface is non-NULL"}},
        {true,
         false,
         0,
         {"DkTimToSurface() : ITS_CREATE_SURFACE not set, but pdksSurface is NULL"}},
        {true,
         false,
         ITS_TEXTURE_DATA,
         {"DkTimToSurface() : ITS_CREATE_SURFACE not set, but pdksSurface is NULL"}},
    };
    output.clear();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.reports.front() + " / flags " + std::to_string(c.flags));
        DK_SURFACE* surface = c.withSurface ? into : nullptr;
        std::string out;
        if (c.isTim)
        {
            int written = 1;
            out = CaptureOutput(
                [&] { written = DkTimToSurface(surface, tim.data(), Size(tim), c.flags); });
            EXPECT_EQ(written, 0);
        }
        else
        {
            EXPECT_EQ(Surface(bmp, c.flags, surface), nullptr);
            out = output;
            output.clear();
        }
        for (const std::string& report : c.reports)
            EXPECT_TRUE(Reported(out, report)) << out;
        EXPECT_EQ(CountReports(out), static_cast<int>(c.reports.size())) << out;
    }
}

// A texture slot is taken before the conversion, which can still fail: every failure gives it
// back, or a run of such files would leave no slot for any texture.
TEST_F(ImageTest, FailedConversionsGiveTheirTextureSlotsBack)
{
    // Heap enough that the surface list, not the heap, runs out below.
    Open(16, NoSquares, 0, 16 * 1024 * 1024);
    // A 16-bit BMP: a 24-bit file relabelled, its rows still inside the file.
    Bytes bmp16 = datakit::FormatBmp(MakeImage(8, 8, 24, [](int x, int) { return x * 30; }));
    bmp16[28] = 16;
    // A 16-bit TIM (mode 2, no colour table) of 8 x 8.
    Bytes tim16 = {0x10, 0, 0, 0, 2, 0, 0, 0, 12 + 128, 0, 0, 0, 0, 0, 0, 0, 8, 0, 8, 0};
    tim16.resize(tim16.size() + 128, 0x55);
    const Bytes bmp = datakit::FormatBmp(MakeImage(8, 8, 8, [](int x, int) { return x; }));
    const Bytes tim = datakit::FormatTim(MakeImage(8, 8, 8, [](int x, int) { return x; }));

    auto slotsTaken = []
    {
        int n = 0;
        for (const DK_TEXTURE* t : d3d->apTextures)
            n += t != nullptr;
        return n;
    };
    ASSERT_EQ(slotsTaken(), 0);
    const uint32_t texturesBefore = guNumTextures;

    // More failures than the table has slots. The reports are read from the output; the log,
    // which syncs every line, is left out of it.
    int made = 0;
    output.clear();
    output += CaptureOutput(
        [&]
        {
            DkDisableLog();
            for (int i = 0; i < 3000; ++i)
            {
                const Bytes& file = i % 2 == 0 ? bmp16 : tim16;
                made += DkImageToTexture(file.data(), Size(file), i % 2 == 0 ? ITT_BMP : ITT_TIM) !=
                        nullptr;
            }
            DkEnableLog();
        });
    EXPECT_EQ(made, 0);
    // Each failed in its conversion, after the header checks.
    EXPECT_EQ(CountOf(output, "DkImageToSurface() : nSourceBitDepth is wrong"), 1500);
    EXPECT_EQ(CountOf(output, "DkTimToSurface() : 16-bit TIMs not implemented"), 1500);
    EXPECT_EQ(slotsTaken(), 0);
    EXPECT_EQ(guNumTextures, texturesBefore);

    // The source surface cannot be made once the surface list is full.
    std::vector<DK_SURFACE*> fillers;
    output += CaptureOutput(
        [&]
        {
            while (DK_SURFACE* s = DkCreateNewSurface(1, 1, 0, 0))
                fillers.push_back(s);
        });
    ASSERT_FALSE(fillers.empty());
    for (int i = 0; i < 4; ++i)
    {
        output.clear();
        EXPECT_EQ(Texture(bmp, ITT_BMP), nullptr);
        EXPECT_EQ(Texture(tim, ITT_TIM), nullptr);
        EXPECT_TRUE(Reported(output, "NO MORE SPACE IN SURFACE LIST!")) << output;
    }
    EXPECT_EQ(slotsTaken(), 0);
    EXPECT_EQ(guNumTextures, texturesBefore);
    output += CaptureOutput(
        [&]
        {
            for (DK_SURFACE* s : fillers)
                DkDestroySurface(s, __FILE__, __LINE__);
        });

    // Good files still load, into the first slots.
    DK_TEXTURE* first = Texture(bmp, ITT_BMP);
    ASSERT_NE(first, nullptr) << output;
    EXPECT_EQ(first->uSlot, 0);
    DK_TEXTURE* second = Texture(tim, ITT_TIM);
    ASSERT_NE(second, nullptr) << output;
    EXPECT_EQ(second->uSlot, 1);
    EXPECT_EQ(slotsTaken(), 2);
}

// Every reader is given the file's size: a cut or corrupt file is refused with a report and
// nothing past its end is read (the files live in buffers of exactly their size).
TEST_F(ImageTest, TruncatedAndCorruptFilesAreRefused)
{
    Open(16, NoSquares);
    const Bytes bmp = datakit::FormatBmp(MakeImage(8, 8, 8, [](int x, int) { return x; }));
    const Bytes tim = datakit::FormatTim(MakeImage(8, 8, 8, [](int x, int) { return x; }));
    auto cut = [](Bytes b, size_t n)
    {
        b.resize(n);
        return b;
    };
    auto poke32 = [](Bytes b, size_t at, uint32_t v)
    {
        std::memcpy(&b[at], &v, 4);
        return b;
    };
    auto poke16 = [](Bytes b, size_t at, uint16_t v)
    {
        std::memcpy(&b[at], &v, 2);
        return b;
    };
    struct Case
    {
        const char* what;
        Bytes file;
        bool isTim;
    } cases[] = {
        {"no header", cut(bmp, 20), false},
        {"last row cut", cut(bmp, bmp.size() - 1), false},
        {"pixel offset past the end", poke32(bmp, 10, 0xFFFFFF00u), false},
        {"more colours than the depth holds", poke32(bmp, 46, 1000), false},
        {"colour table past the end", cut(poke32(bmp, 10, 54), 54 + 100), false},
        {"huge width", poke32(bmp, 18, 0x7FFFFFFF), false},
        {"negative height", poke32(bmp, 22, 0xFFFFFFF8u), false},
        {"TIM without its image block", cut(tim, 8 + 12 + 512 + 4), true},
        {"TIM colour table cut", cut(tim, 100), true},
        {"TIM rows cut", cut(tim, tim.size() - 1), true},
        {"TIM height beyond its rows", poke16(tim, 8 + 12 + 512 + 10, 400), true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        output.clear();
        // A heap copy of exactly the file's size, so a read past it is caught.
        std::vector<uint8_t> exact(c.file);
        exact.shrink_to_fit();
        if (c.isTim)
        {
            EXPECT_EQ(Texture(exact, ITT_TIM), nullptr);
            DK_SURFACE* into = nullptr;
            CaptureOutput([&] { into = DkCreateNewSurface(16, 8, 16, DKCS_SOURCE_TEXTURE); });
            int written = 1;
            output += CaptureOutput(
                [&]
                { written = DkTimToSurface(into, exact.data(), Size(exact), ITS_TEXTURE_DATA); });
            EXPECT_EQ(written, 0);
        }
        else
        {
            EXPECT_EQ(Texture(exact, ITT_BMP), nullptr);
            EXPECT_EQ(Surface(exact, ITS_CREATE_SURFACE), nullptr);
            std::vector<uint8_t> pixels(64 * 3);
            BOOL read = TRUE;
            output += CaptureOutput(
                [&] { read = ExtractPixels(exact.data(), Size(exact), pixels.data(), 8, 8, 8); });
            EXPECT_FALSE(read);
        }
        EXPECT_GE(CountReports(output), 1) << output;
    }
    // A strip that squaring would make a 5,000 x 5,000 texture of.
    output.clear();
    EXPECT_EQ(
        Texture(datakit::FormatBmp(MakeImage(1, 5000, 8, [](int, int) { return 1; })), ITT_BMP),
        nullptr);
    EXPECT_EQ(CountReports(output), 1) << output;
    // None of them took a texture slot.
    EXPECT_EQ(d3d->apTextures[0], nullptr);
}

} // namespace
