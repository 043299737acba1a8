// The program's entry, its window procedure and message loop, and the flags that tell the
// rest of the game whether the application is active.
#pragma once

#include <atomic>

#include "engine/include/dk_types.h"

#define DK_WINDOW_NAME "Dravik Dezor"

extern HWND ghWnd;
extern HINSTANCE ghInstance;
// The flags the timer thread also reads or writes are atomic.
extern std::atomic<BOOL> gfIsActive;
extern std::atomic<BOOL> gfQuitRequested;
extern BOOL gfDispatchActivateApp;
extern BOOL gboPaintBlack;
extern std::atomic<BOOL> gboStateHandlerSuspended;
extern std::atomic<BOOL> gboFocusLostInGame;
extern std::atomic<BOOL> gboReactivated;
extern unsigned char gaSavedVgaPalette[768];

// The program: the C runtime's entry runs WinMain with the command line. The front end and
// the game register their entries (engine/include/dk_entries.h) before.
int DkMain(int argc, char** argv);

LRESULT DkWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
void DkRequestQuit(void);
// The same quit, the program then ending with status 1 (a failure reported before).
void DkRequestQuitWithFailure(void);
void DkSetActivateDispatch(BOOL boDispatch);
void DkSetPaintBlack(BOOL boPaintBlack);
void DkPumpMessages(void);
void DkSuspendStateHandler(void);
void DkResumeStateHandler(void);
