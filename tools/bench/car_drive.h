// Cars driven by scripts on the data kit's grounds, for the car tests and the simulation's
// benchmark: the data kit's car loaded as the game loads a car model, a car set up on a ground,
// a script of control words held over stretches of ticks as the in-race keys would write them,
// the tick of the cars in the race flow's order, and the determinism scenario (its cars and
// scripts in one table, the hash of their states over the run).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/include/dk_types.h"

struct DK_ACTOR;
struct CarBody;
struct CarMechanics;

namespace datakit
{
struct Ground;
}

namespace drive
{

// The control words held over a stretch of ticks (counted at 25 ticks a second; at 50 a
// stretch lasts twice as many). Steering is keys: positive left, negative right, 0 none.
struct Stretch
{
    int ticks = 0;
    double accel = 0.0;
    double brake = 0.0;
    int steer = 0;
    bool handbrake = false;
    int gearChange = 0; // asked for on the stretch's first tick only
    bool jump = false;
};
using Script = std::vector<Stretch>;

// Ticks of a script at 25 ticks a second.
int ScriptTicks(const Script& script);
// The stretch in force on tick nTick (from 0) of the script at nRate ticks a second; the last
// stretch holds on. Writes the car's control words; the gear request only on a stretch's first
// tick.
void ApplyScript(const Script& script, int nTick, int nRate, CarMechanics* pMechanics);

// The data kit's car model (flat colours) loaded under a root actor of the world as loaded car
// nIndex of type nCarType; false when the reader made nothing.
bool LoadCarModel(DK_ACTOR* pWorld, int nIndex, int nCarType);
// The data kit's ground as the stage's height data; false when the reader refused it.
bool LoadGround(const std::string& name);
// The ground's trigger lines as the stage loader leaves them (read, split markers numbered, fired
// bits cleared) and filed on the ground's track blocks (their centres at height 0); false when
// the lines gave no records.
bool LoadLines(const datakit::Ground& ground);
// Takes the lines and the blocks away again.
void ClearLines(void);
// A start actor under the world at (x, y, z) turned by nHeading about the vertical (0 faces
// +x, 1024 +z).
DK_ACTOR* StartActor(DK_ACTOR* pWorld, double x, double y, double z, int16_t nHeading);
// Loads the car model and sets the car up at (x, z) from 1.0 above height y.
bool SetUpCar(DK_ACTOR* pWorld, int nCar, int nCarType, double x, double y, double z,
              int16_t nHeading);
// What the start's lights going out does for a car: released, in first gear, its driven
// wheels matched to the engine.
void ReleaseCar(int nCar);

// One tick of the listed cars in the race flow's order: the start holds, the contact points
// kept as the tick starts, the car step, the body corners offset, the track triggers of each
// car (first listed first, the car's number its player) and the corners put back, then per
// car (last listed first) the wheels' spin, the body update and the drawn body.
void Tick(const int16_t* panList, int nCount);

// The determinism scenario: eight cars of different types, each with its own script, on the
// data kit's bumpy gravel spread over a field 240 x 400 with a kicker that rolls the first car,
// whose landings damage it, and the road's walls and lines, which the cars strike, scrape and
// cross; Scenario() is its table.
struct ScenarioCar
{
    int carType;
    double x, z;
    int16_t heading;
    Script script; // repeated to the end of the run
};
const std::vector<ScenarioCar>& Scenario();
// Sets the scenario's cars up (the engine's heaps and trig tables ready, a world actor given,
// the game data registered by the caller): the ground and its lines, the step rate, the random
// seed, the cars and their damage records, the sensitivity, then every car released. False
// when anything failed.
bool SetUpScenario(DK_ACTOR* pWorld, int nRate);
// One tick of the scenario: the scripts' words written, then the tick.
void ScenarioTick(int nTick, int nRate);
// Runs the set-up scenario for nTicks, folding every car's state image, damage record image
// and wobble image into a 64-bit hash every 100 ticks; returns the hash.
uint64_t RunScenario(int nTicks, int nRate);

// The engine's heaps and trig tables, for a program with nothing else set up.
void OpenEngine(void);

} // namespace drive
