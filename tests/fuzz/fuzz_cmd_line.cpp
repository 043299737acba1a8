// Command line: the words the program is started with, split at start-up.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/common/destruct.h"
#include "engine/pc/core/cmd_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The line ends at its first NUL, as the program gets it.
    const std::string line(reinterpret_cast<const char*>(data), size);
    DkParseCommandLine(line.c_str());
    for (unsigned i = 0; i <= MAX_PARAMS + 1; ++i)
        if (const char* word = GetCommandLineParameter(i))
            if (std::strlen(word) > DK_MAX_PARAM_LENGTH)
                __builtin_trap();
    // The next input is parsed afresh.
    DkCallAllDestructors();
    DkFreeCommandLine();
    return 0;
}
