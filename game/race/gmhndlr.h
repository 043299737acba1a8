// The game handler: the game's per-pass entry and its state machine.
#pragma once

#include "engine/include/dk_types.h"

// Set once a stage, the school menu or the set-up screen has set up the game display.
extern BOOL gboGameDisplayReady;

// Set while the race flow shows its loading screen.
extern BOOL gboLoadingScreenUp;

// Non-zero while the medium-detail car models are in use: the car loading sets it from the
// graphics options before it reads a car model; the DK3D reader asks for it.
extern int32_t gboMediumDetailCar;

// The number of cars driven by players (1 or 2), and whether the stage is the podium stage.
extern int32_t gNumberOfPlayers;
// The player who drives now in a game where two take turns (0 or 1).
extern uint8_t gnCurrentPlayer;
extern BOOL boThisIsPodiumStage;

// The game state whose timed function ran last (0..12; 5 to 10 are the in-stage states).
int GetGameState(void);
// Test hook: the state GetGameState answers.
void GameHandler_SetStateForTests(int nState);

// Whether the ghost replay plays (the second car is its car then). FALSE so far.
BOOL Ghost_IsPlaying(void);
// Whether the start sequence still holds the car: its start is not yet released while the
// start hold is on. FALSE so far.
BOOL StartSeq_IsHoldingCar(int nCar);
// Test hooks: what the two answer; the car outside 0..7 holds none.
void Ghost_SetPlayingForTests(BOOL boPlaying);
void StartSeq_SetHoldingForTests(int nCar, BOOL boHolding);

// Registers the game's entries with the engine (engine/include/dk_entries.h).
void GameHandler_RegisterEntries(void);
