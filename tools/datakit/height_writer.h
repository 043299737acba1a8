// Height data files (".hpc"): a stage's drivable ground as a triangle soup under a grid of
// square cells, little-endian:
//
//   bytes 0-7     origin x and z, signed 32-bit 16.16: the grid's low corner
//   bytes 8-17    node counts of levels 0 to 4, signed 16-bit
//   bytes 18-     the node tables, level 0 first, 8 bytes a node: a signed 16-bit triangle
//                 count (-1: split into 16 children), 2 bytes of 0, a signed 32-bit index (the
//                 first child in the next level's table, children in rows of four with x
//                 fastest; or the node's first entry in the index list)
//   then          vertex count (unsigned 16-bit, then 2 bytes of 0); vertices: x, y, z 16.16
//   then          triangle count (likewise); triangles: three unsigned 16-bit vertex numbers,
//                 unsigned 16-bit surface id (0 to 119)
//   then          index-list length (signed 32-bit); the list: unsigned 16-bit triangle numbers
//   then          level-0 cells along x and along z, signed 16-bit each
//
// Level-0 cells are 256.0 units square and each level splits a cell into 4 x 4, down to
// cells of 1.0 at level 4. A cell lists every triangle that covers any point of it (its low
// edges included, its high edges belonging to the next cells), and is split while it lists
// more than a few. Triangles run clockwise seen from above (x to the right, z up the page).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "tools/datakit/file_io.h" // Error

namespace datakit
{

inline constexpr int kHeightLevels = 5;
inline constexpr int kHeightSurfaces = 120;

// World units (1.0 = 65,536 in the file); values are rounded to the nearest 1/65,536.
struct HeightVertex
{
    double x;
    double y;
    double z;
};

struct HeightTriangle
{
    std::array<uint32_t, 3> vertices;
    uint8_t surface;
};

struct HeightMesh
{
    std::vector<HeightVertex> vertices;
    std::vector<HeightTriangle> triangles;
};

struct HeightGridOptions
{
    // The deepest level a cell may be split down to, 0 to 4.
    int maxLevel = 4;
    // A cell listing more triangles than this is split (while above maxLevel).
    size_t leafLimit = 6;
};

// What the grid came to, for the tests.
struct HeightGridStats
{
    int32_t originX = 0; // 16.16
    int32_t originZ = 0;
    int boxesX = 0;
    int boxesZ = 0;
    std::array<int, kHeightLevels> nodes{};
    size_t indexEntries = 0;
};

// The file's bytes. Throws Error for what the file cannot hold: no triangles, more than 65,535
// vertices or triangles, a vertex number out of range, a surface id above 119, a coordinate
// beyond +-32,767.0, an edge longer than 181.0 (whose 16.16 squares the reader's sums cannot
// hold), or more than 32,767 cells on a level.
std::vector<uint8_t> FormatHeightData(const HeightMesh& mesh, const HeightGridOptions& options = {},
                                      HeightGridStats* stats = nullptr);

void WriteHeightData(const std::filesystem::path& path, const HeightMesh& mesh,
                     const HeightGridOptions& options = {});

} // namespace datakit
