// Collisions with track objects and cars: a box car driven into static boxes is pushed back
// along its approach with its normal speed removed, damaged and sounded only on the first tick
// of a contact; the two-player and detail gates; the corner normals and the roll they start;
// soft objects; knockable boxes of each mass class; car against car by shared blocks; and the
// knockable objects' lists by block.
#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "tests/game/objects_fixture.h"

namespace
{

using CollisionTest = ObjectsTest;

double U(int32_t v)
{
    return Units(v);
}

TEST_F(CollisionTest, AStaticBoxPushesTheCarOutAlongItsApproachAndTakesItsNormalSpeed)
{
    // The box overlaps the car's front (or side) by 0.2 as the car comes on at 0.5 a tick.
    struct Case
    {
        const char* name;
        DK_VECTOR velocity;
        DK_VECTOR box;
        DK_VECTOR expectedAt;
        DK_VECTOR expectedNormal;
    } cases[] = {
        {"head on", {ONE / 2, 0, 0}, {Fixed(2.8), Fixed(1.0), 0}, {Fixed(-0.2), Fixed(0.7), 0},
         {ONE, 0, 0}},
        {"into its side", {0, 0, ONE / 2}, {0, Fixed(1.0), Fixed(1.8)},
         {0, Fixed(0.7), Fixed(-0.2)}, {0, 0, ONE}},
        {"backing", {-ONE / 2, 0, 0}, {Fixed(-2.8), Fixed(1.0), 0}, {Fixed(0.2), Fixed(0.7), 0},
         {ONE, 0, 0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Coll_ClearAll();
        PrangSnd_ResetForTests();
        CarBody* pCar = BoxCar(0, {0, Fixed(0.7), 0}, c.velocity);
        StaticBox(c.box, {ONE, ONE, ONE}, 3);
        EXPECT_TRUE(Coll_CarVsTrackObjects(pCar));
        EXPECT_NEAR(U(pCar->Position.x), U(c.expectedAt.x), 0.002);
        EXPECT_NEAR(U(pCar->Position.z), U(c.expectedAt.z), 0.002);
        EXPECT_EQ(pCar->Position.y, c.expectedAt.y);
        EXPECT_NEAR(U(pCar->ContactPoint[0].x - pCar->Position.x), 2.0, 0.0001)
            << "the contact points move with the car";
        DK_VECTOR normal;
        int32_t xRoll, xCorner;
        Coll_GetContactForTests(&normal, &xRoll, &xCorner);
        EXPECT_EQ(normal.x, c.expectedNormal.x);
        EXPECT_EQ(normal.z, c.expectedNormal.z);
        EXPECT_EQ(xRoll, 10 * ONE);
        EXPECT_EQ(xCorner, 87949);
        // No bounce: the impulse cancels the velocity into the box and nothing more.
        EXPECT_EQ(pCar->ExtForce.x, FfNeg(c.velocity.x));
        EXPECT_EQ(pCar->ExtForce.z, FfNeg(c.velocity.z));
        EXPECT_EQ(pCar->ExtForce.y, 0);
        EXPECT_EQ(pCar->Rolling, 0);
        EXPECT_EQ(PrangSnd_GetImpactCallsForTests(), 1);
        CaptureOutput([] { DkKillAllObjects(); });
    }
}

TEST_F(CollisionTest, OnlyTheFirstTickOfAContactDamagesTheRestPlayTheObjectHitSound)
{
    CarBody* pCar = BoxCar(0, {0, Fixed(0.7), 0}, {ONE / 2, 0, 0});
    StaticBox({Fixed(2.8), Fixed(1.0), 0}, {ONE, ONE, ONE}, 3);
    const DK_VECTOR velocity = {ONE / 2, 0, 0};
    struct Tick
    {
        const char* name;
        double x;
        bool contact;
        int impacts;
        int hits;
        int jolts;
    } ticks[] = {
        {"first touch", 0.0, true, 1, 0, 1},
        {"still pressing", 0.0, true, 1, 1, 1},
        {"sliding along", 0.1, true, 1, 2, 1},
        {"clear of it", -3.0, false, 1, 2, 1},
        {"touching again", 0.0, true, 2, 2, 2},
    };
    for (const Tick& t : ticks)
    {
        SCOPED_TRACE(t.name);
        Place(pCar, {Fixed(t.x), Fixed(0.7), 0}, velocity);
        EXPECT_EQ(Coll_CarVsTrackObjects(pCar), t.contact ? TRUE : FALSE);
        EXPECT_EQ(PrangSnd_GetImpactCallsForTests(), t.impacts);
        EXPECT_EQ(PrangSnd_GetObjectHitCallsForTests(), t.hits);
        EXPECT_EQ(ForceFeedback_GetJoltCallsForTests(), t.jolts);
        EXPECT_EQ(ForceFeedback_GetImpactCallsForTests(), t.jolts);
    }
    EXPECT_EQ(PrangSnd_GetLastObjectHitForTests().nValue, 3) << "the object's material kind";
}

TEST_F(CollisionTest, TheTwoPlayerAndDetailGatesLetTheCarThrough)
{
    struct Case
    {
        const char* name;
        int gameType;
        uint8_t twoPlayerByte;
        uint8_t minimumDetail;
        bool contact;
    } cases[] = {
        {"one player", 0, 0, 0, true},
        {"two players, allowed", 1, 1, 0, true},
        {"two players, not allowed", 1, 0, 0, false},
        {"split-screen collisions, not allowed", 3, 0, 0, false},
        {"taking turns", 2, 0, 0, true},
        {"detail at the object's level", 0, 1, 2, true},
        {"detail below the object's level", 0, 1, 3, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Coll_ClearAll();
        gnObjectsGameType = c.gameType;
        CarBody* pCar = BoxCar(0, {0, Fixed(0.7), 0}, {ONE / 2, 0, 0});
        TrackObject* pBox = StaticBox({Fixed(2.8), Fixed(1.0), 0}, {ONE, ONE, ONE}, 3);
        pBox->pActor->uAlwaysDraw = c.twoPlayerByte;
        pBox->pActor->uMinimumDetail = c.minimumDetail;
        EXPECT_EQ(Coll_CarVsTrackObjects(pCar), c.contact ? TRUE : FALSE);
        EXPECT_EQ(pCar->Position.x == 0, !c.contact);
    }
}

TEST_F(CollisionTest, AContactNearAFrontCornerTakesTheDiagonalNormalAndAHardOneRollsTheCar)
{
    // A box off the car's front left corner, struck at 0.5 and at 2.0 a tick.
    const DK_VECTOR n = [] {
        DK_VECTOR v = {Fixed(1.5), 0, Fixed(0.6)}, out;
        FfVecNormalise(&out, &v);
        return out;
    }();
    const DK_VECTOR diagonal = {FfNeg(n.z), 0, FfNeg(n.x)};
    for (const double speed : {0.5, 2.0})
    {
        SCOPED_TRACE(speed);
        Coll_ClearAll();
        CarBody* pCar = BoxCar(0, {0, Fixed(0.7), 0}, {Fixed(speed), 0, 0});
        StaticBox({Fixed(2.8), Fixed(1.0), Fixed(1.8)}, {ONE, ONE, ONE}, 3);
        ASSERT_TRUE(Coll_CarVsTrackObjects(pCar));
        DK_VECTOR normal;
        int32_t xRoll, xCorner;
        Coll_GetContactForTests(&normal, &xRoll, &xCorner);
        EXPECT_NEAR(normal.x, diagonal.x, 1);
        EXPECT_NEAR(normal.z, diagonal.z, 1);
        EXPECT_EQ(xRoll, ONE / 2);
        // k is the direction of travel (+x in the car's frame) across the diagonal.
        const int32_t k = diagonal.x < 0 ? FfNeg(diagonal.x) : diagonal.x;
        EXPECT_NEAR(xCorner, FfMul(87949, k), 16);
        const int32_t xAlong = FfMul(Fixed(speed), diagonal.x);
        const bool boKick = (xAlong < 0 ? FfNeg(xAlong) : xAlong) > xCorner;
        EXPECT_EQ(boKick, speed > 1.0);
        EXPECT_EQ(pCar->Rolling, boKick ? 1 : 0);
        EXPECT_EQ(pCar->RollStarted, boKick ? 1 : 0);
        // The kick lifts the car by 0.5; the impulse is halved once it rolls.
        const int32_t xImpulse = FfMul(FfNeg(FfMul(Fixed(speed), diagonal.x)), diagonal.x);
        EXPECT_NEAR(pCar->ExtForce.x, boKick ? xImpulse / 2 : xImpulse, 2);
        EXPECT_EQ(pCar->ExtForce.y, boKick ? ONE / 2 : 0);
        const DK_VECTOR& t = pCar->ExtTorque;
        EXPECT_TRUE(t.x >= -8 * ONE && t.x <= 8 * ONE && t.y >= -4 * ONE && t.y <= 4 * ONE &&
                    t.z >= -8 * ONE && t.z <= 8 * ONE);
        if (boKick)
        {
            EXPECT_TRUE(t.x == 8 * ONE || t.x == -8 * ONE || t.z == 8 * ONE || t.z == -8 * ONE)
                << "the corner kick's spin is held at its limits";
        }
    }
}

TEST_F(CollisionTest, ASoftObjectSlowsTheCarAndMarksHowDeepEachPointIsInIt)
{
    CarBody* pCar = BoxCar(0, {0, Fixed(0.7), 0}, {ONE, Fixed(-0.1), ONE / 2});
    const DK_VECTOR centre = {Fixed(2.0), Fixed(0.5), 0};
    StaticBox(centre, {Fixed(1.5), Fixed(1.0), Fixed(1.5)}, 3 | TRACK_OBJECT_SOFT);
    const int32_t xRadius = collisions.back().xRadius;
    Place(pCar, pCar->Position, pCar->Velocity);
    pCar->PointObjectDepth[2] = ONE / 3;
    Coll_CarVsTrackObjects(pCar);
    EXPECT_EQ(pCar->Position.x, 0) << "driven through, not pushed";
    EXPECT_EQ(pCar->ExtForce.x, 0);
    // 2% of the speed across the up row goes; the vertical speed stays.
    EXPECT_EQ(pCar->Velocity.x, FfAdd(ONE, FfMul(ONE, -1310)));
    EXPECT_EQ(pCar->Velocity.z, FfAdd(ONE / 2, FfMul(ONE / 2, -1310)));
    EXPECT_EQ(pCar->Velocity.y, Fixed(-0.1));
    EXPECT_EQ(pCar->PointObjectDepthPrev[2], ONE / 3);
    for (int i = 0; i < CAR_POINTS; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(pCar->PointInObject[i], 1);
        const DK_VECTOR d = {FfSub(pCar->ContactPoint[i].x, centre.x),
                             FfSub(pCar->ContactPoint[i].y, centre.y),
                             FfSub(pCar->ContactPoint[i].z, centre.z)};
        const double r = U(FfVecLength(&d)) / U(xRadius);
        const double expected = r > 1.0 ? 0.0 : std::min(std::max(1.0 - r, 0.0), 0.75) / 0.75;
        EXPECT_NEAR(U(pCar->PointObjectDepth[i]), expected, 0.002);
    }
    EXPECT_GT(pCar->PointObjectDepth[0], 0) << "in it at the front";
}

TEST_F(CollisionTest, KnockableBoxesShareTheImpulseByTheirMassClass)
{
    struct Case
    {
        int massClass;
        double mass;
    } cases[] = {{0, 100.0}, {1, 500.0}, {2, 5000.0}, {3, 0.0}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.massClass);
        Coll_ClearAll();
        CarBody* pCar = BoxCar(0, {0, Fixed(0.7), 0}, {ONE, 0, 0});
        HitObject* pBox = KnockableBox(0, {Fixed(2.3), Fixed(0.5), 0}, c.massClass, 9);
        MovingObjects_Reset(0);
        ASSERT_TRUE(Coll_CarVsMovingObjects(pCar));
        EXPECT_EQ((pBox->uFlags & HIT_STATE_MASK) >> HIT_STATE_SHIFT, HIT_STATE_HIT);
        // The common speed with no bounce: the car keeps the share of its mass.
        const double common = 1120.0 / (1120.0 + c.mass);
        const double carChange = c.massClass == 0 ? 0.0 : common - 1.0;
        EXPECT_NEAR(U(pCar->ExtForce.x), carChange, 0.002);
        EXPECT_NEAR(U(pBox->Impulse.x), common, 0.002);
        // A box on the ground struck at more than 0.5 is lifted by 100 x speed / mass.
        EXPECT_NEAR(U(pBox->Impulse.y), c.mass == 0.0 ? 0.0 : 100.0 / c.mass, 0.002);
        EXPECT_EQ(pCar->MovingKeys[0], 9);
        EXPECT_EQ(pCar->nMovingKeysPrev, 1);
    }
}

TEST_F(CollisionTest, ALightBoxIsKnockedAwayWhileTheCarKeepsItsSpeed)
{
    StandOn("flat-tarmac");
    CarBody* pCar = BoxCar(0, {0, Fixed(0.7), Fixed(20.0)}, {ONE, 0, 0}, Block(0, 0));
    pCar->nCurrentBlock = DkGetTrackBlockIndex(0, 0, Fixed(20.0));
    HitObject* pBox = KnockableBox(0, {Fixed(2.3), Fixed(0.5), Fixed(20.0)}, 0, 4);
    MovingObjects_Reset(0);
    ASSERT_TRUE(Coll_CarVsMovingObjects(pCar));
    EXPECT_EQ(pCar->ExtForce.x, 0);
    HitObjects_UpdateAll();
    EXPECT_GT(pBox->Velocity.x, 0);
    EXPECT_GT(pBox->Position.x, Fixed(2.3));
    EXPECT_EQ((pBox->uFlags & HIT_STATE_MASK) >> HIT_STATE_SHIFT, HIT_STATE_MOVING);
}

TEST_F(CollisionTest, TheSchoolKeepsTheMaterialOfTheLastObjectHit)
{
    for (const BOOL boSchool : {FALSE, TRUE})
    {
        SCOPED_TRACE(boSchool);
        Coll_ClearAll();
        gboObjectsSchool = boSchool;
        CarBody* pCar = BoxCar(0, {0, Fixed(0.7), 0}, {ONE / 2, 0, 0});
        StaticBox({Fixed(2.8), Fixed(1.0), 0}, {ONE, ONE, ONE}, 0x45);
        Coll_CarVsTrackObjects(pCar);
        EXPECT_EQ(Coll_GetLastHitKind(), boSchool ? 0x45 : 0);
        pCar = BoxCar(0, {0, Fixed(0.7), Fixed(-40.0)}, {ONE / 2, 0, 0});
        pCar->nCurrentBlock = DkGetTrackBlockIndex(0, 0, Fixed(-40.0));
        HitObject* pBox = KnockableBox(0, {Fixed(2.3), Fixed(0.5), Fixed(-40.0)}, 1, 7);
        pBox->uKind = static_cast<uint16_t>(7 << 5 | 22);
        MovingObjects_Reset(0);
        Coll_CarVsMovingObjects(pCar);
        EXPECT_EQ(Coll_GetLastHitKind(), boSchool ? 22 : 0);
    }
}

TEST_F(CollisionTest, TheSameBoxHitAgainWithinTwoSecondsIsNoNewHit)
{
    for (const int rate : {25, 50})
    {
        SCOPED_TRACE(rate);
        Coll_ClearAll();
        CarModel_SetStepRate(rate * ONE);
        CarBody* pCar = BoxCar(0, {0, Fixed(0.7), 0}, {ONE / 4, 0, 0});
        KnockableBox(0, {Fixed(2.3), Fixed(0.5), 0}, 2, 1);
        KnockableBox(1, {Fixed(2.3), Fixed(0.5), Fixed(-40.0)}, 2, 2);
        MovingObjects_Reset(0);
        auto hit = [&](double z) {
            Place(pCar, {0, Fixed(0.7), Fixed(z)}, {ONE / 4, 0, 0});
            pCar->nCurrentBlock = DkGetTrackBlockIndex(0, 0, Fixed(z));
            Coll_CarVsMovingObjects(pCar);
            return Coll_GetHitCount();
        };
        EXPECT_EQ(hit(0.0), 1);
        EXPECT_EQ(hit(0.0), 0) << "the same box again";
        EXPECT_EQ(hit(-40.0), 1) << "another box";
        for (int k = 0; k < 2 * rate - 2; ++k)
            hit(-100.0);
        EXPECT_EQ(hit(0.0), 0) << "within two seconds";
        for (int k = 0; k < 2 * rate + 1; ++k)
            EXPECT_EQ(hit(-100.0), 0);
        EXPECT_EQ(hit(0.0), 1) << "two seconds on";
    }
    CarModel_SetStepRate(25 * ONE);
}

TEST_F(CollisionTest, CarsCollideOnlyWhenTheyShareABlock)
{
    struct Case
    {
        const char* name;
        int blockA, neighbourA, blockB;
        int players;
        bool contact;
    } cases[] = {
        {"same block", 7, -1, 7, 1, true},
        {"a neighbour of the first", 7, 9, 9, 1, true},
        {"different blocks, spheres overlapping", 7, -1, 70, 1, false},
        {"two players", 7, -1, 7, 2, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Coll_ClearAll();
        PrangSnd_ResetForTests();
        ForceFeedback_ResetForTests();
        gNumberOfPlayers = c.players;
        CarBody* a = BoxCar(0, {0, Fixed(0.7), 0}, {ONE / 2, 0, 0}, c.blockA);
        a->anNeighbourBlocks[1] = static_cast<int16_t>(c.neighbourA);
        CarBody* b = BoxCar(1, {Fixed(3.8), Fixed(0.7), 0}, {0, 0, 0}, c.blockB);
        b->Collided = 0;
        EXPECT_EQ(Coll_CarVsCar(a, b), c.contact ? TRUE : FALSE);
        // Equal masses meet at half the speed: each takes half of it.
        EXPECT_NEAR(U(a->ExtForce.x), c.contact ? -0.25 : 0.0, 0.001);
        EXPECT_NEAR(U(b->ExtForce.x), c.contact ? 0.25 : 0.0, 0.001);
        EXPECT_EQ(ForceFeedback_GetJoltCallsForTests(), c.contact ? 2 : 0) << "both damaged";
        EXPECT_EQ(PrangSnd_GetImpactCallsForTests(), c.contact ? 1 : 0);
        const bool boStops = c.contact && c.players == 1;
        EXPECT_EQ(gboCarsCollided, boStops ? TRUE : FALSE);
        EXPECT_EQ(gnCollisionEndCounter, boStops ? 60 : 0);
        EXPECT_EQ(b->Collided, boStops ? 1 : 0);
    }
    // The rally school has no car contacts; a contact the next tick is no new impact.
    Coll_ClearAll();
    PrangSnd_ResetForTests();
    CarBody* a = BoxCar(0, {0, Fixed(0.7), 0}, {ONE / 2, 0, 0}, 7);
    CarBody* b = BoxCar(1, {Fixed(3.8), Fixed(0.7), 0}, {0, 0, 0}, 7);
    gboObjectsSchool = TRUE;
    EXPECT_FALSE(Coll_CarVsCar(a, b));
    gboObjectsSchool = FALSE;
    EXPECT_TRUE(Coll_CarVsCar(a, b));
    Place(a, {0, Fixed(0.7), 0}, {ONE / 2, 0, 0});
    EXPECT_TRUE(Coll_CarVsCar(a, b));
    EXPECT_EQ(PrangSnd_GetImpactCallsForTests(), 1);
    EXPECT_EQ(PrangSnd_GetObjectHitCallsForTests(), 2);
}

TEST_F(CollisionTest, TheListsFileEachRecordByBlockAndRefileTheMovingOnes)
{
    // Three boxes in block (1, 1), one in (2, 1).
    for (int i = 0; i < 3; ++i)
        KnockableBox(i, InBlock(1, 1, 0.5), 1, static_cast<uint16_t>(i));
    KnockableBox(3, InBlock(2, 1, 0.5), 1, 3);
    MovingObjects_Reset(0);
    HitObject* o = gaHitObjects[0];
    EXPECT_EQ(MovingObjects_GetListCount(0), 2);
    ASSERT_EQ(MovingObjects_GetList(0, Block(1, 1)), &o[0]);
    EXPECT_EQ(o[0].pNext, &o[1]) << "filed in order";
    EXPECT_EQ(o[1].pNext, &o[2]);
    EXPECT_EQ(o[3].uBlock, Block(2, 1));

    struct Move
    {
        const char* name;
        int record;
        int column;
    } moves[] = {{"the middle one to a block with a list", 1, 2},
                 {"the head to a block with no list", 0, 3},
                 {"the last one back", 2, 2}};
    for (const Move& m : moves)
    {
        SCOPED_TRACE(m.name);
        o[m.record].Position = InBlock(m.column, 1, 0.5);
        gaMovingObjectList[0][0] = static_cast<int16_t>(m.record);
        gaNumMovingInList[0] = 1;
        MovingObjects_Relink();
        EXPECT_EQ(o[m.record].uBlock, Block(m.column, 1));
        EXPECT_EQ(MovingObjects_GetList(0, Block(m.column, 1)), &o[m.record]) << "at the front";
        EXPECT_EQ(o[m.record].pPrev, nullptr);
    }
    EXPECT_EQ(MovingObjects_GetList(0, Block(1, 1)), nullptr);
    EXPECT_EQ(MovingObjects_GetList(0, Block(2, 1)), &o[2]);
    EXPECT_EQ(o[2].pNext, &o[1]);
    EXPECT_EQ(o[1].pNext, &o[3]);
    EXPECT_EQ(o[3].pPrev, &o[1]);
    EXPECT_EQ(MovingObjects_GetList(0, Block(3, 1)), &o[0]);
    EXPECT_EQ(o[0].pNext, nullptr);

    // Linking one record puts it at the front of its block's list, or opens one.
    HitObject* pLinked = KnockableBox(4, InBlock(2, 1, 0.5), 1, 4);
    pLinked->uBlock = static_cast<uint16_t>(Block(2, 1));
    MovingObjects_Link(0, pLinked);
    EXPECT_EQ(MovingObjects_GetList(0, Block(2, 1)), pLinked);
    EXPECT_EQ(pLinked->pNext, &o[2]);
    EXPECT_EQ(o[2].pPrev, pLinked);
    HitObject* pAlone = KnockableBox(5, InBlock(9, 9, 0.5), 1, 5);
    pAlone->uBlock = static_cast<uint16_t>(Block(9, 9));
    MovingObjects_Link(0, pAlone);
    EXPECT_EQ(MovingObjects_GetList(0, Block(9, 9)), pAlone);
    EXPECT_EQ(MovingObjects_GetListCount(0), 4) << "the emptied list keeps its slot";
}

TEST_F(CollisionTest, ASetServesAtMost256BlocksAndAnUnfiledRecordIsReportedNotWritten)
{
    for (int i = 0; i < 257; ++i)
        KnockableBox(i, InBlock(i % 64, i / 64, 0.5), 1, 0);
    std::string out = CaptureOutput([] { MovingObjects_Reset(0); });
    EXPECT_NE(out.find("more than 256 blocks"), std::string::npos) << out;
    EXPECT_EQ(MovingObjects_GetListCount(0), 256);
    EXPECT_EQ(MovingObjects_GetList(0, Block(0, 4)), nullptr) << "the 257th is left unfiled";
    EXPECT_EQ(MovingObjects_GetList(0, Block(63, 3)), &gaHitObjects[0][255]);

    // The unfiled record moves: its old list is not found, which is reported, and the new
    // block has no free list either.
    gaHitObjects[0][256].Position = InBlock(5, 10, 0.5);
    gaMovingObjectList[0][0] = 256;
    gaNumMovingInList[0] = 1;
    out = CaptureOutput([] { MovingObjects_Relink(); });
    EXPECT_NE(out.find("Oh bother - VLX"), std::string::npos) << out;
    EXPECT_EQ(MovingObjects_GetList(0, Block(0, 0)), &gaHitObjects[0][0]);
    EXPECT_EQ(gaHitObjects[0][0].pNext, nullptr);
    // A record moved onto a block that already has a list is filed there.
    gaHitObjects[0][256].Position = InBlock(3, 0, 0.5);
    CaptureOutput([] { MovingObjects_Relink(); });
    EXPECT_EQ(MovingObjects_GetList(0, Block(3, 0)), &gaHitObjects[0][256]);
    EXPECT_EQ(gaHitObjects[0][256].pNext, &gaHitObjects[0][3]);
}

TEST_F(CollisionTest, TheStaticListsTakeEveryBlockOfTheGrid)
{
    CarBody* pCar = BoxCar(0, {0, Fixed(0.7), 0}, {ONE / 2, 0, 0}, 4095);
    StaticBox({Fixed(2.8), Fixed(1.0), 0}, {ONE, ONE, ONE}, 3, 4095);
    EXPECT_TRUE(Coll_CarVsTrackObjects(pCar));
    // Block numbers outside the grid are skipped.
    Place(pCar, {0, Fixed(0.7), 0}, {ONE / 2, 0, 0});
    pCar->nCurrentBlock = 4096;
    pCar->anNeighbourBlocks[0] = -2;
    EXPECT_FALSE(Coll_CarVsTrackObjects(pCar));
}

TEST_F(CollisionTest, TheOverlapTestNeitherPushesNorResponds)
{
    CarBody* pCar = BoxCar(0, {0, Fixed(0.7), 0}, {ONE, 0, 0});
    HitObject* pBox = KnockableBox(0, {Fixed(2.3), Fixed(0.5), 0}, 1, 1);
    EXPECT_TRUE(Coll_OverlapMovingObject(pCar, pBox));
    EXPECT_EQ(pCar->Position.x, 0);
    EXPECT_EQ(pCar->ExtForce.x, 0);
    EXPECT_EQ(pBox->uFlags, 1);
    pBox->Position.y = Fixed(3.0);
    EXPECT_FALSE(Coll_OverlapMovingObject(pCar, pBox)) << "above the car";
}

} // namespace
