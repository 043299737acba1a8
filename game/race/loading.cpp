#include "game/race/loading.h"

int32_t DispInitStage(void)
{
    return 0;
}
