// The demo stage: a generated rally stage for the demo installation, the stage viewer, the
// scene frame's tests and its benchmark. A gravel road 9.0 wide runs up a centre line with
// bends and a rise, from z = 16 to z = 1,264, through a grid of 13 x 40 track blocks of 32.0
// (x from 0 to 416, z from 0 to 1,280), between grass verges that bank up into hills.
//
//   NAME.c3d   the track (DK3D, load kind 0 by day, 1 by night): a root, then one block a
//              grid cell, row-major with rows in falling z; each block's mesh is world-space,
//              "GRASS" first and "ROAD" after it, its columns bent to the road's edges so the
//              road has straight sides; a few blocks carry a board of the animated "SIGN"
//   NAME.obj   the scenery (kind 2): hay bales as fixed models, then actors: a signpost with
//              its board and arrow as child parts, marker posts along both edges (two detail
//              levels), trees as four-vertex camera-facing sprites; and the textures the
//              frame's extras use: "PUFF" (3D bitmaps) and "PANEL" (overlays)
//   NAME.sht   the shadow casters (kind 3): world-space dark discs under the trees near the road
//   NAME.hzn   the sky (kind 4): a ring of sky and distant hills around its actor
//   NAME.hpc   height data: the track's triangles, road gravel (10) and grass (20)
//   NAME.dat   trigger lines on the same block grid: walls along both edges, a timed event,
//              pace notes at the bends, three splits, track-camera sets and the finish
//
// Faces carry their corner colours (baked light), which the engine takes with its
// vertex-colour option on.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/c3d_writer.h"
#include "tools/datakit/height_writer.h"
#include "tools/datakit/lines_writer.h"

namespace datakit
{

inline constexpr const char* kDemoStageName = "demo";
inline constexpr int kDemoStageColumns = 13;
inline constexpr int kDemoStageRows = 40;
inline constexpr double kDemoStageCell = 32.0;
inline constexpr double kDemoRoadHalfWidth = 4.5;
// The road runs from here to kDemoRoadEnd along z.
inline constexpr double kDemoRoadStart = 16.0;
inline constexpr double kDemoRoadEnd = 1264.0;
// Where the split lines and the finish line cross the road.
inline constexpr double kDemoSplitZ[3] = {330.0, 650.0, 970.0};
inline constexpr double kDemoFinishZ = 1230.0;
// Surface ids of the height data and the track's faces.
inline constexpr uint16_t kDemoRoadSurface = 10; // grey gravel
inline constexpr uint16_t kDemoGrassSurface = 20;

// The road's centre at z: its point and its unit heading along the ground.
struct StagePoint
{
    double x, y, z;
    double dx, dz;
};
StagePoint DemoCentreLine(double z);
// The ground's height at (x, z): the road's height across the road, banking up beyond it.
double DemoGroundHeight(double x, double z);

struct DemoStage
{
    BlockGrid blocks;
    C3dScene track;
    C3dScene scenery;
    C3dScene shadows;
    C3dScene horizon;
    HeightMesh ground;
    std::vector<TriggerLine> lines;
};
DemoStage MakeDemoStage();

// The demo's car, for the viewer, the scene frame's tests and its benchmark (not a stage
// file): a body on four wheels (ids 1 to 4) and, beside it, the cabin's glass (id 111).
C3dScene DemoCar();

// What WriteDemoStage wrote: DIR/NAME.c3d, .obj, .sht, .hzn, .hpc and .dat.
struct DemoStageFiles
{
    std::filesystem::path track, scenery, shadows, horizon, heights, lines;
    std::vector<std::filesystem::path> All() const
    {
        return {track, scenery, shadows, horizon, heights, lines};
    }
};
// DIR is created when missing; throws Error when a file cannot be written.
DemoStageFiles WriteDemoStage(const std::filesystem::path& dir,
                              const std::string& name = kDemoStageName);

} // namespace datakit
