// The program-stream parser on synthetic streams: MPEG-1 and MPEG-2 packs and packets, time
// stamps alone and with decoding time stamps, stuffing, skipped streams, and every header cut
// at every offset by a block boundary. Payloads come out whole, once, with their times in
// ticks; malformed packets are skipped and the parse always ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "audio/mivox/mvx_PSDemuxer.h"
#include "tests/audio/streams/nStreamTestKit.h"
#include "tests/support/nLogCapture.h"
#include "tests/support/nMLTestSupport.h"

namespace {

typedef std::vector<uint8_t> Bytes;

void Put(Bytes& b, std::initializer_list<int> values)
{
    for (int v : values) b.push_back((uint8_t)v);
}

// A 33-bit time stamp in its 5 bytes, with the 4-bit prefix.
void PutStamp(Bytes& b, int prefix, uint64_t t)
{
    Put(b, {(int)((prefix << 4) | (((t >> 30) & 7) << 1) | 1), (int)((t >> 22) & 0xff), (int)((((t >> 15) & 0x7f) << 1) | 1),
            (int)((t >> 7) & 0xff), (int)(((t & 0x7f) << 1) | 1)});
}

Bytes Payload(int size, int seed)
{
    Bytes p;
    for (int i = 0; i < size; ++i) p.push_back((uint8_t)((i * 7 + seed * 31) & 0xff) | 0x10);  // never 00 00 01
    return p;
}

struct Expected
{
    bool video;
    int32_t id;
    int32_t time;
    Bytes payload;
};

struct Builder
{
    Bytes bytes;
    std::vector<Expected> expected;
    uint32_t lastVideoTime = 0;

    void Pack2(int stuffing)
    {
        Put(bytes, {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8 | stuffing});
        for (int i = 0; i < stuffing; ++i) bytes.push_back(0xFF);
    }
    void Pack1() { Put(bytes, {0, 0, 1, 0xBA, 0x21, 0, 1, 0, 1, 0x80, 0, 1}); }
    void Skipped(int code, int length)
    {
        Put(bytes, {0, 0, 1, code, length >> 8, length & 0xff});
        for (int i = 0; i < length; ++i) bytes.push_back(0xFF);
    }
    // MPEG-2 PES: pts only, pts and dts, or no stamp; extra header stuffing.
    void Pes2(bool video, int stamps, uint64_t pts, uint64_t dts, int stuffing, int size, int seed)
    {
        Bytes header;
        int flags = stamps == 2 ? 0xC0 : stamps == 1 ? 0x80
                                                     : 0;
        if (stamps >= 1) PutStamp(header, stamps == 2 ? 3 : 2, pts);
        if (stamps == 2) PutStamp(header, 1, dts);
        for (int i = 0; i < stuffing; ++i) header.push_back(0xFF);
        const Bytes payload = Payload(size, seed);
        const int length = 3 + (int)header.size() + size;
        Put(bytes, {0, 0, 1, video ? 0xE0 : 0xC0, length >> 8, length & 0xff, 0x81, flags, (int)header.size()});
        bytes.insert(bytes.end(), header.begin(), header.end());
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        Record(video, 3, stamps == 2 ? dts : stamps == 1 ? pts
                                                         : ~0ull,
               payload);
    }
    // MPEG-1 packet: stuffing, an optional buffer field, then pts, pts and dts, or none.
    void Pes1(bool video, int stuffing, bool buffer, int stamps, uint64_t pts, uint64_t dts, int size, int seed)
    {
        Bytes header;
        for (int i = 0; i < stuffing; ++i) header.push_back(0xFF);
        if (buffer) Put(header, {0x60, 0x20});
        if (stamps == 1) PutStamp(header, 2, pts);
        else if (stamps == 2) {
            PutStamp(header, 3, pts);
            PutStamp(header, 1, dts);
        } else header.push_back(0x0F);
        const Bytes payload = Payload(size, seed);
        const int length = (int)header.size() + size;
        Put(bytes, {0, 0, 1, video ? 0xE0 : 0xC0, length >> 8, length & 0xff});
        bytes.insert(bytes.end(), header.begin(), header.end());
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        Record(video, 2, stamps == 2 ? dts : stamps == 1 ? pts
                                                         : ~0ull,
               payload);
    }
    void Record(bool video, int id, uint64_t stamp, const Bytes& payload)
    {
        uint32_t& last = video ? lastVideoTime : lastAudioTime;
        if (stamp != ~0ull) last = (uint32_t)stamp;
        if (!payload.empty()) expected.push_back({video, id, (int32_t)(last / 9), payload});
    }
    void End() { Put(bytes, {0, 0, 1, 0xB9}); }

    uint32_t lastAudioTime = 0;
};

// Every kind of piece, with times that differ packet to packet.
Builder Sample()
{
    Builder b;
    b.Pack2(3);
    b.Skipped(0xBB, 12);
    b.Pes2(true, 2, 900900, 896400, 2, 700, 1);
    b.Pes2(false, 1, 90090, 0, 0, 300, 2);
    b.Skipped(0xBE, 40);
    b.Pack1();
    b.Pes1(false, 5, true, 1, 180180, 0, 250, 3);
    b.Pes1(true, 0, false, 2, 1801800, 1797300, 120, 4);
    b.Pes1(false, 17, true, 0, 0, 0, 90, 5);
    b.Pes2(true, 0, 0, 0, 7, 33, 6);
    b.Pes2(false, 1, (1ull << 32) + 270, 0, 0, 64, 7);  // beyond 32 bits: kept modulo 2^32
    b.End();
    return b;
}

// Deliveries of one packet that a block boundary split, joined again.
std::vector<Expected> Joined(const std::vector<PacketRecordingStream::Packet>& packets)
{
    std::vector<Expected> out;
    for (const PacketRecordingStream::Packet& p : packets) {
        if (!out.empty() && out.back().video == p.video && out.back().time == p.time && out.back().id == p.id &&
            !(out.size() >= 1 && p.bytes.empty())) {
            // A continuation carries the same side, id and time; a new packet has a new time.
            Expected& last = out.back();
            last.payload.insert(last.payload.end(), p.bytes.begin(), p.bytes.end());
            continue;
        }
        out.push_back({p.video, p.id, p.time, p.bytes});
    }
    return out;
}

void ExpectSame(const std::vector<Expected>& actual, const std::vector<Expected>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("packet " + std::to_string(i));
        EXPECT_EQ(actual[i].video, expected[i].video);
        EXPECT_EQ(actual[i].id, expected[i].id);
        EXPECT_EQ(actual[i].time, expected[i].time);
        EXPECT_EQ(actual[i].payload, expected[i].payload);
    }
}

// Both sides fed by one demuxer, as when a stream has both outputs on one file.
struct Parser
{
    PacketRecordingStream stream{0, 0};
    nIOFile file;
    mvx_PSDemuxer demuxer{&file};
    Parser() { demuxer.AddPath(DemuxerFeedsAudio | DemuxerFeedsVideo); }
};

TEST(PSDemuxer, EveryCutAcrossABoundaryDeliversEachPayloadOnce)
{
    const Builder b = Sample();
    for (size_t cut = 0; cut <= b.bytes.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        Parser p;
        const bool first = p.demuxer.Parse(&p.stream, b.bytes.data(), (int32_t)cut, true);
        const bool second = p.demuxer.Parse(&p.stream, b.bytes.data() + cut, (int32_t)(b.bytes.size() - cut), true);
        EXPECT_FALSE(first && cut < b.bytes.size());
        EXPECT_TRUE(first || second);
        ExpectSame(Joined(p.stream.packets), b.expected);
        if (HasFailure()) break;
    }
}

TEST(PSDemuxer, TinyBlocksCarryHeadersOverSeveralBoundaries)
{
    const Builder b = Sample();
    for (size_t piece = 1; piece <= 9; ++piece) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        Parser p;
        bool ended = false;
        for (size_t at = 0; at < b.bytes.size() && !ended; at += piece) {
            const size_t n = std::min(piece, b.bytes.size() - at);
            ended = p.demuxer.Parse(&p.stream, b.bytes.data() + at, (int32_t)n, true);
        }
        EXPECT_TRUE(ended);
        ExpectSame(Joined(p.stream.packets), b.expected);
    }
}

// Through the file, in its 4096-byte blocks: a padding packet moves the first header across
// the boundary one byte at a time.
TEST(PSDemuxer, FileBlocksCutTheFirstHeaderAtEveryOffset)
{
    for (int shift = 0; shift <= 40; ++shift) {
        SCOPED_TRACE("header starts " + std::to_string(shift) + " bytes before the boundary");
        Builder b;
        b.Pack1();
        b.Skipped(0xBE, kPSBlockBytes - shift - 12 - 6);
        b.Pes2(false, 2, 45000, 44100, 4, 5000, 1);
        b.Pes1(false, 3, true, 1, 90000, 0, 700, 2);
        b.End();
        ASSERT_TRUE(nMLPutMemoryFile("cut.mpg", std::string(b.bytes.begin(), b.bytes.end())));
        RecordingAudioOutput out;
        PacketRecordingStream stream(0, &out);
        nLogCapture log;
        ASSERT_TRUE(stream.Open("cut.mpg", false));
        EXPECT_EQ(stream.GetState(), StreamEnded);
        ExpectSame(Joined(stream.packets), b.expected);
    }
}

TEST(PSDemuxer, TheScanGivesTheDurationAndSeeksGoForward)
{
    Builder b;
    for (int i = 0; i <= 20; ++i) {
        b.Pack2(0);
        b.Pes2(true, 1, 45000ull * i, 0, 0, 900, i);
        b.Pes2(false, 1, 45000ull * i + 10, 0, 0, 400, i + 50);
    }
    b.End();
    ASSERT_TRUE(nMLPutMemoryFile("long.mpg", std::string(b.bytes.begin(), b.bytes.end())));
    nLogCapture log;
    RecordingAudioOutput out(1);
    PacketRecordingStream stream(0, &out);
    ASSERT_TRUE(stream.Open("long.mpg", true));
    EXPECT_FLOAT_EQ(stream.GetDuration(), 10.0f);  // the last video time stamp, 900000 / 90000

    mvx_PSDemuxer* demuxer = static_cast<mvx_PSDemuxer*>(stream.GetAudioDemuxer());
    demuxer->Reset();
    EXPECT_TRUE(demuxer->Seek(&stream, 3000));
    EXPECT_GT(demuxer->GetAudioTime(), 3000u * 90);
    const uint32_t reached = demuxer->GetAudioTime();
    EXPECT_TRUE(demuxer->Seek(&stream, 2000));  // only later times are found: it goes on
    EXPECT_GT(demuxer->GetAudioTime(), reached);
    EXPECT_FALSE(demuxer->Seek(&stream, 60000));  // past the end
}

TEST(PSDemuxer, MalformedPacketsAreSkippedAndTheParseEnds)
{
    Builder b;
    b.Pack2(0);
    // A PES header of 9 + 200 bytes in a packet of 10: no payload, skipped by its length.
    Put(b.bytes, {0, 0, 1, 0xC0, 0, 10, 0x81, 0x80, 200, 0x21, 0, 1, 0, 1, 0x11, 0x12});
    b.Pes2(false, 1, 9000, 0, 0, 50, 1);
    // An MPEG-1 packet whose stamps run past its length of 2.
    Put(b.bytes, {0, 0, 1, 0xE0, 0, 2, 0x31, 0x00});
    b.Pes2(true, 1, 18000, 0, 0, 60, 2);
    b.Pack1();
    Put(b.bytes, {0, 0, 1, 0xBA, 0x99, 1, 2, 3});  // a pack header of neither kind
    b.End();
    for (size_t cut = 0; cut <= b.bytes.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        Parser p;
        p.demuxer.Parse(&p.stream, b.bytes.data(), (int32_t)cut, true);
        p.demuxer.Parse(&p.stream, b.bytes.data() + cut, (int32_t)(b.bytes.size() - cut), true);
        std::vector<Expected> joined = Joined(p.stream.packets);
        ExpectSame(joined, b.expected);
        if (HasFailure()) break;
    }

    // Arbitrary bytes full of start codes, at every cut: the parse ends every time.
    Bytes noise;
    uint32_t x = 12345;
    for (int i = 0; i < 3000; ++i) {
        x = x * 1103515245u + 12345u;
        if (i % 37 == 0) Put(noise, {0, 0, 1, (int)(0xB9 + (x >> 16) % 8)});
        noise.push_back((uint8_t)(x >> 24));
    }
    for (size_t cut = 0; cut <= noise.size(); cut += 7) {
        Parser p;
        p.demuxer.Parse(&p.stream, noise.data(), (int32_t)cut, true);
        p.demuxer.Parse(&p.stream, noise.data() + cut, (int32_t)(noise.size() - cut), true);
        EXPECT_LE(p.demuxer.GetRemaining(), 65535 + 6);
    }
}

}
