// The height-data and trigger-line writers and the ground command: what they refuse, and how
// lines are stored on the track blocks.

#include <cmath>
#include <functional>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "tests/support/test_env.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/height_writer.h"
#include "tools/datakit/lines_writer.h"

namespace
{

using datakit::HeightMesh;

HeightMesh OneTriangle()
{
    return {{{0, 0, 0}, {0, 0, 4}, {4, 0, 0}}, {{{0, 1, 2}, 0}}};
}

TEST(HeightWriter, RefusesWhatTheFileCannotHold)
{
    using Change = std::function<void(HeightMesh&, datakit::HeightGridOptions&)>;
    const struct
    {
        const char* name;
        Change change;
    } cases[] = {
        {"no triangles", [](HeightMesh& m, auto&) { m.triangles.clear(); }},
        {"a vertex number past the vertices",
         [](HeightMesh& m, auto&) { m.triangles[0].vertices[2] = 3; }},
        {"surface 120", [](HeightMesh& m, auto&) { m.triangles[0].surface = 120; }},
        {"a coordinate beyond 32,767.0", [](HeightMesh& m, auto&) { m.vertices[1].z = 32768.0; }},
        {"an edge of 181.1", [](HeightMesh& m, auto&) { m.vertices[1].z = 181.1; }},
        {"65,536 triangles",
         [](HeightMesh& m, auto&) { m.triangles.resize(65536, m.triangles[0]); }},
        {"more than 32,767 cells on a level",
         [](HeightMesh& m, datakit::HeightGridOptions& o)
         {
             // 1.0 squares, one triangle each, over 184 x 184: 2,116 level-3 cells of 4.0 each
             // split into 16.
             constexpr uint32_t n = 184;
             m = {};
             for (uint32_t z = 0; z <= n; ++z)
                 for (uint32_t x = 0; x <= n; ++x)
                     m.vertices.push_back({double(x), 0, double(z)});
             for (uint32_t z = 0; z < n; ++z)
                 for (uint32_t x = 0; x < n; ++x)
                     m.triangles.push_back(
                         {{z * (n + 1) + x, (z + 1) * (n + 1) + x, z * (n + 1) + x + 1}, 0});
             o = {4, 0};
         }},
        {"a level beyond 4", [](HeightMesh&, datakit::HeightGridOptions& o) { o.maxLevel = 5; }},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        HeightMesh mesh = OneTriangle();
        datakit::HeightGridOptions options;
        c.change(mesh, options);
        EXPECT_THROW(datakit::FormatHeightData(mesh, options), datakit::Error);
    }
    EXPECT_NO_THROW(datakit::FormatHeightData(OneTriangle()));
}

// A triangle given anticlockwise is stored clockwise seen from above.
TEST(HeightWriter, StoresTrianglesClockwise)
{
    HeightMesh mesh = OneTriangle();
    std::swap(mesh.triangles[0].vertices[1], mesh.triangles[0].vertices[2]);
    const std::vector<uint8_t> file = datakit::FormatHeightData(mesh);
    const std::vector<uint8_t> clockwise = datakit::FormatHeightData(OneTriangle());
    EXPECT_EQ(file, clockwise);
}

TEST(LinesWriter, StoresALineOncePerBlockItCrosses)
{
    const datakit::Ground ground = datakit::MakeGround("flat-tarmac");
    const std::vector<datakit::TriggerRecord> records =
        datakit::TriggerRecordsFor(ground.lines, ground.blocks);
    // Rows of 32.0 from z = 224 down, two columns split at x = 0.
    auto blocksOf = [&](double z, uint8_t type)
    {
        std::vector<uint32_t> blocks;
        for (const auto& r : records)
            if (r.type == type && r.a[2] == std::lround(z * 65536))
                blocks.push_back(r.block);
        return blocks;
    };
    EXPECT_EQ(blocksOf(50, 1), (std::vector<uint32_t>{10, 11}));
    EXPECT_EQ(blocksOf(190, 6), (std::vector<uint32_t>{2, 3}));
    EXPECT_EQ(blocksOf(20, 12), (std::vector<uint32_t>{10, 12})); // x = -18, z 20 to 40
    // Copies follow each other, the same line on the ground; the normal faces the car that
    // comes along +z, or the road for a wall.
    for (size_t i = 0; i < records.size(); ++i)
    {
        const auto& r = records[i];
        const double dx = r.b[0] - r.a[0], dz = r.b[2] - r.a[2];
        const double length = std::hypot(dx, dz);
        EXPECT_NEAR(-r.normal[2] / 65536.0, dx / length, 1e-4) << i;
        EXPECT_NEAR(r.normal[0] / 65536.0, dz / length, 1e-4) << i;
        EXPECT_EQ(r.normal[1], 0);
        if (r.a[0] == -18 * 65536 && r.b[0] == -18 * 65536)
        {
            EXPECT_EQ(r.normal[0], 65536) << i;
        }
        if (i > 0 && records[i - 1].a == r.a && records[i - 1].b == r.b)
        {
            EXPECT_NE(records[i - 1].block, r.block) << i;
        }
    }
    EXPECT_THROW(
        datakit::TriggerRecordsFor({{100, 0, 300, 120, 1, 300, 2, false, 0}}, ground.blocks),
        datakit::Error);
}

int RunCommand(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DatakitCommand, WritesAGround)
{
    TestEnv env;
    const std::string kit = std::string("'") + DATAKIT_BINARY + "'";
    ASSERT_EQ(RunCommand(kit + " ground bridge '" + env.Path("grounds") + "' > /dev/null"), 0);
    const datakit::Ground bridge = datakit::MakeGround("bridge");
    const std::vector<uint8_t> hpc = datakit::FormatHeightData(datakit::GroundMesh(bridge));
    const std::vector<uint8_t> dat = datakit::FormatTriggerFile(bridge.lines, bridge.blocks);
    EXPECT_EQ(ReadWholeFile(env.Path("grounds/bridge.hpc")), std::string(hpc.begin(), hpc.end()));
    EXPECT_EQ(ReadWholeFile(env.Path("grounds/bridge.dat")), std::string(dat.begin(), dat.end()));
    for (const char* bad : {"ground", "ground bridge", "ground nowhere out", "ground bridge a b"})
        EXPECT_EQ(RunCommand(kit + " " + bad + " > /dev/null 2>&1"), 2) << bad;
}

} // namespace
