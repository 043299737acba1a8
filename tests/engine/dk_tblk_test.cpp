// Track blocks on hand-built grids: the grid, block look-up, what is filed on each block, the
// shared corner heights, the visible set and the re-filing of moving actors.

#include "engine/pc/3d/dk_tblk.h"

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/engine/scene_fixture.h"

namespace
{

// Blocks of 10.0 with centres at x = 10 k, z = -10 r: block 0 at the origin, rows running
// towards -Z. The grid covers x from -5 to 95 and z from 5 to -95.
class DkTblkTest : public SceneTest
{
protected:
    void Grid(int nRows, int nColumns, int nCount = -1, int32_t xCell = Fx(10))
    {
        const int n = nCount >= 0 ? nCount : nRows * nColumns;
        for (int i = 0; i < n; ++i)
            gaTrackBlocks[i].Reference = {(i % nColumns) * xCell, 0, -(i / nColumns) * xCell};
        guNumTrackBlocks = static_cast<uint32_t>(n);
    }
    std::string Build()
    {
        return CaptureOutput([] { DkInitialiseTrackBlocks(); });
    }
    // A world-space mesh of the given vertices (x, y, z in whole units).
    DK_MODEL* Mesh(std::vector<DK_VERTEX> vertices)
    {
        vertexLists.push_back(std::move(vertices));
        meshes.emplace_back();
        DK_MODEL& mesh = meshes.back();
        mesh.pVertices = vertexLists.back().data();
        mesh.nNumVertices = static_cast<int32_t>(vertexLists.back().size());
        mesh.Scale = {-ONE, -ONE, -ONE};
        return &mesh;
    }
    static DK_VERTEX Vertex(float x, float y, float z)
    {
        DK_VERTEX v{};
        v.x = x;
        v.y = y;
        v.z = z;
        return v;
    }
    static std::vector<DK_ACTOR*> Moveables(int nBlock)
    {
        std::vector<DK_ACTOR*> list;
        for (DK_ACTOR* p = gaTrackBlocks[nBlock].pMoveableList; p != nullptr && list.size() < 64;
             p = p->pBlockLink)
            list.push_back(p);
        return list;
    }
    static std::vector<int> VisibleList()
    {
        return std::vector<int>(gaVisibleBlocks, gaVisibleBlocks + gnNumVisibleBlocks);
    }
    DK_ACTOR* ActorAt(int32_t x, int32_t z)
    {
        DK_ACTOR* pActor = DkCreateActor(World());
        pActor->Local = pActor->World = Translation(x, 0, z);
        return pActor;
    }

    std::deque<std::vector<DK_VERTEX>> vertexLists;
    std::deque<DK_MODEL> meshes;
};

TEST_F(DkTblkTest, TheGridTakesItsCellWidthAndRowsFromTheBlocks)
{
    struct Case
    {
        const char* pszName;
        int nRows, nColumns, nCount;
        uint32_t uWidth, uRows;
    };
    const Case cases[] = {
        {"10 x 10", 10, 10, -1, 10, 10},
        // One row comes out one block short of itself.
        {"one row of 5", 1, 5, -1, 4, 1},
        {"two rows and 3", 3, 10, 23, 10, 2},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.pszName);
        Grid(k.nRows, k.nColumns, k.nCount);
        Build();
        EXPECT_EQ(gxTrackCellSize, Fx(10));
        EXPECT_EQ(gxTrackHalfCell, Fx(5));
        EXPECT_EQ(guTrackGridWidth, k.uWidth);
        EXPECT_EQ(guTrackGridRows, k.uRows);
        EXPECT_EQ(gxTrackMinX, 0);
        EXPECT_EQ(gxTrackMaxZ, 0);
        EXPECT_TRUE(gboTrackBlocksActive);
        DkClearTrackBlocks();
    }
}

TEST_F(DkTblkTest, PositionsMapToBlocksFoldingBackIntoTheGrid)
{
    Grid(10, 10);
    Build();
    struct Case
    {
        double x, z;
        int nBlock;
    };
    const Case cases[] = {
        {0, 0, 0},
        {-4.9, 4.9, 0},
        {12, -27, 31},
        {94.9, -94.9, 99},
        // One and a half cells left of the grid folds back to column 1, not 0.
        {-20, 0, 1},
        {-20, -30, 31},
        // Off the far corner: row 10, column 20 is no block.
        {200, -95, 0},
        {45, -500, 0},
    };
    for (const Case& k : cases)
        EXPECT_EQ(DkGetTrackBlockIndex(Fx(k.x), Fx(123), Fx(k.z)), k.nBlock)
            << "(" << k.x << ", " << k.z << ")";

    const DK_VECTOR near = {Fx(41), Fx(3), Fx(-58)};
    EXPECT_EQ(DkFindNearestTrackBlock(&near), 64);
    DkClearTrackBlocks();
    EXPECT_EQ(DkFindNearestTrackBlock(&near), -1);
}

TEST_F(DkTblkTest, CornersShareTheLowestNearestVertexHeightPlusOne)
{
    Grid(10, 10);
    // Meshes on the four blocks round the grid vertex (5, -5), each with a vertex at every
    // corner of its square (heights in the table) and a decoy near its centre.
    const float aHeights[4][4] = {
        {2.0f, 3.0f, 4.0f, 5.0f}, // block 0, corners 0 to 3
        {1.5f, 8.0f, 8.0f, 6.0f}, // block 1
        {8.0f, 2.5f, 8.0f, 8.0f}, // block 10
        {7.0f, 8.0f, 8.0f, 8.0f}, // block 11
    };
    const int aBlocks[4] = {0, 1, 10, 11};
    for (int i = 0; i < 4; ++i)
    {
        const DK_VECTOR& c = gaTrackBlocks[aBlocks[i]].Reference;
        const float x = c.x / 65536.0f, z = c.z / 65536.0f;
        gaTrackBlocks[aBlocks[i]].pMesh = Mesh({
            Vertex(x, -50.0f, z),
            Vertex(x - 5, aHeights[i][0], z + 5),
            Vertex(x + 5, aHeights[i][1], z + 5),
            Vertex(x + 5, aHeights[i][2], z - 5),
            Vertex(x - 5, aHeights[i][3], z - 5),
        });
    }
    Build();

    struct Case
    {
        int nBlock, nCorner;
        DK_VECTOR expected;
    };
    const Case cases[] = {
        // (5, -5): the lowest of 4.0, 6.0, 2.5 and 7.0, plus 1.0, on all four blocks.
        {0, 2, {Fx(5), Fx(3.5), Fx(-5)}},
        {1, 3, {Fx(5), Fx(3.5), Fx(-5)}},
        {10, 1, {Fx(5), Fx(3.5), Fx(-5)}},
        {11, 0, {Fx(5), Fx(3.5), Fx(-5)}},
        // (-5, 5): block 0 alone.
        {0, 0, {Fx(-5), Fx(3), Fx(5)}},
        // (5, 5): 3.0 from block 0, 1.5 from block 1.
        {0, 1, {Fx(5), Fx(2.5), Fx(5)}},
        {1, 0, {Fx(5), Fx(2.5), Fx(5)}},
        // (25, -5): blocks 2 and 12 have no mesh, blocks 1 and 11 do not touch it.
        {2, 2, {Fx(25), Fx(10), Fx(-5)}},
        // No mesh anywhere near.
        {55, 0, {Fx(45), Fx(10), Fx(-45)}},
        {44, 2, {Fx(45), Fx(10), Fx(-45)}},
        {99, 2, {Fx(95), Fx(10), Fx(-95)}},
    };
    for (const Case& k : cases)
    {
        const DK_VECTOR& got = gaTrackBlocks[k.nBlock].aCorners[k.nCorner];
        EXPECT_EQ(got.x, k.expected.x) << "block " << k.nBlock << " corner " << k.nCorner;
        EXPECT_EQ(got.y, k.expected.y) << "block " << k.nBlock << " corner " << k.nCorner;
        EXPECT_EQ(got.z, k.expected.z) << "block " << k.nBlock << " corner " << k.nCorner;
    }
}

TEST_F(DkTblkTest, ALastPartialRowGetsOnlyItsUpperCorners)
{
    Grid(3, 10, 23);
    Build();
    // Block 21: row 2, column 1, centre (10, -20).
    const DK_VECTOR* c = gaTrackBlocks[21].aCorners;
    EXPECT_EQ(c[0].x, Fx(5));
    EXPECT_EQ(c[0].y, Fx(10));
    EXPECT_EQ(c[0].z, Fx(-15));
    EXPECT_EQ(c[1].x, Fx(15));
    for (int corner : {2, 3})
    {
        EXPECT_EQ(c[corner].x, 0);
        EXPECT_EQ(c[corner].y, 0);
        EXPECT_EQ(c[corner].z, 0);
    }
    // The full row above it gets all four, the lower ones shared with the partial row.
    EXPECT_EQ(gaTrackBlocks[11].aCorners[3].z, Fx(-15));
    EXPECT_EQ(gaTrackBlocks[11].aCorners[3].y, Fx(10));
    EXPECT_EQ(gaTrackBlocks[13].aCorners[2].x, Fx(35));
}

TEST_F(DkTblkTest, BlockHeightTakesTheFirstNearestVertexAndReportsBadArguments)
{
    Grid(2, 2);
    // Corner 1 of block 0 is (5, 5): two vertices 1.0 from it, the first of them wins.
    gaTrackBlocks[0].pMesh =
        Mesh({Vertex(0, 9, 0), Vertex(6, 2.75f, 5), Vertex(5, 3.5f, 4), Vertex(-5, 1, -5)});
    Build();
    EXPECT_EQ(DkCheckBlockHeight(1, 0), Fx(2.75));
    EXPECT_EQ(DkCheckBlockHeight(3, 0), Fx(1));

    struct Case
    {
        int nCorner, nBlock;
        const char* pszReport;
    };
    const Case cases[] = {
        {0, 4, "DkCheckBlockHeight(): Block Index out of range!: 4"},
        {0, -1, "DkCheckBlockHeight(): Block Index out of range!: -1"},
        {0, 1, "DkCheckBlockHeight(): vertex Block doens't have a model!"},
        {4, 0, "DkCheckBlockHeight(): Incorrect corner"},
    };
    for (const Case& k : cases)
    {
        int32_t xHeight = -1;
        std::string out = CaptureOutput([&] { xHeight = DkCheckBlockHeight(k.nCorner, k.nBlock); });
        EXPECT_TRUE(Reported(out, k.pszReport)) << out;
        EXPECT_EQ(xHeight, 0);
    }
}

TEST_F(DkTblkTest, FootprintsComeFromWholeMeshUnitsOrTheCellSquare)
{
    Grid(1, 3);
    gaTrackBlocks[1].pMesh =
        Mesh({Vertex(-5.7f, 0, 5.9f), Vertex(4.2f, 0, -4.8f), Vertex(15.5f, 0, 0)});
    Build();
    const DK_POINT_XZ* fp = gaTrackBlocks[1].aFootprint;
    const DK_POINT_XZ expected[4] = {
        {Fx(-5), Fx(5)}, {Fx(15), Fx(5)}, {Fx(15), Fx(-4)}, {Fx(-5), Fx(-4)}};
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(fp[i].x, expected[i].x) << i;
        EXPECT_EQ(fp[i].z, expected[i].z) << i;
    }
    // Without a mesh: the cell's square round the centre (20, 0).
    const DK_POINT_XZ* square = gaTrackBlocks[2].aFootprint;
    const DK_POINT_XZ expectedSquare[4] = {
        {Fx(15), Fx(-5)}, {Fx(25), Fx(-5)}, {Fx(25), Fx(5)}, {Fx(15), Fx(5)}};
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(square[i].x, expectedSquare[i].x) << i;
        EXPECT_EQ(square[i].z, expectedSquare[i].z) << i;
    }
}

TEST_F(DkTblkTest, TheBuildFilesFixedModelsActorsAndWallLines)
{
    Grid(10, 10);
    DK_FIXED_MODEL* pFirst = DkCreateFixedModel();
    DK_FIXED_MODEL* pSecond = DkCreateFixedModel();
    pFirst->Centre = {Fx(1), 0, Fx(-2)};
    pSecond->Centre = {Fx(-3), Fx(2), Fx(1)};
    DK_ACTOR* pA = ActorAt(Fx(31), Fx(-40));
    DK_ACTOR* pCamera = ActorAt(Fx(31), Fx(-40));
    pCamera->uId = DK_CAMERA_ACTOR_ID;
    DK_ACTOR* pB = ActorAt(Fx(29), Fx(-41));

    // Lines 3 and 5 name blocks off either end of the grid.
    TrackTrigger lines[6]{};
    const int32_t aBlocks[6] = {5, 7, 5, 100, 5, -1};
    for (int i = 0; i < 6; ++i)
        lines[i].uNext = static_cast<uint32_t>(aBlocks[i]);
    gpWallLines = lines;
    gnNumWallLines = 6;

    std::string out = Build();
    EXPECT_TRUE(Reported(out, "DkInitialiseTrackBlocks(): wall line 3 is on no track block (100)"))
        << out;
    EXPECT_TRUE(Reported(out, "DkInitialiseTrackBlocks(): wall line 5 is on no track block (-1)"))
        << out;
    EXPECT_EQ(CountReports(out), 2) << out;

    // Fixed models go first on their list, actors last on theirs; cameras stay off the blocks.
    EXPECT_EQ(gaTrackBlocks[0].pFixedList, pSecond);
    EXPECT_EQ(pSecond->pNext, pFirst);
    EXPECT_EQ(gaTrackBlocks[0].nNumFixed, 2);
    EXPECT_EQ(Moveables(43), (std::vector<DK_ACTOR*>{pA, pB}));
    EXPECT_EQ(gaTrackBlocks[43].nNumMoveable, 2);
    EXPECT_EQ(pA->nBlock, 43);
    EXPECT_EQ(pCamera->nBlock, -1);

    // Each line's link holds the next line's index plus one; the last pushed comes first.
    EXPECT_EQ(gaTrackBlocks[5].pWallList, &lines[4]);
    EXPECT_EQ(lines[4].uNext, 3u);
    EXPECT_EQ(lines[2].uNext, 1u);
    EXPECT_EQ(lines[0].uNext, 0u);
    EXPECT_EQ(gaTrackBlocks[5].nNumWalls, 3);
    EXPECT_EQ(gaTrackBlocks[7].pWallList, &lines[1]);
    EXPECT_EQ(lines[1].uNext, 0u);
    EXPECT_EQ(gaTrackBlocks[7].nNumWalls, 1);
    EXPECT_EQ(lines[3].uNext, 0u);
    EXPECT_EQ(lines[5].uNext, 0u);

    // A second build finds the actors already filed.
    gnNumWallLines = 0;
    out = Build();
    EXPECT_TRUE(Reported(out, "Trackblock 43 is not NULL")) << out;
    EXPECT_TRUE(Reported(out, "DkInitialiseLowLevelTBlockEB(): Already Initialised!")) << out;
}

TEST_F(DkTblkTest, TheBuildRegistersItsDestructorsOnce)
{
    auto registered = [](const char* pszName)
    {
        int n = 0;
        for (int i = 0; i < gnNumDestructors; ++i)
            n += std::string(gaDestructors[i].szName) == pszName;
        return n;
    };
    Grid(2, 2);
    Build();
    Build();
    EXPECT_EQ(registered("Track Destructor"), 1);
    EXPECT_EQ(registered("Lowlevel track Destructor"), 1);

    EXPECT_TRUE(DkDestroyLowLevelTBlockEB());
    std::string out = CaptureOutput([] { DkDestroyLowLevelTBlockEB(); });
    EXPECT_TRUE(Reported(out, "DkDestroyLowLevelTBlockEB(): Not Initialised!")) << out;

    // The track destructor clears every record and leaves the count.
    gaTrackBlocks[3].nNumMoveable = 2;
    EXPECT_TRUE(DkTrackDestructor());
    EXPECT_EQ(gaTrackBlocks[3].nNumMoveable, 0);
    EXPECT_EQ(gaTrackBlocks[1].Reference.x, 0);
    EXPECT_EQ(guNumTrackBlocks, 4u);
}

TEST_F(DkTblkTest, WithNoBlockToHoldThemItemsAreReportedAndLeftOff)
{
    guNumTrackBlocks = 0;
    DK_FIXED_MODEL* pFixed = DkCreateFixedModel();
    DK_ACTOR* pActor = ActorAt(Fx(1), Fx(1));
    pActor->uId = 17;
    TrackTrigger line{};
    line.uNext = 0;
    gpWallLines = &line;
    gnNumWallLines = 1;

    std::string out = Build();
    EXPECT_TRUE(Reported(out, "DkInitialiseTrackBlocks(): fixed model 0 is on no track block (-1)"))
        << out;
    EXPECT_TRUE(Reported(out, "DkInitialiseTrackBlocks(): actor 17 is on no track block (-1)"))
        << out;
    EXPECT_TRUE(Reported(out, "DkInitialiseTrackBlocks(): wall line 0 is on no track block (0)"))
        << out;
    EXPECT_EQ(pFixed->pNext, nullptr);
    EXPECT_EQ(pActor->nBlock, -1);
    EXPECT_EQ(gaTrackBlocks[0].pFixedList, nullptr);
    EXPECT_EQ(gaTrackBlocks[0].pMoveableList, nullptr);
    EXPECT_EQ(gaTrackBlocks[0].pWallList, nullptr);
}

TEST_F(DkTblkTest, TheVisibleSetIsTheWedgeAndTheCamerasNineNeighbours)
{
    Grid(10, 10);
    Build();
    gxTrackClipDistance = Fx(20);
    // Looking along +Z from (51, -50) in block 55: a wedge 20 deep whose base runs from about
    // (31, -30) to (71, -30). Footprint corners inside it: (45..65, -35) and (55, -45).
    DK_ACTOR camera{};
    camera.World = Translation(Fx(51), Fx(2), Fx(-50));
    DkComputeVisibleTrackBlocks(&camera, nullptr);

    const std::vector<int> expected = {34, 35, 36, 37, 44, 45, 46,
                                       47, 54, 55, 56, 64, 65, 66}; // 64-66 are behind it
    EXPECT_EQ(VisibleList(), expected);
    int nBits = 0;
    for (int i = 0; i < MAXTRACKBLOCKS; ++i)
    {
        const bool boBit = gaVisibleBlockBits[i >> 5] & (1u << (i & 31));
        const bool boListed = std::find(expected.begin(), expected.end(), i) != expected.end();
        EXPECT_EQ(boBit, boListed) << "block " << i;
        EXPECT_EQ(DkIsTrackBlockVisible(i) != 0, boListed) << "block " << i;
        nBits += boBit;
    }
    EXPECT_EQ(nBits, gnNumVisibleBlocks);
    EXPECT_EQ(gaTrackBlocks[37].xDistanceKey, Fx(19 * 19 + 20 * 20));
    EXPECT_EQ(gaTrackBlocks[55].nClipCode, 0);
    EXPECT_EQ(gaTrackBlocks[55].nListed, 1);

    // Farthest first; equal keys keep their order.
    DkSortVisibleTrackBlocks();
    EXPECT_EQ(VisibleList(),
              (std::vector<int>{37, 34, 36, 47, 35, 44, 64, 46, 66, 54, 45, 65, 56, 55}));
}

TEST_F(DkTblkTest, ShowAllListsEveryBlockWithAMeshAndNoSetShowsEverything)
{
    Grid(2, 3);
    gaTrackBlocks[1].pMesh = Mesh({Vertex(10, 0, 0)});
    gaTrackBlocks[4].pMesh = Mesh({Vertex(10, 0, -10)});
    Build();
    EXPECT_TRUE(DkIsTrackBlockVisible(5)); // no set computed

    DkSetDrawAllTrackBlocks(1);
    DkSetDrawAllTrackBlocks(7); // neither 0 nor 1: no change
    EXPECT_TRUE(gboDrawAllTrackBlocks);
    DkComputeVisibleTrackBlocks(nullptr, nullptr);
    EXPECT_EQ(VisibleList(), (std::vector<int>{1, 4}));
    EXPECT_TRUE(DkIsTrackBlockVisible(0));
    EXPECT_FALSE(DkIsTrackBlockInVisibleSet(0));
    EXPECT_TRUE(DkIsTrackBlockInVisibleSet(4));
    DkSetDrawAllTrackBlocks(0);
    EXPECT_FALSE(DkIsTrackBlockVisible(0));
    EXPECT_FALSE(DkIsTrackBlockVisible(-3));
    EXPECT_FALSE(DkIsTrackBlockVisible(MAXTRACKBLOCKS + 9));
}

TEST_F(DkTblkTest, DistanceKeysSaturateSoFarBlocksSortFirst)
{
    // Cells of 150.0: the edge neighbours are 22,500.0 away squared, the corners 45,000.0,
    // past what 16.16 holds.
    Grid(3, 3, -1, Fx(150));
    Build();
    DK_ACTOR camera{};
    camera.World = Translation(Fx(150), 0, Fx(-150));
    DkComputeVisibleTrackBlocks(&camera, nullptr);
    EXPECT_EQ(gnNumVisibleBlocks, 9);
    EXPECT_EQ(gaTrackBlocks[0].xDistanceKey, INT32_MAX);
    EXPECT_EQ(gaTrackBlocks[1].xDistanceKey, Fx(22500));
    DkSortVisibleTrackBlocks();
    EXPECT_EQ(VisibleList(), (std::vector<int>{0, 2, 6, 8, 1, 3, 5, 7, 4}));

    // Cells of 31,000.0 with the camera on the far left edge of block 0: block 1 is 46,500.0
    // away, whose square does not fit even 63 bits, and still its key only saturates.
    DkClearTrackBlocks();
    Grid(2, 2, -1, Fx(31000));
    for (int i = 0; i < 4; ++i)
        gaTrackBlocks[i].Reference.x -= Fx(15000);
    Build();
    camera.World = Translation(Fx(-30500), 0, Fx(-10));
    DkComputeVisibleTrackBlocks(&camera, nullptr);
    EXPECT_EQ(VisibleList(), (std::vector<int>{0, 1, 2, 3}));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(gaTrackBlocks[i].xDistanceKey, INT32_MAX) << "block " << i;
}

TEST_F(DkTblkTest, AnActorNearTheEdgesRecordsTheBlocksItOverlaps)
{
    Grid(10, 10);
    Build();
    struct Case
    {
        double x, z;
        int nBlock;
        int16_t anNeighbours[3];
    };
    const Case cases[] = {
        // Within 4.5 of block 55's right and upper edges: right, above, above-right.
        {52, -47, 55, {56, 45, 46}},
        {47, -53, 55, {54, 65, 64}},
        {50, -50, 55, {-1, -1, -1}},
        // The Z neighbour takes the first free entry.
        {50, -46, 55, {45, -1, -1}},
        // Off the grid a neighbour is -1: no row above block 0, no column left of it...
        {-3, 3, 0, {-1, -1, -1}},
        // ...and none right of block 9, though block 10 follows it in the table.
        {93, -3, 9, {-1, 19, -1}},
    };
    for (const Case& k : cases)
    {
        DK_ACTOR* pActor = ActorAt(Fx(k.x), Fx(k.z));
        ASSERT_TRUE(DkAppendActorToTrackBlock(pActor, k.nBlock));
        DkUpdateActorTrackBlock(pActor);
        EXPECT_EQ(pActor->nBlock, k.nBlock);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(pActor->anNeighbourBlocks[i], k.anNeighbours[i])
                << "(" << k.x << ", " << k.z << ") entry " << i;
    }

    DK_FIXED_MODEL* pFixed = DkCreateFixedModel();
    pFixed->Centre = {Fx(52), 0, Fx(-47)};
    int16_t anFound[3];
    EXPECT_EQ(DkFindModelTrackBlocks(pFixed, anFound), 55);
    EXPECT_EQ(anFound[0], 56);
    EXPECT_EQ(anFound[1], 45);
    EXPECT_EQ(anFound[2], 46);
}

TEST_F(DkTblkTest, AMovingActorIsReFiledAsItCrossesBlocks)
{
    Grid(10, 10);
    DK_ACTOR* pBefore = ActorAt(Fx(50), Fx(-50));
    DK_ACTOR* pMover = ActorAt(Fx(50), Fx(-50));
    DK_ACTOR* pAfter = ActorAt(Fx(50), Fx(-50));
    DK_ACTOR* pThere = ActorAt(Fx(60), Fx(-50));
    Build();
    ASSERT_EQ(Moveables(55), (std::vector<DK_ACTOR*>{pBefore, pMover, pAfter}));

    // On the edge it stays.
    const DK_VECTOR toEdge = {Fx(5), 0, 0};
    DkMoveActorPosition(pMover, &toEdge);
    DkUpdateActorTree(World());
    EXPECT_EQ(pMover->nBlock, 55);

    const DK_VECTOR across = {Fx(1), 0, 0};
    DkMoveActorPosition(pMover, &across);
    DkUpdateActorTree(World());
    EXPECT_EQ(pMover->nBlock, 56);
    EXPECT_EQ(Moveables(55), (std::vector<DK_ACTOR*>{pBefore, pAfter}));
    EXPECT_EQ(Moveables(56), (std::vector<DK_ACTOR*>{pThere, pMover}));
    EXPECT_EQ(gaTrackBlocks[55].nNumMoveable, 2);
    EXPECT_EQ(gaTrackBlocks[56].nNumMoveable, 2);
    EXPECT_EQ(pMover->anNeighbourBlocks[0], 55);
}

TEST_F(DkTblkTest, AddAndRemoveCheckTheBlockAndAnAppendEndsTheList)
{
    Grid(10, 10);
    Build();
    DK_ACTOR* pFirst = ActorAt(Fx(20), Fx(-10));
    DK_ACTOR* pSecond = ActorAt(Fx(21), Fx(-11));
    DkAddActorToTrackBlock(pFirst);
    DkAddActorToTrackBlock(pSecond);
    ASSERT_EQ(Moveables(12), (std::vector<DK_ACTOR*>{pFirst, pSecond}));

    // A stale link, as a copied record carries, must not splice block 12's tail onto block 3.
    DK_ACTOR* pStale = ActorAt(Fx(30), Fx(0));
    pStale->pBlockLink = pSecond;
    DkAddActorToTrackBlock(pStale);
    EXPECT_EQ(Moveables(3), (std::vector<DK_ACTOR*>{pStale}));
    EXPECT_EQ(gaTrackBlocks[3].nNumMoveable, 1);

    std::string out = CaptureOutput([&] { DkAddActorToTrackBlock(pStale); });
    EXPECT_TRUE(
        Reported(out, "ERROR (DkAddActorToTrackBlock): Actor already connected to track block!"))
        << out;

    EXPECT_EQ(DkRemoveActorFromTrackBlock(pFirst), pFirst);
    EXPECT_EQ(pFirst->nBlock, -1);
    EXPECT_EQ(pFirst->pBlockLink, nullptr);
    EXPECT_EQ(Moveables(12), (std::vector<DK_ACTOR*>{pSecond}));

    struct Case
    {
        int16_t nBlock;
        const char* pszReport;
    };
    const Case cases[] = {
        {-1, "ERROR (DkRemoveActorFromTrackBlock): TBlock Index out of range!: -1\nTotal number "
             "of t blocks=100"},
        {100, "ERROR (DkRemoveActorFromTrackBlock): TBlock Index out of range!: 100\nTotal "
              "number of t blocks=100"},
        {40, "ERROR (DkRemoveActorFromTrackBlock): TBlock has no moveable objects"},
        {12, "ERROR (DkRemoveActorFromTrackBlock): Actor NOT found in Track Block!"},
    };
    for (const Case& k : cases)
    {
        pFirst->nBlock = k.nBlock;
        std::string report = CaptureOutput([&] { DkRemoveActorFromTrackBlock(pFirst); });
        EXPECT_TRUE(Reported(report, k.pszReport)) << report;
    }
    EXPECT_EQ(Moveables(12), (std::vector<DK_ACTOR*>{pSecond}));
}

} // namespace
