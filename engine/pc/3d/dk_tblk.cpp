#include "engine/pc/3d/dk_tblk.h"

#include <algorithm>
#include <iterator>
#include <cstring>

#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/common/dk_model.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/d3d/d3d.h"

DK_TRACK_BLOCK gaTrackBlocks[MAXTRACKBLOCKS];
uint32_t guNumTrackBlocks = 0;

int32_t gxTrackCellSize = 0;
int32_t gxTrackHalfCell = 0;
int32_t gxTrackMinX = 0;
int32_t gxTrackMaxZ = 0;
uint32_t guTrackGridWidth = 0;
uint32_t guTrackGridRows = 0;

uint16_t gaVisibleBlocks[MAXTRACKBLOCKS];
int32_t gnNumVisibleBlocks = 0;
uint32_t gaVisibleBlockBits[DK_VISIBLE_BLOCK_WORDS];
BOOL gboDrawAllTrackBlocks = FALSE;
BOOL gboTrackBlocksActive = FALSE;

TrackTrigger* gpWallLines = nullptr;
int32_t gnNumWallLines = 0;

namespace
{

const int32_t kFarAway = 0x7FFF0000; // 32,767.0
const int32_t kNoCornerHeight = 10 << 16;
// How close to a block's edge an actor counts as overlapping the block beyond (4.5).
const int32_t kNeighbourMargin = 0x48000;
const int32_t kWedgeScale = 100 << 16;
const DWORD kLowLevelBufferBytes = 32768;

BOOL gboTrackDestructorAdded = FALSE;
BOOL gboLowLevelEBReady = FALSE;
// Made with the grid; nothing queues or draws through it.
IDirect3DExecuteBuffer* gpLowLevelEB = nullptr;

int32_t Abs32(int32_t n)
{
    return n < 0 ? FfNeg(n) : n;
}

// A block of the grid, and so of the table: a count above the table's size (the build cuts
// it down, but the reader sets it first) does not let an index past the records.
bool InGrid(int64_t nBlock)
{
    return nBlock >= 0 && nBlock < static_cast<int64_t>(guNumTrackBlocks) &&
           nBlock < MAXTRACKBLOCKS;
}

// The block at (row, column), or -1 when that is off the grid; the rows run one past the full
// ones, so that a last partial row counts as far as it goes.
int BlockAt(int64_t nRow, int64_t nColumn)
{
    if (nRow < 0 || nRow > guTrackGridRows || nColumn < 0 || nColumn >= guTrackGridWidth)
        return -1;
    const int64_t nIndex = nRow * guTrackGridWidth + nColumn;
    return InGrid(nIndex) ? static_cast<int>(nIndex) : -1;
}

int32_t Times(int64_t n, int32_t x)
{
    return static_cast<int32_t>(n * x);
}

void ListBlock(int nBlock)
{
    DK_TRACK_BLOCK& block = gaTrackBlocks[nBlock];
    gaVisibleBlocks[gnNumVisibleBlocks++] = static_cast<uint16_t>(nBlock);
    block.nClipCode = 0;
    block.nListed = 1;
    gaVisibleBlockBits[nBlock >> 5] |= 1u << (nBlock & 31);
}

// Squared ground distance, saturating: the sum of 16.16 squares passes 32 bits beyond 181
// units, and a wrapped key would sort a far block near. The squares are taken unsigned, since
// a difference of more than 46,341 units squares past 63 bits.
int32_t DistanceKey(const DK_VECTOR& reference, const DK_POINT_XZ& p)
{
    auto square = [](int32_t a, int32_t b)
    {
        const int64_t d = static_cast<int64_t>(a) - b;
        const uint64_t u = static_cast<uint64_t>(d < 0 ? -d : d);
        return (u * u) >> 16;
    };
    const uint64_t uSum = square(reference.x, p.x) + square(reference.z, p.z);
    return uSum > INT32_MAX ? INT32_MAX : static_cast<int32_t>(uSum);
}

bool IsNineNeighbour(int nBlock, int nCentre, int nWidth)
{
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
            if (nBlock == nCentre + dr * nWidth + dc)
                return true;
    return false;
}

// Takes the actor out of the block's moveable list; false when the list does not hold it.
bool UnlinkFromBlock(DK_TRACK_BLOCK& block, DK_ACTOR* pActor)
{
    for (DK_ACTOR** ppLink = &block.pMoveableList; *ppLink != nullptr;
         ppLink = &(*ppLink)->pBlockLink)
        if (*ppLink == pActor)
        {
            *ppLink = pActor->pBlockLink;
            pActor->pBlockLink = nullptr;
            --block.nNumMoveable;
            return true;
        }
    return false;
}

// The blocks beside nBlock that a point within 4.5 of its edges overlaps: the X neighbour
// first, then the Z neighbour, then the diagonal between them. A neighbour off the grid is
// stored as -1.
void FindNeighbourBlocks(int32_t x, int32_t z, int nBlock, int16_t* anOut)
{
    std::fill(anOut, anOut + 3, -1);
    if (!InGrid(nBlock) || guTrackGridWidth == 0)
        return;
    const DK_VECTOR& centre = gaTrackBlocks[nBlock].Reference;
    const int32_t h = gxTrackHalfCell;
    const int64_t nRow = nBlock / guTrackGridWidth;
    const int64_t nColumn = nBlock % guTrackGridWidth;
    int n = 0;
    int nSide = 0;
    if (FfSub(x, kNeighbourMargin) < FfSub(centre.x, h))
        nSide = -1;
    else if (FfAdd(centre.x, h) < FfAdd(x, kNeighbourMargin))
        nSide = 1;
    if (nSide != 0)
        anOut[n++] = static_cast<int16_t>(BlockAt(nRow, nColumn + nSide));
    int nVertical = 0;
    if (FfAdd(centre.z, h) < FfAdd(z, kNeighbourMargin))
        nVertical = -1; // the row above holds the larger z
    else if (FfSub(z, kNeighbourMargin) < FfSub(centre.z, h))
        nVertical = 1;
    if (nVertical != 0)
    {
        anOut[n++] = static_cast<int16_t>(BlockAt(nRow + nVertical, nColumn));
        if (nSide != 0)
            anOut[n++] = static_cast<int16_t>(BlockAt(nRow + nVertical, nColumn + nSide));
    }
}

bool WithinBlockSquare(int32_t x, int32_t z, int nBlock)
{
    const DK_VECTOR& centre = gaTrackBlocks[nBlock].Reference;
    const int32_t h = gxTrackHalfCell;
    return FfSub(centre.x, h) <= x && x <= FfAdd(centre.x, h) && FfSub(centre.z, h) <= z &&
           z <= FfAdd(centre.z, h);
}

void ClearRecords(void)
{
    std::memset(gaTrackBlocks, 0, sizeof gaTrackBlocks);
}

bool HasVertices(const DK_MODEL* pModel)
{
    return pModel != nullptr && pModel->pVertices != nullptr && pModel->nNumVertices > 0;
}

void FileFixedModels(void)
{
    for (uint32_t i = 0; i < guNumFixedModels && i < MAXFIXEDMODELS; ++i)
    {
        DK_FIXED_MODEL* pFixed = gapFixedModels[i];
        if (pFixed == nullptr)
            continue;
        const int nBlock = DkFindNearestTrackBlock(&pFixed->Centre);
        if (!InGrid(nBlock))
        {
            DKREPORT(DkFormatString(
                "DkInitialiseTrackBlocks(): fixed model %d is on no track block (%d)", i, nBlock));
            continue;
        }
        DK_TRACK_BLOCK& block = gaTrackBlocks[nBlock];
        pFixed->pNext = block.pFixedList;
        block.pFixedList = pFixed;
        ++block.nNumFixed;
    }
}

void FileWorldActors(void)
{
    const DK_ACTOR* pWorld = DkGetWorldActor();
    for (DK_ACTOR* pActor = pWorld != nullptr ? pWorld->pChild : nullptr; pActor != nullptr;
         pActor = pActor->pNext)
    {
        // Cameras stay off the blocks.
        if (pActor->uId == DK_CAMERA_ACTOR_ID)
            continue;
        DK_VECTOR position;
        FfMatGetPosition(&position, &pActor->Local);
        const int nBlock = DkFindNearestTrackBlock(&position);
        if (!DkAppendActorToTrackBlock(pActor, nBlock))
            DKREPORT(DkFormatString("DkInitialiseTrackBlocks(): actor %u is on no track block (%d)",
                                    pActor->uId, nBlock));
    }
}

void FileWallLines(void)
{
    if (gpWallLines == nullptr)
        return;
    for (int32_t i = 0; i < gnNumWallLines; ++i)
    {
        TrackTrigger& line = gpWallLines[i];
        // The loader's field is the block's signed index.
        const int32_t nBlock = static_cast<int32_t>(line.uNext);
        if (!InGrid(nBlock))
        {
            DKREPORT(DkFormatString(
                "DkInitialiseTrackBlocks(): wall line %d is on no track block (%d)", i, nBlock));
            line.uNext = 0;
            continue;
        }
        DK_TRACK_BLOCK& block = gaTrackBlocks[nBlock];
        line.uNext = block.pWallList != nullptr
                         ? static_cast<uint32_t>(block.pWallList - gpWallLines) + 1
                         : 0;
        block.pWallList = &line;
        ++block.nNumWalls;
    }
}

// One pass over the grid's vertices: each takes the lowest nearest-vertex height of the meshes
// of the (up to four) blocks that touch it, and all of them share that corner.
void ComputeCornerHeights(void)
{
    const DK_VECTOR& first = gaTrackBlocks[0].Reference;
    const int32_t h = gxTrackHalfCell;
    const int32_t cell = gxTrackCellSize;
    for (int64_t r = 0; r <= guTrackGridRows; ++r)
        for (int64_t k = 0; k <= guTrackGridWidth; ++k)
        {
            const int32_t x = FfAdd(FfSub(first.x, h), Times(k, cell));
            const int32_t z = FfSub(FfAdd(first.z, h), Times(r, cell));
            const int anBlocks[4] = {BlockAt(r - 1, k - 1), BlockAt(r - 1, k), BlockAt(r, k - 1),
                                     BlockAt(r, k)};
            const int anCorners[4] = {2, 3, 1, 0};
            int32_t xLowest = kFarAway;
            bool boAny = false;
            for (int i = 0; i < 4; ++i)
                if (anBlocks[i] >= 0 && gaTrackBlocks[anBlocks[i]].pMesh != nullptr)
                {
                    xLowest = std::min(xLowest, DkCheckBlockHeight(anCorners[i], anBlocks[i]));
                    boAny = true;
                }
            const int32_t y = boAny ? FfAdd(xLowest, DK_FIXED_ONE) : kNoCornerHeight;
            for (int i = 0; i < 4; ++i)
                if (anBlocks[i] >= 0)
                    gaTrackBlocks[anBlocks[i]].aCorners[anCorners[i]] = {x, y, z};
        }
}

} // namespace

void DkInitialiseTrackBlocks(void)
{
    if (!gboTrackDestructorAdded)
        gboTrackDestructorAdded = DkAddDestructor(DkTrackDestructor, "Track Destructor") >= 0;
    gboTrackBlocksActive = TRUE;
    if (guNumTrackBlocks > MAXTRACKBLOCKS)
    {
        DKREPORT(DkFormatString("DkInitialiseTrackBlocks(): %u blocks, more than %d",
                                guNumTrackBlocks, MAXTRACKBLOCKS));
        guNumTrackBlocks = MAXTRACKBLOCKS;
    }
    const int n = static_cast<int>(guNumTrackBlocks);

    uint32_t uCell = static_cast<uint32_t>(kFarAway);
    for (int i = 0; i + 1 < n; ++i)
    {
        const DK_VECTOR& a = gaTrackBlocks[i].Reference;
        const DK_VECTOR& b = gaTrackBlocks[i + 1].Reference;
        if (a.z == b.z)
            uCell = std::min(uCell, static_cast<uint32_t>(Abs32(FfSub(b.x, a.x))));
    }
    gxTrackCellSize = static_cast<int32_t>(uCell);
    for (int i = 0; i < n; ++i)
        std::fill(std::begin(gaTrackBlocks[i].aCorners), std::end(gaTrackBlocks[i].aCorners),
                  DK_VECTOR{0, 0, 0});
    gxTrackHalfCell = FfDiv(gxTrackCellSize, 2 << 16);

    gxTrackMinX = gaTrackBlocks[0].Reference.x;
    gxTrackMaxZ = gaTrackBlocks[0].Reference.z;
    for (int i = 1; i < n; ++i)
    {
        gxTrackMinX = std::min(gxTrackMinX, gaTrackBlocks[i].Reference.x);
        gxTrackMaxZ = std::max(gxTrackMaxZ, gaTrackBlocks[i].Reference.z);
    }

    // A grid of one row comes out one block short of the row.
    int nWidth = 1;
    while (nWidth < n - 1 &&
           gaTrackBlocks[nWidth - 1].Reference.z == gaTrackBlocks[nWidth].Reference.z)
        ++nWidth;
    guTrackGridWidth = static_cast<uint32_t>(nWidth);
    guTrackGridRows = guNumTrackBlocks / guTrackGridWidth;

    for (int i = 0; i < n; ++i)
        if (gaTrackBlocks[i].pMoveableList != nullptr)
            DKREPORT(DkFormatString("Trackblock %d is not NULL", i));

    FileFixedModels();
    FileWorldActors();
    FileWallLines();
    if (n > 0)
        ComputeCornerHeights();
    DkInitialiseLowLevelTBlockEB();
    DkComputeTrackBlockBounds();
}

int16_t DkGetTrackBlockIndex(int32_t x, int32_t, int32_t z)
{
    const int32_t h = gxTrackHalfCell;
    const int32_t nRow = FfDiv(Abs32(FfSub(z, FfAdd(gxTrackMaxZ, h))), gxTrackCellSize) >> 16;
    const int32_t nColumn = FfDiv(Abs32(FfSub(x, FfSub(gxTrackMinX, h))), gxTrackCellSize) >> 16;
    const int64_t nIndex = static_cast<int64_t>(nRow) * guTrackGridWidth + nColumn;
    return InGrid(nIndex) ? static_cast<int16_t>(nIndex) : 0;
}

int16_t DkFindNearestTrackBlock(const DK_VECTOR* pPoint)
{
    if (pPoint == nullptr)
        return -1;
    int16_t nNearest = -1;
    int32_t xNearest = kFarAway;
    for (uint32_t i = 0; i < guNumTrackBlocks && i < MAXTRACKBLOCKS; ++i)
    {
        const DK_VECTOR& r = gaTrackBlocks[i].Reference;
        const int32_t xSum =
            FfAdd(FfAdd(Abs32(FfSub(r.x, pPoint->x)), Abs32(FfSub(r.y, pPoint->y))),
                  Abs32(FfSub(r.z, pPoint->z)));
        const int32_t xMeasure = FfDiv(xSum, 3 << 16);
        if (xMeasure < xNearest)
        {
            xNearest = xMeasure;
            nNearest = static_cast<int16_t>(i);
        }
    }
    return nNearest;
}

void DkComputeVisibleTrackBlocks(const DK_ACTOR* pCamera, const DK_RECT*)
{
    gnNumVisibleBlocks = 0;
    std::fill(std::begin(gaVisibleBlockBits), std::end(gaVisibleBlockBits), 0u);
    const int n = static_cast<int>(std::min<uint32_t>(guNumTrackBlocks, MAXTRACKBLOCKS));
    if (gboDrawAllTrackBlocks)
    {
        for (int i = 0; i < n; ++i)
            if (gaTrackBlocks[i].pMesh != nullptr)
                ListBlock(i);
        return;
    }
    if (pCamera == nullptr || guTrackGridWidth == 0)
        return;

    const int32_t xClip = gxTrackClipDistance;
    const DK_POINT_XZ p = {pCamera->World.m[3][0], pCamera->World.m[3][2]};
    const int64_t m = FfDiv(xClip, gxTrackCellSize) >> 16;
    const int nWidth = static_cast<int>(guTrackGridWidth);
    const int nCentre = DkGetTrackBlockIndex(p.x, 0, p.z);
    const int64_t nColumn = nCentre % nWidth;
    const int64_t nRow = nCentre / nWidth;
    const int64_t nColumnFrom = std::max<int64_t>(0, nColumn - m - 1);
    const int64_t nColumnTo = std::min<int64_t>(nWidth, nColumn + m + 2);
    const int64_t nRowFrom = std::max<int64_t>(0, nRow - m - 1);
    const int64_t nRowTo = std::min<int64_t>(guTrackGridRows, nRow + m + 2);

    int32_t dx = 0, dz = 0;
    DkGetGroundDirection(pCamera, &dx, &dz);
    const DK_WEDGE wedge = DkMakeViewWedge(p, dx, dz, xClip);

    for (int64_t r = nRowFrom; r < nRowTo; ++r)
        for (int64_t k = nColumnFrom; k < nColumnTo; ++k)
        {
            const int i = static_cast<int>(r * nWidth + k);
            if (!InGrid(i))
                continue;
            DK_TRACK_BLOCK& block = gaTrackBlocks[i];
            const DK_POINT_XZ* fp = block.aFootprint;
            const bool boTaken = DkPointInWedge(&fp[2], &wedge) || DkPointInWedge(&fp[3], &wedge) ||
                                 DkPointInWedge(&fp[1], &wedge) || DkPointInWedge(&fp[0], &wedge) ||
                                 IsNineNeighbour(i, nCentre, nWidth);
            if (!boTaken)
                continue;
            block.xDistanceKey = DistanceKey(block.Reference, p);
            ListBlock(i);
        }
}

BOOL DkPointInTriangleXZ(const DK_POINT_XZ* pPoint, const DK_POINT_XZ* pA, const DK_POINT_XZ* pB,
                         const DK_POINT_XZ* pC)
{
    const DK_POINT_XZ& q = *pPoint;
    auto outside = [](int32_t v, int32_t a, int32_t b, int32_t c)
    { return (v < a && v < b && v < c) || (v > a && v > b && v > c); };
    if (outside(q.x, pA->x, pB->x, pC->x) || outside(q.z, pA->z, pB->z, pC->z))
        return FALSE;
    // Differences scaled down by 100 keep the products in range.
    auto side = [&q](const DK_POINT_XZ& s, const DK_POINT_XZ& e)
    {
        const int32_t qx = FfDiv(FfSub(q.x, s.x), kWedgeScale);
        const int32_t qz = FfDiv(FfSub(q.z, s.z), kWedgeScale);
        const int32_t ex = FfDiv(FfSub(e.x, s.x), kWedgeScale);
        const int32_t ez = FfDiv(FfSub(e.z, s.z), kWedgeScale);
        return FfAdd(FfMul(qx, ez), FfMul(qz, FfNeg(ex)));
    };
    return side(*pA, *pB) >= 0 && side(*pB, *pC) >= 0 && side(*pC, *pA) >= 0 ? TRUE : FALSE;
}

void DkGetGroundDirection(const DK_ACTOR* pCamera, int32_t* pxDx, int32_t* pxDz)
{
    DK_VECTOR view = {pCamera->World.m[2][0], 0, pCamera->World.m[2][2]};
    FfVecNormalise(&view, &view);
    *pxDx = view.x;
    *pxDz = view.z;
}

DK_WEDGE DkMakeViewWedge(DK_POINT_XZ Apex, int32_t xDx, int32_t xDz, int32_t xReach)
{
    const int32_t fx = FfMul(xReach, xDx);
    const int32_t fz = FfMul(xReach, xDz);
    return {Apex,
            {FfAdd(Apex.x, FfSub(fx, fz)), FfAdd(Apex.z, FfAdd(fz, fx))},
            {FfAdd(Apex.x, FfAdd(fx, fz)), FfAdd(Apex.z, FfSub(fz, fx))}};
}

BOOL DkPointInWedge(const DK_POINT_XZ* pPoint, const DK_WEDGE* pWedge)
{
    return DkPointInTriangleXZ(pPoint, &pWedge->Apex, &pWedge->B, &pWedge->C);
}

void DkSortVisibleTrackBlocks(void)
{
    bool boSwapped = true;
    while (boSwapped)
    {
        boSwapped = false;
        for (int i = 0; i + 1 < gnNumVisibleBlocks; ++i)
            if (gaTrackBlocks[gaVisibleBlocks[i]].xDistanceKey <
                gaTrackBlocks[gaVisibleBlocks[i + 1]].xDistanceKey)
            {
                std::swap(gaVisibleBlocks[i], gaVisibleBlocks[i + 1]);
                boSwapped = true;
            }
    }
}

BOOL DkIsTrackBlockVisible(int nBlock)
{
    return gboDrawAllTrackBlocks || DkIsTrackBlockInVisibleSet(nBlock) ? TRUE : FALSE;
}

BOOL DkIsTrackBlockInVisibleSet(int nBlock)
{
    if (gnNumVisibleBlocks == 0)
        return TRUE;
    if (nBlock < 0 || nBlock >= MAXTRACKBLOCKS)
        return FALSE;
    return gaVisibleBlockBits[nBlock >> 5] & (1u << (nBlock & 31)) ? TRUE : FALSE;
}

void DkSetDrawAllTrackBlocks(int16_t nValue)
{
    if (nValue == 0)
        gboDrawAllTrackBlocks = FALSE;
    else if (nValue == 1)
        gboDrawAllTrackBlocks = TRUE;
}

BOOL DkAppendActorToTrackBlock(DK_ACTOR* pActor, int nBlock)
{
    if (pActor == nullptr || !InGrid(nBlock))
        return FALSE;
    DK_TRACK_BLOCK& block = gaTrackBlocks[nBlock];
    DK_ACTOR** ppLink = &block.pMoveableList;
    for (; *ppLink != nullptr; ppLink = &(*ppLink)->pBlockLink)
        if (*ppLink == pActor)
        {
            pActor->nBlock = static_cast<int16_t>(nBlock);
            return TRUE;
        }
    // The actor ends the list, whatever link it carried from another list or its source.
    pActor->pBlockLink = nullptr;
    *ppLink = pActor;
    ++block.nNumMoveable;
    pActor->nBlock = static_cast<int16_t>(nBlock);
    return TRUE;
}

void DkUpdateActorTrackBlock(DK_ACTOR* pActor)
{
    if (pActor == nullptr)
        return;
    const int32_t x = pActor->World.m[3][0];
    const int32_t z = pActor->World.m[3][2];
    const int nCurrent = pActor->nBlock;
    const int nNew = InGrid(nCurrent) && WithinBlockSquare(x, z, nCurrent)
                         ? nCurrent
                         : DkGetTrackBlockIndex(x, pActor->World.m[3][1], z);
    FindNeighbourBlocks(x, z, nNew, pActor->anNeighbourBlocks);
    if (nNew == nCurrent || !InGrid(nNew))
        return;
    if (InGrid(nCurrent))
    {
        DK_TRACK_BLOCK& block = gaTrackBlocks[nCurrent];
        if (block.pMoveableList == nullptr)
        {
            DKREPORT("ERROR: Cannot find actor within the track block");
            return;
        }
        UnlinkFromBlock(block, pActor);
    }
    DkAppendActorToTrackBlock(pActor, nNew);
}

void DkAddActorToTrackBlock(DK_ACTOR* pActor)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR (DkAddActorToTrackBlock): Actor is NULL!");
        return;
    }
    if (pActor->nBlock != -1)
    {
        DKREPORT("ERROR (DkAddActorToTrackBlock): Actor already connected to track block!");
        return;
    }
    const int nBlock =
        DkGetTrackBlockIndex(pActor->World.m[3][0], pActor->World.m[3][1], pActor->World.m[3][2]);
    if (!DkAppendActorToTrackBlock(pActor, nBlock))
        DKREPORT("ERROR (DkAddActorToTrackBlock): cannot find actors track block!");
}

DK_ACTOR* DkRemoveActorFromTrackBlock(DK_ACTOR* pActor)
{
    if (pActor == nullptr)
    {
        DKREPORT("ERROR (DkRemoveActorFromTrackBlock): Actor is NULL!");
        return nullptr;
    }
    if (!InGrid(pActor->nBlock))
    {
        DKREPORT(DkFormatString("ERROR (DkRemoveActorFromTrackBlock): TBlock Index out of "
                                "range!: %d\nTotal number of t blocks=%u",
                                pActor->nBlock, guNumTrackBlocks));
        return pActor;
    }
    DK_TRACK_BLOCK& block = gaTrackBlocks[pActor->nBlock];
    if (block.pMoveableList == nullptr)
    {
        DKREPORT("ERROR (DkRemoveActorFromTrackBlock): TBlock has no moveable objects");
        return pActor;
    }
    if (!UnlinkFromBlock(block, pActor))
    {
        DKREPORT("ERROR (DkRemoveActorFromTrackBlock): Actor NOT found in Track Block!");
        return pActor;
    }
    pActor->nBlock = -1;
    return pActor;
}

int16_t DkFindModelTrackBlocks(const DK_FIXED_MODEL* pFixedModel, int16_t* anNeighbours)
{
    int16_t anFound[3] = {-1, -1, -1};
    int16_t nBlock = -1;
    if (pFixedModel != nullptr)
    {
        nBlock = DkFindNearestTrackBlock(&pFixedModel->Centre);
        FindNeighbourBlocks(pFixedModel->Centre.x, pFixedModel->Centre.z, nBlock, anFound);
    }
    if (anNeighbours != nullptr)
        std::copy(anFound, anFound + 3, anNeighbours);
    return nBlock;
}

int32_t DkCheckBlockHeight(int nCorner, int nBlock)
{
    if (!InGrid(nBlock))
    {
        DKREPORT(DkFormatString("DkCheckBlockHeight(): Block Index out of range!: %d", nBlock));
        return 0;
    }
    const DK_TRACK_BLOCK& block = gaTrackBlocks[nBlock];
    if (!HasVertices(block.pMesh))
    {
        DKREPORT("DkCheckBlockHeight(): vertex Block doens't have a model!");
        return 0;
    }
    if (nCorner < 0 || nCorner > 3)
    {
        DKREPORT("DkCheckBlockHeight(): Incorrect corner");
        return 0;
    }
    const int32_t h = gxTrackHalfCell;
    const int32_t cx =
        nCorner == 1 || nCorner == 2 ? FfAdd(block.Reference.x, h) : FfSub(block.Reference.x, h);
    const int32_t cz = nCorner <= 1 ? FfAdd(block.Reference.z, h) : FfSub(block.Reference.z, h);
    const DK_MODEL* pMesh = block.pMesh;
    int nNearest = 0;
    int32_t xNearest = 0;
    for (int i = 0; i < pMesh->nNumVertices; ++i)
    {
        const DK_VERTEX& v = pMesh->pVertices[i];
        const int32_t dx = FfSub(DkFloatToFixed(v.x), cx);
        const int32_t dz = FfSub(DkFloatToFixed(v.z), cz);
        const int32_t xDistance = FfSqrt(FfAdd(FfMul(dx, dx), FfMul(dz, dz)));
        if (i == 0 || xDistance < xNearest)
        {
            nNearest = i;
            xNearest = xDistance;
        }
    }
    return DkFloatToFixed(pMesh->pVertices[nNearest].y);
}

void DkComputeTrackBlockBounds(void)
{
    const int32_t h = gxTrackHalfCell;
    for (uint32_t i = 0; i < guNumTrackBlocks && i < MAXTRACKBLOCKS; ++i)
    {
        DK_TRACK_BLOCK& block = gaTrackBlocks[i];
        DK_POINT_XZ* fp = block.aFootprint;
        if (!HasVertices(block.pMesh))
        {
            const DK_VECTOR& r = block.Reference;
            fp[0] = {FfSub(r.x, h), FfSub(r.z, h)};
            fp[1] = {FfAdd(r.x, h), FfSub(r.z, h)};
            fp[2] = {FfAdd(r.x, h), FfAdd(r.z, h)};
            fp[3] = {FfSub(r.x, h), FfAdd(r.z, h)};
            continue;
        }
        // Whole units first, then scaled to 16.16.
        int32_t nMinX = INT32_MAX, nMaxX = INT32_MIN, nMinZ = INT32_MAX, nMaxZ = INT32_MIN;
        for (int v = 0; v < block.pMesh->nNumVertices; ++v)
        {
            const int32_t nX = DkTruncateFloat(block.pMesh->pVertices[v].x);
            const int32_t nZ = DkTruncateFloat(block.pMesh->pVertices[v].z);
            nMinX = std::min(nMinX, nX);
            nMaxX = std::max(nMaxX, nX);
            nMinZ = std::min(nMinZ, nZ);
            nMaxZ = std::max(nMaxZ, nZ);
        }
        auto fixed = [](int32_t n) { return static_cast<int32_t>(static_cast<uint32_t>(n) << 16); };
        fp[0] = {fixed(nMinX), fixed(nMaxZ)};
        fp[1] = {fixed(nMaxX), fixed(nMaxZ)};
        fp[2] = {fixed(nMaxX), fixed(nMinZ)};
        fp[3] = {fixed(nMinX), fixed(nMinZ)};
    }
}

BOOL DkTrackDestructor(void)
{
    ClearRecords();
    gboTrackDestructorAdded = FALSE;
    return TRUE;
}

void DkClearTrackBlocks(void)
{
    ClearRecords();
    guNumTrackBlocks = 0;
}

void DkInitialiseLowLevelTBlockEB(void)
{
    if (gboLowLevelEBReady)
    {
        DKREPORT("DkInitialiseLowLevelTBlockEB(): Already Initialised!");
        return;
    }
    if (d3d->lpD3DDevice != nullptr)
    {
        D3DEXECUTEBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwBufferSize = kLowLevelBufferBytes;
        TRYDD(d3d->lpD3DDevice->CreateExecuteBuffer(&desc, &gpLowLevelEB, nullptr));
    }
    const uint8_t aGrey[4] = {150, 150, 150, 255};
    DK_MATERIAL* pMaterial = nullptr;
    DkCreateMaterial(&pMaterial, nullptr, FALSE, aGrey, aGrey, nullptr, 20.0f, 1);
    gboLowLevelEBReady = TRUE;
    DkAddDestructor(DkDestroyLowLevelTBlockEB, "Lowlevel track Destructor");
}

BOOL DkDestroyLowLevelTBlockEB(void)
{
    if (!gboLowLevelEBReady)
    {
        DKREPORT("DkDestroyLowLevelTBlockEB(): Not Initialised!");
        return TRUE;
    }
    if (gpLowLevelEB != nullptr)
        DkReleaseTraced(gpLowLevelEB, "lpLowLevelTBlockEB", TRUE);
    gboLowLevelEBReady = FALSE;
    return TRUE;
}
