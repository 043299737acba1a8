// The patch program's install, as a step machine run one step per tick of a 10 ms timer. It
// finds the installation through the registry value HDPath, asks for confirmation, then
// unpacks each of its compressed resources (one gzip member holding a DKPR record) into a file
// of the installation directory, one 4096-byte chunk per tick, and finally removes its
// temporary file and an obsolete file of the installation.
//
// The machine draws nothing itself: it talks to its window through CPatchView, which the
// program implements with FLTK and the tests with a recorder, so it runs without a display.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include <zlib.h>

#include "platform/win/wintypes.h"

// Texts of the string table.
enum PatchStringId
{
    IDS_NO_INSTALLATION = 1,
    IDS_UPDATE_ERROR = 2,
    IDS_PATCH_COMPLETED = 3,
    IDS_EXTRACTING = 4,
    IDS_CONTINUE = 5,
    IDS_INSTALLED_TO = 6,
};

const char* PatchString(int nId);

// Results of the progress dialog.
enum PatchResult
{
    PATCH_DONE = 0,          // finished, and OK pressed
    PATCH_NOT_INSTALLED = 1, // no installation found
    PATCH_FAILED = 2,        // an error, or Escape pressed while unpacking
    PATCH_DECLINED = 3,      // the user would not install
};

// Results of the confirmation dialog.
enum ConfirmResult
{
    CONFIRM_INSTALL = 0,
    CONFIRM_DECLINE = 1,
};

// The message box text shown after the progress dialog ends with `nResult`; NULL for none.
const char* PatchResultMessage(int nResult);

// One row of the payload: the resource unpacked and the file it becomes under the install path.
struct PatchRow
{
    int nResource;
    const char* pszTarget;
};

// One resource: a gzip member holding a DKPR record.
struct PatchResource
{
    int nId;
    std::span<const uint8_t> bytes;
};

// The payload of the program, in the order it is unpacked. Its row count also divides the
// overall progress.
std::span<const PatchRow> PatchPayloadRows(void);

// Install path: HDPath with a trailing backslash once found; every target name is appended to it.
extern std::string gsInstallPath;

// What the step machine asks of its window.
class CPatchView
{
public:
    virtual ~CPatchView() = default;

    // Progress bars with the range 0 to 100.
    virtual void SetCurrentFileBar(unsigned nPos) = 0;
    virtual void SetOverallBar(unsigned nPos) = 0;
    virtual void SetStatusText(const char* pszText) = 0;
    virtual void EnableOkButton(bool bEnable) = 0;
    // Timer 1 calls CPatchDlg::OnTimer(1) every nMilliseconds until killed.
    virtual void SetTimer(unsigned nId, unsigned nMilliseconds) = 0;
    virtual void KillTimer(unsigned nId) = 0;
    // Closes the progress dialog; its run returns nResult.
    virtual void EndDialog(int nResult) = 0;
    // Runs the confirmation dialog showing the install path; a ConfirmResult.
    virtual int RunConfirmDialog(const std::string& sInstallPath) = 0;
    // One line naming what failed and why ("cannot write /x/Marvane.exe.part: No space left on
    // device"); the dialog itself shows only its one message.
    virtual void ReportError(const std::string& sLine) = 0;
};

class CPatchDlg
{
public:
    static constexpr unsigned kTimerId = 1;
    static constexpr unsigned kTimerPeriod = 10; // ms
    static constexpr uint32_t kChunk = 4096;

    // Steps of the machine.
    enum
    {
        STEP_FIND = 0,
        STEP_PREPARE = 1,
        STEP_UNPACK = 2,
        STEP_CLEAN_UP = 3,
        STEP_FINISHED = 4,
    };

    // Results of ExtractStep.
    enum
    {
        EXTRACT_GO_ON = 0,
        EXTRACT_ERROR = 1,
        EXTRACT_ALL_DONE = 2,
    };

    // The rows and resources must outlive the dialog.
    CPatchDlg(CPatchView& view, std::span<const PatchRow> rows,
              std::span<const PatchResource> resources);
    // A target still being written is discarded: the file it would replace stays as it was.
    ~CPatchDlg();
    CPatchDlg(const CPatchDlg&) = delete;
    CPatchDlg& operator=(const CPatchDlg&) = delete;

    BOOL OnInitDialog();
    void OnTimer(unsigned nIdEvent);
    // OK (enabled once finished) ends the dialog with PATCH_DONE.
    void OnOK();
    // Escape ends the dialog with PATCH_FAILED, a target half written discarded; once finished,
    // it ends the dialog as OK does.
    void OnCancel();
    // The program is being ended by a signal: the target still being written is discarded and
    // the timer stopped, so that the old file stays as it was; files already replaced stay.
    void OnInterrupt();

    BOOL FindInstallPath();
    BOOL PrepareTempPath();
    int ExtractStep();

    int Step() const { return m_nStep; }
    int FileIndex() const { return m_nFileIndex; }
    uint32_t BytesWritten() const { return m_uBytesWritten; }
    const std::string& TempPath() const { return m_sTempPath; }

private:
    int WriteResourceToTemp();
    int OpenTarget();
    int FinishTarget();
    // Closes the half-written target and the gzip stream, deletes the partial file; EXTRACT_ERROR.
    int AbandonTarget();
    // Reports a failure of a file call on sPath (to sTo, for a rename; Windows-style names) with
    // the cause it left. Called straight after the failed call, before errno can change.
    void ReportFileError(const char* pszWhat, const std::string& sPath,
                         const std::string& sTo = std::string());
    // Reports damage in the current resource; EXTRACT_ERROR, the target abandoned.
    int DamagedResource(const char* pszCause);
    void UpdateBars();

    int m_bBusy = FALSE;
    const uint8_t* m_pResource = nullptr;
    HANDLE m_hDestination = INVALID_HANDLE_VALUE;
    CPatchView& m_view;
    std::string m_sDestPath;
    std::string m_sPartialPath; // the target is written here, then renamed over m_sDestPath
    std::string m_sTempPath;
    int m_nFileIndex = 0;
    uint32_t m_uBytesWritten = 0;
    gzFile m_gzFile = nullptr;
    uint32_t m_uLength = 0;
    int m_nResourceId = 0;
    int m_nStep = STEP_FIND;

    std::span<const PatchRow> m_rows;
    std::span<const PatchResource> m_resources;
};
