#include "engine/common/dk_rand.h"

#include <cstdint>

namespace
{
thread_local uint32_t t_uRandState = 1;
}

int DkRand(void)
{
    t_uRandState = t_uRandState * 214013u + 2531011u;
    return static_cast<int>((t_uRandState >> 16) & DK_RAND_MAX);
}

void DkSRand(unsigned int uSeed)
{
    t_uRandState = uSeed;
}
