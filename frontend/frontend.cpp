#include "frontend/frontend.h"

#include "engine/pc/2dinit.h"
#include "engine/pc/3dinit.h"
#include "engine/pc/cmd_line.h"
#include "engine/pc/dk_debug.h"
#include "engine/pc/dk_file.h"
#include "engine/pc/main.h"
#include "frontend/game_data.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/keys.h"
#include "platform/win/win.h"

namespace
{
int gnFrontendCommandLineParams = 0;
GameData gGameData;
BOOL gboFrontendDisplayUp = FALSE;
DK_PALETTE_ENTRY gaFrontendPalette[256];

// Until the menus exist, the front end shows a test card: colour bars of the 5:6:5 display
// and the program's name.
void DrawTestCard()
{
    IDirectDrawSurface* lpBack = d2d->BackSurface.lpSurface;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (lpBack == nullptr || lpBack->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK)
        return;
    static const uint16_t kBars[8] = {0xFFFF, 0xFFE0, 0x07FF, 0x07E0,
                                      0xF81F, 0xF800, 0x001F, 0x0000};
    for (DWORD y = 0; y < desc.dwHeight; ++y)
    {
        uint16_t* row =
            reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(desc.lpSurface) + y * desc.lPitch);
        for (DWORD x = 0; x < desc.dwWidth; ++x)
            row[x] = y < desc.dwHeight * 2 / 3
                         ? kBars[x * 8 / desc.dwWidth]
                         : static_cast<uint16_t>((x * 32 / desc.dwWidth) * 0x0841);
    }
    lpBack->Unlock(nullptr);
    DkDebugTextLarge("Dravik Dezor", d2d->nWidth / 16, d2d->nHeight * 3 / 4, 0x00FFFFFF);
}
} // namespace

GameData* gpGame_Data = &gGameData;
int32_t gboRallySchool = 0;

int Frontend_Update(void)
{
    if (!gboFrontendDisplayUp)
    {
        DkSetActivateDispatch(FALSE);
        DkInitialiseDisplay(gaFrontendPalette, 2, "", DKID_16BIT, DKLF_AS_GIVEN);
        DkInit3D();
        DkSetActivateDispatch(TRUE);
        gboFrontendDisplayUp = TRUE;
    }
    DrawTestCard();
    DkWaitAndFlip();
    // The player leaves with Escape (a test, when its input script ends).
    if ((GetAsyncKeyState(VK_ESCAPE) & 0x8000) || WinInputScriptEnded())
        DkRequestQuit();
    return 0;
}

void Frontend_LogCommandLine(char* lpCmdLine)
{
    gnFrontendCommandLineParams = DkParseCommandLine(lpCmdLine);
    DkLog(DkFormatString("Found %d Command Line parameters\n", gnFrontendCommandLineParams));
}
