#include "game/effects/vrooom.h"

namespace
{
int gnNothingCalls = 0;
int gnLastNothingCar = -1;
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
    gnNothingCalls = 0;
    gnLastNothingCar = -1;
}
