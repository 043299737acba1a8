#include "tools/bench/bench_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

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

// How a generated texture looks: noise over cross stripes, with structure at several scales.
struct Pattern
{
    int xShift;        // red stripes every 2^xShift texels across
    uint32_t rLo, rHi; // red of the two kinds of stripe
    int yShift;        // green stripes every 2^yShift texels down
    uint32_t gLo, gHi; // green of the two kinds of stripe
    int bShift;        // blue from a diagonal lattice of 2^bShift texels
    uint32_t bStep;    // and its steps
};

Texture MakeTexture(Rng& rng, int size, const Pattern& p)
{
    Texture t;
    t.size = size;
    t.texels.resize(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
        {
            uint32_t n = rng.Next();
            uint32_t r = ((x >> p.xShift) & 1 ? p.rHi : p.rLo) + (n & 7);
            uint32_t g = ((y >> p.yShift) & 1 ? p.gHi : p.gLo) + ((n >> 3) & 15);
            uint32_t b = ((x ^ y) >> p.bShift & 7) * p.bStep + ((n >> 7) & 7);
            t.texels[static_cast<size_t>(y) * size + x] = static_cast<uint16_t>(
                std::min(r, 31u) << 11 | std::min(g, 63u) << 5 | std::min(b, 31u));
        }
    return t;
}

D3DCOLOR VertexColor(Rng& rng)
{
    auto c = [&](uint32_t lo, uint32_t hi) { return lo + rng.Below(hi - lo + 1); };
    return c(0x70, 0xD0) << 24 | c(0x60, 0xFF) << 16 | c(0x60, 0xFF) << 8 | c(0x60, 0xFF);
}

// Fog factor (255 = clear) of a depth: clear at 2, thickest from 14 on.
DWORD FogOf(float w)
{
    float f = 1.0f - (w - 2.0f) / 12.0f;
    f = std::clamp(f, 0.0f, 1.0f);
    return static_cast<DWORD>(f * 255.0f + 0.5f) << 24;
}

// Depths 1 (near) to 16 (far) onto Z 0..1, as a projection does: z is affine in 1/w.
constexpr float kNear = 1.0f;
constexpr float kFar = 16.0f;

float ZOf(float rhw)
{
    return kFar / (kFar - kNear) * (1.0f - kNear * rhw);
}

double TriangleArea(const D3DTLVERTEX& a, const D3DTLVERTEX& b, const D3DTLVERTEX& c)
{
    return std::abs(static_cast<double>(b.sx - a.sx) * (c.sy - a.sy) -
                    static_cast<double>(c.sx - a.sx) * (b.sy - a.sy)) /
           2;
}

// The smallest and largest triangle of a call.
std::pair<double, double> AreaRange(const Scene& s, const Call& c)
{
    std::pair<double, double> range{1e30, 0};
    for (uint32_t i = c.firstIndex; i + 2 < c.firstIndex + c.indexCount; i += 3)
    {
        const D3DTLVERTEX* v = s.vertices.data() + c.firstVertex;
        const double area = TriangleArea(v[s.indices[i]], v[s.indices[i + 1]], v[s.indices[i + 2]]);
        range = {std::min(range.first, area), std::max(range.second, area)};
    }
    return range;
}

// The triangle figures of a finished scene.
void Measure(Scene& s)
{
    double total = 0;
    s.minArea = s.calls.empty() ? 0 : 1e30;
    s.maxArea = 0;
    for (const Call& c : s.calls)
    {
        const D3DTLVERTEX* v = s.vertices.data() + c.firstVertex;
        for (uint32_t i = c.firstIndex; i + 2 < c.firstIndex + c.indexCount; i += 3)
            total += TriangleArea(v[s.indices[i]], v[s.indices[i + 1]], v[s.indices[i + 2]]);
        const auto [lo, hi] = AreaRange(s, c);
        s.minArea = std::min(s.minArea, lo);
        s.maxArea = std::max(s.maxArea, hi);
    }
    s.meanArea = s.Triangles() == 0 ? 0 : total / static_cast<double>(s.Triangles());
    s.overdraw = total / (static_cast<double>(kWidth) * kHeight);
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

namespace
{

constexpr int kLayers = 5;
constexpr int kColumns = 20;
constexpr int kRows = 15;
constexpr float kCell = 32.0f;
// Quads of this area, 1,500 of them, cover the screen about 3.7 times.
constexpr float kSide = 27.5f;
constexpr int kReferenceTexture = 256;
constexpr int kWindow = 32; // texels across a quad

} // namespace

Scene BuildReferenceScene()
{
    Scene s;
    Rng rng(0x0DE20C0FFEEull);
    s.textures.push_back(MakeTexture(rng, kReferenceTexture, {3, 14, 24, 4, 30, 44, 2, 3}));

    // Each layer is a grid of quads at about one depth, each quad a tilted plane.
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
                // 1/w is affine on screen for a plane: a centre value and two slopes.
                const float rhw0 = 1.0f / (depth + rng.Range(-0.5f, 0.5f));
                const float gx = rhw0 * rng.Range(-0.3f, 0.3f) / w;
                const float gy = rhw0 * rng.Range(-0.3f, 0.3f) / h;
                const float u0 = static_cast<float>(rng.Below(kReferenceTexture - kWindow));
                const float v0 = static_cast<float>(rng.Below(kReferenceTexture - kWindow));
                for (int corner = 0; corner < 4; ++corner)
                {
                    const float dx = corner & 1 ? w / 2 : -w / 2;
                    const float dy = corner & 2 ? h / 2 : -h / 2;
                    const float rhw = rhw0 + gx * dx + gy * dy;
                    D3DTLVERTEX v{};
                    v.sx = cx + dx;
                    v.sy = cy + dy;
                    v.sz = ZOf(rhw);
                    v.rhw = rhw;
                    v.color = VertexColor(rng);
                    v.specular = FogOf(1.0f / rhw);
                    v.tu = (u0 + (corner & 1 ? kWindow : 0)) / kReferenceTexture;
                    v.tv = (v0 + (corner & 2 ? kWindow : 0)) / kReferenceTexture;
                    s.vertices.push_back(v);
                }
            }
    }

    const int quads = kLayers * kRows * kColumns;
    std::vector<int> order(quads);
    for (int i = 0; i < quads; ++i)
        order[i] = i;
    for (int i = quads - 1; i > 0; --i)
        std::swap(order[i], order[rng.Below(static_cast<uint32_t>(i + 1))]);
    for (int q : order)
        for (int k : {0, 1, 2, 2, 1, 3})
            s.indices.push_back(static_cast<WORD>(q * 4 + k));
    Call all;
    all.vertexCount = static_cast<uint32_t>(s.vertices.size());
    all.indexCount = static_cast<uint32_t>(s.indices.size());
    s.calls.push_back(all);
    Measure(s);
    return s;
}

namespace
{

constexpr int kGameCalls = 60;
constexpr int kGameTextures = 12; // 64, 128 and 256 texels square in turn
// Quads in all (two triangles each), shared out among the calls at 0.55 to 1.45 times the mean
// of what is left.
constexpr int kGameQuads = 3325;
// A call's cells are of one size on its plane: the side (pixels, at the mesh's centre) is drawn
// evenly from this range, as distances are; the nearer the mesh, the larger its cells.
constexpr float kGameMinSide = 8.5f;
constexpr float kGameMaxSide = 30.0f;
constexpr float kGameNearest = 2.2f; // depth of a mesh of the largest cells
// Every triangle of a mesh is within this range of areas (pixels), or the mesh is made again.
constexpr double kGameMinArea = 11;
constexpr double kGameMaxArea = 600;
// Inner grid points move by up to this part of a cell, so triangles differ within a mesh.
constexpr float kGameJitter = 0.15f;
// Planes are turned up to this slope (depth over breadth) from facing the screen, seen with a
// 90-degree field of view; their depth is kept within 1 +- kGameDepthSpread of the centre's.
constexpr float kGameSlope = 1.0f;
constexpr float kGameFocal = kWidth / 2.0f;
constexpr float kGameDepthSpread = 0.35f;

// A mesh: a grid of nx x ny quads on a plane seen in perspective. Each grid point is placed on
// a flat grid (cells sx x sy, turned by `angle`, centred on the screen at cx, cy), then scaled
// about the screen's centre by Z0/Z, Z being the plane's depth there (affine in the grid
// position): exactly a plane's image with the eye on the screen's centre. Texture coordinates
// follow the grid, so texture and 1/w vary across each triangle as a perspective view makes them.
struct Mesh
{
    int nx, ny;
    float sx, sy, angle, cx, cy;
    float z0, tiltX, tiltY; // depth at the centre; its relative change from centre to edge
};

struct Point
{
    float x, y, k; // screen position; k = Z0 / Z
};

Point Place(const Mesh& m, float a, float b) // a, b: grid position, 0..nx and 0..ny
{
    const float ca = std::cos(m.angle), sa = std::sin(m.angle);
    const float lx = (a - m.nx / 2.0f) * m.sx, ly = (b - m.ny / 2.0f) * m.sy;
    const float k =
        1.0f / (1.0f + m.tiltX * (2.0f * a / m.nx - 1.0f) + m.tiltY * (2.0f * b / m.ny - 1.0f));
    const float hx = kWidth / 2.0f, hy = kHeight / 2.0f;
    return {hx + k * (m.cx - hx + lx * ca - ly * sa), hy + k * (m.cy - hy + lx * sa + ly * ca), k};
}

// Where the mesh's centre may go, along one axis, for the mesh to lie on the screen: the
// screen position of a point is c + k (centre - c + l), so each corner bounds the centre on
// both sides. Its edges are straight, so the corners tell. Empty if lo > hi.
struct Span
{
    float lo, hi;
};

Span CentreSpan(const Mesh& m, bool vertical)
{
    const float extent = static_cast<float>(vertical ? kHeight : kWidth), c = extent / 2;
    Span s{-1e30f, 1e30f};
    Mesh at = m;
    at.cx = kWidth / 2.0f;
    at.cy = kHeight / 2.0f;
    for (int corner = 0; corner < 4; ++corner)
    {
        const Point p = Place(at, corner & 1 ? static_cast<float>(m.nx) : 0.0f,
                              corner & 2 ? static_cast<float>(m.ny) : 0.0f);
        const float l = ((vertical ? p.y : p.x) - c) / p.k; // the corner's offset, unscaled
        s.lo = std::max(s.lo, c + (1.0f - c) / p.k - l);
        s.hi = std::min(s.hi, c + (extent - 1.0f - c) / p.k - l);
    }
    return s;
}

// A mesh of about `quads` quads with cells of side `side`, somewhere on the screen.
Mesh PlaceMesh(Rng& rng, int quads, float side)
{
    const float aspect = std::exp(rng.Range(-0.7f, 0.7f));
    Mesh m{};
    m.nx =
        std::max(2, static_cast<int>(std::lround(std::sqrt(static_cast<float>(quads) * aspect))));
    m.ny = std::max(2, static_cast<int>(std::lround(static_cast<float>(quads) / m.nx)));
    const float stretch = rng.Range(0.8f, 1.25f);
    m.sx = side * stretch;
    m.sy = side / stretch;
    m.z0 = kGameNearest * kGameMaxSide / side * rng.Range(0.9f, 1.1f);
    for (;;)
    {
        m.angle = rng.Range(-0.6f, 0.6f);
        // The slope over half the mesh's breadth, as a part of its depth.
        m.tiltX = rng.Range(-kGameSlope, kGameSlope) * m.nx * m.sx / 2 / kGameFocal;
        m.tiltY = rng.Range(-kGameSlope, kGameSlope) * m.ny * m.sy / 2 / kGameFocal;
        const float spread = std::abs(m.tiltX) + std::abs(m.tiltY);
        if (spread > kGameDepthSpread)
            m.tiltX *= kGameDepthSpread / spread, m.tiltY *= kGameDepthSpread / spread;
        const Span x = CentreSpan(m, false), y = CentreSpan(m, true);
        if (x.lo <= x.hi && y.lo <= y.hi)
        {
            m.cx = rng.Range(x.lo, x.hi);
            m.cy = rng.Range(y.lo, y.hi);
            return m;
        }
    }
}

// Appends the mesh's vertices and indices as one call.
Call AddMesh(Scene& s, Rng& rng, const Mesh& m, int texture)
{
    // A window of the texture at 0.5 to 1.5 texels a pixel, less where it would not fit.
    const float size = static_cast<float>(s.textures[texture].size);
    const float perCell = std::min(rng.Range(0.5f, 1.5f) * std::sqrt(m.sx * m.sy),
                                   (size - 2.0f) / static_cast<float>(std::max(m.nx, m.ny)));
    const float u0 = rng.Range(1.0f, size - 1.0f - m.nx * perCell);
    const float v0 = rng.Range(1.0f, size - 1.0f - m.ny * perCell);

    Call c;
    c.texture = texture;
    c.firstVertex = static_cast<uint32_t>(s.vertices.size());
    c.firstIndex = static_cast<uint32_t>(s.indices.size());
    for (int j = 0; j <= m.ny; ++j)
        for (int i = 0; i <= m.nx; ++i)
        {
            float a = static_cast<float>(i), b = static_cast<float>(j);
            if (i > 0 && i < m.nx)
                a += rng.Range(-kGameJitter, kGameJitter);
            if (j > 0 && j < m.ny)
                b += rng.Range(-kGameJitter, kGameJitter);
            const Point p = Place(m, a, b);
            const float rhw = p.k / m.z0;
            D3DTLVERTEX v{};
            v.sx = p.x;
            v.sy = p.y;
            v.sz = ZOf(rhw);
            v.rhw = rhw;
            v.color = VertexColor(rng);
            v.specular = FogOf(1.0f / rhw);
            v.tu = (u0 + a * perCell) / size;
            v.tv = (v0 + b * perCell) / size;
            s.vertices.push_back(v);
        }
    for (int j = 0; j < m.ny; ++j)
        for (int i = 0; i < m.nx; ++i)
        {
            const int q = j * (m.nx + 1) + i;
            for (int k : {q, q + 1, q + m.nx + 1, q + m.nx + 1, q + 1, q + m.nx + 2})
                s.indices.push_back(static_cast<WORD>(k));
        }
    c.vertexCount = static_cast<uint32_t>(s.vertices.size()) - c.firstVertex;
    c.indexCount = static_cast<uint32_t>(s.indices.size()) - c.firstIndex;
    return c;
}

} // namespace

Scene BuildGameFrame()
{
    Scene s;
    s.staged = true;
    Rng rng(0x6A3E5EED5ull);
    for (int t = 0; t < kGameTextures; ++t)
    {
        Pattern p{};
        p.xShift = 1 + static_cast<int>(rng.Below(4));
        p.rLo = 4 + rng.Below(10);
        p.rHi = p.rLo + 4 + rng.Below(10);
        p.yShift = 1 + static_cast<int>(rng.Below(5));
        p.gLo = 8 + rng.Below(20);
        p.gHi = p.gLo + 6 + rng.Below(20);
        p.bShift = 1 + static_cast<int>(rng.Below(4));
        p.bStep = 1 + rng.Below(3);
        s.textures.push_back(MakeTexture(rng, 64 << (t % 3), p));
    }

    int texture = -1;
    for (int call = 0; call < kGameCalls; ++call)
    {
        // Never the texture of the call before: every call changes it.
        const int next = static_cast<int>(rng.Below(kGameTextures - 1));
        texture = texture >= 0 && next >= texture ? next + 1 : next;
        const int left = kGameQuads - static_cast<int>(s.indices.size() / 6);
        const float share = static_cast<float>(left) / static_cast<float>(kGameCalls - call);
        const int quads =
            std::max(4, static_cast<int>(std::lround(
                            share * (call + 1 < kGameCalls ? rng.Range(0.55f, 1.45f) : 1.0f))));
        for (;;)
        {
            const Mesh m = PlaceMesh(rng, quads, rng.Range(kGameMinSide, kGameMaxSide));
            const Call c = AddMesh(s, rng, m, texture);
            const auto [lo, hi] = AreaRange(s, c);
            if (lo >= kGameMinArea && hi <= kGameMaxArea)
            {
                s.calls.push_back(c);
                break;
            }
            s.vertices.resize(c.firstVertex);
            s.indices.resize(c.firstIndex);
        }
    }
    Measure(s);
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
    ReleaseTextures();
    if (background_ != nullptr)
        background_->Release();
    if (viewport_ != nullptr)
        viewport_->Release();
    if (device_ != nullptr)
        device_->Release();
    if (z_ != nullptr)
        z_->Release();
    if (target_ != nullptr)
        target_->Release();
    if (d3d_ != nullptr)
        d3d_->Release();
    if (dd_ != nullptr)
        dd_->Release();
}

void OurDevice::ReleaseTextures()
{
    for (Loaded& t : textures_)
    {
        if (t.texture != nullptr)
            t.texture->Release();
        if (t.surface != nullptr)
            t.surface->Release();
    }
    textures_.clear();
}

void OurDevice::LoadTextures(const std::vector<Texture>& textures)
{
    ReleaseTextures();
    for (const Texture& t : textures)
    {
        Loaded& l = textures_.emplace_back();
        DDSURFACEDESC d{};
        target_->GetSurfaceDesc(&d);
        d.dwSize = sizeof d;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        d.dwWidth = d.dwHeight = static_cast<DWORD>(t.size);
        d.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
        if (dd_->CreateSurface(&d, &l.surface, nullptr) != DD_OK)
            continue;
        DDSURFACEDESC locked{};
        locked.dwSize = sizeof locked;
        if (l.surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr) == DD_OK)
        {
            for (int y = 0; y < t.size; ++y)
                std::memcpy(static_cast<uint8_t*>(locked.lpSurface) + y * locked.lPitch,
                            t.texels.data() + static_cast<size_t>(y) * t.size, t.size * 2u);
            l.surface->Unlock(nullptr);
        }
        if (D3dCreateTexture(l.surface, &l.texture) == D3D_OK)
            l.texture->GetHandle(device_, &l.handle);
    }
    if (!textures_.empty())
        UseTexture(0);
}

void OurDevice::UseTexture(size_t i)
{
    Set(D3DRENDERSTATE_TEXTUREHANDLE, i < textures_.size() ? textures_[i].handle : 0);
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

void OurDevice::Draw(const Scene& s)
{
    for (const Call& c : s.calls)
    {
        UseTexture(static_cast<size_t>(c.texture));
        device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DVT_TLVERTEX,
                                      CallVertices(s, c, s.vertices, staging_), c.vertexCount,
                                      s.indices.data() + c.firstIndex, c.indexCount, 0);
    }
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

namespace
{

// Runs read(pixels, pitch) on the surface's pixels under a read-only lock; false if it could not
// be locked.
template <class Read> bool ReadLocked(IDirectDrawSurface* surface, Read read)
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    if (surface->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK)
        return false;
    read(static_cast<const uint8_t*>(d.lpSurface), static_cast<size_t>(d.lPitch));
    surface->Unlock(nullptr);
    return true;
}

} // namespace

uint32_t OurDevice::Pixel(int x, int y)
{
    uint16_t p = 0;
    ReadLocked(target_, [&](const uint8_t* pixels, size_t pitch)
               { std::memcpy(&p, pixels + y * pitch + x * 2, 2); });
    return Rgb888(p);
}

std::vector<uint32_t> OurDevice::Snapshot()
{
    std::vector<uint32_t> out;
    ReadLocked(target_,
               [&](const uint8_t* pixels, size_t pitch)
               {
                   out.reserve(static_cast<size_t>(kWidth) * kHeight);
                   for (int y = 0; y < kHeight; ++y)
                       for (int x = 0; x < kWidth; ++x)
                       {
                           uint16_t p;
                           std::memcpy(&p, pixels + y * pitch + x * 2, 2);
                           out.push_back(Rgb888(p));
                       }
               });
    return out;
}

std::vector<uint16_t> OurDevice::Depths()
{
    std::vector<uint16_t> out;
    ReadLocked(z_,
               [&](const uint8_t* pixels, size_t pitch)
               {
                   out.resize(static_cast<size_t>(kWidth) * kHeight);
                   for (int y = 0; y < kHeight; ++y)
                       std::memcpy(out.data() + static_cast<size_t>(y) * kWidth, pixels + y * pitch,
                                   kWidth * 2u);
               });
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
