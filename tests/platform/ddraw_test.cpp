#include "platform/ddraw/ddraw.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/png/png.h"
#include "platform/time/time.h"
#include "platform/win/win.h"
#include "tests/support/test_env.h"

namespace
{

constexpr DWORD kExclusive = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN;

DDPIXELFORMAT Rgb(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a = 0)
{
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB | (a != 0 ? DDPF_ALPHAPIXELS : 0);
    pf.dwRGBBitCount = bits;
    pf.dwRBitMask = r;
    pf.dwGBitMask = g;
    pf.dwBBitMask = b;
    pf.dwRGBAlphaBitMask = a;
    return pf;
}

DDPIXELFORMAT Indexed(DWORD flag, DWORD bits)
{
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB | flag;
    pf.dwRGBBitCount = bits;
    return pf;
}

const DDPIXELFORMAT kPal8 = Indexed(DDPF_PALETTEINDEXED8, 8);
const DDPIXELFORMAT k565 = Rgb(16, 0xF800, 0x07E0, 0x001F);

DDSURFACEDESC PlainDesc(DWORD width, DWORD height, const DDPIXELFORMAT* pf, DWORD caps = 0)
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | (pf != nullptr ? DDSD_PIXELFORMAT : 0);
    d.dwWidth = width;
    d.dwHeight = height;
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | caps;
    if (pf != nullptr)
        d.ddpfPixelFormat = *pf;
    return d;
}

DDSURFACEDESC ChainDesc()
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.dwBackBufferCount = 1;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    return d;
}

// Whole-surface pixel access through Lock, so every read and write goes the engine's way.
std::vector<DWORD> ReadPixels(IDirectDrawSurface* s)
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    DWORD bpp = d.ddpfPixelFormat.dwRGBBitCount / 8;
    std::vector<DWORD> out;
    for (DWORD y = 0; y < d.dwHeight; ++y)
        for (DWORD x = 0; x < d.dwWidth; ++x)
        {
            DWORD v = 0;
            std::memcpy(&v, static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch + x * bpp, bpp);
            out.push_back(v);
        }
    s->Unlock(nullptr);
    return out;
}

void WritePixels(IDirectDrawSurface* s, const std::vector<DWORD>& values)
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    DWORD bpp = d.ddpfPixelFormat.dwRGBBitCount / 8;
    ASSERT_EQ(values.size(), d.dwWidth * d.dwHeight);
    for (DWORD y = 0; y < d.dwHeight; ++y)
        for (DWORD x = 0; x < d.dwWidth; ++x)
            std::memcpy(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch + x * bpp,
                        &values[y * d.dwWidth + x], bpp);
    s->Unlock(nullptr);
}

class DdTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DdSetModesForTests(nullptr, 0, 0);
        DdSetVideoMemory(0);
        unsetenv("DEZOR_VIDEO_MEMORY");
        unsetenv("DEZOR_CAPTURE");
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd_, nullptr), DD_OK);
    }

    void TearDown() override
    {
        for (IDirectDrawSurface* s : surfaces_)
            s->Release();
        if (dd_ != nullptr)
            dd_->Release();
        DdSetModesForTests(nullptr, 0, 0);
        DdSetVideoMemory(0);
        unsetenv("DEZOR_CAPTURE");
        EXPECT_EQ(DdLiveObjects(), 0) << "objects leaked";
    }

    // A surface released by the fixture.
    IDirectDrawSurface* Make(DDSURFACEDESC d)
    {
        IDirectDrawSurface* s = nullptr;
        EXPECT_EQ(dd_->CreateSurface(&d, &s, nullptr), DD_OK);
        if (s != nullptr)
            surfaces_.push_back(s);
        return s;
    }

    IDirectDrawSurface* Make(DWORD width, DWORD height, const DDPIXELFORMAT& pf)
    {
        return Make(PlainDesc(width, height, &pf));
    }

    void SetMode(DWORD width, DWORD height, DWORD bits)
    {
        static char fakeWindow;
        ASSERT_EQ(dd_->SetCooperativeLevel(reinterpret_cast<HWND>(&fakeWindow), kExclusive), DD_OK);
        ASSERT_EQ(dd_->SetDisplayMode(width, height, bits, 0, 0), DD_OK);
    }

    IDirectDraw2* dd_ = nullptr;
    std::vector<IDirectDrawSurface*> surfaces_;
};

// Displays and modes.

TEST(DdEnumerate, OffersOneDisplayDevice)
{
    struct Seen
    {
        int calls = 0;
        GUID* guid = reinterpret_cast<GUID*>(1);
        std::string description, name;
    } seen;
    auto callback = [](GUID* guid, LPSTR description, LPSTR name, LPVOID context) -> BOOL
    {
        auto* s = static_cast<Seen*>(context);
        ++s->calls;
        s->guid = guid;
        s->description = description;
        s->name = name;
        return TRUE;
    };
    ASSERT_EQ(DirectDrawEnumerateA(callback, &seen), DD_OK);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.guid, nullptr);
    EXPECT_EQ(seen.description, "Display");
    EXPECT_EQ(seen.name, "display");
}

struct ModeSeen
{
    std::vector<DDSURFACEDESC> modes;
    int stopAfter = 1000;
};

HRESULT CollectMode(DDSURFACEDESC* d, LPVOID context)
{
    auto* seen = static_cast<ModeSeen*>(context);
    seen->modes.push_back(*d);
    return static_cast<int>(seen->modes.size()) >= seen->stopAfter ? DDENUMRET_CANCEL
                                                                   : DDENUMRET_OK;
}

TEST_F(DdTest, EnumeratesTheDefaultModesWithTheirFormats)
{
    ModeSeen seen;
    ASSERT_EQ(dd_->EnumDisplayModes(0, nullptr, &seen, CollectMode), DD_OK);
    const DdMode expected[] = {{320, 240, 8}, {320, 240, 16}, {512, 384, 8}, {512, 384, 16},
                               {640, 480, 8}, {640, 480, 16}, {800, 600, 8}, {800, 600, 16}};
    ASSERT_EQ(seen.modes.size(), std::size(expected));
    for (size_t i = 0; i < seen.modes.size(); ++i)
    {
        const DDSURFACEDESC& d = seen.modes[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(d.dwWidth, expected[i].width);
        EXPECT_EQ(d.dwHeight, expected[i].height);
        EXPECT_EQ(d.ddpfPixelFormat.dwRGBBitCount, expected[i].bits);
        EXPECT_EQ(d.lPitch, static_cast<LONG>(expected[i].width * expected[i].bits / 8));
        if (expected[i].bits == 8)
        {
            EXPECT_TRUE(d.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8);
        }
        else
        {
            EXPECT_EQ(d.ddpfPixelFormat.dwRBitMask, 0xF800u);
            EXPECT_EQ(d.ddpfPixelFormat.dwGBitMask, 0x07E0u);
            EXPECT_EQ(d.ddpfPixelFormat.dwBBitMask, 0x001Fu);
        }
    }
}

TEST_F(DdTest, TestHookSetsTheModesAnd555AndCancelStops)
{
    const DdMode modes[] = {{400, 300, 16}, {1024, 768, 8}};
    DdSetModesForTests(modes, 2, 0x03E0);
    ModeSeen seen;
    dd_->EnumDisplayModes(0, nullptr, &seen, CollectMode);
    ASSERT_EQ(seen.modes.size(), 2u);
    EXPECT_EQ(seen.modes[0].dwWidth, 400u);
    EXPECT_EQ(seen.modes[0].ddpfPixelFormat.dwRBitMask, 0x7C00u);
    EXPECT_EQ(seen.modes[0].ddpfPixelFormat.dwGBitMask, 0x03E0u);
    EXPECT_EQ(seen.modes[0].ddpfPixelFormat.dwBBitMask, 0x001Fu);
    EXPECT_EQ(seen.modes[1].dwWidth, 1024u);

    ModeSeen first;
    first.stopAfter = 1;
    dd_->EnumDisplayModes(0, nullptr, &first, CollectMode);
    EXPECT_EQ(first.modes.size(), 1u);

    // The primary of a 5:5:5 mode has those masks.
    SetMode(400, 300, 16);
    DDSURFACEDESC d = ChainDesc();
    IDirectDrawSurface* primary = Make(d);
    DDPIXELFORMAT pf{};
    primary->GetPixelFormat(&pf);
    EXPECT_EQ(pf.dwRBitMask, 0x7C00u);
}

TEST_F(DdTest, DisplayModeNeedsExclusiveFullScreenAndAListedMode)
{
    char window;
    HWND hWnd = reinterpret_cast<HWND>(&window);
    EXPECT_EQ(dd_->SetDisplayMode(640, 480, 8, 0, 0), DDERR_NOEXCLUSIVEMODE);
    ASSERT_EQ(dd_->SetCooperativeLevel(hWnd, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(dd_->SetDisplayMode(640, 480, 8, 0, 0), DDERR_NOEXCLUSIVEMODE);
    ASSERT_EQ(dd_->SetCooperativeLevel(hWnd, kExclusive), DD_OK);
    EXPECT_EQ(dd_->SetDisplayMode(640, 400, 8, 0, 0), DDERR_INVALIDMODE);
    EXPECT_EQ(dd_->SetDisplayMode(640, 480, 32, 0, 0), DDERR_INVALIDMODE);
    ASSERT_EQ(dd_->SetDisplayMode(512, 384, 8, 0, 0), DD_OK);

    DDSURFACEDESC mode{};
    ASSERT_EQ(dd_->GetDisplayMode(&mode), DD_OK);
    EXPECT_EQ(mode.dwWidth, 512u);
    EXPECT_EQ(mode.ddpfPixelFormat.dwRGBBitCount, 8u);

    // The primary takes the mode's size and format.
    IDirectDrawSurface* primary = Make(ChainDesc());
    DDSURFACEDESC d{};
    primary->GetSurfaceDesc(&d);
    EXPECT_EQ(d.dwWidth, 512u);
    EXPECT_EQ(d.dwHeight, 384u);
    EXPECT_TRUE(d.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8);
}

// Surfaces.

TEST_F(DdTest, CreatesEachFormatWithRowsRoundedToFourBytes)
{
    struct Case
    {
        const char* name;
        DDPIXELFORMAT pf;
        LONG pitch; // of a 5-pixel row
    };
    const Case cases[] = {
        {"8-bit palettised", kPal8, 8},
        {"5:5:5", Rgb(16, 0x7C00, 0x03E0, 0x001F), 12},
        {"5:6:5", k565, 12},
        {"4:4:4:4", Rgb(16, 0x0F00, 0x00F0, 0x000F, 0xF000), 12},
        {"3:3:2 + 8-bit alpha", Rgb(16, 0x00E0, 0x001C, 0x0003, 0xFF00), 12},
        {"8:8:8", Rgb(24, 0xFF0000, 0x00FF00, 0x0000FF), 16},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        IDirectDrawSurface* s = Make(5, 3, c.pf);
        ASSERT_NE(s, nullptr);
        DDSURFACEDESC d{};
        s->GetSurfaceDesc(&d);
        EXPECT_EQ(d.lPitch, c.pitch);
        EXPECT_EQ(d.ddpfPixelFormat.dwRGBBitCount, c.pf.dwRGBBitCount);
        EXPECT_EQ(d.ddpfPixelFormat.dwRBitMask, c.pf.dwRBitMask);
        EXPECT_EQ(d.ddpfPixelFormat.dwRGBAlphaBitMask, c.pf.dwRGBAlphaBitMask);
        EXPECT_TRUE(d.ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
    }

    // Without a pixel format a surface takes the display's: 5:6:5 before any mode is set.
    IDirectDrawSurface* plain = Make(PlainDesc(4, 4, nullptr));
    DDPIXELFORMAT pf{};
    plain->GetPixelFormat(&pf);
    EXPECT_EQ(pf.dwGBitMask, 0x07E0u);

    DDSURFACEDESC z{};
    z.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_ZBUFFERBITDEPTH;
    z.dwWidth = 5;
    z.dwHeight = 3;
    z.dwZBufferBitDepth = 16;
    z.ddsCaps.dwCaps = DDSCAPS_ZBUFFER;
    IDirectDrawSurface* zs = Make(z);
    zs->GetPixelFormat(&pf);
    EXPECT_TRUE(pf.dwFlags & DDPF_ZBUFFER);
    EXPECT_EQ(pf.dwZBufferBitDepth, 16u);
}

TEST_F(DdTest, RefusesBadDescriptions)
{
    struct Case
    {
        const char* name;
        DDSURFACEDESC desc;
        HRESULT expected;
    };
    DDPIXELFORMAT pal4 = Indexed(DDPF_PALETTEINDEXED4, 4);
    DDPIXELFORMAT oddMasks = Rgb(16, 0xF000, 0x0FF0, 0x000F);
    DDPIXELFORMAT rgb32 = Rgb(32, 0xFF0000, 0xFF00, 0xFF);
    DDSURFACEDESC noCaps = PlainDesc(4, 4, &kPal8);
    noCaps.dwFlags &= ~DDSD_CAPS;
    DDSURFACEDESC noWidth = PlainDesc(4, 4, &kPal8);
    noWidth.dwFlags &= ~DDSD_WIDTH;
    DDSURFACEDESC zeroHeight = PlainDesc(4, 0, &kPal8);
    DDSURFACEDESC z24 = PlainDesc(4, 4, nullptr, DDSCAPS_ZBUFFER);
    z24.dwFlags |= DDSD_ZBUFFERBITDEPTH;
    z24.dwZBufferBitDepth = 24;
    DDSURFACEDESC primaryWithoutCount = ChainDesc();
    primaryWithoutCount.dwFlags &= ~DDSD_BACKBUFFERCOUNT;
    const Case cases[] = {
        {"4-bit palettised", PlainDesc(4, 4, &pal4), DDERR_INVALIDPIXELFORMAT},
        {"unknown 16-bit masks", PlainDesc(4, 4, &oddMasks), DDERR_INVALIDPIXELFORMAT},
        {"32-bit", PlainDesc(4, 4, &rgb32), DDERR_INVALIDPIXELFORMAT},
        {"no caps", noCaps, DDERR_INVALIDPARAMS},
        {"no width", noWidth, DDERR_INVALIDPARAMS},
        {"zero height", zeroHeight, DDERR_INVALIDPARAMS},
        {"24-bit Z", z24, DDERR_INVALIDPIXELFORMAT},
        {"flip chain without a count", primaryWithoutCount, DDERR_INVALIDPARAMS},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DDSURFACEDESC d = c.desc;
        IDirectDrawSurface* s = reinterpret_cast<IDirectDrawSurface*>(1);
        EXPECT_EQ(dd_->CreateSurface(&d, &s, nullptr), c.expected);
        EXPECT_EQ(s, nullptr);
    }
}

TEST_F(DdTest, PrimaryFlipChainAndItsRules)
{
    SetMode(320, 240, 16);
    IDirectDrawSurface* primary = Make(ChainDesc());
    ASSERT_NE(primary, nullptr);

    DDSCAPS backCaps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface* back = nullptr;
    ASSERT_EQ(primary->GetAttachedSurface(&backCaps, &back), DD_OK);
    surfaces_.push_back(back); // GetAttachedSurface adds a reference
    DDSURFACEDESC d{};
    back->GetSurfaceDesc(&d);
    EXPECT_EQ(d.dwWidth, 320u);
    EXPECT_TRUE(d.ddsCaps.dwCaps & DDSCAPS_BACKBUFFER);
    EXPECT_TRUE(d.ddsCaps.dwCaps & DDSCAPS_3DDEVICE);

    DDSURFACEDESC second = ChainDesc();
    IDirectDrawSurface* other = nullptr;
    EXPECT_EQ(dd_->CreateSurface(&second, &other, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);

    // Only the primary of a chain flips.
    IDirectDrawSurface* plain = Make(8, 8, k565);
    EXPECT_EQ(plain->Flip(nullptr, DDFLIP_WAIT), DDERR_NOTFLIPPABLE);
    EXPECT_EQ(back->Flip(nullptr, DDFLIP_WAIT), DDERR_NOTFLIPPABLE);
    IDirectDrawSurface* none = nullptr;
    EXPECT_EQ(plain->GetAttachedSurface(&backCaps, &none), DDERR_NOTFOUND);

    // A Z buffer of the back buffer's size attaches to it.
    DDSURFACEDESC z = PlainDesc(320, 240, nullptr, DDSCAPS_ZBUFFER);
    z.dwFlags |= DDSD_ZBUFFERBITDEPTH;
    z.dwZBufferBitDepth = 16;
    IDirectDrawSurface* zs = Make(z);
    EXPECT_EQ(back->AddAttachedSurface(plain), DDERR_INVALIDCAPS);
    ASSERT_EQ(back->AddAttachedSurface(zs), DD_OK);
    DDSCAPS zCaps{DDSCAPS_ZBUFFER};
    IDirectDrawSurface* found = nullptr;
    ASSERT_EQ(back->GetAttachedSurface(&zCaps, &found), DD_OK);
    EXPECT_EQ(found, zs);
    found->Release();
}

TEST_F(DdTest, FlipShowsTheBackBufferAndCountsAFrame)
{
    SetMode(320, 240, 8);
    IDirectDrawSurface* primary = Make(ChainDesc());
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface* back = nullptr;
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    surfaces_.push_back(back);

    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 7;
    ASSERT_EQ(primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
    fx.dwFillColor = 42;
    ASSERT_EQ(back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);

    int frames = DdFramesPresented();
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(DdFramesPresented(), frames + 1);
    EXPECT_EQ(ReadPixels(primary)[0], 42u);
    EXPECT_EQ(ReadPixels(back)[0], 7u);
}

TEST_F(DdTest, BltToASinglePrimaryPresentsIt)
{
    DDSURFACEDESC d{};
    d.dwFlags = DDSD_CAPS;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface* primary = Make(d);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    int frames = DdFramesPresented();
    ASSERT_EQ(primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
    EXPECT_EQ(DdFramesPresented(), frames + 1);
    EXPECT_EQ(primary->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
}

TEST_F(DdTest, LockGivesPitchAndTheRectanglesFirstPixelAndHoldsTheSurface)
{
    IDirectDrawSurface* s = Make(6, 4, k565);
    IDirectDrawSurface* src = Make(6, 4, k565);
    DDSURFACEDESC whole{};
    ASSERT_EQ(s->Lock(nullptr, &whole, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(whole.lPitch, 12);
    EXPECT_EQ(whole.dwWidth, 6u);
    uint8_t* base = static_cast<uint8_t*>(whole.lpSurface);

    // While locked: no second lock, no blit, no DC.
    DDSURFACEDESC again{};
    EXPECT_EQ(s->Lock(nullptr, &again, 0, nullptr), DDERR_SURFACEBUSY);
    EXPECT_EQ(s->BltFast(0, 0, src, nullptr, 0), DDERR_SURFACEBUSY);
    EXPECT_EQ(src->BltFast(0, 0, s, nullptr, 0), DDERR_SURFACEBUSY);
    HDC hdc = nullptr;
    EXPECT_NE(s->GetDC(&hdc), DD_OK);
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
    EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);

    RECT r{2, 1, 5, 3};
    DDSURFACEDESC part{};
    ASSERT_EQ(s->Lock(&r, &part, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part.lpSurface), base + 1 * 12 + 2 * 2);
    s->Unlock(nullptr);

    RECT outside{4, 0, 7, 1};
    EXPECT_EQ(s->Lock(&outside, &part, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT);
}

TEST_F(DdTest, ColourFillCoversTheRectangleOrTheWholeSurface)
{
    IDirectDrawSurface* s = Make(4, 3, k565);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0x1234;
    ASSERT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    EXPECT_EQ(ReadPixels(s), std::vector<DWORD>(12, 0x1234));

    RECT r{1, 1, 3, 3};
    fx.dwFillColor = 0xF800;
    ASSERT_EQ(s->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
    const DWORD a = 0x1234, b = 0xF800;
    EXPECT_EQ(ReadPixels(s), (std::vector<DWORD>{a, a, a, a, a, b, b, a, a, b, b, a}));
}

TEST_F(DdTest, BltStretchesWithNearestPixelsAndBltFastCopiesAtAPoint)
{
    IDirectDrawSurface* src = Make(2, 2, kPal8);
    WritePixels(src, {1, 2, 3, 4});

    IDirectDrawSurface* big = Make(4, 4, kPal8);
    ASSERT_EQ(big->Blt(nullptr, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(ReadPixels(big),
              (std::vector<DWORD>{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));

    // 4 -> 3 across: each destination pixel takes the source pixel under its centre.
    IDirectDrawSurface* row = Make(4, 1, kPal8);
    WritePixels(row, {10, 20, 30, 40});
    IDirectDrawSurface* narrow = Make(3, 1, kPal8);
    ASSERT_EQ(narrow->Blt(nullptr, row, nullptr, 0, nullptr), DD_OK);
    EXPECT_EQ(ReadPixels(narrow), (std::vector<DWORD>{10, 30, 40}));

    IDirectDrawSurface* dst = Make(4, 3, kPal8);
    RECT part{0, 0, 2, 1};
    ASSERT_EQ(dst->BltFast(1, 2, src, &part, DDBLTFAST_NOCOLORKEY), DD_OK);
    EXPECT_EQ(ReadPixels(dst), (std::vector<DWORD>{0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 0}));

    // Overlapping copy within one surface reads the source as it was.
    RECT from{0, 0, 3, 1}, to{1, 0, 4, 1};
    ASSERT_EQ(row->Blt(&to, row, &from, 0, nullptr), DD_OK);
    EXPECT_EQ(ReadPixels(row), (std::vector<DWORD>{10, 10, 20, 30}));
}

TEST_F(DdTest, SourceColourKeySkipsPixelsInItsRange)
{
    IDirectDrawSurface* src = Make(6, 1, k565);
    WritePixels(src, {2, 3, 4, 5, 6, 0x7777});
    DDCOLORKEY got{};
    EXPECT_EQ(src->GetColorKey(DDCKEY_SRCBLT, &got), DDERR_NOCOLORKEY);
    DDCOLORKEY key{3, 5};
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    ASSERT_EQ(src->GetColorKey(DDCKEY_SRCBLT, &got), DD_OK);
    EXPECT_EQ(got.dwColorSpaceHighValue, 5u);

    const DWORD bg = 0x1111;
    const std::vector<DWORD> keyed{2, bg, bg, bg, 6, 0x7777};
    IDirectDrawSurface* viaBlt = Make(6, 1, k565);
    WritePixels(viaBlt, std::vector<DWORD>(6, bg));
    ASSERT_EQ(viaBlt->Blt(nullptr, src, nullptr, DDBLT_KEYSRC, nullptr), DD_OK);
    EXPECT_EQ(ReadPixels(viaBlt), keyed);

    IDirectDrawSurface* viaFast = Make(6, 1, k565);
    WritePixels(viaFast, std::vector<DWORD>(6, bg));
    ASSERT_EQ(viaFast->BltFast(0, 0, src, nullptr, DDBLTFAST_SRCCOLORKEY), DD_OK);
    EXPECT_EQ(ReadPixels(viaFast), keyed);

    // Without the key flag everything is copied.
    ASSERT_EQ(viaFast->BltFast(0, 0, src, nullptr, 0), DD_OK);
    EXPECT_EQ(ReadPixels(viaFast), (std::vector<DWORD>{2, 3, 4, 5, 6, 0x7777}));
}

TEST_F(DdTest, RefusesRectanglesOutsideASurfaceAndDrawsNothing)
{
    IDirectDrawSurface* src = Make(4, 4, kPal8);
    WritePixels(src, std::vector<DWORD>(16, 9));
    IDirectDrawSurface* dst = Make(4, 4, kPal8);
    IDirectDrawSurface* wide = Make(4, 4, k565);
    struct Case
    {
        const char* name;
        RECT dest;
        RECT source;
        bool badDest;
    };
    const RECT ok{0, 0, 2, 2};
    const Case cases[] = {
        {"dest past the right", {3, 0, 5, 2}, ok, true},
        {"dest above the top", {0, -1, 2, 1}, ok, true},
        {"dest empty", {1, 1, 1, 2}, ok, true},
        {"source past the bottom", ok, {0, 3, 2, 5}, false},
        {"source reversed", ok, {2, 0, 0, 2}, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        RECT d = c.dest, s = c.source;
        EXPECT_EQ(dst->Blt(&d, src, &s, 0, nullptr), DDERR_INVALIDRECT);
        if (c.badDest)
        {
            DDBLTFX fx{};
            fx.dwSize = sizeof fx;
            fx.dwFillColor = 5;
            EXPECT_EQ(dst->Blt(&d, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDRECT);
        }
        EXPECT_EQ(ReadPixels(dst), std::vector<DWORD>(16, 0));
    }
    EXPECT_EQ(dst->BltFast(3, 3, src, nullptr, 0), DDERR_INVALIDRECT);
    EXPECT_EQ(dst->BltFast(0, 0, wide, nullptr, 0), DDERR_INVALIDPIXELFORMAT);
    // A source rectangle as wide as a LONG allows is refused before its width is added to the
    // destination point.
    RECT huge{-2, 0, 0x7FFFFFFF, 2};
    EXPECT_EQ(dst->BltFast(1, 0, src, &huge, 0), DDERR_INVALIDRECT);
    RECT low{0, static_cast<LONG>(0x80000000u), 2, 2};
    EXPECT_EQ(dst->BltFast(0, 1, src, &low, 0), DDERR_INVALIDRECT);
    EXPECT_EQ(ReadPixels(dst), std::vector<DWORD>(16, 0));
}

TEST_F(DdTest, LostSurfacesRefuseWorkUntilRestoredAndKeepTheirPixels)
{
    SetMode(320, 240, 8);
    IDirectDrawSurface* primary = Make(ChainDesc());
    IDirectDrawSurface* s = Make(2, 1, kPal8);
    WritePixels(s, {4, 5});

    DdLoseAllSurfaces();
    EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);
    DDSURFACEDESC d{};
    EXPECT_EQ(s->Lock(nullptr, &d, 0, nullptr), DDERR_SURFACELOST);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_SURFACELOST);
    EXPECT_EQ(primary->Flip(nullptr, 0), DDERR_SURFACELOST);
    HDC hdc = nullptr;
    EXPECT_EQ(s->GetDC(&hdc), DDERR_SURFACELOST);

    ASSERT_EQ(s->Restore(), DD_OK);
    EXPECT_EQ(s->IsLost(), DD_OK);
    EXPECT_EQ(ReadPixels(s), (std::vector<DWORD>{4, 5}));
    // Restoring the primary restores its back buffer with it.
    ASSERT_EQ(primary->Restore(), DD_OK);
    EXPECT_EQ(primary->Flip(nullptr, 0), DD_OK);
}

TEST(DdRefCount, ObjectsLiveWhileReferencedAndAllGoAtTheEnd)
{
    ASSERT_EQ(DdLiveObjects(), 0);
    IDirectDraw2* dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);

    IDirectDraw2* dd2 = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd2)), DD_OK);
    EXPECT_EQ(dd2, dd);
    EXPECT_EQ(dd2->Release(), 1u);
    void* nothing = nullptr;
    EXPECT_EQ(dd->QueryInterface(IID_IDirectDrawSurface, &nothing), E_NOINTERFACE);

    DDSURFACEDESC d = ChainDesc();
    IDirectDrawSurface* primary = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
    PALETTEENTRY entries[256]{};
    IDirectDrawPalette* pal = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &pal, nullptr), DD_OK);
    EXPECT_EQ(DdLiveObjects(), 4); // DirectDraw, primary, back buffer, palette

    DDPIXELFORMAT pf = kPal8;
    DDSURFACEDESC pd = PlainDesc(4, 4, &pf);
    IDirectDrawSurface* plain = nullptr;
    ASSERT_EQ(dd->CreateSurface(&pd, &plain, nullptr), DD_OK);
    ASSERT_EQ(plain->SetPalette(pal), DD_OK);
    EXPECT_EQ(pal->Release(), 1u); // the surface holds it

    // The DirectDraw object outlives its last outside reference while surfaces remain.
    EXPECT_EQ(dd->Release(), 3u); // primary, back buffer and plain surface
    EXPECT_EQ(DdLiveObjects(), 5);

    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface* back = nullptr;
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    EXPECT_EQ(back->Release(), 1u);
    EXPECT_EQ(primary->Release(), 0u); // takes the back buffer with it
    EXPECT_EQ(DdLiveObjects(), 3);
    EXPECT_EQ(plain->Release(), 0u);
    EXPECT_EQ(DdLiveObjects(), 0);

    // A new primary may be made once the old one is gone.
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
    primary->Release();
    dd->Release();
    EXPECT_EQ(DdLiveObjects(), 0);
}

TEST_F(DdTest, PaletteEntriesRoundTripAndAttach)
{
    PALETTEENTRY table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = PALETTEENTRY{BYTE(i), BYTE(255 - i), BYTE(i * 7), 0};
    IDirectDrawPalette* pal = nullptr;
    ASSERT_EQ(dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, table, &pal, nullptr), DD_OK);

    PALETTEENTRY got[256]{};
    ASSERT_EQ(pal->GetEntries(0, 0, 256, got), DD_OK);
    EXPECT_EQ(std::memcmp(got, table, sizeof table), 0);

    PALETTEENTRY three[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
    ASSERT_EQ(pal->SetEntries(0, 253, 3, three), DD_OK);
    PALETTEENTRY tail[4]{};
    ASSERT_EQ(pal->GetEntries(0, 252, 4, tail), DD_OK);
    EXPECT_EQ(tail[0].peRed, 252);
    EXPECT_EQ(tail[3].peBlue, 9);
    EXPECT_EQ(pal->SetEntries(0, 254, 3, three), DDERR_INVALIDPARAMS);
    EXPECT_EQ(pal->GetEntries(0, 257, 0, tail), DDERR_INVALIDPARAMS);

    IDirectDrawSurface* s8 = Make(2, 2, kPal8);
    IDirectDrawSurface* s16 = Make(2, 2, k565);
    IDirectDrawPalette* attached = nullptr;
    EXPECT_EQ(s8->GetPalette(&attached), DDERR_NOPALETTEATTACHED);
    EXPECT_EQ(s16->SetPalette(pal), DDERR_INVALIDPIXELFORMAT);
    ASSERT_EQ(s8->SetPalette(pal), DD_OK);
    ASSERT_EQ(s8->GetPalette(&attached), DD_OK);
    EXPECT_EQ(attached, pal);
    attached->Release();
    pal->Release();
}

TEST_F(DdTest, NewColoursOfThePrimarysPaletteShowAtOnce)
{
    SetMode(320, 240, 8);
    IDirectDrawSurface* primary = Make(ChainDesc());
    ASSERT_NE(primary, nullptr);
    PALETTEENTRY table[256]{};
    IDirectDrawPalette* pal = nullptr;
    ASSERT_EQ(dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, table, &pal, nullptr), DD_OK);
    IDirectDrawPalette* loose = nullptr;
    ASSERT_EQ(dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, table, &loose, nullptr), DD_OK);
    ASSERT_EQ(primary->SetPalette(pal), DD_OK);

    int frames = DdFramesPresented();
    table[1] = {255, 0, 0, 0};
    ASSERT_EQ(pal->SetEntries(0, 0, 256, table), DD_OK);
    EXPECT_EQ(DdFramesPresented(), frames + 1) << "a fade step is seen without a flip";
    ASSERT_EQ(loose->SetEntries(0, 0, 256, table), DD_OK);
    EXPECT_EQ(DdFramesPresented(), frames + 1) << "a palette nobody shows changes nothing";
    loose->Release();
    pal->Release();
}

TEST_F(DdTest, VideoMemoryIsCountedAndRunsOut)
{
    DdSetVideoMemory(100000);
    DDSCAPS caps{DDSCAPS_TEXTURE};
    DWORD total = 0, free = 0;
    ASSERT_EQ(dd_->GetAvailableVidMem(&caps, &total, &free), DD_OK);
    EXPECT_EQ(total, 100000u);
    EXPECT_EQ(free, 100000u);

    DDSURFACEDESC vid = PlainDesc(100, 100, &k565, DDSCAPS_VIDEOMEMORY);
    IDirectDrawSurface* a = nullptr;
    ASSERT_EQ(dd_->CreateSurface(&vid, &a, nullptr), DD_OK);
    dd_->GetAvailableVidMem(&caps, &total, &free);
    EXPECT_EQ(free, 80000u);
    DDCAPS ddcaps{};
    ASSERT_EQ(dd_->GetCaps(&ddcaps, nullptr), DD_OK);
    EXPECT_EQ(ddcaps.dwVidMemTotal, 100000u);
    EXPECT_EQ(ddcaps.dwVidMemFree, 80000u);

    // Too big for what is left; the same surface fits in system memory and costs nothing.
    DDSURFACEDESC big = PlainDesc(300, 150, &k565, DDSCAPS_VIDEOMEMORY);
    IDirectDrawSurface* b = nullptr;
    EXPECT_EQ(dd_->CreateSurface(&big, &b, nullptr), DDERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(b, nullptr);
    big.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    ASSERT_EQ(dd_->CreateSurface(&big, &b, nullptr), DD_OK);
    dd_->GetAvailableVidMem(&caps, &total, &free);
    EXPECT_EQ(free, 80000u);

    a->Release();
    b->Release();
    dd_->GetAvailableVidMem(&caps, &total, &free);
    EXPECT_EQ(free, 100000u);

    // The environment sets it when the hook does not; 16 MB otherwise.
    DdSetVideoMemory(0);
    setenv("DEZOR_VIDEO_MEMORY", "4194304", 1);
    dd_->GetAvailableVidMem(&caps, &total, &free);
    EXPECT_EQ(total, 4194304u);
    unsetenv("DEZOR_VIDEO_MEMORY");
    dd_->GetAvailableVidMem(&caps, &total, &free);
    EXPECT_EQ(total, 16u << 20);
}

TEST_F(DdTest, VerticalBlankWaitEndsPastASixtiethBoundary)
{
    uint64_t before = TimeNowNs();
    ASSERT_EQ(dd_->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
    uint64_t after = TimeNowNs();
    EXPECT_GT(after * 60 / 1000000000u, before * 60 / 1000000000u);
    EXPECT_EQ(dd_->FlipToGDISurface(), DD_OK);
}

// Presenting and capture.

struct Png
{
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;
};

// Decodes the PNG files the capture writes.
bool DecodePng(const std::string& file, Png& png)
{
    return PngDecodeRgb(file.data(), file.size(), png.rgb, png.width, png.height);
}

std::vector<int> RgbAt(const Png& png, uint32_t x, uint32_t y)
{
    const uint8_t* p = &png.rgb[(y * png.width + x) * 3];
    return {p[0], p[1], p[2]};
}

LRESULT PlainProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

TEST_F(DdTest, FlipOfAPalettisedChainShowsInTheWindowAndIsCaptured)
{
    TestEnv env;
    WNDCLASSA wc{};
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = "DdCaptureTest";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND hWnd = CreateWindowExA(0, wc.lpszClassName, "Capture", WS_CAPTION, 0, 0, 640, 480, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(hWnd, nullptr);
    ShowWindow(hWnd, SW_SHOW);
    setenv("DEZOR_CAPTURE", env.Root().c_str(), 1);

    ASSERT_EQ(dd_->SetCooperativeLevel(hWnd, kExclusive), DD_OK);
    ASSERT_EQ(dd_->SetDisplayMode(320, 240, 8, 0, 0), DD_OK);
    IDirectDrawSurface* primary = Make(ChainDesc());
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface* back = nullptr;
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    surfaces_.push_back(back);

    PALETTEENTRY table[256]{};
    for (int i = 0; i < 16; ++i)
        table[i] = PALETTEENTRY{BYTE(i * 16), BYTE(255 - i * 16), BYTE(i & 1 ? 255 : 0), 0};
    IDirectDrawPalette* pal = nullptr;
    ASSERT_EQ(dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, table, &pal, nullptr), DD_OK);
    ASSERT_EQ(primary->SetPalette(pal), DD_OK);
    pal->Release();

    // Eight columns by two rows of colours 0..15.
    DDSURFACEDESC d{};
    ASSERT_EQ(back->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    for (DWORD y = 0; y < 240; ++y)
        for (DWORD x = 0; x < 320; ++x)
            static_cast<uint8_t*>(d.lpSurface)[y * d.lPitch + x] = BYTE(x / 40 + 8 * (y / 120));
    back->Unlock(nullptr);
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);

    Png png;
    ASSERT_TRUE(DecodePng(ReadWholeFile(env.Path("frame-00001.png")), png));
    EXPECT_TRUE(FileExists(env.Path("frame-00002.png")));
    ASSERT_EQ(png.width, 320u);
    ASSERT_EQ(png.height, 240u);
    const std::pair<DWORD, DWORD> points[] = {{5, 5}, {45, 5}, {300, 100}, {5, 200}, {300, 239}};
    for (auto [x, y] : points)
    {
        const PALETTEENTRY& e = table[x / 40 + 8 * (y / 120)];
        EXPECT_EQ(RgbAt(png, x, y), (std::vector<int>{e.peRed, e.peGreen, e.peBlue}))
            << x << "," << y;
    }

    for (IDirectDrawSurface* s : surfaces_)
        s->Release();
    surfaces_.clear();
    dd_->Release();
    dd_ = nullptr;
    DestroyWindow(hWnd);
    UnregisterClassA(wc.lpszClassName, nullptr);
}

TEST_F(DdTest, CaptureExpands16BitChannelsAndShowsBlackWithoutAPalette)
{
    TestEnv env;
    setenv("DEZOR_CAPTURE", env.Root().c_str(), 1);

    // No window: the frame is still captured.
    SetMode(320, 240, 16);
    IDirectDrawSurface* primary = Make(ChainDesc());
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface* back = nullptr;
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    surfaces_.push_back(back);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    struct Case
    {
        DWORD pixel;
        std::vector<int> rgb;
    };
    const Case cases[] = {
        {0xF800, {255, 0, 0}},
        {0x07E0, {0, 255, 0}},
        {0x0010, {0, 0, 0x84}}, // 10000 -> 10000100
        {0x8410, {0x84, 0x82, 0x84}},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        RECT r{LONG(i), 0, LONG(i + 1), 1};
        fx.dwFillColor = cases[i].pixel;
        back->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL, &fx);
    }
    ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
    Png png;
    ASSERT_TRUE(DecodePng(ReadWholeFile(env.Path("frame-00001.png")), png));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(RgbAt(png, DWORD(i), 0), cases[i].rgb) << i;

    // An 8-bit primary with no palette shows black.
    for (IDirectDrawSurface* s : surfaces_)
        s->Release();
    surfaces_.clear();
    ASSERT_EQ(dd_->SetDisplayMode(320, 240, 8, 0, 0), DD_OK);
    primary = Make(ChainDesc());
    ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    surfaces_.push_back(back);
    fx.dwFillColor = 200;
    back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);
    ASSERT_EQ(primary->Flip(nullptr, 0), DD_OK);
    Png black;
    ASSERT_TRUE(DecodePng(ReadWholeFile(env.Path("frame-00002.png")), black));
    EXPECT_EQ(RgbAt(black, 10, 10), (std::vector<int>{0, 0, 0}));
}

// Frames shown in a window of their own size, so that the renderer's output is the frame pixel
// for pixel. The odd width gives rows padded past their pixels.
class DdWindowTest : public DdTest
{
protected:
    static constexpr DWORD kWidth = 37, kHeight = 21;

    // Before the window, whose lock file lies in its runtime directory.
    TestEnv env_;

    void SetUp() override
    {
        DdTest::SetUp();
        WNDCLASSA wc{};
        wc.lpfnWndProc = PlainProc;
        wc.lpszClassName = kClass;
        ASSERT_NE(RegisterClassA(&wc), 0);
        hWnd_ = CreateWindowExA(0, kClass, "Present", WS_CAPTION, 0, 0, kWidth, kHeight, nullptr,
                                nullptr, nullptr, nullptr);
        ASSERT_NE(hWnd_, nullptr);
        ShowWindow(hWnd_, SW_SHOW);
        ASSERT_EQ(dd_->SetCooperativeLevel(hWnd_, kExclusive), DD_OK);
    }

    void TearDown() override
    {
        DdTest::TearDown(); // the renderer goes with the last DirectDraw object, window alive
        if (hWnd_ != nullptr)
            DestroyWindow(hWnd_);
        UnregisterClassA(kClass, nullptr);
    }

    // A new flip chain in the given mode (the only ones listed), the old one released first.
    IDirectDrawSurface* Chain(DWORD width, DWORD height, DWORD bits, DWORD greenMask)
    {
        for (IDirectDrawSurface* s : surfaces_)
            s->Release();
        surfaces_.clear();
        const DdMode mode{width, height, bits};
        DdSetModesForTests(&mode, 1, greenMask);
        EXPECT_EQ(dd_->SetDisplayMode(width, height, bits, 0, 0), DD_OK);
        IDirectDrawSurface* primary = Make(ChainDesc());
        DDSCAPS caps{DDSCAPS_BACKBUFFER};
        back_ = nullptr;
        EXPECT_EQ(primary->GetAttachedSurface(&caps, &back_), DD_OK);
        surfaces_.push_back(back_);
        if (bits == 8)
        {
            PALETTEENTRY table[256];
            for (int i = 0; i < 256; ++i)
                table[i] = PALETTEENTRY{BYTE(i), BYTE(255 - i), BYTE(i * 7), 0};
            IDirectDrawPalette* pal = nullptr;
            EXPECT_EQ(dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, table, &pal, nullptr),
                      DD_OK);
            EXPECT_EQ(primary->SetPalette(pal), DD_OK);
            pal->Release();
        }
        return primary;
    }

    // Pixel values spread over every channel, limited to the bits the format shows; another
    // seed gives another picture.
    static std::vector<DWORD> Pattern(DWORD width, DWORD height, DWORD mask, DWORD seed = 0)
    {
        std::vector<DWORD> values;
        for (DWORD y = 0; y < height; ++y)
            for (DWORD x = 0; x < width; ++x)
                values.push_back(
                    ((x * 2654435761u) ^ (y * 40503u + 0x5A5Au + seed * 0x9E3779B9u)) >> 7 & mask);
        return values;
    }

    // The window's picture in the given SDL format, rows packed.
    std::vector<uint8_t> WindowPixels(Uint32 format)
    {
        SDL_Renderer* renderer = SDL_GetRenderer(WinGetSdlWindow(hWnd_));
        EXPECT_NE(renderer, nullptr);
        if (renderer == nullptr)
            return {};
        int w = 0, h = 0;
        EXPECT_EQ(SDL_GetRendererOutputSize(renderer, &w, &h), 0);
        EXPECT_EQ(w, static_cast<int>(kWidth));
        EXPECT_EQ(h, static_cast<int>(kHeight));
        const int pitch = static_cast<int>(kWidth) * SDL_BYTESPERPIXEL(format);
        std::vector<uint8_t> pixels(static_cast<size_t>(pitch) * kHeight);
        EXPECT_EQ(SDL_RenderReadPixels(renderer, nullptr, format, pixels.data(), pitch), 0)
            << SDL_GetError();
        return pixels;
    }

    static constexpr const char* kClass = "DdPresentTest";
    HWND hWnd_ = nullptr;
    IDirectDrawSurface* back_ = nullptr;
};

// What the window is expected to hold for the pattern, in the SDL format it reads back in: the
// 16-bit values themselves (SDL's expansion to the screen may round low bits differently from
// ours, but reading back in the same format undoes it exactly), or the colours of the palette
// Chain gives 8-bit modes.
std::vector<uint8_t> ExpectedWindow(const std::vector<DWORD>& values, DWORD bits)
{
    std::vector<uint8_t> out;
    for (DWORD v : values)
    {
        if (bits == 8)
            out.insert(out.end(), {uint8_t(v), uint8_t(255 - v), uint8_t(v * 7)});
        else
            out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); // SDL's packed 16 bits
    }
    return out;
}

struct PresentCase
{
    const char* name;
    DWORD bits;
    DWORD greenMask;
    DWORD valueMask;  // the bits a pixel shows
    Uint32 sdlFormat; // what the window is handed
    int conversions;  // surfaces converted to RGB for one frame shown and not captured
};

const PresentCase kPresentCases[] = {
    {"5:6:5", 16, 0x07E0, 0xFFFF, SDL_PIXELFORMAT_RGB565, 0},
    {"5:5:5", 16, 0x03E0, 0x7FFF, SDL_PIXELFORMAT_RGB555, 0},
    {"8-bit palettised", 8, 0, 0xFF, SDL_PIXELFORMAT_RGB24, 1},
};

TEST_F(DdWindowTest, EachModeReachesTheWindowInItsOwnFormatWithTheRightPicture)
{
    for (const PresentCase& c : kPresentCases)
    {
        SCOPED_TRACE(c.name);
        IDirectDrawSurface* primary = Chain(kWidth, kHeight, c.bits, c.greenMask);
        const std::vector<DWORD> values = Pattern(kWidth, kHeight, c.valueMask);
        WritePixels(back_, values);
        const DdPresentInfo before = DdPresentInfoForTests();
        ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
        const DdPresentInfo after = DdPresentInfoForTests();
        EXPECT_EQ(after.shownFormat, c.sdlFormat) << SDL_GetPixelFormatName(after.shownFormat);
        EXPECT_EQ(after.conversions - before.conversions, c.conversions);
        const Uint32 readFormat = c.bits == 8 ? Uint32{SDL_PIXELFORMAT_RGB24} : c.sdlFormat;
        EXPECT_EQ(WindowPixels(readFormat), ExpectedWindow(values, c.bits));
    }
}

// Capturing while the window is given the surface as it is: one conversion a frame, and the
// file holds our expansion of each channel (the top bits repeated into the low ones), byte for
// byte as the encoder writes it.
TEST_F(DdWindowTest, CaptureOf16BitModesIsTheExactExpansionWhileTheWindowTakesTheSurface)
{
    setenv("DEZOR_CAPTURE", env_.Root().c_str(), 1);
    auto expand = [](DWORD v, int bits)
    { return uint8_t(bits == 5 ? v << 3 | v >> 2 : v << 2 | v >> 4); };
    int frame = 0;
    for (const PresentCase& c : kPresentCases)
    {
        if (c.bits != 16)
            continue;
        SCOPED_TRACE(c.name);
        IDirectDrawSurface* primary = Chain(kWidth, kHeight, 16, c.greenMask);
        const std::vector<DWORD> values = Pattern(kWidth, kHeight, c.valueMask);
        WritePixels(back_, values);
        const DdPresentInfo before = DdPresentInfoForTests();
        ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
        const DdPresentInfo after = DdPresentInfoForTests();
        EXPECT_EQ(after.shownFormat, c.sdlFormat);
        EXPECT_EQ(after.conversions - before.conversions, 1);
        EXPECT_EQ(WindowPixels(c.sdlFormat), ExpectedWindow(values, 16));

        const bool is565 = c.greenMask == 0x07E0;
        std::vector<uint8_t> rgb;
        for (DWORD v : values)
        {
            if (is565)
                rgb.insert(rgb.end(),
                           {expand(v >> 11, 5), expand(v >> 5 & 63, 6), expand(v & 31, 5)});
            else
                rgb.insert(rgb.end(),
                           {expand(v >> 10 & 31, 5), expand(v >> 5 & 31, 5), expand(v & 31, 5)});
        }
        std::string expected;
        ASSERT_TRUE(PngEncodeRgb(rgb, kWidth, kHeight, expected));
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05d.png", ++frame);
        EXPECT_EQ(ReadWholeFile(env_.Path(name)), expected);
    }
}

// The window's texture is made again only when the frame's format or size changes, and what is
// shown after a round through the palette is the 16-bit frame again.
TEST_F(DdWindowTest, TextureFollowsFormatAndSizeChanges)
{
    struct Step
    {
        DWORD width, height, bits;
        bool sameChain; // flips the chain of the step before again
        Uint32 sdlFormat;
        bool newTexture;
    };
    const Step steps[] = {
        {kWidth, kHeight, 16, false, SDL_PIXELFORMAT_RGB565, true},
        {kWidth, kHeight, 16, true, SDL_PIXELFORMAT_RGB565, false},
        {kWidth, kHeight, 8, false, SDL_PIXELFORMAT_RGB24, true},
        {kWidth, kHeight, 16, false, SDL_PIXELFORMAT_RGB565, true},
        {kWidth + 3, kHeight + 2, 16, false, SDL_PIXELFORMAT_RGB565, true},
    };
    IDirectDrawSurface* primary = nullptr;
    for (DWORD i = 0; i < std::size(steps); ++i)
    {
        const Step& step = steps[i];
        SCOPED_TRACE(i);
        if (!step.sameChain)
            primary = Chain(step.width, step.height, step.bits, 0x07E0);
        const std::vector<DWORD> values =
            Pattern(step.width, step.height, step.bits == 8 ? 0xFF : 0xFFFF, i);
        WritePixels(back_, values);
        const DdPresentInfo before = DdPresentInfoForTests();
        ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
        const DdPresentInfo after = DdPresentInfoForTests();
        EXPECT_EQ(after.shownFormat, step.sdlFormat);
        EXPECT_EQ(after.texturesMade - before.texturesMade, step.newTexture ? 1 : 0);
        if (step.width == kWidth)
        {
            const Uint32 readFormat =
                step.bits == 8 ? Uint32{SDL_PIXELFORMAT_RGB24} : step.sdlFormat;
            EXPECT_EQ(WindowPixels(readFormat), ExpectedWindow(values, step.bits));
        }
    }
}

// A capture directory that cannot be written (it would lie under a regular file) is reported at
// the first frame and capturing stops there; a new directory starts afresh.
TEST_F(DdTest, AnUnwritableCaptureDirectoryIsReportedOnce)
{
    TestEnv env;
    WriteWholeFile(env.Path("plain"), "a file, not a directory");
    const std::string bad = env.Path("plain/frames");
    setenv("DEZOR_CAPTURE", bad.c_str(), 1);
    SetMode(320, 240, 8);
    IDirectDrawSurface* primary = Make(ChainDesc());

    testing::internal::CaptureStderr();
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "dezor: cannot write the frame " + bad +
                  "/frame-00001.png; no more frames are captured\n");

    setenv("DEZOR_CAPTURE", env.Root().c_str(), 1);
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_TRUE(FileExists(env.Path("frame-00001.png")));
}

// DEZOR_VIDEO_MEMORY counts bytes: only a whole number from 1 to 2^32-1 is taken; anything else
// gives one line on standard error for the value and the default 16 MB.
TEST_F(DdTest, VideoMemoryFromTheEnvironmentIsCheckedWhole)
{
    struct Case
    {
        const char* value;
        DWORD total; // 0: the default, and a report
    };
    const Case cases[] = {
        {"4194304", 4194304},
        {"1", 1},
        {"4294967295", 4294967295u},
        {"0", 0},
        {"lots", 0},
        {"12x", 0},
        {"-1", 0},
        {" 42", 0},
        {"+42", 0},
        {"4M", 0},
        {"4294967296", 0},
        {"99999999999999999999999", 0},
    };
    constexpr DWORD kDefault = 16u << 20;
    DDSCAPS caps{DDSCAPS_TEXTURE};
    for (const Case& c : cases)
    {
        setenv("DEZOR_VIDEO_MEMORY", c.value, 1);
        DWORD total = 0, free = 0;
        testing::internal::CaptureStderr();
        ASSERT_EQ(dd_->GetAvailableVidMem(&caps, &total, &free), DD_OK);
        dd_->GetAvailableVidMem(&caps, &total, &free); // asked again: no second report
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(total, c.total != 0 ? c.total : kDefault) << c.value;
        EXPECT_EQ(err, c.total != 0 ? std::string()
                                    : "dezor: DEZOR_VIDEO_MEMORY=\"" + std::string(c.value) +
                                          "\" is not a number of bytes from 1 to 4294967295; "
                                          "using 16777216\n")
            << c.value;
    }
    unsetenv("DEZOR_VIDEO_MEMORY");
}

} // namespace
