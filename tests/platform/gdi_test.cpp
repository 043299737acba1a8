#include "platform/win/win.h"

#include <climits>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ddraw/ddraw.h"

namespace
{

DDPIXELFORMAT Format565()
{
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB;
    pf.dwRGBBitCount = 16;
    pf.dwRBitMask = 0xF800;
    pf.dwGBitMask = 0x07E0;
    pf.dwBBitMask = 0x001F;
    return pf;
}

DDPIXELFORMAT Format8()
{
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
    pf.dwRGBBitCount = 8;
    return pf;
}

DDPIXELFORMAT Format888()
{
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB;
    pf.dwRGBBitCount = 24;
    pf.dwRBitMask = 0xFF0000;
    pf.dwGBitMask = 0x00FF00;
    pf.dwBBitMask = 0x0000FF;
    return pf;
}

// The pixels a surface holds, as values, read through Lock.
struct Pixels
{
    DWORD width = 0;
    DWORD height = 0;
    std::vector<DWORD> values;

    DWORD At(DWORD x, DWORD y) const { return values[y * width + x]; }
};

Pixels Read(IDirectDrawSurface* s)
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    Pixels p;
    if (s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK)
    {
        ADD_FAILURE() << "cannot lock";
        return p;
    }
    p.width = d.dwWidth;
    p.height = d.dwHeight;
    DWORD bpp = d.ddpfPixelFormat.dwRGBBitCount / 8;
    for (DWORD y = 0; y < d.dwHeight; ++y)
        for (DWORD x = 0; x < d.dwWidth; ++x)
        {
            DWORD v = 0;
            std::memcpy(&v, static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch + x * bpp, bpp);
            p.values.push_back(v);
        }
    s->Unlock(nullptr);
    return p;
}

// The smallest box around the pixels that differ from the background.
struct Box
{
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN; // inclusive
    int count = 0;
};

Box Ink(const Pixels& p, DWORD background)
{
    Box b;
    for (DWORD y = 0; y < p.height; ++y)
        for (DWORD x = 0; x < p.width; ++x)
            if (p.At(x, y) != background)
            {
                b.left = std::min<int>(b.left, x);
                b.top = std::min<int>(b.top, y);
                b.right = std::max<int>(b.right, x);
                b.bottom = std::max<int>(b.bottom, y);
                ++b.count;
            }
    return b;
}

class GdiTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(DirectDrawCreate(nullptr, &dd_, nullptr), DD_OK); }

    void TearDown() override
    {
        for (IDirectDrawSurface* s : surfaces_)
            s->Release();
        dd_->Release();
        EXPECT_EQ(DdLiveObjects(), 0);
    }

    IDirectDrawSurface* Make(DWORD width, DWORD height, const DDPIXELFORMAT& pf)
    {
        DDSURFACEDESC d{};
        d.dwSize = sizeof d;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        d.dwWidth = width;
        d.dwHeight = height;
        d.ddpfPixelFormat = pf;
        d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        IDirectDrawSurface* s = nullptr;
        EXPECT_EQ(dd_->CreateSurface(&d, &s, nullptr), DD_OK);
        if (s != nullptr)
            surfaces_.push_back(s);
        return s;
    }

    // Writes text on the surface through its device context with a font of the given height
    // (0: the default font).
    void Text(IDirectDrawSurface* s, int x, int y, const std::string& text, COLORREF colour,
              LONG height = 0)
    {
        HDC hdc = nullptr;
        ASSERT_EQ(s->GetDC(&hdc), DD_OK);
        HFONT font = nullptr;
        HGDIOBJ previous = nullptr;
        if (height != 0)
        {
            LOGFONTA lf{};
            lf.lfHeight = height;
            lf.lfWeight = FW_BOLD;
            font = CreateFontIndirectA(&lf);
            previous = SelectObject(hdc, font);
            EXPECT_NE(previous, nullptr);
        }
        SetBkMode(hdc, TRANSPARENT);
        SetTextColor(hdc, colour);
        EXPECT_TRUE(TextOutA(hdc, x, y, text.c_str(), static_cast<int>(text.size())));
        if (font != nullptr)
        {
            SelectObject(hdc, previous);
            EXPECT_TRUE(DeleteObject(font));
        }
        ASSERT_EQ(s->ReleaseDC(hdc), DD_OK);
    }

    IDirectDraw2* dd_ = nullptr;
    std::vector<IDirectDrawSurface*> surfaces_;
};

TEST_F(GdiTest, TextIsDrawnInItsColourInsideItsBoxOnly)
{
    IDirectDrawSurface* s = Make(64, 32, Format565());
    Text(s, 4, 2, "Hi", RGB(255, 0, 0), 16);
    Pixels p = Read(s);
    Box ink = Ink(p, 0);
    ASSERT_GT(ink.count, 0);
    // Two cells of 8x8 doubled: x 4..35, y 2..17.
    EXPECT_GE(ink.left, 4);
    EXPECT_LE(ink.right, 35);
    EXPECT_GE(ink.top, 2);
    EXPECT_LE(ink.bottom, 17);
    for (DWORD v : p.values)
        EXPECT_TRUE(v == 0 || v == 0xF800) << std::hex << v;
}

TEST_F(GdiTest, TextOnAPalettisedSurfaceUsesTheNearestEntry)
{
    IDirectDrawSurface* s = Make(32, 16, Format8());
    PALETTEENTRY table[256]{};
    for (int i = 0; i < 256; ++i)
        table[i] = PALETTEENTRY{BYTE(i), BYTE(i), BYTE(i), 0};
    table[77] = PALETTEENTRY{240, 20, 30, 0};
    IDirectDrawPalette* pal = nullptr;
    ASSERT_EQ(dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, table, &pal, nullptr), DD_OK);
    ASSERT_EQ(s->SetPalette(pal), DD_OK);
    pal->Release();

    Text(s, 0, 0, "#", RGB(255, 0, 0));
    Pixels p = Read(s);
    Box ink = Ink(p, 0);
    ASSERT_GT(ink.count, 0);
    for (DWORD v : p.values)
        EXPECT_TRUE(v == 0 || v == 77) << v;
}

TEST_F(GdiTest, FontHeightScalesTheGlyphs)
{
    // '|' is a bar seven pixels high in its cell.
    struct Case
    {
        LONG height;
        int barHeight;
    };
    const Case cases[] = {{0, 7}, {8, 7}, {12, 7}, {16, 14}, {-16, 14}, {24, 21}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.height);
        IDirectDrawSurface* s = Make(32, 32, Format565());
        Text(s, 0, 0, "|", RGB(255, 255, 255), c.height);
        Box ink = Ink(Read(s), 0);
        EXPECT_EQ(ink.bottom - ink.top + 1, c.barHeight);
    }
}

TEST_F(GdiTest, EveryPrintableGlyphIsDistinctAndOnlySpaceIsBlank)
{
    IDirectDrawSurface* s = Make(8 * 95, 8, Format565());
    std::string all;
    for (int c = 32; c <= 126; ++c)
        all += static_cast<char>(c);
    Text(s, 0, 0, all, RGB(255, 255, 255));
    Pixels p = Read(s);
    std::set<std::vector<DWORD>> seen;
    for (int i = 0; i < 95; ++i)
    {
        std::vector<DWORD> cell;
        for (DWORD y = 0; y < 8; ++y)
            for (DWORD x = 0; x < 8; ++x)
                cell.push_back(p.At(i * 8 + x, y));
        bool blank = std::all_of(cell.begin(), cell.end(), [](DWORD v) { return v == 0; });
        EXPECT_EQ(blank, i == 0) << "'" << char(32 + i) << "'";
        EXPECT_TRUE(seen.insert(cell).second) << "'" << char(32 + i) << "' repeats a glyph";
    }
}

TEST_F(GdiTest, TextIsClippedToTheSurface)
{
    IDirectDrawSurface* s = Make(12, 6, Format565());
    // Starts left of and above the surface and runs past its right edge.
    Text(s, -5, -3, "WWWW", RGB(0, 255, 0));
    Box ink = Ink(Read(s), 0);
    EXPECT_GT(ink.count, 0);
    EXPECT_EQ(ink.left, 0);
    EXPECT_EQ(ink.top, 0);
}

TEST_F(GdiTest, PatBltWithTheBlackBrushFillsBlackOnASurfaceOnly)
{
    IDirectDrawSurface* s = Make(4, 3, Format565());
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0xFFFF;
    s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);

    HDC hdc = nullptr;
    ASSERT_EQ(s->GetDC(&hdc), DD_OK);
    EXPECT_EQ(SelectObject(hdc, GetStockObject(NULL_BRUSH)), GetStockObject(0));
    EXPECT_TRUE(PatBlt(hdc, 0, 0, 4, 3, PATCOPY)); // the null brush draws nothing
    EXPECT_EQ(SelectObject(hdc, GetStockObject(BLACK_BRUSH)), GetStockObject(NULL_BRUSH));
    EXPECT_TRUE(PatBlt(hdc, 2, 1, 10, 10, PATCOPY)); // clipped
    ASSERT_EQ(s->ReleaseDC(hdc), DD_OK);
    const DWORD w = 0xFFFF;
    EXPECT_EQ(Read(s).values, (std::vector<DWORD>{w, w, w, w, w, w, 0, 0, w, w, 0, 0}));

    // The screen's context and the window's paint context draw nothing and do not fail.
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    SelectObject(screen, GetStockObject(BLACK_BRUSH));
    EXPECT_TRUE(PatBlt(screen, 0, 0, 640, 480, PATCOPY));
    EXPECT_TRUE(TextOutA(screen, 0, 0, "x", 1));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_FALSE(PatBlt(nullptr, 0, 0, 1, 1, PATCOPY));
}

TEST_F(GdiTest, DeviceContextsHoldTheSurfaceAndOnlyDrawableFormatsGiveOne)
{
    IDirectDrawSurface* s = Make(4, 4, Format565());
    HDC hdc = nullptr;
    ASSERT_EQ(s->GetDC(&hdc), DD_OK);
    DDSURFACEDESC d{};
    EXPECT_EQ(s->Lock(nullptr, &d, 0, nullptr), DDERR_SURFACEBUSY);
    HDC again = nullptr;
    EXPECT_NE(s->GetDC(&again), DD_OK);
    ASSERT_EQ(s->ReleaseDC(hdc), DD_OK);
    EXPECT_EQ(s->ReleaseDC(hdc), DDERR_NODC);

    // Once released the context no longer reaches the surface.
    EXPECT_TRUE(TextOutA(hdc, 0, 0, "#", 1));
    EXPECT_EQ(Ink(Read(s), 0).count, 0);

    IDirectDrawSurface* rgb24 = Make(4, 4, Format888());
    EXPECT_EQ(rgb24->GetDC(&hdc), DDERR_CANTCREATEDC);
}

TEST_F(GdiTest, ObjectsAndStateReportWhatWasBefore)
{
    IDirectDrawSurface* s = Make(4, 4, Format565());
    HDC hdc = nullptr;
    ASSERT_EQ(s->GetDC(&hdc), DD_OK);
    EXPECT_EQ(SetTextColor(hdc, RGB(1, 2, 3)), 0u);
    EXPECT_EQ(SetTextColor(hdc, 0), RGB(1, 2, 3));
    EXPECT_EQ(SetBkMode(hdc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(hdc, OPAQUE), TRANSPARENT);

    LOGFONTA lf{};
    lf.lfHeight = 20;
    HFONT font = CreateFontIndirectA(&lf);
    ASSERT_NE(font, nullptr);
    HGDIOBJ original = SelectObject(hdc, font);
    ASSERT_NE(original, nullptr);
    EXPECT_EQ(SelectObject(hdc, original), font);
    ASSERT_EQ(s->ReleaseDC(hdc), DD_OK);

    EXPECT_TRUE(DeleteObject(font));
    EXPECT_FALSE(DeleteObject(font));
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(GetStockObject(8), nullptr);
}

TEST(GdiScreen, SystemPaletteIsAFixedTableAndItsUseIsRemembered)
{
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(SetSystemPaletteUse(screen, SYSPAL_NOSTATIC), UINT(SYSPAL_STATIC));
    EXPECT_EQ(SetSystemPaletteUse(screen, SYSPAL_STATIC), UINT(SYSPAL_NOSTATIC));

    PALETTEENTRY entries[256];
    std::memset(entries, 0xAB, sizeof entries);
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, entries), 256u);
    auto rgb = [](const PALETTEENTRY& e) { return std::vector<int>{e.peRed, e.peGreen, e.peBlue}; };
    EXPECT_EQ(rgb(entries[0]), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(rgb(entries[1]), (std::vector<int>{128, 0, 0}));
    EXPECT_EQ(rgb(entries[7]), (std::vector<int>{192, 192, 192}));
    EXPECT_EQ(rgb(entries[255]), (std::vector<int>{255, 255, 255}));
    for (int i = 10; i < 246; ++i)
        EXPECT_EQ(rgb(entries[i]), (std::vector<int>{0, 0, 0})) << i;
    for (const PALETTEENTRY& e : entries)
        EXPECT_EQ(e.peFlags, 0);

    PALETTEENTRY tail[4]{};
    EXPECT_EQ(GetSystemPaletteEntries(screen, 254, 4, tail), 2u);
    EXPECT_EQ(tail[1].peRed, 255);
    EXPECT_EQ(GetSystemPaletteEntries(screen, 0, 0, nullptr), 256u);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
}

} // namespace
