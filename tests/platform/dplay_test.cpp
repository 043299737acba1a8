// The network transport: a host and two joiners in this process, over UDP on 127.0.0.1 and
// over the loopback provider; error results; and hostile datagrams at a host and a joiner.

#include "platform/dplay/dplay.h"

#include <enet/enet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/dplay/dplay_internal.h"
#include "platform/dplay/dplay_wire.h"

namespace
{

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(5);

const GUID kApp = {0x2D892000, 0x0C3F, 0x11D2, {0xB1, 0x4B, 0x00, 0x60, 0x08, 0x4E, 0x01, 0xE9}};

// A UDP port nobody holds right now.
uint16_t FreePort()
{
    enet_initialize();
    ENetSocket s = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    ENetAddress any{ENET_HOST_ANY, 0};
    enet_socket_bind(s, &any);
    ENetAddress got{};
    enet_socket_get_address(s, &got);
    enet_socket_destroy(s);
    return got.port;
}

// Every test hosts on a port of its own, found by the query to 127.0.0.1.
class DplayEnv : public testing::Test
{
protected:
    void SetUp() override
    {
        port = FreePort();
        setenv("DEZOR_DPLAY_PORT", std::to_string(port).c_str(), 1);
        setenv("DEZOR_DPLAY_HOSTS", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
        DpResetTestHooks();
    }
    void TearDown() override
    {
        for (IDirectPlay3A* dp : made)
            dp->Release();
        DpResetTestHooks();
        unsetenv("DEZOR_DPLAY_PORT");
        unsetenv("DEZOR_DPLAY_HOSTS");
    }

    IDirectPlay3A* Make(const GUID& provider)
    {
        LPDIRECTPLAY dp1 = nullptr;
        GUID guid = provider;
        EXPECT_EQ(DirectPlayCreate(&guid, &dp1, nullptr), DP_OK);
        if (dp1 == nullptr)
            return nullptr;
        IDirectPlay3A* dp = nullptr;
        EXPECT_EQ(dp1->QueryInterface(IID_IDirectPlay3A, reinterpret_cast<void**>(&dp)), DP_OK);
        EXPECT_EQ(dp1->Release(), 1u);
        made.push_back(dp);
        return dp;
    }

    static DPSESSIONDESC2 Desc()
    {
        DPSESSIONDESC2 d{};
        d.dwSize = sizeof d;
        d.guidApplication = kApp;
        return d;
    }

    static HRESULT Host(IDirectPlay3A* dp, const char* name, DWORD maxPlayers)
    {
        DPSESSIONDESC2 d = Desc();
        d.dwFlags = DPSESSION_MIGRATEHOST | DPSESSION_KEEPALIVE;
        d.dwMaxPlayers = maxPlayers;
        std::string n = name;
        d.lpszSessionNameA = n.data();
        return dp->Open(&d, DPOPEN_CREATE);
    }

    struct Found
    {
        DPSESSIONDESC2 desc;
        std::string name;
    };
    struct EnumResult
    {
        std::vector<Found> sessions;
        int timeouts = 0;
        int moreRounds = 0; // how many time-outs to answer with "look again"
        size_t want = 0;    // sessions expected: a late answer is waited for, within bounds
        int lateLooks = 0;
    };
    static BOOL OnSession(LPCDPSESSIONDESC2 sd, LPDWORD timeout, DWORD flags, LPVOID context)
    {
        EnumResult* r = static_cast<EnumResult*>(context);
        if (flags & DPESC_TIMEDOUT)
        {
            EXPECT_EQ(sd, nullptr);
            EXPECT_NE(timeout, nullptr);
            // A busy machine may answer after the look-out: look again, a few times at most.
            if (r->sessions.size() < r->want && r->lateLooks < 10)
            {
                ++r->lateLooks;
                return TRUE;
            }
            return ++r->timeouts <= r->moreRounds;
        }
        r->sessions.push_back({*sd, sd->lpszSessionNameA});
        return TRUE;
    }
    // A short time-out suffices on one machine; looking for nothing waits it out whole.
    static EnumResult Enum(IDirectPlay3A* dp, DWORD flags = DPENUMSESSIONS_AVAILABLE,
                           int moreRounds = 0, size_t want = 0)
    {
        EnumResult r;
        r.moreRounds = moreRounds;
        r.want = want;
        DPSESSIONDESC2 d = Desc();
        EXPECT_EQ(dp->EnumSessions(&d, 500, OnSession, &r, flags), DP_OK);
        return r;
    }
    // Where one session is to be found.
    static EnumResult EnumOne(IDirectPlay3A* dp, DWORD flags = DPENUMSESSIONS_AVAILABLE)
    {
        return Enum(dp, flags, 0, 1);
    }

    static HRESULT Join(IDirectPlay3A* dp, const GUID& instance)
    {
        DPSESSIONDESC2 d = Desc();
        d.guidInstance = instance;
        return dp->Open(&d, DPOPEN_JOIN);
    }

    static DPID NewPlayer(IDirectPlay3A* dp, std::string shortName, std::string longName)
    {
        DPNAME name{sizeof(DPNAME), 0, shortName.data(), longName.data()};
        DPID id = 0;
        EXPECT_EQ(dp->CreatePlayer(&id, &name, nullptr, nullptr, 0, 0), DP_OK);
        return id;
    }

    struct Msg
    {
        DPID from = 0;
        DPID to = 0;
        std::vector<uint8_t> data;
    };
    // The next message to this player, waiting for it a while.
    static bool Next(IDirectPlay3A* dp, DPID to, Msg* out)
    {
        Clock::time_point deadline = Clock::now() + kPatience;
        std::vector<uint8_t> buffer(DP_MAX_MESSAGE_SIZE);
        while (Clock::now() < deadline)
        {
            DPID from = 0;
            DPID target = to;
            DWORD size = static_cast<DWORD>(buffer.size());
            HRESULT hr = dp->Receive(&from, &target, DPRECEIVE_TOPLAYER, buffer.data(), &size);
            if (hr == DP_OK)
            {
                out->from = from;
                out->to = target;
                out->data.assign(buffer.begin(), buffer.begin() + size);
                return true;
            }
            EXPECT_EQ(hr, DPERR_NOMESSAGES);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }
    // The next system message of this type to the player (others before it are skipped).
    static std::vector<uint8_t> NextSystem(IDirectPlay3A* dp, DPID to, DWORD type)
    {
        Msg m;
        while (Next(dp, to, &m))
            if (m.from == DPID_SYSMSG && DpReadU32(m.data.data(), m.data.size(), 0) == type)
                return m.data;
        ADD_FAILURE() << "no system message " << type;
        return {};
    }

    struct PlayerSeen
    {
        DPID id;
        std::string shortName;
        std::string longName;
    };
    static BOOL OnPlayer(DPID id, DWORD type, LPCDPNAME name, DWORD, LPVOID context)
    {
        EXPECT_EQ(type, DPPLAYERTYPE_PLAYER);
        static_cast<std::vector<PlayerSeen>*>(context)->push_back(
            {id, name->lpszShortNameA, name->lpszLongNameA});
        return TRUE;
    }
    static std::vector<PlayerSeen> Players(IDirectPlay3A* dp)
    {
        std::vector<PlayerSeen> seen;
        EXPECT_EQ(dp->EnumPlayers(nullptr, OnPlayer, &seen, 0), DP_OK);
        return seen;
    }

    static std::vector<uint8_t> Pattern(size_t size, int seed)
    {
        std::vector<uint8_t> v(size);
        for (size_t i = 0; i < size; ++i)
            v[i] = static_cast<uint8_t>(seed * 31 + i * 7);
        return v;
    }

    uint16_t port = 0;
    std::vector<IDirectPlay3A*> made;
};

struct ProviderCase
{
    const char* name;
    const GUID* guid;
};

class DplaySession : public DplayEnv, public testing::WithParamInterface<ProviderCase>
{
protected:
    // A session `name` with a host player "h" and a joiner player "j", on the case's provider.
    struct Joined
    {
        IDirectPlay3A* host = nullptr;
        IDirectPlay3A* joiner = nullptr;
        DPID hostId = 0;
        DPID joinerId = 0;
    };
    void JoinPair(const char* name, Joined& j)
    {
        j.host = Make(*GetParam().guid);
        j.joiner = Make(*GetParam().guid);
        ASSERT_TRUE(j.host && j.joiner);
        ASSERT_EQ(Host(j.host, name, 4), DP_OK);
        j.hostId = NewPlayer(j.host, "h", "h");
        EnumResult found = EnumOne(j.joiner);
        ASSERT_EQ(found.sessions.size(), 1u);
        ASSERT_EQ(Join(j.joiner, found.sessions[0].desc.guidInstance), DP_OK);
        j.joinerId = NewPlayer(j.joiner, "j", "j");
    }
};

BOOL CollectProvider(LPGUID guid, LPSTR name, DWORD, DWORD, LPVOID context)
{
    static_cast<std::vector<std::pair<GUID, std::string>>*>(context)->push_back({*guid, name});
    return TRUE;
}

TEST_F(DplayEnv, ProvidersAreUdpThenLoopback)
{
    std::vector<std::pair<GUID, std::string>> seen;
    ASSERT_EQ(DirectPlayEnumerateA(CollectProvider, &seen), DP_OK);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(IsEqualGUID(seen[0].first, DPSPGUID_UDP));
    EXPECT_EQ(seen[0].second, "UDP/IP Connection");
    EXPECT_TRUE(IsEqualGUID(seen[1].first, DPSPGUID_LOOPBACK));
    EXPECT_EQ(seen[1].second, "Loopback Connection");

    GUID unknown = {1, 2, 3, {4}};
    LPDIRECTPLAY dp = nullptr;
    EXPECT_EQ(DirectPlayCreate(&unknown, &dp, nullptr), DPERR_UNAVAILABLE);
    EXPECT_EQ(dp, nullptr);

    // Made without a provider, the object waits for one.
    ASSERT_EQ(DirectPlayCreate(nullptr, &dp, nullptr), DP_OK);
    IDirectPlay3A* dp3 = nullptr;
    ASSERT_EQ(dp->QueryInterface(IID_IDirectPlay3A, reinterpret_cast<void**>(&dp3)), DP_OK);
    dp->Release();
    made.push_back(dp3);
    DPCAPS caps{};
    caps.dwSize = sizeof caps;
    EXPECT_EQ(dp3->GetCaps(&caps, 0), DPERR_UNINITIALIZED);
    EXPECT_EQ(dp3->InitializeConnection(&unknown, 0), DPERR_UNAVAILABLE);
    GUID loopback = DPSPGUID_LOOPBACK;
    EXPECT_EQ(dp3->InitializeConnection(&loopback, 0), DP_OK);
    EXPECT_EQ(dp3->InitializeConnection(&loopback, 0), DPERR_ALREADYINITIALIZED);
    ASSERT_EQ(dp3->GetCaps(&caps, 0), DP_OK);
    EXPECT_EQ(caps.dwMaxBufferSize, DP_MAX_MESSAGE_SIZE);
    EXPECT_EQ(caps.dwFlags & DPCAPS_GUARANTEEDSUPPORTED, DPCAPS_GUARANTEEDSUPPORTED);
    EXPECT_EQ(caps.dwFlags & DPCAPS_ISHOST, 0u);
}

TEST_P(DplaySession, HostAndTwoJoinersPlayThroughASession)
{
    IDirectPlay3A* host = Make(*GetParam().guid);
    IDirectPlay3A* a = Make(*GetParam().guid);
    IDirectPlay3A* b = Make(*GetParam().guid);
    ASSERT_TRUE(host && a && b);

    // Nothing to find before the host opens.
    EXPECT_TRUE(Enum(a).sessions.empty());
    ASSERT_EQ(Host(host, "R00000000ANNE#", 8), DP_OK);
    DPCAPS caps{};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(host->GetCaps(&caps, 0), DP_OK);
    EXPECT_EQ(caps.dwFlags & DPCAPS_ISHOST, DPCAPS_ISHOST);
    DPID hostId = NewPlayer(host, "hANNE", "anne");

    EnumResult found = EnumOne(a);
    ASSERT_EQ(found.sessions.size(), 1u);
    EXPECT_EQ(found.timeouts, 1);
    EXPECT_EQ(found.sessions[0].name, "R00000000ANNE#");
    EXPECT_EQ(found.sessions[0].desc.dwMaxPlayers, 8u);
    EXPECT_EQ(found.sessions[0].desc.dwCurrentPlayers, 1u);
    EXPECT_EQ(found.sessions[0].desc.dwFlags, DPSESSION_MIGRATEHOST | DPSESSION_KEEPALIVE);
    EXPECT_TRUE(IsEqualGUID(found.sessions[0].desc.guidApplication, kApp));
    GUID instance = found.sessions[0].desc.guidInstance;
    ASSERT_EQ(Join(a, instance), DP_OK);
    DPID aId = NewPlayer(a,
                         "\x04"
                         "BOB",
                         "bob1");
    ASSERT_EQ(EnumOne(b).sessions.size(), 1u);
    ASSERT_EQ(Join(b, instance), DP_OK);
    DPID bId = NewPlayer(b,
                         "\x02"
                         "CAT",
                         "cat1");
    EXPECT_NE(aId, 0u);
    EXPECT_NE(bId, aId);

    // Every machine is told of the players the others made, with their names.
    std::vector<uint8_t> created = NextSystem(host, hostId, DPSYS_CREATEPLAYERORGROUP);
    ASSERT_EQ(created.size(), dpsys::kCreatePlayerSize);
    EXPECT_EQ(DpReadU32(created.data(), created.size(), dpsys::kPlayerId), aId);
    EXPECT_STREQ(reinterpret_cast<const char*>(&created[dpsys::kShortName]), "\x04"
                                                                             "BOB");
    EXPECT_STREQ(reinterpret_cast<const char*>(&created[dpsys::kLongName]), "bob1");
    created = NextSystem(host, hostId, DPSYS_CREATEPLAYERORGROUP);
    EXPECT_EQ(DpReadU32(created.data(), created.size(), dpsys::kPlayerId), bId);
    created = NextSystem(a, aId, DPSYS_CREATEPLAYERORGROUP);
    EXPECT_EQ(DpReadU32(created.data(), created.size(), dpsys::kPlayerId), bId);
    EXPECT_EQ(DpReadU32(created.data(), created.size(), dpsys::kCurrentPlayers), 3u);

    for (IDirectPlay3A* dp : {host, a, b})
    {
        std::vector<PlayerSeen> players = Players(dp);
        ASSERT_EQ(players.size(), 3u);
        EXPECT_EQ(players[0].id, hostId);
        EXPECT_EQ(players[0].shortName, "hANNE");
        EXPECT_EQ(players[1].id, aId);
        EXPECT_EQ(players[1].longName, "bob1");
        EXPECT_EQ(players[2].id, bId);
        EXPECT_EQ(players[2].shortName, "\x02"
                                        "CAT");
        // Only the host's player is the host.
        for (const PlayerSeen& p : players)
        {
            DPCAPS pc{};
            pc.dwSize = sizeof pc;
            ASSERT_EQ(dp->GetPlayerCaps(p.id, &pc, 0), DP_OK);
            EXPECT_EQ((pc.dwFlags & DPCAPS_ISHOST) != 0, p.id == hostId);
        }
    }

    // Guaranteed messages from a joiner to the other joiner go through the host whole and in
    // order, from a few bytes to the largest the game sends and well beyond.
    const size_t sizes[] = {4, 16, 60, 280, 1444, 1445, 4000, 12000, DP_MAX_MESSAGE_SIZE};
    for (size_t i = 0; i < std::size(sizes); ++i)
    {
        std::vector<uint8_t> data = Pattern(sizes[i], static_cast<int>(i));
        ASSERT_EQ(
            a->Send(aId, bId, DPSEND_GUARANTEED, data.data(), static_cast<DWORD>(data.size())),
            DP_OK);
    }
    for (size_t i = 0; i < std::size(sizes); ++i)
    {
        Msg m;
        ASSERT_TRUE(Next(b, bId, &m)) << i;
        EXPECT_EQ(m.from, aId);
        EXPECT_EQ(m.to, bId);
        EXPECT_EQ(m.data, Pattern(sizes[i], static_cast<int>(i))) << sizes[i];
    }

    // To all through the host: everyone but the sender, addressed to each receiver.
    uint8_t all[16] = {19};
    ASSERT_EQ(
        a->Send(aId, DPID_ALLPLAYERS, DPSEND_GUARANTEED | DPSEND_HIGHPRIORITY, all, sizeof all),
        DP_OK);
    for (auto [dp, id] : {std::pair{host, hostId}, std::pair{b, bId}})
    {
        Msg m;
        ASSERT_TRUE(Next(dp, id, &m));
        EXPECT_EQ(m.from, aId);
        EXPECT_EQ(m.to, id);
        EXPECT_EQ(m.data, std::vector<uint8_t>(all, all + sizeof all));
    }
    uint8_t state[60] = {7};
    ASSERT_EQ(host->Send(hostId, DPID_ALLPLAYERS, 0, state, sizeof state), DP_OK);
    for (auto [dp, id] : {std::pair{a, aId}, std::pair{b, bId}})
    {
        Msg m;
        ASSERT_TRUE(Next(dp, id, &m));
        EXPECT_EQ(m.from, hostId);
        EXPECT_EQ(m.data.size(), sizeof state);
    }
    DPID from = 0;
    DPID to = aId;
    DWORD size = 0;
    EXPECT_EQ(a->Receive(&from, &to, DPRECEIVE_TOPLAYER, nullptr, &size), DPERR_NOMESSAGES)
        << "the sender gets no copy";

    // The host changes the description; the joiners are told and read it back.
    DPSESSIONDESC2 d = Desc();
    d.dwFlags = DPSESSION_MIGRATEHOST | DPSESSION_KEEPALIVE | DPSESSION_JOINDISABLED;
    d.dwMaxPlayers = 8;
    std::string renamed = "T31000000ANNE#";
    d.lpszSessionNameA = renamed.data();
    EXPECT_EQ(a->SetSessionDesc(&d, 0), DPERR_ACCESSDENIED);
    ASSERT_EQ(host->SetSessionDesc(&d, 0), DP_OK);
    for (auto [dp, id] : {std::pair{a, aId}, std::pair{b, bId}})
    {
        std::vector<uint8_t> change = NextSystem(dp, id, DPSYS_SETSESSIONDESC);
        ASSERT_EQ(change.size(), dpsys::kSetSessionDescSize);
        DPSESSIONDESC2 sent{};
        ASSERT_TRUE(DpReadSessionDesc(&change[dpsys::kSessionDesc], change.size() - 4, &sent));
        EXPECT_EQ(sent.dwFlags, d.dwFlags);
        EXPECT_EQ(sent.dwMaxPlayers, 8u);
        EXPECT_EQ(sent.dwCurrentPlayers, 3u);
        EXPECT_TRUE(IsEqualGUID(sent.guidInstance, instance));

        DWORD need = 0;
        ASSERT_EQ(dp->GetSessionDesc(nullptr, &need), DPERR_BUFFERTOOSMALL);
        std::vector<uint8_t> buffer(need);
        ASSERT_EQ(dp->GetSessionDesc(buffer.data(), &need), DP_OK);
        const DPSESSIONDESC2* back = reinterpret_cast<const DPSESSIONDESC2*>(buffer.data());
        EXPECT_EQ(back->dwFlags, d.dwFlags);
        EXPECT_STREQ(back->lpszSessionNameA, "T31000000ANNE#");
    }
    // A closed session is not offered, unless all sessions are asked for.
    IDirectPlay3A* late = Make(*GetParam().guid);
    EXPECT_TRUE(Enum(late).sessions.empty());
    EXPECT_EQ(EnumOne(late, DPENUMSESSIONS_ALL).sessions.size(), 1u);

    // A joiner leaves: the others are told which player went.
    ASSERT_EQ(b->Close(), DP_OK);
    for (auto [dp, id] : {std::pair{host, hostId}, std::pair{a, aId}})
    {
        std::vector<uint8_t> gone = NextSystem(dp, id, DPSYS_DESTROYPLAYERORGROUP);
        ASSERT_EQ(gone.size(), dpsys::kDestroyPlayerSize);
        EXPECT_EQ(DpReadU32(gone.data(), gone.size(), dpsys::kPlayerId), bId);
        EXPECT_EQ(Players(dp).size(), 2u);
    }

    // The host leaves: the session is lost for the joiner, whose player alone is left.
    ASSERT_EQ(host->Close(), DP_OK);
    std::vector<uint8_t> lost = NextSystem(a, aId, DPSYS_SESSIONLOST);
    EXPECT_EQ(lost.size(), dpsys::kSessionLostSize);
    std::vector<PlayerSeen> left = Players(a);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].id, aId);
    EXPECT_EQ(a->Send(aId, hostId, DPSEND_GUARANTEED, all, sizeof all), DPERR_INVALIDPLAYER);
    EXPECT_EQ(a->SetSessionDesc(&d, 0), DPERR_NOSESSIONS);
}

// The game sends on one thread and polls on another; both directions keep their order.
TEST_P(DplaySession, TwoThreadsShareOneObject)
{
    Joined pair;
    ASSERT_NO_FATAL_FAILURE(JoinPair("threads", pair));
    IDirectPlay3A* host = pair.host;
    IDirectPlay3A* joiner = pair.joiner;
    const DPID hostId = pair.hostId, joinerId = pair.joinerId;
    ASSERT_EQ(NextSystem(host, hostId, DPSYS_CREATEPLAYERORGROUP).size(), dpsys::kCreatePlayerSize);

    constexpr uint32_t kCount = 200;
    std::thread sender(
        [&]
        {
            for (uint32_t i = 0; i < kCount; ++i)
                EXPECT_EQ(joiner->Send(joinerId, hostId, DPSEND_GUARANTEED, &i, sizeof i), DP_OK);
        });
    for (uint32_t i = 0; i < kCount; ++i)
        ASSERT_EQ(host->Send(hostId, joinerId, DPSEND_GUARANTEED, &i, sizeof i), DP_OK);
    for (uint32_t i = 0; i < kCount; ++i)
    {
        Msg m;
        ASSERT_TRUE(Next(joiner, joinerId, &m)) << i;
        ASSERT_EQ(m.data.size(), sizeof i);
        EXPECT_EQ(DpReadU32(m.data.data(), m.data.size(), 0), i);
    }
    sender.join();
    for (uint32_t i = 0; i < kCount; ++i)
    {
        Msg m;
        ASSERT_TRUE(Next(host, hostId, &m)) << i;
        EXPECT_EQ(m.from, joinerId);
        EXPECT_EQ(DpReadU32(m.data.data(), m.data.size(), 0), i);
    }
}

// A host that closed its session opens another on the same object; machines join it afresh.
TEST_P(DplaySession, AHostOpensAgainAfterClosing)
{
    IDirectPlay3A* host = Make(*GetParam().guid);
    IDirectPlay3A* a = Make(*GetParam().guid);
    IDirectPlay3A* b = Make(*GetParam().guid);
    ASSERT_TRUE(host && a && b);
    ASSERT_EQ(Host(host, "first", 4), DP_OK);
    NewPlayer(host, "h", "h");
    EnumResult found = EnumOne(a);
    ASSERT_EQ(found.sessions.size(), 1u);
    ASSERT_EQ(Join(a, found.sessions[0].desc.guidInstance), DP_OK);
    DPID aId = NewPlayer(a, "a", "a");
    ASSERT_EQ(host->Close(), DP_OK);
    ASSERT_EQ(NextSystem(a, aId, DPSYS_SESSIONLOST).size(), dpsys::kSessionLostSize);

    ASSERT_EQ(Host(host, "second", 4), DP_OK);
    DPID hostId = NewPlayer(host, "h2", "h2");
    found = EnumOne(b);
    ASSERT_EQ(found.sessions.size(), 1u);
    EXPECT_EQ(found.sessions[0].name, "second");
    ASSERT_EQ(Join(b, found.sessions[0].desc.guidInstance), DP_OK);
    DPID bId = NewPlayer(b, "b", "b");
    ASSERT_EQ(NextSystem(host, hostId, DPSYS_CREATEPLAYERORGROUP).size(), dpsys::kCreatePlayerSize);
    uint8_t hello[4] = {1, 2, 3, 4};
    ASSERT_EQ(b->Send(bId, hostId, DPSEND_GUARANTEED, hello, sizeof hello), DP_OK);
    Msg m;
    ASSERT_TRUE(Next(host, hostId, &m));
    EXPECT_EQ(m.from, bId);
    EXPECT_EQ(m.data, std::vector<uint8_t>(hello, hello + sizeof hello));
    ASSERT_EQ(host->Send(hostId, DPID_ALLPLAYERS, DPSEND_GUARANTEED, hello, sizeof hello), DP_OK);
    ASSERT_TRUE(Next(b, bId, &m));
    EXPECT_EQ(m.from, hostId);
    EXPECT_EQ(Players(b).size(), 2u);
}

// Enumeration callbacks may call the object that calls them, even to join and to leave.
struct CallingBack
{
    IDirectPlay3A* dp;
    bool joined = false;
    int looks = 0;
};
BOOL JoinAndLeaveFromCallback(LPCDPSESSIONDESC2 sd, LPDWORD, DWORD flags, LPVOID context)
{
    CallingBack* c = static_cast<CallingBack*>(context);
    if (flags & DPESC_TIMEDOUT)
        return !c->joined && ++c->looks < 10;
    DPSESSIONDESC2 d = *sd;
    d.dwSize = sizeof d;
    EXPECT_EQ(c->dp->Open(&d, DPOPEN_JOIN), DP_OK);
    EXPECT_EQ(c->dp->Close(), DP_OK);
    c->joined = true;
    return FALSE;
}
BOOL LeaveFromCallback(DPID, DWORD, LPCDPNAME, DWORD, LPVOID context)
{
    EXPECT_EQ(static_cast<IDirectPlay3A*>(context)->Close(), DP_OK);
    return FALSE;
}

TEST_P(DplaySession, CallbacksMayCallTheirObject)
{
    IDirectPlay3A* host = Make(*GetParam().guid);
    IDirectPlay3A* joiner = Make(*GetParam().guid);
    ASSERT_TRUE(host && joiner);
    ASSERT_EQ(Host(host, "calls", 4), DP_OK);
    DPID hostId = NewPlayer(host, "h", "h");
    DPSESSIONDESC2 d = Desc();
    CallingBack calling{joiner};
    ASSERT_EQ(
        joiner->EnumSessions(&d, 500, JoinAndLeaveFromCallback, &calling, DPENUMSESSIONS_AVAILABLE),
        DP_OK);
    EXPECT_TRUE(calling.joined);

    EnumResult found = EnumOne(joiner);
    ASSERT_EQ(found.sessions.size(), 1u);
    ASSERT_EQ(Join(joiner, found.sessions[0].desc.guidInstance), DP_OK);
    DPID joinerId = NewPlayer(joiner, "j", "j");
    ASSERT_EQ(joiner->EnumPlayers(nullptr, LeaveFromCallback, joiner, 0), DP_OK);
    std::vector<uint8_t> gone = NextSystem(host, hostId, DPSYS_DESTROYPLAYERORGROUP);
    EXPECT_EQ(DpReadU32(gone.data(), gone.size(), dpsys::kPlayerId), joinerId);
}

// A joiner sending faster than the host reads: the host's queue stays within its bounds,
// plain messages going first; past the hard bound the joiner is let go.
TEST_P(DplaySession, AFloodingJoinerCannotGrowTheHostsQueue)
{
    Joined pair;
    ASSERT_NO_FATAL_FAILURE(JoinPair("flood", pair));
    IDirectPlay3A* host = pair.host;
    IDirectPlay3A* joiner = pair.joiner;
    const DPID hostId = pair.hostId, joinerId = pair.joinerId;

    // Whatever the host holds beyond the flood: its system messages.
    constexpr size_t kSlack = 1024;
    size_t most = 0;
    auto sample = [&]
    {
        size_t now = DpQueuedBytesForTests(host);
        most = std::max(most, now);
        return now;
    };
    std::vector<uint8_t> data(DP_MAX_MESSAGE_SIZE, 0x5A);
    auto flood = [&](DWORD flags, int count)
    {
        for (int i = 0; i < count; ++i)
        {
            HRESULT hr = joiner->Send(joinerId, hostId, flags, data.data(), DP_MAX_MESSAGE_SIZE);
            if (hr == DPERR_INVALIDPLAYER && (flags & DPSEND_GUARANTEED))
                break; // let go: the host's player is gone for the joiner
            EXPECT_EQ(hr, DP_OK);
            sample();
            if (i % 8 == 7) // paced, so that the socket drops none of it
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };

    // Half as much again as a player may have queued, in plain messages: the host keeps what
    // fits and drops the rest.
    const int plain = static_cast<int>(DP_QUEUE_PLAYER_BYTES * 3 / 2 / DP_MAX_MESSAGE_SIZE);
    flood(0, plain);
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (sample() < DP_QUEUE_PLAYER_BYTES - 2 * DP_MAX_MESSAGE_SIZE && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GE(sample(), DP_QUEUE_PLAYER_BYTES - 2 * DP_MAX_MESSAGE_SIZE) << "the flood arrived";
    EXPECT_LE(most, DP_QUEUE_PLAYER_BYTES + kSlack);
    EXPECT_EQ(Players(host).size(), 2u) << "plain messages alone do not cost the connection";

    // Guaranteed messages beyond the hard bound: the joiner is let go and told so.
    flood(DPSEND_GUARANTEED, static_cast<int>(2 * DP_QUEUE_PLAYER_BYTES / DP_MAX_MESSAGE_SIZE));
    deadline = Clock::now() + std::chrono::seconds(20);
    while (Players(host).size() != 1 && Clock::now() < deadline)
    {
        sample();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(Players(host).size(), 1u);
    EXPECT_LE(most, 2 * DP_QUEUE_PLAYER_BYTES + kSlack);
    EXPECT_EQ(NextSystem(joiner, joinerId, DPSYS_SESSIONLOST).size(), dpsys::kSessionLostSize);
}

// A game that reads as messages come gets every guaranteed message, however many pass
// through the queue in all.
TEST_P(DplaySession, AReadingGameGetsEveryGuaranteedMessage)
{
    Joined pair;
    ASSERT_NO_FATAL_FAILURE(JoinPair("steady", pair));
    IDirectPlay3A* host = pair.host;
    IDirectPlay3A* joiner = pair.joiner;
    const DPID hostId = pair.hostId, joinerId = pair.joinerId;
    ASSERT_EQ(NextSystem(host, hostId, DPSYS_CREATEPLAYERORGROUP).size(), dpsys::kCreatePlayerSize);

    // More than the hard bound in all, at a steady pace.
    const uint32_t count = 3 * DP_QUEUE_PLAYER_BYTES / DP_MAX_MESSAGE_SIZE;
    std::thread sender(
        [&]
        {
            for (uint32_t i = 0; i < count; ++i)
            {
                std::vector<uint8_t> data = Pattern(DP_MAX_MESSAGE_SIZE, static_cast<int>(i));
                std::memcpy(data.data(), &i, sizeof i);
                EXPECT_EQ(joiner->Send(joinerId, hostId, DPSEND_GUARANTEED, data.data(),
                                       DP_MAX_MESSAGE_SIZE),
                          DP_OK);
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
    uint32_t got = 0;
    for (; got < count; ++got)
    {
        Msg m;
        if (!Next(host, hostId, &m))
            break;
        ASSERT_EQ(m.from, joinerId);
        ASSERT_EQ(m.data.size(), DP_MAX_MESSAGE_SIZE);
        ASSERT_EQ(DpReadU32(m.data.data(), m.data.size(), 0), got);
        ASSERT_EQ(m.data[DP_MAX_MESSAGE_SIZE - 1], Pattern(DP_MAX_MESSAGE_SIZE, got).back());
    }
    sender.join();
    EXPECT_EQ(got, count);
    EXPECT_EQ(Players(host).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Providers, DplaySession,
                         testing::Values(ProviderCase{"Udp", &DPSPGUID_UDP},
                                         ProviderCase{"Loopback", &DPSPGUID_LOOPBACK}),
                         [](const testing::TestParamInfo<ProviderCase>& info)
                         { return std::string(info.param.name); });

TEST_F(DplayEnv, CallsRefuseWhatTheyCannotDo)
{
    IDirectPlay3A* host = Make(DPSPGUID_LOOPBACK);
    IDirectPlay3A* joiner = Make(DPSPGUID_LOOPBACK);
    IDirectPlay3A* third = Make(DPSPGUID_LOOPBACK);
    ASSERT_TRUE(host && joiner && third);
    DPSESSIONDESC2 d = Desc();
    EXPECT_EQ(host->Open(&d, 3), DPERR_INVALIDFLAGS);
    EXPECT_EQ(Join(joiner, GUID{9, 9, 9, {9}}), DPERR_NOSESSIONS) << "never found";
    ASSERT_EQ(Host(host, "two", 2), DP_OK);
    EXPECT_EQ(Host(host, "again", 2), DPERR_ALREADYINITIALIZED);
    DPID hostId = NewPlayer(host, "h", "h");

    EnumResult found = EnumOne(joiner);
    ASSERT_EQ(found.sessions.size(), 1u);
    ASSERT_EQ(EnumOne(third).sessions.size(), 1u);
    ASSERT_EQ(Join(joiner, found.sessions[0].desc.guidInstance), DP_OK);
    DPID joinerId = NewPlayer(joiner, "j", "j");

    uint8_t big[DP_MAX_MESSAGE_SIZE + 1] = {};
    struct SendCase
    {
        const char* what;
        DPID from;
        DPID to;
        DWORD flags;
        DWORD size;
        HRESULT hr;
    };
    const SendCase sends[] = {
        {"too big", joinerId, hostId, 1, DP_MAX_MESSAGE_SIZE + 1, DPERR_SENDTOOBIG},
        {"largest", joinerId, hostId, 1, DP_MAX_MESSAGE_SIZE, DP_OK},
        {"from a remote player", hostId, joinerId, 1, 4, DPERR_INVALIDPLAYER},
        {"to nobody", joinerId, 0x12345, 1, 4, DPERR_INVALIDPLAYER},
        {"unknown flags", joinerId, hostId, 0x10, 4, DPERR_INVALIDFLAGS},
    };
    for (const SendCase& c : sends)
        EXPECT_EQ(joiner->Send(c.from, c.to, c.flags, big, c.size), c.hr) << c.what;

    // A buffer too small leaves the message queued and says what it needs.
    Msg m;
    DPID from = 0;
    DPID to = hostId;
    std::vector<uint8_t> small(200);
    DWORD size = static_cast<DWORD>(small.size());
    Clock::time_point deadline = Clock::now() + kPatience;
    HRESULT hr;
    while ((hr = host->Receive(&from, &to, DPRECEIVE_TOPLAYER, small.data(), &size)) ==
               DPERR_NOMESSAGES &&
           Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    // The joiner's creation comes first.
    EXPECT_EQ(hr, DP_OK);
    EXPECT_EQ(from, DPID_SYSMSG);
    size = static_cast<DWORD>(small.size());
    while ((hr = host->Receive(&from, &to, DPRECEIVE_TOPLAYER, small.data(), &size)) ==
               DPERR_NOMESSAGES &&
           Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(hr, DPERR_BUFFERTOOSMALL);
    EXPECT_EQ(size, DP_MAX_MESSAGE_SIZE);
    ASSERT_TRUE(Next(host, hostId, &m));
    EXPECT_EQ(m.data.size(), DP_MAX_MESSAGE_SIZE);

    // The session holds two players: a third machine may join but adds no player; once the
    // host closes the session, joining is refused.
    ASSERT_EQ(Join(third, found.sessions[0].desc.guidInstance), DPERR_NONEWPLAYERS)
        << "a full session takes no one";
    d.dwMaxPlayers = 3;
    d.dwFlags = DPSESSION_JOINDISABLED;
    ASSERT_EQ(host->SetSessionDesc(&d, 0), DP_OK);
    EXPECT_EQ(Join(third, found.sessions[0].desc.guidInstance), DPERR_NONEWPLAYERS);
    d.dwFlags = 0;
    ASSERT_EQ(host->SetSessionDesc(&d, 0), DP_OK);
    ASSERT_EQ(Join(third, found.sessions[0].desc.guidInstance), DP_OK);
    NewPlayer(third, "t", "t");
    DPNAME name{sizeof(DPNAME), 0, nullptr, nullptr};
    DPID id = 0;
    EXPECT_EQ(third->CreatePlayer(&id, &name, nullptr, nullptr, 0, 0), DPERR_CANTADDPLAYER);
    EXPECT_EQ(host->CreatePlayer(&id, &name, nullptr, nullptr, 0, 0), DPERR_CANTADDPLAYER);
    EXPECT_EQ(joiner->DestroyPlayer(hostId), DPERR_ACCESSDENIED);
    EXPECT_EQ(joiner->DestroyPlayer(0x777), DPERR_INVALIDPLAYER);
}

TEST_F(DplayEnv, NamesKeepTheirTerminatorAndTimeOutsMayLookAgain)
{
    std::string longName(70, 'N');
    IDirectPlay3A* host = Make(DPSPGUID_LOOPBACK);
    IDirectPlay3A* joiner = Make(DPSPGUID_LOOPBACK);
    ASSERT_EQ(Host(host, longName.c_str(), 4), DP_OK);
    NewPlayer(host, longName, longName);

    // Answering the first time-out with "again" looks once more.
    EnumResult found = Enum(joiner, DPENUMSESSIONS_AVAILABLE, 1);
    EXPECT_EQ(found.timeouts, 2);
    ASSERT_EQ(found.sessions.size(), 2u) << "one per look";
    EXPECT_EQ(found.sessions[0].name, std::string(DP_NAME_FIELD - 1, 'N'));
    ASSERT_EQ(Join(joiner, found.sessions[0].desc.guidInstance), DP_OK);
    std::vector<PlayerSeen> players = Players(joiner);
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(players[0].shortName, std::string(DP_NAME_FIELD - 1, 'N'));
    EXPECT_EQ(players[0].longName, std::string(DP_NAME_FIELD - 1, 'N'));
}

// ---- Hostile datagrams ----

std::vector<uint8_t> Frame(dpwire::Kind kind, const std::vector<uint8_t>& body, int lengthSkew = 0)
{
    dpwire::Writer w(kind);
    w.Bytes(body.data(), body.size());
    std::vector<uint8_t> f = w.Frame();
    uint32_t length = static_cast<uint32_t>(body.size() + lengthSkew);
    for (int i = 0; i < 4; ++i)
        f[dpwire::kHeaderBodyLength + i] = static_cast<uint8_t>(length >> (8 * i));
    return f;
}

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words, size_t pad = 0)
{
    std::vector<uint8_t> v;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            v.push_back(static_cast<uint8_t>(w >> (8 * i)));
    v.insert(v.end(), pad, 'X');
    return v;
}

// Malformed frames of every kind: wrong body sizes, sizes that claim more than is there, and
// names without a terminator.
std::vector<std::vector<uint8_t>> HostileFrames(std::mt19937& gen)
{
    std::vector<std::vector<uint8_t>> frames;
    for (int kind = 0; kind <= dpwire::kData + 2; ++kind)
        for (int size : {0, 3, 4, 15, 16, 103, 105, 107, 109, 129, 131, 133, 135, 2000})
        {
            // Bodies of 4 and 16 bytes are whole frames of some kinds; they go only with a
            // wrong length.
            bool exact = size == 4 || size == 16;
            std::vector<uint8_t> body(static_cast<size_t>(size));
            for (uint8_t& b : body)
                b = static_cast<uint8_t>(gen());
            if (!exact)
                frames.push_back(Frame(static_cast<dpwire::Kind>(kind), body));
            frames.push_back(Frame(static_cast<dpwire::Kind>(kind), body, 1));
            frames.push_back(Frame(static_cast<dpwire::Kind>(kind), body, -1));
            frames.push_back(Frame(static_cast<dpwire::Kind>(kind), body, 0x7FFFFFFF));
        }
    // Data whose size field lies, or is huge.
    for (uint32_t claimed : {0u, 5u, 100u, DP_MAX_MESSAGE_SIZE + 1, 0xFFFFFFFFu, 0xFFFFFFF0u})
        frames.push_back(Frame(dpwire::kData, Words({0x10001, 0, 1, claimed}, 4)));
    // A join-accept claiming more players than it carries, or a huge count.
    for (uint32_t count : {1u, 17u, 0xFFFFFFFFu})
    {
        std::vector<uint8_t> body(dpwire::kSessionRecordSize, 'S');
        std::vector<uint8_t> c = Words({count});
        body.insert(body.end(), c.begin(), c.end());
        frames.push_back(Frame(dpwire::kJoinAccept, body));
    }
    // Truncated headers and random bytes.
    for (size_t n = 0; n < dpwire::kHeaderSize; ++n)
        frames.push_back(std::vector<uint8_t>(frames[0].begin(), frames[0].begin() + n));
    for (int i = 0; i < 200; ++i)
    {
        std::vector<uint8_t> junk(gen() % 1500);
        for (uint8_t& b : junk)
            b = static_cast<uint8_t>(gen());
        frames.push_back(junk);
    }
    return frames;
}

// The session record the rogue host below answers queries with.
const std::vector<uint8_t>* gRogueRecord = nullptr;

void SendRaw(ENetSocket s, uint16_t port, const std::vector<uint8_t>& bytes)
{
    ENetAddress to{};
    enet_address_set_host_ip(&to, "127.0.0.1");
    to.port = port;
    ENetBuffer buffer;
    buffer.data = const_cast<uint8_t*>(bytes.data());
    buffer.dataLength = bytes.size();
    enet_socket_send(s, &to, &buffer, 1);
}

TEST_F(DplayEnv, HostDropsHostileDatagramsAndServesOthers)
{
    IDirectPlay3A* host = Make(DPSPGUID_UDP);
    ASSERT_EQ(Host(host, "target", 8), DP_OK);
    DPID hostId = NewPlayer(host, "h", "h");
    std::mt19937 gen(1234);
    std::vector<std::vector<uint8_t>> frames = HostileFrames(gen);

    // Raw datagrams at the port, not part of any connection.
    // They go in small batches, so that the host's socket takes them all in.
    ENetSocket raw = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    for (size_t i = 0; i < frames.size(); ++i)
    {
        SendRaw(raw, port, frames[i]);
        if (i % 50 == 49)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Datagrams larger than any the transport takes in.
    for (size_t size : {5000u, 20000u, 60000u})
        SendRaw(raw, port, std::vector<uint8_t>(size, 0xAB));
    enet_socket_destroy(raw);

    // The same frames inside a connection, before and after joining, and a joined machine
    // speaking for a player it does not have.
    ENetHost* client = enet_host_create(nullptr, 1, 1, 0, 0);
    ASSERT_NE(client, nullptr);
    ENetAddress to{};
    enet_address_set_host_ip(&to, "127.0.0.1");
    to.port = port;
    ENetPeer* peer = enet_host_connect(client, &to, 1, 0);
    ENetEvent event{};
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (event.type != ENET_EVENT_TYPE_CONNECT && Clock::now() < deadline)
        enet_host_service(client, &event, 100);
    ASSERT_EQ(event.type, ENET_EVENT_TYPE_CONNECT);
    auto send = [&](const std::vector<uint8_t>& f)
    { enet_peer_send(peer, 0, enet_packet_create(f.data(), f.size(), ENET_PACKET_FLAG_RELIABLE)); };
    for (const auto& f : frames)
        send(f);
    enet_host_flush(client);
    EnumResult found = EnumOne(Make(DPSPGUID_UDP));
    ASSERT_EQ(found.sessions.size(), 1u) << "the host still answers";
    dpwire::Writer join(dpwire::kJoin);
    join.Guid(found.sessions[0].desc.guidInstance);
    send(join.Frame());
    for (const auto& f : frames)
        send(f);
    std::vector<uint8_t> spoof = Words({hostId, hostId, 1, 4}, 4);
    send(Frame(dpwire::kData, spoof));
    // Last, as the host refuses it whole and the sender never hears back: a frame beyond the
    // largest message.
    send(Frame(dpwire::kData,
               Words({hostId, hostId, 1, DP_MAX_MESSAGE_SIZE + 1}, DP_MAX_MESSAGE_SIZE + 1)));
    // Bounded servicing while the host takes all of it in.
    for (int i = 0; i < 100; ++i)
    {
        while (enet_host_service(client, &event, 10) > 0)
            if (event.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(event.packet);
    }

    // Nothing of it reached the host's player, and a real joiner still plays.
    IDirectPlay3A* joiner = Make(DPSPGUID_UDP);
    ASSERT_EQ(EnumOne(joiner).sessions.size(), 1u);
    ASSERT_EQ(Join(joiner, found.sessions[0].desc.guidInstance), DP_OK);
    DPID joinerId = NewPlayer(joiner, "j", "j");
    uint8_t hello[5] = {'h', 'e', 'l', 'l', 'o'};
    ASSERT_EQ(joiner->Send(joinerId, hostId, DPSEND_GUARANTEED, hello, 5), DP_OK);
    Msg m;
    ASSERT_TRUE(Next(host, hostId, &m));
    EXPECT_EQ(m.from, DPID_SYSMSG) << "the joiner's creation, nothing before it";
    EXPECT_EQ(DpReadU32(m.data.data(), m.data.size(), 0), DPSYS_CREATEPLAYERORGROUP);
    ASSERT_TRUE(Next(host, hostId, &m));
    EXPECT_EQ(m.from, joinerId);
    EXPECT_EQ(m.data, std::vector<uint8_t>(hello, hello + 5));
    EXPECT_EQ(Players(host).size(), 2u);
    enet_peer_reset(peer);
    enet_host_destroy(client);
}

// Connections that never join cannot hold the host's places: each is let go after a while,
// and a machine that joins still gets in.
TEST_F(DplayEnv, HostLetsIdleConnectionsGo)
{
    DpSetJoinWindowForTests(300);
    IDirectPlay3A* host = Make(DPSPGUID_UDP);
    ASSERT_EQ(Host(host, "idle", 8), DP_OK);
    NewPlayer(host, "h", "h");

    ENetAddress to{};
    enet_address_set_host_ip(&to, "127.0.0.1");
    to.port = port;
    struct Idle
    {
        ENetHost* client;
        bool connected = false;
        bool gone = false;
    };
    std::vector<Idle> idle;
    for (uint32_t i = 0; i < DP_MAX_PLAYERS; ++i)
    {
        ENetHost* client = enet_host_create(nullptr, 1, 1, 0, 0);
        ASSERT_NE(client, nullptr);
        ASSERT_NE(enet_host_connect(client, &to, 1, 0), nullptr);
        idle.push_back({client});
    }
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(15);
    auto allGone = [&]
    { return std::all_of(idle.begin(), idle.end(), [](const Idle& c) { return c.gone; }); };
    while (!allGone() && Clock::now() < deadline)
    {
        for (Idle& c : idle)
        {
            ENetEvent event;
            while (enet_host_service(c.client, &event, 0) > 0)
            {
                if (event.type == ENET_EVENT_TYPE_CONNECT)
                    c.connected = true;
                else if (event.type == ENET_EVENT_TYPE_DISCONNECT)
                    c.gone = true;
                else if (event.type == ENET_EVENT_TYPE_RECEIVE)
                    enet_packet_destroy(event.packet);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (const Idle& c : idle)
    {
        EXPECT_TRUE(c.connected);
        EXPECT_TRUE(c.gone);
        enet_host_destroy(c.client);
    }

    DpResetTestHooks();
    IDirectPlay3A* joiner = Make(DPSPGUID_UDP);
    EnumResult found = EnumOne(joiner);
    ASSERT_EQ(found.sessions.size(), 1u);
    ASSERT_EQ(Join(joiner, found.sessions[0].desc.guidInstance), DP_OK);
    EXPECT_NE(NewPlayer(joiner, "j", "j"), 0u);
}

// Connection requests that never complete, from many sockets of one address, sent again and
// again: a genuine joiner from the same address still gets in while they go on.
TEST_F(DplayEnv, HalfOpenConnectionsDoNotLockOutAJoiner)
{
    IDirectPlay3A* host = Make(DPSPGUID_UDP);
    ASSERT_EQ(Host(host, "busy", 8), DP_OK);
    NewPlayer(host, "h", "h");

    // An ENet connection request, caught on a socket of our own.
    ENetSocket catcher = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    ENetAddress local{};
    enet_address_set_host_ip(&local, "127.0.0.1");
    ASSERT_EQ(enet_socket_bind(catcher, &local), 0);
    ENetAddress caught{};
    enet_socket_get_address(catcher, &caught);
    enet_address_set_host_ip(&caught, "127.0.0.1");
    ENetHost* client = enet_host_create(nullptr, 1, 1, 0, 0);
    ASSERT_NE(client, nullptr);
    ASSERT_NE(enet_host_connect(client, &caught, 1, 0), nullptr);
    enet_host_flush(client);
    std::vector<uint8_t> request(1500);
    enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
    ASSERT_EQ(enet_socket_wait(catcher, &condition, 2000), 0);
    ENetBuffer buffer{request.data(), request.size()};
    ENetAddress from{};
    int got = enet_socket_receive(catcher, &from, &buffer, 1);
    ASSERT_GT(got, 0);
    request.resize(static_cast<size_t>(got));
    enet_host_destroy(client);
    enet_socket_destroy(catcher);

    // More sockets than the host has room for connections, each asking again every few ms.
    std::vector<ENetSocket> sockets;
    for (uint32_t i = 0; i < 5 * DP_MAX_PLAYERS; ++i)
    {
        ENetSocket s = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
        ASSERT_NE(s, ENET_SOCKET_NULL);
        ENetAddress any{ENET_HOST_ANY, 0};
        enet_socket_bind(s, &any);
        enet_socket_set_option(s, ENET_SOCKOPT_NONBLOCK, 1);
        sockets.push_back(s);
    }
    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0};
    std::thread flood(
        [&]
        {
            Clock::time_point deadline = Clock::now() + std::chrono::seconds(40);
            while (!stop && Clock::now() < deadline)
            {
                for (ENetSocket s : sockets)
                {
                    SendRaw(s, port, request);
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                ++rounds;
            }
        });
    struct StopFlood
    {
        std::atomic<bool>& stop;
        std::thread& flood;
        std::vector<ENetSocket>& sockets;
        ~StopFlood()
        {
            stop = true;
            if (flood.joinable())
                flood.join();
            for (ENetSocket s : sockets)
                enet_socket_destroy(s);
        }
    } stopFlood{stop, flood, sockets};
    while (rounds < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    // Joins one after another while the requests go on, the session's places filling up.
    for (int i = 0; i < 3; ++i)
    {
        IDirectPlay3A* joiner = Make(DPSPGUID_UDP);
        EnumResult found = EnumOne(joiner);
        ASSERT_EQ(found.sessions.size(), 1u) << i;
        ASSERT_EQ(Join(joiner, found.sessions[0].desc.guidInstance), DP_OK) << i;
        EXPECT_NE(NewPlayer(joiner, "j", "j"), 0u);
    }
    EXPECT_GE(rounds.load(), 3) << "the requests went on throughout";
    EXPECT_EQ(Players(host).size(), 4u);
}

// A query draws a reply no larger than itself: shorter queries, which a forged source address
// would turn into more traffic, are not answered.
TEST_F(DplayEnv, QueriesDrawNoMoreThanTheySend)
{
    IDirectPlay3A* host = Make(DPSPGUID_UDP);
    ASSERT_EQ(Host(host, "small", 8), DP_OK);
    NewPlayer(host, "h", "h");

    ENetSocket s = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    ENetAddress any{ENET_HOST_ANY, 0};
    ASSERT_EQ(enet_socket_bind(s, &any), 0);
    std::map<uint32_t, size_t> sent; // nonce -> size of the query
    const size_t bodies[] = {0, 4, 20, 21, 100, 133, dpwire::kQuerySize, 135, 200, 512, 1400};
    uint32_t nonce = 0x51000;
    for (size_t body : bodies)
        for (const GUID& application : {GUID_NULL, kApp})
        {
            dpwire::Writer w(dpwire::kQuery);
            w.U32(++nonce);
            w.Guid(application);
            std::vector<uint8_t> frame = w.Frame();
            frame.resize(dpwire::kHeaderSize + body);
            for (int i = 0; i < 4; ++i)
                frame[dpwire::kHeaderBodyLength + i] = static_cast<uint8_t>(body >> (8 * i));
            sent[nonce] = frame.size();
            SendRaw(s, port, frame);
        }

    std::vector<std::pair<uint32_t, size_t>> replies;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < deadline)
    {
        enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
        if (enet_socket_wait(s, &condition, 50) != 0 || !(condition & ENET_SOCKET_WAIT_RECEIVE))
            continue;
        uint8_t bytes[2048];
        ENetBuffer buffer{bytes, sizeof bytes};
        ENetAddress from{};
        int got = enet_socket_receive(s, &from, &buffer, 1);
        if (got < static_cast<int>(dpwire::kHeaderSize + 4))
            continue;
        replies.push_back({DpReadU32(bytes, static_cast<size_t>(got), dpwire::kHeaderSize),
                           static_cast<size_t>(got)});
    }
    enet_socket_destroy(s);
    ASSERT_EQ(replies.size(), 2u) << "the queries of the full size, one per application asked";
    for (auto [replyNonce, size] : replies)
    {
        ASSERT_EQ(sent.count(replyNonce), 1u);
        EXPECT_LE(size, sent[replyNonce]);
    }
    // Our own look for sessions still finds it.
    EXPECT_EQ(EnumOne(Make(DPSPGUID_UDP)).sessions.size(), 1u);
}

TEST_F(DplayEnv, JoinerDropsHostileDatagramsFromItsHost)
{
    // A host of our own making: it answers queries with junk and one true reply, accepts the
    // join, then sends every malformed frame before one true message.
    ENetAddress at{ENET_HOST_ANY, port};
    ENetHost* rogue = enet_host_create(&at, 4, 1, 0, 0);
    ASSERT_NE(rogue, nullptr);
    const GUID instance = {0xABCD, 1, 2, {3}};
    DPSESSIONDESC2 desc = Desc();
    desc.guidInstance = instance;
    desc.dwMaxPlayers = 8;
    dpwire::Writer record(dpwire::kSessionDesc);
    dpwire::PutDesc(record, desc);
    record.Name("rogue");
    std::vector<uint8_t> sessionRecord = record.Frame();
    sessionRecord.erase(sessionRecord.begin(), sessionRecord.begin() + dpwire::kHeaderSize);

    gRogueRecord = &sessionRecord;
    std::mt19937 gen(99);
    std::vector<std::vector<uint8_t>> frames = HostileFrames(gen);
    std::atomic<bool> stop{false};
    std::thread server(
        [&]
        {
            rogue->intercept = [](ENetHost* h, ENetEvent*) -> int
            {
                dpwire::Kind kind;
                dpwire::Reader body;
                if (!dpwire::OpenFrame(h->receivedData, h->receivedDataLength, &kind, &body) ||
                    kind != dpwire::kQuery)
                    return 0;
                uint32_t nonce = body.U32();
                std::mt19937 junkGen(nonce);
                std::vector<std::vector<uint8_t>> replies = HostileFrames(junkGen);
                const std::vector<uint8_t>* record = gRogueRecord;
                dpwire::Writer reply(dpwire::kQueryReply);
                reply.U32(nonce);
                reply.Bytes(record->data(), record->size());
                // The true reply first, so that the junk cannot crowd it out of the socket.
                replies.insert(replies.begin(), reply.Frame());
                dpwire::Writer wrongNonce(dpwire::kQueryReply);
                wrongNonce.U32(nonce + 1);
                wrongNonce.Bytes(record->data(), record->size());
                replies.push_back(wrongNonce.Frame());
                for (const auto& r : replies)
                {
                    ENetBuffer b{const_cast<uint8_t*>(r.data()), r.size()};
                    enet_socket_send(h->socket, &h->receivedAddress, &b, 1);
                }
                return 1;
            };
            Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
            ENetEvent event;
            while (!stop && Clock::now() < deadline)
            {
                if (enet_host_service(rogue, &event, 10) <= 0)
                    continue;
                if (event.type != ENET_EVENT_TYPE_RECEIVE)
                    continue;
                std::vector<uint8_t> got(event.packet->data,
                                         event.packet->data + event.packet->dataLength);
                enet_packet_destroy(event.packet);
                dpwire::Kind kind;
                dpwire::Reader body;
                bool ours = dpwire::OpenFrame(got.data(), got.size(), &kind, &body);
                ENetPeer* from = event.peer;
                auto send = [&](const std::vector<uint8_t>& f) {
                    enet_peer_send(
                        from, 0, enet_packet_create(f.data(), f.size(), ENET_PACKET_FLAG_RELIABLE));
                };
                if (ours && kind == dpwire::kJoin)
                {
                    for (const auto& f : frames)
                        send(f);
                    dpwire::Writer accept(dpwire::kJoinAccept);
                    accept.Bytes(sessionRecord.data(), sessionRecord.size());
                    accept.U32(0);
                    send(accept.Frame());
                }
                else if (ours && kind == dpwire::kCreatePlayer)
                {
                    uint32_t request = body.U32();
                    for (const auto& f : frames)
                        send(f);
                    dpwire::Writer created(dpwire::kPlayerCreated);
                    created.U32(request);
                    created.U32(DP_OK);
                    created.U32(0x10001);
                    created.U32(0);
                    created.Name("j");
                    created.Name("j");
                    send(created.Frame());
                    // Answers nobody waits for: the same request again, and requests never
                    // made. None of them may add a player here.
                    for (uint32_t i = 0; i < 40; ++i)
                    {
                        dpwire::Writer extra(dpwire::kPlayerCreated);
                        extra.U32(request + i);
                        extra.U32(DP_OK);
                        extra.U32(0x30000 + i);
                        extra.U32(0);
                        extra.Name("x");
                        extra.Name("x");
                        send(extra.Frame());
                    }
                    for (const auto& f : frames)
                        send(f);
                    send(Frame(dpwire::kData, Words({0x20002, 0x10001, 1, 3}, 3)));
                }
            }
        });

    // However the test ends, the server stops first.
    struct StopServer
    {
        std::atomic<bool>& stop;
        std::thread& server;
        ~StopServer()
        {
            stop = true;
            if (server.joinable())
                server.join();
        }
    } stopServer{stop, server};

    IDirectPlay3A* joiner = Make(DPSPGUID_UDP);
    EnumResult found = EnumOne(joiner);
    ASSERT_EQ(found.sessions.size(), 1u) << "only the true reply counts";
    EXPECT_EQ(found.sessions[0].name, "rogue");
    ASSERT_EQ(Join(joiner, instance), DP_OK);
    DPID id = NewPlayer(joiner, "j", "j");
    EXPECT_EQ(id, 0x10001u);
    Msg m;
    ASSERT_TRUE(Next(joiner, id, &m));
    EXPECT_EQ(m.from, 0x20002u);
    EXPECT_EQ(m.data, std::vector<uint8_t>(3, 'X'));
    std::vector<PlayerSeen> players = Players(joiner);
    ASSERT_EQ(players.size(), 1u) << "only the player asked for";
    EXPECT_EQ(players[0].id, id);
    DPID from = 0;
    DPID to = id;
    DWORD size = 0;
    EXPECT_EQ(joiner->Receive(&from, &to, DPRECEIVE_TOPLAYER, nullptr, &size), DPERR_NOMESSAGES);
    stop = true;
    server.join();
    joiner->Close();
    enet_host_destroy(rogue);
}

} // namespace
