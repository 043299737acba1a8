// The core services of engine/include/dk_services.h for tests that link engine/common alone,
// without engine/pc or the platform: the debugger output and reports go to standard error in
// the engine's shape, the log nowhere, and there is no timer thread and no display.

#include <cstdarg>
#include <cstdio>

#include "engine/include/dk_services.h"

namespace
{
thread_local char t_szFormatBuffer[DK_FORMAT_BUFFER_SIZE];
thread_local BOOL t_boInSection = FALSE;

int Report(const char* pszKind, const char* pszMessage, int nLine, const char* pszFile)
{
    std::fprintf(stderr, "ASSERT() failed!\n%s failed on line %d, in file %s\n\n%s\n\n", pszKind,
                 nLine, pszFile != nullptr ? pszFile : "", pszMessage != nullptr ? pszMessage : "");
    return 0;
}
} // namespace

BOOL DkLog(const char*)
{
    return TRUE;
}

BOOL DkDebugPrint(const char*)
{
    return TRUE;
}

void DkDebugOutput(const char* pszText)
{
    if (pszText != nullptr)
        std::fputs(pszText, stderr);
}

char* DkFormatString(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(t_szFormatBuffer, sizeof t_szFormatBuffer, pszFormat != nullptr ? pszFormat : "",
                   args);
    va_end(args);
    return t_szFormatBuffer;
}

int DkTryBoolFailed(const char* pszMessage, int nLine, const char* pszFile)
{
    return Report("TRYBOOL", pszMessage, nLine, pszFile);
}

int DkTryFuncBoolFailed(const char* pszMessage, int nLine, const char* pszFile)
{
    return Report("TRYFUNCBOOL", pszMessage, nLine, pszFile);
}

void DkEnterCriticalSection(void)
{
    t_boInSection = TRUE;
}

int DkExitCriticalSection(void)
{
    t_boInSection = FALSE;
    return 0;
}

BOOL DkIsInCriticalSection(void)
{
    return t_boInSection;
}

BOOL DkIsTimerThread(void)
{
    return FALSE;
}

void DkMarkDirectDrawForRelease(void) {}

void DkDestroyDisplay(void) {}
