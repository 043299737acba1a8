// A stand-in for the network lobby and wait menus until the menus exist, driven by the
// environment (a test hook, also usable by hand):
//
//   DEZOR_NET=host:N      create a session on the UDP provider and wait for N players in all
//   DEZOR_NET=join        look for a session (DEZOR_DPLAY_HOSTS, DEZOR_DPLAY_PORT) and join it
//   DEZOR_NET_TIMEOUT=S   seconds to wait for the game to start (default 60)
//
// Every machine sends its player record; each stores the others' in the remote slots. A joiner
// that holds every record says so; the host, once N players are in the session, it holds every
// record and every joiner has said so, sends the game settings and starts; a joiner starts on
// the settings. A failure or the time running out is reported on standard error and the
// program ends with status 1.
#pragma once

#include "engine/include/dk_types.h"

enum NetLobbyStatus
{
    NETLOBBY_OFF,     // no network game asked for
    NETLOBBY_WAITING, // the exchange goes on
    NETLOBBY_START,   // the game starts now
    NETLOBBY_FAILED,  // reported; the program is to end as a failure
};

// Reads DEZOR_NET and, when it asks for a network game, opens the link (and, for a host, the
// session and its player). Call before the front end's display is set up, so that the link
// outlives the display's teardown. NETLOBBY_OFF, NETLOBBY_WAITING or NETLOBBY_FAILED.
NetLobbyStatus NetLobby_Begin(void);
// One pass of the exchange: every message waiting is taken. NETLOBBY_START once (the settings
// are in the game data, gboNetworkGame is set), then NETLOBBY_OFF.
NetLobbyStatus NetLobby_Update(void);
