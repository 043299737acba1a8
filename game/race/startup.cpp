#include "game/race/startup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/dk_anim.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/dk_file.h"
#include "game/effects/sun.h"
#include "game/effects/surface.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/netplay.h"
#include "game/race/superspecial.h"
#include "game/race/loading.h"
#include "game/race/stageinfo.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/heightdata.h"
#include "game/vehicle/points.h"

LoadedCar gaLoadedCar[MAX_LOADED_CARS];

// The defaults before any stage's horizon data.
int32_t gxStageObjectClipDistance = 150 << 16;
int32_t gxStageHorizonDistance = 100 << 16;
int32_t gxLoadedObjectClipDistance = 150 << 16;
int32_t gxLoadedHorizonDistance = 100 << 16;

void Car_SetTyreType(CarBody* pBody, int nChoice)
{
    if (pBody == nullptr)
        return;
    pBody->TyreType =
        nChoice == -1 ? GameData_GetSetupChoice(pBody->nCarNumber, SETUP_TYRES) : nChoice;
}

int32_t gxHorizonHeight = 0;
int32_t gxStageFarClipDistance = 200 << 16;
int32_t gnFirstObjectActor = 0;
int32_t gnLastObjectActor = 0;

namespace
{
// The projection the horizon data sets: 2.0, 2.4, the far clip distance and 1.0.
constexpr int32_t kProjectionScaleX = 2 << 16;
constexpr int32_t kProjectionScaleY = 157286;
constexpr int32_t kProjectionNear = 1 << 16;
// The bits of an object actor's attribute word the objects' set-up leaves.
constexpr uint32_t kObjectAttributeBits = 0x3FF;
// The horizon actor's draw value.
constexpr uint8_t kHorizonDrawValue = 3;

int32_t ReadWord(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

// The file with the last three letters of its name replaced.
void WithExtension(char* pszOut, const char* pszPath, const char* pszLetters)
{
    std::snprintf(pszOut, STAGE_PATH_LENGTH, "%s", pszPath);
    const size_t uLength = std::strlen(pszOut);
    if (uLength >= 3)
        std::memcpy(pszOut + uLength - 3, pszLetters, 3);
}

// Processes a DK3D file under the world actor; the first actor made, or NULL.
DK_ACTOR* LoadC3d(const char* pszPath, int nKind, BOOL boKeyed)
{
    void* pImage = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    if (pImage == nullptr)
        return nullptr;
    DK_ACTOR* pFirst =
        DkProcessC3dObject(pImage, DkGetLastFileSize(), nKind, DkGetWorldActor(), boKeyed, 2);
    DkHeapFree(pImage);
    return pFirst;
}

void StartAnimation(const char* pszName)
{
    DkStartAnimatedTexture(pszName, DK_ANIM_LOOP);
}
} // namespace

BOOL Startup_ReadHorizonData(const uint8_t* pBytes, uint32_t uSize)
{
    if (pBytes == nullptr || uSize < HORIZON_DATA_SIZE)
        return FALSE;
    gxHorizonHeight = ReadWord(pBytes);
    gxStageObjectClipDistance = ReadWord(pBytes + 4);
    gxStageFarClipDistance = ReadWord(pBytes + 8);
    gxStageHorizonDistance = ReadWord(pBytes + 12);
    return TRUE;
}

void Startup_LoadHorizonData(const char* pszPath)
{
    void* pImage = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    const BOOL boRead =
        Startup_ReadHorizonData(static_cast<const uint8_t*>(pImage), DkGetLastFileSize());
    if (pImage != nullptr)
        DkHeapFree(pImage);
    if (boRead)
        DkLog("horizon height and clip distance loaded");
    else
    {
        DKREPORT("horizon/clip distance e.t.c. data invalid");
        gxHorizonHeight = HeightData_Report();
    }
    DkSetProjection(kProjectionScaleX, kProjectionScaleY, gxStageFarClipDistance, kProjectionNear);
    gxLoadedObjectClipDistance = gxStageObjectClipDistance;
    gxLoadedHorizonDistance = gxStageHorizonDistance;
    gxObjectClipDistance = gxStageObjectClipDistance;
    gxHorizonDistance = gxStageHorizonDistance;
}

BOOL Startup_LoadTrack(const char* pszPath)
{
    const BOOL boNight = StageInfo_GetLight() == STAGEINFO_LIGHT_NIGHT;
    void* pImage = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    if (pImage == nullptr)
        return FALSE;
    DkProcessC3dObject(pImage, DkGetLastFileSize(), boNight ? DK3D_NIGHT_TRACK : DK3D_TRACK,
                       DkGetWorldActor(), FALSE, 2);
    DkHeapFree(pImage);

    char path[STAGE_PATH_LENGTH];
    WithExtension(path, pszPath, "hpc");
    pImage = DkMallocLoadFile(path, DKLF_AS_GIVEN);
    if (pImage == nullptr)
        return FALSE;
    HeightData_Parse(static_cast<const uint8_t*>(pImage), DkGetLastFileSize());
    DkHeapFree(pImage);
    DkLog("\nLOADED TRACK AND HEIGHT DATA\n");

    WithExtension(path, pszPath, "srf");
    pImage = DkMallocLoadFile(path, DKLF_AS_GIVEN);
    Surface_LoadSurvey(static_cast<const uint8_t*>(pImage),
                       pImage != nullptr ? DkGetLastFileSize() : 0);
    if (pImage != nullptr)
        DkHeapFree(pImage);
    DkLog("Determined effects textures to load");

    WithExtension(path, pszPath, "shp");
    Sun_LoadData(path);
    return TRUE;
}

void Startup_LoadWallLines(const char* pszPath)
{
    TrackTrigger* pRecords = Points_LoadTriggerFile(pszPath, DKLF_AS_GIVEN);
    Points_NumberSplitLines(pRecords);
    Points_ClearWallLines(pRecords);
}

void Startup_LoadObjects(const char* pszPath)
{
    if (LoadC3d(pszPath, DK3D_OBJECTS, TRUE) != nullptr)
        DkLog(DkFormatString("Loaded object file: %s", pszPath));
}

void Startup_LoadShadowObjects(const char* pszPath)
{
    if (LoadC3d(pszPath, DK3D_SHADOWS, TRUE) != nullptr)
        DkLog(DkFormatString("Loaded object file: %s", pszPath));
}

void Startup_LoadHorizon(const char* pszPath)
{
    gpHorizonActor = LoadC3d(pszPath, DK3D_HORIZON, TRUE);
    if (gpHorizonActor == nullptr)
        return;
    gpHorizonActor->uAlwaysDraw = kHorizonDrawValue;
    DkLog("Loaded horizon");
}

int Startup_ReadAnimations(const uint8_t* pBytes, uint32_t uSize,
                           void (*pfnStart)(const char* pszName))
{
    int nStarted = 0;
    for (uint32_t uAt = 0; pBytes != nullptr && uSize - uAt >= ANIMATION_RECORD_SIZE;
         uAt += ANIMATION_RECORD_SIZE)
    {
        const char* pszName = reinterpret_cast<const char*>(pBytes + uAt);
        if (std::memchr(pszName, '\0', ANIMATION_RECORD_SIZE) == nullptr)
            continue;
        pfnStart(pszName);
        ++nStarted;
    }
    return nStarted;
}

void Startup_LoadAnimations(const char* pszPath)
{
    void* pImage = DkMallocLoadFile(pszPath, DKLF_AS_GIVEN);
    if (pImage == nullptr)
        return;
    Startup_ReadAnimations(static_cast<const uint8_t*>(pImage), DkGetLastFileSize(),
                           StartAnimation);
    DkHeapFree(pImage);
}

void Startup_CreateBackground(int, int, int)
{
    // No sky: the viewport's own background shows behind the stage.
    gpHorizonActor = nullptr;
}

int Startup_CountCars(void)
{
    const int nResolution = GameData_GetByte(GD_CAR_RESOLUTION);
    const BOOL boTwoPlayers = IsTwoPlayerGame();
    gboMediumDetailCar = (boThisIsPodiumStage || boTwoPlayers || nResolution == 0) ? 1 : 0;
    if (nResolution == 2)
    {
        gboMediumDetailCar = 0;
        DkLog("Forcing no med. res as Car Resolution High");
    }
    else if (nResolution == 0)
        DkLog("Forcing no med. res as Car Resolution Low");
    DkLog(DkFormatString("gboMediumDetailCar : %d", gboMediumDetailCar));
    DkLog(DkFormatString("uCarResolution : %d", nResolution));
    if (gboMediumDetailCar)
    {
        DkLog("Using Medium detail car as :");
        if (boThisIsPodiumStage)
            DkLog("boThisIsPodiumStage is TRUE");
        if (boTwoPlayers)
            DkLog("IsTwoPlayerGame() is TRUE");
        DkLog(DkFormatString("gpGame_Data->Options.Graphics.uCarResolution has value %d",
                             nResolution));
        DkLog(DkFormatString("gpGame_Data->Options.Graphics.uObjectPriority has value %d",
                             GameData_GetByte(GD_OBJECT_PRIORITY)));
    }

    const int nMode = GameData_GetByte(GD_GAME_TYPE) & 3;
    int nToLoad = 0;
    if (DkEntries().IsRallySchool() || gboNetworkGame)
        nToLoad = gnNumMechCars = 1;
    else if (boThisIsPodiumStage)
    {
        nToLoad = 3;
        gnNumMechCars = 1;
    }
    else if (IsSuperSpecialStage() && nMode == 0)
    {
        nToLoad = 3;
        gnNumMechCars = 2;
    }
    else
    {
        if (IsSuperSpecialStage())
            gnNumMechCars = nMode == 2 && !boTwoPlayers ? 1 : 2;
        else
            gnNumMechCars = gNumberOfPlayers;
        nToLoad = gnNumMechCars;
        if (IsAlternatingGame())
            nToLoad *= 2;
    }
    DkLog(DkFormatString("nNumCarsToLoad %d", nToLoad));
    return nToLoad;
}

void Startup_CleanObjectFlags(void)
{
    const int32_t nLast = std::min<int32_t>(gnLastObjectActor, static_cast<int32_t>(guNumActors));
    for (int32_t i = std::max<int32_t>(gnFirstObjectActor, 0); i < nLast; ++i)
        if (gapActors[i] != nullptr)
            gapActors[i]->uId &= kObjectAttributeBits;
}
