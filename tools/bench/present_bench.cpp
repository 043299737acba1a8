// Presenting one 640x480 frame in a window: a 5:6:5 flip, handed to SDL as it is, against the
// conversion to 24-bit RGB that every frame used to go through (still used for the capture) and
// against that older way of presenting as a whole; an 8-bit flip, which still converts through
// its palette, for comparison. Runs under SDL's dummy video driver (its software renderer)
// unless SDL_VIDEODRIVER names another, such as offscreen (OpenGL through EGL).
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/ddraw_internal.h"
#include "platform/win/win.h"

namespace
{

constexpr DWORD kWidth = 640, kHeight = 480;
constexpr const char* kClass = "DezorPresentBench";

LRESULT PlainProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// A window of the frame's size with a flip chain in the given mode, its back buffer filled with
// a picture that uses every channel.
class Display
{
public:
    explicit Display(DWORD bits)
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = PlainProc;
        wc.lpszClassName = kClass;
        RegisterClassA(&wc);
        hWnd_ = CreateWindowExA(0, kClass, "Present", WS_CAPTION, 0, 0, kWidth, kHeight, nullptr,
                                nullptr, nullptr, nullptr);
        if (hWnd_ == nullptr || DirectDrawCreate(nullptr, &dd_, nullptr) != DD_OK)
            return;
        ShowWindow(hWnd_, SW_SHOW);
        if (dd_->SetCooperativeLevel(hWnd_, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN) != DD_OK ||
            dd_->SetDisplayMode(kWidth, kHeight, bits, 0, 0) != DD_OK)
            return;
        DDSURFACEDESC d{};
        d.dwSize = sizeof d;
        d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        d.dwBackBufferCount = 1;
        d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        if (dd_->CreateSurface(&d, &primary_, nullptr) != DD_OK)
            return;
        DDSCAPS caps{DDSCAPS_BACKBUFFER};
        if (primary_->GetAttachedSurface(&caps, &back_) != DD_OK)
            return;
        if (bits == 8)
        {
            PALETTEENTRY table[256];
            for (int i = 0; i < 256; ++i)
                table[i] = PALETTEENTRY{BYTE(i), BYTE(255 - i), BYTE(i * 7), 0};
            IDirectDrawPalette* pal = nullptr;
            if (dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, table, &pal, nullptr) != DD_OK)
                return;
            primary_->SetPalette(pal);
            pal->Release();
        }
        for (IDirectDrawSurface* s : {primary_, back_})
        {
            DdSurfaceData& data = *DdData(s);
            for (DWORD y = 0; y < kHeight; ++y)
                for (DWORD x = 0; x < kWidth * data.bytesPerPixel; ++x)
                    DdRow(data, y)[x] = static_cast<uint8_t>(x * 7 + y * 3);
        }
        // The first flip makes the renderer and texture, which the timing should not include.
        ok_ = primary_->Flip(nullptr, DDFLIP_WAIT) == DD_OK;
    }

    ~Display()
    {
        if (back_ != nullptr)
            back_->Release();
        if (primary_ != nullptr)
            primary_->Release();
        if (dd_ != nullptr)
            dd_->Release();
        if (hWnd_ != nullptr)
            DestroyWindow(hWnd_);
        UnregisterClassA(kClass, nullptr);
    }

    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    bool Ok() const { return ok_; }
    IDirectDrawSurface* Primary() const { return primary_; }
    const DdSurfaceData& Back() const { return *DdData(back_); }
    SDL_Renderer* Renderer() const { return SDL_GetRenderer(WinGetSdlWindow(hWnd_)); }

private:
    HWND hWnd_ = nullptr;
    IDirectDraw2* dd_ = nullptr;
    IDirectDrawSurface* primary_ = nullptr;
    IDirectDrawSurface* back_ = nullptr;
    bool ok_ = false;
};

void Flip(benchmark::State& state, DWORD bits)
{
    Display display(bits);
    if (!display.Ok())
    {
        state.SkipWithError("no display");
        return;
    }
    for (auto _ : state)
        display.Primary()->Flip(nullptr, DDFLIP_WAIT);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_Flip565(benchmark::State& state)
{
    Flip(state, 16);
}
BENCHMARK(BM_Flip565)->Unit(benchmark::kMicrosecond);

void BM_Flip8(benchmark::State& state)
{
    Flip(state, 8);
}
BENCHMARK(BM_Flip8)->Unit(benchmark::kMicrosecond);

// The conversion alone, as the capture still does it (and every present did before).
void BM_Convert565ToRgb(benchmark::State& state)
{
    Display display(16);
    if (!display.Ok())
    {
        state.SkipWithError("no display");
        return;
    }
    for (auto _ : state)
    {
        std::vector<BYTE> rgb = DdSurfaceToRgb(display.Back());
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_Convert565ToRgb)->Unit(benchmark::kMicrosecond);

// The way a 5:6:5 frame used to be presented: converted to RGB, then handed to SDL in a 24-bit
// texture, on the same renderer.
void BM_OldPresent565(benchmark::State& state)
{
    Display display(16);
    SDL_Renderer* renderer = display.Ok() ? display.Renderer() : nullptr;
    SDL_Texture* texture = renderer != nullptr
                               ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB24,
                                                   SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight)
                               : nullptr;
    if (texture == nullptr)
    {
        state.SkipWithError("no renderer");
        return;
    }
    for (auto _ : state)
    {
        std::vector<BYTE> rgb = DdSurfaceToRgb(display.Back());
        SDL_UpdateTexture(texture, nullptr, rgb.data(), kWidth * 3);
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        SDL_RenderPresent(renderer);
    }
    SDL_DestroyTexture(texture);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_OldPresent565)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    unsetenv("DEZOR_CAPTURE");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
