// Network play. So far only what the car model's pull towards the remote cars reads (the
// network-game flag and each remote car's position and heading) and the turn angles the body
// forces hand over each tick.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

#define NETPLAY_PLAYERS 8

// A remote car as the last car state showed it; remote slot k is record k.
struct NetPlayer
{
    DK_VECTOR Position;
    DK_VECTOR Heading; // the car's forward row
};

extern BOOL gboNetworkGame;
extern NetPlayer gaNetPlayer[NETPLAY_PLAYERS];

// The local car's turn of the tick about its x, y and z axes (4096 a turn); recorded so far.
void NetPlay_SetLocalTimes(int16_t nAngleX, int16_t nAngleY, int16_t nAngleZ);

// The tick's network work: the local car's state (nFinal: the last before a pause), the
// messages waiting, and the remote cars' placement predicted into their snapshots. Nothing yet.
void NetPlay_SendCarState(int nFinal);
void NetPlay_Poll(void);
void NetPlay_PredictRemoteCars(void);
// Ticks between two car states after the one sent: 10 less the game data's car-state rate
// (0..9; a rate out of range counts as 9), so rate r sends every (10 - r) + 1 ticks.
int NetPlay_GetSendInterval(void);

// Tells the other machines that the local player has finished, with the local stage time
// (message type 17). Counted so far.
void NetPlay_SendFinish(void);
// TRUE once every player of the network game has finished. So far the answer a test sets,
// TRUE until then.
BOOL NetPlay_HaveAllFinished(void);

// Test hooks: the calls since the last reset and the angles of the last one; the finish
// messages sent; what NetPlay_HaveAllFinished answers (the reset makes it TRUE).
int NetPlay_GetSendFinishCallsForTests(void);
void NetPlay_SetAllFinishedForTests(BOOL boAllFinished);
int NetPlay_GetLocalTimesCallsForTests(void);
void NetPlay_GetLastLocalTimesForTests(int16_t anAngles[3]);
void NetPlay_ResetForTests(void);

// The remote players taking part (with boActiveOnly those whose slot is in use); 0 outside
// network play.
int NetPlay_CountPlayers(BOOL boActiveOnly);
// Marks the players who joined as active. Nothing yet.
void NetPlay_ActivateJoinedPlayers(void);
// Loads the remote players' cars. Counted so far; TRUE.
BOOL NetPlay_LoadRemoteCars(void);
int NetPlay_GetLoadRemoteCarsCallsForTests(void);

// What the game flow asks of network play at a stage's start. Seams so far.
// Sets the network game up for the stage.
void NetPlay_InitGame(void);
// The remote players' history words cleared and their indices set to -1.
void NetPlay_ResetRemoteHistory(void);
// Whether the start message has arrived, and whether the local player is ready to start.
BOOL NetPlay_IsStartReceived(void);
BOOL NetPlay_IsReady(void);
// Sends the "ready" message (type 12).
void NetPlay_SendReady(void);
// The local car has run in after the lights.
void NetPlay_SetReadyToRace(void);

// What a network game adds to a viewport's frame: the debug lines to the remote cars (game data
// option 39 bit 2), the remote players' name tags, and the statistics of the debug overlay.
// Nothing yet.
void NetPlay_DrawDebugLines(int nPlayer);
void NetPlay_DrawNameTags(int nPlayer);
void NetPlay_DrawStatistics(void);
