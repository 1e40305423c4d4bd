#ifndef N_TESTSOUNDS_H
#define N_TESTSOUNDS_H

// Sounds made in memory for the mixer tests: interleaved PCM values of any layout.

#include <cstring>
#include <memory>
#include <vector>

#include "resources/nSound.h"

// A sound of the given interleaved 16-bit values (channels per frame, rate) on engine.
inline std::unique_ptr<nSound> MakeSound16(nOrvex* engine, const std::vector<int16_t>& values, int32_t channels,
                                           int32_t rate, const char* name = "test")
{
    std::unique_ptr<nSound> sound(new nSound(engine));
    sound->SetName(name);
    uint8_t* data = sound->GetSamples().Allocate((uint32_t)(values.size() / channels), nSampleFormat(channels, rate, 16));
    if (data && !values.empty()) std::memcpy(data, values.data(), values.size() * 2);
    return sound;
}

// The same for 8-bit unsigned values.
inline std::unique_ptr<nSound> MakeSound8(nOrvex* engine, const std::vector<uint8_t>& values, int32_t channels,
                                          int32_t rate, const char* name = "test8")
{
    std::unique_ptr<nSound> sound(new nSound(engine));
    sound->SetName(name);
    uint8_t* data = sound->GetSamples().Allocate((uint32_t)(values.size() / channels), nSampleFormat(channels, rate, 8));
    if (data && !values.empty()) std::memcpy(data, values.data(), values.size());
    return sound;
}

// A constant 16-bit mono sound of frames frames.
inline std::unique_ptr<nSound> MakeConstant(nOrvex* engine, int16_t value, uint32_t frames, int32_t rate = 48000)
{
    return MakeSound16(engine, std::vector<int16_t>(frames, value), 1, rate);
}

#endif
