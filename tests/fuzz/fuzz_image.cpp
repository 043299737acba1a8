// BMP and TIM files made into surfaces of the display's format and into textures of the
// device's. The input's length picks the display depth (even: 16 bits, odd: 8), so both
// devices are reached; every reader sees the whole input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/pc/display/dk_image.h"
#include "tests/fuzz/fuzz_display.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!fuzz::OpenDisplay(size % 2 == 0 ? 16 : 8, true))
        __builtin_trap();
    // A copy of exactly the input's size, so a read past the end is caught.
    const std::vector<uint8_t> file(data, data + size);
    const uint32_t n = static_cast<uint32_t>(size);
    DkImageToSurface(nullptr, file.data(), n, ITS_CREATE_SURFACE);
    DkImageToSurface(nullptr, file.data(), n, ITS_CREATE_SURFACE | ITS_KEY_COLOUR | ITS_HALF_SIZE);
    DkImageToTexture(file.data(), n, ITT_BMP | ITT_KEEP_SOURCE);
    DkImageToTexture(file.data(), n, ITT_BMP | ITT_KEY_COLOUR | ITT_QUARTER_SIZE);
    DkImageToTexture(file.data(), n, ITT_TIM | ITT_KEEP_SOURCE);
    DkImageToTexture(file.data(), n, ITT_TIM | ITT_KEY_COLOUR_8BIT | ITT_HALF_SIZE);
    // The pixel copy the alpha textures are made with, at both depths it takes.
    std::vector<uint8_t> pixels(16 * 16 * 3);
    ExtractPixels(file.data(), n, pixels.data(), 8, 16, 16);
    ExtractPixels(file.data(), n, pixels.data(), 24, 16, 16);
    fuzz::CloseDisplay();
    return 0;
}
