// Polygon blits: queueing and its checks, the order the queues are drawn in around the 2D
// triangle batches, turns, mirrors, blends, clips and the flags, on the software 3D device.
#include "tests/engine/overlay_fixture.h"

namespace
{

const DK_RECT kWhole8{0, 0, 8, 8};
const uint8_t kWhite[4] = {255, 255, 255, 255};

class PolyBlitTest : public OverlayTest
{
protected:
    // An 8x8 texture with a colour in each quarter: red, green / blue, white.
    DK_TEXTURE* Quarters()
    {
        return Texture(8, 8, false,
                       [](int x, int y)
                       {
                           if (y < 4)
                               return x < 4 ? Rgb565(255, 0, 0) : Rgb565(0, 255, 0);
                           return x < 4 ? Rgb565(0, 0, 255) : Rgb565(255, 255, 255);
                       });
    }

    int Blit(const DK_RECT& src, const DK_RECT& dst, DK_TEXTURE* t, const uint8_t* colour,
             int order, int angle = 0, DK_VECTOR pivot = DK_PIVOT_CENTRE,
             const DK_RECT* clip = nullptr, uint32_t flags = DKPB_NONE)
    {
        int result = 0;
        output += CaptureOutput(
            [&]
            { result = DkPolyAlphaBlit(&src, &dst, t, colour, order, angle, pivot, clip, flags); });
        return result;
    }
};

TEST_F(PolyBlitTest, EachOrderFillsItsOwnQueueAndTheLastPlaceIsNeverUsed)
{
    DK_TEXTURE* t = Solid(8, 8, Rgb565(255, 0, 0));
    const DK_RECT dst{1, 2, 3, 4};
    for (int order : {BLIT_TO_BACK, BLIT_TO_MIDDLE, BLIT_TO_FRONT})
    {
        SCOPED_TRACE(order);
        const int before[3] = {DkGetPolyBlitCount(1), DkGetPolyBlitCount(2), DkGetPolyBlitCount(3)};
        std::string out = CaptureOutput(
            [&]
            {
                for (int i = 0; i < 2047; ++i)
                    ASSERT_EQ(DkPolyAlphaBlit(&kWhole8, &dst, t, kWhite, order, 0, DK_PIVOT_CENTRE,
                                              nullptr, 0),
                              1);
                // The 2,048th of either call is dropped.
                EXPECT_EQ(DkPolyAlphaBlit(&kWhole8, &dst, t, kWhite, order, 0, DK_PIVOT_CENTRE,
                                          nullptr, 0),
                          0);
                EXPECT_EQ(DkPolyAlphaBlitRotated(&kWhole8, &dst, t, order, 0, DK_PIVOT_CENTRE,
                                                 nullptr, 0),
                          0);
            });
        EXPECT_EQ(out, "") << "a full queue drops blits without a word";
        EXPECT_EQ(DkGetPolyBlitCount(order), 2047);
        for (int other = 1; other <= 3; ++other)
        {
            if (other != order)
            {
                EXPECT_EQ(DkGetPolyBlitCount(other), before[other - 1]);
            }
        }
    }
    // Drawing empties every queue, and they fill again.
    Frame();
    for (int order = 1; order <= 3; ++order)
        EXPECT_EQ(DkGetPolyBlitCount(order), 0);
    EXPECT_EQ(Blit(kWhole8, dst, t, kWhite, BLIT_TO_FRONT), 1);
    EXPECT_EQ(DkGetPolyBlitCount(BLIT_TO_FRONT), 1);
}

TEST_F(PolyBlitTest, BadBlitsAreReportedAndOnlyHarmlessOnesQueued)
{
    DK_TEXTURE* t = Solid(8, 8, Rgb565(255, 0, 0));
    const DK_RECT dst{1, 2, 3, 4};
    const DK_RECT wide{0, 0, 9, 8};
    auto plain = [&](const DK_RECT* src, DK_TEXTURE* texture, const uint8_t* colour, int order)
    {
        return [=]
        { DkPolyAlphaBlit(src, &dst, texture, colour, order, 0, DK_PIVOT_CENTRE, nullptr, 0); };
    };
    auto rotated = [&](int order)
    {
        return [=]
        { DkPolyAlphaBlitRotated(&kWhole8, &dst, t, order, 90, DK_PIVOT_CENTRE, nullptr, 0); };
    };
    struct Case
    {
        const char* name;
        std::function<void()> call;
        const char* message;
        bool queued;
    };
    const std::string order =
        "(): Invalid BltOrder. Use BLIT_TO_FRONT, BLIT_TO_MIDDLE or BLIT_TO_BACK!";
    const std::string plainOrder = "DkPolyAlphaBlit" + order;
    const std::string rotatedOrder = "DkPolyAlphaBlitRotated" + order;
    const Case cases[] = {
        {"null texture", plain(&kWhole8, nullptr, kWhite, 2),
         "ERROR (DkPolyBlit): Texture passed is NULL (destrect = 1,2,3,4)", false},
        {"order 0", plain(&kWhole8, t, kWhite, 0), plainOrder.c_str(), false},
        {"order 4", plain(&kWhole8, t, kWhite, 4), plainOrder.c_str(), false},
        {"rotated order 0", rotated(0), rotatedOrder.c_str(), false},
        {"rotated order 4", rotated(4), rotatedOrder.c_str(), false},
        {"rotated order -1", rotated(-1), rotatedOrder.c_str(), false},
        {"source wider than the texture", plain(&wide, t, kWhite, 2),
         "ERROR (DkPolyAlphaBlit): Source rectangle outside textures dimensions!", true},
        {"no source rectangle", plain(nullptr, t, kWhite, 2),
         "ERROR (DkPolyAlphaBlit): Rectangle or colour passed is NULL", false},
        {"no colour", plain(&kWhole8, t, nullptr, 2),
         "ERROR (DkPolyAlphaBlit): Rectangle or colour passed is NULL", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const int before = DkGetPolyBlitCount(1) + DkGetPolyBlitCount(2) + DkGetPolyBlitCount(3);
        std::string out = CaptureOutput(c.call);
        EXPECT_TRUE(Reported(out, c.message)) << out;
        EXPECT_EQ(CountReports(out), 1) << out;
        const int after = DkGetPolyBlitCount(1) + DkGetPolyBlitCount(2) + DkGetPolyBlitCount(3);
        EXPECT_EQ(after - before, c.queued ? 1 : 0);
    }

    // Before the set-up and after the teardown, blits are reported and still queued.
    std::string out = CaptureOutput(
        [&]
        {
            EXPECT_TRUE(DkDestroyPolyBlits());
            DkDestroyPolyBlits();
            DkPolyAlphaBlit(&kWhole8, &dst, t, kWhite, 1, 0, DK_PIVOT_CENTRE, nullptr, 0);
            DkInitialisePolyBlits();
            DkInitialisePolyBlits();
        });
    EXPECT_TRUE(Reported(out, "ERROR(DkDestroyPolyBlits): Polygon Bitmaps NOT initialised!"))
        << out;
    EXPECT_TRUE(Reported(out, "ERROR(DkPolyAlphaBlit): Polygon blits NOT initialised!")) << out;
    EXPECT_TRUE(Reported(out, "ERROR(boPolyBlitsInitialised): Polygon Blits already initialised!"))
        << out;
    EXPECT_EQ(DkGetPolyBlitCount(1), 0) << "the set-up empties the queues";
    EXPECT_NE(Log().find("Polygon Bitmaps E.B. Has been initialised"), std::string::npos);
}

TEST_F(PolyBlitTest, ABlitKeepsItsAngleInTurnUnitsAndItsColourAsTheDeviceCanDrawIt)
{
    DK_TEXTURE* t = Solid(8, 8, Rgb565(255, 0, 0));
    const DK_RECT dst{1, 2, 3, 4};
    const DK_RECT clip{5, 6, 7, 8};
    struct Case
    {
        int degrees;
        int16_t units;
    };
    for (Case c : {Case{90, 1024}, Case{-90, -1024}, Case{45, 512}, Case{1, 11}, Case{-1, -11},
                   Case{359, 4084}, Case{3600, -24576}})
    {
        SCOPED_TRACE(c.degrees);
        ASSERT_EQ(Blit(kWhole8, dst, t, kWhite, 2, c.degrees), 1);
        const DK_POLYBLIT* b = DkGetPolyBlit(2, DkGetPolyBlitCount(2) - 1);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->angle, c.units);
        EXPECT_EQ(c.units & 4095, (c.degrees * 4096 / 360) & 4095) << "whole turns wrap away";
    }

    const uint8_t half[4] = {10, 20, 30, 128};
    ASSERT_EQ(Blit(kWhole8, dst, t, half, 3, 0, {7, 8, 9}, &clip, 0x91), 1);
    const DK_POLYBLIT* b = DkGetPolyBlit(3, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(b->colour, b->colour + 4),
              (std::vector<uint8_t>{10, 20, 30, 128}));
    EXPECT_EQ(b->clip.x, 5);
    EXPECT_EQ(b->clip.h, 8);
    EXPECT_EQ(b->pivot.z, 9);
    EXPECT_EQ(b->flags, 0x91u);
    EXPECT_EQ(b->order, 3);

    // Without alpha from textures every blit is opaque; the turned call is always grey.
    DkSetHardwareType(7);
    ASSERT_EQ(DkCapGetD(), 0);
    ASSERT_EQ(Blit(kWhole8, dst, t, half, 1), 1);
    b = DkGetPolyBlit(1, 0);
    EXPECT_EQ(b->colour[3], 255);
    EXPECT_EQ(b->clip.w, 0) << "no clip rectangle is all zero";
    DkSetHardwareType(0);
    ASSERT_EQ(DkPolyAlphaBlitRotated(&kWhole8, &dst, t, 1, 30, DK_PIVOT_CENTRE, nullptr, 0), 1);
    b = DkGetPolyBlit(1, 1);
    EXPECT_EQ(std::vector<uint8_t>(b->colour, b->colour + 4),
              (std::vector<uint8_t>{200, 200, 200, 255}));
    EXPECT_EQ(b->angle, 341);
}

// Back, middle, batch A, front, batch B: each layer covers the ones before it, whatever order
// the calls came in; inside a queue later blits cover earlier ones.
TEST_F(PolyBlitTest, QueuesAreDrawnBackToFrontAroundTheTriangleBatches)
{
    DK_TEXTURE* red = Solid(8, 8, Rgb565(255, 0, 0));
    DK_TEXTURE* green = Solid(8, 8, Rgb565(0, 255, 0));
    DK_TEXTURE* white = Solid(8, 8, Rgb565(255, 255, 255));
    const uint8_t blue[4] = {0, 0, 255, 255};
    const uint8_t yellow[4] = {255, 255, 0, 255};
    const DK_2D_VERTEX a[4] = {
        {20 << 16, 10 << 16}, {50 << 16, 10 << 16}, {20 << 16, 35 << 16}, {50 << 16, 35 << 16}};
    const DK_2D_VERTEX b[4] = {
        {40 << 16, 20 << 16}, {60 << 16, 20 << 16}, {40 << 16, 44 << 16}, {60 << 16, 44 << 16}};
    output += CaptureOutput(
        [&]
        {
            DkDraw2DTriangleB(&b[0], &b[1], &b[2], yellow, 0.0f);
            DkDraw2DTriangleB(&b[1], &b[3], &b[2], yellow, 0.0f);
        });
    Blit(kWhole8, {30, 15, 20, 20}, white, kWhite, BLIT_TO_FRONT);
    output += CaptureOutput(
        [&]
        {
            DkDraw2DTriangle(&a[0], &a[1], &a[2], blue, 0.5f);
            DkDraw2DTriangle(&a[1], &a[3], &a[2], blue, 0.5f);
        });
    Blit(kWhole8, {10, 5, 40, 30}, green, kWhite, BLIT_TO_MIDDLE);
    Blit(kWhole8, {0, 0, 40, 30}, red, kWhite, BLIT_TO_BACK);
    // A turned entry without a texture is passed over; the next one is still drawn.
    output += CaptureOutput(
        [&]
        {
            DkPolyAlphaBlitRotated(&kWhole8, &kWhole8, nullptr, BLIT_TO_BACK, 10, DK_PIVOT_CENTRE,
                                   nullptr, 0);
        });
    Blit(kWhole8, {2, 40, 6, 6}, green, kWhite, BLIT_TO_BACK);
    Blit(kWhole8, {4, 42, 6, 6}, red, kWhite, BLIT_TO_BACK);
    Frame();

    struct Spot
    {
        int x, y;
        Rgb colour;
    };
    const Spot spots[] = {
        {5, 3, {255, 0, 0}},       {15, 7, {0, 255, 0}},    {25, 12, {0, 0, 255}},
        {35, 18, {255, 255, 255}}, {45, 25, {255, 255, 0}}, {55, 40, {255, 255, 0}},
        {3, 41, {0, 255, 0}},      {6, 44, {255, 0, 0}},    {62, 2, Background()},
    };
    for (const Spot& s : spots)
        EXPECT_EQ(Pixel(s.x, s.y), s.colour) << s.x << ", " << s.y;
    EXPECT_EQ(DkGet2DTriangleCount(0) + DkGet2DTriangleCount(1), 0);
    ExpectGolden("overlay_order");
}

TEST_F(PolyBlitTest, ATurnedBlitTurnsAboutItsPivotInWholePixels)
{
    DK_TEXTURE* t = Solid(8, 8, Rgb565(255, 0, 0));
    const DK_RECT dst{10, 20, 20, 10};
    struct Case
    {
        int degrees;
        DK_VECTOR pivot;
        DK_RECT drawn;
    };
    const Case cases[] = {
        {0, {3, 3, 3}, dst},
        {90, DK_PIVOT_CENTRE, {15, 15, 10, 20}}, // about (20, 25)
        {-90, DK_PIVOT_CENTRE, {15, 15, 10, 20}},
        {180, DK_PIVOT_CENTRE, dst},
        {90, {10, 20, 0}, {0, 20, 10, 20}},
        {90, {10, 20, -1}, {0, 20, 10, 20}}, // a pivot is the centre only when all three are -1
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.degrees);
        Blit(kWhole8, dst, t, kWhite, BLIT_TO_MIDDLE, c.degrees, c.pivot);
        Frame();
        const DK_RECT drawn = Drawn();
        EXPECT_EQ(drawn.x, c.drawn.x);
        EXPECT_EQ(drawn.y, c.drawn.y);
        EXPECT_EQ(drawn.w, c.drawn.w);
        EXPECT_EQ(drawn.h, c.drawn.h);
    }
}

TEST_F(PolyBlitTest, MirrorFlagsTurnThePictureThroughItsTextureCoordinates)
{
    DK_TEXTURE* t = Quarters();
    DkSetTextureFilter(D3DFILTER_NEAREST);
    const DK_RECT dst{20, 10, 16, 16};
    struct Case
    {
        const char* name;
        uint32_t flags;
        int degrees;
        Rgb topLeft, bottomRight;
    };
    const Case cases[] = {
        {"none", 0, 0, {255, 0, 0}, {255, 255, 255}},
        {"text", DKPB_NONE, 0, {255, 0, 0}, {255, 255, 255}},
        {"horizontal", DKPB_MIRROR_U, 0, {0, 255, 0}, {0, 0, 255}},
        {"vertical", DKPB_MIRROR_V, 0, {0, 0, 255}, {0, 255, 0}},
        {"both", DKPB_MIRROR_BOTH, 0, {255, 255, 255}, {255, 0, 0}},
        {"half a turn", 0, 180, {255, 255, 255}, {255, 0, 0}},
    };
    std::vector<BYTE> both, halfTurn;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Blit(kWhole8, dst, t, kWhite, BLIT_TO_FRONT, c.degrees, DK_PIVOT_CENTRE, nullptr, c.flags);
        Frame();
        EXPECT_EQ(Pixel(21, 11), c.topLeft);
        EXPECT_EQ(Pixel(34, 24), c.bottomRight);
        if (c.flags == DKPB_MIRROR_BOTH)
            both = Corner();
        if (c.degrees == 180)
            halfTurn = Corner();
    }
    EXPECT_EQ(both, halfTurn) << "both mirrors show the picture as half a turn does";
}

TEST_F(PolyBlitTest, AdditiveAndTranslucentBlitsBlendWithWhatIsBehind)
{
    DK_TEXTURE* red = Solid(8, 8, Rgb565(128, 0, 0));
    DK_TEXTURE* green = Solid(8, 8, Rgb565(0, 128, 0));
    const DK_RECT dst{8, 8, 16, 16};
    const uint8_t half[4] = {255, 255, 255, 128};
    struct Case
    {
        const char* name;
        int hardwareType;
        const uint8_t* colour;
        uint32_t flags;
        Rgb expected;
    };
    const Case cases[] = {
        {"additive, type 0", 0, kWhite, DKPB_ADDITIVE, {128, 128, 0}},
        {"additive, type 1", 1, kWhite, DKPB_ADDITIVE, {128, 128, 0}},
        // INVSRCCOLOR, ONE: the green adds 128 * (1 - 128 / 255).
        {"additive, type 2", 2, kWhite, DKPB_ADDITIVE, {128, 64, 0}},
        {"translucent", 0, half, 0, {64, 64, 0}},
        {"translucent without texture alpha", 7, half, 0, {0, 128, 0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DkSetHardwareType(c.hardwareType);
        Blit(kWhole8, dst, red, kWhite, BLIT_TO_BACK);
        Blit(kWhole8, dst, green, c.colour, BLIT_TO_MIDDLE, 0, DK_PIVOT_CENTRE, nullptr, c.flags);
        Frame();
        const Rgb got = Pixel(15, 15);
        const Rgb want = c.expected;
        EXPECT_NEAR(got.r, want.r, 9);
        EXPECT_NEAR(got.g, want.g, 9);
        EXPECT_NEAR(got.b, want.b, 9);
        // Afterwards the blend is back to source alpha and depth writes are on.
        DWORD src = 0, dest = 0, zwrite = 0;
        d3d->lpD3DDevice2->GetRenderState(D3DRENDERSTATE_SRCBLEND, &src);
        d3d->lpD3DDevice2->GetRenderState(D3DRENDERSTATE_DESTBLEND, &dest);
        d3d->lpD3DDevice2->GetRenderState(D3DRENDERSTATE_ZWRITEENABLE, &zwrite);
        EXPECT_EQ(src, static_cast<DWORD>(D3DBLEND_SRCALPHA));
        EXPECT_EQ(dest, static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
        EXPECT_EQ(zwrite, 1u);
    }
}

TEST_F(PolyBlitTest, ClipRectanglesDepthTestsAndSurfaceBlits)
{
    DK_TEXTURE* red = Solid(8, 8, Rgb565(255, 0, 0));
    // 0 is the transparent colour of a surface blit.
    DK_TEXTURE* dots =
        Texture(8, 8, false, [](int x, int y) { return (x + y) % 2 ? Rgb565(0, 0, 255) : 0; });
    const DK_RECT all{0, 0, kWidth, kHeight};

    D3DVIEWPORT2 before{};
    before.dwSize = sizeof before;
    d3d->lpD3DViewport2->GetViewport2(&before);
    const DK_RECT clip{8, 6, 16, 10};
    Blit(kWhole8, all, red, kWhite, BLIT_TO_MIDDLE, 0, DK_PIVOT_CENTRE, &clip);
    Frame();
    DK_RECT drawn = Drawn();
    EXPECT_EQ(drawn.x, 8);
    EXPECT_EQ(drawn.y, 6);
    EXPECT_EQ(drawn.w, 16);
    EXPECT_EQ(drawn.h, 10);
    D3DVIEWPORT2 after{};
    after.dwSize = sizeof after;
    d3d->lpD3DViewport2->GetViewport2(&after);
    EXPECT_EQ(after.dwWidth, before.dwWidth) << "the viewport is restored";
    EXPECT_EQ(after.dwHeight, before.dwHeight);
    EXPECT_EQ(after.dvClipY, before.dvClipY);

    // A clip rectangle without area shows nothing, and nothing is reported.
    const DK_RECT flat{8, 6, 16, 0};
    Blit(kWhole8, all, red, kWhite, BLIT_TO_MIDDLE, 0, DK_PIVOT_CENTRE, &flat);
    std::string before2 = output;
    Frame();
    EXPECT_EQ(Drawn().w, 0);
    EXPECT_EQ(CountReports(output.substr(before2.size())), 0);

    // The scene leaves depth nearer than the back queue over the left half: a depth-tested
    // blit stays behind it, an untested one covers it; depth testing is off afterwards.
    auto scene = []
    {
        DkSetTextureHandle(0);
        const D3DTLVERTEX v[4] = {{0, 0, 0.2f, 1, 0xFF000000u, 0xFF000000u, 0, 0},
                                  {32, 0, 0.2f, 1, 0xFF000000u, 0xFF000000u, 0, 0},
                                  {0, 48, 0.2f, 1, 0xFF000000u, 0xFF000000u, 0, 0},
                                  {32, 48, 0.2f, 1, 0xFF000000u, 0xFF000000u, 0, 0}};
        d3d->lpD3DDevice2->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DVT_TLVERTEX, v, 4, 0);
    };
    for (uint32_t flags : {0u, static_cast<uint32_t>(DKPB_ZTEST)})
    {
        SCOPED_TRACE(flags);
        Blit(kWhole8, all, red, kWhite, BLIT_TO_BACK, 0, DK_PIVOT_CENTRE, nullptr, flags);
        Frame(scene);
        EXPECT_EQ(Pixel(10, 10), flags ? (Rgb{0, 0, 0}) : (Rgb{255, 0, 0}));
        EXPECT_EQ(Pixel(50, 10), (Rgb{255, 0, 0}));
    }
    DWORD zenable = 1;
    d3d->lpD3DDevice2->BeginScene();
    DkSetZEnable(0);
    Blit(kWhole8, all, red, kWhite, BLIT_TO_BACK, 0, DK_PIVOT_CENTRE, nullptr, DKPB_ZTEST);
    output += CaptureOutput([] { DkDrawPolyBlitQueue3(); });
    d3d->lpD3DDevice2->EndScene();
    d3d->lpD3DDevice2->GetRenderState(D3DRENDERSTATE_ZENABLE, &zenable);
    EXPECT_EQ(zenable, 0u);

    // A surface blit copies the texels to the back surface, colour 0 left out.
    Blit(kWhole8, {40, 30, 8, 8}, dots, kWhite, BLIT_TO_FRONT, 0, DK_PIVOT_CENTRE, nullptr,
         DKPB_SURFACE_BLIT);
    Frame();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(Pixel(40 + x, 30 + y), (x + y) % 2 ? (Rgb{0, 0, 255}) : Background())
                << x << ", " << y;
    drawn = Drawn();
    EXPECT_EQ(drawn.x, 40);
    EXPECT_EQ(drawn.w, 8);
}

TEST_F(PolyBlitTest, TurnedAndBlendedBlitsMatchTheirGoldenFrame)
{
    DK_TEXTURE* backdrop =
        Texture(16, 16, false, [](int x, int y) { return Rgb565(x * 16, y * 16, 96); });
    DK_TEXTURE* fade = Texture(
        8, 8, true, [](int x, int y) { return Argb4444(x * 32 + 16, 255, 224 - y * 24, 64); });
    DK_TEXTURE* glow = Solid(4, 4, Rgb565(96, 64, 32));
    DK_TEXTURE* arrow =
        Texture(8, 8, false,
                [](int x, int y) {
                    return x >= y / 2 && x < 8 - y / 2 ? Rgb565(255, 255, 255) : Rgb565(32, 32, 32);
                });
    const uint8_t pink[4] = {255, 128, 255, 255};
    const uint8_t faint[4] = {255, 255, 255, 160};
    const DK_RECT whole4{0, 0, 4, 4};

    Blit({0, 0, 16, 16}, {0, 0, kWidth, kHeight}, backdrop, kWhite, BLIT_TO_BACK);
    Blit(kWhole8, {8, 8, 24, 16}, fade, kWhite, BLIT_TO_MIDDLE, 30);
    Blit(whole4, {36, 4, 20, 20}, glow, kWhite, BLIT_TO_MIDDLE, 0, DK_PIVOT_CENTRE, nullptr,
         DKPB_ADDITIVE);
    Blit(kWhole8, {30, 26, 30, 18}, fade, pink, BLIT_TO_FRONT, 0, DK_PIVOT_CENTRE, nullptr,
         DKPB_MIRROR_U);
    Blit(kWhole8, {4, 30, 12, 12}, arrow, faint, BLIT_TO_FRONT, -45, {10, 36, 0});
    const DK_RECT needle{20, 30, 8, 14};
    output += CaptureOutput(
        [&]
        {
            DkPolyAlphaBlitRotated(&kWhole8, &needle, arrow, BLIT_TO_FRONT, 120, DK_PIVOT_CENTRE,
                                   nullptr, DKPB_MIRROR_V);
        });
    Frame();
    ExpectGolden("pblit_turned_blended");
}

} // namespace
