// Track triggers on the data kit's flat tarmac with lines of the test's own, cars driven by the
// harness's tick: pace notes once per player, split times, the finish, camera sets, the timed
// event, walls that push, bounce, spin, damage and scrape, and the walk of a block's list and
// the marking of a line's copies kept inside the table.
#include "game/vehicle/trigger.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/pc/3d/dk_line.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/3d/dk_tblk.h"
#include "game/effects/codriver.h"
#include "game/effects/effects.h"
#include "game/effects/muddycar.h"
#include "game/effects/prangsnd.h"
#include "game/hud/catseye.h"
#include "game/race/startup.h"
#include "game/vehicle/carmodel_internal.h"
#include "tests/game/car_fixture.h"
#include "tools/bench/car_drive.h"

namespace
{

constexpr int16_t kFacingPlusZ = -1024;
constexpr double kLineZ = 100.0;

// A line across the road at z from x = -18 to 18, facing a car that drives towards +z.
datakit::TriggerLine Across(double z, uint8_t type, int32_t param = 0, bool twoSided = false,
                            double yLow = -2.0, double yHigh = 4.0)
{
    return {-18.0, yLow, z, 18.0, yHigh, z, type, twoSided, param};
}

// Car type 0's box.
double HalfLength()
{
    return Units(gaCarTypeTable[0].xLength) / 2;
}
double HalfWidth()
{
    return Units(gaCarTypeTable[0].xWidth) / 2;
}

double Length(const DK_VECTOR& v)
{
    return std::sqrt(Units(v.x) * Units(v.x) + Units(v.y) * Units(v.y) + Units(v.z) * Units(v.z));
}

// The car's velocity as the car step left it, just before the triggers.
DK_VECTOR gStepVelocity{};
void KeepStepVelocity(int nPass, int, int nCar)
{
    if (nPass == 9)
        gStepVelocity = gaCarBody[nCar].Velocity;
}

class TriggerTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        CarModel_SetStepRate(25 * ONE);
        CoDriver_ResetForTests();
        MuddyCar_ResetForTests();
        Effects_ResetForTests();
        PrangSnd_ResetForTests();
        Ghost_SetPlayingForTests(FALSE);
        for (WallImpact& impact : gaWallImpact)
            impact = WallImpact{};
        for (int32_t& nHead : gaCatsEyeHead)
            nHead = 0;
        gnNumCatsEyes = 0;
        gxStageObjectClipDistance = gxLoadedObjectClipDistance = 150 << 16;
        gxStageHorizonDistance = gxLoadedHorizonDistance = 100 << 16;
        gxObjectClipDistance = 300 << 16;
        gxHorizonDistance = 500 << 16;
        b = &gaCarBody[0];
        m = &gaCarMechanics[0];
    }

    void TearDown() override
    {
        drive::ClearLines();
        gxObjectClipDistance = 100 << 16;
        gxHorizonDistance = 500 << 16;
        CarTest::TearDown();
    }

    // The lines given, on flat tarmac's blocks.
    void Lines(const std::vector<datakit::TriggerLine>& lines)
    {
        datakit::Ground ground = datakit::MakeGround("flat-tarmac");
        ground.lines = lines;
        bool boLoaded = false;
        output += CaptureOutput([&] { boLoaded = drive::LoadLines(ground); });
        ASSERT_TRUE(boLoaded) << output;
    }

    // Car nCar (type 0) facing +z with its centre at (x, z), settled on flat tarmac for a second
    // at the start (before any line is loaded), then released.
    void Place(int nCar, double x, double z)
    {
        if (!boOnGround)
            StandOn("flat-tarmac");
        boOnGround = true;
        ASSERT_TRUE(SetUpCar(nCar, 0, x, 0.0, z, kFacingPlusZ)) << last;
        for (int k = 0; k < 25; ++k)
            Tick({static_cast<int16_t>(nCar)});
        drive::ReleaseCar(nCar);
    }

    void Tick(std::vector<int16_t> list = {0})
    {
        output += CaptureOutput([&] { drive::Tick(list.data(), static_cast<int>(list.size())); });
    }

    // The records of the line across the road at z (one a block it crosses).
    static std::vector<TrackTrigger*> Copies(uint8_t type, double z)
    {
        std::vector<TrackTrigger*> copies;
        for (int32_t i = 0; i < gnNumWallLines; ++i)
            if (gpWallLines[i].uType == type && gpWallLines[i].az == Fixed(z))
                copies.push_back(&gpWallLines[i]);
        return copies;
    }

    CarBody* b = nullptr;
    CarMechanics* m = nullptr;
    bool boOnGround = false;
};

} // namespace
// Pace notes: car 0 straddles the note for three ticks, then car 1 (player 1) straddles it too.
TEST_F(TriggerTest, APaceNoteIsCalledOncePerPlayerSilentBackwardsAndMarkedWhileTumbling)
{
    struct Case
    {
        const char* pszName;
        bool boReverse;
        bool boSchool;
        bool boRolling;
        int nCallsFirst;    // after car 0's three ticks
        uint8_t uBitsFirst; // on every copy
        int nCallsBoth;     // after car 1's tick
        uint8_t uBitsBoth;
    };
    const Case aCases[] = {
        {"forwards", false, false, false, 1, 1, 2, 3},
        {"reverse-direction stage", true, false, false, 0, 0, 0, 0},
        {"reverse bit in the rally school", true, true, false, 1, 1, 2, 3},
        {"car 0 tumbling", false, false, true, 0, 1, 1, 3},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        gaTestGameData[37] = c.boReverse ? 8 : 0;
        gboTestRallySchool = c.boSchool ? TRUE : FALSE;
        Place(0, -8.0, kLineZ - 0.5);
        Place(1, 8.0, kLineZ - 0.5);
        Lines({Across(kLineZ, 0, 101)});
        const std::vector<TrackTrigger*> copies = Copies(0, kLineZ);
        ASSERT_EQ(copies.size(), 2u) << "the line crosses both columns of blocks";

        for (int k = 0; k < 3; ++k)
        {
            b->Rolling = c.boRolling ? 1 : 0;
            Tick({0});
        }
        EXPECT_EQ(CoDriver_GetQueuedCallsForTests(), c.nCallsFirst);
        for (const TrackTrigger* p : copies)
            EXPECT_EQ(p->uPlayerBits, c.uBitsFirst);
        if (c.nCallsFirst > 0)
            EXPECT_EQ(CoDriver_GetLastCallForTests().nCall, 101);

        Tick({0, 1});
        EXPECT_EQ(CoDriver_GetQueuedCallsForTests(), c.nCallsBoth);
        for (const TrackTrigger* p : copies)
            EXPECT_EQ(p->uPlayerBits, c.uBitsBoth);
        if (c.nCallsBoth > c.nCallsFirst)
            EXPECT_EQ(CoDriver_GetLastCallForTests().nPlayer, 1);
    }
}

// Split markers: the cat's-eye head on every tick straddled, the split time only when player
// 0's head moves on, or once at the eighth split.
TEST_F(TriggerTest, ASplitMarkerActsOnEveryTickAndTakesTheTimeWhenTheHeadMovesOrAtTheFinish)
{
    struct Case
    {
        const char* pszName;
        int16_t nSplitsPassed;
        int32_t nLastState;
        bool boSchool;
        int32_t nHead;      // expected gaCatsEyeHead[0]
        int32_t nTimeFirst; // expected gnLastSplitTime after the first tick (clock 12.5 s)
        int32_t nTimeLater; // after a later tick (clock 20.0 s)
        int32_t nFinish;
    };
    const Case aCases[] = {
        {"head moves on", 3, -1, false, 5, 1250, 1250, 0},
        {"head already taken", 3, 5, false, 5, 0, 0, 0},
        {"the finish, once", 8, 5, false, 5, 1250, 1250, 1},
        {"past the finish", 9, -1, false, 5, 0, 0, 0},
        {"in the rally school", 3, -1, true, 0, 0, 0, 0},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        gboTestRallySchool = c.boSchool ? TRUE : FALSE;
        Place(0, 0.0, kLineZ - 0.5);
        Lines({Across(kLineZ, 1, 5)});
        gaSplitsPassed[0] = c.nSplitsPassed;
        gnLastSplitState = c.nLastState;
        StageTimer_Start(0);
        StageTimer_Advance(Fixed(12.5));
        Tick();
        EXPECT_EQ(gaCatsEyeHead[0], c.nHead);
        EXPECT_EQ(gnLastSplitTime, c.nTimeFirst);
        EXPECT_EQ(gboFinishReached, c.nFinish);
        for (const TrackTrigger* p : Copies(1, kLineZ))
            EXPECT_EQ(p->uPlayerBits, 0) << "split markers are never marked";

        gaCatsEyeHead[0] = 0; // set again on the next tick
        StageTimer_Advance(Fixed(7.5));
        Tick();
        EXPECT_EQ(gaCatsEyeHead[0], c.nHead);
        EXPECT_EQ(gnLastSplitTime, c.nTimeLater);
    }
}

// Reverse-direction stages number the split markers from the other end, and they still fire.
TEST_F(TriggerTest, MirroredSplitMarkersCountFromTheOtherEndAndStillFire)
{
    Place(0, 0.0, 50.0 - 0.5);
    Lines({Across(50.0, 1, 0), Across(110.0, 1, 1), Across(170.0, 1, 2)});
    gnNumCatsEyes = 3;
    Trigger_MirrorRecords();
    for (int32_t i = 0; i < gnNumWallLines; ++i)
    {
        const TrackTrigger& r = gpWallLines[i];
        EXPECT_EQ(r.uPlayerBits, 0);
        EXPECT_EQ(r.nParam, r.az == Fixed(50.0) ? 2 : r.az == Fixed(110.0) ? 1 : 0);
    }
    StageTimer_Start(0);
    StageTimer_Advance(Fixed(3.0));
    Tick();
    EXPECT_EQ(gaCatsEyeHead[0], 2);
    EXPECT_EQ(gnLastSplitState, 2);
    EXPECT_EQ(gnLastSplitTime, 300);
}

// The finish, the camera sets and the timed event, each straddled by car 0 coming from the
// normal's side (or, where noted, from the far side).
TEST_F(TriggerTest, FinishCameraSetsAndTheTimedEventActOnlyWhereTheyMay)
{
    struct Case
    {
        const char* pszName;
        datakit::TriggerLine line;
        int nLight;
        int nGameType;
        bool boSchool;
        bool boFromBehind;
        int nRate;
        int32_t nRescue;
        double objectClip; // expected gxObjectClipDistance and gxHorizonDistance
        double horizon;
        int16_t nCountdown;
    };
    const auto finish = Across(kLineZ, 6);
    const auto high = Across(kLineZ, 6, 0, false, 3.0, 6.0);
    const auto low = Across(kLineZ, 6, 0, false, -6.0, -3.0);
    const Case aCases[] = {
        {"finish", finish, 0, 0, false, false, 25, 1, 300, 500, 0},
        {"finish line above the car", high, 0, 0, false, false, 25, 0, 300, 500, 0},
        {"finish line below the car", low, 0, 0, false, false, 25, 0, 300, 500, 0},
        {"camera set 0", Across(kLineZ, 7), 0, 0, false, false, 25, 0, 50, 50, 0},
        {"camera set 2", Across(kLineZ, 9), 0, 0, false, false, 25, 0, 100, 100, 0},
        {"camera set 4", Across(kLineZ, 11), 0, 0, false, false, 25, 0, 150, 100, 0},
        {"camera set from behind", Across(kLineZ, 7), 0, 0, false, true, 25, 0, 300, 500, 0},
        {"camera set, light 8", Across(kLineZ, 7), 8, 0, false, false, 25, 0, 300, 500, 0},
        {"camera set, two players", Across(kLineZ, 7), 0, 1, false, false, 25, 0, 300, 500, 0},
        {"camera set, school", Across(kLineZ, 7), 0, 1, true, false, 25, 0, 50, 50, 0},
        {"timed event", Across(kLineZ, 21), 8, 0, false, false, 25, 0, 300, 500, 300},
        {"timed event at 50", Across(kLineZ, 21), 8, 0, false, false, 50, 0, 300, 500, 600},
        {"timed event, light 0", Across(kLineZ, 21), 0, 0, false, false, 25, 0, 300, 500, 0},
        {"timed event, two players", Across(kLineZ, 21), 8, 3, false, false, 25, 0, 300, 500, 0},
        {"timed event, school", Across(kLineZ, 21), 8, 0, true, false, 25, 0, 300, 500, 0},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        StageInfo_SetLightForTests(c.nLight);
        gnTestGameType = c.nGameType;
        gboTestRallySchool = c.boSchool ? TRUE : FALSE;
        Place(0, 0.0, kLineZ + (c.boFromBehind ? 0.5 : -0.5));
        CarModel_SetStepRate(c.nRate * ONE);
        Lines({c.line});
        Tick();
        EXPECT_EQ(b->NeedsRescue, c.nRescue);
        EXPECT_EQ(gxObjectClipDistance, Fixed(c.objectClip));
        EXPECT_EQ(gxHorizonDistance, Fixed(c.horizon));
        const int16_t nArmed = b->StartCountdown;
        EXPECT_EQ(nArmed, c.nCountdown);
    }
}

// Once armed, the event timer asks for the penalty rescue 12 + 9 seconds later.
TEST_F(TriggerTest, TheTimedEventEndsInAPenaltyRescue)
{
    StageInfo_SetLightForTests(8);
    Place(0, 0.0, kLineZ - 0.5);
    Lines({Across(kLineZ, 21)});
    int nTicks = 0;
    while (b->NeedsRescue == 0 && nTicks < 30 * 25)
    {
        Tick();
        ++nTicks;
    }
    EXPECT_EQ(b->NeedsRescue, 1);
    EXPECT_EQ(m->RescuePenalty, 1);
    EXPECT_NEAR(nTicks, 21 * 25, 3);
}

// A wall across the road, struck head-on by car 0 at v a tick: the first touch bounces it out at
// a tenth of its speed, damages it, and plays the material's sound, the jolt and the impact.
TEST_F(TriggerTest, AWallStruckHeadOnBouncesTheCarOutAtATenthAndPlaysItsMaterial)
{
    struct Case
    {
        uint8_t type;
        int nSound; // -1: none
    };
    const Case aCases[] = {{2, -1},  {12, 2},  {13, 3},  {14, 5},  {15, 6},  {16, 13},
                           {17, 16}, {18, 0},  {19, 15}, {20, 9},  {22, -1}, {23, -1}};
    constexpr double kWallZ = kLineZ;
    constexpr double v = 0.5;
    for (const Case& c : aCases)
    {
        SCOPED_TRACE("wall type " + std::to_string(c.type));
        TearDown();
        SetUp();
        Place(0, 0.0, kWallZ - HalfLength() - 0.3);
        Lines({Across(kWallZ, c.type)});
        CarModel_SetStepPassHook(KeepStepVelocity);
        b->Velocity = {0, 0, Fixed(v)};
        int nTicks = 0;
        while (b->WallHit == 0 && nTicks < 5)
        {
            Tick();
            ++nTicks;
        }
        ASSERT_EQ(b->WallHit, 1);
        const double vn = Units(gStepVelocity.z);
        EXPECT_NEAR(Units(b->Velocity.z), -0.1 * vn, 0.01);
        for (const DK_VECTOR& corner : b->ContactPoint)
            EXPECT_LE(Units(corner.z), kWallZ + 0.01) << "the car is back outside the line";
        EXPECT_EQ(b->Rolling, 0);

        const double strength = std::min(1.0, (1.1 * vn - 0.149) / 1.044);
        ASSERT_EQ(ForceFeedback_GetJoltCallsForTests(), 1);
        const ForceFeedbackCall jolt = ForceFeedback_GetLastJoltForTests();
        EXPECT_EQ(jolt.nCar, 0);
        EXPECT_NEAR(Units(jolt.xStrength), strength, 0.002);
        EXPECT_EQ(jolt.xLength, Fixed(0.3) - 1); // 0.3 as 16.16 truncates
        ASSERT_EQ(ForceFeedback_GetImpactCallsForTests(), 1);
        const ForceFeedbackCall impact = ForceFeedback_GetLastImpactForTests();
        EXPECT_EQ(impact.xStrength, 2 * jolt.xStrength);
        EXPECT_EQ(impact.xLength, Fixed(2.0));
        EXPECT_EQ(impact.nFlag, 0);
        EXPECT_EQ(impact.Direction.x, 0);
        EXPECT_LT(impact.Direction.z, 0) << "from the wall towards the car";
        if (c.nSound < 0)
            EXPECT_EQ(PrangSnd_GetImpactCallsForTests(), 0);
        else
        {
            ASSERT_EQ(PrangSnd_GetImpactCallsForTests(), 1);
            EXPECT_EQ(PrangSnd_GetLastImpactForTests().nSound, c.nSound);
            EXPECT_EQ(PrangSnd_GetLastImpactForTests().nValue, jolt.xStrength);
        }

        // Resting against the wall afterwards plays none of the first touch's effects again.
        const int nSounds = PrangSnd_GetImpactCallsForTests();
        for (int k = 0; k < 5; ++k)
            Tick();
        EXPECT_EQ(ForceFeedback_GetJoltCallsForTests(), 1);
        EXPECT_EQ(ForceFeedback_GetImpactCallsForTests(), 1);
        EXPECT_EQ(PrangSnd_GetImpactCallsForTests(), nSounds);
        EXPECT_EQ(MuddyCar_GetHitsForTests(), 0);
    }
}

// Car nCar driving along a wall on its left (x = -18, facing +x), pressed into it every tick:
// the first touch is too soft for effects, then the contact continues and the wall scrapes.
TEST_F(TriggerTest, WhileTheContactLastsOnlyTheScrapingWallsLeaveSparksMarksOrParticles)
{
    struct Case
    {
        const char* pszName;
        uint8_t type;
        int nCar;
        bool boGhost;
        bool boSparks;
        bool boParticles;
    };
    const Case aCases[] = {
        {"kind 14", 14, 0, false, true, false},   {"kind 15", 15, 0, false, true, false},
        {"kind 18", 18, 0, false, true, false},   {"kind 22", 22, 0, false, false, true},
        {"kind 12", 12, 0, false, false, false},  {"kind 2", 2, 0, false, false, false},
        {"ghost's car", 14, 1, true, false, false}, {"ghost's car 22", 22, 1, true, false, false},
        {"car 1 with no ghost", 14, 1, false, true, false},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        Ghost_SetPlayingForTests(c.boGhost ? TRUE : FALSE);
        CarBody& car = gaCarBody[c.nCar];
        Place(c.nCar, -18.0 + HalfWidth() + 0.02, 60.0);
        Lines({{-18.0, -2.0, 0.0, -18.0, 4.0, 200.0, c.type, false, 0}});
        const std::vector<int16_t> list = {static_cast<int16_t>(c.nCar)};
        int nContinued = 0;
        for (int k = 0; k < 10; ++k)
        {
            car.Velocity = {Fixed(-0.05), 0, Fixed(0.5)};
            const int32_t nBefore = car.WallHit;
            Tick(list);
            nContinued += nBefore && car.WallHit;
            for (const DK_VECTOR& corner : car.ContactPoint)
                EXPECT_GE(Units(corner.x), -18.01);
        }
        EXPECT_GE(nContinued, 6);
        EXPECT_EQ(ForceFeedback_GetJoltCallsForTests(), 0) << "a first touch this soft";

        const WallImpact& impact = gaWallImpact[c.nCar];
        EXPECT_EQ(impact.nActive, c.boSparks ? 1 : 0);
        EXPECT_EQ(MuddyCar_GetHitsForTests(), c.boSparks ? nContinued : 0);
        EXPECT_EQ(Effects_GetWallImpactsForTests(), c.boParticles ? nContinued : 0);
        int nCorner = -1;
        if (c.boSparks)
        {
            const double L = Length(impact.Slide);
            EXPECT_GT(L, 0.3);
            EXPECT_NEAR(Units(impact.Slide.x), 0.0, 1e-4) << "along the wall";
            EXPECT_NEAR(Units(impact.xIntensity), 2.0 * std::min(L / 1.5, 1.0), 0.002);
            EXPECT_NEAR(Units(impact.Direction.z), -Units(impact.Slide.z) / L, 0.002);
            EXPECT_NEAR(Units(impact.SparkPoint.x), -18.0, 0.3);
            const MuddyCarHit hit = MuddyCar_GetLastHitForTests();
            EXPECT_EQ(hit.nPlayer, c.nCar);
            EXPECT_EQ(hit.xValue, Fixed(0.1) - 1);
            nCorner = hit.nCorner;
        }
        if (c.boParticles)
        {
            const EffectsWallImpact request = Effects_GetLastWallImpactForTests();
            EXPECT_EQ(request.nPlayer, c.nCar);
            EXPECT_EQ(request.xValue, Fixed(0.1) - 1);
            nCorner = request.nCorner;
        }
        if (nCorner >= 0)
        {
            ASSERT_LT(nCorner, 4);
            EXPECT_LT(car.ContactPoint[nCorner].x, car.Position.x) << "a corner on the wall side";
        }
    }
}

// Head-on at speeds that tumble the car: a speed change above 1.2 starts the roll, the spin
// change is cut to 3.3 before it turns the car, and no axis of the spin passes 8.0.
TEST_F(TriggerTest, AHardWallStartsTheRollWithASpinCutTo3_3AndHeldWithin8)
{
    struct Result
    {
        int32_t nRolling;
        int32_t nRollStarted;
        DK_VECTOR torque;
        double vy; // the vertical speed the wall added
    };
    // The car at rest 0.3 short of the wall is moved on by v as a step at v a tick would move
    // it, and its triggers run: what the wall leaves is seen before the body update.
    auto strike = [&](double v)
    {
        TearDown();
        SetUp();
        Place(0, 0.0, kLineZ - HalfLength() - 0.3);
        Lines({Across(kLineZ, 2)});
        b->PositionPrev = b->Position;
        for (int i = 0; i < CAR_POINTS; ++i)
            b->ContactPointStart[i] = b->ContactPoint[i];
        const DK_VECTOR move = {0, 0, Fixed(v)};
        b->Position = VecAdd(b->Position, move);
        for (DK_VECTOR& corner : b->ContactPoint)
            corner = VecAdd(corner, move);
        b->nCurrentBlock = DkGetTrackBlockIndex(b->Position.x, 0, b->Position.z);
        b->Velocity = move;
        b->ExtTorque = {};
        b->WallHit = b->WallHitPrev = 0;
        const double vy = Units(b->Velocity.y);
        Trigger_ProcessCar(b, m, 0);
        EXPECT_EQ(b->WallHit, 1) << v;
        EXPECT_NEAR(Units(b->Velocity.z), -0.1 * v, 1e-4) << v;
        return Result{b->Rolling, b->RollStarted, b->ExtTorque, Units(b->Velocity.y) - vy};
    };
    const Result soft = strike(0.5);
    const Result hard = strike(1.6);
    const Result harder = strike(2.0);
    EXPECT_EQ(soft.nRolling, 0);
    EXPECT_EQ(soft.nRollStarted, 0);
    for (const Result* p : {&hard, &harder})
    {
        EXPECT_EQ(p->nRolling, 1);
        EXPECT_EQ(p->nRollStarted, 1);
        EXPECT_NEAR(p->vy, 0.5, 1e-6) << "the tumble starts with a hop";
    }
    for (const Result* p : {&soft, &hard, &harder})
        for (int32_t w : {p->torque.x, p->torque.y, p->torque.z})
            EXPECT_LE(std::abs(w), Fixed(8.0));
    EXPECT_EQ(std::abs(hard.torque.z), Fixed(8.0)) << "the lifted roll is held at 8.0";
    // Past the cut the spin about the vertical no longer grows with the impact.
    EXPECT_NE(hard.torque.y, 0);
    EXPECT_NEAR(Units(hard.torque.y), Units(harder.torque.y), 0.005);
    EXPECT_EQ(soft.vy, 0.0);
}

// A one-sided wall and a car straddling it from either side; walls wholly above or below it.
TEST_F(TriggerTest, OneSidedWallsFaceOneWayAndWallsOutOfReachOfTheCornersPassUntested)
{
    struct Case
    {
        const char* pszName;
        datakit::TriggerLine wall;
        double offset; // the car's centre from the line along +z
        int nPushed;   // -1 back towards -z, 1 towards +z, 0 untouched
    };
    const Case aCases[] = {
        {"one-sided, from the front", Across(kLineZ, 2), -0.5, -1},
        {"one-sided, from behind", Across(kLineZ, 2), 0.5, 0},
        {"two-sided, from behind", Across(kLineZ, 2, 0, true), 0.5, 1},
        {"above the car", Across(kLineZ, 2, 0, false, 3.0, 6.0), -0.5, 0},
        {"below the car", Across(kLineZ, 2, 0, false, -6.0, -3.0), -0.5, 0},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        Place(0, 0.0, kLineZ + c.offset);
        Lines({c.wall});
        const double z = Units(b->Position.z);
        Tick();
        EXPECT_EQ(b->WallHit, c.nPushed != 0 ? 1 : 0);
        const double moved = Units(b->Position.z) - z;
        if (c.nPushed == 0)
            EXPECT_NEAR(moved, 0.0, 0.01);
        for (const DK_VECTOR& corner : b->ContactPoint)
        {
            if (c.nPushed < 0)
                EXPECT_LE(Units(corner.z), kLineZ + 0.01);
            if (c.nPushed > 0)
                EXPECT_GE(Units(corner.z), kLineZ - 0.01);
        }
    }
}

// A two-sided wall's end inside the car's footprint pushes the car back along the way it came,
// just so far that the end lies on the footprint's edge.
TEST_F(TriggerTest, AWallEndInsideTheFootprintPushesTheCarBackJustOutOfIt)
{
    struct Case
    {
        const char* pszName;
        double forward, side; // the end from the car's centre along its forward and side axes
        double backX, backZ;  // where the car was at the start of the step, from its centre
        int nMoved;
    };
    const Case aCases[] = {
        {"end ahead, came straight", 1.2, 0.3, 0.0, -1.0, 1},
        {"end to the side, came at an angle", 0.4, 0.6, 0.7, -0.7, 1},
        {"end behind, reversing", -1.5, -0.2, 0.0, 1.0, 1},
        {"end outside the footprint", 3.0, 0.0, 0.0, -1.0, 0},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TearDown();
        SetUp();
        Place(0, 0.0, kLineZ);
        TrackTrigger wall{};
        // Forward is +z and the side axis (F.z, 0, -F.x) is +x.
        const double ax = Units(b->Position.x) + c.side, az = Units(b->Position.z) + c.forward;
        wall.ax = Fixed(ax);
        wall.az = Fixed(az);
        wall.bx = Fixed(ax + 10.0);
        wall.bz = Fixed(az);
        wall.ay = Fixed(-2.0);
        wall.by = Fixed(4.0);
        wall.nz = -ONE;
        wall.uType = 2;
        wall.uTwoSided = 1;
        b->PositionPrev = {FfAdd(b->Position.x, Fixed(c.backX)), b->Position.y,
                           FfAdd(b->Position.z, Fixed(c.backZ))};
        b->WallHit = 0;
        const DK_VECTOR before = b->Position;
        Trigger_SetPassForTests(b, &wall);
        EXPECT_EQ(Trigger_TestWallEnds(), c.nMoved);
        EXPECT_EQ(b->WallHit, c.nMoved);
        const double dx = Units(b->Position.x) - Units(before.x);
        const double dz = Units(b->Position.z) - Units(before.z);
        if (c.nMoved == 0)
        {
            EXPECT_EQ(dx, 0.0);
            EXPECT_EQ(dz, 0.0);
            continue;
        }
        // Back along the line from the start position to the end.
        const double ux = ax - Units(b->PositionPrev.x), uz = az - Units(b->PositionPrev.z);
        EXPECT_NEAR(dx * uz - dz * ux, 0.0, 1e-3);
        EXPECT_LT(dx * ux + dz * uz, 0.0);
        // The end now on the footprint's edge.
        double extentF = 0, extentS = 0;
        for (const DK_VECTOR& corner : b->ContactPoint)
        {
            extentF = std::max(extentF, Units(corner.z) - Units(b->Position.z));
            extentS = std::max(extentS, Units(corner.x) - Units(b->Position.x));
        }
        const double f = az - Units(b->Position.z), s = ax - Units(b->Position.x);
        EXPECT_NEAR(std::max(std::abs(f) - extentF, std::abs(s) - extentS), 0.0, 2e-4);
    }
}

// The walk of a block's list stops at a link outside the table and after as many steps as the
// table has records.
TEST_F(TriggerTest, ABlocksListWithABadLinkOrALoopEnds)
{
    for (const char* pszDamage : {"link past the table", "link to itself"})
    {
        SCOPED_TRACE(pszDamage);
        TearDown();
        SetUp();
        Place(0, 0.0, kLineZ - 0.5);
        Lines({Across(kLineZ, 0, 7), Across(kLineZ, 2, 0, false, 3.0, 6.0)});
        const int nBlock = DkGetTrackBlockIndex(b->Position.x, 0, b->Position.z);
        TrackTrigger* pHead = gaTrackBlocks[nBlock].pWallList;
        ASSERT_NE(pHead, nullptr);
        pHead->uNext = std::string(pszDamage) == "link to itself"
                           ? static_cast<uint32_t>(pHead - gpWallLines) + 1
                           : static_cast<uint32_t>(gnNumWallLines) + 1;
        for (int k = 0; k < 3; ++k)
            Tick();
        SUCCEED();
    }
}

// Marking walks the table from the record to its identical neighbours, no further than the
// first that differs or the table's ends.
TEST_F(TriggerTest, MarkingReachesTheLinesCopiesAndStopsAtTheFirstOtherRecordOrTheEnds)
{
    auto record = [](uint8_t type, int32_t x)
    {
        TrackTrigger r{};
        r.uType = type;
        r.ax = x;
        r.bx = x + ONE;
        r.az = r.bz = Fixed(5.0);
        return r;
    };
    struct Case
    {
        const char* pszName;
        int nMarked;
        std::vector<uint8_t> bits; // bit 2 expected on each record
    };
    // 0: another line, 1-3: the line, 4: the line's type with other ends, 5: the line again.
    const Case aCases[] = {
        {"middle copy", 2, {0, 1, 1, 1, 0, 0}},
        {"first copy", 1, {0, 1, 1, 1, 0, 0}},
        {"last record", 5, {0, 0, 0, 0, 0, 1}},
        {"first record", 0, {1, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        TrackTrigger table[6] = {record(0, 0),   record(0, ONE), record(0, ONE),
                                 record(0, ONE), record(0, 3 * ONE), record(0, ONE)};
        table[0].uType = 2;
        table[0].ax = ONE;
        table[0].bx = 2 * ONE;
        gpWallLines = table;
        gnNumWallLines = 6;
        Trigger_MarkDoneForPlayer(&table[c.nMarked], 2);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(table[i].uPlayerBits, c.bits[i] ? 4 : 0) << i;
        gpWallLines = nullptr;
        gnNumWallLines = 0;
    }
    // A record outside the table is marked alone.
    TrackTrigger alone = record(0, 0);
    Trigger_MarkDoneForPlayer(&alone, 7);
    EXPECT_EQ(alone.uPlayerBits, 0x80);
}

// One debug line per trigger of car 0's block, at the car's height, coloured by type.
TEST_F(TriggerTest, TheDebugLinesShowTheLinesOfTheCarsBlockByType)
{
    Place(0, -8.0, kLineZ);
    Lines({Across(kLineZ - 4, 0), Across(kLineZ - 2, 1), Across(kLineZ + 2, 3),
           Across(kLineZ + 4, 2)});
    b->nCurrentBlock = DkGetTrackBlockIndex(b->Position.x, 0, b->Position.z);
    output += CaptureOutput([] { DkInitialiseLines(); });
    gnNumLines = 0;
    Trigger_DrawDebugLines();
    ASSERT_EQ(gnNumLines, 4);
    int nFound = 0;
    for (int i = 0; i < gnNumLines; ++i)
    {
        const DK_LINE& line = gaLines[i];
        EXPECT_EQ(line.Start.y, b->Position.y);
        EXPECT_EQ(line.End.y, b->Position.y);
        const double z = Units(line.Start.z) - kLineZ;
        const uint8_t* p = line.auColour;
        if (z == -4)
            nFound += p[0] == 255 && p[1] == 0 && p[2] == 0;
        else if (z == -2)
            nFound += p[0] == 0 && p[1] == 255 && p[2] == 0;
        else if (z == 2)
            nFound += p[0] == 0 && p[1] == 0 && p[2] == 255;
        else if (z == 4)
            nFound += p[0] == 255 && p[1] == 255 && p[2] == 255;
    }
    EXPECT_EQ(nFound, 4);
    gnNumLines = 0;
}

// The determinism scenario's cars on the bumpy gravel meet the walls along its sides.
TEST_F(TriggerTest, TheScenariosCarsStrikeAndScrapeTheWalls)
{
    bool boReady = false;
    output += CaptureOutput([&] { boReady = drive::SetUpScenario(world, 25); });
    ASSERT_TRUE(boReady) << output;
    int nFirstTouches = 0, nContinued = 0;
    int32_t anBefore[MAX_CARS] = {};
    for (int nTick = 0; nTick < 1000; ++nTick)
    {
        output += CaptureOutput([&] { drive::ScenarioTick(nTick, 25); });
        for (int n = 0; n < gnNumMechCars; ++n)
        {
            nFirstTouches += gaCarBody[n].WallHit && !anBefore[n];
            nContinued += gaCarBody[n].WallHit && anBefore[n];
            anBefore[n] = gaCarBody[n].WallHit;
        }
    }
    EXPECT_GT(nFirstTouches, 0);
    EXPECT_GT(nContinued, 0);
    EXPECT_GT(ForceFeedback_GetJoltCallsForTests(), 0);
}
