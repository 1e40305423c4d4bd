#ifndef N_TIMER_H
#define N_TIMER_H

#include <cstdint>

// Measures a stage of work. Start/Stop bracket measured intervals; once per period of more
// than 1000 ticks (0.1 s) Stop condenses the period into a load percentage, an average
// duration per counted call and a rate. All tick values are 32-bit and used as differences.
class nTimer
{
public:
    typedef uint32_t (*ClockFunc)();  // a 32-bit tick source (1/10000 s)

    explicit nTimer(ClockFunc clock = 0);  // 0: the engine clock (nGetClock32); state as after Reset

    void SetClock(ClockFunc clock);          // 0 restores the engine clock; tests inject a fake one
    void Reset();                            // every field 0; period start = now
    uint32_t Start(bool uncounted = false);  // start = now; counts a call unless uncounted; returns now
    float Stop();                            // adds the interval, closes the period when due; returns the rate
    void BeginFrame();                       // counts a call; previous last ms = last ms; last ms = 0

    float GetRate() const { return m_rate; }            // calls per second of measured time (last closed period)
    float GetLoad() const { return m_load; }            // percent of the last closed period spent measuring
    float GetAverageMs() const { return m_averageMs; }  // ms per counted call (last closed period)
    float GetLastMs() const { return m_lastMs; }        // ms of the last Start-Stop interval
    float GetPreviousAverageMs() const { return m_previousAverageMs; }
    float GetPreviousLastMs() const { return m_previousLastMs; }
    uint32_t GetCount() const { return m_count; }              // calls counted in the current period
    uint32_t GetAccumulated() const { return m_accumulated; }  // ticks measured in the current period

private:
    uint32_t Now() const;

    ClockFunc m_clock;
    uint32_t m_start;
    uint32_t m_accumulated;
    uint32_t m_periodStart;
    uint32_t m_count;
    float m_rate;
    float m_load;
    float m_averageMs;
    float m_lastMs;
    float m_previousAverageMs;
    float m_previousLastMs;
};

#endif
