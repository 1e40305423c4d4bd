// Arbitrary bytes given to the MPEG audio demuxer: the ID3v2 skip and the sync probe, packets of
// at most 1024 bytes within the file until its end, and the seek back past the tag.
#include <cstdint>

#include "audio/mivox/mvx_MPADemuxer.h"
#include "audio/mivox/mvx_Stream.h"
#include "tests/fuzz/nStreamFuzz.h"

namespace {

class CheckingStream : public mvx_Stream
{
public:
    CheckingStream(mvx_AudioOutput* audio) : mvx_Stream(0, audio) {}
    bool PushAudioPacket(int32_t id, const uint8_t* start, const uint8_t* end, int32_t time) override
    {
        if (end < start || end - start > kMPAPacketBytes) abort();
        total += end - start;
        return mvx_Stream::PushAudioPacket(id, start, end, time);
    }
    int64_t total = 0;
};

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    nStreamFuzzSetUp();
    if (size > (1u << 20)) return 0;
    nFuzzStore("in.mp3", data, size);
    nIOFile file;
    if (!file.Open("in.mp3", true, false, false)) abort();
    nFuzzAudioOutput audio;
    CheckingStream stream(&audio);
    mvx_MPADemuxer demuxer(&file);
    if (!demuxer.Open(&stream)) return 0;
    int packets = 0;
    while (!demuxer.Demux(&stream))
        if (++packets > (1 << 11)) abort();  // a 1 MB file is at most 1024 packets
    if (stream.total > (int64_t)size) abort();
    if (demuxer.Seek(&stream, 1000)) abort();  // no decoder to find a time
    return 0;
}
