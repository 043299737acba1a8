// The stage's cars: their files by light and detail, loading them from the data kit's
// installation with their counts and colours, and a missing car file. A display is open: the
// cars' textures live on its device.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_model.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/3d/dk_light.h"
#include "engine/pc/core/dk_file.h"
#include "game/effects/muddycar.h"
#include "game/race/gamedata.h"
#include "game/race/startup.h"
#include "platform/d3d/d3d.h"
#include "tests/game/car_fixture.h"
#include "tools/bench/stage_frame.h"
#include "tools/datakit/install.h"

namespace
{
namespace fs = std::filesystem;

class CarLoadTest : public CarTest
{
protected:
    void SetUp() override
    {
        CarTest::SetUp();
        gboMediumDetailCar = 0;
        gnNumMechCars = 0;
        stage::DisplayOptions options;
        options.width = 320;
        options.height = 240;
        std::string problem;
        output += CaptureOutput([&] { ASSERT_TRUE(stage::OpenDisplay(options, &problem)); });
        RegisterTestEntries();
    }
    void TearDown() override
    {
        output += CaptureOutput([] { Startup_FreeCarData(); });
        gboMediumDetailCar = 0;
        gNumberOfPlayers = 1;
        output += CaptureOutput([] { stage::CloseDisplay(); });
        DkResetDataPathsForTests();
        CarTest::TearDown();
    }
    // The data kit's installation, its hard disk the file layer's.
    fs::path Install()
    {
        datakit::InstallSummary install;
        output += CaptureOutput([&] { install = datakit::InstallDemo(env.DriveC() + "/kit"); });
        const fs::path hardDisk = install.root / "c" / "Dezor";
        DkSetHardDrivePath(hardDisk.string().c_str());
        return hardDisk;
    }
    // A new world with no cars loaded; returns the destructor count before any car loads.
    int FreshWorld()
    {
        output += CaptureOutput(
            [&]
            {
                DkKillAllObjects();
                world = DkCreateWorldActor();
            });
        for (LoadedCar& car : gaLoadedCar)
            car = LoadedCar{};
        return gnNumDestructors;
    }
    // pActor or the first model below it with a detail level drawn wholly black: the cars'
    // vertices are pre-lit, and an untextured face leaves its own opaque black. NULL when every
    // level shows some colour.
    static const DK_ACTOR* BlackPart(const DK_ACTOR* pActor)
    {
        const auto* pModel = pActor->uType == DK_ACTOR_MODEL
                                 ? static_cast<const DK_MODEL*>(pActor->pObject)
                                 : nullptr;
        for (int nLevel = 0; pModel != nullptr && nLevel < pModel->uNumLevels; ++nLevel)
        {
            bool boColoured = false;
            for (const DK_MODEL_NODE* pNode = pModel->aLevels[nLevel].pFirstNode; pNode != nullptr;
                 pNode = pNode->pNext)
                for (int32_t v = 0; v < pNode->nNumVertices; ++v)
                    boColoured = boColoured || (pNode->pVertices[v].Lit.uColour & 0xFFFFFFu);
            if (!boColoured)
                return pActor;
        }
        for (const DK_ACTOR* pChild = pActor->pChild; pChild != nullptr; pChild = pChild->pNext)
            if (const DK_ACTOR* pBlack = BlackPart(pChild))
                return pBlack;
        return nullptr;
    }
    void SetCarType(int nPlayer, int nCarType)
    {
        gaTestGameData[PlayerByte(nPlayer, PI_CAR_TYPE)] = static_cast<uint8_t>(nCarType);
    }
};

// The level-0 extent of a model actor along each axis, in 16.16 units (max - min).
DK_VECTOR ModelExtent(const DK_ACTOR* pActor)
{
    const auto* pModel = static_cast<const DK_MODEL*>(pActor->pObject);
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (const DK_MODEL_NODE* pNode = pModel->aLevels[0].pFirstNode; pNode != nullptr;
         pNode = pNode->pNext)
        for (int32_t v = 0; v < pNode->nNumVertices; ++v)
        {
            const float at[3] = {pNode->pVertices[v].x, pNode->pVertices[v].y,
                                 pNode->pVertices[v].z};
            for (int a = 0; a < 3; ++a)
            {
                lo[a] = std::min(lo[a], at[a]);
                hi[a] = std::max(hi[a], at[a]);
            }
        }
    return {static_cast<int32_t>((hi[0] - lo[0]) * 65536),
            static_cast<int32_t>((hi[1] - lo[1]) * 65536),
            static_cast<int32_t>((hi[2] - lo[2]) * 65536)};
}

// The first actor at or below pActor whose model's first level is named pszName.
DK_ACTOR* FindModelNamed(DK_ACTOR* pActor, const char* pszName)
{
    for (; pActor != nullptr; pActor = pActor->pNext)
    {
        const auto* pModel = pActor->uType == DK_ACTOR_MODEL
                                 ? static_cast<const DK_MODEL*>(pActor->pObject)
                                 : nullptr;
        if (pModel != nullptr && pModel->uNumLevels > 0 &&
            std::string(pModel->aLevels[0].szName) == pszName)
            return pActor;
        if (DK_ACTOR* pFound = FindModelNamed(pActor->pChild, pszName))
            return pFound;
    }
    return nullptr;
}

// What the race frame draws of one car (DrawCar) on a cleared target, seen from the eye toward
// the target point; the columns holding any of it, and its mean colour.
struct CarView
{
    int nColumns = 0;
    uint8_t auMean[3] = {0, 0, 0};
};

CarView DrawCarFrom(DK_ACTOR* pWorld, DK_ACTOR* pCar, double ex, double ey, double ez, double tx,
                    double ty, double tz)
{
    DK_ACTOR* pCamera = DkCreateCamera(nullptr, nullptr, nullptr, pWorld);
    stage::Look(pCamera, ex, ey, ez, tx, ty, tz);
    const DK_RECT rect = {0, 0, 320, 240};
    DkClearTarget();
    // The viewport, the camera's transform and a cleared depth; the camera has nothing to draw.
    stage::DrawActorTree(pCamera, pCamera, rect);
    DkUpdateActorTree(pWorld);
    DkSyncActorTreeD3D(pWorld);
    gpRenderCameraActor = pCamera;
    d3d->lpD3DDevice2->BeginScene();
    DrawCar(pCar, 0);
    d3d->lpD3DDevice2->EndScene();
    gpRenderCameraActor = nullptr;
    const std::vector<uint8_t> rgb = stage::BackRgb();
    if (const char* pszDir = std::getenv("DEZOR_TEST_FRAMES"))
        stage::SavePng(std::string(pszDir) + "/car-" + std::to_string(static_cast<int>(ex)) + "_" +
                       std::to_string(static_cast<int>(ez)) + ".png");
    CarView view;
    long anSum[3] = {0, 0, 0}, nPixels = 0;
    for (int x = 0; x < 320; ++x)
    {
        bool boColumn = false;
        for (int y = 0; y < 240; ++y)
        {
            const uint8_t* p = &rgb[(static_cast<size_t>(y) * 320 + x) * 3];
            if (p[0] == rgb[0] && p[1] == rgb[1] && p[2] == rgb[2])
                continue;
            boColumn = true;
            ++nPixels;
            for (int c = 0; c < 3; ++c)
                anSum[c] += p[c];
        }
        view.nColumns += boColumn ? 1 : 0;
    }
    for (int c = 0; c < 3; ++c)
        view.auMean[c] = static_cast<uint8_t>(nPixels > 0 ? anSum[c] / nPixels : 0);
    return view;
}

TEST_F(CarLoadTest, TheCarsFilesFollowTheLightAndTheDetail)
{
    struct Case
    {
        const char* what;
        int nCarType, nLight, nMedium, nGameType;
        bool boSuperSpecial;
        const char *pszModel, *pszReflection, *pszMap;
    };
    const Case cases[] = {
        {"by day", 0, 2, 0, 0, false, "OBJECTS\\CARS\\ORI\\ORIDAY.C3D",
         "OBJECTS\\CARS\\ORI\\ORIDAYref.c3d", "OBJECTS\\CARS\\ORI\\ref_map.bmp"},
        {"another type", 12, 0, 0, 0, false, "OBJECTS\\CARS\\M4R\\M4RDAY.C3D",
         "OBJECTS\\CARS\\M4R\\M4RDAYref.c3d", "OBJECTS\\CARS\\M4R\\ref_map.bmp"},
        {"at night, no reflection", 3, 8, 0, 0, false, "OBJECTS\\CARS\\TOR\\TORNIGHT.C3D", "", ""},
        {"medium detail by day", 1, 2, 1, 0, false, "OBJECTS\\CARS\\PEL\\PELDAYmed.C3D", "", ""},
        {"medium detail at night is the day's", 1, 8, 1, 0, false,
         "OBJECTS\\CARS\\PEL\\PELdaymed.C3D", "", ""},
        {"taking turns on the super special stage", 0, 2, 0, 2, true,
         "OBJECTS\\CARS\\ORI\\ORIDAY.C3D", "", ""},
        {"taking turns elsewhere keeps it", 0, 2, 0, 2, false, "OBJECTS\\CARS\\ORI\\ORIDAY.C3D",
         "OBJECTS\\CARS\\ORI\\ORIDAYref.c3d", "OBJECTS\\CARS\\ORI\\ref_map.bmp"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        SetCarType(0, c.nCarType);
        StageInfo_SetLightForTests(c.nLight);
        gboMediumDetailCar = c.nMedium;
        gnTestGameType = c.nGameType;
        SuperSpecial_SetForTests(c.boSuperSpecial ? TRUE : FALSE);
        CarFilePaths paths;
        Startup_GetCarFilePaths(0, &paths);
        EXPECT_STREQ(paths.szModel, c.pszModel);
        EXPECT_STREQ(paths.szReflection, c.pszReflection);
        EXPECT_STREQ(paths.szReflectionMap, c.pszMap);
    }
}

TEST_F(CarLoadTest, TheInstalledCarsLoadInTheirCounts)
{
    Install();
    struct Case
    {
        const char* what;
        int nGameType, nPlayers, nResolution;
        bool boPodium;
        int nLoaded, nMech;
        bool boMedium, boReflection;
    };
    const Case cases[] = {
        {"one player, with its reflection", 0, 1, 1, false, 1, 1, false, true},
        {"two on one screen, medium detail", 1, 2, 1, false, 2, 2, true, false},
        {"taking turns loads two sets", 2, 2, 1, false, 2, 1, false, true},
        {"the podium: three, one simulated", 0, 1, 1, true, 3, 1, true, false},
        {"low resolution is medium", 0, 1, 0, false, 1, 1, true, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const int nMark = FreshWorld();
        gnTestGameType = c.nGameType;
        // Taking turns the players' count is one, the cars doubled.
        gNumberOfPlayers = c.nGameType == 2 ? 1 : c.nPlayers;
        boThisIsPodiumStage = c.boPodium ? TRUE : FALSE;
        gaTestGameData[GD_CAR_RESOLUTION] = static_cast<uint8_t>(c.nResolution);
        for (int p = 0; p < 2; ++p)
            SetCarType(p, p == 0 ? 0 : 5);
        TakeLog();
        int nResult = -1;
        const std::string out = CaptureOutput([&] { nResult = Startup_LoadCars(5); });
        const std::string log = TakeLog();
        ASSERT_EQ(nResult, 1) << out << log;
        EXPECT_EQ(CountReports(out + log), 0) << out << log;
        EXPECT_EQ(gnNumMechCars, c.nMech);
        EXPECT_EQ(gboMediumDetailCar, c.boMedium ? 1 : 0);
        // The reflection shell hangs below the body's first child.
        ASSERT_NE(gaCarBody[0].paReflection, nullptr);
        EXPECT_EQ(gaCarBody[0].paReflection->pParent == gaLoadedCar[0].paCar->pChild,
                  c.boReflection);
        for (int n = 0; n < MAX_LOADED_CARS; ++n)
            EXPECT_EQ(gaLoadedCar[n].paCar != nullptr, n < c.nLoaded) << n;
        EXPECT_NE(log.find("Cars loaded (mask 5)"), std::string::npos) << log;
        EXPECT_NE(log.find("LoadSingleCar (int nCarNumber " + std::to_string(c.nLoaded - 1) + ")"),
                  std::string::npos);
        EXPECT_EQ(log.find("LoadSingleCar (int nCarNumber " + std::to_string(c.nLoaded) + ")"),
                  std::string::npos);
        // The second player's set waits out of sight while the first drives.
        if (c.nGameType == 2)
        {
            EXPECT_EQ(gaLoadedCar[1].paCar->Local.m[3][1], -100 << 16);
        }
        EXPECT_EQ(gaLoadedCar[0].nCarType, 0);
        EXPECT_EQ(gaCarBody[0].paCar, gaLoadedCar[0].paCar);
        // Every part of every car, its reflection shell too, shows its colours.
        for (int n = 0; n < c.nLoaded; ++n)
            for (const DK_ACTOR* pCar : {gaLoadedCar[n].paCar, gaLoadedCar[n].paBodyDummy})
            {
                const DK_ACTOR* pBlack = BlackPart(pCar);
                EXPECT_EQ(pBlack, nullptr)
                    << "car " << n << ", part " << (pBlack ? pBlack->uId : 0);
            }
        // The models go with the heaps, and no record points at them.
        output += CaptureOutput([&] { DkCallDestructors(nMark); });
        for (const LoadedCar& car : gaLoadedCar)
            EXPECT_EQ(car.paCar, nullptr);
    }
}

TEST_F(CarLoadTest, TheStagesLightAndKindSetTheCarsLampsDrawingAndDirt)
{
    Install();
    struct Case
    {
        const char* what;
        int nGameType, nMode, nLight;
        bool boDark, boSuperSpecial, boBitmaps;
        int nLoaded;
        int nLamps;             // car lamps made, one a simulated car
        uint8_t auDrawValue[4]; // the loaded cars' body draw values
        int nDetailNodes;       // cars given their muddy detail
    };
    // The data kit's car file marks its objects always drawn (1); the loader's own value is 255.
    constexpr uint8_t k = 1;
    const Case cases[] = {
        {"by day", 0, 0, 2, false, false, true, 1, 0, {k}, 1},
        {"at night each simulated car has its lamp", 0, 0, 8, false, false, true, 1, 1, {k}, 1},
        {"in the dark as at night", 0, 0, 2, true, false, true, 1, 1, {k}, 1},
        {"without 3D bitmaps no detail for the dirt", 0, 0, 2, false, false, false, 1, 0, {k}, 0},
        {"the super special stage's computer car is drawn as any", 0, 0, 2, false, true, true, 3,
         0, {255, 255, 0}, 0},
        {"taking turns on the super special stage all are drawn", 2, 1, 2, false, true, true, 4,
         0, {255, 255, 255, 255}, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        FreshWorld();
        for (BOOL& boMuddied : gboMuddyCarInitialised)
            boMuddied = FALSE;
        MuddyCar_ResetForTests();
        gnTestGameType = c.nGameType;
        gaTestGameData[GD_GAME_TYPE] = static_cast<uint8_t>(c.nMode);
        gaTestGameData[GD_CAR_RESOLUTION] = 1;
        gaTestGameData[OPTION_DARK_STAGE.nByte] =
            static_cast<uint8_t>(c.boDark ? 1 << OPTION_DARK_STAGE.nBit : 0);
        StageInfo_SetLightForTests(c.nLight);
        SuperSpecial_SetForTests(c.boSuperSpecial ? TRUE : FALSE);
        DkSetUse3DBitmaps(c.boBitmaps ? 1 : 0);
        int nResult = -1;
        const std::string out = CaptureOutput([&] { nResult = Startup_LoadCars(1); });
        const std::string log = TakeLog();
        ASSERT_EQ(nResult, 1) << out << log;
        int nLamps = 0;
        for (const DK_ACTOR* pLamp : gapLightActors)
            if (pLamp != nullptr && pLamp->pParent == gaLoadedCar[0].paCar)
                ++nLamps;
        EXPECT_EQ(nLamps, c.nLamps);
        for (int n = 0; n < c.nLoaded; ++n)
            ASSERT_NE(gaLoadedCar[n].paCar, nullptr) << n;
        for (int n = 0; n < c.nLoaded; ++n)
            EXPECT_EQ(gaLoadedCar[n].paCar->uAlwaysDraw, c.auDrawValue[n]) << n;
        EXPECT_EQ(MuddyCar_GetDetailNodeCallsForTests(), c.nDetailNodes);
        EXPECT_EQ(MuddyCar_GetInitialiseCallsForTests(), c.nLoaded) << "each car set up";
    }
    gaTestGameData[OPTION_DARK_STAGE.nByte] = 0;
    SuperSpecial_SetForTests(FALSE);
    DkSetUse3DBitmaps(0);
}

// The installed car lies along its frame's forward axis (x), as the mechanics' corners, the
// wheels' spin and steering, its parts and its reflection shell take it: the body is long in x,
// wheels 1 and 2 are the front axle and 1 and 3 on the +z side, and the shell hangs at the body's
// origin (not on a wheel, which would carry it crosswise off the body and spin it). Drawn as
// the race frame draws a car, it is long seen from the side and narrow seen from behind, and
// shows its body colour.
TEST_F(CarLoadTest, TheInstalledCarLiesAlongItsForwardAxisWithItsShellOnTheBody)
{
    Install();
    SetCarType(0, 0);
    StageInfo_SetLightForTests(2);
    gnTestGameType = 0;
    gNumberOfPlayers = 1;
    // One player at medium resolution: the full-detail car with its reflection shell.
    gaTestGameData[GD_CAR_RESOLUTION] = 1;
    FreshWorld();
    int nResult = -1;
    const std::string out = CaptureOutput([&] { nResult = Startup_LoadCars(1); });
    const std::string log = TakeLog();
    ASSERT_EQ(nResult, 1) << out << log;
    DK_ACTOR* pBody = gaLoadedCar[0].paCar;
    ASSERT_NE(pBody, nullptr);
    const DK_VECTOR body = ModelExtent(pBody);
    EXPECT_GT(body.x, body.z + body.z / 2) << "the body lies along x";

    for (uint32_t uId = 1; uId <= 4; ++uId)
    {
        SCOPED_TRACE(uId);
        const DK_ACTOR* pWheel = DkFindActorById(pBody->pChild, uId);
        ASSERT_NE(pWheel, nullptr);
        EXPECT_EQ(pWheel->Local.m[3][0] > 0, uId <= 2) << "wheels 1 and 2 are the front axle";
        EXPECT_EQ(pWheel->Local.m[3][2] > 0, uId % 2 == 1) << "wheels 1 and 3 on the +z side";
        const DK_VECTOR wheel = ModelExtent(pWheel);
        EXPECT_LT(wheel.z, wheel.x) << "the axle runs along z";
    }

    // The shell the loader hangs below the body's first child (the car's own id-111 part is
    // another).
    DK_ACTOR* pShell = FindModelNamed(pBody->pChild, "REFSHELL");
    ASSERT_NE(pShell, nullptr);
    EXPECT_EQ(pShell->uId, 111u);
    for (const DK_ACTOR* pUp = pShell->pParent; pUp != nullptr && pUp != pBody; pUp = pUp->pParent)
        EXPECT_TRUE(pUp->uId < 1 || pUp->uId > 4) << "the shell hangs on wheel " << pUp->uId;
    const DK_VECTOR zero = {0, 0, 0};
    const int16_t anLevel[3] = {0, 0, 0};
    DkSetActor(gaLoadedCar[0].paBodyDummy, &zero, anLevel);
    DkSetActor(pBody, &zero, anLevel);
    DkUpdateActorTree(world);
    for (int a = 0; a < 3; ++a)
        EXPECT_EQ(pShell->World.m[3][a], pBody->World.m[3][a]) << "the shell sits on the body";
    const DK_VECTOR shell = ModelExtent(pShell);
    EXPECT_GT(shell.x, shell.z + shell.z / 2) << "the shell lies along the body";

    // From the side the car is long, from behind narrow; both show its body colour, not black.
    const CarView side = DrawCarFrom(world, pBody, 0.0, 1.5, -7.0, 0.0, 0.6, 0.0);
    const CarView back = DrawCarFrom(world, pBody, -7.0, 1.5, 0.0, 0.0, 0.6, 0.0);
    EXPECT_GT(side.nColumns * 2, back.nColumns * 3)
        << "columns from the side " << side.nColumns << ", from behind " << back.nColumns;
    for (const CarView* pView : {&side, &back})
    {
        const uint8_t* m = pView->auMean;
        EXPECT_GT(int{m[0]}, 60) << int{m[0]} << "," << int{m[1]} << "," << int{m[2]};
        EXPECT_GT(int{m[0]}, int{m[2]} + 20) << "red on the whole, not black or grey: " << int{m[0]}
                                             << "," << int{m[1]} << "," << int{m[2]};
    }
}

TEST_F(CarLoadTest, AMissingCarFileIsReportedAndEndsTheLoading)
{
    const fs::path hardDisk = Install();
    const fs::path cars = hardDisk / "OBJECTS" / "CARS";
    struct Case
    {
        const char* what;
        const char* pszRemoved; // under the car folders
        int nPlayers, nGameType;
        int nResult;
        const char* pszReported;
    };
    const Case cases[] = {
        {"the first car's model", "ORI/ORIDAY.C3D", 1, 0, 0,
         "The car file OBJECTS\\CARS\\ORI\\ORIDAY.C3D is missing"},
        {"the second car's model", "MK2/MK2DAYmed.C3D", 2, 1, 0,
         "The car file OBJECTS\\CARS\\MK2\\MK2DAYmed.C3D is missing"},
        {"a reflection only dulls the car", "ORI/ORIDAYref.c3d", 1, 0, 1,
         "The car's reflection OBJECTS\\CARS\\ORI\\ORIDAYref.c3d is missing"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const int nMark = FreshWorld();
        const fs::path removed = cars / c.pszRemoved;
        const fs::path kept = removed.string() + ".kept";
        fs::rename(removed, kept);
        gnTestGameType = c.nGameType;
        gNumberOfPlayers = c.nPlayers;
        gaTestGameData[GD_CAR_RESOLUTION] = 1;
        SetCarType(0, 0);
        SetCarType(1, 5);
        TakeLog();
        int nResult = -1;
        const std::string out = CaptureOutput([&] { nResult = Startup_LoadCars(1); });
        const std::string log = TakeLog();
        fs::rename(kept, removed);
        output += CaptureOutput([&] { DkCallDestructors(nMark); });
        EXPECT_EQ(nResult, c.nResult);
        // The file layer reports the file it cannot open, then the loader what it lacks.
        EXPECT_EQ(CountReports(log), 2) << log;
        EXPECT_NE(log.find(c.pszReported), std::string::npos) << log;
        EXPECT_EQ(log.find("Cars loaded") != std::string::npos, c.nResult == 1) << log;
    }
}
} // namespace
