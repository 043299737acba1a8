// The frame's placement between two ticks: the blend's ends, the lifts, the fade, the wheels of
// the local and the remote cars, the remote cars' ground fit, the knocked-over objects and the
// first frame's shadow position.

#include "game/race/interp.h"

#include <cmath>
#include <cstring>
#include <deque>

#include <gtest/gtest.h>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_model.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/cameras.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/netplay.h"
#include "game/race/pertick.h"
#include "game/race/startup.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"
#include "game/vehicle/gencoll.h"
#include "game/vehicle/heightdata.h"
#include "game/vehicle/knockedover.h"
#include "tests/game/ground_data.h"
#include "tests/game/race_fixture.h"

namespace
{

constexpr int32_t ONE = 0x10000;
DK_MATRIX Placement(DK_VECTOR x, DK_VECTOR y, DK_VECTOR z, DK_VECTOR at)
{
    DK_MATRIX m{};
    FfMatSetRow0(&x, &m);
    FfMatSetRow1(&y, &m);
    FfMatSetRow2(&z, &m);
    FfMatSetPosition(&at, &m);
    m.m[3][3] = ONE;
    return m;
}

DK_VECTOR Row(const DK_MATRIX& m, int r)
{
    return {m.m[r][0], m.m[r][1], m.m[r][2]};
}

double Dot(DK_VECTOR a, DK_VECTOR b)
{
    return Units(a.x) * Units(b.x) + Units(a.y) * Units(b.y) + Units(a.z) * Units(b.z);
}

void ExpectNear(DK_VECTOR a, DK_VECTOR b, int32_t nTolerance = 0)
{
    EXPECT_NEAR(a.x, b.x, nTolerance);
    EXPECT_NEAR(a.y, b.y, nTolerance);
    EXPECT_NEAR(a.z, b.z, nTolerance);
}

class InterpTest : public RaceTest
{
protected:
    void SetUp() override
    {
        RaceTest::SetUp();
        CarModel_ClearAll();
        Interp_ClearAll();
        PerTick_ResetForTests();
        GameHandler_ResetForTests();
        GameHandler_SetStateForTests(GAME_STATE_RACE);
        ResetShared();
        gnNumMechCars = 1;
        gNumberOfPlayers = 1;
        gbo50HzMode = FALSE;
        gboInitialShadowPositionSet = TRUE;
        pWorld = NewActor(nullptr);
        pWorld->uId = DK_WORLD_ACTOR_ID;
    }
    void TearDown() override
    {
        ResetShared();
        RaceTest::TearDown();
    }
    static void ResetShared()
    {
        gboNetworkGame = FALSE;
        for (LoadedCar& car : gaLoadedCar)
            car = LoadedCar{};
        for (auto& wheels : gaCarWheelActors)
            for (DK_ACTOR*& p : wheels)
                p = nullptr;
        for (DK_ACTOR*& p : gapPlayerCamera)
            p = nullptr;
        for (int32_t& n : gaCarIndexByDamageSlot)
            n = -1;
        for (DamageRecord& d : gaDamage)
            for (int32_t& v : d.DamageValue)
                v = 0;
        gnNumMovingObjects = 0;
        gboAllCarsMoveObjects = FALSE;
        gboMechanicsTickDone = FALSE;
    }

    DK_ACTOR* NewActor(DK_ACTOR* pParent)
    {
        actors.emplace_back();
        DK_ACTOR* p = &actors.back();
        DkInitActorRecord(p);
        if (pParent != nullptr)
        {
            p->pParent = pParent;
            p->pNext = pParent->pChild;
            pParent->pChild = p;
        }
        return p;
    }

    // Car k with its body object, root, body part and wheels, a 4.0 x 1.4 x 1.8 box.
    CarBody& LocalCar(int k)
    {
        CarBody& body = gaCarBody[k];
        body.nCarNumber = static_cast<int8_t>(k);
        body.nCarType = 0;
        body.HalfSize = {Fixed(2.0), Fixed(0.7), Fixed(0.9)};
        body.paCar = NewActor(pWorld);
        body.paBodyDummy = NewActor(pWorld);
        body.paSpecialActor = NewActor(body.paBodyDummy);
        body.paSpecialActor->uId = 5;
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            body.paWheel[w] = NewActor(body.paCar);
            body.paWheel[w]->uId = static_cast<uint32_t>(w + 1);
            body.WheelRestPosition[w] = {w < 2 ? Fixed(1.3) : Fixed(-1.3), Fixed(-0.4),
                                         (w % 2 == 0) ? Fixed(0.8) : Fixed(-0.8)};
        }
        return body;
    }

    // The car's snapshot pairs: the same placement at both ends unless given.
    static void Snap(int k, const DK_MATRIX& previous, const DK_MATRIX& current)
    {
        for (DK_MATRIX(*pair)[2] : {&gaSnapRootMatrix[k], &gaSnapPartMatrix[k]})
        {
            (*pair)[SNAP_PREVIOUS] = previous;
            (*pair)[SNAP_CURRENT] = current;
        }
        gaSnapCarMatrix[k][SNAP_PREVIOUS] = previous;
        gaSnapCarMatrix[k][SNAP_CURRENT] = current;
    }

    static void SetRemoteActive(int nSlot, bool boActive)
    {
        gaRaceGameData[GD_REMOTE_PLAYERS + nSlot * GAME_DATA_PLAYER_SIZE + PI_IN_GAME] =
            boActive ? 1 : 0;
    }

    // Remote record k's loaded car: a root actor with four wheels.
    DK_ACTOR* RemoteCar(int k)
    {
        DK_ACTOR* pRoot = NewActor(pWorld);
        gaLoadedCar[k].paBodyDummy = pRoot;
        for (int w = 0; w < SNAP_WHEELS; ++w)
            gaCarWheelActors[k][w] = NewActor(pRoot);
        return pRoot;
    }

    void StandOn(const std::string& name)
    {
        std::string reports;
        ASSERT_TRUE(ParseGround(name, reports)) << reports;
    }

    std::deque<DK_ACTOR> actors;
    DK_ACTOR* pWorld = nullptr;
};

const DK_VECTOR kX = {ONE, 0, 0}, kY = {0, ONE, 0}, kZ = {0, 0, ONE};

// The previous tick's placement: rows a little off square and long, as the tick's arithmetic
// leaves them; the current one turned a quarter about the up axis and moved.
DK_MATRIX PreviousPlacement()
{
    return Placement({Fixed(1.02), 0, Fixed(0.01)}, {Fixed(0.01), Fixed(0.99), 0}, kZ,
                     {Fixed(10.0), Fixed(1.0), Fixed(20.0)});
}
DK_MATRIX CurrentPlacement()
{
    return Placement({0, 0, -ONE}, kY, {ONE, 0, 0}, {Fixed(11.0), Fixed(1.5), Fixed(21.0)});
}

TEST_F(InterpTest, TheEndsOfTheBlendShowThePreviousAndTheCurrentTickWithSquareRows)
{
    CarBody& body = LocalCar(0);
    Snap(0, PreviousPlacement(), CurrentPlacement());
    gaSnapBodyVector[0][SNAP_PREVIOUS] = kY;
    gaSnapBodyVector[0][SNAP_CURRENT] = {0, Fixed(0.8), Fixed(0.6)};
    struct Case
    {
        int32_t f;
        DK_MATRIX expected;
        DK_VECTOR normal;
    };
    const Case cases[] = {
        {0, Placement(kX, kY, kZ, {Fixed(10.0), Fixed(1.0), Fixed(20.0)}), kY},
        {ONE, CurrentPlacement(), {0, Fixed(0.8), Fixed(0.6)}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.f);
        InterpolateSceneForDisplay(c.f);
        for (const DK_ACTOR* pActor : {body.paCar, body.paBodyDummy, body.paSpecialActor})
        {
            const DK_MATRIX& m = pActor->Local;
            // Square rows of unit length, whatever the snapshot's rows were.
            for (int r = 0; r < 3; ++r)
            {
                EXPECT_NEAR(Dot(Row(m, r), Row(m, r)), 1.0, 0.002) << r;
                EXPECT_NEAR(Dot(Row(m, r), Row(m, (r + 1) % 3)), 0.0, 0.002) << r;
                ExpectNear(Row(m, r), Row(c.expected, r), 700);
            }
            ExpectNear(Row(m, 3), Row(c.expected, 3));
        }
        // The display copies follow the body object.
        ExpectNear(body.DisplayPosition, Row(c.expected, 3));
        ExpectNear(body.DisplayRow[1], Row(body.paCar->Local, 1));
        ExpectNear(body.DisplayGroundNormal, c.normal);
        DK_VECTOR corners[8];
        TransformPoint(corners, &body.DisplayPosition, body.DisplayRow, &body.HalfSize);
        for (int i = 0; i < 8; ++i)
            ExpectNear(body.DisplayCorner[i], corners[i]);
    }
    // Half way: half way along the move.
    InterpolateSceneForDisplay(ONE / 2);
    ExpectNear(body.DisplayPosition, {Fixed(10.5), Fixed(1.25), Fixed(20.5)}, 1);
}

TEST_F(InterpTest, TheFadeLevelIsTheBlendOfTheTwoBytes)
{
    LocalCar(0);
    Snap(0, CurrentPlacement(), CurrentPlacement());
    struct Case
    {
        uint8_t uPrevious, uCurrent;
        int32_t f;
        uint8_t uExpected;
    };
    const Case cases[] = {
        {0, 255, ONE / 2, 127}, {255, 0, ONE / 2, 127}, {0, 255, 0, 0},
        {0, 255, ONE, 255},     {100, 200, ONE / 4, 125},
    };
    for (const Case& c : cases)
    {
        gaSnapFadeLevel[0][SNAP_PREVIOUS] = c.uPrevious;
        gaSnapFadeLevel[0][SNAP_CURRENT] = c.uCurrent;
        InterpolateSceneForDisplay(c.f);
        EXPECT_EQ(gaDisplayFadeLevel[0], c.uExpected) << int(c.uPrevious) << " " << c.f;
    }
}

TEST_F(InterpTest, AHeightCorrectionRaisesOnlyWhenItBlendsAboveZero)
{
    CarBody& body = LocalCar(0);
    Snap(0, CurrentPlacement(), CurrentPlacement());
    struct Case
    {
        double previous, current, f, raise;
    };
    const Case cases[] = {
        {-1.0, 0.5, 0.5, 0.0},  // blends to -0.25
        {0.0, 0.0, 1.0, 0.0},   // exactly 0
        {0.2, 0.4, 0.5, 0.3},   // raises both
        {0.4, -0.4, 0.25, 0.2}, // still above 0
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.previous);
        gaSnapHeightLift[0][SNAP_PREVIOUS] = Fixed(c.previous);
        gaSnapHeightLift[0][SNAP_CURRENT] = Fixed(c.current);
        InterpolateSceneForDisplay(Fixed(c.f));
        EXPECT_NEAR(Units(body.paCar->Local.m[3][1]), 1.5 + c.raise, 1e-4);
        EXPECT_NEAR(Units(body.paBodyDummy->Local.m[3][1]), 1.5 + c.raise, 1e-4);
        // The display copies take the placement before the lift.
        EXPECT_EQ(body.DisplayPosition.y, Fixed(1.5));
    }
}

TEST_F(InterpTest, TheLandingLiftShowsOnlyWhileTheCarFallsFasterThanTheLimit)
{
    CarBody& body = LocalCar(0);
    Snap(0, CurrentPlacement(), CurrentPlacement());
    gaSnapImpactLift[0][SNAP_PREVIOUS] = gaSnapImpactLift[0][SNAP_CURRENT] = Fixed(0.5);
    struct Case
    {
        BOOL bo50Hz;
        int16_t nMotion;
        bool boLifted;
    };
    const Case cases[] = {
        {FALSE, -151, true}, {FALSE, -150, false}, {FALSE, 0, false},
        {TRUE, -300, false}, {TRUE, -301, true},   {TRUE, -200, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.bo50Hz << " " << c.nMotion);
        gbo50HzMode = c.bo50Hz;
        body.StartCountdown = c.nMotion;
        InterpolateSceneForDisplay(ONE / 2);
        const double lift = c.boLifted ? 0.5 : 0.0;
        EXPECT_NEAR(Units(body.paCar->Local.m[3][1]), 1.5 + lift, 1e-4);
        EXPECT_NEAR(Units(body.paBodyDummy->Local.m[3][1]), 1.5 + lift, 1e-4);
    }
}

TEST_F(InterpTest, TheSteeringGoesToTheRearWheelsWithTheSwappedFrames)
{
    CarBody& body = LocalCar(0);
    Snap(0, CurrentPlacement(), CurrentPlacement());
    gaCarMechanics[0].SteerAngle = 300;
    gaCarMechanics[0].TargetSteerAngle = -200;
    struct Case
    {
        uint8_t uByte37;
        BOOL boAnalogue;
        int32_t nFront, nRear;
    };
    const Case cases[] = {
        {0x00, FALSE, 300, 0},
        {0x10, FALSE, 0, 300},
        {0x00, TRUE, -200, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << int(c.uByte37) << " " << c.boAnalogue);
        gaRaceGameData[37] = c.uByte37;
        gaCarMechanics[0].AnalogueSteer = c.boAnalogue;
        InterpolateSceneForDisplay(ONE);
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            // Turned about the up axis by the steering: the forward row swings sideways.
            const double angle = (w < 2 ? c.nFront : c.nRear) * 2.0 * M_PI / 4096.0;
            EXPECT_NEAR(Units(body.paWheel[w]->Local.m[0][0]), std::cos(angle), 0.002) << w;
            EXPECT_NEAR(std::fabs(Units(body.paWheel[w]->Local.m[0][2])),
                        std::fabs(std::sin(angle)), 0.002)
                << w;
        }
    }
}

TEST_F(InterpTest, AWheelSitsOnItsSuspensionAndNarrowTyresAreHalfAsWideAndShifted)
{
    CarBody& body = LocalCar(0);
    Snap(0, CurrentPlacement(), CurrentPlacement());
    gaCarIndexByDamageSlot[0] = 0;
    gaLoadedCar[0].xHalfWheelRadius = Fixed(0.3); // offset 0.3 - 0.7 = -0.4
    for (int w = 0; w < CAR_WHEELS; ++w)
    {
        body.SuspTravel[w] = Fixed(0.01 * (w + 1));
        body.SuspFollow[w] = Fixed(0.001);
        body.WheelShake[w] = Fixed(0.02);
        body.WheelHubOffset[w][0] = Fixed(0.05);
        body.WheelHubOffset[w][1] = Fixed(-0.03);
    }
    struct Case
    {
        int nTyres;
        int nCarType;
        double shift; // of wheels 0 and 2; wheels 1 and 3 the other way
        double axle;  // the axle row's length
    };
    const Case cases[] = {
        {0, 12, 0.0, 1.0},
        {3, 12, 0.09, 0.5},
        {3, 3, 0.055, 0.5},
        // A car type beyond the table shifts nothing.
        {3, 20, 0.0, 0.5},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.nTyres << " " << c.nCarType);
        body.TyreType = c.nTyres;
        body.nCarType = static_cast<int8_t>(c.nCarType);
        InterpolateSceneForDisplay(ONE);
        for (int w = 0; w < CAR_WHEELS; ++w)
        {
            const DK_ACTOR* pWheel = body.paWheel[w];
            const DK_VECTOR& rest = body.WheelRestPosition[w];
            const double side = (w == 0 || w == 2) ? 1.0 : -1.0;
            EXPECT_NEAR(Units(pWheel->Local.m[3][0]), Units(rest.x) + 0.05, 1e-4) << w;
            EXPECT_NEAR(Units(pWheel->Local.m[3][1]),
                        Units(rest.y) + 0.01 * (w + 1) + 0.001 + 0.02 - 0.4 - 0.03, 1e-4)
                << w;
            EXPECT_NEAR(Units(pWheel->Local.m[3][2]), Units(rest.z) + side * c.shift, 1e-4) << w;
            EXPECT_NEAR(std::sqrt(Dot(Row(pWheel->Local, 2), Row(pWheel->Local, 2))), c.axle,
                        0.002)
                << w;
            EXPECT_EQ(pWheel->uDirty, 1u);
        }
    }
}

TEST_F(InterpTest, ADamagedCornerLeansItsWheelByUpToFiveDegrees)
{
    CarBody& body = LocalCar(0);
    Snap(0, CurrentPlacement(), CurrentPlacement());
    gaDamage[0].DamageValue[1] = ONE;
    gaDamage[0].DamageValue[2] = ONE / 2;
    InterpolateSceneForDisplay(ONE);
    // 5 degrees are 56 angle units (56.9 truncated), half of it 28.
    const int anLean[CAR_WHEELS] = {0, 56, 28, 0};
    for (int w = 0; w < CAR_WHEELS; ++w)
        EXPECT_NEAR(std::fabs(Units(body.paWheel[w]->Local.m[1][2])),
                    std::sin(anLean[w] * 2.0 * M_PI / 4096.0), 0.001)
            << w;
}

TEST_F(InterpTest, RemoteCarsAreShownOnlyInANetworkGameAndAnInactiveOneIsParkedBelow)
{
    LocalCar(0);
    Snap(0, CurrentPlacement(), CurrentPlacement());
    DK_ACTOR* pActive = RemoteCar(1);  // slot 0
    DK_ACTOR* pParked = RemoteCar(3);  // slot 2, inactive
    SetRemoteActive(0, true);
    SetRemoteActive(1, true);          // record 2: active, but no car loaded
    const DK_MATRIX previous = Placement(kX, kY, kZ, {Fixed(5.0), Fixed(2.0), Fixed(7.0)});
    const DK_MATRIX current = Placement(kX, kY, kZ, {Fixed(6.0), Fixed(2.0), Fixed(7.0)});
    for (int k : {1, 2, 3})
    {
        gaSnapCarMatrix[k][SNAP_PREVIOUS] = previous;
        gaSnapCarMatrix[k][SNAP_CURRENT] = current;
    }
    const DK_MATRIX parkedBefore = Placement(kZ, kY, {-ONE, 0, 0}, {0, 0, 0});
    pParked->Local = parkedBefore;
    const DK_MATRIX activeBefore = pActive->Local;

    // Outside a network game nothing of a remote record is touched.
    InterpolateSceneForDisplay(ONE / 2);
    InterpolateRemoteCars(ONE / 2);
    EXPECT_EQ(std::memcmp(&pActive->Local, &activeBefore, sizeof(DK_MATRIX)), 0);
    EXPECT_EQ(std::memcmp(&pParked->Local, &parkedBefore, sizeof(DK_MATRIX)), 0);
    EXPECT_EQ(gaRemoteWheelSpin[1], 0);

    gboNetworkGame = TRUE;
    for (auto Frame : {InterpolateSceneForDisplay, InterpolateRemoteCars})
    {
        pParked->Local = parkedBefore;
        Frame(ONE / 2);
        EXPECT_EQ(pActive->Local.m[3][0], Fixed(5.5));
        EXPECT_EQ(pActive->World.m[3][0], Fixed(5.5)) << "the world matrix is updated";
        // Parked 100.0 under the current placement, its rows as they were.
        EXPECT_EQ(pParked->Local.m[3][0], 0 + Fixed(6.0));
        EXPECT_EQ(pParked->Local.m[3][1], Fixed(2.0) - Fixed(100.0));
        EXPECT_EQ(pParked->Local.m[3][2], Fixed(7.0));
        for (int r = 0; r < 3; ++r)
            ExpectNear(Row(pParked->Local, r), Row(parkedBefore, r));
        EXPECT_EQ(pParked->World.m[3][1], Fixed(2.0) - Fixed(100.0));
    }
}

TEST_F(InterpTest, ARemoteCarsWheelsTurnWithTheDistanceAlongItsLength)
{
    LocalCar(0);
    Snap(0, CurrentPlacement(), CurrentPlacement());
    gboNetworkGame = TRUE;
    SetRemoteActive(0, true);
    DK_ACTOR* pRoot = RemoteCar(1);
    struct Case
    {
        DK_VECTOR move;  // since the last frame
        bool boFast;     // |r| above 0.5: wheels 0 and 2 reversed
        int16_t nSpin;   // -r x 4096 / (2 pi) in angle units
    };
    const Case cases[] = {
        {{Fixed(0.2), 0, 0}, true, -521},   // r = 0.8
        {{Fixed(-0.2), 0, 0}, true, 521},   // backwards
        {{Fixed(0.1), 0, 0}, false, -260},  // r = 0.4
        {{0, 0, Fixed(0.5)}, false, 0},     // sideways
        {{Fixed(0.125), 0, 0}, false, -325}, // r = 0.5 exactly
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.move.x << " " << c.move.z);
        const DK_VECTOR from = {Fixed(3.0), Fixed(1.0), Fixed(4.0)};
        pRoot->Local = Placement(kX, kY, kZ, from);
        const DK_VECTOR to = {from.x + c.move.x, from.y + c.move.y, from.z + c.move.z};
        gaSnapCarMatrix[1][SNAP_PREVIOUS] = gaSnapCarMatrix[1][SNAP_CURRENT] =
            Placement(kX, kY, kZ, to);
        gaRemoteWheelSpin[1] = 0;
        InterpolateSceneForDisplay(ONE);
        EXPECT_EQ(gaRemoteWheelSpin[1], c.nSpin);
        for (int w = 0; w < SNAP_WHEELS; ++w)
        {
            const bool boReversed = (w == 0 || w == 2) == c.boFast;
            EXPECT_EQ(gaWheelReversed[1][w], boReversed ? 1 : 0) << w;
            // A reversed wheel is turned half about its up axis: its axle points the other way.
            EXPECT_NEAR(Units(gaCarWheelActors[1][w]->Local.m[2][2]), boReversed ? -1.0 : 1.0,
                        0.002)
                << w;
        }
        // The pause's blend leaves the wheels as they are.
        gaSnapCarMatrix[1][SNAP_CURRENT].m[3][0] += Fixed(3.0);
        InterpolateRemoteCars(ONE);
        EXPECT_EQ(gaRemoteWheelSpin[1], c.nSpin);
    }
}

TEST_F(InterpTest, TheRadiansToAngleConversionTruncatesAsTheDoubleProductDoes)
{
    // The constant as a double, the product rounded as the processor rounds it.
    const double c = 0.009947183943243459;
    auto Expected = [c](int32_t v) { return static_cast<int32_t>(static_cast<double>(v) * c); };
    int nChecked = 0;
    for (int64_t v = INT32_MIN; v <= INT32_MAX; v += 2147)
    {
        ASSERT_EQ(Interp_RadiansToAngle(static_cast<int32_t>(v)),
                  Expected(static_cast<int32_t>(v)))
            << v;
        ++nChecked;
    }
    for (int32_t v : {0, 1, -1, 100, 6588397, -6588397, INT32_MAX, INT32_MIN + 1})
        EXPECT_EQ(Interp_RadiansToAngle(v), Expected(v)) << v;
    EXPECT_GT(nChecked, 0);
}

TEST_F(InterpTest, TheGroundLiftPutsTheBoxsLowestCornerOnTheGround)
{
    StandOn("flat-tarmac");
    const DK_VECTOR half = {Fixed(1.0), Fixed(0.5), Fixed(1.0)};
    const DK_VECTOR upsideX = kX, upsideY = {0, -ONE, 0}, upsideZ = {0, 0, -ONE};
    struct Case
    {
        const char* pszName;
        DK_VECTOR x, y, z;
        double centre;
        DK_VECTOR at; // x and z of the centre
        double lift;
    };
    const Case cases[] = {
        {"upright, bottom 0.2 under", kX, kY, kZ, 0.3, {0, 0, Fixed(10.0)}, 0.2},
        {"upright, above", kX, kY, kZ, 1.0, {0, 0, Fixed(10.0)}, -0.5},
        {"upside down, measured at its top face", upsideX, upsideY, upsideZ, 0.3,
         {0, 0, Fixed(10.0)}, 0.2},
        {"off the height data", kX, kY, kZ, 0.3, {Fixed(500.0), 0, Fixed(10.0)}, 0.0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        const DK_VECTOR centre = {c.at.x, Fixed(c.centre), c.at.z};
        const DK_MATRIX m = Placement(c.x, c.y, c.z, centre);
        const DK_VECTOR rows[3] = {c.x, c.y, c.z};
        DK_VECTOR corners[8];
        TransformPoint(corners, &centre, rows, &half);
        EXPECT_NEAR(Units(RemoteCar_GroundLift(&centre, &m, corners)), c.lift, 1e-4);
    }
}

TEST_F(InterpTest, TheGroundFitOnlyRaisesARemoteCar)
{
    StandOn("flat-tarmac");
    DK_ACTOR* pRoot = RemoteCar(2);
    DK_ACTOR* pBody = NewActor(pRoot);
    DK_ACTOR* pBox = NewActor(pBody);
    pBox->uId = 6;
    // A 2.0 x 1.0 x 2.0 box; the actor's scale doubles its length.
    DK_VERTEX aVertices[2] = {};
    aVertices[0].x = -0.5f;
    aVertices[0].y = -0.5f;
    aVertices[0].z = -1.0f;
    aVertices[1].x = 0.5f;
    aVertices[1].y = 0.5f;
    aVertices[1].z = 1.0f;
    DK_MODEL model{};
    model.pVertices = aVertices;
    model.nNumVertices = 2;
    pBox->uType = DK_ACTOR_MODEL;
    pBox->pObject = &model;
    pBox->Scale = {Fixed(2.0), ONE, ONE};
    struct Case
    {
        double y, expected;
    };
    const Case cases[] = {{0.3, 0.5}, {1.0, 1.0}, {0.5, 0.5}};
    for (const Case& c : cases)
    {
        gaSnapCarMatrix[2][SNAP_CURRENT] = Placement(kX, kY, kZ, {0, Fixed(c.y), Fixed(10.0)});
        RemoteCar_FitToGround(2);
        EXPECT_NEAR(Units(gaSnapCarMatrix[2][SNAP_CURRENT].m[3][1]), c.expected, 1e-4) << c.y;
    }
    // Without a box model, or with a flat one, nothing moves.
    pBox->Scale = {ONE, 0, ONE};
    gaSnapCarMatrix[2][SNAP_CURRENT].m[3][1] = Fixed(0.3);
    RemoteCar_FitToGround(2);
    EXPECT_EQ(gaSnapCarMatrix[2][SNAP_CURRENT].m[3][1], Fixed(0.3));
    pBox->uId = 7;
    RemoteCar_FitToGround(2);
    EXPECT_EQ(gaSnapCarMatrix[2][SNAP_CURRENT].m[3][1], Fixed(0.3));
    for (int k : {0, 8, -1})
        RemoteCar_FitToGround(k);
}

TEST_F(InterpTest, KnockedOverObjectsShowTheCurrentTickWithTheirActorsScale)
{
    LocalCar(0);
    Snap(0, CurrentPlacement(), CurrentPlacement());
    DK_ACTOR* pActor = NewActor(pWorld);
    pActor->Scale = {Fixed(2.0), ONE, Fixed(3.0)};
    HitObject& o = gaHitObjects[0][0];
    o = HitObject{};
    o.pActor = pActor;
    // A quarter turn about the up axis.
    o.aRows[0] = {0, 0, -ONE};
    o.aRows[1] = kY;
    o.aRows[2] = kX;
    o.Translation = {Fixed(4.0), Fixed(0.5), Fixed(-2.0)};
    gnNumMovingObjects = 1;
    for (int32_t f : {0, ONE / 3, ONE})
    {
        pActor->uDirty = 0;
        InterpolateSceneForDisplay(f);
        // Each axis as long as the placement made it, whatever way it points.
        ExpectNear(Row(pActor->Local, 0), {0, 0, Fixed(-2.0)});
        ExpectNear(Row(pActor->Local, 1), kY);
        ExpectNear(Row(pActor->Local, 2), {Fixed(3.0), 0, 0});
        ExpectNear(Row(pActor->Local, 3), o.Translation);
        EXPECT_EQ(pActor->uDirty, 1u);
    }
}

TEST_F(InterpTest, TheFirstFrameAfterTheFirstTickShowsTheSimulatedPlacement)
{
    CarBody& body = LocalCar(0);
    Snap(0, PreviousPlacement(), CurrentPlacement());
    body.Position = {Fixed(50.0), Fixed(3.0), Fixed(60.0)};
    body.OrientRow0 = kZ;
    body.UpAxis = kY;
    body.OrientRow2 = {-ONE, 0, 0};
    body.GroundNormal = {0, Fixed(0.6), Fixed(0.8)};
    for (int i = 0; i < CAR_POINTS; ++i)
        body.ContactPoint[i] = {Fixed(50.0 + i), Fixed(3.0), Fixed(60.0)};
    gboInitialShadowPositionSet = FALSE;

    // Before the first tick the display copies are blended and the flag stays clear.
    InterpolateSceneForDisplay(ONE);
    EXPECT_FALSE(gboInitialShadowPositionSet);
    EXPECT_EQ(body.DisplayPosition.x, Fixed(11.0));

    gboMechanicsTickDone = TRUE;
    TakeLog();
    InterpolateSceneForDisplay(ONE);
    EXPECT_TRUE(gboInitialShadowPositionSet);
    EXPECT_NE(TakeLog().find("Setting initial shadow position"), std::string::npos);
    ExpectNear(body.DisplayPosition, body.Position);
    ExpectNear(body.DisplayRow[0], kZ);
    ExpectNear(body.DisplayRow[2], {-ONE, 0, 0});
    ExpectNear(body.DisplayGroundNormal, body.GroundNormal);
    for (int i = 0; i < CAR_POINTS; ++i)
        ExpectNear(body.DisplayCorner[i], body.ContactPoint[i]);

    // From the next frame on they hold the blend again.
    InterpolateSceneForDisplay(ONE);
    EXPECT_EQ(body.DisplayPosition.x, Fixed(11.0));
    EXPECT_EQ(TakeLog().find("Setting initial shadow position"), std::string::npos);
}

TEST_F(InterpTest, BothPlayersCameraPositionsAreTakenInATwoPlayerGame)
{
    LocalCar(0);
    LocalCar(1);
    Snap(0, CurrentPlacement(), CurrentPlacement());
    Snap(1, CurrentPlacement(), CurrentPlacement());
    gnNumMechCars = 2;
    // Each player's view moves from x = 6 + p to 8 + p over the tick.
    Cameras_ResetForTests();
    for (int p = 0; p < 2; ++p)
    {
        gapPlayerCamera[p] = NewActor(pWorld);
        DK_MATRIX& from = gaCameraDirector[p].Previous.View;
        DK_MATRIX& to = gaPlayerView[p].View.View;
        from.m[3][0] = Fixed(6.0 + p);
        to.m[3][0] = Fixed(8.0 + p);
        from.m[3][2] = to.m[3][2] = Fixed(-1.0);
    }
    for (int nPlayers : {1, 2})
    {
        Interp_ClearAll();
        Snap(0, CurrentPlacement(), CurrentPlacement());
        Snap(1, CurrentPlacement(), CurrentPlacement());
        gNumberOfPlayers = nPlayers;
        InterpolateSceneForDisplay(ONE / 2);
        ExpectNear(gaCameraPosition[0], {Fixed(7.0), 0, Fixed(-1.0)});
        ExpectNear(gaCameraPosition[1], nPlayers == 2 ? DK_VECTOR{Fixed(8.0), 0, Fixed(-1.0)}
                                                      : DK_VECTOR{0, 0, 0});
    }
}

} // namespace
