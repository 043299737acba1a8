#include "game/race/stageinfo.h"

namespace
{
int gnStageLight = 0;
} // namespace

int StageInfo_GetLight(void)
{
    return gnStageLight;
}

void StageInfo_SetLightForTests(int nLight)
{
    gnStageLight = nLight;
}
