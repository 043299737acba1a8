#include "game/hud/rs_main.h"

#include "engine/pc/core/dk_file.h"

int32_t gnSchoolAttempts = 0;

namespace
{
int gnSaveCalls = 0;
int gnPassLineCalls = 0;
int32_t gnLastLine = 0;
int gnLeaveCalls = 0;
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

BOOL School_Init(const char* pszPath)
{
    return DkGetFileSize(pszPath, DKLF_AS_GIVEN) != 0 ? TRUE : FALSE;
}

void School_Leave(void)
{
    ++gnLeaveCalls;
}

int School_GetLeaveCallsForTests(void)
{
    return gnLeaveCalls;
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
    gnLeaveCalls = 0;
    gnSchoolAttempts = 0;
}

void School_UpdateInGame(void) {}

void School_CheckRunEnd(void) {}

void School_DrawLapsLeft(void) {}

void School_DrawStateMessage(void) {}

void School_DrawAttemptsLeft(void) {}

BOOL School_IsOsdShown(void)
{
    return FALSE;
}

BOOL School_IsRunActive(void)
{
    return FALSE;
}

int32_t School_GetStep(void)
{
    return 0;
}

void School_SetLessonOptions(void) {}

int32_t School_PlayIntroPan(void)
{
    return 0;
}

int32_t School_PlayExitPan(void)
{
    return 0;
}

void School_RestorePlayerInfo(void) {}

void School_NumberLines(void*, int32_t) {}

void School_LoadKeyHelpImage(void) {}
