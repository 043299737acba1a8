// Plans a drive of the demo stage for the program's end-to-end tests. The stage runs in this
// process as the program runs it (the front end's controls, the stage's set-up and loading, the
// start sequence and the race ticks), with the first player's car steered by its keys towards a
// point on the road's centre line ahead of it and held near a steady speed. The keys pressed
// are written as an input script section that counts from the start lights going out ("go"),
// each change half a tick before the tick that first reads it, so that the program, given the
// same script, drives the same way whatever its loading took. The ticks from the lights to the
// finish go to standard output as "finish N".
//
//   dezor_drive_plan DIR SCRIPT        (the demo is installed under DIR)
//
// Exit status 0 with the plan written; 1 when the stage did not load or the car did not reach
// the finish within the ticks allowed.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "engine/pc/core/dk_file.h"
#include "engine/pc/input/dk_input.h"
#include "frontend/frontend.h"
#include "game/race/gameflow.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/loading.h"
#include "game/vehicle/carmodel.h"
#include "platform/win/keys.h"
#include "platform/win/win_internal.h"
#include "tools/bench/stage_frame.h"
#include "tools/bench/bench_install.h"
#include "tools/datakit/stage_writer.h"

namespace
{

constexpr int kTickMs = 40;             // 25 ticks a second
constexpr int kMaxStartTicks = 1000;    // from the stage's first tick to the lights going out
constexpr int kMaxDriveTicks = 25 * 180; // from the lights to the finish
constexpr double kCruise = 0.9;         // units a tick
// How far from the centre line the car may stray: the road's edge, less half a car.
constexpr double kOffRoad = datakit::kDemoRoadHalfWidth - 1.0;

enum Key
{
    kUp,
    kLeft,
    kRight,
    kKeys
};
constexpr const char* kKeyNames[kKeys] = {"UP", "LEFT", "RIGHT"};
constexpr int kKeyCodes[kKeys] = {VK_UP, VK_LEFT, VK_RIGHT};

double Unit(int32_t x)
{
    return x / 65536.0;
}

// The keys for the coming tick: steer towards a point on the centre line ahead (holding a key
// until the error has nearly gone), and the accelerator below the cruising speed.
void Choose(const CarBody& body, double speed, bool keys[kKeys])
{
    const double x = Unit(body.Position.x), z = Unit(body.Position.z);
    double fx = Unit(body.OrientRow0.x), fz = Unit(body.OrientRow0.z);
    const double f = std::hypot(fx, fz);
    if (f > 0)
        fx /= f, fz /= f;
    const double ahead = std::min(z + 8.0 + 10.0 * speed, datakit::kDemoRoadEnd);
    const datakit::StagePoint target = datakit::DemoCentreLine(ahead);
    const double dx = target.x - x, dz = target.z - z;
    // Positive: the target lies to the car's left (towards -x when it faces +z).
    const double error = std::atan2(fx * dz - fz * dx, fx * dx + fz * dz);
    const double on = 0.04, off = 0.01;
    keys[kLeft] = error > (keys[kLeft] ? off : on);
    keys[kRight] = error < -(keys[kRight] ? off : on);
    const double cruise = std::abs(error) > 0.15 ? kCruise * 0.8 : kCruise;
    keys[kUp] = speed < cruise;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: dezor_drive_plan DIR SCRIPT\n");
        return 2;
    }
    const std::string hardDisk = bench::InstallDemoAt(argv[1]);
    Frontend_RegisterEntries();
    uint8_t* pData = Frontend_GetWritableGameData();
    pData[GD_GAME_TYPE] = 3; // the one stage selected
    pData[GD_OBJECT_PRIORITY] = 2;

    stage::DisplayOptions options;
    options.width = 320;
    options.height = 240;
    std::string problem;
    if (!stage::PrepareDisplay(options, &problem))
    {
        std::fprintf(stderr, "dezor_drive_plan: %s\n", problem.c_str());
        return 1;
    }
    Frontend_SetUpControllers();
    DkSetHardDrivePath(hardDisk.c_str());
    InitStage();
    DispInitStage();
    if (!gboStageInitialised || gnNumMechCars != 1)
    {
        std::fprintf(stderr, "dezor_drive_plan: the demo stage did not load with one car\n");
        return 1;
    }
    GameHandler_SetStateForTests(GAME_STATE_RACE);
    gboFirstFrameDrawn = TRUE;

    int nStart = 0;
    for (; nStart < kMaxStartTicks && !StartSeq_IsCountdownDone(0); ++nStart)
    {
        DkReadAllControllers();
        GameState_Race();
    }
    if (!StartSeq_IsCountdownDone(0))
    {
        std::fprintf(stderr, "dezor_drive_plan: the lights did not go out\n");
        return 1;
    }

    std::ofstream script(argv[2]);
    script << "# The keys of a drive of the demo stage, from the lights going out.\n0 from go\n";
    bool keys[kKeys] = {}, held[kKeys] = {};
    DK_VECTOR last = gaCarBody[0].Position;
    double speed = 0.0, worst = 0.0;
    int nTick = 1;
    for (; nTick <= kMaxDriveTicks && !HasPlayerFinished(0); ++nTick)
    {
        const CarBody& body = gaCarBody[0];
        Choose(body, speed, keys);
        for (int k = 0; k < kKeys; ++k)
            if (keys[k] != held[k])
            {
                held[k] = keys[k];
                WinKeyEvent(kKeyCodes[k], keys[k] ? TRUE : FALSE);
                script << (nTick - 1) * kTickMs + kTickMs / 2 << (keys[k] ? " down " : " up ")
                       << kKeyNames[k] << "\n";
            }
        DkReadAllControllers();
        GameState_Race();
        const DK_VECTOR now = gaCarBody[0].Position;
        speed = std::hypot(Unit(now.x - last.x), Unit(now.z - last.z));
        last = now;
        const double z = Unit(now.z);
        const double off = std::abs(Unit(now.x) - datakit::DemoCentreLine(z).x);
        worst = std::max(worst, off);
    }
    for (int k = 0; k < kKeys; ++k)
        if (held[k])
            script << (nTick - 1) * kTickMs + kTickMs / 2 << " up " << kKeyNames[k] << "\n";
    if (!HasPlayerFinished(0))
    {
        std::fprintf(stderr, "dezor_drive_plan: the car did not finish (at z %.1f)\n",
                     Unit(gaCarBody[0].Position.z));
        return 1;
    }
    // A plan that strays off the road would lean on the walls, which a drive must not need.
    if (worst > kOffRoad)
    {
        std::fprintf(stderr, "dezor_drive_plan: the car strayed %.2f from the centre line\n",
                     worst);
        return 1;
    }
    std::printf("finish %d\n", nTick - 1);
    return 0;
}
