// GDI, as far as the engine draws with it: stock objects, fonts, and text and pattern fills on
// the device context of a display surface; the screen's device context and system palette.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/ddraw/ddraw_internal.h"
#include "platform/win/font8x8.h"
#include "platform/win/win.h"

struct HFONT__
{
    LONG height;
    LONG weight;
};

namespace
{

// The built-in font, shared with dezor-datakit.
using font8x8::kFirstGlyph;
using font8x8::kGlyphs;
using font8x8::kGlyphSize;
using font8x8::kLastGlyph;

constexpr int kWhiteBrush = 0;
constexpr int kBlackPen = 7;
constexpr int kStockCount = 8;
// Grey levels of the stock brushes white, light grey, grey, dark grey and black.
constexpr BYTE kBrushGrey[] = {255, 192, 128, 64, 0};

char gaStockObjects[kStockCount];
HFONT__ gDefaultFont{0, FW_NORMAL};
std::vector<std::unique_ptr<HFONT__>> gaFonts;

// The screen's device context, and the state of every context that is not a surface's (the
// screen's and the window's paint context), on which nothing is drawn.
char gScreenDc;
GdiDcState gOtherDcState;
UINT guSystemPaletteUse = SYSPAL_STATIC;

int StockIndex(HGDIOBJ h)
{
    for (int i = 0; i < kStockCount; ++i)
        if (h == &gaStockObjects[i])
            return i;
    return -1;
}

const HFONT__* LiveFont(HGDIOBJ h)
{
    if (h == &gDefaultFont)
        return &gDefaultFont;
    for (const std::unique_ptr<HFONT__>& f : gaFonts)
        if (f.get() == h)
            return f.get();
    return nullptr;
}

GdiDcState* StateOf(HDC hdc)
{
    if (hdc == nullptr)
        return nullptr;
    if (DdSurfaceData* s = DdSurfaceFromDc(hdc))
        return &s->dc;
    return &gOtherDcState;
}

// The font's height in whole cells of the built-in font.
int FontScale(const GdiDcState& dc)
{
    const HFONT__* font = LiveFont(dc.font);
    int64_t height = font != nullptr ? std::llabs(static_cast<int64_t>(font->height)) : 0;
    return static_cast<int>(std::clamp<int64_t>(height / kGlyphSize, 1, 64));
}

void DrawGlyph(DdSurfaceData& s, int64_t left, int64_t top, int ch, int scale, DWORD value)
{
    if (ch < kFirstGlyph || ch > kLastGlyph)
        return;
    const std::array<uint8_t, 8>& glyph = kGlyphs[ch - kFirstGlyph];
    for (int row = 0; row < kGlyphSize; ++row)
    {
        for (int col = 0; col < kGlyphSize; ++col)
        {
            if (!(glyph[row] & (0x80 >> col)))
                continue;
            int64_t x = left + col * scale, y = top + row * scale;
            DdFillClipped(s,
                          RECT{static_cast<LONG>(x), static_cast<LONG>(y),
                               static_cast<LONG>(x + scale), static_cast<LONG>(y + scale)},
                          value);
        }
    }
}

std::array<PALETTEENTRY, 256> MakeSystemPalette()
{
    std::array<PALETTEENTRY, 256> p{};
    const PALETTEENTRY low[10] = {
        {0, 0, 0, 0},     {128, 0, 0, 0},   {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
        {128, 0, 128, 0}, {0, 128, 128, 0}, {192, 192, 192, 0}, {224, 224, 224, 0}, {96, 96, 96, 0},
    };
    const PALETTEENTRY high[10] = {
        {32, 32, 32, 0},  {160, 160, 160, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},
        {0, 255, 0, 0},   {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},
        {0, 255, 255, 0}, {255, 255, 255, 0},
    };
    std::copy(std::begin(low), std::end(low), p.begin());
    std::copy(std::begin(high), std::end(high), p.begin() + 246);
    return p;
}

} // namespace

const std::array<PALETTEENTRY, 256>& GdiSystemPalette()
{
    static const std::array<PALETTEENTRY, 256> palette = MakeSystemPalette();
    return palette;
}

HGDIOBJ GetStockObject(int i)
{
    return (i >= 0 && i < kStockCount) ? static_cast<HGDIOBJ>(&gaStockObjects[i]) : nullptr;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h)
{
    GdiDcState* dc = StateOf(hdc);
    if (dc == nullptr || h == nullptr)
        return nullptr;
    int stock = StockIndex(h);
    if (stock >= 0 && stock <= NULL_BRUSH)
    {
        HGDIOBJ previous = dc->brush != nullptr ? dc->brush : GetStockObject(kWhiteBrush);
        dc->brush = h;
        return previous;
    }
    if (stock > NULL_BRUSH)
        return GetStockObject(kBlackPen); // pens draw nothing here
    if (LiveFont(h) != nullptr)
    {
        HGDIOBJ previous = dc->font != nullptr ? dc->font : &gDefaultFont;
        dc->font = h;
        return previous;
    }
    return nullptr;
}

BOOL DeleteObject(HGDIOBJ ho)
{
    if (ho == nullptr)
        return FALSE;
    if (StockIndex(ho) >= 0 || ho == &gDefaultFont)
        return TRUE;
    auto it = std::find_if(gaFonts.begin(), gaFonts.end(),
                           [&](const std::unique_ptr<HFONT__>& f) { return f.get() == ho; });
    if (it == gaFonts.end())
        return FALSE;
    gaFonts.erase(it);
    return TRUE;
}

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop)
{
    if (hdc == nullptr)
        return FALSE;
    DdSurfaceData* s = DdSurfaceFromDc(hdc);
    if (s == nullptr)
        return TRUE; // the window shows nothing but the presented frames, which cover it
    if (rop != PATCOPY)
        return FALSE;
    int brush = StockIndex(s->dc.brush != nullptr ? s->dc.brush : GetStockObject(kWhiteBrush));
    if (brush < 0 || brush >= NULL_BRUSH)
        return TRUE;
    BYTE grey = kBrushGrey[brush];
    int64_t x2 = static_cast<int64_t>(x) + w, y2 = static_cast<int64_t>(y) + h;
    auto edge = [](int64_t v)
    { return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    RECT r{edge(std::min<int64_t>(x, x2)), edge(std::min<int64_t>(y, y2)),
           edge(std::max<int64_t>(x, x2)), edge(std::max<int64_t>(y, y2))};
    DdFillClipped(*s, r, DdPixelFromRgb(*s, grey, grey, grey));
    return TRUE;
}

HFONT CreateFontIndirectA(const LOGFONTA* lplf)
{
    if (lplf == nullptr)
        return nullptr;
    gaFonts.push_back(std::make_unique<HFONT__>(HFONT__{lplf->lfHeight, lplf->lfWeight}));
    return gaFonts.back().get();
}

int SetBkMode(HDC hdc, int mode)
{
    GdiDcState* dc = StateOf(hdc);
    if (dc == nullptr || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

COLORREF SetTextColor(HDC hdc, COLORREF color)
{
    GdiDcState* dc = StateOf(hdc);
    if (dc == nullptr)
        return 0xFFFFFFFFu; // CLR_INVALID
    COLORREF previous = dc->textColor;
    dc->textColor = color;
    return previous;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c)
{
    if (hdc == nullptr || c < 0 || (lpString == nullptr && c > 0))
        return FALSE;
    DdSurfaceData* s = DdSurfaceFromDc(hdc);
    if (s == nullptr)
        return TRUE;
    // The background is always left as it is: the engine only writes text over its frames.
    const int scale = FontScale(s->dc);
    const COLORREF colour = s->dc.textColor;
    const DWORD value =
        DdPixelFromRgb(*s, static_cast<BYTE>(colour), static_cast<BYTE>(colour >> 8),
                       static_cast<BYTE>(colour >> 16));
    const int64_t advance = static_cast<int64_t>(kGlyphSize) * scale;
    for (int i = 0; i < c; ++i)
    {
        int64_t left = x + i * advance;
        if (left >= static_cast<int64_t>(s->width))
            break;
        DrawGlyph(*s, left, y, static_cast<unsigned char>(lpString[i]), scale, value);
    }
    return TRUE;
}

HDC GetDC(HWND)
{
    return reinterpret_cast<HDC>(&gScreenDc);
}

int ReleaseDC(HWND, HDC hDC)
{
    return hDC == reinterpret_cast<HDC>(&gScreenDc) ? 1 : 0;
}

UINT SetSystemPaletteUse(HDC hdc, UINT use)
{
    if (hdc == nullptr || (use != SYSPAL_STATIC && use != SYSPAL_NOSTATIC))
        return 0; // SYSPAL_ERROR
    UINT previous = guSystemPaletteUse;
    guSystemPaletteUse = use;
    return previous;
}

UINT GetSystemPaletteEntries(HDC hdc, UINT iStart, UINT cEntries, PALETTEENTRY* pPalEntries)
{
    if (hdc == nullptr)
        return 0;
    if (pPalEntries == nullptr)
        return 256;
    if (iStart >= 256)
        return 0;
    UINT count = std::min<UINT>(cEntries, 256 - iStart);
    std::copy_n(GdiSystemPalette().begin() + iStart, count, pPalEntries);
    return count;
}
