// The capability answers and the materials, on our 3D device.

#include "engine/pc/3d/dk_3dcap.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/3dinit_internal.h"
#include "engine/pc/display/dk_image.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/common/matrixop.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "tests/support/engine_test.h"

namespace
{

// A DirectDraw object, a 16-bit target and a device of the kind asked, in the 3D context.
class Device3DTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        DkHeapInit(256 * 1024);
        IDirectDraw* lpDD = nullptr;
        ASSERT_EQ(DirectDrawCreate(nullptr, &lpDD, nullptr), DD_OK);
        lpDD->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd));
        lpDD->Release();
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        desc.dwWidth = 64;
        desc.dwHeight = 48;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
        ASSERT_EQ(dd->CreateSurface(&desc, &target, nullptr), DD_OK);
        ASSERT_EQ(dd->QueryInterface(IID_IDirect3D2, reinterpret_cast<void**>(&d3d->lpD3D2)),
                  DD_OK);
        d3d->lpD3D = d3d->lpD3D2;
        d3d->lpD3D->AddRef();
    }
    void TearDown() override
    {
        CaptureOutput([] { MaterialDestructor(); });
        auto release = [](auto*& p)
        {
            if (p != nullptr)
                p->Release();
            p = nullptr;
        };
        release(d3d->lpD3DDevice);
        release(d3d->lpD3DDevice2);
        release(d3d->lpD3D);
        release(d3d->lpD3D2);
        release(target);
        release(dd);
        d3d->pAlphaTextureFormat = nullptr;
        DkSetHardwareType(0);
        CaptureOutput([] { DkCallAllDestructors(); });
        EXPECT_EQ(DdLiveObjects(), 0);
        LoggedTest::TearDown();
    }
    void MakeDevice(const IID& kind)
    {
        ASSERT_EQ(d3d->lpD3D2->CreateDevice(kind, target, &d3d->lpD3DDevice2), DD_OK);
        ASSERT_EQ(d3d->lpD3DDevice2->QueryInterface(IID_IDirect3DDevice,
                                                    reinterpret_cast<void**>(&d3d->lpD3DDevice)),
                  DD_OK);
        DkGet3DCapabilities();
    }

    IDirectDraw2* dd = nullptr;
    IDirectDrawSurface* target = nullptr;
};

TEST_F(Device3DTest, TheHardwareLikeDeviceAnswersWhatItsDescriptionSays)
{
    MakeDevice(IID_IDirect3DHALDevice);
    D3DDEVICEDESC hw{};
    D3DDEVICEDESC hel{};
    hw.dwSize = hel.dwSize = sizeof hw;
    ASSERT_EQ(d3d->lpD3DDevice->GetCaps(&hw, &hel), DD_OK);

    EXPECT_EQ(DkCapHardwareDevice(), hw.dwFlags != 0 ? 1 : 0);
    EXPECT_EQ(DkCapTextureMapping(),
              (hw.dpcTriCaps.dwTextureFilterCaps & D3DPTFILTERCAPS_NEAREST) ? 1 : 0);
    EXPECT_EQ(DkCapBilinear(),
              (hw.dpcTriCaps.dwTextureFilterCaps & D3DPTFILTERCAPS_LINEAR) ? 1 : 0);
    EXPECT_EQ(DkCapZBufferDepths(), static_cast<int>(hw.dwDeviceZBufferBitDepth));
    EXPECT_EQ(DkIsZBufferlessDevice(), 0);

    DkDump3DCapabilities();
    std::string log = Log();
    EXPECT_NE(log.find("*** 3d-hardware capabilities ***"), std::string::npos);
    EXPECT_NE(log.find("Texture mapping?\t\t" + std::to_string(DkCapTextureMapping())),
              std::string::npos);
    if (hw.dwDeviceZBufferBitDepth & DDBD_16)
    {
        EXPECT_NE(log.find("16-bit z-buffer"), std::string::npos);
    }
}

TEST_F(Device3DTest, TheRampDeviceAnswersNoToEverything)
{
    MakeDevice(IID_IDirect3DRampDevice);
    EXPECT_EQ(DkCapHardwareDevice(), 0);
    EXPECT_EQ(DkIsZBufferlessDevice(), 0);
    EXPECT_EQ(DkCapTextureMapping(), 0);
    EXPECT_EQ(DkCapZBufferDepths(), 0);
}

TEST_F(Device3DTest, AlphaBlendsNeedAnAlphaFormatAndTypeSevenHasNoAlphaTextures)
{
    D3DDEVICEDESC card = D3dHardwareDescription();
    D3DDEVICEDESC rich = card;
    rich.dpcTriCaps.dwTextureBlendCaps |= D3DPTBLENDCAPS_MODULATEALPHA | D3DPTBLENDCAPS_DECALALPHA;
    rich.dpcTriCaps.dwTextureCaps |= D3DPTEXTURECAPS_ALPHA;
    D3dSetHardwareDescriptionForTests(&rich);
    MakeDevice(IID_IDirect3DHALDevice);
    D3dSetHardwareDescriptionForTests(&card);

    D3DDEVICEDESC hw{};
    D3DDEVICEDESC hel{};
    d3d->lpD3DDevice->GetCaps(&hw, &hel);
    if (!(hw.dpcTriCaps.dwTextureBlendCaps & D3DPTBLENDCAPS_MODULATEALPHA))
        GTEST_SKIP() << "the device reports its own blends, not the test's description";

    EXPECT_EQ(DkCapTextureBlendModulateAlpha(), 0) << "no alpha texture format yet";
    EXPECT_EQ(DkCapTextureBlendDecalAlpha(), 0);
    DK_TEXTURE_FORMAT alpha{};
    d3d->pAlphaTextureFormat = &alpha;
    EXPECT_EQ(DkCapTextureBlendModulateAlpha(), 1);
    EXPECT_EQ(DkCapGetD(), 1);
    DkSetHardwareType(7);
    EXPECT_EQ(DkCapGetD(), 0);
}

TEST_F(Device3DTest, MaterialsTakeNewSlotsUntilNoneIsFree)
{
    MakeDevice(IID_IDirect3DHALDevice);
    const uint8_t grey[4] = {128, 128, 128, 255};
    DK_TEXTURE texture{};
    texture.uHandle = 77;

    DK_MATERIAL* first = nullptr;
    DK_MATERIAL* second = nullptr;
    EXPECT_EQ(DkCreateMaterial(&first, &texture, FALSE, grey, grey, grey, 20.0f, 16), 0);
    EXPECT_EQ(DkCreateMaterial(&second, &texture, TRUE, grey, grey, grey, 20.0f, 16), 1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first->uHandle, second->uHandle);
    D3DMATERIAL got{};
    got.dwSize = sizeof got;
    first->lpD3DMaterial2->GetMaterial(&got);
    EXPECT_EQ(got.hTexture, 0u) << "no texture asked for";
    EXPECT_FLOAT_EQ(got.diffuse.r, 128 / 255.0f);
    EXPECT_FLOAT_EQ(got.specular.a, 0.0f);
    second->lpD3DMaterial2->GetMaterial(&got);
    EXPECT_EQ(got.hTexture, 77u);

    // Fill every slot (records only: the device objects are not the point here).
    static DK_MATERIAL filler{};
    for (DK_MATERIAL*& slot : d3d->apMaterials)
        if (slot == nullptr)
            slot = &filler;
    DK_MATERIAL* untouched = reinterpret_cast<DK_MATERIAL*>(0x1234);
    std::string out = CaptureOutput(
        [&] {
            EXPECT_EQ(DkCreateMaterial(&untouched, nullptr, FALSE, grey, grey, grey, 20.0f, 1), 0);
        });
    EXPECT_EQ(untouched, reinterpret_cast<DK_MATERIAL*>(0x1234));
    EXPECT_TRUE(Reported(out, "DkCreateMaterial() : Unable to allocate memory for material!"));
    for (DK_MATERIAL*& slot : d3d->apMaterials)
        if (slot == &filler)
        {
            slot = nullptr;
            --guNumMaterials;
        }
}

TEST(DkNormaliseVectorTest, ScalesToUnitLengthAndLeavesZeroAlone)
{
    DkInitialiseTrigTables();
    float v[3] = {3.0f, 0.0f, 4.0f};
    DkNormaliseVector(v);
    EXPECT_NEAR(v[0], 0.6f, 1e-3);
    EXPECT_NEAR(v[2], 0.8f, 1e-3);
    float zero[3] = {0.0f, 0.0f, 0.0f};
    DkNormaliseVector(zero);
    EXPECT_EQ(zero[0], 0.0f);
}

} // namespace
