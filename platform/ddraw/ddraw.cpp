// The DirectDraw object, its surfaces and palettes, all in system memory.

#include "platform/ddraw/ddraw.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

#include "platform/d3d/d3d.h"
#include "platform/crt/crt.h"
#include "platform/ddraw/ddraw_internal.h"
#include "platform/time/time.h"

const IID IID_IDirectDraw = {0x44445A01, 0x0001, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 0, 1}};
const IID IID_IDirectDraw2 = {0x44445A01, 0x0002, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 0, 2}};
const IID IID_IDirectDrawSurface = {
    0x44445A02, 0x0001, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 0, 3}};

namespace
{

constexpr DdMode kDefaultModes[] = {{320, 240, 8}, {320, 240, 16}, {512, 384, 8}, {512, 384, 16},
                                    {640, 480, 8}, {640, 480, 16}, {800, 600, 8}, {800, 600, 16}};
// What the display shows before the game sets a mode of its own.
constexpr DdMode kDesktopMode = {640, 480, 16};
constexpr DWORD kDefaultVideoMemory = 16u << 20;
constexpr DWORD kMaxSurfaceSide = 16384;
constexpr DWORD kGreenMask555 = 0x03E0;

std::vector<DdMode> gaModes(std::begin(kDefaultModes), std::end(kDefaultModes));
DWORD gdwGreenMask16 = 0x07E0;
DWORD gdwVideoMemoryHook = 0;
DWORD gdwVideoMemoryUsed = 0;

std::atomic<int> gnLive{0};
int gnDirectDraws = 0;
std::vector<DdSurfaceData*> gaSurfaces;
DdSurfaceData* gpPrimary = nullptr;

DWORD VideoMemoryTotal()
{
    if (gdwVideoMemoryHook != 0)
        return gdwVideoMemoryHook;
    return static_cast<DWORD>(crt_env_number("DEZOR_VIDEO_MEMORY", 1, 0xFFFFFFFFu,
                                             kDefaultVideoMemory, "a number of bytes"));
}

// What is left of the total; never below zero, should the total shrink under what is in use.
DWORD VideoMemoryFree(DWORD total)
{
    return total - std::min(gdwVideoMemoryUsed, total);
}

// Pixel formats.

struct RgbLayout
{
    DWORD bits;
    DWORD red;
    DWORD green;
    DWORD blue;
    DWORD alpha;
};

constexpr RgbLayout kRgbLayouts[] = {
    {16, 0x7C00, 0x03E0, 0x001F, 0},       // 5:5:5
    {16, 0xF800, 0x07E0, 0x001F, 0},       // 5:6:5
    {16, 0x0F00, 0x00F0, 0x000F, 0xF000},  // 4:4:4:4
    {16, 0x00E0, 0x001C, 0x0003, 0xFF00},  // 3:3:2 with 8-bit alpha
    {24, 0xFF0000, 0x00FF00, 0x0000FF, 0}, // 8:8:8
};

DDPIXELFORMAT MakeRgbFormat(const RgbLayout& l)
{
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB | (l.alpha != 0 ? DDPF_ALPHAPIXELS : 0);
    pf.dwRGBBitCount = l.bits;
    pf.dwRBitMask = l.red;
    pf.dwGBitMask = l.green;
    pf.dwBBitMask = l.blue;
    pf.dwRGBAlphaBitMask = l.alpha;
    return pf;
}

DDPIXELFORMAT Palettised8Format()
{
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
    pf.dwRGBBitCount = 8;
    return pf;
}

DDPIXELFORMAT Z16Format()
{
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_ZBUFFER;
    pf.dwZBufferBitDepth = 16;
    return pf;
}

DDPIXELFORMAT ModeFormat(DWORD bits)
{
    if (bits == 8)
        return Palettised8Format();
    return MakeRgbFormat(gdwGreenMask16 == kGreenMask555 ? kRgbLayouts[0] : kRgbLayouts[1]);
}

HRESULT CheckPixelFormat(const DDPIXELFORMAT& in, DDPIXELFORMAT& out)
{
    if (in.dwFlags & (DDPF_PALETTEINDEXED1 | DDPF_PALETTEINDEXED2 | DDPF_PALETTEINDEXED4))
        return DDERR_INVALIDPIXELFORMAT;
    if (in.dwFlags & DDPF_PALETTEINDEXED8)
    {
        out = Palettised8Format();
        return DD_OK;
    }
    if (!(in.dwFlags & DDPF_RGB))
        return DDERR_INVALIDPIXELFORMAT;
    DWORD alpha = (in.dwFlags & DDPF_ALPHAPIXELS) ? in.dwRGBAlphaBitMask : 0;
    for (const RgbLayout& l : kRgbLayouts)
    {
        if (l.bits == in.dwRGBBitCount && l.red == in.dwRBitMask && l.green == in.dwGBitMask &&
            l.blue == in.dwBBitMask && l.alpha == alpha)
        {
            out = MakeRgbFormat(l);
            return DD_OK;
        }
    }
    return DDERR_INVALIDPIXELFORMAT;
}

DWORD BytesPerPixel(const DDPIXELFORMAT& pf)
{
    return (pf.dwFlags & DDPF_ZBUFFER ? pf.dwZBufferBitDepth : pf.dwRGBBitCount) / 8;
}

// Rows start on 4-byte boundaries, as the display memory's did.
DWORD RowPitch(DWORD width, DWORD bytesPerPixel)
{
    return (width * bytesPerPixel + 3) & ~3u;
}

bool IsPalettised(const DdSurfaceData& s)
{
    return (s.format.dwFlags & DDPF_PALETTEINDEXED8) != 0;
}

// Rectangles and pixels.

RECT WholeRect(const DdSurfaceData& s)
{
    return RECT{0, 0, static_cast<LONG>(s.width), static_cast<LONG>(s.height)};
}

bool Inside(const RECT& r, const DdSurfaceData& s)
{
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
           r.right <= static_cast<LONG>(s.width) && r.bottom <= static_cast<LONG>(s.height);
}

DWORD ReadPixel(const uint8_t* p, DWORD bytes)
{
    DWORD v = 0;
    std::memcpy(&v, p, bytes);
    return v;
}

void FillRect(DdSurfaceData& s, const RECT& r, DWORD value)
{
    if (r.left >= r.right || r.top >= r.bottom)
        return;
    // The first row pixel by pixel, the others copied from it.
    const DWORD bpp = s.bytesPerPixel;
    uint8_t* first = DdRow(s, r.top) + r.left * bpp;
    uint8_t* p = first;
    for (LONG x = r.left; x < r.right; ++x, p += bpp)
        std::memcpy(p, &value, bpp);
    const size_t rowBytes = static_cast<size_t>(r.right - r.left) * bpp;
    for (LONG y = r.top + 1; y < r.bottom; ++y)
        std::memcpy(DdRow(s, y) + r.left * bpp, first, rowBytes);
}

struct KeyRange
{
    bool on = false;
    DWORD low = 0;
    DWORD high = 0;
};

KeyRange SourceKey(const DdSurfaceData& src, bool wanted)
{
    KeyRange key;
    if (!wanted || !src.hasColorKey)
        return key;
    key.on = true;
    key.low = src.colorKey.dwColorSpaceLowValue;
    // A high value below the low one is a key of one value.
    key.high = std::max(src.colorKey.dwColorSpaceHighValue, key.low);
    return key;
}

// Copies s onto d, stretching with nearest-pixel sampling (each destination pixel takes the
// source pixel under its centre).
void CopyRect(DdSurfaceData& dst, const RECT& d, const DdSurfaceData& src, const RECT& s,
              KeyRange key)
{
    std::vector<uint8_t> copy;
    const uint8_t* base = src.pixels.data();
    if (&src == &dst)
    {
        copy = src.pixels;
        base = copy.data();
    }
    const DWORD bpp = dst.bytesPerPixel;
    const int64_t dw = d.right - d.left, dh = d.bottom - d.top;
    const int64_t sw = s.right - s.left, sh = s.bottom - s.top;
    for (int64_t y = 0; y < dh; ++y)
    {
        int64_t sy = s.top + ((2 * y + 1) * sh) / (2 * dh);
        const uint8_t* srow = base + sy * src.pitch;
        uint8_t* drow = DdRow(dst, static_cast<DWORD>(d.top + y)) + d.left * bpp;
        for (int64_t x = 0; x < dw; ++x)
        {
            int64_t sx = s.left + ((2 * x + 1) * sw) / (2 * dw);
            const uint8_t* sp = srow + sx * bpp;
            if (key.on)
            {
                DWORD v = ReadPixel(sp, bpp);
                if (v >= key.low && v <= key.high)
                    continue;
            }
            std::memcpy(drow + x * bpp, sp, bpp);
        }
    }
}

HRESULT CheckUsable(const DdSurfaceData& s)
{
    if (s.lost)
        return DDERR_SURFACELOST;
    if (s.access != DdAccess::Free)
        return DDERR_SURFACEBUSY;
    return DD_OK;
}

void FillDesc(const DdSurfaceData& s, DDSURFACEDESC& d)
{
    d = DDSURFACEDESC{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
    d.dwWidth = s.width;
    d.dwHeight = s.height;
    d.lPitch = s.pitch;
    d.ddpfPixelFormat = s.format;
    d.ddsCaps.dwCaps = s.caps;
    if (s.back != nullptr)
    {
        d.dwFlags |= DDSD_BACKBUFFERCOUNT;
        d.dwBackBufferCount = 1;
    }
    if (s.format.dwFlags & DDPF_ZBUFFER)
    {
        d.dwFlags |= DDSD_ZBUFFERBITDEPTH;
        d.dwZBufferBitDepth = s.format.dwZBufferBitDepth;
    }
    if (s.hasColorKey)
    {
        d.dwFlags |= DDSD_CKSRCBLT;
        d.ddckCKSrcBlt = s.colorKey;
    }
}

DDSURFACEDESC ModeDesc(const DdMode& m)
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
    d.dwWidth = m.width;
    d.dwHeight = m.height;
    d.lPitch = static_cast<LONG>(RowPitch(m.width, m.bits / 8));
    d.dwRefreshRate = 60;
    d.ddpfPixelFormat = ModeFormat(m.bits);
    return d;
}

// Creation and destruction.

DdSurfaceData* NewSurface(DdObject& owner, DWORD caps, DWORD width, DWORD height,
                          const DDPIXELFORMAT& format)
{
    auto* s = new DdSurfaceData;
    s->iface.data = s;
    s->owner = &owner.iface;
    owner.iface.AddRef();
    s->caps = caps;
    s->width = width;
    s->height = height;
    s->format = format;
    s->bytesPerPixel = BytesPerPixel(format);
    s->pitch = static_cast<LONG>(RowPitch(width, s->bytesPerPixel));
    s->pixels.assign(static_cast<size_t>(s->pitch) * height, 0);
    gaSurfaces.push_back(s);
    ++gnLive;
    return s;
}

void DestroySurface(DdSurfaceData* s)
{
    D3dFinishDrawing(); // drawing recorded into it, or from a texture made of it
    if (s->palette != nullptr)
        s->palette->Release();
    if (s->zbuffer != nullptr)
        s->zbuffer->Release();
    if (s->back != nullptr)
    {
        s->back->data->front = nullptr;
        s->back->Release();
    }
    if (gpPrimary == s)
        gpPrimary = nullptr;
    gdwVideoMemoryUsed -= s->videoBytes;
    gaSurfaces.erase(std::find(gaSurfaces.begin(), gaSurfaces.end(), s));
    IDirectDraw2* owner = s->owner;
    delete s;
    --gnLive;
    owner->Release();
}

HRESULT CreatePrimary(DdObject& dd, const DDSURFACEDESC& d, IDirectDrawSurface** out)
{
    if (gpPrimary != nullptr)
        return DDERR_PRIMARYSURFACEALREADYEXISTS;
    DWORD caps = d.ddsCaps.dwCaps;
    bool chain = (caps & DDSCAPS_FLIP) != 0;
    if (chain && (!(caps & DDSCAPS_COMPLEX) || !(d.dwFlags & DDSD_BACKBUFFERCOUNT) ||
                  d.dwBackBufferCount != 1))
        return DDERR_INVALIDPARAMS;

    DDPIXELFORMAT format = ModeFormat(dd.mode.bits);
    DdSurfaceData* primary = NewSurface(dd, caps | (chain ? DDSCAPS_FRONTBUFFER : 0), dd.mode.width,
                                        dd.mode.height, format);
    if (chain)
    {
        DWORD backCaps = (caps & ~DDSCAPS_PRIMARYSURFACE) | DDSCAPS_BACKBUFFER;
        DdSurfaceData* back = NewSurface(dd, backCaps, dd.mode.width, dd.mode.height, format);
        primary->back = &back->iface;
        back->front = primary;
    }
    gpPrimary = primary;
    *out = &primary->iface;
    return DD_OK;
}

HRESULT SurfaceFormat(const DdObject& dd, const DDSURFACEDESC& d, DDPIXELFORMAT& format)
{
    if (d.ddsCaps.dwCaps & DDSCAPS_ZBUFFER)
    {
        DWORD depth = 0;
        if (d.dwFlags & DDSD_ZBUFFERBITDEPTH)
            depth = d.dwZBufferBitDepth;
        else if ((d.dwFlags & DDSD_PIXELFORMAT) && (d.ddpfPixelFormat.dwFlags & DDPF_ZBUFFER))
            depth = d.ddpfPixelFormat.dwZBufferBitDepth;
        else
            return DDERR_INVALIDPARAMS;
        if (depth != 16)
            return DDERR_INVALIDPIXELFORMAT;
        format = Z16Format();
        return DD_OK;
    }
    if (d.dwFlags & DDSD_PIXELFORMAT)
        return CheckPixelFormat(d.ddpfPixelFormat, format);
    format = ModeFormat(dd.mode.bits);
    return DD_OK;
}

HRESULT CreatePlain(DdObject& dd, const DDSURFACEDESC& d, IDirectDrawSurface** out)
{
    if ((d.dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT) || d.dwWidth == 0 ||
        d.dwHeight == 0 || d.dwWidth > kMaxSurfaceSide || d.dwHeight > kMaxSurfaceSide)
        return DDERR_INVALIDPARAMS;
    DDPIXELFORMAT format{};
    if (HRESULT hr = SurfaceFormat(dd, d, format); hr != DD_OK)
        return hr;

    DWORD caps = d.ddsCaps.dwCaps;
    DWORD videoBytes = 0;
    if (caps & DDSCAPS_VIDEOMEMORY)
    {
        uint64_t bytes =
            static_cast<uint64_t>(RowPitch(d.dwWidth, BytesPerPixel(format))) * d.dwHeight;
        if (gdwVideoMemoryUsed + bytes > VideoMemoryTotal())
            return DDERR_OUTOFVIDEOMEMORY;
        videoBytes = static_cast<DWORD>(bytes);
    }
    else
    {
        caps |= DDSCAPS_SYSTEMMEMORY;
    }

    DdSurfaceData* s = NewSurface(dd, caps, d.dwWidth, d.dwHeight, format);
    s->videoBytes = videoBytes;
    gdwVideoMemoryUsed += videoBytes;
    if (d.dwFlags & DDSD_CKSRCBLT)
    {
        s->hasColorKey = true;
        s->colorKey = d.ddckCKSrcBlt;
    }
    *out = &s->iface;
    return DD_OK;
}

DDSCAPS SupportedCaps()
{
    return DDSCAPS{DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP | DDSCAPS_FRONTBUFFER |
                   DDSCAPS_OFFSCREENPLAIN | DDSCAPS_PALETTE | DDSCAPS_PRIMARYSURFACE |
                   DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY |
                   DDSCAPS_ZBUFFER};
}

void FillCaps(DDCAPS& caps)
{
    caps = DDCAPS{};
    caps.dwSize = sizeof caps;
    caps.dwPalCaps = DDPCAPS_8BIT | DDPCAPS_ALLOW256;
    caps.dwVidMemTotal = VideoMemoryTotal();
    caps.dwVidMemFree = VideoMemoryFree(caps.dwVidMemTotal);
    caps.ddsCaps = SupportedCaps();
}

bool IsListedMode(DWORD width, DWORD height, DWORD bits)
{
    return std::any_of(gaModes.begin(), gaModes.end(),
                       [&](const DdMode& m)
                       { return m.width == width && m.height == height && m.bits == bits; });
}

} // namespace

// Shared with gdi.cpp and present.cpp.

DdSurfaceData* DdSurfaceFromDc(HDC hdc)
{
    for (DdSurfaceData* s : gaSurfaces)
        if (s->access == DdAccess::DcOut && reinterpret_cast<HDC>(&s->dc) == hdc)
            return s;
    return nullptr;
}

const DdPaletteData* DdSurfacePalette(const DdSurfaceData& s)
{
    if (s.palette != nullptr)
        return s.palette->data;
    if (s.front != nullptr && s.front->palette != nullptr)
        return s.front->palette->data;
    return nullptr;
}

DWORD DdPixelFromRgb(const DdSurfaceData& s, BYTE r, BYTE g, BYTE b)
{
    if (IsPalettised(s))
    {
        const DdPaletteData* pal = DdSurfacePalette(s);
        const std::array<PALETTEENTRY, 256>& entries =
            pal != nullptr ? pal->entries : GdiSystemPalette();
        DWORD best = 0;
        int bestDistance = 1 << 30;
        for (DWORD i = 0; i < 256; ++i)
        {
            int dr = entries[i].peRed - r, dg = entries[i].peGreen - g, db = entries[i].peBlue - b;
            int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance)
            {
                best = i;
                bestDistance = distance;
            }
        }
        return best;
    }
    auto channel = [](BYTE c, DWORD mask) -> DWORD
    {
        int bits = std::popcount(mask);
        if (bits == 0)
            return 0;
        return (static_cast<DWORD>(c) >> (8 - bits)) << std::countr_zero(mask);
    };
    return channel(r, s.format.dwRBitMask) | channel(g, s.format.dwGBitMask) |
           channel(b, s.format.dwBBitMask) | s.format.dwRGBAlphaBitMask;
}

void DdFillClipped(DdSurfaceData& s, RECT r, DWORD value)
{
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, static_cast<LONG>(s.width));
    r.bottom = std::min<LONG>(r.bottom, static_cast<LONG>(s.height));
    if (r.left < r.right && r.top < r.bottom)
    {
        FillRect(s, r, value);
        DdTouch(s);
    }
}

// The display device.

HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA lpCallback, LPVOID lpContext)
{
    if (lpCallback == nullptr)
        return DDERR_INVALIDPARAMS;
    char description[] = "Display";
    char name[] = "display";
    lpCallback(nullptr, description, name, lpContext);
    return DD_OK;
}

HRESULT DirectDrawCreate(GUID*, LPDIRECTDRAW* lplpDD, void*)
{
    if (lplpDD == nullptr)
        return DDERR_INVALIDPARAMS;
    auto* dd = new DdObject;
    dd->iface.data = dd;
    dd->mode = kDesktopMode;
    ++gnLive;
    ++gnDirectDraws;
    *lplpDD = &dd->iface;
    return DD_OK;
}

ULONG IDirectDraw2::AddRef()
{
    return ++data->refs;
}

ULONG IDirectDraw2::Release()
{
    ULONG refs = --data->refs;
    if (refs == 0)
    {
        delete data;
        --gnLive;
        if (--gnDirectDraws == 0)
            DdPresentShutdown();
    }
    return refs;
}

HRESULT IDirectDraw2::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return DDERR_INVALIDPARAMS;
    *ppv = nullptr;
    if (IsEqualGUID(riid, IID_IDirectDraw) || IsEqualGUID(riid, IID_IDirectDraw2))
    {
        AddRef();
        *ppv = this;
        return DD_OK;
    }
    if (IsEqualGUID(riid, IID_IDirect3D) || IsEqualGUID(riid, IID_IDirect3D2))
        return D3dCreateForDirectDraw(this, reinterpret_cast<IDirect3D2**>(ppv));
    return E_NOINTERFACE;
}

HRESULT IDirectDraw2::SetCooperativeLevel(HWND hWnd, DWORD dwFlags)
{
    if ((dwFlags & DDSCL_EXCLUSIVE) && hWnd == nullptr)
        return DDERR_INVALIDPARAMS;
    data->hWnd = hWnd;
    data->cooperativeFlags = dwFlags;
    return DD_OK;
}

HRESULT IDirectDraw2::SetDisplayMode(DWORD dwWidth, DWORD dwHeight, DWORD dwBPP, DWORD, DWORD)
{
    const DWORD exclusive = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN;
    if ((data->cooperativeFlags & exclusive) != exclusive)
        return DDERR_NOEXCLUSIVEMODE;
    if (!IsListedMode(dwWidth, dwHeight, dwBPP))
        return DDERR_INVALIDMODE;
    // The window already covers the screen and presenting scales, so only the surfaces made
    // from now on see the mode.
    data->mode = DdMode{dwWidth, dwHeight, dwBPP};
    return DD_OK;
}

HRESULT IDirectDraw2::RestoreDisplayMode()
{
    data->mode = kDesktopMode;
    return DD_OK;
}

HRESULT IDirectDraw2::GetDisplayMode(DDSURFACEDESC* lpDDSurfaceDesc)
{
    if (lpDDSurfaceDesc == nullptr)
        return DDERR_INVALIDPARAMS;
    *lpDDSurfaceDesc = ModeDesc(data->mode);
    return DD_OK;
}

HRESULT IDirectDraw2::EnumDisplayModes(DWORD, DDSURFACEDESC*, LPVOID lpContext,
                                       LPDDENUMMODESCALLBACK lpEnumModesCallback)
{
    if (lpEnumModesCallback == nullptr)
        return DDERR_INVALIDPARAMS;
    // A copy, so a callback that changes the list cannot pull it from under the loop.
    std::vector<DdMode> modes = gaModes;
    for (const DdMode& m : modes)
    {
        DDSURFACEDESC d = ModeDesc(m);
        if (lpEnumModesCallback(&d, lpContext) == DDENUMRET_CANCEL)
            break;
    }
    return DD_OK;
}

HRESULT IDirectDraw2::GetCaps(DDCAPS* lpDDDriverCaps, DDCAPS* lpDDHELCaps)
{
    if (lpDDDriverCaps == nullptr && lpDDHELCaps == nullptr)
        return DDERR_INVALIDPARAMS;
    if (lpDDDriverCaps != nullptr)
        FillCaps(*lpDDDriverCaps);
    if (lpDDHELCaps != nullptr)
        FillCaps(*lpDDHELCaps);
    return DD_OK;
}

HRESULT IDirectDraw2::GetAvailableVidMem(DDSCAPS* lpDDSCaps, DWORD* lpdwTotal, DWORD* lpdwFree)
{
    if (lpDDSCaps == nullptr)
        return DDERR_INVALIDPARAMS;
    DWORD total = VideoMemoryTotal();
    if (lpdwTotal != nullptr)
        *lpdwTotal = total;
    if (lpdwFree != nullptr)
        *lpdwFree = VideoMemoryFree(total);
    return DD_OK;
}

HRESULT IDirectDraw2::CreateSurface(DDSURFACEDESC* lpDDSurfaceDesc,
                                    IDirectDrawSurface** lplpDDSurface, void*)
{
    if (lplpDDSurface == nullptr)
        return DDERR_INVALIDPARAMS;
    *lplpDDSurface = nullptr;
    if (lpDDSurfaceDesc == nullptr || !(lpDDSurfaceDesc->dwFlags & DDSD_CAPS))
        return DDERR_INVALIDPARAMS;
    if (lpDDSurfaceDesc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE)
        return CreatePrimary(*data, *lpDDSurfaceDesc, lplpDDSurface);
    return CreatePlain(*data, *lpDDSurfaceDesc, lplpDDSurface);
}

HRESULT IDirectDraw2::CreatePalette(DWORD dwFlags, PALETTEENTRY* lpColorTable,
                                    IDirectDrawPalette** lplpDDPalette, void*)
{
    if (lplpDDPalette == nullptr || lpColorTable == nullptr || !(dwFlags & DDPCAPS_8BIT))
        return DDERR_INVALIDPARAMS;
    auto* p = new DdPaletteData;
    p->iface.data = p;
    std::copy(lpColorTable, lpColorTable + 256, p->entries.begin());
    ++gnLive;
    *lplpDDPalette = &p->iface;
    return DD_OK;
}

HRESULT IDirectDraw2::WaitForVerticalBlank(DWORD dwFlags, HANDLE)
{
    if (!(dwFlags & DDWAITVB_BLOCKBEGIN))
        return DDERR_INVALIDPARAMS;
    // The next 1/60 s boundary of the monotonic clock.
    unsigned __int128 now = TimeNowNs();
    unsigned __int128 blank = (now * 60 / 1000000000u + 1) * 1000000000u;
    uint64_t next = static_cast<uint64_t>((blank + 59) / 60);
    std::this_thread::sleep_for(std::chrono::nanoseconds(next - static_cast<uint64_t>(now)));
    return DD_OK;
}

HRESULT IDirectDraw2::FlipToGDISurface()
{
    return DD_OK;
}

// Palettes.

ULONG IDirectDrawPalette::AddRef()
{
    return ++data->refs;
}

ULONG IDirectDrawPalette::Release()
{
    ULONG refs = --data->refs;
    if (refs == 0)
    {
        delete data;
        --gnLive;
    }
    return refs;
}

HRESULT IDirectDrawPalette::GetEntries(DWORD, DWORD dwBase, DWORD dwNumEntries,
                                       PALETTEENTRY* lpEntries)
{
    if (lpEntries == nullptr || dwBase > 256 || dwNumEntries > 256 - dwBase)
        return DDERR_INVALIDPARAMS;
    std::copy_n(data->entries.begin() + dwBase, dwNumEntries, lpEntries);
    return DD_OK;
}

HRESULT IDirectDrawPalette::SetEntries(DWORD, DWORD dwStartingEntry, DWORD dwCount,
                                       const PALETTEENTRY* lpEntries)
{
    if (lpEntries == nullptr || dwStartingEntry > 256 || dwCount > 256 - dwStartingEntry)
        return DDERR_INVALIDPARAMS;
    D3dFinishDrawing();
    std::copy_n(lpEntries, dwCount, data->entries.begin() + dwStartingEntry);
    data->stamp = DdNewStamp();
    // The display's colours change at once, as a hardware palette's do: a primary surface
    // seen through this palette is shown again (palette fades rely on it).
    for (DdSurfaceData* surface : gaSurfaces)
        if ((surface->caps & DDSCAPS_PRIMARYSURFACE) && surface->palette != nullptr &&
            surface->palette->data == data && surface->owner != nullptr)
            DdPresent(*surface, surface->owner->data->hWnd);
    return DD_OK;
}

// Surfaces.

ULONG IDirectDrawSurface::AddRef()
{
    return ++data->refs;
}

ULONG IDirectDrawSurface::Release()
{
    ULONG refs = --data->refs;
    if (refs == 0)
        DestroySurface(data);
    return refs;
}

HRESULT IDirectDrawSurface::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return DDERR_INVALIDPARAMS;
    *ppv = nullptr;
    // A texture surface is also seen as a Direct3D texture.
    if ((IsEqualGUID(riid, IID_IDirect3DTexture) || IsEqualGUID(riid, IID_IDirect3DTexture2)) &&
        (data->caps & DDSCAPS_TEXTURE))
        return D3dCreateTexture(this, reinterpret_cast<IDirect3DTexture2**>(ppv));
    if (!IsEqualGUID(riid, IID_IDirectDrawSurface))
        return E_NOINTERFACE;
    AddRef();
    *ppv = this;
    return DD_OK;
}

HRESULT IDirectDrawSurface::Lock(RECT* lpDestRect, DDSURFACEDESC* lpDDSurfaceDesc, DWORD, HANDLE)
{
    if (lpDDSurfaceDesc == nullptr)
        return DDERR_INVALIDPARAMS;
    if (HRESULT hr = CheckUsable(*data); hr != DD_OK)
        return hr;
    RECT r = lpDestRect != nullptr ? *lpDestRect : WholeRect(*data);
    if (!Inside(r, *data))
        return DDERR_INVALIDRECT;
    D3dFinishDrawing();
    FillDesc(*data, *lpDDSurfaceDesc);
    lpDDSurfaceDesc->dwFlags |= DDSD_LPSURFACE;
    lpDDSurfaceDesc->lpSurface = DdRow(*data, r.top) + r.left * data->bytesPerPixel;
    data->access = DdAccess::Locked;
    DdTouch(*data);
    return DD_OK;
}

HRESULT IDirectDrawSurface::Unlock(void*)
{
    if (data->access != DdAccess::Locked)
        return DDERR_NOTLOCKED;
    data->access = DdAccess::Free;
    DdTouch(*data);
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetSurfaceDesc(DDSURFACEDESC* lpDDSurfaceDesc)
{
    if (lpDDSurfaceDesc == nullptr)
        return DDERR_INVALIDPARAMS;
    FillDesc(*data, *lpDDSurfaceDesc);
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetCaps(DDSCAPS* lpDDSCaps)
{
    if (lpDDSCaps == nullptr)
        return DDERR_INVALIDPARAMS;
    lpDDSCaps->dwCaps = data->caps;
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetPixelFormat(DDPIXELFORMAT* lpDDPixelFormat)
{
    if (lpDDPixelFormat == nullptr)
        return DDERR_INVALIDPARAMS;
    *lpDDPixelFormat = data->format;
    return DD_OK;
}

HRESULT IDirectDrawSurface::SetColorKey(DWORD dwFlags, DDCOLORKEY* lpDDColorKey)
{
    if (!(dwFlags & DDCKEY_SRCBLT))
        return DDERR_UNSUPPORTED;
    data->hasColorKey = lpDDColorKey != nullptr;
    data->colorKey = lpDDColorKey != nullptr ? *lpDDColorKey : DDCOLORKEY{};
    DdTouch(*data);
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetColorKey(DWORD dwFlags, DDCOLORKEY* lpDDColorKey)
{
    if (lpDDColorKey == nullptr || !(dwFlags & DDCKEY_SRCBLT))
        return DDERR_INVALIDPARAMS;
    if (!data->hasColorKey)
        return DDERR_NOCOLORKEY;
    *lpDDColorKey = data->colorKey;
    return DD_OK;
}

namespace
{

HRESULT Blit(DdSurfaceData& dst, const RECT& d, IDirectDrawSurface* source, RECT* lpSrcRect,
             bool useKey)
{
    DdSurfaceData* src = DdData(source);
    if (src == nullptr)
        return DDERR_INVALIDPARAMS;
    if (HRESULT hr = CheckUsable(*src); hr != DD_OK)
        return hr;
    RECT s = lpSrcRect != nullptr ? *lpSrcRect : WholeRect(*src);
    if (!Inside(d, dst) || !Inside(s, *src))
        return DDERR_INVALIDRECT;
    if (src->bytesPerPixel != dst.bytesPerPixel)
        return DDERR_INVALIDPIXELFORMAT;
    CopyRect(dst, d, *src, s, SourceKey(*src, useKey));
    DdTouch(dst);
    return DD_OK;
}

// A single primary surface shows what is drawn on it, as a windowed game's does.
void PresentIfSinglePrimary(const DdSurfaceData& s)
{
    if ((s.caps & DDSCAPS_PRIMARYSURFACE) && s.back == nullptr)
        DdPresent(s, s.owner->data->hWnd);
}

} // namespace

HRESULT IDirectDrawSurface::Blt(RECT* lpDestRect, IDirectDrawSurface* lpDDSrcSurface,
                                RECT* lpSrcRect, DWORD dwFlags, DDBLTFX* lpDDBltFx)
{
    DdSurfaceData& dst = *data;
    if (HRESULT hr = CheckUsable(dst); hr != DD_OK)
        return hr;
    D3dFinishDrawing();
    RECT d = lpDestRect != nullptr ? *lpDestRect : WholeRect(dst);
    if (dwFlags & DDBLT_COLORFILL)
    {
        if (lpDDBltFx == nullptr)
            return DDERR_INVALIDPARAMS;
        if (!Inside(d, dst))
            return DDERR_INVALIDRECT;
        FillRect(dst, d, lpDDBltFx->dwFillColor);
        DdTouch(dst);
    }
    else if (HRESULT hr = Blit(dst, d, lpDDSrcSurface, lpSrcRect, (dwFlags & DDBLT_KEYSRC) != 0);
             hr != DD_OK)
    {
        return hr;
    }
    PresentIfSinglePrimary(dst);
    return DD_OK;
}

HRESULT IDirectDrawSurface::BltFast(DWORD dwX, DWORD dwY, IDirectDrawSurface* lpDDSrcSurface,
                                    RECT* lpSrcRect, DWORD dwTrans)
{
    DdSurfaceData& dst = *data;
    if (HRESULT hr = CheckUsable(dst); hr != DD_OK)
        return hr;
    D3dFinishDrawing();
    DdSurfaceData* src = DdData(lpDDSrcSurface);
    if (src == nullptr)
        return DDERR_INVALIDPARAMS;
    RECT s = lpSrcRect != nullptr ? *lpSrcRect : WholeRect(*src);
    // Both checked before the source's size is added to the point, which cannot overflow then.
    if (dwX > dst.width || dwY > dst.height || !Inside(s, *src))
        return DDERR_INVALIDRECT;
    RECT d{static_cast<LONG>(dwX), static_cast<LONG>(dwY),
           static_cast<LONG>(dwX) + s.right - s.left, static_cast<LONG>(dwY) + s.bottom - s.top};
    HRESULT hr = Blit(dst, d, lpDDSrcSurface, &s, (dwTrans & DDBLTFAST_SRCCOLORKEY) != 0);
    if (hr == DD_OK)
        PresentIfSinglePrimary(dst);
    return hr;
}

HRESULT IDirectDrawSurface::Flip(IDirectDrawSurface*, DWORD)
{
    DdSurfaceData* back = DdData(data->back);
    if (back == nullptr)
        return DDERR_NOTFLIPPABLE;
    if (HRESULT hr = CheckUsable(*data); hr != DD_OK)
        return hr;
    if (HRESULT hr = CheckUsable(*back); hr != DD_OK)
        return hr;
    D3dFinishDrawing();
    std::swap(data->pixels, back->pixels);
    DdTouch(*data);
    DdTouch(*back);
    DdPresent(*data, data->owner->data->hWnd);
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetAttachedSurface(DDSCAPS* lpDDSCaps,
                                               IDirectDrawSurface** lplpDDAttachedSurface)
{
    if (lpDDSCaps == nullptr || lplpDDAttachedSurface == nullptr)
        return DDERR_INVALIDPARAMS;
    *lplpDDAttachedSurface = nullptr;
    IDirectDrawSurface* found = nullptr;
    if (lpDDSCaps->dwCaps & DDSCAPS_ZBUFFER)
        found = data->zbuffer;
    else if (lpDDSCaps->dwCaps & (DDSCAPS_BACKBUFFER | DDSCAPS_FLIP))
        found = data->back;
    if (found == nullptr)
        return DDERR_NOTFOUND;
    found->AddRef();
    *lplpDDAttachedSurface = found;
    return DD_OK;
}

HRESULT IDirectDrawSurface::AddAttachedSurface(IDirectDrawSurface* lpDDSAttachedSurface)
{
    DdSurfaceData* z = DdData(lpDDSAttachedSurface);
    if (z == nullptr || data->zbuffer != nullptr)
        return DDERR_INVALIDPARAMS;
    if (!(z->caps & DDSCAPS_ZBUFFER) || (data->caps & DDSCAPS_ZBUFFER))
        return DDERR_INVALIDCAPS;
    // The rasteriser walks both with the same coordinates.
    if (z->width != data->width || z->height != data->height)
        return DDERR_INVALIDPARAMS;
    z->iface.AddRef();
    data->zbuffer = &z->iface;
    return DD_OK;
}

HRESULT IDirectDrawSurface::IsLost()
{
    return data->lost ? DDERR_SURFACELOST : DD_OK;
}

HRESULT IDirectDrawSurface::Restore()
{
    // The pixels are kept: the game redraws a restored surface anyway.
    D3dFinishDrawing();
    data->lost = false;
    DdTouch(*data);
    if (data->back != nullptr)
    {
        data->back->data->lost = false;
        DdTouch(*data->back->data);
    }
    return DD_OK;
}

HRESULT IDirectDrawSurface::SetPalette(IDirectDrawPalette* lpDDPalette)
{
    if (lpDDPalette != nullptr && !IsPalettised(*data))
        return DDERR_INVALIDPIXELFORMAT;
    D3dFinishDrawing();
    if (lpDDPalette != nullptr)
        lpDDPalette->AddRef();
    if (data->palette != nullptr)
        data->palette->Release();
    data->palette = lpDDPalette;
    DdTouch(*data);
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetPalette(IDirectDrawPalette** lplpDDPalette)
{
    if (lplpDDPalette == nullptr)
        return DDERR_INVALIDPARAMS;
    *lplpDDPalette = data->palette;
    if (data->palette == nullptr)
        return DDERR_NOPALETTEATTACHED;
    data->palette->AddRef();
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetDC(HDC* lphDC)
{
    if (lphDC == nullptr)
        return DDERR_INVALIDPARAMS;
    *lphDC = nullptr;
    if (HRESULT hr = CheckUsable(*data); hr != DD_OK)
        return hr;
    bool drawable = IsPalettised(*data) ||
                    ((data->format.dwFlags & DDPF_RGB) && data->format.dwRGBBitCount == 16);
    if (!drawable)
        return DDERR_CANTCREATEDC;
    D3dFinishDrawing();
    data->dc = GdiDcState{};
    data->access = DdAccess::DcOut;
    DdTouch(*data);
    *lphDC = reinterpret_cast<HDC>(&data->dc);
    return DD_OK;
}

HRESULT IDirectDrawSurface::ReleaseDC(HDC hDC)
{
    if (data->access != DdAccess::DcOut)
        return DDERR_NODC;
    if (hDC != reinterpret_cast<HDC>(&data->dc))
        return DDERR_INVALIDPARAMS;
    data->access = DdAccess::Free;
    DdTouch(*data);
    return DD_OK;
}

// Test hooks and settings.

void DdSetModesForTests(const DdMode* pModes, int nModes, DWORD dwGreenMask16)
{
    if (pModes != nullptr && nModes > 0)
        gaModes.assign(pModes, pModes + nModes);
    else
        gaModes.assign(std::begin(kDefaultModes), std::end(kDefaultModes));
    gdwGreenMask16 = dwGreenMask16 == kGreenMask555 ? kGreenMask555 : 0x07E0;
}

void DdSetVideoMemory(DWORD dwBytes)
{
    gdwVideoMemoryHook = dwBytes;
}

void DdLoseAllSurfaces(void)
{
    D3dFinishDrawing();
    for (DdSurfaceData* s : gaSurfaces)
        s->lost = true;
}

DdSurfaceData* DdPrimarySurface(void)
{
    D3dFinishDrawing(); // its pixels are about to be written from outside
    return gpPrimary;
}

uint64_t DdNewStamp()
{
    static std::atomic<uint64_t> last{0};
    return ++last;
}

int DdLiveObjects(void)
{
    return gnLive.load();
}
