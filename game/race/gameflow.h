// The game flow: the timed functions of the game states, read as the order of each state's
// tick. They carry a game from its start through the set-up screens, the stage's start with its
// lights, the race, the podium, the rally school, the end of the stage and the pause, to the next
// stage or back to the front end. The module also keeps the players' finished flags, the start
// sequence of each player and the exchange of the two players' data in a game where they take
// turns. The state machine that calls the timed functions is game/race/gmhndlr.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/include/dk_types.h"

// The number of cars driven by players (1 or 2), set by the stage's initialisation.
extern int32_t gNumberOfPlayers;
// The player who drives now in a game where two take turns (0 or 1).
extern uint8_t gnCurrentPlayer;
// 1 while the second player of a game where two take turns has the car (the frames read it
// while a replay's start in the tick holds it).
extern std::atomic<BOOL> gboSecondPlayerTurn;
// Set while the second player's turn is being set up; its first race frame clears it.
extern std::atomic<BOOL> gboTurnSwitch;
// The stage is the podium stage.
extern BOOL boThisIsPodiumStage;
// The stage runs 50 ticks a second (else 25).
extern BOOL gbo50HzMode;
// Per player, the after-finish hold: 100 until the player has finished, then counted down by
// the tick.
#define START_HOLD_TICKS 100
extern int32_t gaStartHold[2];
// Per player, the start light's scale (16.16, 1.0 at rest).
extern int32_t gaPlayerStartScale[2];
// The same stage again (the pause menu's restart), and the podium next.
extern BOOL gboStageRestart;
extern BOOL gboGoToPodium;
// The podium's end: set when its replays are missing, skipped or have played out.
extern BOOL gboEndOfStage;
// Set when the game ends, before the hand-back to the front end.
extern BOOL gboGameOver;
// Set once the stage's first frame has been drawn (by the main thread); the race ticks wait for
// it.
extern std::atomic<BOOL> gboFirstFrameDrawn;

// The timed functions of the states, each returning the state to run next. States 0 and 12 run
// NullFunction: a finished game idles there.
int32_t NullFunction(void);
int32_t InitGame(void);
int32_t GameState_Welcome(void);
int32_t GameState_SetupRepair(void);
int32_t InitStage(void);
int32_t GameState_Race(void);
int32_t GameState_Replay(void);
int32_t GameState_School(void);
int32_t GameState_EndStage(void);
int32_t GameState_ExitPan(void);
int32_t PauseGame(void);
int32_t GameState_LeaveGame(void);

// The championship and rally progress in the game data: the next stage of the mode (0 when the
// game is over), and the next country of a championship (0 when there is none).
int32_t StepOntoNextStage(void);
int32_t StepOntoNextChampionshipCountry(void);

// The start sequence of player 0 or 1: the intro's TV shot, the wait for the network's
// players, a one-tick hold, the lights and the run-in after them. The school starts at the
// lights; the podium, the demo and the first two school lessons have no start sequence.
void InitPlayerStart(int nPlayer);
// Ticks per light less one: floor(light time x rate / lights) - 1.
int32_t StartLights_GetStepTicks(void);
// One tick of the lights of the player.
void StartSeq_Countdown(int nPlayer);
// Whether the player's start has passed its intro, its wait for the network, its hold and its
// lights; and whether any phase of it still runs.
BOOL StartSeq_IsIntroDone(int nPlayer);
BOOL StartSeq_IsWaitDone(int nPlayer);
BOOL StartSeq_IsHoldDone(int nPlayer);
BOOL StartSeq_IsCountdownDone(int nPlayer);
BOOL StartSeq_IsRunning(int nPlayer);
// Whether the start sequence holds the car (its controls cleared) while it waits.
BOOL StartSeq_IsHoldingCar(int nCar);
// TRUE on the tick a light went out.
BOOL StartLights_GetChanged(int nPlayer);
// The lights left (5 or 3 at the start).
int32_t StartLights_GetLightsLeft(int nPlayer);
// The ticks left of the current light (from the step ticks down to 0), and of the run-in.
int32_t StartLights_GetTickCounter(int nPlayer);
int32_t StartSeq_GetRunInCounter(int nPlayer);

// Exchanges every per-player value of slot 0 and slot 1.
void SwapTwoPlayerAlternateCars(void);

// Whether the player (0 or 1) has finished the stage.
BOOL HasPlayerFinished(int nPlayer);
// Clears both players' finished flags.
void ResetFinishFlags(void);
// Marks the player finished; on a one-player stage also stores the finish and plays the
// co-driver's comment.
void OnPlayerFinished(int nPlayer);

// The ghost car of a super special stage.
void Ghost_Reset(void);
void Ghost_Start(int nPlayer);
void Ghost_Stop(void);
// Loading a ghost is empty; returns 0.
int32_t Ghost_Load(const char* pszName);
BOOL Ghost_IsPlaying(void);
BOOL Ghost_IsArmed(void);

// The disc's game folder from the registry's "CDPath" (+ "\game", or "Q:\Game" without one).
void SetCDPathFromRegistry(void);
// The language file of the game data's language into the texts; FALSE when the language index
// is out of range or the file is missing.
BOOL LoadLanguageText(void);
// The front end's music, started at the end of a stage.
void PlayFrontendMusic(void);
// Back to the front end: the go-into-game flag cleared, the front end active; DEZOR_RESULTS
// gets each player's stage time.
void GameHandler_ReturnToFrontend(void);

// The ticks of the run-in after the lights.
#define START_RUN_IN_TICKS 19

// Test hooks: every word of the module back to its start; what Ghost_IsPlaying and
// StartSeq_IsHoldingCar answer; a player's finished flag.
void GameFlow_ResetForTests(void);
void Ghost_SetPlayingForTests(BOOL boPlaying);
void StartSeq_SetHoldingForTests(int nCar, BOOL boHolding);
void GameHandler_SetFinishedForTests(int nPlayer, BOOL boFinished);
// The player's start phase: 0 none, 1 intro, 2 wait, 3 hold, 4 lights, 5 run-in.
int GameFlow_GetStartPhaseForTests(int nPlayer);
// The car shown in a two-player end stage (0 or 1).
int GameFlow_GetShownCarForTests(void);
// The state PauseGame resumes (5 or 7).
int GameFlow_GetResumeStateForTests(void);
