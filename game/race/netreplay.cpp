#include "game/race/netreplay.h"

void NetReplay_Record(void) {}

void NetReplay_Play(void) {}

void NetReplay_ResetRecording(void) {}

void NetReplay_ResetPlayback(void) {}
