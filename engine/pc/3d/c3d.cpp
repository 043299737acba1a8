#include "engine/pc/3d/c3d.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_model.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/3d/dk_anim.h"
#include "engine/pc/3d/dk_light.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/3d/drawprim.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/main.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_image.h"
#include "platform/ddraw/ddraw.h"

int32_t gboActorTintLighting = 0;
int32_t gboCarVertexLighting = 0;
DK_TEXTURE* gpGrassTexture = nullptr;
BOOL gboC3dLoadOption = FALSE;

namespace
{

int gnUse3DBitmaps = 0;
uint32_t guLastTextureFlags = 0;

// The layout of a file.
constexpr int32_t kVersion = 100;
constexpr uint32_t kHeaderSize = 32;
constexpr uint32_t kTextureHead = 16;
constexpr uint32_t kAnimHead = 8;
constexpr uint32_t kAnimFrameSize = 4;
constexpr uint32_t kShapeHead = 48;
constexpr uint32_t kVertexSize = 32;
constexpr uint32_t kFaceSize = 24;
constexpr uint32_t kObjectHead = 80;
constexpr uint16_t kNoShape = 0xFFFF;
constexpr uint8_t kAnimatedMark = 'A';
constexpr uint8_t kTimMark = 16;

constexpr uint8_t kNightCar[4] = {40, 40, 40, 150};
constexpr uint8_t kDayCar[4] = {150, 150, 150, 150};
constexpr uint8_t kScenery[4] = {0, 0, 0, 150};
constexpr uint8_t kTrack[4] = {0, 0, 0, 255};
constexpr uint8_t kHorizon[4] = {200, 200, 200, 255};
constexpr uint8_t kSceneryAlpha = 150;

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

int32_t I32(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

struct Texture
{
    char szName[DK3D_NAME_LENGTH + 1];
    const uint8_t* pData;
    uint32_t uLength;
};

struct Shape
{
    char szName[DK3D_NAME_LENGTH + 1];
    uint16_t uVertices;
    uint16_t uFaces;
    uint8_t uFlags;
    DK_VECTOR Scale;
    DK_VECTOR Second;
    const uint8_t* pVertices;
    const uint8_t* pFaces;
};

struct Object
{
    int16_t nParent;
    DK_MATRIX Matrix;
    uint32_t uFlags;
    uint8_t uLevels;
    uint8_t uAlwaysDraw;
    uint8_t uMinimumDetail;
    uint16_t auShapes[DK3D_MAX_LEVELS];
};

// A file whose every record, count and index has been checked against its size.
struct C3dFile
{
    std::vector<Texture> textures;
    std::vector<Shape> shapes;
    std::vector<Object> objects;
};

void CopyName(char* pszTo, const uint8_t* pFrom)
{
    std::memcpy(pszTo, pFrom, DK3D_NAME_LENGTH);
    pszTo[DK3D_NAME_LENGTH] = '\0';
}

BOOL Refuse(const char* pszMessage)
{
    DKREPORT(pszMessage);
    return FALSE;
}

// A refusal naming the record; pszProblem may be the shared formatter's own text.
BOOL Bad(const char* pszWhat, int nIndex, const char* pszProblem)
{
    char szProblem[DK_FORMAT_BUFFER_SIZE];
    std::snprintf(szProblem, sizeof szProblem, "%s", pszProblem);
    return Refuse(DkFormatString("ERROR (Loading C3D File): %s %d %s", pszWhat, nIndex, szProblem));
}

// The start of a table of records; an offset the file cannot hold is refused.
BOOL TableStart(const uint8_t* pFile, uint32_t uSize, uint32_t uField, const char* pszTable,
                uint32_t* puStart)
{
    const int32_t nOffset = I32(pFile + uField);
    if (nOffset < 0 || static_cast<uint32_t>(nOffset) > uSize)
        return Refuse(DkFormatString("ERROR (Loading C3D File): the %s start at %d, outside the "
                                     "file's %u bytes",
                                     pszTable, nOffset, uSize));
    *puStart = static_cast<uint32_t>(nOffset);
    return TRUE;
}

// A record of at least uHead bytes at uAt whose length, read at uLengthField, keeps it inside
// the file. The length itself, or 0 when refused.
uint32_t RecordLength(const uint8_t* pFile, uint32_t uSize, uint32_t uAt, uint32_t uLengthField,
                      uint32_t uHead, const char* pszWhat, int nIndex)
{
    if (uAt > uSize || uSize - uAt < uHead)
    {
        Bad(pszWhat, nIndex, "runs past the end of the file");
        return 0;
    }
    const int32_t nLength = I32(pFile + uAt + uLengthField);
    if (nLength < static_cast<int32_t>(uHead) || static_cast<uint32_t>(nLength) > uSize - uAt)
    {
        Bad(pszWhat, nIndex, DkFormatString("has a length of %d", nLength));
        return 0;
    }
    return static_cast<uint32_t>(nLength);
}

BOOL CheckTextures(const uint8_t* pFile, uint32_t uSize, uint32_t uAt, int nCount, C3dFile& file)
{
    for (int i = 0; i < nCount; ++i)
    {
        if (uAt > uSize || uSize - uAt < kTextureHead)
            return Bad("Texture", i, "runs past the end of the file");
        const int32_t nLength = I32(pFile + uAt + 12);
        if (nLength <= 0 || static_cast<uint32_t>(nLength) > uSize - uAt - kTextureHead)
            return Bad("Texture", i, DkFormatString("has %d bytes of data", nLength));
        Texture t;
        CopyName(t.szName, pFile + uAt);
        t.pData = pFile + uAt + kTextureHead;
        t.uLength = static_cast<uint32_t>(nLength);
        if (t.pData[0] == kAnimatedMark)
        {
            const int nFrames = t.uLength >= kAnimHead ? t.pData[4] : 0;
            if (nFrames < 1 || nFrames > DK_MAX_ANIMFRAMES ||
                t.uLength < kAnimHead + kAnimFrameSize * static_cast<uint32_t>(nFrames))
                return Bad("Animated texture", i,
                           DkFormatString("has %d frames in %u bytes", nFrames, t.uLength));
            for (int f = 0; f < nFrames; ++f)
                if (U16(t.pData + kAnimHead + kAnimFrameSize * f) >= i)
                    return Refuse("ERROR : Frame has higher index in c3d texture list than "
                                  "Animated Texture");
        }
        file.textures.push_back(t);
        uAt += kTextureHead + t.uLength;
    }
    return TRUE;
}

BOOL CheckShapes(const uint8_t* pFile, uint32_t uSize, uint32_t uAt, int nCount, C3dFile& file)
{
    if (nCount > DK3D_MAX_SHAPES)
        return Refuse("MAX_SHAPES too small for this C3D object file!");
    const int nTextures = static_cast<int>(file.textures.size());
    for (int i = 0; i < nCount; ++i)
    {
        const uint32_t uLength = RecordLength(pFile, uSize, uAt, 12, kShapeHead, "Shape", i);
        if (uLength == 0)
            return FALSE;
        const uint8_t* p = pFile + uAt;
        Shape s;
        CopyName(s.szName, p);
        s.uVertices = U16(p + 16);
        s.uFaces = U16(p + 18);
        s.uFlags = p[20];
        s.Scale = {I32(p + 24), I32(p + 28), I32(p + 32)};
        s.Second = {I32(p + 36), I32(p + 40), I32(p + 44)};
        if (s.uVertices > DK_DRAWPRIM_MAX_SHAPE_VERTICES)
            return Bad("Shape", i, DkFormatString("has %d vertices", s.uVertices));
        if (kShapeHead + kVertexSize * s.uVertices + kFaceSize * s.uFaces > uLength)
            return Bad("Shape", i,
                       DkFormatString("holds %d vertices and %d faces in %u bytes", s.uVertices,
                                      s.uFaces, uLength));
        s.pVertices = p + kShapeHead;
        s.pFaces = s.pVertices + kVertexSize * s.uVertices;
        for (int f = 0; f < s.uFaces; ++f)
        {
            const uint8_t* pFace = s.pFaces + kFaceSize * f;
            for (int k = 0; k < 3; ++k)
                if (U16(pFace + 2 + 2 * k) >= s.uVertices)
                    return Bad("Shape", i,
                               DkFormatString("face %d uses vertex %d of %d", f,
                                              U16(pFace + 2 + 2 * k), s.uVertices));
            const int nTexture = static_cast<int16_t>(U16(pFace + 8));
            if (nTexture < -1 || nTexture >= nTextures)
                return Bad("Shape", i,
                           DkFormatString("face %d uses texture %d of %d", f, nTexture, nTextures));
        }
        file.shapes.push_back(s);
        uAt += uLength;
    }
    return TRUE;
}

BOOL CheckObjects(const uint8_t* pFile, uint32_t uSize, uint32_t uAt, int nCount, int nKind,
                  C3dFile& file)
{
    // Every object of a track but the first is a block.
    if ((nKind == DK3D_TRACK || nKind == DK3D_NIGHT_TRACK) && nCount - 1 > MAXTRACKBLOCKS)
        return Refuse(DkFormatString("ERROR (Loading C3D File): %d track blocks, more than %d",
                                     nCount - 1, MAXTRACKBLOCKS));
    const int nShapes = static_cast<int>(file.shapes.size());
    for (int i = 0; i < nCount; ++i)
    {
        const uint32_t uLength = RecordLength(pFile, uSize, uAt, 0, kObjectHead, "Object", i);
        if (uLength == 0)
            return FALSE;
        const uint8_t* p = pFile + uAt;
        Object o;
        o.nParent = static_cast<int16_t>(U16(p + 4));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                o.Matrix.m[r][c] = I32(p + 8 + 16 * r + 4 * c);
        o.uFlags = static_cast<uint32_t>(I32(p + 72));
        o.uLevels = p[76];
        o.uAlwaysDraw = p[77];
        o.uMinimumDetail = p[78];
        if (o.uLevels > DK3D_MAX_LEVELS)
            return Refuse(
                DkFormatString("DkProcessC3dObject(): Detail level too high!%d", o.uLevels));
        if (kObjectHead + 2u * o.uLevels > uLength)
            return Bad("Object", i,
                       DkFormatString("has %d levels in %u bytes", o.uLevels, uLength));
        if (o.nParent < -1)
            return Bad("Object", i, DkFormatString("has parent %d", o.nParent));
        for (int d = 0; d < o.uLevels; ++d)
        {
            o.auShapes[d] = U16(p + kObjectHead + 2 * d);
            if (o.auShapes[d] != kNoShape && o.auShapes[d] >= nShapes)
                return Bad("Object", i,
                           DkFormatString("uses shape %d of %d", o.auShapes[d], nShapes));
        }
        file.objects.push_back(o);
        uAt += uLength;
    }
    return TRUE;
}

// The whole file checked and indexed before anything is made from it.
BOOL CheckFile(const uint8_t* pFile, uint32_t uSize, int nKind, C3dFile& file)
{
    if (pFile == nullptr)
        return Refuse("FILE DOESN'T EXIST");
    if (uSize < 4 || std::memcmp(pFile, "DK3D", 4) != 0)
        return Refuse("*** Identifier not DK3D!");
    if (uSize < 8 || I32(pFile + 4) != kVersion)
        return Refuse("ERROR (Loading C3D File): Incorrect c3d version");
    if (uSize < kHeaderSize)
        return Refuse(DkFormatString("ERROR (Loading C3D File): a header of %u bytes", uSize));
    if (nKind < 0 || nKind > DK3D_MAX_KIND || nKind == 7)
        return Refuse(DkFormatString("DkProcessC3dObject(): no load kind %d", nKind));
    uint32_t uObjects = 0, uShapes = 0, uTextures = 0;
    return TableStart(pFile, uSize, 20, "objects", &uObjects) &&
           TableStart(pFile, uSize, 24, "shapes", &uShapes) &&
           TableStart(pFile, uSize, 28, "textures", &uTextures) &&
           CheckTextures(pFile, uSize, uTextures, U16(pFile + 16), file) &&
           CheckShapes(pFile, uSize, uShapes, U16(pFile + 14), file) &&
           CheckObjects(pFile, uSize, uObjects, U16(pFile + 12), nKind, file);
}

// A level of the model with draw lists, built under that name.
const DK_MODEL_LEVEL* BuiltLevelNamed(const DK_MODEL* pModel, const char* pszName)
{
    for (const DK_MODEL_LEVEL& level : pModel->aLevels)
        if (level.pFirstNode != nullptr &&
            std::strncmp(level.szName, pszName, DK3D_NAME_LENGTH) == 0)
            return &level;
    return nullptr;
}

bool IsCarKind(int nKind)
{
    return nKind == DK3D_CAR || nKind == DK3D_MEDIUM_CAR || nKind == DK3D_SELECT_CAR;
}

bool IsTrackKind(int nKind)
{
    return nKind == DK3D_TRACK || nKind == DK3D_NIGHT_TRACK;
}

// What one call works with.
struct Load
{
    const C3dFile* pFile;
    int nKind;
    BOOL boColourKeyed;
    uint32_t uOptions;
    std::vector<DK_TEXTURE*> textures; // the file's texture list; NULL where none loaded
    std::vector<DK_ACTOR*> actors;     // the actors this call made, in order
    bool boMaterialMade;
    DK_MATRIX Current; // the transform world-space vertices take
};

uint32_t NewTextureFlags(const Load& load)
{
    const int nKind = load.nKind;
    uint32_t uFlags = ITT_BMP | ITT_KEEP_SOURCE;
    if (load.boColourKeyed && !IsCarKind(nKind))
        uFlags |= ITT_KEY_COLOUR;
    if (!IsCarKind(nKind))
        uFlags |= ITT_QUARTER_SIZE;
    if ((nKind == DK3D_CAR || nKind == DK3D_MEDIUM_CAR) && !DkEntries().IsMediumDetailCar())
        uFlags |= ITT_HALF_SIZE;
    if (load.uOptions & DK3D_OPT_KEEP_INDEX)
        uFlags |= ITT_KEEP_INDICES;
    const int nType = DkGetHardwareType();
    if ((nKind == DK3D_OBJECTS || nKind == DK3D_SHADOWS) && nType != 0 && nType != 2 &&
        nType != 3 && nType != 4 && !DkIsZBufferlessDevice())
        uFlags |= ITT_KEY_COLOUR_8BIT;
    return uFlags;
}

uint32_t ReloadTextureFlags(const Load& load)
{
    uint32_t uFlags = ITT_BMP | ITT_KEEP_SOURCE;
    if (load.boColourKeyed)
        uFlags |= ITT_KEY_COLOUR;
    if (load.uOptions & DK3D_OPT_KEEP_INDEX)
        uFlags |= ITT_KEEP_INDICES;
    return uFlags;
}

DK_TEXTURE* LoadImage(const Texture& t, uint32_t uFlags)
{
    guLastTextureFlags = uFlags;
    return DkImageToTexture(t.pData, t.uLength, uFlags);
}

// Both textures' system-memory images: the same size, and the same pixels row by row.
bool SameImage(DK_TEXTURE* pA, DK_TEXTURE* pB)
{
    if (pA->pSourceSurface == nullptr || pB->pSourceSurface == nullptr ||
        pA->pSourceSurface->lpSurface == nullptr || pB->pSourceSurface->lpSurface == nullptr)
        return false;
    IDirectDrawSurface* lpA = pA->pSourceSurface->lpSurface;
    IDirectDrawSurface* lpB = pB->pSourceSurface->lpSurface;
    DDSURFACEDESC a{}, b{};
    a.dwSize = b.dwSize = sizeof(DDSURFACEDESC);
    const DWORD dwLock = DDLOCK_READONLY | DDLOCK_WAIT;
    const bool boLockedA = TRYDD(lpA->Lock(nullptr, &a, dwLock, nullptr));
    const bool boLockedB = TRYDD(lpB->Lock(nullptr, &b, dwLock, nullptr));
    bool boSame = boLockedA && boLockedB && a.dwWidth == b.dwWidth && a.dwHeight == b.dwHeight &&
                  a.ddpfPixelFormat.dwRGBBitCount == b.ddpfPixelFormat.dwRGBBitCount;
    // Every pixel of every row: the rows stand a pitch apart.
    const size_t uRow =
        static_cast<size_t>(a.dwWidth) * ((a.ddpfPixelFormat.dwRGBBitCount + 7) / 8);
    for (DWORD y = 0; boSame && y < a.dwHeight; ++y)
        boSame =
            std::memcmp(
                static_cast<const uint8_t*>(a.lpSurface) + static_cast<ptrdiff_t>(a.lPitch) * y,
                static_cast<const uint8_t*>(b.lpSurface) + static_cast<ptrdiff_t>(b.lPitch) * y,
                uRow) == 0;
    if (boLockedA)
        TRYDD(lpA->Unlock(nullptr));
    if (boLockedB)
        TRYDD(lpB->Unlock(nullptr));
    return boSame;
}

DK_TEXTURE* AnimatedTexture(const Load& load, const Texture& t)
{
    const int nFrames = t.pData[4];
    DK_TEXTURE* apFrames[DK_MAX_ANIMFRAMES];
    uint8_t auDelays[DK_MAX_ANIMFRAMES];
    for (int f = 0; f < nFrames; ++f)
    {
        const uint8_t* pFrame = t.pData + kAnimHead + kAnimFrameSize * f;
        apFrames[f] = load.textures[U16(pFrame)];
        auDelays[f] = pFrame[2];
    }
    return DkCreateAnimatedTexture(t.szName, nFrames, apFrames, auDelays);
}

// A texture of a name already loaded: loaded again and compared. The same image keeps the
// texture already there; a different one stands in for it in this file.
DK_TEXTURE* ReloadedTexture(const Texture& t, uint32_t uFlags, DK_TEXTURE* pFound)
{
    DK_TEXTURE* pCopy = LoadImage(t, uFlags);
    if (pCopy == nullptr)
    {
        DKREPORT(DkFormatString("Error loading Texture : %s", t.szName));
        return pFound;
    }
    if (!SameImage(pFound, pCopy))
        return pCopy;
    DkDestroyTexture(pCopy);
    return pFound;
}

DK_TEXTURE* NewTexture(Load& load, const Texture& t, uint32_t uFlags)
{
    DK_TEXTURE* pTexture = LoadImage(t, uFlags);
    if (pTexture == nullptr)
    {
        DKREPORT(DkFormatString("Error loading Texture : %s", t.szName));
        return nullptr;
    }
    if (IsTrackKind(load.nKind) && std::strstr(t.szName, "GRASS") != nullptr)
        gpGrassTexture = pTexture;
    std::memcpy(pTexture->szName, t.szName, sizeof pTexture->szName);
    if (load.boColourKeyed && (load.nKind == DK3D_CAR || load.nKind == DK3D_DRIVER_HEAD) &&
        pTexture->pDeviceSurface != nullptr && pTexture->pDeviceSurface->lpSurface != nullptr)
    {
        DDCOLORKEY black = {0, 0};
        TRYDD(pTexture->pDeviceSurface->lpSurface->SetColorKey(DDCKEY_SRCBLT, &black));
    }
    if (!load.boMaterialMade && d3d->nHardwareTexturing)
    {
        static const uint8_t kWhite[4] = {255, 255, 255, 255};
        static const uint8_t kBlack[4] = {0, 0, 0, 0};
        DK_MATERIAL* pMaterial = nullptr;
        const uint16_t uSlot =
            DkCreateMaterial(&pMaterial, pTexture, TRUE, kWhite, kWhite, kBlack, 20.0f, 16);
        if (pMaterial != nullptr)
            pTexture->nMaterial = static_cast<int16_t>(uSlot);
        load.boMaterialMade = true;
    }
    return pTexture;
}

void LoadTextures(Load& load)
{
    const std::vector<Texture>& textures = load.pFile->textures;
    load.textures.assign(textures.size(), nullptr);
    for (size_t i = 0; i < textures.size(); ++i)
    {
        const Texture& t = textures[i];
        DK_TEXTURE* pFound = IsCarKind(load.nKind) ? nullptr : DkFindC3dTexture(t.szName);
        if (t.pData[0] == kAnimatedMark)
        {
            load.textures[i] = pFound != nullptr ? pFound : AnimatedTexture(load, t);
            continue;
        }
        uint32_t uFlags;
        if (t.pData[0] == kTimMark)
        {
            DKREPORT(DkFormatString("WARNING: Texture '%s' is in TIM format", t.szName));
            uFlags = ITT_TIM | ITT_KEEP_SOURCE;
        }
        else
        {
            uFlags = pFound != nullptr ? ReloadTextureFlags(load) : NewTextureFlags(load);
        }
        load.textures[i] =
            pFound != nullptr ? ReloadedTexture(t, uFlags, pFound) : NewTexture(load, t, uFlags);
    }
}

// The three corner colours a face of this kind takes, from its file colours.
void FaceColours(const Load& load, const uint8_t* pFileColours, uint8_t (*aauOut)[4])
{
    const uint8_t* pColour = nullptr;
    const bool boOwnColours =
        gboC3dLoadOption &&
        (load.nKind == DK3D_TRACK || load.nKind == DK3D_OBJECTS || load.nKind == DK3D_SHADOWS);
    switch (load.nKind)
    {
        case DK3D_TRACK:
        case DK3D_SHADOWS:
            pColour = kTrack;
            break;
        case DK3D_NIGHT_TRACK:
            pColour = nullptr;
            break;
        case DK3D_OBJECTS:
            pColour = kScenery;
            break;
        case DK3D_HORIZON:
            pColour = kHorizon;
            break;
        default:
            DkSetCarAmbientLight(gboActorTintLighting ? kNightCar : kDayCar,
                                 gboActorTintLighting ? kNightCar : kDayCar);
            pColour = gCarAmbientLight;
            break;
    }
    for (int k = 0; k < 3; ++k)
    {
        if (boOwnColours)
            std::memcpy(aauOut[k], pFileColours + 4 * k, 4);
        else if (pColour != nullptr)
            std::memcpy(aauOut[k], pColour, 4);
        else
            std::memset(aauOut[k], 0, 4);
        if (load.nKind == DK3D_OBJECTS)
            aauOut[k][3] = kSceneryAlpha;
    }
}

// A material for each change of colour among the level's flat faces.
void FlatMaterial(const DK_FACE& face, bool& boFirst, uint8_t* auLast)
{
    const uint8_t* pColour = face.aauColours[0];
    if (!boFirst && std::memcmp(pColour, auLast, 4) == 0)
        return;
    boFirst = false;
    std::memcpy(auLast, pColour, 4);
    uint8_t auAmbient[4], auSpecular[4];
    for (int c = 0; c < 4; ++c)
    {
        auAmbient[c] = static_cast<uint8_t>(pColour[c] / 2);
        auSpecular[c] = static_cast<uint8_t>(pColour[c] * 2);
    }
    DK_MATERIAL* pMaterial = nullptr;
    DkCreateMaterial(&pMaterial, nullptr, FALSE, pColour, auAmbient, auSpecular, 20.0f, 16);
}

// The level's faces, from the shape's; NULL when the heap is full.
DK_FACE* BuildFaces(const Load& load, const Shape& s, int* pnFaces)
{
    const bool boDoubled = load.nKind == DK3D_SHADOWS && !d3d->nHardwareTexturing;
    const int nFaces = boDoubled ? 2 * s.uFaces : s.uFaces;
    auto* pFaces = static_cast<DK_FACE*>(DkHeapAlloc(sizeof(DK_FACE) * nFaces));
    if (pFaces == nullptr)
        return nullptr;
    bool boFirstFlat = true;
    uint8_t auLastFlat[4] = {};
    for (int f = 0; f < s.uFaces; ++f)
    {
        const uint8_t* p = s.pFaces + kFaceSize * f;
        DK_FACE& face = pFaces[f];
        for (int k = 0; k < 3; ++k)
            face.auVertices[k] = U16(p + 2 + 2 * k);
        FaceColours(load, p + 10, face.aauColours);
        face.uSurface = IsTrackKind(load.nKind) ? U16(p + 22) : 0;
        // Faces of a texture that did not load are flat.
        const int nIndex = static_cast<int16_t>(U16(p + 8));
        const DK_TEXTURE* pTexture = nIndex >= 0 ? load.textures[nIndex] : nullptr;
        face.nTexture = pTexture != nullptr ? pTexture->uSlot : -1;
        if (face.nTexture == -1)
            FlatMaterial(face, boFirstFlat, auLastFlat);
    }
    // Without hardware texturing shadows are drawn from both sides.
    if (boDoubled)
        for (int f = 0; f < s.uFaces; ++f)
        {
            DK_FACE& back = pFaces[s.uFaces + f];
            back = pFaces[f];
            std::swap(back.auVertices[0], back.auVertices[1]);
        }
    *pnFaces = nFaces;
    return pFaces;
}

// A level's vertices in the device layout. World-space kinds and fixed models take the current
// transform; models of actors stay local and raise the model's radius by the actor's scales.
DK_VERTEX* BuildVertices(const Load& load, const Shape& s, DK_MODEL* pModel, const DK_VECTOR& scale,
                         bool boFixed)
{
    auto* pVertices = static_cast<DK_VERTEX*>(DkHeapAlloc(sizeof(DK_VERTEX) * s.uVertices));
    if (pVertices == nullptr)
        return nullptr;
    const bool boWorld = IsTrackKind(load.nKind) || load.nKind == DK3D_SHADOWS;
    for (int i = 0; i < s.uVertices; ++i)
    {
        const uint8_t* p = s.pVertices + kVertexSize * i;
        DK_VECTOR position = {I32(p), I32(p + 4), I32(p + 8)};
        if (!boWorld)
        {
            const int32_t x = FfMul(scale.x, position.x);
            const int32_t z = FfMul(scale.z, position.z);
            pModel->xRadius = std::max(pModel->xRadius, FfSqrt(FfAdd(FfMul(x, x), FfMul(z, z))));
        }
        if (boWorld || boFixed)
            DkApplyMatrixToVector(&position, &position, &load.Current);
        DK_VERTEX& v = pVertices[i];
        v.x = static_cast<float>(position.x / 65536.0);
        v.y = static_cast<float>(position.y / 65536.0);
        v.z = static_cast<float>(position.z / 65536.0);
        for (int n = 0; n < 3; ++n)
            v.afNormal[n] = static_cast<float>(I32(p + 20 + 4 * n) / 65536.0);
        v.u = static_cast<float>(I32(p + 12) / 65536.0);
        if (v.u > 1.0f)
            v.u -= 1.0f;
        v.v = static_cast<float>(I32(p + 16) / 65536.0 + 1.0);
    }
    return pVertices;
}

DK_VERTEX* CopyOfVertices(const DK_MODEL* pModel)
{
    auto* pCopy = static_cast<DK_VERTEX*>(DkHeapAlloc(sizeof(DK_VERTEX) * pModel->nNumVertices));
    if (pCopy != nullptr)
        std::memcpy(pCopy, pModel->pVertices, sizeof(DK_VERTEX) * pModel->nNumVertices);
    return pCopy;
}

// A level already built under the shape's name by another model, taken by reference.
bool ShareLevel(DK_MODEL* pModel, int nLevel, const char* pszName)
{
    const DK_MODEL* pOwner = DkFindModelByData(pszName, pModel);
    if (pOwner == nullptr)
        return false;
    // The level of that name, wherever it stands in its owner.
    pModel->aLevels[nLevel] = *BuiltLevelNamed(pOwner, pszName);
    pModel->pVertices = pOwner->pVertices;
    pModel->nNumVertices = pOwner->nNumVertices;
    pModel->nNumFaces = pOwner->nNumFaces;
    pModel->pFaces = pOwner->pFaces;
    pModel->Scale = pOwner->Scale;
    pModel->Second = pOwner->Second;
    pModel->xRadius = pOwner->xRadius;
    return true;
}

void BuildLevel(const Load& load, DK_MODEL* pModel, int nLevel, const Shape& s,
                const DK_VECTOR& scale, bool boFixed)
{
    if (nLevel == 0)
    {
        pModel->Scale = s.Scale;
        pModel->Second = s.Second;
    }
    DK_VERTEX* pVertices = BuildVertices(load, s, pModel, scale, boFixed);
    int nFaces = 0;
    DK_FACE* pFaces = pVertices != nullptr ? BuildFaces(load, s, &nFaces) : nullptr;
    // No heap left: the level stays empty.
    if (pFaces == nullptr)
        return;
    pModel->pVertices = pVertices;
    pModel->nNumVertices = s.uVertices;
    pModel->pFaces = pFaces;
    pModel->nNumFaces = nFaces;
    // Deformable car bodies are restored from these.
    if (IsCarKind(load.nKind) && nLevel == 0)
        pModel->pVertices2 = CopyOfVertices(pModel);
    if (IsCarKind(load.nKind) && nLevel == 1)
        pModel->pVertices3 = CopyOfVertices(pModel);

    if (load.uOptions & DK3D_OPT_CAR_LIGHT)
        gboCarVertexLighting = 1;
    DK_MODEL_LEVEL& level = pModel->aLevels[nLevel];
    std::memcpy(level.szName, s.szName, DK3D_NAME_LENGTH + 1);
    if (!(load.uOptions & DK3D_OPT_UNLIT))
    {
        if (load.nKind == DK3D_TRACK)
            gboActorTintLighting = 0;
        else if (load.nKind == DK3D_NIGHT_TRACK)
            gboActorTintLighting = 1;
    }
    DkCreateDrawPrimitiveModel(pModel, nLevel,
                               (load.uOptions & DK3D_OPT_UNLIT) ? DK_VERTEX_UNLIT : DK_VERTEX_LIT,
                               s.uFlags);
    ++pModel->uNumLevels;
}

DK_VECTOR TranslationOf(const DK_MATRIX& m)
{
    return {m.m[3][0], m.m[3][1], m.m[3][2]};
}

int32_t RowLength(const DK_MATRIX& m, int nRow)
{
    const DK_VECTOR row = {m.m[nRow][0], m.m[nRow][1], m.m[nRow][2]};
    return FfVecLength(&row);
}

// The actor of an object once the file has reached its actors. Its parent is the caller's, or
// the p-th actor this call made (the last made when there are fewer).
DK_ACTOR* PlaceActor(Load& load, const Object& o, DK_ACTOR* pParent, DK_MODEL** ppModel)
{
    DK_ACTOR* pUnder = pParent;
    if (o.nParent != -1)
    {
        const size_t uParent = static_cast<size_t>(o.nParent);
        pUnder = uParent < load.actors.size() ? load.actors[uParent]
                 : !load.actors.empty()       ? load.actors.back()
                                              : nullptr;
        if (pUnder == nullptr)
            DKREPORT("Will link to a NULL actor");
    }
    DK_ACTOR* pActor = DkCreateActor(pUnder);
    load.actors.push_back(pActor);
    if (pActor == nullptr)
        return nullptr;
    DK_MODEL* pModel = o.uLevels > 0 ? DkCreateModel() : nullptr;
    if (pModel != nullptr)
        DkSetActorObject(pActor, DK_ACTOR_MODEL, pModel);
    else
        DkSetActorObject(pActor, DK_ACTOR_DUMMY, nullptr);
    pActor->uId = o.uFlags;
    pActor->uAlwaysDraw = o.uAlwaysDraw;
    pActor->uMinimumDetail = o.uMinimumDetail;
    pActor->Base = o.Matrix;
    pActor->Local = o.Matrix;
    pActor->Scale = {RowLength(o.Matrix, 0), RowLength(o.Matrix, 1), RowLength(o.Matrix, 2)};
    DkMarkActorDirty(pActor);
    *ppModel = pModel;
    return pActor;
}

// A fixed model centred on the current transform; NULL (reported) when none could be made.
DK_MODEL* PlaceFixedModel(const Load& load)
{
    DK_FIXED_MODEL* pFixed = DkCreateFixedModel();
    if (pFixed == nullptr || pFixed->pModel == nullptr)
    {
        DKREPORT("ERROR (DkProcessC3DObject): The Fixed Model is NULL");
        return nullptr;
    }
    pFixed->Centre = TranslationOf(load.Current);
    return pFixed->pModel;
}

void BuildObjects(Load& load, DK_ACTOR* pParent)
{
    static const DK_VECTOR kUnitScale = {DK_FIXED_ONE, DK_FIXED_ONE, DK_FIXED_ONE};
    const C3dFile& file = *load.pFile;
    const int nKind = load.nKind;
    bool boActors = false;
    for (size_t i = 0; i < file.objects.size(); ++i)
    {
        const Object& o = file.objects[i];
        DK_MODEL* pModel = nullptr;
        DK_ACTOR* pActor = nullptr;
        bool boFixed = false;
        if (!IsTrackKind(nKind))
        {
            if (o.nParent == -1)
                boActors = true;
            if (boActors)
                pActor = PlaceActor(load, o, pParent, &pModel);
            else if (o.uLevels == 0)
                load.Current = o.Matrix;
            else
            {
                pModel = PlaceFixedModel(load);
                boFixed = true;
            }
        }
        DK_TRACK_BLOCK* pBlock = nullptr;
        if (IsTrackKind(nKind) && i > 0)
        {
            load.Current = o.Matrix;
            pBlock = &gaTrackBlocks[guNumTrackBlocks];
            pBlock->Reference = TranslationOf(o.Matrix);
            pBlock->pMesh = nullptr;
        }
        if (nKind == DK3D_SHADOWS)
            load.Current = o.Matrix;

        const DK_VECTOR& scale = pActor != nullptr ? pActor->Scale : kUnitScale;
        for (int d = 0; d < o.uLevels; ++d)
        {
            if (IsTrackKind(nKind))
            {
                pModel = DkCreateModel();
                if (pBlock != nullptr)
                    pBlock->pMesh = pModel;
            }
            if (pModel == nullptr || o.auShapes[d] == kNoShape)
                continue;
            const Shape& s = file.shapes[o.auShapes[d]];
            if (s.uVertices == 0 || s.uFaces == 0)
                continue;
            if ((nKind == DK3D_OBJECTS || nKind == DK3D_HORIZON || nKind == DK3D_DRIVER_HEAD) &&
                ShareLevel(pModel, d, s.szName))
                continue;
            BuildLevel(load, pModel, d, s, scale, boFixed);
        }
        if (pBlock != nullptr)
            ++guNumTrackBlocks;
        if (o.uLevels > 0 && pModel != nullptr)
        {
            pModel->uNumLevels = o.uLevels;
            pModel->uCurrentLevel = 0;
        }
    }
}

} // namespace

DK_ACTOR* DkProcessC3dObject(const void* pImage, uint32_t uSize, int nKind, DK_ACTOR* pParent,
                             BOOL boColourKeyed, uint32_t uOptions)
{
    C3dFile file;
    if (!CheckFile(static_cast<const uint8_t*>(pImage), uSize, nKind, file))
        return nullptr;

    // A track builds the whole block list afresh.
    if (IsTrackKind(nKind))
        DkClearTrackBlocks();

    Load load{&file, nKind, boColourKeyed, uOptions, {}, {}, false, {}};
    DkIdentityMatrix(&load.Current);
    LoadTextures(load);
    BuildObjects(load, pParent);

    DkPumpMessages();
    return load.actors.empty() ? nullptr : load.actors.front();
}

DK_TEXTURE* DkFindC3dTexture(const char* pszName)
{
    if (pszName == nullptr)
        return nullptr;
    uint32_t uSeen = 0;
    for (DK_TEXTURE* pTexture : d3d->apTextures)
    {
        if (uSeen >= guNumTextures)
            break;
        if (pTexture == nullptr)
            continue;
        ++uSeen;
        if (std::strncmp(pTexture->szName, pszName, DK3D_NAME_LENGTH) == 0)
            return pTexture;
    }
    return nullptr;
}

DK_MODEL* DkFindModelByData(const char* pszName, const DK_MODEL* pSkip)
{
    if (pszName == nullptr)
        return nullptr;
    for (DK_MODEL* pModel : gapModels)
    {
        if (pModel != nullptr && pModel != pSkip && BuiltLevelNamed(pModel, pszName) != nullptr)
            return pModel;
    }
    return nullptr;
}

void DkResetC3dObjects(void)
{
    const struct
    {
        uint32_t uCount;
        const char* pszText;
    } counts[] = {
        {guNumActors, "guNumActors != 0"},           {guNumModels, "guNumModels != 0"},
        {guNumFixedModels, "guNumFixedModels != 0"}, {guNumTrackBlocks, "guNumTrackBlocks != 0"},
        {guNumCameras, "guNumCameras != 0"},         {guNumLights, "guNumLights != 0"},
        {guNumTextures, "guNumTextures != 0"},       {guNumMaterials, "guNumMaterials != 0"},
    };
    for (const auto& c : counts)
        if (c.uCount != 0)
            DKREPORT(c.pszText);
    for (int i = 0; i < MAXACTORS; ++i)
        if (gapActors[i] != nullptr)
            DKREPORT(DkFormatString("Actor %d is not NULL", i));
    for (int i = 0; i < MAXLIGHTS; ++i)
        if (gapLights[i] != nullptr)
            DKREPORT(DkFormatString("Light %d is not NULL", i));
    for (int i = 0; i < MAXMODELS; ++i)
        if (gapModels[i] != nullptr)
            DKREPORT(DkFormatString("Model %d is not NULL", i));
    for (int i = 0; i < MAXCAMERAS; ++i)
        if (gapCameras[i] != nullptr)
            DKREPORT(DkFormatString("Camera %d is not NULL", i));
}

uint32_t DkC3dLastTextureFlags(void)
{
    return guLastTextureFlags;
}

void DkSetUse3DBitmaps(int nFlag)
{
    gnUse3DBitmaps = nFlag != 0 ? 1 : 0;
}

int DkGetUse3DBitmaps(void)
{
    return gnUse3DBitmaps;
}
