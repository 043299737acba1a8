// What the car-model tests share: the ground fixture with the front end's game data in the
// test's hands, the neighbouring modules' switches back at their starting values, cars loaded
// from the data kit's DK3D car and generated grounds from its library.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_rand.h"
#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/c3d.h"
#include "game/effects/crowdsnd.h"
#include "game/effects/forcefeedback.h"
#include "game/effects/vrooom.h"
#include "game/effects/weather.h"
#include "game/hud/rs_main.h"
#include "game/race/attract.h"
#include "game/race/gmhndlr.h"
#include "game/race/netplay.h"
#include "game/race/pertick.h"
#include "game/race/splttime.h"
#include "game/race/stageinfo.h"
#include "game/race/startup.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carcontrol.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"
#include "game/vehicle/heightdata.h"
#include "tests/game/ground_data.h"
#include "tests/game/ground_fixture.h"
#include "tools/datakit/c3d_writer.h"
#include "tools/datakit/grounds.h"
#include "tools/datakit/height_writer.h"

constexpr int32_t ONE = 0x10000;

// The game data the test sets, and the game type and rally school it reports.
inline std::array<uint8_t, DK_GAME_DATA_SIZE> gaTestGameData;
inline int gnTestGameType = 0;
inline BOOL gboTestRallySchool = FALSE;

inline const uint8_t* TestGameData(void)
{
    return gaTestGameData.data();
}
inline uint8_t* TestWritableGameData(void)
{
    return gaTestGameData.data();
}
inline int TestGameType(void)
{
    return gnTestGameType;
}
inline BOOL TestRallySchool(void)
{
    return gboTestRallySchool;
}
// The four above as the game's entries, as the front end registers its own.
inline void RegisterTestEntries(void)
{
    DK_ENTRIES entries{};
    entries.GetGameData = TestGameData;
    entries.GetWritableGameData = TestWritableGameData;
    entries.GetGameType = TestGameType;
    entries.IsRallySchool = TestRallySchool;
    DkRegisterEntries(&entries);
}

// Local player p's record in the game data.
constexpr int PlayerByte(int nPlayer, int nOffset)
{
    return 44 + 156 * nPlayer + nOffset;
}

class CarTest : public GroundTest
{
protected:
    void SetUp() override
    {
        GroundTest::SetUp();
        gaTestGameData.fill(0);
        gnTestGameType = 0;
        gboTestRallySchool = FALSE;
        RegisterTestEntries();

        CarModel_ClearAll();
        gRateScale = gStepScale = ONE;
        gNumberOfPlayers = 1;
        boThisIsPodiumStage = FALSE;
        gboNetworkGame = FALSE;
        SuperSpecial_SetForTests(FALSE);
        StageInfo_SetLightForTests(0);
        Weather_SetWetForTests(FALSE);
        StageTimer_ResetForTests();
        CarSound_ResetForTests();
        School_ResetForTests();
        PerTick_ResetForTests();
        CarControl_ResetForTests();
        CrowdNoise_ResetForTests();
        ForceFeedback_ResetForTests();
        MessageRoll_SetFinishedForTests(0);
        GameHandler_SetStateForTests(0);
        CarModel_SetStepPassHook(nullptr);
        for (int32_t& xBounce : gaCarCamBData)
            xBounce = 0;
        for (DamageRecord& record : gaDamage)
            record = DamageRecord{};
        for (DamageWobble& wobble : gaDamageWobble)
            wobble = DamageWobble{};
        for (LoadedCar& car : gaLoadedCar)
            car = LoadedCar{};
        for (NetPlayer& player : gaNetPlayer)
            player = NetPlayer{};
        for (int32_t& nSlot : gaCarIndexByDamageSlot)
            nSlot = -1;
        DkSRand(1);
        output += CaptureOutput([&] { world = DkCreateWorldActor(); });
        ASSERT_NE(world, nullptr);
    }

    void TearDown() override
    {
        CarModel_SetStepPassHook(nullptr);
        output += CaptureOutput([] { DkKillAllObjects(); });
        DkSetWorldActor(nullptr);
        GroundTest::TearDown();
    }

    // The data kit's car, flat-coloured (no display is open), loaded as loaded car nIndex.
    void LoadCar(int nIndex, int nCarType = 0)
    {
        datakit::C3dScene scene = datakit::C3dCar();
        scene.textures.clear();
        for (datakit::C3dShape& shape : scene.shapes)
            for (datakit::C3dFace& face : shape.faces)
                face.texture = -1;
        LoadCarScene(nIndex, scene, nCarType);
    }

    void LoadCarScene(int nIndex, const datakit::C3dScene& scene, int nCarType = 0)
    {
        const std::vector<uint8_t> bytes = datakit::FormatC3d(scene);
        DK_ACTOR* pRoot = DkCreateActor(world);
        ASSERT_NE(pRoot, nullptr);
        DK_ACTOR* pBody = nullptr;
        output += CaptureOutput(
            [&]
            {
                pBody = DkProcessC3dObject(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                           DK3D_CAR, pRoot, FALSE, 0);
            });
        ASSERT_NE(pBody, nullptr) << output;
        gaLoadedCar[nIndex] = {static_cast<int8_t>(nCarType), pRoot, pBody, 0};
    }

    // The generated ground as the stage's height data.
    void StandOn(const std::string& name)
    {
        ASSERT_TRUE(ParseGround(name, output)) << output;
    }

    // A start actor under the world at (x, y, z) turned by nHeading about the vertical.
    DK_ACTOR* StartActor(double x, double y, double z, int16_t nHeading = 0)
    {
        DK_ACTOR* pStart = DkCreateActor(world);
        const DK_VECTOR at = {Fixed(x), Fixed(y), Fixed(z)};
        const int16_t anAngles[3] = {0, nHeading, 0};
        DkSetActor(pStart, &at, anAngles);
        return pStart;
    }

    // Loads the car and sets it up on the current ground at (x, z), from 1.0 above ground y.
    BOOL SetUpCar(int nCar, int nCarType, double x = 0.0, double y = 0.0, double z = 100.0,
                  int16_t nHeading = 0)
    {
        LoadCar(nCar, nCarType);
        start = StartActor(x, y + 1.0, z, nHeading);
        const DK_VECTOR at = {Fixed(x), Fixed(y + 1.0), Fixed(z)};
        BOOL boDone = FALSE;
        last = CaptureOutput(
            [&] {
                boDone = InitialiseCar(&gaCarBody[nCar], &gaCarMechanics[nCar], start, nCarType,
                                       &at, nCar);
            });
        output += last;
        return boDone;
    }

    std::string output; // everything reported
    std::string last;   // the reports of the last set-up
    DK_ACTOR* world = nullptr;
    DK_ACTOR* start = nullptr; // of the last SetUpCar
};
