// What the three parts of the device share: the objects (d3d.cpp), vertex processing and
// clipping (d3d_vertex.cpp), triangle set-up and spans (d3d_raster.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw_internal.h"

// A texture's pixels as 0xAARRGGBB, brought up to date with its surface on first use in a scene
// (the engine changes texture surfaces between scenes only).
struct D3dTextureImage
{
    int width = 0;
    int height = 0;
    // Texels a row of argb and keyed holds: the width and one more, which repeats the last
    // column; a last row repeats the last row too. So a bilinear tap's right and lower
    // neighbours always lie in the image, and are the edge texels where clamping gives them.
    int stride = 0;
    bool hasKey = false;
    bool hasAlpha = false;
    std::vector<uint32_t> argb;
    std::vector<uint8_t> keyed; // 1 where the texel equals the source colour key
};

struct D3dTexture
{
    IDirect3DTexture iface;
    ULONG refs = 1;
    IDirectDrawSurface* surface = nullptr; // holds a reference
    D3DTEXTUREHANDLE handle = 0;
    unsigned decodedScene = 0; // scene stamp of image, 0 = never
    D3dTextureImage image;
    // What image was decoded from: the surface and palette as of these stamps (0: none).
    uint64_t sourceStamp = 0;
    uint64_t paletteStamp = 0;
};

struct D3dMaterial
{
    IDirect3DMaterial iface;
    ULONG refs = 1;
    D3DMATERIAL material{};
    D3DMATERIALHANDLE handle = 0;
};

enum class D3dTarget
{
    Rgb565,
    Rgb555,
    Palette8,
};

enum class D3dTexBlend
{
    Copy,
    Modulate,
    ModulateAlpha,
};

enum class D3dBlend
{
    None,
    SrcAlpha,       // SRCALPHA, INVSRCALPHA
    Add,            // ONE, ONE
    InvSrcColorAdd, // INVSRCCOLOR, ONE
    AddInvSrcColor, // ONE, INVSRCCOLOR
    Stipple,        // screen door by alpha
};

// Everything a primitive is drawn with, resolved from the render states once per draw call.
struct D3dRasterState
{
    DdSurfaceData* target = nullptr;
    DdSurfaceData* zbuffer = nullptr; // NULL: no Z test or write
    D3dTarget format = D3dTarget::Rgb565;
    RECT scissor{}; // pixels drawn lie inside
    const D3dTextureImage* texture = nullptr;
    bool bilinear = false;
    bool perspective = true;
    bool colorKey = false;
    D3dTexBlend texBlend = D3dTexBlend::Modulate;
    bool gouraud = true;
    D3dBlend blend = D3dBlend::None;
    bool fog = false;
    uint32_t fogColor = 0;
    bool zTest = false;
    bool zWrite = false;
    const uint8_t* ramp = nullptr; // 8-bit target: 5:5:5 colour -> nearest palette index
    const PALETTEENTRY* palette = nullptr;
    int threads = 1; // threads the drawing may be shared among (see D3dRasterPrimitives)
};

// A vertex in screen space: colours and fog 0..255; u and v as given (the rasteriser divides
// them by w itself for perspective).
struct D3dScreenVertex
{
    float x, y, z, rhw;
    float r, g, b, a;
    float fog;
    float u, v;
};

// Draws one triangle (any winding: culling is done before); flat shading takes the colour of
// the first vertex.
void D3dRasterTriangle(const D3dRasterState& rs, const D3dScreenVertex& v0,
                       const D3dScreenVertex& v1, const D3dScreenVertex& v2);
// Draws one line from v0 up to, not including, v1.
void D3dRasterLine(const D3dRasterState& rs, const D3dScreenVertex& v0, const D3dScreenVertex& v1);

// A primitive as the vertex stage hands it on: a triangle, or a line from v[0] to v[1].
struct D3dPrimitive
{
    bool line;
    D3dScreenVertex v[3];
};

// One draw call on its way to the rasteriser: the vertex stage appends its primitives to
// Primitives() and Submit() draws them in their order. With rs.threads at 1 they are drawn at
// once; above 1 they are recorded with the state and drawn by D3dFinishDrawing, shared among
// that many threads by bands of rows, with the bytes one thread gives. A call not submitted
// draws nothing. Calls are taken one at a time.
class D3dRasterCall
{
public:
    explicit D3dRasterCall(const D3dRasterState& rs);
    ~D3dRasterCall();
    D3dRasterCall(const D3dRasterCall&) = delete;
    D3dRasterCall& operator=(const D3dRasterCall&) = delete;

    std::vector<D3dPrimitive>& Primitives() { return *out_; }
    void Submit();

private:
    const D3dRasterState& rs_;
    std::unique_lock<std::mutex> lock_;
    std::vector<D3dPrimitive>* out_ = nullptr;
    size_t first_ = 0;
};
// Rows a band holds.
constexpr int kD3dBandRows = 16;
// The thread count devices draw with: DEZOR_RASTER_THREADS when set to 1..64, else the
// machine's cores (a bad value is reported on standard error, once for each value).
int D3dRasterThreadsFromEnvironment();

// The vertex stage's view of the device.
struct D3dVertexState
{
    D3DMATRIX worldViewProjection;
    D3DVIEWPORT2 viewport;
    D3DCOLOR materialColor; // what D3DVT_VERTEX vertices are lit to
    DWORD cullMode;         // D3DCULL_*
};

// Adds what the call draws to stats.
HRESULT D3dDrawVertices(const D3dRasterState& rs, const D3dVertexState& vs, D3DPRIMITIVETYPE type,
                        D3DVERTEXTYPE vertexType, const void* vertices, DWORD vertexCount,
                        const WORD* indices, DWORD indexCount, DWORD flags, D3DSTATS& stats);

D3DMATRIX D3dMultiply(const D3DMATRIX& a, const D3DMATRIX& b);
