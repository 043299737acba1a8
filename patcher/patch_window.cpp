#include "patcher/patch_window.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include "platform/png/png.h"

namespace
{

// The dialogs were laid out in dialog units; two pixels a unit reads well in FLTK's font.
constexpr int kUnit = 2;
constexpr int kFontSize = 12;
// How long a scripted answer waits, so that the dialog is drawn before it is answered.
constexpr double kAnswerDelay = 0.25;

std::string s_programName = "dezor-patch";

// The progress dialog while it lives: what a signal must clean up.
CPatchWindow* s_pActiveWindow = nullptr;
// The self-pipe of PatchCatchSignals; its write end is all the handler touches.
int s_aSignalPipe[2] = {-1, -1};

int Px(int nUnits)
{
    return nUnits * kUnit;
}

Fl_Box* StaticText(int x, int y, int w, int h, const char* pszText, bool bCentred)
{
    Fl_Box* pBox = new Fl_Box(Px(x), Px(y), Px(w), Px(h), pszText);
    pBox->labelsize(kFontSize);
    // Not clipped: FLTK's font runs a little wider than the one the layout was made for.
    pBox->align(FL_ALIGN_INSIDE | (bCentred ? FL_ALIGN_CENTER : FL_ALIGN_LEFT));
    return pBox;
}

Fl_Progress* ProgressBar(int x, int y, int w, int h)
{
    Fl_Progress* pBar = new Fl_Progress(Px(x), Px(y), Px(w), Px(h));
    pBar->minimum(0);
    pBar->maximum(100);
    pBar->value(0);
    pBar->box(FL_DOWN_BOX);
    pBar->color(FL_BACKGROUND2_COLOR);
    pBar->selection_color(fl_rgb_color(0, 0, 128));
    return pBar;
}

void StyleButton(Fl_Button* pButton)
{
    pButton->labelsize(kFontSize);
}

// Runs a window as a modal dialog until something hides it.
void RunModal(Fl_Window& window)
{
    window.set_modal();
    window.show();
    while (window.shown())
        Fl::wait();
}

// --- Test hooks: scripted answers and captures ---

struct ScriptState
{
    bool bRead = false;
    bool bScripted = false; // DEZOR_PATCH_ANSWERS is set
    bool bRanOut = false;
    std::vector<std::string> answers;
    size_t nNext = 0;
    std::string sCaptureDir;
    int nCaptured = 0;
};

ScriptState s_script;

void ReadScript()
{
    if (s_script.bRead)
        return;
    s_script.bRead = true;
    if (const char* pszAnswers = getenv("DEZOR_PATCH_ANSWERS"))
    {
        s_script.bScripted = true;
        std::string sAll = pszAnswers;
        size_t nStart = 0;
        while (nStart <= sAll.size())
        {
            size_t nComma = sAll.find(',', nStart);
            if (nComma == std::string::npos)
                nComma = sAll.size();
            std::string sAnswer = sAll.substr(nStart, nComma - nStart);
            if (!sAnswer.empty())
                s_script.answers.push_back(sAnswer);
            nStart = nComma + 1;
        }
    }
    if (const char* pszDir = getenv("DEZOR_PATCH_CAPTURE"))
        s_script.sCaptureDir = pszDir;
}

void CaptureWindow(Fl_Window& window)
{
    if (s_script.sCaptureDir.empty())
        return;
    Fl::flush();
    window.make_current();
    int nWidth = window.w();
    int nHeight = window.h();
    std::vector<unsigned char> rgb(static_cast<size_t>(nWidth) * nHeight * 3);
    if (fl_read_image(rgb.data(), 0, 0, nWidth, nHeight) == nullptr)
        return;
    char szName[32];
    std::snprintf(szName, sizeof szName, "/patch-%02d.png", ++s_script.nCaptured);
    std::string sPath = s_script.sCaptureDir + szName;
    if (!PngSaveRgb(sPath.c_str(), rgb, static_cast<uint32_t>(nWidth),
                    static_cast<uint32_t>(nHeight)))
        std::fprintf(stderr, "%s: cannot write %s\n", s_programName.c_str(), sPath.c_str());
}

struct PendingAnswer
{
    Fl_Widget_Tracker window;
    std::function<std::string()> shown; // what the dialog shows when it is answered
    std::string sAnswer;
    std::function<void(bool bOk)> apply;
};

void ScheduleAnswer(Fl_Window& window, std::function<std::string()> shown,
                    std::function<void(bool)> apply);

void AnswerNow(void* pData)
{
    std::unique_ptr<PendingAnswer> pPending(static_cast<PendingAnswer*>(pData));
    Fl_Window* pWindow = static_cast<Fl_Window*>(pPending->window.widget());
    if (pWindow == nullptr || !pWindow->shown())
        return;
    CaptureWindow(*pWindow);
    std::fprintf(stderr, "%s: \"%s\" shows \"%s\"; answering %s\n", s_programName.c_str(),
                 pWindow->label(), pPending->shown().c_str(), pPending->sAnswer.c_str());
    if (pPending->sAnswer == "close")
    {
        // The window manager's close box.
        Fl::handle(FL_CLOSE, pWindow);
    }
    else if (pPending->sAnswer == "escape" || pPending->sAnswer == "return")
    {
        // A real key press, through FLTK's own handling of the key.
        static char s_szEscape[] = "\033";
        static char s_szReturn[] = "\r";
        bool bEscape = pPending->sAnswer == "escape";
        Fl::e_keysym = bEscape ? FL_Escape : FL_Enter;
        Fl::e_text = bEscape ? s_szEscape : s_szReturn;
        Fl::e_length = 1;
        Fl::handle(FL_KEYBOARD, pWindow);
    }
    else
    {
        pPending->apply(pPending->sAnswer == "ok");
    }
    // An answer the dialog ignored leaves it waiting: it takes the next one.
    if (!pPending->window.deleted() && pWindow->shown())
        ScheduleAnswer(*pWindow, std::move(pPending->shown), std::move(pPending->apply));
}

// Scripted answers have run out while a dialog waits: no one is there to answer it, so the
// dialog goes and the program ends with an error rather than wait for ever.
void EndUnanswered(void* pData)
{
    Fl_Widget_Tracker* pTracker = static_cast<Fl_Widget_Tracker*>(pData);
    Fl_Window* pWindow = static_cast<Fl_Window*>(pTracker->widget());
    delete pTracker;
    if (pWindow == nullptr || !pWindow->shown())
        return;
    std::fprintf(stderr, "%s: the scripted answers ran out at \"%s\"; ending with status %d\n",
                 s_programName.c_str(), pWindow->label(), PATCH_FAILED);
    s_script.bRanOut = true;
    pWindow->hide();
}

// Takes the next scripted answer, if any, for a dialog now waiting for the user.
void ScheduleAnswer(Fl_Window& window, std::function<std::string()> shown,
                    std::function<void(bool)> apply)
{
    ReadScript();
    if (s_script.nNext >= s_script.answers.size())
    {
        if (s_script.bScripted)
            Fl::add_timeout(kAnswerDelay, EndUnanswered, new Fl_Widget_Tracker(&window));
        return;
    }
    PendingAnswer* pPending =
        new PendingAnswer{Fl_Widget_Tracker(&window), std::move(shown),
                          s_script.answers[s_script.nNext++], std::move(apply)};
    Fl::add_timeout(kAnswerDelay, AnswerNow, pPending);
}

} // namespace

// --- Progress dialog ---

CPatchWindow::CPatchWindow(std::span<const PatchRow> rows, std::span<const PatchResource> resources)
    : m_pWindow(std::make_unique<Fl_Double_Window>(Px(186), Px(82), "Dravik Dezor Patch")),
      m_dlg(*this, rows, resources)
{
    s_pActiveWindow = this;
    m_pWindow->begin();
    m_pStatus = StaticText(7, 7, 172, 8, "PROGESS INDICATOR", true);
    StaticText(7, 24, 34, 8, "Current file", false);
    StaticText(7, 40, 34, 8, "Overall", false);
    m_pCurrentBar = ProgressBar(51, 24, 128, 8);
    m_pOverallBar = ProgressBar(51, 40, 128, 8);
    // The default button, as on the confirmation: Return presses it once it is enabled.
    m_pOk = new Fl_Return_Button(Px(68), Px(61), Px(50), Px(14), "OK");
    StyleButton(m_pOk);
    m_pOk->callback(OnOkButton, this);
    m_pWindow->end();
    m_pWindow->callback(OnWindowEvent, this);
}

CPatchWindow::~CPatchWindow()
{
    KillTimer(CPatchDlg::kTimerId);
    if (s_pActiveWindow == this)
        s_pActiveWindow = nullptr;
}

int CPatchWindow::DoModal()
{
    m_pWindow->set_modal();
    m_pWindow->show();
    m_dlg.OnInitDialog();
    while (m_pWindow->shown())
        Fl::wait();
    return m_nResult;
}

void CPatchWindow::SetCurrentFileBar(unsigned nPos)
{
    m_pCurrentBar->value(static_cast<float>(nPos));
}

void CPatchWindow::SetOverallBar(unsigned nPos)
{
    m_pOverallBar->value(static_cast<float>(nPos));
}

void CPatchWindow::SetStatusText(const char* pszText)
{
    m_sStatus = pszText;
    m_pStatus->label(m_sStatus.c_str());
    m_pWindow->redraw();
}

void CPatchWindow::EnableOkButton(bool bEnable)
{
    if (!bEnable)
    {
        m_pOk->deactivate();
        return;
    }
    m_pOk->activate();
    // The finished dialog now waits for OK.
    // Its status text is read when it is answered: the text is set after OK is enabled.
    ScheduleAnswer(
        *m_pWindow, [this] { return std::string(m_pStatus->label() ? m_pStatus->label() : ""); },
        [this](bool bOk)
        {
            if (bOk)
                m_dlg.OnOK();
            else
                m_dlg.OnCancel();
        });
}

void CPatchWindow::SetTimer(unsigned, unsigned nMilliseconds)
{
    m_dTimerPeriod = nMilliseconds / 1000.0;
    if (!m_bTimerRunning)
        Fl::add_timeout(m_dTimerPeriod, OnTimerEvent, this);
    m_bTimerRunning = true;
}

void CPatchWindow::KillTimer(unsigned)
{
    m_bTimerRunning = false;
    Fl::remove_timeout(OnTimerEvent, this);
}

void CPatchWindow::EndDialog(int nResult)
{
    m_nResult = nResult;
    KillTimer(CPatchDlg::kTimerId);
    m_pWindow->hide();
}

int CPatchWindow::RunConfirmDialog(const std::string& sInstallPath)
{
    CInstallConfirmDlg confirm(sInstallPath);
    return confirm.DoModal();
}

void CPatchWindow::ReportError(const std::string& sLine)
{
    PatchPrintError(sLine);
}

void CPatchWindow::Interrupt()
{
    m_dlg.OnInterrupt();
}

void CPatchWindow::OnTimerEvent(void* pData)
{
    CPatchWindow* pSelf = static_cast<CPatchWindow*>(pData);
    if (!pSelf->m_bTimerRunning)
        return;
    // Re-armed first: the confirmation dialog's loop inside this tick must still see ticks.
    Fl::repeat_timeout(pSelf->m_dTimerPeriod, OnTimerEvent, pData);
    pSelf->m_dlg.OnTimer(CPatchDlg::kTimerId);
}

void CPatchWindow::OnOkButton(Fl_Widget*, void* pData)
{
    static_cast<CPatchWindow*>(pData)->m_dlg.OnOK();
}

void CPatchWindow::OnWindowEvent(Fl_Widget*, void* pData)
{
    // Escape and the window manager's close box (a box the dialog is not meant to have) both
    // cancel; on the finished dialog the step machine takes that as OK.
    static_cast<CPatchWindow*>(pData)->m_dlg.OnCancel();
}

// --- Confirmation dialog ---

CInstallConfirmDlg::CInstallConfirmDlg(const std::string& sInstallPath)
    : m_sInstallPath(sInstallPath),
      m_pWindow(std::make_unique<Fl_Double_Window>(Px(186), Px(85), "About to install"))
{
    m_pWindow->begin();
    Fl_Return_Button* pOk = new Fl_Return_Button(Px(35), Px(64), Px(50), Px(14), "OK");
    StyleButton(pOk);
    pOk->callback(OnOkButton, this);
    Fl_Button* pCancel = new Fl_Button(Px(99), Px(64), Px(50), Px(14), "Cancel");
    StyleButton(pCancel);
    pCancel->callback(OnCancelButton, this);
    StaticText(7, 23, 172, 8, m_sInstallPath.c_str(), true);
    StaticText(7, 7, 172, 8, PatchString(IDS_INSTALLED_TO), true);
    StaticText(7, 47, 172, 8, PatchString(IDS_CONTINUE), true);
    m_pWindow->end();
    // Escape and the close box decline, as Cancel does.
    m_pWindow->callback(OnCancelButton, this);
}

CInstallConfirmDlg::~CInstallConfirmDlg() = default;

int CInstallConfirmDlg::DoModal()
{
    m_nResult = CONFIRM_DECLINE;
    ScheduleAnswer(
        *m_pWindow,
        [this]
        {
            return std::string(PatchString(IDS_INSTALLED_TO)) + " " + m_sInstallPath + " " +
                   PatchString(IDS_CONTINUE);
        },
        [this](bool bOk)
        {
            m_nResult = bOk ? CONFIRM_INSTALL : CONFIRM_DECLINE;
            m_pWindow->hide();
        });
    RunModal(*m_pWindow);
    return m_nResult;
}

void CInstallConfirmDlg::OnOkButton(Fl_Widget*, void* pData)
{
    CInstallConfirmDlg* pSelf = static_cast<CInstallConfirmDlg*>(pData);
    pSelf->m_nResult = CONFIRM_INSTALL;
    pSelf->m_pWindow->hide();
}

void CInstallConfirmDlg::OnCancelButton(Fl_Widget*, void* pData)
{
    CInstallConfirmDlg* pSelf = static_cast<CInstallConfirmDlg*>(pData);
    pSelf->m_nResult = CONFIRM_DECLINE;
    pSelf->m_pWindow->hide();
}

bool PatchAnswersRanOut()
{
    return s_script.bRanOut;
}

// --- Message box ---

void PatchSetProgramName(const char* pszArgv0)
{
    if (pszArgv0 == nullptr || pszArgv0[0] == '\0')
        return;
    std::string sName = pszArgv0;
    size_t nSlash = sName.find_last_of('/');
    s_programName = nSlash == std::string::npos ? sName : sName.substr(nSlash + 1);
}

void PatchMessageBox(const char* pszText)
{
    fl_font(FL_HELVETICA, kFontSize);
    int nTextW = 0;
    int nTextH = 0;
    fl_measure(pszText, nTextW, nTextH);
    const int nIcon = 50;
    const int nMargin = 12;
    const int nButtonW = Px(50);
    const int nButtonH = Px(14);
    int nWidth = nMargin + nIcon + nMargin + nTextW + nMargin;
    if (nWidth < nButtonW + 2 * nMargin)
        nWidth = nButtonW + 2 * nMargin;
    int nBodyH = nTextH > nIcon ? nTextH : nIcon;
    int nHeight = nMargin + nBodyH + nMargin + nButtonH + nMargin;

    Fl_Double_Window window(nWidth, nHeight, s_programName.c_str());
    window.begin();
    Fl_Box* pIcon = new Fl_Box(nMargin, nMargin, nIcon, nIcon, "!");
    pIcon->box(FL_THIN_UP_BOX);
    pIcon->color(FL_WHITE);
    pIcon->labelfont(FL_HELVETICA_BOLD);
    pIcon->labelsize(34);
    pIcon->labelcolor(FL_BLUE);
    Fl_Box* pText = new Fl_Box(nMargin + nIcon + nMargin, nMargin, nTextW, nBodyH, pszText);
    pText->labelsize(kFontSize);
    pText->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
    Fl_Return_Button* pOk = new Fl_Return_Button(
        (nWidth - nButtonW) / 2, nMargin + nBodyH + nMargin, nButtonW, nButtonH, "OK");
    StyleButton(pOk);
    pOk->callback([](Fl_Widget* pWidget, void*) { pWidget->window()->hide(); });
    window.end();
    ScheduleAnswer(
        window, [pszText] { return std::string(pszText); }, [&window](bool) { window.hide(); });
    RunModal(window);
}

void PatchPrintError(const std::string& sLine)
{
    std::fprintf(stderr, "%s: %s\n", s_programName.c_str(), sLine.c_str());
}

// --- Signals ---

namespace
{

void OnSignal(int nSignal)
{
    // Only async-signal-safe calls here; the event loop does the rest.
    int nSavedErrno = errno;
    unsigned char uByte = static_cast<unsigned char>(nSignal);
    ssize_t nIgnored = write(s_aSignalPipe[1], &uByte, 1);
    (void)nIgnored;
    errno = nSavedErrno;
}

// Runs from the event loop, between two steps of the install: never in the middle of a file
// call.
void OnSignalPipe(int nFd, void*)
{
    unsigned char uByte = 0;
    if (read(nFd, &uByte, 1) != 1)
        return;
    int nSignal = uByte;
    if (s_pActiveWindow != nullptr)
        s_pActiveWindow->Interrupt();
    PatchPrintError("interrupted by signal " + std::to_string(nSignal) + " (" +
                    (nSignal == SIGINT ? "SIGINT" : "SIGTERM") + ")");
    // exit() rather than a return through the dialogs: its handlers remove the private Windows
    // directory.
    std::exit(128 + nSignal);
}

} // namespace

void PatchCatchSignals()
{
    if (s_aSignalPipe[0] >= 0)
        return;
    if (pipe2(s_aSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    {
        PatchPrintError(std::string("cannot make a pipe for signals: ") + std::strerror(errno));
        return;
    }
    Fl::add_fd(s_aSignalPipe[0], FL_READ, OnSignalPipe);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
