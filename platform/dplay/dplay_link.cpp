// The links under the transport: ENet for the UDP provider, and queues between objects of this
// process for the loopback provider; and the session queries of both.

#include <enet/enet.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <set>

#include "platform/dplay/dplay_internal.h"
#include "platform/dplay/dplay_wire.h"

namespace
{

constexpr uint16_t kDefaultPort = 28650;
// A host's ENet slots: a full session's machines, and as many again for machines that are
// connecting or have yet to join, so that connections that never finish cannot fill it.
constexpr size_t kHostSlots = 4 * DP_MAX_PLAYERS;
// A connection request not completed within this time is let go (ENet alone keeps one for half
// a minute). A genuine one completes within a round trip.
constexpr int kHandshakeMs = 2000;
// Half-open connections: at most so many from one address and so many in all. A new request
// past either lets the oldest go, so that the newest (a genuine joiner's, answered within a
// round trip) finds room while a flood only churns its own. What is left is kept for
// connections that completed.
constexpr size_t kHalfOpenPerAddress = DP_MAX_PLAYERS;
constexpr size_t kHalfOpenTotal = kHostSlots - DP_MAX_PLAYERS - 8;
// Completed connections that have not joined yet, from one address; a joiner joins at once.
constexpr size_t kUnjoinedPerAddress = 4;
// A frame larger than this is refused by ENet before it is reassembled.
constexpr size_t kMaxPacket = dpwire::kMaxFrame;
// Leaving waits this long at most for the peers to acknowledge.
constexpr int kShutdownMs = 250;

using Clock = std::chrono::steady_clock;

void InitialiseEnet()
{
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       if (enet_initialize() == 0)
                           std::atexit(enet_deinitialize);
                   });
}

int MsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

uint32_t Nonce()
{
    static std::mutex m;
    static std::mt19937 gen{std::random_device{}()};
    std::lock_guard<std::mutex> lock(m);
    return static_cast<uint32_t>(gen());
}

std::vector<uint8_t> QueryFrame(uint32_t nonce, const GUID& application)
{
    dpwire::Writer w(dpwire::kQuery);
    w.U32(nonce);
    w.Guid(application);
    uint8_t padding[dpwire::kQuerySize - dpwire::kQueryFields] = {};
    w.Bytes(padding, sizeof padding);
    return w.Frame();
}

// The reply to a query, or nothing when the query is not one for this session. A query shorter
// than the reply is refused: the reply goes to an address nobody checked.
std::vector<uint8_t> AnswerQuery(const uint8_t* p, size_t n, const std::vector<uint8_t>& record)
{
    dpwire::Kind kind;
    dpwire::Reader body;
    if (record.size() != dpwire::kSessionRecordSize || !dpwire::OpenFrame(p, n, &kind, &body) ||
        kind != dpwire::kQuery || body.Left() != dpwire::kQuerySize)
        return {};
    uint32_t nonce = body.U32();
    GUID application = body.Guid();
    dpwire::Reader desc(record.data(), record.size());
    desc.Take(dpsys::kDescApplication);
    GUID mine = desc.Guid();
    if (!IsEqualGUID(application, GUID_NULL) && !IsEqualGUID(application, mine))
        return {};
    dpwire::Writer w(dpwire::kQueryReply);
    w.U32(nonce);
    w.Bytes(record.data(), record.size());
    std::vector<uint8_t> reply = w.Frame();
    if (reply.size() > n)
        return {};
    return reply;
}

// ---- UDP over ENet ----

class EnetLink : public DpLink
{
public:
    EnetLink(ENetHost* host, bool isHost) : host_(host), isHost_(isHost)
    {
        host_->maximumPacketSize = kMaxPacket;
        host_->intercept = &EnetLink::Intercept;
        slots_.resize(host_->peerCount);
    }
    ~EnetLink() override { Shutdown(); }

    // Joiner: waits for the connection.
    bool Connect(const ENetAddress& address, int timeoutMs)
    {
        ENetPeer* peer = enet_host_connect(host_, &address, 1, 0);
        if (peer == nullptr)
            return false;
        Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;)
        {
            ENetEvent event;
            int got = Service(&event, static_cast<enet_uint32>(MsLeft(deadline)));
            if (got > 0 && event.type == ENET_EVENT_TYPE_CONNECT)
            {
                AddPeer(event.peer);
                return true;
            }
            if (got > 0 && event.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(event.packet);
            if (got < 0 || (got > 0 && event.type == ENET_EVENT_TYPE_DISCONNECT) ||
                MsLeft(deadline) == 0)
            {
                enet_peer_reset(peer);
                return false;
            }
        }
    }

    void Send(uint32_t id, const std::vector<uint8_t>& frame, bool reliable) override
    {
        auto found = peers_.find(id);
        if (host_ == nullptr || found == peers_.end())
            return;
        ENetPacket* packet = enet_packet_create(frame.data(), frame.size(),
                                                reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
        if (packet != nullptr && enet_peer_send(found->second, 0, packet) != 0)
            enet_packet_destroy(packet);
        enet_host_flush(host_);
    }

    void Poll(std::vector<DpLinkEvent>& events) override
    {
        if (host_ == nullptr)
            return;
        ENetEvent event;
        while (Service(&event, 0) > 0)
        {
            switch (event.type)
            {
                case ENET_EVENT_TYPE_CONNECT:
                    if (isHost_)
                    {
                        events.push_back({DpLinkEvent::Type::Connect, AddPeer(event.peer), {}});
                        LimitUnjoined(event.peer->address.host, events);
                    }
                    break;
                case ENET_EVENT_TYPE_RECEIVE:
                {
                    uint32_t id = IdOf(event.peer);
                    if (id != 0)
                        events.push_back(
                            {DpLinkEvent::Type::Receive, id,
                             std::vector<uint8_t>(event.packet->data,
                                                  event.packet->data + event.packet->dataLength)});
                    enet_packet_destroy(event.packet);
                    break;
                }
                case ENET_EVENT_TYPE_DISCONNECT:
                {
                    uint32_t id = IdOf(event.peer);
                    if (id != 0)
                    {
                        peers_.erase(id);
                        admitted_.erase(id);
                        events.push_back({DpLinkEvent::Type::Disconnect, id, {}});
                    }
                    event.peer->data = nullptr;
                    break;
                }
                case ENET_EVENT_TYPE_NONE:
                    break;
            }
        }
        if (isHost_)
            SweepHalfOpen(Clock::now());
    }

    void Admit(uint32_t id) override
    {
        if (peers_.count(id))
            admitted_.insert(id);
    }

    void Wait(int ms) override
    {
        if (host_ == nullptr)
            return;
        enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
        enet_socket_wait(host_->socket, &condition, static_cast<enet_uint32>(ms));
    }

    void DropPeer(uint32_t id) override
    {
        auto found = peers_.find(id);
        if (found == peers_.end())
            return;
        found->second->data = nullptr;
        // A machine that never joined has nothing queued and no place to give back: its slot
        // is freed at once, so a burst of such connections cannot hold the host's slots while
        // their disconnections are acknowledged or time out.
        if (admitted_.count(id))
            enet_peer_disconnect_later(found->second, 0);
        else
            enet_peer_reset(found->second);
        peers_.erase(found);
        admitted_.erase(id);
        enet_host_flush(host_);
    }

    void Publish(const std::vector<uint8_t>& sessionRecord) override { record_ = sessionRecord; }

    void Shutdown() override
    {
        if (host_ == nullptr)
            return;
        for (auto& [id, peer] : peers_)
            enet_peer_disconnect(peer, 0);
        Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kShutdownMs);
        while (!peers_.empty() && MsLeft(deadline) > 0)
        {
            ENetEvent event;
            int got = Service(&event, static_cast<enet_uint32>(MsLeft(deadline)));
            if (got < 0)
                break;
            if (got > 0 && event.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(event.packet);
            if (got > 0 && event.type == ENET_EVENT_TYPE_DISCONNECT)
                peers_.erase(IdOf(event.peer));
        }
        peers_.clear();
        enet_host_destroy(host_);
        host_ = nullptr;
    }

private:
    uint32_t AddPeer(ENetPeer* peer)
    {
        uint32_t id = nextId_++;
        peer->data = reinterpret_cast<void*>(static_cast<uintptr_t>(id));
        // A peer silent for 5 s at most is gone.
        enet_peer_timeout(peer, 0, 2000, 5000);
        // Plain messages are lost only when the network loses them: ENet's packet throttle,
        // which drops unreliable packets while round trips vary (as on any loaded machine), is
        // held at its full rate.
        enet_peer_throttle_configure(peer, ENET_PEER_PACKET_THROTTLE_INTERVAL, 0, 0);
        peers_[id] = peer;
        return id;
    }
    // Completed connections from one address that have not joined: past the bound the oldest
    // goes, and its owner is told as of any lost connection.
    void LimitUnjoined(enet_uint32 address, std::vector<DpLinkEvent>& events)
    {
        std::vector<uint32_t> waiting; // oldest first, as ids grow
        for (const auto& [id, peer] : peers_)
            if (peer->address.host == address && !admitted_.count(id))
                waiting.push_back(id);
        for (size_t i = 0; i + kUnjoinedPerAddress < waiting.size(); ++i)
        {
            DropPeer(waiting[i]);
            events.push_back({DpLinkEvent::Type::Disconnect, waiting[i], {}});
        }
    }

    // Asked to connect and answered, but not acknowledged: a connection acknowledged and about
    // to be reported counts as completing, and is not let go.
    static bool HalfOpen(const ENetPeer& p)
    {
        return p.state == ENET_PEER_STATE_ACKNOWLEDGING_CONNECT;
    }

    // Notes when each half-open connection was first seen, and lets go those older than
    // kHandshakeMs.
    void SweepHalfOpen(Clock::time_point now)
    {
        for (size_t i = 0; i < host_->peerCount && i < slots_.size(); ++i)
        {
            ENetPeer& p = host_->peers[i];
            Slot& slot = slots_[i];
            if (!HalfOpen(p))
                slot.seen = false;
            else if (!slot.seen || slot.connectId != p.connectID)
                slot = Slot{true, p.connectID, now};
            else if (now - slot.since >= std::chrono::milliseconds(kHandshakeMs))
            {
                enet_peer_reset(&p);
                slot.seen = false;
            }
        }
    }

    // Before ENet takes a connection request: room for it, the oldest half-open going first.
    void MakeRoom(const ENetAddress& from)
    {
        SweepHalfOpen(Clock::now());
        size_t fromThere = 0;
        size_t halfOpen = 0;
        size_t free = 0;
        ENetPeer* oldestThere = nullptr;
        ENetPeer* oldest = nullptr;
        auto older = [&](ENetPeer* a, ENetPeer* b)
        { return b == nullptr || slots_[a - host_->peers].since < slots_[b - host_->peers].since; };
        for (size_t i = 0; i < host_->peerCount && i < slots_.size(); ++i)
        {
            ENetPeer* p = &host_->peers[i];
            if (p->state == ENET_PEER_STATE_DISCONNECTED)
            {
                ++free;
                continue;
            }
            if (p->address.host == from.host && p->address.port == from.port)
                return; // a repeated request, which ENet answers itself
            if (!HalfOpen(*p) || !slots_[i].seen)
                continue;
            ++halfOpen;
            if (older(p, oldest))
                oldest = p;
            if (p->address.host == from.host)
            {
                ++fromThere;
                if (older(p, oldestThere))
                    oldestThere = p;
            }
        }
        ENetPeer* go = nullptr;
        if (fromThere >= kHalfOpenPerAddress)
            go = oldestThere;
        else if (halfOpen >= kHalfOpenTotal || free == 0)
            go = oldest;
        if (go != nullptr)
        {
            enet_peer_reset(go);
            slots_[go - host_->peers].seen = false;
        }
    }

    // An ENet connection request: a datagram for no peer yet whose first command is CONNECT
    // (not compressed, and without a checksum, as this host uses neither).
    static bool IsConnectRequest(const uint8_t* p, size_t n)
    {
        if (n < 2)
            return false;
        unsigned header = static_cast<unsigned>(p[0]) << 8 | p[1];
        if (header & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED)
            return false;
        size_t size = (header & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) ? 4 : 2;
        unsigned peer = header & ~static_cast<unsigned>(ENET_PROTOCOL_HEADER_FLAG_MASK |
                                                        ENET_PROTOCOL_HEADER_SESSION_MASK);
        return peer == ENET_PROTOCOL_MAXIMUM_PEER_ID && n > size &&
               (p[size] & ENET_PROTOCOL_COMMAND_MASK) == ENET_PROTOCOL_COMMAND_CONNECT;
    }

    static uint32_t IdOf(ENetPeer* peer)
    {
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(peer->data));
    }

    int Service(ENetEvent* event, enet_uint32 timeout)
    {
        EnetLink* previous = tServicing;
        tServicing = this;
        int got = enet_host_service(host_, event, timeout);
        tServicing = previous;
        return got;
    }

    // Datagrams that are not ENet's: queries are answered here, other frames of ours dropped.
    static int Intercept(ENetHost* host, ENetEvent*)
    {
        EnetLink* self = tServicing;
        if (self == nullptr || self->host_ != host)
            return 0;
        if (self->isHost_ && IsConnectRequest(host->receivedData, host->receivedDataLength))
        {
            self->MakeRoom(host->receivedAddress);
            return 0;
        }
        if (host->receivedDataLength < 4)
            return 0;
        dpwire::Reader magic(host->receivedData, host->receivedDataLength);
        if (magic.U32() != dpwire::kMagic)
            return 0;
        if (self->isHost_)
        {
            std::vector<uint8_t> reply =
                AnswerQuery(host->receivedData, host->receivedDataLength, self->record_);
            if (!reply.empty())
            {
                ENetBuffer buffer;
                buffer.data = reply.data();
                buffer.dataLength = reply.size();
                enet_socket_send(host->socket, &host->receivedAddress, &buffer, 1);
            }
        }
        return 1;
    }

    static thread_local EnetLink* tServicing;

    ENetHost* host_;
    bool isHost_;
    uint32_t nextId_ = 1;
    std::map<uint32_t, ENetPeer*> peers_;
    std::set<uint32_t> admitted_; // host: the peers that joined
    std::vector<uint8_t> record_;
    struct Slot
    {
        bool seen = false; // half-open, since
        enet_uint32 connectId = 0;
        Clock::time_point since;
    };
    std::vector<Slot> slots_; // host: one per ENet peer
};

thread_local EnetLink* EnetLink::tServicing = nullptr;

// ---- Loopback: mailboxes inside this process ----

struct LoopbackWorld
{
    std::mutex m;
    std::condition_variable cv;
    uint32_t nextEndpoint = 1;
    std::map<uint32_t, std::deque<DpLinkEvent>> mailboxes;
    std::map<uint32_t, std::vector<uint8_t>> published; // host endpoint -> session record
};

LoopbackWorld& World()
{
    static LoopbackWorld* world = new LoopbackWorld; // lives until the process ends
    return *world;
}

class LoopbackLink : public DpLink
{
public:
    explicit LoopbackLink(bool isHost) : isHost_(isHost)
    {
        LoopbackWorld& w = World();
        std::lock_guard<std::mutex> lock(w.m);
        self_ = w.nextEndpoint++;
        w.mailboxes[self_];
    }
    ~LoopbackLink() override { Shutdown(); }

    uint32_t Endpoint() const { return self_; }

    bool Connect(uint32_t hostEndpoint)
    {
        LoopbackWorld& w = World();
        std::lock_guard<std::mutex> lock(w.m);
        auto host = w.mailboxes.find(hostEndpoint);
        if (host == w.mailboxes.end() || !w.published.count(hostEndpoint))
            return false;
        host->second.push_back({DpLinkEvent::Type::Connect, self_, {}});
        peers_.insert(hostEndpoint);
        w.cv.notify_all();
        return true;
    }

    void Send(uint32_t peer, const std::vector<uint8_t>& frame, bool) override
    {
        if (!peers_.count(peer))
            return;
        Post(peer, {DpLinkEvent::Type::Receive, self_, frame});
    }

    void Poll(std::vector<DpLinkEvent>& events) override
    {
        LoopbackWorld& w = World();
        std::lock_guard<std::mutex> lock(w.m);
        auto box = w.mailboxes.find(self_);
        if (box == w.mailboxes.end())
            return;
        for (DpLinkEvent& e : box->second)
        {
            if (e.type == DpLinkEvent::Type::Connect)
            {
                if (!isHost_)
                    continue;
                peers_.insert(e.peer);
            }
            else if (!peers_.count(e.peer))
                continue;
            if (e.type == DpLinkEvent::Type::Disconnect)
                peers_.erase(e.peer);
            events.push_back(std::move(e));
        }
        box->second.clear();
    }

    void Wait(int ms) override
    {
        LoopbackWorld& w = World();
        std::unique_lock<std::mutex> lock(w.m);
        w.cv.wait_for(lock, std::chrono::milliseconds(ms),
                      [&]
                      {
                          auto box = w.mailboxes.find(self_);
                          return box == w.mailboxes.end() || !box->second.empty();
                      });
    }

    void DropPeer(uint32_t peer) override
    {
        if (!peers_.erase(peer))
            return;
        Post(peer, {DpLinkEvent::Type::Disconnect, self_, {}});
    }

    void Publish(const std::vector<uint8_t>& sessionRecord) override
    {
        LoopbackWorld& w = World();
        std::lock_guard<std::mutex> lock(w.m);
        if (isHost_)
            w.published[self_] = sessionRecord;
    }

    void Shutdown() override
    {
        LoopbackWorld& w = World();
        std::lock_guard<std::mutex> lock(w.m);
        if (!w.mailboxes.count(self_))
            return;
        for (uint32_t peer : peers_)
        {
            auto box = w.mailboxes.find(peer);
            if (box != w.mailboxes.end())
                box->second.push_back({DpLinkEvent::Type::Disconnect, self_, {}});
        }
        peers_.clear();
        w.mailboxes.erase(self_);
        w.published.erase(self_);
        w.cv.notify_all();
    }

private:
    void Post(uint32_t peer, DpLinkEvent event)
    {
        LoopbackWorld& w = World();
        std::lock_guard<std::mutex> lock(w.m);
        auto box = w.mailboxes.find(peer);
        if (box == w.mailboxes.end())
            return;
        box->second.push_back(std::move(event));
        w.cv.notify_all();
    }

    bool isHost_;
    uint32_t self_ = 0;
    std::set<uint32_t> peers_;
};

bool Resolve(const std::string& text, uint16_t defaultPort, DpSessionAddress* out)
{
    std::string name = text;
    uint16_t port = defaultPort;
    size_t colon = text.rfind(':');
    if (colon != std::string::npos)
    {
        name = text.substr(0, colon);
        char* end = nullptr;
        unsigned long value = std::strtoul(text.c_str() + colon + 1, &end, 10);
        if (end == text.c_str() + colon + 1 || *end != '\0' || value == 0 || value > 65535)
            return false;
        port = static_cast<uint16_t>(value);
    }
    ENetAddress address{};
    if (name.empty() || enet_address_set_host(&address, name.c_str()) != 0)
        return false;
    out->host = address.host;
    out->port = port;
    return true;
}

} // namespace

uint16_t DpUdpPort(void)
{
    const char* text = std::getenv("DEZOR_DPLAY_PORT");
    if (text == nullptr || *text == '\0')
        return kDefaultPort;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || value == 0 || value > 65535)
        return kDefaultPort;
    return static_cast<uint16_t>(value);
}

std::vector<DpSessionAddress> DpUdpQueryAddresses(void)
{
    InitialiseEnet();
    const char* text = std::getenv("DEZOR_DPLAY_HOSTS");
    std::string list = text != nullptr && *text != '\0' ? text : "127.0.0.1";
    std::vector<DpSessionAddress> addresses;
    uint16_t port = DpUdpPort();
    size_t at = 0;
    while (at < list.size())
    {
        size_t end = list.find_first_of(", \t", at);
        if (end == std::string::npos)
            end = list.size();
        DpSessionAddress address;
        if (end > at && Resolve(list.substr(at, end - at), port, &address))
            addresses.push_back(address);
        at = end + 1;
    }
    return addresses;
}

std::unique_ptr<DpLink> DpCreateHostLink(DpProvider provider, uint16_t port)
{
    if (provider == DpProvider::Loopback)
        return std::make_unique<LoopbackLink>(true);
    InitialiseEnet();
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    address.port = port;
    ENetHost* host = enet_host_create(&address, kHostSlots, 1, 0, 0);
    if (host == nullptr)
        return nullptr;
    return std::make_unique<EnetLink>(host, true);
}

std::unique_ptr<DpLink> DpConnectLink(DpProvider provider, const DpSessionAddress& address,
                                      int timeoutMs, HRESULT* pResult)
{
    *pResult = DPERR_NOCONNECTION;
    if (provider == DpProvider::Loopback)
    {
        auto link = std::make_unique<LoopbackLink>(false);
        if (!link->Connect(address.endpoint))
            return nullptr;
        *pResult = DP_OK;
        return link;
    }
    InitialiseEnet();
    ENetHost* host = enet_host_create(nullptr, 1, 1, 0, 0);
    if (host == nullptr)
        return nullptr;
    auto link = std::make_unique<EnetLink>(host, false);
    ENetAddress to{};
    to.host = address.host;
    to.port = address.port;
    if (!link->Connect(to, timeoutMs))
        return nullptr;
    *pResult = DP_OK;
    return link;
}

HRESULT DpQuerySessions(DpProvider provider, const GUID& application, int timeoutMs,
                        std::vector<DpFoundSession>& found)
{
    if (provider == DpProvider::Loopback)
    {
        std::vector<uint8_t> frame = QueryFrame(0, application);
        LoopbackWorld& w = World();
        std::lock_guard<std::mutex> lock(w.m);
        for (const auto& [endpoint, record] : w.published)
        {
            if (record.size() != dpwire::kSessionRecordSize)
                continue;
            if (AnswerQuery(frame.data(), frame.size(), record).empty())
                continue;
            DpFoundSession session;
            session.address.endpoint = endpoint;
            session.record = record;
            found.push_back(std::move(session));
        }
        return DP_OK;
    }

    InitialiseEnet();
    std::vector<DpSessionAddress> targets = DpUdpQueryAddresses();
    ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    if (socket == ENET_SOCKET_NULL)
        return DPERR_GENERIC;
    enet_socket_set_option(socket, ENET_SOCKOPT_NONBLOCK, 1);
    enet_socket_set_option(socket, ENET_SOCKOPT_BROADCAST, 1);
    ENetAddress any{};
    any.host = ENET_HOST_ANY;
    any.port = 0;
    if (enet_socket_bind(socket, &any) != 0)
    {
        enet_socket_destroy(socket);
        return DPERR_GENERIC;
    }
    uint32_t nonce = Nonce();
    std::vector<uint8_t> frame = QueryFrame(nonce, application);

    // The query goes out again every 250 ms, in case one is lost.
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Clock::time_point nextSend = Clock::now();
    for (;;)
    {
        if (Clock::now() >= nextSend)
        {
            for (const DpSessionAddress& target : targets)
            {
                ENetAddress to{};
                to.host = target.host;
                to.port = target.port;
                ENetBuffer buffer;
                buffer.data = frame.data();
                buffer.dataLength = frame.size();
                enet_socket_send(socket, &to, &buffer, 1);
            }
            nextSend = Clock::now() + std::chrono::milliseconds(250);
        }
        int left = MsLeft(deadline);
        if (left == 0)
            break;
        int untilSend = MsLeft(nextSend);
        enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
        if (enet_socket_wait(socket, &condition,
                             static_cast<enet_uint32>(untilSend < left ? untilSend : left)) != 0)
            break;
        if (!(condition & ENET_SOCKET_WAIT_RECEIVE))
            continue;
        for (;;)
        {
            uint8_t bytes[1500];
            ENetBuffer buffer;
            buffer.data = bytes;
            buffer.dataLength = sizeof bytes;
            ENetAddress from{};
            int got = enet_socket_receive(socket, &from, &buffer, 1);
            if (got <= 0)
                break;
            dpwire::Kind kind;
            dpwire::Reader body;
            if (!dpwire::OpenFrame(bytes, static_cast<size_t>(got), &kind, &body) ||
                kind != dpwire::kQueryReply || body.Left() != dpwire::kQueryReplySize ||
                body.U32() != nonce)
                continue;
            DpFoundSession session;
            session.address.host = from.host;
            session.address.port = from.port;
            const uint8_t* record = body.Bytes(dpwire::kSessionRecordSize);
            session.record.assign(record, record + dpwire::kSessionRecordSize);
            found.push_back(std::move(session));
        }
    }
    enet_socket_destroy(socket);
    return DP_OK;
}
