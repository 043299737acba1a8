// A DirectDraw-shaped display of our own. Every surface lives in system memory; the primary
// surface's Flip presents the front buffer in the game window through SDL2 (converted through
// the palette in 8-bit modes, scaled with its aspect kept). Pixel formats: 8-bit palettised,
// 16-bit 5:5:5, 5:6:5 and 4:4:4:4, 3:3:2 with 8-bit alpha, and 16-bit Z.
//
// The objects stand for COM interfaces: AddRef and Release count references, and Release
// returns the count left (the object is gone at 0). QueryInterface of the DirectDraw object
// answers IID_IDirectDraw2 (itself) and IID_IDirect3D / IID_IDirect3D2 (platform/d3d).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/win/wintypes.h"

struct GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef const GUID& REFIID;
typedef GUID* LPGUID;

inline bool IsEqualGUID(const GUID& a, const GUID& b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

extern const IID IID_IDirectDraw;
extern const IID IID_IDirectDraw2;
extern const IID IID_IDirectDrawSurface;

// Results.
#define DD_OK 0
#define S_OK 0
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define MAKE_DDHRESULT(n) ((HRESULT)(0x88760000u + (n)))
#define DDERR_UNSUPPORTED E_NOTIMPL
#define DDERR_GENERIC E_FAIL
#define DDERR_OUTOFMEMORY E_OUTOFMEMORY
#define DDERR_INVALIDPARAMS E_INVALIDARG
#define DDERR_ALREADYINITIALIZED MAKE_DDHRESULT(5)
#define DDERR_INVALIDCAPS MAKE_DDHRESULT(100)
#define DDERR_INVALIDMODE MAKE_DDHRESULT(120)
#define DDERR_INVALIDOBJECT MAKE_DDHRESULT(130)
#define DDERR_INVALIDPIXELFORMAT MAKE_DDHRESULT(145)
#define DDERR_INVALIDRECT MAKE_DDHRESULT(150)
#define DDERR_LOCKEDSURFACES MAKE_DDHRESULT(160)
#define DDERR_NOCOLORKEY MAKE_DDHRESULT(215)
#define DDERR_NOEXCLUSIVEMODE MAKE_DDHRESULT(225)
#define DDERR_NOTFOUND MAKE_DDHRESULT(255)
#define DDERR_OUTOFVIDEOMEMORY MAKE_DDHRESULT(380)
#define DDERR_SURFACEBUSY MAKE_DDHRESULT(430)
#define DDERR_SURFACELOST MAKE_DDHRESULT(460)
#define DDERR_SURFACENOTATTACHED MAKE_DDHRESULT(470)
#define DDERR_VERTICALBLANKINPROGRESS MAKE_DDHRESULT(540)
#define DDERR_WASSTILLDRAWING MAKE_DDHRESULT(560)
#define DDERR_PRIMARYSURFACEALREADYEXISTS MAKE_DDHRESULT(566)
#define DDERR_NOPALETTEATTACHED MAKE_DDHRESULT(574)
#define DDERR_EXCLUSIVEMODEALREADYSET MAKE_DDHRESULT(583)
#define DDERR_NOTFLIPPABLE MAKE_DDHRESULT(584)
#define DDERR_NOTLOCKED MAKE_DDHRESULT(586)
#define DDERR_CANTCREATEDC MAKE_DDHRESULT(587)
#define DDERR_NODC MAKE_DDHRESULT(588)
#define DDERR_WRONGMODE MAKE_DDHRESULT(589)

// Cooperative levels.
#define DDSCL_FULLSCREEN 0x00000001u
#define DDSCL_NORMAL 0x00000008u
#define DDSCL_EXCLUSIVE 0x00000010u
#define DDSCL_ALLOWMODEX 0x00000040u

// Surface description fields.
#define DDSD_CAPS 0x00000001u
#define DDSD_HEIGHT 0x00000002u
#define DDSD_WIDTH 0x00000004u
#define DDSD_PITCH 0x00000008u
#define DDSD_BACKBUFFERCOUNT 0x00000020u
#define DDSD_ZBUFFERBITDEPTH 0x00000040u
#define DDSD_LPSURFACE 0x00000800u
#define DDSD_PIXELFORMAT 0x00001000u
#define DDSD_CKSRCBLT 0x00010000u
#define DDSD_REFRESHRATE 0x00040000u

// Surface capabilities.
#define DDSCAPS_ALPHA 0x00000002u
#define DDSCAPS_BACKBUFFER 0x00000004u
#define DDSCAPS_COMPLEX 0x00000008u
#define DDSCAPS_FLIP 0x00000010u
#define DDSCAPS_FRONTBUFFER 0x00000020u
#define DDSCAPS_OFFSCREENPLAIN 0x00000040u
#define DDSCAPS_PALETTE 0x00000100u
#define DDSCAPS_PRIMARYSURFACE 0x00000200u
#define DDSCAPS_SYSTEMMEMORY 0x00000800u
#define DDSCAPS_TEXTURE 0x00001000u
#define DDSCAPS_3DDEVICE 0x00002000u
#define DDSCAPS_VIDEOMEMORY 0x00004000u
#define DDSCAPS_ZBUFFER 0x00020000u
#define DDSCAPS_MODEX 0x00200000u
#define DDSCAPS_MIPMAP 0x00400000u
#define DDSCAPS_ALLOCONLOAD 0x04000000u
#define DDSCAPS_LOCALVIDMEM 0x10000000u

// Pixel-format flags.
#define DDPF_ALPHAPIXELS 0x00000001u
#define DDPF_PALETTEINDEXED4 0x00000008u
#define DDPF_PALETTEINDEXED8 0x00000020u
#define DDPF_RGB 0x00000040u
#define DDPF_ZBUFFER 0x00000400u
#define DDPF_PALETTEINDEXED1 0x00000800u
#define DDPF_PALETTEINDEXED2 0x00001000u

// Blits, flips, locks, colour keys, palettes, vertical blank.
#define DDBLT_ALPHAEDGEBLEND 0x00000004u
#define DDBLT_COLORFILL 0x00000400u
#define DDBLT_KEYSRC 0x00008000u
#define DDBLT_WAIT 0x01000000u
#define DDBLTFAST_NOCOLORKEY 0x00000000u
#define DDBLTFAST_SRCCOLORKEY 0x00000001u
#define DDBLTFAST_WAIT 0x00000010u
#define DDFLIP_WAIT 0x00000001u
#define DDLOCK_SURFACEMEMORYPTR 0x00000000u
#define DDLOCK_WAIT 0x00000001u
#define DDLOCK_READONLY 0x00000010u
#define DDLOCK_WRITEONLY 0x00000020u
#define DDCKEY_SRCBLT 0x00000008u
#define DDPCAPS_8BIT 0x00000004u
#define DDPCAPS_INITIALIZE 0x00000008u
#define DDPCAPS_ALLOW256 0x00000040u
#define DDWAITVB_BLOCKBEGIN 0x00000001u
#define DDENUMRET_CANCEL 0
#define DDENUMRET_OK 1

struct DDPIXELFORMAT
{
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwFourCC;
    union
    {
        DWORD dwRGBBitCount;
        DWORD dwZBufferBitDepth;
    };
    DWORD dwRBitMask;
    DWORD dwGBitMask;
    DWORD dwBBitMask;
    DWORD dwRGBAlphaBitMask;
};
static_assert(sizeof(DDPIXELFORMAT) == 32, "a pixel format is 32 bytes");

struct DDSCAPS
{
    DWORD dwCaps;
};

struct DDCOLORKEY
{
    DWORD dwColorSpaceLowValue;
    DWORD dwColorSpaceHighValue;
};

struct DDSURFACEDESC
{
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;
    DWORD dwBackBufferCount;
    union
    {
        DWORD dwZBufferBitDepth;
        DWORD dwRefreshRate;
    };
    DWORD dwAlphaBitDepth;
    DWORD dwReserved;
    void* lpSurface;
    DDCOLORKEY ddckCKDestOverlay;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
};

struct DDBLTFX
{
    DWORD dwSize;
    DWORD dwDDFX;
    DWORD dwROP;
    DWORD dwFillColor;
    DDCOLORKEY ddckSrcColorkey;
};

struct DDCAPS
{
    DWORD dwSize;
    DWORD dwCaps;
    DWORD dwCaps2;
    DWORD dwCKeyCaps;
    DWORD dwPalCaps;
    DWORD dwVidMemTotal;
    DWORD dwVidMemFree;
    DDSCAPS ddsCaps;
};

struct PALETTEENTRY
{
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};
static_assert(sizeof(PALETTEENTRY) == 4, "a palette entry is 4 bytes");

class IDirectDraw2;
class IDirectDrawSurface;
class IDirectDrawPalette;
typedef IDirectDraw2 IDirectDraw;
typedef IDirectDraw* LPDIRECTDRAW;
typedef IDirectDraw2* LPDIRECTDRAW2;
typedef IDirectDrawSurface* LPDIRECTDRAWSURFACE;
typedef IDirectDrawPalette* LPDIRECTDRAWPALETTE;

typedef BOOL (*LPDDENUMCALLBACKA)(GUID* lpGUID, LPSTR lpDriverDescription, LPSTR lpDriverName,
                                  LPVOID lpContext);
typedef HRESULT (*LPDDENUMMODESCALLBACK)(DDSURFACEDESC* lpDDSurfaceDesc, LPVOID lpContext);

// The one display device (the primary display driver, GUID NULL).
HRESULT DirectDrawEnumerateA(LPDDENUMCALLBACKA lpCallback, LPVOID lpContext);
HRESULT DirectDrawCreate(GUID* lpGUID, LPDIRECTDRAW* lplpDD, void* pUnkOuter);

struct DdObject;
struct DdSurfaceData;
struct DdPaletteData;

class IDirectDrawPalette
{
public:
    ULONG AddRef();
    ULONG Release();
    HRESULT GetEntries(DWORD dwFlags, DWORD dwBase, DWORD dwNumEntries, PALETTEENTRY* lpEntries);
    HRESULT SetEntries(DWORD dwFlags, DWORD dwStartingEntry, DWORD dwCount,
                       const PALETTEENTRY* lpEntries);

    DdPaletteData* data = nullptr;
};

class IDirectDrawSurface
{
public:
    ULONG AddRef();
    ULONG Release();
    HRESULT QueryInterface(REFIID riid, void** ppv);
    HRESULT Lock(RECT* lpDestRect, DDSURFACEDESC* lpDDSurfaceDesc, DWORD dwFlags, HANDLE hEvent);
    HRESULT Unlock(void* lpSurfaceData);
    HRESULT GetSurfaceDesc(DDSURFACEDESC* lpDDSurfaceDesc);
    HRESULT GetCaps(DDSCAPS* lpDDSCaps);
    HRESULT GetPixelFormat(DDPIXELFORMAT* lpDDPixelFormat);
    HRESULT SetColorKey(DWORD dwFlags, DDCOLORKEY* lpDDColorKey);
    HRESULT GetColorKey(DWORD dwFlags, DDCOLORKEY* lpDDColorKey);
    // A stretching copy (nearest pixel), a colour fill (DDBLT_COLORFILL with DDBLTFX's fill
    // value) or a copy with the source key; rectangles outside either surface are refused.
    HRESULT Blt(RECT* lpDestRect, IDirectDrawSurface* lpDDSrcSurface, RECT* lpSrcRect,
                DWORD dwFlags, DDBLTFX* lpDDBltFx);
    HRESULT BltFast(DWORD dwX, DWORD dwY, IDirectDrawSurface* lpDDSrcSurface, RECT* lpSrcRect,
                    DWORD dwTrans);
    // On the primary surface of a flipping chain: the back buffer becomes the front and is
    // presented in the window.
    HRESULT Flip(IDirectDrawSurface* lpDDSurfaceTargetOverride, DWORD dwFlags);
    HRESULT GetAttachedSurface(DDSCAPS* lpDDSCaps, IDirectDrawSurface** lplpDDAttachedSurface);
    HRESULT AddAttachedSurface(IDirectDrawSurface* lpDDSAttachedSurface);
    HRESULT IsLost();
    HRESULT Restore();
    HRESULT SetPalette(IDirectDrawPalette* lpDDPalette);
    HRESULT GetPalette(IDirectDrawPalette** lplpDDPalette);
    // A device context on the surface, for GDI text (platform/win).
    HRESULT GetDC(HDC* lphDC);
    HRESULT ReleaseDC(HDC hDC);

    DdSurfaceData* data = nullptr;
};

class IDirectDraw2
{
public:
    ULONG AddRef();
    ULONG Release();
    HRESULT QueryInterface(REFIID riid, void** ppv);
    HRESULT SetCooperativeLevel(HWND hWnd, DWORD dwFlags);
    HRESULT SetDisplayMode(DWORD dwWidth, DWORD dwHeight, DWORD dwBPP, DWORD dwRefreshRate,
                           DWORD dwFlags);
    HRESULT RestoreDisplayMode();
    HRESULT GetDisplayMode(DDSURFACEDESC* lpDDSurfaceDesc);
    HRESULT EnumDisplayModes(DWORD dwFlags, DDSURFACEDESC* lpDDSurfaceDesc, LPVOID lpContext,
                             LPDDENUMMODESCALLBACK lpEnumModesCallback);
    HRESULT GetCaps(DDCAPS* lpDDDriverCaps, DDCAPS* lpDDHELCaps);
    HRESULT GetAvailableVidMem(DDSCAPS* lpDDSCaps, DWORD* lpdwTotal, DWORD* lpdwFree);
    HRESULT CreateSurface(DDSURFACEDESC* lpDDSurfaceDesc, IDirectDrawSurface** lplpDDSurface,
                          void* pUnkOuter);
    HRESULT CreatePalette(DWORD dwFlags, PALETTEENTRY* lpColorTable,
                          IDirectDrawPalette** lplpDDPalette, void* pUnkOuter);
    // Waits for the start of the next vertical blank of a 60 Hz display.
    HRESULT WaitForVerticalBlank(DWORD dwFlags, HANDLE hEvent);
    HRESULT FlipToGDISurface();

    DdObject* data = nullptr;
};

// Test hooks and settings.
struct DdMode
{
    DWORD width;
    DWORD height;
    DWORD bits;
};
// The modes EnumDisplayModes offers (default: 320x240, 512x384, 640x480 and 800x600, each at
// 8 and 16 bits, 16-bit ones as 5:6:5); an empty list restores the default.
void DdSetModesForTests(const DdMode* pModes, int nModes, DWORD dwGreenMask16);
// Video memory reported (default 16 MB); DEZOR_VIDEO_MEMORY (bytes) sets it too.
void DdSetVideoMemory(DWORD dwBytes);
// Marks every surface lost, as a mode switch away from the game would.
void DdLoseAllSurfaces(void);
// The number of DirectDraw objects and surfaces alive (tests check for leaks).
int DdLiveObjects(void);
// Frames presented so far.
int DdFramesPresented(void);
