// A DirectPlay-3-shaped network transport: service providers, sessions, players, guaranteed
// and plain messages between player ids, and the system messages of the session.
//
// Two service providers:
//   - UDP, built on ENet. A host listens on one UDP port; the joiners connect to it and every
//     message goes through the host, which relays it to the machines of its addressees. When
//     the host leaves, the others lose the session (DPSYS_SESSIONLOST); the host does not
//     migrate.
//     A host answers a query only when the query is as large as its reply, so that a forged
//     source address draws no more bytes than it sent. It holds more connections than a
//     session has machines, lets go a connection not completed within 2 s or not joined within
//     5 s, and lets one address hold only a few such at a time (a new request past that lets
//     that address's oldest go), so that connections that never finish cannot lock a joiner
//     out.
//   - Loopback: sessions inside this process only, for a single machine and for tests.
//
// Settings of the UDP provider, read whenever a session is created or sessions are looked for:
//   DEZOR_DPLAY_PORT   the UDP port a host listens on and a query is sent to (default 28650).
//   DEZOR_DPLAY_HOSTS  where EnumSessions looks for sessions: addresses separated by commas or
//                      spaces, each a host name or IPv4 address (a broadcast address such as
//                      192.168.1.255 reaches a whole network) with an optional ":port"
//                      (default "127.0.0.1").
//
// Each object serves its session on a thread of its own, so a host answers queries and joins
// and keeps its links alive while the game is busy; every call locks the object, so the game's
// two threads may both call it. Enumeration callbacks run with the object unlocked and may call
// it. Plain C++ classes stand for the COM interfaces; Release() returns the count of references
// left.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ddraw/ddraw.h"
#include "platform/win/wintypes.h"

typedef DWORD DPID;
typedef DPID* LPDPID;

#define DPID_SYSMSG 0u
#define DPID_ALLPLAYERS 0u
#define DPID_SERVERPLAYER 1u

// Results.
#define MAKE_DPHRESULT(n) ((HRESULT)(0x88770000u + (n)))
#define DP_OK S_OK
#define DPERR_ALREADYINITIALIZED MAKE_DPHRESULT(5)
#define DPERR_ACCESSDENIED MAKE_DPHRESULT(10)
#define DPERR_ACTIVEPLAYERS MAKE_DPHRESULT(20)
#define DPERR_BUFFERTOOSMALL MAKE_DPHRESULT(30)
#define DPERR_CANTADDPLAYER MAKE_DPHRESULT(40)
#define DPERR_CANTCREATEPLAYER MAKE_DPHRESULT(60)
#define DPERR_EXCEPTION MAKE_DPHRESULT(90)
#define DPERR_GENERIC E_FAIL
#define DPERR_INVALIDFLAGS MAKE_DPHRESULT(120)
#define DPERR_INVALIDOBJECT MAKE_DPHRESULT(130)
#define DPERR_INVALIDPARAMS E_INVALIDARG
#define DPERR_INVALIDPLAYER MAKE_DPHRESULT(150)
#define DPERR_NOCONNECTION MAKE_DPHRESULT(170)
#define DPERR_NOINTERFACE E_NOINTERFACE
#define DPERR_NOMESSAGES MAKE_DPHRESULT(190)
#define DPERR_NOSESSIONS MAKE_DPHRESULT(220)
#define DPERR_SENDTOOBIG MAKE_DPHRESULT(230)
#define DPERR_TIMEOUT MAKE_DPHRESULT(240)
#define DPERR_UNAVAILABLE MAKE_DPHRESULT(250)
#define DPERR_UNSUPPORTED E_NOTIMPL
#define DPERR_BUSY MAKE_DPHRESULT(270)
#define DPERR_USERCANCEL MAKE_DPHRESULT(280)
#define DPERR_SESSIONLOST MAKE_DPHRESULT(310)
#define DPERR_UNINITIALIZED MAKE_DPHRESULT(320)
#define DPERR_NONEWPLAYERS MAKE_DPHRESULT(330)
#define DPERR_NOTLOGGEDIN MAKE_DPHRESULT(2070)

// Open.
#define DPOPEN_JOIN 0x00000001u
#define DPOPEN_CREATE 0x00000002u

// Session flags.
#define DPSESSION_NEWPLAYERSDISABLED 0x00000001u
#define DPSESSION_MIGRATEHOST 0x00000004u
#define DPSESSION_NOMESSAGEID 0x00000008u
#define DPSESSION_JOINDISABLED 0x00000020u
#define DPSESSION_KEEPALIVE 0x00000040u

// EnumSessions.
#define DPENUMSESSIONS_AVAILABLE 0x00000001u
#define DPENUMSESSIONS_ALL 0x00000002u
#define DPESC_TIMEDOUT 0x00000001u

// Send and Receive.
#define DPSEND_GUARANTEED 0x00000001u
#define DPSEND_HIGHPRIORITY 0x00000002u
#define DPRECEIVE_ALL 0x00000001u
#define DPRECEIVE_TOPLAYER 0x00000002u
#define DPRECEIVE_FROMPLAYER 0x00000004u
#define DPRECEIVE_PEEK 0x00000008u

// Capability flags (provider and player).
#define DPCAPS_ISHOST 0x00000002u
#define DPCAPS_GROUPOPTIMIZED 0x00000008u
#define DPCAPS_KEEPALIVEOPTIMIZED 0x00000010u
#define DPCAPS_GUARANTEEDOPTIMIZED 0x00000020u
#define DPCAPS_GUARANTEEDSUPPORTED 0x00000040u

#define DPPLAYERTYPE_PLAYER 0x00000001u

// Limits: names keep 49 characters and a terminator in their 50-byte fields; a message may be
// as large as the engine's receive buffer; a session holds at most DP_MAX_PLAYERS players.
#define DP_NAME_FIELD 50
#define DP_MAX_MESSAGE_SIZE 20480u
#define DP_MAX_PLAYERS 16u

// The messages waiting for Receive are bounded, so that a machine sending faster than the game
// reads cannot grow this one's memory without end. They are counted per sending player and in
// total, a host's and a joiner's alike:
//   - a plain message that would pass DP_QUEUE_PLAYER_* for its sender or DP_QUEUE_TOTAL_* is
//     dropped, as plain messages may be lost anyway;
//   - a guaranteed message is still kept up to twice those bounds (the hard bounds); one that
//     would pass them is not queued and the machine it came from is let go, logged on standard
//     error: a host drops that joiner (its players leave the session), a joiner drops its host
//     (DPSYS_SESSIONLOST). Between players of this machine a full queue drops the message;
//   - system messages are always queued: they keep the player list true, and are small.
// A game that calls Receive as messages come never meets the bounds.
#define DP_QUEUE_PLAYER_MESSAGES 2048u
#define DP_QUEUE_PLAYER_BYTES (4u * 1024u * 1024u)
#define DP_QUEUE_TOTAL_MESSAGES 8192u
#define DP_QUEUE_TOTAL_BYTES (16u * 1024u * 1024u)

extern const GUID GUID_NULL;
extern const IID IID_IDirectPlay;
extern const IID IID_IDirectPlay3A;
extern const GUID DPSPGUID_UDP;
extern const GUID DPSPGUID_LOOPBACK;

struct DPCAPS
{
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwMaxBufferSize;
    DWORD dwMaxQueueSize;
    DWORD dwMaxPlayers;
    DWORD dwHundredBaud;
    DWORD dwLatency;
    DWORD dwMaxLocalPlayers;
    DWORD dwHeaderLength;
    DWORD dwTimeout;
};
static_assert(sizeof(DPCAPS) == 40);

// 80 bytes in the 32-bit layout (DPSESSIONDESC2_SIZE_32) and on the wire; larger here because
// of the two pointers. dwSize may be either.
struct DPSESSIONDESC2
{
    DWORD dwSize;
    DWORD dwFlags;
    GUID guidInstance;
    GUID guidApplication;
    DWORD dwMaxPlayers;
    DWORD dwCurrentPlayers;
    LPSTR lpszSessionNameA;
    LPSTR lpszPasswordA;
    DWORD dwReserved1;
    DWORD dwReserved2;
    DWORD dwUser1;
    DWORD dwUser2;
    DWORD dwUser3;
    DWORD dwUser4;
};
typedef DPSESSIONDESC2* LPDPSESSIONDESC2;
typedef const DPSESSIONDESC2* LPCDPSESSIONDESC2;
#define DPSESSIONDESC2_SIZE_32 80u

// 16 bytes in the 32-bit layout (DPNAME_SIZE_32); dwSize may be either.
struct DPNAME
{
    DWORD dwSize;
    DWORD dwFlags;
    LPSTR lpszShortNameA;
    LPSTR lpszLongNameA;
};
typedef DPNAME* LPDPNAME;
typedef const DPNAME* LPCDPNAME;
#define DPNAME_SIZE_32 16u

// ---- System messages ----
//
// Receive hands them over from DPID_SYSMSG, one copy addressed to each local player (to 0 when
// there is none). Their bytes are little-endian; every message begins with its type word.
//
//   DPSYS_CREATEPLAYERORGROUP, 120 bytes: another machine created a player.
//       0 type, 4 player type (DPPLAYERTYPE_PLAYER), 8 player id, 12 players now in the
//       session, 16 flags (0), 20 short name char[50], 70 long name char[50]
//   DPSYS_DESTROYPLAYERORGROUP, 12 bytes: a player of another machine is gone (destroyed, or
//       its machine left the session).
//       0 type, 4 player type, 8 player id
//   DPSYS_SESSIONLOST, 4 bytes: the host has gone; only this machine's players are left.
//   DPSYS_HOST, 4 bytes: this machine is now the host (never sent: hosts do not migrate).
//   DPSYS_SETSESSIONDESC, 84 bytes: the host changed the session description.
//       0 type, 4 the description in its 80-byte layout (below)
//
// The 80-byte session description: 0 size (80), 4 flags, 8 instance GUID, 24 application
// GUID, 40 maximum players, 44 current players, 48 and 52 the name and password pointers
// (always 0 here: GetSessionDesc gives the name), 56 reserved 1, 60 reserved 2, 64 user 1,
// 68 user 2, 72 user 3, 76 user 4. A GUID is its first word, two 16-bit words and 8 bytes.
#define DPSYS_CREATEPLAYERORGROUP 0x0003u
#define DPSYS_DESTROYPLAYERORGROUP 0x0005u
#define DPSYS_SESSIONLOST 0x0031u
#define DPSYS_HOST 0x0101u
#define DPSYS_SETSESSIONDESC 0x0104u

namespace dpsys
{
constexpr size_t kType = 0;
constexpr size_t kPlayerType = 4;
constexpr size_t kPlayerId = 8;
constexpr size_t kCurrentPlayers = 12;
constexpr size_t kCreateFlags = 16;
constexpr size_t kShortName = 20;
constexpr size_t kLongName = kShortName + DP_NAME_FIELD;
constexpr size_t kCreatePlayerSize = kLongName + DP_NAME_FIELD;
constexpr size_t kDestroyPlayerSize = 12;
constexpr size_t kSessionLostSize = 4;
constexpr size_t kHostSize = 4;
constexpr size_t kSessionDesc = 4;
constexpr size_t kSetSessionDescSize = kSessionDesc + DPSESSIONDESC2_SIZE_32;

// The description's fields.
constexpr size_t kDescSize = 0;
constexpr size_t kDescFlags = 4;
constexpr size_t kDescInstance = 8;
constexpr size_t kDescApplication = 24;
constexpr size_t kDescMaxPlayers = 40;
constexpr size_t kDescCurrentPlayers = 44;
constexpr size_t kDescName = 48;
constexpr size_t kDescPassword = 52;
constexpr size_t kDescReserved1 = 56;
constexpr size_t kDescUser1 = 64;

static_assert(kCreatePlayerSize == 120);
static_assert(kSetSessionDescSize == 84);
static_assert(kDescUser1 + 4 * 4 == DPSESSIONDESC2_SIZE_32);
} // namespace dpsys

// Little-endian reading and writing of system messages and descriptions. The readers check
// the size they are given: a short buffer reads as 0 / FALSE.
DWORD DpReadU32(const void* pData, size_t uSize, size_t uOffset);
void DpWriteSessionDesc(const DPSESSIONDESC2* pDesc, BYTE* pOut80);
// Fills every field but the name and password pointers, which it leaves alone.
BOOL DpReadSessionDesc(const void* pData, size_t uSize, DPSESSIONDESC2* pDesc);

// ---- Interfaces ----

typedef BOOL (*LPDPENUMDPCALLBACKA)(LPGUID lpguidSP, LPSTR lpSPName, DWORD dwMajorVersion,
                                    DWORD dwMinorVersion, LPVOID lpContext);
typedef BOOL (*LPDPENUMSESSIONSCALLBACK2)(LPCDPSESSIONDESC2 lpThisSD, LPDWORD lpdwTimeOut,
                                          DWORD dwFlags, LPVOID lpContext);
typedef BOOL (*LPDPENUMPLAYERSCALLBACK2)(DPID dpId, DWORD dwPlayerType, LPCDPNAME lpName,
                                         DWORD dwFlags, LPVOID lpContext);

class IDirectPlay
{
public:
    virtual ~IDirectPlay() = default;
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObj) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};
typedef IDirectPlay* LPDIRECTPLAY;

class IDirectPlay3A : public IDirectPlay
{
public:
    // lpConnection is a service provider's GUID; an object made by DirectPlayCreate with a
    // provider is already initialised.
    virtual HRESULT InitializeConnection(LPVOID lpConnection, DWORD dwFlags) = 0;
    virtual HRESULT GetCaps(DPCAPS* lpDPCaps, DWORD dwFlags) = 0;
    // dwTimeout 0 takes the provider's own time-out (GetCaps' dwTimeout, ms). The callback is
    // called once per session found, then with DPESC_TIMEDOUT; answering TRUE to that looks
    // again for *lpdwTimeOut ms.
    virtual HRESULT EnumSessions(LPDPSESSIONDESC2 lpsd, DWORD dwTimeout,
                                 LPDPENUMSESSIONSCALLBACK2 lpEnumSessionsCallback2,
                                 LPVOID lpContext, DWORD dwFlags) = 0;
    // DPOPEN_CREATE with the description of a new session, or DPOPEN_JOIN with the instance
    // GUID of one that EnumSessions found.
    virtual HRESULT Open(LPDPSESSIONDESC2 lpsd, DWORD dwFlags) = 0;
    virtual HRESULT Close() = 0;
    // The description followed by its name; *lpdwDataSize in: the buffer's size, out: the size
    // needed (DPERR_BUFFERTOOSMALL when it does not fit or lpData is NULL).
    virtual HRESULT GetSessionDesc(LPVOID lpData, LPDWORD lpdwDataSize) = 0;
    // Host only: flags, maximum players, name, password and user words.
    virtual HRESULT SetSessionDesc(LPDPSESSIONDESC2 lpSessDesc, DWORD dwFlags) = 0;
    virtual HRESULT CreatePlayer(LPDPID lpidPlayer, LPDPNAME lpPlayerName, HANDLE hEvent,
                                 LPVOID lpData, DWORD dwDataSize, DWORD dwFlags) = 0;
    virtual HRESULT DestroyPlayer(DPID idPlayer) = 0;
    // The players of the current session in the order they were created.
    virtual HRESULT EnumPlayers(LPGUID lpguidInstance,
                                LPDPENUMPLAYERSCALLBACK2 lpEnumPlayersCallback2, LPVOID lpContext,
                                DWORD dwFlags) = 0;
    virtual HRESULT GetPlayerCaps(DPID idPlayer, DPCAPS* lpPlayerCaps, DWORD dwFlags) = 0;
    // From a local player to a player or to DPID_ALLPLAYERS (everyone but the sender), plain
    // (0) or DPSEND_GUARANTEED, optionally DPSEND_HIGHPRIORITY. Guaranteed messages from one
    // player arrive whole and in order. Every send leaves at once, so DPSEND_HIGHPRIORITY
    // is taken and changes nothing.
    virtual HRESULT Send(DPID idFrom, DPID idTo, DWORD dwFlags, LPVOID lpData,
                         DWORD dwDataSize) = 0;
    // Takes the oldest message (DPRECEIVE_ALL), or the oldest to *lpidTo (DPRECEIVE_TOPLAYER)
    // and/or from *lpidFrom (DPRECEIVE_FROMPLAYER); DPRECEIVE_PEEK leaves it queued.
    // DPERR_NOMESSAGES when there is none; DPERR_BUFFERTOOSMALL (size needed in
    // *lpdwDataSize) leaves it queued.
    virtual HRESULT Receive(LPDPID lpidFrom, LPDPID lpidTo, DWORD dwFlags, LPVOID lpData,
                            LPDWORD lpdwDataSize) = 0;
};
typedef IDirectPlay3A* LPDIRECTPLAY3A;

// Lists the providers: UDP, then loopback.
HRESULT DirectPlayEnumerateA(LPDPENUMDPCALLBACKA lpEnumDPCallback, LPVOID lpContext);
// With a provider GUID the object is ready for sessions; with NULL or GUID_NULL it waits for
// InitializeConnection. Answers IDirectPlay; QueryInterface gives IID_IDirectPlay3A.
HRESULT DirectPlayCreate(LPGUID lpGUIDSP, LPDIRECTPLAY* lplpDP, void* pUnk);
