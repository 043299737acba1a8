// X errors of the game's window. A window destroyed from outside (a window manager's kill,
// `xdotool windowclose`) makes the next drawing fail with an X error, which Xlib's default
// handler answers by ending the process on the spot: no shutdown, no log, status 1. The loss
// of the window is taken as a quit instead: an error about the game's window (core or an
// extension's, such as GL's), about a window, drawable or graphics context that is gone, or
// any error once the window is lost, marks it lost; any other error goes to the handler
// before ours.
// Kept apart from the rest of the window code, whose names X's headers would take.

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <atomic>

#include "platform/win/win_internal.h"

namespace
{

std::atomic<bool> gbWindowLost{false};
std::atomic<XID> gGameWindow{0};
// The GLX extension's request code on the game's display (0 until known): making the GL
// context current on a window that is gone fails with GLX's own errors, about the context or
// drawable rather than the window.
std::atomic<int> gnGlxRequest{0};
XErrorHandler gpfnPreviousHandler = nullptr;

constexpr int kGlxMakeCurrent = 5;
// Freeing a graphics context that went with the lost window's drawing.
constexpr int kXFreeGC = 60;

int OnXError(Display* pDisplay, XErrorEvent* pError)
{
    // The window's own errors, of any kind (GL's included), any BadWindow or BadDrawable, a
    // graphics context already gone when freed, a GL context that cannot be made current, and
    // any error at all once the window is lost: once the window is gone SDL may still ask
    // after, or free, ids of its own that went with it. Xlib's default answer to those would
    // end the process at once, so a quit is the better end.
    const XID window = gGameWindow;
    if (gbWindowLost || (window != 0 && pError->resourceid == window) ||
        pError->error_code == BadWindow || pError->error_code == BadDrawable ||
        (pError->error_code == BadGC && pError->request_code == kXFreeGC) ||
        (gnGlxRequest != 0 && pError->request_code == gnGlxRequest &&
         (pError->minor_code == kGlxMakeCurrent || gbWindowLost)))
    {
        gbWindowLost = true;
        return 0;
    }
    return gpfnPreviousHandler != nullptr ? gpfnPreviousHandler(pDisplay, pError) : 0;
}

} // namespace

void WinWatchX11Errors(void)
{
    static bool boWatching = false;
    if (boWatching)
        return;
    boWatching = true;
    gpfnPreviousHandler = XSetErrorHandler(OnXError);
}

void WinX11WindowCreated(SDL_Window* pWindow)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (gpfnPreviousHandler != nullptr && SDL_GetWindowWMInfo(pWindow, &info) &&
        info.subsystem == SDL_SYSWM_X11)
    {
        gGameWindow = info.info.x11.window;
        int nOpcode = 0, nEvent = 0, nError = 0;
        if (XQueryExtension(info.info.x11.display, "GLX", &nOpcode, &nEvent, &nError))
            gnGlxRequest = nOpcode;
    }
    gbWindowLost = false;
}

BOOL WinSdlWindowGone(SDL_Window* pWindow)
{
    if (gpfnPreviousHandler == nullptr || gbWindowLost)
        return gbWindowLost ? TRUE : FALSE;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(pWindow, &info) && info.subsystem == SDL_SYSWM_X11)
    {
        // SDL makes the X window again when a GL renderer comes to it, so its id is taken
        // afresh. A window that is gone answers with BadWindow, which the handler takes.
        gGameWindow = info.info.x11.window;
        XWindowAttributes attributes;
        XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes);
    }
    return gbWindowLost ? TRUE : FALSE;
}

BOOL WinWindowLost(void)
{
    return gbWindowLost ? TRUE : FALSE;
}
