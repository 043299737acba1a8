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
