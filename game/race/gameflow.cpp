// The game flow: each timed function reads as the order of its state's tick.

#include "game/race/gameflow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "engine/common/dk_rand.h"
#include "engine/common/dk_text.h"
#include "engine/common/matrixop.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/dk_anim.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/dk_timer.h"
#include "engine/pc/core/main.h"
#include "engine/pc/input/dk_input.h"
#include "engine/pc/sound/dk_qsnd.h"
#include "game/effects/codriver.h"
#include "game/effects/crowdsnd.h"
#include "game/effects/effects.h"
#include "game/effects/forcefeedback.h"
#include "game/effects/prangsnd.h"
#include "game/effects/sun.h"
#include "game/effects/vrooom.h"
#include "game/effects/wchhhh.h"
#include "game/effects/weathsnd.h"
#include "game/hud/catseye.h"
#include "game/hud/endstage.h"
#include "game/hud/gamefade.h"
#include "game/hud/osd.h"
#include "game/hud/pause.h"
#include "game/hud/podium.h"
#include "game/hud/rs_main.h"
#include "game/hud/rs_menu.h"
#include "game/hud/schoolspeech.h"
#include "game/hud/setuprepair.h"
#include "game/hud/welcome.h"
#include "game/race/attract.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/interp.h"
#include "game/race/keys.h"
#include "game/race/loading.h"
#include "game/race/netplay.h"
#include "game/race/pertick.h"
#include "game/race/replay.h"
#include "game/race/splttime.h"
#include "game/race/stageinfo.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carcontrol.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"

namespace
{
// The game data's music level (low seven bits).
constexpr int kMusicLevelByte = 7;
constexpr int32_t ONE = DK_FIXED_ONE;
} // namespace

int32_t gNumberOfPlayers = 1;
uint8_t gnCurrentPlayer = 0;
std::atomic<BOOL> gboSecondPlayerTurn{FALSE};
std::atomic<BOOL> gboTurnSwitch{FALSE};
BOOL boThisIsPodiumStage = FALSE;
BOOL gbo50HzMode = FALSE;
int32_t gaStartHold[2] = {START_HOLD_TICKS, START_HOLD_TICKS};
int32_t gaPlayerStartScale[2] = {ONE, ONE};
BOOL gboStageRestart = FALSE;
BOOL gboGoToPodium = FALSE;
BOOL gboEndOfStage = FALSE;
BOOL gboGameOver = FALSE;
std::atomic<BOOL> gboFirstFrameDrawn{FALSE};

namespace
{

constexpr int kPlayers = 2;

// The start's phases, one at a time.
enum StartPhase
{
    kPhaseNone,
    kPhaseIntro,
    kPhaseWait,
    kPhaseHold,
    kPhaseLights,
    kPhaseRunIn
};

// The lights: 5 over 4.0 s, or 3 over 2.5 s in the school (16.16 seconds).
constexpr int kLights = 5;
constexpr int kSchoolLights = 3;
constexpr int32_t kLightTime = 4 * ONE;
constexpr int32_t kSchoolLightTime = 5 * ONE / 2;
// The wait for the network's players: 3.0 s.
constexpr int16_t kWaitTicks25 = 75;
constexpr int16_t kWaitTicks50 = 150;
// The "ready" message goes out on the first of every 51 ticks of the wait.
constexpr int kReadyPeriod = 51;
// The podium ends 250 ticks after its last replay.
constexpr int kPodiumTicks = 250;
// A two-player end stage shows the other car after 10 s of its clock.
constexpr int32_t kShownCarTime = 0x9ffff;
// The stage result records of the game data: 16 of 16 bytes.
constexpr int kEntrants = 16;
constexpr int kEntrantSize = 16;
constexpr int kEntrantDriver = 12;
constexpr int kEntrantWins = 13;
// The countries of a bonus rally, in order, each run at stage 6.
constexpr int kBonusCountries[4] = {1, 3, 5, 7};
constexpr int kBonusStage = 6;
// The country of the message roll's reward.
constexpr int kRewardCountry = 7;
// The school's lesson that leaves the school (byte 1728 bits 0-2).
constexpr int kSchoolLeaveLesson = 6;
// The languages' file names, by the game data's language index.
constexpr const char* kLanguageNames[] = {"english", "french", "german", "spanish", "italian"};
constexpr int kGameStrings = 322;
constexpr int kVkShift = 0x10;
constexpr int kVkQ = 'Q';

struct StartSeq
{
    int nPhase;
    int16_t nWait;
    int16_t nHold;
    int16_t nLights;
    int16_t nStepTicks;
    int16_t nRunIn;
    int16_t nLightTicks;
    int32_t nTicksInLight;
    BOOL boChanged;
    BOOL boFirstSamplePlayed;
    int32_t xFraction;
};

StartSeq gaStart[kPlayers] = {};
BOOL gaboPlayerFinished[kPlayers] = {};
BOOL gaboStartHolding[MAX_CARS] = {};
BOOL gboGhostPlaying = FALSE;
BOOL gboGhostArmed = FALSE;
BOOL gboGoPlayed = FALSE;
int gnReadyTicks = 0;
// The state the pause resumes.
int gnResumeState = GAME_STATE_RACE;
// The school's intro: over, its speech played; the speech of a run without the intro.
BOOL gboSchoolIntroDone = FALSE;
BOOL gboSchoolSpeechPlayed = FALSE;
BOOL gboExitPanStarted = FALSE;
// The two-player end stage: the car shown and the time it has been shown.
int gnShownCar = 0;
int32_t gxShownTime = 0;
// The podium: the replay slot playing (2 down to 0, -1 none left), its ticks after the last
// replay, the keys of the last tick and the donut replay.
int gnPodiumSlot = -1;
int gnPodiumTicks = 0;
uint32_t guPodiumKeys = 0;
BOOL gboPodiumKeysRead = FALSE;
BOOL gboDonutStarted = FALSE;

int Rate()
{
    return gbo50HzMode ? 50 : 25;
}

// One tick of the stage clock, 16.16 seconds.
int32_t TickTime()
{
    return ONE / Rate();
}

// The frames of the game's fades.
int32_t FadeFrames()
{
    return gbo50HzMode ? 25 : 12;
}

bool ValidPlayer(int nPlayer)
{
    return nPlayer >= 0 && nPlayer < kPlayers;
}

bool HasLayoutBits()
{
    return (GameData_GetByte(GD_LANGUAGE) & 0x18) != 0;
}

int StageMode()
{
    return GameData_GetByte(GD_GAME_TYPE) & 3;
}

int Country()
{
    return GameData_GetByte(GD_STAGE_SELECTION) & 0x0F;
}

int StageNibble()
{
    return GameData_GetByte(GD_STAGE_SELECTION) >> 4;
}

void SetSelection(int nCountry, int nStage)
{
    GameData_SetByte(GD_STAGE_SELECTION,
                     static_cast<uint8_t>(((nStage & 0x0F) << 4) | (nCountry & 0x0F)));
}

int StageCounter()
{
    return GameData_GetByte(GD_STAGE_COUNTERS) & 0x3F;
}

void SetStageCounter(int nCount)
{
    const uint8_t uKept = GameData_GetByte(GD_STAGE_COUNTERS) & 0xC0;
    GameData_SetByte(GD_STAGE_COUNTERS, static_cast<uint8_t>(uKept | (nCount & 0x3F)));
}

// The stage counters back to the first stage: the stage nibble and the stages run.
void ClearStageCounters()
{
    SetSelection(Country(), 0);
    SetStageCounter(0);
}

// The first stage of the custom selection (byte 356's ticked stages) above nAfter; -1 none.
int NextSelectedStage(int nAfter)
{
    const uint8_t uMask = GameData_GetByte(GD_COUNTRY_WORD);
    for (int s = nAfter + 1; s < 8; ++s)
        if (uMask & (1u << s))
            return s;
    return -1;
}

void ClearEntrantTimes()
{
    for (int e = 0; e < kEntrants; ++e)
        for (int i = 0; i < 4; ++i)
            GameData_SetByte(GD_ENTRANTS + e * kEntrantSize + i, 0);
}

// The player's car holds still while the start waits: its four control words cleared.
void HoldControls(int nPlayer)
{
    CarMechanics& m = gaCarMechanics[nPlayer];
    m.InputSteerLeft = m.InputSteerRight = m.InputAccel = m.InputBrake = 0;
    gaboStartHolding[nPlayer] = TRUE;
}

void ReleaseCar(int nPlayer)
{
    gaCarMechanics[nPlayer].Started = 1;
    CarModel_ApplyGearRatio(&gaCarMechanics[nPlayer]);
}

void ReadKeys(int nPlayer)
{
    ReadGameKeys(&gaCarMechanics[nPlayer], 0, nPlayer);
}

// Counts a phase's counter down while it runs, holding the car; FALSE once it has run out.
bool HoldWhileCounting(int16_t& nCounter, int nPlayer)
{
    if (nCounter <= 0)
        return false;
    --nCounter;
    HoldControls(nPlayer);
    return true;
}

// The wait for the network's players, then the hold.
void NetworkReadyStep(int nPlayer)
{
    StartSeq& s = gaStart[nPlayer];
    if (HoldWhileCounting(s.nWait, nPlayer))
        return;
    if (gboNetworkGame)
        NetPlay_SetCountdownOver();
    if (gboNetworkGame && !NetPlay_IsStartReceived())
    {
        if (NetPlay_IsReady())
        {
            if (gnReadyTicks % kReadyPeriod == 0 && !gboRaceFinished)
                NetPlay_SendReady();
            ++gnReadyTicks;
            NetPlay_SendCarState(0);
        }
        NetPlay_Poll();
        HoldControls(nPlayer);
        return;
    }
    gaboStartHolding[nPlayer] = FALSE;
    s.nPhase = kPhaseHold;
    Cameras_SetStoredMode(nPlayer, TRUE);
}

void HoldStep(int nPlayer)
{
    StartSeq& s = gaStart[nPlayer];
    if (HoldWhileCounting(s.nHold, nPlayer))
        return;
    gaboStartHolding[nPlayer] = FALSE;
    s.nPhase = kPhaseLights;
}

// The start of the stage once the lights are out: the car released, the clock running, the
// recording started.
void LightsOut(int nPlayer)
{
    StartSeq& s = gaStart[nPlayer];
    ReleaseCar(nPlayer);
    s.nPhase = kPhaseRunIn;
    StageTimer_Start(nPlayer);
    if (nPlayer == 0 && !gboGoPlayed)
    {
        PrangSnd_PlayGo();
        gboGoPlayed = TRUE;
        // A test's input script may time its keys from here.
        DkInputScriptMark("go");
    }
    if (GameData_IsOptionSet(OPTION_START_LIGHT_SCALE))
        Cameras_SetMode(nPlayer, CAMERA_TYPE_ORBIT_HIGH, FALSE);
    s.nLights = static_cast<int16_t>(GameData_IsRallySchool() ? kSchoolLights : kLights);
    if (ReplayHeader* pRecorder = Replay_GetPlayerSlot(nPlayer))
    {
        DkLog("Replay constructed...");
        DkLog(Replay_StartRecording(pRecorder, 0, nPlayer) ? "Started recording successfully"
                                                           : "Recording unsuccessful");
    }
    else
        DkLog("Replay not constructed...");
    if (!GameData_IsRallySchool() && gNumberOfPlayers == 1 && IsSuperSpecialStage())
    {
        if (gpreplSuperCPU != nullptr)
        {
            gnSuperCPUStartFrame = static_cast<uint16_t>(DkRand() * Rate() / DK_RAND_MAX);
            Replay_StartPlayback(gpreplSuperCPU, 0, gnSuperCPUStartFrame, 1);
            DkLog("Started gpreplSuperCPU");
        }
        else
            DkLog("Could not start gpreplSuperCPU");
    }
}

// One race tick of the player's start, then the keys.
void RaceStartTick(int nPlayer)
{
    StartSeq& s = gaStart[nPlayer];
    switch (s.nPhase)
    {
        case kPhaseIntro:
            Cameras_SetMode(nPlayer, CAMERA_TYPE_TV, FALSE);
            s.nPhase = kPhaseWait;
            break;
        case kPhaseWait:
            ReadKeys(nPlayer);
            NetworkReadyStep(nPlayer);
            break;
        case kPhaseHold:
            ReadKeys(nPlayer);
            HoldStep(nPlayer);
            break;
        case kPhaseLights:
            ReadKeys(nPlayer);
            StartSeq_Countdown(nPlayer);
            break;
        case kPhaseRunIn:
            ReadKeys(nPlayer);
            if (--s.nRunIn <= 0)
            {
                s.nPhase = kPhaseNone;
                if (gboNetworkGame)
                    NetPlay_SetReadyToRace();
            }
            break;
        default:
            if (GameData_IsRallySchool())
            {
                ReadKeys(nPlayer);
                School_CheckRunEnd();
                break;
            }
            if (IsSuperSpecialStage() && gboFinishReached && nPlayer == 0)
                OnPlayerFinished(0);
            if (nPlayer == 0 && gboGhostArmed && !gboGhostPlaying)
                Ghost_Start(1);
            ReadKeys(nPlayer);
            if (nPlayer == 1 && gaStartHold[1] != START_HOLD_TICKS)
            {
                CarMechanics& m = gaCarMechanics[1];
                m.InputSteerLeft = m.InputSteerRight = m.InputAccel = m.InputBrake = 0;
            }
            break;
    }
}

// The car pans and sounds of the cars heard, and with one player the stage's other sounds.
void TickSounds(int nCars, bool boStageSounds, bool boCrowd)
{
    for (int c = 0; c < nCars; ++c)
    {
        CarSound_UpdatePan(c);
        CarSound_Update(c);
    }
    if (!boStageSounds)
        return;
    SurfaceNoise_Update();
    PrangSnd_Update();
    WeatherNoise_Update();
    if (boCrowd)
        CrowdNoise_Update();
}

// The stage is over: the sounds down, the damage kept, the front end's music.
void EndRace()
{
    CarSound_SetLevel(0, 0);
    CarSound_SetLevel(0, 1);
    SurfaceNoise_StopAll();
    CoDriver_Mute();
    WeatherNoise_Stop();
    Damage_StoreDamagePercentages();
    PlayFrontendMusic();
    Replay_WriteRecordersForTests();
}

bool PauseRequested(int nResume)
{
    if (!PauseMenu_Start())
        return false;
    PauseMenu_Reset();
    gnResumeState = nResume;
    return true;
}

// The podium's replays, third slot first, each once the one before has ended.
void PlayPodiumReplays()
{
    if (gnPodiumSlot < 0)
        return;
    ReplayHeader* pSlot = Replay_GetPodiumSlot(gnPodiumSlot);
    if (pSlot != nullptr && Replay_IsPlaying(pSlot))
        return;
    if (pSlot != nullptr && Replay_HasPlayed(pSlot))
        --gnPodiumSlot;
    if (gnPodiumSlot < 0)
        return;
    pSlot = Replay_GetPodiumSlot(gnPodiumSlot);
    if (pSlot == nullptr)
        return;
    Replay_StartPlayback(pSlot, 0, 0, 0);
    Cameras_SetLookBack(TRUE, FALSE, 0, 0);
}

// Any key or button that differs from the last tick's ends the podium (a key held on entry
// does not).
bool PodiumKeyPressed()
{
    uint32_t uKeys = 0;
    for (const DK_CONTROLLER& c : gaControllers)
        uKeys |= c.uHeld;
    if (DkIsKeyHeld(DK_VK_RETURN) || DkIsKeyHeld(DK_VK_ESCAPE))
        uKeys |= 0x80000000u;
    const bool boPressed = gboPodiumKeysRead && uKeys != guPodiumKeys && uKeys != 0;
    guPodiumKeys = uKeys;
    gboPodiumKeysRead = TRUE;
    return boPressed;
}

bool RewardRoll()
{
    const int nMode = MessageRoll_GetMode();
    return Country() == kRewardCountry && nMode >= 1 && nMode <= 6;
}

void WriteResults()
{
    const char* pszPath = std::getenv("DEZOR_RESULTS");
    if (pszPath == nullptr || *pszPath == '\0')
        return;
    FILE* pFile = std::fopen(pszPath, "w");
    if (pFile == nullptr)
    {
        std::fprintf(stderr, "DEZOR_RESULTS: cannot write %s\n", pszPath);
        return;
    }
    // Taking turns, the second player's time sits in slot 0 after the second turn.
    if (IsAlternatingGame())
    {
        const int nFirst = gboSecondPlayerTurn ? 1 : 0;
        std::fprintf(pFile, "%d\n%d\n", gaPlayerFinishTime[nFirst], gaPlayerFinishTime[1 - nFirst]);
    }
    else
        for (int p = 0; p < gNumberOfPlayers && p < kPlayers; ++p)
            std::fprintf(pFile, "%d\n", gaPlayerFinishTime[p]);
    std::fclose(pFile);
}

// The words of a stage's run: the ghost, the start's "go", the school's intro and exit pan, the
// two-player end stage's shown car, the podium's replays and the network's ready ticks.
void ResetStageWords()
{
    Ghost_Reset();
    gboGoPlayed = FALSE;
    gboFirstFrameDrawn = FALSE;
    gboSchoolIntroDone = gboSchoolSpeechPlayed = gboExitPanStarted = FALSE;
    gnShownCar = 0;
    gxShownTime = 0;
    gnPodiumSlot = 2;
    gnPodiumTicks = 0;
    gboPodiumKeysRead = FALSE;
    gboDonutStarted = FALSE;
    gnReadyTicks = 0;
}

template <typename T> void SwapSlots(T* paTable)
{
    std::swap(paTable[0], paTable[1]);
}

// The stage's random seed: the time, or a test's fixed seed (DEZOR_RANDOM_SEED), so that a
// recorded run can be made again to the byte.
unsigned int StageSeed()
{
    const char* pszSeed = std::getenv("DEZOR_RANDOM_SEED");
    char* pszEnd = nullptr;
    if (pszSeed != nullptr && *pszSeed != '\0')
    {
        const unsigned long uSeed = std::strtoul(pszSeed, &pszEnd, 10);
        if (*pszEnd == '\0')
            return static_cast<unsigned int>(uSeed);
    }
    return DkGetMilliseconds();
}

} // namespace

int32_t NullFunction(void)
{
    DkDebugOutput("*******GAME_STATE NullFunction*********");
    return GAME_STATE_NONE;
}

int32_t InitGame(void)
{
    gboSecondPlayerTurn = FALSE;
    gnCurrentPlayer = 0;
    SetCDPathFromRegistry();
    LoadLanguageText();
    PauseMenu_Reset();
    if (GameData_IsRallySchool())
        return GAME_STATE_WELCOME;
    if (gboStageRestart)
    {
        DkLog("Restart: initgame");
        ClearStageCounters();
        gboStageRestart = FALSE;
    }
    else if (!GameData_IsAttractDemo())
    {
        const uint8_t uType = GameData_GetByte(GD_GAME_TYPE);
        if (uType & 0x80)
        {
            GameData_SetByte(GD_GAME_TYPE, static_cast<uint8_t>(uType & 0x7F));
            DkLog("Calling step onto next stage from init game...");
            StepOntoNextStage();
        }
        else if (StageCounter() == 0)
        {
            switch (StageMode())
            {
                case 0:
                    SetSelection(Country(), 0);
                    break;
                case 1:
                    if (uType & 0x20)
                        SetSelection(kBonusCountries[0], kBonusStage);
                    else
                        SetSelection(Country(), 0);
                    break;
                case 2:
                {
                    const int nStage = NextSelectedStage(-1);
                    if (nStage >= 0)
                        SetSelection(Country(), nStage);
                    break;
                }
                default:
                    break;
            }
            for (int e = 0; e < kEntrants; ++e)
            {
                const int nAt = GD_ENTRANTS + e * kEntrantSize;
                for (int i = 0; i < kEntrantSize; ++i)
                    GameData_SetByte(nAt + i, 0);
                GameData_SetByte(nAt + kEntrantDriver, static_cast<uint8_t>(e & 0x0F));
            }
            // Without the championship layout the field's drivers 0, 6, 9 and 10 take no wins.
            if (!HasLayoutBits())
                for (int e : {0, 6, 9, 10})
                    GameData_SetByte(GD_ENTRANTS + e * kEntrantSize + kEntrantWins, 255);
        }
    }
    return Welcome_IsShown() ? GAME_STATE_WELCOME : GAME_STATE_SETUP_REPAIR;
}

int32_t StepOntoNextStage(void)
{
    if (!GameData_IsRallySchool())
    {
        const bool boSecondTurn = IsAlternatingGame() && gboSecondPlayerTurn;
        if (!boSecondTurn && (gboGoToPodium || gboStageRestart))
            return 1;
        if (!gboGameRunning.load())
            return 0;
    }
    const int nCounter = StageCounter() + 1;
    SetStageCounter(nCounter);
    const uint8_t uType = GameData_GetByte(GD_GAME_TYPE);
    const int nLimit = HasLayoutBits() ? (GameData_GetByte(GD_COUNTRY_STAGES) & 0x0F) : 3;
    switch (StageMode())
    {
        case 0:
        {
            const int nStage = StageNibble() + 1;
            SetSelection(Country(), nStage);
            if (nStage >= nLimit)
                return StepOntoNextChampionshipCountry();
            return 1;
        }
        case 1:
        {
            if (uType & 0x20)
            {
                if (nCounter >= 4)
                    return 0;
                SetSelection(kBonusCountries[nCounter], kBonusStage);
                return 1;
            }
            const int nStage = StageNibble() + 1;
            SetSelection(Country(), nStage);
            return nStage >= nLimit ? 0 : 1;
        }
        case 2:
        {
            const int nStage = NextSelectedStage(StageNibble());
            if (nStage < 0)
                return 0;
            SetSelection(Country(), nStage);
            return 1;
        }
        default:
            return 0;
    }
}

int32_t StepOntoNextChampionshipCountry(void)
{
    ClearEntrantTimes();
    DkLog("StepOntoNextChampionshipCountry");
    const int nCountry = Country();
    if (GameData_IsRallySchool() || nCountry > (HasLayoutBits() ? 6 : 4) || !gboGameRunning.load())
        return 0;
    // The new country starts at its first stage.
    SetSelection(nCountry + 1, 0);
    const uint8_t uStages = GameData_GetByte(GD_COUNTRY_STAGES);
    GameData_SetByte(GD_COUNTRY_STAGES,
                     static_cast<uint8_t>((uStages & 0xF0) | 6 |
                                          (SuperSpecial_IsLaneKey(nCountry + 1) ? 1 : 0)));
    return 1;
}

int32_t GameState_Welcome(void)
{
    if (!GameData_IsRallySchool())
        return Welcome_Update() ? GAME_STATE_SETUP_REPAIR : GAME_STATE_WELCOME;
    DkSetActivateDispatch(FALSE);
    if (!SchoolMenu_Handler())
        return GAME_STATE_WELCOME;
    if (SchoolMenu_IsFadeDone() ||
        (GameData_GetByte(GD_SCHOOL_SELECTION) & 7) == kSchoolLeaveLesson)
    {
        DkSetActivateDispatch(TRUE);
        // Back to the front end, as the end of any game does: it waits for the flags.
        GameHandler_ReturnToFrontend();
        GameHandler_SetInitialised(FALSE);
        return GAME_STATE_OVER;
    }
    return GAME_STATE_SETUP_REPAIR;
}

int32_t GameState_SetupRepair(void)
{
    if (!SetupRepair_IsAvailable())
        return GAME_STATE_INIT_STAGE;
    return SetupRepair_Handler() ? GAME_STATE_INIT_STAGE : GAME_STATE_SETUP_REPAIR;
}

int32_t InitStage(void)
{
    const bool boSchool = GameData_IsRallySchool();
    const bool boDemo = GameData_IsAttractDemo();
    DkLog("****************************");
    DkLog("** FUNCTION : InitStage() **");
    DkLog("****************************");
    for (int32_t& nSection : gaCarTrackSection)
        nSection = 0;
    gboRaceFinished = FALSE;
    gboEndOfStage = FALSE;
    NetPlay_CountPlayers(FALSE);
    NetPlay_ActivateJoinedPlayers();
    ReadGameKeys_Reset();

    DkEntries().SetGameOptionBits(boDemo ? TRUE : FALSE, boSchool ? TRUE : FALSE,
                                  !boSchool && IsSuperSpecialStage() ? TRUE : FALSE, StageMode());
    InitialiseAmbientLight();

    gbo50HzMode = boSchool || IsTwoPlayerGame() || StageInfo_GetLight() == 8 ||
                          !GameData_IsOptionSet(OPTION_FIFTY_STEPS)
                      ? FALSE
                      : TRUE;
    StageTimer_ResetAll();
    gnResumeState = GAME_STATE_RACE;
    gboPauseLocked = FALSE;
    gboPodiumSkip = FALSE;
    gaStartHold[0] = gaStartHold[1] = START_HOLD_TICKS;

    if (!boSchool)
    {
        gboStageRestart = FALSE;
        if (gboGoToPodium)
        {
            boThisIsPodiumStage = TRUE;
            Podium_Init();
        }
        else
            boThisIsPodiumStage = FALSE;
    }
    else
        School_SetLessonOptions();

    ResetFinishFlags();
    ResetStageWords();
    DkDebugOutput("Initialising the game");
    SetCDPathFromRegistry();
    LoadLanguageText();

    if (gboNetworkGame && !boDemo)
    {
        NetPlay_InitGame();
        gnNetSendCountdown = NetPlay_GetSendInterval();
    }
    InitPlayerStart(0);
    InitPlayerStart(1);

    if (IsTwoPlayerGame())
    {
        gNumberOfPlayers = 2;
        DkLog("Two Player Game Started");
    }
    else if (boSchool)
    {
        gNumberOfPlayers = 1;
        DkLog("\nONE PLAYER SCHOOL STARTED\n");
    }
    else
    {
        gNumberOfPlayers = 1;
        DkLog("ONE PLAYER GAME STARTED");
    }

    DkInitialiseTrigTables();
    MessageRoll_Reset();
    CarModel_SetStepRate(gbo50HzMode ? 50 * ONE : 25 * ONE);
    CarModel_ClearAll();
    gboFirstMechanicsTick = TRUE;
    gboMechanicsTickDone = FALSE;
    gboInitialShadowPositionSet = FALSE;
    CarControl_SetSteeringSensitivity();
    ForceFeedback_CreateEffects();
    NetPlay_ResetRemoteHistory();
    DkSRand(StageSeed());

    if (boSchool)
        return GAME_STATE_SCHOOL;
    if (boThisIsPodiumStage)
        return GAME_STATE_REPLAY;
    if (boDemo)
        return GAME_STATE_END_STAGE;
    return GAME_STATE_RACE;
}

void InitPlayerStart(int nPlayer)
{
    if (!ValidPlayer(nPlayer))
        return;
    StartSeq& s = gaStart[nPlayer];
    const bool boSchool = GameData_IsRallySchool();
    s = StartSeq{};
    gaStartHold[nPlayer] = START_HOLD_TICKS;
    gaPlayerStartScale[nPlayer] = ONE;
    gaboStartHolding[nPlayer] = FALSE;
    if (!boThisIsPodiumStage && !GameData_IsAttractDemo() &&
        (!boSchool || GameData_GetSchoolTask() > 1))
    {
        s.nStepTicks = static_cast<int16_t>(StartLights_GetStepTicks());
        s.nLightTicks = s.nStepTicks;
        s.nRunIn = START_RUN_IN_TICKS;
        s.nPhase = boSchool ? kPhaseLights : kPhaseIntro;
        s.nWait = gbo50HzMode ? kWaitTicks50 : kWaitTicks25;
        s.nHold = 0;
        s.nLights = static_cast<int16_t>(boSchool ? kSchoolLights : kLights);
        return;
    }
    ReleaseCar(nPlayer);
}

int32_t StartLights_GetStepTicks(void)
{
    const bool boSchool = GameData_IsRallySchool();
    const int64_t xTime = boSchool ? kSchoolLightTime : kLightTime;
    const int nLights = boSchool ? kSchoolLights : kLights;
    return static_cast<int32_t>((xTime * Rate() / nLights) >> 16) - 1;
}

void StartSeq_Countdown(int nPlayer)
{
    if (!ValidPlayer(nPlayer))
        return;
    StartSeq& s = gaStart[nPlayer];
    const bool boSchool = GameData_IsRallySchool();
    const int nLights = boSchool ? kSchoolLights : kLights;
    const int32_t xLightTime = boSchool ? kSchoolLightTime : kLightTime;
    s.boChanged = FALSE;
    if (s.nLights > 0)
    {
        if (gaStartHold[nPlayer] != START_HOLD_TICKS)
        {
            CarMechanics& m = gaCarMechanics[nPlayer];
            m.InputSteerLeft = m.InputSteerRight = m.InputAccel = m.InputBrake = 0;
        }
        if (nPlayer == 0 && !s.boFirstSamplePlayed)
        {
            PrangSnd_PlayCountdown(s.nLights);
            s.boFirstSamplePlayed = TRUE;
        }
        if (s.nLightTicks > 0)
            --s.nLightTicks;
        ++s.nTicksInLight;
        s.xFraction = s.nTicksInLight * ONE / Rate();
        const int32_t xLightLength = xLightTime / nLights;
        if (GameData_IsOptionSet(OPTION_START_LIGHT_SCALE))
        {
            const int32_t xScale = FfDiv(s.xFraction, xLightLength);
            gaPlayerStartScale[nPlayer] = xScale < 0 ? 0 : xScale > ONE ? ONE : xScale;
        }
        // A light lasts until its ticks make up the light time shared by the lights, counted
        // in whole ticks so that 25 and 50 ticks a second give 20 and 40 ticks a light.
        if (static_cast<int64_t>(s.nTicksInLight) * nLights * ONE >=
            static_cast<int64_t>(xLightTime) * Rate())
        {
            --s.nLights;
            s.boChanged = TRUE;
            s.nTicksInLight = 0;
            s.xFraction = 0;
            s.nLightTicks = s.nStepTicks;
            if (nPlayer == 0 && s.nLights > 0)
                PrangSnd_PlayCountdown(s.nLights);
        }
    }
    if (s.nLights <= 0)
        LightsOut(nPlayer);
}

BOOL StartSeq_IsIntroDone(int nPlayer)
{
    return ValidPlayer(nPlayer) && gaStart[nPlayer].nPhase != kPhaseIntro ? TRUE : FALSE;
}

BOOL StartSeq_IsWaitDone(int nPlayer)
{
    if (!ValidPlayer(nPlayer))
        return FALSE;
    const int n = gaStart[nPlayer].nPhase;
    return n != kPhaseIntro && n != kPhaseWait ? TRUE : FALSE;
}

BOOL StartSeq_IsHoldDone(int nPlayer)
{
    if (!ValidPlayer(nPlayer))
        return FALSE;
    const int n = gaStart[nPlayer].nPhase;
    return n == kPhaseNone || n >= kPhaseLights ? TRUE : FALSE;
}

BOOL StartSeq_IsCountdownDone(int nPlayer)
{
    if (!ValidPlayer(nPlayer))
        return FALSE;
    const int n = gaStart[nPlayer].nPhase;
    return n == kPhaseNone || n == kPhaseRunIn ? TRUE : FALSE;
}

BOOL StartSeq_IsRunning(int nPlayer)
{
    return ValidPlayer(nPlayer) && gaStart[nPlayer].nPhase != kPhaseNone ? TRUE : FALSE;
}

BOOL StartSeq_IsHoldingCar(int nCar)
{
    return nCar >= 0 && nCar < MAX_CARS ? gaboStartHolding[nCar] : FALSE;
}

BOOL StartLights_GetChanged(int nPlayer)
{
    return ValidPlayer(nPlayer) ? gaStart[nPlayer].boChanged : FALSE;
}

int32_t StartLights_GetLightsLeft(int nPlayer)
{
    return ValidPlayer(nPlayer) ? gaStart[nPlayer].nLights : 0;
}

int32_t StartLights_GetTickCounter(int nPlayer)
{
    return ValidPlayer(nPlayer) ? gaStart[nPlayer].nLightTicks : 0;
}

int32_t StartSeq_GetRunInCounter(int nPlayer)
{
    return ValidPlayer(nPlayer) ? gaStart[nPlayer].nRunIn : 0;
}

int32_t GameState_Race(void)
{
    StageTimer_Advance(TickTime());
    if (!gboFirstFrameDrawn.load())
        return GAME_STATE_RACE;
    CoDriver_Update();
    const bool boTwo = gNumberOfPlayers == 2;
    SplitTime_RecordFinish();
    RaceStartTick(0);
    if (boTwo)
        RaceStartTick(1);
    if (PauseRequested(GAME_STATE_RACE))
        return GAME_STATE_PAUSE;

    UpdateMechanics();
    DkUpdateAnimatedTextures();
    if (GameData_IsRallySchool() && StartSeq_IsCountdownDone(0))
        School_UpdateInGame();
    Effects_UpdateAll();
    TickSounds(boTwo ? 2 : 1, !boTwo, true);

    if (!boTwo && GameData_IsRallySchool())
        return GAME_STATE_RACE;
    if (!gboRaceFinished)
        return GAME_STATE_RACE;
    if (boTwo)
        DkLog("Entering End stage");
    EndRace();
    return GAME_STATE_END_STAGE;
}

int32_t GameState_Replay(void)
{
    if (GameData_IsRallySchool())
        return GAME_STATE_LEAVE_GAME;
    if (Replay_GetPodiumSlot(0) == nullptr || Replay_GetPodiumSlot(1) == nullptr)
    {
        gboEndOfStage = TRUE;
        return GAME_STATE_LEAVE_GAME;
    }
    StageTimer_Advance(TickTime());
    if (!gboFirstFrameDrawn.load())
        return GAME_STATE_REPLAY;
    if (PodiumKeyPressed())
    {
        if (RewardRoll())
            MessageRoll_GrantReward();
        return GAME_STATE_END_STAGE;
    }
    if (MessageRoll_IsFinished())
    {
        if (!gboDonutStarted)
        {
            PlayDonutReplay();
            gboDonutStarted = TRUE;
        }
        return MessageRoll_Update() ? GAME_STATE_LEAVE_GAME : GAME_STATE_REPLAY;
    }
    PlayPodiumReplays();
    if (Podium_IsReplayDone())
    {
        CarMechanics& m = gaCarMechanics[0];
        m.InputSteerLeft = m.InputSteerRight = m.InputAccel = m.InputBrake = 0;
        ReadPodiumKeys();
        if (gboPodiumSkip || ++gnPodiumTicks >= kPodiumTicks)
            gboEndOfStage = TRUE;
        // No mechanics this tick: the cars stand where they are drawn.
        for (int p = 0; p < kPlayers; ++p)
            SetViewCopyPending(p);
        Cameras_Update(0);
    }
    else
    {
        UpdateMechanics();
        DkUpdateAnimatedTextures();
    }
    Effects_UpdateAll();
    TickSounds(1, true, true);
    if (gboEndOfStage)
    {
        if (RewardRoll())
            MessageRoll_Finish();
        else
        {
            CarSound_SetLevel(0, 0);
            SurfaceNoise_StopAll();
            return GAME_STATE_END_STAGE;
        }
    }
    return GAME_STATE_REPLAY;
}

int32_t GameState_School(void)
{
    if (PauseRequested(GAME_STATE_SCHOOL))
        return GAME_STATE_PAUSE;
    if (!GameData_IsRallySchool())
        return GAME_STATE_RACE;
    if (!gboFirstFrameDrawn.load())
        return GAME_STATE_SCHOOL;
    if (gboSchoolIntroDone)
        return GAME_STATE_RACE;
    if (School_PlayIntroPan())
        return GAME_STATE_SCHOOL;
    if (!GameFade_IsDone())
    {
        GameFade_Step();
        return GAME_STATE_SCHOOL;
    }
    if (!gboSchoolSpeechPlayed)
    {
        School_RestorePlayerInfo();
        Cameras_SetLookBack(FALSE, FALSE, 0, 0);
        Cameras_SetStoredMode(0, FALSE);
        GameFade_In(FadeFrames());
        SchoolSpeech_PlayQueued();
        gboSchoolSpeechPlayed = TRUE;
    }
    UpdateMechanics();
    DkUpdateAnimatedTextures();
    DkSetDrawingFrame(1);
    Effects_UpdateAll();
    TickSounds(1, true, false);
    if (DkIsQChannelPlaying(SchoolSpeech_GetChannel()))
        return GAME_STATE_SCHOOL;
    if (GameData_GetByte(GD_SCHOOL_SELECTION) < 64)
        ReleaseCar(0);
    gboSchoolIntroDone = TRUE;
    return GAME_STATE_RACE;
}

int32_t GameState_EndStage(void)
{
    bool boOver = false;
    const bool boTwo = gNumberOfPlayers == 2;
    if (GameData_IsRallySchool() || boThisIsPodiumStage)
    {
        if (boThisIsPodiumStage)
            gboGoToPodium = FALSE;
        boOver = true;
    }
    else
    {
        if (GameData_IsAttractDemo())
            boOver = DemoLogo_Update() != 0;
        else
            EndStage_Update();
        if (boTwo && !HasPlayerFinished(1 - gnShownCar))
        {
            gxShownTime += TickTime();
            if (gxShownTime > kShownCarTime)
            {
                gxShownTime = 0;
                CarSound_SetLevel(0, gnShownCar);
                gnShownCar = 1 - gnShownCar;
                for (int p = 0; p < kPlayers; ++p)
                {
                    Cameras_SetLookBack(TRUE, FALSE, p, gnShownCar);
                    Cameras_SetMode(p, CAMERA_TYPE_ORBIT, FALSE);
                }
            }
        }
        const bool boSuper = IsSuperSpecialStage() != FALSE;
        bool boStopped = !Replay_IsPlaying(Replay_GetPlayerSlot(0));
        if (boTwo)
            boStopped = boStopped && !Replay_IsPlaying(Replay_GetPlayerSlot(1));
        else if (boSuper)
            boStopped = boStopped && !Replay_IsPlaying(gpreplSuperCPU);
        if (boStopped)
        {
            if (!GameFade_IsDone())
                GameFade_Step();
            else
            {
                ForceFeedback_StopEffects();
                for (int p = 0; p < gNumberOfPlayers; ++p)
                {
                    Replay_StartPlayback(Replay_GetPlayerSlot(p), 0, 0, p);
                    Cameras_SetLookBack(TRUE, FALSE, p, boTwo ? gnShownCar : p);
                    Cameras_SetMode(p, CAMERA_TYPE_ORBIT, FALSE);
                    SetViewCopyPending(p);
                }
                if (!boTwo && boSuper && gpreplSuperCPU != nullptr)
                    Replay_StartPlayback(gpreplSuperCPU, 0, gnSuperCPUStartFrame, 1);
                GameFade_In(FadeFrames());
            }
        }
        UpdateMechanics();
        DkUpdateAnimatedTextures();
        Effects_UpdateAll();
        if (boTwo)
        {
            CarSound_UpdatePan(gnShownCar);
            CarSound_Update(gnShownCar);
        }
        else
            TickSounds(boSuper ? 2 : 1, true, true);
        if (!GameData_IsAttractDemo())
            boOver = EndStage_IsActive() == 0;
    }
    if (!boOver)
        return GAME_STATE_END_STAGE;
    MessageRoll_ResetEntrance();
    GameFade_Out(FadeFrames());
    return GAME_STATE_LEAVE_GAME;
}

int32_t GameState_ExitPan(void)
{
    if (PauseRequested(GAME_STATE_RACE))
        return GAME_STATE_PAUSE;
    UpdateMechanics();
    DkUpdateAnimatedTextures();
    Effects_UpdateAll();
    TickSounds(1, true, false);
    if (GameData_IsRallySchool())
    {
        if (!gboExitPanStarted)
        {
            if (!GameFade_IsDone())
            {
                GameFade_Step();
                return GAME_STATE_EXIT_PAN;
            }
            School_PlayExitPan();
            DkLog("rally exit pan initialised");
            SchoolSpeech_SayTotalMark();
            gboExitPanStarted = TRUE;
            return GAME_STATE_EXIT_PAN;
        }
        if (School_PlayExitPan() || DkIsQChannelPlaying(SchoolSpeech_GetChannel()))
            return GAME_STATE_EXIT_PAN;
    }
    StageTimer_ResetAll();
    return GAME_STATE_LEAVE_GAME;
}

int32_t PauseGame(void)
{
    ForceFeedback_StopEffects();
    if (gboNetworkGame)
    {
        NetPlay_SendCarState(1);
        NetPlay_Poll();
        NetPlay_PredictRemoteCars();
    }
    PauseMenu_HandleInput();
    if (DkIsKeyHeld(kVkShift) && DkIsKeyHeld(kVkQ))
        return GAME_STATE_LEAVE_GAME;
    if (PauseMenu_GetQuitChoice())
    {
        DkLog("Leaving from PauseGame");
        DkLog("****************************");
        GameFade_Out(FadeFrames());
        return GAME_STATE_LEAVE_GAME;
    }
    if (PauseMenu_GetModeChoice())
    {
        gboStageRestart = TRUE;
        GameFade_Out(FadeFrames());
        return GAME_STATE_LEAVE_GAME;
    }
    if (PauseMenu_GetSchoolQuitChoice())
        return GAME_STATE_EXIT_PAN;
    if (!PauseMenu_TakeResumedFlagB())
        return GAME_STATE_PAUSE;
    // Escape that closed the menu must be let go before it can open it again.
    if (DkIsKeyHeld(DK_VK_ESCAPE))
        gboPauseLocked = TRUE;
    ForceFeedback_StartEffects();
    return gnResumeState;
}

int32_t GameState_LeaveGame(void)
{
    if (!GameFade_IsDone())
    {
        CarSound_SetLevel(0, 0);
        CarSound_SetLevel(0, 1);
        SurfaceNoise_StopAll();
        return GAME_STATE_LEAVE_GAME;
    }
    for (int p = 0; p < kPlayers; ++p)
        Replay_StopPlayback(Replay_GetPlayerSlot(p));
    if (gNumberOfPlayers == 1 && IsSuperSpecialStage())
        Replay_StopPlayback(gpreplSuperCPU);
    gboEndOfStage = FALSE;
    DkLog("Before quit check...");

    bool boEnd;
    if (GameData_IsRallySchool())
        boEnd = PauseMenu_GetQuitChoice() != FALSE;
    else if (gboStageRestart)
    {
        ClearStageCounters();
        boEnd = true;
    }
    else if (GameData_IsAttractDemo() || PauseMenu_GetQuitChoice())
        boEnd = true;
    else if (IsAlternatingGame() && !gboSecondPlayerTurn)
    {
        DkLog("About to switch to Player2");
        gboTurnSwitch = TRUE;
        gboSecondPlayerTurn = TRUE;
        gnCurrentPlayer = 1;
        InitStage();
        DispInitStage();
        Osd_ResetState();
        SplitTime_Reset();
        DkStopAllQChannels();
        SwapTwoPlayerAlternateCars();
        ResetFinishFlags();
        InitPlayerStart(0);
        Cameras_SetMode(0, CAMERA_TYPE_CHASE_FAR, FALSE);
        CarSound_RestoreVolume();
        return GAME_STATE_RACE;
    }
    else
        boEnd = !StepOntoNextStage() || MessageRoll_IsFinished();

    if (!boEnd)
    {
        gboSecondPlayerTurn = FALSE;
        gnCurrentPlayer = 0;
        if (GameData_IsRallySchool())
            return GAME_STATE_WELCOME;
        return Welcome_IsShown() ? GAME_STATE_WELCOME : GAME_STATE_SETUP_REPAIR;
    }
    gboGameOver = TRUE;
    GameHandler_ReturnToFrontend();
    GameHandler_SetInitialised(FALSE);
    return GAME_STATE_OVER;
}

void SwapTwoPlayerAlternateCars(void)
{
    DkLog("SwapTwoPlayerAlternateCars");
    SwapSlots(gaStart);
    SwapSlots(gaboPlayerFinished);
    SwapSlots(gaboStartHolding);
    SwapSlots(gaStartHold);
    SwapSlots(gaPlayerStartScale);
    SwapSlots(gaPlayerFinishTime);
    SwapSlots(gaSplitTimeTable);
    SwapSlots(gaSplitsPassed);
    SwapSlots(gaCatsEyeHead);
    SwapSlots(gaNearestCheckpoint);
    SwapSlots(gaCarTrackSection);
    SwapSlots(gaPlayerView);
    SwapSlots(gaCarBody);
    SwapSlots(gaCarMechanics);
}

BOOL HasPlayerFinished(int nPlayer)
{
    return ValidPlayer(nPlayer) ? gaboPlayerFinished[nPlayer] : FALSE;
}

void ResetFinishFlags(void)
{
    gaboPlayerFinished[0] = FALSE;
    gaboPlayerFinished[1] = FALSE;
}

void OnPlayerFinished(int nPlayer)
{
    if (!ValidPlayer(nPlayer))
        return;
    if (!GameData_IsRallySchool() && GetGameState() == GAME_STATE_RACE &&
        !gaboPlayerFinished[nPlayer] &&
        !GameData_IsAttractDemo() && !IsTwoPlayerGame() && !IsAlternatingGame() && nPlayer == 0)
    {
        gaboPlayerFinished[0] = TRUE;
        gaPlayerFinishTime[0] = StageTimer_GetHundredths(0);
        CoDriver_PlayEndStageComment(gaPlayerFinishTime[0]);
    }
    gaboPlayerFinished[nPlayer] = TRUE;
}

void Ghost_Reset(void)
{
    gboGhostPlaying = FALSE;
    gboGhostArmed = FALSE;
}

void Ghost_Start(int nPlayer)
{
    (void)nPlayer;
    gboGhostPlaying = TRUE;
}

void Ghost_Stop(void)
{
    gboGhostPlaying = FALSE;
}

int32_t Ghost_Load(const char* pszName)
{
    (void)pszName;
    return 0;
}

BOOL Ghost_IsPlaying(void)
{
    return gboGhostPlaying;
}

BOOL Ghost_IsArmed(void)
{
    return gboGhostArmed;
}

void SetCDPathFromRegistry(void)
{
    const char* pszValue = DkRegGetString("CDPath");
    std::string path = pszValue != nullptr ? pszValue : "";
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    DkSetCDPath(path.empty() ? "Q:\\Game" : (path + "\\game").c_str());
}

BOOL LoadLanguageText(void)
{
    const int nLanguage = GameData_GetByte(GD_LANGUAGE) & 7;
    // Three bits hold values the five language files do not cover.
    if (!TRYBOOL_MSG(nLanguage < static_cast<int>(std::size(kLanguageNames)),
                     "LoadLanguageText: the language index is out of range"))
        return FALSE;
    char szPath[64];
    std::snprintf(szPath, sizeof szPath, "language\\%s.txt", kLanguageNames[nLanguage]);
    char* pImage = static_cast<char*>(DkMallocLoadFile(szPath, DKLF_CD));
    if (pImage == nullptr)
        return FALSE;
    const uint32_t uSize = DkGetLastFileSize();
    DkInitialiseLanguageText(1, kGameStrings, &pImage, &uSize);
    return TRUE;
}

void PlayFrontendMusic(void)
{
    // The stage is over: nothing records any more.
    for (ReplayHeader* pRecorder : gapRecorders)
        Replay_StopRecording(pRecorder);
    // The front end's tune, streamed on a channel of its own and looped, at the music level.
    const char* pszWav = DkRegGetString("WAVPath");
    char path[260];
    std::snprintf(path, sizeof path, "%s\\new_fe\\sounds\\music\\frontend.wav",
                  pszWav != nullptr ? pszWav : "");
    const int nChannel = DkGetNumQChannels();
    DkOpenQChannel(nChannel);
    const int nWave = DkGetNumQSamples();
    DkSetUpQStream(path);
    DkSetQChannelVolume(nChannel, (GameData_GetByte(kMusicLevelByte) & 0x7F) * 400000 / 100);
    DkPlayQSample(nWave, nChannel, -1);
}

void GameHandler_ReturnToFrontend(void)
{
    WriteResults();
    gboGoIntoGame = 0;
    gboFrontendActive = 1;
}

void GameFlow_ResetForTests(void)
{
    gbo50HzMode = FALSE;
    gNumberOfPlayers = 1;
    gnCurrentPlayer = 0;
    gboSecondPlayerTurn = FALSE;
    gboStageRestart = gboGoToPodium = gboEndOfStage = gboGameOver = FALSE;
    gboFirstFrameDrawn = FALSE;
    for (int p = 0; p < kPlayers; ++p)
    {
        gaStart[p] = StartSeq{};
        gaStartHold[p] = START_HOLD_TICKS;
        gaPlayerStartScale[p] = ONE;
        gaboPlayerFinished[p] = FALSE;
    }
    for (BOOL& bo : gaboStartHolding)
        bo = FALSE;
    gnResumeState = GAME_STATE_RACE;
    guPodiumKeys = 0;
    ResetStageWords();
}

void Ghost_SetPlayingForTests(BOOL boPlaying)
{
    gboGhostPlaying = boPlaying;
}

void StartSeq_SetHoldingForTests(int nCar, BOOL boHolding)
{
    if (nCar >= 0 && nCar < MAX_CARS)
        gaboStartHolding[nCar] = boHolding;
}

void GameHandler_SetFinishedForTests(int nPlayer, BOOL boFinished)
{
    if (ValidPlayer(nPlayer))
        gaboPlayerFinished[nPlayer] = boFinished;
}

int GameFlow_GetStartPhaseForTests(int nPlayer)
{
    return ValidPlayer(nPlayer) ? gaStart[nPlayer].nPhase : kPhaseNone;
}

int GameFlow_GetShownCarForTests(void)
{
    return gnShownCar;
}

int GameFlow_GetResumeStateForTests(void)
{
    return gnResumeState;
}
