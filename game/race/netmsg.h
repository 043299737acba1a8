// The network game's messages: every application message the machines of a session exchange,
// in explicit little-endian layouts, with one writer and one reader for each. Every message
// begins with its 32-bit type; each type has a fixed size, and a message shorter than its type's
// size, or of a type outside the catalogue, is not read. Longer messages are read up to their
// type's size.
//
// The session layer's own system messages (sender id 0) are read here too: their type, and the
// player id of a player that left.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/include/dk_types.h"

// Application message types.
#define NETMSG_PLAYER_INFO 1      // a player's record: joining, and the answer to one
#define NETMSG_GAME_SETTINGS 2    // the host's game settings
#define NETMSG_PLAYERS_KNOWN 4    // a client holds every player's record
#define NETMSG_LEAVE_LOBBY 5      // the lobby is left for the race
#define NETMSG_CHAT 6             // a chat line
#define NETMSG_CAR_STATE 7        // a car state
#define NETMSG_CAR_STATE_PAUSED 8 // a car state while its game is paused
#define NETMSG_CAR_STATE_FULL 9   // a car state with the sender's clocks
#define NETMSG_HOST_RACING 10     // a new host, the race started
#define NETMSG_HOST_WAITING 11    // a new host, still waiting for the start
#define NETMSG_READY 12           // a client is at the start line
#define NETMSG_READY_ACK 13       // the host has seen it
#define NETMSG_START 14           // the host starts the race
#define NETMSG_SPLIT_TIME 16      // a checkpoint's time
#define NETMSG_FINISHED 17        // a player's finishing time
#define NETMSG_GAME_RUNNING 18    // the game is running (answer to 19)
#define NETMSG_ASK_STATE 19       // a lobby client asks whether a game runs
#define NETMSG_IN_LOBBY 20        // the host is still in the lobby
#define NETMSG_STAGE_CHOICE 21    // the host's country and stage
#define NETMSG_LEAVE_GAME 22      // the host ends the game

// Sizes of each type, type word included.
#define NETMSG_SIZE_EMPTY 16
#define NETMSG_SIZE_PLAYER_INFO 160
#define NETMSG_SIZE_GAME_SETTINGS 1444
#define NETMSG_SIZE_CHAT 280
#define NETMSG_SIZE_CAR_STATE 60
#define NETMSG_SIZE_CAR_STATE_PAUSED 64
#define NETMSG_SIZE_CAR_STATE_FULL 68
#define NETMSG_SIZE_SPLIT_TIME 12
#define NETMSG_SIZE_FINISHED 20
#define NETMSG_SIZE_STAGE_CHOICE 12
// The largest message, and the room a writer needs.
#define NETMSG_MAX_SIZE NETMSG_SIZE_GAME_SETTINGS

#define NETMSG_PLAYER_RECORD_SIZE 156
#define NETMSG_SETTINGS_BYTES 1440
// A chat line's text field, terminator included.
#define NETMSG_CHAT_TEXT 276
// A player's name: the first 12 bytes of the record, terminator included.
#define NETMSG_NAME_LENGTH 12

// The countries and stages a settings or stage-choice message may name: ten countries, seven
// stages, and in the settings the stage 15 that makes the next stage the chosen rally's first.
#define NETMSG_COUNTRIES 10
#define NETMSG_STAGES 7
#define NETMSG_STAGE_NEXT_RALLY 15

// The size of a message type, type word included; 0 for a type outside the catalogue.
size_t NetMsg_GetSize(uint32_t uType);
// The type of the message in pData (0 when it is shorter than a type word).
uint32_t NetMsg_GetType(const void* pData, size_t uSize);
// Whether the message is one of the catalogue's and at least its type's size.
BOOL NetMsg_IsWhole(const void* pData, size_t uSize);

// A car state (types 7, 8 and 9). Positions and vectors 16.16; the two axes are the car
// matrix's first two rows, the third row is their cross product.
struct NetCarState
{
    uint32_t uType; // NETMSG_CAR_STATE, NETMSG_CAR_STATE_PAUSED or NETMSG_CAR_STATE_FULL
    int32_t aPosition[3];
    int32_t aDisplacement[3]; // since the tick before
    int32_t anCarValue[2];    // two words of the car model's
    int32_t aAxisA[3];
    int32_t aAxisB[3];
    int32_t nStageClock; // type 9 only
    int32_t nTickTime;   // type 9 only
};

// The host's game settings (type 2): the 1,440 bytes of the front end's game record from its
// first player record on, and what a machine in the race reads of them.
struct NetGameSettings
{
    uint8_t uGameType;      // bits 0-1 the game's kind
    uint8_t uCountryStage;  // country in the low nibble, stage in the high
    uint8_t uStageFlags;    // bit 4 the special-car flag, bit 3 the secret-stage flag
    uint16_t uProgress;     // the chosen country's progress word
    uint8_t uNetworkOption; // the first network setting
    uint8_t uCarStateRate;  // the second: the car-state rate 0-9
};
// Offsets of those fields within the message.
#define NETMSG_SETTINGS_GAME_TYPE 336
#define NETMSG_SETTINGS_COUNTRY_STAGE 337
#define NETMSG_SETTINGS_STAGE_FLAGS 338
#define NETMSG_SETTINGS_PROGRESS 316 // + 2 x country
#define NETMSG_SETTINGS_NETWORK 1440
#define NETMSG_SETTINGS_RATE 1441

// Writers: each fills pOut (at least its type's size) and returns the size written. Bytes that
// carry nothing are zero.
size_t NetMsg_WriteEmpty(uint32_t uType, uint8_t* pOut);
size_t NetMsg_WritePlayerInfo(const uint8_t* pRecord, uint8_t* pOut);
size_t NetMsg_WriteGameSettings(const uint8_t* pSettings, uint8_t* pOut);
// The text is cut to the field, always terminated.
size_t NetMsg_WriteChat(const char* pszText, uint8_t* pOut);
// The type of the state decides the layout.
size_t NetMsg_WriteCarState(const NetCarState& state, uint8_t* pOut);
size_t NetMsg_WriteSplitTime(int nCount, uint32_t uTime, uint8_t* pOut);
size_t NetMsg_WriteFinished(uint32_t uTime, uint8_t* pOut);
size_t NetMsg_WriteStageChoice(int32_t nCountry, int32_t nStage, uint8_t* pOut);

// Readers: FALSE (and nothing written) when the message is not whole or not of the type read.
// The player record comes with its name terminated inside its 12 bytes.
BOOL NetMsg_ReadPlayerInfo(const void* pData, size_t uSize, uint8_t* pRecord);
// FALSE as well when the country or stage lies outside the tables they index.
BOOL NetMsg_ReadGameSettings(const void* pData, size_t uSize, NetGameSettings* pOut);
// The text terminated inside its field.
BOOL NetMsg_ReadChat(const void* pData, size_t uSize, char* pszText);
BOOL NetMsg_ReadCarState(const void* pData, size_t uSize, NetCarState* pOut);
// The count is the 16-bit number of checkpoints passed; the two bytes after it carry nothing.
BOOL NetMsg_ReadSplitTime(const void* pData, size_t uSize, int* pnCount, uint32_t* puTime);
BOOL NetMsg_ReadFinished(const void* pData, size_t uSize, uint32_t* puTime);
// FALSE as well when the country or stage lies outside the tables.
BOOL NetMsg_ReadStageChoice(const void* pData, size_t uSize, int32_t* pnCountry, int32_t* pnStage);

// The session layer's system messages: the type word, and for a player created or destroyed
// the player's id at byte 8 (12 bytes at least).
#define NETSYS_CREATE_PLAYER 0x0003u
#define NETSYS_DESTROY_PLAYER 0x0005u
#define NETSYS_SESSION_LOST 0x0031u
#define NETSYS_HOST 0x0101u
#define NETSYS_PLAYER_ID 8
#define NETSYS_PLAYER_MESSAGE_SIZE 12
// FALSE when the message is too short to hold the id.
BOOL NetMsg_ReadSystemPlayerId(const void* pData, size_t uSize, uint32_t* puId);
