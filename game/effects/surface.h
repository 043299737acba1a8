// The surface table and the stage's surface survey. So far the survey's loader, which the
// stage loading hands the ".srf" file.
#pragma once

#include <cstdint>

// The survey file's bytes (NULL and 0 when the stage has none); keeps nothing yet (records the
// call).
void Surface_LoadSurvey(const uint8_t* pBytes, uint32_t uSize);

// Test hooks: the calls since the reset.
int Surface_GetLoadCallsForTests(void);
void Surface_ResetForTests(void);
