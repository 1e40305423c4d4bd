#include "core/nTimer.h"

#include "core/nClock.h"

nTimer::nTimer(ClockFunc clock) : m_clock(clock)
{
    Reset();
}

void nTimer::SetClock(ClockFunc clock)
{
    m_clock = clock;
}

uint32_t nTimer::Now() const
{
    return m_clock ? m_clock() : nGetClock32();
}

void nTimer::Reset()
{
    m_start = 0;
    m_accumulated = 0;
    m_count = 0;
    m_rate = 0.0f;
    m_load = 0.0f;
    m_averageMs = 0.0f;
    m_lastMs = 0.0f;
    m_previousAverageMs = 0.0f;
    m_previousLastMs = 0.0f;
    m_periodStart = Now();
}

uint32_t nTimer::Start(bool uncounted)
{
    m_start = Now();
    if (!uncounted)
        ++m_count;
    return m_start;
}

float nTimer::Stop()
{
    uint32_t now = Now();
    m_previousLastMs = m_lastMs;

    uint32_t elapsed = now - m_start;
    m_accumulated += elapsed;
    m_lastMs = (float)elapsed * 1000.0f / 10000.0f;

    int32_t period = (int32_t)(now - m_periodStart);
    if (period <= 1000)
        return m_rate;

    m_previousAverageMs = m_averageMs;
    m_load = (float)m_accumulated * 100.0f / (float)period;
    m_averageMs = m_count ? (float)m_accumulated / (float)m_count * 1000.0f / 10000.0f : 0.0f;
    m_rate = m_accumulated ? (float)(uint32_t)(m_count * 10000u) / (float)m_accumulated : 0.0f;

    m_accumulated = 0;
    m_count = 0;
    m_periodStart = now;
    return m_rate;
}

void nTimer::BeginFrame()
{
    ++m_count;
    m_previousLastMs = m_lastMs;
    m_lastMs = 0.0f;
}
