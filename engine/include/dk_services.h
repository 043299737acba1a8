// The core services every engine module may call: the log, the debugger output, the shared
// formatter, the failure reports behind the check macros, the critical section between the
// main thread and the timer thread, and the display's teardown that a heap reset runs first.
// engine/common calls them through this header alone; engine/pc implements them (the log and
// reports in core/dk_debug, the section in core/dk_timer, the teardown in display/2dinit), so
// nothing in engine/common sees the platform. A test of engine/common alone links its own.
#pragma once

#include "engine/include/dk_types.h"

#define DK_FORMAT_BUFFER_SIZE 520
#define DK_REPORT_BUFFER_SIZE 512

// Writes a line to the log file "c:\error.txt" while logging is on.
BOOL DkLog(const char* pszText);

// Traces that are compiled in but go nowhere.
BOOL DkDebugPrint(const char* pszText);

// The debugger output.
void DkDebugOutput(const char* pszText);

// Formats into one buffer per thread (DK_FORMAT_BUFFER_SIZE bytes, longer output is cut) and
// returns it; the text is valid until this thread's next call.
char* DkFormatString(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));

// Reports. A failed check never stops the program: it writes an "ASSERT() failed!" block to
// the log and the debugger output, and the caller goes on.
int DkTryBoolFailed(const char* pszMessage, int nLine, const char* pszFile);
int DkTryFuncBoolFailed(const char* pszMessage, int nLine, const char* pszFile);

// The check macros. Each yields TRUE when the check passed; a failure is reported with the
// line and source file of the check and yields FALSE.
inline BOOL DkCheckBool(BOOL ok, const char* msg, int line, const char* file)
{
    if (!ok)
        DkTryBoolFailed(msg, line, file);
    return ok ? TRUE : FALSE;
}

#define TRYBOOL(cond) DkCheckBool((cond) ? TRUE : FALSE, NULL, __LINE__, __FILE__)
#define TRYBOOL_MSG(cond, msg) DkCheckBool((cond) ? TRUE : FALSE, (msg), __LINE__, __FILE__)
#define TRYFUNCBOOL(cond) (((cond) ? TRUE : (DkTryFuncBoolFailed(NULL, __LINE__, __FILE__), FALSE)))
// A plain error message, reported where it stands.
#define DKREPORT(msg) DkTryBoolFailed((msg), __LINE__, __FILE__)

// The critical section, the one guard between the main thread and the timer thread. Entering
// waits for a tick already running on the timer thread. The section does not nest: the first
// exit ends it, and returns the result of a deferred tick it ran, else 0. On the timer thread
// both do nothing: a running tick already excludes the main thread's section.
void DkEnterCriticalSection(void);
int DkExitCriticalSection(void);

// Whether the section is held, and whether the caller is the timer thread.
BOOL DkIsInCriticalSection(void);
BOOL DkIsTimerThread(void);

// The display's teardown: marks its interfaces for release, then calls the destroy callbacks
// down to and including the display's. Objects on the heaps die with it, so a heap reset
// runs it first.
void DkMarkDirectDrawForRelease(void);
void DkDestroyDisplay(void);
