// Ogg Vorbis through a stream: the PCM written equals stb_vorbis's own pull decode of the same
// file (mono spread on both sides), a file whose headers pass 16 KB opens, and seeks from the
// start to past the end land on the reference samples within a time-out.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>

#include "audio/mivox/mvx_OVDemuxer.h"
#include "audio/mivox/mvx_Stream.h"
#include "tests/audio/streams/nStreamTestKit.h"
#include "tests/support/nLogCapture.h"

namespace {

struct FileCase
{
    const char* name;
    int32_t rate;
    int32_t channels;
};

const FileCase kFiles[] = {
    {"mono22k.ogg", 22050, 1},
    {"stereo48k.ogg", 48000, 2},
    {"bigheader.ogg", 44100, 2},
};

// First index where the two differ, or -1.
int64_t FirstDifference(const std::vector<int16_t>& a, const int16_t* b, size_t count)
{
    for (size_t i = 0; i < count && i < a.size(); ++i)
        if (a[i] != b[i]) return (int64_t)i;
    return a.size() < count ? (int64_t)a.size() : -1;
}

TEST(OggStream, WholeFilesEqualTheReferenceDecode)
{
    for (const FileCase& f : kFiles) {
        SCOPED_TRACE(f.name);
        const std::string path = StreamData(f.name);
        ReferencePCM ref = DecodeReference(path);
        ASSERT_EQ(ref.rate, f.rate);
        ASSERT_EQ(ref.channels, f.channels);

        nLogCapture log;
        RecordingAudioOutput out;  // never full: the opening decodes everything
        mvx_Stream stream(0, &out);
        ASSERT_TRUE(stream.Open(path.c_str(), false)) << log.Text();
        EXPECT_EQ(stream.GetState(), StreamEnded);
        EXPECT_EQ(stream.GetAudioFormat().sampleRate, f.rate);
        EXPECT_EQ(stream.GetAudioFormat().bits, 16);
        EXPECT_EQ(stream.GetAudioFormat().stereo, f.channels == 2 ? 1 : 0);
        ASSERT_EQ(out.pcm.size(), ref.stereo.size());
        EXPECT_EQ(FirstDifference(out.pcm, ref.stereo.data(), ref.stereo.size()), -1);
        const std::string text = log.Text();
        EXPECT_NE(text.find("SelectAudioDemuxer(): Using 'OGG Vorbis stream demuxer'.\n"), std::string::npos) << text;
        char heading[96];
        std::snprintf(heading, sizeof heading, "[H] OGG Vorbis audio stream %dhz 16bit %d channel(s).\n", f.rate, f.channels);
        EXPECT_NE(text.find(heading), std::string::npos) << text;
    }
}

TEST(OggStream, HeadersBeyondTheFirstBufferGrowIt)
{
    nLogCapture log;
    RecordingAudioOutput out(1);
    mvx_Stream stream(0, &out);
    ASSERT_TRUE(stream.Open(StreamData("bigheader.ogg").c_str(), false)) << log.Text();
    const mvx_OVDemuxer* demuxer = dynamic_cast<const mvx_OVDemuxer*>(stream.GetAudioDemuxer());
    ASSERT_NE(demuxer, nullptr);
    EXPECT_GT(demuxer->GetInputCapacity(), kOVInputBytes);
    EXPECT_FALSE(out.pcm.empty());
}

struct SeekCase
{
    const char* file;
    int32_t ms;
};

// Near the start (a restart and a skip), inside the bisection's window and beyond 89 s, where
// rate x ms passes 32 bits.
const SeekCase kSeeks[] = {
    {"stereo48k.ogg", 0}, {"stereo48k.ogg", 10}, {"stereo48k.ogg", 100}, {"stereo48k.ogg", 400}, {"stereo48k.ogg", 2000}, {"stereo48k.ogg", 33333}, {"stereo48k.ogg", 50000}, {"stereo48k.ogg", 95000}, {"stereo48k.ogg", 99500}, {"mono22k.ogg", 10}, {"mono22k.ogg", 700}, {"mono22k.ogg", 1500}, {"stereo48k.ogg", 2000}, {"stereo48k.ogg", 10},  // backwards after later seeks
};

TEST(OggStream, SeeksLandOnTheReferenceSamples)
{
    const int64_t kFrames = 4096;
    std::string openFile;
    ReferencePCM ref;
    RecordingAudioOutput out(16384);
    mvx_Stream stream(0, &out);
    nLogCapture log;
    for (const SeekCase& c : kSeeks) {
        SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.ms) + " ms");
        if (openFile != c.file) {
            ref = DecodeReference(StreamData(c.file));
            ASSERT_TRUE(stream.Open(StreamData(c.file).c_str(), false)) << log.Text();
            openFile = c.file;
        }
        // A seek that never ends would hang the game's main thread: it must come back.
        std::future<bool> done = std::async(std::launch::async, [&] { return stream.Seek(c.ms); });
        if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "the seek did not end";
            std::fflush(stdout);
            std::_Exit(1);
        }
        EXPECT_TRUE(done.get());
        out.pcm.clear();
        out.limit = kFrames * 4;
        stream.Decode(1);
        const int64_t target = (int64_t)ref.rate * c.ms / 1000;
        const int64_t expected = std::min<int64_t>(kFrames, ref.Frames() - target);
        ASSERT_GE((int64_t)out.pcm.size() / 2, expected);
        EXPECT_EQ(FirstDifference(out.pcm, ref.stereo.data() + target * 2, (size_t)expected * 2), -1);
    }
}

TEST(OggStream, ASeekPastTheEndEndsTheStream)
{
    RecordingAudioOutput out(16384);
    mvx_Stream stream(0, &out);
    nLogCapture log;
    ASSERT_TRUE(stream.Open(StreamData("mono22k.ogg").c_str(), false));
    stream.Seek(5000);
    out.pcm.clear();
    out.limit = SIZE_MAX;
    stream.Decode(1);
    EXPECT_TRUE(out.pcm.empty());
    EXPECT_EQ(stream.GetState(), StreamEnded);
}

}

namespace {

// Files the fuzzer made: a comment header whose length is far beyond its packet (the decoder
// would take it for an allocation size), a damaged header the decoder used to leak on, and
// audio decoding to samples far out of range (their conversion must not overflow).
TEST(OggStream, DamagedHeadersAreRefusedWithoutHarm)
{
    for (const char* name : {"damaged_comment_length.ogg", "damaged_leaks_in_decoder.ogg", "damaged_sample_range.ogg"}) {
        SCOPED_TRACE(name);
        nLogCapture log;
        RecordingAudioOutput out;
        mvx_Stream stream(0, &out);
        if (stream.Open(StreamData(name).c_str(), false)) {
            stream.Seek(700);
            stream.Decode(1);
        } else {
            EXPECT_EQ(log.Lines().back(), "[!] No suitable demuxer for stream.\n");
        }
        EXPECT_EQ(out.pcm.size() % 2, 0u);
    }
}

}
