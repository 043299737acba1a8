#include "tools/bench/stage_frame.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/matrixop.h"
#include "engine/include/dk_entries.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_3dbmp.h"
#include "engine/pc/3d/dk_anim.h"
#include "engine/pc/3d/dk_fog.h"
#include "engine/pc/3d/dk_light.h"
#include "engine/pc/3d/dk_line.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/3d/dk_shad.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/3d/dk_tri.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_2dtri.h"
#include "engine/pc/display/dk_dvice.h"
#include "engine/pc/display/dk_pblit.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_internal.h"
#include "platform/png/png.h"
#include "platform/win/win.h"
#include "tools/datakit/c3d_writer.h"
#include "tools/datakit/image_writer.h"
#include "tools/datakit/install.h"
#include "tools/datakit/stage_writer.h"

namespace stage
{

namespace
{

namespace fs = std::filesystem;

// The game's heap sizes.
constexpr uint32_t kMainHeap = 15204352;
constexpr uint32_t kTemporaryHeap = 3145728;
constexpr const char* kStageBase = "stages\\demo\\demo";
// The car light reaches this far (16.16), and stands that far less 1.0 ahead of the car.
constexpr int32_t kCarLightRadius = 28 << 16;

int32_t Fixed(double v)
{
    return static_cast<int32_t>(std::lround(v * 65536.0));
}

DK_VECTOR FixedVector(double x, double y, double z)
{
    return {Fixed(x), Fixed(y), Fixed(z)};
}

int OneCar(void)
{
    return 1;
}

const uint8_t kWhite[4] = {255, 255, 255, 255};

// Loads a DK3D file of the stage through the file layer and the reader.
DK_ACTOR* LoadC3d(const std::string& name, int nKind, DK_ACTOR* pParent, BOOL boKeyed,
                  std::string* problem)
{
    void* pImage = DkMallocLoadFile(name.c_str(), DKLF_CD);
    if (pImage == nullptr)
    {
        *problem = "cannot load " + name;
        return nullptr;
    }
    DK_ACTOR* pFirst = DkProcessC3dObject(pImage, DkGetLastFileSize(), nKind, pParent, boKeyed, 2);
    if (pFirst == nullptr && nKind != DK3D_TRACK && nKind != DK3D_NIGHT_TRACK)
        *problem = "the reader made nothing of " + name;
    return pFirst;
}

} // namespace

void Look(DK_ACTOR* pActor, double ex, double ey, double ez, double tx, double ty, double tz)
{
    double f[3] = {tx - ex, ty - ey, tz - ez};
    const double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (double& c : f)
        c /= fl;
    double r[3] = {f[2], 0.0, -f[0]};
    const double rl = std::sqrt(r[0] * r[0] + r[2] * r[2]);
    r[0] /= rl;
    r[2] /= rl;
    const double u[3] = {f[1] * r[2] - f[2] * r[1], f[2] * r[0] - f[0] * r[2],
                         f[0] * r[1] - f[1] * r[0]};
    DK_MATRIX m;
    DkIdentityMatrix(&m);
    const double* rows[3] = {r, u, f};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k)
            m.m[i][k] = Fixed(rows[i][k]);
    m.m[3][0] = Fixed(ex);
    m.m[3][1] = Fixed(ey);
    m.m[3][2] = Fixed(ez);
    pActor->Local = m;
    DkMarkActorDirty(pActor);
}

DK_ACTOR* LoadCar(DK_ACTOR* pParent, int nKind)
{
    const std::vector<uint8_t> car = datakit::FormatC3d(datakit::DemoCar());
    return DkProcessC3dObject(car.data(), static_cast<uint32_t>(car.size()), nKind, pParent, TRUE,
                              2);
}

bool PrepareDisplay(const DisplayOptions& options, std::string* problem)
{
    if (std::getenv("SDL_VIDEODRIVER") == nullptr)
        setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (options.threads > 0)
        setenv("DEZOR_RASTER_THREADS", std::to_string(options.threads).c_str(), 1);
    const DdMode modes[] = {{static_cast<DWORD>(options.width), static_cast<DWORD>(options.height),
                             static_cast<DWORD>(options.bits)}};
    DdSetModesForTests(modes, 1, 0x7E0);
    D3dSetTextureFormatsForTests(nullptr, 0);
    DkForgetDisplayCapabilities();
    DkSetHardwareType(options.hardwareType);
    DkSetDisplayDevice(0);
    DkMarkDirectDrawForRelease();
    DkTempHeapInit(kTemporaryHeap);
    DkHeapInit(kMainHeap);
    DkInitialiseTrigTables();
    if (ghWnd == nullptr && !InitGameWindow(nullptr, &ghWnd, "Stage", DefWindowProcA))
    {
        *problem = "no window";
        return false;
    }
    return true;
}

bool OpenDisplay(const DisplayOptions& options, std::string* problem)
{
    if (!PrepareDisplay(options, problem))
        return false;
    DkInitialiseDisplay(nullptr, 0, "c:\\none.pal", options.bits == 8 ? DKID_8BIT : DKID_16BIT,
                        DKLF_AS_GIVEN);
    DkInit3D();
    if (d3d->lpD3DDevice2 == nullptr || d2d->nWidth != options.width ||
        d2d->nBitsPerPixel != options.bits)
    {
        *problem = "no display of the size asked for";
        return false;
    }
    DkInitialisePolyBlits();
    DkInitialise2DTriangles();
    DkInitialise3DBitmaps();
    DkInitialiseShadows();
    DkInitialiseTriangles();
    DkInitialiseLines();
    DkSetUse3DBitmaps(1);
    DkSetC3dLoadOption(1);
    DK_ENTRIES entries{};
    entries.GetNumMechCars = OneCar;
    DkRegisterEntries(&entries);
    return true;
}

void CloseDisplay()
{
    DkKillAllObjects();
    DkDestroyDisplay();
    DkCallAllDestructors();
    DdSetModesForTests(nullptr, 0, 0x7E0);
    DkForgetDisplayCapabilities();
    DkSetHardwareType(0);
    gpHorizonActor = nullptr;
    gpRenderCameraActor = nullptr;
    gpLastViewportRect = nullptr;
    gboTrackBlocksActive = FALSE;
    gnNumVisibleBlocks = 0;
    DkDisableFog();
    DkResetEntries();
}

void WriteData(const std::string& dataDir)
{
    const fs::path root = dataDir;
    fs::create_directories(root / "images");
    datakit::WriteImageFile(
        root / "images" / "shadpc.bmp",
        datakit::FormatBmp(datakit::ShadowColourImage(datakit::kShadowImageSize)));
    datakit::WriteImageFile(
        root / "images" / "shadam.bmp",
        datakit::FormatBmp(datakit::ShadowAlphaImage(datakit::kShadowImageSize)));
    datakit::WriteDemoStage(root / "stages" / datakit::kDemoStageName);
    DkSetCDPath(dataDir.c_str());
}

bool LoadStage(bool night, Stage* pStage, std::string* problem)
{
    Stage& s = *pStage;
    s = Stage{};
    s.area = {0, 0, static_cast<int16_t>(d2d->nWidth), static_cast<int16_t>(d2d->nHeight)};
    s.pWorld = DkCreateWorldActor();
    const std::string base = kStageBase;
    LoadC3d(base + ".c3d", night ? DK3D_NIGHT_TRACK : DK3D_TRACK, s.pWorld, FALSE, problem);
    if (guNumTrackBlocks == 0)
    {
        *problem = "the track made no blocks";
        return false;
    }
    if (LoadC3d(base + ".obj", DK3D_OBJECTS, s.pWorld, TRUE, problem) == nullptr ||
        LoadC3d(base + ".sht", DK3D_SHADOWS, s.pWorld, TRUE, problem) == nullptr)
        return false;
    s.pCarRoot = DkCreateActor(s.pWorld);
    s.pCar = LoadCar(s.pCarRoot, DK3D_CAR);
    if (s.pCar == nullptr)
    {
        *problem = "the car did not load";
        return false;
    }
    MoveAlongRoad(s, 40.0);
    DkUpdateActorTree(s.pWorld);
    DkInitialiseTrackBlocks();
    DkSetDrawAllTrackBlocks(0);

    // The sky and the cameras stay off the blocks.
    s.pHorizon = LoadC3d(base + ".hzn", DK3D_HORIZON, s.pWorld, TRUE, problem);
    if (s.pHorizon == nullptr)
        return false;
    gpHorizonActor = s.pHorizon;
    s.pCamera = DkCreateCamera(nullptr, nullptr, nullptr, s.pWorld);
    s.pSecondCamera = DkCreateCamera(nullptr, nullptr, nullptr, s.pWorld);
    s.pPuff = DkFindC3dTexture("PUFF");
    s.pPanel = DkFindC3dTexture("PANEL");
    DkStartAnimatedTexture("SIGN", DK_ANIM_LOOP);

    if (night)
    {
        // The light hangs on a frame turned so its X axis runs along the car.
        DK_ACTOR* pFrame = DkCreateActor(s.pCarRoot);
        DkIdentityMatrix(&pFrame->Local);
        pFrame->Local.m[0][0] = 0;
        pFrame->Local.m[0][2] = 1 << 16;
        pFrame->Local.m[2][0] = -(1 << 16);
        pFrame->Local.m[2][2] = 0;
        DkCreateCarLight(pFrame, kCarLightRadius, 0);
        DkSetFog(Fixed(25.0), Fixed(170.0), 0x0A0C18);
        DkSetHorizonFogDistance(Fixed(120.0));
    }
    else
    {
        // The haze the sky takes near its horizon, so far ground and trees fade into it.
        DkSetFog(Fixed(70.0), Fixed(245.0), 0xA5B4C3);
        DkSetHorizonFogDistance(Fixed(150.0));
    }
    DkSetFogDensity(1.0f);
    MoveAlongRoad(s, 40.0);
    return true;
}

void MoveAlongRoad(Stage& s, double z)
{
    s.carZ = z;
    const datakit::StagePoint car = datakit::DemoCentreLine(z);
    if (s.pCarRoot != nullptr)
    {
        // The car's Z axis runs up the road.
        Look(s.pCarRoot, car.x, car.y, z, car.x + car.dx, car.y, z + car.dz);
    }
    const datakit::StagePoint back = datakit::DemoCentreLine(z - 9.0);
    if (s.pCamera != nullptr)
        Look(s.pCamera, back.x, back.y + 3.2, back.z, car.x, car.y + 1.0, z);
    const datakit::StagePoint far = datakit::DemoCentreLine(z - 20.0);
    if (s.pSecondCamera != nullptr)
        Look(s.pSecondCamera, far.x + 6.0, far.y + 9.0, far.z, car.x, car.y, z + 10.0);
    // The view's blocks are chosen from the camera's world matrix before the tree's update, as
    // the race cameras leave it after each tick; the game's frame code files the car on the
    // block it has moved to.
    DkUpdateActorMatrix(s.pCarRoot);
    DkUpdateActorMatrix(s.pCamera);
    DkUpdateActorMatrix(s.pSecondCamera);
    if (s.pHorizon != nullptr)
    {
        s.pHorizon->Local.m[3][0] = Fixed(back.x);
        s.pHorizon->Local.m[3][1] = Fixed(back.y);
        s.pHorizon->Local.m[3][2] = Fixed(back.z);
        DkMarkActorDirty(s.pHorizon);
    }
    DkUpdateAnimatedTextures();
    DkShowAnimatedTextures();
}

void QueueExtras(Stage& s, bool boSurfaceBlit)
{
    ++s.frame;
    const datakit::StagePoint car = datakit::DemoCentreLine(s.carZ);
    const double sx = car.dz, sz = -car.dx; // across the road, to the right

    // Dust kicked up behind the wheels, drifting and growing.
    DK_3DBITMAP puffs[6] = {};
    for (int i = 0; i < 6; ++i)
    {
        const double back = 2.8 + 1.1 * i + 0.3 * ((s.frame + i) % 3);
        const double side = (i % 2 ? 1.2 : -1.2);
        const double r = 0.22 + 0.07 * i;
        puffs[i].Position = FixedVector(car.x - car.dx * back + sx * side, car.y + 0.3 + 0.12 * i,
                                        car.z - car.dz * back + sz * side);
        puffs[i].axExtent[0] = Fixed(-r);
        puffs[i].axExtent[1] = Fixed(-r);
        puffs[i].axExtent[3] = Fixed(r);
        puffs[i].axExtent[4] = Fixed(r);
        puffs[i].uColourA = static_cast<uint32_t>(170 - 22 * i);
        puffs[i].uColourB = 230;
        puffs[i].pNext = i + 1 < 6 ? &puffs[i + 1] : nullptr;
    }
    if (s.pPuff != nullptr)
    {
        DkDraw3DBitmap(&puffs[0], 3, s.pPuff, DK3DB_SCREEN_ALIGNED, 0);
        DkDraw3DBitmap(&puffs[3], 3, s.pPuff, DK3DB_SCREEN_ALIGNED | DK3DB_ADDITIVE, 1);
    }

    // The car's shadow on the road, a quad a little larger than the body, cast to the right.
    DK_SHADOW shadow{};
    const double corners[4][2] = {{-0.5, 2.4}, {2.1, 2.4}, {2.1, -2.8}, {-0.5, -2.8}};
    for (int k = 0; k < 4; ++k)
    {
        const double x = car.x + sx * corners[k][0] + car.dx * corners[k][1];
        const double z = car.z + sz * corners[k][0] + car.dz * corners[k][1];
        shadow.aPoints[k] = FixedVector(x, datakit::DemoGroundHeight(x, z) + 0.05, z);
    }
    shadow.nShape = DK_SHADOW_QUAD;
    DkDrawShadow(&shadow);

    // Tyre marks behind the wheels, and a plate on the car's tail.
    const uint8_t mark[4] = {40, 34, 28, 160};
    for (double side : {-0.9, 0.9})
        for (int k = 0; k < 3; ++k)
        {
            const double b0 = 3.0 + 2.0 * k, b1 = b0 + 1.8;
            auto at = [&](double back, double across)
            {
                const double x = car.x - car.dx * back + sx * across;
                const double z = car.z - car.dz * back + sz * across;
                return FixedVector(x, datakit::DemoGroundHeight(x, z) + 0.03, z);
            };
            const DK_VECTOR a = at(b0, side - 0.12), b = at(b0, side + 0.12),
                            c = at(b1, side + 0.12), d = at(b1, side - 0.12);
            // a, b across the mark's far end, c, d its near end: clockwise from above.
            DkDrawTriangle(&a, &b, &c, mark, mark, mark);
            DkDrawTriangle(&a, &c, &d, mark, mark, mark);
        }
    const uint8_t plate[4] = {250, 220, 40, 255};
    const DK_VECTOR p0 = FixedVector(-0.4, 0.15, -2.11), p1 = FixedVector(0.4, 0.15, -2.11),
                    p2 = FixedVector(0.0, 0.45, -2.11);
    DkDrawActorTriangle(s.pCar, &p0, &p2, &p1, plate, 0);

    // Debug lines along the walls beside the car.
    const uint8_t wall[4] = {255, 60, 200, 255};
    for (double side : {-1.0, 1.0})
    {
        const datakit::StagePoint a = datakit::DemoCentreLine(s.carZ - 4.0);
        const datakit::StagePoint b = datakit::DemoCentreLine(s.carZ + 14.0);
        const double w = side * (datakit::kDemoRoadHalfWidth + 2.0);
        const DK_VECTOR start = FixedVector(a.x + w * a.dz, a.y + 0.4, a.z - w * a.dx);
        const DK_VECTOR end = FixedVector(b.x + w * b.dz, b.y + 0.4, b.z - w * b.dx);
        DkDrawLine(&start, &end, wall, nullptr);
    }

    // The dashboard: a panel on its shade and a badge of polygon blits, a rev bar of 2D
    // triangles with a needle.
    const int w = s.area.w, h = s.area.h, ax = s.area.x, ay = s.area.y;
    if (s.pPanel != nullptr)
    {
        const DK_RECT source = {0, 0, 64, 32};
        const DK_RECT panel = {static_cast<int16_t>(ax + w / 32),
                               static_cast<int16_t>(ay + h - h / 6), static_cast<int16_t>(w / 4),
                               static_cast<int16_t>(h / 8)};
        const DK_RECT shade = {static_cast<int16_t>(panel.x + 3), static_cast<int16_t>(panel.y + 3),
                               panel.w, panel.h};
        const uint8_t dark[4] = {0, 0, 0, 120};
        DkPolyAlphaBlit(&source, &shade, s.pPanel, dark, BLIT_TO_BACK, 0, DK_PIVOT_CENTRE, nullptr,
                        0);
        DkPolyAlphaBlit(&source, &panel, s.pPanel, kWhite, BLIT_TO_MIDDLE, 0, DK_PIVOT_CENTRE,
                        nullptr, 0);
        const DK_RECT badge = {static_cast<int16_t>(ax + w - w / 8),
                               static_cast<int16_t>(ay + h / 24), static_cast<int16_t>(w / 10),
                               static_cast<int16_t>(h / 15)};
        const uint8_t tint[4] = {255, 255, 255, 200};
        if (boSurfaceBlit)
        {
            const DK_RECT whole = {0, 0, 64, 32};
            const DK_RECT at = {static_cast<int16_t>(ax + w / 2 - 32), static_cast<int16_t>(ay), 64,
                                32};
            DkPolyAlphaBlit(&whole, &at, s.pPanel, kWhite, BLIT_TO_BACK, 0, DK_PIVOT_CENTRE,
                            nullptr, DKPB_SURFACE_BLIT);
        }
        DkPolyAlphaBlit(&source, &badge, s.pPanel, tint, BLIT_TO_FRONT, 12 * (s.frame % 30),
                        DK_PIVOT_CENTRE, nullptr, 0);
    }
    const int32_t revs = (s.frame * 7) % 100;
    const int x0 = ax + w / 32 + w / 40, y0 = ay + h - h / 40, y1 = y0 - h / 30;
    const int x1 = x0 + (w / 5) * (20 + revs) / 120;
    const DK_2D_VERTEX a = {x0 << 16, y0 << 16}, b = {x1 << 16, y0 << 16}, c = {x1 << 16, y1 << 16},
                       d = {x0 << 16, y1 << 16};
    const uint8_t bar[4] = {250, static_cast<uint8_t>(200 - revs), 40, 220};
    DkDraw2DTriangle(&a, &c, &b, bar, 0.1f);
    DkDraw2DTriangle(&a, &d, &c, bar, 0.1f);
    const uint8_t needle[4] = {255, 255, 255, 255};
    const DK_2D_VERTEX n0 = {(x1 - 2) << 16, (y1 - 3) << 16}, n1 = {(x1 + 2) << 16, (y1 - 3) << 16},
                       n2 = {x1 << 16, (y0 + 2) << 16};
    DkDraw2DTriangleB(&n0, &n1, &n2, needle, 0.0f);
}

void DrawFrame(Stage& s, bool boSplitScreen)
{
    DkSetDrawingFrame(1);
    // A view applies its viewport only when its rectangle is another record: one whose
    // content changes is applied afresh.
    const DK_RECT a = s.area;
    const DK_RECT views[3] = {
        a,
        {a.x, a.y, a.w, static_cast<int16_t>(a.h / 2)},
        {a.x, static_cast<int16_t>(a.y + a.h / 2), a.w, static_cast<int16_t>(a.h - a.h / 2)}};
    if (std::memcmp(views, s.views, sizeof views) != 0)
    {
        std::memcpy(s.views, views, sizeof views);
        gpLastViewportRect = nullptr;
    }
    const DK_RECT& whole = s.views[0];
    const DK_RECT& top = s.views[1];
    const DK_RECT& bottom = s.views[2];
    if (!boSplitScreen)
    {
        DkClearZBuffer();
        DkClearTarget();
        DkSetTrackDrawParamA(1);
        DkRender3D(s.pWorld, s.pCamera, &whole, s.pCar, s.pCarRoot, 0);
    }
    else
    {
        DK_ACTOR* apCameras[2] = {s.pCamera, s.pSecondCamera};
        const DK_RECT* apRects[2] = {&top, &bottom};
        // A clear keeps to the viewport it finds: the first view's, after the last frame's
        // overlays, is the whole display, so the second view needs no clear of its own.
        for (int view = 0; view < 2; ++view)
        {
            DkClearZBuffer();
            if (view == 0)
                DkClearTarget();
            DkSetTrackDrawParamA(view == 1);
            DkRender3D(s.pWorld, apCameras[view], apRects[view], s.pCar, s.pCarRoot, view);
        }
    }
    DkSetDrawingFrame(0);
}

void DrawActorTree(DK_ACTOR* pRoot, DK_ACTOR* pCamera, const DK_RECT& rect)
{
    DkClearZBuffer();
    DkRender3DActorTree(pRoot, pCamera, &rect, 0);
}

std::vector<uint8_t> BackRgb()
{
    D3dFinishDrawing();
    return DdSurfaceToRgb(*DdData(d2d->BackSurface.lpSurface));
}

std::vector<uint16_t> DepthWords()
{
    D3dFinishDrawing();
    const DdSurfaceData& z = *DdData(d2d->ZBuffer.lpSurface);
    std::vector<uint16_t> words;
    for (DWORD y = 0; y < z.height; ++y)
    {
        const uint16_t* row = reinterpret_cast<const uint16_t*>(DdRow(z, y));
        words.insert(words.end(), row, row + z.width);
    }
    return words;
}

bool SavePng(const std::string& path)
{
    const std::vector<uint8_t> rgb = BackRgb();
    return PngSaveRgb(path.c_str(), rgb, static_cast<uint32_t>(d2d->nWidth),
                      static_cast<uint32_t>(d2d->nHeight));
}

uint32_t TrianglesDrawn()
{
    D3DSTATS stats{};
    stats.dwSize = sizeof stats;
    d3d->lpD3DDevice2->GetStats(&stats);
    return stats.dwTrianglesDrawn;
}

} // namespace stage
