// PNG decoder: any bytes, as a golden frame or a capture read back.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/png/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> rgb;
    uint32_t width = 0;
    uint32_t height = 0;
    if (PngDecodeRgb(data, size, rgb, width, height) && rgb.size() != size_t{width} * height * 3)
        __builtin_trap(); // a decoded image holds exactly its pixels
    return 0;
}
