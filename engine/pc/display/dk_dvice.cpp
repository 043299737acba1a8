// The display survey: devices, video memory, usable modes in their four slots, and the
// rating of each device's 3D hardware. Done once; later calls copy the cached record.

#include "engine/pc/display/dk_dvice.h"

#include <cstring>
#include <utility>

#include "engine/pc/display/2dinit.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/win.h"

BOOL gboMode320x240x16OK = TRUE;
BOOL gboPowerVR = FALSE;
BOOL gboDeviceTextureAlpha = FALSE;
BOOL gbo3DHardware = FALSE;

namespace
{

struct ModeList
{
    int nCount;
    int32_t aModes[DK_MAX_MODES][2];
};

DISPLAYCAPS gCachedCaps;
BOOL gboSurveyDone = FALSE;
uint32_t gauSurfaceMemory[DK_MAX_DISPLAY_DEVICES];
uint32_t gauTextureMemory[DK_MAX_DISPLAY_DEVICES];
GUID gaGuids[DK_MAX_DISPLAY_DEVICES];
ModeList g8BitModes;
ModeList g16BitModes;
uint32_t guDesktopBytes = 0;
BOOL gboFirstHardwareSeen = FALSE;

const int32_t kSlotSizes[4][2] = {{320, 240}, {512, 384}, {640, 480}, {800, 600}};

BOOL DDEnumCallBack(GUID* lpGUID, LPSTR, LPSTR, LPVOID lpContext)
{
    DISPLAYCAPS* pCaps = static_cast<DISPLAYCAPS*>(lpContext);
    if (pCaps->uNumDevices >= DK_MAX_DISPLAY_DEVICES)
    {
        DKREPORT(DkFormatString("Found more than %d display devices!", DK_MAX_DISPLAY_DEVICES));
        return DDENUMRET_CANCEL;
    }
    uint32_t n = pCaps->uNumDevices;
    DK_DISPLAY_DEVICE& entry = pCaps->aDevices[n];
    if (lpGUID != nullptr)
    {
        gaGuids[n] = *lpGUID;
        std::memcpy(entry.guid, lpGUID, sizeof entry.guid);
        entry.lpGuid = &gaGuids[n];
    }
    else
    {
        entry.lpGuid = nullptr;
    }
    ++pCaps->uNumDevices;
    return DDENUMRET_OK;
}

HRESULT DkEnumModesCallback(DDSURFACEDESC* pDesc, LPVOID)
{
    if (pDesc->dwWidth < 320 || pDesc->dwWidth > 800 || pDesc->dwHeight < 240 ||
        pDesc->dwHeight > 600)
        return DDENUMRET_OK;
    DWORD bits = pDesc->ddpfPixelFormat.dwRGBBitCount;
    ModeList* list = nullptr;
    if (bits == 8)
    {
        list = &g8BitModes;
        if (list->nCount >= DK_MAX_MODES)
        {
            DKREPORT("Found more than 'MAX_MODES' 8 bit modes");
            return DDENUMRET_OK;
        }
    }
    else if (bits == 16)
    {
        list = &g16BitModes;
        if (list->nCount >= DK_MAX_MODES)
        {
            DKREPORT("Found more than 'MAX_MODES' 16 bit modes");
            return DDENUMRET_OK;
        }
        if (pDesc->ddpfPixelFormat.dwGBitMask == 0x3E0)
        {
            d2d->uRedBits = 5;
            d2d->uGreenBits = 5;
            d2d->uBlueBits = 5;
        }
        else if (pDesc->ddpfPixelFormat.dwGBitMask == 0x7E0)
        {
            d2d->uRedBits = 5;
            d2d->uGreenBits = 6;
            d2d->uBlueBits = 5;
        }
    }
    else
    {
        return DDENUMRET_OK;
    }
    list->aModes[list->nCount][0] = static_cast<int32_t>(pDesc->dwWidth);
    list->aModes[list->nCount][1] = static_cast<int32_t>(pDesc->dwHeight);
    ++list->nCount;
    return DDENUMRET_OK;
}

// Neighbours swap while the first is at least as large both ways and not the same size.
void SortModes(ModeList* pList)
{
    bool swapped = true;
    while (swapped)
    {
        swapped = false;
        for (int i = 0; i + 1 < pList->nCount; ++i)
        {
            int32_t* a = pList->aModes[i];
            int32_t* b = pList->aModes[i + 1];
            if (a[0] >= b[0] && a[1] >= b[1] && (a[0] != b[0] || a[1] != b[1]))
            {
                std::swap(a[0], b[0]);
                std::swap(a[1], b[1]);
                swapped = true;
            }
        }
    }
}

// Fills the four slots from the sorted list; returns the capped count.
int32_t FillSlots(const ModeList& list, int32_t* pSlots, int nDepth)
{
    for (int slot = 0; slot < 4; ++slot)
    {
        bool found = false;
        for (int i = 0; i < list.nCount && !found; ++i)
            found = list.aModes[i][0] == kSlotSizes[slot][0] &&
                    list.aModes[i][1] == kSlotSizes[slot][1];
        if (found)
        {
            pSlots[2 * slot] = kSlotSizes[slot][0];
            pSlots[2 * slot + 1] = kSlotSizes[slot][1];
            DkLog(DkFormatString("FOUND %dX%dX%d OK", kSlotSizes[slot][0], kSlotSizes[slot][1],
                                 nDepth));
            continue;
        }
        if (nDepth == 16 && slot == 0)
            gboMode320x240x16OK = FALSE;
        if (list.nCount == 0)
            continue;
        // A missing size takes a substitute from the list; with fewer than two modes the
        // entries asked for are held inside the list.
        int n = list.nCount;
        int pick = slot == 0 ? 0 : slot == 1 ? n / 2 : slot == 2 ? n - 2 : n - 1;
        if (pick < 0)
            pick = 0;
        pSlots[2 * slot] = list.aModes[pick][0];
        pSlots[2 * slot + 1] = list.aModes[pick][1];
    }
    return list.nCount < 4 ? list.nCount : 4;
}

void DkProbeDisplayModes(DK_DISPLAY_DEVICE* pEntry, IDirectDraw2* lpDD2)
{
    if (pEntry->lpGuid == nullptr)
    {
        DDSURFACEDESC desktop{};
        desktop.dwSize = sizeof desktop;
        uint32_t bytes = static_cast<uint32_t>(GetSystemMetrics(SM_CXSCREEN)) *
                         static_cast<uint32_t>(GetSystemMetrics(SM_CYSCREEN));
        if (lpDD2->GetDisplayMode(&desktop) == DD_OK && desktop.ddpfPixelFormat.dwRGBBitCount == 16)
            bytes *= 2;
        guDesktopBytes = bytes;
    }

    DDCAPS caps{};
    caps.dwSize = sizeof caps;
    DkCheckDD(lpDD2->GetCaps(&caps, nullptr), __LINE__, __FILE__);
    uint32_t s = caps.dwVidMemTotal + guDesktopBytes - 1;
    uint32_t power = 0x80000000u;
    while (power > 1 && ((power >> 1) & s) == 0)
        power >>= 1;
    pEntry->nVideoMemory = static_cast<int32_t>(power);

    g8BitModes.nCount = 0;
    g16BitModes.nCount = 0;
    DkCheckDD(lpDD2->EnumDisplayModes(0, nullptr, pEntry, DkEnumModesCallback), __LINE__, __FILE__);
    SortModes(&g8BitModes);
    SortModes(&g16BitModes);
    pEntry->nNum8BitModes = FillSlots(g8BitModes, pEntry->a8BitModes, 8);
    pEntry->nNum16BitModes = FillSlots(g16BitModes, pEntry->a16BitModes, 16);
}

HRESULT DkEnum3DDevicesCallback(GUID*, LPSTR, LPSTR, D3DDEVICEDESC* pHW, D3DDEVICEDESC*,
                                LPVOID lpContext)
{
    DK_DISPLAY_DEVICE* pEntry = static_cast<DK_DISPLAY_DEVICE*>(lpContext);
    int32_t nRating = 0;
    if (pHW == nullptr || pHW->dcmColorModel == 0)
    {
        // A software device.
    }
    else if (!(pHW->dpcTriCaps.dwTextureFilterCaps & D3DPTFILTERCAPS_NEAREST))
    {
        DkLog("3D device cannot do texture mapping");
    }
    else
    {
        pEntry->nTextureMapping = 1;
        gbo3DHardware = TRUE;
        if (pHW->dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_ZBUFFERLESSHSR)
        {
            DkLog("FOUND A POWERVR in enum");
            gboPowerVR = TRUE;
        }
        if (!gboFirstHardwareSeen)
        {
            gboFirstHardwareSeen = TRUE;
            gboDeviceTextureAlpha =
                (pHW->dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_ALPHA) ? TRUE : FALSE;
        }
        pEntry->nTexturesInVideoMemory = 1;
        nRating = 2;
        if (pHW->dpcTriCaps.dwTextureFilterCaps & D3DPTFILTERCAPS_LINEAR)
        {
            ++nRating;
            pEntry->nBilinear = 1;
        }
        if (pHW->dpcTriCaps.dwTextureFilterCaps & D3DPTFILTERCAPS_LINEARMIPLINEAR)
            ++nRating;
        if (pHW->dwDevCaps & D3DDEVCAPS_TEXTURESYSTEMMEMORY)
        {
            ++nRating;
            pEntry->nTexturesInSystemMemory = 1;
        }
        static const struct
        {
            DWORD flag;
            int32_t bits;
        } kDepths[] = {{DDBD_16, 16}, {DDBD_24, 24}, {DDBD_32, 32}};
        bool zbuffer = false;
        for (const auto& depth : kDepths)
            if (!zbuffer && (pHW->dwDeviceZBufferBitDepth & depth.flag))
            {
                pEntry->nZBuffer = 1;
                pEntry->nZBufferBits = depth.bits;
                zbuffer = true;
            }
        if (zbuffer)
            ++nRating;
        else
            DKREPORT("Boh? This 3d-card has no z-buffer.");
    }
    pEntry->nRating = nRating;
    return DDENUMRET_OK;
}

void DkGet3DDeviceCaps(DK_DISPLAY_DEVICE* pEntry, IDirectDraw2* lpDD2)
{
    IDirect3D* lpD3D = nullptr;
    if (!DkCheckDD(lpDD2->QueryInterface(IID_IDirect3D, reinterpret_cast<void**>(&lpD3D)), __LINE__,
                   __FILE__))
        return;
    DkCheckD3D(lpD3D->EnumDevices(DkEnum3DDevicesCallback, pEntry), __LINE__, __FILE__);
    DkReleaseTraced(lpD3D, "lpD3D", TRUE);
}

} // namespace

int GetDisplayCapabilities(DISPLAYCAPS* pCaps, HWND hWnd)
{
    if (pCaps == nullptr)
    {
        DKREPORT("GetDisplayCapabilities() : NULL DISPLAYCAPS Pointer");
        return 1;
    }
    if (hWnd == nullptr)
        DKREPORT("GetDisplayCapabilities() : NULL window handle");

    if (gboSurveyDone)
    {
        *pCaps = gCachedCaps;
        pCaps->uBestDevice = pCaps->uBestDevice2 = static_cast<uint32_t>(DkGetDisplayDevice());
        return 1;
    }

    std::memset(pCaps, 0, sizeof *pCaps);
    DirectDrawEnumerateA(DDEnumCallBack, pCaps);
    if (pCaps->uNumDevices == 0)
        DKREPORT("ERROR : No Display Caps Found");

    for (uint32_t i = 0; i < pCaps->uNumDevices; ++i)
    {
        DK_DISPLAY_DEVICE* pEntry = &pCaps->aDevices[i];
        IDirectDraw* lpDD = nullptr;
        IDirectDraw2* lpDD2 = nullptr;
        if (!DkCheckDD(DirectDrawCreate(static_cast<GUID*>(pEntry->lpGuid), &lpDD, nullptr),
                       __LINE__, __FILE__))
            continue;
        if (DkCheckDD(lpDD->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&lpDD2)),
                      __LINE__, __FILE__))
        {
            DkCheckDD(lpDD2->SetCooperativeLevel(hWnd, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN |
                                                           DDSCL_ALLOWMODEX),
                      __LINE__, __FILE__);
            DkProbeDisplayModes(pEntry, lpDD2);
            DkCheckDD(lpDD2->SetCooperativeLevel(hWnd, DDSCL_NORMAL), __LINE__, __FILE__);
            DkGet3DDeviceCaps(pEntry, lpDD2);

            DDSCAPS surfaceCaps = {DDSCAPS_LOCALVIDMEM | DDSCAPS_VIDEOMEMORY};
            DDSCAPS textureCaps = {DDSCAPS_TEXTURE};
            DWORD total = 0;
            DWORD free = 0;
            if (DkCheckDD(lpDD2->GetAvailableVidMem(&surfaceCaps, &total, &free), __LINE__,
                          __FILE__))
                gauSurfaceMemory[i] = free;
            if (DkCheckDD(lpDD2->GetAvailableVidMem(&textureCaps, &total, &free), __LINE__,
                          __FILE__))
                gauTextureMemory[i] = free;
            DkLog(DkFormatString("MEM CHECK FOR DEVICE %d", (int)i));
            DkLog(DkFormatString("Memory available for main surfaces = %d K",
                                 (int)(gauSurfaceMemory[i] / 1024)));
            DkLog(DkFormatString("Memory available for textures = %d K",
                                 (int)(gauTextureMemory[i] / 1024)));
            DkReleaseTraced(lpDD2, "lpDD2", TRUE);
        }
        DkReleaseTraced(lpDD, "lpDD", TRUE);
    }

    DkLog(DkFormatString("uNumDevices : %d", (int)pCaps->uNumDevices));
    DkLog(DkFormatString("Best device : %d\n", DkGetDisplayDevice()));
    pCaps->uBestDevice = pCaps->uBestDevice2 = static_cast<uint32_t>(DkGetDisplayDevice());
    gCachedCaps = *pCaps;
    gboSurveyDone = TRUE;
    return 1;
}

uint32_t DkGetDeviceSurfaceMemory(int nDevice)
{
    return (nDevice >= 0 && nDevice < DK_MAX_DISPLAY_DEVICES) ? gauSurfaceMemory[nDevice] : 0;
}

uint32_t DkGetDeviceTextureMemory(int nDevice)
{
    return (nDevice >= 0 && nDevice < DK_MAX_DISPLAY_DEVICES) ? gauTextureMemory[nDevice] : 0;
}

int DkGetNumDisplayDevices(void)
{
    return static_cast<int>(gCachedCaps.uNumDevices);
}

BOOL DkHasPointSampledTextures(void)
{
    const int nDevice = DkGetDisplayDevice();
    if (nDevice < 0 || static_cast<uint32_t>(nDevice) >= gCachedCaps.uNumDevices ||
        nDevice >= DK_MAX_DISPLAY_DEVICES)
        return FALSE;
    return gCachedCaps.aDevices[nDevice].nTextureMapping != 0 ? TRUE : FALSE;
}

void DkForgetDisplayCapabilities(void)
{
    gboSurveyDone = FALSE;
    gCachedCaps = DISPLAYCAPS{};
    gboMode320x240x16OK = TRUE;
    gboPowerVR = FALSE;
    gboDeviceTextureAlpha = FALSE;
    gbo3DHardware = FALSE;
    gboFirstHardwareSeen = FALSE;
    for (int i = 0; i < DK_MAX_DISPLAY_DEVICES; ++i)
        gauSurfaceMemory[i] = gauTextureMemory[i] = 0;
}
