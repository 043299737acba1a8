// The engine's network module over the loopback provider, with a transport object of the
// test's own as the other machine, and the transport's fault hook for the failure texts.

#include "engine/pc/network/dk_play.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "platform/dplay/dplay_internal.h"
#include "tests/support/engine_test.h"
#include "tests/support/loopback.h"

namespace
{

using Clock = std::chrono::steady_clock;

const GUID kApp = {0x2D892000, 0x0C3F, 0x11D2, {0xB1, 0x4B, 0x00, 0x60, 0x08, 0x4E, 0x01, 0xE9}};

class PlayTest : public LoggedTest
{
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        DpResetTestHooks();
        CaptureOutput(
            []
            {
                CloseLink();
                DkCallAllDestructors();
            });
        LogSince();
    }
    void TearDown() override
    {
        if (other != nullptr)
            other->Release();
        CaptureOutput(
            []
            {
                CloseLink();
                DkCallAllDestructors();
            });
        DpResetTestHooks();
        LoggedTest::TearDown();
    }

    // What the log gained since the last call.
    std::string LogSince()
    {
        std::string all = ReadWholeFile(env.DriveC() + "/error.txt");
        std::string gained = all.substr(mark < all.size() ? mark : all.size());
        mark = all.size();
        return gained;
    }

    // Initialised, providers listed, the loopback provider in use.
    void UseLoopback()
    {
        ASSERT_NO_FATAL_FAILURE(UseLoopbackProvider(kApp));
        LogSince();
    }

    // The other machine hosts a session with one player.
    void OtherHosts(const char* name)
    {
        LPDIRECTPLAY dp1 = nullptr;
        GUID loopback = DPSPGUID_LOOPBACK;
        ASSERT_EQ(DirectPlayCreate(&loopback, &dp1, nullptr), DP_OK);
        ASSERT_EQ(dp1->QueryInterface(IID_IDirectPlay3A, reinterpret_cast<void**>(&other)), DP_OK);
        dp1->Release();
        DPSESSIONDESC2 d{};
        d.dwSize = sizeof d;
        d.guidApplication = kApp;
        d.dwFlags = DPSESSION_MIGRATEHOST | DPSESSION_KEEPALIVE;
        d.dwMaxPlayers = 8;
        std::string n = name;
        d.lpszSessionNameA = n.data();
        ASSERT_EQ(other->Open(&d, DPOPEN_CREATE), DP_OK);
        std::string shortName = "h";
        std::string longName = "host";
        DPNAME pn{sizeof pn, 0, shortName.data(), longName.data()};
        ASSERT_EQ(other->CreatePlayer(&otherId, &pn, nullptr, nullptr, 0, 0), DP_OK);
    }

    // The next message for the engine's player, waiting a while.
    static bool ReceiveOne(void** data, DWORD* size, DPID* from)
    {
        Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < deadline)
        {
            *size = DK_DP_RECEIVE_BUFFER_SIZE;
            if (DkReceiveForPlayer(data, size, from))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    size_t mark = 0;
    IDirectPlay3A* other = nullptr;
    DPID otherId = 0;
};

TEST_F(PlayTest, BeforeAnythingCallsAreRefusedSafely)
{
    DkResetPlayForTests();
    EXPECT_EQ(DkGetNumServiceProviders(), -1);
    EXPECT_EQ(DkGetServiceProviderName(0), nullptr);
    EXPECT_EQ(UseLinkDevice(0), 0);
    EXPECT_EQ(LogSince(), "Can't use link device : Link Devices not found/number incorrect\r\n"
                          "found dev? 0 , dev number: 0\r\n");
    EXPECT_EQ(DkGetPlayerIndex(0), DK_DP_NO_PLAYER);
    EXPECT_EQ(DkGetPlayerId(DK_DP_NO_PLAYER), 0u);
    int index = 0;
    std::string out = CaptureOutput([&] { index = DkGetPlayerIndex(0x12345); });
    EXPECT_EQ(index, DK_DP_NO_PLAYER) << "an unknown id is no player";
    EXPECT_TRUE(Reported(out, "Could not find player no. from player ID")) << out;

    IDirectPlay3A* dp = nullptr;
    GUID loopback = DPSPGUID_LOOPBACK;
    out = CaptureOutput([&] { EXPECT_EQ(CreateDirectPlayInterface(&loopback, &dp), DP_OK); });
    EXPECT_TRUE(Reported(
        out, "InitDkPlay() should have been called before creating directplayinterfaces!"));
    ASSERT_NE(dp, nullptr);
    dp->Release();

    // Without an interface every call fails as on a dead object.
    LogSince();
    EXPECT_EQ(DkCreateSession("x", 8), 0);
    EXPECT_NE(LogSince().find("Invalid object"), std::string::npos);
    EXPECT_EQ(DkSendData("abcd", 4, 1, 0), 0);
    void* data = nullptr;
    DWORD size = 16;
    DPID from = 5;
    EXPECT_EQ(DkReceiveForPlayer(&data, &size, &from), 0);
    EXPECT_EQ(from, 0u);
    out = CaptureOutput([] { EXPECT_EQ(CloseSession(), 0); });
    EXPECT_TRUE(Reported(out, "CloseSession: Session not already running"));
    EXPECT_NE(LogSince().find("Couldn't close session\r\n"), std::string::npos);
}

TEST_F(PlayTest, ProvidersFillTheirTableAndKeepTheirTerminator)
{
    DkInitPlay();
    std::string longName(70, 'N');
    for (uint32_t i = 0; i < 11; ++i)
        DpAddProviderForTests(GUID{0x100 + i, 0, 0, {0}}, i == 0 ? longName.c_str() : "Extra");
    ASSERT_EQ(DkEnumServiceProviders(), DP_OK);
    EXPECT_EQ(DkGetNumServiceProviders(), DK_MAX_DP_PROVIDERS);
    EXPECT_STREQ(DkGetServiceProviderName(0), "UDP/IP Connection");
    EXPECT_STREQ(DkGetServiceProviderName(1), "Loopback Connection");
    EXPECT_EQ(DkGetServiceProviderName(2), std::string(49, 'N'));
    EXPECT_EQ(DkGetServiceProviderName(DK_MAX_DP_PROVIDERS), nullptr);
    EXPECT_EQ(DkGetServiceProviderName(-1), nullptr);
    EXPECT_EQ(0, std::memcmp(gaDpProviders[1].pGuid, &DPSPGUID_LOOPBACK, sizeof(GUID)));
    EXPECT_EQ(gaDpProviders[1].pGuid, &gaDpProviders[1].guid);
    std::string log = LogSince();
    EXPECT_NE(log.find(DkFormatString("Enuming GUID %d\r\nEnuming UDP/IP Connection (17)\r\n",
                                      static_cast<int>(DPSPGUID_UDP.Data1))),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Enuming " + longName + " (70)\r\n"), std::string::npos);
}

TEST_F(PlayTest, UsingALinkDeviceLogsItsCapabilities)
{
    DkInitPlay();
    ASSERT_EQ(DkEnumServiceProviders(), DP_OK);
    LogSince();
    ASSERT_EQ(UseLinkDevice(1), 1);
    EXPECT_EQ(LogSince(),
              std::string("Trying CreateDirectPlayInterface\r\n") +
                  DkFormatString("With GUID %d\r\n", static_cast<int>(DPSPGUID_LOOPBACK.Data1)) +
                  "Past trybool\r\n"
                  "Ok, tried to create that interface...\r\n"
                  "Trying to get a Direct Play 2 Interface\r\n"
                  "Ok, tried to get a Dplay2 interface...\r\n"
                  "Wahay! Got a DPlay2 Interface!\r\n"
                  "----------------------------------------\r\n"
                  "DPLAY2 INTERFACE:\r\n"
                  "\r\n"
                  "DPCaps.dwMaxBufferSize: 20480\r\n"
                  "DPCaps.dwMaxQueueSize: 0\r\n"
                  "DPCaps.dwMaxPlayers: 16\r\n"
                  "DPCaps.dwHundredBaud: 0\r\n"
                  "DPCaps.dwLatency: 0\r\n"
                  "DPCaps.dwMaxLocalPlayers: 16\r\n"
                  "DPCaps.dwHeaderLength: 28\r\n"
                  "DPCaps.dwTimeout: 0\r\n"
                  "Flags\r\n"
                  "\tDPCAPS_GROUPOPTIMIZED: 0\r\n"
                  "\tDPCAPS_GUARANTEEDOPTIMIZED: 32\r\n"
                  "\tDPCAPS_GUARANTEEDSUPPORTED: 64\r\n"
                  "\tDPCAPS_ISHOST: 0\r\n"
                  "\tDPCAPS_KEEPALIVEOPTIMIZED: 16\r\n");
    EXPECT_EQ(DkGetLinkMaxBufferSize(), DP_MAX_MESSAGE_SIZE);
    EXPECT_EQ(DkGetLinkLatency(), 0u);

    std::string out = CaptureOutput([] { EXPECT_EQ(UseLinkDevice(1), 1); });
    EXPECT_TRUE(Reported(out, "UseLinkDevice: already using a DPlay device!"));

    struct Case
    {
        DpCall call;
        int result;
        const char* lines;
    };
    const Case cases[] = {
        {DpCall::Create, 0,
         "Ok, tried to create that interface...\r\nFailed to get DirectPlay 1.0 Interface\r\n"
         "Can't use link device : CreateDirectPlayInterface failed\r\n"},
        {DpCall::QueryInterface, 0,
         "Ok, tried to get a Dplay2 interface...\r\nFailed to get DirectPlay 3A Interface\r\n"
         "Can't use link device : CreateDirectPlayInterface failed\r\n"},
        {DpCall::GetCaps, 1,
         "Wahay! Got a DPlay2 Interface!\r\nCould not retrieve capabilities\r\n"},
    };
    for (const Case& c : cases)
    {
        CaptureOutput([] { CloseLink(); });
        ASSERT_EQ(DkEnumServiceProviders(), DP_OK);
        LogSince();
        DpFailNextCallForTests(c.call, DPERR_GENERIC);
        EXPECT_EQ(UseLinkDevice(1), c.result);
        std::string log = LogSince();
        EXPECT_NE(log.find(c.lines), std::string::npos) << log;
        EXPECT_EQ(log.find("DPLAY2 INTERFACE:"), std::string::npos);
    }
}

TEST_F(PlayTest, AJoinerFindsJoinsTalksAndLosesTheSession)
{
    UseLoopback();
    OtherHosts("R00000000ANNE#");
    ASSERT_EQ(DkEnumSessions(), DP_OK);
    EXPECT_EQ(LogSince(), "EnumSessionsCallback called\r\n"
                          "EnumSessionsCallback called\r\n"
                          "EnumSessionsCallback: Timeout (0)\r\n"
                          "EnumSessionsCallback: flags (1)\r\n"
                          "Found sessions\r\n");
    ASSERT_EQ(DkGetNumSessions(), 1);
    EXPECT_STREQ(DkGetSessionName(0), "R00000000ANNE#");
    EXPECT_EQ(DkGetSessionName(1), nullptr);

    EXPECT_EQ(DkJoinSession(1), 0);
    EXPECT_EQ(LogSince(), "(fFoundCurrentSession) && (number<nCurrentSession) FALSE\r\n");
    ASSERT_EQ(DkJoinSession(0), 1);
    EXPECT_EQ(LogSince(), "*** JOINED SESSION ****\r\n"
                          "Tried to get session description\r\n"
                          "Session description:\r\n"
                          "dwMaxPlayers: 8\r\n"
                          "dwCurrentPlayers: 1\r\n");

    // The front end gives the name with the car type first, and four bytes as the second.
    DPID id = 0;
    ASSERT_EQ(DkCreatePlayer("\x04"
                             "BOB",
                             "abcd", &id, nullptr),
              1);
    EXPECT_EQ(LogSince(), "***CREATED PLAYER !****\r\n");
    ASSERT_EQ(DkGetNumPlayers(), 2);
    EXPECT_EQ(DkGetPlayerId(0), otherId);
    EXPECT_STREQ(DkGetPlayerShortName(1), "\x04"
                                          "BOB");
    EXPECT_STREQ(DkGetPlayerLongName(1), "abcd");
    EXPECT_EQ(DkGetPlayerIndex(id), 1);
    EXPECT_EQ(DkFindSessionHost(), otherId);

    // The game's settings message, guaranteed to the host.
    std::vector<uint8_t> settings(1444);
    for (size_t i = 0; i < settings.size(); ++i)
        settings[i] = static_cast<uint8_t>(i * 13);
    ASSERT_EQ(DkSendData(settings.data(), 1444, DPSEND_GUARANTEED, otherId), 1);
    std::vector<uint8_t> got(DK_DP_RECEIVE_BUFFER_SIZE);
    DPID from = 0;
    DPID to = otherId;
    DWORD size = 0;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    HRESULT hr;
    do
    {
        size = static_cast<DWORD>(got.size());
        hr = other->Receive(&from, &to, DPRECEIVE_TOPLAYER, got.data(), &size);
        if (hr == DP_OK && from == DPID_SYSMSG)
            hr = DPERR_NOMESSAGES; // our player's arrival
    } while (hr == DPERR_NOMESSAGES && Clock::now() < deadline);
    ASSERT_EQ(hr, DP_OK);
    EXPECT_EQ(from, id);
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + size), settings);

    // A chat line to all, received into the module's buffer.
    char chat[280] = "ANNE: HELLO";
    ASSERT_EQ(other->Send(otherId, DPID_ALLPLAYERS, DPSEND_GUARANTEED, chat, sizeof chat), DP_OK);
    void* data = nullptr;
    ASSERT_TRUE(ReceiveOne(&data, &size, &from));
    EXPECT_EQ(from, otherId);
    EXPECT_EQ(size, sizeof chat);
    EXPECT_STREQ(static_cast<const char*>(data), "ANNE: HELLO");

    // A capacity above the module's buffer is held to the buffer.
    std::vector<uint8_t> big(DP_MAX_MESSAGE_SIZE, 0x5A);
    ASSERT_EQ(other->Send(otherId, id, DPSEND_GUARANTEED, big.data(), DP_MAX_MESSAGE_SIZE), DP_OK);
    deadline = Clock::now() + std::chrono::seconds(5);
    int ok = 0;
    DPID anyTo = 0;
    while (!ok && Clock::now() < deadline)
    {
        size = 1000000;
        ok = DkReceiveAny(&data, &size, &anyTo, &from);
    }
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(size, DP_MAX_MESSAGE_SIZE);
    EXPECT_EQ(anyTo, id);

    // The host closes the session: the change reaches the stored description, whose name
    // stays its own.
    DPSESSIONDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = 0x64;
    d.dwMaxPlayers = 8;
    std::string renamed = "T00000000ANNE#";
    d.lpszSessionNameA = renamed.data();
    ASSERT_EQ(other->SetSessionDesc(&d, 0), DP_OK);
    ASSERT_TRUE(ReceiveOne(&data, &size, &from));
    EXPECT_EQ(from, DPID_SYSMSG);
    EXPECT_EQ(DpReadU32(data, size, 0), DPSYS_SETSESSIONDESC);
    char* storedName = DkGetStoredSessionDesc()->lpszSessionNameA;
    DkHandleSystemMessage(data, size);
    EXPECT_EQ(DkGetStoredSessionDesc()->dwFlags, 0x64u);
    EXPECT_EQ(DkGetStoredSessionDesc()->dwMaxPlayers, 8u);
    EXPECT_EQ(DkGetStoredSessionDesc()->lpszSessionNameA, storedName);
    // Too short to hold a description, or another type: nothing changes.
    uint8_t shortChange[8] = {0x04, 0x01, 0, 0, 0x20, 0, 0, 0};
    DkHandleSystemMessage(shortChange, sizeof shortChange);
    DkHandleSystemMessage(nullptr, 0);
    EXPECT_EQ(DkGetStoredSessionDesc()->dwFlags, 0x64u);

    other->Close();
    ASSERT_TRUE(ReceiveOne(&data, &size, &from));
    EXPECT_EQ(from, DPID_SYSMSG);
    EXPECT_EQ(DpReadU32(data, size, 0), DPSYS_SESSIONLOST);

    LogSince();
    EXPECT_TRUE(CloseLink());
    EXPECT_EQ(LogSince(), "Closing direct play link device\r\n");
    EXPECT_EQ(DkGetNumSessions(), -1);
    EXPECT_EQ(DkGetSessionName(0), nullptr);
    EXPECT_EQ(DkGetNumPlayers(), -1);
}

// Whether a looker-on finds the engine's session, and its flags.
struct Sighting
{
    int count = 0;
    DWORD flags = 0;
    std::string name;
};
BOOL Sight(LPCDPSESSIONDESC2 sd, LPDWORD, DWORD flags, LPVOID context)
{
    if (flags & DPESC_TIMEDOUT)
        return FALSE;
    Sighting* s = static_cast<Sighting*>(context);
    ++s->count;
    s->flags = sd->dwFlags;
    s->name = sd->lpszSessionNameA;
    return TRUE;
}

TEST_F(PlayTest, AHostOpensAndClosesItsSession)
{
    UseLoopback();
    DpFailNextCallForTests(DpCall::GetSessionDesc, DPERR_GENERIC);
    ASSERT_EQ(DkCreateSession("R00000000ANNE#", 8), 1);
    EXPECT_EQ(LogSince(), "Created session\r\nCould not get session description\r\n");
    CaptureOutput([] { CloseSession(); });
    ASSERT_EQ(DkCreateSession("R00000000ANNE#", 8), 1);
    EXPECT_EQ(LogSince(), "*** Closed session!****\r\n"
                          "Created session\r\n"
                          "Tried to get session description\r\n"
                          "Session description:\r\n"
                          "dwMaxPlayers: 8\r\n"
                          "dwCurrentPlayers: 0\r\n");
    EXPECT_EQ(DkGetStoredSessionDesc()->dwFlags, 0x44u);
    DPID id = 0;
    ASSERT_EQ(DkCreatePlayer("\x68"
                             "ANNE",
                             "abcd", &id, nullptr),
              1);
    EXPECT_EQ(DkFindSessionHost(), id);

    LPDIRECTPLAY dp1 = nullptr;
    GUID loopback = DPSPGUID_LOOPBACK;
    ASSERT_EQ(DirectPlayCreate(&loopback, &dp1, nullptr), DP_OK);
    ASSERT_EQ(dp1->QueryInterface(IID_IDirectPlay3A, reinterpret_cast<void**>(&other)), DP_OK);
    dp1->Release();
    auto look = [&]
    {
        Sighting s;
        DPSESSIONDESC2 d{};
        d.dwSize = sizeof d;
        d.guidApplication = kApp;
        EXPECT_EQ(other->EnumSessions(&d, 0, Sight, &s, DPENUMSESSIONS_AVAILABLE), DP_OK);
        return s;
    };
    ASSERT_EQ(DkSetSessionDesc(nullptr, 8, 0x64), 1);
    EXPECT_EQ(look().count, 0) << "closed to joiners";
    ASSERT_EQ(AllowOthersToJoinSession(TRUE), 1);
    EXPECT_EQ(DkGetStoredSessionDesc()->dwFlags, 0x44u);
    Sighting s = look();
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.flags, 0x44u);
    EXPECT_EQ(s.name, "R00000000ANNE#");
    ASSERT_EQ(DkSetSessionDesc("T00000000ANNE#", 8, 0x44), 1);
    EXPECT_EQ(look().name, "T00000000ANNE#");
    ASSERT_EQ(AllowOthersToJoinSession(FALSE), 1);
    EXPECT_EQ(look().count, 0);

    LogSince();
    ASSERT_EQ(DkDestroyPlayer(id), 1);
    EXPECT_EQ(LogSince(), "***DESTROYED PLAYER !****\r\n");
    EXPECT_EQ(DkGetNumPlayers(), 0);
    EXPECT_EQ(DkDestroyPlayer(id), 0);
    EXPECT_EQ(LogSince(), "Couldn't destroy player\r\n");
    std::string out = CaptureOutput([] { EXPECT_EQ(DkFindSessionHost(), 0u); });
    EXPECT_TRUE(Reported(out, "COULD NOT FIND A HOST FOR DK_PLAY SESSION!"));
}

TEST_F(PlayTest, EveryFailedCallLogsItsReason)
{
    UseLoopback();
    OtherHosts("R00000000ANNE#");
    ASSERT_EQ(DkEnumSessions(), DP_OK);
    ASSERT_EQ(DkGetNumSessions(), 1);

    const HRESULT kOther = DPERR_TIMEOUT;
    struct Row
    {
        HRESULT hr;
        const char* create;
        const char* join;
        const char* enumerate;
        const char* setDesc;
        const char* createPlayer;
        const char* send;
    };
    const Row rows[] = {
        {(HRESULT)0x80004001, "DPERR_UNSUPPORTED", "DPERR_UNSUPPORTED", 0, 0, 0, 0},
        {(HRESULT)0x80004005, "Generic excuse", "DPERR_GENERIC", 0, 0, "DPERR_GENERIC", 0},
        {(HRESULT)0x80070057, "Invalid params", "DPERR_INVALIDPARAMS", "DPERR_INVALIDPARAMS",
         "DPERR_INVALIDPARAMS", "DPERR_INVALIDPARAMS", "DPERR_INVALIDPARAMS"},
        {(HRESULT)0x88770005, "Already initialised", "DPERR_ALREADYINITIALIZED", 0, 0, 0, 0},
        {(HRESULT)0x8877000A, 0, 0, 0, "DPERR_ACCESSDENIED", 0, 0},
        {(HRESULT)0x88770014, "Active players", "DPERR_ACTIVEPLAYERS", 0, 0, 0, 0},
        {(HRESULT)0x88770028, 0, 0, 0, 0, "DPERR_CANTADDPLAYER", 0},
        {(HRESULT)0x8877003C, 0, 0, 0, 0, "DPERR_CANTCREATEPLAYER", 0},
        {(HRESULT)0x8877005A, 0, 0, "DPERR_EXCEPTION", 0, 0, 0},
        {(HRESULT)0x88770078, "Invalid flags", "DPERR_INVALIDFLAGS", 0, 0, 0, 0},
        {(HRESULT)0x88770082, "Invalid object", "DPERR_INVALIDOBJECT", "DPERR_INVALIDOBJECT", 0,
         "DPERR_INVALIDOBJECT", 0},
        {(HRESULT)0x88770096, 0, 0, 0, 0, 0, "DPERR_INVALIDPLAYER"},
        {(HRESULT)0x887700AA, 0, 0, 0, 0, "DPERR_NOCONNECTION", 0},
        {(HRESULT)0x887700DC, 0, 0, 0, "DPERR_NOSESSIONS", 0, 0},
        {(HRESULT)0x887700E6, 0, 0, 0, 0, 0, "DPERR_SENDTOOBIG"},
        {(HRESULT)0x887700FA, "DPERR_UNAVAILABLE", "DPERR_UNAVAILABLE", 0, 0, 0, 0},
        {(HRESULT)0x8877010E, 0, 0, 0, 0, 0, "DPERR_BUSY"},
        {(HRESULT)0x88770118, "DPERR_USERCANCEL", "DPERR_USERCANCEL", 0, 0, 0, 0},
        {(HRESULT)0x88770816, 0, 0, 0, 0, 0, "DPERR_NOTLOGGEDIN"},
        {kOther, 0, 0, 0, 0, 0, 0},
    };
    const char* const others[] = {
        "Er, no good excuse given!", "Bad error!",         "Bad error!",
        "DPERR - unknown error!",    "Bad error message!", "Unknown error!"};
    for (const Row& row : rows)
    {
        SCOPED_TRACE(testing::Message() << std::hex << static_cast<uint32_t>(row.hr));
        const char* texts[] = {row.create,  row.join,         row.enumerate,
                               row.setDesc, row.createPlayer, row.send};
        auto reason = [&](int column)
        { return std::string(texts[column] != nullptr ? texts[column] : others[column]) + "\r\n"; };
        std::string number =
            DkFormatString("Error number %u - \r\n", static_cast<unsigned>(row.hr));
        ASSERT_EQ(DkEnumSessions(), DP_OK); // a failed enumeration below forgets them
        ASSERT_EQ(DkGetNumSessions(), 1);
        LogSince();

        DpFailNextCallForTests(DpCall::Open, row.hr);
        EXPECT_EQ(DkCreateSession("R", 8), 0);
        EXPECT_EQ(LogSince(), "Failed to create session - reason:\r\n" + number + reason(0));

        DpFailNextCallForTests(DpCall::Open, row.hr);
        EXPECT_EQ(DkJoinSession(0), 0);
        EXPECT_EQ(LogSince(), "Couldn't join session because of:\r\n" + number + reason(1));

        DpFailNextCallForTests(DpCall::EnumSessions, row.hr);
        DkEnumSessions();
        EXPECT_EQ(LogSince(), "Couldn't find sessions because of -\r\n" + number + reason(2));

        for (int call = 0; call < 2; ++call)
        {
            DpFailNextCallForTests(DpCall::SetSessionDesc, row.hr);
            int result = 1;
            std::string out = CaptureOutput(
                [&]
                {
                    result = call == 0 ? AllowOthersToJoinSession(TRUE)
                                       : DkSetSessionDesc("R", 8, DPSESSION_KEEPALIVE);
                });
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(Reported(out, "AllowOthersToJoinSession: FAILED"));
            EXPECT_EQ(LogSince().rfind(reason(3), 0), 0u) << "the reason, then the report";
        }

        DpFailNextCallForTests(DpCall::CreatePlayer, row.hr);
        DPID id = 0;
        EXPECT_EQ(DkCreatePlayer("A", "B", &id, nullptr), 0);
        EXPECT_EQ(LogSince(),
                  std::string("Couldn't create player beacuse of:\r\n") +
                      DkFormatString("Error number %d - \r\n", static_cast<int>(row.hr)) +
                      reason(4));

        DpFailNextCallForTests(DpCall::Send, row.hr);
        EXPECT_EQ(DkSendData("abcd", 4, DPSEND_GUARANTEED, 0), 0);
        EXPECT_EQ(LogSince(), "Couldn't send data because of\r\n" + reason(5));
    }
    DkEnumSessions();
    EXPECT_EQ(DkGetNumSessions(), 1) << "the sessions are found again once calls succeed";
}

} // namespace
