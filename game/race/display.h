// The display functions of the game states: the 2D screens of the entry states and the frame of
// the running states. Stand-ins that draw nothing until the display is built.
#pragma once

#include <cstdint>

int32_t DispStateNone(void);
int32_t DispInitGame(void);
int32_t DispWelcome(void);
int32_t DispSetupRepair(void);
int32_t DispRace(void);
int32_t DispSchool(void);
int32_t DispEndStage(void);
int32_t DispExitPan(void);
int32_t DispPause(void);
int32_t DispLeaveGame(void);

struct DK_FONT;
// The results screens' fonts, loaded for the screen's width by LoadResultFonts: headings,
// names and times, the options not chosen.
extern DK_FONT* gpTitleFont;
extern DK_FONT* gpResultFont;
extern DK_FONT* gpResultGrFont;
// From "fonts\<size>\" under the game root: "result.fon" and "resultgr.fon" by the width (320,
// 512 or 640, else 800), "title.fon" by the width (320, 512, else 640: there is no 800 title).
void LoadResultFonts(void);
