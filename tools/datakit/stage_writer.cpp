#include "tools/datakit/stage_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <numbers>

#include "tools/datakit/image_writer.h"

namespace datakit
{

namespace
{

namespace fs = std::filesystem;

constexpr double kCell = kDemoStageCell;
constexpr double kWidth = kDemoStageColumns * kCell;
constexpr double kLength = kDemoStageRows * kCell;
constexpr double kHalf = kDemoRoadHalfWidth;
// A block's mesh has rows of vertices every kRowStep along z, and more where the road's edges
// cross a column boundary.
constexpr double kRowStep = kCell / 4;

// Actor ids of the scenery.
constexpr uint32_t kPostId = 20;
constexpr uint32_t kTreeId = 30;
constexpr uint32_t kSignpostId = 40;
constexpr uint32_t kShadowId = 50;

double Smooth(double edge0, double edge1, double v)
{
    const double t = std::clamp((v - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

double CentreX(double z)
{
    return kWidth / 2 + 55.0 * std::sin(z / 150.0) + 20.0 * std::sin(z / 61.0 + 1.3);
}

// The road's height along it: a rise to a crest, a drop, and small waves.
double RoadHeight(double z)
{
    return 14.0 * Smooth(350.0, 650.0, z) - 6.0 * Smooth(800.0, 1050.0, z) +
           1.2 * std::sin(z / 70.0);
}

// A small deterministic noise, 0 to 255.
uint8_t Noise(int x, int y, uint32_t seed)
{
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                 seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<uint8_t>((h ^ (h >> 16)) & 0xFF);
}

// A linear congruential sequence for placing scenery, the same every run.
class Scatter
{
public:
    explicit Scatter(uint32_t seed) : state_(seed) {}
    double Next(double from, double to)
    {
        state_ = state_ * 1664525u + 1013904223u;
        return from +
               (to - from) * static_cast<double>(state_ >> 8) / static_cast<double>(1u << 24);
    }

private:
    uint32_t state_;
};

// An 8-bit image over `palette`, each pixel the index `paint` gives.
// The engine keys an 8-bit texture on its first colour, so that entry is black and taken
// only where `paint` gives -1 (transparent); `paint`'s index i is palette entry i + 1.
Image Painted(int width, int height, const std::vector<Rgb>& palette,
              const std::function<int(int, int)>& paint)
{
    Image image;
    image.width = width;
    image.height = height;
    image.bits = 8;
    image.colours = {{0, 0, 0}};
    image.colours.insert(image.colours.end(), palette.begin(), palette.end());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.pixels.push_back(static_cast<uint8_t>(paint(x, y) + 1));
    return image;
}

// Sixteen shades from `dark` to `light`.
std::vector<Rgb> Ramp(Rgb dark, Rgb light)
{
    std::vector<Rgb> ramp;
    for (int i = 0; i < 16; ++i)
    {
        auto mix = [i](uint8_t a, uint8_t b) { return static_cast<uint8_t>(a + (b - a) * i / 15); };
        ramp.push_back(
            {mix(dark.red, light.red), mix(dark.green, light.green), mix(dark.blue, light.blue)});
    }
    return ramp;
}

C3dTexture ImageTexture(const std::string& name, const Image& image)
{
    return {name, FormatBmp(image), {}};
}

// Gravel: grey grains, worn tracks where the wheels run, and a stone-grey edge.
Image RoadImage()
{
    std::vector<Rgb> palette = Ramp({78, 74, 68}, {150, 142, 128});
    return Painted(64, 64, palette,
                   [](int x, int y)
                   {
                       const int grain = Noise(x, y, 1) >> 5;
                       const bool worn = (x >= 14 && x < 22) || (x >= 42 && x < 50);
                       const bool edge = x < 3 || x >= 61;
                       return std::clamp(grain + (worn ? 6 : 3) + (edge ? 5 : 0), 0, 15);
                   });
}

Image GrassImage()
{
    return Painted(64, 64, Ramp({36, 82, 30}, {104, 160, 64}),
                   [](int x, int y)
                   { return (Noise(x, y, 2) >> 5) + (Noise(x / 4, y / 4, 3) >> 5); });
}

// A chevron board of the bends, in two colourings that the animated texture alternates.
Image ChevronImage(bool lit)
{
    const std::vector<Rgb> palette = {{250, 250, 245}, lit ? Rgb{230, 30, 20} : Rgb{40, 40, 160}};
    return Painted(32, 32, palette,
                   [](int x, int y) {
                       return ((x + (y < 16 ? y : 31 - y)) / 6) % 2 == 0 && y > 3 && y < 28 ? 1 : 0;
                   });
}

Image PostImage()
{
    const std::vector<Rgb> palette = {{235, 235, 225}, {210, 30, 25}, {90, 70, 50}};
    return Painted(8, 32, palette,
                   [](int, int y) { return y >= 3 && y < 8 ? 1
                                           : y >= 28       ? 2
                                                           : 0; });
}

Image WoodImage()
{
    return Painted(16, 16, Ramp({80, 52, 30}, {140, 96, 56}),
                   [](int x, int y) { return (Noise(x / 2, y * 5, 4) >> 5) + 4; });
}

Image SignboardImage()
{
    const std::vector<Rgb> palette = {{30, 110, 60}, {240, 240, 240}};
    return Painted(64, 32, palette,
                   [](int x, int y)
                   {
                       const bool border = x < 2 || x >= 62 || y < 2 || y >= 30;
                       const bool arrow = y >= 12 && y < 20 && x >= 10 && x < 44;
                       const bool head = x >= 44 && x < 54 && std::abs(y - 16) <= 53 - x;
                       return border || arrow || head ? 1 : 0;
                   });
}

Image ArrowImage()
{
    return Painted(8, 8, {{210, 40, 30}}, [](int, int) { return 0; });
}

// A fir on black (the colour key), 64 square: a trunk and three tiers of needles.
Image TreeImage()
{
    std::vector<Rgb> palette = Ramp({18, 60, 26}, {70, 130, 60});
    palette.push_back({90, 62, 40});
    return Painted(64, 64, palette,
                   [](int x, int y)
                   {
                       const int dx = std::abs(x - 32);
                       if (y >= 56)
                           return dx < 3 ? 16 : -1;
                       const int tier = y < 22 ? y : y < 40 ? y - 12 : y - 22;
                       if (dx > tier * 3 / 4 + 2)
                           return -1;
                       return std::clamp((Noise(x, y, 5) >> 5) + (x < 32 ? 2 : 6), 0, 15);
                   });
}

// A soft round puff of dust on black.
Image PuffImage()
{
    return Painted(32, 32, Ramp({14, 13, 11}, {210, 198, 170}),
                   [](int x, int y)
                   {
                       const double r = std::hypot(x - 15.5, y - 15.5) / 15.5;
                       return static_cast<int>(std::lround(15.0 * (1.0 - Smooth(0.2, 1.0, r)))) - 1;
                   });
}

// The overlays' panel: a dark frame with a dial face.
Image PanelImage()
{
    const std::vector<Rgb> palette = {{20, 24, 40}, {200, 200, 210}, {240, 160, 30}, {60, 70, 110}};
    return Painted(64, 32, palette,
                   [](int x, int y)
                   {
                       if (x < 2 || x >= 62 || y < 2 || y >= 30)
                           return 1;
                       const double r = std::hypot(x - 32.0, y - 30.0);
                       if (r > 20.0 && r < 24.0)
                           return x > 44 ? 2 : 3;
                       return 0;
                   });
}

Image BaleImage()
{
    return Painted(16, 16, Ramp({150, 120, 50}, {230, 200, 110}),
                   [](int x, int y) { return (Noise(x, y / 3, 6) >> 5) + 5; });
}

Image ShadowDiscImage()
{
    return Painted(32, 32, {{22, 40, 20}},
                   [](int x, int y) { return std::hypot(x - 15.5, y - 15.5) < 14.0 ? 0 : -1; });
}

// Sky over distant hills and the land below them; nothing black (the colour key). The sky
// takes rows 0 to 35, the hills' tops lie between rows 38 and 50, the land ends it.
Image SkyImage()
{
    std::vector<Rgb> palette = Ramp({70, 120, 200}, {200, 220, 235});
    for (const Rgb& c : Ramp({40, 70, 50}, {90, 120, 90}))
        palette.push_back(c);
    return Painted(64, 64, palette,
                   [](int x, int y)
                   {
                       const double a = x / 64.0 * 2 * std::numbers::pi;
                       const double hill =
                           44.0 - 4.0 * std::sin(a * 2) - 2.0 * std::sin(a * 5 + 1.0);
                       if (y >= hill)
                           return 16 + std::clamp(15 - (y - static_cast<int>(hill)) / 2, 0, 15);
                       return std::clamp(y * 15 / 40, 0, 15);
                   });
}

// The ground's slope at (x, z) turned into a grey by a low sun.
uint8_t Shade(double x, double z, double bright)
{
    const double e = 0.5;
    const double gx = (DemoGroundHeight(x + e, z) - DemoGroundHeight(x - e, z)) / (2 * e);
    const double gz = (DemoGroundHeight(x, z + e) - DemoGroundHeight(x, z - e)) / (2 * e);
    const double n[3] = {-gx, 1.0, -gz};
    const double l[3] = {-0.45, 0.8, -0.4};
    const double nl = (n[0] * l[0] + n[1] * l[1] + n[2] * l[2]) /
                      (std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) *
                       std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]));
    return static_cast<uint8_t>(std::clamp(bright * (0.55 + 0.45 * nl), 0.0, 255.0));
}

C3dRgba Grey(uint8_t v, uint8_t alpha = 255)
{
    return {v, v, v, alpha};
}

C3dFace FaceOf(uint16_t a, uint16_t b, uint16_t c, int texture, uint16_t surface,
               const std::array<C3dRgba, 3>& colours)
{
    C3dFace face;
    face.vertices = {a, b, c};
    face.texture = texture;
    face.colours = colours;
    face.surface = surface;
    return face;
}

// Texture indices of the track file.
enum TrackTexture
{
    kTrackGrass,
    kTrackRoad,
    kTrackSignA,
    kTrackSignB,
    kTrackSign,
};

// One block's mesh, world-space, relative to its centre; its triangles also go into the
// height data.
struct BlockMesh
{
    C3dShape shape;
    std::vector<std::array<HeightVertex, 3>> triangles;
    std::vector<uint8_t> surfaces;
};

// The columns of a row of vertices across a block at z: its edges, the road's edges (held to
// the block) and one between each; the same at a row two blocks share, so no crack opens.
std::array<double, 6> Columns(double x0, double z)
{
    const double x1 = x0 + kCell;
    const double xc = CentreX(z);
    const double l = std::clamp(xc - kHalf, x0, x1);
    const double r = std::clamp(xc + kHalf, x0, x1);
    return {x0, (x0 + l) / 2, l, r, (r + x1) / 2, x1};
}

// The z of each row of vertices of a grid row: every kRowStep from its bottom to its top, and
// wherever a road edge meets a column boundary, so that an edge never bends at the boundary
// between two rows. Every block of the grid row takes the same rows, so no crack opens.
std::vector<double> RowsOfGridRow(int row)
{
    const double zTop = (kDemoStageRows - row) * kCell;
    const double zBottom = zTop - kCell;
    std::vector<double> zs;
    for (double z = zBottom; z <= zTop; z += kRowStep)
        zs.push_back(z);
    constexpr double kSample = 0.5;
    for (double edge : {-kHalf, kHalf})
        for (int column = 1; column < kDemoStageColumns; ++column)
        {
            const double x = column * kCell;
            auto f = [&](double z) { return CentreX(z) + edge - x; };
            for (double z = zBottom; z < zTop; z += kSample)
            {
                double a = z, b = std::min(z + kSample, zTop);
                if ((f(a) < 0) == (f(b) < 0))
                    continue;
                for (int i = 0; i < 40; ++i)
                {
                    const double m = (a + b) / 2;
                    ((f(a) < 0) == (f(m) < 0) ? a : b) = m;
                }
                // Stored as the file stores it, so both blocks meet at the same point.
                const double crossing = std::round((a + b) / 2 * 65536.0) / 65536.0;
                if (crossing > zBottom + 0.01 && crossing < zTop - 0.01)
                    zs.push_back(crossing);
            }
        }
    std::sort(zs.begin(), zs.end());
    zs.erase(std::unique(zs.begin(), zs.end(),
                         [](double a, double b) { return std::abs(a - b) < 0.01; }),
             zs.end());
    return zs;
}

BlockMesh BuildBlock(int row, int column, const std::vector<double>& zs)
{
    BlockMesh mesh;
    C3dShape& s = mesh.shape;
    s.name = "B" + std::to_string(row * kDemoStageColumns + column);
    s.scale = {-1, -1, -1};
    const double x0 = column * kCell;
    const double zTop = zs.back();
    const double cx = x0 + kCell / 2, cz = zTop - kCell / 2;
    const int rows = static_cast<int>(zs.size()) - 1;

    std::vector<std::array<double, 6>> cols;
    for (double z : zs)
        cols.push_back(Columns(x0, z));

    // The grass shares its vertices across the block; the road takes its own a quad, since
    // its texture runs 0 to 1 along each quad.
    std::map<std::pair<int, int>, uint16_t> grassVertex;
    auto vertex = [&](double x, double z, double u, double v)
    {
        s.vertices.push_back(C3dVertexAt(x - cx, DemoGroundHeight(x, z), z - cz, u, v));
        return static_cast<uint16_t>(s.vertices.size() - 1);
    };
    auto grass = [&](int j, int k)
    {
        const auto key = std::make_pair(j, k);
        auto it = grassVertex.find(key);
        if (it != grassVertex.end())
            return it->second;
        const double x = cols[j][k], z = zs[j];
        const uint16_t i = vertex(x, z, (x - x0) / kCell, (zTop - z) / kCell);
        grassVertex[key] = i;
        return i;
    };
    auto colourAt = [&](uint16_t i, double bright)
    {
        const C3dVertex& v = s.vertices[i];
        return Grey(Shade(v.x + cx, v.z + cz, bright));
    };
    auto world = [&](uint16_t i)
    {
        const C3dVertex& v = s.vertices[i];
        return HeightVertex{v.x + cx, v.y, v.z + cz};
    };
    auto triangle =
        [&](uint16_t a, uint16_t b, uint16_t c, int texture, uint16_t surface, double bright)
    {
        s.faces.push_back(FaceOf(a, b, c, texture, surface,
                                 {colourAt(a, bright), colourAt(b, bright), colourAt(c, bright)}));
        mesh.triangles.push_back({world(a), world(b), world(c)});
        mesh.surfaces.push_back(static_cast<uint8_t>(surface));
    };
    constexpr double kFlat = 1e-6;

    // Grass first, the road after it: one list each.
    for (int j = 0; j < rows; ++j)
        for (int k : {0, 1, 3, 4})
        {
            const bool top = cols[j + 1][k + 1] - cols[j + 1][k] > kFlat;
            const bool bottom = cols[j][k + 1] - cols[j][k] > kFlat;
            // Clockwise from above: top left, top right, bottom right; top left, bottom right,
            // bottom left.
            if (top)
                triangle(grass(j + 1, k), grass(j + 1, k + 1), grass(j, k + 1), kTrackGrass,
                         kDemoGrassSurface, 245.0);
            if (bottom)
                triangle(grass(j + 1, k), grass(j, k + 1), grass(j, k), kTrackGrass,
                         kDemoGrassSurface, 245.0);
        }
    for (int j = 0; j < rows; ++j)
    {
        const bool top = cols[j + 1][3] - cols[j + 1][2] > kFlat;
        const bool bottom = cols[j][3] - cols[j][2] > kFlat;
        if (!top && !bottom)
            continue;
        const double zLow = zs[j], zHigh = zs[j + 1];
        auto across = [&](double x, double z) { return (x - (CentreX(z) - kHalf)) / (2 * kHalf); };
        // Along the road the texture runs down each kRowStep, whatever rows split it.
        const double step =
            zs.front() + kRowStep * std::floor((zLow - zs.front()) / kRowStep + 1e-6);
        auto along = [&](double z)
        { return std::clamp((step + kRowStep - z) / kRowStep, 0.0, 1.0); };
        const uint16_t tl =
            vertex(cols[j + 1][2], zHigh, across(cols[j + 1][2], zHigh), along(zHigh));
        const uint16_t tr =
            vertex(cols[j + 1][3], zHigh, across(cols[j + 1][3], zHigh), along(zHigh));
        const uint16_t br = vertex(cols[j][3], zLow, across(cols[j][3], zLow), along(zLow));
        const uint16_t bl = vertex(cols[j][2], zLow, across(cols[j][2], zLow), along(zLow));
        if (top)
            triangle(tl, tr, br, kTrackRoad, kDemoRoadSurface, 255.0);
        if (bottom)
            triangle(tl, br, bl, kTrackRoad, kDemoRoadSurface, 255.0);
    }
    return mesh;
}

// A chevron board beside the road at z, facing the way the road comes from; both sides drawn.
void AddSign(C3dShape& s, double cx, double cz, double z, double side)
{
    const StagePoint p = DemoCentreLine(z);
    const double x = p.x + side * (kHalf + 3.0);
    const double y = DemoGroundHeight(x, z);
    const auto base = static_cast<uint16_t>(s.vertices.size());
    s.vertices.push_back(C3dVertexAt(x - 1.5 - cx, y + 2.6, z - cz, 0, 0));
    s.vertices.push_back(C3dVertexAt(x + 1.5 - cx, y + 2.6, z - cz, 1, 0));
    s.vertices.push_back(C3dVertexAt(x + 1.5 - cx, y + 1.0, z - cz, 1, 1));
    s.vertices.push_back(C3dVertexAt(x - 1.5 - cx, y + 1.0, z - cz, 0, 1));
    const std::array<C3dRgba, 3> white = {Grey(250), Grey(250), Grey(250)};
    const std::array<std::array<int, 3>, 4> faces = {{{0, 1, 2}, {0, 2, 3}, {0, 2, 1}, {0, 3, 2}}};
    for (const auto& f : faces)
        s.faces.push_back(
            FaceOf(static_cast<uint16_t>(base + f[0]), static_cast<uint16_t>(base + f[1]),
                   static_cast<uint16_t>(base + f[2]), kTrackSign, kDemoGrassSurface, white));
}

// Signs stand at these places along the road, on the outside of the bend.
constexpr std::array<double, 5> kSignZ = {150.0, 420.0, 690.0, 930.0, 1150.0};

void BuildTrack(DemoStage& stage)
{
    C3dScene& track = stage.track;
    track.textures = {ImageTexture("GRASS", GrassImage()),
                      ImageTexture("ROAD", RoadImage()),
                      ImageTexture("SIGNA", ChevronImage(true)),
                      ImageTexture("SIGNB", ChevronImage(false)),
                      {"SIGN", {}, {{kTrackSignA, 8}, {kTrackSignB, 8}}}};
    track.objects.push_back(C3dObject{});
    std::map<std::pair<double, double>, uint32_t> heightVertex;
    for (int r = 0; r < kDemoStageRows; ++r)
    {
        const std::vector<double> zs = RowsOfGridRow(r);
        for (int c = 0; c < kDemoStageColumns; ++c)
        {
            BlockMesh mesh = BuildBlock(r, c, zs);
            const double cx = (c + 0.5) * kCell, cz = (kDemoStageRows - r - 0.5) * kCell;
            for (double z : kSignZ)
            {
                const StagePoint p = DemoCentreLine(z);
                // The outside of the bend: away from where the road is heading.
                const double side = p.dx > 0 ? -1.0 : 1.0;
                const double x = p.x + side * (kHalf + 3.0);
                if (x >= cx - kCell / 2 && x < cx + kCell / 2 && z >= cz - kCell / 2 &&
                    z < cz + kCell / 2)
                    AddSign(mesh.shape, cx, cz, z, side);
            }
            for (size_t t = 0; t < mesh.triangles.size(); ++t)
            {
                HeightTriangle tri{};
                for (int k = 0; k < 3; ++k)
                {
                    const HeightVertex& v = mesh.triangles[t][k];
                    const auto key = std::make_pair(v.x, v.z);
                    auto it = heightVertex.find(key);
                    if (it == heightVertex.end())
                    {
                        it = heightVertex
                                 .emplace(key, static_cast<uint32_t>(stage.ground.vertices.size()))
                                 .first;
                        stage.ground.vertices.push_back(v);
                    }
                    tri.vertices[k] = it->second;
                }
                tri.surface = mesh.surfaces[t];
                stage.ground.triangles.push_back(tri);
            }
            track.shapes.push_back(std::move(mesh.shape));
            track.objects.push_back(C3dPlaced(0, {static_cast<int>(track.shapes.size() - 1)},
                                              C3dTranslation(cx, 0.0, cz)));
        }
    }
}

C3dShape Quad(const std::string& name, std::array<C3dVertex, 4> corners, int texture, bool twoSided,
              uint8_t flags = 0)
{
    C3dShape s;
    s.name = name;
    s.flags = flags;
    s.vertices.assign(corners.begin(), corners.end());
    const std::array<C3dRgba, 3> white = {Grey(255), Grey(255), Grey(255)};
    s.faces.push_back(FaceOf(0, 1, 2, texture, 0, white));
    s.faces.push_back(FaceOf(0, 2, 3, texture, 0, white));
    if (twoSided)
    {
        s.faces.push_back(FaceOf(0, 2, 1, texture, 0, white));
        s.faces.push_back(FaceOf(0, 3, 2, texture, 0, white));
    }
    return s;
}

// A box of half sizes hx, hz standing from y = 0 to 2 hy, its texture's top at the top.
C3dShape Column(const std::string& name, double hx, double hy, double hz, int texture)
{
    C3dShape s;
    s.name = name;
    for (int i = 0; i < 8; ++i)
        s.vertices.push_back(C3dVertexAt(i & 1 ? hx : -hx, i & 2 ? 2 * hy : 0, i & 4 ? hz : -hz,
                                         (i & 1) ^ (i >> 2 & 1) ? 1 : 0, i & 2 ? 0 : 1));
    // Each side clockwise seen from outside.
    static const uint16_t kSides[5][4] = {
        {2, 3, 1, 0}, {7, 6, 4, 5}, {6, 2, 0, 4}, {3, 7, 5, 1}, {6, 7, 3, 2}};
    const std::array<C3dRgba, 3> white = {Grey(255), Grey(255), Grey(255)};
    for (const auto& q : kSides)
    {
        s.faces.push_back(FaceOf(q[0], q[1], q[2], texture, 0, white));
        s.faces.push_back(FaceOf(q[0], q[2], q[3], texture, 0, white));
    }
    return s;
}

C3dMatrix Placed(double x, double y, double z, double scale = 1.0)
{
    C3dMatrix m = C3dTranslation(x, y, z);
    for (int i = 0; i < 3; ++i)
        m[i][i] = scale;
    return m;
}

// Points beside the road where trees stand, away from its edges; the same every run.
std::vector<std::array<double, 3>> TreePlaces()
{
    std::vector<std::array<double, 3>> places;
    Scatter scatter(20240601u);
    while (places.size() < 320)
    {
        const double z = scatter.Next(24.0, kLength - 24.0);
        const double x = scatter.Next(8.0, kWidth - 8.0);
        const double scale = scatter.Next(0.8, 1.5);
        if (std::abs(x - CentreX(z)) > kHalf + 7.0)
            places.push_back({x, z, scale});
    }
    return places;
}

enum SceneryTexture
{
    kPost,
    kWood,
    kSignboard,
    kArrow,
    kTree,
    kPuff,
    kPanel,
    kBale,
};

void BuildScenery(DemoStage& stage)
{
    C3dScene& s = stage.scenery;
    s.textures = {ImageTexture("POST", PostImage()),           ImageTexture("WOOD", WoodImage()),
                  ImageTexture("SIGNBOARD", SignboardImage()), ImageTexture("ARROW", ArrowImage()),
                  ImageTexture("TREE", TreeImage()),           ImageTexture("PUFF", PuffImage()),
                  ImageTexture("PANEL", PanelImage()),         ImageTexture("BALE", BaleImage())};
    enum
    {
        kBaleShape,
        kPostHigh,
        kPostLow,
        kPole,
        kBoard,
        kArrowShape,
        kTreeShape,
    };
    s.shapes.push_back(Column("BALE", 0.9, 0.55, 0.6, kBale));
    s.shapes.push_back(Column("POSTHI", 0.1, 0.55, 0.1, kPost));
    s.shapes.push_back(Quad("POSTLO",
                            {C3dVertexAt(-0.1, 1.1, 0, 0, 0), C3dVertexAt(0.1, 1.1, 0, 1, 0),
                             C3dVertexAt(0.1, 0, 0, 1, 1), C3dVertexAt(-0.1, 0, 0, 0, 1)},
                            kPost, true));
    s.shapes.push_back(Column("SIGNPOLE", 0.08, 1.4, 0.08, kWood));
    s.shapes.push_back(Quad("SIGNBRD",
                            {C3dVertexAt(-1.2, 0.5, 0, 0, 0), C3dVertexAt(1.2, 0.5, 0, 1, 0),
                             C3dVertexAt(1.2, -0.3, 0, 1, 1), C3dVertexAt(-1.2, -0.3, 0, 0, 1)},
                            kSignboard, true));
    C3dShape arrow;
    arrow.name = "SIGNARW";
    arrow.vertices = {C3dVertexAt(0, 0.35, 0, 0, 0), C3dVertexAt(0.6, 0, 0, 1, 0.5),
                      C3dVertexAt(0, -0.35, 0, 0, 1)};
    const std::array<C3dRgba, 3> white = {Grey(255), Grey(255), Grey(255)};
    arrow.faces = {FaceOf(0, 1, 2, kArrow, 0, white), FaceOf(0, 2, 1, kArrow, 0, white)};
    s.shapes.push_back(arrow);
    // The sprite's z is its width across the view; vertex 1 is its top left as seen.
    s.shapes.push_back(Quad("TREE",
                            {C3dVertexAt(0, 0, 1.7, 0, 1), C3dVertexAt(0, 5.5, 1.7, 0, 0),
                             C3dVertexAt(0, 5.5, -1.7, 1, 0), C3dVertexAt(0, 0, -1.7, 1, 1)},
                            kTree, false, 4));
    // Quad's faces go 0, 1, 2 and 0, 2, 3; the sprite wants its top left first.
    s.shapes.back().faces = {FaceOf(1, 2, 3, kTree, 0, white), FaceOf(1, 3, 0, kTree, 0, white)};

    // Fixed models first: a dummy places each bale.
    for (int i = 0; i < 6; ++i)
    {
        const double z = 90.0 + 190.0 * i;
        const double x = CentreX(z) + (i % 2 ? 1 : -1) * (kHalf + 4.0);
        s.objects.push_back(C3dPlaced(0, {}, C3dTranslation(x, DemoGroundHeight(x, z), z)));
        s.objects.push_back(C3dPlaced(0, {kBaleShape}));
    }
    // The signpost near the start, with its board and the board's arrow.
    {
        const double z = 60.0, x = CentreX(z) + kHalf + 2.5;
        s.objects.push_back(
            C3dPlaced(-1, {kPole}, C3dTranslation(x, DemoGroundHeight(x, z), z), kSignpostId));
        s.objects.push_back(C3dPlaced(0, {kBoard}, C3dTranslation(0, 2.4, -0.1), kSignpostId + 1));
        s.objects.push_back(
            C3dPlaced(1, {kArrowShape}, C3dTranslation(1.2, 0.1, 0), kSignpostId + 2));
    }
    for (double z = 40.0; z < kLength - 30.0; z += 32.0)
        for (double side : {-1.0, 1.0})
        {
            const double x = CentreX(z) + side * (kHalf + 1.2);
            s.objects.push_back(C3dPlaced(-1, {kPostHigh, kPostLow},
                                          C3dTranslation(x, DemoGroundHeight(x, z), z), kPostId));
        }
    for (const auto& [x, z, scale] : TreePlaces())
        s.objects.push_back(C3dPlaced(-1, {kTreeShape},
                                      Placed(x, DemoGroundHeight(x, z) - 0.2, z, scale), kTreeId));
}

// Dark discs on the ground under the trees nearest the road.
void BuildShadows(DemoStage& stage)
{
    C3dScene& s = stage.shadows;
    s.textures = {ImageTexture("SHADOW", ShadowDiscImage())};
    int n = 0;
    for (const auto& [x, z, scale] : TreePlaces())
    {
        if (std::abs(x - CentreX(z)) > kHalf + 24.0)
            continue;
        const double r = 2.0 * scale;
        // Cast away from the low sun.
        const double ox = x + 0.8 * r, oz = z + 0.6 * r;
        C3dShape shape;
        shape.name = "SH" + std::to_string(n++);
        shape.scale = {-1, -1, -1};
        const double corners[4][2] = {{-r, r}, {r, r}, {r, -r}, {-r, -r}};
        const double uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int k = 0; k < 4; ++k)
        {
            const double px = ox + corners[k][0], pz = oz + corners[k][1];
            shape.vertices.push_back(
                C3dVertexAt(px - ox, DemoGroundHeight(px, pz) + 0.08, pz - oz, uv[k][0], uv[k][1]));
        }
        const std::array<C3dRgba, 3> white = {Grey(255), Grey(255), Grey(255)};
        shape.faces = {FaceOf(0, 1, 2, 0, 0, white), FaceOf(0, 2, 3, 0, 0, white)};
        s.shapes.push_back(shape);
        s.objects.push_back(C3dPlaced(-1, {static_cast<int>(s.shapes.size() - 1)},
                                      C3dTranslation(ox, 0.0, oz), kShadowId));
    }
}

// A ring of sky and hills around its actor, seen from inside: the sky's part of the texture
// from the top down to a little above the eye, the hills and land below it.
void BuildHorizon(DemoStage& stage)
{
    C3dScene& s = stage.horizon;
    s.textures = {ImageTexture("SKY", SkyImage())};
    C3dShape ring;
    ring.name = "SKYRING";
    constexpr int kSegments = 24;
    constexpr double kRadius = 1600.0;
    // Heights of the ring's three rows of vertices and the texture rows they take.
    constexpr std::array<double, 3> kHeights = {1500.0, 110.0, -120.0};
    constexpr std::array<double, 3> kV = {0.02, 0.56, 1.0};
    const std::array<C3dRgba, 3> white = {Grey(255), Grey(255), Grey(255)};
    for (int i = 0; i < kSegments; ++i)
    {
        const double a0 = 2 * std::numbers::pi * i / kSegments;
        const double a1 = 2 * std::numbers::pi * (i + 1) / kSegments;
        for (int band = 0; band < 2; ++band)
        {
            const auto base = static_cast<uint16_t>(ring.vertices.size());
            // Seen from the centre, the segment runs left to right from a0 to a1.
            auto at = [&](double a, int row, double u)
            {
                ring.vertices.push_back(C3dVertexAt(kRadius * std::sin(a), kHeights[row],
                                                    kRadius * std::cos(a), u, kV[row]));
            };
            at(a0, band, 0);
            at(a1, band, 1);
            at(a1, band + 1, 1);
            at(a0, band + 1, 0);
            ring.faces.push_back(FaceOf(base, base + 1, base + 2, 0, 0, white));
            ring.faces.push_back(FaceOf(base, base + 2, base + 3, 0, 0, white));
        }
    }
    s.shapes.push_back(ring);
    s.objects.push_back(C3dPlaced(-1, {0}));
}

// The walls along both edges, in pieces along the road; the lines across it.
void BuildLines(DemoStage& stage)
{
    auto across = [&](double z, uint8_t type, int32_t param)
    {
        const StagePoint p = DemoCentreLine(z);
        const double w = kHalf + 1.0;
        // From the left edge to the right: the normal faces a car coming up the road.
        stage.lines.push_back({p.x - w * p.dz, p.y, z + w * p.dx, p.x + w * p.dz, p.y, z - w * p.dx,
                               type, false, param});
    };
    constexpr double kWallBelow = 1.0;
    constexpr double kWallAbove = 4.0;
    for (double z = kDemoRoadStart; z + 16.0 <= kDemoRoadEnd; z += 16.0)
    {
        const StagePoint a = DemoCentreLine(z), b = DemoCentreLine(z + 16.0);
        const double w = kHalf + 2.0;
        // A wall stands from below the road to well above a car: the heights of its two ends
        // are the span a car's corners must reach into to meet it.
        const double low = std::min(a.y, b.y) - kWallBelow;
        const double high = std::max(a.y, b.y) + kWallAbove;
        // Left wall up the road faces the road (+x side), the right one down it.
        stage.lines.push_back({a.x - w * a.dz, low, z + w * a.dx, b.x - w * b.dz, high,
                               z + 16.0 + w * b.dx, kWall, false, 0});
        stage.lines.push_back({b.x + w * b.dz, low, z + 16.0 - w * b.dx, a.x + w * a.dz, high,
                               z - w * a.dx, kWall, false, 0});
    }
    across(30.0, kTimedEvent, 0);
    int call = 101;
    for (double z : kSignZ)
        across(z - 40.0, kPaceNote, call++);
    for (int32_t split = 0; split < 3; ++split)
        across(kDemoSplitZ[split], kSplit, split);
    for (int i = 0; i < 5; ++i)
        across(100.0 + 240.0 * i, static_cast<uint8_t>(kFirstCameraSet + i), 0);
    across(kDemoFinishZ, kFinish, 0);
}

} // namespace

C3dScene DemoCar()
{
    C3dScene car;
    car.textures = {ImageTexture("DCBODY", Painted(16, 16, {{190, 28, 24}, {240, 220, 60}},
                                                   [](int, int y) { return y == 7 || y == 8; })),
                    ImageTexture("DCTYRE", Painted(8, 8, {{26, 24, 22}, {70, 70, 70}},
                                                   [](int x, int) { return x == 3 || x == 4; })),
                    ImageTexture("DCGLASS", Painted(8, 8, {{150, 190, 230}, {230, 240, 250}},
                                                    [](int x, int y) { return x == y; }))};
    car.shapes = {Column("DCBODY", 0.95, 0.3, 2.1, 0), Column("DCWHEEL", 0.14, 0.34, 0.34, 1),
                  Column("DCCABIN", 0.75, 0.28, 0.95, 2)};
    // The body and its wheels (ids 1 to 4), then the cabin's glass beside it (id 111).
    car.objects.push_back(C3dPlaced(-1, {0}, C3dTranslation(0.0, 0.3, 0.0), 10));
    const double corners[4][2] = {{-0.95, 1.35}, {0.95, 1.35}, {-0.95, -1.35}, {0.95, -1.35}};
    for (int w = 0; w < 4; ++w)
        car.objects.push_back(C3dPlaced(0, {1}, C3dTranslation(corners[w][0], -0.3, corners[w][1]),
                                        static_cast<uint32_t>(1 + w)));
    car.objects.push_back(C3dPlaced(-1, {2}, C3dTranslation(0.0, 0.9, -0.2), 111));
    return car;
}

StagePoint DemoCentreLine(double z)
{
    const double e = 0.25;
    const double dx = (CentreX(z + e) - CentreX(z - e)) / (2 * e);
    const double len = std::sqrt(dx * dx + 1.0);
    return {CentreX(z), RoadHeight(z), z, dx / len, 1.0 / len};
}

double DemoGroundHeight(double x, double z)
{
    const double d = std::abs(x - CentreX(z)) - kHalf;
    if (d <= 0)
        return RoadHeight(z);
    const double t = Smooth(0.0, 14.0, d);
    const double rolling =
        2.2 * std::sin(x / 37.0) * std::cos(z / 29.0) + 1.3 * std::sin(z / 53.0 + x / 41.0) + 1.3;
    return RoadHeight(z) + t * (0.9 + 0.14 * d + rolling);
}

DemoStage MakeDemoStage()
{
    DemoStage stage;
    stage.blocks =
        BlockGrid{kCell, kCell / 2, kLength - kCell / 2, kDemoStageColumns, kDemoStageRows};
    BuildTrack(stage);
    BuildScenery(stage);
    BuildShadows(stage);
    BuildHorizon(stage);
    BuildLines(stage);
    return stage;
}

DemoStageFiles WriteDemoStage(const fs::path& dir, const std::string& name)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir))
        throw Error("cannot create directory " + dir.string());
    const DemoStage stage = MakeDemoStage();
    DemoStageFiles files;
    files.track = dir / (name + ".c3d");
    files.scenery = dir / (name + ".obj");
    files.shadows = dir / (name + ".sht");
    files.horizon = dir / (name + ".hzn");
    files.heights = dir / (name + ".hpc");
    files.lines = dir / (name + ".dat");
    WriteFileAtomically(files.track, FormatC3d(stage.track));
    WriteFileAtomically(files.scenery, FormatC3d(stage.scenery));
    WriteFileAtomically(files.shadows, FormatC3d(stage.shadows));
    WriteFileAtomically(files.horizon, FormatC3d(stage.horizon));
    WriteHeightData(files.heights, stage.ground);
    WriteFileAtomically(files.lines, FormatTriggerFile(stage.lines, stage.blocks));
    return files;
}

} // namespace datakit
