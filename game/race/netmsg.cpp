#include "game/race/netmsg.h"

#include <cstring>

namespace
{
// Where each field lies in its message.
constexpr size_t kType = 0;
constexpr size_t kBody = 4;

// Car state body (type 7 from byte 4, type 8 from byte 8, type 9 from byte 4 with two trailing
// words).
constexpr size_t kStatePosition = 0;
constexpr size_t kStateDisplacement = 12;
constexpr size_t kStateValues = 24;
constexpr size_t kStateAxisA = 32;
constexpr size_t kStateAxisB = 44;
constexpr size_t kStateBodySize = 56;
constexpr size_t kPausedReserved = 4;
constexpr size_t kPausedBody = 8;
constexpr size_t kFullStageClock = kBody + kStateBodySize;
constexpr size_t kFullTickTime = kFullStageClock + 4;
static_assert(kBody + kStateBodySize == NETMSG_SIZE_CAR_STATE);
static_assert(kPausedBody + kStateBodySize == NETMSG_SIZE_CAR_STATE_PAUSED);
static_assert(kFullTickTime + 4 == NETMSG_SIZE_CAR_STATE_FULL);

constexpr size_t kSplitCount = 4;
constexpr size_t kSplitTime = 8;
static_assert(kSplitTime + 4 == NETMSG_SIZE_SPLIT_TIME);
constexpr size_t kFinishTime = 4;
static_assert(kFinishTime + 4 + 12 == NETMSG_SIZE_FINISHED);
constexpr size_t kChoiceCountry = 4;
constexpr size_t kChoiceStage = 8;
static_assert(kChoiceStage + 4 == NETMSG_SIZE_STAGE_CHOICE);
static_assert(kBody + NETMSG_PLAYER_RECORD_SIZE == NETMSG_SIZE_PLAYER_INFO);
static_assert(kBody + NETMSG_SETTINGS_BYTES == NETMSG_SIZE_GAME_SETTINGS);
static_assert(kBody + NETMSG_CHAT_TEXT == NETMSG_SIZE_CHAT);
static_assert(NETMSG_SETTINGS_RATE < NETMSG_SIZE_GAME_SETTINGS);
static_assert(NETMSG_SETTINGS_PROGRESS + 2 * 15 + 1 < NETMSG_SIZE_GAME_SETTINGS);

void Put32(uint8_t* p, uint32_t u)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(u >> (8 * i));
}

uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t GetSigned(const uint8_t* p)
{
    return static_cast<int32_t>(Get32(p));
}

void PutVector(uint8_t* p, const int32_t* a, int n)
{
    for (int i = 0; i < n; ++i)
        Put32(p + 4 * i, static_cast<uint32_t>(a[i]));
}

void GetVector(const uint8_t* p, int32_t* a, int n)
{
    for (int i = 0; i < n; ++i)
        a[i] = GetSigned(p + 4 * i);
}

// A message of this type, whole, as bytes; NULL otherwise.
const uint8_t* Whole(const void* pData, size_t uSize, uint32_t uType)
{
    if (NetMsg_GetType(pData, uSize) != uType || !NetMsg_IsWhole(pData, uSize))
        return nullptr;
    return static_cast<const uint8_t*>(pData);
}

size_t Begin(uint32_t uType, uint8_t* pOut)
{
    const size_t uSize = NetMsg_GetSize(uType);
    std::memset(pOut, 0, uSize);
    Put32(pOut + kType, uType);
    return uSize;
}

bool CountryAndStage(int32_t nCountry, int32_t nStage, bool boNextRally)
{
    return nCountry >= 0 && nCountry < NETMSG_COUNTRIES &&
           ((nStage >= 0 && nStage < NETMSG_STAGES) ||
            (boNextRally && nStage == NETMSG_STAGE_NEXT_RALLY));
}
} // namespace

size_t NetMsg_GetSize(uint32_t uType)
{
    switch (uType)
    {
    case NETMSG_PLAYER_INFO:
        return NETMSG_SIZE_PLAYER_INFO;
    case NETMSG_GAME_SETTINGS:
        return NETMSG_SIZE_GAME_SETTINGS;
    case NETMSG_CHAT:
        return NETMSG_SIZE_CHAT;
    case NETMSG_CAR_STATE:
        return NETMSG_SIZE_CAR_STATE;
    case NETMSG_CAR_STATE_PAUSED:
        return NETMSG_SIZE_CAR_STATE_PAUSED;
    case NETMSG_CAR_STATE_FULL:
        return NETMSG_SIZE_CAR_STATE_FULL;
    case NETMSG_SPLIT_TIME:
        return NETMSG_SIZE_SPLIT_TIME;
    case NETMSG_FINISHED:
        return NETMSG_SIZE_FINISHED;
    case NETMSG_STAGE_CHOICE:
        return NETMSG_SIZE_STAGE_CHOICE;
    case NETMSG_PLAYERS_KNOWN:
    case NETMSG_LEAVE_LOBBY:
    case NETMSG_HOST_RACING:
    case NETMSG_HOST_WAITING:
    case NETMSG_READY:
    case NETMSG_READY_ACK:
    case NETMSG_START:
    case NETMSG_GAME_RUNNING:
    case NETMSG_ASK_STATE:
    case NETMSG_IN_LOBBY:
    case NETMSG_LEAVE_GAME:
        return NETMSG_SIZE_EMPTY;
    default:
        return 0;
    }
}

uint32_t NetMsg_GetType(const void* pData, size_t uSize)
{
    if (pData == nullptr || uSize < 4)
        return 0;
    return Get32(static_cast<const uint8_t*>(pData) + kType);
}

BOOL NetMsg_IsWhole(const void* pData, size_t uSize)
{
    const size_t uNeeded = NetMsg_GetSize(NetMsg_GetType(pData, uSize));
    return uNeeded != 0 && uSize >= uNeeded ? TRUE : FALSE;
}

size_t NetMsg_WriteEmpty(uint32_t uType, uint8_t* pOut)
{
    if (NetMsg_GetSize(uType) != NETMSG_SIZE_EMPTY)
        return 0;
    return Begin(uType, pOut);
}

size_t NetMsg_WritePlayerInfo(const uint8_t* pRecord, uint8_t* pOut)
{
    const size_t uSize = Begin(NETMSG_PLAYER_INFO, pOut);
    std::memcpy(pOut + kBody, pRecord, NETMSG_PLAYER_RECORD_SIZE);
    return uSize;
}

size_t NetMsg_WriteGameSettings(const uint8_t* pSettings, uint8_t* pOut)
{
    const size_t uSize = Begin(NETMSG_GAME_SETTINGS, pOut);
    std::memcpy(pOut + kBody, pSettings, NETMSG_SETTINGS_BYTES);
    return uSize;
}

size_t NetMsg_WriteChat(const char* pszText, uint8_t* pOut)
{
    const size_t uSize = Begin(NETMSG_CHAT, pOut);
    if (pszText != nullptr)
    {
        const size_t uLength = strnlen(pszText, NETMSG_CHAT_TEXT - 1);
        std::memcpy(pOut + kBody, pszText, uLength);
    }
    return uSize;
}

size_t NetMsg_WriteCarState(const NetCarState& state, uint8_t* pOut)
{
    if (state.uType != NETMSG_CAR_STATE && state.uType != NETMSG_CAR_STATE_PAUSED &&
        state.uType != NETMSG_CAR_STATE_FULL)
        return 0;
    const size_t uSize = Begin(state.uType, pOut);
    uint8_t* p = pOut + (state.uType == NETMSG_CAR_STATE_PAUSED ? kPausedBody : kBody);
    PutVector(p + kStatePosition, state.aPosition, 3);
    PutVector(p + kStateDisplacement, state.aDisplacement, 3);
    PutVector(p + kStateValues, state.anCarValue, 2);
    PutVector(p + kStateAxisA, state.aAxisA, 3);
    PutVector(p + kStateAxisB, state.aAxisB, 3);
    if (state.uType == NETMSG_CAR_STATE_FULL)
    {
        Put32(pOut + kFullStageClock, static_cast<uint32_t>(state.nStageClock));
        Put32(pOut + kFullTickTime, static_cast<uint32_t>(state.nTickTime));
    }
    return uSize;
}

size_t NetMsg_WriteSplitTime(int nCount, uint32_t uTime, uint8_t* pOut)
{
    const size_t uSize = Begin(NETMSG_SPLIT_TIME, pOut);
    pOut[kSplitCount] = static_cast<uint8_t>(nCount);
    pOut[kSplitCount + 1] = static_cast<uint8_t>(nCount >> 8);
    Put32(pOut + kSplitTime, uTime);
    return uSize;
}

size_t NetMsg_WriteFinished(uint32_t uTime, uint8_t* pOut)
{
    const size_t uSize = Begin(NETMSG_FINISHED, pOut);
    Put32(pOut + kFinishTime, uTime);
    return uSize;
}

size_t NetMsg_WriteStageChoice(int32_t nCountry, int32_t nStage, uint8_t* pOut)
{
    const size_t uSize = Begin(NETMSG_STAGE_CHOICE, pOut);
    Put32(pOut + kChoiceCountry, static_cast<uint32_t>(nCountry));
    Put32(pOut + kChoiceStage, static_cast<uint32_t>(nStage));
    return uSize;
}

BOOL NetMsg_ReadPlayerInfo(const void* pData, size_t uSize, uint8_t* pRecord)
{
    const uint8_t* p = Whole(pData, uSize, NETMSG_PLAYER_INFO);
    if (p == nullptr)
        return FALSE;
    std::memcpy(pRecord, p + kBody, NETMSG_PLAYER_RECORD_SIZE);
    pRecord[NETMSG_NAME_LENGTH - 1] = 0;
    return TRUE;
}

BOOL NetMsg_ReadGameSettings(const void* pData, size_t uSize, NetGameSettings* pOut)
{
    const uint8_t* p = Whole(pData, uSize, NETMSG_GAME_SETTINGS);
    if (p == nullptr)
        return FALSE;
    const uint8_t uCountryStage = p[NETMSG_SETTINGS_COUNTRY_STAGE];
    const int nCountry = uCountryStage & 0x0F;
    if (!CountryAndStage(nCountry, uCountryStage >> 4, true))
        return FALSE;
    pOut->uGameType = p[NETMSG_SETTINGS_GAME_TYPE];
    pOut->uCountryStage = uCountryStage;
    pOut->uStageFlags = p[NETMSG_SETTINGS_STAGE_FLAGS];
    const uint8_t* pProgress = p + NETMSG_SETTINGS_PROGRESS + 2 * nCountry;
    pOut->uProgress = static_cast<uint16_t>(pProgress[0] | pProgress[1] << 8);
    pOut->uNetworkOption = p[NETMSG_SETTINGS_NETWORK];
    pOut->uCarStateRate = p[NETMSG_SETTINGS_RATE];
    return TRUE;
}

BOOL NetMsg_ReadChat(const void* pData, size_t uSize, char* pszText)
{
    const uint8_t* p = Whole(pData, uSize, NETMSG_CHAT);
    if (p == nullptr)
        return FALSE;
    std::memcpy(pszText, p + kBody, NETMSG_CHAT_TEXT);
    pszText[NETMSG_CHAT_TEXT - 1] = '\0';
    return TRUE;
}

BOOL NetMsg_ReadCarState(const void* pData, size_t uSize, NetCarState* pOut)
{
    const uint32_t uType = NetMsg_GetType(pData, uSize);
    if (uType != NETMSG_CAR_STATE && uType != NETMSG_CAR_STATE_PAUSED &&
        uType != NETMSG_CAR_STATE_FULL)
        return FALSE;
    const uint8_t* pMessage = Whole(pData, uSize, uType);
    if (pMessage == nullptr)
        return FALSE;
    NetCarState state{};
    state.uType = uType;
    const uint8_t* p = pMessage + (uType == NETMSG_CAR_STATE_PAUSED ? kPausedBody : kBody);
    GetVector(p + kStatePosition, state.aPosition, 3);
    GetVector(p + kStateDisplacement, state.aDisplacement, 3);
    GetVector(p + kStateValues, state.anCarValue, 2);
    GetVector(p + kStateAxisA, state.aAxisA, 3);
    GetVector(p + kStateAxisB, state.aAxisB, 3);
    if (uType == NETMSG_CAR_STATE_FULL)
    {
        state.nStageClock = GetSigned(pMessage + kFullStageClock);
        state.nTickTime = GetSigned(pMessage + kFullTickTime);
    }
    *pOut = state;
    return TRUE;
}

BOOL NetMsg_ReadSplitTime(const void* pData, size_t uSize, int* pnCount, uint32_t* puTime)
{
    const uint8_t* p = Whole(pData, uSize, NETMSG_SPLIT_TIME);
    if (p == nullptr)
        return FALSE;
    *pnCount = p[kSplitCount] | p[kSplitCount + 1] << 8;
    *puTime = Get32(p + kSplitTime);
    return TRUE;
}

BOOL NetMsg_ReadFinished(const void* pData, size_t uSize, uint32_t* puTime)
{
    const uint8_t* p = Whole(pData, uSize, NETMSG_FINISHED);
    if (p == nullptr)
        return FALSE;
    *puTime = Get32(p + kFinishTime);
    return TRUE;
}

BOOL NetMsg_ReadStageChoice(const void* pData, size_t uSize, int32_t* pnCountry, int32_t* pnStage)
{
    const uint8_t* p = Whole(pData, uSize, NETMSG_STAGE_CHOICE);
    if (p == nullptr)
        return FALSE;
    const int32_t nCountry = GetSigned(p + kChoiceCountry);
    const int32_t nStage = GetSigned(p + kChoiceStage);
    if (!CountryAndStage(nCountry, nStage, false))
        return FALSE;
    *pnCountry = nCountry;
    *pnStage = nStage;
    return TRUE;
}

BOOL NetMsg_ReadSystemPlayerId(const void* pData, size_t uSize, uint32_t* puId)
{
    if (pData == nullptr || uSize < NETSYS_PLAYER_MESSAGE_SIZE)
        return FALSE;
    *puId = Get32(static_cast<const uint8_t*>(pData) + NETSYS_PLAYER_ID);
    return TRUE;
}
