// The renderer: the 17-entry render-state cache of the 3D context, the reset that sends it to a
// new device, the cached setters every draw goes through, blend modes and translucency, and the
// drawing of model actors, actor trees, camera-facing objects, the horizon and cars. Then the
// scene frame: one 3D view of a stage (horizon, the visible track blocks, shadows, the objects
// of the visible blocks culled by two ground wedges, near objects last, the per-frame queues
// and, on the last view, the 2D overlays), a free-standing actor tree, the clears, and the
// pixel and depth probes.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/common/matrixop.h"

struct D3DVIEWPORT2;
struct DK_ACTOR;
struct DK_MODEL_NODE;
struct DK_RECT;
struct DK_VERTEX;

// Cache entries (indices into DK_D3D's cache, 0-based).
enum
{
    DKRS_ZENABLE,
    DKRS_TEXTUREPERSPECTIVE,
    DKRS_SHADEMODE,
    DKRS_TEXTUREFILTER,
    DKRS_TEXTUREMAPBLEND,
    DKRS_FILLMODE,
    DKRS_SRCBLEND,
    DKRS_DESTBLEND,
    DKRS_DITHERENABLE,
    DKRS_SPECULARENABLE,
    DKRS_ANTIALIAS,
    DKRS_FOGENABLE,
    DKRS_FOGCOLOUR,
    DKRS_FOGTABLEMODE,
    DKRS_FOGSTART,
    DKRS_FOGEND,
    DKRS_CULLMODE,
};

// The part identifier that DrawCarRecursive draws translucent and sphere-mapped.
#define DK_SPHERE_MAPPED_PART_ID 111

// Texture slot of the last primitive list drawn (-1: untextured, -2: none known). Lists with
// the same slot one after another set nothing, across actors.
extern int32_t gnLastTextureIndex;
// Hardware device: set after an untextured list, so the next textured one selects material 0.
extern BOOL gboForceDefaultMaterial;
// Ground distance from the camera to the object being drawn (16.16), the fog distance of
// objects; and the camera position of the frame, the eye of per-vertex fog. The scene frame
// sets both.
extern int32_t gxObjectDistance;
extern DK_VECTOR gFogEyePoint;
// The camera actor of the view being drawn (the scene frame sets it); NULL before any frame.
extern DK_ACTOR* gpRenderCameraActor;
// The scene frame's reach of the near object wedge (16.16, 100.0 at start), and whether the last
// view drawn was a game scene (1) or a free-standing actor tree (0).
extern int32_t gxObjectClipDistance;
extern BOOL gboGameScene3D;
// Objects are drawn in their actor's tint while the DK3D reader's night-track flag
// (gboActorTintLighting, c3d.h) is set.

// The scene frame's switches. The far wedge reaches gxHorizonDistance (16.16, 500.0 at start);
// objects nearer the camera than gxNearObjectDistance (7.0) are held back and drawn after all
// blocks, translucent with gboBlendNearObjects; the 2D overlays end the view's scene while
// gboDrawOverlaysInScene is set (at start). The race cameras and stage set-up set them.
extern int32_t gxHorizonDistance;
extern int32_t gxNearObjectDistance;
extern BOOL gboBlendNearObjects;
extern BOOL gboDrawOverlaysInScene;
// The viewport rectangle DkRender3D last applied; kept across frames.
extern const DK_RECT* gpLastViewportRect;
// 1 while a display state draws its frame.
extern BOOL gboDrawingFrame;
// Held back objects a view draws after its blocks, at most.
#define DK_MAX_DEFERRED_OBJECTS 25

// With nReset, writes the defaults of the device kind into the cache first; then sends the
// cached states to the device. Afterwards every setter cache holds what the device holds.
// Returns 1.
int SetRenderState(int nReset);
void DkSetTextureHandle(uint32_t uHandle);
void DkSetMaterialHandle(uint32_t uHandle);
void DkSetTextureFilter(uint32_t uFilter);
// The minification filter alone (D3DFILTER_*).
void DkSetTextureMinFilter(uint32_t uFilter);
// Depth test and depth write, 0 or 1; each returns what it was given.
int DkSetZEnable(int nOn);
int DkSetZWriteEnable(int nOn);
void DkSetCullMode(uint32_t uMode);
// The winding the scenes cull from now on (D3DCULL_CW or D3DCULL_CCW): a mirrored projection
// turns every face over. Kept as the render-state default the drawing returns to.
void DkSetCullingOrder(uint32_t uMode);
void DkSetFillMode(uint32_t uMode);
// Forgets what the setters last sent (a new device knows nothing of it).
void DkResetSetterCaches(void);
// A render state sent straight to the device, past every cache (D3DRENDERSTATE_*).
void DkSendRenderState(uint32_t uState, uint32_t uValue);

// Translucency on or off; nothing on hardware type 3 or a software device.
void DkSetTranslucent(int nOn);
// 0 opaque, 1 colour-keyed, 2 alpha, 3 additive. 1, or 0 (reported) for another mode.
int DkSetTextureBlendMode(int nMode);

// Selects a primitive list's texture (and material) for drawing. With boShortcut the last-index
// comparison skips a slot already selected; without it the selection is made and the last
// index forgotten.
void DkSelectListTexture(int32_t nTexture, BOOL boShortcut);
// Draws one primitive list after its texture is selected: vertex fog at xFogDistance (0: each
// vertex its own distance) unless the list is device-lit, the tint's RGB over every vertex
// colour when pTint (R, G, B) is given, then the draw. pVertices stands in for the node's own
// vertices when not NULL. A failed draw is reported as "<pszWhat>:invalid ramp" or
// "<pszWhat>:invalid PARAM" (plain "invalid ..." without pszWhat).
void DkDrawPrimitiveList(const DK_MODEL_NODE* pNode, int32_t nVertexType, DK_VERTEX* pVertices,
                         int32_t xFogDistance, const uint8_t* pTint, const char* pszWhat);

// Drawing in render pass nPass (0-7): an actor takes part when bit nPass of its pass mask is
// set.
void DrawObject(DK_ACTOR* pActor, int nPass);
void DrawObjectRecursive(DK_ACTOR* pFirst, int nPass);
// pSide is the 16.16 vector (z, 0, -x) of the camera's unit ground direction (x, z).
void DkDrawObjectFacing(DK_ACTOR* pActor, const DK_VECTOR* pSide, int nPass);
void DrawHorizon(DK_ACTOR* pActor, int nPass);
void DrawCar(DK_ACTOR* pCar, int nPass);
void DrawCarRecursive(DK_ACTOR* pFirst, int nPass);
// Rewrites the texture coordinates of the first list of the actor's current level as a
// reflection seen from the frame's camera.
void DkSetSphereMapCoords(DK_ACTOR* pActor);

void DkSetObjectDetailLevel(int nLevel);
int DkGetObjectDetailLevel(void);
// With flag set only always-draw actors and world-space models are drawn.
void DkSetAlwaysDrawOnly(int nFlag);
void DkSetEngineOptionA(int nFlag);
// The DK3D reader's vertex-colour option (gboC3dLoadOption, c3d.h).
void DkSetC3dLoadOption(int nFlag);

// One view of a stage: the visible blocks for the camera, the tree's update, the camera's view,
// then DrawTrack. pCar and pCarRoot are the model actor and the root of the car the view
// follows, nPass the pass-mask bit (0, or 0 and 1 for the views of a split screen). A null
// rect is reported and draws nothing; a null car is reported and the view drawn. Returns 1.
// Before each view the caller clears (DkClearZBuffer, DkClearTarget) and sets
// DkSetTrackDrawParamA to 1 only for the view the 2D overlays follow.
int DkRender3D(DK_ACTOR* pRoot, DK_ACTOR* pCamera, const DK_RECT* pRect, DK_ACTOR* pCar,
               DK_ACTOR* pCarRoot, int nPass);
// A free-standing actor tree in its own scene (the front end's 3D scenes). Returns 1.
int DkRender3DActorTree(DK_ACTOR* pRoot, DK_ACTOR* pCamera, const DK_RECT* pRect, int nPass);
// The device viewport of a rectangle, or of the whole display for NULL: its place and size,
// the clip square widened by its aspect, depths 0 to 1.
void DkDescribeViewport(const DK_RECT* pRect, D3DVIEWPORT2* pViewport);
// The whole display's target, or depth (nothing without a z-buffer). Each returns 1.
int DkClearTarget(void);
int DkClearZBuffer(void);
// The scene of one view, from BeginScene to EndScene. Returns 1.
int DrawTrack(DK_ACTOR* pCamera, DK_ACTOR* pCar, DK_ACTOR* pCarRoot, int nPass);
// Every model actor of the actor table, for a stage without track blocks. pSide as for
// DkDrawObjectFacing.
void DrawAllActors(const DK_VECTOR* pSide);
// One pass of neighbour swaps along the moveable list of the block at visible-list position
// nPosition, the nearer of two to the eye going behind: over frames, far to near.
void DkSortBlockActorsByDistance(int32_t xEyeX, int32_t xEyeZ, int nPosition);
void DkSetTrackDrawParamA(int nOn);
int DkSetTrackDrawParamB(int nOn);
int32_t DkSetTrackDrawParamC(int32_t xDistance);
int DkSetDrawingFrame(int nValue);
int DkGetDrawingFrame(void);

// The depth probe each scene reads: the last result, or 0 for a point outside the display,
// which is then not stored. Starts at (-1, -1).
int32_t DkSetDepthSamplePoint(int nX, int nY);
// The pixel the flip samples: the last sample, or 0x01020304 for a point outside the display,
// which is then not stored (the old point stays). Starts at (-1, -1).
uint32_t DkSetSamplePoint(int nX, int nY);
// The flip's sample at the stored point, kept as the last sample.
uint32_t DkSampleBackSurface(void);
uint32_t DkGetLastSample(void);
// R | G << 8 | B << 16 of a back-surface pixel, each channel widened to 8 bits; 0x04030201
// outside the display, on a software device, when the lock fails or the surface is not 16
// bits a pixel.
uint32_t DkReadBackSurfacePixel(int nX, int nY);
// 1 when the depth word there is 0xFFFF (nothing drawn) or the depth surface cannot be locked;
// 0 otherwise, also without a 16-bit depth surface, on a software device or outside the
// display.
int DkReadDepthAt(int nX, int nY);
// Test hook: both probes back at (-1, -1) with their first results.
void DkResetSamplePointsForTests(void);
