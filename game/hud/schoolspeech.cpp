#include "game/hud/schoolspeech.h"

namespace
{
int gnSeverityCalls = 0;
int32_t gxLastSeverity = 0;
} // namespace

void SchoolSpeech_SetCollisionSeverity(const int32_t* pxDamage)
{
    ++gnSeverityCalls;
    gxLastSeverity = pxDamage != nullptr ? *pxDamage : 0;
}

int SchoolSpeech_GetSeverityCallsForTests(void)
{
    return gnSeverityCalls;
}

int32_t SchoolSpeech_GetLastSeverityForTests(void)
{
    return gxLastSeverity;
}

void SchoolSpeech_ResetForTests(void)
{
    gnSeverityCalls = 0;
    gxLastSeverity = 0;
}

void SchoolSpeech_PlayQueued(void) {}

void SchoolSpeech_SayTotalMark(void) {}

void SchoolSpeech_PlayIntro(void) {}

int32_t SchoolSpeech_GetChannel(void)
{
    return 0;
}
