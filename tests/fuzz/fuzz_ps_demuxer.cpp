// Arbitrary bytes parsed as a program stream, cut into blocks at sizes the first byte chooses:
// payloads lie inside the input, their total never exceeds it, and every parse ends.
#include <cstdint>
#include <vector>

#include "audio/mivox/mvx_PSDemuxer.h"
#include "audio/mivox/mvx_Stream.h"
#include "tests/fuzz/nStreamFuzz.h"

namespace {

class CheckingStream : public mvx_Stream
{
public:
    CheckingStream() : mvx_Stream(0, 0) {}
    bool PushVideoPacket(int32_t id, const uint8_t* start, const uint8_t* end, int32_t time) override
    {
        Check(start, end);
        return false;
    }
    bool PushAudioPacket(int32_t id, const uint8_t* start, const uint8_t* end, int32_t time) override
    {
        Check(start, end);
        return false;
    }
    void Check(const uint8_t* start, const uint8_t* end)
    {
        if (end <= start) abort();
        volatile uint8_t sink = start[0] ^ end[-1];
        (void)sink;
        total += end - start;
    }
    int64_t total = 0;
};

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    nStreamFuzzSetUp();
    if (size < 1 || size > (1u << 20)) return 0;
    const size_t piece = 1 + data[0] * 17;
    std::vector<uint8_t> input(data + 1, data + size);
    CheckingStream stream;
    nIOFile file;
    mvx_PSDemuxer demuxer(&file);
    demuxer.AddPath(DemuxerFeedsAudio | DemuxerFeedsVideo);
    for (size_t at = 0; at < input.size(); at += piece) {
        const size_t n = input.size() - at < piece ? input.size() - at : piece;
        // Each block in a buffer of its own size, so a read past it is caught.
        std::vector<uint8_t> block(input.begin() + at, input.begin() + at + n);
        if (demuxer.Parse(&stream, block.data(), (int32_t)n, true)) break;
    }
    if (stream.total > (int64_t)input.size()) abort();
    return 0;
}
