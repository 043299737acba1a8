// Network play: the car-state cadence at each rate, the dead reckoning of remote cars between
// states, the handlers of every message that touches a remote slot, and the start handshake
// from both sides. The sends are caught by a transport object of the test's own on the loopback
// provider, playing the other machine.
#include "game/race/netplay.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/input/dk_input.h"
#include "engine/pc/network/dk_play.h"
#include "game/hud/catseye.h"
#include "game/hud/osd.h"
#include "game/hud/pause.h"
#include "game/race/cameras.h"
#include "game/race/gameflow.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/interp.h"
#include "game/race/keys.h"
#include "game/race/netmsg.h"
#include "game/race/pertick.h"
#include "game/race/replay.h"
#include "game/race/splttime.h"
#include "game/race/stageinfo.h"
#include "game/race/superspecial.h"
#include "game/effects/prangsnd.h"
#include "game/vehicle/carmodel.h"
#include "platform/dplay/dplay_internal.h"
#include "platform/win/win_internal.h"
#include "tests/game/race_fixture.h"
#include "tests/support/loopback.h"

// The engine's vectors compared and printed, found by lookup on their type.
static bool operator==(const DK_VECTOR& a, const DK_VECTOR& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

static std::ostream& operator<<(std::ostream& os, const DK_VECTOR& v)
{
    return os << "(" << v.x << ", " << v.y << ", " << v.z << ")";
}

namespace
{

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int32_t ONE = 0x10000;
const GUID kApp = {0x2D892000, 0x0C3F, 0x11D2, {0xB1, 0x4B, 0x00, 0x60, 0x08, 0x4E, 0x01, 0xE9}};

std::array<uint8_t, DK_GAME_DATA_SIZE> gaNetGameData;

Bytes CarState(uint32_t uType, DK_VECTOR at, DK_VECTOR by, DK_VECTOR axisA = {ONE, 0, 0},
               DK_VECTOR axisB = {0, ONE, 0})
{
    NetCarState s{};
    s.uType = uType;
    const int32_t a[5][3] = {{at.x, at.y, at.z},
                             {by.x, by.y, by.z},
                             {axisA.x, axisA.y, axisA.z},
                             {axisB.x, axisB.y, axisB.z}};
    for (int i = 0; i < 3; ++i)
    {
        s.aPosition[i] = a[0][i];
        s.aDisplacement[i] = a[1][i];
        s.aAxisA[i] = a[2][i];
        s.aAxisB[i] = a[3][i];
    }
    Bytes m(NETMSG_MAX_SIZE);
    m.resize(NetMsg_WriteCarState(s, m.data()));
    return m;
}

Bytes Empty(uint32_t uType)
{
    Bytes m(NETMSG_MAX_SIZE);
    m.resize(NetMsg_WriteEmpty(uType, m.data()));
    return m;
}

Bytes Finished(uint32_t uTime)
{
    Bytes m(NETMSG_MAX_SIZE);
    m.resize(NetMsg_WriteFinished(uTime, m.data()));
    return m;
}

Bytes Split(int nCount, uint32_t uTime)
{
    Bytes m(NETMSG_MAX_SIZE);
    m.resize(NetMsg_WriteSplitTime(nCount, uTime, m.data()));
    return m;
}

Bytes PlayerInfo(const char* pszName, uint32_t uClaimedId)
{
    Bytes record(NETMSG_PLAYER_RECORD_SIZE, 0);
    std::memcpy(record.data(), pszName, std::min<size_t>(std::strlen(pszName), record.size()));
    std::memcpy(record.data() + PI_PLAYER_ID, &uClaimedId, 4);
    Bytes m(NETMSG_MAX_SIZE);
    m.resize(NetMsg_WritePlayerInfo(record.data(), m.data()));
    return m;
}

Bytes Destroyed(uint32_t uId)
{
    Bytes m(16, 0);
    m[0] = NETSYS_DESTROY_PLAYER;
    std::memcpy(m.data() + NETSYS_PLAYER_ID, &uId, 4);
    return m;
}

void Handle(const Bytes& m, DPID idFrom)
{
    NetPlay_HandleMessage(m.data(), static_cast<uint32_t>(m.size()), idFrom);
}

uint32_t Word(int nSlot, int nOffset)
{
    uint32_t u;
    std::memcpy(
        &u, gaNetGameData.data() + GD_REMOTE_PLAYERS + nSlot * GAME_DATA_PLAYER_SIZE + nOffset, 4);
    return u;
}

void SetWord(int nSlot, int nOffset, uint32_t u)
{
    std::memcpy(gaNetGameData.data() + GD_REMOTE_PLAYERS + nSlot * GAME_DATA_PLAYER_SIZE + nOffset,
                &u, 4);
}

// Remote slot s taken by player id, racing or joining.
void SetRemote(int nSlot, DPID id, bool boActive = true)
{
    SetWord(nSlot, PI_PLAYER_ID, id);
    SetWord(nSlot, PI_IN_GAME, boActive ? 1 : 0);
    SetWord(nSlot, PI_JOINING, boActive ? 0 : 1);
}

DK_MATRIX Sentinel(int n)
{
    DK_MATRIX m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.m[r][c] = n * 1000 + r * 10 + c;
    return m;
}

bool SameMatrix(const DK_MATRIX& a, const DK_MATRIX& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A message the other machine received: its type, and a car state's x position in whole units
// (the tick the test put there).
struct Got
{
    uint32_t uType;
    DPID idTo;
    int nTick;
    NetCarState state;
};

class NetPlayTest : public GroundTest
{
protected:
    void SetUp() override
    {
        GroundTest::SetUp();
        DpResetTestHooks();
        CaptureOutput([] { CloseLink(); });
        gaNetGameData.fill(0);
        DK_ENTRIES entries{};
        entries.GetGameData = [] { return static_cast<const uint8_t*>(gaNetGameData.data()); };
        entries.GetWritableGameData = [] { return gaNetGameData.data(); };
        DkRegisterEntries(&entries);
        NetPlay_ResetForTests();
        gboNetworkGame = TRUE;
        gboNetNoSend = FALSE;
        gaCarBody[0] = CarBody{};
        DkIdentityMatrix(&gaCarBody[0].Matrix);
        for (auto& pair : gaSnapCarMatrix)
            for (DK_MATRIX& m : pair)
                DkIdentityMatrix(&m);
        gaPlayerView[0] = PlayerView{};
        StageTimer_ResetForTests();
        for (uint32_t& uTime : gaBestSplitTimes)
            uTime = 0;
    }
    void TearDown() override
    {
        if (other != nullptr)
            other->Release();
        other = nullptr;
        CaptureOutput([] { CloseLink(); });
        DpResetTestHooks();
        gboNetworkGame = FALSE;
        NetPlay_ResetForTests();
        GroundTest::TearDown();
    }

    // The module on the loopback provider.
    void MakeOther()
    {
        LPDIRECTPLAY dp1 = nullptr;
        GUID loopback = DPSPGUID_LOOPBACK;
        ASSERT_EQ(DirectPlayCreate(&loopback, &dp1, nullptr), DP_OK);
        ASSERT_EQ(dp1->QueryInterface(IID_IDirectPlay3A, reinterpret_cast<void**>(&other)), DP_OK);
        dp1->Release();
    }

    void OtherCreatesPlayer()
    {
        std::string shortName = "o";
        std::string longName = "other";
        DPNAME pn{sizeof pn, 0, shortName.data(), longName.data()};
        ASSERT_EQ(other->CreatePlayer(&otherId, &pn, nullptr, nullptr, 0, 0), DP_OK);
    }

    // The other machine hosts; the module joins it with a player of its own.
    void JoinOthersSession()
    {
        ASSERT_NO_FATAL_FAILURE(UseLoopbackProvider(kApp));
        ASSERT_NO_FATAL_FAILURE(MakeOther());
        DPSESSIONDESC2 d{};
        d.dwSize = sizeof d;
        d.guidApplication = kApp;
        d.dwFlags = DPSESSION_MIGRATEHOST | DPSESSION_KEEPALIVE;
        d.dwMaxPlayers = 8;
        std::string name = "R00000000ANNE#";
        d.lpszSessionNameA = name.data();
        ASSERT_EQ(other->Open(&d, DPOPEN_CREATE), DP_OK);
        ASSERT_NO_FATAL_FAILURE(OtherCreatesPlayer());
        CaptureOutput(
            [&]
            {
                ASSERT_EQ(DkEnumSessions(), DP_OK);
                ASSERT_EQ(DkJoinSession(0), 1);
                ASSERT_EQ(DkCreatePlayer("\x04"
                                         "BOB",
                                         "abcd", &ownId, nullptr),
                          1);
            });
        ASSERT_EQ(DkFindSessionHost(), otherId);
    }

    // The module hosts; the other machine joins with a player.
    void OtherJoins()
    {
        ASSERT_NO_FATAL_FAILURE(UseLoopbackProvider(kApp));
        CaptureOutput(
            [&]
            {
                ASSERT_EQ(DkCreateSession("R00000000ANNE#", 8), 1);
                ASSERT_EQ(DkCreatePlayer("\x04"
                                         "ANNE",
                                         "abcd", &ownId, nullptr),
                          1);
            });
        ASSERT_NO_FATAL_FAILURE(MakeOther());
        DPSESSIONDESC2 d{};
        d.dwSize = sizeof d;
        d.guidApplication = kApp;
        GUID instance{};
        auto found = [](LPCDPSESSIONDESC2 sd, LPDWORD, DWORD flags, LPVOID context) -> BOOL
        {
            if (flags & DPESC_TIMEDOUT)
                return FALSE;
            *static_cast<GUID*>(context) = sd->guidInstance;
            return TRUE;
        };
        ASSERT_EQ(other->EnumSessions(&d, 0, found, &instance, DPENUMSESSIONS_AVAILABLE), DP_OK);
        d.guidInstance = instance;
        ASSERT_EQ(other->Open(&d, DPOPEN_JOIN), DP_OK);
        ASSERT_NO_FATAL_FAILURE(OtherCreatesPlayer());
    }

    // Everything the other machine's player has been sent, waiting up to ms for the first.
    std::vector<Got> OtherReceives(int ms = 200)
    {
        std::vector<Got> got;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
        Bytes buffer(DK_DP_RECEIVE_BUFFER_SIZE);
        for (;;)
        {
            DPID from = 0;
            DPID to = 0;
            DWORD size = static_cast<DWORD>(buffer.size());
            const HRESULT hr = other->Receive(&from, &to, DPRECEIVE_ALL, buffer.data(), &size);
            if (hr == DP_OK)
            {
                if (from == DPID_SYSMSG)
                    continue;
                Got g{NetMsg_GetType(buffer.data(), size), to, -1, {}};
                if (NetMsg_ReadCarState(buffer.data(), size, &g.state))
                    g.nTick = g.state.aPosition[0] / ONE;
                got.push_back(g);
                continue;
            }
            if (!got.empty() || Clock::now() >= deadline)
                return got;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // The types among what the other machine received that are not car states.
    std::vector<uint32_t> OtherReceivesBesidesStates(int ms = 200)
    {
        std::vector<uint32_t> types;
        for (const Got& g : OtherReceives(ms))
            if (g.uType < NETMSG_CAR_STATE || g.uType > NETMSG_CAR_STATE_FULL)
                types.push_back(g.uType);
        return types;
    }

    void OtherSends(const Bytes& m, DPID idTo)
    {
        Bytes copy = m;
        ASSERT_EQ(other->Send(otherId, idTo, DPSEND_GUARANTEED, copy.data(),
                              static_cast<DWORD>(copy.size())),
                  DP_OK);
    }

    IDirectPlay3A* other = nullptr;
    DPID otherId = 0;
    DPID ownId = 0;
};

// The send interval from the car-state rate: 10 - r ticks between two states, a rate above 9
// taken as 9.
TEST_F(NetPlayTest, TheSendIntervalFollowsTheRate)
{
    const std::pair<int, int> cases[] = {{0, 10}, {1, 9}, {2, 8}, {3, 7}, {4, 6},  {5, 5},
                                         {6, 4},  {7, 3}, {8, 2}, {9, 1}, {10, 1}, {255, 1}};
    for (const auto& [nRate, nInterval] : cases)
    {
        gaNetGameData[GD_CAR_STATE_RATE] = static_cast<uint8_t>(nRate);
        NetPlay_ResetSendInterval();
        EXPECT_EQ(NetPlay_GetSendInterval(), nInterval) << "rate " << nRate;
    }
}

// Driven as the tick drives it (a countdown reloaded with the interval), a car state leaves
// every interval + 1 ticks; the first is a full state (type 9), then every ((10 - r) / 2 + 1)-th:
// at rate 9 every state is a full one. Each carries the car's position and its displacement
// since the tick before. The intro camera holds the states back; the pause's state still goes.
TEST_F(NetPlayTest, CarStatesLeaveAtTheRatesCadence)
{
    ASSERT_NO_FATAL_FAILURE(JoinOthersSession());
    struct Case
    {
        int nRate;
        int nPeriod;    // ticks from one state to the next
        int nFullEvery; // every n-th state is type 9
    };
    const Case cases[] = {{0, 11, 6}, {5, 6, 3}, {8, 3, 2}, {9, 2, 1}, {12, 2, 1}};
    constexpr int kTicks = 80;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "rate " << c.nRate);
        gaNetGameData[GD_CAR_STATE_RATE] = static_cast<uint8_t>(c.nRate);
        NetPlay_InitGame();
        OtherReceives(20);
        int nCountdown = NetPlay_GetSendInterval();
        for (int nTick = 0; nTick < kTicks; ++nTick)
        {
            const DK_VECTOR before = {(nTick - 1) * ONE, 3 * ONE, -nTick * ONE / 2};
            const DK_VECTOR now = {nTick * ONE, 3 * ONE, -(nTick + 1) * ONE / 2};
            FfMatSetPosition(&before, &gaSnapCarMatrix[0][SNAP_CURRENT]);
            FfMatSetPosition(&now, &gaCarBody[0].Matrix);
            if (nCountdown > 0)
                --nCountdown;
            else
            {
                NetPlay_SendCarState(0);
                nCountdown = NetPlay_GetSendInterval();
            }
            NetPlay_Poll();
        }
        const std::vector<Got> got = OtherReceives(1000);
        std::vector<int> ticks, wantTicks;
        std::vector<uint32_t> types, wantTypes;
        for (const Got& g : got)
        {
            ticks.push_back(g.nTick);
            types.push_back(g.uType);
            EXPECT_EQ(g.state.aDisplacement[0], ONE);
            EXPECT_EQ(g.state.aDisplacement[1], 0);
            EXPECT_EQ(g.state.aDisplacement[2], -ONE / 2);
            EXPECT_EQ(g.state.aPosition[1], 3 * ONE);
            EXPECT_EQ(g.state.aAxisA[0], ONE);
            EXPECT_EQ(g.state.aAxisB[1], ONE);
        }
        for (int k = 0, nTick = c.nPeriod - 1; nTick < kTicks; ++k, nTick += c.nPeriod)
        {
            wantTicks.push_back(nTick);
            wantTypes.push_back(k % c.nFullEvery == 0 ? NETMSG_CAR_STATE_FULL : NETMSG_CAR_STATE);
        }
        EXPECT_EQ(ticks, wantTicks);
        EXPECT_EQ(types, wantTypes);
    }

    gaPlayerView[0].nCameraType = 8;
    NetPlay_SendCarState(0);
    EXPECT_TRUE(OtherReceives(50).empty()) << "not while the intro camera runs";
    NetPlay_SendCarState(1);
    const std::vector<Got> paused = OtherReceives(1000);
    ASSERT_EQ(paused.size(), 1u);
    EXPECT_EQ(paused[0].uType, NETMSG_CAR_STATE_PAUSED);
    gboNetNoSend = TRUE;
    gaPlayerView[0].nCameraType = 0;
    NetPlay_SendCarState(0);
    NetPlay_SendCarState(1);
    EXPECT_TRUE(OtherReceives(50).empty()) << "the developer's no-send switch";
}

// A state that arrives pulls the prediction half-way between itself and the dead reckoning; a
// missed state only counts, the car running on by its last displacement; the highest count
// follows from the start on.
TEST_F(NetPlayTest, AStateThatArrivesMeetsThePredictionHalfWay)
{
    SetRemote(0, 101);
    Handle(CarState(NETMSG_CAR_STATE, {10 * ONE, 2 * ONE, -4 * ONE}, {ONE, 0, ONE / 2}), 101);
    NetPlay_Poll();
    const NetRemoteCar& car = gaNetRemoteCar[0];
    // Predicted 11.0 on the displacement, the state says 10.0.
    EXPECT_EQ(car.PredictedPosition, (DK_VECTOR{10 * ONE + ONE / 2, 2 * ONE, -4 * ONE + ONE / 4}));
    EXPECT_EQ(gaNetPlayer[0].Position, car.PredictedPosition);
    EXPECT_EQ(car.nMissed, 0);

    for (int nMiss = 1; nMiss <= 3; ++nMiss)
    {
        NetPlay_Poll();
        EXPECT_EQ(car.PredictedPosition.x, 10 * ONE + ONE / 2 + nMiss * ONE);
        EXPECT_EQ(car.PredictedPosition.z, -4 * ONE + ONE / 4 + nMiss * ONE / 2);
        EXPECT_EQ(car.nMissed, nMiss);
        EXPECT_EQ(car.nMostMissed, 0) << "not before the start";
    }
    Handle(Empty(NETMSG_START), 101);
    NetPlay_Poll();
    NetPlay_Poll();
    EXPECT_EQ(car.nMissed, 5);
    EXPECT_EQ(car.nMostMissed, 5);

    // The car turned a quarter about y: predicted 16.5, the state 20.0, and the axes half-way.
    Handle(CarState(NETMSG_CAR_STATE_FULL, {20 * ONE, 2 * ONE, 0}, {ONE, 0, 0}, {0, 0, -ONE},
                    {0, ONE, 0}),
           101);
    NetPlay_Poll();
    EXPECT_EQ(car.PredictedPosition.x, 20 * ONE - (20 * ONE - (16 * ONE + ONE / 2)) / 2);
    EXPECT_EQ(car.nMissed, 0);
    EXPECT_EQ(car.nMostMissed, 5);
    const int32_t xHalf = 46341; // 1 / sqrt(2)
    EXPECT_NEAR(car.aPredictedAxis[0].x, xHalf, 8);
    EXPECT_NEAR(car.aPredictedAxis[0].z, -xHalf, 8);
    EXPECT_NEAR(car.aPredictedAxis[1].y, ONE, 8);
    EXPECT_EQ(gaNetPlayer[0].Heading, car.aPredictedAxis[0]);
}

// A paused car (type 8) stays where it is; its next plain state moves it on again.
TEST_F(NetPlayTest, APausedCarDoesNotMove)
{
    SetRemote(0, 101);
    Handle(CarState(NETMSG_CAR_STATE_PAUSED, {10 * ONE, 0, 0}, {ONE, 0, 0}), 101);
    NetPlay_Poll();
    const NetRemoteCar& car = gaNetRemoteCar[0];
    EXPECT_TRUE(car.boPaused);
    for (int n = 0; n < 3; ++n)
    {
        NetPlay_Poll();
        EXPECT_EQ(car.PredictedPosition.x, 10 * ONE);
    }
    EXPECT_EQ(car.nMissed, 3);
    Handle(CarState(NETMSG_CAR_STATE, {10 * ONE, 0, 0}, {ONE, 0, 0}), 101);
    NetPlay_Poll();
    EXPECT_FALSE(car.boPaused);
    NetPlay_Poll();
    EXPECT_EQ(car.PredictedPosition.x, 11 * ONE + ONE / 2);
}

// A player record joins a free slot under the sender's session id, its name terminated; a second
// record from the same id is not stored again, and with every slot taken a new one is dropped.
TEST_F(NetPlayTest, PlayerRecordsFillFreeSlotsOnce)
{
    Handle(PlayerInfo("ABCDEFGHIJKLMNOP", 999), 200);
    EXPECT_EQ(NetPlay_FindRemotePlayer(200), 0);
    EXPECT_EQ(Word(0, PI_PLAYER_ID), 200u) << "the session's id, not the claimed one";
    EXPECT_EQ(Word(0, PI_JOINING), 1u);
    EXPECT_EQ(Word(0, PI_IN_GAME), 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&gaNetGameData[GD_REMOTE_PLAYERS]), "ABCDEFGHIJK");
    EXPECT_EQ(NetPlay_FindRemotePlayer(999), -1);
    EXPECT_TRUE(NetPlay_GetRaceStateForTests().boPlayerInfoPending) << "ours is owed back";
    EXPECT_EQ(NetPlay_GetRaceStateForTests().idPlayerInfoTarget, 200u);

    Handle(PlayerInfo("AGAIN", 200), 200);
    EXPECT_EQ(NetPlay_CountPlayers(FALSE), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(&gaNetGameData[GD_REMOTE_PLAYERS]), "ABCDEFGHIJK");

    for (DPID id = 201; id <= 206; ++id)
        Handle(PlayerInfo("P", id), id);
    EXPECT_EQ(NetPlay_CountPlayers(FALSE), 7);
    EXPECT_EQ(NetPlay_CountPlayers(TRUE), 0);
    const auto before = gaNetGameData;
    Handle(PlayerInfo("LATE", 300), 300);
    EXPECT_EQ(NetPlay_FindRemotePlayer(300), -1);
    EXPECT_TRUE(before == gaNetGameData) << "no slot overwritten";

    NetPlay_ActivateJoinedPlayers();
    EXPECT_EQ(NetPlay_CountPlayers(TRUE), 7);
    Handle(Empty(NETMSG_PLAYERS_KNOWN), 201);
    EXPECT_FALSE(NetPlay_GetRaceStateForTests().boPlayerInfoPending);

    // A player racing with us has our record: answering would have two racing machines answer
    // each other's records for ever.
    Handle(PlayerInfo("AGAIN", 202), 202);
    EXPECT_FALSE(NetPlay_GetRaceStateForTests().boPlayerInfoPending);
}

// Car states, ready and finished messages from an id that holds no slot change nothing.
TEST_F(NetPlayTest, MessagesFromUnknownPlayersAreIgnored)
{
    SetRemote(0, 101);
    SetRemote(1, 102, false);
    gboSessionHost = TRUE;
    const Bytes messages[] = {
        CarState(NETMSG_CAR_STATE, {ONE, ONE, ONE}, {ONE, 0, 0}),
        CarState(NETMSG_CAR_STATE_PAUSED, {ONE, ONE, ONE}, {ONE, 0, 0}),
        CarState(NETMSG_CAR_STATE_FULL, {ONE, ONE, ONE}, {ONE, 0, 0}),
        Empty(NETMSG_READY),
        Finished(4000),
    };
    for (const Bytes& m : messages)
    {
        SCOPED_TRACE(NetMsg_GetType(m.data(), m.size()));
        for (DPID id : {555u, 0u})
            Handle(m, id);
        for (const NetRemoteCar& car : gaNetRemoteCar)
        {
            EXPECT_TRUE(car.boFirstStatePending);
            EXPECT_FALSE(car.boStateReceived);
            EXPECT_FALSE(car.boReady);
            EXPECT_FALSE(car.boFinished);
            EXPECT_EQ(car.uTotalTime, 0u);
        }
    }
    // The same from the known players do count, a joining one's included.
    Handle(Empty(NETMSG_READY), 101);
    Handle(Finished(4000), 102);
    EXPECT_TRUE(gaNetRemoteCar[0].boReady);
    EXPECT_TRUE(gaNetRemoteCar[1].boFinished);
}

// A player who left the session loses its slot; another id, or a message too short to hold one,
// changes nothing.
TEST_F(NetPlayTest, APlayerWhoLeftLosesItsSlot)
{
    SetRemote(2, 777);
    SetRemote(3, 778, false);
    std::memcpy(&gaNetGameData[GD_REMOTE_PLAYERS + 2 * GAME_DATA_PLAYER_SIZE], "ANNE", 5);
    gaNetRemoteCar[2].boReady = gaNetRemoteCar[2].boFinished = TRUE;

    const auto before = gaNetGameData;
    Bytes shortMessage = Destroyed(777);
    shortMessage.resize(11);
    for (const Bytes& m : {Destroyed(779), shortMessage, Destroyed(0)})
        NetPlay_HandleSystemMessage(m.data(), static_cast<uint32_t>(m.size()));
    EXPECT_TRUE(before == gaNetGameData);

    for (DPID id : {777u, 778u})
    {
        const Bytes m = Destroyed(id);
        NetPlay_HandleSystemMessage(m.data(), static_cast<uint32_t>(m.size()));
    }
    for (int nSlot : {2, 3})
    {
        EXPECT_EQ(Word(nSlot, PI_IN_GAME), 0u);
        EXPECT_EQ(Word(nSlot, PI_JOINING), 0u);
    }
    EXPECT_EQ(gaNetGameData[GD_REMOTE_PLAYERS + 2 * GAME_DATA_PLAYER_SIZE], 0);
    EXPECT_FALSE(gaNetRemoteCar[2].boReady);
    EXPECT_FALSE(gaNetRemoteCar[2].boFinished);
    EXPECT_EQ(NetPlay_FindRemotePlayer(777), -1);
}

// A split time keeps the smaller of the stored and received value for a count inside the
// nine-entry table; other counts are ignored.
TEST_F(NetPlayTest, SplitTimesKeepTheSmallerWithinTheTable)
{
    struct Case
    {
        int nCount;
        uint32_t uTime;
        uint32_t uStored; // before
        uint32_t uAfter;
    };
    const Case cases[] = {
        {3, 4000, 5000, 4000}, {3, 4500, 4000, 4000}, {0, 1, 2, 1},
        {8, 100, 200, 100},    {9, 1, 0, 0},          {0xFFFF, 1, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "count " << c.nCount << ", time " << c.uTime);
        if (c.nCount < NUM_SPLIT_TIMES)
            gaBestSplitTimes[c.nCount] = c.uStored;
        Handle(Split(c.nCount, c.uTime), 101);
        if (c.nCount < NUM_SPLIT_TIMES)
        {
            EXPECT_EQ(gaBestSplitTimes[c.nCount], c.uAfter);
        }
    }
    // An out-of-table count writes nowhere: the table is as the in-table cases left it.
    EXPECT_EQ(gaBestSplitTimes[3], 4000u);
    EXPECT_EQ(gaBestSplitTimes[0], 1u);
    EXPECT_EQ(gaBestSplitTimes[8], 100u);
    for (int n : {1, 2, 4, 5, 6, 7})
        EXPECT_EQ(gaBestSplitTimes[n], 0u);
}

// A finishing time marks the sender finished and adds to its rally total; everyone has finished
// once every racing slot has.
TEST_F(NetPlayTest, FinishingTimesReachTheSendersSlot)
{
    SetRemote(0, 101);
    SetRemote(1, 102);
    SetRemote(2, 103, false);
    gaNetRemoteCar[0].uTotalTime = 1000;
    EXPECT_FALSE(NetPlay_HaveAllFinished());
    Handle(Finished(6000), 101);
    EXPECT_TRUE(gaNetRemoteCar[0].boFinished);
    EXPECT_EQ(gaNetRemoteCar[0].uFinishTime, 6000u);
    EXPECT_EQ(gaNetRemoteCar[0].uTotalTime, 7000u);
    EXPECT_FALSE(NetPlay_HaveAllFinished());
    Handle(Finished(6500), 102);
    EXPECT_TRUE(NetPlay_HaveAllFinished()) << "the joining player does not race this stage";
}

// Messages short of their type's size, or of a type outside the catalogue, are dropped with a
// log line; settings and stage choices naming no known country or stage as well.
TEST_F(NetPlayTest, BadMessagesAreDroppedWithALogLine)
{
    SetRemote(0, 101);
    TakeLog();
    Bytes state = CarState(NETMSG_CAR_STATE, {ONE, 0, 0}, {0, 0, 0});
    state.resize(59);
    Handle(state, 101);
    Bytes unknown = Empty(NETMSG_START);
    unknown[0] = 23;
    Handle(unknown, 101);
    const uint8_t two[2] = {7, 0};
    NetPlay_HandleMessage(two, 2, 101);
    Bytes choice(NETMSG_MAX_SIZE);
    choice.resize(NetMsg_WriteStageChoice(10, 0, choice.data()));
    Handle(choice, 101);
    Bytes settings(NETMSG_MAX_SIZE, 0);
    Bytes fields(NETMSG_SETTINGS_BYTES, 0);
    fields[NETMSG_SETTINGS_COUNTRY_STAGE - 4] = 0x7A;
    settings.resize(NetMsg_WriteGameSettings(fields.data(), settings.data()));
    Handle(settings, 101);
    const std::string log = TakeLog();
    for (const char* line : {"Network message of type 7 and 59 bytes dropped",
                             "Network message of type 23 and 16 bytes dropped",
                             "Network message of type 0 and 2 bytes dropped",
                             "Network stage choice names no known country or stage: dropped",
                             "Network game settings name no known country or stage: dropped"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_TRUE(gaNetRemoteCar[0].boFirstStatePending);
    EXPECT_EQ(gaNetGameData[GD_STAGE_SELECTION], 0);
}

// The predictions go into the cars' tick matrices: a moving car's current matrix is its
// predicted frame, a paused car keeps its previous one, and slots not racing or with no state
// yet are left alone.
TEST_F(NetPlayTest, PredictionsGoIntoTheTickMatrices)
{
    SetRemote(0, 101);
    SetRemote(1, 102);
    SetRemote(2, 103, false);
    SetRemote(3, 104);
    for (int k = 1; k <= 4; ++k)
    {
        gaSnapCarMatrix[k][SNAP_PREVIOUS] = Sentinel(k);
        gaSnapCarMatrix[k][SNAP_CURRENT] = Sentinel(k + 10);
    }
    Handle(CarState(NETMSG_CAR_STATE, {10 * ONE, ONE, 0}, {ONE, 0, 0}, {0, 0, ONE}, {0, ONE, 0}),
           101);
    Handle(CarState(NETMSG_CAR_STATE_PAUSED, {ONE, 0, 0}, {ONE, 0, 0}), 102);
    Handle(CarState(NETMSG_CAR_STATE, {ONE, 0, 0}, {ONE, 0, 0}), 103);
    NetPlay_Poll();
    NetPlay_PredictRemoteCars();

    const DK_MATRIX& moving = gaSnapCarMatrix[1][SNAP_CURRENT];
    const NetRemoteCar& car = gaNetRemoteCar[0];
    for (int r = 0; r < 3; ++r)
    {
        DK_VECTOR row;
        FfMatGetRow(&row, &moving, r);
        EXPECT_EQ(row, car.aPredictedAxis[r]) << "row " << r;
    }
    DK_VECTOR at;
    FfMatGetPosition(&at, &moving);
    EXPECT_EQ(at, car.PredictedPosition);
    EXPECT_EQ(at, (DK_VECTOR{10 * ONE + ONE / 2, ONE, 0}));
    EXPECT_TRUE(SameMatrix(gaSnapCarMatrix[2][SNAP_CURRENT], Sentinel(2))) << "paused";
    EXPECT_TRUE(SameMatrix(gaSnapCarMatrix[3][SNAP_CURRENT], Sentinel(13))) << "not racing";
    EXPECT_TRUE(SameMatrix(gaSnapCarMatrix[4][SNAP_CURRENT], Sentinel(14))) << "no state yet";

    // Outside a network game nothing moves.
    gboNetworkGame = FALSE;
    gaSnapCarMatrix[1][SNAP_CURRENT] = Sentinel(11);
    Handle(CarState(NETMSG_CAR_STATE, {50 * ONE, 0, 0}, {ONE, 0, 0}), 101);
    const DK_VECTOR predicted = car.PredictedPosition;
    NetPlay_Poll();
    NetPlay_PredictRemoteCars();
    EXPECT_EQ(car.PredictedPosition, predicted);
    EXPECT_TRUE(SameMatrix(gaSnapCarMatrix[1][SNAP_CURRENT], Sentinel(11)));
}

// The host answers each ready message with an acknowledgement to its sender, and sends the start
// once, when it has not started, every racing remote player is ready and its own countdown is
// over.
TEST_F(NetPlayTest, TheHostStartsWhenEveryoneIsReady)
{
    ASSERT_NO_FATAL_FAILURE(OtherJoins());
    gboSessionHost = TRUE;
    SetRemote(0, otherId);
    SetRemote(1, 0x999, false); // a player who joins during the wait
    CaptureOutput([] { NetPlay_InitGame(); });
    OtherReceives(20);

    NetPlay_Poll();
    EXPECT_TRUE(OtherReceivesBesidesStates(50).empty());

    ASSERT_NO_FATAL_FAILURE(OtherSends(Empty(NETMSG_READY), ownId));
    NetPlay_Poll();
    std::vector<Got> got = OtherReceives(1000);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].uType, NETMSG_READY_ACK);
    EXPECT_EQ(got[0].idTo, otherId);
    EXPECT_TRUE(gaNetRemoteCar[0].boReady);
    NetPlay_Poll();
    EXPECT_TRUE(OtherReceivesBesidesStates(50).empty()) << "the host's countdown is not over";
    EXPECT_FALSE(NetPlay_IsStartReceived());

    // The second player races now and is not ready: no start.
    SetRemote(1, 0x999);
    NetPlay_SetCountdownOver();
    NetPlay_Poll();
    EXPECT_TRUE(OtherReceivesBesidesStates(50).empty()) << "a racing player is not ready";
    EXPECT_FALSE(NetPlay_IsStartReceived());

    // It leaves: everyone left is ready.
    const Bytes gone = Destroyed(0x999);
    NetPlay_HandleSystemMessage(gone.data(), static_cast<uint32_t>(gone.size()));
    NetPlay_Poll();
    EXPECT_EQ(OtherReceivesBesidesStates(1000), std::vector<uint32_t>{NETMSG_START});
    EXPECT_TRUE(NetPlay_IsStartReceived());

    // Once only; a late ready message is still acknowledged.
    ASSERT_NO_FATAL_FAILURE(OtherSends(Empty(NETMSG_READY), ownId));
    NetPlay_Poll();
    NetPlay_Poll();
    EXPECT_EQ(OtherReceivesBesidesStates(1000), std::vector<uint32_t>{NETMSG_READY_ACK});
}

// The client's side through the game flow's start: once the wait is over it sends the ready
// message to the host every 51 ticks until the acknowledgement arrives, and its lights start only
// when the host's start message does.
class NetPlayStartTest : public NetPlayTest
{
protected:
    void SetUp() override
    {
        NetPlayTest::SetUp();
        GameFlow_ResetForTests();
        GameHandler_ResetForTests();
        Keys_ResetForTests();
        PauseMenu_Reset();
        PauseMenu_ResetForTests();
        PrangSnd_ResetCountdownForTests();
        Replay_Destructor();
        Cameras_ResetForTests();
        SuperSpecial_SetForTests(FALSE);
        StageInfo_SetLightForTests(2);
        WinKeysReset();
        for (DK_CONTROLLER& c : gaControllers)
            c = DK_CONTROLLER{};
        for (int n = 0; n < MAX_CARS; ++n)
            gaCarMechanics[n] = CarMechanics{};
        gnNumMechCars = 1;
        gboRaceFinished = FALSE;
        StubPerTickCarCalls();
    }
    void TearDown() override
    {
        PerTick_ResetForTests();
        WinKeysReset();
        Keys_ResetForTests();
        PauseMenu_Reset();
        GameHandler_ResetForTests();
        GameFlow_ResetForTests();
        gnNumMechCars = 0;
        NetPlayTest::TearDown();
    }

    // One race tick; the ready messages the host received, by tick.
    void Tick()
    {
        GameHandler_SetStateForTests(GAME_STATE_RACE);
        CaptureOutput([] { GameState_Race(); });
        for (uint32_t uType : OtherReceivesBesidesStates(0))
        {
            EXPECT_EQ(uType, NETMSG_READY) << "tick " << nTick;
            readyTicks.push_back(nTick);
        }
        ++nTick;
    }

    int nTick = 0;
    std::vector<int> readyTicks;
};

TEST_F(NetPlayStartTest, TheClientWaitsForTheHostsStart)
{
    ASSERT_NO_FATAL_FAILURE(JoinOthersSession());
    SetRemote(0, otherId);
    CaptureOutput([] { NetPlay_InitGame(); });
    EXPECT_TRUE(NetPlay_IsReady()) << "waiting for the acknowledgement";
    InitPlayerStart(0);
    gboFirstFrameDrawn = TRUE;
    OtherReceives(20);

    // The wait: the car held, no ready message yet.
    while (GameFlow_GetStartPhaseForTests(0) != 2 && nTick < 10)
        Tick();
    while (GameFlow_GetStartPhaseForTests(0) == 2 && readyTicks.empty() && nTick < 400)
    {
        Tick();
        EXPECT_TRUE(StartSeq_IsHoldingCar(0)) << "tick " << nTick;
    }
    ASSERT_EQ(readyTicks.size(), 1u) << "the first ready message once the wait is over";
    const int nFirst = readyTicks[0];
    while (nTick < nFirst + 3 * NETPLAY_READY_PERIOD + 5)
        Tick();
    EXPECT_EQ(readyTicks, (std::vector<int>{nFirst, nFirst + 51, nFirst + 102, nFirst + 153}));

    // The acknowledgement stops them; the lights still wait.
    ASSERT_NO_FATAL_FAILURE(OtherSends(Empty(NETMSG_READY_ACK), ownId));
    readyTicks.clear();
    for (int n = 0; n < 2 * NETPLAY_READY_PERIOD; ++n)
        Tick();
    EXPECT_FALSE(NetPlay_IsReady());
    EXPECT_TRUE(readyTicks.empty());
    EXPECT_EQ(GameFlow_GetStartPhaseForTests(0), 2) << "no lights before the start";
    EXPECT_FALSE(NetPlay_IsStartReceived());

    // The start: the hold, then the lights.
    ASSERT_NO_FATAL_FAILURE(OtherSends(Empty(NETMSG_START), ownId));
    const int nStartSent = nTick;
    while (GameFlow_GetStartPhaseForTests(0) == 2 && nTick < nStartSent + 10)
        Tick();
    EXPECT_TRUE(NetPlay_IsStartReceived());
    EXPECT_LE(nTick - nStartSent, 2);
    while (GameFlow_GetStartPhaseForTests(0) == 3 && nTick < nStartSent + 20)
        Tick();
    EXPECT_EQ(GameFlow_GetStartPhaseForTests(0), 4) << "the lights";
}

} // namespace
