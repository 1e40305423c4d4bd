// Opening a stream: which demuxer a file's first bytes choose (program stream, MPEG audio with
// or without an ID3v2 tag, Ogg Vorbis) and the lines that say so; MPEG audio is recognised,
// its packets dropped with one line per opening, and it ends; a video side without a decoder
// presents one frame per period and stops reading its file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "audio/mivox/mvx_Demuxer.h"
#include "audio/mivox/mvx_MPADemuxer.h"
#include "audio/mivox/mvx_Stream.h"
#include "audio/mivox/mvx_VideoOutput.h"
#include "tests/audio/streams/nStreamTestKit.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

typedef std::vector<std::string> Lines;

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values) s += (char)v;
    return s;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An ID3v2.3 tag of `size` bytes of body (synchsafe), optionally with a footer flag.
std::string ID3Tag(int size, bool footer)
{
    std::string tag = "ID3" + Bytes({3, 0, footer ? 0x10 : 0, (size >> 21) & 0x7f, (size >> 14) & 0x7f, (size >> 7) & 0x7f, size & 0x7f});
    tag += std::string(size + (footer ? 10 : 0), 'x');
    return tag;
}

struct ProbeCase
{
    const char* label;
    std::string bytes;
    const char* demuxer;  // NULL: none reads it
    Lines lines;          // exact lines of the opening up to the demuxer's choice
};

TEST(StreamProbe, TheFirstBytesChooseTheDemuxer)
{
    const std::string mpa(4096, '\x55');
    const ProbeCase cases[] = {
        {"pack start code", Bytes({0, 0, 1, 0xBA}) + std::string(64, '\0'), "MPEG-PS demuxer", {"[H] Opening stream 'p.bin'.\n", "SelectAudioDemuxer(): Using 'MPEG-PS demuxer'.\n"}},
        {"MPEG-1 layer 3 sync", Bytes({0xFF, 0xFB, 0x90, 0}) + mpa, "MPEG-Audio elementary stream demuxer", {"[H] Opening stream 'p.bin'.\n", "[H] Stream appears to be elementary MPEG audio.\n", "SelectAudioDemuxer(): Using 'MPEG-Audio elementary stream demuxer'.\n"}},
        {"ID3v2.3 tag, then sync", ID3Tag(300, false) + Bytes({0xFF, 0xFB, 0x90, 0}) + mpa, "MPEG-Audio elementary stream demuxer", {"[H] Opening stream 'p.bin'.\n", "[H] Skipping ID3 tag v2.3.0\n", "[H] Stream appears to be elementary MPEG audio.\n", "SelectAudioDemuxer(): Using 'MPEG-Audio elementary stream demuxer'.\n"}},
        {"ID3 tag with a footer", ID3Tag(20, true) + Bytes({0xFF, 0xFA, 0x90, 0}) + mpa, "MPEG-Audio elementary stream demuxer", {"[H] Opening stream 'p.bin'.\n", "[H] Skipping ID3 tag v2.3.0\n", "[H] Stream appears to be elementary MPEG audio.\n", "SelectAudioDemuxer(): Using 'MPEG-Audio elementary stream demuxer'.\n"}},
        {"MPEG-2 sync", Bytes({0xFF, 0xF3, 0x90, 0}) + mpa, "MPEG-Audio elementary stream demuxer", {"[H] Opening stream 'p.bin'.\n", "[H] Stream appears to be elementary MPEG audio.\n", "[!] Elementary MPEG-2 Audio stream unsupported.\n", "SelectAudioDemuxer(): Using 'MPEG-Audio elementary stream demuxer'.\n"}},
        {"no layer", Bytes({0xFF, 0xF8, 0x90, 0}) + mpa, "MPEG-Audio elementary stream demuxer", {"[H] Opening stream 'p.bin'.\n", "[H] Stream appears to be elementary MPEG audio.\n", "[!] Invalid layer.\n", "SelectAudioDemuxer(): Using 'MPEG-Audio elementary stream demuxer'.\n"}},
        {"MPEG-2.5 sync reaches Ogg and fails", Bytes({0xFF, 0xE3, 0x90, 0}) + mpa, 0, {"[H] Opening stream 'p.bin'.\n", "[!] No suitable demuxer for stream.\n"}},
        {"Ogg Vorbis", FileBytes(StreamData("mono22k.ogg")), "OGG Vorbis stream demuxer", {"[H] Opening stream 'p.bin'.\n", "SelectAudioDemuxer(): Using 'OGG Vorbis stream demuxer'.\n"}},
        {"Ogg page of something else", "OggS" + std::string(200, '\0'), 0, {"[H] Opening stream 'p.bin'.\n", "[!] No suitable demuxer for stream.\n"}},
        {"empty", "", 0, {"[H] Opening stream 'p.bin'.\n", "[!] No suitable demuxer for stream.\n"}},
        {"one byte", "\xFF", 0, {"[H] Opening stream 'p.bin'.\n", "[!] No suitable demuxer for stream.\n"}},
    };
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(nMLPutMemoryFile("p.bin", c.bytes));
        RecordingAudioOutput out(1);
        mvx_Stream stream(0, &out);
        nLogCapture log;
        const bool opened = stream.Open("p.bin", false);
        EXPECT_EQ(opened, c.demuxer != 0);
        if (c.demuxer) {
            ASSERT_NE(stream.GetAudioDemuxer(), nullptr);
            EXPECT_STREQ(stream.GetAudioDemuxer()->GetName(), c.demuxer);
        } else {
            EXPECT_EQ(stream.GetState(), StreamClosed);
        }
        Lines lines = log.Lines();
        if (lines.size() > c.lines.size()) lines.resize(c.lines.size());
        EXPECT_EQ(lines, c.lines);
    }
}

TEST(StreamProbe, MPEGAudioIsDroppedWithOneLineAndEnds)
{
    std::string file = ID3Tag(100, false);
    for (int i = 0; i < 10; ++i) file += Bytes({0xFF, 0xFB, 0x90, 0}) + std::string(1020, '\x11');
    ASSERT_TRUE(nMLPutMemoryFile("a.mp3", file));
    RecordingAudioOutput out(1);
    PacketRecordingStream stream(0, &out);
    nLogCapture log;
    ASSERT_TRUE(stream.Open("a.mp3", false));
    EXPECT_EQ(stream.GetState(), StreamEnded);
    EXPECT_TRUE(out.pcm.empty());
    // The whole file after the tag, in 1024-byte packets for decoder 2.
    ASSERT_EQ(stream.packets.size(), 10u);
    size_t total = 0;
    for (const PacketRecordingStream::Packet& p : stream.packets) {
        EXPECT_EQ(p.id, 2);
        EXPECT_FALSE(p.video);
        total += p.bytes.size();
    }
    EXPECT_EQ(total, file.size() - 110);
    int warnings = 0;
    for (const std::string& line : log.Lines())
        warnings += line == "[!] (SelectAudioDecoder) Mivox built with no MPEG I/II/III audio support.\n";
    EXPECT_EQ(warnings, 1);
    // No decoder can find a time: the seek rewinds past the tag and says it did not arrive.
    EXPECT_FALSE(stream.Seek(500));
    EXPECT_EQ(stream.GetAudioDemuxer()->GetFile()->Tell(), 110);
}

// Counts presentations; never receives a frame.
class CountingVideoOutput : public mvx_VideoOutput
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
    int32_t presents = 0;
};

std::string VideoPacket(int payload)
{
    const int length = 3 + payload;  // MPEG-2 PES without a time stamp
    return Bytes({0, 0, 1, 0xE0, length >> 8, length & 0xff, 0x80, 0x00, 0x00}) + std::string(payload, '\x42');
}

TEST(StreamProbe, AVideoSideWithoutDecoderPresentsPerPeriodAndStopsReading)
{
    std::string file = Bytes({0, 0, 1, 0xBA, 0x21, 0, 1, 0, 1, 0x80, 0, 1});  // MPEG-1 pack
    for (int i = 0; i < 50; ++i) file += VideoPacket(1000);
    file += Bytes({0, 0, 1, 0xB9});
    ASSERT_TRUE(nMLPutMemoryFile("v.mpg", file));
    CountingVideoOutput video;
    PacketRecordingStream stream(&video, 0);
    nLogCapture log;
    ASSERT_TRUE(stream.Open("v.mpg", false));
    EXPECT_TRUE(stream.IsVideoUndecodable());
    EXPECT_EQ(stream.GetEnded(), (uint32_t)(StreamAudioEnded | StreamVideoEnded));
    const size_t read = stream.packets.size();
    EXPECT_LE(read, 5u);  // the first block's packets, not the whole file

    EXPECT_FALSE(stream.Decode(0));
    EXPECT_FALSE(stream.Decode(-5));
    EXPECT_EQ(video.presents, 0);
    EXPECT_TRUE(stream.Decode(5000));  // counted as 1000 ticks: 2.5 periods
    EXPECT_EQ(video.presents, 3);
    EXPECT_TRUE(stream.Decode(200));  // video time 200 - 200 = 0: nothing due
    EXPECT_EQ(video.presents, 3);
    EXPECT_TRUE(stream.Decode(1));
    EXPECT_EQ(video.presents, 4);
    EXPECT_EQ(stream.packets.size(), read);
    int warnings = 0;
    for (const std::string& line : log.Lines())
        warnings += line == "[*] (SelectVideoDecoder) Mivox built with no MPEG I/II video support.\n";
    EXPECT_EQ(warnings, 1);
}

}
