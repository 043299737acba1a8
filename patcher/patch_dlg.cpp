#include "patcher/patch_dlg.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include <sys/stat.h>

#include "platform/fs/fs.h"
#include "platform/reg/reg.h"

std::string gsInstallPath;

namespace
{

constexpr std::array<PatchRow, 7> kPayloadRows = {{
    {101, "Kelvory.exe"},
    {102, "Kelvory.exe"}, // the same name again: this one is what stays
    {103, "Plosset.vxd"},
    {104, "Marvane.exe"}, // the game program
    {105, "Q7712.dll"},
    {106, "Vlm1.dll"},
    {107, "Vlm2.dll"},
}};

// Left over from an earlier release; removed once the payload is in.
constexpr const char* kObsoleteFile = "Q53.dll";
constexpr const char* kTempName = "Temp\\ZUZIrozo.tmp";
// Where a target is written before it replaces the old file.
constexpr const char* kPartialSuffix = ".part";

constexpr const char* kInstallKeys[] = {"Software", "Velmorra", "Dezor", "1.00"};

uint32_t ReadLe32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A replaced file keeps its permissions: the game program must stay executable. A new file is
// made executable, since every file carried is a program or a library.
void KeepModeOf(const std::string& oldFile, const std::string& newFile)
{
    std::string oldHost;
    std::string newHost;
    if (!FsHostPath(oldFile.c_str(), oldHost) || !FsHostPath(newFile.c_str(), newHost))
        return;
    struct stat st;
    if (stat(oldHost.c_str(), &st) == 0)
    {
        if (S_ISREG(st.st_mode))
            chmod(newHost.c_str(), st.st_mode & 07777);
    }
    else if (errno == ENOENT)
    {
        chmod(newHost.c_str(), 0755);
    }
}

// The host file a Windows-style name stands for, for messages; the name itself if unmapped.
std::string HostName(const std::string& sName)
{
    std::string sHost;
    return FsHostPath(sName.c_str(), sHost) ? sHost : sName;
}

// Whether errno, read after a file call failed, is the cause of the Win32 code the call left
// rather than a leftover of some earlier call.
bool ErrnoFits(DWORD uError, int nErrno)
{
    switch (uError)
    {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return nErrno == ENOENT || nErrno == ENOTDIR || nErrno == ENAMETOOLONG ||
                   nErrno == ELOOP;
        case ERROR_ACCESS_DENIED:
            return nErrno == EACCES || nErrno == EPERM || nErrno == EROFS || nErrno == EISDIR ||
                   nErrno == ETXTBSY || nErrno == EBUSY || nErrno == EXDEV;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return nErrno == ENOSPC || nErrno == EDQUOT || nErrno == EFBIG;
        case ERROR_WRITE_FAULT:
        case ERROR_READ_FAULT:
            return nErrno == EIO;
        default:
            return false;
    }
}

// Why a file call failed, in the system's words. The Win32 code alone says less than errno
// (a directory in the way and a denied permission are both ERROR_ACCESS_DENIED).
std::string CauseOf(DWORD uError, int nErrno)
{
    if (nErrno != 0 && ErrnoFits(uError, nErrno))
        return std::strerror(nErrno);
    switch (uError)
    {
        case ERROR_FILE_NOT_FOUND:
            return std::strerror(ENOENT);
        case ERROR_PATH_NOT_FOUND:
            return "No such directory";
        case ERROR_ACCESS_DENIED:
            return std::strerror(EACCES);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return std::strerror(ENOSPC);
        case ERROR_NOT_ENOUGH_MEMORY:
            return std::strerror(ENOMEM);
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return std::strerror(EEXIST);
        case ERROR_WRITE_FAULT:
            return "Write error";
        case ERROR_READ_FAULT:
            return "Read error";
        default:
            return "error " + std::to_string(uError);
    }
}

// What zlib says went wrong with a stream, without the file name it puts first; pszElse when
// the stream just ended.
std::string GzCause(gzFile gz, const std::string& sHostPath, const char* pszElse)
{
    int nErr = Z_OK;
    const char* pszMessage = gz != nullptr ? gzerror(gz, &nErr) : nullptr;
    if (nErr == Z_OK || pszMessage == nullptr || pszMessage[0] == '\0')
        return pszElse;
    std::string sMessage = pszMessage;
    if (sMessage.rfind(sHostPath + ": ", 0) == 0)
        sMessage.erase(0, sHostPath.size() + 2);
    return sMessage;
}

} // namespace

const char* PatchString(int nId)
{
    switch (nId)
    {
        case IDS_NO_INSTALLATION:
            return "Unable to find previous Dravik Dezor installation.";
        case IDS_UPDATE_ERROR:
            return "An error occurred during file update.";
        case IDS_PATCH_COMPLETED:
            return "Patch completed successfully.";
        case IDS_EXTRACTING:
            return "Extracting files...";
        case IDS_CONTINUE:
            return "Do you wish to continue with the installation?";
        case IDS_INSTALLED_TO:
            return "This patch will be installed to:";
        default:
            return "";
    }
}

const char* PatchResultMessage(int nResult)
{
    switch (nResult)
    {
        case PATCH_NOT_INSTALLED:
            return PatchString(IDS_NO_INSTALLATION);
        case PATCH_FAILED:
            return PatchString(IDS_UPDATE_ERROR);
        default:
            return nullptr;
    }
}

std::span<const PatchRow> PatchPayloadRows(void)
{
    return kPayloadRows;
}

CPatchDlg::CPatchDlg(CPatchView& view, std::span<const PatchRow> rows,
                     std::span<const PatchResource> resources)
    : m_view(view), m_rows(rows), m_resources(resources)
{
}

CPatchDlg::~CPatchDlg()
{
    if (m_hDestination != INVALID_HANDLE_VALUE || m_gzFile != nullptr)
        AbandonTarget();
}

BOOL CPatchDlg::OnInitDialog()
{
    m_view.SetCurrentFileBar(0);
    m_view.SetOverallBar(0);
    m_view.EnableOkButton(false);
    m_bBusy = FALSE;
    m_view.SetTimer(kTimerId, kTimerPeriod);
    m_view.SetStatusText(PatchString(IDS_EXTRACTING));
    m_nStep = STEP_FIND;
    return TRUE;
}

void CPatchDlg::OnOK()
{
    m_view.EndDialog(PATCH_DONE);
}

void CPatchDlg::OnCancel()
{
    // Every file is in by now: ending here as an error would report a good install as failed.
    if (m_nStep == STEP_FINISHED)
    {
        OnOK();
        return;
    }
    if (m_hDestination != INVALID_HANDLE_VALUE || m_gzFile != nullptr)
        AbandonTarget();
    m_view.KillTimer(kTimerId);
    m_view.EndDialog(PATCH_FAILED);
}

void CPatchDlg::OnInterrupt()
{
    if (m_hDestination != INVALID_HANDLE_VALUE || m_gzFile != nullptr)
        AbandonTarget();
    m_view.KillTimer(kTimerId);
}

void CPatchDlg::OnTimer(unsigned nIdEvent)
{
    // The confirmation dialog runs its own loop inside the find step, and the timer keeps
    // firing meanwhile: those ticks must do nothing.
    if (nIdEvent != kTimerId || m_bBusy)
        return;
    m_bBusy = TRUE;
    switch (m_nStep)
    {
        case STEP_FIND:
            if (!FindInstallPath())
            {
                m_view.KillTimer(kTimerId);
                m_view.EndDialog(PATCH_NOT_INSTALLED);
            }
            else if (m_view.RunConfirmDialog(gsInstallPath) == CONFIRM_INSTALL)
            {
                m_nStep = STEP_PREPARE;
            }
            else
            {
                m_view.KillTimer(kTimerId);
                m_view.EndDialog(PATCH_DECLINED);
            }
            break;
        case STEP_PREPARE:
            PrepareTempPath();
            m_nStep = STEP_UNPACK;
            break;
        case STEP_UNPACK:
            switch (ExtractStep())
            {
                case EXTRACT_ERROR:
                    m_view.KillTimer(kTimerId);
                    m_view.EndDialog(PATCH_FAILED);
                    break;
                case EXTRACT_ALL_DONE:
                    m_nStep = STEP_CLEAN_UP;
                    break;
                default:
                    UpdateBars();
                    break;
            }
            break;
        case STEP_CLEAN_UP:
            // Either file may be missing; that is no error.
            DeleteFileA(m_sTempPath.c_str());
            DeleteFileA((gsInstallPath + kObsoleteFile).c_str());
            m_view.EnableOkButton(true);
            m_view.KillTimer(kTimerId);
            m_view.SetStatusText(PatchString(IDS_PATCH_COMPLETED));
            m_nStep = STEP_FINISHED;
            break;
        default:
            break;
    }
    m_bBusy = FALSE;
}

BOOL CPatchDlg::FindInstallPath()
{
    HKEY aKeys[std::size(kInstallKeys)];
    size_t nOpened = 0;
    HKEY hParent = HKEY_LOCAL_MACHINE;
    for (const char* pszName : kInstallKeys)
    {
        if (RegOpenKeyA(hParent, pszName, &aKeys[nOpened]) != ERROR_SUCCESS)
            break;
        hParent = aKeys[nOpened++];
    }

    BOOL bFound = FALSE;
    DWORD uSize = 0;
    // An empty value names no installation: it would put the files at the root.
    if (nOpened == std::size(kInstallKeys) &&
        RegQueryValueExA(hParent, "HDPath", nullptr, nullptr, nullptr, &uSize) == ERROR_SUCCESS &&
        uSize > 1)
    {
        std::string sValue(uSize, '\0');
        DWORD uRead = uSize;
        LONG nResult = RegQueryValueExA(hParent, "HDPath", nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(sValue.data()), &uRead);
        sValue.resize(strnlen(sValue.c_str(), uSize - 1));
        gsInstallPath = sValue;
        if (gsInstallPath.empty() || gsInstallPath.back() != '\\')
            gsInstallPath += '\\';
        bFound = nResult == ERROR_SUCCESS && !sValue.empty();
    }

    while (nOpened > 0)
        RegCloseKey(aKeys[--nOpened]);
    return bFound;
}

BOOL CPatchDlg::PrepareTempPath()
{
    m_nFileIndex = 0;
    m_uBytesWritten = 0;
    m_pResource = nullptr;

    std::string sWindows;
    UINT nNeeded = GetWindowsDirectoryA(nullptr, 0);
    if (nNeeded > 0)
    {
        sWindows.resize(nNeeded);
        UINT nGot = GetWindowsDirectoryA(sWindows.data(), nNeeded);
        sWindows.resize(nGot < nNeeded ? nGot : 0);
    }
    if (sWindows.empty() || sWindows.back() != '\\')
        sWindows += '\\';
    // A Windows directory here may lack the Temp folder every Windows directory has.
    CreateDirectoryA((sWindows + "Temp").c_str(), nullptr);
    m_sTempPath = sWindows + kTempName;
    return TRUE;
}

int CPatchDlg::ExtractStep()
{
    if (m_nFileIndex >= static_cast<int>(m_rows.size()))
        return EXTRACT_ALL_DONE;
    if (m_pResource == nullptr)
        return WriteResourceToTemp();
    if (m_uBytesWritten == 0 && OpenTarget() != EXTRACT_GO_ON)
        return EXTRACT_ERROR;

    uint32_t uRemaining = m_uLength - m_uBytesWritten;
    uint32_t uWant = uRemaining < kChunk ? uRemaining : kChunk;
    unsigned char aBuffer[kChunk];
    // The record's length promises the bytes: a stream that ends early or is damaged is an error,
    // never a shorter file.
    if (uWant > 0 && gzread(m_gzFile, aBuffer, uWant) != static_cast<int>(uWant))
        return DamagedResource("the record is longer than its data");
    DWORD uWritten = 0;
    if (!WriteFile(m_hDestination, aBuffer, uWant, &uWritten, nullptr) || uWritten != uWant)
    {
        ReportFileError("write", m_sPartialPath);
        return AbandonTarget();
    }
    if (uRemaining >= kChunk)
    {
        m_uBytesWritten += kChunk;
        return EXTRACT_GO_ON;
    }
    return FinishTarget();
}

int CPatchDlg::WriteResourceToTemp()
{
    const PatchRow& row = m_rows[static_cast<size_t>(m_nFileIndex)];
    const PatchResource* pResource = nullptr;
    for (const PatchResource& resource : m_resources)
        if (resource.nId == row.nResource)
            pResource = &resource;
    m_sDestPath = gsInstallPath + row.pszTarget;
    m_nResourceId = row.nResource;
    // An empty resource cannot hold a record, and would read as "not yet written" forever.
    if (pResource == nullptr || pResource->bytes.empty() || pResource->bytes.size() > 0xFFFFFFFFu)
    {
        m_view.ReportError("no resource " + std::to_string(row.nResource) + " for " +
                           HostName(m_sDestPath));
        return EXTRACT_ERROR;
    }

    HANDLE hTemp = CreateFileA(m_sTempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hTemp == INVALID_HANDLE_VALUE)
    {
        ReportFileError("create", m_sTempPath);
        return EXTRACT_ERROR;
    }
    DWORD uSize = static_cast<DWORD>(pResource->bytes.size());
    DWORD uWritten = 0;
    BOOL bOk =
        WriteFile(hTemp, pResource->bytes.data(), uSize, &uWritten, nullptr) && uWritten == uSize;
    if (!bOk)
        ReportFileError("write", m_sTempPath);
    if (!CloseHandle(hTemp) && bOk)
    {
        ReportFileError("write", m_sTempPath);
        bOk = FALSE;
    }
    if (!bOk)
        return EXTRACT_ERROR;
    m_pResource = pResource->bytes.data();
    return EXTRACT_GO_ON;
}

int CPatchDlg::OpenTarget()
{
    std::string sHost;
    errno = 0;
    if (FsHostPath(m_sTempPath.c_str(), sHost))
        m_gzFile = gzopen(sHost.c_str(), "rb");
    if (m_gzFile == nullptr)
    {
        int nErrno = errno;
        m_view.ReportError("cannot read " + HostName(m_sTempPath) + ": " +
                           (nErrno != 0 ? std::strerror(nErrno) : "cannot open it"));
        return AbandonTarget();
    }
    unsigned char aHeader[8];
    if (gzread(m_gzFile, aHeader, sizeof aHeader) != static_cast<int>(sizeof aHeader))
        return DamagedResource("the record's header is cut short");
    // Only the length is used; the record's tag in the first four bytes is not looked at.
    m_uLength = ReadLe32(aHeader + 4);

    m_sPartialPath = m_sDestPath + kPartialSuffix;
    m_hDestination = CreateFileA(m_sPartialPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hDestination == INVALID_HANDLE_VALUE)
    {
        ReportFileError("create", m_sPartialPath);
        return AbandonTarget();
    }
    return EXTRACT_GO_ON;
}

int CPatchDlg::FinishTarget()
{
    // Reading on to the end of the stream lets zlib check its CRC and size, so damage in the
    // last bytes or a cut-off trailer is not taken for a good file.
    unsigned char aProbe[kChunk];
    int nProbe = gzread(m_gzFile, aProbe, sizeof aProbe);
    int nErr = Z_OK;
    gzerror(m_gzFile, &nErr);
    if (nProbe < 0 || nErr != Z_OK)
        return DamagedResource("damaged data");
    BOOL bOk = FlushFileBuffers(m_hDestination);
    if (!bOk)
        ReportFileError("write", m_sPartialPath);
    if (!CloseHandle(m_hDestination) && bOk)
    {
        ReportFileError("write", m_sPartialPath);
        bOk = FALSE;
    }
    m_hDestination = INVALID_HANDLE_VALUE;
    if (!bOk)
        return AbandonTarget();
    gzclose(m_gzFile);
    m_gzFile = nullptr;

    KeepModeOf(m_sDestPath, m_sPartialPath);
    if (!MoveFileExA(m_sPartialPath.c_str(), m_sDestPath.c_str(), MOVEFILE_REPLACE_EXISTING))
    {
        ReportFileError("rename", m_sPartialPath, m_sDestPath);
        return AbandonTarget();
    }
    m_sPartialPath.clear();

    ++m_nFileIndex;
    m_uBytesWritten = 0;
    m_pResource = nullptr;
    return EXTRACT_GO_ON;
}

int CPatchDlg::AbandonTarget()
{
    if (m_hDestination != INVALID_HANDLE_VALUE)
    {
        CloseHandle(m_hDestination);
        m_hDestination = INVALID_HANDLE_VALUE;
    }
    if (!m_sPartialPath.empty())
    {
        DeleteFileA(m_sPartialPath.c_str());
        m_sPartialPath.clear();
    }
    if (m_gzFile != nullptr)
    {
        gzclose(m_gzFile);
        m_gzFile = nullptr;
    }
    return EXTRACT_ERROR;
}

void CPatchDlg::ReportFileError(const char* pszWhat, const std::string& sPath,
                                const std::string& sTo)
{
    // Read first: anything called after the failure may change them.
    int nErrno = errno;
    DWORD uError = GetLastError();
    std::string sLine = std::string("cannot ") + pszWhat + " " + HostName(sPath);
    if (!sTo.empty())
        sLine += " to " + HostName(sTo);
    m_view.ReportError(sLine + ": " + CauseOf(uError, nErrno));
}

int CPatchDlg::DamagedResource(const char* pszCause)
{
    std::string sTempHost = HostName(m_sTempPath);
    m_view.ReportError("damaged resource " + std::to_string(m_nResourceId) + " for " +
                       HostName(m_sDestPath) + ": " + GzCause(m_gzFile, sTempHost, pszCause));
    return AbandonTarget();
}

void CPatchDlg::UpdateBars()
{
    if (m_rows.empty())
        return;
    // In 64 bits: bytes x 99 would wrap in 32 for files over 43 MB.
    uint64_t uCurrent =
        m_uBytesWritten == 0 ? 0 : static_cast<uint64_t>(m_uBytesWritten) * 99 / m_uLength;
    uint64_t uOverall = (static_cast<uint64_t>(m_nFileIndex) * 99 + uCurrent) / m_rows.size();
    m_view.SetCurrentFileBar(static_cast<unsigned>(uCurrent));
    m_view.SetOverallBar(static_cast<unsigned>(uOverall));
}
