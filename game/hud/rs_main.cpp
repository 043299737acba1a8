#include "game/hud/rs_main.h"

int32_t gnSchoolAttempts = 0;

namespace
{
int gnSaveCalls = 0;
int gnPassLineCalls = 0;
int32_t gnLastLine = 0;
} // namespace

void School_SavePlayerInfo(void)
{
    ++gnSaveCalls;
}

void School_PassLine(int32_t nLine)
{
    ++gnPassLineCalls;
    gnLastLine = nLine;
}

int School_GetSaveCallsForTests(void)
{
    return gnSaveCalls;
}

int School_GetPassLineCallsForTests(void)
{
    return gnPassLineCalls;
}

int32_t School_GetLastLineForTests(void)
{
    return gnLastLine;
}

void School_ResetForTests(void)
{
    gnSaveCalls = 0;
    gnPassLineCalls = 0;
    gnLastLine = 0;
    gnSchoolAttempts = 0;
}
