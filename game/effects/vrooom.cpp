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
