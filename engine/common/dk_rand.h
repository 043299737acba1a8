// The game's random numbers: the C runtime's classic linear congruential generator, under the
// engine's own name so that no library's call to rand() can move it. Replays and network play
// rely on its sequence: the same seed gives the same values on any machine.
#pragma once

#define DK_RAND_MAX 0x7FFF

// The next value, 0..DK_RAND_MAX. Each thread has its own sequence; a thread that never
// seeded it starts as seed 1 does.
int DkRand(void);
// Starts this thread's sequence again from a seed.
void DkSRand(unsigned int uSeed);
