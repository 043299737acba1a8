// What both benchmark programs draw: scenes of screen-space vertices, drawn as a list of indexed
// calls each with its texture, and our device on a 640x480 5:6:5 target with a 16-bit Z buffer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/d3d/d3d.h"

namespace bench
{

constexpr int kWidth = 640;
constexpr int kHeight = 480;
// The fog colour of the fogged variant, 0x00RRGGBB.
constexpr D3DCOLOR kFogColor = 0x8898A8u;

enum class Variant
{
    Plain, // textured (bilinear, modulated), Gouraud, Z-tested
    Fog,   // the same with vertex fog
    Alpha, // the same blended with the vertex alpha (SRCALPHA, INVSRCALPHA)
};
const char* VariantName(Variant v);

// A square 5:6:5 texture.
struct Texture
{
    int size = 0;
    std::vector<uint16_t> texels; // size squared, row by row
};

// One DrawIndexedPrimitive (a triangle list): a run of the scene's vertices, indices into that
// run (0 is its first vertex), and the texture it is drawn with.
struct Call
{
    int texture = 0;
    uint32_t firstVertex = 0, vertexCount = 0;
    uint32_t firstIndex = 0, indexCount = 0;
};

// Every vertex carries a colour with alpha and a fog factor (specular alpha), whichever variant
// is drawn.
struct Scene
{
    std::vector<D3DTLVERTEX> vertices;
    std::vector<WORD> indices;
    std::vector<Texture> textures;
    std::vector<Call> calls; // in drawing order
    // A game fills its vertex arrays again between calls: each call's vertices are copied into
    // one staging array, and that array is what the call is given.
    bool staged = false;
    // Figures of the triangles (areas in pixels) and their sum over the pixels on screen.
    double minArea = 0, meanArea = 0, maxArea = 0;
    double overdraw = 0;

    size_t Triangles() const { return indices.size() / 3; }
};

// About 3,000 triangles (two a quad, textured quads at several depths) in one call with one
// 256x256 texture, in a fixed pseudo-random order.
Scene BuildReferenceScene();
// A game-like frame: about 6,650 triangles in 60 calls, meshes of 11 to about 600 pixels a
// triangle seen in perspective, 12 textures of 64 to 256 texels square, a different texture for
// each call than for the one before, overdraw about 3; staged.
Scene BuildGameFrame();

// The vertices a call is drawn from: the scene's own (`all` holds one V per scene vertex), or for
// a staged scene a copy of them in `staging`, which every call overwrites.
template <class V>
const V* CallVertices(const Scene& s, const Call& c, const std::vector<V>& all,
                      std::vector<V>& staging)
{
    const V* v = all.data() + c.firstVertex;
    if (!s.staged)
        return v;
    if (staging.size() < c.vertexCount)
        staging.resize(c.vertexCount);
    std::copy_n(v, c.vertexCount, staging.begin());
    return staging.data();
}

// The device the game draws with, on its own DirectDraw object.
class OurDevice
{
public:
    OurDevice();
    ~OurDevice();
    OurDevice(const OurDevice&) = delete;
    OurDevice& operator=(const OurDevice&) = delete;

    bool Ok() const { return device_ != nullptr; }
    // Replaces the device's textures with these (a scene's calls name them by index) and makes
    // the first one current.
    void LoadTextures(const std::vector<Texture>& textures);
    void UseTexture(size_t i);
    void NoTexture();
    // Render states for a variant of the scene; Plain with nearest filtering if !bilinear.
    void SetVariant(Variant v, bool bilinear = true);
    void Clear();
    void BeginScene() { device_->BeginScene(); }
    void EndScene() { device_->EndScene(); }
    // The scene's calls, each after making its texture current; LoadTextures(s.textures) first.
    void Draw(const Scene& s);
    void DrawTriangles(const std::vector<D3DTLVERTEX>& v);
    // 0xRRGGBB of a pixel of the target, and of all of them, row by row from the top; the Z
    // buffer's values, row by row.
    uint32_t Pixel(int x, int y);
    std::vector<uint32_t> Snapshot();
    std::vector<uint16_t> Depths();
    // Whether the device draws fog and alpha blending yet: a small probe drawn and read back
    // (it leaves the device untextured).
    bool DrawsFog();
    bool DrawsAlphaBlend();

private:
    void Set(D3DRENDERSTATETYPE state, DWORD value) { device_->SetRenderState(state, value); }
    void ReleaseTextures();

    struct Loaded
    {
        IDirectDrawSurface* surface = nullptr;
        IDirect3DTexture2* texture = nullptr;
        D3DTEXTUREHANDLE handle = 0;
    };

    IDirectDraw2* dd_ = nullptr;
    IDirect3D2* d3d_ = nullptr;
    IDirectDrawSurface* target_ = nullptr;
    IDirectDrawSurface* z_ = nullptr;
    IDirect3DDevice2* device_ = nullptr;
    IDirect3DViewport2* viewport_ = nullptr;
    IDirect3DMaterial2* background_ = nullptr;
    std::vector<Loaded> textures_;
    std::vector<D3DTLVERTEX> staging_;
};

} // namespace bench
