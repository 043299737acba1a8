// C runtime behaviour the engine relies on where glibc differs. The runtime's random
// generator is the engine's own (engine/common/dk_rand.h): libc's rand() is left alone.
#pragma once

#include <cstdint>

#define CRT_CLOCKS_PER_SEC 1000

// Wall-clock milliseconds since the program started (the runtime's clock(), which counts
// elapsed time rather than processor time).
long crt_clock(void);

// The runtime's ftime(): seconds since 1970, milliseconds, time-zone minutes west of UTC and
// a daylight-saving flag.
struct crt_timeb
{
    int64_t time;
    unsigned short millitm;
    short timezone;
    short dstflag;
};
void crt_ftime(crt_timeb* tp);
