#include "tests/scene/kit/nKitClock.h"

#include "hub/nOrvex.h"

namespace {

uint32_t g_now = 1000;
uint32_t KitClock() { return g_now; }

}

void SetEngineFrameTime(nOrvex* engine, int32_t ticks)
{
    engine->SetClockSource(KitClock);
    // A fixed frame time of exactly ticks; 0 switches it off, and a clock that does not move
    // then measures 0.
    engine->SetFixedDeltaFrame(ticks > 0 ? ((float)ticks + 0.5f) / 10000.0f : -1.0f);
    for (int i = 0; i < 2 && engine->GetFrameTime() != ticks; ++i) {
        if (ticks > 0) g_now += (uint32_t)ticks;
        engine->TickClock();
    }
    if (engine->GetFrameTime() != ticks) engine->TickClock();
}
