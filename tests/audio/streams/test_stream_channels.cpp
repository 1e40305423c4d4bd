// The ring buffer and streamed channels: a table of ring operations (wrap-around, partial
// blocks hidden, discarding reads, half full at five of eight blocks), a stream interface that
// keeps what the ring cannot take, a decoder thread whose PCM drained concurrently equals the
// reference decode without a gap, and the mixer's servicing of streams (loop, finish, release
// once, stop joins the thread).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio/mivox/mvx_Stream.h"
#include "audio/mixer/nMixerStreamInterface.h"
#include "audio/mixer/nNull_Mixer.h"
#include "audio/mixer/nRingBuffer.h"
#include "tests/audio/streams/nStreamTestKit.h"
#include "tests/support/nLogCapture.h"

namespace {

typedef std::vector<std::string> Lines;

struct RingStep
{
    char op;  // 'w' write, 'r' read, 'd' read discarding, 'n' write from NULL
    int32_t bytes;
    int32_t result;  // bytes left over (write) or read
    int32_t used;    // used bytes after the step
    int32_t percent;
};

TEST(RingBuffer, TableOfSteps)
{
    const RingStep steps[] = {
        {'w', 100, 0, 0, 0},  // a partial block is not readable
        {'r', 50, 0, 0, 0},
        {'w', 3996, 0, 4096, 13},  // completes block 0
        {'w', 4096 * 3, 0, 4096 * 4, 50},
        {'w', 4096, 0, 4096 * 5, 63},  // five of eight: more than half
        {'w', 4096, 0, 4096 * 6, 75},
        {'w', 10000, 10000 - 8192, 4096 * 8, 100},  // two free blocks take 8192 bytes
        {'d', 4096, 4096, 4096 * 7, 88},
        {'r', 100, 100, 4096 * 7, 88},  // the read block stays used until read completely
        {'r', 3996, 3996, 4096 * 6, 75},
        {'n', 4096 * 3, 4096, 4096 * 8, 100},  // a NULL source only advances
        {'r', 4096 * 10, 4096 * 8, 0, 0},
        {'r', 10, 0, 0, 0},
    };
    nLogCapture log;
    nRingBuffer ring;
    ASSERT_TRUE(ring.Init(4096, 8, 0));
    EXPECT_EQ(log.Lines(), Lines{"Allocate 32kb ring buffer (8*4096 bytes)\n"});
    std::vector<uint8_t> data(4096 * 10), back(4096 * 10);
    for (size_t i = 0; i < data.size(); ++i) data[i] = (uint8_t)(i * 13 + 7);
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        const RingStep& s = steps[i];
        SCOPED_TRACE("step " + std::to_string(i));
        int32_t result = 0;
        switch (s.op) {
            case 'w': result = ring.Write(data.data(), s.bytes); break;
            case 'n': result = ring.Write(0, s.bytes); break;
            case 'r': result = ring.Read(back.data(), s.bytes); break;
            case 'd': result = ring.Read(0, s.bytes); break;
        }
        EXPECT_EQ(result, s.result);
        EXPECT_EQ(ring.GetUsedBytes(), s.used);
        EXPECT_EQ(ring.GetUsedPercent(), s.percent);
    }
    nRingBuffer empty;
    EXPECT_EQ(empty.GetUsedPercent(), 100);
}

TEST(RingBuffer, WrapsAroundInOrder)
{
    nLogCapture log;
    nRingBuffer ring;
    ASSERT_TRUE(ring.Init(16, 4, 0));
    std::vector<uint8_t> in, out;
    uint8_t next = 0;
    for (int round = 0; round < 50; ++round) {
        uint8_t piece[40];
        const int32_t n = 5 + round % 30;
        for (int32_t i = 0; i < n; ++i) piece[i] = next++;
        const int32_t left = ring.Write(piece, n);
        in.insert(in.end(), piece, piece + (n - left));
        next -= (uint8_t)left;
        uint8_t got[64];
        const int32_t r = ring.Read(got, 7 + round % 20);
        out.insert(out.end(), got, got + r);
    }
    ASSERT_LE(out.size(), in.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), in.begin()));
    uint8_t supplied[64];
    ASSERT_TRUE(ring.Init(16, 4, supplied));
    EXPECT_TRUE(ring.borrowed);
}

// Drains an interface's ring as a mixer would.
std::vector<int16_t> Drain(nMixerStreamInterface& s, int32_t piece = 2048)
{
    std::vector<int16_t> out;
    std::vector<uint8_t> buffer(piece);
    nRingBuffer* ring = s.LockRing();
    while (ring->GetUsedBytes() >= piece && ring->Read(buffer.data(), piece) == piece) {
        const int16_t* p = reinterpret_cast<const int16_t*>(buffer.data());
        out.insert(out.end(), p, p + piece / 2);
    }
    s.UnlockRing();
    return out;
}

TEST(StreamInterface, WhatTheRingCannotTakeIsKeptForTheNextStep)
{
    nLogCapture log;
    nNull_Mixer mixer(0, false);
    nMixerStreamInterface s(&mixer, 0);
    std::vector<uint8_t> pcm(4096 * 6 + 10000);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = (uint8_t)(i * 7 + 1);
    s.WritePCM(pcm.data(), 4096 * 6, 0);
    EXPECT_TRUE(s.IsBufferHalfFull());
    s.WritePCM(pcm.data() + 4096 * 6, 10000, 0);  // two free blocks: 8192 fit
    EXPECT_EQ(s.GetKeptBytes(), 10000 - 8192);
    EXPECT_TRUE(s.IsBufferHalfFull());
    std::vector<uint8_t> got(4096 * 8);
    nRingBuffer* ring = s.LockRing();
    EXPECT_EQ(ring->Read(got.data(), 4096 * 8), 4096 * 8);
    s.UnlockRing();
    EXPECT_TRUE(s.IsBufferHalfFull() == false);  // the kept bytes went in at the question
    EXPECT_EQ(s.GetKeptBytes(), 0);
    ring = s.LockRing();
    EXPECT_EQ(ring->GetUsedBytes(), 0);  // 1808 bytes: not yet a whole block
    EXPECT_EQ(ring->writeOffset, 10000 - 8192);
    s.UnlockRing();
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), std::vector<uint8_t>(pcm.begin(), pcm.begin() + 4096 * 8));
}

// The decoder thread against a reader on the main thread: what comes out is the reference decode,
// without a gap, up to the last whole block.
TEST(StreamInterface, TheDecoderThreadDeliversTheWholeDecode)
{
    const std::string path = StreamData("mono22k.ogg");
    ReferencePCM ref = DecodeReference(path);
    nLogCapture log;
    nNull_Mixer mixer(0, false);
    auto s = std::make_unique<nMixerStreamInterface>(&mixer, 3);
    ASSERT_TRUE(s->OpenContent(path.c_str()));
    ASSERT_TRUE(s->StartThread());
    std::vector<int16_t> out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        std::vector<int16_t> piece = Drain(*s, 2048);
        out.insert(out.end(), piece.begin(), piece.end());
        mvx_Stream* stream = s->LockStream();
        const bool ended = stream->GetState() == StreamEnded && s->GetKeptBytes() == 0;
        s->UnlockStream();
        if (ended) {
            // Decoding is over: what the ring still holds is the rest.
            std::vector<int16_t> rest = Drain(*s, 2048);
            out.insert(out.end(), rest.begin(), rest.end());
            break;
        }
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const size_t whole = ref.stereo.size() / 2048 * 2048;
    EXPECT_GE(out.size(), whole - 2048);
    ASSERT_LE(out.size(), ref.stereo.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), ref.stereo.begin()));
    s.reset();
    EXPECT_NE(log.Text().find("Stream interface decoder thread joined.\n"), std::string::npos);
}

TEST(StreamInterface, DestroyedWhileDecodingWaitsForTheStep)
{
    nLogCapture log;
    nNull_Mixer mixer(0, false);
    for (int i = 0; i < 20; ++i) {
        auto s = std::make_unique<nMixerStreamInterface>(&mixer, 0);
        ASSERT_TRUE(s->OpenContent(StreamData("stereo48k.ogg").c_str()));
        ASSERT_TRUE(s->StartThread());
        std::this_thread::sleep_for(std::chrono::microseconds(i * 500));
        Drain(*s);
        s.reset();
    }
}

// A null mixer whose channels play until told otherwise and drain their rings on update.
class DrainingMixer : public nNull_Mixer
{
public:
    DrainingMixer() : nNull_Mixer(0, false) {}
    int32_t ChannelGetState(int32_t channel) override
    {
        return m_channels[channel].stream && !playedOut[channel] ? MixerChannelPlaying : MixerChannelStopped;
    }
    void ChannelUpdateStream(int32_t channel) override
    {
        std::vector<int16_t> got = Drain(*m_channels[channel].stream);
        drained[channel] += got.size();
    }
    void ChannelCloseStream(int32_t channel) override { ++closes[channel]; }
    void Update() override { nMixer::Update(); }
    bool playedOut[kMixerChannelCount] = {};  // the output has played everything queued
    size_t drained[kMixerChannelCount] = {};
    int32_t closes[kMixerChannelCount] = {};
};

bool UpdateUntil(DrainingMixer& mixer, const std::function<bool()>& done, double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        mixer.Update();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

TEST(StreamedChannels, StartsLoopsFinishesAndReleasesOnce)
{
    nLogCapture log;
    DrainingMixer mixer;
    ASSERT_TRUE(mixer.Open());
    const int32_t looping = mixer.StreamStart(StreamData("mono22k.ogg").c_str());
    const int32_t once = mixer.StreamStart(StreamData("mono22k.ogg").c_str());
    ASSERT_EQ(looping, 0);
    ASSERT_EQ(once, 1);
    ASSERT_NE(mixer.GetChannel(0)->stream, nullptr);
    EXPECT_EQ(mixer.FindFreeChannel(), 2);
    mixer.ChannelSetLoopMode(looping, MixerLoopRepeat);
    mixer.ChannelSetLoopPosition(looping, 500);

    // 2 s of mono at 22050 Hz: 176400 bytes of stereo PCM.
    ASSERT_TRUE(UpdateUntil(
        mixer, [&] { return mixer.GetChannel(once)->stream->IsFinished(); }, 30));
    mixer.playedOut[once] = true;
    const int32_t closes = mixer.closes[once];
    log.Clear();
    for (int i = 0; i < 20; ++i) mixer.Update();
    EXPECT_EQ(log.Lines(), Lines{"[|] Release stream interface.\n"});
    EXPECT_EQ(mixer.closes[once], closes + 1);
    EXPECT_NE(mixer.GetChannel(once)->stream, nullptr);  // occupied until stopped
    EXPECT_NE(mixer.FindFreeChannel(), once);

    // The looping one goes on past its end.
    ASSERT_TRUE(UpdateUntil(
        mixer, [&] { return mixer.drained[looping] > 2 * 176400 / 2; }, 30));
    EXPECT_FALSE(mixer.GetChannel(looping)->stream->IsFinished());

    log.Clear();
    mixer.ChannelStop(once);
    mixer.ChannelStop(looping);
    EXPECT_EQ(mixer.GetChannel(once)->stream, nullptr);
    EXPECT_EQ(mixer.GetChannel(looping)->stream, nullptr);
    int joined = 0;
    for (const std::string& line : log.Lines()) joined += line == "Stream interface decoder thread joined.\n";
    EXPECT_EQ(joined, 2);
}

TEST(StreamedChannels, ContentThatDoesNotOpenLeavesTheChannelFree)
{
    nLogCapture log;
    nNull_Mixer mixer(0, false);
    mixer.Open();
    EXPECT_EQ(mixer.StreamStart("no/such/file.ogg"), -1);
    EXPECT_EQ(mixer.GetChannel(0)->stream, nullptr);
    EXPECT_EQ(log.Lines().back(), "[!] Failed to open content stream.\n");
    EXPECT_EQ(mixer.StreamStart(0), -1);
    EXPECT_FALSE(mixer.ChannelStartStream(64, StreamData("mono22k.ogg").c_str()));
    EXPECT_FALSE(mixer.ChannelStartStream(-1, StreamData("mono22k.ogg").c_str()));
}

TEST(StreamedChannels, AStreamThatCannotSeekEndsInsteadOfLooping)
{
    std::string file;
    for (int i = 0; i < 4; ++i) file += std::string("\xFF\xFB\x90\x00", 4) + std::string(1020, '\x11');
    const char* name = "loop.mp3";
    FILE* f = std::fopen(name, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    nLogCapture log;
    DrainingMixer mixer;
    mixer.Open();
    const int32_t channel = mixer.StreamStart(name);
    ASSERT_EQ(channel, 0);
    mixer.ChannelSetLoopMode(channel, MixerLoopRepeat);
    EXPECT_TRUE(UpdateUntil(
        mixer, [&] { return mixer.GetChannel(channel)->stream->IsFinished(); }, 30));
    mixer.ChannelStop(channel);
    std::remove(name);
}

// Mixers going away take their streams' threads with them.
TEST(StreamedChannels, AMixerDestroyedWithStreamsJoinsTheirThreads)
{
    nLogCapture log;
    {
        nNull_Mixer mixer(0, false);
        mixer.Open();
        ASSERT_EQ(mixer.StreamStart(StreamData("stereo48k.ogg").c_str()), 0);
        ASSERT_EQ(mixer.StreamStart(StreamData("mono22k.ogg").c_str()), 1);
    }
    int joined = 0;
    for (const std::string& line : log.Lines()) joined += line == "Stream interface decoder thread joined.\n";
    EXPECT_EQ(joined, 2);
}

}
