// The Direct3D-shaped 3D interfaces. The IDirect3D object of a DirectDraw object (QueryInterface
// IID_IDirect3D or IID_IDirect3D2) enumerates two devices, a hardware-like one and a "ramp"
// software device with an all-zero hardware description, and creates them on a back surface
// (16-bit, or 8-bit drawn through the palette by nearest colour). Both are our software rasteriser
// drawing straight into the system-memory surfaces of platform/ddraw: the target and the 16-bit Z
// surface attached to it.
//
// Objects stand for COM interfaces as in platform/ddraw: Release returns the count left.
#pragma once

#include <vector>

#include "platform/ddraw/ddraw.h"

extern const IID IID_IDirect3D;
extern const IID IID_IDirect3D2;
extern const IID IID_IDirect3DHALDevice;
extern const IID IID_IDirect3DRampDevice;
extern const IID IID_IDirect3DDevice;
extern const IID IID_IDirect3DDevice2;
extern const IID IID_IDirect3DTexture;
extern const IID IID_IDirect3DTexture2;
extern const IID IID_IDirect3DMaterial;
extern const IID IID_IDirect3DMaterial2;
extern const IID IID_IDirect3DViewport;
extern const IID IID_IDirect3DViewport2;

#define D3D_OK DD_OK
#define MAKE_D3DHRESULT(n) MAKE_DDHRESULT(n)
#define D3DERR_INVALIDRAMPTEXTURE MAKE_D3DHRESULT(739)
#define D3DERR_SCENE_IN_SCENE MAKE_D3DHRESULT(790)
#define D3DERR_SCENE_NOT_IN_SCENE MAKE_D3DHRESULT(791)
#define D3DERR_SCENE_BEGIN_FAILED MAKE_D3DHRESULT(792)
#define D3DERR_INVALIDVERTEXTYPE MAKE_D3DHRESULT(800)
#define D3DERR_INVALIDPRIMITIVETYPE MAKE_D3DHRESULT(801)
#define D3DERR_VIEWPORTHASNODEVICE MAKE_D3DHRESULT(802)
#define D3DERR_NOCURRENTVIEWPORT MAKE_D3DHRESULT(803)
#define D3DERR_INVALIDVIEWPORT MAKE_D3DHRESULT(804)
#define D3DERR_TEXTURE_LOAD_FAILED MAKE_D3DHRESULT(805)
#define D3DERR_MATERIAL_GETDATA_FAILED MAKE_D3DHRESULT(806)

// Colour models.
#define D3DCOLOR_MONO 1
#define D3DCOLOR_RGB 2
typedef DWORD D3DCOLORMODEL;

// Device capabilities.
#define D3DDD_COLORMODEL 0x00000001u
#define D3DDD_DEVCAPS 0x00000002u
#define D3DDD_TRICAPS 0x00000008u
#define D3DDD_DEVICERENDERBITDEPTH 0x00000080u
#define D3DDD_DEVICEZBUFFERBITDEPTH 0x00000100u
#define D3DDEVCAPS_EXECUTESYSTEMMEMORY 0x00000010u
#define D3DDEVCAPS_EXECUTEVIDEOMEMORY 0x00000020u
#define D3DDEVCAPS_TEXTURESYSTEMMEMORY 0x00000100u
#define D3DDEVCAPS_TEXTUREVIDEOMEMORY 0x00000200u
#define D3DDEVCAPS_DRAWPRIMTLVERTEX 0x00000400u
#define D3DPMISCCAPS_CULLNONE 0x00000010u
#define D3DPMISCCAPS_CULLCW 0x00000020u
#define D3DPMISCCAPS_CULLCCW 0x00000040u
#define D3DPRASTERCAPS_DITHER 0x00000001u
#define D3DPRASTERCAPS_ZTEST 0x00000010u
#define D3DPRASTERCAPS_SUBPIXEL 0x00000020u
#define D3DPRASTERCAPS_FOGVERTEX 0x00000080u
#define D3DPRASTERCAPS_FOGTABLE 0x00000100u
#define D3DPRASTERCAPS_STIPPLE 0x00000200u
#define D3DPRASTERCAPS_ZBUFFERLESSHSR 0x00008000u
#define D3DPCMPCAPS_NEVER 0x00000001u
#define D3DPCMPCAPS_LESS 0x00000002u
#define D3DPCMPCAPS_EQUAL 0x00000004u
#define D3DPCMPCAPS_LESSEQUAL 0x00000008u
#define D3DPCMPCAPS_GREATER 0x00000010u
#define D3DPCMPCAPS_NOTEQUAL 0x00000020u
#define D3DPCMPCAPS_GREATEREQUAL 0x00000040u
#define D3DPCMPCAPS_ALWAYS 0x00000080u
#define D3DPBLENDCAPS_ZERO 0x00000001u
#define D3DPBLENDCAPS_ONE 0x00000002u
#define D3DPBLENDCAPS_SRCCOLOR 0x00000004u
#define D3DPBLENDCAPS_INVSRCCOLOR 0x00000008u
#define D3DPBLENDCAPS_SRCALPHA 0x00000010u
#define D3DPBLENDCAPS_INVSRCALPHA 0x00000020u
#define D3DPSHADECAPS_COLORFLATRGB 0x00000008u
#define D3DPSHADECAPS_COLORGOURAUDRGB 0x00000020u
#define D3DPSHADECAPS_ALPHAFLATBLEND 0x00001000u
#define D3DPSHADECAPS_ALPHAFLATSTIPPLED 0x00002000u
#define D3DPSHADECAPS_ALPHAGOURAUDBLEND 0x00004000u
#define D3DPSHADECAPS_ALPHAGOURAUDSTIPPLED 0x00008000u
#define D3DPSHADECAPS_FOGGOURAUD 0x00080000u
#define D3DPTEXTURECAPS_PERSPECTIVE 0x00000001u
#define D3DPTEXTURECAPS_POW2 0x00000002u
#define D3DPTEXTURECAPS_ALPHA 0x00000004u
#define D3DPTEXTURECAPS_TRANSPARENCY 0x00000008u
#define D3DPTEXTURECAPS_BORDER 0x00000010u
#define D3DPTEXTURECAPS_SQUAREONLY 0x00000020u
#define D3DPTBLENDCAPS_DECAL 0x00000001u
#define D3DPTBLENDCAPS_MODULATE 0x00000002u
#define D3DPTBLENDCAPS_DECALALPHA 0x00000004u
#define D3DPTBLENDCAPS_MODULATEALPHA 0x00000008u
#define D3DPTBLENDCAPS_DECALMASK 0x00000010u
#define D3DPTBLENDCAPS_MODULATEMASK 0x00000020u
#define D3DPTBLENDCAPS_COPY 0x00000040u
#define D3DPTBLENDCAPS_ADD 0x00000080u
#define D3DPTADDRESSCAPS_WRAP 0x00000001u
#define D3DPTADDRESSCAPS_MIRROR 0x00000002u
#define D3DPTADDRESSCAPS_CLAMP 0x00000004u
#define D3DPTFILTERCAPS_NEAREST 0x00000001u
#define D3DPTFILTERCAPS_LINEAR 0x00000002u
#define D3DPTFILTERCAPS_MIPNEAREST 0x00000004u
#define D3DPTFILTERCAPS_MIPLINEAR 0x00000008u
#define D3DPTFILTERCAPS_LINEARMIPNEAREST 0x00000010u
#define D3DPTFILTERCAPS_LINEARMIPLINEAR 0x00000020u

// Depth flags (z-buffer bit depths a device offers).
#define DDBD_8 0x00000800u
#define DDBD_16 0x00000400u
#define DDBD_24 0x00000200u
#define DDBD_32 0x00000100u

struct D3DPRIMCAPS
{
    DWORD dwSize;
    DWORD dwMiscCaps;
    DWORD dwRasterCaps;
    DWORD dwZCmpCaps;
    DWORD dwSrcBlendCaps;
    DWORD dwDestBlendCaps;
    DWORD dwAlphaCmpCaps;
    DWORD dwShadeCaps;
    DWORD dwTextureCaps;
    DWORD dwTextureFilterCaps;
    DWORD dwTextureBlendCaps;
    DWORD dwTextureAddressCaps;
    DWORD dwStippleWidth;
    DWORD dwStippleHeight;
};

struct D3DDEVICEDESC
{
    DWORD dwSize;
    DWORD dwFlags;
    D3DCOLORMODEL dcmColorModel;
    DWORD dwDevCaps;
    D3DPRIMCAPS dpcLineCaps;
    D3DPRIMCAPS dpcTriCaps;
    DWORD dwDeviceRenderBitDepth;
    DWORD dwDeviceZBufferBitDepth;
    DWORD dwMaxBufferSize;
    DWORD dwMaxVertexCount;
};

typedef HRESULT (*LPD3DENUMDEVICESCALLBACK)(GUID* lpGuid, LPSTR lpDeviceDescription,
                                            LPSTR lpDeviceName, D3DDEVICEDESC* lpD3DHWDeviceDesc,
                                            D3DDEVICEDESC* lpD3DHELDeviceDesc, LPVOID lpContext);

typedef float D3DVALUE;
typedef DWORD D3DCOLOR; // 0xAARRGGBB
typedef DWORD D3DTEXTUREHANDLE;
typedef DWORD D3DMATERIALHANDLE;
typedef DWORD D3DMATRIXHANDLE;

struct D3DVECTOR
{
    D3DVALUE x, y, z;
};

struct D3DCOLORVALUE
{
    D3DVALUE r, g, b, a;
};

// Row vectors: a point p becomes p * M, translation in _41.._43.
struct D3DMATRIX
{
    D3DVALUE _11, _12, _13, _14;
    D3DVALUE _21, _22, _23, _24;
    D3DVALUE _31, _32, _33, _34;
    D3DVALUE _41, _42, _43, _44;
};

struct D3DRECT
{
    LONG x1, y1, x2, y2;
};

// Vertices are 32 bytes each, in these three layouts.
// D3DVT_VERTEX: lit by the device. The engine places no lights, so a vertex takes the diffuse
// colour of the material set with D3DLIGHTSTATE_MATERIAL (white without one).
struct D3DVERTEX
{
    D3DVALUE x, y, z;
    D3DVALUE nx, ny, nz;
    D3DVALUE tu, tv;
};
struct D3DLVERTEX // D3DVT_LVERTEX: coloured, transformed by the device
{
    D3DVALUE x, y, z;
    DWORD dwReserved;
    D3DCOLOR color;
    D3DCOLOR specular; // alpha: fog factor, 255 = unfogged
    D3DVALUE tu, tv;
};
struct D3DTLVERTEX // D3DVT_TLVERTEX: screen space, rhw = 1 / w
{
    D3DVALUE sx, sy, sz;
    D3DVALUE rhw;
    D3DCOLOR color;
    D3DCOLOR specular;
    D3DVALUE tu, tv;
};
static_assert(sizeof(D3DVERTEX) == 32 && sizeof(D3DLVERTEX) == 32 && sizeof(D3DTLVERTEX) == 32,
              "device vertices are 32 bytes");

struct D3DMATERIAL
{
    DWORD dwSize;
    D3DCOLORVALUE diffuse;
    D3DCOLORVALUE ambient;
    D3DCOLORVALUE specular;
    D3DCOLORVALUE emissive;
    D3DVALUE power;
    D3DTEXTUREHANDLE hTexture;
    DWORD dwRampSize;
};
static_assert(sizeof(D3DMATERIAL) == 80, "a material is 80 bytes");

// Clip space: x/w in [dvClipX, dvClipX + dvClipWidth] maps to dwX..dwX + dwWidth, y/w in
// [dvClipY - dvClipHeight, dvClipY] to dwY + dwHeight..dwY (up is up), z/w in [dvMinZ, dvMaxZ]
// to depth 0..1.
struct D3DVIEWPORT2
{
    DWORD dwSize;
    DWORD dwX;
    DWORD dwY;
    DWORD dwWidth;
    DWORD dwHeight;
    D3DVALUE dvClipX;
    D3DVALUE dvClipY;
    D3DVALUE dvClipWidth;
    D3DVALUE dvClipHeight;
    D3DVALUE dvMinZ;
    D3DVALUE dvMaxZ;
};

// What a device has drawn since it was made: primitives handed to the rasteriser after
// clipping and culling, the pixel rows they cross inside the viewport, and the vertices of
// every draw call.
struct D3DSTATS
{
    DWORD dwSize;
    DWORD dwTrianglesDrawn;
    DWORD dwLinesDrawn;
    DWORD dwPointsDrawn;
    DWORD dwSpansDrawn;
    DWORD dwVerticesProcessed;
};
static_assert(sizeof(D3DSTATS) == 24, "the statistics record is 24 bytes");

struct D3DEXECUTEBUFFERDESC
{
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwCaps;
    DWORD dwBufferSize;
    void* lpData;
};

struct D3DEXECUTEDATA
{
    DWORD dwSize;
    DWORD dwVertexOffset;
    DWORD dwVertexCount;
    DWORD dwInstructionOffset;
    DWORD dwInstructionLength;
    DWORD dwHVertexOffset;
};

enum D3DPRIMITIVETYPE
{
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
};

enum D3DVERTEXTYPE
{
    D3DVT_VERTEX = 1,
    D3DVT_LVERTEX = 2,
    D3DVT_TLVERTEX = 3,
};

// DrawPrimitive flags.
#define D3DDP_DONOTCLIP 0x00000004u
#define D3DDP_DONOTUPDATEEXTENTS 0x00000008u

// Viewport Clear flags.
#define D3DCLEAR_TARGET 0x00000001u
#define D3DCLEAR_ZBUFFER 0x00000002u

enum D3DTRANSFORMSTATETYPE
{
    D3DTRANSFORMSTATE_WORLD = 1,
    D3DTRANSFORMSTATE_VIEW = 2,
    D3DTRANSFORMSTATE_PROJECTION = 3,
};

enum D3DLIGHTSTATETYPE
{
    D3DLIGHTSTATE_MATERIAL = 1,
};

// The render states the device keeps (values from D3DRENDERSTATE_COUNT on are refused). Drawing
// reads: TEXTUREHANDLE, TEXTUREPERSPECTIVE, ZENABLE, ZWRITEENABLE (only with ZENABLE), SHADEMODE,
// TEXTUREMAG (the filter; TEXTUREMIN is kept only), SRCBLEND and DESTBLEND (the pairs 5/6, 2/2,
// 4/2 and 2/4; 2/1 is no blend and any other pair draws as 5/6), TEXTUREMAPBLEND (COPY, DECAL as
// COPY, MODULATE, MODULATEALPHA), CULLMODE, ALPHABLENDENABLE, STIPPLEDALPHA (a 4x4 screen door
// when blending is off), FOGENABLE, FOGCOLOR (0xRRGGBB) and COLORKEYENABLE. The Z test is always
// "less or equal", textures are always clamped and fill is always solid.
enum D3DRENDERSTATETYPE
{
    D3DRENDERSTATE_TEXTUREHANDLE = 1,
    D3DRENDERSTATE_ANTIALIAS = 2,
    D3DRENDERSTATE_TEXTUREADDRESS = 3,
    D3DRENDERSTATE_TEXTUREPERSPECTIVE = 4,
    D3DRENDERSTATE_ZENABLE = 7,
    D3DRENDERSTATE_FILLMODE = 8,
    D3DRENDERSTATE_SHADEMODE = 9,
    D3DRENDERSTATE_ZWRITEENABLE = 14,
    D3DRENDERSTATE_TEXTUREMAG = 17,
    D3DRENDERSTATE_TEXTUREMIN = 18,
    D3DRENDERSTATE_SRCBLEND = 19,
    D3DRENDERSTATE_DESTBLEND = 20,
    D3DRENDERSTATE_TEXTUREMAPBLEND = 21,
    D3DRENDERSTATE_CULLMODE = 22,
    D3DRENDERSTATE_ZFUNC = 23,
    D3DRENDERSTATE_DITHERENABLE = 26,
    D3DRENDERSTATE_ALPHABLENDENABLE = 27,
    D3DRENDERSTATE_FOGENABLE = 28,
    D3DRENDERSTATE_SPECULARENABLE = 29,
    D3DRENDERSTATE_STIPPLEDALPHA = 33,
    D3DRENDERSTATE_FOGCOLOR = 34,
    D3DRENDERSTATE_COLORKEYENABLE = 41,
    D3DRENDERSTATE_COUNT = 42, // one past the last state
};

enum D3DSHADEMODE
{
    D3DSHADE_FLAT = 1,
    D3DSHADE_GOURAUD = 2,
};
enum D3DFILLMODE
{
    D3DFILL_POINT = 1,
    D3DFILL_WIREFRAME = 2,
    D3DFILL_SOLID = 3,
};
enum D3DTEXTUREFILTER
{
    D3DFILTER_NEAREST = 1,
    D3DFILTER_LINEAR = 2,
};
enum D3DBLEND
{
    D3DBLEND_ZERO = 1,
    D3DBLEND_ONE = 2,
    D3DBLEND_SRCCOLOR = 3,
    D3DBLEND_INVSRCCOLOR = 4,
    D3DBLEND_SRCALPHA = 5,
    D3DBLEND_INVSRCALPHA = 6,
};
enum D3DTEXTUREBLEND
{
    D3DTBLEND_DECAL = 1,
    D3DTBLEND_MODULATE = 2,
    D3DTBLEND_DECALALPHA = 3,
    D3DTBLEND_MODULATEALPHA = 4,
    D3DTBLEND_COPY = 7,
};
enum D3DTEXTUREADDRESS
{
    D3DTADDRESS_WRAP = 1,
    D3DTADDRESS_CLAMP = 3,
};
enum D3DCULL
{
    D3DCULL_NONE = 1,
    D3DCULL_CW = 2,
    D3DCULL_CCW = 3,
};
enum D3DCMPFUNC
{
    D3DCMP_NEVER = 1,
    D3DCMP_LESS = 2,
    D3DCMP_EQUAL = 3,
    D3DCMP_LESSEQUAL = 4,
    D3DCMP_ALWAYS = 8,
};

struct D3dObject;
struct D3dDevice;
struct D3dViewport;
struct D3dMaterial;
struct D3dTexture;
struct D3dExecuteBuffer;
class IDirect3DDevice2;
class IDirect3DViewport2;
class IDirect3DMaterial2;
class IDirect3DTexture2;
class IDirect3DExecuteBuffer;
class IDirect3DViewport;
class IDirect3DMaterial;

typedef HRESULT (*LPD3DENUMTEXTUREFORMATSCALLBACK)(DDSURFACEDESC* lpDdsd, LPVOID lpContext);

// IDirect3D and IDirect3D2 are one object here.
class IDirect3D2
{
public:
    ULONG AddRef();
    ULONG Release();
    HRESULT QueryInterface(REFIID riid, void** ppv);
    // The ramp device first, then the hardware-like device; stops when the callback returns
    // DDENUMRET_CANCEL.
    HRESULT EnumDevices(LPD3DENUMDEVICESCALLBACK lpEnumDevicesCallback, LPVOID lpUserArg);
    // A device drawing into lpDDS, a 16-bit RGB or 8-bit palettised surface (8 bits draw through
    // the surface's palette); its Z buffer is the 16-bit surface attached to lpDDS, if any.
    HRESULT CreateDevice(REFIID rclsid, IDirectDrawSurface* lpDDS,
                         IDirect3DDevice2** lplpD3DDevice);
    HRESULT CreateViewport(IDirect3DViewport2** lplpD3DViewport, void* pUnkOuter);
    HRESULT CreateViewport(IDirect3DViewport** lplpD3DViewport, void* pUnkOuter);
    HRESULT CreateMaterial(IDirect3DMaterial2** lplpD3DMaterial, void* pUnkOuter);
    HRESULT CreateMaterial(IDirect3DMaterial** lplpD3DMaterial, void* pUnkOuter);

    D3dObject* data = nullptr;
};
typedef IDirect3D2 IDirect3D;
typedef IDirect3D* LPDIRECT3D;
typedef IDirect3D2* LPDIRECT3D2;

// The version-1 and version-2 device are one object (QueryInterface IID_IDirect3DDevice or
// IID_IDirect3DDevice2 hands out the same pointer).
class IDirect3DDevice2
{
public:
    ULONG AddRef();
    ULONG Release();
    HRESULT QueryInterface(REFIID riid, void** ppv);
    // The HAL device: what the rasteriser does, in lpD3DHWDevDesc; the ramp device: all zero
    // there and its description in lpD3DHELDevDesc.
    HRESULT GetCaps(D3DDEVICEDESC* lpD3DHWDevDesc, D3DDEVICEDESC* lpD3DHELDevDesc);
    // 8-bit palettised, 5:6:5, 5:5:5, 4:4:4:4 and 3:3:2+8, as texture surface descriptions.
    HRESULT EnumTextureFormats(LPD3DENUMTEXTUREFORMATSCALLBACK lpCallback, LPVOID lpArg);
    HRESULT BeginScene();
    HRESULT EndScene();
    // lpStats->dwSize must be sizeof(D3DSTATS). The counts wrap modulo 2^32.
    HRESULT GetStats(D3DSTATS* lpStats);
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* lpValue);
    HRESULT SetLightState(D3DLIGHTSTATETYPE state, DWORD value);
    HRESULT GetLightState(D3DLIGHTSTATETYPE state, DWORD* lpValue);
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* lpMatrix);
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* lpMatrix);
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, D3DVERTEXTYPE vertexType, const void* lpVertices,
                          DWORD dwVertexCount, DWORD dwFlags);
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, D3DVERTEXTYPE vertexType,
                                 const void* lpVertices, DWORD dwVertexCount, const WORD* lpIndices,
                                 DWORD dwIndexCount, DWORD dwFlags);
    HRESULT AddViewport(IDirect3DViewport2* lpViewport);
    HRESULT DeleteViewport(IDirect3DViewport2* lpViewport);
    HRESULT SetCurrentViewport(IDirect3DViewport2* lpViewport);
    HRESULT GetCurrentViewport(IDirect3DViewport2** lplpViewport);
    // Execute buffers are accepted and never draw.
    HRESULT CreateExecuteBuffer(D3DEXECUTEBUFFERDESC* lpDesc, IDirect3DExecuteBuffer** lplpBuffer,
                                void* pUnkOuter);
    HRESULT Execute(IDirect3DExecuteBuffer* lpBuffer, IDirect3DViewport2* lpViewport,
                    DWORD dwFlags);

    D3dDevice* data = nullptr;
};
// The version-1 interface: the same object, seen with the same calls.
class IDirect3DDevice : public IDirect3DDevice2
{
};
typedef IDirect3DDevice* LPDIRECT3DDEVICE;
typedef IDirect3DDevice2* LPDIRECT3DDEVICE2;

class IDirect3DViewport2
{
public:
    ULONG AddRef();
    ULONG Release();
    HRESULT QueryInterface(REFIID riid, void** ppv);
    HRESULT SetViewport2(const D3DVIEWPORT2* lpData);
    HRESULT GetViewport2(D3DVIEWPORT2* lpData);
    // Rectangles in screen pixels: the target takes the background material's diffuse colour,
    // the Z buffer its farthest value.
    HRESULT Clear(DWORD dwCount, const D3DRECT* lpRects, DWORD dwFlags);
    HRESULT SetBackground(D3DMATERIALHANDLE hMat);
    HRESULT GetBackground(D3DMATERIALHANDLE* lphMat, BOOL* lpValid);

    D3dViewport* data = nullptr;
};
// The version-1 interface: the same object, seen with the same calls.
class IDirect3DViewport : public IDirect3DViewport2
{
};
typedef IDirect3DViewport* LPDIRECT3DVIEWPORT;
typedef IDirect3DViewport2* LPDIRECT3DVIEWPORT2;

class IDirect3DMaterial2
{
public:
    ULONG AddRef();
    ULONG Release();
    HRESULT QueryInterface(REFIID riid, void** ppv);
    HRESULT SetMaterial(const D3DMATERIAL* lpMat);
    HRESULT GetMaterial(D3DMATERIAL* lpMat);
    // One handle per material, valid with any device while the material lives.
    HRESULT GetHandle(IDirect3DDevice2* lpDevice, D3DMATERIALHANDLE* lpHandle);

    D3dMaterial* data = nullptr;
};
// The version-1 interface: the same object, seen with the same calls.
class IDirect3DMaterial : public IDirect3DMaterial2
{
};
typedef IDirect3DMaterial* LPDIRECT3DMATERIAL;
typedef IDirect3DMaterial2* LPDIRECT3DMATERIAL2;

// A texture is a view of a system-memory texture surface (it holds a reference to it); the
// device reads the surface's pixels, palette and source colour key when it draws.
class IDirect3DTexture2
{
public:
    ULONG AddRef();
    ULONG Release();
    HRESULT QueryInterface(REFIID riid, void** ppv);
    HRESULT GetHandle(IDirect3DDevice2* lpDevice, D3DTEXTUREHANDLE* lpHandle);
    // Copies the source texture's pixels, colour key and palette into this one's surface (same
    // size and pixel format).
    HRESULT Load(IDirect3DTexture2* lpSource);

    D3dTexture* data = nullptr;
};
// The version-1 interface: the same object, seen with the same calls.
class IDirect3DTexture : public IDirect3DTexture2
{
};
typedef IDirect3DTexture* LPDIRECT3DTEXTURE;
typedef IDirect3DTexture2* LPDIRECT3DTEXTURE2;

class IDirect3DExecuteBuffer
{
public:
    ULONG AddRef();
    ULONG Release();
    HRESULT Lock(D3DEXECUTEBUFFERDESC* lpDesc);
    HRESULT Unlock();
    HRESULT SetExecuteData(const D3DEXECUTEDATA* lpData);
    HRESULT GetExecuteData(D3DEXECUTEDATA* lpData);

    D3dExecuteBuffer* data = nullptr;
};
typedef IDirect3DExecuteBuffer* LPDIRECT3DEXECUTEBUFFER;

// Creates the 3D object of a DirectDraw object (what its QueryInterface hands out).
HRESULT D3dCreateForDirectDraw(IDirectDraw2* lpDD, IDirect3D2** lplpD3D);
// The texture interface of a texture surface (what the surface's QueryInterface with
// IID_IDirect3DTexture or IID_IDirect3DTexture2 hands out).
HRESULT D3dCreateTexture(IDirectDrawSurface* lpDDS, IDirect3DTexture2** lplpTexture);
// The number of 3D objects alive (devices, viewports, materials, textures; tests check leaks).
int D3dLiveObjects(void);
// Devices drawing on several threads record their drawing and do it when something else is
// about to look at pixels: this does it now. DirectDraw calls it before every access to a
// surface's pixels or to a palette, and the devices at their own such points.
void D3dFinishDrawing(void);
// Finishes the drawing and ends the threads that help with it (done when the last device goes;
// the next device to draw on several threads starts them again).
void D3dStopDrawingThreads(void);
// The helper threads alive (tests check none is left).
int D3dDrawingThreads(void);

// The hardware-like device's description, which tests may change (the ramp device, with an
// all-zero hardware description, is always offered before it).
D3DDEVICEDESC D3dHardwareDescription(void);
void D3dSetHardwareDescriptionForTests(const D3DDEVICEDESC* pDesc);
// The texture formats the devices offer (NULL or 0 restores their own).
void D3dSetTextureFormatsForTests(const DDPIXELFORMAT* pFormats, int nCount);

// The call log, a test hook: while it is on, what the devices and viewports are told (states,
// transforms, draws, scenes, viewports and clears) is recorded in call order, with the result
// of each call. Off, a call pays one test of a flag; the rasteriser never looks at it.
enum class D3dCall
{
    RenderState, // what: the D3DRENDERSTATETYPE, value: the value
    LightState,  // what: the D3DLIGHTSTATETYPE, value: the value
    Transform,   // what: the D3DTRANSFORMSTATETYPE, matrix
    BeginScene,
    EndScene,
    Draw,            // what: the primitive type, value: the vertex type, flags, vertices, indices
    SetViewport,     // viewport
    CurrentViewport, // viewport: the one made current
    Clear,           // what: the D3DCLEAR_* flags, rects
};
struct D3dLoggedCall
{
    D3dCall call = D3dCall::RenderState;
    DWORD what = 0;
    DWORD value = 0;
    DWORD flags = 0;
    HRESULT result = D3D_OK;
    D3DMATRIX matrix{};
    D3DVIEWPORT2 viewport{};
    // A draw's vertices in the lit layout whatever their type (all three are 32 bytes), and
    // its indices (none for DrawPrimitive).
    std::vector<D3DLVERTEX> vertices;
    std::vector<WORD> indices;
    std::vector<D3DRECT> rects;
};
// Empties the log and starts recording; stopping keeps what was recorded.
void D3dStartCallLog(void);
void D3dStopCallLog(void);
const std::vector<D3dLoggedCall>& D3dCallLog(void);
// A fault to order, a test hook: the next nCount draw calls of any device fail with hr and draw
// nothing (0 ends it).
void D3dFailDrawsForTests(HRESULT hr, int nCount);
