#include "game/vehicle/heightdata.h"

#include <cstddef>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"

namespace
{

struct HeightNode
{
    int16_t nCount; // triangles listed, or -1 when the cell is subdivided
    int32_t nIndex; // first child in the next level's table, or first index-list entry
};

struct HeightTriangle
{
    uint16_t auVertex[3];
    uint16_t uSurface;
};

constexpr int kLastLevel = HEIGHT_DATA_LEVELS - 1;
constexpr int kChildren = 16;
constexpr int kLevelZeroShift = 24; // level-0 cells are 256.0 units
constexpr uint32_t kLevelZeroMask = 0xFFFFFF;
// The game data's game-type byte bit that silences the failed-search line.
constexpr int kQuietSearchBit = 0x40;
constexpr int32_t kReportDepth = 5 << 16;

BOOL gboHeightDataLoaded = FALSE;
void* gpHeightDataBlock = nullptr;
int32_t gxOriginX = 0;
int32_t gxOriginZ = 0;
int gaNumNodes[HEIGHT_DATA_LEVELS] = {};
HeightNode* gapNodes[HEIGHT_DATA_LEVELS] = {};
int gnNumVertices = 0;
DK_VECTOR* gpVertices = nullptr;
int gnNumTriangles = 0;
HeightTriangle* gpTriangles = nullptr;
int32_t gnIndexListLength = 0;
uint16_t* gpIndexList = nullptr;
int gnBoxesX = 0;
int gnBoxesZ = 0;
uint32_t guTriangleTests = 0;

void ClearHeightData(void)
{
    gboHeightDataLoaded = FALSE;
    gpHeightDataBlock = nullptr;
    gxOriginX = gxOriginZ = 0;
    for (int i = 0; i < HEIGHT_DATA_LEVELS; ++i)
    {
        gaNumNodes[i] = 0;
        gapNodes[i] = nullptr;
    }
    gnNumVertices = gnNumTriangles = 0;
    gpVertices = nullptr;
    gpTriangles = nullptr;
    gnIndexListLength = 0;
    gpIndexList = nullptr;
    gnBoxesX = gnBoxesZ = 0;
}

// Little-endian reads that never pass the byte count: a read past it fails and names the part
// of the file it was reading.
struct ByteCursor
{
    const uint8_t* pBytes;
    uint32_t uSize;
    uint32_t uAt;
    const char* pszWhere;
};

BOOL Take(ByteCursor& c, uint64_t uBytes, const char* pszWhat)
{
    if (uBytes > c.uSize - c.uAt)
    {
        c.pszWhere = pszWhat;
        return FALSE;
    }
    return TRUE;
}

uint32_t Get(ByteCursor& c, int nBytes)
{
    uint32_t u = 0;
    for (int i = 0; i < nBytes; ++i)
        u |= static_cast<uint32_t>(c.pBytes[c.uAt + i]) << (8 * i);
    c.uAt += static_cast<uint32_t>(nBytes);
    return u;
}

int16_t GetI16(ByteCursor& c)
{
    return static_cast<int16_t>(Get(c, 2));
}

int32_t GetI32(ByteCursor& c)
{
    return static_cast<int32_t>(Get(c, 4));
}

// Where each part of the file starts, found by a first pass over the counts.
struct HeightLayout
{
    int32_t xOriginX, xOriginZ;
    int anNodes[HEIGHT_DATA_LEVELS];
    uint32_t auNodeAt[HEIGHT_DATA_LEVELS];
    int nVertices;
    uint32_t uVerticesAt;
    int nTriangles;
    uint32_t uTrianglesAt;
    int32_t nIndexLength;
    uint32_t uIndexAt;
    int nBoxesX, nBoxesZ;
};

BOOL Refuse(const char* pszWhy)
{
    DKREPORT(DkFormatString("HeightData_Parse() : %s", pszWhy));
    return FALSE;
}

// Steps over a table of n records of nSize bytes, noting where it starts.
BOOL SkipTable(ByteCursor& c, int64_t n, int nSize, const char* pszWhat, uint32_t* pAt)
{
    if (!Take(c, static_cast<uint64_t>(n) * static_cast<uint64_t>(nSize), pszWhat))
        return FALSE;
    *pAt = c.uAt;
    c.uAt += static_cast<uint32_t>(n * nSize);
    return TRUE;
}

// A count field of 4 bytes, of which the first two hold the count.
BOOL GetCount(ByteCursor& c, const char* pszWhat, int* pnCount)
{
    if (!Take(c, 4, pszWhat))
        return FALSE;
    *pnCount = static_cast<int>(Get(c, 2));
    c.uAt += 2;
    return TRUE;
}

BOOL MeasureFile(const uint8_t* pBytes, uint32_t uSize, HeightLayout& l)
{
    ByteCursor c{pBytes, uSize, 0, ""};
    auto ends = [&c, uSize]
    { return Refuse(DkFormatString("the file ends inside its %s (%u bytes)", c.pszWhere, uSize)); };
    if (!Take(c, 8 + 2 * HEIGHT_DATA_LEVELS, "header"))
        return ends();
    l.xOriginX = GetI32(c);
    l.xOriginZ = GetI32(c);
    for (int i = 0; i < HEIGHT_DATA_LEVELS; ++i)
    {
        l.anNodes[i] = GetI16(c);
        if (l.anNodes[i] < 0)
            return Refuse(DkFormatString("level %d has %d nodes", i, l.anNodes[i]));
    }
    for (int i = 0; i < HEIGHT_DATA_LEVELS; ++i)
        if (!SkipTable(c, l.anNodes[i], 8, "node tables", &l.auNodeAt[i]))
            return ends();
    if (!GetCount(c, "vertex count", &l.nVertices) ||
        !SkipTable(c, l.nVertices, 12, "vertices", &l.uVerticesAt) ||
        !GetCount(c, "triangle count", &l.nTriangles) ||
        !SkipTable(c, l.nTriangles, 8, "triangles", &l.uTrianglesAt) ||
        !Take(c, 4, "index-list length"))
        return ends();
    l.nIndexLength = GetI32(c);
    if (l.nIndexLength < 0)
        return Refuse(DkFormatString("the index list has %d entries", l.nIndexLength));
    if (!SkipTable(c, l.nIndexLength, 2, "index list", &l.uIndexAt) || !Take(c, 4, "box counts"))
        return ends();
    l.nBoxesX = GetI16(c);
    l.nBoxesZ = GetI16(c);
    if (l.nBoxesX < 0 || l.nBoxesZ < 0 ||
        static_cast<int64_t>(l.nBoxesX) * l.nBoxesZ > l.anNodes[0])
        return Refuse(DkFormatString("%d x %d boxes over %d level-0 nodes", l.nBoxesX, l.nBoxesZ,
                                     l.anNodes[0]));
    return TRUE;
}

// Fills the tables from the file, checking every node, triangle and index entry.
BOOL ReadTables(const uint8_t* pBytes, uint32_t uSize, const HeightLayout& l)
{
    ByteCursor c{pBytes, uSize, 0, ""};
    for (int level = 0; level < HEIGHT_DATA_LEVELS; ++level)
    {
        c.uAt = l.auNodeAt[level];
        for (int n = 0; n < l.anNodes[level]; ++n)
        {
            HeightNode& node = gapNodes[level][n];
            node.nCount = GetI16(c);
            c.uAt += 2;
            node.nIndex = GetI32(c);
            const int64_t nFirst = node.nIndex;
            if (node.nCount == -1)
            {
                // A subdivided level-4 node has no children to check; the search reports it.
                if (level < kLastLevel && (nFirst < 0 || nFirst + kChildren > l.anNodes[level + 1]))
                    return Refuse(DkFormatString("level %d node %d has 16 children from %d of %d",
                                                 level, n, node.nIndex, l.anNodes[level + 1]));
            }
            else if (node.nCount < 0)
                return Refuse(
                    DkFormatString("level %d node %d has a count of %d", level, n, node.nCount));
            else if (nFirst < 0 || nFirst + node.nCount > l.nIndexLength)
                return Refuse(DkFormatString("level %d node %d lists %d entries from %d of %d",
                                             level, n, node.nCount, node.nIndex, l.nIndexLength));
        }
    }
    c.uAt = l.uVerticesAt;
    for (int v = 0; v < l.nVertices; ++v)
    {
        gpVertices[v].x = GetI32(c);
        gpVertices[v].y = GetI32(c);
        gpVertices[v].z = GetI32(c);
    }
    c.uAt = l.uTrianglesAt;
    for (int t = 0; t < l.nTriangles; ++t)
    {
        HeightTriangle& tri = gpTriangles[t];
        for (uint16_t& uVertex : tri.auVertex)
        {
            uVertex = static_cast<uint16_t>(Get(c, 2));
            if (uVertex >= l.nVertices)
                return Refuse(
                    DkFormatString("triangle %d uses vertex %u of %d", t, uVertex, l.nVertices));
        }
        tri.uSurface = static_cast<uint16_t>(Get(c, 2));
        if (tri.uSurface >= HEIGHT_DATA_SURFACES)
            return Refuse(DkFormatString("triangle %d has surface %u", t, tri.uSurface));
    }
    c.uAt = l.uIndexAt;
    for (int32_t i = 0; i < l.nIndexLength; ++i)
    {
        gpIndexList[i] = static_cast<uint16_t>(Get(c, 2));
        if (gpIndexList[i] >= l.nTriangles)
            return Refuse(DkFormatString("index entry %d names triangle %u of %d", i,
                                         gpIndexList[i], l.nTriangles));
    }
    return TRUE;
}

// Triangle numbers past the 16-bit cache's range are not kept.
void StoreCache(int16_t* pCache, int nTriangle)
{
    *pCache = nTriangle <= INT16_MAX ? static_cast<int16_t>(nTriangle) : -1;
}

void LogOffGrid(int32_t x, int32_t y, int64_t nCellX, int64_t nCellZ)
{
    DkLog("*** OI - That point is off the height data altogether!!!\n");
    DkLog(DkFormatString("Bottom Left %d %d", gxOriginX, gxOriginZ));
    DkLog(DkFormatString("Point %d %d", x, y));
    DkLog(DkFormatString("Indices %d %d", static_cast<int>(nCellX), static_cast<int>(nCellZ)));
    DkLog(DkFormatString("Boxes %d %d", gnBoxesX, gnBoxesZ));
}

// The grid search; the triangle's number, or -1.
int FindTriangleNumber(const DK_VECTOR* pPoint, int32_t nReferenceHeight)
{
    if (!gboHeightDataLoaded)
        return -1;
    int64_t bx = static_cast<int64_t>(pPoint->x) - gxOriginX;
    int64_t bz = static_cast<int64_t>(pPoint->z) - gxOriginZ;
    const int64_t nCellX = bx >> kLevelZeroShift;
    const int64_t nCellZ = bz >> kLevelZeroShift;
    if (bx < 0 || bz < 0 || nCellX >= gnBoxesX || nCellZ >= gnBoxesZ)
    {
        LogOffGrid(pPoint->x, pPoint->y, nCellX, nCellZ);
        return -1;
    }
    const HeightNode* pNode = &gapNodes[0][nCellX + nCellZ * gnBoxesX];
    int64_t nMask = kLevelZeroMask;
    int nShift = kLevelZeroShift;
    for (int level = 0; pNode->nCount == -1; ++level)
    {
        if (level == kLastLevel)
        {
            DkLog("*** SUBDIVISION ARSE!\n");
            return -1;
        }
        bx &= nMask;
        bz &= nMask;
        nShift -= 2;
        pNode = &gapNodes[level + 1][pNode->nIndex + (bx >> nShift) + 4 * (bz >> nShift)];
        nMask >>= 2;
    }
    return HeightData_PickTriangle(pNode->nIndex, pNode->nCount, pPoint->x, pPoint->z,
                                   nReferenceHeight);
}

} // namespace

BOOL HeightData_Parse(const uint8_t* pBytes, uint32_t uSize)
{
    ClearHeightData();
    if (pBytes == nullptr)
        return Refuse("no height data");
    HeightLayout layout{};
    if (!MeasureFile(pBytes, uSize, layout))
        return FALSE;

    size_t uNodes = 0;
    for (int n : layout.anNodes)
        uNodes += static_cast<size_t>(n);
    const size_t uNodeBytes = uNodes * sizeof(HeightNode);
    const size_t uVertexBytes = static_cast<size_t>(layout.nVertices) * sizeof(DK_VECTOR);
    const size_t uTriangleBytes = static_cast<size_t>(layout.nTriangles) * sizeof(HeightTriangle);
    const size_t uIndexBytes = static_cast<size_t>(layout.nIndexLength) * sizeof(uint16_t);
    // The heap reports a block it cannot give.
    uint8_t* pBlock = static_cast<uint8_t*>(
        DkHeapAlloc(uNodeBytes + uVertexBytes + uTriangleBytes + uIndexBytes));
    if (pBlock == nullptr)
        return FALSE;

    size_t uAt = 0;
    for (int level = 0; level < HEIGHT_DATA_LEVELS; ++level)
    {
        gapNodes[level] = reinterpret_cast<HeightNode*>(pBlock + uAt);
        uAt += static_cast<size_t>(layout.anNodes[level]) * sizeof(HeightNode);
    }
    gpVertices = reinterpret_cast<DK_VECTOR*>(pBlock + uAt);
    gpTriangles = reinterpret_cast<HeightTriangle*>(pBlock + uAt + uVertexBytes);
    gpIndexList = reinterpret_cast<uint16_t*>(pBlock + uAt + uVertexBytes + uTriangleBytes);
    if (!ReadTables(pBytes, uSize, layout))
    {
        DkHeapFree(pBlock);
        ClearHeightData();
        return FALSE;
    }

    gpHeightDataBlock = pBlock;
    gxOriginX = layout.xOriginX;
    gxOriginZ = layout.xOriginZ;
    for (int level = 0; level < HEIGHT_DATA_LEVELS; ++level)
        gaNumNodes[level] = layout.anNodes[level];
    gnNumVertices = layout.nVertices;
    gnNumTriangles = layout.nTriangles;
    gnIndexListLength = layout.nIndexLength;
    gnBoxesX = layout.nBoxesX;
    gnBoxesZ = layout.nBoxesZ;
    gboHeightDataLoaded = TRUE;
    if (!DkIsDestructorAdded(HeightData_Destructor))
        DkAddDestructor(HeightData_Destructor, "Height Data Destructor");
    return TRUE;
}

BOOL HeightData_Destructor(void)
{
    if (gpHeightDataBlock != nullptr)
        DkHeapFree(gpHeightDataBlock);
    ClearHeightData();
    return TRUE;
}

int32_t FindHeightOnTrack(const DK_VECTOR* pPoint, DK_VECTOR* pNormal, int16_t* pSurface,
                          int16_t* pTriangleCache, int32_t nReferenceHeight)
{
    if (!gboHeightDataLoaded)
        return nReferenceHeight;
    int nTriangle = *pTriangleCache;
    if (nTriangle < 0 || nTriangle >= gnNumTriangles)
    {
        *pTriangleCache = -1;
        nTriangle = FindTriangleNumber(pPoint, nReferenceHeight);
        if (nTriangle < 0)
        {
            if ((DkEntries().GetGameTypeByte() & kQuietSearchBit) == 0)
                DkLog(DkFormatString("find tri failed - returning %d", nReferenceHeight >> 16));
            return nReferenceHeight;
        }
        StoreCache(pTriangleCache, nTriangle);
    }
    else if (!HeightData_PointInTriangle(pPoint->x, pPoint->z, nTriangle))
    {
        nTriangle = FindTriangleNumber(pPoint, nReferenceHeight);
        if (nTriangle < 0)
        {
            *pTriangleCache = -1;
            return nReferenceHeight;
        }
        StoreCache(pTriangleCache, nTriangle);
    }
    return HeightData_HeightOnTriangle(pPoint, nTriangle, pNormal, pSurface, nReferenceHeight);
}

BOOL HeightData_FindTriangle(const DK_VECTOR* pPoint, int16_t* pTriangleCache,
                             int32_t nReferenceHeight)
{
    const int nTriangle = FindTriangleNumber(pPoint, nReferenceHeight);
    if (nTriangle < 0)
        return FALSE;
    StoreCache(pTriangleCache, nTriangle);
    return TRUE;
}

int HeightData_PickTriangle(int32_t nFirstEntry, int nCount, int32_t x, int32_t z,
                            int32_t nReferenceHeight)
{
    if (nFirstEntry < 0 || nCount < 0 || nFirstEntry > gnIndexListLength - nCount)
        return -1;
    int nBest = -1;
    int64_t nBestDistance = 0;
    for (int i = 0; i < nCount; ++i)
    {
        const int nTriangle = gpIndexList[nFirstEntry + i];
        if (!HeightData_PointInTriangle(x, z, nTriangle))
            continue;
        const HeightTriangle& t = gpTriangles[nTriangle];
        const int64_t nMean = (static_cast<int64_t>(gpVertices[t.auVertex[0]].y) +
                               gpVertices[t.auVertex[1]].y + gpVertices[t.auVertex[2]].y) /
                              3;
        const int64_t nDistance =
            nMean > nReferenceHeight ? nMean - nReferenceHeight : nReferenceHeight - nMean;
        if (nBest < 0 || nDistance < nBestDistance)
        {
            nBest = nTriangle;
            nBestDistance = nDistance;
        }
    }
    return nBest;
}

BOOL HeightData_PointInTriangle(int32_t x, int32_t z, int nTriangle)
{
    ++guTriangleTests;
    if (nTriangle < 0 || nTriangle >= gnNumTriangles)
        return FALSE;
    const HeightTriangle& t = gpTriangles[nTriangle];
    const DK_VECTOR& p0 = gpVertices[t.auVertex[0]];
    const DK_VECTOR& p1 = gpVertices[t.auVertex[1]];
    const DK_VECTOR& p2 = gpVertices[t.auVertex[2]];
    if ((x < p0.x && x < p1.x && x < p2.x) || (x > p0.x && x > p1.x && x > p2.x) ||
        (z < p0.z && z < p1.z && z < p2.z) || (z > p0.z && z > p1.z && z > p2.z))
        return FALSE;
    auto edge = [x, z](const DK_VECTOR& a, const DK_VECTOR& b)
    { return FfAdd(FfMul(FfSub(x, a.x), FfSub(b.z, a.z)), FfMul(FfSub(z, a.z), FfSub(a.x, b.x))); };
    return edge(p0, p1) >= 0 && edge(p1, p2) >= 0 && edge(p2, p0) >= 0 ? TRUE : FALSE;
}

int32_t HeightData_HeightOnTriangle(const DK_VECTOR* pPoint, int nTriangle, DK_VECTOR* pNormal,
                                    int16_t* pSurface, int32_t nReferenceHeight)
{
    if (nTriangle < 0 || nTriangle >= gnNumTriangles)
        return nReferenceHeight;
    const HeightTriangle& t = gpTriangles[nTriangle];
    const DK_VECTOR& p0 = gpVertices[t.auVertex[0]];
    const DK_VECTOR& p1 = gpVertices[t.auVertex[1]];
    const DK_VECTOR& p2 = gpVertices[t.auVertex[2]];
    DK_VECTOR a{FfSub(p1.x, p0.x), FfSub(p1.y, p0.y), FfSub(p1.z, p0.z)};
    DK_VECTOR b{FfSub(p2.x, p0.x), FfSub(p2.y, p0.y), FfSub(p2.z, p0.z)};
    FfVecNormalise(&a, &a);
    FfVecNormalise(&b, &b);
    DK_VECTOR n;
    FfVecCross(&n, &a, &b);
    FfVecNormalise(&n, &n);
    const int32_t d = FfVecDot(&p0, &n);
    *pNormal = n;
    *pSurface = static_cast<int16_t>(t.uSurface);
    if (n.y == 0)
        return nReferenceHeight;
    return FfDiv(FfSub(FfSub(d, FfMul(pPoint->x, n.x)), FfMul(pPoint->z, n.z)), n.y);
}

int32_t HeightData_Report(void)
{
    DkLog("about to show no polys in track *******");
    DkLog(DkFormatString("Number of polys in track: %d", gnNumTriangles));
    int32_t nLowest = 0;
    for (int i = 0; i < gnNumVertices; ++i)
        if (gpVertices[i].y < nLowest)
            nLowest = gpVertices[i].y;
    DkLog(DkFormatString("Low point in track: %d", nLowest));
    return FfSub(nLowest, kReportDepth);
}

const DK_VECTOR* HeightData_GetVertices(int* pnCount)
{
    *pnCount = gnNumVertices;
    return gpVertices;
}

int HeightData_GetTriangleCount(void)
{
    return gnNumTriangles;
}

uint32_t HeightData_GetTriangleTests(void)
{
    return guTriangleTests;
}

void HeightData_ResetTriangleTests(void)
{
    guTriangleTests = 0;
}
