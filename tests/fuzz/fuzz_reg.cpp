// Registry file: the text the game and the patch program read their settings and drive map
// from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/pc/core/dk_file.h"
#include "platform/fs/fs.h"
#include "platform/reg/reg.h"
#include "tests/fuzz/fuzz_support.h"

namespace
{
std::string gRegistry;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gRegistry = fuzz::Root() + "/fuzzed.ini";
    setenv("DEZOR_REGISTRY", gRegistry.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::WriteFile(gRegistry, data, size);
    RegReload();
    // What the game asks at start-up, then the drive map every path goes through.
    for (const char* name : {"HDPath", "CDPath", "WAVPath", "AVIPath", "Language", "Hardware"})
        DkRegGetString(name);
    DkRegGetLanguage();
    DkRegGetHardware();
    for (char letter : {'C', 'D', 'Q'})
        RegDriveDirectory(letter);
    RegWindowsDirectory();
    std::string host;
    FsHostPath("d:\\game\\language\\english.txt", host);

    // A value too long for the caller's buffer is answered with its size.
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmorra\\Dezor\\1.00", 0, KEY_READ, &key) ==
        ERROR_SUCCESS)
    {
        BYTE small[4];
        DWORD type = REG_NONE;
        DWORD bytes = sizeof small;
        RegQueryValueExA(key, "HDPath", nullptr, &type, small, &bytes);
        RegCloseKey(key);
    }
    return 0;
}
