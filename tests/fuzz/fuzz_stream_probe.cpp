// Arbitrary bytes opened as a stream with both outputs: probing, set-up (with the duration scan
// when the first byte says so), decoding, seeking and rewinding end without a fault.
#include <cstdint>

#include "audio/mivox/mvx_Stream.h"
#include "tests/fuzz/nStreamFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    nStreamFuzzSetUp();
    if (size < 1 || size > (1u << 20)) return 0;
    nFuzzStore("in.bin", data + 1, size - 1);
    nFuzzAudioOutput audio;
    nFuzzVideoOutput video;
    mvx_Stream stream(&video, &audio);
    if (!stream.Open("in.bin", data[0] & 1)) {
        if (stream.GetState() != StreamClosed) abort();
        return 0;
    }
    for (int i = 0; i < 50 && stream.GetState() == StreamDecoding; ++i) {
        audio.Drain();
        stream.Decode(400);
    }
    stream.Seek((data[0] >> 1) * 700);
    stream.Decode(1000);
    stream.Rewind();
    stream.Decode(400);
    stream.StreamClose();
    return 0;
}
