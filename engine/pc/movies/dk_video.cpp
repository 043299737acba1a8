#include "engine/pc/movies/dk_video.h"

#include <string>

#include "engine/pc/display/2dinit.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "platform/ddraw/ddraw.h"
#include "platform/movie/movie.h"
#include "platform/win/keys.h"
#include "platform/win/win.h"

namespace
{

constexpr const char* kDriverType = "avivideo";
constexpr UINT kShowState = SW_SHOW;

BOOL gboMovieOpen = FALSE;
BOOL gboMoviePlaying = FALSE;
BOOL gboMovieStarted = FALSE;
MCIDEVICEID gwMovieDeviceID = 0;

bool KeyDown(int vKey)
{
    return (GetAsyncKeyState(vKey) & 0x8000) != 0;
}

std::string MoviePath(const char* pszFileName, int nLoadKind)
{
    std::string name = pszFileName != nullptr ? pszFileName : "";
    const char* root = nullptr;
    if (nLoadKind == DKLF_HARDDRIVE)
        root = DkGetHardDrivePath();
    else if (nLoadKind == DKLF_CD)
        root = DkGetCDPath();
    if (root == nullptr)
        return name;
    std::string path = root;
    if (!path.empty() && path.back() == '\\' && !name.empty() && name.front() == '\\')
        path.pop_back();
    return path + name;
}

} // namespace

int InitAVIDriver(void)
{
    MCI_ANIM_OPEN_PARMSA open{};
    open.lpstrDeviceType = kDriverType;
    if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open)) != 0)
        DKREPORT("InitAVIDriver() failed");
    DkLog("avi driver initialised");
    return 1;
}

void DkCloseAVIDriver(void)
{
    MCIDEVICEID id = mciGetDeviceIDA(kDriverType);
    mciSendCommandA(id, MCI_CLOSE, 0, 0);
}

BOOL DkOpenMovie(HWND hWnd, const char* pszFileName)
{
    if (gboMovieOpen)
    {
        DKREPORT("Movie open");
        DkCloseMovieDevice(hWnd);
    }
    MCI_ANIM_OPEN_PARMSA open{};
    open.lpstrElementName = pszFileName;
    open.dwStyle = WS_CHILD;
    open.hWndParent = hWnd;
    if (pszFileName == nullptr ||
        mciSendCommandA(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_ANIM_OPEN_WS | MCI_ANIM_OPEN_PARENT,
                        reinterpret_cast<DWORD_PTR>(&open)) != 0)
    {
        DKREPORT(DkFormatString("Cannot open Movie - '%s'", pszFileName ? pszFileName : ""));
        gboMovieOpen = FALSE;
        return FALSE;
    }
    gwMovieDeviceID = open.wDeviceID;
    gboMovieOpen = TRUE;
    MCI_ANIM_WINDOW_PARMSA window{};
    window.hWnd = hWnd;
    window.nCmdShow = kShowState;
    mciSendCommandA(gwMovieDeviceID, MCI_WINDOW, MCI_ANIM_WINDOW_HWND | MCI_ANIM_WINDOW_STATE,
                    reinterpret_cast<DWORD_PTR>(&window));
    InvalidateRect(hWnd, nullptr, FALSE);
    UpdateWindow(hWnd);
    return TRUE;
}

void DkSetMovieRect(int nX, int nY, int nWidth, int nHeight)
{
    if (!gboMovieOpen)
        return;
    MCI_ANIM_RECT_PARMS put{};
    put.rc = RECT{nX, nY, nWidth, nHeight};
    mciSendCommandA(gwMovieDeviceID, MCI_PUT, MCI_ANIM_RECT | MCI_ANIM_PUT_DESTINATION,
                    reinterpret_cast<DWORD_PTR>(&put));
}

void DkPlayMovie(HWND hWnd)
{
    if (gboMoviePlaying || !gboMovieOpen)
    {
        DKREPORT("failed to send play command to device");
        return;
    }
    gboMoviePlaying = TRUE;
    MCI_PLAY_PARMS play{};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(hWnd);
    mciSendCommandA(gwMovieDeviceID, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play));
}

void DkToggleMoviePause(void)
{
    if (!gboMovieOpen)
        return;
    MCI_GENERIC_PARMS generic{};
    if (gboMoviePlaying)
    {
        mciSendCommandA(gwMovieDeviceID, MCI_PAUSE, 0, reinterpret_cast<DWORD_PTR>(&generic));
        gboMoviePlaying = FALSE;
    }
    else
    {
        MCI_PLAY_PARMS play{};
        mciSendCommandA(gwMovieDeviceID, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&play));
        gboMoviePlaying = TRUE;
    }
}

void DkCloseMovieDevice(HWND hWnd)
{
    if (!gboMovieOpen)
        return;
    mciSendCommandA(gwMovieDeviceID, MCI_CLOSE, 0, 0);
    gboMovieOpen = FALSE;
    // A closed movie plays nothing; left set, the next movie's play would be refused.
    gboMoviePlaying = FALSE;
    gwMovieDeviceID = 0;
    InvalidateRect(hWnd, nullptr, TRUE);
    UpdateWindow(hWnd);
}

void DkCloseMovie(void)
{
    DkCloseMovieDevice(ghWnd);
    DkCloseAVIDriver();
    gboMovieStarted = FALSE;
    gboMovieOpen = FALSE;
}

BOOL DkIsMoviePlaying(void)
{
    return gboMoviePlaying;
}

BOOL DkIsMovieOpen(void)
{
    return gboMovieOpen;
}

void DkRewindMovie(void)
{
    if (!gboMovieOpen)
        return;
    MCI_SEEK_PARMS seek{};
    mciSendCommandA(gwMovieDeviceID, MCI_SEEK, MCI_SEEK_TO_START,
                    reinterpret_cast<DWORD_PTR>(&seek));
    gboMoviePlaying = FALSE;
}

void DkPlayMovieInWindow(const char* pszFileName, const DK_RECT* pRect, int nLoadKind)
{
    std::string path = MoviePath(pszFileName, nLoadKind);
    if (d2d != nullptr && d2d->lpDD2 != nullptr)
        d2d->lpDD2->FlipToGDISurface();
    InitAVIDriver();
    if (!DkOpenMovie(ghWnd, path.c_str()))
    {
        // The driver opened above must not stay open.
        DkCloseAVIDriver();
        return;
    }
    if (pRect != nullptr)
        DkSetMovieRect(pRect->x, pRect->y, pRect->w, pRect->h);
    DkPlayMovie(ghWnd);

    // Space pauses or resumes when it goes down; one held from before the movie does nothing.
    bool spaceWasDown = KeyDown(VK_SPACE);
    for (;;)
    {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            if (msg.message == MM_MCINOTIFY)
                break;
            if (msg.message != WM_ACTIVATEAPP)
            {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        if (gfIsActive)
        {
            bool spaceDown = KeyDown(VK_SPACE);
            if (spaceDown && !spaceWasDown)
                DkToggleMoviePause();
            spaceWasDown = spaceDown;
            if (KeyDown(VK_RETURN) || KeyDown(VK_ESCAPE))
                break;
        }
        else
        {
            WaitMessage();
            if (GetMessageA(&msg, nullptr, 0, 0))
            {
                // The end of the movie ends the play here too, or it would wait for a key
                // after the game came back.
                if (msg.message == MM_MCINOTIFY)
                    break;
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    DkCloseMovie();
}
