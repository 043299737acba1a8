// The registry, kept in a text file: $DEZOR_REGISTRY, else $XDG_CONFIG_HOME/dezor/registry.ini
// (~/.config/dezor/registry.ini). The game and the patch program share it.
//
//   ; comment
//   [Drives]
//   C=/home/me/.local/state/dezor
//   Q=/home/me/dezor/disc
//   Windows=/home/me/.local/state/dezor/windows
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Velmorra\Dezor\1.00]
//   HDPath=c:\dezor
//
// A section names a key by its full path; its lines are string values. Key and value names
// match without regard to case. The [Drives] section is the drive map of platform/fs.
#pragma once

#include <string>

#include "platform/win/wintypes.h"

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu

#define REG_NONE 0u
#define REG_SZ 1u

// Result codes of the Reg calls (LONG, 0 on success).
#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0L
#endif
#define ERROR_REG_FILE_NOT_FOUND 2L
#define ERROR_REG_INVALID_HANDLE 6L
#define ERROR_REG_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L
#define ERROR_REG_CANTWRITE 1013L

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      BYTE* lpData, LPDWORD lpcbData);
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegCloseKey(HKEY hKey);

// Path of the registry file in use.
std::string RegFilePath(void);

// The directory a drive letter is mapped to ("" when it is not). Without a [Drives] entry,
// C: is the game's state directory ($XDG_STATE_HOME/dezor, ~/.local/state/dezor).
std::string RegDriveDirectory(char letter);

// The directory the [Drives] entry "Windows" names as the Windows directory ("" when none).
std::string RegWindowsDirectory(void);

// The game's state directory, which C: stands for when [Drives] does not name one ("" when
// there is no home directory). platform/fs creates it on first use.
std::string RegDefaultStateDirectory(void);

// Drops what was read from the registry file, so the next call reads it again (tests).
void RegReload(void);
