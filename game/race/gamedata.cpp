#include "game/race/gamedata.h"

#include "engine/include/dk_entries.h"

std::atomic<int32_t> gboFrontendActive{1};
std::atomic<int32_t> gboGoIntoGame{0};
std::atomic<int32_t> gboFrontendNeedsInit{1};

namespace
{

constexpr int kFirstLocalPlayer = GD_LOCAL_PLAYERS;
constexpr int kFirstRemotePlayer = GD_REMOTE_PLAYERS;
// Within a player record.
constexpr int kSetupPairs = PI_SETUP_PAIRS;
constexpr int kCarTypeByte = PI_CAR_TYPE;
constexpr int kGearboxBit = 4;
constexpr int kInGameWord = PI_IN_GAME;
constexpr int kSchoolByte = GD_SCHOOL_SELECTION;

} // namespace

uint8_t GameData_GetByte(int nOffset)
{
    if (nOffset < 0 || nOffset >= DK_GAME_DATA_SIZE)
        return 0;
    return DkEntries().GetGameData()[nOffset];
}

uint32_t GameData_GetWord(int nOffset)
{
    uint32_t uWord = 0;
    for (int i = 0; i < 4; ++i)
        uWord |= static_cast<uint32_t>(GameData_GetByte(nOffset + i)) << (8 * i);
    return uWord;
}

void GameData_SetByte(int nOffset, uint8_t uValue)
{
    uint8_t* pData = DkEntries().GetWritableGameData();
    if (pData != nullptr && nOffset >= 0 && nOffset < DK_GAME_DATA_SIZE)
        pData[nOffset] = uValue;
}

BOOL GameData_IsOptionSet(GameOption option)
{
    return (GameData_GetByte(option.nByte) >> option.nBit) & 1 ? TRUE : FALSE;
}

int GameData_GetSchoolGroup(void)
{
    return (GameData_GetByte(kSchoolByte) >> 3) & 3;
}

int GameData_GetSchoolTask(void)
{
    return (GameData_GetByte(kSchoolByte) >> 5) & 7;
}

const uint8_t* GameData_GetPlayerInfo(int nCarNumber)
{
    const int nPlayer = nCarNumber >= 0 && nCarNumber < GAME_DATA_LOCAL_PLAYERS ? nCarNumber : 0;
    return DkEntries().GetGameData() + kFirstLocalPlayer + nPlayer * GAME_DATA_PLAYER_SIZE;
}

uint8_t* GameData_GetPlayerInfoForWrite(int nPlayer)
{
    uint8_t* pData = DkEntries().GetWritableGameData();
    if (pData == nullptr || nPlayer < 0 || nPlayer >= GAME_DATA_LOCAL_PLAYERS)
        return nullptr;
    return pData + kFirstLocalPlayer + nPlayer * GAME_DATA_PLAYER_SIZE;
}

int GameData_GetSetupChoice(int nCarNumber, int nItem)
{
    if (nItem < SETUP_TYRES || nItem > SETUP_GEAR_RATIO)
        return 0;
    // Each item is a pair: the cost, then the choice in bits 0-2.
    return GameData_GetPlayerInfo(nCarNumber)[kSetupPairs + 2 * nItem + 1] & 7;
}

BOOL GameData_GetGearboxBit(int nCarNumber)
{
    return (GameData_GetPlayerInfo(nCarNumber)[kCarTypeByte] >> kGearboxBit) & 1 ? TRUE : FALSE;
}

const uint8_t* GameData_GetRemotePlayer(int nSlot)
{
    const int nValid = nSlot >= 0 && nSlot < GAME_DATA_REMOTE_PLAYERS ? nSlot : 0;
    return DkEntries().GetGameData() + kFirstRemotePlayer + nValid * GAME_DATA_PLAYER_SIZE;
}

uint8_t* GameData_GetRemotePlayerForWrite(int nSlot)
{
    uint8_t* pData = DkEntries().GetWritableGameData();
    if (pData == nullptr || nSlot < 0 || nSlot >= GAME_DATA_REMOTE_PLAYERS)
        return nullptr;
    return pData + kFirstRemotePlayer + nSlot * GAME_DATA_PLAYER_SIZE;
}

BOOL GameData_IsRemotePlayerActive(int nSlot)
{
    if (nSlot < 0 || nSlot >= GAME_DATA_REMOTE_PLAYERS)
        return FALSE;
    return GameData_GetWord(kFirstRemotePlayer + nSlot * GAME_DATA_PLAYER_SIZE + kInGameWord) != 0
               ? TRUE
               : FALSE;
}

BOOL GameData_IsRallySchool(void)
{
    return DkEntries().IsRallySchool() != FALSE ? TRUE : FALSE;
}

BOOL GameData_IsAttractDemo(void)
{
    return (GameData_GetByte(GD_SESSION_FLAGS) & 1) != 0 ? TRUE : FALSE;
}
