#include "game/race/cameras.h"

PlayerView gaPlayerView[CAMERA_PLAYERS];
