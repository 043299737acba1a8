// The window, its message queue and window procedure, the cursor, the key state and the
// other bits of the Win32 user interface the engine calls, on SDL2.
//
// There is one process-wide message queue. SDL events become messages when the queue is
// pumped (PeekMessageA, GetMessageA, WaitMessage): focus changes become WM_ACTIVATEAPP, a
// close request WM_CLOSE, an exposure WM_PAINT, keys WM_KEYDOWN/WM_KEYUP, and a quit request
// from the system (a signal) WM_QUIT. Showing the window posts one WM_ACTIVATEAPP (TRUE), so a
// headless run with SDL_VIDEODRIVER=dummy is active from the start.
#pragma once

#include "platform/win/wintypes.h"

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_ACTIVATEAPP 0x001C
#define WM_SETCURSOR 0x0020
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCOMMAND 0x0112
#define WM_QUERYNEWPALETTE 0x030F
#define WM_PALETTECHANGED 0x0311
#define WM_USER 0x0400

// System commands (wParam of WM_SYSCOMMAND).
#define SC_CLOSE 0xF060
#define SC_MOUSEMENU 0xF090
#define SC_KEYMENU 0xF100
#define SC_SCREENSAVE 0xF140
#define SC_MONITORPOWER 0xF170

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// Class and window styles.
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_BYTEALIGNCLIENT 0x1000
#define CS_BYTEALIGNWINDOW 0x2000
#define WS_POPUP 0x80000000u
#define WS_CAPTION 0x00C00000u
#define WS_SYSMENU 0x00080000u
#define WS_MINIMIZEBOX 0x00020000u
#define WS_EX_TOPMOST 0x00000008u

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMAXIMIZED 3
#define SW_SHOW 5

// GetSystemMetrics.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

// Stock objects and raster operations.
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define PATCOPY 0x00F00021u

#define IDC_ARROW ((LPCSTR)(uintptr_t)32512)

// Priorities.
#define NORMAL_PRIORITY_CLASS 0x00000020u
#define HIGH_PRIORITY_CLASS 0x00000080u
#define REALTIME_PRIORITY_CLASS 0x00000100u
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15

// Message boxes.
#define MB_OK 0x00000000u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_ICONHAND 0x00000010u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define IDOK 1

typedef WORD ATOM;
typedef short SHORT;
typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA
{
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

struct PAINTSTRUCT
{
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

// The C runtime's entry hands the program to this, as on the original platform.
int WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);
typedef int (*WINMAIN_FN)(HINSTANCE, HINSTANCE, LPSTR, int);
// The C runtime's entry: hands the command line (the words after the program's name, joined
// by single spaces) to the program's WinMain, as the original platform's runtime does.
int WinRunMain(int argc, char** argv, WINMAIN_FN pfnWinMain);

// Window class and the window. Only one window exists at a time.
ATOM RegisterClassA(const WNDCLASSA* lpWndClass);
BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance);
HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int x,
                     int y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                     HINSTANCE hInstance, LPVOID lpParam);
BOOL DestroyWindow(HWND hWnd);
BOOL ShowWindow(HWND hWnd, int nCmdShow);
BOOL UpdateWindow(HWND hWnd);
// Queues a WM_PAINT for the window (the queue holds one at most). The presented frame covers
// the whole window, so the rectangle and the erase flag change nothing.
BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase);
HWND SetFocus(HWND hWnd);
BOOL IsWindow(HWND hWnd);
int GetSystemMetrics(int nIndex);

// Finds a window of this class and title in any process of the user (through the lock file
// each window holds while it exists). The result only says that one exists: it is a handle of
// this process's window when the window is here, and an opaque non-NULL value otherwise.
HWND FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName);

// The SDL window behind a window handle (for the display).
struct SDL_Window;
SDL_Window* WinGetSdlWindow(HWND hWnd);
// Whether the window was destroyed from outside. On X11 this asks the server (one round trip),
// so a frame is never drawn into a window that is gone: some GL drivers crash on that.
BOOL WinSdlWindowGone(SDL_Window* pWindow);

// Messages.
BOOL PeekMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
BOOL GetMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL WaitMessage(void);
BOOL TranslateMessage(const MSG* lpMsg);
LRESULT DispatchMessageA(const MSG* lpMsg);
LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int nExitCode);
// A function run on every pump of the queue (PeekMessageA, GetMessageA, WaitMessage, at least
// every 10 ms while they wait): what plays in a child window, such as a movie, advances there.
// NULL removes it.
void WinSetPumpHook(void (*pfnHook)(void));
LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Painting. The presented frame covers the whole window, so painting only validates it.
HDC BeginPaint(HWND hWnd, PAINTSTRUCT* lpPaint);
BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);

// GDI, as far as the engine draws with it: stock objects, fonts and text on the device
// context of a display surface (IDirectDrawSurface::GetDC), drawn with a small bitmap font of
// our own scaled to the font's height; and the screen's system palette, a fixed table.
typedef DWORD COLORREF;
#define RGB(r, g, b)                                                                               \
    ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define TRANSPARENT 1
#define OPAQUE 2
#define FW_NORMAL 400
#define FW_BOLD 700
#define DEFAULT_CHARSET 1
#define OUT_TT_ONLY_PRECIS 7
#define SYSPAL_NOSTATIC 2
#define SYSPAL_STATIC 1
#define LF_FACESIZE 32

struct LOGFONTA
{
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
};
struct HFONT__;
typedef HFONT__* HFONT;
struct PALETTEENTRY;

HGDIOBJ GetStockObject(int i);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
BOOL DeleteObject(HGDIOBJ ho);
BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
HFONT CreateFontIndirectA(const LOGFONTA* lplf);
int SetBkMode(HDC hdc, int mode);
COLORREF SetTextColor(HDC hdc, COLORREF color);
BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);
// The screen's device context (hWnd NULL) and its system palette.
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);
UINT SetSystemPaletteUse(HDC hdc, UINT use);
UINT GetSystemPaletteEntries(HDC hdc, UINT iStart, UINT cEntries, PALETTEENTRY* pPalEntries);

// Cursor.
HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);
HCURSOR SetCursor(HCURSOR hCursor);
int ShowCursor(BOOL bShow);

// Message box: the text goes to standard error, and to a real box when a display is up.
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

// The debugger output is standard error.
void OutputDebugStringA(LPCSTR lpOutputString);

// Process and thread priority. The scheduler is left as it is: Linux gives an ordinary user
// no higher priority, and a real-time busy-wait could stall a small machine. The calls
// succeed.
HANDLE GetCurrentProcess(void);
HANDLE GetCurrentThread(void);
BOOL SetPriorityClass(HANDLE hProcess, DWORD dwPriorityClass);
BOOL SetThreadPriority(HANDLE hThread, int nPriority);

// Key state, indexed by virtual-key code (see keys.h).
SHORT GetAsyncKeyState(int vKey);
SHORT GetKeyState(int nVirtKey);
BOOL GetKeyboardState(BYTE* lpKeyState);
// The virtual key that types this character on a US layout in the low byte, the shift state
// in the high byte (bit 0 Shift); -1 for a character no key types.
SHORT VkKeyScanA(CHAR ch);

// Other programs (the system's control panels) are not run here: the call says so on standard
// error and fails with 2 (file not found), as any result below 32 is a failure.
UINT WinExec(LPCSTR lpCmdLine, UINT uCmdShow);

// Test hooks. The input script named by DEZOR_INPUT (see input_script.h) plays key events
// into the queue at their times; these tell whether one was given and whether it has ended.
BOOL WinInputScriptActive(void);
BOOL WinInputScriptEnded(void);
// The game reports one of its moments by name; the script's sections waiting on it start their
// clocks now. Any thread may report.
void WinInputScriptMark(const char* pszName);
// Plays the script's events whose time has come. The message pump calls it, and so does the
// engine's controller read before each tick, so that a key timed between two ticks reaches the
// later one whatever the frames are doing.
void WinInputScriptPump(void);
