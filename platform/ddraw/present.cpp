// Presenting the front buffer: converted to 24-bit RGB, shown in the game window through an
// SDL renderer (scaled with its aspect kept) and, when DEZOR_CAPTURE names a directory, saved
// there as numbered PNG files.

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
    int textureWidth = 0;
    int textureHeight = 0;
};

Screen gScreen;
int gnFramesPresented = 0;
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

std::vector<BYTE> PalettisedToRgb(const DdSurfaceData& s)
{
    std::vector<BYTE> rgb(static_cast<size_t>(s.width) * s.height * 3, 0);
    const DdPaletteData* pal = DdSurfacePalette(s);
    if (pal == nullptr)
        return rgb; // no palette shows black
    BYTE* out = rgb.data();
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
    return rgb;
}

std::vector<BYTE> RgbToRgb(const DdSurfaceData& s)
{
    std::vector<BYTE> rgb(static_cast<size_t>(s.width) * s.height * 3);
    ChannelTable red = MakeChannel(s.format.dwRBitMask);
    ChannelTable green = MakeChannel(s.format.dwGBitMask);
    ChannelTable blue = MakeChannel(s.format.dwBBitMask);
    const DWORD bpp = s.bytesPerPixel;
    BYTE* out = rgb.data();
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
    return rgb;
}

std::vector<BYTE> ToRgb(const DdSurfaceData& s)
{
    if (s.format.dwFlags & DDPF_PALETTEINDEXED8)
        return PalettisedToRgb(s);
    return RgbToRgb(s);
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

SDL_Texture* TextureFor(SDL_Renderer* renderer, int width, int height)
{
    if (gScreen.texture != nullptr &&
        (gScreen.textureWidth != width || gScreen.textureHeight != height))
    {
        SDL_DestroyTexture(gScreen.texture);
        gScreen.texture = nullptr;
    }
    if (gScreen.texture == nullptr)
    {
        gScreen.texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB24,
                                            SDL_TEXTUREACCESS_STREAMING, width, height);
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

void Show(const std::vector<BYTE>& rgb, int width, int height, HWND hWnd)
{
    if (hWnd == nullptr || SDL_WasInit(SDL_INIT_VIDEO) == 0)
        return;
    SDL_Window* window = WinGetSdlWindow(hWnd);
    if (window == nullptr || WinSdlWindowGone(window))
        return;
    SDL_Renderer* renderer = RendererFor(window);
    if (renderer == nullptr)
        return;
    SDL_Texture* texture = TextureFor(renderer, width, height);
    if (texture == nullptr)
        return;
    SDL_UpdateTexture(texture, nullptr, rgb.data(), width * 3);
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
    std::vector<BYTE> rgb = ToRgb(front);
    if (capturing)
        Capture(rgb, front.width, front.height);
    if (showing)
        Show(rgb, static_cast<int>(front.width), static_cast<int>(front.height), hWnd);
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
    return ToRgb(s);
}
