// The display module: the game window and, behind it, the display of each full-screen phase:
// mode, flipping primary and back surfaces, palette, flip pacing, lost surfaces, the hardware
// type and its quality features.
#pragma once

#include "engine/include/dk_types.h"
#include "engine/pc/display/dk_surf.h"

class IDirectDraw2;
class IDirectDrawPalette;

// The 2D display record.
struct DK_D2D
{
    int32_t nWidth;
    int32_t nHeight;
    int32_t nBitsPerPixel;
    uint8_t uRedBits;
    uint8_t uBlueBits;
    uint8_t uGreenBits;
    DK_SURFACE PrimarySurface;
    DK_SURFACE BackSurface;
    DK_SURFACE ZBuffer;
    DK_SURFACE* apSurfaces[DK_MAX_SURFACES];
    BOOL boFullScreen;
    BOOL boVerticalBlankFailed;
    IDirectDraw2* lpDD;
    IDirectDraw2* lpDD2;
    IDirectDrawPalette* lpDDPal;
};

extern DK_D2D* d2d;

// The game runs full screen; it decides the window's styles.
extern BOOL gboFullScreen;

// Display set-up flags.
#define DKID_8BIT 0x01
#define DKID_16BIT 0x02
#define DKID_FIRST_DEVICE 0x04

// Counter counts between two paced flips.
#define DK_FLIP_SPACING 35000

BOOL InitGameWindow(HINSTANCE hInstance, HWND* phWnd, const char* pszClassName, WNDPROC pfnWndProc);
BOOL WindowDestructor(void);
void DkSetWindowedMode(void);
void DkSetFullScreenMode(void);

BOOL DkInitialiseDisplay(DK_PALETTE_ENTRY* pPalette, int nModeIndex, const char* pszPaletteFile,
                         uint32_t uFlags, int nLoadKind);
BOOL DirectDrawDestructor(void);

// The destroy-callback index of the display set-up ("DirectDrawDestructor"): the end of a
// phase tears down to it. -1 while no display is set up.
extern int gnDisplayDestructorMark;

// Calls the destroy callbacks down to and including the display's, then forgets the mark.
void DkDestroyDisplay(void);
void DkMarkDirectDrawForRelease(void);
BOOL DkFlip(void);
void DkWaitAndFlip(void);
void DkRestoreSurfaces(void);
void DkSetPalette(const DK_PALETTE_ENTRY* pEntries);
void DkRestorePalette(void);
BOOL DkLoadPalette(const char* pszFileName, DK_PALETTE_ENTRY* pPalette, int nLoadKind);

int DkGetHardwareType(void);
void DkSetHardwareType(int nType);
int DkGetDisplayDevice(void);
void DkSetDisplayDevice(int nDevice);
int DkGetDisplayModeIndex(void);
BOOL DkCanUseFeature(int nFeature);
int DkReportFreeVRAM(void);
int DkReportTotalVRAM(void);

// Colours.
int DkMatchColour(int nRed, int nGreen, int nBlue);
void DkMakeDimRemap(int nPercent, uint8_t* pRemap);

// The VGA palette and retrace: there are no ports to reach, so reads give zeros and the
// retrace wait is the display's vertical blank.
void DkReadVgaPalette(unsigned char* pPalette);
void DkWriteVgaPalette(const unsigned char* pPalette);
void DkSetVgaPaletteEntry(int nIndex, int nRed, int nGreen, int nBlue);
void DkBlackVgaPalette(void);
void DkWaitVgaRetrace(void);

// A full-screen flip first samples the back surface at the scene frame's sample point
// (DkSetSamplePoint, dk_rendr.h).
