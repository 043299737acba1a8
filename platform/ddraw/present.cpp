// Presenting the front buffer: shown in the game window through an SDL renderer (scaled with
// its aspect kept) and, when DEZOR_CAPTURE names a directory, saved there as numbered PNG files.
// 5:6:5 and 5:5:5 surfaces go to SDL as they are; other formats, and the capture, are first
// converted to 24-bit RGB.

#include <SDL.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/png/png.h"

namespace
{

struct Screen
{
    SDL_Window* window = nullptr;
    Uint32 windowId = 0;
    SDL_Renderer* renderer = nullptr;
    bool ownRenderer = false;
    bool failed = false; // no renderer could be made for this window
    SDL_Texture* texture = nullptr;
    Uint32 textureFormat = 0;
    int textureWidth = 0;
    int textureHeight = 0;
};

Screen gScreen;
int gnFramesPresented = 0;
DdPresentInfo gInfo;
std::vector<BYTE> gRgb; // kept between frames: a frame's conversion allocates nothing
std::string gCaptureDir;
int gnCaptured = 0;
bool gbCaptureFailed = false; // the directory could not be written; reported once

// Conversion to RGB.

// Spreads a channel of the given width over 8 bits by repeating its bits, so that zero stays
// zero and all ones becomes 255.
BYTE Expand(DWORD value, int bits)
{
    if (bits <= 0)
        return 0;
    DWORD out = 0;
    int filled = 0;
    while (filled < 8)
    {
        out = (out << bits) | value;
        filled += bits;
    }
    return static_cast<BYTE>(out >> (filled - 8));
}

struct ChannelTable
{
    DWORD mask = 0;
    int shift = 0;
    std::vector<BYTE> levels;
};

ChannelTable MakeChannel(DWORD mask)
{
    ChannelTable c;
    c.mask = mask;
    c.shift = mask != 0 ? std::countr_zero(mask) : 0;
    int bits = std::popcount(mask);
    c.levels.resize(static_cast<size_t>(1) << bits);
    for (DWORD v = 0; v < c.levels.size(); ++v)
        c.levels[v] = Expand(v, bits);
    return c;
}

BYTE Level(const ChannelTable& c, DWORD pixel)
{
    return c.levels[(pixel & c.mask) >> c.shift];
}

void PalettisedToRgb(const DdSurfaceData& s, BYTE* out)
{
    const DdPaletteData* pal = DdSurfacePalette(s);
    if (pal == nullptr)
    {
        std::memset(out, 0, static_cast<size_t>(s.width) * s.height * 3); // black
        return;
    }
    for (DWORD y = 0; y < s.height; ++y)
    {
        const uint8_t* row = DdRow(s, y);
        for (DWORD x = 0; x < s.width; ++x)
        {
            const PALETTEENTRY& e = pal->entries[row[x]];
            *out++ = e.peRed;
            *out++ = e.peGreen;
            *out++ = e.peBlue;
        }
    }
}

void RgbToRgb(const DdSurfaceData& s, BYTE* out)
{
    ChannelTable red = MakeChannel(s.format.dwRBitMask);
    ChannelTable green = MakeChannel(s.format.dwGBitMask);
    ChannelTable blue = MakeChannel(s.format.dwBBitMask);
    const DWORD bpp = s.bytesPerPixel;
    for (DWORD y = 0; y < s.height; ++y)
    {
        const uint8_t* p = DdRow(s, y);
        for (DWORD x = 0; x < s.width; ++x, p += bpp)
        {
            DWORD pixel = 0;
            std::memcpy(&pixel, p, bpp);
            *out++ = Level(red, pixel);
            *out++ = Level(green, pixel);
            *out++ = Level(blue, pixel);
        }
    }
}

// Fills rgb with the surface as 8-bit RGB triples.
void ToRgb(const DdSurfaceData& s, std::vector<BYTE>& rgb)
{
    ++gInfo.conversions;
    rgb.resize(static_cast<size_t>(s.width) * s.height * 3);
    if (s.format.dwFlags & DDPF_PALETTEINDEXED8)
        PalettisedToRgb(s, rgb.data());
    else
        RgbToRgb(s, rgb.data());
}

// The SDL format whose pixels are laid out as the surface's, so that SDL can take its rows as
// they are; 0 when the surface must be converted first.
Uint32 NativeFormat(const DdSurfaceData& s)
{
    const DDPIXELFORMAT& f = s.format;
    if (s.bytesPerPixel != 2 || !(f.dwFlags & DDPF_RGB) || (f.dwFlags & DDPF_PALETTEINDEXED8))
        return 0;
    if (f.dwRBitMask == 0xF800 && f.dwGBitMask == 0x07E0 && f.dwBBitMask == 0x001F)
        return SDL_PIXELFORMAT_RGB565;
    // A top alpha bit is ignored, as the conversion ignores it.
    if (f.dwRBitMask == 0x7C00 && f.dwGBitMask == 0x03E0 && f.dwBBitMask == 0x001F)
        return SDL_PIXELFORMAT_RGB555;
    return 0;
}

void Capture(const std::vector<BYTE>& rgb, DWORD width, DWORD height)
{
    const char* dir = std::getenv("DEZOR_CAPTURE");
    if (dir == nullptr || *dir == '\0')
        return;
    if (gCaptureDir != dir)
    {
        gCaptureDir = dir;
        gnCaptured = 0;
        gbCaptureFailed = false;
    }
    // A directory that cannot be written would fail the same way at every frame.
    if (gbCaptureFailed)
        return;
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05d.png", ++gnCaptured);
    std::string path = gCaptureDir + name;

    if (!PngSaveRgb(path.c_str(), rgb, width, height))
    {
        gbCaptureFailed = true;
        std::fprintf(stderr, "dezor: cannot write the frame %s; no more frames are captured\n",
                     path.c_str());
    }
}

// The window.

// Lets go of the renderer and texture. SDL may already have freed them with their window, so
// they are destroyed only while that window still exists.
void ForgetScreen()
{
    bool windowAlive = gScreen.window != nullptr && SDL_WasInit(SDL_INIT_VIDEO) != 0 &&
                       SDL_GetWindowFromID(gScreen.windowId) == gScreen.window;
    if (windowAlive)
    {
        if (gScreen.texture != nullptr)
            SDL_DestroyTexture(gScreen.texture);
        if (gScreen.ownRenderer && gScreen.renderer != nullptr)
            SDL_DestroyRenderer(gScreen.renderer);
    }
    gScreen = Screen{};
}

SDL_Renderer* RendererFor(SDL_Window* window)
{
    if (window != gScreen.window || SDL_GetWindowID(window) != gScreen.windowId)
    {
        ForgetScreen();
        gScreen.window = window;
        gScreen.windowId = SDL_GetWindowID(window);
    }
    if (gScreen.renderer == nullptr && !gScreen.failed)
    {
        gScreen.renderer = SDL_GetRenderer(window);
        if (gScreen.renderer == nullptr)
        {
            gScreen.renderer = SDL_CreateRenderer(window, -1, 0);
            if (gScreen.renderer == nullptr)
                gScreen.renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
            gScreen.ownRenderer = gScreen.renderer != nullptr;
        }
        gScreen.failed = gScreen.renderer == nullptr;
    }
    return gScreen.renderer;
}

SDL_Texture* TextureFor(SDL_Renderer* renderer, Uint32 format, int width, int height)
{
    if (gScreen.texture != nullptr &&
        (gScreen.textureFormat != format || gScreen.textureWidth != width ||
         gScreen.textureHeight != height))
    {
        SDL_DestroyTexture(gScreen.texture);
        gScreen.texture = nullptr;
    }
    if (gScreen.texture == nullptr)
    {
        gScreen.texture =
            SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
        if (gScreen.texture == nullptr)
            return nullptr;
        ++gInfo.texturesMade;
        gScreen.textureFormat = format;
        gScreen.textureWidth = width;
        gScreen.textureHeight = height;
    }
    return gScreen.texture;
}

// The largest rectangle of the frame's shape that fits the output, centred.
SDL_Rect Letterbox(int width, int height, int outWidth, int outHeight)
{
    SDL_Rect r{0, 0, outWidth, outHeight};
    if (static_cast<int64_t>(outWidth) * height > static_cast<int64_t>(outHeight) * width)
        r.w = static_cast<int>(static_cast<int64_t>(outHeight) * width / height);
    else
        r.h = static_cast<int>(static_cast<int64_t>(outWidth) * height / width);
    r.x = (outWidth - r.w) / 2;
    r.y = (outHeight - r.h) / 2;
    return r;
}

// Shows width x height pixels of the given SDL format, rows pitch bytes apart.
void Show(const void* pixels, int pitch, Uint32 format, int width, int height, HWND hWnd)
{
    if (hWnd == nullptr || SDL_WasInit(SDL_INIT_VIDEO) == 0)
        return;
    SDL_Window* window = WinGetSdlWindow(hWnd);
    if (window == nullptr || WinSdlWindowGone(window))
        return;
    SDL_Renderer* renderer = RendererFor(window);
    if (renderer == nullptr)
        return;
    SDL_Texture* texture = TextureFor(renderer, format, width, height);
    if (texture == nullptr)
        return;
    SDL_UpdateTexture(texture, nullptr, pixels, pitch);
    gInfo.shownFormat = format;
    int outWidth = 0, outHeight = 0;
    if (SDL_GetRendererOutputSize(renderer, &outWidth, &outHeight) != 0 || outWidth <= 0 ||
        outHeight <= 0)
        return;
    SDL_Rect dst = Letterbox(width, height, outWidth, outHeight);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, nullptr, &dst);
    SDL_RenderPresent(renderer);
}

} // namespace

void DdPresent(const DdSurfaceData& front, HWND hWnd)
{
    ++gnFramesPresented;
    const char* capture = std::getenv("DEZOR_CAPTURE");
    bool capturing = capture != nullptr && *capture != '\0';
    bool showing = hWnd != nullptr && SDL_WasInit(SDL_INIT_VIDEO) != 0;
    if (!capturing && !showing)
        return;
    const Uint32 native = NativeFormat(front);
    // The capture is always converted, so its files stay the same whatever the window is given.
    if (capturing || native == 0)
        ToRgb(front, gRgb);
    if (capturing)
        Capture(gRgb, front.width, front.height);
    if (!showing)
        return;
    const int width = static_cast<int>(front.width), height = static_cast<int>(front.height);
    if (native != 0)
        Show(front.pixels.data(), front.pitch, native, width, height, hWnd);
    else
        Show(gRgb.data(), width * 3, SDL_PIXELFORMAT_RGB24, width, height, hWnd);
}

void DdPresentShutdown()
{
    ForgetScreen();
}

int DdFramesPresented(void)
{
    return gnFramesPresented;
}

std::vector<BYTE> DdSurfaceToRgb(const DdSurfaceData& s)
{
    std::vector<BYTE> rgb;
    ToRgb(s, rgb);
    return rgb;
}

DdPresentInfo DdPresentInfoForTests()
{
    return gInfo;
}
