// The data kit's own reading of a registry file: an install keeps the player's settings by
// parsing the file it finds and writing it back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/datakit/registry_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const datakit::RegistryModel model = datakit::ParseRegistry(text);
    std::string written;
    try
    {
        written = datakit::FormatRegistry(model);
    }
    catch (const datakit::Error&)
    {
        return 0; // a value the file format cannot hold is refused, never written
    }
    // What is written reads back as the same settings.
    const datakit::RegistryModel again = datakit::ParseRegistry(written);
    if (datakit::FormatRegistry(again) != written)
        __builtin_trap();
    return 0;
}
