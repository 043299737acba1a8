#include "frontend/frontend.h"

#include "engine/include/dk_entries.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/core/cmd_line.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/input/dk_input.h"
#include "frontend/game_data.h"

namespace
{
// The byte of the game data whose bits 2-4 hold the game type.
constexpr int kGameTypeByte = 358;

int gnFrontendCommandLineParams = 0;
GameData gGameData;
BOOL gboFrontendDisplayUp = FALSE;
DK_PALETTE_ENTRY gaFrontendPalette[256];

// Until the menus exist, the front end shows a test card: colour bars of the 5:6:5 display
// and the program's name.
void DrawTestCard()
{
    DK_SURFACE_LOCK lock;
    if (DkLockSurface(&d2d->BackSurface, &lock) == nullptr)
        return;
    static const uint16_t kBars[8] = {0xFFFF, 0xFFE0, 0x07FF, 0x07E0,
                                      0xF81F, 0xF800, 0x001F, 0x0000};
    for (int32_t y = 0; y < lock.nHeight; ++y)
    {
        uint16_t* row =
            reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(lock.pPixels) + y * lock.nPitch);
        for (int32_t x = 0; x < lock.nWidth; ++x)
            row[x] = y < lock.nHeight * 2 / 3
                         ? kBars[x * 8 / lock.nWidth]
                         : static_cast<uint16_t>((x * 32 / lock.nWidth) * 0x0841);
    }
    DkUnlockSurface(&d2d->BackSurface);
    DkDebugTextLarge("Dravik Dezor", d2d->nWidth / 16, d2d->nHeight * 3 / 4, 0x00FFFFFF);
}
BOOL IsRallySchool(void)
{
    return gboRallySchool != 0 ? TRUE : FALSE;
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
    if (DkIsKeyHeld(DK_VK_ESCAPE) || DkInputScriptEnded())
        DkRequestQuit();
    return 0;
}

void Frontend_LogCommandLine(char* lpCmdLine)
{
    gnFrontendCommandLineParams = DkParseCommandLine(lpCmdLine);
    DkLog(DkFormatString("Found %d Command Line parameters\n", gnFrontendCommandLineParams));
}

int Frontend_GetGameType(void)
{
    return (gpGame_Data->raw[kGameTypeByte] >> 2) & 7;
}

int Frontend_GetGameTypeByte(void)
{
    return gpGame_Data->raw[kGameTypeByte];
}

static_assert(sizeof(GameData) == DK_GAME_DATA_SIZE, "the game reads the whole record");

const uint8_t* Frontend_GetGameData(void)
{
    return gpGame_Data->raw;
}

uint8_t* Frontend_GetWritableGameData(void)
{
    return gpGame_Data->raw;
}

void Frontend_RegisterEntries(void)
{
    DK_ENTRIES entries{};
    entries.Frontend_Update = Frontend_Update;
    entries.Frontend_LogCommandLine = Frontend_LogCommandLine;
    entries.GetGameType = Frontend_GetGameType;
    entries.GetGameTypeByte = Frontend_GetGameTypeByte;
    entries.GetGameData = Frontend_GetGameData;
    entries.GetWritableGameData = Frontend_GetWritableGameData;
    entries.IsRallySchool = IsRallySchool;
    DkRegisterEntries(&entries);
}
