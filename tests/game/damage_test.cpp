// The damage model on the data kit's car with its damageable parts: building the records and
// refusing corrupt models, impacts and their dents, smashed parts, the damage values and the
// handling they set, the wobble, water, the percentages kept between stages with their repairs,
// rebuilt shapes, the shell placed toward the camera, and the record's byte image.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/dk_model.h"
#include "game/effects/lights.h"
#include "game/effects/surfaces.h"
#include "game/hud/schoolspeech.h"
#include "game/race/gamedata.h"
#include "game/vehicle/carmodel_internal.h"
#include "tests/game/car_fixture.h"

namespace
{

using datakit::C3dCarParts;

constexpr int kUndamagedTexture = 40;
constexpr int kDamagedTexture = 41;
constexpr int kLeast = 9764; // the least impact speed, 0.149
constexpr int kSpan = 68419; // 1.044
constexpr int kModeByte = 358;
constexpr int kRepair = 110; // a player's repair groups, three bytes each
constexpr int kPercent = 125;

// The full-detail car's parts by role.
constexpr int kFront = 7, kRear = 10, kSideA = 1, kSideB = 2, kGearboxA = 6, kGearboxB = 3;

// A vertex of a part in the record's chains, by its index in chain order.
struct Vertex
{
    DK_VERTEX* rest;
    DK_VERTEX* damaged;
    DK_VERTEX* live;
    float* liveNormal;
    float* damagedNormal;
};

Vertex VertexOf(const DamageRecord& d, int p, int k)
{
    for (DamageVertexList *r = d.apRest[p], *m = d.apDamaged[p], *l = d.apLive[p]; l != nullptr;
         r = r->pNext, m = m->pNext, l = l->pNext)
    {
        if (k < l->nCount)
            return {&r->pVertices[k], &m->pVertices[k], &l->pVertices[k], &l->pfNormals[3 * k],
                    &m->pfNormals[3 * k]};
        k -= l->nCount;
    }
    return {};
}

int VertexCount(const DamageRecord& d, int p)
{
    int n = 0;
    for (const DamageVertexList* l = d.apLive[p]; l != nullptr; l = l->pNext)
        n += l->nCount;
    return n;
}

// The index of the part's vertex that rests at (x, y, z), -1 when none does.
int VertexAt(const DamageRecord& d, int p, double x, double y, double z)
{
    for (int k = 0; k < VertexCount(d, p); ++k)
    {
        const DK_VERTEX& v = *VertexOf(d, p, k).rest;
        if (std::abs(v.x - x) < 1e-3 && std::abs(v.y - y) < 1e-3 && std::abs(v.z - z) < 1e-3)
            return k;
    }
    return -1;
}

int32_t SpeedFor(double damage)
{
    return kLeast + static_cast<int32_t>(std::lround(damage * kSpan));
}

class DamageTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        gboMediumDetailCar = 0;
        gnCurrentPlayer = 0;
        Lights_ResetForTests();
        SchoolSpeech_ResetForTests();
        StandOn("flat-tarmac");
    }

    void TearDown() override
    {
        gboMediumDetailCar = 0;
        gnCurrentPlayer = 0;
        gNumberOfPlayers = 1;
        CarTest::TearDown();
    }

    // The data kit's car (flat-coloured, no display is open) with its texture words numbered as
    // a textured load would leave them, set up as car nCar.
    void SetUpDamageCar(int nCar, datakit::C3dScene scene, int nType = 0)
    {
        scene.textures.clear();
        for (datakit::C3dShape& shape : scene.shapes)
            for (datakit::C3dFace& face : shape.faces)
                face.texture = -1;
        LoadCarScene(nCar, scene, nType);
        for (DK_ACTOR* a = gaLoadedCar[nCar].paCar->pChild; a != nullptr; a = a->pNext)
        {
            if (a->uType != DK_ACTOR_MODEL || (a->uId & 0xFFF) < 6)
                continue;
            auto* pModel = static_cast<DK_MODEL*>(a->pObject);
            for (int l = 0; l < DK_MODEL_LEVELS; ++l)
                for (DK_MODEL_NODE* n = pModel->aLevels[l].pFirstNode; n != nullptr; n = n->pNext)
                    n->nTexture = l == DAMAGE_DAMAGED_LEVEL ? kDamagedTexture : kUndamagedTexture;
        }
        DK_ACTOR* pStart = StartActor(5.0 * nCar, 1.0, 100.0);
        const DK_VECTOR at = {Fixed(5.0 * nCar), ONE, 100 * ONE};
        BOOL boDone = FALSE;
        output += CaptureOutput(
            [&] {
                boDone = InitialiseCar(&gaCarBody[nCar], &gaCarMechanics[nCar], pStart, nType, &at,
                                       nCar);
            });
        ASSERT_TRUE(boDone) << output;
    }

    void SetUpDamageCar(int nCar, C3dCarParts parts = C3dCarParts::Full, int nType = 0)
    {
        SetUpDamageCar(nCar, datakit::C3dCar(parts), nType);
    }

    // InitialiseDamage over the first nCars cars; its log and reports.
    std::string Build(int nCars = 1, bool boStage = false)
    {
        gnNumMechCars = nCars;
        TakeLog();
        std::string out =
            CaptureOutput([&] { boStage ? InitialiseDamageStage() : InitialiseDamage(); });
        return TakeLog() + out;
    }

    // An impact of the given speed at a point in the car's frame.
    int32_t Impact(int nCar, DK_VECTOR at, int32_t xSpeed, int32_t* pnKind = nullptr)
    {
        CarBody& b = gaCarBody[nCar];
        b.ExtForce = {xSpeed, 0, 0};
        b.ImpactOffset = at;
        int32_t nKind = -1, xDamage = -1;
        output += CaptureOutput([&] { Damage_ApplyImpact(&b, &nKind, &xDamage); });
        if (pnKind != nullptr)
            *pnKind = nKind;
        return xDamage;
    }

    static DK_VECTOR At(double x, double y, double z) { return {Fixed(x), Fixed(y), Fixed(z)}; }
};

// --- Building

TEST_F(DamageTest, TheBuildTakesEveryPartWithItsChainsTexturesAndBox)
{
    SetUpDamageCar(0);
    const std::string log = Build();
    EXPECT_NE(log.find("Start of InitialiseDamage..."), std::string::npos) << log;
    EXPECT_NE(log.find("End of InitialiseDamage.\n"), std::string::npos) << log;
    EXPECT_EQ(CountReports(log), 0) << log;

    const DamageRecord& d = gaDamage[0];
    EXPECT_EQ(d.nNoOfParts, 12);
    EXPECT_EQ(d.nMainBodyPart, 11) << "the main body, last in the list, takes the next number";
    EXPECT_EQ(d.xPartReciprocal, ONE / 12);
    for (int r = 0; r < DAMAGE_ROLES; ++r)
        EXPECT_EQ(d.auRole[r], gauFullDetailRoles[r]) << r;
    const double thresholds[11] = {0.5, 0.2, 0.2, 0.5, 0.2, 0.2, 0.5, 0.5, 0.1, 0.1, 0.5};
    for (int p = 0; p < DAMAGE_PARTS; ++p)
        EXPECT_NEAR(Units(d.xSmashThreshold[p]), p < 11 ? thresholds[p] : 0.0, 1e-4) << p;
    // The front panel: 3 x 3 vertices in each chain, its box around them, undamaged.
    EXPECT_EQ(VertexCount(d, kFront), 9);
    EXPECT_NEAR(Units(d.PartCentre[kFront].x), 2.1, 1e-4);
    EXPECT_NEAR(Units(d.PartCentre[kFront].y), -0.1, 1e-4);
    EXPECT_NEAR(Units(d.PartHalfSize[kFront].z), 0.6, 1e-4);
    EXPECT_EQ(*d.apLiveTexture[kFront], kUndamagedTexture);
    EXPECT_EQ(*d.apDamagedTexture[kFront], kDamagedTexture);
    EXPECT_EQ(*d.apUndamagedTexture[kFront], kUndamagedTexture);
    for (int k = 0; k < 9; ++k)
    {
        const Vertex v = VertexOf(d, kFront, k);
        EXPECT_EQ(v.live->x, v.rest->x);
        EXPECT_LE(v.damaged->x, v.rest->x) << "pushed in";
    }
    // The main body's table holds its live positions.
    const Vertex shell = VertexOf(d, d.nMainBodyPart, 5);
    EXPECT_EQ(d.MainBodyRest[5].y, static_cast<int32_t>(shell.live->y * 65536.0f));
    // Nothing damaged, every factor whole.
    for (int32_t v : d.DamageValue)
        EXPECT_EQ(v, 0);
    EXPECT_EQ(d.DamageEngine, ONE);
    EXPECT_EQ(d.DamageFrontBrake, ONE);
    EXPECT_EQ(d.xSteeringFactor, ONE);
    EXPECT_EQ(d.SteeringOffset, 0);

    // Two players taking turns: both records, whatever the cars simulated.
    SetUpDamageCar(1);
    gnTestGameType = 2;
    Build(1);
    EXPECT_EQ(gaDamage[1].nNoOfParts, 12);
    gnTestGameType = 0;
    // The stage's build on the super special stage, outside the school, is the full one.
    SuperSpecial_SetForTests(TRUE);
    const std::string special = Build(1, true);
    EXPECT_NE(special.find("Start of InitialiseDamageStage..."), std::string::npos) << special;
    EXPECT_NE(special.find("End of InitialiseDamage.\n"), std::string::npos) << special;
    EXPECT_EQ(special.find("End of InitialiseDamageStage."), std::string::npos) << special;
    SuperSpecial_SetForTests(FALSE);
}

TEST_F(DamageTest, CorruptModelsAreRefusedPartByPart)
{
    using datakit::C3dScene;
    // The full car with the objects of its parts rewritten.
    auto car = [](auto change)
    {
        C3dScene scene = datakit::C3dCar(C3dCarParts::Full);
        change(scene);
        return scene;
    };
    auto partObject = [](C3dScene& s, uint32_t id) -> datakit::C3dObject&
    {
        return *std::find_if(s.objects.begin(), s.objects.end(),
                             [&](const datakit::C3dObject& o)
                             { return o.flags == id && o.parent == 0; });
    };
    struct Case
    {
        const char* name;
        C3dScene scene;
        int parts;    // nNoOfParts
        int mainBody; // its number, -1: none
        const char* report;
    } cases[] = {
        {"a damaged shape of another vertex count",
         car([&](C3dScene& s) { partObject(s, 9).shapes[1] = partObject(s, 14).shapes[1]; }), 11,
         11,
         "InitialiseDamage() : car 0: the part of attribute 9 has shapes of unequal vertex counts"},
        {"a part without its rest level",
         car([&](C3dScene& s) { partObject(s, 9).shapes.resize(2); }), 11, 11,
         "InitialiseDamage() : car 0: the part of attribute 9 lacks a shape"},
        {"a part numbered 30 or more", car([&](C3dScene& s) { partObject(s, 16).flags = 36; }), 11,
         10,
         "InitialiseDamage() : car 0: the part of attribute 36 would be part 30, beyond the 30 "
         "parts"},
        {"a part number taken twice", car([&](C3dScene& s) { partObject(s, 16).flags = 12; }), 11,
         10, "InitialiseDamage() : car 0: the part of attribute 12 takes part 6 a second time"},
        {"more than 30 parts, the main body the 31st",
         car(
             [&](C3dScene& s)
             {
                 const datakit::C3dObject part = partObject(s, 6);
                 for (uint32_t id = 17; id <= 36; ++id)
                 {
                     s.objects.push_back(part);
                     s.objects.back().flags = id;
                 }
                 // The main body after them all.
                 std::stable_partition(s.objects.begin(), s.objects.end(),
                                       [](const datakit::C3dObject& o) { return o.flags != 111; });
             }),
         30, -1,
         "InitialiseDamage() : car 0: the part of attribute 111 would be part 30, beyond the 30 "
         "parts"},
        {"a main body numbered 0",
         car(
             [&](C3dScene& s)
             {
                 // The main body first, the parts numbered from 1.
                 std::stable_partition(s.objects.begin(), s.objects.end(),
                                       [](const datakit::C3dObject& o)
                                       { return o.flags < 6 || o.flags == 111; });
                 for (datakit::C3dObject& o : s.objects)
                     if (o.parent == 0 && o.flags >= 6 && o.flags <= 16)
                         ++o.flags;
             }),
         12, 0, nullptr},
        {"no parts", datakit::C3dCar(C3dCarParts::None), 0, -1,
         "pDamage->nNoOfParts = 0 (DAMAGE WILL NOT WORK!!!!! - QRT)"},
    };
    for (Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CarModel_ClearAll();
        SetUpDamageCar(0, c.scene);
        const std::string out = Build();
        const DamageRecord& d = gaDamage[0];
        EXPECT_EQ(d.nNoOfParts, c.parts);
        EXPECT_EQ(d.nMainBodyPart, c.mainBody);
        if (c.report != nullptr)
        {
            EXPECT_TRUE(Reported(out, c.report)) << out;
        }
        else
        {
            EXPECT_EQ(CountReports(out), 0) << out;
        }
        EXPECT_EQ(d.xPartReciprocal, c.parts != 0 ? ONE / c.parts : 0);
        // A main body gets its table, however it is numbered.
        if (c.mainBody >= 0)
        {
            EXPECT_EQ(d.MainBodyRest[3].x,
                      static_cast<int32_t>(VertexOf(d, c.mainBody, 3).live->x * 65536.0f));
        }
        // Every part's chains are in step, and an impact anywhere on the car reads none past them.
        Impact(0, At(0.0, 0.0, 0.0), SpeedFor(1.0));
        Impact(0, At(2.1, 0.0, 0.0), SpeedFor(1.0));
    }

    // Chains of unequal node counts: a damaged level one node longer.
    CarModel_ClearAll();
    SetUpDamageCar(0);
    for (DK_ACTOR* a = gaCarBody[0].paCar->pChild; a != nullptr; a = a->pNext)
        if ((a->uId & 0xFFF) == 13)
            static_cast<DK_MODEL*>(a->pObject)->aLevels[DAMAGE_DAMAGED_LEVEL].pFirstNode->pNext =
                static_cast<DK_MODEL_NODE*>(DkHeapAlloc(sizeof(DK_MODEL_NODE)));
    const std::string out = Build();
    EXPECT_TRUE(Reported(out, "InitialiseDamage() : car 0: the part of attribute 13 has shapes of "
                              "unequal node counts"))
        << out;
    EXPECT_EQ(gaDamage[0].apLive[kFront], nullptr);
    EXPECT_EQ(gaDamage[0].nNoOfParts, 11);
}

TEST_F(DamageTest, AMainBodyOfMoreThan100VerticesKeepsItsFirst100)
{
    datakit::C3dScene scene = datakit::C3dCar(C3dCarParts::Full);
    // A shell of 150 vertices in place of the car's, its three levels one shape.
    datakit::C3dShape shell;
    shell.name = "BIG";
    for (int f = 0; f < 150; ++f)
        shell.vertices.push_back(datakit::C3dVertexAt(0.01 * f, 0.5, 0.0));
    for (uint16_t f = 0; f + 2 < 150; f += 3)
        shell.faces.push_back({{f, static_cast<uint16_t>(f + 1), static_cast<uint16_t>(f + 2)}});
    const int at = static_cast<int>(scene.shapes.size());
    scene.shapes.push_back(shell);
    for (datakit::C3dObject& o : scene.objects)
        if (o.flags == 111)
            o.shapes = {at, at, at};
    SetUpDamageCar(0, scene);
    const std::string out = Build();
    EXPECT_TRUE(Reported(out, "InitialiseDamage() : car 0: the main body has 150 vertices, only "
                              "the first 100 take part"))
        << out;
    const DamageRecord& d = gaDamage[0];
    ASSERT_EQ(d.nMainBodyPart, 11);
    EXPECT_NEAR(Units(d.MainBodyRest[99].x), 0.99, 1e-4);
    // The wobble and an impact move the first 100 and leave the rest.
    gaCarBody[0].NoDamage = 1;
    Impact(0, At(1.2, 0.5, 0.0), SpeedFor(1.0));
    gaCarBody[0].Velocity = At(0.5, 0.0, 0.0);
    Damage_UpdateWobble(0);
    EXPECT_NE(d.MainBodyRest[99].x, Fixed(0.99));
    for (int k = 100; k < 150; ++k)
        EXPECT_EQ(VertexOf(d, 11, k).live->x, VertexOf(d, 11, k).rest->x) << k;
}

TEST_F(DamageTest, TheDamagedShapeIsShadedWherePushedInByTheFirstBuildOnly)
{
    SetUpDamageCar(0);
    Build();
    const DamageRecord& d = gaDamage[0];
    // The front panel's middle is pushed 0.3 in: its damaged normal keeps 1 - 0.99 of itself.
    const int k = VertexAt(d, kFront, 2.1, -0.1, 0.0);
    ASSERT_GE(k, 0);
    EXPECT_NEAR(VertexOf(d, kFront, k).damagedNormal[0], 0.01, 1e-4);
    // A lamp's corners move in 0.05: 1 - 0.99 x min(1, 20 x 0.0498).
    const int lamp = VertexAt(d, 8, 2.12, 0.0, 0.6);
    const double a = std::sqrt(2.12 * 2.12 + 0.36), b = std::sqrt(2.07 * 2.07 + 0.36);
    EXPECT_NEAR(VertexOf(d, 8, lamp).damagedNormal[0], 1 - 0.99 * std::min(1.0, 20 * (a - b)),
                1e-3);
    // The main body keeps its normals; so does every shape when a stage builds again.
    EXPECT_EQ(VertexOf(d, 11, 0).damagedNormal[0] * VertexOf(d, 11, 0).damagedNormal[0] +
                  VertexOf(d, 11, 0).damagedNormal[1] * VertexOf(d, 11, 0).damagedNormal[1] +
                  VertexOf(d, 11, 0).damagedNormal[2] * VertexOf(d, 11, 0).damagedNormal[2],
              1.0f);
    const std::string log = Build(1, true);
    EXPECT_NE(log.find("Start of InitialiseDamageStage..."), std::string::npos) << log;
    EXPECT_NE(log.find("End of InitialiseDamageStage."), std::string::npos) << log;
    EXPECT_NEAR(VertexOf(gaDamage[0], kFront, k).damagedNormal[0], 0.01, 1e-4);
}

// --- Impacts

TEST_F(DamageTest, AnImpactDamagesFromItsLeastSpeedUpToFull)
{
    SetUpDamageCar(0);
    Build();
    struct Case
    {
        const char* name;
        int32_t speed;
        int32_t damage;
        bool ran; // the deformation ran
    } cases[] = {
        {"still", 0, 0, false},
        {"one below the least", kLeast - 1, 0, false},
        {"the least", kLeast, 0, true},
        {"half", kLeast + 34210, ONE / 2, true},
        {"just under half", kLeast + 34209, ONE / 2 - 1, true},
        {"the whole span", kLeast + kSpan, ONE, true},
        {"1.193", Fixed(1.193), ONE, true},
        {"4.0", 4 * ONE, ONE, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        // Far from the car the deformation only measures: every impact weight comes out 0.
        for (int32_t& w : gaDamage[0].xImpactWeight)
            w = 0x1234;
        int32_t nKind = -1;
        EXPECT_EQ(Impact(0, At(40.0, 0.0, 0.0), c.speed, &nKind), c.damage);
        EXPECT_EQ(nKind, 0);
        EXPECT_EQ(gaDamage[0].xImpactWeight[kFront], c.ran ? 0 : 0x1234);
        EXPECT_EQ(gaDamageWobble[0].nActive, 0);
    }
}

TEST_F(DamageTest, WithDamageOffNothingDentsAndTheWobbleMayStart)
{
    struct Case
    {
        const char* name;
        uint8_t option; // game-data byte 38
        int32_t noDamage;
        bool wobbles;
    } cases[] = {
        {"option bit 0", 0x01, 0, true},
        {"option bit 4", 0x10, 0, false},
        {"the car's flag", 0x00, 1, true},
    };
    struct Strength
    {
        int32_t speed;
        int32_t amplitude;
    } strengths[] = {
        {kLeast + 34210, ONE},       // 0.5
        {kLeast + 34209, 2 * 32767}, // just under: twice the damage
        {kLeast + 17105, 2 * 16384}, // 0.25
        {4 * ONE, ONE},
    };
    for (const Case& c : cases)
        for (const Strength& s : strengths)
        {
            SCOPED_TRACE(testing::Message() << c.name << ", speed " << s.speed);
            CarModel_ClearAll();
            SetUpDamageCar(0);
            Build();
            gaTestGameData[38] = c.option;
            gaCarBody[0].NoDamage = c.noDamage;
            const int k = VertexAt(gaDamage[0], kFront, 2.1, -0.1, 0.0);
            const float x = VertexOf(gaDamage[0], kFront, k).live->x;
            EXPECT_GT(Impact(0, At(2.1, -0.1, 0.0), s.speed), 0);
            EXPECT_EQ(VertexOf(gaDamage[0], kFront, k).live->x, x);
            EXPECT_EQ(gaDamage[0].xDeformation[kFront], 0);
            EXPECT_EQ(gaDamage[0].DamageValue[0], 0);
            EXPECT_EQ(gaDamageWobble[0].nActive, c.wobbles ? 1 : 0);
            EXPECT_EQ(gaDamageWobble[0].xAmplitude, c.wobbles ? s.amplitude : 0);
            gaTestGameData[38] = 0;
        }
}

TEST_F(DamageTest, AVertexMovesItsWeightOfTheWayAndStopsAtItsDamagedPosition)
{
    SetUpDamageCar(0);
    Build();
    const DamageRecord& d = gaDamage[0];
    const int centre = VertexAt(d, kFront, 2.1, -0.1, 0.0);
    const int corner = VertexAt(d, kFront, 2.1, -0.5, 0.6);
    ASSERT_GE(centre, 0);
    ASSERT_GE(corner, 0);
    const Vertex c = VertexOf(d, kFront, centre);
    const Vertex e = VertexOf(d, kFront, corner);
    // A quarter-strength hit on the middle moves it a quarter of the way; the corner, 0.52
    // squared away, (1 - 0.52) of that.
    Impact(0, At(2.1, -0.1, 0.0), kLeast + 17105);
    EXPECT_NEAR(c.live->x, 2.1 - 0.25 * 0.3, 1e-4);
    EXPECT_EQ(c.live->y, c.rest->y);
    EXPECT_EQ(c.live->z, c.rest->z);
    EXPECT_NEAR(e.live->x, 2.1 - 0.25 * 0.48 * 0.15, 1e-4);
    EXPECT_NEAR(c.liveNormal[0], 1 - 0.25 * 0.99, 1e-4);
    const double grown = Units(d.xDeformation[kFront]);
    EXPECT_GT(grown, 0.0);
    EXPECT_LT(grown, 0.25);
    // Hits of every strength never carry it past the damaged shape, and the deformation stops
    // at 1.0.
    for (int n = 0; n < 12; ++n)
    {
        Impact(0, At(2.1, -0.1, 0.0), SpeedFor(0.35));
        EXPECT_GE(c.live->x, c.damaged->x);
        EXPECT_LE(d.xDeformation[kFront], ONE);
    }
    EXPECT_EQ(c.live->x, c.damaged->x);
    EXPECT_EQ(c.liveNormal[0], c.damagedNormal[0]);
    EXPECT_EQ(e.live->x, e.damaged->x);
    EXPECT_EQ(d.xDeformation[kFront], ONE);
    // At its damaged position a vertex moves no more, though it is still weighed.
    Impact(0, At(2.1, -0.1, 0.0), SpeedFor(0.5));
    EXPECT_EQ(c.live->x, c.damaged->x);
    EXPECT_GT(d.xImpactWeight[kFront], 0);
}

TEST_F(DamageTest, APartPastItsThresholdSmashesWithTheKindOfItsRole)
{
    struct Case
    {
        int part;
        double threshold;
        int kind; // -1: left as it was
    } cases[] = {
        {kSideA, 0.2, 3},                             // role 10
        {kSideB, 0.2, 2},  {4, 0.2, 2},  {5, 0.2, 2}, // roles 7 to 9
        {8, 0.1, 1},       {9, 0.1, 1},               // the lamps
        {kFront, 0.5, -1}, {0, 0.5, -1}, {kGearboxB, 0.5, -1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.part);
        CarModel_ClearAll();
        SetUpDamageCar(0);
        Build();
        DamageRecord& d = gaDamage[0];
        EXPECT_NEAR(Units(d.xSmashThreshold[c.part]), c.threshold, 1e-4);
        d.xDeformation[c.part] = d.xSmashThreshold[c.part];
        int32_t nKind = -1;
        Damage_SmashParts(&d, &gaCarBody[0], &nKind);
        EXPECT_EQ(d.anSmashed[c.part], 0) << "at its threshold";
        EXPECT_EQ(nKind, -1);
        EXPECT_EQ(*d.apLiveTexture[c.part], kUndamagedTexture);

        ++d.xDeformation[c.part];
        Damage_SmashParts(&d, &gaCarBody[0], &nKind);
        EXPECT_EQ(d.anSmashed[c.part], 1);
        EXPECT_EQ(nKind, c.kind);
        EXPECT_EQ(*d.apLiveTexture[c.part], kDamagedTexture);
        for (int k = 0; k < VertexCount(d, c.part); ++k)
        {
            const Vertex v = VertexOf(d, c.part, k);
            EXPECT_EQ(v.live->u, v.damaged->u);
            EXPECT_EQ(v.live->v, v.damaged->v);
            EXPECT_EQ(v.live->x, v.rest->x) << "the shape stays";
        }
        // Smashed once only, and never the main body.
        nKind = -1;
        d.xDeformation[11] = ONE;
        Damage_SmashParts(&d, &gaCarBody[0], &nKind);
        EXPECT_EQ(nKind, -1);
        EXPECT_EQ(d.anSmashed[11], 0);
    }

    // The lamps' smashed flags, for the car lights.
    int32_t nFirst = -1, nSecond = -1;
    Damage_GetLampPartsSmashed(&gaCarBody[0], &nFirst, &nSecond);
    EXPECT_EQ(nFirst, 0);
    EXPECT_EQ(nSecond, 0);
    gaDamage[0].xDeformation[9] = ONE;
    Damage_SmashParts(&gaDamage[0], &gaCarBody[0], nullptr);
    Damage_GetLampPartsSmashed(&gaCarBody[0], &nFirst, &nSecond);
    EXPECT_EQ(nFirst, 0);
    EXPECT_EQ(nSecond, 1);
}

TEST_F(DamageTest, AFrontImpactAtNightMayBreakTheLampsAndTheSchoolHearsOfIt)
{
    SetUpDamageCar(0);
    Build();
    Impact(0, At(2.2, 0.0, 0.0), SpeedFor(0.5));
    EXPECT_EQ(Lights_GetBreakageCallsForTests(), 0) << "by day";
    StageInfo_SetLightForTests(8);
    Impact(0, At(-2.2, 0.0, 0.0), SpeedFor(0.5));
    EXPECT_EQ(Lights_GetBreakageCallsForTests(), 0) << "the front part not dented";
    Impact(0, At(2.2, 0.0, 0.0), SpeedFor(0.5));
    EXPECT_EQ(Lights_GetBreakageCallsForTests(), 1);
    EXPECT_EQ(Lights_GetLastBreakageCarForTests(), &gaCarBody[0]);

    EXPECT_EQ(SchoolSpeech_GetSeverityCallsForTests(), 0);
    gboTestRallySchool = TRUE;
    const int32_t xDamage = Impact(0, At(-2.2, 0.0, 0.0), SpeedFor(0.75));
    EXPECT_EQ(SchoolSpeech_GetSeverityCallsForTests(), 1);
    EXPECT_EQ(SchoolSpeech_GetLastSeverityForTests(), xDamage);
}

// --- Values

TEST_F(DamageTest, EachSidesImpactFeedsItsValues)
{
    SetUpDamageCar(0);
    Build();
    // Each role's part weighed 0.5 gives 0.15 to the values it touches.
    struct Case
    {
        const char* name;
        std::vector<int> parts;
        std::vector<int> values; // the values that reach 0.15
        double engine, gearbox;  // values 7 and 8
    } cases[] = {
        {"front", {kFront}, {0, 1, 9, 10}, 0.3, 0.0},
        {"rear", {kRear}, {2, 3, 11, 12}, 0.0, 0.0},
        {"side A", {kSideA}, {0, 2, 10, 12}, 0.0, 0.0},
        {"side B", {kSideB}, {1, 3, 9, 11}, 0.0, 0.0},
        {"gearbox", {kGearboxA, kGearboxB}, {}, 0.0, 0.3},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DamageRecord& d = gaDamage[0];
        for (int32_t& v : d.DamageValue)
            v = 0;
        for (int32_t& w : d.xImpactWeight)
            w = 0;
        for (int p : c.parts)
            d.xImpactWeight[p] = ONE / 2;
        Damage_UpdateValues(&d, 0);
        for (int v : {0, 1, 2, 3, 9, 10, 11, 12})
        {
            const bool fed = std::count(c.values.begin(), c.values.end(), v) != 0;
            EXPECT_NEAR(Units(d.DamageValue[v]), fed ? 0.15 : 0.0, 1e-4) << v;
        }
        const double corners = c.values.empty() ? 0.0 : 0.075; // two of four corners at 0.15
        EXPECT_NEAR(Units(d.DamageValue[5]), corners, 1e-4);
        EXPECT_NEAR(Units(d.DamageValue[6]), corners, 1e-4);
        EXPECT_NEAR(Units(d.DamageValue[7]), c.engine, 1e-4);
        EXPECT_NEAR(Units(d.DamageValue[8]), c.gearbox, 1e-4);
        EXPECT_EQ(d.DamageValue[4], 0);
    }

    // Real impacts reach only their side's parts.
    struct Hit
    {
        const char* name;
        double x, z;
        std::vector<int> values;
    } hits[] = {
        {"front", 2.2, 0.0, {0, 1, 9, 10, 7}},
        {"rear", -2.2, 0.0, {2, 3, 11, 12}},
        {"side A", 0.0, 1.0, {0, 2, 10, 12}},
        {"side B", 0.0, -1.0, {1, 3, 9, 11}},
    };
    for (const Hit& h : hits)
    {
        SCOPED_TRACE(h.name);
        CarModel_ClearAll();
        SetUpDamageCar(0);
        Build();
        Impact(0, At(h.x, 0.0, h.z), SpeedFor(1.0));
        for (int v : {0, 1, 2, 3, 7, 9, 10, 11, 12})
        {
            const bool fed = std::count(h.values.begin(), h.values.end(), v) != 0;
            if (fed)
            {
                EXPECT_GT(gaDamage[0].DamageValue[v], 0) << v;
            }
            else
            {
                EXPECT_EQ(gaDamage[0].DamageValue[v], 0) << v;
            }
        }
    }
}

TEST_F(DamageTest, TheValuesSetTheHandlingAndPullTheSteering)
{
    SetUpDamageCar(0);
    Build();
    DamageRecord& d = gaDamage[0];
    CarMechanics& m = gaCarMechanics[0];
    struct Case
    {
        const char* name;
        double v[13];
        double water;
        int pull; // angle units
        double steering, gripA, gripB, engine, gearbox;
    } cases[] = {
        {"undamaged", {}, 1.0, 0, 1.0, 1.0, 1.0, 1.0, 1.0},
        {"one side, mean below 0.4", {0, 0.7, 0, 0.7}, 1.0, 0, 0.79, 1.0, 1.0, 1.0, 1.0},
        {"mean exactly 0.4", {0.3, 0.5, 0.3, 0.5}, 1.0, 0, 0.76, 1.0, 1.0, 1.0, 1.0},
        {"mean 0.5, all to one side", {0, 1.0, 0, 1.0}, 1.0, 68, 0.7, 1.0, 1.0, 1.0, 1.0},
        {"the other side", {1.0, 0, 1.0, 0}, 1.0, -68, 0.7, 1.0, 1.0, 1.0, 1.0},
        {"a slight pull", {0.4, 0.44, 0.4, 0.44}, 1.0, 1, 0.748, 1.0, 1.0, 1.0, 1.0},
        {"grip and water",
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0.5, 0.3, 1.0, 0.6},
         0.5,
         0,
         1.0,
         0.92,
         0.84,
         1.0,
         1.0},
        {"engine", {0, 0, 0, 0, 0, 0, 0, 1.0}, 1.0, 0, 1.0, 1.0, 1.0, 1 - 0.2 * 2.94, 1.0},
        {"gearbox", {0, 0, 0, 0, 0, 0, 0, 0, 1.0}, 1.0, 0, 1.0, 1.0, 1.0, 1.0, 0.95},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        for (int32_t& w : d.xImpactWeight)
            w = 0;
        for (int k = 0; k < DAMAGE_VALUES; ++k)
            d.DamageValue[k] = Fixed(c.v[k]);
        d.xWaterFactor = Fixed(c.water);
        Damage_UpdateValues(&d, 0);
        EXPECT_EQ(d.SteeringOffset, c.pull);
        EXPECT_NEAR(Units(d.xSteeringFactor), c.steering, 1e-4);
        EXPECT_NEAR(Units(d.xGripFactorA), c.gripA, 1e-4);
        EXPECT_NEAR(Units(d.xGripFactorB), c.gripB, 1e-4);
        EXPECT_NEAR(Units(d.DamageFrontBrake), c.gripA * c.water, 1e-4);
        EXPECT_NEAR(Units(d.DamageRearBrake), c.gripB * c.water, 1e-4);
        EXPECT_NEAR(Units(d.DamageEngine), c.engine, 1e-4);
        EXPECT_NEAR(Units(d.xGearboxFactor), c.gearbox, 1e-4);
        for (int w = 0; w < 4; ++w)
            EXPECT_NEAR(Units(d.DamageWheelDrag[w]), 0.05 * c.v[w], 1e-4);
        // The gearbox's tables: the ratios times g, their reciprocals divided by it.
        for (int g = 1; g < CAR_GEARS; ++g)
        {
            EXPECT_NEAR(Units(m.GearRatioCopy[g]), Units(m.GearRatio[g]) * c.gearbox, 1e-4);
            EXPECT_NEAR(Units(m.InverseGearRatioCopy[g]), Units(m.InverseGearRatio[g]) / c.gearbox,
                        1e-4);
        }
    }
    // Values above 1.0 are capped; a car without damage handling keeps its values.
    d.DamageValue[0] = 3 * ONE;
    Damage_UpdateValues(&d, 0);
    EXPECT_EQ(d.DamageValue[0], ONE);
    gaCarBody[0].DamageActive = 0;
    d.DamageValue[0] = 3 * ONE;
    Damage_UpdateValues(&d, 0);
    EXPECT_EQ(d.DamageValue[0], 3 * ONE);
}

TEST_F(DamageTest, TheMediumDetailCarTakesItsRolesByTypeAndWeighsByQuadrant)
{
    gboMediumDetailCar = 1;
    const struct
    {
        int type;
        uint8_t roles[4];
    } types[] = {{0, {3, 3, 3, 3}}, {1, {3, 3, 3, 3}}, {2, {4, 4, 4, 4}}, {4, {4, 4, 4, 2}},
                 {5, {1, 1, 1, 1}}, {7, {1, 1, 2, 1}}, {8, {3, 3, 3, 3}}, {13, {4, 4, 4, 2}}};
    for (const auto& t : types)
    {
        SCOPED_TRACE(t.type);
        CarModel_ClearAll();
        SetUpDamageCar(0, C3dCarParts::Medium, t.type);
        Build();
        const DamageRecord& d = gaDamage[0];
        EXPECT_EQ(d.nNoOfParts, 10);
        const uint8_t fixed[] = {7, 8, 5, 6, 7, 1};
        for (int r = 0; r < 6; ++r)
            EXPECT_EQ(d.auRole[r], fixed[r]) << r;
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(d.auRole[6 + r], t.roles[r]) << 6 + r;
        EXPECT_EQ(d.auRole[10], 1);
        EXPECT_EQ(d.auRole[11], 1);
        EXPECT_EQ(d.auRole[12], 1);
        for (int p = 0; p < 11; ++p)
            EXPECT_EQ(d.xSmashThreshold[p], 13107) << p;
    }

    // A hit on the front corner of side A lands in one quadrant (x and z at or above 0): the
    // front and side A roles take its mean, the rear and side B none.
    Impact(0, At(2.1, 0.0, 0.9), SpeedFor(1.0));
    const DamageRecord& d = gaDamage[0];
    EXPECT_GT(d.xImpactWeight[7], 0);
    EXPECT_EQ(d.xImpactWeight[7], d.xImpactWeight[5]);
    EXPECT_EQ(d.xImpactWeight[8], 0);
    EXPECT_EQ(d.xImpactWeight[6], 0);
    // A hit across the middle of the front: both front quadrants.
    Impact(0, At(2.2, 0.0, 0.0), SpeedFor(1.0));
    EXPECT_GT(d.xImpactWeight[6], 0);
    EXPECT_GT(d.xImpactWeight[5], 0);
    EXPECT_EQ(d.xImpactWeight[7], d.xImpactWeight[5] + d.xImpactWeight[6]);
}

// --- Wobble and water

TEST_F(DamageTest, TheWobbleSpringsFromJoltsAndItsAmplitudeDiesAway)
{
    SetUpDamageCar(0);
    Build();
    CarBody& b = gaCarBody[0];
    const DamageWobble& w = gaDamageWobble[0];
    const DamageRecord& d = gaDamage[0];
    // A jolt of any size moves the displacement at most 0.012 a tick.
    b.VelocityPrev = {};
    b.Velocity = VecAdd(VecScaled(b.OrientRow0, 3 * ONE), VecScaled(b.UpAxis, 4 * ONE));
    Damage_UpdateWobble(0);
    const double first = std::hypot(Units(w.Displacement.x), Units(w.Displacement.y));
    EXPECT_NEAR(first, 0.012, 1e-4);
    EXPECT_NEAR(Units(w.Displacement.z), 0.0, 1e-4);
    // Then, the car steady, the spring pulls it back.
    b.VelocityPrev = b.Velocity;
    Damage_UpdateWobble(0);
    const double second = std::hypot(Units(w.Displacement.x), Units(w.Displacement.y));
    EXPECT_NEAR(second, first * 0.8, 1e-4);
    // The displaced body: a vertex above -0.5 moves by 6 (y + 0.5)^2 of it, its rest the start.
    const int k = VertexAt(d, 0, 0.0, 0.68, 0.0);
    ASSERT_GE(k, 0);
    const float f = 6.0f * 1.18f * 1.18f;
    EXPECT_NEAR(VertexOf(d, 0, k).live->x, Units(w.Displacement.x) * f, 2e-4);

    // An impact with damage off starts the ripple at 1.0; it falls 0.02 a tick and stops.
    b.NoDamage = 1;
    Impact(0, At(2.2, 0.0, 0.0), SpeedFor(1.0));
    ASSERT_EQ(w.nActive, 1);
    int ticks = 0;
    while (w.nActive != 0 && ticks < 100)
    {
        const int32_t xBefore = w.xAmplitude;
        Damage_UpdateWobble(0);
        ++ticks;
        EXPECT_EQ(w.xAmplitude, std::max(0, xBefore - 1310));
    }
    EXPECT_EQ(ticks, 51);
    EXPECT_EQ(w.xAmplitude, 0);
    // Still, undisplaced and without the ripple, every part rests.
    gaDamageWobble[0].Displacement = {};
    b.Velocity = b.VelocityPrev = {};
    Damage_UpdateWobble(0);
    for (int p = 0; p < 11; ++p)
        for (int v = 0; v < VertexCount(d, p); ++v)
            ASSERT_EQ(VertexOf(d, p, v).live->y, VertexOf(d, p, v).rest->y) << p << " " << v;
    // The main body goes to its table, its drawn shape untouched.
    EXPECT_EQ(d.MainBodyRest[0].y, static_cast<int32_t>(VertexOf(d, 11, 0).rest->y * 65536.0f));
}

TEST_F(DamageTest, WaterSoaksACarSlidingThroughItAndDries)
{
    SetUpDamageCar(0);
    Build();
    CarBody& b = gaCarBody[0];
    CarMechanics& m = gaCarMechanics[0];
    DamageRecord& d = gaDamage[0];
    struct Case
    {
        const char* name;
        int surface;
        double sideways;
        bool level;     // the up axis along the ground's normal
        int wheelsDown; // wheels on the ground
        double water, value4;
    } cases[] = {
        {"shallow water", SURFACE_SHALLOW_WATER, 1.5, true, 4, 0.75, 0.025},
        {"stream", SURFACE_STREAM, 1.5, true, 4, 0.75, 0.025},
        {"sea, fast", SURFACE_SEA, 4.0, true, 4, 0.0, 0.15},
        {"deep water at exactly 1.0", SURFACE_DEEP_WATER, 1.0, true, 4, 1.0, 0.0},
        {"the surface before", SURFACE_SHALLOW_WATER - 1, 1.5, true, 4, 1.0, 0.0},
        {"the surface after", SURFACE_STREAM + 1, 1.5, true, 4, 1.0, 0.0},
        {"tilted on the ground", SURFACE_SHALLOW_WATER, 1.5, false, 4, 1.0, 0.0},
        {"in the air", SURFACE_SHALLOW_WATER, 1.5, true, 0, 1.0, 0.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        d.xWaterFactor = ONE;
        d.DamageValue[4] = 0;
        d.nDrying = 0;
        for (int w = 0; w < 4; ++w)
            m.WheelSurface[w] = w == 2 ? static_cast<int16_t>(c.surface) : 0;
        b.WheelsOnGround = c.wheelsDown;
        b.UpAxis = {0, ONE, 0};
        b.GroundNormal = c.level ? DK_VECTOR{0, ONE, 0} : At(0.0, 0.9, 0.4359);
        b.OrientRow0 = {ONE, 0, 0};
        b.Velocity = At(3.0, 0.0, c.sideways); // forward speed does not count
        Damage_UpdateWater(&b, &m);
        // A soaked car starts drying on the same tick.
        const double dried = c.water < 1.0 ? 32 / 65536.0 : 0.0;
        EXPECT_NEAR(Units(d.xWaterFactor), c.water + dried, 1e-4);
        EXPECT_NEAR(Units(d.DamageValue[4]), c.value4, 1e-4);
        EXPECT_NEAR(Units(d.DamageFrontBrake), Units(d.xWaterFactor), 1e-4);
    }

    // Drying: 32 a tick, 327 drying quickly, to 1.0 once beyond 0.99998.
    b.Velocity = {};
    for (int32_t quick : {0, 1})
    {
        SCOPED_TRACE(quick);
        m.QuickDrying = quick;
        d.xWaterFactor = ONE / 2;
        d.nDrying = 1;
        Damage_UpdateWater(&b, &m);
        EXPECT_EQ(d.xWaterFactor, ONE / 2 + (quick ? 327 : 32));
        d.xWaterFactor = 65534 - (quick ? 327 : 32);
        Damage_UpdateWater(&b, &m);
        EXPECT_EQ(d.xWaterFactor, 65534) << "0.99998 itself";
        EXPECT_EQ(d.nDrying, 1);
        Damage_UpdateWater(&b, &m);
        EXPECT_EQ(d.xWaterFactor, ONE);
        EXPECT_EQ(d.nDrying, 0);
        EXPECT_EQ(d.DamageFrontBrake, d.xGripFactorA);
    }
    m.QuickDrying = 0;

    // Nothing on the super special stage outside the school, or on a car without damage
    // handling.
    for (int nCase = 0; nCase < 2; ++nCase)
    {
        SuperSpecial_SetForTests(nCase == 0);
        b.DamageActive = nCase == 0 ? 1 : 0;
        d.xWaterFactor = ONE / 2;
        d.nDrying = 1;
        Damage_UpdateWater(&b, &m);
        EXPECT_EQ(d.xWaterFactor, ONE / 2) << nCase;
    }
    SuperSpecial_SetForTests(FALSE);
}

// --- Between stages

TEST_F(DamageTest, PercentagesComeBackAtTheNextStageWithThePaidRepairs)
{
    SetUpDamageCar(0);
    Build();
    // Building marks every group repaired, keeping the bits around the fields.
    for (int g = 0; g < 5; ++g)
    {
        EXPECT_EQ(gaTestGameData[PlayerByte(0, kRepair + 3 * g + 1)], 100);
        EXPECT_EQ(gaTestGameData[PlayerByte(0, kRepair + 3 * g)], 0);
        gaTestGameData[PlayerByte(0, kRepair + 3 * g)] = 0xC0;
        gaTestGameData[PlayerByte(0, kRepair + 3 * g + 1)] = 0x80;
    }
    DamageRecord& d = gaDamage[0];
    // Each value x 100 / 65,536, truncated.
    const struct
    {
        double value;
        int percent;
    } values[13] = {{0.33, 33}, {0.5, 50},   {0.01, 0},  {1.0, 100}, {0.015, 1},
                    {0.2, 19},  {0.999, 99}, {0.75, 75}, {0.015, 1}, {0.0, 0},
                    {0.1, 10},  {0.26, 25},  {0.9, 89}};
    for (int v = 0; v < DAMAGE_VALUES; ++v)
        d.DamageValue[v] = Fixed(values[v].value);
    Damage_StoreDamagePercentages();
    for (int v = 0; v < DAMAGE_VALUES; ++v)
        EXPECT_EQ(gaTestGameData[PlayerByte(0, kPercent + v)], values[v].percent) << v;
    // The repair groups: 100 less the percentage, and the time by the scale (30, 45, 30, 60,
    // 60), at least 1 for a little damage.
    const struct
    {
        int percent, time;
    } groups[5] = {{1, 1}, {19, 8}, {99, 29}, {75, 45}, {1, 1}};
    for (int g = 0; g < 5; ++g)
    {
        SCOPED_TRACE(g);
        EXPECT_EQ(gaTestGameData[PlayerByte(0, kRepair + 3 * g + 1)],
                  0x80 | (100 - groups[g].percent));
        EXPECT_EQ(gaTestGameData[PlayerByte(0, kRepair + 3 * g)], 0xC0 | groups[g].time);
    }
    const std::array<uint8_t, 13> stored = []
    {
        std::array<uint8_t, 13> a{};
        for (int v = 0; v < 13; ++v)
            a[v] = gaTestGameData[PlayerByte(0, kPercent + v)];
        return a;
    }();

    // A paid repair (the group's condition back to 100) does nothing until the stage starts.
    gaTestGameData[PlayerByte(0, kRepair + 3 * 1 + 1)] = 0x80 | 100; // group 2: values 5, 0-3
    EXPECT_EQ(d.DamageValue[1], Fixed(0.5));
    CarModel_ClearAll();
    SetUpDamageCar(0);
    Build(1, true);
    for (int v = 0; v < DAMAGE_VALUES; ++v)
    {
        SCOPED_TRACE(v);
        const bool repaired = v <= 3 || v == 5;
        EXPECT_EQ(gaTestGameData[PlayerByte(0, kPercent + v)], repaired ? 0 : stored[v]);
        if (v == 5 || v == 6)
            continue; // the means, recomputed
        EXPECT_NEAR(Units(gaDamage[0].DamageValue[v]), repaired ? 0.0 : stored[v] / 100.0, 0.01);
    }
    // Stored again, each value gives the same percentage back.
    Damage_StoreDamagePercentages();
    for (int v : {4, 7, 8, 9, 10, 11, 12})
        EXPECT_EQ(gaTestGameData[PlayerByte(0, kPercent + v)], stored[v]) << v;
    EXPECT_NEAR(Units(gaDamage[0].DamageEngine), 1 - 0.75 * 0.2 * 2.94, 0.01) << "handling too";
}

TEST_F(DamageTest, TheGameModeByteAndTheTurnsDecideWhatIsStored)
{
    SetUpDamageCar(0);
    SetUpDamageCar(1);
    Build(2);
    gaDamage[0].DamageValue[7] = ONE / 2;
    gaDamage[1].DamageValue[7] = ONE / 4;
    struct Case
    {
        const char* name;
        uint8_t mode;
        int type; // 2: two players taking turns
        int players, current;
        BOOL school;
        int first, second; // value 7 as stored, -1 untouched
    } cases[] = {
        {"two players", 0, 0, 2, 0, FALSE, 50, 25},
        {"time trial: nothing", 2, 0, 2, 0, FALSE, -1, -1},
        {"high bits 5: zeros", 0x50, 0, 2, 0, FALSE, 0, 0},
        {"high bits 5 in the school", 0x50, 0, 1, 0, TRUE, 50, -1},
        {"turns, the first's", 0x08, 2, 1, 0, FALSE, 50, -1},
        {"turns, the second's from record 0", 0x08, 2, 1, 1, FALSE, -1, 50},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        for (int p = 0; p < 2; ++p)
        {
            gaTestGameData[PlayerByte(p, kPercent + 7)] = 99;
            gaTestGameData[PlayerByte(p, kRepair + 3 * 4)] = 0;
        }
        gaTestGameData[PlayerByte(0, kPercent + 8)] = 60;
        gaTestGameData[kModeByte] = c.mode;
        gnTestGameType = c.type;
        gNumberOfPlayers = c.players;
        gnCurrentPlayer = static_cast<uint8_t>(c.current);
        gboTestRallySchool = c.school;
        Damage_StoreDamagePercentages();
        EXPECT_EQ(gaTestGameData[PlayerByte(0, kPercent + 7)], c.first < 0 ? 99 : c.first);
        EXPECT_EQ(gaTestGameData[PlayerByte(1, kPercent + 7)], c.second < 0 ? 99 : c.second);
    }
    // On the second player's turn the first's groups follow the first's own percentages.
    EXPECT_EQ(gaTestGameData[PlayerByte(0, kRepair + 3 * 4)], 36);
    gaTestGameData[kModeByte] = 0;
    gnTestGameType = 0;
    gboTestRallySchool = FALSE;

    // Both players' records load in a game of turns.
    gnTestGameType = 2;
    gNumberOfPlayers = 1;
    gaTestGameData[PlayerByte(1, kPercent + 7)] = 40;
    Damage_LoadPercentages();
    EXPECT_NEAR(Units(gaDamage[1].DamageValue[7]), 0.4, 1e-4);
}

// --- Shapes after a replay jump, and the shell

TEST_F(DamageTest, RebuiltShapesFollowTheStoredDeformations)
{
    SetUpDamageCar(0);
    Build();
    DamageRecord& d = gaDamage[0];
    Impact(0, At(2.2, 0.0, 0.0), SpeedFor(1.0));
    Impact(0, At(0.0, 0.0, 1.0), SpeedFor(1.0));
    // The replay restores the record: deformations as they were, the meshes as they are now.
    DamageRecord saved = d;
    Damage_RepairCar(0);
    EXPECT_EQ(d.xDeformation[kFront], 0);
    EXPECT_EQ(*d.apLiveTexture[kSideA], kUndamagedTexture);
    for (int p = 0; p < DAMAGE_PARTS; ++p)
        d.xDeformation[p] = saved.xDeformation[p];
    for (int p = 0; p < DAMAGE_PARTS; ++p)
        d.anSmashed[p] = saved.anSmashed[p];
    Damage_RebuildShapes(&gaCarBody[0]);
    for (int p = 0; p < 11; ++p)
    {
        const double f = Units(d.xDeformation[p]);
        for (int k = 0; k < VertexCount(d, p); ++k)
        {
            const Vertex v = VertexOf(d, p, k);
            ASSERT_NEAR(v.live->x, v.rest->x + f * (v.damaged->x - v.rest->x), 1e-4)
                << p << " " << k;
            ASSERT_NEAR(v.live->z, v.rest->z + f * (v.damaged->z - v.rest->z), 1e-4)
                << p << " " << k;
        }
        EXPECT_EQ(*d.apLiveTexture[p], d.anSmashed[p] ? kDamagedTexture : kUndamagedTexture) << p;
        EXPECT_EQ(d.anSmashed[p], saved.anSmashed[p]) << p;
    }
    EXPECT_EQ(d.anSmashed[kSideA], 1) << "the side hit past its threshold";
    const Vertex shell = VertexOf(d, 11, 2);
    const double f = Units(d.xDeformation[11]);
    EXPECT_NEAR(Units(d.MainBodyRest[2].x), shell.rest->x + f * (shell.damaged->x - shell.rest->x),
                1e-4);

    // A car whose damage flag is clear goes back to rest with no deformation.
    gaCarBody[0].DamageActive = 0;
    Damage_RebuildShapes(&gaCarBody[0]);
    for (int p = 0; p < 12; ++p)
        EXPECT_EQ(d.xDeformation[p], 0) << p;
    const Vertex v = VertexOf(d, kSideA, 4);
    EXPECT_EQ(v.live->z, v.rest->z);
    EXPECT_EQ(v.live->u, v.rest->u);
    EXPECT_EQ(*d.apLiveTexture[kSideA], kUndamagedTexture);
}

// The ticks dent the record's own copy of the live shape; the model the frames draw takes it at
// the frame's snapshot only, and keeps the colour words the frame wrote.
TEST_F(DamageTest, TheDrawnModelTakesTheDentsAtTheFrameSnapshot)
{
    SetUpDamageCar(0);
    Build();
    DamageRecord& d = gaDamage[0];
    Damage_ShowLiveShapes();
    const DamageVertexList* l = d.apLive[kFront];
    ASSERT_NE(l, nullptr);
    ASSERT_NE(l->pShownVertices, nullptr);
    ASSERT_NE(l->pShownVertices, l->pVertices);
    ASSERT_NE(d.apShownTexture[kFront], nullptr);
    // The shown arrays are the model's level-0 arrays.
    bool boModelsOwn = false;
    for (const DK_ACTOR* a = gaCarBody[0].paCar->pChild; a != nullptr; a = a->pNext)
        if (a->uType == DK_ACTOR_MODEL)
            for (const DK_MODEL_NODE* n =
                     static_cast<const DK_MODEL*>(a->pObject)->aLevels[DAMAGE_LIVE_LEVEL].pFirstNode;
                 n != nullptr; n = n->pNext)
                boModelsOwn = boModelsOwn || n->pVertices == l->pShownVertices;
    EXPECT_TRUE(boModelsOwn);

    const int centre = VertexAt(d, kFront, 2.1, -0.1, 0.0);
    ASSERT_GE(centre, 0);
    const Vertex c = VertexOf(d, kFront, centre);
    const size_t i = static_cast<size_t>(c.live - l->pVertices);
    ASSERT_LT(i, l->nCount) << "the centre vertex lies in the chain's first node";
    const DK_VERTEX before = l->pShownVertices[i];
    l->pShownVertices[i].Lit.uColour = 0x12345678;

    d.xDeformation[kFront] = d.xSmashThreshold[kFront];
    Impact(0, At(2.1, -0.1, 0.0), SpeedFor(1.0));
    ASSERT_EQ(d.anSmashed[kFront], 1);
    ASSERT_NE(c.live->x, before.x);
    const DK_VERTEX& shown = l->pShownVertices[i];
    EXPECT_EQ(shown.x, before.x) << "a tick never writes the drawn model";
    EXPECT_EQ(shown.u, before.u);
    EXPECT_EQ(*d.apShownTexture[kFront], kUndamagedTexture);

    Damage_ShowLiveShapes();
    EXPECT_EQ(shown.x, c.live->x);
    EXPECT_EQ(shown.y, c.live->y);
    EXPECT_EQ(shown.z, c.live->z);
    EXPECT_EQ(shown.u, c.live->u);
    EXPECT_EQ(shown.v, c.live->v);
    EXPECT_EQ(l->pfShownNormals[3 * i], c.liveNormal[0]);
    EXPECT_EQ(shown.Lit.uColour, 0x12345678u) << "the frame's colour word stays";
    EXPECT_EQ(*d.apShownTexture[kFront], kDamagedTexture);

    // A repair shows at the next snapshot too.
    Damage_RepairCar(0);
    EXPECT_NE(shown.x, before.x);
    Damage_ShowLiveShapes();
    EXPECT_EQ(shown.x, before.x);
    EXPECT_EQ(*d.apShownTexture[kFront], kUndamagedTexture);
}

TEST_F(DamageTest, TheShellStandsOffTowardTheCamera)
{
    SetUpDamageCar(0);
    Build();
    DK_ACTOR* pCar = gaCarBody[0].paCar;
    DkUpdateActorAncestors(pCar);
    DK_VECTOR origin;
    FfMatGetPosition(&origin, &pCar->World);
    // A point high above the car: every shell vertex 0.3 up from its table position.
    const DK_VECTOR above = {origin.x, FfAdd(origin.y, 1000 * ONE), origin.z};
    const DamageRecord& d = gaDamage[0];
    Damage_DeformNearPoint(0, &above);
    for (int k = 0; k < VertexCount(d, 11); ++k)
    {
        const DK_VERTEX& live = *VertexOf(d, 11, k).live;
        ASSERT_NEAR(live.y, Units(d.MainBodyRest[k].y) + 0.3, 1e-3) << k;
        ASSERT_NEAR(live.x, Units(d.MainBodyRest[k].x), 1e-3) << k;
    }

    // The super special stage: the third loaded car's shell, each frame toward the camera.
    SuperSpecial_SetForTests(TRUE);
    datakit::C3dScene scene = datakit::C3dCar(C3dCarParts::Full);
    scene.textures.clear();
    for (datakit::C3dShape& shape : scene.shapes)
        for (datakit::C3dFace& face : shape.faces)
            face.texture = -1;
    LoadCarScene(2, scene);
    TakeLog();
    Damage_FindSuperSpecialShell();
    const std::string log = TakeLog();
    EXPECT_NE(log.find("Actor pointed to"), std::string::npos) << log;
    EXPECT_NE(log.find("Attribute 2"), std::string::npos) << log;
    EXPECT_NE(log.find("Got next actor"), std::string::npos) << log;
    EXPECT_NE(log.find("Attribute 111"), std::string::npos) << log;
    DK_ACTOR* pShell = DkFindActorById(gaLoadedCar[2].paCar->pChild, 111);
    ASSERT_NE(pShell, nullptr);
    DkUpdateActorAncestors(pShell);
    FfMatGetPosition(&origin, &pShell->World);
    const DK_VECTOR ahead = {FfAdd(origin.x, 500 * ONE), origin.y, origin.z};
    Damage_DeformSuperSpecialShell(&ahead);
    const DK_MODEL* pModel = static_cast<DK_MODEL*>(pShell->pObject);
    const DK_MODEL_NODE* live = pModel->aLevels[DAMAGE_LIVE_LEVEL].pFirstNode;
    const DK_MODEL_NODE* rest = pModel->aLevels[DAMAGE_REST_LEVEL].pFirstNode;
    for (int k = 0; k < live->nNumVertices; ++k)
        ASSERT_NEAR(live->pVertices[k].x, rest->pVertices[k].x + 0.3, 1e-3) << k;

    // Outside game mode 0 the stage has no shell to place.
    gaTestGameData[kModeByte] = 1;
    Damage_FindSuperSpecialShell();
    const float x = live->pVertices[0].x;
    const DK_VECTOR behind = {FfSub(origin.x, 500 * ONE), origin.y, origin.z};
    Damage_DeformSuperSpecialShell(&behind);
    EXPECT_EQ(live->pVertices[0].x, x);
    SuperSpecial_SetForTests(FALSE);
}

// --- The byte images

uint32_t Word(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

TEST_F(DamageTest, TheRecordsImageHoldsItsFieldsAtTheirOffsets)
{
    SetUpDamageCar(0);
    Build();
    DamageRecord& d = gaDamage[0];
    Impact(0, At(2.2, 0.0, 0.0), SpeedFor(1.0));
    d.anBrokenLight[5] = 1;
    d.uBrokenLights = 1;
    std::vector<uint8_t> image(DAMAGE_RECORD_IMAGE_SIZE + 4, 0xEE);
    EXPECT_EQ(Damage_WriteRecord(&d, image.data(), DAMAGE_RECORD_IMAGE_SIZE - 1), 0u);
    ASSERT_EQ(Damage_WriteRecord(&d, image.data(), static_cast<uint32_t>(image.size())),
              static_cast<uint32_t>(DAMAGE_RECORD_IMAGE_SIZE));
    EXPECT_EQ(image[DAMAGE_RECORD_IMAGE_SIZE], 0xEE) << "nothing past the image";
    for (int i = 0; i < 720; ++i)
        ASSERT_EQ(image[i], 0) << "pointer slot byte " << i;
    EXPECT_EQ(Word(&image[720]), 11u);
    EXPECT_EQ(Word(&image[724 + 12 * 7 + 4]), static_cast<uint32_t>(d.MainBodyRest[7].y));
    EXPECT_EQ(Word(&image[1924]), static_cast<uint32_t>(d.xPartReciprocal));
    EXPECT_EQ(Word(&image[1928 + 4 * kFront]), static_cast<uint32_t>(d.xDeformation[kFront]));
    EXPECT_EQ(Word(&image[2048 + 4 * 7]), static_cast<uint32_t>(d.DamageValue[7]));
    EXPECT_EQ(Word(&image[2140]), static_cast<uint32_t>(d.DamageEngine));
    EXPECT_EQ(Word(&image[2148 + 4 * kFront]), static_cast<uint32_t>(d.xImpactWeight[kFront]));
    EXPECT_EQ(Word(&image[2268 + 12 * kFront]), static_cast<uint32_t>(d.PartCentre[kFront].x));
    EXPECT_EQ(Word(&image[2988]), static_cast<uint32_t>(d.SteeringOffset));
    EXPECT_EQ(Word(&image[2992]), 12u);
    EXPECT_EQ(Word(&image[3000 + 4 * 8]), static_cast<uint32_t>(d.anSmashed[8]));
    EXPECT_EQ(Word(&image[3120 + 4 * 8]), 6553u);
    EXPECT_EQ(Word(&image[3240 + 4 * 5]), 1u);
    EXPECT_EQ(image[3264], 1);
    for (int r = 0; r < DAMAGE_ROLES; ++r)
        EXPECT_EQ(image[3265 + r], gauFullDetailRoles[r]) << r;

    // Read back over a cleared record: the same image, the chains kept.
    DamageRecord copy = d;
    for (int32_t& v : copy.xDeformation)
        v = 0;
    copy.nNoOfParts = 0;
    ASSERT_TRUE(Damage_ReadRecord(&copy, image.data(), DAMAGE_RECORD_IMAGE_SIZE));
    std::vector<uint8_t> again(DAMAGE_RECORD_IMAGE_SIZE);
    Damage_WriteRecord(&copy, again.data(), DAMAGE_RECORD_IMAGE_SIZE);
    EXPECT_TRUE(std::equal(again.begin(), again.end(), image.begin()));
    EXPECT_EQ(copy.apLive[kFront], d.apLive[kFront]);

    // Images with an index out of range are refused and change nothing.
    struct Bad
    {
        const char* name;
        size_t at;
        uint8_t value;
        uint32_t size;
        const char* report;
    } bad[] = {
        {"short", 0, 0, DAMAGE_RECORD_IMAGE_SIZE - 1,
         "Damage_ReadRecord() : 3279 bytes, a damage record takes 3280"},
        {"31 parts", 2992, 31, DAMAGE_RECORD_IMAGE_SIZE,
         "Damage_ReadRecord() : part count out of range"},
        {"main body 30", 720, 30, DAMAGE_RECORD_IMAGE_SIZE,
         "Damage_ReadRecord() : main-body part out of range"},
        {"role 30", 3265 + 4, 30, DAMAGE_RECORD_IMAGE_SIZE,
         "Damage_ReadRecord() : role out of range"},
        {"7 broken lights", 3264, 7, DAMAGE_RECORD_IMAGE_SIZE,
         "Damage_ReadRecord() : broken-light count out of range"},
    };
    for (const Bad& b : bad)
    {
        SCOPED_TRACE(b.name);
        std::vector<uint8_t> wrong = image;
        wrong[b.at] = b.value;
        DamageRecord target = copy;
        target.xDeformation[0] = 77;
        BOOL boRead = TRUE;
        const std::string out =
            CaptureOutput([&] { boRead = Damage_ReadRecord(&target, wrong.data(), b.size); });
        EXPECT_FALSE(boRead);
        EXPECT_TRUE(Reported(out, b.report)) << out;
        EXPECT_EQ(target.xDeformation[0], 77);
    }

    // The wobble's 24 bytes: phase, active flag, amplitude, displacement.
    DamageWobble w{-5, 1, 0x12345, {1, -2, 3}};
    uint8_t wobble[DAMAGE_WOBBLE_IMAGE_SIZE];
    EXPECT_EQ(Damage_WriteWobble(&w, wobble, sizeof wobble - 1), 0u);
    ASSERT_EQ(Damage_WriteWobble(&w, wobble, sizeof wobble), sizeof wobble);
    EXPECT_EQ(wobble[0] | wobble[1] << 8, 0xFFFB);
    EXPECT_EQ(Word(&wobble[4]), 1u);
    EXPECT_EQ(Word(&wobble[8]), 0x12345u);
    EXPECT_EQ(Word(&wobble[16]), static_cast<uint32_t>(-2));
    DamageWobble back{};
    ASSERT_TRUE(Damage_ReadWobble(&back, wobble, sizeof wobble));
    EXPECT_EQ(back.nPhase, -5);
    EXPECT_EQ(back.xAmplitude, 0x12345);
    EXPECT_EQ(back.Displacement.z, 3);
}

} // namespace
