#ifndef MVX_AUDIOOUTPUT_H
#define MVX_AUDIOOUTPUT_H

#include <cstdint>

// The audio format a stream's audio demuxer reports: the PCM written to the audio output is
// always interleaved 16-bit stereo at this rate.
struct mvx_AudioFormat
{
    int32_t sampleRate;
    int32_t bits;    // always 16
    uint8_t stereo;  // informational: the source had two channels
};

// Where a stream writes decoded sound. The stream demuxes until IsBufferHalfFull answers true,
// so a sink paces the decoding by that answer.
class mvx_AudioOutput
{
public:
    mvx_AudioOutput() : m_field0(0), m_field1(0), m_field2(0), m_resetCount(0) {}
    virtual bool Hook0() { return true; }
    virtual void Hook1() {}
    virtual bool Hook2() { return true; }
    virtual void WritePCM(const uint8_t* data, int32_t bytes, int32_t time) = 0;
    virtual bool IsBufferHalfFull() = 0;
    virtual bool HasRoom() { return !IsBufferHalfFull(); }
    virtual void Reset() { m_resetCount = 0; }
    virtual bool StepDone() { return true; }
    virtual bool SupportsGapless() { return false; }
    virtual ~mvx_AudioOutput() {}

protected:
    int32_t m_field0, m_field1, m_field2, m_resetCount;
};

#endif
