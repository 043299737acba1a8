#include "tests/fuzz/fuzz_display.h"

#include <cstdio>
#include <cstdlib>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_dvice.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/win.h"
#include "tests/fuzz/fuzz_support.h"

namespace fuzz
{
bool OpenDisplay(int bits, bool with3D)
{
    Root();
    static const D3DDEVICEDESC card = D3dHardwareDescription();
    DkForgetDisplayCapabilities();
    DkClear3DCapabilities();
    D3dSetHardwareDescriptionForTests(&card);
    const DdMode modes[] = {{320, 240, static_cast<DWORD>(bits)}};
    DdSetModesForTests(modes, 1, 0x7E0);
    D3dSetTextureFormatsForTests(nullptr, 0);
    DkSetHardwareType(0);
    DkSetDisplayDevice(0);
    DkMarkDirectDrawForRelease();
    DkTempHeapInit(1024 * 1024);
    DkHeapInit(6 * 1024 * 1024);
    // The window stays for the whole run; only the display is made afresh.
    static const bool window = InitGameWindow(nullptr, &ghWnd, "Fuzz", DefWindowProcA);
    if (!window)
        return false;
    if (!DkInitialiseDisplay(nullptr, 0, "c:\\none.pal", bits == 8 ? DKID_8BIT : DKID_16BIT,
                             DKLF_AS_GIVEN))
        return false;
    if (with3D)
        DkInit3D();
    return true;
}

void CloseDisplay()
{
    DkDestroyDisplay();
    DkCallAllDestructors();
    // Whatever an input made and did not give back would pile up over a run.
    if (DdLiveObjects() != 0)
    {
        std::fprintf(stderr, "fuzz: %d DirectDraw objects outlive the display\n", DdLiveObjects());
        std::abort();
    }
}
} // namespace fuzz
