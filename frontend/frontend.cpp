#include "frontend/frontend.h"

#include "frontend/game_data.h"

#include "engine/pc/cmd_line.h"
#include "engine/pc/dk_debug.h"
#include "engine/pc/main.h"
#include "platform/time/time.h"
#include "platform/win/keys.h"
#include "platform/win/win.h"

namespace
{
int gnFrontendCommandLineParams = 0;
GameData gGameData{};
} // namespace

GameData* gpGame_Data = &gGameData;
int32_t gboRallySchool = 0;

int Frontend_Update(void)
{
    // Until the menus exist, a pass only waits for the player to leave with Escape (or for a
    // test's input script to end), without spinning the processor.
    if ((GetAsyncKeyState(VK_ESCAPE) & 0x8000) || WinInputScriptEnded())
        DkRequestQuit();
    Sleep(10);
    return 0;
}

void Frontend_LogCommandLine(char* lpCmdLine)
{
    gnFrontendCommandLineParams = DkParseCommandLine(lpCmdLine);
    DkLog(DkFormatString("Found %d Command Line parameters\n", gnFrontendCommandLineParams));
}
