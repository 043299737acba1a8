// The demo stage as the scene frame draws it, for the stage viewer, the scene frame's tests and
// its benchmark: a headless display with its 3D device set up as a stage start leaves it, the
// data kit's demo stage written to disc and loaded through the file layer and the DK3D reader,
// a car on the road with a camera behind it, and each frame's queued extras (dust as 3D
// bitmaps, the car's shadow, tyre marks and a decal as triangles, debug lines, a dashboard of
// polygon blits and 2D triangles).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/include/dk_types.h"
#include "engine/pc/display/dk_surf.h"

struct DK_ACTOR;
struct DK_TEXTURE;

namespace stage
{

struct DisplayOptions
{
    int width = 640;
    int height = 480;
    int bits = 16; // 8 gives the software (ramp) device
    int hardwareType = 0;
    // Raster threads of the device (DEZOR_RASTER_THREADS while it is made); 0 leaves the
    // variable as it is.
    int threads = 0;
};

// Opens the game window and the display (after WriteData: the shadows take their images
// from the disc root); false, with the reason in `problem`, when the
// display or its 3D device could not be made. The heaps are the game's sizes.
bool OpenDisplay(const DisplayOptions& options, std::string* problem);
// What OpenDisplay does before it sets the display up: the display modes of the options, the
// hardware type, the heaps, the trigonometric tables and the window. The game's own display
// set-up may follow.
bool PrepareDisplay(const DisplayOptions& options, std::string* problem);
// Tears the display and everything on the heaps down.
void CloseDisplay();

// Writes the shadow images and the demo stage under `dataDir` (its images\ and
// stages\demo\) and makes it the disc root.
void WriteData(const std::string& dataDir);

struct Stage
{
    DK_ACTOR* pWorld = nullptr;
    DK_ACTOR* pCamera = nullptr;
    DK_ACTOR* pSecondCamera = nullptr; // the other player's, for split screen
    DK_ACTOR* pCarRoot = nullptr;      // on the track blocks
    DK_ACTOR* pCar = nullptr;          // the body, a child of the root
    DK_ACTOR* pHorizon = nullptr;
    DK_TEXTURE* pPuff = nullptr;
    DK_TEXTURE* pPanel = nullptr;
    double carZ = 0.0;
    int frame = 0;
    // Where the frame is drawn: the whole display unless changed after LoadStage.
    DK_RECT area{};
    // The views' rectangles, kept here as the game keeps its own: the whole area, its top and
    // bottom halves.
    DK_RECT views[3]{};
};

// Loads the demo stage from the disc root by day (track load kind 0, fog) or by night (kind
// 1, a car light, dark fog), with the car; false (with `problem`) when a file does not load.
bool LoadStage(bool night, Stage* pStage, std::string* problem);

// The car at z along the road, the cameras behind it (the second higher and further back) and
// the sky around the first; animated textures step once.
void MoveAlongRoad(Stage& s, double z);
// Queues what game code queues during a tick (the dashboard in the area's corners). With
// boSurfaceBlit the dashboard's badge is a 2D blit to the back surface in the middle of the
// overlays.
void QueueExtras(Stage& s, bool boSurfaceBlit = false);

// One frame as the race display draws it: per view the clears, the overlay switch (on for the
// last view) and DkRender3D. Two views split the area top and bottom, in passes 0 and 1.
void DrawFrame(Stage& s, bool boSplitScreen = false);
// A free-standing actor tree as the front end's scenes draw it: depth cleared, then
// DkRender3DActorTree.
void DrawActorTree(DK_ACTOR* pRoot, DK_ACTOR* pCamera, const DK_RECT& rect);

// The demo's car (the data kit's), loaded under pParent with the DK3D load kind given; its body.
DK_ACTOR* LoadCar(DK_ACTOR* pParent, int nKind);
// The actor's local matrix: placed at the eye, its Z axis looking at the target, its X axis
// level.
void Look(DK_ACTOR* pActor, double ex, double ey, double ez, double tx, double ty, double tz);

// The back surface as RGB rows (through the palette in 8 bits), and the depth surface's
// words.
std::vector<uint8_t> BackRgb();
std::vector<uint16_t> DepthWords();
// Writes the back surface as a PNG file; false when it cannot.
bool SavePng(const std::string& path);

// The device's count of triangles drawn so far.
uint32_t TrianglesDrawn();

} // namespace stage
