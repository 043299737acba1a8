// The display module: the game window and, behind it, the display set-up of each phase.
#pragma once

#include "engine/include/dk_types.h"
#include "platform/win/win.h"

// The 2D display record. The display set-up fills it; until a display exists its size is
// the screen's.
struct DK_D2D
{
    int32_t nWidth;
    int32_t nHeight;
    int32_t nBitsPerPixel;
};

extern DK_D2D* d2d;

// The game runs full screen; it decides the window's styles.
extern BOOL gboFullScreen;

BOOL InitGameWindow(HINSTANCE hInstance, HWND* phWnd, const char* pszClassName, WNDPROC pfnWndProc);
BOOL WindowDestructor(void);
void DkSetWindowedMode(void);
void DkSetFullScreenMode(void);

// The destroy-callback index of the display set-up ("DirectDrawDestructor"): the end of a
// phase tears down to it. -1 while no display is set up.
extern int gnDisplayDestructorMark;

// Calls the destroy callbacks down to and including the display's, then forgets the mark.
void DkDestroyDisplay(void);
void DkMarkDirectDrawForRelease(void);
void DkRestoreSurfaces(void);
// Reads the 256 entries (red, green, blue) of the VGA palette into a 768-byte buffer.
void DkReadVgaPalette(unsigned char* pPalette);
