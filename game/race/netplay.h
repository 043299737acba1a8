// Network play. So far only what the car model's pull towards the remote cars reads: the
// network-game flag and each remote car's position and heading.
#pragma once

#include <cstdint>

#include "engine/common/matrixop.h"
#include "engine/include/dk_types.h"

#define NETPLAY_PLAYERS 8

// A remote car as the last car state showed it; remote slot k is record k.
struct NetPlayer
{
    DK_VECTOR Position;
    DK_VECTOR Heading; // the car's forward row
};

extern BOOL gboNetworkGame;
extern NetPlayer gaNetPlayer[NETPLAY_PLAYERS];
