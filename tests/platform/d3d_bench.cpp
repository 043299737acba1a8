// Rasteriser throughput on a 640x480 16-bit target: a screenful of small triangles in the
// state combinations a race frame uses most.
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw_internal.h"

#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

namespace
{

struct Scene
{
    IDirectDraw2* dd = nullptr;
    IDirect3D2* d3d = nullptr;
    IDirectDrawSurface* target = nullptr;
    IDirectDrawSurface* z = nullptr;
    IDirectDrawSurface* texSurface = nullptr;
    IDirect3DTexture2* texture = nullptr;
    IDirect3DDevice2* device = nullptr;
    IDirect3DViewport2* viewport = nullptr;
    std::vector<D3DTLVERTEX> grid;

    Scene()
    {
        DirectDrawCreate(nullptr, &dd, nullptr);
        dd->QueryInterface(IID_IDirect3D2, reinterpret_cast<void**>(&d3d));
        DDSURFACEDESC d{};
        d.dwSize = sizeof d;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        d.dwWidth = 640;
        d.dwHeight = 480;
        d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
        d.ddpfPixelFormat.dwSize = sizeof d.ddpfPixelFormat;
        d.ddpfPixelFormat.dwFlags = DDPF_RGB;
        d.ddpfPixelFormat.dwRGBBitCount = 16;
        d.ddpfPixelFormat.dwRBitMask = 0xF800;
        d.ddpfPixelFormat.dwGBitMask = 0x07E0;
        d.ddpfPixelFormat.dwBBitMask = 0x001F;
        dd->CreateSurface(&d, &target, nullptr);
        DDSURFACEDESC zd{};
        zd.dwSize = sizeof zd;
        zd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_ZBUFFERBITDEPTH;
        zd.dwWidth = 640;
        zd.dwHeight = 480;
        zd.dwZBufferBitDepth = 16;
        zd.ddsCaps.dwCaps = DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY;
        dd->CreateSurface(&zd, &z, nullptr);
        target->AddAttachedSurface(z);
        DDSURFACEDESC td = d;
        td.dwWidth = td.dwHeight = 64;
        td.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
        dd->CreateSurface(&td, &texSurface, nullptr);
        DdSurfaceData& t = *DdData(texSurface);
        for (DWORD y = 0; y < 64; ++y)
            for (DWORD x = 0; x < 64; ++x)
            {
                uint16_t p = static_cast<uint16_t>((x ^ y) * 0x0421u);
                std::memcpy(DdRow(t, y) + x * 2, &p, 2);
            }
        D3dCreateTexture(texSurface, &texture);
        d3d->CreateDevice(IID_IDirect3DHALDevice, target, &device);
        d3d->CreateViewport(&viewport, nullptr);
        device->AddViewport(viewport);
        D3DVIEWPORT2 vp{sizeof(D3DVIEWPORT2), 0,    0,           640,  480, -1.0f,
                        4.0f / 3.0f,          2.0f, 8.0f / 3.0f, 0.0f, 1.0f};
        viewport->SetViewport2(&vp);
        device->SetCurrentViewport(viewport);
        device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        // A 40x30 grid of 16-pixel cells, two triangles each, with varying colour and depth.
        for (int cy = 0; cy < 30; ++cy)
            for (int cx = 0; cx < 40; ++cx)
            {
                auto v = [&](int dx, int dy)
                {
                    float x = static_cast<float>((cx + dx) * 16) + 0.25f;
                    float y = static_cast<float>((cy + dy) * 16) + 0.5f;
                    D3DCOLOR c = 0xFF000000u | static_cast<D3DCOLOR>(cx * 6) << 16 |
                                 static_cast<D3DCOLOR>(cy * 8) << 8 | 0x80;
                    float w = 1.0f + static_cast<float>(cy) * 0.1f;
                    return D3DTLVERTEX{x,
                                       y,
                                       0.5f,
                                       1.0f / w,
                                       c,
                                       0x80000000u,
                                       static_cast<float>(dx),
                                       static_cast<float>(dy)};
                };
                for (D3DTLVERTEX t : {v(0, 0), v(1, 0), v(0, 1), v(1, 0), v(1, 1), v(0, 1)})
                    grid.push_back(t);
            }
    }

    ~Scene()
    {
        viewport->Release();
        device->Release();
        texture->Release();
        texSurface->Release();
        z->Release();
        target->Release();
        d3d->Release();
        dd->Release();
    }

    void Frame(benchmark::State& state)
    {
        D3DRECT all{0, 0, 640, 480};
        for (auto _ : state)
        {
            viewport->Clear(1, &all, D3DCLEAR_ZBUFFER);
            device->BeginScene();
            device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DVT_TLVERTEX, grid.data(),
                                  static_cast<DWORD>(grid.size()), 0);
            device->EndScene();
        }
        state.SetItemsProcessed(state.iterations() * 640 * 480);
    }
};

void BM_GouraudZ(benchmark::State& state)
{
    Scene s;
    s.Frame(state);
}
BENCHMARK(BM_GouraudZ);

void BM_TexturedModulateBilinearPerspective(benchmark::State& state)
{
    Scene s;
    D3DTEXTUREHANDLE h = 0;
    s.texture->GetHandle(s.device, &h);
    s.device->SetRenderState(D3DRENDERSTATE_TEXTUREHANDLE, h);
    s.device->SetRenderState(D3DRENDERSTATE_TEXTUREMAG, D3DFILTER_LINEAR);
    s.Frame(state);
}
BENCHMARK(BM_TexturedModulateBilinearPerspective);

void BM_TexturedNearestFogAlphaBlend(benchmark::State& state)
{
    Scene s;
    D3DTEXTUREHANDLE h = 0;
    s.texture->GetHandle(s.device, &h);
    s.device->SetRenderState(D3DRENDERSTATE_TEXTUREHANDLE, h);
    s.device->SetRenderState(D3DRENDERSTATE_FOGENABLE, 1);
    s.device->SetRenderState(D3DRENDERSTATE_FOGCOLOR, 0x969696);
    s.device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    s.device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    s.device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    s.Frame(state);
}
BENCHMARK(BM_TexturedNearestFogAlphaBlend);

} // namespace

BENCHMARK_MAIN();
