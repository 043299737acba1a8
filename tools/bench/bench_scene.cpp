#include "tools/bench/bench_scene.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace bench
{

namespace
{

// A small fixed generator, so the scene is the same with every standard library.
class Rng
{
public:
    explicit Rng(uint64_t seed) : s_(seed) {}
    uint32_t Next()
    {
        s_ += 0x9E3779B97F4A7C15ull;
        uint64_t z = s_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
    }
    // Uniform in [lo, hi).
    float Range(float lo, float hi)
    {
        return lo + (hi - lo) * static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f);
    }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>((uint64_t{Next()} * n) >> 32); }

private:
    uint64_t s_;
};

constexpr int kLayers = 5;
constexpr int kColumns = 20;
constexpr int kRows = 15;
constexpr float kCell = 32.0f;
// Quads of this area, 1,500 of them, cover the screen about 3.7 times.
constexpr float kSide = 27.5f;
constexpr float kNear = 1.0f;
constexpr float kFar = 16.0f;
constexpr int kWindow = 32; // texels across a quad

D3DCOLOR VertexColor(Rng& rng)
{
    auto c = [&](uint32_t lo, uint32_t hi) { return lo + rng.Below(hi - lo + 1); };
    return c(0x70, 0xD0) << 24 | c(0x60, 0xFF) << 16 | c(0x60, 0xFF) << 8 | c(0x60, 0xFF);
}

// Fog factor (255 = clear) of a depth: clear at the nearest layer, thickest at the farthest.
DWORD FogOf(float w)
{
    float f = 1.0f - (w - 2.0f) / 12.0f;
    f = std::clamp(f, 0.0f, 1.0f);
    return static_cast<DWORD>(f * 255.0f + 0.5f) << 24;
}

} // namespace

const char* VariantName(Variant v)
{
    switch (v)
    {
        case Variant::Fog:
            return "fogged";
        case Variant::Alpha:
            return "alpha-blended";
        default:
            return "textured";
    }
}

ReferenceScene BuildReferenceScene()
{
    ReferenceScene s;
    Rng rng(0x0DE20C0FFEEull);

    // A texture with structure at several scales: noise over cross stripes.
    s.texture.resize(kTextureSize * kTextureSize);
    for (int y = 0; y < kTextureSize; ++y)
        for (int x = 0; x < kTextureSize; ++x)
        {
            uint32_t n = rng.Next();
            uint32_t r = ((x >> 3) & 1 ? 24u : 14u) + (n & 7);
            uint32_t g = ((y >> 4) & 1 ? 44u : 30u) + ((n >> 3) & 15);
            uint32_t b = ((x ^ y) >> 2 & 7) * 3 + ((n >> 7) & 7);
            s.texture[static_cast<size_t>(y) * kTextureSize + x] = static_cast<uint16_t>(
                std::min(r, 31u) << 11 | std::min(g, 63u) << 5 | std::min(b, 31u));
        }

    // Each layer is a grid of quads at about one depth, each quad a tilted plane.
    double covered = 0;
    for (int layer = 0; layer < kLayers; ++layer)
    {
        const float depth = 2.0f + 2.5f * static_cast<float>(layer);
        for (int row = 0; row < kRows; ++row)
            for (int col = 0; col < kColumns; ++col)
            {
                const float stretch = rng.Range(0.8f, 1.25f);
                const float w = kSide * stretch, h = kSide / stretch;
                float cx = (static_cast<float>(col) + 0.5f) * kCell + rng.Range(-6.0f, 6.0f);
                float cy = (static_cast<float>(row) + 0.5f) * kCell + rng.Range(-6.0f, 6.0f);
                cx = std::clamp(cx, w / 2, static_cast<float>(kWidth) - w / 2);
                cy = std::clamp(cy, h / 2, static_cast<float>(kHeight) - h / 2);
                covered += static_cast<double>(w) * h;
                // 1/w is affine on screen for a plane: a centre value and two slopes.
                const float rhw0 = 1.0f / (depth + rng.Range(-0.5f, 0.5f));
                const float gx = rhw0 * rng.Range(-0.3f, 0.3f) / w;
                const float gy = rhw0 * rng.Range(-0.3f, 0.3f) / h;
                const float u0 = static_cast<float>(rng.Below(kTextureSize - kWindow));
                const float v0 = static_cast<float>(rng.Below(kTextureSize - kWindow));
                for (int corner = 0; corner < 4; ++corner)
                {
                    const float dx = corner & 1 ? w / 2 : -w / 2;
                    const float dy = corner & 2 ? h / 2 : -h / 2;
                    const float rhw = rhw0 + gx * dx + gy * dy;
                    const float z = kFar / (kFar - kNear) * (1.0f - kNear * rhw);
                    D3DTLVERTEX v{};
                    v.sx = cx + dx;
                    v.sy = cy + dy;
                    v.sz = z;
                    v.rhw = rhw;
                    v.color = VertexColor(rng);
                    v.specular = FogOf(1.0f / rhw);
                    v.tu = (u0 + (corner & 1 ? kWindow : 0)) / kTextureSize;
                    v.tv = (v0 + (corner & 2 ? kWindow : 0)) / kTextureSize;
                    s.vertices.push_back(v);
                }
            }
    }
    s.overdraw = covered / (static_cast<double>(kWidth) * kHeight);

    const int quads = kLayers * kRows * kColumns;
    std::vector<int> order(quads);
    for (int i = 0; i < quads; ++i)
        order[i] = i;
    for (int i = quads - 1; i > 0; --i)
        std::swap(order[i], order[rng.Below(static_cast<uint32_t>(i + 1))]);
    for (int q : order)
        for (int k : {0, 1, 2, 2, 1, 3})
            s.indices.push_back(static_cast<WORD>(q * 4 + k));
    return s;
}

OurDevice::OurDevice()
{
    if (DirectDrawCreate(nullptr, &dd_, nullptr) != DD_OK ||
        dd_->QueryInterface(IID_IDirect3D2, reinterpret_cast<void**>(&d3d_)) != DD_OK)
        return;
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.dwWidth = kWidth;
    d.dwHeight = kHeight;
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
    d.ddpfPixelFormat.dwSize = sizeof d.ddpfPixelFormat;
    d.ddpfPixelFormat.dwFlags = DDPF_RGB;
    d.ddpfPixelFormat.dwRGBBitCount = 16;
    d.ddpfPixelFormat.dwRBitMask = 0xF800;
    d.ddpfPixelFormat.dwGBitMask = 0x07E0;
    d.ddpfPixelFormat.dwBBitMask = 0x001F;
    DDSURFACEDESC zd{};
    zd.dwSize = sizeof zd;
    zd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_ZBUFFERBITDEPTH;
    zd.dwWidth = kWidth;
    zd.dwHeight = kHeight;
    zd.dwZBufferBitDepth = 16;
    zd.ddsCaps.dwCaps = DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY;
    if (dd_->CreateSurface(&d, &target_, nullptr) != DD_OK ||
        dd_->CreateSurface(&zd, &z_, nullptr) != DD_OK || target_->AddAttachedSurface(z_) != DD_OK)
        return;
    IDirect3DDevice2* device = nullptr;
    if (d3d_->CreateDevice(IID_IDirect3DHALDevice, target_, &device) != D3D_OK ||
        d3d_->CreateViewport(&viewport_, nullptr) != D3D_OK ||
        d3d_->CreateMaterial(&background_, nullptr) != D3D_OK)
    {
        if (device != nullptr)
            device->Release();
        return;
    }
    device_ = device;
    device_->AddViewport(viewport_);
    D3DVIEWPORT2 vp{};
    vp.dwSize = sizeof vp;
    vp.dwWidth = kWidth;
    vp.dwHeight = kHeight;
    vp.dvClipX = -1.0f;
    vp.dvClipY = 4.0f / 3.0f;
    vp.dvClipWidth = 2.0f;
    vp.dvClipHeight = 8.0f / 3.0f;
    vp.dvMinZ = 0.0f;
    vp.dvMaxZ = 1.0f;
    viewport_->SetViewport2(&vp);
    device_->SetCurrentViewport(viewport_);
    D3DMATERIAL m{};
    m.dwSize = sizeof m;
    m.diffuse = {0.125f, 0.1875f, 0.25f, 0.0f};
    background_->SetMaterial(&m);
    D3DMATERIALHANDLE h = 0;
    background_->GetHandle(device_, &h);
    viewport_->SetBackground(h);
    Set(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
}

OurDevice::~OurDevice()
{
    if (background_ != nullptr)
        background_->Release();
    if (viewport_ != nullptr)
        viewport_->Release();
    if (device_ != nullptr)
        device_->Release();
    if (texture_ != nullptr)
        texture_->Release();
    if (texSurface_ != nullptr)
        texSurface_->Release();
    if (z_ != nullptr)
        z_->Release();
    if (target_ != nullptr)
        target_->Release();
    if (d3d_ != nullptr)
        d3d_->Release();
    if (dd_ != nullptr)
        dd_->Release();
}

void OurDevice::SetTexture(const std::vector<uint16_t>& texels, int size)
{
    if (texture_ != nullptr)
        texture_->Release(), texture_ = nullptr;
    if (texSurface_ != nullptr)
        texSurface_->Release(), texSurface_ = nullptr;
    DDSURFACEDESC d{};
    target_->GetSurfaceDesc(&d);
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.dwWidth = d.dwHeight = static_cast<DWORD>(size);
    d.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
    if (dd_->CreateSurface(&d, &texSurface_, nullptr) != DD_OK)
        return;
    DDSURFACEDESC locked{};
    locked.dwSize = sizeof locked;
    if (texSurface_->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr) == DD_OK)
    {
        for (int y = 0; y < size; ++y)
            std::memcpy(static_cast<uint8_t*>(locked.lpSurface) + y * locked.lPitch,
                        texels.data() + static_cast<size_t>(y) * size, size * 2u);
        texSurface_->Unlock(nullptr);
    }
    handle_ = 0;
    if (D3dCreateTexture(texSurface_, &texture_) == D3D_OK)
        texture_->GetHandle(device_, &handle_);
    UseTexture();
}

void OurDevice::UseTexture()
{
    Set(D3DRENDERSTATE_TEXTUREHANDLE, handle_);
}

void OurDevice::NoTexture()
{
    Set(D3DRENDERSTATE_TEXTUREHANDLE, 0);
}

void OurDevice::SetVariant(Variant v, bool bilinear)
{
    const DWORD filter = bilinear ? D3DFILTER_LINEAR : D3DFILTER_NEAREST;
    Set(D3DRENDERSTATE_TEXTUREMAG, filter);
    Set(D3DRENDERSTATE_TEXTUREMIN, filter);
    Set(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
    Set(D3DRENDERSTATE_ZENABLE, 1);
    Set(D3DRENDERSTATE_ZWRITEENABLE, 1);
    Set(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
    Set(D3DRENDERSTATE_FOGENABLE, v == Variant::Fog);
    Set(D3DRENDERSTATE_FOGCOLOR, kFogColor);
    Set(D3DRENDERSTATE_ALPHABLENDENABLE, v == Variant::Alpha);
    Set(D3DRENDERSTATE_SRCBLEND, v == Variant::Alpha ? D3DBLEND_SRCALPHA : D3DBLEND_ONE);
    Set(D3DRENDERSTATE_DESTBLEND, v == Variant::Alpha ? D3DBLEND_INVSRCALPHA : D3DBLEND_ZERO);
    // A texture without alpha: MODULATEALPHA takes the vertex alpha, as GL's MODULATE does.
    Set(D3DRENDERSTATE_TEXTUREMAPBLEND,
        v == Variant::Alpha ? D3DTBLEND_MODULATEALPHA : D3DTBLEND_MODULATE);
}

void OurDevice::Clear()
{
    D3DRECT all{0, 0, kWidth, kHeight};
    viewport_->Clear(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
}

void OurDevice::Draw(const ReferenceScene& s)
{
    device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DVT_TLVERTEX, s.vertices.data(),
                                  static_cast<DWORD>(s.vertices.size()), s.indices.data(),
                                  static_cast<DWORD>(s.indices.size()), 0);
}

void OurDevice::DrawTriangles(const std::vector<D3DTLVERTEX>& v)
{
    device_->DrawPrimitive(D3DPT_TRIANGLELIST, D3DVT_TLVERTEX, v.data(),
                           static_cast<DWORD>(v.size()), 0);
}

namespace
{

uint32_t Rgb888(uint16_t p)
{
    uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

} // namespace

uint32_t OurDevice::Pixel(int x, int y)
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    if (target_->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK)
        return 0;
    uint16_t p;
    std::memcpy(&p, static_cast<const uint8_t*>(d.lpSurface) + y * d.lPitch + x * 2, 2);
    target_->Unlock(nullptr);
    return Rgb888(p);
}

std::vector<uint32_t> OurDevice::Snapshot()
{
    std::vector<uint32_t> out;
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    if (target_->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK)
        return out;
    out.reserve(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
        {
            uint16_t p;
            std::memcpy(&p, static_cast<const uint8_t*>(d.lpSurface) + y * d.lPitch + x * 2, 2);
            out.push_back(Rgb888(p));
        }
    target_->Unlock(nullptr);
    return out;
}

namespace
{

std::vector<D3DTLVERTEX> Square(D3DCOLOR color, D3DCOLOR specular)
{
    auto v = [&](float x, float y) { return D3DTLVERTEX{x, y, 0.5f, 1.0f, color, specular, 0, 0}; };
    return {v(0, 0), v(16, 0), v(0, 16), v(16, 0), v(16, 16), v(0, 16)};
}

int Distance(uint32_t a, uint32_t b)
{
    int d = 0;
    for (int shift : {0, 8, 16})
        d = std::max(d, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                 static_cast<int>((b >> shift) & 0xFF)));
    return d;
}

} // namespace

bool OurDevice::DrawsFog()
{
    SetVariant(Variant::Fog);
    NoTexture();
    Clear();
    BeginScene();
    DrawTriangles(Square(0xFFFFFFFFu, 0x00000000u)); // white, fully fogged
    EndScene();
    return Distance(Pixel(8, 8), kFogColor) <= 8;
}

bool OurDevice::DrawsAlphaBlend()
{
    SetVariant(Variant::Plain);
    NoTexture();
    Clear();
    BeginScene();
    DrawTriangles(Square(0xFFFFFFFFu, 0xFF000000u));
    SetVariant(Variant::Alpha);
    Set(D3DRENDERSTATE_ZFUNC, D3DCMP_ALWAYS);
    DrawTriangles(Square(0x80000000u, 0xFF000000u)); // black at half alpha over white
    EndScene();
    return Distance(Pixel(8, 8), 0x7F7F7F) <= 12;
}

} // namespace bench
