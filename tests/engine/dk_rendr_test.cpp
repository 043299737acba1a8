// The renderer, read from the device's call log: the render-state reset and the cached setters,
// texture selection across lists and actors, which actors are drawn and how, blend modes and
// translucency, the horizon, camera-facing objects, cars with sphere-mapped parts; and a golden
// frame of a translucent sphere-mapped part over its car.
#include "tests/engine/render_fixture.h"

#include <functional>

namespace
{

using Strings = std::vector<std::string>;

// A 16.16 matrix with the given axis rows and no translation.
DK_MATRIX Axes(DK_VECTOR x, DK_VECTOR y, DK_VECTOR z)
{
    DK_MATRIX m;
    DkIdentityMatrix(&m);
    const DK_VECTOR rows[3] = {x, y, z};
    for (int r = 0; r < 3; ++r)
    {
        m.m[r][0] = rows[r].x;
        m.m[r][1] = rows[r].y;
        m.m[r][2] = rows[r].z;
    }
    return m;
}

// A quarter turn about Y: X to -Z, Z to X.
const DK_MATRIX kQuarterTurnY = Axes({0, 0, -ONE}, {0, ONE, 0}, {ONE, 0, 0});

D3DMATRIX Floats(const float (&af)[16])
{
    D3DMATRIX m;
    std::memcpy(&m, af, sizeof m);
    return m;
}

bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

const D3DMATRIX kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

class RendrTest : public RenderTest
{
protected:
    // What the device holds after a new device's reset, as the 3D set-up makes it.
    void NewDevice(bool boHardware)
    {
        d3d->nHardwareTexturing = boHardware ? 1 : 0;
        DkResetSetterCaches();
        SetRenderState(1);
        Forget();
    }

    // The untextured selection made, so a draw of untextured lists selects nothing, and the
    // log read up to here.
    void Untextured()
    {
        DkSelectListTexture(-1, TRUE);
        Forget();
    }

    // Only the lines whose text begins with one of the prefixes.
    Strings Only(std::initializer_list<const char*> prefixes)
    {
        Strings kept;
        for (const std::string& line : Calls())
            for (const char* prefix : prefixes)
                if (line.rfind(prefix, 0) == 0)
                    kept.push_back(line);
        return kept;
    }
};

// After SetRenderState the setter caches hold what the device holds: the value held is skipped
// (the depth-off of a new device's first horizon is not), another is sent once.
TEST_F(RendrTest, AfterTheResetEachSetterSkipsWhatTheDeviceHoldsAndSendsAChangeOnce)
{
    struct Case
    {
        const char* name;
        std::function<void(uint32_t)> set;
        uint32_t held;
        uint32_t other;
        Strings sent;
    };
    const Case cases[] = {
        {"depth test", [](uint32_t v) { DkSetZEnable(static_cast<int>(v)); }, 1, 0, {"ZENABLE 0"}},
        {"depth write",
         [](uint32_t v) { DkSetZWriteEnable(static_cast<int>(v)); },
         1,
         0,
         {"ZWRITEENABLE 0"}},
        {"cull", DkSetCullMode, D3DCULL_CCW, D3DCULL_CW, {"CULLMODE 2"}},
        {"fill", DkSetFillMode, D3DFILL_SOLID, D3DFILL_WIREFRAME, {"FILLMODE 2"}},
        {"texture", DkSetTextureHandle, 0, 7, {"TEXTUREHANDLE 7"}},
        {"filter",
         DkSetTextureFilter,
         D3DFILTER_LINEAR,
         D3DFILTER_NEAREST,
         {"TEXTUREMAG 1", "TEXTUREMIN 1"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        NewDevice(true);
        c.set(c.held);
        EXPECT_EQ(Calls(), Strings{});
        c.set(c.other);
        EXPECT_EQ(Calls(), c.sent);
        c.set(c.other);
        EXPECT_EQ(Calls(), Strings{});
    }
    DkSetMaterialHandle(5);
    Forget();
    DkSetMaterialHandle(5);
    EXPECT_EQ(Calls(), Strings{});
}

TEST_F(RendrTest, TheResetSendsItsNineteenStatesThenTheTextureAndFilterWhateverTheCachesHold)
{
    struct Case
    {
        const char* name;
        bool hardware;
        bool zBufferless;
        int shade, blend, filter, alphaBlend;
    };
    const Case cases[] = {
        {"hardware", true, false, D3DSHADE_GOURAUD, D3DTBLEND_MODULATE, D3DFILTER_LINEAR, 0},
        {"software", false, false, D3DSHADE_FLAT, D3DTBLEND_COPY, D3DFILTER_NEAREST, 0},
        {"z-bufferless", true, true, D3DSHADE_GOURAUD, D3DTBLEND_MODULATE, D3DFILTER_LINEAR, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Card([&](D3DPRIMCAPS& tri)
             { tri.dwRasterCaps |= c.zBufferless ? D3DPRASTERCAPS_ZBUFFERLESSHSR : 0; });
        d3d->nHardwareTexturing = c.hardware ? 1 : 0;
        // Twice: the second finds the texture handle and filter already cached.
        for (int pass = 0; pass < 2; ++pass)
        {
            SetRenderState(1);
            const std::string f = std::to_string(c.filter);
            const Strings want = {"SHADEMODE " + std::to_string(c.shade),
                                  "ALPHABLENDENABLE " + std::to_string(c.alphaBlend),
                                  "COLORKEYENABLE 1",
                                  "TEXTUREADDRESS 3",
                                  "STIPPLEDALPHA 0",
                                  "SRCBLEND 5",
                                  "DESTBLEND 6",
                                  "TEXTUREPERSPECTIVE 1",
                                  "ZENABLE 1",
                                  "ZWRITEENABLE 1",
                                  "ZFUNC 4",
                                  "CULLMODE 3",
                                  "TEXTUREMAPBLEND " + std::to_string(c.blend),
                                  "FILLMODE 3",
                                  "DITHERENABLE 0",
                                  "SPECULARENABLE 0",
                                  "ANTIALIAS 0",
                                  "FOGENABLE 0",
                                  "FOGCOLOR 16777215",
                                  "TEXTUREHANDLE 0",
                                  "TEXTUREMAG " + f,
                                  "TEXTUREMIN " + f};
            EXPECT_EQ(Calls(), want);
        }
        EXPECT_EQ(d3d->anRenderStateCache[DKRS_FOGCOLOUR], 0x969696);
    }
}

TEST_F(RendrTest, TheResetWithoutAViewportReportsAndSendsNothing)
{
    IDirect3DViewport2* viewport = d3d->lpD3DViewport2;
    d3d->lpD3DViewport2 = nullptr;
    std::string out = CaptureOutput([] { EXPECT_EQ(SetRenderState(1), 1); });
    d3d->lpD3DViewport2 = viewport;
    EXPECT_TRUE(Reported(out, "SetRenderState() : No viewport")) << out;
    EXPECT_EQ(Calls(), Strings{});
}

// Lists drawn one actor each, and changes made by other code between them.
TEST_F(RendrTest, TextureSelectionSetsOnlyWhatTheListBeforeDidNotLeave)
{
    enum Kind
    {
        List,            // an actor whose one list has this texture slot
        OutsideTexture,  // other code sets this texture handle
        OutsideMaterial, // other code sets this material handle
        WithoutShortcut, // a list selected without the last-index comparison
    };
    struct Step
    {
        Kind kind;
        int value;
    };
    struct Case
    {
        const char* name;
        bool hardware;
        std::vector<Step> steps;
        Strings sent;
    };
    // Slot 0 is the default material (handle 900); texture 10 (handle 110) has material 3
    // (handle 903), texture 11 (handle 111) material 4 (handle 904).
    const Case cases[] = {
        {"hardware: a second actor with the same texture sets nothing",
         true,
         {{List, 10}, {List, 10}},
         {"material 900", "TEXTUREHANDLE 110"}},
        {"hardware: material 0 again once after an untextured list",
         true,
         {{List, 10}, {List, -1}, {List, 11}, {List, 10}},
         {"material 900", "TEXTUREHANDLE 110", "material 0", "TEXTUREHANDLE 0", "material 900",
          "TEXTUREHANDLE 111", "TEXTUREHANDLE 110"}},
        {"software: each texture's own material",
         false,
         {{List, 10}, {List, 11}, {List, 10}, {List, -1}, {List, 10}},
         {"material 903", "TEXTUREHANDLE 110", "material 904", "TEXTUREHANDLE 111", "material 903",
          "TEXTUREHANDLE 110", "material 0", "TEXTUREHANDLE 0", "material 903",
          "TEXTUREHANDLE 110"}},
        {"a texture set by other code is not taken for the list's",
         true,
         {{List, 10}, {OutsideTexture, 55}, {List, 10}},
         {"material 900", "TEXTUREHANDLE 110", "TEXTUREHANDLE 55", "TEXTUREHANDLE 110"}},
        {"a material set by other code is not taken for the list's",
         true,
         {{List, 10}, {OutsideMaterial, 77}, {List, 10}},
         {"material 900", "TEXTUREHANDLE 110", "material 77", "material 900"}},
        {"a selection without the shortcut leaves no last index",
         false,
         {{List, 10}, {WithoutShortcut, 11}, {List, 11}},
         {"material 903", "TEXTUREHANDLE 110", "material 904", "TEXTUREHANDLE 111"}},
    };
    FakeMaterial(0, 900);
    FakeMaterial(3, 903);
    FakeMaterial(4, 904);
    FakeTexture(10, 110, 3);
    FakeTexture(11, 111, 4);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DkSetMaterialHandle(0);
        NewDevice(c.hardware);
        for (const Step& step : c.steps)
        {
            switch (step.kind)
            {
                case List:
                    DrawObject(Actor(Model({Quad(step.value)})), 0);
                    break;
                case OutsideTexture:
                    DkSetTextureHandle(static_cast<uint32_t>(step.value));
                    break;
                case OutsideMaterial:
                    DkSetMaterialHandle(static_cast<uint32_t>(step.value));
                    break;
                case WithoutShortcut:
                    DkSelectListTexture(step.value, FALSE);
                    break;
            }
        }
        EXPECT_EQ(Only({"TEXTUREHANDLE", "material"}), c.sent);
    }
}

TEST_F(RendrTest, AnActorIsDrawnOnlyWhenItsModelPassesEveryTest)
{
    struct Case
    {
        const char* name;
        DK_VECTOR placement;
        uint8_t alwaysDraw;
        bool alwaysDrawOnly;
        uint8_t minimumDetail;
        uint8_t passMask;
        int pass;
        bool horizon;
        bool drawn;
    };
    const DK_VECTOR unit = {ONE, ONE, ONE};
    const DK_VECTOR world = {-ONE, -ONE, -ONE};
    const Case cases[] = {
        {"plain", unit, 0, false, 0, 0xFF, 0, false, true},
        {"always-draw only, not always-drawn", unit, 0, true, 0, 0xFF, 0, false, false},
        {"always-draw only, always-drawn", unit, 1, true, 0, 0xFF, 0, false, true},
        {"always-draw only, world-space", world, 0, true, 0, 0xFF, 0, false, true},
        {"always-draw only, (-1, -1, 1) is not world-space",
         {-ONE, -ONE, ONE},
         0,
         true,
         0,
         0xFF,
         0,
         false,
         false},
        {"minimum detail at the level", unit, 0, false, 3, 0xFF, 0, false, true},
        {"minimum detail above the level", unit, 0, false, 4, 0xFF, 0, false, false},
        {"world-space above the level", world, 0, false, 4, 0xFF, 0, false, false},
        {"not in the pass", unit, 0, false, 0, 0xFE, 0, false, false},
        {"in pass 1", unit, 0, false, 0, 0x02, 1, false, true},
        {"the horizon", unit, 1, false, 0, 0xFF, 0, true, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DK_MODEL* model = Model({Quad(-1)});
        model->Scale = c.placement;
        DK_ACTOR* actor = Actor(model);
        actor->uAlwaysDraw = c.alwaysDraw;
        actor->uMinimumDetail = c.minimumDetail;
        actor->uPassMask = c.passMask;
        gpHorizonActor = c.horizon ? actor : nullptr;
        DkSetAlwaysDrawOnly(c.alwaysDrawOnly ? 1 : 0);
        DrawObject(actor, c.pass);
        EXPECT_EQ(Draws().size(), c.drawn ? 1u : 0u);
    }
}

// World-space models take the identity world and keep their colours; the tint replaces the
// RGB of every other lit vertex and keeps its alpha.
TEST_F(RendrTest, WorldSpaceModelsDrawWithTheIdentityAndUntinted)
{
    struct Case
    {
        const char* name;
        DK_VECTOR placement;
        int tint;
        bool identity;
        uint32_t colour;
    };
    const Case cases[] = {
        {"world-space, tint on", {-ONE, -ONE, -ONE}, 1, true, 0x80102030},
        {"(-1, -1, 1), tint on", {-ONE, -ONE, ONE}, 1, false, 0x80C86432},
        {"placed, tint on", {ONE, ONE, ONE}, 1, false, 0x80C86432},
        {"placed, tint off", {ONE, ONE, ONE}, 0, false, 0x80102030},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        gboActorTintLighting = c.tint;
        DK_MODEL* model = Model({Quad(-1, 0x80102030)});
        model->Scale = c.placement;
        DK_ACTOR* actor = Actor(model);
        actor->auColour[0] = 200;
        actor->auColour[1] = 100;
        actor->auColour[2] = 50;
        actor->auColour[3] = 10;
        for (int i = 0; i < 16; ++i)
            actor->afDevice[i] = static_cast<float>(i + 2);
        Untextured();
        DrawObject(actor, 0);
        const auto& log = D3dCallLog();
        ASSERT_EQ(log.size(), seen + 2);
        ASSERT_EQ(log[seen].call, D3dCall::Transform);
        EXPECT_TRUE(SameMatrix(log[seen].matrix, c.identity ? kIdentity : Floats(actor->afDevice)));
        for (const D3DLVERTEX& v : log[seen + 1].vertices)
            EXPECT_EQ(v.color, c.colour);
    }
}

TEST_F(RendrTest, DrawObjectDescendsIntoAHiddenActorWhileTheTreeWalkSkipsItsSubtree)
{
    DK_ACTOR* hidden = Actor(Model({Quad(-1)}));
    hidden->uPassMask = 0xFE;
    Actor(Model({Quad(-1)}), hidden);
    DK_ACTOR* peer = Actor(Model({Quad(-1)}));
    ASSERT_EQ(hidden->pNext, peer);

    DrawObject(hidden, 0);
    EXPECT_EQ(Draws().size(), 1u) << "the child";
    DrawObjectRecursive(hidden, 0);
    EXPECT_EQ(Draws().size(), 1u) << "the peer";
    // A shown dummy passes its children on.
    DK_ACTOR* dummy = Actor(nullptr);
    Actor(Model({Quad(-1)}), dummy);
    DrawObjectRecursive(dummy, 0);
    EXPECT_EQ(Draws().size(), 1u);
}

TEST_F(RendrTest, LevelFlagZeroDrawsWithCullingOffAndPutsBackTheCachedMode)
{
    for (uint32_t view : {D3DCULL_CCW, D3DCULL_CW})
    {
        SCOPED_TRACE(view);
        // A mirrored view keeps CW in the cache and the device.
        d3d->anRenderStateCache[DKRS_CULLMODE] = static_cast<int32_t>(view);
        DkSetCullMode(view);
        Untextured();
        DrawObject(Actor(Model({Quad(-1), Quad(-1)}, DK_VERTEX_LIT, 1)), 0);
        EXPECT_EQ(Calls(), (Strings{"world", "CULLMODE 1", "draw 2 4/6", "draw 2 4/6",
                                    "CULLMODE " + std::to_string(view)}));
    }
    d3d->anRenderStateCache[DKRS_CULLMODE] = D3DCULL_CCW;
}

// A list the device refuses is reported in the caller's words and the next list is drawn.
TEST_F(RendrTest, ARefusedListIsReportedByItsCallerAndDrawingGoesOn)
{
    struct Case
    {
        const char* message;
        std::function<void(DK_ACTOR*)> draw;
    };
    const Case cases[] = {
        {"DrawObject:invalid PARAM", [](DK_ACTOR* a) { DrawObject(a, 0); }},
        {"DrawObjectRecursive:invalid PARAM", [](DK_ACTOR* a) { DrawObjectRecursive(a, 0); }},
        {"Horizon:invalid PARAM", [](DK_ACTOR* a) { DrawHorizon(a, 0); }},
        {"DrawCar:invalid PARAM", [](DK_ACTOR* a) { DrawCar(a, 0); }},
        {"DrawCarRecursive:invalid PARAM", [](DK_ACTOR* a) { DrawCarRecursive(a, 0); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.message);
        DK_MODEL_NODE* refused = Quad(-1);
        refused->puIndices = nullptr;
        DK_ACTOR* actor = Actor(Model({refused, Quad(-1)}));
        const std::string out = CaptureOutput([&] { c.draw(actor); });
        EXPECT_TRUE(Reported(out, c.message)) << out;
        EXPECT_EQ(CountReports(out), 1);
        const auto draws = Draws();
        ASSERT_EQ(draws.size(), 2u);
        EXPECT_EQ(draws[0].result, DDERR_INVALIDPARAMS);
        EXPECT_EQ(draws[1].result, D3D_OK);
    }
}

TEST_F(RendrTest, BlendModesFollowTheDevicesCapabilities)
{
    struct Case
    {
        const char* name;
        int mode;
        DWORD removeSource, removeDestination, removeTexture;
        int hardwareType;
        bool hardware;
        int result;
        Strings sent;
    };
    const Strings alpha = {"TEXTUREMAPBLEND 4", "ALPHABLENDENABLE 1", "SRCBLEND 5", "DESTBLEND 6"};
    const Case cases[] = {
        {"opaque",
         0,
         0,
         0,
         0,
         0,
         true,
         1,
         {"TEXTUREMAPBLEND 2", "ALPHABLENDENABLE 0", "COLORKEYENABLE 0"}},
        {"opaque without transparency",
         0,
         0,
         0,
         D3DPTEXTURECAPS_TRANSPARENCY,
         0,
         true,
         1,
         {"TEXTUREMAPBLEND 2", "ALPHABLENDENABLE 0"}},
        {"keyed",
         1,
         0,
         0,
         0,
         0,
         true,
         1,
         {"TEXTUREMAPBLEND 2", "ALPHABLENDENABLE 0", "COLORKEYENABLE 1"}},
        {"keyed, hardware type 2",
         1,
         0,
         0,
         0,
         2,
         true,
         1,
         {"TEXTUREMAPBLEND 2", "ALPHABLENDENABLE 1", "COLORKEYENABLE 1"}},
        {"keyed without transparency", 1, 0, 0, D3DPTEXTURECAPS_TRANSPARENCY, 0, true, 1, alpha},
        {"alpha", 2, 0, 0, 0, 0, true, 1, alpha},
        {"alpha without the alpha pair", 2, D3DPBLENDCAPS_SRCALPHA, 0, 0, 0, true, 1, {}},
        {"additive",
         3,
         0,
         0,
         0,
         0,
         true,
         1,
         {"TEXTUREMAPBLEND 4", "ALPHABLENDENABLE 1", "SRCBLEND 2", "DESTBLEND 4"}},
        {"additive without ONE", 3, D3DPBLENDCAPS_ONE, 0, 0, 0, true, 1, alpha},
        {"additive without INVSRCCOLOR", 3, 0, D3DPBLENDCAPS_INVSRCCOLOR, 0, 0, true, 1, alpha},
        {"additive without either pair",
         3,
         D3DPBLENDCAPS_ONE | D3DPBLENDCAPS_SRCALPHA,
         0,
         0,
         0,
         true,
         1,
         {}},
        {"hardware type 3", 2, 0, 0, 0, 3, true, 1, {}},
        {"software", 2, 0, 0, 0, 0, false, 1, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Card(
            [&](D3DPRIMCAPS& tri)
            {
                tri.dwSrcBlendCaps &= ~c.removeSource;
                tri.dwDestBlendCaps &= ~c.removeDestination;
                tri.dwTextureCaps &= ~c.removeTexture;
            });
        DkSetHardwareType(c.hardwareType);
        d3d->nHardwareTexturing = c.hardware ? 1 : 0;
        Forget();
        EXPECT_EQ(DkSetTextureBlendMode(c.mode), c.result);
        EXPECT_EQ(Calls(), c.sent);
    }
    DkSetHardwareType(0);
    d3d->nHardwareTexturing = 1;
    const std::string out = CaptureOutput([] { EXPECT_EQ(DkSetTextureBlendMode(4), 0); });
    EXPECT_TRUE(Reported(out, "DkSetTextureBlendMode() : Unknown blend mode")) << out;
    EXPECT_EQ(Calls(), Strings{});
}

TEST_F(RendrTest, TranslucencyUsesStippledAlphaWithoutTextureAlphaAndNothingOnSomeDevices)
{
    struct Case
    {
        const char* name;
        DWORD removeTexture;
        DWORD addRaster;
        int hardwareType;
        bool hardware;
        Strings on, off;
    };
    const Case cases[] = {
        {"texture alpha",
         0,
         0,
         0,
         true,
         {"ALPHABLENDENABLE 1", "TEXTUREMAPBLEND 2", "SRCBLEND 5", "DESTBLEND 6"},
         {"ALPHABLENDENABLE 0"}},
        {"no texture alpha",
         D3DPTEXTURECAPS_ALPHA,
         0,
         0,
         true,
         {"STIPPLEDALPHA 1", "TEXTUREMAPBLEND 2", "SRCBLEND 5", "DESTBLEND 6"},
         {"STIPPLEDALPHA 0"}},
        {"hardware type 7 has no texture alpha",
         0,
         0,
         7,
         true,
         {"STIPPLEDALPHA 1", "TEXTUREMAPBLEND 2", "SRCBLEND 5", "DESTBLEND 6"},
         {"STIPPLEDALPHA 0"}},
        {"z-bufferless",
         0,
         D3DPRASTERCAPS_ZBUFFERLESSHSR,
         0,
         true,
         {"ALPHABLENDENABLE 1", "TEXTUREMAPBLEND 4", "SRCBLEND 5", "DESTBLEND 6"},
         {"ALPHABLENDENABLE 0"}},
        {"hardware type 3", 0, 0, 3, true, {}, {}},
        {"software", 0, 0, 0, false, {}, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Card(
            [&](D3DPRIMCAPS& tri)
            {
                tri.dwTextureCaps &= ~c.removeTexture;
                tri.dwRasterCaps |= c.addRaster;
            });
        DkSetHardwareType(c.hardwareType);
        d3d->nHardwareTexturing = c.hardware ? 1 : 0;
        Forget();
        DkSetTranslucent(1);
        EXPECT_EQ(Calls(), c.on);
        DkSetTranslucent(0);
        EXPECT_EQ(Calls(), c.off);
    }
    DkSetHardwareType(0);
}

TEST_F(RendrTest, LinearFilteringWithoutClampedAddressingSendsNearestOnce)
{
    Card([](D3DPRIMCAPS& tri) { tri.dwTextureAddressCaps = D3DPTADDRESSCAPS_WRAP; });
    NewDevice(false);
    DkSetTextureFilter(D3DFILTER_LINEAR);
    EXPECT_EQ(Calls(), (Strings{"TEXTUREMAG 1", "TEXTUREMIN 1"}));
    DkSetTextureFilter(D3DFILTER_LINEAR);
    EXPECT_EQ(Calls(), Strings{});
}

TEST_F(RendrTest, TheHorizonDrawsBeyondTheFarPlaneWithItsOwnFogAndNoTint)
{
    gboActorTintLighting = 1;
    output += CaptureOutput([] { DkSetFog(Fx(10), Fx(80), 0x808080); });
    ASSERT_TRUE(DkIsVertexFogOn());
    DkSetHorizonFogDistance(Fx(45));
    DK_ACTOR* sky = Actor(Model({Node(
        -1, {Lit(0, 0, 0, 0x80102030), Lit(0, 0, 500, 0x80102030), Lit(500, 0, 0, 0x80102030)},
        {0, 1, 2})}));
    gpHorizonActor = sky;
    sky->auColour[0] = 255;
    const int32_t far = gxTrackClipDistance;
    ASSERT_EQ(far, 250 << 16);
    Untextured();
    const size_t at = seen;
    DrawHorizon(sky, 0);
    const auto& log = D3dCallLog();
    EXPECT_EQ(Calls(), (Strings{"projection", "world", "draw 2 3/3", "projection"}));
    EXPECT_EQ(log[at].matrix._33, 25000.0f / (25000.0f - 1.0f));
    EXPECT_EQ(log[at + 3].matrix._33, 250.0f / (250.0f - 1.0f));
    EXPECT_EQ(gxTrackClipDistance, far);
    // 255 x (80 - 45) / 70, truncated: 127 for every vertex, however far.
    for (const D3DLVERTEX& v : log[at + 2].vertices)
    {
        EXPECT_EQ(v.specular, 0x7F000000u);
        EXPECT_EQ(v.color, 0x80102030u);
    }
}

TEST_F(RendrTest, AFacingObjectTurnsWithTheSideVectorAndScalesByItsActor)
{
    struct Case
    {
        const char* name;
        DK_VECTOR side;
        float x[4], z[4];
    };
    // Vertex z is the width along the side vector: -1, -1, 1, 1.
    const Case cases[] = {
        {"looking along +z", {ONE, 0, 0}, {1, 1, -1, -1}, {0, 0, 0, 0}},
        {"looking along +x", {0, 0, -ONE}, {0, 0, 0, 0}, {-1, -1, 1, 1}},
        {"half way",
         {Fx(0.5), 0, Fx(-0.5)},
         {0.5f, 0.5f, -0.5f, -0.5f},
         {-0.5f, -0.5f, 0.5f, 0.5f}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DK_MODEL_NODE* quad = Node(-1, {Lit(9, 0, -1), Lit(9, 2, -1), Lit(9, 2, 1), Lit(9, 0, 1)},
                                   {0, 1, 2, 0, 2, 3});
        DK_ACTOR* sprite = Actor(Model({quad}, DK_VERTEX_LIT, 4));
        sprite->Scale = {Fx(2), Fx(3), Fx(4)};
        for (float& f : sprite->afDevice)
            f = 0.5f;
        sprite->afDevice[12] = 5;
        sprite->afDevice[13] = 6;
        sprite->afDevice[14] = 7;
        Untextured();
        DkDrawObjectFacing(sprite, &c.side, 0);
        const auto& log = D3dCallLog();
        ASSERT_EQ(Calls().size(), 2u);
        const D3DMATRIX want = {2, 0, 0, 0.5f, 0, 3, 0, 0.5f, 0, 0, 4, 0.5f, 5, 6, 7, 0.5f};
        EXPECT_TRUE(SameMatrix(log[log.size() - 2].matrix, want));
        const D3dLoggedCall& draw = log.back();
        ASSERT_EQ(draw.vertices.size(), 4u);
        for (int i = 0; i < 4; ++i)
        {
            EXPECT_EQ(draw.vertices[i].x, c.x[i]) << i;
            EXPECT_EQ(draw.vertices[i].y, quad->pVertices[i].y) << i;
            EXPECT_EQ(draw.vertices[i].z, c.z[i]) << i;
        }
        EXPECT_EQ(quad->pVertices[0].x, 9.0f) << "the model keeps its own vertices";
    }
}

TEST_F(RendrTest, AFacingObjectIsDrawnOnlyFromFourVertexListsAndWhenShown)
{
    // A list of n vertices (n is 3, 4 or 6) whose last index is given.
    auto list = [](int n, uint16_t lastIndex)
    {
        const DK_VERTEX v = Lit(0, 0, 1);
        DK_MODEL_NODE* node = Node(-1, {v, v, v, v, v, v}, {0, 1, 2, 0, 2, lastIndex});
        node->nNumVertices = n;
        return node;
    };
    struct Case
    {
        const char* name;
        int firstVertices, secondVertices;
        uint16_t lastIndex;
        uint8_t alwaysDraw;
        bool alwaysDrawOnly;
        size_t draws;
        bool reported;
    };
    const Case cases[] = {
        {"two quads", 4, 4, 3, 0, false, 2, false},
        {"a first list of three vertices", 3, 4, 3, 0, false, 0, true},
        {"a second list of six vertices", 4, 6, 3, 0, false, 0, true},
        {"an index of 4", 4, 4, 4, 0, false, 0, true},
        {"always-draw only", 4, 4, 3, 0, true, 0, false},
        {"always-draw only, always drawn", 4, 4, 3, 1, true, 2, false},
    };
    const DK_VECTOR side = {ONE, 0, 0};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DK_ACTOR* sprite = Actor(Model({list(c.firstVertices, c.firstVertices > 3 ? 3 : 2),
                                        list(c.secondVertices, c.lastIndex)},
                                       DK_VERTEX_LIT, 4));
        sprite->uAlwaysDraw = c.alwaysDraw;
        DkSetAlwaysDrawOnly(c.alwaysDrawOnly ? 1 : 0);
        const std::string out = CaptureOutput([&] { DkDrawObjectFacing(sprite, &side, 0); });
        EXPECT_EQ(Draws().size(), c.draws);
        EXPECT_EQ(Reported(out, "DkDrawObjectFacing: a facing level must be four-vertex lists"),
                  c.reported)
            << out;
    }
    const std::string out = CaptureOutput([&] { DkDrawObjectFacing(Actor(nullptr), &side, 0); });
    EXPECT_TRUE(Reported(out, "DkDrawObjectFacing: theoretically shouldn't reach here!")) << out;
}

// Car trees, drawn part by part: the log read as the part each draw shows (its vertex colour's
// low byte) and translucency switched on and off.
class CarTest : public RendrTest
{
public:
    DK_ACTOR* Part(DK_ACTOR* parent, char name, uint32_t uId = 0)
    {
        return Actor(Model({Quad(-1, 0xFF000000u | static_cast<uint8_t>(name))}), parent, uId);
    }
    std::string Sequence()
    {
        std::string text;
        const auto& log = D3dCallLog();
        for (; seen < log.size(); ++seen)
        {
            const D3dLoggedCall& c = log[seen];
            if (c.call == D3dCall::Draw)
                text += static_cast<char>(c.vertices.at(0).color & 0xFF);
            else if (c.call == D3dCall::RenderState && c.what == D3DRENDERSTATE_ALPHABLENDENABLE)
                text += c.value ? '[' : ']';
        }
        return text;
    }
};

TEST_F(CarTest, EachPartIsDrawnOnceAndAnId111PartWithItsSubtreeTranslucent)
{
    struct Case
    {
        const char* name;
        std::function<void(CarTest&, DK_ACTOR*)> build;
        const char* drawn;
    };
    const Case cases[] = {
        {"a chain ending in an id-111 part",
         [](CarTest& t, DK_ACTOR* car)
         {
             t.Part(car, 'a');
             t.Part(car, 'g', 111);
         },
         "Ba[g]"},
        {"peers after an id-111 part",
         [](CarTest& t, DK_ACTOR* car)
         {
             t.Part(car, 'a');
             t.Part(car, 'g', 111);
             t.Part(car, 'c');
             t.Part(car, 'd');
         },
         "Ba[g]cd"},
        {"two id-111 peers",
         [](CarTest& t, DK_ACTOR* car)
         {
             t.Part(car, 'g', 111);
             t.Part(car, 'b');
             t.Part(car, 'h', 111);
         },
         "B[g]b[h]"},
        {"an id-111 part inside another's subtree",
         [](CarTest& t, DK_ACTOR* car)
         {
             DK_ACTOR* glass = t.Part(car, 'g', 111);
             t.Part(glass, 'h', 111);
             t.Part(glass, 'e');
             t.Part(car, 'c');
         },
         "B[ghe]c"},
        {"parts out of the pass keep their subtrees back",
         [](CarTest& t, DK_ACTOR* car)
         {
             DK_ACTOR* hidden = t.Part(car, 'x');
             hidden->uPassMask = 0xFE;
             t.Part(hidden, 'y');
             t.Part(car, 'c');
         },
         "Bc"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DK_ACTOR* car = Part(nullptr, 'B');
        c.build(*this, car);
        Forget();
        DrawCar(car, 0);
        EXPECT_EQ(Sequence(), c.drawn);
    }
}

TEST_F(CarTest, AnId111CarIsDrawnOnlyWithTextureAlpha)
{
    for (bool alpha : {true, false})
    {
        SCOPED_TRACE(alpha);
        Card([&](D3DPRIMCAPS& tri) { tri.dwTextureCaps &= alpha ? ~0u : ~D3DPTEXTURECAPS_ALPHA; });
        DK_ACTOR* car = Part(nullptr, 'G', 111);
        Part(car, 'a');
        Forget();
        DrawCar(car, 0);
        EXPECT_EQ(Sequence(), alpha ? "Ga" : "a");
    }
}

TEST_F(CarTest, AnId111CarIsDrawnWithoutTextureAlphaInADisplayModeAboveTheFirst)
{
    ReopenInSecondMode([](D3DPRIMCAPS& tri) { tri.dwTextureCaps &= ~D3DPTEXTURECAPS_ALPHA; });
    ASSERT_FALSE(DkCapGetD());
    DK_ACTOR* car = Part(nullptr, 'G', 111);
    Forget();
    DrawCar(car, 0);
    EXPECT_EQ(Sequence(), "G");
}

// Sphere-map coordinates worked by hand: d = -v normalised, r = d turned by the part's world
// matrix times the camera's inverse, (u, v) = r.xy / 2 + 0.5.
TEST_F(RendrTest, SphereMapCoordinatesReflectTheVertexAsTheCameraSeesIt)
{
    DK_MATRIX identity;
    DkIdentityMatrix(&identity);
    struct Case
    {
        const char* name;
        DK_MATRIX camera, part;
        DK_VERTEX vertex;
        float u, v;
    };
    const Case cases[] = {
        {"along x", identity, identity, Lit(1, 0, 0), 0.0f, 0.5f},
        {"below", identity, identity, Lit(0, -2, 0), 0.5f, 1.0f},
        {"at the centre", identity, identity, Lit(0, 0, 0), 0.5f, 0.5f},
        {"part turned", identity, kQuarterTurnY, Lit(0, 0, 1), 0.0f, 0.5f},
        {"camera turned", kQuarterTurnY, identity, Lit(0, 0, 1), 1.0f, 0.5f},
        {"both turned alike", kQuarterTurnY, kQuarterTurnY, Lit(1, 0, 0), 0.0f, 0.5f},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DK_ACTOR* camera = Actor(nullptr);
        camera->World = c.camera;
        camera->World.m[3][2] = Fx(-5);
        DK_MODEL_NODE* list = Node(-1, {c.vertex, c.vertex}, {});
        DK_MODEL_NODE* second = Quad(-1);
        DK_ACTOR* part = Actor(Model({list, second}));
        part->World = c.part;
        gpRenderCameraActor = camera;
        DkSetSphereMapCoords(part);
        for (int i = 0; i < 2; ++i)
        {
            EXPECT_NEAR(list->pVertices[i].u, c.u, 1.0 / 1024);
            EXPECT_NEAR(list->pVertices[i].v, c.v, 1.0 / 1024);
        }
        EXPECT_EQ(second->pVertices[2].u, 1.0f) << "only the first list is mapped";
    }
}

TEST_F(RendrTest, SphereMapCoordinatesWaitForAFramesCamera)
{
    DK_MODEL_NODE* list = Quad(-1);
    DkSetSphereMapCoords(Actor(Model({list})));
    EXPECT_EQ(list->pVertices[0].u, 0.0f);
    EXPECT_EQ(list->pVertices[0].v, 1.0f);
}

TEST_F(RendrTest, SwitchesKeepWhatTheyAreGiven)
{
    DkSetObjectDetailLevel(1);
    EXPECT_EQ(DkGetObjectDetailLevel(), 1);
    DkSetEngineOptionA(5);
    EXPECT_EQ(gboDkEngineOptionA, TRUE);
    DkSetEngineOptionA(0);
    EXPECT_EQ(gboDkEngineOptionA, FALSE);
    DkSetC3dLoadOption(9);
    EXPECT_EQ(gboC3dLoadOption, TRUE);
    DkSetC3dLoadOption(0);
    EXPECT_EQ(gboC3dLoadOption, FALSE);
}

// A car seen from 4 units back: its opaque body, and over it a glass part drawn translucent with
// a sphere-mapped checker.
TEST_F(CarTest, GoldenSphereMappedGlassOverItsCar)
{
    DK_TEXTURE* checker =
        Texture(16, 16, false,
                [](int x, int y)
                { return ((x / 4 + y / 4) & 1) ? Rgb565(255, 240, 80) : Rgb565(40, 60, 200); });
    ASSERT_NE(checker, nullptr);
    UseTexture(5, checker);

    const DK_VECTOR eye = {0, 0, Fx(-4)};
    DK_ACTOR* camera = nullptr;
    DK_ACTOR* world = World();
    output += CaptureOutput([&] { camera = DkCreateCamera(&eye, nullptr, nullptr, world); });
    DK_ACTOR* car = Actor(Model({Quad(-1, 0xFFC03020, 1.5f)}));
    DK_MODEL_NODE* glass = Node(5,
                                {Lit(-1, -0.6f, -0.3f, 0x90FFFFFF),
                                 Lit(-1, 0.8f, -0.2f, 0x90FFFFFF), Lit(1, 0.8f, -0.2f, 0x90FFFFFF),
                                 Lit(1, -0.6f, -0.3f, 0x90FFFFFF), Lit(0, 0.1f, -0.6f, 0x90FFFFFF)},
                                {4, 0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0});
    const DK_VECTOR lift = {0, Fx(0.2), 0};
    const int16_t turn[3] = {0, 120, 0};
    DK_ACTOR* part = Actor(Model({glass}), car, 111);
    DkSetActor(part, &lift, turn);
    UpdateActors();
    DkSetCameraTransform(camera);
    gpRenderCameraActor = camera;

    CornerViewport();
    Frame([&] { DrawCar(car, 0); });
    EXPECT_EQ(output.find("ASSERT"), std::string::npos) << output;
    ExpectGolden("rendr_sphere_mapped_glass");
}

} // namespace
