// The attract mode and the message roll. So far the question the tyre model asks
// and the podium's set-up calls.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// Non-zero once the message roll has finished (0 until a test says otherwise).
int32_t MessageRoll_IsFinished(void);

// Test hook: what the next calls answer.
void MessageRoll_SetFinishedForTests(int32_t nFinished);

// The donut replay under the game root ("<name>.DNT"). Counted so far.
void LoadDonutReplay(const char* pszName);
// Sets the message roll up; with boEnabled its reward lines too. Counted so far.
void MessageRoll_Init(BOOL boEnabled);
int Attract_GetDonutLoadsForTests(void);
int MessageRoll_GetInitCallsForTests(void);
void Attract_ResetForTests(void);
