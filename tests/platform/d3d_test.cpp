#include "platform/d3d/d3d.h"
#include "platform/d3d/d3d_internal.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_env.h"

namespace
{

struct Device
{
    GUID guid;
    std::string description;
    std::string name;
    D3DDEVICEDESC hw;
    D3DDEVICEDESC hel;
};

struct Seen
{
    std::vector<Device> devices;
    bool cancelFirst = false;
};

HRESULT Collect(GUID* guid, LPSTR description, LPSTR name, D3DDEVICEDESC* hw, D3DDEVICEDESC* hel,
                LPVOID context)
{
    auto* seen = static_cast<Seen*>(context);
    seen->devices.push_back({*guid, description, name, *hw, *hel});
    return seen->cancelFirst ? DDENUMRET_CANCEL : DDENUMRET_OK;
}

bool IsZero(const D3DDEVICEDESC& d)
{
    const D3DDEVICEDESC zero{};
    return std::memcmp(&d, &zero, sizeof d) == 0;
}

class D3dTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        D3dSetHardwareDescriptionForTests(nullptr);
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd_, nullptr), DD_OK);
        ASSERT_EQ(dd_->QueryInterface(IID_IDirect3D2, reinterpret_cast<void**>(&d3d_)), DD_OK);
        ASSERT_NE(d3d_, nullptr);
    }

    void TearDown() override
    {
        D3dSetHardwareDescriptionForTests(nullptr);
        // The 3D object holds the DirectDraw object: releasing either first leaves nothing.
        dd_->Release();
        d3d_->Release();
        EXPECT_EQ(DdLiveObjects(), 0);
    }

    IDirectDraw2* dd_ = nullptr;
    IDirect3D2* d3d_ = nullptr;
};

TEST_F(D3dTest, QueryInterfaceAnswersBothNamesAndRefusesOthers)
{
    IDirect3D2* same = nullptr;
    ASSERT_EQ(d3d_->QueryInterface(IID_IDirect3D, reinterpret_cast<void**>(&same)), D3D_OK);
    EXPECT_EQ(same, d3d_);
    EXPECT_EQ(same->Release(), 1u);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(d3d_->QueryInterface(IID_IDirectDraw2, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    IDirect3D* first = nullptr;
    ASSERT_EQ(dd_->QueryInterface(IID_IDirect3D, reinterpret_cast<void**>(&first)), DD_OK);
    ASSERT_NE(first, nullptr);
    first->Release();
}

TEST_F(D3dTest, EnumeratesTheRampDeviceThenTheHardwareLikeDevice)
{
    Seen seen;
    ASSERT_EQ(d3d_->EnumDevices(Collect, &seen), D3D_OK);
    ASSERT_EQ(seen.devices.size(), 2u);

    const Device& hal = seen.devices[1];
    EXPECT_TRUE(IsEqualGUID(hal.guid, IID_IDirect3DHALDevice));
    EXPECT_EQ(hal.description, "Dezor software rasteriser");
    EXPECT_EQ(hal.hw.dwSize, sizeof(D3DDEVICEDESC));
    EXPECT_EQ(hal.hw.dcmColorModel, DWORD(D3DCOLOR_RGB));
    EXPECT_EQ(hal.hw.dwDevCaps, D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY |
                                    D3DDEVCAPS_DRAWPRIMTLVERTEX);
    EXPECT_EQ(hal.hw.dpcTriCaps.dwTextureFilterCaps,
              D3DPTFILTERCAPS_NEAREST | D3DPTFILTERCAPS_LINEAR);
    EXPECT_EQ(hal.hw.dpcTriCaps.dwTextureCaps,
              D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_TRANSPARENCY);
    EXPECT_EQ(hal.hw.dwDeviceZBufferBitDepth, DDBD_16);
    EXPECT_EQ(hal.hw.dwDeviceRenderBitDepth, DDBD_8 | DDBD_16);
    EXPECT_TRUE(IsZero(hal.hel));

    const Device& ramp = seen.devices[0];
    EXPECT_TRUE(IsEqualGUID(ramp.guid, IID_IDirect3DRampDevice));
    EXPECT_FALSE(IsEqualGUID(ramp.guid, hal.guid));
    EXPECT_TRUE(IsZero(ramp.hw));
    EXPECT_EQ(ramp.hel.dcmColorModel, DWORD(D3DCOLOR_MONO));
    EXPECT_EQ(ramp.hel.dwDeviceZBufferBitDepth, DDBD_16);
    EXPECT_EQ(ramp.hel.dwDeviceRenderBitDepth, DDBD_8);

    Seen first;
    first.cancelFirst = true;
    d3d_->EnumDevices(Collect, &first);
    EXPECT_EQ(first.devices.size(), 1u);
}

TEST_F(D3dTest, TestHookReplacesTheHardwareDescription)
{
    D3DDEVICEDESC weak{};
    weak.dwSize = sizeof weak;
    weak.dcmColorModel = D3DCOLOR_RGB;
    weak.dwDeviceRenderBitDepth = DDBD_16;
    D3dSetHardwareDescriptionForTests(&weak);
    EXPECT_EQ(D3dHardwareDescription().dwDeviceRenderBitDepth, DDBD_16);
    Seen seen;
    d3d_->EnumDevices(Collect, &seen);
    ASSERT_EQ(seen.devices.size(), 2u);
    EXPECT_EQ(std::memcmp(&seen.devices[1].hw, &weak, sizeof weak), 0);

    D3dSetHardwareDescriptionForTests(nullptr);
    EXPECT_EQ(D3dHardwareDescription().dwDeviceRenderBitDepth, DDBD_8 | DDBD_16);
}

// DEZOR_RASTER_THREADS is taken only as a whole number from 1 to 64; anything else gives one line
// on standard error for the value and the machine's cores, which are also what no value gives.
TEST(D3dRasterThreads, TheEnvironmentValueIsCheckedWhole)
{
    const SavedVariable saved("DEZOR_RASTER_THREADS");
    const int cores = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 64);
    struct Case
    {
        const char* value;
        int threads; // 0: the cores, and a report
    };
    const Case cases[] = {
        {"1", 1},   {"4", 4}, {"64", 64}, {"0", 0},  {"65", 0}, {"lots", 0},
        {"12x", 0}, {"", 0},  {" 4", 0},  {"+4", 0}, {"-4", 0}, {"99999999999999999999", 0},
    };
    for (const Case& c : cases)
    {
        setenv("DEZOR_RASTER_THREADS", c.value, 1);
        testing::internal::CaptureStderr();
        const int threads = D3dRasterThreadsFromEnvironment();
        EXPECT_EQ(D3dRasterThreadsFromEnvironment(), threads) << "asked again, the same";
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(threads, c.threads != 0 ? c.threads : cores) << c.value;
        EXPECT_EQ(err, c.threads != 0 ? std::string()
                                      : "dezor: DEZOR_RASTER_THREADS=\"" + std::string(c.value) +
                                            "\" is not a number from 1 to 64; using " +
                                            std::to_string(cores) + "\n")
            << "the second call reports nothing more: " << c.value;
    }
    unsetenv("DEZOR_RASTER_THREADS");
    EXPECT_EQ(D3dRasterThreadsFromEnvironment(), cores);
}

} // namespace
