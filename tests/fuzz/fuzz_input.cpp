// Controller data: the saved controller configuration ("CONTROL.DAT" under the hard-disk
// root), loaded, then read through as the game reads its controllers and saved again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/common/dk_heap.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/input/dk_input.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitEngineHeaps(1024 * 1024, 64 * 1024);
    DkSetHardDrivePath("c:\\");
    DkSearchForControllers(2);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzz::DriveCPath("CONTROL.DAT");
    fuzz::WriteFile(path, data, size);
    std::memset(gaControllers, 0, sizeof gaControllers);
    if (DkLoadControllerConfig())
    {
        DkReadAllControllers();
        for (int slot = 0; slot < DK_MAX_CONTROLLERS; ++slot)
        {
            DkReadController(slot);
            DkGetControllerType(slot);
            DkGetControllerButtonCount(slot);
            DkGetControllerSensitivity(slot);
        }
        for (uint32_t function = 0; function < 32; ++function)
            for (int keyboard = 0; keyboard < 3; ++keyboard)
                DkGetKeyboardKey(1u << function, keyboard);
        DkGetAllControllersHeld();
        DkGetAllControllersPressed();
        DkGetConfiguredControllersMask();
        DkSaveControllerConfig();
    }
    DkHeapReset();
    DkTempHeapReset();
    return 0;
}
