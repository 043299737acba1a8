// A library of generated test grounds, each a height-data mesh with its trigger lines, for the
// car tests, the fuzz targets' seeds and the `ground` command. Every ground is a road 40.0
// wide and 200.0 long (x from -20 to 20, z from 0 to 200; y up) with the same lines:
//
//   walls along both edges (x = -18 and x = +18) in segments of 20.0: on the left, facing +x,
//     types 2, 12 to 20 from z = 0 on; on the right, facing -x, types 22, 20 down to 12, every
//     other one two-sided (the first included)
//   lines across the road from x = -18 to +18, facing a car that drives towards +z: a timed
//     event (21) at z = 10; camera sets 7 to 11 at z = 20, 60, 100, 140, 180; pace notes (0,
//     calls 101, 102, 103) at z = 30, 90, 150; split markers (1, cat's eyes 0, 1, 2) at
//     z = 50, 110, 170; the finish (6) at z = 190
//
// each spanning the ground's heights along it from 2.0 below to 4.0 above, and stored once per
// track block it crosses on a grid of 32.0 blocks, 2 columns (centres x = -16, 16) and 7 rows
// (centres z = 208 down to 16).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tools/datakit/c3d_writer.h"
#include "tools/datakit/height_writer.h"
#include "tools/datakit/lines_writer.h"
#include "tools/datakit/moving_objects_writer.h"

namespace datakit
{

// A regular piece of ground: heights at the nodes of the grid lines xs x zs (increasing), each
// cell split along its diagonal from (low x, low z) to (high x, high z); a triangle takes the
// surface at its centroid.
struct GroundPatch
{
    std::vector<double> xs;
    std::vector<double> zs;
    std::function<double(double x, double z)> height;
    std::function<uint8_t(double x, double z)> surface;
};

// A single triangle beside the patches (the vertical one).
struct GroundFacet
{
    HeightVertex a, b, c;
    uint8_t surface;
};

struct Ground
{
    std::string name;
    std::string description;
    std::vector<GroundPatch> patches;
    std::vector<GroundFacet> facets;
    std::vector<TriggerLine> lines;
    BlockGrid blocks;
    double featureZ = 100.0; // where along the road its feature lies
};

// What a ground is under a point, as the generator defines it: among the patches over the
// point, the triangle whose mean height is nearest the reference height; its plane's height
// there (node heights as the file stores them) and its surface. The facets are left out.
struct GroundPoint
{
    bool found = false;
    double height = 0.0;
    uint8_t surface = 0;
};

// "flat-tarmac", "tilted-plane", "bumpy-gravel", "crest", "side-ramp", "bridge",
// "snow-water-sea", "vertical-triangle".
std::vector<std::string> GroundNames();
// Throws Error for a name not in the list.
Ground MakeGround(const std::string& name);

HeightMesh GroundMesh(const Ground& ground);
GroundPoint GroundSurface(const Ground& ground, double x, double z, double reference);

// The triangles of the mesh whose corners all lie in the window, with their vertices alone.
HeightMesh CropMesh(const HeightMesh& mesh, double minX, double maxX, double minZ, double maxZ);

// The objects every ground carries along its road, standing on the ground:
//
//   NAME.obj  (DK3D, load kind 2) one actor a box, under the caller's actor: static boxes,
//             knockable boxes and cones, and the scripted objects' actors. An actor's
//             attribute word holds its id (bits 0-11, 200 on), its movable kind (bits 16-17:
//             0 static, 1 knockable, 2 knockable and weighted 5.0), its material kind (bits
//             18-23), bit 29 set on a solid static object and clear on a soft one, and on a
//             knockable object its flags in the top byte (bits 24-25 the mass class); the
//             always-draw byte allows the object's collisions in two-player games and the
//             minimum-detail byte hides it below that object detail.
//   NAME.moj  the scripted objects, one of each type (circle clockwise and anticlockwise, to a
//             target, out and back, spin only), each starting exactly at its actor's x and z.
struct GroundObject
{
    double x, z;               // on the ground there
    double hx, hy, hz;         // half-extents
    int movable = 0;           // 0 static, 1 or 2 knockable
    int material = 0;          // 0..63
    bool soft = false;         // a static object the car drives through
    int massClass = 0;         // knockable objects
    bool twoPlayer = true;     // collides in two-player games
    int minimumDetail = 0;
};
std::vector<GroundObject> GroundObjects(void);
uint32_t GroundObjectAttribute(const GroundObject& object, int index);
C3dScene GroundObjectScene(const Ground& ground);
std::vector<MovingObject> GroundScriptedObjects(const Ground& ground);

// What WriteGround wrote.
struct GroundFiles
{
    std::filesystem::path heights; // DIR/NAME.hpc
    std::filesystem::path lines;   // DIR/NAME.dat
    std::filesystem::path objects; // DIR/NAME.obj
    std::filesystem::path scripted; // DIR/NAME.moj
    size_t triangles = 0;
    HeightGridStats grid;
    size_t records = 0;
};

// Writes DIR/NAME.hpc, DIR/NAME.dat, DIR/NAME.obj and DIR/NAME.moj (DIR is created when
// missing).
GroundFiles WriteGround(const Ground& ground, const std::filesystem::path& dir,
                        const HeightGridOptions& options = {});

// Seeds for the height-data and lines fuzz targets: small crops of every ground around its
// feature at two grid depths, the grounds' trigger files and an older combined lines file,
// under ROOT/fuzz_heightdata and ROOT/fuzz_lines.
void WriteGroundSeeds(const std::filesystem::path& root);

} // namespace datakit
