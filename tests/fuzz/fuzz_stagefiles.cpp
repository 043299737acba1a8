// The small stage files read from their bytes as the stage loader hands them over: the bytes
// as a horizon record (".ars") and as animated-texture records (".anm"), each name handed on
// checked to end within its record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "game/race/startup.h"

namespace
{
const uint8_t* gpData = nullptr;
size_t guSize = 0;

void CheckName(const char* pszName)
{
    const auto* p = reinterpret_cast<const uint8_t*>(pszName);
    if (p < gpData || p + ANIMATION_RECORD_SIZE > gpData + guSize ||
        std::memchr(pszName, '\0', ANIMATION_RECORD_SIZE) == nullptr)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    gpData = data;
    guSize = size;
    const uint32_t uSize = static_cast<uint32_t>(size);
    if (Startup_ReadHorizonData(data, uSize) != (size >= HORIZON_DATA_SIZE ? TRUE : FALSE))
        std::abort();
    if (Startup_ReadAnimations(data, uSize, CheckName) >
        static_cast<int>(size / ANIMATION_RECORD_SIZE))
        std::abort();
    return 0;
}
