// The game data record that the front end fills and the game reads. Its fields come with the
// front end's settings; until then it is its size in bytes.
#pragma once

#include <cstdint>

struct GameData
{
    uint8_t raw[1732];
};
