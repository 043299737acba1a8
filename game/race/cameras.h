// The camera director and the camera views. So far only each player's view record with the
// camera type the car model reads: type 8 stops the bounce of the flat-gravel wheel.
#pragma once

#include <cstdint>

#define CAMERA_PLAYERS 2

struct PlayerView
{
    int32_t nCameraType;
};

extern PlayerView gaPlayerView[CAMERA_PLAYERS];
