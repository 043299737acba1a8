// DK3D scene and model files (".c3d"): every piece of 3D geometry the game draws.
//
// Layout, little-endian: a 32-byte header ("DK3D", version 100, a reserved word, the object,
// shape and texture counts as 16-bit words, two bytes of padding, then the file offsets of the
// first object, shape and texture record), then the texture records, the shape records and the
// object records, each kind one after another.
// - Texture: a 12-byte name, the data's length L, then L bytes: a BMP or TIM image, or an
//   animated texture ('A', 3 unused bytes, the frame count, 3 unused bytes, then per frame a
//   16-bit index into the file's texture list, a delay in ticks and an unused byte).
// - Shape: a 12-byte name, the record's length, the vertex and face counts (16 bits each), a
//   flags byte and 3 unused bytes, a scale vector and a second vector (3 x 16.16 each), the
//   vertices (x, y, z, u, v, normal x, y, z, all 16.16) and the faces (an unused word, three
//   vertex indices, a texture index or -1, three corner colours red, green, blue, alpha, a
//   surface code).
// - Object: the record's length, the parent (-1: the caller's actor, else the index of an
//   earlier actor of the file), 2 bytes of padding, a 4x4 16.16 matrix (X, Y, Z axes, then the
//   translation), a flags word, the level count, the always-draw and minimum-detail bytes, a
//   padding byte, and a 16-bit shape index a level (0xFFFF: none).
//
// The reader turns a stored u above 1.0 into u - 1.0 and every v into v + 1.0; the writer
// takes the coordinates meant to be drawn and stores what gives them back.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/datakit/file_io.h" // Error

namespace datakit
{

inline constexpr int kC3dVersion = 100;
inline constexpr size_t kC3dNameLength = 12;
inline constexpr size_t kC3dMaxShapes = 2048;
inline constexpr size_t kC3dMaxLevels = 4;
inline constexpr size_t kC3dMaxFrames = 16;
inline constexpr size_t kC3dMaxShapeVertices = 1024;
inline constexpr size_t kC3dMaxTrackBlocks = 4096;
inline constexpr uint16_t kC3dNoShape = 0xFFFF;

struct C3dRgba
{
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;
};

struct C3dVertex
{
    double x = 0, y = 0, z = 0;
    double u = 0, v = 0; // as drawn
    double nx = 0, ny = 1, nz = 0;
};

C3dVertex C3dVertexAt(double x, double y, double z, double u = 0, double v = 0);

struct C3dFace
{
    std::array<uint16_t, 3> vertices{};
    int texture = -1; // index into the file's textures, -1: flat colour
    std::array<C3dRgba, 3> colours{};
    uint16_t surface = 0;
};

struct C3dShape
{
    std::string name;
    uint8_t flags = 0;
    std::array<double, 3> scale{1, 1, 1}; // (-1, -1, -1): world-space vertices
    std::array<double, 3> second{0, 0, 0};
    std::vector<C3dVertex> vertices;
    std::vector<C3dFace> faces;
};

struct C3dFrame
{
    uint16_t texture = 0; // an earlier texture of the file
    uint8_t delay = 1;
};

// An image (BMP or TIM bytes), or an animated texture when `frames` is not empty.
struct C3dTexture
{
    std::string name;
    std::vector<uint8_t> image;
    std::vector<C3dFrame> frames;
};

using C3dMatrix = std::array<std::array<double, 4>, 4>;
C3dMatrix C3dIdentity();
C3dMatrix C3dTranslation(double x, double y, double z);

struct C3dObject
{
    int parent = -1;
    C3dMatrix matrix = C3dIdentity();
    uint32_t flags = 0;
    std::vector<int> shapes; // one a detail level, most detailed first; -1: none at that level
    uint8_t alwaysDraw = 0;
    uint8_t minimumDetail = 0;
};

// An object under `parent` with a shape a level, placed by `matrix`.
C3dObject C3dPlaced(int parent, std::vector<int> shapes, const C3dMatrix& matrix = C3dIdentity(),
                    uint32_t flags = 0);

struct C3dScene
{
    std::vector<C3dTexture> textures;
    std::vector<C3dShape> shapes;
    std::vector<C3dObject> objects;
};

// Offsets of the records in a written file, for tools and tests that look inside it.
struct C3dLayout
{
    std::vector<uint32_t> textures;
    std::vector<uint32_t> shapes;
    std::vector<uint32_t> objects;
};

// The file's bytes; throws Error for a scene the format cannot hold (names longer than 12
// characters or empty, more than 2,048 shapes, 4 levels, 1,024 vertices a shape or 16 frames,
// no frames where a texture is animated, an index beyond its table, a frame of a later texture,
// a parent that is no earlier actor, a number beyond 16.16).
std::vector<uint8_t> FormatC3d(const C3dScene& scene, C3dLayout* layout = nullptr);

// A solid 8-bit BMP of w x h in one colour, with a lighter diagonal so images differ by name;
// its first palette entry, on which the engine keys textures, is black and unused.
std::vector<uint8_t> C3dSolidBmp(int width, int height, C3dRgba colour);

// Generated scenes for the tests, the fuzz seeds and the demo stage.
// A track of columns x rows square blocks of `cell` units, row-major with rows in falling z, as
// the track-block grid expects: a root object without geometry, then one object a block whose
// matrix places it and whose shape is two triangles, "ROAD" down the middle column and "GRASS"
// elsewhere; `animatedSign` adds a two-frame animated texture on the first block.
struct C3dGridOptions
{
    int columns = 3;
    int rows = 3;
    double cell = 16.0;
    bool animatedSign = false;
};
C3dScene C3dBlockGrid(const C3dGridOptions& options);

// A box shape 2hx wide, 2hy high (its base at y = 0) and 2hz deep, every face in the texture
// (or a flat colour for -1).
C3dShape C3dBox(const std::string& name, double hx, double hy, double hz, int texture);
// Scenery: `fixed` fixed models (each a dummy placing it, then a box), then actors: a signpost
// (the first parent -1 object) with a board and a light as its children, and `posts` posts.
C3dScene C3dScenery(int fixed, int posts);

// The damageable parts a car's body may carry.
enum class C3dCarParts
{
    None,
    Full,   // the full-detail car's parts 0 to 10
    Medium, // the medium-detail car's parts 0 to 8, coarser
};

// A car as the game binds it: a body of two detail levels under the caller's actor, four wheels
// (ids 1 to 4) sharing one shape under it and a dummy for the driver's head (id 7); beside the
// body, under the caller's actor, a dummy with id 5, and without parts a reflection shell with
// id 111.
//
// With parts (the full-detail car's unless asked otherwise), the body also carries them (attribute
// 6 + part number) and, as the reflection shell, a main body (id 111, at most 100 vertices) instead
// of the shell beside it. Each has the levels the damage model reads: the rest shape with the
// "PANEL" texture, the damaged shape pushed in with the "PANELDMG" texture and other texture
// coordinates, and the rest shape again. Their vertices are in the car's frame: x forward, y up, z
// to the side, around the centre.
C3dScene C3dCar(C3dCarParts parts = C3dCarParts::Full);

} // namespace datakit
