#include "game/race/snapshot.h"

BOOL Snapshot_IsEnabled(void)
{
    return FALSE;
}

void Snapshot_MoveMarker(int) {}
