// The Direct3D context of the display: device, viewport, texture formats, materials and
// textures, projection and view. The display set-up (2dinit) fills the interfaces and the
// device choice; the 3D set-up builds the rest.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/common/matrixop.h"

class IDirect3D2;
class IDirect3DDevice2;
class IDirect3DViewport2;
class IDirect3DMaterial2;
class IDirect3DExecuteBuffer;
struct DK_ACTOR;
struct DK_MATERIAL;
struct DK_TEXTURE;

// A texture pixel format as the device offered it (engine/pc/3d/3dinit_internal.h).
struct DK_TEXTURE_FORMAT;

#define DK_MAX_MATERIALS 2048
#define DK_MAX_TEXTURES 2048
#define DK_RENDER_STATE_CACHE 17
#define DK_MAX_EXECUTE_BUFFERS 8192

struct DK_D3D
{
    // The version-1 interfaces are the same objects as the version-2 ones here.
    IDirect3D2* lpD3D;
    IDirect3DDevice2* lpD3DDevice;
    IDirect3DViewport2* lpExecuteViewport;
    IDirect3D2* lpD3D2;
    IDirect3DDevice2* lpD3DDevice2;
    IDirect3DViewport2* lpD3DViewport2;
    uint32_t aDeviceGuid[4];
    int32_t nHardwareTexturing;
    int32_t nHardwareDevice;
    int32_t anRenderStateCache[DK_RENDER_STATE_CACHE];
    DK_ACTOR* pWorldRoot;
    DK_TEXTURE_FORMAT* pStandardTextureFormat;
    DK_TEXTURE_FORMAT* pAlphaTextureFormat;
    IDirect3DMaterial2* lpBackgroundMaterial;
    uint32_t uBackgroundHandle;
    DK_MATERIAL* apMaterials[DK_MAX_MATERIALS];
    DK_TEXTURE* apTextures[DK_MAX_TEXTURES];
    DK_MATRIX Projection;
    DK_MATRIX View;
};

extern DK_D3D* d3d;

// The 3D set-up of a display: z-buffer, device, texture formats, viewport, background and
// projection. Returns the index of its last destroy callback.
int DkInit3D(void);
// Scale x, scale y, far and near in 16.16; 0 keeps the previous value. The far value also
// becomes the track clip distance.
void DkSetProjection(int32_t nScaleX, int32_t nScaleY, int32_t nFar, int32_t nNear);
int DkUseHardwareExtras(void);
BOOL Direct3DDestructor(void);

extern int32_t gxTrackClipDistance;

// Set by the 3D set-up, cleared by the display teardown.
extern BOOL gbo3DReady;

// Execute buffers of the older device interface. Nothing builds one to draw with; the object
// destructor still releases whatever the table holds (DkReleaseExecuteBuffers, declared with
// the core services, as are DkGetWorldActor and DkSetWorldActor for the root in pWorldRoot).
extern IDirect3DExecuteBuffer* gpExecuteBuffers[DK_MAX_EXECUTE_BUFFERS];
extern uint32_t guNumExecuteBuffers;
