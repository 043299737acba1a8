// The camera placements that follow a car: the bonnet and roof views, the chase views and the
// view back at the car, the orbit cameras and the race intro's TV shots.

#include "game/race/camviews.h"

#include <cmath>
#include <set>

#include <gtest/gtest.h>

#include "engine/common/dk_rand.h"
#include "engine/include/dk_ff.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gameflow.h"
#include "game/race/interp.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carmodel.h"
#include "tests/game/race_fixture.h"

namespace
{

constexpr double kPi = 3.14159265358979323846;

struct V3
{
    double x, y, z;
};

V3 operator+(V3 a, V3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
V3 operator-(V3 a, V3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V3 operator*(V3 a, double s)
{
    return {a.x * s, a.y * s, a.z * s};
}
double Dot(V3 a, V3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
V3 Cross(V3 a, V3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Length(V3 a)
{
    return std::sqrt(Dot(a, a));
}

V3 Row(const DK_MATRIX& m, int r)
{
    return {Units(m.m[r][0]), Units(m.m[r][1]), Units(m.m[r][2])};
}

void SetRow(DK_MATRIX& m, int r, V3 v)
{
    m.m[r][0] = Fixed(v.x);
    m.m[r][1] = Fixed(v.y);
    m.m[r][2] = Fixed(v.z);
}

double Radians(double units)
{
    return units * 2.0 * kPi / 4096.0;
}

constexpr int kCar = 1;
const V3 kCarPosition = {100.0, 20.0, -50.0};

class CamViewsTest : public RaceTest
{
protected:
    void SetUp() override
    {
        RaceTest::SetUp();
        Reset();
        DkSRand(1);
        view = CameraView{};
        view.nCar = kCar;
        PlaceCar(700, 0);
    }
    void TearDown() override
    {
        Reset();
        RaceTest::TearDown();
    }
    static void Reset()
    {
        CarModel_ClearAll();
        Interp_ClearAll();
        for (int32_t& n : gaCarCamBData)
            n = 0;
        gbo50HzMode = FALSE;
        gNumberOfPlayers = 1;
        gboSplitHorizontal = FALSE;
        SuperSpecial_SetForTests(FALSE);
    }

    // The car turned by nYaw about the vertical and rolled by nRoll about its forward (4096 a
    // turn); its forward is its matrix's first row, its side the third.
    void PlaceCar(double yaw, double roll, V3 position = kCarPosition)
    {
        const V3 forward = {std::sin(Radians(yaw)), 0.0, std::cos(Radians(yaw))};
        const V3 up0 = {0.0, 1.0, 0.0};
        const V3 side0 = Cross(forward, up0);
        const double c = std::cos(Radians(roll)), s = std::sin(Radians(roll));
        const V3 up = up0 * c + side0 * s;
        const V3 side = side0 * c - up0 * s;
        DK_MATRIX& m = gaSnapCarMatrix[kCar][SNAP_CURRENT];
        m = DK_MATRIX{};
        SetRow(m, 0, forward);
        SetRow(m, 1, up);
        SetRow(m, 2, side);
        SetRow(m, 3, position);
        m.m[3][3] = 0x10000;
    }
    V3 CarRow(int r) const { return Row(gaSnapCarMatrix[kCar][SNAP_CURRENT], r); }
    V3 CarPosition() const { return CarRow(3); }
    // The eye's offset from the car in the view's own frame (side, up, forward).
    V3 EyeInView() const
    {
        const V3 d = Row(view.View, 3) - CarPosition();
        return {Dot(d, Row(view.View, 0)), Dot(d, Row(view.View, 1)), Dot(d, Row(view.View, 2))};
    }
    void ExpectEyeInView(V3 expected, double tolerance = 0.002) const
    {
        const V3 eye = EyeInView();
        EXPECT_NEAR(eye.x, expected.x, tolerance);
        EXPECT_NEAR(eye.y, expected.y, tolerance);
        EXPECT_NEAR(eye.z, expected.z, tolerance);
    }
    // The rotation rows are unit length, square to each other and not mirrored.
    void ExpectTrueRotation(double tolerance = 0.01) const
    {
        const V3 side = Row(view.View, 0), up = Row(view.View, 1), forward = Row(view.View, 2);
        EXPECT_NEAR(Length(side), 1.0, tolerance);
        EXPECT_NEAR(Length(up), 1.0, tolerance);
        EXPECT_NEAR(Length(forward), 1.0, tolerance);
        EXPECT_NEAR(Dot(side, up), 0.0, tolerance);
        EXPECT_NEAR(Dot(side, forward), 0.0, tolerance);
        EXPECT_NEAR(Dot(up, forward), 0.0, tolerance);
        EXPECT_NEAR(Dot(Cross(side, up), forward), 1.0, 3 * tolerance);
    }

    CameraView view;
};

// ---- Family A -------------------------------------------------------------------------------

struct MountedPitchCase
{
    int nVariant;
    int nCarType;
    double pitch; // units down from the car's forward
};

class MountedPitchTest : public CamViewsTest, public testing::WithParamInterface<MountedPitchCase>
{
};

TEST_P(MountedPitchTest, LooksDownFromTheCarsForwardAboutItsSide)
{
    const MountedPitchCase& c = GetParam();
    gaCarBody[kCar].nCarType = static_cast<int8_t>(c.nCarType);
    PlaceCar(700, 150);
    CarCamA_SetViewWithOffset(&view, c.nVariant);
    const V3 forward = Row(view.View, 2);
    const double below = std::asin(-Dot(forward, CarRow(1)));
    EXPECT_NEAR(below, Radians(c.pitch), Radians(1.5));
    // The pitch stays in the car's own vertical plane, however the car is turned and rolled.
    EXPECT_NEAR(Dot(forward, CarRow(2)), 0.0, 0.002);
    EXPECT_NEAR(Dot(Row(view.View, 0), CarRow(2)), -1.0, 0.002);
    ExpectTrueRotation();
}

INSTANTIATE_TEST_SUITE_P(CarTypes, MountedPitchTest,
                         testing::Values(MountedPitchCase{0, 0, 113}, MountedPitchCase{0, 5, 113},
                                         MountedPitchCase{0, 13, 113}, MountedPitchCase{0, 12, 227},
                                         MountedPitchCase{1, 12, 0}, MountedPitchCase{1, 3, 0}));

struct MountedEyeCase
{
    int nVariant;
    int nCarType;
    int nPlayers;
    BOOL boHorizontal;
    BOOL boSchool;
    double up, forward; // the eye in the view's frame
    double lift;        // the view value A
};

class MountedEyeTest : public CamViewsTest, public testing::WithParamInterface<MountedEyeCase>
{
};

TEST_P(MountedEyeTest, SitsAtTheTablesOffsetLowerInAStackedSplit)
{
    const MountedEyeCase& c = GetParam();
    gaCarBody[kCar].nCarType = static_cast<int8_t>(c.nCarType);
    gNumberOfPlayers = c.nPlayers;
    gboSplitHorizontal = c.boHorizontal;
    gboRaceSchool = c.boSchool;
    CarCamA_SetViewWithOffset(&view, c.nVariant);
    ExpectEyeInView({0.0, c.up, c.forward});
    EXPECT_EQ(view.xLift, Fixed(c.lift));
    EXPECT_EQ(view.xValueB, Fixed(0.1));
    EXPECT_EQ(view.xTrackDraw, 0);
    EXPECT_EQ(view.xFieldOfView, Fixed(0.625));
}

INSTANTIATE_TEST_SUITE_P(Offsets, MountedEyeTest,
                         testing::Values(MountedEyeCase{1, 0, 1, FALSE, FALSE, 0.5, 1.9355, 0.0},
                                         MountedEyeCase{1, 12, 1, FALSE, FALSE, 0.5, 1.1993, 0.0},
                                         MountedEyeCase{1, 0, 2, TRUE, FALSE, 0.5, 1.9355, 0.0},
                                         MountedEyeCase{0, 12, 1, FALSE, FALSE, 1.0, 0.92, 1.0},
                                         MountedEyeCase{0, 13, 1, FALSE, FALSE, 0.92, 0.37, 1.0},
                                         MountedEyeCase{0, 13, 2, TRUE, FALSE, 0.67, 0.37, 1.0},
                                         MountedEyeCase{0, 13, 2, FALSE, FALSE, 0.92, 0.37, 1.0},
                                         MountedEyeCase{0, 13, 2, TRUE, TRUE, 0.92, 0.37, 1.0}));

struct EyeLiftCase
{
    BOOL bo50Hz;
    int nMotion;
    double heightLift, secondLift;
    BOOL boFlatGravel;
    double rise;
};

class EyeLiftTest : public CamViewsTest, public testing::WithParamInterface<EyeLiftCase>
{
};

TEST_P(EyeLiftTest, RisesWithTheHeightCorrectionsAndAHardVerticalMotion)
{
    const EyeLiftCase& c = GetParam();
    CarCamA_SetViewWithOffset(&view, 1);
    const V3 still = Row(view.View, 3);
    gbo50HzMode = c.bo50Hz;
    gaCarBody[kCar].StartCountdown = static_cast<int16_t>(c.nMotion);
    gaSnapHeightLift[kCar][SNAP_CURRENT] = Fixed(c.heightLift);
    gaSnapSecondLift[kCar][SNAP_CURRENT] = Fixed(c.secondLift);
    if (c.boFlatGravel)
        gaRaceGameData[OPTION_FLAT_GRAVEL.nByte] |= 1 << OPTION_FLAT_GRAVEL.nBit;
    CarCamA_FinishView(&view);
    const V3 moved = Row(view.View, 3) - still;
    EXPECT_NEAR(moved.x, 0.0, 1e-9);
    EXPECT_NEAR(moved.y, c.rise, 0.0002);
    EXPECT_NEAR(moved.z, 0.0, 1e-9);
    EXPECT_EQ(CamViews_CarEyeLift(kCar), Fixed(moved.y));
}

INSTANTIATE_TEST_SUITE_P(Lifts, EyeLiftTest,
                         testing::Values(EyeLiftCase{FALSE, -150, 0, 0, FALSE, 0.0},
                                         EyeLiftCase{FALSE, -151, 0, 0, FALSE, 0.02},
                                         EyeLiftCase{FALSE, -160, 0, 0, FALSE, 0.2},
                                         EyeLiftCase{TRUE, -160, 0, 0, FALSE, 0.0},
                                         EyeLiftCase{TRUE, -310, 0, 0, FALSE, 0.2},
                                         EyeLiftCase{FALSE, 400, 0.3, 0.5, FALSE, 0.3},
                                         EyeLiftCase{FALSE, -170, 0.3, 0.5, TRUE, 1.2}));

TEST_F(CamViewsTest, MountedViewTurnsAnEighthOfTheWayEachTickUnlessHeld)
{
    struct Case
    {
        BOOL bo50Hz;
        BOOL boHold;
        double share; // of the car's turn taken in one tick
    };
    for (const Case& c :
         {Case{FALSE, FALSE, 0.125}, Case{TRUE, FALSE, 0.0625}, Case{FALSE, TRUE, 1.0}})
    {
        gbo50HzMode = c.bo50Hz;
        PlaceCar(0, 0);
        CarCamA_SetViewWithOffset(&view, 1);
        PlaceCar(200, 0);
        CarCamA_SetViewRotated(&view, c.boHold);
        const V3 forward = Row(view.View, 2);
        const double turned = std::atan2(forward.x, forward.z);
        EXPECT_NEAR(turned, c.share * Radians(200), Radians(1.0)) << c.share;
        // The eye is placed on the car whatever the view's turn.
        EXPECT_NEAR(EyeInView().z, 1.9355, 0.002);
    }
}

// ---- Family B -------------------------------------------------------------------------------

struct ChaseCase
{
    int nMode;
    int nPlayers;
    BOOL boHorizontal;
    double up, behind;
};

class ChaseOffsetTest : public CamViewsTest, public testing::WithParamInterface<ChaseCase>
{
};

TEST_P(ChaseOffsetTest, SitsBehindAndAboveForTheModeAndTheSplit)
{
    const ChaseCase& c = GetParam();
    gNumberOfPlayers = c.nPlayers;
    gboSplitHorizontal = c.boHorizontal;
    CarCamB_SetViewWithMode(&view, c.nMode);
    ExpectEyeInView({0.0, c.up, -c.behind});
    // Looking back, the view faces the car's front from ahead of it.
    const double facing = Dot(Row(view.View, 2), CarRow(0));
    EXPECT_NEAR(facing, c.nMode == 6 ? -1.0 : 1.0, 0.002);
    EXPECT_EQ(view.xLift, 0);
    EXPECT_EQ(view.xValueB, 0x10000);
    EXPECT_EQ(view.xFieldOfView, Fixed(0.625));
    EXPECT_EQ(view.xLiftHeight, Fixed(c.behind));
    EXPECT_EQ(view.xTrackDraw, Fixed(c.behind - 1.0));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ChaseOffsetTest,
    testing::Values(ChaseCase{0, 1, FALSE, 1.5, 6.0}, ChaseCase{0, 2, TRUE, 1.3, 8.0},
                    ChaseCase{0, 2, FALSE, 1.5, 6.0}, ChaseCase{3, 1, TRUE, 2.0, 10.0},
                    ChaseCase{3, 2, TRUE, 1.9, 13.0}, ChaseCase{3, 2, FALSE, 2.0, 10.0},
                    ChaseCase{6, 1, FALSE, 1.0, 6.0}, ChaseCase{6, 2, TRUE, 1.0, 6.0}));

TEST_F(CamViewsTest, NearChaseViewDropsBackWithTheForwardSpeed)
{
    struct Case
    {
        int nMode;
        V3 velocity; // in the car's frame: forward, up, side
        double behind;
    };
    for (const Case& c :
         {Case{0, {0, 0, 0}, 6.0}, Case{0, {1.5, 0, 0}, 7.5}, Case{0, {1.5, 0.4, 0.8}, 7.5},
          Case{0, {-0.5, 0, 0}, 5.5}, Case{3, {1.5, 0, 0}, 10.0}})
    {
        const V3 world =
            CarRow(0) * c.velocity.x + CarRow(1) * c.velocity.y + CarRow(2) * c.velocity.z;
        gaCarBody[kCar].Velocity = {Fixed(world.x), Fixed(world.y), Fixed(world.z)};
        CarCamB_SetViewWithMode(&view, c.nMode);
        EXPECT_NEAR(EyeInView().z, -c.behind, 0.003) << c.nMode << " " << c.velocity.x;
    }
}

TEST_F(CamViewsTest, ChaseViewStaysWhileEveryRotationComponentIsWithinTheDeadBand)
{
    struct Case
    {
        double turn; // units the car turns after the set-up
        bool boMoves;
    };
    // 8 units move no component by more than 0.0123; 20 units move two by 0.0307.
    for (const Case& c : {Case{8, false}, Case{-8, false}, Case{20, true}, Case{-20, true}})
    {
        PlaceCar(700, 0);
        CarCamB_SetViewWithMode(&view, 0);
        const DK_MATRIX before = view.View;
        PlaceCar(700 + c.turn, 0);
        CarCamB_SetViewRotated(&view, FALSE);
        bool boSame = true;
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k)
                boSame = boSame && before.m[r][k] == view.View.m[r][k];
        EXPECT_EQ(!boSame, c.boMoves) << c.turn;
        // The eye follows the car either way.
        EXPECT_NEAR(EyeInView().z, -6.0, 0.01);
    }
}

TEST_F(CamViewsTest, ChaseViewFollowsTheCarAtItsRate)
{
    for (const BOOL bo50Hz : {FALSE, TRUE})
    {
        gbo50HzMode = bo50Hz;
        PlaceCar(0, 0);
        CarCamB_SetViewWithMode(&view, 0);
        PlaceCar(400, 0);
        CarCamB_SetViewRotated(&view, FALSE);
        const V3 forward = Row(view.View, 2);
        const double share = std::atan2(forward.x, forward.z) / Radians(400);
        EXPECT_NEAR(share, 1.7857 / (bo50Hz ? 50 : 25), 0.01);
    }
}

TEST_F(CamViewsTest, LookBackAndHeldViewsLevelOutTheCarsRoll)
{
    struct Case
    {
        int nMode;
        BOOL boHold;
        bool boLevel;
    };
    for (const Case& c : {Case{6, FALSE, true}, Case{6, TRUE, true}, Case{0, TRUE, true},
                          Case{3, TRUE, true}, Case{0, FALSE, false}})
    {
        PlaceCar(700, 300);
        CarCamB_SetViewWithMode(&view, c.nMode);
        const double facing = Dot(Row(view.View, 2), CarRow(0));
        for (int i = 0; i < 150; ++i)
            CarCamB_SetViewRotated(&view, c.boHold);
        const double roll = Row(view.View, 0).y;
        if (c.boLevel)
            EXPECT_NEAR(roll, 0.0, 0.03) << c.nMode << " " << c.boHold;
        else
            EXPECT_NEAR(std::fabs(roll), std::sin(Radians(300)), 0.01);
        EXPECT_GT(Row(view.View, 1).y, 0.85);
        // Levelling never turns the view round: a held look-back view still looks back.
        EXPECT_NEAR(Dot(Row(view.View, 2), CarRow(0)), facing, 0.05) << c.nMode << " " << c.boHold;
        ExpectTrueRotation();
    }
}

TEST_F(CamViewsTest, ALandingBouncesTheChaseViewOnceForASecond)
{
    for (const BOOL bo50Hz : {FALSE, TRUE})
    {
        gbo50HzMode = bo50Hz;
        const int nLength = bo50Hz ? 50 : 25;
        gaCarCamBData[kCar] = Fixed(0.5);
        CarCamB_SetViewWithMode(&view, 0);
        // The set-up clears a landing left from before.
        EXPECT_EQ(gaCarCamBData[kCar], 0);
        CarCamB_SetViewRotated(&view, FALSE);
        EXPECT_EQ(view.nBounceTicks, -1);

        gaCarCamBData[kCar] = Fixed(0.5);
        CarCamB_SetViewRotated(&view, FALSE);
        EXPECT_EQ(view.nBounceTicks, nLength);
        EXPECT_EQ(view.xBounceAmplitude, Fixed(0.5));
        EXPECT_EQ(gaCarCamBData[kCar], 0);
        int nTicksMoved = 0;
        double deepest = 0.0;
        for (int i = 0; i < nLength; ++i)
        {
            CarCamB_SetViewRotated(&view, FALSE);
            const double drop = 1.5 - EyeInView().y;
            deepest = std::max(deepest, std::fabs(drop));
            nTicksMoved += std::fabs(drop) > 1e-4;
            // sin(2 pi f) x f x 0.25 x amplitude, f the share left.
            const double f = static_cast<double>(view.nBounceTicks) / nLength;
            EXPECT_NEAR(drop, std::sin(2 * kPi * f) * f * 0.25 * 0.5, 0.001);
        }
        EXPECT_GT(nTicksMoved, nLength / 2);
        EXPECT_GT(deepest, 0.02);
        EXPECT_EQ(view.nBounceTicks, 0);
        // One landing, one bounce: the view comes to rest and stays there.
        for (int i = 0; i < 2 * nLength; ++i)
            CarCamB_SetViewRotated(&view, FALSE);
        EXPECT_EQ(view.nBounceTicks, -1);
        EXPECT_NEAR(EyeInView().y, 1.5, 1e-4);
    }
}

// ---- The orbit cameras ----------------------------------------------------------------------

TEST_F(CamViewsTest, HighOrbitStandsTwentyOutAndLeadsTheCarsSmoothedVelocity)
{
    const V3 velocity = {0.8, 0.0, -0.4};
    gaCarBody[kCar].Velocity = {Fixed(velocity.x), Fixed(velocity.y), Fixed(velocity.z)};
    TvCam_PlaceRandomOrbit(&view, 1);
    const double k = 20.0 / std::sqrt(6.0);
    const V3 offset = {k, 2 * k, k};
    const V3 eye = Row(view.View, 3);
    const V3 expected = CarPosition() + offset + velocity * 5.0;
    EXPECT_NEAR(eye.x, expected.x, 0.01);
    EXPECT_NEAR(eye.y, expected.y, 0.01);
    EXPECT_NEAR(eye.z, expected.z, 0.01);
    // Looking at the car, level, a true rotation.
    const V3 forward = Row(view.View, 2);
    EXPECT_NEAR(Dot(forward, offset * (1 / 20.0)), -1.0, 0.002);
    EXPECT_NEAR(Row(view.View, 0).y, 0.0, 0.002);
    EXPECT_GT(Row(view.View, 1).y, 0.5);
    ExpectTrueRotation(0.005);
    EXPECT_NEAR(Units(view.xLiftHeight), k * std::sqrt(2.0), 0.01);
    EXPECT_EQ(view.xTrackDraw, Fixed(7.0));

    // The car stops: the kept velocity moves a sixteenth of the way each tick; the view's
    // rotation stays as set.
    const DK_MATRIX set = view.View;
    gaCarBody[kCar].Velocity = {0, 0, 0};
    TvCam_UpdateOrbit(&view);
    const V3 lead = (Row(view.View, 3) - CarPosition() - offset) * (1 / 5.0);
    EXPECT_NEAR(lead.x, velocity.x * 15 / 16, 0.002);
    EXPECT_NEAR(lead.z, velocity.z * 15 / 16, 0.002);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(view.View.m[r][c], set.m[r][c]);
}

TEST_F(CamViewsTest, NearOrbitStandsBetween4Point5And10OutLookingAtTheCar)
{
    std::set<int> radii;
    double lowest = 100.0, highest = 0.0;
    for (int i = 0; i < 300; ++i)
    {
        TvCam_PlaceRandomOrbit(&view, 0);
        const V3 offset = Row(view.View, 3) - CarPosition();
        const double r = Length(offset);
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
        radii.insert(static_cast<int>(r));
        EXPECT_GT(offset.y, 0.0);
        // The car is straight ahead.
        EXPECT_NEAR(Dot(Row(view.View, 2), offset * (1 / r)), -1.0, 0.002) << i;
        EXPECT_GT(Row(view.View, 1).y, 0.0);
        ExpectTrueRotation();
        EXPECT_NEAR(Units(view.xLiftHeight), std::hypot(offset.x, offset.z), 0.01);
        // The orbit keeps its place as the car drives on.
        PlaceCar(900, 0, kCarPosition + V3{3.0, 0.5, 7.0});
        TvCam_UpdateOrbit(&view);
        const V3 after = Row(view.View, 3) - CarPosition();
        EXPECT_NEAR(Length(after - offset), 0.0, 0.001);
        PlaceCar(700, 0);
    }
    EXPECT_GE(lowest, 4.5 - 0.01);
    EXPECT_LE(highest, 10.0 + 0.01);
    EXPECT_GE(radii.size(), 5u); // spread over the range
}

// ---- The TV intro camera --------------------------------------------------------------------

TEST(TvShapeTest, HoldsAboveTheLimitThenEasesToZero)
{
    DkInitialiseTrigTables();
    struct Case
    {
        double f, limit, expected;
    };
    for (const Case& c : {Case{0.8, 0.5, 1.0}, Case{0.51, 0.5, 1.0}, Case{0.5, 0.5, 1.0},
                          Case{0.25, 0.5, 0.25}, Case{0.0, 0.5, 0.0}, Case{0.5, 1.0, 0.25},
                          Case{1.0, 1.0, 1.0}, Case{0.3, 1.0, 0.09}, Case{0.2, 0.0, 1.0}})
    {
        EXPECT_NEAR(Units(TvCam_ShapeFactor(Fixed(c.f), Fixed(c.limit))), c.expected, 0.002)
            << c.f << " " << c.limit;
    }
    // Between the limit and 0 the ease falls all the way.
    double previous = 1.0;
    for (int i = 50; i >= 0; --i)
    {
        const double v = Units(TvCam_ShapeFactor(Fixed(i / 100.0), Fixed(0.5)));
        EXPECT_LE(v, previous + 1e-4);
        previous = v;
    }
}

TEST_F(CamViewsTest, TvShotHoldsOnTheCarForThreeSecondsThenEasesIntoTheFarChase)
{
    // A school lesson on a super special stage may draw any of the six shots.
    SuperSpecial_SetForTests(TRUE);
    gboRaceSchool = TRUE;
    for (const BOOL bo50Hz : {FALSE, TRUE})
        for (int nShot = 0; nShot < 6; ++nShot)
        {
            gbo50HzMode = bo50Hz;
            const int nTicks = bo50Hz ? 150 : 75;
            int nDraws = 0;
            do
                TvCam_PickRandomType(&view);
            while (view.nTvShot != nShot && ++nDraws < 1000);
            ASSERT_EQ(view.nTvShot, nShot);
            EXPECT_EQ(view.xTvTimer, nTicks * 0x10000);
            const DK_MATRIX start = view.View;
            // The shot's first tick shows it as placed.
            TvCam_UpdateShake(&view);
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(view.View.m[r][c], start.m[r][c]);
            double lastStep = 0.0;
            for (int i = 1; i < nTicks; ++i)
            {
                EXPECT_GT(view.xTvTimer, 0);
                const V3 before = Row(view.View, 3);
                TvCam_UpdateShake(&view);
                // The car stays in front of the camera throughout.
                const V3 toCar = CarPosition() - Row(view.View, 3);
                EXPECT_GT(Dot(toCar, Row(view.View, 2)), 0.85 * Length(toCar));
                lastStep = Length(Row(view.View, 3) - before);
            }
            // The ease comes to rest gently; the shot's time is up.
            EXPECT_LT(lastStep, 0.05);
            EXPECT_EQ(view.xTvTimer, 0);
            // From then on the view is the far chase view: 2.0 above and 10.0 behind the car.
            TvCam_UpdateShake(&view);
            ExpectEyeInView({0.0, 2.0, -10.0}, 0.005);
            EXPECT_NEAR(Dot(Row(view.View, 2), CarRow(0)), 1.0, 0.002);
            EXPECT_EQ(view.xLiftHeight, Fixed(10.0));
            ExpectTrueRotation();
        }
}

TEST_F(CamViewsTest, TvShotsFourAndFiveOnlyOnSuperSpecialStages)
{
    struct Case
    {
        BOOL boSuperSpecial;
        BOOL boSchool;
        int nSurface;
        std::set<int> allowed;
    };
    const std::set<int> kEvery = {0, 1, 2, 3, 4, 5};
    for (const Case& c : {Case{FALSE, FALSE, 0, {0, 1, 2, 3}}, Case{TRUE, FALSE, 0, {4, 5}},
                          Case{TRUE, TRUE, 0, kEvery}, Case{FALSE, TRUE, 0, {0, 1, 2, 3}},
                          // Soft ground: mud, snow and sand refuse the low shots.
                          Case{FALSE, FALSE, 40, {0, 1}}, Case{FALSE, FALSE, 71, {0, 1}},
                          Case{FALSE, FALSE, 79, {0, 1}}, Case{FALSE, FALSE, 80, {0, 1, 2, 3}},
                          Case{TRUE, TRUE, 33, {0, 1, 4, 5}}})
    {
        SuperSpecial_SetForTests(c.boSuperSpecial);
        gboRaceSchool = c.boSchool;
        gaCarMechanics[kCar].WheelSurface[0] = static_cast<int16_t>(c.nSurface);
        std::set<int> drawn;
        for (int i = 0; i < 200; ++i)
        {
            TvCam_PickRandomType(&view);
            drawn.insert(view.nTvShot);
        }
        if (c.boSuperSpecial && !c.boSchool)
            EXPECT_EQ(drawn, std::set<int>{4}); // the left lane's shot
        else
            EXPECT_EQ(drawn, c.allowed) << c.boSuperSpecial << c.boSchool << " " << c.nSurface;
    }
}

// ---- The track-draw value -------------------------------------------------------------------

TEST_F(CamViewsTest, FarViewsDrawNearObjectsExceptOnCountry8AndEarlySchoolLessons)
{
    struct Case
    {
        uint8_t uCountryByte;
        BOOL boSchool;
        uint8_t uLesson;
        double expected;
    };
    for (const Case& c :
         {Case{0x03, FALSE, 0, 7.0}, Case{0x08, FALSE, 0, 0.0}, Case{0x18, FALSE, 0, 0.0},
          Case{0x80, FALSE, 0, 7.0}, Case{0x03, TRUE, 63, 0.0}, Case{0x03, TRUE, 64, 7.0},
          Case{0x03, FALSE, 10, 7.0}})
    {
        gaRaceGameData[360] = c.uCountryByte;
        gaRaceGameData[1728] = c.uLesson;
        gboRaceSchool = c.boSchool;
        EXPECT_EQ(CamViews_TrackDrawValue(Fixed(7.0)), Fixed(c.expected));
        TvCam_PlaceRandomOrbit(&view, 0);
        EXPECT_EQ(view.xTrackDraw, Fixed(c.expected));
        TvCam_PickRandomType(&view);
        EXPECT_EQ(view.xTrackDraw, Fixed(c.expected));
        CarCamB_SetViewWithMode(&view, 3);
        EXPECT_EQ(view.xTrackDraw, c.expected == 0.0 ? 0 : Fixed(9.0));
    }
}

} // namespace
