// The game handler: the game's per-pass entry and its state machine. Thirteen game states, each
// with a timed function (one simulation tick, returning the state to run next) and a display
// function (a frame of that state). The timed functions run 25 or 50 times a second on the
// engine's timer thread (the conventional pacing) or in 40 ms slots of the millisecond clock on
// the main thread (the optimised pacing, game data word 20); the display functions always run
// on the main thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/include/dk_types.h"
#include "game/race/gameflow.h"

// The states. 0 to 4 are entry states, 5 to 10 the running states (paced), 11 and 12 leaving.
#define GAME_STATE_NONE 0
#define GAME_STATE_INIT_GAME 1
#define GAME_STATE_WELCOME 2
#define GAME_STATE_SETUP_REPAIR 3
#define GAME_STATE_INIT_STAGE 4
#define GAME_STATE_RACE 5
#define GAME_STATE_REPLAY 6
#define GAME_STATE_SCHOOL 7
#define GAME_STATE_END_STAGE 8
#define GAME_STATE_EXIT_PAN 9
#define GAME_STATE_PAUSE 10
#define GAME_STATE_LEAVE_GAME 11
#define GAME_STATE_OVER 12
#define NUM_GAME_STATES 13

typedef int32_t (*GAME_TIMED_FN)(void);
typedef int32_t (*GAME_DISPLAY_FN)(void); // the result is not used

// A row of the state table: the state (its index), whether its display is due (the tick writes
// it, the display step reads it), its timed and its display function. A terminator row (state
// -1, pending -1) follows the thirteen.
struct GAME_STATE_ROW
{
    int32_t nState;
    std::atomic<int32_t> nDisplayPending;
    GAME_TIMED_FN pfnTimed;
    GAME_DISPLAY_FN pfnDisplay;
};
extern GAME_STATE_ROW gaGameStateTable[NUM_GAME_STATES + 1];

// The state whose timed function runs next, and the one whose timed function ran last (its
// display function is the one that runs).
extern std::atomic<int32_t> gnGameState;
extern std::atomic<int32_t> gnLastGameState;
// Set on the first pass of a game.
extern std::atomic<BOOL> gboGameRunning;
// The conventional pacing's timer has been started.
extern std::atomic<BOOL> gboGameInterruptRunning;
// Display calls made, and ticks counted, for an entry state since the state last changed.
extern std::atomic<int32_t> gnDisplayCalls;
extern std::atomic<int32_t> gnDisplayAllowance;
// The optimised pacing's display phase: 2 draws on this pass, 1 skips the display once.
extern int32_t gnOptimisedDisplayPhase;

// Set once a stage, the school menu or the set-up screen has set up the game display.
extern BOOL gboGameDisplayReady;

// Set while the race flow shows its loading screen.
extern BOOL gboLoadingScreenUp;

// Non-zero while the medium-detail car models are in use: the car loading sets it from the
// graphics options before it reads a car model; the DK3D reader asks for it.
extern int32_t gboMediumDetailCar;

// The per-pass entry from the front end; returns 0.
int GameHandler_Frame(void);
// One tick of the machine: the engine timer's callback, or run by the main thread.
int DkTimedGameFns(void);
// The table's functions of a state 0..12; another state is reported ("Invalid State") and
// answered with state 0's.
GAME_TIMED_FN GetStateTimedFn(int nState);
GAME_DISPLAY_FN GetStateDisplayFn(int nState);
// Whether the millisecond clock values lie in different 40 ms slots.
BOOL GameHandler_CrossedSlot(uint32_t uT0, uint32_t uT1);
// Spins on the millisecond clock until the next 40 ms slot begins.
void GameHandler_WaitForNextSlot(void);
// The destroy callback registered with the timer: clears gboGameInterruptRunning.
BOOL HighLevelTimerProcDestructor(void);
void GameHandler_SetInitialised(BOOL boInitialised);
BOOL GameHandler_IsInitialised(void);
// The game state whose timed function ran last (0..12; 5 to 10 are the in-stage states).
int GetGameState(void);

// Registers the game's entries with the engine (engine/include/dk_entries.h).
void GameHandler_RegisterEntries(void);

// Test hooks.
// The state GetGameState answers (the next tick runs it too).
void GameHandler_SetStateForTests(int nState);
// Replaces a state's functions (NULL keeps the one there); the reset puts the table's own back
// and every word of the machine to its start.
void GameHandler_SetStateFnsForTests(int nState, GAME_TIMED_FN pfnTimed,
                                     GAME_DISPLAY_FN pfnDisplay);
void GameHandler_ResetForTests(void);
// Called on every turn of the slot wait's spin (a test moves its fake clock there).
void GameHandler_SetSpinHookForTests(void (*pfnSpin)(void));
// Whether the pacing fell back to the optimised slots because the timer could not start.
BOOL GameHandler_IsPacingFallbackForTests(void);
