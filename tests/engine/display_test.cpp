// The display survey and the display set-up, on the DirectDraw stand-in with a headless window.

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/3dinit_internal.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/display/dk_dvice.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/time/time.h"
#include "tests/support/engine_test.h"
#include "tools/datakit/palette_writer.h"
#include "platform/win/win.h"

namespace
{

D3DDEVICEDESC Card(DWORD filters, DWORD devCaps, DWORD zDepths)
{
    D3DDEVICEDESC desc = D3dHardwareDescription();
    desc.dpcTriCaps.dwTextureFilterCaps = filters;
    desc.dwDevCaps = devCaps;
    desc.dwDeviceZBufferBitDepth = zDepths;
    return desc;
}

class DisplayTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        CaptureOutput([] { DkCallAllDestructors(); });
        defaultCard = D3dHardwareDescription();
        DkForgetDisplayCapabilities();
        DkClear3DCapabilities();
        DdSetModesForTests(nullptr, 0, 0x7E0);
        D3dSetTextureFormatsForTests(nullptr, 0);
        DkSetHardwareType(0);
        DkSetDisplayDevice(0);
        DkMarkDirectDrawForRelease();
        DkTempHeapInit(64 * 1024);
        DkHeapInit(256 * 1024);
        ASSERT_TRUE(InitGameWindow(nullptr, &ghWnd, "Display Test", DefWindowProcA));
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
        D3dSetHardwareDescriptionForTests(&defaultCard);
        D3dSetTextureFormatsForTests(nullptr, 0);
        DkClear3DCapabilities();
        DdSetModesForTests(nullptr, 0, 0x7E0);
        DkForgetDisplayCapabilities();
        DkSetHardwareType(0);
        LoggedTest::TearDown();
    }

    DISPLAYCAPS Survey()
    {
        DISPLAYCAPS caps{};
        output += CaptureOutput([&] { GetDisplayCapabilities(&caps, ghWnd); });
        return caps;
    }

    void Display(int modeIndex, uint32_t flags, const char* palette = "c:\\none.pal")
    {
        output += CaptureOutput(
            [&] { DkInitialiseDisplay(nullptr, modeIndex, palette, flags, DKLF_AS_GIVEN); });
    }

    D3DDEVICEDESC defaultCard;
    std::string output;
};

TEST_F(DisplayTest, TheSurveyFindsTheFourModesOfEachDepth)
{
    DISPLAYCAPS caps = Survey();
    ASSERT_EQ(caps.uNumDevices, 1u);
    const DK_DISPLAY_DEVICE& entry = caps.aDevices[0];
    EXPECT_EQ(entry.lpGuid, nullptr);
    EXPECT_EQ(entry.nNum8BitModes, 4);
    EXPECT_EQ(entry.nNum16BitModes, 4);
    const std::vector<int32_t> slots = {320, 240, 512, 384, 640, 480, 800, 600};
    EXPECT_EQ(std::vector<int32_t>(entry.a8BitModes, entry.a8BitModes + 8), slots);
    EXPECT_EQ(std::vector<int32_t>(entry.a16BitModes, entry.a16BitModes + 8), slots);
    EXPECT_TRUE(gboMode320x240x16OK);
    EXPECT_EQ(d2d->uGreenBits, 6);
    EXPECT_GT(entry.nVideoMemory, 16 * 1024 * 1024 - 1) << "a power of two above the memory";
    EXPECT_NE(Log().find("FOUND 800X600X16 OK"), std::string::npos);
}

TEST_F(DisplayTest, MissingSizesTakeSubstitutesFromTheSortedList)
{
    const DdMode modes[] = {{800, 600, 8}, {640, 480, 8}, {640, 480, 16}};
    DdSetModesForTests(modes, 3, 0x3E0);
    DISPLAYCAPS caps = Survey();
    const DK_DISPLAY_DEVICE& entry = caps.aDevices[0];
    EXPECT_EQ(entry.nNum8BitModes, 2);
    EXPECT_EQ(std::vector<int32_t>(entry.a8BitModes, entry.a8BitModes + 8),
              (std::vector<int32_t>{640, 480, 800, 600, 640, 480, 800, 600}));
    // One 16-bit mode fills every slot.
    EXPECT_EQ(entry.nNum16BitModes, 1);
    EXPECT_EQ(std::vector<int32_t>(entry.a16BitModes, entry.a16BitModes + 8),
              (std::vector<int32_t>{640, 480, 640, 480, 640, 480, 640, 480}));
    EXPECT_FALSE(gboMode320x240x16OK);
    EXPECT_EQ(d2d->uGreenBits, 5);
}

TEST_F(DisplayTest, DevicesAreRatedByWhatTheirHardwareOffers)
{
    struct Case
    {
        const char* name;
        D3DDEVICEDESC card;
        int32_t rating;
    };
    D3DDEVICEDESC software{};
    const Case cases[] = {
        {"full",
         Card(D3DPTFILTERCAPS_NEAREST | D3DPTFILTERCAPS_LINEAR | D3DPTFILTERCAPS_LINEARMIPLINEAR,
              D3DDEVCAPS_TEXTURESYSTEMMEMORY, DDBD_16),
         6},
        {"no z-buffer",
         Card(D3DPTFILTERCAPS_NEAREST | D3DPTFILTERCAPS_LINEAR | D3DPTFILTERCAPS_LINEARMIPLINEAR,
              D3DDEVCAPS_TEXTURESYSTEMMEMORY, 0),
         5},
        {"no texture mapping",
         Card(D3DPTFILTERCAPS_LINEAR, D3DDEVCAPS_TEXTURESYSTEMMEMORY, DDBD_16), 0},
        {"software only", software, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DkForgetDisplayCapabilities();
        D3dSetHardwareDescriptionForTests(&c.card);
        DISPLAYCAPS caps = Survey();
        EXPECT_EQ(caps.aDevices[0].nRating, c.rating);
    }
    EXPECT_NE(output.find("Boh? This 3d-card has no z-buffer."), std::string::npos);
}

TEST_F(DisplayTest, ASecondSurveyCopiesTheFirst)
{
    DISPLAYCAPS first = Survey();
    const DdMode modes[] = {{640, 480, 8}};
    DdSetModesForTests(modes, 1, 0x7E0);
    DkSetDisplayDevice(0);
    DISPLAYCAPS second = Survey();
    EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);
}

TEST_F(DisplayTest, ModeIndexOutsideTheListSelectsTheLargestMode)
{
    for (int index : {-1, 4, 99})
    {
        SCOPED_TRACE(index);
        Display(index, DKID_16BIT);
        EXPECT_EQ(d2d->nWidth, 800);
        EXPECT_EQ(d2d->nHeight, 600);
        EXPECT_EQ(d2d->nBitsPerPixel, 16);
        EXPECT_EQ(DkGetDisplayModeIndex(), 3);
        ASSERT_NE(d2d->PrimarySurface.lpSurface, nullptr);
        ASSERT_NE(d2d->BackSurface.lpSurface, nullptr);
        CaptureOutput([] { DkDestroyDisplay(); });
        EXPECT_EQ(d2d->PrimarySurface.lpSurface, nullptr);
    }
    Display(2, DKID_16BIT);
    EXPECT_EQ(d2d->nWidth, 640);
}

TEST_F(DisplayTest, HardwareTypeSixForcesAnEightBitDisplayWithAPaletteFromItsFile)
{
    datakit::Palette palette{};
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7};
    datakit::WritePaletteFile(env.DriveC() + "/front.pal", palette);

    DkSetHardwareType(9);
    EXPECT_EQ(DkGetHardwareType(), 6);
    Display(1, DKID_16BIT, "c:\\front.pal");
    EXPECT_EQ(d2d->nBitsPerPixel, 8);
    EXPECT_EQ(d2d->nWidth, 512);
    ASSERT_NE(d2d->lpDDPal, nullptr);
    PALETTEENTRY entries[256];
    ASSERT_EQ(d2d->lpDDPal->GetEntries(0, 0, 256, entries), DD_OK);
    EXPECT_EQ(entries[10].peRed, 10);
    EXPECT_EQ(entries[10].peGreen, 245);
    EXPECT_EQ(entries[10].peBlue, 7);
    EXPECT_EQ(entries[10].peFlags, 0x44);
    EXPECT_EQ(entries[0].peFlags, 0x40);
    EXPECT_EQ(d2d->PrimarySurface.aPalette[200].red, 200);
}

TEST_F(DisplayTest, AShortPaletteFileIsRefused)
{
    WriteWholeFile(env.DriveC() + "/short.pal", std::string(600, '\x11'));
    DK_PALETTE_ENTRY palette[256] = {};
    palette[5].red = 99;
    std::string out = CaptureOutput(
        [&] { EXPECT_FALSE(DkLoadPalette("c:\\short.pal", palette, DKLF_AS_GIVEN)); });
    EXPECT_EQ(palette[5].red, 99) << "the palette stays as it was";
    EXPECT_NE(out.find("ERROR(DkLoadPalette): Unable to load palette file"), std::string::npos);
}

TEST_F(DisplayTest, PacedFlipsAreAtLeast35000CountsApart)
{
    Display(2, DKID_16BIT);
    // The second flip cannot start before 35,000 counts after the first one started.
    LARGE_INTEGER before, after;
    QueryPerformanceCounter(&before);
    DkWaitAndFlip();
    DkWaitAndFlip();
    QueryPerformanceCounter(&after);
    EXPECT_GE(after.QuadPart - before.QuadPart, DK_FLIP_SPACING);
    EXPECT_GE(DdFramesPresented(), 2);
}

TEST_F(DisplayTest, QualityFeaturesFollowTheHardwareTable)
{
    Survey(); // 16 MB of surface memory: "big"
    struct Case
    {
        int type;
        std::vector<BOOL> features;
    };
    const Case cases[] = {
        {0, {1, 1, 1, 1}}, {1, {1, 1, 1, 1}}, {2, {0, 0, 0, 0}},
        {3, {0, 0, 0, 0}}, {6, {1, 0, 0, 0}}, {7, {1, 1, 1, 1}},
    };
    for (const Case& c : cases)
    {
        DkSetHardwareType(c.type);
        for (int f = 0; f < 4; ++f)
            EXPECT_EQ(DkCanUseFeature(f), c.features[f]) << "type " << c.type << " feature " << f;
    }
    EXPECT_FALSE(DkCanUseFeature(4));
}

TEST_F(DisplayTest, TheThreeDSetUpChoosesFormatsAndBuildsTheProjection)
{
    Display(2, DKID_16BIT);
    // A track left active by an earlier stage: the new context has none until one is built.
    gboTrackBlocksActive = TRUE;
    output += CaptureOutput([] { DkInit3D(); });
    EXPECT_FALSE(gboTrackBlocksActive);
    ASSERT_NE(d3d->lpD3DDevice2, nullptr);
    ASSERT_NE(d2d->ZBuffer.lpSurface, nullptr);
    ASSERT_NE(d3d->pStandardTextureFormat, nullptr);
    // Hardware texturing on hardware type 0 takes RGB over palettised textures.
    EXPECT_EQ(d3d->pStandardTextureFormat->nPalettised, 0);
    EXPECT_EQ(d3d->pStandardTextureFormat->uRedBits, 5);
    EXPECT_EQ(d3d->pStandardTextureFormat->uGreenBits, 6) << "the last RGB format offered";
    EXPECT_EQ(d3d->pStandardTextureFormat->uBlueBits, 5);
    ASSERT_NE(d3d->pAlphaTextureFormat, nullptr);
    EXPECT_EQ(d3d->pAlphaTextureFormat->uAlphaBits, 4) << "the first 4:4:4:4 wins";

    const DK_MATRIX& p = d3d->Projection;
    EXPECT_EQ(p.m[0][0], 65536);
    EXPECT_EQ(p.m[1][1], static_cast<int32_t>(0.5f * (157286 / 65536.0f) * 65536.0f));
    EXPECT_EQ(p.m[2][2], static_cast<int32_t>((250.0f / 249.0f) * 65536.0f));
    EXPECT_EQ(p.m[2][3], 65536);
    EXPECT_EQ(p.m[3][2], static_cast<int32_t>((-250.0f / 249.0f) * 65536.0f));
    EXPECT_EQ(gxTrackClipDistance, 250 << 16);

    DK_MATRIX before = d3d->Projection;
    DkSetProjection(0, 0, 0, 0);
    EXPECT_EQ(std::memcmp(&before, &d3d->Projection, sizeof before), 0);
    EXPECT_EQ(gxTrackClipDistance, 0);
    EXPECT_EQ(d3d->anRenderStateCache[2], 2) << "Gouraud shading on a hardware device";
}

DDPIXELFORMAT Format(DWORD flags, DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a)
{
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = flags;
    pf.dwRGBBitCount = bits;
    pf.dwRBitMask = r;
    pf.dwGBitMask = g;
    pf.dwBBitMask = b;
    pf.dwRGBAlphaBitMask = a;
    return pf;
}

TEST_F(DisplayTest, PalettisedTexturesOnlyWhereTheHardwareExtrasAllowThem)
{
    const DDPIXELFORMAT formats[] = {
        Format(DDPF_PALETTEINDEXED8, 8, 0, 0, 0, 0),
        Format(DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0),
        Format(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00, 0x03E0, 0x001F, 0x8000), // 5:5:5:1
    };
    D3dSetTextureFormatsForTests(formats, 3);
    struct Case
    {
        int hardwareType;
        uint32_t flags;
        int32_t palettised;
    };
    // Type 6 is the software device; on the hardware device type 0 refuses the extras and
    // type 2 allows them.
    for (Case c : {Case{6, DKID_8BIT, 1}, Case{0, DKID_16BIT, 0}, Case{2, DKID_16BIT, 1}})
    {
        SCOPED_TRACE(c.hardwareType);
        DkSetHardwareType(c.hardwareType);
        Display(2, c.flags);
        output += CaptureOutput([] { DkInit3D(); });
        ASSERT_NE(d3d->pStandardTextureFormat, nullptr);
        EXPECT_EQ(d3d->pStandardTextureFormat->nPalettised, c.palettised);
        EXPECT_EQ(d3d->pAlphaTextureFormat, nullptr) << "5:5:5:1 is no alpha format";
        output += CaptureOutput([] { DkDestroyDisplay(); });
    }
}

TEST_F(DisplayTest, AZBufferlessDeviceGetsAZBufferOnlyAtItsFirstSetUp)
{
    D3DDEVICEDESC card = D3dHardwareDescription();
    card.dpcTriCaps.dwRasterCaps |= D3DPRASTERCAPS_ZBUFFERLESSHSR;
    D3dSetHardwareDescriptionForTests(&card);
    Display(2, DKID_16BIT);
    output += CaptureOutput([] { DkInit3D(); });
    EXPECT_NE(d2d->ZBuffer.lpSurface, nullptr);
    EXPECT_EQ(DkIsZBufferlessDevice(), 1);
    output += CaptureOutput([] { DkDestroyDisplay(); });

    Display(2, DKID_16BIT);
    output += CaptureOutput([] { DkInit3D(); });
    EXPECT_EQ(d2d->ZBuffer.lpSurface, nullptr);
}

TEST_F(DisplayTest, ColoursMatchTheNearestEntryAndTiesGoLow)
{
    for (int i = 0; i < 256; ++i)
        d2d->PrimarySurface.aPalette[i] = {static_cast<uint8_t>(i), 0, 0, 0};
    d2d->PrimarySurface.aPalette[40] = {100, 100, 100, 0};
    d2d->PrimarySurface.aPalette[41] = {100, 100, 100, 0};
    EXPECT_EQ(DkMatchColour(100, 100, 100), 40);
    EXPECT_EQ(DkMatchColour(7, 0, 0), 7);
    EXPECT_EQ(DkMatchColour(255, 0, 0), 255);
}

} // namespace
