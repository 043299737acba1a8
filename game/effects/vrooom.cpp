#include "game/effects/vrooom.h"

namespace
{
int gnNothingCalls = 0;
int gnLastNothingCar = -1;
int gnCarSoundLoadCalls = 0;
} // namespace

void CarSound_Nothing(int nCar)
{
    ++gnNothingCalls;
    gnLastNothingCar = nCar;
}

int CarSound_GetNothingCallsForTests(void)
{
    return gnNothingCalls;
}

int CarSound_GetLastNothingCarForTests(void)
{
    return gnLastNothingCar;
}

void CarSound_ResetForTests(void)
{
    gnCarSoundLoadCalls = 0;
    gnNothingCalls = 0;
    gnLastNothingCar = -1;
}

void CarSound_Load(void)
{
    ++gnCarSoundLoadCalls;
}

int CarSound_GetLoadCallsForTests(void)
{
    return gnCarSoundLoadCalls;
}
namespace
{
int gnSetLevelCalls = 0;
int gnLastLevel = -1;
int gnLastLevelPlayer = -1;
} // namespace

void CarSound_SetLevel(int nLevel, int nPlayer)
{
    ++gnSetLevelCalls;
    gnLastLevel = nLevel;
    gnLastLevelPlayer = nPlayer;
}

int CarSound_GetSetLevelCallsForTests(void)
{
    return gnSetLevelCalls;
}

int CarSound_GetLastLevelForTests(void)
{
    return gnLastLevel;
}

int CarSound_GetLastLevelPlayerForTests(void)
{
    return gnLastLevelPlayer;
}

void CarSound_UpdatePan(int) {}

void CarSound_Update(int) {}

void CarSound_RestoreVolume(void) {}
