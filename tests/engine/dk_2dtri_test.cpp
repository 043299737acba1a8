// The 2D triangle batches: their limits and reports, how they are drawn (both windings of the
// first two triangles, nothing stale), and the device getters kept beside them.
#include "tests/engine/overlay_fixture.h"

namespace
{

using DrawFn = BOOL (*)(const DK_2D_VERTEX*, const DK_2D_VERTEX*, const DK_2D_VERTEX*,
                        const uint8_t*, float);

constexpr int32_t Px(double pixels)
{
    return static_cast<int32_t>(pixels * 65536.0);
}

class TriangleBatchTest : public OverlayTest
{
protected:
    BOOL Triangle(DrawFn draw, DK_2D_VERTEX p0, DK_2D_VERTEX p1, DK_2D_VERTEX p2,
                  const uint8_t* colour, float z = 0.5f)
    {
        BOOL queued = FALSE;
        output += CaptureOutput([&] { queued = draw(&p0, &p1, &p2, colour, z); });
        return queued;
    }
};

const uint8_t kRed[4] = {255, 0, 0, 255};

TEST_F(TriangleBatchTest, EachBatchTakes2047TrianglesWhateverTheOtherHolds)
{
    struct Case
    {
        const char* name;
        DrawFn draw;
        int batch;
        DrawFn other;
    };
    const Case cases[] = {{"A", DkDraw2DTriangle, 0, DkDraw2DTriangleB},
                          {"B", DkDraw2DTriangleB, 1, DkDraw2DTriangle}};
    const DK_2D_VERTEX p0{0, 0}, p1{Px(4), 0}, p2{0, Px(4)};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string out = CaptureOutput(
            [&]
            {
                for (int i = 0; i < MAX_2DTRI; ++i)
                    ASSERT_TRUE(c.draw(&p0, &p1, &p2, kRed, 0.0f));
            });
        EXPECT_EQ(out, "");
        EXPECT_EQ(DkGet2DTriangleCount(c.batch), MAX_2DTRI);
        out = CaptureOutput([&] { EXPECT_FALSE(c.draw(&p0, &p1, &p2, kRed, 0.0f)); });
        EXPECT_TRUE(Reported(
            out, "ERROR (DkDraw2DTriangle): The number of trianmglesis greater than MAX_2DTRI!"))
            << out;
        EXPECT_EQ(DkGet2DTriangleCount(c.batch), MAX_2DTRI);
        EXPECT_EQ(DkGet2DTriangleCount(1 - c.batch), 0);
        EXPECT_TRUE(Triangle(c.other, p0, p1, p2, kRed));
        EXPECT_EQ(DkGet2DTriangleCount(1 - c.batch), 1);
        Frame();
        EXPECT_EQ(DkGet2DTriangleCount(0) + DkGet2DTriangleCount(1), 0) << "drawn and emptied";
        EXPECT_EQ(Pixel(1, 1), (Rgb{255, 0, 0}));
    }
}

TEST_F(TriangleBatchTest, MissingPointersAndSetUpMistakesAreReported)
{
    const DK_2D_VERTEX p{0, 0};
    struct Case
    {
        const char* name;
        const DK_2D_VERTEX *p0, *p1, *p2;
        const uint8_t* colour;
    };
    const Case cases[] = {{"p0", nullptr, &p, &p, kRed},
                          {"p1", &p, nullptr, &p, kRed},
                          {"p2", &p, &p, nullptr, kRed},
                          {"colour", &p, &p, &p, nullptr}};
    for (DrawFn draw : {DkDraw2DTriangle, DkDraw2DTriangleB})
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            std::string out =
                CaptureOutput([&] { EXPECT_FALSE(draw(c.p0, c.p1, c.p2, c.colour, 0.0f)); });
            EXPECT_TRUE(Reported(
                out, "ERROR(DkDraw2DTriangle): Hey, At least one of your passed pointers is NULL!"))
                << out;
        }
    EXPECT_EQ(DkGet2DTriangleCount(0) + DkGet2DTriangleCount(1), 0);

    std::string out = CaptureOutput(
        []
        {
            DkProcess2DTriangles();
            DkInitialise2DTriangles();
        });
    EXPECT_EQ(CountOf(out, "ERROR(DkProcess2DTriangles)"), 0) << "an empty batch is no error";
    EXPECT_TRUE(Reported(out, "ERROR (DkInitialised2DTriangles): Already Initiailised")) << out;

    // Taken down, the batches still queue and draw, with a report each time.
    out = CaptureOutput(
        [&]
        {
            EXPECT_TRUE(DkDestroy2DTriangles());
            EXPECT_TRUE(DkDestroy2DTriangles());
        });
    EXPECT_TRUE(Reported(out, "ERROR (DkDestroy2DTriangles): Not Initiailised")) << out;
    EXPECT_EQ(CountReports(out), 1) << out;
    EXPECT_TRUE(Triangle(DkDraw2DTriangleB, {0, 0}, {Px(8), 0}, {0, Px(8)}, kRed));
    EXPECT_TRUE(Reported(output, "ERROR(DkDraw2DTriangle): 2D Triangles has not been initialised!"))
        << output;
    EXPECT_EQ(DkGet2DTriangleCount(1), 1);
    Frame();
    EXPECT_TRUE(
        Reported(output, "ERROR(DkProcess2DTriangles): 2D Triangles have not been initialised!"))
        << output;
    EXPECT_EQ(Pixel(2, 2), (Rgb{255, 0, 0}));
    EXPECT_EQ(DkGet2DTriangleCount(1), 0);
}

// The device culls counter-clockwise triangles (as the scene sets it for the overlays). The
// first two triangles of a batch are drawn wound either way; later ones only as wound; a lone
// triangle brings nothing of an earlier frame's batch with it.
TEST_F(TriangleBatchTest, TheFirstTwoTrianglesShowEitherWayRoundAndNothingStaleIsDrawn)
{
    const uint8_t green[4] = {0, 255, 0, 255};
    const uint8_t blue[4] = {0, 0, 255, 255};
    const uint8_t white[4] = {255, 255, 255, 255};
    // Clockwise on screen: right, then down and left.
    auto clockwise = [](int x, int y) {
        return std::array<DK_2D_VERTEX, 3>{
            {{Px(x), Px(y)}, {Px(x + 10), Px(y)}, {Px(x), Px(y + 10)}}};
    };
    auto anticlockwise = [](int x, int y) {
        return std::array<DK_2D_VERTEX, 3>{
            {{Px(x), Px(y)}, {Px(x), Px(y + 10)}, {Px(x + 10), Px(y)}}};
    };

    const auto first = clockwise(0, 0);
    const auto second = anticlockwise(20, 0);
    const auto third = anticlockwise(40, 0);
    const auto fourth = clockwise(0, 20);
    Triangle(DkDraw2DTriangle, first[0], first[1], first[2], kRed);
    Triangle(DkDraw2DTriangle, second[0], second[1], second[2], green);
    Triangle(DkDraw2DTriangle, third[0], third[1], third[2], blue);
    Triangle(DkDraw2DTriangle, fourth[0], fourth[1], fourth[2], white);
    Frame();
    EXPECT_EQ(Pixel(2, 2), (Rgb{255, 0, 0}));
    EXPECT_EQ(Pixel(22, 2), (Rgb{0, 255, 0}));
    EXPECT_EQ(Pixel(42, 2), Background()) << "only the first two show when wound back";
    EXPECT_EQ(Pixel(2, 22), (Rgb{255, 255, 255}));

    const auto lone = clockwise(30, 30);
    Triangle(DkDraw2DTriangle, lone[0], lone[1], lone[2], kRed);
    Frame();
    EXPECT_EQ(Pixel(32, 32), (Rgb{255, 0, 0}));
    EXPECT_EQ(Pixel(22, 2), Background()) << "last frame's second triangle is not drawn again";
    DK_RECT drawn = Drawn();
    EXPECT_EQ(drawn.x, 30);
    EXPECT_EQ(drawn.y, 30);

    // A filled rectangle becomes two triangles of batch B covering exactly its pixels.
    const DK_RECT rect{5, 6, 10, 7};
    output += CaptureOutput([&] { DkFillPolyRect(&d2d->BackSurface, &rect, kRed); });
    EXPECT_EQ(DkGet2DTriangleCount(1), 2);
    Frame();
    drawn = Drawn();
    EXPECT_EQ(drawn.x, rect.x);
    EXPECT_EQ(drawn.y, rect.y);
    EXPECT_EQ(drawn.w, rect.w);
    EXPECT_EQ(drawn.h, rect.h);
}

TEST_F(TriangleBatchTest, BatchesMatchTheirGoldenFrame)
{
    const uint8_t orange[4] = {255, 160, 0, 255};
    const uint8_t teal[4] = {0, 160, 160, 255};
    const uint8_t glass[4] = {255, 255, 255, 128};
    const uint8_t purple[4] = {128, 0, 192, 200};
    // Batch A: a fan of colours, one reaching off the top left, at fractional positions.
    Triangle(DkDraw2DTriangle, {Px(-10), Px(-8)}, {Px(30.5), Px(2.25)}, {Px(4), Px(28.75)}, orange);
    Triangle(DkDraw2DTriangle, {Px(30.5), Px(2.25)}, {Px(50), Px(30)}, {Px(4), Px(28.75)}, teal);
    Triangle(DkDraw2DTriangle, {Px(36), Px(4)}, {Px(63), Px(10)}, {Px(50), Px(30)}, kRed);
    // Batch B over it, whatever depth either was given; translucent ones let it show through.
    Triangle(DkDraw2DTriangleB, {Px(10), Px(20)}, {Px(60), Px(24)}, {Px(20), Px(46)}, glass, 0.9f);
    Triangle(DkDraw2DTriangleB, {Px(0), Px(34)}, {Px(30), Px(40)}, {Px(-6), Px(60)}, purple, 1.0f);
    Frame();
    ExpectGolden("2dtri_batches");
}

TEST_F(TriangleBatchTest, TheDeviceGettersAnswerFromTheSurvey)
{
    EXPECT_EQ(DkGetNumDisplayDevices(), 1);
    EXPECT_TRUE(DkHasPointSampledTextures());
    D3DDEVICEDESC linearOnly = card;
    linearOnly.dpcTriCaps.dwTextureFilterCaps = D3DPTFILTERCAPS_LINEAR;
    D3dSetHardwareDescriptionForTests(&linearOnly);
    DkForgetDisplayCapabilities();
    DISPLAYCAPS caps{};
    output += CaptureOutput([&] { GetDisplayCapabilities(&caps, ghWnd); });
    EXPECT_EQ(DkGetNumDisplayDevices(), 1);
    EXPECT_FALSE(DkHasPointSampledTextures());
    DkForgetDisplayCapabilities();
    EXPECT_EQ(DkGetNumDisplayDevices(), 0);
    EXPECT_FALSE(DkHasPointSampledTextures());
}

} // namespace
