#include "tools/bench/object_scene.h"

#include <algorithm>
#include <vector>

#include "engine/common/dk_actor.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/race/gmhndlr.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/gencoll.h"
#include "game/vehicle/heightdata.h"
#include "game/vehicle/knockedover.h"
#include "game/vehicle/notmvble.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/height_writer.h"
#include "tools/datakit/moving_objects_writer.h"

namespace objects
{
namespace
{

constexpr int32_t ONE = DK_FIXED_ONE;
constexpr int kStatics = 80;
constexpr int kKnockables = 300;

std::vector<TrackObject> gStatics(kStatics);
std::vector<TrackObjectCollision> gCollisions(kStatics);
std::vector<TrackObjectNode> gNodes(kStatics);
std::vector<HitObject> gStart;
std::vector<DK_ACTOR> gActors(MAX_MOVING_OBJECTS);
int gnRate = 25;

DK_VECTOR At(double x, double y, double z)
{
    return {static_cast<int32_t>(x * ONE), static_cast<int32_t>(y * ONE),
            static_cast<int32_t>(z * ONE)};
}

int32_t PerTick(double xPerSecond)
{
    return static_cast<int32_t>(xPerSecond * ONE / gnRate);
}

const DK_VECTOR kRows[3] = {{ONE, 0, 0}, {0, ONE, 0}, {0, 0, ONE}};

// The body's contact points and matrix at its position: 2.0 wide, 1.4 high, 4.0 long, facing +z.
// Car 0 cruises up the road, car 1 comes in from its right.
DK_VECTOR CruiseOf(int nCar)
{
    return nCar == 0 ? DK_VECTOR{0, 0, PerTick(20.0)} : DK_VECTOR{FfNeg(PerTick(10.0)), 0, 0};
}

void PlaceBody(CarBody* pCar)
{
    static const double kCorner[4][2] = {{-1.0, 2.0}, {1.0, 2.0}, {1.0, -2.0}, {-1.0, -2.0}};
    const DK_VECTOR& at = pCar->Position;
    for (int i = 0; i < CAR_POINTS; ++i)
        pCar->ContactPoint[i] = {at.x + static_cast<int32_t>(kCorner[i % 4][0] * ONE),
                                 at.y + (i < 4 ? -45875 : 45875),
                                 at.z + static_cast<int32_t>(kCorner[i % 4][1] * ONE)};
    FfMatSetPosition(&at, &pCar->Matrix);
    pCar->nCurrentBlock = DkGetTrackBlockIndex(at.x, at.y, at.z);
    for (int k = 0; k < 3; ++k)
        pCar->anNeighbourBlocks[k] = -1;
}

void SetUpBody(int nCar, const DK_VECTOR& at, const DK_VECTOR& velocity)
{
    CarBody* pCar = &gaCarBody[nCar];
    *pCar = CarBody{};
    pCar->nCarNumber = static_cast<int8_t>(nCar);
    pCar->HalfSize = At(1.0, 0.7, 2.0);
    pCar->BoundingRadius = At(2.35, 0, 0).x;
    pCar->Weight = 1120 * ONE;
    pCar->OrientRow0 = kRows[2];
    pCar->UpAxis = kRows[1];
    pCar->OrientRow2 = {-ONE, 0, 0};
    FfMatSetRow0(&pCar->OrientRow0, &pCar->Matrix);
    FfMatSetRow1(&pCar->UpAxis, &pCar->Matrix);
    FfMatSetRow2(&pCar->OrientRow2, &pCar->Matrix);
    pCar->pMatrix = &pCar->Matrix;
    pCar->WheelsOnGround = CAR_WHEELS;
    pCar->Position = pCar->PositionPrev = at;
    pCar->Velocity = velocity;
    pCar->Speed = FfVecLength(&velocity);
    PlaceBody(pCar);
}

// The tick's impulses into the velocity, which then eases back towards the cruising one by a
// tenth, and the move; the spin impulses are dropped (the body does not turn).
void MoveBody(CarBody* pCar, const DK_VECTOR& cruise)
{
    DK_VECTOR& v = pCar->Velocity;
    v = {FfAdd(v.x, pCar->ExtForce.x), 0, FfAdd(v.z, pCar->ExtForce.z)};
    v.x = FfAdd(v.x, FfSub(cruise.x, v.x) / 10);
    v.z = FfAdd(v.z, FfSub(cruise.z, v.z) / 10);
    pCar->Speed = FfVecLength(&v);
    pCar->ExtForce = pCar->ExtTorque = {0, 0, 0};
    pCar->PositionPrev = pCar->Position;
    pCar->Position = {FfAdd(pCar->Position.x, v.x), pCar->Position.y, FfAdd(pCar->Position.z, v.z)};
    PlaceBody(pCar);
}

} // namespace

bool SetUpScene(int nRate)
{
    static const std::vector<uint8_t> ground =
        datakit::FormatHeightData(datakit::GroundMesh(datakit::MakeGround("bumpy-gravel")));
    if (HeightData_Parse(ground.data(), static_cast<uint32_t>(ground.size())) != TRUE)
        return false;
    gnRate = nRate;
    CarModel_ClearAll();
    CarModel_SetStepRate(nRate * ONE);
    gNumberOfPlayers = 1;
    gxTrackCellSize = 16 * ONE;
    gxTrackHalfCell = 8 * ONE;
    gxTrackMinX = -24 * ONE;
    gxTrackMaxZ = 208 * ONE;
    guTrackGridWidth = 4;
    guTrackGridRows = 16;
    guNumTrackBlocks = 64;
    Coll_ClearAll();
    gnNumMechCars = 2;
    gboAllCarsMoveObjects = FALSE;
    // Static boxes down both sides of the road beyond the knockable ones.
    for (int i = 0; i < kStatics; ++i)
    {
        TrackObject& o = gStatics[i];
        o = TrackObject{};
        o.Centre = At(i % 2 ? 1.45 : -1.45, 0.5, 4.0 + 2.4 * (i / 2));
        std::copy(kRows, kRows + 3, o.aRows);
        o.uKind = static_cast<uint32_t>(i % 5 == 4 ? 7 | TRACK_OBJECT_SOFT : 3);
        const DK_VECTOR half = At(0.5, 0.5, 0.5);
        DK_VECTOR corners[8];
        TransformPoint(corners, &o.Centre, o.aRows, &half);
        InitTrackObjectBox(o.aRows, corners, &gCollisions[i], &o.Centre);
        const int16_t nBlock = DkGetTrackBlockIndex(o.Centre.x, 0, o.Centre.z);
        gNodes[i] = {&o, &gCollisions[i], gapTrackObjects[nBlock]};
        gapTrackObjects[nBlock] = &gNodes[i];
    }
    // Knockable boxes across the road in rows, of the four mass classes, every seventh a cone.
    gStart.assign(kKnockables, HitObject{});
    for (int i = 0; i < kKnockables; ++i)
    {
        HitObject& o = gStart[i];
        o.Position = o.Translation = At(-1.5 + 0.6 * (i % 6), 0.3, 3.0 + 1.9 * (i / 6));
        o.HalfExtents = At(0.25, 0.25, 0.25);
        std::copy(kRows, kRows + 3, o.aRows);
        o.auInverseInertia[0] = o.auInverseInertia[1] = o.auInverseInertia[2] = ONE;
        o.xRadius = At(0.44, 0, 0).x;
        o.uKind = static_cast<uint16_t>(i << 5 | (i % 7 == 0 ? HIT_KIND_CONE : 3));
        o.nGroundTriangle = -1;
        o.uFlags = static_cast<uint8_t>(i % 4);
        o.uRestFlags = i % 7 == 0 ? 0x02 : 0x07;
    }
    // The scripted objects, every type, on their own actors.
    std::vector<datakit::MovingObject> scripted;
    for (int i = 0; i < MAX_MOVING_OBJECTS; ++i)
    {
        datakit::MovingObject m;
        m.type = static_cast<uint32_t>(1 + i % 5);
        m.start = {-15.0 + (i % 8), 0.0, 10.0 + 2.0 * (i / 8)};
        m.distance = 4.0;
        m.angle = 100 * i;
        m.motionSeconds = 3 + i % 4;
        m.spinYSeconds = i % 3 == 0 ? -10 : 0;
        m.spinXSeconds = i % 4 == 0 ? 6 : 0;
        m.followGround = i % 2 == 0;
        scripted.push_back(m);
    }
    const std::vector<uint8_t> moj = datakit::FormatMovingObjects(scripted);
    MovingObjects_Parse(moj.data(), static_cast<uint32_t>(moj.size()));
    for (int i = 0; i < MAX_MOVING_OBJECTS; ++i)
    {
        gActors[i] = DK_ACTOR{};
        DkIdentityMatrix(&gActors[i].Local);
        FfMatSetPosition(&gaMovingObjects[i].Record.Start, &gActors[i].Local);
        MovingObjects_BindActor(&gActors[i]);
    }
    PutSceneBack();
    return MovingObjects_Check() == TRUE;
}

void PutSceneBack(void)
{
    gnNumMovingObjects = kKnockables;
    std::copy(gStart.begin(), gStart.end(), gaHitObjects[0]);
    gaNumMovingInList[0] = 0;
    MovingObjects_Reset(0);
    SetUpBody(0, At(0.0, 0.7, 0.0), CruiseOf(0));
    SetUpBody(1, At(3.0, 0.7, 0.3), CruiseOf(1));
}

int SceneTick(void)
{
    MoveBody(&gaCarBody[0], CruiseOf(0));
    MoveBody(&gaCarBody[1], CruiseOf(1));
    MovingObjects_Relink();
    int nContacts = 0;
    for (int n = 0; n < 2; ++n)
    {
        nContacts += Coll_CarVsTrackObjects(&gaCarBody[n]);
        nContacts += Coll_CarVsMovingObjects(&gaCarBody[n]);
    }
    nContacts += Coll_CarVsCar(&gaCarBody[0], &gaCarBody[1]);
    HitObjects_UpdateAll();
    MovingObjects_Update(0);
    return nContacts;
}

uint64_t RunScene(int nTicks)
{
    uint64_t uHash = 14695981039346656037ULL;
    auto fold = [&uHash](const uint8_t* p, size_t uSize)
    {
        for (size_t i = 0; i < uSize; ++i)
            uHash = (uHash ^ p[i]) * 1099511628211ULL;
    };
    std::vector<uint8_t> state(CAR_STATE_IMAGE_SIZE);
    uint8_t object[HIT_OBJECT_IMAGE_SIZE];
    for (int nTick = 0; nTick < nTicks; ++nTick)
    {
        SceneTick();
        if ((nTick + 1) % 25 != 0)
            continue;
        for (int n = 0; n < 2; ++n)
        {
            CarModel_WriteState(&gaCarBody[n], &gaCarMechanics[n], state.data(),
                                CAR_STATE_IMAGE_SIZE);
            fold(state.data(), state.size());
        }
        for (int i = 0; i < gnNumMovingObjects; ++i)
        {
            HitObjects_WriteImage(&gaHitObjects[0][i], object, sizeof(object));
            fold(object, sizeof(object));
        }
        for (int i = 0; i < gnNumScriptedObjects; ++i)
        {
            const DK_MATRIX& m = gaMovingObjects[i].Current;
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 3; ++c)
                {
                    const uint32_t u = static_cast<uint32_t>(m.m[r][c]);
                    const uint8_t bytes[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                                              static_cast<uint8_t>(u >> 16),
                                              static_cast<uint8_t>(u >> 24)};
                    fold(bytes, 4);
                }
        }
    }
    return uHash;
}

void ClearScene(void)
{
    Coll_ClearAll();
    gnNumMovingObjects = 0;
    gnNumScriptedObjects = 0;
}

} // namespace objects
