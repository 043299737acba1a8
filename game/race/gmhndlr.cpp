// The game handler: the game's per-pass entry and its state machine.

#include "game/race/gmhndlr.h"

#include "engine/include/dk_entries.h"
#include "game/vehicle/carmodel.h"

BOOL gboGameDisplayReady = FALSE;
BOOL gboLoadingScreenUp = FALSE;
// The car loading sets it from the graphics options before it reads a car model.
int32_t gboMediumDetailCar = 0;
int32_t gNumberOfPlayers = 1;
uint8_t gnCurrentPlayer = 0;
BOOL boThisIsPodiumStage = FALSE;

namespace
{

// The in-stage states: from the stage's set-up to its end.
constexpr int kFirstStageState = 5;
constexpr int kLastStageState = 10;

int gnGameState = 0;
BOOL gboGhostPlaying = FALSE;
BOOL gaboStartHolding[MAX_CARS] = {};

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
    return gnGameState >= kFirstStageState && gnGameState <= kLastStageState ? TRUE : FALSE;
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

int GetGameState(void)
{
    return gnGameState;
}

void GameHandler_SetStateForTests(int nState)
{
    gnGameState = nState;
}

BOOL Ghost_IsPlaying(void)
{
    return gboGhostPlaying;
}

BOOL StartSeq_IsHoldingCar(int nCar)
{
    return nCar >= 0 && nCar < MAX_CARS ? gaboStartHolding[nCar] : FALSE;
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
