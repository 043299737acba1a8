// What the race-flow tests share: the heaps and the log of the ground tests, a game data record
// of their own and the rally school switch, registered as the front end would.
#pragma once

#include <array>

#include "engine/include/dk_entries.h"
#include "game/race/gmhndlr.h"
#include "game/race/pertick.h"
#include "tests/game/ground_fixture.h"

inline std::array<uint8_t, DK_GAME_DATA_SIZE> gaRaceGameData;
inline BOOL gboRaceSchool = FALSE;
inline int gnRaceGameType = 0;

class RaceTest : public GroundTest
{
protected:
    void SetUp() override
    {
        GroundTest::SetUp();
        gaRaceGameData.fill(0);
        gboRaceSchool = FALSE;
        gnRaceGameType = 0;
        boThisIsPodiumStage = FALSE;
        DK_ENTRIES entries{};
        entries.GetGameData = [] { return static_cast<const uint8_t*>(gaRaceGameData.data()); };
        entries.IsRallySchool = [] { return gboRaceSchool; };
        entries.GetGameType = [] { return gnRaceGameType; };
        DkRegisterEntries(&entries);
    }
    void TearDown() override
    {
        boThisIsPodiumStage = FALSE;
        GroundTest::TearDown();
    }
};

// The per-tick driver's calls that move, collide or draw the cars made to do nothing, for tests
// of the race flow's own words.
inline void StubPerTickCarCalls(void)
{
    PerTickCallees& c = PerTick_Callees();
    c.CarControl_HoldCarAtStart = [](CarMechanics*, CarBody*, int) {};
    c.CarControl_ClearInputs = [](CarBody*, CarMechanics*) {};
    c.CarModel_StepCars = [](CarMechanics*, CarBody*, const int16_t*, int16_t) {};
    c.CarModel_OffsetCorners = [](CarBody*) {};
    c.CarModel_UnoffsetCorners = [](CarBody*) {};
    c.Coll_CarVsTrackObjects = [](CarBody*) -> BOOL { return FALSE; };
    c.Coll_CarVsMovingObjects = [](CarBody*) -> BOOL { return FALSE; };
    c.Coll_CarVsCar = [](CarBody*, CarBody*) -> BOOL { return FALSE; };
    c.Trigger_ProcessCar = [](CarBody*, CarMechanics*, int) {};
    c.CarModel_SpinWheels = [](CarBody*, CarMechanics*) {};
    c.CarModel_UpdateBody = [](CarBody*, CarMechanics*) {};
    c.CarModel_UpdateDisplayBody = [](CarBody*, CarMechanics*) {};
}
