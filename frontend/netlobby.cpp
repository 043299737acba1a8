#include "frontend/netlobby.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_timer.h"
#include "engine/pc/network/dk_play.h"
#include "frontend/frontend.h"
#include "game/race/gamedata.h"
#include "game/race/netmsg.h"
#include "game/race/netplay.h"

namespace
{
// The game's own application id: sessions of other applications are not listed.
constexpr DK_GUID kApplicationGuid = {
    0x5d3e7a21u, 0x64c1u, 0x4b0fu, {0x9a, 0x18, 0x2e, 0x77, 0xd4, 0x03, 0xb6, 0x5c}};
constexpr const char* kUdpProviderPrefix = "UDP";
constexpr const char* kSessionName = "dezor";
constexpr int kMaxSessionPlayers = 8;
constexpr int kDefaultTimeoutSeconds = 60;
constexpr int kMaxTimeoutSeconds = 3600;
constexpr DWORD kSendGuaranteed = 1;
constexpr DPID kToAll = 0;
// The player record's bytes the session's long name is made of.
constexpr int kLongNameOffset = 12;
constexpr int kLongNameLength = 4;

enum class Stage
{
    kOff,
    kFindSession, // a joiner looks for the host's session
    kExchange,    // the records go round
    kDone,
};

Stage gStage = Stage::kOff;
BOOL gboHost = FALSE;
int gnPlayersWanted = 0;
uint32_t guStartMs = 0;
uint32_t guTimeoutMs = 0;
DPID gLocalId = 0;
int gnPlayerCount = -1;
// Host: the joiners that hold every record.
DPID gaAcknowledged[NETPLAY_REMOTE_SLOTS];
uint8_t gaSendBuffer[NETMSG_MAX_SIZE];

uint8_t* LocalRecord()
{
    return Frontend_GetWritableGameData() + GD_LOCAL_PLAYERS;
}

void PutWord(uint8_t* p, uint32_t uValue)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(uValue >> (8 * i));
}

NetLobbyStatus Fail(const char* pszWhy)
{
    std::fprintf(stderr, "DEZOR_NET: %s\n", pszWhy);
    DkLog(DkFormatString("Network lobby: %s", pszWhy));
    gStage = Stage::kDone;
    return NETLOBBY_FAILED;
}

// The seven remote slots emptied: id, alive and joining words, and the name.
void ResetRemotePlayers()
{
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
    {
        uint8_t* pRecord = GameData_GetRemotePlayerForWrite(s);
        if (pRecord == nullptr)
            continue;
        PutWord(pRecord + PI_PLAYER_ID, 0);
        PutWord(pRecord + PI_IN_GAME, 0);
        PutWord(pRecord + PI_JOINING, 0);
        PutWord(pRecord + PI_NETWORK_SPARE, 0);
        pRecord[PI_NAME] = 0;
    }
}

// The UDP provider's index, or -1.
int FindUdpProvider()
{
    DkEnumServiceProviders();
    for (int n = 0; n < DkGetNumServiceProviders(); ++n)
    {
        const char* pszName = DkGetServiceProviderName(n);
        if (pszName != nullptr &&
            std::strncmp(pszName, kUdpProviderPrefix, std::strlen(kUdpProviderPrefix)) == 0)
            return n;
    }
    return -1;
}

// The local player in the session: short name the car type + 101 as a character, then the
// player's name; long name the record's four bytes at 12. Its id goes into the local record,
// whose alive word is set.
bool CreateLocalPlayer()
{
    uint8_t* pRecord = LocalRecord();
    char szShort[1 + NETMSG_NAME_LENGTH] = {};
    szShort[0] = static_cast<char>((pRecord[PI_CAR_TYPE] & 0x0F) + 101);
    for (int i = 0; i < NETMSG_NAME_LENGTH - 1 && pRecord[PI_NAME + i] != 0; ++i)
        szShort[1 + i] = static_cast<char>(pRecord[PI_NAME + i]);
    char szLong[kLongNameLength + 1] = {};
    std::memcpy(szLong, pRecord + kLongNameOffset, kLongNameLength);
    DPID id = 0;
    if (!DkCreatePlayer(szLong, szShort, &id, nullptr) || id == 0)
        return false;
    gLocalId = id;
    PutWord(pRecord + PI_PLAYER_ID, id);
    PutWord(pRecord + PI_IN_GAME, 1);
    PutWord(pRecord + PI_JOINING, 0);
    PutWord(pRecord + PI_NETWORK_SPARE, 0);
    return true;
}

void SendPlayerInfo()
{
    DkSendData(gaSendBuffer,
               static_cast<DWORD>(NetMsg_WritePlayerInfo(LocalRecord(), gaSendBuffer)),
               kSendGuaranteed, kToAll);
}

void SendPlayersKnown()
{
    DkSendData(gaSendBuffer,
               static_cast<DWORD>(NetMsg_WriteEmpty(NETMSG_PLAYERS_KNOWN, gaSendBuffer)),
               kSendGuaranteed, kToAll);
}

// The host's settings: its mode, country and stage, stage flags, the country's progress word
// and the two network settings, at their places in the message (the bytes after the type).
void SendGameSettings()
{
    uint8_t aSettings[NETMSG_SETTINGS_BYTES] = {};
    constexpr int kBody = 4;
    const uint8_t uGameType = GameData_GetByte(GD_GAME_TYPE);
    const uint8_t uCountryStage = GameData_GetByte(GD_STAGE_SELECTION);
    const int nCountry = uCountryStage & 0x0F;
    aSettings[NETMSG_SETTINGS_GAME_TYPE - kBody] = uGameType & 3;
    aSettings[NETMSG_SETTINGS_COUNTRY_STAGE - kBody] = uCountryStage;
    aSettings[NETMSG_SETTINGS_STAGE_FLAGS - kBody] =
        static_cast<uint8_t>((uGameType & 0x20 ? 0x10 : 0) | (uGameType & 0x40 ? 0x08 : 0));
    aSettings[NETMSG_SETTINGS_PROGRESS - kBody + 2 * nCountry] = GameData_GetByte(GD_COUNTRY_WORD);
    aSettings[NETMSG_SETTINGS_PROGRESS - kBody + 2 * nCountry + 1] =
        GameData_GetByte(GD_COUNTRY_WORD + 1);
    aSettings[NETMSG_SETTINGS_NETWORK - kBody] = GameData_GetByte(GD_NETWORK_SETTINGS);
    aSettings[NETMSG_SETTINGS_RATE - kBody] = GameData_GetByte(GD_CAR_STATE_RATE);
    DkSendData(gaSendBuffer, static_cast<DWORD>(NetMsg_WriteGameSettings(aSettings, gaSendBuffer)),
               kSendGuaranteed, kToAll);
}

// A joiner takes the host's mode (bits 0-1 of the game type), country and stage, and the two
// network settings; the rest of its game data is its own.
void ApplyGameSettings(const NetGameSettings& settings)
{
    const uint8_t uType = GameData_GetByte(GD_GAME_TYPE);
    GameData_SetByte(GD_GAME_TYPE, static_cast<uint8_t>((uType & ~3) | (settings.uGameType & 3)));
    GameData_SetByte(GD_STAGE_SELECTION, settings.uCountryStage);
    GameData_SetByte(GD_NETWORK_SETTINGS, settings.uNetworkOption);
    GameData_SetByte(GD_CAR_STATE_RATE, settings.uCarStateRate);
}

// A player record from idFrom into the first free remote slot, racing (alive word set) and
// under the sender's session id. FALSE when the id is known already or no slot is free.
bool StoreRecord(const uint8_t* pRecord, DPID idFrom)
{
    const int nSlot = NetPlay_AddRemotePlayer(pRecord, idFrom);
    if (nSlot < 0)
        return false;
    uint8_t* pSlot = GameData_GetRemotePlayerForWrite(nSlot);
    if (pSlot == nullptr)
        return false;
    PutWord(pSlot + PI_IN_GAME, 1);
    PutWord(pSlot + PI_JOINING, 0);
    DkLog(DkFormatString("Network lobby: player %u in remote slot %d", idFrom, nSlot));
    return true;
}

// Every other player of the session has a remote slot.
bool AllPlayersKnown()
{
    if (gnPlayerCount < 2)
        return false;
    for (int i = 0; i < gnPlayerCount; ++i)
    {
        const DPID id = DkGetPlayerId(i);
        if (id != gLocalId && NetPlay_FindRemotePlayer(id) < 0)
            return false;
    }
    return true;
}

void NoteAcknowledged(DPID id)
{
    for (DPID known : gaAcknowledged)
        if (known == id)
            return;
    for (DPID& entry : gaAcknowledged)
        if (entry == 0)
        {
            entry = id;
            return;
        }
}

// Every other player of the session holds every record.
bool AllAcknowledged()
{
    for (int i = 0; i < gnPlayerCount; ++i)
    {
        const DPID id = DkGetPlayerId(i);
        if (id == gLocalId)
            continue;
        bool boFound = false;
        for (DPID known : gaAcknowledged)
            boFound = boFound || known == id;
        if (!boFound)
            return false;
    }
    return true;
}

// The game starts: a network game, a host's session closed to joiners until the stage decides.
NetLobbyStatus Start()
{
    gboNetworkGame = TRUE;
    if (gboHost)
        AllowOthersToJoinSession(FALSE);
    gStage = Stage::kDone;
    DkLog(DkFormatString("Network lobby: the game starts with %d players", gnPlayerCount));
    return NETLOBBY_START;
}

bool TimedOut()
{
    return DkGetMilliseconds() - guStartMs > guTimeoutMs;
}

NetLobbyStatus FindSession()
{
    if (DkEnumSessions() == 0 && DkGetNumSessions() > 0)
    {
        if (!DkJoinSession(0))
            return Fail("the session found could not be joined");
        if (!CreateLocalPlayer())
            return Fail("no player could be created in the session");
        gStage = Stage::kExchange;
        return NETLOBBY_WAITING;
    }
    if (TimedOut())
        return Fail("no session found in time");
    return NETLOBBY_WAITING;
}

// Messages waiting, until none is left or (a joiner) the settings arrive; TRUE when they did.
bool DrainMessages()
{
    const void* pData = nullptr;
    uint32_t uSize = 0;
    DPID idFrom = 0;
    while (NetPlay_ReceiveNext(&pData, &uSize, &idFrom))
    {
        if (idFrom == 0)
        {
            uint32_t uGone = 0;
            if (NetMsg_GetType(pData, uSize) == NETSYS_DESTROY_PLAYER &&
                NetMsg_ReadSystemPlayerId(pData, uSize, &uGone))
                NetPlay_RemoveRemotePlayer(uGone);
            else
                DkHandleSystemMessage(pData, uSize);
            continue;
        }
        if (!NetMsg_IsWhole(pData, uSize))
        {
            DkLog(DkFormatString("Network message of type %u and %u bytes dropped",
                                 NetMsg_GetType(pData, uSize), uSize));
            continue;
        }
        switch (NetMsg_GetType(pData, uSize))
        {
            case NETMSG_PLAYER_INFO:
            {
                uint8_t aRecord[NETMSG_PLAYER_RECORD_SIZE];
                if (!NetMsg_ReadPlayerInfo(pData, uSize, aRecord) || idFrom == gLocalId)
                    break;
                StoreRecord(aRecord, idFrom);
                // A joiner says so again for every record that arrives while it holds them all.
                if (!gboHost && AllPlayersKnown())
                    SendPlayersKnown();
                break;
            }
            case NETMSG_PLAYERS_KNOWN:
                if (gboHost)
                    NoteAcknowledged(idFrom);
                break;
            case NETMSG_GAME_SETTINGS:
            {
                NetGameSettings settings;
                if (gboHost)
                    break;
                if (!NetMsg_ReadGameSettings(pData, uSize, &settings))
                {
                    DkLog("Network game settings name no known country or stage: dropped");
                    break;
                }
                ApplyGameSettings(settings);
                return true;
            }
            default:
                break;
        }
    }
    return false;
}

NetLobbyStatus Exchange()
{
    DkEnumPlayers();
    const int nPlayers = DkGetNumPlayers();
    if (nPlayers != gnPlayerCount)
    {
        // Someone came or went: everyone's record goes round again.
        gnPlayerCount = nPlayers;
        for (DPID& entry : gaAcknowledged)
            entry = 0;
        DkLog(DkFormatString("Network lobby: %d players in the session", nPlayers));
        SendPlayerInfo();
    }
    if (DrainMessages())
    {
        if (!AllPlayersKnown())
            DkLog("Network lobby: the settings came before every player's record");
        return Start();
    }
    if (gboHost && gnPlayerCount >= gnPlayersWanted && AllPlayersKnown() && AllAcknowledged())
    {
        SendGameSettings();
        return Start();
    }
    if (TimedOut())
        return Fail(gboHost ? "the players did not all come in time"
                            : "the host's game settings did not come in time");
    return NETLOBBY_WAITING;
}
} // namespace

NetLobbyStatus NetLobby_Begin(void)
{
    const char* pszNet = std::getenv("DEZOR_NET");
    if (pszNet == nullptr || *pszNet == '\0')
        return NETLOBBY_OFF;
    gStage = Stage::kDone;
    if (std::strncmp(pszNet, "host:", 5) == 0)
    {
        char* pEnd = nullptr;
        const long nPlayers = std::strtol(pszNet + 5, &pEnd, 10);
        if (pEnd == pszNet + 5 || *pEnd != '\0' || nPlayers < 2 || nPlayers > kMaxSessionPlayers)
            return Fail("host:N needs N from 2 to 8");
        gboHost = TRUE;
        gnPlayersWanted = static_cast<int>(nPlayers);
    }
    else if (std::strcmp(pszNet, "join") == 0)
        gboHost = FALSE;
    else
        return Fail("expected host:N or join");

    long nSeconds = kDefaultTimeoutSeconds;
    if (const char* pszTimeout = std::getenv("DEZOR_NET_TIMEOUT"))
    {
        char* pEnd = nullptr;
        nSeconds = std::strtol(pszTimeout, &pEnd, 10);
        if (pEnd == pszTimeout || *pEnd != '\0' || nSeconds < 1 || nSeconds > kMaxTimeoutSeconds)
            return Fail("DEZOR_NET_TIMEOUT needs seconds from 1 to 3600");
    }
    guTimeoutMs = static_cast<uint32_t>(nSeconds) * 1000u;
    guStartMs = DkGetMilliseconds();

    gboNetworkGame = FALSE;
    gboSessionHost = gboHost;
    gnPlayerCount = -1;
    for (DPID& entry : gaAcknowledged)
        entry = 0;
    ResetRemotePlayers();
    DkInitPlay();
    // The engine keeps the pointer: the id lives as long as the program.
    DkSetSessionGuid(reinterpret_cast<const GUID*>(&kApplicationGuid));
    const int nProvider = FindUdpProvider();
    if (nProvider < 0 || !UseLinkDevice(nProvider))
        return Fail("the UDP provider cannot be used");
    if (!gboHost)
    {
        gStage = Stage::kFindSession;
        return NETLOBBY_WAITING;
    }
    if (!DkCreateSession(kSessionName, kMaxSessionPlayers))
        return Fail("the session could not be created");
    if (!CreateLocalPlayer())
        return Fail("no player could be created in the session");
    if (!AllowOthersToJoinSession(TRUE))
        return Fail("the session could not be opened to joiners");
    gStage = Stage::kExchange;
    return NETLOBBY_WAITING;
}

NetLobbyStatus NetLobby_Update(void)
{
    switch (gStage)
    {
        case Stage::kFindSession:
            return FindSession();
        case Stage::kExchange:
            return Exchange();
        default:
            return NETLOBBY_OFF;
    }
}
