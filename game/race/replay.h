// Replays: the record of one car's driving, played back through the ordinary car simulation.
//
// A replay block is a snapshot of the car's whole state at the start of each scene, then the
// driver's controls tick by tick, run-length coded in 4-byte frames. Playing restores the
// snapshot and feeds the recorded controls to the car's control words; nothing of the car's
// motion is stored. The block in memory is the file image, little-endian whatever the host:
//
//   the 64-byte header (below)
//   N snapshots of REPLAY_GAME_STATESAVE_SIZE bytes, scene 0 first
//   N x M frames of 4 bytes, frame k of scene s at index s x M + k
//   N 16-bit frame counts
//
// so a block takes 64 + N x 86,510 + N x M x 4 bytes. The header's five address words are
// written as 0 and never read: the module finds the arrays from N and M.
//
// Each player gets a recorder at the stage's load (one scene of 7,500 frames, 15,000 at 50 ticks
// a second); recording starts when the lights go out and the same block plays the replay after
// the stage. Loaded files (".REP", ".SSR", ".DNT", the school's pans) drive the attract demo,
// the podium cars, the school's pans and the super special stage's computer car. Recorder and
// player run inside the tick.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// The header, the snapshot and the frame, in bytes.
#define REPLAY_HEADER_SIZE 64
#define REPLAY_GAME_STATESAVE_SIZE 86508
#define REPLAY_FRAME_STATESAVE_SIZE 4
// The longest run one frame holds, in ticks.
#define REPLAY_MAX_REPEAT 63
// Recorder and loaded-replay slots.
#define REPLAY_SLOTS 5

// The header's words, by byte offset.
enum ReplayHeaderField
{
    REPLAY_CAMERA_CUT = 0,      // u32: non-zero records only near a track camera (scenes)
    REPLAY_PLAYING = 4,         // i32
    REPLAY_SCENE_RUNNING = 8,   // i32: 0, the next tick starts the current scene
    REPLAY_RECORDING = 12,      // u32
    REPLAY_SCENE_OPEN = 16,     // i32: the recorder's scene is open
    REPLAY_SCENE_STARTED = 20,  // i32: 1 from the tick a scene starts playing
    REPLAY_SCENE_OPENED = 24,   // i32: 1 once a scene after the first has been opened
    REPLAY_CAR = 28,            // byte: the car recorded or driven
    REPLAY_REPEAT_COUNTER = 29, // byte: ticks spent on the frame being played
    REPLAY_SNAPSHOTS_ADDRESS = 32,
    REPLAY_PLAY_SNAPSHOT_ADDRESS = 36,
    REPLAY_RECORD_SNAPSHOT_ADDRESS = 40,
    REPLAY_FRAMES_ADDRESS = 44,
    REPLAY_SCENES = 48,      // i16: N
    REPLAY_FRAMES = 50,      // i16: M, frames a scene
    REPLAY_SCENES_USED = 52, // i16: closed scenes, which bound playback
    REPLAY_COUNTS_ADDRESS = 56,
    REPLAY_SCENE = 60,  // i16: the scene being played
    REPLAY_CURSOR = 62, // i16: the frame being played; negative while the start is held
};

// The first bytes of a replay block; the rest of the block follows it in memory.
struct ReplayHeader
{
    uint8_t aBytes[REPLAY_HEADER_SIZE];
};
static_assert(sizeof(ReplayHeader) == REPLAY_HEADER_SIZE, "the header is 64 bytes");

// The snapshot's parts, by byte offset.
#define REPLAY_STATE_DAMAGE 0          // the car's damage record, 3,280 bytes
#define REPLAY_STATE_MECHANICS 3280    // the mechanics record, 1,124 bytes
#define REPLAY_STATE_LATER_FIELDS 4404 // 192 bytes: the car records' later fields
#define REPLAY_STATE_BODY 4596         // the body record, 1,896 bytes
#define REPLAY_STATE_OBJECTS 6492      // 500 knocked-over objects of 160 bytes
#define REPLAY_STATE_CHECKPOINT 86492  // i32: the car's current cat's eye
#define REPLAY_STATE_ACTIVE 86496      // byte: the player-active flag
#define REPLAY_STATE_DISTANCE 86500    // i32: the distance to the nearest checkpoint
#define REPLAY_STATE_START_HOLD 86504  // i32: the player's start-hold counter

// The bytes of a block of N scenes of M frames; 0 when N or M is below 1.
uint64_t Replay_BlockSize(int nScenes, int nFrames);

extern ReplayHeader* gapRecorders[REPLAY_SLOTS];
extern ReplayHeader* gapLoadedReplays[REPLAY_SLOTS];

// Stage start: registers "Replay destructor", logs the two record sizes and empties both slot
// tables.
void Replay_Init(void);
// Frees every block of both tables and empties them; 1.
BOOL Replay_Destructor(void);
// A recorder of nScenes scenes of nFrames frames in the first empty recorder slot; NULL when
// five exist (nothing allocated), the sizes are below 1 or the heap has no room.
ReplayHeader* Replay_Create(int nScenes, int nFrames);
// The replay file at the path as given, loaded whole into the next loaded slot; NULL when it
// cannot be read, its size is not the one its header implies, or it is not sound (reported).
ReplayHeader* Replay_LoadFile(const char* pszPath);

// Recording and playing. Each returns 1 when it started or stopped, else 0.
int Replay_StartRecording(ReplayHeader* pReplay, uint32_t uCameraCut, int nCar);
int Replay_StopRecording(ReplayHeader* pReplay);
int Replay_StartPlayback(ReplayHeader* pReplay, int nScene, int nHoldTicks, int nCar);
int Replay_StopPlayback(ReplayHeader* pReplay);
BOOL Replay_IsPlaying(const ReplayHeader* pReplay);
BOOL Replay_IsRecording(const ReplayHeader* pReplay);
// Whether the replay has played to its end since it last started.
BOOL Replay_HasPlayed(const ReplayHeader* pReplay);
// Whether any block of the recorder or loaded table records, or plays.
BOOL Replay_IsAnyRecording(void);
BOOL Replay_IsAnyPlaying(void);

// Each tick: the recorder step of every recording slot; the playback step of the five recorder
// slots, then of the five loaded ones.
void Replay_UpdateAll(void);
void Replay_StepAllPlaybacks(void);
void Replay_StepPlayback(ReplayHeader* pReplay);

// The recording's length in ticks: every used scene's frames up to and with the one at its
// frame count (the run in progress at the close), never past M.
int16_t Replay_CountFrames(const ReplayHeader* pReplay);

// The codec. Encoding writes the car's controls into the frame and adds 1 to its repeat count;
// decoding writes the frame's controls into the car's control words and analogue flags, counts
// one tick on *puCounter and returns TRUE when the frame is used up (the counter back to 0).
void Replay_EncodeControls(uint8_t* pFrame, const struct CarMechanics* pMechanics);
BOOL Replay_DecodeControls(const uint8_t* pFrame, struct CarMechanics* pMechanics,
                           uint8_t* puCounter);
void Replay_PackFrame(uint8_t* pFrame, int nCar);
BOOL Replay_UnpackFrame(const uint8_t* pFrame, int nCar, uint8_t* puCounter);
// Whether the car's controls this tick extend the frame's run.
BOOL Replay_CompareInputFrame(const uint8_t* pFrame, int nCar);

// The car's state into a snapshot, and back. The restore refuses (FALSE, reported, the car
// unchanged) a snapshot whose records do not read.
void Replay_SaveGameState(uint8_t* pSnapshot, int nCar);
BOOL Replay_RestoreGameState(const uint8_t* pSnapshot, int nCar);

// The block's parts: the snapshot of scene s, frame k of scene s, the frame counts.
uint8_t* Replay_Snapshot(ReplayHeader* pReplay, int nScene);
uint8_t* Replay_Frame(ReplayHeader* pReplay, int nScene, int nFrame);
int16_t Replay_GetFrameCount(const ReplayHeader* pReplay, int nScene);
// The header's words.
int32_t Replay_GetWord(const ReplayHeader* pReplay, ReplayHeaderField field);
int16_t Replay_GetHalf(const ReplayHeader* pReplay, ReplayHeaderField field);
uint8_t Replay_GetByte(const ReplayHeader* pReplay, ReplayHeaderField field);
// The block's whole size in bytes.
uint64_t Replay_GetBlockSize(const ReplayHeader* pReplay);

// Clears the ghost flags at a stage's load; nothing yet.
void Replay_ResetGhostFlags(void);

// What the game flow plays. A player's replay is its recorder, except in the attract demo,
// where player 0's is the loaded ".REP" (loaded slot 0). The podium's three are loaded slots
// 0 to 2.
ReplayHeader* Replay_GetPlayerSlot(int nPlayer);
ReplayHeader* Replay_GetPodiumSlot(int nSlot);

// The super special stage's computer car replay (NULL: none), and the ticks its start is held.
extern ReplayHeader* gpreplSuperCPU;
extern uint16_t gnSuperCPUStartFrame;

// The podium's donut replay once the message roll has finished.
void PlayDonutReplay(void);

// Test hook: at the end of a stage, with DEZOR_REPLAY_OUT set, each recorder block is written
// there as a replay file ("<path>" for the first, "<path>.N" for recorder N after it).
void Replay_WriteRecordersForTests(void);
