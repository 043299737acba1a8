#include "engine/pc/3d/timebar.h"

#include <algorithm>
#include <cstdio>

#include "engine/common/dk_heap.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_image.h"
#include "platform/crt/crt.h"
#include "platform/d3d/d3d.h"
#include "platform/time/time.h"

namespace
{

struct DK_TIMEBAR
{
    char szName[DK_TIMEBAR_NAME_LENGTH];
    int32_t nColour; // DK_TIMEBAR_FREE: not in use
    uint32_t uStart;
    uint32_t uElapsed;
    int32_t nPeak; // pixels
    int32_t nHold; // frames the peak is still held
};

// Painting: rows from the bottom up, each this far above the one below.
constexpr int kFirstBarAboveBottom = 12;
constexpr int kBarSpacing = 10;
constexpr int kBarHeight = 8;
constexpr int kBarLeft = 160; // the labels stand to the left
constexpr int kLabelLeft = 4;
constexpr uint32_t kCountsPerPixel = 200;
constexpr int kBarMinimum = 4;
constexpr int kPeakHoldFrames = 60;
constexpr int kTickSpacing = 75;
constexpr int kNarrowScreen = 320;

// The overlay's colour for the debug-text printer, red in the low byte.
constexpr uint32_t kOverlayRed = 0x0000FF;
constexpr uint32_t kLabelWhite = 0xFFFFFF;

// A measurement every this many frames and one.
constexpr int kFramesPerMeasurement = 50;

DK_TIMEBAR gaTimeBars[MAX_TIMEBARS] = {
#define DK_FREE_BAR                                                                                \
    {                                                                                              \
        {}, DK_TIMEBAR_FREE, 0, 0, 0, 0                                                            \
    }
    DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR,
    DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR,
    DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR, DK_FREE_BAR,
#undef DK_FREE_BAR
};
int32_t gnTotalPeak = 0;
int32_t gnTotalHold = 0;

BOOL gboFrameRateStarted = FALSE;
int gnFrameCount = 0;
long gnLastClock = 0;
float gfFramesPerSecond = 0.0f;
float gfTrianglesPerFrame = 0.0f;
float gfVerticesPerFrame = 0.0f;
D3DSTATS gLastStats{sizeof(D3DSTATS), 0, 0, 0, 0, 0};

DK_TEXTURE* gpFpsTexture = nullptr;

uint32_t CounterLow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint32_t>(now.QuadPart);
}

// A count that went down belongs to a device made since the last measurement: all of it is new.
float Growth(DWORD uNow, DWORD uBefore)
{
    return static_cast<float>(uNow >= uBefore ? uNow - uBefore : uNow);
}

bool IsBar(int nIndex)
{
    return nIndex >= 0 && nIndex < MAX_TIMEBARS;
}

// What the back surface is, or false when there is nothing to paint on.
bool BackSurface(IDirectDrawSurface*& lpBack, DDSURFACEDESC& desc)
{
    lpBack = d2d != nullptr ? d2d->BackSurface.lpSurface : nullptr;
    if (lpBack == nullptr)
        return false;
    desc = DDSURFACEDESC{};
    desc.dwSize = sizeof desc;
    return lpBack->GetSurfaceDesc(&desc) == DD_OK && desc.dwWidth != kNarrowScreen;
}

struct Painter
{
    IDirectDrawSurface* lpBack;
    int nWidth;
    int nHeight;
    DWORD uWhite;

    void Fill(int x, int y, int w, int h, DWORD uColour) const
    {
        RECT r = {std::max(x, 0), std::max(y, 0), std::min(x + w, nWidth),
                  std::min(y + h, nHeight)};
        if (r.left >= r.right || r.top >= r.bottom)
            return;
        DDBLTFX fx{};
        fx.dwSize = sizeof fx;
        fx.dwFillColor = uColour;
        TRYDD(lpBack->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
    }

    int RowTop(int nRow) const
    {
        return nHeight - kFirstBarAboveBottom - kBarSpacing * nRow - kBarHeight;
    }

    // Holds the longest length for 60 frames, then follows the bar again.
    static int Peak(int nLength, int32_t& nPeak, int32_t& nHold)
    {
        if (nLength > nPeak)
        {
            nPeak = nLength;
            nHold = kPeakHoldFrames;
        }
        else if (nHold > 0)
            --nHold;
        else
            nPeak = nLength;
        return nPeak;
    }

    // Segments of (elapsed counts, colour), laid end to end in row nRow: 1 pixel for every
    // 200 counts, and 4 more at the end.
    void Bar(int nRow, const char* pszName, const std::pair<uint32_t, int32_t>* pSegments,
             int nSegments, int32_t& nPeak, int32_t& nHold) const
    {
        const int y = RowTop(nRow);
        auto pixels = [](uint64_t uCounts)
        { return static_cast<int>(std::min<uint64_t>(uCounts / kCountsPerPixel, 1 << 20)); };
        uint64_t uTotal = 0;
        for (int i = 0; i < nSegments; ++i)
            uTotal += pSegments[i].first;
        const int nLength = pixels(uTotal) + kBarMinimum;
        uint64_t uSoFar = 0;
        int x = kBarLeft;
        for (int i = 0; i < nSegments; ++i)
        {
            uSoFar += pSegments[i].first;
            const int nEnd = i + 1 < nSegments ? kBarLeft + pixels(uSoFar) : kBarLeft + nLength;
            Fill(x, y, nEnd - x, kBarHeight, static_cast<DWORD>(pSegments[i].second));
            x = nEnd;
        }
        for (int t = kTickSpacing; t < nLength; t += kTickSpacing)
            Fill(kBarLeft + t, y, 1, kBarHeight, uWhite);
        Fill(kBarLeft + Peak(nLength, nPeak, nHold), y, 2, kBarHeight, uWhite);
        DkDebugText(pszName, kLabelLeft, y - 2, kLabelWhite);
    }
};

void PaintBars(bool boTotal)
{
    IDirectDrawSurface* lpBack = nullptr;
    DDSURFACEDESC desc;
    if (!BackSurface(lpBack, desc))
        return;
    const DDPIXELFORMAT& pf = desc.ddpfPixelFormat;
    const DWORD uWhite =
        pf.dwFlags & DDPF_RGB ? pf.dwRBitMask | pf.dwGBitMask | pf.dwBBitMask : DWORD{255};
    const Painter painter{lpBack, static_cast<int>(desc.dwWidth), static_cast<int>(desc.dwHeight),
                          uWhite};
    std::pair<uint32_t, int32_t> aSegments[MAX_TIMEBARS];
    int nUsed = 0, nTopRow = -1;
    for (int i = 0; i < MAX_TIMEBARS; ++i)
    {
        DK_TIMEBAR& bar = gaTimeBars[i];
        if (bar.nColour == DK_TIMEBAR_FREE)
            continue;
        aSegments[nUsed] = {bar.uElapsed, bar.nColour};
        painter.Bar(i, bar.szName, &aSegments[nUsed], 1, bar.nPeak, bar.nHold);
        ++nUsed;
        nTopRow = i;
    }
    if (boTotal && nUsed > 0)
        painter.Bar(nTopRow + 1, "TOTAL", aSegments, nUsed, gnTotalPeak, gnTotalHold);
}

} // namespace

void DkResetTimeBars(void)
{
    for (DK_TIMEBAR& bar : gaTimeBars)
    {
        if (bar.nColour == DK_TIMEBAR_FREE)
            break;
        bar.nColour = DK_TIMEBAR_FREE;
        bar.nPeak = 0;
        bar.nHold = 0;
    }
    gnTotalPeak = 0;
    gnTotalHold = 0;
}

void DkClearTimeBarNames(void)
{
    for (DK_TIMEBAR& bar : gaTimeBars)
    {
        bar.nColour = DK_TIMEBAR_FREE;
        bar.szName[0] = '\0';
    }
}

BOOL DkStartTimeBar(int nIndex, int32_t nColour, const char* pszName)
{
    if (!IsBar(nIndex))
        return FALSE;
    DK_TIMEBAR& bar = gaTimeBars[nIndex];
    std::snprintf(bar.szName, sizeof bar.szName, "%s", pszName != nullptr ? pszName : "");
    bar.nColour = nColour;
    bar.uStart = CounterLow();
    return TRUE;
}

BOOL DkStopTimeBar(int nIndex)
{
    if (!IsBar(nIndex))
        return FALSE;
    // Unsigned arithmetic takes a wrap of the low 32 bits in its stride.
    gaTimeBars[nIndex].uElapsed = CounterLow() - gaTimeBars[nIndex].uStart;
    return TRUE;
}

void DkDrawTimeBars(void)
{
    PaintBars(false);
}

void DkDrawTimeBarsWithTotal(void)
{
    PaintBars(true);
}

void DkCountFrameRate(void)
{
    IDirect3DDevice2* lpDevice = d3d->lpD3DDevice2;
    D3DSTATS stats{sizeof(D3DSTATS), 0, 0, 0, 0, 0};
    if (!gboFrameRateStarted)
    {
        gboFrameRateStarted = TRUE;
        gnLastClock = crt_clock();
        // Rates count from here, not from the device's making.
        if (lpDevice != nullptr && lpDevice->GetStats(&stats) == D3D_OK)
            gLastStats = stats;
    }
    if (gnFrameCount++ < kFramesPerMeasurement)
        return;
    const long nNow = crt_clock();
    const double seconds = (nNow - gnLastClock) / 1000.0;
    // Frames within one millisecond give no rate: the last one stands.
    if (seconds > 0.0)
        gfFramesPerSecond = static_cast<float>(gnFrameCount / seconds);
    if (lpDevice != nullptr && TRYD3D(lpDevice->GetStats(&stats)))
    {
        gfTrianglesPerFrame = Growth(stats.dwTrianglesDrawn, gLastStats.dwTrianglesDrawn) /
                              static_cast<float>(gnFrameCount);
        gfVerticesPerFrame = Growth(stats.dwVerticesProcessed, gLastStats.dwVerticesProcessed) /
                             static_cast<float>(gnFrameCount);
        gLastStats = stats;
    }
    gnLastClock = nNow;
    gnFrameCount = 0;
}

int DkGetFrameRate(void)
{
    return static_cast<int>(gfFramesPerSecond);
}

void DkDrawDebugOverlay(void)
{
    DkDebugTextLarge(DkFormatString("FPS: %d", static_cast<int>(gfFramesPerSecond)), 10, 5,
                     kOverlayRed);
    DkDebugTextLarge(DkFormatString("POLYS: %d", static_cast<int>(gfTrianglesPerFrame)), 10, 20,
                     kOverlayRed);
    DkDebugTextLarge(DkFormatString("TRACK CLIP DISTANCE: %d", gxTrackClipDistance / 65536), 10, 35,
                     kOverlayRed);
    DkDebugTextLarge(DkFormatString("OBJECT CLIP DISTANCE: %d", gxObjectClipDistance / 65536), 10,
                     50, kOverlayRed);
}

DK_TEXTURE* DkLoadFpsImage(void)
{
    DkDebugOutput("loading the fps image");
    void* pFile = DkMallocLoadFile(DK_FPS_IMAGE_FILE, DKLF_CD);
    if (pFile == nullptr)
        return nullptr;
    gpFpsTexture = DkImageToTexture(pFile, DkGetLastFileSize(), ITT_BMP);
    DkHeapFree(pFile);
    return gpFpsTexture;
}

BOOL DkGetGameScene3D(void)
{
    return gboGameScene3D;
}
