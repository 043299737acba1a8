#include "game/race/netplay.h"

BOOL gboNetworkGame = FALSE;
NetPlayer gaNetPlayer[NETPLAY_PLAYERS];
