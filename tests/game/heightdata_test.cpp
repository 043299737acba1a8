// The height data: queries on small generated grids, every ground of the data kit's library at
// every grid depth, the lowest-point report and files the reader must refuse.

#include "game/vehicle/heightdata.h"

#include <cmath>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "engine/pc/core/dk_file.h"
#include "tests/game/ground_fixture.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/height_writer.h"

namespace
{

using datakit::HeightGridOptions;
using datakit::HeightMesh;

// y = 1 + x / 2 over the triangle (0, 0), (0, 4), (4, 0); surface 5.
HeightMesh Slope()
{
    return {{{0, 1, 0}, {0, 1, 4}, {4, 3, 0}}, {{{0, 1, 2}, 5}}};
}

// The square 0..4 at height y, split along its diagonal: surfaces s and s + 1.
void AddSquare(HeightMesh& m, double y, uint8_t s)
{
    const uint32_t b = static_cast<uint32_t>(m.vertices.size());
    m.vertices.insert(m.vertices.end(), {{0, y, 0}, {4, y, 0}, {0, y, 4}, {4, y, 4}});
    m.triangles.push_back({{b, b + 2, b + 3}, s});
    m.triangles.push_back({{b, b + 3, b + 1}, static_cast<uint8_t>(s + 1)});
}

HeightMesh Square()
{
    HeightMesh m;
    AddSquare(m, 2.0, 7);
    return m;
}

HeightMesh Bridge()
{
    HeightMesh m;
    AddSquare(m, 0.0, 0);
    AddSquare(m, 6.0, 94);
    return m;
}

// The level square with a vertical triangle standing on z = 2 (triangle 2, mean height 1.0).
HeightMesh Wall()
{
    HeightMesh m;
    AddSquare(m, 0.0, 0);
    m.vertices.insert(m.vertices.end(), {{0, 0, 2}, {4, 0, 2}, {2, 3, 2}});
    m.triangles.push_back({{4, 5, 6}, 96});
    return m;
}

// Where each part of a height-data file starts.
struct Offsets
{
    int nodes[5];
    size_t levelAt[5];
    size_t vertexCountAt, trianglesAt, indexLengthAt, indexAt, boxesAt;
    int vertices, triangles, indexLength;
};

uint32_t Read(const std::vector<uint8_t>& f, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<uint32_t>(f[at + i]) << (8 * i);
    return v;
}

void Write(std::vector<uint8_t>& f, size_t at, int32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        f[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
}

Offsets Locate(const std::vector<uint8_t>& f)
{
    Offsets o{};
    size_t at = 18;
    for (int i = 0; i < 5; ++i)
    {
        o.nodes[i] = static_cast<int16_t>(Read(f, 8 + 2 * i, 2));
        o.levelAt[i] = at;
        at += 8 * static_cast<size_t>(o.nodes[i]);
    }
    o.vertexCountAt = at;
    o.vertices = static_cast<int>(Read(f, at, 2));
    o.trianglesAt = at + 4 + 12 * static_cast<size_t>(o.vertices) + 4;
    o.triangles = static_cast<int>(Read(f, o.trianglesAt - 4, 2));
    o.indexLengthAt = o.trianglesAt + 8 * static_cast<size_t>(o.triangles);
    o.indexLength = static_cast<int>(Read(f, o.indexLengthAt, 4));
    o.indexAt = o.indexLengthAt + 4;
    o.boxesAt = o.indexAt + 2 * static_cast<size_t>(o.indexLength);
    return o;
}

struct Answer
{
    int32_t height;
    DK_VECTOR normal;
    int16_t surface;
    int16_t cache;
    uint32_t tests;
};

// Surface and normal start as markers that a failed query must leave alone.
Answer Ask(int32_t x, int32_t z, int32_t ref, int16_t cache, int32_t y = Fixed(9.0))
{
    Answer a{0, {11, 22, 33}, -5, cache, 0};
    const DK_VECTOR p{x, y, z};
    HeightData_ResetTriangleTests();
    a.height = FindHeightOnTrack(&p, &a.normal, &a.surface, &a.cache, ref);
    a.tests = HeightData_GetTriangleTests();
    return a;
}

class HeightDataTest : public GroundTest
{
protected:
    BOOL Parse(const std::vector<uint8_t>& bytes)
    {
        return HeightData_Parse(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
};

int gnGameTypeByte = 0;
int GameTypeByte(void)
{
    return gnGameTypeByte;
}

struct QueryCase
{
    const char* name;
    std::function<HeightMesh()> mesh;
    HeightGridOptions options;
    bool splitLevelFour; // every level-4 node marked subdivided
    int gameTypeByte;
    int32_t x, z, ref;
    int16_t cacheIn;
    bool found; // answered from a triangle (else the reference, surface and normal untouched)
    double height;
    int surface;
    int16_t cacheOut;
    int tests; // point-in-triangle tests, -1 not checked
    std::vector<std::string> logged;
    std::vector<std::string> notLogged;
};

TEST_F(HeightDataTest, QueriesOnSmallGrids)
{
    const std::string kOffGrid = "*** OI - That point is off the height data altogether!!!\n\r\n";
    const HeightGridOptions kLeaf{0, 6};
    // clang-format off
    const QueryCase cases[] = {
        {"a point on an outer edge is inside", Slope, kLeaf, false, 0,
         0, Fixed(2), Fixed(50), -1, true, 1.0, 5, 0, 1, {}, {"find tri failed"}},
        {"a point on the long edge is inside", Slope, kLeaf, false, 0,
         Fixed(2), Fixed(2), Fixed(50), -1, true, 2.0, 5, 0, 1, {}, {}},
        {"the origin lies in cell 0", Square, kLeaf, false, 0,
         0, 0, Fixed(50), -1, true, 2.0, 7, 0, -1, {}, {"*** OI"}},
        {"one raw unit left of the origin is off the grid", Square, kLeaf, false, 0,
         -1, 0, Fixed(3.5), -1, false, 0, 0, -1, 0,
         {kOffGrid + "Bottom Left 0 0\r\nPoint -1 589824\r\nIndices -1 0\r\nBoxes 1 1\r\n",
          "find tri failed - returning 3\r\n"}, {}},
        {"the road under the bridge by a low reference", Bridge, kLeaf, false, 0,
         Fixed(1), Fixed(3), Fixed(0.5), -1, true, 0.0, 0, 0, -1, {}, {}},
        {"the deck over the road by a high reference", Bridge, kLeaf, false, 0,
         Fixed(1), Fixed(3), Fixed(5), -1, true, 6.0, 94, 2, -1, {}, {}},
        {"the ground beside a vertical triangle", Wall, kLeaf, false, 0,
         Fixed(1), Fixed(2), 0, -1, true, 0.0, 0, 0, -1, {}, {}},
        {"a vertical triangle returns the reference height", Wall, kLeaf, false, 0,
         Fixed(1), Fixed(2), Fixed(1.25), -1, true, 1.25, 96, 2, -1, {}, {}},
        {"a subdivided level-4 node fails", Square, {4, 0}, true, 0,
         Fixed(1), Fixed(3), Fixed(2.5), -1, false, 0, 0, -1, 0,
         {"*** SUBDIVISION ARSE!\n\r\n", "find tri failed - returning 2\r\n"}, {}},
        {"a failed search without a cache is logged", Slope, kLeaf, false, 0,
         Fixed(3.5), Fixed(3.5), Fixed(2.75), -1, false, 0, 0, -1, 1,
         {"find tri failed - returning 2\r\n"}, {"*** OI"}},
        {"the mode byte's bit 6 silences it", Slope, kLeaf, false, 0x40,
         Fixed(3.5), Fixed(3.5), Fixed(2.75), -1, false, 0, 0, -1, 1, {}, {"find tri failed"}},
        {"a failed search with a cache clears it quietly", Slope, kLeaf, false, 0,
         Fixed(3.5), Fixed(3.5), Fixed(2.75), 0, false, 0, 0, -1, 2, {}, {"find tri failed"}},
        {"a point inside its cached triangle takes one test", Square, kLeaf, false, 0,
         Fixed(3), Fixed(1), Fixed(50), 1, true, 2.0, 8, 1, 1, {}, {}},
        {"without a cache the leaf's triangles are tested", Square, kLeaf, false, 0,
         Fixed(3), Fixed(1), Fixed(50), -1, true, 2.0, 8, 1, 2, {}, {}},
        {"a stale cache falls back to the search", Square, kLeaf, false, 0,
         Fixed(3), Fixed(1), Fixed(50), 0, true, 2.0, 8, 1, 3, {}, {}},
        {"a negative cache counts as none", Square, kLeaf, false, 0,
         Fixed(3), Fixed(1), Fixed(50), -7, true, 2.0, 8, 1, 2, {}, {}},
        {"a cache past the triangles counts as none", Square, kLeaf, false, 0,
         Fixed(3), Fixed(1), Fixed(50), 2, true, 2.0, 8, 1, 2, {}, {}},
        {"and logs its failure as none", Square, kLeaf, false, 0,
         Fixed(3), Fixed(5), Fixed(1.5), 40, false, 0, 0, -1, 2,
         {"find tri failed - returning 1\r\n"}, {}},
    };
    // clang-format on
    DK_ENTRIES entries{};
    entries.GetGameTypeByte = GameTypeByte;
    DkRegisterEntries(&entries);
    for (const QueryCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> file = datakit::FormatHeightData(c.mesh(), c.options);
        if (c.splitLevelFour)
        {
            const Offsets o = Locate(file);
            ASSERT_GT(o.nodes[4], 0);
            for (int n = 0; n < o.nodes[4]; ++n)
                Write(file, o.levelAt[4] + 8 * n, -1, 2);
        }
        gnGameTypeByte = c.gameTypeByte;
        std::string out;
        Answer a{};
        out = CaptureOutput(
            [&]
            {
                ASSERT_TRUE(Parse(file));
                TakeLog();
                a = Ask(c.x, c.z, c.ref, c.cacheIn);
            });
        const std::string log = TakeLog();
        EXPECT_EQ(CountReports(out), 0) << out;
        if (c.found)
        {
            EXPECT_NEAR(Units(a.height), c.height, 1e-4);
            EXPECT_EQ(a.surface, c.surface);
        }
        else
        {
            EXPECT_EQ(a.height, c.ref);
            EXPECT_EQ(a.surface, -5);
            EXPECT_EQ(a.normal.x, 11);
        }
        EXPECT_EQ(a.cache, c.cacheOut);
        if (c.tests >= 0)
        {
            EXPECT_EQ(a.tests, static_cast<uint32_t>(c.tests));
        }
        size_t at = 0;
        for (const std::string& line : c.logged)
        {
            const size_t found = log.find(line, at);
            EXPECT_NE(found, std::string::npos) << "'" << line << "' in order in:\n" << log;
            at = found == std::string::npos ? at : found + line.size();
        }
        for (const std::string& line : c.notLogged)
            EXPECT_EQ(log.find(line), std::string::npos) << log;
    }
}

TEST_F(HeightDataTest, VerticalAndLevelNormals)
{
    ASSERT_TRUE(Parse(datakit::FormatHeightData(Wall())));
    const Answer wall = Ask(Fixed(1), Fixed(2), Fixed(1.25), -1);
    EXPECT_EQ(wall.normal.y, 0);
    EXPECT_NE(wall.normal.z, 0);
    const Answer ground = Ask(Fixed(1), Fixed(3), 0, -1);
    EXPECT_EQ(ground.normal.x, 0);
    EXPECT_EQ(ground.normal.z, 0);
    EXPECT_NEAR(Units(ground.normal.y), 1.0, 1e-3);
}

// Reads the ground as the file layer hands it over, or from bytes at a given depth.
TEST_F(HeightDataTest, EveryGroundAnswersItsSurfaceAtEveryDepth)
{
    for (const std::string& name : datakit::GroundNames())
    {
        SCOPED_TRACE(name);
        const datakit::Ground ground = datakit::MakeGround(name);
        const HeightMesh mesh = datakit::GroundMesh(ground);
        const bool stacked = name == "bridge";
        for (int level = -1; level <= 4; ++level)
        {
            SCOPED_TRACE(level < 0 ? std::string("from its file")
                                   : "level " + std::to_string(level));
            // One cache a reference height, as a caller keeps one a point: a cached triangle
            // that still holds the point is kept whatever the reference.
            int16_t caches[2] = {-1, -1};
            if (level < 0)
            {
                datakit::WriteGround(ground, env.DriveC());
                void* pFile = DkMallocLoadFile(("c:\\" + name + ".hpc").c_str(), DKLF_AS_GIVEN);
                ASSERT_NE(pFile, nullptr);
                ASSERT_TRUE(
                    HeightData_Parse(static_cast<const uint8_t*>(pFile), DkGetLastFileSize()));
            }
            else
            {
                datakit::HeightGridStats stats;
                ASSERT_TRUE(Parse(datakit::FormatHeightData(mesh, {level, 1}, &stats)));
                for (int l = 0; l < 5; ++l)
                    EXPECT_EQ(stats.nodes[l] > 0, l <= level) << "nodes on level " << l;
            }
            int wrong = 0;
            for (double z = 0.35; z < 200.0; z += level == 0 ? 9.1 : 3.1)
                for (double x = -19.3; x < 20.0; x += level == 0 ? 4.3 : 1.7)
                    for (int r = 0; r < (stacked ? 2 : 1); ++r)
                    {
                        const double ref = r == 0 ? 0.3 : 5.7;
                        const datakit::GroundPoint want = datakit::GroundSurface(ground, x, z, ref);
                        const int32_t reference = Fixed(stacked ? ref : want.height + 0.3);
                        const Answer fresh = Ask(Fixed(x), Fixed(z), reference, -1);
                        const Answer cached = Ask(Fixed(x), Fixed(z), reference, caches[r]);
                        caches[r] = cached.cache;
                        for (const Answer& a : {fresh, cached})
                            if (!want.found || std::fabs(Units(a.height) - want.height) > 0.01 ||
                                a.surface != want.surface)
                            {
                                if (++wrong <= 5)
                                    ADD_FAILURE() << "at " << x << ", " << z << " ref " << ref
                                                  << ": " << Units(a.height) << " surface "
                                                  << a.surface << ", expected " << want.height
                                                  << " surface " << int(want.surface);
                            }
                    }
            EXPECT_EQ(wrong, 0);
        }
    }
}

TEST_F(HeightDataTest, ReportGivesTheLowestVertexLessFive)
{
    struct
    {
        const char* name;
        HeightMesh mesh;
        int32_t lowest;
    } cases[] = {
        // The lowest vertex is past the triangle count: every vertex is scanned.
        {"lowest beyond the triangles' count",
         {{{0, 2, 0}, {0, 2, 4}, {4, 2, 0}, {9, 1, 9}, {8, -3.25, 8}}, {{{0, 1, 2}, 0}}},
         Fixed(-3.25)},
        {"nothing below 0", {{{0, 2, 0}, {0, 2, 4}, {4, 7, 0}}, {{{0, 1, 2}, 0}}}, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Parse(datakit::FormatHeightData(c.mesh)));
        TakeLog();
        EXPECT_EQ(HeightData_Report(), c.lowest - Fixed(5.0));
        EXPECT_EQ(TakeLog(), "about to show no polys in track *******\r\nNumber of polys in "
                             "track: 1\r\nLow point in track: " +
                                 std::to_string(c.lowest) + "\r\n");
    }
}

TEST_F(HeightDataTest, RegistersItsDestructorOnceAndTeardownLeavesNoGround)
{
    const std::vector<uint8_t> file = datakit::FormatHeightData(Square());
    ASSERT_TRUE(Parse(file));
    ASSERT_TRUE(Parse(file));
    int registered = 0;
    for (int i = 0; i < gnNumDestructors; ++i)
        if (std::strcmp(gaDestructors[i].szName, "Height Data Destructor") == 0)
            ++registered;
    EXPECT_EQ(registered, 1);
    EXPECT_EQ(Units(Ask(Fixed(1), Fixed(3), 0, -1).height), 2.0);
    DkCallDestructors(gnNumDestructors - 1);
    const Answer after = Ask(Fixed(1), Fixed(3), Fixed(0.5), 0);
    EXPECT_EQ(after.height, Fixed(0.5));
    EXPECT_EQ(after.surface, -5);
    EXPECT_EQ(HeightData_Report(), Fixed(-5.0));
}

// Single changes to a valid file, each refused with a report; what was loaded before is gone
// and queries answer with their reference height.
TEST_F(HeightDataTest, RefusesCorruptFilesAndLeavesNoGround)
{
    HeightMesh mesh = Square();
    AddSquare(mesh, 1.0, 20);
    const std::vector<uint8_t> good = datakit::FormatHeightData(mesh, {2, 1});
    const Offsets o = Locate(good);
    ASSERT_EQ(o.nodes[0], 1);
    ASSERT_GT(o.nodes[2], 0);
    // A level-1 leaf with triangles, and the level-0 node that is split.
    size_t leaf = 0;
    for (int n = 0; n < o.nodes[1] && leaf == 0; ++n)
        if (static_cast<int16_t>(Read(good, o.levelAt[1] + 8 * n, 2)) > 0)
            leaf = o.levelAt[1] + 8 * n;
    for (int n = 0; n < o.nodes[2] && leaf == 0; ++n)
        if (static_cast<int16_t>(Read(good, o.levelAt[2] + 8 * n, 2)) > 0)
            leaf = o.levelAt[2] + 8 * n;
    ASSERT_NE(leaf, 0u);
    const int leafCount = static_cast<int16_t>(Read(good, leaf, 2));

    using Mutation = std::function<void(std::vector<uint8_t>&)>;
    auto cut = [](size_t size) { return [size](std::vector<uint8_t>& f) { f.resize(size); }; };
    auto set = [](size_t at, int32_t v, int bytes)
    { return [=](std::vector<uint8_t>& f) { Write(f, at, v, bytes); }; };
    const struct
    {
        const char* name;
        Mutation change;
    } cases[] = {
        {"empty", cut(0)},
        {"inside the header", cut(17)},
        {"inside the node tables", cut(o.levelAt[2] + 4)},
        {"inside the vertex count", cut(o.vertexCountAt + 2)},
        {"inside the vertices", cut(o.vertexCountAt + 4 + 12 * 3 + 5)},
        {"inside the triangles", cut(o.trianglesAt + 8 * o.triangles - 1)},
        {"inside the index-list length", cut(o.indexLengthAt + 3)},
        {"inside the index list", cut(o.indexAt + 1)},
        {"inside the box counts", cut(good.size() - 1)},
        {"a negative node count", set(8 + 2 * 2, -1, 2)},
        {"node counts past the file", set(8 + 2 * 4, 30000, 2)},
        {"a node count below -1", set(o.levelAt[0], -2, 2)},
        {"children past the next level", set(o.levelAt[0] + 4, o.nodes[1] - 15, 4)},
        {"children before the table", set(o.levelAt[0] + 4, -1, 4)},
        {"a leaf past the index list", set(leaf + 4, o.indexLength - leafCount + 1, 4)},
        {"a leaf before the index list", set(leaf + 4, -1, 4)},
        {"a vertex count past the file", set(o.vertexCountAt, 0xFFFF, 2)},
        {"a vertex number of the count", set(o.trianglesAt + 8 + 2, o.vertices, 2)},
        {"surface 120", set(o.trianglesAt + 8 * 3 + 6, 120, 2)},
        {"a triangle count past the file", set(o.trianglesAt - 4, 0xFFFF, 2)},
        {"an index entry of the triangle count", set(o.indexAt + 2, o.triangles, 2)},
        {"a negative index-list length", set(o.indexLengthAt, -1, 4)},
        {"an index list past the file", set(o.indexLengthAt, o.indexLength + 1, 4)},
        {"more boxes than level-0 nodes", set(o.boxesAt, 2, 2)},
        {"negative boxes", set(o.boxesAt + 2, -1, 2)},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Parse(good));
        ASSERT_EQ(Units(Ask(Fixed(1), Fixed(3), Fixed(2), -1).height), 2.0);
        std::vector<uint8_t> bad = good;
        c.change(bad);
        BOOL ok = TRUE;
        const std::string out = CaptureOutput([&] { ok = Parse(bad); });
        EXPECT_FALSE(ok);
        EXPECT_EQ(CountReports(out), 1) << out;
        EXPECT_NE(out.find("HeightData_Parse() : "), std::string::npos) << out;
        TakeLog();
        const Answer a = Ask(Fixed(1), Fixed(3), Fixed(0.75), -1);
        EXPECT_EQ(a.height, Fixed(0.75));
        EXPECT_EQ(a.cache, -1);
        EXPECT_EQ(TakeLog(), "");
    }
}

} // namespace
