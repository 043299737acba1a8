#include "engine/include/dk_entries.h"

namespace
{

int NoPass(void)
{
    return 0;
}
void NoCommandLine(char*) {}
int OnePlayerGame(void)
{
    return 0;
}
int NoBits(void)
{
    return 0;
}
BOOL No(void)
{
    return FALSE;
}
const uint8_t* NoGameData(void)
{
    static const uint8_t kZeros[DK_GAME_DATA_SIZE] = {};
    return kZeros;
}

uint8_t* NoWritableGameData(void)
{
    return nullptr;
}

void NoOptionBits(BOOL, BOOL, BOOL, int) {}

void NoSessionName(char* pszOut, int nSize)
{
    if (pszOut != nullptr && nSize > 0)
        pszOut[0] = '\0';
}
void NoChatLine(const char*) {}
void NoAnswer(void) {}
void NoLobbyMessage(const void*, uint32_t, DPID) {}

int NoCars(void)
{
    return 0;
}

constexpr DK_ENTRIES kIdle = {
    .Frontend_Update = NoPass,
    .Frontend_LogCommandLine = NoCommandLine,
    .GetGameType = OnePlayerGame,
    .IsRallySchool = No,
    .GetGameTypeByte = NoBits,
    .GetGameData = NoGameData,
    .GetWritableGameData = NoWritableGameData,
    .SetGameOptionBits = NoOptionBits,
    .Network_FormatSessionName = NoSessionName,
    .Chat_AddLine = NoChatLine,
    .Network_SendGameRunning = NoAnswer,
    .Network_HandleLobbyMessage = NoLobbyMessage,
    .IsGameDisplayReady = No,
    .IsLoadingScreenUp = No,
    .IsStageRunning = No,
    .IsMediumDetailCar = No,
    .GetNumMechCars = NoCars,
};

DK_ENTRIES gEntries = kIdle;

template <typename Fn> void Take(Fn& to, Fn from)
{
    if (from != nullptr)
        to = from;
}

} // namespace

void DkRegisterEntries(const DK_ENTRIES* pEntries)
{
    if (pEntries == nullptr)
        return;
    Take(gEntries.Frontend_Update, pEntries->Frontend_Update);
    Take(gEntries.Frontend_LogCommandLine, pEntries->Frontend_LogCommandLine);
    Take(gEntries.GetGameType, pEntries->GetGameType);
    Take(gEntries.IsRallySchool, pEntries->IsRallySchool);
    Take(gEntries.GetGameTypeByte, pEntries->GetGameTypeByte);
    Take(gEntries.GetGameData, pEntries->GetGameData);
    Take(gEntries.GetWritableGameData, pEntries->GetWritableGameData);
    Take(gEntries.SetGameOptionBits, pEntries->SetGameOptionBits);
    Take(gEntries.Network_FormatSessionName, pEntries->Network_FormatSessionName);
    Take(gEntries.Chat_AddLine, pEntries->Chat_AddLine);
    Take(gEntries.Network_SendGameRunning, pEntries->Network_SendGameRunning);
    Take(gEntries.Network_HandleLobbyMessage, pEntries->Network_HandleLobbyMessage);
    Take(gEntries.IsGameDisplayReady, pEntries->IsGameDisplayReady);
    Take(gEntries.IsLoadingScreenUp, pEntries->IsLoadingScreenUp);
    Take(gEntries.IsStageRunning, pEntries->IsStageRunning);
    Take(gEntries.IsMediumDetailCar, pEntries->IsMediumDetailCar);
    Take(gEntries.GetNumMechCars, pEntries->GetNumMechCars);
}

const DK_ENTRIES& DkEntries(void)
{
    return gEntries;
}

void DkResetEntries(void)
{
    gEntries = kIdle;
}
