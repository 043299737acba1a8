#include "engine/pc/core/dk_file.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zlib.h>

#include "engine/common/dk_heap.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/main.h"
#include "platform/fs/fs.h"
#include "platform/reg/reg.h"
#include "platform/win/win.h"

namespace
{

char gszHardDrivePath[DK_HD_PATH_SIZE];
BOOL gboHardDrivePathSet = FALSE;
char gszCDPath[DK_CD_PATH_SIZE];
BOOL gboCDPathSet = FALSE;
uint32_t guLastFileSize = 0;

// gzread takes an unsigned int and answers with an int; larger files are read in pieces.
constexpr unsigned kReadPiece = 1u << 30;

const char* const kTemporaryExtensions[] = {".c3d", ".obj", ".bmp", ".sht",
                                            ".fon", ".shp", ".hzn", ".trg"};

// The root the kind names ("" for a name used as given), reporting an unset one.
const char* RootFor(int nKind, const char* pszUnsetHD, const char* pszUnsetCD)
{
    if (nKind == DKLF_HARDDRIVE)
    {
        if (!gboHardDrivePathSet)
            DKREPORT(pszUnsetHD);
        return gszHardDrivePath;
    }
    if (nKind == DKLF_CD && pszUnsetCD != nullptr)
    {
        if (!gboCDPathSet)
            DKREPORT(pszUnsetCD);
        return gszCDPath;
    }
    return "";
}

// The name a load reads: the root of its kind (an unset one reported) followed by the name.
std::string LoadName(const char* pszName, int nKind)
{
    return std::string(
               RootFor(nKind,
                       "DkMallocLoadFile() : HardDrive path has not been set.\nUse "
                       "DkSetHardDrivePath()",
                       "DkMallocLoadFile() : CD path has not been set.\nUse DkSetCDPath()")) +
           pszName;
}

// Files parsed at once go to the one-block temporary heap.
void* AllocateFor(const std::string& fullName, uint32_t uBytes)
{
    bool temporary = false;
    if (fullName.size() >= 4)
    {
        char ext[5];
        for (int i = 0; i < 4; ++i)
            ext[i] = static_cast<char>(
                std::tolower(static_cast<unsigned char>(fullName[fullName.size() - 4 + i])));
        ext[4] = '\0';
        for (const char* known : kTemporaryExtensions)
            if (std::strcmp(ext, known) == 0)
                temporary = true;
    }
    return temporary ? DkTempHeapAlloc(uBytes) : DkHeapAlloc(uBytes);
}

// Reads up to uBytes through the gzip reader; the count read.
uint32_t GzReadAll(gzFile file, unsigned char* pTo, uint32_t uBytes)
{
    uint32_t done = 0;
    while (done < uBytes)
    {
        unsigned piece = uBytes - done < kReadPiece ? uBytes - done : kReadPiece;
        int got = gzread(file, pTo + done, piece);
        if (got <= 0)
            break;
        done += static_cast<uint32_t>(got);
    }
    return done;
}

void* LoadWrapped(gzFile file, const std::string& fullName, uint32_t uLength)
{
    if (uLength == 0xFFFFFFFFu)
    {
        DKREPORT("DkMallocLoadFile() : Error getting file size");
        return nullptr;
    }
    unsigned char* block = static_cast<unsigned char*>(AllocateFor(fullName, uLength));
    if (block == nullptr)
        return nullptr;
    guLastFileSize = uLength;
    uint32_t got = GzReadAll(file, block, uLength);
    if (got != uLength)
    {
        // A wrapper that promises more than it holds is a damaged file, not a shorter one.
        DKREPORT(DkFormatString("DkMallocLoadFile() : Only read %d bytes of %d", (int)got,
                                (int)uLength));
        return nullptr;
    }
    return block;
}

void* LoadRaw(const std::string& fullName)
{
    HANDLE file = CreateFileA(fullName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        DKREPORT(DkFormatString("*** Error opening file '%s' for input.", fullName.c_str()));
        return nullptr;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if ((size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) || high != 0 ||
        size == 0xFFFFFFFFu)
    {
        DKREPORT("DkMallocLoadFile() : Error getting file size");
        CloseHandle(file);
        return nullptr;
    }
    void* block = AllocateFor(fullName, size);
    guLastFileSize = size;
    DWORD got = 0;
    if (block == nullptr || !ReadFile(file, block, size, &got, nullptr) || got != size)
    {
        DKREPORT(
            DkFormatString("DkMallocLoadFile() : Only read %d bytes of %d", (int)got, (int)size));
        CloseHandle(file);
        return nullptr;
    }
    CloseHandle(file);
    return block;
}

} // namespace

void* DkMallocLoadFile(const char* pszName, int nKind)
{
    if (pszName == nullptr)
    {
        DKREPORT(DkFormatString("*** Error opening file '%s' for input.", "(null)"));
        return nullptr;
    }
    std::string fullName = LoadName(pszName, nKind);
    if (fullName.size() > DK_MAX_FILE_NAME)
    {
        DKREPORT("DkMallocLoadFile() : Filename too long");
        return nullptr;
    }

    std::string hostName;
    gzFile file = FsHostPath(fullName.c_str(), hostName) ? gzopen(hostName.c_str(), "rb") : nullptr;
    if (file == nullptr)
    {
        DKREPORT(DkFormatString("*** Error opening file '%s' for input.", fullName.c_str()));
        return nullptr;
    }

    unsigned char header[8];
    int got = gzread(file, header, sizeof header);
    if (got == 8 && header[0] == 'D' && header[1] == 'K' && header[2] == 'P' && header[3] == 'R')
    {
        uint32_t length = static_cast<uint32_t>(header[4]) | static_cast<uint32_t>(header[5]) << 8 |
                          static_cast<uint32_t>(header[6]) << 16 |
                          static_cast<uint32_t>(header[7]) << 24;
        void* block = LoadWrapped(file, fullName, length);
        gzclose(file);
        return block;
    }
    gzclose(file);
    return LoadRaw(fullName);
}

uint32_t DkGetLastFileSize(void)
{
    return guLastFileSize;
}

BOOL DkSaveFile(const char* pszName, int nKind, const void* pBuffer, uint32_t uLength)
{
    if (pszName == nullptr)
    {
        DKREPORT("DkSaveFile() : NULL filename");
        return FALSE;
    }
    if (nKind != DKLF_AS_GIVEN && nKind != DKLF_HARDDRIVE)
    {
        DKREPORT("DkSaveFile() : Incorrect save type");
        nKind = DKLF_AS_GIVEN;
    }
    std::string fullName =
        std::string(RootFor(nKind,
                            "DkSaveFile() : HardDrive path has not been set.\nUse "
                            "DkSetHardDrivePath()",
                            nullptr)) +
        pszName;
    if (std::strlen(pszName) >= MAX_PATH || fullName.size() > DK_HD_PATH_SIZE - 1)
    {
        DKREPORT("DkSaveFile() : Filename is longer than MAX_PATH");
        return FALSE;
    }
    if (pBuffer == nullptr && uLength != 0)
    {
        DKREPORT(DkFormatString("DkSaveFile() : WriteFile() call failed (%s)", fullName.c_str()));
        return FALSE;
    }

    // The new content goes to a file beside the old one and replaces it only once it is all
    // written, so a failed save leaves the previous file as it was.
    std::string tempName = fullName + ".new";
    HANDLE file = CreateFileA(tempName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        DKREPORT(DkFormatString("DkSaveFile() : Could not create file %s", fullName.c_str()));
        return FALSE;
    }
    DWORD written = 0;
    BOOL ok = TRUE;
    if (!WriteFile(file, pBuffer, uLength, &written, nullptr))
    {
        DKREPORT(DkFormatString("DkSaveFile() : WriteFile() call failed (%s)", fullName.c_str()));
        ok = FALSE;
    }
    else if (written != uLength)
    {
        DKREPORT("DkSaveFile() : Incorrect number of bytes written.");
        ok = FALSE;
    }
    if (ok && !FlushFileBuffers(file))
    {
        DKREPORT(DkFormatString("DkSaveFile() : WriteFile() call failed (%s)", fullName.c_str()));
        ok = FALSE;
    }
    ok = CloseHandle(file) && ok;
    if (ok && !MoveFileExA(tempName.c_str(), fullName.c_str(), MOVEFILE_REPLACE_EXISTING))
    {
        DKREPORT(DkFormatString("DkSaveFile() : Could not create file %s", fullName.c_str()));
        ok = FALSE;
    }
    if (!ok)
        DeleteFileA(tempName.c_str());
    return ok;
}

uint32_t DkGetFileSize(const char* pszName, int nKind)
{
    std::string fullName = LoadName(pszName != nullptr ? pszName : "", nKind);
    HANDLE file = CreateFileA(fullName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        DKREPORT(DkFormatString("DkGetFileSize() : Couldn't open file %s", fullName.c_str()));
        return 0;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    CloseHandle(file);
    if ((size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) || high != 0)
    {
        DKREPORT(
            DkFormatString("DkGetFileSize() : Error getting size of file %s", fullName.c_str()));
        return 0;
    }
    return size;
}

void DkSetHardDrivePath(const char* pszPath)
{
    if (pszPath == nullptr)
    {
        DKREPORT("DkSetHardDrivePath() : NULL string");
        MessageBoxA(ghWnd, "Error : No HD path specified", "Error Message", MB_ICONWARNING);
        DkRequestQuit();
        return;
    }
    size_t length = std::strlen(pszPath);
    if (length > 260)
    {
        // The root keeps its previous value rather than overflow.
        DKREPORT("DkSetHardDrivePath() : String too long");
        return;
    }
    std::memcpy(gszHardDrivePath, pszPath, length + 1);
    if (length == 0 || gszHardDrivePath[length - 1] != '\\')
    {
        gszHardDrivePath[length] = '\\';
        gszHardDrivePath[length + 1] = '\0';
    }
    gboHardDrivePathSet = TRUE;
}

void DkSetCDPath(const char* pszPath)
{
    if (pszPath == nullptr)
    {
        DKREPORT("DkSetCDPath() : NULL string");
        MessageBoxA(ghWnd, "Error : No CD path specified", "Error Message", MB_ICONWARNING);
        DkRequestQuit();
        return;
    }
    size_t length = std::strlen(pszPath);
    if (length > DK_CD_PATH_SIZE - 2)
    {
        DKREPORT("DkSetCDPath() : String too long");
        return;
    }
    // Always one more backslash, even after one that is already there.
    std::memcpy(gszCDPath, pszPath, length);
    gszCDPath[length] = '\\';
    gszCDPath[length + 1] = '\0';
    gboCDPathSet = TRUE;
}

const char* DkGetHardDrivePath(void)
{
    return gboHardDrivePathSet ? gszHardDrivePath : nullptr;
}

const char* DkGetCDPath(void)
{
    return gboCDPathSet ? gszCDPath : nullptr;
}

void DkResetDataPathsForTests(void)
{
    gszHardDrivePath[0] = '\0';
    gszCDPath[0] = '\0';
    gboHardDrivePathSet = FALSE;
    gboCDPathSet = FALSE;
}

char* DkRegGetString(const char* pszValueName)
{
    static char szValue[DK_REGISTRY_STRING_SIZE];
    // One level at a time, as the installation wrote them; a missing level makes the query
    // fail.
    static const char* const kLevels[] = {"SOFTWARE", "Velmorra", "Dezor", "1.00"};
    HKEY keys[5] = {};
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &keys[0]);
    for (int i = 0; i < 4; ++i)
        if (keys[i] == nullptr ||
            RegOpenKeyExA(keys[i], kLevels[i], 0, KEY_READ, &keys[i + 1]) != ERROR_SUCCESS)
            keys[i + 1] = nullptr;

    DWORD type = REG_NONE;
    DWORD size = sizeof szValue;
    LONG result = keys[4] != nullptr ? RegQueryValueExA(keys[4], pszValueName, nullptr, &type,
                                                        reinterpret_cast<BYTE*>(szValue), &size)
                                     : ERROR_REG_FILE_NOT_FOUND;
    for (int i = 4; i >= 0; --i)
        if (keys[i] != nullptr)
            RegCloseKey(keys[i]);

    if (result != ERROR_SUCCESS)
        szValue[0] = '\0';
    szValue[sizeof szValue - 1] = '\0';
    return szValue;
}

int16_t DkRegGetLanguage(void)
{
    static const char* const kLanguages[] = {"ENGLISH", "FRENCH", "GERMAN", "SPANISH", "ITALIAN"};
    const char* value = DkRegGetString("Language");
    for (int16_t i = 0; i < 5; ++i)
        if (std::strcmp(value, kLanguages[i]) == 0)
            return i;
    return 0;
}

int DkRegGetHardware(void)
{
    // The leading decimal digits; a number too large for an int reads as the nearest one.
    long value = std::strtol(DkRegGetString("Hardware"), nullptr, 10);
    if (value > 0x7FFFFFFFL)
        return 0x7FFFFFFF;
    if (value < -0x7FFFFFFFL - 1)
        return -0x7FFFFFFF - 1;
    return static_cast<int>(value);
}
