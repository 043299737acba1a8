// Diagnostics: the line log "c:\error.txt", the shared formatter, and the failure reports
// behind the check macros. A failed check never stops the program: it writes an
// "ASSERT() failed!" block to the log and the debugger output, and the caller goes on.
#pragma once

#include <cstddef>

#include "engine/include/dk_services.h"

#define DK_LOG_NAME_LENGTH 67
#define DK_MAX_TIME_STAMPS 10000

// Log.
// DkLog, DkDebugPrint, DkDebugOutput, DkFormatString, the reports and the check macros are
// declared with the other core services in engine/include/dk_services.h.
BOOL DkOpenLogFile(const char* pszFileName);
void DkDisableLog(void);
void DkSetLogFlush(BOOL boFlush);
void DkCloseLogFile(void);
// Writes bytes to the log file at a running offset of its own (nothing else uses the offset).
BOOL DkLogBinary(const void* pData, unsigned int uBytes);
// Test hook: logging is off in every normal run; DEZOR_LOG=1 in the environment, or this,
// switches it on.
void DkEnableLog(void);

// Reports.
int DkTryDDFailed(HRESULT hr, int nLine, const char* pszFile);
int DkTryD3DFailed(HRESULT hr, int nLine, const char* pszFile);
int DkReportAssert(const char* pszText, const char* pszCaption, unsigned int uStyle, int nLine,
                   const char* pszFile);

const char* DkDDErrorText(HRESULT hr);
const char* DkD3DErrorText(HRESULT hr);

// Debug text on the back buffer, at (x, y) in pixels; colour bits 0-7 are red, 8-15 blue and
// 16-23 green. The result is the display's.
HRESULT DkDebugText(const char* pszText, int nX, int nY, uint32_t uColour);
HRESULT DkDebugTextLarge(const char* pszText, int nX, int nY, uint32_t uColour);

// Time stamps of the processor's cycle counter, dumped to the log at exit.
void DkTimeStamp(const char* pszID, const char* pszDescription);
void DkDumpTimeStamps(void);

// Elapsed time since DkStartTimer, as "%lu.%.6lus".
void DkStartTimer(void);
void DkFormatElapsedTime(char* pszBuffer, size_t uSize);

// Logs the free space of a drive ("c").
void DkLogFreeDiskSpace(const char* pszDrive);

// Releases an interface with the engine's reference-count trace ("RELEASE(%s) ..."). The
// pointer is cleared once no reference is left; an owner that gives up its pointer with its
// reference passes boClearAlways, so that it can never release the object twice.
template <typename T> void DkReleaseTraced(T*& p, const char* pszName, BOOL boClearAlways = FALSE)
{
    if (p == nullptr)
    {
        DkDebugPrint(DkFormatString("RELEASE(%s) ERROR already NULL", pszName));
        return;
    }
    auto uRef = p->Release();
    if (uRef == 0)
        DkDebugPrint(DkFormatString("RELEASE(%s) Ref = 0, set to NULL", pszName));
    else
        DkDebugPrint(DkFormatString("RELEASE(%s) Ref = %d", pszName, static_cast<int>(uRef)));
    if (uRef == 0 || boClearAlways)
        p = nullptr;
}

// The DirectDraw and Direct3D check macros, beside the plain ones of dk_services.h.
inline BOOL DkCheckDD(HRESULT hr, int line, const char* file)
{
    if (hr != 0)
        DkTryDDFailed(hr, line, file);
    return hr == 0 ? TRUE : FALSE;
}
inline BOOL DkCheckD3D(HRESULT hr, int line, const char* file)
{
    if (hr != 0)
        DkTryD3DFailed(hr, line, file);
    return hr == 0 ? TRUE : FALSE;
}

#define TRYDD(hr) DkCheckDD((hr), __LINE__, __FILE__)
#define TRYD3D(hr) DkCheckD3D((hr), __LINE__, __FILE__)
