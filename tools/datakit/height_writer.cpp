#include "tools/datakit/height_writer.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace datakit
{

namespace
{

constexpr double kOne = 65536.0;
constexpr int kLevelZeroShift = 24; // level-0 cells are 256.0 units
constexpr int kMaxNodes = 32767;
constexpr size_t kMaxCount = 65535;
constexpr double kMaxCoordinate = 32767.0;
// An edge's 16.16 squared length must stay below 2^31.
constexpr double kMaxSquaredEdge = 32768.0;

struct Flat
{
    double x;
    double z;
};

using Outline = std::array<Flat, 3>;

struct Node
{
    int16_t count;
    int32_t index;
};

struct Grid
{
    std::vector<Outline> outlines;
    HeightGridOptions options;
    std::array<std::vector<Node>, kHeightLevels> levels;
    std::vector<uint16_t> index;
};

int32_t ToFixed(double v, const char* what)
{
    if (!std::isfinite(v) || std::fabs(v) > kMaxCoordinate)
        throw Error(std::string("height data: ") + what + " " + std::to_string(v) +
                    " is beyond +-32,767.0");
    return static_cast<int32_t>(std::llround(v * kOne));
}

// Clips the outline to the closed square and says whether what is left covers a point of the
// half-open cell [lo, hi) x [lo, hi): it does unless it lies wholly on the high x or high z
// edge (a convex piece of the square's boundary lies on one edge).
bool CoversCell(const Outline& outline, double loX, double loZ, double hiX, double hiZ)
{
    std::array<Flat, 16> poly{};
    size_t n = 3;
    std::copy(outline.begin(), outline.end(), poly.begin());
    auto clip = [&](auto inside, auto cut)
    {
        std::array<Flat, 16> out{};
        size_t m = 0;
        for (size_t i = 0; i < n; ++i)
        {
            const Flat& p = poly[i];
            const Flat& q = poly[(i + 1) % n];
            const bool pIn = inside(p), qIn = inside(q);
            if (pIn)
                out[m++] = p;
            if (pIn != qIn)
                out[m++] = cut(p, q);
        }
        poly = out;
        n = m;
    };
    auto atX = [](double x)
    {
        return [x](const Flat& p, const Flat& q) {
            return Flat{x, p.z + (q.z - p.z) * (x - p.x) / (q.x - p.x)};
        };
    };
    auto atZ = [](double z)
    {
        return [z](const Flat& p, const Flat& q) {
            return Flat{p.x + (q.x - p.x) * (z - p.z) / (q.z - p.z), z};
        };
    };
    clip([loX](const Flat& p) { return p.x >= loX; }, atX(loX));
    clip([hiX](const Flat& p) { return p.x <= hiX; }, atX(hiX));
    clip([loZ](const Flat& p) { return p.z >= loZ; }, atZ(loZ));
    clip([hiZ](const Flat& p) { return p.z <= hiZ; }, atZ(hiZ));
    if (n == 0)
        return false;
    const bool allHighX =
        std::all_of(poly.begin(), poly.begin() + n, [hiX](const Flat& p) { return p.x == hiX; });
    const bool allHighZ =
        std::all_of(poly.begin(), poly.begin() + n, [hiZ](const Flat& p) { return p.z == hiZ; });
    return !allHighX && !allHighZ;
}

// One cell at (lo x, lo z) raw: a leaf listing the candidates that cover it, or, while it
// lists too many, 16 children on the next level.
Node Build(Grid& g, int level, int64_t loX, int64_t loZ, const std::vector<uint32_t>& candidates)
{
    const int64_t size = int64_t{1} << (kLevelZeroShift - 2 * level);
    std::vector<uint32_t> inside;
    for (uint32_t t : candidates)
        if (CoversCell(g.outlines[t], static_cast<double>(loX), static_cast<double>(loZ),
                       static_cast<double>(loX + size), static_cast<double>(loZ + size)))
            inside.push_back(t);
    if (inside.size() > g.options.leafLimit && level < g.options.maxLevel)
    {
        auto& next = g.levels[level + 1];
        const size_t first = next.size();
        if (first + 16 > kMaxNodes)
            throw Error("height data: level " + std::to_string(level + 1) +
                        " needs more than 32,767 cells");
        next.resize(first + 16);
        const int64_t quarter = size / 4;
        for (int cz = 0; cz < 4; ++cz)
            for (int cx = 0; cx < 4; ++cx)
            {
                const Node child =
                    Build(g, level + 1, loX + cx * quarter, loZ + cz * quarter, inside);
                g.levels[level + 1][first + cx + 4 * cz] = child;
            }
        return Node{-1, static_cast<int32_t>(first)};
    }
    if (inside.size() > static_cast<size_t>(INT16_MAX))
        throw Error("height data: a cell lists more than 32,767 triangles");
    const Node leaf{static_cast<int16_t>(inside.size()), static_cast<int32_t>(g.index.size())};
    for (uint32_t t : inside)
        g.index.push_back(static_cast<uint16_t>(t));
    return leaf;
}

} // namespace

std::vector<uint8_t> FormatHeightData(const HeightMesh& mesh, const HeightGridOptions& options,
                                      HeightGridStats* stats)
{
    if (options.maxLevel < 0 || options.maxLevel >= kHeightLevels)
        throw Error("height data: the deepest level must be 0 to 4");
    if (mesh.triangles.empty())
        throw Error("height data: no triangles");
    if (mesh.vertices.size() > kMaxCount || mesh.triangles.size() > kMaxCount)
        throw Error("height data: more than 65,535 vertices or triangles");

    struct Raw
    {
        int32_t x, y, z;
    };
    std::vector<Raw> raw;
    for (const HeightVertex& v : mesh.vertices)
        raw.push_back({ToFixed(v.x, "x"), ToFixed(v.y, "y"), ToFixed(v.z, "z")});

    // Clockwise seen from above, as the reader's edge test has it.
    std::vector<HeightTriangle> triangles = mesh.triangles;
    for (HeightTriangle& t : triangles)
    {
        for (uint32_t v : t.vertices)
            if (v >= raw.size())
                throw Error("height data: a triangle uses vertex " + std::to_string(v) + " of " +
                            std::to_string(raw.size()));
        if (t.surface >= kHeightSurfaces)
            throw Error("height data: surface " + std::to_string(t.surface) + " is above 119");
        for (int i = 0; i < 3; ++i)
        {
            const HeightVertex& a = mesh.vertices[t.vertices[i]];
            const HeightVertex& b = mesh.vertices[t.vertices[(i + 1) % 3]];
            const double dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
            if (dx * dx + dy * dy + dz * dz >= kMaxSquaredEdge)
                throw Error("height data: an edge is longer than 181.0");
        }
        const Raw &p0 = raw[t.vertices[0]], &p1 = raw[t.vertices[1]], &p2 = raw[t.vertices[2]];
        const int64_t area = (int64_t{p1.x} - p0.x) * (int64_t{p2.z} - p0.z) -
                             (int64_t{p1.z} - p0.z) * (int64_t{p2.x} - p0.x);
        if (area > 0)
            std::swap(t.vertices[1], t.vertices[2]);
    }

    Grid g;
    g.options = options;
    int32_t originX = raw[0].x, originZ = raw[0].z, maxX = raw[0].x, maxZ = raw[0].z;
    for (const Raw& r : raw)
    {
        originX = std::min(originX, r.x);
        originZ = std::min(originZ, r.z);
        maxX = std::max(maxX, r.x);
        maxZ = std::max(maxZ, r.z);
    }
    const int64_t boxesX = ((int64_t{maxX} - originX) >> kLevelZeroShift) + 1;
    const int64_t boxesZ = ((int64_t{maxZ} - originZ) >> kLevelZeroShift) + 1;
    if (boxesX * boxesZ > kMaxNodes)
        throw Error("height data: more than 32,767 level-0 cells");
    for (const HeightTriangle& t : triangles)
    {
        Outline o;
        for (int i = 0; i < 3; ++i)
            o[i] = {static_cast<double>(raw[t.vertices[i]].x),
                    static_cast<double>(raw[t.vertices[i]].z)};
        g.outlines.push_back(o);
    }
    std::vector<uint32_t> all(triangles.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint32_t>(i);
    g.levels[0].resize(static_cast<size_t>(boxesX * boxesZ));
    for (int64_t iz = 0; iz < boxesZ; ++iz)
        for (int64_t ix = 0; ix < boxesX; ++ix)
        {
            const Node node = Build(g, 0, originX + (ix << kLevelZeroShift),
                                    originZ + (iz << kLevelZeroShift), all);
            g.levels[0][static_cast<size_t>(ix + iz * boxesX)] = node;
        }
    if (g.index.size() > static_cast<size_t>(INT32_MAX))
        throw Error("height data: the index list is too long");

    std::vector<uint8_t> out;
    AppendLittleEndian(out, static_cast<uint32_t>(originX), 4);
    AppendLittleEndian(out, static_cast<uint32_t>(originZ), 4);
    for (const auto& level : g.levels)
        AppendLittleEndian(out, static_cast<uint32_t>(level.size()), 2);
    for (const auto& level : g.levels)
        for (const Node& node : level)
        {
            AppendLittleEndian(out, static_cast<uint16_t>(node.count), 2);
            AppendLittleEndian(out, 0, 2);
            AppendLittleEndian(out, static_cast<uint32_t>(node.index), 4);
        }
    AppendLittleEndian(out, static_cast<uint32_t>(raw.size()), 2);
    AppendLittleEndian(out, 0, 2);
    for (const Raw& r : raw)
    {
        AppendLittleEndian(out, static_cast<uint32_t>(r.x), 4);
        AppendLittleEndian(out, static_cast<uint32_t>(r.y), 4);
        AppendLittleEndian(out, static_cast<uint32_t>(r.z), 4);
    }
    AppendLittleEndian(out, static_cast<uint32_t>(triangles.size()), 2);
    AppendLittleEndian(out, 0, 2);
    for (const HeightTriangle& t : triangles)
    {
        for (uint32_t v : t.vertices)
            AppendLittleEndian(out, v, 2);
        AppendLittleEndian(out, t.surface, 2);
    }
    AppendLittleEndian(out, static_cast<uint32_t>(g.index.size()), 4);
    for (uint16_t entry : g.index)
        AppendLittleEndian(out, entry, 2);
    AppendLittleEndian(out, static_cast<uint32_t>(boxesX), 2);
    AppendLittleEndian(out, static_cast<uint32_t>(boxesZ), 2);

    if (stats != nullptr)
    {
        stats->originX = originX;
        stats->originZ = originZ;
        stats->boxesX = static_cast<int>(boxesX);
        stats->boxesZ = static_cast<int>(boxesZ);
        for (int i = 0; i < kHeightLevels; ++i)
            stats->nodes[i] = static_cast<int>(g.levels[i].size());
        stats->indexEntries = g.index.size();
    }
    return out;
}

void WriteHeightData(const std::filesystem::path& path, const HeightMesh& mesh,
                     const HeightGridOptions& options)
{
    WriteFileAtomically(path, FormatHeightData(mesh, options));
}

} // namespace datakit
