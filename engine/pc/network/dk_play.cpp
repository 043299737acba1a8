#include "engine/pc/network/dk_play.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "engine/common/destruct.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/main.h"
#include "platform/dplay/dplay.h"

// The records keep their GUIDs in the engine's own 16-byte layout; they are copied across.
static_assert(sizeof(DK_GUID) == sizeof(GUID) && offsetof(DK_GUID, Data4) == offsetof(GUID, Data4),
              "DK_GUID has a GUID's layout");

DK_DPPROVIDER gaDpProviders[DK_MAX_DP_PROVIDERS];
DK_DPSESSION gaDpSessions[DK_MAX_DP_SESSIONS];
DK_DPPLAYER gaDpPlayers[DK_MAX_DP_PLAYERS];

namespace
{

BOOL gboInitialised = FALSE;
BOOL gboFoundProviders = FALSE;
BOOL gboFoundSessions = FALSE;
BOOL gboFoundPlayers = FALSE;
int gnNumProviders = -1;
int gnNumSessions = -1;
int gnNumPlayers = -1;
BOOL gboUsingLinkDevice = FALSE;
BOOL gboSessionRunning = FALSE;
IDirectPlay3A* gpDirectPlay = nullptr;
DPID gLocalPlayerId = 0;
const GUID* gpApplicationGuid = nullptr;
DPSESSIONDESC2 gSessionDesc;
// The name the stored description points at, kept here so that it outlives the caller's.
char gszSessionName[DP_NAME_FIELD];
DPNAME gPlayerName;
DPCAPS gDpCaps;
DPSESSIONDESC2* gpSessionDescCopy = nullptr;
unsigned char gaReceiveBuffer[DK_DP_RECEIVE_BUFFER_SIZE];
unsigned char* gpReceiveBuffer = nullptr;

// The reason texts of failed calls, by call.
enum Column
{
    kCreateSession,
    kJoinSession,
    kEnumSessions,
    kSetDesc,
    kCreatePlayer,
    kSend,
    kColumns,
};

struct ReasonRow
{
    HRESULT hr;
    const char* text[kColumns];
};

const ReasonRow kReasons[] = {
    {DPERR_UNSUPPORTED,
     {"DPERR_UNSUPPORTED", "DPERR_UNSUPPORTED", nullptr, nullptr, nullptr, nullptr}},
    {DPERR_GENERIC,
     {"Generic excuse", "DPERR_GENERIC", nullptr, nullptr, "DPERR_GENERIC", nullptr}},
    {DPERR_INVALIDPARAMS,
     {"Invalid params", "DPERR_INVALIDPARAMS", "DPERR_INVALIDPARAMS", "DPERR_INVALIDPARAMS",
      "DPERR_INVALIDPARAMS", "DPERR_INVALIDPARAMS"}},
    {DPERR_ALREADYINITIALIZED,
     {"Already initialised", "DPERR_ALREADYINITIALIZED", nullptr, nullptr, nullptr, nullptr}},
    {DPERR_ACCESSDENIED, {nullptr, nullptr, nullptr, "DPERR_ACCESSDENIED", nullptr, nullptr}},
    {DPERR_ACTIVEPLAYERS,
     {"Active players", "DPERR_ACTIVEPLAYERS", nullptr, nullptr, nullptr, nullptr}},
    {DPERR_CANTADDPLAYER, {nullptr, nullptr, nullptr, nullptr, "DPERR_CANTADDPLAYER", nullptr}},
    {DPERR_CANTCREATEPLAYER,
     {nullptr, nullptr, nullptr, nullptr, "DPERR_CANTCREATEPLAYER", nullptr}},
    {DPERR_EXCEPTION, {nullptr, nullptr, "DPERR_EXCEPTION", nullptr, nullptr, nullptr}},
    {DPERR_INVALIDFLAGS,
     {"Invalid flags", "DPERR_INVALIDFLAGS", nullptr, nullptr, nullptr, nullptr}},
    {DPERR_INVALIDOBJECT,
     {"Invalid object", "DPERR_INVALIDOBJECT", "DPERR_INVALIDOBJECT", nullptr,
      "DPERR_INVALIDOBJECT", nullptr}},
    {DPERR_INVALIDPLAYER, {nullptr, nullptr, nullptr, nullptr, nullptr, "DPERR_INVALIDPLAYER"}},
    {DPERR_NOCONNECTION, {nullptr, nullptr, nullptr, nullptr, "DPERR_NOCONNECTION", nullptr}},
    {DPERR_NOSESSIONS, {nullptr, nullptr, nullptr, "DPERR_NOSESSIONS", nullptr, nullptr}},
    {DPERR_SENDTOOBIG, {nullptr, nullptr, nullptr, nullptr, nullptr, "DPERR_SENDTOOBIG"}},
    {DPERR_UNAVAILABLE,
     {"DPERR_UNAVAILABLE", "DPERR_UNAVAILABLE", nullptr, nullptr, nullptr, nullptr}},
    {DPERR_BUSY, {nullptr, nullptr, nullptr, nullptr, nullptr, "DPERR_BUSY"}},
    {DPERR_USERCANCEL,
     {"DPERR_USERCANCEL", "DPERR_USERCANCEL", nullptr, nullptr, nullptr, nullptr}},
    {DPERR_NOTLOGGEDIN, {nullptr, nullptr, nullptr, nullptr, nullptr, "DPERR_NOTLOGGEDIN"}},
};
const char* const kOtherReason[kColumns] = {
    "Er, no good excuse given!", "Bad error!",         "Bad error!",
    "DPERR - unknown error!",    "Bad error message!", "Unknown error!",
};

const char* Reason(HRESULT hr, Column column)
{
    for (const ReasonRow& row : kReasons)
        if (row.hr == hr && row.text[column] != nullptr)
            return row.text[column];
    return kOtherReason[column];
}

// A call without an interface answers as DirectPlay does for a dead object.
bool HaveInterface()
{
    return gpDirectPlay != nullptr;
}

void CopyName(char* pDest, size_t uSize, const char* pszSource)
{
    if (pszSource == nullptr)
        pszSource = "";
    size_t n = strnlen(pszSource, uSize - 1);
    std::memcpy(pDest, pszSource, n);
    std::memset(pDest + n, 0, uSize - n);
}

DPSESSIONDESC2 FreshDesc()
{
    DPSESSIONDESC2 desc{};
    desc.dwSize = sizeof(DPSESSIONDESC2);
    if (gpApplicationGuid != nullptr)
        desc.guidApplication = *gpApplicationGuid;
    return desc;
}

void FreeSessionDescCopy()
{
    std::free(gpSessionDescCopy);
    gpSessionDescCopy = nullptr;
}

DK_GUID ToDkGuid(const GUID& guid)
{
    DK_GUID copy;
    std::memcpy(&copy, &guid, sizeof copy);
    return copy;
}

GUID ToGuid(const DK_GUID& guid)
{
    GUID copy;
    std::memcpy(&copy, &guid, sizeof copy);
    return copy;
}

BOOL ProviderCallback(LPGUID lpguidSP, LPSTR lpSPName, DWORD, DWORD, LPVOID)
{
    if (gnNumProviders >= DK_MAX_DP_PROVIDERS || lpguidSP == nullptr)
        return FALSE;
    DK_DPPROVIDER& entry = gaDpProviders[gnNumProviders];
    // At most 49 characters, so that the name keeps its terminator.
    CopyName(entry.szName, sizeof entry.szName, lpSPName);
    entry.guid = ToDkGuid(*lpguidSP);
    entry.pGuid = &entry.guid;
    DkLog(DkFormatString("Enuming GUID %d", static_cast<int>(lpguidSP->Data1)));
    const char* name = lpSPName != nullptr ? lpSPName : "";
    DkLog(DkFormatString("Enuming %s (%d)", name, static_cast<int>(std::strlen(name))));
    ++gnNumProviders;
    return TRUE;
}

BOOL SessionCallback(LPCDPSESSIONDESC2 lpThisSD, LPDWORD lpdwTimeOut, DWORD dwFlags, LPVOID)
{
    DkLog("EnumSessionsCallback called");
    if (dwFlags & DPESC_TIMEDOUT)
    {
        DkLog(DkFormatString("EnumSessionsCallback: Timeout (%d)",
                             lpdwTimeOut != nullptr ? static_cast<int>(*lpdwTimeOut) : 0));
        DkLog(DkFormatString("EnumSessionsCallback: flags (%d)", static_cast<int>(dwFlags)));
        return FALSE;
    }
    if (lpThisSD == nullptr || gnNumSessions >= DK_MAX_DP_SESSIONS)
        return TRUE; // the table is full: the rest are not kept
    DK_DPSESSION& entry = gaDpSessions[gnNumSessions];
    CopyName(entry.szName, sizeof entry.szName, lpThisSD->lpszSessionNameA);
    entry.guid = ToDkGuid(lpThisSD->guidInstance);
    entry.pGuid = &entry.guid;
    ++gnNumSessions;
    return TRUE;
}

BOOL PlayerCallback(DPID dpId, DWORD, LPCDPNAME lpName, DWORD, LPVOID)
{
    if (gnNumPlayers >= DK_MAX_DP_PLAYERS)
        return FALSE;
    DK_DPPLAYER& entry = gaDpPlayers[gnNumPlayers];
    CopyName(entry.szFirstName, sizeof entry.szFirstName,
             lpName != nullptr ? lpName->lpszLongNameA : nullptr);
    CopyName(entry.szSecondName, sizeof entry.szSecondName,
             lpName != nullptr ? lpName->lpszShortNameA : nullptr);
    entry.id = dpId;
    ++gnNumPlayers;
    return TRUE;
}

// After a create or a join: the description read back and shown.
void LogSessionOpened()
{
    gboSessionRunning = TRUE;
    if (DkGetSessionDesc() == DP_OK && gpSessionDescCopy != nullptr)
    {
        DkLog("Session description:");
        DkLog(
            DkFormatString("dwMaxPlayers: %d", static_cast<int>(gpSessionDescCopy->dwMaxPlayers)));
        DkLog(DkFormatString("dwCurrentPlayers: %d",
                             static_cast<int>(gpSessionDescCopy->dwCurrentPlayers)));
    }
    else
        DkLog("Could not get session description");
}

void LogError(const char* pszLead, const char* pszNumber, HRESULT hr, Column column)
{
    if (pszLead != nullptr)
        DkLog(pszLead);
    if (pszNumber != nullptr)
        DkLog(DkFormatString(pszNumber, static_cast<unsigned>(hr)));
    DkLog(Reason(hr, column));
}

int StoreSessionDesc()
{
    HRESULT hr =
        HaveInterface() ? gpDirectPlay->SetSessionDesc(&gSessionDesc, 0) : DPERR_INVALIDOBJECT;
    if (hr == DP_OK)
        return 1;
    LogError(nullptr, nullptr, hr, kSetDesc);
    DKREPORT("AllowOthersToJoinSession: FAILED");
    return 0;
}

bool Registered(DK_DESTRUCTOR_FN pfn)
{
    for (int i = 0; i < gnNumDestructors; ++i)
        if (gaDestructors[i].pfnCallback == pfn)
            return true;
    return false;
}

} // namespace

void DkInitPlay(void)
{
    gboInitialised = TRUE;
    // The front end arms the module again after each CloseLink; one registration serves.
    if (!Registered(CloseLink))
        DkAddDestructor(CloseLink, "CloseLink");
    gpReceiveBuffer = gaReceiveBuffer;
}

void DkSetSessionGuid(const GUID* pGuid)
{
    gpApplicationGuid = pGuid;
}

HRESULT DkEnumServiceProviders(void)
{
    gnNumProviders = 0;
    HRESULT hr = DirectPlayEnumerateA(ProviderCallback, ghWnd);
    gboFoundProviders = TRUE;
    return hr;
}

int DkGetNumServiceProviders(void)
{
    return gnNumProviders;
}

const char* DkGetServiceProviderName(int n)
{
    if (!gboFoundProviders || n < 0 || n >= gnNumProviders)
        return nullptr;
    return gaDpProviders[n].szName;
}

HRESULT CreateDirectPlayInterface(const GUID* pGuid, IDirectPlay3A** ppInterface)
{
    HRESULT hr = DPERR_GENERIC;
    DkLog("Trying CreateDirectPlayInterface");
    DkLog(DkFormatString("With GUID %d", pGuid != nullptr ? static_cast<int>(pGuid->Data1) : 0));
    if (!gboInitialised)
        DKREPORT("InitDkPlay() should have been called before creating directplayinterfaces!");
    DkLog("Past trybool");
    if (ppInterface == nullptr)
        return DPERR_INVALIDPARAMS;
    LPDIRECTPLAY pFirst = nullptr;
    GUID guid = pGuid != nullptr ? *pGuid : GUID_NULL;
    hr = DirectPlayCreate(&guid, &pFirst, nullptr);
    DkLog("Ok, tried to create that interface...");
    if (hr != DP_OK)
    {
        DkLog("Failed to get DirectPlay 1.0 Interface");
        return hr;
    }
    DkLog("Trying to get a Direct Play 2 Interface");
    IDirectPlay3A* pInterface = nullptr;
    hr = pFirst->QueryInterface(IID_IDirectPlay3A, reinterpret_cast<void**>(&pInterface));
    DkLog("Ok, tried to get a Dplay2 interface...");
    if (hr != DP_OK)
        DkLog("Failed to get DirectPlay 3A Interface");
    else
    {
        DkLog("Wahay! Got a DPlay2 Interface!");
        *ppInterface = pInterface;
    }
    DkReleaseTraced(pFirst, "lpDirectPlay1");
    return hr;
}

int UseLinkDevice(int n)
{
    if (gboUsingLinkDevice)
    {
        DKREPORT("UseLinkDevice: already using a DPlay device!");
        // The device in use gives way rather than being lost with its session.
        if (gpDirectPlay != nullptr)
            DkReleaseTraced(gpDirectPlay, "lpDirectPlay3A", TRUE);
        gboUsingLinkDevice = FALSE;
        gboSessionRunning = FALSE;
    }
    if (!gboFoundProviders || n < 0 || n >= gnNumProviders)
    {
        DkLog("Can't use link device : Link Devices not found/number incorrect");
        DkLog(DkFormatString("found dev? %d , dev number: %d", gboFoundProviders, n));
        return 0;
    }
    if (gpDirectPlay != nullptr)
        DkReleaseTraced(gpDirectPlay, "lpDirectPlay3A", TRUE);
    const GUID provider = ToGuid(*gaDpProviders[n].pGuid);
    if (CreateDirectPlayInterface(&provider, &gpDirectPlay) != DP_OK)
    {
        DkLog("Can't use link device : CreateDirectPlayInterface failed");
        return 0;
    }
    std::memset(&gDpCaps, 0, sizeof gDpCaps);
    gDpCaps.dwSize = sizeof gDpCaps;
    if (gpDirectPlay->GetCaps(&gDpCaps, 0) != DP_OK)
    {
        DkLog("Could not retrieve capabilities");
        return 1;
    }
    DkLog("----------------------------------------");
    DkLog("DPLAY2 INTERFACE:");
    DkLog("");
    DkLog(DkFormatString("DPCaps.dwMaxBufferSize: %d", static_cast<int>(gDpCaps.dwMaxBufferSize)));
    DkLog(DkFormatString("DPCaps.dwMaxQueueSize: %d", static_cast<int>(gDpCaps.dwMaxQueueSize)));
    DkLog(DkFormatString("DPCaps.dwMaxPlayers: %d", static_cast<int>(gDpCaps.dwMaxPlayers)));
    DkLog(DkFormatString("DPCaps.dwHundredBaud: %d", static_cast<int>(gDpCaps.dwHundredBaud)));
    DkLog(DkFormatString("DPCaps.dwLatency: %d", static_cast<int>(gDpCaps.dwLatency)));
    DkLog(DkFormatString("DPCaps.dwMaxLocalPlayers: %d",
                         static_cast<int>(gDpCaps.dwMaxLocalPlayers)));
    DkLog(DkFormatString("DPCaps.dwHeaderLength: %d", static_cast<int>(gDpCaps.dwHeaderLength)));
    DkLog(DkFormatString("DPCaps.dwTimeout: %d", static_cast<int>(gDpCaps.dwTimeout)));
    DkLog("Flags");
    DkLog(DkFormatString("\tDPCAPS_GROUPOPTIMIZED: %d",
                         static_cast<int>(gDpCaps.dwFlags & DPCAPS_GROUPOPTIMIZED)));
    DkLog(DkFormatString("\tDPCAPS_GUARANTEEDOPTIMIZED: %d",
                         static_cast<int>(gDpCaps.dwFlags & DPCAPS_GUARANTEEDOPTIMIZED)));
    DkLog(DkFormatString("\tDPCAPS_GUARANTEEDSUPPORTED: %d",
                         static_cast<int>(gDpCaps.dwFlags & DPCAPS_GUARANTEEDSUPPORTED)));
    DkLog(DkFormatString("\tDPCAPS_ISHOST: %d", static_cast<int>(gDpCaps.dwFlags & DPCAPS_ISHOST)));
    DkLog(DkFormatString("\tDPCAPS_KEEPALIVEOPTIMIZED: %d",
                         static_cast<int>(gDpCaps.dwFlags & DPCAPS_KEEPALIVEOPTIMIZED)));
    gboUsingLinkDevice = TRUE;
    return 1;
}

HRESULT DkEnumSessions(void)
{
    gnNumSessions = 0;
    DPSESSIONDESC2 desc = FreshDesc();
    HRESULT hr = HaveInterface() ? gpDirectPlay->EnumSessions(&desc, 0, SessionCallback, ghWnd,
                                                              DPENUMSESSIONS_AVAILABLE)
                                 : DPERR_INVALIDOBJECT;
    if (hr != DP_OK)
        LogError("Couldn't find sessions because of -", "Error number %u - ", hr, kEnumSessions);
    else
        DkLog("Found sessions");
    gboFoundSessions = TRUE;
    return hr;
}

int DkGetNumSessions(void)
{
    return gnNumSessions;
}

const char* DkGetSessionName(int n)
{
    if (!gboFoundSessions || n < 0 || n >= gnNumSessions)
        return nullptr;
    return gaDpSessions[n].szName;
}

int DkCreateSession(const char* pszName, int nMaxPlayers)
{
    gSessionDesc = FreshDesc();
    gSessionDesc.dwFlags = DPSESSION_MIGRATEHOST | DPSESSION_KEEPALIVE;
    gSessionDesc.dwMaxPlayers = static_cast<DWORD>(nMaxPlayers);
    CopyName(gszSessionName, sizeof gszSessionName, pszName);
    gSessionDesc.lpszSessionNameA = gszSessionName;
    HRESULT hr =
        HaveInterface() ? gpDirectPlay->Open(&gSessionDesc, DPOPEN_CREATE) : DPERR_INVALIDOBJECT;
    if (hr != DP_OK)
    {
        LogError("Failed to create session - reason:", "Error number %u - ", hr, kCreateSession);
        return 0;
    }
    DkLog("Created session");
    LogSessionOpened();
    return 1;
}

int DkJoinSession(int n)
{
    if (!gboFoundSessions || n < 0 || n >= gnNumSessions)
    {
        DkLog("(fFoundCurrentSession) && (number<nCurrentSession) FALSE");
        return 0;
    }
    gSessionDesc = FreshDesc();
    gSessionDesc.guidInstance = ToGuid(gaDpSessions[n].guid);
    HRESULT hr =
        HaveInterface() ? gpDirectPlay->Open(&gSessionDesc, DPOPEN_JOIN) : DPERR_INVALIDOBJECT;
    if (hr != DP_OK)
    {
        LogError("Couldn't join session because of:", "Error number %u - ", hr, kJoinSession);
        return 0;
    }
    DkLog("*** JOINED SESSION ****");
    LogSessionOpened();
    return 1;
}

HRESULT DkGetSessionDesc(void)
{
    FreeSessionDescCopy();
    if (!HaveInterface())
        return DPERR_GENERIC;
    DWORD size = 0;
    HRESULT hr = gpDirectPlay->GetSessionDesc(nullptr, &size);
    if (hr != DPERR_BUFFERTOOSMALL)
        return hr != DP_OK ? hr : DPERR_GENERIC;
    gpSessionDescCopy = static_cast<DPSESSIONDESC2*>(std::calloc(1, size));
    if (gpSessionDescCopy == nullptr || size < sizeof(DPSESSIONDESC2))
    {
        FreeSessionDescCopy();
        DkLog("Could not get session description");
        return E_OUTOFMEMORY;
    }
    hr = gpDirectPlay->GetSessionDesc(gpSessionDescCopy, &size);
    DkLog("Tried to get session description");
    if (hr != DP_OK)
        FreeSessionDescCopy();
    return hr;
}

int AllowOthersToJoinSession(BOOL boAllow)
{
    if (boAllow)
        gSessionDesc.dwFlags &= ~DPSESSION_JOINDISABLED;
    else
        gSessionDesc.dwFlags |= DPSESSION_JOINDISABLED;
    return StoreSessionDesc();
}

int DkSetSessionDesc(const char* pszName, int nMaxPlayers, DWORD dwFlags)
{
    if (pszName != nullptr)
    {
        CopyName(gszSessionName, sizeof gszSessionName, pszName);
        gSessionDesc.lpszSessionNameA = gszSessionName;
    }
    gSessionDesc.dwMaxPlayers = static_cast<DWORD>(nMaxPlayers);
    gSessionDesc.dwFlags = dwFlags;
    return StoreSessionDesc();
}

static_assert(DK_DP_SESSION_JOIN_DISABLED == DPSESSION_JOINDISABLED);

DWORD DkGetSessionFlags(void)
{
    return gSessionDesc.dwFlags;
}

void DkHandleSystemMessage(const void* pMessage, DWORD uSize)
{
    if (DpReadU32(pMessage, uSize, dpsys::kType) != DPSYS_SETSESSIONDESC)
        return;
    // The description's pointers mean nothing outside the sender, so the stored name stays.
    const unsigned char* bytes = static_cast<const unsigned char*>(pMessage);
    DpReadSessionDesc(bytes + dpsys::kSessionDesc, uSize - dpsys::kSessionDesc, &gSessionDesc);
}

int CloseSession(void)
{
    if (!gboSessionRunning)
        DKREPORT("CloseSession: Session not already running");
    HRESULT hr = HaveInterface() ? gpDirectPlay->Close() : DPERR_INVALIDOBJECT;
    if (hr != DP_OK)
    {
        DkLog("Couldn't close session");
        return 0;
    }
    DkLog("*** Closed session!****");
    gboSessionRunning = FALSE;
    return 1;
}

int DkCreatePlayer(const char* pszFirstName, const char* pszSecondName, DPID* pId, HANDLE hEvent)
{
    gPlayerName.dwSize = sizeof(DPNAME);
    gPlayerName.dwFlags = 0;
    gPlayerName.lpszShortNameA = const_cast<char*>(pszSecondName);
    gPlayerName.lpszLongNameA = const_cast<char*>(pszFirstName);
    HRESULT hr = HaveInterface() ? gpDirectPlay->CreatePlayer(&gLocalPlayerId, &gPlayerName, hEvent,
                                                              nullptr, 0, 0)
                                 : DPERR_INVALIDOBJECT;
    if (hr != DP_OK)
    {
        DkLog("Couldn't create player beacuse of:");
        DkLog(DkFormatString("Error number %d - ", static_cast<int>(hr)));
        DkLog(Reason(hr, kCreatePlayer));
        return 0;
    }
    DkLog("***CREATED PLAYER !****");
    if (pId != nullptr)
        *pId = gLocalPlayerId;
    DkEnumPlayers();
    return 1;
}

int DkDestroyPlayer(DPID id)
{
    HRESULT hr = HaveInterface() ? gpDirectPlay->DestroyPlayer(id) : DPERR_INVALIDOBJECT;
    if (hr != DP_OK)
    {
        DkLog("Couldn't destroy player");
        return 0;
    }
    DkLog("***DESTROYED PLAYER !****");
    DkEnumPlayers();
    return 1;
}

void DkEnumPlayers(void)
{
    gnNumPlayers = 0;
    if (HaveInterface())
        gpDirectPlay->EnumPlayers(nullptr, PlayerCallback, ghWnd, 0);
    gboFoundPlayers = TRUE;
}

int DkGetNumPlayers(void)
{
    return gnNumPlayers;
}

const char* DkGetPlayerShortName(int n)
{
    if (!gboFoundPlayers || n < 0 || n >= gnNumPlayers)
        return nullptr;
    return gaDpPlayers[n].szFirstName;
}

const char* DkGetPlayerLongName(int n)
{
    if (!gboFoundPlayers || n < 0 || n >= gnNumPlayers)
        return nullptr;
    return gaDpPlayers[n].szSecondName;
}

DPID DkGetPlayerId(int nIndex)
{
    if (nIndex < 0 || nIndex >= gnNumPlayers)
        return 0;
    return gaDpPlayers[nIndex].id;
}

int DkGetPlayerIndex(DPID id)
{
    if (id == 0)
        return DK_DP_NO_PLAYER;
    for (int i = 0; i < gnNumPlayers; ++i)
        if (gaDpPlayers[i].id == id)
            return i;
    DKREPORT("Could not find player no. from player ID");
    return DK_DP_NO_PLAYER;
}

DPID DkFindSessionHost(void)
{
    for (int i = 0; i < gnNumPlayers; ++i)
    {
        DPCAPS caps{};
        caps.dwSize = sizeof caps;
        HRESULT hr = HaveInterface() ? gpDirectPlay->GetPlayerCaps(gaDpPlayers[i].id, &caps, 0)
                                     : DPERR_INVALIDOBJECT;
        if (hr != DP_OK)
        {
            DkLog("Could not retrieve capabilities");
            return 0;
        }
        if (caps.dwFlags & DPCAPS_ISHOST)
            return gaDpPlayers[i].id;
    }
    DKREPORT("COULD NOT FIND A HOST FOR DK_PLAY SESSION!");
    return 0;
}

int DkSendData(const void* pData, DWORD uSize, DWORD dwFlags, DPID idTo)
{
    HRESULT hr = HaveInterface() ? gpDirectPlay->Send(gLocalPlayerId, idTo, dwFlags,
                                                      const_cast<void*>(pData), uSize)
                                 : DPERR_INVALIDOBJECT;
    if (hr != DP_OK)
    {
        LogError("Couldn't send data because of", nullptr, hr, kSend);
        return 0;
    }
    return 1;
}

namespace
{
// The capacity handed to DirectPlay never exceeds the receive buffer.
DWORD Capacity(const DWORD* puSize)
{
    if (puSize == nullptr)
        return 0;
    return *puSize < DK_DP_RECEIVE_BUFFER_SIZE ? *puSize : DK_DP_RECEIVE_BUFFER_SIZE;
}

// One message into the receive buffer; `to` selects the player for DPRECEIVE_TOPLAYER.
int Receive(DWORD dwFlags, DPID to, void** ppData, DWORD* puSize, DPID* pTo, DPID* pFrom)
{
    DPID from = 0;
    DWORD size = Capacity(puSize);
    HRESULT hr = HaveInterface() && puSize != nullptr
                     ? gpDirectPlay->Receive(&from, &to, dwFlags, gpReceiveBuffer, &size)
                     : DPERR_INVALIDOBJECT;
    if (pTo != nullptr)
        *pTo = to;
    if (pFrom != nullptr)
        *pFrom = from;
    if (puSize != nullptr)
        *puSize = size;
    if (hr != DP_OK)
        return 0;
    if (ppData != nullptr)
        *ppData = gpReceiveBuffer;
    return 1;
}
} // namespace

int DkReceiveAny(void** ppData, DWORD* puSize, DPID* pTo, DPID* pFrom)
{
    return Receive(DPRECEIVE_ALL, 0, ppData, puSize, pTo, pFrom);
}

int DkReceiveForPlayer(void** ppData, DWORD* puSize, DPID* pFrom)
{
    return Receive(DPRECEIVE_TOPLAYER, gLocalPlayerId, ppData, puSize, nullptr, pFrom);
}

DWORD DkGetLinkLatency(void)
{
    return gDpCaps.dwLatency;
}

DWORD DkGetLinkMaxBufferSize(void)
{
    return gDpCaps.dwMaxBufferSize;
}

BOOL CloseLink(void)
{
    DkLog("Closing direct play link device");
    if (gpDirectPlay != nullptr)
        DkReleaseTraced(gpDirectPlay, "lpDirectPlay3A", TRUE);
    FreeSessionDescCopy();
    gboUsingLinkDevice = FALSE;
    gboFoundProviders = FALSE;
    gboFoundSessions = FALSE;
    gboFoundPlayers = FALSE;
    gboSessionRunning = FALSE;
    gnNumProviders = -1;
    gnNumSessions = -1;
    gnNumPlayers = -1;
    return TRUE;
}

const DPSESSIONDESC2* DkGetStoredSessionDesc(void)
{
    return &gSessionDesc;
}

void DkResetPlayForTests(void)
{
    gboInitialised = FALSE;
    gpReceiveBuffer = nullptr;
}
