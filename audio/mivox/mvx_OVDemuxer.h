#ifndef MVX_OVDEMUXER_H
#define MVX_OVDEMUXER_H

#include <cstdint>

#include "audio/mivox/mvx_Demuxer.h"

struct stb_vorbis;

const int32_t kOVInputBytes = 16384;        // the input buffer, topped up before every frame
const int32_t kOVMaxInputBytes = 4 << 20;   // it grows up to this for large headers and pages
const int32_t kOVSeekWindow = 24000;        // a seek lands this many samples before its target, at most
const int32_t kOVArenaBytes = 256 << 10;    // the decoder's memory, doubled while it needs more,
const int32_t kOVMaxArenaBytes = 32 << 20;  // up to this

// Ogg Vorbis, decoded with stb_vorbis's push API and written to the audio output as
// interleaved 16-bit stereo (a mono source on both sides, more channels reduced to the first
// two). The input buffer grows while the decoder needs more data than it holds (headers with
// large comments, pages that straddle the buffer), so a valid file is neither refused nor cut
// short; the data ends only at the end of the file.
//
// Seeking: a target in the first 1024 samples, or one the bisection cannot place after the
// start, restarts the decoder at the start of the file and skips up to the target. Otherwise
// the file is bisected until a frame ends at most 24000 samples before the target, and frames
// are decoded on to the one that holds it; its samples from the target on are written first.
class mvx_OVDemuxer : public mvx_Demuxer
{
public:
    explicit mvx_OVDemuxer(nIOFile* file);
    ~mvx_OVDemuxer() override;

    bool Seek(mvx_Stream* stream, int32_t ms) override;
    const char* GetName() const override { return "OGG Vorbis stream demuxer"; }
    bool Open(mvx_Stream* stream) override;
    bool Demux(mvx_Stream* stream) override;
    bool Setup(mvx_Stream* stream, bool scan) override;
    void Close() override;

    int32_t GetSampleRate() const { return m_sampleRate; }
    int32_t GetChannels() const { return m_channels; }
    int32_t GetMaxFrameSize() const { return m_maxFrameSize; }
    int32_t GetInputCapacity() const { return m_capacity; }

private:
    enum FrameResult
    {
        FrameSamples,
        FrameNoSamples,
        FrameEnd
    };

    bool StartDecoder();  // opens the decoder on the input at the file position
    bool Restart();       // file rewound, decoder opened afresh
    bool GrowArena();
    void Fill();  // tops the input up from the file
    void Consume(int32_t bytes);
    bool Grow();
    FrameResult DecodeFrame(float*** pcm, int32_t* samples);    // one frame, growing the input as needed
    void Convert(float** pcm, int32_t first, int32_t samples);  // into the output buffer as 16-bit stereo
    bool PositionAt(int64_t offset, int64_t* end);              // decodes from offset until a frame's end sample is known
    void WritePending(mvx_Stream* stream);

    uint8_t* m_input;
    int32_t m_capacity;
    int32_t m_held;
    bool m_eof;
    int16_t* m_output;
    int32_t m_maxFrameSize;    // samples per channel
    int64_t m_skip;            // samples still to drop before writing
    int32_t m_pendingSamples;  // a converted frame in the output buffer still to write
    int32_t m_pendingOffset;   // from this sample on
    int32_t m_sampleRate;
    int32_t m_channels;
    int32_t m_setupMemory, m_setupTempMemory, m_tempMemory;
    char* m_arena;  // the decoder's memory, supplied to it
    int32_t m_arenaBytes;
    stb_vorbis* m_vorbis;
};

#endif
