// The network transport under network play: service providers ("link devices"), the sessions
// found, and the players of the current session, behind plain calls over three tables. It
// moves byte buffers between player ids; the only message it reads is the session-description
// change that the system sends. Every step logs its progress.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

#define DK_MAX_DP_PROVIDERS 10
#define DK_MAX_DP_SESSIONS 10
#define DK_MAX_DP_PLAYERS 17
#define DK_DP_PROVIDER_NAME_LENGTH 50
#define DK_DP_SESSION_NAME_LENGTH 52
#define DK_DP_FIRST_NAME_LENGTH 25
#define DK_DP_SECOND_NAME_LENGTH 15
#define DK_DP_RECEIVE_BUFFER_SIZE 20480
// Player index that means no player.
#define DK_DP_NO_PLAYER 128

struct DK_DPPROVIDER
{
    DK_GUID* pGuid; // this entry's own copy
    DK_GUID guid;
    char szName[DK_DP_PROVIDER_NAME_LENGTH];
};

struct DK_DPSESSION
{
    DK_GUID* pGuid;
    DK_GUID guid; // the session's instance
    char szName[DK_DP_SESSION_NAME_LENGTH];
};

struct DK_DPPLAYER
{
    DPID id;
    char szFirstName[DK_DP_FIRST_NAME_LENGTH];   // the player's DirectPlay long name
    char szSecondName[DK_DP_SECOND_NAME_LENGTH]; // its short name
};

extern DK_DPPROVIDER gaDpProviders[DK_MAX_DP_PROVIDERS];
extern DK_DPSESSION gaDpSessions[DK_MAX_DP_SESSIONS];
extern DK_DPPLAYER gaDpPlayers[DK_MAX_DP_PLAYERS];

void DkInitPlay(void);
void DkSetSessionGuid(const GUID* pGuid);

HRESULT DkEnumServiceProviders(void);
int DkGetNumServiceProviders(void);
const char* DkGetServiceProviderName(int n);
int UseLinkDevice(int n);
HRESULT CreateDirectPlayInterface(const GUID* pGuid, IDirectPlay3A** ppInterface);

HRESULT DkEnumSessions(void);
int DkGetNumSessions(void);
const char* DkGetSessionName(int n);
int DkCreateSession(const char* pszName, int nMaxPlayers);
int DkJoinSession(int n);
HRESULT DkGetSessionDesc(void);
int AllowOthersToJoinSession(BOOL boAllow);
int DkSetSessionDesc(const char* pszName, int nMaxPlayers, DWORD dwFlags);
// The session's flags as this machine keeps them (DK_DP_SESSION_JOIN_DISABLED: closed to
// joiners).
DWORD DkGetSessionFlags(void);
#define DK_DP_SESSION_JOIN_DISABLED 0x00000020u
// A system message as received, with its size.
void DkHandleSystemMessage(const void* pMessage, DWORD uSize);
int CloseSession(void);

int DkCreatePlayer(const char* pszFirstName, const char* pszSecondName, DPID* pId, HANDLE hEvent);
int DkDestroyPlayer(DPID id);
void DkEnumPlayers(void);
int DkGetNumPlayers(void);
const char* DkGetPlayerShortName(int n); // the first name
const char* DkGetPlayerLongName(int n);  // the second name
DPID DkGetPlayerId(int nIndex);
int DkGetPlayerIndex(DPID id);
DPID DkFindSessionHost(void);

int DkSendData(const void* pData, DWORD uSize, DWORD dwFlags, DPID idTo);
// *puSize in: the caller's capacity (at most DK_DP_RECEIVE_BUFFER_SIZE), out: the message's
// size. The message stays valid until the next receive.
int DkReceiveAny(void** ppData, DWORD* puSize, DPID* pTo, DPID* pFrom);
int DkReceiveForPlayer(void** ppData, DWORD* puSize, DPID* pFrom);

DWORD DkGetLinkLatency(void);
DWORD DkGetLinkMaxBufferSize(void);
BOOL CloseLink(void);

// Test hook: the session description as the module keeps it.
const DPSESSIONDESC2* DkGetStoredSessionDesc(void);
// Test hook: the module as before DkInitPlay (call after CloseLink).
void DkResetPlayForTests(void);
