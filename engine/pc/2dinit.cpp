#include "engine/pc/2dinit.h"

#include <cstdio>
#include <cstring>

#include "engine/common/destruct.h"
#include "engine/pc/dk_debug.h"

namespace
{
DK_D2D gD2D;
HWND* gphWindow = nullptr;
char gszClassName[64];
HINSTANCE ghClassInstance = nullptr;
BOOL gboDisplayTeardown = FALSE;
} // namespace

DK_D2D* d2d = &gD2D;
BOOL gboFullScreen = TRUE;
int gnDisplayDestructorMark = -1;

BOOL InitGameWindow(HINSTANCE hInstance, HWND* phWnd, const char* pszClassName, WNDPROC pfnWndProc)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = pfnWndProc;
    wc.hInstance = hInstance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = pszClassName;
    DWORD dwStyle;
    if (gboFullScreen)
    {
        wc.hCursor = nullptr;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        dwStyle = WS_POPUP | WS_SYSMENU;
    }
    else
    {
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.style = CS_HREDRAW | CS_VREDRAW | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
        dwStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    }
    if (!RegisterClassA(&wc))
        return FALSE;
    std::snprintf(gszClassName, sizeof gszClassName, "%s", pszClassName);
    ghClassInstance = hInstance;

    HWND hWnd = CreateWindowExA(WS_EX_TOPMOST, pszClassName, pszClassName, dwStyle, 0, 0,
                                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                nullptr, nullptr, hInstance, nullptr);
    if (hWnd == nullptr)
    {
        DKREPORT("Horror, window create failed!");
        UnregisterClassA(gszClassName, ghClassInstance);
        return FALSE;
    }
    if (d2d->nWidth == 0)
    {
        d2d->nWidth = GetSystemMetrics(SM_CXSCREEN);
        d2d->nHeight = GetSystemMetrics(SM_CYSCREEN);
    }

    ShowWindow(hWnd, gboFullScreen ? SW_SHOWMAXIMIZED : SW_HIDE);
    UpdateWindow(hWnd);
    SetFocus(hWnd);
    *phWnd = hWnd;
    gphWindow = phWnd;
    DkAddDestructor(WindowDestructor, "WindowDestructor");
    return TRUE;
}

BOOL WindowDestructor(void)
{
    if (gphWindow != nullptr)
    {
        DestroyWindow(*gphWindow);
        *gphWindow = nullptr;
        gphWindow = nullptr;
        UnregisterClassA(gszClassName, ghClassInstance);
    }
    return TRUE;
}

void DkSetWindowedMode(void)
{
    gboFullScreen = FALSE;
}

void DkSetFullScreenMode(void)
{
    gboFullScreen = TRUE;
}

void DkDestroyDisplay(void)
{
    // Without a display there is nothing of a phase to tear down; a mark of 0 here would take
    // the program-wide services with it.
    if (gnDisplayDestructorMark < 0)
        return;
    DkCallDestructors(gnDisplayDestructorMark);
    gnDisplayDestructorMark = -1;
}

void DkMarkDirectDrawForRelease(void)
{
    gboDisplayTeardown = TRUE;
}

void DkRestoreSurfaces(void)
{
    // Nothing to restore before a display has been set up.
}

void DkReadVgaPalette(unsigned char* pPalette)
{
    // There are no VGA ports to read; the saved palette is black, which is what the display
    // shows before its first palette is set.
    if (pPalette != nullptr)
        std::memset(pPalette, 0, 768);
}
