// What the layers above the engine give it. The engine never calls the front end or the game
// by name: at start-up each registers its entries here (frontend/entry.cpp does it for the
// program), and the engine calls through them. An entry nobody registered answers as an idle
// program would: no front-end pass, no stage, no loading screen, a one-player game. So a test
// registers only what it uses.
#pragma once

#include "engine/include/dk_types.h"

// The game data record's size in bytes.
#define DK_GAME_DATA_SIZE 1732

struct DK_ENTRIES
{
    // The front end.
    // One pass of the front end; WinMain calls it while the application is active. Returns 0.
    int (*Frontend_Update)(void);
    // Splits and logs the command line at start-up.
    void (*Frontend_LogCommandLine)(char* lpCmdLine);
    // The game type the front end's game data holds: 0 one player, 1 and 3 two players on one
    // screen (3 with collisions between their cars), 2 two players taking turns.
    int (*GetGameType)(void);
    // Whether the rally school runs (always a one-player game).
    BOOL (*IsRallySchool)(void);
    // The whole game-type byte of the front end's game data (byte 358: game mode, game type,
    // special car, secret stage), for the game's tests of its other bits.
    int (*GetGameTypeByte)(void);
    // The front end's game data record (DK_GAME_DATA_SIZE bytes), from which the game reads its
    // option bits and the players' set-up choices. Unregistered: a record of zeros.
    const uint8_t* (*GetGameData)(void);
    // The same record for the game to write its results into (the damage between stages).
    // Unregistered: NULL, and nothing is written.
    uint8_t* (*GetWritableGameData)(void);
    // Sets the option bits of the game data the coming stage sees (bytes 35 to 39), from the
    // front end's own record: the attract demo, the rally school, a super special stage and the
    // stage mode decide which. Unregistered: the bytes stay as they are.
    void (*SetGameOptionBits)(BOOL boDemo, BOOL boSchool, BOOL boSuperSpecial, int nStageMode);
    // The network lobby's side of a network game. The session's name for the game type and
    // the local player's name, into nSize bytes (unregistered: an empty name, and the session
    // keeps its own).
    void (*Network_FormatSessionName)(char* pszOut, int nSize);
    // A chat line received, for the chat history.
    void (*Chat_AddLine)(const char* pszLine);
    // Tells the player who asked that the game is running.
    void (*Network_SendGameRunning)(void);
    // A message of the lobby's own that arrived during a stage (joining, settings, lobby
    // state, stage choice), checked whole.
    void (*Network_HandleLobbyMessage)(const void* pData, uint32_t uSize, DPID idFrom);

    // The game.
    // Whether a stage, the school menu or the set-up screen has set up the game display.
    BOOL (*IsGameDisplayReady)(void);
    // Whether the race flow shows its loading screen; texture fonts then blit at once rather
    // than queue behind a scene that is not drawn.
    BOOL (*IsLoadingScreenUp)(void);
    // Whether a stage is running: the game states from the stage's set-up to its end.
    BOOL (*IsStageRunning)(void);
    // Whether the medium-detail car models are in use: the DK3D reader loads car textures at
    // full size then.
    BOOL (*IsMediumDetailCar)(void);
    // The number of cars simulated in the stage (gnNumMechCars); the track drawing lights each
    // car below it. Unregistered: 0.
    int (*GetNumMechCars)(void);
};

// Takes the entries the caller sets; its null members leave those registered before as they
// are, so the front end and the game may each register their own.
void DkRegisterEntries(const DK_ENTRIES* pEntries);
// The registered entries; every member is callable.
const DK_ENTRIES& DkEntries(void);
// Test hook: back to nothing registered.
void DkResetEntries(void);
