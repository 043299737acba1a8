// Fog: the factor each vertex gets (start, end, floor from the density), per vertex for
// world-space lists and one value for objects, never for device-lit lists; what the device is
// told, and when fog stays off; a golden frame of fogged track receding from the camera.
#include "tests/engine/render_fixture.h"

namespace
{

using Strings = std::vector<std::string>;

class FogTest : public RenderTest
{
protected:
    // The fog byte DkApplyVertexFog gives one vertex at distance xDistance (not 0).
    static int Byte(int32_t xDistance)
    {
        DK_VERTEX v = Lit(0, 0, 0, 0xFFFFFFFF);
        const DK_VECTOR eye = {0, 0, 0};
        DkApplyVertexFog(&v, 1, xDistance, &eye);
        EXPECT_EQ(v.Lit.uSpecular & 0x00FFFFFFu, 0u) << "the specular colour is black";
        return static_cast<int>(v.Lit.uSpecular >> 24);
    }
    void Fog(int32_t xStart, int32_t xEnd, float fDensity)
    {
        output += CaptureOutput([&] { DkSetFog(xStart, xEnd, 0x808080); });
        DkSetFogDensity(fDensity);
        Forget();
    }
};

TEST_F(FogTest, TheFactorIsClearToTheStartFallsToTheEndAndHoldsTheFloorBeyond)
{
    struct Case
    {
        double start, end;
        float density;
        double distance;
        int byte;
    };
    const Case cases[] = {
        {10, 80, 1.0f, 5, 255},   {10, 80, 1.0f, 10, 255}, // at the start
        {10, 80, 1.0f, 20, 218},                           // 255 x 60 / 70
        {10, 80, 1.0f, 45, 127},  {10, 80, 1.0f, 80, 0},   // at the end: the floor
        {10, 80, 1.0f, 200, 0},   {10, 80, 0.5f, 20, 218},
        {10, 80, 0.5f, 45, 128}, // 127 is below the floor
        {10, 80, 0.5f, 80, 128},  {10, 80, 0.5f, 200, 128},
        {10, 80, 0.2f, 200, 204}, {10, 80, 0.0f, 200, 255}, // 256.0 would wrap to full fog
        {10, 80, 1.5f, 200, 0},   {10, 250, 1.0f, 200, 53}, // 255 x 50 / 240
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.start << ".." << c.end << " density " << c.density
                                        << " at " << c.distance);
        Fog(Fx(c.start), Fx(c.end), c.density);
        EXPECT_EQ(Byte(Fx(c.distance)), c.byte);
    }
}

// World-space lists take each vertex's ground distance from the eye (its y plays no part), and
// a sum of squares past 32 bits, beyond 256 units, takes the floor instead of wrapping near.
TEST_F(FogTest, WorldSpaceListsFogEachVertexByItsGroundDistance)
{
    struct Case
    {
        float dx, dz;
        int byte;
    };
    const Case cases[] = {
        {3, 4, 255},   // 5: before the start
        {50, 0, 212},  // 255 x 200 / 240
        {0, -200, 53}, // 255 x 50 / 240
        {150, 200, 0}, // 250: the end
        {260, 0, 0},   // its square wraps to 45 units
        {2000, 10, 0},
    };
    Fog(Fx(10), Fx(250), 1.0f);
    gFogEyePoint = {Fx(3), Fx(100), Fx(-7)};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.dx << ", " << c.dz);
        DK_MODEL* model = Model(
            {Node(-1, {Lit(3 + c.dx, 999, -7 + c.dz), Lit(3, 0, -7), Lit(3 + c.dx, -5, -7 + c.dz)},
                  {0, 1, 2})});
        MakeWorldSpace(model);
        gxObjectDistance = Fx(50);
        DrawObject(Actor(model), 0);
        const auto draws = Draws();
        ASSERT_EQ(draws.size(), 1u);
        EXPECT_EQ(draws[0].vertices[0].specular >> 24, static_cast<DWORD>(c.byte));
        EXPECT_EQ(draws[0].vertices[1].specular >> 24, 255u);
        EXPECT_EQ(draws[0].vertices[2].specular >> 24, static_cast<DWORD>(c.byte));
    }
}

TEST_F(FogTest, ObjectsTakeOneValueAndDeviceLitListsAreNeverFogged)
{
    Fog(Fx(10), Fx(250), 1.0f);
    gFogEyePoint = {0, 0, 0};
    gxObjectDistance = Fx(200);
    DK_VERTEX unlit{};
    unlit.afNormal[2] = 0.25f;
    DK_MODEL_NODE* lit = Node(-1, {Lit(0, 0, 0), Lit(500, 0, 0), Lit(0, 0, 20)}, {0, 1, 2});
    DK_MODEL_NODE* deviceLit = Node(-1, {unlit, unlit, unlit}, {0, 1, 2});
    DrawObject(Actor(Model({lit})), 0);
    DrawObject(Actor(Model({deviceLit}, DK_VERTEX_UNLIT)), 0);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(lit->pVertices[i].Lit.uSpecular, 53u << 24) << i;
        EXPECT_EQ(deviceLit->pVertices[i].afNormal[2], 0.25f) << i;
    }
    EXPECT_EQ(Draws().size(), 2u);
}

TEST_F(FogTest, FogComesOnOnlyWithTableFogAndAZBuffer)
{
    Fog(Fx(20), Fx(60), 1.0f);
    ASSERT_TRUE(DkIsVertexFogOn());
    output += CaptureOutput([] { DkDisableFog(); });
    EXPECT_EQ(Calls(), Strings{"FOGENABLE 0"});
    EXPECT_FALSE(DkIsVertexFogOn());
    EXPECT_EQ(d3d->anRenderStateCache[DKRS_FOGENABLE], 0);

    DkSetFog(Fx(10), Fx(80), 0x112233);
    EXPECT_EQ(Calls(), (Strings{"FOGENABLE 1", "FOGCOLOR 1122867"}));
    EXPECT_TRUE(DkIsVertexFogOn());
    EXPECT_EQ(d3d->anRenderStateCache[DKRS_FOGENABLE], 1);

    // A z-bufferless device ignores the call: the range stays, nothing is sent.
    Card([](D3DPRIMCAPS& tri) { tri.dwRasterCaps |= D3DPRASTERCAPS_ZBUFFERLESSHSR; });
    DkSetFog(Fx(0), Fx(1000), 0x445566);
    EXPECT_EQ(Calls(), Strings{});
    EXPECT_EQ(Byte(Fx(45)), 127);

    // Without table fog the range is kept but fog stays off.
    Card([](D3DPRIMCAPS& tri) { tri.dwRasterCaps &= ~D3DPRASTERCAPS_FOGTABLE; });
    output += CaptureOutput([] { DkDisableFog(); });
    Forget();
    DkSetFog(Fx(10), Fx(250), 0x445566);
    EXPECT_EQ(Calls(), Strings{});
    EXPECT_FALSE(DkIsVertexFogOn());
    EXPECT_EQ(d3d->anRenderStateCache[DKRS_FOGENABLE], 0);
    EXPECT_EQ(Byte(Fx(200)), 53);
    DK_MODEL_NODE* list = Quad(-1);
    DrawObject(Actor(Model({list})), 0);
    EXPECT_EQ(list->pVertices[0].Lit.uSpecular, 0xFF000000u) << "no vertex fog";
}

TEST_F(FogTest, ARangeOfNoWidthIsReportedByTheDivide)
{
    std::string out = CaptureOutput([] { DkSetFog(Fx(30), Fx(30), 0); });
    EXPECT_TRUE(Reported(out, "DIVIDE BY ZERO")) << out;
    DkSetFogDensity(0.5f);
    out = CaptureOutput(
        [&]
        {
            EXPECT_EQ(Byte(Fx(30)), 255);
            EXPECT_EQ(Byte(Fx(31)), 128);
        });
    EXPECT_EQ(out, "");
}

TEST_F(FogTest, HorizonDistanceIsKept)
{
    DkSetHorizonFogDistance(Fx(20));
    EXPECT_EQ(DkGetHorizonFogDistance(), Fx(20));
}

// Ground quads from 2 to 49.5 units ahead of a camera 2 units up looking a little down, fogged
// grey from 3 to 20 with a quarter of their colour left beyond.
TEST_F(FogTest, GoldenFoggedTrackRecedingFromTheCamera)
{
    DK_MODEL* track = Model({});
    DK_MODEL_NODE** link = &track->aLevels[0].pFirstNode;
    for (int i = 0; i < 12; ++i)
    {
        const float z0 = 2.0f + 4.0f * i, z1 = z0 + 3.5f;
        const uint32_t colour = i % 2 ? 0xFF30C040 : 0xFFD04020;
        *link = Node(-1,
                     {Lit(-5, 0, z0, colour), Lit(-5, 0, z1, colour), Lit(5, 0, z1, colour),
                      Lit(5, 0, z0, colour)},
                     {0, 1, 2, 0, 2, 3});
        link = &(*link)->pNext;
    }
    MakeWorldSpace(track);
    DK_ACTOR* road = Actor(track);

    const DK_VECTOR eye = {0, Fx(2), 0};
    const int16_t down[3] = {-160, 0, 0};
    DK_ACTOR* camera = nullptr;
    DK_ACTOR* world = World();
    output += CaptureOutput([&] { camera = DkCreateCamera(&eye, down, nullptr, world); });
    UpdateActors();
    DkSetCameraTransform(camera);
    gFogEyePoint = eye;
    DkSetFogDensity(0.75f);
    output += CaptureOutput([] { DkSetFog(Fx(3), Fx(20), 0xA0A0B0); });

    CornerViewport();
    Frame([&] { DrawObject(road, 0); });
    EXPECT_EQ(output.find("ASSERT"), std::string::npos) << output;
    ExpectGolden("fog_track_receding");
}

} // namespace
