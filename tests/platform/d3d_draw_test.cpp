// Drawing through the 3D device: exact pixels worked out by hand, and small frames compared
// with golden images (DEZOR_UPDATE_GOLDEN=1 writes and rewrites them).
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/golden.h"
#include "tests/support/test_env.h"

namespace
{

DDPIXELFORMAT Rgb16(DWORD r, DWORD g, DWORD b, DWORD a = 0)
{
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB | (a != 0 ? DDPF_ALPHAPIXELS : 0);
    pf.dwRGBBitCount = 16;
    pf.dwRBitMask = r;
    pf.dwGBitMask = g;
    pf.dwBBitMask = b;
    pf.dwRGBAlphaBitMask = a;
    return pf;
}

DDPIXELFORMAT Pal8()
{
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
    pf.dwRGBBitCount = 8;
    return pf;
}

DDSURFACEDESC Desc(DWORD w, DWORD h, const DDPIXELFORMAT* pf, DWORD caps)
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | (pf != nullptr ? DDSD_PIXELFORMAT : 0);
    d.dwWidth = w;
    d.dwHeight = h;
    d.ddsCaps.dwCaps = caps;
    if (pf != nullptr)
        d.ddpfPixelFormat = *pf;
    return d;
}

D3DTLVERTEX Tl(float x, float y, D3DCOLOR c, float z = 0.5f, float u = 0, float v = 0,
               float rhw = 1.0f, D3DCOLOR specular = 0xFF000000u)
{
    return {x, y, z, rhw, c, specular, u, v};
}

class D3dDrawTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd_, nullptr), DD_OK);
        ASSERT_EQ(dd_->QueryInterface(IID_IDirect3D2, reinterpret_cast<void**>(&d3d_)), DD_OK);
    }

    void TearDown() override
    {
        if (device_ != nullptr)
        {
            viewport_->Release();
            background_->Release();
            EXPECT_EQ(device_->Release(), 0u);
        }
        for (IDirect3DTexture2* t : textures_)
            t->Release();
        for (IDirectDrawSurface* s : surfaces_)
            s->Release();
        d3d_->Release();
        dd_->Release();
        EXPECT_EQ(D3dLiveObjects(), 0);
        EXPECT_EQ(DdLiveObjects(), 0);
    }

    IDirectDrawSurface* Surface(const DDSURFACEDESC& d)
    {
        IDirectDrawSurface* s = nullptr;
        EXPECT_EQ(dd_->CreateSurface(const_cast<DDSURFACEDESC*>(&d), &s, nullptr), DD_OK);
        surfaces_.push_back(s);
        return s;
    }

    // A target with a Z buffer, a device on it, and a viewport over all of it set up as the
    // engine sets its own up.
    void Open(DWORD w, DWORD h, bool ramp = false, DWORD background = 0x203040)
    {
        DDPIXELFORMAT pf = ramp ? Pal8() : Rgb16(0xF800, 0x07E0, 0x001F);
        target_ = Surface(Desc(w, h, &pf, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE));
        if (ramp)
        {
            // A palette of 6x6x6 colour steps and a grey ramp.
            PALETTEENTRY e[256]{};
            for (int i = 0; i < 216; ++i)
                e[i] = {BYTE(i / 36 * 51), BYTE(i / 6 % 6 * 51), BYTE(i % 6 * 51), 0};
            for (int i = 216; i < 256; ++i)
                e[i] = {BYTE((i - 216) * 6), BYTE((i - 216) * 6), BYTE((i - 216) * 6), 0};
            IDirectDrawPalette* pal = nullptr;
            ASSERT_EQ(dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, e, &pal, nullptr), DD_OK);
            target_->SetPalette(pal);
            pal->Release();
        }
        DDSURFACEDESC zd = Desc(w, h, nullptr, DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY);
        zd.dwFlags |= DDSD_ZBUFFERBITDEPTH;
        zd.dwZBufferBitDepth = 16;
        ASSERT_EQ(target_->AddAttachedSurface(Surface(zd)), DD_OK);
        ASSERT_EQ(d3d_->CreateDevice(ramp ? IID_IDirect3DRampDevice : IID_IDirect3DHALDevice,
                                     target_, &device_),
                  D3D_OK);
        ASSERT_EQ(d3d_->CreateViewport(&viewport_, nullptr), D3D_OK);
        ASSERT_EQ(device_->AddViewport(viewport_), D3D_OK);
        SetViewport(0, 0, w, h);
        ASSERT_EQ(device_->SetCurrentViewport(viewport_), D3D_OK);
        ASSERT_EQ(d3d_->CreateMaterial(&background_, nullptr), D3D_OK);
        D3DMATERIAL m{};
        m.dwSize = sizeof m;
        m.diffuse = {((background >> 16) & 0xFF) / 255.0f, ((background >> 8) & 0xFF) / 255.0f,
                     (background & 0xFF) / 255.0f, 0.0f};
        background_->SetMaterial(&m);
        D3DMATERIALHANDLE handle = 0;
        ASSERT_EQ(background_->GetHandle(device_, &handle), D3D_OK);
        viewport_->SetBackground(handle);
        ClearAll();
        device_->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    }

    void SetViewport(DWORD x, DWORD y, DWORD w, DWORD h)
    {
        D3DVIEWPORT2 vp{};
        vp.dwSize = sizeof vp;
        vp.dwX = x, vp.dwY = y, vp.dwWidth = w, vp.dwHeight = h;
        vp.dvClipX = -1.0f;
        vp.dvClipY = static_cast<float>(w) / static_cast<float>(h);
        vp.dvClipWidth = 2.0f;
        vp.dvClipHeight = 2.0f * static_cast<float>(w) / static_cast<float>(h);
        vp.dvMinZ = 0.0f;
        vp.dvMaxZ = 1.0f;
        ASSERT_EQ(viewport_->SetViewport2(&vp), D3D_OK);
    }

    void ClearAll()
    {
        const DdSurfaceData& t = *DdData(target_);
        D3DRECT all{0, 0, static_cast<LONG>(t.width), static_cast<LONG>(t.height)};
        ASSERT_EQ(viewport_->Clear(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), D3D_OK);
    }

    void Draw(D3DPRIMITIVETYPE type, const std::vector<D3DTLVERTEX>& v, DWORD flags = 0)
    {
        ASSERT_EQ(device_->DrawPrimitive(type, D3DVT_TLVERTEX, v.data(),
                                         static_cast<DWORD>(v.size()), flags),
                  D3D_OK);
    }

    void Set(D3DRENDERSTATETYPE state, DWORD value)
    {
        ASSERT_EQ(device_->SetRenderState(state, value), D3D_OK);
    }

    // Pixels are read as DirectDraw reads them: after what the device has recorded is drawn.
    uint32_t Pixel(int x, int y) const
    {
        D3dFinishDrawing();
        const DdSurfaceData& t = *DdData(target_);
        const uint8_t* row = DdRow(t, static_cast<DWORD>(y));
        if (t.bytesPerPixel == 1)
            return row[x];
        uint16_t p;
        std::memcpy(&p, row + x * 2, 2);
        return p;
    }

    uint16_t Depth(int x, int y) const
    {
        D3dFinishDrawing();
        const DdSurfaceData& z = *DdData(DdData(target_)->zbuffer);
        uint16_t p;
        std::memcpy(&p, DdRow(z, static_cast<DWORD>(y)) + x * 2, 2);
        return p;
    }

    static uint32_t Rgb565(uint32_t rgb)
    {
        return ((rgb >> 19) & 31) << 11 | ((rgb >> 10) & 63) << 5 | ((rgb >> 3) & 31);
    }

    // A texture of the given pixel values (16-bit 5:6:5 unless a format is given; 8-bit
    // textures take the low byte).
    IDirect3DTexture2* Texture(DWORD w, DWORD h, const std::vector<uint16_t>& texels,
                               DDPIXELFORMAT pf = Rgb16(0xF800, 0x07E0, 0x001F))
    {
        IDirectDrawSurface* s = Surface(Desc(w, h, &pf, DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY));
        DdSurfaceData& d = *DdData(s);
        for (DWORD y = 0; y < h; ++y)
            for (DWORD x = 0; x < w; ++x)
            {
                const uint16_t texel = texels[y * w + x];
                if (d.bytesPerPixel == 1)
                    DdRow(d, y)[x] = static_cast<uint8_t>(texel);
                else
                    std::memcpy(DdRow(d, y) + x * 2, &texel, 2);
            }
        IDirect3DTexture2* t = nullptr;
        EXPECT_EQ(D3dCreateTexture(s, &t), D3D_OK);
        textures_.push_back(t);
        return t;
    }

    void UseTexture(IDirect3DTexture2* t)
    {
        D3DTEXTUREHANDLE h = 0;
        ASSERT_EQ(t->GetHandle(device_, &h), D3D_OK);
        ASSERT_NE(h, 0u);
        Set(D3DRENDERSTATE_TEXTUREHANDLE, h);
    }

    void ExpectGolden(const std::string& name)
    {
        D3dFinishDrawing();
        ExpectGoldenFrame(*DdData(target_), DEZOR_GOLDEN_DIR, name);
    }

    IDirectDraw2* dd_ = nullptr;
    IDirect3D2* d3d_ = nullptr;
    IDirectDrawSurface* target_ = nullptr;
    IDirect3DDevice2* device_ = nullptr;
    IDirect3DViewport2* viewport_ = nullptr;
    IDirect3DMaterial2* background_ = nullptr;
    std::vector<IDirectDrawSurface*> surfaces_;
    std::vector<IDirect3DTexture2*> textures_;
};

// Device objects.

TEST_F(D3dDrawTest, DeviceAnswersBothVersionsAndDescribesItself)
{
    Open(16, 16);
    IDirect3DDevice* v1 = nullptr;
    ASSERT_EQ(device_->QueryInterface(IID_IDirect3DDevice, reinterpret_cast<void**>(&v1)), D3D_OK);
    EXPECT_EQ(static_cast<IDirect3DDevice2*>(v1), device_);
    D3DDEVICEDESC hw{}, hel{};
    ASSERT_EQ(v1->GetCaps(&hw, &hel), D3D_OK);
    const D3DDEVICEDESC described = D3dHardwareDescription();
    EXPECT_EQ(std::memcmp(&hw, &described, sizeof hw), 0);
    EXPECT_TRUE(hw.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_FOGTABLE);
    EXPECT_TRUE(hw.dpcTriCaps.dwTextureAddressCaps & D3DPTADDRESSCAPS_CLAMP);
    EXPECT_FALSE(hw.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_ZBUFFERLESSHSR);
    v1->Release();

    // The engine keeps the 5:6:5 format and the first 4:4:4:4 one; 3:3:2+8 comes after it.
    struct Seen
    {
        std::vector<DDPIXELFORMAT> formats;
    } seen;
    device_->EnumTextureFormats(
        [](DDSURFACEDESC* d, LPVOID ctx) -> HRESULT
        {
            static_cast<Seen*>(ctx)->formats.push_back(d->ddpfPixelFormat);
            return DDENUMRET_OK;
        },
        &seen);
    ASSERT_EQ(seen.formats.size(), 5u);
    EXPECT_EQ(seen.formats[0].dwFlags, DDPF_PALETTEINDEXED8);
    EXPECT_EQ(seen.formats[1].dwGBitMask, 0x03E0u);
    EXPECT_EQ(seen.formats[2].dwGBitMask, 0x07E0u) << "5:6:5 last, so it is the one kept";
    EXPECT_EQ(seen.formats[3].dwRGBAlphaBitMask, 0xF000u);
    EXPECT_EQ(seen.formats[4].dwRGBAlphaBitMask, 0xFF00u);

    EXPECT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->BeginScene(), D3DERR_SCENE_IN_SCENE);
    EXPECT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(device_->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);

    DWORD value = 0;
    Set(D3DRENDERSTATE_FOGCOLOR, 0xFFFFFF);
    ASSERT_EQ(device_->GetRenderState(D3DRENDERSTATE_FOGCOLOR, &value), D3D_OK);
    EXPECT_EQ(value, 0xFFFFFFu);
    EXPECT_EQ(device_->SetRenderState(D3DRENDERSTATE_COUNT, 1), DDERR_INVALIDPARAMS);
}

TEST_F(D3dDrawTest, RampDeviceHasAnAllZeroHardwareDescription)
{
    Open(16, 16, true);
    D3DDEVICEDESC hw{}, hel{};
    hw.dwFlags = 1;
    ASSERT_EQ(device_->GetCaps(&hw, &hel), D3D_OK);
    const D3DDEVICEDESC zero{};
    EXPECT_EQ(std::memcmp(&hw, &zero, sizeof hw), 0);
    EXPECT_EQ(hel.dcmColorModel, DWORD(D3DCOLOR_MONO));
}

TEST_F(D3dDrawTest, ExecuteBuffersAreAcceptedAndDrawNothing)
{
    Open(8, 8, false, 0);
    D3DEXECUTEBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwBufferSize = 256;
    IDirect3DExecuteBuffer* buffer = nullptr;
    ASSERT_EQ(device_->CreateExecuteBuffer(&desc, &buffer, nullptr), D3D_OK);
    D3DEXECUTEBUFFERDESC locked{};
    ASSERT_EQ(buffer->Lock(&locked), D3D_OK);
    ASSERT_NE(locked.lpData, nullptr);
    std::memset(locked.lpData, 0xFF, locked.dwBufferSize);
    EXPECT_EQ(buffer->Unlock(), D3D_OK);
    D3DEXECUTEDATA data{};
    data.dwSize = sizeof data;
    data.dwVertexCount = 3;
    EXPECT_EQ(buffer->SetExecuteData(&data), D3D_OK);
    EXPECT_EQ(device_->Execute(buffer, viewport_, 0), D3D_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(Pixel(x, y), 0u);
    buffer->Release();
}

// The call log records what the device and viewport were told, refused calls too, in order,
// and nothing while it is off.
TEST_F(D3dDrawTest, TheCallLogKeepsEveryCallInOrderOnlyWhileOn)
{
    Open(8, 8);
    Set(D3DRENDERSTATE_ZENABLE, 0);
    D3dStartCallLog();
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->BeginScene(), D3DERR_SCENE_IN_SCENE);
    Set(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
    EXPECT_EQ(device_->SetLightState(D3DLIGHTSTATE_MATERIAL, 4), D3D_OK);
    D3DMATRIX world{};
    world._11 = world._22 = world._33 = world._44 = 2.0f;
    EXPECT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_WORLD, &world), D3D_OK);
    const std::vector<D3DTLVERTEX> v = {Tl(0, 0, 0xFF0000FF), Tl(8, 0, 0xFF0000FF),
                                        Tl(0, 8, 0xFF00FF00)};
    const WORD indices[] = {0, 1, 2};
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DVT_TLVERTEX, v.data(), 3,
                                            indices, 3, D3DDP_DONOTUPDATEEXTENTS),
              D3D_OK);
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DVT_TLVERTEX, v.data(), 3,
                                            nullptr, 3, 0),
              DDERR_INVALIDPARAMS);
    SetViewport(0, 0, 4, 4);
    ASSERT_EQ(device_->SetCurrentViewport(viewport_), D3D_OK);
    D3DRECT all{0, 0, 8, 8};
    ASSERT_EQ(viewport_->Clear(1, &all, D3DCLEAR_ZBUFFER), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    D3dStopCallLog();
    Set(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);

    const std::vector<D3dLoggedCall>& log = D3dCallLog();
    const std::vector<D3dCall> order = {
        D3dCall::BeginScene,      D3dCall::BeginScene, D3dCall::RenderState, D3dCall::LightState,
        D3dCall::Transform,       D3dCall::Draw,       D3dCall::Draw,        D3dCall::SetViewport,
        D3dCall::CurrentViewport, D3dCall::Clear,      D3dCall::EndScene};
    ASSERT_EQ(log.size(), order.size());
    for (size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(log[i].call, order[i]) << i;
    EXPECT_EQ(log[1].result, D3DERR_SCENE_IN_SCENE);
    EXPECT_EQ(log[2].what, static_cast<DWORD>(D3DRENDERSTATE_SHADEMODE));
    EXPECT_EQ(log[2].value, static_cast<DWORD>(D3DSHADE_FLAT));
    EXPECT_EQ(log[3].value, 4u);
    EXPECT_EQ(log[4].what, static_cast<DWORD>(D3DTRANSFORMSTATE_WORLD));
    EXPECT_EQ(log[4].matrix._22, 2.0f);
    EXPECT_EQ(log[5].what, static_cast<DWORD>(D3DPT_TRIANGLELIST));
    EXPECT_EQ(log[5].value, static_cast<DWORD>(D3DVT_TLVERTEX));
    EXPECT_EQ(log[5].flags, D3DDP_DONOTUPDATEEXTENTS);
    ASSERT_EQ(log[5].vertices.size(), 3u);
    EXPECT_EQ(log[5].vertices[2].color, 0xFF00FF00u);
    EXPECT_EQ(log[5].indices, (std::vector<WORD>{0, 1, 2}));
    EXPECT_EQ(log[6].result, DDERR_INVALIDPARAMS);
    EXPECT_EQ(log[7].viewport.dwWidth, 4u);
    EXPECT_EQ(log[8].viewport.dwWidth, 4u);
    EXPECT_EQ(log[9].what, D3DCLEAR_ZBUFFER);
    ASSERT_EQ(log[9].rects.size(), 1u);
    EXPECT_EQ(log[9].rects[0].x2, 8);
    // The drawing itself is what it would be without the log: flat, the first vertex's blue.
    EXPECT_EQ(Pixel(1, 1), Rgb565(0x0000FF));
}

TEST_F(D3dDrawTest, ClearFillsTheBackgroundAndFarDepthInsideTheViewportOnly)
{
    Open(16, 16, false, 0xFF0000);
    SetViewport(4, 4, 8, 8);
    D3DMATERIAL m{};
    m.dwSize = sizeof m;
    m.diffuse = {0.0f, 0.0f, 1.0f, 0.0f};
    background_->SetMaterial(&m);
    Draw(D3DPT_TRIANGLELIST,
         {Tl(0, 0, 0xFFFFFF, 0.25f), Tl(16, 0, 0xFFFFFF, 0.25f), Tl(0, 16, 0xFFFFFF, 0.25f)});
    D3DRECT all{0, 0, 16, 16};
    ASSERT_EQ(viewport_->Clear(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), D3D_OK);
    EXPECT_EQ(Pixel(4, 4), 0x001Fu); // cleared to blue
    EXPECT_EQ(Depth(4, 4), 0xFFFFu);
    EXPECT_EQ(Pixel(3, 3), 0xF800u); // outside the viewport: red from the first clear
    EXPECT_EQ(Pixel(11, 4), 0x001Fu);
    EXPECT_EQ(Pixel(12, 4), 0xF800u);
}

// Coverage.

TEST_F(D3dDrawTest, PixelCentresOnLeftAndTopEdgesAreDrawnAndOnRightAndBottomNot)
{
    struct Case
    {
        float x0, y0, x1, y1;         // a rectangle as two triangles
        int left, top, right, bottom; // pixels drawn (right and bottom exclusive)
    };
    const Case cases[] = {
        {2.0f, 2.0f, 6.0f, 5.0f, 2, 2, 6, 5},
        {2.5f, 2.5f, 6.5f, 5.5f, 3, 3, 7, 6},
        {2.4f, 1.6f, 6.6f, 5.4f, 3, 2, 7, 6},
        {1.9375f, 2.0625f, 6.0625f, 5.0f, 2, 3, 7, 5}, // 1/16-pixel steps are kept
    };
    Open(10, 10);
    for (const Case& c : cases)
    {
        ClearAll();
        Draw(D3DPT_TRIANGLESTRIP, {Tl(c.x0, c.y0, 0xFFFFFF), Tl(c.x1, c.y0, 0xFFFFFF),
                                   Tl(c.x0, c.y1, 0xFFFFFF), Tl(c.x1, c.y1, 0xFFFFFF)});
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
            {
                bool inside = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
                ASSERT_EQ(Pixel(x, y) == 0xFFFFu, inside)
                    << "pixel " << x << "," << y << " of rectangle " << c.x0 << "," << c.y0;
            }
    }
}

TEST_F(D3dDrawTest, TrianglesSharingEdgesCoverEveryPixelOnce)
{
    // A fan of twelve slivers about an off-grid centre, added with ONE/ONE: a pixel drawn twice
    // would read 2, a gap inside the polygon 0.
    Open(64, 64, false, 0);
    Set(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    Set(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
    Set(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
    const float cx = 31.3f, cy = 30.7f;
    std::vector<D3DTLVERTEX> fan = {Tl(cx, cy, 0x080408)};
    for (int i = 0; i <= 12; ++i)
    {
        float a = static_cast<float>(i % 12) * 6.2831853f / 12.0f + 0.1f;
        fan.push_back(Tl(cx + 27.17f * std::cos(a), cy + 26.83f * std::sin(a), 0x080408));
    }
    Draw(D3DPT_TRIANGLEFAN, fan);
    int covered = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
        {
            uint32_t p = Pixel(x, y);
            ASSERT_TRUE(p == 0 || p == 0x0821) << "pixel " << x << "," << y << " = " << p;
            float d = std::hypot(static_cast<float>(x) - cx, static_cast<float>(y) - cy);
            if (d < 25.0f)
            {
                ASSERT_EQ(p, 0x0821u) << "gap at " << x << "," << y;
            }
            covered += p != 0;
        }
    EXPECT_GT(covered, 2000);

    // The same quad split along either diagonal covers the same pixels.
    std::vector<std::set<int>> cover;
    const D3DTLVERTEX q[4] = {Tl(3.3f, 2.6f, 0x080408), Tl(40.7f, 5.2f, 0x080408),
                              Tl(45.1f, 50.9f, 0x080408), Tl(6.2f, 38.4f, 0x080408)};
    for (int split = 0; split < 2; ++split)
    {
        ClearAll();
        if (split == 0)
            Draw(D3DPT_TRIANGLELIST, {q[0], q[1], q[2], q[0], q[2], q[3]});
        else
            Draw(D3DPT_TRIANGLELIST, {q[0], q[1], q[3], q[1], q[2], q[3]});
        std::set<int> s;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
            {
                ASSERT_NE(Pixel(x, y), 0x1042u) << "drawn twice at " << x << "," << y;
                if (Pixel(x, y) != 0)
                    s.insert(y * 64 + x);
            }
        cover.push_back(s);
    }
    EXPECT_EQ(cover[0], cover[1]);
}

TEST_F(D3dDrawTest, CullModesDropOneWindingEach)
{
    struct Case
    {
        DWORD cull;
        bool clockwiseDrawn, counterDrawn;
    };
    const Case cases[] = {
        {D3DCULL_NONE, true, true},
        {D3DCULL_CW, false, true},
        {D3DCULL_CCW, true, false},
    };
    Open(16, 16, false, 0);
    // On screen (y down) 0 -> 1 -> 2 turns clockwise.
    const D3DTLVERTEX cw[3] = {Tl(1, 1, 0xFFFFFF), Tl(12, 1, 0xFFFFFF), Tl(1, 12, 0xFFFFFF)};
    for (const Case& c : cases)
    {
        Set(D3DRENDERSTATE_CULLMODE, c.cull);
        ClearAll();
        Draw(D3DPT_TRIANGLELIST, {cw[0], cw[1], cw[2]});
        EXPECT_EQ(Pixel(3, 3) != 0, c.clockwiseDrawn) << c.cull;
        ClearAll();
        Draw(D3DPT_TRIANGLELIST, {cw[0], cw[2], cw[1]});
        EXPECT_EQ(Pixel(3, 3) != 0, c.counterDrawn) << c.cull;
        // A strip keeps the winding of its first triangle in every one that follows.
        ClearAll();
        Draw(D3DPT_TRIANGLESTRIP,
             {Tl(1, 1, 0xFFFFFF), Tl(12, 1, 0xFFFFFF), Tl(1, 12, 0xFFFFFF), Tl(12, 12, 0xFFFFFF)});
        EXPECT_EQ(Pixel(3, 3) != 0, c.clockwiseDrawn) << c.cull;
        EXPECT_EQ(Pixel(10, 10) != 0, c.clockwiseDrawn) << c.cull;
    }
}

// Shading and depth.

TEST_F(D3dDrawTest, FlatShadingTakesTheFirstVertexColour)
{
    Open(16, 16, false, 0);
    Set(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
    Draw(D3DPT_TRIANGLELIST, {Tl(0, 0, 0x00FF00), Tl(16, 0, 0xFF0000), Tl(0, 16, 0x0000FF)});
    EXPECT_EQ(Pixel(0, 0), 0x07E0u);
    EXPECT_EQ(Pixel(13, 1), 0x07E0u);
    EXPECT_EQ(Pixel(1, 13), 0x07E0u);
}

TEST_F(D3dDrawTest, DepthIsLessOrEqualWithTestAndWriteSwitches)
{
    Open(8, 8, false, 0);
    auto quad = [&](float z, D3DCOLOR c) {
        Draw(D3DPT_TRIANGLESTRIP, {Tl(0, 0, c, z), Tl(8, 0, c, z), Tl(0, 8, c, z), Tl(8, 8, c, z)});
    };
    quad(0.5f, 0xFF0000);
    EXPECT_EQ(Depth(3, 3), 32768u); // 0.5 of 65535, rounded
    quad(0.5f, 0x00FF00);           // equal depth passes
    EXPECT_EQ(Pixel(3, 3), 0x07E0u);
    quad(0.75f, 0x0000FF); // farther fails
    EXPECT_EQ(Pixel(3, 3), 0x07E0u);
    Set(D3DRENDERSTATE_ZWRITEENABLE, 0);
    quad(0.25f, 0xFFFFFF); // nearer draws but keeps the depth
    EXPECT_EQ(Pixel(3, 3), 0xFFFFu);
    EXPECT_EQ(Depth(3, 3), 32768u);
    Set(D3DRENDERSTATE_ZENABLE, 0);
    quad(0.9f, 0xFF0000); // no test at all
    EXPECT_EQ(Pixel(3, 3), 0xF800u);
    EXPECT_EQ(Depth(3, 3), 32768u);
}

TEST_F(D3dDrawTest, GouraudTrianglesCrossingInDepth)
{
    Open(96, 72);
    Draw(D3DPT_TRIANGLELIST,
         {Tl(4, 4, 0xFF0000, 0.1f), Tl(90, 20, 0x00FF00, 0.9f), Tl(20, 68, 0x0000FF, 0.5f),
          Tl(90, 4, 0xFFFF00, 0.9f), Tl(70, 68, 0x00FFFF, 0.1f), Tl(6, 40, 0xFF00FF, 0.3f)});
    ExpectGolden("d3d_gouraud_depth");
}

TEST_F(D3dDrawTest, ScreenVerticesAreClippedToTheViewportUnlessDoNotClip)
{
    Open(32, 32, false, 0);
    SetViewport(8, 8, 16, 16);
    const std::vector<D3DTLVERTEX> big = {Tl(-100, -100, 0xFFFFFF), Tl(300, -100, 0xFFFFFF),
                                          Tl(-100, 300, 0xFFFFFF)};
    Draw(D3DPT_TRIANGLELIST, big);
    EXPECT_EQ(Pixel(8, 8), 0xFFFFu);
    EXPECT_EQ(Pixel(23, 23), 0xFFFFu);
    EXPECT_EQ(Pixel(7, 8), 0u);
    EXPECT_EQ(Pixel(24, 23), 0u);
    Draw(D3DPT_TRIANGLELIST, big, D3DDP_DONOTCLIP);
    EXPECT_EQ(Pixel(0, 0), 0xFFFFu);
    EXPECT_EQ(Pixel(31, 31), 0xFFFFu); // and only the surface bounds it
}

// Textures.

TEST_F(D3dDrawTest, TextureBlendsCombineTexelsWithTheVertexColour)
{
    // 2x2 texels over an 8x8 square: each texel covers one 4x4 quarter with nearest sampling.
    Open(8, 8, false, 0);
    UseTexture(Texture(2, 2, {0xF800, 0x07E0, 0x001F, 0xFFFF}));
    struct Case
    {
        DWORD blend;
        D3DCOLOR vertex;
        uint32_t topLeft, bottomRight;
    };
    const Case cases[] = {
        {D3DTBLEND_COPY, 0x808080, 0xF800, 0xFFFF},
        {D3DTBLEND_MODULATE, 0x808080, 0x8000, 0x8410}, // 255 x 128 / 255 = 128 per channel
        {D3DTBLEND_MODULATEALPHA, 0x408000, 0x4000, 0x4400},
    };
    for (const Case& c : cases)
    {
        ClearAll();
        Set(D3DRENDERSTATE_TEXTUREMAPBLEND, c.blend);
        Draw(D3DPT_TRIANGLESTRIP, {Tl(0, 0, c.vertex, 0.5f, 0, 0), Tl(8, 0, c.vertex, 0.5f, 1, 0),
                                   Tl(0, 8, c.vertex, 0.5f, 0, 1), Tl(8, 8, c.vertex, 0.5f, 1, 1)});
        EXPECT_EQ(Pixel(0, 0), c.topLeft) << c.blend;
        EXPECT_EQ(Pixel(3, 3), c.topLeft) << c.blend;
        EXPECT_EQ(Pixel(7, 7), c.bottomRight) << c.blend;
        EXPECT_EQ(Pixel(4, 4), c.bottomRight) << c.blend;
    }
}

TEST_F(D3dDrawTest, ModulateTakesAlphaFromTheTextureOnlyWhenItHasAlpha)
{
    // White texels over black with SRCALPHA/INVSRCALPHA: the drawn grey is the alpha used.
    struct Case
    {
        DDPIXELFORMAT format;
        uint16_t texel;
        uint32_t expected;
    };
    const Case cases[] = {
        {Rgb16(0xF800, 0x07E0, 0x001F), 0xFFFF, 0x8410},         // vertex alpha 128
        {Rgb16(0x0F00, 0x00F0, 0x000F, 0xF000), 0x8FFF, 0x8C51}, // texel alpha 8/15: 136
        {Rgb16(0x0F00, 0x00F0, 0x000F, 0xF000), 0xFFFF, 0xFFFF},
    };
    Open(4, 4, false, 0);
    Set(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    Set(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    Set(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    Set(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_MODULATE);
    for (const Case& c : cases)
    {
        UseTexture(Texture(1, 1, {c.texel}, c.format));
        ClearAll();
        const D3DCOLOR v = 0x80FFFFFF;
        Draw(D3DPT_TRIANGLESTRIP, {Tl(0, 0, v, 0.5f, 0, 0), Tl(4, 0, v, 0.5f, 1, 0),
                                   Tl(0, 4, v, 0.5f, 0, 1), Tl(4, 4, v, 0.5f, 1, 1)});
        EXPECT_EQ(Pixel(1, 1), c.expected) << std::hex << c.texel;
    }
}

TEST_F(D3dDrawTest, KeyedTexelsAreLeftOutOnlyWithColourKeying)
{
    Open(8, 8, false, 0);
    IDirect3DTexture2* t = Texture(2, 2, {0xF800, 0x001F, 0x001F, 0x001F});
    DDCOLORKEY key{0x001F, 0x001F};
    IDirectDrawSurface* surface = surfaces_.back();
    ASSERT_EQ(surface->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    UseTexture(t);
    Set(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_COPY);
    const std::vector<D3DTLVERTEX> quad = {Tl(0, 0, 0, 0.5f, 0, 0), Tl(8, 0, 0, 0.5f, 1, 0),
                                           Tl(0, 8, 0, 0.5f, 0, 1), Tl(8, 8, 0, 0.5f, 1, 1)};
    for (DWORD filter : {D3DFILTER_NEAREST, D3DFILTER_LINEAR})
    {
        Set(D3DRENDERSTATE_TEXTUREMAG, filter);
        Set(D3DRENDERSTATE_COLORKEYENABLE, 1);
        ClearAll();
        Draw(D3DPT_TRIANGLESTRIP, quad);
        EXPECT_NE(Pixel(1, 1), 0u) << filter;
        EXPECT_EQ(Pixel(6, 1), 0u) << filter;
        EXPECT_EQ(Pixel(6, 6), 0u) << filter;
        EXPECT_EQ(Depth(6, 6), 0xFFFFu) << filter; // a keyed texel writes no depth either
        Set(D3DRENDERSTATE_COLORKEYENABLE, 0);
        Draw(D3DPT_TRIANGLESTRIP, quad);
        EXPECT_NE(Pixel(6, 6), 0u) << filter;
    }
}

TEST_F(D3dDrawTest, LoadCopiesAnotherTexturesPixels)
{
    Open(4, 4, false, 0);
    IDirect3DTexture2* shown = Texture(1, 1, {0xF800});
    IDirect3DTexture2* source = Texture(1, 1, {0x07E0});
    IDirect3DTexture2* wrong = Texture(2, 1, {0, 0});
    UseTexture(shown);
    Set(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_COPY);
    const std::vector<D3DTLVERTEX> quad = {Tl(0, 0, 0, 0.5f, 0, 0), Tl(4, 0, 0, 0.5f, 1, 0),
                                           Tl(0, 4, 0, 0.5f, 0, 1), Tl(4, 4, 0, 0.5f, 1, 1)};
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    Draw(D3DPT_TRIANGLESTRIP, quad);
    EXPECT_EQ(Pixel(1, 1), 0xF800u);
    ASSERT_EQ(shown->Load(source), D3D_OK);
    Draw(D3DPT_TRIANGLESTRIP, quad);
    EXPECT_EQ(Pixel(1, 1), 0x07E0u);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(shown->Load(wrong), D3DERR_TEXTURE_LOAD_FAILED);

    // A texture surface written between scenes shows from the next scene, its palette too.
    IDirectDrawSurface* surface = surfaces_[surfaces_.size() - 3];
    const uint16_t blue = 0x001F;
    DDSURFACEDESC locked{};
    locked.dwSize = sizeof locked;
    ASSERT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
    std::memcpy(locked.lpSurface, &blue, 2);
    ASSERT_EQ(surface->Unlock(nullptr), DD_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    Draw(D3DPT_TRIANGLESTRIP, quad);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(Pixel(1, 1), 0x001Fu);

    DDPIXELFORMAT pal8 = Pal8();
    IDirect3DTexture2* indexed = Texture(1, 1, {0}, pal8);
    PALETTEENTRY e[256]{};
    e[0] = {255, 0, 0, 0};
    IDirectDrawPalette* pal = nullptr;
    ASSERT_EQ(dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, e, &pal, nullptr), DD_OK);
    surfaces_.back()->SetPalette(pal);
    UseTexture(indexed);
    for (BYTE green : {0, 255})
    {
        e[0].peGreen = green;
        pal->SetEntries(0, 0, 1, e);
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
        Draw(D3DPT_TRIANGLESTRIP, quad);
        ASSERT_EQ(device_->EndScene(), D3D_OK);
        EXPECT_EQ(Pixel(1, 1), green ? 0xFFE0u : 0xF800u);
    }
    pal->Release();
}

// A texture is decoded again after any way its surface can change between scenes.
TEST_F(D3dDrawTest, TextureFollowsEveryChangeOfItsSurface)
{
    Open(4, 4, false, 0x000000);
    Set(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_COPY);
    const std::vector<D3DTLVERTEX> quad = {Tl(0, 0, 0, 0.5f, 0, 0), Tl(4, 0, 0, 0.5f, 1, 0),
                                           Tl(0, 4, 0, 0.5f, 0, 1), Tl(4, 4, 0, 0.5f, 1, 1)};
    IDirect3DTexture2* blueTexture = Texture(1, 1, {0x001F});
    IDirectDrawSurface* blue = surfaces_.back();
    struct Case
    {
        const char* name;
        std::function<void(IDirect3DTexture2*, IDirectDrawSurface*)> change;
        uint32_t shown; // pixel drawn afterwards
    };
    const Case cases[] = {
        {"colour fill",
         [](IDirect3DTexture2*, IDirectDrawSurface* s)
         {
             DDBLTFX fx{};
             fx.dwSize = sizeof fx;
             fx.dwFillColor = 0x07E0;
             ASSERT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
         },
         0x07E0},
        {"blit",
         [&](IDirect3DTexture2*, IDirectDrawSurface* s)
         { ASSERT_EQ(s->Blt(nullptr, blue, nullptr, 0, nullptr), DD_OK); },
         0x001F},
        {"fast blit",
         [&](IDirect3DTexture2*, IDirectDrawSurface* s)
         { ASSERT_EQ(s->BltFast(0, 0, blue, nullptr, 0), DD_OK); },
         0x001F},
        {"colour key",
         [&](IDirect3DTexture2*, IDirectDrawSurface* s)
         {
             DDCOLORKEY key{0xF800, 0xF800};
             ASSERT_EQ(s->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
         },
         0x0000},
        {"load",
         [&](IDirect3DTexture2* t, IDirectDrawSurface*)
         { ASSERT_EQ(t->Load(blueTexture), D3D_OK); },
         0x001F},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        IDirect3DTexture2* texture = Texture(1, 1, {0xF800});
        IDirectDrawSurface* surface = surfaces_.back();
        UseTexture(texture);
        Set(D3DRENDERSTATE_COLORKEYENABLE, 1);
        for (int scene = 0; scene < 2; ++scene)
        {
            if (scene == 1)
                c.change(texture, surface);
            ClearAll();
            ASSERT_EQ(device_->BeginScene(), D3D_OK);
            Draw(D3DPT_TRIANGLESTRIP, quad);
            ASSERT_EQ(device_->EndScene(), D3D_OK);
            EXPECT_EQ(Pixel(1, 1), scene == 0 ? 0xF800u : c.shown);
        }
    }
}

TEST_F(D3dDrawTest, PerspectiveAndAffineTexturingWithBothFilters)
{
    // Four views of one checker on a receding quad: perspective nearest, perspective bilinear,
    // affine nearest, affine bilinear.
    Open(128, 96, false, 0x000000);
    std::vector<uint16_t> checker(8 * 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            checker[y * 8 + x] = (x + y) % 2 ? 0xFFE0 : static_cast<uint16_t>(0x001F + x * 0x0840);
    UseTexture(Texture(8, 8, checker));
    Set(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_COPY);
    for (int view = 0; view < 4; ++view)
    {
        const bool perspective = view < 2, bilinear = view % 2 == 1;
        Set(D3DRENDERSTATE_TEXTUREPERSPECTIVE, perspective);
        Set(D3DRENDERSTATE_TEXTUREMAG, bilinear ? D3DFILTER_LINEAR : D3DFILTER_NEAREST);
        Set(D3DRENDERSTATE_TEXTUREMIN, bilinear ? D3DFILTER_LINEAR : D3DFILTER_NEAREST);
        const float ox = static_cast<float>(view % 2 * 64), oy = static_cast<float>(view / 2 * 48);
        // Far edge at w = 4, near edge at w = 1.
        Draw(D3DPT_TRIANGLESTRIP,
             {Tl(ox + 24, oy + 4, 0, 0.5f, 0, 0, 0.25f), Tl(ox + 40, oy + 4, 0, 0.5f, 1, 0, 0.25f),
              Tl(ox + 2, oy + 46, 0, 0.5f, 0, 1, 1.0f), Tl(ox + 62, oy + 46, 0, 0.5f, 1, 1, 1.0f)});
    }
    ExpectGolden("d3d_texture_perspective_filters");
}

// Transformed vertices.

class D3dTransformTest : public D3dDrawTest
{
protected:
    // The engine's projection (scale x 2.0, scale y 2.4, far 250, near 1) and an identity view.
    void Project(float farPlane = 250.0f)
    {
        const float n = 1.0f, q = farPlane / (farPlane - n);
        D3DMATRIX p{};
        p._11 = 1.0f;
        p._22 = 1.2f;
        p._33 = q;
        p._34 = 1.0f;
        p._43 = -q * n;
        ASSERT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &p), D3D_OK);
    }

    void DrawL(D3DPRIMITIVETYPE type, const std::vector<D3DLVERTEX>& v)
    {
        ASSERT_EQ(
            device_->DrawPrimitive(type, D3DVT_LVERTEX, v.data(), static_cast<DWORD>(v.size()), 0),
            D3D_OK);
    }
};

D3DLVERTEX L(float x, float y, float z, D3DCOLOR c, D3DCOLOR specular = 0xFF000000u)
{
    return {x, y, z, 0, c, specular, 0, 0};
}

TEST_F(D3dTransformTest, PointsLandWhereTheViewportPutsThem)
{
    Open(64, 48, false, 0);
    Project();
    // x/w = 0.5 is three quarters across; y/w = 1.2 * 0.5 is up by 0.6 of W/H = 1.333.
    D3DMATRIX world{};
    world._11 = world._22 = world._33 = world._44 = 1.0f;
    world._43 = 2.0f; // moved 2 further away
    ASSERT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_WORLD, &world), D3D_OK);
    // At w = 10: (0, 0) -> (32, 24), (2, 0) -> (38.4, 24), (1, 2) -> (35.2, 19.68), since
    // sx = (x/w + 1) / 2 * 64 and sy = (1.333 - 1.2 y/w) / 2.667 * 48.
    DrawL(D3DPT_TRIANGLELIST, {L(0.0f, 0.0f, 8.0f, 0xFFFFFF), L(2.0f, 0.0f, 8.0f, 0xFFFFFF),
                               L(1.0f, 2.0f, 8.0f, 0xFFFFFF)});
    EXPECT_NE(Pixel(35, 23), 0u);
    EXPECT_NE(Pixel(35, 20), 0u);
    EXPECT_EQ(Pixel(35, 19), 0u);
    EXPECT_EQ(Pixel(35, 24), 0u); // the bottom edge lies on row 24
    // Row 23 runs from x = 32.74 to 37.66.
    EXPECT_EQ(Pixel(32, 23), 0u);
    EXPECT_NE(Pixel(33, 23), 0u);
    EXPECT_NE(Pixel(37, 23), 0u);
    EXPECT_EQ(Pixel(38, 23), 0u);
}

TEST_F(D3dTransformTest, NearPlaneAndViewportClipping)
{
    // A floor running from behind the eye to beyond the far plane, wider than the view, and a
    // second view port inside the surface: nothing may be drawn outside it.
    Open(96, 72, false, 0x102030);
    SetViewport(8, 8, 80, 56);
    Project(40.0f);
    DrawL(D3DPT_TRIANGLESTRIP,
          {L(-30.0f, -1.0f, -5.0f, 0xFF0000), L(30.0f, -1.0f, -5.0f, 0x00FF00),
           L(-30.0f, -1.0f, 60.0f, 0x0000FF), L(30.0f, -1.0f, 60.0f, 0xFFFFFF)});
    // A triangle entirely behind the eye draws nothing.
    DrawL(D3DPT_TRIANGLELIST, {L(-1.0f, 0.0f, -2.0f, 0xFFFFFF), L(1.0f, 0.0f, -2.0f, 0xFFFFFF),
                               L(0.0f, 1.0f, -3.0f, 0xFFFFFF)});
    const uint32_t background = Rgb565(0x102030);
    for (int y = 0; y < 72; ++y)
        for (int x = 0; x < 96; ++x)
            if (x < 8 || x >= 88 || y < 8 || y >= 64)
            {
                ASSERT_EQ(Pixel(x, y), background) << x << "," << y;
            }
    // With clip y 80/56 and clip height 2 x 80/56 the floor (y = -1, y/w = -1.2 / w) meets
    // the near plane (w = 1) at row 59.52 and the far plane (w = 40) at row 36.59.
    EXPECT_NE(Pixel(47, 59), background);
    EXPECT_EQ(Pixel(47, 60), background);
    EXPECT_NE(Pixel(47, 37), background);
    EXPECT_EQ(Pixel(47, 36), background);
    ExpectGolden("d3d_clipped_floor");
}

TEST_F(D3dTransformTest, WildClipCoordinatesNeitherOverrunTheClipperNorDrawOutside)
{
    // Clip coordinates far outside every plane, where float rounding breaks the convexity the
    // clipper counts on: each triangle below grows past three vertices plus one per plane.
    // The vertices (1,0,0), (0,1,0) and (0,0,1) under a world matrix whose rows are the wanted
    // clip coordinates put exactly those through the transform.
    Open(48, 40, false, 0);
    D3DVIEWPORT2 vp{};
    vp.dwSize = sizeof vp;
    vp.dwX = 8, vp.dwY = 8, vp.dwWidth = 32, vp.dwHeight = 24;
    vp.dvClipX = -1.0f, vp.dvClipY = 0.75f, vp.dvClipWidth = 2.0f, vp.dvClipHeight = 1.5f;
    vp.dvMinZ = 0.0f, vp.dvMaxZ = 1.0f;
    ASSERT_EQ(viewport_->SetViewport2(&vp), D3D_OK);
    const float inf = INFINITY;
    const float cases[][3][4] = {
        {{0.5f, -1e20f, -1.0f, -3e38f}, {1e-38f, 0.5f, 1e-38f, -1.0f}, {1.0f, -1.0f, 0.5f, 1e20f}},
        {{0.5f, -2.0f, 0.5f, 3e38f}, {2.0f, -3e38f, -1.0f, -3e38f}, {0.0f, 0.0f, 0.0f, -2.0f}},
        {{0.5f, 0.5f, 1.0f, -1.0f}, {-2.0f, -inf, 0.5f, 2.0f}, {-1.0f, 2.0f, -1.0f, 1e20f}},
        {{2.0f, 3e38f, -1.0f, -3e38f}, {0.0f, 1e-38f, 1e-38f, -1.0f}, {1e-38f, 0.0f, 1e-38f, 2.0f}},
    };
    for (const auto& c : cases)
    {
        D3DMATRIX world{};
        float* m = &world._11;
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 4; ++col)
                m[row * 4 + col] = c[row][col];
        ASSERT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_WORLD, &world), D3D_OK);
        DrawL(D3DPT_TRIANGLELIST, {L(1.0f, 0.0f, 0.0f, 0xFFFFFF), L(0.0f, 1.0f, 0.0f, 0xFFFFFF),
                                   L(0.0f, 0.0f, 1.0f, 0xFFFFFF)});
    }
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x)
            if (x < 8 || x >= 40 || y < 8 || y >= 32)
            {
                ASSERT_EQ(Pixel(x, y), 0u) << x << "," << y;
            }
}

TEST_F(D3dTransformTest, WildVerticesAreClippedOrRefusedInEveryDrawingState)
{
    // Screen and untransformed vertices mixing ordinary values with huge, tiny, infinite and
    // NaN ones, drawn as every primitive in textured, filtered, fogged and blended states:
    // nothing may land outside the viewport (the sanitizers watch the conversions).
    Open(48, 40, false, 0);
    SetViewport(8, 8, 32, 24);
    Project();
    UseTexture(Texture(2, 2, {0xF800, 0x07E0, 0x001F, 0xFFFF}));
    const float inf = INFINITY, nan = NAN;
    const float values[] = {0.0f,  5.0f,   20.0f, 47.0f, -3.0f, 0.5f,   1e6f,    -1e6f,
                            3e38f, -3e38f, inf,   -inf,  nan,   1e-30f, -1e-30f, 2.0f};
    uint32_t seed = 12345;
    auto next = [&]
    {
        seed = seed * 1664525u + 1013904223u;
        return values[(seed >> 16) % std::size(values)];
    };
    const D3DPRIMITIVETYPE types[] = {D3DPT_POINTLIST,    D3DPT_LINELIST,      D3DPT_LINESTRIP,
                                      D3DPT_TRIANGLELIST, D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN};
    // Unclipped screen vertices may draw anywhere on the surface, so they come last.
    for (DWORD flags : {DWORD{0}, DWORD{D3DDP_DONOTCLIP}})
    {
        for (int state = 0; state < 8; ++state)
        {
            Set(D3DRENDERSTATE_TEXTUREMAG, state & 1 ? D3DFILTER_LINEAR : D3DFILTER_NEAREST);
            Set(D3DRENDERSTATE_TEXTUREPERSPECTIVE, state & 2 ? 1 : 0);
            Set(D3DRENDERSTATE_FOGENABLE, state & 4 ? 1 : 0);
            Set(D3DRENDERSTATE_ALPHABLENDENABLE, state & 4 ? 0 : 1);
            for (D3DPRIMITIVETYPE type : types)
                for (int round = 0; round < 6; ++round)
                {
                    std::vector<D3DTLVERTEX> tl;
                    std::vector<D3DLVERTEX> l;
                    for (int i = 0; i < 5; ++i)
                    {
                        tl.push_back(Tl(next(), next(), 0xFF80FF80u, next(), next(), next(), next(),
                                        0x80000000u));
                        l.push_back(
                            {next(), next(), next(), 0, 0xFF80FF80u, 0x80000000u, next(), next()});
                    }
                    Draw(type, tl, flags);
                    DrawL(type, l);
                }
        }
        if (flags != 0)
            break;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 48; ++x)
                if (x < 8 || x >= 40 || y < 8 || y >= 32)
                {
                    ASSERT_EQ(Pixel(x, y), 0u) << x << "," << y;
                }
    }
}

TEST_F(D3dTransformTest, TexturedFloorCutByTheNearPlaneKeepsItsPerspective)
{
    // A checker floor from behind the eye into the distance, seen from above at an angle: the
    // squares must shrink evenly with distance right up to the near-plane cut.
    Open(128, 96, false, 0x000000);
    Project();
    std::vector<uint16_t> checker(8 * 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            checker[y * 8 + x] = (x + y) % 2 ? 0xFFFF : 0xF800;
    UseTexture(Texture(8, 8, checker));
    Set(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_COPY);
    D3DMATRIX view{};
    view._11 = view._44 = 1.0f;
    // Eye at (0, 2, 0) looking down by 36.87 degrees: rows are the world axes in the eye's
    // right, up and forward, the last row is -eye in those.
    view._22 = view._33 = 0.8f;
    view._23 = -0.6f;
    view._32 = 0.6f;
    view._42 = -1.6f;
    view._43 = 1.2f;
    ASSERT_EQ(device_->SetTransform(D3DTRANSFORMSTATE_VIEW, &view), D3D_OK);
    const D3DLVERTEX floor[4] = {{-8, 0, -4, 0, 0xFFFFFFFF, 0xFF000000u, 0, 1},
                                 {8, 0, -4, 0, 0xFFFFFFFF, 0xFF000000u, 1, 1},
                                 {-8, 0, 28, 0, 0xFFFFFFFF, 0xFF000000u, 0, 0},
                                 {8, 0, 28, 0, 0xFFFFFFFF, 0xFF000000u, 1, 0}};
    const WORD strip[4] = {0, 1, 2, 3};
    ASSERT_EQ(
        device_->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, D3DVT_LVERTEX, floor, 4, strip, 4, 0),
        D3D_OK);
    ExpectGolden("d3d_textured_floor_near_cut");
}

TEST_F(D3dTransformTest, LinesAreClippedToTheViewportAndTheNearPlane)
{
    Open(32, 32, false, 0);
    SetViewport(8, 8, 16, 16);
    Project();
    // Across the whole view on the centre row, and along the view axis through the eye.
    DrawL(D3DPT_LINELIST, {L(-50.0f, 0.0f, 5.0f, 0xFFFFFF), L(50.0f, 0.0f, 5.0f, 0xFFFFFF),
                           L(0.0f, -0.5f, -5.0f, 0xFF0000), L(0.0f, -0.5f, 20.0f, 0xFF0000)});
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if (x < 8 || x >= 24 || y < 8 || y >= 24)
            {
                ASSERT_EQ(Pixel(x, y), 0u) << x << "," << y;
            }
    for (int x = 9; x < 23; ++x)
        EXPECT_EQ(Pixel(x, 16), 0xFFFFu) << x;
    // The axis line starts where the near plane cuts it (y/w = -0.6: row 20.8) and runs up to
    // row 16.24 (w = 20).
    EXPECT_EQ(Pixel(16, 21), 0u);
    EXPECT_EQ(Pixel(16, 20), 0xF800u);
    EXPECT_EQ(Pixel(16, 17), 0xF800u);
}

TEST_F(D3dTransformTest, UnlitVerticesTakeTheMaterialColour)
{
    Open(16, 16, false, 0);
    Project();
    IDirect3DMaterial2* m = nullptr;
    ASSERT_EQ(d3d_->CreateMaterial(&m, nullptr), D3D_OK);
    D3DMATERIAL mat{};
    mat.dwSize = sizeof mat;
    mat.diffuse = {1.0f, 0.0f, 1.0f, 1.0f};
    m->SetMaterial(&mat);
    D3DMATERIALHANDLE h = 0;
    m->GetHandle(device_, &h);
    ASSERT_EQ(device_->SetLightState(D3DLIGHTSTATE_MATERIAL, h), D3D_OK);
    const D3DVERTEX v[3] = {
        {-5, -5, 2, 0, 0, -1, 0, 0}, {5, -5, 2, 0, 0, -1, 0, 0}, {0, 5, 2, 0, 0, -1, 0, 0}};
    const WORD idx[3] = {0, 2, 1};
    ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DVT_VERTEX, v, 3, idx, 3, 0),
              D3D_OK);
    EXPECT_EQ(Pixel(8, 8), 0xF81Fu);
    // Components outside 0..1 are held at its ends, and a NaN one reads as 0.
    mat.diffuse = {NAN, 2.0f, -1.0f, 1.0f};
    m->SetMaterial(&mat);
    ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DVT_VERTEX, v, 3, idx, 3, 0),
              D3D_OK);
    EXPECT_EQ(Pixel(8, 8), 0x07E0u);
    const WORD bad[3] = {0, 1, 3};
    EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DVT_VERTEX, v, 3, bad, 3, 0),
              DDERR_INVALIDPARAMS);
    m->Release();
}

TEST_F(D3dDrawTest, LinesDrawFromTheirStartUpToTheirEnd)
{
    Open(16, 16, false, 0);
    Draw(D3DPT_LINELIST,
         {Tl(2, 5, 0xFFFFFF), Tl(10, 5, 0xFFFFFF), Tl(3, 14, 0xFF0000), Tl(3, 8, 0xFF0000)});
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(Pixel(x, 5) != 0, x >= 2 && x < 10) << x;
    for (int y = 6; y < 16; ++y)
        EXPECT_EQ(Pixel(3, y) != 0, y > 8 && y <= 14) << y;
}

// The statistics count what reaches the rasteriser: culled and off-screen triangles are not
// drawn, a clipped one is drawn as what is left of it.
TEST_F(D3dDrawTest, StatisticsCountWhatIsDrawnAndEveryVertexGiven)
{
    Open(32, 32, false, 0);
    D3DSTATS stats{};
    EXPECT_EQ(device_->GetStats(&stats), DDERR_INVALIDPARAMS) << "a record of no size";
    auto read = [&]
    {
        D3DSTATS s{};
        s.dwSize = sizeof s;
        EXPECT_EQ(device_->GetStats(&s), D3D_OK);
        return s;
    };
    const D3DSTATS before = read();
    Set(D3DRENDERSTATE_CULLMODE, D3DCULL_CCW);
    // Rows 2-9 (centres 2.5 to 9.5 lie in y 2..10); the same triangle wound the other way is
    // culled; one wholly below the viewport is clipped away.
    Draw(D3DPT_TRIANGLELIST, {Tl(4, 2, 0xFFFFFF), Tl(12, 10, 0xFFFFFF), Tl(4, 10, 0xFFFFFF),
                              Tl(4, 2, 0xFFFFFF), Tl(4, 10, 0xFFFFFF), Tl(12, 10, 0xFFFFFF),
                              Tl(4, 40, 0xFFFFFF), Tl(12, 48, 0xFFFFFF), Tl(4, 48, 0xFFFFFF)});
    // Across the bottom edge: rows 28-31 of it are left.
    Draw(D3DPT_TRIANGLELIST, {Tl(4, 28, 0xFFFFFF), Tl(12, 40, 0xFFFFFF), Tl(4, 40, 0xFFFFFF)});
    // A row and six rows; two points of one row each.
    Draw(D3DPT_LINELIST,
         {Tl(2, 5, 0xFFFFFF), Tl(10, 5, 0xFFFFFF), Tl(3, 14, 0xFF0000), Tl(3, 8, 0xFF0000)});
    Draw(D3DPT_POINTLIST, {Tl(1, 1, 0xFFFFFF), Tl(20, 20, 0xFFFFFF)});
    const D3DSTATS after = read();
    EXPECT_EQ(after.dwTrianglesDrawn - before.dwTrianglesDrawn, 2u);
    EXPECT_EQ(after.dwLinesDrawn - before.dwLinesDrawn, 2u);
    EXPECT_EQ(after.dwPointsDrawn - before.dwPointsDrawn, 2u);
    EXPECT_EQ(after.dwSpansDrawn - before.dwSpansDrawn, 8u + 4u + 1u + 6u + 2u);
    EXPECT_EQ(after.dwVerticesProcessed - before.dwVerticesProcessed, 9u + 3u + 4u + 2u);

    // Failed draws (the test hook) draw and count nothing, then drawing goes on.
    ClearAll();
    D3dFailDrawsForTests(E_INVALIDARG, 1);
    const D3DTLVERTEX point = Tl(1, 1, 0xFFFFFF);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_POINTLIST, D3DVT_TLVERTEX, &point, 1, 0), E_INVALIDARG);
    EXPECT_EQ(Pixel(1, 1), 0u);
    EXPECT_EQ(read().dwPointsDrawn, after.dwPointsDrawn);
    Draw(D3DPT_POINTLIST, {Tl(1, 1, 0xFFFFFF)});
    EXPECT_NE(Pixel(1, 1), 0u);
}

// Frame-buffer operations.

TEST_F(D3dDrawTest, BlendPairsMixWithTheFrameBuffer)
{
    // Background (64, 128, 64) reads back as (66, 130, 66) from 5:6:5; the source is
    // (200, 100, 0) with alpha 128.
    struct Case
    {
        DWORD src, dest;
        uint32_t expected;
    };
    const Case cases[] = {
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0x8384}, // (133, 115, 33)
        {D3DBLEND_ONE, D3DBLEND_ONE, 0xFF28},              // (255, 230, 66)
        {D3DBLEND_INVSRCCOLOR, D3DBLEND_ONE, 0x6DE8},      // (109, 191, 66)
        {D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR, 0xD588},      // (214, 179, 66)
    };
    Open(4, 4, false, 0x408040);
    Set(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    for (const Case& c : cases)
    {
        ClearAll();
        Set(D3DRENDERSTATE_SRCBLEND, c.src);
        Set(D3DRENDERSTATE_DESTBLEND, c.dest);
        Draw(D3DPT_TRIANGLESTRIP, {Tl(0, 0, 0x80C86400), Tl(4, 0, 0x80C86400), Tl(0, 4, 0x80C86400),
                                   Tl(4, 4, 0x80C86400)});
        EXPECT_EQ(Pixel(1, 1), c.expected) << c.src << "/" << c.dest;
    }
}

TEST_F(D3dDrawTest, FogMixesTowardsTheFogColourBySpecularAlpha)
{
    struct Case
    {
        DWORD fogEnable;
        D3DCOLOR specular;
        uint32_t expected;
    };
    const Case cases[] = {
        {1, 0x00000000, 0xFFFF},
        {1, 0xFF000000, 0x0000},
        {1, 0x66000000, 0x9CD3}, // 0.4 black, 0.6 white: 153
        {0, 0x00000000, 0x0000},
    };
    Open(4, 4, false, 0x102030);
    Set(D3DRENDERSTATE_FOGCOLOR, 0xFFFFFF);
    for (const Case& c : cases)
    {
        Set(D3DRENDERSTATE_FOGENABLE, c.fogEnable);
        ClearAll();
        Draw(D3DPT_TRIANGLESTRIP,
             {Tl(0, 0, 0, 0.5f, 0, 0, 1, c.specular), Tl(4, 0, 0, 0.5f, 0, 0, 1, c.specular),
              Tl(0, 4, 0, 0.5f, 0, 0, 1, c.specular), Tl(4, 4, 0, 0.5f, 0, 0, 1, c.specular)});
        EXPECT_EQ(Pixel(1, 1), c.expected) << std::hex << c.specular;
    }
}

TEST_F(D3dDrawTest, StippledAlphaDrawsAShareOfPixelsByAlpha)
{
    struct Case
    {
        D3DCOLOR colour;
        int drawn; // of 64
    };
    const Case cases[] = {{0xFFFFFFFF, 64}, {0x80FFFFFF, 32}, {0x40FFFFFF, 16}, {0x00FFFFFF, 0}};
    Open(8, 8, false, 0);
    Set(D3DRENDERSTATE_STIPPLEDALPHA, 1);
    for (const Case& c : cases)
    {
        ClearAll();
        Draw(D3DPT_TRIANGLESTRIP,
             {Tl(0, 0, c.colour), Tl(8, 0, c.colour), Tl(0, 8, c.colour), Tl(8, 8, c.colour)});
        int drawn = 0, firstRow = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
            {
                drawn += Pixel(x, y) != 0;
                firstRow += y == 0 && Pixel(x, y) != 0;
            }
        EXPECT_EQ(drawn, c.drawn) << std::hex << c.colour;
        EXPECT_LE(firstRow, c.drawn / 4 + 2) << "the pattern spreads over rows";
    }
}

// Small frames of each way of drawing, one golden image each. The Gouraud, near-plane and
// ramp-device frames are the golden images of the tests above.
TEST_F(D3dDrawTest, EachDrawingStateMatchesItsGoldenFrame)
{
    Open(64, 64, false, 0x203040);
    auto quad = [&](float x0, float y0, float x1, float y1, D3DCOLOR tl, D3DCOLOR tr, D3DCOLOR bl,
                    D3DCOLOR br, D3DCOLOR spl = 0xFF000000u, D3DCOLOR spr = 0xFF000000u)
    {
        Draw(D3DPT_TRIANGLESTRIP,
             {Tl(x0, y0, tl, 0.5f, 0, 0, 1, spl), Tl(x1, y0, tr, 0.5f, 1, 0, 1, spr),
              Tl(x0, y1, bl, 0.5f, 0, 1, 1, spl), Tl(x1, y1, br, 0.5f, 1, 1, 1, spr)});
    };
    // Four quarters of primaries, each texel a 4x4 tile of its own shade.
    std::vector<uint16_t> texels(8 * 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
        {
            const uint16_t quarter[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
            const uint16_t t = quarter[(y / 4) * 2 + x / 4];
            texels[y * 8 + x] = (x + y) % 2 ? t : static_cast<uint16_t>((t >> 1) & 0x7BEF);
        }
    IDirect3DTexture2* tiles = Texture(8, 8, texels);
    // Red and key-blue in a checker of 2x2 texels.
    std::vector<uint16_t> keyed(8 * 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            keyed[y * 8 + x] = (x / 2 + y / 2) % 2 ? 0xF800 : 0x001F;
    IDirect3DTexture2* keyTexture = Texture(8, 8, keyed);
    DDCOLORKEY key{0x001F, 0x001F};
    ASSERT_EQ(surfaces_.back()->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    // A horizontal black-to-white ramp with a green band, for the blends to show against.
    auto backdrop = [&]
    {
        quad(0, 0, 64, 64, 0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF);
        quad(0, 24, 64, 40, 0x00C000, 0x00C000, 0x00C000, 0x00C000);
    };
    auto textured = [&](IDirect3DTexture2* t, DWORD blend, D3DCOLOR a, D3DCOLOR b)
    {
        UseTexture(t);
        Set(D3DRENDERSTATE_TEXTUREMAPBLEND, blend);
        quad(8, 8, 56, 56, a, b, b, a);
    };
    auto blended = [&](DWORD src, DWORD dest)
    {
        backdrop();
        Set(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
        Set(D3DRENDERSTATE_SRCBLEND, src);
        Set(D3DRENDERSTATE_DESTBLEND, dest);
        quad(8, 8, 56, 56, 0x80C86400, 0x80C86400, 0x80C86400, 0x80C86400);
    };
    struct Frame
    {
        const char* name;
        std::function<void()> draw;
    };
    const Frame frames[] = {
        {"d3d_flat_fill",
         [&]
         {
             // Each triangle takes its first vertex's colour.
             Set(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
             Draw(D3DPT_TRIANGLELIST,
                  {Tl(4, 4, 0xFF0000), Tl(60, 4, 0x00FF00), Tl(4, 60, 0x0000FF),
                   Tl(60, 8, 0xFFFF00), Tl(60, 60, 0x00FFFF), Tl(8, 60, 0xFF00FF)});
         }},
        {"d3d_gouraud_fill", [&] { quad(4, 4, 60, 60, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF); }},
        {"d3d_texture_copy", [&] { textured(tiles, D3DTBLEND_COPY, 0x000000, 0x000000); }},
        {"d3d_texture_modulate", [&] { textured(tiles, D3DTBLEND_MODULATE, 0xFFFFFF, 0x202020); }},
        {"d3d_texture_modulatealpha",
         [&]
         {
             // Over the backdrop with vertex alpha from opaque to nearly clear.
             backdrop();
             Set(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
             Set(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
             Set(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
             textured(tiles, D3DTBLEND_MODULATEALPHA, 0xFFFFFFFF, 0x20FFFFFF);
         }},
        {"d3d_colour_key",
         [&]
         {
             backdrop();
             Set(D3DRENDERSTATE_COLORKEYENABLE, 1);
             textured(keyTexture, D3DTBLEND_COPY, 0, 0);
         }},
        {"d3d_blend_srcalpha_invsrcalpha",
         [&] { blended(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA); }},
        {"d3d_blend_one_one", [&] { blended(D3DBLEND_ONE, D3DBLEND_ONE); }},
        {"d3d_blend_invsrccolor_one", [&] { blended(D3DBLEND_INVSRCCOLOR, D3DBLEND_ONE); }},
        {"d3d_blend_one_invsrccolor", [&] { blended(D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR); }},
        {"d3d_fog_ramp",
         [&]
         {
             // Unfogged on the left, all fog colour on the right.
             Set(D3DRENDERSTATE_FOGENABLE, 1);
             Set(D3DRENDERSTATE_FOGCOLOR, 0xC0C0FF);
             quad(0, 8, 64, 56, 0xFF0000, 0xFF0000, 0x00FF00, 0x00FF00, 0xFF000000u, 0x00000000u);
         }},
        {"d3d_z_order",
         [&]
         {
             // Drawn middle, far, near: the near one ends on top, the far one underneath.
             Draw(D3DPT_TRIANGLELIST,
                  {Tl(4, 4, 0x00FF00, 0.5f), Tl(44, 12, 0x00FF00, 0.5f), Tl(12, 52, 0x00FF00, 0.5f),
                   Tl(20, 16, 0xFF0000, 0.8f), Tl(60, 20, 0xFF0000, 0.8f),
                   Tl(28, 60, 0xFF0000, 0.8f), Tl(8, 36, 0x0000FF, 0.2f), Tl(56, 4, 0x0000FF, 0.2f),
                   Tl(48, 56, 0x0000FF, 0.2f)});
         }},
        {"d3d_lines",
         [&]
         {
             // A star of every slope from the centre, and a closed Gouraud line strip.
             std::vector<D3DTLVERTEX> star;
             for (int i = 0; i < 16; ++i)
             {
                 const float a = static_cast<float>(i) * 6.2831853f / 16.0f;
                 star.push_back(Tl(32, 32, 0xFFFFFF));
                 star.push_back(
                     Tl(32 + 24 * std::cos(a), 32 + 24 * std::sin(a), i % 2 ? 0xFFFF00 : 0x00FFFF));
             }
             Draw(D3DPT_LINELIST, star);
             Draw(D3DPT_LINESTRIP, {Tl(2, 2, 0xFF0000), Tl(61, 2, 0x00FF00), Tl(61, 61, 0x0000FF),
                                    Tl(2, 61, 0xFF00FF), Tl(2, 2, 0xFF0000)});
         }},
        {"d3d_screen_strips",
         [&]
         {
             // A zigzag strip across the top and a fan below it.
             std::vector<D3DTLVERTEX> strip;
             for (int i = 0; i <= 8; ++i)
                 strip.push_back(Tl(2.0f + 7.5f * static_cast<float>(i), i % 2 ? 26.0f : 4.0f,
                                    i % 3 == 0   ? 0xFF0000
                                    : i % 3 == 1 ? 0x00FF00
                                                 : 0x0000FF));
             Draw(D3DPT_TRIANGLESTRIP, strip);
             std::vector<D3DTLVERTEX> fan = {Tl(32, 46, 0xFFFFFF)};
             for (int i = 0; i <= 6; ++i)
             {
                 const float a = static_cast<float>(i) * 3.14159265f / 6.0f;
                 fan.push_back(Tl(32 - 28 * std::cos(a), 46 + 16 * std::sin(a) * (i % 2 ? 1 : 0.6f),
                                  i % 2 ? 0xFF8000 : 0x8000FF));
             }
             Draw(D3DPT_TRIANGLEFAN, fan);
         }},
    };
    for (const Frame& f : frames)
    {
        SCOPED_TRACE(f.name);
        Set(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
        Set(D3DRENDERSTATE_TEXTUREHANDLE, 0);
        Set(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
        Set(D3DRENDERSTATE_COLORKEYENABLE, 0);
        Set(D3DRENDERSTATE_FOGENABLE, 0);
        ClearAll();
        f.draw();
        ExpectGolden(f.name);
    }
}

TEST_F(D3dDrawTest, RampDeviceDrawsNearestPaletteColours)
{
    Open(64, 48, true, 0x000000);
    Set(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
    Draw(D3DPT_TRIANGLELIST, {Tl(0, 0, 0xFF0000), Tl(20, 0, 0xFF0000), Tl(0, 20, 0xFF0000)});
    EXPECT_EQ(Pixel(2, 2), 180u); // 5 * 36: full red in the 6x6x6 cube
    Draw(D3DPT_TRIANGLELIST, {Tl(0, 0, 0x303030), Tl(20, 0, 0x303030), Tl(0, 20, 0x303030)});
    EXPECT_EQ(Pixel(2, 2), 224u); // grey 48 is grey-ramp entry 8
    // Textures on the ramp device go through the texture's palette and then the target's.
    Set(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_COPY);
    UseTexture(Texture(2, 1, {0xF800, 0x001F}));
    Draw(D3DPT_TRIANGLESTRIP, {Tl(0, 0, 0, 0.5f, 0, 0), Tl(8, 0, 0, 0.5f, 1, 0),
                               Tl(0, 4, 0, 0.5f, 0, 1), Tl(8, 4, 0, 0.5f, 1, 1)});
    EXPECT_EQ(Pixel(1, 1), 180u);
    EXPECT_EQ(Pixel(6, 1), 5u);
    Set(D3DRENDERSTATE_TEXTUREHANDLE, 0);
    Set(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
    ClearAll();
    Draw(D3DPT_TRIANGLESTRIP,
         {Tl(2, 2, 0xFF0000), Tl(62, 2, 0x00FF00), Tl(2, 46, 0x0000FF), Tl(62, 46, 0xFFFFFF)});
    ExpectGolden("d3d_ramp_gouraud");
}

// Drawing shared among threads: devices record their drawing and draw it, by bands of rows on
// several threads, when anything else looks at the pixels. Every picture must come out as one
// thread draws it, target and Z, whatever the number of threads.
class D3dThreadedDrawTest : public D3dDrawTest
{
protected:
    // A device drawing on `threads` threads on the fixture's target, with a viewport like the
    // fixture's own.
    IDirect3DDevice2* Device(int threads)
    {
        const SavedVariable saved("DEZOR_RASTER_THREADS");
        setenv("DEZOR_RASTER_THREADS", std::to_string(threads).c_str(), 1);
        IDirect3DDevice2* device = nullptr;
        EXPECT_EQ(d3d_->CreateDevice(DdData(target_)->bytesPerPixel == 1 ? IID_IDirect3DRampDevice
                                                                         : IID_IDirect3DHALDevice,
                                     target_, &device),
                  D3D_OK);
        IDirect3DViewport2* vp = nullptr;
        EXPECT_EQ(d3d_->CreateViewport(&vp, nullptr), D3D_OK);
        EXPECT_EQ(device->AddViewport(vp), D3D_OK);
        D3DVIEWPORT2 desc{};
        desc.dwSize = sizeof desc;
        EXPECT_EQ(viewport_->GetViewport2(&desc), D3D_OK);
        EXPECT_EQ(vp->SetViewport2(&desc), D3D_OK);
        EXPECT_EQ(device->SetCurrentViewport(vp), D3D_OK);
        vp->Release(); // the device holds it
        device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        return device;
    }

    // Draws with `device` through the fixture's helpers (which draw through device_).
    void With(IDirect3DDevice2* device, const std::function<void()>& draw)
    {
        std::swap(device_, device);
        draw();
        std::swap(device_, device);
    }

    // The target's and Z buffer's bytes, read through a lock as the game reads them.
    std::vector<uint8_t> Locked(IDirectDrawSurface* s)
    {
        DDSURFACEDESC d{};
        d.dwSize = sizeof d;
        EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
        const auto* p = static_cast<const uint8_t*>(d.lpSurface);
        std::vector<uint8_t> bytes(p, p + static_cast<size_t>(d.lPitch) * d.dwHeight);
        EXPECT_EQ(s->Unlock(nullptr), DD_OK);
        return bytes;
    }
    std::vector<uint8_t> Frame() { return Locked(target_); }
    std::vector<uint8_t> Depths() { return Locked(DdData(target_)->zbuffer); }

    // Small random triangles (some reaching past the target's edges) as TL vertices.
    std::vector<D3DTLVERTEX> RandomTriangles(uint32_t& seed, int count, float size)
    {
        auto next = [&](float lo, float hi)
        {
            seed = seed * 1664525u + 1013904223u;
            return lo + (hi - lo) * static_cast<float>(seed >> 8) / 16777216.0f;
        };
        const DdSurfaceData& t = *DdData(target_);
        const float w = static_cast<float>(t.width), h = static_cast<float>(t.height);
        std::vector<D3DTLVERTEX> v;
        for (int i = 0; i < count; ++i)
        {
            const float cx = next(-8, w + 8), cy = next(-8, h + 8);
            for (int k = 0; k < 3; ++k)
            {
                const DWORD colour = static_cast<DWORD>(next(0, 4294967040.0f));
                const DWORD fog = static_cast<DWORD>(next(0, 255)) << 24;
                v.push_back(Tl(cx + next(-size, size), cy + next(-size, size), colour, next(0, 1),
                               next(-0.2f, 1.2f), next(-0.2f, 1.2f), next(0.2f, 1.0f), fog));
            }
        }
        return v;
    }

    // Every combination of the states the rasteriser specialises on, `each` random triangles
    // a combination, with a line now and then, drawn on 1, 2, 3 and 8 threads.
    void ExpectEveryStateCombinationMatches(bool ramp, int each)
    {
        Open(96, 72, ramp);
        std::vector<uint16_t> texels(32 * 32);
        for (size_t i = 0; i < texels.size(); ++i)
            texels[i] = static_cast<uint16_t>(i * 2654435761u >> 7) | (i % 7 == 0 ? 0x001F : 0);
        IDirect3DTexture2* keyed = Texture(32, 32, texels);
        DDCOLORKEY key{0x001F, 0x001F};
        ASSERT_EQ(surfaces_.back()->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
        IDirect3DTexture2* alpha = Texture(16, 16, texels, Rgb16(0x0F00, 0x00F0, 0x000F, 0xF000));
        IDirect3DTexture2* const textures[] = {nullptr, keyed, alpha};
        const DWORD filters[] = {D3DFILTER_NEAREST, D3DFILTER_LINEAR};
        const DWORD mapBlends[] = {D3DTBLEND_COPY, D3DTBLEND_MODULATE, D3DTBLEND_MODULATEALPHA};
        const DWORD shades[] = {D3DSHADE_FLAT, D3DSHADE_GOURAUD};
        const DWORD blends[][2] = {{0, 0}, // none
                                   {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
                                   {D3DBLEND_ONE, D3DBLEND_ONE},
                                   {D3DBLEND_INVSRCCOLOR, D3DBLEND_ONE},
                                   {D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR},
                                   {1, 1}}; // stippled
        // Digits of a combination number, lowest first: texture, filter, perspective, texture
        // blend, colour key, shading, blend, fog, Z (off, test, test and write).
        const int radix[] = {3, 2, 2, 3, 2, 2, 6, 2, 3};
        int combinations = 1;
        for (int r : radix)
            combinations *= r;
        auto states = [&](int n)
        {
            int digit[std::size(radix)];
            for (size_t i = 0; i < std::size(radix); ++i)
            {
                digit[i] = n % radix[i];
                n /= radix[i];
            }
            if (IDirect3DTexture2* t = textures[digit[0]])
                UseTexture(t);
            else
                Set(D3DRENDERSTATE_TEXTUREHANDLE, 0);
            Set(D3DRENDERSTATE_TEXTUREMAG, filters[digit[1]]);
            Set(D3DRENDERSTATE_TEXTUREPERSPECTIVE, static_cast<DWORD>(digit[2]));
            Set(D3DRENDERSTATE_TEXTUREMAPBLEND, mapBlends[digit[3]]);
            Set(D3DRENDERSTATE_COLORKEYENABLE, static_cast<DWORD>(digit[4]));
            Set(D3DRENDERSTATE_SHADEMODE, shades[digit[5]]);
            const DWORD* blend = blends[digit[6]];
            Set(D3DRENDERSTATE_ALPHABLENDENABLE, blend[0] > 1);
            Set(D3DRENDERSTATE_STIPPLEDALPHA, blend[0] == 1);
            if (blend[0] > 1)
            {
                Set(D3DRENDERSTATE_SRCBLEND, blend[0]);
                Set(D3DRENDERSTATE_DESTBLEND, blend[1]);
            }
            Set(D3DRENDERSTATE_FOGENABLE, static_cast<DWORD>(digit[7]));
            Set(D3DRENDERSTATE_FOGCOLOR, 0x8090A0);
            Set(D3DRENDERSTATE_ZENABLE, digit[8] != 0);
            Set(D3DRENDERSTATE_ZWRITEENABLE, digit[8] == 2);
        };
        auto frame = [&](IDirect3DDevice2* device)
        {
            uint32_t seed = 2024;
            With(device,
                 [&]
                 {
                     ClearAll();
                     ASSERT_EQ(device_->BeginScene(), D3D_OK);
                     for (int n = 0; n < combinations; ++n)
                     {
                         states(n);
                         Draw(D3DPT_TRIANGLELIST, RandomTriangles(seed, each, 10.0f));
                         if (n % 97 == 0)
                         {
                             std::vector<D3DTLVERTEX> line = RandomTriangles(seed, 1, 40.0f);
                             line.pop_back();
                             Draw(D3DPT_LINELIST, line);
                         }
                     }
                     ASSERT_EQ(device_->EndScene(), D3D_OK);
                 });
            return std::make_pair(Frame(), Depths());
        };
        IDirect3DDevice2* one = Device(1);
        const auto expected = frame(one);
        EXPECT_EQ(one->Release(), 0u);
        for (int threads : {2, 3, 8})
        {
            SCOPED_TRACE(threads);
            IDirect3DDevice2* shared = Device(threads);
            const auto got = frame(shared);
            EXPECT_TRUE(got.first == expected.first) << "target";
            EXPECT_TRUE(got.second == expected.second) << "Z";
            EXPECT_EQ(shared->Release(), 0u);
        }
    }
};

// 10,368 combinations: about 31,000 triangles on 5:6:5, 10,000 on the palettised ramp target.
TEST_F(D3dThreadedDrawTest, EveryStateCombinationMatchesOneThread)
{
    ExpectEveryStateCombinationMatches(false, 3);
}

TEST_F(D3dThreadedDrawTest, EveryStateCombinationMatchesOneThreadOnThePalettisedTarget)
{
    ExpectEveryStateCombinationMatches(true, 1);
}

// A lock, a blit, a texture's surface changed or loaded, or a viewport clear in the middle of a
// scene each see (and act on) the drawing before them, and the drawing after them sees them.
TEST_F(D3dThreadedDrawTest, WhatIsLookedAtMidSceneIsDrawnFirst)
{
    Open(128, 96);
    std::vector<uint16_t> texels(16 * 16), other(16 * 16);
    for (size_t i = 0; i < texels.size(); ++i)
    {
        texels[i] = static_cast<uint16_t>(i * 40503u);
        other[i] = static_cast<uint16_t>(~i * 2654435761u >> 9);
    }
    IDirect3DTexture2* texture = Texture(16, 16, texels);
    IDirectDrawSurface* textureSurface = surfaces_.back();
    IDirect3DTexture2* source = Texture(16, 16, other);
    IDirectDrawSurface* picture = Surface(Desc(24, 24, nullptr, DDSCAPS_OFFSCREENPLAIN));
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0xF81F;
    ASSERT_EQ(picture->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);

    struct Seen
    {
        std::vector<std::vector<uint8_t>> frames;
    };
    auto run = [&](IDirect3DDevice2* device)
    {
        Seen seen;
        uint32_t seed = 99;
        With(device,
             [&]
             {
                 ClearAll();
                 ASSERT_EQ(device_->BeginScene(), D3D_OK);
                 UseTexture(texture);
                 Set(D3DRENDERSTATE_TEXTUREMAG, D3DFILTER_LINEAR);
                 Draw(D3DPT_TRIANGLELIST, RandomTriangles(seed, 300, 30.0f));
                 // A lock right after a draw call sees its pixels.
                 seen.frames.push_back(Frame());
                 Draw(D3DPT_TRIANGLELIST, RandomTriangles(seed, 300, 30.0f));
                 RECT to{40, 30, 64, 54};
                 ASSERT_EQ(target_->Blt(&to, picture, nullptr, 0, nullptr), DD_OK);
                 Draw(D3DPT_TRIANGLELIST, RandomTriangles(seed, 300, 30.0f));
                 // The texture's surface changes under the scene, then it is loaded anew.
                 DDSURFACEDESC d{};
                 d.dwSize = sizeof d;
                 ASSERT_EQ(textureSurface->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
                 std::memset(d.lpSurface, 0x5A, 16 * 2);
                 ASSERT_EQ(textureSurface->Unlock(nullptr), DD_OK);
                 Draw(D3DPT_TRIANGLELIST, RandomTriangles(seed, 300, 30.0f));
                 ASSERT_EQ(texture->Load(source), D3D_OK);
                 Draw(D3DPT_TRIANGLELIST, RandomTriangles(seed, 300, 30.0f));
                 const D3DRECT part{10, 10, 50, 40};
                 IDirect3DViewport2* vp = nullptr;
                 ASSERT_EQ(device_->GetCurrentViewport(&vp), D3D_OK);
                 ASSERT_EQ(vp->Clear(1, &part, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), D3D_OK);
                 vp->Release();
                 Draw(D3DPT_TRIANGLELIST, RandomTriangles(seed, 300, 30.0f));
                 ASSERT_EQ(device_->EndScene(), D3D_OK);
             });
        seen.frames.push_back(Frame());
        seen.frames.push_back(Depths());
        return seen;
    };
    // Each device starts from the same texels.
    auto restore = [&]
    {
        DdSurfaceData& t = *DdData(textureSurface);
        for (size_t i = 0; i < texels.size(); ++i)
            std::memcpy(DdRow(t, static_cast<DWORD>(i / 16)) + i % 16 * 2, &texels[i], 2);
        DdTouch(t);
    };
    IDirect3DDevice2* one = Device(1);
    const Seen expected = run(one);
    EXPECT_EQ(one->Release(), 0u);
    for (int threads : {2, 3, 8})
    {
        SCOPED_TRACE(threads);
        restore();
        IDirect3DDevice2* shared = Device(threads);
        const Seen got = run(shared);
        ASSERT_EQ(got.frames.size(), expected.frames.size());
        for (size_t i = 0; i < got.frames.size(); ++i)
            EXPECT_TRUE(got.frames[i] == expected.frames[i]) << "frame " << i;
        EXPECT_EQ(shared->Release(), 0u);
    }
}

// The helper threads start with the first device drawing on several, keep through a display
// mode change and a lost and restored surface, and end with the last device.
TEST_F(D3dThreadedDrawTest, HelperThreadsLiveAsLongAsTheDevices)
{
    EXPECT_EQ(D3dDrawingThreads(), 0);
    Open(128, 96);
    IDirect3DDevice2* shared = Device(4);
    uint32_t seed = 7;
    auto frame = [&](IDirect3DDevice2* device)
    {
        With(device,
             [&]
             {
                 ClearAll();
                 ASSERT_EQ(device_->BeginScene(), D3D_OK);
                 Draw(D3DPT_TRIANGLELIST, RandomTriangles(seed, 200, 30.0f));
                 ASSERT_EQ(device_->EndScene(), D3D_OK);
             });
        return Frame();
    };
    const uint32_t start = seed;
    const std::vector<uint8_t> first = frame(shared);
    EXPECT_EQ(D3dDrawingThreads(), 3);

    int fakeWindow = 0;
    ASSERT_EQ(dd_->SetCooperativeLevel(reinterpret_cast<HWND>(&fakeWindow),
                                       DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DD_OK);
    ASSERT_EQ(dd_->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
    DdLoseAllSurfaces();
    ASSERT_EQ(target_->Restore(), DD_OK);
    ASSERT_EQ(DdData(target_)->zbuffer->Restore(), DD_OK);
    seed = start;
    EXPECT_TRUE(frame(shared) == first);
    EXPECT_EQ(D3dDrawingThreads(), 3);

    EXPECT_EQ(shared->Release(), 0u);
    EXPECT_EQ(D3dDrawingThreads(), 3) << "the fixture's device still lives";
    viewport_->Release();
    background_->Release();
    EXPECT_EQ(device_->Release(), 0u);
    device_ = nullptr;
    EXPECT_EQ(D3dDrawingThreads(), 0);
}

} // namespace
