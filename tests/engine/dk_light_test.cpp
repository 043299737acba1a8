// Lights: the table, the car lights, the distance falloff, the vertex-colour walk over the
// visible track, the tint and the device description kept in step with the actor.

#include "engine/pc/3d/dk_light.h"

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/engine/scene_fixture.h"

namespace
{

// Every car light of these tests has a radius of 10.0, the first of the run too, so the offset
// it fixes is (9.0, 1.0, 0).
const int32_t kCarRadius = Fx(10);

class DkLightTest : public SceneTest
{
protected:
    void TearDown() override
    {
        d3d->nHardwareTexturing = 0;
        std::fill(std::begin(gapLightActors), std::end(gapLightActors), nullptr);
        gxLightRadius = 500 << 16;
        SceneTest::TearDown();
    }
    // A model of one level-0 node of lit vertices at the given positions.
    struct Position
    {
        float x, y, z;
    };
    DK_MODEL* Model(const std::vector<Position>& positions, uint32_t uColour, bool boWorldSpace)
    {
        vertexLists.emplace_back();
        for (const Position& p : positions)
        {
            DK_VERTEX v{};
            v.x = p.x;
            v.y = p.y;
            v.z = p.z;
            v.Lit.uColour = uColour;
            vertexLists.back().push_back(v);
        }
        nodes.emplace_back();
        DK_MODEL_NODE& node = nodes.back();
        node.pVertices = vertexLists.back().data();
        node.nNumVertices = static_cast<int32_t>(positions.size());
        DK_MODEL* pModel = DkCreateModel();
        pModel->aLevels[0].nVertexType = DK_VERTEX_LIT;
        pModel->aLevels[0].pFirstNode = &node;
        pModel->uNumLevels = 1;
        if (boWorldSpace)
            pModel->Scale = {-ONE, -ONE, -ONE};
        return pModel;
    }
    static uint32_t Colour(const DK_MODEL* pModel, int i)
    {
        return pModel->aLevels[0].pFirstNode->pVertices[i].Lit.uColour;
    }
    // A model actor standing alone at (x, 0, 0), with its world matrix set.
    DK_ACTOR* ModelActor(DK_MODEL* pModel, int32_t x)
    {
        DK_ACTOR* pActor = DkCreateActor(nullptr);
        DkSetActorObject(pActor, DK_ACTOR_MODEL, pModel);
        pActor->World = Translation(x, 0, 0);
        return pActor;
    }
    static void ShowOnlyBlockZero()
    {
        gaVisibleBlocks[0] = 0;
        gnNumVisibleBlocks = 1;
        gaVisibleBlockBits[0] = 1u;
    }

    std::deque<std::vector<DK_VERTEX>> vertexLists;
    std::deque<DK_MODEL_NODE> nodes;
};

TEST_F(DkLightTest, CarLightsTakeOnlySlotsOfTheTableAndKeepTheFirstOffset)
{
    DK_ACTOR* pCar = DkCreateActor(World());
    for (int nSlot : {-1, MAXLIGHTS})
    {
        DK_ACTOR* pLight = nullptr;
        std::string out =
            CaptureOutput([&] { pLight = DkCreateCarLight(pCar, kCarRadius, nSlot); });
        EXPECT_EQ(pLight, nullptr);
        EXPECT_TRUE(
            Reported(out, DkFormatString("DkCreateCarLight(): car slot %d is out of range", nSlot)))
            << out;
    }
    EXPECT_EQ(guNumLights, 0u);
    EXPECT_EQ(pCar->pChild, nullptr);

    DK_ACTOR* pLight = DkCreateCarLight(pCar, kCarRadius, 3);
    ASSERT_NE(pLight, nullptr);
    EXPECT_EQ(gapLightActors[3], pLight);
    EXPECT_EQ(pLight->pParent, pCar);
    ExpectMatrixEq(Translation(Fx(9), Fx(1), 0), pLight->Local);
    const auto* pRecord = static_cast<const DK_LIGHT*>(pLight->pObject);
    EXPECT_EQ(pRecord->Light.uType, static_cast<uint32_t>(DK_LIGHT_POINT));
    EXPECT_EQ(pRecord->axColour[2], ONE);

    // A later radius sets the falloff but not the offset.
    DK_ACTOR* pOther = DkCreateCarLight(pCar, Fx(30), 4);
    ExpectMatrixEq(Translation(Fx(9), Fx(1), 0), pOther->Local);
    EXPECT_EQ(gxLightRadius, Fx(30));
}

TEST_F(DkLightTest, The17thLightIsRefusedAndNothingIsLeftOfARefusal)
{
    DK_ACTOR* pWorld = World();
    for (int i = 0; i < MAXLIGHTS; ++i)
        ASSERT_NE(DkCreateLight(0, ONE, ONE, ONE, nullptr, nullptr, pWorld), nullptr) << i;
    const uint32_t uActors = guNumActors;
    DK_ACTOR* pRefused = nullptr;
    std::string out = CaptureOutput(
        [&] { pRefused = DkCreateLight(0, ONE, ONE, ONE, nullptr, nullptr, pWorld); });
    EXPECT_EQ(pRefused, nullptr);
    EXPECT_TRUE(Reported(out, "ERROR (DkCreateLight): No more array space")) << out;
    EXPECT_EQ(guNumLights, static_cast<uint32_t>(MAXLIGHTS));
    EXPECT_EQ(guNumActors, uActors);

    out = CaptureOutput([&]
                        { pRefused = DkCreateLight(0, ONE, ONE, ONE, nullptr, nullptr, nullptr); });
    EXPECT_EQ(pRefused, nullptr);
    EXPECT_TRUE(Reported(out, "DkCreateLight(): Parent is NULL!")) << out;

    // With the actor table full there is no actor to carry a light.
    DkDeleteLight(static_cast<DK_LIGHT*>(gapActors[1]->pObject));
    CaptureOutput(
        [&]
        {
            while (DkCreateActor(pWorld) != nullptr)
            {
            }
        });
    CaptureOutput([&] { pRefused = DkCreateLight(0, ONE, ONE, ONE, nullptr, nullptr, pWorld); });
    EXPECT_EQ(pRefused, nullptr);
    EXPECT_EQ(guNumLights, static_cast<uint32_t>(MAXLIGHTS - 1));
    EXPECT_EQ(gapLights[0], nullptr);
}

TEST_F(DkLightTest, TheDescriptionFollowsTheKindAndShinesTowardsTheParent)
{
    struct Case
    {
        int nType;
        uint32_t uKind;
        float fFalloff;
    };
    const Case cases[] = {
        {0, DK_LIGHT_POINT, 0},
        {1, DK_LIGHT_SPOT, 1.0f},
        {2, DK_LIGHT_DIRECTIONAL, 0},
        {3, DK_LIGHT_PARALLELPOINT, 0},
        {9, 0, 0},
    };
    const DK_VECTOR at = {0, 0, Fx(2)};
    for (const Case& k : cases)
    {
        DK_ACTOR* pActor = DkCreateLight(k.nType, Fx(0.5), Fx(0.25), ONE, &at, nullptr, World());
        const DK_LIGHT* pLight = static_cast<const DK_LIGHT*>(pActor->pObject);
        const DK_LIGHT_DESC& d = pLight->Light;
        EXPECT_EQ(d.uType, k.uKind) << k.nType;
        EXPECT_EQ(d.fFalloff, k.fFalloff) << k.nType;
        EXPECT_EQ(d.uSize, 80u);
        EXPECT_EQ(d.afColour[0], 0.5f);
        EXPECT_EQ(d.afColour[1], 0.25f);
        EXPECT_EQ(d.afColour[2], 1.0f);
        EXPECT_EQ(d.afColour[3], 1.0f / 65536);
        EXPECT_EQ(d.afPosition[2], 2.0f);
        // (0, 0, -2.0) through the table root: 2^32 / 131100 = 32761, times -2.0.
        EXPECT_EQ(d.afDirection[0], 0.0f);
        EXPECT_EQ(d.afDirection[2], -65522 / 65536.0f);
        EXPECT_EQ(d.afAttenuation[0], 0.0f);
        EXPECT_EQ(d.afAttenuation[1], 1.0f);
        EXPECT_EQ(d.fRange, 500.0f);
        EXPECT_EQ(d.uFlags, 3u);
        EXPECT_EQ(pLight->nEnabled, 1);
        EXPECT_EQ(pLight->axColour[0], Fx(0.5));
        EXPECT_EQ(pActor->uType, static_cast<uint32_t>(DK_ACTOR_LIGHT));
        EXPECT_EQ(pActor->Position.z, Fx(2));
    }
}

TEST_F(DkLightTest, FalloffIsFullNearTheLightAndFloorsAtFortyFromTheRadius)
{
    gxLightRadius = Fx(100);
    const DK_VECTOR light = {Fx(10), Fx(1), Fx(20)};
    struct Case
    {
        double dx, dy, dz;
        uint32_t uLevel;
    };
    // Distances go through the table root: 50.0 comes out as 50.0049, and 16.0 / 100.0 as 10485.
    const Case cases[] = {
        {0, 0, 0, 255},    {0, 500, 0, 255}, // heights do not count
        {0.39, 0, 0, 255},                   // within R / 256
        {0, 0, -1, 253},   {30, 0, 40, 127},
        {99.9, 0, 0, 40}, // just inside the radius: a level near 0, raised
        {100, 0, 0, 40},   {-150, 0, 0, 40},
        {80, 0, 80, 40}, // inside the square, outside the circle
    };
    for (const Case& k : cases)
    {
        const DK_VECTOR p = {light.x + Fx(k.dx), light.y + Fx(k.dy), light.z + Fx(k.dz)};
        const uint32_t uGrey = DkLightFalloff(&light, &p);
        EXPECT_EQ(uGrey, k.uLevel * 0x010101u) << "(" << k.dx << ", " << k.dz << ")";
    }
}

TEST_F(DkLightTest, LaterLightsOverwriteWhereTheirOwnLevelPassesForty)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* pCar0 = DkCreateActor(pWorld);
    DK_ACTOR* pCar1 = DkCreateActor(pWorld);
    pCar0->Local = Translation(Fx(-9), 0, 0);
    pCar1->Local = Translation(Fx(-1), 0, 0);
    DkCreateCarLight(pCar0, kCarRadius, 0);
    DkCreateCarLight(pCar1, kCarRadius, 1);
    DkUpdateActorTree(pWorld);
    // Lights at (0, 1, 0) and (8, 1, 0), radius 10.0.

    guNumTrackBlocks = 1;
    // The last vertex is a whisker inside light 0's radius: level 0, raised to 40.
    DK_MODEL* pMesh =
        Model({{3, 5, 0}, {-6, 0, 0}, {14, 0, 0}, {50, 0, 0}, {-9.99f, 0, 0}}, 0x7F123456u, true);
    gaTrackBlocks[0].pMesh = pMesh;
    DK_MODEL* pWorldModel = Model({{-2, 0, 0}}, 0x7F123456u, true);
    DK_ACTOR* pWorldSpace = ModelActor(pWorldModel, 0);
    DK_ACTOR* pNear = ModelActor(Model({}, 0, false), Fx(-3));
    DK_ACTOR* pFar = ModelActor(Model({}, 0, false), Fx(40));
    const uint8_t start[4] = {9, 9, 9, 77};
    std::memcpy(pNear->auColour, start, 4);
    std::memcpy(pFar->auColour, start, 4);
    for (DK_ACTOR* pActor : {pWorldSpace, pNear, pFar})
        ASSERT_TRUE(DkAppendActorToTrackBlock(pActor, 0));
    ShowOnlyBlockZero();

    DkLightActor(0);
    DkLightActor(1);
    // Light 0 at 3.0 gives 179, light 1 at 5.0 gives 127: the later one wins though dimmer.
    EXPECT_EQ(Colour(pMesh, 0), 0xFF7F7F7Fu);
    // 6.0 from light 0 gives 102; light 1 is 14.0 away and leaves it.
    EXPECT_EQ(Colour(pMesh, 1), 0xFF666666u);
    // Out of light 0's reach, 6.0 from light 1.
    EXPECT_EQ(Colour(pMesh, 2), 0xFF666666u);
    // Reached by neither: the reset grey, alpha kept; so too at the edge of light 0.
    EXPECT_EQ(Colour(pMesh, 3), 0x7F282828u);
    EXPECT_EQ(Colour(pMesh, 4), 0x7F282828u);
    EXPECT_EQ(Colour(pWorldModel, 0), 0xFFCCCCCCu); // 204 at 2.0
    const uint8_t nearExpected[4] = {179, 179, 179, 77};
    const uint8_t farExpected[4] = {40, 40, 40, 77};
    EXPECT_EQ(std::memcmp(pNear->auColour, nearExpected, 4), 0);
    EXPECT_EQ(std::memcmp(pFar->auColour, farExpected, 4), 0);

    // Only slot 0 resets: light 1 alone leaves what it does not reach.
    pMesh->aLevels[0].pFirstNode->pVertices[3].Lit.uColour = 0x11111111u;
    DkLightActor(1);
    EXPECT_EQ(Colour(pMesh, 3), 0x11111111u);

    // A slot without a light still resets from slot 0, and lights nothing.
    gapLightActors[0] = nullptr;
    DkLightActor(0);
    EXPECT_EQ(Colour(pMesh, 0), 0xFF282828u);
    EXPECT_EQ(Colour(pMesh, 3), 0x11282828u);
    EXPECT_EQ(pNear->auColour[0], 40);

    std::string out = CaptureOutput([] { DkLightActor(MAXLIGHTS); });
    EXPECT_TRUE(Reported(out, "DkLightActor(): car slot 16 is out of range")) << out;
}

TEST_F(DkLightTest, TintMovesFiveAChannelAndStopsShortOfTheTarget)
{
    const uint32_t uTarget = 0xFF686868u; // 104 in each channel
    DK_MODEL* pModel = Model({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 0, false);
    DK_VERTEX* v = pModel->aLevels[0].pFirstNode->pVertices;
    v[0].Lit.uColour = 0x80646464u; // 4 below: +5 then -5, unchanged
    v[1].Lit.uColour = 0x80000000u;
    v[2].Lit.uColour = 0x80FAFA68u; // far above: 5 down; on the target: kept
    v[3].Lit.uColour = 0x806B6B6Bu; // 3 above: 5 down
    DK_ACTOR* pWorld = World();
    DK_ACTOR* pTinted = DkCreateActor(pWorld);
    pTinted->uId = 3;
    DkSetActorObject(pTinted, DK_ACTOR_MODEL, pModel);

    // Identifiers 0 and 6 and the horizon are left; a child below them is not.
    DK_ACTOR* pZero = DkCreateActor(pWorld);
    DK_ACTOR* pSix = DkCreateActor(pWorld);
    DK_ACTOR* pSky = DkCreateActor(pWorld);
    pSix->uId = 0x3006;
    pSky->uId = 4;
    gpHorizonActor = pSky;
    std::vector<DK_MODEL*> untouched;
    for (DK_ACTOR* pActor : {pZero, pSix, pSky})
    {
        untouched.push_back(Model({{0, 0, 0}}, 0x80000000u, false));
        DkSetActorObject(pActor, DK_ACTOR_MODEL, untouched.back());
    }
    DK_ACTOR* pChild = DkCreateActor(pZero);
    pChild->uId = 5;
    DK_MODEL* pChildModel = Model({{0, 0, 0}}, 0x80000000u, false);
    DkSetActorObject(pChild, DK_ACTOR_MODEL, pChildModel);

    DkTintActorTree(pWorld, uTarget);
    EXPECT_EQ(v[1].Lit.uColour, 0x80000000u) << "nothing without hardware texturing";

    d3d->nHardwareTexturing = 1;
    DkTintActorTree(pWorld, uTarget);
    EXPECT_EQ(v[0].Lit.uColour, 0x80646464u);
    EXPECT_EQ(v[1].Lit.uColour, 0x80050505u);
    EXPECT_EQ(v[2].Lit.uColour, 0x80F5F568u);
    EXPECT_EQ(v[3].Lit.uColour, 0x80666666u);
    for (DK_MODEL* pModelLeft : untouched)
        EXPECT_EQ(Colour(pModelLeft, 0), 0x80000000u);
    EXPECT_EQ(Colour(pChildModel, 0), 0x80050505u);
    // The last vertex moved was the child's: R, G, B from the low byte up.
    EXPECT_EQ(DkGetLightingValue(), 0x00050505u);
    EXPECT_EQ(gLastTintColour[0], 5);
}

TEST_F(DkLightTest, TheConversionKeepsTheDescriptionInStepWithTheActor)
{
    DK_ACTOR* pWorld = World();
    DK_ACTOR* pCar = DkCreateActor(pWorld);
    pCar->Local = Translation(Fx(4), Fx(5), Fx(6));
    DK_ACTOR* pPoint = DkCreateLight(0, ONE, ONE, ONE, nullptr, nullptr, pCar);
    DK_ACTOR* pSpot = DkCreateLight(1, ONE, ONE, ONE, nullptr, nullptr, pCar);
    const int16_t quarter[3] = {0, 0, 0x4000}; // the direction's words, raw 16.16: (0, 0, 0.25)
    DK_ACTOR* pDirectional = DkCreateLight(2, ONE, ONE, ONE, nullptr, quarter, pWorld);
    DkUpdateActorTree(pWorld);
    DkSyncActorTreeD3D(pWorld);

    const DK_LIGHT_DESC& point = static_cast<DK_LIGHT*>(pPoint->pObject)->Light;
    EXPECT_EQ(point.afPosition[0], 4.0f);
    EXPECT_EQ(point.afPosition[1], 5.0f);
    EXPECT_EQ(point.afPosition[2], 6.0f);
    EXPECT_EQ(pPoint->uDirty, 0u);

    // A spot's direction is its X axis row as raw 16.16 words.
    const DK_LIGHT_DESC& spot = static_cast<DK_LIGHT*>(pSpot->pObject)->Light;
    EXPECT_EQ(spot.afDirection[0], 65536.0f);
    EXPECT_EQ(spot.afDirection[1], 0.0f);
    EXPECT_EQ(spot.afPosition[2], 6.0f);

    // Normalised through the table root: 0.25 measures 16387 / 65536.
    const DK_LIGHT_DESC& directional = static_cast<DK_LIGHT*>(pDirectional->pObject)->Light;
    EXPECT_EQ(directional.afDirection[0], 0.0f);
    EXPECT_FLOAT_EQ(directional.afDirection[2], 16384.0f / 16387.0f);
}

TEST_F(DkLightTest, AmbientColoursAreCopiedOnlyWhenEveryPointerIsThere)
{
    const uint8_t c[6][4] = {{1, 2, 3, 4},     {5, 6, 7, 8},     {9, 10, 11, 12},
                             {13, 14, 15, 16}, {17, 18, 19, 20}, {21, 22, 23, 24}};
    DkSetAmbientLightStates(c[0], c[1], c[2], c[3], c[4], c[5]);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::memcmp(gaAmbientLight[i], c[i], 4), 0) << i;

    const uint8_t other[4] = {99, 99, 99, 99};
    std::string out =
        CaptureOutput([&] { DkSetAmbientLightStates(other, other, other, other, nullptr, other); });
    EXPECT_TRUE(Reported(out, "ERROR(DkSetAmbientLightStates): Pointer to a colour is NULL"))
        << out;
    EXPECT_EQ(std::memcmp(gaAmbientLight[0], c[0], 4), 0);

    DkSetCarAmbientLight(c[4], c[5]);
    EXPECT_EQ(std::memcmp(gCarAmbientLight, c[4], 4), 0);
    out = CaptureOutput([&] { DkSetCarAmbientLight(other, nullptr); });
    EXPECT_TRUE(Reported(out, "ERROR(DkSetCarAmbientLight): Pointer to a colour is NULL")) << out;
    EXPECT_EQ(std::memcmp(gCarAmbientLight, c[4], 4), 0);
}

} // namespace
