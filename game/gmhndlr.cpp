// The game handler: the game's per-pass entry and its state machine.

#include "engine/include/dk_services.h"

BOOL gboGameDisplayReady = FALSE;
BOOL gboLoadingScreenUp = FALSE;

namespace
{
int gnGameState = 0;
}

int GetGameState(void)
{
    return gnGameState;
}
