// 3D bitmaps, read from the device's call log: the queue's limits (the 600 bitmaps and 600
// calls of a frame, the 400 of one call, chains cut short), where each kind of quad puts its
// corners and texture, the colours and blending of additive quads; and a golden frame of both
// kinds, additive and not.
#include "engine/pc/3d/dk_3dbmp.h"

#include <deque>
#include <functional>

#include "tests/engine/render_fixture.h"

namespace
{

using Strings = std::vector<std::string>;

class BitmapTest : public RenderTest
{
public:
    void SetUp() override
    {
        RenderTest::SetUp();
        if (HasFatalFailure())
            return;
        output += CaptureOutput([] { DkInitialise3DBitmaps(); });
        FakeMaterial(7, 907);
        FakeTexture(20, 120, 7);
        texture = d3d->apTextures[20];
        camera = Actor(nullptr);
    }

    // A chain of n records, each at (x, 0, 0) for x its place in the chain, with extents
    // e3..e8 and colour bytes A and B.
    DK_3DBITMAP* Chain(int n, std::array<int32_t, 6> extents = {}, uint8_t a = 0x80,
                       uint8_t b = 0x40)
    {
        DK_3DBITMAP* first = nullptr;
        DK_3DBITMAP* last = nullptr;
        for (int i = 0; i < n; ++i)
        {
            DK_3DBITMAP& r = records.emplace_back();
            r = DK_3DBITMAP{};
            r.Position = {i * ONE, 0, 0};
            std::copy(extents.begin(), extents.end(), r.axExtent);
            r.uColourA = 0xFFFFFF00u | a; // only the low bytes count
            r.uColourB = 0x12345600u | b;
            (last != nullptr ? last->pNext : first) = &r;
            last = &r;
        }
        return first;
    }

    std::string Queue(const DK_3DBITMAP* first, int n, uint8_t type = DK3DB_SCREEN_ALIGNED,
                      int flip = 0)
    {
        return CaptureOutput([&] { DkDraw3DBitmap(first, n, texture, type, flip); });
    }

    std::string Process()
    {
        return CaptureOutput([&] { DkProcess3DBitmaps(camera); });
    }

    std::deque<DK_3DBITMAP> records; // a deque keeps the chained records where they are
    DK_TEXTURE* texture = nullptr;
    DK_ACTOR* camera = nullptr;
};

TEST_F(BitmapTest, TheQueueKeepsItsLimitsAndDrawsOneCallPerQueuedCall)
{
    struct Case
    {
        const char* name;
        std::function<std::string(BitmapTest&)> queue; // what it reported
        int queued, batches;
        const char* report;        // or NULL
        std::vector<size_t> drawn; // quads of each draw
    };
    const Case cases[] = {
        {"598 queued refuse a call of 2 silently",
         [](BitmapTest& t)
         {
             std::string out = t.Queue(t.Chain(299), 299);
             out += t.Queue(t.Chain(299), 299);
             return out + t.Queue(t.Chain(2), 2);
         },
         598,
         2,
         nullptr,
         {299, 299}},
        {"598 queued take a call of 1",
         [](BitmapTest& t)
         {
             std::string out = t.Queue(t.Chain(299), 299);
             out += t.Queue(t.Chain(299), 299);
             return out + t.Queue(t.Chain(1), 1);
         },
         599,
         3,
         nullptr,
         {299, 299, 1}},
        {"one call queues the first 400 of a longer chain",
         [](BitmapTest& t) { return t.Queue(t.Chain(450), 450); },
         400,
         1,
         nullptr,
         {400}},
        {"a chain cut short queues and draws what it holds",
         [](BitmapTest& t) { return t.Queue(t.Chain(2), 5); },
         2,
         1,
         "ERROR: The bitmap is NULL!",
         {2}},
        {"a chain cut at its start takes a slot and draws nothing",
         [](BitmapTest& t)
         {
             std::string out = t.Queue(nullptr, 1);
             return out + t.Queue(t.Chain(1), 1);
         },
         1,
         2,
         "ERROR: The bitmap is NULL!",
         {1}},
        {"calls of 0 take a slot each and draw nothing",
         [](BitmapTest& t)
         {
             std::string out = t.Queue(t.Chain(1), 0);
             return out + t.Queue(t.Chain(3), 3);
         },
         3,
         2,
         "ERROR (DkDraw3DBitmap): Number of bitmaps is NOT > 0",
         {3}},
        {"a negative count is refused",
         [](BitmapTest& t) { return t.Queue(t.Chain(1), -1); },
         0,
         0,
         "ERROR (DkDraw3DBitmap): Number of bitmaps is NOT > 0",
         {}},
        {"no texture, nothing queued",
         [](BitmapTest& t)
         {
             DK_3DBITMAP* b = t.Chain(1);
             return CaptureOutput([&] { DkDraw3DBitmap(b, 1, nullptr, 2, 0); });
         },
         0,
         0,
         "ERROR (DkDraw3DBitmap): Texture passed is NULL",
         {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string out = c.queue(*this);
        EXPECT_EQ(DkGet3DBitmapCount(), c.queued);
        EXPECT_EQ(DkGet3DBitmapBatchCount(), c.batches);
        EXPECT_EQ(CountReports(out), c.report != nullptr ? 1 : 0) << out;
        if (c.report != nullptr)
        {
            EXPECT_TRUE(Reported(out, c.report)) << out;
        }
        Forget();
        Process();
        std::vector<size_t> drawn;
        for (const D3dLoggedCall& d : Draws())
        {
            EXPECT_EQ(d.vertices.size(), 4 * d.indices.size() / 6);
            for (size_t i = 0; i < d.indices.size(); ++i)
                EXPECT_EQ(d.indices[i] / 4, i / 6) << "quad by quad";
            // Every quad drawn is one queued, in order: quad q of the chain lies at x = q.
            EXPECT_EQ(d.vertices.front().x, 0.0f);
            EXPECT_EQ(d.vertices.back().x, static_cast<float>(d.vertices.size() / 4 - 1));
            drawn.push_back(d.vertices.size() / 4);
        }
        EXPECT_EQ(drawn, c.drawn);
        EXPECT_EQ(DkGet3DBitmapCount(), 0);
        EXPECT_EQ(DkGet3DBitmapBatchCount(), 0);
    }
}

TEST_F(BitmapTest, AfterSixHundredCallsFurtherCallsAreReportedAndDropped)
{
    DK_3DBITMAP* one = Chain(1);
    output += CaptureOutput(
        [&]
        {
            for (int i = 0; i < 599; ++i)
                DkDraw3DBitmap(one, 0, texture, DK3DB_SCREEN_ALIGNED, 0);
        });
    EXPECT_EQ(Queue(Chain(1), 1), "");
    ASSERT_EQ(DkGet3DBitmapBatchCount(), 600);
    const std::string out = Queue(Chain(1), 1);
    EXPECT_TRUE(Reported(out, "ERROR (DkDraw3DBitmap): Exceeded texture block array !")) << out;
    EXPECT_EQ(DkGet3DBitmapCount(), 1);
    Process();
    EXPECT_EQ(Draws().size(), 1u);
}

// Corners of a bitmap at (1, 2, 3) with e3..e8 = (-0.5, -1, 0, 0.5, 1, 0): (a, b) are (-1, -0.5),
// (-1, 0.5), (1, -0.5), (1, 0.5). The camera looks along (0.6, 0.8, 0) with X = (0, 0, -1) and
// Y = (-0.8, 0.6, 0).
TEST_F(BitmapTest, EachKindPlacesItsCornersAndTextureAsItFacesTheCamera)
{
    camera->World.m[0][2] = -ONE;
    camera->World.m[0][0] = 0;
    camera->World.m[1][0] = Fx(-0.8);
    camera->World.m[1][1] = Fx(0.6);
    camera->World.m[2][0] = Fx(0.6);
    camera->World.m[2][1] = Fx(0.8);
    camera->World.m[2][2] = 0;
    camera->World.m[3][0] = Fx(50); // where the camera stands plays no part
    struct Case
    {
        const char* name;
        uint8_t type;
        int flip;
        float xyz[4][3];
        float uv[4][2];
    };
    const Case cases[] = {
        {"screen-aligned: p + a X + b Y",
         DK3DB_SCREEN_ALIGNED,
         0,
         {{1.4f, 1.7f, 4}, {0.6f, 2.3f, 4}, {1.4f, 1.7f, 2}, {0.6f, 2.3f, 2}},
         {{0, 1}, {0, 0}, {1, 1}, {1, 0}}},
        {"screen-aligned, flipped",
         DK3DB_SCREEN_ALIGNED,
         1,
         {{1.4f, 1.7f, 4}, {0.6f, 2.3f, 4}, {1.4f, 1.7f, 2}, {0.6f, 2.3f, 2}},
         {{1, 1}, {1, 0}, {0, 1}, {0, 0}}},
        // Across the view on the ground: (nx, nz) = -(0.6, 0) normalised = (-1, 0).
        {"upright: turned about the vertical only",
         DK3DB_UPRIGHT,
         0,
         {{1, 1, 2.5f}, {1, 1, 3.5f}, {1, 3, 2.5f}, {1, 3, 3.5f}},
         {{1, 1}, {0, 1}, {1, 0}, {0, 0}}},
        {"upright, flipped",
         DK3DB_UPRIGHT,
         1,
         {{1, 1, 2.5f}, {1, 1, 3.5f}, {1, 3, 2.5f}, {1, 3, 3.5f}},
         {{0, 1}, {1, 1}, {0, 0}, {1, 0}}},
        {"both bits: screen-aligned",
         DK3DB_SCREEN_ALIGNED | DK3DB_UPRIGHT,
         0,
         {{1.4f, 1.7f, 4}, {0.6f, 2.3f, 4}, {1.4f, 1.7f, 2}, {0.6f, 2.3f, 2}},
         {{0, 1}, {0, 0}, {1, 1}, {1, 0}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DK_3DBITMAP* b = Chain(1, {Fx(-0.5), -ONE, 0, Fx(0.5), ONE, 0});
        b->Position = {ONE, 2 * ONE, 3 * ONE};
        Queue(b, 1, c.type, c.flip);
        Process();
        const auto draws = Draws();
        ASSERT_EQ(draws.size(), 1u);
        for (int k = 0; k < 4; ++k)
        {
            const D3DLVERTEX& v = draws[0].vertices[k];
            EXPECT_NEAR(v.x, c.xyz[k][0], 1.0 / 1024) << k;
            EXPECT_NEAR(v.y, c.xyz[k][1], 1.0 / 1024) << k;
            EXPECT_NEAR(v.z, c.xyz[k][2], 1.0 / 1024) << k;
            EXPECT_EQ(v.tu, c.uv[k][0]) << k;
            EXPECT_EQ(v.tv, c.uv[k][1]) << k;
            EXPECT_EQ(v.specular, 0xFF000000u);
            EXPECT_EQ(v.dwReserved, 0u);
        }
    }
}

TEST_F(BitmapTest, AParentActorPlacesThePositionWhenItIsDrawn)
{
    DK_ACTOR* parent = Actor(nullptr);
    DK_3DBITMAP* b = Chain(1);
    b->Position = {ONE, 0, 0};
    b->pParent = parent;
    Queue(b, 1);
    // A quarter turn about Y (X to -Z) and a move to (10, 0, 0), after the queueing.
    parent->World = {{{0, 0, -ONE, 0}, {0, ONE, 0, 0}, {ONE, 0, 0, 0}, {10 * ONE, 0, 0, ONE}}};
    Process();
    const auto draws = Draws();
    ASSERT_EQ(draws.size(), 1u);
    for (const D3DLVERTEX& v : draws[0].vertices)
    {
        EXPECT_EQ(v.x, 10.0f);
        EXPECT_EQ(v.y, 0.0f);
        EXPECT_EQ(v.z, -1.0f);
    }
}

// Plain quads take A as alpha and B as grey; additive ones A as grey, opaque, added with the
// pair the device does best and without depth writes.
TEST_F(BitmapTest, AdditiveQuadsAddTheirGreyWithoutWritingDepth)
{
    struct Case
    {
        const char* name;
        uint8_t type;
        int hardwareType;
        bool zBufferless;
        uint32_t colour;
        Strings sent;
    };
    const Strings plain = {"material 907", "TEXTUREHANDLE 120", "draw 2 4/6"};
    auto additive = [](const char* alphaBlend, int source)
    {
        Strings s = {"material 907", "TEXTUREHANDLE 120"};
        if (alphaBlend != nullptr)
            s.push_back(alphaBlend);
        s.insert(s.end(), {"SRCBLEND " + std::to_string(source), "DESTBLEND 2", "ZWRITEENABLE 0",
                           "draw 2 4/6", "ZWRITEENABLE 1", "SRCBLEND 5", "DESTBLEND 6"});
        return s;
    };
    const Case cases[] = {
        {"plain", DK3DB_SCREEN_ALIGNED, 0, false, 0x80404040, plain},
        {"plain upright", DK3DB_UPRIGHT, 2, false, 0x80404040, plain},
        {"additive, type 0", 6, 0, false, 0xFF808080, additive("ALPHABLENDENABLE 1", 2)},
        {"additive, type 1", 6, 1, false, 0xFF808080, additive("ALPHABLENDENABLE 1", 2)},
        {"additive, type 2", 6, 2, false, 0xFF808080, additive("ALPHABLENDENABLE 1", 4)},
        {"additive, type 3", 6, 3, false, 0xFF808080, additive(nullptr, 4)},
        {"additive, type 2 without a z-buffer", 6, 2, true, 0xFF808080,
         additive("ALPHABLENDENABLE 1", 2)},
        {"additive upright", DK3DB_UPRIGHT | DK3DB_ADDITIVE, 4, false, 0xFF808080,
         additive("ALPHABLENDENABLE 1", 4)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Card([&](D3DPRIMCAPS& tri)
             { tri.dwRasterCaps |= c.zBufferless ? D3DPRASTERCAPS_ZBUFFERLESSHSR : 0; });
        DkSetHardwareType(c.hardwareType);
        DkSetMaterialHandle(0);
        DkSetTextureHandle(0);
        Queue(Chain(1, {}, 0x80, 0x40), 1, c.type);
        Forget();
        Process();
        const auto& log = D3dCallLog();
        const size_t at = seen;
        EXPECT_EQ(Calls(), c.sent);
        for (size_t i = at; i < log.size(); ++i)
            if (log[i].call == D3dCall::Draw)
            {
                for (const D3DLVERTEX& v : log[i].vertices)
                    EXPECT_EQ(v.color, c.colour);
            }
    }
    DkSetHardwareType(0);
}

TEST_F(BitmapTest, AnInvalidTypeIsReportedAndKeepsItsPlacesAsAQuadOfNoArea)
{
    DK_3DBITMAP* first = Chain(1, {-ONE, -ONE, 0, ONE, ONE, 0});
    first->Position = {5 * ONE, 6 * ONE, 7 * ONE};
    Queue(first, 1, DK3DB_ADDITIVE);
    DK_3DBITMAP* second = Chain(1, {-ONE, -ONE, 0, ONE, ONE, 0});
    second->Position = {ONE, ONE, ONE};
    Queue(second, 1, DK3DB_SCREEN_ALIGNED);
    const std::string out = Process();
    EXPECT_TRUE(Reported(out, "DkProcess3DBitmaps(): Hey, Bitmap type is invalid!")) << out;
    EXPECT_EQ(CountReports(out), 1);
    const auto draws = Draws();
    ASSERT_EQ(draws.size(), 2u);
    for (const D3DLVERTEX& v : draws[0].vertices)
        EXPECT_TRUE(v.x == 5.0f && v.y == 6.0f && v.z == 7.0f);
    // The next call's quad is its own, not shifted onto the invalid one's places.
    EXPECT_EQ(draws[1].vertices[0].x, 0.0f);
    EXPECT_EQ(draws[1].vertices[3].x, 2.0f);
}

TEST_F(BitmapTest, UseBeforeSetUpIsReportedAndARefusedDrawIsReportedAndTheNextDrawn)
{
    output += CaptureOutput([] { DkInitialise3DBitmaps(); });
    EXPECT_TRUE(Reported(output, "ERROR(DkInitialise3DBitmaps): 3DBitmaps already initialised!"))
        << output;
    Queue(Chain(1), 1);
    Queue(Chain(2), 2);
    D3dFailDrawsForTests(DDERR_INVALIDPARAMS, 1);
    std::string out = Process();
    EXPECT_EQ(CountReports(out), 1) << out;
    EXPECT_EQ(Draws().size(), 2u);

    output += CaptureOutput([] { DkDestroy3DBitmaps(); });
    out = CaptureOutput([] { DkDestroy3DBitmaps(); });
    EXPECT_TRUE(Reported(out, "ERROR(DkDestroy3DBitmaps): 3DBitmaps NOT initialised!")) << out;
    out = Queue(Chain(1), 1);
    EXPECT_TRUE(Reported(out, "ERROR(DkDraw3DBitmap): 3DBitmaps NOT initialised!")) << out;
    out = Process();
    EXPECT_TRUE(Reported(out, "ERROR(DkDestroy3DBitmaps): 3DBitmaps NOT initialised!")) << out;
    output += CaptureOutput([] { DkInitialise3DBitmaps(); });
}

// Two kinds side by side from 4 units back, each plain above and additive below, over a
// grey backdrop: screen-aligned with a round, soft-edged texture with alpha, upright (the plain
// one flipped) with a striped one without.
TEST_F(BitmapTest, GoldenBothKindsPlainAndAdditive)
{
    DK_TEXTURE* round = Texture(16, 16, true,
                                [](int x, int y)
                                {
                                    const int dx = 2 * x - 15, dy = 2 * y - 15;
                                    const int d2 = dx * dx + dy * dy;
                                    // Black outside, so that adding it adds nothing.
                                    if (d2 >= 225)
                                        return Argb4444(0, 0, 0, 0);
                                    return Argb4444(d2 < 100 ? 255 : 128, 255, 200, 64);
                                });
    DK_TEXTURE* stripes =
        Texture(16, 16, false,
                [](int x, int) { return x / 4 % 2 ? Rgb565(40, 200, 255) : Rgb565(255, 60, 60); });
    ASSERT_NE(round, nullptr);
    ASSERT_NE(stripes, nullptr);

    const DK_VECTOR eye = {0, 0, Fx(-4)};
    DK_ACTOR* world = World();
    output += CaptureOutput([&] { camera = DkCreateCamera(&eye, nullptr, nullptr, world); });
    DK_ACTOR* backdrop = Actor(Model({Quad(-1, 0xFF606060, 3.0f)}));
    DkSetActor(backdrop, nullptr, nullptr);
    UpdateActors();
    DkSetCameraTransform(camera);

    const std::array<int32_t, 6> extents = {Fx(-0.6), Fx(-0.6), 0, Fx(0.6), Fx(0.6), 0};
    auto at = [&](double x, double y, uint8_t a, uint8_t b)
    {
        DK_3DBITMAP* r = Chain(1, extents, a, b);
        r->Position = {Fx(x), Fx(y), Fx(-0.5)};
        return r;
    };
    CornerViewport();
    Frame(
        [&]
        {
            DkSelectListTexture(-1, TRUE);
            DrawObject(backdrop, 0);
            DkDraw3DBitmap(at(-1.4, 0.8, 0xC0, 0xFF), 1, round, DK3DB_SCREEN_ALIGNED, 0);
            DkDraw3DBitmap(at(-1.4, -0.8, 0x90, 0), 1, round, DK3DB_SCREEN_ALIGNED | DK3DB_ADDITIVE,
                           0);
            DkDraw3DBitmap(at(1.4, 0.8, 0xFF, 0xFF), 1, stripes, DK3DB_UPRIGHT, 1);
            DkDraw3DBitmap(at(1.4, -0.8, 0x70, 0), 1, stripes, DK3DB_UPRIGHT | DK3DB_ADDITIVE, 0);
            DkSetTranslucent(1);
            DkSetTextureFilter(D3DFILTER_NEAREST);
            DkProcess3DBitmaps(camera);
            DkSetTextureFilter(D3DFILTER_LINEAR);
            DkSetTranslucent(0);
        });
    EXPECT_EQ(output.find("ASSERT"), std::string::npos) << output;
    ExpectGolden("3dbmp_kinds_plain_and_additive");
}

} // namespace
