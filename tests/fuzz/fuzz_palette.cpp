// Palette files (".pal"), loaded by name as the display's set-up loads them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/common/dk_heap.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/display/2dinit.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitEngineHeaps(4 * 1024 * 1024, 1024 * 1024);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzz::DriveCPath("input.pal");
    fuzz::WriteFile(path, data, size);
    DK_PALETTE_ENTRY palette[256];
    DkLoadPalette("c:\\input.pal", palette, DKLF_AS_GIVEN);
    DkHeapReset();
    DkTempHeapReset();
    return 0;
}
