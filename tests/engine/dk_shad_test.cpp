// Car shadows, read from the device's call log: nothing on a device without a z-buffer, the
// eight of a frame, the vertices and triangles of the three shapes, their colours by what the
// device can show, the data kit's shadow image or none; and a golden frame of the three shapes
// on a sloped ground.
#include "engine/pc/3d/dk_shad.h"

#include <cmath>
#include <filesystem>
#include <set>

#include "engine/pc/core/dk_file.h"
#include "tests/engine/render_fixture.h"
#include "tools/datakit/image_writer.h"
#include "tools/datakit/install.h"

namespace
{

using Strings = std::vector<std::string>;

class ShadowTest : public RenderTest
{
protected:
    void TearDown() override
    {
        DkResetDataPathsForTests();
        RenderTest::TearDown();
    }

    // The data kit's shadow images under the disc root.
    void WriteImages()
    {
        const std::string dir = env.DriveC() + "/disc/images";
        std::filesystem::create_directories(dir);
        datakit::WriteImageFile(dir + "/shadpc.bmp", datakit::FormatBmp(datakit::ShadowColourImage(
                                                         datakit::kShadowImageSize)));
        datakit::WriteImageFile(dir + "/shadam.bmp", datakit::FormatBmp(datakit::ShadowAlphaImage(
                                                         datakit::kShadowImageSize)));
    }

    std::string Initialise()
    {
        DkSetCDPath("c:\\disc");
        return CaptureOutput([] { DkInitialiseShadows(); });
    }

    // A shadow whose point i lies at (i, 2i, 3i) + (0, 0, z).
    static DK_SHADOW Numbered(int32_t nShape, int z = 0)
    {
        DK_SHADOW s{};
        for (int i = 0; i < 11; ++i)
            s.aPoints[i] = {i * ONE, 2 * i * ONE, (3 * i + z) * ONE};
        s.nShape = nShape;
        return s;
    }

    std::string Process()
    {
        return CaptureOutput([] { DkProcessShadows(); });
    }
};

TEST_F(ShadowTest, ADeviceWithoutAZBufferHasNoShadowsAtAll)
{
    Card([](D3DPRIMCAPS& tri) { tri.dwRasterCaps |= D3DPRASTERCAPS_ZBUFFERLESSHSR; });
    WriteImages();
    const int textures = static_cast<int>(guNumTextures);
    const int materials = static_cast<int>(guNumMaterials);
    std::string out = Initialise();
    EXPECT_EQ(guNumTextures, static_cast<uint32_t>(textures));
    EXPECT_EQ(guNumMaterials, static_cast<uint32_t>(materials));
    EXPECT_FALSE(DkIsDestructorAdded(DkDestroyShadows));
    const DK_SHADOW s = Numbered(DK_SHADOW_QUAD);
    out += CaptureOutput([&] { DkDrawShadow(&s); });
    EXPECT_EQ(DkGetShadowCount(), 0);
    out += Process();
    EXPECT_EQ(Calls(), Strings{});
    EXPECT_EQ(CountReports(out), 0) << out;
}

TEST_F(ShadowTest, TheNinthShadowOfAFrameIsDroppedSilently)
{
    output += Initialise();
    const DK_SHADOW s = Numbered(DK_SHADOW_QUAD);
    const std::string out = CaptureOutput(
        [&]
        {
            for (int i = 0; i < 9; ++i)
                DkDrawShadow(&s);
        });
    EXPECT_EQ(CountReports(out), 0) << out;
    EXPECT_EQ(DkGetShadowCount(), 8);
    Process();
    EXPECT_EQ(Draws().size(), 8u);
    EXPECT_EQ(DkGetShadowCount(), 0);
    // A null shadow is reported and queues nothing.
    const std::string null = CaptureOutput([] { DkDrawShadow(nullptr); });
    EXPECT_TRUE(Reported(null, "DkDrawShadow(): Shadow points are NULL!")) << null;
    EXPECT_EQ(DkGetShadowCount(), 0);
}

// Vertices as point numbers (the centre is point 0 plus half of point 5 less point 0, so (2.5,
// 5, 7.5) of the numbered points), their colour as inner (I) or outer (O), and their
// texture coordinates.
TEST_F(ShadowTest, EachShapeDrawsItsOwnVerticesAndTriangles)
{
    struct Vertex
    {
        float point; // 2.5: the centre
        char colour;
        float u, v;
    };
    struct Case
    {
        const char* name;
        int32_t shape;
        D3DPRIMITIVETYPE type;
        std::vector<Vertex> vertices;
        std::vector<WORD> indices;
    };
    const std::vector<Vertex> quad = {
        {0, 'I', 0, 0}, {1, 'I', 1, 0}, {2, 'I', 1, 1}, {3, 'I', 0, 1}};
    auto ring = [&](std::initializer_list<int> points)
    {
        std::vector<Vertex> v = quad;
        float tv = 0.7f;
        for (int p : points)
        {
            v.push_back({static_cast<float>(p), 'O', 0, tv});
            tv = tv == 0.7f ? 0.3f : 0.7f;
        }
        v.push_back({2.5f, 'O', 0.5f, 0.5f});
        return v;
    };
    const Case cases[] = {
        {"a quad, as a strip",
         DK_SHADOW_QUAD,
         D3DPT_TRIANGLESTRIP,
         {{1, 'I', 1, 0}, {2, 'I', 1, 1}, {0, 'I', 0, 0}, {3, 'I', 0, 1}},
         {}},
        {"a ring of six",
         DK_SHADOW_RING6,
         D3DPT_TRIANGLELIST,
         ring({0, 1, 4, 5, 6, 3}),
         {0, 1, 3, 1, 2, 3, 5, 10, 4, 6, 10, 5, 7, 10, 6, 8, 10, 7, 9, 10, 8, 4, 10, 9}},
        {"a ring of ten",
         DK_SHADOW_RING10,
         D3DPT_TRIANGLELIST,
         ring({0, 1, 4, 5, 6, 7, 8, 9, 10, 3}),
         {0, 1,  3, 1,  2,  3, 5,  14, 4,  6,  14, 5,  7,  14, 6,  8, 14, 7,
          9, 14, 8, 10, 14, 9, 11, 14, 10, 12, 14, 11, 13, 14, 12, 4, 14, 13}},
    };
    output += Initialise();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        // An unknown shape between two of them draws nothing and takes no vertices.
        const DK_SHADOW s = Numbered(c.shape), unknown = Numbered(3, 100),
                        second = Numbered(c.shape, 1);
        DkDrawShadow(&s);
        DkDrawShadow(&unknown);
        DkDrawShadow(&second);
        Process();
        const auto draws = Draws();
        ASSERT_EQ(draws.size(), 2u);
        for (int d = 0; d < 2; ++d)
        {
            const D3dLoggedCall& draw = draws[d];
            EXPECT_EQ(draw.what, static_cast<DWORD>(c.type));
            EXPECT_EQ(draw.value, static_cast<DWORD>(D3DVT_LVERTEX));
            EXPECT_EQ(draw.flags, D3DDP_DONOTUPDATEEXTENTS);
            EXPECT_EQ(draw.indices, c.indices);
            ASSERT_EQ(draw.vertices.size(), c.vertices.size());
            for (size_t i = 0; i < c.vertices.size(); ++i)
            {
                const Vertex& want = c.vertices[i];
                const D3DLVERTEX& v = draw.vertices[i];
                EXPECT_EQ(v.x, want.point) << i;
                EXPECT_EQ(v.y, 2 * want.point) << i;
                EXPECT_EQ(v.z, 3 * want.point + static_cast<float>(d)) << i;
                EXPECT_EQ(v.color, want.colour == 'I' ? 0xC8000000u : 0xAA000000u) << i;
                EXPECT_EQ(v.specular, 0xFF000000u) << i;
                EXPECT_EQ(v.tu, want.u) << i;
                EXPECT_EQ(v.tv, want.v) << i;
            }
        }
    }
}

// Translucency shows with alpha in textures or beyond the first display mode; otherwise the
// shadows are opaque black.
TEST_F(ShadowTest, ShadowsAreOpaqueBlackWhereTranslucencyCannotShow)
{
    struct Case
    {
        const char* name;
        bool textureAlpha;
        bool secondMode;
        uint32_t inner, outer;
    };
    const Case cases[] = {
        {"texture alpha", true, false, 0xC8000000u, 0xAA000000u},
        {"no texture alpha, first mode", false, false, 0xFF000000u, 0xFF000000u},
        {"no texture alpha, second mode", false, true, 0xC8000000u, 0xAA000000u},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto change = [&](D3DPRIMCAPS& tri)
        { tri.dwTextureCaps &= c.textureAlpha ? ~0u : ~D3DPTEXTURECAPS_ALPHA; };
        if (c.secondMode)
        {
            ReopenInSecondMode(change);
            ASSERT_FALSE(HasFatalFailure());
        }
        else
            Card(change);
        output += Initialise();
        const DK_SHADOW s = Numbered(DK_SHADOW_RING6);
        DkDrawShadow(&s);
        Process();
        const auto draws = Draws();
        ASSERT_EQ(draws.size(), 1u);
        EXPECT_EQ(draws[0].vertices[0].color, c.inner);
        EXPECT_EQ(draws[0].vertices[10].color, c.outer);
    }
}

// The states around the draws: depth writes off, the shadow image (or none), and the next
// textured list selects its own texture again.
TEST_F(ShadowTest, ShadowsDrawWithTheirImageWithoutDepthWritesAndTheNextListSelectsItsOwn)
{
    struct Case
    {
        const char* name;
        bool images;
        bool hardware;
    };
    const Case cases[] = {
        {"hardware, with the images", true, true},
        {"software, with the images", true, false},
        {"without the images", false, true},
    };
    FakeMaterial(0, 900);
    FakeMaterial(3, 903);
    FakeTexture(10, 110, 3);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        if (c.images)
            WriteImages();
        else
            std::filesystem::remove_all(env.DriveC() + "/disc");
        output += CaptureOutput([] { DkDestroyShadows(); });
        const std::set<DK_TEXTURE*> before(std::begin(d3d->apTextures), std::end(d3d->apTextures));
        output += Initialise();
        d3d->nHardwareTexturing = c.hardware ? 1 : 0;
        DK_TEXTURE* image = nullptr;
        for (DK_TEXTURE* t : d3d->apTextures)
            if (t != nullptr && !before.contains(t))
                image = t;
        Strings shadowTexture = {"TEXTUREHANDLE 0"};
        EXPECT_EQ(image != nullptr, c.images) << output;
        if (image != nullptr)
        {
            ASSERT_NE(image->pDeviceSurface, nullptr);
            EXPECT_EQ(image->pDeviceSurface->rect.w, datakit::kShadowImageSize);
            shadowTexture = {"TEXTUREHANDLE " + std::to_string(image->uHandle)};
            if (!c.hardware)
                shadowTexture.insert(shadowTexture.begin(),
                                     "material " +
                                         std::to_string(DkGetMaterialHandle(image->nMaterial)));
        }
        DK_ACTOR* textured = Actor(Model({Quad(10)}));
        DkSetMaterialHandle(0);
        DrawObject(textured, 0);
        const DK_SHADOW s = Numbered(DK_SHADOW_QUAD);
        DkDrawShadow(&s);
        Forget();
        Process();
        Strings want = {"ZWRITEENABLE 0"};
        want.insert(want.end(), shadowTexture.begin(), shadowTexture.end());
        want.insert(want.end(), {"draw 2 4/0", "ZWRITEENABLE 1"});
        EXPECT_EQ(Calls(), want);
        DrawObject(textured, 0);
        const Strings again = Calls();
        EXPECT_NE(std::find(again.begin(), again.end(), "TEXTUREHANDLE 110"), again.end());
    }
}

TEST_F(ShadowTest, UseBeforeSetUpIsReportedAndARefusedShadowIsReportedAndTheNextDrawn)
{
    DK_SHADOW s = Numbered(DK_SHADOW_QUAD);
    std::string out = CaptureOutput([&] { DkDrawShadow(&s); });
    EXPECT_TRUE(Reported(out, "DkDrawShadow(): Shadows NOT initialised!")) << out;
    out = CaptureOutput([] { DkDestroyShadows(); });
    EXPECT_TRUE(Reported(out, "DkDrawShadow(): Shadows NOT initialised!")) << out;
    output += Initialise();
    out = Initialise();
    EXPECT_TRUE(Reported(out, "DkInitialiseShadows(): Already initialised!")) << out;
    EXPECT_EQ(DkGetShadowCount(), 0);
    DkDrawShadow(&s);
    DkDrawShadow(&s);
    D3dFailDrawsForTests(DDERR_INVALIDPARAMS, 1);
    out = Process();
    EXPECT_EQ(CountReports(out), 1) << out;
    EXPECT_EQ(Draws().size(), 2u);
}

// The three shapes side by side on ground sloping up to the right and away, seen from above
// and behind; the quad's corners at (+-1, +-1) of each, the rings out to 1.8.
TEST_F(ShadowTest, GoldenThreeShapesOnASlopedGround)
{
    WriteImages();
    output += Initialise();
    auto ground = [](double x, double z) { return -1.0 + 0.15 * x + 0.1 * z; };
    auto at = [&](double cx, double cz, double x, double z)
    {
        const double wx = cx + 0.5 * x, wz = cz + 0.5 * z;
        return DK_VECTOR{Fx(wx), Fx(ground(wx, wz) + 0.02), Fx(wz)};
    };
    auto polar = [](double degrees)
    {
        const double r = 1.8, a = degrees * 3.14159265358979 / 180.0;
        return std::pair<double, double>{r * std::cos(a), r * std::sin(a)};
    };
    auto shadow = [&](double cx, int32_t shape)
    {
        DK_SHADOW s{};
        s.nShape = shape;
        // Clockwise seen from above, the winding the renderer keeps.
        const double quad[4][2] = {{1, -1}, {-1, -1}, {-1, 1}, {1, 1}};
        for (int i = 0; i < 4; ++i)
            s.aPoints[i] = at(cx, 1.0, quad[i][0], quad[i][1]);
        // From point 1 round through the far side to point 3, point 5 opposite point 0.
        const std::vector<double> ring = shape == DK_SHADOW_RING6
                                             ? std::vector<double>{180, 135, 90}
                                             : std::vector<double>{180, 135, 120, 105, 90, 75, 60};
        for (size_t i = 0; i < ring.size(); ++i)
        {
            const auto [x, z] = polar(ring[i]);
            s.aPoints[4 + i] = at(cx, 1.0, x, z);
        }
        return s;
    };
    const std::vector<std::array<double, 2>> corners = {{-4, -2}, {-4, 4}, {4, 4}, {4, -2}};
    std::vector<DK_VERTEX> slope;
    for (const auto& [x, z] : corners)
        slope.push_back(Lit(static_cast<float>(x), static_cast<float>(ground(x, z)),
                            static_cast<float>(z), 0xFF70A040));
    DK_MODEL* model =
        Model({Node(-1, {slope[0], slope[1], slope[2], slope[3]}, {0, 1, 2, 0, 2, 3})});
    MakeWorldSpace(model);
    DK_ACTOR* groundActor = Actor(model);

    const DK_VECTOR eye = {0, Fx(2.5), Fx(-2)};
    const int16_t look[3] = {600, 0, 0};
    DK_ACTOR* camera = nullptr;
    DK_ACTOR* world = World();
    output += CaptureOutput([&] { camera = DkCreateCamera(&eye, look, nullptr, world); });
    UpdateActors();
    DkSetCameraTransform(camera);

    const DK_SHADOW shadows[3] = {shadow(-2.2, DK_SHADOW_QUAD), shadow(0, DK_SHADOW_RING6),
                                  shadow(2.2, DK_SHADOW_RING10)};
    for (const DK_SHADOW& s : shadows)
        DkDrawShadow(&s);
    CornerViewport();
    Frame(
        [&]
        {
            DkSelectListTexture(-1, TRUE);
            DrawObject(groundActor, 0);
            DkSetTranslucent(1);
            DkProcessShadows();
            DkSetTranslucent(0);
        });
    EXPECT_EQ(output.find("ASSERT"), std::string::npos) << output;
    ExpectGolden("shad_three_shapes_on_a_slope");
}

} // namespace
