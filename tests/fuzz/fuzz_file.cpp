// File layer: any file loaded by name, stored raw, as DKPR or as DKPR in gzip.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/common/dk_heap.h"
#include "engine/pc/core/dk_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitEngineHeaps(4 * 1024 * 1024, 1024 * 1024);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Two names: ".bmp" loads onto the temporary heap, ".dat" onto the main one.
    static const std::string dat = fuzz::DriveCPath("input.dat");
    static const std::string bmp = fuzz::DriveCPath("input.bmp");
    fuzz::WriteFile(dat, data, size);
    fuzz::WriteFile(bmp, data, size);
    for (const char* name : {"c:\\input.dat", "c:\\INPUT.BMP"})
    {
        const volatile uint8_t* loaded =
            static_cast<const uint8_t*>(DkMallocLoadFile(name, DKLF_AS_GIVEN));
        if (loaded != nullptr)
        {
            // Every byte the loader claims is there must be readable.
            const uint32_t length = DkGetLastFileSize();
            uint8_t sum = 0;
            for (uint32_t i = 0; i < length; ++i)
                sum ^= loaded[i];
            (void)sum;
        }
        DkHeapReset();
        DkTempHeapReset();
    }
    return 0;
}
