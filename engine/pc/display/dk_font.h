// Bitmap fonts and text. A font file (".fon") is a 256-colour BMP holding every glyph, then a
// 24-byte header and a table of glyph rectangles. Text is drawn glyph by glyph: blitted from
// the font's surface while the display is 2D only, queued as polygon blits once Direct3D is
// set up. '^' in a string starts a new line; long strings wrap at spaces to the screen width.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"
#include "engine/pc/display/dk_surf.h"

struct DK_TEXTURE;

// One glyph as the file stores it (16 bytes).
struct DK_FONT_CHAR
{
    uint8_t uCode;
    uint8_t uUnused;
    DK_RECT rect; // in the font image
    uint8_t auUnused[6];
};
static_assert(sizeof(DK_FONT_CHAR) == 16, "a glyph entry is 16 bytes");

#define DK_FONT_NO_GLYPH 255

struct DK_FONT
{
    DK_TEXTURE* pTexture; // fonts made while Direct3D is set up
    int8_t nVersion;
    uint8_t uGlyphs; // the file's count byte, read as 0..255 (the glyph pool holds 256 a font)
    int32_t nHeight;
    int32_t nSpaceWidth;
    int32_t nHSpacing;
    int32_t nVSpacing;
    DK_FONT_CHAR* pGlyphs;
    DK_SURFACE* pSurface; // fonts made while Direct3D is not set up
    uint8_t auMap[256];   // glyph index by character code
};

#define DK_FONT_VERSION 3
// DkCreateFont: keep the image's colour indices.
#define DKCF_KEEP_INDICES 0x80

// Justification: low nibble per line, high nibble for the block.
#define DKJ_CENTRE 0x02
#define DKJ_RIGHT 0x03
#define DKJ_VCENTRE 0x20
#define DKJ_BOTTOM 0x30

// Width of the widest line of the last DkPrintText, in pixels and (after DkPrintTextScaled) as
// a 16.16 fraction of the screen width.
extern int32_t gnTextWidestLine;
extern int32_t gxTextWidestLine;

int DkInitialiseFonts(int nFonts);
// The file's uSize bytes are checked before anything is made of them; the caller frees them.
DK_FONT* DkCreateFont(const void* pFileData, uint32_t uSize, uint32_t uFlags);
BOOL DkCreateAndLoadFont(DK_FONT** ppFont, const char* pszFileName);
void dkFreeFont(void);
BOOL DkFontDestructor(void);

int DkStringLength(const char* pszString, const DK_FONT* pFont);
int DkStringHeight(const char* pszString, const DK_FONT* pFont);
int32_t DkStringLengthScaled(const char* pszString, const DK_FONT* pFont);
int32_t DkStringHeightScaled(const char* pszString, const DK_FONT* pFont);

// Colours are 4 bytes red, green, blue, alpha (NULL: white). Returns the y below the last line.
int DkPrintText(int nX, int nY, const char* pszString, DK_FONT* pFont, DK_SURFACE* pSurface,
                const uint8_t* pColour, int nJustification);
// x and y as 16.16 fractions of the screen (x = -1 is passed on as -1); returns the y below
// the last line as a fraction of the screen height.
int32_t DkPrintTextScaled(int32_t xX, int32_t xY, const char* pszString, DK_FONT* pFont,
                          DK_SURFACE* pSurface, const uint8_t* pColour, int nJustification);

void DkSetTextBlitOrder(uint8_t uOrder);
void DkSetTextBlitParam(const DK_RECT* pClip);
