// Log file, formatter and failure reports.

#include "engine/pc/core/dk_debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <ctime>

#include "engine/pc/display/2dinit.h"
#include "engine/pc/core/dk_timer.h"
#include "platform/ddraw/ddraw.h"
#include "platform/fs/fs.h"
#include "platform/time/time.h"
#include "platform/win/win.h"

namespace
{

// Log state.
char gszLogFileName[DK_LOG_NAME_LENGTH + 1];
HANDLE ghLogFile = INVALID_HANDLE_VALUE;
BOOL gboLogOpen = FALSE;
BOOL gboLogDisabled = TRUE;
BOOL gboLogFlush = TRUE;
DWORD guLogBinaryOffset = 0;
// Two threads may log; a line is written in three pieces and must not be torn.
std::mutex gLogLock;

// The formatter's buffer. One per thread, so that a report composed on the timer thread
// cannot overwrite a text the main thread is still using.
thread_local char gszFormatBuffer[DK_FORMAT_BUFFER_SIZE];

struct DK_TIMESTAMP
{
    char szID[20];
    char szDescription[52];
    uint32_t uCycles;
};
DK_TIMESTAMP gaTimeStamps[DK_MAX_TIME_STAMPS];
int gnNumTimeStamps = 1; // record 0 is never used

HFONT ghDebugFont = nullptr;
HFONT ghDebugFontLarge = nullptr;

LONGLONG gllTimerStart;
LONGLONG gllTimerFrequency;

const char kBangs[] = "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"; // 48

struct ErrorText
{
    uint32_t code;
    const char* text;
};

constexpr uint32_t D3D_CODE(uint32_t n)
{
    return 0x88760000u + n;
}

const ErrorText kD3DErrors[] = {
    {0, "No error."},
    {D3D_CODE(700), "Bad Major Version."},
    {D3D_CODE(701), "Bad Minor Version."},
    {D3D_CODE(710), "Execute Create Failed."},
    {D3D_CODE(711), "Execute Destroy Failed."},
    {D3D_CODE(712), "Execute Lock failed."},
    {D3D_CODE(713), "Execute Unlock Failed."},
    {D3D_CODE(714), "Execute Locked."},
    {D3D_CODE(715), "Execute Not Locked."},
    {D3D_CODE(716), "Execute Failed."},
    {D3D_CODE(717), "Execute Clipped Failed."},
    {D3D_CODE(720), "Texture No Support."},
    {D3D_CODE(721), "Texture Create Failed."},
    {D3D_CODE(722), "Texture Destroy Failed."},
    {D3D_CODE(723), "Texture Lock Failed."},
    {D3D_CODE(724), "Texture Unlock Failed."},
    {D3D_CODE(725), "Texture Load Failed."},
    {D3D_CODE(726), "Texture Swap Failed."},
    {D3D_CODE(727), "Texture Locked."},
    {D3D_CODE(728), "Texture Not Locked."},
    {D3D_CODE(729), "Texture Get Surface Failed."},
    {D3D_CODE(730), "Material Create Failed."},
    {D3D_CODE(731), "Matrix Destroy Failed."},
    {D3D_CODE(732), "Matrix SetData Failed."},
    {D3D_CODE(733), "Matrix GetData Failed."},
    {D3D_CODE(734), "Set ViewPort Data Failed."},
    {D3D_CODE(740), "Material Create Failed."},
    {D3D_CODE(741), "Material Destroy Failed."},
    {D3D_CODE(742), "Material SetData Failed."},
    {D3D_CODE(743), "Material GetData Failed."},
    {D3D_CODE(750), "Light Set Failed."},
    {D3D_CODE(760), "Scene in Scene."},
    {D3D_CODE(761), "Scene Not In Scene."},
    {D3D_CODE(762), "Scene Begin Failed."},
    {D3D_CODE(763), "Scene End Failed."},
};

const ErrorText kDDErrors[] = {
    {0, "No error."},
    {0x80004001u, "Action not supported."},
    {0x80004005u, "Generic failure."},
    {0x8007000Eu, "DirectDraw does not have enough memory to perform the operation."},
    {0x80070057u, "One or more of the parameters passed to the function are incorrect."},
    {D3D_CODE(5), "This object is already initialized."},
    {D3D_CODE(10), "This surface can not be attached to the requested surface."},
    {D3D_CODE(20), "This surface can not be detached from the requested surface."},
    {D3D_CODE(40), "Support is currently not available."},
    {D3D_CODE(55), "An exception was encountered while performing the requested operation."},
    {D3D_CODE(90), "Height of rectangle provided is not a multiple of the required alignment."},
    {D3D_CODE(95), "Unable to match primary surface creation request with existing primary "
                   "surface."},
    {D3D_CODE(100), "One or more of the capability bits passed to the callback are incorrect."},
    {D3D_CODE(110), "DirectDraw does not support the provided cliplist."},
    {D3D_CODE(120), "DirectDraw does not support the requested mode."},
    {D3D_CODE(130), "DirectDraw received a pointer that was an invalid DIRECTDRAW object."},
    {D3D_CODE(145), "The pixel format was invalid as specified."},
    {D3D_CODE(150), "Rectangle provided was invalid."},
    {D3D_CODE(160), "Operation could not be carried out because one or more surfaces are "
                    "locked."},
    {D3D_CODE(170), "There is no 3D present."},
    {D3D_CODE(180), "Operation could not be carried out because there is no alpha accleration "
                    "hardware present or available."},
    {D3D_CODE(205), "No clip list available."},
    {D3D_CODE(210), "Operation could not be carried out because there is no color conversion "
                    "hardware present or available."},
    {D3D_CODE(212), "Create function called without DirectDraw object method SetCooperativeLevel "
                    "being called."},
    {D3D_CODE(215), "Surface doesn't currently have a color key."},
    {D3D_CODE(220), "Operation could not be carried out because there is no hardware support of "
                    "the destination color key."},
    {D3D_CODE(225), "Operation requires the application to have exclusive mode but the "
                    "application does not have exclusive mode."},
    {D3D_CODE(230), "Flipping visible surfaces is not supported."},
    {D3D_CODE(240), "There is no GDI present."},
    {D3D_CODE(250), "Operation could not be carried out because there is no hardware present or "
                    "available."},
    {D3D_CODE(255), "Requested item was not found."},
    {D3D_CODE(260), "Operation could not be carried out because there is no overlay hardware "
                    "present or available."},
    {D3D_CODE(280), "Operation could not be carried out because there is no appropriate raster op "
                    "hardware present or available."},
    {D3D_CODE(290), "Operation could not be carried out because there is no rotation hardware "
                    "present or available."},
    {D3D_CODE(310), "Operation could not be carried out because there is no hardware support for "
                    "stretching."},
    {D3D_CODE(316), "DirectDrawSurface is not in 4 bit color palette and the requested operation "
                    "requires 4 bit color palette."},
    {D3D_CODE(317), "DirectDrawSurface is not in 4 bit color index palette and the requested "
                    "operation requires 4 bit color index palette."},
    {D3D_CODE(320), "DirectDrawSurface is not in 8 bit color mode and the requested operation "
                    "requires 8 bit color."},
    {D3D_CODE(330), "Operation could not be carried out because there is no texture mapping "
                    "hardware present or available."},
    {D3D_CODE(335), "Operation could not be carried out because there is no hardware support for "
                    "vertical blank synchronized operations."},
    {D3D_CODE(340), "Operation could not be carried out because there is no hardware support for "
                    "zbuffer blitting."},
    {D3D_CODE(350), "Overlay surfaces could not be z layered based on their BltOrder because the "
                    "hardware does not support z layering of overlays."},
    {D3D_CODE(360), "The hardware needed for the requested operation has already been "
                    "allocated."},
    {D3D_CODE(380), "DirectDraw does not have enough memory to perform the operation."},
    {D3D_CODE(382), "The hardware does not support clipped overlays."},
    {D3D_CODE(384), "Can only have ony color key active at one time for overlays."},
    {D3D_CODE(387), "Access to this palette is being refused because the palette is already "
                    "locked by another thread."},
    {D3D_CODE(400), "No src color key specified for this operation."},
    {D3D_CODE(410), "This surface is already attached to the surface it is being attached to."},
    {D3D_CODE(420), "This surface is already a dependency of the surface it is being made a "
                    "dependency of."},
    {D3D_CODE(430), "Access to this surface is being refused because the surface is already "
                    "locked by another thread."},
    {D3D_CODE(440), "Access to this surface is being refused because no driver exists which can "
                    "supply a pointer to the surface."},
    {D3D_CODE(450), "Access to Surface refused because Surface is obscured."},
    {D3D_CODE(460), "Access to this surface is being refused because the surface memory is gone. "
                    "The DirectDrawSurface object representing this surface should have Restore "
                    "called on it."},
    {D3D_CODE(470), "The requested surface is not attached."},
    {D3D_CODE(480), "Height requested by DirectDraw is too large."},
    {D3D_CODE(490), "Size requested by DirectDraw is too large, but the individual height and "
                    "width are OK."},
    {D3D_CODE(510), "Width requested by DirectDraw is too large."},
    {D3D_CODE(520), "FOURCC format requested is unsupported by DirectDraw."},
    {D3D_CODE(537), "Bitmask in the pixel format requested is unsupported by DirectDraw."},
    {D3D_CODE(540), "Vertical blank is in progress."},
    {D3D_CODE(560), "Informs DirectDraw that the previous Blt which is transfering information to "
                    "or from this Surface is incomplete."},
    {D3D_CODE(561), "The requested operation needs a surface of a kind that was not supplied."},
    {D3D_CODE(562), "Rectangle provided was not horizontally aligned on required boundary."},
    {D3D_CODE(563), "The GUID passed to DirectDrawCreate is not a valid DirectDraw driver "
                    "identifier."},
    {D3D_CODE(564), "A DirectDraw object representing this driver has already been created for "
                    "this process."},
    {D3D_CODE(565), "A hardware-only DirectDraw object creation was attempted but the driver did "
                    "not support any hardware."},
    {D3D_CODE(566), "This process already has created a primary surface."},
    {D3D_CODE(567), "Software emulation not available."},
    {D3D_CODE(568), "Region passed to Clipper::GetClipList is too small."},
    {D3D_CODE(569), "An attempt was made to set a cliplist for a clipper object that is already "
                    "monitoring an hwnd."},
    {D3D_CODE(570), "No clipper object attached to surface object."},
    {D3D_CODE(571), "Clipper notification requires an HWND or no HWND has previously been set as "
                    "the CooperativeLevel HWND."},
    {D3D_CODE(572), "HWND used by DirectDraw CooperativeLevel has been subclassed, this prevents "
                    "DirectDraw from restoring state."},
    {D3D_CODE(573), "The CooperativeLevel HWND has already been set. It can not be reset while the "
                    "process has surfaces or palettes created."},
    {D3D_CODE(574), "No palette object attached to this surface."},
    {D3D_CODE(575), "No hardware support for 16 or 256 color palettes."},
    {D3D_CODE(576), "If a clipper object is attached to the source surface passed into a BltFast "
                    "call."},
    {D3D_CODE(577), "No blitter."},
    {D3D_CODE(578), "No DirectDraw raster operation (ROP) hardware is available."},
    {D3D_CODE(579), "Returned when GetOverlayPosition is called on a hidden overlay."},
    {D3D_CODE(580), "Returned when GetOverlayPosition is called on an overlay whose "
                    "UpdateOverlay has never been called to establish a destination."},
    {D3D_CODE(581), "Returned when the position of the overlay on the destination is no longer "
                    "legal for that destination."},
    {D3D_CODE(582), "Returned when an overlay member is called for a non-overlay surface."},
    {D3D_CODE(583), "An attempt was made to set the cooperative level when it was already set to "
                    "exclusive."},
    {D3D_CODE(584), "An attempt has been made to flip a surface that is not flippable."},
    {D3D_CODE(585), "Can't duplicate primary & 3D surfaces, or surfaces that are implicitly "
                    "created."},
    {D3D_CODE(586), "Surface was not locked. An attempt to unlock a surface that was not locked "
                    "at all, or by this process, has been attempted."},
    {D3D_CODE(587), "Windows can not create any more DCs."},
    {D3D_CODE(588), "No DC was ever created for this surface."},
    {D3D_CODE(589), "This surface can not be restored because it was created in a different "
                    "mode."},
};

const char* LookUp(const ErrorText* table, size_t count, HRESULT hr, const char* unknown)
{
    uint32_t code = static_cast<uint32_t>(hr);
    for (size_t i = 0; i < count; ++i)
        if (table[i].code == code)
            return table[i].text;
    return unknown;
}

// Copies at most size - 1 characters and always terminates.
void CopyCut(char* to, size_t size, const char* from)
{
    std::snprintf(to, size, "%s", from != nullptr ? from : "");
}

int ComposeAndReport(const char* caption, const char* message, int nLine, const char* pszFile,
                     const char* withMessage, const char* withoutMessage)
{
    char message512[DK_REPORT_BUFFER_SIZE];
    char text[DK_REPORT_BUFFER_SIZE];
    const char* file = pszFile != nullptr ? pszFile : "";
    if (message != nullptr)
    {
        CopyCut(message512, sizeof message512, message);
        std::snprintf(text, sizeof text, withMessage, nLine, file, message512);
    }
    else
    {
        std::snprintf(text, sizeof text, withoutMessage, nLine, file);
    }
    return DkReportAssert(text, caption, 0, nLine, file);
}

// Creates the font on first use and draws the text on the back buffer with it.
HRESULT DrawDebugText(HFONT* phFont, LONG lHeight, LONG lWeight, const char* pszFace,
                      const char* pszText, int nX, int nY, uint32_t uColour)
{
    if (*phFont == nullptr)
    {
        LOGFONTA font{};
        font.lfHeight = lHeight;
        font.lfWeight = lWeight;
        font.lfCharSet = DEFAULT_CHARSET;
        font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
        std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", pszFace);
        *phFont = CreateFontIndirectA(&font);
        if (*phFont == nullptr)
            DKREPORT("DkDebugText() : Failed to create font");
    }
    IDirectDrawSurface* lpBack = d2d->BackSurface.lpSurface;
    if (lpBack == nullptr)
        return DDERR_INVALIDOBJECT;
    HDC hdc = nullptr;
    HRESULT hr = lpBack->GetDC(&hdc);
    if (hr != DD_OK)
        return hr;
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, RGB(uColour & 0xFF, (uColour >> 16) & 0xFF, (uColour >> 8) & 0xFF));
    HGDIOBJ old = SelectObject(hdc, *phFont);
    const char* text = pszText != nullptr ? pszText : "";
    TextOutA(hdc, nX, nY, text, static_cast<int>(std::strlen(text)));
    SelectObject(hdc, old);
    hr = lpBack->ReleaseDC(hdc);
    TRYDD(hr);
    return hr;
}

} // namespace

HRESULT DkDebugText(const char* pszText, int nX, int nY, uint32_t uColour)
{
    return DrawDebugText(&ghDebugFont, 12, 100, "Arial", pszText, nX, nY, uColour);
}

HRESULT DkDebugTextLarge(const char* pszText, int nX, int nY, uint32_t uColour)
{
    return DrawDebugText(&ghDebugFontLarge, (d2d->nWidth / 480) * 24, 700, "Comic Sans MS", pszText,
                         nX, nY, uColour);
}

BOOL DkOpenLogFile(const char* pszFileName)
{
    CopyCut(gszLogFileName, sizeof gszLogFileName, pszFileName);
    if (const char* on = std::getenv("DEZOR_LOG"); on != nullptr && on[0] != '\0' && on[0] != '0')
        gboLogDisabled = FALSE;
    std::lock_guard<std::mutex> lock(gLogLock);
    ghLogFile = CreateFileA(gszLogFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ghLogFile == INVALID_HANDLE_VALUE)
    {
        gboLogOpen = FALSE;
        return FALSE;
    }
    gboLogOpen = TRUE;
    guLogBinaryOffset = 0;
    return TRUE;
}

BOOL DkLog(const char* pszText)
{
    if (gboLogDisabled)
        return TRUE;
    std::lock_guard<std::mutex> lock(gLogLock);
    if (!gboLogOpen)
        return FALSE;
    DWORD written = 0;
    const char* text = pszText != nullptr ? pszText : "";
    // Write errors of the log are ignored: there is nowhere else to report them.
    WriteFile(ghLogFile, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    WriteFile(ghLogFile, "\r", 1, &written, nullptr);
    WriteFile(ghLogFile, "\n", 1, &written, nullptr);
    if (gboLogFlush)
        FlushFileBuffers(ghLogFile);
    return TRUE;
}

BOOL DkLogBinary(const void* pData, unsigned int uBytes)
{
    std::lock_guard<std::mutex> lock(gLogLock);
    if (!gboLogOpen || pData == nullptr)
        return FALSE;
    DWORD written = 0;
    if (SetFilePointer(ghLogFile, static_cast<LONG>(guLogBinaryOffset), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER ||
        !WriteFile(ghLogFile, pData, uBytes, &written, nullptr))
        return FALSE;
    guLogBinaryOffset += written;
    SetFilePointer(ghLogFile, 0, nullptr, FILE_END);
    return TRUE;
}

void DkDisableLog(void)
{
    gboLogDisabled = TRUE;
}

void DkEnableLog(void)
{
    gboLogDisabled = FALSE;
}

void DkSetLogFlush(BOOL boFlush)
{
    gboLogFlush = boFlush;
}

void DkCloseLogFile(void)
{
    std::lock_guard<std::mutex> lock(gLogLock);
    if (gboLogOpen)
        CloseHandle(ghLogFile);
    ghLogFile = INVALID_HANDLE_VALUE;
    gboLogOpen = FALSE;
}

BOOL DkDebugPrint(const char*)
{
    return TRUE;
}

void DkDebugOutput(const char* pszText)
{
    OutputDebugStringA(pszText);
}

char* DkFormatString(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(gszFormatBuffer, sizeof gszFormatBuffer, pszFormat != nullptr ? pszFormat : "",
                   args);
    va_end(args);
    return gszFormatBuffer;
}

int DkTryBoolFailed(const char* pszMessage, int nLine, const char* pszFile)
{
    return ComposeAndReport(
        "TRYBOOL error", pszMessage, nLine, pszFile,
        "TRYBOOL failed on line %d, in file %s\n\n%s\n\n\nClick ABORT to terminate this "
        "process,any other button to continue program execution",
        "TRYBOOL failed on line %d, in file %s\n\n\nClick ABORT to terminate this process,any "
        "other button to continue program execution");
}

int DkTryFuncBoolFailed(const char* pszMessage, int nLine, const char* pszFile)
{
    return ComposeAndReport(
        "TRYFUNCBOOL error", pszMessage, nLine, pszFile,
        "TRYFUNCBOOL failed on line %d, in file %s\n\n%s\n\n\nClick ABORT to terminate this "
        "process,any other button to continue program execution",
        "TRYFUNCBOOL failed on line %d, in file %s\n\nClick ABORT to terminate this process,any "
        "other button to continue program execution");
}

int DkTryDDFailed(HRESULT hr, int nLine, const char* pszFile)
{
    char text[DK_REPORT_BUFFER_SIZE];
    const char* file = pszFile != nullptr ? pszFile : "";
    std::snprintf(text, sizeof text,
                  "TRYDD failed on line %d, in file %s\n\nDirectDraw error : %s\n\nClick ABORT to "
                  "terminate this process, any other button to continue program execution",
                  nLine, file, DkDDErrorText(hr));
    return DkReportAssert(text, "TRYDD error", 0, nLine, file);
}

int DkTryD3DFailed(HRESULT hr, int nLine, const char* pszFile)
{
    char text[DK_REPORT_BUFFER_SIZE];
    const char* file = pszFile != nullptr ? pszFile : "";
    std::snprintf(text, sizeof text,
                  "TRYD3D failed on line %d, in file %s\n\nDirect3D error : %s\n\nClick ABORT to "
                  "terminate this process,any other button to continue program execution",
                  nLine, file, DkD3DErrorText(hr));
    return DkReportAssert(text, "Direct3D error", 0, nLine, file);
}

int DkReportAssert(const char* pszText, const char*, unsigned int, int nLine, const char* pszFile)
{
    // The report keeps a tick from running in the middle of its block. It takes the critical
    // section only when nobody holds it yet, and never on the timer thread: a report raised
    // inside a section the main thread holds must leave that section held, and on the timer
    // thread the tick that the section would keep out is the one reporting.
    BOOL boTakeSection = !DkIsTimerThread() && !DkIsInCriticalSection();
    if (boTakeSection)
        DkEnterCriticalSection();

    const char* text = pszText != nullptr ? pszText : "";
    const char* file = pszFile != nullptr ? pszFile : "";
    char line[DK_REPORT_BUFFER_SIZE];
    std::snprintf(line, sizeof line, "Line %d, in %s", nLine, file);

    DkLog("");
    DkLog(kBangs);
    DkLog("ASSERT() failed!");
    DkLog(line);
    DkLog(text);
    DkLog(kBangs);
    DkLog("");

    // One write, so that the block reaches standard error whole.
    std::string block;
    block.reserve(2 * sizeof kBangs + std::strlen(text) + sizeof line + 32);
    block.append("\n").append(kBangs).append("\n");
    block.append("ASSERT() failed!\n");
    block.append(line).append("\n");
    block.append(text).append("\n");
    block.append(kBangs).append("\n\n");
    DkDebugOutput(block.c_str());

    return boTakeSection ? DkExitCriticalSection() : 0;
}

const char* DkDDErrorText(HRESULT hr)
{
    return LookUp(kDDErrors, std::size(kDDErrors), hr, "Unrecognized Direct Draw error value.");
}

const char* DkD3DErrorText(HRESULT hr)
{
    return LookUp(kD3DErrors, std::size(kD3DErrors), hr, "Unrecognized Direct 3D error value.");
}

void DkTimeStamp(const char* pszID, const char* pszDescription)
{
    if (gnNumTimeStamps >= DK_MAX_TIME_STAMPS)
        return;
    DK_TIMESTAMP& stamp = gaTimeStamps[gnNumTimeStamps];
    CopyCut(stamp.szID, sizeof stamp.szID, pszID);
    CopyCut(stamp.szDescription, sizeof stamp.szDescription, pszDescription);
    stamp.uCycles = static_cast<uint32_t>(DkReadCycleCounter());
    ++gnNumTimeStamps;
}

void DkDumpTimeStamps(void)
{
    for (int i = 1; i < gnNumTimeStamps; ++i)
    {
        const DK_TIMESTAMP& stamp = gaTimeStamps[i];
        int32_t fromLast = static_cast<int32_t>(stamp.uCycles - gaTimeStamps[i - 1].uCycles);
        int32_t fromLastID = 0;
        for (int j = i - 1; j >= 1; --j)
            if (std::strcmp(gaTimeStamps[j].szID, stamp.szID) == 0)
            {
                fromLastID = static_cast<int32_t>(stamp.uCycles - gaTimeStamps[j].uCycles);
                break;
            }
        DkLog(DkFormatString("%15s: %20s at %10u (%10i from last)*(%10i from last ID)", stamp.szID,
                             stamp.szDescription, stamp.uCycles, fromLast, fromLastID));
    }
}

void DkStartTimer(void)
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    gllTimerFrequency = frequency.QuadPart;
    gllTimerStart = now.QuadPart;
}

void DkFormatElapsedTime(char* pszBuffer, size_t uSize)
{
    if (pszBuffer == nullptr || uSize == 0)
        return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    LONGLONG frequency = gllTimerFrequency > 0 ? gllTimerFrequency : DK_PERFORMANCE_FREQUENCY;
    LONGLONG elapsed = now.QuadPart - gllTimerStart;
    unsigned long seconds = static_cast<unsigned long>(elapsed / frequency);
    unsigned long micros = static_cast<unsigned long>((elapsed % frequency) * 1000000 / frequency);
    std::snprintf(pszBuffer, uSize, "%lu.%.6lus", seconds, micros);
}

void DkLogFreeDiskSpace(const char* pszDrive)
{
    const char* drive = pszDrive != nullptr ? pszDrive : "";
    char root[8];
    std::snprintf(root, sizeof root, "%.1s:\\", drive);
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(root, &available, nullptr, nullptr))
    {
        DKREPORT(
            DkFormatString("=== Error! Cannot determine available space on %s drive ===", drive));
        return;
    }
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    // The count is a 32-bit number of bytes, as it always was; a larger disk reads as the most
    // it can hold.
    int bytes =
        available.QuadPart > 0x7FFFFFFFull ? 0x7FFFFFFF : static_cast<int>(available.QuadPart);
    DkLog(DkFormatString("=== Free space on %s drive at %d:%d:%d : %d bytes ===", drive,
                         local.tm_hour, local.tm_min, local.tm_sec, bytes));
}
