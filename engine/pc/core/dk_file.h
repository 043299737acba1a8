// Whole-file loading and saving against the two data roots, the DKPR wrapper, and the
// installation's registry settings.
//
// Any data file may be stored as "DKPR", a little-endian 32-bit length N and N data bytes,
// plain or as one gzip stream; the loader returns the data part either way. Other files load
// as they are stored.
#pragma once

#include <cstdint>

#include "engine/include/dk_types.h"

// Load kinds.
#define DKLF_AS_GIVEN 0
#define DKLF_HARDDRIVE 1
#define DKLF_CD 2

#define DK_HD_PATH_SIZE 264
#define DK_CD_PATH_SIZE 260
#define DK_MAX_FILE_NAME 259

#define DK_REGISTRY_STRING_SIZE 100

// The file's data on the main heap, or on the temporary heap for the files that are parsed at
// once (".c3d", ".obj", ".bmp", ".sht", ".fon", ".shp", ".hzn", ".trg"); NULL on failure.
void* DkMallocLoadFile(const char* pszName, int nKind);
// Data length of the last load.
uint32_t DkGetLastFileSize(void);
// Writes the buffer as the file's whole new content; FALSE when it could not be written.
BOOL DkSaveFile(const char* pszName, int nKind, const void* pBuffer, uint32_t uLength);
uint32_t DkGetFileSize(const char* pszName, int nKind);

void DkSetHardDrivePath(const char* pszPath);
void DkSetCDPath(const char* pszPath);
// The root with its trailing backslash, or NULL while unset.
const char* DkGetHardDrivePath(void);
const char* DkGetCDPath(void);

// The installation's settings under HKEY_LOCAL_MACHINE\SOFTWARE\Velmorra\Dezor\1.00.
// The string reader's buffer is overwritten by every call.
char* DkRegGetString(const char* pszValueName);
int16_t DkRegGetLanguage(void);
int DkRegGetHardware(void);

// Test hook: forgets both roots.
void DkResetDataPathsForTests(void);
