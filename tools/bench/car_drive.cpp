#include "tools/bench/car_drive.h"

#include <algorithm>
#include <cmath>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_rand.h"
#include "engine/common/matrixop.h"
#include "engine/pc/3d/c3d.h"
#include "game/race/startup.h"
#include "game/vehicle/carcontrol.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"
#include "game/vehicle/heightdata.h"
#include "game/vehicle/trigger.h"
#include "tools/datakit/c3d_writer.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/height_writer.h"

namespace drive
{

namespace
{

constexpr int32_t ONE = 0x10000;

int32_t Fixed(double v)
{
    return static_cast<int32_t>(std::lround(v * 65536.0));
}

// A stretch's ticks at the rate.
int Scaled(const Stretch& s, int nRate)
{
    return s.ticks * nRate / 25;
}

} // namespace

int ScriptTicks(const Script& script)
{
    int n = 0;
    for (const Stretch& s : script)
        n += s.ticks;
    return n;
}

void ApplyScript(const Script& script, int nTick, int nRate, CarMechanics* pMech)
{
    if (script.empty())
        return;
    const Stretch* pNow = &script.back();
    bool boFirst = false;
    int nStart = 0;
    for (const Stretch& s : script)
    {
        const int nTicks = Scaled(s, nRate);
        if (nTick < nStart + nTicks)
        {
            pNow = &s;
            boFirst = nTick == nStart;
            break;
        }
        nStart += nTicks;
    }
    pMech->InputAccel = Fixed(pNow->accel);
    pMech->InputBrake = Fixed(pNow->brake);
    pMech->InputSteerLeft = pNow->steer > 0 ? ONE : 0;
    pMech->InputSteerRight = pNow->steer < 0 ? ONE : 0;
    pMech->InputHandbrake = pNow->handbrake ? 1 : 0;
    pMech->InputSecond = pNow->jump ? 1 : 0;
    pMech->InputGearChange = static_cast<int8_t>(boFirst ? pNow->gearChange : 0);
}

bool LoadCarModel(DK_ACTOR* pWorld, int nIndex, int nCarType)
{
    if (nIndex < 0 || nIndex >= MAX_LOADED_CARS)
        return false;
    // Made once: the fuzz target that replays files sets its cars up for every input.
    static const std::vector<uint8_t> bytes = []
    {
        datakit::C3dScene scene = datakit::C3dCar();
        // No display is open: flat colours.
        scene.textures.clear();
        for (datakit::C3dShape& shape : scene.shapes)
            for (datakit::C3dFace& face : shape.faces)
                face.texture = -1;
        return datakit::FormatC3d(scene);
    }();
    DK_ACTOR* pRoot = DkCreateActor(pWorld);
    if (pRoot == nullptr)
        return false;
    DK_ACTOR* pBody = DkProcessC3dObject(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                         DK3D_CAR, pRoot, FALSE, 0);
    if (pBody == nullptr)
        return false;
    gaLoadedCar[nIndex] = {static_cast<int8_t>(nCarType), pRoot, pBody, 0};
    return true;
}

bool LoadGround(const std::string& name)
{
    // The last ground's file is kept: a run loads the same one over and over.
    static std::string last;
    static std::vector<uint8_t> bytes;
    if (bytes.empty() || name != last)
    {
        bytes = datakit::FormatHeightData(datakit::GroundMesh(datakit::MakeGround(name)));
        last = name;
    }
    return HeightData_Parse(bytes.data(), static_cast<uint32_t>(bytes.size())) == TRUE;
}

DK_ACTOR* StartActor(DK_ACTOR* pWorld, double x, double y, double z, int16_t nHeading)
{
    DK_ACTOR* pStart = DkCreateActor(pWorld);
    if (pStart == nullptr)
        return nullptr;
    const DK_VECTOR at = {Fixed(x), Fixed(y), Fixed(z)};
    const int16_t anAngles[3] = {0, nHeading, 0};
    DkSetActor(pStart, &at, anAngles);
    return pStart;
}

bool SetUpCar(DK_ACTOR* pWorld, int nCar, int nCarType, double x, double y, double z,
              int16_t nHeading)
{
    if (nCar < 0 || nCar >= MAX_CARS || !LoadCarModel(pWorld, nCar, nCarType))
        return false;
    DK_ACTOR* pStart = StartActor(pWorld, x, y + 1.0, z, nHeading);
    const DK_VECTOR at = {Fixed(x), Fixed(y + 1.0), Fixed(z)};
    return pStart != nullptr && InitialiseCar(&gaCarBody[nCar], &gaCarMechanics[nCar], pStart,
                                              nCarType, &at, nCar) == TRUE;
}

void ReleaseCar(int nCar)
{
    CarMechanics& m = gaCarMechanics[nCar];
    m.Started = 1;
    m.Gear = 1;
    CarModel_ApplyGearRatio(&m);
}

void Tick(const int16_t* panList, int nCount)
{
    for (int j = nCount - 1; j >= 0; --j)
    {
        const int n = panList[j];
        CarControl_HoldCarAtStart(&gaCarMechanics[n], &gaCarBody[n], n);
        for (int i = 0; i < CAR_POINTS; ++i)
            gaCarBody[n].ContactPointStart[i] = gaCarBody[n].ContactPoint[i];
    }
    CarModel_StepCars(gaCarMechanics, gaCarBody, panList, static_cast<int16_t>(nCount));
    // The triggers see the body corners offset as the collisions do; each car's own number
    // is its player.
    for (int j = 0; j < nCount; ++j)
        CarModel_OffsetCorners(&gaCarBody[panList[j]]);
    for (int j = 0; j < nCount; ++j)
    {
        const int n = panList[j];
        Trigger_ProcessCar(&gaCarBody[n], &gaCarMechanics[n], n);
        CarModel_UnoffsetCorners(&gaCarBody[n]);
    }
    for (int j = nCount - 1; j >= 0; --j)
    {
        const int n = panList[j];
        CarModel_SpinWheels(&gaCarBody[n], &gaCarMechanics[n]);
        CarModel_UpdateBody(&gaCarBody[n], &gaCarMechanics[n]);
        CarModel_UpdateDisplayBody(&gaCarBody[n], &gaCarMechanics[n]);
    }
}

const std::vector<ScenarioCar>& Scenario()
{
    // clang-format off
    // Stretches: ticks, accelerator, brake, steering (1 left, -1 right), handbrake, gear asked.
    // Each loop drives off, brakes, and (held on the brake) reverses by about as far, so that
    // every car stays on the ground's 40 x 200.
    static const std::vector<ScenarioCar> cars = {
        // type  x      z     heading  script
        {0,  -12.0,  30.0, -1024, {{40, 0.8}, {25, 0.8, 0, 1}, {30, 0, 1.0}, {50, 0, 1.0, -1},
                                   {15}}},
        {1,   -4.0,  30.0, -1024, {{30, 1.0, 0, 0, false, 1}, {20, 1.0, 0, 0, false, 1},
                                   {15, 0.5, 0, -1, true}, {25, 0, 1.0, 0, false, -1},
                                   {20, 0, 1.0, 0, false, -1}, {10, 0, 1.0, 0, false, -1},
                                   {40, 1.0, 0, 1}, {10, 0, 1.0, 0, false, 1}, {30, 0, 1.0}}},
        {3,    4.0,  30.0, -1024, {{35, 0.7}, {25, 0, 1.0, -1}, {60, 0, 1.0, 1}, {10}}},
        {4,   12.0,  30.0, -1024, {{20, 1.0, 0, 1}, {20, 1.0, 0, -1}, {15, 0, 0, 0, true},
                                   {30, 0, 1.0}, {45, 0, 1.0, 1}}},
        {5,  -12.0, 120.0, -1024, {{40, 0.6}, {30, 0.6, 0, -1}, {30, 0, 1.0}, {60, 0, 1.0, 1}}},
        {8,   -4.0, 120.0, -1024, {{45, 0.5}, {30, 0.5, 0, 1}, {15, 0, 0, 0, true}, {30, 0, 1.0},
                                   {45, 0, 1.0, -1}}},
        {9,    4.0, 120.0, -1024, {{40, 0.8, 0, -1}, {30, 0, 1.0}, {55, 0, 1.0, 1}, {15}}},
        {12,  12.0, 120.0, -1024, {{30, 0.9}, {30, 0.9, 0, 1}, {20, 0, 1.0, 0, true},
                                   {30, 0, 1.0}, {50, 0, 1.0, -1}}},
    };
    // clang-format on
    return cars;
}

bool SetUpScenario(DK_ACTOR* pWorld, int nRate)
{
    // The data kit's bumpy gravel over a field wider than its road, nodes 4.0 apart, where
    // the cars roam for the whole run.
    datakit::Ground field = datakit::MakeGround("bumpy-gravel");
    for (datakit::GroundPatch& patch : field.patches)
    {
        patch.xs.clear();
        patch.zs.clear();
        for (int i = 0; i <= 60; ++i)
            patch.xs.push_back(-120.0 + 4.0 * i);
        for (int i = 0; i <= 100; ++i)
            patch.zs.push_back(-80.0 + 4.0 * i);
    }
    // A kicker beside the first car's line, 3.0 wide (x = -16 to -13), rising 4.0 from z = 40
    // to 46 and dropping by z = 48: the car's wheels on that side run up it, the car rolls and
    // strikes the ground, and its body is damaged.
    for (datakit::GroundPatch& patch : field.patches)
    {
        patch.xs.push_back(-13.0);
        patch.zs.push_back(46.0);
        std::sort(patch.xs.begin(), patch.xs.end());
        std::sort(patch.zs.begin(), patch.zs.end());
        const auto bumps = patch.height;
        patch.height = [bumps](double x, double z)
        {
            const bool boOn = x >= -16.0 && x <= -13.0 && z > 40.0 && z < 48.0;
            const double kicker = !boOn ? 0.0 : z <= 46.0 ? 4.0 * (z - 40.0) / 6.0
                                                          : 4.0 * (48.0 - z) / 2.0;
            return bumps(x, z) + kicker;
        };
    }
    const std::vector<uint8_t> bytes = datakit::FormatHeightData(datakit::GroundMesh(field));
    if (HeightData_Parse(bytes.data(), static_cast<uint32_t>(bytes.size())) != TRUE)
        return false;
    // The road's walls along both sides and its lines across it, where the cars meet them.
    if (!LoadLines(field))
        return false;
    CarModel_ClearAll();
    CarModel_SetStepRate(nRate * ONE);
    DkSRand(1);
    const std::vector<ScenarioCar>& cars = Scenario();
    gnNumMechCars = static_cast<int32_t>(cars.size());
    for (int n = 0; n < gnNumMechCars; ++n)
    {
        const ScenarioCar& c = cars[n];
        if (!SetUpCar(pWorld, n, c.carType, c.x, 0.5, c.z, c.heading))
            return false;
    }
    // Their damage records from their body models, undamaged.
    InitialiseDamage();
    // The second car's player drives a manual gearbox.
    gaCarMechanics[1].GearboxMode = 1;
    CarControl_SetSteeringSensitivity();
    for (int n = 0; n < gnNumMechCars; ++n)
        ReleaseCar(n);
    return true;
}

void ScenarioTick(int nTick, int nRate)
{
    const std::vector<ScenarioCar>& cars = Scenario();
    int16_t anList[MAX_CARS];
    const int nCount = static_cast<int>(cars.size());
    for (int n = 0; n < nCount; ++n)
    {
        const Script& script = cars[n].script;
        const int nLoop = ScriptTicks(script) * nRate / 25;
        ApplyScript(script, nTick % nLoop, nRate, &gaCarMechanics[n]);
        anList[n] = static_cast<int16_t>(n);
    }
    Tick(anList, nCount);
}

uint64_t RunScenario(int nTicks, int nRate)
{
    // FNV-1a over the state, damage and wobble images, every car every 100 ticks.
    uint64_t uHash = 14695981039346656037ULL;
    auto fold = [&uHash](const std::vector<uint8_t>& image)
    {
        for (uint8_t b : image)
            uHash = (uHash ^ b) * 1099511628211ULL;
    };
    std::vector<uint8_t> state(CAR_STATE_IMAGE_SIZE);
    std::vector<uint8_t> damage(DAMAGE_RECORD_IMAGE_SIZE);
    std::vector<uint8_t> wobble(DAMAGE_WOBBLE_IMAGE_SIZE);
    for (int nTick = 0; nTick < nTicks; ++nTick)
    {
        ScenarioTick(nTick, nRate);
        if ((nTick + 1) % 100 != 0)
            continue;
        for (int n = 0; n < gnNumMechCars; ++n)
        {
            CarModel_WriteState(&gaCarBody[n], &gaCarMechanics[n], state.data(),
                                static_cast<uint32_t>(state.size()));
            fold(state);
            Damage_WriteRecord(&gaDamage[n], damage.data(), static_cast<uint32_t>(damage.size()));
            fold(damage);
            Damage_WriteWobble(&gaDamageWobble[n], wobble.data(),
                               static_cast<uint32_t>(wobble.size()));
            fold(wobble);
        }
    }
    return uHash;
}

void OpenEngine(void)
{
    DkTempHeapInit(1024 * 1024);
    DkHeapInit(32 * 1024 * 1024);
    DkInitialiseTrigTables();
}

} // namespace drive
