#include "tools/datakit/grounds.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace datakit
{

namespace
{

namespace fs = std::filesystem;

constexpr double kHalfWidth = 20.0;
constexpr double kLength = 200.0;
constexpr double kWallX = 18.0;
constexpr double kWallSegment = 20.0;

// Surface ids of the surface table.
constexpr uint8_t kDryTarmac = 0;
constexpr uint8_t kGreyGravel = 10;
constexpr uint8_t kDeepSnow = 59;
constexpr uint8_t kDeepWater = 81;
constexpr uint8_t kSea = 82;
constexpr uint8_t kStoneBridge = 94;
constexpr uint8_t kArmco = 96;

// As the file stores it.
double Stored(double v)
{
    return std::llround(v * 65536.0) / 65536.0;
}

std::vector<double> Steps(double from, double to, double step)
{
    std::vector<double> v;
    const int n = static_cast<int>(std::lround((to - from) / step));
    for (int i = 0; i <= n; ++i)
        v.push_back(from + i * step);
    return v;
}

GroundPatch Road(double step, std::function<double(double, double)> height,
                 std::function<uint8_t(double, double)> surface)
{
    return GroundPatch{Steps(-kHalfWidth, kHalfWidth, step), Steps(0.0, kLength, step),
                       std::move(height), std::move(surface)};
}

auto Level(double y)
{
    return [y](double, double) { return y; };
}

auto Everywhere(uint8_t surface)
{
    return [surface](double, double) { return surface; };
}

// Piecewise-linear profile through (position, height) points; flat beyond the ends.
double Profile(const std::vector<std::pair<double, double>>& points, double at)
{
    if (at <= points.front().first)
        return points.front().second;
    for (size_t i = 1; i < points.size(); ++i)
        if (at <= points[i].first)
        {
            const auto& [p0, h0] = points[i - 1];
            const auto& [p1, h1] = points[i];
            return h0 + (h1 - h0) * (at - p0) / (p1 - p0);
        }
    return points.back().second;
}

// One cell's triangle under (x, z), by the patch's split: corner heights and its centroid.
struct CellTriangle
{
    double h[3];
    double cx, cz;
    double height;
};

bool PatchTriangle(const GroundPatch& p, double x, double z, CellTriangle& out)
{
    if (x < p.xs.front() || x > p.xs.back() || z < p.zs.front() || z > p.zs.back())
        return false;
    auto cell = [](const std::vector<double>& lines, double v)
    {
        const size_t i =
            static_cast<size_t>(std::upper_bound(lines.begin(), lines.end(), v) - lines.begin());
        return std::min(i == 0 ? 0 : i - 1, lines.size() - 2);
    };
    const size_t i = cell(p.xs, x), j = cell(p.zs, z);
    const double x0 = p.xs[i], x1 = p.xs[i + 1], z0 = p.zs[j], z1 = p.zs[j + 1];
    const double u = (x - x0) / (x1 - x0), v = (z - z0) / (z1 - z0);
    const double h00 = Stored(p.height(x0, z0)), h10 = Stored(p.height(x1, z0));
    const double h01 = Stored(p.height(x0, z1)), h11 = Stored(p.height(x1, z1));
    if (v >= u)
    {
        out = {{h00, h01, h11}, (x0 + x0 + x1) / 3, (z0 + z1 + z1) / 3, 0.0};
        out.height = h00 + (h11 - h01) * u + (h01 - h00) * v;
    }
    else
    {
        out = {{h00, h11, h10}, (x0 + x1 + x1) / 3, (z0 + z1 + z0) / 3, 0.0};
        out.height = h00 + (h10 - h00) * u + (h11 - h10) * v;
    }
    return true;
}

// Walls along both edges and the lines across the road, at the heights of the lower surface.
std::vector<TriggerLine> StandardLines(const Ground& ground)
{
    auto span = [&ground](double ax, double az, double bx, double bz)
    {
        double lo = 1e9, hi = -1e9;
        for (int i = 0; i <= 8; ++i)
        {
            const double t = i / 8.0;
            const GroundPoint p =
                GroundSurface(ground, ax + (bx - ax) * t, az + (bz - az) * t, 0.0);
            lo = std::min(lo, p.height);
            hi = std::max(hi, p.height);
        }
        return std::pair{lo - 2.0, hi + 4.0};
    };
    auto line = [&span](double ax, double az, double bx, double bz, uint8_t type, bool twoSided,
                        int32_t param)
    {
        const auto [lo, hi] = span(ax, az, bx, bz);
        return TriggerLine{ax, lo, az, bx, hi, bz, type, twoSided, param};
    };

    std::vector<TriggerLine> lines;
    const uint8_t left[] = {kWall, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    const uint8_t right[] = {kParticleWall, 20, 19, 18, 17, 16, 15, 14, 13, 12};
    for (int i = 0; i < 10; ++i)
    {
        const double z0 = i * kWallSegment, z1 = z0 + kWallSegment;
        lines.push_back(line(-kWallX, z0, -kWallX, z1, left[i], false, 0));
        lines.push_back(line(kWallX, z1, kWallX, z0, right[i], i % 2 == 0, 0));
    }
    auto across = [&](double z, uint8_t type, int32_t param)
    { lines.push_back(line(-kWallX, z, kWallX, z, type, false, param)); };
    across(10, kTimedEvent, 0);
    for (int set = 0; set < 5; ++set)
        across(20 + 40 * set, static_cast<uint8_t>(kFirstCameraSet + set), 0);
    for (int note = 0; note < 3; ++note)
        across(30 + 60 * note, kPaceNote, 101 + note);
    for (int split = 0; split < 3; ++split)
        across(50 + 60 * split, kSplit, split);
    across(190, kFinish, 0);
    return lines;
}

Ground Describe(const std::string& name, const std::string& description, double featureZ,
                std::vector<GroundPatch> patches)
{
    Ground g;
    g.name = name;
    g.description = description;
    g.featureZ = featureZ;
    g.patches = std::move(patches);
    g.blocks = BlockGrid{32.0, -16.0, 208.0, 2, 7};
    return g;
}

using Maker = Ground (*)();

Ground FlatTarmac()
{
    return Describe("flat-tarmac", "level dry tarmac at height 0", 100.0,
                    {Road(4.0, Level(0.0), Everywhere(kDryTarmac))});
}

Ground TiltedPlane()
{
    return Describe("tilted-plane", "tarmac on the plane y = 0.125 x + 0.0625 z", 100.0,
                    {Road(
                        4.0, [](double x, double z) { return 0.125 * x + 0.0625 * z; },
                        Everywhere(kDryTarmac))});
}

Ground BumpyGravel()
{
    auto bumps = [](double x, double z)
    {
        const double h =
            0.15 * std::sin(0.9 * x) * std::cos(0.7 * z) + 0.1 * std::sin(0.37 * z + 1.0);
        return std::round(h * 256.0) / 256.0;
    };
    return Describe("bumpy-gravel", "grey gravel with bumps up to 0.25 high, nodes 2.0 apart",
                    100.0, {Road(2.0, bumps, Everywhere(kGreyGravel))});
}

Ground Crest()
{
    auto crest = [](double, double z) { return Profile({{60, 0}, {80, 4}, {84, 4}, {100, 0}}, z); };
    return Describe("crest",
                    "gravel rising 0.2 from z = 60 to a crest 4.0 high at z = 80 to 84, then a "
                    "landing slope of 0.25 down to z = 100",
                    80.0, {Road(4.0, crest, Everywhere(kGreyGravel))});
}

Ground SideRamp()
{
    auto ramp = [](double x, double z) {
        return x >= 0.0 && x <= 4.0 ? Profile({{40, 0}, {48, 2.5}, {50, 0}}, z) : 0.0;
    };
    return Describe("side-ramp",
                    "tarmac with a ramp under x = 0 to 4 rising to 2.5 from z = 40 to 48 and "
                    "dropping by z = 50, its sides sloping over 2.0",
                    46.0, {Road(2.0, ramp, Everywhere(kDryTarmac))});
}

Ground Bridge()
{
    GroundPatch deck{Steps(-kHalfWidth, kHalfWidth, 4.0), Steps(96.0, 104.0, 4.0), Level(6.0),
                     Everywhere(kStoneBridge)};
    return Describe("bridge",
                    "tarmac at height 0 under a stone bridge deck at height 6 across z = 96 to "
                    "104",
                    100.0, {Road(4.0, Level(0.0), Everywhere(kDryTarmac)), deck});
}

Ground SnowWaterSea()
{
    auto bands = [](double, double z) -> uint8_t
    {
        if (z >= 40 && z < 60)
            return kDeepSnow;
        if (z >= 80 && z < 100)
            return kDeepWater;
        if (z >= 120 && z < 160)
            return kSea;
        return kGreyGravel;
    };
    return Describe("snow-water-sea",
                    "level gravel with bands of deep snow (z = 40 to 60), deep water (80 to "
                    "100) and sea (120 to 160)",
                    50.0, {Road(4.0, Level(0.0), bands)});
}

Ground VerticalTriangle()
{
    Ground g = FlatTarmac();
    g.name = "vertical-triangle";
    g.description = "level tarmac with a vertical triangle across x = -4 to 4 at z = 100, 3.0 high";
    g.facets.push_back({{-4, 0, 100}, {4, 0, 100}, {0, 3, 100}, kArmco});
    return g;
}

struct NamedGround
{
    const char* name;
    Maker make;
};

constexpr NamedGround kGrounds[] = {
    {"flat-tarmac", FlatTarmac},      {"tilted-plane", TiltedPlane},
    {"bumpy-gravel", BumpyGravel},    {"crest", Crest},
    {"side-ramp", SideRamp},          {"bridge", Bridge},
    {"snow-water-sea", SnowWaterSea}, {"vertical-triangle", VerticalTriangle},
};

} // namespace

std::vector<std::string> GroundNames()
{
    std::vector<std::string> names;
    for (const NamedGround& g : kGrounds)
        names.push_back(g.name);
    return names;
}

Ground MakeGround(const std::string& name)
{
    for (const NamedGround& named : kGrounds)
        if (name == named.name)
        {
            Ground g = named.make();
            g.lines = StandardLines(g);
            return g;
        }
    throw Error("no ground named '" + name + "'");
}

HeightMesh GroundMesh(const Ground& ground)
{
    HeightMesh mesh;
    for (const GroundPatch& p : ground.patches)
    {
        const uint32_t base = static_cast<uint32_t>(mesh.vertices.size());
        const uint32_t nx = static_cast<uint32_t>(p.xs.size());
        for (double z : p.zs)
            for (double x : p.xs)
                mesh.vertices.push_back({x, p.height(x, z), z});
        for (uint32_t j = 0; j + 1 < p.zs.size(); ++j)
            for (uint32_t i = 0; i + 1 < nx; ++i)
            {
                const uint32_t v00 = base + i + j * nx, v10 = v00 + 1;
                const uint32_t v01 = v00 + nx, v11 = v01 + 1;
                const double x0 = p.xs[i], x1 = p.xs[i + 1], z0 = p.zs[j], z1 = p.zs[j + 1];
                mesh.triangles.push_back(
                    {{v00, v01, v11}, p.surface((x0 + x0 + x1) / 3, (z0 + z1 + z1) / 3)});
                mesh.triangles.push_back(
                    {{v00, v11, v10}, p.surface((x0 + x1 + x1) / 3, (z0 + z1 + z0) / 3)});
            }
    }
    for (const GroundFacet& f : ground.facets)
    {
        const uint32_t base = static_cast<uint32_t>(mesh.vertices.size());
        mesh.vertices.insert(mesh.vertices.end(), {f.a, f.b, f.c});
        mesh.triangles.push_back({{base, base + 1, base + 2}, f.surface});
    }
    return mesh;
}

GroundPoint GroundSurface(const Ground& ground, double x, double z, double reference)
{
    GroundPoint best;
    double bestDistance = 0.0;
    for (const GroundPatch& p : ground.patches)
    {
        CellTriangle t;
        if (!PatchTriangle(p, x, z, t))
            continue;
        const double distance = std::fabs((t.h[0] + t.h[1] + t.h[2]) / 3 - reference);
        if (!best.found || distance < bestDistance)
        {
            best = {true, t.height, p.surface(t.cx, t.cz)};
            bestDistance = distance;
        }
    }
    return best;
}

HeightMesh CropMesh(const HeightMesh& mesh, double minX, double maxX, double minZ, double maxZ)
{
    HeightMesh out;
    std::map<uint32_t, uint32_t> renumber;
    auto inside = [&](uint32_t v)
    {
        const HeightVertex& p = mesh.vertices[v];
        return p.x >= minX && p.x <= maxX && p.z >= minZ && p.z <= maxZ;
    };
    for (const HeightTriangle& t : mesh.triangles)
    {
        if (!inside(t.vertices[0]) || !inside(t.vertices[1]) || !inside(t.vertices[2]))
            continue;
        HeightTriangle kept = t;
        for (uint32_t& v : kept.vertices)
        {
            const auto [it, added] =
                renumber.emplace(v, static_cast<uint32_t>(out.vertices.size()));
            if (added)
                out.vertices.push_back(mesh.vertices[v]);
            v = it->second;
        }
        out.triangles.push_back(kept);
    }
    return out;
}

std::vector<GroundObject> GroundObjects(void)
{
    std::vector<GroundObject> objects;
    // Static: a solid box, one that two players drive through, one shown from detail 3 only, a
    // soft hedge across the right of the road.
    objects.push_back({-8.0, 40.0, 1.0, 1.0, 1.0, 0, 3});
    objects.push_back({-8.0, 56.0, 1.0, 1.0, 1.0, 0, 5, false, 0, false});
    objects.push_back({-8.0, 72.0, 1.0, 1.0, 1.0, 0, 3, false, 0, true, 3});
    objects.push_back({8.0, 40.0, 2.0, 0.6, 0.5, 0, 7, true});
    // Knockable boxes of each mass class, and two light cones.
    for (int massClass = 0; massClass < 4; ++massClass)
        objects.push_back({-4.0 + 2.5 * massClass, 120.0, 0.5, 0.5, 0.5, massClass == 2 ? 2 : 1,
                           3, false, massClass});
    for (int i = 0; i < 2; ++i)
        objects.push_back({-1.0 + 2.0 * i, 130.0, 0.25, 0.4, 0.25, 1, 13, false, 0});
    return objects;
}

uint32_t GroundObjectAttribute(const GroundObject& o, int index)
{
    uint32_t u = static_cast<uint32_t>(200 + index) & 0xFFF;
    u |= static_cast<uint32_t>(o.movable & 3) << 16;
    u |= static_cast<uint32_t>(o.material & 0x3F) << 18;
    if (o.movable == 0 && !o.soft)
        u |= 1u << 29;
    if (o.movable != 0)
        u |= static_cast<uint32_t>(o.massClass & 3) << 24;
    return u;
}

namespace
{

// The scripted objects' starts: the road's left side, from z = 150 on.
constexpr double kScriptedX = -10.0;

double GroundHeightAt(const Ground& ground, double x, double z)
{
    return GroundSurface(ground, x, z, 0.0).height;
}

} // namespace

std::vector<MovingObject> GroundScriptedObjects(const Ground& ground)
{
    std::vector<MovingObject> scripted;
    for (uint32_t type = 1; type <= 5; ++type)
    {
        MovingObject o;
        o.type = type;
        o.start = {kScriptedX, 0.0, 140.0 + 10.0 * type};
        o.start[1] = GroundHeightAt(ground, o.start[0], o.start[2]);
        o.distance = 6.0;
        o.angle = 1024; // towards +x, across the road
        o.motionSeconds = 4;
        o.spinYSeconds = type == 5 ? -10 : 0;
        o.spinXSeconds = type == 2 ? 3 : 0;
        o.followGround = type == 3;
        scripted.push_back(o);
    }
    return scripted;
}

C3dScene GroundObjectScene(const Ground& ground)
{
    C3dScene scene;
    const std::vector<GroundObject> objects = GroundObjects();
    for (size_t i = 0; i < objects.size(); ++i)
    {
        const GroundObject& o = objects[i];
        scene.shapes.push_back(C3dBox("OBJ" + std::to_string(i), o.hx, o.hy, o.hz, -1));
        C3dObject placed = C3dPlaced(-1, {static_cast<int>(i)},
                                     C3dTranslation(o.x, GroundHeightAt(ground, o.x, o.z), o.z),
                                     GroundObjectAttribute(o, static_cast<int>(i)));
        placed.alwaysDraw = o.twoPlayer ? 1 : 0;
        placed.minimumDetail = static_cast<uint8_t>(o.minimumDetail);
        scene.objects.push_back(placed);
    }
    const std::vector<MovingObject> scripted = GroundScriptedObjects(ground);
    for (size_t i = 0; i < scripted.size(); ++i)
    {
        const MovingObject& m = scripted[i];
        scene.shapes.push_back(C3dBox("MOJ" + std::to_string(i), 0.5, 0.5, 0.5, -1));
        C3dObject placed =
            C3dPlaced(-1, {static_cast<int>(scene.shapes.size() - 1)},
                      C3dTranslation(m.start[0], m.start[1], m.start[2]),
                      static_cast<uint32_t>(300 + i));
        placed.alwaysDraw = 1;
        scene.objects.push_back(placed);
    }
    return scene;
}

GroundFiles WriteGround(const Ground& ground, const fs::path& dir, const HeightGridOptions& options)
{
    GroundFiles files;
    fs::create_directories(dir);
    files.heights = dir / (ground.name + ".hpc");
    files.lines = dir / (ground.name + ".dat");
    const HeightMesh mesh = GroundMesh(ground);
    files.triangles = mesh.triangles.size();
    WriteFileAtomically(files.heights, FormatHeightData(mesh, options, &files.grid));
    const std::vector<TriggerRecord> records = TriggerRecordsFor(ground.lines, ground.blocks);
    files.records = records.size();
    WriteFileAtomically(files.lines, FormatTriggerRecords(records));
    files.objects = dir / (ground.name + ".obj");
    files.scripted = dir / (ground.name + ".moj");
    WriteFileAtomically(files.objects, FormatC3d(GroundObjectScene(ground)));
    WriteFileAtomically(files.scripted, FormatMovingObjects(GroundScriptedObjects(ground)));
    return files;
}

void WriteGroundSeeds(const fs::path& root)
{
    const fs::path heights = root / "fuzz_heightdata";
    const fs::path lines = root / "fuzz_lines";
    fs::create_directories(heights);
    fs::create_directories(lines);
    for (const std::string& name : GroundNames())
    {
        const Ground g = MakeGround(name);
        const HeightMesh crop =
            CropMesh(GroundMesh(g), -6.0, 6.0, g.featureZ - 6.0, g.featureZ + 6.0);
        WriteHeightData(heights / (name + "-deep.hpc"), crop, HeightGridOptions{4, 2});
        WriteHeightData(heights / (name + "-shallow.hpc"), crop, HeightGridOptions{1, 6});
        WriteFileAtomically(lines / (name + ".dat"), FormatTriggerFile(g.lines, g.blocks));
    }
    OldLinesFile old;
    for (int i = 0; i < 3; ++i)
    {
        std::array<int32_t, 16> words{};
        for (int w = 0; w < 16; ++w)
            words[w] = (i * 16 + w) * 0x8000;
        old.racingLines.push_back(words);
        old.racingLineBytes.push_back(static_cast<uint8_t>(i + 1));
    }
    for (int i = 0; i < 4; ++i)
        old.wallLines.push_back(
            {-18 * 65536, 0, i * 20 * 65536, -18 * 65536, 3 * 65536, (i + 1) * 20 * 65536});
    WriteFileAtomically(lines / "old-lines.pts", FormatOldLinesFile(old));
}

} // namespace datakit
