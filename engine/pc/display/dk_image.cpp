// Images and textures: BMP (4, 8 and 24 bits) and TIM (4 and 8 bits) files converted into
// surfaces and into textures in the 3D context's texture slots.

#include "engine/pc/display/dk_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "engine/common/dk_heap.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/3dinit_internal.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/3d/dk_rendr.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"

BOOL gboDkShrinkAllTextures = FALSE;
BOOL gboTextureReduced = FALSE;

namespace
{

DK_PALETTE_ENTRY gaImagePalette[256];

constexpr uint32_t kBmpHeaderSize = 54;
constexpr uint16_t kBmpSignature = 0x4D42;
// DK_RECT holds sizes as 16-bit numbers.
constexpr int32_t kMaxImageSide = 32767;
// Textures are square on some devices: a side this long is already 32 MB at 16 bits.
constexpr int32_t kMaxTextureSide = 4096;
// Palette entry 0 of a keyed image becomes this colour, which no real black matches.
constexpr uint8_t kKeyRed = 48, kKeyGreen = 55, kKeyBlue = 1;

uint16_t Read16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Read32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A BMP's header as read, with everything the readers need already checked against the
// file's size.
struct BmpInfo
{
    uint16_t uSignature;
    uint32_t uDataOffset;
    int32_t nWidth;
    int32_t nHeight;
    int nBits;
    uint32_t uCompression;
    uint32_t uColours;    // entries in the colour table
    int nStoredWidth;     // the width rounded up to a multiple of 4
    uint32_t uStride;     // bytes of one stored row
    const uint8_t* pData; // the whole file
};

// Reads and checks the header of a BMP of uSize bytes: the image must have a size, its colour
// table and every pixel row must lie inside the file. Reports what is wrong with pszWho in
// front and returns FALSE.
BOOL ReadBmpInfo(const void* pData, uint32_t uSize, const char* pszWho, BmpInfo* pInfo)
{
    const uint8_t* p = static_cast<const uint8_t*>(pData);
    if (p == nullptr)
    {
        DKREPORT(DkFormatString("%s : NULL image data", pszWho));
        return FALSE;
    }
    if (uSize < kBmpHeaderSize)
    {
        DKREPORT(DkFormatString("%s : file of %u bytes is too short for a .BMP", pszWho, uSize));
        return FALSE;
    }
    pInfo->pData = p;
    pInfo->uSignature = Read16(p);
    pInfo->uDataOffset = Read32(p + 10);
    pInfo->nWidth = static_cast<int32_t>(Read32(p + 18));
    pInfo->nHeight = static_cast<int32_t>(Read32(p + 22));
    pInfo->nBits = Read16(p + 28);
    pInfo->uCompression = Read32(p + 30);
    const uint32_t uUsed = Read32(p + 46);
    if (pInfo->nWidth < 1 || pInfo->nWidth > kMaxImageSide - 3 || pInfo->nHeight < 1 ||
        pInfo->nHeight > kMaxImageSide)
    {
        DKREPORT(DkFormatString("%s : .BMP size %d x %d is not usable", pszWho, pInfo->nWidth,
                                pInfo->nHeight));
        return FALSE;
    }
    const uint32_t uMaxColours = pInfo->nBits == 4 ? 16 : pInfo->nBits == 8 ? 256 : 0;
    // Direct-colour images have no table, whatever the field says.
    pInfo->uColours = uUsed != 0 && uMaxColours != 0 ? uUsed : uMaxColours;
    if (pInfo->uColours > uMaxColours)
    {
        DKREPORT(DkFormatString("%s : .BMP claims %u colours for %d bits a pixel", pszWho, uUsed,
                                pInfo->nBits));
        return FALSE;
    }
    if (kBmpHeaderSize + 4 * pInfo->uColours > uSize)
    {
        DKREPORT(DkFormatString("%s : .BMP colour table runs past the end of the file", pszWho));
        return FALSE;
    }
    pInfo->nStoredWidth = (pInfo->nWidth + 3) & ~3;
    pInfo->uStride = static_cast<uint32_t>(
        (static_cast<uint64_t>(pInfo->nWidth) * static_cast<uint64_t>(pInfo->nBits) + 31) / 32 * 4);
    const uint64_t uEnd = static_cast<uint64_t>(pInfo->uDataOffset) +
                          static_cast<uint64_t>(pInfo->uStride) * pInfo->nHeight;
    if (pInfo->nBits != 0 && uEnd > uSize)
    {
        DKREPORT(DkFormatString("%s : .BMP pixels (offset %u, %d rows of %u bytes) run past the "
                                "end of the file (%u bytes)",
                                pszWho, pInfo->uDataOffset, pInfo->nHeight, pInfo->uStride, uSize));
        return FALSE;
    }
    return TRUE;
}

// Stored row n (0 = the bottom row), padded with zeros to at least uBytes.
const uint8_t* StoredRow(const BmpInfo& info, int nRow, uint32_t uBytes, std::vector<uint8_t>& pad)
{
    const uint8_t* pRow = info.pData + info.uDataOffset + static_cast<size_t>(info.uStride) * nRow;
    if (uBytes <= info.uStride)
        return pRow;
    pad.assign(uBytes, 0);
    std::memcpy(pad.data(), pRow, info.uStride);
    return pad.data();
}

BOOL HardwareDevice(void)
{
    return d3d->nHardwareDevice != 0;
}

BOOL PalettisedTextures(void)
{
    return d3d->pStandardTextureFormat != nullptr && d3d->pStandardTextureFormat->nPalettised;
}

BOOL AlphaFormatIs4444(void)
{
    const DK_TEXTURE_FORMAT* f = d3d->pAlphaTextureFormat;
    return f != nullptr && f->uRedBits == 4 && f->uGreenBits == 4 && f->uBlueBits == 4 &&
           f->uAlphaBits == 4;
}

// Texture data written as 4:4:4:4 with black see-through: a 16-bit texture on a device that
// cannot key textures.
BOOL TexturesNeed4444(void)
{
    return !PalettisedTextures() && !DkCapGetB();
}

uint16_t PackByGreenBits(int nGreenBits, uint8_t r, uint8_t g, uint8_t b)
{
    if (nGreenBits == 6)
        return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
    return static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
}

uint16_t Pack4444(uint8_t r, uint8_t g, uint8_t b)
{
    const uint16_t a = r == 0 && g == 0 && b == 0 ? 0 : 15;
    return static_cast<uint16_t>(a << 12 | (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4));
}

uint16_t PackByFormat(const DK_TEXTURE_FORMAT& f, uint8_t r, uint8_t g, uint8_t b)
{
    auto channel = [](uint8_t v, int bits, int shift)
    { return bits > 0 && bits <= 8 ? static_cast<uint32_t>(v >> (8 - bits)) << shift : 0u; };
    return static_cast<uint16_t>(channel(r, f.uRedBits, f.uRedShift) |
                                 channel(g, f.uGreenBits, f.uGreenShift) |
                                 channel(b, f.uBlueBits, f.uBlueShift));
}

// A slot taken for a texture whose conversion then failed, emptied for the next load.
void GiveBackTextureSlot(DK_TEXTURE* pTexture)
{
    d3d->apTextures[pTexture->uSlot] = nullptr;
    --guNumTextures;
    DkHeapFree(pTexture);
}

IDirect3DTexture2* TextureInterface(DK_SURFACE* pSurface)
{
    IDirect3DTexture2* lpTexture = nullptr;
    if (pSurface != nullptr && pSurface->lpSurface != nullptr)
        TRYDD(pSurface->lpSurface->QueryInterface(IID_IDirect3DTexture2,
                                                  reinterpret_cast<void**>(&lpTexture)));
    return lpTexture;
}

uint32_t TextureHandle(IDirect3DTexture2* lpTexture)
{
    D3DTEXTUREHANDLE handle = 0;
    if (lpTexture != nullptr)
        TRYD3D(lpTexture->GetHandle(d3d->lpD3DDevice2, &handle));
    return handle;
}

// Gives a palettised device surface its colours: a DirectDraw palette of its own (hardware
// devices, and every TIM texture), else the display's.
void AttachTexturePalette(DK_SURFACE* pDevice, const DK_PALETTE_ENTRY* pEntries, int nColours,
                          BOOL boOwnPalette)
{
    if (pDevice == nullptr || pDevice->lpSurface == nullptr)
        return;
    if (pEntries != pDevice->aPalette)
        std::memcpy(pDevice->aPalette, pEntries, sizeof(DK_PALETTE_ENTRY) * nColours);
    if (boOwnPalette)
    {
        IDirectDrawPalette* lpPalette = nullptr;
        if (d2d->lpDD2 != nullptr &&
            TRYDD(d2d->lpDD2->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256,
                                            reinterpret_cast<PALETTEENTRY*>(pDevice->aPalette),
                                            &lpPalette, nullptr)))
        {
            TRYDD(pDevice->lpSurface->SetPalette(lpPalette));
            TRYDD(lpPalette->SetEntries(0, 0, 256,
                                        reinterpret_cast<PALETTEENTRY*>(pDevice->aPalette)));
            // The surface holds the palette now.
            lpPalette->Release();
        }
    }
    else if (d2d->lpDDPal != nullptr)
    {
        TRYDD(pDevice->lpSurface->SetPalette(d2d->lpDDPal));
    }
}

// Device surface, interfaces, load, palette and handles of a texture whose source surface is
// written; the common end of the BMP and TIM conversions.
void FinishTexture(DK_TEXTURE* pTexture, DK_SURFACE* pSource, uint32_t uDestFlags, int nColours,
                   BOOL boHardware)
{
    pTexture->pSourceSurface = pSource;
    if (boHardware)
    {
        pTexture->pDeviceSurface =
            DkCreateNewSurface(pSource->rect.w, pSource->rect.h, 0, DKCS_DEST_TEXTURE | uDestFlags);
        if (pTexture->pDeviceSurface != nullptr)
        {
            pTexture->pDeviceSurface->nAddedColumns = pSource->nAddedColumns;
            pTexture->pDeviceSurface->nAddedRows = pSource->nAddedRows;
        }
        pTexture->lpTexture = TextureInterface(pTexture->pDeviceSurface);
    }
    else
    {
        pTexture->pDeviceSurface = pSource;
    }
    pTexture->lpTexture2 = TextureInterface(pSource);
    if (boHardware && pTexture->lpTexture != nullptr && pTexture->lpTexture2 != nullptr)
        TRYD3D(pTexture->lpTexture->Load(pTexture->lpTexture2));

    if (PalettisedTextures())
        AttachTexturePalette(pTexture->pDeviceSurface, pSource->aPalette, nColours, boHardware);

    if (boHardware)
    {
        pTexture->uHandle = TextureHandle(pTexture->lpTexture);
        pTexture->uHandle2 = TextureHandle(pTexture->lpTexture2);
    }
    else
    {
        pTexture->uHandle = TextureHandle(pTexture->lpTexture2);
    }
}

// A TIM's blocks as read, checked against the file's size.
struct TimInfo
{
    int nMode;
    BOOL boHasClut;
    int nColours;
    const uint8_t* pClut; // nColours 16-bit colours, or NULL
    int nUnits;           // width in 16-bit units
    int nHeight;
    const uint8_t* pPixels; // nHeight rows of nUnits * 2 bytes
};

BOOL ReadTimInfo(const void* pData, uint32_t uSize, const char* pszWho, TimInfo* pInfo)
{
    const uint8_t* p = static_cast<const uint8_t*>(pData);
    if (p == nullptr)
    {
        DKREPORT(DkFormatString("%s : NULL image data", pszWho));
        return FALSE;
    }
    if (uSize < 8)
    {
        DKREPORT(DkFormatString("%s : file of %u bytes is too short for a TIM", pszWho, uSize));
        return FALSE;
    }
    const uint8_t uFlags = p[4];
    pInfo->nMode = uFlags & 3;
    pInfo->boHasClut = (uFlags & 8) != 0;
    pInfo->nColours = pInfo->nMode == 0 ? 16 : pInfo->nMode == 1 ? 256 : 0;
    pInfo->pClut = nullptr;
    uint64_t uAt = 8;
    if (pInfo->boHasClut)
    {
        if (uAt + 12 + static_cast<uint64_t>(pInfo->nColours) * 2 > uSize)
        {
            DKREPORT(DkFormatString("%s : TIM colour table runs past the end of the file", pszWho));
            return FALSE;
        }
        pInfo->pClut = p + uAt + 12;
        uAt += 12 + static_cast<uint64_t>(pInfo->nColours) * 2;
    }
    if (uAt + 12 > uSize)
    {
        DKREPORT(DkFormatString("%s : TIM image block is missing", pszWho));
        return FALSE;
    }
    pInfo->nUnits = static_cast<int16_t>(Read16(p + uAt + 8));
    pInfo->nHeight = static_cast<int16_t>(Read16(p + uAt + 10));
    pInfo->pPixels = p + uAt + 12;
    if (pInfo->nUnits < 1 || pInfo->nHeight < 1)
    {
        DKREPORT(DkFormatString("%s : TIM size %d x %d is not usable", pszWho, pInfo->nUnits,
                                pInfo->nHeight));
        return FALSE;
    }
    if (uAt + 12 + static_cast<uint64_t>(pInfo->nUnits) * 2 * pInfo->nHeight > uSize)
    {
        DKREPORT(DkFormatString("%s : TIM pixels run past the end of the file", pszWho));
        return FALSE;
    }
    return TRUE;
}

int TimPixelWidth(const TimInfo& info)
{
    return info.nUnits * (info.nMode == 0 ? 4 : info.nMode == 1 ? 2 : 1);
}

BOOL PowerOfTwoUpTo512(int n)
{
    return n >= 1 && n <= 512 && (n & (n - 1)) == 0;
}

BOOL LockWhole(DK_SURFACE* pSurface, DDSURFACEDESC* pDesc)
{
    std::memset(pDesc, 0, sizeof *pDesc);
    pDesc->dwSize = sizeof(DDSURFACEDESC);
    return TRYDD(pSurface->lpSurface->Lock(nullptr, pDesc, DDLOCK_WAIT, nullptr));
}

void SetKey(DK_SURFACE* pSurface, uint32_t uKey)
{
    DDCOLORKEY key{uKey, uKey};
    TRYDD(pSurface->lpSurface->SetColorKey(DDCKEY_SRCBLT, &key));
}

// The nearest entry of the image palette (1..255) to each colour of the surface's palette.
void BuildColourMap(const DK_PALETTE_ENTRY* pFrom, uint8_t* pMap)
{
    pMap[0] = 0;
    for (int p = 1; p < 256; ++p)
    {
        int nBest = 1;
        int nBestDistance = 1 << 30;
        for (int j = 1; j < 256; ++j)
        {
            const int d = std::abs(pFrom[p].red - gaImagePalette[j].red) +
                          std::abs(pFrom[p].green - gaImagePalette[j].green) +
                          std::abs(pFrom[p].blue - gaImagePalette[j].blue);
            if (d < nBestDistance)
            {
                nBestDistance = d;
                nBest = j;
                if (d == 0)
                    break;
            }
        }
        pMap[p] = static_cast<uint8_t>(nBest);
    }
}

// The nearest display-palette entry to a 24-bit colour, remembered per colour: pictures hold
// far fewer colours than pixels.
struct NearestCache
{
    std::unordered_map<uint32_t, uint8_t> found;
    uint8_t Match(const DK_PALETTE_ENTRY* pPalette, uint8_t r, uint8_t g, uint8_t b)
    {
        const uint32_t key = static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | b;
        auto it = found.find(key);
        if (it != found.end())
            return it->second;
        int nBest = 0, nBestDistance = 1 << 30;
        for (int j = 0; j < 256; ++j)
        {
            const int d = std::abs(r - pPalette[j].red) + std::abs(g - pPalette[j].green) +
                          std::abs(b - pPalette[j].blue);
            if (d < nBestDistance)
                nBestDistance = d, nBest = j;
        }
        found.emplace(key, static_cast<uint8_t>(nBest));
        return static_cast<uint8_t>(nBest);
    }
};

// What DkImageToSurface works out on its way, handed from step to step.
struct ImageConversion
{
    uint32_t uFlags = 0;
    BmpInfo info{};
    BOOL boHardware = FALSE;
    BOOL boTexture = FALSE;
    BOOL bo4444 = FALSE; // texels written as 4:4:4:4 with black see-through
    int nTargetDepth = 0;
    int nGreenBits = 0;
    int nSourceDepth = 0;
    int nColours = 0;
    int nWidth = 0; // pixels written across and down
    int nHeight = 0;
    int nStep = 1; // stored pixels a written one stands for, across and down
    int nBytesPerSourcePixel = 0;
    DK_SURFACE* pTarget = nullptr;
    BOOL boKey = FALSE;
    uint8_t aMap[256];         // image index -> display index
    uint16_t aTable[256] = {}; // image index -> 16-bit pixel
};

// The flags and the surface pointer must agree before the file is looked at.
BOOL CheckImageRequest(const DK_SURFACE* pSurface, uint32_t uFlags)
{
    if (!(uFlags & ITS_CREATE_SURFACE) && pSurface == nullptr)
    {
        DKREPORT("DkImageToSurface() : ITS_CREATE_SURFACE not set, but pdksSurface is NULL");
        return FALSE;
    }
    if ((uFlags & ITS_TEXTURE_DATA) && (uFlags & ITS_CREATE_SURFACE))
    {
        DKREPORT("DkImageToSurface() : ITS_CREATE_SURFACE and ITS_TEXTURE_DATA cannot be "
                 "specified simultaneously\n(i.e. You must create the surface previously) ");
        return FALSE;
    }
    if ((uFlags & ITS_TEXTURE_DATA) && pSurface == nullptr)
    {
        DKREPORT("DkImageToSurface() : ITS_TEXTURE_DATA flag requires the pointer to the surface "
                 "to be valid");
        return FALSE;
    }
    return TRUE;
}

// The file's header, checked against its size; a wrong signature or compression is only
// reported.
BOOL ReadImageHeader(const void* pData, uint32_t uSize, ImageConversion& ic)
{
    if (!ReadBmpInfo(pData, uSize, "DkImageToSurface()", &ic.info))
        return FALSE;
    if (ic.info.uSignature != kBmpSignature)
        DKREPORT("DkImageToSurface() : Not a .BMP!");
    if (ic.info.uCompression != 0)
        DKREPORT("DkImageToSurface() : BMP is compressed");
    return TRUE;
}

// The depth the pixels are written at and how 16-bit pixels are packed.
void ChooseImageFormat(const DK_SURFACE* pSurface, ImageConversion& ic)
{
    ic.boHardware = HardwareDevice();
    ic.boTexture = (ic.uFlags & ITS_TEXTURE_DATA) != 0;
    ic.bo4444 = ic.boTexture && TexturesNeed4444();
    if (ic.boTexture)
    {
        ic.nTargetDepth = PalettisedTextures() ? 8 : 16;
        if (ic.bo4444 && !AlphaFormatIs4444())
            DKREPORT("No texture transparency, and alpha format is not 4:4:4:4");
    }
    else
    {
        ic.nTargetDepth = (ic.uFlags & ITS_CREATE_SURFACE) ? d2d->nBitsPerPixel : pSurface->nDepth;
    }
    ic.nGreenBits = d2d->uGreenBits;

    ic.nSourceDepth = ic.info.nBits;
    if (ic.nSourceDepth != 24)
    {
        if (ic.nTargetDepth != 8 && ic.nTargetDepth != 16)
            DKREPORT("DkImageToSurface() : Target depth image is not 8 or 16");
        if (ic.nSourceDepth != 4 && ic.nSourceDepth != 8)
            DKREPORT("DkImageToSurface() : Source image is not 4 or 8 bits deep");
    }
}

// The size written: the stored size, reduced as DkBmpToTexture reduced the texture's.
void ChooseImageSize(ImageConversion& ic)
{
    ic.nColours = static_cast<int>(ic.info.uColours);
    ic.nWidth = ic.info.nStoredWidth;
    ic.nHeight = ic.info.nHeight;
    ic.nStep = 1;
    if ((gboDkEngineOptionA && (ic.uFlags & ITS_QUARTER_SIZE) && gboTextureReduced) ||
        gboDkShrinkAllTextures)
        ic.nStep = 4;
    else if (gboDkEngineOptionA && (ic.uFlags & ITS_HALF_SIZE) && gboTextureReduced)
        ic.nStep = 2;
    ic.nWidth /= ic.nStep;
    ic.nHeight /= ic.nStep;
    if (ic.nWidth < 1 || ic.nHeight < 1)
    {
        // Too small to reduce: nothing would be left.
        ic.nWidth = std::max(ic.nWidth, 1);
        ic.nHeight = std::max(ic.nHeight, 1);
    }
}

// Bytes a stored pixel takes; FALSE (reported) for a depth the reader does not know.
BOOL ChooseSourcePixelBytes(ImageConversion& ic)
{
    switch (ic.nSourceDepth)
    {
        case 4:
        case 8:
            ic.nBytesPerSourcePixel = 1;
            return TRUE;
        case 24:
            ic.nBytesPerSourcePixel = 3;
            return TRUE;
        default:
            DKREPORT("DkImageToSurface() : nSourceBitDepth is wrong");
            return FALSE;
    }
}

// The surface written: the caller's, or a new one of the size written.
BOOL TakeTargetSurface(DK_SURFACE* pSurface, ImageConversion& ic)
{
    ic.pTarget = pSurface;
    if (ic.uFlags & ITS_CREATE_SURFACE)
    {
        if (ic.uFlags & ITS_DUMP_LIST)
            DkDebugOutput(DkFormatString("Creating Surface : %dx%d\n", ic.nWidth, ic.nHeight));
        ic.pTarget = DkCreateNewSurface(ic.nWidth, ic.nHeight, 0,
                                        (ic.uFlags & ITS_DUMP_LIST) ? DKCS_DUMP_LIST : 0);
    }
    else
    {
        if (ic.nWidth > ic.pTarget->rect.w)
            DKREPORT("DkImageToSurface() : BMP width is > surface width");
        if (ic.nHeight > ic.pTarget->rect.h)
            DKREPORT("DkImageToSurface() : BMP height is > surface height");
    }
    if (ic.pTarget == nullptr)
    {
        DKREPORT("pdksTemp is NULL");
        return FALSE;
    }
    if (ic.pTarget->lpSurface == nullptr)
    {
        DKREPORT("DD Surface is NULL!");
        return FALSE;
    }
    return TRUE;
}

// The colour table into the target's palette; entry 0 of a keyed image takes the key colour.
void ReadImagePalette(ImageConversion& ic)
{
    DK_SURFACE* pTarget = ic.pTarget;
    for (int i = 0; i < ic.nColours; ++i)
    {
        const uint8_t* pEntry = ic.info.pData + kBmpHeaderSize + 4 * i;
        pTarget->aPalette[i].red = pEntry[2];
        pTarget->aPalette[i].green = pEntry[1];
        pTarget->aPalette[i].blue = pEntry[0];
    }
    ic.boKey = ic.boHardware && (ic.uFlags & ITS_KEY_COLOUR);
    if (ic.boKey && ic.nColours > 0 && (ic.nTargetDepth == 16 || (ic.uFlags & ITS_KEY_COLOUR_8BIT)))
        pTarget->aPalette[0] = {kKeyRed, kKeyGreen, kKeyBlue, pTarget->aPalette[0].flags};
}

// Image index to display index: the software device draws 8-bit images in the image palette.
void BuildIndexMap(ImageConversion& ic)
{
    for (int i = 0; i < 256; ++i)
        ic.aMap[i] = static_cast<uint8_t>(i);
    if (!ic.boHardware && !(ic.uFlags & ITS_KEEP_INDICES) && ic.nSourceDepth == 8)
        BuildColourMap(ic.pTarget->aPalette, ic.aMap);
}

// Image index to 16-bit pixel, packed as the texture or the display packs it.
void BuildPixelTable(ImageConversion& ic)
{
    if (ic.nTargetDepth != 16)
        return;
    const BOOL boByFormat = ic.boTexture && !ic.bo4444 && d3d->pStandardTextureFormat != nullptr;
    if (!ic.boTexture && ic.nGreenBits != 5 && ic.nGreenBits != 6)
        DKREPORT("Green BPP is not good");
    for (int i = 0; i < ic.nColours; ++i)
    {
        const DK_PALETTE_ENTRY& c = ic.pTarget->aPalette[i];
        if (ic.bo4444)
            ic.aTable[i] = Pack4444(c.red, c.green, c.blue);
        else if (boByFormat)
            ic.aTable[i] = PackByFormat(*d3d->pStandardTextureFormat, c.red, c.green, c.blue);
        else
            ic.aTable[i] = PackByGreenBits(ic.nGreenBits, c.red, c.green, c.blue);
    }
    // The key colour of an 8-bit image is packed as the display packs it, whatever the
    // texture format: on a 4:4:4:4 texture that leaves it all but see-through.
    if (ic.boKey && ic.nSourceDepth == 8 && ic.nColours > 0)
        ic.aTable[0] = PackByGreenBits(ic.nGreenBits, kKeyRed, kKeyGreen, kKeyBlue);
}

// Locks the whole target, and unlocks it again (reported) if it cannot take the pixels.
BOOL LockImageTarget(const ImageConversion& ic, DDSURFACEDESC& ddsd)
{
    DK_SURFACE* pTarget = ic.pTarget;
    if (!LockWhole(pTarget, &ddsd))
        return FALSE;
    if (ic.nWidth > static_cast<int>(ddsd.dwWidth))
    {
        TRYDD(pTarget->lpSurface->Unlock(ddsd.lpSurface));
        DKREPORT("DkImageToSurface() : *** WIDTH OVERLAP ***");
        return FALSE;
    }
    if (ic.nHeight > static_cast<int>(ddsd.dwHeight))
    {
        TRYDD(pTarget->lpSurface->Unlock(ddsd.lpSurface));
        DKREPORT("DkImageToSurface() : *** HEIGHT OVERLAP ***");
        return FALSE;
    }
    // Pixels are written at the depth the conversion chose; a surface of another depth would
    // be written past its rows.
    if (static_cast<int>(ddsd.ddpfPixelFormat.dwRGBBitCount) != ic.nTargetDepth &&
        !(ic.nSourceDepth == 24 && ic.nTargetDepth == 24))
    {
        TRYDD(pTarget->lpSurface->Unlock(ddsd.lpSurface));
        DKREPORT(DkFormatString("DkImageToSurface() : surface is %d bits deep, not %d",
                                static_cast<int>(ddsd.ddpfPixelFormat.dwRGBBitCount),
                                ic.nTargetDepth));
        return FALSE;
    }
    return TRUE;
}

// Writes every row into the locked target, the bottom stored row first; FALSE if some pixels
// could not be written at the target's depth.
BOOL ConvertImageRows(const ImageConversion& ic, const DDSURFACEDESC& ddsd)
{
    const BmpInfo& info = ic.info;
    const int nSourceDepth = ic.nSourceDepth, nTargetDepth = ic.nTargetDepth;
    const int nWidth = ic.nWidth, nStep = ic.nStep;
    // Bytes of a stored row as the reader walks it (whole reduced pixels).
    const uint32_t uRowBytes =
        nSourceDepth == 4 ? static_cast<uint32_t>(nWidth * nStep + 1) / 2
                          : static_cast<uint32_t>(nWidth * nStep * ic.nBytesPerSourcePixel);
    std::vector<uint8_t> pad;
    NearestCache nearest;
    BOOL boWritten = TRUE;
    for (int y = 0; y < ic.nHeight; ++y)
    {
        const int nStoredRow = info.nHeight - 1 - y * nStep;
        const uint8_t* pSrc = StoredRow(info, nStoredRow, uRowBytes, pad);
        uint8_t* pDest =
            static_cast<uint8_t*>(ddsd.lpSurface) + static_cast<size_t>(y) * ddsd.lPitch;
        for (int x = 0; x < nWidth; ++x)
        {
            const int sx = x * nStep;
            if (nSourceDepth == 24)
            {
                const uint8_t b = pSrc[sx * 3], g = pSrc[sx * 3 + 1], r = pSrc[sx * 3 + 2];
                if (nTargetDepth == 16)
                {
                    const uint16_t v = PackByGreenBits(ic.nGreenBits, r, g, b);
                    std::memcpy(pDest + x * 2, &v, 2);
                }
                else if (nTargetDepth == 24)
                {
                    pDest[x * 3] = b;
                    pDest[x * 3 + 1] = g;
                    pDest[x * 3 + 2] = r;
                }
                else if (nTargetDepth == 8)
                {
                    pDest[x] = nearest.Match(d2d->PrimarySurface.aPalette, r, g, b);
                }
                else
                {
                    boWritten = FALSE;
                }
                continue;
            }
            uint8_t index;
            if (nSourceDepth == 8)
                index = pSrc[sx];
            else
                index = static_cast<uint8_t>(sx % 2 ? pSrc[sx / 2] & 0x0F : pSrc[sx / 2] >> 4);
            if (nTargetDepth == 8)
            {
                pDest[x] = nSourceDepth == 8 && !ic.boHardware ? ic.aMap[index] : index;
            }
            else if (nTargetDepth == 16)
            {
                const uint16_t v = ic.aTable[index];
                std::memcpy(pDest + x * 2, &v, 2);
            }
            else
            {
                boWritten = FALSE;
            }
        }
    }
    return boWritten;
}

// Palettised images are keyed on their first entry, as the target holds it.
void SetImageKey(const ImageConversion& ic)
{
    if (ic.nSourceDepth == 8 && ic.nTargetDepth == 8)
        SetKey(ic.pTarget, 0);
    else if (ic.nSourceDepth == 8 && ic.nTargetDepth == 16)
        SetKey(ic.pTarget, ic.aTable[0]);
}

} // namespace

void DkSetImagePalette(const DK_PALETTE_ENTRY* pEntries)
{
    if (pEntries != nullptr)
        std::memcpy(gaImagePalette, pEntries, sizeof gaImagePalette);
}

DK_SURFACE* DkImageToSurface(DK_SURFACE* pSurface, const void* pData, uint32_t uSize,
                             uint32_t uFlags)
{
    if (!CheckImageRequest(pSurface, uFlags))
        return nullptr;
    ImageConversion ic;
    ic.uFlags = uFlags;
    if (!ReadImageHeader(pData, uSize, ic))
        return nullptr;
    ChooseImageFormat(pSurface, ic);
    ChooseImageSize(ic);
    if (!ChooseSourcePixelBytes(ic))
        return nullptr;
    if (!TakeTargetSurface(pSurface, ic))
        return nullptr;
    ReadImagePalette(ic);
    BuildIndexMap(ic);
    BuildPixelTable(ic);

    DDSURFACEDESC ddsd;
    if (!LockImageTarget(ic, ddsd))
        return nullptr;
    const BOOL boWritten = ConvertImageRows(ic, ddsd);
    TRYDD(ic.pTarget->lpSurface->Unlock(ddsd.lpSurface));
    if (!boWritten)
        DKREPORT(DkFormatString("DkImageToSurface() : cannot write %d-bit pixels into a %d-bit "
                                "surface",
                                ic.nSourceDepth, ic.nTargetDepth));

    SetImageKey(ic);
    return ic.pTarget;
}

DK_TEXTURE* DkTakeTextureSlot(const char* pszFailure)
{
    int nSlot = 0;
    while (nSlot < DK_MAX_TEXTURES && d3d->apTextures[nSlot] != nullptr)
        ++nSlot;
    DK_TEXTURE* pTexture = nSlot < DK_MAX_TEXTURES
                               ? static_cast<DK_TEXTURE*>(DkHeapAlloc(sizeof(DK_TEXTURE)))
                               : nullptr;
    if (pTexture == nullptr)
    {
        DKREPORT(pszFailure);
        return nullptr;
    }
    d3d->apTextures[nSlot] = pTexture;
    pTexture->uSlot = static_cast<uint16_t>(nSlot);
    ++guNumTextures;
    return pTexture;
}

DK_TEXTURE* DkImageToTexture(const void* pData, uint32_t uSize, uint32_t uFlags)
{
    if (uFlags & ITT_BMP)
        return DkBmpToTexture(pData, uSize, uFlags);
    if (uFlags & ITT_TIM)
        return DkTimToTexture(pData, uSize, uFlags);
    return nullptr;
}

DK_TEXTURE* DkBmpToTexture(const void* pData, uint32_t uSize, uint32_t uFlags)
{
    if (pData == nullptr)
    {
        DKREPORT("ERROR(DkBmpToTexture): The pointer to the image data is NULL");
        return nullptr;
    }
    // A file that cannot be read takes no slot.
    BmpInfo info;
    if (!ReadBmpInfo(pData, uSize, "DkBmpToTexture()", &info))
        return nullptr;

    // Squaring a long thin strip would ask for a surface far beyond any texture.
    if (std::max(info.nStoredWidth, info.nHeight) > kMaxTextureSide)
    {
        DKREPORT(DkFormatString("DkBmpToTexture() : a %d x %d image is too large for a texture",
                                info.nWidth, info.nHeight));
        return nullptr;
    }
    DK_TEXTURE* pTexture =
        DkTakeTextureSlot("DkBmpToTexture() : Unable to allocate memory for the Texture");
    if (pTexture == nullptr)
        return nullptr;

    if (info.uCompression != 0)
        DKREPORT("BMP is compressed !!!");
    if (info.nBits != 4 && info.nBits != 8)
        DKREPORT("Can only handle 4-bit & 8-bit source data");

    int nWidth = static_cast<uint16_t>(info.nStoredWidth);
    int nHeight = static_cast<uint16_t>(info.nHeight);
    const BOOL boBigEnough = nWidth >= 64 && nHeight >= 64;
    if ((gboDkEngineOptionA && (uFlags & ITT_QUARTER_SIZE) && boBigEnough) ||
        gboDkShrinkAllTextures)
    {
        gboTextureReduced = TRUE;
        nWidth /= 4;
        nHeight /= 4;
    }
    else if (gboDkEngineOptionA && (uFlags & ITT_HALF_SIZE) && boBigEnough)
    {
        gboTextureReduced = TRUE;
        nWidth /= 2;
        nHeight /= 2;
    }
    else
    {
        gboTextureReduced = FALSE;
    }
    nWidth = std::max(nWidth, 1);
    nHeight = std::max(nHeight, 1);

    int nAddedColumns = 0, nAddedRows = 0;
    if (nHeight > nWidth)
    {
        nAddedColumns = nHeight - nWidth + 1;
        nWidth = nHeight;
    }
    const BOOL boHardware = HardwareDevice();
    if ((!boHardware || DkCapGetA()) && nWidth > nHeight)
    {
        nAddedRows = nWidth - nHeight + 1;
        nHeight = nWidth;
    }

    // Texels written as 4:4:4:4 need a 4:4:4:4 surface to be seen as such.
    const uint32_t uAlpha = TexturesNeed4444() && AlphaFormatIs4444() ? DKCS_ALPHA_TEXTURE : 0;
    DK_SURFACE* pSource = DkCreateNewSurface(nWidth, nHeight, 0, DKCS_SOURCE_TEXTURE | uAlpha);
    if (pSource == nullptr)
    {
        GiveBackTextureSlot(pTexture);
        return nullptr;
    }
    pSource->nAddedColumns = nAddedColumns;
    pSource->nAddedRows = nAddedRows;

    uint32_t uItsFlags = ITS_TEXTURE_DATA;
    if (uFlags & ITT_KEY_COLOUR)
        uItsFlags |= ITS_KEY_COLOUR;
    if (uFlags & ITT_KEEP_INDICES)
        uItsFlags |= ITS_KEEP_INDICES;
    if (uFlags & ITT_QUARTER_SIZE)
        uItsFlags |= ITS_QUARTER_SIZE;
    if (uFlags & ITT_HALF_SIZE)
        uItsFlags |= ITS_HALF_SIZE;
    if (uFlags & ITT_KEY_COLOUR_8BIT)
        uItsFlags |= ITS_KEY_COLOUR_8BIT;
    if (DkImageToSurface(pSource, pData, uSize, uItsFlags) == nullptr)
    {
        DkDestroySurface(pSource, __FILE__, __LINE__);
        GiveBackTextureSlot(pTexture);
        return nullptr;
    }

    FinishTexture(pTexture, pSource, uAlpha, static_cast<int>(info.uColours), boHardware);

    if (!(uFlags & ITT_KEEP_SOURCE) && boHardware)
    {
        DkDestroySurface(pSource, __FILE__, __LINE__);
        pTexture->pSourceSurface = nullptr;
    }

    if (!boHardware)
    {
        static const uint8_t kWhite[4] = {255, 255, 255, 255};
        static const uint8_t kBlack[4] = {0, 0, 0, 0};
        DK_MATERIAL* pMaterial = nullptr;
        const uint16_t uSlot =
            DkCreateMaterial(&pMaterial, pTexture, TRUE, kWhite, kWhite, kBlack, 20.0f, 1);
        pTexture->nMaterial = pMaterial != nullptr ? static_cast<int16_t>(uSlot) : 0;
    }
    return pTexture;
}

void DkDestroyTexture(DK_TEXTURE* pTexture)
{
    if (pTexture == nullptr || pTexture->uSlot >= DK_MAX_TEXTURES ||
        d3d->apTextures[pTexture->uSlot] != pTexture)
    {
        DKREPORT("DkDestroyTexture() : texture not in its slot");
        return;
    }
    // Only a software device makes a texture a material of its own; slot 0 is never one.
    if (!HardwareDevice() && pTexture->nMaterial > 0 && pTexture->nMaterial < DK_MAX_MATERIALS)
    {
        DK_MATERIAL*& pMaterial = d3d->apMaterials[pTexture->nMaterial];
        DkReleaseMaterial(pMaterial);
        pMaterial = nullptr;
    }
    DK_SURFACE* pDevice = pTexture->pDeviceSurface;
    DK_SURFACE* pSource = pTexture->pSourceSurface;
    DkReleaseTexture(pTexture);
    if (pDevice != nullptr && pDevice != pSource)
        DkDestroySurface(pDevice, __FILE__, __LINE__);
    if (pSource != nullptr)
        DkDestroySurface(pSource, __FILE__, __LINE__);
    d3d->apTextures[pTexture->uSlot] = nullptr;
    DkHeapFree(pTexture);
}

DK_TEXTURE* DkTimToTexture(const void* pData, uint32_t uSize, uint32_t uFlags)
{
    TimInfo info;
    if (!ReadTimInfo(pData, uSize, "DkTimToTexture()", &info))
        return nullptr;
    // A file that cannot be made a texture takes no slot.
    if (info.nMode == 3)
    {
        DKREPORT("*** Error, 24 bit images unsupported!!!");
        return nullptr;
    }
    if (!PowerOfTwoUpTo512(info.nUnits) || !PowerOfTwoUpTo512(info.nHeight))
    {
        DKREPORT("DkTIMToTexture() : Bitmap is not a power of 2");
        return nullptr;
    }
    DK_TEXTURE* pTexture =
        DkTakeTextureSlot("DkTimToTexture() : Unable to allocate memory for the Texture");
    if (pTexture == nullptr)
        return nullptr;
    DK_SURFACE* pSource =
        DkCreateNewSurface(TimPixelWidth(info), info.nHeight, 0, DKCS_SOURCE_TEXTURE);
    if (pSource == nullptr)
    {
        GiveBackTextureSlot(pTexture);
        return nullptr;
    }
    if (!DkTimToSurface(pSource, pData, uSize, ITS_TEXTURE_DATA))
    {
        DkDestroySurface(pSource, __FILE__, __LINE__);
        GiveBackTextureSlot(pTexture);
        return nullptr;
    }
    // Both surfaces whatever the device: the TIM path never asks.
    FinishTexture(pTexture, pSource, 0, 256, TRUE);
    if (!(uFlags & ITT_KEEP_SOURCE))
    {
        DkDestroySurface(pSource, __FILE__, __LINE__);
        pTexture->pSourceSurface = nullptr;
    }
    return pTexture;
}

int DkTimToSurface(DK_SURFACE* pSurface, const void* pData, uint32_t uSize, uint32_t uFlags)
{
    if (uFlags & ITS_CREATE_SURFACE)
    {
        DKREPORT("DkTimToSurface() : ITS_CREATE_SURFACE flag not working (Hit Quon)");
        if (pSurface != nullptr)
            DKREPORT("DkTimToSurface() : ITS_CREATE_SURFACE set, but pdksSurface is non-NULL");
        return 0;
    }
    if (pSurface == nullptr)
    {
        DKREPORT("DkTimToSurface() : ITS_CREATE_SURFACE not set, but pdksSurface is NULL");
        return 0;
    }
    if (pSurface->lpSurface == nullptr)
    {
        DKREPORT("DkTimToSurface() : DD Surface is NULL!");
        return 0;
    }

    TimInfo info;
    if (!ReadTimInfo(pData, uSize, "DkTimToSurface()", &info))
        return 0;
    const int nTargetDepth =
        (uFlags & ITS_TEXTURE_DATA) ? (PalettisedTextures() ? 8 : 16) : d2d->nBitsPerPixel;
    if (info.nMode == 3)
    {
        DKREPORT("*** Error, 24 bit images unsupported!!!");
        return 0;
    }

    uint16_t aTable[256] = {};
    const int nStandardGreen =
        d3d->pStandardTextureFormat != nullptr ? d3d->pStandardTextureFormat->uGreenBits : 5;
    if (info.boHasClut)
    {
        if (info.nColours != 16 && info.nColours != 256)
            DKREPORT("4/8-bit TIM should have CLUT");
        for (int i = 0; i < info.nColours; ++i)
        {
            const uint16_t c = Read16(info.pClut + 2 * i);
            const int r = c & 31, g = (c >> 5) & 31, b = (c >> 10) & 31;
            pSurface->aPalette[i] = {static_cast<uint8_t>(r * 8), static_cast<uint8_t>(g * 8),
                                     static_cast<uint8_t>(b * 8), 0};
            aTable[i] = nStandardGreen == 5 ? static_cast<uint16_t>(r << 10 | g << 5 | b)
                                            : static_cast<uint16_t>(r << 11 | g << 6 | b);
        }
    }
    else
    {
        DKREPORT("TIM has no CLUT??");
        pSurface->aPalette[0] = {0, 200, 0, 0};
    }

    DDSURFACEDESC ddsd;
    if (!LockWhole(pSurface, &ddsd))
        return 0;
    const int nWidth = TimPixelWidth(info);
    if (nWidth > static_cast<int>(ddsd.dwWidth))
    {
        TRYDD(pSurface->lpSurface->Unlock(ddsd.lpSurface));
        DKREPORT("DkTimToSurface() : *** WIDTH OVERLAP ***");
        return 0;
    }
    if (info.nHeight > static_cast<int>(ddsd.dwHeight))
    {
        TRYDD(pSurface->lpSurface->Unlock(ddsd.lpSurface));
        DKREPORT("DkTimToSurface() : *** HEIGHT OVERLAP ***");
        return 0;
    }
    if (info.nMode == 2)
    {
        TRYDD(pSurface->lpSurface->Unlock(ddsd.lpSurface));
        DKREPORT("DkTimToSurface() : 16-bit TIMs not implemented");
        return 0;
    }
    if (static_cast<int>(ddsd.ddpfPixelFormat.dwRGBBitCount) != nTargetDepth ||
        (nTargetDepth != 8 && nTargetDepth != 16))
    {
        TRYDD(pSurface->lpSurface->Unlock(ddsd.lpSurface));
        DKREPORT(DkFormatString("DkTimToSurface() : surface is %d bits deep, not %d",
                                static_cast<int>(ddsd.ddpfPixelFormat.dwRGBBitCount),
                                nTargetDepth));
        return 0;
    }
    for (int y = 0; y < info.nHeight; ++y)
    {
        const uint8_t* pSrc = info.pPixels + static_cast<size_t>(y) * info.nUnits * 2;
        uint8_t* pDest =
            static_cast<uint8_t*>(ddsd.lpSurface) + static_cast<size_t>(y) * ddsd.lPitch;
        for (int x = 0; x < nWidth; ++x)
        {
            const uint8_t index =
                info.nMode == 1
                    ? pSrc[x]
                    : static_cast<uint8_t>(x % 2 ? pSrc[x / 2] >> 4 : pSrc[x / 2] & 0x0F);
            if (nTargetDepth == 8)
                pDest[x] = index;
            else
                std::memcpy(pDest + x * 2, &aTable[index], 2);
        }
    }
    TRYDD(pSurface->lpSurface->Unlock(ddsd.lpSurface));
    return 1;
}

BOOL ExtractPixels(const void* pData, uint32_t uSize, uint8_t* pDest, int nBitsPerPixel, int nWidth,
                   int nHeight)
{
    if (nBitsPerPixel != 8 && nBitsPerPixel != 24)
        DKREPORT("ExtractPixels() : Only 8 or 24");
    if (pData == nullptr)
        DKREPORT("ExtractPixels() : NULL source");
    if (pDest == nullptr)
        DKREPORT("ExtractPixels() : NULL destination");
    if (pData == nullptr || pDest == nullptr || (nBitsPerPixel != 8 && nBitsPerPixel != 24) ||
        nWidth < 1 || nHeight < 1)
        return FALSE;
    BmpInfo info;
    if (!ReadBmpInfo(pData, uSize, "ExtractPixels()", &info))
        return FALSE;
    if (info.uSignature != kBmpSignature)
        DKREPORT("ExtractPixels() : Not a .BMP!");
    if (info.uCompression != 0)
        DKREPORT("ExtractPixels() : BMP is compressed");
    if (static_cast<int64_t>(info.nWidth) * info.nHeight != static_cast<int64_t>(nWidth) * nHeight)
        DKREPORT("ExtractPixels() : # of pixels in .bmp != nWidth*nHeight");
    if (info.nBits != nBitsPerPixel)
        DKREPORT("ExtractPixels() : Bit depth of .BMP != the specified depth (wBitDepth)");
    // The rows are read as the caller sized them; they must lie inside the file.
    const uint64_t uRowBytes = static_cast<uint64_t>(nWidth) * (nBitsPerPixel / 8);
    const uint64_t uStride = (uRowBytes + 3) & ~uint64_t{3};
    if (info.uDataOffset + uStride * (nHeight - 1) + uRowBytes > uSize)
    {
        DKREPORT("ExtractPixels() : pixels run past the end of the file");
        return FALSE;
    }
    for (int y = 0; y < nHeight; ++y)
        std::memcpy(pDest + y * uRowBytes,
                    info.pData + info.uDataOffset + uStride * (nHeight - 1 - y), uRowBytes);
    return TRUE;
}

DK_TEXTURE* DkBmpToAlphaTexture(const char* pszColourFile, const char* pszAlphaFile, int nWidth,
                                int nHeight)
{
    const DK_TEXTURE_FORMAT* pFormat = d3d->pAlphaTextureFormat;
    if (pFormat == nullptr || nWidth < 1 || nHeight < 1)
        return nullptr;
    const size_t uPixels = static_cast<size_t>(nWidth) * nHeight;
    std::vector<uint8_t> colour(uPixels * 3), alpha(uPixels);
    // One file at a time: both load into the one-block temporary heap.
    void* pFile = DkMallocLoadFile(pszColourFile, DKLF_CD);
    if (pFile == nullptr)
        return nullptr;
    BOOL boRead = ExtractPixels(pFile, DkGetLastFileSize(), colour.data(), 24, nWidth, nHeight);
    DkHeapFree(pFile);
    if (!boRead)
        return nullptr;
    pFile = DkMallocLoadFile(pszAlphaFile, DKLF_CD);
    if (pFile == nullptr)
        return nullptr;
    boRead = ExtractPixels(pFile, DkGetLastFileSize(), alpha.data(), 8, nWidth, nHeight);
    DkHeapFree(pFile);
    if (!boRead)
        return nullptr;

    DK_TEXTURE* pTexture =
        DkTakeTextureSlot("DkBmpToTexture() : Unable to allocate memory for the Texture");
    if (pTexture == nullptr)
        return nullptr;
    DK_SURFACE* pSource =
        DkCreateNewSurface(nWidth, nHeight, 0, DKCS_SOURCE_TEXTURE | DKCS_ALPHA_TEXTURE);
    if (pSource == nullptr)
    {
        GiveBackTextureSlot(pTexture);
        return nullptr;
    }
    DDSURFACEDESC ddsd;
    if (LockWhole(pSource, &ddsd))
    {
        const BOOL bo4444 = AlphaFormatIs4444();
        const BOOL bo3328 = pFormat->uRedBits == 3 && pFormat->uGreenBits == 3 &&
                            pFormat->uBlueBits == 2 && pFormat->uAlphaBits == 8;
        if (!bo4444 && !bo3328)
            DKREPORT("Wacky alpha texture format!");
        else if (static_cast<int>(ddsd.dwWidth) >= nWidth &&
                 static_cast<int>(ddsd.dwHeight) >= nHeight &&
                 ddsd.ddpfPixelFormat.dwRGBBitCount == 16)
            for (int y = 0; y < nHeight; ++y)
            {
                uint8_t* pRow =
                    static_cast<uint8_t*>(ddsd.lpSurface) + static_cast<size_t>(y) * ddsd.lPitch;
                for (int x = 0; x < nWidth; ++x)
                {
                    const size_t at = static_cast<size_t>(y) * nWidth + x;
                    const uint8_t b = colour[at * 3], g = colour[at * 3 + 1],
                                  r = colour[at * 3 + 2];
                    const uint8_t a = alpha[at];
                    const uint16_t v =
                        bo4444 ? static_cast<uint16_t>((a & 0xF0) << 8 | (r & 0xF0) << 4 |
                                                       (g & 0xF0) | (b & 0xF0) >> 4)
                               : static_cast<uint16_t>(a << 8 | (r & 0xE0) | (g & 0xE0) >> 3 |
                                                       (b & 0xC0) >> 6);
                    std::memcpy(pRow + x * 2, &v, 2);
                }
            }
        TRYDD(pSource->lpSurface->Unlock(ddsd.lpSurface));
    }
    FinishTexture(pTexture, pSource, DKCS_ALPHA_TEXTURE, 0, TRUE);
    DkDestroySurface(pSource, __FILE__, __LINE__);
    pTexture->pSourceSurface = nullptr;
    return pTexture;
}
