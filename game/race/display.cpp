#include "game/race/display.h"

#include <cstdio>

#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_font.h"

int32_t DispStateNone(void)
{
    return 0;
}
int32_t DispInitGame(void)
{
    return 0;
}
int32_t DispWelcome(void)
{
    return 0;
}
int32_t DispSetupRepair(void)
{
    return 0;
}
int32_t DispRace(void)
{
    return 0;
}
int32_t DispSchool(void)
{
    return 0;
}
int32_t DispEndStage(void)
{
    return 0;
}
int32_t DispExitPan(void)
{
    return 0;
}
int32_t DispPause(void)
{
    return 0;
}
int32_t DispLeaveGame(void)
{
    return 0;
}

DK_FONT* gpTitleFont = nullptr;
DK_FONT* gpResultFont = nullptr;
DK_FONT* gpResultGrFont = nullptr;

void LoadResultFonts(void)
{
    const int nWidth = d2d != nullptr ? d2d->nWidth : 640;
    const char* pszSize = nWidth == 320   ? "320x240"
                          : nWidth == 512 ? "512x384"
                          : nWidth == 640 ? "640x480"
                                          : "800x600";
    const char* pszTitleSize = nWidth == 320 ? "320x240" : nWidth == 512 ? "512x384" : "640x480";
    char path[64];
    std::snprintf(path, sizeof path, "fonts\\%s\\result.fon", pszSize);
    DkCreateAndLoadFont(&gpResultFont, path);
    std::snprintf(path, sizeof path, "fonts\\%s\\resultgr.fon", pszSize);
    DkCreateAndLoadFont(&gpResultGrFont, path);
    std::snprintf(path, sizeof path, "fonts\\%s\\title.fon", pszTitleSize);
    DkCreateAndLoadFont(&gpTitleFont, path);
}
