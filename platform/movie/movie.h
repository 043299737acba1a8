// The multimedia command interface as far as the engine plays movies with it: the "avivideo"
// driver, AVI files opened as devices in the game window, put into a rectangle, played with an
// end-of-play notification, paused, resumed, rewound and closed. Files are read with
// libavformat and libavcodec.
//
// A playing movie advances whenever the window's message queue is pumped: each frame that is
// due is scaled into the rectangle of the display's back surface (platform/ddraw) and the
// display is flipped, so the frame is presented (and captured under DEZOR_CAPTURE). Its sound
// plays through a mixer session of its own (platform/qmix); without a sound device the movie
// plays silently. When the last frame's time has passed, MM_MCINOTIFY (MCI_NOTIFY_SUCCESSFUL,
// device id) is posted to the window named by the play's callback.
#pragma once

#include <cstdint>

#include "platform/win/wintypes.h"

typedef UINT MCIDEVICEID;
typedef DWORD MCIERROR;
typedef uintptr_t DWORD_PTR;

// Commands.
#define MCI_OPEN 0x0803
#define MCI_CLOSE 0x0804
#define MCI_PLAY 0x0806
#define MCI_SEEK 0x0807
#define MCI_STOP 0x0808
#define MCI_PAUSE 0x0809
#define MCI_WINDOW 0x0841
#define MCI_PUT 0x0842

// Flags common to every command.
#define MCI_NOTIFY 0x00000001u
#define MCI_WAIT 0x00000002u
#define MCI_FROM 0x00000004u
#define MCI_TO 0x00000008u
// Open.
#define MCI_OPEN_SHAREABLE 0x00000100u
#define MCI_OPEN_ELEMENT 0x00000200u
#define MCI_OPEN_ALIAS 0x00000400u
#define MCI_OPEN_TYPE 0x00002000u
#define MCI_ANIM_OPEN_WS 0x00010000u
#define MCI_ANIM_OPEN_PARENT 0x00020000u
// Window and put.
#define MCI_ANIM_WINDOW_HWND 0x00010000u
#define MCI_ANIM_WINDOW_STATE 0x00040000u
#define MCI_ANIM_RECT 0x00010000u
#define MCI_ANIM_PUT_DESTINATION 0x00040000u
// Seek.
#define MCI_SEEK_TO_START 0x00000100u

// The notification, its wParam values and the child window style.
#define MM_MCINOTIFY 0x03B9
#define MCI_NOTIFY_SUCCESSFUL 0x0001
#define MCI_NOTIFY_SUPERSEDED 0x0002
#define MCI_NOTIFY_ABORTED 0x0004
#define MCI_NOTIFY_FAILURE 0x0008
#define WS_CHILD 0x40000000u

// Errors.
#define MCIERR_BASE 256
#define MCIERR_INVALID_DEVICE_ID (MCIERR_BASE + 1)
#define MCIERR_UNRECOGNIZED_COMMAND (MCIERR_BASE + 5)
#define MCIERR_HARDWARE (MCIERR_BASE + 6)
#define MCIERR_INVALID_DEVICE_NAME (MCIERR_BASE + 7)
#define MCIERR_OUT_OF_MEMORY (MCIERR_BASE + 8)
#define MCIERR_MISSING_PARAMETER (MCIERR_BASE + 17)
#define MCIERR_FILE_NOT_FOUND (MCIERR_BASE + 19)
#define MCIERR_INVALID_FILE (MCIERR_BASE + 48)
#define MCIERR_DEVICE_OPEN (MCIERR_BASE + 9)

struct MCI_GENERIC_PARMS
{
    DWORD_PTR dwCallback;
};

struct MCI_ANIM_OPEN_PARMSA
{
    DWORD_PTR dwCallback;
    MCIDEVICEID wDeviceID;
    LPCSTR lpstrDeviceType;
    LPCSTR lpstrElementName;
    LPCSTR lpstrAlias;
    DWORD dwStyle;
    HWND hWndParent;
};
typedef MCI_ANIM_OPEN_PARMSA MCI_OPEN_PARMSA;

struct MCI_ANIM_WINDOW_PARMSA
{
    DWORD_PTR dwCallback;
    HWND hWnd;
    UINT nCmdShow;
    LPCSTR lpstrText;
};

// The rectangle as left, top, width and height.
struct MCI_ANIM_RECT_PARMS
{
    DWORD_PTR dwCallback;
    RECT rc;
};

struct MCI_PLAY_PARMS
{
    DWORD_PTR dwCallback; // the window that gets MM_MCINOTIFY
    DWORD dwFrom;
    DWORD dwTo;
};

struct MCI_SEEK_PARMS
{
    DWORD_PTR dwCallback;
    DWORD dwTo;
};

MCIERROR mciSendCommandA(MCIDEVICEID IDDevice, UINT uMsg, DWORD_PTR fdwCommand, DWORD_PTR dwParam);
MCIDEVICEID mciGetDeviceIDA(LPCSTR pszDevice);

// Test hooks: devices open now (the driver counts as one), whether a movie is playing, and
// the mixer session a movie's sound plays in (NULL before its first play or without sound).
int MovieOpenDevices(void);
BOOL MovieAnyPlaying(void);
struct QMixSession;
QMixSession* MovieMixerForTests(MCIDEVICEID IDDevice);
