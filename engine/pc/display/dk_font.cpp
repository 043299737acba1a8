// Bitmap fonts and text printing.

#include "engine/pc/display/dk_font.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_entries.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/dk_image.h"
#include "engine/pc/display/dk_pblit.h"
#include "platform/ddraw/ddraw.h"

int32_t gnTextWidestLine = 0;
int32_t gxTextWidestLine = 0;

namespace
{

DK_FONT* paFont = nullptr;
DK_FONT_CHAR* paFontChar = nullptr;
uint16_t guFontsAllowed = 0;
uint16_t guFontsCreated = 0;
uint32_t guGlyphsUsed = 0;

constexpr int kGlyphsPerFont = 256;
constexpr uint32_t kFontPixelOffset = 1078;
constexpr uint32_t kFontHeaderSize = 24;
constexpr uint32_t kBmpHeaderSize = 54;
// Line heights, space widths and spacings beyond these are no font's: refusing them at load keeps
// every sum the printer and the measurers make far inside an int.
constexpr int32_t kFontMetricMax = 1024;
constexpr int32_t kFontSpacingMin = -kFontMetricMax; // spacings may pull glyphs together

const uint8_t kWhite[4] = {255, 255, 255, 255};

uint8_t guTextBlitOrder = BLIT_TO_MIDDLE;
DK_RECT gTextClip;
BOOL gboTextClip = FALSE;

// The line being drawn.
DK_FONT* gpCurrentFont = nullptr;
int16_t gnPenX = 0;
int16_t gnPenY = 0;

int32_t Read32(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

int ScreenWidth(void)
{
    return d2d->nWidth;
}

int ScreenHeight(void)
{
    return d2d->nHeight;
}

// The surface a font's glyphs are blitted from: its own, or its texture's.
DK_SURFACE* FontSurface(const DK_FONT* pFont)
{
    if (pFont->pSurface != nullptr)
        return pFont->pSurface;
    return pFont->pTexture != nullptr ? pFont->pTexture->pDeviceSurface : nullptr;
}

BOOL BlitGlyph(const DK_FONT_CHAR& glyph, const DK_RECT& dest, DK_SURFACE* pDest)
{
    return DkBlitPC(FontSurface(gpCurrentFont), &glyph.rect, pDest, &dest, 0, 0, TRUE, TRUE) != 0;
}

BOOL QueueGlyph(const DK_FONT_CHAR& glyph, const DK_RECT& dest, const uint8_t* pColour,
                uint32_t uFlags)
{
    DkPolyAlphaBlit(&glyph.rect, &dest, gpCurrentFont->pTexture, pColour, guTextBlitOrder, 0,
                    DK_VECTOR{0, 0, 0}, gboTextClip ? &gTextClip : nullptr, uFlags);
    return TRUE;
}

BOOL DkPrintChar(uint8_t uChar, DK_SURFACE* pSurface, const uint8_t* pColour)
{
    DK_FONT* pFont = gpCurrentFont;
    const uint8_t uGlyph = pFont->auMap[uChar];
    if (uGlyph == DK_FONT_NO_GLYPH)
    {
        if (uChar == ' ' || uChar == '_')
        {
            gnPenX = static_cast<int16_t>(gnPenX + pFont->nSpaceWidth);
            return TRUE;
        }
        return uChar == '^';
    }
    if (uChar == '^')
        return TRUE;
    const DK_FONT_CHAR& glyph = pFont->pGlyphs[uGlyph];
    const DK_RECT dest{gnPenX, gnPenY, glyph.rect.w, glyph.rect.h};
    BOOL boDrawn;
    if (!gbo3DReady)
        boDrawn = BlitGlyph(glyph, dest, pSurface);
    else if (d3d->nHardwareDevice == 1)
        boDrawn = pFont->pTexture != nullptr && !DkEntries().IsLoadingScreenUp()
                      ? QueueGlyph(glyph, dest, pColour, DKPB_NONE)
                      : BlitGlyph(glyph, dest, pSurface);
    else
        boDrawn = pFont->pTexture != nullptr
                      ? QueueGlyph(glyph, dest, pColour, DKPB_NONE | DKPB_SURFACE_BLIT)
                      : BlitGlyph(glyph, dest, pSurface);
    gnPenX = static_cast<int16_t>(gnPenX + glyph.rect.w + pFont->nHSpacing);
    // A glyph that could not be drawn still takes its place in the line.
    (void)boDrawn;
    return TRUE;
}

int DkPrintLine(int nX, int nY, const char* pszLine, DK_FONT* pFont, DK_SURFACE* pSurface,
                const uint8_t* pColour, int nJustification)
{
    if ((nJustification & 0x0F) == DKJ_CENTRE)
        nX -= DkStringLength(pszLine, pFont) / 2;
    else if ((nJustification & 0x0F) == DKJ_RIGHT)
        nX -= DkStringLength(pszLine, pFont);
    gpCurrentFont = pFont;
    gnPenX = static_cast<int16_t>(nX);
    gnPenY = static_cast<int16_t>(nY);
    BOOL boAll = TRUE;
    for (const char* p = pszLine; *p != '\0'; ++p)
        if (!DkPrintChar(static_cast<uint8_t>(*p), pSurface, pColour))
            boAll = FALSE;
    if (!boAll)
        DkDebugOutput(DkFormatString("Error printing string '%s' at (%d,%d)\n", pszLine, nX, nY));
    return static_cast<int>(std::clamp<int64_t>(
        static_cast<int64_t>(nY) + pFont->nHeight + pFont->nVSpacing, INT32_MIN, INT32_MAX));
}

// Checks the font file's layout against its size: BMP header, the font header right after the
// pixel rows, and the glyph table after it. Returns the header's offset, or 0.
uint32_t FontHeaderOffset(const uint8_t* p, uint32_t uSize)
{
    if (uSize < kBmpHeaderSize)
    {
        DKREPORT(DkFormatString("DkFontFileToFont() : file of %u bytes is too short", uSize));
        return 0;
    }
    const int32_t nWidth = Read32(p + 18);
    const int32_t nHeight = Read32(p + 22);
    if (nWidth < 1 || nWidth > 32764 || nHeight < 1 || nHeight > 32767)
    {
        DKREPORT(DkFormatString("DkFontFileToFont() : font image size %d x %d is not usable",
                                nWidth, nHeight));
        return 0;
    }
    const uint64_t uHeader = kFontPixelOffset + static_cast<uint64_t>((nWidth + 3) & ~3) *
                                                    static_cast<uint64_t>(nHeight);
    if (uHeader + kFontHeaderSize > uSize)
    {
        DKREPORT(DkFormatString("DkFontFileToFont() : font header at %llu lies past the end of "
                                "the file (%u bytes)",
                                static_cast<unsigned long long>(uHeader), uSize));
        return 0;
    }
    const uint32_t uGlyphs = p[uHeader + 1];
    if (uHeader + kFontHeaderSize + uGlyphs * sizeof(DK_FONT_CHAR) > uSize)
    {
        DKREPORT(DkFormatString("DkFontFileToFont() : glyph table of %u entries runs past the "
                                "end of the file",
                                uGlyphs));
        return 0;
    }
    return static_cast<uint32_t>(uHeader);
}

// The header's line height, space width and spacings, checked before anything is made of the
// file.
BOOL FontMetricsUsable(const uint8_t* pHeader)
{
    struct Metric
    {
        const char* pszName;
        int32_t nValue;
        int32_t nMin;
    } const aMetric[] = {
        {"height", Read32(pHeader + 4), 0},
        {"space width", Read32(pHeader + 8), 0},
        {"horizontal spacing", Read32(pHeader + 12), kFontSpacingMin},
        {"vertical spacing", Read32(pHeader + 16), kFontSpacingMin},
    };
    for (const Metric& m : aMetric)
        if (m.nValue < m.nMin || m.nValue > kFontMetricMax)
        {
            DKREPORT(DkFormatString("DkFontFileToFont() : font %s %d is outside %d..%d", m.pszName,
                                    m.nValue, m.nMin, kFontMetricMax));
            return FALSE;
        }
    return TRUE;
}

BOOL DkFontFileToFont(DK_FONT* pFont, const void* pData, uint32_t uSize, uint32_t uFlags)
{
    if (pFont == nullptr)
    {
        DKREPORT("DkFontFileToFont() : Pointer to DK_FONT is NULL");
        return FALSE;
    }
    if (pData == nullptr)
    {
        DKREPORT("DkFontFileToFont() : Pointer to file data is invalid");
        return FALSE;
    }
    const uint8_t* p = static_cast<const uint8_t*>(pData);
    const uint32_t uHeader = FontHeaderOffset(p, uSize);
    if (uHeader == 0)
        return FALSE;
    if (Read32(p + 30) != 0)
    {
        DKREPORT(".BMP is compressed");
        return FALSE;
    }
    if ((p[28] | p[29] << 8) != 8)
    {
        DKREPORT(".BMP is not 256 cols");
        return FALSE;
    }

    if (!FontMetricsUsable(p + uHeader))
        return FALSE;

    std::memset(pFont, 0, sizeof *pFont);
    DK_SURFACE* pImage;
    if (gbo3DReady)
    {
        pFont->pTexture = DkImageToTexture(
            pData, uSize, ITT_BMP | ((uFlags & DKCF_KEEP_INDICES) ? ITT_KEEP_INDICES : 0));
        pImage = pFont->pTexture != nullptr ? pFont->pTexture->pDeviceSurface : nullptr;
    }
    else
    {
        pFont->pSurface = DkImageToSurface(
            nullptr, pData, uSize,
            ITS_CREATE_SURFACE | ((uFlags & DKCF_KEEP_INDICES) ? ITS_KEEP_INDICES : 0));
        pImage = pFont->pSurface;
    }
    if (pImage == nullptr || pImage->lpSurface == nullptr)
        return FALSE;
    DDCOLORKEY key{0, 0};
    TRYDD(pImage->lpSurface->SetColorKey(DDCKEY_SRCBLT, &key));

    const uint8_t* pHeader = p + uHeader;
    pFont->nVersion = static_cast<int8_t>(pHeader[0]);
    pFont->uGlyphs = pHeader[1];
    pFont->nHeight = Read32(pHeader + 4);
    pFont->nSpaceWidth = Read32(pHeader + 8);
    pFont->nHSpacing = Read32(pHeader + 12);
    pFont->nVSpacing = Read32(pHeader + 16);
    DkDebugOutput("Loading font header");
    DkDebugOutput("Read header:\n");
    DkDebugOutput(DkFormatString("\tFont Height: %d\n\tSpace Width: %d\n\tH Spacing: %d\n\tV "
                                 "Spacing: %d\n\tNum Entries: %d\n",
                                 pFont->nHeight, pFont->nSpaceWidth, pFont->nHSpacing,
                                 pFont->nVSpacing, pFont->uGlyphs));
    if (pFont->nVersion != DK_FONT_VERSION)
        DKREPORT(DkFormatString("DkFontFileToFont: Wrong font version!\nYou tried to load a font "
                                "with version no. %d\nbut we want fonts of version no. %d!",
                                pFont->nVersion, DK_FONT_VERSION));

    pFont->pGlyphs = paFontChar + guGlyphsUsed;
    std::memcpy(pFont->pGlyphs, pHeader + kFontHeaderSize, pFont->uGlyphs * sizeof(DK_FONT_CHAR));
    guGlyphsUsed += pFont->uGlyphs;

    std::memset(pFont->auMap, DK_FONT_NO_GLYPH, sizeof pFont->auMap);
    const DK_RECT& image = pImage->rect;
    for (int i = 0; i < pFont->uGlyphs; ++i)
    {
        const DK_RECT& r = pFont->pGlyphs[i].rect;
        // A glyph outside the image would draw whatever lies beyond it: left without a glyph.
        if (r.x < 0 || r.y < 0 || r.w < 0 || r.h < 0 || r.x + r.w > image.w || r.y + r.h > image.h)
        {
            DKREPORT(DkFormatString("DkFontFileToFont() : glyph %d (code %d) lies outside the "
                                    "font image",
                                    i, pFont->pGlyphs[i].uCode));
            continue;
        }
        if (i != DK_FONT_NO_GLYPH)
            pFont->auMap[pFont->pGlyphs[i].uCode] = static_cast<uint8_t>(i);
    }
    return TRUE;
}

} // namespace

int DkInitialiseFonts(int nFonts)
{
    if (paFont != nullptr || paFontChar != nullptr)
        dkFreeFont();
    if (nFonts < 1)
        DKREPORT("DkInitialiseFonts() : Must be >=1 font");
    const int nAllowed = std::clamp(nFonts, 0, 0xFFFF);
    guFontsAllowed = static_cast<uint16_t>(nAllowed);
    guFontsCreated = 0;
    guGlyphsUsed = 0;
    if (nAllowed > 0)
    {
        paFont = static_cast<DK_FONT*>(DkHeapAlloc(sizeof(DK_FONT) * nAllowed));
        if (paFont == nullptr)
            DKREPORT("DkInitialiseFonts() : heap allocation failed");
        paFontChar = static_cast<DK_FONT_CHAR*>(
            DkHeapAlloc(sizeof(DK_FONT_CHAR) * kGlyphsPerFont * nAllowed));
    }
    // Without both tables no font can be made.
    if (paFont == nullptr || paFontChar == nullptr)
        guFontsAllowed = 0;
    return DkAddDestructor(DkFontDestructor, "Font destructor");
}

DK_FONT* DkCreateFont(const void* pFileData, uint32_t uSize, uint32_t uFlags)
{
    if (guFontsCreated >= guFontsAllowed)
    {
        DKREPORT("DkCreateFont() failed - Too many fonts created");
        return nullptr;
    }
    DK_FONT* pFont = &paFont[guFontsCreated];
    if (!DkFontFileToFont(pFont, pFileData, uSize, uFlags))
    {
        DKREPORT("DkFontFileToFont() failed");
        return nullptr;
    }
    ++guFontsCreated;
    return pFont;
}

BOOL DkCreateAndLoadFont(DK_FONT** ppFont, const char* pszFileName)
{
    void* pData = DkMallocLoadFile(pszFileName, DKLF_CD);
    DK_FONT* pFont = pData != nullptr ? DkCreateFont(pData, DkGetLastFileSize(), 0) : nullptr;
    if (pFont == nullptr)
        DKREPORT(DkFormatString("Error creating font, from file %s", pszFileName));
    if (pData != nullptr)
        DkHeapFree(pData);
    if (ppFont != nullptr)
        *ppFont = pFont;
    return pFont != nullptr;
}

void dkFreeFont(void)
{
    if (paFont == nullptr)
        DKREPORT("dkFreeFont(), paFont NULL pointer");
    if (paFontChar == nullptr)
        DKREPORT("dkFreeFont(), paFontChar NULL pointer");
    if (paFont != nullptr)
        DkHeapFree(paFont);
    if (paFontChar != nullptr)
        DkHeapFree(paFontChar);
    paFont = nullptr;
    paFontChar = nullptr;
    if (guFontsCreated < guFontsAllowed)
        DkLog(DkFormatString("*** ONLY ALLOCATED %d OUT OF %d FONTS - WHAT A WASTE OF MEMORY!!!",
                             guFontsCreated, guFontsAllowed));
    guFontsCreated = 0;
    guGlyphsUsed = 0;
}

BOOL DkFontDestructor(void)
{
    dkFreeFont();
    guFontsAllowed = 0;
    return TRUE;
}

int DkStringLength(const char* pszString, const DK_FONT* pFont)
{
    if (pszString == nullptr)
    {
        DKREPORT("DkStringLength got a NULL string");
        return 0;
    }
    if (pFont == nullptr)
    {
        DKREPORT("DkStringLength got a NULL font");
        return 0;
    }
    // Summed wide and held to an int: a string long enough could pass INT_MAX even with a
    // font's metrics in range.
    int64_t nLength = 0;
    for (const char* p = pszString; *p != '\0'; ++p)
    {
        const uint8_t c = static_cast<uint8_t>(*p);
        if (c == ' ' || c == '_' || c == '^')
            nLength += pFont->nSpaceWidth;
        else if (pFont->auMap[c] != DK_FONT_NO_GLYPH)
            nLength += pFont->pGlyphs[pFont->auMap[c]].rect.w + pFont->nHSpacing;
    }
    return static_cast<int>(std::clamp<int64_t>(nLength, INT32_MIN, INT32_MAX));
}

int DkStringHeight(const char* pszString, const DK_FONT* pFont)
{
    if (pszString == nullptr || pFont == nullptr)
        return 0;
    int64_t nHeight = pFont->nHeight;
    for (const char* p = pszString; *p != '\0'; ++p)
        if (*p == '^')
            nHeight += pFont->nHeight + pFont->nVSpacing;
    return static_cast<int>(std::clamp<int64_t>(nHeight, INT32_MIN, INT32_MAX));
}

int32_t DkStringLengthScaled(const char* pszString, const DK_FONT* pFont)
{
    const int nWidth = ScreenWidth();
    return nWidth > 0 ? static_cast<int32_t>(
                            static_cast<int64_t>(DkStringLength(pszString, pFont)) * 65536 / nWidth)
                      : 0;
}

int32_t DkStringHeightScaled(const char* pszString, const DK_FONT* pFont)
{
    const int nHeight = ScreenHeight();
    return nHeight > 0
               ? static_cast<int32_t>(static_cast<int64_t>(DkStringHeight(pszString, pFont)) *
                                      65536 / nHeight)
               : 0;
}

int DkPrintText(int nX, int nY, const char* pszString, DK_FONT* pFont, DK_SURFACE* pSurface,
                const uint8_t* pColour, int nJustification)
{
    if (pszString == nullptr || pFont == nullptr || pSurface == nullptr)
        return nY;
    if ((nJustification & 0xF0) == DKJ_VCENTRE)
        nY -= DkStringHeight(pszString, pFont) / 2;
    else if ((nJustification & 0xF0) == DKJ_BOTTOM)
        nY -= DkStringHeight(pszString, pFont);
    if (pColour == nullptr)
        pColour = kWhite;
    gnTextWidestLine = 0;
    gxTextWidestLine = 0;
    const int nScreenWidth = ScreenWidth();

    std::string rest(pszString);
    for (;;)
    {
        const int nLength = DkStringLength(rest.c_str(), pFont);
        if (nLength < nScreenWidth && rest.find('^') == std::string::npos)
        {
            gnTextWidestLine = std::max(gnTextWidestLine, nLength);
            return DkPrintLine(nX, nY, rest.c_str(), pFont, pSurface, pColour, nJustification);
        }
        // Words one at a time until the line is full or a '^' ends it.
        size_t uAccepted = 0; // start of the next word
        size_t uLineEnd = 0;
        size_t uConsumed = 0;
        BOOL boCaret = FALSE;
        for (;;)
        {
            size_t uWordEnd = rest.find_first_of(" ^", uAccepted);
            if (uWordEnd == std::string::npos)
                uWordEnd = rest.size();
            if (uAccepted > 0 &&
                DkStringLength(rest.substr(0, uWordEnd).c_str(), pFont) >= nScreenWidth)
            {
                uLineEnd = uAccepted - 1;
                uConsumed = uAccepted;
                break;
            }
            if (uWordEnd == rest.size())
            {
                uLineEnd = uConsumed = uWordEnd;
                break;
            }
            if (rest[uWordEnd] == '^')
            {
                uLineEnd = uWordEnd;
                uConsumed = uWordEnd + 1;
                boCaret = TRUE;
                break;
            }
            if (uAccepted == 0 &&
                DkStringLength(rest.substr(0, uWordEnd).c_str(), pFont) >= nScreenWidth)
            {
                // A word as wide as the screen is a line of its own.
                uLineEnd = uWordEnd;
                uConsumed = uWordEnd + 1;
                break;
            }
            uAccepted = uWordEnd + 1;
        }
        const std::string line = rest.substr(0, uLineEnd);
        gnTextWidestLine = std::max(gnTextWidestLine, DkStringLength(line.c_str(), pFont));
        nY = DkPrintLine(nX, nY, line.c_str(), pFont, pSurface, pColour, nJustification);
        rest.erase(0, uConsumed);
        // Text that ended without a '^' leaves no empty line below it.
        if (rest.empty() && !boCaret)
            return nY;
    }
}

int32_t DkPrintTextScaled(int32_t xX, int32_t xY, const char* pszString, DK_FONT* pFont,
                          DK_SURFACE* pSurface, const uint8_t* pColour, int nJustification)
{
    const int nWidth = ScreenWidth();
    const int nHeight = ScreenHeight();
    const int nX = xX == -1 ? -1 : static_cast<int>((static_cast<int64_t>(xX) * nWidth) >> 16);
    const int nY = static_cast<int>((static_cast<int64_t>(xY) * nHeight) >> 16);
    const int nBelow = DkPrintText(nX, nY, pszString, pFont, pSurface, pColour, nJustification);
    if (nWidth > 0)
        gxTextWidestLine =
            static_cast<int32_t>((static_cast<int64_t>(gnTextWidestLine) << 16) / nWidth);
    return nHeight > 0 ? static_cast<int32_t>((static_cast<int64_t>(nBelow) << 16) / nHeight) : 0;
}

void DkSetTextBlitOrder(uint8_t uOrder)
{
    guTextBlitOrder = uOrder;
}

void DkSetTextBlitParam(const DK_RECT* pClip)
{
    if (pClip == nullptr)
    {
        gboTextClip = FALSE;
        return;
    }
    gTextClip = *pClip;
    gboTextClip = TRUE;
}
