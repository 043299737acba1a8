// What the track-object tests share: the engine ready with the game type and rally school in
// the test's hands, a 64 x 64 grid of 16.0 blocks, the collision lists and object sets empty,
// box cars built by hand (no car model: the collisions read only the body record), static
// boxes filed on a block, and knockable boxes in set 0.
#pragma once

#include <cstdint>
#include <deque>

#include <gtest/gtest.h>

#include "engine/common/dk_actor.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/effects/forcefeedback.h"
#include "game/effects/prangsnd.h"
#include "game/race/gmhndlr.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"
#include "game/vehicle/gencoll.h"
#include "game/vehicle/heightdata.h"
#include "game/vehicle/knockedover.h"
#include "tests/game/ground_data.h"
#include "tests/game/ground_fixture.h"
#include "tests/game/object_grid.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/height_writer.h"

constexpr int32_t ONE = 0x10000;

inline int gnObjectsGameType = 0;
inline BOOL gboObjectsSchool = FALSE;

class ObjectsTest : public GroundTest
{
protected:
    void SetUp() override
    {
        GroundTest::SetUp();
        gnObjectsGameType = 0;
        gboObjectsSchool = FALSE;
        DK_ENTRIES entries{};
        entries.GetGameType = [] { return gnObjectsGameType; };
        entries.IsRallySchool = [] { return gboObjectsSchool; };
        DkRegisterEntries(&entries);
        CarModel_ClearAll();
        gRateScale = gStepScale = ONE;
        gNumberOfPlayers = 1;
        gnNumMechCars = 1;
        for (DamageRecord& record : gaDamage)
            record = DamageRecord{};
        Coll_ClearAll();
        for (auto& set : gaHitObjects)
            for (HitObject& o : set)
                o = HitObject{};
        gnNumMovingObjects = 0;
        gboAllCarsMoveObjects = FALSE;
        for (int16_t& n : gaNumMovingInList)
            n = 0;
        PrangSnd_ResetForTests();
        ForceFeedback_ResetForTests();
        Ghost_SetPlayingForTests(FALSE);
        DkSetObjectDetailLevel(2);
        SetObjectGrid();
    }

    void TearDown() override
    {
        Coll_ClearAll();
        gnNumMovingObjects = 0;
        GroundTest::TearDown();
    }

    // The block of the grid at column c and row r, and a point in its middle at height y.
    static int Block(int c, int r) { return r * 64 + c; }
    static DK_VECTOR InBlock(int c, int r, double y = 0.0)
    {
        return {Fixed(16.0 * c), Fixed(y), Fixed(-16.0 * r)};
    }

    // A car 4.0 long, 1.4 high and 2.0 wide, level and facing +x, at the point, moving by the
    // velocity a tick (it was one tick's motion back), in the block with no neighbours.
    CarBody* BoxCar(int nCar, DK_VECTOR at, DK_VECTOR velocity, int nBlock = 0)
    {
        CarBody& c = gaCarBody[nCar];
        c = CarBody{};
        c.nCarNumber = static_cast<int8_t>(nCar);
        c.HalfSize = {Fixed(2.0), Fixed(0.7), Fixed(1.0)};
        c.BoundingRadius = Fixed(2.35);
        c.Weight = Fixed(1120.0);
        c.OrientRow0 = {ONE, 0, 0};
        c.UpAxis = {0, ONE, 0};
        c.OrientRow2 = {0, 0, ONE};
        c.Matrix = DK_MATRIX{};
        c.Matrix.m[0][0] = c.Matrix.m[1][1] = c.Matrix.m[2][2] = c.Matrix.m[3][3] = ONE;
        c.pMatrix = &c.Matrix;
        c.WheelsOnGround = CAR_WHEELS;
        c.nCurrentBlock = static_cast<int16_t>(nBlock);
        c.anNeighbourBlocks[0] = c.anNeighbourBlocks[1] = c.anNeighbourBlocks[2] = -1;
        Place(&c, at, velocity);
        return &c;
    }

    // The car moved to the point, its contact points with it, the matrix's position too.
    static void Place(CarBody* pCar, DK_VECTOR at, DK_VECTOR velocity)
    {
        // Bottom corners 0, 1 front and 2, 3 rear, in the order of the footprint's corners;
        // the top corners above them.
        static const double kCorner[4][2] = {{2.0, -1.0}, {2.0, 1.0}, {-2.0, 1.0}, {-2.0, -1.0}};
        pCar->Position = at;
        pCar->Velocity = velocity;
        pCar->PositionPrev = {FfSub(at.x, velocity.x), FfSub(at.y, velocity.y),
                              FfSub(at.z, velocity.z)};
        pCar->Speed = FfVecLength(&velocity);
        for (int i = 0; i < CAR_POINTS; ++i)
            pCar->ContactPoint[i] = {FfAdd(at.x, Fixed(kCorner[i % 4][0])),
                                     FfAdd(at.y, Fixed(i < 4 ? -0.7 : 0.7)),
                                     FfAdd(at.z, Fixed(kCorner[i % 4][1]))};
        FfMatSetPosition(&at, &pCar->Matrix);
        pCar->ExtForce = pCar->ExtTorque = {0, 0, 0};
    }

    // A static box of the half-extents centred at the point, of the kind word, filed on the
    // block; its actor allows two-player collision and shows from detail 0.
    TrackObject* StaticBox(DK_VECTOR centre, DK_VECTOR half, uint32_t uKind, int nBlock = 0)
    {
        actors.emplace_back();
        DK_ACTOR* pActor = &actors.back();
        pActor->uAlwaysDraw = 1;
        objects.emplace_back();
        TrackObject& o = objects.back();
        o.pActor = pActor;
        o.Centre = centre;
        o.aRows[0] = {ONE, 0, 0};
        o.aRows[1] = {0, ONE, 0};
        o.aRows[2] = {0, 0, ONE};
        o.uKind = uKind;
        collisions.emplace_back();
        DK_VECTOR corners[8];
        TransformPoint(corners, &centre, o.aRows, &half);
        InitTrackObjectBox(o.aRows, corners, &collisions.back(), &centre);
        nodes.push_back({&o, &collisions.back(), gapTrackObjects[nBlock]});
        gapTrackObjects[nBlock] = &nodes.back();
        return &o;
    }

    // Knockable box i of set 0 at rest, 1.0 on a side, of the mass class, filed with the rest.
    HitObject* KnockableBox(int i, DK_VECTOR centre, int nClass, uint16_t uKey)
    {
        actors.emplace_back();
        DK_ACTOR* pActor = &actors.back();
        pActor->uAlwaysDraw = 1;
        HitObject* pObject = &gaHitObjects[0][i];
        MakeKnockableBox(pObject, pActor, centre, nClass, uKey);
        if (gnNumMovingObjects <= i)
            gnNumMovingObjects = i + 1;
        return pObject;
    }

    // The data kit's ground as the stage's height data.
    void StandOn(const std::string& name)
    {
        std::string reports;
        ASSERT_TRUE(ParseGround(name, reports)) << reports;
    }

    std::deque<DK_ACTOR> actors;
    std::deque<TrackObject> objects;
    std::deque<TrackObjectCollision> collisions;
    std::deque<TrackObjectNode> nodes;
};
