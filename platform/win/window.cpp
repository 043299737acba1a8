// Window class, the one window, painting, cursor, message box, debugger output and priorities.

#include <SDL.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/win/win_internal.h"

namespace
{

struct WindowClass
{
    bool used = false;
    std::string name;
    WNDCLASSA desc{};
};

struct Window
{
    SDL_Window* sdl = nullptr;
    WNDPROC proc = nullptr;
    std::string className;
    std::string title;
    int lockFd = -1;
    bool shown = false;
};

constexpr int kMaxClasses = 8;
WindowClass gaClasses[kMaxClasses];
// Read from the tick thread too (a test's input script plays its keys there).
std::atomic<Window*> gpWindow{nullptr};
bool gbVideoStarted = false;
bool gbNoDisplay = false; // SDL fell back to a driver nobody asked for
int gnCursorCount = 0;
HCURSOR ghCursor = nullptr;

// What FindWindowA returns for a window that lives in another process.
char gForeignWindow;
// Stand-ins for handles that only need to be distinct and non-NULL.
char gPaintDc;
char gArrowCursor;

bool SameText(const std::string& a, LPCSTR b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

WindowClass* FindClass(LPCSTR name)
{
    if (name == nullptr)
        return nullptr;
    for (WindowClass& c : gaClasses)
        if (c.used && SameText(c.name, name))
            return &c;
    return nullptr;
}

Window* FromHandle(HWND hWnd)
{
    Window* w = gpWindow.load();
    return (hWnd != nullptr && reinterpret_cast<Window*>(hWnd) == w) ? w : nullptr;
}

// Says that there is no display to show the game on, and why.
void ReportNoDisplay()
{
    const char* display = std::getenv("DISPLAY");
    const std::string why = display == nullptr || *display == '\0'
                                ? std::string("DISPLAY is not set")
                                : "cannot open DISPLAY=" + std::string(display);
    std::fprintf(stderr,
                 "dezor: no display found (%s); start it from a desktop session, or set "
                 "SDL_VIDEODRIVER=dummy to run without one\n",
                 why.c_str());
}

bool StartVideo()
{
    if (gbVideoStarted)
        return !gbNoDisplay;
    // Closing the window must reach the window procedure as WM_CLOSE and nothing more.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    {
        // A driver that was asked for by name says what went wrong in its own words.
        if (asked != nullptr && *asked != '\0')
            std::fprintf(stderr, "dezor: cannot open the display: %s\n", SDL_GetError());
        else
            ReportNoDisplay();
        return false;
    }
    std::atexit(SDL_Quit);
    gbVideoStarted = true;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr && std::strcmp(driver, "x11") == 0)
        WinWatchX11Errors();
    // Without a display SDL may fall back to a driver that draws nowhere; the game would then
    // run unseen until killed. Those drivers are for headless runs that ask for them.
    if (driver != nullptr &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) &&
        (asked == nullptr || std::strcmp(asked, driver) != 0))
    {
        ReportNoDisplay();
        gbNoDisplay = true;
        return false;
    }
    return true;
}

// Every window holds an exclusive lock on a file that names its class and title, for as long
// as it exists; the system drops the lock when the process ends, however it ends.
std::string LockDirectory()
{
    std::string dir;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime)
        dir = std::string(runtime) + "/dezor";
    else
        dir = "/tmp/dezor-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    return dir;
}

std::string LockFileName(const std::string& className, const std::string& title)
{
    std::string name;
    for (char c : className + "-" + title)
        name += (std::isalnum(static_cast<unsigned char>(c)) || c == '-') ? c : '_';
    return name + ".lock";
}

int TakeWindowLock(const std::string& className, const std::string& title)
{
    std::string path = LockDirectory() + "/" + LockFileName(className, title);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    {
        // Another window of the same class and title exists; this one may exist too.
        close(fd);
        return -1;
    }
    std::string text = className + "\n" + title + "\n";
    if (ftruncate(fd, 0) != 0 || write(fd, text.data(), text.size()) != (ssize_t)text.size())
    {
        // The lock is what counts; a name that could not be written only hides this window
        // from FindWindowA.
    }
    return fd;
}

// Does the lock file at path name a window of this class and title (NULL matches any), and is
// that window alive?
bool LockNamesLiveWindow(const std::string& path, LPCSTR lpClassName, LPCSTR lpWindowName)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[600];
    ssize_t n = read(fd, text, sizeof text - 1);
    bool found = false;
    if (n > 0)
    {
        text[n] = '\0';
        char* title = std::strchr(text, '\n');
        if (title != nullptr)
        {
            *title++ = '\0';
            if (char* end = std::strchr(title, '\n'))
                *end = '\0';
            bool named = (lpClassName == nullptr || strcasecmp(text, lpClassName) == 0) &&
                         (lpWindowName == nullptr || strcasecmp(title, lpWindowName) == 0);
            if (named && flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
                found = true;
        }
    }
    close(fd);
    return found;
}

} // namespace

BOOL WinVideoStarted(void)
{
    return gbVideoStarted ? TRUE : FALSE;
}

HWND WinCurrentWindow(void)
{
    return reinterpret_cast<HWND>(gpWindow.load());
}

LRESULT WinCallWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* w = FromHandle(hWnd);
    if (w == nullptr || w->proc == nullptr)
        return 0;
    return w->proc(hWnd, message, wParam, lParam);
}

ATOM RegisterClassA(const WNDCLASSA* lpWndClass)
{
    if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr ||
        lpWndClass->lpfnWndProc == nullptr || FindClass(lpWndClass->lpszClassName) != nullptr)
        return 0;
    for (int i = 0; i < kMaxClasses; ++i)
    {
        WindowClass& c = gaClasses[i];
        if (c.used)
            continue;
        c.used = true;
        c.name = lpWndClass->lpszClassName;
        c.desc = *lpWndClass;
        c.desc.lpszClassName = nullptr;
        return static_cast<ATOM>(0xC000 + i);
    }
    return 0;
}

BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE)
{
    WindowClass* c = FindClass(lpClassName);
    Window* current = gpWindow.load();
    if (c == nullptr || (current != nullptr && SameText(current->className, lpClassName)))
        return FALSE;
    *c = WindowClass{};
    return TRUE;
}

HWND CreateWindowExA(DWORD, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int x, int y,
                     int nWidth, int nHeight, HWND, HMENU, HINSTANCE, LPVOID)
{
    WindowClass* c = FindClass(lpClassName);
    if (c == nullptr || gpWindow != nullptr || !StartVideo())
        return nullptr;

    const char* title = lpWindowName != nullptr ? lpWindowName : "";
    // A captionless popup is the full-screen game window; one with a caption is a plain
    // window of the given size.
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!(dwStyle & WS_CAPTION))
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    SDL_Window* sdl = SDL_CreateWindow(title, x, y, nWidth > 0 ? nWidth : 640,
                                       nHeight > 0 ? nHeight : 480, flags);
    if (sdl == nullptr)
    {
        std::fprintf(stderr, "dezor: cannot create the window: %s\n", SDL_GetError());
        return nullptr;
    }

    WinX11WindowCreated(sdl);
    Window* w = new Window;
    w->sdl = sdl;
    w->proc = c->desc.lpfnWndProc;
    w->className = c->name;
    w->title = title;
    w->lockFd = TakeWindowLock(w->className, w->title);
    gpWindow = w;
    HWND hWnd = reinterpret_cast<HWND>(w);
    SendMessageA(hWnd, WM_CREATE, 0, 0);
    return hWnd;
}

BOOL DestroyWindow(HWND hWnd)
{
    Window* w = FromHandle(hWnd);
    if (w == nullptr)
        return FALSE;
    SendMessageA(hWnd, WM_DESTROY, 0, 0);
    WinQueueRemoveWindow(hWnd);
    SDL_DestroyWindow(w->sdl);
    if (w->lockFd >= 0)
        close(w->lockFd);
    delete w;
    gpWindow = nullptr;
    WinKeysReset();
    return TRUE;
}

BOOL IsWindow(HWND hWnd)
{
    return FromHandle(hWnd) != nullptr ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
    Window* w = FromHandle(hWnd);
    if (w == nullptr)
        return FALSE;
    BOOL wasShown = w->shown ? TRUE : FALSE;
    if (nCmdShow == SW_HIDE)
    {
        SDL_HideWindow(w->sdl);
        w->shown = false;
        return wasShown;
    }
    SDL_ShowWindow(w->sdl);
    if (nCmdShow == SW_SHOWMAXIMIZED && !(SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_FULLSCREEN))
        SDL_MaximizeWindow(w->sdl);
    w->shown = true;
    if (!wasShown)
    {
        // Without a window manager no focus event may ever come: a window that has just been
        // shown counts as the active one.
        WinPostActivation(TRUE);
        WinInputScriptStart();
    }
    return wasShown;
}

BOOL UpdateWindow(HWND hWnd)
{
    return IsWindow(hWnd);
}

BOOL InvalidateRect(HWND hWnd, const RECT*, BOOL)
{
    if (FromHandle(hWnd) == nullptr)
        return FALSE;
    WinQueuePost(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}

HWND SetFocus(HWND hWnd)
{
    Window* w = FromHandle(hWnd);
    if (w == nullptr)
        return nullptr;
    SDL_RaiseWindow(w->sdl);
    return hWnd;
}

int GetSystemMetrics(int nIndex)
{
    SDL_DisplayMode mode{};
    bool known = StartVideo() && SDL_GetDesktopDisplayMode(0, &mode) == 0;
    switch (nIndex)
    {
        case SM_CXSCREEN:
            return known ? mode.w : 640;
        case SM_CYSCREEN:
            return known ? mode.h : 480;
        default:
            return 0;
    }
}

HWND FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName)
{
    Window* w = gpWindow.load();
    if (w != nullptr && (lpClassName == nullptr || SameText(w->className, lpClassName)) &&
        (lpWindowName == nullptr || SameText(w->title, lpWindowName)))
        return reinterpret_cast<HWND>(w);

    std::string dir = LockDirectory();
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return nullptr;
    bool found = false;
    while (dirent* entry = readdir(d))
    {
        std::string name = entry->d_name;
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".lock") == 0 &&
            LockNamesLiveWindow(dir + "/" + name, lpClassName, lpWindowName))
        {
            found = true;
            break;
        }
    }
    closedir(d);
    return found ? reinterpret_cast<HWND>(&gForeignWindow) : nullptr;
}

SDL_Window* WinGetSdlWindow(HWND hWnd)
{
    Window* w = FromHandle(hWnd);
    return w != nullptr ? w->sdl : nullptr;
}

HDC BeginPaint(HWND hWnd, PAINTSTRUCT* lpPaint)
{
    if (FromHandle(hWnd) == nullptr || lpPaint == nullptr)
        return nullptr;
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = reinterpret_cast<HDC>(&gPaintDc);
    lpPaint->rcPaint.right = GetSystemMetrics(SM_CXSCREEN);
    lpPaint->rcPaint.bottom = GetSystemMetrics(SM_CYSCREEN);
    return lpPaint->hdc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint)
{
    return FromHandle(hWnd) != nullptr && lpPaint != nullptr ? TRUE : FALSE;
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR lpCursorName)
{
    return lpCursorName == IDC_ARROW ? reinterpret_cast<HCURSOR>(&gArrowCursor) : nullptr;
}

HCURSOR SetCursor(HCURSOR hCursor)
{
    HCURSOR previous = ghCursor;
    ghCursor = hCursor;
    if (gbVideoStarted)
        SDL_ShowCursor(hCursor != nullptr && gnCursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return previous;
}

int ShowCursor(BOOL bShow)
{
    gnCursorCount += bShow ? 1 : -1;
    if (gbVideoStarted)
        SDL_ShowCursor(gnCursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return gnCursorCount;
}

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    const char* caption = lpCaption != nullptr ? lpCaption : "Error";
    const char* text = lpText != nullptr ? lpText : "";
    std::fprintf(stderr, "%s: %s\n", caption, text);
    const char* driver = gbVideoStarted ? SDL_GetCurrentVideoDriver() : nullptr;
    if (driver != nullptr && std::strcmp(driver, "dummy") != 0 &&
        std::strcmp(driver, "offscreen") != 0)
    {
        Uint32 flags =
            (uType & 0xF0) == MB_ICONHAND ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_WARNING;
        SDL_ShowSimpleMessageBox(flags, caption, text, WinGetSdlWindow(hWnd));
    }
    return IDOK;
}

// Only a debugger sees this output on the original system, so it stays silent unless
// DEZOR_DEBUG=1 asks for standard error to stand in for one.
void OutputDebugStringA(LPCSTR lpOutputString)
{
    static const bool boDebugger = []
    {
        const char* value = std::getenv("DEZOR_DEBUG");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    if (boDebugger && lpOutputString != nullptr)
        std::fputs(lpOutputString, stderr);
}

HANDLE GetCurrentProcess(void)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

HANDLE GetCurrentThread(void)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}

BOOL SetPriorityClass(HANDLE, DWORD)
{
    return TRUE;
}

BOOL SetThreadPriority(HANDLE, int)
{
    return TRUE;
}

UINT WinExec(LPCSTR lpCmdLine, UINT uCmdShow)
{
    (void)uCmdShow;
    std::fprintf(stderr, "dezor: cannot run \"%s\" here\n", lpCmdLine != nullptr ? lpCmdLine : "");
    return 2;
}
