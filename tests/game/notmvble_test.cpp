// Scripted moving objects: the ".moj" reader against a table of good and corrupt files, the
// binding by exact position, the motions and spins at 25 and 50 ticks a second, two players'
// double steps, the ground follower, and the matrix blend that places them each frame.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pc/3d/c3d.h"
#include "game/race/cameras.h"
#include "game/vehicle/notmvble.h"
#include "tests/game/objects_fixture.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/moving_objects_writer.h"

namespace
{

class ScriptedObjectsTest : public ObjectsTest
{
protected:
    void SetUp() override
    {
        ObjectsTest::SetUp();
        gnNumScriptedObjects = 0;
        CarModel_SetStepRate(25 * ONE);
    }
    void TearDown() override
    {
        gnNumScriptedObjects = 0;
        CarModel_SetStepRate(25 * ONE);
        ObjectsTest::TearDown();
    }

    void Load(const std::vector<datakit::MovingObject>& objects)
    {
        const std::vector<uint8_t> bytes = datakit::FormatMovingObjects(objects);
        output += CaptureOutput(
            [&] { MovingObjects_Parse(bytes.data(), static_cast<uint32_t>(bytes.size())); });
    }

    // An actor standing at (x, y, z), level.
    DK_ACTOR* ActorAt(double x, double y, double z)
    {
        actors.emplace_back();
        DK_ACTOR* p = &actors.back();
        DkIdentityMatrix(&p->Local);
        p->Local.m[3][0] = Fixed(x);
        p->Local.m[3][1] = Fixed(y);
        p->Local.m[3][2] = Fixed(z);
        return p;
    }

    static DK_VECTOR At(int i)
    {
        const DK_MATRIX& m = gaMovingObjects[i].Current;
        return {m.m[3][0], m.m[3][1], m.m[3][2]};
    }

    std::string output;
};

datakit::MovingObject Object(uint32_t type, double x, double z, int motion, double distance = 8.0,
                             int angle = 0)
{
    datakit::MovingObject o;
    o.type = type;
    o.start = {x, 1.0, z};
    o.motionSeconds = motion;
    o.distance = distance;
    o.angle = angle;
    return o;
}

TEST_F(ScriptedObjectsTest, TheReaderTakesWholeRecordsOfAType)
{
    const std::vector<uint8_t> three = datakit::FormatMovingObjects(
        {Object(1, 0, 0, 4), Object(0, 5, 0, 4), Object(4, 10, 0, 4)});
    std::vector<uint8_t> many;
    for (int i = 0; i < 100; ++i)
    {
        const std::vector<uint8_t> one = datakit::FormatMovingObjects({Object(2, i, 0, 4)});
        many.insert(many.end(), one.begin(), one.end());
    }
    struct Case
    {
        const char* name;
        std::vector<uint8_t> bytes;
        int loaded;
        const char* report;
    } cases[] = {
        {"three records, one of type 0", three, 2, nullptr},
        {"empty", {}, 0, nullptr},
        {"a byte short", std::vector<uint8_t>(three.begin(), three.end() - 1), 0, nullptr},
        {"a byte over", [&] { auto b = three; b.push_back(0); return b; }(), 0, nullptr},
        {"half a record", std::vector<uint8_t>(three.begin(), three.begin() + 24), 0, nullptr},
        {"100 records", many, 96, "more than 96 moving objects"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        gnNumScriptedObjects = 7;
        const std::string out = CaptureOutput(
            [&] { MovingObjects_Parse(c.bytes.data(), static_cast<uint32_t>(c.bytes.size())); });
        EXPECT_EQ(gnNumScriptedObjects, c.loaded);
        if (c.report != nullptr)
        {
            EXPECT_NE(out.find(c.report), std::string::npos) << out;
        }
    }
    // The records' fields, read one by one.
    datakit::MovingObject o = Object(3, -12.5, 40.25, 7, 6.5, 3000);
    o.followGround = true;
    o.spinXSeconds = -10;
    o.spinYSeconds = 4;
    o.spinX2Seconds = 2;
    o.start[1] = 2.75;
    Load({Object(0, 0, 0, 1), o});
    ASSERT_EQ(gnNumScriptedObjects, 1);
    const MovingObjectRecord& r = gaMovingObjects[0].Record;
    EXPECT_EQ(r.nGround, 1);
    EXPECT_EQ(r.nAngle, 3000);
    EXPECT_EQ(r.xDistance, Fixed(6.5));
    EXPECT_EQ(r.Start.x, Fixed(-12.5));
    EXPECT_EQ(r.Start.y, Fixed(2.75));
    EXPECT_EQ(r.Start.z, Fixed(40.25));
    EXPECT_EQ(r.nMotionPeriod, 7);
    EXPECT_EQ(r.nSpinXPeriod, -10);
    EXPECT_EQ(r.nSpinYPeriod, 4);
    EXPECT_EQ(r.nSpinX2Period, 2);
    EXPECT_EQ(r.uType, 3u);
    EXPECT_EQ(gaMovingObjects[0].pActor, nullptr);
}

TEST_F(ScriptedObjectsTest, TheFileIsLoadedAsGivenAndAMissingOneLoadsNothing)
{
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "dezor-notmvble-test.moj";
    {
        const std::vector<uint8_t> bytes =
            datakit::FormatMovingObjects({Object(1, 0, 0, 4), Object(2, 8, 0, 4)});
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    CaptureOutput([&] { MovingObjects_Load(path.string().c_str()); });
    EXPECT_EQ(gnNumScriptedObjects, 2);
    std::filesystem::remove(path);
    CaptureOutput([&] { MovingObjects_Load(path.string().c_str()); });
    EXPECT_EQ(gnNumScriptedObjects, 0);
}

TEST_F(ScriptedObjectsTest, BindingNeedsTheExactPositionAndOneUnboundRecordStopsThemAll)
{
    Load({Object(1, 4.0, 8.0, 4), Object(4, -4.0, 8.0, 4)});
    DK_ACTOR* pFirst = ActorAt(4.0, 7.0, 8.0); // y need not match
    MovingObjects_BindActor(pFirst);
    EXPECT_EQ(gaMovingObjects[0].pActor, pFirst);
    for (const DK_VECTOR off : {DK_VECTOR{1, 0, 0}, DK_VECTOR{0, 0, -1}})
    {
        DK_ACTOR* pNear = ActorAt(-4.0, 1.0, 8.0);
        pNear->Local.m[3][0] += off.x;
        pNear->Local.m[3][2] += off.z;
        MovingObjects_BindActor(pNear);
        EXPECT_EQ(gaMovingObjects[1].pActor, nullptr);
    }
    BOOL boChecked = TRUE;
    const std::string out = CaptureOutput([&] { boChecked = MovingObjects_Check(); });
    EXPECT_FALSE(boChecked);
    EXPECT_TRUE(Reported(out, "Some moving objects are not set as movable (or have bounding "
                              "boxes) - moving objects deactivated"))
        << out;
    EXPECT_EQ(gnNumScriptedObjects, 0);
    MovingObjects_Update(0);
    EXPECT_EQ(pFirst->Local.m[3][0], Fixed(4.0)) << "nothing moves";

    Load({Object(1, 4.0, 8.0, 4)});
    MovingObjects_BindActor(pFirst);
    EXPECT_TRUE(MovingObjects_Check());
}

TEST_F(ScriptedObjectsTest, TheMotionsFollowTheirPhases)
{
    // Distance 8.0 along angle 0, direction (0, 0, 1): a ping-pong's and a to-target's target
    // is 8.0 on in z, a circle's centre 4.0 on.
    struct Point
    {
        int tick; // at 25 a second; twice as many at 50
        double x, z;
    };
    struct Case
    {
        const char* name;
        uint32_t type;
        std::vector<Point> points;
    } cases[] = {
        {"circle clockwise", 1, {{0, 0, 0}, {25, -4, 4}, {50, 0, 8}, {75, 4, 4}, {100, 0, 0}}},
        {"circle anticlockwise", 2, {{0, 0, 0}, {25, 4, 4}, {50, 0, 8}, {100, 0, 0}}},
        {"ping-pong", 4, {{0, 0, 0}, {25, 0, 4}, {50, 0, 8}, {75, 0, 4}, {100, 0, 0}}},
        {"to the target", 3, {{0, 0, 0}, {50, 0, 4}, {100, 0, 8}, {101, 0, 8}, {400, 0, 8}}},
        {"no motion", 7, {{0, 0, 0}, {60, 0, 0}}},
    };
    for (const int rate : {25, 50})
        for (const Case& c : cases)
        {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(rate));
            CarModel_SetStepRate(rate * ONE);
            Load({Object(c.type, 0.0, 0.0, 4)});
            MovingObjects_BindActor(ActorAt(0.0, 1.0, 0.0));
            int nDone = 0;
            for (const Point& p : c.points)
            {
                const int nStep = p.tick * rate / 25;
                for (; nDone <= nStep; ++nDone)
                    MovingObjects_Update(0);
                const DK_VECTOR at = At(0);
                EXPECT_NEAR(Units(at.x), p.x, 0.01) << "tick " << p.tick;
                EXPECT_NEAR(Units(at.z), p.z, 0.01) << "tick " << p.tick;
                EXPECT_EQ(at.y, Fixed(1.0));
            }
        }
}

TEST_F(ScriptedObjectsTest, SpinsTurnOncePerPeriodANegativeOneTheOtherWay)
{
    struct Case
    {
        const char* name;
        int spinX, spinY;
        int motion;
        bool moves;
    } cases[] = {
        {"about y, 10 s", 0, 10, 4, true},
        {"about y, -10 s", 0, -10, 4, true},
        {"about x, -10 s, with no motion period", -10, 0, 0, false},
    };
    for (const int rate : {25, 50})
        for (const Case& c : cases)
        {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(rate));
            CarModel_SetStepRate(rate * ONE);
            datakit::MovingObject o = Object(1, 0.0, 0.0, c.motion);
            o.spinXSeconds = c.spinX;
            o.spinYSeconds = c.spinY;
            Load({o});
            MovingObjects_BindActor(ActorAt(0.0, 1.0, 0.0));
            const int nTurn = 10 * rate;
            // A quarter of the way round: about y the forward row swings towards +x for a
            // positive period and towards -x for a negative one; about x the up row turns.
            for (int k = 0; k <= nTurn / 4; ++k)
                MovingObjects_Update(0);
            const DK_MATRIX& m = gaMovingObjects[0].Current;
            const int nSign = (c.spinX + c.spinY) > 0 ? 1 : -1;
            if (c.spinY != 0)
            {
                EXPECT_NEAR(Units(m.m[2][0]), nSign, 0.01);
                EXPECT_NEAR(Units(m.m[1][1]), 1.0, 0.01);
            }
            else
            {
                EXPECT_NEAR(Units(m.m[1][2]), nSign, 0.01);
                EXPECT_NEAR(Units(m.m[0][0]), 1.0, 0.01);
            }
            // A whole turn brings it back.
            for (int k = nTurn / 4 + 1; k <= nTurn; ++k)
                MovingObjects_Update(0);
            EXPECT_NEAR(Units(m.m[2][2]), 1.0, 0.001);
            EXPECT_NEAR(Units(m.m[1][1]), 1.0, 0.001);
            const DK_VECTOR at = At(0);
            EXPECT_EQ(at.x == 0 && at.z == 0, !c.moves) << "an unstepped motion stays at its start";
            EXPECT_EQ(at.y, Fixed(1.0));
        }
}

TEST_F(ScriptedObjectsTest, TwoPlayersAdvanceEveryObjectTwoStepsATick)
{
    Load({Object(4, 0.0, 0.0, 4)});
    MovingObjects_BindActor(ActorAt(0.0, 1.0, 0.0));
    for (int nTick = 0; nTick < 25; ++nTick)
    {
        MovingObjects_Update(0);
        MovingObjects_Update(1);
    }
    // 50 steps of a 100-step out-and-back: 0.49 of the way there and back, 0.98 out.
    EXPECT_NEAR(Units(At(0).z), 8.0 * 0.98, 0.01);
}

TEST_F(ScriptedObjectsTest, EachFrameBlendsTheLastTwoStepsAndAGroundFollowerTakesTheGround)
{
    StandOn("tilted-plane");
    datakit::MovingObject follower = Object(4, 0.0, 20.0, 4);
    follower.followGround = true;
    Load({follower, Object(4, 1.0, 20.0, 4)});
    DK_ACTOR* pFollower = ActorAt(0.0, 1.0, 20.0);
    DK_ACTOR* pFlier = ActorAt(1.0, 1.0, 20.0);
    MovingObjects_BindActor(pFollower);
    MovingObjects_BindActor(pFlier);
    for (int k = 0; k < 11; ++k)
        MovingObjects_Update(0);
    // Between the last two steps, 0.16 apart in z.
    for (const double f : {0.0, 0.5, 1.0})
    {
        SCOPED_TRACE(f);
        pFlier->uDirty = 0;
        MovingObjects_PlaceOnGround(Fixed(f));
        EXPECT_NEAR(Units(pFlier->Local.m[3][2]), 20.0 + 0.16 * (9 + f), 0.001);
        EXPECT_EQ(pFlier->Local.m[3][1], Fixed(1.0));
        EXPECT_EQ(pFlier->uDirty, 1u);
        // The plane y = 0.125 x + 0.0625 z.
        EXPECT_NEAR(Units(pFollower->Local.m[3][1]), 0.0625 * Units(pFollower->Local.m[3][2]),
                    0.002);
        EXPECT_NEAR(Units(pFollower->Local.m[1][1]), 1.0, 0.001);
    }
}

TEST_F(ScriptedObjectsTest, TheTestGroundsObjectsLoadAndEveryScriptedOneBinds)
{
    const datakit::Ground ground = datakit::MakeGround("tilted-plane");
    const std::vector<uint8_t> scene = datakit::FormatC3d(datakit::GroundObjectScene(ground));
    const std::vector<uint8_t> moj =
        datakit::FormatMovingObjects(datakit::GroundScriptedObjects(ground));
    DK_ACTOR* pWorld = nullptr;
    DK_ACTOR* pFirst = nullptr;
    output += CaptureOutput(
        [&]
        {
            pWorld = DkCreateWorldActor();
            pFirst = DkProcessC3dObject(scene.data(), static_cast<uint32_t>(scene.size()),
                                        DK3D_OBJECTS, pWorld, FALSE, 0);
        });
    ASSERT_NE(pFirst, nullptr) << output;
    MovingObjects_Parse(moj.data(), static_cast<uint32_t>(moj.size()));
    EXPECT_EQ(gnNumScriptedObjects, 5);
    int nActors = 0, nStatic = 0, nSoft = 0, nKnockable = 0, nTwoPlayerOff = 0, nDetail = 0;
    for (DK_ACTOR* p = pWorld->pChild; p != nullptr; p = p->pNext, ++nActors)
    {
        MovingObjects_BindActor(p);
        const bool boMovable = ((p->uId >> 16) & 3) != 0;
        const bool boScripted = (p->uId & 0xFFF) >= 300;
        nKnockable += boMovable;
        nStatic += !boMovable && !boScripted && (p->uId & (1u << 29)) != 0;
        nSoft += !boMovable && !boScripted && (p->uId & (1u << 29)) == 0;
        nTwoPlayerOff += p->uAlwaysDraw == 0;
        nDetail += p->uMinimumDetail > 0;
    }
    EXPECT_EQ(nActors, 15);
    EXPECT_EQ(nStatic, 3);
    EXPECT_EQ(nSoft, 1);
    EXPECT_EQ(nKnockable, 6);
    EXPECT_EQ(nTwoPlayerOff, 1);
    EXPECT_EQ(nDetail, 1);
    EXPECT_TRUE(MovingObjects_Check()) << "every record stands exactly on its actor";
    for (int k = 0; k < 50; ++k)
        MovingObjects_Update(0);
    MovingObjects_PlaceOnGround(ONE / 2);
    output += CaptureOutput(
        []
        {
            DkKillAllObjects();
            DkSetWorldActor(nullptr);
        });
}

TEST_F(ScriptedObjectsTest, TheBlendKeepsTheRowsSquareAndBlendsThePosition)
{
    DK_MATRIX from, to, out;
    DkIdentityMatrix(&from);
    DkIdentityMatrix(&to);
    DkRotateMatrixY(&to, 1024);
    to.m[3][0] = Fixed(10.0);
    from.m[3][2] = Fixed(-4.0);
    for (const double f : {0.0, 0.25, 0.5, 1.0})
    {
        SCOPED_TRACE(f);
        BlendMatrices(&out, &from, &to, Fixed(f), Fixed(f), Fixed(f), 0);
        EXPECT_NEAR(Units(out.m[3][0]), 10.0 * f, 0.0001);
        EXPECT_NEAR(Units(out.m[3][2]), -4.0 * (1 - f), 0.0001);
        for (int r = 0; r < 3; ++r)
        {
            DK_VECTOR row = {out.m[r][0], out.m[r][1], out.m[r][2]};
            EXPECT_NEAR(Units(FfVecLength(&row)), 1.0, 0.002) << r;
        }
        DK_VECTOR x = {out.m[0][0], out.m[0][1], out.m[0][2]};
        DK_VECTOR z = {out.m[2][0], out.m[2][1], out.m[2][2]};
        EXPECT_NEAR(Units(FfVecDot(&x, &z)), 0.0, 0.002);
    }
    BlendMatrices(&out, &from, &to, ONE, ONE, ONE, 0);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(out.m[r][c], to.m[r][c], 32) << r << c;
}

} // namespace
