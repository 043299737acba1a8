// Bitmap fonts (".fon"), made into a surface while the display is 2D only and into a texture
// once Direct3D is set up (odd and even input lengths), then measured and printed with.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_font.h"
#include "tests/fuzz/fuzz_display.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const bool with3D = size % 2 == 0;
    if (!fuzz::OpenDisplay(16, with3D))
        __builtin_trap();
    const std::vector<uint8_t> file(data, data + size);
    DkInitialiseFonts(1);
    if (DK_FONT* font = DkCreateFont(file.data(), static_cast<uint32_t>(size), 0))
    {
        static const char kText[] = "Stage 1^Time 01:23.45 \x01\x7f\xff wraps at spaces";
        DkStringLength(kText, font);
        DkStringHeight(kText, font);
        if (!with3D)
            DkPrintText(0, 0, kText, font, &d2d->BackSurface, nullptr, DKJ_CENTRE);
    }
    fuzz::CloseDisplay();
    return 0;
}
