// Debug lines, read from the device's call log: the 10,000 of a frame, the two vertices of a
// line, the device's refusals reported and drawing going on, and the calls refused before set-up.
#include "engine/pc/3d/dk_line.h"

#include "tests/engine/render_fixture.h"

namespace
{

using Strings = std::vector<std::string>;

class LineTest : public RenderTest
{
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        if (HasFatalFailure())
            return;
        output += CaptureOutput([] { DkInitialiseLines(); });
    }

    std::string Lines(int n)
    {
        return CaptureOutput(
            [&]
            {
                for (int i = 0; i < n; ++i)
                {
                    const DK_VECTOR start = {i * ONE, 0, 0}, end = {i * ONE, ONE, 0};
                    DkDrawLine(&start, &end, colour, nullptr);
                }
            });
    }

    std::string Render()
    {
        return CaptureOutput([] { DkRenderLines(nullptr); });
    }

    const uint8_t colour[4] = {0x10, 0x20, 0x30, 0x40};
};

TEST_F(LineTest, The10001stLineIsDroppedAndTheQueueTakes10000AgainAfterDrawing)
{
    for (int frame = 0; frame < 2; ++frame)
    {
        SCOPED_TRACE(frame);
        EXPECT_EQ(Lines(10001), "");
        EXPECT_EQ(gnNumLines, 10000);
        Render();
        const auto draws = Draws();
        ASSERT_EQ(draws.size(), 10000u) << "one draw a line";
        EXPECT_EQ(draws.back().vertices[0].x, 9999.0f);
        EXPECT_EQ(gnNumLines, 0);
    }
    Render();
    EXPECT_EQ(Calls(), Strings{}) << "an empty queue makes no device call";
}

// The start vertex carries the colour with its alpha, the end the colour with alpha 0; the
// rest is zero; the lines are drawn untextured with whatever transforms the device holds.
TEST_F(LineTest, ALineIsTwoVerticesFadingToNoAlphaAtItsEnd)
{
    const DK_VECTOR start = {Fx(1.5), Fx(-2), Fx(0.25)}, end = {Fx(-3), Fx(4), Fx(100)};
    DK_ACTOR* actor = Actor(nullptr);
    DkDrawLine(&start, &end, colour, actor);
    EXPECT_EQ(gaLines[0].pActor, actor);
    DkSetTextureHandle(5);
    DkSetMaterialHandle(6);
    Forget();
    Render();
    const auto& log = D3dCallLog();
    const size_t at = seen;
    EXPECT_EQ(Calls(), (Strings{"material 0", "TEXTUREHANDLE 0", "draw 2 2/0"}));
    const D3dLoggedCall& draw = log[at + 2];
    EXPECT_EQ(draw.what, static_cast<DWORD>(D3DPT_LINELIST));
    EXPECT_EQ(draw.flags, D3DDP_DONOTUPDATEEXTENTS);
    const D3DLVERTEX want[2] = {{1.5f, -2.0f, 0.25f, 0, 0x40102030u, 0, 0, 0},
                                {-3.0f, 4.0f, 100.0f, 0, 0x00102030u, 0, 0, 0}};
    for (int k = 0; k < 2; ++k)
        EXPECT_EQ(std::memcmp(&draw.vertices[k], &want[k], sizeof want[k]), 0) << k;
}

TEST_F(LineTest, RefusedLinesAreReportedByTheirResultAndDrawingGoesOn)
{
    struct Case
    {
        HRESULT result;
        const char* message;
    };
    const Case cases[] = {
        {D3DERR_INVALIDRAMPTEXTURE, "Line:invalid ramp"},
        {E_INVALIDARG, "Line:invalid PARAM"},
        {DDERR_SURFACELOST, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.result);
        Lines(3);
        D3dFailDrawsForTests(c.result, 2);
        const std::string out = Render();
        EXPECT_EQ(CountReports(out), c.message != nullptr ? 2 : 0) << out;
        if (c.message != nullptr)
        {
            EXPECT_TRUE(Reported(out, c.message)) << out;
        }
        const auto draws = Draws();
        ASSERT_EQ(draws.size(), 3u);
        EXPECT_EQ(draws[2].result, D3D_OK);
    }
    EXPECT_EQ(static_cast<uint32_t>(D3DERR_INVALIDRAMPTEXTURE), 0x887602E3u);
}

TEST_F(LineTest, ANullVectorOrALineBeforeSetUpIsReportedAndQueuesNothing)
{
    const DK_VECTOR v = {0, 0, 0};
    std::string out = CaptureOutput([&] { DkDrawLine(&v, nullptr, colour, nullptr); });
    EXPECT_TRUE(Reported(out, "DkDrawLine(): One of the passed vectors is NULL!")) << out;
    out = CaptureOutput([&] { DkDrawLine(nullptr, &v, colour, nullptr); });
    EXPECT_TRUE(Reported(out, "DkDrawLine(): One of the passed vectors is NULL!")) << out;
    EXPECT_EQ(gnNumLines, 0);

    out = CaptureOutput([] { DkInitialiseLines(); });
    EXPECT_TRUE(Reported(out, "DkInitialiseLines(): Already initialised!")) << out;
    out = CaptureOutput([] { DkLineDestructor(); });
    EXPECT_EQ(CountReports(out), 0) << out;
    EXPECT_NE(out.find("DkLineDestructor"), std::string::npos) << out;
    out = CaptureOutput([&] { DkDrawLine(&v, &v, colour, nullptr); });
    EXPECT_EQ(CountReports(out), 1) << out;
    EXPECT_EQ(gnNumLines, 0);
    out = CaptureOutput([] { DkLineDestructor(); });
    EXPECT_TRUE(Reported(out, "DkLineDestructor(): Lines have not been initialised!")) << out;
    output += CaptureOutput([] { DkInitialiseLines(); });
}

} // namespace
