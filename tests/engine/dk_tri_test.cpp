// 3D triangle batches, read from the device's call log: the lists' limits, the vertices and
// colours of world and actor triangles, a mirrored actor triangle's facing, actor triangles
// following their actor, and the depth writes around them.
#include "engine/pc/3d/dk_tri.h"

#include "tests/engine/render_fixture.h"

namespace
{

using Strings = std::vector<std::string>;

class TriangleTest : public RenderTest
{
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        if (HasFatalFailure())
            return;
        output += CaptureOutput([] { DkInitialiseTriangles(); });
    }

    std::string World3(int n)
    {
        const DK_VECTOR p0 = {0, 0, 0}, p1 = {ONE, 0, 0}, p2 = {0, ONE, 0};
        const uint8_t c[4] = {1, 2, 3, 4};
        return CaptureOutput(
            [&]
            {
                for (int i = 0; i < n; ++i)
                    DkDrawTriangle(&p0, &p1, &p2, c, c, c);
            });
    }

    std::string Process()
    {
        return CaptureOutput(
            []
            {
                DkProcessTriangles(nullptr);
                DkProcessWorldTriangles(nullptr);
            });
    }
};

TEST_F(TriangleTest, The1024thWorldTriangleFitsAndThe1025thIsDroppedSilently)
{
    EXPECT_EQ(World3(1024), "");
    EXPECT_EQ(DkGetWorldTriangleVertexCount(), 3072);
    EXPECT_EQ(World3(1), "");
    EXPECT_EQ(DkGetWorldTriangleVertexCount(), 3072);
    Process();
    const auto draws = Draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].vertices.size(), 3072u);
    EXPECT_EQ(DkGetWorldTriangleVertexCount(), 0);

    // The actor list holds 1,024 triangles alike.
    DK_ACTOR* actor = Actor(nullptr);
    const DK_VECTOR p = {0, 0, 0};
    const uint8_t c[4] = {0, 0, 0, 0};
    const std::string out = CaptureOutput(
        [&]
        {
            for (int i = 0; i < 1025; ++i)
                DkDrawActorTriangle(actor, &p, &p, &p, c, 0);
        });
    EXPECT_EQ(out, "");
    EXPECT_EQ(DkGetActorTriangleCount(), 1024);
}

// World triangles: a colour each corner; actor triangles one colour, placed by the actor's world
// matrix as it stands when they are drawn; both untextured and unlit, specular opaque.
TEST_F(TriangleTest, TrianglesTakeTheirCornersAndColoursAndActorTrianglesFollowTheirActor)
{
    const DK_VECTOR p0 = {Fx(1.5), Fx(-2), Fx(3)}, p1 = {Fx(4), 0, Fx(0.25)}, p2 = {0, ONE, 0};
    const uint8_t red[4] = {255, 0, 0, 128}, green[4] = {0, 255, 0, 64}, blue[4] = {0, 0, 255, 255};
    DkDrawTriangle(&p0, &p1, &p2, red, green, blue);
    DK_ACTOR* actor = Actor(nullptr);
    DkDrawActorTriangle(actor, &p0, &p1, &p2, green, 0);
    // Moved by (10, 20, 30) after the queueing.
    actor->World.m[3][0] = Fx(10);
    actor->World.m[3][1] = Fx(20);
    actor->World.m[3][2] = Fx(30);
    DkSetTextureHandle(5);
    DkSetMaterialHandle(6);
    Forget();
    Process();
    const auto& log = D3dCallLog();
    const size_t at = seen;
    EXPECT_EQ(Calls(), (Strings{"TEXTUREHANDLE 0", "material 0", "draw 2 3/0", "draw 2 3/0"}));
    const D3dLoggedCall& actorDraw = log[at + 2];
    const D3dLoggedCall& worldDraw = log[at + 3];
    const float want[3][3] = {{1.5f, -2, 3}, {4, 0, 0.25f}, {0, 1, 0}};
    const uint32_t colours[3] = {0x80FF0000u, 0x4000FF00u, 0xFF0000FFu};
    for (int k = 0; k < 3; ++k)
    {
        const D3DLVERTEX& w = worldDraw.vertices[k];
        EXPECT_EQ(w.x, want[k][0]);
        EXPECT_EQ(w.y, want[k][1]);
        EXPECT_EQ(w.z, want[k][2]);
        EXPECT_EQ(w.color, colours[k]);
        const D3DLVERTEX& a = actorDraw.vertices[k];
        EXPECT_EQ(a.x, want[k][0] + 10);
        EXPECT_EQ(a.y, want[k][1] + 20);
        EXPECT_EQ(a.z, want[k][2] + 30);
        EXPECT_EQ(a.color, 0x4000FF00u);
        for (const D3DLVERTEX* v : {&w, &a})
        {
            EXPECT_EQ(v->specular, 0xFF000000u);
            EXPECT_EQ(v->tu, 0.0f);
            EXPECT_EQ(v->tv, 0.0f);
            EXPECT_EQ(v->dwReserved, 0u);
        }
        EXPECT_EQ(actorDraw.flags, D3DDP_DONOTUPDATEEXTENTS);
    }
    EXPECT_EQ(DkGetActorTriangleCount(), 0);
    Process();
    EXPECT_EQ(Calls(), Strings{}) << "both lists were emptied";
}

// A triangle seen from in front, and its mirror image in the actor's z seen from the mirrored
// place behind, with back faces culled: swapping two corners makes the mirror image face its
// viewer exactly when the triangle faces its own.
TEST_F(TriangleTest, AMirroredActorTriangleKeepsItsFacing)
{
    const DK_VECTOR p0 = {0, 0, Fx(0.5)}, p1 = {ONE, 0, Fx(0.5)}, p2 = {0, ONE, ONE};
    const uint8_t white[4] = {255, 255, 255, 255};
    const DK_VECTOR front = {0, 0, Fx(-4)}, back = {0, 0, Fx(4)};
    const int16_t turned[3] = {0, 2048, 0};
    DK_ACTOR* world = World();
    DK_ACTOR* cameras[2] = {};
    output += CaptureOutput(
        [&]
        {
            cameras[0] = DkCreateCamera(&front, nullptr, nullptr, world);
            cameras[1] = DkCreateCamera(&back, turned, nullptr, world);
        });
    UpdateActors();
    CornerViewport();
    DkSetCullMode(D3DCULL_CCW);
    DK_ACTOR* actor = Actor(nullptr);
    // Triangles the device draws of the one queued, seen by camera c.
    auto drawn = [&](int c, const DK_VECTOR* q1, const DK_VECTOR* q2, int mirror)
    {
        cameras[c]->uDirty = 1;
        DkSetCameraTransform(cameras[c]);
        D3DSTATS before{}, after{};
        before.dwSize = after.dwSize = sizeof before;
        d3d->lpD3DDevice2->GetStats(&before);
        DkDrawActorTriangle(actor, &p0, q1, q2, white, mirror);
        Process();
        d3d->lpD3DDevice2->GetStats(&after);
        const auto draws = Draws();
        EXPECT_EQ(draws.size(), 1u);
        if (!draws.empty())
        {
            EXPECT_EQ(draws[0].vertices[0].z, mirror ? -0.5f : 0.5f) << "mirrored in z";
        }
        return after.dwTrianglesDrawn - before.dwTrianglesDrawn;
    };
    std::vector<DWORD> shown;
    for (bool swapped : {false, true})
    {
        SCOPED_TRACE(swapped ? "wound one way" : "wound the other");
        const DK_VECTOR* q1 = swapped ? &p2 : &p1;
        const DK_VECTOR* q2 = swapped ? &p1 : &p2;
        const DWORD triangle = drawn(0, q1, q2, 0);
        EXPECT_EQ(drawn(1, q1, q2, 1), triangle);
        shown.push_back(triangle);
    }
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, (std::vector<DWORD>{0, 1})) << "one winding faces the viewer";
}

TEST_F(TriangleTest, ActorTrianglesLeaveDepthWritesOffOnlyWithTheAlwaysPassComparison)
{
    for (bool always : {false, true})
    {
        SCOPED_TRACE(always);
        Card([&](D3DPRIMCAPS& tri) { tri.dwZCmpCaps |= always ? D3DPCMPCAPS_ALWAYS : 0; });
        const DK_VECTOR p = {0, 0, 0};
        const uint8_t c[4] = {0, 0, 0, 0};
        DkDrawActorTriangle(Actor(nullptr), &p, &p, &p, c, 0);
        DkDrawTriangle(&p, &p, &p, c, c, c);
        DkSetTextureHandle(0);
        DkSetMaterialHandle(0);
        Forget();
        Process();
        EXPECT_EQ(Calls(),
                  always ? (Strings{"ZWRITEENABLE 0", "draw 2 3/0", "ZWRITEENABLE 1", "draw 2 3/0"})
                         : (Strings{"draw 2 3/0", "draw 2 3/0"}))
            << "world triangles leave depth writes as they were";
    }
}

TEST_F(TriangleTest, BadCallsAreReportedAndDroppedAndARefusedDrawIsReported)
{
    const DK_VECTOR p = {0, 0, 0};
    const uint8_t c[4] = {0, 0, 0, 0};
    DK_ACTOR* actor = Actor(nullptr);
    struct Case
    {
        const char* message;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"DkDrawTriangle(): One of the vectors passed is NULL!",
         [&] { DkDrawTriangle(&p, nullptr, &p, c, c, c); }},
        {"DkDrawTriangle(): One of the vectors passed is NULL!",
         [&] { DkDrawTriangle(&p, &p, &p, c, c, nullptr); }},
        {"DkDrawTriangle(): One of the vectors passed is NULL!",
         [&] { DkDrawActorTriangle(actor, &p, &p, nullptr, c, 0); }},
        {"DkDrawTriangle(): One of the vectors passed is NULL!",
         [&] { DkDrawActorTriangle(actor, &p, &p, &p, nullptr, 0); }},
        {"DkDrawActorTriangle(): Pointer to actor is NULL!",
         [&] { DkDrawActorTriangle(nullptr, &p, &p, &p, c, 1); }},
    };
    for (const Case& k : cases)
    {
        const std::string out = CaptureOutput(k.call);
        EXPECT_TRUE(Reported(out, k.message)) << out;
        EXPECT_EQ(CountReports(out), 1) << out;
    }
    EXPECT_EQ(DkGetWorldTriangleVertexCount(), 0);
    EXPECT_EQ(DkGetActorTriangleCount(), 0);

    DkDrawTriangle(&p, &p, &p, c, c, c);
    DkDrawActorTriangle(actor, &p, &p, &p, c, 0);
    D3dFailDrawsForTests(DDERR_INVALIDPARAMS, 1);
    const std::string out = Process();
    EXPECT_EQ(CountReports(out), 1) << out;
    EXPECT_EQ(Draws().size(), 2u);

    std::string more = CaptureOutput([] { DkInitialiseTriangles(); });
    EXPECT_TRUE(Reported(more, "DkInitialiseTriangles(): Already initialised!")) << more;
    more = CaptureOutput([] { DkTriangleDestructor(); });
    EXPECT_NE(more.find("DkTriangleDestructor\nTriangle destructed\n"), std::string::npos) << more;
    more = CaptureOutput([&] { DkDrawTriangle(&p, &p, &p, c, c, c); });
    EXPECT_TRUE(Reported(more, "DkDrawTriangle(): Not initialised!")) << more;
    more = CaptureOutput([] { DkTriangleDestructor(); });
    EXPECT_TRUE(Reported(more, "DkDrawTriangle(): Not initialised!")) << more;
    output += CaptureOutput([] { DkInitialiseTriangles(); });
}

} // namespace
