// What the transport's parts share: the links that carry frames between one host and its
// joiners (UDP over ENet, or queues inside this process), session discovery, and test hooks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dplay/dplay.h"

enum class DpProvider
{
    None,
    Udp,
    Loopback,
};

struct DpLinkEvent
{
    enum class Type
    {
        Connect,
        Receive,
        Disconnect,
    };
    Type type;
    uint32_t peer;
    std::vector<uint8_t> data;
};

// Where a session was found: an IPv4 address and port, or a loopback host.
struct DpSessionAddress
{
    uint32_t host = 0; // network byte order, as ENet keeps it
    uint16_t port = 0;
    uint32_t endpoint = 0;
};

// One end of a session's links. A host has one peer per joiner; a joiner has one peer, the
// host. Calls come with the owning object locked, except Wait.
class DpLink
{
public:
    virtual ~DpLink() = default;
    virtual void Send(uint32_t peer, const std::vector<uint8_t>& frame, bool reliable) = 0;
    // Takes what has arrived, without waiting.
    virtual void Poll(std::vector<DpLinkEvent>& events) = 0;
    // Waits up to ms for something to arrive (called without the object's lock).
    virtual void Wait(int ms) = 0;
    // Sends what is queued for the peer, then lets it go.
    virtual void DropPeer(uint32_t peer) = 0;
    // Host: the peer has joined the session (until then it is held to the bounds on machines
    // that connect and do not join).
    virtual void Admit(uint32_t) {}
    // Host: the session record that answers queries.
    virtual void Publish(const std::vector<uint8_t>& sessionRecord) = 0;
    // Tells every peer that this end is leaving and frees the link.
    virtual void Shutdown() = 0;
};

// The UDP settings (DEZOR_DPLAY_PORT, DEZOR_DPLAY_HOSTS).
uint16_t DpUdpPort(void);
std::vector<DpSessionAddress> DpUdpQueryAddresses(void);

// A host's link; NULL when the port cannot be had.
std::unique_ptr<DpLink> DpCreateHostLink(DpProvider provider, uint16_t port);
// A joiner's link, connected to the host within timeoutMs; NULL (and *pResult) otherwise.
std::unique_ptr<DpLink> DpConnectLink(DpProvider provider, const DpSessionAddress& address,
                                      int timeoutMs, HRESULT* pResult);

struct DpFoundSession
{
    DpSessionAddress address;
    std::vector<uint8_t> record; // the session record, checked for its size
};
// Asks for sessions of the application (GUID_NULL: any) for timeoutMs and gives the answers
// (several from one host are possible; the caller keeps one per instance).
HRESULT DpQuerySessions(DpProvider provider, const GUID& application, int timeoutMs,
                        std::vector<DpFoundSession>& found);

// ---- Test hooks ----

enum class DpCall
{
    GetCaps,
    EnumSessions,
    Open,
    Close,
    GetSessionDesc,
    SetSessionDesc,
    CreatePlayer,
    DestroyPlayer,
    EnumPlayers,
    GetPlayerCaps,
    Send,
    Receive,
    Create, // DirectPlayCreate
    QueryInterface,
};

// The next call of this kind on any object answers hr and does nothing else.
void DpFailNextCallForTests(DpCall call, HRESULT hr);
// Extra providers listed after the real ones; they work as the loopback provider.
void DpAddProviderForTests(const GUID& guid, const char* pszName);
// The bytes of the messages an object holds for Receive.
size_t DpQueuedBytesForTests(IDirectPlay3A* dp);
// How long a host lets a connected machine be before it joins.
void DpSetJoinWindowForTests(int ms);
// Clears all of the above.
void DpResetTestHooks(void);
