// The ground under the contact points: sinking surfaces, the sea's slow swallow and its rescue,
// soft objects, a damaged wheel's bump, points off the height data, the flat-gravel option and
// the body corners kept out of reach; then the counts of wheels and points that touch.
#include <cmath>

#include <gtest/gtest.h>

#include "tests/game/car_fixture.h"

namespace
{

// A square from (-8, 0) to (8, 16), sloping up along x (y = 0.25 x + 2), of one surface.
datakit::HeightMesh Slope(uint8_t surface)
{
    datakit::HeightMesh mesh;
    mesh.vertices = {{-8, 0, 0}, {-8, 0, 16}, {8, 4, 0}, {8, 4, 16}};
    mesh.triangles = {{{0, 1, 2}, surface}, {{1, 3, 2}, surface}};
    return mesh;
}

class CarGroundTest : public CarTest
{
protected:
    void Load(const datakit::HeightMesh& mesh)
    {
        const std::vector<uint8_t> bytes = datakit::FormatHeightData(mesh);
        ASSERT_TRUE(HeightData_Parse(bytes.data(), static_cast<uint32_t>(bytes.size())));
    }

    // Wheel 0 of car 0 at (x, z), every other point beside it, queried once.
    void QueryAt(double x, double z)
    {
        CarBody& b = gaCarBody[0];
        for (int i = 0; i < CAR_POINTS; ++i)
            b.ContactPoint[i] = {Fixed(x), Fixed(3.0), Fixed(z)};
        CarModel_UpdateWheelContacts(&b, &gaCarMechanics[0]);
    }

    void SetUp() override
    {
        CarTest::SetUp();
        for (int16_t& nCache : gaCarMechanics[0].PointTriangleCache)
            nCache = -1;
    }
};

TEST_F(CarGroundTest, SinkingSurfacesLowerTheGroundAndSnowLevelsIt)
{
    const DK_VECTOR kSlopeNormal = {Fixed(-0.25 / std::sqrt(1.0625)), Fixed(1 / std::sqrt(1.0625)),
                                    0};
    struct Case
    {
        uint8_t surface;
        bool lower, level;
    } cases[] = {
        {0, false, false},  {59, true, true},   {63, true, true},  {64, true, true},
        {81, true, false},  {83, true, false},  {82, true, false}, {58, false, false},
        {60, false, false}, {94, false, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.surface));
        Load(Slope(c.surface));
        CarModel_ClearAll();
        for (int16_t& nCache : gaCarMechanics[0].PointTriangleCache)
            nCache = -1;
        QueryAt(2.0, 5.0);
        const CarBody& b = gaCarBody[0];
        const int32_t plane = Fixed(2.5);
        EXPECT_NEAR(b.PointGroundHeight[0], c.lower ? plane - 0x4CCC : plane, 2);
        EXPECT_EQ(gaCarMechanics[0].WheelSurface[0], c.surface);
        EXPECT_NEAR(b.PointNormal[0].x, c.level ? 0 : kSlopeNormal.x, 4);
        EXPECT_NEAR(b.PointNormal[0].y, c.level ? ONE : kSlopeNormal.y, 4);

        // The single-point query sinks the same surfaces, never levels them.
        DK_VECTOR normal{};
        int16_t nCache = -1, nSurface = -1;
        const DK_VECTOR at = {Fixed(2.0), Fixed(3.0), Fixed(5.0)};
        const int32_t h = CarModel_GroundHeightWithSink(&at, &normal, &nCache, &nSurface, 0);
        EXPECT_NEAR(h, c.lower ? plane - 0x4CCC : plane, 2);
        EXPECT_NEAR(normal.x, kSlopeNormal.x, 4);
        EXPECT_EQ(nSurface, c.surface);
    }
}

TEST_F(CarGroundTest, TheSeaSwallowsAPointAndCallsTheRescueAfter201TicksInAll)
{
    datakit::HeightMesh mesh = Slope(82);
    mesh.vertices.insert(mesh.vertices.end(), {{-8, 0, 20}, {-8, 0, 36}, {8, 4, 20}, {8, 4, 36}});
    mesh.triangles.push_back({{4, 5, 6}, 0});
    mesh.triangles.push_back({{5, 7, 6}, 0});
    Load(mesh);
    const CarBody& b = gaCarBody[0];
    const int32_t plane = Fixed(2.5);
    int seaTicks = 0;
    int32_t first = 0;
    for (int tick = 0; tick < 260 && !b.NeedsRescue; ++tick)
    {
        // Ticks 50 to 79 on dry land: the count waits and goes on.
        const bool dry = tick >= 50 && tick < 80;
        QueryAt(2.0, dry ? 25.0 : 5.0);
        if (dry)
        {
            EXPECT_NEAR(b.PointGroundHeight[0], plane, 4) << tick;
            continue;
        }
        if (seaTicks == 0)
        {
            first = b.PointGroundHeight[0];
            EXPECT_NEAR(first, plane - 0x4CCC, 4);
        }
        EXPECT_EQ(b.PointGroundHeight[0], first - 0xC4 * seaTicks) << tick;
        ++seaTicks;
    }
    EXPECT_EQ(seaTicks, 201);
    EXPECT_EQ(b.NeedsRescue, 1);
    EXPECT_EQ(b.SinkTicks[0], 201 * ONE);
    EXPECT_EQ(b.SinkTicks[4], 0) << "corners are not queried while the car drives";
}

TEST_F(CarGroundTest, SoftObjectsLiftAndDamagedWheelsBump)
{
    Load(Slope(0));
    CarBody& b = gaCarBody[0];
    struct Case
    {
        double depth;
        int32_t lift;
    } cases[] = {{0.0, 0}, {0.25, 0x4CCC}, {0.5, 0x9999}, {0.8, 0x9999}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.depth);
        b.PointInObject[1] = 1;
        b.PointObjectDepth[1] = Fixed(c.depth);
        QueryAt(2.0, 5.0);
        EXPECT_EQ(b.PointGroundHeight[1] - b.PointGroundHeight[0], c.lift);
    }
    b.PointInObject[1] = 0;

    // A damaged wheel's ground follows its hub once a turn.
    gaDamage[0].DamageValue[2] = ONE;
    gaCarMechanics[0].WheelSpinSpeed[2] = ONE / 2; // 325 angle units a tick
    int highs = 0;
    int32_t prev = 0, prevRise = 0;
    for (int tick = 0; tick < 70; ++tick) // five turns and a half
    {
        CarModel_SpinWheels(&b, &gaCarMechanics[0]);
        QueryAt(2.0, 5.0);
        const int32_t bump = b.PointGroundHeight[2] - b.PointGroundHeight[0];
        EXPECT_EQ(bump, -b.WheelHubOffset[2][1]);
        EXPECT_LE(std::abs(bump), 0xA3D + 1);
        if (tick > 0)
        {
            const int32_t rise = bump - prev;
            highs += prevRise > 0 && rise <= 0;
            prevRise = rise;
        }
        prev = bump;
    }
    EXPECT_EQ(highs, 5);
}

TEST_F(CarGroundTest, APointOffTheDataKeepsItsGroundAndFlatGravelRaisesIt)
{
    Load(Slope(12));
    CarBody& b = gaCarBody[0];
    QueryAt(2.0, 5.0);
    const int32_t ground = b.PointGroundHeight[0];
    const DK_VECTOR normal = b.PointNormal[0];
    EXPECT_NEAR(ground, Fixed(2.5), 4);
    QueryAt(500.0, 5.0);
    EXPECT_EQ(b.PointGroundHeight[0], ground);
    EXPECT_EQ(b.PointNormal[0].x, normal.x);
    EXPECT_EQ(gaCarMechanics[0].WheelSurface[0], 12);
    EXPECT_EQ(b.PointGroundHeight[5], ground - 5 * ONE) << "the corners 5.0 below";

    gaTestGameData[38] = 2;
    QueryAt(2.0, 5.0);
    EXPECT_EQ(b.PointGroundHeight[0], ground + ONE);
    EXPECT_EQ(b.PointNormal[0].x, 0);
    EXPECT_EQ(b.PointNormal[0].y, ONE);
    EXPECT_EQ(gaCarMechanics[0].WheelSurface[0], 10);
    for (int i = 0; i < CAR_WHEELS; ++i)
        EXPECT_EQ(b.PointGroundHeight[4 + i], b.PointGroundHeight[i] - 5 * ONE);

    // Every point queried: the corners find their own ground.
    CarModel_UpdateBodyContacts(&b, &gaCarMechanics[0]);
    EXPECT_EQ(b.PointGroundHeight[6], ground + ONE);
}

TEST_F(CarGroundTest, WheelsAndPointsTouchWithinTheirReach)
{
    CarBody& b = gaCarBody[0];
    gpCurrentCarBody = &b;
    gpCurrentCarMechanics = &gaCarMechanics[0];
    b.Weight = 73400320;
    struct Case
    {
        int32_t gaps[4]; // point above its ground
        int wheels;
        int32_t load;
    } cases[] = {
        {{0, 52427, -52427, 1}, 4, 73400320 / 4},
        {{52428, 0, 0, 0}, 3, 73400320 / 3},
        {{52428, -52428, 0, 0}, 2, 73400320 / 2},
        {{0, 52428, ONE, -ONE}, 1, 73400320},
        {{ONE, ONE, ONE, ONE}, 0, 0},
    };
    for (const Case& c : cases)
    {
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            b.PointGroundHeight[w] = Fixed(1.0);
            b.ContactPoint[w].y = Fixed(1.0) + c.gaps[w];
        }
        CarModel_CountWheelsOnGround();
        EXPECT_EQ(b.WheelsOnGround, c.wheels);
        EXPECT_EQ(b.WheelLoad, c.load);
    }

    // A point exactly 0.1 above its ground still touches; the list runs from point 7 down.
    for (int i = 0; i < CAR_POINTS; ++i)
    {
        b.PointGroundHeight[i] = 0;
        b.ContactPoint[i].y = i % 2 == 0 ? 0x1999 : 0x199A;
    }
    CarModel_UpdateTouchingPoints();
    EXPECT_EQ(b.PointsTouching, 4);
    EXPECT_EQ(b.AllPointsOff, 0);
    EXPECT_EQ(b.TouchingList[0], 6);
    EXPECT_EQ(b.TouchingList[3], 0);
    EXPECT_EQ(b.PointOffGround[3], 1);
    // Lifted by the deepest of the listed points.
    b.ContactPoint[4].y = -ONE;
    b.ContactPoint[2].y = -ONE / 2;
    b.ContactPoint[3].y = -3 * ONE;
    b.PointsTouching = 2;
    b.TouchingList[0] = 4;
    b.TouchingList[1] = 2;
    b.Position.y = 0;
    CarModel_LiftOutOfGround();
    EXPECT_EQ(b.Position.y, ONE);
    EXPECT_EQ(b.ContactPoint[4].y, 0);
    EXPECT_EQ(b.ContactPoint[3].y, -2 * ONE);
}

} // namespace
