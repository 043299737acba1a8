// The attract mode and the message roll. So far only the question the tyre model asks.
#pragma once

#include <cstdint>

// Non-zero once the message roll has finished (0 until a test says otherwise).
int32_t MessageRoll_IsFinished(void);

// Test hook: what the next calls answer.
void MessageRoll_SetFinishedForTests(int32_t nFinished);
