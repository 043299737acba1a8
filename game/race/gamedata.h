// The game's one reader of the front end's game data record: the option bits that change the
// car physics (bytes 36 to 39), the rally-school lesson, and the players' records with their
// set-up choices. The record comes through the engine's registered entries, so the game never
// names the front end; with nothing registered every byte reads 0.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/include/dk_types.h"

// Byte positions within the record that the race flow reads (the layout is the front end's).
inline constexpr int GD_SESSION_FLAGS = 0;    // bit 0: the attract demo
inline constexpr int GD_SCREEN_SIZE = 11;     // 0-3: 320, 512, 640 and 800 wide
inline constexpr int GD_OBJECT_PRIORITY = 13; // object detail level
inline constexpr int GD_CAR_RESOLUTION = 16;  // car model detail: 0 low, 1 medium, 2 high
inline constexpr int GD_PACING_MODE = 20;     // 32-bit: non-zero runs the optimised pacing
inline constexpr int GD_LANGUAGE = 24;        // bits 0-2 language, bits 3-4 championship layout
inline constexpr int GD_LOCAL_PLAYERS = 44;   // two PlayerInfo records
inline constexpr int GD_COUNTRY_WORD = 356;   // stage mask, stage count
inline constexpr int GD_COUNTRY_STAGES = 357; // bits 0-3 the current country's stage count
inline constexpr int GD_GAME_TYPE = 358;      // bits 0-1 mode, 2-4 players, 5 special car, 6 secret
inline constexpr int GD_STAGE_COUNTERS = 359; // bits 0-5
inline constexpr int GD_STAGE_SELECTION = 360; // low nibble country, high nibble stage
inline constexpr int GD_ENTRANTS = 364;        // 16 stage result records of 16 bytes
inline constexpr int GD_REMOTE_PLAYERS = 628;  // seven PlayerInfo records
inline constexpr int GD_NETWORK_SETTINGS = 1720;
inline constexpr int GD_CAR_STATE_RATE = 1721; // 0-9
inline constexpr int GD_SCHOOL_SELECTION = 1728;
// Within a PlayerInfo record.
inline constexpr int PI_NAME = 0;
inline constexpr int PI_CONTROLLER_OPTIONS = 16;
inline constexpr int PI_CONTROLLER = 18;      // 16-bit controller number 0-17
inline constexpr int PI_CONTROLLER_TYPE = 20; // 32-bit: 1 keyboard, -1 none
inline constexpr int PI_FUNCTION_BITS = 48;   // eight 16-bit function bits
inline constexpr int PI_KEYS = 68;            // eight 32-bit keys, in the function bits' order
inline constexpr int PI_SETUP_PAIRS = 100;
inline constexpr int PI_DAMAGE = 125;
inline constexpr int PI_CAR_TYPE = 138; // bits 0-3 car type, bit 4 the gearbox
inline constexpr int PI_CAMERA_CHOICE = 139;
// The network words of a remote record: the player's id in the session, the slot races
// (its "alive" word), and the slot holds a player who joined during a stage and races from the
// next one.
inline constexpr int PI_PLAYER_ID = 140; // 32-bit
inline constexpr int PI_IN_GAME = 144;   // 32-bit
inline constexpr int PI_JOINING = 148;   // 32-bit
inline constexpr int PI_NETWORK_SPARE = 152;

// The hand-over between the front end and the game, under the front end's names. They live
// below the front end because the game writes them on its way back. The front end's menu tick
// (the timer thread) and its main step (the main thread) both touch them.
// The front end owns the main step; cleared when a menu move leaves for the game.
extern std::atomic<int32_t> gboFrontendActive;
// A game was started from the menus; the game clears it when it returns.
extern std::atomic<int32_t> gboGoIntoGame;
// The front end's next pass must build it (its restart flag).
extern std::atomic<int32_t> gboFrontendNeedsInit;

// Player records: two local ones at byte 44, seven remote ones at byte 628.
#define GAME_DATA_PLAYER_SIZE 156
#define GAME_DATA_LOCAL_PLAYERS 2
#define GAME_DATA_REMOTE_PLAYERS 7

// The player's set-up items, in the order of their pairs in the record.
#define SETUP_TYRES 0
#define SETUP_SUSPENSION 1
#define SETUP_BRAKES 2
#define SETUP_STEERING 3
#define SETUP_GEAR_RATIO 4

// An option bit: its byte and bit.
struct GameOption
{
    int nByte;
    int nBit;
};
// The option bits that change the car physics.
// A jump on the jump button: the car pitches up and is pushed up and forward.
inline constexpr GameOption OPTION_TIMED_JUMP = {36, 6};
inline constexpr GameOption OPTION_LOW_GRAVITY = {37, 0};
inline constexpr GameOption OPTION_MORE_POWER = {37, 1};
inline constexpr GameOption OPTION_HALF_SIZE = {37, 2};
// The stage driven from its finish to its start.
inline constexpr GameOption OPTION_REVERSE_DIRECTION = {37, 3};
// The front and rear wheel frames swapped, the steering side force reversed.
inline constexpr GameOption OPTION_SWAPPED_FRAMES = {37, 4};
// The wobble of loose body parts on every car.
inline constexpr GameOption OPTION_WOBBLE_ALWAYS = {38, 0};
// Flat raised gravel ground, suspension choice 0 and wheel shake -0.5 at set-up.
inline constexpr GameOption OPTION_FLAT_GRAVEL = {38, 1};
// Impacts do no damage: bit 0 (the bit that wobbles every car) and bit 4 (without the wobble).
inline constexpr GameOption OPTION_DAMAGE_OFF = OPTION_WOBBLE_ALWAYS;
inline constexpr GameOption OPTION_DAMAGE_OFF_NO_WOBBLE = {38, 4};
// The rear wheel frame mirrored from the front: the rear wheels steer against the fronts.
inline constexpr GameOption OPTION_MIRRORED_REAR = {38, 7};
// The local car pulled towards the remote cars of a network game.
inline constexpr GameOption OPTION_NETWORK_PULL = {39, 2};
// The same bit draws the debug lines to the remote cars.
inline constexpr GameOption OPTION_NETWORK_DEBUG_LINES = OPTION_NETWORK_PULL;
// The director's cuts blend, and a track-side camera's aim is the car itself rather than
// following it.
inline constexpr GameOption OPTION_DIRECTOR_BLENDS = {39, 1};
// The stage may run 50 ticks a second.
inline constexpr GameOption OPTION_FIFTY_STEPS = {38, 2};
// The start light grows with the time of its light; the lights' end chooses camera type 7.
inline constexpr GameOption OPTION_START_LIGHT_SCALE = OPTION_HALF_SIZE;
// The stage option bits: the dark special mode (weather 1, the night light type, a plain
// background for the horizon) and the stage in weather type 5.
inline constexpr GameOption OPTION_DARK_STAGE = {35, 7};
inline constexpr GameOption OPTION_STORM_STAGE = {35, 6};

// The byte at nOffset of the record, 0 outside it; the little-endian 32-bit word there (bytes
// outside the record read 0).
uint8_t GameData_GetByte(int nOffset);
uint32_t GameData_GetWord(int nOffset);
// Writes the byte at nOffset of the record; nothing outside it or without a writable record.
void GameData_SetByte(int nOffset, uint8_t uValue);
BOOL GameData_IsOptionSet(GameOption option);

// The rally-school lesson of byte 1728: its group (bits 3-4) and task (bits 5-7).
int GameData_GetSchoolGroup(void);
int GameData_GetSchoolTask(void);

// The record of the player whose number the car carries. Cars 0 and 1 are the two local
// players; the other car numbers have no record of their own and read the first player's.
const uint8_t* GameData_GetPlayerInfo(int nCarNumber);
// Local player nPlayer's record (0 or 1) for the game to write its results into; NULL for
// another player or when the front end gave no record to write.
uint8_t* GameData_GetPlayerInfoForWrite(int nPlayer);
// The choice (bits 0-2) of a set-up item of the car's player.
int GameData_GetSetupChoice(int nCarNumber, int nItem);
// The gearbox bit (bit 4 of the car-type byte): set chooses gearbox mode 1.
BOOL GameData_GetGearboxBit(int nCarNumber);
// Whether remote player slot nSlot (0..6) takes part in the game: the slot's in-game word.
BOOL GameData_IsRemotePlayerActive(int nSlot);
// Remote player slot nSlot's record (0..6): to read (zeros without a record) and to write (NULL
// for another slot or without a writable record).
const uint8_t* GameData_GetRemotePlayer(int nSlot);
uint8_t* GameData_GetRemotePlayerForWrite(int nSlot);

// The rally school runs (the front end's flag), and the attract demo runs (session byte, bit 0).
BOOL GameData_IsRallySchool(void);
BOOL GameData_IsAttractDemo(void);
