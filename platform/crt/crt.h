// C runtime behaviour the engine relies on where glibc differs.
//
// rand() and srand() are replaced for the whole program: rand() yields 0..32767 from the
// runtime's classic linear congruential sequence, seeded per thread (the first value of a
// thread that never called srand() is the one seed 1 gives). Game code calls them through
// <cstdlib> as it always did.
#pragma once

#include <cstdint>

#define CRT_RAND_MAX 0x7FFF
#define CRT_CLOCKS_PER_SEC 1000

extern "C" int rand(void) noexcept;
extern "C" void srand(unsigned int seed) noexcept;

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
