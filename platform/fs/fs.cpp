#include "platform/fs/fs.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/reg/reg.h"

namespace
{

constexpr uint32_t kFileMagic = 0x46494C45u; // "FILE"

struct FsFile
{
    uint32_t magic;
    int fd;
};

thread_local DWORD t_lastError = ERROR_SUCCESS;

// Live handles, so a stale or foreign handle is refused rather than dereferenced.
std::mutex s_handleMutex;
std::unordered_set<FsFile*> s_handles;

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size(); ++i)
        if (b[i] == '\0' || AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return b[i] == '\0';
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EntryExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool MakeDirectories(const std::string& dir)
{
    if (dir.empty() || IsDirectory(dir))
        return true;
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash)))
        return false;
    return mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST;
}

std::string ParentOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The spelling of `component` inside `dir`: itself when it exists, else the first entry (in
// byte order) that matches without regard to case, else itself.
std::string ResolveComponent(const std::string& dir, const std::string& component)
{
    std::string base = dir.empty() ? "." : dir;
    if (EntryExists(base + "/" + component))
        return component;
    DIR* d = opendir(base.c_str());
    if (d == nullptr)
        return component;
    std::vector<std::string> matches;
    while (struct dirent* entry = readdir(d))
        if (SameText(component, entry->d_name))
            matches.push_back(entry->d_name);
    closedir(d);
    if (matches.empty())
        return component;
    return *std::min_element(matches.begin(), matches.end());
}

DWORD ErrorFromErrno(int err, const std::string& path, DWORD fallback)
{
    switch (err)
    {
        case ENOENT:
            return IsDirectory(ParentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return ERROR_PATH_NOT_FOUND;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case EBADF:
        case ETXTBSY:
        case EBUSY:
        case EXDEV:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ERROR_DISK_FULL;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return fallback;
    }
}

BOOL Fail(DWORD error)
{
    t_lastError = error;
    return FALSE;
}

// Resolves a name for a call, setting the error when it cannot be resolved.
bool HostPathFor(LPCSTR name, std::string& path)
{
    if (name == nullptr)
    {
        t_lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (!FsHostPath(name, path))
    {
        t_lastError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    return true;
}

FsFile* FileFromHandle(HANDLE handle)
{
    FsFile* file = static_cast<FsFile*>(handle);
    std::lock_guard<std::mutex> lock(s_handleMutex);
    if (s_handles.count(file) == 0 || file->magic != kFileMagic)
    {
        t_lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return file;
}

bool WriteAll(int fd, const void* data, size_t size, size_t& written, DWORD& error)
{
    const char* bytes = static_cast<const char*>(data);
    written = 0;
    while (written < size)
    {
        ssize_t n = write(fd, bytes + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            error = ErrorFromErrno(errno, "", ERROR_WRITE_FAULT);
            return false;
        }
        if (n == 0)
        {
            error = ERROR_WRITE_FAULT;
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size, size_t& got, DWORD& error)
{
    char* bytes = static_cast<char*>(data);
    got = 0;
    while (got < size)
    {
        ssize_t n = read(fd, bytes + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            error = ErrorFromErrno(errno, "", ERROR_READ_FAULT);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

DWORD GetLastError(void)
{
    return t_lastError;
}

void SetLastError(DWORD dwErrCode)
{
    t_lastError = dwErrCode;
}

BOOL FsHostPath(LPCSTR lpFileName, std::string& hostPath)
{
    if (lpFileName == nullptr)
    {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::string name = lpFileName;
    std::replace(name.begin(), name.end(), '\\', '/');

    std::string out;
    size_t pos = 0;
    bool isDriveName = name.size() >= 2 && name[1] == ':' &&
                       ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z'));
    if (isDriveName)
    {
        std::string drive = RegDriveDirectory(name[0]);
        if (drive.empty())
            return FALSE;
        if (AsciiLower(name[0]) == 'c' && drive == RegDefaultStateDirectory())
            MakeDirectories(drive);
        while (drive.size() > 1 && drive.back() == '/')
            drive.pop_back();
        out = drive;
        pos = 2;
    }
    else if (!name.empty() && name[0] == '/')
    {
        out.assign(1, '/'); // (assigning the literal trips a false -Wrestrict in GCC 12)
    }

    // A drive name never leaves its drive's directory: ".." stops at the drive's root.
    const size_t driveRoot = isDriveName ? out.size() : std::string::npos;
    while (pos < name.size())
    {
        size_t next = name.find('/', pos);
        if (next == std::string::npos)
            next = name.size();
        std::string component = name.substr(pos, next - pos);
        pos = next + 1;
        if (component.empty())
            continue;
        if (component == ".." && driveRoot != std::string::npos)
        {
            if (out.size() > driveRoot)
                out.erase(std::max(out.rfind('/'), driveRoot));
            continue;
        }
        if (component != "." && component != "..")
            component = ResolveComponent(out, component);
        if (!out.empty() && out.back() != '/')
            out += '/';
        out += component;
    }
    if (out.empty())
        out.assign(1, '.'); // (assigning the literal trips a false -Wrestrict in GCC 12)
    hostPath = out;
    return TRUE;
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD, void*,
                   DWORD dwCreationDisposition, DWORD, HANDLE)
{
    std::string path;
    if (!HostPathFor(lpFileName, path))
        return INVALID_HANDLE_VALUE;

    int flags = O_CLOEXEC;
    bool reading = (dwDesiredAccess & GENERIC_READ) != 0;
    bool writing = (dwDesiredAccess & GENERIC_WRITE) != 0;
    flags |= reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
    switch (dwCreationDisposition)
    {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            flags |= O_TRUNC;
            break;
        default:
            Fail(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }

    int fd;
    do
        fd = open(path.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
    {
        Fail(ErrorFromErrno(errno, path, ERROR_ACCESS_DENIED));
        return INVALID_HANDLE_VALUE;
    }
    // Directories are not files here, as on the original system.
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))
    {
        close(fd);
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }

    FsFile* file = new FsFile{kFileMagic, fd};
    std::lock_guard<std::mutex> lock(s_handleMutex);
    s_handles.insert(file);
    return file;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, void*)
{
    if (lpNumberOfBytesRead != nullptr)
        *lpNumberOfBytesRead = 0;
    FsFile* file = FileFromHandle(hFile);
    if (file == nullptr)
        return FALSE;
    if (lpBuffer == nullptr && nNumberOfBytesToRead != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    size_t got = 0;
    DWORD error = ERROR_SUCCESS;
    bool ok = ReadAll(file->fd, lpBuffer, nNumberOfBytesToRead, got, error);
    if (lpNumberOfBytesRead != nullptr)
        *lpNumberOfBytesRead = static_cast<DWORD>(got);
    return ok ? TRUE : Fail(error);
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, void*)
{
    if (lpNumberOfBytesWritten != nullptr)
        *lpNumberOfBytesWritten = 0;
    FsFile* file = FileFromHandle(hFile);
    if (file == nullptr)
        return FALSE;
    if (lpBuffer == nullptr && nNumberOfBytesToWrite != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    size_t written = 0;
    DWORD error = ERROR_SUCCESS;
    bool ok = WriteAll(file->fd, lpBuffer, nNumberOfBytesToWrite, written, error);
    if (lpNumberOfBytesWritten != nullptr)
        *lpNumberOfBytesWritten = static_cast<DWORD>(written);
    return ok ? TRUE : Fail(error);
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    FsFile* file = FileFromHandle(hFile);
    if (file == nullptr)
        return INVALID_FILE_SIZE;
    struct stat st;
    if (fstat(file->fd, &st) != 0)
    {
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh != nullptr)
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    // A size whose low part is all ones is told from a failure by the error.
    t_lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG* lpDistanceToMoveHigh,
                     DWORD dwMoveMethod)
{
    FsFile* file = FileFromHandle(hFile);
    if (file == nullptr)
        return INVALID_SET_FILE_POINTER;
    int whence;
    switch (dwMoveMethod)
    {
        case FILE_BEGIN:
            whence = SEEK_SET;
            break;
        case FILE_CURRENT:
            whence = SEEK_CUR;
            break;
        case FILE_END:
            whence = SEEK_END;
            break;
        default:
            Fail(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
    }
    // With a high part the distance is a 64-bit value; without, the low part is signed.
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr)
        distance = static_cast<int64_t>(
            (static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
            static_cast<uint32_t>(lDistanceToMove));
    off_t position = lseek(file->fd, static_cast<off_t>(distance), whence);
    if (position < 0)
    {
        Fail(errno == EINVAL ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
        return INVALID_SET_FILE_POINTER;
    }
    uint64_t where = static_cast<uint64_t>(position);
    if (lpDistanceToMoveHigh != nullptr)
        *lpDistanceToMoveHigh = static_cast<LONG>(where >> 32);
    t_lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(where);
}

BOOL FlushFileBuffers(HANDLE hFile)
{
    FsFile* file = FileFromHandle(hFile);
    if (file == nullptr)
        return FALSE;
    if (fsync(file->fd) != 0)
        return Fail(ErrorFromErrno(errno, "", ERROR_WRITE_FAULT));
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject)
{
    FsFile* file = static_cast<FsFile*>(hObject);
    {
        std::lock_guard<std::mutex> lock(s_handleMutex);
        if (s_handles.count(file) == 0 || file->magic != kFileMagic)
            return Fail(ERROR_INVALID_HANDLE);
        s_handles.erase(file);
    }
    file->magic = 0;
    // Linux releases the descriptor even when close() reports an error, so no retry.
    int result = close(file->fd);
    delete file;
    if (result != 0 && errno != EINTR)
        return Fail(ErrorFromErrno(errno, "", ERROR_WRITE_FAULT));
    return TRUE;
}

BOOL CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists)
{
    std::string from;
    std::string to;
    if (!HostPathFor(lpExistingFileName, from) || !HostPathFor(lpNewFileName, to))
        return FALSE;

    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return Fail(ErrorFromErrno(errno, from, ERROR_ACCESS_DENIED));
    struct stat inStat;
    if (fstat(in, &inStat) != 0 || S_ISDIR(inStat.st_mode))
    {
        close(in);
        return Fail(ERROR_ACCESS_DENIED);
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (bFailIfExists ? O_EXCL : 0);
    int out = open(to.c_str(), flags, inStat.st_mode & 0777);
    if (out < 0)
    {
        DWORD error = ErrorFromErrno(errno, to, ERROR_ACCESS_DENIED);
        close(in);
        return Fail(error);
    }
    // Copying a file onto itself must not truncate it first.
    struct stat outStat;
    if (fstat(out, &outStat) != 0 ||
        (outStat.st_dev == inStat.st_dev && outStat.st_ino == inStat.st_ino))
    {
        close(in);
        close(out);
        return Fail(ERROR_ACCESS_DENIED);
    }

    DWORD error = ERROR_SUCCESS;
    bool ok = ftruncate(out, 0) == 0;
    if (!ok)
        error = ErrorFromErrno(errno, to, ERROR_WRITE_FAULT);
    std::vector<char> buffer(64 * 1024);
    while (ok)
    {
        size_t got = 0;
        size_t written = 0;
        ok = ReadAll(in, buffer.data(), buffer.size(), got, error);
        if (!ok || got == 0)
            break;
        ok = WriteAll(out, buffer.data(), got, written, error);
    }
    close(in);
    if (close(out) != 0 && ok)
    {
        ok = false;
        error = ErrorFromErrno(errno, to, ERROR_WRITE_FAULT);
    }
    if (!ok)
    {
        unlink(to.c_str());
        return Fail(error);
    }
    return TRUE;
}

BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags)
{
    std::string from;
    std::string to;
    if (!HostPathFor(lpExistingFileName, from) || !HostPathFor(lpNewFileName, to))
        return FALSE;
    if (!EntryExists(from))
        return Fail(ErrorFromErrno(ENOENT, from, ERROR_FILE_NOT_FOUND));
    if ((dwFlags & MOVEFILE_REPLACE_EXISTING) == 0 && EntryExists(to))
        return Fail(ERROR_ALREADY_EXISTS);
    if (rename(from.c_str(), to.c_str()) != 0)
        return Fail(ErrorFromErrno(errno, to, ERROR_ACCESS_DENIED));
    return TRUE;
}

BOOL DeleteFileA(LPCSTR lpFileName)
{
    std::string path;
    if (!HostPathFor(lpFileName, path))
        return FALSE;
    if (unlink(path.c_str()) != 0)
        return Fail(ErrorFromErrno(errno, path, ERROR_ACCESS_DENIED));
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR lpPathName, void*)
{
    std::string path;
    if (!HostPathFor(lpPathName, path))
        return FALSE;
    if (mkdir(path.c_str(), 0777) != 0)
    {
        if (errno == EEXIST)
            return Fail(ERROR_ALREADY_EXISTS);
        // A missing parent is a missing path, not a missing file.
        if (errno == ENOENT)
            return Fail(ERROR_PATH_NOT_FOUND);
        return Fail(ErrorFromErrno(errno, path, ERROR_ACCESS_DENIED));
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR lpFileName)
{
    std::string path;
    if (!HostPathFor(lpFileName, path))
        return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
    {
        Fail(ErrorFromErrno(errno, path, ERROR_ACCESS_DENIED));
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

namespace
{

// The private Windows directory and its Temp folder; plain arrays, as the exit handler may run
// after static strings are gone.
std::mutex s_windowsMutex;
char s_privateWindows[PATH_MAX];
char s_privateTemp[PATH_MAX + 8];

void RemovePrivateWindows()
{
    // No later run can find this run's directory, so the files it left in Temp (a temporary
    // file kept after an error) go with it. A directory left inside keeps both.
    if (DIR* dir = opendir(s_privateTemp))
    {
        // (unlinkat without AT_REMOVEDIR leaves directories alone)
        while (dirent* entry = readdir(dir))
            unlinkat(dirfd(dir), entry->d_name, 0);
        closedir(dir);
    }
    rmdir(s_privateTemp);
    rmdir(s_privateWindows);
}

std::string PrivateWindowsDirectory()
{
    std::lock_guard<std::mutex> lock(s_windowsMutex);
    if (s_privateWindows[0] == '\0')
    {
        const char* tmp = getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/dezor-windows-XXXXXX";
        if (pattern.size() >= sizeof s_privateWindows || mkdtemp(pattern.data()) == nullptr)
            return "";
        std::memcpy(s_privateWindows, pattern.c_str(), pattern.size() + 1);
        std::string temp = pattern + "/Temp";
        std::memcpy(s_privateTemp, temp.c_str(), temp.size() + 1);
        mkdir(s_privateTemp, 0700);
        atexit(RemovePrivateWindows);
    }
    return s_privateWindows;
}

} // namespace

UINT GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    std::string dir = RegWindowsDirectory();
    if (dir.empty())
        dir = PrivateWindowsDirectory();
    if (dir.empty())
    {
        Fail(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    if (lpBuffer == nullptr || uSize < dir.size() + 1)
        return static_cast<UINT>(dir.size() + 1);
    std::memcpy(lpBuffer, dir.c_str(), dir.size() + 1);
    return static_cast<UINT>(dir.size());
}

BOOL GetDiskFreeSpaceExA(LPCSTR lpDirectoryName, ULARGE_INTEGER* lpFreeBytesAvailableToCaller,
                         ULARGE_INTEGER* lpTotalNumberOfBytes,
                         ULARGE_INTEGER* lpTotalNumberOfFreeBytes)
{
    std::string path;
    if (!HostPathFor(lpDirectoryName, path))
        return FALSE;
    struct statvfs info;
    if (statvfs(path.c_str(), &info) != 0)
        return Fail(ErrorFromErrno(errno, path, ERROR_PATH_NOT_FOUND));
    uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    if (lpFreeBytesAvailableToCaller != nullptr)
        lpFreeBytesAvailableToCaller->QuadPart = static_cast<uint64_t>(info.f_bavail) * unit;
    if (lpTotalNumberOfBytes != nullptr)
        lpTotalNumberOfBytes->QuadPart = static_cast<uint64_t>(info.f_blocks) * unit;
    if (lpTotalNumberOfFreeBytes != nullptr)
        lpTotalNumberOfFreeBytes->QuadPart = static_cast<uint64_t>(info.f_bfree) * unit;
    return TRUE;
}
