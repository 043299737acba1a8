#include "game/race/netplay.h"

#include <cstring>

#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/network/dk_play.h"
#include "game/hud/catseye.h"
#include "game/hud/endstage.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/interp.h"
#include "game/race/netmsg.h"
#include "game/race/splttime.h"
#include "game/vehicle/carmodel.h"

BOOL gboNetworkGame = FALSE;
BOOL gboSessionHost = FALSE;
NetPlayer gaNetPlayer[NETPLAY_PLAYERS];
NetRemoteCar gaNetRemoteCar[NETPLAY_REMOTE_SLOTS];
int32_t gnNetRaceState = 0;
BOOL gboHostContinued = FALSE;
BOOL gboNetNoSend = FALSE;

namespace
{
constexpr int kMaxRate = 9;
constexpr int kCameraIntro = 8;
// DirectPlay's send flags: plain, guaranteed, guaranteed and high priority.
constexpr DWORD kSendPlain = 0;
constexpr DWORD kSendGuaranteed = 1;
constexpr DWORD kSendUrgent = 3;
constexpr DPID kToAll = 0;
// The game's kind (bits 0-1 of the game-type byte) whose session closes after its first stage
// unless the stage is the rally's last.
constexpr int kKindRally = 1;
constexpr int kMaxSessionPlayers = 8;
constexpr int kLocalPlayerRecord = GD_LOCAL_PLAYERS;

NetRaceState gRace;
int gnSendInterval = 10;
int gnFullStateInterval = 5;
int gnTicks = 0;
// The session takes new players, as last told to the session layer.
BOOL gboSessionOpen = FALSE;
// The car model's words of the tick.
int32_t ganLocalValues[2] = {};
uint8_t gaSendBuffer[NETMSG_MAX_SIZE];
BOOL gboReadyToRace = FALSE;

// The word at nOffset of a player record (little-endian).
uint32_t RecordWord(const uint8_t* pRecord, int nOffset)
{
    return static_cast<uint32_t>(pRecord[nOffset]) | pRecord[nOffset + 1] << 8 |
           pRecord[nOffset + 2] << 16 | static_cast<uint32_t>(pRecord[nOffset + 3]) << 24;
}

void SetRecordWord(uint8_t* pRecord, int nOffset, uint32_t uValue)
{
    for (int i = 0; i < 4; ++i)
        pRecord[nOffset + i] = static_cast<uint8_t>(uValue >> (8 * i));
}

DPID SlotId(int nSlot)
{
    return RecordWord(GameData_GetRemotePlayer(nSlot), PI_PLAYER_ID);
}

bool SlotActive(int nSlot)
{
    return GameData_IsRemotePlayerActive(nSlot) != FALSE;
}

bool SlotJoining(int nSlot)
{
    return RecordWord(GameData_GetRemotePlayer(nSlot), PI_JOINING) != 0;
}

bool SendsSuppressed()
{
    return gboNetNoSend != FALSE;
}

void Send(size_t uSize, DWORD dwFlags, DPID idTo)
{
    if (uSize != 0)
        DkSendData(gaSendBuffer, static_cast<DWORD>(uSize), dwFlags, idTo);
}

void SendEmpty(uint32_t uType, DWORD dwFlags, DPID idTo)
{
    Send(NetMsg_WriteEmpty(uType, gaSendBuffer), dwFlags, idTo);
}

DK_VECTOR Vector(const int32_t* a)
{
    return {a[0], a[1], a[2]};
}

DK_VECTOR Halfway(const DK_VECTOR& from, const DK_VECTOR& to)
{
    return {FfAdd(from.x, FfSub(to.x, from.x) / 2), FfAdd(from.y, FfSub(to.y, from.y) / 2),
            FfAdd(from.z, FfSub(to.z, from.z) / 2)};
}

// The axes made unit and square to each other again: the first kept in direction, the second
// made square to it, the third their cross product. Axes that no longer span a frame (a
// message's zeros) leave the old ones.
void Orthonormalise(DK_VECTOR aAxis[3], const DK_VECTOR aFallback[3])
{
    DK_VECTOR a, b, c;
    FfVecNormalise(&a, &aAxis[0]);
    const int32_t xAlong = FfVecDot(&aAxis[1], &a);
    const DK_VECTOR bSquare = {FfSub(aAxis[1].x, FfMul(a.x, xAlong)),
                               FfSub(aAxis[1].y, FfMul(a.y, xAlong)),
                               FfSub(aAxis[1].z, FfMul(a.z, xAlong))};
    FfVecNormalise(&b, &bSquare);
    FfVecCross(&c, &a, &b);
    if ((a.x == 0 && a.y == 0 && a.z == 0) || (b.x == 0 && b.y == 0 && b.z == 0))
    {
        for (int r = 0; r < 3; ++r)
            aAxis[r] = aFallback[r];
        return;
    }
    aAxis[0] = a;
    aAxis[1] = b;
    aAxis[2] = c;
}

void ClearRemoteCar(NetRemoteCar& car)
{
    car = NetRemoteCar{};
    car.boFirstStatePending = TRUE;
    for (int r = 0; r < 3; ++r)
    {
        car.aReceivedAxis[r] = {r == 0 ? DK_FIXED_ONE : 0, r == 1 ? DK_FIXED_ONE : 0,
                                r == 2 ? DK_FIXED_ONE : 0};
        car.aPredictedAxis[r] = car.aReceivedAxis[r];
    }
}

// A car state from the player in nSlot.
void StoreCarState(int nSlot, const NetCarState& state)
{
    NetRemoteCar& car = gaNetRemoteCar[nSlot];
    car.ReceivedPosition = Vector(state.aPosition);
    car.ReceivedDisplacement = Vector(state.aDisplacement);
    car.anCarValue[0] = state.anCarValue[0];
    car.anCarValue[1] = state.anCarValue[1];
    DK_VECTOR aAxis[3] = {Vector(state.aAxisA), Vector(state.aAxisB), {}};
    FfVecCross(&aAxis[2], &aAxis[0], &aAxis[1]);
    Orthonormalise(aAxis, car.aReceivedAxis);
    for (int r = 0; r < 3; ++r)
        car.aReceivedAxis[r] = aAxis[r];
    car.boPaused = state.uType == NETMSG_CAR_STATE_PAUSED ? TRUE : FALSE;
    if (state.uType == NETMSG_CAR_STATE_FULL)
    {
        car.nStageClock = state.nStageClock;
        car.nTickTime = state.nTickTime;
    }
    if (car.boFirstStatePending)
    {
        car.boFirstStatePending = FALSE;
        car.PredictedPosition = car.ReceivedPosition;
        for (int r = 0; r < 3; ++r)
            car.aPredictedAxis[r] = car.aReceivedAxis[r];
    }
    car.boStateReceived = TRUE;
    car.nMissed = 0;
    ++car.nReceived;
}

// One tick of dead reckoning for an active slot.
void Predict(NetRemoteCar& car)
{
    for (int h = 2; h > 0; --h)
    {
        car.aHistory[h] = car.aHistory[h - 1];
        for (int r = 0; r < 3; ++r)
            car.aHistoryAxis[h][r] = car.aHistoryAxis[h - 1][r];
    }
    car.aHistory[0] = car.PredictedPosition;
    for (int r = 0; r < 3; ++r)
        car.aHistoryAxis[0][r] = car.aPredictedAxis[r];
    if (car.boFirstStatePending)
        return;

    DK_VECTOR& p = car.PredictedPosition;
    if (!car.boPaused)
        p = {FfAdd(p.x, car.ReceivedDisplacement.x), FfAdd(p.y, car.ReceivedDisplacement.y),
             FfAdd(p.z, car.ReceivedDisplacement.z)};
    DK_VECTOR aAxis[3];
    for (int r = 0; r < 3; ++r)
        aAxis[r] = car.aReceivedAxis[r];
    if (car.boStateReceived)
    {
        p = Halfway(car.ReceivedPosition, p);
        for (int r = 0; r < 3; ++r)
            aAxis[r] = Halfway(car.aReceivedAxis[r], car.aPredictedAxis[r]);
        Orthonormalise(aAxis, car.aReceivedAxis);
        car.boStateReceived = FALSE;
    }
    else
    {
        ++car.nMissed;
        if (gRace.boStarted && car.nMissed > car.nMostMissed)
            car.nMostMissed = car.nMissed;
    }
    for (int r = 0; r < 3; ++r)
        car.aPredictedAxis[r] = aAxis[r];
}

// The game's kind and whether the stage is the last of its rally.
bool SessionShouldBeOpen()
{
    if (gboHostContinued)
        return false;
    int nPlayers = 0;
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
        if (SlotActive(s) || SlotJoining(s))
            ++nPlayers;
    if (nPlayers >= NETPLAY_REMOTE_SLOTS)
        return false;
    const int nKind = GameData_GetByte(GD_GAME_TYPE) & 3;
    if (nKind != kKindRally)
        return true;
    const int nStage = GameData_GetByte(GD_STAGE_SELECTION) >> 4;
    const int nStages = GameData_GetByte(GD_COUNTRY_STAGES) & 0x0F;
    return nStage + 1 >= nStages;
}

void TellSessionOpen(BOOL boOpen)
{
    gboSessionOpen = boOpen;
    AllowOthersToJoinSession(boOpen);
}

// The host's session named again from the game type and the local player's name.
void RenameSession()
{
    char szName[DK_DP_SESSION_NAME_LENGTH] = {};
    DkEntries().Network_FormatSessionName(szName, static_cast<int>(sizeof szName));
    if (szName[0] == '\0')
        return;
    DkSetSessionDesc(szName, kMaxSessionPlayers, DkGetSessionFlags());
}

void HandleGameSettings(const void* pData, uint32_t uSize)
{
    NetGameSettings settings;
    if (!NetMsg_ReadGameSettings(pData, uSize, &settings))
    {
        DkLog("Network game settings name no known country or stage: dropped");
        return;
    }
    if (gboSessionHost)
        return;
    const uint8_t uOld = GameData_GetByte(GD_GAME_TYPE);
    const bool boRallyOver = (uOld & 3) == kKindRally &&
                             (GameData_GetByte(GD_STAGE_SELECTION) >> 4) + 1 >=
                                 (GameData_GetByte(GD_COUNTRY_STAGES) & 0x0F);
    uint8_t uType = static_cast<uint8_t>((uOld & ~0x63) | (settings.uGameType & 3));
    if (settings.uStageFlags & 0x10)
        uType |= 0x20;
    if (settings.uStageFlags & 0x08)
        uType |= 0x40;
    GameData_SetByte(GD_GAME_TYPE, uType);
    GameData_SetByte(GD_STAGE_SELECTION, settings.uCountryStage);
    GameData_SetByte(GD_COUNTRY_WORD, static_cast<uint8_t>(settings.uProgress));
    GameData_SetByte(GD_COUNTRY_WORD + 1, static_cast<uint8_t>(settings.uProgress >> 8));
    GameData_SetByte(GD_NETWORK_SETTINGS, settings.uNetworkOption);
    GameData_SetByte(GD_CAR_STATE_RATE, settings.uCarStateRate);
    EndStage_ContinueFromNetwork(boRallyOver ? TRUE : FALSE);
}
} // namespace

// ---- A stage's start ----

void NetPlay_InitGame(void)
{
    gRace = NetRaceState{};
    gboHostContinued = FALSE;
    gboReadyToRace = FALSE;
    gnTicks = 0;
    // The rally totals run on from stage to stage.
    for (NetRemoteCar& car : gaNetRemoteCar)
    {
        const uint32_t uTotal = car.uTotalTime;
        ClearRemoteCar(car);
        car.uTotalTime = uTotal;
    }
    for (NetPlayer& player : gaNetPlayer)
        player = NetPlayer{};
    NetPlay_ResetSendInterval();
    gRace.nFullStateCountdown = 0;
    gRace.boWaitingForAck = gboSessionHost ? FALSE : TRUE;
    gRace.idReadyTarget = gboSessionHost ? 0 : DkFindSessionHost();
    if (gboSessionHost)
    {
        RenameSession();
        gboSessionOpen = (DkGetSessionFlags() & DK_DP_SESSION_JOIN_DISABLED) == 0 ? TRUE : FALSE;
        NetPlay_RefreshSessionOpen();
    }
}

void NetPlay_ResetSendInterval(void)
{
    int nRate = GameData_GetByte(GD_CAR_STATE_RATE);
    if (nRate > kMaxRate)
        nRate = kMaxRate;
    gnSendInterval = 10 - nRate;
    gnFullStateInterval = gnSendInterval / 2;
}

int NetPlay_GetSendInterval(void)
{
    return gnSendInterval;
}

int NetPlay_CountPlayers(BOOL boActiveOnly)
{
    if (!gboNetworkGame)
        return 0;
    int nPlayers = 0;
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
        if (SlotActive(s) || (!boActiveOnly && SlotJoining(s)))
            ++nPlayers;
    return nPlayers;
}

void NetPlay_ActivateJoinedPlayers(void)
{
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
    {
        uint8_t* pRecord = GameData_GetRemotePlayerForWrite(s);
        if (pRecord == nullptr || RecordWord(pRecord, PI_JOINING) == 0)
            continue;
        SetRecordWord(pRecord, PI_JOINING, 0);
        SetRecordWord(pRecord, PI_IN_GAME, 1);
    }
}

void NetPlay_ResetRemoteHistory(void)
{
    for (NetRemoteCar& car : gaNetRemoteCar)
        for (int h = 0; h < 3; ++h)
        {
            car.aHistory[h] = {};
            for (DK_VECTOR& axis : car.aHistoryAxis[h])
                axis = {};
        }
}

// ---- Each tick ----

void NetPlay_SetLocalTimes(int16_t nAngleX, int16_t nAngleY, int16_t nAngleZ)
{
    ganLocalValues[0] = static_cast<int32_t>(static_cast<uint16_t>(nAngleX) |
                                             static_cast<uint32_t>(static_cast<uint16_t>(nAngleY))
                                                 << 16);
    ganLocalValues[1] = nAngleZ;
}

void NetPlay_SendCarState(int nFinal)
{
    if (!gboNetworkGame || SendsSuppressed())
        return;
    if (!nFinal && gaPlayerView[0].nCameraType == kCameraIntro)
        return;
    NetCarState state{};
    if (nFinal)
        state.uType = NETMSG_CAR_STATE_PAUSED;
    else if (gRace.nFullStateCountdown > 0)
    {
        state.uType = NETMSG_CAR_STATE;
        --gRace.nFullStateCountdown;
    }
    else
    {
        state.uType = NETMSG_CAR_STATE_FULL;
        gRace.nFullStateCountdown = gnFullStateInterval;
    }
    const CarBody& body = gaCarBody[0];
    DK_VECTOR position, before, axisA, axisB;
    FfMatGetPosition(&position, &body.Matrix);
    FfMatGetPosition(&before, &gaSnapCarMatrix[0][SNAP_CURRENT]);
    FfMatGetRow0(&axisA, &body.Matrix);
    FfMatGetRow1(&axisB, &body.Matrix);
    const int32_t aPosition[3] = {position.x, position.y, position.z};
    const int32_t aDisplacement[3] = {FfSub(position.x, before.x), FfSub(position.y, before.y),
                                      FfSub(position.z, before.z)};
    for (int i = 0; i < 3; ++i)
    {
        state.aPosition[i] = aPosition[i];
        state.aDisplacement[i] = aDisplacement[i];
    }
    state.aAxisA[0] = axisA.x;
    state.aAxisA[1] = axisA.y;
    state.aAxisA[2] = axisA.z;
    state.aAxisB[0] = axisB.x;
    state.aAxisB[1] = axisB.y;
    state.aAxisB[2] = axisB.z;
    state.anCarValue[0] = ganLocalValues[0];
    state.anCarValue[1] = ganLocalValues[1];
    state.nStageClock = StageTimer_GetHundredths(0);
    state.nTickTime = gnTicks;
    Send(NetMsg_WriteCarState(state, gaSendBuffer), kSendPlain, kToAll);
}

void NetPlay_Poll(void)
{
    if (!gboNetworkGame)
        return;
    ++gnTicks;
    // 1.
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
        if (SlotActive(s))
            gaNetRemoteCar[s].nReceived = 0;
    NetPlay_UpdateSessionOpen();

    // 2. Every message waiting.
    const void* pData = nullptr;
    uint32_t uSize = 0;
    DPID idFrom = 0;
    while (NetPlay_ReceiveNext(&pData, &uSize, &idFrom))
    {
        if (idFrom == 0)
            NetPlay_HandleSystemMessage(pData, uSize);
        else
            NetPlay_HandleMessage(pData, uSize, idFrom);
    }

    // 3.
    if (gRace.boPlayerInfoPending)
        NetPlay_SendPlayerInfo();

    // 4.
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
        if (SlotActive(s))
        {
            Predict(gaNetRemoteCar[s]);
            gaNetPlayer[s].Position = gaNetRemoteCar[s].PredictedPosition;
            gaNetPlayer[s].Heading = gaNetRemoteCar[s].aPredictedAxis[0];
        }

    // 5.
    if (gboSessionHost && !gRace.boStartSent && gRace.boCountdownOver && NetPlay_AllPlayersReady())
        NetPlay_SendStart();

    // 6.
    gnNetRaceState = NetPlay_CountPlayers(TRUE);
}

void NetPlay_PredictRemoteCars(void)
{
    if (!gboNetworkGame)
        return;
    NetPlay_StepNameTagFade();
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
    {
        if (!SlotActive(s))
            continue;
        const NetRemoteCar& car = gaNetRemoteCar[s];
        const int k = s + 1;
        if (car.boFirstStatePending)
            continue;
        DK_MATRIX& current = gaSnapCarMatrix[k][SNAP_CURRENT];
        if (car.boPaused)
        {
            current = gaSnapCarMatrix[k][SNAP_PREVIOUS];
            continue;
        }
        for (int r = 0; r < 3; ++r)
            FfMatSetRow(&car.aPredictedAxis[r], &current, r);
        FfMatSetPosition(&car.PredictedPosition, &current);
        RemoteCar_FitToGround(k);
    }
}

// ---- The start handshake ----

BOOL NetPlay_IsReady(void)
{
    return gRace.boWaitingForAck;
}

void NetPlay_SendReady(void)
{
    if (SendsSuppressed())
        return;
    SendEmpty(NETMSG_READY, kSendUrgent, gRace.idReadyTarget);
}

void NetPlay_SendReadyAck(DPID id)
{
    if (SendsSuppressed())
        return;
    SendEmpty(NETMSG_READY_ACK, kSendUrgent, id);
}

void NetPlay_SendStart(void)
{
    if (!SendsSuppressed())
        SendEmpty(NETMSG_START, kSendUrgent, kToAll);
    gRace.boStartSent = TRUE;
    gRace.boStarted = TRUE;
}

BOOL NetPlay_AllPlayersReady(void)
{
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
        if (SlotActive(s) && !gaNetRemoteCar[s].boReady)
            return FALSE;
    return TRUE;
}

void NetPlay_SetCountdownOver(void)
{
    gRace.boCountdownOver = TRUE;
}

BOOL NetPlay_IsStartReceived(void)
{
    return gRace.boStarted;
}

void NetPlay_SetReadyToRace(void)
{
    gboReadyToRace = TRUE;
}

// ---- Times ----

// The on-screen display sends these from the frame, on the main thread, while the ticks may be
// writing a car state into the shared send buffer: each has a buffer of its own.
void NetPlay_SendFinish(void)
{
    if (SendsSuppressed())
        return;
    uint8_t aMessage[NETMSG_SIZE_FINISHED];
    const size_t uSize =
        NetMsg_WriteFinished(static_cast<uint32_t>(StageTimer_GetHundredths(0)), aMessage);
    DkSendData(aMessage, static_cast<DWORD>(uSize), kSendGuaranteed, kToAll);
}

void NetPlay_SendSplitTime(int nCount, uint32_t uTime)
{
    if (SendsSuppressed())
        return;
    uint8_t aMessage[NETMSG_SIZE_SPLIT_TIME];
    const size_t uSize = NetMsg_WriteSplitTime(nCount, uTime, aMessage);
    DkSendData(aMessage, static_cast<DWORD>(uSize), kSendGuaranteed, kToAll);
}

BOOL NetPlay_HaveAllFinished(void)
{
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
        if (SlotActive(s) && !gaNetRemoteCar[s].boFinished)
            return FALSE;
    return TRUE;
}

// ---- Messages ----

BOOL NetPlay_ReceiveNext(const void** ppData, uint32_t* puSize, DPID* pidFrom)
{
    void* pData = nullptr;
    DWORD uSize = DK_DP_RECEIVE_BUFFER_SIZE;
    DPID idTo = 0;
    DPID idFrom = 0;
    if (!DkReceiveAny(&pData, &uSize, &idTo, &idFrom) || pData == nullptr)
        return FALSE;
    *ppData = pData;
    *puSize = uSize;
    *pidFrom = idFrom;
    return TRUE;
}

void NetPlay_SendPlayerInfo(void)
{
    gRace.boPlayerInfoPending = FALSE;
    Send(NetMsg_WritePlayerInfo(DkEntries().GetGameData() + kLocalPlayerRecord, gaSendBuffer),
         kSendGuaranteed, gRace.idPlayerInfoTarget);
}

void NetPlay_HandleMessage(const void* pData, uint32_t uSize, DPID idFrom)
{
    const uint32_t uType = NetMsg_GetType(pData, uSize);
    if (!NetMsg_IsWhole(pData, uSize))
    {
        DkLog(DkFormatString("Network message of type %u and %u bytes dropped", uType, uSize));
        return;
    }
    const int nSlot = NetPlay_FindRemotePlayer(idFrom);
    switch (uType)
    {
    case NETMSG_PLAYER_INFO:
    {
        // A joiner gets our record back; a player racing with us already has it, and answering
        // it would have two racing machines answer each other every tick.
        if (nSlot >= 0 && SlotActive(nSlot))
            break;
        uint8_t aRecord[NETMSG_PLAYER_RECORD_SIZE];
        if (NetMsg_ReadPlayerInfo(pData, uSize, aRecord))
            NetPlay_AddRemotePlayer(aRecord, idFrom);
        gRace.boPlayerInfoPending = TRUE;
        gRace.idPlayerInfoTarget = idFrom;
        break;
    }
    case NETMSG_GAME_SETTINGS:
        HandleGameSettings(pData, uSize);
        break;
    case NETMSG_PLAYERS_KNOWN:
        gRace.boPlayerInfoPending = FALSE;
        break;
    case NETMSG_CHAT:
    {
        char szLine[NETMSG_CHAT_TEXT];
        if (NetMsg_ReadChat(pData, uSize, szLine))
            DkEntries().Chat_AddLine(szLine);
        break;
    }
    case NETMSG_CAR_STATE:
    case NETMSG_CAR_STATE_PAUSED:
    case NETMSG_CAR_STATE_FULL:
    {
        NetCarState state;
        if (nSlot >= 0 && NetMsg_ReadCarState(pData, uSize, &state))
            StoreCarState(nSlot, state);
        break;
    }
    case NETMSG_HOST_RACING:
        gRace.idReadyTarget = idFrom;
        break;
    case NETMSG_HOST_WAITING:
        gRace.boHostChangedWhileWaiting = TRUE;
        break;
    case NETMSG_READY:
        if (gboSessionHost && nSlot >= 0)
        {
            gaNetRemoteCar[nSlot].boReady = TRUE;
            NetPlay_SendReadyAck(idFrom);
        }
        break;
    case NETMSG_READY_ACK:
        gRace.boWaitingForAck = FALSE;
        break;
    case NETMSG_START:
        gRace.boStarted = TRUE;
        break;
    case NETMSG_SPLIT_TIME:
    {
        int nCount = 0;
        uint32_t uTime = 0;
        if (NetMsg_ReadSplitTime(pData, uSize, &nCount, &uTime) && nCount >= 0 &&
            nCount < NUM_SPLIT_TIMES && uTime < gaBestSplitTimes[nCount])
            gaBestSplitTimes[nCount] = uTime;
        break;
    }
    case NETMSG_FINISHED:
    {
        uint32_t uTime = 0;
        if (nSlot >= 0 && NetMsg_ReadFinished(pData, uSize, &uTime))
        {
            NetRemoteCar& car = gaNetRemoteCar[nSlot];
            car.boFinished = TRUE;
            car.uFinishTime = uTime;
            car.uTotalTime += uTime;
            DkDebugOutput(DkFormatString("Network player %d finished: %u\n", nSlot, uTime));
        }
        break;
    }
    case NETMSG_ASK_STATE:
        DkEntries().Network_SendGameRunning();
        break;
    case NETMSG_STAGE_CHOICE:
    {
        int32_t nCountry = 0;
        int32_t nStage = 0;
        if (!NetMsg_ReadStageChoice(pData, uSize, &nCountry, &nStage))
        {
            DkLog("Network stage choice names no known country or stage: dropped");
            break;
        }
        DkEntries().Network_HandleLobbyMessage(pData, uSize, idFrom);
        break;
    }
    case NETMSG_LEAVE_GAME:
        EndStageQuit();
        break;
    case NETMSG_LEAVE_LOBBY:
    case NETMSG_GAME_RUNNING:
    case NETMSG_IN_LOBBY:
        DkEntries().Network_HandleLobbyMessage(pData, uSize, idFrom);
        break;
    default:
        break;
    }
}

void NetPlay_HandleSystemMessage(const void* pData, uint32_t uSize)
{
    const uint32_t uType = NetMsg_GetType(pData, uSize);
    switch (uType)
    {
    case NETSYS_CREATE_PLAYER:
    case NETSYS_SESSION_LOST:
        break;
    case NETSYS_DESTROY_PLAYER:
    {
        uint32_t uId = 0;
        if (NetMsg_ReadSystemPlayerId(pData, uSize, &uId))
            NetPlay_RemoveRemotePlayer(uId);
        break;
    }
    case NETSYS_HOST:
        gboSessionHost = TRUE;
        if (GetGameState() == GAME_STATE_END_STAGE)
            break;
        RenameSession();
        if (gRace.boStarted)
            SendEmpty(NETMSG_HOST_RACING, kSendGuaranteed, kToAll);
        else
        {
            SendEmpty(NETMSG_HOST_WAITING, kSendGuaranteed, kToAll);
            gRace.boHostChangedWhileWaiting = TRUE;
        }
        break;
    default:
        DkHandleSystemMessage(pData, uSize);
        break;
    }
}

int NetPlay_AddRemotePlayer(const uint8_t* pRecord, DPID id)
{
    if (id == 0 || NetPlay_FindRemotePlayer(id) >= 0)
        return -1;
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
    {
        if (SlotActive(s) || SlotJoining(s))
            continue;
        uint8_t* pSlot = GameData_GetRemotePlayerForWrite(s);
        if (pSlot == nullptr)
            return -1;
        std::memcpy(pSlot, pRecord, GAME_DATA_PLAYER_SIZE);
        pSlot[NETMSG_NAME_LENGTH - 1] = 0;
        // The session's id of the sender, not the one its record claims.
        SetRecordWord(pSlot, PI_PLAYER_ID, id);
        SetRecordWord(pSlot, PI_IN_GAME, 0);
        SetRecordWord(pSlot, PI_JOINING, 1);
        ClearRemoteCar(gaNetRemoteCar[s]);
        return s;
    }
    return -1;
}

int NetPlay_FindRemotePlayer(DPID id)
{
    if (id == 0)
        return -1;
    for (int s = 0; s < NETPLAY_REMOTE_SLOTS; ++s)
        if ((SlotActive(s) || SlotJoining(s)) && SlotId(s) == id)
            return s;
    return -1;
}

void NetPlay_RemoveRemotePlayer(DPID id)
{
    const int nSlot = NetPlay_FindRemotePlayer(id);
    if (nSlot < 0)
        return;
    uint8_t* pRecord = GameData_GetRemotePlayerForWrite(nSlot);
    if (pRecord == nullptr)
        return;
    SetRecordWord(pRecord, PI_IN_GAME, 0);
    SetRecordWord(pRecord, PI_JOINING, 0);
    pRecord[0] = 0;
    gaNetRemoteCar[nSlot].boFinished = FALSE;
    gaNetRemoteCar[nSlot].boReady = FALSE;
}

BOOL NetPlay_IsRemotePlayer(DPID id)
{
    return NetPlay_FindRemotePlayer(id) >= 0 ? TRUE : FALSE;
}

void NetPlay_UpdateSessionOpen(void)
{
    if (!gboSessionHost)
        return;
    const BOOL boOpen = SessionShouldBeOpen() ? TRUE : FALSE;
    if (boOpen != gboSessionOpen)
        TellSessionOpen(boOpen);
}

void NetPlay_RefreshSessionOpen(void)
{
    if (!gboSessionHost)
        return;
    TellSessionOpen(SessionShouldBeOpen() ? TRUE : FALSE);
}

// ---- Test hooks ----

void NetPlay_ResetForTests(void)
{
    gRace = NetRaceState{};
    gboSessionHost = FALSE;
    gboHostContinued = FALSE;
    gboSessionOpen = FALSE;
    gboReadyToRace = FALSE;
    gnTicks = 0;
    gnNetRaceState = 0;
    ganLocalValues[0] = ganLocalValues[1] = 0;
    for (NetRemoteCar& car : gaNetRemoteCar)
        ClearRemoteCar(car);
    for (NetPlayer& player : gaNetPlayer)
        player = NetPlayer{};
    NetPlay_ResetSendInterval();
}

NetRaceState& NetPlay_GetRaceStateForTests(void)
{
    return gRace;
}
