// dezor-patch: updates an installed copy of the game with the files it carries.
//
// Test hook: DEZOR_PATCH_RESOURCES names a directory whose files 101 to 107 stand in for the
// resources built into the program (see also the hooks of patch_window.h). The exit status is
// the progress dialog's result: 0 done, 1 no installation, 2 error or cancelled, 3 declined;
// 2 also when scripted answers ran out; 4 when there is no display to show it on; 128 + the
// signal's number when SIGINT or SIGTERM ended it.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include "patcher/patch_dlg.h"
#include "patcher/patch_resources.h"
#include "patcher/patch_window.h"

namespace
{

// The exit status when there is no display: apart from every result of the dialogs.
constexpr int kExitNoDisplay = 4;

[[noreturn]] void NoDisplay(const std::string& sWhy)
{
    PatchPrintError("no display found (" + sWhy + ")");
    std::exit(kExitNoDisplay);
}

// FLTK's own way out when the display cannot be opened is exit(1), the status of "no
// installation found"; this one is used only while the display is being opened.
[[noreturn]] void DisplayFailed(const char*, ...)
{
    const char* pszDisplay = getenv("DISPLAY");
    NoDisplay(std::string("cannot open display \"") + (pszDisplay != nullptr ? pszDisplay : "") +
              "\"");
}

// Opens the display before any dialog, so that its absence has a status of its own.
void OpenDisplay()
{
    // FLTK 1.3 speaks X11 only: a Wayland session is reached through DISPLAY too.
    const char* pszDisplay = getenv("DISPLAY");
    if (pszDisplay == nullptr || pszDisplay[0] == '\0')
        NoDisplay("DISPLAY is not set");
    void (*pfnFatal)(const char*, ...) = Fl::fatal;
    Fl::fatal = DisplayFailed;
    fl_open_display();
    Fl::fatal = pfnFatal;
}

} // namespace

class CPatchApp
{
public:
    BOOL InitInstance();
    int Result() const { return m_nResult; }

private:
    int m_nResult = PATCH_FAILED;
};

BOOL CPatchApp::InitInstance()
{
    std::vector<std::vector<uint8_t>> storage;
    std::vector<PatchResource> fromDirectory;
    std::span<const PatchResource> resources = PatchEmbeddedResources();
    if (const char* pszDir = getenv("DEZOR_PATCH_RESOURCES"))
    {
        fromDirectory = PatchDirectoryResources(pszDir, storage);
        resources = fromDirectory;
    }

    {
        CPatchWindow dlg(PatchPayloadRows(), resources);
        m_nResult = dlg.DoModal();
    }
    if (PatchAnswersRanOut())
    {
        m_nResult = PATCH_FAILED;
        return TRUE;
    }
    if (const char* pszMessage = PatchResultMessage(m_nResult))
        PatchMessageBox(pszMessage);
    if (PatchAnswersRanOut())
        m_nResult = PATCH_FAILED;
    return TRUE;
}

int main(int argc, char** argv)
{
    PatchSetProgramName(argc > 0 ? argv[0] : nullptr);
    Fl_Window::default_xclass("dezor-patch");
    int nNext = 0;
    Fl::args(argc, argv, nNext);
    if (nNext < argc)
    {
        fprintf(stderr, "usage: %s [FLTK options]\n", argc > 0 ? argv[0] : "dezor-patch");
        return 2;
    }
    OpenDisplay();
    PatchCatchSignals();
    CPatchApp app;
    app.InitInstance();
    return app.Result();
}
