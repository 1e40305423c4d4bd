#ifndef N_RANDOM_H
#define N_RANDOM_H

#include <cstdint>

// The engine random generator: one global two-word state with a fixed seeding rule, so a
// game seeded with the same number replays the same sequence. Main thread only, no lock.
// Seeds that agree in their low 13 bits give the same sequence (77 and 8269 do).

void nRandSeed(uint32_t seed);         // a, b = fixed words, then (seed & 0x1fff) steps
int nRandInt(int n);                   // [0, n) as a mod n (unsigned); n = 0 gives 0 without stepping
float nRandFloat(float x);             // (a & 0xffff) * x / 65536, in [0, x)
float nRandRange(float lo, float hi);  // lo + (hi - lo) * t, t = (a & 0xffff) / 65536

#endif
