// Movie files: opened as the game opens its movies, played, and pumped for a moment, so the
// container is read and the first frames and sound are decoded; then closed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/movie/movie.h"
#include "platform/qmix/qmix.h"
#include "platform/time/time.h"
#include "platform/win/win.h"
#include "tests/fuzz/fuzz_support.h"

namespace
{
HWND gWindow = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Root();
    QmixUseLoopbackForTests(TRUE);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "FuzzMovie";
    RegisterClassA(&wc);
    gWindow = CreateWindowExA(0, "FuzzMovie", "Movie", WS_CAPTION, 0, 0, 320, 240, nullptr, nullptr,
                              nullptr, nullptr);
    return gWindow != nullptr ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzz::DriveCPath("input.avi");
    fuzz::WriteFile(path, data, size);
    MCI_ANIM_OPEN_PARMSA open{};
    open.lpstrElementName = "c:\\input.avi";
    open.hWndParent = gWindow;
    if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_ANIM_OPEN_WS | MCI_ANIM_OPEN_PARENT,
                        reinterpret_cast<DWORD_PTR>(&open)) != 0)
        return 0;
    MCI_PLAY_PARMS play{};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(gWindow);
    mciSendCommandA(open.wDeviceID, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play));
    // A few pumps over a few milliseconds: the first frames fall due at once.
    const DWORD until = timeGetTime() + 5;
    MSG msg{};
    do
        PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    while (timeGetTime() < until);
    mciSendCommandA(open.wDeviceID, MCI_CLOSE, 0, 0);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    {
    }
    return 0;
}
