// The program: single-instance start-up, the game window's procedure, the message loop that
// hands every active pass to the front end, and the exit through the destroy callbacks.

#include "engine/pc/core/main.h"

#include "engine/common/checkmem.h"
#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/include/dk_entries.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_qtime.h"
#include "platform/win/win.h"

namespace
{
constexpr uint32_t DK_TEMP_HEAP_SIZE = 3145728;
constexpr uint32_t DK_MAIN_HEAP_SIZE = 15204352;
// The quit asked for ends the program with status 1.
std::atomic<BOOL> gfQuitFailed{FALSE};
} // namespace

HWND ghWnd = nullptr;
HINSTANCE ghInstance = nullptr;
std::atomic<BOOL> gfIsActive{FALSE};
std::atomic<BOOL> gfQuitRequested{FALSE};
BOOL gfDispatchActivateApp = TRUE;
BOOL gboPaintBlack = FALSE;
std::atomic<BOOL> gboStateHandlerSuspended{FALSE};
std::atomic<BOOL> gboFocusLostInGame{FALSE};
std::atomic<BOOL> gboReactivated{FALSE};
unsigned char gaSavedVgaPalette[768];

int DkMain(int argc, char** argv)
{
    return WinRunMain(argc, argv, WinMain);
}

int WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    if (FindWindowA(DK_WINDOW_NAME, DK_WINDOW_NAME) != nullptr)
        return 0;

    DkOpenLogFile("c:\\error.txt");
    DkLog("LOWLEVEL DEBUG INFORMATION");
    DkLog("**************************");
    // The memory checker's destroy callback is the first registered, so it runs last.
    InitMemChecker();
    ghInstance = hInstance;
    DkMeasureCpuClock();
    DkTempHeapInit(DK_TEMP_HEAP_SIZE);
    DkHeapInit(DK_MAIN_HEAP_SIZE);
    QuickTime_Init();
    DkReadVgaPalette(gaSavedVgaPalette);
    DkEntries().Frontend_LogCommandLine(lpCmdLine);
    DKREPORT("TRYBOOLS SHOULD NOW BE DISABLED !!!!!!!");

    // Without a window the program goes straight to its shutdown, and says it failed.
    WPARAM exitCode = 0;
    if (!InitGameWindow(ghInstance, &ghWnd, DK_WINDOW_NAME, DkWindowProc))
    {
        DKREPORT("Abort ! Abort ! InitGameWindow failed to initialise....!");
        gfQuitRequested = TRUE;
        exitCode = 1;
    }
    if (!gfQuitRequested)
        SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    ShowCursor(FALSE);

    // One message a pass at most; the front end paces itself.
    MSG msg{};
    while (!gfQuitRequested)
    {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE))
        {
            if (!GetMessageA(&msg, nullptr, 0, 0))
            {
                exitCode = msg.wParam;
                break;
            }
            if (msg.message != WM_ACTIVATEAPP || gfDispatchActivateApp)
                DispatchMessageA(&msg);
        }

        if (gfIsActive)
        {
            if (DkEntries().Frontend_Update() != 0)
                gfIsActive = TRUE;
        }
        else
        {
            // A WM_QUIT taken here does not end the loop.
            WaitMessage();
            GetMessageA(&msg, nullptr, 0, 0);
            DispatchMessageA(&msg);
        }
    }

    DkMarkDirectDrawForRelease();
    DkCallAllDestructors();
    DkDumpTimeStamps();
    DkLog("*****************************");
    DkLog("* Program finished normally *");
    DkLog("*****************************");
    DkCloseLogFile();
    // The exit status is the WM_QUIT's code when one ended the loop, 1 when there was no
    // window, and 0 after a quit request, whatever message came last.
    if (gfQuitFailed)
        exitCode = 1;
    return static_cast<int>(exitCode);
}

LRESULT DkWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
        case WM_PAINT:
            if (ghWnd != nullptr)
            {
                PAINTSTRUCT ps;
                HDC hdc = BeginPaint(hWnd, &ps);
                if (gboPaintBlack)
                {
                    SelectObject(hdc, GetStockObject(BLACK_BRUSH));
                    PatBlt(hdc, 0, 0, d2d->nWidth, d2d->nHeight, PATCOPY);
                }
                EndPaint(hWnd, &ps);
            }
            return 0;

        case WM_CLOSE:
        case WM_ERASEBKGND:
            // Closing the window does not end the program.
            return 0;

        case WM_ACTIVATEAPP:
            gfIsActive = static_cast<BOOL>(wParam);
            if (wParam)
            {
                DkRestoreSurfaces();
                if (!gboReactivated)
                    gboReactivated = TRUE;
            }
            else if (DkEntries().IsGameDisplayReady())
            {
                gboFocusLostInGame = TRUE;
                gboReactivated = FALSE;
            }
            return 0;

        case WM_SETCURSOR:
            if (gboFullScreen)
                SetCursor(nullptr);
            return 0;

        case WM_SYSCOMMAND:
            if (wParam == SC_MOUSEMENU || wParam == SC_KEYMENU || wParam == SC_SCREENSAVE ||
                wParam == SC_MONITORPOWER)
                return 0;
            return DefWindowProcA(hWnd, uMsg, wParam, lParam);

        case WM_QUERYNEWPALETTE:
        case WM_PALETTECHANGED:
            return 0;

        default:
            return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
}

void DkRequestQuit(void)
{
    gfQuitRequested = TRUE;
}

void DkRequestQuitWithFailure(void)
{
    gfQuitFailed = TRUE;
    gfQuitRequested = TRUE;
}

void DkSetActivateDispatch(BOOL boDispatch)
{
    gfDispatchActivateApp = boDispatch;
}

void DkSetPaintBlack(BOOL boPaintBlack)
{
    gboPaintBlack = boPaintBlack;
}

void DkPumpMessages(void)
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE))
    {
        if (!GetMessageA(&msg, nullptr, 0, 0))
        {
            SendMessageA(ghWnd, WM_QUIT, msg.wParam, msg.lParam);
            return;
        }
        DispatchMessageA(&msg);
    }
}

void DkSuspendStateHandler(void)
{
    if (gboStateHandlerSuspended)
        DKREPORT("DkSuspendStateHandler() : Already suspended");
    gboStateHandlerSuspended = TRUE;
}

void DkResumeStateHandler(void)
{
    if (!gboStateHandlerSuspended)
        DKREPORT("DkResumeStateHandler() : Not suspended previously");
    gboStateHandlerSuspended = FALSE;
}
