// The developer's instruments: the overlay's four lines, the timing bars and their painters on
// the back surface, the frame-rate counter over the device's statistics on the fake clock, and
// the data kit's frame-rate image.
#include "engine/pc/3d/timebar.h"

#include <filesystem>
#include <functional>
#include <set>

#include "engine/pc/3d/dk_rendr.h"
#include "platform/ddraw/ddraw_internal.h"
#include "platform/time/time.h"
#include "tests/engine/device_fixture.h"
#include "tools/datakit/image_writer.h"

namespace
{

// A 16-bit (5:6:5) display of the given size with its 3D device.
class InstrumentTest : public DeviceTest
{
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        savedTrack = gxTrackClipDistance;
        savedObject = gxObjectClipDistance;
    }

    void Open(int width, int height)
    {
        DeviceTest::Open(16, {}, 0, 1024 * 1024, width, height);
        ASSERT_EQ(d2d->nWidth, width) << output;
        Clear();
    }

    void TearDown() override
    {
        if (TimeIsFakeClock())
            TimeFakeClock(FALSE);
        gxTrackClipDistance = savedTrack;
        gxObjectClipDistance = savedObject;
        DkResetDataPathsForTests();
        DeviceTest::TearDown();
    }

    DdSurfaceData& Back() const { return *DdData(d2d->BackSurface.lpSurface); }

    void Clear()
    {
        DdSurfaceData& s = Back();
        std::fill(s.pixels.begin(), s.pixels.end(), 0);
    }

    uint16_t Pixel(int x, int y) const
    {
        uint16_t p;
        std::memcpy(&p, DdRow(Back(), static_cast<DWORD>(y)) + x * 2, 2);
        return p;
    }

    // The fake clock at the moment the performance counter reads `count`.
    static void AtCount(uint64_t count)
    {
        const unsigned __int128 ns =
            (static_cast<unsigned __int128>(count) * 1000000000u + DK_PERFORMANCE_FREQUENCY - 1) /
            DK_PERFORMANCE_FREQUENCY;
        TimeFakeSetNs(static_cast<uint64_t>(ns));
    }

    // Bar nIndex measured over `counts` of the performance counter, starting at `from`.
    static void Measure(int nIndex, int32_t nColour, const char* pszName, uint64_t from,
                        uint64_t counts)
    {
        AtCount(from);
        ASSERT_TRUE(DkStartTimeBar(nIndex, nColour, pszName));
        AtCount(from + counts);
        ASSERT_TRUE(DkStopTimeBar(nIndex));
    }

    // The length of the bar painted in row `row` from x = 160 in `colour` (the bar's own), or
    // 0 when the row holds none.
    int BarLength(int row, uint16_t colour) const
    {
        const int y = d2d->nHeight - 12 - 10 * row - 8 + 4; // the middle of the bar
        int x = 160;
        while (x < d2d->nWidth && Pixel(x, y) != 0 && Pixel(x, y) != 0xFFFF)
        {
            EXPECT_EQ(Pixel(x, y), colour) << x;
            ++x;
        }
        return x - 160;
    }

    int32_t savedTrack = 0, savedObject = 0;
};

// Bars start free: a reset on a fresh program finds bar 0 free and leaves bar 3 alone. This
// test runs first, before any other has touched the bars.
TEST_F(InstrumentTest, AResetOnAFreshProgramStopsAtBarZero)
{
    Open(640, 480);
    TimeFakeClock(TRUE);
    Measure(3, 0x07E0, "AI", 1000, 2000);
    DkResetTimeBars();
    DkDrawTimeBars();
    for (int row : {0, 1, 2})
        EXPECT_EQ(BarLength(row, 0), 0) << row;
    EXPECT_EQ(BarLength(3, 0x07E0), 2000 / 200 + 4);
    DkClearTimeBarNames();
}

// With clip distances of 1000.0 and 100.0 the third and fourth lines end in 1000 and 100; the
// rates show 0 before any frame is counted. The picture must be what the debug-text printer
// makes of the four lines, in red, at their places.
TEST_F(InstrumentTest, TheOverlayShowsTheRatesAndTheClipDistancesInRed)
{
    Open(320, 240);
    struct Case
    {
        int32_t track, object;
        const char* lines[4];
    };
    const Case cases[] = {
        {1000 << 16,
         100 << 16,
         {"FPS: 0", "POLYS: 0", "TRACK CLIP DISTANCE: 1000", "OBJECT CLIP DISTANCE: 100"}},
        {-0x18000,
         0x2FFFF,
         {"FPS: 0", "POLYS: 0", "TRACK CLIP DISTANCE: -1", "OBJECT CLIP DISTANCE: 2"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.lines[2]);
        gxTrackClipDistance = c.track;
        gxObjectClipDistance = c.object;
        Clear();
        DkDrawDebugOverlay();
        const std::vector<BYTE> drawn = Back().pixels;
        Clear();
        const int y[4] = {5, 20, 35, 50};
        for (int i = 0; i < 4; ++i)
            DkDebugTextLarge(c.lines[i], 10, y[i], 0x0000FF);
        EXPECT_EQ(drawn, Back().pixels);
        std::set<uint16_t> colours;
        for (int py = 0; py < 80; ++py)
            for (int px = 0; px < 320; ++px)
                colours.insert(Pixel(px, py));
        EXPECT_EQ(colours, (std::set<uint16_t>{0, 0xF800}));
    }
}

TEST_F(InstrumentTest, BarsOutsideZeroToTwentyAreRefused)
{
    for (int index : {-1, 21, 1000})
    {
        EXPECT_FALSE(DkStartTimeBar(index, 1, "X")) << index;
        EXPECT_FALSE(DkStopTimeBar(index)) << index;
    }
    EXPECT_TRUE(DkStartTimeBar(20, 1, "X"));
    EXPECT_TRUE(DkStopTimeBar(20));
    EXPECT_TRUE(DkStartTimeBar(0, 1, "X"));
    EXPECT_TRUE(DkStopTimeBar(0));
    DkClearTimeBarNames();
}

// Bars are painted from the bottom up, 1 pixel for every 200 counts and 4 more, a count taken
// modulo 2^32 across a wrap of the counter's low part; the total stands above them.
TEST_F(InstrumentTest, ThePaintersDrawBarsFromTheBottomUpExceptOnANarrowScreen)
{
    for (int width : {320, 640})
    {
        SCOPED_TRACE(width);
        Open(width, width * 3 / 4);
        TimeFakeClock(TRUE);
        DkClearTimeBarNames();
        Measure(0, 0xF800, "RENDER", 0x1FFFFFF00ull, 2000); // the low part wraps
        Measure(2, 0x001F, "PHYSICS", 5000, 4000);
        Clear();
        DkDrawTimeBars();
        if (width == 320)
        {
            EXPECT_TRUE(std::all_of(Back().pixels.begin(), Back().pixels.end(),
                                    [](BYTE b) { return b == 0; }));
            DkDrawTimeBarsWithTotal();
            EXPECT_TRUE(std::all_of(Back().pixels.begin(), Back().pixels.end(),
                                    [](BYTE b) { return b == 0; }));
        }
        else
        {
            EXPECT_EQ(BarLength(0, 0xF800), 14);
            EXPECT_EQ(BarLength(1, 0), 0);
            EXPECT_EQ(BarLength(2, 0x001F), 24);
            EXPECT_EQ(BarLength(3, 0), 0);
            // Rows are 8 high and 12 above the bottom.
            EXPECT_EQ(Pixel(161, 480 - 12), 0);
            EXPECT_EQ(Pixel(161, 480 - 13), 0xF800);
            EXPECT_EQ(Pixel(161, 480 - 20), 0xF800);
            EXPECT_EQ(Pixel(161, 480 - 21), 0);
            // The peak marker just past the end, and a tick mark at 75 pixels on a longer bar.
            EXPECT_EQ(Pixel(160 + 14, 480 - 16), 0xFFFF);
            Measure(2, 0x001F, "PHYSICS", 5000, 20000);
            Clear();
            DkDrawTimeBarsWithTotal();
            EXPECT_EQ(Pixel(160 + 75, 480 - 12 - 20 - 4), 0xFFFF);
            EXPECT_EQ(Pixel(160 + 76, 480 - 12 - 20 - 4), 0x001F);
            // The total: both bars end to end in their colours, in the row above the last.
            const int y = 480 - 12 - 30 - 4;
            EXPECT_EQ(Pixel(160, y), 0xF800);
            EXPECT_EQ(Pixel(160 + 9, y), 0xF800);
            EXPECT_EQ(Pixel(160 + 10, y), 0x001F);
            EXPECT_EQ(Pixel(160 + 74, y), 0x001F);
            EXPECT_EQ(Pixel(160 + 112, y), 0x001F);
            EXPECT_EQ(Pixel(160 + 114, y), 0xFFFF) << "the total's peak";
        }
        TearDown();
        SetUp();
    }
    DkClearTimeBarNames();
}

TEST_F(InstrumentTest, APeakIsHeldForSixtyFramesThenFollowsTheBar)
{
    Open(640, 480);
    TimeFakeClock(TRUE);
    DkClearTimeBarNames();
    Measure(0, 0xF800, "AI", 0, 4000); // 24 pixels
    Clear();
    DkDrawTimeBars();
    Measure(0, 0xF800, "AI", 0, 0); // 4 pixels
    for (int frame = 1; frame <= 61; ++frame)
    {
        Clear();
        DkDrawTimeBars();
        const bool held = frame <= 60;
        EXPECT_EQ(Pixel(160 + 24, 480 - 16), held ? 0xFFFF : 0) << frame;
        EXPECT_EQ(Pixel(160 + 4, 480 - 16), held ? 0 : 0xFFFF) << frame;
    }
    // A reset frees the bars from 0 up to the first free one.
    Measure(1, 0x07E0, "B", 0, 0);
    Measure(3, 0x001F, "D", 0, 0);
    DkResetTimeBars();
    Clear();
    DkDrawTimeBars();
    EXPECT_EQ(BarLength(0, 0), 0);
    EXPECT_EQ(BarLength(1, 0), 0);
    EXPECT_EQ(BarLength(3, 0x001F), 4);
    DkClearTimeBarNames();
}

// Three triangles a frame at 20 ms a frame: a measurement every 51 frames. The counter is started
// by its first call, and drawing before it is not counted.
TEST_F(InstrumentTest, TheFrameRateIsMeasuredOver51FramesFromTheDeviceStatistics)
{
    Open(320, 240);
    TimeFakeClock(TRUE);
    uint64_t now = TimeNowNs();
    IDirect3DDevice2* device = d3d->lpD3DDevice2;
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    const D3DTLVERTEX tri[9] = {
        {10, 10, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0}, {20, 10, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
        {10, 20, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0}, {30, 10, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
        {40, 10, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0}, {30, 20, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
        {50, 10, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0}, {60, 10, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
        {50, 20, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0}};
    device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DVT_TLVERTEX, tri, 9, 0);
    auto frame = [&](uint64_t ms)
    {
        now += ms * 1000000u;
        TimeFakeSetNs(now);
        device->BeginScene();
        device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DVT_TLVERTEX, tri, 9, 0);
        device->EndScene();
        DkCountFrameRate();
    };
    const int before = DkGetFrameRate();
    for (int i = 0; i < 50; ++i)
        frame(20);
    EXPECT_EQ(DkGetFrameRate(), before) << "50 frames measure nothing";
    // The 51st frame: 51 frames in the 50 x 20 ms since the first.
    frame(20);
    EXPECT_EQ(DkGetFrameRate(), 51);
    // The next 51 frames, the last 200 ms late: 51 frames in 1.22 s, three triangles each.
    for (int i = 0; i < 50; ++i)
        frame(20);
    frame(220);
    EXPECT_EQ(DkGetFrameRate(), 41);
    gxTrackClipDistance = 0;
    gxObjectClipDistance = 0;
    Clear();
    DkDrawDebugOverlay();
    const std::vector<BYTE> drawn = Back().pixels;
    Clear();
    DkDebugTextLarge("FPS: 41", 10, 5, 0xFF);
    DkDebugTextLarge("POLYS: 3", 10, 20, 0xFF);
    DkDebugTextLarge("TRACK CLIP DISTANCE: 0", 10, 35, 0xFF);
    DkDebugTextLarge("OBJECT CLIP DISTANCE: 0", 10, 50, 0xFF);
    EXPECT_EQ(drawn, Back().pixels);
    // 51 frames within a millisecond give no rate: the last one stands.
    for (int i = 0; i < 51; ++i)
        frame(0);
    EXPECT_EQ(DkGetFrameRate(), 41);
}

TEST_F(InstrumentTest, TheFrameRateImageIsTheDataKitsImage)
{
    Open(320, 240);
    DkSetCDPath("c:\\disc");
    DK_TEXTURE* texture = nullptr;
    std::string out = CaptureOutput([&] { texture = DkLoadFpsImage(); });
    EXPECT_EQ(texture, nullptr) << "no image on the disc";
    EXPECT_NE(out.find("loading the fps image"), std::string::npos) << out;
    std::filesystem::create_directories(env.DriveC() + "/disc/images");
    datakit::WriteImageFile(env.DriveC() + "/disc/images/fps2.bmp",
                            datakit::FormatBmp(datakit::FpsImage()));
    out = CaptureOutput([&] { texture = DkLoadFpsImage(); });
    ASSERT_NE(texture, nullptr) << out;
    ASSERT_NE(texture->pDeviceSurface, nullptr);
    EXPECT_EQ(texture->pDeviceSurface->rect.w, 64);
    EXPECT_NE(texture->uHandle, 0u);
}

} // namespace
