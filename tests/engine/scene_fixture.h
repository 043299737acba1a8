// What the scene-graph tests share: a heap, the trig tables and the log for each test, a world
// actor on request, hand-made 16.16 values, and everything the scene modules hold emptied
// again afterwards.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_model.h"
#include "engine/common/matrixop.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/3d/dk_tblk.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "tests/support/engine_test.h"

inline constexpr int32_t ONE = 0x10000;

// n in 16.16.
constexpr int32_t Fx(double n)
{
    return static_cast<int32_t>(n * 65536.0);
}

inline void ExpectMatrixEq(const DK_MATRIX& expected, const DK_MATRIX& actual)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(expected.m[r][c], actual.m[r][c]) << "element [" << r << "][" << c << "]";
}

inline DK_MATRIX Translation(int32_t x, int32_t y, int32_t z)
{
    DK_MATRIX m;
    DkIdentityMatrix(&m);
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

// A DirectDraw object, a small target and a ramp device on it, put in the 3D context and
// taken out again.
class TestDevice
{
public:
    TestDevice()
    {
        IDirectDraw* lpDD = nullptr;
        EXPECT_EQ(DirectDrawCreate(nullptr, &lpDD, nullptr), DD_OK);
        lpDD->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd));
        lpDD->Release();
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        desc.dwWidth = 8;
        desc.dwHeight = 8;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
        EXPECT_EQ(dd->CreateSurface(&desc, &target, nullptr), DD_OK);
        EXPECT_EQ(dd->QueryInterface(IID_IDirect3D2, reinterpret_cast<void**>(&d3d2)), DD_OK);
        EXPECT_EQ(d3d2->CreateDevice(IID_IDirect3DRampDevice, target, &device), DD_OK);
        d3d->lpD3DDevice2 = device;
        d3d->lpD3DDevice = device;
    }
    ~TestDevice()
    {
        d3d->lpD3DDevice2 = nullptr;
        d3d->lpD3DDevice = nullptr;
        device->Release();
        d3d2->Release();
        target->Release();
        dd->Release();
        EXPECT_EQ(D3dLiveObjects(), 0);
        EXPECT_EQ(DdLiveObjects(), 0);
    }
    TestDevice(const TestDevice&) = delete;
    TestDevice& operator=(const TestDevice&) = delete;

    IDirectDraw2* dd = nullptr;
    IDirectDrawSurface* target = nullptr;
    IDirect3D2* d3d2 = nullptr;
    IDirect3DDevice2* device = nullptr;
};

class SceneTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        ASSERT_GE(DkHeapInit(32 << 20), 0);
        DkInitialiseTrigTables();
    }
    void TearDown() override
    {
        CaptureOutput(
            []
            {
                DkKillAllObjects();
                // Materials live in the heap that the registry is about to empty.
                MaterialDestructor();
                DkCallAllDestructors();
            });
        gpHorizonActor = nullptr;
        gnNumVisibleBlocks = 0;
        std::fill(std::begin(gaVisibleBlockBits), std::end(gaVisibleBlockBits), 0u);
        gboDrawAllTrackBlocks = FALSE;
        gboTrackBlocksActive = FALSE;
        gpWallLines = nullptr;
        gnNumWallLines = 0;
        gxTrackClipDistance = 1000 << 16;
        LoggedTest::TearDown();
    }
    DK_ACTOR* World()
    {
        if (DkGetWorldActor() == nullptr)
            CaptureOutput([] { DkCreateWorldActor(); });
        return DkGetWorldActor();
    }
};
