#include "game/race/loading.h"

#include <cstdio>
#include <cstring>

#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/core/cmd_line.h"
#include "engine/pc/display/2dinit.h"
#include "game/race/gamedata.h"
#include "game/hud/catseye.h"
#include "game/hud/rs_main.h"
#include "game/race/gmhndlr.h"
#include "game/race/replay.h"
#include "game/race/splttime.h"
#include "game/race/startup.h"
#include "game/race/superspecial.h"
#include "game/race/trackcam.h"
#include "game/vehicle/notmvble.h"
#include "game/vehicle/trigger.h"

namespace
{
#define NUM_COUNTRIES 8
#define NUM_CAR_CODES 14

const char* const kCountryFolder[NUM_COUNTRIES] = {"NZ\\%d", "GR\\%d", "MC\\%d", "AU\\%d",
                                                   "SW\\%d", "CO\\%d", "IN\\%d", "UK\\%d"};
const char* const kCountryStem[NUM_COUNTRIES] = {"NZ%d", "GR%d", "MC%d", "AU%d",
                                                 "SW%d", "CO%d", "IN%d", "UK%d"};
const char* const kSchoolLevelFolder[3] = {"EASY", "MEDIUM", "HARD"};
const char* const kSecretStage[4] = {"SECRET\\DANGER\\DANGER", "SECRET\\MILEHIGH\\MILEHIGH",
                                     "SECRET\\RETSIL\\RETSIL", "SECRET\\TROUT\\TROUT"};
// The car folder under "OBJECTS\CARS\" and the car file's code, by car type.
const char* const kCarCode[NUM_CAR_CODES] = {"ORI", "PEL", "BRA", "TOR", "KV2", "MK2", "KOR",
                                             "TM",  "ALI", "SAN", "DRY", "LUM", "M4R", "ALC"};

constexpr int kPodiumStage = 8;
constexpr uint8_t kSecretBit = 0x40;
// The highest number word of the command line that is not a stage path.
constexpr int kHighestNumberWord = 11;

bool IsNumberWord(const char* pszWord)
{
    char number[8];
    for (int n = 0; n <= kHighestNumberWord; ++n)
    {
        std::snprintf(number, sizeof number, "%d", n);
        if (std::strcmp(pszWord, number) == 0)
            return true;
    }
    return false;
}

// "NZ\3\NZ3": the country's folder and stem for stage number nStage (1-based).
bool CountryStagePath(char* pszOut, int nCountry, int nStage)
{
    if (nCountry < 0 || nCountry >= NUM_COUNTRIES)
        return false;
    char folder[32];
    char stem[32];
    std::snprintf(folder, sizeof folder, kCountryFolder[nCountry], nStage);
    std::snprintf(stem, sizeof stem, kCountryStem[nCountry], nStage);
    std::snprintf(pszOut, STAGE_PATH_LENGTH, "%s\\%s", folder, stem);
    return true;
}
// The stages whose horizon gives way to a plain background on hardware type 2 with little
// video memory: AU 2 and 6, CO 6, UK 5 (country, stage index).
constexpr int kLowMemoryPlainStages[][2] = {{3, 1}, {3, 5}, {5, 5}, {7, 4}};
constexpr int kLowMemoryHardware = 2;

int gnLoadingStep = 0;
int gnLoadingSteps = 0;
BOOL gboLoadingShown = FALSE;

BOOL StageDataDestructor(void)
{
    gboStageInitialised = FALSE;
    return TRUE;
}

void SetExtension(char* pszSlot, const char* pszExtension)
{
    std::memcpy(pszSlot, pszExtension, 4);
}

bool PlainBackground()
{
    if (GameData_IsOptionSet(OPTION_DARK_STAGE))
        return true;
    if (DkGetHardwareType() != kLowMemoryHardware || !gboLowVideoMemory)
        return false;
    const uint8_t uSelection = GameData_GetByte(GD_STAGE_SELECTION);
    for (const auto& stage : kLowMemoryPlainStages)
        if ((uSelection & 0x0F) == stage[0] && (uSelection >> 4) == stage[1])
            return true;
    return false;
}
} // namespace

BOOL gboStageInitialised = FALSE;
BOOL gboLowVideoMemory = FALSE;

void Loading_Step(void)
{
    if (!gboLoadingShown)
        return;
    if (gnLoadingStep < gnLoadingSteps)
        ++gnLoadingStep;
}

int Loading_GetStep(void)
{
    return gnLoadingStep;
}

void LoadStageData(char* pszPath, char* pszSlot)
{
    DkAddDestructor(StageDataDestructor, "Stage Data Destructor");
    const bool boSchool = DkEntries().IsRallySchool() != FALSE;

    SetExtension(pszSlot, ".c3d");
    Startup_LoadTrack(pszPath);
    Loading_Step();

    DkSetDrawAllTrackBlocks(0);
    Loading_Step();

    SetExtension(pszSlot, ".dat");
    Startup_LoadWallLines(pszPath);
    gnFirstObjectActor = static_cast<int32_t>(guNumActors);

    SetExtension(pszSlot, ".obj");
    Startup_LoadObjects(pszPath);
    gnLastObjectActor = static_cast<int32_t>(guNumActors);
    DkLog(DkFormatString("Object actors range: %d to %d", gnFirstObjectActor, gnLastObjectActor));
    Loading_Step();

    SetExtension(pszSlot, ".moj");
    MovingObjects_Load(pszPath);
    Loading_Step();

    SetExtension(pszSlot, ".sht");
    Startup_LoadShadowObjects(pszPath);

    SetExtension(pszSlot, ".ars");
    Startup_LoadHorizonData(pszPath);
    Loading_Step();

    SetExtension(pszSlot, ".hzn");
    if (PlainBackground())
        Startup_CreateBackground(0, 0, 0);
    else
        Startup_LoadHorizon(pszPath);
    Loading_Step();

    SetExtension(pszSlot, ".tsc");
    TrackCam_LoadCameras(pszPath);
    SetExtension(pszSlot, ".csp");
    TrackCam_LoadStartPositions(pszPath);
    Loading_Step();

    SetExtension(pszSlot, ".cat");
    CatsEye_Load(pszPath);
    if (!boSchool && GameData_IsOptionSet(OPTION_REVERSE_DIRECTION) && !IsSuperSpecialStage())
        Trigger_MirrorRecords();
    TrackCam_LinkTargets();
    Loading_Step();

    SetExtension(pszSlot, ".spl");
    SplitTime_InitStage();
    Loading_Step();

    SetExtension(pszSlot, ".anm");
    Startup_LoadAnimations(pszPath);

    SetExtension(pszSlot, ".rsf");
    if (boSchool && !School_Init(pszPath))
    {
        DkLog("\nFailed to init rally school - NOT IN RALLY SCHOOL\n");
        School_Leave();
    }

    // The ghost's file is named here but read by the replays.
    SetExtension(pszSlot, ".fuz");
    Replay_ResetGhostFlags();
    Loading_Step();
}

int32_t DispInitStage(void)
{
    return 0;
}

int BuildTrackPath(char* pszOut)
{
    pszOut[0] = '\0';
    const char* pszWord = gnNumCommandLineParams > 0 ? GetCommandLineParameter(0) : nullptr;
    if (pszWord != nullptr && pszWord[0] != '\0' && !IsNumberWord(pszWord))
    {
        DkLog("GETTING IN HERE !!!!!!!!!!!!!!!!!!!!!!!!!!!");
        std::snprintf(pszOut, STAGE_PATH_LENGTH, "%s", pszWord);
        return 1;
    }
    const uint8_t uSelection = GameData_GetByte(GD_STAGE_SELECTION);
    const int nCountry = uSelection & 0x0F;
    const int nStage = uSelection >> 4;
    if (boThisIsPodiumStage)
    {
        if (CountryStagePath(pszOut, nCountry, kPodiumStage))
            DkLog(DkFormatString("\nPodium filename : %s\n", pszOut));
        else
            DKREPORT("The podium's country has no stage folder");
        return 0;
    }
    if (DkEntries().IsRallySchool())
    {
        const int nLevel = GameData_GetSchoolGroup();
        const int nTask = GameData_GetSchoolTask() + 1;
        if (nLevel < 3)
            std::snprintf(pszOut, STAGE_PATH_LENGTH, "RALLSCHL\\TRACKS\\%s\\TASK%d\\TASK%d",
                          kSchoolLevelFolder[nLevel], nTask, nTask);
        else
            DKREPORT("The rally-school level has no stage folder");
        return 0;
    }
    if (GameData_GetByte(GD_GAME_TYPE) & kSecretBit)
    {
        if (nStage < 4)
            std::snprintf(pszOut, STAGE_PATH_LENGTH, "%s", kSecretStage[nStage]);
        else
            DKREPORT("The secret stage selection has no stage folder");
        return 0;
    }
    if (!CountryStagePath(pszOut, nCountry, nStage + 1))
        DKREPORT("The stage's country has no stage folder");
    return 0;
}

const char* Loading_GetCarCode(int nCarType)
{
    return kCarCode[nCarType >= 0 && nCarType < NUM_CAR_CODES ? nCarType : 0];
}

int BuildCarObjectPath(int nPlayer, char* pszFolderOut, char* pszNameOut)
{
    const int nCarType = GameData_GetPlayerInfo(nPlayer)[PI_CAR_TYPE] & 0x0F;
    const char* pszCode = Loading_GetCarCode(nCarType);
    std::snprintf(pszFolderOut, STAGE_PATH_LENGTH, "OBJECTS\\CARS\\%s", pszCode);
    std::snprintf(pszNameOut, STAGE_PATH_LENGTH, "%s%s", pszCode, "DAY");
    return nCarType;
}
