// The per-tick driver with recording fakes in place of its callees: the order of the tick's
// steps by the kind of game, the network's sends, the after-finish hold, the drawn wheels and
// the snapshots the display blends.

#include "game/race/pertick.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/include/dk_entries.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/interp.h"
#include "game/race/netplay.h"
#include "game/race/startup.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/trigger.h"

namespace
{

constexpr int32_t ONE = 0x10000;

std::vector<std::string> gCalls;
uint8_t gaGameData[DK_GAME_DATA_SIZE];
int gnGameType = 0;
BOOL gboSchool = FALSE;

const uint8_t* TestGameData(void)
{
    return gaGameData;
}
int TestGameType(void)
{
    return gnGameType;
}
BOOL TestSchool(void)
{
    return gboSchool;
}

void Note(const std::string& call)
{
    gCalls.push_back(call);
}
std::string CarOf(const CarBody* pBody)
{
    return std::to_string(pBody - gaCarBody);
}

// The fakes: each notes its name and the car or player it was given.
PerTickCallees Recording()
{
    PerTickCallees c;
    c.Replay_UpdateAll = [] { Note("Replay_UpdateAll"); };
    c.Replay_StepAllPlaybacks = [] { Note("Replay_StepAllPlaybacks"); };
    c.QuickTime_Start = [](const char* p) { Note(std::string("QuickTime_Start ") + p); };
    c.QuickTime_End = [](const char* p) -> BOOL
    {
        Note(std::string("QuickTime_End ") + p);
        return TRUE;
    };
    c.CarControl_HoldCarAtStart = [](CarMechanics*, CarBody* b, int n)
    { Note("HoldCarAtStart " + CarOf(b) + " " + std::to_string(n)); };
    c.CarControl_ClearInputs = [](CarBody* b, CarMechanics*) { Note("ClearInputs " + CarOf(b)); };
    c.CarModel_StepCars = [](CarMechanics*, CarBody*, const int16_t* list, int16_t n)
    {
        std::string s = "StepCars";
        for (int i = 0; i < n; ++i)
            s += " " + std::to_string(list[i]);
        Note(s);
    };
    c.NetPlay_SendCarState = [](int f) { Note("SendCarState " + std::to_string(f)); };
    c.NetPlay_Poll = [] { Note("Poll"); };
    c.MovingObjects_Relink = [] { Note("Relink"); };
    c.CarModel_OffsetCorners = [](CarBody* b) { Note("OffsetCorners " + CarOf(b)); };
    c.Coll_CarVsTrackObjects = [](CarBody* b) -> BOOL
    {
        Note("VsTrackObjects " + CarOf(b));
        return FALSE;
    };
    c.Coll_CarVsMovingObjects = [](CarBody* b) -> BOOL
    {
        Note("VsMovingObjects " + CarOf(b));
        return FALSE;
    };
    c.Coll_CarVsCar = [](CarBody* a, CarBody* b) -> BOOL
    {
        Note("VsCar " + CarOf(a) + " " + CarOf(b));
        return FALSE;
    };
    c.Trigger_ProcessCar = [](CarBody* b, CarMechanics*, int p)
    { Note("Trigger " + CarOf(b) + " " + std::to_string(p)); };
    c.CarModel_UnoffsetCorners = [](CarBody* b) { Note("UnoffsetCorners " + CarOf(b)); };
    c.HitObjects_UpdateAll = [] { Note("HitObjects"); };
    c.MovingObjects_Update = [](int p) { Note("MovingObjects " + std::to_string(p)); };
    c.CarModel_SpinWheels = [](CarBody* b, CarMechanics*) { Note("SpinWheels " + CarOf(b)); };
    c.CarModel_UpdateBody = [](CarBody* b, CarMechanics*) { Note("UpdateBody " + CarOf(b)); };
    c.CarModel_UpdateDisplayBody = [](CarBody* b, CarMechanics*)
    { Note("UpdateDisplayBody " + CarOf(b)); };
    c.CatsEye_PlaceCar = [](int n) { Note("PlaceCar " + std::to_string(n)); };
    c.Effects_Tick = [] { Note("Effects_Tick"); };
    c.NetPlay_PredictRemoteCars = [] { Note("PredictRemoteCars"); };
    c.NetReplay_Record = [] { Note("NetReplay_Record"); };
    c.NetReplay_Play = [] { Note("NetReplay_Play"); };
    c.Cameras_Reattach = [](int p) { Note("Cameras_Reattach " + std::to_string(p)); };
    c.Cameras_Update = [](int p) { Note("Cameras_Update " + std::to_string(p)); };
    c.CatsEye_UpdateCar = [](int n) { Note("CatsEye_UpdateCar " + std::to_string(n)); };
    c.CatsEye_UpdateCarLoop = [](int n) { Note("CatsEye_UpdateCarLoop " + std::to_string(n)); };
    c.ForceFeedback_Update = [](int p) { Note("ForceFeedback " + std::to_string(p)); };
    return c;
}

using Calls = std::vector<std::string>;

class PerTickTest : public testing::Test
{
protected:
    void SetUp() override
    {
        CarModel_ClearAll();
        Interp_ClearAll();
        PerTick_ResetForTests();
        GameHandler_ResetForTests();
        GameHandler_SetStateForTests(GAME_STATE_RACE);
        SuperSpecial_SetForTests(FALSE);
        gboNetworkGame = FALSE;
        gnGameType = 0;
        gboSchool = FALSE;
        for (uint8_t& b : gaGameData)
            b = 0;
        DkResetEntries();
        DK_ENTRIES entries{};
        entries.GetGameData = TestGameData;
        entries.GetGameType = TestGameType;
        entries.IsRallySchool = TestSchool;
        DkRegisterEntries(&entries);
        gnNumMechCars = 1;
        gNumberOfPlayers = 1;
        for (int n = 0; n < MAX_CARS; ++n)
            gaCarBody[n].nCarNumber = static_cast<int8_t>(n);
        PerTick_Callees() = Recording();
        gCalls.clear();
    }
    void TearDown() override
    {
        PerTick_ResetForTests();
        GameHandler_ResetForTests();
        SuperSpecial_SetForTests(FALSE);
        gboNetworkGame = FALSE;
        gnNumMechCars = 0;
        CarModel_ClearAll();
        Interp_ClearAll();
        DkResetEntries();
    }
    static Calls Tick()
    {
        gCalls.clear();
        EXPECT_EQ(UpdateMechanics(), 1);
        return gCalls;
    }
    static void ActivateRemoteSlot(int nSlot)
    {
        gaGameData[GD_REMOTE_PLAYERS + nSlot * GAME_DATA_PLAYER_SIZE + PI_IN_GAME] = 1;
    }
};

TEST_F(PerTickTest, TheStepsRunInOrderForEachKindOfGame)
{
    struct Case
    {
        const char* name;
        int cars, players, gameType;
        BOOL superSpecial, network;
        int state;
        Calls expected;
    };
    const Calls head = {"Replay_UpdateAll", "Replay_StepAllPlaybacks", "QuickTime_Start Mechanics"};
    // clang-format off
    const Case cases[] = {
        {"one car", 1, 1, 0, FALSE, FALSE, GAME_STATE_RACE,
         {"HoldCarAtStart 0 0", "StepCars 0", "Relink", "OffsetCorners 0", "VsTrackObjects 0",
          "VsMovingObjects 0", "Trigger 0 0", "UnoffsetCorners 0", "HitObjects", "MovingObjects 0",
          "SpinWheels 0", "UpdateBody 0", "UpdateDisplayBody 0", "PlaceCar 0",
          "QuickTime_End Mechanics", "Effects_Tick", "Cameras_Update 0", "CatsEye_UpdateCar 0",
          "ForceFeedback 0"}},
        {"split screen with collisions", 2, 2, 3, FALSE, FALSE, GAME_STATE_RACE,
         {"HoldCarAtStart 1 1", "HoldCarAtStart 0 0", "StepCars 0 1", "Relink", "OffsetCorners 0",
          "VsTrackObjects 0", "VsMovingObjects 0", "OffsetCorners 1", "VsTrackObjects 1",
          "VsMovingObjects 1", "VsCar 0 1", "Trigger 0 0", "UnoffsetCorners 0", "Trigger 1 1",
          "UnoffsetCorners 1", "HitObjects", "MovingObjects 0", "MovingObjects 1",
          "SpinWheels 1", "UpdateBody 1", "UpdateDisplayBody 1", "PlaceCar 1", "SpinWheels 0",
          "UpdateBody 0", "UpdateDisplayBody 0", "PlaceCar 0", "QuickTime_End Mechanics",
          "Effects_Tick", "Cameras_Update 0", "Cameras_Update 1", "CatsEye_UpdateCar 1",
          "CatsEye_UpdateCar 0", "ForceFeedback 0", "ForceFeedback 1"}},
        {"one-player super special", 2, 1, 0, TRUE, FALSE, GAME_STATE_RACE,
         {"HoldCarAtStart 1 1", "HoldCarAtStart 0 0", "ClearInputs 0", "ClearInputs 1",
          "StepCars 0 1", "Relink", "OffsetCorners 0", "VsTrackObjects 0", "VsMovingObjects 0",
          "OffsetCorners 1", "VsTrackObjects 1", "VsMovingObjects 1", "VsCar 0 1", "Trigger 0 0",
          "UnoffsetCorners 0", "Trigger 1 1", "UnoffsetCorners 1", "HitObjects",
          "MovingObjects 0", "SpinWheels 1", "UpdateBody 1", "UpdateDisplayBody 1", "PlaceCar 1",
          "SpinWheels 0", "UpdateBody 0", "UpdateDisplayBody 0", "PlaceCar 0",
          "QuickTime_End Mechanics", "Effects_Tick", "Cameras_Update 0",
          "CatsEye_UpdateCarLoop 1", "CatsEye_UpdateCarLoop 0", "ForceFeedback 0"}},
        {"network", 1, 1, 0, FALSE, TRUE, GAME_STATE_RACE,
         {"HoldCarAtStart 0 0", "StepCars 0", "SendCarState 0", "Poll", "Relink",
          "OffsetCorners 0", "VsTrackObjects 0", "VsMovingObjects 0", "Trigger 0 0",
          "UnoffsetCorners 0", "HitObjects", "MovingObjects 0", "SpinWheels 0", "UpdateBody 0",
          "UpdateDisplayBody 0", "PlaceCar 0", "QuickTime_End Mechanics", "Effects_Tick",
          "PredictRemoteCars", "NetReplay_Record", "NetReplay_Play", "Cameras_Update 0",
          "CatsEye_UpdateCar 0", "ForceFeedback 0"}},
    };
    // clang-format on
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        gnNumMechCars = c.cars;
        gNumberOfPlayers = c.players;
        gnGameType = c.gameType;
        SuperSpecial_SetForTests(c.superSpecial);
        gboNetworkGame = c.network;
        gnNetSendCountdown = 0;
        GameHandler_SetStateForTests(c.state);
        Calls expected = head;
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(Tick(), expected);
        EXPECT_FALSE(gboInMechanics.load());
        EXPECT_TRUE(gboMechanicsTickDone.load());
    }
    EXPECT_EQ(gnTicksSinceFrame.load(), 4);
}

// Two players without collisions between their cars, and the rally school, never test one car
// against the other.
TEST_F(PerTickTest, CarsMeetOnlyWhereTheGameHasCollisions)
{
    struct Case
    {
        int players, gameType;
        BOOL superSpecial, school, collide;
    };
    for (Case c : {Case{2, 1, FALSE, FALSE, FALSE}, Case{2, 3, FALSE, FALSE, TRUE},
                   Case{1, 0, TRUE, FALSE, TRUE}, Case{1, 0, TRUE, TRUE, FALSE}})
    {
        SCOPED_TRACE(testing::Message() << c.gameType << " " << c.superSpecial << " " << c.school);
        gnNumMechCars = 2;
        gNumberOfPlayers = c.players;
        gnGameType = c.gameType;
        gboSchool = c.school;
        SuperSpecial_SetForTests(c.superSpecial);
        const Calls calls = Tick();
        const bool boMet = std::find(calls.begin(), calls.end(), "VsCar 0 1") != calls.end();
        EXPECT_EQ(boMet, c.collide == TRUE);
    }
}

// The car state goes every (10 - rate) + 1 ticks; at the end of the stage (state 8) none is
// sent, though the count is reloaded as ever and the messages are still received.
TEST_F(PerTickTest, NetworkCarStatesFollowTheRate)
{
    gboNetworkGame = TRUE;
    struct Case
    {
        int rate;
        const char* states; // one digit a tick: 5 the race, 8 the end of the stage
        const char* sends;  // x: a car state sent on that tick
    };
    for (Case c : {Case{9, "55555555", "x.x.x.x."}, Case{7, "55555555", "x...x..."},
                   Case{12, "55555555", "x.x.x.x."}, Case{9, "88855555", "....x.x."},
                   Case{7, "58888555", "x......."}})
    {
        SCOPED_TRACE(testing::Message() << c.rate << " " << c.states);
        gaGameData[GD_CAR_STATE_RATE] = static_cast<uint8_t>(c.rate);
        NetPlay_ResetSendInterval();
        gnNetSendCountdown = 0;
        std::string sends;
        for (const char* p = c.states; *p != '\0'; ++p)
        {
            GameHandler_SetStateForTests(*p == '8' ? GAME_STATE_END_STAGE : GAME_STATE_RACE);
            const Calls calls = Tick();
            sends +=
                std::find(calls.begin(), calls.end(), "SendCarState 0") != calls.end() ? 'x' : '.';
            EXPECT_NE(std::find(calls.begin(), calls.end(), "Poll"), calls.end());
        }
        EXPECT_EQ(sends, c.sends);
    }
}

TEST_F(PerTickTest, AFinishedPlayersHoldCountsDownFromAHundred)
{
    GameHandler_SetFinishedForTests(0, TRUE);
    for (int t = 0; t < 3; ++t)
        Tick();
    EXPECT_EQ(gaStartHold[0], 97);
    gaStartHold[0] = 1;
    Tick();
    Tick();
    EXPECT_EQ(gaStartHold[0], 0);
    // Not finished, or in the rally school: held at 100.
    gaStartHold[0] = START_HOLD_TICKS;
    gboSchool = TRUE;
    Tick();
    EXPECT_EQ(gaStartHold[0], START_HOLD_TICKS);
    gboSchool = FALSE;
    GameHandler_SetFinishedForTests(0, FALSE);
    Tick();
    EXPECT_EQ(gaStartHold[0], START_HOLD_TICKS);
}

// The drawn wheel turns back by v x 4096 / (2 pi 65536) a tick; the spin flags of wheels 0 and 2
// are set above half a radian a tick, those of 1 and 3 at or below it.
TEST_F(PerTickTest, DrawnWheelsSpinByTheirSpeed)
{
    struct Case
    {
        int32_t v;
        int16_t angle;
        int32_t fastFlags; // wheels 0 and 2
    };
    for (Case c :
         {Case{ONE, -651, 1}, Case{-ONE, 651, 1}, Case{3 * ONE, -1955, 1}, Case{ONE / 2, -325, 0},
          Case{ONE / 2 + 1, -325, 1}, Case{-ONE / 2, 325, 0}, Case{100, 0, 0}})
    {
        SCOPED_TRACE(c.v);
        Interp_ClearAll();
        for (int w = 0; w < 4; ++w)
            gaCarMechanics[0].WheelSpinSpeed[w] = c.v;
        Tick();
        for (int w = 0; w < 4; ++w)
        {
            EXPECT_EQ(gaWheelSpinAngle[0][w], c.angle) << w;
            EXPECT_EQ(gaWheelReversed[0][w], (w == 0 || w == 2) ? c.fastFlags : 1 - c.fastFlags)
                << w;
        }
    }
}

// A held wheel is drawn still unless its drive torque turns it the way it spins.
TEST_F(PerTickTest, HeldWheelsAreDrawnStill)
{
    struct Case
    {
        BOOL first, second;
        int32_t hold;
        bool held[4];
    };
    for (Case c : {Case{TRUE, FALSE, 0, {false, false, true, true}},
                   Case{FALSE, TRUE, 0, {true, true, false, false}},
                   Case{FALSE, TRUE, ONE, {false, false, true, true}},
                   Case{FALSE, TRUE, ONE / 2, {true, true, true, true}},
                   Case{FALSE, FALSE, ONE / 2, {false, false, false, false}}})
        for (int w = 0; w < 4; ++w)
            EXPECT_EQ(PerTick_IsWheelHeld(c.first, c.second, c.hold, w), c.held[w] ? TRUE : FALSE)
                << c.first << c.second << " " << c.hold << " wheel " << w;

    CarMechanics& m = gaCarMechanics[0];
    m.HandbrakeOn = 1;
    for (int w = 0; w < 4; ++w)
        m.WheelSpinSpeed[w] = ONE;
    m.WheelTorqueOut[2] = ONE;  // drives the way the wheel spins: released
    m.WheelTorqueOut[3] = -ONE; // against it: held
    Tick();
    EXPECT_EQ(gaWheelSpinAngle[0][0], -651);
    EXPECT_EQ(gaWheelSpinAngle[0][2], -651);
    EXPECT_EQ(gaWheelSpinAngle[0][3], 0);
}

// Each tick moves the current snapshot into the previous one and takes the new one from the
// car records; a view copy shows the car where it now is.
TEST_F(PerTickTest, SnapshotsShiftAndFill)
{
    CarBody& b = gaCarBody[0];
    CarMechanics& m = gaCarMechanics[0];
    b.HalfSize.y = ONE / 2;
    gaCarIndexByDamageSlot[0] = 1;
    gaLoadedCar[1].xHalfWheelRadius = ONE / 5;
    b.Matrix.m[3][0] = 10 * ONE;
    m.SwayMatrix.m[3][1] = ONE;
    m.DisplayMatrix.m[0][0] = ONE;
    b.GroundNormal = {0, ONE, 0};
    m.RescueFade = 40;
    Tick();
    EXPECT_EQ(gaSnapCarMatrix[0][SNAP_CURRENT].m[3][0], 10 * ONE);
    EXPECT_EQ(gaSnapRootMatrix[0][SNAP_CURRENT].m[0][0], ONE);
    EXPECT_EQ(gaSnapPartMatrix[0][SNAP_CURRENT].m[3][1], ONE + ONE / 5 - ONE / 2);
    EXPECT_EQ(gaSnapBodyVector[0][SNAP_CURRENT].y, ONE);
    EXPECT_EQ(gaSnapFadeLevel[0][SNAP_CURRENT], 40);
    EXPECT_EQ(gaSnapCarMatrix[0][SNAP_PREVIOUS].m[3][0], 0);

    b.Matrix.m[3][0] = 11 * ONE;
    m.RescueFade = 80;
    gaSnapImpactLift[0][SNAP_CURRENT] = 7;
    Tick();
    EXPECT_EQ(gaSnapCarMatrix[0][SNAP_PREVIOUS].m[3][0], 10 * ONE);
    EXPECT_EQ(gaSnapCarMatrix[0][SNAP_CURRENT].m[3][0], 11 * ONE);
    EXPECT_EQ(gaSnapFadeLevel[0][SNAP_PREVIOUS], 40);
    EXPECT_EQ(gaSnapImpactLift[0][SNAP_PREVIOUS], 7);
    EXPECT_EQ(gaSnapImpactLift[0][SNAP_CURRENT], 7) << "kept while the car is not lifted";

    // Drawn at half size: no height offset.
    gaGameData[37] = 0x04;
    b.Matrix.m[3][0] = 12 * ONE;
    SetViewCopyPending(0);
    Tick();
    EXPECT_EQ(gaSnapPartMatrix[0][SNAP_CURRENT].m[3][1], ONE);
    EXPECT_EQ(gaSnapCarMatrix[0][SNAP_PREVIOUS].m[3][0], 12 * ONE);
    EXPECT_EQ(gaSnapPartMatrix[0][SNAP_PREVIOUS].m[3][1], ONE);
    EXPECT_FALSE(PerTick_IsViewCopyPending(0));
}

// A car carried off by the timed event (its vertical-motion word below -6 seconds of ticks)
// rises by 0.02 a tick beyond the limit.
TEST_F(PerTickTest, TheImpactLiftStartsBelowSixSecondsOfTicks)
{
    struct Case
    {
        BOOL bo50Hz;
        int16_t word;
        int32_t lift;
    };
    for (Case c : {Case{FALSE, -150, 0}, Case{FALSE, -151, 1310}, Case{FALSE, -200, 50 * 1310},
                   Case{TRUE, -300, 0}, Case{TRUE, -301, 1310}, Case{FALSE, 100, 0}})
    {
        SCOPED_TRACE(c.word);
        Interp_ClearAll();
        gbo50HzMode = c.bo50Hz;
        gaCarBody[0].StartCountdown = c.word;
        Tick();
        EXPECT_EQ(gaSnapImpactLift[0][SNAP_CURRENT], c.lift);
    }
}

// The first tick of a network stage seeds every active remote car's snapshot from car 0; later
// ticks shift the remote snapshots, and a remote car whose flag is set is not blended.
TEST_F(PerTickTest, RemoteSnapshotsAreSeededShiftedAndCopied)
{
    gboNetworkGame = TRUE;
    ActivateRemoteSlot(2);
    gaCarBody[0].Matrix.m[3][2] = 5 * ONE;
    gaSnapCarMatrix[3][SNAP_CURRENT].m[3][2] = 9;
    gboFirstMechanicsTick = TRUE;
    PerTick_Callees().NetPlay_PredictRemoteCars = []
    { gaSnapCarMatrix[3][SNAP_CURRENT].m[3][2] += ONE; };
    Tick();
    EXPECT_FALSE(gboFirstMechanicsTick);
    EXPECT_EQ(gaSnapCarMatrix[3][SNAP_PREVIOUS_BUT_ONE].m[3][2], 5 * ONE);
    EXPECT_EQ(gaSnapCarMatrix[3][SNAP_PREVIOUS].m[3][2], 5 * ONE);
    EXPECT_EQ(gaSnapCarMatrix[3][SNAP_CURRENT].m[3][2], 6 * ONE);
    EXPECT_EQ(gaSnapCarMatrix[2][SNAP_CURRENT].m[3][2], 0) << "an inactive slot stays";
    Tick();
    EXPECT_EQ(gaSnapCarMatrix[3][SNAP_PREVIOUS_BUT_ONE].m[3][2], 5 * ONE);
    EXPECT_EQ(gaSnapCarMatrix[3][SNAP_PREVIOUS].m[3][2], 6 * ONE);
    EXPECT_EQ(gaSnapCarMatrix[3][SNAP_CURRENT].m[3][2], 7 * ONE);
    // Remote slot 1 shares the second player's flag.
    ActivateRemoteSlot(1);
    SetViewCopyPending(1);
    gaSnapCarMatrix[2][SNAP_CURRENT].m[3][2] = 3;
    PerTick_Callees().NetPlay_PredictRemoteCars = []
    { gaSnapCarMatrix[2][SNAP_CURRENT].m[3][2] = 4; };
    Tick();
    EXPECT_EQ(gaSnapCarMatrix[2][SNAP_PREVIOUS].m[3][2], 4);
    EXPECT_FALSE(PerTick_IsViewCopyPending(1));
}

TEST_F(PerTickTest, ACameraReselectReattachesOnceBeforeTheUpdate)
{
    gNumberOfPlayers = 2;
    gnNumMechCars = 2;
    SetCameraReselectPending(1);
    Calls calls = Tick();
    auto at = std::find(calls.begin(), calls.end(), "Cameras_Reattach 1");
    ASSERT_NE(at, calls.end());
    EXPECT_EQ(*(at + 1), "Cameras_Update 0");
    calls = Tick();
    EXPECT_EQ(std::find(calls.begin(), calls.end(), "Cameras_Reattach 1"), calls.end());
}

// The wall-impact records of the two cars start every tick inactive.
TEST_F(PerTickTest, WallImpactsAreClearedAsTheTickStarts)
{
    gaWallImpact[0].nActive = 1;
    gaWallImpact[1].nActive = 1;
    gaWallImpact[2].nActive = 1;
    Tick();
    EXPECT_EQ(gaWallImpact[0].nActive, 0);
    EXPECT_EQ(gaWallImpact[1].nActive, 0);
    EXPECT_EQ(gaWallImpact[2].nActive, 1);
}

} // namespace
