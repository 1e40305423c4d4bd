#ifndef N_CLOCK_H
#define N_CLOCK_H

#include <cstdint>

class nString;

// Engine time: integer ticks of 1/10000 s from a monotonic clock with an arbitrary origin.
// The clock is 64-bit; users that keep 32 bits (timers, the scripts' clock) work with
// differences, which stay correct across the 32-bit wrap.
typedef uint64_t nClockTicks;

const int32_t nClockFrequency = 10000;  // ticks per second (scripts: SystemGetClockFrequency)

nClockTicks nGetClock();                                         // current clock in ticks (CLOCK_MONOTONIC)
inline uint32_t nGetClock32() { return (uint32_t)nGetClock(); }  // low 32 bits, for differences

nString GetPlatformName();  // "Win32": scripts compare against it
nString GetLocaleName();    // "EN"

#endif
