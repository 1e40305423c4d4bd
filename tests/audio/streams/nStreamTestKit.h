#pragma once
// Shared pieces of the stream tests: the committed Ogg files and their reference decode by
// stb_vorbis's own pull API, an audio output that records what a stream writes, and a stream
// that records the packets its demuxers push.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

#include "audio/mivox/mvx_AudioOutput.h"
#include "audio/mivox/mvx_Stream.h"

inline std::string StreamData(const char* name)
{
    const char* root = std::getenv("QZ_TEST_DATA");
    return std::string(root ? root : ".") + "/data/" + name;
}

// The file decoded by stb_vorbis_decode_filename, as interleaved stereo (mono on both sides).
struct ReferencePCM
{
    int32_t channels = 0;
    int32_t rate = 0;
    std::vector<int16_t> stereo;
    int64_t Frames() const { return (int64_t)stereo.size() / 2; }
};

inline ReferencePCM DecodeReference(const std::string& path)
{
    ReferencePCM ref;
    short* out = 0;
    int channels = 0, rate = 0;
    const int frames = stb_vorbis_decode_filename(path.c_str(), &channels, &rate, &out);
    if (frames <= 0 || !out) return ref;
    ref.channels = channels;
    ref.rate = rate;
    ref.stereo.resize((size_t)frames * 2);
    for (int i = 0; i < frames; ++i) {
        ref.stereo[i * 2] = out[i * channels];
        ref.stereo[i * 2 + 1] = out[i * channels + (channels > 1 ? 1 : 0)];
    }
    std::free(out);
    return ref;
}

// Keeps every byte written; reports half full once it holds `limit` bytes since the last Take.
class RecordingAudioOutput : public mvx_AudioOutput
{
public:
    explicit RecordingAudioOutput(size_t limit = SIZE_MAX) : limit(limit) {}
    void WritePCM(const uint8_t* data, int32_t bytes, int32_t) override
    {
        const int16_t* s = reinterpret_cast<const int16_t*>(data);
        pcm.insert(pcm.end(), s, s + bytes / 2);
        ++writes;
    }
    bool IsBufferHalfFull() override { return pcm.size() * 2 >= limit; }
    void Reset() override
    {
        ++resets;
        mvx_AudioOutput::Reset();
    }

    size_t limit;
    std::vector<int16_t> pcm;
    int32_t writes = 0;
    int32_t resets = 0;
};

// A stream that records the packets handed to its decoders, then lets the stream select as usual.
class PacketRecordingStream : public mvx_Stream
{
public:
    struct Packet
    {
        bool video;
        int32_t id;
        int32_t time;
        std::vector<uint8_t> bytes;
    };
    PacketRecordingStream(mvx_VideoOutput* video, mvx_AudioOutput* audio) : mvx_Stream(video, audio) {}
    bool PushVideoPacket(int32_t id, const uint8_t* start, const uint8_t* end, int32_t time) override
    {
        packets.push_back({true, id, time, std::vector<uint8_t>(start, end)});
        return mvx_Stream::PushVideoPacket(id, start, end, time);
    }
    bool PushAudioPacket(int32_t id, const uint8_t* start, const uint8_t* end, int32_t time) override
    {
        packets.push_back({false, id, time, std::vector<uint8_t>(start, end)});
        return mvx_Stream::PushAudioPacket(id, start, end, time);
    }
    std::vector<Packet> packets;
};
