#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/common/dk_heap.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/reg/reg.h"

namespace fs = std::filesystem;

namespace fuzz
{
namespace
{
std::string MakeRoot()
{
    std::string pattern = (fs::temp_directory_path() / "dezor-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
    {
        std::perror("mkdtemp");
        std::abort();
    }
    for (const char* dir : {"c", "config", "state", "run"})
        fs::create_directories(fs::path(pattern) / dir);
    setenv("DEZOR_REGISTRY", (pattern + "/registry.ini").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (pattern + "/state").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (pattern + "/run").c_str(), 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("ALSOFT_DRIVERS", "null", 1);
    setenv("ALSOFT_LOGLEVEL", "0", 1);
    unsetenv("DEZOR_DEBUG");
    unsetenv("DEZOR_LOG");
    const std::string registry = "[Drives]\nC=" + pattern + "/c\n";
    WriteFile(pattern + "/registry.ini", reinterpret_cast<const uint8_t*>(registry.data()),
              registry.size());
    RegReload();
    // Reports and the log stay quiet: a run makes millions of them.
    DkDisableLog();
    // The directory goes when the process ends normally (a crash keeps it for a look).
    static std::string removeAtExit = pattern;
    std::atexit(
        []
        {
            std::error_code ec;
            fs::remove_all(removeAtExit, ec);
        });
    return pattern;
}
} // namespace

const std::string& Root()
{
    static const std::string root = MakeRoot();
    return root;
}

std::string DriveCPath(const std::string& name)
{
    return Root() + "/c/" + name;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
    {
        std::perror(path.c_str());
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

void InitEngineHeaps(uint32_t mainBytes, uint32_t tempBytes)
{
    Root();
    DkTempHeapInit(tempBytes);
    DkHeapInit(mainBytes);
}

int32_t Word(const uint8_t* data, size_t size, size_t at)
{
    uint32_t u = 0;
    for (size_t i = 0; i < 4; ++i)
        u |= static_cast<uint32_t>(at + i < size ? data[at + i] : 0) << (8 * i);
    return static_cast<int32_t>(u);
}
} // namespace fuzz
