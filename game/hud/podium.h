// The podium. So far only whether its replays have played, as a test sets it.
#pragma once

#include "engine/include/dk_types.h"

// Whether the podium's replays are done. FALSE so far.
BOOL Podium_IsReplayDone(void);

// Test hook: what Podium_IsReplayDone answers.
void Podium_SetReplayDoneForTests(BOOL boDone);

// Sets up the podium scene.
void Podium_Init(void);
// Draws the podium.
void Podium_Draw(void);
// While the stage loads: the podium's three replays, and the two podium cars' nodes. Nothing yet.
void Podium_LoadReplays(void);
void Podium_FindCarNodes(void);
