#pragma once
// Shared pieces of the stream fuzz targets: a quiet log over the memory file system, and outputs
// that check what a stream writes into them.

#include <cstdint>
#include <cstdlib>

#include "audio/mivox/mvx_AudioOutput.h"
#include "audio/mivox/mvx_VideoOutput.h"
#include "tests/fuzz/nFuzzSupport.h"

inline void nStreamFuzzSetUp()
{
    static bool ready = [] {
        static nQuietLog quiet;
        g_log = &quiet;
        nIO::SetCurrentFS(reinterpret_cast<nIOBaseFS*>(nIO::GetMemoryFS()));
        return true;
    }();
    (void)ready;
}

// Whole stereo 16-bit frames only; half full after a few blocks, so decoding pauses as in a game.
class nFuzzAudioOutput : public mvx_AudioOutput
{
public:
    void WritePCM(const uint8_t* data, int32_t bytes, int32_t) override
    {
        if (!data || bytes <= 0 || bytes % 4 != 0) abort();
        volatile uint8_t sink = data[0] ^ data[bytes - 1];
        (void)sink;
        held += bytes;
    }
    bool IsBufferHalfFull() override { return held >= 32768; }
    void Drain() { held = 0; }
    int64_t held = 0;
};

class nFuzzVideoOutput : public mvx_VideoOutput
{
public:
    bool SetFormat(const mvx_VideoFormat&) override { return true; }
    bool PutFrame(const uint8_t* const[3]) override { return true; }
    bool FramePending() override { return false; }
    bool Present() override
    {
        ++presents;
        return true;
    }
    int64_t presents = 0;
};
