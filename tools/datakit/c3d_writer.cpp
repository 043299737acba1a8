#include "tools/datakit/c3d_writer.h"

#include <cmath>
#include <string>

#include "tools/datakit/image_writer.h"

namespace datakit
{

namespace
{

constexpr uint32_t kHeaderSize = 32;
constexpr uint32_t kTextureHead = 16;
constexpr uint32_t kShapeHead = 48;
constexpr uint32_t kVertexSize = 32;
constexpr uint32_t kFaceSize = 24;
constexpr uint32_t kObjectHead = 80;
constexpr size_t kMaxRecords = 0xFFFF;

std::string Where(const char* what, size_t index)
{
    return std::string("DK3D: ") + what + " " + std::to_string(index);
}

// A number as 16.16, rounded to the nearest step.
uint32_t Fixed(double value, const std::string& where)
{
    const double scaled = std::round(value * 65536.0);
    if (!(scaled >= -2147483648.0 && scaled <= 2147483647.0))
        throw Error(where + ": " + std::to_string(value) + " is beyond 16.16");
    return static_cast<uint32_t>(static_cast<int32_t>(scaled));
}

void AppendName(std::vector<uint8_t>& out, const std::string& name, const std::string& where)
{
    if (name.empty() || name.size() > kC3dNameLength)
        throw Error(where + ": the name '" + name + "' is not 1 to 12 characters");
    std::string padded = name;
    padded.resize(kC3dNameLength, '\0');
    out.insert(out.end(), padded.begin(), padded.end());
}

void AppendTexture(std::vector<uint8_t>& out, const C3dTexture& texture, size_t index)
{
    const std::string where = Where("texture", index);
    std::vector<uint8_t> data;
    if (!texture.frames.empty())
    {
        if (texture.frames.size() > kC3dMaxFrames)
            throw Error(where + ": more than 16 frames");
        data = {'A', 0, 0, 0, static_cast<uint8_t>(texture.frames.size()), 0, 0, 0};
        for (const C3dFrame& frame : texture.frames)
        {
            // The reader makes the frames' textures first.
            if (frame.texture >= index)
                throw Error(where + ": a frame of texture " + std::to_string(frame.texture) +
                            ", not an earlier one");
            AppendLittleEndian(data, frame.texture, 2);
            data.push_back(frame.delay);
            data.push_back(0);
        }
    }
    else
    {
        // The first byte tells an animated texture from an image.
        if (texture.image.empty() || texture.image[0] == 'A')
            throw Error(where + ": no image, or one the reader would take for an animation");
        data = texture.image;
    }
    AppendName(out, texture.name, where);
    AppendLittleEndian(out, static_cast<uint32_t>(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
}

void AppendShape(std::vector<uint8_t>& out, const C3dShape& shape, size_t index, size_t textures)
{
    const std::string where = Where("shape", index);
    if (shape.vertices.size() > kC3dMaxShapeVertices)
        throw Error(where + ": more than 1,024 vertices");
    if (shape.faces.size() > kMaxRecords)
        throw Error(where + ": more than 65,535 faces");
    AppendName(out, shape.name, where);
    const size_t length =
        kShapeHead + kVertexSize * shape.vertices.size() + kFaceSize * shape.faces.size();
    AppendLittleEndian(out, static_cast<uint32_t>(length), 4);
    AppendLittleEndian(out, static_cast<uint32_t>(shape.vertices.size()), 2);
    AppendLittleEndian(out, static_cast<uint32_t>(shape.faces.size()), 2);
    out.insert(out.end(), {shape.flags, 0, 0, 0});
    for (double s : shape.scale)
        AppendLittleEndian(out, Fixed(s, where), 4);
    for (double s : shape.second)
        AppendLittleEndian(out, Fixed(s, where), 4);
    for (const C3dVertex& v : shape.vertices)
    {
        // Stored so that the reader's rule gives back the coordinates meant.
        const double storedU = v.u > 1.0 ? v.u + 1.0 : v.u;
        const double storedV = v.v - 1.0;
        for (double n : {v.x, v.y, v.z, storedU, storedV, v.nx, v.ny, v.nz})
            AppendLittleEndian(out, Fixed(n, where), 4);
    }
    for (size_t f = 0; f < shape.faces.size(); ++f)
    {
        const C3dFace& face = shape.faces[f];
        AppendLittleEndian(out, 0, 2);
        for (uint16_t v : face.vertices)
        {
            if (v >= shape.vertices.size())
                throw Error(where + ": face " + std::to_string(f) + " uses vertex " +
                            std::to_string(v));
            AppendLittleEndian(out, v, 2);
        }
        if (face.texture < -1 || face.texture >= static_cast<int>(textures))
            throw Error(where + ": face " + std::to_string(f) + " uses texture " +
                        std::to_string(face.texture));
        AppendLittleEndian(out, static_cast<uint32_t>(face.texture), 2);
        for (const C3dRgba& c : face.colours)
            out.insert(out.end(), {c.red, c.green, c.blue, c.alpha});
        AppendLittleEndian(out, face.surface, 2);
    }
}

void AppendObject(std::vector<uint8_t>& out, const C3dObject& object, size_t index, size_t shapes,
                  size_t actorsBefore)
{
    const std::string where = Where("object", index);
    // Before the first parent -1 object the reader makes fixed models and ignores parents.
    if (object.parent < -1 || (actorsBefore > 0 && object.parent >= static_cast<int>(actorsBefore)))
        throw Error(where + ": parent " + std::to_string(object.parent) + " is no earlier actor");
    if (object.shapes.size() > kC3dMaxLevels)
        throw Error(where + ": more than 4 detail levels");
    AppendLittleEndian(out, static_cast<uint32_t>(kObjectHead + 2 * object.shapes.size()), 4);
    AppendLittleEndian(out, static_cast<uint32_t>(object.parent), 2);
    AppendLittleEndian(out, 0, 2);
    for (const auto& row : object.matrix)
        for (double m : row)
            AppendLittleEndian(out, Fixed(m, where), 4);
    AppendLittleEndian(out, object.flags, 4);
    out.insert(out.end(), {static_cast<uint8_t>(object.shapes.size()), object.alwaysDraw,
                           object.minimumDetail, 0});
    for (int shape : object.shapes)
    {
        if (shape < -1 || shape >= static_cast<int>(shapes))
            throw Error(where + ": shape " + std::to_string(shape) + " of " +
                        std::to_string(shapes));
        AppendLittleEndian(out, shape < 0 ? kC3dNoShape : static_cast<uint32_t>(shape), 2);
    }
}

C3dFace Face(uint16_t a, uint16_t b, uint16_t c, int texture, C3dRgba colour)
{
    C3dFace face;
    face.vertices = {a, b, c};
    face.texture = texture;
    face.colours = {colour, colour, colour};
    return face;
}

// A flat square of side `side` in the X-Z plane at height y, two triangles.
C3dShape Square(const std::string& name, double side, double y, int texture)
{
    C3dShape shape;
    shape.name = name;
    const double h = side / 2;
    shape.vertices = {C3dVertexAt(-h, y, h, 0, 0), C3dVertexAt(h, y, h, 1, 0),
                      C3dVertexAt(h, y, -h, 1, 1), C3dVertexAt(-h, y, -h, 0, 1)};
    const C3dRgba grey{180, 180, 180, 255};
    shape.faces = {Face(0, 1, 2, texture, grey), Face(0, 2, 3, texture, grey)};
    return shape;
}

// A box of the given half sizes standing on y = 0, twelve triangles.
C3dShape Box(const std::string& name, double hx, double hy, double hz, int texture)
{
    C3dShape shape;
    shape.name = name;
    for (int i = 0; i < 8; ++i)
        shape.vertices.push_back(C3dVertexAt(i & 1 ? hx : -hx, i & 2 ? 2 * hy : 0, i & 4 ? hz : -hz,
                                             i & 1 ? 1 : 0, i & 2 ? 0 : 1));
    static const uint16_t kSides[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                                          {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    const C3dRgba white{255, 255, 255, 255};
    for (const auto& s : kSides)
    {
        shape.faces.push_back(Face(s[0], s[1], s[2], texture, white));
        shape.faces.push_back(Face(s[0], s[2], s[3], texture, white));
    }
    return shape;
}

C3dTexture Texture(const std::string& name, C3dRgba colour, int size = 16)
{
    return {name, C3dSolidBmp(size, size, colour), {}};
}

} // namespace

C3dShape C3dBox(const std::string& name, double hx, double hy, double hz, int texture)
{
    return Box(name, hx, hy, hz, texture);
}

C3dVertex C3dVertexAt(double x, double y, double z, double u, double v)
{
    C3dVertex vertex;
    vertex.x = x;
    vertex.y = y;
    vertex.z = z;
    vertex.u = u;
    vertex.v = v;
    return vertex;
}

C3dObject C3dPlaced(int parent, std::vector<int> shapes, const C3dMatrix& matrix, uint32_t flags)
{
    C3dObject object;
    object.parent = parent;
    object.shapes = std::move(shapes);
    object.matrix = matrix;
    object.flags = flags;
    return object;
}

C3dMatrix C3dIdentity()
{
    return {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
}

C3dMatrix C3dTranslation(double x, double y, double z)
{
    C3dMatrix m = C3dIdentity();
    m[3] = {x, y, z, 1};
    return m;
}

std::vector<uint8_t> FormatC3d(const C3dScene& scene, C3dLayout* layout)
{
    if (scene.shapes.size() > kC3dMaxShapes)
        throw Error("DK3D: more than 2,048 shapes");
    if (scene.textures.size() > kMaxRecords || scene.objects.size() > kMaxRecords)
        throw Error("DK3D: more than 65,535 textures or objects");
    std::vector<uint8_t> out;
    out.insert(out.end(), {'D', 'K', '3', 'D'});
    AppendLittleEndian(out, kC3dVersion, 4);
    AppendLittleEndian(out, 0, 4);
    AppendLittleEndian(out, static_cast<uint32_t>(scene.objects.size()), 2);
    AppendLittleEndian(out, static_cast<uint32_t>(scene.shapes.size()), 2);
    AppendLittleEndian(out, static_cast<uint32_t>(scene.textures.size()), 2);
    AppendLittleEndian(out, 0, 2);
    out.resize(kHeaderSize);
    C3dLayout at;

    const uint32_t textureStart = static_cast<uint32_t>(out.size());
    for (size_t i = 0; i < scene.textures.size(); ++i)
    {
        at.textures.push_back(static_cast<uint32_t>(out.size()));
        AppendTexture(out, scene.textures[i], i);
    }
    const uint32_t shapeStart = static_cast<uint32_t>(out.size());
    for (size_t i = 0; i < scene.shapes.size(); ++i)
    {
        at.shapes.push_back(static_cast<uint32_t>(out.size()));
        AppendShape(out, scene.shapes[i], i, scene.textures.size());
    }
    const uint32_t objectStart = static_cast<uint32_t>(out.size());
    size_t actors = 0;
    for (size_t i = 0; i < scene.objects.size(); ++i)
    {
        at.objects.push_back(static_cast<uint32_t>(out.size()));
        const C3dObject& object = scene.objects[i];
        AppendObject(out, object, i, scene.shapes.size(), actors);
        if (object.parent == -1 || actors > 0)
            ++actors;
    }
    if (out.size() > 0x7FFFFFFF)
        throw Error("DK3D: the file would pass 2 GB");

    for (auto [field, offset] :
         {std::pair{20u, objectStart}, std::pair{24u, shapeStart}, std::pair{28u, textureStart}})
        for (int b = 0; b < 4; ++b)
            out[field + b] = static_cast<uint8_t>(offset >> (8 * b));
    if (layout != nullptr)
        *layout = std::move(at);
    return out;
}

std::vector<uint8_t> C3dSolidBmp(int width, int height, C3dRgba colour)
{
    Image image;
    image.width = width;
    image.height = height;
    image.bits = 8;
    auto lighter = [](uint8_t c) { return static_cast<uint8_t>(c + (255 - c) / 2); };
    // The engine keys an 8-bit texture on its first colour: that entry is black and unused.
    image.colours = {{0, 0, 0},
                     {colour.red, colour.green, colour.blue},
                     {lighter(colour.red), lighter(colour.green), lighter(colour.blue)}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.pixels.push_back(x == y ? 2 : 1);
    return FormatBmp(image);
}

C3dScene C3dBlockGrid(const C3dGridOptions& options)
{
    if (options.columns <= 0 || options.rows <= 0 || !(options.cell > 0))
        throw Error("DK3D grid: it needs columns, rows and a cell size");
    if (static_cast<size_t>(options.columns) * static_cast<size_t>(options.rows) >
        kC3dMaxTrackBlocks)
        throw Error("DK3D grid: more than 4,096 blocks");
    C3dScene scene;
    scene.textures = {Texture("ROAD", {90, 90, 96, 255}), Texture("GRASS", {40, 140, 50, 255})};
    if (options.animatedSign)
        scene.textures.push_back({"SIGN", {}, {{0, 2}, {1, 2}}});
    // The root carries no geometry.
    scene.objects.push_back(C3dObject{});
    const int road = options.columns / 2;
    for (int r = 0; r < options.rows; ++r)
        for (int c = 0; c < options.columns; ++c)
        {
            const int block = r * options.columns + c;
            int texture = c == road ? 0 : 1;
            if (options.animatedSign && block == 0)
                texture = 2;
            C3dShape shape = Square("B" + std::to_string(block), options.cell, 0.0, texture);
            shape.scale = {-1, -1, -1};
            for (C3dFace& face : shape.faces)
                face.surface = static_cast<uint16_t>(c == road ? 1 : 20);
            scene.shapes.push_back(shape);
            scene.objects.push_back(
                C3dPlaced(0, {block},
                          C3dTranslation((c + 0.5) * options.cell, 0.0,
                                         (options.rows - r - 0.5) * options.cell)));
        }
    return scene;
}

C3dScene C3dScenery(int fixed, int posts)
{
    C3dScene scene;
    scene.textures = {Texture("WOOD", {120, 80, 40, 255}),
                      Texture("SIGNBOARD", {230, 230, 60, 255})};
    scene.shapes = {Box("BOX", 1.0, 1.0, 1.0, 0), Box("POST", 0.2, 1.5, 0.2, 0),
                    Square("BOARD", 2.0, 0.0, 1)};
    C3dShape lamp;
    lamp.name = "LAMP";
    lamp.vertices = {C3dVertexAt(0, 0, 0, 0, 0), C3dVertexAt(0.5, 0, 0, 1, 0),
                     C3dVertexAt(0, 0.5, 0, 0, 1)};
    lamp.faces = {Face(0, 1, 2, -1, {255, 220, 120, 255})};
    scene.shapes.push_back(lamp);

    for (int k = 0; k < fixed; ++k)
    {
        scene.objects.push_back(C3dPlaced(0, {}, C3dTranslation(8.0 * k, 0.0, 20.0)));
        scene.objects.push_back(C3dPlaced(0, {0}));
    }
    scene.objects.push_back(C3dPlaced(-1, {1}, C3dIdentity(), 1));
    scene.objects.push_back(C3dPlaced(0, {2}, C3dTranslation(0.0, 3.0, 0.0), 2));
    scene.objects.push_back(C3dPlaced(1, {3}, C3dTranslation(0.0, 0.5, 0.0), 3));
    for (int k = 0; k < posts; ++k)
        scene.objects.push_back(C3dPlaced(-1, {1}, C3dTranslation(4.0 + 4.0 * k, 0.0, -6.0),
                                          static_cast<uint32_t>(10 + k)));
    return scene;
}

// A panel of nu x nv cells from `origin` along u and v, and its damaged shape: every vertex
// pushed by `push`, the edges half as far, drawn with the damaged texture at u / 2 + 0.5.
struct Panel
{
    std::array<double, 3> origin, u, v, push, normal;
    int nu = 1, nv = 1;
};

std::pair<C3dShape, C3dShape> PanelShapes(const std::string& name, const std::vector<Panel>& panels,
                                          int texture, int damagedTexture)
{
    C3dShape rest, damaged;
    rest.name = name;
    damaged.name = name + "D";
    const C3dRgba white{255, 255, 255, 255};
    for (const Panel& p : panels)
    {
        const auto first = static_cast<uint16_t>(rest.vertices.size());
        for (int j = 0; j <= p.nv; ++j)
            for (int i = 0; i <= p.nu; ++i)
            {
                const double s = static_cast<double>(i) / p.nu, t = static_cast<double>(j) / p.nv;
                const bool edge = i == 0 || j == 0 || i == p.nu || j == p.nv;
                const double k = edge ? 0.5 : 1.0;
                C3dVertex a;
                a.x = p.origin[0] + s * p.u[0] + t * p.v[0];
                a.y = p.origin[1] + s * p.u[1] + t * p.v[1];
                a.z = p.origin[2] + s * p.u[2] + t * p.v[2];
                a.u = s;
                a.v = t;
                a.nx = p.normal[0];
                a.ny = p.normal[1];
                a.nz = p.normal[2];
                rest.vertices.push_back(a);
                C3dVertex b = a;
                b.x += k * p.push[0];
                b.y += k * p.push[1];
                b.z += k * p.push[2];
                b.u = s / 2 + 0.5;
                damaged.vertices.push_back(b);
            }
        const int row = p.nu + 1;
        for (int j = 0; j < p.nv; ++j)
            for (int i = 0; i < p.nu; ++i)
            {
                const auto c = static_cast<uint16_t>(first + j * row + i);
                const auto r = static_cast<uint16_t>(row);
                rest.faces.push_back(Face(c, static_cast<uint16_t>(c + 1),
                                          static_cast<uint16_t>(c + r + 1), texture, white));
                rest.faces.push_back(Face(c, static_cast<uint16_t>(c + r + 1),
                                          static_cast<uint16_t>(c + r), texture, white));
            }
    }
    damaged.faces = rest.faces;
    for (C3dFace& face : damaged.faces)
        face.texture = damagedTexture;
    return {rest, damaged};
}

// The six faces of a box of half sizes h around the centre, each of n x n cells, pushed in.
std::vector<Panel> Hull(std::array<double, 3> h, int n, double push)
{
    std::vector<Panel> faces;
    for (int a = 0; a < 3; ++a)
        for (int sign : {1, -1})
        {
            // The face across axis a, spanned by the other two.
            const int b = (a + 1) % 3, c = (a + 2) % 3;
            Panel p;
            p.origin = {0, 0, 0};
            p.origin[a] = sign * h[a];
            p.origin[b] = -h[b];
            p.origin[c] = -h[c];
            p.u = {0, 0, 0};
            p.u[b] = 2 * h[b];
            p.v = {0, 0, 0};
            p.v[c] = 2 * h[c];
            p.push = {0, 0, 0};
            p.push[a] = -sign * push;
            p.normal = {0, 0, 0};
            p.normal[a] = sign;
            p.nu = p.nv = n;
            faces.push_back(p);
        }
    return faces;
}

// The parts by number, in the car's frame: where each panel lies and which way it is dented.
std::vector<std::vector<Panel>> CarPanels(C3dCarParts parts)
{
    using V = std::array<double, 3>;
    const auto panel = [](V origin, V u, V v, V push, V normal, int nu, int nv) {
        return std::vector<Panel>{Panel{origin, u, v, push, normal, nu, nv}};
    };
    const V up = {0, 1, 0}, down = {0, -1, 0}, front = {1, 0, 0}, back = {-1, 0, 0};
    const V sideA = {0, 0, 1}, sideB = {0, 0, -1};
    if (parts == C3dCarParts::Medium)
        return {
            panel({-1.0, 0.68, -0.7}, {2.0, 0, 0}, {0, 0, 1.4}, {0, -0.25, 0}, up, 1, 1),
            panel({2.12, 0.0, -0.85}, {0, 0, 1.7}, {0, 0.2, 0}, {-0.1, 0, 0}, front, 1, 1),
            panel({1.2, 0.4, -0.7}, {0.9, 0, 0}, {0, 0, 1.4}, {0, -0.2, 0}, up, 1, 1),
            panel({1.2, -0.5, 0.9}, {0.9, 0, 0}, {0, 0.8, 0}, {0, 0, -0.25}, sideA, 1, 1),
            panel({-2.1, -0.5, 0.9}, {0.9, 0, 0}, {0, 0.8, 0}, {0, 0, -0.25}, sideA, 1, 1),
            panel({-1.2, -0.5, 0.9}, {2.4, 0, 0}, {0, 1.0, 0}, {0, 0, -0.3}, sideA, 1, 1),
            panel({-1.2, -0.5, -0.9}, {2.4, 0, 0}, {0, 1.0, 0}, {0, 0, 0.3}, sideB, 1, 1),
            panel({2.1, -0.5, -0.6}, {0, 0, 1.2}, {0, 0.8, 0}, {-0.3, 0, 0}, front, 1, 1),
            panel({-2.1, -0.5, 0.6}, {0, 0, -1.2}, {0, 0.8, 0}, {0.3, 0, 0}, back, 1, 1),
        };
    return {
        panel({-1.0, 0.68, -0.7}, {2.0, 0, 0}, {0, 0, 1.4}, {0, -0.25, 0}, up, 2, 2),
        panel({-1.2, -0.5, 0.9}, {2.4, 0, 0}, {0, 1.0, 0}, {0, 0, -0.3}, sideA, 3, 2),
        panel({-1.2, -0.5, -0.9}, {2.4, 0, 0}, {0, 1.0, 0}, {0, 0, 0.3}, sideB, 3, 2),
        panel({0.0, -0.68, -0.6}, {1.2, 0, 0}, {0, 0, 1.2}, {0, 0.25, 0}, down, 2, 2),
        panel({1.2, -0.5, 0.9}, {0.9, 0, 0}, {0, 0.8, 0}, {0, 0, -0.25}, sideA, 2, 1),
        panel({-2.1, -0.5, -0.9}, {0.9, 0, 0}, {0, 0.8, 0}, {0, 0, 0.25}, sideB, 2, 1),
        panel({-1.2, -0.68, -0.6}, {1.2, 0, 0}, {0, 0, 1.2}, {0, 0.25, 0}, down, 2, 2),
        panel({2.1, -0.5, -0.6}, {0, 0, 1.2}, {0, 0.8, 0}, {-0.3, 0, 0}, front, 2, 2),
        panel({2.12, 0.0, 0.6}, {0, 0, 0.25}, {0, 0.2, 0}, {-0.1, 0, 0}, front, 1, 1),
        panel({2.12, 0.0, -0.85}, {0, 0, 0.25}, {0, 0.2, 0}, {-0.1, 0, 0}, front, 1, 1),
        panel({-2.1, -0.5, 0.6}, {0, 0, -1.2}, {0, 0.8, 0}, {0.3, 0, 0}, back, 2, 2),
    };
}

C3dScene C3dCar(C3dCarParts parts)
{
    C3dScene scene;
    scene.textures = {Texture("CARBODY", {200, 30, 30, 255}), Texture("TYRE", {20, 20, 20, 255})};
    // In the car's frame: x forward, y up, z to the side, as the parts below, the reflection
    // shell, the mechanics' corners and the wheels' spin and steering take it.
    C3dShape high = Box("BODYHI", 2.2, 0.6, 1.0, 0);
    // A roof line: the top face split, so the detailed level has more vertices. Textured as
    // the rest: the car's vertices are pre-lit, which leaves an untextured face's corners black.
    high.vertices.push_back(C3dVertexAt(0.0, 1.5, 0.0, 0.5, 0.5));
    high.faces.push_back(Face(2, 3, 8, 0, {255, 255, 255, 255}));
    scene.shapes = {high, Box("BODYLO", 2.2, 0.6, 1.0, 0), Box("WHEEL", 0.35, 0.35, 0.15, 1)};
    scene.objects.push_back(C3dPlaced(-1, {0, 1}, C3dIdentity(), 1));
    // The body's first child stays at its origin: the stage loader hangs the reflection shell
    // below it (a wheel there would carry the shell off the body and spin it).
    scene.objects.push_back(C3dPlaced(0, {}, C3dIdentity(), 0));
    // Wheels 1 and 2 on the front axle, 1 and 3 on the +z side, as the mechanics' corners.
    const double corners[4][2] = {{1.4, 1.0}, {1.4, -1.0}, {-1.4, 1.0}, {-1.4, -1.0}};
    for (int w = 0; w < 4; ++w)
        scene.objects.push_back(C3dPlaced(0, {2}, C3dTranslation(corners[w][0], 0.0, corners[w][1]),
                                          static_cast<uint32_t>(1 + w)));
    scene.objects.push_back(C3dPlaced(0, {}, C3dTranslation(0.2, 1.1, 0.4), 7));
    if (parts != C3dCarParts::None)
    {
        // Under the body: the parts by number, then the main body, which takes the next.
        const int panel = static_cast<int>(scene.textures.size());
        scene.textures.push_back(Texture("PANEL", {200, 200, 40, 255}));
        scene.textures.push_back(Texture("PANELDMG", {90, 70, 40, 255}));
        std::vector<std::vector<Panel>> panels = CarPanels(parts);
        panels.push_back(Hull({2.15, 0.7, 0.92}, parts == C3dCarParts::Medium ? 1 : 2, 0.15));
        for (size_t k = 0; k < panels.size(); ++k)
        {
            const bool main = k + 1 == panels.size();
            const auto [rest, damaged] = PanelShapes(main ? "SHELL" : "PART" + std::to_string(k),
                                                     panels[k], panel, panel + 1);
            const int at = static_cast<int>(scene.shapes.size());
            scene.shapes.push_back(rest);
            scene.shapes.push_back(damaged);
            scene.objects.push_back(C3dPlaced(0, {at, at + 1, at}, C3dIdentity(),
                                              main ? 111u : static_cast<uint32_t>(6 + k)));
        }
    }
    // Beside the body under the caller's actor: the sway pivot and the reflection shell.
    scene.objects.push_back(C3dPlaced(-1, {}, C3dTranslation(0.0, 0.3, 0.0), 5));
    if (parts == C3dCarParts::None)
        scene.objects.push_back(C3dPlaced(-1, {1}, C3dIdentity(), 111));
    // A car is always drawn: when two players share the screen, only such objects are.
    for (C3dObject& object : scene.objects)
        object.alwaysDraw = 1;
    return scene;
}

} // namespace datakit
