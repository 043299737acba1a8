// Fonts made from dezor-datakit ".fon" files: lines, wrapping, justification and scaled
// positions on a 640x480 display, glyphs blitted at once or queued as polygon blits, golden
// frames of printed text, and cut or corrupt font files.
#include "engine/pc/display/dk_font.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_entries.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/display/dk_dvice.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/dk_image.h"
#include "engine/pc/display/dk_pblit.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/main.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw_internal.h"
#include "tests/support/engine_test.h"
#include "tests/support/golden.h"
#include "tools/datakit/image_writer.h"

namespace
{

using Bytes = std::vector<uint8_t>;

uint32_t Size(const Bytes& b)
{
    return static_cast<uint32_t>(b.size());
}

// The race flow's loading-screen flag, as this test sets it.
BOOL gboLoadingScreenUp = FALSE;
BOOL IsLoadingScreenUp(void)
{
    return gboLoadingScreenUp;
}

class FontTest : public LoggedTest
{
protected:
    enum class Mode
    {
        Display2D, // no 3D set-up: fonts are surfaces
        Hardware,  // 16-bit display with the hardware-like device
        Software,  // 8-bit display with the ramp device
    };

    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        DK_ENTRIES entries{};
        entries.IsLoadingScreenUp = IsLoadingScreenUp;
        DkRegisterEntries(&entries);
        gboLoadingScreenUp = FALSE;
    }

    void Open(Mode mode, int width = 640, int height = 480)
    {
        DkForgetDisplayCapabilities();
        DkClear3DCapabilities();
        const DWORD bits = mode == Mode::Software ? 8 : 16;
        const DdMode modes[] = {{static_cast<DWORD>(width), static_cast<DWORD>(height), bits}};
        DdSetModesForTests(modes, 1, 0x7E0);
        D3dSetTextureFormatsForTests(nullptr, 0);
        DkSetHardwareType(0);
        DkSetDisplayDevice(0);
        DkMarkDirectDrawForRelease();
        DkTempHeapInit(64 * 1024);
        DkHeapInit(2 * 1024 * 1024);
        ASSERT_TRUE(InitGameWindow(nullptr, &ghWnd, "Font Test", DefWindowProcA));
        output += CaptureOutput(
            [&]
            {
                DkInitialiseDisplay(nullptr, 0, "c:\\none.pal", bits == 8 ? DKID_8BIT : DKID_16BIT,
                                    DKLF_AS_GIVEN);
                if (mode != Mode::Display2D)
                {
                    DkInit3D();
                    DkInitialisePolyBlits();
                }
                DkInitialiseFonts(21);
            });
        ASSERT_EQ(d2d->nWidth, width);
        ASSERT_EQ(gbo3DReady, mode != Mode::Display2D);
        Clear();
    }

    void TearDown() override
    {
        output += CaptureOutput(
            []
            {
                DkDrawPolyBlitQueue3();
                DkDrawPolyBlitQueue2();
                DkDrawPolyBlitQueue1();
                DkDestroyDisplay();
                DkCallAllDestructors();
            });
        EXPECT_EQ(DdLiveObjects(), 0) << "every DirectDraw object was released";
        DkClear3DCapabilities();
        DdSetModesForTests(nullptr, 0, 0x7E0);
        DkForgetDisplayCapabilities();
        gboLoadingScreenUp = FALSE;
        DkSetTextBlitOrder(BLIT_TO_MIDDLE);
        LoggedTest::TearDown();
    }

    DK_FONT* Font(const datakit::FontStyle& style = {}, uint32_t flags = DKCF_KEEP_INDICES)
    {
        const Bytes file = datakit::FormatFont(style);
        DK_FONT* font = nullptr;
        output += CaptureOutput([&] { font = DkCreateFont(file.data(), Size(file), flags); });
        EXPECT_NE(font, nullptr) << output;
        return font;
    }

    void Clear()
    {
        DdSurfaceData& back = Back();
        std::fill(back.pixels.begin(), back.pixels.end(), 0);
    }

    DdSurfaceData& Back() { return *DdData(d2d->BackSurface.lpSurface); }

    // The smallest rectangle holding every non-zero pixel of the back surface.
    DK_RECT Drawn()
    {
        DdSurfaceData& back = Back();
        int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
        for (DWORD y = 0; y < back.height; ++y)
        {
            const uint8_t* row = DdRow(back, y);
            for (DWORD x = 0; x < back.width; ++x)
            {
                bool set = false;
                for (DWORD b = 0; b < back.bytesPerPixel; ++b)
                    set = set || row[x * back.bytesPerPixel + b] != 0;
                if (!set)
                    continue;
                x0 = std::min(x0, static_cast<int>(x)), y0 = std::min(y0, static_cast<int>(y));
                x1 = std::max(x1, static_cast<int>(x)), y1 = std::max(y1, static_cast<int>(y));
            }
        }
        if (x1 < 0)
            return {0, 0, 0, 0};
        return {static_cast<int16_t>(x0), static_cast<int16_t>(y0),
                static_cast<int16_t>(x1 - x0 + 1), static_cast<int16_t>(y1 - y0 + 1)};
    }

    int Print(int x, int y, const char* text, DK_FONT* font, int justification = 0)
    {
        int below = 0;
        output += CaptureOutput(
            [&]
            { below = DkPrintText(x, y, text, font, &d2d->BackSurface, nullptr, justification); });
        return below;
    }

    std::string output;
};

TEST_F(FontTest, LinesBreakAtCaretsAndWrapAtTheScreenWidth)
{
    Open(Mode::Display2D);
    DK_FONT* font = Font();
    ASSERT_NE(font, nullptr);
    const int line = font->nHeight + font->nVSpacing;
    ASSERT_EQ(font->nHeight, 8);
    ASSERT_EQ(font->auMap[' '], DK_FONT_NO_GLYPH) << "the demo fonts advance over spaces";

    EXPECT_EQ(DkStringLength("AB^CD", font),
              DkStringLength("AB", font) + font->nSpaceWidth + DkStringLength("CD", font));
    EXPECT_EQ(DkStringHeight("AB^CD", font), 2 * font->nHeight + font->nVSpacing);

    // A word wider than half the screen: two of them do not fit one line.
    const std::string word(640 / 2 / (DkStringLength("W", font)) + 2, 'W');
    const std::string twoWords = word + " " + word;
    ASSERT_LT(DkStringLength(word.c_str(), font), 640);
    ASSERT_GE(DkStringLength(twoWords.c_str(), font), 640);

    struct Case
    {
        const char* what;
        std::string text;
        int x, y, justification;
        int below;        // the y returned
        int lines;        // lines with ink
        int left, widest; // left edge of the ink (-1: not checked), gnTextWidestLine
    } cases[] = {
        {"two lines", "AB^CD", 10, 10, 0, 10 + 2 * line, 2, 10, DkStringLength("AB", font)},
        {"one line", "ABCD", 10, 10, 0, 10 + line, 1, 10, DkStringLength("ABCD", font)},
        {"empty", "", 10, 10, 0, 10 + line, 0, -1, 0},
        {"ending in a caret", "AB^", 10, 10, 0, 10 + 2 * line, 1, 10, DkStringLength("AB", font)},
        {"off the right edge", "ABCD", 630, 10, 0, 10 + line, 1, 630, DkStringLength("ABCD", font)},
        {"wrapped at the space", twoWords, 0, 100, 0, 100 + 2 * line, 2, 0,
         DkStringLength(word.c_str(), font)},
        {"centred", "ABCD", 320, 240, DKJ_CENTRE, 240 + line, 1,
         320 - DkStringLength("ABCD", font) / 2, DkStringLength("ABCD", font)},
        {"right-aligned", "ABCD", 320, 240, DKJ_RIGHT, 240 + line, 1,
         320 - DkStringLength("ABCD", font), DkStringLength("ABCD", font)},
        {"block centred", "AB^CD", 320, 240, DKJ_CENTRE | DKJ_VCENTRE,
         240 - DkStringHeight("AB^CD", font) / 2 + 2 * line, 2, -1, DkStringLength("CD", font)},
        {"block ending at y", "AB^CD", 320, 240, DKJ_BOTTOM,
         240 - DkStringHeight("AB^CD", font) + 2 * line, 2, 320, DkStringLength("AB", font)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Clear();
        EXPECT_EQ(Print(c.x, c.y, c.text.c_str(), font, c.justification), c.below);
        EXPECT_EQ(gnTextWidestLine, std::max<int>(c.widest, 0));
        const DK_RECT ink = Drawn();
        if (c.lines == 0)
        {
            EXPECT_EQ(ink.w, 0);
            continue;
        }
        const int top = c.below - c.lines * line - (c.text.back() == '^' ? line : 0);
        EXPECT_GE(ink.y, top);
        EXPECT_LE(ink.y + ink.h, top + (c.lines - 1) * line + font->nHeight);
        EXPECT_GT(ink.y + ink.h, top + (c.lines - 1) * line) << "ink on the last line";
        if (c.left >= 0)
        {
            EXPECT_EQ(ink.x, c.left);
        }
    }
    // Each line of a centred block is centred on x by itself.
    Clear();
    Print(320, 100, "A^WWWWWWWW", font, DKJ_CENTRE);
    const DK_RECT ink = Drawn();
    EXPECT_EQ(ink.x, 320 - DkStringLength("WWWWWWWW", font) / 2);
}

TEST_F(FontTest, ASpaceDrawsAGlyphOnlyWhenTheFontHasOne)
{
    Open(Mode::Display2D);
    const Bytes plain = datakit::FormatFont({});
    const uint32_t width = plain[18] | plain[19] << 8, height = plain[22] | plain[23] << 8;
    const size_t header = 1078 + ((width + 3) & ~3u) * height;
    // The first glyph ('!') recoded as the space.
    Bytes spaced = plain;
    ASSERT_EQ(spaced[header + 24], '!');
    spaced[header + 24] = ' ';
    struct Case
    {
        const char* what;
        const Bytes& file;
        bool spaceHasGlyph;
    } cases[] = {{"no glyph for the space", plain, false}, {"a glyph for the space", spaced, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        DK_FONT* font = nullptr;
        output += CaptureOutput([&] { font = DkCreateFont(c.file.data(), Size(c.file), 0); });
        ASSERT_NE(font, nullptr) << output;
        ASSERT_EQ(font->auMap[' '] != DK_FONT_NO_GLYPH, c.spaceHasGlyph);
        // Measured as a space either way.
        EXPECT_EQ(DkStringLength(" ", font), font->nSpaceWidth);
        Clear();
        Print(10, 10, " ", font);
        EXPECT_EQ(Drawn().w != 0, c.spaceHasGlyph);
        Clear();
        Print(10, 10, " A", font);
        const int advance = c.spaceHasGlyph
                                ? font->pGlyphs[font->auMap[' ']].rect.w + font->nHSpacing
                                : font->nSpaceWidth;
        EXPECT_EQ(Drawn().x, c.spaceHasGlyph ? 10 : 10 + advance);
        Clear();
        Print(10, 10, "  A", font);
        const DK_RECT ink = Drawn();
        EXPECT_EQ(ink.x + ink.w, 10 + 2 * advance + DkStringLength("A", font) - font->nHSpacing)
            << "the A starts after two spaces";
    }
}

TEST_F(FontTest, ScaledPositionsAreFractionsOfTheScreen)
{
    Open(Mode::Display2D);
    DK_FONT* font = Font();
    ASSERT_NE(font, nullptr);
    const int line = font->nHeight + font->nVSpacing;
    int32_t below = 0;
    // The line ends at pixel 240 of 480.
    const int32_t y = static_cast<int32_t>(((240 - line) * 65536 + 479) / 480);
    output += CaptureOutput(
        [&]
        { below = DkPrintTextScaled(0x8000, y, "HELLO", font, &d2d->BackSurface, nullptr, 0); });
    EXPECT_EQ(Drawn().x, 320);
    EXPECT_EQ(below, 0x8000);
    EXPECT_EQ(gxTextWidestLine, (DkStringLength("HELLO", font) << 16) / 640);
    EXPECT_EQ(DkStringLengthScaled("HELLO", font), DkStringLength("HELLO", font) * 65536 / 640);
}

TEST_F(FontTest, TextureFontsQueueGlyphsUnlessTheLoadingScreenIsUp)
{
    struct Case
    {
        const char* what;
        Mode mode;
        BOOL loadingScreen;
        int queued;       // blits queued for "ABC"
        uint32_t flags;   // of the queued blits
        bool drawnAtOnce; // ink on the back surface right after printing
    } cases[] = {
        {"hardware device", Mode::Hardware, FALSE, 3, DKPB_NONE, false},
        {"hardware device, loading screen up", Mode::Hardware, TRUE, 0, 0, true},
        {"software device", Mode::Software, FALSE, 3, DKPB_NONE | DKPB_SURFACE_BLIT, false},
        {"no 3D set-up", Mode::Display2D, FALSE, 0, 0, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Open(c.mode);
        DK_FONT* font = Font({}, 0);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(font->pTexture != nullptr, c.mode != Mode::Display2D);
        EXPECT_EQ(font->pSurface != nullptr, c.mode == Mode::Display2D);
        gboLoadingScreenUp = c.loadingScreen;
        const uint8_t yellow[4] = {255, 255, 0, 128};
        output +=
            CaptureOutput([&] { DkPrintText(100, 50, "ABC", font, &d2d->BackSurface, yellow, 0); });
        if (c.mode != Mode::Display2D)
        {
            EXPECT_EQ(DkGetPolyBlitCount(BLIT_TO_MIDDLE), c.queued);
            for (int i = 0; i < c.queued; ++i)
            {
                const DK_POLYBLIT* blit = DkGetPolyBlit(BLIT_TO_MIDDLE, i);
                ASSERT_NE(blit, nullptr);
                EXPECT_EQ(blit->pTexture, font->pTexture);
                EXPECT_EQ(blit->flags, c.flags);
                EXPECT_EQ(blit->destination.y, 50);
                EXPECT_EQ(blit->colour[1], 255);
            }
            if (c.queued > 0)
            {
                EXPECT_EQ(DkGetPolyBlit(BLIT_TO_MIDDLE, 0)->destination.x, 100);
            }
        }
        EXPECT_EQ(Drawn().w != 0, c.drawnAtOnce);
        if (c.drawnAtOnce)
        {
            EXPECT_EQ(Drawn().x, 100);
        }
        TearDown();
        SetUp();
    }
}

TEST_F(FontTest, TextBlitsTakeTheTextOrderAndClip)
{
    Open(Mode::Hardware);
    DK_FONT* font = Font({}, 0);
    ASSERT_NE(font, nullptr);
    const DK_RECT clip{10, 20, 30, 40};
    DkSetTextBlitOrder(BLIT_TO_FRONT);
    DkSetTextBlitParam(&clip);
    Print(5, 5, "A", font);
    DkSetTextBlitParam(nullptr);
    Print(5, 5, "B", font);
    ASSERT_EQ(DkGetPolyBlitCount(BLIT_TO_FRONT), 2);
    EXPECT_EQ(DkGetPolyBlitCount(BLIT_TO_MIDDLE), 0);
    const DK_RECT& first = DkGetPolyBlit(BLIT_TO_FRONT, 0)->clip;
    const DK_RECT& second = DkGetPolyBlit(BLIT_TO_FRONT, 1)->clip;
    EXPECT_EQ(std::vector<int>({first.x, first.y, first.w, first.h}),
              std::vector<int>({10, 20, 30, 40}));
    EXPECT_EQ(std::vector<int>({second.x, second.y, second.w, second.h}),
              std::vector<int>({0, 0, 0, 0}));
}

TEST_F(FontTest, PrintedTextMatchesItsGoldenFrames)
{
    // Surface fonts on a 2D display.
    Open(Mode::Display2D, 320, 240);
    DK_FONT* plain = Font({1, {255, 255, 255}, false}, 0);
    DK_FONT* big = Font({2, {255, 200, 0}, true}, 0);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(big, nullptr);
    Print(160, 8, "Dezor Datakit", big, DKJ_CENTRE);
    Print(4, 40, "Left^aligned", plain);
    Print(316, 40, "Right^aligned", plain, DKJ_RIGHT);
    Print(160, 120, "Centred on^the middle^of the screen", plain, DKJ_CENTRE | DKJ_VCENTRE);
    output += CaptureOutput(
        [&]
        {
            DkPrintTextScaled(0x8000, 0xC000, "0x8000, 0xC000", plain, &d2d->BackSurface, nullptr,
                              DKJ_CENTRE);
        });
    ExpectGoldenFrame(Back(), DEZOR_ENGINE_GOLDEN_DIR, "font_surface_text");
    TearDown();
    SetUp();

    // Texture fonts drawn as polygon blits in the colour given.
    Open(Mode::Hardware, 320, 240);
    big = Font({2, {255, 255, 255}, true}, 0);
    plain = Font({1, {255, 255, 255}, false}, 0);
    ASSERT_NE(big, nullptr);
    const uint8_t orange[4] = {255, 160, 0, 255};
    const uint8_t cyan[4] = {0, 255, 255, 255};
    output += CaptureOutput(
        [&]
        {
            DkPrintText(160, 60, "Queued^glyphs", big, &d2d->BackSurface, orange,
                        DKJ_CENTRE | DKJ_VCENTRE);
            DkPrintText(
                160, 200,
                "A long line of text that wraps at the edge of the screen, as long lines do", plain,
                &d2d->BackSurface, cyan, DKJ_CENTRE);
            IDirect3DDevice2* device = d3d->lpD3DDevice2;
            device->BeginScene();
            D3DRECT all{0, 0, 320, 240};
            d3d->lpD3DViewport2->Clear(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
            // The overlays are drawn as the scene frame draws them: depth test and write off.
            DkSetZEnable(1);
            DkSetZWriteEnable(1);
            device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
            device->SetRenderState(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_MODULATE);
            DkSetZEnable(0);
            DkSetZWriteEnable(0);
            DkDrawPolyBlitQueue3();
            DkDrawPolyBlitQueue2();
            DkDrawPolyBlitQueue1();
            device->EndScene();
        });
    ExpectGoldenFrame(Back(), DEZOR_ENGINE_GOLDEN_DIR, "font_texture_text");
}

TEST_F(FontTest, CutAndCorruptFontFilesAreRefused)
{
    Open(Mode::Display2D);
    const Bytes good = datakit::FormatFont({});
    // The font header lies right after the image's rows.
    const uint32_t width = good[18] | good[19] << 8, height = good[22] | good[23] << 8;
    const size_t header = 1078 + ((width + 3) & ~3u) * height;
    ASSERT_EQ(good[header], 3);
    const size_t glyphs = good[header + 1];
    ASSERT_EQ(good.size(), header + 24 + glyphs * 16);

    auto cut = [](Bytes b, size_t n)
    {
        b.resize(n);
        return b;
    };
    auto poke = [](Bytes b, size_t at, std::vector<uint8_t> v)
    {
        std::copy(v.begin(), v.end(), b.begin() + at);
        return b;
    };
    struct Case
    {
        const char* what;
        Bytes file;
        bool made;
        const char* report;
    } cases[] = {
        {"shorter than a BMP header", cut(good, 40), false, nullptr},
        {"font header cut", cut(good, header + 10), false, nullptr},
        {"glyph table cut", cut(good, good.size() - 1), false, nullptr},
        {"more glyphs than the table holds", poke(good, header + 1, {255}), false, nullptr},
        {"image taller than the file", poke(good, 22, {0, 0x10}), false, nullptr},
        {"4 bits a pixel", poke(good, 28, {4}), false, ".BMP is not 256 cols"},
        {"compressed", poke(good, 30, {1}), false, ".BMP is compressed"},
        {"a glyph outside the image", poke(good, header + 24 + 2, {0xF0, 0x7F}), true, nullptr},
        {"another version", poke(good, header, {2}), true, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        output.clear();
        Bytes exact(c.file);
        exact.shrink_to_fit();
        DK_FONT* font = nullptr;
        output += CaptureOutput([&] { font = DkCreateFont(exact.data(), Size(exact), 0); });
        EXPECT_EQ(font != nullptr, c.made) << output;
        EXPECT_GE(CountReports(output), 1) << output;
        if (c.report != nullptr)
        {
            EXPECT_TRUE(Reported(output, c.report)) << output;
        }
        if (!c.made)
        {
            EXPECT_TRUE(Reported(output, "DkFontFileToFont() failed")) << output;
        }
    }
    // A refused file leaves its table entry free: 21 good fonts still fit, less the two made.
    int made = 0;
    for (int i = 0; i < 21; ++i)
    {
        DK_FONT* font = nullptr;
        output += CaptureOutput([&] { font = DkCreateFont(good.data(), Size(good), 0); });
        made += font != nullptr;
    }
    EXPECT_EQ(made, 19);
    output.clear();
    output += CaptureOutput([&] { EXPECT_EQ(DkCreateFont(good.data(), Size(good), 0), nullptr); });
    EXPECT_TRUE(Reported(output, "DkCreateFont() failed - Too many fonts created")) << output;
}

TEST_F(FontTest, FontsWithMetricsOutOfRangeAreRefusedAndDrawNothing)
{
    Open(Mode::Display2D);
    const Bytes good = datakit::FormatFont({});
    const uint32_t width = good[18] | good[19] << 8, height = good[22] | good[23] << 8;
    const size_t header = 1078 + ((width + 3) & ~3u) * height;
    // The header's line height, space width and spacings, 4 bytes each from byte 4.
    auto with = [&](size_t field, int32_t value)
    {
        Bytes b = good;
        const uint32_t u = static_cast<uint32_t>(value);
        for (int i = 0; i < 4; ++i)
            b[header + 4 + 4 * field + i] = static_cast<uint8_t>(u >> (8 * i));
        return b;
    };
    enum Field
    {
        Height,
        Space,
        HSpacing,
        VSpacing
    };
    struct Case
    {
        const char* what;
        Bytes file;
        const char* report; // nullptr: the font is made
    } cases[] = {
        {"height near INT_MAX", with(Height, 0x7FFFFFF0),
         "DkFontFileToFont() : font height 2147483632 is outside 0..1024"},
        {"negative height", with(Height, -1),
         "DkFontFileToFont() : font height -1 is outside 0..1024"},
        {"height just too large", with(Height, 1025),
         "DkFontFileToFont() : font height 1025 is outside 0..1024"},
        {"huge space width", with(Space, 0x40000000),
         "DkFontFileToFont() : font space width 1073741824 is outside 0..1024"},
        {"negative space width", with(Space, -8),
         "DkFontFileToFont() : font space width -8 is outside 0..1024"},
        {"horizontal spacing at INT_MIN", with(HSpacing, INT32_MIN),
         "DkFontFileToFont() : font horizontal spacing -2147483648 is outside -1024..1024"},
        {"vertical spacing near INT_MAX", with(VSpacing, 0x7FFFFFFF),
         "DkFontFileToFont() : font vertical spacing 2147483647 is outside -1024..1024"},
        {"vertical spacing just too small", with(VSpacing, -1025),
         "DkFontFileToFont() : font vertical spacing -1025 is outside -1024..1024"},
        {"largest height", with(Height, 1024), nullptr},
        {"largest space width", with(Space, 1024), nullptr},
        {"tightest spacing", with(HSpacing, -1024), nullptr},
        {"widest line spacing", with(VSpacing, 1024), nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        output.clear();
        DK_FONT* font = nullptr;
        output += CaptureOutput([&] { font = DkCreateFont(c.file.data(), Size(c.file), 0); });
        if (c.report != nullptr)
        {
            EXPECT_EQ(font, nullptr);
            EXPECT_TRUE(Reported(output, c.report)) << output;
            EXPECT_TRUE(Reported(output, "DkFontFileToFont() failed")) << output;
            // What a caller does with the font it did not get draws and measures nothing.
            Clear();
            EXPECT_EQ(Print(10, 20, "AB^CD", font), 20);
            EXPECT_EQ(Drawn().w, 0);
            output += CaptureOutput(
                [&]
                {
                    EXPECT_EQ(DkStringLength("AB CD", font), 0);
                    EXPECT_EQ(DkStringHeight("AB^CD", font), 0);
                });
            continue;
        }
        ASSERT_NE(font, nullptr) << output;
        // Metrics at the bounds, on strings and positions at the ends of an int's range, are
        // measured and printed without overflow (the sanitizer build checks it).
        const std::string spaces(3'000'000, ' ');
        const std::string carets(3'000'000, '^');
        EXPECT_GE(DkStringLength(spaces.c_str(), font), 0);
        EXPECT_GE(DkStringHeight(carets.c_str(), font), 0);
        Clear();
        EXPECT_GE(Print(10, INT32_MAX - 4, "AB", font), INT32_MAX - 4 - 1024);
    }
    // A valid font still loads beside the refused ones; they took no table entry.
    DK_FONT* font = Font();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->nHeight, 8);
    Print(10, 10, "AB", font);
    EXPECT_EQ(Drawn().x, 10);
}

} // namespace
