// The DirectPlay object: providers, sessions, players and the message queue, over the links of
// dplay_link.cpp. The host keeps the session (its description and players) and relays every
// message between machines; a joiner keeps a copy that the host's frames update.

#include "platform/dplay/dplay.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/dplay/dplay_internal.h"
#include "platform/dplay/dplay_wire.h"

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IDirectPlay = {
    0x5454E9A0, 0xDB65, 0x11CE, {0x92, 0x1C, 0x00, 0xAA, 0x00, 0x6C, 0x49, 0x72}};
const IID IID_IDirectPlay3A = {
    0x133EFE41, 0x32DC, 0x11D0, {0x9C, 0xFB, 0x00, 0xA0, 0xC9, 0x0A, 0x43, 0xCB}};
const GUID DPSPGUID_UDP = {0xDE20D901, 0x5A1C, 0x4E0B, {'D', 'E', 'Z', 'O', 'R', 'U', 'D', 'P'}};
const GUID DPSPGUID_LOOPBACK = {
    0xDE20D902, 0x5A1C, 0x4E0B, {'D', 'E', 'Z', 'O', 'R', 'L', 'O', 'O'}};

namespace
{

using Clock = std::chrono::steady_clock;

constexpr int kConnectMs = 3000;
constexpr int kReplyMs = 5000;
// A machine that connects to a host but does not join within this time is let go, so that
// idle connections cannot hold the host's places.
constexpr int kJoinWindowMs = kReplyMs;
constexpr DWORD kUdpEnumTimeoutMs = 500;
constexpr DPID kFirstPlayerId = 0x00010001u;

struct Provider
{
    GUID guid;
    std::string name;
    DpProvider kind;
};

std::mutex gHookMutex;
std::map<DpCall, HRESULT> gFailNext;
std::vector<Provider> gTestProviders;
std::atomic<int> gJoinWindowMs{kJoinWindowMs};

bool FailNext(DpCall call, HRESULT* hr)
{
    std::lock_guard<std::mutex> lock(gHookMutex);
    auto found = gFailNext.find(call);
    if (found == gFailNext.end())
        return false;
    *hr = found->second;
    gFailNext.erase(found);
    return true;
}

std::vector<Provider> Providers()
{
    std::vector<Provider> list = {
        {DPSPGUID_UDP, "UDP/IP Connection", DpProvider::Udp},
        {DPSPGUID_LOOPBACK, "Loopback Connection", DpProvider::Loopback},
    };
    std::lock_guard<std::mutex> lock(gHookMutex);
    list.insert(list.end(), gTestProviders.begin(), gTestProviders.end());
    return list;
}

std::string Cut(const char* text)
{
    if (text == nullptr)
        return std::string();
    return std::string(text, strnlen(text, DP_NAME_FIELD - 1));
}

void PutU32(BYTE* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>(v >> (8 * i));
}

void PutGuid(BYTE* p, const GUID& g)
{
    PutU32(p, g.Data1);
    p[4] = static_cast<BYTE>(g.Data2);
    p[5] = static_cast<BYTE>(g.Data2 >> 8);
    p[6] = static_cast<BYTE>(g.Data3);
    p[7] = static_cast<BYTE>(g.Data3 >> 8);
    std::memcpy(p + 8, g.Data4, 8);
}

GUID NewInstanceGuid()
{
    static std::mutex m;
    static std::mt19937 gen{std::random_device{}()};
    std::lock_guard<std::mutex> lock(m);
    GUID g;
    g.Data1 = static_cast<uint32_t>(gen());
    g.Data2 = static_cast<uint16_t>(gen());
    g.Data3 = static_cast<uint16_t>(gen());
    for (uint8_t& b : g.Data4)
        b = static_cast<uint8_t>(gen());
    return g;
}

bool DescSizeOk(const DPSESSIONDESC2* d)
{
    return d != nullptr &&
           (d->dwSize == sizeof(DPSESSIONDESC2) || d->dwSize == DPSESSIONDESC2_SIZE_32);
}

struct Player
{
    DPID id;
    uint32_t machine; // the host's peer id of the player's machine, 0 for the host's own
    bool onHost;
    bool local;
    std::string shortName;
    std::string longName;
};

struct Message
{
    DPID from;
    DPID to;
    std::vector<uint8_t> data;
};

// What a sender (or the whole queue) holds.
struct QueueLoad
{
    size_t messages = 0;
    size_t bytes = 0;
};

// Whether one more message of this size stays within a bound of messages and bytes.
bool Fits(const QueueLoad& load, size_t size, size_t messages, size_t bytes)
{
    return load.messages < messages && size <= bytes && load.bytes <= bytes - size;
}

// How a message is to be kept when the queue is full.
enum class Keep
{
    Plain,      // dropped at the soft bounds
    Guaranteed, // kept up to the hard bounds
    Always,     // system messages: the player list must stay true
};

struct Session
{
    DWORD flags = 0;
    GUID instance{};
    GUID application{};
    DWORD maxPlayers = 0;
    std::string name;
    DWORD reserved[2] = {};
    DWORD user[4] = {};
};

// The session record (description, then name) of a found or joined session.
bool ReadSessionRecord(dpwire::Reader& r, Session* s, DWORD* pCurrent)
{
    DPSESSIONDESC2 d{};
    const uint8_t* desc = r.Bytes(dpwire::kDescSize);
    std::string name = r.Name();
    if (!r.Ok() || !DpReadSessionDesc(desc, dpwire::kDescSize, &d))
        return false;
    s->flags = d.dwFlags;
    s->instance = d.guidInstance;
    s->application = d.guidApplication;
    s->maxPlayers = d.dwMaxPlayers;
    s->name = name;
    s->reserved[0] = d.dwReserved1;
    s->reserved[1] = d.dwReserved2;
    s->user[0] = d.dwUser1;
    s->user[1] = d.dwUser2;
    s->user[2] = d.dwUser3;
    s->user[3] = d.dwUser4;
    if (pCurrent != nullptr)
        *pCurrent = d.dwCurrentPlayers;
    return true;
}

DPSESSIONDESC2 DescOf(const Session& s, DWORD current)
{
    DPSESSIONDESC2 d{};
    d.dwSize = sizeof(DPSESSIONDESC2);
    d.dwFlags = s.flags;
    d.guidInstance = s.instance;
    d.guidApplication = s.application;
    d.dwMaxPlayers = s.maxPlayers;
    d.dwCurrentPlayers = current;
    d.dwReserved1 = s.reserved[0];
    d.dwReserved2 = s.reserved[1];
    d.dwUser1 = s.user[0];
    d.dwUser2 = s.user[1];
    d.dwUser3 = s.user[2];
    d.dwUser4 = s.user[3];
    return d;
}

struct FoundSession
{
    Session session;
    DWORD current;
    DpSessionAddress address;
};

class DirectPlay final : public IDirectPlay3A
{
public:
    explicit DirectPlay(DpProvider provider) : provider_(provider) {}
    ~DirectPlay() override { Leave(); }

    HRESULT QueryInterface(REFIID riid, void** ppvObj) override
    {
        if (ppvObj == nullptr)
            return DPERR_INVALIDPARAMS;
        *ppvObj = nullptr;
        HRESULT hr;
        if (FailNext(DpCall::QueryInterface, &hr))
            return hr;
        if (!IsEqualGUID(riid, IID_IDirectPlay) && !IsEqualGUID(riid, IID_IDirectPlay3A))
            return DPERR_NOINTERFACE;
        AddRef();
        *ppvObj = static_cast<IDirectPlay3A*>(this);
        return DP_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override
    {
        ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT InitializeConnection(LPVOID lpConnection, DWORD dwFlags) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_);
        if (provider_ != DpProvider::None)
            return DPERR_ALREADYINITIALIZED;
        if (lpConnection == nullptr || dwFlags != 0)
            return DPERR_INVALIDPARAMS;
        const GUID& guid = *static_cast<const GUID*>(lpConnection);
        for (const Provider& p : Providers())
            if (IsEqualGUID(p.guid, guid))
            {
                provider_ = p.kind;
                return DP_OK;
            }
        return DPERR_UNAVAILABLE;
    }

    HRESULT GetCaps(DPCAPS* caps, DWORD) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_);
        HRESULT hr;
        if (FailNext(DpCall::GetCaps, &hr))
            return hr;
        if (provider_ == DpProvider::None)
            return DPERR_UNINITIALIZED;
        if (caps == nullptr || caps->dwSize != sizeof(DPCAPS))
            return DPERR_INVALIDPARAMS;
        FillCaps(caps, role_ == Role::Host);
        return DP_OK;
    }

    HRESULT EnumSessions(LPDPSESSIONDESC2 lpsd, DWORD dwTimeout, LPDPENUMSESSIONSCALLBACK2 callback,
                         LPVOID context, DWORD dwFlags) override
    {
        // The object is locked only to read and record what it knows: the look-out and the
        // callback run unlocked, so that the service thread goes on and the callback may call
        // this object.
        DpProvider provider;
        DWORD defaultTimeout;
        {
            std::lock_guard<std::recursive_mutex> lock(m_);
            HRESULT hr;
            if (FailNext(DpCall::EnumSessions, &hr))
                return hr;
            if (provider_ == DpProvider::None)
                return DPERR_UNINITIALIZED;
            if (!DescSizeOk(lpsd) || callback == nullptr)
                return DPERR_INVALIDPARAMS;
            if (dwFlags & ~(DPENUMSESSIONS_AVAILABLE | DPENUMSESSIONS_ALL))
                return DPERR_INVALIDFLAGS;
            provider = provider_;
            defaultTimeout = DefaultTimeout();
            found_.clear();
        }
        bool availableOnly = !(dwFlags & DPENUMSESSIONS_ALL);
        DWORD timeout = dwTimeout != 0 ? dwTimeout : defaultTimeout;
        for (;;)
        {
            std::vector<DpFoundSession> answers;
            HRESULT hr = DpQuerySessions(provider, lpsd->guidApplication, static_cast<int>(timeout),
                                         answers);
            if (hr != DP_OK)
                return hr;
            std::vector<FoundSession> round;
            for (const DpFoundSession& answer : answers)
            {
                FoundSession f;
                f.address = answer.address;
                dpwire::Reader r(answer.record.data(), answer.record.size());
                if (!ReadSessionRecord(r, &f.session, &f.current))
                    continue;
                if (availableOnly && !Available(f.session, f.current))
                    continue;
                bool seen =
                    std::any_of(round.begin(), round.end(),
                                [&](const FoundSession& o)
                                { return IsEqualGUID(o.session.instance, f.session.instance); });
                if (!seen)
                    round.push_back(f);
            }
            {
                std::lock_guard<std::recursive_mutex> lock(m_);
                for (const FoundSession& f : round)
                    Remember(f);
            }
            for (const FoundSession& f : round)
            {
                DPSESSIONDESC2 d = DescOf(f.session, f.current);
                std::string name = f.session.name;
                d.lpszSessionNameA = name.data();
                if (!callback(&d, &timeout, 0, context))
                    return DP_OK;
            }
            if (!callback(nullptr, &timeout, DPESC_TIMEDOUT, context))
                return DP_OK;
            if (timeout == 0)
                timeout = defaultTimeout;
        }
    }

    HRESULT Open(LPDPSESSIONDESC2 lpsd, DWORD dwFlags) override
    {
        std::lock_guard<std::mutex> service(serviceMutex_);
        std::lock_guard<std::recursive_mutex> lock(m_);
        HRESULT hr;
        if (FailNext(DpCall::Open, &hr))
            return hr;
        if (provider_ == DpProvider::None)
            return DPERR_UNINITIALIZED;
        if (role_ != Role::None)
            return DPERR_ALREADYINITIALIZED;
        if (!DescSizeOk(lpsd))
            return DPERR_INVALIDPARAMS;
        if (dwFlags == DPOPEN_CREATE)
            hr = Create(*lpsd);
        else if (dwFlags == DPOPEN_JOIN)
            hr = Join(*lpsd);
        else
            return DPERR_INVALIDFLAGS;
        if (hr == DP_OK)
            StartService();
        return hr;
    }

    HRESULT Close() override
    {
        HRESULT hr;
        if (FailNext(DpCall::Close, &hr))
            return hr;
        Leave();
        return DP_OK;
    }

    HRESULT GetSessionDesc(LPVOID lpData, LPDWORD lpdwDataSize) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_);
        HRESULT hr;
        if (FailNext(DpCall::GetSessionDesc, &hr))
            return hr;
        Pump();
        if (lpdwDataSize == nullptr)
            return DPERR_INVALIDPARAMS;
        if (role_ == Role::None || lost_)
            return DPERR_NOCONNECTION;
        DWORD need = static_cast<DWORD>(sizeof(DPSESSIONDESC2) + session_.name.size() + 1);
        if (lpData == nullptr || *lpdwDataSize < need)
        {
            *lpdwDataSize = need;
            return DPERR_BUFFERTOOSMALL;
        }
        *lpdwDataSize = need;
        DPSESSIONDESC2 d = DescOf(session_, CountPlayers());
        char* name = static_cast<char*>(lpData) + sizeof(DPSESSIONDESC2);
        std::memcpy(name, session_.name.c_str(), session_.name.size() + 1);
        d.lpszSessionNameA = name;
        std::memcpy(lpData, &d, sizeof d);
        return DP_OK;
    }

    HRESULT SetSessionDesc(LPDPSESSIONDESC2 lpsd, DWORD dwFlags) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_);
        HRESULT hr;
        if (FailNext(DpCall::SetSessionDesc, &hr))
            return hr;
        Pump();
        if (!DescSizeOk(lpsd) || dwFlags != 0)
            return DPERR_INVALIDPARAMS;
        if (role_ == Role::None || lost_)
            return DPERR_NOSESSIONS;
        if (role_ != Role::Host)
            return DPERR_ACCESSDENIED;
        session_.flags = lpsd->dwFlags;
        session_.maxPlayers = lpsd->dwMaxPlayers;
        session_.name = Cut(lpsd->lpszSessionNameA);
        session_.reserved[0] = lpsd->dwReserved1;
        session_.reserved[1] = lpsd->dwReserved2;
        session_.user[0] = lpsd->dwUser1;
        session_.user[1] = lpsd->dwUser2;
        session_.user[2] = lpsd->dwUser3;
        session_.user[3] = lpsd->dwUser4;
        dpwire::Writer w(dpwire::kSessionDesc);
        PutRecord(w);
        SendToMachines(w.Frame(), 0);
        Publish();
        return DP_OK;
    }

    HRESULT CreatePlayer(LPDPID lpidPlayer, LPDPNAME lpPlayerName, HANDLE, LPVOID lpData,
                         DWORD dwDataSize, DWORD dwFlags) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_);
        HRESULT hr;
        if (FailNext(DpCall::CreatePlayer, &hr))
            return hr;
        Pump();
        if (lpidPlayer == nullptr || (lpData == nullptr && dwDataSize != 0) || dwFlags != 0 ||
            (lpPlayerName != nullptr && lpPlayerName->dwSize != sizeof(DPNAME) &&
             lpPlayerName->dwSize != DPNAME_SIZE_32))
            return DPERR_INVALIDPARAMS;
        if (role_ == Role::None || lost_)
            return DPERR_NOCONNECTION;
        std::string shortName = Cut(lpPlayerName ? lpPlayerName->lpszShortNameA : nullptr);
        std::string longName = Cut(lpPlayerName ? lpPlayerName->lpszLongNameA : nullptr);
        if (role_ == Role::Host)
        {
            if (!RoomForPlayer())
                return DPERR_CANTADDPLAYER;
            Player p{nextId_++, 0, true, true, shortName, longName};
            AddPlayer(p, /*notifyHere=*/false);
            *lpidPlayer = p.id;
            return DP_OK;
        }
        uint32_t request = nextRequest_++;
        if (nextRequest_ == 0)
            nextRequest_ = 1;
        dpwire::Writer w(dpwire::kCreatePlayer);
        w.U32(request);
        w.Name(shortName);
        w.Name(longName);
        link_->Send(hostPeer_, w.Frame(), true);
        replies_.erase(request);
        awaited_ = request;
        bool answered = AwaitReply([&] { return replies_.count(request) != 0 || lost_; });
        awaited_ = 0;
        if (!answered || lost_)
        {
            replies_.erase(request);
            return DPERR_NOCONNECTION;
        }
        Reply reply = replies_[request];
        replies_.erase(request);
        if (reply.result != DP_OK)
            return reply.result;
        *lpidPlayer = reply.player.id;
        return DP_OK;
    }

    HRESULT DestroyPlayer(DPID idPlayer) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_);
        HRESULT hr;
        if (FailNext(DpCall::DestroyPlayer, &hr))
            return hr;
        Pump();
        Player* p = Find(idPlayer);
        if (p == nullptr)
            return DPERR_INVALIDPLAYER;
        if (!p->local)
            return DPERR_ACCESSDENIED;
        if (role_ == Role::Host)
            RemovePlayer(idPlayer, /*exceptMachine=*/UINT32_MAX, /*notifyHere=*/false);
        else
        {
            if (!lost_)
            {
                dpwire::Writer w(dpwire::kDestroyPlayer);
                w.U32(idPlayer);
                link_->Send(hostPeer_, w.Frame(), true);
            }
            Erase(idPlayer);
        }
        return DP_OK;
    }

    HRESULT EnumPlayers(LPGUID lpguidInstance, LPDPENUMPLAYERSCALLBACK2 callback, LPVOID context,
                        DWORD dwFlags) override
    {
        // The callback runs unlocked: it may call this object, and may close it.
        std::vector<Player> players;
        {
            std::lock_guard<std::recursive_mutex> lock(m_);
            HRESULT hr;
            if (FailNext(DpCall::EnumPlayers, &hr))
                return hr;
            Pump();
            if (callback == nullptr || dwFlags != 0)
                return DPERR_INVALIDPARAMS;
            if (lpguidInstance != nullptr)
                return DPERR_UNSUPPORTED;
            if (role_ == Role::None)
                return DPERR_NOSESSIONS;
            players = players_;
        }
        for (Player& p : players)
        {
            DPNAME name{sizeof(DPNAME), 0, p.shortName.data(), p.longName.data()};
            if (!callback(p.id, DPPLAYERTYPE_PLAYER, &name, 0, context))
                break;
        }
        return DP_OK;
    }

    HRESULT GetPlayerCaps(DPID idPlayer, DPCAPS* caps, DWORD) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_);
        HRESULT hr;
        if (FailNext(DpCall::GetPlayerCaps, &hr))
            return hr;
        Pump();
        if (caps == nullptr || caps->dwSize != sizeof(DPCAPS))
            return DPERR_INVALIDPARAMS;
        Player* p = Find(idPlayer);
        if (p == nullptr)
            return DPERR_INVALIDPLAYER;
        FillCaps(caps, p->onHost);
        return DP_OK;
    }

    HRESULT Send(DPID idFrom, DPID idTo, DWORD dwFlags, LPVOID lpData, DWORD dwDataSize) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_);
        HRESULT hr;
        if (FailNext(DpCall::Send, &hr))
            return hr;
        Pump();
        if (lpData == nullptr && dwDataSize != 0)
            return DPERR_INVALIDPARAMS;
        if (dwFlags & ~(DPSEND_GUARANTEED | DPSEND_HIGHPRIORITY))
            return DPERR_INVALIDFLAGS;
        if (dwDataSize > DP_MAX_MESSAGE_SIZE)
            return DPERR_SENDTOOBIG;
        Player* from = Find(idFrom);
        if (from == nullptr || !from->local)
            return DPERR_INVALIDPLAYER;
        Player* to = idTo == DPID_ALLPLAYERS ? nullptr : Find(idTo);
        if (idTo != DPID_ALLPLAYERS && to == nullptr)
            return DPERR_INVALIDPLAYER;
        const uint8_t* bytes = static_cast<const uint8_t*>(lpData);
        std::vector<uint8_t> data(bytes, bytes + dwDataSize);
        bool reliable = (dwFlags & DPSEND_GUARANTEED) != 0;
        // Between this machine's own players a full queue drops the message, and that is all.
        Keep keep = reliable ? Keep::Guaranteed : Keep::Plain;
        if (to != nullptr && to->local)
        {
            Queue(idFrom, idTo, std::move(data), keep);
            return DP_OK;
        }
        if (to == nullptr)
            QueueForLocals(idFrom, data, keep);
        std::vector<uint8_t> frame = DataFrame(idFrom, idTo, dwFlags, data);
        if (role_ == Role::Host)
        {
            if (to == nullptr)
                SendToMachines(frame, 0, reliable);
            else
                link_->Send(to->machine, frame, reliable);
        }
        else if (!lost_)
            link_->Send(hostPeer_, frame, reliable);
        return DP_OK;
    }

    HRESULT Receive(LPDPID lpidFrom, LPDPID lpidTo, DWORD dwFlags, LPVOID lpData,
                    LPDWORD lpdwDataSize) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_);
        HRESULT hr;
        if (FailNext(DpCall::Receive, &hr))
            return hr;
        Pump();
        if (lpidFrom == nullptr || lpidTo == nullptr || lpdwDataSize == nullptr)
            return DPERR_INVALIDPARAMS;
        if (dwFlags & ~(DPRECEIVE_ALL | DPRECEIVE_TOPLAYER | DPRECEIVE_FROMPLAYER | DPRECEIVE_PEEK))
            return DPERR_INVALIDFLAGS;
        bool any =
            (dwFlags & DPRECEIVE_ALL) || !(dwFlags & (DPRECEIVE_TOPLAYER | DPRECEIVE_FROMPLAYER));
        auto match = [&](const Message& m)
        {
            if (any)
                return true;
            if ((dwFlags & DPRECEIVE_TOPLAYER) && m.to != *lpidTo)
                return false;
            if ((dwFlags & DPRECEIVE_FROMPLAYER) && m.from != *lpidFrom)
                return false;
            return true;
        };
        auto found = std::find_if(queue_.begin(), queue_.end(), match);
        if (found == queue_.end())
            return DPERR_NOMESSAGES;
        DWORD size = static_cast<DWORD>(found->data.size());
        if (lpData == nullptr || *lpdwDataSize < size)
        {
            *lpdwDataSize = size;
            return DPERR_BUFFERTOOSMALL;
        }
        *lpidFrom = found->from;
        *lpidTo = found->to;
        *lpdwDataSize = size;
        if (size != 0)
            std::memcpy(lpData, found->data.data(), size);
        if (!(dwFlags & DPRECEIVE_PEEK))
            Dequeue(found);
        return DP_OK;
    }

    QueueLoad QueuedForTests()
    {
        std::lock_guard<std::recursive_mutex> lock(m_);
        return total_;
    }

private:
    enum class Role
    {
        None,
        Host,
        Joiner,
    };
    struct Reply
    {
        HRESULT result;
        Player player;
    };
    static constexpr uint32_t kNoMachine = UINT32_MAX;

    DWORD DefaultTimeout() const { return provider_ == DpProvider::Udp ? kUdpEnumTimeoutMs : 0; }

    void FillCaps(DPCAPS* caps, bool isHost) const
    {
        *caps = DPCAPS{};
        caps->dwSize = sizeof(DPCAPS);
        caps->dwFlags = DPCAPS_GUARANTEEDSUPPORTED | DPCAPS_GUARANTEEDOPTIMIZED |
                        DPCAPS_KEEPALIVEOPTIMIZED | (isHost ? DPCAPS_ISHOST : 0);
        caps->dwMaxBufferSize = DP_MAX_MESSAGE_SIZE;
        caps->dwMaxQueueSize = 0;
        caps->dwMaxPlayers = DP_MAX_PLAYERS;
        caps->dwHundredBaud = 0;
        caps->dwLatency = provider_ == DpProvider::Udp ? 50 : 0;
        caps->dwMaxLocalPlayers = DP_MAX_PLAYERS;
        caps->dwHeaderLength = dpwire::kHeaderSize + dpwire::kDataFixed;
        caps->dwTimeout = DefaultTimeout();
    }

    static DWORD Limit(const Session& s)
    {
        return s.maxPlayers != 0 && s.maxPlayers < DP_MAX_PLAYERS ? s.maxPlayers : DP_MAX_PLAYERS;
    }
    static bool Available(const Session& s, DWORD current)
    {
        return !(s.flags & (DPSESSION_JOINDISABLED | DPSESSION_NEWPLAYERSDISABLED)) &&
               current < Limit(s);
    }
    bool RoomForPlayer() const
    {
        return !(session_.flags & DPSESSION_NEWPLAYERSDISABLED) &&
               players_.size() < Limit(session_);
    }
    DWORD CountPlayers() const { return static_cast<DWORD>(players_.size()); }

    void Remember(const FoundSession& f)
    {
        for (FoundSession& known : found_)
            if (IsEqualGUID(known.session.instance, f.session.instance))
            {
                known = f;
                return;
            }
        found_.push_back(f);
    }

    HRESULT Create(const DPSESSIONDESC2& d)
    {
        std::unique_ptr<DpLink> link = DpCreateHostLink(provider_, DpUdpPort());
        if (link == nullptr)
            return DPERR_UNAVAILABLE;
        link_ = std::move(link);
        role_ = Role::Host;
        lost_ = false;
        session_ = Session{};
        session_.flags = d.dwFlags;
        session_.instance = NewInstanceGuid();
        session_.application = d.guidApplication;
        session_.maxPlayers = d.dwMaxPlayers;
        session_.name = Cut(d.lpszSessionNameA);
        session_.user[0] = d.dwUser1;
        session_.user[1] = d.dwUser2;
        session_.user[2] = d.dwUser3;
        session_.user[3] = d.dwUser4;
        nextId_ = kFirstPlayerId;
        Publish();
        return DP_OK;
    }

    HRESULT Join(const DPSESSIONDESC2& d)
    {
        auto known = std::find_if(found_.begin(), found_.end(),
                                  [&](const FoundSession& f)
                                  { return IsEqualGUID(f.session.instance, d.guidInstance); });
        if (known == found_.end())
            return DPERR_NOSESSIONS;
        HRESULT hr;
        std::unique_ptr<DpLink> link = DpConnectLink(provider_, known->address, kConnectMs, &hr);
        if (link == nullptr)
            return hr;
        link_ = std::move(link);
        role_ = Role::Joiner;
        lost_ = false;
        joinResult_ = 1; // pending
        hostPeer_ = provider_ == DpProvider::Udp ? 1 : known->address.endpoint;
        dpwire::Writer w(dpwire::kJoin);
        w.Guid(d.guidInstance);
        link_->Send(hostPeer_, w.Frame(), true);
        if (!AwaitReply([&] { return joinResult_ != 1 || lost_; }) || lost_ || joinResult_ != DP_OK)
        {
            hr = joinResult_ == 1 || joinResult_ == DP_OK ? DPERR_NOCONNECTION : joinResult_;
            link_->Shutdown();
            link_.reset();
            role_ = Role::None;
            players_.clear();
            ClearQueue();
            return hr;
        }
        return DP_OK;
    }

    // Pumps the link until done() or the time-out; false on the time-out.
    template <typename F> bool AwaitReply(F done)
    {
        Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kReplyMs);
        for (;;)
        {
            Pump();
            if (done())
                return true;
            if (Clock::now() >= deadline || link_ == nullptr)
                return false;
            link_->Wait(5);
        }
    }

    // ---- the service thread ----

    void StartService()
    {
        stop_ = false;
        thread_ = std::thread(
            [this]
            {
                while (!stop_)
                {
                    {
                        std::lock_guard<std::recursive_mutex> lock(m_);
                        Pump();
                    }
                    link_->Wait(10);
                }
            });
    }

    // Leaves the session (if any): a joiner's players go with it, a host's session ends for
    // all.
    void Leave()
    {
        std::lock_guard<std::mutex> service(serviceMutex_);
        if (thread_.joinable())
        {
            stop_ = true;
            thread_.join();
        }
        std::lock_guard<std::recursive_mutex> lock(m_);
        if (link_ != nullptr)
        {
            link_->Shutdown();
            link_.reset();
        }
        role_ = Role::None;
        lost_ = false;
        players_.clear();
        ClearQueue();
        replies_.clear();
        // The next session's link numbers its machines afresh.
        machines_.clear();
        unjoined_.clear();
        session_ = Session{};
    }

    // ---- state ----

    Player* Find(DPID id)
    {
        for (Player& p : players_)
            if (p.id == id)
                return &p;
        return nullptr;
    }
    bool HasLocalPlayer() const
    {
        return std::any_of(players_.begin(), players_.end(),
                           [](const Player& p) { return p.local; });
    }

    // Queues a message unless the bounds say otherwise (see dplay.h); false when a guaranteed
    // message would pass a hard bound, so that its machine is to be let go.
    bool Queue(DPID from, DPID to, std::vector<uint8_t> data, Keep keep = Keep::Always)
    {
        size_t size = data.size();
        // A sender's count is made only for a message that is kept, so dropped ones leave
        // no entry behind.
        auto known = load_.find(from);
        const QueueLoad none{};
        const QueueLoad& sender = known != load_.end() ? known->second : none;
        if (keep == Keep::Plain &&
            (!Fits(sender, size, DP_QUEUE_PLAYER_MESSAGES, DP_QUEUE_PLAYER_BYTES) ||
             !Fits(total_, size, DP_QUEUE_TOTAL_MESSAGES, DP_QUEUE_TOTAL_BYTES)))
            return true;
        if (keep == Keep::Guaranteed &&
            (!Fits(sender, size, 2 * DP_QUEUE_PLAYER_MESSAGES, 2 * DP_QUEUE_PLAYER_BYTES) ||
             !Fits(total_, size, 2 * DP_QUEUE_TOTAL_MESSAGES, 2 * DP_QUEUE_TOTAL_BYTES)))
            return false;
        QueueLoad& kept = load_[from];
        ++kept.messages;
        kept.bytes += size;
        ++total_.messages;
        total_.bytes += size;
        queue_.push_back(Message{from, to, std::move(data)});
        return true;
    }
    void Dequeue(std::deque<Message>::iterator at)
    {
        auto sender = load_.find(at->from);
        if (sender != load_.end())
        {
            --sender->second.messages;
            sender->second.bytes -= at->data.size();
            if (sender->second.messages == 0)
                load_.erase(sender);
        }
        --total_.messages;
        total_.bytes -= at->data.size();
        queue_.erase(at);
    }
    void ClearQueue()
    {
        queue_.clear();
        load_.clear();
        total_ = QueueLoad{};
    }
    // A copy for each local player but the sender; false as Queue.
    bool QueueForLocals(DPID from, const std::vector<uint8_t>& data, Keep keep)
    {
        bool kept = true;
        for (const Player& p : players_)
            if (p.local && p.id != from)
                kept = Queue(from, p.id, data, keep) && kept;
        return kept;
    }
    // A machine sent guaranteed messages past the hard bound: it is let go. A joiner whose host
    // does so has lost the session.
    void Overflowed(uint32_t machine, DPID from)
    {
        std::fprintf(stderr,
                     "dplay: the queue of messages not yet received is full (%zu messages, %zu "
                     "bytes; player %08X): %s\n",
                     total_.messages, total_.bytes, static_cast<unsigned>(from),
                     role_ == Role::Host ? "the machine that sent them is let go"
                                         : "leaving the session");
        if (role_ == Role::Host)
        {
            link_->DropPeer(machine);
            unjoined_.erase(machine);
            MachineGone(machine);
        }
        else if (!lost_)
        {
            link_->DropPeer(machine);
            SessionLost();
        }
    }
    // A system message for each local player, or one to 0 when there is none.
    void QueueSystem(const std::vector<uint8_t>& message)
    {
        if (!HasLocalPlayer())
        {
            Queue(DPID_SYSMSG, 0, message);
            return;
        }
        for (const Player& p : players_)
            if (p.local)
                Queue(DPID_SYSMSG, p.id, message);
    }
    void SystemCreated(const Player& p)
    {
        std::vector<uint8_t> m(dpsys::kCreatePlayerSize, 0);
        PutU32(&m[dpsys::kType], DPSYS_CREATEPLAYERORGROUP);
        PutU32(&m[dpsys::kPlayerType], DPPLAYERTYPE_PLAYER);
        PutU32(&m[dpsys::kPlayerId], p.id);
        PutU32(&m[dpsys::kCurrentPlayers], CountPlayers());
        std::memcpy(&m[dpsys::kShortName], p.shortName.data(), p.shortName.size());
        std::memcpy(&m[dpsys::kLongName], p.longName.data(), p.longName.size());
        QueueSystem(m);
    }
    void SystemDestroyed(DPID id)
    {
        std::vector<uint8_t> m(dpsys::kDestroyPlayerSize, 0);
        PutU32(&m[dpsys::kType], DPSYS_DESTROYPLAYERORGROUP);
        PutU32(&m[dpsys::kPlayerType], DPPLAYERTYPE_PLAYER);
        PutU32(&m[dpsys::kPlayerId], id);
        QueueSystem(m);
    }
    void SystemType(DWORD type)
    {
        std::vector<uint8_t> m(4, 0);
        PutU32(m.data(), type);
        QueueSystem(m);
    }

    void PutRecord(dpwire::Writer& w) const
    {
        dpwire::PutDesc(w, DescOf(session_, CountPlayers()));
        w.Name(session_.name);
    }
    static void PutPlayer(dpwire::Writer& w, const Player& p)
    {
        w.U32(p.id);
        w.U32(p.onHost ? dpwire::kPlayerOnHost : 0);
        w.Name(p.shortName);
        w.Name(p.longName);
    }
    static bool ReadPlayer(dpwire::Reader& r, Player* p)
    {
        p->id = r.U32();
        p->onHost = (r.U32() & dpwire::kPlayerOnHost) != 0;
        p->shortName = r.Name();
        p->longName = r.Name();
        p->local = false;
        p->machine = kNoMachine;
        return r.Ok() && p->id != DPID_SYSMSG;
    }
    // A data frame's body; false unless its size field counts exactly the bytes that follow.
    static bool ReadData(dpwire::Reader& r, Message* m, DWORD* flags)
    {
        m->from = r.U32();
        m->to = r.U32();
        *flags = r.U32();
        uint32_t size = r.U32();
        if (!r.Ok() || size > DP_MAX_MESSAGE_SIZE || size != r.Left())
            return false;
        const uint8_t* bytes = r.Bytes(size);
        m->data.assign(bytes, bytes + size);
        return true;
    }
    static std::vector<uint8_t> DataFrame(DPID from, DPID to, DWORD flags,
                                          const std::vector<uint8_t>& data)
    {
        dpwire::Writer w(dpwire::kData);
        w.U32(from);
        w.U32(to);
        w.U32(flags);
        w.U32(static_cast<uint32_t>(data.size()));
        w.Bytes(data.data(), data.size());
        return w.Frame();
    }

    void Publish()
    {
        if (role_ != Role::Host || link_ == nullptr)
            return;
        dpwire::Writer w(dpwire::kSessionDesc);
        PutRecord(w);
        std::vector<uint8_t> frame = w.Frame();
        link_->Publish(std::vector<uint8_t>(frame.begin() + dpwire::kHeaderSize, frame.end()));
    }

    // Host: to every joined machine but one.
    void SendToMachines(const std::vector<uint8_t>& frame, uint32_t except, bool reliable = true)
    {
        for (uint32_t machine : machines_)
            if (machine != except)
                link_->Send(machine, frame, reliable);
    }

    // Host: a new player, announced to the other machines (and here when another machine
    // made it).
    void AddPlayer(const Player& p, bool notifyHere)
    {
        players_.push_back(p);
        dpwire::Writer w(dpwire::kPlayerAdded);
        PutPlayer(w, p);
        SendToMachines(w.Frame(), p.machine);
        if (notifyHere)
            SystemCreated(p);
        Publish();
    }

    void Erase(DPID id)
    {
        players_.erase(std::remove_if(players_.begin(), players_.end(),
                                      [&](const Player& p) { return p.id == id; }),
                       players_.end());
    }

    // Host: a player gone, announced to the machines but one (and here when wanted).
    void RemovePlayer(DPID id, uint32_t exceptMachine, bool notifyHere)
    {
        Erase(id);
        dpwire::Writer w(dpwire::kPlayerRemoved);
        w.U32(id);
        SendToMachines(w.Frame(), exceptMachine);
        if (notifyHere)
            SystemDestroyed(id);
        Publish();
    }

    // ---- frames ----

    void Pump()
    {
        if (link_ == nullptr)
            return;
        std::vector<DpLinkEvent> events;
        link_->Poll(events);
        for (DpLinkEvent& e : events)
        {
            if (role_ == Role::Host)
                HostEvent(e);
            else if (role_ == Role::Joiner)
                JoinerEvent(e);
        }
        if (role_ == Role::Host)
            DropIdleMachines();
    }

    void DropIdleMachines()
    {
        Clock::time_point now = Clock::now();
        for (auto at = unjoined_.begin(); at != unjoined_.end();)
        {
            if (now - at->second >= std::chrono::milliseconds(gJoinWindowMs.load()))
            {
                link_->DropPeer(at->first);
                at = unjoined_.erase(at);
            }
            else
                ++at;
        }
    }

    void HostEvent(const DpLinkEvent& e)
    {
        if (e.type == DpLinkEvent::Type::Connect)
        {
            unjoined_[e.peer] = Clock::now(); // a machine counts once it has joined
            return;
        }
        if (e.type == DpLinkEvent::Type::Disconnect)
        {
            unjoined_.erase(e.peer);
            MachineGone(e.peer);
            return;
        }
        dpwire::Kind kind;
        dpwire::Reader r;
        if (!dpwire::OpenFrame(e.data.data(), e.data.size(), &kind, &r))
            return;
        bool joined = std::find(machines_.begin(), machines_.end(), e.peer) != machines_.end();
        if (kind == dpwire::kJoin && !joined && r.Left() == dpwire::kJoinSize)
        {
            GUID instance = r.Guid();
            unjoined_.erase(e.peer);
            HRESULT refuse = DP_OK;
            if (!IsEqualGUID(instance, session_.instance))
                refuse = DPERR_NOSESSIONS;
            else if (!Available(session_, CountPlayers()))
                refuse = DPERR_NONEWPLAYERS;
            if (refuse != DP_OK)
            {
                dpwire::Writer w(dpwire::kJoinRefuse);
                w.U32(static_cast<uint32_t>(refuse));
                link_->Send(e.peer, w.Frame(), true);
                link_->DropPeer(e.peer);
                return;
            }
            machines_.push_back(e.peer);
            link_->Admit(e.peer);
            dpwire::Writer w(dpwire::kJoinAccept);
            PutRecord(w);
            w.U32(CountPlayers());
            for (const Player& p : players_)
                PutPlayer(w, p);
            link_->Send(e.peer, w.Frame(), true);
            return;
        }
        if (!joined)
            return;
        if (kind == dpwire::kCreatePlayer && r.Left() == dpwire::kCreatePlayerSize)
        {
            uint32_t request = r.U32();
            Player p{0, e.peer, false, false, r.Name(), r.Name()};
            HRESULT result = DP_OK;
            if (!RoomForPlayer())
                result = DPERR_CANTADDPLAYER;
            else
                p.id = nextId_++;
            dpwire::Writer w(dpwire::kPlayerCreated);
            w.U32(request);
            w.U32(static_cast<uint32_t>(result));
            PutPlayer(w, p);
            link_->Send(e.peer, w.Frame(), true);
            if (result == DP_OK)
                AddPlayer(p, /*notifyHere=*/true);
        }
        else if (kind == dpwire::kDestroyPlayer && r.Left() == dpwire::kPlayerIdSize)
        {
            Player* p = Find(r.U32());
            if (p != nullptr && p->machine == e.peer)
                RemovePlayer(p->id, e.peer, /*notifyHere=*/true);
        }
        else if (kind == dpwire::kData)
        {
            Message m;
            DWORD flags = 0;
            if (!ReadData(r, &m, &flags))
                return;
            Player* sender = Find(m.from);
            if (sender == nullptr || sender->machine != e.peer)
                return; // only a machine's own players speak for it
            bool reliable = (flags & DPSEND_GUARANTEED) != 0;
            Keep keep = reliable ? Keep::Guaranteed : Keep::Plain;
            if (m.to == DPID_ALLPLAYERS)
            {
                if (!QueueForLocals(m.from, m.data, keep))
                {
                    Overflowed(e.peer, m.from);
                    return;
                }
                SendToMachines(DataFrame(m.from, m.to, flags, m.data), e.peer, reliable);
                return;
            }
            Player* target = Find(m.to);
            if (target == nullptr)
                return;
            if (target->local)
            {
                if (!Queue(m.from, m.to, std::move(m.data), keep))
                    Overflowed(e.peer, m.from);
            }
            else if (target->machine != e.peer)
                link_->Send(target->machine, DataFrame(m.from, m.to, flags, m.data), reliable);
        }
    }

    void MachineGone(uint32_t machine)
    {
        auto at = std::find(machines_.begin(), machines_.end(), machine);
        if (at == machines_.end())
            return;
        machines_.erase(at);
        std::vector<DPID> gone;
        for (const Player& p : players_)
            if (p.machine == machine)
                gone.push_back(p.id);
        for (DPID id : gone)
            RemovePlayer(id, machine, /*notifyHere=*/true);
    }

    void JoinerEvent(const DpLinkEvent& e)
    {
        if (lost_ || e.peer != hostPeer_)
            return;
        if (e.type == DpLinkEvent::Type::Disconnect)
        {
            if (joinResult_ == DP_OK)
                SessionLost();
            else
                lost_ = true; // refused or never answered: Join tells why
            return;
        }
        if (e.type != DpLinkEvent::Type::Receive)
            return;
        dpwire::Kind kind;
        dpwire::Reader r;
        if (!dpwire::OpenFrame(e.data.data(), e.data.size(), &kind, &r))
            return;
        if (joinResult_ == 1)
        {
            if (kind == dpwire::kJoinRefuse && r.Left() == dpwire::kJoinRefuseSize)
            {
                HRESULT refused = static_cast<HRESULT>(r.U32());
                joinResult_ = refused == DP_OK || refused == 1 ? DPERR_GENERIC : refused;
            }
            else if (kind == dpwire::kJoinAccept)
                Accepted(r);
            return;
        }
        if (kind == dpwire::kPlayerCreated && r.Left() == dpwire::kPlayerCreatedSize)
        {
            uint32_t request = r.U32();
            // Only the answer to the request being waited for counts, and only once.
            if (request != awaited_ || replies_.count(request) != 0)
                return;
            Reply reply{static_cast<HRESULT>(r.U32()), {}};
            if (!ReadPlayer(r, &reply.player) && reply.result == DP_OK)
                reply.result = DPERR_CANTCREATEPLAYER;
            if (reply.result == DP_OK)
            {
                if (Find(reply.player.id) != nullptr)
                    reply.result = DPERR_CANTCREATEPLAYER;
                else
                {
                    reply.player.local = true;
                    players_.push_back(reply.player);
                }
            }
            replies_[request] = reply;
        }
        else if (kind == dpwire::kPlayerAdded && r.Left() == dpwire::kPlayerRecordSize)
        {
            Player p;
            if (ReadPlayer(r, &p) && Find(p.id) == nullptr && players_.size() < DP_MAX_PLAYERS)
            {
                players_.push_back(p);
                SystemCreated(p);
            }
        }
        else if (kind == dpwire::kPlayerRemoved && r.Left() == dpwire::kPlayerIdSize)
        {
            DPID id = r.U32();
            Player* p = Find(id);
            if (p != nullptr && !p->local)
            {
                Erase(id);
                SystemDestroyed(id);
            }
        }
        else if (kind == dpwire::kSessionDesc && r.Left() == dpwire::kSessionRecordSize)
        {
            Session s;
            if (!ReadSessionRecord(r, &s, nullptr) || !IsEqualGUID(s.instance, session_.instance))
                return;
            session_ = s;
            std::vector<uint8_t> m(dpsys::kSetSessionDescSize, 0);
            PutU32(&m[dpsys::kType], DPSYS_SETSESSIONDESC);
            DPSESSIONDESC2 d = DescOf(session_, CountPlayers());
            DpWriteSessionDesc(&d, &m[dpsys::kSessionDesc]);
            QueueSystem(m);
        }
        else if (kind == dpwire::kData)
        {
            Message m;
            DWORD flags = 0;
            if (!ReadData(r, &m, &flags))
                return;
            Keep keep = (flags & DPSEND_GUARANTEED) ? Keep::Guaranteed : Keep::Plain;
            bool kept = true;
            if (m.to == DPID_ALLPLAYERS)
                kept = QueueForLocals(m.from, m.data, keep);
            else
            {
                Player* target = Find(m.to);
                if (target != nullptr && target->local)
                    kept = Queue(m.from, m.to, std::move(m.data), keep);
            }
            if (!kept)
                Overflowed(hostPeer_, m.from);
        }
    }

    void Accepted(dpwire::Reader& r)
    {
        Session s;
        if (!ReadSessionRecord(r, &s, nullptr))
            return;
        uint32_t count = r.U32();
        if (!r.Ok() || count > DP_MAX_PLAYERS || r.Left() != count * dpwire::kPlayerRecordSize)
            return;
        std::vector<Player> players;
        for (uint32_t i = 0; i < count; ++i)
        {
            Player p;
            if (!ReadPlayer(r, &p))
                return;
            bool twice = std::any_of(players.begin(), players.end(),
                                     [&](const Player& o) { return o.id == p.id; });
            if (!twice)
                players.push_back(p);
        }
        session_ = s;
        players_ = std::move(players);
        joinResult_ = DP_OK;
    }

    void SessionLost()
    {
        lost_ = true;
        players_.erase(std::remove_if(players_.begin(), players_.end(),
                                      [](const Player& p) { return !p.local; }),
                       players_.end());
        SystemType(DPSYS_SESSIONLOST);
    }

    std::atomic<ULONG> refs_{1};
    std::recursive_mutex m_;
    std::mutex serviceMutex_; // orders opening and leaving with the service thread
    std::thread thread_;
    std::atomic<bool> stop_{false};

    DpProvider provider_;
    Role role_ = Role::None;
    bool lost_ = false;
    std::unique_ptr<DpLink> link_;
    Session session_;
    std::vector<Player> players_;
    std::deque<Message> queue_;
    std::map<DPID, QueueLoad> load_; // per sender
    QueueLoad total_;
    std::vector<FoundSession> found_;
    // Host.
    DPID nextId_ = kFirstPlayerId;
    std::vector<uint32_t> machines_;
    std::map<uint32_t, Clock::time_point> unjoined_; // connected, not yet joined: since when
    // Joiner.
    HRESULT joinResult_ = 1;
    uint32_t hostPeer_ = 0; // the link's id of the host
    uint32_t nextRequest_ = 1;
    uint32_t awaited_ = 0; // the request CreatePlayer waits for, 0 when none
    std::map<uint32_t, Reply> replies_;
};

} // namespace

DWORD DpReadU32(const void* pData, size_t uSize, size_t uOffset)
{
    if (pData == nullptr || uOffset > uSize || uSize - uOffset < 4)
        return 0;
    dpwire::Reader r(static_cast<const uint8_t*>(pData) + uOffset, 4);
    return r.U32();
}

void DpWriteSessionDesc(const DPSESSIONDESC2* d, BYTE* out)
{
    std::memset(out, 0, DPSESSIONDESC2_SIZE_32);
    PutU32(out + dpsys::kDescSize, DPSESSIONDESC2_SIZE_32);
    PutU32(out + dpsys::kDescFlags, d->dwFlags);
    PutGuid(out + dpsys::kDescInstance, d->guidInstance);
    PutGuid(out + dpsys::kDescApplication, d->guidApplication);
    PutU32(out + dpsys::kDescMaxPlayers, d->dwMaxPlayers);
    PutU32(out + dpsys::kDescCurrentPlayers, d->dwCurrentPlayers);
    PutU32(out + dpsys::kDescReserved1, d->dwReserved1);
    PutU32(out + dpsys::kDescReserved1 + 4, d->dwReserved2);
    PutU32(out + dpsys::kDescUser1, d->dwUser1);
    PutU32(out + dpsys::kDescUser1 + 4, d->dwUser2);
    PutU32(out + dpsys::kDescUser1 + 8, d->dwUser3);
    PutU32(out + dpsys::kDescUser1 + 12, d->dwUser4);
}

BOOL DpReadSessionDesc(const void* pData, size_t uSize, DPSESSIONDESC2* d)
{
    if (pData == nullptr || d == nullptr || uSize < DPSESSIONDESC2_SIZE_32)
        return FALSE;
    dpwire::Reader r(static_cast<const uint8_t*>(pData), DPSESSIONDESC2_SIZE_32);
    r.U32(); // its size
    DWORD flags = r.U32();
    GUID instance = r.Guid();
    GUID application = r.Guid();
    DWORD maxPlayers = r.U32();
    DWORD current = r.U32();
    r.U32(); // name and password slots
    r.U32();
    DWORD words[6];
    for (DWORD& w : words)
        w = r.U32();
    if (!r.Ok())
        return FALSE;
    d->dwSize = sizeof(DPSESSIONDESC2);
    d->dwFlags = flags;
    d->guidInstance = instance;
    d->guidApplication = application;
    d->dwMaxPlayers = maxPlayers;
    d->dwCurrentPlayers = current;
    d->dwReserved1 = words[0];
    d->dwReserved2 = words[1];
    d->dwUser1 = words[2];
    d->dwUser2 = words[3];
    d->dwUser3 = words[4];
    d->dwUser4 = words[5];
    return TRUE;
}

HRESULT DirectPlayEnumerateA(LPDPENUMDPCALLBACKA lpEnumDPCallback, LPVOID lpContext)
{
    if (lpEnumDPCallback == nullptr)
        return DPERR_INVALIDPARAMS;
    for (Provider& p : Providers())
    {
        GUID guid = p.guid;
        std::string name = p.name;
        if (!lpEnumDPCallback(&guid, name.data(), 6, 0, lpContext))
            break;
    }
    return DP_OK;
}

HRESULT DirectPlayCreate(LPGUID lpGUIDSP, LPDIRECTPLAY* lplpDP, void* pUnk)
{
    if (lplpDP == nullptr)
        return DPERR_INVALIDPARAMS;
    *lplpDP = nullptr;
    HRESULT hr;
    if (FailNext(DpCall::Create, &hr))
        return hr;
    if (pUnk != nullptr)
        return DPERR_NOINTERFACE;
    DpProvider kind = DpProvider::None;
    if (lpGUIDSP != nullptr && !IsEqualGUID(*lpGUIDSP, GUID_NULL))
    {
        bool known = false;
        for (const Provider& p : Providers())
            if (IsEqualGUID(p.guid, *lpGUIDSP))
            {
                kind = p.kind;
                known = true;
            }
        if (!known)
            return DPERR_UNAVAILABLE;
    }
    *lplpDP = new DirectPlay(kind);
    return DP_OK;
}

void DpFailNextCallForTests(DpCall call, HRESULT hr)
{
    std::lock_guard<std::mutex> lock(gHookMutex);
    gFailNext[call] = hr;
}

void DpAddProviderForTests(const GUID& guid, const char* pszName)
{
    std::lock_guard<std::mutex> lock(gHookMutex);
    gTestProviders.push_back({guid, pszName != nullptr ? pszName : "", DpProvider::Loopback});
}

size_t DpQueuedBytesForTests(IDirectPlay3A* dp)
{
    DirectPlay* object = dynamic_cast<DirectPlay*>(dp);
    return object != nullptr ? object->QueuedForTests().bytes : 0;
}

void DpSetJoinWindowForTests(int ms)
{
    gJoinWindowMs = ms;
}

void DpResetTestHooks(void)
{
    std::lock_guard<std::mutex> lock(gHookMutex);
    gFailNext.clear();
    gTestProviders.clear();
    gJoinWindowMs = kJoinWindowMs;
}
