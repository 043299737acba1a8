// The game window, and the display behind it: each full-screen phase sets up a DirectDraw
// mode with a flipping primary surface and back buffer (and in 8-bit modes a palette), and
// tears it down through the destroy callbacks at its end.

#include "engine/pc/display/2dinit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_anim.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/display/dk_image.h"
#include "engine/pc/display/dk_dvice.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/time/time.h"
#include "platform/win/win.h"

namespace
{

constexpr uint32_t kPaletteFileSize = 1048;
constexpr uint32_t kPaletteOffset = 24;

DK_D2D gD2D;
HWND* gphWindow = nullptr;
char gszClassName[64];
HINSTANCE ghClassInstance = nullptr;

int gnDevice = -1; // the DirectDraw device in use
BOOL gboDisplayTeardown = FALSE;
int gnHardwareType = 0;
int gnDisplayDevice = 0;
int gnModeIndex = 0;
uint32_t guLastFlip = 0;
DK_PALETTE_ENTRY gaSystemPalette[256];
DK_PALETTE_ENTRY gaWorkPalette[256];

uint32_t CounterLow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint32_t>(now.QuadPart);
}

PALETTEENTRY* AsDD(DK_PALETTE_ENTRY* p)
{
    return reinterpret_cast<PALETTEENTRY*>(p);
}

struct D3DSearch
{
    BOOL boHardware;
    BOOL boFound;
};

HRESULT EnumForDevice(GUID* lpGuid, LPSTR, LPSTR, D3DDEVICEDESC* pHW, D3DDEVICEDESC* pHEL,
                      LPVOID lpContext)
{
    D3DSearch* pSearch = static_cast<D3DSearch*>(lpContext);
    if (lpGuid != nullptr)
        std::memcpy(d3d->aDeviceGuid, lpGuid, sizeof d3d->aDeviceGuid);
    bool take = pSearch->boHardware
                    ? (pHW != nullptr && pHW->dcmColorModel != 0 &&
                       (pHW->dwDeviceZBufferBitDepth & DDBD_16))
                    : (pHEL != nullptr && (pHEL->dwDeviceZBufferBitDepth & DDBD_16) &&
                       pHEL->dcmColorModel == D3DCOLOR_MONO);
    if (!take)
        return DDENUMRET_OK;
    pSearch->boFound = TRUE;
    return DDENUMRET_CANCEL;
}

void GetD3DInterface(const DK_DISPLAY_DEVICE& entry)
{
    DkCheckD3D(d2d->lpDD2->QueryInterface(IID_IDirect3D, reinterpret_cast<void**>(&d3d->lpD3D)),
               __LINE__, __FILE__);
    DkCheckD3D(d2d->lpDD2->QueryInterface(IID_IDirect3D2, reinterpret_cast<void**>(&d3d->lpD3D2)),
               __LINE__, __FILE__);
    d3d->nHardwareTexturing = entry.nTextureMapping;
    D3DSearch search = {d3d->nHardwareTexturing && d2d->boFullScreen ? TRUE : FALSE, FALSE};
    if (d3d->lpD3D != nullptr)
        d3d->lpD3D->EnumDevices(EnumForDevice, &search);
    if (!search.boFound && search.boHardware)
    {
        search.boHardware = FALSE;
        if (d3d->lpD3D != nullptr)
            d3d->lpD3D->EnumDevices(EnumForDevice, &search);
    }
    if (!search.boFound)
        DKREPORT("GetD3DInterface() : No driver/GUID found");
    d3d->nHardwareDevice = search.boFound && search.boHardware ? 1 : 0;
}

void InitialiseDirectDraw(DISPLAYCAPS* pCaps, uint32_t uFlags)
{
    if (uFlags & DKID_FIRST_DEVICE)
        pCaps->uBestDevice = pCaps->uBestDevice2 = 0;
    int nChosen = static_cast<int>(pCaps->uBestDevice);
    if (gnDevice >= 0 && gnDevice != nChosen)
    {
        DkReleaseTraced(d2d->lpDD2, "d2d->lpDD2", TRUE);
        DkReleaseTraced(d2d->lpDD, "d2d->lpDD", TRUE);
        gnDevice = -1;
    }
    if (gnDevice < 0)
    {
        DkLog(DkFormatString("Creating DDraw objects, using device #%d", nChosen));
        const DK_DISPLAY_DEVICE& entry = pCaps->aDevices[nChosen];
        TRYDD(DirectDrawCreate(static_cast<GUID*>(entry.lpGuid), &d2d->lpDD, nullptr));
        if (d2d->lpDD != nullptr)
            TRYDD(
                d2d->lpDD->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&d2d->lpDD2)));
        gnDevice = nChosen;
    }
    if (d2d->lpDD2 == nullptr)
        return;
    if (gboFullScreen)
    {
        d2d->boFullScreen = TRUE;
        HRESULT hr = d2d->lpDD2->SetCooperativeLevel(ghWnd, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE |
                                                                DDSCL_ALLOWMODEX);
        if (hr != DD_OK && hr != DDERR_EXCLUSIVEMODEALREADYSET)
            DKREPORT("SetCooperative Level Failed in InitialiseDirectDraw");
    }
    else
    {
        // The windowed game is shown at the display's size by the window itself.
        d2d->boFullScreen = FALSE;
        ShowWindow(ghWnd, SW_SHOWNORMAL);
        UpdateWindow(ghWnd);
        d2d->lpDD2->SetCooperativeLevel(ghWnd, DDSCL_NORMAL);
    }
}

void DkCreatePrimarySurfaces()
{
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (d2d->boFullScreen)
    {
        desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        desc.ddsCaps.dwCaps =
            DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
        desc.dwBackBufferCount = 1;
        TRYDD(d2d->lpDD2->CreateSurface(&desc, &d2d->PrimarySurface.lpSurface, nullptr));
        if (d2d->PrimarySurface.lpSurface != nullptr)
        {
            DDSCAPS caps = {DDSCAPS_BACKBUFFER};
            TRYDD(d2d->PrimarySurface.lpSurface->GetAttachedSurface(&caps,
                                                                    &d2d->BackSurface.lpSurface));
        }
    }
    else
    {
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        TRYDD(d2d->lpDD2->CreateSurface(&desc, &d2d->PrimarySurface.lpSurface, nullptr));
        DDSURFACEDESC back{};
        back.dwSize = sizeof back;
        back.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        back.dwWidth = static_cast<DWORD>(d2d->nWidth);
        back.dwHeight = static_cast<DWORD>(d2d->nHeight);
        back.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
        TRYDD(d2d->lpDD2->CreateSurface(&back, &d2d->BackSurface.lpSurface, nullptr));
    }
    DK_RECT rect = {0, 0, static_cast<int16_t>(d2d->nWidth), static_cast<int16_t>(d2d->nHeight)};
    d2d->PrimarySurface.rect = rect;
    d2d->BackSurface.rect = rect;
    d2d->PrimarySurface.nDepth = static_cast<int16_t>(d2d->nBitsPerPixel);
    d2d->BackSurface.nDepth = static_cast<int16_t>(d2d->nBitsPerPixel);
}

void SetUpPalette(DK_PALETTE_ENTRY* pPalette, const char* pszPaletteFile, int nLoadKind)
{
    HDC hdc = GetDC(nullptr);
    SetSystemPaletteUse(hdc, SYSPAL_NOSTATIC);
    GetSystemPaletteEntries(hdc, 0, 256, AsDD(pPalette));
    ReleaseDC(nullptr, hdc);
    std::memcpy(gaSystemPalette, pPalette, sizeof gaSystemPalette);
    for (int i = 0; i < 256; ++i)
    {
        if (d2d->boFullScreen)
            pPalette[i].flags = (i == 0 || i == 255) ? 0x40 : 0x44;
        else
            pPalette[i].flags = (i < 10 || i > 245) ? 0x40 : 0x44;
    }
    if (!d2d->boFullScreen)
        pPalette[245].flags = 0;
    DkLoadPalette(pszPaletteFile, pPalette, nLoadKind);

    TRYDD(d2d->lpDD2->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256 | DDPCAPS_INITIALIZE,
                                    AsDD(pPalette), &d2d->lpDDPal, nullptr));
    if (d2d->lpDDPal == nullptr)
        return;
    if (d2d->PrimarySurface.lpSurface != nullptr)
        TRYDD(d2d->PrimarySurface.lpSurface->SetPalette(d2d->lpDDPal));
    if (d2d->BackSurface.lpSurface != nullptr)
        TRYDD(d2d->BackSurface.lpSurface->SetPalette(d2d->lpDDPal));
    TRYDD(d2d->lpDDPal->SetEntries(0, 0, 256, AsDD(pPalette)));
    std::memcpy(d2d->PrimarySurface.aPalette, pPalette, sizeof d2d->PrimarySurface.aPalette);
    DkSetPalette(pPalette);
}

} // namespace

DK_D2D* d2d = &gD2D;
BOOL gboFullScreen = TRUE;
int gnDisplayDestructorMark = -1;
// The renderer's first engine option; the quality-feature table reads it.
BOOL gboDkEngineOptionA = FALSE;

BOOL InitGameWindow(HINSTANCE hInstance, HWND* phWnd, const char* pszClassName, WNDPROC pfnWndProc)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = pfnWndProc;
    wc.hInstance = hInstance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = pszClassName;
    DWORD dwStyle;
    if (gboFullScreen)
    {
        wc.hCursor = nullptr;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        dwStyle = WS_POPUP | WS_SYSMENU;
    }
    else
    {
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.style = CS_HREDRAW | CS_VREDRAW | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
        dwStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    }
    if (!RegisterClassA(&wc))
        return FALSE;
    std::snprintf(gszClassName, sizeof gszClassName, "%s", pszClassName);
    ghClassInstance = hInstance;

    HWND hWnd = CreateWindowExA(WS_EX_TOPMOST, pszClassName, pszClassName, dwStyle, 0, 0,
                                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                nullptr, nullptr, hInstance, nullptr);
    if (hWnd == nullptr)
    {
        DKREPORT("Horror, window create failed!");
        UnregisterClassA(gszClassName, ghClassInstance);
        return FALSE;
    }
    if (d2d->nWidth == 0)
    {
        d2d->nWidth = GetSystemMetrics(SM_CXSCREEN);
        d2d->nHeight = GetSystemMetrics(SM_CYSCREEN);
    }

    ShowWindow(hWnd, gboFullScreen ? SW_SHOWMAXIMIZED : SW_HIDE);
    UpdateWindow(hWnd);
    SetFocus(hWnd);
    *phWnd = hWnd;
    gphWindow = phWnd;
    DkAddDestructor(WindowDestructor, "WindowDestructor");
    return TRUE;
}

BOOL WindowDestructor(void)
{
    if (gphWindow != nullptr)
    {
        DestroyWindow(*gphWindow);
        *gphWindow = nullptr;
        gphWindow = nullptr;
        UnregisterClassA(gszClassName, ghClassInstance);
    }
    return TRUE;
}

void DkSetWindowedMode(void)
{
    gboFullScreen = FALSE;
}

void DkSetFullScreenMode(void)
{
    gboFullScreen = TRUE;
}

BOOL DkInitialiseDisplay(DK_PALETTE_ENTRY* pPalette, int nModeIndex, const char* pszPaletteFile,
                         uint32_t uFlags, int nLoadKind)
{
    DkClearAnimatedTextures();
    gbo3DReady = FALSE;
    if (gnHardwareType == 6)
        uFlags = DKID_8BIT;

    d2d->PrimarySurface.lpSurface = nullptr;
    d2d->BackSurface.lpSurface = nullptr;
    std::memset(d2d->apSurfaces, 0, sizeof d2d->apSurfaces);
    d2d->boVerticalBlankFailed = FALSE;

    DISPLAYCAPS caps;
    GetDisplayCapabilities(&caps, ghWnd);
    uint32_t uDevice = caps.uBestDevice < DK_MAX_DISPLAY_DEVICES ? caps.uBestDevice : 0;
    if (uFlags & DKID_8BIT)
    {
        if (caps.aDevices[uDevice].nNum8BitModes == 0)
        {
            uDevice = 0;
            if (caps.aDevices[0].nNum8BitModes == 0)
                DKREPORT("No 8 bit mode!");
        }
        // The software device draws 8-bit displays.
        DK_DISPLAY_DEVICE& entry = caps.aDevices[uDevice];
        entry.nTextureMapping = 0;
        entry.nBilinear = 0;
        entry.nZBuffer = 0;
        entry.nTexturesInVideoMemory = 0;
        entry.nRating = 0;
        entry.nTexturesInSystemMemory = 1;
    }
    else if ((uFlags & DKID_16BIT) && caps.aDevices[uDevice].nNum16BitModes == 0)
    {
        DKREPORT("No 16 bit modes");
    }
    caps.uBestDevice = caps.uBestDevice2 = uDevice;

    InitialiseDirectDraw(&caps, uFlags);
    const DK_DISPLAY_DEVICE& entry = caps.aDevices[caps.uBestDevice];
    if (d2d->lpDD2 != nullptr)
        GetD3DInterface(entry);

    bool use16 = (entry.nTextureMapping && entry.nZBuffer && entry.nTexturesInVideoMemory &&
                  entry.nNum16BitModes > 0) ||
                 (uFlags & DKID_16BIT);
    const int32_t* pModes = use16 ? entry.a16BitModes : entry.a8BitModes;
    int nCount = use16 ? entry.nNum16BitModes : entry.nNum8BitModes;
    if (nModeIndex < 0 || nModeIndex >= nCount)
        nModeIndex = nCount > 0 ? nCount - 1 : 0;
    d2d->nWidth = pModes[2 * nModeIndex];
    d2d->nHeight = pModes[2 * nModeIndex + 1];
    d2d->nBitsPerPixel = use16 ? 16 : 8;
    DkLog(DkFormatString("Setting display mode %dx%dx%d", (int)d2d->nWidth, (int)d2d->nHeight,
                         (int)d2d->nBitsPerPixel));
    if (d2d->boFullScreen && d2d->lpDD2 != nullptr)
        TRYDD(d2d->lpDD2->SetDisplayMode(static_cast<DWORD>(d2d->nWidth),
                                         static_cast<DWORD>(d2d->nHeight),
                                         static_cast<DWORD>(d2d->nBitsPerPixel), 0, 0));

    DkLog("Screen mode has just been set");
    if (d2d->lpDD2 != nullptr)
        DkCreatePrimarySurfaces();
    DkLog("Primary surface & back surface have been created");

    if (d2d->nBitsPerPixel == 8 && d2d->lpDD2 != nullptr)
        SetUpPalette(pPalette != nullptr ? pPalette : gaWorkPalette, pszPaletteFile, nLoadKind);

    gnDisplayDestructorMark = DkAddDestructor(DirectDrawDestructor, "DirectDrawDestructor");
    DkAddDestructor(DestroyAllCreated2DSurfaces, "DestroyAllCreated2DSurfaces");
    gnModeIndex = nModeIndex;
    return TRUE;
}

BOOL DirectDrawDestructor(void)
{
    if (d2d->nBitsPerPixel == 8 && d2d->lpDDPal != nullptr)
        DkReleaseTraced(d2d->lpDDPal, "d2d->lpDDPal", TRUE);
    if (d2d->ZBuffer.lpSurface != nullptr)
        DkReleaseTraced(d2d->ZBuffer.lpSurface, "d2d->ZBuffer.lpSurface", TRUE);
    DkReleaseTraced(d2d->BackSurface.lpSurface, "d2d->BackSurface.lpSurface", TRUE);
    DkReleaseTraced(d2d->PrimarySurface.lpSurface, "d2d->PrimarySurface.lpSurface", TRUE);
    // The 3D interfaces come from this DirectDraw object; until the 3D set-up's own destroy
    // callback lands, they go with it.
    if (d3d->lpD3D2 != nullptr)
        DkReleaseTraced(d3d->lpD3D2, "d3d->lpD3D2", TRUE);
    if (d3d->lpD3D != nullptr)
        DkReleaseTraced(d3d->lpD3D, "d3d->lpD3D", TRUE);
    gbo3DReady = FALSE;

    if (gnDevice < 0)
        DKREPORT("DirectDrawDestructor() : No device has been initialised");
    if (gboDisplayTeardown && gnDevice >= 0)
    {
        if (d2d->lpDD2 != nullptr)
            d2d->lpDD2->SetCooperativeLevel(ghWnd, DDSCL_NORMAL);
        DkReleaseTraced(d2d->lpDD2, "d2d->lpDD2", TRUE);
        DkReleaseTraced(d2d->lpDD, "d2d->lpDD", TRUE);
        gnDevice = -1;
    }
    return TRUE;
}

void DkDestroyDisplay(void)
{
    // Without a display there is nothing of a phase to tear down; a mark of 0 here would take
    // the program-wide services with it.
    if (gnDisplayDestructorMark < 0)
        return;
    DkCallDestructors(gnDisplayDestructorMark);
    gnDisplayDestructorMark = -1;
}

void DkMarkDirectDrawForRelease(void)
{
    gboDisplayTeardown = TRUE;
}

BOOL DkFlip(void)
{
    if (d2d->boFullScreen)
    {
        DkSampleBackSurface();
        if (d2d->PrimarySurface.lpSurface != nullptr)
            d2d->PrimarySurface.lpSurface->Flip(nullptr, DDFLIP_WAIT);
        return TRUE;
    }
    if (!d2d->boVerticalBlankFailed && d2d->lpDD2 != nullptr &&
        d2d->lpDD2->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr) == DD_OK)
        return TRUE;
    d2d->boVerticalBlankFailed = TRUE;
    DkWaitVgaRetrace();
    return TRUE;
}

void DkWaitAndFlip(void)
{
    // Most of the wait is slept, so a still picture does not keep a core busy; its last
    // millisecond or so is spun on the counter, which keeps the spacing exact.
    for (uint32_t uElapsed; (uElapsed = CounterLow() - guLastFlip) < DK_FLIP_SPACING;)
    {
        const uint64_t uMs = uint64_t{DK_FLIP_SPACING - uElapsed} * 1000 / DK_PERFORMANCE_FREQUENCY;
        if (uMs >= 2)
            Sleep(static_cast<DWORD>(uMs - 1));
    }
    guLastFlip = CounterLow();
    DkFlip();
}

void DkRestoreSurfaces(void)
{
    if (d2d->lpDD2 == nullptr)
        return;
    DK_SURFACE* own[] = {&d2d->PrimarySurface, &d2d->BackSurface, &d2d->ZBuffer};
    for (DK_SURFACE* surface : own)
        if (surface->lpSurface != nullptr && surface->lpSurface->IsLost() == DDERR_SURFACELOST)
            surface->lpSurface->Restore();
    for (DK_SURFACE* surface : d2d->apSurfaces)
        if (surface != nullptr && surface->lpSurface != nullptr &&
            surface->lpSurface->IsLost() == DDERR_SURFACELOST)
            surface->lpSurface->Restore();
    // A hardware device's textures live in video memory, lost with the surfaces: load them
    // again from their system-memory copies.
    if (d3d->nHardwareDevice && DkGetHardwareType() != 2)
        for (DK_TEXTURE* pTexture : d3d->apTextures)
            if (pTexture != nullptr && pTexture->lpTexture != nullptr &&
                pTexture->lpTexture2 != nullptr)
                TRYD3D(pTexture->lpTexture->Load(pTexture->lpTexture2));
}

void DkSetPalette(const DK_PALETTE_ENTRY* pEntries)
{
    if (pEntries == nullptr)
        return;
    if (d2d->lpDDPal != nullptr)
        TRYDD(d2d->lpDDPal->SetEntries(0, 0, 256, reinterpret_cast<const PALETTEENTRY*>(pEntries)));
    if (pEntries != d2d->PrimarySurface.aPalette)
        std::memcpy(d2d->PrimarySurface.aPalette, pEntries, sizeof d2d->PrimarySurface.aPalette);
    DkSetImagePalette(pEntries);
}

void DkRestorePalette(void)
{
    if (d2d->nBitsPerPixel == 8 && d2d->lpDDPal != nullptr)
        TRYDD(d2d->lpDDPal->SetEntries(0, 0, 255, AsDD(gaSystemPalette)));
}

BOOL DkLoadPalette(const char* pszFileName, DK_PALETTE_ENTRY* pPalette, int nLoadKind)
{
    const uint8_t* file = static_cast<const uint8_t*>(DkMallocLoadFile(pszFileName, nLoadKind));
    if (file == nullptr)
    {
        DKREPORT("ERROR(DkLoadPalette): Unable to load palette file");
        return FALSE;
    }
    // 256 entries from byte 24: a shorter file is refused rather than read past its end.
    if (DkGetLastFileSize() < kPaletteFileSize || pPalette == nullptr)
    {
        DKREPORT("ERROR(DkLoadPalette): Unable to load palette file");
        DkHeapFree(const_cast<uint8_t*>(file));
        return FALSE;
    }
    for (int i = 0; i < 256; ++i)
    {
        const uint8_t* entry = file + kPaletteOffset + 4 * i;
        pPalette[i].red = entry[0];
        pPalette[i].green = entry[1];
        pPalette[i].blue = entry[2];
    }
    DkHeapFree(const_cast<uint8_t*>(file));
    return TRUE;
}

int DkGetHardwareType(void)
{
    return gnHardwareType;
}

void DkSetHardwareType(int nType)
{
    gnHardwareType = nType > 7 ? 6 : nType;
}

int DkGetDisplayDevice(void)
{
    return gnDisplayDevice;
}

void DkSetDisplayDevice(int nDevice)
{
    gnDisplayDevice = nDevice;
}

int DkGetDisplayModeIndex(void)
{
    return gnModeIndex;
}

BOOL DkCanUseFeature(int nFeature)
{
    if (DkGetDeviceSurfaceMemory(gnDisplayDevice) < 1048576 || gnHardwareType > 7 ||
        gnHardwareType < 0 || nFeature > 3 || nFeature < 0)
        return FALSE;
    const BOOL big = DkGetDeviceSurfaceMemory(gnDisplayDevice) > 5242880;
    const BOOL option = gboDkEngineOptionA;
    const BOOL yes = TRUE;
    const BOOL no = FALSE;
    BOOL row[4];
    auto set = [&row](BOOL a, BOOL b, BOOL c, BOOL d)
    {
        row[0] = a;
        row[1] = b;
        row[2] = c;
        row[3] = d;
    };
    switch (gnHardwareType)
    {
        case 0:
        case 7:
            set(yes, yes, yes, big);
            break;
        case 1:
            set(yes, big || option, big || option, big);
            break;
        case 2:
            set(option, no, no, no);
            break;
        case 3:
        case 4:
            set(option, option, no, no);
            break;
        case 5:
            if (gboPowerVR && gnDisplayDevice == 0)
                set(option, option, no, no);
            else if (!gboDeviceTextureAlpha && gnDisplayDevice == 0)
                set(yes, yes, option, no);
            else
                set(yes, yes, yes, big);
            break;
        default: // 6
            set(yes, no, no, no);
            break;
    }
    return row[nFeature] ? TRUE : FALSE;
}

namespace
{
int ReportVRAM(bool wantTotal)
{
    DWORD total = 0;
    DWORD free = 0;
    if (d2d->lpDD2 != nullptr)
    {
        DDSCAPS caps = {DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM};
        TRYDD(d2d->lpDD2->GetAvailableVidMem(&caps, &total, &free));
    }
    DkLog(DkFormatString("Reported Free VRAM (HW): %d bytes  %d K", (int)free, (int)(free / 1024)));
    DkLog(DkFormatString("Reported Total VRAM (HW): %d bytes  %d K", (int)total,
                         (int)(total / 1024)));
    return static_cast<int>(wantTotal ? total : free);
}
} // namespace

int DkReportFreeVRAM(void)
{
    return ReportVRAM(false);
}

int DkReportTotalVRAM(void)
{
    return ReportVRAM(true);
}

int DkMatchColour(int nRed, int nGreen, int nBlue)
{
    const DK_PALETTE_ENTRY* palette = d2d->PrimarySurface.aPalette;
    int best = 0;
    int bestDistance = 0x7FFFFFFF;
    for (int i = 0; i < 256; ++i)
    {
        int distance = std::abs(nRed - palette[i].red) + std::abs(nGreen - palette[i].green) +
                       std::abs(nBlue - palette[i].blue);
        if (distance < bestDistance)
        {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void DkMakeDimRemap(int nPercent, uint8_t* pRemap)
{
    if (nPercent < 0 || nPercent > 100 || pRemap == nullptr)
    {
        DkTryBoolFailed(nullptr, __LINE__, __FILE__);
        return;
    }
    const DK_PALETTE_ENTRY* palette = d2d->PrimarySurface.aPalette;
    for (int i = 0; i < 256; ++i)
        pRemap[i] = static_cast<uint8_t>(DkMatchColour(palette[i].red * nPercent / 100,
                                                       palette[i].green * nPercent / 100,
                                                       palette[i].blue * nPercent / 100));
}

void DkReadVgaPalette(unsigned char* pPalette)
{
    if (pPalette != nullptr)
        std::memset(pPalette, 0, 768);
}

void DkWriteVgaPalette(const unsigned char*) {}

void DkSetVgaPaletteEntry(int, int, int, int) {}

void DkBlackVgaPalette(void) {}

void DkWaitVgaRetrace(void)
{
    // The start of the next 60 Hz frame of the monotonic clock.
    const uint64_t frame = 1000000000ull / 60;
    uint64_t now = TimeNowNs();
    uint64_t next = (now / frame + 1) * frame;
    Sleep(static_cast<DWORD>((next - now) / 1000000 + 1));
}
