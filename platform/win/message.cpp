// The message queue. SDL events are turned into messages whenever the queue is pumped; other
// threads may post, so the queue has a lock of its own.

#include <SDL.h>

#include <atomic>
#include <condition_variable>
#include <algorithm>
#include <deque>
#include <mutex>

#include "platform/time/time.h"
#include "platform/win/keys.h"
#include "platform/win/win_internal.h"

namespace
{

std::mutex gQueueLock;
std::condition_variable gQueueSignal;
std::deque<MSG> gQueue;
int gActivePosted = -1; // last WM_ACTIVATEAPP state posted: -1 none yet, 0 or 1
bool gPaintPending = false;
std::atomic<void (*)(void)> gpfnPumpHook{nullptr};

bool Matches(const MSG& msg, HWND hWnd, UINT filterMin, UINT filterMax)
{
    // WM_QUIT belongs to no window and passes every filter, as it does on the system.
    if (msg.message == WM_QUIT)
        return true;
    if (hWnd != nullptr && msg.hwnd != hWnd)
        return false;
    if (filterMin == 0 && filterMax == 0)
        return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

void TranslateSdlEvent(const SDL_Event& e)
{
    HWND hWnd = WinCurrentWindow();
    switch (e.type)
    {
        case SDL_QUIT:
            // Only a signal gets here: closing the window is a WM_CLOSE (the hint set at
            // start-up keeps SDL from turning it into a quit as well).
            PostQuitMessage(0);
            break;
        case SDL_WINDOWEVENT:
            if (hWnd == nullptr)
                break;
            switch (e.window.event)
            {
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    WinPostActivation(TRUE);
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    WinPostActivation(FALSE);
                    break;
                case SDL_WINDOWEVENT_CLOSE:
                    WinQueuePost(hWnd, WM_CLOSE, 0, 0);
                    break;
                case SDL_WINDOWEVENT_EXPOSED:
                    WinQueuePost(hWnd, WM_PAINT, 0, 0);
                    break;
                default:
                    break;
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            if (e.key.repeat == 0)
                WinKeyEvent(WinVirtualKeyFromScancode(e.key.keysym.scancode),
                            e.type == SDL_KEYDOWN);
            break;
        default:
            break;
    }
}

// Moves what SDL and the input script have for us into the queue, without blocking.
void Pump()
{
    if (WinVideoStarted())
    {
        SDL_Event e;
        while (SDL_PollEvent(&e))
            TranslateSdlEvent(e);
    }
    // A window destroyed from outside ends the program as a quit does. The quit stays posted
    // while the window is gone: a WM_QUIT taken while the program is inactive does not end
    // its loop, so one is always waiting for the loop that does.
    if (WinWindowLost())
    {
        std::unique_lock<std::mutex> lock(gQueueLock);
        const bool quitWaiting = std::any_of(gQueue.begin(), gQueue.end(),
                                             [](const MSG& m) { return m.message == WM_QUIT; });
        lock.unlock();
        if (!quitWaiting)
            PostQuitMessage(0);
    }
    WinInputScriptPump();
    if (void (*hook)(void) = gpfnPumpHook.load())
        hook();
}

bool TakeMatching(MSG* lpMsg, HWND hWnd, UINT filterMin, UINT filterMax, bool remove)
{
    std::lock_guard<std::mutex> lock(gQueueLock);
    for (auto it = gQueue.begin(); it != gQueue.end(); ++it)
    {
        if (!Matches(*it, hWnd, filterMin, filterMax))
            continue;
        if (lpMsg != nullptr)
            *lpMsg = *it;
        if (remove)
        {
            if (it->message == WM_PAINT)
                gPaintPending = false;
            gQueue.erase(it);
        }
        return true;
    }
    return false;
}

// Blocks until something arrives from SDL or another thread. Short waits keep the input
// script's timing and cross-thread posts prompt without a wake-up channel into SDL.
void WaitForInput()
{
    if (WinVideoStarted())
    {
        SDL_WaitEventTimeout(nullptr, 10);
        return;
    }
    std::unique_lock<std::mutex> lock(gQueueLock);
    gQueueSignal.wait_for(lock, std::chrono::milliseconds(10), [] { return !gQueue.empty(); });
}

} // namespace

void WinQueuePost(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg{};
    msg.hwnd = hWnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = timeGetTime();
    {
        std::lock_guard<std::mutex> lock(gQueueLock);
        // Like the system's, the queue holds at most one WM_PAINT.
        if (message == WM_PAINT)
        {
            if (gPaintPending)
                return;
            gPaintPending = true;
        }
        gQueue.push_back(msg);
    }
    gQueueSignal.notify_all();
}

void WinQueueRemoveWindow(HWND hWnd)
{
    std::lock_guard<std::mutex> lock(gQueueLock);
    std::erase_if(gQueue, [hWnd](const MSG& m) { return m.hwnd == hWnd; });
    gPaintPending = false;
    gActivePosted = -1;
}

void WinPostActivation(BOOL active)
{
    HWND hWnd = WinCurrentWindow();
    if (hWnd == nullptr)
        return;
    int state = active ? 1 : 0;
    {
        std::lock_guard<std::mutex> lock(gQueueLock);
        if (gActivePosted == state)
            return;
        gActivePosted = state;
    }
    WinQueuePost(hWnd, WM_ACTIVATEAPP, static_cast<WPARAM>(state), 0);
}

BOOL PeekMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    Pump();
    return TakeMatching(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0)
               ? TRUE
               : FALSE;
}

BOOL GetMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (lpMsg == nullptr)
        return -1;
    for (;;)
    {
        Pump();
        if (TakeMatching(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true))
            return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        WaitForInput();
    }
}

BOOL WaitMessage(void)
{
    for (;;)
    {
        Pump();
        {
            std::lock_guard<std::mutex> lock(gQueueLock);
            if (!gQueue.empty())
                return TRUE;
        }
        WaitForInput();
    }
}

BOOL TranslateMessage(const MSG* lpMsg)
{
    return lpMsg != nullptr && lpMsg->message == WM_KEYDOWN;
}

LRESULT DispatchMessageA(const MSG* lpMsg)
{
    if (lpMsg == nullptr || lpMsg->hwnd == nullptr)
        return 0;
    return WinCallWindowProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return WinCallWindowProc(hWnd, Msg, wParam, lParam);
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (hWnd != nullptr && !IsWindow(hWnd))
        return FALSE;
    WinQueuePost(hWnd, Msg, wParam, lParam);
    return TRUE;
}

void WinSetPumpHook(void (*pfnHook)(void))
{
    gpfnPumpHook = pfnHook;
}

void PostQuitMessage(int nExitCode)
{
    WinQueuePost(nullptr, WM_QUIT, static_cast<WPARAM>(nExitCode), 0);
}

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (Msg)
    {
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4)
                SendMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE)
                SendMessageA(hWnd, WM_CLOSE, 0, 0);
            return 0;
        default:
            return 0;
    }
}
