// Network play: up to eight machines race one stage. Each simulates its own car and sends its
// state every few ticks; the other machines' cars are remote cars, moved between states by dead
// reckoning. A start handshake lines every machine up at the lights, finishing times and split
// times go to every machine, and the session's own messages (a player gone, a new host) keep
// the remote slots true. Every message is checked (game/race/netmsg.h) before it is used.
//
// Remote slot s (0..6) is the game data's remote player record s, and record s + 1 of the
// tick matrices (game/race/interp.h) and of the loaded cars.
//
// It all runs in the timed game functions: the network is polled, never called back.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

#define NETPLAY_PLAYERS 8
#define NETPLAY_REMOTE_SLOTS 7
// Ticks between two ready messages of a client waiting for the host's answer.
#define NETPLAY_READY_PERIOD 51

// A remote car as the car model's pull towards it reads it: its predicted position and the
// car's lengthwise row. Slot s is entry s.
struct NetPlayer
{
    DK_VECTOR Position;
    DK_VECTOR Heading;
};

// What this machine knows of one remote car.
struct NetRemoteCar
{
    // The last state received: position, displacement per tick, the car model's two words, and
    // its three axis rows (the third the cross product of the two sent).
    DK_VECTOR ReceivedPosition;
    DK_VECTOR ReceivedDisplacement;
    int32_t anCarValue[2];
    DK_VECTOR aReceivedAxis[3];
    // The predicted positions of the last three ticks, newest first, with their axes.
    DK_VECTOR aHistory[3];
    DK_VECTOR aHistoryAxis[3][3];
    // Where the car is predicted to be now.
    DK_VECTOR PredictedPosition;
    DK_VECTOR aPredictedAxis[3];
    BOOL boFirstStatePending; // no state has arrived yet
    BOOL boStateReceived;     // one arrived this tick
    BOOL boPaused;            // its game is paused: no dead reckoning
    BOOL boReady;             // it is at the start line (host)
    BOOL boFinished;
    int32_t nMissed;     // ticks since the last state
    int32_t nMostMissed; // the most ticks missed in a row since the start
    int32_t nReceived;   // states received this tick
    uint32_t uFinishTime; // hundredths
    uint32_t uTotalTime;  // hundredths, over the rally
    int32_t nStageClock;  // from the sender's last full state
    int32_t nTickTime;
};

extern BOOL gboNetworkGame;
// This machine created the session or took it over.
extern BOOL gboSessionHost;
extern NetPlayer gaNetPlayer[NETPLAY_PLAYERS];
extern NetRemoteCar gaNetRemoteCar[NETPLAY_REMOTE_SLOTS];
// The number of other players in the network race, recounted by every poll.
extern int32_t gnNetRaceState;
// The host's end-of-stage continue closed the session to joiners; cleared at each stage start.
extern BOOL gboHostContinued;
// A developer's switch: the race's own sends (car states, ready, acknowledgement, start, split
// and finishing times) are left out.
extern BOOL gboNetNoSend;

// ---- A stage's start ----
// Sets the network game up for the stage: every remote car and the race state reset, the send
// intervals from the car-state rate, a client waiting for the host's acknowledgement; a host
// renames its session and decides again whether it takes new players.
void NetPlay_InitGame(void);
// The car-state rate r (0..9) of the game data as intervals: a car state every (10 - r) + 1
// ticks, and a full state after (10 - r) / 2 plain ones. A rate above 9 counts as 9.
void NetPlay_ResetSendInterval(void);
// Ticks between two car states after the one sent: 10 - r.
int NetPlay_GetSendInterval(void);
// The remote players taking part (with boActiveOnly only those whose slot is active); 0 outside
// network play.
int NetPlay_CountPlayers(BOOL boActiveOnly);
// Players who joined during the last stage race in this one.
void NetPlay_ActivateJoinedPlayers(void);
// The remote cars' models, one for each active slot. TRUE.
BOOL NetPlay_LoadRemoteCars(void);
BOOL NetPlay_LoadRemoteCarModel(int nSlot);
// The remote players' history words cleared.
void NetPlay_ResetRemoteHistory(void);

// ---- Each tick ----
// The local car's state (nFinal: the pause's, type 8) to every player.
void NetPlay_SendCarState(int nFinal);
// Takes every message waiting and dispatches it, then moves every remote car's prediction on
// by a tick; the host starts the race when everyone is ready.
void NetPlay_Poll(void);
// The remote cars' predictions into their tick matrices, fitted to the ground.
void NetPlay_PredictRemoteCars(void);
// The car model's two words carried in car states: the body's three turn angles of the tick,
// packed (x and y in the first word, z in the second).
void NetPlay_SetLocalTimes(int16_t nAngleX, int16_t nAngleY, int16_t nAngleZ);

// ---- The start handshake ----
// A client waits for the host's acknowledgement of its ready message.
BOOL NetPlay_IsReady(void);
// Sends the ready message to the host.
void NetPlay_SendReady(void);
// The host's answer to a ready message.
void NetPlay_SendReadyAck(DPID id);
// The host's start message; the race starts.
void NetPlay_SendStart(void);
// The host: every active remote player is at the start line.
BOOL NetPlay_AllPlayersReady(void);
// The start hold of this machine has run out (the host starts the race only after its own).
void NetPlay_SetCountdownOver(void);
// The race has started: the host sent the start message, or a client received it.
BOOL NetPlay_IsStartReceived(void);
// The local car has run in after the lights.
void NetPlay_SetReadyToRace(void);

// ---- Times ----
// The local player's finishing time to every player.
void NetPlay_SendFinish(void);
// A checkpoint's time to every player: the count of checkpoints passed, this one included.
void NetPlay_SendSplitTime(int nCount, uint32_t uTime);
// Every active remote player has finished.
BOOL NetPlay_HaveAllFinished(void);

// ---- Messages ----
// The next message waiting for this machine's players, in the transport's receive buffer (valid
// until the next receive), its size and its sender (0: the session layer). FALSE when none.
BOOL NetPlay_ReceiveNext(const void** ppData, uint32_t* puSize, DPID* pidFrom);
// Our player record to the player who sent theirs.
void NetPlay_SendPlayerInfo(void);
// One application message from player idFrom; one message of the session layer.
void NetPlay_HandleMessage(const void* pData, uint32_t uSize, DPID idFrom);
void NetPlay_HandleSystemMessage(const void* pData, uint32_t uSize);
// Stores a player record in a free remote slot as joining: the slot, or -1 when the id is
// already there or every slot is taken.
int NetPlay_AddRemotePlayer(const uint8_t* pRecord, DPID id);
// The remote slot of a player id (active or joining), or -1.
int NetPlay_FindRemotePlayer(DPID id);
void NetPlay_RemoveRemotePlayer(DPID id);
BOOL NetPlay_IsRemotePlayer(DPID id);
// The host's session takes new players while it has room (see the .cpp); the session layer
// hears of it only when that changes, or at once with the refresh.
void NetPlay_UpdateSessionOpen(void);
void NetPlay_RefreshSessionOpen(void);

// ---- The display ----
// The remote players' name tags over their cars in player nPlayer's view.
void NetPlay_DrawNameTags(int nPlayer);
// Every remote car's model fade, 0..100.
void NetPlay_SetModelFade(int nFade);
// A tick of the remote cars' fade-in once the race has started: the delay, then every remote
// actor always drawn and the fade rising from 0 to 100 over its length.
void NetPlay_StepNameTagFade(void);
// The debug lines from the camera to each remote car's received and predicted positions, with
// game data option 39 bit 2.
void NetPlay_DrawDebugLines(int nPlayer);
// The debug overlay's statistics of each remote slot and of the local player.
void NetPlay_DrawDebugStats(void);
void NetPlay_DrawReplayDebug(void);
// Spectating after the finish: F10 moves the view to the next active remote car, or back to
// the local car past the last one.
void NetPlay_CycleViewedCar(void);
BOOL NetPlay_IsF10Pressed(void);
// The car shown: 0 the local car, s + 1 remote slot s.
int NetPlay_GetViewedCar(void);
// The remote cars' model fade, 0..100, as last set.
int NetPlay_GetModelFade(void);
// Nearer than this (16.16) a remote car's name tag shows, fading out towards it.
#define NETPLAY_TAG_DISTANCE (150 << 16)

// ---- Test hooks ----
// Every counter and flag back to its state before a game, the intervals from the game data.
void NetPlay_ResetForTests(void);
// The race state's flags, to set up and check the handshake.
struct NetRaceState
{
    BOOL boStarted;
    BOOL boStartSent;
    BOOL boCountdownOver;
    BOOL boWaitingForAck;
    BOOL boPlayerInfoPending;
    BOOL boHostChangedWhileWaiting;
    DPID idReadyTarget;
    DPID idPlayerInfoTarget;
    int32_t nFullStateCountdown;
};
NetRaceState& NetPlay_GetRaceStateForTests(void);
// The display side's state back to a stage's start: no fade yet, the local car viewed.
void NetPlay_ResetViewForTests(void);
// The name tags the last NetPlay_DrawNameTags drew: the slot, the upper line (the place or the
// initials; empty for none), the lower line (the name or the paused text), the screen position
// as 16.16 fractions and the alpha.
struct NetNameTag
{
    int nSlot;
    char szUpper[16];
    char szLower[32];
    int32_t xX;
    int32_t xY;
    int nAlpha;
};
int NetPlay_GetNameTagsForTests(const NetNameTag** ppTags);
// The lines of text the last NetPlay_DrawDebugStats or NetPlay_DrawReplayDebug drew: their
// count, and line i ("" outside them).
int NetPlay_GetDebugTextCountForTests(void);
const char* NetPlay_GetDebugTextForTests(int i);
