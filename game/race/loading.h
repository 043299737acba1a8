// Stage loading: the display function of the stage's initialisation, which loads the stage.
// A stand-in that loads nothing until stage loading is built.
#pragma once

#include <cstdint>

int32_t DispInitStage(void);
