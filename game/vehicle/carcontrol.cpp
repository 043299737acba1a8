#include "game/vehicle/carcontrol.h"

namespace
{
int gnUpdateCalls = 0;
int gnLastListPosition = -1;
} // namespace

void CarControl_Update(CarMechanics* /*pMechanics*/, CarBody* /*pBody*/, int nListPosition)
{
    ++gnUpdateCalls;
    gnLastListPosition = nListPosition;
}

int CarControl_GetUpdateCallsForTests(void)
{
    return gnUpdateCalls;
}

int CarControl_GetLastListPositionForTests(void)
{
    return gnLastListPosition;
}

void CarControl_ResetForTests(void)
{
    gnUpdateCalls = 0;
    gnLastListPosition = -1;
}
