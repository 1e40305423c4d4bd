#ifndef N_KITCLOCK_H
#define N_KITCLOCK_H

#include <cstdint>

class nOrvex;

// Puts the engine on the kit's clock and makes its frame time exactly ticks (0 or more)
// for every following TickClock.
void SetEngineFrameTime(nOrvex* engine, int32_t ticks);

#endif
