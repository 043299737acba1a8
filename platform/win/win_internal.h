// What the parts of platform/win share among themselves.
#pragma once

#include "platform/win/win.h"

union SDL_Event;

// Queue.
void WinQueuePost(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
void WinQueueRemoveWindow(HWND hWnd);

// The one window (NULL when none) and its procedure.
HWND WinCurrentWindow(void);
LRESULT WinCallWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WinVideoStarted(void);

// X errors (x11_errors.cpp): watched once the X11 video driver runs; the loss of the window
// they report is a quit.
void WinWatchX11Errors(void);
// The game's window, made on the X11 driver: the errors that concern it are its loss.
void WinX11WindowCreated(SDL_Window* pWindow);
BOOL WinWindowLost(void);

// Activation as last posted to the queue, so that focus events post only changes.
void WinPostActivation(BOOL active);

// Keys: records a key going down or up and posts its message to the window.
void WinKeyEvent(int vKey, BOOL down);
// The virtual key of an SDL scancode, 0 for keys the game has no code for.
int WinVirtualKeyFromScancode(int scancode);
void WinKeysReset(void);

// Input script: starts its clock (when the window is first shown) and plays what is due.
void WinInputScriptStart(void);
