// The game handler: the game's per-pass entry and its state machine.
//
// The words the tick writes and the display step reads (the pending flags, the two states, the
// display counters) are atomic: in the conventional pacing the tick runs on the timer thread
// while the main thread draws.

#include "game/race/gmhndlr.h"

#include <cstdio>
#include <cstdlib>

#include "engine/common/destruct.h"
#include "engine/include/dk_entries.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_timer.h"
#include "engine/pc/core/main.h"
#include "engine/pc/input/dk_input.h"
#include "game/race/display.h"
#include "game/race/gamedata.h"
#include "game/race/loading.h"
#include "game/race/netplay.h"
#include "game/vehicle/carmodel.h"

BOOL gboGameDisplayReady = FALSE;
BOOL gboLoadingScreenUp = FALSE;
// The car loading sets it from the graphics options before it reads a car model.
int32_t gboMediumDetailCar = 0;
std::atomic<int32_t> gnGameState{GAME_STATE_NONE};
std::atomic<int32_t> gnLastGameState{GAME_STATE_NONE};
std::atomic<BOOL> gboGameRunning{FALSE};
std::atomic<BOOL> gboGameInterruptRunning{FALSE};
std::atomic<int32_t> gnDisplayCalls{0};
std::atomic<int32_t> gnDisplayAllowance{0};
int32_t gnOptimisedDisplayPhase = 2;

GAME_STATE_ROW gaGameStateTable[NUM_GAME_STATES + 1] = {
    {GAME_STATE_NONE, 0, NullFunction, DispStateNone},
    {GAME_STATE_INIT_GAME, 0, InitGame, DispInitGame},
    {GAME_STATE_WELCOME, 0, GameState_Welcome, DispWelcome},
    {GAME_STATE_SETUP_REPAIR, 0, GameState_SetupRepair, DispSetupRepair},
    {GAME_STATE_INIT_STAGE, 0, InitStage, DispInitStage},
    {GAME_STATE_RACE, 0, GameState_Race, DispRace},
    {GAME_STATE_REPLAY, 0, GameState_Replay, DispRace},
    {GAME_STATE_SCHOOL, 0, GameState_School, DispSchool},
    {GAME_STATE_END_STAGE, 0, GameState_EndStage, DispEndStage},
    {GAME_STATE_EXIT_PAN, 0, GameState_ExitPan, DispExitPan},
    {GAME_STATE_PAUSE, 0, PauseGame, DispPause},
    {GAME_STATE_LEAVE_GAME, 0, GameState_LeaveGame, DispLeaveGame},
    {GAME_STATE_OVER, 0, NullFunction, DispStateNone},
    {-1, -1, nullptr, nullptr},
};

namespace
{

// The running states, paced by the timer or the slots.
constexpr int kFirstRunningState = GAME_STATE_RACE;
constexpr int kLastRunningState = GAME_STATE_PAUSE;
// The optimised pacing's slot of the millisecond clock.
constexpr uint32_t kSlotMs = 40;
// The conventional pacing's timer: the first tick 33 ms after the start.
constexpr unsigned kTimerPeriodMs = 33;

// The table's own functions, which the test hook's reset puts back.
struct StateFns
{
    GAME_TIMED_FN pfnTimed;
    GAME_DISPLAY_FN pfnDisplay;
};
StateFns gaDefaultFns[NUM_GAME_STATES];
bool gboDefaultsTaken = false;

std::atomic<BOOL> gboGameHandlerInitialised{FALSE};
// The timer could not be started: this game runs in the optimised slots instead.
BOOL gboPacingFallback = FALSE;
void (*gpfnSpinHook)(void) = nullptr;

// DEZOR_TRACE: the file every tick appends its line to. Ticks never overlap (one thread runs
// them at a time), so the handle needs no guard.
FILE* gpTraceFile = nullptr;
bool gboTraceOpened = false;

bool IsValidState(int nState)
{
    return nState >= 0 && nState < NUM_GAME_STATES;
}

bool IsRunningState(int nState)
{
    return nState >= kFirstRunningState && nState <= kLastRunningState;
}

// A state's row; a state outside the table reads state 0's.
GAME_STATE_ROW& Row(int nState)
{
    return gaGameStateTable[IsValidState(nState) ? nState : GAME_STATE_NONE];
}

void TakeDefaults()
{
    if (gboDefaultsTaken)
        return;
    for (int s = 0; s < NUM_GAME_STATES; ++s)
        gaDefaultFns[s] = {gaGameStateTable[s].pfnTimed, gaGameStateTable[s].pfnDisplay};
    gboDefaultsTaken = true;
}

uint32_t Now()
{
    return DkGetMilliseconds();
}

// One line a tick: the state that ran, the state next, and each car's position and rows (16.16
// words as integers).
void TraceTick(int nState, int nNext)
{
    if (!gboTraceOpened)
    {
        gboTraceOpened = true;
        const char* pszPath = std::getenv("DEZOR_TRACE");
        if (pszPath != nullptr && *pszPath != '\0')
        {
            gpTraceFile = std::fopen(pszPath, "a");
            if (gpTraceFile == nullptr)
                std::fprintf(stderr, "DEZOR_TRACE: cannot write %s\n", pszPath);
        }
    }
    if (gpTraceFile == nullptr)
        return;
    std::fprintf(gpTraceFile, "state %d next %d", nState, nNext);
    const int nCars = gnNumMechCars < 0 ? 0 : gnNumMechCars > MAX_CARS ? MAX_CARS : gnNumMechCars;
    for (int n = 0; n < nCars; ++n)
    {
        const CarBody& b = gaCarBody[n];
        std::fprintf(gpTraceFile, " | car %d %d %d %d", n, b.Position.x, b.Position.y,
                     b.Position.z);
        for (const DK_VECTOR* pRow : {&b.OrientRow0, &b.UpAxis, &b.OrientRow2})
            std::fprintf(gpTraceFile, " %d %d %d", pRow->x, pRow->y, pRow->z);
    }
    // A network game's view of the other players: each remote slot, whether it races, and its
    // car's predicted position.
    if (gboNetworkGame)
        for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
        {
            const DK_VECTOR& p = gaNetRemoteCar[s].PredictedPosition;
            std::fprintf(gpTraceFile, " | remote %d %d %d %d %d", s,
                         GameData_IsRemotePlayerActive(s) ? 1 : 0, p.x, p.y, p.z);
        }
    std::fputc('\n', gpTraceFile);
    std::fflush(gpTraceFile);
}

// The display step: the display function of the state that ticked last, when its display is
// due; an entry state is drawn at most once for each of its ticks (plus the first).
void DisplayStep()
{
    const int nLast = gnLastGameState.load();
    GAME_STATE_ROW& row = Row(nLast);
    if (row.nDisplayPending.load() == 0)
        return;
    GAME_DISPLAY_FN pfnDisplay = GetStateDisplayFn(nLast);
    if (nLast >= kFirstRunningState)
    {
        if (pfnDisplay != nullptr)
            pfnDisplay();
        // The race ticks wait for the stage's first frame.
        gboFirstFrameDrawn = TRUE;
        return;
    }
    if (gnDisplayCalls.load() <= gnDisplayAllowance.load())
    {
        if (pfnDisplay != nullptr)
            pfnDisplay();
        ++gnDisplayCalls;
    }
    else
    {
        DkLog("**not doing display this frame**");
    }
}

// The optimised pacing: a running state ticks once a 40 ms slot (again at once when a tick ran
// over into the next slot) and draws unless the last display ran over its slot; the other
// states tick and draw once a pass.
void OptimisedPass()
{
    DkDebugOutput("Using optimised interrupt\n");
    if (!IsRunningState(gnGameState.load()))
    {
        DkTimedGameFns();
        DisplayStep();
        return;
    }
    uint32_t t0, t1;
    do
    {
        t0 = Now();
        DkTimedGameFns();
        t1 = Now();
    } while (GameHandler_CrossedSlot(t0, t1));
    if (gnOptimisedDisplayPhase == 2)
    {
        t0 = Now();
        DisplayStep();
        t1 = Now();
        if (GameHandler_CrossedSlot(t0, t1))
        {
            gnOptimisedDisplayPhase = 1;
            return;
        }
    }
    GameHandler_WaitForNextSlot();
    gnOptimisedDisplayPhase = 2;
}

// The conventional pacing: the first pass that finds a running state starts the timer, which
// from then on runs every tick; until then the main thread ticks once a pass.
void ConventionalPass()
{
    DkDebugOutput("Using conventional interrupt\n");
    if (!gboGameInterruptRunning.load() && IsRunningState(gnGameState.load()))
    {
        DkLog("starting interrupt");
        if (DkStartTimerProcedure(kTimerPeriodMs, DkTimedGameFns, gbo50HzMode ? 50 : 25))
        {
            DkAddDestructor(HighLevelTimerProcDestructor, "HighLevelTimerProcDestructor");
            gboGameInterruptRunning = TRUE;
        }
        else
        {
            // Without the timer no tick would ever come: the game runs in the optimised slots
            // on the main thread from the next pass.
            DkLog("could not start the interrupt, using the optimised interrupt");
            gboPacingFallback = TRUE;
        }
    }
    else if (!gboGameInterruptRunning.load())
    {
        DkTimedGameFns();
    }
    DisplayStep();
}

BOOL IsGameDisplayReady(void)
{
    return gboGameDisplayReady;
}

BOOL IsLoadingScreenUp(void)
{
    return gboLoadingScreenUp;
}

BOOL IsStageRunning(void)
{
    return IsRunningState(GetGameState()) ? TRUE : FALSE;
}

BOOL IsMediumDetailCar(void)
{
    return gboMediumDetailCar ? TRUE : FALSE;
}

int GetNumMechCars(void)
{
    return gnNumMechCars;
}

} // namespace

int GameHandler_Frame(void)
{
    if (!GameHandler_IsInitialised())
    {
        // InitGame runs once directly, outside the tick; from then on the table drives.
        gboGameRunning = TRUE;
        gboPacingFallback = FALSE;
        gnOptimisedDisplayPhase = 2;
        gnGameState = GetStateTimedFn(GAME_STATE_INIT_GAME)();
        GetStateDisplayFn(GAME_STATE_INIT_GAME)();
        DkLog("entry display and game state fns completed");
        DkDebugOutput("entry display and game state fns completed\n");
        GameHandler_SetInitialised(TRUE);
        return 0;
    }
    if (GameData_GetWord(GD_PACING_MODE) != 0 || gboPacingFallback)
        OptimisedPass();
    else
        ConventionalPass();
    return 0;
}

int DkTimedGameFns(void)
{
    if (!gfIsActive.load())
        return 0;
    DkReadAllControllers();
    int nState = gnGameState.load();
    GAME_TIMED_FN pfnTimed = GetStateTimedFn(nState);
    // A state outside the table was reported; the machine goes on in state 0.
    if (!IsValidState(nState))
        nState = GAME_STATE_NONE;
    Row(gnLastGameState.load()).nDisplayPending = 0;
    gaGameStateTable[nState].nDisplayPending = 1;
    gnLastGameState = nState;
    if (pfnTimed == nullptr)
    {
        DKREPORT("Invalid GAME_STATE in DkTimedGameFns");
        gnGameState = nState;
        return 0;
    }
    const int nNext = pfnTimed();
    gnGameState = nNext;
    if (nNext != nState)
    {
        gnDisplayCalls = 0;
        gnDisplayAllowance = 0;
    }
    if (nNext < kFirstRunningState)
        ++gnDisplayAllowance;
    TraceTick(nState, nNext);
    return 0;
}

GAME_TIMED_FN GetStateTimedFn(int nState)
{
    if (!IsValidState(nState))
        DKREPORT("Invalid State");
    return Row(nState).pfnTimed;
}

GAME_DISPLAY_FN GetStateDisplayFn(int nState)
{
    if (!IsValidState(nState))
        DKREPORT("Invalid State");
    return Row(nState).pfnDisplay;
}

BOOL GameHandler_CrossedSlot(uint32_t uT0, uint32_t uT1)
{
    return uT0 / kSlotMs != uT1 / kSlotMs ? TRUE : FALSE;
}

void GameHandler_WaitForNextSlot(void)
{
    const uint32_t uStart = Now();
    while (!GameHandler_CrossedSlot(uStart, Now()))
        if (gpfnSpinHook != nullptr)
            gpfnSpinHook();
}

BOOL HighLevelTimerProcDestructor(void)
{
    gboGameInterruptRunning = FALSE;
    return TRUE;
}

void GameHandler_SetInitialised(BOOL boInitialised)
{
    gboGameHandlerInitialised = boInitialised;
}

BOOL GameHandler_IsInitialised(void)
{
    return gboGameHandlerInitialised.load();
}

int GetGameState(void)
{
    return gnLastGameState.load();
}

void GameHandler_RegisterEntries(void)
{
    DK_ENTRIES entries{};
    entries.IsGameDisplayReady = IsGameDisplayReady;
    entries.IsLoadingScreenUp = IsLoadingScreenUp;
    entries.IsStageRunning = IsStageRunning;
    entries.IsMediumDetailCar = IsMediumDetailCar;
    entries.GetNumMechCars = GetNumMechCars;
    DkRegisterEntries(&entries);
}

void GameHandler_SetStateForTests(int nState)
{
    gnGameState = nState;
    gnLastGameState = nState;
}

void GameHandler_SetStateFnsForTests(int nState, GAME_TIMED_FN pfnTimed, GAME_DISPLAY_FN pfnDisplay)
{
    if (!IsValidState(nState))
        return;
    TakeDefaults();
    if (pfnTimed != nullptr)
        gaGameStateTable[nState].pfnTimed = pfnTimed;
    if (pfnDisplay != nullptr)
        gaGameStateTable[nState].pfnDisplay = pfnDisplay;
}

void GameHandler_ResetForTests(void)
{
    TakeDefaults();
    for (int s = 0; s < NUM_GAME_STATES; ++s)
    {
        gaGameStateTable[s].pfnTimed = gaDefaultFns[s].pfnTimed;
        gaGameStateTable[s].pfnDisplay = gaDefaultFns[s].pfnDisplay;
        gaGameStateTable[s].nDisplayPending = 0;
    }
    gnGameState = GAME_STATE_NONE;
    gnLastGameState = GAME_STATE_NONE;
    gboGameRunning = FALSE;
    gboGameInterruptRunning = FALSE;
    gboGameHandlerInitialised = FALSE;
    gnDisplayCalls = 0;
    gnDisplayAllowance = 0;
    gnOptimisedDisplayPhase = 2;
    gboPacingFallback = FALSE;
    gpfnSpinHook = nullptr;
    GameFlow_ResetForTests();
}

void GameHandler_SetSpinHookForTests(void (*pfnSpin)(void))
{
    gpfnSpinHook = pfnSpin;
}

BOOL GameHandler_IsPacingFallbackForTests(void)
{
    return gboPacingFallback;
}
