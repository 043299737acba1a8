// C runtime behaviour the engine relies on where glibc differs. The runtime's random
// generator is the engine's own (engine/common/dk_rand.h): libc's rand() is left alone.
#pragma once

#include <cstdint>

#define CRT_CLOCKS_PER_SEC 1000

// Wall-clock milliseconds since the program started (the runtime's clock(), which counts
// elapsed time rather than processor time); it follows the fake clock of time.h while a test
// holds it.
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

// A whole decimal number from the environment variable `pszName`, from uMin to uMax. Unset, it
// gives uFallback quietly. Any other value that is not such a number (empty, a sign, spaces,
// a unit, out of range) gives uFallback and one line on standard error naming the variable,
// the value and the number used, once for each bad value. `pszWhat` names the number ("a
// number", "a number of bytes").
uint64_t crt_env_number(const char* pszName, uint64_t uMin, uint64_t uMax, uint64_t uFallback,
                        const char* pszWhat);
