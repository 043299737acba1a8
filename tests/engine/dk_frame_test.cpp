// The scene frame. On the data kit's demo stage: the device's call log of one view in the order
// of its steps and the variations by device and switch, the free-standing actor tree's order,
// and golden frames of the whole frame. On small hand-made stages: the two culling wedges and
// their edges, near objects held back, the coarse level, the per-block sort, the viewport and
// null arguments, the pixel and depth probes, and the two faults mended (a visible-list entry
// past the blocks, and object distances past 256 units).
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "engine/include/dk_ff.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/3d/dk_fog.h"
#include "engine/pc/display/dk_image.h"
#include "tests/engine/render_fixture.h"
#include "tests/engine/stage_fixture.h"
#include "tests/support/golden.h"
#include "tools/datakit/c3d_writer.h"

namespace
{

using Strings = std::vector<std::string>;

const D3DMATRIX kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The render fixture's names of render states.
struct StateNames : RenderTest
{
    using RenderTest::StateName;
};

// The far plane a projection matrix was made with, to three figures (the matrix is float).
int FarPlane(const D3DMATRIX& m)
{
    const double q = m._33;
    const double nearPlane = -m._43 / q;
    const double far = q * nearPlane / (q - 1.0);
    const double unit = std::pow(10.0, std::floor(std::log10(far)) - 2);
    return static_cast<int>(std::lround(far / unit) * unit);
}

class FrameTest : public StageTest
{
protected:
    // The call log read as the steps of a frame: the states the frame switches ("ZENABLE 0"),
    // "identity" for the identity world, "far N" for a projection, "begin", "end", "viewport",
    // and each draw by what it shows (runs of the same kind of draw as one): "horizon",
    // "track", "shadow", "object", "car", "tri" (untextured 3D triangles), "bitmap", "lines",
    // "blit3", "blit2", "blit1" (the dashboard's shade, panel and badge), "2dA", "2dB".
    Strings Steps()
    {
        std::map<DWORD, std::string> kinds;
        auto name = [&](const char* texture, const char* kind)
        {
            if (const DK_TEXTURE* t = DkFindC3dTexture(texture))
                kinds[t->uHandle] = kind;
        };
        name("SKY", "horizon");
        for (const char* t : {"GRASS", "ROAD", "SIGNA", "SIGNB"})
            name(t, "track");
        for (const char* t : {"POST", "WOOD", "SIGNBOARD", "ARROW", "TREE", "SHADOW", "BALE"})
            name(t, "object");
        for (const char* t : {"DCBODY", "DCTYRE", "DCGLASS"})
            name(t, "car");
        name("PUFF", "bitmap");
        const std::set<DWORD> kept = {
            D3DRENDERSTATE_FOGENABLE,         D3DRENDERSTATE_COLORKEYENABLE,
            D3DRENDERSTATE_ZENABLE,           D3DRENDERSTATE_ZWRITEENABLE,
            D3DRENDERSTATE_ALPHABLENDENABLE,  D3DRENDERSTATE_STIPPLEDALPHA,
            D3DRENDERSTATE_TEXTUREMAG,        D3DRENDERSTATE_CULLMODE,
            D3DRENDERSTATE_TEXTUREPERSPECTIVE};
        Strings steps;
        DWORD texture = 0;
        for (const D3dLoggedCall& c : D3dCallLog())
        {
            std::string step;
            switch (c.call)
            {
                case D3dCall::RenderState:
                    if (c.what == D3DRENDERSTATE_TEXTUREHANDLE)
                        texture = c.value;
                    if (kept.count(c.what))
                        step = StateNames::StateName(c.what) + " " + std::to_string(c.value);
                    break;
                case D3dCall::Transform:
                    if (c.what == D3DTRANSFORMSTATE_PROJECTION)
                        step = "far " + std::to_string(FarPlane(c.matrix));
                    else if (c.what == D3DTRANSFORMSTATE_WORLD &&
                             std::memcmp(&c.matrix, &kIdentity, sizeof kIdentity) == 0)
                        step = "identity";
                    break;
                case D3dCall::BeginScene:
                    step = "begin";
                    break;
                case D3dCall::EndScene:
                    step = "end";
                    break;
                case D3dCall::SetViewport:
                    step = "viewport";
                    break;
                case D3dCall::Draw:
                    step = Draw(c, texture, kinds);
                    // Flat faces of a model say nothing of the step.
                    if (step == "flat" || (!steps.empty() && steps.back() == step))
                        step.clear();
                    break;
                default:
                    break;
            }
            if (!step.empty())
                steps.push_back(step);
        }
        return steps;
    }

    static std::string Draw(const D3dLoggedCall& c, DWORD texture,
                            const std::map<DWORD, std::string>& kinds)
    {
        if (c.what == D3DPT_LINELIST)
            return "lines";
        const uint32_t colour = c.vertices.empty() ? 0 : c.vertices[0].color;
        if (c.value == D3DVT_TLVERTEX)
        {
            if (texture == 0)
                return (colour & 0xFFFFFF) == 0xFFFFFF ? "2dB" : "2dA";
            const uint32_t alpha = colour >> 24;
            return alpha == 120 ? "blit3" : alpha == 200 ? "blit1" : "blit2";
        }
        if (c.what == D3DPT_TRIANGLESTRIP)
            return "shadow";
        if (texture == 0)
            return c.indices.empty() ? "tri" : "flat";
        auto it = kinds.find(texture);
        return it != kinds.end() ? it->second : "texture " + std::to_string(texture);
    }

    // Whether `want` appears in `steps` in its order (others may come between); the first step
    // not found otherwise.
    static std::string FirstMissing(const Strings& steps, const Strings& want)
    {
        size_t at = 0;
        for (const std::string& w : want)
        {
            auto it = std::find(steps.begin() + static_cast<ptrdiff_t>(at), steps.end(), w);
            if (it == steps.end())
                return w;
            at = static_cast<size_t>(it - steps.begin()) + 1;
        }
        return "";
    }

    static int Count(const Strings& steps, const std::string& what)
    {
        return static_cast<int>(std::count(steps.begin(), steps.end(), what));
    }

    // Every `what` lies after the first `from` and before the first `to` that follows it.
    static bool Within(const Strings& steps, const std::string& what, const std::string& from,
                       const std::string& to)
    {
        auto first = std::find(steps.begin(), steps.end(), from);
        auto last = std::find(first, steps.end(), to);
        for (auto it = steps.begin(); it != steps.end(); ++it)
            if (*it == what && (it < first || it > last))
                return false;
        return true;
    }

    // One view of the stage with the car at z and its extras, logged.
    Strings View(double z)
    {
        At(z);
        D3dStartCallLog();
        output += CaptureOutput([&] { stage::DrawFrame(s); });
        D3dStopCallLog();
        return Steps();
    }

    void ExpectGoldenFrame(const std::string& name)
    {
        ExpectGoldenRgb(Area(), static_cast<DWORD>(s.area.w), static_cast<DWORD>(s.area.h),
                        DEZOR_ENGINE_GOLDEN_DIR, name);
    }

    static constexpr double kZ = 128.0;
};

const char* kFrameSteps[] = {
    // 5: fog on, the scene begins.
    "FOGENABLE 1", "begin",
    // 6: the horizon without colour key or depth, beyond the track's far plane.
    "COLORKEYENABLE 0", "ZENABLE 0", "ZWRITEENABLE 0", "far 25000", "horizon", "far 250",
    "ZENABLE 1", "ZWRITEENABLE 1",
    // 7, 9: the blocks in the identity world, then colour key and the shadows, translucent
    // without depth writes.
    "identity", "track", "COLORKEYENABLE 1", "ALPHABLENDENABLE 1", "ZWRITEENABLE 0", "shadow",
    "ZWRITEENABLE 1", "ALPHABLENDENABLE 0",
    // 10, 11: the objects (nearest filter) and the car (the device's filter).
    "TEXTUREMAG 1", "object", "TEXTUREMAG 2", "car", "TEXTUREMAG 1",
    // 12: translucent, the actor triangles in the identity world.
    "ALPHABLENDENABLE 1", "identity", "tri",
    // 13: 3D bitmaps between filters 1 and 2; 15, 16: lines, fog off.
    "TEXTUREMAG 1", "bitmap", "TEXTUREMAG 2", "lines", "FOGENABLE 0",
    // 17: over the whole display, the world triangles, then with no culling or depth the blit
    // queues 3 and 2, batch A, queue 1, batch B.
    "viewport", "tri", "CULLMODE 1", "ZENABLE 0", "ZWRITEENABLE 0", "blit3", "blit2", "2dA",
    "blit1", "2dB", "ZENABLE 1", "ZWRITEENABLE 1",
    // 18: back-face culling, translucency off, the scene ends.
    "CULLMODE 3", "ALPHABLENDENABLE 0", "end"};

TEST_F(FrameTest, OneViewOfTheStageFollowsTheStepsOfTheFrameInOrder)
{
    ASSERT_TRUE(Open(16, false, 160, 120));
    const Strings steps = View(kZ);
    EXPECT_EQ(FirstMissing(steps, Strings(std::begin(kFrameSteps), std::end(kFrameSteps))), "")
        << testing::PrintToString(steps);
    // Each kind of drawing stays inside its step.
    EXPECT_EQ(Count(steps, "horizon"), 1);
    EXPECT_TRUE(Within(steps, "track", "identity", "COLORKEYENABLE 1"));
    EXPECT_TRUE(Within(steps, "object", "shadow", "tri"));
    EXPECT_TRUE(Within(steps, "car", "shadow", "tri"));
    EXPECT_TRUE(Within(steps, "bitmap", "tri", "lines"));
    EXPECT_TRUE(Within(steps, "blit2", "viewport", "end"));
    EXPECT_EQ(steps.back(), "end");
    EXPECT_EQ(CountReports(output), 0) << output;
}

// The same view on other devices and switches: what each adds, drops or reorders. `want` must
// appear in its order; `check` looks at the rest.
TEST_F(FrameTest, TheStepsChangeWithTheDeviceAndTheSwitches)
{
    // No `what` between the first `from` and the first `to` after it.
    auto none = [](const Strings& steps, const std::string& what, const std::string& from,
                   const std::string& to)
    {
        auto first = std::find(steps.begin(), steps.end(), from);
        auto last = std::find(first, steps.end(), to);
        return std::find(first, last, what) == last;
    };
    struct Case
    {
        const char* name;
        std::function<void()> set;
        Strings want;
        std::function<void(const Strings&)> check;
        bool blocksFarToNear = false;
        bool listsSorted = false;
    };
    const Case cases[] = {
        {"software device: no shadows, lists sorted, near-wedge objects without depth writes",
         [] { d3d->nHardwareTexturing = 0; },
         {"COLORKEYENABLE 1", "ZWRITEENABLE 0", "object", "ZWRITEENABLE 1", "car"},
         [](const Strings& steps) { EXPECT_EQ(Count(steps, "shadow"), 0); },
         false,
         true},
        {"hardware type 2: blocks far to near, lists sorted, no colour key around the car",
         [] { DkSetHardwareType(2); },
         {"track", "shadow", "ZWRITEENABLE 0", "object", "COLORKEYENABLE 0", "car",
          "COLORKEYENABLE 1", "ZWRITEENABLE 1"},
         [](const Strings&) {},
         true,
         true},
        {"hardware type 3: nothing translucent",
         [] { DkSetHardwareType(3); },
         {"COLORKEYENABLE 1", "ZWRITEENABLE 0", "shadow", "ZWRITEENABLE 1", "object", "tri",
          "bitmap", "lines"},
         [](const Strings& steps) { EXPECT_EQ(Count(steps, "ALPHABLENDENABLE 1"), 0); }},
        {"hardware type 4: the horizon keeps the depth test",
         [] { DkSetHardwareType(4); },
         {"begin", "ZWRITEENABLE 0", "horizon", "ZWRITEENABLE 1", "track"},
         [&](const Strings& steps) { EXPECT_TRUE(none(steps, "ZENABLE 0", "begin", "track")); }},
        {"hardware type 6: blocks far to near, objects in the device's filter",
         [] { DkSetHardwareType(6); },
         {"shadow", "object", "car", "tri"},
         [&](const Strings& steps) { EXPECT_TRUE(none(steps, "TEXTUREMAG 1", "shadow", "tri")); },
         true},
        {"no texture alpha: translucency by stipple, the actor triangles opaque",
         []
         {
             D3DDEVICEDESC desc = D3dHardwareDescription();
             desc.dpcTriCaps.dwTextureCaps &= ~D3DPTEXTURECAPS_ALPHA;
             D3dSetHardwareDescriptionForTests(&desc);
             DkGet3DCapabilities();
         },
         {"STIPPLEDALPHA 1", "identity", "STIPPLEDALPHA 0", "ALPHABLENDENABLE 0", "tri",
          "STIPPLEDALPHA 1", "ALPHABLENDENABLE 1", "bitmap"},
         [](const Strings&) {}},
        {"a stage without blocks: every model actor, no shadows",
         [] { guNumTrackBlocks = 0; },
         {"identity", "ALPHABLENDENABLE 0", "object", "car", "ALPHABLENDENABLE 1", "tri"},
         [](const Strings& steps)
         {
             EXPECT_EQ(Count(steps, "shadow"), 0);
             EXPECT_EQ(Count(steps, "track"), 0);
             EXPECT_EQ(Count(steps, "COLORKEYENABLE 1"), 0);
         }},
        {"overlays switched off for this view",
         [] { DkSetTrackDrawParamA(0); },
         {"lines", "FOGENABLE 0", "ALPHABLENDENABLE 0", "end"},
         [](const Strings& steps)
         {
             // The view may apply its own rectangle first (the previous frame's overlays set
             // the whole display); none is set for overlays after the lines.
             auto lines = std::find(steps.begin(), steps.end(), "lines");
             EXPECT_EQ(std::count(lines, steps.end(), "viewport"), 0);
             for (const char* step : {"blit3", "blit2", "blit1", "2dA", "2dB"})
                 EXPECT_EQ(Count(steps, step), 0) << step;
         }},
    };
    const D3DDEVICEDESC card = D3dHardwareDescription();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Open(16, false, 160, 120));
        At(kZ);
        // A first frame files the moved car; the logged one then moves nothing.
        output += CaptureOutput([&] { stage::DrawFrame(s); });
        stage::QueueExtras(s);
        DkSetTrackDrawParamA(1);
        c.set();
        std::vector<std::vector<DK_ACTOR*>> lists(guNumTrackBlocks);
        for (uint32_t b = 0; b < guNumTrackBlocks; ++b)
            for (DK_ACTOR* a = gaTrackBlocks[b].pMoveableList; a != nullptr; a = a->pBlockLink)
                lists[b].push_back(a);
        const DK_RECT* whole = &s.views[0];
        D3dStartCallLog();
        output += CaptureOutput(
            [&]
            {
                DkClearZBuffer();
                DkClearTarget();
                DkRender3D(s.pWorld, s.pCamera, whole, s.pCar, s.pCarRoot, 0);
            });
        D3dStopCallLog();
        const Strings steps = Steps();
        EXPECT_EQ(FirstMissing(steps, c.want), "") << testing::PrintToString(steps);
        c.check(steps);
        bool farToNear = true;
        for (int i = 0; i + 1 < gnNumVisibleBlocks; ++i)
            farToNear = farToNear && gaTrackBlocks[gaVisibleBlocks[i]].xDistanceKey >=
                                         gaTrackBlocks[gaVisibleBlocks[i + 1]].xDistanceKey;
        if (gnNumVisibleBlocks > 1)
        {
            EXPECT_EQ(farToNear, c.blocksFarToNear);
        }
        bool reordered = false;
        for (uint32_t b = 0; b < guNumTrackBlocks; ++b)
        {
            std::vector<DK_ACTOR*> now;
            for (DK_ACTOR* a = gaTrackBlocks[b].pMoveableList; a != nullptr; a = a->pBlockLink)
                now.push_back(a);
            reordered = reordered || now != lists[b];
        }
        EXPECT_EQ(reordered, c.listsSorted);
        D3dSetHardwareDescriptionForTests(&card);
        output += CaptureOutput([] { stage::CloseDisplay(); });
        DkSetHardwareType(0);
    }
}

TEST_F(FrameTest, AFreeStandingActorTreeHasItsOwnOrder)
{
    ASSERT_TRUE(Open(16, false, 160, 120));
    At(kZ);
    static const DK_RECT corner = {8, 8, 96, 72};
    gboGameScene3D = TRUE;
    D3dStartCallLog();
    output += CaptureOutput([&] { stage::DrawActorTree(s.pCarRoot, s.pCamera, corner); });
    D3dStopCallLog();
    EXPECT_FALSE(gboGameScene3D);
    const Strings want = {"viewport", "begin", "car",       "identity", "ZENABLE 0", "blit3",
                          "blit2",    "blit1", "ZENABLE 1", "lines",    "end"};
    EXPECT_EQ(Steps(), want);
    EXPECT_EQ(CountReports(output), 0) << output;
}

// A stage loaded with the car-light option lights the view's car from the colour of the track
// vertex nearest to it, a step of 5 a frame; not without the option, and not at night, when
// the car lights colour the stage.
TEST_F(FrameTest, TheFollowedCarTakesTheLightOfTheTrackUnderIt)
{
    struct Case
    {
        const char* name;
        bool night;
        bool option;
        int step;
    };
    const Case cases[] = {{"by day with the option", false, true, 5},
                          {"by day without it", false, false, 0},
                          {"by night", true, true, 0}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Open(16, c.night, 160, 120));
        gboCarVertexLighting = c.option ? 1 : 0;
        At(kZ);
        const DK_MODEL* body = static_cast<const DK_MODEL*>(s.pCar->pObject);
        const uint32_t before = body->aLevels[0].pFirstNode->pVertices[0].Lit.uColour;
        output += CaptureOutput([&] { stage::DrawFrame(s); });
        const uint32_t after = body->aLevels[0].pFirstNode->pVertices[0].Lit.uColour;
        // The track under the car is lighter than the car's ambient grey.
        EXPECT_EQ(static_cast<int>(after >> 16 & 0xFF) - static_cast<int>(before >> 16 & 0xFF),
                  c.step);
        EXPECT_EQ(after >> 24, before >> 24) << "alpha kept";
        output += CaptureOutput([] { stage::CloseDisplay(); });
        gboCarVertexLighting = 0;
    }
}

// Golden frames of the whole frame at 160x120: the stage by day down the road (fog, horizon,
// objects, facing trees, the animated sign, dust, the car's shadow, tyre marks, lines and the
// dashboard), by night (a car light over the track and its objects), on a split screen (posts
// only in pass 0, the car only in pass 1, the dashboard over the second view), a front-end
// actor tree, and the ramp device in 8 bits.
TEST_F(FrameTest, GoldenFrames)
{
    struct Case
    {
        const char* name;
        int bits;
        bool night;
        std::function<void()> draw;
    };
    const Case cases[] = {
        {"frame_day", 16, false, [this] { stage::DrawFrame(s); }},
        {"frame_night", 16, true, [this] { stage::DrawFrame(s); }},
        {"frame_split_screen", 16, false,
         [this]
         {
             for (DK_ACTOR* a : gapActors)
                 if (a != nullptr && (a->uId & DK_ACTOR_ID_MASK) == 20)
                     a->uPassMask = 0x01;
             std::function<void(DK_ACTOR*)> secondOnly = [&](DK_ACTOR* first)
             {
                 for (DK_ACTOR* a = first; a != nullptr; a = a->pNext)
                 {
                     a->uPassMask = 0x02;
                     secondOnly(a->pChild);
                 }
             };
             secondOnly(s.pCarRoot->pChild);
             stage::DrawFrame(s, true);
         }},
        {"frame_actor_tree", 16, false,
         []
         {
             // A scene of the front end: the car on its own, seen from the side.
             DK_ACTOR* root = DkCreateActor(nullptr);
             stage::LoadCar(root, DK3D_SELECT_CAR);
             DK_ACTOR* camera = DkCreateCamera(nullptr, nullptr, nullptr, root);
             stage::Look(camera, 4.5, 2.5, 3.5, 0.0, 0.4, 0.0);
             static const DK_RECT corner = {16, 12, 128, 96};
             DkClearTarget();
             stage::DrawActorTree(root, camera, corner);
         }},
        {"frame_ramp_8bit", 8, false, [this] { stage::DrawFrame(s); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Open(c.bits, c.night, 160, 120));
        At(kZ);
        output += CaptureOutput([&] { c.draw(); });
        ExpectGoldenFrame(c.name);
        output += CaptureOutput([] { stage::CloseDisplay(); });
    }
}

// Hand-made stages: a grid of large blocks, every block listed, and quads standing at chosen
// ground points; each quad's vertex colour (low byte) names it in the log.
class CullTest : public RenderTest
{
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        if (HasFatalFailure())
            return;
        DkResetSamplePointsForTests();
        World();
    }
    void TearDown() override
    {
        gxObjectClipDistance = 100 << 16;
        gxHorizonDistance = 500 << 16;
        gxNearObjectDistance = 0x70000;
        gboDrawOverlaysInScene = TRUE;
        gpLastViewportRect = nullptr;
        DkSetDrawAllTrackBlocks(0);
        gboTrackBlocksActive = FALSE;
        gnNumVisibleBlocks = 0;
        DkResetSamplePointsForTests();
        DkSetHardwareType(0);
        RenderTest::TearDown();
    }

    // Blocks of `cell` in `columns` x `rows`, every one listed.
    void Grid(int columns, int rows, double cell = 400.0)
    {
        datakit::C3dGridOptions options;
        options.columns = columns;
        options.rows = rows;
        options.cell = cell;
        const std::vector<uint8_t> file = datakit::FormatC3d(datakit::C3dBlockGrid(options));
        DK_ACTOR* world = World();
        output += CaptureOutput(
            [&]
            {
                DkProcessC3dObject(file.data(), static_cast<uint32_t>(file.size()), DK3D_TRACK,
                                   world, FALSE, 2);
            });
        ASSERT_EQ(guNumTrackBlocks, static_cast<uint32_t>(columns * rows));
    }

    // A quad object named `name` standing at (x, z); a second level named `coarse` when given.
    DK_ACTOR* Thing(char name, double x, double z, char coarse = 0)
    {
        return ThingAt(name, Fx(x), Fx(z), coarse);
    }
    DK_ACTOR* ThingAt(char name, int32_t x, int32_t z, char coarse = 0)
    {
        DK_MODEL* model = Model({Quad(-1, 0xFF000000u | static_cast<uint8_t>(name))});
        if (coarse != 0)
        {
            model->aLevels[1] = model->aLevels[0];
            model->aLevels[1].pFirstNode = Quad(-1, 0xFF000000u | static_cast<uint8_t>(coarse));
            model->uNumLevels = 2;
        }
        DK_ACTOR* actor = Actor(model, nullptr, 77);
        DK_MATRIX m = Translation(x, 0, z);
        actor->Local = m;
        DkMarkActorDirty(actor);
        return actor;
    }

    // Files the things on the blocks, places the camera at (x, 2, z) looking along +z and
    // lists every block.
    void Ready(double x = 600.0, double z = 100.0)
    {
        UpdateActors();
        output += CaptureOutput([] { DkInitialiseTrackBlocks(); });
        DkSetDrawAllTrackBlocks(1);
        output +=
            CaptureOutput([&] { camera = DkCreateCamera(nullptr, nullptr, nullptr, World()); });
        camera->Local = Translation(Fx(x), Fx(2), Fx(z));
        DkMarkActorDirty(camera);
        UpdateActors();
        eyeX = x;
        eyeZ = z;
        DkComputeVisibleTrackBlocks(camera, nullptr);
        DkSetCameraTransform(camera);
        gboDrawOverlaysInScene = FALSE;
        Forget();
    }

    // The things drawn by one DrawTrack, in order; the calls as text in `calls` when given.
    std::string Drawn(Strings* calls = nullptr)
    {
        output += CaptureOutput([&] { DrawTrack(camera, nullptr, nullptr, 0); });
        std::string names;
        const auto& log = D3dCallLog();
        for (; seen < log.size(); ++seen)
        {
            const D3dLoggedCall& c = log[seen];
            if (calls != nullptr)
                calls->push_back(Text(c));
            const uint8_t low = c.vertices.empty() ? 0 : c.vertices[0].color & 0xFF;
            if (c.call == D3dCall::Draw && low >= 'A' && low <= 'z')
                names += static_cast<char>(low);
        }
        return names;
    }

    DK_ACTOR* camera = nullptr;
    double eyeX = 0, eyeZ = 0;
};

// The camera at (600, 100) looks along +z: the wedges' sides are the lines x - 600 = +-(z -
// 100), their far edges lie 100 (near) and 500 (far) ahead, less the table square root's
// shortfall. Points on the far wedge's left side and far edge, where its arithmetic is exact,
// are drawn; a step of 1/64 beyond them is not. One on the near wedge's far edge is drawn
// by the near branch.
TEST_F(CullTest, AnObjectOnAWedgeEdgeIsDrawnAndOneJustBeyondItIsNot)
{
    Grid(3, 2);
    int32_t dx = 0, dz = 0;
    DK_ACTOR probe{};
    DkIdentityMatrix(&probe.World);
    DkGetGroundDirection(&probe, &dx, &dz);
    const DK_POINT_XZ apex = {Fx(600), Fx(100)};
    const int32_t nearEdge = DkMakeViewWedge(apex, dx, dz, gxObjectClipDistance).B.z;
    const int32_t farEdge = DkMakeViewWedge(apex, dx, dz, gxHorizonDistance).B.z;
    ThingAt('n', Fx(600), nearEdge);
    ThingAt('e', Fx(600), farEdge);
    ThingAt('x', Fx(600), farEdge + 1024);
    ThingAt('l', Fx(500), Fx(200));
    ThingAt('b', Fx(500) - 1024, Fx(200));
    Ready();
    const std::string drawn = Drawn();
    for (char c : {'n', 'e', 'l'})
        EXPECT_NE(drawn.find(c), std::string::npos) << c << " in " << drawn;
    for (char c : {'x', 'b'})
        EXPECT_EQ(drawn.find(c), std::string::npos) << c << " in " << drawn;
}

TEST_F(CullTest, TwentyFiveNearObjectsWaitForTheEndAndTheTwentySixthIsDrawnInPlace)
{
    Grid(3, 2);
    // 26 near ones on the camera's block (in list order A..Z), one far one on a later block.
    for (int i = 0; i < 26; ++i)
        Thing(static_cast<char>('A' + i), 600.0 + 0.5 * (i % 5) - 1.0, 102.0 + 0.18 * i);
    Thing('f', 850.0, 380.0);
    Ready();
    EXPECT_EQ(Drawn(), "Zf"
                       "ABCDEFGHIJKLMNOPQRSTUVWXY");
}

// The race cameras set how near an object must be to wait for the end (C) and whether those
// that wait are drawn translucent (B).
TEST_F(CullTest, TheNearDistanceAndBlendSwitchesShapeTheHeldBackObjects)
{
    struct Case
    {
        const char* name;
        int32_t xNear;
        int nBlend;
        const char* drawn;
        bool translucent;
    };
    const Case cases[] = {
        {"at start: within 7.0, opaque", 0x70000, 0, "bfa", false},
        {"within 30.0", 30 << 16, 0, "fab", false},
        {"within 7.0, translucent", 0x70000, 1, "bfa", true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        output += CaptureOutput([] { DkKillAllObjects(); });
        Grid(3, 2);
        Thing('a', 600.0, 105.0);
        Thing('b', 600.0, 120.0);
        Thing('f', 850.0, 380.0);
        Ready();
        EXPECT_EQ(DkSetTrackDrawParamC(c.xNear), c.xNear);
        EXPECT_EQ(DkSetTrackDrawParamB(c.nBlend), c.nBlend);
        Strings calls;
        EXPECT_EQ(Drawn(&calls), c.drawn);
        // The last draw is the last held-back object's: translucency comes on just before it.
        std::vector<size_t> draws;
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i].rfind("draw", 0) == 0)
                draws.push_back(i);
        ASSERT_GE(draws.size(), 2u);
        const auto from = calls.begin() + static_cast<ptrdiff_t>(draws[draws.size() - 2]);
        const auto to = calls.begin() + static_cast<ptrdiff_t>(draws.back());
        EXPECT_EQ(std::find(from, to, "ALPHABLENDENABLE 1") != to, c.translucent);
        DkSetTrackDrawParamB(0);
        DkSetTrackDrawParamC(0x70000);
    }
}

// With the far wedge shorter than the near one, an object between their reaches is drawn at
// level 1 (when it has one) without perspective correction.
TEST_F(CullTest, BetweenAShortFarWedgeAndTheNearOneObjectsAreDrawnCoarse)
{
    struct Case
    {
        const char* name;
        double ahead;
        bool twoLevels;
        const char* drawn;
        bool perspectiveOff;
    };
    const Case cases[] = {
        {"beyond the far wedge, two levels", 50.0, true, "c", true},
        {"beyond the far wedge, one level", 50.0, false, "a", true},
        {"inside both", 15.0, true, "a", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        output += CaptureOutput([] { DkKillAllObjects(); });
        Grid(3, 2);
        World();
        Thing('a', 600.0, 100.0 + c.ahead, c.twoLevels ? 'c' : 0);
        Ready();
        gxHorizonDistance = 20 << 16;
        Strings calls;
        EXPECT_EQ(Drawn(&calls), c.drawn);
        const auto off = std::find(calls.begin(), calls.end(), "TEXTUREPERSPECTIVE 0");
        EXPECT_EQ(off != calls.end(), c.perspectiveOff);
        if (off != calls.end())
        {
            EXPECT_NE(std::find(off, calls.end(), "TEXTUREPERSPECTIVE 1"), calls.end());
        }
    }
}

TEST_F(CullTest, TheBlockSortBringsAListFarToNearOverFrames)
{
    Grid(3, 2);
    // In list order: nearest first.
    for (int i = 0; i < 5; ++i)
        Thing(static_cast<char>('a' + i), 600.0, 110.0 + 20.0 * i);
    Ready();
    const int block =
        static_cast<int>(std::find(gaVisibleBlocks, gaVisibleBlocks + gnNumVisibleBlocks,
                                   DkGetTrackBlockIndex(Fx(600), 0, Fx(110))) -
                         gaVisibleBlocks);
    ASSERT_LT(block, gnNumVisibleBlocks);
    auto order = [&]
    {
        std::string names;
        for (DK_ACTOR* a = gaTrackBlocks[gaVisibleBlocks[block]].pMoveableList; a != nullptr;
             a = a->pBlockLink)
            if (const DK_MODEL* m = static_cast<const DK_MODEL*>(a->pObject))
                names +=
                    static_cast<char>(m->aLevels[0].pFirstNode->pVertices[0].Lit.uColour & 0xFF);
        return names;
    };
    ASSERT_EQ(order(), "abcde");
    const char* passes[] = {"bcdea", "cdeba", "decba", "edcba", "edcba"};
    for (const char* after : passes)
    {
        DkSortBlockActorsByDistance(Fx(eyeX), Fx(eyeZ), block);
        EXPECT_EQ(order(), after);
    }
    // A position outside the visible list sorts nothing.
    DkSortBlockActorsByDistance(Fx(eyeX), Fx(eyeZ), gnNumVisibleBlocks);
    EXPECT_EQ(order(), "edcba");
}

TEST_F(CullTest, ANullViewportDrawsNothingAndANullCarIsReportedAndDrawn)
{
    Grid(1, 1);
    Thing('a', 600.0, 150.0);
    Ready(200.0, 100.0);
    static const DK_RECT rect = {0, 0, kWidth, kHeight};
    std::string out = CaptureOutput(
        [&] { EXPECT_EQ(DkRender3D(World(), camera, nullptr, nullptr, nullptr, 0), 1); });
    EXPECT_TRUE(Reported(out, "ERROR (DkRender3D): Pointer to viewport is NULL!")) << out;
    EXPECT_EQ(Calls(), Strings{});
    out = CaptureOutput([&]
                        { EXPECT_EQ(DkRender3D(World(), camera, &rect, nullptr, nullptr, 0), 1); });
    EXPECT_TRUE(Reported(out, "ERROR (DkRender3D): Pointer to current car actor is NULL")) << out;
    const Strings calls = Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "begin"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "end"), calls.end());
    EXPECT_TRUE(gboGameScene3D);
}

TEST_F(CullTest, TheViewportIsAppliedOnlyWhenTheRectangleChanges)
{
    Grid(1, 1);
    Ready(200.0, 100.0);
    static const DK_RECT a = {0, 0, kWidth, kHeight};
    static const DK_RECT copy = a;
    struct Step
    {
        const DK_RECT* rect;
        int viewports;
    };
    const Step steps[] = {{&a, 1}, {&a, 0}, {&copy, 1}, {&copy, 0}, {&a, 1}};
    for (const Step& step : steps)
    {
        output += CaptureOutput([&] { DkRender3D(World(), camera, step.rect, camera, camera, 0); });
        const Strings calls = Calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "viewport"), step.viewports);
    }
    EXPECT_EQ(gpLastViewportRect, &a);
    // The viewport a rectangle makes: its place and size, the clip square widened by the
    // aspect.
    const auto& log = D3dCallLog();
    const auto it =
        std::find_if(log.begin(), log.end(),
                     [](const D3dLoggedCall& c) { return c.call == D3dCall::SetViewport; });
    ASSERT_NE(it, log.end());
    EXPECT_EQ(it->viewport.dwWidth, static_cast<DWORD>(kWidth));
    EXPECT_EQ(it->viewport.dwHeight, static_cast<DWORD>(kHeight));
    EXPECT_FLOAT_EQ(it->viewport.dvClipX, -1.0f);
    EXPECT_FLOAT_EQ(it->viewport.dvClipY, static_cast<float>(kWidth) / kHeight);
    EXPECT_FLOAT_EQ(it->viewport.dvClipHeight, 2.0f * kWidth / kHeight);
}

// Whatever else sets the device's viewport (the overlays over the whole display, an actor
// tree's own rectangle, a new device) makes the next view apply its rectangle again: a view
// smaller than the display must not be drawn over all of it from its second frame on.
TEST_F(CullTest, AViewportSetElsewhereIsAppliedAgainByTheNextView)
{
    Grid(1, 1);
    Ready(200.0, 100.0);
    static const DK_RECT half = {0, 0, kWidth / 2, kHeight / 2};
    static const DK_RECT whole = {0, 0, kWidth, kHeight};
    auto viewports = [&](const std::function<void()>& draw)
    {
        output += CaptureOutput(draw);
        const Strings calls = Calls();
        return std::count(calls.begin(), calls.end(), "viewport");
    };
    auto view = [&] { DkRender3D(World(), camera, &half, camera, camera, 0); };
    EXPECT_EQ(viewports(view), 1);
    EXPECT_EQ(viewports(view), 0) << "unchanged, nothing else set it";

    gboDrawOverlaysInScene = TRUE;
    EXPECT_EQ(viewports(view), 1) << "the overlays' whole display";
    gboDrawOverlaysInScene = FALSE;
    EXPECT_EQ(viewports(view), 1) << "the half rectangle again";
    const auto& log = D3dCallLog();
    const auto last =
        std::find_if(log.rbegin(), log.rend(),
                     [](const D3dLoggedCall& c) { return c.call == D3dCall::SetViewport; });
    ASSERT_NE(last, log.rend());
    EXPECT_EQ(last->viewport.dwWidth, static_cast<DWORD>(kWidth / 2));

    EXPECT_EQ(viewports([&] { DkRender3DActorTree(World(), camera, &whole, 0); }), 1);
    EXPECT_EQ(viewports(view), 1) << "after an actor tree drawn in another rectangle";
    DkResetSetterCaches(); // as a new device's set-up does
    EXPECT_EQ(viewports(view), 1) << "after a new device";
}

// The visible list names a block past the count (a list left from a larger stage): it is
// reported and skipped, the other blocks drawn.
TEST_F(CullTest, AVisibleEntryPastTheBlocksIsReportedAndSkipped)
{
    Grid(2, 1);
    Ready(200.0, 100.0);
    DkSetDrawAllTrackBlocks(0);
    gnNumVisibleBlocks = 3;
    gaVisibleBlocks[0] = 0;
    gaVisibleBlocks[1] = 7;
    gaVisibleBlocks[2] = 1;
    const std::string out = CaptureOutput([&] { DrawTrack(camera, nullptr, nullptr, 0); });
    EXPECT_TRUE(Reported(out, "(3dinit) model is not a track block (7) (2)\n")) << out;
    int blocks = 0;
    for (const D3dLoggedCall& c : D3dCallLog())
        blocks += c.call == D3dCall::Draw && c.vertices.size() == 4 ? 1 : 0;
    EXPECT_EQ(blocks, 2) << "both real blocks, one list each";
}

// Objects out towards the horizon distance take the fog of their distance: 300 units is past
// the fog's end and fully fogged (its square would wrap in 32 bits to some 156 units);
// 200 units is fogged as before.
TEST_F(CullTest, ObjectsPast256UnitsAreFoggedAsFarAway)
{
    Card([](D3DPRIMCAPS& tri) { tri.dwRasterCaps |= D3DPRASTERCAPS_FOGTABLE; });
    output += CaptureOutput([] { DkSetFog(10 << 16, 250 << 16, 0x808080); });
    DkSetFogDensity(1.0f);
    Grid(3, 2);
    Thing('n', 600.0, 100.0 + 200.0);
    Thing('f', 600.0, 100.0 + 300.0);
    Ready();
    std::string drawn = Drawn();
    std::sort(drawn.begin(), drawn.end());
    ASSERT_EQ(drawn, "fn");
    std::map<char, uint32_t> fog;
    for (const D3dLoggedCall& c : D3dCallLog())
        if (c.call == D3dCall::Draw && !c.vertices.empty())
            fog[static_cast<char>(c.vertices[0].color & 0xFF)] = c.vertices[0].specular >> 24;
    EXPECT_EQ(fog['f'], 0u);
    const int32_t distance200 = DkGroundDistance(0, Fx(200));
    EXPECT_EQ(fog['n'],
              static_cast<uint32_t>(
                  FfMul(FfDiv(255 << 16, 240 << 16), FfSub(250 << 16, distance200)) >> 16));
    EXPECT_EQ(DkGroundDistance(0, Fx(300)), INT32_MAX);
    EXPECT_EQ(DkGroundDistance(Fx(-150), Fx(120)),
              FfSqrt(FfAdd(FfMul(Fx(150), Fx(150)), FfMul(Fx(120), Fx(120)))));
}

TEST_F(CullTest, ThePixelProbeReadsTheBackSurfaceAndKeepsItsPointWhenGivenOneOutside)
{
    // Paint a pixel at (5, 7) and read it packed R | G << 8 | B << 16, each widened to 8 bits.
    auto paint = [](int x, int y, uint16_t value)
    {
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof desc;
        ASSERT_EQ(d2d->BackSurface.lpSurface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
        std::memcpy(static_cast<uint8_t*>(desc.lpSurface) + y * desc.lPitch + 2 * x, &value, 2);
        d2d->BackSurface.lpSurface->Unlock(nullptr);
    };
    paint(5, 7, Rgb565(255, 128, 8));
    EXPECT_EQ(DkReadBackSurfacePixel(5, 7), 0xF8u | 0x80u << 8 | 0x08u << 16);
    EXPECT_EQ(DkSetSamplePoint(5, 7), 0x02010102u) << "the first sample";
    EXPECT_EQ(DkSetSamplePoint(-1, 0), 0x01020304u);
    EXPECT_EQ(DkSetSamplePoint(kDisplayWidth, 0), 0x01020304u);
    // The full-screen flip samples the kept point before it shows the frame.
    ASSERT_TRUE(d2d->boFullScreen);
    DkFlip();
    EXPECT_EQ(DkGetLastSample(), 0xF8u | 0x80u << 8 | 0x08u << 16) << "the point kept";
    EXPECT_EQ(DkSetSamplePoint(0, 0), 0xF8u | 0x80u << 8 | 0x08u << 16);
    paint(5, 7, Rgb565(255, 128, 8));

    struct Case
    {
        const char* name;
        std::function<void()> make;
        std::function<void()> undo;
        const char* logged;
    };
    const Case cases[] = {
        {"outside the display", [] {}, [] {}, nullptr},
        {"a software device", [] { d3d->nHardwareTexturing = 0; },
         [] { d3d->nHardwareTexturing = 1; }, nullptr},
        {"the surface locked elsewhere",
         []
         {
             DDSURFACEDESC desc{};
             desc.dwSize = sizeof desc;
             d2d->BackSurface.lpSurface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
         },
         [] { d2d->BackSurface.lpSurface->Unlock(nullptr); }, "DDERR_SURFACEBUSY  "},
        {"a display larger than its surface", [] { d2d->nWidth = 2 * kDisplayWidth; },
         [] { d2d->nWidth = kDisplayWidth; }, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        c.make();
        const int x = std::string(c.name) == "outside the display" ? -1
                      : std::string(c.name) == "a display larger than its surface"
                          ? kDisplayWidth + 5
                          : 5;
        EXPECT_EQ(DkReadBackSurfacePixel(x, 7), 0x04030201u);
        c.undo();
        if (c.logged != nullptr)
        {
            const std::string log = Log();
            EXPECT_NE(log.find(std::string(c.logged) + "\r\n"), std::string::npos) << log;
            EXPECT_NE(log.find("Can't lock backbuffer"), std::string::npos) << log;
            DkOpenLogFile("c:\\error.txt");
        }
    }
}

// The camera stands 2.0 above a block's flat ground: the lower half of the display shows
// ground, the upper half nothing.
TEST_F(CullTest, TheDepthProbeReadsWhetherAnythingWasDrawnThere)
{
    // At its first point (-1, -1) it reads nothing.
    EXPECT_EQ(DkSetDepthSamplePoint(-1, -1), 0);
    EXPECT_EQ(DkReadDepthAt(-1, -1), 0);
    Grid(1, 1, 48.0);
    Ready(24.0, 8.0);
    struct Case
    {
        const char* name;
        int x, y;
        int32_t result;
    };
    const Case cases[] = {{"over the ground", kDisplayWidth / 2, kDisplayHeight - 10, 0},
                          {"in the empty sky", kDisplayWidth / 2, 10, 1}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        output += CaptureOutput([] { DkClearZBuffer(); });
        DkSetDepthSamplePoint(c.x, c.y);
        output += CaptureOutput([&] { DrawTrack(camera, nullptr, nullptr, 0); });
        EXPECT_EQ(DkSetDepthSamplePoint(c.x, c.y), c.result);
    }
    // A point outside the display is not taken: the last one stays.
    EXPECT_EQ(DkSetDepthSamplePoint(kDisplayWidth, 0), 0);
    output += CaptureOutput([&] { DrawTrack(camera, nullptr, nullptr, 0); });
    EXPECT_EQ(DkSetDepthSamplePoint(kDisplayWidth / 2, 10), 1);
    // No depth to read on a software device; a depth surface held elsewhere reads as nothing
    // drawn.
    d3d->nHardwareTexturing = 0;
    EXPECT_EQ(DkReadDepthAt(1, 1), 0);
    d3d->nHardwareTexturing = 1;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    ASSERT_EQ(d2d->ZBuffer.lpSurface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(DkReadDepthAt(kDisplayWidth / 2, kDisplayHeight - 10), 1);
    d2d->ZBuffer.lpSurface->Unlock(nullptr);
}

} // namespace
