// Arbitrary bytes given to the Ogg Vorbis demuxer: a file it accepts decodes to whole stereo
// frames until its end, seeks anywhere (first byte) and decodes on.
#include <cstdint>

#include "audio/mivox/mvx_OVDemuxer.h"
#include "audio/mivox/mvx_Stream.h"
#include "tests/fuzz/nStreamFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    nStreamFuzzSetUp();
    if (size < 1 || size > (1u << 20)) return 0;
    nFuzzStore("in.ogg", data + 1, size - 1);
    nIOFile file;
    if (!file.Open("in.ogg", true, false, false)) abort();
    nFuzzAudioOutput audio;
    mvx_Stream stream(0, &audio);
    mvx_OVDemuxer demuxer(&file);
    if (!demuxer.Open(&stream) || !demuxer.Setup(&stream, false)) return 0;
    for (int i = 0; i < 2000 && !demuxer.Demux(&stream); ++i) audio.Drain();
    demuxer.Seek(&stream, data[0] * 397);
    for (int i = 0; i < 200 && !demuxer.Demux(&stream); ++i) audio.Drain();
    demuxer.Seek(&stream, 0);
    demuxer.Demux(&stream);
    return 0;
}
