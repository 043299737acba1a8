#include "game/effects/lights.h"

namespace
{
int gnBreakageCalls = 0;
const CarBody* gpLastBreakageCar = nullptr;
} // namespace

void Lights_CheckBreakage(CarBody* pBody)
{
    ++gnBreakageCalls;
    gpLastBreakageCar = pBody;
}

int Lights_GetBreakageCallsForTests(void)
{
    return gnBreakageCalls;
}

const CarBody* Lights_GetLastBreakageCarForTests(void)
{
    return gpLastBreakageCar;
}

void Lights_ResetForTests(void)
{
    gnBreakageCalls = 0;
    gpLastBreakageCar = nullptr;
}
