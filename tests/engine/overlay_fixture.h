// A 320x240 16-bit display with its 3D device, the polygon blits and the 2D triangle batches set
// up as a stage start leaves them; textures made straight on the device; the overlay steps of
// a scene frame; and the back surface read back as RGB.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/display/dk_2dtri.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/display/dk_dvice.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/dk_image.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/display/dk_pblit.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/main.h"
#include "engine/common/matrixop.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw_internal.h"
#include "tests/support/engine_test.h"
#include "tests/support/golden.h"

struct Rgb
{
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Rgb& c)
{
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// 4:4:4:4 and 5:6:5 texels from 8-bit channels.
constexpr uint16_t Argb4444(int a, int r, int g, int b)
{
    return static_cast<uint16_t>((a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4));
}
constexpr uint16_t Rgb565(int r, int g, int b)
{
    return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

class OverlayTest : public LoggedTest
{
protected:
    // The display's size, and the corner of it that the tests draw in and compare.
    static constexpr int kDisplayWidth = 320;
    static constexpr int kDisplayHeight = 240;
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 48;

    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        card = D3dHardwareDescription();
        DkForgetDisplayCapabilities();
        DkClear3DCapabilities();
        const DdMode modes[] = {{kDisplayWidth, kDisplayHeight, 16}};
        DdSetModesForTests(modes, 1, 0x7E0);
        D3dSetTextureFormatsForTests(nullptr, 0);
        DkSetHardwareType(0);
        DkSetDisplayDevice(0);
        DkMarkDirectDrawForRelease();
        DkTempHeapInit(64 * 1024);
        DkHeapInit(1024 * 1024);
        DkInitialiseTrigTables();
        ASSERT_TRUE(InitGameWindow(nullptr, &ghWnd, "Overlay Test", DefWindowProcA));
        output += CaptureOutput(
            []
            {
                DkInitialiseDisplay(nullptr, 0, "c:\\none.pal", DKID_16BIT, DKLF_AS_GIVEN);
                DkInit3D();
                DkInitialisePolyBlits();
                DkInitialise2DTriangles();
            });
        ASSERT_EQ(d2d->nWidth, kDisplayWidth) << output;
        ASSERT_EQ(d2d->nBitsPerPixel, 16);
        ASSERT_NE(d3d->lpD3DDevice2, nullptr);
        ASSERT_NE(d3d->pAlphaTextureFormat, nullptr);
        Frame();
        background = Pixel(0, 0);
        ASSERT_EQ(Drawn().w, 0) << "a cleared frame is one colour";
    }

    void TearDown() override
    {
        for (auto& t : textures)
            DkReleaseTexture(t.get());
        output += CaptureOutput(
            []
            {
                // Whatever a test left queued goes before its textures do.
                DkDrawPolyBlitQueue3();
                DkDrawPolyBlitQueue2();
                DkDrawPolyBlitQueue1();
                DkProcess2DTriangles();
                DkProcess2DTrianglesB();
                DkDestroyDisplay();
                DkCallAllDestructors();
            });
        textures.clear();
        EXPECT_EQ(DdLiveObjects(), 0) << "every DirectDraw object was released";
        D3dSetHardwareDescriptionForTests(&card);
        DkClear3DCapabilities();
        DdSetModesForTests(nullptr, 0, 0x7E0);
        DkForgetDisplayCapabilities();
        DkSetHardwareType(0);
        LoggedTest::TearDown();
    }

    // A texture of w x h texels given as 16-bit values: 4:4:4:4 with alpha, else 5:6:5.
    DK_TEXTURE* Texture(int w, int h, bool alpha, const std::function<uint16_t(int, int)>& texel)
    {
        auto texture = std::make_unique<DK_TEXTURE>();
        DK_TEXTURE* t = texture.get();
        std::memset(t, 0, sizeof *t);
        t->pDeviceSurface =
            DkCreateNewSurface(w, h, 16, DKCS_DEST_TEXTURE | (alpha ? DKCS_ALPHA_TEXTURE : 0));
        EXPECT_NE(t->pDeviceSurface, nullptr);
        if (t->pDeviceSurface == nullptr)
            return nullptr;
        DdSurfaceData& s = *DdData(t->pDeviceSurface->lpSurface);
        EXPECT_EQ(s.width, static_cast<DWORD>(w));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                const uint16_t v = texel(x, y);
                std::memcpy(DdRow(s, static_cast<DWORD>(y)) + x * 2, &v, 2);
            }
        EXPECT_EQ(t->pDeviceSurface->lpSurface->QueryInterface(
                      IID_IDirect3DTexture2, reinterpret_cast<void**>(&t->lpTexture2)),
                  DD_OK);
        D3DTEXTUREHANDLE handle = 0;
        EXPECT_EQ(t->lpTexture2->GetHandle(d3d->lpD3DDevice2, &handle), D3D_OK);
        t->uHandle = handle;
        const uint8_t white[4] = {255, 255, 255, 255};
        DK_MATERIAL* material = nullptr;
        t->nMaterial = static_cast<int16_t>(
            DkCreateMaterial(&material, t, TRUE, white, white, white, 20.0f, 16));
        ++guNumTextures;
        textures.push_back(std::move(texture));
        return t;
    }

    DK_TEXTURE* Solid(int w, int h, uint16_t texel)
    {
        return Texture(w, h, false, [=](int, int) { return texel; });
    }

    // A frame as the scene draws it: the 3D part (the given call, depth on), then with depth
    // test and write off and translucency on, the overlays: blit queues 3 and 2, batch A,
    // queue 1, batch B.
    void Frame(const std::function<void()>& scene = {})
    {
        IDirect3DDevice2* device = d3d->lpD3DDevice2;
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        D3DRECT all{0, 0, kDisplayWidth, kDisplayHeight};
        ASSERT_EQ(d3d->lpD3DViewport2->Clear(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), D3D_OK);
        DkSetZEnable(1);
        DkSetZWriteEnable(1);
        if (scene)
            scene();
        device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
        device->SetRenderState(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_MODULATE);
        DkSetZEnable(0);
        DkSetZWriteEnable(0);
        output += CaptureOutput(
            []
            {
                DkDrawPolyBlitQueue3();
                DkDrawPolyBlitQueue2();
                DkProcess2DTriangles();
                DkDrawPolyBlitQueue1();
                DkProcess2DTrianglesB();
            });
        DkSetZEnable(1);
        DkSetZWriteEnable(1);
        device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
        ASSERT_EQ(device->EndScene(), D3D_OK);
    }

    const DdSurfaceData& Back() const { return *DdData(d2d->BackSurface.lpSurface); }

    // The drawn corner as RGB triples, row by row.
    std::vector<BYTE> Corner() const
    {
        const std::vector<BYTE> all = DdSurfaceToRgb(Back());
        std::vector<BYTE> rgb;
        for (int y = 0; y < kHeight; ++y)
        {
            const auto row = all.begin() + static_cast<ptrdiff_t>(y) * kDisplayWidth * 3;
            rgb.insert(rgb.end(), row, row + kWidth * 3);
        }
        return rgb;
    }

    Rgb Pixel(int x, int y) const
    {
        const std::vector<BYTE> rgb = DdSurfaceToRgb(Back());
        const size_t at = (static_cast<size_t>(y) * kDisplayWidth + x) * 3;
        return {rgb[at], rgb[at + 1], rgb[at + 2]};
    }

    // The smallest rectangle of the corner holding every pixel that differs from the
    // background.
    DK_RECT Drawn() const
    {
        const std::vector<BYTE> rgb = Corner();
        const Rgb bg = Background();
        int x0 = kWidth, y0 = kHeight, x1 = -1, y1 = -1;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
            {
                const size_t at = (static_cast<size_t>(y) * kWidth + x) * 3;
                if (Rgb{rgb[at], rgb[at + 1], rgb[at + 2]} == bg)
                    continue;
                x0 = std::min(x0, x), y0 = std::min(y0, y);
                x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
        if (x1 < 0)
            return {0, 0, 0, 0};
        return {static_cast<int16_t>(x0), static_cast<int16_t>(y0),
                static_cast<int16_t>(x1 - x0 + 1), static_cast<int16_t>(y1 - y0 + 1)};
    }

    // The cleared frame's colour (the 3D set-up's background material).
    Rgb Background() const { return background; }

    static Rgb Through565(int r, int g, int b)
    {
        const int r5 = r >> 3, g6 = g >> 2, b5 = b >> 3;
        return {r5 << 3 | r5 >> 2, g6 << 2 | g6 >> 4, b5 << 3 | b5 >> 2};
    }

    void ExpectGolden(const std::string& name)
    {
        ExpectGoldenRgb(Corner(), kWidth, kHeight, DEZOR_ENGINE_GOLDEN_DIR, name);
    }

    D3DDEVICEDESC card;
    Rgb background{};
    std::string output;
    std::vector<std::unique_ptr<DK_TEXTURE>> textures;
};
