// What both benchmark programs draw: the reference scene (screen-space textured quads at several
// depths) and our device on a 640x480 5:6:5 target with a 16-bit Z buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d/d3d.h"

namespace bench
{

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kTextureSize = 256;
// The fog colour of the fogged variant, 0x00RRGGBB.
constexpr D3DCOLOR kFogColor = 0x8898A8u;

enum class Variant
{
    Plain, // textured (bilinear, modulated), Gouraud, Z-tested
    Fog,   // the same with vertex fog
    Alpha, // the same blended with the vertex alpha (SRCALPHA, INVSRCALPHA)
};
const char* VariantName(Variant v);

// About 3,000 triangles (two a quad) drawn in a fixed pseudo-random order. Every vertex carries
// a colour with alpha and a fog factor (specular alpha), whichever variant is drawn.
struct ReferenceScene
{
    std::vector<D3DTLVERTEX> vertices; // four a quad
    std::vector<WORD> indices;         // six a quad, in drawing order
    std::vector<uint16_t> texture;     // 5:6:5 texels, kTextureSize squared
    double overdraw = 0;               // pixels covered by all triangles / pixels on screen
};
ReferenceScene BuildReferenceScene();

// The device the game draws with, on its own DirectDraw object.
class OurDevice
{
public:
    OurDevice();
    ~OurDevice();
    OurDevice(const OurDevice&) = delete;
    OurDevice& operator=(const OurDevice&) = delete;

    bool Ok() const { return device_ != nullptr; }
    // Uploads a square 5:6:5 texture and makes it current.
    void SetTexture(const std::vector<uint16_t>& texels, int size);
    void UseTexture();
    void NoTexture();
    // Render states for a variant of the scene; Plain with nearest filtering if !bilinear.
    void SetVariant(Variant v, bool bilinear = true);
    void Clear();
    void BeginScene() { device_->BeginScene(); }
    void EndScene() { device_->EndScene(); }
    void Draw(const ReferenceScene& s);
    void DrawTriangles(const std::vector<D3DTLVERTEX>& v);
    // 0xRRGGBB of a pixel of the target, and of all of them, row by row from the top.
    uint32_t Pixel(int x, int y);
    std::vector<uint32_t> Snapshot();
    // Whether the device draws fog and alpha blending yet: a small probe drawn and read back
    // (it leaves the device untextured).
    bool DrawsFog();
    bool DrawsAlphaBlend();

private:
    void Set(D3DRENDERSTATETYPE state, DWORD value) { device_->SetRenderState(state, value); }

    IDirectDraw2* dd_ = nullptr;
    IDirect3D2* d3d_ = nullptr;
    IDirectDrawSurface* target_ = nullptr;
    IDirectDrawSurface* z_ = nullptr;
    IDirectDrawSurface* texSurface_ = nullptr;
    IDirect3DTexture2* texture_ = nullptr;
    IDirect3DDevice2* device_ = nullptr;
    IDirect3DViewport2* viewport_ = nullptr;
    IDirect3DMaterial2* background_ = nullptr;
    D3DTEXTUREHANDLE handle_ = 0;
};

} // namespace bench
