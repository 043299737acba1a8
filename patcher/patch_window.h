// The patch program's windows on FLTK: the progress dialog that drives the install's step
// machine from a 10 ms timer, the confirmation dialog and the message boxes.
//
// Test hooks: DEZOR_PATCH_ANSWERS is a comma-separated list of "ok", "cancel", "escape" and
// "return" (presses of those keys) and "close" (the window manager's close box), taken in turn
// by each dialog that waits for the user (the confirmation, the finished progress dialog, a
// message box), which then answers by itself a moment after it is shown and writes what it
// showed and the answer to standard error; a dialog still waiting after its answer takes the
// next one. When the list runs out, the next dialog that waits
// is closed instead, a line on standard error says so, and PatchAnswersRanOut() turns true:
// the program then ends with PATCH_FAILED.
// DEZOR_PATCH_CAPTURE names a directory where each dialog so answered is saved first as a PNG
// file (patch-01.png, patch-02.png, ...).
#pragma once

#include <memory>
#include <span>
#include <string>

#include "patcher/patch_dlg.h"

class Fl_Double_Window;
class Fl_Box;
class Fl_Progress;
class Fl_Button;
class Fl_Return_Button;
class Fl_Widget;

// The progress dialog: "Dravik Dezor Patch".
class CPatchWindow : public CPatchView
{
public:
    CPatchWindow(std::span<const PatchRow> rows, std::span<const PatchResource> resources);
    ~CPatchWindow() override;

    // Shows the dialog and runs until it is ended; its PatchResult.
    int DoModal();

    void SetCurrentFileBar(unsigned nPos) override;
    void SetOverallBar(unsigned nPos) override;
    void SetStatusText(const char* pszText) override;
    void EnableOkButton(bool bEnable) override;
    void SetTimer(unsigned nId, unsigned nMilliseconds) override;
    void KillTimer(unsigned nId) override;
    void EndDialog(int nResult) override;
    int RunConfirmDialog(const std::string& sInstallPath) override;
    void ReportError(const std::string& sLine) override;

    // The program is being ended by a signal (see PatchCatchSignals).
    void Interrupt();

private:
    static void OnTimerEvent(void* pData);
    static void OnOkButton(Fl_Widget* pWidget, void* pData);
    static void OnWindowEvent(Fl_Widget* pWidget, void* pData);

    std::unique_ptr<Fl_Double_Window> m_pWindow;
    Fl_Box* m_pStatus = nullptr;
    Fl_Progress* m_pCurrentBar = nullptr;
    Fl_Progress* m_pOverallBar = nullptr;
    Fl_Return_Button* m_pOk = nullptr;
    std::string m_sStatus;
    double m_dTimerPeriod = 0.0;
    bool m_bTimerRunning = false;
    int m_nResult = PATCH_FAILED;
    CPatchDlg m_dlg; // last: it is built on the window above and torn down before it
};

// The confirmation dialog: "About to install". Its ConfirmResult.
class CInstallConfirmDlg
{
public:
    explicit CInstallConfirmDlg(const std::string& sInstallPath);
    ~CInstallConfirmDlg();
    int DoModal();

private:
    static void OnOkButton(Fl_Widget* pWidget, void* pData);
    static void OnCancelButton(Fl_Widget* pWidget, void* pData);

    std::string m_sInstallPath; // before the window, whose label shows it
    std::unique_ptr<Fl_Double_Window> m_pWindow;
    int m_nResult = CONFIRM_DECLINE;
};

// A message box with the exclamation icon and an OK button, captioned with the program's name.
void PatchMessageBox(const char* pszText);

// Whether scripted answers ran out while a dialog waited (see the test hooks above).
bool PatchAnswersRanOut();

// The caption of message boxes: the program file's name.
void PatchSetProgramName(const char* pszArgv0);

// Writes "<program>: <line>" to standard error.
void PatchPrintError(const std::string& sLine);

// SIGINT and SIGTERM end the program cleanly from its event loop: the handler only writes the
// signal's number to a pipe that FLTK watches; from there the file being written is discarded
// (the old one stays, those already replaced stay replaced) and the program exits with
// 128 + the signal's number, its private Windows directory removed at exit. Call before the
// first dialog.
void PatchCatchSignals();
