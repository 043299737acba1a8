// What the display stand-ins share among themselves: the records behind the DirectDraw
// objects, the device context a surface lends to GDI, and the presenting of a frame.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "platform/win/win.h"

struct DdObject
{
    IDirectDraw2 iface;
    ULONG refs = 1;
    HWND hWnd = nullptr;
    DWORD cooperativeFlags = 0;
    DdMode mode{};
};

// A number never handed out before, marking contents as of a change: what was made from a
// surface or palette (a texture's decoded texels) is up to date while its stamp is unchanged.
uint64_t DdNewStamp();

struct DdPaletteData
{
    IDirectDrawPalette iface;
    ULONG refs = 1;
    std::array<PALETTEENTRY, 256> entries{};
    uint64_t stamp = DdNewStamp(); // renewed when the entries change
};

// The drawing state of a device context, reset each time the context is handed out.
struct GdiDcState
{
    COLORREF textColor = 0;
    int bkMode = OPAQUE;
    HGDIOBJ brush = nullptr; // NULL: the default (white) brush
    HGDIOBJ font = nullptr;  // NULL: the default font
};

enum class DdAccess
{
    Free,
    Locked,
    DcOut, // GetDC holds the surface as a lock would
};

struct DdSurfaceData
{
    IDirectDrawSurface iface;
    ULONG refs = 1;
    IDirectDraw2* owner = nullptr; // holds a reference
    DWORD caps = 0;
    DWORD width = 0;
    DWORD height = 0;
    LONG pitch = 0;
    DWORD bytesPerPixel = 0;
    DDPIXELFORMAT format{};
    std::vector<uint8_t> pixels;
    DdAccess access = DdAccess::Free;
    bool lost = false;
    bool hasColorKey = false;
    DDCOLORKEY colorKey{};
    IDirectDrawPalette* palette = nullptr; // holds a reference
    IDirectDrawSurface* back = nullptr;    // primary of a chain: holds a reference
    DdSurfaceData* front = nullptr;        // back buffer: its primary while that lives
    IDirectDrawSurface* zbuffer = nullptr; // holds a reference
    DWORD videoBytes = 0;                  // counted against video memory
    GdiDcState dc;                         // its address is the HDC GetDC hands out
    // Renewed whenever the pixels, the colour key or the palette may change: a lock, a device
    // context, a blit or fill, a flip, a restore, a 3D draw or texture load.
    uint64_t stamp = DdNewStamp();
};

inline void DdTouch(DdSurfaceData& s)
{
    s.stamp = DdNewStamp();
}

inline DdSurfaceData* DdData(IDirectDrawSurface* s)
{
    return s != nullptr ? s->data : nullptr;
}

inline uint8_t* DdRow(DdSurfaceData& s, DWORD y)
{
    return s.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(s.pitch);
}

inline const uint8_t* DdRow(const DdSurfaceData& s, DWORD y)
{
    return s.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(s.pitch);
}

// The primary surface of the display (NULL while there is none), for what draws into the
// display from outside the game, such as a movie.
DdSurfaceData* DdPrimarySurface(void);
// The surface whose device context hdc is (while it is out), else NULL.
DdSurfaceData* DdSurfaceFromDc(HDC hdc);
// The palette a palettised surface is seen through: its own, else its primary's; NULL if none.
const DdPaletteData* DdSurfacePalette(const DdSurfaceData& s);
// A colour as a pixel value of the surface's format (the nearest palette entry in 8 bits).
DWORD DdPixelFromRgb(const DdSurfaceData& s, BYTE r, BYTE g, BYTE b);
// Fills the part of the rectangle that lies inside the surface.
void DdFillClipped(DdSurfaceData& s, RECT rect, DWORD value);
// The fixed system palette of the screen.
const std::array<PALETTEENTRY, 256>& GdiSystemPalette();

// Presents the front buffer of a chain (or a single primary) in the window.
void DdPresent(const DdSurfaceData& front, HWND hWnd);
// The surface as 8-bit RGB triples, row by row (through the palette in 8 bits).
std::vector<BYTE> DdSurfaceToRgb(const DdSurfaceData& s);
// Drops the renderer when the last DirectDraw object goes.
void DdPresentShutdown();
// How frames have been handed over so far, for tests.
struct DdPresentInfo
{
    uint32_t shownFormat = 0; // SDL pixel format of the last frame given to the window; 0: none
    int texturesMade = 0;     // the window's textures, made anew when format or size change
    int conversions = 0;      // surfaces converted to RGB (DdSurfaceToRgb's included)
};
DdPresentInfo DdPresentInfoForTests();
