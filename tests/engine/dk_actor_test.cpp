// The actor tree: table, links, placement, the per-frame update and conversion, teardown.

#include "engine/common/dk_actor.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/include/dk_ff.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_light.h"
#include "tests/engine/scene_fixture.h"

namespace
{

// The table root of 1.0: entry 1024 of gaSqrtTable is 32775, doubled back; and 2^32 / 65550.
// Every turned axis is re-normalised through it, so a unit axis comes back as 65522.
const int32_t kUnitAfterNormalise = 65522;

class DkActorTest : public SceneTest
{
protected:
    DK_ACTOR* Make(DK_ACTOR* pParent, uint32_t uId = 0)
    {
        DK_ACTOR* pActor = DkCreateActor(pParent);
        if (pActor != nullptr)
            pActor->uId = uId;
        return pActor;
    }
    static std::vector<DK_ACTOR*> Children(const DK_ACTOR* pParent)
    {
        std::vector<DK_ACTOR*> list;
        for (DK_ACTOR* p = pParent->pChild; p != nullptr; p = p->pNext)
            list.push_back(p);
        return list;
    }
    static void Frame(DK_ACTOR* pRoot)
    {
        DkUpdateActorTree(pRoot);
        DkSyncActorTreeD3D(pRoot);
    }
};

TEST_F(DkActorTest, TheTableHolds8196ActorsAndRefusesThe8197th)
{
    DK_ACTOR* pWorld = World();
    for (int i = 1; i < MAXACTORS; ++i)
        ASSERT_NE(DkCreateActor(pWorld), nullptr) << "actor " << i;
    EXPECT_EQ(guNumActors, static_cast<uint32_t>(MAXACTORS));
    EXPECT_NE(gapActors[MAXACTORS - 1], nullptr);

    DK_ACTOR* pRefused = nullptr;
    std::string out = CaptureOutput([&] { pRefused = DkCreateActor(pWorld); });
    EXPECT_EQ(pRefused, nullptr);
    EXPECT_TRUE(Reported(out, "ERROR (DkCreateActor): No space for the new actor!")) << out;
    EXPECT_EQ(guNumActors, static_cast<uint32_t>(MAXACTORS));

    // A freed slot is taken again, lowest first.
    DK_ACTOR* pFreed = gapActors[5];
    EXPECT_EQ(DkDestroyActor(pFreed), 1);
    EXPECT_EQ(DkCreateActor(pWorld), gapActors[5]);
}

TEST_F(DkActorTest, ANewActorHasTheDefaultRecordAndTheWorldActorIsTheContextRoot)
{
    DK_ACTOR* pWorld = World();
    EXPECT_EQ(d3d->pWorldRoot, pWorld);
    EXPECT_EQ(pWorld->uId, static_cast<uint32_t>(DK_WORLD_ACTOR_ID));
    EXPECT_EQ(pWorld->pParent, nullptr);

    DK_ACTOR* pActor = DkCreateActor(pWorld);
    EXPECT_EQ(pActor->pParent, pWorld);
    EXPECT_EQ(pActor->uType, static_cast<uint32_t>(DK_ACTOR_DUMMY));
    EXPECT_EQ(pActor->uPassMask, 0xFF);
    EXPECT_EQ(pActor->uDirty, 1u);
    EXPECT_EQ(pActor->nBlock, -1);
    EXPECT_EQ(pActor->auColour[0], 40);
    EXPECT_EQ(pActor->auColour[3], 255);
    EXPECT_EQ(pActor->Scale.x, ONE);
    DK_MATRIX identity;
    DkIdentityMatrix(&identity);
    ExpectMatrixEq(identity, pActor->Base);
    ExpectMatrixEq(identity, pActor->Local);
}

TEST_F(DkActorTest, FindByIdComparesTheLowTwelveBitsAndTakesTheFirstInPreOrder)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* a = Make(pWorld, 0x1005);
    DK_ACTOR* a1 = Make(a, 7);
    DK_ACTOR* b = Make(pWorld, 7);
    DK_ACTOR* c = Make(pWorld, 5);
    DK_ACTOR* c1 = Make(c, 0x2009);

    struct Case
    {
        uint32_t uId;
        DK_ACTOR* pFirst;
        DK_ACTOR* pExpected;
    };
    const Case cases[] = {
        {5, pWorld, a},  // 0x1005 is found by 5, before the later peer c
        {7, pWorld, a1}, // a child comes before the next peer
        {7, b, b},
        {9, pWorld, c1},
        {5, b, c}, // peers from b on
        {DK_WORLD_ACTOR_ID, pWorld, pWorld},
        {0x1005, pWorld, nullptr}, // the whole word is never the identifier
        {11, pWorld, nullptr},
    };
    for (const Case& k : cases)
        EXPECT_EQ(DkFindActorById(k.pFirst, k.uId), k.pExpected) << "id " << k.uId;
}

TEST_F(DkActorTest, CreateAppendsWhileChangeOfParentPutsFirst)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* p = Make(pWorld);
    DK_ACTOR* q = Make(pWorld);
    DK_ACTOR* a = Make(p);
    DK_ACTOR* b = Make(p);
    DK_ACTOR* c = Make(p);
    EXPECT_EQ(Children(p), (std::vector<DK_ACTOR*>{a, b, c}));

    // To the current parent: nothing moves.
    EXPECT_EQ(dkChangeActorParent(b, p), 0);
    EXPECT_EQ(Children(p), (std::vector<DK_ACTOR*>{a, b, c}));

    DK_ACTOR* d = Make(q);
    b->Local = Translation(Fx(3), 0, 0);
    EXPECT_EQ(dkChangeActorParent(b, q), 1);
    EXPECT_EQ(b->pParent, q);
    EXPECT_EQ(Children(q), (std::vector<DK_ACTOR*>{b, d}));
    EXPECT_EQ(Children(p), (std::vector<DK_ACTOR*>{a, c}));
    // The local placement is kept, so the world one follows the new parent.
    q->Local = Translation(0, Fx(5), 0);
    DkMarkActorDirty(q);
    Frame(pWorld);
    ExpectMatrixEq(Translation(Fx(3), Fx(5), 0), b->World);
}

TEST_F(DkActorTest, ChangeOfParentLinksARootAndRefusesACycle)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* p = Make(pWorld);
    DK_ACTOR* child = Make(p);
    DK_ACTOR* grandchild = Make(child);

    // A root has no list to leave.
    DK_ACTOR* pRoot = Make(nullptr);
    EXPECT_EQ(dkChangeActorParent(pRoot, p), 1);
    EXPECT_EQ(Children(p), (std::vector<DK_ACTOR*>{pRoot, child}));

    for (DK_ACTOR* pUnder : {p, child, grandchild})
    {
        int nResult = -1;
        std::string out = CaptureOutput([&] { nResult = dkChangeActorParent(p, pUnder); });
        EXPECT_EQ(nResult, 0);
        EXPECT_TRUE(Reported(out, "ERROR (dkChangeActorParent): The new parent is the actor or "
                                  "one of its descendants"))
            << out;
        EXPECT_EQ(p->pParent, pWorld);
    }
    EXPECT_EQ(Children(child), (std::vector<DK_ACTOR*>{grandchild}));
    // The tree is still a tree: the update comes back.
    Frame(pWorld);
}

TEST_F(DkActorTest, AxisAngleMatrixMatchesHandWorkedValues)
{
    struct Case
    {
        DK_VECTOR axis;
        int32_t nAngle;
        int32_t rows[3][3];
    };
    // c = gaSinTable[(1024 - a) & 4095], n = gaSinTable[-a & 4095]; sin 512 is 46340 in the table.
    const Case cases[] = {
        // About Z by a quarter turn: X goes to Y.
        {{0, 0, ONE}, 1024, {{0, ONE, 0}, {-ONE, 0, 0}, {0, 0, ONE}}},
        {{0, 0, ONE}, 512, {{46340, 46340, 0}, {-46340, 46340, 0}, {0, 0, ONE}}},
        // About X by a quarter turn: Y goes to Z.
        {{ONE, 0, 0}, 1024, {{ONE, 0, 0}, {0, 0, ONE}, {0, -ONE, 0}}},
        // A half turn about (1, 1, 0) / sqrt 2: xx = yy = 32766, t = 2.0, xy = 65532, and
        // xx + mul(-1.0, 1.0 - xx) = 32766 - 32770.
        {{46340, 46340, 0}, 2048, {{-4, 65532, 0}, {65532, -4, 0}, {0, 0, -ONE}}},
    };
    for (const Case& k : cases)
    {
        DK_MATRIX m;
        std::memset(&m, 0x55, sizeof m);
        EXPECT_EQ(DkAxisAngleToMatrix(&m, &k.axis, k.nAngle), &m);
        DK_MATRIX expected;
        DkIdentityMatrix(&expected);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                expected.m[r][c] = k.rows[r][c];
        SCOPED_TRACE(k.nAngle);
        ExpectMatrixEq(expected, m);
    }
}

TEST_F(DkActorTest, MoveTurnsEachAxisAboutTheOthersAndRenormalises)
{
    DK_ACTOR* a = Make(World());
    const DK_VECTOR delta = {Fx(1), Fx(2), Fx(3)};
    const int16_t turn[3] = {0, 1024, 0};
    DkMoveActor2(a, &delta, turn);

    // X and Z turn about Y: X to -Z, Z to X, each then normalised through the table root.
    DK_MATRIX expected;
    DkIdentityMatrix(&expected);
    expected.m[0][0] = 0;
    expected.m[0][2] = -kUnitAfterNormalise;
    expected.m[2][0] = kUnitAfterNormalise;
    expected.m[2][2] = 0;
    expected.m[3][0] = Fx(1);
    expected.m[3][1] = Fx(2);
    expected.m[3][2] = Fx(3);
    ExpectMatrixEq(expected, a->Local);

    // No angles: only the translation moves.
    DK_MATRIX before = a->Local;
    DkMoveActor2(a, &delta, nullptr);
    before.m[3][0] += Fx(1);
    before.m[3][1] += Fx(2);
    before.m[3][2] += Fx(3);
    ExpectMatrixEq(before, a->Local);
}

TEST_F(DkActorTest, ATurnOfThreeAnglesIsYThenZThenXEachAboutTheTurnedAxes)
{
    DK_ACTOR* pAtOnce = Make(World());
    DK_ACTOR* pInSteps = Make(World());
    const int16_t all[3] = {1024, 1024, 1024};
    DkMoveActor2(pAtOnce, nullptr, all);
    const int16_t steps[3][3] = {{0, 1024, 0}, {0, 0, 1024}, {1024, 0, 0}};
    for (const int16_t* step : steps)
        DkMoveActor2(pInSteps, nullptr, step);
    ExpectMatrixEq(pInSteps->Local, pAtOnce->Local);

    // Y: X to -Z, Z to X; then about that Z: X to Y, Y to Z; then about that X: Y to X, Z to -Z.
    const int32_t aExpected[3][3] = {{0, ONE, 0}, {ONE, 0, 0}, {0, 0, -ONE}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(pAtOnce->Local.m[r][c], aExpected[r][c], 64)
                << "row " << r << " column " << c;
}

TEST_F(DkActorTest, LightsAndCamerasKeepWhatTheirMovesAddUp)
{
    for (uint32_t uType : {DK_ACTOR_LIGHT, DK_ACTOR_CAMERA})
    {
        SCOPED_TRACE(uType);
        DK_ACTOR* a = Make(World());
        a->uType = uType;
        const DK_VECTOR p = {Fx(1), Fx(2), Fx(3)};
        const int16_t angles[3] = {100, -200, 32000};
        DkSetActor(a, &p, angles);
        const int16_t turn[3] = {1, 2, 1000};
        DkMoveActor(a, &p, turn);
        DkMoveActorPosition(a, &p);
        DkMoveActorRotation(a, turn);
        EXPECT_EQ(a->Position.x, Fx(3));
        EXPECT_EQ(a->Position.z, Fx(9));
        EXPECT_EQ(a->anAngles[0], 102);
        EXPECT_EQ(a->anAngles[1], -196);
        // 32000 + 2000 wraps in 16 bits.
        EXPECT_EQ(a->anAngles[2], -31536);
    }

    // A model keeps no position, and a new rotation starts from the base axes but keeps the
    // translation the actor has.
    DK_ACTOR* pModel = Make(World());
    pModel->uType = DK_ACTOR_MODEL;
    const int16_t half[3] = {0, 2048, 0};
    DkMoveActor2(pModel, nullptr, half);
    pModel->Base = Translation(Fx(10), 0, 0);
    const DK_VECTOR step = {0, Fx(4), 0};
    DkMoveActorPosition(pModel, &step);
    DkSetActorRotation(pModel, nullptr);
    ExpectMatrixEq(Translation(0, Fx(4), 0), pModel->Local);
    EXPECT_EQ(pModel->Position.y, 0);
}

TEST_F(DkActorTest, AWholeTurnGivesTheAxesBackWithinRounding)
{
    DK_ACTOR* pWhole = Make(World());
    DK_ACTOR* pSteps = Make(World());
    const int16_t whole[3] = {0, 4096, 0};
    DkMoveActorRotation(pWhole, whole);
    // Eight eighths of a turn about each axis in turn.
    for (int nAxis = 0; nAxis < 3; ++nAxis)
    {
        int16_t step[3] = {0, 0, 0};
        step[nAxis] = 512;
        for (int i = 0; i < 8; ++i)
            DkMoveActorRotation(pSteps, step);
    }

    for (const DK_ACTOR* a : {pWhole, pSteps})
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(a->Local.m[r][c], r == c ? ONE : 0, 32)
                    << "row " << r << " column " << c;
    // One turn of 4096 is the identity turn, so only the normalisation shows.
    EXPECT_EQ(pWhole->Local.m[0][0], kUnitAfterNormalise);
}

TEST_F(DkActorTest, SetPositionReplacesTheBaseTranslationWhileSetAddsToIt)
{
    const DK_VECTOR p = {Fx(1), Fx(2), Fx(3)};
    struct Case
    {
        uint32_t uType;
        bool boKeepsPosition;
    };
    for (const Case& k : {Case{DK_ACTOR_MODEL, false}, Case{DK_ACTOR_LIGHT, true},
                          Case{DK_ACTOR_CAMERA, true}, Case{DK_ACTOR_DUMMY, false}})
    {
        SCOPED_TRACE(k.uType);
        DK_ACTOR* a = Make(World());
        a->uType = k.uType;
        a->Base = Translation(Fx(10), 0, Fx(-4));
        a->nInherit = 1;

        DkSetActorPosition(a, &p);
        ExpectMatrixEq(Translation(Fx(1), Fx(2), Fx(3)), a->Local);
        EXPECT_EQ(a->nInherit, 0);

        DkSetActor(a, &p, nullptr);
        ExpectMatrixEq(Translation(Fx(11), Fx(2), Fx(-1)), a->Local);
        EXPECT_EQ(a->Position.x, k.boKeepsPosition ? Fx(1) : 0);
    }

    // Outside the four types the matrices stay, but the setter still marks the actor.
    DK_ACTOR* pOther = Make(World());
    pOther->uType = 7;
    pOther->uDirty = 0;
    DkSetActor(pOther, &p, nullptr);
    EXPECT_EQ(pOther->Local.m[3][0], 0);
    EXPECT_EQ(pOther->uDirty, 1u);
}

TEST_F(DkActorTest, ForwardAndSidewaysMoveAlongTheLocalAxes)
{
    DK_ACTOR* a = Make(World());
    a->Local.m[0][0] = 0;
    a->Local.m[0][2] = -ONE; // X along -Z
    a->Local.m[2][0] = ONE;  // Z along X
    a->Local.m[2][2] = 0;
    DkMoveActorForward(a, Fx(2.5));
    DkMoveActorSideways(a, Fx(1));
    EXPECT_EQ(a->Local.m[3][0], Fx(2.5));
    EXPECT_EQ(a->Local.m[3][2], Fx(-1));
}

TEST_F(DkActorTest, NullActorsAreReportedByEverySetter)
{
    const DK_VECTOR v = {0, 0, 0};
    const int16_t angles[3] = {0, 0, 0};
    std::string out = CaptureOutput(
        [&]
        {
            DkSetActor(nullptr, &v, angles);
            DkSetActorPosition(nullptr, &v);
            DkSetActorRotation(nullptr, angles);
            DkMoveActor(nullptr, &v, angles);
            DkMoveActorPosition(nullptr, &v);
            DkMoveActorRotation(nullptr, angles);
            DkMoveActorForward(nullptr, ONE);
            DkMoveActor2(nullptr, &v, angles);
        });
    for (const char* message :
         {"ERROR( DkSetActor): Actor is NULL", "ERROR( DkSetActorPosition): Actor is NULL",
          "ERROR( DkSetActorRotation): Actor is NULL", "ERROR( DkMoveActor): Actor is NULL",
          "ERROR( DkMoveActorPosition): Actor is NULL",
          "ERROR( DkMoveActorRotation): Actor is NULL", "ERROR(DkMoveActorForward): Actor is NULL",
          "ERROR( DkMoveActor2): Actor is NULL"})
        EXPECT_TRUE(Reported(out, message)) << message;
}

TEST_F(DkActorTest, UnderTheWorldActorWorldIsLocalExactly)
{
    DK_ACTOR* pWorld = World();
    // A parent that halves: under it the product truncates, under the world actor nothing does.
    DK_MATRIX half;
    DkIdentityMatrix(&half);
    half.m[0][0] = half.m[1][1] = half.m[2][2] = ONE / 2;
    pWorld->World = half;
    DK_ACTOR* pDirect = Make(pWorld);
    DK_ACTOR* pHalving = Make(pWorld);
    DK_ACTOR* pUnder = Make(pHalving);
    pHalving->Local = half;
    const DK_MATRIX odd = Translation(3, -5, 7);
    pDirect->Local = odd;
    pUnder->Local = odd;

    Frame(pWorld);
    ExpectMatrixEq(odd, pDirect->World);
    // The axes halved, and (3, -5, 7) halved and truncated towards minus infinity.
    DK_MATRIX expected = half;
    expected.m[3][0] = 1;
    expected.m[3][1] = -3;
    expected.m[3][2] = 3;
    ExpectMatrixEq(expected, pUnder->World);
}

TEST_F(DkActorTest, InheritCopiesTheParentsWorldAndTheHorizonNeverTurns)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* p = Make(pWorld);
    const int16_t turn[3] = {0, 1024, 0};
    const DK_VECTOR at = {Fx(4), 0, 0};
    DkMoveActor(p, &at, turn);
    DK_ACTOR* pInherit = Make(p);
    pInherit->Local = Translation(Fx(100), 0, 0);
    pInherit->nInherit = 1;
    DK_ACTOR* pSky = Make(p);
    pSky->Local = Translation(0, Fx(7), 0);
    gpHorizonActor = pSky;

    Frame(pWorld);
    ExpectMatrixEq(p->World, pInherit->World);
    DK_MATRIX expected = Translation(Fx(4), Fx(7), 0);
    ExpectMatrixEq(expected, pSky->World);
}

TEST_F(DkActorTest, PassMaskZeroFreezesASubtreeWhileItMoves)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* p = Make(pWorld);
    DK_ACTOR* child = Make(p);
    child->Local = Translation(Fx(1), 0, 0);
    Frame(pWorld);
    const DK_MATRIX parentBefore = p->World, childBefore = child->World;

    p->uPassMask = 0;
    const DK_VECTOR step = {0, 0, Fx(9)};
    DkMoveActorPosition(p, &step);
    DkMoveActorPosition(child, &step);
    Frame(pWorld);
    ExpectMatrixEq(parentBefore, p->World);
    ExpectMatrixEq(childBefore, child->World);
}

TEST_F(DkActorTest, ACameraChildIsRecomputedEveryFrameADummyChildIsNot)
{
    DK_ACTOR* pWorld = World();
    // The dummy comes first: the camera's update marks the world actor, and every later peer
    // then follows it.
    DK_ACTOR* pDummy = Make(pWorld);
    DK_ACTOR* pCamera = Make(pWorld);
    pCamera->uType = DK_ACTOR_CAMERA;
    DK_ACTOR* pCameraChild = Make(pCamera);
    DK_ACTOR* pDummyChild = Make(pDummy);
    Frame(pWorld);
    EXPECT_EQ(pCamera->uDirty, 1u);
    EXPECT_EQ(pDummy->uDirty, 0u);

    // Both parents move behind the setters' back: nothing is marked.
    pCamera->Local = Translation(Fx(2), 0, 0);
    pDummy->Local = Translation(Fx(2), 0, 0);
    Frame(pWorld);
    ExpectMatrixEq(Translation(Fx(2), 0, 0), pCameraChild->World);
    ExpectMatrixEq(Translation(0, 0, 0), pDummyChild->World);
}

TEST_F(DkActorTest, TheConversionDividesEachElementAndCleansModelsAndDummies)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* a = Make(pWorld);
    a->Local = Translation(Fx(1.5), -ONE / 4, 3);
    Frame(pWorld);
    EXPECT_EQ(a->uDirty, 0u);
    EXPECT_FLOAT_EQ(a->afDevice[0], 1.0f);
    EXPECT_FLOAT_EQ(a->afDevice[12], 1.5f);
    EXPECT_FLOAT_EQ(a->afDevice[13], -0.25f);
    EXPECT_FLOAT_EQ(a->afDevice[14], 3 / 65536.0f);
    EXPECT_FLOAT_EQ(a->afDevice[15], 1.0f);
}

TEST_F(DkActorTest, ActorsOnBlocksOutsideTheVisibleSetAreSkippedWithTheirSubtrees)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* pSeen = Make(pWorld);
    DK_ACTOR* pHidden = Make(pWorld);
    DK_ACTOR* pHiddenChild = Make(pHidden);
    pSeen->nBlock = 0;
    pHidden->nBlock = 1;
    pSeen->Local = pHidden->Local = Translation(Fx(2), 0, 0);
    pHiddenChild->Local = Translation(0, Fx(1), 0);
    gnNumVisibleBlocks = 1;
    gaVisibleBlockBits[0] = 1u; // block 0 only

    CaptureOutput([&] { Frame(pWorld); });
    ExpectMatrixEq(Translation(Fx(2), 0, 0), pSeen->World);
    ExpectMatrixEq(Translation(0, 0, 0), pHidden->World);
    ExpectMatrixEq(Translation(0, 0, 0), pHiddenChild->World);
    EXPECT_EQ(pHidden->uDirty, 1u);

    // With no set computed every block counts as visible.
    gnNumVisibleBlocks = 0;
    CaptureOutput([&] { Frame(pWorld); });
    ExpectMatrixEq(Translation(Fx(2), Fx(1), 0), pHiddenChild->World);
}

TEST_F(DkActorTest, AncestorsAreBroughtUpToDateFromBelowTheWorldActor)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* p = Make(pWorld);
    DK_ACTOR* child = Make(p);
    const DK_VECTOR a = {Fx(1), 0, 0}, b = {0, Fx(2), 0};
    DkSetActorPosition(p, &a);
    DkSetActorPosition(child, &b);
    DkUpdateActorAncestors(child);
    ExpectMatrixEq(Translation(Fx(1), Fx(2), 0), child->World);
}

TEST_F(DkActorTest, DetailIsStoredOnlyWhenNothingWasReported)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* pModelActor = Make(pWorld);
    DK_MODEL* pModel = DkCreateModel();
    pModel->uNumLevels = 3;
    pModel->uCurrentLevel = 1;
    DkSetActorObject(pModelActor, DK_ACTOR_MODEL, pModel);
    DK_ACTOR* pDummy = Make(pWorld);

    struct Case
    {
        DK_ACTOR* pActor;
        int nLevel;
        const char* pszReport;
        int nExpected;
    };
    const Case cases[] = {
        {nullptr, 2, "ERROR(DkSetActorDetail): Actor is NULL!", 1},
        {pDummy, 2, "ERROR (DkSetActorDetail): The Actor is a DUMMY!", 1},
        {pModelActor, 3, "ERROR (DkSetActorDetail): The Detail value (3)is greater than MAX(3)!",
         1},
        {pModelActor, 200,
         "ERROR (DkSetActorDetail): The Detail value (200)is greater than MAX(3)!", 1},
        {pModelActor, -1, "ERROR (DkSetActorDetail): The Detail level is less than 0!", 1},
        {pModelActor, 2, nullptr, 2},
    };
    for (const Case& k : cases)
    {
        pModel->uCurrentLevel = 1;
        std::string out = CaptureOutput([&] { DkSetActorDetail(k.pActor, k.nLevel); });
        if (k.pszReport != nullptr)
        {
            EXPECT_TRUE(Reported(out, k.pszReport)) << out;
        }
        else
        {
            EXPECT_EQ(CountReports(out), 0) << out;
        }
        EXPECT_EQ(pModel->uCurrentLevel, k.nExpected) << k.nLevel;
    }

    EXPECT_EQ(DKActorGetMaxDetail(pModelActor), 3);
    EXPECT_EQ(DKActorGetMaxDetail(pDummy), -1);
    EXPECT_EQ(DkActorGetDetail(pModelActor), 2);
    std::string out = CaptureOutput([&] { EXPECT_EQ(DkActorGetDetail(pDummy), -1); });
    EXPECT_TRUE(Reported(out, "ERROR (DkActorGetDetail): Actor doesn't have a MODEL!")) << out;
}

TEST_F(DkActorTest, DestroyFreesTheSubtreeButNotThePeersAndDeleteAlsoDropsModels)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* a = Make(pWorld);
    DK_ACTOR* b = Make(pWorld);
    DK_ACTOR* c = Make(pWorld);
    DK_ACTOR* b1 = Make(b);
    DkSetActorObject(b1, DK_ACTOR_MODEL, DkCreateModel());
    Make(b1);
    const uint32_t uBefore = guNumActors;

    EXPECT_EQ(DkDestroyActor(b), 1);
    EXPECT_EQ(guNumActors, uBefore - 3);
    EXPECT_EQ(Children(pWorld), (std::vector<DK_ACTOR*>{a, c}));
    EXPECT_EQ(guNumModels, 1u);

    DK_ACTOR* d = Make(c);
    DkSetActorObject(d, DK_ACTOR_MODEL, DkCreateModel());
    EXPECT_EQ(DkDeleteObject(c), 1);
    EXPECT_EQ(guNumModels, 1u);
    EXPECT_EQ(Children(pWorld), (std::vector<DK_ACTOR*>{a}));

    // An actor its parent does not list cannot be unlinked.
    DK_ACTOR* pStray = Make(nullptr);
    pStray->pParent = a;
    std::string out = CaptureOutput([&] { EXPECT_EQ(DkDestroyActor(pStray), 0); });
    EXPECT_TRUE(Reported(out, "ERROR!! End of Peer List")) << out;
    out = CaptureOutput([&] { EXPECT_EQ(DkDeleteObject(pStray), 0); });
    EXPECT_TRUE(Reported(out, "ERROR : End of Peer List")) << out;
}

TEST_F(DkActorTest, DuplicateFilesTheCopyOnlyOnABlockOfTheGrid)
{
    DK_ACTOR* pWorld = World();
    guNumTrackBlocks = 2;
    DK_ACTOR* pSource = Make(pWorld);
    DkSetActorObject(pSource, DK_ACTOR_MODEL, DkCreateModel());
    pSource->World = Translation(Fx(6), 0, Fx(2));
    DK_ACTOR* pNeighbour = Make(pWorld);
    ASSERT_TRUE(DkAppendActorToTrackBlock(pSource, 0));
    ASSERT_TRUE(DkAppendActorToTrackBlock(pNeighbour, 0));

    struct Case
    {
        int nBlock;
        const char* pszReport;
        int nExpected;
    };
    const Case cases[] = {
        {1, nullptr, 1},
        {-1, "ERROR (DkDuplicateActor): Track Index is -1", -1},
        {2, "ERROR (DkDuplicateActor): Track Index 2 is off the track", -1},
        {-7, "ERROR (DkDuplicateActor): Track Index -7 is off the track", -1},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.nBlock);
        const uint32_t uModels = guNumModels;
        DK_ACTOR* pCopy = nullptr;
        std::string out = CaptureOutput([&] { pCopy = DkDuplicateActor(pSource, k.nBlock); });
        ASSERT_NE(pCopy, nullptr);
        if (k.pszReport != nullptr)
        {
            EXPECT_TRUE(Reported(out, k.pszReport)) << out;
        }
        EXPECT_EQ(pCopy->nBlock, k.nExpected);
        EXPECT_EQ(pWorld->pChild, pCopy);
        EXPECT_EQ(pCopy->pParent, pWorld);
        EXPECT_EQ(pCopy->pChild, nullptr);
        ExpectMatrixEq(pSource->World, pCopy->Local);
        EXPECT_EQ(guNumModels, uModels + 1);
        EXPECT_NE(pCopy->pObject, pSource->pObject);
    }
    // The copy carried its source's link to the next actor on block 0; it ends block 1's list.
    EXPECT_EQ(gaTrackBlocks[1].nNumMoveable, 1);
    ASSERT_NE(gaTrackBlocks[1].pMoveableList, nullptr);
    EXPECT_EQ(gaTrackBlocks[1].pMoveableList->pBlockLink, nullptr);
    EXPECT_EQ(gaTrackBlocks[0].pMoveableList, pSource);
    EXPECT_EQ(pSource->pBlockLink, pNeighbour);
    EXPECT_EQ(gaTrackBlocks[0].nNumMoveable, 2);

    const uint32_t uActors = guNumActors;
    DK_ACTOR* pDummy = Make(pWorld);
    std::string out = CaptureOutput(
        [&]
        {
            EXPECT_EQ(DkDuplicateActor(nullptr, 0), nullptr);
            EXPECT_EQ(DkDuplicateActor(pDummy, 0), nullptr);
        });
    EXPECT_TRUE(Reported(out, "Pointer to actor passsed is NULL!")) << out;
    EXPECT_TRUE(Reported(out, "Actor is NOT of type MODEL!")) << out;
    EXPECT_EQ(guNumActors, uActors + 1);
}

TEST_F(DkActorTest, CloneCopiesTheSubtreeInOrderAndMakesNonModelsDummies)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* pSource = Make(pWorld, 12);
    DkSetActorObject(pSource, DK_ACTOR_MODEL, DkCreateModel());
    DK_ACTOR* pFirst = Make(pSource, 1);
    DK_ACTOR* pLight = Make(pSource, 2);
    pLight->uType = DK_ACTOR_LIGHT;
    Make(pFirst, 3);
    DK_ACTOR* pOther = Make(pWorld);
    guNumTrackBlocks = 1;
    DkAppendActorToTrackBlock(pSource, 0);
    DkAppendActorToTrackBlock(pOther, 0);

    DK_ACTOR* pCopy = DkCloneActorTree(pSource);
    ASSERT_NE(pCopy, nullptr);
    EXPECT_EQ(Children(pWorld).back(), pCopy);
    EXPECT_EQ(pCopy->uId, 12u);
    EXPECT_NE(pCopy->pObject, pSource->pObject);
    EXPECT_EQ(pCopy->pBlockLink, nullptr);
    std::vector<DK_ACTOR*> children = Children(pCopy);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0]->uId, 1u);
    EXPECT_EQ(children[1]->uId, 2u);
    EXPECT_EQ(children[1]->uType, static_cast<uint32_t>(DK_ACTOR_DUMMY));
    EXPECT_EQ(children[1]->pObject, nullptr);
    ASSERT_EQ(Children(children[0]).size(), 1u);
    EXPECT_EQ(Children(children[0])[0]->uId, 3u);
    EXPECT_EQ(Children(pSource).size(), 2u);
}

TEST_F(DkActorTest, KillAllObjectsLogsItsStepsAndEmptiesEveryTable)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* pModelActor = Make(pWorld);
    DkSetActorObject(pModelActor, DK_ACTOR_MODEL, DkCreateModel());
    DkCreateFixedModel();
    const DK_VECTOR origin = {0, 0, 0};
    ASSERT_NE(DkCreateCamera(&origin, nullptr, nullptr, pWorld), nullptr);
    ASSERT_NE(DkCreateLight(0, ONE, ONE, ONE, &origin, nullptr, pWorld), nullptr);
    ASSERT_NE(DkCreateCarLight(pModelActor, Fx(10), 2), nullptr);
    guNumTrackBlocks = 3;
    gaTrackBlocks[2].nNumMoveable = 4;

    // One execute buffer gives its last reference back, one is still held elsewhere.
    TestDevice device;
    D3DEXECUTEBUFFERDESC ebDesc{};
    ebDesc.dwSize = sizeof ebDesc;
    ebDesc.dwBufferSize = 64;
    ASSERT_EQ(device.device->CreateExecuteBuffer(&ebDesc, &gpExecuteBuffers[0], nullptr), D3D_OK);
    ASSERT_EQ(device.device->CreateExecuteBuffer(&ebDesc, &gpExecuteBuffers[9], nullptr), D3D_OK);
    IDirect3DExecuteBuffer* lpHeld = gpExecuteBuffers[9];
    lpHeld->AddRef();
    guNumExecuteBuffers = 2;

    std::string out = CaptureOutput([] { EXPECT_TRUE(DkKillAllObjects()); });
    EXPECT_TRUE(Reported(out, "E.B. Released, but it is not NULL")) << out;
    EXPECT_EQ(CountReports(out), 1) << out;

    const std::string log = Log();
    size_t at = 0;
    for (const char* step : {"Killing off actors", "Killing off cameras", "Killing off lights",
                             "Killing off models", "Killing off fixed models",
                             "Killing off execute buffers, though why is completely beyond me"})
    {
        size_t found = log.find(std::string(step) + "\r\n", at);
        ASSERT_NE(found, std::string::npos) << step << " in order, in:\n" << log;
        at = found + 1;
    }

    EXPECT_EQ(guNumActors, 0u);
    EXPECT_EQ(guNumCameras, 0u);
    EXPECT_EQ(guNumLights, 0u);
    EXPECT_EQ(guNumModels, 0u);
    EXPECT_EQ(guNumFixedModels, 0u);
    EXPECT_EQ(guNumExecuteBuffers, 0u);
    EXPECT_EQ(guNumTrackBlocks, 0u);
    EXPECT_EQ(gaTrackBlocks[2].nNumMoveable, 0);
    EXPECT_EQ(d3d->pWorldRoot, nullptr);
    for (DK_ACTOR* p : gapActors)
        ASSERT_EQ(p, nullptr);
    for (DK_CAMERA* p : gapCameras)
        ASSERT_EQ(p, nullptr);
    for (DK_LIGHT* p : gapLights)
        ASSERT_EQ(p, nullptr);
    // No car keeps a light whose actor is gone with the heap.
    for (DK_ACTOR* p : gapLightActors)
        ASSERT_EQ(p, nullptr);
    for (DK_MODEL* p : gapModels)
        ASSERT_EQ(p, nullptr);
    for (DK_FIXED_MODEL* p : gapFixedModels)
        ASSERT_EQ(p, nullptr);
    EXPECT_EQ(gpExecuteBuffers[0], nullptr);
    // The buffer held elsewhere keeps its entry, as the report says.
    EXPECT_EQ(gpExecuteBuffers[9], lpHeld);

    gpExecuteBuffers[9] = nullptr;
    EXPECT_EQ(lpHeld->Release(), 0u);
}

TEST_F(DkActorTest, DestroyAllActorsReportsTheSurvivorsBySlot)
{
    DK_ACTOR* pWorld = World();
    Make(pWorld);
    Make(nullptr); // slot 2, a second root the world actor does not reach
    Make(pWorld);
    DK_ACTOR* pStray = Make(nullptr); // slot 4
    Make(pStray);

    // Through the registry, as a heap reset runs it.
    int nMark = gnNumDestructors - 1;
    ASSERT_STREQ(gaDestructors[nMark].szName, "Actor Destructor");
    std::string out = CaptureOutput([&] { DkCallDestructors(nMark); });
    EXPECT_TRUE(Reported(out, "DestroyAllActors() : 3 actor(s) is/are still alive")) << out;
    for (const char* slot :
         {"DestroyAllActors() : actor 2 is alive", "DestroyAllActors() : actor 4 is alive",
          "DestroyAllActors() : actor 5 is alive"})
        EXPECT_TRUE(Reported(out, slot)) << out;
    EXPECT_EQ(CountReports(out), 4) << out;
    EXPECT_EQ(d3d->pWorldRoot, nullptr);

    // The destructor is registered again with the next actor.
    Make(nullptr);
    EXPECT_EQ(gnNumDestructors, nMark + 1);
    EXPECT_STREQ(gaDestructors[nMark].szName, "Actor Destructor");
}

} // namespace
