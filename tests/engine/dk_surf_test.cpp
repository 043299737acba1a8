#include "engine/pc/display/dk_surf.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/checkmem.h"
#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/3dinit_internal.h"
#include "engine/pc/display/dk_2dtri.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/ddraw/ddraw.h"
#include "tests/support/engine_test.h"

namespace
{

constexpr int kBackWidth = 64;
constexpr int kBackHeight = 48;
constexpr DWORD kDefaultVideoMemory = 16u * 1024 * 1024;

// An 8-bit surface's pixels, row by row without the pitch.
std::vector<uint8_t> Pixels(IDirectDrawSurface* lpSurface)
{
    DDSURFACEDESC ddsd{};
    ddsd.dwSize = sizeof ddsd;
    std::vector<uint8_t> pixels;
    if (lpSurface->Lock(nullptr, &ddsd, DDLOCK_WAIT, nullptr) != DD_OK)
        return pixels;
    const int nRowBytes = static_cast<int>(ddsd.dwWidth * ddsd.ddpfPixelFormat.dwRGBBitCount / 8);
    for (DWORD y = 0; y < ddsd.dwHeight; ++y)
    {
        const uint8_t* row = static_cast<const uint8_t*>(ddsd.lpSurface) + y * ddsd.lPitch;
        pixels.insert(pixels.end(), row, row + nRowBytes);
    }
    lpSurface->Unlock(ddsd.lpSurface);
    return pixels;
}

// Sets every 8-bit pixel to value(x, y).
void Paint(IDirectDrawSurface* lpSurface, const std::function<uint8_t(int, int)>& value)
{
    DDSURFACEDESC ddsd{};
    ddsd.dwSize = sizeof ddsd;
    ASSERT_EQ(lpSurface->Lock(nullptr, &ddsd, DDLOCK_WAIT, nullptr), DD_OK);
    for (DWORD y = 0; y < ddsd.dwHeight; ++y)
        for (DWORD x = 0; x < ddsd.dwWidth; ++x)
            static_cast<uint8_t*>(ddsd.lpSurface)[y * ddsd.lPitch + x] =
                value(static_cast<int>(x), static_cast<int>(y));
    lpSurface->Unlock(ddsd.lpSurface);
}

DWORD CapsOf(const DK_SURFACE* pSurface)
{
    DDSCAPS caps{};
    EXPECT_EQ(pSurface->lpSurface->GetCaps(&caps), DD_OK);
    return caps.dwCaps;
}

// A DirectDraw object in d2d, an 8-bit 64x48 back surface and the heaps, as the display
// set-up leaves them (without a window or a display mode).
class DkSurfTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        ASSERT_GE(DkTempHeapInit(4096), 0);
        ASSERT_GE(DkHeapInit(4u * 1024 * 1024), 0);

        IDirectDraw* lpDD = nullptr;
        ASSERT_EQ(DirectDrawCreate(nullptr, &lpDD, nullptr), DD_OK);
        ASSERT_EQ(lpDD->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&d2d->lpDD2)),
                  DD_OK);
        lpDD->Release();
        d2d->nBitsPerPixel = 8;
        d2d->nWidth = kBackWidth;
        d2d->nHeight = kBackHeight;

        DDSURFACEDESC ddsd{};
        ddsd.dwSize = sizeof ddsd;
        ddsd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        ddsd.dwWidth = kBackWidth;
        ddsd.dwHeight = kBackHeight;
        ddsd.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN;
        ddsd.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        ddsd.ddpfPixelFormat.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
        ddsd.ddpfPixelFormat.dwRGBBitCount = 8;
        ASSERT_EQ(d2d->lpDD2->CreateSurface(&ddsd, &d2d->BackSurface.lpSurface, nullptr), DD_OK);
        d2d->BackSurface.rect = {0, 0, kBackWidth, kBackHeight};
        d2d->BackSurface.nDepth = 8;
        Paint(d2d->BackSurface.lpSurface, [](int, int) { return 0; });
    }

    void TearDown() override
    {
        CaptureOutput([] { DestroyAllCreated2DSurfaces(); });
        if (d2d->BackSurface.lpSurface != nullptr)
            d2d->BackSurface.lpSurface->Release();
        std::memset(&d2d->BackSurface, 0, sizeof d2d->BackSurface);
        std::memset(d2d->PrimarySurface.aPalette, 0, sizeof d2d->PrimarySurface.aPalette);
        if (d2d->lpDD2 != nullptr)
            d2d->lpDD2->Release();
        d2d->lpDD2 = nullptr;
        EXPECT_EQ(DdLiveObjects(), 0);

        d3d->nHardwareDevice = 0;
        d3d->pStandardTextureFormat = nullptr;
        d3d->pAlphaTextureFormat = nullptr;
        DkSetHardwareType(0);
        DdSetVideoMemory(kDefaultVideoMemory);
        CaptureOutput([] { DkCallAllDestructors(); });
        DkResetMemCheckerForTests();
        LoggedTest::TearDown();
    }

    // An 8-bit system-memory surface holding value(x, y).
    DK_SURFACE* Make8(int w, int h, const std::function<uint8_t(int, int)>& value)
    {
        DK_SURFACE* pSurface = DkCreateNewSurface(w, h, 8, DKCS_PIXEL_FORMAT | DKCS_FORCE_SYSTEM);
        EXPECT_NE(pSurface, nullptr);
        if (pSurface != nullptr)
            Paint(pSurface->lpSurface, value);
        return pSurface;
    }

    std::vector<uint8_t> Back() { return Pixels(d2d->BackSurface.lpSurface); }
};

TEST_F(DkSurfTest, ACreatedSurfaceIsListedWithItsRectAndDepth)
{
    d2d->nBitsPerPixel = 16;
    DK_SURFACE* pSurface = DkCreateNewSurface(20, 10, 0, DKCS_FORCE_SYSTEM | DKCS_PIXEL_FORMAT);
    ASSERT_NE(pSurface, nullptr);
    EXPECT_EQ(d2d->apSurfaces[0], pSurface);
    EXPECT_EQ(pSurface->rect.x, 0);
    EXPECT_EQ(pSurface->rect.y, 0);
    EXPECT_EQ(pSurface->rect.w, 20);
    EXPECT_EQ(pSurface->rect.h, 10);
    EXPECT_EQ(pSurface->nDepth, 16) << "depth 0 is the display's";
    EXPECT_EQ(pSurface->nAddedColumns, 0);
    EXPECT_EQ(pSurface->nAddedRows, 0);

    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    ASSERT_EQ(pSurface->lpSurface->GetPixelFormat(&pf), DD_OK);
    EXPECT_EQ(pf.dwRGBBitCount, 16u);
    EXPECT_EQ(pf.dwRBitMask, 0xF800u);
    EXPECT_EQ(pf.dwGBitMask, 0x07E0u);
    EXPECT_EQ(pf.dwBBitMask, 0x001Fu);
}

TEST_F(DkSurfTest, TheListHolds2048SurfacesAndReusesTheLowestFreedEntry)
{
    std::string out = CaptureOutput(
        [this]
        {
            for (int i = 0; i < DK_MAX_SURFACES; ++i)
                ASSERT_NE(DkCreateNewSurface(1, 1, 8, DKCS_PIXEL_FORMAT | DKCS_FORCE_SYSTEM),
                          nullptr)
                    << i;
        });
    EXPECT_EQ(CountReports(out), 0) << out;
    const int nLive = DdLiveObjects();

    out = CaptureOutput(
        [this] {
            EXPECT_EQ(DkCreateNewSurface(1, 1, 8, DKCS_PIXEL_FORMAT | DKCS_FORCE_SYSTEM), nullptr);
        });
    EXPECT_TRUE(Reported(out, "NO MORE SPACE IN SURFACE LIST!")) << out;
    EXPECT_EQ(DdLiveObjects(), nLive) << "nothing is created for a refused request";

    EXPECT_EQ(DkDestroySurface(d2d->apSurfaces[900], "a.cpp", 1), 1);
    EXPECT_EQ(DkDestroySurface(d2d->apSurfaces[17], "a.cpp", 2), 1);
    DK_SURFACE* pAgain = DkCreateNewSurface(1, 1, 8, DKCS_PIXEL_FORMAT | DKCS_FORCE_SYSTEM);
    ASSERT_NE(pAgain, nullptr);
    EXPECT_EQ(d2d->apSurfaces[17], pAgain);
    EXPECT_EQ(d2d->apSurfaces[900], nullptr);
}

TEST_F(DkSurfTest, RefusedRequestsReportAndLeaveNoSurface)
{
    struct Case
    {
        int depth;
        uint32_t flags;
        std::vector<std::string> reports;
        bool created;
    };
    const Case cases[] = {
        {8,
         DKCS_ALPHA_TEXTURE | DKCS_PIXEL_FORMAT | DKCS_FORCE_SYSTEM,
         {"DkCreateNewSurface() : If you specify DKCS_ALPHA_TEXTURE, thenyou must also specify "
          "whether it is a source or dest texture"},
         true},
        {12,
         DKCS_PIXEL_FORMAT | DKCS_FORCE_SYSTEM,
         {"DkCreateSurface() : Invalid bit-depth requested",
          "You have requested an invalid surface depth"},
         false},
        // Without an explicit format the surface is made in the display's, then the depth
        // is refused and the surface given back.
        {32, DKCS_FORCE_SYSTEM, {"32 is an invalid surface depth"}, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.depth);
        const int nLive = DdLiveObjects();
        DK_SURFACE* pSurface = nullptr;
        std::string out =
            CaptureOutput([&] { pSurface = DkCreateNewSurface(8, 8, c.depth, c.flags); });
        for (const std::string& report : c.reports)
            EXPECT_TRUE(Reported(out, report)) << out;
        EXPECT_EQ(CountReports(out), static_cast<int>(c.reports.size())) << out;
        EXPECT_EQ(pSurface != nullptr, c.created);
        EXPECT_EQ(d2d->apSurfaces[0] != nullptr, c.created);
        EXPECT_EQ(DdLiveObjects(), nLive + (c.created ? 1 : 0));
        CaptureOutput([] { DestroyAllCreated2DSurfaces(); });
    }
}

TEST_F(DkSurfTest, CapabilitiesFollowTheFlagsOnAHardwareDeviceOnly)
{
    DK_TEXTURE_FORMAT format{};
    format.ddsd.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    format.ddsd.ddpfPixelFormat.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
    format.ddsd.ddpfPixelFormat.dwRGBBitCount = 8;
    d3d->pStandardTextureFormat = &format;

    struct Case
    {
        uint32_t flags;
        DWORD hardwareCaps; // with a hardware device
    };
    const Case cases[] = {
        {DKCS_PIXEL_FORMAT, DDSCAPS_VIDEOMEMORY | DDSCAPS_OFFSCREENPLAIN},
        {DKCS_FORCE_VIDEO | DKCS_PIXEL_FORMAT, DDSCAPS_VIDEOMEMORY | DDSCAPS_OFFSCREENPLAIN},
        {DKCS_FORCE_SYSTEM | DKCS_PIXEL_FORMAT, DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN},
        {DKCS_SOURCE_TEXTURE, DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE},
        {DKCS_DEST_TEXTURE, DDSCAPS_ALLOCONLOAD | DDSCAPS_VIDEOMEMORY | DDSCAPS_TEXTURE},
    };
    const DWORD kKinds = DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY | DDSCAPS_TEXTURE |
                         DDSCAPS_OFFSCREENPLAIN | DDSCAPS_ALLOCONLOAD;
    for (int nDevice : {0, 1})
        for (const Case& c : cases)
        {
            SCOPED_TRACE(testing::Message() << "device " << nDevice << " flags " << c.flags);
            d3d->nHardwareDevice = nDevice;
            DK_SURFACE* pSurface = DkCreateNewSurface(8, 8, 8, c.flags);
            ASSERT_NE(pSurface, nullptr);
            const DWORD expected =
                nDevice == 0 ? DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE : c.hardwareCaps;
            EXPECT_EQ(CapsOf(pSurface) & kKinds, expected);
            EXPECT_EQ(DkDestroySurface(pSurface, "a.cpp", 1), 1);
        }
}

TEST_F(DkSurfTest, DestTexturesOutOfVideoMemoryRetryInSystemMemoryAndSayItOnce)
{
    DK_TEXTURE_FORMAT format{};
    format.ddsd.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    format.ddsd.ddpfPixelFormat.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
    format.ddsd.ddpfPixelFormat.dwRGBBitCount = 8;
    d3d->pStandardTextureFormat = &format;
    d3d->nHardwareDevice = 1;
    DkResetVRAMWarningForTests();
    DdSetVideoMemory(1024);

    std::string out = CaptureOutput(
        []
        {
            for (int i = 0; i < 2; ++i)
            {
                DK_SURFACE* pSurface = DkCreateNewSurface(64, 64, 8, DKCS_DEST_TEXTURE);
                ASSERT_NE(pSurface, nullptr);
                EXPECT_EQ(CapsOf(pSurface) &
                              (DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY | DDSCAPS_TEXTURE),
                          DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE);
            }
            // Plain surfaces get their second chance without the texture warning.
            EXPECT_NE(DkCreateNewSurface(64, 64, 8, DKCS_PIXEL_FORMAT), nullptr);
            // Forced video memory has none.
            EXPECT_EQ(DkCreateNewSurface(64, 64, 8, DKCS_FORCE_VIDEO | DKCS_PIXEL_FORMAT), nullptr);
        });
    EXPECT_EQ(CountOf(out, "DkCreateNewSurface() : Failed to allocate videomemory, trying "
                           "system RAM\n"),
              3)
        << out;
    EXPECT_EQ(CountOf(out, "DirectDraw error"), 1) << out;
    EXPECT_EQ(d2d->apSurfaces[3], nullptr);

    std::string log = Log();
    EXPECT_EQ(CountOf(log, "Ran out of VRAM - Some textures will be missing"), 1) << log;
    EXPECT_EQ(CountOf(log, "DkCreateNewSurface() failed : DKCS_FORCE_VIDEO"), 1) << log;
}

TEST_F(DkSurfTest, DestroyingReleasesFillsTheRecordAndRefusesASecondTime)
{
    const int nLive = DdLiveObjects();
    DK_SURFACE* pSurface = DkCreateNewSurface(4, 4, 8, DKCS_PIXEL_FORMAT | DKCS_FORCE_SYSTEM);
    ASSERT_NE(pSurface, nullptr);
    EXPECT_EQ(DdLiveObjects(), nLive + 1);

    EXPECT_EQ(DkDestroySurface(pSurface, "front.cpp", 12), 1);
    EXPECT_EQ(DdLiveObjects(), nLive);
    EXPECT_EQ(d2d->apSurfaces[0], nullptr);
    const auto* bytes = reinterpret_cast<const uint8_t*>(pSurface);
    for (size_t i = 0; i < sizeof(DK_SURFACE); ++i)
        ASSERT_EQ(bytes[i], 0x66) << i;

    int nResult = -1;
    std::string out = CaptureOutput([&] { nResult = DkDestroySurface(pSurface, "front.cpp", 77); });
    EXPECT_EQ(nResult, 0);
    EXPECT_TRUE(Reported(out, "DkDestroySurface() : Surface not in list!\nCall made in "
                              "front.cpp, line 77"))
        << out;
    out = CaptureOutput([&] { nResult = DkDestroySurface(nullptr, "front.cpp", 78); });
    EXPECT_EQ(nResult, 0);
    EXPECT_EQ(CountReports(out), 1);
}

TEST_F(DkSurfTest, DestroyAllEmptiesTheListInOneGo)
{
    const int nLive = DdLiveObjects();
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(DkCreateNewSurface(4, 4, 8, DKCS_PIXEL_FORMAT | DKCS_FORCE_SYSTEM), nullptr);
    std::string out = CaptureOutput([] { EXPECT_TRUE(DestroyAllCreated2DSurfaces()); });
    EXPECT_EQ(out, "DestroyAllCreated2DSurfaces() Done\n");
    EXPECT_EQ(DdLiveObjects(), nLive);
    for (DK_SURFACE* pSurface : d2d->apSurfaces)
        ASSERT_EQ(pSurface, nullptr);
}

// A 16x8 source whose every pixel is distinct and non-zero, blitted at (x, y) onto the
// cleared back surface: each back pixel shows the source pixel under it, or stays 0.
TEST_F(DkSurfTest, BlitsAreClippedToTheDestinationFromTheMatchingSourcePixels)
{
    auto source = [](int x, int y) { return static_cast<uint8_t>(1 + x + 16 * y); };
    DK_SURFACE* pSrc = Make8(16, 8, source);
    ASSERT_NE(pSrc, nullptr);

    struct Case
    {
        int x, y;
    };
    const Case cases[] = {
        {10, 5},  {-10, 5}, {58, 5}, {5, -3}, {5, 44}, {-10, -6},
        {54, 44}, {-16, 5}, {64, 5}, {5, -8}, {5, 48}, {-20, -20},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        Paint(d2d->BackSurface.lpSurface, [](int, int) { return 0; });
        DK_RECT dest{static_cast<int16_t>(c.x), static_cast<int16_t>(c.y), 16, 8};
        int nResult = 0;
        std::string out = CaptureOutput(
            [&] { nResult = DkBlitPC(pSrc, &pSrc->rect, &d2d->BackSurface, &dest, 0, 0, 0, 1); });
        EXPECT_EQ(nResult, 1);
        EXPECT_EQ(out, "");
        std::vector<uint8_t> back = Back();
        ASSERT_EQ(back.size(), static_cast<size_t>(kBackWidth * kBackHeight));
        for (int by = 0; by < kBackHeight; ++by)
            for (int bx = 0; bx < kBackWidth; ++bx)
            {
                const int sx = bx - c.x;
                const int sy = by - c.y;
                const uint8_t expected =
                    sx >= 0 && sx < 16 && sy >= 0 && sy < 8 ? source(sx, sy) : 0;
                ASSERT_EQ(back[by * kBackWidth + bx], expected) << bx << ", " << by;
            }
    }
}

// The source pixel values give their own position back, so the picture can be checked without
// depending on how the stretch rounds: rows and columns of the source appear in order, each
// at least once, and nothing lands outside the destination rectangle.
TEST_F(DkSurfTest, EqualSizesCopyAndAOnePixelDifferenceStretches)
{
    DK_SURFACE* pSrc =
        Make8(4, 4, [](int x, int y) { return static_cast<uint8_t>(1 + x + 4 * y); });
    ASSERT_NE(pSrc, nullptr);

    struct Case
    {
        int16_t w, h;
    };
    for (const Case& c : {Case{4, 4}, Case{5, 4}, Case{4, 5}})
    {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        Paint(d2d->BackSurface.lpSurface, [](int, int) { return 0; });
        DK_RECT dest{0, 0, c.w, c.h};
        EXPECT_EQ(DkBlitPC(pSrc, &pSrc->rect, &d2d->BackSurface, &dest, 0, 0, 0, 1), 1);
        std::vector<uint8_t> back = Back();

        std::vector<int> columnOf(c.w), rowOf(c.h);
        for (int y = 0; y < kBackHeight; ++y)
            for (int x = 0; x < kBackWidth; ++x)
            {
                const int v = back[y * kBackWidth + x];
                if (x >= c.w || y >= c.h)
                {
                    ASSERT_EQ(v, 0) << x << ", " << y;
                    continue;
                }
                ASSERT_GE(v, 1);
                const int sx = (v - 1) % 4;
                const int sy = (v - 1) / 4;
                if (y == 0)
                    columnOf[x] = sx;
                if (x == 0)
                    rowOf[y] = sy;
                ASSERT_EQ(sx, columnOf[x]) << x << ", " << y;
                ASSERT_EQ(sy, rowOf[y]) << x << ", " << y;
            }
        for (const std::vector<int>* order : {&columnOf, &rowOf})
        {
            EXPECT_EQ(order->front(), 0);
            EXPECT_EQ(order->back(), 3);
            for (size_t i = 1; i < order->size(); ++i)
            {
                EXPECT_GE((*order)[i], (*order)[i - 1]);
                EXPECT_LE((*order)[i], (*order)[i - 1] + 1);
            }
        }
    }
}

TEST_F(DkSurfTest, BlitSurfaceAtLeavesColourZeroTransparent)
{
    DK_SURFACE* pSrc =
        Make8(4, 4, [](int x, int y) { return static_cast<uint8_t>((x + y) % 2 ? 3 : 0); });
    ASSERT_NE(pSrc, nullptr);
    Paint(d2d->BackSurface.lpSurface, [](int, int) { return 7; });

    EXPECT_EQ(DkBlitSurfaceAt(pSrc, 2, 1, nullptr, 0), 1);
    std::vector<uint8_t> back = Back();
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x)
        {
            const bool inside = x >= 2 && x < 6 && y >= 1 && y < 5;
            const uint8_t expected = inside && (x - 2 + y - 1) % 2 ? 3 : 7;
            EXPECT_EQ(back[y * kBackWidth + x], expected) << x << ", " << y;
        }
}

TEST_F(DkSurfTest, SourceRectanglesOutsideTheSourceAreReportedAndRefused)
{
    DK_SURFACE* pSrc = Make8(16, 8, [](int, int) { return 9; });
    ASSERT_NE(pSrc, nullptr);

    struct Case
    {
        DK_RECT src;
        const char* report;
    };
    const Case cases[] = {
        {{16, 0, 1, 1},
         "DkBlitPC() : source-x >= h-size of src-surface\n(src-x = 16, src-surf.w = 16)"},
        {{10, 0, 8, 1},
         "DkBlitPC() : source-x+source-width > h-size of src-surface\n(src-x = 10, src-width = "
         "8, src-surf.w = 16)"},
        {{0, 8, 1, 1},
         "DkBlitPC() : source-y >= v-size of src-surface\n(src-y = 8, src-surf.h = 8)"},
        {{0, 4, 1, 6},
         "DkBlitPC() : source-y+source-height > v-size of src-surface\n(src-y = 4, src-height = "
         "6, src-surf.h = 8)"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.report);
        DK_RECT dest{0, 0, c.src.w, c.src.h};
        int nResult = -1;
        std::string out = CaptureOutput(
            [&] { nResult = DkBlitPC(pSrc, &c.src, &d2d->BackSurface, &dest, 0, 0, 0, 1); });
        EXPECT_EQ(nResult, 0);
        EXPECT_TRUE(Reported(out, c.report)) << out;
        EXPECT_EQ(CountOf(out, "dkBlit()"), 0) << "refused before DirectDraw is asked";
        EXPECT_EQ(Back(), std::vector<uint8_t>(kBackWidth * kBackHeight, 0));
    }

    DK_SURFACE empty{};
    DK_RECT rect{0, 0, 1, 1};
    std::string out = CaptureOutput(
        [&]
        {
            EXPECT_EQ(DkBlitPC(&empty, &rect, &d2d->BackSurface, &rect, 0, 0, 0, 1), 0);
            EXPECT_EQ(DkBlitPC(pSrc, &rect, &empty, &rect, 0, 0, 0, 1), 0);
        });
    EXPECT_TRUE(Reported(out, "DkBlitPC() : No source surface specified")) << out;
    EXPECT_TRUE(Reported(out, "DkBlitPC() : No destination surface specified")) << out;
}

TEST_F(DkSurfTest, ColourFillsUseTheNearestPaletteIndex)
{
    d2d->PrimarySurface.aPalette[200] = {250, 10, 10, 0};
    d2d->PrimarySurface.aPalette[37] = {10, 10, 240, 0};
    const uint8_t red[4] = {255, 0, 0, 255};
    const DK_RECT rect{2, 3, 5, 4};

    auto filled = [&](uint8_t index)
    {
        std::vector<uint8_t> back = Back();
        for (int y = 0; y < kBackHeight; ++y)
            for (int x = 0; x < kBackWidth; ++x)
            {
                const bool inside = x >= 2 && x < 7 && y >= 3 && y < 7;
                if (back[y * kBackWidth + x] != (inside ? index : 0))
                    return false;
            }
        return true;
    };

    EXPECT_EQ(DkFillRect(&d2d->BackSurface, &rect, red), 1);
    EXPECT_TRUE(filled(200));

    // Hardware type 6 outside the stage fills through DirectDraw too; others queue triangles
    // and draw nothing here.
    struct Case
    {
        int hardwareType;
        bool alpha;
        int trianglesA, trianglesB;
        bool drawn;
    };
    const Case cases[] = {
        {6, false, 0, 0, true},
        {6, true, 0, 0, true},
        {0, false, 0, 2, false},
        {0, true, 2, 0, false},
    };
    const uint8_t blue[4] = {0, 0, 255, 128};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.hardwareType << (c.alpha ? " alpha" : ""));
        Paint(d2d->BackSurface.lpSurface, [](int, int) { return 0; });
        DkSetHardwareType(c.hardwareType);
        // The batches are not set up here: queueing reports that and goes on.
        CaptureOutput(
            []
            {
                DkProcess2DTriangles();
                DkProcess2DTrianglesB();
            });
        CaptureOutput(
            [&]
            {
                EXPECT_EQ((c.alpha ? DkFillPolyRectAlpha : DkFillPolyRect)(&d2d->BackSurface, &rect,
                                                                           blue),
                          1);
            });
        EXPECT_EQ(DkGet2DTriangleCount(0), c.trianglesA);
        EXPECT_EQ(DkGet2DTriangleCount(1), c.trianglesB);
        EXPECT_TRUE(filled(c.drawn ? 37 : 0));
    }
    // A rectangle whose far edge passes what 16.16 holds is still queued, without overflow.
    DkSetHardwareType(0);
    const DK_RECT far{30000, -30000, 30000, -30000};
    CaptureOutput(
        [&]
        {
            DkProcess2DTrianglesB();
            EXPECT_EQ(DkFillPolyRect(&d2d->BackSurface, &far, blue), 1);
        });
    EXPECT_EQ(DkGet2DTriangleCount(1), 2);
    CaptureOutput(
        []
        {
            DkProcess2DTriangles();
            DkProcess2DTrianglesB();
        });

    std::string out = CaptureOutput(
        [&]
        {
            EXPECT_EQ(DkFillPolyRect(&d2d->BackSurface, nullptr, red), 1);
            EXPECT_EQ(DkFillPolyRect(&d2d->BackSurface, &rect, nullptr), 1);
        });
    EXPECT_TRUE(Reported(out, "DkFillPolyRect(): Passed rectangle is NULL")) << out;
    EXPECT_TRUE(Reported(out, "DkFillPolyRect(): Passed rgbaColour is NULL")) << out;
}

TEST_F(DkSurfTest, ClearSurfaceZeroesEveryPixel)
{
    DK_SURFACE* pSurface = Make8(6, 3, [](int, int) { return 0x5A; });
    ASSERT_NE(pSurface, nullptr);
    EXPECT_EQ(DkClearSurface(pSurface), 1);
    EXPECT_EQ(Pixels(pSurface->lpSurface), std::vector<uint8_t>(18, 0));

    DK_SURFACE empty{};
    std::string out = CaptureOutput(
        [&]
        {
            EXPECT_EQ(DkClearSurface(nullptr), 1);
            EXPECT_EQ(DkClearSurface(&empty), 1);
        });
    EXPECT_TRUE(Reported(out, "DkClearSurface() : dk_surface is NULL")) << out;
    EXPECT_TRUE(Reported(out, "DkClearSurface() : DD Surface is NULL")) << out;
}

TEST_F(DkSurfTest, TheDumpListsEachSurfaceWithItsSizeAndCapabilities)
{
    d3d->nHardwareDevice = 1;
    ASSERT_NE(DkCreateNewSurface(4, 2, 8, DKCS_PIXEL_FORMAT | DKCS_FORCE_SYSTEM), nullptr);
    ASSERT_NE(DkCreateNewSurface(4, 2, 16, DKCS_PIXEL_FORMAT | DKCS_FORCE_SYSTEM), nullptr);
    std::string out = CaptureOutput([] { DkDumpSurfaceList(); });
    EXPECT_EQ(out, "========= Surface list : Debug dump =========\n"
                   "*** Surface #0 :- SYSTEMMEMORY Surface : 4x2x8 = 8 bytes\n"
                   "DDSCAPS_OFFSCREENPLAIN\n"
                   "*** Surface #1 :- SYSTEMMEMORY Surface : 4x2x16 = 16 bytes\n"
                   "DDSCAPS_OFFSCREENPLAIN\n"
                   "Total VRAM used by surfaces : 0 bytes\n"
                   "Total System RAM used by surfaces : 24 bytes\n\n\n");
}

TEST_F(DkSurfTest, DebugAidsChangeOnlyTheirRectangle)
{
    Paint(d2d->BackSurface.lpSurface, [](int x, int) { return static_cast<uint8_t>(x); });
    const DK_RECT box{4, 2, 8, 2};
    EXPECT_TRUE(DkDrawTransparentBoxPC(&box, 0x01010101u));
    std::vector<uint8_t> back = Back();
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 14; ++x)
        {
            const bool inside = x >= 4 && x < 12 && y >= 2 && y < 4;
            EXPECT_EQ(back[y * kBackWidth + x], x + (inside ? 1 : 0)) << x << ", " << y;
        }

    uint8_t remap[256];
    for (int i = 0; i < 256; ++i)
        remap[i] = static_cast<uint8_t>(255 - i);
    DK_SURFACE* pSurface =
        Make8(4, 3, [](int x, int y) { return static_cast<uint8_t>(x + 4 * y); });
    ASSERT_NE(pSurface, nullptr);
    const DK_RECT part{1, 1, 2, 5};
    EXPECT_TRUE(DkRemapSurfaceRect(pSurface, &part, remap));
    std::vector<uint8_t> pixels = Pixels(pSurface->lpSurface);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
        {
            const int value = x + 4 * y;
            const bool inside = x >= 1 && x < 3 && y >= 1;
            EXPECT_EQ(pixels[y * 4 + x], inside ? 255 - value : value) << x << ", " << y;
        }

    IDirectDrawSurface* lpBack = d2d->BackSurface.lpSurface;
    d2d->BackSurface.lpSurface = nullptr;
    std::string out = CaptureOutput([&] { EXPECT_FALSE(DkDrawTransparentBoxPC(&box, 1)); });
    d2d->BackSurface.lpSurface = lpBack;
    EXPECT_TRUE(Reported(out, "DkDrawTransparentBoxPC() : ARGH - no back surface????")) << out;
}

} // namespace
