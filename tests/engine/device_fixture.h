// A display of either depth with its 3D device on a headless window, opened as a phase's
// set-up opens it and torn down again; for the tests of what is made on the real device.
#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_dvice.h"
#include "engine/pc/display/dk_image.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/win.h"
#include "tests/support/engine_test.h"

// A display of the given depth (and size, 320x240 unless given) with its 3D device, as a phase's
// set-up leaves it. 8 bits give the software (ramp) device, 16 bits the hardware-like one.
class DeviceTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        card = D3dHardwareDescription();
        gboDkEngineOptionA = FALSE;
        gboDkShrinkAllTextures = FALSE;
    }

    void Open(int bits, const std::function<void(D3DDEVICEDESC&)>& tweak = {}, int type = 0,
              uint32_t heapBytes = 2 * 1024 * 1024, int width = 320, int height = 240)
    {
        DkForgetDisplayCapabilities();
        DkClear3DCapabilities();
        D3DDEVICEDESC desc = card;
        if (tweak)
            tweak(desc);
        D3dSetHardwareDescriptionForTests(&desc);
        const DdMode modes[] = {
            {static_cast<DWORD>(width), static_cast<DWORD>(height), static_cast<DWORD>(bits)}};
        DdSetModesForTests(modes, 1, 0x7E0);
        D3dSetTextureFormatsForTests(nullptr, 0);
        DkSetHardwareType(type);
        DkSetDisplayDevice(0);
        DkMarkDirectDrawForRelease();
        DkTempHeapInit(64 * 1024);
        DkHeapInit(heapBytes);
        ASSERT_TRUE(InitGameWindow(nullptr, &ghWnd, "Device Test", DefWindowProcA));
        output += CaptureOutput(
            [&]
            {
                DkInitialiseDisplay(nullptr, 0, "c:\\none.pal", bits == 8 ? DKID_8BIT : DKID_16BIT,
                                    DKLF_AS_GIVEN);
                DkInit3D();
            });
        ASSERT_EQ(d2d->nBitsPerPixel, bits);
        ASSERT_NE(d3d->lpD3DDevice2, nullptr);
        ASSERT_EQ(d3d->nHardwareDevice, bits == 16 ? 1 : 0);
    }

    void TearDown() override
    {
        output += CaptureOutput(
            []
            {
                DkDestroyDisplay();
                DkCallAllDestructors();
            });
        EXPECT_EQ(DdLiveObjects(), 0) << "every DirectDraw object was released";
        D3dSetHardwareDescriptionForTests(&card);
        DkClear3DCapabilities();
        DdSetModesForTests(nullptr, 0, 0x7E0);
        DkForgetDisplayCapabilities();
        DkSetHardwareType(0);
        gboDkEngineOptionA = FALSE;
        gboDkShrinkAllTextures = FALSE;
        LoggedTest::TearDown();
    }

    D3DDEVICEDESC card;
    std::string output;
};
